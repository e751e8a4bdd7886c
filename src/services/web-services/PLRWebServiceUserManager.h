#pragma once

#include "services/state_machine/PLRFiniteStateMachine.h"
#include "platform/Dispatch.h"
#include "platform/Error.h"
#include "platform/NotificationCenter.h"
#include "services/web-services/PLRServiceError.h"
#include "services/web-services/PLRWebServiceAccount.h"
#include "services/web-services/PLRWebServicePublisher.h"
#include "services/web-services/PLRWebServiceUser.h"

#include <QMultiHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class PLRUserSession;

// The per-session machine "Web_Service_User_Session": its states and events.
inline constexpr char PLRWSUM_MACHINE_NAME[] = "Web_Service_User_Session";

inline constexpr char PLRWSUM_STATE_WAITING_FOR_SERVICE[] = "WAITING_FOR_SERVICE";
inline constexpr char PLRWSUM_STATE_FETCHING_INFO[] = "FETCHING_INFO";
inline constexpr char PLRWSUM_STATE_IDLE[] = "IDLE";
inline constexpr char PLRWSUM_STATE_UPDATING_ACCOUNT[] = "UPDATING_ACCOUNT";
inline constexpr char PLRWSUM_STATE_UPDATING_USER[] = "UPDATING_USER";
inline constexpr char PLRWSUM_STATE_CREATING_PUBLISHER[] = "CREATING_PUBLISHER";
inline constexpr char PLRWSUM_STATE_DELETING_PUBLISHER[] = "DELETING_PUBLISHER";
inline constexpr char PLRWSUM_STATE_UPDATING_PUBLISHER[] = "UPDATING_PUBLISHER";
inline constexpr char PLRWSUM_STATE_NOT_VERIFIED[] = "NOT_VERIFIED";
inline constexpr char PLRWSUM_STATE_ACCOUNT_LOCKED[] = "ACCOUNT_LOCKED";
inline constexpr char PLRWSUM_STATE_ACCOUNT_PENDING_DELETION[] = "ACCOUNT_PENDING_DELETION";
inline constexpr char PLRWSUM_STATE_REFRESHING_AUTH[] = "PLRWSM_STATE_REFRESHING_AUTH";

inline constexpr char PLRWSUM_EVENT_SERVICE_CHANGED[] = "ENV_SERVICE_CHANGED";
inline constexpr char PLRWSUM_EVENT_SERVICE_RESTORED[] = "ENV_SERVICE_RESTORED";
inline constexpr char PLRWSUM_EVENT_REFRESH_INFO[] = "ENV_REFRESH_INFO";
inline constexpr char PLRWSUM_EVENT_ACCOUNT_NOT_VERIFIED[] = "ENV_ACCOUNT_NOT_VERIFIED";
inline constexpr char PLRWSUM_EVENT_ACCOUNT_LOCKED[] = "ENV_ACCOUNT_LOCKED";
inline constexpr char PLRWSUM_EVENT_ACCOUNT_PENDING_DELETION[] = "ENV_ACCOUNT_PENDING_DELETION";
inline constexpr char PLRWSUM_EVENT_FETCHED_INFO[] = "ENV_FETCHED_INFO";
inline constexpr char PLRWSUM_EVENT_UPDATED_INFO[] = "ENV_UPDATED_INFO";
inline constexpr char PLRWSUM_EVENT_CREATED_PUBLISHER[] = "ENV_CREATED_PUBLISHER";
inline constexpr char PLRWSUM_EVENT_FAILED_PUBLISHER_CREATE[] = "ENV_FAILED_PUBLISHER_CREATE";
inline constexpr char PLRWSUM_EVENT_UPDATED_PUBLISHER[] = "ENV_UPDATED_PUBLISHER";
inline constexpr char PLRWSUM_EVENT_FAILED_PUBLISHER_UPDATE[] = "ENV_FAILED_PUBLISHER_UPDATE";
inline constexpr char PLRWSUM_EVENT_FAILED_PUBLISHER_DELETE[] = "ENV_FAILED_PUBLISHER_DELETE";
inline constexpr char PLRWSUM_EVENT_UPDATE_USER[] = "ENV_UPDATE_USER";
inline constexpr char PLRWSUM_EVENT_UPDATE_ACCOUNT[] = "ENV_UPDATE_ACCOUNT";
inline constexpr char PLRWSUM_EVENT_UPDATE_PUBLISHER[] = "ENV_UPDATE_PUBLISHER";
inline constexpr char PLRWSUM_EVENT_CREATE_PUBLISHER[] = "ENV_CREATE_PUBLISHER";
inline constexpr char PLRWSUM_EVENT_DELETE_PUBLISHER[] = "ENV_DELETE_PUBLISHER";
inline constexpr char PLRWSUM_EVENT_REFRESH_AUTH[] = "ENV_REFRESH_AUTH";

