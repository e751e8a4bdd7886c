#include "services/web-services/PLRWebServiceUserManager.h"
#include "platform/Clock.h"
#include "platform/Threads.h"
#include "platform/Resets.h"

#include "store/persistance-store/PLRPersistantAccount.h"
#include "platform/Json.h"
#include "platform/Log.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRUserSession.h"
#include "services/web-services/PLRServiceRequest.h"
#include "services/web-services/PLRWebServiceHost.h"
#include "services/web-services/PLRWebServiceManager.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <algorithm>
#include <cmath>

namespace {

QString latin(const char* text) { return QString::fromLatin1(text); }

// The expired-token code, and the log-in refusals for wrong credentials.
constexpr qint64 kTokenExpiredCode = 10000;
constexpr qint64 kNoPublisherCode = 501;
constexpr qint64 kIncorrectPasswordCode = 1;
constexpr qint64 kIncorrectEmailCode = 2;

struct RetryDelays {
    double first = 2.0;
    double maximum = 120.0;
};

RetryDelays& retryDelays()
{
    static RetryDelays delays;
    static const bool joined = platform::resets::add([] { delays = RetryDelays(); });
    (void)joined;
    return delays;
}

// The user info of a failure event: {"error": error}.
template <typename ErrorType>
QVariantMap errorInfo(const ErrorType& error)
{
    return {{latin(kPLRWSUMErrorKey), QVariant::fromValue(error)}};
}

platform::Error ownError(qint64 code, const QString& description)
{
    return platform::Error::make(latin(kPLRWebServiceUserManagerErrorDomain), code, description);
}

platform::Error noTokenError()
{
    return ownError(PLRWebServiceUserManagerNoTokenError, QStringLiteral("The session has no token."));
}

// The user info of ENV_REFRESH_AUTH: the event to fire again once the token is renewed, and its info.
QVariantMap renewalInfo(const QString& forwardEvent, const QVariantMap& info = {})
{
    return {{latin(kPLRWSUMForwardEventKey), forwardEvent}, {latin(kPLRWSUMInfoKey), info}};
}

// The event that ends an interrupted change as failed, or null for the fetch and for user and
// account changes (whose failures only the connection re-check and the fetch after it answer:
// their one ending event, ENV_UPDATED_INFO, means success).
const char* failureEventOf(const QString& forwardEvent)
{
    if (forwardEvent == QLatin1String(PLRWSUM_EVENT_UPDATE_PUBLISHER))
        return PLRWSUM_EVENT_FAILED_PUBLISHER_UPDATE;
    if (forwardEvent == QLatin1String(PLRWSUM_EVENT_CREATE_PUBLISHER))
        return PLRWSUM_EVENT_FAILED_PUBLISHER_CREATE;
    if (forwardEvent == QLatin1String(PLRWSUM_EVENT_DELETE_PUBLISHER))
        return PLRWSUM_EVENT_FAILED_PUBLISHER_DELETE;
    return nullptr;
}

} // namespace

// ---- creation ----

PLRWebServiceUserManager::PLRWebServiceUserManager(PLRUserSession* session, QObject* parent)
    : QObject(parent), m_userSession(session)
{
    PLRWebServiceManager::globalManager().addStateChangeNotificationHandler(
        this, [this](const platform::Notification& notification) {
            webServiceManagerStateChangeNotification(notification);
        });
    buildStateMachine();
}

PLRWebServiceUserManager::~PLRWebServiceUserManager()
{
    m_retry.cancel();
    platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter();
    center.removeObserver(this);
    for (platform::ObserverToken token : std::as_const(m_observerTokens))
        center.removeObserver(token);
    m_observerTokens.clear();
}

PLRWebServiceUserManager* PLRWebServiceUserManager::attachToSession(PLRUserSession& session)
{
    auto* manager = new PLRWebServiceUserManager(&session, &session);
    QPointer<PLRUserSession> owner(&session);
    connect(manager, &PLRWebServiceUserManager::remoteUserChanged, manager, [manager, owner] {
        const PLRWebServiceUserPtr user = manager->remoteUser();
        if (!owner || !user)
            return;
        if (PLRPersistantAccount* account = owner->account()) {
            account->setFirstName(user->firstName());
            account->setLastName(user->lastName());
        }
    });
    return manager;
}

void PLRWebServiceUserManager::installSessionFactory()
{
    PLRUserSession::setUserServiceManagerFactory(
        [](PLRUserSession& session) -> QObject* { return attachToSession(session); });
}

PLRWebServiceUserManager* PLRWebServiceUserManager::forSession(PLRUserSession* session)
{
    return session ? qobject_cast<PLRWebServiceUserManager*>(session->userServiceManager()) : nullptr;
}

const QStringList& PLRWebServiceUserManager::notAvailableStates()
{
    static const QStringList states{latin(PLRWSM_STATE_NO_INTERNET), latin(PLRWSM_STATE_CHECKING_CONNECTION),
                                    latin(PLRWSM_STATE_SERVER_CONNECTION),
                                    latin(PLRWSM_STATE_CHECKING_SERVER_VERSION)};
    return states;
}

