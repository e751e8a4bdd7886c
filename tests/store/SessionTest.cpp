#include "StoreTestHelpers.h"
#include "TestSupport.h"

#include "platform/Clock.h"
#include "platform/Keychain.h"
#include "platform/NotificationCenter.h"
#include "platform/Plist.h"
#include "platform/Resets.h"
#include "store/session/PLRKeyChain.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRPostPublishing.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>

using namespace store_test;

TEST(Session, KeychainItemsMakeTheSessionAndSignOutRemovesThem)
{
    PLRCoreManager::startManager();
    EXPECT_EQ(PLRCoreManager::userSession(), nullptr);
    EXPECT_EQ(PLRUserSession::makeFromKeychain(), nullptr);

    PLRUserSession::setKeychainServiceNameProvider([] { return QStringLiteral("com.localhost.4000"); });
    PLRUserSession* session = signIn();
    ASSERT_TRUE(session);
    EXPECT_EQ(PLRKeyChain::itemForKey("user_id", "com.localhost.4000").value_or(""), kUserId);
    EXPECT_EQ(session->password(), "secret");
    EXPECT_EQ(session->userIdentifier(), kUserId);

    EXPECT_TRUE(PLRUserSession::saveJWT("token-2"));
    EXPECT_EQ(session->jwt(), "token-2");
    EXPECT_EQ(PLRKeyChain::itemForKey("jwt", "com.localhost.4000").value_or(""), "token-2");

    int loggedOut = 0;
    QObject context;
    platform::NotificationCenter::defaultCenter().addObserver(
        &context, "userSessionLoggedOut", [&](const platform::Notification& n) {
            EXPECT_EQ(n.object, nullptr);
            ++loggedOut;
        });
    EXPECT_TRUE(PLRCoreManager::signOut());
    EXPECT_EQ(loggedOut, 1);
    EXPECT_EQ(PLRCoreManager::userSession(), nullptr);
    for (const char* key : {"jwt", "email", "password", "user_id"})
        EXPECT_FALSE(PLRKeyChain::itemForKey(key, "com.localhost.4000").has_value()) << key;
    // Another host's items are another sign-in.
    PLRUserSession::setKeychainServiceNameProvider({});
    EXPECT_EQ(PLRUserSession::keychainServiceName(), "com.quenfield.pellora.keychain");
}

TEST(Session, SignInGoesThroughTheRegisteredClient)
{
    EXPECT_FALSE(PLRCoreManager::signInUserWithEmail("a@b.c", "pw", {}));
    const platform::HookGuard<PLRCoreManager::SignInHandler> handler(
        &PLRCoreManager::setSignInHandler,
        [](const QString& email, const QString& password, PLRCoreManager::SignInCompletion completion) {
            PLRCoreManager::completeSignIn(email, password, "u-7", "jwt-7");
            completion(true, QVariant::fromValue(PLRCoreManager::userSession()), nullptr, {});
            return true;
        });
    PLRUserSession* received = nullptr;
    EXPECT_TRUE(PLRCoreManager::signInUserWithEmail("a@b.c", "pw",
        [&](bool success, const QVariant& session, const PLRServiceError*, const platform::Error&) {
            EXPECT_TRUE(success);
            received = session.value<PLRUserSession*>();
        }));
    ASSERT_TRUE(received);
    EXPECT_EQ(received, PLRCoreManager::userSession());
    EXPECT_EQ(received->userIdentifier(), "u-7");
    EXPECT_EQ(received->email(), "a@b.c");
}

