// The shell's smaller parts: the migrator progress view, the instance channel, the crash
// reporter, window placement, the updater's hooks and the files handed to the application.

#include "ShellTestSupport.h"
#include "shell/prefs/PLRPreferencesWindowController.h"

#include "platform/Paths.h"
#include "shell/PLRAuthViewController.h"
#include "shell/PLRBackupProgressWindowController.h"
#include "shell/PLRCrashReporter.h"
#include "shell/PLRInstanceChannel.h"
#include "shell/PLRMigratorInfoViewController.h"
#include "store/migrators/PLRMigrator.h"
#include "shell/PLRWindowPlacement.h"
#include "shell/PLRUpdater.h"
#include "services/web-services/PLRWebServiceHost.h"
#include "store/session/PLRDefaults.h"
#include "platform/Resets.h"

#include <QDir>
#include <QWindow>
#include <QLocalSocket>
#include <QThread>

#include <csignal>
#include <thread>

using namespace shell_test;

namespace {

class Step : public PLRMigratorVersion {
public:
    QString version() const override { return QStringLiteral("9.9.9"); }
    void perform(Completion done) override { done(true); }
};

} // namespace

TEST(MigratorView, MirrorsOneStepAtATimeOnTheMainThread)
{
    PLRMigratorInfoViewController controller;
    controller.view();
    const QString initialTitle = controller.titleLabel()->stringValue();
    Step first, second;
    controller.setVersion(&first);
    // Nothing is applied when observation starts; the second bar waits for its flag.
    EXPECT_EQ(controller.titleLabel()->stringValue(), initialTitle);
    EXPECT_TRUE(controller.subInfo()->isHidden());
    first.setSubProgress(0.5);
    EXPECT_TRUE(controller.subInfo()->isHidden());
    first.setStageNeedsSubProgress(true);
    EXPECT_FALSE(controller.subInfo()->isHidden());
    first.setReasonTitle(QStringLiteral("Moving posts"));
    first.setStageProgress(0.25);
    EXPECT_EQ(controller.titleLabel()->stringValue(), QStringLiteral("Moving posts"));
    EXPECT_DOUBLE_EQ(controller.stageProgressIndicator()->progressAmount(), 25.0);
    // Another key path changes nothing.
    controller.observeValueForKeyPath(QStringLiteral("version"));
    EXPECT_EQ(controller.titleLabel()->stringValue(), QStringLiteral("Moving posts"));

    // The second step takes over: the first no longer reaches the view.
    controller.setVersion(&second);
    first.setReasonTitle(QStringLiteral("stale"));
    EXPECT_EQ(controller.titleLabel()->stringValue(), QStringLiteral("Moving posts"));
    // A change made on another thread arrives on the main thread with its value.
    std::thread worker([&second] { second.setStageMessage(QStringLiteral("From a worker")); });
    worker.join();
    EXPECT_EQ(controller.stageInfo()->stringValue(), QString());
    ASSERT_TRUE(testing_support::waitUntil([&controller] { return controller.stageInfo()->stringValue() == QLatin1String("From a worker"); }));
}

namespace {

// What a step saw when it began; kept apart from the step, which the migrator deletes when done.
struct StepSeen {
    bool performed = false;
    bool windowAtStart = false;
};

// A step that records whether its window was up when it began, and may wait to be finished.
class ObservedStep : public PLRMigratorVersion {
public:
    ObservedStep(QString version, bool finishAtOnce, std::shared_ptr<StepSeen> seenBy)
        : seen(std::move(seenBy)), m_version(std::move(version)), m_finishAtOnce(finishAtOnce) {}
    QString version() const override { return m_version; }
    void perform(Completion done) override
    {
        seen->performed = true;
        seen->windowAtStart = PLRMigratorWindowController::current() != nullptr;
        setReasonTitle(QStringLiteral("Moving posts"));
        setStageMessage(QStringLiteral("Copying"));
        setStageProgress(0.1);
        if (m_finishAtOnce)
            done(true);
        else
            finish = std::move(done);
    }
    std::shared_ptr<StepSeen> seen;
    Completion finish;

private:
    QString m_version;
    bool m_finishAtOnce;
};

// Runs one step as the application delegate does: the window is dismissed on completion.
std::shared_ptr<StepSeen> runStep(ObservedStep*& observed, const QString& version, bool finishAtOnce, bool* completed)
{
    auto seen = std::make_shared<StepSeen>();
    auto step = std::make_unique<ObservedStep>(version, finishAtOnce, seen);
    observed = step.get();
    PLRMigrator::Steps steps;
    steps.push_back(std::move(step));
    PLRMigrator::runMigratorIfNeeded(
        [completed](bool) {
            PLRMigratorWindowController::dismiss();
            *completed = true;
        },
        std::move(steps));
    return seen;
}

} // namespace

