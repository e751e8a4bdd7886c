// Start-up: the order of the timing lines with and without a migration, the main window's look,
// and bad input in the store and the settings.

#include "ShellTestSupport.h"

#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantStore.h"
#include "platform/Paths.h"
#include "platform/Alert.h"
#include "platform/Plist.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRUserSession.h"
#include "shell/PLRMigratorInfoViewController.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

using namespace shell_test;
using namespace platform::ui;

TEST_F(ShellTest, StartUpWithMigrationLogsInOrderAndStylesTheWindowAfterwards)
{
    launch();
    const int awfl = indexOfLine(QStringLiteral("TIME LOG (AWFL): "));
    const int awflEx = indexOfLine(QStringLiteral("TIME LOG (AWFL Ex): "));
    const int adfl = indexOfLine(QStringLiteral("TIME LOG (ADFL): "));
    const int adflEx = indexOfLine(QStringLiteral("TIME LOG (ADFL Ex): "));
    const int migration = indexOfLine(QStringLiteral("TIME LOG (Mig Comp En): "));
    ASSERT_GE(awfl, 0);
    EXPECT_LT(awfl, awflEx);
    EXPECT_LT(awflEx, adfl);
    EXPECT_LT(adfl, adflEx);
    // A fresh store is migrated from the event loop: the main window comes after step 2.
    EXPECT_LT(adflEx, migration);
    EXPECT_EQ(PLRMigrator::storedVersion(), QLatin1String(kPLRStoreCurrentVersion));
    EXPECT_EQ(PLRMigratorWindowController::current(), nullptr);

    // The look is given also though the window did not exist during step 2.
    PLRBaseWindowController* controller = app->baseWindowController();
    EXPECT_FALSE(controller->window()->isTitleVisible());
    EXPECT_EQ(controller->window()->backgroundColor(), Color::white());
    EXPECT_TRUE(controller->headerView()->transparentTitleBar());
    EXPECT_TRUE(controller->window()->isVisible());
    EXPECT_EQ(scheduler->pending(), 1);
    EXPECT_DOUBLE_EQ(scheduler->secondsUntilNext(), 300.0);
}

// What the store tells of as it starts, before the main window exists (a migration runs first),
// comes up once that window is on the screen, over it.
TEST_F(ShellTest, TheNoticeOfWhatTheStoreCannotOpenWaitsForTheMainWindowAndComesUpOverIt)
{
    // The folder of every account is a link: the store sets it aside as it is set up.
    QTemporaryDir elsewhere;
    const QString accounts = QDir(platform::paths::applicationSupport()).filePath(QStringLiteral("ds"));
    ASSERT_TRUE(QDir().mkpath(platform::paths::applicationSupport()));
    ASSERT_TRUE(QFile::link(elsewhere.path(), accounts));
    bool windowWasUp = false;
    alerts().onShown = [&](const platform::Alert&) {
        windowWasUp = app->baseWindowController() && app->baseWindowController()->window()->isVisible();
    };
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    launch();
    ASSERT_TRUE(waitFor([] { return !alerts().shown().empty(); }));
    ASSERT_EQ(alerts().shown().size(), 1u);
    EXPECT_EQ(alerts().shown().front().messageText, QStringLiteral("Some posts could not be opened"));
    EXPECT_TRUE(alerts().shown().front().informativeText.contains(QStringLiteral("The folder of every account: It is a link to ")));
    EXPECT_TRUE(windowWasUp);
    EXPECT_EQ(alerts().shownOver(0), app->baseWindowController()->window());
}

TEST_F(ShellTest, StartUpWithoutMigrationOpensTheWindowInsideStepTwo)
{
    prepareExistingStore();
    launch();
    const int adflEx = indexOfLine(QStringLiteral("TIME LOG (ADFL Ex): "));
    const int migration = indexOfLine(QStringLiteral("TIME LOG (Mig Comp En): "));
    ASSERT_GE(migration, 0);
    EXPECT_LT(migration, adflEx);
    EXPECT_TRUE(app->baseWindowController()->headerView()->transparentTitleBar());
}

