#include "shell/AppDelegate.h"
#include "platform/Resets.h"

#include "services/analytic/PLRAnalyticEvent.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "store/migrators/PLRMigrator.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantBackup.h"
#include "store/persistance-store/PLRPersistantExporter.h"
#include "platform/Alert.h"
#include "platform/Bundle.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Storyboard.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "platform-ui/Window.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRUserSession.h"
#include "shell/PLRBaseViewController.h"
#include "shell/PLRBaseWindowController.h"
#include "shell/PLRCrashReporter.h"
#include "shell/PLRMainMenu.h"
#include "shell/prefs/PLRPreferencesWindowController.h"
#include "shell/PLRMainStoryboard.h"
#include "shell/PLRMigratorInfoViewController.h"
#include "shell/PLRRelaunchHelper.h"
#include "shell/PLRShellNotifications.h"
#include "services/web-services/PLRHelpManager.h"
#include "services/web-services/PLRWebServiceHost.h"
#include "services/web-services/PLRWebServiceManager.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QPalette>
#include <QSet>
#include <QSocketNotifier>
#include <QStyleFactory>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

using namespace platform::ui;

namespace {

constexpr auto kVisualizeConstraintsKey = "NSConstraintBasedLayoutVisualizeMutuallyExclusiveConstraints";
constexpr auto kRequiresLightAppearanceKey = "NSRequiresAquaSystemAppearance";

AppDelegate* gShared = nullptr;

std::function<bool(const QString&)>& postFileImporter()
{
    static std::function<bool(const QString&)> importer;
    static const bool joined = platform::resets::add([] { importer = nullptr; });
    (void)joined;
    return importer;
}

std::function<void(const QString&)>& preferencesPresenter()
{
    static std::function<void(const QString&)> presenter;
    static const bool joined = platform::resets::add([] { presenter = nullptr; });
    (void)joined;
    return presenter;
}

bool isDevelopmentEnvironment()
{
    return qEnvironmentVariable("env") == QLatin1String("dev");
}

} // namespace

QStringList AppDelegate::applicationFolders()
{
    QStringList folders;
#ifdef PELLORA_INSTALL_BINDIR
    folders << QDir::cleanPath(QStringLiteral(PELLORA_INSTALL_BINDIR));
#endif
    folders << QStringLiteral("/usr/bin") << QStringLiteral("/usr/local/bin") << QStringLiteral("/opt/pellora/bin");
    const QString home = QDir::homePath();
    if (!home.isEmpty() && home != QLatin1String("/"))
        folders << QDir::cleanPath(home + QStringLiteral("/.local/bin"));
    folders.removeDuplicates();
    return folders;
}

bool AppDelegate::isApplicationFolder(const QString& folder)
{
    const QString clean = QDir::cleanPath(folder);
    const QString canonical = QFileInfo(clean).canonicalFilePath();
    for (const QString& candidate : applicationFolders()) {
        if (clean == candidate)
            return true;
        const QString candidateCanonical = QFileInfo(candidate).canonicalFilePath();
        if (!canonical.isEmpty() && canonical == candidateCanonical)
            return true;
    }
    return false;
}

namespace {

void showAlert(const QString& message, const QString& information)
{
    platform::Alert alert;
    alert.messageText = message;
    alert.informativeText = information;
    alert.buttons = {QStringLiteral("OK")};
    platform::runAlert(alert);
}

} // namespace

QPalette PLRLightAppearancePalette()
{
    QPalette light;
    light.setColor(QPalette::Window, QColor(0xF4, 0xF4, 0xF4));
    light.setColor(QPalette::WindowText, Qt::black);
    light.setColor(QPalette::Base, Qt::white);
    light.setColor(QPalette::AlternateBase, QColor(0xF0, 0xF0, 0xF0));
    light.setColor(QPalette::Text, Qt::black);
    light.setColor(QPalette::Button, QColor(0xF4, 0xF4, 0xF4));
    light.setColor(QPalette::ButtonText, Qt::black);
    light.setColor(QPalette::Highlight, QColor(0x21, 0x9D, 0xFF));
    light.setColor(QPalette::HighlightedText, Qt::white);
    light.setColor(QPalette::ToolTipBase, Qt::white);
    light.setColor(QPalette::ToolTipText, Qt::black);
    light.setColor(QPalette::PlaceholderText, QColor(0x99, 0x99, 0x99));
    // Setting a colour sets it for every group: give the disabled group its faded texts back.
    const QColor faded(0xA8, 0xA8, 0xA8);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText})
        light.setColor(QPalette::Disabled, role, faded);
    light.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0xD6, 0xD6, 0xD6));
    light.setColor(QPalette::Disabled, QPalette::Light, QColor(0xF4, 0xF4, 0xF4));
    return light;
}

