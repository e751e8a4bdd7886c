#include "HostilePlists.h"
#include "StoreTestHelpers.h"
#include "TestSupport.h"
#include "support/store/StoreFixtures.h"

#include "store/migrators/PLRMigrator.h"
#include "store/persistance-store/PLRFileUtilities.h"
#include "store/persistance-store/PLRPersistantBackup.h"
#include "store/persistance-store/PLRPersistantExporter.h"
#include "store/persistance-store/PLRPersistantStore.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Plist.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <limits>

#include <sys/stat.h>
#include <unistd.h>

using namespace store_test;

namespace {

// Closes the session (its posts write what they hold), so the files can be changed under a
// store nobody has open.
void closeSession()
{
    PLRCoreManager::saveQueue().waitUntilIdle();
    PLRCoreManager::setUserSession(nullptr);
    PLRCoreManager::saveQueue().waitUntilIdle();
}

PLRUserSession* reopen()
{
    PLRCoreManager::saveQueue().waitUntilIdle();
    PLRCoreManager::setUserSession(nullptr);
    PLRCoreManager::setUserSession(PLRUserSession::makeFromKeychain());
    return PLRCoreManager::userSession();
}

bool makeLink(const QString& target, const QString& link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

// Every regular file under the folder with its bytes.
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!QFileInfo(path).isSymLink())
            files.insert(QDir(folder).relativeFilePath(path), readFile(path));
    }
    return files;
}

// The one notice of posts that could not be opened, once the start's work is done.
QString noticeText()
{
    testing_support::drainEvents();
    const auto& shown = testing_support::scriptedAlerts().shown();
    if (shown.size() != 1)
        return QStringLiteral("(%1 alerts)").arg(shown.size());
    return shown[0].messageText + QLatin1Char('\n') + shown[0].informativeText;
}

// A store with two posts; the first one is the victim of each case.
struct HostileStore : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(outside.isValid());
        PLRCoreManager::startManager();
        session = signIn();
        ASSERT_TRUE(session);
        victim = createPost(session, "Victim");
        bystander = createPost(session, "Bystander");
        ASSERT_TRUE(saveAndWait());
        victimBundle = victim->bundlePath();
        bystanderBundle = bystander->bundlePath();
        bystanderId = bystander->identifier();
        PLRCoreManager::saveQueue().waitUntilIdle();
        accountBundle = session->account()->bundlePath();
        victimId = victim->identifier();
        closeSession();
        bystanderBefore = snapshot(bystanderBundle);
        ASSERT_FALSE(bystanderBefore.isEmpty());
    }
    // The other post loads and was not touched.
    void expectBystanderIntact(PLRUserSession* reopened)
    {
        ASSERT_TRUE(reopened);
        EXPECT_TRUE(reopened->account()->postForIdentifier(bystanderId));
        PLRCoreManager::saveQueue().waitUntilIdle();
        EXPECT_EQ(snapshot(bystanderBundle), bystanderBefore);
    }

    QTemporaryDir outside;
    PLRUserSession* session = nullptr;
    PLRPersistantPost* victim = nullptr;
    PLRPersistantPost* bystander = nullptr;
    QString victimBundle;
    QString bystanderBundle;
    QString bystanderId;
    QString victimId;
    QString accountBundle;
    QMap<QString, QByteArray> bystanderBefore;
};

} // namespace

TEST_F(HostileStore, DeeplyNestedPlistsLeaveThePostAsideAndTheAppRunning)
{
    const QString info = victimBundle + "/info.plist";
    const QByteArray hostileBytes = hostile::binaryArrayChain(120000, 1);
    ASSERT_TRUE(writeFile(info, hostileBytes));
    LogCapture log;
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    PLRUserSession* reopened = reopen();
    expectBystanderIntact(reopened);
    EXPECT_EQ(reopened->account()->currentPosts().size(), 1);
    EXPECT_TRUE(log.contains(victimBundle));
    EXPECT_TRUE(noticeText().contains(victimBundle));
    ASSERT_TRUE(saveAndWait());
    EXPECT_EQ(readFile(info), hostileBytes);   // never replaced

    ASSERT_TRUE(writeFile(info, hostile::deepXmlPlist(200000)));
    reopened = reopen();
    expectBystanderIntact(reopened);
    EXPECT_EQ(reopened->account()->currentPosts().size(), 1);
}

