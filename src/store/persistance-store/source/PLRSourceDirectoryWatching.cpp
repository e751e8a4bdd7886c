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

void PLRSourceDirectory::onFileSystemEvent()
{
    if (m_watching)
        rescanAfter(m_config.debounceMs / 1000.0);
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

void PLRSourceDirectory::scheduleWatchUpdate(const QStringList& directories, const QStringList& files, bool rootMissing)
{
    if (m_stopping)
        return;
    QMetaObject::invokeMethod(this, [this, directories, files, rootMissing] {
        applyWatchPaths(directories, files, rootMissing);
    }, Qt::QueuedConnection);
}

void PLRSourceDirectory::applyWatchPaths(const QStringList& directories, const QStringList& files, bool rootMissing)
{
    if (!m_watching)
        return;
    QSet<QString> desired;
    for (const QString& directory : directories) {
        if (desired.size() >= plr::sourcedirectory::kMaxWatchedDirectories)
            break;
        desired.insert(directory);
    }
    for (const QString& file : files)
        desired.insert(file);
    if (rootMissing) {
        // Watch the nearest existing parent so the folder's return is noticed.
        QString folder = path();
        if (QFileInfo(folder).isDir())
            desired.insert(folder);
        QDir parent(folder);
        while (!folder.isEmpty() && parent.cdUp()) {
            if (parent.exists()) {
                desired.insert(parent.absolutePath());
                break;
            }
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
