// The periodic and forced saves on a hand-driven clock, and the quit: backup question, saving
// window, last save, the session-length event, a failed save, a quit during the migration and
// the relaunch.

#include "ShellTestSupport.h"

#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantExporter.h"
#include "store/persistance-store/PLRPersistantStore.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "platform/NotificationCenter.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRUserSession.h"
#include "shell/PLRRelaunchHelper.h"
#include "shell/PLRShellNotifications.h"
#include "platform/Resets.h"

#include <QAction>
#include <QElapsedTimer>
#include <QMenu>
#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>

using namespace shell_test;

namespace {

int willSaveCount = 0;

void countWillSave(QObject* context)
{
    platform::NotificationCenter::defaultCenter().addObserver(
        context, QLatin1String(kPLR_NOTIFICATION_WILL_SAVE), [](const platform::Notification&) { ++willSaveCount; });
}

} // namespace

TEST_F(ShellTest, PeriodicSaveBailsWhenTooCloseAndKeepsOneRequestPending)
{
    prepareExistingStore();
    launch();
    QObject context;
    countWillSave(&context);
    willSaveCount = 0;

    scheduler->advance(299.0);
    app->performSave(false);
    EXPECT_EQ(countLines(QStringLiteral("Save period is too close, bailing")), 1);
    EXPECT_EQ(countLines(QStringLiteral("Will Save Now")), 0);
    EXPECT_EQ(willSaveCount, 0);
    EXPECT_EQ(scheduler->pending(), 1);
    EXPECT_DOUBLE_EQ(scheduler->secondsUntilNext(), 300.0);

    scheduler->advance(1.0);   // 300.0 s after the last save
    app->performSave(false);
    EXPECT_EQ(countLines(QStringLiteral("Will Save Now")), 1);
    EXPECT_EQ(app->timeSinceLastSave(), scheduler->now());

    // A forced save a second later posts the notification and saves anyway.
    scheduler->advance(1.0);
    app->performSave(true);
    EXPECT_EQ(willSaveCount, 1);
    EXPECT_EQ(countLines(QStringLiteral("Will Save Now")), 2);
    EXPECT_EQ(scheduler->pending(), 1);

    // The timer itself: nothing due at 299 s, a save at 300 s.
    scheduler->advance(299.0);
    EXPECT_EQ(countLines(QStringLiteral("Will Save Now")), 2);
    scheduler->advance(1.0);
    EXPECT_EQ(countLines(QStringLiteral("Will Save Now")), 3);
    EXPECT_EQ(willSaveCount, 1);
}

// A timer may fire a few milliseconds before its 300 s are up: that request saves (with the
// day's backup) instead of bailing and leaving the first save to the next request, 10 minutes in.
TEST_F(ShellTest, ThePeriodicSaveComesAtItsTimeWhenItsRequestIsAMomentEarly)
{
    prepareExistingStore();
    launch();
    scheduler->advance(300.0 - 0.038);
    app->performSave(false);
    EXPECT_EQ(countLines(QStringLiteral("Save period is too close, bailing")), 0);
    EXPECT_EQ(countLines(QStringLiteral("Will Save Now")), 1);
    EXPECT_DOUBLE_EQ(scheduler->secondsUntilNext(), 300.0);
    // The next one is measured from this save: 300 s on, within a second.
    scheduler->advance(299.9);
    EXPECT_EQ(countLines(QStringLiteral("Will Save Now")), 1);
    scheduler->advance(0.1);
    EXPECT_EQ(countLines(QStringLiteral("Will Save Now")), 2);
}

