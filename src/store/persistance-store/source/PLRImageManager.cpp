#include "store/persistance-store/source/PLRImageManager.h"
#include "platform/Shutdown.h"
#include "platform/Resets.h"

#include "store/persistance-store/PLRPersistantStore.h"
#include "store/persistance-store/source/PLRImageUtilities.h"
#include "store/persistance-store/source/PLRPhotoDecoder.h"
#include "store/persistance-store/source/PLRSourceImage.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"

#include <QCache>
#include <QColorSpace>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QThread>

#include <mutex>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

std::mutex g_rootMutex;
QString g_locationRoot;
const platform::resets::Joined g_rootReset{[] {
    std::lock_guard lock(g_rootMutex);
    g_locationRoot.clear();
}};

std::mutex g_memoryMutex;
QCache<QString, QImage>& memoryCache()
{
    // Bounded by bytes (in KiB units): 64 MiB, about 90 previews of 512 x 341 (a few screens
    // of a gallery; the items on screen hold their own copies).
    static QCache<QString, QImage> cache(64 * 1024);
    return cache;
}

// The cache folder, or a folder above it in the store, is a link (or no folder): nothing is
// written through it, and nothing is removed through it.
bool isBarred(const QString& folder, QString* error = nullptr)
{
    const QString link = PLRPersistantStore::linkOnTheWay(folder);
    if (link.isEmpty())
        return false;
    const QString text = QStringLiteral("%1 is a link or no folder, and links in the store are never followed").arg(link);
    if (error)
        *error = text;
    else
        PLR_LOG_WARN(QStringLiteral("Not touching the cache folder %1: %2").arg(folder, text));
    return true;
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    if (isBarred(QFileInfo(path).absolutePath(), error))
        return false;
    platform::Error failure;
    if (!platform::files::writeAtomically(path, bytes, &failure)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, failure.localizedFailureReason());
        return false;
    }
    return true;
}

// Copies a photo, opened already (the very file that was decoded), into the cache.
bool copyFileAtomically(plr_image::OpenedPhoto& source, const QString& destination, QString* error)
{
    qint64 size = 0, modifiedNs = 0;
    QIODevice* in = source.fromStart();
    if (!in || !source.stamp(&size, &modifiedNs)) {
        *error = QStringLiteral("cannot read %1").arg(source.path());
        return false;
    }
    const QByteArray bytes = in->read(size + 1);
    if (bytes.size() != qsizetype(size)) {
        *error = QStringLiteral("cannot copy %1: it changed while being read").arg(source.path());
        return false;
    }
    return writeFileAtomically(destination, bytes, error);
}

bool setModifiedNs(const QString& path, qint64 ns)
{
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    // Whole seconds rounded down, so that a time before 1970 keeps nanoseconds in 0..999999999.
    qint64 seconds = ns / 1000000000;
    qint64 nanoseconds = ns % 1000000000;
    if (nanoseconds < 0) {
        seconds -= 1;
        nanoseconds += 1000000000;
    }
    times[1].tv_sec = time_t(seconds);
    times[1].tv_nsec = long(nanoseconds);
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

QImage makePlaceholder()
{
    QImage image(256, 256, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0xE6, 0xE6, 0xE6));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(0xB0, 0xB0, 0xB0));
    pen.setWidth(6);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(48, 64, 160, 128), 10, 10);
    painter.setBrush(QColor(0xB0, 0xB0, 0xB0));
    painter.drawEllipse(QPointF(92, 104), 14, 14);
    const QPointF mountain[] = {{60, 180}, {112, 128}, {144, 160}, {168, 136}, {196, 180}};
    painter.drawPolygon(mountain, 5);
    painter.end();
    return image;
}

} // namespace

QImage PLRImageManager::readCachedImage(const QString& path)
{
    QByteArray bytes;
    if (!platform::files::readAll(path, &bytes, nullptr, qint64(64) * 1024 * 1024))
        return {};
    return QImage::fromData(bytes);
}

QImage PLRImageManager::placeholderImage()
{
    static const QImage placeholder = makePlaceholder();
    return placeholder;
}

QString PLRImageManager::defaultLocationRoot()
{
    std::lock_guard lock(g_rootMutex);
    if (!g_locationRoot.isEmpty())
        return g_locationRoot;
    return PLRPersistantStore::locationPath();
}

