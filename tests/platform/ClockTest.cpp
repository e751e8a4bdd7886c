// The one clock: the system clock's delayed calls, and the manual clock tests step.

#include "TestSupport.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

TEST(Clock, ManualClockRunsDueTasksInOrderAndSkipsCancelledAndOrphaned)
{
    platform::ManualClock& clock = platform::ManualClock::install();
    EXPECT_EQ(&platform::Clock::shared(), &clock);
    const QDateTime wallBefore = clock.wallTime();
    const double start = clock.now();

    QStringList ran;
    auto context = std::make_unique<QObject>();
    auto orphan = std::make_unique<QObject>();
    platform::Clock::shared().after(2.0, context.get(), [&] { ran << "two"; });
    platform::Clock::shared().after(1.0, nullptr, [&] {
        ran << "one";
        // Scheduled while advancing: runs in the same step when due within it.
        platform::Clock::shared().after(0.5, nullptr, [&] { ran << "one and a half"; });
    });
    platform::Clock::shared().after(1.0, orphan.get(), [&] { ran << "orphan"; });
    platform::Clock::shared().after(1.5, nullptr, [&] { ran << "cancelled"; }).cancel();
    platform::Clock::shared().after(3.0, nullptr, [&] { ran << "three"; });
    orphan.reset();
    EXPECT_EQ(clock.waiting(), (std::vector<double>{1.0, 2.0, 3.0}));

    clock.advance(0.999);
    EXPECT_TRUE(ran.isEmpty());
    clock.advance(1.5);
    EXPECT_EQ(ran, QStringList({"one", "one and a half", "two"}));
    EXPECT_NEAR(clock.now() - start, 2.499, 1e-9);
    EXPECT_EQ(wallBefore.msecsTo(clock.wallTime()), 2499);
    ASSERT_EQ(clock.waiting().size(), 1u);
    EXPECT_NEAR(clock.waiting().front(), 0.501, 1e-9);

    // A destroyed context drops its task even when due.
    auto late = std::make_unique<QObject>();
    platform::Clock::shared().after(0.1, late.get(), [&] { ran << "late"; });
    late.reset();
    clock.advance(10.0);
    EXPECT_EQ(ran, QStringList({"one", "one and a half", "two", "three"}));
    EXPECT_EQ(clock.pendingCount(), 0u);

    // Stepping to the next waiting task skips what will not run and stops at its due time.
    platform::Clock::shared().after(4.0, nullptr, [&] { ran << "four"; }).cancel();
    platform::Clock::shared().after(5.0, nullptr, [&] { ran << "five"; });
    platform::Clock::shared().after(6.0, nullptr, [&] { ran << "six"; });
    const double before = clock.now();
    EXPECT_TRUE(clock.advanceToNext());
    EXPECT_EQ(ran.last(), "five");
    EXPECT_NEAR(clock.now() - before, 5.0, 1e-9);
    EXPECT_TRUE(clock.advanceToNext());
    EXPECT_EQ(ran.last(), "six");
    EXPECT_FALSE(clock.advanceToNext());
}

TEST(Clock, AManualClockStartsAtTheSystemClockSoEarlierReadingsStayInOrder)
{
    const double before = platform::Clock::shared().now();
    platform::ManualClock& clock = platform::ManualClock::install();
    EXPECT_GE(clock.now(), before);
    EXPECT_TRUE(clock.isManual());
    EXPECT_FALSE(platform::SystemClock().isManual());
}

TEST(Clock, TheSystemClockIsBackAfterTheResetAndRunsItsTasksOnTheMainLoop)
{
    // No test's manual clock outlives it: the reset between tests puts the system clock back.
    platform::Clock& clock = platform::Clock::shared();
    EXPECT_EQ(dynamic_cast<platform::ManualClock*>(&clock), nullptr);
    const double start = clock.now();
    EXPECT_LE(qAbs(clock.wallTime().msecsTo(QDateTime::currentDateTimeUtc())), 1000);

    int ran = 0;
    auto context = std::make_unique<QObject>();
    clock.after(0.01, context.get(), [&] { ran += 1; });
    clock.after(0.01, context.get(), [&] { ran += 10; }).cancel();
    EXPECT_TRUE(testing_support::waitUntil([&] { return ran > 0; }, 2000));
    EXPECT_EQ(ran, 1);
    EXPECT_GE(clock.now(), start + 0.009);

    platform::ManualClock::install();
    platform::Clock::setShared(nullptr);
    EXPECT_EQ(dynamic_cast<platform::ManualClock*>(&platform::Clock::shared()), nullptr);
}

