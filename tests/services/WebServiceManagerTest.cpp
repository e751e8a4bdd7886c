// The connection machine against the development service: start-up, the service going down
// and coming back, version checks, host changes, the log-in and the core's sign-in/out.

#include "ServiceTestSupport.h"

#include "platform/FirstFrame.h"
#include "platform/Keychain.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "store/session/PLRKeyChain.h"
#include "services/web-services/PLRWebServiceHost.h"
#include "services/web-services/Reachability.h"
#include "platform/Resets.h"

#include <QTcpServer>
#include <QTcpSocket>

TEST_F(ServiceTest, ColdStartReachesTheStableState)
{
    QObject removedObserver;
    int removedCalls = 0;
    auto& manager = PLRWebServiceManager::globalManager();
    recordStates();
    manager.addStateChangeNotificationHandler(&removedObserver,
                                              [&](const platform::Notification&) { ++removedCalls; });
    manager.removeStateChangeNotificationHandler(&removedObserver);
    EXPECT_FALSE(manager.stateMachine());

    manager.beginManager();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
    // The probe starts at "no internet"; its first answer moves the machine on.
    EXPECT_EQ(states, (QStringList{"NO_INTERNET", "CHECKING_CONNECTION", "CHECKING_SERVER_VERSION",
                                   "PLRWSM_STATE_STABLE"}));
    EXPECT_EQ(removedCalls, 0);
    EXPECT_EQ(manager.stateMachine()->name(), "Web_Service");
    EXPECT_FALSE(service.requests(QStringLiteral("/core/health")).isEmpty());
    EXPECT_EQ(service.requests(QStringLiteral("/core/supported")).size(), 1);
}

// The core starts with the main window; the connection check (the probe, the network-information
// back-end, the version request) waits for the window's first frame.
TEST_F(ServiceTest, TheConnectionCheckStartsAfterTheMainWindowsFirstFrame)
{
    platform::firstframe::expect();
    PLRCoreManager::startManager();
    EXPECT_TRUE(testing_support::holdsFor([] { return !PLRWebServiceManager::globalManager().stateMachine(); }, 100));
    EXPECT_TRUE(service.requests(QStringLiteral("/core/health")).isEmpty());
    EXPECT_TRUE(service.requests(QStringLiteral("/core/supported")).isEmpty());

    platform::firstframe::painted();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
    EXPECT_EQ(service.requests(QStringLiteral("/core/supported")).size(), 1);
}

TEST_F(ServiceTest, ServiceGoingDownAndComingBack)
{
    auto& manager = PLRWebServiceManager::globalManager();
    manager.beginManager();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
    recordStates();

    service.goDown();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_SERVER_CONNECTION));
    EXPECT_EQ(manager.serviceReacher()->status(), 1);
    ASSERT_TRUE(service.comeBackUp());
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
    EXPECT_EQ(states, (QStringList{"CHECKING_CONNECTION", "SERVER_CONNECTION", "CHECKING_CONNECTION",
                                   "CHECKING_SERVER_VERSION", "PLRWSM_STATE_STABLE"}));
}

// Checking again now while a fetch is held by a host that has not answered it: that fetch is
// dropped (its connection closed, so nothing it might still bring is read) and a fresh one goes
// out at once; the verdict follows the fresh answer. Inactive, the probe sends nothing.
TEST_F(ServiceTest, CheckingAgainNowDropsTheFetchStillOnItsWayForAFreshOne)
{
    QTcpServer host;
    ASSERT_TRUE(host.listen(QHostAddress::LocalHost));
    QList<QTcpSocket*> connections;
    QObject::connect(&host, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = host.nextPendingConnection())
            connections << socket;
    });
    const auto asked = [&](qsizetype index) {
        return connections.size() > index && connections.at(index)->bytesAvailable() > 0;
    };
    PLRServiceReacher reacher(QUrl(QStringLiteral("http://127.0.0.1:%1/core/health").arg(host.serverPort())));
    reacher.setTiming({0.05, 600.0});
    int reachable = 0;
    reacher.setReachableBlock([&](PLRServiceReacher*) { ++reachable; });
    reacher.checkNow();
    EXPECT_FALSE(reacher.isFetching());

    reacher.startNotifier();
    ASSERT_TRUE(testing_support::waitUntil([&] { return asked(0); }));
    reacher.checkNow();
    ASSERT_TRUE(testing_support::waitUntil([&] { return asked(1); }));
    EXPECT_TRUE(testing_support::waitUntil([&] { return connections.at(0)->state() == QAbstractSocket::UnconnectedState; }));
    connections.at(1)->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
    ASSERT_TRUE(testing_support::waitUntil([&] { return reachable == 1; }));
    EXPECT_EQ(reacher.status(), 0);
    EXPECT_EQ(connections.size(), 2);
}

