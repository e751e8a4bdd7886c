#include "store/persistance-store/source/PLRSourceDirectory.h"

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
    QHash<QString, QPair<QString, PLRFileStamp>> files;   // relative path -> absolute path, stamp
    QStringList directories;                               // absolute, the root first
    int rootErrno = 0;
};

// A file to read: new, changed, or coming back to a record.
struct PLRSourceDirectory::Work {
    QString relativePath;
    QString absolutePath;
    PLRFileStamp stamp;
    PLRSourceImagePtr image;   // the record it belongs to; null for a new photo
    PLRImageMetadata metadata;
};

// What one scan found and did.
struct PLRSourceDirectory::Changes {
    QList<Work> work;
    QList<PLRSourceImagePtr> removed;    // present records whose file is gone
    QList<PLRSourceImagePtr> added;      // new records
    QList<PLRSourceImagePtr> updated;    // records whose file changed, moved or came back
    QList<PLRSourceImagePtr> toCache;
    bool settling = false;               // a file may still be being written: look again soon
    bool firstScan = false;
    bool hadRecords = false;
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
            // Only regular files: a FIFO or device named like a photo is never opened.
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

bool validRelativePath(const QString& fileName)
{
    return !fileName.isEmpty() && !fileName.startsWith(QLatin1Char('/'))
        && !fileName.split(QLatin1Char('/')).contains(QStringLiteral(".."));
}

// A stamp as a key; records without a known stamp never match.
QString stampKey(const PLRFileStamp& stamp)
{
    return QString::number(stamp.size) + QLatin1Char(':') + QString::number(stamp.modifiedNs);
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
    if (m_config.locationPlistPath.isEmpty()
        || platform::files::kindOf(m_config.locationPlistPath) == platform::files::Kind::Missing)
        return;
    bool ok = false;
    platform::Error error;
    const QVariantMap plist = platform::plist::readDictionary(m_config.locationPlistPath, &ok, &error);
    if (!ok) {
        // Kept aside, never overwritten: the next save writes a new file beside it, and with no
        // folder known the post asks for one.
        const QString aside = plr::fileutil::setAside(m_config.locationPlistPath);
        PLR_LOG_ERROR(QStringLiteral("Cannot read %1 (%2); kept as %3")
                          .arg(m_config.locationPlistPath, error.toString(),
                               aside.isEmpty() ? QStringLiteral("(not moved)") : aside));
        return;
    }
    if (m_path.isEmpty())
        m_path = plist.value(QLatin1String(kLocationKey)).toString();
    QSet<QString> seenFiles;
    for (const QVariant& item : plist.value(QLatin1String(kImagesKey)).toList()) {
        const QVariantMap record = item.toMap();
        const QString identifier = record.value(QLatin1String(kIdentifierKey)).toString();
        const QString fileName = record.value(QLatin1String(kFileNameKey)).toString();
        // The identifier names the photo's cache folder: it must not be a path.
        if (!PLRImageManager::isValidIdentifier(identifier) || !validRelativePath(fileName)
            || m_byIdentifier.contains(identifier) || seenFiles.contains(fileName)) {
            PLR_LOG_WARN(QStringLiteral("Skipping an invalid photo record in %1 (identifier \"%2\", file \"%3\")")
                             .arg(m_config.locationPlistPath, identifier.left(160), fileName.left(160)));
            continue;
        }
        seenFiles.insert(fileName);
        PLRFileStamp stamp;
        const QVariant size = record.value(QLatin1String(kFileSizeKey));
        const QVariant modified = record.value(QLatin1String(kFileModifiedKey));
        if (size.canConvert<qint64>() && modified.canConvert<qint64>() && size.toLongLong() >= 0)
            stamp = PLRFileStamp{size.toLongLong(), modified.toLongLong()};
        auto image = std::make_shared<PLRSourceImage>(identifier, m_config.cacheRoot);
        image->setFile(m_path.isEmpty() ? QString() : QDir(m_path).filePath(fileName), fileName, stamp,
                       PLRImageMetadata{});
        image->setFileDeleted(true);   // until the scan finds it
        image->setHidden(record.value(QLatin1String(kHiddenKey)).toBool());
        image->setFocusKeywords(record.value(QLatin1String(kKeywordsKey)).toStringList());
        m_images.append(image);
        m_byIdentifier.insert(identifier, image);
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
    {
        QMutexLocker lock(&m_mutex);
        m_delegates.remove(delegate);
    }
    // Calls run on the main thread, which checks the list before each one. Elsewhere, wait
    // until a call that may already have started has returned.
    if (!platform::isMainThread())
        QMutexLocker wait(&m_deliveryMutex);
}

std::vector<PLRSourceDirectoryDelegate*> PLRSourceDirectory::liveDelegates()
{
    QMutexLocker lock(&m_mutex);
    return m_delegates.live();
}

void PLRSourceDirectory::notifyDelegates(std::function<void(PLRSourceDirectoryDelegate*)> call)
{
    if (m_stopping)
        return;
    // Queued on this object, which lives on the main thread: dropped when it is destroyed,
    // delivered in the order posted.
    QMetaObject::invokeMethod(this, [this, call = std::move(call)] { deliverToDelegates(call); },
                              Qt::QueuedConnection);
}

void PLRSourceDirectory::deliverToDelegates(const std::function<void(PLRSourceDirectoryDelegate*)>& call)
{
    for (auto* delegate : liveDelegates()) {
        QMutexLocker delivering(&m_deliveryMutex);
        {
            // An earlier delegate may have removed this one.
            QMutexLocker lock(&m_mutex);
            if (!m_delegates.contains(delegate))
                continue;
        }
        call(delegate);
    }
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

QList<PLRSourceImagePtr> PLRSourceDirectory::vanishedImages() const
{
    QMutexLocker lock(&m_mutex);
    return m_vanished;
}

PLRSourceImagePtr PLRSourceDirectory::sourceImageForIdentifier(const QString& identifier) const
{
    if (identifier.isEmpty())
        return nullptr;
    QMutexLocker lock(&m_mutex);
    return m_byIdentifier.value(identifier);
}

qint64 PLRSourceDirectory::updateImagesInLayout(const QSet<QString>& identifiers)
{
    qint64 count = 0;
    for (const auto& image : images()) {
        const bool used = identifiers.contains(image->identifier());
        image->setInLayout(used);
        count += used ? 1 : 0;
    }
    for (const auto& image : vanishedImages())
        image->setInLayout(identifiers.contains(image->identifier()));
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
    QList<PLRSourceImagePtr> all;
    {
        QMutexLocker lock(&m_mutex);
        all = m_images + m_vanished;
    }
    QVariantList records;
    records.reserve(all.size());
    for (const auto& image : all) {
        QVariantMap record;
        record.insert(QLatin1String(kIdentifierKey), image->identifier());
        record.insert(QLatin1String(kFileNameKey), image->relativePath());
        record.insert(QLatin1String(kHiddenKey), image->isHidden());
        record.insert(QLatin1String(kKeywordsKey), image->focusKeywords());
        const PLRFileStamp stamp = image->fileStamp();
        if (stamp.size >= 0 && stamp.modifiedNs > 0) {
            record.insert(QLatin1String(kFileSizeKey), stamp.size);
            record.insert(QLatin1String(kFileModifiedKey), stamp.modifiedNs);
        }
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
    notifyDelegates([this, state](PLRSourceDirectoryDelegate* delegate) {
        delegate->sourceDirectoryUpdatedState(this, state);
    });
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

void PLRSourceDirectory::reportScanDone()
{
    {
        QMutexLocker lock(&m_progress->mutex);
        m_progress->scanDone = true;
    }
    m_progress->report();
}

void PLRSourceDirectory::scan(bool relink)
{
    if (m_stopping)
        return;
    const QString folder = path();
    if (!checkFolderUsable(folder, relink)) {
        reportScanDone();
        return;
    }
    const Listing listing = listFiles(folder);
    if (m_stopping)
        return;
    if (listing.rootErrno != 0) {
        PLR_LOG_WARN(QStringLiteral("Cannot read source folder %1: %2")
                         .arg(folder, QString::fromUtf8(std::strerror(listing.rootErrno))));
        markAllDeleted();
        setState(listing.rootErrno == EACCES || listing.rootErrno == EPERM ? StateAccessDenied
                                                                            : StateLocationUnavailable);
        scheduleWatchUpdate({}, {}, true);
        reportScanDone();
        return;
    }
    Changes changes = compareWithRecords(folder, listing, relink);
    readMetadata(changes.work);
    if (m_stopping)
        return;
    applyChanges(changes);
    setState(StateWatching);
    announceChanges(changes, relink);
    finishScan(changes, listing.directories, relink);
}

bool PLRSourceDirectory::checkFolderUsable(const QString& folder, bool relink)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        PLR_LOG_WARN(QStringLiteral("Source folder %1 cannot be found").arg(folder.isEmpty() ? QStringLiteral("(none)") : folder));
        markAllDeleted();
        bool firstLoad = false;
        {
            QMutexLocker lock(&m_mutex);
            firstLoad = !m_scannedOnce || relink;
        }
        if (firstLoad) {
            setState(StateLocationUnavailable);
        } else {
            const qint64 current = state();
            notifyDelegates([this, current](PLRSourceDirectoryDelegate* delegate) {
                delegate->sourceDirectoryUpdatedState(this, current);
            });
        }
        scheduleWatchUpdate({}, {}, true);
        return false;
    }
    if (!m_config.accessCheck(folder)) {
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
    std::set<std::pair<dev_t, ino_t>> visited;
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) == 0)
        visited.insert({st.st_dev, st.st_ino});
    listFolder(QFile::encodeName(folder), QString(), 0, m_config.includeSubFolders, visited, listing.files,
               listing.directories, &listing.rootErrno, m_stopping);
    return listing;
}

void PLRSourceDirectory::relinkByFileName(const QString& folder, const Listing& listing,
                                          QHash<QString, PLRSourceImagePtr>& byPath)
{
    // Re-point records whose file is not at the same place by file name.
    QHash<QString, QString> freeByName;   // file name -> relative path of an unclaimed file
    for (auto it = listing.files.cbegin(); it != listing.files.cend(); ++it) {
        if (!byPath.contains(it.key()))
            freeByName.insert(QFileInfo(it.key()).fileName(), it.key());
    }
    for (const auto& image : m_images + m_vanished) {
        if (listing.files.contains(image->relativePath()))
            continue;
        const auto match = freeByName.find(image->fileName());
        if (match == freeByName.end())
            continue;
        const QString newRelative = match.value();
        freeByName.erase(match);
        if (byPath.value(image->relativePath()) == image)
            byPath.remove(image->relativePath());
        image->setFile(QDir(folder).filePath(newRelative), newRelative, PLRFileStamp{}, PLRImageMetadata{});
        image->setFileDeleted(true);
        byPath.insert(newRelative, image);
    }
}

PLRSourceDirectory::Changes PLRSourceDirectory::compareWithRecords(const QString& folder, const Listing& listing,
                                                                   bool relink)
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
        if (image && !image->fileDeleted() && image->fileStamp() == stamp && image->path() == it.value().first)
            continue;   // unchanged
        if (!image && m_unreadable.value(it.key()) == stamp)
            continue;   // known not to be a photo
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
        changes.work.append({it.key(), it.value().first, stamp, image, {}});
    }
    changes.removed.removeIf([&removed](const PLRSourceImagePtr& image) { return !removed.contains(image.get()); });
    // Forget unreadable files that are gone.
    for (auto it = m_unreadable.begin(); it != m_unreadable.end();) {
        if (!listing.files.contains(it.key()))
            it = m_unreadable.erase(it);
        else
            ++it;
    }
    return changes;
}

