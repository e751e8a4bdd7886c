#include "StoreTestHelpers.h"
#include "TestSupport.h"

#include "store/persistance-store/PLRPersistantStore.h"
#include "store/persistance-store/PLRSkippedPostsNotice.h"
#include "platform/Paths.h"
#include "platform/Plist.h"
#include "platform/Resets.h"
#include "store/session/PLRDefaults.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFileInfo>
#include <QImage>

using namespace store_test;

namespace {

QString root() { return platform::paths::applicationSupport(); }

// Forgets the session and opens it again from the keychain and the disk.
PLRUserSession* reopen()
{
    PLRCoreManager::saveQueue().waitUntilIdle();
    PLRCoreManager::setUserSession(nullptr);
    PLRCoreManager::setUserSession(PLRUserSession::makeFromKeychain());
    return PLRCoreManager::userSession();
}

} // namespace

TEST(Store, PostsAreWrittenWithTheStoreNamesAndLoadBack)
{
    PLRCoreManager::startManager();
    EXPECT_TRUE(QFileInfo(root() + "/gall_temp_assets").isDir());
    EXPECT_TRUE(QFileInfo(root() + "/ds").isDir());
    EXPECT_TRUE(QFileInfo(root() + "/loc").isDir());
    EXPECT_EQ(PLRPersistantStore::locationURL().toLocalFile(), root() + "/loc");

    PLRUserSession* session = signIn();
    ASSERT_TRUE(session);
    session->account()->setFirstName("Ann");
    PLRPersistantPost* post = createPost(session, "Trip", 4);
    post->setSeoTitle("Seo");
    post->setMetaDescription("Meta");
    post->setFocusKeywords({"sea", "sand"});
    post->setRemoteIdentifier("r-9");
    const QString id = post->identifier();
    const QByteArray layoutBytes = plr::data(post->layout());
    ASSERT_TRUE(saveAndWait());

    const QString account = root() + "/ds/u-1001.plruser";
    EXPECT_EQ(PLRPersistantStore::urlToAccountBundleForUserIdentifier(kUserId).toLocalFile(), account);
    const QString bundle = account + "/posts/" + id + ".plrpost";
    EXPECT_EQ(session->account()->urlForPostBundleWithIdentifier(id).toLocalFile(), bundle);
    EXPECT_TRUE(QFileInfo(account + "/info.plist").isFile());
    EXPECT_TRUE(QFileInfo(bundle + "/info.plist").isFile());
    EXPECT_EQ(readFile(bundle + "/layout"), layoutBytes);
    EXPECT_FALSE(QFileInfo::exists(bundle + "/preview.jpg"));   // no preview provider yet
    bool ok = false;
    const QVariantMap info = platform::plist::readDictionary(bundle + "/info.plist", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(info.value("identifier").toString(), id);
    EXPECT_EQ(info.value("name").toString(), "Trip");
    EXPECT_EQ(info.value("remoteIdentifier").toString(), "r-9");

    session = reopen();
    ASSERT_TRUE(session);
    ASSERT_EQ(session->account()->currentPosts().size(), 1);
    PLRPersistantPost* loaded = session->account()->postForIdentifier(id);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->name(), "Trip");
    EXPECT_EQ(loaded->seoTitle(), "Seo");
    EXPECT_EQ(loaded->metaDescription(), "Meta");
    EXPECT_EQ(loaded->focusKeywords(), QStringList({"sea", "sand"}));
    EXPECT_EQ(loaded->remoteIdentifier(), "r-9");
    EXPECT_EQ(plr::data(loaded->layout()), layoutBytes);
    EXPECT_TRUE(loaded->creationDate().isValid());
    EXPECT_EQ(session->account()->firstName(), "Ann");
    EXPECT_EQ(session->email(), kEmail);
    EXPECT_EQ(session->jwt(), "token-1");
}

TEST(Store, SaveWritesOnlyChangedPostsAndKeepsUnknownKeys)
{
    PLRCoreManager::startManager();
    PLRUserSession* session = signIn();
    PLRPersistantPost* a = createPost(session, "A");
    PLRPersistantPost* b = createPost(session, "B");
    ASSERT_TRUE(saveAndWait());
    const QString aInfo = a->bundlePath() + "/info.plist";
    const QString bInfo = b->bundlePath() + "/info.plist";

    // A key written by someone else survives our saves.
    QVariantMap info = platform::plist::readDictionary(aInfo, nullptr);
    info.insert("futureKey", "kept");
    ASSERT_TRUE(platform::plist::writeFile(aInfo, info));
    session = reopen();
    a = session->account()->postForIdentifier(a->identifier());
    b = session->account()->postForIdentifier(b->identifier());

    const QDateTime bStamp = QFileInfo(bInfo).lastModified();
    a->layout().set_padding(99);   // edited in place, as the layout manager does
    ASSERT_TRUE(saveAndWait());
    EXPECT_EQ(plr::messageFromData<PLRLayout>(readFile(a->bundlePath() + "/layout")).padding(), 99);
    EXPECT_EQ(platform::plist::readDictionary(aInfo, nullptr).value("futureKey").toString(), "kept");
    EXPECT_EQ(QFileInfo(bInfo).lastModified(), bStamp);
}