void PLRImageManager::setDefaultLocationRoot(const QString& path)
{
    std::lock_guard lock(g_rootMutex);
    g_locationRoot = path;
}

bool PLRImageManager::isValidIdentifier(const QString& identifier)
{
    if (identifier.isEmpty() || identifier.size() > 128 || identifier == QLatin1String(".")
        || identifier.contains(QLatin1String("..")))
        return false;
    for (const QChar c : identifier)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control
            || c.category() == QChar::Other_Format)
            return false;
    return true;
}

QUrl PLRImageManager::locationForIdentifier(const QString& identifier)
{
    if (!isValidIdentifier(identifier))
        return {};
    return QUrl::fromLocalFile(QDir(defaultLocationRoot()).filePath(identifier));
}

QString PLRImageManager::sha1HashForImage(PLRSourceImage* image)
{
    if (!image)
        return {};
    return cachedSha1OfFile(image->exportFilePath());
}

QString PLRImageManager::cachedSha1OfFile(const QString& path)
{
    if (path.isEmpty())
        return {};
    // The kept hash names the version of the file it was made from: size and modification time.
    const QFileInfo info(path);
    const qint64 modified = fileModifiedNs(path);
    if (modified == 0 || info.size() == 0)
        return {};
    const QString stamp = QStringLiteral("%1 %2").arg(info.size()).arg(modified);
    const QString hashPath = path + QLatin1String(kHashSuffix);
    QByteArray kept;
    if (platform::files::kindOf(hashPath) == platform::files::Kind::Regular && QFileInfo(hashPath).size() < 256
        && platform::files::readAll(hashPath, &kept)) {
        const QList<QByteArray> parts = kept.trimmed().split(' ');
        if (parts.size() == 3 && parts[0].size() == 40 && QString::fromLatin1(parts[1] + ' ' + parts[2]) == stamp)
            return QString::fromLatin1(parts[0]);
    }
    // Read in pieces: a post's photos are hashed one after another, never held whole.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!hash.addData(&file))
        return {};
    const QString hex = QString::fromLatin1(hash.result().toHex().toUpper());
    // The file may have changed while it was read: kept only when it is still that version.
    if (fileModifiedNs(path) == modified && QFileInfo(path).size() == info.size()) {
        QString error;
        if (!writeFileAtomically(hashPath, (hex + QLatin1Char(' ') + stamp).toLatin1(), &error))
            PLR_LOG_WARN(QStringLiteral("The hash of %1 cannot be kept: %2").arg(path, error));
    }
    return hex;
}

PLRImageManager& PLRImageManager::shared()
{
    static PLRImageManager manager;
    return manager;
}

PLRImageManager::PLRImageManager()
    : m_queue(std::make_unique<platform::OperationQueue>(
        std::clamp(QThread::idealThreadCount(), 2, kMaxConcurrentOperations)))
{
    // Cache work must not outlive the application object its image scaling relies on: at the
    // end the photos not started yet are left for the next run and the running ones finish.
    platform::shutdown::addHook([queue = m_queue.get()] { queue->cancelPendingOperationsAndWait(); });
}

PLRImageManager::~PLRImageManager() = default;

int PLRImageManager::maxConcurrentOperationCount() const
{
    return m_queue->maxConcurrentOperationCount();
}

void PLRImageManager::waitUntilAllOperationsAreFinished()
{
    m_queue->waitUntilAllOperationsAreFinished();
}

void PLRImageManager::requestCache(const std::shared_ptr<PLRSourceImage>& image, std::function<void()> done)
{
    if (!image)
        return;
    if (!image->markCacheJobQueued()) {
        // A job for this photo is already waiting; it will see the current file.
        if (done)
            image->addCacheJobCompletion(std::move(done));
        return;
    }
    if (done)
        image->addCacheJobCompletion(std::move(done));
    std::weak_ptr<PLRSourceImage> weak = image;
    m_queue->addOperation([this, weak] { runJob(weak, {}); });
}

