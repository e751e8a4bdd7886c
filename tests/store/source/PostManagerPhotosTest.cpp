// The post manager's photo folder: images in use, records saved with the post, reloads.

#include "../StoreTestHelpers.h"
#include "SourceTestPhotos.h"
#include "TestSupport.h"
#include "support/store/StoreFixtures.h"

#include "store/persistance-store/PLRPersistantStore.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "platform/Plist.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QThread>

#include <atomic>
#include <memory>

namespace {

QString makeFolder(const QStringList& names)
{
    const QString folder = testing_support::testHome() + "/photos";
    QDir().mkpath(folder);
    for (const QString& name : names)
        EXPECT_TRUE(source_test::writePhoto(folder + "/" + name, 60, 40));
    return folder;
}

PLRPostManager* openPost(PLRUserSession* session, const QString& folder)
{
    PLRPostManager* manager = session->newPostManager();
    EXPECT_TRUE(manager->createNewPostWithTitle("Trip", QUrl::fromLocalFile(folder)));
    // A folder that never loads fails the test that asked, not the whole binary.
    if (!testing_support::waitUntil([&] { return manager->images().size() == 2; }, 5000)) {
        ADD_FAILURE() << "the post's 2 photos did not load; " << manager->images().size() << " did";
        return nullptr;
    }
    // The look that listed them has ended and written their records: no write of it comes after
    // what the test writes next.
    manager->sourceDirectory()->waitUntilIdle();
    PLRCoreManager::saveQueue().waitUntilIdle();
    return manager;
}

} // namespace

TEST(PostManagerPhotos, CountsThePhotosTheLayoutUsesAndKeepsTheirRecordsAcrossAReload)
{
    const QString folder = makeFolder({"a.jpg", "b.jpg"});
    PLRUserSession* session = store_test::signIn();
    PLRPostManager* manager = openPost(session, folder);
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->numberOfImagesInUse(), 0);
    EXPECT_EQ(manager->sourceDirectory()->location(), QUrl::fromLocalFile(folder));

    PLRSourceImagePtr first = manager->images().first();
    first->setHidden(true);
    PLRLayout layout;
    PLRBlock* block = layout.add_sections()->add_blocks();
    block->mutable_image()->set_img_ref(first->identifier().toStdString());
    manager->representedPost()->setLayout(layout);
    QSignalSpy spy(manager, &PLRPostManager::numberOfImagesInUseChanged);
    manager->refreshImagesInUse();
    EXPECT_EQ(manager->numberOfImagesInUse(), 1);
    EXPECT_EQ(spy.count(), 1);
    ASSERT_EQ(manager->imagesInPost().size(), 1);
    EXPECT_EQ(manager->imagesInPost().first()->identifier(), first->identifier());
    EXPECT_EQ(manager->imageForIdentifier(first->identifier()), first);

    // The periodic save writes the photo records beside the post.
    const QString identifier = first->identifier();
    const QString postId = manager->representedPost()->identifier();
    ASSERT_TRUE(store_test::saveAndWait());
    EXPECT_TRUE(QFile::exists(manager->representedPost()->bundlePath() + "/location.plist"));

    // A fresh session loads the post; its manager finds the folder and the same records.
    PLRCoreManager::signOut();
    PLRUserSession* again = store_test::signIn();
    PLRPersistantPost* post = again->account()->postForIdentifier(postId);
    ASSERT_NE(post, nullptr);
    PLRPostManager* reopened = again->postManagerForPost(post);
    ASSERT_TRUE(testing_support::waitUntil([&] { return reopened->images().size() == 2; }, 5000));
    PLRSourceImagePtr same = reopened->imageForIdentifier(identifier);
    ASSERT_NE(same, nullptr);
    EXPECT_TRUE(same->isHidden());
    EXPECT_TRUE(testing_support::waitUntil([&] { return reopened->numberOfImagesInUse() == 1; }, 5000));
}

