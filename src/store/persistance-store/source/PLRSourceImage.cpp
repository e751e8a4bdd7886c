#include "store/persistance-store/source/PLRSourceImage.h"

#include "platform/Alert.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "store/persistance-store/source/PLRPhotoDecoder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cmath>

#include <sys/stat.h>

PLRSourceImage::PLRSourceImage(const QString& identifier, const QString& cacheRoot)
    : m_identifier(identifier.isEmpty() ? makeIdentifier() : identifier), m_cacheRoot(cacheRoot)
{
}

PLRSourceImage::~PLRSourceImage() = default;

QString PLRSourceImage::makeIdentifier()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QUrl PLRSourceImage::location() const
{
    QMutexLocker lock(&m_mutex);
    return m_path.isEmpty() ? QUrl() : QUrl::fromLocalFile(m_path);
}

QString PLRSourceImage::path() const
{
    QMutexLocker lock(&m_mutex);
    return m_path;
}

QString PLRSourceImage::relativePath() const
{
    QMutexLocker lock(&m_mutex);
    return m_relativePath;
}

QString PLRSourceImage::fileName() const
{
    QMutexLocker lock(&m_mutex);
    return QFileInfo(m_relativePath).fileName();
}

QDateTime PLRSourceImage::creationDate() const
{
    QMutexLocker lock(&m_mutex);
    return m_metadata.creationDate;
}

QDateTime PLRSourceImage::modifiedDate() const
{
    QMutexLocker lock(&m_mutex);
    if (m_stamp.size < 0)
        return {};
    return QDateTime::fromMSecsSinceEpoch(m_stamp.modifiedNs / 1000000, Qt::UTC);
}

float PLRSourceImage::width() const
{
    QMutexLocker lock(&m_mutex);
    return m_metadata.readable ? float(m_metadata.orientedSize().width()) : 0.0f;
}

float PLRSourceImage::height() const
{
    QMutexLocker lock(&m_mutex);
    return m_metadata.readable ? float(m_metadata.orientedSize().height()) : 0.0f;
}

PLRAspectRatio PLRSourceImage::aspectRatio() const
{
    return PLRAspectRatio::ratioWithSize(QSizeF(width(), height()));
}

qint16 PLRSourceImage::starRating() const
{
    QMutexLocker lock(&m_mutex);
    return m_metadata.starRating;
}

qint64 PLRSourceImage::colourRating() const
{
    QMutexLocker lock(&m_mutex);
    return m_metadata.colourRating;
}

qint64 PLRSourceImage::dpi() const
{
    QMutexLocker lock(&m_mutex);
    return m_metadata.dpi;
}

int PLRSourceImage::orientation() const
{
    QMutexLocker lock(&m_mutex);
    return m_metadata.orientation;
}

bool PLRSourceImage::isImageGIF() const
{
    QMutexLocker lock(&m_mutex);
    if (m_metadata.readable)
        return m_metadata.isGIF;
    return m_relativePath.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive);
}

bool PLRSourceImage::fileDeleted() const
{
    QMutexLocker lock(&m_mutex);
    return m_fileDeleted;
}

PLRPhotoProblem PLRSourceImage::problemLocked() const
{
    if (m_fileDeleted || m_path.isEmpty())
        return PLRPhotoProblem::Missing;
    if (!m_metadata.readable)
        return PLRPhotoProblem::Unreadable;
    return m_judgedStamp == m_stamp ? m_decodeProblem : PLRPhotoProblem::None;
}

quint64 PLRSourceImage::generationNow() const
{
    return m_folderGeneration ? m_folderGeneration->load() : 0;
}

bool PLRSourceImage::metadataInDoubtLocked() const
{
    return !m_fileDeleted && !m_path.isEmpty() && !m_metadata.readable && m_readGeneration != generationNow();
}

bool PLRSourceImage::decodeInDoubtLocked() const
{
    return !m_fileDeleted && !m_path.isEmpty() && m_metadata.readable && m_stamp.size >= 0 && m_judgedStamp == m_stamp
        && m_decodeProblem != PLRPhotoProblem::None && m_judgedGeneration != generationNow();
}

bool PLRSourceImage::metadataInDoubt() const
{
    QMutexLocker lock(&m_mutex);
    return metadataInDoubtLocked();
}

bool PLRSourceImage::decodeInDoubt() const
{
    QMutexLocker lock(&m_mutex);
    return decodeInDoubtLocked();
}

PLRPhotoProblem PLRSourceImage::problem() const
{
    QMutexLocker lock(&m_mutex);
    return problemLocked();
}

bool PLRSourceImage::isJudged() const
{
    QMutexLocker lock(&m_mutex);
    return problemLocked() != PLRPhotoProblem::None || (m_stamp.size >= 0 && m_judgedStamp == m_stamp);
}

