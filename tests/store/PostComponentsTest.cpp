// The post manager's components: made when the post opens or on first use, destroyed newest
// first before the photo folder, and registered through the one typed slot that the reset
// registry empties.

#include "support/store/StoreFixtures.h"

#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "platform/Resets.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"

#include <gtest/gtest.h>

#include <QUrl>

#include <memory>

namespace {

// What the components saw, in order.
struct Journal {
    QStringList events;
};

// Component types: each records its making and its end, and whether the folder was still there.
template <int N>
struct Part {
    Part(Journal* into, PLRPostManager& owner) : journal(into), manager(&owner)
    {
        journal->events << QStringLiteral("made %1").arg(N);
    }
    ~Part()
    {
        journal->events << QStringLiteral("gone %1%2").arg(N).arg(QLatin1String(manager->sourceDirectory() ? "" : " without folder"));
    }
    Journal* journal;
    PLRPostManager* manager;
};
using First = Part<1>;
using Second = Part<2>;
using Third = Part<3>;

std::unique_ptr<PLRPostManager> newPost(const QString& title = QStringLiteral("Trip"))
{
    PLRUserSession* session = testing_support::signIn();
    auto manager = std::make_unique<PLRPostManager>(nullptr, session);
    const QString folder = testing_support::writePhotoFolder(testing_support::plainPhotos(1));
    EXPECT_TRUE(manager->createNewPostWithTitle(title, QUrl::fromLocalFile(folder)));
    return manager;
}

} // namespace

TEST(PostComponents, EagerOnesAreMadeWhenThePostOpensTheOthersOnFirstUseAndOnce)
{
    Journal journal;
    int madeSecond = 0;
    PLRPostManager::registerComponent<First>(
        [&](PLRPostManager& manager) { return std::make_unique<First>(&journal, manager); }, true);
    PLRPostManager::registerComponent<Second>([&](PLRPostManager& manager) {
        ++madeSecond;
        return std::make_unique<Second>(&journal, manager);
    });

    auto manager = newPost();
    EXPECT_NE(manager->existingComponent<First>(), nullptr);
    EXPECT_EQ(manager->existingComponent<Second>(), nullptr);
    EXPECT_EQ(journal.events, QStringList{"made 1"});

    Second* second = manager->component<Second>();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(manager->component<Second>(), second);
    EXPECT_EQ(manager->existingComponent<Second>(), second);
    EXPECT_EQ(madeSecond, 1);

    // A post manager without a post makes nothing.
    PLRPostManager empty(nullptr, nullptr);
    EXPECT_EQ(empty.component<Second>(), nullptr);
    EXPECT_EQ(madeSecond, 1);
}

TEST(PostComponents, GoNewestFirstWhileTheFolderIsStillThere)
{
    Journal journal;
    PLRPostManager::registerComponent<First>(
        [&](PLRPostManager& manager) { return std::make_unique<First>(&journal, manager); });
    PLRPostManager::registerComponent<Second>(
        [&](PLRPostManager& manager) { return std::make_unique<Second>(&journal, manager); });
    // The third asks for the first while it is made: the first is made first and goes last.
    PLRPostManager::registerComponent<Third>([&](PLRPostManager& manager) {
        EXPECT_NE(manager.component<First>(), nullptr);
        EXPECT_EQ(manager.component<Third>(), nullptr);   // its own type: null, no recursion
        return std::make_unique<Third>(&journal, manager);
    });

    auto manager = newPost();
    ASSERT_NE(manager->component<Second>(), nullptr);
    ASSERT_NE(manager->component<Third>(), nullptr);
    EXPECT_EQ(journal.events, (QStringList{"made 2", "made 1", "made 3"}));
    journal.events.clear();
    manager.reset();
    EXPECT_EQ(journal.events, (QStringList{"gone 3", "gone 1", "gone 2"}));
}

TEST(PostComponents, AFactoryMakingNoneIsAskedAgainAndUnregisteringStopsNewOnes)
{
    Journal journal;
    int asked = 0;
    bool make = false;
    PLRPostManager::registerComponent<First>([&](PLRPostManager& manager) -> std::unique_ptr<First> {
        ++asked;
        return make ? std::make_unique<First>(&journal, manager) : nullptr;
    });
    auto manager = newPost();
    EXPECT_EQ(manager->component<First>(), nullptr);
    EXPECT_EQ(manager->existingComponent<First>(), nullptr);
    make = true;
    EXPECT_NE(manager->component<First>(), nullptr);
    EXPECT_EQ(asked, 2);

    // Unregistered: posts opened after make none; one made already stays with its post.
    PLRPostManager::registerComponent<First>(nullptr);
    EXPECT_FALSE(PLRPostManager::hasComponentFactory(std::type_index(typeid(First*))));
    EXPECT_NE(manager->component<First>(), nullptr);
    auto later = newPost(QStringLiteral("Later"));
    EXPECT_EQ(later->component<First>(), nullptr);
    EXPECT_EQ(asked, 2);
}

TEST(PostComponents, TheResetRegistryForgetsEveryFactory)
{
    PLRPostManager::registerComponent<First>([](PLRPostManager&) { return std::unique_ptr<First>(); });
    ASSERT_TRUE(PLRPostManager::hasComponentFactory(std::type_index(typeid(First*))));
    platform::resets::run();
    EXPECT_FALSE(PLRPostManager::hasComponentFactory(std::type_index(typeid(First*))));
}
