#pragma once

#include "platform/Error.h"

#include <QDate>
#include <QString>

#include <functional>

inline constexpr const char* kPLRBackupExtension = "plrbackup";
inline constexpr const char* kPLRBackupInfoFileName = "info.plist";
inline constexpr const char* kPLRBackupKeyVersion = "version";
inline constexpr const char* kPLRBackupKeyDate = "date";
// Backups older than this cannot be restored.
inline constexpr const char* kPLRBackupMinimumVersion = "1.0.1";

// Store backups: a "<name>.plrbackup" folder holding the store's "ds" and "loc" folders and an
// info.plist with the store version.
class PLRPersistantBackup {
public:
    // When automatic backup is on, a folder is set and a user is signed in: queues the writing
    // of today's backup into the backup folder (after the saves already queued), unless
    // today's backup is already there. Nothing otherwise.
    static void performAutoBackup();

    // The path of the automatic backup of `day` in `folder`.
    static QString autoBackupPath(const QString& folder, const QDate& day);

    // Told, on the writing thread, the bytes copied so far and the bytes to copy in all.
    using Progress = std::function<void(qint64 done, qint64 total)>;

    // Writes a backup of the store to `destination` (a "*.plrbackup" path) on the calling
    // thread: copied beside it first, then moved into place, replacing an older one.
    static bool writeBackup(const QString& destination, platform::Error* error = nullptr,
                            const Progress& progress = {});

    // Checks a backup before anything of the store is touched: a readable info.plist whose
    // version is at least the minimum, and readable account bundles. `tooOld` tells the
    // version check apart from the others.
    static bool validateBackup(const QString& path, bool* tooOld, platform::Error* error = nullptr);

    // Replaces the store's "ds" and "loc" with the backup's. Copies the backup beside the
    // store first (nothing of the store touched), then calls `beforeSwap` (main thread), then
    // swaps the folders on the save queue, after the writes already queued. On any failure
    // the store is left as it was.
    static bool restoreBackup(const QString& path, platform::Error* error = nullptr,
                              const std::function<void()>& beforeSwap = {});
};