void PLRSourceDirectory::readMetadata(QList<Work>& work) const
{
    // In parallel: decoding the headers is the slow part of a scan.
    QtConcurrent::blockingMap(work, [this](Work& item) {
        if (!m_stopping)
            item.metadata = PLRImageMetadata::read(item.absolutePath);
    });
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
        if (!item.metadata.readable) {
            PLR_LOG_WARN(QStringLiteral("Skipping %1: not a readable image (%2)").arg(item.absolutePath, item.metadata.error));
            m_unreadable.insert(item.relativePath, item.stamp);
            if (item.image && !item.image->fileDeleted() && !gone.contains(item.image.get())) {
                gone.insert(item.image.get());
                changes.removed.append(item.image);
            }
            continue;
        }
        m_unreadable.remove(item.relativePath);
        if (item.image) {
            if (vanished.contains(item.image.get()))
                back.insert(item.image.get());
            item.image->setFile(item.absolutePath, item.relativePath, item.stamp, item.metadata);
            changes.updated.append(item.image);
        } else {
            auto image = std::make_shared<PLRSourceImage>(QString(), m_config.cacheRoot);
            image->setFile(item.absolutePath, item.relativePath, item.stamp, item.metadata);
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
    changes.toCache = changes.firstScan ? m_images : changes.added + changes.updated;
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
        PLR_LOG_INFO(QStringLiteral("Source folder %1: %2 added, %3 changed, %4 removed")
                         .arg(path())
                         .arg(changes.added.size())
                         .arg(changes.updated.size())
                         .arg(changes.removed.size()));
}

void PLRSourceDirectory::finishScan(const Changes& changes, const QStringList& directories, bool relink)
{
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
            if (watchedFiles.size() >= kMaxWatchedFiles)
                break;
            if (!image->fileDeleted())
                watchedFiles.append(image->path());
        }
    }
    scheduleWatchUpdate(directories, watchedFiles, false);
    if (relink)
        save();
    reportScanDone();

    if (changes.settling && m_watching) {
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