TEST_F(ShellTest, QuitAsksOnceSavesAndReportsTheSessionLength)
{
    prepareExistingStore();
    // The session's length is measured on the clock, which the waits below move on too (a
    // loaded machine needs more of their steps): at least the 42 s passed here, at most what the
    // clock moved from the launch to the exit.
    const QDateTime beforeLaunch = platform::Clock::shared().wallTime();
    launch();
    signInThroughForm(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    service.control("DELETE", QStringLiteral("/api/v1/events"));
    scheduler->advance(42.0);

    // "Yes": the quit is cancelled (the preferences open on their backup tab).
    QString shownTab;
    const platform::HookGuard<std::function<void(const QString&)>> presenter(
        &AppDelegate::setPreferencesPresenter, [&shownTab](const QString& tab) { shownTab = tab; });
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    app->terminate();
    EXPECT_FALSE(exited);
    EXPECT_EQ(shownTab, QStringLiteral("backup"));
    ASSERT_EQ(alerts().shown().size(), 1u);
    EXPECT_EQ(alerts().shown().front().messageText, QStringLiteral("Backup your Pellora database"));
    EXPECT_TRUE(alerts().shown().front().showsSuppressionButton);

    // The second quit of the run does not ask again: saving window, save, event, exit.
    bool quitSaveDone = false;
    QObject watcher;
    QObject::connect(app.get(), &AppDelegate::willExit, &watcher, [this, &quitSaveDone] {
        quitSaveDone = app->performedQuitSave();
    });
    app->terminate();
    EXPECT_TRUE(app->isQuitting());
    EXPECT_NE(app->savingWindowController(), nullptr);
    ASSERT_TRUE(waitFor([this] { return exited; }));
    EXPECT_TRUE(quitSaveDone);
    EXPECT_EQ(alerts().shown().size(), 1u);
    EXPECT_EQ(exitCode, 0);
    const QJsonArray events = service.control("GET", QStringLiteral("/api/v1/events")).toObject().value(QStringLiteral("events")).toArray();
    bool found = false;
    for (const QJsonValue& value : events) {
        const QJsonObject event = value.toObject();
        if (event.value(QStringLiteral("title")).toString() != QLatin1String("app_session"))
            continue;
        found = true;
        const QString text = event.value(QStringLiteral("text")).toString();
        const QJsonValue seconds = QJsonDocument::fromJson(text.toUtf8()).object().value(QStringLiteral("seconds_of_session"));
        ASSERT_TRUE(seconds.isDouble()) << text.toStdString();
        EXPECT_GE(seconds.toInteger(), 42) << text.toStdString();
        EXPECT_LE(seconds.toInteger(), beforeLaunch.secsTo(platform::Clock::shared().wallTime())) << text.toStdString();
    }
    EXPECT_TRUE(found) << QJsonDocument(events).toJson().toStdString();
}

TEST_F(ShellTest, SuppressedQuestionWithNoStaysOnTheSaveRoad)
{
    prepareExistingStore();
    signInDemo();
    launch();
    alerts().enqueue(platform::kAlertSecondButtonReturn, true);   // "No", "do not ask again"
    app->terminate();
    ASSERT_TRUE(waitFor([this] { return exited; }));
    EXPECT_TRUE(PLRDefaults::shouldSupressNotifyOfExport());
}

TEST_F(ShellTest, LearnMoreOfTheQuitQuestionOpensTheBackupArticleAndStays)
{
    prepareExistingStore();
    signInDemo();
    launch();
    alerts().enqueue(platform::kAlertThirdButtonReturn);   // "Learn More"
    app->terminate();
    EXPECT_FALSE(exited);
    EXPECT_FALSE(app->isQuitting());
    const auto& opened = testing_support::recordingWorkspace().openedURLs;
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened.front().scheme(), QStringLiteral("https"));
    EXPECT_EQ(opened.front().host(), PLRDefaults::supportURLForPath(QString()).host());
    EXPECT_EQ(opened.front().path(), QStringLiteral("/using-pellora/backing-up-your-pellora-catalog"));
    // Asked once a run: the next quit goes on to the save.
    app->terminate();
    ASSERT_TRUE(waitFor([this] { return exited; }));
    EXPECT_EQ(alerts().shown().size(), 1u);
}

// Nobody signed in, no store to back up: the quit asks nothing (and would still ask once someone
// has signed in).
TEST_F(ShellTest, QuitWithNobodySignedInDoesNotAskAboutABackup)
{
    prepareExistingStore();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isShowingAuth(); }));
    ASSERT_FALSE(PLRDefaults::shouldSupressNotifyOfExport());
    app->terminate();
    ASSERT_TRUE(waitFor([this] { return exited; }));
    EXPECT_TRUE(alerts().shown().empty());
    EXPECT_FALSE(app->performedBackupQuery());
    EXPECT_EQ(exitCode, 0);
}