TEST(Session, PostsSortAndFilterIgnoringCaseAndDiacritics)
{
    PLRUserSession* session = signIn();
    for (const char* name : {"zebra", "Élan", "apple", "Café Paris", "cafe bar"})
        createPost(session, QString::fromUtf8(name));
    const auto names = [](const QList<PLRPersistantPost*>& posts) {
        QStringList list;
        for (auto* post : posts)
            list << post->name();
        return list;
    };
    // Case-insensitive, character by character.
    EXPECT_EQ(names(session->currentPostsSortedByKeys({"name"}, true, {})),
              QStringList({"apple", "cafe bar", "Café Paris", "zebra", "Élan"}));
    EXPECT_EQ(names(session->currentPostsSortedByKeys({"name"}, false, {})).value(0), "Élan");
    EXPECT_EQ(names(session->currentPostsSortedByKeys({"name"}, true, "CAFÉ")),
              QStringList({"cafe bar", "Café Paris"}));
    EXPECT_EQ(names(session->currentPostsSortedByKeys({"name"}, true, "elan")), QStringList({"Élan"}));
    EXPECT_TRUE(session->currentPostsSortedByKeys({"name"}, true, "nothing").isEmpty());
    // Numbers in names count by their value.
    for (const char* name : {"Trip copy 10", "Trip copy 2", "Trip copy 1", "trip copy 02b", "Trip"})
        createPost(session, QString::fromUtf8(name));
    EXPECT_EQ(names(session->currentPostsSortedByKeys({"name"}, true, "trip")),
              QStringList({"Trip", "Trip copy 1", "Trip copy 2", "trip copy 02b", "Trip copy 10"}));
    EXPECT_LT(PLRUserSession::compareNames("a9", "a10"), 0);
    EXPECT_GT(PLRUserSession::compareNames("a10", "a9"), 0);
    EXPECT_EQ(PLRUserSession::compareNames("A7", "a007"), 0);
    EXPECT_LT(PLRUserSession::compareNames("a", "a1"), 0);
    // Equal dates fall through to the next key.
    const auto byDate = names(session->currentPostsSortedByKeys({"creationDate", "name"}, true, {}));
    EXPECT_EQ(byDate.size(), 10);
}

TEST(Session, DuplicateAndImportNames)
{
    PLRUserSession* session = signIn();
    PLRPersistantAccount* account = session->account();
    createPost(session, "Trip");
    EXPECT_EQ(PLRPersistantPost::duplicatePostNameForName("Trip", account, false), "Trip copy");
    EXPECT_EQ(PLRPersistantPost::duplicatePostNameForName("Trip", account, true), "Trip import");
    createPost(session, "Trip copy");
    createPost(session, "Trip copy 1");
    createPost(session, "Trip import");
    EXPECT_EQ(PLRPersistantPost::duplicatePostNameForName("Trip", account, false), "Trip copy 2");
    EXPECT_EQ(PLRPersistantPost::duplicatePostNameForName("Trip", account, true), "Trip import 1");
}

TEST(Session, DuplicateCopiesTheBundleUnderANewIdentifier)
{
    PLRCoreManager::startManager();
    PLRUserSession* session = signIn();
    PLRPersistantPost* post = createPost(session, "Trip", 5);
    post->setRemoteIdentifier("remote-1");
    ASSERT_TRUE(saveAndWait());
    platform::plist::writeFile(post->bundlePath() + "/location.plist", QVariantMap{{"identifier", "LOC-1"}});
    post->layout().set_padding(33);   // unsaved edit: the copy must have it

    platform::Error error;
    PLRPersistantPost* copy = session->duplicatePost(post, &error);
    ASSERT_TRUE(copy) << error.toString().toStdString();
    EXPECT_EQ(copy->name(), "Trip copy");
    EXPECT_NE(copy->identifier(), post->identifier());
    EXPECT_TRUE(copy->remoteIdentifier().isEmpty());
    EXPECT_EQ(copy->layout().padding(), 33);
    EXPECT_EQ(copy->layout().sections(0).blocks_size(), post->layout().sections(0).blocks_size());
    EXPECT_TRUE(QFileInfo(copy->bundlePath() + "/info.plist").isFile());
    EXPECT_NE(platform::plist::readDictionary(copy->bundlePath() + "/location.plist", nullptr).value("identifier"),
              "LOC-1");
    EXPECT_EQ(session->account()->currentPosts().size(), 2);
    EXPECT_EQ(session->duplicatePost(nullptr, &error), nullptr);
    EXPECT_TRUE(error.isValid());
}

