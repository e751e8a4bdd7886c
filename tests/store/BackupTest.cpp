#include "StoreTestHelpers.h"
#include "TestSupport.h"

#include "store/persistance-store/PLRPersistantBackup.h"
#include "store/persistance-store/PLRPersistantExporter.h"
#include "store/persistance-store/PLRPersistantStore.h"
#include "platform/Dispatch.h"
#include "platform/Keychain.h"
#include "platform/Plist.h"
#include "store/session/PLRDefaults.h"
#include "platform/Resets.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>

using namespace store_test;

namespace {

struct BackupFixture : ::testing::Test {
    void SetUp() override
    {
        PLRCoreManager::startManager();
        session = signIn();
        ASSERT_TRUE(session);
        post = createPost(session, "Kept");
        postId = post->identifier();
        ASSERT_TRUE(saveAndWait());
        QDir().mkpath(PLRPersistantStore::locationPath() + "/IMG_1");
        writeFile(PLRPersistantStore::locationPath() + "/IMG_1/preview.jpg", "jpeg");
        ASSERT_TRUE(folder.isValid());
    }

    QString makeBackup()
    {
        const QString path = folder.path() + "/b.plrbackup";
        platform::Error error;
        EXPECT_TRUE(PLRPersistantBackup::writeBackup(path, &error)) << error.toString().toStdString();
        return path;
    }

    QString postBundleIn(const QString& base) const
    {
        return base + "/ds/u-1001.plruser/posts/" + postId + ".plrpost";
    }

    PLRUserSession* session = nullptr;
    PLRPersistantPost* post = nullptr;
    QString postId;
    QTemporaryDir folder;
};

} // namespace

TEST_F(BackupFixture, AutoBackupWritesTodaysBackupOnlyWhenOn)
{
    PLRPersistantBackup::performAutoBackup();
    PLRCoreManager::saveQueue().waitUntilIdle();
    EXPECT_TRUE(QDir(folder.path()).isEmpty());

    PLRDefaults::setShouldExportDatabase(true);
    PLRDefaults::setExportDatabasePath(folder.path());
    PLRPersistantBackup::performAutoBackup();
    PLRCoreManager::saveQueue().waitUntilIdle();
    const QString today = PLRPersistantBackup::autoBackupPath(folder.path(), QDate::currentDate());
    ASSERT_TRUE(QFileInfo(postBundleIn(today)).isDir());

    // Later that day the post is deleted and the store saved: today's backup keeps it.
    const QString bundle = post->bundlePath();
    session->deletePost(post);
    post = nullptr;
    ASSERT_TRUE(saveAndWait());
    ASSERT_FALSE(QFileInfo::exists(bundle));
    PLRPersistantBackup::performAutoBackup();
    PLRCoreManager::saveQueue().waitUntilIdle();
    EXPECT_TRUE(today.endsWith(".plrbackup"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({QFileInfo(today).fileName()}));
    EXPECT_EQ(platform::plist::readDictionary(today + "/info.plist", nullptr).value("version").toString(), "1.0.1");
    EXPECT_TRUE(QFileInfo(postBundleIn(today) + "/layout").isFile());
    EXPECT_EQ(readFile(today + "/loc/IMG_1/preview.jpg"), "jpeg");

    PLRCoreManager::signOut();
    QDir(today).removeRecursively();
    PLRPersistantBackup::performAutoBackup();   // nobody signed in: nothing
    PLRCoreManager::saveQueue().waitUntilIdle();
    EXPECT_FALSE(QFileInfo::exists(today));
}

TEST_F(BackupFixture, ExportAndBackupFolderGoThroughPanels)
{
    testing_support::scriptedPanels().enqueue(std::nullopt);
    EXPECT_FALSE(PLRPersistantExporter::exportDatabase());
    testing_support::scriptedPanels().enqueue(folder.path());
    post->setName("Renamed before export");
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);   // "Backup Exported"
    bool finished = false;
    EXPECT_TRUE(PLRPersistantExporter::exportDatabase([&](bool written, const QString&) { finished = written; }));
    ASSERT_TRUE(testing_support::waitUntil([&] { return finished; }));
    const QStringList made = QDir(folder.path()).entryList({"*.plrbackup"}, QDir::Dirs);
    ASSERT_EQ(made.size(), 1);
    const QVariantMap info = platform::plist::readDictionary(postBundleIn(folder.path() + "/" + made[0]) + "/info.plist", nullptr);
    EXPECT_EQ(info.value("name").toString(), "Renamed before export");   // saved first

    testing_support::scriptedPanels().enqueue(std::nullopt);
    PLRPersistantExporter::setExportDirectory();
    EXPECT_FALSE(PLRDefaults::shouldExportDatabase());
    EXPECT_TRUE(PLRDefaults::exportDatabasePath().isEmpty());
    testing_support::scriptedPanels().enqueue(folder.path());
    PLRPersistantExporter::setExportDirectory();
    EXPECT_TRUE(PLRDefaults::shouldExportDatabase());
    EXPECT_TRUE(PLRDefaults::shouldSupressNotifyOfExport());
    EXPECT_EQ(PLRDefaults::exportDatabasePath(), folder.path());
    EXPECT_FALSE(PLRDefaults::exportDatabaseBookmark().isEmpty());
}