TEST_F(ServiceTest, LocalCheckLooksAtTheHostName)
{
    QStringList asked;
    bool offline = false;
    const platform::HookGuard<Reachability::FlagsProvider> provider(
        &Reachability::setFlagsProvider, [&](const QString& hostName) -> quint32 {
            asked << hostName;
            return offline ? 0 : Reachability::kReachable;
        });
    auto& manager = PLRWebServiceManager::globalManager();
    manager.beginManager();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
    ASSERT_TRUE(testing_support::waitUntil([&] { return !asked.isEmpty(); }));
    EXPECT_EQ(asked.first(), "127.0.0.1");   // the health URL's host, not the URL's text

    // The local check failing while the fetches fail too means no internet, until a fetch
    // gets through again.
    recordStates();
    offline = true;
    service.goDown();
    ASSERT_TRUE(testing_support::waitUntil([&] { return states.contains(QStringLiteral("NO_INTERNET")); }));
    offline = false;
    ASSERT_TRUE(service.comeBackUp());
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
}

TEST_F(ServiceTest, OfflineSettlesOnNoInternet)
{
    // Offline: the local check says the network is down and every fetch fails with a host
    // error (here the refused connection of a closed port, as an offline resolver's "host not
    // found" would).
    bool offline = true;
    Reachability::setFlagsProvider([&](const QString&) -> quint32 { return offline ? 0 : Reachability::kReachable; });
    service.goDown();
    ASSERT_TRUE(service.waitUntilDown());
    platform::ManualClock& clock = platform::ManualClock::install();
    auto& manager = PLRWebServiceManager::globalManager();
    recordStates();
    int verdicts = 0;
    platform::NotificationCenter::defaultCenter().addObserver(
        &observer, QString::fromLatin1(PLRWebServiceManagerDidGetConnectionVerdictNotification),
        [&](const platform::Notification& note) {
            EXPECT_EQ(note.object, &manager);
            ++verdicts;
        });
    manager.beginManager();
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager.hasConnectionVerdict(); }));
    ASSERT_TRUE(testing_support::waitUntilMovingTheClock(
        [] { return stateName() == QLatin1String(PLRWSM_STATE_NO_INTERNET); }, 8000));
    // The first answer confirms the starting verdict: no hook, no second round through
    // CHECKING_CONNECTION; only the news that the verdict is in.
    testing_support::drainEvents();
    EXPECT_EQ(states, QStringList{"NO_INTERNET"});
    EXPECT_EQ(verdicts, 1);
    states.clear();
    // A dozen checks at test timing, each with a failed fetch.
    const QDateTime before = manager.serviceReacher()->lastTimeReachabilityCheckTime();
    runProbeFor(clock, 0.6);
    EXPECT_TRUE(states.isEmpty()) << states.join(' ').toStdString();
    EXPECT_EQ(stateName(), PLRWSM_STATE_NO_INTERNET);
    EXPECT_EQ(manager.serviceReacher()->status(), 2);
    EXPECT_GE(before.msecsTo(manager.serviceReacher()->lastTimeReachabilityCheckTime()), 550);

    // The network returns: the machine goes on to the stable state.
    offline = false;
    ASSERT_TRUE(service.comeBackUp());
    ASSERT_TRUE(testing_support::waitUntilMovingTheClock(
        [] { return stateName() == QLatin1String(PLRWSM_STATE_STABLE); }, 8000));
    Reachability::setFlagsProvider(nullptr);
}

