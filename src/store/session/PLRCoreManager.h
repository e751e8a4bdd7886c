#pragma once

#include "platform/Dispatch.h"
#include "platform/Error.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

class PLRServiceError;   // of the web-service layer, which registers the sign-in
class PLRUserSession;

// Notification posted (no object) when the user has been signed out.
inline constexpr const char* kPLRUserSessionLoggedOutNotification = "userSessionLoggedOut";

// The quiet time after a change before the session is saved, and the longest a stream of
// changes may postpone that save: its write is under way 4 s after the first unsaved change, so
// that no change older than 5 s is lost, whatever the rhythm of the changes.
inline constexpr double kPLRChangeSaveDelay = 3.0;
inline constexpr double kPLRChangeSaveLongestWait = 4.0;

// Start of the core and the store's save entry point.
class PLRCoreManager {
public:
    // Completion of a sign-in, always called on the main thread:
    //  - success: (true, QVariant::fromValue<PLRUserSession*>(session), {}, {})
    //  - failure: (false, the response body (QVariantMap, may be invalid), the service
    //    error of the web-service layer (null when there is none; valid during the call),
    //    the transport error (invalid when there is none)).
    using SignInCompletion = std::function<void(bool success, const QVariant& sessionOrBody,
                                                const PLRServiceError* serviceError,
                                                const platform::Error& transportError)>;
    // Performs the service log-in, registered by the web-service layer. Answers whether the
    // request was started. On success it calls completeSignIn(...) and then the completion
    // with the new session (userSession()).
    using SignInHandler = std::function<bool(const QString& email, const QString& password,
                                             SignInCompletion completion)>;

    // Sets up the store stack, makes the current session from the keychain, then runs the
    // registered start hook (the web-service manager starts there). Once per run.
    static void startManager();
    static void setStartHook(std::function<void()> hook);

    // With no session: calls the completion at once (caller's thread) with true and
    // answers true. Otherwise serialises the session's account and posts on the main thread,
    // hands the bytes to the "SAVE QUEUE" and answers true; the completion (when given)
    // runs on the main queue with true only when every write succeeded.
    static bool save(std::function<void(bool)> completion = {});
    static platform::SerialQueue& saveQueue();

    // Something of the session changed: runs save() a short time after the last such call,
    // so that a crash loses at most those seconds of work. A stream of changes postpones the
    // save by at most `kPLRChangeSaveLongestWait` from the first unsaved change. Any thread.
    static void saveSoon();
    // The quiet time before that save (tests shorten it); 0 or less restores the default.
    static void setChangeSaveDelay(double seconds);

    // The signed-in session (non-owning), or null when nobody is signed in.
    static PLRUserSession* userSession();
    static std::shared_ptr<PLRUserSession> sharedUserSession();

    // Deletes the session's keychain items, forgets the session and posts
    // "userSessionLoggedOut" (no object). Answers whether the keychain removal succeeded.
    static bool signOut();

    // Starts the service log-in through the registered handler; false (logged) when none
    // is registered or the request did not start.
    static bool signInUserWithEmail(const QString& email, const QString& password,
                                    SignInCompletion completion);
    static void setSignInHandler(SignInHandler handler);

    // Stores e-mail, password, "user_id" and "jwt" in the keychain and makes the current
    // session from it. False when a keychain write failed or no session could be made.
    static bool completeSignIn(const QString& email, const QString& password,
                               const QString& userId, const QString& jwt);

    // Replaces the current session (tests and the keychain restore); null forgets it.
    static void setUserSession(std::shared_ptr<PLRUserSession> session);
};