void PLRWebServiceUserManager::buildStateMachine()
{
    m_stateMachine = std::make_unique<PLRFiniteStateMachine>(latin(PLRWSUM_MACHINE_NAME));

    auto state = [](const char* name) { return PLRFiniteState::stateWithName(latin(name)); };
    auto waiting = state(PLRWSUM_STATE_WAITING_FOR_SERVICE);
    auto fetching = state(PLRWSUM_STATE_FETCHING_INFO);
    auto idle = state(PLRWSUM_STATE_IDLE);
    auto updatingAccount = state(PLRWSUM_STATE_UPDATING_ACCOUNT);
    auto updatingUser = state(PLRWSUM_STATE_UPDATING_USER);
    auto creatingPublisher = state(PLRWSUM_STATE_CREATING_PUBLISHER);
    auto deletingPublisher = state(PLRWSUM_STATE_DELETING_PUBLISHER);
    auto updatingPublisher = state(PLRWSUM_STATE_UPDATING_PUBLISHER);
    auto notVerified = state(PLRWSUM_STATE_NOT_VERIFIED);
    auto locked = state(PLRWSUM_STATE_ACCOUNT_LOCKED);
    auto pendingDeletion = state(PLRWSUM_STATE_ACCOUNT_PENDING_DELETION);
    auto refreshingAuth = state(PLRWSUM_STATE_REFRESHING_AUTH);

    using Transition = PLRFiniteTransitionPtr;
    fetching->setDidEnterStateBlock([this](const PLRFiniteStatePtr&, const Transition&) { fetchInfo(); });
    creatingPublisher->setDidEnterStateBlock(
        [this](const PLRFiniteStatePtr&, const Transition& t) { this->creatingPublisher(t); });
    updatingUser->setDidEnterStateBlock(
        [this](const PLRFiniteStatePtr&, const Transition& t) { this->updatingUser(t); });
    updatingAccount->setDidEnterStateBlock(
        [this](const PLRFiniteStatePtr&, const Transition& t) { this->updatingAccount(t); });
    updatingPublisher->setDidEnterStateBlock(
        [this](const PLRFiniteStatePtr&, const Transition& t) { this->updatingPublisher(t); });
    deletingPublisher->setDidEnterStateBlock(
        [this](const PLRFiniteStatePtr&, const Transition& t) { this->deletingPublisher(t); });
    refreshingAuth->setDidEnterStateBlock(
        [this](const PLRFiniteStatePtr&, const Transition& t) { this->refreshingAuth(t); });

    // Bookkeeping (not seen by observers): every state change drops the answers still on their
    // way to the state that asked; a wait or a settled state ends the operation that a token
    // renewal belonged to.
    for (const auto& any : {waiting, fetching, idle, updatingAccount, updatingUser, creatingPublisher,
                            deletingPublisher, updatingPublisher, notVerified, locked, pendingDeletion,
                            refreshingAuth})
        any->setWillEnterStateBlock([this](const PLRFiniteStatePtr&, const Transition&) { ++m_generation; });
    waiting->setWillEnterStateBlock([this](const PLRFiniteStatePtr&, const Transition&) {
        ++m_generation;
        m_renewedThisOperation = false;
    });
    for (const auto& resting : {idle, notVerified, locked, pendingDeletion})
        resting->setWillEnterStateBlock([this](const PLRFiniteStatePtr&, const Transition&) {
            ++m_generation;
            settled();
        });

    m_stateMachine->addStates({waiting, fetching, idle, updatingAccount, updatingUser, creatingPublisher,
                               deletingPublisher, updatingPublisher, notVerified, locked, pendingDeletion,
                               refreshingAuth});

    using Sources = PLRFiniteEvent::SourceStates;
    using States = QList<PLRFiniteStatePtr>;
    auto event = [](const char* name, const States& from, const PLRFiniteStatePtr& to) {
        return PLRFiniteEvent::eventWithName(latin(name), Sources(from), to);
    };
    const States all{waiting, fetching, idle, updatingAccount, updatingUser, creatingPublisher,
                     deletingPublisher, updatingPublisher, notVerified, locked, pendingDeletion,
                     refreshingAuth};
    const States idleOrRenewing{idle, refreshingAuth};
    m_stateMachine->addEvents({
        event(PLRWSUM_EVENT_SERVICE_CHANGED, all, waiting),
        event(PLRWSUM_EVENT_SERVICE_RESTORED, {waiting}, fetching),
        event(PLRWSUM_EVENT_REFRESH_INFO, {idle, notVerified, locked, pendingDeletion, refreshingAuth}, fetching),
        event(PLRWSUM_EVENT_ACCOUNT_NOT_VERIFIED, {fetching}, notVerified),
        event(PLRWSUM_EVENT_ACCOUNT_LOCKED, {fetching}, locked),
        event(PLRWSUM_EVENT_ACCOUNT_PENDING_DELETION, {fetching}, pendingDeletion),
        event(PLRWSUM_EVENT_FETCHED_INFO, {fetching}, idle),
        // The publisher's failure events also end a change whose token renewal failed (from
        // REFRESHING_AUTH).
        event(PLRWSUM_EVENT_UPDATED_INFO, {updatingAccount, updatingUser, deletingPublisher}, idle),
        event(PLRWSUM_EVENT_CREATED_PUBLISHER, {creatingPublisher}, idle),
        event(PLRWSUM_EVENT_FAILED_PUBLISHER_CREATE, {creatingPublisher, refreshingAuth}, idle),
        event(PLRWSUM_EVENT_UPDATED_PUBLISHER, {updatingPublisher}, idle),
        event(PLRWSUM_EVENT_FAILED_PUBLISHER_UPDATE, {updatingPublisher, refreshingAuth}, idle),
        event(PLRWSUM_EVENT_FAILED_PUBLISHER_DELETE, {deletingPublisher, refreshingAuth}, idle),
        event(PLRWSUM_EVENT_UPDATE_USER, idleOrRenewing, updatingUser),
        event(PLRWSUM_EVENT_UPDATE_ACCOUNT, idleOrRenewing, updatingAccount),
        event(PLRWSUM_EVENT_UPDATE_PUBLISHER, idleOrRenewing, updatingPublisher),
        event(PLRWSUM_EVENT_CREATE_PUBLISHER, idleOrRenewing, creatingPublisher),
        event(PLRWSUM_EVENT_DELETE_PUBLISHER, idleOrRenewing, deletingPublisher),
        event(PLRWSUM_EVENT_REFRESH_AUTH,
              {fetching, updatingAccount, updatingUser, updatingPublisher, creatingPublisher, deletingPublisher,
               refreshingAuth},
              refreshingAuth),
    });

    // Before the connection machine exists nothing is known about the service: wait for it.
    const QString connection = connectionStateName();
    const bool available = !connection.isEmpty() && !notAvailableStates().contains(connection);
    m_stateMachine->setInitialState(available ? fetching : waiting);
    m_stateMachine->activate();
}

