#pragma once

// The source folder's inner records, shared by the files that implement PLRSourceDirectory:
// the progress it reports, a folder's listing, and what one scan found and did.

#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "store/persistance-store/source/PLRImageMetadata.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

namespace plr::sourcedirectory {

// Paths handed to the file-system watcher; beyond them folder events still cover additions,
// removals and renames.
inline constexpr int kMaxWatchedDirectories = 2048;
inline constexpr int kMaxWatchedFiles = 4096;
// While the folder cannot be found it is looked for this often (seconds), besides the watch of
// the levels of its path.
inline constexpr double kLookForMissingFolderSeconds = 3.0;

} // namespace plr::sourcedirectory

struct PLRSourceDirectory::Progress {
    QMutex mutex;
    std::function<void(const PLRSourceDirectoryProgressInfo&)> callback;
    qint64 loaded = 0;
    qint64 cached = 0;
    qint64 pending = 0;
    bool scanDone = false;

    PLRSourceDirectoryProgressInfo info() const
    {
        return {loaded, cached, scanDone && pending == 0};
    }
    void report()
    {
        std::function<void(const PLRSourceDirectoryProgressInfo&)> call;
        PLRSourceDirectoryProgressInfo current;
        {
            QMutexLocker lock(&mutex);
            call = callback;
            current = info();
        }
        if (call)
            call(current);
    }
};

struct PLRSourceDirectory::Listing {
    QHash<QString, QPair<QString, PLRFileStamp>> files;   // relative path -> absolute path, stamp
    QStringList directories;                               // absolute, the root first
    int rootErrno = 0;
    FolderIdentity root;                                   // the folder listed, as it was opened
};

// A file to read: new, changed, or coming back to a record.
struct PLRSourceDirectory::Work {
    QString relativePath;
    QString absolutePath;
    PLRFileStamp stamp;
    PLRSourceImagePtr image;   // the record it belongs to; null for a new photo
    PLRImageMetadata metadata;
    quint64 generation = 0;    // the folder's generation as the read began
    bool reuse = false;        // found as it was when last read: not read again
};

// What one scan found and did.
struct PLRSourceDirectory::Changes {
    QList<Work> work;
    QList<PLRSourceImagePtr> removed;    // present records whose file is gone
    QList<PLRSourceImagePtr> added;      // new records
    QList<PLRSourceImagePtr> updated;    // records whose file changed, moved or came back
    QList<PLRSourceImagePtr> toCache;
    QList<PLRSourceImagePtr> rejudge;    // decoded again: found unusable while the folder moved
    qsizetype reused = 0;                // of `updated`, files found as they were (not read)
    bool settling = false;               // a file may still be being written, or moving: look again soon
    bool firstScan = false;
    bool hadRecords = false;
};
