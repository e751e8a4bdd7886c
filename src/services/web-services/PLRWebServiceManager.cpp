#include "services/web-services/PLRWebServiceManager.h"
#include "platform/Clock.h"
#include "platform/Resets.h"

#include "platform/Bundle.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "services/web-services/PLRWebServiceHost.h"
#include "services/web-services/Reachability.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace {

QString latin(const char* text) { return QString::fromLatin1(text); }

QList<qint64> versionParts(const QString& version)
{
    QList<qint64> parts;
    for (const QString& part : version.split(QLatin1Char('.')))
        parts << part.trimmed().toLongLong();   // a part that is not a number counts as 0
    return parts;
}

} // namespace

PLRWebServiceManager& PLRWebServiceManager::globalManager()
{
    // Owned by the application object; lives for the run.
    static QPointer<PLRWebServiceManager> manager;
    // Started once per run; a test's manager (and its service state) goes with the test.
    static const bool joined = platform::resets::add([] { delete manager.data(); });
    (void)joined;
    if (!manager)
        manager = new PLRWebServiceManager(QCoreApplication::instance());
    return *manager;
}

PLRWebServiceManager::PLRWebServiceManager(QObject* parent) : QObject(parent) {}

PLRWebServiceManager::~PLRWebServiceManager()
{
    m_pendingRetry.cancel();
    destroyReachability();
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    for (auto token : std::as_const(m_observerTokens))
        platform::NotificationCenter::defaultCenter().removeObserver(token);
}

void PLRWebServiceManager::beginManager()
{
    if (m_begun)
        return;
    m_begun = true;
    if (platform::bundle::identifier() == QLatin1String(platform::bundle::kReleaseIdentifier))
        PLRWebServiceHost::setCurrentHostType(latin(PLRWebServiceHost_PROD));
    Reachability::loadBackend();
    platform::NotificationCenter::defaultCenter().addObserver(
        this, latin(PLRWebServiceHostDidChangeCurrentHostNotification),
        [this](const platform::Notification&) { currentHostChangedNotification(); });
    ensureReachability();
    buildStateMachine();
}

PLRFiniteStatePtr PLRWebServiceManager::currentState() const
{
    return m_stateMachine ? m_stateMachine->currentState() : nullptr;
}

void PLRWebServiceManager::fire(const char* eventName)
{
    if (!m_stateMachine)
        return;
    // A refused fire is dropped silently.
    m_stateMachine->fireEvent(latin(eventName));
}

void PLRWebServiceManager::fireIfPossible(const char* eventName)
{
    if (m_stateMachine && m_stateMachine->canFireEvent(latin(eventName)))
        m_stateMachine->fireEvent(latin(eventName));
}

bool PLRWebServiceManager::hasConnectionVerdict() const
{
    return !m_serviceReacher || m_serviceReacher->hasAnswered();
}

void PLRWebServiceManager::handlePossibleConnectionChange()
{
    fire(PLRWSM_EVENT_CONNECTION_CHANGED);
}

void PLRWebServiceManager::checkConnectionNow()
{
    handlePossibleConnectionChange();
    // The fresh answer moves the machine on through the probe's hooks when it differs.
    if (m_serviceReacher)
        m_serviceReacher->checkNow();
}

// ---- observers ----

void PLRWebServiceManager::registerObserver(QObject* observer, const StateChangeHandler& handler)
{
    const platform::ObserverToken token = platform::NotificationCenter::defaultCenter().addObserver(
        observer, latin(PLRFiniteStateMachineDidChangeStateNotification), handler, m_stateMachine.get());
    m_observerTokens.insert(observer, token);
    connect(observer, &QObject::destroyed, this, [this, observer] { m_observerTokens.remove(observer); });
}

void PLRWebServiceManager::addStateChangeNotificationHandler(QObject* observer, StateChangeHandler handler)
{
    if (!observer || !handler)
        return;
    if (m_stateMachine)
        registerObserver(observer, handler);
    else
        m_stateChangePreBuildNotifiers.append({observer, std::move(handler)});
}

void PLRWebServiceManager::removeStateChangeNotificationHandler(QObject* observer)
{
    if (!observer)
        return;
    if (m_stateMachine) {
        for (auto token : m_observerTokens.values(observer))
            platform::NotificationCenter::defaultCenter().removeObserver(token);
        m_observerTokens.remove(observer);
    } else {
        m_stateChangePreBuildNotifiers.removeIf(
            [observer](const PreBuildObserver& entry) { return entry.observer == observer; });
    }
}