TEST(Session, ADeletedPostStaysDeleted)
{
    PLRCoreManager::startManager();
    PLRUserSession* session = signIn();
    PLRPersistantPost* post = createPost(session, "Doomed");
    PLRPostManager* manager = session->postManagerForPost(post);
    EXPECT_EQ(session->postManagerForPost(post), manager);
    ASSERT_TRUE(saveAndWait());
    const QString bundle = post->bundlePath();
    post->setName("Edited after the save");

    QPointer<PLRPostManager> guard(manager);
    session->deletePost(post);
    EXPECT_TRUE(session->account()->currentPosts().isEmpty());
    ASSERT_TRUE(saveAndWait());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(guard);                         // the manager went with the post
    EXPECT_FALSE(QFileInfo::exists(bundle));
    EXPECT_TRUE(session->postManagers().empty());
}

namespace {

// A publisher that is busy until told otherwise and answers deletes by hand.
class FakePublisher : public PLRPostPublishing {
public:
    void addIdleCompletionBlock(IdleBlock block) override
    {
        if (idle)
            block(*this);
        else
            waiting.push_back(std::move(block));
    }
    bool deletePublishedPost(DeleteCompletion completion) override
    {
        ++deletes;
        if (!canSend)
            return false;
        pending = std::move(completion);
        return true;
    }
    void becomeIdle()
    {
        idle = true;
        auto blocks = std::move(waiting);
        waiting.clear();
        for (auto& block : blocks)
            block(*this);
    }

    bool idle = false;
    bool canSend = true;
    int deletes = 0;
    std::vector<IdleBlock> waiting;
    DeleteCompletion pending;
};

} // namespace

TEST(Session, APublishedPostIsDeletedOnlyAfterTheRemoteDelete)
{
    PLRCoreManager::startManager();
    PLRUserSession* session = signIn();
    PLRPersistantPost* post = createPost(session, "Live");
    post->setRemoteIdentifier("r-1");
    FakePublisher publisher;
    session->postManagerForPost(post)->setPostPublisher(&publisher);

    session->deletePost(post);
    EXPECT_EQ(publisher.deletes, 0);   // waits until the publisher is idle
    publisher.becomeIdle();
    ASSERT_TRUE(publisher.pending);
    publisher.pending(false);
    EXPECT_EQ(session->account()->currentPosts().size(), 1);   // remote delete failed: kept
    session->deletePost(post);
    publisher.pending(true);
    EXPECT_TRUE(session->account()->currentPosts().isEmpty());

    PLRPersistantPost* other = createPost(session, "Other");
    other->setRemoteIdentifier("r-2");
    session->postManagerForPost(other)->setPostPublisher(&publisher);
    session->deleteRemotePost(other);
    publisher.pending(false);
    EXPECT_EQ(other->remoteIdentifier(), "r-2");   // still on the website: kept
    session->deleteRemotePost(other);
    publisher.pending(true);
    EXPECT_TRUE(other->remoteIdentifier().isEmpty());
    EXPECT_EQ(session->account()->currentPosts().size(), 1);

    // Nothing could be sent: kept, unless the remote post turned out to be gone already.
    other->setRemoteIdentifier("r-3");
    publisher.canSend = false;
    session->deletePost(other);
    EXPECT_EQ(session->account()->currentPosts().size(), 1);

    // Without a publisher a published post is kept, with a log line.
    session->postManagerForPost(other)->setPostPublisher(nullptr);
    LogCapture log;
    session->deletePost(other);
    EXPECT_EQ(session->account()->currentPosts().size(), 1);
    EXPECT_TRUE(log.contains("r-3"));
}