namespace {

// The light appearance, whatever the desktop's theme.
void forceLightAppearance()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app)
        return;
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    QApplication::setPalette(PLRLightAppearancePalette());
}

// Logs the main window's first painted frame (start-up timing).
class FirstFrameWatcher : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            PLR_LOG_INFO(QStringLiteral("Main window shown: first frame painted"));
            deleteLater();
        }
        return false;
    }
};

int gSignalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
}

} // namespace

AppDelegate::AppDelegate(QObject* parent) : QObject(parent), m_scheduler(std::make_unique<Scheduler>())
{
    gShared = this;
    m_exitHandler = [](int code) { QCoreApplication::exit(code); };
}

AppDelegate::~AppDelegate()
{
    m_pendingSave.cancel();
    platform::NotificationCenter::defaultCenter().removeObserver(&m_observer);
    if (PLRUpdater::updateController() == m_updateController)
        PLRUpdater::setUpdateController(nullptr);
    if (PLRCrashReporter::sharedClient() == m_crashReporter.get())
        PLRCrashReporter::setSharedClient(nullptr);
    delete m_settingsWindowController.data();
    delete m_mainMenu.data();
    delete m_baseWindowController.data();
    delete m_swc.data();
    if (gShared == this)
        gShared = nullptr;
}

AppDelegate* AppDelegate::shared()
{
    return gShared;
}

void AppDelegate::setScheduler(std::unique_ptr<Scheduler> scheduler)
{
    m_scheduler = scheduler ? std::move(scheduler) : std::make_unique<Scheduler>();
}

void AppDelegate::setPostFileImporter(std::function<bool(const QString&)> importer)
{
    postFileImporter() = std::move(importer);
}

void AppDelegate::setPreferencesPresenter(std::function<void(const QString&)> presenter)
{
    preferencesPresenter() = std::move(presenter);
}

void AppDelegate::logTime(const char* label)
{
    const double seconds = double(m_scheduler->now().msecsTo(m_timeSinceLastSave)) / 1000.0;
    PLR_LOG_INFO(QStringLiteral("TIME LOG (%1): %2").arg(QLatin1String(label), QString::number(seconds, 'f', 6)));
}

// ---------------------------------------------------------------- start-up

void AppDelegate::launch()
{
    applicationWillFinishLaunching();
    QPointer<AppDelegate> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self)
            self->applicationDidFinishLaunching();
    });
}

void AppDelegate::applicationWillFinishLaunching()
{
    PLRWebServiceHost::enforceBetaConnectionIfAppropiate();
    m_performedQuitSave = false;
    m_performedBackupQuery = false;
    auto& defaults = platform::UserDefaults::standard();
    defaults.removeObject(QLatin1String(kVisualizeConstraintsKey));
    m_timeSinceLastSave = m_scheduler->now();
    PLR_LOG_INFO(QStringLiteral("TIME LOG (AWFL): %1")
                     .arg(QString::number(double(m_timeSinceLastSave.toMSecsSinceEpoch()) / 1000.0, 'f', 6)));
    if (isDevelopmentEnvironment())
        defaults.setBool(QLatin1String(kVisualizeConstraintsKey), true);

    // Crash reporting, to the endpoint of this build.
    m_crashReporter = std::make_unique<PLRCrashReporter>();
    platform::Error error;
    if (m_crashReporter->initWithDsn(PLRCrashReporter::dsnForBundleIdentifier(platform::bundle::identifier()), &error)) {
        PLRCrashReporter::setSharedClient(m_crashReporter.get());
        PLRCrashReporter::sharedClient()->startCrashHandler(&error);
    }
    if (error.isValid())
        PLR_LOG_ERROR(error.toString());

    if (!m_updateController)
        setUpdateController(new PLRStandardUpdaterController(this));
    m_updateController->updater()->setAutomaticallyChecksForUpdates(true);

    // Terminal, system log and a daily log file, 7 kept.
    platform::log::Options logging;
    const bool quiet = qEnvironmentVariableIsSet("PELLORA_LOG_QUIET");
    logging.terminal = !quiet;
    logging.syslog = !quiet;
    logging.fileDirectory = platform::paths::logDirectory();
    logging.level = platform::log::Level::Info;
    platform::log::setup(logging);

    logTime("AWFL Ex");
}

