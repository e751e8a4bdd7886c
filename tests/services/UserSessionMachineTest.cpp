// The user-session machine "Web_Service_User_Session" against the development service: the
// fetch, the account states, publisher changes, token renewal, following the connection machine
// and answers it must not trust.

#include "UserServiceTestSupport.h"

#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/session/PLRKeyChain.h"
#include "services/web-services/PLRWebServiceUserManager.h"

#include <QElapsedTimer>

using namespace user_service_testing;

namespace {

QString keychainItem(const char* key)
{
    return PLRKeyChain::itemForKey(QLatin1String(key), PLRUserSession::keychainServiceName()).value_or(QString());
}

} // namespace

class UserSessionMachine : public ServiceTest {
protected:
    void SetUp() override
    {
        ServiceTest::SetUp();
        PLRWebServiceUserManager::setRetryDelays(0.05, 0.4);
        PLRWebServiceUserManager::installSessionFactory();
        clock.start();
    }

    void startConnection()
    {
        PLRWebServiceManager::globalManager().beginManager();
        ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
    }

    // The signed-in session's manager, made now, with its transitions recorded.
    PLRWebServiceUserManager* makeManager()
    {
        PLRWebServiceUserManager* made = PLRWebServiceUserManager::forSession(PLRCoreManager::userSession());
        EXPECT_TRUE(made);
        if (!made)
            return nullptr;
        made->addStateChangeNotificationHandler(&userObserver, [this](const platform::Notification& notification) {
            const auto transition = notification.userInfo.value(QLatin1String(PLRFiniteStateMachineTransitionUserInfoKey))
                                        .value<PLRFiniteTransitionPtr>();
            events << transition->event()->name();
            infos << transition->userInfo();
            entered << transition->destinationState()->name();
            times << clock.elapsed();
        });
        return made;
    }

    // Signed in, connection stable, the manager's first fetch done (in IDLE).
    PLRWebServiceUserManager* idleManager()
    {
        signInDirectly();
        startConnection();
        PLRWebServiceUserManager* made = makeManager();
        EXPECT_TRUE(waitForUser(PLRWSUM_STATE_IDLE));
        events.clear();
        infos.clear();
        entered.clear();
        service.clearRequests();
        return made;
    }

    static QString userState()
    {
        auto* manager = PLRWebServiceUserManager::forSession(PLRCoreManager::userSession());
        return manager && manager->currentState() ? manager->currentState()->name() : QString();
    }

    static bool waitForUser(const char* name, int timeoutMs = 8000)
    {
        return testing_support::waitUntil([name] { return userState() == QLatin1String(name); }, timeoutMs);
    }

    // Waits until the event has fired `count` times.
    bool waitForEvent(const char* name, int count = 1, int timeoutMs = 8000)
    {
        return testing_support::waitUntil([&] { return events.count(QLatin1String(name)) >= count; }, timeoutMs);
    }

    qint64 errorCode(int index) const
    {
        return infos.value(index).value(QLatin1String(kPLRWSUMErrorKey)).value<PLRServiceError>().code();
    }

    QObject userObserver;
    QStringList events;
    QStringList entered;
    QList<QVariantMap> infos;
    QList<qint64> times;
    QElapsedTimer clock;
};

