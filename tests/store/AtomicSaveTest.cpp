#include "StoreTestHelpers.h"
#include "TestSupport.h"

#include "store/persistance-store/PLRPersistantStore.h"
#include "platform/Files.h"
#include "platform/Plist.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

using namespace store_test;

namespace {

constexpr int kPosts = 12;
const char* kChildFlag = "PELLORA_STORE_SAVE_LOOP_HOME";
const char* kEditChildFlag = "PELLORA_STORE_EDIT_CHILD_HOME";

QString progressPath(const QString& home) { return home + "/save-loop-progress"; }

int progress(const QString& home)
{
    return readFile(progressPath(home)).toInt();
}

} // namespace

// Not a test on its own: the child process of KilledWhileSaving. Saves in a loop until killed.
TEST(StoreSaveLoopChild, SavesUntilKilled)
{
    const QString home = qEnvironmentVariable(kChildFlag);
    if (home.isEmpty())
        GTEST_SKIP() << "runs only as the child of KilledWhileSaving";
    qputenv("PELLORA_HOME", home.toUtf8());
    platform::UserDefaults::standard().reload();
    PLRCoreManager::startManager();
    PLRUserSession* session = signIn();
    ASSERT_TRUE(session);
    while (session->account()->currentPosts().size() < kPosts)
        createPost(session, QStringLiteral("Post %1").arg(session->account()->currentPosts().size()));
    for (int round = progress(home) + 1;; ++round) {
        int k = 0;
        for (PLRPersistantPost* post : session->account()->currentPosts()) {
            // Layouts of changing sizes, so a torn write could not parse.
            post->setLayout(sampleLayout(1 + (round + k++) % 40));
            post->layout().set_padding(round);
            post->setName(QStringLiteral("Post %1 round %2").arg(k).arg(round));
        }
        PLRCoreManager::save();
        PLRCoreManager::saveQueue().waitUntilIdle();
        platform::files::writeAtomically(progressPath(home), QByteArray::number(round));
    }
}

TEST(AtomicSave, KilledWhileSavingLeavesEveryPostLoadable)
{
    const QString home = testing_support::testHome();
    for (int run = 0; run < 4; ++run) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildFlag, home);
        child.setProcessEnvironment(env);
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({"--gtest_filter=StoreSaveLoopChild.SavesUntilKilled"});
        child.start();
        ASSERT_TRUE(child.waitForStarted());
        const int before = progress(home);
        ASSERT_TRUE(testing_support::waitUntil([&] { return progress(home) >= before + 2; }, 30000))
            << child.readAllStandardError().toStdString();
        QThread::usleep(QRandomGenerator::global()->bounded(1, 15000));
        child.kill();   // SIGKILL, somewhere in the middle of a save
        child.waitForFinished();

        LogCapture log;
        PLRCoreManager::setUserSession(nullptr);
        PLRUserSession* session = signIn();
        ASSERT_TRUE(session);
        EXPECT_EQ(session->account()->currentPosts().size(), kPosts) << "run " << run;
        EXPECT_FALSE(log.contains("Skipping")) << "run " << run;
        for (PLRPersistantPost* post : session->account()->currentPosts()) {
            EXPECT_GE(post->layout().padding(), before);
            EXPECT_EQ(post->layout().sections_size(), 1);
        }
        PLRCoreManager::setUserSession(nullptr);
    }
}

// Not a test on its own: the child of KilledSecondsAfterAnEdit. Edits a saved post without
// saving it and keeps running until killed.
TEST(StoreEditChild, EditsThenRunsUntilKilled)
{
    const QString home = qEnvironmentVariable(kEditChildFlag);
    if (home.isEmpty())
        GTEST_SKIP() << "runs only as the child of KilledSecondsAfterAnEdit";
    qputenv("PELLORA_HOME", home.toUtf8());
    platform::UserDefaults::standard().reload();
    PLRCoreManager::startManager();
    PLRUserSession* session = signIn();
    ASSERT_TRUE(session);
    PLRPersistantPost* post = createPost(session, "Draft", 2);
    ASSERT_TRUE(saveAndWait());
    // The edit: a grown layout and a new title, with no explicit save after it.
    post->setLayout(sampleLayout(12));
    post->setName(QStringLiteral("Edited"));
    platform::files::writeAtomically(progressPath(home), post->identifier().toUtf8());
    testing_support::waitUntil([] { return false; }, 120000);
}

TEST(AtomicSave, KilledSecondsAfterAnEditKeepsTheEdit)
{
    const QString home = testing_support::testHome();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kEditChildFlag, home);
    child.setProcessEnvironment(env);
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({"--gtest_filter=StoreEditChild.EditsThenRunsUntilKilled"});
    child.start();
    ASSERT_TRUE(child.waitForStarted());
    ASSERT_TRUE(testing_support::waitUntil([&] { return !readFile(progressPath(home)).isEmpty(); }, 30000))
        << child.readAllStandardError().toStdString();
    const QString id = QString::fromUtf8(readFile(progressPath(home)));
    const QString info = PLRPersistantStore::accountsPath() + "/" + kUserId + ".plruser/posts/" + id + ".plrpost/info.plist";
    // Well before the periodic save, the edit reaches the disk on its own.
    const bool written = testing_support::waitUntil(
        [&] { return platform::plist::readDictionary(info, nullptr).value("name").toString() == "Edited"; },
        3000 * int(kPLRChangeSaveLongestWait));
    child.kill();   // SIGKILL
    child.waitForFinished();
    ASSERT_TRUE(written) << "the edit was not saved within " << 3 * kPLRChangeSaveLongestWait << " s";

    PLRCoreManager::setUserSession(nullptr);
    PLRUserSession* session = signIn();
    ASSERT_TRUE(session);
    PLRPersistantPost* post = session->account()->postForIdentifier(id);
    ASSERT_TRUE(post);
    EXPECT_EQ(post->name(), "Edited");
    EXPECT_EQ(post->layout().sections(0).blocks_size(), 14);
}

TEST(AtomicSave, LeftoverTemporaryFilesDoNotDisturbLoading)
{
    PLRCoreManager::startManager();
    PLRUserSession* session = signIn();
    PLRPersistantPost* post = createPost(session, "Trip", 6);
    const QString id = post->identifier();
    ASSERT_TRUE(saveAndWait());
    const QByteArray layout = readFile(post->bundlePath() + "/layout");

    // What an interrupted atomic write or copy leaves behind.
    writeFile(post->bundlePath() + "/layout.Xa81Qz", "half a layo");
    writeFile(post->bundlePath() + "/info.plist.k2P0aB", "<?xml");
    QDir().mkpath(post->bundlePath() + ".partial");
    QDir().mkpath(session->account()->postsFolderPath() + "/ABC.plrpost");   // no info.plist yet

    PLRCoreManager::setUserSession(nullptr);
    session = signIn();
    ASSERT_EQ(session->account()->currentPosts().size(), 1);
    EXPECT_EQ(plr::data(session->account()->postForIdentifier(id)->layout()), layout);
    EXPECT_EQ(readFile(session->account()->postForIdentifier(id)->bundlePath() + "/layout"), layout);
}