TEST_F(HostileStore, PhotoIdentifiersThatArePathsAreSkipped)
{
    const QString target = outside.filePath("x");
    ASSERT_TRUE(QDir().mkpath(target));
    ASSERT_TRUE(writeFile(target + "/animation.gif", "keep me"));
    QString climbing = QStringLiteral("..");
    for (int i = 0; i < 12; ++i)
        climbing += QStringLiteral("/..");
    climbing += target;
    const QVariantList records = {
        QVariantMap{{"identifier", climbing}, {"file_name", "a.jpg"}},
        QVariantMap{{"identifier", target}, {"file_name", "b.jpg"}},
        QVariantMap{{"identifier", "sub/dir"}, {"file_name", "c.jpg"}},
        QVariantMap{{"identifier", QString(300, 'A')}, {"file_name", "d.jpg"}},
        QVariantMap{{"identifier", "GOOD-1"}, {"file_name", "e.jpg"}},
    };
    // The same in the compact form of a large folder's records: lines leading out of the folder
    // or cut short, folders and keyword lists that are not there.
    const QVariantMap compact{{"folders", QVariantList{"", "../..", 7}},
                              {"keyword_lists", QVariantList{QStringList{"autumn"}}},
                              {"lines", QVariantList{"../../x/0//////f.jpg", "GOOD-2/1//////g.jpg", "GOOD-3/2//////h.jpg",
                                                     "GOOD-4/9//////i.jpg", "GOOD-5/0/1/2/0/0/1 2/", "GOOD-6/0/too/few",
                                                     "GOOD-7/0/x/y/1/5/1 2 3/j.jpg"}}};
    const QString locationPlist = victimBundle + "/location.plist";
    ASSERT_TRUE(platform::plist::writeFile(locationPlist, QVariantMap{{"location", outside.path()}, {"images", records},
                                                                      {"photos", compact}}));

    LogCapture log;
    PLRSourceDirectory::Config config;
    config.locationPlistPath = locationPlist;
    config.cacheRoot = PLRPersistantStore::locationPath();
    PLRSourceDirectory directory(config);
    ASSERT_EQ(directory.images().size(), 2);
    EXPECT_EQ(directory.images()[0]->identifier(), "GOOD-1");
    EXPECT_EQ(directory.images()[1]->fileName(), "j.jpg");
    EXPECT_TRUE(directory.images()[1]->isHidden());
    EXPECT_TRUE(log.contains("Skipping an invalid photo record in " + locationPlist));
    directory.resetCache();

    // No path comes out of a bad identifier, whoever asks.
    EXPECT_TRUE(PLRImageManager::locationForIdentifier(climbing).isEmpty());
    EXPECT_TRUE(PLRImageManager::locationForIdentifier("..").isEmpty());
    EXPECT_TRUE(PLRImageManager::locationForIdentifier(target).isEmpty());
    auto rogue = std::make_shared<PLRSourceImage>(climbing, PLRPersistantStore::locationPath());
    EXPECT_TRUE(rogue->cacheLocation().isEmpty());
    rogue->resetCache();
    EXPECT_TRUE(rogue->exportImageData().isEmpty());
    EXPECT_EQ(readFile(target + "/animation.gif"), "keep me");
    EXPECT_EQ(QDir(target).entryList(QDir::Files), QStringList({"animation.gif"}));

    // The same file travelling in a backup: restored, the post opens with the good record only.
    const QString backup = outside.filePath("b.plrbackup");
    platform::Error error;
    ASSERT_TRUE(PLRPersistantBackup::writeBackup(backup, &error)) << error.toString().toStdString();
    ASSERT_TRUE(QFile::remove(locationPlist));
    ASSERT_TRUE(PLRPersistantBackup::restoreBackup(backup, &error)) << error.toString().toStdString();
    PLRUserSession* reopened = reopen();
    expectBystanderIntact(reopened);
    PLRPersistantPost* post = reopened->account()->postForIdentifier(victimId);
    ASSERT_TRUE(post);
    PLRPostManager* manager = reopened->postManagerForPost(post);
    ASSERT_TRUE(manager && manager->sourceDirectory());
    // (Its file is not in the folder: gone from it once the folder has been looked at.)
    ASSERT_EQ(manager->images().size() + manager->sourceDirectory()->vanishedImages().size(), 2);
    manager->sourceDirectory()->resetCache();
    ASSERT_TRUE(manager->save());
    closeSession();
    EXPECT_EQ(QDir(target).entryList(QDir::Files), QStringList({"animation.gif"}));
}

TEST_F(HostileStore, AnUnreadableLocationFileIsKeptAsideNotEmptied)
{
    PLRCoreManager::saveQueue().waitUntilIdle();
    const QString locationPlist = victimBundle + "/location.plist";
    const QByteArray garbage = "<?xml version=\"1.0\"?><plist><dict><key>location</key><string>/photos";
    ASSERT_TRUE(writeFile(locationPlist, garbage));

    PLRUserSession* reopened = reopen();
    expectBystanderIntact(reopened);
    PLRPersistantPost* post = reopened->account()->postForIdentifier(victimId);
    ASSERT_TRUE(post);
    PLRPostManager* manager = reopened->postManagerForPost(post);
    ASSERT_TRUE(manager && manager->sourceDirectory());
    EXPECT_TRUE(manager->sourceDirectory()->path().isEmpty());   // the post asks for its folder
    ASSERT_TRUE(testing_support::waitUntil([&] {
        return manager->sourceDirectory()->state() == PLRSourceDirectory::StateLocationUnavailable;
    }));
    EXPECT_EQ(readFile(locationPlist + ".unreadable"), garbage);
    ASSERT_TRUE(manager->save());
    EXPECT_EQ(readFile(locationPlist + ".unreadable"), garbage);
    bool ok = false;
    platform::plist::readDictionary(locationPlist, &ok);
    EXPECT_TRUE(ok);
}

