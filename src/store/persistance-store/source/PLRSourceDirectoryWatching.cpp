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

#include <algorithm>
#include <optional>

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
    m_lookForFolder.cancel();
    const QStringList paths = m_watcher->directories() + m_watcher->files();
    if (!paths.isEmpty())
        m_watcher->removePaths(paths);
    m_watchedKeys.clear();
    m_levels.clear();
}

bool PLRSourceDirectory::levelsAsWatched() const
{
    for (const auto& [level, then] : m_levels) {
        const FolderIdentity now = identityOf(level);
        if (!now.sameFolder(then) || now.movedSince(then))
            return false;
    }
    return true;
}

void PLRSourceDirectory::onFileSystemEvent(const QString& changed)
{
    if (!m_watching)
        return;
    const QString folder = path();
    const bool atLevel = changed != folder && std::any_of(m_levels.cbegin(), m_levels.cend(), [&changed](const auto& level) {
                             return level.first == changed;
                         });
    // Reached through a link, the folder is also watched at the path the link leads to, and a
    // watch made twice on one folder tells of its changes under one of its paths only: a change
    // told at a level that is the folder itself is a change in the folder.
    const bool itself = atLevel && [&] {
        const FolderIdentity level = identityOf(changed);
        return level.present && level.sameFolder(identityOf(folder));
    }();
    const bool above = atLevel && !itself;
    if (above && !m_watchDirectories.contains(changed)) {
        // Something changed in a folder above the photo folder: a level of its path (the folder
        // itself, its parent, any folder up to the root) may have been renamed, moved, removed
        // or replaced (the watch of a renamed folder follows it and tells nothing), or a missing
        // level may be back. Every watch then moves to what is at the path now, and the folder
        // is looked at again: gone, its photos are missing; another folder at the path is the
        // post's folder.
        bool asSeen = levelsAsWatched();
        {
            QMutexLocker lock(&m_mutex);
            const FolderIdentity now = identityOf(folder);
            // Before the first look has seen the folder, the levels as watched are all there is
            // to compare with (that look sees what is at the path).
            asSeen = asSeen && (!m_folderSeen || (now.sameFolder(m_seenFolder) && !now.movedSince(m_seenFolder)));
        }
        if (asSeen)
            return;   // the change was beside the path
        rearmWatches();
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
    return {true, quint64(st.st_dev), quint64(st.st_ino), nanosecondsOf(st.st_ctim), nanosecondsOf(st.st_mtim)};
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
    // Put off by each change, for a burst of them to be looked at once; but never by more than a
    // few quiet times past the first: a folder that never rests (a folder above it that other
    // programs keep writing to, a camera still copying) is looked at all the same.
    const double now = platform::Clock::shared().now();
    if (!rescanScheduled())
        m_rescanAskedAt = now;
    else if (now - m_rescanAskedAt >= kRescanPutOffLimit * seconds)
        return;   // the look waiting comes as it is
    m_rescanSoon.cancel();
    m_rescanSoon = platform::Clock::shared().after(seconds, this, [this] {
        m_rescanSoon = {};
        if (m_watching)
            queueRescan();
    });
}

void PLRSourceDirectory::lookForTheFolderLater()
{
    QMetaObject::invokeMethod(this, [this] {
        if (!m_watching || isLookingForTheFolder())
            return;
        if (QFileInfo(path()).isDir()) {
            // Back already (a drive mounted tells the watches nothing): looked at now.
            queueRescan();
            return;
        }
        m_lookForFolder = platform::Clock::shared().after(plr::sourcedirectory::kLookForMissingFolderSeconds, this, [this] {
            m_lookForFolder = {};
            if (m_watching)
                queueRescan();
        });
    }, Qt::QueuedConnection);
}

void PLRSourceDirectory::stopLookingForTheFolder()
{
    QMetaObject::invokeMethod(this, [this] { m_lookForFolder.cancel(); }, Qt::QueuedConnection);
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

// The folder and every folder above it, up to the root.
QStringList pathLevels(const QString& folder)
{
    QStringList levels;
    QString current = QDir::cleanPath(folder);
    if (!current.startsWith(QLatin1Char('/')))
        return levels;
    while (true) {
        levels.append(current);
        if (current == QLatin1String("/"))
            break;
        const qsizetype slash = current.lastIndexOf(QLatin1Char('/'));
        current = slash == 0 ? QStringLiteral("/") : current.left(slash);
    }
    return levels;
}

// Every level of the photo folder's path: the folder and the folders above it, and, where a
// level is a link, the folders above the place it leads to (their renaming takes the photo
// folder away as well).
QStringList levelsOf(const QString& folder)
{
    QStringList levels = pathLevels(folder);
    // The deepest level there is, resolved, with the levels missing below it.
    for (qsizetype i = 0; i < levels.size(); ++i) {
        const QString resolved = QFileInfo(levels[i]).canonicalFilePath();
        if (resolved.isEmpty())
            continue;
        if (resolved != levels[i]) {
            const QString tail = levels[0].mid(levels[i].size());
            for (const QString& level : pathLevels(resolved + tail))
                if (!levels.contains(level))
                    levels.append(level);
        }
        break;
    }
    return levels;
}

// The device and inode a watch made at the path now would watch; none when nothing is there.
std::optional<QPair<quint64, quint64>> watchKeyOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return QPair<quint64, quint64>(quint64(st.st_dev), quint64(st.st_ino));
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
        m_watchedKeys.clear();
    }
    const QString folder = path();
    const QStringList levels = levelsOf(folder);
    QSet<QString> wanted;
    for (const QString& directory : directories) {
        if (wanted.size() >= plr::sourcedirectory::kMaxWatchedDirectories)
            break;
        wanted.insert(directory);
    }
    for (const QString& file : files)
        wanted.insert(file);
    bool armedNew = false;
    // A level that comes, goes or moves while the watches are made is found by looking again
    // until every level is as it was when they were.
    for (int attempt = 0; !folder.isEmpty() && attempt < 64; ++attempt) {
        QList<QPair<QString, FolderIdentity>> seen;
        QSet<QString> desired = wanted;
        for (const QString& level : levels) {
            const FolderIdentity identity = identityOf(level);
            seen.append({level, identity});
            if (identity.present)
                desired.insert(level);
        }
        // Kept: the watches wanted still that watch what is at their path now.
        QSet<QString> kept;
        QStringList toRemove;
        for (const QString& p : m_watcher->directories() + m_watcher->files()) {
            const auto key = watchKeyOf(p);
            if (desired.contains(p) && key && m_watchedKeys.value(p) == *key)
                kept.insert(p);
            else
                toRemove.append(p);
        }
        if (!toRemove.isEmpty()) {
            m_watcher->removePaths(toRemove);
            for (const QString& p : std::as_const(toRemove))
                m_watchedKeys.remove(p);
        }
        QStringList toAdd;
        for (const QString& p : std::as_const(desired)) {
            if (kept.contains(p))
                continue;
            // Taken before the watch is made: should the path change in between, the watch is
            // found to watch something else at the next look and made again.
            const auto key = watchKeyOf(p);
            if (!key)
                continue;
            m_watchedKeys.insert(p, *key);
            toAdd.append(p);
        }
        if (!toAdd.isEmpty()) {
            const QStringList failed = m_watcher->addPaths(toAdd);
            if (!failed.isEmpty())
                PLR_LOG_DEBUG(QStringLiteral("Could not watch %1 paths of %2").arg(failed.size()).arg(folder));
            for (const QString& p : failed)
                m_watchedKeys.remove(p);
            for (const QString& added : std::as_const(toAdd)) {
                // A new watch of the photo folder or of what is in it (not of a folder above it).
                if ((added == folder || !levels.contains(added)) && !failed.contains(added))
                    armedNew = true;
            }
        }
        m_levels = seen;
        if (levelsAsWatched())
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