// ---- small helpers ----

bool PLRWebServiceUserManager::fire(const char* eventName, const QVariantMap& userInfo)
{
    platform::Error error;
    const bool fired = m_stateMachine->fireEvent(latin(eventName), userInfo, &error);
    if (!fired)
        PLR_LOG_WARN(QStringLiteral("%1 could not fire %2 in state %3: %4")
                         .arg(latin(PLRWSUM_MACHINE_NAME), latin(eventName), currentStateDescription(),
                              error.localizedDescription()));
    return fired;
}

bool PLRWebServiceUserManager::canFire(const char* eventName) const
{
    return m_stateMachine->canFireEvent(latin(eventName));
}

PLRFiniteStatePtr PLRWebServiceUserManager::currentState() const
{
    return m_stateMachine->currentState();
}

QString PLRWebServiceUserManager::currentStateDescription() const
{
    const PLRFiniteStatePtr state = currentState();
    return state ? state->description() : QStringLiteral("(null)");
}

QString PLRWebServiceUserManager::connectionStateName() const
{
    const PLRFiniteStatePtr state = PLRWebServiceManager::globalManager().currentState();
    return state ? state->name() : QString();
}

bool PLRWebServiceUserManager::isCurrent(quint64 generation) const
{
    if (generation == m_generation)
        return true;
    PLR_LOG_INFO(QStringLiteral("Dropping a service answer that arrived after its state was left"));
    return false;
}

PLRUserSession* PLRWebServiceUserManager::userSession() const
{
    return m_userSession.data();
}

void PLRWebServiceUserManager::setRemoteUser(const PLRWebServiceUserPtr& user)
{
    m_remoteUser = user;
    emit remoteUserChanged();
}

void PLRWebServiceUserManager::setRemoteAccount(const PLRWebServiceAccountPtr& account)
{
    m_remoteAccount = account;
    emit remoteAccountChanged();
}

void PLRWebServiceUserManager::setRemotePublisher(const PLRWebServicePublisherPtr& publisher)
{
    m_remotePublisher = publisher;
    emit remotePublisherChanged();
}

void PLRWebServiceUserManager::addStateChangeNotificationHandler(QObject* observer, StateChangeHandler handler)
{
    if (!observer || !handler)
        return;
    const platform::ObserverToken token = platform::NotificationCenter::defaultCenter().addObserver(
        observer, latin(PLRFiniteStateMachineDidChangeStateNotification), std::move(handler),
        m_stateMachine.get());
    m_observerTokens.insert(observer, token);
    connect(observer, &QObject::destroyed, this, [this, observer] { m_observerTokens.remove(observer); });
}

void PLRWebServiceUserManager::removeStateChangeNotificationHandler(QObject* observer)
{
    if (!observer)
        return;
    for (platform::ObserverToken token : m_observerTokens.values(observer))
        platform::NotificationCenter::defaultCenter().removeObserver(token);
    m_observerTokens.remove(observer);
}

// ---- change requests ----

bool PLRWebServiceUserManager::refreshInfo()
{
    if (!canFire(PLRWSUM_EVENT_REFRESH_INFO)) {
        PLR_LOG_INFO(QStringLiteral("Tried to refresh info while in state: %1").arg(currentStateDescription()));
        return false;
    }
    return fire(PLRWSUM_EVENT_REFRESH_INFO);
}