TEST_F(BackupFixture, ExportWritesOffTheMainThreadShowingProgressAndWhereItWent)
{
    // Enough bytes for several progress steps.
    for (int i = 0; i < 20; ++i) {
        QDir().mkpath(PLRPersistantStore::locationPath() + QString("/IMG_P%1").arg(i));
        writeFile(PLRPersistantStore::locationPath() + QString("/IMG_P%1/export.jpg").arg(i), QByteArray(64 * 1024, 'x'));
    }
    struct Step { PLRPersistantExporter::ExportStage stage; QString destination; qint64 done, total; };
    std::vector<Step> steps;
    PLRPersistantExporter::setExportProgressHandler(
        [&](PLRPersistantExporter::ExportStage stage, const QString& destination, qint64 done, qint64 total) {
            EXPECT_TRUE(platform::isMainThread());
            steps.push_back({stage, destination, done, total});
        });
    // The save queue is busy with an earlier write: the export must not wait for it.
    auto release = std::make_shared<std::atomic_bool>(false);
    PLRCoreManager::saveQueue().async([release] {
        for (int i = 0; i < 400 && !*release; ++i)
            QThread::msleep(5);
    });
    testing_support::scriptedPanels().enqueue(folder.path());
    testing_support::scriptedAlerts().enqueue(platform::kAlertSecondButtonReturn);   // "Show in Folder"
    QString destination;
    bool ended = false, written = false;
    ASSERT_TRUE(PLRPersistantExporter::exportDatabase([&](bool ok, const QString& path) {
        ended = true;
        written = ok;
        destination = path;
    }));
    EXPECT_FALSE(ended);   // back on the main thread before the copy
    EXPECT_TRUE(QDir(folder.path()).entryList({"*.plrbackup"}, QDir::Dirs).isEmpty());
    *release = true;
    ASSERT_TRUE(testing_support::waitUntil([&] { return ended; }));
    ASSERT_TRUE(written);
    EXPECT_TRUE(QFileInfo(destination + "/loc/IMG_P19/export.jpg").isFile());

    ASSERT_GE(steps.size(), 3u);
    EXPECT_EQ(steps.front().stage, PLRPersistantExporter::ExportStage::Started);
    EXPECT_EQ(steps.back().stage, PLRPersistantExporter::ExportStage::Finished);
    EXPECT_GE(steps.back().total, 20 * 64 * 1024);
    EXPECT_EQ(steps.back().done, steps.back().total);
    qint64 last = 0;
    for (const Step& step : steps) {
        EXPECT_EQ(step.destination, destination);
        EXPECT_GE(step.done, last);
        last = step.done;
    }
    // The user is told where the backup went and can open that folder.
    const platform::Alert& told = testing_support::scriptedAlerts().shown().back();
    EXPECT_EQ(told.messageText, "Backup Exported");
    EXPECT_TRUE(told.informativeText.contains(destination)) << told.informativeText.toStdString();
    ASSERT_EQ(testing_support::recordingWorkspace().revealed.size(), 1u);
    EXPECT_EQ(testing_support::recordingWorkspace().revealed[0], QStringList{destination});
}