// Once launched, the application sends its queued analytics events one at a time, every five
// seconds.
TEST_F(ShellTest, TheLaunchedApplicationSendsItsAnalyticsEveryFiveSeconds)
{
    prepareExistingStore();
    launch();
    PLRAnalyticManager& analytics = PLRAnalyticManager::coreAnalyticManager();
    analytics.addEvent(PLRAnalyticEvent::createEventWithTitle(QStringLiteral("first_check")));
    analytics.addEvent(PLRAnalyticEvent::createEventWithTitle(QStringLiteral("second_check")));
    const QString sending = QStringLiteral("dispatching event with ID ");
    scheduler->advance(4.9);
    EXPECT_EQ(countLines(sending), 0);
    scheduler->advance(0.1);
    EXPECT_EQ(countLines(sending), 1);
    ASSERT_TRUE(testing_support::waitUntil([&] { return !analytics.eventDispatchInProgress(); }));
    scheduler->advance(4.9);
    EXPECT_EQ(countLines(sending), 1);
    scheduler->advance(0.1);
    EXPECT_EQ(countLines(sending), 2);
}

TEST_F(ShellTest, DevelopmentEnvironmentSwitchesTheConstraintAid)
{
    prepareExistingStore();
    launch();
    EXPECT_TRUE(platform::UserDefaults::standard().boolForKey(
        QStringLiteral("NSConstraintBasedLayoutVisualizeMutuallyExclusiveConstraints")));
    app.reset();
    qunsetenv("env");
    // Without "env" the aid is removed again (and the location check runs: it is not installed).
    // The alert names the install location; its second button opens the help page about it.
    alerts().enqueue(platform::kAlertSecondButtonReturn);
    launch();
    EXPECT_FALSE(platform::UserDefaults::standard().hasKey(
        QStringLiteral("NSConstraintBasedLayoutVisualizeMutuallyExclusiveConstraints")));
    ASSERT_EQ(alerts().shown().size(), 1u);
    const QString location = AppDelegate::applicationFolders().first();
    EXPECT_EQ(alerts().shown().front().messageText, QStringLiteral("Pellora is not in ") + location);
    EXPECT_EQ(alerts().shown().front().informativeText,
              QStringLiteral("To allow Pellora to update you must move Pellora to ") + location
                  + QStringLiteral(". Go do this now, and then re-open Pellora."));
    EXPECT_EQ(alerts().shown().front().buttons,
              (QStringList{QStringLiteral("OK"), QStringLiteral("Why do I keep seeing this?")}));
    ASSERT_EQ(testing_support::recordingWorkspace().openedURLs.size(), 1u);
    EXPECT_EQ(testing_support::recordingWorkspace().openedURLs.front(),
              PLRDefaults::supportURLForPath(QStringLiteral(
                  "/downloads-and-choosing-your-plan/downloads/how-to-move-pellora-to-your-applications-folder")));
}

TEST_F(ShellTest, TheLocationAlertClosedWithoutAClickOpensNoPage)
{
    prepareExistingStore();
    qunsetenv("env");
    // The real alert, closed as a quit (or the window's close button) closes it while it is up.
    platform::AlertPresenter::setShared(std::make_unique<platform::QtAlertPresenter>());
    bool closed = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&closed] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()
                && box->text().startsWith(QStringLiteral("Pellora is not in "))) {
                box->reject();
                closed = true;
            }
    });
    closer.start(10);
    launch();
    closer.stop();
    // Back to the scripted alerts the other tests answer.
    platform::AlertPresenter::setShared(nullptr);
    (void)alerts();
    EXPECT_TRUE(closed);
    EXPECT_TRUE(testing_support::recordingWorkspace().openedURLs.empty());
}

