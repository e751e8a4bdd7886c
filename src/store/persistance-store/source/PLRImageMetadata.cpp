#include "store/persistance-store/source/PLRImageMetadata.h"

#include "store/persistance-store/source/PLRImageUtilities.h"
#include "platform/Log.h"

#include <QFileInfo>
#include <QImageReader>
#include <QTimeZone>

#include <exiv2/exiv2.hpp>

#include <cmath>
#include <mutex>

namespace {

std::mutex g_xmpMutex;

void xmpLock(void* data, bool lock)
{
    auto* mutex = static_cast<std::mutex*>(data);
    if (lock)
        mutex->lock();
    else
        mutex->unlock();
}

void exivLogHandler(int level, const char* message)
{
    QString text = QString::fromUtf8(message).trimmed();
    if (level >= Exiv2::LogMsg::error)
        PLR_LOG_DEBUG(QStringLiteral("exiv2: %1").arg(text));
}

void ensureExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::XmpParser::initialize(xmpLock, &g_xmpMutex);
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::error);
        Exiv2::LogMsg::setHandler(exivLogHandler);
    });
}

QDateTime parseExifDate(const std::string& text)
{
    // "YYYY:MM:DD HH:MM:SS", local time of the camera.
    const QString value = QString::fromStdString(text).trimmed();
    QDateTime date = QDateTime::fromString(value.left(19), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    if (!date.isValid())
        date = QDateTime::fromString(value.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return date.isValid() ? date.toUTC() : QDateTime();
}

QDateTime parseXmpDate(const std::string& text)
{
    QDateTime date = QDateTime::fromString(QString::fromStdString(text).trimmed(), Qt::ISODate);
    return date.isValid() ? date.toUTC() : QDateTime();
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
    ensureExiv2();
    try {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        if (image.get()) {
            image->readMetadata();
            const Exiv2::ExifData& exif = image->exifData();
            const Exiv2::XmpData& xmp = image->xmpData();

            auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
            if (orientation != exif.end() && orientation->count() > 0) {
                const long value = orientation->toLong();
                if (value >= 1 && value <= 8)
                    result.orientation = int(value);
            }

            bool rated = false;
            auto xmpRating = xmp.findKey(Exiv2::XmpKey("Xmp.xmp.Rating"));
            if (xmpRating != xmp.end()) {
                bool ok = false;
                const double value = QString::fromStdString(xmpRating->toString()).trimmed().toDouble(&ok);
                if (ok) {
                    result.starRating = starRatingForValue(value);
                    rated = true;
                }
            }
            if (!rated) {
                auto exifRating = exif.findKey(Exiv2::ExifKey("Exif.Image.Rating"));
                if (exifRating != exif.end() && exifRating->count() > 0)
                    result.starRating = starRatingForValue(double(exifRating->toLong()));
            }

            auto label = xmp.findKey(Exiv2::XmpKey("Xmp.xmp.Label"));
            if (label != xmp.end())
                result.colourRating = colourRatingForLabel(QString::fromStdString(label->toString()));

            QDateTime created;
            for (const char* key : {"Exif.Photo.DateTimeOriginal", "Exif.Photo.DateTimeDigitized", "Exif.Image.DateTime"}) {
                auto it = exif.findKey(Exiv2::ExifKey(key));
                if (it != exif.end()) {
                    created = parseExifDate(it->toString());
                    if (created.isValid())
                        break;
                }
            }
            if (!created.isValid()) {
                for (const char* key : {"Xmp.photoshop.DateCreated", "Xmp.exif.DateTimeOriginal", "Xmp.xmp.CreateDate"}) {
                    auto it = xmp.findKey(Exiv2::XmpKey(key));
                    if (it != xmp.end()) {
                        created = parseXmpDate(it->toString());
                        if (created.isValid())
                            break;
                    }
                }
            }
            if (created.isValid())
                result.creationDate = created;

            auto xres = exif.findKey(Exiv2::ExifKey("Exif.Image.XResolution"));
            if (xres != exif.end() && xres->count() > 0) {
                const Exiv2::Rational r = xres->toRational();
                if (r.first > 0 && r.second > 0) {
                    double dpi = double(r.first) / double(r.second);
                    auto unit = exif.findKey(Exiv2::ExifKey("Exif.Image.ResolutionUnit"));
                    const long unitValue = (unit != exif.end() && unit->count() > 0) ? unit->toLong() : 2;
                    if (unitValue == 3)
                        dpi *= 2.54;
                    if (unitValue == 2 || unitValue == 3)
                        exifDPI = std::lround(dpi);
                }
            }
        }
    } catch (const Exiv2::AnyError& e) {
        PLR_LOG_WARN(QStringLiteral("Could not read the metadata of %1: %2").arg(path, QString::fromUtf8(e.what())));
    } catch (const std::exception& e) {
        PLR_LOG_WARN(QStringLiteral("Could not read the metadata of %1: %2").arg(path, QString::fromUtf8(e.what())));
    } catch (...) {
        PLR_LOG_WARN(QStringLiteral("Could not read the metadata of %1").arg(path));
    }

    if (exifDPI > 0 && exifDPI < 100000)
        result.dpi = exifDPI;
    else if (const qint64 jfif = plr_image::jfifDensityDPI(path); jfif > 0)
        result.dpi = jfif;
    return result;
}
