#include "store/persistance-store/PLRPersistantExporter.h"
#include "platform/Resets.h"

#include "store/persistance-store/PLRPersistantBackup.h"
#include "platform/Alert.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Workspace.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRDefaults.h"

#include <QDateTime>
#include <QFileInfo>

#include <atomic>
#include <memory>

namespace {

std::function<void()>& relaunchHandler()
{
    static std::function<void()> handler;
    static const bool joined = platform::resets::add([] { handler = nullptr; });
    (void)joined;
    return handler;
}

std::function<void(PLRPersistantExporter::ExportStage, const QString&, qint64, qint64)>& exportProgressHandler()
{
    static PLRPersistantExporter::ExportProgressHandler handler;
    static const bool joined = platform::resets::add([] { handler = nullptr; });
    (void)joined;
    return handler;
}

using platform::showAlert;

} // namespace

void PLRPersistantExporter::setRelaunchHandler(std::function<void()> handler)
{
    relaunchHandler() = std::move(handler);
}

void PLRPersistantExporter::setExportProgressHandler(ExportProgressHandler handler)
{
    exportProgressHandler() = std::move(handler);
}

bool PLRPersistantExporter::exportDatabase(ExportCompletion completion)
{
    platform::PanelRequest request;
    request.kind = platform::PanelRequest::Kind::OpenDirectory;
    request.title = QStringLiteral("Export Backup");
    request.message = QStringLiteral("Select a folder to save a backup of your Pellora database to.");
    request.prompt = QStringLiteral("Export");
    const std::optional<QString> folder = platform::FilePanels::shared().run(request);
    if (!folder || folder->isEmpty())
        return false;

    // The backup holds what the user sees: save first, and write after that save.
    platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kPLR_NOTIFICATION_WILL_SAVE));
    PLRCoreManager::save();
    const QString destination = *folder
        + QStringLiteral("/Pellora Backup %1.plrbackup")
              .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")));
    const auto tell = [destination](ExportStage stage, qint64 done, qint64 total) {
        if (exportProgressHandler())
            exportProgressHandler()(stage, destination, done, total);
    };
    tell(ExportStage::Started, 0, 0);

    // The copy reports to the main thread at most one update at a time: a store of many
    // small files must not flood the main queue.
    struct Shared {
        std::atomic<qint64> done{0};
        std::atomic<qint64> total{0};
        std::atomic_bool updatePending{false};
    };
    auto shared = std::make_shared<Shared>();
    const QString where = *folder;
    PLRCoreManager::saveQueue().async([shared, destination, where, tell, completion = std::move(completion)] {
        platform::Error error;
        const bool written = PLRPersistantBackup::writeBackup(destination, &error, [shared, tell](qint64 done, qint64 total) {
            shared->done = done;
            shared->total = total;
            if (shared->updatePending.exchange(true))
                return;
            platform::dispatchMain([shared, tell] {
                shared->updatePending = false;
                tell(ExportStage::Copying, shared->done, shared->total);
            });
        });
        platform::dispatchMain([shared, destination, where, tell, completion, written, error] {
            tell(ExportStage::Finished, shared->done, shared->total);
            if (!written) {
                PLR_LOG_ERROR(QStringLiteral("Backup to %1 failed: %2").arg(destination, error.toString()));
                showAlert(QStringLiteral("Backup Failed"),
                          QStringLiteral("The backup could not be written to \"%1\".\n%2")
                              .arg(where, error.localizedDescription()));
            } else {
                PLR_LOG_INFO(QStringLiteral("Backup written to %1").arg(destination));
                platform::Alert alert;
                alert.messageText = QStringLiteral("Backup Exported");
                alert.informativeText = QStringLiteral("Your Pellora database was backed up to \"%1\".").arg(destination);
                alert.buttons = {QStringLiteral("OK"), QStringLiteral("Show in Folder")};
                alert.escapeButton = 0;
                alert.style = platform::AlertStyle::Informational;
                if (platform::runAlert(alert).response == platform::kAlertSecondButtonReturn)
                    platform::Workspace::shared().revealInFileManager({destination});
            }
            if (completion)
                completion(written, destination);
        });
    });
    return true;
}

bool PLRPersistantExporter::importDatabaseWithURL(const QString& path)
{
    bool tooOld = false;
    platform::Error error;
    if (!PLRPersistantBackup::validateBackup(path, &tooOld, &error)) {
        PLR_LOG_WARN(QStringLiteral("Backup %1 refused: %2").arg(path, error.toString()));
        if (tooOld)
            showAlert(QStringLiteral("Backup is too old"),
                      QStringLiteral("This backup was made by an older version of Pellora and cannot be imported."));
        else
            showAlert(QStringLiteral("Import Failed"), error.localizedFailureReason().isEmpty()
                                                           ? error.localizedDescription()
                                                           : error.localizedFailureReason());
        return false;
    }
    const bool restored = PLRPersistantBackup::restoreBackup(path, &error, [] { PLRCoreManager::signOut(); });
    if (!restored) {
        PLR_LOG_ERROR(QStringLiteral("Import of backup %1 failed: %2").arg(path, error.toString()));
        showAlert(QStringLiteral("Import Failed"), QStringLiteral("The backup could not be imported. Your data was not changed."));
        return false;
    }
    PLR_LOG_INFO(QStringLiteral("Store replaced from backup %1").arg(path));
    platform::dispatchMain([] {
        showAlert(QStringLiteral("Backup Imported"),
                  QStringLiteral("Pellora will now restart to finish importing your backup."),
                  platform::AlertStyle::Informational);
        if (relaunchHandler())
            relaunchHandler()();
        else
            PLR_LOG_WARN(QStringLiteral("No relaunch handler: restart Pellora to use the imported backup"));
    });
    return true;
}

bool PLRPersistantExporter::selectPathAndImportDatabase(QWidget* window)
{
    if (!showImportDatabaseWarning(window))
        return false;
    platform::PanelRequest request;
    request.kind = platform::PanelRequest::Kind::OpenDirectory;
    request.title = QStringLiteral("Import Backup");
    request.message = QStringLiteral("Select a Pellora backup (.plrbackup) to import.");
    request.prompt = QStringLiteral("Import");
    // Named, not left to the window with the keyboard: right after the question closes, no
    // window of ours may have it yet.
    const std::optional<QString> path = platform::FilePanels::shared().run(request, window);
    if (!path || path->isEmpty())
        return false;
    return importDatabaseWithURL(*path);
}

void PLRPersistantExporter::setExportDirectory()
{
    platform::PanelRequest request;
    request.kind = platform::PanelRequest::Kind::OpenDirectory;
    request.title = QStringLiteral("Backup Location");
    request.message = QStringLiteral("Select a folder for the automatic backups of your Pellora database.");
    request.prompt = QStringLiteral("Select");
    const std::optional<QString> folder = platform::FilePanels::shared().run(request);
    if (!folder || folder->isEmpty())
        return;
    PLRDefaults::setShouldExportDatabase(true);
    PLRDefaults::setExportDatabasePath(*folder);
    // The folder is remembered by its plain path.
    PLRDefaults::setExportDatabaseBookmark(folder->toUtf8());
}

bool PLRPersistantExporter::showImportDatabaseWarning(QWidget* window)
{
    platform::Alert alert;
    alert.messageText = QStringLiteral("Import Backup");
    alert.informativeText = QStringLiteral(
        "Importing a backup replaces all data of the active session with the backup's. This cannot be undone.");
    alert.buttons = {QStringLiteral("Proceed"), QStringLiteral("Cancel")};
    return platform::runAlert(alert, window).response == platform::kAlertFirstButtonReturn;
}