TEST(ApplicationLocation, TheInstallPrefixAndTheUsersLocalBinAreApplicationFolders)
{
    EXPECT_TRUE(AppDelegate::isApplicationFolder(QStringLiteral("/usr/bin")));
    EXPECT_TRUE(AppDelegate::isApplicationFolder(QStringLiteral("/usr/local/bin/")));
    EXPECT_TRUE(AppDelegate::isApplicationFolder(QDir::homePath() + QStringLiteral("/.local/bin")));
    EXPECT_TRUE(AppDelegate::isApplicationFolder(AppDelegate::applicationFolders().first()));
    EXPECT_FALSE(AppDelegate::isApplicationFolder(QStringLiteral("/tmp")));
    EXPECT_FALSE(AppDelegate::isApplicationFolder(QDir::homePath() + QStringLiteral("/Downloads")));
}

TEST_F(ShellTest, UnreadableStoreAndWrongTypedSettingsStillStartAndKeepPosts)
{
    // A signed-in account with one post on disk.
    prepareExistingStore();
    service.useAsCustomHost();
    signInDemo();
    PLRUserSession* session = PLRCoreManager::userSession();
    auto post = PLRPersistantPost::makeNew(QStringLiteral("Kept post"), session->account());
    const QString postPath = session->account()->postBundlePathForIdentifier(post->identifier());
    session->account()->addPost(std::move(post));
    bool saved = false;
    PLRCoreManager::save([&saved](bool ok) { saved = ok; });
    ASSERT_TRUE(waitFor([&saved] { return saved; }));
    PLRCoreManager::setUserSession(nullptr);
    PLRCoreManager::saveQueue().waitUntilIdle();
    ASSERT_TRUE(QFileInfo::exists(postPath + QStringLiteral("/info.plist")));

    // Garbage in the store's version file and wrong types in the settings.
    QFile store(PLRMigrator::storeInfoPath());
    ASSERT_TRUE(store.open(QIODevice::WriteOnly | QIODevice::Truncate));
    store.write("\x00\x01 not a property list");
    store.close();
    auto& defaults = platform::UserDefaults::standard();
    defaults.setString(QStringLiteral("auto_layout_num_images"), QStringLiteral("many"));
    defaults.setString(QStringLiteral("present_gallery"), QStringLiteral("sideways"));
    defaults.setString(QStringLiteral("export_database_supress_notify"), QStringLiteral("[1, 2]"));
    defaults.synchronize();

    launch();
    EXPECT_TRUE(app->baseWindowController()->window()->isVisible());
    EXPECT_EQ(app->baseWindowController()->autoLayoutNumImagesToAdd(), 21);
    EXPECT_EQ(app->baseWindowController()->autoLayoutButton()->imageName(), QStringLiteral("wand-21"));
    // The store was brought up to date and nothing of it was lost.
    EXPECT_EQ(PLRMigrator::storedVersion(), QLatin1String(kPLRStoreCurrentVersion));
    EXPECT_TRUE(QFileInfo::exists(postPath + QStringLiteral("/info.plist")));
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    PLRPersistantAccount* account = PLRCoreManager::userSession()->account();
    ASSERT_EQ(account->currentPosts().size(), 1);
    EXPECT_EQ(account->currentPosts().front()->name(), QStringLiteral("Kept post"));
}

TEST_F(ShellTest, MigratorFailureIsToldAndStartUpGoesOn)
{
    // The application folder is a file: the store cannot be set up.
    QDir().mkpath(QFileInfo(platform::paths::applicationSupport()).path());
    QFile blocker(platform::paths::applicationSupport());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.write("in the way");
    blocker.close();
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    launch();
    EXPECT_TRUE(app->baseWindowController()->window()->isVisible());
    ASSERT_EQ(alerts().shown().size(), 1u);
    EXPECT_EQ(alerts().shown().front().messageText, QStringLiteral("Pellora Could Not Update Its Store"));
    EXPECT_TRUE(alerts().shown().front().informativeText.contains(QDir::toNativeSeparators(platform::paths::logDirectory())));
}