TEST(MigratorWindow, ShowsEachStepFromItsStartAndGoesWhenTheMigrationEnds)
{
    testing_support::installShellLibraries();

    // Even a step that finishes at once is shown before it runs, and the window goes with it.
    ObservedStep* quick = nullptr;
    bool quickDone = false;
    const auto quickSeen = runStep(quick, QStringLiteral("9.9.1"), true, &quickDone);
    ASSERT_TRUE(testing_support::waitUntil([&quickDone] { return quickDone; }));
    EXPECT_TRUE(quickSeen->performed);
    EXPECT_TRUE(quickSeen->windowAtStart);
    EXPECT_EQ(PLRMigratorWindowController::current(), nullptr);

    // A long step has its window from its start; the window follows what the step sets.
    ObservedStep* slow = nullptr;
    bool slowDone = false;
    const auto slowSeen = runStep(slow, QStringLiteral("9.9.2"), false, &slowDone);
    ASSERT_TRUE(testing_support::waitUntil([&slowSeen] { return slowSeen->performed; }));
    EXPECT_TRUE(slowSeen->windowAtStart);
    ASSERT_NE(PLRMigratorWindowController::current(), nullptr);
    EXPECT_TRUE(PLRMigratorWindowController::current()->window()->isVisible());
    PLRMigratorInfoViewController* content = PLRMigratorWindowController::current()->contentViewController();
    EXPECT_EQ(content->version(), slow);
    slow->setStageProgress(0.5);
    EXPECT_DOUBLE_EQ(content->stageProgressIndicator()->progressAmount(), 50.0);
    EXPECT_TRUE(content->subInfo()->isHidden());
    slow->setStageMessage(QStringLiteral("Almost done"));
    EXPECT_EQ(content->stageInfo()->stringValue(), QStringLiteral("Almost done"));
    // The completion may delete the step: it is taken out of it first.
    PLRMigratorVersion::Completion done = std::move(slow->finish);
    done(true);
    ASSERT_TRUE(testing_support::waitUntil([&slowDone] { return slowDone; }));
    EXPECT_EQ(PLRMigratorWindowController::current(), nullptr);
}

TEST(InstanceChannel, HandsArgumentsToTheRunningInstanceAndRefusesGarbage)
{
    const QString name = QStringLiteral("pellora-test-%1").arg(QCoreApplication::applicationPid());
    PLRInstanceChannel channel(name);
    ASSERT_TRUE(channel.listen());
    QStringList received;
    QObject::connect(&channel, &PLRInstanceChannel::argumentsReceived, [&received](const QStringList& a) { received = a; });
    auto sent = PLRInstanceChannel::HandOver::Gone;
    std::thread client([&] {
        sent = PLRInstanceChannel::handOver(name, {QStringLiteral("/tmp/a b.ppost")}, [] { return true; }, 50);
    });
    ASSERT_TRUE(testing_support::waitUntil([&received] { return !received.isEmpty(); }));
    client.join();
    EXPECT_EQ(sent, PLRInstanceChannel::HandOver::Taken);
    EXPECT_EQ(received, QStringList{QStringLiteral("/tmp/a b.ppost")});

    // A message that is not a list of strings, or too long, is dropped.
    received.clear();
    QLocalSocket socket;
    socket.connectToServer(name);
    ASSERT_TRUE(socket.waitForConnected(1000));
    QByteArray garbage("\x00\x00\x00\x05{\"a\":", 10);
    socket.write(garbage);
    socket.flush();
    QLocalSocket huge;
    huge.connectToServer(name);
    ASSERT_TRUE(huge.waitForConnected(1000));
    huge.write(QByteArray("\x7f\xff\xff\xff", 4));
    huge.flush();
    EXPECT_TRUE(testing_support::holdsFor([&] { return received.isEmpty(); }, 200));

    // Nobody listening, and the instance gone: the start goes on by itself.
    EXPECT_EQ(PLRInstanceChannel::handOver(name + QStringLiteral("-none"), {}, [] { return false; }, 50),
              PLRInstanceChannel::HandOver::Gone);
    EXPECT_EQ(PLROpenableArguments({QStringLiteral("pellora"), QStringLiteral("--verbose"), QStringLiteral("post.ppost"),
                                    QStringLiteral("file:///tmp/b.plrbackup"), QStringLiteral("pellora://open")},
                                   QStringLiteral("/home/u")),
              (QStringList{QStringLiteral("/home/u/post.ppost"), QStringLiteral("/tmp/b.plrbackup"), QStringLiteral("pellora://open")}));
}