TEST(ClockTimer, RestartsMoveTheDueTimeWithOneWaitingTaskAndRepeatsUntilStopped)
{
    platform::ManualClock& clock = platform::ManualClock::install();
    auto context = std::make_unique<QObject>();
    int fired = 0;
    platform::ClockTimer timeout(context.get(), [&] { ++fired; });

    // A time-out restarted by every step of the work: one task waits, due at the last start.
    timeout.start(1.0);
    for (int step = 0; step < 50; ++step) {
        clock.advance(0.5);
        timeout.start(1.0);
    }
    EXPECT_EQ(fired, 0);
    EXPECT_LE(clock.pendingCount(), 1u);
    clock.advance(0.999);
    EXPECT_EQ(fired, 0);
    EXPECT_TRUE(timeout.isActive());
    clock.advance(0.001);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timeout.isActive());
    clock.advance(5.0);
    EXPECT_EQ(fired, 1);

    // Restarted sooner than the waiting task: due at the new, earlier time.
    timeout.start(3.0);
    timeout.start(1.0);
    clock.advance(1.0);
    EXPECT_EQ(fired, 2);

    // Stopped, or its context gone: nothing runs.
    timeout.start(1.0);
    timeout.stop();
    clock.advance(2.0);
    EXPECT_EQ(fired, 2);

    // Repeating: every interval, the task may stop it.
    platform::ClockTimer tick(context.get(), [&] {
        if (++fired == 5)
            tick.stop();
    });
    tick.setRepeating(true);
    tick.start(0.25);
    clock.advance(0.5);
    EXPECT_EQ(fired, 4);
    EXPECT_TRUE(tick.isActive());
    clock.advance(10.0);
    EXPECT_EQ(fired, 5);
    EXPECT_FALSE(tick.isActive());

    tick.start(0.25);
    context.reset();
    clock.advance(1.0);
    EXPECT_EQ(fired, 5);
}

TEST(ClockTimer, ATaskMayDestroyItsTimerAndATimerFollowsTheClockPutInPlace)
{
    // Started on the system clock, restarted after a manual clock came: the manual clock runs it.
    int fired = 0;
    std::unique_ptr<platform::ClockTimer> timer;
    timer = std::make_unique<platform::ClockTimer>(nullptr, [&] {
        ++fired;
        timer.reset();
    });
    timer->start(30.0);
    platform::ManualClock& clock = platform::ManualClock::install();
    timer->start(30.0);
    clock.advance(30.0);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(timer, nullptr);
    EXPECT_FALSE(clock.advanceToNext());
}

// The tests' clock-moving wait: while a request is on its way (its deadline waiting on the
// clock, as every service request's does) the clock stands still, however long the answer takes
// on a loaded machine; once it is answered the wait moves the clock on again.
TEST(ClockMovingWait, StandsStillWhileARequestIsOnItsWay)
{
    platform::ManualClock& clock = platform::ManualClock::install();
    // A local server that answers a while later (real time, longer than the wait's pause).
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
        QTcpSocket* connection = server.nextPendingConnection();
        QTimer::singleShot(300, connection, [connection] {
            connection->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
            connection->disconnectFromHost();
        });
    });
    QNetworkAccessManager network;
    QNetworkReply* reply = network.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort()))));
    platform::ClockTimer deadline(reply, [reply] { reply->abort(); });
    QObject::connect(reply, &QNetworkReply::finished, reply, [&deadline] { deadline.stop(); });
    deadline.start(30.0);
    bool laterStepRan = false;
    clock.after(2.0, nullptr, [&] { laterStepRan = true; });

    ASSERT_TRUE(testing_support::waitUntilMovingTheClock([&] { return reply->isFinished(); }, 5000));
    EXPECT_EQ(reply->error(), QNetworkReply::NoError);
    EXPECT_FALSE(laterStepRan);
    EXPECT_TRUE(testing_support::waitUntilMovingTheClock([&] { return laterStepRan; }));
    delete reply;
}
