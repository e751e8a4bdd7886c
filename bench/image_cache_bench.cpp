// Image cache benchmark (not a test).
//
// Makes a folder of 24-megapixel JPEGs with photo-like content (some tagged through exiv2,
// some stored sideways), builds the image cache for it cold on all cores and times it, then
// times `vipsthumbnail` producing the same two sizes (preview: longer side 512 at quality 80;
// export: 1500 px wide at quality 90) for the same folder with the same number of parallel
// jobs. Prints both times, their ratio and the peak memory of the cache build.
//
// Usage: image_cache_bench [count=200] [folder]
//   count   number of photos (the folder is reused when it already holds that many)
//   folder  where the photos are made; a temporary folder (removed afterwards) by default

#include "persistance-store/source/PLRImageManager.h"
#include "persistance-store/source/PLRSourceImage.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtConcurrent/QtConcurrentMap>

#include <exiv2/exiv2.hpp>

#include <atomic>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Smooth value noise for landscape-like shapes.
double hashNoise(int x, int y, quint32 seed)
{
    quint32 h = quint32(x) * 374761393u + quint32(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return double(h ^ (h >> 16)) / 4294967295.0;
}

double valueNoise(double x, double y, quint32 seed)
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

double fractal(double x, double y, quint32 seed)
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
QImage makeLandscape(int index)
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

void tag(const QString& path, int index)
{
    static const char* labels[] = {"Red", "Yellow", "Green", "Blue", "Purple"};
    try {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        Exiv2::ExifData exif = image->exifData();
        Exiv2::XmpData xmp = image->xmpData();
        exif["Exif.Image.Make"] = "Bench";
        exif["Exif.Photo.DateTimeOriginal"] = "2021:06:01 12:00:00";
        if (index % 5 == 0)
            exif["Exif.Image.Orientation"] = uint16_t(6);
        xmp["Xmp.xmp.Rating"] = std::to_string(index % 6);
        xmp["Xmp.xmp.Label"] = labels[index % 5];
        image->setExifData(exif);
        image->setXmpData(xmp);
        image->writeMetadata();
    } catch (...) {
        std::fprintf(stderr, "tagging %s failed\n", qPrintable(path));
    }
}

QStringList ensurePhotos(const QString& folder, int count)
{
    QDir().mkpath(folder);
    QStringList paths;
    for (int i = 0; i < count; ++i)
        paths.append(QDir(folder).filePath(QStringLiteral("IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0'))));
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
        if (index % 3 != 2)
            tag(temporary, index);
        QFile::rename(temporary, paths[index]);
    });
    std::printf("made in %.1f s\n", timer.elapsed() / 1000.0);
    return paths;
}

qint64 statusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double runVips(const QStringList& photos, const QString& outFolder, int jobs, bool* ok)
{
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail"));
    if (vips.isEmpty()) {
        *ok = false;
        return 0;
    }
    QDir().mkpath(outFolder);
    // Each job takes every jobs-th photo and makes both sizes, one vips thread per job.
    QList<QStringList> slices(jobs);
    for (int i = 0; i < photos.size(); ++i)
        slices[i % jobs].append(photos[i]);
    QElapsedTimer timer;
    timer.start();
    std::atomic_bool allOk = true;
    QtConcurrent::blockingMap(slices, [&](const QStringList& slice) {
        if (slice.isEmpty())
            return;
        const QList<QStringList> runs = {
            QStringList{QStringLiteral("--vips-concurrency=1"), QStringLiteral("-s"), QStringLiteral("512x512"),
                        QStringLiteral("-e"), QStringLiteral("srgb"),
                        QStringLiteral("-o"), outFolder + QStringLiteral("/%s_preview.jpg[Q=80]")} + slice,
            QStringList{QStringLiteral("--vips-concurrency=1"), QStringLiteral("-s"), QStringLiteral("1500x100000"),
                        QStringLiteral("-e"), QStringLiteral("srgb"),
                        QStringLiteral("-o"), outFolder + QStringLiteral("/%s_export.jpg[Q=90]")} + slice,
        };
        for (const QStringList& arguments : runs) {
            QProcess process;
            process.start(vips, arguments);
            if (!process.waitForFinished(-1) || process.exitCode() != 0) {
                std::fprintf(stderr, "vipsthumbnail failed: %s\n", process.readAllStandardError().constData());
                allOk = false;
            }
        }
    });
    *ok = allOk;
    return timer.elapsed() / 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 200;
    QTemporaryDir temporary;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.filePath(QStringLiteral("photos"));
    const QStringList photos = ensurePhotos(folder, count);

    QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
    PLRImageManager& manager = PLRImageManager::shared();
    const int jobs = manager.maxConcurrentOperationCount();
    const QString cacheRoot = temporary.filePath(QStringLiteral("loc"));

    // Reading the photos' metadata belongs to the folder scan, not to the cache build.
    std::vector<PLRSourceImagePtr> images;
    for (const QString& path : photos) {
        auto image = std::make_shared<PLRSourceImage>(QString(), cacheRoot);
        const QFileInfo info(path);
        image->setFile(path, info.fileName(), PLRFileStamp{info.size(), PLRImageManager::fileModifiedNs(path)},
                       PLRImageMetadata::read(path));
        images.push_back(image);
    }

    const qint64 rssBefore = statusKiB("VmRSS:");
    resetPeakMemory();
    std::atomic_int done = 0;
    std::atomic_int rebuilt = 0;
    QElapsedTimer timer;
    timer.start();
    for (const auto& image : images)
        manager.requestCache(image, [&] { ++done; });
    manager.waitUntilAllOperationsAreFinished();
    const double cacheSeconds = timer.elapsed() / 1000.0;
    const qint64 peak = statusKiB("VmHWM:");
    for (const auto& image : images)
        if (PLRImageManager::isCacheFresh(image->cacheLocation(), image->fileStamp().modifiedNs, false))
            ++rebuilt;

    bool vipsOk = false;
    const double vipsSeconds = runVips(photos, temporary.filePath(QStringLiteral("vips")), jobs, &vipsOk);

    std::printf("photos: %d of %dx%d, parallel jobs: %d\n", count, kWidth, kHeight, jobs);
    std::printf("image cache build (cold): %.2f s (%.1f ms per photo), %d of %d cached\n", cacheSeconds,
                cacheSeconds * 1000.0 / count, rebuilt.load(), count);
    std::printf("peak memory of the cache build: %.1f MiB (resident before: %.1f MiB)\n", peak / 1024.0,
                rssBefore / 1024.0);
    if (vipsOk) {
        std::printf("vipsthumbnail, both sizes: %.2f s (%.1f ms per photo)\n", vipsSeconds, vipsSeconds * 1000.0 / count);
        std::printf("ratio cache build / vipsthumbnail: %.2f\n", cacheSeconds / vipsSeconds);
    } else {
        std::printf("vipsthumbnail: not available or failed (install libvips-tools)\n");
    }
    return done == count ? 0 : 1;
}