bool PLRWebServiceUserManager::updateUser(const QString& firstName, const QString& lastName, const QString& email)
{
    PLR_ASSERT_MAIN_THREAD();
    if (!canFire(PLRWSUM_EVENT_UPDATE_USER)) {
        PLR_LOG_INFO(QStringLiteral("Tried to update user while in state: %1").arg(currentStateDescription()));
        return false;
    }
    QVariantMap members;
    if (!firstName.isEmpty())
        members.insert(QStringLiteral("f_name"), firstName);
    if (!lastName.isEmpty())
        members.insert(QStringLiteral("l_name"), lastName);
    if (!email.isEmpty())
        members.insert(QStringLiteral("email"), email);
    PLR_LOG_INFO(QStringLiteral("Preparing User update"));
    return fire(PLRWSUM_EVENT_UPDATE_USER, members);
}

bool PLRWebServiceUserManager::createPublisher(qint64 type, const QString& host, const QString& theme)
{
    if (!canFire(PLRWSUM_EVENT_CREATE_PUBLISHER)) {
        PLR_LOG_INFO(QStringLiteral("Tried to create publisher while in state: %1").arg(currentStateDescription()));
        return false;
    }
    PLR_LOG_INFO(QStringLiteral("Preparing Publisher create"));
    return fire(PLRWSUM_EVENT_CREATE_PUBLISHER, {{QStringLiteral("type"), type},
                                                 {QStringLiteral("host"), host},
                                                 {QStringLiteral("theme_info"), theme}});
}

bool PLRWebServiceUserManager::updatePublisher(qint64 type, const QString& host, const QString& theme)
{
    PLR_ASSERT_MAIN_THREAD();
    if (!canFire(PLRWSUM_EVENT_UPDATE_PUBLISHER)) {
        PLR_LOG_INFO(QStringLiteral("Tried to update publisher while in state: %1").arg(currentStateDescription()));
        return false;
    }
    QVariantMap members;
    if (type != -1)
        members.insert(QStringLiteral("type"), type);
    if (!host.isNull())
        members.insert(QStringLiteral("host"), host);
    if (!theme.isNull())
        members.insert(QStringLiteral("theme_info"), theme);
    PLR_LOG_INFO(QStringLiteral("Preparing Publisher update"));
    return fire(PLRWSUM_EVENT_UPDATE_PUBLISHER, members);
}

bool PLRWebServiceUserManager::updatePublisherDefaults(const QString& categoryName, bool autoPublish)
{
    PLR_ASSERT_MAIN_THREAD();
    if (!canFire(PLRWSUM_EVENT_UPDATE_PUBLISHER)) {
        PLR_LOG_INFO(QStringLiteral("Tried to update publisher while in state: %1").arg(currentStateDescription()));
        return false;
    }
    PLR_LOG_INFO(QStringLiteral("Preparing Publisher update"));
    return fire(PLRWSUM_EVENT_UPDATE_PUBLISHER, {{QStringLiteral("default_category"), categoryName},
                                                 {QStringLiteral("auto_publish"), autoPublish}});
}

bool PLRWebServiceUserManager::deletePublisher()
{
    if (!canFire(PLRWSUM_EVENT_DELETE_PUBLISHER)) {
        PLR_LOG_INFO(QStringLiteral("Tried to delete publisher while in state: %1").arg(currentStateDescription()));
        return false;
    }
    PLR_LOG_INFO(QStringLiteral("Preparing Publisher delete"));
    return fire(PLRWSUM_EVENT_DELETE_PUBLISHER);
}

// ---- the connection machine ----

void PLRWebServiceUserManager::webServiceManagerStateChangeNotification(const platform::Notification&)
{
    const QString connection = connectionStateName();
    if (m_stateMachine->isInState(latin(PLRWSUM_STATE_WAITING_FOR_SERVICE))) {
        // After failures the back-off timer brings the fetch back; until then stay.
        if (connection == QLatin1String(PLRWSM_STATE_STABLE) && !m_retry.isValid())
            fire(PLRWSUM_EVENT_SERVICE_RESTORED);
        return;
    }
    if (notAvailableStates().contains(connection))
        fire(PLRWSUM_EVENT_SERVICE_CHANGED);
}

void PLRWebServiceUserManager::recheckConnection()
{
    ++m_consecutiveFailures;
    const double delay = retryDelayForFailure(m_consecutiveFailures);
    m_retry.cancel();
    if (!m_stateMachine->isInState(latin(PLRWSUM_STATE_WAITING_FOR_SERVICE)))
        fire(PLRWSUM_EVENT_SERVICE_CHANGED);
    PLR_LOG_INFO(QStringLiteral("Re-checking the service connection; fetching again in %1 s at the earliest")
                     .arg(delay));
    m_retry = platform::Clock::shared().after(delay, this, [this] { retryAfterBackoff(); });
    PLRWebServiceManager::globalManager().handlePossibleConnectionChange();
}

void PLRWebServiceUserManager::retryAfterBackoff()
{
    m_retry = platform::Cancellable();
    if (m_stateMachine->isInState(latin(PLRWSUM_STATE_WAITING_FOR_SERVICE))
        && connectionStateName() == QLatin1String(PLRWSM_STATE_STABLE))
        fire(PLRWSUM_EVENT_SERVICE_RESTORED);
}

void PLRWebServiceUserManager::setRetryDelays(double firstSeconds, double maximumSeconds)
{
    retryDelays().first = std::max(0.0, firstSeconds);
    retryDelays().maximum = std::max(retryDelays().first, maximumSeconds);
}