TEST_F(ServiceTest, WorkingServiceStaysStableWhateverTheLocalCheckSays)
{
    Reachability::setFlagsProvider([](const QString&) -> quint32 { return 0; });
    platform::ManualClock& clock = platform::ManualClock::install();
    auto& manager = PLRWebServiceManager::globalManager();
    manager.beginManager();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
    recordStates();
    // A dozen local checks at test timing: the first one's "down" is confirmed by a fetch at
    // once, then a fetch follows every 0.25 s.
    const qsizetype fetches = service.requests(QStringLiteral("/core/health")).size();
    runProbeFor(clock, 0.7);
    EXPECT_TRUE(states.isEmpty()) << states.join(' ').toStdString();
    EXPECT_EQ(stateName(), PLRWSM_STATE_STABLE);
    EXPECT_EQ(service.requests(QStringLiteral("/core/health")).size(), fetches + 3);
    EXPECT_EQ(service.requests(QStringLiteral("/core/supported")).size(), 1);
    Reachability::setFlagsProvider(nullptr);
}

TEST_F(ServiceTest, FirstProbeAnswerThatKeepsTheStartingVerdictCallsNoHook)
{
    PLRServiceReacher reacher(QUrl{});
    int unreachable = 0;
    int reachable = 0;
    int answered = 0;
    reacher.setUnreachableBlock([&](PLRServiceReacher*) { ++unreachable; });
    reacher.setReachableBlock([&](PLRServiceReacher*) { ++reachable; });
    QObject::connect(&reacher, &PLRServiceReacher::answered, [&] {
        EXPECT_TRUE(reacher.hasAnswered());
        ++answered;
    });
    EXPECT_FALSE(reacher.hasAnswered());
    reacher.startNotifier();   // no URL: "no internet", as at creation
    testing_support::drainEvents();
    EXPECT_TRUE(reacher.hasAnswered());
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(unreachable, 0);
    // A change calls its hook; the same verdict again calls none; the first answer is told once.
    reacher.processNewStatus(0);
    reacher.processNewStatus(0);
    testing_support::drainEvents();
    EXPECT_EQ(reachable, 1);
    reacher.processNewStatus(1);
    reacher.processNewStatus(2);
    testing_support::drainEvents();
    EXPECT_EQ(unreachable, 2);
    EXPECT_EQ(answered, 1);
}

// Any HTTP answer of the health URL means the host is there: an empty one, a 204, a 500.
TEST_F(ServiceTest, AnyAnswerOfTheHealthAddressIsReachable)
{
    struct Case {
        const char* name;
        QJsonObject script;
    };
    const QJsonObject health{{"path", "/core/health"}, {"count", 1000}};
    auto with = [&](QJsonObject extra) {
        for (auto it = health.begin(); it != health.end(); ++it)
            extra.insert(it.key(), it.value());
        return extra;
    };
    for (const Case& answer : {Case{"204", with({{"status", 204}})}, Case{"empty 200", with({{"status", 200}})},
                               Case{"500", with({{"code", 1}, {"status", 500}})},
                               Case{"not JSON", with({{"raw", "<html>up</html>"}, {"status", 200}})}}) {
        SCOPED_TRACE(answer.name);
        service.script(answer.script);
        auto& manager = PLRWebServiceManager::globalManager();
        manager.beginManager();
        EXPECT_TRUE(waitForState(PLRWSM_STATE_STABLE)) << qPrintable(stateName());
        EXPECT_EQ(manager.serviceReacher()->status(), 0);
        EXPECT_FALSE(service.requests(QStringLiteral("/core/health")).isEmpty());
        service.control("DELETE", QStringLiteral("/__control/script"));
        service.clearRequests();
        delete &manager;
    }
}

// An answer of the version check without a body gives no version, and an answer without one
// passes: stable at once, nothing asked again.
TEST_F(ServiceTest, AnEmptyVersionAnswerPassesTheCheck)
{
    for (const int status : {200, 204}) {
        SCOPED_TRACE(status);
        service.script(QJsonObject{{"path", "/core/supported"}, {"status", status}, {"count", 1000}});
        states.clear();
        recordStates();
        auto& manager = PLRWebServiceManager::globalManager();
        manager.beginManager();
        EXPECT_TRUE(waitForState(PLRWSM_STATE_STABLE)) << qPrintable(stateName());
        EXPECT_EQ(service.requests(QStringLiteral("/core/supported")).size(), 1);
        EXPECT_FALSE(states.contains(QStringLiteral("SERVER_CONNECTION")));
        service.control("DELETE", QStringLiteral("/__control/script"));
        service.clearRequests();
        delete &manager;
    }
}

