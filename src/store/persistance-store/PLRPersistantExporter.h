#pragma once

#include <QString>

#include <functional>

// Posted (no object, no user info) before every forced save: the Save command, a backup, an export.
inline constexpr char kPLR_NOTIFICATION_WILL_SAVE[] = "kPLR_NOTIFICATION_WILL_SAVE";

// Store backups made and restored on the user's request.
class PLRPersistantExporter {
public:
    // Asks for a folder and writes a backup of the store there (after a save). Nothing when
    // the user cancels; an alert when the backup fails. Answers whether a backup was written.
    static bool exportDatabase();

    // Restores the store from a backup: refuses one older than "1.0.1" ("Backup is too old")
    // and one that cannot be read, before anything is touched; otherwise signs out, replaces
    // the store's account and image-cache folders, tells the user that the application
    // restarts and calls the relaunch handler. Answers whether the store was replaced.
    static bool importDatabaseWithURL(const QString& path);

    // Asks showImportDatabaseWarning, then for a backup, then imports it.
    static bool selectPathAndImportDatabase();

    // Asks for the automatic-backup folder; a choice turns automatic backup on and stores the
    // folder. A cancelled choice changes nothing.
    static void setExportDirectory();

    // "Import Backup": true when the user answers "Proceed".
    static bool showImportDatabaseWarning();

    // Saves and relaunches the application after an import; registered by the shell.
    static void setRelaunchHandler(std::function<void()> handler);
};