// ---- machine ----

void PLRWebServiceManager::buildStateMachine()
{
    if (m_stateMachine)
        return;
    m_stateMachine = std::make_unique<PLRFiniteStateMachine>(latin(PLRWSM_MACHINE_NAME));
    for (const PreBuildObserver& entry : std::as_const(m_stateChangePreBuildNotifiers)) {
        if (entry.observer)
            registerObserver(entry.observer, entry.handler);
    }
    m_stateChangePreBuildNotifiers.clear();

    auto checking = PLRFiniteState::stateWithName(latin(PLRWSM_STATE_CHECKING_CONNECTION));
    auto noInternet = PLRFiniteState::stateWithName(latin(PLRWSM_STATE_NO_INTERNET));
    auto serverConnection = PLRFiniteState::stateWithName(latin(PLRWSM_STATE_SERVER_CONNECTION));
    auto checkingVersion = PLRFiniteState::stateWithName(latin(PLRWSM_STATE_CHECKING_SERVER_VERSION));
    auto outOfDate = PLRFiniteState::stateWithName(latin(PLRWSM_STATE_OUT_OF_DATE_VERSION));
    auto stable = PLRFiniteState::stateWithName(latin(PLRWSM_STATE_STABLE));

    checking->setDidEnterStateBlock(
        [this](const PLRFiniteStatePtr&, const PLRFiniteTransitionPtr&) { checkingConnectionEnterBlock(); });
    checkingVersion->setDidEnterStateBlock(
        [this](const PLRFiniteStatePtr&, const PLRFiniteTransitionPtr& transition) {
            checkingServerVersionEnterBlock(transition);
        });
    m_stateMachine->addStates({checking, noInternet, serverConnection, checkingVersion, outOfDate, stable});

    using Sources = PLRFiniteEvent::SourceStates;
    m_stateMachine->addEvents({
        PLRFiniteEvent::eventWithName(latin(PLRWSM_EVENT_CONNECTION_CHANGED),
                                      Sources(QList<PLRFiniteStatePtr>{checking, noInternet, serverConnection,
                                                                       checkingVersion, outOfDate, stable}),
                                      checking),
        PLRFiniteEvent::eventWithName(latin(PLRWSM_EVENT_HAVE_INTERNET),
                                      Sources(QList<PLRFiniteStatePtr>{noInternet, serverConnection}), checking),
        PLRFiniteEvent::eventWithName(latin(PLRWSM_EVENT_REACHED_SERVER),
                                      Sources(QList<PLRFiniteStatePtr>{serverConnection, noInternet}), checking),
        PLRFiniteEvent::eventWithName(latin(PLRWSM_EVENT_CANNOT_REACH_INTERNET),
                                      Sources(QList<PLRFiniteStatePtr>{checking}), noInternet),
        PLRFiniteEvent::eventWithName(latin(PLRWSM_EVENT_CANNOT_REACH_SERVER),
                                      Sources(QList<PLRFiniteStatePtr>{checking}), serverConnection),
        PLRFiniteEvent::eventWithName(latin(PLRWSM_EVENT_CHECK_SERVER_VERSION),
                                      Sources(QList<PLRFiniteStatePtr>{checking}), checkingVersion),
        PLRFiniteEvent::eventWithName(latin(PLRWSM_EVENT_RECIEVED_BAD_VERSION),
                                      Sources(QList<PLRFiniteStatePtr>{checkingVersion}), outOfDate),
        PLRFiniteEvent::eventWithName(latin(PLRWSM_EVENT_RECIEVED_VALID_VERSION),
                                      Sources(QList<PLRFiniteStatePtr>{checkingVersion}), stable),
    });
    m_stateMachine->setInitialState(checking);
    m_stateMachine->activate();
}

void PLRWebServiceManager::checkingConnectionEnterBlock()
{
    const qint64 status = m_serviceReacher ? m_serviceReacher->status() : 0;
    switch (status) {
    case 0:
        fire(PLRWSM_EVENT_CHECK_SERVER_VERSION);
        break;
    case 1:
    case 3:
        fire(PLRWSM_EVENT_CANNOT_REACH_SERVER);
        break;
    case 2:
        fire(PLRWSM_EVENT_CANNOT_REACH_INTERNET);
        break;
    default:
        break;
    }
}

// ---- version check ----

