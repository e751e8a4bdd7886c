// The application delegate's periodic save, the quit (with its last save, the backup question
// and the session event), the relaunch and the termination signals.

#include "shell/AppDelegate.h"
#include "platform/Clock.h"
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

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

using namespace platform::ui;

namespace {

std::function<void(const QString&)>& preferencesPresenter()
{
    static std::function<void(const QString&)> presenter;
    static const bool joined = platform::resets::add([] { presenter = nullptr; });
    (void)joined;
    return presenter;
}

int gSignalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
}

} // namespace

void AppDelegate::setPreferencesPresenter(std::function<void(const QString&)> presenter)
{
    preferencesPresenter() = std::move(presenter);
}

// ---------------------------------------------------------------- save

void AppDelegate::schedulePeriodicSave()
{
    m_pendingSave.cancel();
    QPointer<AppDelegate> self(this);
    m_pendingSave = platform::Clock::shared().after(kSaveInterval, this, [self] {
        if (self)
            self->performSave(false);
    });
}

void AppDelegate::performSave(bool force)
{
    m_pendingSave.cancel();
    PLR_LOG_INFO(QStringLiteral("Checking for save period now..."));
    const QDateTime now = platform::Clock::shared().wallTime();
    const double nowOnClock = platform::Clock::shared().now();
    bool save = true;
    if (force) {
        platform::NotificationCenter::defaultCenter().post(QLatin1String(kPLR_NOTIFICATION_WILL_SAVE));
    } else if (nowOnClock - m_lastSaveOnClock < kSaveInterval - kSaveIntervalTolerance) {
        // Measured on the monotonic clock (the wall clock may be set or slewed meanwhile); the
        // request that the 300 s timer itself brings counts as on time.
        PLR_LOG_INFO(QStringLiteral("Save period is too close, bailing"));
        save = false;
    }
    if (save) {
        PLR_LOG_INFO(QStringLiteral("Will Save Now"));
        PLRCoreManager::save();
        m_timeSinceLastSave = now;
        m_lastSaveOnClock = nowOnClock;
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
    // Asked only with a store to back up: someone signed in (the automatic backup needs one too).
    if (mode == TerminationMode::Normal && !PLRDefaults::shouldSupressNotifyOfExport() && !m_performedBackupQuery
        && PLRCoreManager::userSession()) {
        m_performedBackupQuery = true;
        platform::Alert alert;
        alert.messageText = QStringLiteral("Backup your Pellora database");
        alert.informativeText = QStringLiteral(
            "We highly suggest adding a backup location for your Pellora database incase you lose access to this "
            "computer. Would you like to configure the backup location now?");
        alert.buttons = {QStringLiteral("Yes"), QStringLiteral("No"), QStringLiteral("Learn More")};
        alert.escapeButton = 1;
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
    const qint64 seconds = m_appBootTime.isValid() ? m_appBootTime.secsTo(platform::Clock::shared().wallTime()) : 0;
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
                                   ? double(m_relaunchRequestedAt.msecsTo(platform::Clock::shared().wallTime())) / 1000.0
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
    m_relaunchRequestedAt = platform::Clock::shared().wallTime();
    // A relaunch is not asked about: it saves (unless the import marked the save done) and goes.
    terminate(TerminationMode::Forced);
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
