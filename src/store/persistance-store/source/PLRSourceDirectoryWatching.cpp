#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "platform/Clock.h"

#include "store/persistance-store/source/PLRSourceDirectoryPrivate.h"
#include "store/persistance-store/PLRFileUtilities.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Plist.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <sys/stat.h>

void PLRSourceDirectory::startWatching()
{
    m_watching = true;
    {
        QMutexLocker lock(&m_progress->mutex);
        m_progress->scanDone = false;
    }
    {
        QMutexLocker lock(&m_mutex);
        if (m_state != StateLocationUnavailable && m_state != StateAccessDenied)
            m_state = StateLoading;
    }
    // The folder is watched before the first scan lists it: nothing that happens in between
    // goes unseen.
    rearmWatches();
    queueRescan();
}

void PLRSourceDirectory::stopWatching()
{
    m_watching = false;
    m_rescanSoon.cancel();
    const QStringList paths = m_watcher->directories() + m_watcher->files();
    if (!paths.isEmpty())
        m_watcher->removePaths(paths);
}

void PLRSourceDirectory::onFileSystemEvent(const QString& changed)
{
    if (!m_watching)
        return;
    const QString folder = path();
    if (changed == m_watchedAncestor && changed != folder && !m_watchDirectories.contains(changed)) {
        // Something changed above the photo folder: the folder itself may have come, gone or
        // moved (its own watch does not tell of that), or a missing level of its path may be
        // back. The watch moves down to what is there now (onto the folder itself when it is
        // back, which then is looked at again).
        bool asSeen = false;
        {
            QMutexLocker lock(&m_mutex);
            const FolderIdentity now = identityOf(folder);
            asSeen = m_folderSeen && now.sameFolder(m_seenFolder) && !now.movedSince(m_seenFolder);
        }
        if (!asSeen || m_watchRootMissing)
            rearmWatches();
        if (asSeen)
            return;   // the change was beside the photo folder
        noteFolderMoving();
    } else if (changed == folder && !m_watcher->directories().contains(folder)) {
        // The folder's own watch ended with it: it was removed.
        noteFolderMoving();
    }
    rescanAfter(m_config.debounceMs / 1000.0);
}

