#include "store/persistance-store/source/PLRImageMetadata.h"

#include "store/persistance-store/source/PLRImageUtilities.h"
#include "platform/Log.h"
#include "platform/Modules.h"
#include "store/persistance-store/source/PLREmbeddedMetadata.h"

#include <QFileInfo>
#include <QImageReader>
#include <QTimeZone>

#include <cmath>

namespace {

void debugLog(const QString& message)
{
    PLR_LOG_DEBUG(message);
}

// The metadata module's reader, loaded on first use; null when the module is missing (logged
// once: the photos then keep the metadata defaults).
plr_metadata_module::Entry metadataReader()
{
    return reinterpret_cast<plr_metadata_module::Entry>(
        platform::modules::resolve(QLatin1String(plr_metadata_module::kFileName), plr_metadata_module::kEntrySymbol));
}

} // namespace

QSize PLRImageMetadata::orientedSize() const
{
    return plr_image::orientationSwapsAxes(orientation) ? pixelSize.transposed() : pixelSize;
}

qint64 PLRImageMetadata::colourRatingForLabel(const QString& label)
{
    const QString key = label.trimmed().toLower();
    if (key == QLatin1String("red")) return 1;
    if (key == QLatin1String("yellow")) return 2;
    if (key == QLatin1String("green")) return 3;
    if (key == QLatin1String("blue")) return 4;
    if (key == QLatin1String("purple")) return 5;
    if (key == QLatin1String("white")) return 6;
    if (key == QLatin1String("grey") || key == QLatin1String("gray")) return 7;
    return 0;
}

qint16 PLRImageMetadata::starRatingForValue(double value)
{
    if (!std::isfinite(value))
        return 0;
    const long rounded = std::lround(value);
    return qint16(std::clamp(rounded, 0L, 5L));
}

PLRImageMetadata PLRImageMetadata::read(const QString& path)
{
    PLRImageMetadata result;
    const QFileInfo info(path);
    // A FIFO or device in a photo's place would block the decoder or never end.
    if (!info.isFile()) {
        result.error = QStringLiteral("not a regular file");
        return result;
    }
    result.creationDate = info.birthTime().isValid() ? info.birthTime().toUTC() : info.lastModified().toUTC();

    {
        QImageReader reader(path);
        reader.setAutoTransform(false);
        if (!reader.canRead()) {
            result.error = reader.errorString();
            return result;
        }
        result.pixelSize = reader.size();
        if (!result.pixelSize.isValid() || result.pixelSize.isEmpty()) {
            result.error = QStringLiteral("no pixel size");
            return result;
        }
        result.isGIF = reader.format() == "gif";
        result.readable = true;
    }

    qint64 exifDPI = 0;
    if (const plr_metadata_module::Entry read = metadataReader()) {
        PLREmbeddedMetadata embedded;
        read(path, &embedded, &debugLog);
        if (embedded.orientation >= 1 && embedded.orientation <= 8)
            result.orientation = embedded.orientation;
        if (embedded.rated)
            result.starRating = starRatingForValue(embedded.starRating);
        if (embedded.labelled)
            result.colourRating = colourRatingForLabel(embedded.colourLabel);
        if (embedded.creationDate.isValid())
            result.creationDate = embedded.creationDate;
        exifDPI = embedded.dpi;
        if (!embedded.error.isEmpty())
            PLR_LOG_WARN(QStringLiteral("Could not read the metadata of %1: %2").arg(path, embedded.error));
    }

    if (exifDPI > 0 && exifDPI < 100000)
        result.dpi = exifDPI;
    else if (const qint64 jfif = plr_image::jfifDensityDPI(path); jfif > 0)
        result.dpi = jfif;
    return result;
}