double PLRWebServiceUserManager::retryDelayForFailure(int failureCount)
{
    const RetryDelays& delays = retryDelays();
    const int doublings = std::clamp(failureCount - 1, 0, 30);
    return std::min(delays.first * std::pow(2.0, doublings), delays.maximum);
}

void PLRWebServiceUserManager::settled()
{
    m_renewedThisOperation = false;
    m_consecutiveFailures = 0;
}

// ---- error paths ----

void PLRWebServiceUserManager::processServiceError(const std::optional<PLRServiceError>& error,
                                                   const QString& forwardEvent, const QVariantMap& info)
{
    if (error && error->code() == kTokenExpiredCode) {
        fire(PLRWSUM_EVENT_REFRESH_AUTH, renewalInfo(forwardEvent, info));
        return;
    }
    PLR_LOG_ERROR(QStringLiteral("Web Service Error for %1 : %2")
                      .arg(m_stateMachine->name(), error ? error->description() : QStringLiteral("(null)")));
    recheckConnection();
}

void PLRWebServiceUserManager::processReponseError(const platform::Error& error,
                                                   const PLRFiniteTransitionPtr& transition)
{
    const PLRFiniteStatePtr state = currentState();
    const QString name = state ? state->name() : QString();
    PLR_LOG_WARN(QStringLiteral("Request of %1 failed: %2").arg(name, error.toString()));
    // A user or account change has no failure event: the re-check below leads out of its state.
    const char* failureEvent = nullptr;
    if (name == QLatin1String(PLRWSUM_STATE_UPDATING_PUBLISHER))
        failureEvent = PLRWSUM_EVENT_FAILED_PUBLISHER_UPDATE;
    else if (name == QLatin1String(PLRWSUM_STATE_CREATING_PUBLISHER))
        failureEvent = PLRWSUM_EVENT_FAILED_PUBLISHER_CREATE;
    else if (name == QLatin1String(PLRWSUM_STATE_DELETING_PUBLISHER))
        failureEvent = PLRWSUM_EVENT_FAILED_PUBLISHER_DELETE;
    Q_UNUSED(transition);

    if (failureEvent)
        fire(failureEvent, errorInfo(error));
    if (!failureEvent || isLossOfInternet(error))
        recheckConnection();
}

void PLRWebServiceUserManager::signOutLater(const QString& reason)
{
    PLR_LOG_WARN(QStringLiteral("Signing out: %1").arg(reason));
    // Signing out ends the session and this manager with it: never from inside a fire.
    QPointer<PLRUserSession> session = m_userSession;
    platform::dispatchMain([session] {
        if (session && PLRCoreManager::userSession() == session.data())
            PLRCoreManager::signOut();
        else
            PLR_LOG_WARN(QStringLiteral("Sign-out skipped: the session is no longer the signed-in one"));
    });
}

// ---- fetch sequence ----

void PLRWebServiceUserManager::fetchInfo()
{
    PLR_ASSERT_MAIN_THREAD();
    const quint64 generation = m_generation;
    QPointer<PLRWebServiceUserManager> self(this);
    const bool sent = PLRWebServiceUser::getObjectFromServerRequest(
        [self, generation](bool success, const QVariant& result, const std::optional<PLRServiceError>& serviceError,
                           const platform::Error& transportError) {
            if (!self || !self->isCurrent(generation))
                return;
            const PLRWebServiceUserPtr user = success ? PLRModelFromResult<PLRWebServiceUser>(result) : nullptr;
            if (!user) {
                self->fetchFailed("User", serviceError, transportError);
                return;
            }
            self->setRemoteUser(user);
            // The usage report; its answer is not awaited.
            user->updateObjectWithDictionary(user->dictionary(), {});
            self->fetchAccount(generation);
        });
    if (!sent) {
        // Without a token nothing can be fetched: get one with the stored credentials.
        PLR_LOG_WARN(QStringLiteral("The session has no token; logging in again"));
        fire(PLRWSUM_EVENT_REFRESH_AUTH, renewalInfo(latin(PLRWSUM_EVENT_REFRESH_INFO)));
    }
}

// A failed fetch of user, account or publisher: a token renewal, or a re-check of the connection.
void PLRWebServiceUserManager::fetchFailed(const char* what, const std::optional<PLRServiceError>& serviceError,
                                           const platform::Error& transportError)
{
    if (transportError.isValid())
        PLR_LOG_WARN(QStringLiteral("%1 fetch failed: %2").arg(latin(what), transportError.toString()));
    processServiceError(serviceError, latin(PLRWSUM_EVENT_REFRESH_INFO), {});
}