bool PLRWebServiceManager::isVersionSupported(const QString& applicationVersion,
                                              const QString& serverVersion, bool forceUpgradeToEdition3)
{
    const QList<qint64> app = versionParts(applicationVersion);
    const QList<qint64> server = serverVersion.isEmpty() ? QList<qint64>() : versionParts(serverVersion);
    bool valid = true;
    for (qsizetype i = 0; i < app.size(); ++i) {
        const qint64 serverPart = i < server.size() ? server.at(i) : 0;
        if (app.at(i) > serverPart)
            break;
        if (app.at(i) < serverPart) {
            PLR_LOG_INFO(QStringLiteral("Bad Server version"));
            valid = false;
            break;
        }
    }
    if (valid)
        PLR_LOG_INFO(QStringLiteral("Server version is OK"));
    if (!app.isEmpty() && app.first() == 2 && forceUpgradeToEdition3)
        valid = false;
    return valid;
}

void PLRWebServiceManager::checkingServerVersionEnterBlock(const PLRFiniteTransitionPtr& transition)
{
    m_pendingRetry.cancel();
    const quint64 generation = ++m_versionCheckGeneration;
    const QUrl url = PLRWebServiceHost::currentHost().serviceCoreURLWithPaths({QStringLiteral("supported")});
    if (!url.isValid() || url.host().isEmpty()) {
        const platform::Error error = platform::Error::make(
            latin(platform::kURLErrorDomain), platform::urlerror::BadURL,
            QStringLiteral("The service address is not valid."));
        QPointer<PLRWebServiceManager> self(this);
        platform::dispatchMain([self, generation, error, transition] {
            if (self)
                self->handleVersionAnswer(generation, QVariant(), 0, error, transition);
        });
        return;
    }
    QNetworkReply* reply = PLRURLSession::shared().get(plainServiceRequest(url));
    connect(reply, &QNetworkReply::finished, this, [this, reply, generation, transition] {
        // An empty answer gives no version, and an answer without one passes the check.
        const platform::Error transport = serviceTransportError(reply, /*emptyIsAnAnswer*/ true);
        const PLRHTTPURLResponse response{reply->url(),
                                          reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()};
        const QVariant body = transport.isValid() ? QVariant() : parseServiceBody(reply->readAll());
        reply->deleteLater();
        if (!transport.isValid())
            logPayloadResponse(response, body);
        handleVersionAnswer(generation, body, response.statusCode, transport, transition);
    });
}

void PLRWebServiceManager::handleVersionAnswer(quint64 generation, const QVariant& body, int statusCode,
                                               const platform::Error& transport,
                                               const PLRFiniteTransitionPtr& transition)
{
    // A host change or a new check since this request went out makes its answer stale.
    if (generation != m_versionCheckGeneration || !m_stateMachine ||
        !m_stateMachine->isInState(latin(PLRWSM_STATE_CHECKING_SERVER_VERSION)))
        return;
    if (transport.isValid()) {
        processReponseError(transport, transition);
        return;
    }
    if (statusCode < 200 || statusCode > 299) {
        // The host answers but cannot tell its versions: treated as a server-connection
        // failure; the probe reports the host again when a later fetch succeeds.
        PLR_LOG_WARN(QStringLiteral("Version check answered with status %1").arg(statusCode));
        if (m_serviceReacher)
            m_serviceReacher->noteStatus(1);
        fire(PLRWSM_EVENT_CONNECTION_CHANGED);
        return;
    }
    const QVariant versionValue = body.toMap().value(QStringLiteral("version"));
    QString serverVersion;
    if (versionValue.typeId() == QMetaType::QString)
        serverVersion = versionValue.toString();
    else if (versionValue.typeId() == QMetaType::LongLong || versionValue.typeId() == QMetaType::Double ||
             versionValue.typeId() == QMetaType::Int)
        serverVersion = versionValue.toString();
    const QString appVersion = platform::bundle::version();
    PLR_LOG_INFO(QStringLiteral("App version is %1 and Server version is %2")
                     .arg(appVersion, serverVersion.isNull() ? QStringLiteral("(null)") : serverVersion));
    const bool valid = isVersionSupported(
        appVersion, serverVersion,
        platform::UserDefaults::standard().boolForKey(latin(kPLRForceUpgradeToEdition3Key)));
    fire(valid ? PLRWSM_EVENT_RECIEVED_VALID_VERSION : PLRWSM_EVENT_RECIEVED_BAD_VERSION);
}

