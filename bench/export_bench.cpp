// Layout export benchmark (not a test).
//
// Opens a post over a folder of 24-megapixel JPEGs whose layout holds one image block per photo,
// shows it on a live layout view as the canvas does, and times the layout export the way the
// export panel starts it (from the canvas's layout, `inLiveView` on) at 2048 pixels wide with
// sharpening (quality 80). The anchor is a `vips` pipeline doing the same work on the same photos
// (shrink to 2048 wide, sharpen, save as JPEG at the same quality) with as many photos in flight
// as the export decodes at once, one vips thread each: the fastest of the pipelines below on a
// first sample of the photos, named in the output. Prints both times, their ratio, the processor
// time and cores kept busy of each, the peak memory of the export, and the load of the machine.
//
// Usage: export_bench [count=40] [folder of real photos] [rounds=1]
//
// With a folder, the photos are copies of the real photographs (JPEG files) under it, as they
// are (their orientation, profiles and metadata included), each copy a file of its own, kept for
// later runs in the temporary folder "pellora-export-bench-copies". Without one, photos with
// made-up landscape content are used. With several rounds, the export and the anchor take turns
// and the median of each is compared (the machine's load changes while they run).

#include "BenchPhotos.h"
#include "BenchSupport.h"

#include "platform/Memory.h"

#include "layout/PLRLayoutLibrary.h"
#include "layout/base/PLRLayoutManager.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRLayoutViewProxy.h"
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
#include <QThread>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>
#include <sys/resource.h>
#include <cstdio>

namespace {

constexpr int kExportWidth = 2048;
constexpr int kQuality = 80;
// The width the canvas lays the post out at (its live view).
constexpr double kCanvasLayoutWidth = 1000.0;

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

// The processor time of the ended child processes so far, in seconds.
double childrenCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return seconds(usage);
}

// The machine's load average over the last minute.
double loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return -1.0;
    return file.readAll().split(' ').value(0).toDouble();
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const qsizetype half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2.0;
}

