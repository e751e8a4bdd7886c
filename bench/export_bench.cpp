// Layout export benchmark (not a test).
//
// Opens a post over a folder of 24-megapixel JPEGs whose layout holds one image block per photo,
// and times the layout export at 2048 pixels wide with sharpening (quality 80). Then times a
// `vips` pipeline doing the same work on the same photos (shrink to 2048 wide, sharpen, save as
// JPEG at the same quality) with the same number of photos in flight, one vips thread each.
// Prints both times, their ratio and the peak memory of the export.
//
// Usage: export_bench [count=40] [folder of real photos]
//
// With a folder, the photos are made from the real photographs (JPEG files) under it: each
// scaled and cropped to 24 megapixels, a third landscape, a third portrait and a third portrait
// stored sideways with an EXIF orientation (see bench_photos::preparePhotosFromReal); they are
// kept for later runs in the temporary folder "pellora-export-bench-real". Without one, photos
// with made-up landscape content are used.

#include "BenchPhotos.h"
#include "BenchSupport.h"

#include "platform/Memory.h"

#include "layout/PLRLayoutLibrary.h"
#include "layout/base/PLRLayoutManager.h"
#include "publishing/export/PLRExportManager.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QSet>
#include <QTemporaryDir>

#include <atomic>
#include <sys/resource.h>
#include <cstdio>

namespace {

constexpr int kExportWidth = 2048;

double seconds(const rusage& usage)
{
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The processor time of this process so far (all threads, user and system), in seconds.
double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage);
}
constexpr int kQuality = 80;

