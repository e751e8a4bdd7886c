// One running instance for each data folder: a start runs, hands its files over, or says why it
// can do neither.

#include "TestSupport.h"

#include "shell/PLRInstanceChannel.h"
#include "shell/PLRSingleInstance.h"
#include "store/persistance-store/PLRStoreLock.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <chrono>
#include <future>

namespace {

using Outcome = PLRSingleInstance::Outcome;

struct Start {
    std::future<Outcome> outcome;
    QString why;
};

// A start claiming the store on a thread of its own, as a second process would.
std::unique_ptr<Start> startClaiming(PLRStoreLock& lock, const QString& name, const QStringList& arguments)
{
    auto start = std::make_unique<Start>();
    Start* raw = start.get();
    start->outcome = std::async(std::launch::async, [raw, &lock, name, arguments] {
        return PLRSingleInstance::claim(lock, name, arguments, &raw->why, 20);
    });
    return start;
}

bool finished(const Start& start)
{
    return start.outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

QString channelName()
{
    return QStringLiteral("pellora-single-%1").arg(QCoreApplication::applicationPid());
}

} // namespace

TEST(SingleInstance, ASecondStartWaitsForABusyInstanceAndHandsItsFilesOver)
{
    const QString lockPath = testing_support::testHome() + "/store.lock";
    const QString name = channelName();
    PLRStoreLock running(lockPath);
    QString why;
    ASSERT_EQ(PLRSingleInstance::claim(running, name, {}, &why, 20), Outcome::Run);
    ASSERT_TRUE(running.isLocked());
    PLRInstanceChannel channel(name);
    ASSERT_TRUE(channel.listen());
    QStringList received;
    QObject::connect(&channel, &PLRInstanceChannel::argumentsReceived, [&received](const QStringList& a) { received = a; });

    // This thread stands for the running instance's main thread, busy for longer than a second:
    // the second start neither gives up nor runs meanwhile.
    PLRStoreLock secondLock(lockPath);
    auto second = startClaiming(secondLock, name, {QStringLiteral("/tmp/a.ppost")});
    EXPECT_EQ(second->outcome.wait_for(std::chrono::milliseconds(1500)), std::future_status::timeout);
    // Free again, it takes them.
    ASSERT_TRUE(testing_support::waitUntil([&] { return finished(*second); }));
    EXPECT_EQ(second->outcome.get(), Outcome::HandedOver);
    EXPECT_EQ(received, QStringList{QStringLiteral("/tmp/a.ppost")});
    EXPECT_FALSE(secondLock.isLocked());
    EXPECT_TRUE(running.isLocked());

    // An instance that has the lock but does not listen yet is waited for too.
    received.clear();
    PLRStoreLock thirdLock(lockPath);
    auto third = startClaiming(thirdLock, name + "-later", {QStringLiteral("/tmp/b.ppost")});
    EXPECT_TRUE(testing_support::holdsFor([&] { return !finished(*third); }, 1200));
    PLRInstanceChannel later(name + "-later");
    QObject::connect(&later, &PLRInstanceChannel::argumentsReceived, [&received](const QStringList& a) { received = a; });
    ASSERT_TRUE(later.listen());
    ASSERT_TRUE(testing_support::waitUntil([&] { return finished(*third); }));
    EXPECT_EQ(third->outcome.get(), Outcome::HandedOver);
    EXPECT_EQ(received, QStringList{QStringLiteral("/tmp/b.ppost")});
}

TEST(SingleInstance, AStartWaitingForAnInstanceThatEndsRunsItself)
{
    const QString lockPath = testing_support::testHome() + "/store.lock";
    auto running = std::make_unique<PLRStoreLock>(lockPath);
    ASSERT_EQ(running->tryLock(), PLRStoreLock::Outcome::Taken);
    PLRStoreLock secondLock(lockPath);
    auto second = startClaiming(secondLock, channelName(), {QStringLiteral("/tmp/a.ppost")});
    EXPECT_TRUE(testing_support::holdsFor([&] { return !finished(*second); }, 300));
    running.reset();   // the instance ends without taking the file
    ASSERT_TRUE(testing_support::waitUntil([&] { return finished(*second); }));
    EXPECT_EQ(second->outcome.get(), Outcome::Run);
    EXPECT_TRUE(secondLock.isLocked());
}

TEST(SingleInstance, AStartThatCannotHandOverSaysWhyAndDoesNotRun)
{
    const QString lockPath = testing_support::testHome() + "/store.lock";
    const QString name = channelName();
    PLRStoreLock running(lockPath);
    ASSERT_EQ(running.tryLock(), PLRStoreLock::Outcome::Taken);
    // It closes every connection without taking anything.
    QLocalServer refusing;
    QLocalServer::removeServer(name);
    ASSERT_TRUE(refusing.listen(name));
    int connections = 0;
    QObject::connect(&refusing, &QLocalServer::newConnection, [&] {
        while (QLocalSocket* socket = refusing.nextPendingConnection()) {
            ++connections;
            socket->abort();
            socket->deleteLater();
        }
    });
    PLRStoreLock secondLock(lockPath);
    auto second = startClaiming(secondLock, name, {QStringLiteral("/tmp/a.ppost")});
    ASSERT_TRUE(testing_support::waitUntil([&] { return finished(*second); }));
    EXPECT_EQ(second->outcome.get(), Outcome::CannotRun);
    EXPECT_TRUE(second->why.contains(QString::number(QCoreApplication::applicationPid()))) << second->why.toStdString();
    EXPECT_GE(connections, 2);
    EXPECT_FALSE(secondLock.isLocked());

    // The lock of an instance on another computer sharing the folder: nothing to hand to.
    const QString shared = testing_support::testHome() + "/shared.lock";
    QFile file(shared);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("4242\n/usr/bin/pellora\nstudio-mac\n");
    file.close();
    PLRStoreLock sharedLock(shared);
    QString why;
    EXPECT_EQ(PLRSingleInstance::claim(sharedLock, name + "-none", {}, &why, 20), Outcome::CannotRun);
    EXPECT_TRUE(why.contains("studio-mac")) << why.toStdString();
    EXPECT_TRUE(why.contains(shared)) << why.toStdString();
    EXPECT_TRUE(QFileInfo::exists(shared));
}

// A data folder where no lock can be made (here a file stands in its place, which no permission
// check of root's would stop): the start says so at once and does not run, and gives no advice
// about a lock file that another start would hold.
TEST(SingleInstance, AStartWhoseDataFolderCannotBeLockedSaysSoAtOnce)
{
    const QString data = testing_support::testHome() + "/data-file";
    QFile blocker(data);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.write("in the way");
    blocker.close();
    PLRStoreLock lock(data + "/.pellora.lock");
    QString why;
    EXPECT_EQ(PLRSingleInstance::claim(lock, channelName(), {}, &why, 20), Outcome::CannotRun);
    EXPECT_TRUE(why.startsWith("Pellora cannot lock its data folder")) << why.toStdString();
    EXPECT_TRUE(why.contains(data)) << why.toStdString();
    EXPECT_FALSE(why.contains("remove")) << why.toStdString();
    EXPECT_FALSE(lock.isLocked());
}