TEST_F(UserSessionMachine, StoredSessionFetchesOnceTheServiceIsStable)
{
    signInDirectly();
    setDemoUser(service, {{"user", QJsonObject{{"f_name", "Ann"}, {"l_name", "Lee"}}},
                          {"publisher", QJsonObject{{"host", "photos.example.com"}}}});
    // The connection machine does not exist yet: the session waits.
    PLRWebServiceUserManager* manager = makeManager();
    ASSERT_TRUE(manager);
    EXPECT_EQ(userState(), PLRWSUM_STATE_WAITING_FOR_SERVICE);
    EXPECT_TRUE(testing_support::holdsFor([&] { return service.requests("/api/me/").isEmpty(); }, 100));

    startConnection();
    ASSERT_TRUE(waitForUser(PLRWSUM_STATE_IDLE));
    EXPECT_EQ(events, (QStringList{"ENV_SERVICE_RESTORED", "ENV_FETCHED_INFO"}));

    QStringList gets;
    for (const QJsonValue& entry : service.requests()) {
        if (entry["method"] == "GET" && entry["path"].toString().startsWith("/api/me"))
            gets << entry["path"].toString();
    }
    EXPECT_EQ(gets, (QStringList{"/api/me/", "/api/me/account", "/api/me/publisher"}));
    const QJsonArray usage = requestsOf(service, "/api/me/", "PUT");
    ASSERT_EQ(usage.size(), 1);
    EXPECT_TRUE(usage.at(0)["body"]["user"]["app_usage"].isObject());

    EXPECT_EQ(manager->remoteUser()->firstName(), "Ann");
    EXPECT_EQ(manager->remotePublisher()->host(), "photos.example.com");
    EXPECT_EQ(PLRCoreManager::userSession()->account()->firstName(), "Ann");
    EXPECT_EQ(PLRCoreManager::userSession()->account()->lastName(), "Lee");

    // A publisher fetch answered 501 (no publisher) ends the fetch and keeps the publisher
    // already known.
    setDemoUser(service, {{"publisher", QJsonValue::Null}});
    events.clear();
    ASSERT_TRUE(manager->refreshInfo());
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_FETCHED_INFO));
    EXPECT_EQ(events, (QStringList{"ENV_REFRESH_INFO", "ENV_FETCHED_INFO"}));
    EXPECT_EQ(userState(), PLRWSUM_STATE_IDLE);
    ASSERT_TRUE(manager->remotePublisher());
    EXPECT_EQ(manager->remotePublisher()->host(), "photos.example.com");
}

TEST_F(UserSessionMachine, FollowsTheConnectionMachine)
{
    PLRWebServiceUserManager* manager = idleManager();
    ASSERT_TRUE(manager);
    // No publisher (service code 501): the fetch still ends in IDLE.
    EXPECT_FALSE(manager->remotePublisher());

    service.goDown();
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_SERVICE_CHANGED));
    ASSERT_TRUE(service.comeBackUp());
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_FETCHED_INFO));
    EXPECT_EQ(events, (QStringList{"ENV_SERVICE_CHANGED", "ENV_SERVICE_RESTORED", "ENV_FETCHED_INFO"}));
}

TEST_F(UserSessionMachine, AccountStates)
{
    setDemoUser(service, {{"account", QJsonObject{{"status", 2}}}});
    PLRWebServiceUserManager* manager = nullptr;
    signInDirectly();
    startConnection();
    manager = makeManager();
    ASSERT_TRUE(waitForUser(PLRWSUM_STATE_ACCOUNT_LOCKED));
    EXPECT_TRUE(manager->remoteAccount()->locked());

    struct Step { int status; bool verified; const char* state; };
    for (const Step& step : {Step{32, true, PLRWSUM_STATE_ACCOUNT_LOCKED}, Step{0, false, PLRWSUM_STATE_NOT_VERIFIED},
                             Step{0, true, PLRWSUM_STATE_IDLE}}) {
        setDemoUser(service, {{"account", QJsonObject{{"status", step.status}}},
                              {"user", QJsonObject{{"verified", step.verified}}}});
        service.clearRequests();
        events.clear();
        entered.clear();
        ASSERT_TRUE(manager->refreshInfo());
        ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_REFRESH_INFO));
        ASSERT_TRUE(testing_support::waitUntil([&] { return entered.size() == 2; }));
        EXPECT_EQ(entered.last(), step.state);
        // The publisher is fetched only for a usable, verified account.
        EXPECT_EQ(service.requests("/api/me/publisher").isEmpty(), QLatin1String(step.state) != PLRWSUM_STATE_IDLE);
    }
}

