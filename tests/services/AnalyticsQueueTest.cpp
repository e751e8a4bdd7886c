// The analytics queue: the event's wire form, the stored queue and its sending, against the
// development service's event collector.

#include "LoopbackHost.h"
#include "UserServiceTestSupport.h"

#include "services/analytic/PLRAnalyticManager.h"
#include "platform/Clock.h"
#include "platform/FoundationAdditions.h"
#include "platform/Json.h"
#include "platform/UserDefaults.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <ctime>

using namespace user_service_testing;

namespace {

void pointCollectorAt(quint16 port)
{
    platform::UserDefaults::standard().setString(QString::fromLatin1(kPLRAnalyticCollectorURLKey),
                                                 QStringLiteral("http://127.0.0.1:%1").arg(port));
}

// A loopback port on which nothing listens.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// A collector that counts the events it receives and answers them only once released.
class HoldingCollector : public testing_support::LoopbackHost {
public:
    int received = 0;

    HoldingCollector()
        : LoopbackHost([this](QTcpSocket* socket, const Request&) {
              ++received;
              m_waiting.append(socket);
              if (m_released)
                  release();
          })
    {
    }
    // Answers what waits, and from now on everything at once.
    void release()
    {
        m_released = true;
        for (const QPointer<QTcpSocket>& socket : std::exchange(m_waiting, {}))
            if (socket)
                socket->write("HTTP/1.1 202 Accepted\r\nContent-Length: 0\r\n\r\n");
    }

private:
    QList<QPointer<QTcpSocket>> m_waiting;
    bool m_released = false;
};

// The time zone of the process for one scope (the offset functions read it afresh).
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) : m_had(qEnvironmentVariableIsSet("TZ")), m_saved(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_had)
            qputenv("TZ", m_saved);
        else
            qunsetenv("TZ");
        ::tzset();
    }

private:
    bool m_had;
    QByteArray m_saved;
};

QStringList titles(const QList<PLRAnalyticEvent>& events)
{
    QStringList list;
    for (const PLRAnalyticEvent& event : events)
        list << event.eventTitle();
    return list;
}

} // namespace

TEST(AnalyticsEvent, WireForm)
{
    PLRAnalyticEvent event = PLRAnalyticEvent::createEventWithTitle("Exported", {{"count", 3}, {"kind", "jpeg"}});
    EXPECT_EQ(event.eventID(), event.eventID().toUpper());
    EXPECT_EQ(event.eventID().size(), 36);
    event.setCreateTime(QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC));

    const QVariantMap wire = platform::json::parse(event.jsonRepresentation().toUtf8(), false).toMap();
    EXPECT_EQ(wire.value("date_happened").toLongLong(),
              platform::gmtZoneDate(event.createTime()).toSecsSinceEpoch());
    EXPECT_EQ(wire.value("priority"), "normal");
    EXPECT_EQ(wire.value("tags").toStringList(), PLRAppInfo::tagsForCurrentApplication());
    EXPECT_EQ(wire.value("text"), R"({"count":3,"kind":"jpeg"})");
    EXPECT_EQ(wire.value("title"), "Exported");
    EXPECT_EQ(wire.value("source_type_name"), "PelloraApp");
    EXPECT_EQ(PLRAnalyticEvent::createEventWithTitle("Quit", {}).wireDictionary().value("text"), "{}");

    EXPECT_EQ(PLRAppInfo::tagsForApplication("Example", "3.1"), (QStringList{"bundle:Example", "version:3.1"}));
    EXPECT_EQ(PLRAppInfo::tagsForCurrentApplication().first(), "bundle:Pellora");

    // "date_happened" is the creation time moved back by the local zone's offset from GMT:
    // ahead of GMT it is earlier, behind GMT later (zones without summer time).
    {
        const ScopedTimeZone india("Asia/Kolkata");
        EXPECT_EQ(event.wireDictionary().value("date_happened").toLongLong(), 1700000000 - (5 * 3600 + 30 * 60));
    }
    {
        const ScopedTimeZone hawaii("Pacific/Honolulu");
        EXPECT_EQ(event.wireDictionary().value("date_happened").toLongLong(), 1700000000 + 10 * 3600);
    }
    {
        const ScopedTimeZone utc("UTC");
        EXPECT_EQ(event.wireDictionary().value("date_happened").toLongLong(), 1700000000);
    }

    // The archive keeps everything.
    const auto decoded = PLRAnalyticEvent::decode(event.encode());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, event);
    EXPECT_FALSE(PLRAnalyticEvent::decode(QVariantMap{{"title", "no id"}}));
}