PLRPhotoProblem PLRSourceImage::checkedProblem()
{
    QString path;
    PLRFileStamp stamp;
    bool judged = false;
    quint64 generation = 0;
    {
        QMutexLocker lock(&m_mutex);
        const PLRPhotoProblem known = problemLocked();
        // A decode's verdict made while the folder moved is judged again.
        const bool doubt = decodeInDoubtLocked();
        if (known != PLRPhotoProblem::None && !doubt)
            return known;
        path = m_path;
        stamp = m_stamp;
        judged = !doubt && m_stamp.size >= 0 && m_judgedStamp == m_stamp;
        generation = generationNow();
    }
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return PLRPhotoProblem::Missing;
    // A file changed since the folder last looked is judged as it is now.
    const PLRFileStamp now = PLRFileStamp::of(st);
    if (judged && now == stamp)
        return PLRPhotoProblem::None;
    QString error;
    const PLRPhotoProblem found = plr_image::checkPhoto(path, &error);
    if (found != PLRPhotoProblem::None)
        PLR_LOG_WARN(QStringLiteral("The photo %1 cannot be drawn (%2): %3").arg(path, describePhotoProblem(found), error));
    // Kept only for the version of the file the folder knows; a file changed since is judged
    // again once the folder has seen the change.
    if (now == stamp)
        noteDecodeResult(now, found, generation);
    return found;
}

void PLRSourceImage::noteDecodeResult(const PLRFileStamp& stamp, PLRPhotoProblem problem, std::optional<quint64> generation)
{
    bool changed = false;
    bool doubt = false;
    {
        QMutexLocker lock(&m_mutex);
        if (!(stamp == m_stamp) || stamp.size < 0)
            return;   // another version of the file by now
        const PLRPhotoProblem before = problemLocked();
        m_judgedStamp = stamp;
        m_decodeProblem = problem;
        m_judgedGeneration = generation.value_or(generationNow());
        changed = problemLocked() != before;
        doubt = decodeInDoubtLocked();
    }
    if (problem != PLRPhotoProblem::None)
        PLRImageManager::forgetMemoryPreview(m_identifier);
    // A problem found while the folder moved is told as well: its folder judges it again.
    if (changed || doubt)
        emit problemChanged();
    if (changed)
        notifyCacheAssetChanged();
}

bool PLRSourceImage::inLayout() const
{
    QMutexLocker lock(&m_mutex);
    return m_inLayout;
}

void PLRSourceImage::setInLayout(bool inLayout)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_inLayout == inLayout)
            return;
        m_inLayout = inLayout;
    }
    emit inLayoutChanged(inLayout);
}

bool PLRSourceImage::isHidden() const
{
    QMutexLocker lock(&m_mutex);
    return m_hidden;
}

void PLRSourceImage::setHidden(bool hidden)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_hidden == hidden)
            return;
        m_hidden = hidden;
    }
    emit hiddenChanged(hidden);
}

void PLRSourceImage::toggleHidden()
{
    setHidden(!isHidden());
}

QStringList PLRSourceImage::focusKeywords() const
{
    QMutexLocker lock(&m_mutex);
    return m_keywords;
}

void PLRSourceImage::setFocusKeywords(const QStringList& keywords)
{
    QMutexLocker lock(&m_mutex);
    m_keywords = keywords;
}

QSizeF PLRSourceImage::galleryDisplayFrameForLongestEdge(double longestEdge) const
{
    const double w = width();
    const double h = height();
    const double ratio = (w > 0 && h > 0) ? w / h : 0.0;
    if (ratio <= 0)
        return QSizeF(longestEdge, longestEdge);
    if (ratio >= 1.0)
        return QSizeF(longestEdge, longestEdge / ratio);
    return QSizeF(longestEdge * ratio, longestEdge);
}

QImage PLRSourceImage::previewImage(std::function<void(const QImage&)> completion)
{
    const QImage cached = PLRImageManager::memoryPreview(m_identifier);
    if (!cached.isNull())
        return cached;
    {
        QMutexLocker lock(&m_mutex);
        m_previewWanted = true;
        if (completion)
            m_previewCompletions.push_back(std::move(completion));
    }
    PLRImageManager::shared().requestCache(shared_from_this());
    return {};
}

QString PLRSourceImage::cacheLocation() const
{
    if (!PLRImageManager::isValidIdentifier(m_identifier) || m_cacheRoot.isEmpty())
        return {};
    return QDir(m_cacheRoot).filePath(m_identifier);
}