TEST_F(UserSessionMachine, ExpiredTokenIsRenewedAndTheRequestResent)
{
    setDemoUser(service, {{"publisher", QJsonObject{{"host", "photos.example.com"}}}});
    PLRWebServiceUserManager* manager = idleManager();
    ASSERT_TRUE(manager);
    const QString oldToken = PLRCoreManager::userSession()->jwt();
    service.scriptServiceError("/api/me/publisher", 10000, 401);

    ASSERT_TRUE(manager->updatePublisher(-1, QString(), QStringLiteral("Dark")));
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_UPDATED_PUBLISHER));
    EXPECT_EQ(events, (QStringList{"ENV_UPDATE_PUBLISHER", "ENV_REFRESH_AUTH", "ENV_UPDATE_PUBLISHER",
                                   "ENV_UPDATED_PUBLISHER"}));
    const QVariantMap members{{"theme_info", "Dark"}};
    EXPECT_EQ(infos.at(1), (QVariantMap{{"forwardEvent", "ENV_UPDATE_PUBLISHER"}, {"info", members}}));
    EXPECT_EQ(infos.at(2), members);

    const QString newToken = keychainItem(kPLRKeychainKeyJWT);
    EXPECT_FALSE(newToken.isEmpty());
    EXPECT_NE(newToken, oldToken);
    EXPECT_EQ(PLRCoreManager::userSession()->jwt(), newToken);
    const QJsonArray puts = requestsOf(service, "/api/me/publisher", "PUT");
    ASSERT_EQ(puts.size(), 2);
    EXPECT_EQ(puts.at(0)["authorization"], "Bearer " + oldToken);
    EXPECT_EQ(puts.at(1)["authorization"], "Bearer " + newToken);
    EXPECT_EQ(puts.at(1)["body"], QJsonObject({{"publisher", QJsonObject{{"theme_info", "Dark"}}}}));
    EXPECT_EQ(service.requests("/api/log-in").size(), 1);

    // An expired token during the fetch: the fetch starts over with the empty info.
    events.clear();
    infos.clear();
    service.scriptServiceError("/api/me/", 10000, 401);
    ASSERT_TRUE(manager->refreshInfo());
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_FETCHED_INFO));
    EXPECT_EQ(events, (QStringList{"ENV_REFRESH_INFO", "ENV_REFRESH_AUTH", "ENV_REFRESH_INFO", "ENV_FETCHED_INFO"}));
    EXPECT_EQ(infos.at(1), (QVariantMap{{"forwardEvent", "ENV_REFRESH_INFO"}, {"info", QVariantMap()}}));
}

TEST_F(UserSessionMachine, RefusedRenewalSignsOut)
{
    PLRWebServiceUserManager* manager = idleManager();
    ASSERT_TRUE(manager);
    int loggedOut = 0;
    platform::NotificationCenter::defaultCenter().addObserver(
        &observer, QLatin1String(kPLRUserSessionLoggedOutNotification), [&](const platform::Notification&) { ++loggedOut; });
    // The password was changed elsewhere: the log-in answers code 1.
    service.addUser(testing_support::DevService::demoEmail(), QStringLiteral("changed"));
    service.scriptServiceError("/api/me/", 10000, 401);

    ASSERT_TRUE(manager->refreshInfo());
    ASSERT_TRUE(testing_support::waitUntil([] { return PLRCoreManager::userSession() == nullptr; }));
    EXPECT_EQ(loggedOut, 1);
    EXPECT_TRUE(keychainItem(kPLRKeychainKeyEmail).isEmpty());
    EXPECT_TRUE(keychainItem(kPLRKeychainKeyPassword).isEmpty());
    EXPECT_TRUE(keychainItem(kPLRKeychainKeyJWT).isEmpty());
}

