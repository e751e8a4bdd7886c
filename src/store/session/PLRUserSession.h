#pragma once

#include "platform/Error.h"

#include <QList>
#include <QObject>
#include <QHash>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class PLRPersistantAccount;
class PLRPersistantPost;
class PLRPostManager;
struct PLRSaveBatch;

// The signed-in user: identifiers, credentials kept in the keychain, the account
// bundle and one post manager per opened post.
//
// Keychain items ("jwt", "email", "password", "user_id") live under the service name
// returned by keychainServiceName(). The web-service layer registers the current
// host's service key with setKeychainServiceNameProvider(), so each host keeps its
// own sign-in.
class PLRUserSession : public QObject {
    Q_OBJECT
public:
    // Makes the session's user service manager (the per-session user state machine of the
    // web-service layer). The returned object is parented to the session; the factory is
    // also the place that keeps the account's firstName / lastName current from the
    // remote user (account()->setFirstName(...)).
    using UserServiceManagerFactory = std::function<QObject*(PLRUserSession& session)>;

    ~PLRUserSession() override;

    // The session of the user signed in according to the keychain (items "user_id" and
    // "email" present), with its account bundle loaded; null when nobody is signed in.
    static std::shared_ptr<PLRUserSession> makeFromKeychain();

    // Keychain service name of the session items.
    static QString keychainServiceName();
    // Replaces the provider of the service name; an empty function restores the default
    // ("com.quenfield.pellora.keychain").
    static void setKeychainServiceNameProvider(std::function<QString()> provider);
    static QString defaultKeychainServiceName();

    // Stores `token` as keychain item "jwt" and refreshes the current session's copy.
    // Returns whether the keychain write succeeded.
    static bool saveJWT(const QString& token);

    // Deletes the session items from the keychain; true when every removal succeeded.
    static bool removeKeychainItems();

    static void setUserServiceManagerFactory(UserServiceManagerFactory factory);

    QString jwt() const { return m_jwt; }
    QString email() const { return m_email; }
    QString password() const { return m_password; }
    QString userIdentifier() const { return m_userIdentifier; }
    PLRPersistantAccount* account() const { return m_account.get(); }
    // The user service manager, made by the registered factory on first use (null while no
    // factory is registered).
    QObject* userServiceManager();

    // The open post manager of `post`, else a new one kept by the session; null for null.
    PLRPostManager* postManagerForPost(PLRPersistantPost* post);
    // A new post manager for a post still to be created, kept by the session.
    PLRPostManager* newPostManager();
    const std::vector<std::unique_ptr<PLRPostManager>>& postManagers() const { return m_postManagers; }

    // The order of post names: case-insensitive, character by character, with runs of digits
    // compared by their value ("copy 2" before "copy 10").
    static int compareNames(const QString& a, const QString& b);
    // The account's posts sorted by the keys ("name" by compareNames, "creationDate",
    // "updatedDate"), keeping only names containing `nameFilter` (case- and
    // diacritic-insensitive) when it is not empty.
    QList<PLRPersistantPost*> currentPostsSortedByKeys(const QStringList& keys, bool ascending,
                                                       const QString& nameFilter) const;

    // Copies the post (bundle files and all) under a new identifier and the name
    // "<name> copy[ n]" into the same account. Null and `error` set on failure.
    PLRPersistantPost* duplicatePost(PLRPersistantPost* post, platform::Error* error = nullptr);

    // Deletes the post locally (bundle, record and post manager). A published post (one
    // with a remote identifier) is deleted only once its publisher, when idle, has deleted the
    // remote post; when that fails, or there is no publisher, the post stays (logged).
    void deletePost(PLRPersistantPost* post);
    // For a published post: once its publisher is idle, deletes the remote post and then,
    // when that succeeded, clears the post's remote identifier. Nothing without a remote
    // identifier or publisher.
    void deleteRemotePost(PLRPersistantPost* post);

    // Main thread: serialises the account and every post (open post managers first, then
    // the rest of the account's posts) for writing. The batch holds bytes only.
    std::shared_ptr<PLRSaveBatch> prepareSave();

signals:
    void jwtChanged();

private:
    PLRUserSession(QString userIdentifier, QString email, QString password, QString jwt);
    void setJwt(const QString& token);
    void removePostManagerFor(PLRPersistantPost* post);
    void deleteLocally(PLRPersistantPost* post);

    QString m_userIdentifier;
    QString m_email;
    QString m_password;
    QString m_jwt;
    std::unique_ptr<PLRPersistantAccount> m_account;
    std::vector<std::unique_ptr<PLRPostManager>> m_postManagers;
    QPointer<QObject> m_userServiceManager;
    // Post names as the search compares them (decomposed, without marks, case-folded), by
    // post, with the name they were made from: made once per name, not once per keystroke.
    mutable QHash<const PLRPersistantPost*, std::pair<QString, QString>> m_foldedNames;
};
