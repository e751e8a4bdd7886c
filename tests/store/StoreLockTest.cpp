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

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

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

// While one lives, the calling thread is held to the folders' and files' permissions as any user
// is: root's overrides of them (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH) are out of its effective
// set, and back when it ends. (Capabilities are a thread's own: other threads keep theirs.)
class PermissionsApply {
public:
    PermissionsApply()
    {
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
            reduced[CAP_TO_INDEX(capability)].effective &= ~CAP_TO_MASK(capability);
        m_changed = ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~PermissionsApply()
    {
        if (m_changed)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    PermissionsApply(const PermissionsApply&) = delete;
    PermissionsApply& operator=(const PermissionsApply&) = delete;

    // Whether a folder's permissions stop this thread writing in it: false where nothing could
    // take the overrides away.
    bool hold(const QString& readOnlyFolder) const
    {
        const QByteArray probe = QFile::encodeName(readOnlyFolder + "/.probe");
        const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            return errno == EACCES;
        ::close(fd);
        ::unlink(probe.constData());
        return false;
    }

private:
    __user_cap_header_struct m_header {};
    __user_cap_data_struct m_saved[2] {};
    bool m_changed = false;
};

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

// A data folder the user may not write in: no lock can be made there, a failure at once that says
// so, never a lock another start holds (which a start waits for, then advises removing a lock
// file that is not there). The folder is read-only and the test holds itself to its permissions,
// which root would pass.
TEST(StoreLock, AFolderWithoutWritePermissionIsAFailureNotAnotherHolder)
{
    const QString folder = testing_support::testHome() + "/read-only";
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    const QString path = folder + "/.pellora.lock";
    PLRStoreLock lock(path);
    PLRStoreLock::Outcome outcome = PLRStoreLock::Outcome::Taken;
    {
        const PermissionsApply permissions;
        if (!permissions.hold(folder)) {
            ::chmod(QFile::encodeName(folder).constData(), 0755);
            GTEST_SKIP() << "this process writes in read-only folders and cannot give that up (no capabilities to drop)";
        }
        outcome = lock.tryLock();
    }
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    EXPECT_EQ(outcome, PLRStoreLock::Outcome::Failed);
    EXPECT_FALSE(lock.isLocked());
    EXPECT_TRUE(lock.errorString().contains(folder)) << lock.errorString().toStdString();
    EXPECT_TRUE(lock.errorString().contains("permission denied")) << lock.errorString().toStdString();
    EXPECT_FALSE(lock.holder());
    EXPECT_FALSE(QFileInfo::exists(path));

    // Writable again: the lock is made.
    EXPECT_EQ(lock.tryLock(), PLRStoreLock::Outcome::Taken);
}