TEST_F(UserSessionMachine, ATokenRefusedAgainAfterRenewalSignsOut)
{
    PLRWebServiceUserManager* manager = idleManager();
    ASSERT_TRUE(manager);
    service.scriptServiceError("/api/me/", 10000, 401, 5);
    ASSERT_TRUE(manager->refreshInfo());
    ASSERT_TRUE(testing_support::waitUntil([] { return PLRCoreManager::userSession() == nullptr; }));
    EXPECT_EQ(service.requests("/api/log-in").size(), 1);
    EXPECT_EQ(service.requests("/api/me/").size(), 2);
}

TEST_F(UserSessionMachine, UnreachableOrFailingServiceDuringRenewalKeepsTheCredentials)
{
    PLRWebServiceUserManager* manager = idleManager();
    ASSERT_TRUE(manager);
    const QString password = keychainItem(kPLRKeychainKeyPassword);
    int loggedOut = 0;
    platform::NotificationCenter::defaultCenter().addObserver(
        &observer, QLatin1String(kPLRUserSessionLoggedOutNotification), [&](const platform::Notification&) { ++loggedOut; });

    // (A dropped request may be resent once by the network layer: drop a few.)
    const QJsonObject dropped{{"path", "/api/log-in"}, {"drop", true}, {"count", 3}};
    const QJsonObject failing{{"path", "/api/log-in"}, {"status", 503}, {"code", 0}};
    for (const QJsonObject& loginFailure : {dropped, failing}) {
        events.clear();
        service.control("DELETE", QStringLiteral("/__control/script"));
        service.scriptServiceError("/api/me/", 10000, 401);
        service.script(loginFailure);
        ASSERT_TRUE(manager->refreshInfo());
        // Back to the service's pace: wait, then fetch again with the token still held.
        ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_FETCHED_INFO));
        EXPECT_EQ(events.mid(0, 3), (QStringList{"ENV_REFRESH_INFO", "ENV_REFRESH_AUTH", "ENV_SERVICE_CHANGED"}));
        EXPECT_EQ(events.last(), "ENV_FETCHED_INFO");
    }
    EXPECT_EQ(loggedOut, 0);
    ASSERT_TRUE(PLRCoreManager::userSession());
    EXPECT_EQ(keychainItem(kPLRKeychainKeyPassword), password);
    EXPECT_FALSE(keychainItem(kPLRKeychainKeyJWT).isEmpty());
}

TEST_F(UserSessionMachine, AChangeInterruptedByAFailedRenewalEndsInItsFailureEvent)
{
    setDemoUser(service, {{"publisher", QJsonObject{{"host", "photos.example.com"}}}});
    PLRWebServiceUserManager* manager = idleManager();
    ASSERT_TRUE(manager);
    service.scriptServiceError("/api/me/publisher", 10000, 401);
    service.script(QJsonObject{{"path", "/api/log-in"}, {"status", 503}, {"code", 0}});

    ASSERT_TRUE(manager->updatePublisher(-1, QString(), QStringLiteral("Dark")));
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_FAILED_PUBLISHER_UPDATE)) << events.join(' ').toStdString();
    EXPECT_EQ(events.mid(0, 3), (QStringList{"ENV_UPDATE_PUBLISHER", "ENV_REFRESH_AUTH", "ENV_FAILED_PUBLISHER_UPDATE"}));
    EXPECT_TRUE(infos.at(2).contains(kPLRWSUMErrorKey));
    // Then the connection is checked again and the session fetches anew, credentials kept.
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_FETCHED_INFO));
    EXPECT_EQ(requestsOf(service, "/api/me/publisher", "PUT").size(), 1);
    ASSERT_TRUE(PLRCoreManager::userSession());
}

