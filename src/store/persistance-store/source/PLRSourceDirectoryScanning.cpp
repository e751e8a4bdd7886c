#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "platform/Clock.h"

#include "store/persistance-store/source/PLRSourceDirectoryPrivate.h"
#include "store/persistance-store/PLRFileUtilities.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Plist.h"

#include <QFileInfo>
#include <QTimer>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <set>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

// Deepest sub-folder level scanned; guards against pathological trees.
constexpr int kMaxFolderDepth = 32;

// A file modified this recently may still be being written: it is looked at again shortly.
constexpr qint64 kSettleNs = 400LL * 1000 * 1000;
constexpr double kSettleRescan = 0.45;   // seconds

const QSet<QString>& photoExtensions()
{
    static const QSet<QString> extensions = {
        QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"), QStringLiteral("gif"),
        QStringLiteral("tif"), QStringLiteral("tiff"), QStringLiteral("webp"), QStringLiteral("bmp"),
    };
    return extensions;
}

qint64 nowNs()
{
    return platform::Clock::shared().wallTime().toMSecsSinceEpoch() * 1000000;
}

// Lists the folder open at `fd` (taken over and closed) and, when `recursive`, its sub-folders,
// each opened from the one above it: the listing is of the folder that was opened, wherever it
// goes meanwhile, never of a folder found at its path later.
void listFolder(int fd, const QByteArray& absolute, const QString& relative, int depth, bool recursive,
                std::set<std::pair<dev_t, ino_t>>& visited,
                QHash<QString, QPair<QString, PLRFileStamp>>& files, QStringList& directories,
                int* rootErrno, const std::atomic_bool& stopping)
{
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        if (depth == 0)
            *rootErrno = error;
        else
            PLR_LOG_WARN(QStringLiteral("Cannot read folder %1: %2")
                             .arg(QFile::decodeName(absolute), QString::fromUtf8(std::strerror(error))));
        return;
    }
    directories.append(QFile::decodeName(absolute));
    std::vector<std::pair<QByteArray, QString>> subFolders;   // name, relative path
    while (struct dirent* entry = ::readdir(dir)) {
        if (stopping)
            break;
        const char* name = entry->d_name;
        if (name[0] == '.')
            continue;   // ".", "..", hidden files and folders
        struct stat st {};
        if (::fstatat(::dirfd(dir), name, &st, 0) != 0)
            continue;   // vanished meanwhile, or a broken link
        const QString decoded = QFile::decodeName(QByteArray(name));
        const QString childRelative = relative.isEmpty() ? decoded : relative + QLatin1Char('/') + decoded;
        const QByteArray full = absolute + '/' + name;
        if (S_ISDIR(st.st_mode)) {
            if (!recursive)
                continue;
            if (depth + 1 > kMaxFolderDepth) {
                PLR_LOG_WARN(QStringLiteral("Folder %1 is nested too deeply; skipped").arg(QFile::decodeName(full)));
                continue;
            }
            if (!visited.insert({st.st_dev, st.st_ino}).second) {
                PLR_LOG_INFO(QStringLiteral("Folder %1 was already scanned (link loop); skipped").arg(QFile::decodeName(full)));
                continue;
            }
            subFolders.emplace_back(QByteArray(name), childRelative);
        } else if (S_ISREG(st.st_mode)) {
            // Only regular files: a FIFO or device named like a photo is never opened.
            const QString extension = QFileInfo(decoded).suffix().toLower();
            if (!photoExtensions().contains(extension))
                continue;
            PLRFileStamp stamp = PLRFileStamp::of(st);
            files.insert(childRelative, {QFile::decodeName(full), stamp});
        }
    }
    // The folder stays open while its sub-folders are listed (one per level, at most
    // kMaxFolderDepth deep).
    for (const auto& [name, childRelative] : subFolders) {
        if (stopping)
            break;
        const QByteArray full = absolute + '/' + name;
        const int child = ::openat(::dirfd(dir), name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (child < 0) {
            PLR_LOG_WARN(QStringLiteral("Cannot read folder %1: %2")
                             .arg(QFile::decodeName(full), QString::fromUtf8(std::strerror(errno))));
            continue;
        }
        listFolder(child, full, childRelative, depth + 1, recursive, visited, files, directories, rootErrno, stopping);
    }
    ::closedir(dir);
}