// `count` copies of the photos under `sources` (cycling through them) in `folder`, named
// REAL_0000.jpg...: distinct files with the same bytes. Only missing ones are copied.
QStringList copyPhotos(const QStringList& sources, const QString& folder, int count)
{
    QDir().mkpath(folder);
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = QDir(folder).filePath(QStringLiteral("REAL_%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
        const QString source = sources[i % sources.size()];
        if (QFileInfo(path).size() != QFileInfo(source).size()) {
            QFile::remove(path);
            if (!QFile::copy(source, path)) {
                std::fprintf(stderr, "copying %s failed\n", qPrintable(source));
                return {};
            }
        }
        paths.append(path);
    }
    return paths;
}

// One way of doing the export's work with vips, photo by photo.
struct VipsPipeline {
    const char* name;
    // The processes of one photo, run one after the other; each list's processes run at once,
    // each one's output piped into the next one's input.
    std::function<QList<QList<QStringList>>(const QString& photo, const QString& work, const QString& out, int quality)> steps;
};

QList<VipsPipeline> vipsPipelines()
{
    const QString width = QString::number(kExportWidth);
    const QString one = QStringLiteral("--vips-concurrency=1");
    return {
        {"vipsthumbnail | vips sharpen (one pipeline of two processes a photo)",
         [=](const QString& photo, const QString&, const QString& out, int quality) {
             return QList<QList<QStringList>>{{{QStringLiteral("vipsthumbnail"), one, photo, QStringLiteral("-s"), width + QStringLiteral("x100000"),
                                                QStringLiteral("-o"), QStringLiteral(".ppm")},
                                               {QStringLiteral("vips"), one, QStringLiteral("sharpen"), QStringLiteral("stdin"),
                                                out + QStringLiteral("[Q=%1]").arg(quality)}}};
         }},
        {"vips thumbnail | vips sharpen (one pipeline of two processes a photo)",
         [=](const QString& photo, const QString&, const QString& out, int quality) {
             return QList<QList<QStringList>>{{{QStringLiteral("vips"), one, QStringLiteral("thumbnail"), photo, QStringLiteral(".ppm"), width,
                                                QStringLiteral("--height"), QStringLiteral("100000")},
                                               {QStringLiteral("vips"), one, QStringLiteral("sharpen"), QStringLiteral("stdin"),
                                                out + QStringLiteral("[Q=%1]").arg(quality)}}};
         }},
        {"vips thumbnail, then vips sharpen (two processes a photo, through a .v file)",
         [=](const QString& photo, const QString& work, const QString& out, int quality) {
             return QList<QList<QStringList>>{{{QStringLiteral("vips"), one, QStringLiteral("thumbnail"), photo, work, width,
                                                QStringLiteral("--height"), QStringLiteral("100000")}},
                                              {{QStringLiteral("vips"), one, QStringLiteral("sharpen"), work,
                                                out + QStringLiteral("[Q=%1]").arg(quality)}}};
         }},
    };
}

// Runs the pipeline on the photos, `jobs` photos at once; the wall time in seconds (0 when a
// process failed).
double runVips(const VipsPipeline& pipeline, const QStringList& photos, const QString& outFolder, int jobs, int jpegQuality)
{
    QDir(outFolder).removeRecursively();
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
            const QString work = outFolder + QLatin1Char('/') + base + QStringLiteral(".v");
            const QString out = outFolder + QLatin1Char('/') + base + QStringLiteral(".jpg");
            for (const QList<QStringList>& step : pipeline.steps(photo, work, out, jpegQuality)) {
                std::vector<std::unique_ptr<QProcess>> processes;
                for (qsizetype i = 0; i < step.size(); ++i) {
                    processes.push_back(std::make_unique<QProcess>());
                    if (processes.size() > 1)
                        processes[processes.size() - 2]->setStandardOutputProcess(processes.back().get());
                }
                for (size_t i = 0; i < processes.size(); ++i) {
                    const QString program = QStandardPaths::findExecutable(step[qsizetype(i)].first());
                    processes[i]->start(program, step[qsizetype(i)].mid(1));
                }
                for (size_t i = 0; i < processes.size(); ++i) {
                    QProcess& process = *processes[i];
                    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
                        std::fprintf(stderr, "%s failed: %s\n", qPrintable(step[qsizetype(i)].join(QLatin1Char(' '))),
                                     process.readAllStandardError().constData());
                        allOk = false;
                    }
                }
            }
            QFile::remove(work);
        }
    });
    const double elapsed = timer.elapsed() / 1000.0;
    if (!allOk || QDir(outFolder).entryList({QStringLiteral("*.jpg")}, QDir::Files).size() != photos.size())
        return 0.0;
    return elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    // As the application does.
    platform::memory::returnLargeBlocksToTheSystem();
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 40;
    const int rounds = argc > 3 ? std::max(1, QString::fromLocal8Bit(argv[3]).toInt()) : 1;
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
        folder = QDir(QDir::tempPath()).filePath(QStringLiteral("pellora-export-bench-copies"));
        photos = copyPhotos(sources, folder, count);
        kind = QStringLiteral("copies of %1 real photographs under %2").arg(sources.size()).arg(real);
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
    PLRLayoutManager* layoutManager = manager->layoutManager();
    layoutManager->createAndAddBlocksForImages(identifiers);
    // The canvas: the live view of the post's layout, laid out at the canvas's width.
    PLRLayoutViewProxy canvas(layoutManager, layoutManager->representedLayout(), kCanvasLayoutWidth);
    canvas.setLive(true);
    if (PLRLayoutView* view = canvas.layoutView()) {
        view->ensureSectionLayout();
        view->layoutSubtreeIfNeeded();
    }

    const int jobs = PLRExportManager::parallelism();
    const int vipsQuality = int(std::lround(PLRExportManager::interpolateQualityValue(kQuality) * 100.0));
    const QString vipsOut = temporary.filePath(QStringLiteral("vips"));
    std::printf("photos: %d of 24 MP, %s\n", count, qPrintable(kind));
    std::printf("export width %d, sharpened, quality %d; photos in flight: %d; machine load %.1f (%d cores)\n", kExportWidth, kQuality,
                jobs, loadAverage(), QThread::idealThreadCount());
    std::fflush(stdout);

    // The anchor: the fastest of the vips pipelines on a first sample of the photos.
    const QList<VipsPipeline> pipelines = vipsPipelines();
    const QStringList sample = photos.mid(0, std::min<qsizetype>(photos.size(), 2 * jobs));
    int anchor = -1;
    double fastest = 0.0;
    for (int i = 0; i < pipelines.size(); ++i) {
        const double time = runVips(pipelines[i], sample, vipsOut, jobs, vipsQuality);
        std::printf("  vips sample, %s: %s\n", pipelines[i].name, time > 0.0 ? qPrintable(QStringLiteral("%1 s").arg(time, 0, 'f', 2)) : "failed");
        if (time > 0.0 && (anchor < 0 || time < fastest)) {
            anchor = i;
            fastest = time;
        }
    }
    if (anchor < 0)
        std::printf("vips: not available or failed (install libvips-tools)\n");
    else
        std::printf("anchor: %s\n", pipelines[anchor].name);

    QList<double> exportTimes, exportCpus, vipsTimes, vipsCpus, ratios, cpuRatios, peaks, growths;
    bool success = true;
    for (int round = 1; round <= rounds; ++round) {
        const QString out = temporary.filePath(QStringLiteral("export-%1").arg(round));
        QDir().mkpath(out);
        const double loadBefore = loadAverage();
        const qint64 rssBefore = bench_support::statusKiB("VmRSS:");
        bench_support::resetPeakMemory();
        bool ok = false;
        // The main thread waits in its event loop (as the application's does), not in a busy loop
        // that would take a processor from the export.
        QEventLoop waiting;
        const double cpuBefore = cpuSeconds();
        QElapsedTimer timer;
        timer.start();
        // As the export panel starts it.
        PLRExportManager::sharedManager().exportLayoutForPostManager(
            manager, out, kExportWidth, kQuality, true, 2, true, {}, [&](bool done, const QString& failure) {
                ok = done;
                if (!done)
                    std::fprintf(stderr, "export failed: %s\n", qPrintable(failure));
                waiting.quit();
            });
        waiting.exec();
        const double exportSeconds = timer.elapsed() / 1000.0;
        const double exportCpu = cpuSeconds() - cpuBefore;
        const qint64 peak = bench_support::statusKiB("VmHWM:");
        const int files = QDir(out).entryList({QStringLiteral("*.jpg")}, QDir::Files).size();
        success = success && ok && files == count;
        // PELLORA_BENCH_KEEP: a folder that receives the exported files, to look at.
        if (const QString keep = qEnvironmentVariable("PELLORA_BENCH_KEEP"); !keep.isEmpty() && round == 1) {
            QDir().mkpath(keep);
            for (const QString& name : QDir(out).entryList({QStringLiteral("*.jpg")}, QDir::Files))
                QFile::copy(out + QLatin1Char('/') + name, keep + QLatin1Char('/') + name);
        }
        QDir(out).removeRecursively();
        exportTimes << exportSeconds;
        exportCpus << exportCpu;
        peaks << peak / 1024.0;
        growths << (peak - rssBefore) / 1024.0;
        std::printf("round %d, load %.1f: layout export %.2f s (%.1f ms per photo), %d files; processor time %.1f s (%.1f cores busy); "
                    "peak memory %.1f MiB, %.1f MiB over the %.1f MiB before (budget %.0f MiB, most counted in flight %.1f MiB)\n",
                    round, loadBefore, exportSeconds, exportSeconds * 1000.0 / count, files, exportCpu,
                    exportCpu / std::max(0.001, exportSeconds), peak / 1024.0, (peak - rssBefore) / 1024.0, rssBefore / 1024.0,
                    PLRExportManager::memoryBudget() / (1024.0 * 1024.0), PLRExportManager::lastExportPeakInFlight() / (1024.0 * 1024.0));
        if (anchor >= 0) {
            const double childrenBefore = childrenCpuSeconds();
            const double vipsSeconds = runVips(pipelines[anchor], photos, vipsOut, jobs, vipsQuality);
            const double vipsCpu = childrenCpuSeconds() - childrenBefore;
            if (vipsSeconds > 0.0) {
                vipsTimes << vipsSeconds;
                vipsCpus << vipsCpu;
                ratios << exportSeconds / vipsSeconds;
                cpuRatios << exportCpu / std::max(0.001, vipsCpu);
                std::printf("round %d, load %.1f: vips %.2f s (%.1f ms per photo); processor time %.1f s (%.1f cores busy); "
                            "ratio export / vips %.2f (processor time %.2f)\n",
                            round, loadAverage(), vipsSeconds, vipsSeconds * 1000.0 / count, vipsCpu, vipsCpu / std::max(0.001, vipsSeconds),
                            ratios.last(), cpuRatios.last());
            } else {
                std::printf("round %d: vips failed\n", round);
            }
        }
        std::fflush(stdout);
    }
    std::printf("layout export: median %.2f s, processor time %.1f s (%.1f cores busy); peak memory median %.1f MiB (max %.1f), "
                "growth median %.1f MiB (max %.1f)\n",
                median(exportTimes), median(exportCpus), median(exportCpus) / std::max(0.001, median(exportTimes)), median(peaks),
                *std::max_element(peaks.begin(), peaks.end()), median(growths), *std::max_element(growths.begin(), growths.end()));
    if (!vipsTimes.isEmpty()) {
        std::printf("anchor %s: median %.2f s, processor time %.1f s (%.1f cores busy)\n", pipelines[anchor].name, median(vipsTimes),
                    median(vipsCpus), median(vipsCpus) / std::max(0.001, median(vipsTimes)));
        std::printf("ratio export / vips: %.2f (median of %lld rounds, paired %.2f); processor time: %.2f; machine load now %.1f\n",
                    median(exportTimes) / median(vipsTimes), qlonglong(vipsTimes.size()), median(ratios),
                    median(exportCpus) / std::max(0.001, median(vipsCpus)), loadAverage());
    }
    return success ? 0 : 1;
}