TEST_F(ServiceTest, OutdatedVersion)
{
    service.setMinimumVersion(QStringLiteral("99.1"));
    PLRWebServiceManager::globalManager().beginManager();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_OUT_OF_DATE_VERSION));
}

TEST(WebServiceManager, VersionComparison)
{
    auto supported = [](const char* app, const char* server, bool force = false) {
        return PLRWebServiceManager::isVersionSupported(QString::fromLatin1(app), QString::fromLatin1(server), force);
    };
    EXPECT_TRUE(supported("2.3.1", "2.3.1"));
    EXPECT_FALSE(supported("2.3.1", "2.4"));
    EXPECT_TRUE(supported("2.3.1", "1.9.9"));
    EXPECT_FALSE(supported("2.3.1", "10"));   // as integers, not text
    // Fewer server parts: the missing ones count as 0; extra server parts are not read.
    EXPECT_TRUE(supported("2.3.1", "2.3"));
    EXPECT_TRUE(supported("2.3", "2.3.0.1"));
    EXPECT_TRUE(supported("2.3.1", ""));      // no "version": passes
    EXPECT_FALSE(supported("2.3.1", "1.0", true));
    EXPECT_TRUE(supported("3.0", "1.0", true));
}

TEST_F(ServiceTest, VersionCheckFailuresAreRetried)
{
    auto& manager = PLRWebServiceManager::globalManager();
    // An error status is a server-connection failure, checked again once the probe reaches
    // the host again.
    service.scriptServiceError(QStringLiteral("/core/supported"), 500, 500);
    recordStates();
    manager.beginManager();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
    EXPECT_TRUE(states.contains(QStringLiteral("SERVER_CONNECTION")));
    EXPECT_EQ(service.requests(QStringLiteral("/core/supported")).size(), 2);

    // A dropped connection during the check (a loss of internet) re-checks.
    service.script(QJsonObject{{"path", "/core/supported"}, {"drop", true}});
    manager.handlePossibleConnectionChange();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));

    // Any other transport error: checked again after a pause, not left hanging.
    service.script(QJsonObject{{"path", "/core/supported"}, {"delay_ms", 5000}});
    manager.handlePossibleConnectionChange();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_CHECKING_SERVER_VERSION));
    manager.processReponseError(platform::Error(platform::kURLErrorDomain, platform::urlerror::BadServerResponse),
                                nullptr);
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE, 3000));
}

TEST_F(ServiceTest, HostChangeReplacesTheProbe)
{
    platform::ManualClock& clock = platform::ManualClock::install();
    auto& manager = PLRWebServiceManager::globalManager();
    manager.beginManager();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
    PLRServiceReacher* oldReacher = manager.serviceReacher();
    QPointer<PLRServiceReacher> watched(oldReacher);

    testing_support::DevService other;
    ASSERT_TRUE(other.start());
    PLRWebServiceHost::setCustomPort(QString::number(other.port()));
    PLRWebServiceHost::setCurrentHostType(PLRWebServiceHost_CUSTOM);
    EXPECT_FALSE(watched);   // the old probe is gone
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
    ASSERT_TRUE(testing_support::waitUntil([&] { return !other.requests(QStringLiteral("/core/health")).isEmpty(); }));
    EXPECT_EQ(other.requests(QStringLiteral("/core/supported")).size(), 1);

    // The first service hears nothing more from the old probe; the new one goes on.
    service.clearRequests();
    const qsizetype fetches = other.requests(QStringLiteral("/core/health")).size();
    runProbeFor(clock, 0.7);
    EXPECT_TRUE(service.requests().isEmpty());
    EXPECT_EQ(other.requests(QStringLiteral("/core/health")).size(), fetches + 2);
}

TEST_F(ServiceTest, LogInOnlyWhenStable)
{
    auto& manager = PLRWebServiceManager::globalManager();
    service.script(QJsonObject{{"path", "/core/supported"}, {"delay_ms", 800}});
    manager.beginManager();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_CHECKING_SERVER_VERSION));
    bool called = false;
    EXPECT_FALSE(PLRWebServiceManager::loginWithEmail(
        testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword(),
        [&](bool, const QVariant&, const std::optional<PLRServiceError>&, const platform::Error&) { called = true; }));
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
    EXPECT_TRUE(testing_support::holdsFor([&] { return !called; }, 50));
    EXPECT_TRUE(service.requests(QStringLiteral("/api/log-in")).isEmpty());
}

