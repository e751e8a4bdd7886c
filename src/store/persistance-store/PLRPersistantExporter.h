#pragma once

#include <QString>

class QWidget;

#include <functional>

// Posted (no object, no user info) before every forced save: the Save command, a backup, an export.
inline constexpr char kPLR_NOTIFICATION_WILL_SAVE[] = "kPLR_NOTIFICATION_WILL_SAVE";

// Store backups made and restored on the user's request.
class PLRPersistantExporter {
public:
    // The stages of a backup export that the progress display is told, on the main thread.
    enum class ExportStage { Started, Copying, Finished };
    using ExportProgressHandler =
        std::function<void(ExportStage stage, const QString& destination, qint64 done, qint64 total)>;
    using ExportCompletion = std::function<void(bool written, const QString& destination)>;

    // Asks for a folder and writes a backup of the store there, after a save, on the save
    // queue: the main thread goes on while the files are copied, the progress handler is
    // told how far the copy is, and the user is told where the backup went (or an alert
    // says why it failed). Nothing when the user cancels. Answers whether the export was
    // started; `completion` runs on the main thread once it has ended.
    static bool exportDatabase(ExportCompletion completion = {});
    // Shows the progress of a backup export; registered by the shell.
    static void setExportProgressHandler(ExportProgressHandler handler);

    // Restores the store from a backup: refuses one older than "1.0.1" ("Backup is too old")
    // and one that cannot be read, before anything is touched; otherwise signs out, replaces
    // the store's account and image-cache folders, tells the user that the application
    // restarts and calls the relaunch handler. Answers whether the store was replaced.
    static bool importDatabaseWithURL(const QString& path);

    // Asks showImportDatabaseWarning, then for a backup, then imports it. The question and the
    // folder chooser belong to `window` (the one asking: Preferences, the main window); without
    // one, to the window that has the keyboard.
    static bool selectPathAndImportDatabase(QWidget* window = nullptr);

    // Asks for the automatic-backup folder; a choice turns automatic backup on and stores the
    // folder. A cancelled choice changes nothing.
    static void setExportDirectory();

    // "Import Backup": true when the user answers "Proceed".
    static bool showImportDatabaseWarning(QWidget* window = nullptr);

    // Saves and relaunches the application after an import; registered by the shell.
    static void setRelaunchHandler(std::function<void()> handler);
};