// A user or account change that the service refuses, or whose answer is lost, is a service error:
// logged, the connection checked again and everything fetched anew; never ENV_UPDATED_INFO, which
// means the change was made.
TEST_F(UserSessionMachine, RefusedUserAndAccountChangesAreServiceErrors)
{
    PLRWebServiceUserManager* manager = idleManager();
    ASSERT_TRUE(manager);
    QStringList errorLines;
    const int capture = platform::log::addCapture([&](platform::log::Level level, const QString& line) {
        if (level == platform::log::Level::Error && line.contains(QLatin1String("Web Service Error for")))
            errorLines << line;
    });
    auto expectRecheck = [&](const char* change) {
        SCOPED_TRACE(change);
        ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_FETCHED_INFO)) << events.join(' ').toStdString();
        EXPECT_EQ(events.join(' '), QStringLiteral("%1 ENV_SERVICE_CHANGED ENV_SERVICE_RESTORED ENV_FETCHED_INFO")
                                        .arg(QLatin1String(change)));
        EXPECT_EQ(userState(), PLRWSUM_STATE_IDLE);
        events.clear();
        infos.clear();
    };

    service.script(QJsonObject{{"path", "/api/me/"}, {"method", "PUT"}, {"status", 400}, {"code", 12}});
    ASSERT_TRUE(manager->updateUser(QStringLiteral("Ann"), QString(), QString()));
    expectRecheck("ENV_UPDATE_USER");
    ASSERT_EQ(errorLines.size(), 1);
    EXPECT_TRUE(errorLines.first().contains(QLatin1String("Web Service Error for Web_Service_User_Session")));
    EXPECT_TRUE(errorLines.first().contains(QLatin1String("code=12")));

    // The user's answer lost (the network layer sends a PUT again once on a dropped connection):
    // the same path, with no error to show.
    service.script(QJsonObject{{"path", "/api/me/"}, {"method", "PUT"}, {"drop", true}, {"count", 2}});
    ASSERT_TRUE(manager->updateUser(QStringLiteral("Ann"), QString(), QString()));
    expectRecheck("ENV_UPDATE_USER");
    EXPECT_EQ(errorLines.size(), 2);

    // The account (whose change only a renewal repeats).
    service.script(QJsonObject{{"path", "/api/me/account"}, {"method", "PUT"}, {"status", 422}, {"code", 3}});
    ASSERT_TRUE(manager->stateMachine()->fireEvent(QStringLiteral("ENV_UPDATE_ACCOUNT"),
                                                   QVariantMap{{"name", "Studio"}}));
    expectRecheck("ENV_UPDATE_ACCOUNT");
    EXPECT_EQ(errorLines.size(), 3);
    EXPECT_EQ(requestsOf(service, "/api/me/account", "PUT").size(), 1);

    // An expired token is still renewed and the change repeated.
    service.scriptServiceError("/api/me/", 10000, 401);
    ASSERT_TRUE(manager->updateUser(QStringLiteral("Bea"), QString(), QString()));
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_UPDATED_INFO));
    EXPECT_EQ(events.join(' '), "ENV_UPDATE_USER ENV_REFRESH_AUTH ENV_UPDATE_USER ENV_UPDATED_INFO");
    EXPECT_EQ(requestsOf(service, "/api/me/", "PUT").last()["body"]["user"]["f_name"], "Bea");
    EXPECT_EQ(errorLines.size(), 3);
    platform::log::removeCapture(capture);
}

