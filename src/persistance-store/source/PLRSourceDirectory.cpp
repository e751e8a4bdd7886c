#include "persistance-store/source/PLRSourceDirectory.h"

#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Plist.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <set>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <time.h>

namespace {

// Deepest sub-folder level scanned; guards against pathological trees.
constexpr int kMaxFolderDepth = 32;
// Paths handed to the file-system watcher; beyond them folder events still cover additions,
// removals and renames.
constexpr int kMaxWatchedDirectories = 2048;
constexpr int kMaxWatchedFiles = 4096;
// A file modified this recently may still be being written: it is looked at again shortly.
constexpr qint64 kSettleNs = 400LL * 1000 * 1000;
constexpr int kSettleRescanMs = 450;

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
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool defaultAccessCheck(const QString& folder)
{
    const QFileInfo info(folder);
    return info.isReadable() && info.isExecutable();
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Ordering

void PLRSourceDirectoryOrdering::setSortType(qint64 sortType)
{
    if (m_sortType.exchange(sortType) != sortType && m_directory)
        m_directory->resort();
}

void PLRSourceDirectoryOrdering::setSortOrder(qint64 sortOrder)
{
    if (m_sortOrder.exchange(sortOrder) != sortOrder && m_directory)
        m_directory->resort();
}

QList<PLRSourceImagePtr> PLRSourceDirectoryOrdering::filteredImageCollection(qint64 code) const
{
    const QList<PLRSourceImagePtr> all = m_directory ? m_directory->images() : QList<PLRSourceImagePtr>();
    return filter(all, code, m_starSelection, m_starRelation, m_colourFilter);
}

QList<PLRSourceImagePtr> PLRSourceDirectoryOrdering::filter(const QList<PLRSourceImagePtr>& images, qint64 code,
                                                            qint64 starSelection, qint64 starRelation,
                                                            qint64 colourFilter)
{
    QList<PLRSourceImagePtr> result;
    result.reserve(images.size());
    for (const auto& image : images) {
        const bool hidden = image->isHidden();
        const bool inLayout = image->inLayout();
        switch (code) {
        case 1: if (hidden) continue; break;
        case 2: if (hidden || inLayout) continue; break;
        case 3: if (hidden || !inLayout) continue; break;
        case 4: if (!hidden) continue; break;
        default: break;
        }
        if (starSelection != 0) {
            const qint64 stars = image->starRating();
            const bool keep = starRelation < 0 ? stars <= starSelection
                            : starRelation > 0 ? stars >= starSelection
                                               : stars == starSelection;
            if (!keep)
                continue;
        }
        if (colourFilter != 0) {
            const qint64 colour = image->colourRating();
            if (colour <= 0 || colour > 62 || (colourFilter & (qint64(1) << (colour - 1))) == 0)
                continue;
        }
        result.append(image);
    }
    return result;
}

void PLRSourceDirectoryOrdering::sort(QList<PLRSourceImagePtr>& images, qint64 sortType, qint64 sortOrder)
{
    struct Key {
        QString title;
        QString path;
        QDateTime date;
        PLRSourceImagePtr image;
    };
    std::vector<Key> keys;
    keys.reserve(size_t(images.size()));
    for (const auto& image : images) {
        Key key{image->fileName(), image->relativePath(), {}, image};
        if (sortType == 1)
            key.date = image->creationDate();
        else if (sortType == 2)
            key.date = image->modifiedDate();
        keys.push_back(std::move(key));
    }
    const auto titleLess = [](const Key& a, const Key& b) {
        const int byTitle = a.title.compare(b.title, Qt::CaseInsensitive);
        if (byTitle != 0)
            return byTitle < 0;
        return a.path < b.path;
    };
    const auto less = [&](const Key& a, const Key& b) {
        if (sortType == 1 || sortType == 2) {
            if (a.date != b.date)
                return a.date < b.date;
        }
        return titleLess(a, b);
    };
    if (sortOrder == 1)
        std::stable_sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) { return less(b, a); });
    else
        std::stable_sort(keys.begin(), keys.end(), less);
    images.clear();
    for (auto& key : keys)
        images.append(std::move(key.image));
}