void AppDelegate::applicationDidFinishLaunching()
{
    m_appBootTime = m_scheduler->now();
    logTime("ADFL");
    PLRAnalyticManager::coreAnalyticManager().setup();
    platform::UserDefaults::standard().setBool(QLatin1String(kRequiresLightAppearanceKey), true);
    forceLightAppearance();
    QPointer<AppDelegate> self(this);
    PLRMigrator::runMigratorIfNeeded([self](bool success) {
        if (self)
            self->migratorDidComplete(success);
    });
    platform::NotificationCenter::defaultCenter().addObserver(
        &m_observer, QLatin1String(kPLR_POST_VIEW_TOGGLED),
        [this](const platform::Notification& notification) { togglePostView(notification); });
    enableToolbarItems(false);
    // Only when the main window exists already (no migration was due).
    if (m_baseWindowController)
        applyMainWindowLook();
    logTime("ADFL Ex");
    m_updateController->updater()->setAutomaticallyDownloadsUpdates(false);
    m_launchFinished = true;
}

void AppDelegate::applyMainWindowLook()
{
    if (m_baseWindowController)
        m_baseWindowController->applyMainWindowLook();
}

void AppDelegate::migratorDidComplete(bool success)
{
    logTime("Mig Comp En");
    PLRMigratorWindowController::dismiss();
    if (m_quitAfterMigration) {
        // A quit asked for during the migration goes on now; the core never started.
        m_quitAfterMigration = false;
        m_quitInProgress = false;
        terminate(m_quitMode);
        return;
    }
    auto* controller = qobject_cast<PLRBaseWindowController*>(
        platform::Storyboard::instantiate(QLatin1String(kPLRMainStoryboard), QLatin1String(kPLRBaseSceneIdentifier)));
    if (!controller) {
        PLR_LOG_ERROR(QStringLiteral("The main window cannot be made"));
        return;
    }
    controller->setParent(this);
    setBaseWindowController(controller);
    QPointer<AppDelegate> self(this);
    controller->setCloseRequestHandler([self] {
        if (self)
            self->terminate();
    });
    Window* window = controller->window();
    // The menu bar sits on the main window.
    m_mainMenu = new PLRMainMenu(this);
    window->setMenuBar(m_mainMenu->menuBar());
    controller->restoreWindowFrame();
    // The help centre's articles join the Help menu.
    m_helpManager = new PLRHelpManager(this);
    m_helpManager->setupHelpMenu(m_mainMenu->helpMenu(), [self](const QUrl& url) {
        if (self)
            self->presentHelp(url);
    });
    // The main window gets its look also when a migration ran before it existed.
    applyMainWindowLook();
    window->installEventFilter(new FirstFrameWatcher(window));
    Application::setMainWindow(window);
    window->makeKeyAndOrderFront();
    checkApplicationLocation();
    PLRCoreManager::startManager();
    m_coreStarted = true;
    schedulePeriodicSave();
    if (!success) {
        PLR_LOG_ERROR(QStringLiteral("The store could not be brought up to date"));
        showAlert(QStringLiteral("Pellora Could Not Update Its Store"),
                  QStringLiteral("Preparing your posts for this version did not finish. Your posts have not been "
                                 "removed. The details are in the log files in %1.")
                      .arg(QDir::toNativeSeparators(platform::paths::logDirectory())));
    }
    if (!m_pendingArguments.isEmpty()) {
        const QStringList pending = m_pendingArguments;
        m_pendingArguments.clear();
        handleArguments(pending);
    }
}

void AppDelegate::checkApplicationLocation()
{
    if (isDevelopmentEnvironment())
        return;
    const QString running = QCoreApplication::applicationFilePath();
    const QString expected = applicationFolders().first() + QLatin1Char('/') + QFileInfo(running).fileName();
    PLR_LOG_INFO(QStringLiteral("Checking App location: %1 : %2").arg(running, expected));
    if (isApplicationFolder(QFileInfo(running).absolutePath()))
        return;
    platform::Alert alert;
    alert.messageText = QStringLiteral("Pellora is not in the Applications Folder");
    alert.informativeText = QStringLiteral("To allow Pellora to update you must install Pellora in one of your "
                                           "applications folders (%1). Go do this now, and then re-open Pellora.")
                                .arg(applicationFolders().join(QStringLiteral(", ")));
    alert.buttons = {QStringLiteral("OK")};
    platform::runAlert(alert);
}