TEST_F(HostileStore, ALocationFileLargerThanAPostMayHoldIsSetAsideNotRead)
{
    PLRCoreManager::saveQueue().waitUntilIdle();
    // Well formed, with a photo record, but padded past what a post's location.plist may hold.
    const QString locationPlist = victimBundle + "/location.plist";
    const QVariantList records = {QVariantMap{{"identifier", "GOOD-1"}, {"file_name", "a.jpg"}}};
    ASSERT_TRUE(platform::plist::writeFile(locationPlist, QVariantMap{{"location", outside.path()},
                                                                      {"images", records},
                                                                      {"padding", QString(kPLRPostMaxLocationBytes, 'x')}}));
    const QByteArray huge = readFile(locationPlist);
    ASSERT_GT(huge.size(), kPLRPostMaxLocationBytes);

    LogCapture log;
    PLRUserSession* reopened = reopen();
    expectBystanderIntact(reopened);
    PLRPersistantPost* post = reopened->account()->postForIdentifier(victimId);
    ASSERT_TRUE(post);   // the post opens; it asks for its folder
    PLRPostManager* manager = reopened->postManagerForPost(post);
    ASSERT_TRUE(manager && manager->sourceDirectory());
    EXPECT_TRUE(manager->sourceDirectory()->path().isEmpty());
    EXPECT_TRUE(manager->images().isEmpty());
    EXPECT_TRUE(log.contains("larger than " + QString::number(kPLRPostMaxLocationBytes) + " bytes"));
    EXPECT_EQ(readFile(locationPlist + ".unreadable"), huge);   // kept as it was
    ASSERT_TRUE(manager->save());
    EXPECT_EQ(readFile(locationPlist + ".unreadable"), huge);
}

TEST_F(HostileStore, LinkedStoreFilesAreSetAsideNeverFollowed)
{
    const QString secret = outside.filePath("secret.txt");
    ASSERT_TRUE(writeFile(secret, "do not touch"));
    // The account's info.plist and a post's location.plist point outside the store.
    const QString accountInfo = accountBundle + "/info.plist";
    PLRCoreManager::saveQueue().waitUntilIdle();
    ASSERT_TRUE(QFile::remove(accountInfo));
    ASSERT_TRUE(makeLink(secret, accountInfo));
    const QString locationPlist = victimBundle + "/location.plist";
    QFile::remove(locationPlist);
    ASSERT_TRUE(makeLink(secret, locationPlist));

    PLRUserSession* reopened = reopen();
    expectBystanderIntact(reopened);
    reopened->account()->setFirstName("Changed");
    PLRPersistantPost* post = reopened->account()->postForIdentifier(victimId);
    ASSERT_TRUE(post);
    PLRPostManager* manager = reopened->postManagerForPost(post);
    ASSERT_TRUE(manager);
    ASSERT_TRUE(manager->save());
    ASSERT_TRUE(saveAndWait());

    EXPECT_EQ(readFile(secret), "do not touch");
    EXPECT_EQ(platform::files::kindOf(accountInfo), platform::files::Kind::Regular);
    EXPECT_EQ(platform::files::kindOf(accountInfo + ".unreadable"), platform::files::Kind::SymbolicLink);
    EXPECT_EQ(platform::files::kindOf(locationPlist), platform::files::Kind::Regular);
    EXPECT_EQ(platform::files::kindOf(locationPlist + ".unreadable"), platform::files::Kind::SymbolicLink);
    // A post bundle that is a link to a folder outside is never loaded nor written.
    closeSession();
    const QString outsideBundle = outside.filePath("elsewhere.plrpost");
    ASSERT_TRUE(plr::fileutil::copyDirectory(bystanderBundle, outsideBundle));
    const QMap<QString, QByteArray> outsideBefore = snapshot(outsideBundle);
    ASSERT_TRUE(makeLink(outsideBundle, accountBundle + "/posts/LINKED-1.plrpost"));
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    reopened = reopen();
    ASSERT_TRUE(reopened);
    EXPECT_FALSE(reopened->account()->postForIdentifier("LINKED-1"));
    EXPECT_TRUE(noticeText().contains("\u201cLINKED-1.plrpost\u201d: It is a link, and links in the store are never "
                                      "followed.\n" + accountBundle + "/posts/LINKED-1.plrpost"))
        << noticeText().toStdString();
    ASSERT_TRUE(saveAndWait());
    closeSession();
    EXPECT_EQ(snapshot(outsideBundle), outsideBefore);
    // The secret was never copied into the store.
    for (const QByteArray& bytes : snapshot(PLRPersistantStore::rootPath()))
        EXPECT_FALSE(bytes.contains("do not touch"));
}