void PLRWebServiceManager::processReponseError(const platform::Error& error,
                                               const PLRFiniteTransitionPtr& transition)
{
    Q_UNUSED(transition);
    PLR_LOG_WARN(QStringLiteral("Version check failed: %1").arg(error.toString()));
    if (isLossOfInternet(error)) {
        // Tell the probe what was learnt, so the re-check does not loop on a stale verdict.
        if (m_serviceReacher)
            m_serviceReacher->noteStatus(PLRServiceReacher::statusForError(error));
        fire(PLRWSM_EVENT_CONNECTION_CHANGED);
        return;
    }
    // Any other failure: check again after a pause rather than staying in the check.
    const quint64 generation = m_versionCheckGeneration;
    const double delay = m_serviceReacher ? m_serviceReacher->timing().checkInterval
                                          : PLRServiceReacher::defaultTiming().checkInterval;
    m_pendingRetry = platform::Clock::shared().after(delay, this, [this, generation] {
        if (generation == m_versionCheckGeneration && m_stateMachine &&
            m_stateMachine->isInState(latin(PLRWSM_STATE_CHECKING_SERVER_VERSION)))
            fire(PLRWSM_EVENT_CONNECTION_CHANGED);
    });
}

// ---- probe ----

void PLRWebServiceManager::ensureReachability()
{
    if (m_serviceReacher)
        return;
    QUrl health = PLRWebServiceHost::currentHost().serviceCoreURL();
    if (health.isValid() && !health.host().isEmpty())
        health.setPath(health.path() + QStringLiteral("/health"));
    m_serviceReacher = PLRServiceReacher::reacherWithHostname(health);
    m_serviceReacher->setReachableBlock([this](PLRServiceReacher*) {
        PLR_LOG_INFO(QStringLiteral("Internet Reachability State Changed: YES"));
        if (!m_stateMachine)
            return;
        if (m_stateMachine->canFireEvent(latin(PLRWSM_EVENT_HAVE_INTERNET)))
            fire(PLRWSM_EVENT_HAVE_INTERNET);
        else
            fireIfPossible(PLRWSM_EVENT_REACHED_SERVER);
    });
    m_serviceReacher->setUnreachableBlock([this](PLRServiceReacher*) {
        PLR_LOG_INFO(QStringLiteral("Internet Reachability State Changed: NO"));
        fire(PLRWSM_EVENT_CONNECTION_CHANGED);
    });
    connect(m_serviceReacher.get(), &PLRServiceReacher::answered, this, [this] {
        platform::NotificationCenter::defaultCenter().post(
            latin(PLRWebServiceManagerDidGetConnectionVerdictNotification), this);
    });
    m_serviceReacher->startNotifier();
}

void PLRWebServiceManager::destroyReachability()
{
    if (!m_serviceReacher)
        return;
    m_serviceReacher->stopNotifier();
    m_serviceReacher->clearHooks();
    m_serviceReacher.reset();
}

void PLRWebServiceManager::currentHostChangedNotification()
{
    destroyReachability();
    ++m_versionCheckGeneration;
    m_pendingRetry.cancel();
    fire(PLRWSM_EVENT_CONNECTION_CHANGED);
    ensureReachability();
}

// ---- log-in ----

bool PLRWebServiceManager::loginWithEmail(const QString& email, const QString& password,
                                          PLRServiceCompletion completion)
{
    PLRWebServiceManager& manager = globalManager();
    const PLRFiniteStatePtr state = manager.currentState();
    if (!state || state->name() != QLatin1String(PLRWSM_STATE_STABLE)) {
        PLR_LOG_WARN(QStringLiteral("Trying to Login user while in bad web service state"));
        PLR_LOG_WARN(QStringLiteral("Currently in state %1 but expected state %2")
                         .arg(state ? state->name() : QStringLiteral("(null)"), latin(PLRWSM_STATE_STABLE)));
        return false;
    }
    PLR_LOG_INFO(QStringLiteral("Preparing Login"));
    PLRServiceCall call;
    call.method = "POST";
    call.url = PLRWebServiceHost::currentHost().serviceApiURLWithPaths({QStringLiteral("log-in")});
    call.body = QVariantMap{{QStringLiteral("user"),
                             QVariantMap{{QStringLiteral("email"), email}, {QStringLiteral("password"), password}}}};
    call.authenticated = false;
    call.logResponse = false;
    call.wholeBody = true;
    return PLRSendServiceRequest(call, std::move(completion));
}

void PLRWebServiceManager::logPayloadResponse(const PLRHTTPURLResponse& response, const QVariant& data)
{
    Q_UNUSED(data);
    PLR_LOG_INFO(QStringLiteral("Payload Reponse for:`%1`\nResp: %2")
                     .arg(response.url.toString())
                     .arg(response.statusCode));
}