TEST(CrashReporter, EndpointByBundleIdentifierAndAReportOnAFatalSignal)
{
    const QString release = PLRCrashReporter::dsnForBundleIdentifier(QStringLiteral("com.quenfield.pellora"));
    const QString other = PLRCrashReporter::dsnForBundleIdentifier(QStringLiteral("com.quenfield.PelloraBeta"));
    EXPECT_TRUE(release.contains(QStringLiteral("5d0c2a7e91f34b6a8c2e7d1f0b9a3c64:c47e19b2d05a4f83a6e1b7c9024d5f1e@")));
    EXPECT_TRUE(release.endsWith(QStringLiteral("/1121920")));
    EXPECT_TRUE(other.contains(QStringLiteral("a93f6e0d2b7c4185b0d4e2f7c6a1938b@")));
    EXPECT_TRUE(other.endsWith(QStringLiteral("/1237057")));

    PLRCrashReporter broken;
    platform::Error error;
    EXPECT_FALSE(broken.initWithDsn(QStringLiteral("http://key@host/not-a-number"), &error));
    EXPECT_TRUE(error.isValid());
    EXPECT_FALSE(broken.startCrashHandler(&error));

    // The dying child runs this test again from the start: it takes the parent's folder. The
    // parent clears it again at the end, so that a repeated run uses its own fresh home.
    const bool parent = !qEnvironmentVariableIsSet("PLR_CRASH_TEST_FOLDER");
    if (parent)
        qputenv("PLR_CRASH_TEST_FOLDER", (testing_support::testHome() + QStringLiteral("/crash")).toUtf8());
    struct ClearFolder {
        bool own;
        ~ClearFolder()
        {
            if (own)
                qunsetenv("PLR_CRASH_TEST_FOLDER");
        }
    } const clearFolder{parent};
    const QString folder = qEnvironmentVariable("PLR_CRASH_TEST_FOLDER");
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            PLRCrashReporter reporter;
            platform::Error e;
            reporter.initWithDsn(other, &e);
            reporter.startCrashHandler(&e, folder);
            std::raise(SIGSEGV);
        },
        ::testing::KilledBySignal(SIGSEGV), "");
    const QStringList reports = QDir(folder).entryList({QStringLiteral("pellora-crash-*.log")}, QDir::Files);
    ASSERT_EQ(reports.size(), 1);
    QFile report(folder + QLatin1Char('/') + reports.front());
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QByteArray text = report.readAll();
    EXPECT_TRUE(text.contains("Signal: SIGSEGV (11)"));
    EXPECT_TRUE(text.contains("project 1237057"));
    EXPECT_TRUE(text.contains("Call stack:"));
}

TEST(WindowPlacement, CentresWithinTheAvailableArea)
{
    // A second screen to the right whose available area starts below a panel.
    const QRectF available(1920, 40, 1600, 960);
    EXPECT_EQ(PLRWindowPlacement::centredFrame(QSizeF(1280, 800), available), QRectF(1920 + 160, 40 + 80, 1280, 800));
    // A frame larger than the area is shrunk to it.
    EXPECT_EQ(PLRWindowPlacement::centredFrame(QSizeF(3000, 2000), available), available);
}

// The backup export's progress window belongs to the window the export was started from: the
// window manager keeps it above that one.
TEST_F(ShellTest, BackupProgressWindowStaysAboveItsWindow)
{
    prepareExistingStore();
    launch();
    platform::ui::Window* main = app->baseWindowController()->window();
    main->activateWindow();
    ASSERT_TRUE(waitFor([main] { return QApplication::activeWindow() == main; }));
    PLRBackupProgressWindowController progress(QStringLiteral("/tmp/backups/Pellora.plrbackup"));
    progress.showWindow();
    ASSERT_NE(progress.window()->windowHandle(), nullptr);
    EXPECT_EQ(progress.window()->windowHandle()->transientParent(), main->windowHandle());
    progress.close();
}

