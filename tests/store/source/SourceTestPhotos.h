#pragma once

// Small photos made for the tests, tagged through exiv2 like a photo library would tag them.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QString>

#include <exiv2/exiv2.hpp>

#include <map>
#include <string>

namespace source_test {

// A JPEG of the given size with a gradient and a block so that orientation is visible;
// `dpi` is written into the JFIF header.
inline bool writePhoto(const QString& path, int width, int height, int dpi = 72, const char* format = "JPG")
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 255 / std::max(1, width - 1), y * 255 / std::max(1, height - 1), 90));
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, width / 4 + 1, height / 4 + 1), Qt::red);
    painter.end();
    const int dotsPerMetre = int(std::lround(dpi / 0.0254));
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    QDir().mkpath(QFileInfo(path).absolutePath());
    return image.save(path, format, 92);
}

// Sets metadata through exiv2: keys starting "Xmp." go to the XMP packet, "Exif." to EXIF.
inline bool tagPhoto(const QString& path, const std::map<std::string, std::string>& values)
{
    try {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        Exiv2::ExifData exif = image->exifData();
        Exiv2::XmpData xmp = image->xmpData();
        for (const auto& [key, value] : values) {
            if (key.rfind("Xmp.", 0) == 0)
                xmp[key] = value;
            else if (key == "Exif.Image.Orientation" || key == "Exif.Image.Rating")
                exif[key] = uint16_t(std::stoi(value));
            else
                exif[key] = value;
        }
        image->setExifData(exif);
        image->setXmpData(xmp);
        image->writeMetadata();
        return true;
    } catch (...) {
        return false;
    }
}

inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace source_test