TEST_F(UserSessionMachine, PublisherChanges)
{
    PLRWebServiceUserManager* manager = idleManager();
    ASSERT_TRUE(manager);

    // The service rejects the website host (506): the failure event carries its error.
    ASSERT_TRUE(manager->createPublisher(2, QStringLiteral("not a host"), QStringLiteral("Theme")));
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_FAILED_PUBLISHER_CREATE));
    EXPECT_EQ(errorCode(1), 506);
    EXPECT_EQ(userState(), PLRWSUM_STATE_IDLE);
    // An expired token on create is a plain failure: no renewal.
    service.scriptServiceError("/api/me/publisher", 10000, 401);
    ASSERT_TRUE(manager->createPublisher(2, QStringLiteral("photos.example.com"), QStringLiteral("Theme")));
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_FAILED_PUBLISHER_CREATE, 2));
    EXPECT_EQ(errorCode(3), 10000);
    EXPECT_TRUE(service.requests("/api/log-in").isEmpty());

    ASSERT_TRUE(manager->createPublisher(2, QStringLiteral("photos.example.com"), QStringLiteral("Theme")));
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_CREATED_PUBLISHER));
    ASSERT_TRUE(manager->remotePublisher());
    EXPECT_EQ(requestsOf(service, "/api/me/publisher", "POST").last()["body"],
              QJsonObject({{"publisher", QJsonObject{{"type", 2}, {"host", "photos.example.com"}, {"theme_info", "Theme"}}}}));

    events.clear();
    infos.clear();
    ASSERT_TRUE(manager->updatePublisher(-1, QStringLiteral("bad host!"), QString()));
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_FAILED_PUBLISHER_UPDATE));
    EXPECT_EQ(errorCode(1), 506);
    EXPECT_EQ(manager->remotePublisher()->host(), "photos.example.com");

    ASSERT_TRUE(manager->updatePublisherDefaults(QStringLiteral("Travel"), true));
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_UPDATED_PUBLISHER));
    EXPECT_EQ(manager->remotePublisher()->defaultCategory(), "Travel");
    EXPECT_TRUE(manager->remotePublisher()->autoPublish());

    ASSERT_TRUE(manager->deletePublisher());
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_UPDATED_INFO));
    EXPECT_FALSE(manager->remotePublisher());
    EXPECT_EQ(requestsOf(service, "/api/me/publisher", "DELETE").size(), 1);

    // Nothing to delete or update: straight back to IDLE, nothing sent.
    events.clear();
    infos.clear();
    ASSERT_TRUE(manager->deletePublisher());
    EXPECT_EQ(events, (QStringList{"ENV_DELETE_PUBLISHER", "ENV_UPDATED_INFO"}));
    ASSERT_TRUE(manager->updatePublisherDefaults(QStringLiteral("Travel"), false));
    EXPECT_EQ(events.last(), "ENV_FAILED_PUBLISHER_UPDATE");
    const auto ownError = infos.last().value(kPLRWSUMErrorKey).value<platform::Error>();
    EXPECT_EQ(ownError.domain, kPLRWebServiceUserManagerErrorDomain);
    EXPECT_EQ(ownError.code, PLRWebServiceUserManagerNoRemoteObjectError);
    EXPECT_EQ(requestsOf(service, "/api/me/publisher", "DELETE").size(), 1);
    EXPECT_TRUE(requestsOf(service, "/api/me/publisher", "PUT").size() == 2);
}

TEST_F(UserSessionMachine, TransportFailureOfAChangeEndsInItsFailureEvent)
{
    setDemoUser(service, {{"publisher", QJsonObject{{"host", "photos.example.com"}}}});
    PLRWebServiceUserManager* manager = idleManager();
    ASSERT_TRUE(manager);
    // The answer never comes: the connection is dropped.
    // (A dropped request may be resent once by the network layer: drop a few.)
    service.script(QJsonObject{{"path", "/api/me/publisher"}, {"method", "PUT"}, {"drop", true}, {"count", 3}});
    ASSERT_TRUE(manager->updatePublisher(1, QString(), QString()));
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_FAILED_PUBLISHER_UPDATE));
    EXPECT_TRUE(infos.at(1).value(kPLRWSUMErrorKey).value<platform::Error>().isValid());
    // A lost connection also has the connection re-checked; the session fetches again.
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_FETCHED_INFO));
    EXPECT_EQ(userState(), PLRWSUM_STATE_IDLE);
}