PLRBaseWindowController* AppDelegate::baseWindowController() const
{
    return m_baseWindowController;
}

void AppDelegate::setBaseWindowController(PLRBaseWindowController* controller)
{
    m_baseWindowController = controller;
}

void AppDelegate::setUpdateController(PLRStandardUpdaterController* controller)
{
    m_updateController = controller;
    PLRUpdater::setUpdateController(controller);
    if (controller)
        controller->updater()->setDelegate(this);
}

// ---------------------------------------------------------------- save

void AppDelegate::schedulePeriodicSave()
{
    m_pendingSave.cancel();
    QPointer<AppDelegate> self(this);
    m_pendingSave = m_scheduler->schedule(kSaveInterval, this, [self] {
        if (self)
            self->performSave(false);
    });
}

void AppDelegate::performSave(bool force)
{
    m_pendingSave.cancel();
    PLR_LOG_INFO(QStringLiteral("Checking for save period now..."));
    const QDateTime now = m_scheduler->now();
    bool save = true;
    if (force) {
        platform::NotificationCenter::defaultCenter().post(QLatin1String(kPLR_NOTIFICATION_WILL_SAVE));
    } else if (double(m_timeSinceLastSave.msecsTo(now)) / 1000.0 < kSaveInterval) {
        PLR_LOG_INFO(QStringLiteral("Save period is too close, bailing"));
        save = false;
    }
    if (save) {
        PLR_LOG_INFO(QStringLiteral("Will Save Now"));
        PLRCoreManager::save();
        m_timeSinceLastSave = now;
        PLRPersistantBackup::performAutoBackup();
    }
    schedulePeriodicSave();
}

// ---------------------------------------------------------------- quit

void AppDelegate::terminate(TerminationMode mode)
{
    if (m_exited)
        return;
    if (m_quitInProgress) {
        // A quit is under way: a forced request makes it forced; a second ordinary one waits.
        if (mode == TerminationMode::Forced)
            m_quitMode = TerminationMode::Forced;
        return;
    }
    m_quitMode = mode;
    switch (applicationShouldTerminate(mode)) {
    case TerminateReply::Now:
        finishTermination();
        break;
    case TerminateReply::Later:
        m_quitInProgress = true;
        break;
    case TerminateReply::Cancel:
        break;
    }
}

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate(TerminationMode mode)
{
    if (PLRMigrator::isRunning()) {
        // The store is being rewritten: the quit waits for the migration to end.
        PLR_LOG_INFO(QStringLiteral("Quit requested during the store migration: quitting once it has ended"));
        m_quitAfterMigration = true;
        return TerminateReply::Later;
    }
    if (mode == TerminationMode::Normal && !PLRDefaults::shouldSupressNotifyOfExport() && !m_performedBackupQuery) {
        m_performedBackupQuery = true;
        platform::Alert alert;
        alert.messageText = QStringLiteral("Backup your Pellora database");
        alert.informativeText = QStringLiteral(
            "We highly suggest adding a backup location for your Pellora database incase you lose access to this "
            "computer. Would you like to configure the backup location now?");
        alert.buttons = {QStringLiteral("Yes"), QStringLiteral("No"), QStringLiteral("Learn More")};
        alert.showsSuppressionButton = true;
        const platform::AlertResult result = platform::runAlert(alert);
        PLRDefaults::setShouldSupressNotifyOfExport(result.suppressed);
        if (result.response == platform::kAlertFirstButtonReturn) {
            if (preferencesPresenter()) {
                preferencesPresenter()(QLatin1String(kPLRPreferencesBackupTab));
            } else {
                showPrefs();
                if (m_settingsWindowController)
                    m_settingsWindowController->changeTabForIdentifier(QLatin1String(kPLRPreferencesBackupTab));
            }
            return TerminateReply::Cancel;
        }
        if (result.response == platform::kAlertThirdButtonReturn) {
            platform::Workspace::shared().openURL(
                PLRDefaults::supportURLForPath(QStringLiteral("/using-pellora/backing-up-your-pellora-catalog")));
            return TerminateReply::Cancel;
        }
    }
    if (m_performedQuitSave) {
        sendAppSessionSecondsEvent();
        return TerminateReply::Now;
    }
    m_swc = qobject_cast<WindowController*>(platform::Storyboard::instantiate(
        QLatin1String(kPLRMainStoryboard), QLatin1String(kPLRSavingWindowSceneIdentifier)));
    if (m_swc) {
        m_swc->setParent(this);
        m_swc->window()->makeKeyAndOrderFront();
    }
    PLRPersistantBackup::performAutoBackup();
    QPointer<AppDelegate> self(this);
    PLRCoreManager::save([self](bool success) {
        // Always from the event loop, also when the save answered at once.
        platform::dispatchMain([self, success] {
            if (self)
                self->quitSaveDidFinish(success, self->m_quitMode);
        });
    });
    return TerminateReply::Later;
}