// ---------------------------------------------------------------------------------------------
// Directory

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
    struct Entry {
        QString absolutePath;
        QString relativePath;
        PLRFileStamp stamp;
    };
    QHash<QString, Entry> files;   // by relative path
    QStringList directories;       // absolute, the root first
    int rootErrno = 0;
};

namespace {

void listFolder(const QByteArray& absolute, const QString& relative, int depth, bool recursive,
                std::set<std::pair<dev_t, ino_t>>& visited,
                QHash<QString, QPair<QString, PLRFileStamp>>& files, QStringList& directories,
                int* rootErrno, const std::atomic_bool& stopping)
{
    DIR* dir = ::opendir(absolute.constData());
    if (!dir) {
        const int error = errno;
        if (depth == 0)
            *rootErrno = error;
        else
            PLR_LOG_WARN(QStringLiteral("Cannot read folder %1: %2")
                             .arg(QFile::decodeName(absolute), QString::fromUtf8(std::strerror(error))));
        return;
    }
    directories.append(QFile::decodeName(absolute));
    std::vector<std::pair<QByteArray, QString>> subFolders;
    while (struct dirent* entry = ::readdir(dir)) {
        if (stopping)
            break;
        const char* name = entry->d_name;
        if (name[0] == '.')
            continue;   // ".", "..", hidden files and folders
        const QByteArray full = absolute + '/' + name;
        struct stat st {};
        if (::stat(full.constData(), &st) != 0)
            continue;   // vanished meanwhile, or a broken link
        const QString decoded = QFile::decodeName(QByteArray(name));
        const QString childRelative = relative.isEmpty() ? decoded : relative + QLatin1Char('/') + decoded;
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
            subFolders.emplace_back(full, childRelative);
        } else if (S_ISREG(st.st_mode)) {
            const QString extension = QFileInfo(decoded).suffix().toLower();
            if (!photoExtensions().contains(extension))
                continue;
            PLRFileStamp stamp{qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
            files.insert(childRelative, {QFile::decodeName(full), stamp});
        }
    }
    ::closedir(dir);
    for (const auto& [full, childRelative] : subFolders)
        listFolder(full, childRelative, depth + 1, recursive, visited, files, directories, rootErrno, stopping);
}

} // namespace

PLRSourceDirectory::PLRSourceDirectory(Config config, QObject* parent)
    : QObject(parent), m_config(std::move(config)), m_ordering(this), m_progress(std::make_shared<Progress>())
{
    if (!m_config.accessCheck)
        m_config.accessCheck = defaultAccessCheck;
    if (m_config.cacheRoot.isEmpty())
        m_config.cacheRoot = PLRImageManager::defaultLocationRoot();
    m_path = m_config.folderPath.isEmpty() ? QString() : QDir::cleanPath(m_config.folderPath);
    loadPlist();

    m_queue = std::make_unique<platform::SerialQueue>(QStringLiteral("SOURCE DIRECTORY"));
    m_watcher = new QFileSystemWatcher(this);
    m_debounce = new QTimer(this);
    m_debounce->setSingleShot(true);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &PLRSourceDirectory::onFileSystemEvent);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &PLRSourceDirectory::onFileSystemEvent);
    connect(m_debounce, &QTimer::timeout, this, [this] {
        if (m_watching)
            queueRescan();
    });
}

PLRSourceDirectory::~PLRSourceDirectory()
{
    m_stopping = true;
    m_watching = false;
    m_queue.reset();   // lets a running scan end; no further scans run
    QMutexLocker lock(&m_progress->mutex);
    m_progress->callback = nullptr;
}