// A stamp as a key; records without a known stamp never match.
QString stampKey(const PLRFileStamp& stamp)
{
    return QString::number(stamp.size) + QLatin1Char(':') + QString::number(stamp.modifiedNs);
}

} // namespace

void PLRSourceDirectory::markAllDeleted()
{
    // The photos that were there are told of as gone (the layout draws their blocks as missing,
    // as it does when a post opens on a missing folder); they come back as updated photos.
    QList<PLRSourceImagePtr> gone;
    for (const auto& image : images()) {
        if (!image->fileDeleted())
            gone.append(image);
        image->setFileDeleted(true);
    }
    if (gone.isEmpty())
        return;
    notifyDelegates([this, gone](PLRSourceDirectoryDelegate* delegate) {
        for (const auto& image : gone)
            delegate->sourceDirectoryDeletedImage(this, image);
    });
}

void PLRSourceDirectory::scan(bool relink)
{
    if (m_stopping)
        return;
    // A relinking look whose listing was disturbed is made again by the next one that lists.
    if (m_relinkPending)
        relink = true;
    const QString folder = path();
    const FolderIdentity seen = identityOf(folder);
    bool cameBack = false;
    bool replaced = false;
    if (!checkFolderUsable(folder, relink)) {
        noteFolderSeen(seen, relink, &cameBack, &replaced);
        reportScanDone();
        return;
    }
    const Listing listing = listFiles(folder);
    if (m_stopping)
        return;
    if (listing.rootErrno != 0) {
        noteFolderSeen(identityOf(folder), relink, &cameBack, &replaced);
        PLR_LOG_WARN(QStringLiteral("Cannot read source folder %1: %2")
                         .arg(folder, QString::fromUtf8(std::strerror(listing.rootErrno))));
        markAllDeleted();
        setState(listing.rootErrno == EACCES || listing.rootErrno == EPERM ? StateAccessDenied
                                                                            : StateLocationUnavailable);
        scheduleWatchUpdate({}, {}, true);
        if (listing.rootErrno == ENOENT || listing.rootErrno == ENOTDIR)
            lookForTheFolderLater();
        reportScanDone();
        return;
    }
    // A photo is gone from the folder only when a listing of the folder in place lacks it: the
    // folder listed must be the one at the path as the look began and still there now. One that
    // moved meanwhile tells nothing of its photos (their files are where it went): nothing is
    // taken from the listing, and the folder is looked at again once it is still.
    if (!listing.root.sameFolder(seen) || !identityOf(folder).sameFolder(listing.root)) {
        PLR_LOG_INFO(QStringLiteral("Source folder %1 moved while it was listed; looking again").arg(folder));
        noteFolderMoving();
        if (relink)
            m_relinkPending = true;
        lookAgainSoon();
        return;
    }
    m_relinkPending = false;
    noteFolderSeen(seen, relink, &cameBack, &replaced);
    stopLookingForTheFolder();
    Changes changes = compareWithRecords(folder, listing, relink, generation());
    readMetadata(changes);
    if (m_stopping)
        return;
    applyChanges(changes);
    const qint64 before = state();
    setState(StateWatching);
    if (cameBack && before == StateWatching) {
        // The folder is back where it was missing: the state is the same, what is shown of it
        // is not.
        notifyDelegates([this](PLRSourceDirectoryDelegate* delegate) {
            delegate->sourceDirectoryUpdatedState(this, StateWatching);
        });
    }
    announceChanges(changes, relink);
    finishScan(changes, listing.directories, relink, replaced || cameBack);
}