void AppDelegate::quitSaveDidFinish(bool success, TerminationMode mode)
{
    if (m_swc) {
        m_swc->close();
        m_swc->deleteLater();
        m_swc = nullptr;
    }
    m_quitInProgress = false;
    if (!success) {
        PLR_LOG_ERROR(QStringLiteral("The last save before quitting failed"));
        platform::Alert alert;
        alert.messageText = QStringLiteral("Pellora Could Not Save Your Changes");
        if (mode == TerminationMode::Forced) {
            alert.informativeText = QStringLiteral("Pellora has to quit now. Changes made since the last save could "
                                                   "not be written; your saved posts are kept.");
            alert.buttons = {QStringLiteral("Quit")};
            platform::runAlert(alert);
        } else {
            alert.informativeText = QStringLiteral("Changes made since the last save could not be written. Quitting "
                                                   "now loses them; cancel to keep working and try again.");
            alert.buttons = {QStringLiteral("Quit Anyway"), QStringLiteral("Cancel")};
            if (platform::runAlert(alert).response != platform::kAlertFirstButtonReturn) {
                m_relaunchDelay = -1.0;
                return;
            }
        }
    }
    m_performedQuitSave = true;
    terminate(mode);
}

void AppDelegate::sendAppSessionSecondsEvent()
{
    const qint64 seconds = m_appBootTime.isValid() ? m_appBootTime.secsTo(m_scheduler->now()) : 0;
    const PLRAnalyticEvent event = PLRAnalyticEvent::createEventWithTitle(
        QStringLiteral("app_session"), {{QStringLiteral("seconds_of_session"), seconds}});
    struct Outcome {
        bool answered = false;
        bool keep = false;
        QEventLoop loop;
    };
    auto outcome = std::make_shared<Outcome>();
    auto api = std::make_unique<PLRAnalyticEventAPI>();
    std::weak_ptr<Outcome> weak = outcome;
    api->logAnalyticEvent(event, [weak](const platform::Error& transportError, int statusCode) {
        auto state = weak.lock();
        if (!state)
            return;
        state->answered = true;
        state->keep = transportError.isValid() || !PLRAnalyticManager::statusRemovesEvent(statusCode);
        state->loop.quit();
    });
    if (!outcome->answered) {
        // Never blocks the main thread on the network: a local loop, with a time limit.
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &outcome->loop, &QEventLoop::quit);
        limit.start(int(m_sessionEventTimeout * 1000));
        outcome->loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    const bool answered = outcome->answered;
    const bool keep = outcome->keep;
    outcome.reset();
    api.reset();
    if (!answered || keep) {
        PLR_LOG_INFO(answered ? QStringLiteral("The session event was not accepted; it stays queued")
                              : QStringLiteral("The session event was not answered in time; it stays queued"));
        PLRAnalyticManager::coreAnalyticManager().addEvent(event);
        platform::UserDefaults::standard().synchronize();
    }
}