TEST(PostManagerPhotos, PhotosThatCannotBePublishedAreNamedWithTheirReasonsBeforePublishing)
{
    testing_support::installStoreLibraries();   // the check publishing asks
    const QString folder = makeFolder({"a.jpg", "b.jpg"});
    PLRPostManager* manager = openPost(store_test::signIn(), folder);
    ASSERT_NE(manager, nullptr);
    PLRLayout layout;
    PLRSection* section = layout.add_sections();
    for (const PLRSourceImagePtr& image : manager->images())
        section->add_blocks()->mutable_image()->set_img_ref(image->identifier().toStdString());
    manager->representedPost()->setLayout(layout);
    manager->refreshImagesInUse();
    EXPECT_TRUE(manager->representedPost()->checkIfPostMissingImagesBeforePublish());
    EXPECT_TRUE(testing_support::scriptedAlerts().shown().empty());

    ASSERT_TRUE(QFile::remove(folder + "/b.jpg"));
    ASSERT_TRUE(testing_support::cutShort(folder + "/a.jpg", 0.6));
    const QStringList expected = {"a.jpg: cut short", "b.jpg: missing from the folder"};
    ASSERT_TRUE(testing_support::waitUntil([&] {
        return manager->sourceDirectory()->unusablePhotosForIdentifiers(manager->imageReferencesInLayout()) == expected;
    }, 5000));
    // Publishing stops at an alert that names both, each with its reason: no grey picture goes up.
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    EXPECT_FALSE(manager->representedPost()->checkIfPostMissingImagesBeforePublish());
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    const platform::Alert& alert = testing_support::scriptedAlerts().shown().back();
    EXPECT_EQ(alert.messageText, "Photos Cannot Be Published");
    EXPECT_TRUE(alert.informativeText.contains("a.jpg: cut short\nb.jpg: missing from the folder")) << alert.informativeText.toStdString();
    // Nor is there an export file to upload for the cut one.
    EXPECT_TRUE(manager->imageForIdentifier(manager->images().first()->identifier())->exportFilePath().isEmpty());
}

// A new post is on disk from its creation, tied to its folder, and its photos' records are kept
// before their pictures are made: a process killed while the photos are prepared (no save, the
// preparation's end never run) leaves the post listed at the next start, and every picture made
// for it belongs to one of its photos.
TEST(PostManagerPhotos, ANewPostKilledWhileItsPhotosArePreparedIsListedWithItsFolderAndPictures)
{
    const QString folder = makeFolder({"a.jpg", "b.jpg"});
    PLRPostManager* manager = openPost(store_test::signIn(), folder);
    ASSERT_NE(manager, nullptr);
    const QString postId = manager->representedPost()->identifier();
    ASSERT_TRUE(testing_support::waitUntil([&] {
        for (const PLRSourceImagePtr& image : manager->images())
            if (!PLRImageManager::holdsPicture(image->cacheLocation()))
                return false;
        return true;
    }, 5000));

    // The store as the next start reads it.
    PLRCoreManager::saveQueue().waitUntilIdle();
    const auto next = PLRPersistantAccount::openAccount(store_test::kUserId, store_test::kEmail);
    PLRPersistantPost* post = next->postForIdentifier(postId);
    ASSERT_NE(post, nullptr);
    EXPECT_EQ(post->name(), "Trip");
    PLRSourceDirectory records(PLRPostManager::sourceDirectoryConfig(post->bundlePath(), QString()));
    EXPECT_EQ(records.location(), QUrl::fromLocalFile(folder));
    QStringList kept;
    for (const PLRSourceImagePtr& image : records.images())
        kept << image->identifier();
    EXPECT_EQ(kept.size(), 2);
    for (const QString& picture : QDir(PLRPersistantStore::locationPath()).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        EXPECT_TRUE(kept.contains(picture)) << picture.toStdString() << " is a picture of no photo of the post";
}

// A new post whose folder cannot be found, linked at once to another folder while its first
// write still waits its turn to be saved: the post goes to disk whole, and the records of the
// folder it was linked to are what it keeps, not those it was created with.
TEST(PostManagerPhotos, APostLinkedToAnotherFolderBeforeItsFirstWriteKeepsThatFolder)
{
    const QString folder = makeFolder({"a.jpg", "b.jpg"});
    PLRUserSession* session = store_test::signIn();
    auto release = std::make_shared<std::atomic_bool>(false);
    PLRCoreManager::saveQueue().async([release] {
        for (int i = 0; i < 2000 && !*release; ++i)
            QThread::msleep(5);
    });
    const std::shared_ptr<void> releaseAtEnd(nullptr, [release](void*) { *release = true; });
    PLRPostManager* manager = session->newPostManager();
    ASSERT_TRUE(manager->createNewPostWithTitle("Lost", QUrl::fromLocalFile(testing_support::testHome() + "/nowhere")));
    ASSERT_TRUE(testing_support::waitUntil(
        [&] { return manager->sourceDirectory()->state() == PLRSourceDirectory::StateLocationUnavailable; }));
    manager->sourceDirectory()->setNewLocation(QUrl::fromLocalFile(folder));
    ASSERT_TRUE(testing_support::waitUntil(
        [&] { return manager->sourceDirectory()->state() == PLRSourceDirectory::StateWatching; }));
    const QString bundle = manager->representedPost()->bundlePath();
    // Anything the look writes of its own, outside the order of the saves, it writes now.
    (void)testing_support::waitUntil([&] { return QFileInfo::exists(bundle); }, 300);
    EXPECT_FALSE(QFileInfo::exists(bundle)) << "the post's folder was made before the post was written";

    *release = true;
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->images().size() == 2; }));
    manager->sourceDirectory()->waitUntilIdle();
    PLRCoreManager::saveQueue().waitUntilIdle();
    EXPECT_TRUE(QFileInfo(bundle + "/info.plist").isFile());
    PLRSourceDirectory records(PLRPostManager::sourceDirectoryConfig(bundle, QString()));
    EXPECT_EQ(records.location(), QUrl::fromLocalFile(folder));
    EXPECT_EQ(records.images().size(), 2);
}