TEST_F(ShellTest, UnansweredSessionEventStaysQueuedAndTheQuitGoesOn)
{
    prepareExistingStore();
    PLRDefaults::setShouldSupressNotifyOfExport(true);
    // A collector that takes the connection and never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    QList<QTcpSocket*> held;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] { held << silent.nextPendingConnection(); });
    platform::UserDefaults::standard().setString(QLatin1String(kPLRAnalyticCollectorURLKey),
                                                 QStringLiteral("http://127.0.0.1:%1").arg(silent.serverPort()));
    launch();
    app->setSessionEventTimeout(0.4);
    QElapsedTimer timer;
    timer.start();
    app->terminate();
    ASSERT_TRUE(waitFor([this] { return exited; }));
    EXPECT_LT(timer.elapsed(), 3000);
    bool queued = false;
    for (const PLRAnalyticEvent& event : PLRAnalyticManager::coreAnalyticManager().loadEvents())
        queued = queued || event.title() == QLatin1String("app_session");
    EXPECT_TRUE(queued);
}

TEST_F(ShellTest, FailedQuitSaveAsksToQuitAnywayOrCancel)
{
    prepareExistingStore();
    PLRDefaults::setShouldSupressNotifyOfExport(true);
    launch();
    signInThroughForm(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    PLRPersistantAccount* account = PLRCoreManager::userSession()->account();
    PLRPersistantPost* post = account->addPost(PLRPersistantPost::makeNew(QStringLiteral("Unsaved"), account));
    // A folder where the post's layout file goes: the save cannot write it.
    PLRCoreManager::saveQueue().waitUntilIdle();
    ASSERT_TRUE(QDir().mkpath(post->bundlePath() + QStringLiteral("/layout")));

    alerts().enqueue(platform::kAlertSecondButtonReturn);   // "Cancel"
    app->terminate();
    ASSERT_TRUE(waitFor([] { return !testing_support::scriptedAlerts().shown().empty(); }));
    EXPECT_EQ(alerts().shown().front().messageText, QStringLiteral("Pellora Could Not Save Your Changes"));
    EXPECT_EQ(alerts().shown().front().buttons, (QStringList{QStringLiteral("Quit Anyway"), QStringLiteral("Cancel")}));
    letTimePass(0.1);
    EXPECT_FALSE(exited);
    EXPECT_FALSE(app->isQuitting());

    alerts().enqueue(platform::kAlertFirstButtonReturn);   // "Quit Anyway"
    app->terminate();
    ASSERT_TRUE(waitFor([this] { return exited; }));
    EXPECT_EQ(alerts().shown().size(), 2u);
}

TEST_F(ShellTest, QuitDuringTheMigrationWaitsForItsEnd)
{
    PLRDefaults::setShouldSupressNotifyOfExport(true);
    makeApp();
    app->applicationWillFinishLaunching();
    app->updateController()->updater()->setFeedURL(QUrl());
    app->applicationDidFinishLaunching();
    ASSERT_TRUE(PLRMigrator::isRunning());
    app->terminate();
    EXPECT_FALSE(exited);
    ASSERT_TRUE(waitFor([this] { return exited; }));
    EXPECT_FALSE(PLRMigrator::isRunning());
    EXPECT_EQ(PLRMigrator::storedVersion(), QLatin1String(kPLRStoreCurrentVersion));
    EXPECT_EQ(app->baseWindowController(), nullptr);
}

TEST_F(ShellTest, RelaunchStartsTheHelperWithArgumentsAndCannotBeCancelled)
{
    prepareExistingStore();
    launch();
    ASSERT_FALSE(PLRDefaults::shouldSupressNotifyOfExport());   // the question would be due
    app->relaunchAfterDelay(2.0);
    // No time passes on the clock: the helper waits the whole delay.
    ASSERT_TRUE(testing_support::waitUntil([this] { return exited; }));
    EXPECT_TRUE(alerts().shown().empty());
    const auto& launches = testing_support::recordingWorkspace().launches;
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches.front().program, QCoreApplication::applicationFilePath());
    EXPECT_EQ(launches.front().arguments,
              PLRRelaunchHelper::arguments(QCoreApplication::applicationPid(), 2.0, QCoreApplication::applicationFilePath()));
}

