// The application delegate as the updater's delegate, and the offer to turn on auto-updates.

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

using namespace platform::ui;

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