TEST_F(BackupFixture, TooOldOrBrokenBackupsAreRefusedBeforeAnythingIsTouched)
{
    const QString backup = makeBackup();
    const QByteArray layoutBefore = readFile(post->bundlePath() + "/layout");

    platform::plist::writeFile(backup + "/info.plist", QVariantMap{{"version", "1.0.0"}});
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    EXPECT_FALSE(PLRPersistantExporter::importDatabaseWithURL(backup));
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_EQ(testing_support::scriptedAlerts().shown()[0].messageText, "Backup is too old");

    platform::plist::writeFile(backup + "/info.plist", QVariantMap{{"version", "1.0.1"}});
    writeFile(backup + "/ds/u-1001.plruser/info.plist", "garbage");
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    EXPECT_FALSE(PLRPersistantExporter::importDatabaseWithURL(backup));
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().messageText, "Import Failed");

    writeFile(backup + "/info.plist", "not a plist");
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    EXPECT_FALSE(PLRPersistantExporter::importDatabaseWithURL(backup));

    // A backup holding no account at all would replace the user's accounts with nothing.
    platform::plist::writeFile(backup + "/info.plist", QVariantMap{{"version", "1.0.1"}});
    ASSERT_TRUE(QDir(backup + "/ds/u-1001.plruser").removeRecursively());
    platform::Error error;
    bool tooOld = true;
    EXPECT_FALSE(PLRPersistantBackup::validateBackup(backup, &tooOld, &error));
    EXPECT_FALSE(tooOld);
    EXPECT_EQ(error.localizedFailureReason(), "It holds no accounts.");
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    EXPECT_FALSE(PLRPersistantExporter::importDatabaseWithURL(backup));
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().messageText, "Import Failed");
    ASSERT_TRUE(QDir(backup + "/ds").removeRecursively());   // nor without the accounts folder
    EXPECT_FALSE(PLRPersistantBackup::validateBackup(backup, nullptr));

    // Still signed in, store as it was.
    EXPECT_EQ(PLRCoreManager::userSession(), session);
    EXPECT_EQ(readFile(post->bundlePath() + "/layout"), layoutBefore);
    EXPECT_TRUE(QFileInfo(PLRPersistantStore::locationPath() + "/IMG_1/preview.jpg").isFile());
    EXPECT_FALSE(QFileInfo::exists(PLRPersistantStore::accountsPath() + ".restore"));
}

TEST_F(BackupFixture, ImportRestoresTheWholeStoreThenRelaunches)
{
    const QString backup = makeBackup();
    // Changes after the backup that the import must undo.
    session->deletePost(post);
    PLRPersistantPost* later = createPost(session, "Later");
    const QString laterBundle = later->bundlePath();
    ASSERT_TRUE(saveAndWait());
    QDir(PLRPersistantStore::locationPath() + "/IMG_1").removeRecursively();

    int relaunched = 0;
    const platform::HookGuard<std::function<void()>> relaunch(&PLRPersistantExporter::setRelaunchHandler,
                                                              [&] { ++relaunched; });
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    EXPECT_TRUE(PLRPersistantExporter::importDatabaseWithURL(backup));
    EXPECT_EQ(PLRCoreManager::userSession(), nullptr);   // signed out
    ASSERT_TRUE(testing_support::waitUntil([&] { return relaunched == 1; }));
    EXPECT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);

    const QString root = PLRPersistantStore::rootPath();
    EXPECT_TRUE(QFileInfo(postBundleIn(root) + "/layout").isFile());
    EXPECT_FALSE(QFileInfo::exists(laterBundle));
    EXPECT_EQ(readFile(root + "/loc/IMG_1/preview.jpg"), "jpeg");
    EXPECT_EQ(QDir(root).entryList({"*.restore", "*.previous"}, QDir::AllEntries).size(), 0);
}

TEST_F(BackupFixture, ImportAsksFirst)
{
    testing_support::scriptedAlerts().enqueue(platform::kAlertSecondButtonReturn);   // "Cancel"
    EXPECT_FALSE(PLRPersistantExporter::selectPathAndImportDatabase());
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    const platform::Alert& warning = testing_support::scriptedAlerts().shown()[0];
    EXPECT_EQ(warning.messageText, "Import Backup");
    EXPECT_EQ(warning.buttons, QStringList({"Proceed", "Cancel"}));
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    testing_support::scriptedPanels().enqueue(std::nullopt);
    EXPECT_FALSE(PLRPersistantExporter::selectPathAndImportDatabase());
    EXPECT_EQ(PLRCoreManager::userSession(), session);
}