double runVips(const QStringList& photos, const QString& outFolder, int jobs, int jpegQuality, bool* ok)
{
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vips"));
    if (vips.isEmpty()) {
        *ok = false;
        return 0;
    }
    QDir().mkpath(outFolder);
    QList<QStringList> slices(jobs);
    for (int i = 0; i < photos.size(); ++i)
        slices[i % jobs].append(photos[i]);
    std::atomic_bool allOk = true;
    QElapsedTimer timer;
    timer.start();
    QtConcurrent::blockingMap(slices, [&](const QStringList& slice) {
        for (const QString& photo : slice) {
            const QString base = QFileInfo(photo).completeBaseName();
            const QString shrunk = outFolder + QLatin1Char('/') + base + QStringLiteral(".v");
            const QList<QStringList> steps = {
                {QStringLiteral("--vips-concurrency=1"), QStringLiteral("thumbnail"), photo, shrunk, QString::number(kExportWidth),
                 QStringLiteral("--height"), QStringLiteral("100000")},
                {QStringLiteral("--vips-concurrency=1"), QStringLiteral("sharpen"), shrunk,
                 outFolder + QLatin1Char('/') + base + QStringLiteral(".jpg[Q=%1]").arg(jpegQuality)},
            };
            for (const QStringList& arguments : steps) {
                QProcess process;
                process.start(vips, arguments);
                if (!process.waitForFinished(-1) || process.exitCode() != 0) {
                    std::fprintf(stderr, "vips failed: %s\n", process.readAllStandardError().constData());
                    allOk = false;
                }
            }
            QFile::remove(shrunk);
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
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 40;
    QTemporaryDir temporary;
    QString folder = temporary.filePath(QStringLiteral("photos"));
    QStringList photos;
    QString kind = QStringLiteral("made-up landscapes");
    if (argc > 2) {
        const QString real = QString::fromLocal8Bit(argv[2]);
        const QStringList sources = bench_photos::jpegsUnder(real);
        if (sources.isEmpty()) {
            std::fprintf(stderr, "no JPEG photos under %s\n", qPrintable(real));
            return 1;
        }
        folder = QDir(QDir::tempPath()).filePath(QStringLiteral("pellora-export-bench-real"));
        photos = bench_photos::preparePhotosFromReal(sources, folder, count);
        kind = QStringLiteral("made from %1 real photographs under %2 (landscape, portrait, portrait stored sideways)")
                   .arg(sources.size())
                   .arg(real);
    } else {
        photos = bench_photos::ensurePhotos(folder, count);
    }
    if (photos.size() != count) {
        std::fprintf(stderr, "the photos could not be made\n");
        return 1;
    }
    qputenv("PELLORA_HOME", temporary.filePath(QStringLiteral("home")).toUtf8());
    qputenv("PELLORA_KEYCHAIN", "memory");

    PLRLayoutLibrary::install();
    PLRCoreManager::completeSignIn(QStringLiteral("bench@example.com"), QStringLiteral("secret"), QStringLiteral("u-bench"),
                                   QStringLiteral("token"));
    PLRPostManager* manager = PLRCoreManager::userSession()->newPostManager();
    if (!manager->createNewPostWithTitle(QStringLiteral("Bench"), QUrl::fromLocalFile(folder))) {
        std::fprintf(stderr, "the post could not be made\n");
        return 1;
    }
    // The folder may hold more photos than the run uses.
    QSet<QString> wanted;
    for (const QString& path : photos)
        wanted.insert(QFileInfo(path).fileName());
    QStringList identifiers;
    const bool scanned = bench_support::waitUntil([&] {
        identifiers.clear();
        for (const PLRSourceImagePtr& image : manager->images())
            if (wanted.contains(image->fileName()) && image->width() > 0.0f)
                identifiers << image->identifier();
        return identifiers.size() == count;
    }, 120000);
    if (!scanned) {
        std::fprintf(stderr, "the photos were not scanned\n");
        return 1;
    }
    // The folder's image cache is built while the post is open; let it finish first.
    PLRImageManager::shared().waitUntilAllOperationsAreFinished();
    manager->layoutManager()->createAndAddBlocksForImages(identifiers);

    const int jobs = PLRExportManager::parallelism();
    const QString out = temporary.filePath(QStringLiteral("export"));
    QDir().mkpath(out);
    const qint64 rssBefore = bench_support::statusKiB("VmRSS:");
    bench_support::resetPeakMemory();
    bool success = false;
    // The main thread waits in its event loop (as the application's does), not in a busy loop
    // that would take a processor from the export.
    QEventLoop waiting;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    PLRExportManager::sharedManager().exportLayoutForPostManager(
        manager, out, kExportWidth, kQuality, true, 2, false, {}, [&](bool ok, const QString& failure) {
            success = ok;
            if (!ok)
                std::fprintf(stderr, "export failed: %s\n", qPrintable(failure));
            waiting.quit();
        });
    waiting.exec();
    const double exportSeconds = timer.elapsed() / 1000.0;
    const double exportCpu = cpuSeconds() - cpuBefore;
    const qint64 peak = bench_support::statusKiB("VmHWM:");
    const int files = QDir(out).entryList({QStringLiteral("*.jpg")}, QDir::Files).size();
    // PELLORA_BENCH_KEEP: a folder that receives the exported files, to look at.
    if (const QString keep = qEnvironmentVariable("PELLORA_BENCH_KEEP"); !keep.isEmpty()) {
        QDir().mkpath(keep);
        for (const QString& name : QDir(out).entryList({QStringLiteral("*.jpg")}, QDir::Files))
            QFile::copy(out + QLatin1Char('/') + name, keep + QLatin1Char('/') + name);
    }

    rusage childrenBefore {};
    getrusage(RUSAGE_CHILDREN, &childrenBefore);
    bool vipsOk = false;
    const int vipsQuality = int(std::lround(PLRExportManager::interpolateQualityValue(kQuality) * 100.0));
    const double vipsSeconds = runVips(photos, temporary.filePath(QStringLiteral("vips")), jobs, vipsQuality, &vipsOk);
    rusage childrenAfter {};
    getrusage(RUSAGE_CHILDREN, &childrenAfter);
    const double vipsCpu = seconds(childrenAfter) - seconds(childrenBefore);

    std::printf("photos: %d of 24 MP, %s\n", count, qPrintable(kind));
    std::printf("export width %d, sharpened, quality %d; decoding threads: %d\n", kExportWidth, kQuality, jobs);
    std::printf("layout export: %.2f s (%.1f ms per photo), %d files; processor time %.1f s (%.1f cores busy)\n", exportSeconds,
                exportSeconds * 1000.0 / count, files, exportCpu, exportCpu / std::max(0.001, exportSeconds));
    std::printf("peak memory of the export: %.1f MiB (resident before: %.1f MiB)\n", peak / 1024.0, rssBefore / 1024.0);
    if (vipsOk) {
        std::printf("vips thumbnail + sharpen + JPEG: %.2f s (%.1f ms per photo)\n", vipsSeconds, vipsSeconds * 1000.0 / count);
        std::printf("vips processor time: %.1f s\n", vipsCpu);
        std::printf("ratio export / vips: %.2f (processor time: %.2f)\n", exportSeconds / vipsSeconds, exportCpu / std::max(0.001, vipsCpu));
    } else {
        std::printf("vips: not available or failed (install libvips-tools)\n");
    }
    return success && files == count ? 0 : 1;
}
