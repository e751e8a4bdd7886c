#pragma once

#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform-ui/Window.h"
#include "shell/PLRUpdater.h"

#include <QDateTime>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

class PLRBaseWindowController;
class PLRCrashReporter;
class PLRHelpManager;
class PLRLogUploader;
class PLRMainMenu;
class PLRPreferencesWindowController;

// The application delegate: start-up (loggers, crash reporting, the updater, the store migrator,
// the main window and the core), the periodic whole-store save, the quit (backup question,
// saving window, last save, session-length event), relaunch, and the files and addresses handed
// to the application. One per process; other parts reach it through shared().
// The application's light palette, whatever the desktop's theme: every colour group set, the
// disabled group with faded texts so that disabled menu items and controls look disabled.
QPalette PLRLightAppearancePalette();

class AppDelegate : public QObject, public PLRUpdaterDelegate {
    Q_OBJECT
    Q_PROPERTY(bool enablePostViewControls READ enablePostViewControls WRITE setEnablePostViewControls NOTIFY enablePostViewControlsChanged)
    Q_PROPERTY(bool importExportPostsEnabled READ importExportPostsEnabled WRITE setImportExportPostsEnabled NOTIFY importExportPostsEnabledChanged)

public:
    // The answers to a quit request.
    enum class TerminateReply { Cancel, Now, Later };
    // A forced quit (a locked account, an outdated version, a relaunch, a signal) asks no backup
    // question and cannot be cancelled; it still saves.
    enum class TerminationMode { Normal, Forced };

    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    // The delegate of this process (null when none exists).
    static AppDelegate* shared();

    // Start-up: step 1 now, step 2 once the event loop runs.
    void launch();
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    // Step 3, when the store migrator has completed (true when every step succeeded).
    void migratorDidComplete(bool success);
    void checkApplicationLocation();
    // The folders an installed Pellora runs from: the install prefix's, the system's and the
    // user's ~/.local/bin.
    static QStringList applicationFolders();
    static bool isApplicationFolder(const QString& folder);

    // The whole-store save: forced (the Save command, the post exporter) or periodic (every 300 s,
    // skipped while the last save is younger).
    void performSave(bool force);
    static constexpr double kSaveInterval = 300.0;
    // How much earlier than the interval a periodic request may come and still save.
    static constexpr double kSaveIntervalTolerance = 0.5;

    // Quit.
    void terminate(TerminationMode mode = TerminationMode::Normal);
    TerminateReply applicationShouldTerminate(TerminationMode mode = TerminationMode::Normal);
    void sendAppSessionSecondsEvent();
    void performSaveAndRelaunch();
    void relaunchAfterDelay(double seconds);
    bool applicationShouldHandleReopen(bool hasVisibleWindows);

    // Post view.
    void togglePostView(const platform::Notification& notification);
    void enableToolbarItems(bool enable);

    // Updates.
    void showTurnOnAutoUpdatingAlert();
    void updaterWillRelaunchApplication(PLRSoftwareUpdater* updater) override;
    QList<QVariantMap> feedParametersForUpdater(PLRSoftwareUpdater* updater, bool sendingSystemProfile) override;
    void updaterDidFindValidUpdate(PLRSoftwareUpdater* updater, const PLRUpdateItem& item) override;

    // Files and addresses handed to the application (command line, another start).
    void handleArguments(const QStringList& filesAndURLs);
    void handleGetURLEvent(const QUrl& url);
    void openFiles(const QStringList& paths);
    // The importer of post files, registered by the publishing layer.
    static void setPostFileImporter(std::function<bool(const QString& path)> importer);
    // Opens the preferences on a tab (tests put their own in; by default the preferences window).
    static void setPreferencesPresenter(std::function<void(const QString& tab)> presenter);

    // Menu commands (the main menu sends them; each does nothing while what it works on does
    // not exist yet).
    void newBlog();
    void saveApplication();
    void exportPost();
    void importPost();
    void exportBackup();
    void importBackup();
    // Import Backup asked from a window of its own (Preferences): its question and folder
    // chooser belong to that window.
    void importBackupFrom(QWidget* window);
    void showPrefs();
    void logOut();
    void toggleGallery();
    void toggleInspector();
    void goHome();
    void zoomIn();
    void zoomOut();
    void zoomFitWidth();
    void zoom100();
    void togglePreviewPanel();
    void clearLogs();
    void uploadLogsToSupport();
    void presentHostOptionsWindow();
    // A Help-menu item chose the address: "View Support" opens the help centre's home page,
    // any other item its article (and reports which).
    void presentHelp(const QUrl& url);
    // The preview window of the gallery's photos, registered by the gallery.
    static void setPreviewPanelToggler(std::function<void()> toggler);
    static bool hasPreviewPanelToggler();
    PLRPreferencesWindowController* settingsWindowController() const;
    PLRMainMenu* mainMenu() const;
    PLRLogUploader* logUploader();