void PLRSourceDirectory::loadPlist()
{
    if (m_config.locationPlistPath.isEmpty() || !QFileInfo::exists(m_config.locationPlistPath))
        return;
    bool ok = false;
    platform::Error error;
    const QVariantMap plist = platform::plist::readDictionary(m_config.locationPlistPath, &ok, &error);
    if (!ok) {
        PLR_LOG_WARN(QStringLiteral("Cannot read %1: %2").arg(m_config.locationPlistPath, error.localizedDescription()));
        return;
    }
    if (m_path.isEmpty())
        m_path = plist.value(QLatin1String(kLocationKey)).toString();
    QSet<QString> seenIdentifiers;
    QSet<QString> seenFiles;
    for (const QVariant& item : plist.value(QLatin1String(kImagesKey)).toList()) {
        const QVariantMap record = item.toMap();
        const QString identifier = record.value(QLatin1String(kIdentifierKey)).toString();
        const QString fileName = record.value(QLatin1String(kFileNameKey)).toString();
        if (identifier.isEmpty() || fileName.isEmpty() || fileName.startsWith(QLatin1Char('/'))
            || fileName.split(QLatin1Char('/')).contains(QStringLiteral(".."))
            || seenIdentifiers.contains(identifier) || seenFiles.contains(fileName)) {
            PLR_LOG_WARN(QStringLiteral("Skipping an invalid photo record in %1").arg(m_config.locationPlistPath));
            continue;
        }
        seenIdentifiers.insert(identifier);
        seenFiles.insert(fileName);
        auto image = std::make_shared<PLRSourceImage>(identifier, m_config.cacheRoot);
        image->setFile(m_path.isEmpty() ? QString() : QDir(m_path).filePath(fileName), fileName, PLRFileStamp{},
                       PLRImageMetadata{});
        image->setFileDeleted(true);   // until the scan finds it
        image->setHidden(record.value(QLatin1String(kHiddenKey)).toBool());
        image->setFocusKeywords(record.value(QLatin1String(kKeywordsKey)).toStringList());
        m_images.append(image);
    }
    PLRSourceDirectoryOrdering::sort(m_images, m_ordering.sortType(), m_ordering.sortOrder());
}

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
    m_debounce->stop();
    const QStringList paths = m_watcher->directories() + m_watcher->files();
    if (!paths.isEmpty())
        m_watcher->removePaths(paths);
}

qint64 PLRSourceDirectory::state() const
{
    QMutexLocker lock(&m_mutex);
    return m_state;
}

bool PLRSourceDirectory::locationExisits() const
{
    const QString folder = path();
    return !folder.isEmpty() && QFileInfo(folder).isDir();
}

QUrl PLRSourceDirectory::location() const
{
    const QString folder = path();
    return folder.isEmpty() ? QUrl() : QUrl::fromLocalFile(folder);
}

QString PLRSourceDirectory::path() const
{
    QMutexLocker lock(&m_mutex);
    return m_path;
}

void PLRSourceDirectory::setNewLocation(const QUrl& url)
{
    if (!url.isLocalFile()) {
        PLR_LOG_WARN(QStringLiteral("Cannot relink to %1: not a local folder").arg(url.toString()));
        return;
    }
    {
        QMutexLocker lock(&m_mutex);
        m_path = QDir::cleanPath(url.toLocalFile());
        m_state = StateLoading;
    }
    {
        QMutexLocker lock(&m_progress->mutex);
        m_progress->scanDone = false;
    }
    m_watching = true;
    queueRescan(true);
}

void PLRSourceDirectory::addDelegate(PLRSourceDirectoryDelegate* delegate)
{
    QMutexLocker lock(&m_mutex);
    m_delegates.add(delegate);
}

void PLRSourceDirectory::removeDelegate(PLRSourceDirectoryDelegate* delegate)
{
    QMutexLocker lock(&m_mutex);
    m_delegates.remove(delegate);
}

std::vector<PLRSourceDirectoryDelegate*> PLRSourceDirectory::liveDelegates()
{
    QMutexLocker lock(&m_mutex);
    return m_delegates.live();
}