// User-info keys of the machine's events.
inline constexpr char kPLRWSUMErrorKey[] = "error";              // see below
inline constexpr char kPLRWSUMForwardEventKey[] = "forwardEvent"; // ENV_REFRESH_AUTH
inline constexpr char kPLRWSUMInfoKey[] = "info";                 // ENV_REFRESH_AUTH

// Errors of this manager's own (under "error" as a platform::Error).
inline constexpr char kPLRWebServiceUserManagerErrorDomain[] = "PLRWebServiceUserManagerErrorDomain";
enum PLRWebServiceUserManagerErrorCode : qint64 {
    PLRWebServiceUserManagerNoTokenError = 1,      // the session has no token: nothing was sent
    PLRWebServiceUserManagerNoRemoteObjectError = 2, // an update of a user, account or publisher not fetched
    PLRWebServiceUserManagerTokenRenewalError = 3,   // the token could not be renewed (service not available)
};

// The signed-in session's view of its objects on the web service (remote user, account and
// publisher) and the machine "Web_Service_User_Session" through which every change of them runs.
//
// The machine follows the connection machine "Web_Service": it waits while the service is not
// available and fetches user, account and publisher when it is stable again. An expired token
// (service code 10000) is renewed by logging in again with the session's credentials; the
// interrupted step is then repeated once. When the renewal fails for a passing reason (the
// service unreachable or failing), an interrupted publisher change ends in its failure event;
// in every case the connection is checked again. A refusal of the credentials signs out.
//
// Failure events that return to IDLE carry "error": the PLRServiceError of a refusal by the
// service, or a platform::Error (a transport error, or one of this manager's own errors above).
// User and account changes have no failure event: ENV_UPDATED_INFO always means success, and a
// refused or lost change is logged ("Web Service Error for ...") and followed by a full re-check,
// after which the session fetches user, account and publisher anew.
//
// Owned by its session (a QObject child of it).
class PLRWebServiceUserManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(PLRWebServiceUserPtr remoteUser READ remoteUser WRITE setRemoteUser NOTIFY remoteUserChanged)
    Q_PROPERTY(PLRWebServiceAccountPtr remoteAccount READ remoteAccount WRITE setRemoteAccount NOTIFY remoteAccountChanged)
    Q_PROPERTY(PLRWebServicePublisherPtr remotePublisher READ remotePublisher WRITE setRemotePublisher NOTIFY remotePublisherChanged)

