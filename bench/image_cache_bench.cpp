// Image cache benchmark (not a test).
//
// A folder of real photos (copies of those in the folder given on the command line, hard
// links to private copies), its image cache built cold on all cores and timed, then
// `vipsthumbnail` producing the same two sizes (preview: longer side 512 at quality 80;
// export: 1500 px wide at quality 90) for the same folder with the same number of parallel
// jobs. Prints both times, their ratio and the peak memory of the cache build, for 50 and
// then 200 photos (each in a process of its own): the peak should not grow with the count.
//
// Usage: image_cache_bench PHOTOS_FOLDER [count...] [--work DIR]
//   count       numbers of photos (default: 50 200)
//   --work DIR  where the copies are made and kept; a temporary folder by default

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

#include <atomic>
#include <cstdio>

namespace {

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

int runOne(const QString& sources, const QString& workRoot, int count)
{
    QTemporaryDir temporary;
    const QString work = workRoot.isEmpty() ? temporary.path() : workRoot;
    const QString folder = QDir(work).filePath(QStringLiteral("photos-%1").arg(count));
    const QStringList photos = bench_photos::linkedCopiesOfReal(sources, work, folder, count);
    if (photos.isEmpty()) {
        std::fprintf(stderr, "no JPEG in %s\n", qPrintable(sources));
        return 1;
    }
    bench_support::printLoad("before");

    QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
    PLRImageManager& manager = PLRImageManager::shared();
    const int jobs = manager.maxConcurrentOperationCount();
    QTemporaryDir cacheFolder;
    const QString cacheRoot = cacheFolder.filePath(QStringLiteral("loc"));

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
    const double vipsSeconds = runVips(photos, cacheFolder.filePath(QStringLiteral("vips")), jobs, &vipsOk);

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
    bench_support::printLoad("after");
    return usable == count && done == count && fresh == count ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QString sources, work;
    QList<int> counts;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--work" && i + 1 < argc)
            work = QString::fromLocal8Bit(argv[++i]);
        else if (argument.toInt() > 0)
            counts.append(argument.toInt());
        else
            sources = QString::fromLocal8Bit(argument);
    }
    if (sources.isEmpty()) {
        std::fprintf(stderr, "usage: image_cache_bench PHOTOS_FOLDER [count...] [--work DIR]\n");
        return 2;
    }
    if (counts.isEmpty())
        counts = {50, 200};
    if (counts.size() > 1) {
        QCoreApplication app(argc, argv);
        int status = 0;
        for (int count : counts) {
            std::printf("== %d photos ==\n", count);
            std::fflush(stdout);
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            QStringList arguments{sources, QString::number(count)};
            if (!work.isEmpty())
                arguments << QStringLiteral("--work") << work;
            child.start(QString::fromLocal8Bit(argv[0]), arguments);
            child.waitForFinished(-1);
            status |= child.exitCode();
            std::printf("\n");
        }
        return status;
    }
    // As the application does.
    platform::memory::returnLargeBlocksToTheSystem();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return runOne(sources, work, counts.first());
}
