// Layout export benchmark (not a test).
//
// Makes (or reuses) a folder of 24-megapixel JPEGs with photo-like content, opens a post over
// it whose layout holds one image block per photo, and times the layout export at 2048 pixels
// wide with sharpening (quality 80). Then times a `vips` pipeline doing the same work on the
// same photos (shrink to 2048 wide, sharpen, save as JPEG at the same quality) with the same
// number of photos in flight, one vips thread each. Prints both times, their ratio and the peak
// memory of the export.
//
// Usage: export_bench [count=40] [folder]

#include "BenchPhotos.h"
#include "BenchSupport.h"

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
#include <QProcess>
#include <QStandardPaths>
#include <QSet>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>

namespace {

constexpr int kExportWidth = 2048;
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
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 40;
    QTemporaryDir temporary;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.filePath(QStringLiteral("photos"));
    const QStringList photos = bench_photos::ensurePhotos(folder, count);
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
    bool done = false, success = false;
    QElapsedTimer timer;
    timer.start();
    PLRExportManager::sharedManager().exportLayoutForPostManager(
        manager, out, kExportWidth, kQuality, true, 2, false, {}, [&](bool ok, const QString& failure) {
            done = true;
            success = ok;
            if (!ok)
                std::fprintf(stderr, "export failed: %s\n", qPrintable(failure));
        });
    bench_support::waitUntil([&] { return done; }, 3600000);
    const double exportSeconds = timer.elapsed() / 1000.0;
    const qint64 peak = bench_support::statusKiB("VmHWM:");
    const int files = QDir(out).entryList({QStringLiteral("*.jpg")}, QDir::Files).size();
    // PELLORA_BENCH_KEEP: a folder that receives the exported files, to look at.
    if (const QString keep = qEnvironmentVariable("PELLORA_BENCH_KEEP"); !keep.isEmpty()) {
        QDir().mkpath(keep);
        for (const QString& name : QDir(out).entryList({QStringLiteral("*.jpg")}, QDir::Files))
            QFile::copy(out + QLatin1Char('/') + name, keep + QLatin1Char('/') + name);
    }

    bool vipsOk = false;
    const int vipsQuality = int(std::lround(PLRExportManager::interpolateQualityValue(kQuality) * 100.0));
    const double vipsSeconds = runVips(photos, temporary.filePath(QStringLiteral("vips")), jobs, vipsQuality, &vipsOk);

    std::printf("photos: %d of %dx%d, export width %d, sharpened, quality %d; photos in flight: %d\n", count,
                bench_photos::kWidth, bench_photos::kHeight, kExportWidth, kQuality, jobs);
    std::printf("layout export: %.2f s (%.1f ms per photo), %d files\n", exportSeconds, exportSeconds * 1000.0 / count, files);
    std::printf("peak memory of the export: %.1f MiB (resident before: %.1f MiB)\n", peak / 1024.0, rssBefore / 1024.0);
    if (vipsOk) {
        std::printf("vips thumbnail + sharpen + JPEG: %.2f s (%.1f ms per photo)\n", vipsSeconds, vipsSeconds * 1000.0 / count);
        std::printf("ratio export / vips: %.2f\n", exportSeconds / vipsSeconds);
    } else {
        std::printf("vips: not available or failed (install libvips-tools)\n");
    }
    return success && files == count ? 0 : 1;
}