QString PLRSourceImage::exportFilePath()
{
    const QDir dir(cacheLocation());
    PLRImageManager::BuildRequest request;
    bool judged = false;
    {
        QMutexLocker lock(&m_mutex);
        // Only a photo that can be drawn has an export file: never a copy of an earlier version
        // of a file that is now gone, cut short or no picture.
        if (problemLocked() != PLRPhotoProblem::None)
            return {};
        judged = m_judgedStamp == m_stamp;
        request.generation = generationNow();
        request.sourcePath = m_path;
        request.cacheDirectory = cacheLocation();
        request.orientation = m_metadata.orientation;
        request.dpi = m_metadata.dpi;
        request.isGIF = m_metadata.isGIF;
        request.sourceModifiedNs = m_stamp.modifiedNs;
        request.sourceSize = m_stamp.size;
    }
    if (request.cacheDirectory.isEmpty())
        return {};
    const QString fileName = QLatin1String(request.isGIF ? PLRImageManager::kAnimationFileName
                                                         : PLRImageManager::kExportFileName);
    // A file changed since the folder last looked (cut short by now, say) is not served from the
    // copy of its earlier version: it is decoded as it is.
    struct stat st {};
    if (::stat(QFile::encodeName(request.sourcePath).constData(), &st) != 0)
        return {};
    const bool changedOnDisk = PLRFileStamp::of(st) != PLRFileStamp{request.sourceSize, request.sourceModifiedNs};
    if (changedOnDisk
        || !PLRImageManager::isCacheFresh(request)) {
        const auto result = PLRImageManager::buildCache(request);
        if (result.judged)
            noteDecodeResult(PLRFileStamp{result.judgedSize, result.judgedModifiedNs}, result.problem, request.generation);
        if (!result.ok) {
            PLR_LOG_WARN(QStringLiteral("No export data for %1: %2").arg(request.sourcePath, result.error));
            return {};
        }
    } else if (!judged) {
        // Made from a whole decode of this version of the file.
        noteDecodeResult(PLRFileStamp{request.sourceSize, request.sourceModifiedNs}, PLRPhotoProblem::None, request.generation);
    }
    if (problem() != PLRPhotoProblem::None)
        return {};
    // Only a regular file of the cache, never a link or anything else in its place.
    const QString path = dir.filePath(fileName);
    return platform::files::kindOf(path) == platform::files::Kind::Regular ? path : QString();
}

QByteArray PLRSourceImage::exportImageData()
{
    const QString path = exportFilePath();
    QByteArray bytes;
    if (path.isEmpty() || !platform::files::readAll(path, &bytes))
        return {};
    return bytes;
}

bool PLRSourceImage::checkIfGIFExceedsFileSizeLimit(QWidget* parent) const
{
    if (!isImageGIF())
        return false;
    const QFileInfo info(path());
    if (!info.exists() || info.size() <= kGIFFileSizeLimitMB * 1024 * 1024)
        return false;
    platform::Alert alert;
    alert.messageText = QStringLiteral("GIF exceeds maximum filesize");
    alert.informativeText = QStringLiteral("%1 is larger than the maximum GIF size of %2 MB.")
                                .arg(info.fileName())
                                .arg(kGIFFileSizeLimitMB);
    alert.buttons = {QStringLiteral("OK")};
    platform::runAlert(alert, parent);
    return true;
}

void PLRSourceImage::addDelegate(PLRSourceImageDelegate* delegate)
{
    QMutexLocker lock(&m_mutex);
    m_delegates.add(delegate);
}

void PLRSourceImage::removeDelegate(PLRSourceImageDelegate* delegate)
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

void PLRSourceImage::notifyCacheAssetChanged()
{
    // Queued to the main thread; the photo may be gone by then, and is not kept alive for it.
    std::weak_ptr<PLRSourceImage> weak = weak_from_this();
    if (weak.expired())
        return;   // not owned by a directory: nobody can be listening from the main thread
    platform::dispatchMain([weak] {
        const std::shared_ptr<PLRSourceImage> self = weak.lock();
        if (!self)
            return;
        for (auto* delegate : self->liveDelegates()) {
            QMutexLocker delivering(&self->m_deliveryMutex);
            {
                QMutexLocker lock(&self->m_mutex);
                if (!self->m_delegates.contains(delegate))
                    continue;
            }
            delegate->imageCacheAssetChanged(self.get());
        }
    });
}

std::vector<PLRSourceImageDelegate*> PLRSourceImage::liveDelegates()
{
    QMutexLocker lock(&m_mutex);
    return m_delegates.live();
}

PLRFileStamp PLRSourceImage::fileStamp() const
{
    QMutexLocker lock(&m_mutex);
    return m_stamp;
}

PLRImageMetadata PLRSourceImage::metadata() const
{
    QMutexLocker lock(&m_mutex);
    return m_metadata;
}

