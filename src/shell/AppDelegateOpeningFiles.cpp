// The application delegate opening what it is handed: post files, backups and addresses, and
// the main window brought forward when the application is opened again.

#include "shell/AppDelegate.h"
#include "platform/Resets.h"
#include "shell/AppDelegatePrivate.h"

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

#include <QFileInfo>
#include <QSet>

using namespace platform::ui;
using plr::appdelegate::showAlert;

namespace {

std::function<bool(const QString&)>& postFileImporter()
{
    static std::function<bool(const QString&)> importer;
    static const bool joined = platform::resets::add([] { importer = nullptr; });
    (void)joined;
    return importer;
}

} // namespace

void AppDelegate::setPostFileImporter(std::function<bool(const QString&)> importer)
{
    postFileImporter() = std::move(importer);
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

// ---------------------------------------------------------------- reopen

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
