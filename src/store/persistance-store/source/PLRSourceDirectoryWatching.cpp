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
    if (changed == m_watchedAncestor && !m_watchDirectories.contains(changed)) {
        // Something changed beside the photo folder: only the photo folder's own coming and
        // going matters (one look at it, no scan).
        bool asSeen = false;
        {
            QMutexLocker lock(&m_mutex);
            asSeen = m_folderSeen && identityOf(m_path) == m_seenFolder;
        }
        if (asSeen) {
            // A missing folder's nearer parents may have come: the watch moves down to them.
            if (m_watchRootMissing)
                applyWatchPaths(m_watchDirectories, m_watchFiles, true);
            return;
        }
    }
    rescanAfter(m_config.debounceMs / 1000.0);
}

PLRSourceDirectory::FolderIdentity PLRSourceDirectory::identityOf(const QString& folder)
{
    struct stat st {};
    if (folder.isEmpty() || ::stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return {};
    return {true, quint64(st.st_dev), quint64(st.st_ino)};
}

void PLRSourceDirectory::noteFolderSeen(const FolderIdentity& seen, bool relink, bool* cameBack, bool* replaced)
{
    QMutexLocker lock(&m_mutex);
    *cameBack = m_folderSeen && !relink && !m_seenFolder.present && seen.present;
    *replaced = seen.present && m_lastPresentFolder.present && !(seen == m_lastPresentFolder);
    m_seenFolder = seen;
    m_folderSeen = true;
    if (seen.present)
        m_lastPresentFolder = seen;
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
    QSet<QString> desired;
    for (const QString& directory : directories) {
        if (desired.size() >= plr::sourcedirectory::kMaxWatchedDirectories)
            break;
        desired.insert(directory);
    }
    for (const QString& file : files)
        desired.insert(file);
    // The nearest folder there is above the photo folder: the photo folder's renaming, moving
    // or removal shows there (its own watch does not tell of it), and so does its return.
    const QString folder = path();
    if (rootMissing && QFileInfo(folder).isDir())
        desired.insert(folder);
    m_watchedAncestor.clear();
    QDir parent(folder);
    while (!folder.isEmpty() && parent.cdUp()) {
        if (parent.exists()) {
            m_watchedAncestor = parent.absolutePath();
            desired.insert(m_watchedAncestor);
            break;
        }
    }
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
            PLR_LOG_DEBUG(QStringLiteral("Could not watch %1 paths of %2").arg(failed.size()).arg(path()));
    }
}