void AppDelegate::finishTermination()
{
    if (m_exited)
        return;
    m_exited = true;
    m_pendingSave.cancel();
    // What the save queue still holds (the backup after the last save) is written first.
    PLRCoreManager::saveQueue().waitUntilIdle();
    platform::UserDefaults::standard().synchronize();
    if (m_relaunchDelay >= 0.0) {
        const double elapsed = m_relaunchRequestedAt.isValid()
                                   ? double(m_relaunchRequestedAt.msecsTo(m_scheduler->now())) / 1000.0
                                   : 0.0;
        const QStringList arguments = relaunchHelperArguments(std::max(0.0, m_relaunchDelay - elapsed));
        if (!platform::Workspace::shared().launchDetached(QCoreApplication::applicationFilePath(), arguments))
            PLR_LOG_ERROR(QStringLiteral("The relaunch helper could not be started"));
    }
    if (m_baseWindowController && m_baseWindowController->isWindowLoaded())
        m_baseWindowController->baseWindow()->allowClose();
    PLR_LOG_INFO(QStringLiteral("Quitting"));
    emit willExit();
    if (m_exitHandler)
        m_exitHandler(0);
}

QStringList AppDelegate::relaunchHelperArguments(double delaySeconds) const
{
    return PLRRelaunchHelper::arguments(QCoreApplication::applicationPid(), delaySeconds,
                                        QCoreApplication::applicationFilePath());
}

void AppDelegate::performSaveAndRelaunch()
{
    m_performedQuitSave = true;
    relaunchAfterDelay(5.0);
}

void AppDelegate::relaunchAfterDelay(double seconds)
{
    m_relaunchDelay = std::max(0.0, seconds);
    m_relaunchRequestedAt = m_scheduler->now();
    // A relaunch is not asked about: it saves (unless the import marked the save done) and goes.
    terminate(TerminationMode::Forced);
}

bool AppDelegate::applicationShouldHandleReopen(bool)
{
    const QList<Window*> windows = Application::windows();
    for (Window* window : windows) {
        if (!window->isVisible() && window != (m_baseWindowController && m_baseWindowController->isWindowLoaded()
                                                   ? m_baseWindowController->window()
                                                   : nullptr))
            continue;
        window->makeKeyAndOrderFront();
        break;
    }
    return true;
}