bool PLRSourceDirectory::checkFolderUsable(const QString& folder, bool relink)
{
    const auto isFolder = [&folder] { return !folder.isEmpty() && QFileInfo(folder).isDir(); };
    // Refused only if the folder is still there once refused: one that went meanwhile is missing.
    const bool refused = isFolder() && !m_config.accessCheck(folder) && isFolder();
    if (!refused && !isFolder()) {
        bool firstLoad = false;
        bool missingAlready = false;
        {
            QMutexLocker lock(&m_mutex);
            firstLoad = !m_scannedOnce || relink;
            missingAlready = m_folderSeen && !m_seenFolder.present;
        }
        // Told as it goes, not again at every look for it.
        if (!missingAlready)
            PLR_LOG_WARN(QStringLiteral("Source folder %1 cannot be found").arg(folder.isEmpty() ? QStringLiteral("(none)") : folder));
        markAllDeleted();
        if (firstLoad) {
            setState(StateLocationUnavailable);
        } else if (!missingAlready) {
            const qint64 current = state();
            notifyDelegates([this, current](PLRSourceDirectoryDelegate* delegate) {
                delegate->sourceDirectoryUpdatedState(this, current);
            });
        }
        scheduleWatchUpdate({}, {}, true);
        // A folder made at the path, or put back, is seen by the watch of the levels above it;
        // and looked for on the clock too, should an event have been missed.
        if (!folder.isEmpty())
            lookForTheFolderLater();
        return false;
    }
    if (refused) {
        PLR_LOG_WARN(QStringLiteral("Access to source folder %1 was refused").arg(folder));
        markAllDeleted();
        setState(StateAccessDenied);
        scheduleWatchUpdate({}, {}, true);
        return false;
    }
    return true;
}

PLRSourceDirectory::Listing PLRSourceDirectory::listFiles(const QString& folder) const
{
    Listing listing;
    const QByteArray encoded = QFile::encodeName(folder);
    const int fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        listing.rootErrno = errno;
        return listing;
    }
    listing.root = identityOfOpened(fd);
    std::set<std::pair<dev_t, ino_t>> visited;
    if (listing.root.present)
        visited.insert({dev_t(listing.root.device), ino_t(listing.root.inode)});
    if (m_config.listingBegun)
        m_config.listingBegun(folder);
    listFolder(fd, encoded, QString(), 0, m_config.includeSubFolders, visited, listing.files, listing.directories,
               &listing.rootErrno, m_stopping);
    return listing;
}

PLRSourceDirectory::Changes PLRSourceDirectory::compareWithRecords(const QString& folder, const Listing& listing,
                                                                   bool relink, quint64 generation)
{
    Changes changes;
    const qint64 now = nowNs();
    QMutexLocker lock(&m_mutex);
    changes.firstScan = !m_scannedOnce || relink;
    changes.hadRecords = !m_images.isEmpty() || !m_vanished.isEmpty() || m_scannedOnce;

    // Every record by its path; a present record wins over a vanished one of the same path.
    QHash<QString, PLRSourceImagePtr> byPath;
    for (const auto& image : m_images)
        byPath.insert(image->relativePath(), image);
    for (const auto& image : m_vanished)
        if (!byPath.contains(image->relativePath()))
            byPath.insert(image->relativePath(), image);
    if (relink)
        relinkByFileName(folder, listing, byPath);

    QSet<PLRSourceImage*> removed;
    for (const auto& image : m_images) {
        if (!listing.files.contains(image->relativePath())) {
            changes.removed.append(image);
            removed.insert(image.get());
        }
    }
    // Records without a file that a new file of the same size and modification time can take
    // back (a rename or a move within the folder). A stamp shared by several is no evidence.
    QHash<QString, PLRSourceImagePtr> claimable;
    QSet<QString> ambiguous;
    for (const auto& image : changes.removed + m_vanished) {
        const PLRFileStamp stamp = image->fileStamp();
        if (stamp.size < 0 || stamp.modifiedNs == 0 || listing.files.contains(image->relativePath()))
            continue;
        const QString key = stampKey(stamp);
        if (claimable.contains(key) || ambiguous.contains(key)) {
            claimable.remove(key);
            ambiguous.insert(key);
            continue;
        }
        claimable.insert(key, image);
    }
    QHash<QString, int> newFilesByStamp;
    for (auto it = listing.files.cbegin(); it != listing.files.cend(); ++it)
        if (!byPath.contains(it.key()))
            newFilesByStamp[stampKey(it.value().second)] += 1;

    for (auto it = listing.files.cbegin(); it != listing.files.cend(); ++it) {
        const PLRFileStamp& stamp = it.value().second;
        PLRSourceImagePtr image = byPath.value(it.key());
        if (image && image->fileStamp() == stamp && image->path() == it.value().first) {
            const PLRImageMetadata known = image->metadata();
            // What was found of it stands unless it was found no picture while the folder moved.
            const bool inDoubt = !known.readable && image->readGeneration() != generation;
            if (!image->fileDeleted()) {
                // Unchanged; but a verdict that it cannot be used, made while the folder moved,
                // is judged again now that it is still.
                if (inDoubt)
                    changes.work.append({it.key(), it.value().first, stamp, image, {}, generation});
                else if (image->decodeInDoubt())
                    changes.rejudge.append(image);
                continue;
            }
            if (known.complete && !inDoubt) {
                // Back as it was (a post opened again, its folder back): not read again.
                changes.work.append({it.key(), it.value().first, stamp, image, known, image->readGeneration(), true});
                continue;
            }
        }
        if (stamp.modifiedNs > now - kSettleNs && stamp.modifiedNs < now + kSettleNs) {
            changes.settling = true;   // may still be being written
            continue;
        }
        if (!image && newFilesByStamp.value(stampKey(stamp)) == 1) {
            image = claimable.take(stampKey(stamp));
            if (image) {
                PLR_LOG_INFO(QStringLiteral("Photo %1 is now %2").arg(image->relativePath(), it.key()));
                removed.remove(image.get());
            }
        }
        changes.work.append({it.key(), it.value().first, stamp, image, {}, generation});
    }
    changes.removed.removeIf([&removed](const PLRSourceImagePtr& image) { return !removed.contains(image.get()); });
    return changes;
}