TEST_F(UserSessionMachine, AnswersToALeftStateAreDropped)
{
    PLRWebServiceUserManager* manager = idleManager();
    ASSERT_TRUE(manager);
    QStringList lines;
    const int capture = platform::log::addCapture([&](platform::log::Level, const QString& line) { lines << line; });
    service.script(QJsonObject{{"path", "/api/me/"}, {"method", "GET"}, {"delay_ms", 700}});
    setDemoUser(service, {{"user", QJsonObject{{"f_name", "Late"}}}});
    ASSERT_TRUE(manager->refreshInfo());
    EXPECT_FALSE(manager->refreshInfo());
    EXPECT_FALSE(lines.filter("Tried to refresh info while in state: ").isEmpty());

    PLRWebServiceManager::globalManager().handlePossibleConnectionChange();
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_FETCHED_INFO));
    const PLRWebServiceUserPtr fetched = manager->remoteUser();
    ASSERT_TRUE(testing_support::waitUntil([&] { return !lines.filter("Dropping a service answer").isEmpty(); }));
    platform::log::removeCapture(capture);
    EXPECT_EQ(manager->remoteUser(), fetched);
    EXPECT_EQ(events.count("ENV_FETCHED_INFO"), 1);
    EXPECT_EQ(userState(), PLRWSUM_STATE_IDLE);
}

TEST_F(UserSessionMachine, RepeatedServiceErrorsBackOff)
{
    PLRWebServiceUserManager::setRetryDelays(0.2, 0.3);
    PLRWebServiceUserManager* manager = idleManager();
    ASSERT_TRUE(manager);
    service.scriptServiceError("/api/me/", 0, 500, 3);
    times.clear();
    ASSERT_TRUE(manager->refreshInfo());
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_FETCHED_INFO, 1, 10000));
    QList<qint64> fetches;
    for (int i = 0; i < entered.size(); ++i) {
        if (entered.at(i) == QLatin1String(PLRWSUM_STATE_FETCHING_INFO))
            fetches << times.at(i);
    }
    ASSERT_EQ(fetches.size(), 4);
    EXPECT_GE(fetches.at(1) - fetches.at(0), 200);
    EXPECT_GE(fetches.at(2) - fetches.at(1), 300);
    EXPECT_GE(fetches.at(3) - fetches.at(2), 300);
    EXPECT_EQ(PLRWebServiceUserManager::retryDelayForFailure(1), 0.2);
    EXPECT_EQ(PLRWebServiceUserManager::retryDelayForFailure(9), 0.3);
}

TEST_F(UserSessionMachine, MalformedAnswersEndInASettledState)
{
    PLRWebServiceUserManager* manager = idleManager();
    ASSERT_TRUE(manager);
    // Wrong types: the user is built without them (so not verified). Both the fetch and the
    // usage report's answer (applied to the same user) have them.
    const QJsonObject wronglyTyped{{"id", "1"}, {"f_name", 3}, {"verified", "maybe"},
                                   {"created_at", "2020-01-01T00:00:00.5+02:00"}};
    service.script(QJsonObject{{"path", "/api/me/"}, {"count", 2}, {"status", 200},
                               {"body", QJsonObject{{"data", wronglyTyped}}}});
    ASSERT_TRUE(manager->refreshInfo());
    ASSERT_TRUE(waitForUser(PLRWSUM_STATE_NOT_VERIFIED)) << events.join(' ').toStdString();
    EXPECT_TRUE(manager->remoteUser()->firstName().isNull());
    EXPECT_FALSE(manager->remoteUser()->creationDate().isValid());

    // No "data" at all, and a status given as text that is no number.
    scriptBody(service, "/api/me/", QJsonObject{}, 200, "GET");
    scriptBody(service, "/api/me/account", QJsonObject{{"data", QJsonObject{{"status", "two"}}}}, 200, "GET");
    ASSERT_TRUE(manager->refreshInfo());
    ASSERT_TRUE(waitForEvent(PLRWSUM_EVENT_FETCHED_INFO));
    EXPECT_EQ(userState(), PLRWSUM_STATE_IDLE);
    EXPECT_EQ(manager->remoteAccount()->status(), 0);
}