void AppDelegate::installTerminationSignalHandlers()
{
    if (gSignalPipe[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char byte;
        [[maybe_unused]] const ssize_t read = ::read(gSignalPipe[0], &byte, 1);
        PLR_LOG_INFO(QStringLiteral("Asked to quit by a signal"));
        if (AppDelegate* app = AppDelegate::shared())
            app->terminate(TerminationMode::Forced);
        else
            QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

// ---------------------------------------------------------------- post view and toolbar

void AppDelegate::togglePostView(const platform::Notification& notification)
{
    const QVariant appeared = notification.userInfo.value(QLatin1String(kPLRPostViewAppearedKey));
    if (!appeared.isValid())
        return;
    setEnablePostViewControls(appeared.toBool());
    enableToolbarItems(appeared.toBool());
}

void AppDelegate::enableToolbarItems(bool enable)
{
    if (!m_baseWindowController || !m_baseWindowController->isWindowLoaded())
        return;
    Window* window = m_baseWindowController->window();
    for (const char* identifier : {"toolbarItems", "toolbarItemsFarRight"})
        for (QWidget* item : window->findChildren<QWidget*>(QLatin1String(identifier)))
            for (QWidget* sub : item->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
                sub->setHidden(!enable);
}

void AppDelegate::setEnablePostViewControls(bool enable)
{
    if (m_enablePostViewControls == enable)
        return;
    m_enablePostViewControls = enable;
    emit enablePostViewControlsChanged();
}

void AppDelegate::setImportExportPostsEnabled(bool enabled)
{
    if (m_importExportPostsEnabled == enabled)
        return;
    m_importExportPostsEnabled = enabled;
    emit importExportPostsEnabledChanged();
}

// ---------------------------------------------------------------- updates

void AppDelegate::showTurnOnAutoUpdatingAlert()
{
    if (!m_updateController)
        return;
    PLRSoftwareUpdater* updater = m_updateController->updater();
    if (updater->automaticallyDownloadsUpdates() || PLRDefaults::shouldSuppressNotifyOfTurnOnAutoUpdates()
        || PLRDefaults::autoUpdateAlertWasShownThisUpdate())
        return;
    platform::Alert alert;
    alert.messageText = QStringLiteral("Would you like to turn on Auto-Updates?");
    alert.informativeText = QStringLiteral(
        "This will ensure you are always on the latest version of Pellora Publish, getting new features, "
        "improvements and fixes as soon as possible, without having to do a thing.");
    alert.buttons = {QStringLiteral("Turn On"), QStringLiteral("Not Now")};
    alert.showsSuppressionButton = true;
    const platform::AlertResult result = platform::runAlert(alert);
    PLRDefaults::setShouldSuppressNotifyOfTurnOnAutoUpdates(result.suppressed);
    if (result.response == platform::kAlertFirstButtonReturn)
        updater->setAutomaticallyDownloadsUpdates(true);
    PLRDefaults::setAutoUpdateAlertWasShownThisUpdate(true);
}

void AppDelegate::updaterWillRelaunchApplication(PLRSoftwareUpdater*)
{
    PLRDefaults::setAutoUpdateAlertWasShownThisUpdate(false);
}

QList<QVariantMap> AppDelegate::feedParametersForUpdater(PLRSoftwareUpdater*, bool)
{
    PLRUserSession* session = PLRCoreManager::userSession();
    if (!session || !session->account() || session->account()->userIdentifier().isEmpty())
        return {};
    return {{{QStringLiteral("key"), QStringLiteral("user_id")}, {QStringLiteral("value"), session->account()->userIdentifier()}}};
}

void AppDelegate::updaterDidFindValidUpdate(PLRSoftwareUpdater*, const PLRUpdateItem& item)
{
    if (item.versionString.startsWith(QLatin1String("3.")))
        platform::UserDefaults::standard().setBool(QLatin1String(kPLRForceUpgradeToEdition3Key), true);
}

// ---------------------------------------------------------------- files and addresses

void AppDelegate::handleArguments(const QStringList& filesAndURLs)
{
    if (!m_coreStarted) {
        // Opened once the main window and the core are there.
        m_pendingArguments += filesAndURLs;
        return;
    }
    QStringList files;
    for (const QString& argument : filesAndURLs) {
        const QUrl url(argument);
        if (!argument.startsWith(QLatin1Char('/')) && url.isValid() && url.scheme().size() > 1 && !url.isLocalFile())
            handleGetURLEvent(url);
        else
            files << argument;
    }
    if (!files.isEmpty())
        openFiles(files);
    else
        applicationShouldHandleReopen(true);
}

void AppDelegate::handleGetURLEvent(const QUrl& url)
{
    // Addresses are accepted and not acted on.
    PLR_LOG_INFO(QStringLiteral("Received the address %1").arg(url.toString()));
}

void AppDelegate::openFiles(const QStringList& paths)
{
    QSet<QString> extensions;
    for (const QString& path : paths)
        extensions.insert(QFileInfo(path).suffix().toLower());
    if (extensions.size() > 1) {
        showAlert(QStringLiteral("Import Failed"), QStringLiteral("You can only import one filetype at a time.\nDouble "
                                                                  "click on either a backup or post file to import it."));
        return;
    }
    const bool known = extensions.contains(QStringLiteral("ppost")) || extensions.contains(QStringLiteral("plrbackup"));
    if (known && !PLRCoreManager::userSession()) {
        // Posts and backups go into an account: somebody has to be signed in.
        PLR_LOG_INFO(QStringLiteral("%1 file(s) handed over while nobody is signed in").arg(paths.size()));
        showAlert(QStringLiteral("There is no active user session."),
                  QStringLiteral("Please sign in to your account, then open the file again."));
        return;
    }
    if (extensions.contains(QStringLiteral("ppost"))) {
        if (!postFileImporter()) {
            PLR_LOG_ERROR(QStringLiteral("%1 post file(s) cannot be imported: no post-file importer is registered").arg(paths.size()));
            showAlert(QStringLiteral("Post files cannot be imported"),
                      QStringLiteral("This copy of Pellora cannot import post files. Nothing was changed."));
            return;
        }
        for (const QString& path : paths)
            postFileImporter()(path);
        return;
    }
    if (extensions.contains(QStringLiteral("plrbackup"))) {
        if (paths.size() > 1) {
            showAlert(QStringLiteral("Import Backup"), QStringLiteral("You can only import one backup at time.\nDouble "
                                                                      "click on a single backup to import it."));
            return;
        }
        if (PLRPersistantExporter::showImportDatabaseWarning())
            PLRPersistantExporter::importDatabaseWithURL(paths.first());
        return;
    }
    PLR_LOG_ERROR(QStringLiteral("Unrecognised filetype in openFiles"));
}