// Import Backup from Preferences: its question and then its folder chooser belong to Preferences.
// (The chooser was left to the window with the keyboard, which right after the question has closed
// may be none yet: it then belonged to no window of ours.)
TEST_F(ShellTest, ImportBackupFromPreferencesAsksOverPreferences)
{
    prepareExistingStore();
    signInDemo();
    launch();
    app->showPrefs();
    PLRPreferencesWindowController* prefs = app->settingsWindowController();
    ASSERT_NE(prefs, nullptr);
    prefs->changeTabForIdentifier(QStringLiteral("backup"));
    alerts().enqueue(platform::kAlertFirstButtonReturn);   // "Proceed"
    testing_support::scriptedPanels().enqueue(std::nullopt);   // the chooser cancelled
    prefs->contentViewController()->importBackup();
    ASSERT_EQ(alerts().shown().size(), 1u);
    EXPECT_EQ(alerts().shown().front().messageText, QStringLiteral("Import Backup"));
    EXPECT_EQ(alerts().shownOver(0), prefs->window());
    ASSERT_EQ(testing_support::scriptedPanels().requests().size(), 1u);
    EXPECT_EQ(testing_support::scriptedPanels().requests().front().title, QStringLiteral("Import Backup"));
    EXPECT_EQ(testing_support::scriptedPanels().askedOver(0), prefs->window());
}

TEST_F(ShellTest, UpdaterHooksAndOpenedFiles)
{
    prepareExistingStore();
    signInDemo(QStringLiteral("77"));
    launch();
    PLRSoftwareUpdater* updater = app->updateController()->updater();
    EXPECT_TRUE(updater->automaticallyChecksForUpdates());
    EXPECT_FALSE(updater->automaticallyDownloadsUpdates());
    const QList<QVariantMap> parameters = app->feedParametersForUpdater(updater, false);
    ASSERT_EQ(parameters.size(), 1);
    EXPECT_EQ(parameters.front().value(QStringLiteral("key")).toString(), QStringLiteral("user_id"));
    EXPECT_EQ(parameters.front().value(QStringLiteral("value")).toString(), QStringLiteral("77"));
    app->updaterDidFindValidUpdate(updater, {QStringLiteral("2.9.0"), {}});
    EXPECT_FALSE(platform::UserDefaults::standard().boolForKey(QLatin1String(kPLRForceUpgradeToEdition3Key)));
    app->updaterDidFindValidUpdate(updater, {QStringLiteral("3.0.1"), {}});
    EXPECT_TRUE(platform::UserDefaults::standard().boolForKey(QLatin1String(kPLRForceUpgradeToEdition3Key)));

    // The auto-update offer: once per installed update.
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    app->showTurnOnAutoUpdatingAlert();
    EXPECT_TRUE(updater->automaticallyDownloadsUpdates());
    updater->setAutomaticallyDownloadsUpdates(false);
    app->showTurnOnAutoUpdatingAlert();   // already shown for this update: no alert
    EXPECT_EQ(alerts().shown().size(), 1u);

    // Files: mixed kinds are refused; post files go to the registered importer, in order.
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    app->openFiles({QStringLiteral("/tmp/a.ppost"), QStringLiteral("/tmp/b.plrbackup")});
    EXPECT_EQ(alerts().shown().back().messageText, QStringLiteral("Import Failed"));
    QStringList imported;
    std::optional<platform::HookGuard<std::function<bool(const QString&)>>> importer;
    importer.emplace(&AppDelegate::setPostFileImporter, [&imported](const QString& path) { imported << path; return true; });
    app->handleArguments({QStringLiteral("/tmp/a.PPOST"), QStringLiteral("/tmp/c.ppost")});
    EXPECT_EQ(imported, (QStringList{QStringLiteral("/tmp/a.PPOST"), QStringLiteral("/tmp/c.ppost")}));
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    app->openFiles({QStringLiteral("/tmp/a.plrbackup"), QStringLiteral("/tmp/b.plrbackup")});
    EXPECT_EQ(alerts().shown().back().messageText, QStringLiteral("Import Backup"));
    importer.reset();
    app->openFiles({QStringLiteral("/tmp/notes.txt")});
    EXPECT_GE(indexOfLine(QStringLiteral("Unrecognised filetype in openFiles")), 0);
}