public:
    using StateChangeHandler = std::function<void(const platform::Notification&)>;

    // Builds and activates the machine: in WAITING_FOR_SERVICE while the connection machine is
    // not available (or not built yet), else in FETCHING_INFO, which fetches at once.
    explicit PLRWebServiceUserManager(PLRUserSession* session, QObject* parent = nullptr);
    ~PLRWebServiceUserManager() override;

    // Makes the session's manager: a child of the session that also copies the remote user's
    // first and last name into the session's account whenever the remote user changes.
    static PLRWebServiceUserManager* attachToSession(PLRUserSession& session);
    // Registers attachToSession as the sessions' user-service-manager factory.
    static void installSessionFactory();
    // The session's manager (made on first use through the registered factory), or null.
    static PLRWebServiceUserManager* forSession(PLRUserSession* session);

    // Change requests: each answers whether its event was fired; the outcome arrives as a
    // state change. Refused (logged, false) in a state the event cannot leave.
    bool refreshInfo();
    // Sends the members that are present and not empty ("f_name", "l_name", "email").
    bool updateUser(const QString& firstName, const QString& lastName, const QString& email);
    bool createPublisher(qint64 type, const QString& host, const QString& theme);
    // Sends "type" unless it is -1, "host" and "theme_info" only when given (not null).
    bool updatePublisher(qint64 type, const QString& host, const QString& theme);
    bool updatePublisherDefaults(const QString& categoryName, bool autoPublish);
    bool deletePublisher();

    // Observers of the machine's PLRFiniteStateMachineDidChangeStateNotification; the handler
    // runs while the observer lives. Removing one that is not registered does nothing.
    void addStateChangeNotificationHandler(QObject* observer, StateChangeHandler handler);
    void removeStateChangeNotificationHandler(QObject* observer);

    PLRFiniteStatePtr currentState() const;
    PLRFiniteStateMachine* stateMachine() const { return m_stateMachine.get(); }
    PLRUserSession* userSession() const;

    PLRWebServiceUserPtr remoteUser() const { return m_remoteUser; }
    void setRemoteUser(const PLRWebServiceUserPtr& user);
    PLRWebServiceAccountPtr remoteAccount() const { return m_remoteAccount; }
    void setRemoteAccount(const PLRWebServiceAccountPtr& account);
    PLRWebServicePublisherPtr remotePublisher() const { return m_remotePublisher; }
    void setRemotePublisher(const PLRWebServicePublisherPtr& publisher);

    // Error paths. A service error of code 10000 (expired token) renews the token and then fires
    // forwardEvent with info again; any other service error (or none) re-checks the connection
    // and fetches again once the service is stable, after a back-off delay that grows with each
    // consecutive failure.
    void processServiceError(const std::optional<PLRServiceError>& error, const QString& forwardEvent,
                             const QVariantMap& info);
    // A transport error in a working state: the state's failure event back to IDLE with
    // "error"; a loss of internet also re-checks the connection.
    void processReponseError(const platform::Error& error, const PLRFiniteTransitionPtr& transition);

    // The connection machine's change notification.
    void webServiceManagerStateChangeNotification(const platform::Notification& notification);

    // The back-off after consecutive service failures: first delay, doubled each time up to the
    // maximum (seconds). Defaults 2 and 120; tests shorten them.
    static void setRetryDelays(double firstSeconds, double maximumSeconds);
    // The delay before the given consecutive failure's retry (1 for the first).
    static double retryDelayForFailure(int failureCount);

    // The connection machine's states in which the service is not available.
    static const QStringList& notAvailableStates();

signals:
    void remoteUserChanged();
    void remoteAccountChanged();
    void remotePublisherChanged();

private:
    void buildStateMachine();
    bool fire(const char* eventName, const QVariantMap& userInfo = {});
    bool canFire(const char* eventName) const;
    QString currentStateDescription() const;
    QString connectionStateName() const;
    bool isCurrent(quint64 generation) const;

    // Enter actions.
    void fetchInfo();
    void fetchAccount(quint64 generation);
    void fetchPublisher(quint64 generation);
    void fetchFailed(const char* what, const std::optional<PLRServiceError>& serviceError,
                     const platform::Error& transportError);
    void updatingUser(const PLRFiniteTransitionPtr& transition);
    void updatingAccount(const PLRFiniteTransitionPtr& transition);
    void updatingPublisher(const PLRFiniteTransitionPtr& transition);
    void creatingPublisher(const PLRFiniteTransitionPtr& transition);
    void deletingPublisher(const PLRFiniteTransitionPtr& transition);
    void refreshingAuth(const PLRFiniteTransitionPtr& transition);
    void settled();

    // The request and answer of the three updating states.
    struct RemoteUpdate;
    void updateRemoteObject(const PLRWebServiceModelObjectPtr& object, const PLRFiniteTransitionPtr& transition,
                            const RemoteUpdate& update);

    void finishRenewal(quint64 generation, int statusCode, const QVariant& body,
                       const platform::Error& transport, const PLRFiniteTransitionPtr& transition);
    // A renewal that failed for a passing reason; `error` goes under "error" of the failure event.
    void renewalFailed(const PLRFiniteTransitionPtr& transition, const QVariant& error);
    // Moves to WAITING_FOR_SERVICE, asks the connection manager for a full re-check and arms
    // the back-off retry.
    void recheckConnection();
    void retryAfterBackoff();
    void signOutLater(const QString& reason);

    QPointer<PLRUserSession> m_userSession;
    std::unique_ptr<PLRFiniteStateMachine> m_stateMachine;
    PLRWebServiceUserPtr m_remoteUser;
    PLRWebServiceAccountPtr m_remoteAccount;
    PLRWebServicePublisherPtr m_remotePublisher;
    QMultiHash<QObject*, platform::ObserverToken> m_observerTokens;

    // Bumped on every state change: an answer that arrives after the state that asked for it
    // was left (a connection change, above all) is dropped.
    quint64 m_generation = 0;
    // A token was renewed during the current operation: a second expiry signs out.
    bool m_renewedThisOperation = false;
    int m_consecutiveFailures = 0;
    platform::Cancellable m_retry;
};
