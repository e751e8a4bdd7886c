// Opening a post file with a second start of the real application while the first one is busy:
// the first one takes it, the second ends without touching the store.

#include "ExportTestSupport.h"

#include "publishing/export/PLRPersistantPostExporter.h"
#include "shell/PLRInstanceChannel.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRStoreLock.h"
#include "platform/Keychain.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"

#include <QDirIterator>
#include <QLocalSocket>
#include <QProcess>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include <signal.h>

using namespace export_test;

namespace {

// Starts of the application on the test's home; every one still running is killed at the end.
class Starts {
public:
    ~Starts()
    {
        for (auto& process : m_processes) {
            ::kill(pid_t(process->processId()), SIGCONT);
            process->kill();
            process->waitForFinished();
        }
    }
    QProcess* start(const QStringList& arguments)
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PELLORA_HOME", testing_support::testHome());
        env.insert("PELLORA_KEYCHAIN", "file");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("env", "dev");
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(QStringLiteral(PELLORA_APPLICATION_PATH), arguments);
        m_processes.push_back(std::move(process));
        return m_processes.back().get();
    }

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

qint64 lockHolder()
{
    const std::optional<PLRStoreLock::Holder> holder = PLRStoreLock().holder();
    return holder ? holder->pid : 0;
}

bool channelAnswers()
{
    QLocalSocket probe;
    probe.connectToServer(PLRInstanceChannel::defaultServerName());
    const bool connected = probe.waitForConnected(500);
    probe.abort();
    return connected;
}

// Every entry under the folder with its size and time of change, in order.
std::vector<std::string> snapshot(const QString& folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        entries << QStringLiteral("%1 %2 %3").arg(info.filePath()).arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
    }
    entries.sort();
    std::vector<std::string> lines;
    for (const QString& entry : entries)
        lines.push_back(entry.toStdString());
    return lines;
}

int postsIn(const QString& postsFolder)
{
    return int(QDir(postsFolder).entryList({"*.plrpost"}, QDir::Dirs | QDir::NoDotAndDotDot).size());
}

} // namespace

class SecondStart : public ExportFixture {};

TEST_F(SecondStart, HandsItsPostFileToTheBusyInstanceAndTouchesNothing)
{
    // A signed-in store with one post and its post file; the service host answers nowhere (a
    // port below the range that other tests' services are given).
    auto& defaults = platform::UserDefaults::standard();
    defaults.setString("WEB_SERVICE_KEY_HOST", "127.0.0.1");
    defaults.setString("WEB_SERVICE_KEY_PORT", "9");
    defaults.setBool("WEB_SERVICE_KEY_HTTPS", false);
    defaults.setString("WEB_SERVICE_HOST_TYPE", "PLRWebServiceHost_CUSTOM");
    platform::Keychain::setShared(platform::Keychain::makeFile(platform::paths::configDirectory() + "/keychain.json"));
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::darkCyan);
    PLRPostManager* manager = openPost("Trip", 1);
    ASSERT_NE(manager, nullptr);
    manager->layoutManager()->createAndAddBlocksForImages({photo(manager, "a.jpg")});
    ASSERT_TRUE(manager->save());
    const QString file = testing_support::testHome() + "/Trip.ppost";
    ASSERT_TRUE(PLRPersistantPostExporter::writePostFile(*manager->representedPost(), file));
    const QString posts = PLRCoreManager::userSession()->account()->postsFolderPath();
    PLRCoreManager::saveQueue().waitUntilIdle();
    PLRCoreManager::setUserSession(nullptr);
    PLRCoreManager::saveQueue().waitUntilIdle();
    defaults.synchronize();
    ASSERT_EQ(postsIn(posts), 1);

    Starts starts;
    QProcess* first = starts.start({});
    ASSERT_TRUE(first->waitForStarted());
    ASSERT_TRUE(testing_support::waitUntil(channelAnswers, 60000)) << first->readAll().toStdString();
    EXPECT_EQ(lockHolder(), first->processId());

    // Its main thread stops for as long as the test says (here the whole process does).
    ASSERT_EQ(::kill(pid_t(first->processId()), SIGSTOP), 0);
    const QString data = platform::paths::applicationSupport();
    const auto before = snapshot(data);
    QProcess* second = starts.start({file});
    ASSERT_TRUE(second->waitForStarted());
    EXPECT_TRUE(testing_support::holdsFor([&] { return second->state() == QProcess::Running; }, 2500));
    EXPECT_EQ(snapshot(data), before);
    EXPECT_EQ(lockHolder(), first->processId());
    EXPECT_TRUE(channelAnswers());   // the busy instance's channel is still there

    ASSERT_EQ(::kill(pid_t(first->processId()), SIGCONT), 0);
    ASSERT_TRUE(testing_support::waitUntil([&] { return second->state() == QProcess::NotRunning; }, 30000))
        << second->readAll().toStdString();
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0) << second->readAll().toStdString();
    // The first instance imported it.
    EXPECT_TRUE(testing_support::waitUntil([&] { return postsIn(posts) == 2; }, 30000)) << first->readAll().toStdString();
    EXPECT_EQ(first->state(), QProcess::Running);

    // Killed, it leaves its lock behind; the next start takes the store over and runs, and a
    // start after that hands over to it.
    const qint64 firstPid = first->processId();
    first->kill();
    first->waitForFinished();
    ASSERT_EQ(lockHolder(), firstPid);
    QProcess* third = starts.start({});
    ASSERT_TRUE(third->waitForStarted());
    ASSERT_TRUE(testing_support::waitUntil([&] { return lockHolder() == third->processId() && channelAnswers(); }, 60000))
        << third->readAll().toStdString();
    QProcess* fourth = starts.start({});
    ASSERT_TRUE(fourth->waitForStarted());
    ASSERT_TRUE(testing_support::waitUntil([&] { return fourth->state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(fourth->exitCode(), 0);
    EXPECT_EQ(third->state(), QProcess::Running);
    EXPECT_EQ(lockHolder(), third->processId());
}