void PLRWebServiceUserManager::fetchAccount(quint64 generation)
{
    QPointer<PLRWebServiceUserManager> self(this);
    const bool sent = PLRWebServiceAccount::getObjectFromServerRequest(
        [self, generation](bool success, const QVariant& result, const std::optional<PLRServiceError>& serviceError,
                           const platform::Error& transportError) {
            if (!self || !self->isCurrent(generation))
                return;
            const PLRWebServiceAccountPtr account =
                success ? PLRModelFromResult<PLRWebServiceAccount>(result) : nullptr;
            if (!account) {
                self->fetchFailed("Account", serviceError, transportError);
                return;
            }
            self->setRemoteAccount(account);
            if (account->locked())
                self->fire(PLRWSUM_EVENT_ACCOUNT_LOCKED);
            else if (account->deleted())
                self->fire(PLRWSUM_EVENT_ACCOUNT_PENDING_DELETION);
            else if (!self->m_remoteUser || !self->m_remoteUser->verified())
                self->fire(PLRWSUM_EVENT_ACCOUNT_NOT_VERIFIED);
            else
                self->fetchPublisher(generation);
        });
    if (!sent)
        fire(PLRWSUM_EVENT_REFRESH_AUTH, renewalInfo(latin(PLRWSUM_EVENT_REFRESH_INFO)));
}

void PLRWebServiceUserManager::fetchPublisher(quint64 generation)
{
    QPointer<PLRWebServiceUserManager> self(this);
    const bool sent = PLRWebServicePublisher::getObjectFromServerRequest(
        [self, generation](bool success, const QVariant& result, const std::optional<PLRServiceError>& serviceError,
                           const platform::Error& transportError) {
            if (!self || !self->isCurrent(generation))
                return;
            const PLRWebServicePublisherPtr publisher =
                success ? PLRModelFromResult<PLRWebServicePublisher>(result) : nullptr;
            if (publisher) {
                self->setRemotePublisher(publisher);
                self->fire(PLRWSUM_EVENT_FETCHED_INFO);
                return;
            }
            if (serviceError && serviceError->code() == kNoPublisherCode) {
                // The user has no publisher: the fetch is done, and a publisher already known
                // is kept.
                self->fire(PLRWSUM_EVENT_FETCHED_INFO);
                return;
            }
            self->fetchFailed("Publisher", serviceError, transportError);
        });
    if (!sent)
        fire(PLRWSUM_EVENT_REFRESH_AUTH, renewalInfo(latin(PLRWSUM_EVENT_REFRESH_INFO)));
}

// ---- working states ----

// What one updating state updates and the events it ends with.
struct PLRWebServiceUserManager::RemoteUpdate {
    const char* objectName;   // "User", "Account", "Publisher"
    const char* repeatEvent;  // fired again once an expired token is renewed
    const char* doneEvent;
    // No object to update, no token, a refusal other than an expired token. None: every failure
    // goes through processServiceError (a renewal, or a log line and a full re-check).
    const char* failedEvent;
    void (PLRWebServiceUserManager::*changed)();
    // A lost answer counts as a refusal without error (processServiceError), not as a transport
    // error (processReponseError).
    bool transportAsServiceError;
};

void PLRWebServiceUserManager::updateRemoteObject(const PLRWebServiceModelObjectPtr& object,
                                                  const PLRFiniteTransitionPtr& transition,
                                                  const RemoteUpdate& update)
{
    const QVariantMap info = transition ? transition->userInfo() : QVariantMap();
    const QString name = latin(update.objectName);
    if (!object) {
        const platform::Error missing = ownError(PLRWebServiceUserManagerNoRemoteObjectError,
                                                 QStringLiteral("There is no %1 to update.").arg(name.toLower()));
        if (update.failedEvent) {
            fire(update.failedEvent, errorInfo(missing));
        } else {
            PLR_LOG_WARN(missing.localizedDescription());
            processServiceError(std::nullopt, latin(update.repeatEvent), info);
        }
        return;
    }
    const quint64 generation = m_generation;
    QPointer<PLRWebServiceUserManager> self(this);
    const bool sent = object->updateObjectWithDictionary(
        info, [self, generation, info, transition, update, name](bool success, const QVariant&,
                                                                 const std::optional<PLRServiceError>& serviceError,
                                                                 const platform::Error& transportError) {
            if (!self || !self->isCurrent(generation))
                return;
            if (success) {
                emit (self.data()->*update.changed)();
                self->fire(update.doneEvent);
            } else if (transportError.isValid() && !update.transportAsServiceError) {
                self->processReponseError(transportError, transition);
            } else if (update.failedEvent && !(serviceError && serviceError->code() == kTokenExpiredCode)) {
                const PLRServiceError error = serviceError.value_or(PLRServiceError());
                PLR_LOG_WARN(QStringLiteral("%1 update refused: %2").arg(name, error.description()));
                self->fire(update.failedEvent, errorInfo(error));
            } else {
                // A renewal for an expired token; any other refusal (or, for the user, a lost
                // answer) is logged and the connection checked again.
                if (transportError.isValid())
                    PLR_LOG_WARN(QStringLiteral("%1 update failed: %2").arg(name, transportError.toString()));
                self->processServiceError(transportError.isValid() ? std::nullopt : serviceError,
                                          latin(update.repeatEvent), info);
            }
        });
    if (!sent) {
        if (update.failedEvent) {
            fire(update.failedEvent, errorInfo(noTokenError()));
        } else {
            // Without a token nothing is sent: get one with the stored credentials, then repeat.
            PLR_LOG_WARN(QStringLiteral("The session has no token; logging in again"));
            fire(PLRWSUM_EVENT_REFRESH_AUTH, renewalInfo(latin(update.repeatEvent), info));
        }
    }
}

