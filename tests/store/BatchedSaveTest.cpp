// Saving many bundles at once: files whose bytes did not change stay as they are, a bundle
// that cannot be written leaves the others written, and no temporary or old copy is left.

#include "StoreTestHelpers.h"
#include "TestSupport.h"

#include "store/persistance-store/PLRSaveBatch.h"

#include <gtest/gtest.h>

#include <QDir>

#include <sys/stat.h>

using namespace store_test;

namespace {

ino_t inodeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// The bundle's files, with the photo-folder record left out.
QStringList bundleFiles(const QString& bundle)
{
    QStringList files = QDir(bundle).entryList(QDir::Files | QDir::Hidden);
    files.removeAll(QStringLiteral("location.plist"));
    files.sort();
    return files;
}

} // namespace

TEST(BatchedSave, UnchangedFilesStayAndNothingButTheBundleFilesRemains)
{
    PLRCoreManager::startManager();
    PLRUserSession* session = signIn();
    QList<PLRPersistantPost*> posts;
    for (int i = 0; i < 20; ++i)   // enough files to take the one-sync path
        posts << createPost(session, QStringLiteral("Post %1").arg(i));
    ASSERT_TRUE(saveAndWait());
    const QString bundle = posts.first()->bundlePath();
    const ino_t layoutBefore = inodeOf(bundle + "/layout");
    const ino_t infoBefore = inodeOf(bundle + "/info.plist");
    ASSERT_NE(layoutBefore, 0u);

    // Every post marked changed, only the names changed: the layouts are not written again.
    for (PLRPersistantPost* post : posts) {
        post->setName(post->name() + " (renamed)");
        post->setHasChanges(true);
    }
    ASSERT_TRUE(saveAndWait());
    PLRCoreManager::saveQueue().waitUntilIdle();
    EXPECT_EQ(inodeOf(bundle + "/layout"), layoutBefore);
    EXPECT_NE(inodeOf(bundle + "/info.plist"), infoBefore);
    EXPECT_TRUE(readFile(bundle + "/info.plist").contains("Post 0 (renamed)"));
    for (PLRPersistantPost* post : posts)
        EXPECT_EQ(bundleFiles(post->bundlePath()), (QStringList{"info.plist", "layout"})) << post->name().toStdString();

    // What was saved loads again.
    const QString id = posts.first()->identifier();
    PLRCoreManager::setUserSession(nullptr);
    session = signIn();
    ASSERT_EQ(session->account()->currentPosts().size(), 20);
    EXPECT_EQ(session->account()->postForIdentifier(id)->name(), "Post 0 (renamed)");
}

TEST(BatchedSave, ABundleThatCannotBeWrittenLeavesTheOthersWritten)
{
    for (const int count : {1, 20}) {   // a small batch syncs each file, a large one the file system
        // The start opens the first round's account again, with its post that cannot be read.
        if (count > 1)
            testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
        PLRCoreManager::startManager();
        PLRUserSession* session = signIn(QStringLiteral("u-%1").arg(count));
        QList<PLRPersistantPost*> posts;
        for (int i = 0; i < count; ++i)
            posts << createPost(session, QStringLiteral("Post %1").arg(i));
        ASSERT_TRUE(saveAndWait());

        // A folder where the first post's layout should go.
        PLRPersistantPost* blocked = posts.first();
        ASSERT_TRUE(QFile::remove(blocked->bundlePath() + "/layout"));
        ASSERT_TRUE(QDir().mkpath(blocked->bundlePath() + "/layout"));
        for (PLRPersistantPost* post : posts) {
            post->setName(post->name() + " again");
            post->layout().set_padding(31);
        }
        LogCapture log;
        EXPECT_FALSE(saveAndWait()) << count;
        PLRCoreManager::saveQueue().waitUntilIdle();
        EXPECT_TRUE(log.contains("failed writing layout"));
        EXPECT_FALSE(readFile(blocked->bundlePath() + "/info.plist").contains("again"));
        EXPECT_EQ(bundleFiles(blocked->bundlePath()), QStringList{"info.plist"});
        testing_support::waitUntil([&] { return blocked->hasChanges(); });
        EXPECT_TRUE(blocked->hasChanges());   // the next save tries again
        for (PLRPersistantPost* post : posts.mid(1)) {
            EXPECT_TRUE(readFile(post->bundlePath() + "/info.plist").contains("again"));
            EXPECT_EQ(bundleFiles(post->bundlePath()), (QStringList{"info.plist", "layout"}));
        }
        PLRCoreManager::setUserSession(nullptr);
    }
    testing_support::drainEvents();
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_EQ(testing_support::scriptedAlerts().shown()[0].messageText, "A post could not be opened");
}