// A folder of 2,000 photos that share one long list of keywords: as dictionaries their records
// would make the file more than is read back (some 72 MB), so the session's save writes them
// so that every one is read back. With a keyword of its own on each, the records cannot fit
// the file in any form: the save fails (the quit's save tells the user so), and the file
// written last stays.
TEST(PostManagerPhotos, EveryRecordOfAHugeFolderIsReadBackAndNoSaveWritesMoreThanIsRead)
{
    const QString folder = makeFolder({"a.jpg", "b.jpg"});
    PLRPostManager* manager = openPost(store_test::signIn(), folder);
    ASSERT_NE(manager, nullptr);
    const QString postId = manager->representedPost()->identifier();
    const QString location = manager->representedPost()->bundlePath() + "/location.plist";
    QVariantMap plist = manager->sourceDirectory()->plistRepresentation();
    QVariantList records = plist.value("images").toList();
    QVariantMap record = records.first().toMap();
    constexpr int kMore = 2000;
    for (int i = 0; i < kMore; ++i) {
        record.insert("identifier", QStringLiteral("GONE-%1").arg(i));
        record.insert("file_name", QStringLiteral("2026 Autumn/Day %1/IMG_%2.jpg").arg(i / 100).arg(i));
        records.append(record);
    }
    plist.insert("images", records);
    PLRCoreManager::signOut();
    ASSERT_TRUE(platform::plist::writeFile(location, plist));

    const auto reopen = [&]() -> PLRSourceDirectory* {
        PLRCoreManager::signOut();
        PLRUserSession* session = store_test::signIn();
        PLRPersistantPost* post = session->account()->postForIdentifier(postId);
        PLRSourceDirectory* directory = post ? session->postManagerForPost(post)->sourceDirectory() : nullptr;
        if (directory && !testing_support::waitUntil([&] { return directory->images().size() == 2; }, 60000))
            ADD_FAILURE() << "the folder's 2 photos were not found";
        return directory;
    };
    PLRSourceDirectory* directory = reopen();
    ASSERT_NE(directory, nullptr);
    ASSERT_EQ(directory->vanishedImages().size(), kMore);
    QStringList keywords;
    for (int i = 0; i < 50; ++i)
        keywords.append(QString(700, QLatin1Char('a' + i % 26)));
    for (const PLRSourceImagePtr& image : directory->images() + directory->vanishedImages())
        image->setFocusKeywords(keywords);
    ASSERT_TRUE(store_test::saveAndWait(60000));
    directory = reopen();
    ASSERT_NE(directory, nullptr);
    ASSERT_EQ(directory->vanishedImages().size(), kMore);
    EXPECT_EQ(directory->sourceImageForIdentifier("GONE-1999")->focusKeywords(), keywords);

    const QByteArray saved = store_test::readFile(location);
    for (const PLRSourceImagePtr& image : directory->vanishedImages())
        image->setFocusKeywords(keywords + QStringList{image->identifier()});
    store_test::LogCapture log;
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    EXPECT_FALSE(store_test::saveAndWait(60000));
    EXPECT_TRUE(log.contains("too many photos to be recorded"));
    EXPECT_EQ(store_test::readFile(location), saved);   // read back whole above
    // The user is told once, with the reason; the next save is refused without a second notice.
    ASSERT_TRUE(testing_support::waitUntil([] { return testing_support::scriptedAlerts().shown().size() == 1; }));
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().messageText, "The photo records of \"Trip\" could not be saved.");
    EXPECT_TRUE(testing_support::scriptedAlerts().shown().back().informativeText.contains("too many photos to be recorded"));
    EXPECT_FALSE(store_test::saveAndWait(60000));
    testing_support::drainEvents();
    EXPECT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
}