void PLRSourceDirectory::readMetadata(Changes& changes)
{
    // In parallel: decoding the headers is the slow part of a scan.
    QtConcurrent::blockingMap(changes.work, [this](Work& item) {
        if (!m_stopping && !item.reuse)
            item.metadata = PLRImageMetadata::read(item.absolutePath);
    });
    // A file listed a moment ago and gone when it was read, or another than the one listed (of
    // another size or time: another folder is at the path, or it is being written): it, or its
    // folder, is moving. No verdict is made of it; verdicts made meanwhile are judged again once
    // the folder is still.
    const qsizetype before = changes.work.size();
    changes.work.removeIf([](const Work& item) {
        const PLRImageMetadata& read = item.metadata;
        return !item.reuse
            && (read.missing || (read.readSize >= 0 && PLRFileStamp{read.readSize, read.readModifiedNs} != item.stamp));
    });
    if (changes.work.size() != before) {
        PLR_LOG_INFO(QStringLiteral("Source folder %1: %2 files went or changed while they were read; looking again")
                         .arg(path())
                         .arg(before - changes.work.size()));
        noteFolderMoving();
        changes.settling = true;
    }
}

void PLRSourceDirectory::applyChanges(Changes& changes)
{
    QMutexLocker lock(&m_mutex);
    QSet<PLRSourceImage*> gone;
    for (const auto& image : changes.removed)
        gone.insert(image.get());
    QSet<PLRSourceImage*> vanished;
    for (const auto& image : m_vanished)
        vanished.insert(image.get());
    QSet<PLRSourceImage*> back;   // vanished records whose file is here again
    for (Work& item : changes.work) {
        // A file named as a photo that is no picture is listed, marked as one that cannot be
        // drawn (not as gone from the folder); a photo of the post whose file is no picture any
        // more keeps its place so marked, until the file is mended.
        if (!item.metadata.readable && !item.reuse)
            PLR_LOG_WARN(QStringLiteral("%1 is not a readable photo (%2)").arg(item.absolutePath, item.metadata.error));
        changes.reused += item.reuse ? 1 : 0;
        if (item.image) {
            if (vanished.contains(item.image.get()))
                back.insert(item.image.get());
            // Judged again (it was found no picture while the folder moved) and found the same.
            const bool sameVerdict = !item.reuse && !item.metadata.readable && !item.image->fileDeleted()
                && !item.image->metadata().readable && item.image->fileStamp() == item.stamp
                && item.image->path() == item.absolutePath;
            item.image->setFile(item.absolutePath, item.relativePath, item.stamp, item.metadata, item.generation);
            if (!sameVerdict)
                changes.updated.append(item.image);
        } else {
            auto image = std::make_shared<PLRSourceImage>(QString(), m_config.cacheRoot);
            image->setFolderGeneration(m_generation);
            image->setFile(item.absolutePath, item.relativePath, item.stamp, item.metadata, item.generation);
            followProblems(image);
            m_images.append(image);
            m_byIdentifier.insert(image->identifier(), image);
            changes.added.append(image);
        }
    }
    // One pass over each list, however many records change.
    for (const auto& image : changes.removed) {
        image->setFileDeleted(true);
        m_vanished.append(image);
    }
    m_images.removeIf([&gone](const PLRSourceImagePtr& image) { return gone.contains(image.get()); });
    if (!back.isEmpty()) {
        for (const auto& image : m_vanished)
            if (back.contains(image.get()))
                m_images.append(image);
        m_vanished.removeIf([&back](const PLRSourceImagePtr& image) { return back.contains(image.get()); });
    }
    PLRSourceDirectoryOrdering::sort(m_images, m_ordering.sortType(), m_ordering.sortOrder());
    m_scannedOnce = true;
    changes.toCache = changes.firstScan ? m_images : changes.added + changes.updated + changes.rejudge;
}

