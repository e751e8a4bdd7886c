// The lock by which one running application holds the store.

#include "StoreTestHelpers.h"
#include "TestSupport.h"

#include "store/persistance-store/PLRStoreLock.h"
#include "platform/Paths.h"
#include "store/session/PLRDefaults.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <sys/time.h>

using namespace store_test;

namespace {

const char* kHolderChildFlag = "PELLORA_STORE_LOCK_CHILD_PATH";

// Moves the file's times back, as if it had been there that long.
bool age(const QString& path, int seconds)
{
    struct timeval times[2] {};
    ::gettimeofday(&times[0], nullptr);
    times[0].tv_sec -= seconds;
    times[1] = times[0];
    return ::utimes(QFile::encodeName(path).constData(), times) == 0;
}

} // namespace

// Not a test on its own: the child of TheLockOfAKilledProcessIsTakenOver. Holds the lock until
// killed.
TEST(StoreLockChild, HoldsTheLockUntilKilled)
{
    const QString path = qEnvironmentVariable(kHolderChildFlag);
    if (path.isEmpty())
        GTEST_SKIP() << "runs only as the child of TheLockOfAKilledProcessIsTakenOver";
    PLRStoreLock lock(path);
    ASSERT_EQ(lock.tryLock(), PLRStoreLock::Outcome::Taken);
    ASSERT_TRUE(writeFile(path + ".held", "yes"));
    testing_support::waitUntil([] { return false; }, 120000);
}

TEST(StoreLock, ALiveHolderKeepsItHoweverLongUntilItLetsGo)
{
    // A first start: the data folder is made for the lock, and the run still counts as the first.
    const QString data = platform::paths::applicationSupport();
    ASSERT_FALSE(QFileInfo::exists(data));
    PLRStoreLock first;
    ASSERT_EQ(first.tryLock(), PLRStoreLock::Outcome::Taken);
    EXPECT_EQ(first.path(), data + "/.pellora.lock");
    EXPECT_TRUE(PLRDefaults::isFirstRun());

    PLRStoreLock second;
    EXPECT_EQ(second.tryLock(), PLRStoreLock::Outcome::HeldByAnother);
    const std::optional<PLRStoreLock::Holder> holder = second.holder();
    ASSERT_TRUE(holder);
    EXPECT_EQ(holder->pid, QCoreApplication::applicationPid());
    EXPECT_TRUE(holder->onThisMachine);
    // Held for hours by a process that runs: still its.
    ASSERT_TRUE(age(first.path(), 3 * 3600));
    EXPECT_EQ(second.tryLock(), PLRStoreLock::Outcome::HeldByAnother);
    EXPECT_FALSE(second.isLocked());

    first.unlock();
    EXPECT_EQ(second.tryLock(), PLRStoreLock::Outcome::Taken);
    EXPECT_TRUE(second.isLocked());
}

TEST(StoreLock, TheLockOfAKilledProcessIsTakenOver)
{
    const QString path = testing_support::testHome() + "/store.lock";
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kHolderChildFlag, path);
    child.setProcessEnvironment(env);
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({"--gtest_filter=StoreLockChild.HoldsTheLockUntilKilled"});
    child.start();
    ASSERT_TRUE(child.waitForStarted());
    ASSERT_TRUE(testing_support::waitUntil([&] { return QFileInfo::exists(path + ".held"); }, 30000))
        << child.readAllStandardError().toStdString();

    const qint64 childPid = child.processId();
    PLRStoreLock lock(path);
    EXPECT_EQ(lock.tryLock(), PLRStoreLock::Outcome::HeldByAnother);
    ASSERT_TRUE(lock.holder());
    EXPECT_EQ(lock.holder()->pid, childPid);
    child.kill();   // SIGKILL: the lock file stays behind
    child.waitForFinished();
    ASSERT_TRUE(QFileInfo::exists(path));

    LogCapture log;
    EXPECT_EQ(lock.tryLock(), PLRStoreLock::Outcome::Taken);
    EXPECT_TRUE(log.contains(QStringLiteral("from process %1").arg(childPid)));
    EXPECT_EQ(lock.holder()->pid, QCoreApplication::applicationPid());
}

TEST(StoreLock, ALockFileLeftEmptyIsTakenOverOnceNobodyCanStillBeWritingIt)
{
    const QString path = testing_support::testHome() + "/store.lock";
    ASSERT_TRUE(writeFile(path, QByteArray()));
    PLRStoreLock lock(path);
    // Just made: a start may be writing its name into it.
    EXPECT_EQ(lock.tryLock(), PLRStoreLock::Outcome::HeldByAnother);
    ASSERT_TRUE(age(path, 60));
    EXPECT_EQ(lock.tryLock(), PLRStoreLock::Outcome::Taken);
    ASSERT_TRUE(lock.holder());
    EXPECT_EQ(lock.holder()->pid, QCoreApplication::applicationPid());
}

// No lock can be made: a failure at once, never a lock another start holds (which a start waits
// for, and then advises removing a lock file that is not there). Made without permissions, which
// root passes: a folder in the lock file's place, a data folder that is a file.
TEST(StoreLock, ALockThatCannotBeMadeIsAFailureNotAnotherHolder)
{
    const QString folderInPlace = testing_support::testHome() + "/folder.lock";
    ASSERT_TRUE(QDir().mkpath(folderInPlace));
    PLRStoreLock lock(folderInPlace);
    EXPECT_EQ(lock.tryLock(), PLRStoreLock::Outcome::Failed);
    EXPECT_TRUE(lock.errorString().contains(folderInPlace)) << lock.errorString().toStdString();
    // Old as it may be, it is no leftover lock to take over.
    ASSERT_TRUE(age(folderInPlace, 60));
    EXPECT_EQ(lock.tryLock(), PLRStoreLock::Outcome::Failed);
    EXPECT_FALSE(lock.isLocked());
    EXPECT_TRUE(QFileInfo(folderInPlace).isDir());

    const QString fileInPlace = testing_support::testHome() + "/data";
    ASSERT_TRUE(writeFile(fileInPlace, "not a folder"));
    PLRStoreLock underAFile(fileInPlace + "/.pellora.lock");
    EXPECT_EQ(underAFile.tryLock(), PLRStoreLock::Outcome::Failed);
    EXPECT_TRUE(underAFile.errorString().contains(fileInPlace)) << underAFile.errorString().toStdString();
    EXPECT_EQ(readFile(fileInPlace), "not a folder");
}
