// The application delegate's menu commands: each forwards to the part that owns the work and
// does nothing while that part does not exist yet (no main window before the store is ready, no
// open post, nobody signed in).

#include "shell/prefs/PLRServiceHostWindowController.h"
#include "shell/AppDelegate.h"

#include "services/analytic/PLRAnalyticEvent.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "canvas/interaction/PLRVisualStateHandler.h"
#include "store/persistance-store/PLRPersistantExporter.h"
#include "platform/Log.h"
#include "platform/Resets.h"
#include "platform/Storyboard.h"
#include "platform/Workspace.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "shell/PLRBaseViewController.h"
#include "shell/PLRBaseWindowController.h"
#include "shell/PLRLogUploader.h"
#include "shell/PLRMainMenu.h"
#include "shell/home/PLRHomeViewController.h"
#include "shell/home/PLRShellHooks.h"
#include "shell/prefs/PLRPreferencesWindowController.h"

#include <QAction>
#include <QMenu>

namespace {


std::function<void()>& previewPanelToggler()
{
    static std::function<void()> toggler;
    static const bool joined = platform::resets::add([] { toggler = nullptr; });
    Q_UNUSED(joined);
    return toggler;
}

void fireEvent(const char* title)
{
    PLRAnalyticManager::coreAnalyticManager().fireAnalyticEvent(
        PLRAnalyticEvent::createEventWithTitle(QString::fromLatin1(title), {}));
}

PLRBaseViewController* rootController(PLRBaseWindowController* window)
{
    return window ? window->contentViewController() : nullptr;
}

} // namespace

void AppDelegate::setPreviewPanelToggler(std::function<void()> toggler)
{
    previewPanelToggler() = std::move(toggler);
}

bool AppDelegate::hasPreviewPanelToggler()
{
    return bool(previewPanelToggler());
}

void AppDelegate::newBlog()
{
    PLRBaseViewController* root = rootController(baseWindowController());
    if (!root || root->isShowingAuth())
        return;
    // A post is made in the signed-in account: without one there is nothing to make it in.
    if (!PLRCoreManager::userSession()) {
        PLR_LOG_INFO(QStringLiteral("New post asked for while nobody is signed in; nothing to do"));
        return;
    }
    root->moveHome(false);
    root->presentNewPost();
}

void AppDelegate::saveApplication()
{
    performSave(true);
}

void AppDelegate::exportPost()
{
    fireEvent("export_post_clicked");
    PLRBaseViewController* root = rootController(baseWindowController());
    if (!root)
        return;
    PLRPersistantPost* post = nullptr;
    if (PLRPostManager* manager = root->currentPostManager())
        post = manager->representedPost();
    else if (PLRHomeViewController* home = root->homeViewController())
        post = home->selectedPost();
    if (post)
        PLRShellHooks::exportPost(post);
}

void AppDelegate::importPost()
{
    fireEvent("import_post_clicked");
    PLRShellHooks::selectPathAndImportPost();
}

void AppDelegate::exportBackup()
{
    fireEvent("export_backup_clicked");
    PLRPersistantExporter::exportDatabase();
}

void AppDelegate::importBackup()
{
    importBackupFrom(nullptr);
}

void AppDelegate::importBackupFrom(QWidget* window)
{
    fireEvent("import_backup_clicked");
    PLRPersistantExporter::selectPathAndImportDatabase(window);
}

PLRPreferencesWindowController* AppDelegate::settingsWindowController() const
{
    return m_settingsWindowController;
}

void AppDelegate::showPrefs()
{
    if (!m_settingsWindowController) {
        m_settingsWindowController = qobject_cast<PLRPreferencesWindowController*>(platform::Storyboard::instantiate(
            QLatin1String(kPLRSettingsStoryboard), QLatin1String(kPLRPreferencesWindowControllerIdentifier)));
        if (!m_settingsWindowController)
            return;
        m_settingsWindowController->setParent(this);
    }
    platform::ui::Window* window = m_settingsWindowController->window();
    m_settingsWindowController->contentViewController()->viewWillAppear();
    window->makeKeyAndOrderFront();
}

void AppDelegate::logOut()
{
    if (!PLRCoreManager::userSession())
        return;
    PLRCoreManager::signOut();
}

void AppDelegate::toggleGallery()
{
    PLRVisualStateHandler::globalHandler().toggleGalleryVisible();
}

void AppDelegate::toggleInspector()
{
    PLRVisualStateHandler::globalHandler().toggleInspectorVisible();
}

void AppDelegate::goHome()
{
    if (PLRBaseWindowController* window = baseWindowController())
        window->goHomeAction(this);
}

void AppDelegate::zoomIn()
{
    PLRVisualStateHandler::globalHandler().incrementLayoutZoomFactorBy(0.1);
}

void AppDelegate::zoomOut()
{
    PLRVisualStateHandler::globalHandler().decrementLayoutZoomFactorBy(0.1);
}

void AppDelegate::zoomFitWidth()
{
    PLRVisualStateHandler::globalHandler().setLayoutZoomToFit();
}

void AppDelegate::zoom100()
{
    PLRVisualStateHandler::globalHandler().setLayoutZoomFactor(1.0);
}

void AppDelegate::togglePreviewPanel()
{
    if (previewPanelToggler())
        previewPanelToggler()();
    else
        PLR_LOG_INFO(QStringLiteral("There is no photo preview to show"));
}

void AppDelegate::clearLogs()
{
    const int removed = platform::log::clearLogFiles();
    PLR_LOG_INFO(QStringLiteral("Cleared %1 log file(s)").arg(removed));
}

PLRLogUploader* AppDelegate::logUploader()
{
    if (!m_logUploader)
        m_logUploader = new PLRLogUploader(this);
    return m_logUploader;
}

void AppDelegate::uploadLogsToSupport()
{
    logUploader()->uploadLogsToSupport();
}

void AppDelegate::presentHostOptionsWindow()
{
    if (!m_serviceHostWindowController) {
        m_serviceHostWindowController = qobject_cast<platform::ui::WindowController*>(platform::Storyboard::instantiate(
            QLatin1String(kPLRSettingsStoryboard), QLatin1String(kPLRServiceHostWindowControllerIdentifier)));
        if (!m_serviceHostWindowController)
            return; // logged by the storyboard
        m_serviceHostWindowController->setParent(this);
    }
    m_serviceHostWindowController->window()->makeKeyAndOrderFront();
}

PLRMainMenu* AppDelegate::mainMenu() const
{
    return m_mainMenu;
}

void AppDelegate::presentHelp(const QUrl& url)
{
    // The item that chose the address gives the article's title.
    QString title;
    if (m_mainMenu && m_mainMenu->helpMenu()) {
        const QList<QAction*> actions = m_mainMenu->helpMenu()->findChildren<QAction*>();
        for (QAction* action : actions)
            if (action->data().toString() == url.toString()) {
                title = action->text();
                break;
            }
    }
    if (title == QLatin1String("View Support")) {
        QUrl home = PLRDefaults::supportURLForPath(QString());
        home.setPath(QString());
        platform::Workspace::shared().openURL(home);
        return;
    }
    PLRAnalyticManager::coreAnalyticManager().fireAnalyticEvent(PLRAnalyticEvent::createEventWithTitle(
        QStringLiteral("click_on_help_menu"), {{QStringLiteral("article"), title}}));
    platform::Workspace::shared().openURL(url);
}