void PLRSourceDirectory::setUIDirectoryWatchProgressCallback(
    std::function<void(const PLRSourceDirectoryProgressInfo&)> callback)
{
    PLRSourceDirectoryProgressInfo current;
    bool finished = false;
    {
        QMutexLocker lock(&m_progress->mutex);
        m_progress->callback = callback;
        current = m_progress->info();
        finished = current.loadDirectoryFinished && m_watching;
    }
    if (finished && callback)
        callback(current);
}

void PLRSourceDirectory::resetCache()
{
    for (const auto& image : images())
        image->resetCache();
}

QList<PLRSourceImagePtr> PLRSourceDirectory::images() const
{
    QMutexLocker lock(&m_mutex);
    return m_images;
}

PLRSourceImagePtr PLRSourceDirectory::sourceImageForIdentifier(const QString& identifier) const
{
    if (identifier.isEmpty())
        return nullptr;
    QMutexLocker lock(&m_mutex);
    for (const auto& image : m_images)
        if (image->identifier() == identifier)
            return image;
    return nullptr;
}

qint64 PLRSourceDirectory::updateImagesInLayout(const QSet<QString>& identifiers)
{
    qint64 count = 0;
    for (const auto& image : images()) {
        const bool used = identifiers.contains(image->identifier());
        image->setInLayout(used);
        count += used ? 1 : 0;
    }
    return count;
}

QStringList PLRSourceDirectory::missingFileNamesForIdentifiers(const QSet<QString>& identifiers) const
{
    QStringList missing;
    for (const QString& identifier : identifiers) {
        const PLRSourceImagePtr image = sourceImageForIdentifier(identifier);
        if (!image)
            missing.append(identifier);
        else if (image->fileDeleted() || !QFileInfo::exists(image->path()))
            missing.append(image->fileName());
    }
    missing.sort();
    return missing;
}

QVariantMap PLRSourceDirectory::plistRepresentation() const
{
    QVariantList records;
    for (const auto& image : images()) {
        QVariantMap record;
        record.insert(QLatin1String(kIdentifierKey), image->identifier());
        record.insert(QLatin1String(kFileNameKey), image->relativePath());
        record.insert(QLatin1String(kHiddenKey), image->isHidden());
        record.insert(QLatin1String(kKeywordsKey), image->focusKeywords());
        records.append(record);
    }
    QVariantMap plist;
    plist.insert(QLatin1String(kLocationKey), path());
    plist.insert(QLatin1String(kImagesKey), records);
    return plist;
}

bool PLRSourceDirectory::save(platform::Error* error) const
{
    if (m_config.locationPlistPath.isEmpty()) {
        if (error)
            *error = platform::Error::make(QStringLiteral("PLRSourceDirectory"), 1,
                                           QStringLiteral("The post has no location file."));
        return false;
    }
    platform::paths::ensureDirectory(QFileInfo(m_config.locationPlistPath).absolutePath());
    platform::Error writeError;
    if (!platform::plist::writeFile(m_config.locationPlistPath, plistRepresentation(), &writeError)) {
        PLR_LOG_ERROR(QStringLiteral("Cannot save %1: %2").arg(m_config.locationPlistPath, writeError.localizedDescription()));
        if (error)
            *error = writeError;
        return false;
    }
    return true;
}

void PLRSourceDirectory::waitUntilIdle()
{
    if (m_queue)
        m_queue->waitUntilIdle();
}

void PLRSourceDirectory::onFileSystemEvent()
{
    if (m_watching)
        m_debounce->start(m_config.debounceMs);
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

void PLRSourceDirectory::setState(qint64 state)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_state == state)
            return;
        m_state = state;
    }
    for (auto* delegate : liveDelegates())
        delegate->sourceDirectoryUpdatedState(this, state);
}

void PLRSourceDirectory::markAllDeleted()
{
    for (const auto& image : images())
        image->setFileDeleted(true);
}

void PLRSourceDirectory::resort()
{
    QMutexLocker lock(&m_mutex);
    PLRSourceDirectoryOrdering::sort(m_images, m_ordering.sortType(), m_ordering.sortOrder());
}