TEST(Store, ACorruptPostIsSkippedLoggedAndLeftAlone)
{
    PLRCoreManager::startManager();
    PLRUserSession* session = signIn();
    PLRPersistantPost* good = createPost(session, "Good");
    PLRPersistantPost* badInfo = createPost(session, "Bad info");
    PLRPersistantPost* badLayout = createPost(session, "Bad layout");
    ASSERT_TRUE(saveAndWait());
    const QString goodId = good->identifier();
    const QString badInfoPath = badInfo->bundlePath() + "/info.plist";
    const QString badLayoutPath = badLayout->bundlePath() + "/layout";
    const QString badInfoId = badInfo->identifier();
    const QString badLayoutId = badLayout->identifier();
    ASSERT_TRUE(writeFile(badInfoPath, "<?xml version=\"1.0\"?><plist><dict><key>name"));
    ASSERT_TRUE(writeFile(badLayoutPath, QByteArray("\xff\xff\xff", 3)));

    LogCapture log;
    auto& alerts = testing_support::scriptedAlerts();
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    session = reopen();
    ASSERT_TRUE(session);
    EXPECT_EQ(session->account()->currentPosts().size(), 1);
    EXPECT_TRUE(session->account()->postForIdentifier(goodId));
    EXPECT_TRUE(log.contains(badInfoId));
    EXPECT_TRUE(log.contains(badLayoutId));
    // The user hears of both, with where they lie, once the start is done.
    EXPECT_TRUE(alerts.shown().empty());
    testing_support::drainEvents();
    ASSERT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(alerts.shown()[0].messageText, "2 posts could not be opened");
    const QString told = alerts.shown()[0].informativeText;
    EXPECT_TRUE(told.contains(QFileInfo(badInfoPath).path())) << told.toStdString();
    EXPECT_TRUE(told.contains(QFileInfo(badLayoutPath).path())) << told.toStdString();
    EXPECT_TRUE(told.contains("\u201cBad layout\u201d: Its layout is damaged.")) << told.toStdString();
    EXPECT_TRUE(told.contains("Its info.plist cannot be read")) << told.toStdString();

    // Saving and rescanning never replaces the bad files, and the user is told once a run.
    session->account()->postForIdentifier(goodId)->setName("Still good");
    ASSERT_TRUE(saveAndWait());
    session->account()->loadInPostsIfNeeded();
    session = reopen();
    testing_support::drainEvents();
    EXPECT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(readFile(badInfoPath), QByteArray("<?xml version=\"1.0\"?><plist><dict><key>name"));
    EXPECT_EQ(readFile(badLayoutPath), QByteArray("\xff\xff\xff", 3));
    EXPECT_EQ(session->account()->currentPosts().size(), 1);
}

// The notice of posts that could not be opened comes once a run: what is told until it shows (the
// store's start, then the account opened next) joins it; what is told once it has shown (another
// account's posts, later in the run) makes no second notice.
TEST(SkippedPostsNotice, WhatIsToldUntilItShowsJoinsItAndNothingComesAfter)
{
    auto& alerts = testing_support::scriptedAlerts();
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    int asked = 0;
    PLRSkippedPostsNotice::Show held;
    PLRSkippedPostsNotice::setPresenter([&](PLRSkippedPostsNotice::Show show) {
        ++asked;
        held = std::move(show);
    });
    PLRSkippedPostsNotice::tell({{"/store/accounts", {}, "It is a link, not a folder.", "The folder of every account"}});
    testing_support::drainEvents();
    PLRSkippedPostsNotice::tell({{"/store/accounts/a/posts/p1", "Lisbon", "Its layout is damaged.", {}}});
    testing_support::drainEvents();
    EXPECT_EQ(asked, 1);
    ASSERT_TRUE(held);
    EXPECT_TRUE(alerts.shown().empty());   // the application shows it over its window, once up
    const PLRSkippedPostsNotice::Show first = std::exchange(held, {});
    first(nullptr);
    first(nullptr);   // (once is enough)
    ASSERT_EQ(alerts.shown().size(), 1u);
    const QString told = alerts.shown()[0].informativeText;
    EXPECT_TRUE(told.contains("The folder of every account")) << told.toStdString();
    EXPECT_TRUE(told.contains("\u201cLisbon\u201d: Its layout is damaged.")) << told.toStdString();

    PLRSkippedPostsNotice::tell({{"/store/accounts/b/posts/p2", "Porto", "Its info.plist cannot be read.", {}}});
    testing_support::drainEvents();
    if (held)
        held(nullptr);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(alerts.shown().size(), 1u);
}