TEST(SignInForm, CollectsTheValuesForItsOwner)
{
    PLRSignInViewController form;
    // Without a completion block: no spinner, nothing sent; cancel does nothing.
    form.presentWithTitle(QStringLiteral("Sign in again"), QString(), {});
    form.emailTextField()->setStringValue(QStringLiteral("a@b.c"));
    form.passwordTextField()->setStringValue(QStringLiteral("secret"));
    form.signInAction(nullptr);
    EXPECT_FALSE(form.progressIndicator()->isAnimating());
    form.cancelAction(nullptr);

    QList<std::tuple<bool, QString, QString>> calls;
    form.presentWithTitle(QStringLiteral("Sign in again"), QStringLiteral("x@y.z"),
                          [&calls](bool proceed, const QString& email, const QString& password) {
                              calls.append({proceed, email, password});
                          });
    EXPECT_EQ(form.titleLabel()->stringValue(), QStringLiteral("Sign in again"));
    EXPECT_EQ(form.emailTextField()->stringValue(), QStringLiteral("x@y.z"));
    EXPECT_TRUE(form.passwordTextField()->stringValue().isEmpty());
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    form.signInAction(nullptr);
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_EQ(testing_support::scriptedAlerts().shown().front().messageText, QStringLiteral("Password Required"));
    form.passwordTextField()->setStringValue(QStringLiteral("pw"));
    form.signInAction(nullptr);
    EXPECT_TRUE(form.progressIndicator()->isAnimating());
    form.cancelAction(nullptr);
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls.at(0), std::make_tuple(true, QStringLiteral("x@y.z"), QStringLiteral("pw")));
    EXPECT_EQ(calls.at(1), std::make_tuple(false, QString(), QString()));
    // A refusal reported by the owner: the spinner stops and the reason is shown.
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    form.assertAttemptResult(false, QStringLiteral("Wrong password"));
    EXPECT_FALSE(form.progressIndicator()->isAnimating());
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().informativeText, QStringLiteral("Wrong password"));
    // The password-reset page is the production host's, whatever host is current.
    form.forgotPasswordAction(nullptr);
    EXPECT_EQ(testing_support::recordingWorkspace().openedURLs.back().path(), QStringLiteral("/core/request-password"));
}

TEST_F(ShellTest, TheUpdaterAsksTheChosenServiceHostOnly)
{
    // Pointed at a custom (development) service, the feed is that service's.
    PLRWebServiceHost::setCurrentHostType(QString::fromLatin1(PLRWebServiceHost_CUSTOM));
    PLRSoftwareUpdater updater;
    const QUrl feed = updater.feedURL();
    EXPECT_EQ(feed.host(), service.baseUrl().host());
    EXPECT_EQ(feed.port(), service.baseUrl().port());
    bool finished = false;
    QObject::connect(&updater, &PLRSoftwareUpdater::checkFinished, &updater, [&finished](bool) { finished = true; });
    updater.checkForUpdatesInBackground();
    ASSERT_TRUE(testing_support::waitUntil([&] { return finished; }, 5000));
    EXPECT_EQ(service.requests(QStringLiteral("/pellora/update-feed.json")).size(), 1);
    EXPECT_TRUE(alerts().shown().empty());

    // Automatic checks: one a day on the clock, quiet, none once they are turned off.
    platform::ManualClock& clock = platform::ManualClock::install();
    updater.setAutomaticallyChecksForUpdates(true);
    clock.advance(PLRSoftwareUpdater::kAutomaticCheckInterval - 1.0);
    testing_support::drainEvents();
    EXPECT_FALSE(updater.sessionInProgress());
    for (int day = 2; day <= 3; ++day) {
        finished = false;
        clock.advance(day == 2 ? 1.0 : PLRSoftwareUpdater::kAutomaticCheckInterval);
        ASSERT_TRUE(testing_support::waitUntil([&] { return finished; }, 5000));
        EXPECT_EQ(service.requests(QStringLiteral("/pellora/update-feed.json")).size(), day);
    }
    updater.setAutomaticallyChecksForUpdates(false);
    clock.advance(2 * PLRSoftwareUpdater::kAutomaticCheckInterval);
    testing_support::drainEvents();
    EXPECT_FALSE(updater.sessionInProgress());
    EXPECT_EQ(service.requests(QStringLiteral("/pellora/update-feed.json")).size(), 3);
    EXPECT_TRUE(alerts().shown().empty());

    // The maker's hosts use the update host, and the feed follows a change of host.
    PLRWebServiceHost::setCurrentHostType(QString::fromLatin1(PLRWebServiceHost_PROD));
    EXPECT_EQ(updater.feedURL().host(), QLatin1String(plr::defaults::kUpdatesHost));
    updater.setFeedURL(QUrl());
    EXPECT_TRUE(updater.feedURL().isEmpty());
}