TEST(Session, SaveReportsFailureAndKeepsThePostDirty)
{
    PLRCoreManager::startManager();
    bool called = false;
    EXPECT_TRUE(PLRCoreManager::save([&](bool ok) { called = ok; }));
    EXPECT_TRUE(called);   // no session: at once, on the caller's thread

    PLRUserSession* session = signIn();
    PLRPersistantPost* post = createPost(session, "Blocked");
    PLRCoreManager::saveQueue().waitUntilIdle();   // the new post's first write
    // A folder where the layout file should be: the write of the changed layout cannot happen.
    ASSERT_TRUE(QFile::remove(post->bundlePath() + "/layout") && QDir().mkpath(post->bundlePath() + "/layout"));
    EXPECT_FALSE(saveAndWait());
    testing_support::drainEvents();
    EXPECT_TRUE(post->hasChanges());
    ASSERT_TRUE(QDir(post->bundlePath() + "/layout").removeRecursively());
    EXPECT_TRUE(saveAndWait());
    EXPECT_TRUE(QFileInfo(post->bundlePath() + "/layout").isFile());
}

// Edits of a post's own fields are written 3 s after the last one, but never later than 4 s
// after the first unsaved one, on the shared clock: whatever the rhythm of the edits, none older
// than 5 s is missing from the disk.
TEST(Session, EditsAreSavedSecondsAfterTheLastOneAndNoLaterThanTheLongestWait)
{
    platform::ManualClock& clock = platform::ManualClock::install();
    PLRCoreManager::startManager();
    PLRUserSession* session = signIn();
    PLRPersistantPost* post = createPost(session, "Draft");
    ASSERT_TRUE(saveAndWait());
    const QString info = post->bundlePath() + "/info.plist";
    auto savedName = [&] {
        testing_support::drainEvents();
        PLRCoreManager::saveQueue().waitUntilIdle();
        return platform::plist::readDictionary(info, nullptr).value("name").toString();
    };
    ASSERT_EQ(savedName(), "Draft");

    // Each edit puts the save off to 3 s after it.
    post->setName(QStringLiteral("One"));
    clock.advance(2.9);
    EXPECT_EQ(savedName(), "Draft");
    post->setName(QStringLiteral("Two"));
    clock.advance(1.0);
    EXPECT_EQ(savedName(), "Draft");
    clock.advance(0.15);   // 4 s after "One", the first unsaved edit
    EXPECT_EQ(savedName(), "Two");

    // Edits that keep coming (typing) are written 4 s after the first of them all the same.
    for (const char* name : {"a", "b", "c", "d"}) {
        post->setName(QString::fromLatin1(name));
        clock.advance(0.9);
    }
    EXPECT_EQ(savedName(), "Two");
    clock.advance(0.5);
    EXPECT_EQ(savedName(), "d");

    // Any rhythm: every 0.1 s, the edits made more than 5 s ago are on the disk.
    int edit = 0;
    for (const double interval : {0.2, 0.7, 1.3, 2.9, 3.0, 3.4, 4.1, 5.5}) {
        QList<QPair<double, int>> made;   // (time, number) of each edit
        double time = 0.0;
        double nextEdit = 0.0;
        while (time < 16.0) {
            if (time >= nextEdit - 1e-9) {
                post->setName(QStringLiteral("edit %1").arg(++edit));
                made.append({time, edit});
                nextEdit += interval;
            }
            clock.advance(0.1);
            time += 0.1;
            const QString saved = savedName();
            const int savedNumber = saved.startsWith("edit ") ? saved.mid(5).toInt() : 0;
            for (const auto& [at, number] : std::as_const(made)) {
                if (time - at > 5.0 + 1e-9) {
                    ASSERT_GE(savedNumber, number) << "every " << interval << " s, at " << time << " s";
                }
            }
        }
        clock.advance(10.0);
    }
}