void PLRImageManager::runJob(const std::weak_ptr<PLRSourceImage>& weakImage, const std::function<void()>&)
{
    const std::shared_ptr<PLRSourceImage> image = weakImage.lock();
    if (!image)
        return;
    const BuildRequest request = image->beginCacheJob();
    BuildResult result;
    bool rebuilt = false;
    if (request.sourcePath.isEmpty()) {
        result.error = QStringLiteral("the photo cannot be drawn");
        // A file that is there but cannot be drawn (no picture any more, or found cut short):
        // no copy of what it held is kept.
        if (request.dropCache)
            purgeCache(request.cacheDirectory);
    } else if (isCacheFresh(request)) {
        result.ok = true;
        // Made from a whole decode of this version of the file.
        result.judged = !request.judged;
        result.judgedSize = request.sourceSize;
        result.judgedModifiedNs = request.sourceModifiedNs;
        if (image->hasPendingPreviewRequests())
            result.preview = readCachedImage(QDir(request.cacheDirectory).filePath(QLatin1String(kPreviewFileName)));
    } else {
        result = buildCache(request);
        rebuilt = result.ok;
        if (!result.ok)
            PLR_LOG_WARN(QStringLiteral("Caching %1 failed: %2").arg(request.sourcePath, result.error));
    }
    if (result.judged)
        image->noteDecodeResult(PLRFileStamp{result.judgedSize, result.judgedModifiedNs}, result.problem, request.generation);
    // The export file's hash is made here, off the main thread, for the publish that asks for it.
    if (result.ok)
        cachedSha1OfFile(QDir(request.cacheDirectory)
                             .filePath(QLatin1String(request.isGIF ? kAnimationFileName : kExportFileName)));
    image->finishCacheJob(result.ok, result.preview, rebuilt);
}

namespace {

// The version of the photo the pictures were made from, and how they were made of it: its
// size, its time, the turn they were given and their resolution.
QByteArray stampText(qint64 size, qint64 modifiedNs, int orientation, qint64 dpi)
{
    return QByteArray::number(size) + ' ' + QByteArray::number(modifiedNs) + ' ' + QByteArray::number(orientation) + ' '
        + QByteArray::number(dpi);
}

// The fields of the cache folder's stamp; empty when it has none.
QList<QByteArray> stampFields(const QString& cacheDirectory)
{
    QByteArray stamp;
    if (!platform::files::readAll(QDir(cacheDirectory).filePath(QLatin1String(PLRImageManager::kStampFileName)), &stamp,
                                  nullptr, 256))
        return {};
    return stamp.trimmed().split(' ');
}

} // namespace

bool PLRImageManager::isCacheFresh(const QString& cacheDirectory, qint64 sourceModifiedNs, bool isGIF, qint64 sourceSize)
{
    // A file that is missing is never fresh, whatever the photo's time (a photo can carry the
    // time 0, as a missing file reads).
    const QDir dir(cacheDirectory);
    const auto stampedFresh = [&](const char* name) {
        struct stat st {};
        return ::lstat(QFile::encodeName(dir.filePath(QLatin1String(name))).constData(), &st) == 0 && S_ISREG(st.st_mode)
            && nanosecondsOf(st.st_mtim) == sourceModifiedNs;
    };
    if (cacheDirectory.isEmpty() || !stampedFresh(kPreviewFileName) || !stampedFresh(kExportFileName))
        return false;
    if (isGIF && !stampedFresh(kAnimationFileName))
        return false;
    if (sourceSize < 0)
        return true;
    // The size too: a file cut short keeps its time when it is copied with it.
    const QList<QByteArray> fields = stampFields(cacheDirectory);
    return fields.size() >= 2 && fields[0] == QByteArray::number(sourceSize) && fields[1] == QByteArray::number(sourceModifiedNs);
}

bool PLRImageManager::isCacheFresh(const BuildRequest& request)
{
    if (!isCacheFresh(request.cacheDirectory, request.sourceModifiedNs, request.isGIF))
        return false;
    // Made from this version of the photo, turned and marked as its metadata now says: pictures
    // made while that metadata was read wrong (a read that raced a move of the folder), or
    // stamped before the turn was kept, are made again.
    const QList<QByteArray> fields = stampFields(request.cacheDirectory);
    return fields.size() == 4 && (request.sourceSize < 0 || fields[0] == QByteArray::number(request.sourceSize))
        && fields[1] == QByteArray::number(request.sourceModifiedNs) && fields[2] == QByteArray::number(request.orientation)
        && fields[3] == QByteArray::number(request.dpi);
}

qint64 PLRImageManager::fileModifiedNs(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return nanosecondsOf(st.st_mtim);
}