void PLRSourceDirectory::scan(bool relink)
{
    if (m_stopping)
        return;
    const QString folder = path();
    const auto finishScan = [this] {
        {
            QMutexLocker lock(&m_progress->mutex);
            m_progress->scanDone = true;
        }
        m_progress->report();
    };

    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        PLR_LOG_WARN(QStringLiteral("Source folder %1 cannot be found").arg(folder.isEmpty() ? QStringLiteral("(none)") : folder));
        markAllDeleted();
        bool firstLoad = false;
        {
            QMutexLocker lock(&m_mutex);
            firstLoad = !m_scannedOnce || relink;
        }
        if (firstLoad)
            setState(StateLocationUnavailable);
        else
            for (auto* delegate : liveDelegates())
                delegate->sourceDirectoryUpdatedState(this, state());
        scheduleWatchUpdate({}, {}, true);
        finishScan();
        return;
    }
    if (!m_config.accessCheck(folder)) {
        PLR_LOG_WARN(QStringLiteral("Access to source folder %1 was refused").arg(folder));
        markAllDeleted();
        setState(StateAccessDenied);
        scheduleWatchUpdate({}, {}, true);
        finishScan();
        return;
    }

    // List the folder.
    QHash<QString, QPair<QString, PLRFileStamp>> files;
    QStringList directories;
    int rootErrno = 0;
    {
        std::set<std::pair<dev_t, ino_t>> visited;
        struct stat st {};
        if (::stat(QFile::encodeName(folder).constData(), &st) == 0)
            visited.insert({st.st_dev, st.st_ino});
        listFolder(QFile::encodeName(folder), QString(), 0, m_config.includeSubFolders, visited, files,
                   directories, &rootErrno, m_stopping);
    }
    if (m_stopping)
        return;
    if (rootErrno != 0) {
        PLR_LOG_WARN(QStringLiteral("Cannot read source folder %1: %2").arg(folder, QString::fromUtf8(std::strerror(rootErrno))));
        markAllDeleted();
        setState(rootErrno == EACCES || rootErrno == EPERM ? StateAccessDenied : StateLocationUnavailable);
        scheduleWatchUpdate({}, {}, true);
        finishScan();
        return;
    }

    // Compare with what is known.
    struct Work {
        QString relativePath;
        QString absolutePath;
        PLRFileStamp stamp;
        PLRSourceImagePtr image;   // null for a new file
        PLRImageMetadata metadata;
    };
    QList<Work> work;
    QList<PLRSourceImagePtr> removed;
    bool settling = false;
    const qint64 now = nowNs();
    {
        QMutexLocker lock(&m_mutex);
        QHash<QString, PLRSourceImagePtr> byPath;
        for (const auto& image : m_images)
            byPath.insert(image->relativePath(), image);

        if (relink) {
            // Re-point records whose file is not at the same place by file name.
            QHash<QString, QString> freeByName;   // file name -> relative path of an unclaimed file
            for (auto it = files.cbegin(); it != files.cend(); ++it) {
                if (!byPath.contains(it.key()))
                    freeByName.insert(QFileInfo(it.key()).fileName(), it.key());
            }
            for (const auto& image : m_images) {
                if (files.contains(image->relativePath()))
                    continue;
                const QString name = image->fileName();
                const auto match = freeByName.find(name);
                if (match == freeByName.end())
                    continue;
                const QString newRelative = match.value();
                freeByName.erase(match);
                byPath.remove(image->relativePath());
                image->setFile(QDir(folder).filePath(newRelative), newRelative, PLRFileStamp{}, PLRImageMetadata{});
                image->setFileDeleted(true);
                byPath.insert(newRelative, image);
            }
        }

        for (const auto& image : m_images) {
            if (!files.contains(image->relativePath()))
                removed.append(image);
        }
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const PLRFileStamp& stamp = it.value().second;
            const PLRSourceImagePtr image = byPath.value(it.key());
            if (image && !image->fileDeleted() && image->fileStamp() == stamp && image->path() == it.value().first)
                continue;   // unchanged
            if (!image && m_unreadable.value(it.key()) == stamp)
                continue;   // known not to be a photo
            if (stamp.modifiedNs > now - kSettleNs && stamp.modifiedNs < now + kSettleNs) {
                settling = true;   // may still be being written
                continue;
            }
            work.append({it.key(), it.value().first, stamp, image, {}});
        }
        // Forget unreadable files that are gone.
        for (auto it = m_unreadable.begin(); it != m_unreadable.end();) {
            if (!files.contains(it.key()))
                it = m_unreadable.erase(it);
            else
                ++it;
        }
    }

    // Read the new and changed files, in parallel.
    QtConcurrent::blockingMap(work, [this](Work& item) {
        if (!m_stopping)
            item.metadata = PLRImageMetadata::read(item.absolutePath);
    });
    if (m_stopping)
        return;

    QList<PLRSourceImagePtr> added;
    QList<PLRSourceImagePtr> updated;
    QList<PLRSourceImagePtr> toCache;
    bool firstScan = false;
    bool hadRecords = false;
    {
        QMutexLocker lock(&m_mutex);
        firstScan = !m_scannedOnce || relink;
        hadRecords = !m_images.isEmpty() || m_scannedOnce;
        for (Work& item : work) {
            if (!item.metadata.readable) {
                PLR_LOG_WARN(QStringLiteral("Skipping %1: not a readable image (%2)").arg(item.absolutePath, item.metadata.error));
                m_unreadable.insert(item.relativePath, item.stamp);
                if (item.image)
                    removed.append(item.image);
                continue;
            }
            m_unreadable.remove(item.relativePath);
            if (item.image) {
                item.image->setFile(item.absolutePath, item.relativePath, item.stamp, item.metadata);
                updated.append(item.image);
            } else {
                auto image = std::make_shared<PLRSourceImage>(QString(), m_config.cacheRoot);
                image->setFile(item.absolutePath, item.relativePath, item.stamp, item.metadata);
                m_images.append(image);
                added.append(image);
            }
        }
        for (const auto& image : removed) {
            image->setFileDeleted(true);
            m_images.removeAll(image);
        }
        PLRSourceDirectoryOrdering::sort(m_images, m_ordering.sortType(), m_ordering.sortOrder());
        m_scannedOnce = true;
        toCache = firstScan ? m_images : added + updated;
    }

    setState(StateWatching);
    // The first load of a folder without any known photos lists what was already there: that
    // is the state change, not a stream of new photos.
    const bool announceAdded = !(firstScan && !relink && !hadRecords);
    for (auto* delegate : liveDelegates()) {
        for (const auto& image : removed)
            delegate->sourceDirectoryDeletedImage(this, image);
        if (announceAdded)
            for (const auto& image : added)
                delegate->sourceDirectoryAddedNewImage(this, image);
        for (const auto& image : updated)
            delegate->sourceDirectoryUpdatedImage(this, image);
    }
    if (!removed.isEmpty() || !added.isEmpty() || !updated.isEmpty())
        PLR_LOG_INFO(QStringLiteral("Source folder %1: %2 added, %3 changed, %4 removed")
                         .arg(folder).arg(added.size()).arg(updated.size()).arg(removed.size()));

    {
        QMutexLocker lock(&m_progress->mutex);
        m_progress->loaded = images().size();
        if (firstScan)
            m_progress->cached = 0;
    }
    requestCaching(toCache);

    QStringList watchedFiles;
    {
        QMutexLocker lock(&m_mutex);
        for (const auto& image : m_images) {
            if (watchedFiles.size() >= kMaxWatchedFiles)
                break;
            if (!image->fileDeleted())
                watchedFiles.append(image->path());
        }
    }
    scheduleWatchUpdate(directories, watchedFiles, false);
    if (relink)
        save();
    finishScan();

    if (settling && m_watching) {
        QMetaObject::invokeMethod(this, [this] {
            if (m_watching && !m_debounce->isActive())
                m_debounce->start(kSettleRescanMs);
        }, Qt::QueuedConnection);
    }
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
        if (desired.size() >= kMaxWatchedDirectories)
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