PLRSourceDirectory::FolderIdentity PLRSourceDirectory::identityOf(const struct stat& st)
{
    if (!S_ISDIR(st.st_mode))
        return {};
    return {true, quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec,
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

PLRSourceDirectory::FolderIdentity PLRSourceDirectory::identityOf(const QString& folder)
{
    struct stat st {};
    if (folder.isEmpty() || ::stat(QFile::encodeName(folder).constData(), &st) != 0)
        return {};
    return identityOf(st);
}

PLRSourceDirectory::FolderIdentity PLRSourceDirectory::identityOfOpened(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return {};
    return identityOf(st);
}

void PLRSourceDirectory::noteFolderSeen(const FolderIdentity& seen, bool relink, bool* cameBack, bool* replaced)
{
    bool moved = false;
    {
        QMutexLocker lock(&m_mutex);
        *cameBack = m_folderSeen && !relink && !m_seenFolder.present && seen.present;
        *replaced = seen.present && m_lastPresentFolder.present && !seen.sameFolder(m_lastPresentFolder);
        moved = m_folderSeen && !seen.sameFolder(m_seenFolder);
        m_seenFolder = seen;
        m_folderSeen = true;
        if (seen.present)
            m_lastPresentFolder = seen;
    }
    if (moved || *replaced)
        noteFolderMoving();
}

QStringList PLRSourceDirectory::watchedPaths() const
{
    return m_watcher->directories() + m_watcher->files();
}

void PLRSourceDirectory::rescanAfter(double seconds)
{
    m_rescanSoon.cancel();
    m_rescanSoon = platform::Clock::shared().after(seconds, this, [this] {
        m_rescanSoon = {};
        if (m_watching)
            queueRescan();
    });
}

void PLRSourceDirectory::queueRescan(bool relink)
{
    if (!m_queue || m_stopping)
        return;
    if (!relink && m_rescanQueued.exchange(true))
        return;
    m_queue->async([this, relink] {
        if (!relink)
            m_rescanQueued = false;
        scan(relink);
    });
}

void PLRSourceDirectory::scheduleWatchUpdate(const QStringList& directories, const QStringList& files, bool rootMissing,
                                             bool anew)
{
    if (m_stopping)
        return;
    QMetaObject::invokeMethod(this, [this, directories, files, rootMissing, anew] {
        applyWatchPaths(directories, files, rootMissing, anew);
    }, Qt::QueuedConnection);
}

namespace {

// The nearest folder there is above `folder` (itself excluded); empty when there is none.
QString nearestExistingAncestor(const QString& folder)
{
    QString current = QDir::cleanPath(folder);
    while (!current.isEmpty() && current != QLatin1String("/")) {
        const qsizetype slash = current.lastIndexOf(QLatin1Char('/'));
        if (slash < 0)
            return {};
        current = slash == 0 ? QStringLiteral("/") : current.left(slash);
        if (QFileInfo(current).isDir())
            return current;
    }
    return {};
}

} // namespace

void PLRSourceDirectory::applyWatchPaths(const QStringList& directories, const QStringList& files, bool rootMissing,
                                         bool anew)
{
    if (!m_watching)
        return;
    m_watchDirectories = directories;
    m_watchFiles = files;
    m_watchRootMissing = rootMissing;
    if (anew) {
        // The watches follow the folders they were made on, wherever those went.
        const QStringList paths = m_watcher->directories() + m_watcher->files();
        if (!paths.isEmpty())
            m_watcher->removePaths(paths);
    }
    const QString folder = path();
    QSet<QString> wanted;
    for (const QString& directory : directories) {
        if (wanted.size() >= plr::sourcedirectory::kMaxWatchedDirectories)
            break;
        wanted.insert(directory);
    }
    for (const QString& file : files)
        wanted.insert(file);
    bool armedNew = false;
    // The photo folder whenever it is there, and the nearest folder there is above it: the
    // photo folder's renaming, moving or removal shows there (its own watch does not tell of
    // it), and so does its return or the return of a missing level of its path. A level that
    // comes while the watch moves is found by looking again until nothing nearer is there.
    for (int attempt = 0; !folder.isEmpty() && attempt < 64; ++attempt) {
        QSet<QString> desired = wanted;
        if (QFileInfo(folder).isDir())
            desired.insert(folder);
        const QString ancestor = nearestExistingAncestor(folder);
        m_watchedAncestor = ancestor;
        if (!ancestor.isEmpty())
            desired.insert(ancestor);

        QSet<QString> current;
        for (const QString& p : m_watcher->directories())
            current.insert(p);
        for (const QString& p : m_watcher->files())
            current.insert(p);
        const QSet<QString> toRemove = current - desired;
        const QSet<QString> toAdd = desired - current;
        if (!toRemove.isEmpty())
            m_watcher->removePaths(QStringList(toRemove.cbegin(), toRemove.cend()));
        if (!toAdd.isEmpty()) {
            const QStringList failed = m_watcher->addPaths(QStringList(toAdd.cbegin(), toAdd.cend()));
            if (!failed.isEmpty())
                PLR_LOG_DEBUG(QStringLiteral("Could not watch %1 paths of %2").arg(failed.size()).arg(folder));
            for (const QString& added : toAdd) {
                if (added != ancestor && !failed.contains(added))
                    armedNew = true;
            }
        }
        if (nearestExistingAncestor(folder) == ancestor && QFileInfo(folder).isDir() == desired.contains(folder))
            break;
    }
    bool scannedOnce = false;
    {
        QMutexLocker lock(&m_mutex);
        scannedOnce = m_scannedOnce;
    }
    if (armedNew && scannedOnce)
        rescanAfter(m_config.debounceMs / 1000.0);
}
