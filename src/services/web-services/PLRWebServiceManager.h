#pragma once

#include "services/state_machine/PLRFiniteStateMachine.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "services/web-services/PLRServiceReacher.h"
#include "services/web-services/PLRServiceRequest.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

// The connection machine "Web_Service": its states and events.
inline constexpr char PLRWSM_MACHINE_NAME[] = "Web_Service";

inline constexpr char PLRWSM_STATE_CHECKING_CONNECTION[] = "CHECKING_CONNECTION";
inline constexpr char PLRWSM_STATE_NO_INTERNET[] = "NO_INTERNET";
inline constexpr char PLRWSM_STATE_SERVER_CONNECTION[] = "SERVER_CONNECTION";
inline constexpr char PLRWSM_STATE_CHECKING_SERVER_VERSION[] = "CHECKING_SERVER_VERSION";
inline constexpr char PLRWSM_STATE_OUT_OF_DATE_VERSION[] = "OUT_OF_DATE_VERSION";
inline constexpr char PLRWSM_STATE_STABLE[] = "PLRWSM_STATE_STABLE";

inline constexpr char PLRWSM_EVENT_CONNECTION_CHANGED[] = "ENV_CONNECTION_CHANGED";
inline constexpr char PLRWSM_EVENT_HAVE_INTERNET[] = "ENV_HAVE_INTERNET";
inline constexpr char PLRWSM_EVENT_REACHED_SERVER[] = "ENV_REACHED_SERVER";
inline constexpr char PLRWSM_EVENT_CANNOT_REACH_INTERNET[] = "ENV_CANNOT_REACH_INTERNET";
inline constexpr char PLRWSM_EVENT_CANNOT_REACH_SERVER[] = "ENV_CANNOT_REACH_SERVER";
inline constexpr char PLRWSM_EVENT_CHECK_SERVER_VERSION[] = "ENV_CHECK_SERVER_VERSION";
inline constexpr char PLRWSM_EVENT_RECIEVED_BAD_VERSION[] = "ENV_RECIEVED_BAD_VERSION";
inline constexpr char PLRWSM_EVENT_RECIEVED_VALID_VERSION[] = "ENV_RECIEVED_VALID_VERSION";

// Posted (object: the manager, main thread) when the probe's first verdict is in. A first
// verdict that confirms the starting one ("no internet") changes no state, so this is how those
// who wait for news before they show NO_INTERNET learn that it is news now.
inline constexpr char PLRWebServiceManagerDidGetConnectionVerdictNotification[] =
    "PLRWebServiceManagerDidGetConnectionVerdictNotification";

// User default that marks every 2.x version as outdated.
inline constexpr char kPLRForceUpgradeToEdition3Key[] = "ForceUpgradeToEdition3";

// The application's view of the web service: whether the internet and the service host are
// there and whether the service still supports this version. Fired on the main thread only.
class PLRWebServiceManager : public QObject {
    Q_OBJECT

public:
    using StateChangeHandler = std::function<void(const platform::Notification&)>;

    static PLRWebServiceManager& globalManager();

    explicit PLRWebServiceManager(QObject* parent = nullptr);
    ~PLRWebServiceManager() override;

    // Once at start: pins release builds to the production host, follows host changes,
    // starts the probe and builds (and activates) the machine.
    void beginManager();

    // Null before beginManager.
    PLRFiniteStatePtr currentState() const;
    PLRFiniteStateMachine* stateMachine() const { return m_stateMachine.get(); }
    PLRServiceReacher* serviceReacher() const { return m_serviceReacher.get(); }

    // A full re-check (ENV_CONNECTION_CHANGED).
    void handlePossibleConnectionChange();
    // The user's "Try Connect": the full re-check, with the probe fetching the health URL afresh
    // at once, so a service that is back is found at once (the re-check alone reads the probe's
    // last answer, up to a minute old while the host could not be reached).
    void checkConnectionNow();
    // False while the probe has not answered yet: NO_INTERNET is then only the probe's
    // starting verdict, not news to show (PLRWebServiceManagerDidGetConnectionVerdictNotification
    // follows when it has).
    bool hasConnectionVerdict() const;

    // Calls the handler with every PLRFiniteStateMachineDidChangeStateNotification of this
    // machine while the observer lives. Registered before the machine exists, it is kept and
    // registered (in order) when the machine is built.
    void addStateChangeNotificationHandler(QObject* observer, StateChangeHandler handler);
    void removeStateChangeNotificationHandler(QObject* observer);

    // The log-in request; only while the machine is stable (else false, no request, no
    // completion). The result of a success is the whole answer body.
    static bool loginWithEmail(const QString& email, const QString& password,
                               PLRServiceCompletion completion);

    // "Payload Reponse for:`<url>`\nResp: <status>"; the body is not logged.
    static void logPayloadResponse(const PLRHTTPURLResponse& response, const QVariant& data);

    // Whether the application version is still supported by a service that answers
    // serverVersion: part by part as integers, missing parts counting as 0; with
    // forceUpgradeToEdition3 every 2.x application version is outdated.
    static bool isVersionSupported(const QString& applicationVersion, const QString& serverVersion,
                                   bool forceUpgradeToEdition3);

    // The machine's hooks and steps.
    void checkingConnectionEnterBlock();
    void checkingServerVersionEnterBlock(const PLRFiniteTransitionPtr& transition);
    void processReponseError(const platform::Error& error, const PLRFiniteTransitionPtr& transition);
    void ensureReachability();
    void destroyReachability();
    void currentHostChangedNotification();
    void buildStateMachine();

private:
    void fire(const char* eventName);
    void fireIfPossible(const char* eventName);
    void registerObserver(QObject* observer, const StateChangeHandler& handler);
    void handleVersionAnswer(quint64 generation, const QVariant& body, int statusCode,
                             const platform::Error& transport, const PLRFiniteTransitionPtr& transition);

    struct PreBuildObserver {
        QPointer<QObject> observer;
        StateChangeHandler handler;
    };

    bool m_begun = false;
    std::unique_ptr<PLRServiceReacher> m_serviceReacher;
    QList<PreBuildObserver> m_stateChangePreBuildNotifiers;
    QMultiHash<QObject*, platform::ObserverToken> m_observerTokens;
    std::unique_ptr<PLRFiniteStateMachine> m_stateMachine;
    // Bumped by every version check and host change, so stale answers are ignored.
    quint64 m_versionCheckGeneration = 0;
    platform::Cancellable m_pendingRetry;
};