TEST(AnalyticsQueue, StoredQueue)
{
    PLRAnalyticManager manager;
    const auto first = PLRAnalyticEvent::createEventWithTitle("first", {});
    const auto second = PLRAnalyticEvent::createEventWithTitle("second", {});
    manager.addEvent(first);
    manager.addEvent(second);
    manager.addEvent(first);
    EXPECT_EQ(titles(manager.loadEvents()), (QStringList{"first", "second", "first"}));
    EXPECT_EQ(manager.eventToDispatch()->eventID(), first.eventID());
    // Removal matches by identifier: both copies go.
    manager.removeEventFromQueue(first);
    EXPECT_EQ(titles(manager.loadEvents()), QStringList{"second"});

    // An unreadable stored queue reads as empty and is replaced by the next append.
    platform::UserDefaults::standard().setObject(kPLRAnalyticFailedEventsQueueKey, QByteArray("{not json"));
    EXPECT_TRUE(manager.loadEvents().isEmpty());
    manager.addEvent(second);
    EXPECT_EQ(titles(manager.loadEvents()), QStringList{"second"});

    // Collector answers: accepted or rejected for good leave the queue; the rest stay.
    for (int status : {200, 202, 299, 400, 403, 404, 422})
        EXPECT_TRUE(PLRAnalyticManager::statusRemovesEvent(status)) << status;
    for (int status : {0, 301, 408, 429, 500, 503})
        EXPECT_FALSE(PLRAnalyticManager::statusRemovesEvent(status)) << status;
}

TEST(AnalyticsQueue, QueueKeepsTheNewestEventsUpToItsLength)
{
    PLRAnalyticManager manager;
    EXPECT_EQ(manager.maximumQueueLength(), PLRAnalyticManager::kDefaultMaximumQueueLength);
    manager.setMaximumQueueLength(3);
    for (const char* title : {"a", "b", "c", "d", "e"})
        manager.addEvent(PLRAnalyticEvent::createEventWithTitle(title, {}));
    EXPECT_EQ(titles(manager.loadEvents()), (QStringList{"c", "d", "e"}));
}

TEST_F(ServiceTest, AnalyticsSendsBackOffWhileTheCollectorFails)
{
    pointCollectorAt(service.port());
    platform::ManualClock& clock = platform::ManualClock::install();
    PLRAnalyticManager manager;
    manager.setup(5.0);
    service.script(QJsonObject{{"path", "/api/v1/events"}, {"status", 503}, {"body", QJsonObject{}}, {"count", 2}});
    manager.addEvent(PLRAnalyticEvent::createEventWithTitle("one", {}));
    auto posts = [this] { return requestsOf(service, "/api/v1/events", "POST").size(); };
    // The sends happen at the ticks (every 5 s on the clock).
    auto tick = [&](double seconds) {
        clock.advance(seconds);
        return testing_support::waitUntil([&manager] { return !manager.eventDispatchInProgress(); });
    };

    ASSERT_TRUE(tick(4.9));
    EXPECT_EQ(posts(), 0);
    ASSERT_TRUE(tick(0.1));
    EXPECT_EQ(posts(), 1);
    EXPECT_EQ(manager.backoffDelay(), 10.0);
    // Ticks inside the pause send nothing.
    ASSERT_TRUE(tick(5));
    EXPECT_EQ(posts(), 1);
    ASSERT_TRUE(tick(5));
    EXPECT_EQ(posts(), 2);
    EXPECT_EQ(manager.backoffDelay(), 20.0);
    ASSERT_TRUE(tick(15));
    EXPECT_EQ(posts(), 2);
    // An accepted send ends the pause.
    ASSERT_TRUE(tick(5));
    EXPECT_EQ(posts(), 3);
    EXPECT_EQ(manager.backoffDelay(), 0.0);
    EXPECT_TRUE(manager.loadEvents().isEmpty());
}

