#include "store/persistance-store/source/PLRImageMetadata.h"

#include "store/persistance-store/source/PLRImageUtilities.h"
#include "platform/Log.h"
#include "platform/Modules.h"
#include "store/persistance-store/source/PLREmbeddedMetadata.h"

#include <QFile>
#include <QImageReader>
#include <QTimeZone>

#include <cmath>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>

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

// When the opened file was made (its birth time where the file system keeps one, else its
// modification time), UTC.
QDateTime creationDateOf(int fd)
{
    struct statx st {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME | STATX_MTIME, &st) != 0)
        return {};
    const statx_timestamp& time = (st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_mtime;
    return QDateTime::fromMSecsSinceEpoch(qint64(time.tv_sec) * 1000 + time.tv_nsec / 1000000, Qt::UTC);
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

namespace {

// The first field of a stored line: the version of its layout.
constexpr const char* kStoredVersion = "1";
constexpr int kStoredFields = 10;

} // namespace

QString PLRImageMetadata::storedText() const
{
    if (!complete || missing)
        return {};
    // version, readable, width, height, orientation, stars, colour, dpi, GIF, creation (ms or -)
    return QStringList{QLatin1String(kStoredVersion), QString::number(readable ? 1 : 0),
                       QString::number(pixelSize.isValid() ? pixelSize.width() : 0),
                       QString::number(pixelSize.isValid() ? pixelSize.height() : 0), QString::number(orientation),
                       QString::number(starRating), QString::number(colourRating), QString::number(dpi),
                       QString::number(isGIF ? 1 : 0),
                       creationDate.isValid() ? QString::number(creationDate.toMSecsSinceEpoch()) : QStringLiteral("-")}
        .join(QLatin1Char(' '));
}

bool PLRImageMetadata::fromStoredText(const QString& text, PLRImageMetadata* metadata)
{
    const QStringList fields = text.split(QLatin1Char(' '));
    if (fields.size() != kStoredFields || fields[0] != QLatin1String(kStoredVersion))
        return false;
    qint64 numbers[kStoredFields - 2] = {};
    for (int i = 1; i < kStoredFields - 1; ++i) {
        bool ok = false;
        numbers[i - 1] = fields[i].toLongLong(&ok);
        if (!ok)
            return false;
    }
    const bool readable = numbers[0] == 1;
    const qint64 width = numbers[1], height = numbers[2], orientation = numbers[3], stars = numbers[4];
    const qint64 colour = numbers[5], dpi = numbers[6], gif = numbers[7];
    if ((numbers[0] != 0 && !readable) || width < 0 || height < 0 || width > 1000000 || height > 1000000
        || (readable && (width == 0 || height == 0)) || orientation < 1 || orientation > 8 || stars < 0 || stars > 5
        || colour < 0 || colour > 7 || dpi <= 0 || dpi >= 100000 || (gif != 0 && gif != 1))
        return false;
    QDateTime created;
    if (fields[9] != QLatin1String("-")) {
        bool ok = false;
        const qint64 ms = fields[9].toLongLong(&ok);
        if (!ok)
            return false;
        created = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    }
    PLRImageMetadata result;
    result.readable = readable;
    if (readable)
        result.pixelSize = QSize(int(width), int(height));
    result.orientation = int(orientation);
    result.starRating = qint16(stars);
    result.colourRating = colour;
    result.dpi = dpi;
    result.isGIF = gif == 1;
    result.creationDate = created;
    result.complete = true;
    if (!readable)
        result.error = QStringLiteral("found no picture when it was last read");
    *metadata = result;
    return true;
}

PLRImageMetadata PLRImageMetadata::read(const QString& path)
{
    PLRImageMetadata result;
    // Opened once, and everything read through that: the picture's header, the embedded
    // metadata and the file's times, so that a file whose folder moves (or is put back) while
    // it is read is either read whole or found gone, never taken for a file that is no picture
    // nor read in part from another file found at its path.
    plr_image::OpenedPhoto photo(path);
    if (!photo.isOpen()) {
        result.missing = photo.missing();
        result.error = photo.error();
        return result;
    }
    // From here on what is found is about the file's content.
    photo.stamp(&result.readSize, &result.readModifiedNs);
    result.creationDate = creationDateOf(photo.descriptor());

    {
        const std::unique_ptr<QImageReader> reader = photo.pictureReader();
        reader->setAutoTransform(false);
        if (!reader->canRead()) {
            result.error = reader->error() == QImageReader::UnknownError ? QStringLiteral("no picture in a format that can be read")
                                                                         : reader->errorString();
            result.complete = true;
            return result;
        }
        result.pixelSize = reader->size();
        if (!result.pixelSize.isValid() || result.pixelSize.isEmpty()) {
            result.error = QStringLiteral("no pixel size");
            result.complete = true;
            return result;
        }
        result.isGIF = reader->format() == "gif";
        result.readable = true;
    }

    qint64 exifDPI = 0;
    if (const plr_metadata_module::Entry read = metadataReader()) {
        PLREmbeddedMetadata embedded;
        read(photo.descriptor(), path, &embedded, &debugLog);
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
        result.complete = embedded.error.isEmpty();
    }

    if (exifDPI > 0 && exifDPI < 100000)
        result.dpi = exifDPI;
    else if (const qint64 jfif = plr_image::jfifDensityDPI(photo.fromStart()); jfif > 0)
        result.dpi = jfif;
    return result;
}
