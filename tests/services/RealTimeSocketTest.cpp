// The host's real-time socket against the development service.

#include "ServiceTestSupport.h"

#include "platform/Log.h"
#include "services/web-services/PLRWebServiceHost.h"

#include <QWebSocket>

namespace {

struct RecordingDelegate : PLRWebServiceHostRealTimeDelegate {
    void webServiceHost(PLRWebServiceHost*, const QString& event, const QVariant& message) override
    {
        events << event;
        messages << message;
    }
    QStringList events;
    QVariantList messages;
};

} // namespace

class RealTimeSocketTest : public ServiceTest {
protected:
    void SetUp() override
    {
        ServiceTest::SetUp();
        signInDirectly();
        host().ensureSocketConnection();
        ASSERT_TRUE(testing_support::waitUntil([this] { return host().socketConnected() && service.openSockets() == 1; }));
    }
    static PLRWebServiceHost& host() { return PLRWebServiceHost::currentHost(); }
};

TEST_F(RealTimeSocketTest, EventsReachOnlyTheirPostsDelegates)
{
    RecordingDelegate first, second, other;
    host().addMessageDelegate(&first, QStringLiteral("post-a"));
    host().addMessageDelegate(&first, QStringLiteral("post-a"));   // once only
    host().addMessageDelegate(&second, QStringLiteral("post-a"));
    host().addMessageDelegate(&other, QStringLiteral("post-b"));
    host().addMessageDelegate(&other, QString());                 // no post: nothing
    EXPECT_EQ(host().messageDelegatesForPostId(QStringLiteral("post-a")).size(), 2);

    EXPECT_EQ(service.pushSocketEvent(QStringLiteral("post-a"), QStringLiteral("revision_active"),
                                      QJsonObject{{"revision", 3}}),
              1);
    ASSERT_TRUE(testing_support::waitUntil([&] { return second.events.size() == 1; }));
    EXPECT_EQ(first.events, QStringList{"revision_active"});
    EXPECT_EQ(first.messages.first().toMap().value("revision").toInt(), 3);
    EXPECT_EQ(first.messages.first().toMap().value("post").toString(), "post-a");
    EXPECT_TRUE(other.events.isEmpty());

    // Removed from every set; emptied sets stay.
    host().removeMessageDelegate(&first);
    service.pushSocketEvent(QStringLiteral("post-a"), QStringLiteral("html_prep"));
    ASSERT_TRUE(testing_support::waitUntil([&] { return second.events.size() == 2; }));
    EXPECT_EQ(first.events.size(), 1);
}

TEST_F(RealTimeSocketTest, DestroyedDelegatesAreDropped)
{
    RecordingDelegate survivor;
    {
        RecordingDelegate shortLived;
        host().addMessageDelegate(&shortLived, QStringLiteral("p"));
        host().addMessageDelegate(&survivor, QStringLiteral("p"));
    }
    EXPECT_EQ(host().messageDelegatesForPostId(QStringLiteral("p")).size(), 1);
    service.pushSocketEvent(QStringLiteral("p"), QStringLiteral("ack_img_ref"));
    ASSERT_TRUE(testing_support::waitUntil([&] { return survivor.events.size() == 1; }));
}

TEST_F(RealTimeSocketTest, BadMessagesAreDroppedWithALogLine)
{
    RecordingDelegate delegate;
    host().addMessageDelegate(&delegate, QStringLiteral("7"));
    QStringList dropped;
    const int capture = platform::log::addCapture([&](platform::log::Level, const QString& line) {
        if (line.startsWith(QLatin1String("Dropped socket message")))
            dropped << line;
    });
    service.pushRawSocketMessage(QStringLiteral("not json at all"));
    service.pushRawSocketMessage(QStringLiteral("[1,2,3]"));
    service.pushRawSocketMessage(QStringLiteral(R"({"event":"x","payload":{"nopost":1}})"));
    service.pushRawSocketMessage(QStringLiteral(R"({"event":"x","payload":"text"})"));
    service.pushRawSocketMessage(QStringLiteral(R"({"event":"phx_reply","payload":{"post":"7"}})"));
    // A numeric post id reaches the delegates of its text.
    service.pushRawSocketMessage(QStringLiteral(R"({"event":"done","payload":{"post":7}})"));
    ASSERT_TRUE(testing_support::waitUntil([&] { return delegate.events.size() == 1; }));
    platform::log::removeCapture(capture);
    EXPECT_EQ(delegate.events, QStringList{"done"});
    EXPECT_EQ(dropped.size(), 4);
    EXPECT_TRUE(host().socketConnected());
}

