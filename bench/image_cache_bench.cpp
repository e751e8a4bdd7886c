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

#include "BenchPhotos.h"
#include "BenchSupport.h"

#include "platform/Memory.h"

#include "store/persistance-store/source/PLRImageManager.h"
#include "store/persistance-store/source/PLRSourceImage.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtConcurrent/QtConcurrentMap>

#include <exiv2/exiv2.hpp>

#include <atomic>
#include <cstdio>

namespace {

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
    // As the application does.
    platform::memory::returnLargeBlocksToTheSystem();
    QGuiApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 200;
    QTemporaryDir temporary;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.filePath(QStringLiteral("photos"));
    // Two of every three photos are tagged (every fifth stored sideways).
    const QStringList photos = bench_photos::ensurePhotos(folder, count, QStringLiteral("IMG_"), [](const QString& path, int index) {
        if (index % 3 != 2)
            tag(path, index);
    });

    QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
    PLRImageManager& manager = PLRImageManager::shared();
    const int jobs = manager.maxConcurrentOperationCount();
    const QString cacheRoot = temporary.filePath(QStringLiteral("loc"));

    // Reading the photos' metadata belongs to the folder scan, not to the cache build. A photo
    // given through a symbolic link is stamped and read as the file it leads to, as the folder
    // scan does.
    std::vector<PLRSourceImagePtr> images;
    QSize smallest, largest, firstSize;
    bool sameSize = true;
    for (const QString& path : photos) {
        const QString real = QFileInfo(path).canonicalFilePath();
        const QFileInfo info(real);
        if (real.isEmpty() || !info.isFile()) {
            std::fprintf(stderr, "%s is not a photo file (or a link to one); left out\n", qPrintable(path));
            continue;
        }
        auto image = std::make_shared<PLRSourceImage>(QString(), cacheRoot);
        const PLRImageMetadata metadata = PLRImageMetadata::read(real);
        const QSize size = metadata.pixelSize;
        if (smallest.isEmpty() || qint64(size.width()) * size.height() < qint64(smallest.width()) * smallest.height())
            smallest = size;
        if (largest.isEmpty() || qint64(size.width()) * size.height() > qint64(largest.width()) * largest.height())
            largest = size;
        if (images.empty())
            firstSize = size;
        sameSize = sameSize && size == firstSize;
        image->setFile(real, QFileInfo(path).fileName(), PLRFileStamp{info.size(), PLRImageManager::fileModifiedNs(real)},
                       metadata);
        images.push_back(image);
    }
    const int usable = int(images.size());

    const qint64 rssBefore = bench_support::statusKiB("VmRSS:");
    bench_support::resetPeakMemory();
    std::atomic_int done = 0;
    std::atomic_int fresh = 0;
    QElapsedTimer timer;
    timer.start();
    for (const auto& image : images)
        manager.requestCache(image, [&] { ++done; });
    manager.waitUntilAllOperationsAreFinished();
    const double cacheSeconds = timer.elapsed() / 1000.0;
    const qint64 peak = bench_support::statusKiB("VmHWM:");
    for (const auto& image : images)
        if (PLRImageManager::isCacheFresh(image->cacheLocation(), image->fileStamp().modifiedNs, false))
            ++fresh;

    bool vipsOk = false;
    const double vipsSeconds = runVips(photos, temporary.filePath(QStringLiteral("vips")), jobs, &vipsOk);

    // The photos' own pixel sizes, as read from the files.
    const QString sizes = sameSize ? QStringLiteral("%1x%2").arg(largest.width()).arg(largest.height())
                                   : QStringLiteral("%1x%2 to %3x%4").arg(smallest.width()).arg(smallest.height())
                                         .arg(largest.width()).arg(largest.height());
    std::printf("photos: %d of %s, parallel jobs: %d\n", usable, qPrintable(sizes), jobs);
    std::printf("image cache build (cold): %.2f s (%.1f ms per photo), %d of %d cached\n", cacheSeconds,
                cacheSeconds * 1000.0 / std::max(1, usable), fresh.load(), usable);
    std::printf("peak memory of the cache build: %.1f MiB (resident before: %.1f MiB)\n", peak / 1024.0,
                rssBefore / 1024.0);
    if (vipsOk) {
        std::printf("vipsthumbnail, both sizes: %.2f s (%.1f ms per photo)\n", vipsSeconds, vipsSeconds * 1000.0 / count);
        std::printf("ratio cache build / vipsthumbnail: %.2f\n", cacheSeconds / vipsSeconds);
    } else {
        std::printf("vipsthumbnail: not available or failed (install libvips-tools)\n");
    }
    return usable == count && done == count && fresh == count ? 0 : 1;
}