void PLRSourceDirectory::announceChanges(const Changes& changes, bool relink)
{
    // The first load of a folder without any known photos lists what was already there: that
    // is the state change, not a stream of new photos.
    const bool announceAdded = !(changes.firstScan && !relink && !changes.hadRecords);
    const QList<PLRSourceImagePtr> removed = changes.removed;
    const QList<PLRSourceImagePtr> added = announceAdded ? changes.added : QList<PLRSourceImagePtr>();
    const QList<PLRSourceImagePtr> updated = changes.updated;
    if (!removed.isEmpty() || !added.isEmpty() || !updated.isEmpty()) {
        notifyDelegates([this, removed, added, updated](PLRSourceDirectoryDelegate* delegate) {
            for (const auto& image : removed)
                delegate->sourceDirectoryDeletedImage(this, image);
            for (const auto& image : added)
                delegate->sourceDirectoryAddedNewImage(this, image);
            for (const auto& image : updated)
                delegate->sourceDirectoryUpdatedImage(this, image);
        });
    }
    if (!changes.removed.isEmpty() || !changes.added.isEmpty() || !changes.updated.isEmpty())
        PLR_LOG_INFO(QStringLiteral("Source folder %1: %2 added, %3 changed, %4 removed%5")
                         .arg(path())
                         .arg(changes.added.size())
                         .arg(changes.updated.size() - changes.reused)
                         .arg(changes.removed.size())
                         .arg(changes.reused > 0 ? QStringLiteral(", %1 found as they were").arg(changes.reused) : QString()));
}

void PLRSourceDirectory::finishScan(const Changes& changes, const QStringList& directories, bool relink, bool anew)
{
    // A picture is made only for a photo whose record is kept: one made for a record a kill
    // then lost would never be used again. A relinking look's records are kept at once too.
    if (!m_stopping && (relink || !changes.added.isEmpty())) {
        if (m_config.recordsChanged)
            m_config.recordsChanged(*this);
        else if (relink)
            save();
    }
    {
        QMutexLocker lock(&m_progress->mutex);
        m_progress->loaded = images().size();
        if (changes.firstScan)
            m_progress->cached = 0;
    }
    requestCaching(changes.toCache);

    QStringList watchedFiles;
    {
        QMutexLocker lock(&m_mutex);
        for (const auto& image : m_images) {
            if (watchedFiles.size() >= plr::sourcedirectory::kMaxWatchedFiles)
                break;
            if (!image->fileDeleted())
                watchedFiles.append(image->path());
        }
    }
    scheduleWatchUpdate(directories, watchedFiles, false, anew);
    reportScanDone();

    if (changes.settling)
        lookAgainSoon();
}

void PLRSourceDirectory::lookAgainSoon()
{
    if (!m_watching)
        return;
    QMetaObject::invokeMethod(this, [this] {
        if (m_watching && !rescanScheduled())
            rescanAfter(kSettleRescan);
    }, Qt::QueuedConnection);
}

void PLRSourceDirectory::requestCaching(const QList<PLRSourceImagePtr>& images)
{
    if (images.isEmpty())
        return;
    {
        QMutexLocker lock(&m_progress->mutex);
        m_progress->pending += images.size();
    }
    std::weak_ptr<Progress> weakProgress = m_progress;
    for (const auto& image : images) {
        PLRImageManager::shared().requestCache(image, [weakProgress] {
            if (auto progress = weakProgress.lock()) {
                {
                    QMutexLocker lock(&progress->mutex);
                    progress->pending = std::max<qint64>(0, progress->pending - 1);
                    progress->cached += 1;
                }
                progress->report();
            }
        });
    }
}
