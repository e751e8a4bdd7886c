#pragma once

// 24-megapixel JPEGs with photo-like content (sky, hills, water, grain) for benchmarks that
// need real-sized photos: made once into a folder and reused.

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStringList>
#include <QTransform>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include <unistd.h>

namespace bench_photos {

inline constexpr int kWidth = 6000;
inline constexpr int kHeight = 4000;

// Smooth value noise for landscape-like shapes.
inline double hashNoise(int x, int y, quint32 seed)
{
    quint32 h = quint32(x) * 374761393u + quint32(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return double(h ^ (h >> 16)) / 4294967295.0;
}

inline double valueNoise(double x, double y, quint32 seed)
{
    const int xi = int(std::floor(x));
    const int yi = int(std::floor(y));
    const double fx = x - xi;
    const double fy = y - yi;
    const double sx = fx * fx * (3 - 2 * fx);
    const double sy = fy * fy * (3 - 2 * fy);
    const double a = hashNoise(xi, yi, seed), b = hashNoise(xi + 1, yi, seed);
    const double c = hashNoise(xi, yi + 1, seed), d = hashNoise(xi + 1, yi + 1, seed);
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

inline double fractal(double x, double y, quint32 seed)
{
    double sum = 0, amplitude = 0.5, frequency = 1;
    for (int octave = 0; octave < 5; ++octave) {
        sum += amplitude * valueNoise(x * frequency, y * frequency, seed + quint32(octave));
        amplitude *= 0.5;
        frequency *= 2.0;
    }
    return sum;
}

// A sky, hills, a lake and texture: drawn small, scaled up, then given per-pixel grain so the
// JPEG has the size and detail of a real photo.
inline QImage makeLandscape(int index)
{
    const quint32 seed = quint32(index) * 7919u + 17u;
    const int w = kWidth / 8, h = kHeight / 8;
    QImage small(w, h, QImage::Format_RGB32);
    const double horizon = h * (0.35 + 0.2 * hashNoise(index, 1, seed));
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(small.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const double n = fractal(x / 60.0, y / 60.0, seed);
            const double ridge = horizon + (fractal(x / 120.0, 0.5, seed + 99) - 0.5) * h * 0.5;
            int r, g, b;
            if (y < ridge) {
                const double t = double(y) / std::max(1.0, ridge);
                const double cloud = std::max(0.0, n - 0.45) * 2.2;
                r = int(90 + 80 * t + 150 * cloud);
                g = int(140 + 60 * t + 140 * cloud);
                b = int(220 + 20 * t + 60 * cloud);
            } else if (y > h * 0.8 && hashNoise(index, 5, seed) > 0.4) {
                r = int(40 + 50 * n);
                g = int(70 + 60 * n);
                b = int(110 + 70 * n);
            } else {
                const double shade = (y - ridge) / std::max(1.0, h - ridge);
                r = int(60 + 90 * n - 30 * shade);
                g = int(90 + 100 * n - 20 * shade);
                b = int(40 + 50 * n);
            }
            line[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }
    QImage image = small.scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_RGB32);
    quint32 state = seed | 1u;
    for (int y = 0; y < kHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int grain = int(state & 15u) - 8;
            const QRgb p = line[x];
            line[x] = qRgb(std::clamp(qRed(p) + grain, 0, 255), std::clamp(qGreen(p) + grain, 0, 255),
                           std::clamp(qBlue(p) + grain, 0, 255));
        }
    }
    image.setDotsPerMeterX(int(std::lround(300 / 0.0254)));
    image.setDotsPerMeterY(int(std::lround(300 / 0.0254)));
    return image;
}

// `count` photos named PREFIX0000.jpg, PREFIX0001.jpg... in the folder; only the missing ones are
// made, on all cores. `finish` (when given) works on each new photo before it takes its name.
inline QStringList ensurePhotos(const QString& folder, int count, const QString& prefix = QStringLiteral("PHOTO_"),
                                const std::function<void(const QString& path, int index)>& finish = {})
{
    QDir().mkpath(folder);
    QStringList paths;
    for (int i = 0; i < count; ++i)
        paths.append(QDir(folder).filePath(prefix + QStringLiteral("%1.jpg").arg(i, 4, 10, QLatin1Char('0'))));
    QList<int> missing;
    for (int i = 0; i < count; ++i)
        if (!QFileInfo::exists(paths[i]))
            missing.append(i);
    if (missing.isEmpty())
        return paths;
    std::printf("making %lld photos of %dx%d in %s ...\n", qlonglong(missing.size()), kWidth, kHeight, qPrintable(folder));
    std::fflush(stdout);
    QElapsedTimer timer;
    timer.start();
    QtConcurrent::blockingMap(missing, [&](int index) {
        const QString temporary = paths[index] + QStringLiteral(".part");
        if (!makeLandscape(index).save(temporary, "JPG", 90))
            std::fprintf(stderr, "writing %s failed\n", qPrintable(temporary));
        if (finish)
            finish(temporary, index);
        QFile::rename(temporary, paths[index]);
    });
    std::printf("made in %.1f s\n", timer.elapsed() / 1000.0);
    return paths;
}

// The JPEG files under a folder (its sub-folders too), sorted.
inline QStringList jpegsUnder(const QString& folder)
{
    QStringList found;
    QDirIterator it(folder, {QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"), QStringLiteral("*.JPG"), QStringLiteral("*.JPEG")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next());
    found.sort();
    return found;
}

// `count` photos in `folder`, named PREFIX00000.jpg..., each a hard link to a private copy
// (made once, in `work`/originals) of one of the real photos under `sources`, in turn: real
// photos in any number without the disk space of that many files, and never a link to the
// source folder's own files. Only missing ones are made. Empty when `sources` holds no JPEG.
inline QStringList linkedCopiesOfReal(const QString& sources, const QString& work, const QString& folder, int count,
                                      const QString& prefix = QStringLiteral("IMG_"))
{
    const QStringList originals = jpegsUnder(sources);
    if (originals.isEmpty())
        return {};
    const QString copies = QDir(work).filePath(QStringLiteral("originals"));
    QDir().mkpath(copies);
    QStringList privates;
    for (int i = 0; i < originals.size(); ++i) {
        const QString copy = QDir(copies).filePath(QStringLiteral("%1_%2").arg(i).arg(QFileInfo(originals[i]).fileName()));
        if (!QFileInfo::exists(copy))
            QFile::copy(originals[i], copy);
        privates.append(copy);
    }
    QDir().mkpath(folder);
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = QDir(folder).filePath(prefix + QStringLiteral("%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
        if (!QFileInfo::exists(path)
            && ::link(QFile::encodeName(privates[i % privates.size()]).constData(), QFile::encodeName(path).constData()) != 0
            && !QFile::copy(privates[i % privates.size()], path))
            std::fprintf(stderr, "cannot make %s\n", qPrintable(path));
        paths.append(path);
    }
    return paths;
}

// A JPEG with an EXIF orientation: the APP1 segment (a TIFF header and one IFD entry) put right
// after the JFIF header. False when the data is not a JPEG.
inline bool insertExifOrientation(QByteArray& jpeg, quint16 orientation)
{
    if (jpeg.size() < 4 || uchar(jpeg[0]) != 0xFF || uchar(jpeg[1]) != 0xD8)
        return false;
    QByteArray exif("Exif\0\0", 6);
    exif += QByteArray("II*\0\x08\0\0\0", 8);                  // little-endian TIFF, IFD at 8
    exif += QByteArray("\x01\0", 2);                              // one entry
    exif += QByteArray("\x12\x01\x03\0\x01\0\0\0", 8);           // Orientation, SHORT, count 1
    exif += char(orientation & 0xFF);
    exif += char(orientation >> 8);
    exif += QByteArray("\0\0", 2);
    exif += QByteArray("\0\0\0\0", 4);                            // no next IFD
    const int length = int(exif.size()) + 2;
    QByteArray segment("\xFF\xE1", 2);
    segment += char(length >> 8);
    segment += char(length & 0xFF);
    segment += exif;
    int at = 2;
    // After the JFIF header when there is one.
    if (jpeg.size() > 6 && uchar(jpeg[2]) == 0xFF && uchar(jpeg[3]) == 0xE0)
        at = 4 + ((uchar(jpeg[4]) << 8) | uchar(jpeg[5]));
    jpeg.insert(at, segment);
    return true;
}

// `count` 24-megapixel photos made from real photographs (the JPEGs under `sources`) into
// `folder`, named REAL_0000.jpg...; only missing ones are made. Each is a real photo scaled
// and cropped to 6000 x 4000 (a different crop and mirror for each copy, so no two are the
// same), saved at quality 92. A third stay landscape; a third are portraits stored upright
// (4000 x 6000 pixels); a third are portraits stored sideways with EXIF orientation 6, as a
// camera held upright writes them.
inline QStringList preparePhotosFromReal(const QStringList& sources, const QString& folder, int count)
{
    QDir().mkpath(folder);
    QStringList paths;
    for (int i = 0; i < count; ++i)
        paths.append(QDir(folder).filePath(QStringLiteral("REAL_%1.jpg").arg(i, 4, 10, QLatin1Char('0'))));
    QList<int> missing;
    for (int i = 0; i < count; ++i)
        if (!QFileInfo::exists(paths[i]))
            missing.append(i);
    if (missing.isEmpty() || sources.isEmpty())
        return sources.isEmpty() ? QStringList() : paths;
    std::printf("making %lld photos of 24 MP from %lld real photographs in %s ...\n", qlonglong(missing.size()),
                qlonglong(sources.size()), qPrintable(folder));
    std::fflush(stdout);
    QElapsedTimer timer;
    timer.start();
    QtConcurrent::blockingMap(missing, [&](int index) {
        QImage source(sources[index % sources.size()]);
        if (source.isNull()) {
            std::fprintf(stderr, "reading %s failed\n", qPrintable(sources[index % sources.size()]));
            return;
        }
        const int kind = index % 3;   // 0 landscape, 1 portrait stored upright, 2 portrait stored sideways
        const QSize upright = kind == 0 ? QSize(kWidth, kHeight) : QSize(kHeight, kWidth);
        // Cover the upright size, then crop at a place of its own for each copy.
        const QImage covered = source.scaled(upright, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        const int round = index / int(sources.size());
        const int spareX = covered.width() - upright.width(), spareY = covered.height() - upright.height();
        const int x = spareX > 0 ? (round * 97) % (spareX + 1) : 0;
        const int y = spareY > 0 ? (round * 61) % (spareY + 1) : 0;
        QImage photo = covered.copy(QRect(QPoint(x, y), upright)).convertToFormat(QImage::Format_RGB32);
        if (round % 2 == 1)
            photo = photo.mirrored(true, false);
        if (kind == 2)
            photo = photo.transformed(QTransform().rotate(-90));   // stored sideways; orientation 6 turns it back
        photo.setDotsPerMeterX(int(std::lround(300 / 0.0254)));
        photo.setDotsPerMeterY(int(std::lround(300 / 0.0254)));
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        if (!photo.save(&buffer, "JPG", 92) || (kind == 2 && !insertExifOrientation(jpeg, 6))) {
            std::fprintf(stderr, "encoding photo %d failed\n", index);
            return;
        }
        const QString temporary = paths[index] + QStringLiteral(".part");
        QFile file(temporary);
        if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size()) {
            std::fprintf(stderr, "writing %s failed\n", qPrintable(temporary));
            return;
        }
        file.close();
        QFile::rename(temporary, paths[index]);
    });
    std::printf("made in %.1f s\n", timer.elapsed() / 1000.0);
    return paths;
}

} // namespace bench_photos