TEST(Store, RescanAddsOnlyBundlesNotLoadedYet)
{
    PLRCoreManager::startManager();
    PLRUserSession* session = signIn();
    PLRPersistantPost* post = createPost(session, "Trip");
    ASSERT_TRUE(saveAndWait());
    PLRCoreManager::saveQueue().waitUntilIdle();

    // A bundle placed by the post importer.
    const QString copy = session->account()->postBundlePathForIdentifier("IMPORTED-1");
    QDir().mkpath(copy);
    QFile::copy(post->bundlePath() + "/layout", copy + "/layout");
    QVariantMap info = platform::plist::readDictionary(post->bundlePath() + "/info.plist", nullptr);
    info.insert("identifier", "IMPORTED-1");
    info.insert("name", "Trip import");
    ASSERT_TRUE(platform::plist::writeFile(copy + "/info.plist", info));
    QDir().mkpath(session->account()->postsFolderPath() + "/stray.partial");

    int changed = 0;
    QObject::connect(session->account(), &PLRPersistantAccount::currentPostsChanged, [&] { ++changed; });
    EXPECT_EQ(session->account()->loadInPostsIfNeeded(), 1);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(session->account()->postForIdentifier("IMPORTED-1")->name(), "Trip import");
    EXPECT_EQ(session->account()->loadInPostsIfNeeded(), 0);
    EXPECT_EQ(session->account()->currentPosts().size(), 2);
}

TEST(Store, AnAccountOfTheFirstVersionIsFoundByItsEmail)
{
    PLRPersistantStore::setUpStack();
    const QString byEmail = PLRPersistantStore::accountBundlePathForUserIdentifier(kEmail);
    EXPECT_TRUE(byEmail.endsWith("/ds/ann@example.com.plruser"));
    QDir().mkpath(byEmail + "/posts");
    ASSERT_TRUE(platform::plist::writeFile(byEmail + "/info.plist",
                                           QVariantMap{{"version", "1.0.0"}, {"firstName", "Old"}}));
    PLRUserSession* session = signIn();
    ASSERT_TRUE(session);
    EXPECT_EQ(session->account()->bundlePath(), byEmail);
    EXPECT_EQ(session->account()->firstName(), "Old");
    EXPECT_TRUE(session->account()->postBundlePathForIdentifier("X").startsWith(byEmail + "/posts/"));
    // Odd identifiers stay inside the store.
    EXPECT_FALSE(PLRPersistantStore::encodedName("../x").contains('/'));
    EXPECT_NE(PLRPersistantStore::encodedName(".."), "..");
}

TEST(Store, APostEmptiedOfItsBlocksLosesItsOldPreview)
{
    PLRCoreManager::startManager();
    PLRUserSession* session = signIn();
    ASSERT_TRUE(session);
    PLRPersistantPost* post = createPost(session, "Trip", 2);
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPEG");
    // The renderer draws posts with blocks and nothing for an empty layout.
    platform::HookGuard<PLRPersistantPost::PreviewProvider> guard(
        &PLRPersistantPost::setPreviewProvider, [&](const PLRPersistantPost& p) {
            return p.layout().sections_size() && p.layout().sections(0).blocks_size() ? jpeg : QByteArray();
        });
    ASSERT_TRUE(saveAndWait());
    const QString preview = session->account()->urlForPostBundleWithIdentifier(post->identifier()).toLocalFile() + "/preview.jpg";
    ASSERT_TRUE(QFileInfo(preview).isFile());
    EXPECT_FALSE(post->layoutPreview().isNull());

    post->layout().clear_sections();
    post->setHasChanges(true);
    ASSERT_TRUE(saveAndWait());
    EXPECT_FALSE(QFileInfo::exists(preview));
    EXPECT_TRUE(post->layoutPreview().isNull());
}

TEST(Store, APreviewIsRenderedOnlyWhenTheLayoutChanged)
{
    PLRCoreManager::startManager();
    PLRUserSession* session = signIn();
    ASSERT_TRUE(session);
    PLRPersistantPost* post = createPost(session, "Trip", 2);
    int renders = 0;
    platform::HookGuard<PLRPersistantPost::PreviewProvider> guard(
        &PLRPersistantPost::setPreviewProvider, [&](const PLRPersistantPost&) {
            ++renders;
            QImage picture(40, 30, QImage::Format_RGB32);
            picture.fill(Qt::darkBlue);
            QByteArray jpeg;
            QBuffer buffer(&jpeg);
            buffer.open(QIODevice::WriteOnly);
            picture.save(&buffer, "JPEG");
            return jpeg;
        });
    ASSERT_TRUE(saveAndWait());
    EXPECT_EQ(renders, 1);
    const QString preview = session->account()->urlForPostBundleWithIdentifier(post->identifier()).toLocalFile() + "/preview.jpg";
    ASSERT_TRUE(QFileInfo(preview).isFile());

    // Only the remote identifier (or the SEO text) changed: saved without a new render, and
    // the preview on disk stays.
    post->setRemoteIdentifier("remote-1");
    post->setSeoTitle("Hills");
    post->setHasChanges(true);
    ASSERT_TRUE(saveAndWait());
    EXPECT_EQ(renders, 1);
    EXPECT_TRUE(QFileInfo(preview).isFile());

    post->layout().mutable_sections(0)->mutable_blocks()->RemoveLast();
    post->setHasChanges(true);
    ASSERT_TRUE(saveAndWait());
    EXPECT_EQ(renders, 2);
}