void PLRImageManager::purgeCache(const QString& cacheDirectory)
{
    if (cacheDirectory.isEmpty() || isBarred(cacheDirectory))
        return;
    const QDir dir(cacheDirectory);
    for (const char* name : {kPreviewFileName, kExportFileName, kAnimationFileName}) {
        QFile::remove(dir.filePath(QLatin1String(name)));
        QFile::remove(dir.filePath(QLatin1String(name) + QLatin1String(kHashSuffix)));
    }
    QFile::remove(dir.filePath(QLatin1String(kStampFileName)));
}

bool PLRImageManager::holdsPicture(const QString& cacheDirectory)
{
    if (cacheDirectory.isEmpty() || platform::files::kindOf(cacheDirectory) != platform::files::Kind::Directory)
        return false;
    const QDir dir(cacheDirectory);
    for (const char* name : {kExportFileName, kAnimationFileName})
        if (platform::files::kindOf(dir.filePath(QLatin1String(name))) == platform::files::Kind::Regular)
            return true;
    return false;
}

bool PLRImageManager::adoptPictures(const QString& identifier, const QString& folder, QString* why)
{
    const auto refuse = [why](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    const QString target = locationForIdentifier(identifier).toLocalFile();
    if (target.isEmpty())
        return refuse(QStringLiteral("\"%1\" cannot name a photo").arg(identifier));
    if (!holdsPicture(folder))
        return refuse(QStringLiteral("%1 holds no picture").arg(folder));
    QString barred;
    if (isBarred(target, &barred))
        return refuse(barred);
    const auto renamed = [](const QString& from, const QString& to) {
        return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
    };
    switch (platform::files::kindOf(target)) {
    case platform::files::Kind::Missing:
        if (!QDir().mkpath(QFileInfo(target).path()))
            return refuse(QStringLiteral("the folder %1 cannot be made").arg(QFileInfo(target).path()));
        if (!renamed(folder, target))
            return refuse(QStringLiteral("cannot move %1 to %2: %3").arg(folder, target, QString::fromLocal8Bit(std::strerror(errno))));
        return true;
    case platform::files::Kind::Directory:
        break;
    default:
        return refuse(QStringLiteral("%1 is no folder").arg(target));
    }
    if (holdsPicture(target))
        return refuse(QStringLiteral("%1 holds a picture already").arg(target));
    // The pictures go together or not at all: one moved and another not is moved back.
    QStringList moved;
    for (const char* name : {kExportFileName, kAnimationFileName, kPreviewFileName}) {
        const QString from = QDir(folder).filePath(QLatin1String(name));
        if (platform::files::kindOf(from) != platform::files::Kind::Regular)
            continue;
        const QString to = QDir(target).filePath(QLatin1String(name));
        if (renamed(from, to)) {
            moved.append(QLatin1String(name));
            continue;
        }
        const QString reason = QStringLiteral("cannot move %1 to %2: %3").arg(from, to, QString::fromLocal8Bit(std::strerror(errno)));
        for (const QString& back : std::as_const(moved))
            if (!renamed(QDir(target).filePath(back), QDir(folder).filePath(back)))
                PLR_LOG_WARN(QStringLiteral("%1 could not be moved back to %2").arg(QDir(target).filePath(back), folder));
        return refuse(reason);
    }
    return true;
}

PLRImageManager::BuildResult PLRImageManager::buildCache(const BuildRequest& request)
{
    BuildResult result;
    // Opened once: the file decoded is the one the files are stamped with, wherever it goes
    // meanwhile.
    plr_image::OpenedPhoto photo(request.sourcePath);
    qint64 decodedSize = 0, decodedModifiedNs = 0;
    if (!photo.isOpen() || !photo.stamp(&decodedSize, &decodedModifiedNs)) {
        result.error = photo.isOpen() ? QStringLiteral("cannot read the file") : photo.error();
        return result;
    }
    // Decoded once, upright, at the export size straight away (at the smallest libjpeg scale
    // that covers it, scaled and turned while decoding), in sRGB.
    const auto exportSizeFor = [](const QSize& upright) {
        if (upright.width() <= kExportMaxWidth)
            return upright;
        const int height = std::max(1, int(std::lround(double(upright.height()) * kExportMaxWidth / upright.width())));
        return QSize(kExportMaxWidth, height);
    };
    QString error;
    PLRPhotoProblem problem = PLRPhotoProblem::None;
    QImage image = plr_image::decodePhotoUpright(photo, request.orientation, exportSizeFor, &error, &problem);
    // A file written to while it was decoded: no verdict and no copy of what was read; the
    // folder looks at it again once it is still.
    qint64 sizeAfter = 0, modifiedAfter = 0;
    if (!photo.stamp(&sizeAfter, &modifiedAfter) || sizeAfter != decodedSize || modifiedAfter != decodedModifiedNs) {
        result.error = QStringLiteral("the file changed while it was read");
        return result;
    }
    result.judged = problem != PLRPhotoProblem::Missing;
    result.problem = problem;
    result.judgedSize = decodedSize;
    result.judgedModifiedNs = decodedModifiedNs;
    if (image.isNull()) {
        // No copy of a photo that cannot be drawn whole, and none of an earlier version left.
        if (problem != PLRPhotoProblem::Missing)
            purgeCache(request.cacheDirectory);
        result.error = QStringLiteral("cannot decode (%1): %2").arg(describePhotoProblem(problem), error);
        return result;
    }
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    plr_image::setImageDPI(image, request.dpi);

    QImage preview = image;
    if (std::max(image.width(), image.height()) > kPreviewLongestEdge)
        preview = image.scaled(kPreviewLongestEdge, kPreviewLongestEdge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    plr_image::setImageDPI(preview, request.dpi);

    const QByteArray exportBytes = plr_image::encodeJPEG(image, kExportQuality);
    const QByteArray previewBytes = plr_image::encodeJPEG(preview, kPreviewQuality);
    if (exportBytes.isEmpty() || previewBytes.isEmpty()) {
        result.error = QStringLiteral("JPEG encoding failed");
        return result;
    }
    if (request.cacheDirectory.isEmpty() || isBarred(request.cacheDirectory, &error)) {
        result.error = QStringLiteral("cannot use the cache folder %1: %2").arg(request.cacheDirectory, error);
        return result;
    }
    if (!QDir().mkpath(request.cacheDirectory)
        || platform::files::kindOf(request.cacheDirectory) != platform::files::Kind::Directory) {
        // A link in the cache folder's place would take the files elsewhere.
        result.error = QStringLiteral("cannot make the cache folder %1").arg(request.cacheDirectory);
        return result;
    }
    const QDir dir(request.cacheDirectory);
    const QString exportPath = dir.filePath(QLatin1String(kExportFileName));
    const QString previewPath = dir.filePath(QLatin1String(kPreviewFileName));
    const QString animationPath = dir.filePath(QLatin1String(kAnimationFileName));
    if (!writeFileAtomically(exportPath, exportBytes, &error) || !writeFileAtomically(previewPath, previewBytes, &error)) {
        result.error = error;
        return result;
    }
    if (request.isGIF) {
        if (!copyFileAtomically(photo, animationPath, &error)) {
            result.error = error;
            return result;
        }
    } else {
        QFile::remove(animationPath);
    }
    // The photo's size and modification time mark the files as made from this version of it,
    // the turn and resolution as made by the metadata read of it.
    if (!writeFileAtomically(dir.filePath(QLatin1String(kStampFileName)),
                             stampText(decodedSize, decodedModifiedNs, request.orientation, request.dpi), &error)) {
        result.error = error;
        return result;
    }
    for (const QString& path : {exportPath, previewPath, animationPath}) {
        if (QFile::exists(path))
            setModifiedNs(path, decodedModifiedNs);
    }
    // The hash of what a publish uploads, kept with it.
    cachedSha1OfFile(request.isGIF ? animationPath : exportPath);
    result.ok = true;
    result.preview = preview;
    return result;
}

QImage PLRImageManager::memoryPreview(const QString& identifier)
{
    std::lock_guard lock(g_memoryMutex);
    const QImage* image = memoryCache().object(identifier);
    return image ? *image : QImage();
}

void PLRImageManager::storeMemoryPreview(const QString& identifier, const QImage& preview)
{
    if (preview.isNull())
        return;
    std::lock_guard lock(g_memoryMutex);
    const qsizetype cost = std::max<qsizetype>(1, preview.sizeInBytes() / 1024);
    memoryCache().insert(identifier, new QImage(preview), cost);
}

void PLRImageManager::forgetMemoryPreview(const QString& identifier)
{
    std::lock_guard lock(g_memoryMutex);
    memoryCache().remove(identifier);
}
