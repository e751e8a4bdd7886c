// The application delegate itself: its lifetime, the shared instance, the start-up timing log,
// the main window it owns and the post view's controls and toolbar.

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

using namespace platform::ui;

namespace {

AppDelegate* gShared = nullptr;

} // namespace

AppDelegate::AppDelegate(QObject* parent) : QObject(parent)
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

void AppDelegate::logTime(const char* label)
{
    const double seconds = double(platform::Clock::shared().wallTime().msecsTo(m_timeSinceLastSave)) / 1000.0;
    PLR_LOG_INFO(QStringLiteral("TIME LOG (%1): %2").arg(QLatin1String(label), QString::number(seconds, 'f', 6)));
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

// ---------------------------------------------------------------- post view and toolbar

void AppDelegate::togglePostView(const platform::Notification& notification)
{
    const QVariant appeared = notification.userInfo.value(QLatin1String(kPLRPostViewAppearedKey));
    if (!appeared.isValid())
        return;
    // The controls follow the screens on the window, not the last notice: a switch between
    // posts shows the new post before the old one leaves, so the last notice is a leaving one.
    bool shown = appeared.toBool();
    if (m_baseWindowController)
        if (PLRBaseViewController* content = m_baseWindowController->contentViewController())
            shown = content->isShowingPost();
    setEnablePostViewControls(shown);
    enableToolbarItems(shown);
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