TEST_F(ServiceTest, CoreSignInAndSignOut)
{
    PLRWebServiceManager::globalManager().beginManager();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));

    // A wrong password: the service error reaches the sign-in form, nothing is stored.
    struct Result {
        bool called = false;
        bool success = false;
        QVariant sessionOrBody;
        std::optional<PLRServiceError> serviceError;
        platform::Error transportError;
    } wrong, right;
    auto into = [](Result& r) {
        return [&r](bool success, const QVariant& sessionOrBody, const PLRServiceError* serviceError,
                    const platform::Error& transportError) {
            r = Result{true, success, sessionOrBody,
                       serviceError ? std::optional<PLRServiceError>(*serviceError) : std::nullopt, transportError};
        };
    };
    ASSERT_TRUE(PLRCoreManager::signInUserWithEmail(testing_support::DevService::demoEmail(), QStringLiteral("nope"),
                                                    into(wrong)));
    ASSERT_TRUE(testing_support::waitUntil([&] { return wrong.called; }));
    EXPECT_FALSE(wrong.success);
    ASSERT_TRUE(wrong.serviceError.has_value());
    EXPECT_EQ(wrong.serviceError->code(), 1);
    EXPECT_EQ(PLRCoreManager::userSession(), nullptr);

    ASSERT_TRUE(PLRCoreManager::signInUserWithEmail(testing_support::DevService::demoEmail(),
                                                    testing_support::DevService::demoPassword(), into(right)));
    ASSERT_TRUE(testing_support::waitUntil([&] { return right.called; }));
    ASSERT_TRUE(right.success);
    PLRUserSession* session = PLRCoreManager::userSession();
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(right.sessionOrBody.value<PLRUserSession*>(), session);
    EXPECT_FALSE(session->jwt().isEmpty());
    // The items live under the current host's service key.
    const QString serviceKey = PLRWebServiceHost::currentHost().serviceKey();
    EXPECT_EQ(serviceKey, "com.dev.custom");
    EXPECT_EQ(PLRKeyChain::itemForKey(kPLRKeychainKeyJWT, serviceKey).value_or(QString()), session->jwt());
    EXPECT_EQ(PLRKeyChain::itemForKey(kPLRKeychainKeyUserId, serviceKey).value_or(QString()), "1");
    const QJsonObject login = service.requests(QStringLiteral("/api/log-in")).last().toObject();
    EXPECT_TRUE(login.value("authorization").toString().isEmpty());
    EXPECT_EQ(login.value("body").toObject().value("user").toObject().value("email").toString(),
              testing_support::DevService::demoEmail());

    QObject context;
    int loggedOut = 0;
    platform::NotificationCenter::defaultCenter().addObserver(
        &context, kPLRUserSessionLoggedOutNotification, [&](const platform::Notification&) { ++loggedOut; });
    EXPECT_TRUE(PLRCoreManager::signOut());
    EXPECT_EQ(loggedOut, 1);
    EXPECT_EQ(PLRCoreManager::userSession(), nullptr);
    EXPECT_FALSE(PLRKeyChain::itemForKey(kPLRKeychainKeyJWT, serviceKey).has_value());
}

TEST_F(ServiceTest, HostNameWithSpacesLeavesTheServiceUnreachable)
{
    PLRWebServiceHost::setCustomHostName(QStringLiteral("bad host name"));
    platform::ManualClock& clock = platform::ManualClock::install();
    auto& manager = PLRWebServiceManager::globalManager();
    manager.beginManager();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_SERVER_CONNECTION));
    // The probe keeps trying (a fetch every 0.25 s at test timing); the verdict holds.
    const QDateTime before = manager.serviceReacher()->lastTimeReachabilityCheckTime();
    runProbeFor(clock, 0.4);
    EXPECT_EQ(stateName(), PLRWSM_STATE_SERVER_CONNECTION);
    EXPECT_GE(before.msecsTo(manager.serviceReacher()->lastTimeReachabilityCheckTime()), 250);
    bool called = false;
    EXPECT_FALSE(PLRWebServiceManager::loginWithEmail(
        QStringLiteral("a@b.c"), QStringLiteral("p"),
        [&](bool, const QVariant&, const std::optional<PLRServiceError>&, const platform::Error&) { called = true; }));
    EXPECT_FALSE(called);
}
