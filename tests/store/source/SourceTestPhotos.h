#pragma once

// Small photos made for the tests, tagged through exiv2 like a photo library would tag them.

#include "support/store/StoreFixtures.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

namespace source_test {

// A JPEG of the given size with a gradient and a block so that orientation is visible;
// `dpi` is written into the JFIF header.
inline bool writePhoto(const QString& path, int width, int height, int dpi = 72)
{
    testing_support::TestPhoto photo;
    photo.width = width;
    photo.height = height;
    photo.dpi = dpi;
    return testing_support::writePhoto(path, photo);
}

// Sets metadata through exiv2: keys starting "Xmp." go to the XMP packet, "Exif." to EXIF.
using testing_support::tagPhoto;

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
