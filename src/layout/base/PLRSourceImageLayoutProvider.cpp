#include "layout/base/PLRSourceImageLayoutProvider.h"

#include "store/persistance-store/source/PLRImageManager.h"
#include "store/persistance-store/source/PLRImageUtilities.h"
#include "store/persistance-store/source/PLRPhotoDecoder.h"
#include "store/persistance-store/source/PLRSourceImage.h"
#include "platform/Log.h"

#include <QImageReader>

namespace {

qint64 kilobytesOf(const QImage& image)
{
    return std::max<qint64>(1, image.sizeInBytes() / 1024);
}

} // namespace

PLRSourceImageLayoutProvider::PLRSourceImageLayoutProvider(ImageLookup lookup, UseCountSink useCounts)
    : m_lookup(std::move(lookup)), m_useCounts(std::move(useCounts))
{
    m_exportImages.setMaxCost(kExportCacheKilobytes);
    m_fullSizeImages.setMaxCost(kFullSizeCacheKilobytes);
}

void PLRSourceImageLayoutProvider::invalidate(const QString& identifier)
{
    m_exportImages.remove(identifier);
    m_fullSizeImages.remove(identifier);
}

bool PLRSourceImageLayoutProvider::hasImage(const QString& identifier) const
{
    // A photo that is gone, cut short or not readable is drawn as the placeholder with its mark.
    const auto image = m_lookup ? m_lookup(identifier) : nullptr;
    return image && image->problem() == PLRPhotoProblem::None;
}

QSizeF PLRSourceImageLayoutProvider::imageSize(const QString& identifier) const
{
    const auto image = m_lookup ? m_lookup(identifier) : nullptr;
    return image ? QSizeF(image->width(), image->height()) : QSizeF();
}

double PLRSourceImageLayoutProvider::aspectRatioFactor(const QString& identifier) const
{
    const auto image = m_lookup ? m_lookup(identifier) : nullptr;
    if (!image)
        return 0.0;
    // The photo's exact proportions (not snapped to a preset), so that it is not distorted.
    const double w = image->width();
    const double h = image->height();
    return (w > 0 && h > 0) ? w / h : 0.0;
}

QImage PLRSourceImageLayoutProvider::exportImage(const QString& identifier) const
{
    if (const QImage* cached = m_exportImages.object(identifier))
        return *cached;
    const auto image = m_lookup ? m_lookup(identifier) : nullptr;
    if (!image)
        return {};
    // The cached export file (made now when it is missing or stale).
    QImage decoded = QImage::fromData(image->exportImageData());
    if (decoded.isNull())
        return PLRImageManager::memoryPreview(identifier);   // at least the preview, when in memory
    auto* stored = new QImage(decoded);
    m_exportImages.insert(identifier, stored, kilobytesOf(*stored));
    return decoded;
}

QImage PLRSourceImageLayoutProvider::fullSizeImage(const QString& identifier) const
{
    if (const QImage* cached = m_fullSizeImages.object(identifier))
        return *cached;
    const auto image = m_lookup ? m_lookup(identifier) : nullptr;
    if (!image || image->problem() != PLRPhotoProblem::None)
        return {};
    // Upright and in sRGB, whatever its orientation and colour profile.
    QString error;
    PLRPhotoProblem problem = PLRPhotoProblem::None;
    const PLRFileStamp stamp = image->fileStamp();
    QImage decoded = plr_image::decodePhotoAtSize(image->path(), QSize(), &error, &problem);
    if (decoded.isNull()) {
        PLR_LOG_WARN(QStringLiteral("The photo %1 could not be read: %2").arg(image->path(), error));
        // The photo is then marked (its blocks are drawn again when it is told).
        if (problem == PLRPhotoProblem::CutShort || problem == PLRPhotoProblem::Unreadable) {
            image->noteDecodeResult(stamp, problem);
            return {};
        }
        return exportImage(identifier);
    }
    auto* stored = new QImage(decoded);
    m_fullSizeImages.insert(identifier, stored, kilobytesOf(*stored));
    return decoded;
}

QDateTime PLRSourceImageLayoutProvider::modifiedDate(const QString& identifier) const
{
    const auto image = m_lookup ? m_lookup(identifier) : nullptr;
    return image ? image->modifiedDate() : QDateTime();
}

QStringList PLRSourceImageLayoutProvider::focusKeywords(const QString& identifier) const
{
    const auto image = m_lookup ? m_lookup(identifier) : nullptr;
    return image ? image->focusKeywords() : QStringList();
}

void PLRSourceImageLayoutProvider::imageUseCountDidChange(const QString& identifier, qint64 count)
{
    if (m_useCounts)
        m_useCounts(identifier, count);
}