void PLRWebServiceUserManager::updatingUser(const PLRFiniteTransitionPtr& transition)
{
    updateRemoteObject(m_remoteUser, transition,
                       {"User", PLRWSUM_EVENT_UPDATE_USER, PLRWSUM_EVENT_UPDATED_INFO, nullptr,
                        &PLRWebServiceUserManager::remoteUserChanged, true});
}

void PLRWebServiceUserManager::updatingAccount(const PLRFiniteTransitionPtr& transition)
{
    updateRemoteObject(m_remoteAccount, transition,
                       {"Account", PLRWSUM_EVENT_UPDATE_ACCOUNT, PLRWSUM_EVENT_UPDATED_INFO, nullptr,
                        &PLRWebServiceUserManager::remoteAccountChanged, false});
}

void PLRWebServiceUserManager::updatingPublisher(const PLRFiniteTransitionPtr& transition)
{
    if (!m_remotePublisher)
        PLR_LOG_WARN(QStringLiteral("Publisher update asked for without a publisher"));
    updateRemoteObject(m_remotePublisher, transition,
                       {"Publisher", PLRWSUM_EVENT_UPDATE_PUBLISHER, PLRWSUM_EVENT_UPDATED_PUBLISHER,
                        PLRWSUM_EVENT_FAILED_PUBLISHER_UPDATE, &PLRWebServiceUserManager::remotePublisherChanged,
                        false});
}

void PLRWebServiceUserManager::creatingPublisher(const PLRFiniteTransitionPtr& transition)
{
    const QVariantMap info = transition ? transition->userInfo() : QVariantMap();
    PLRServiceCall call;
    call.method = "POST";
    call.url = PLRWebServiceHost::currentHost().serviceMeURLWithPaths(PLRWebServicePublisher::resourcePath());
    call.body = QVariantMap{{QStringLiteral("publisher"), info}};
    call.makeResult = [](const QVariant& data) -> std::optional<QVariant> {
        if (data.typeId() != QMetaType::QVariantMap) {
            PLR_LOG_WARN(QStringLiteral("Publisher create answer has no \"data\" object"));
            return std::nullopt;
        }
        return QVariant::fromValue(PLRWebServicePublisher::fromJSON(data.toMap()));
    };
    const quint64 generation = m_generation;
    QPointer<PLRWebServiceUserManager> self(this);
    const bool sent = PLRSendServiceRequest(
        call, [self, generation, transition](bool success, const QVariant& result,
                                             const std::optional<PLRServiceError>& serviceError,
                                             const platform::Error& transportError) {
            if (!self || !self->isCurrent(generation))
                return;
            if (transportError.isValid()) {
                self->processReponseError(transportError, transition);
                return;
            }
            const PLRWebServicePublisherPtr publisher =
                success ? PLRModelFromResult<PLRWebServicePublisher>(result) : nullptr;
            if (publisher) {
                self->setRemotePublisher(publisher);
                self->fire(PLRWSUM_EVENT_CREATED_PUBLISHER);
                return;
            }
            // Refused, whatever the code: no token renewal here.
            const PLRServiceError error = serviceError.value_or(PLRServiceError());
            PLR_LOG_WARN(QStringLiteral("Publisher create refused: %1").arg(error.description()));
            self->fire(PLRWSUM_EVENT_FAILED_PUBLISHER_CREATE, errorInfo(error));
        });
    if (!sent)
        fire(PLRWSUM_EVENT_FAILED_PUBLISHER_CREATE, errorInfo(noTokenError()));
}

void PLRWebServiceUserManager::deletingPublisher(const PLRFiniteTransitionPtr& transition)
{
    if (!m_remotePublisher) {
        fire(PLRWSUM_EVENT_UPDATED_INFO);
        return;
    }
    PLRServiceCall call;
    call.method = "DELETE";
    call.url = PLRWebServiceHost::currentHost().serviceMeURLWithPaths(PLRWebServicePublisher::resourcePath());
    call.makeResult = [](const QVariant&) -> std::optional<QVariant> { return QVariant(); };
    const quint64 generation = m_generation;
    QPointer<PLRWebServiceUserManager> self(this);
    const bool sent = PLRSendServiceRequest(
        call, [self, generation, transition](bool success, const QVariant&,
                                             const std::optional<PLRServiceError>& serviceError,
                                             const platform::Error& transportError) {
            if (!self || !self->isCurrent(generation))
                return;
            if (transportError.isValid()) {
                self->processReponseError(transportError, transition);
            } else if (success) {
                self->setRemotePublisher(nullptr);
                self->fire(PLRWSUM_EVENT_UPDATED_INFO);
            } else {
                self->fire(PLRWSUM_EVENT_FAILED_PUBLISHER_DELETE, errorInfo(serviceError.value_or(PLRServiceError())));
            }
        });
    if (!sent)
        fire(PLRWSUM_EVENT_FAILED_PUBLISHER_DELETE, errorInfo(noTokenError()));
}

// ---- token renewal ----

