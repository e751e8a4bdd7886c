// The application delegate's start-up: logging, crash reporting, the updater, the light look,
// the store migration, the main window and the application-folder check.

#include "shell/AppDelegate.h"
#include "platform/Clock.h"
#include "platform/Resets.h"
#include "shell/AppDelegatePrivate.h"

#include "services/analytic/PLRAnalyticEvent.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "store/migrators/PLRMigrator.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantBackup.h"
#include "store/persistance-store/PLRPersistantExporter.h"
#include "store/persistance-store/PLRSkippedPostsNotice.h"
#include "platform/Alert.h"
#include "platform/Bundle.h"
#include "platform/FirstFrame.h"
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
#include "shell/PLRLightStyle.h"
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
#include <QFileInfo>
#include <QPalette>
#include <QTimer>

using namespace platform::ui;
using plr::appdelegate::showAlert;

namespace {

constexpr auto kVisualizeConstraintsKey = "NSConstraintBasedLayoutVisualizeMutuallyExclusiveConstraints";
constexpr auto kRequiresLightAppearanceKey = "NSRequiresAquaSystemAppearance";

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

bool isDevelopmentEnvironment()
{
    return qEnvironmentVariable("env") == QLatin1String("dev");
}

// The light appearance, whatever the desktop's theme.
void forceLightAppearance()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app)
        return;
    QApplication::setStyle(new PLRLightStyle);
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
            // What waited for the first frame (the site map, the connection check) starts now.
            platform::firstframe::painted();
            deleteLater();
        }
        return false;
    }
};

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

// ---------------------------------------------------------------- start-up

void AppDelegate::launch()
{
    // The main window's first frame follows the launch: work that can wait for it (the
    // settings file's writes, the first requests) waits from now on.
    platform::firstframe::expect();
    // The store tells of posts it cannot open as it starts (before the main window is made when a
    // migration runs): the notice waits for that window and comes up over it.
    PLRSkippedPostsNotice::setPresenter([self = QPointer<AppDelegate>(this)](PLRSkippedPostsNotice::Show show) {
        if (!self) {
            show(nullptr);
            return;
        }
        self->m_pendingSkippedPostsNotice = std::move(show);
        self->presentSkippedPostsNotice();
    });
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
    m_timeSinceLastSave = platform::Clock::shared().wallTime();
    m_lastSaveOnClock = platform::Clock::shared().now();
    PLR_LOG_INFO(QStringLiteral("TIME LOG (AWFL): %1")
                     .arg(QString::number(double(m_timeSinceLastSave.toMSecsSinceEpoch()) / 1000.0, 'f', 6)));
    // Set in the development environment, cleared elsewhere (written only when it changes).
    if (isDevelopmentEnvironment())
        defaults.setBool(QLatin1String(kVisualizeConstraintsKey), true);
    else
        defaults.removeObject(QLatin1String(kVisualizeConstraintsKey));

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
    m_appBootTime = platform::Clock::shared().wallTime();
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

void AppDelegate::presentSkippedPostsNotice()
{
    if (!m_pendingSkippedPostsNotice || !m_baseWindowController || !m_baseWindowController->window()->isVisible())
        return;
    platform::firstframe::afterFirstFrame(this, [this] {
        if (auto show = std::exchange(m_pendingSkippedPostsNotice, {}))
            show(m_baseWindowController ? m_baseWindowController->window() : nullptr);
    });
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
    // The network's first requests and the network-information back-end wait for the main
    // window's first frame.
    platform::firstframe::expect();
    QPointer<AppDelegate> self(this);
    controller->setCloseRequestHandler([self] {
        if (self)
            self->terminate();
    });
    Window* window = controller->window();
    // The menu bar sits on the main window.
    m_mainMenu = new PLRMainMenu(this);
    window->setMenuBar(m_mainMenu->menuBar());
    controller->placeOnScreen();
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
    presentSkippedPostsNotice();
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
    // The alert names the folder an installed Pellora runs from.
    const QString location = applicationFolders().first();
    platform::Alert alert;
    alert.messageText = QStringLiteral("Pellora is not in %1").arg(location);
    alert.informativeText = QStringLiteral("To allow Pellora to update you must move Pellora to %1. Go do this now, and "
                                           "then re-open Pellora.")
                                .arg(location);
    alert.buttons = {QStringLiteral("OK"), QStringLiteral("Why do I keep seeing this?")};
    alert.escapeButton = 0;
    if (platform::runAlert(alert).response == platform::kAlertSecondButtonReturn)
        platform::Workspace::shared().openURL(PLRDefaults::supportURLForPath(
            QStringLiteral("/downloads-and-choosing-your-plan/downloads/how-to-move-pellora-to-your-applications-folder")));
}