TEST_F(HostileStore, FIFOsAndDevicesAreNeverOpened)
{
    const QString layout = victimBundle + "/layout";
    PLRCoreManager::saveQueue().waitUntilIdle();
    ASSERT_TRUE(QFile::remove(layout));
    ASSERT_EQ(::mkfifo(QFile::encodeName(layout).constData(), 0600), 0);
    // Image-area entries of a FIFO and a link to an endless device.
    const QString cache = PLRPersistantStore::locationPath() + "/IMG_0";
    ASSERT_TRUE(QDir().mkpath(cache));
    ASSERT_EQ(::mkfifo(QFile::encodeName(cache + "/preview.jpg").constData(), 0600), 0);
    ASSERT_TRUE(makeLink("/dev/zero", cache + "/export.jpg"));

    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    PLRUserSession* reopened = reopen();   // would block for ever on the FIFO
    expectBystanderIntact(reopened);
    EXPECT_EQ(reopened->account()->currentPosts().size(), 1);
    EXPECT_TRUE(noticeText().contains("\u201cVictim\u201d: Its layout cannot be read: It is not a regular file.\n"
                                      + victimBundle)) << noticeText().toStdString();
    EXPECT_TRUE(PLRImageManager::readCachedImage(cache + "/preview.jpg").isNull());
    EXPECT_TRUE(PLRImageManager::readCachedImage(cache + "/export.jpg").isNull());

    // A backup of this store, and its import, leave them out.
    const QString backup = outside.filePath("b.plrbackup");
    platform::Error error;
    ASSERT_TRUE(PLRPersistantBackup::writeBackup(backup, &error)) << error.toString().toStdString();
    EXPECT_FALSE(QFileInfo::exists(backup + "/loc/IMG_0/preview.jpg"));
    EXPECT_FALSE(QFileInfo::exists(backup + "/loc/IMG_0/export.jpg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(backup + "/loc/IMG_0/animation.gif").constData(), 0600), 0);
    EXPECT_TRUE(PLRPersistantBackup::restoreBackup(backup, &error)) << error.toString().toStdString();
    EXPECT_EQ(platform::files::kindOf(PLRPersistantStore::locationPath() + "/IMG_0/animation.gif"),
              platform::files::Kind::Missing);
}

TEST_F(HostileStore, ABackupOfANewerStoreIsRefused)
{
    session = reopen();
    const QString backup = outside.filePath("b.plrbackup");
    platform::Error error;
    ASSERT_TRUE(PLRPersistantBackup::writeBackup(backup, &error));
    ASSERT_TRUE(platform::plist::writeFile(backup + "/info.plist", QVariantMap{{"version", "99.0"}}));
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    EXPECT_FALSE(PLRPersistantExporter::importDatabaseWithURL(backup));
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_EQ(testing_support::scriptedAlerts().shown()[0].messageText, "Import Failed");
    EXPECT_TRUE(testing_support::scriptedAlerts().shown()[0].informativeText.contains("newer"));

    // A backup whose info.plist would overflow the parser is refused the same way.
    ASSERT_TRUE(writeFile(backup + "/info.plist", hostile::binaryArrayChain(120000, 1)));
    EXPECT_FALSE(PLRPersistantBackup::validateBackup(backup, nullptr, &error));
}

TEST_F(HostileStore, LeftoversOfKilledSavesAreRemovedAtStart)
{
    PLRCoreManager::saveQueue().waitUntilIdle();
    const QString account = accountBundle;
    ASSERT_TRUE(writeFile(victimBundle + "/layout.Ab12Cd", "half"));
    ASSERT_TRUE(writeFile(victimBundle + "/info.plist.x9Y8z7", "half"));
    ASSERT_TRUE(writeFile(account + "/info.plist.QwErTy", "half"));
    ASSERT_TRUE(QDir().mkpath(account + "/posts/COPY-1.plrpost.partial"));
    ASSERT_TRUE(writeFile(account + "/posts/COPY-1.plrpost.partial/layout", "half"));
    ASSERT_TRUE(writeFile(victimBundle + "/layout.keep-me", "mine"));   // not a temporary's name

    PLRUserSession* reopened = reopen();
    expectBystanderIntact(reopened);
    EXPECT_FALSE(QFileInfo::exists(victimBundle + "/layout.Ab12Cd"));
    EXPECT_FALSE(QFileInfo::exists(victimBundle + "/info.plist.x9Y8z7"));
    EXPECT_FALSE(QFileInfo::exists(account + "/info.plist.QwErTy"));
    EXPECT_FALSE(QFileInfo::exists(account + "/posts/COPY-1.plrpost.partial"));
    EXPECT_EQ(readFile(victimBundle + "/layout.keep-me"), "mine");
    EXPECT_EQ(reopened->account()->currentPosts().size(), 2);
}

TEST_F(HostileStore, ALayoutReencodedUnchangedKeepsItsUpdatedDate)
{
    PLRCoreManager::saveQueue().waitUntilIdle();
    // Written by another encoder: an explicit default field the encoder here leaves out.
    const QByteArray canonical = readFile(victimBundle + "/layout");
    ASSERT_TRUE(writeFile(victimBundle + "/layout", canonical + QByteArray("\x10\x00", 2)));
    bool ok = false;
    QVariantMap info = platform::plist::readDictionary(victimBundle + "/info.plist", &ok);
    ASSERT_TRUE(ok);
    const QDateTime old(QDate(2020, 5, 1), QTime(10, 0), Qt::UTC);
    info.insert("updatedDate", old);
    info.remove("seoTitle");   // a key of a later version, absent
    ASSERT_TRUE(platform::plist::writeFile(victimBundle + "/info.plist", info));

    PLRUserSession* reopened = reopen();
    ASSERT_TRUE(reopened);
    PLRPersistantPost* post = reopened->account()->postForIdentifier(victimId);
    ASSERT_TRUE(post);
    ASSERT_TRUE(post->save());
    ASSERT_TRUE(saveAndWait());
    PLRCoreManager::saveQueue().waitUntilIdle();
    EXPECT_EQ(post->updatedDate(), old);
    EXPECT_EQ(platform::plist::readDictionary(victimBundle + "/info.plist", &ok).value("updatedDate").toDateTime(), old);

    // A real change still counts.
    post->setName("Changed");
    ASSERT_TRUE(saveAndWait());
    EXPECT_GT(post->updatedDate(), old);
}

TEST(HostileStoreVersion, AnUnreadableStoreVersionIsKeptAsideAndWrittenAgain)
{
    PLRCoreManager::startManager();
    const QString path = PLRMigrator::storeInfoPath();
    const QByteArray hostileBytes = hostile::binaryArrayChain(120000, 1);
    ASSERT_TRUE(writeFile(path, hostileBytes));
    LogCapture log;
    bool done = false;
    bool success = false;
    PLRMigrator::runMigratorIfNeeded([&](bool ok) {
        done = true;
        success = ok;
    });
    ASSERT_TRUE(testing_support::waitUntil([&] { return done; }));
    EXPECT_TRUE(success);
    EXPECT_TRUE(log.contains(path));
    EXPECT_EQ(readFile(path + ".unreadable"), hostileBytes);
    EXPECT_EQ(PLRMigrator::storedVersion(), QString::fromLatin1(kPLRStoreCurrentVersion));
}

TEST_F(HostileStore, ImportStagingFoldersLeftByAKillAreRemovedWhenTheAccountOpens)
{
    const QString root = PLRPersistantStore::rootPath();
    const QString stale = root + "/.import-6F1C0B52-0000-4000-8000-000000000001";
    ASSERT_TRUE(QDir().mkpath(stale + "/ABC.plrpost/export_block_cache/X"));
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(writeFile(stale + QStringLiteral("/ABC.plrpost/junk-%1").arg(i), "junk"));
    // One that links elsewhere goes as a link; what it points at stays.
    ASSERT_TRUE(writeFile(outside.filePath("keep.txt"), "keep"));
    ASSERT_TRUE(makeLink(outside.path(), root + "/.import-linked"));
    // One that an import still uses stays.
    const QString running = root + "/.import-running";
    ASSERT_TRUE(QDir().mkpath(running));
    plr::fileutil::registerStagingFolder(running);
    // The pictures a killed import had moved into the store go with its staging folder, unless a
    // post uses them (the bystander places IMG_1, the other post's records in their compact form
    // name RECORDED); those of an import whose post is in the store stay.
    const QString loc = PLRPersistantStore::locationPath();
    ASSERT_TRUE(platform::plist::writeFile(
        victimBundle + "/location.plist",
        QVariantMap{{"photos", QVariantMap{{"folders", QVariantList{""}}, {"lines", QVariantList{"RECORDED/0/5/1/0///a.jpg"}}}}}));
    for (const char* image : {"IMPORTED", "IMG_1", "PLACED", "RECORDED"})
        ASSERT_TRUE(QDir().mkpath(loc + "/" + image) && writeFile(loc + "/" + image + "/export.jpg", "picture"));
    const auto note = [](const QString& staging, const QString& bundle, const QStringList& images) {
        return platform::plist::writeFile(staging + "/" + plr::fileutil::kImportedPicturesFileName,
                                          QVariantMap{{"bundle", bundle}, {"images", QVariant(images)}});
    };
    ASSERT_TRUE(note(stale, accountBundle + "/posts/0B1E.plrpost", {"IMPORTED", "IMG_1", "RECORDED", "../" + outside.path()}));
    const QString placed = root + "/.import-placed";
    ASSERT_TRUE(QDir().mkpath(placed) && note(placed, bystanderBundle, {"PLACED"}));

    PLRUserSession* reopened = reopen();
    expectBystanderIntact(reopened);
    EXPECT_FALSE(QFileInfo::exists(loc + "/IMPORTED"));
    EXPECT_TRUE(QFileInfo::exists(loc + "/IMG_1/export.jpg"));
    EXPECT_TRUE(QFileInfo::exists(loc + "/RECORDED/export.jpg"));
    EXPECT_TRUE(QFileInfo::exists(loc + "/PLACED/export.jpg"));
    EXPECT_FALSE(QFileInfo::exists(placed));
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_EQ(platform::files::kindOf(root + "/.import-linked"), platform::files::Kind::Missing);
    EXPECT_EQ(readFile(outside.filePath("keep.txt")), "keep");
    EXPECT_TRUE(QFileInfo(running).isDir());
    plr::fileutil::unregisterStagingFolder(running);
    EXPECT_EQ(reopened->account()->currentPosts().size(), 2);
}

TEST_F(HostileStore, LayoutNumbersAndTextsOutOfRangeAreBoundedWhenRead)
{
    PLRLayout layout;
    ASSERT_TRUE(plr::parseFromData(&layout, readFile(victimBundle + "/layout")));
    layout.set_padding(std::numeric_limits<qint64>::max());
    layout.mutable_background_colour()->set_r(std::numeric_limits<float>::infinity());
    layout.mutable_background_colour()->set_g(1e30f);
    PLRSection* section = layout.sections_size() > 0 ? layout.mutable_sections(0) : layout.add_sections();
    PLRBlock* text = section->add_blocks();
    text->set_aspect_ratio(std::numeric_limits<float>::quiet_NaN());
    text->mutable_text()->set_value(std::string(200 * 1024, 'x'));
    text->mutable_text()->set_html("<p>" + std::string(1536 * 1024, 'y') + "</p>");
    PLRBlock* row = section->add_blocks();
    PLRBlock* image = row->mutable_container()->add_sub_blocks();
    image->set_aspect_ratio(1e9f);
    image->mutable_image()->set_img_ref("IMG");
    image->mutable_image()->mutable_position()->set_x(-std::numeric_limits<float>::infinity());
    image->mutable_image()->mutable_position()->set_width(3e38f);
    PLRBlock* wide = row->mutable_container()->add_sub_blocks();
    wide->set_aspect_ratio(1.5f);   // in range: kept
    wide->mutable_text()->set_value("short");
    ASSERT_TRUE(writeFile(victimBundle + "/layout", plr::data(layout)));

    PLRUserSession* reopened = reopen();
    expectBystanderIntact(reopened);
    PLRPersistantPost* post = reopened->account()->postForIdentifier(victimId);
    ASSERT_TRUE(post);
    const PLRLayout& read = post->layout();
    EXPECT_EQ(read.padding(), plr::kMaxLayoutPadding);
    EXPECT_EQ(read.background_colour().r(), 0.0f);
    EXPECT_EQ(read.background_colour().g(), 255.0f);
    const PLRSection& readSection = read.sections(0);
    const PLRBlock& readText = readSection.blocks(readSection.blocks_size() - 2);
    EXPECT_EQ(readText.aspect_ratio(), 0.0f);
    EXPECT_EQ(QString::fromStdString(readText.text().value()).size(), plr::kMaxTextBlockLength);
    EXPECT_TRUE(readText.text().html().empty());
    const PLRBlock& readRow = readSection.blocks(readSection.blocks_size() - 1);
    EXPECT_FLOAT_EQ(readRow.container().sub_blocks(0).aspect_ratio(), float(plr::kMaxLayoutAspectRatio));
    EXPECT_EQ(readRow.container().sub_blocks(0).image().position().x(), 0.0f);
    EXPECT_FLOAT_EQ(readRow.container().sub_blocks(0).image().position().width(), float(plr::kMaxLayoutCoordinate));
    EXPECT_FLOAT_EQ(readRow.container().sub_blocks(1).aspect_ratio(), 1.5f);
    EXPECT_EQ(readRow.container().sub_blocks(1).text().value(), "short");
}

TEST_F(HostileStore, ALayoutLargerThanAPostMayHoldIsNotReadAndTheUserIsTold)
{
    // A well-formed layout of 9 MB: one text far beyond what a post holds.
    PLRLayout layout;
    ASSERT_TRUE(plr::parseFromData(&layout, readFile(victimBundle + "/layout")));
    layout.mutable_sections(0)->add_blocks()->mutable_text()->set_value(std::string(9 * 1024 * 1024, 'x'));
    const QByteArray huge = plr::data(layout);
    ASSERT_GT(huge.size(), kPLRPostMaxLayoutBytes);
    ASSERT_TRUE(writeFile(victimBundle + "/layout", huge));

    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    LogCapture log;
    PLRUserSession* reopened = reopen();
    expectBystanderIntact(reopened);
    EXPECT_FALSE(reopened->account()->postForIdentifier(victimId));
    EXPECT_TRUE(log.contains(victimBundle));
    const QString told = noticeText();
    EXPECT_TRUE(told.startsWith("A post could not be opened\n")) << told.toStdString();
    EXPECT_TRUE(told.contains("\u201cVictim\u201d: Its layout is larger than 8 MB, the most a post may hold.\n" + victimBundle))
        << told.toStdString();
    ASSERT_TRUE(saveAndWait());
    EXPECT_EQ(readFile(victimBundle + "/layout"), huge);   // left as it is
}

TEST_F(HostileStore, APostsFolderThatLinksOutsideIsSetAsideNeverFollowed)
{
    // The account's posts now live outside the store, behind a link in the place of its folder.
    const QString posts = accountBundle + "/posts";
    const QString elsewhere = outside.filePath("posts");
    ASSERT_TRUE(QDir().rename(posts, elsewhere));
    ASSERT_TRUE(makeLink(elsewhere, posts));
    const QMap<QString, QByteArray> elsewhereBefore = snapshot(elsewhere);

    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    PLRUserSession* reopened = reopen();
    ASSERT_TRUE(reopened);
    EXPECT_TRUE(reopened->account()->currentPosts().isEmpty());
    EXPECT_EQ(platform::files::kindOf(posts + ".unreadable"), platform::files::Kind::SymbolicLink);
    const QString told = noticeText();
    EXPECT_TRUE(told.startsWith("Some posts could not be opened\n")) << told.toStdString();
    EXPECT_TRUE(told.contains("The posts folder: It is a link to " + elsewhere)) << told.toStdString();
    EXPECT_TRUE(told.contains("It is kept as " + posts + ".unreadable")) << told.toStdString();

    // A new post goes into a folder of the store's own; nothing outside is written.
    PLRPersistantPost* fresh = createPost(reopened, "Fresh");
    ASSERT_TRUE(saveAndWait());
    PLRCoreManager::saveQueue().waitUntilIdle();
    EXPECT_EQ(platform::files::kindOf(posts), platform::files::Kind::Directory);
    EXPECT_TRUE(fresh->bundlePath().startsWith(posts + "/"));
    EXPECT_EQ(platform::files::kindOf(fresh->bundlePath()), platform::files::Kind::Directory);
    EXPECT_EQ(snapshot(elsewhere), elsewhereBefore);
    EXPECT_EQ(reopen()->account()->currentPosts().size(), 1);
}


TEST_F(HostileStore, AnAccountFolderThatIsALinkIsSetAsideAndNamedInTheNotice)
{
    // The account's folder now lives outside the store, behind a link in its place.
    const QString elsewhere = outside.filePath("account");
    ASSERT_TRUE(QDir().rename(accountBundle, elsewhere));
    ASSERT_TRUE(makeLink(elsewhere, accountBundle));
    const QMap<QString, QByteArray> elsewhereBefore = snapshot(elsewhere);

    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    PLRUserSession* reopened = reopen();
    ASSERT_TRUE(reopened);
    EXPECT_TRUE(reopened->account()->currentPosts().isEmpty());
    EXPECT_EQ(platform::files::kindOf(accountBundle + ".unreadable"), platform::files::Kind::SymbolicLink);
    const QString told = noticeText();
    EXPECT_TRUE(told.startsWith("Some posts could not be opened\n")) << told.toStdString();
    EXPECT_TRUE(told.contains("The account's folder: It is a link to " + elsewhere
                              + ", and links in the store are never followed. It is kept as " + accountBundle
                              + ".unreadable; new posts go into a new folder.\n" + accountBundle))
        << told.toStdString();

    // The account and a new post go into a folder of the store's own.
    PLRPersistantPost* fresh = createPost(reopened, "Fresh");
    ASSERT_TRUE(saveAndWait());
    PLRCoreManager::saveQueue().waitUntilIdle();
    EXPECT_EQ(platform::files::kindOf(accountBundle + "/info.plist"), platform::files::Kind::Regular);
    EXPECT_EQ(platform::files::kindOf(fresh->bundlePath() + "/layout"), platform::files::Kind::Regular);
    EXPECT_EQ(snapshot(elsewhere), elsewhereBefore);
}

// The folder of every account made a link while the store runs: the next sign-in sets it aside
// and the notice names that folder, not the account's own.
TEST_F(HostileStore, TheFolderOfEveryAccountMadeALinkBeforeASignInIsNamedAsSuch)
{
    closeSession();
    const QString accounts = PLRPersistantStore::accountsPath();
    const QString elsewhere = outside.filePath("ds");
    ASSERT_TRUE(QDir().rename(accounts, elsewhere));
    ASSERT_TRUE(makeLink(elsewhere, accounts));

    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    PLRUserSession* reopened = reopen();
    ASSERT_TRUE(reopened);
    EXPECT_TRUE(reopened->account()->currentPosts().isEmpty());
    const QString told = noticeText();
    EXPECT_TRUE(told.contains("The folder of every account: It is a link to " + elsewhere
                              + ", and links in the store are never followed. It is kept as " + accounts + ".unreadable"))
        << told.toStdString();
    EXPECT_FALSE(told.contains("The account's folder")) << told.toStdString();
}

// The store's own folders ("ds" for the accounts, "loc" for the photos' copies) are never
// followed when a link stands in their place as the store starts.
TEST_F(HostileStore, StoreFoldersThatAreLinksAreSetAsideAsTheStoreStarts)
{
    const QString accounts = PLRPersistantStore::accountsPath();
    const QString images = PLRPersistantStore::locationPath();
    const QString accountsElsewhere = outside.filePath("ds");
    const QString imagesElsewhere = outside.filePath("loc");
    ASSERT_TRUE(QDir().rename(accounts, accountsElsewhere));
    ASSERT_TRUE(makeLink(accountsElsewhere, accounts));
    ASSERT_TRUE(QDir().mkpath(images));
    ASSERT_TRUE(QDir().rename(images, imagesElsewhere));
    ASSERT_TRUE(makeLink(imagesElsewhere, images));
    const QMap<QString, QByteArray> accountsBefore = snapshot(accountsElsewhere);

    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    LogCapture log;
    PLRCoreManager::startManager();
    PLRUserSession* reopened = PLRCoreManager::userSession();
    ASSERT_TRUE(reopened);
    EXPECT_TRUE(reopened->account()->currentPosts().isEmpty());
    EXPECT_EQ(platform::files::kindOf(accounts + ".unreadable"), platform::files::Kind::SymbolicLink);
    EXPECT_EQ(platform::files::kindOf(images + ".unreadable"), platform::files::Kind::SymbolicLink);
    EXPECT_EQ(platform::files::kindOf(images), platform::files::Kind::Directory);
    EXPECT_TRUE(log.contains("Not opening the folder " + images + ": It is a link to " + imagesElsewhere));
    const QString told = noticeText();
    EXPECT_TRUE(told.contains("The folder of every account: It is a link to " + accountsElsewhere
                              + ", and links in the store are never followed. It is kept as " + accounts + ".unreadable"))
        << told.toStdString();

    // A photo cached now, and a new post saved, stay in the store.
    const QString photo = outside.filePath("photo.jpg");
    ASSERT_TRUE(testing_support::writePhoto(photo, testing_support::TestPhoto{}));
    const QString cache = images + "/PHOTO-1";
    const PLRImageManager::BuildResult built =
        PLRImageManager::buildCache({photo, cache, 1, 72, false, PLRImageManager::fileModifiedNs(photo)});
    EXPECT_TRUE(built.ok) << built.error.toStdString();
    EXPECT_EQ(platform::files::kindOf(cache + "/export.jpg"), platform::files::Kind::Regular);
    createPost(reopened, "Fresh");
    ASSERT_TRUE(saveAndWait());
    closeSession();
    EXPECT_EQ(snapshot(accountsElsewhere), accountsBefore);
    EXPECT_TRUE(snapshot(imagesElsewhere).isEmpty());
}

// A link that takes the place of one of the folders on the way to the posts while the store is
// open is set aside at the next save, and every post is written anew, whole, into folders of
// the store's own: nothing is written through the link, and nothing of the posts is lost.
TEST_F(HostileStore, LinksThatComeInTheWayOfARunningStoreAreSetAsideAndThePostsWrittenAnew)
{
    struct Case {
        const char* what;
        QString folder;
    };
    for (const Case& c : {Case{"the folder of every account", PLRPersistantStore::accountsPath()},
                          Case{"the account's folder", accountBundle}, Case{"the posts folder", accountBundle + "/posts"},
                          Case{"a post's folder", victimBundle}}) {
        SCOPED_TRACE(c.what);
        PLRUserSession* reopened = reopen();
        ASSERT_TRUE(reopened);
        ASSERT_EQ(reopened->account()->currentPosts().size(), 2);
        PLRPersistantPost* post = reopened->account()->postForIdentifier(victimId);
        ASSERT_TRUE(post);
        PLRPostManager* manager = reopened->postManagerForPost(post);
        ASSERT_TRUE(manager);
        const PLRLayout layout = post->layout();
        PLRCoreManager::saveQueue().waitUntilIdle();

        // Moved outside, a link in its place.
        QTemporaryDir away;
        const QString elsewhere = away.filePath("moved");
        ASSERT_TRUE(QDir().rename(c.folder, elsewhere));
        ASSERT_TRUE(makeLink(elsewhere, c.folder));
        const QMap<QString, QByteArray> elsewhereBefore = snapshot(elsewhere);

        post->setName(QStringLiteral("Victim, renamed"));
        EXPECT_TRUE(manager->save());
        EXPECT_TRUE(saveAndWait());
        closeSession();
        EXPECT_EQ(snapshot(elsewhere), elsewhereBefore);
        EXPECT_EQ(platform::files::kindOf(c.folder), platform::files::Kind::Directory);
        EXPECT_EQ(platform::files::kindOf(c.folder + ".unreadable"), platform::files::Kind::SymbolicLink);

        reopened = reopen();
        ASSERT_TRUE(reopened);
        PLRPersistantPost* reread = reopened->account()->postForIdentifier(victimId);
        ASSERT_TRUE(reread);
        EXPECT_EQ(reread->name(), "Victim, renamed");
        EXPECT_EQ(plr::data(reread->layout()), plr::data(layout));
        EXPECT_EQ(platform::files::kindOf(victimBundle + "/location.plist"), platform::files::Kind::Regular);
        EXPECT_TRUE(reopened->account()->postForIdentifier(bystanderId));
        reread->setName(QStringLiteral("Victim"));
        ASSERT_TRUE(saveAndWait());
        closeSession();
        ASSERT_TRUE(QFile::remove(c.folder + ".unreadable"));
    }
}

// What comes in the way after the records looked (between a save's preparing and its writing)
// is never written through either: the save of that bundle fails and says why, and so do the
// photo cache and the location file.
TEST_F(HostileStore, WritersOfTheStoreNeverWriteThroughALink)
{
    const QString posts = accountBundle + "/posts";
    const QString elsewhere = outside.filePath("posts");
    ASSERT_TRUE(QDir().rename(posts, elsewhere));
    ASSERT_TRUE(makeLink(elsewhere, posts));
    const QMap<QString, QByteArray> elsewhereBefore = snapshot(elsewhere);

    LogCapture log;
    PLRBundleWrite write;
    write.bundlePath = victimBundle;
    write.description = QStringLiteral("post %1").arg(victimId);
    write.files.emplace_back(QStringLiteral("layout"), QByteArray("new layout"));
    write.plist = QVariantMap{{QStringLiteral("name"), QStringLiteral("Changed")}};
    EXPECT_FALSE(writeBundle(write));
    EXPECT_TRUE(log.contains("Save of post " + victimId + " not written: " + posts + " is a link"));

    PLRSourceDirectory::Config config;
    config.locationPlistPath = victimBundle + "/location.plist";
    config.cacheRoot = PLRPersistantStore::locationPath();
    PLRSourceDirectory directory(config);
    platform::Error error;
    EXPECT_FALSE(directory.save(&error));
    EXPECT_EQ(snapshot(elsewhere), elsewhereBefore);

    // The photos' copies, under a folder of the image area that is a link.
    const QString images = PLRPersistantStore::locationPath();
    ASSERT_TRUE(QDir().mkpath(images));
    const QString imagesElsewhere = outside.filePath("copies");
    ASSERT_TRUE(QDir().mkpath(imagesElsewhere));
    ASSERT_TRUE(makeLink(imagesElsewhere, images + "/LINKED"));
    const QString photo = outside.filePath("photo.jpg");
    ASSERT_TRUE(testing_support::writePhoto(photo, testing_support::TestPhoto{}));
    const PLRImageManager::BuildResult built = PLRImageManager::buildCache(
        {photo, images + "/LINKED/PHOTO-1", 1, 72, false, PLRImageManager::fileModifiedNs(photo)});
    EXPECT_FALSE(built.ok);
    EXPECT_TRUE(built.error.contains(images + "/LINKED is a link")) << built.error.toStdString();
    EXPECT_TRUE(QDir(imagesElsewhere).isEmpty());
}