TEST(AnalyticsQueue, TicksWithoutWork)
{
    PLRAnalyticManager manager;
    manager.setup(3600);
    EXPECT_EQ(manager.tickInterval(), 3600);
    // An empty queue: the tick clears the mark and sends nothing.
    manager.dispatchNextEvent();
    EXPECT_FALSE(manager.eventDispatchInProgress());

    // A tick while a send is under way sends nothing more: the one send is answered and the
    // event leaves the queue.
    HoldingCollector collector;
    pointCollectorAt(collector.port());
    manager.addEvent(PLRAnalyticEvent::createEventWithTitle("one", {}));
    manager.dispatchNextEvent();
    EXPECT_TRUE(manager.eventDispatchInProgress());
    ASSERT_TRUE(testing_support::waitUntil([&] { return collector.received == 1; }));
    manager.dispatchNextEvent();
    collector.release();
    ASSERT_TRUE(testing_support::waitUntil([&] { return !manager.eventDispatchInProgress(); }));
    EXPECT_TRUE(manager.loadEvents().isEmpty());
    EXPECT_EQ(collector.received, 1);

    // A send that fails keeps the event.
    pointCollectorAt(closedPort());
    manager.addEvent(PLRAnalyticEvent::createEventWithTitle("two", {}));
    manager.dispatchNextEvent();
    ASSERT_TRUE(testing_support::waitUntil([&] { return !manager.eventDispatchInProgress(); }));
    EXPECT_EQ(manager.loadEvents().size(), 1);
}

TEST_F(ServiceTest, AnalyticsEventsAreDeliveredInOrderAcrossARestart)
{
    pointCollectorAt(closedPort());
    platform::ManualClock& clock = platform::ManualClock::install();
    {
        PLRAnalyticManager manager;
        manager.setup(0.02);
        for (const char* title : {"launch", "export", "publish"})
            manager.fireAnalyticEvent(PLRAnalyticEvent::createEventWithTitle(title, {{"n", 1}}));
        ASSERT_TRUE(testing_support::waitUntil([&] { return manager.loadEvents().size() == 3; }));
        // Failed sends, one at each tick: nothing leaves the queue.
        for (int tick = 0; tick < 6; ++tick) {
            clock.advance(0.02);
            ASSERT_TRUE(testing_support::waitUntil([&] { return !manager.eventDispatchInProgress(); }));
            EXPECT_EQ(manager.loadEvents().size(), 3) << tick;
        }
        EXPECT_EQ(titles(manager.loadEvents()), (QStringList{"launch", "export", "publish"}));
    }

    // The next launch reads the queue from the settings file.
    platform::UserDefaults::standard().reload();
    pointCollectorAt(service.port());
    // The collector fails once with a server error and refuses one with a time-out answer:
    // both stay and are sent again.
    service.script(QJsonObject{{"path", "/api/v1/events"}, {"status", 503}, {"body", QJsonObject{}}});
    service.script(QJsonObject{{"path", "/api/v1/events"}, {"status", 429}, {"body", QJsonObject{}}});
    PLRAnalyticManager manager;
    manager.setup(0.02);
    ASSERT_TRUE(testing_support::waitUntilMovingTheClock([&] { return manager.loadEvents().isEmpty(); }));

    const QJsonArray received = service.control("GET", "/api/v1/events").toObject()["events"].toArray();
    QStringList delivered;
    for (const QJsonValue& event : received)
        delivered << event["title"].toString();
    EXPECT_EQ(delivered, (QStringList{"launch", "export", "publish"}));
    EXPECT_EQ(received.at(0)["text"], R"({"n":1})");
    // One POST per event, plus the two refused ones; always with the key.
    const QJsonArray posts = requestsOf(service, "/api/v1/events", "POST");
    EXPECT_EQ(posts.size(), 5);
    for (const QJsonValue& post : posts)
        EXPECT_EQ(post["query"].toString(), QStringLiteral("api_key=%1").arg(kPLRAnalyticAPIKey));

    // An event the collector rejects for good is dropped.
    service.script(QJsonObject{{"path", "/api/v1/events"}, {"status", 400}, {"body", QJsonObject{}}});
    manager.fireAnalyticEvent(PLRAnalyticEvent::createEventWithTitle("rejected", {}));
    ASSERT_TRUE(testing_support::waitUntilMovingTheClock(
        [&] { return requestsOf(service, "/api/v1/events", "POST").size() == 6; }));
    ASSERT_TRUE(testing_support::waitUntilMovingTheClock([&] { return manager.loadEvents().isEmpty(); }));
}