TEST_F(RealTimeSocketTest, PingsKeepGoing)
{
    platform::ManualClock& clock = platform::ManualClock::install();
    int pongs = 0;
    QObject::connect(host().webSocket(), &QWebSocket::pong, [&pongs] { ++pongs; });
    host().delaySendPing();
    ASSERT_TRUE(testing_support::waitUntil([&] { return pongs == 1; }));
    // The next one an interval later on the clock, and so on.
    clock.advance(PLRWebServiceHost::pingInterval() - 0.1);
    testing_support::drainEvents();
    EXPECT_EQ(pongs, 1);
    clock.advance(0.1);
    ASSERT_TRUE(testing_support::waitUntil([&] { return pongs == 2; }));
    clock.advance(PLRWebServiceHost::pingInterval());
    ASSERT_TRUE(testing_support::waitUntil([&] { return pongs == 3; }));
    // A second call does not open a second socket.
    host().ensureSocketConnection();
    EXPECT_TRUE(testing_support::holdsFor([&] { return service.openSockets() == 1; }, 100));
}

TEST_F(ServiceTest, SocketNeedsAValidToken)
{
    PLRWebServiceHost& host = PLRWebServiceHost::currentHost();
    host.ensureSocketConnection();   // no session: nothing opened
    EXPECT_EQ(host.webSocket(), nullptr);

    ASSERT_TRUE(PLRCoreManager::completeSignIn(QStringLiteral("x@y.z"), QStringLiteral("p"), QStringLiteral("9"),
                                               QStringLiteral("not-a-token")));
    host.ensureSocketConnection();
    ASSERT_NE(host.webSocket(), nullptr);
    // The service closes it; the host reports no connection and can try again later.
    ASSERT_TRUE(testing_support::waitUntil(
        [&] { return host.webSocket()->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_FALSE(host.socketConnected());
    EXPECT_EQ(service.openSockets(), 0);
}

TEST_F(RealTimeSocketTest, AnotherAccountsSignInOpensTheSocketAgainForIt)
{
    // The service sends a socket the events of the account that opened it: the second account's
    // builds reach the application only through a socket opened with its own token.
    const QUrl before = host().webSocket()->requestUrl();
    service.addUser(QStringLiteral("second@pellora.test"), QStringLiteral("pw"));
    const QString token = service.tokenFor(QStringLiteral("second@pellora.test"));
    ASSERT_FALSE(token.isEmpty());
    ASSERT_TRUE(PLRCoreManager::completeSignIn(QStringLiteral("second@pellora.test"), QStringLiteral("pw"), QStringLiteral("2"), token));
    host().ensureSocketConnection();
    ASSERT_NE(host().webSocket(), nullptr);
    EXPECT_NE(host().webSocket()->requestUrl(), before);
    EXPECT_TRUE(host().webSocket()->requestUrl().query().contains(QString::fromLatin1(QUrl::toPercentEncoding(token))));
    ASSERT_TRUE(testing_support::waitUntil([this] { return host().socketConnected() && service.openSockets() == 1; }));
    // Asked again for the same account: the socket stays.
    QWebSocket* socket = host().webSocket();
    host().ensureSocketConnection();
    EXPECT_EQ(host().webSocket(), socket);

    // Signed out: the socket goes, and none is opened without an account.
    PLRCoreManager::setUserSession(nullptr);
    host().ensureSocketConnection();
    EXPECT_EQ(host().webSocket(), nullptr);
    ASSERT_TRUE(testing_support::waitUntil([this] { return service.openSockets() == 0; }));
}
