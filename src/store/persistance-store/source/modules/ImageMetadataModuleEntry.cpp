// The metadata module (pellora-metadata.so): reads a photo's EXIF and XMP metadata. It links
// the metadata library and Qt Core, nothing of the application.

#include "store/persistance-store/source/PLREmbeddedMetadata.h"

#include <exiv2/exiv2.hpp>

#include <atomic>
#include <cmath>
#include <mutex>

namespace {

std::mutex g_xmpMutex;
std::atomic<void (*)(const QString&)> g_debugLog{nullptr};

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
    if (level < Exiv2::LogMsg::error)
        return;
    if (auto log = g_debugLog.load())
        log(QStringLiteral("exiv2: %1").arg(QString::fromUtf8(message).trimmed()));
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

void read(const QString& path, PLREmbeddedMetadata* result)
{
    auto image = Exiv2::ImageFactory::open(path.toStdString());
    if (!image.get())
        return;
    image->readMetadata();
    const Exiv2::ExifData& exif = image->exifData();
    const Exiv2::XmpData& xmp = image->xmpData();

    auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (orientation != exif.end() && orientation->count() > 0) {
        const long value = orientation->toLong();
        if (value >= 1 && value <= 8)
            result->orientation = int(value);
    }

    auto xmpRating = xmp.findKey(Exiv2::XmpKey("Xmp.xmp.Rating"));
    if (xmpRating != xmp.end()) {
        bool ok = false;
        const double value = QString::fromStdString(xmpRating->toString()).trimmed().toDouble(&ok);
        if (ok) {
            result->starRating = value;
            result->rated = true;
        }
    }
    if (!result->rated) {
        auto exifRating = exif.findKey(Exiv2::ExifKey("Exif.Image.Rating"));
        if (exifRating != exif.end() && exifRating->count() > 0) {
            result->starRating = double(exifRating->toLong());
            result->rated = true;
        }
    }

    auto label = xmp.findKey(Exiv2::XmpKey("Xmp.xmp.Label"));
    if (label != xmp.end()) {
        result->colourLabel = QString::fromStdString(label->toString());
        result->labelled = true;
    }

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
    result->creationDate = created;

    auto xres = exif.findKey(Exiv2::ExifKey("Exif.Image.XResolution"));
    if (xres != exif.end() && xres->count() > 0) {
        const Exiv2::Rational r = xres->toRational();
        if (r.first > 0 && r.second > 0) {
            double dpi = double(r.first) / double(r.second);
            auto unit = exif.findKey(Exiv2::ExifKey("Exif.Image.ResolutionUnit"));
            const long unitValue = (unit != exif.end() && unit->count() > 0) ? unit->toLong() : 2;
            if (unitValue == 3)
                dpi *= 2.54;
            if ((unitValue == 2 || unitValue == 3) && std::isfinite(dpi) && dpi < 1e12)
                result->dpi = std::lround(dpi);
        }
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) void pellora_read_embedded_metadata(
    const QString& path, PLREmbeddedMetadata* into, void (*debugLog)(const QString& message))
{
    g_debugLog.store(debugLog);
    ensureExiv2();
    // What was read before a failure is kept, with the failure.
    PLREmbeddedMetadata result;
    try {
        read(path, &result);
    } catch (const Exiv2::AnyError& e) {
        result.error = QString::fromUtf8(e.what());
    } catch (const std::exception& e) {
        result.error = QString::fromUtf8(e.what());
    } catch (...) {
        result.error = QStringLiteral("unknown failure");
    }
    *into = std::move(result);
}