quint64 PLRSourceImage::readGeneration() const
{
    QMutexLocker lock(&m_mutex);
    return m_readGeneration;
}

void PLRSourceImage::setFolderGeneration(std::shared_ptr<const std::atomic<quint64>> generation)
{
    QMutexLocker lock(&m_mutex);
    m_folderGeneration = std::move(generation);
    m_readGeneration = generationNow();
    m_judgedGeneration = m_readGeneration;
}

void PLRSourceImage::setFile(const QString& path, const QString& relativePath, const PLRFileStamp& stamp,
                             const PLRImageMetadata& metadata, std::optional<quint64> readGeneration)
{
    bool changed = false;
    {
        QMutexLocker lock(&m_mutex);
        changed = !(m_stamp == stamp) || m_path != path;
        m_path = path;
        m_relativePath = relativePath;
        m_stamp = stamp;
        m_metadata = metadata;
        m_readGeneration = readGeneration.value_or(generationNow());
        m_fileDeleted = false;
    }
    if (changed)
        PLRImageManager::forgetMemoryPreview(m_identifier);
}

void PLRSourceImage::setFileDeleted(bool deleted)
{
    QMutexLocker lock(&m_mutex);
    m_fileDeleted = deleted;
}

void PLRSourceImage::resetCache()
{
    PLRImageManager::forgetMemoryPreview(m_identifier);
    PLRImageManager::purgeCache(cacheLocation());
}

bool PLRSourceImage::markCacheJobQueued()
{
    QMutexLocker lock(&m_mutex);
    if (m_jobQueued)
        return false;
    m_jobQueued = true;
    return true;
}

void PLRSourceImage::addCacheJobCompletion(std::function<void()> done)
{
    QMutexLocker lock(&m_mutex);
    m_jobCompletions.push_back(std::move(done));
}

PLRImageManager::BuildRequest PLRSourceImage::beginCacheJob()
{
    QMutexLocker lock(&m_mutex);
    m_jobQueued = false;
    PLRImageManager::BuildRequest request;
    // Nothing is decoded for a photo that is gone, no picture, or already found unusable in
    // this version; a file that is there but no picture loses its cached copy.
    // A decode's verdict made while the folder moved is judged again.
    const bool doubt = decodeInDoubtLocked();
    const PLRPhotoProblem known = doubt ? PLRPhotoProblem::None : problemLocked();
    request.sourcePath = known == PLRPhotoProblem::None ? m_path : QString();
    request.dropCache = known != PLRPhotoProblem::None && known != PLRPhotoProblem::Missing;
    request.judged = !doubt && m_stamp.size >= 0 && m_judgedStamp == m_stamp;
    request.generation = generationNow();
    request.cacheDirectory = cacheLocation();
    request.orientation = m_metadata.orientation;
    request.dpi = m_metadata.dpi;
    request.isGIF = m_metadata.isGIF;
    request.sourceModifiedNs = m_stamp.modifiedNs;
    request.sourceSize = m_stamp.size;
    return request;
}

bool PLRSourceImage::hasPendingPreviewRequests() const
{
    QMutexLocker lock(&m_mutex);
    return m_previewWanted || !m_previewCompletions.empty();
}

void PLRSourceImage::finishCacheJob(bool ok, const QImage& preview, bool rebuilt)
{
    std::vector<std::function<void(const QImage&)>> previewCompletions;
    std::vector<std::function<void()>> jobCompletions;
    bool wanted = false;
    {
        QMutexLocker lock(&m_mutex);
        wanted = m_previewWanted;
        // A job for a newer version of the file is queued: let that one answer the previews.
        if (!m_jobQueued || !ok) {
            previewCompletions.swap(m_previewCompletions);
            m_previewWanted = false;
        }
        jobCompletions.swap(m_jobCompletions);
    }
    // Kept in memory when asked for, or in place of an older preview held there (shown now).
    if (ok && !preview.isNull() && (wanted || !PLRImageManager::memoryPreview(m_identifier).isNull()))
        PLRImageManager::storeMemoryPreview(m_identifier, preview);
    QImage answer = preview;
    if (ok && answer.isNull() && (wanted || !previewCompletions.empty())) {
        answer = PLRImageManager::readCachedImage(QDir(cacheLocation()).filePath(QLatin1String(PLRImageManager::kPreviewFileName)));
        PLRImageManager::storeMemoryPreview(m_identifier, answer);
    }
    if (!ok || answer.isNull())
        answer = PLRImageManager::placeholderImage();
    for (auto& completion : previewCompletions)
        completion(answer);
    if (rebuilt)
        notifyCacheAssetChanged();
    for (auto& done : jobCompletions)
        done();
}