TEST_F(ShellTest, SaveAndRelaunchSkipsTheSave)
{
    prepareExistingStore();
    PLRDefaults::setShouldSupressNotifyOfExport(true);
    launch();
    app->performSaveAndRelaunch();
    // No saving window: the session event, then the exit.
    EXPECT_EQ(app->savingWindowController(), nullptr);
    ASSERT_TRUE(waitFor([this] { return exited; }));
    ASSERT_EQ(testing_support::recordingWorkspace().launches.size(), 1u);
    EXPECT_EQ(testing_support::recordingWorkspace().launches.front().arguments.at(2), QStringLiteral("5.000"));
}

// Reset Cache in the folder menu: the open post's photo copies go, and Pellora restarts (after
// the alert that says so) without asking anything more.
TEST_F(ShellTest, ResetCacheClearsThePhotosCopiesAndRelaunches)
{
    prepareExistingStore();
    PLRDefaults::setShouldSupressNotifyOfExport(true);
    launch();
    signInThroughForm(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    const QString folder = testing_support::writePhotoFolder(testing_support::plainPhotos(2));
    const testing_support::OpenPost opened = testing_support::openPostOnFolder(folder, 2);
    ASSERT_TRUE(opened.ok);
    root()->presentPost(opened.manager->representedPost());
    ASSERT_TRUE(waitFor([&] { return app->baseWindowController()->postManager() == opened.manager; }));
    PLRImageManager::shared().waitUntilAllOperationsAreFinished();
    const auto copies = [&] {
        int count = 0;
        for (const PLRSourceImagePtr& image : opened.manager->images())
            count += QFileInfo::exists(image->cacheLocation() + QStringLiteral("/preview.jpg")) ? 1 : 0;
        return count;
    };
    ASSERT_EQ(copies(), 2);

    QAction* reset = nullptr;
    for (QAction* action : app->baseWindowController()->folderMenu()->actions())
        if (action->text() == QStringLiteral("Reset Cache..."))
            reset = action;
    ASSERT_NE(reset, nullptr);
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    reset->trigger();
    ASSERT_EQ(alerts().shown().size(), 1u);
    EXPECT_EQ(alerts().shown().front().messageText, QStringLiteral("Pellora Will Restart"));
    EXPECT_EQ(copies(), 0);
    // No time passes on the clock: the helper waits the whole delay.
    ASSERT_TRUE(testing_support::waitUntil([this] { return exited; }));
    EXPECT_EQ(alerts().shown().size(), 1u);
    const auto& launches = testing_support::recordingWorkspace().launches;
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches.front().program, QCoreApplication::applicationFilePath());
    EXPECT_EQ(launches.front().arguments,
              PLRRelaunchHelper::arguments(QCoreApplication::applicationPid(), 2.0, QCoreApplication::applicationFilePath()));
}

TEST(RelaunchHelper, RefusesBadArgumentsWithoutStartingAnything)
{
    QByteArray option(PLRRelaunchHelper::kOption), pid("12x"), delay("1"), program("/bin/true");
    char* bad[] = {const_cast<char*>("pellora"), option.data(), pid.data(), delay.data(), program.data()};
    EXPECT_TRUE(PLRRelaunchHelper::isInvocation(5, bad));
    EXPECT_EQ(PLRRelaunchHelper::run(5, bad), 2);
    QByteArray goodPid("1"), badDelay("-3");
    char* negative[] = {const_cast<char*>("pellora"), option.data(), goodPid.data(), badDelay.data(), program.data()};
    EXPECT_EQ(PLRRelaunchHelper::run(5, negative), 2);
    char* shortList[] = {const_cast<char*>("pellora"), option.data()};
    EXPECT_EQ(PLRRelaunchHelper::run(2, shortList), 2);
}