    // Properties.
    PLRBaseWindowController* baseWindowController() const;
    void setBaseWindowController(PLRBaseWindowController* controller);
    PLRStandardUpdaterController* updateController() const { return m_updateController; }
    void setUpdateController(PLRStandardUpdaterController* controller);
    bool enablePostViewControls() const { return m_enablePostViewControls; }
    void setEnablePostViewControls(bool enable);
    // Whether the post export command applies (a post is shown).
    bool importExportPostsEnabled() const { return m_importExportPostsEnabled; }
    void setImportExportPostsEnabled(bool enabled);
    QDateTime timeSinceLastSave() const { return m_timeSinceLastSave; }
    QDateTime appBootTime() const { return m_appBootTime; }
    bool performedQuitSave() const { return m_performedQuitSave; }
    bool performedBackupQuery() const { return m_performedBackupQuery; }
    platform::ui::WindowController* savingWindowController() const { return m_swc; }
    PLRCrashReporter* crashReporter() const { return m_crashReporter.get(); }
    bool isQuitting() const { return m_quitInProgress; }

    // Injection points (tests).
    // What ends the process once the quit is through (default: leave the event loop with 0).
    void setExitHandler(std::function<void(int code)> handler) { m_exitHandler = std::move(handler); }
    // The longest the quit waits for the session-length event's answer (default 5 s).
    void setSessionEventTimeout(double seconds) { m_sessionEventTimeout = seconds; }

    // Turns SIGTERM, SIGINT and SIGHUP into a forced quit (once the event loop runs).
    static void installTerminationSignalHandlers();
    // The relaunch helper's arguments for this process.
    QStringList relaunchHelperArguments(double delaySeconds) const;

signals:
    void enablePostViewControlsChanged();
    void importExportPostsEnabledChanged();
    // The quit is through; the exit handler runs next.
    void willExit();

private:
    void applyMainWindowLook();
    // Shows the notice of posts the store could not open (once told) over the main window, once
    // that window is on the screen.
    void presentSkippedPostsNotice();
    void finishTermination();
    void quitSaveDidFinish(bool success, TerminationMode mode);
    void logTime(const char* label);
    void schedulePeriodicSave();

    QDateTime m_timeSinceLastSave;
    double m_lastSaveOnClock = 0.0;   // the same moment on the shared clock's monotonic scale
    QDateTime m_appBootTime;
    QPointer<platform::ui::WindowController> m_swc;
    bool m_performedQuitSave = false;
    bool m_performedBackupQuery = false;
    bool m_enablePostViewControls = false;
    bool m_importExportPostsEnabled = false;
    QPointer<PLRBaseWindowController> m_baseWindowController;
    QPointer<PLRStandardUpdaterController> m_updateController;
    std::unique_ptr<PLRCrashReporter> m_crashReporter;
    platform::Cancellable m_pendingSave;
    std::function<void(int)> m_exitHandler;
    double m_sessionEventTimeout = 5.0;
    bool m_launchFinished = false;
    bool m_coreStarted = false;
    bool m_quitInProgress = false;
    bool m_quitAfterMigration = false;
    TerminationMode m_quitMode = TerminationMode::Normal;
    bool m_exited = false;
    double m_relaunchDelay = -1.0;
    QDateTime m_relaunchRequestedAt;
    QStringList m_pendingArguments;
    QPointer<PLRPreferencesWindowController> m_settingsWindowController;
    QPointer<platform::ui::WindowController> m_serviceHostWindowController;
    QPointer<PLRMainMenu> m_mainMenu;
    PLRLogUploader* m_logUploader = nullptr;
    PLRHelpManager* m_helpManager = nullptr;
    QObject m_observer;
    std::function<void(QWidget*)> m_pendingSkippedPostsNotice;
};