void PLRWebServiceUserManager::refreshingAuth(const PLRFiniteTransitionPtr& transition)
{
    PLRUserSession* session = m_userSession.data();
    if (!session || session->email().isEmpty() || session->password().isEmpty()) {
        signOutLater(QStringLiteral("the token expired and no credentials are stored"));
        return;
    }
    if (transition && transition->sourceState()
        && transition->sourceState()->name() == transition->destinationState()->name()) {
        signOutLater(QStringLiteral("the token expired again while it was being renewed"));
        return;
    }
    if (m_renewedThisOperation) {
        signOutLater(QStringLiteral("the service refused the token it had just issued"));
        return;
    }
    if (connectionStateName() != QLatin1String(PLRWSM_STATE_STABLE)) {
        PLR_LOG_WARN(QStringLiteral("Cannot renew the token while the service is not stable"));
        renewalFailed(transition, QVariant::fromValue(ownError(PLRWebServiceUserManagerTokenRenewalError,
                                                               QStringLiteral("The service is not available."))));
        return;
    }

    // The log-in of the connection layer, read here with its HTTP status: only a refusal of
    // the credentials ends the session.
    PLR_LOG_INFO(QStringLiteral("Renewing the session token"));
    const QUrl url = PLRWebServiceHost::currentHost().serviceApiURLWithPaths({QStringLiteral("log-in")});
    QNetworkRequest request = plainServiceRequest(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    const QByteArray body = platform::json::write(
        QVariantMap{{QStringLiteral("user"), QVariantMap{{QStringLiteral("email"), session->email()},
                                                         {QStringLiteral("password"), session->password()}}}},
        false);
    const quint64 generation = m_generation;
    QPointer<PLRWebServiceUserManager> self(this);
    QNetworkReply* reply = PLRURLSession::shared().post(request, body);
    connect(reply, &QNetworkReply::finished, this, [self, reply, generation, transition] {
        reply->deleteLater();
        const platform::Error transport = platform::transportError(reply);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QVariant answer = transport.isValid() ? QVariant() : parseServiceBody(reply->readAll());
        if (self)
            self->finishRenewal(generation, status, answer, transport, transition);
    });
}

void PLRWebServiceUserManager::finishRenewal(quint64 generation, int statusCode, const QVariant& body,
                                             const platform::Error& transport,
                                             const PLRFiniteTransitionPtr& transition)
{
    if (!isCurrent(generation)
        || !m_stateMachine->isInState(latin(PLRWSUM_STATE_REFRESHING_AUTH)))
        return;
    if (transport.isValid()) {
        PLR_LOG_WARN(QStringLiteral("Token renewal did not reach the service (%1); credentials kept")
                         .arg(transport.toString()));
        renewalFailed(transition, QVariant::fromValue(transport));
        return;
    }
    const PLRHTTPURLResponse response{QUrl(), statusCode};
    if (response.isCodeGood()) {
        const QVariant jwt = body.toMap().value(QStringLiteral("jwt"));
        if (jwt.typeId() != QMetaType::QString || jwt.toString().isEmpty()) {
            PLR_LOG_ERROR(QStringLiteral("Token renewal answer has no \"jwt\"; credentials kept"));
            renewalFailed(transition, QVariant::fromValue(PLRServiceError::serviceErrorWithDictionary(body)));
            return;
        }
        if (!PLRUserSession::saveJWT(jwt.toString()))
            PLR_LOG_ERROR(QStringLiteral("The renewed token could not be stored"));
        m_renewedThisOperation = true;
        PLR_LOG_INFO(QStringLiteral("Session token renewed"));

        const QVariantMap info = transition ? transition->userInfo() : QVariantMap();
        const QString forward = info.value(latin(kPLRWSUMForwardEventKey)).toString();
        if (!forward.isEmpty() && m_stateMachine->eventNamed(forward) && m_stateMachine->canFireEvent(forward)) {
            platform::Error error;
            if (!m_stateMachine->fireEvent(forward, info.value(latin(kPLRWSUMInfoKey)).toMap(), &error))
                PLR_LOG_WARN(QStringLiteral("Could not repeat %1: %2").arg(forward, error.localizedDescription()));
        } else {
            fire(PLRWSUM_EVENT_REFRESH_INFO);
        }
        return;
    }
    const PLRServiceError error = PLRServiceError::serviceErrorWithDictionary(body);
    if (response.isCodeForbidden() || error.code() == kIncorrectPasswordCode || error.code() == kIncorrectEmailCode) {
        signOutLater(QStringLiteral("the service refused the stored credentials (%1, %2)")
                         .arg(statusCode)
                         .arg(error.description()));
        return;
    }
    PLR_LOG_WARN(QStringLiteral("Token renewal failed with status %1 (%2); credentials kept")
                     .arg(statusCode)
                     .arg(error.description()));
    renewalFailed(transition, QVariant::fromValue(error));
}

void PLRWebServiceUserManager::renewalFailed(const PLRFiniteTransitionPtr& transition, const QVariant& error)
{
    // The interrupted change ends as failed, so that whoever asked for it hears the outcome;
    // then the connection is checked again and the session fetches anew.
    const QVariantMap info = transition ? transition->userInfo() : QVariantMap();
    const char* failureEvent = failureEventOf(info.value(latin(kPLRWSUMForwardEventKey)).toString());
    if (failureEvent)
        fire(failureEvent, {{latin(kPLRWSUMErrorKey), error}});
    recheckConnection();
}
