#pragma once

#include "store/session/PLRCoreManager.h"

#include <QString>

// Connects the web-service layer to the core of the store: the keychain items of the session
// are kept under the current host's service key, the core's sign-in performs the service
// log-in, and the core's start begins the web-service manager. Call once at start-up, before
// PLRCoreManager::startManager().
class PLRServices {
public:
    static void install();

    // The sign-in handler registered with the core: logs in, stores the credentials and the
    // token (PLRCoreManager::completeSignIn) and answers with the new session.
    static bool signIn(const QString& email, const QString& password,
                       PLRCoreManager::SignInCompletion completion);
};

// Domain of the error reported when a successful log-in could not be stored.
inline constexpr char kPLRServicesErrorDomain[] = "PLRCoreServicesErrorDomain";
