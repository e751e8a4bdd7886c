// "Preparing Images" benchmark (not a test).
//
// Creates a post on a folder of photos as the new-post sheet does (the post is made, its folder
// scanned, every photo's metadata read and its image cache built) and times it until the folder
// reports that it is loaded, the moment the "Preparing Images" modal closes. Then, in the same
// run, times the image cache on its own building both sizes for the same photos (their metadata
// read beforehand, as image_cache_bench does), and prints both rates and their ratio.
//
// Usage: prepare_images_bench FOLDER
//   FOLDER  a folder of photos; links to photos elsewhere are followed (a folder of 1,000 links
//           to the JPEGs under /usr/share/backgrounds serves)

#include "BenchSupport.h"

#include "platform/Memory.h"

#include "layout/PLRLayoutLibrary.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "store/persistance-store/source/PLRSourceImage.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The photo's stamp as the folder scan takes it: from the file a link leads to.
PLRFileStamp stampOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return PLRFileStamp{qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

} // namespace

int main(int argc, char** argv)
{
    // As the application does.
    platform::memory::returnLargeBlocksToTheSystem();
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: prepare_images_bench FOLDER\n");
        return 2;
    }
    const QString folder = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    QTemporaryDir temporary;
    qputenv("PELLORA_HOME", temporary.filePath(QStringLiteral("home")).toUtf8());
    qputenv("PELLORA_KEYCHAIN", "memory");
    qputenv("PELLORA_LOG_QUIET", "1");

    PLRLayoutLibrary::install();
    PLRCoreManager::completeSignIn(QStringLiteral("bench@example.com"), QStringLiteral("secret"), QStringLiteral("u-bench"),
                                   QStringLiteral("token"));
    PLRPostManager* manager = PLRCoreManager::userSession()->newPostManager();

    // The preparation: from the sheet's "Create" to the folder reporting itself loaded.
    std::atomic_bool loaded = false;
    std::atomic<qint64> photos = 0;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    if (!manager->createNewPostWithTitle(QStringLiteral("Bench"), QUrl::fromLocalFile(folder))) {
        std::fprintf(stderr, "the post could not be made\n");
        return 1;
    }
    PLRSourceDirectory* directory = manager->sourceDirectory();
    if (!directory) {
        std::fprintf(stderr, "the post has no folder\n");
        return 1;
    }
    directory->setUIDirectoryWatchProgressCallback([&](const PLRSourceDirectoryProgressInfo& info) {
        if (info.loadDirectoryFinished) {
            photos = info.totalLoadedImageCount;
            loaded = true;
        }
    });
    if (directory->state() == PLRSourceDirectory::StateIdle)
        directory->startWatching();
    if (!bench_support::waitUntil([&] { return loaded.load(); }, 30 * 60 * 1000)) {
        std::fprintf(stderr, "the folder never finished loading\n");
        return 1;
    }
    const double prepareSeconds = timer.elapsed() / 1000.0;
    const double prepareCpu = cpuSeconds() - cpuBefore;
    const qint64 count = photos.load();
    if (count == 0) {
        std::fprintf(stderr, "no photos in %s\n", qPrintable(folder));
        return 1;
    }

    // The image cache on its own, for the same photos, into a cache folder of its own.
    const QString ownRoot = temporary.filePath(QStringLiteral("own-cache"));
    std::vector<PLRSourceImagePtr> images;
    for (const PLRSourceImagePtr& photo : manager->images()) {
        auto image = std::make_shared<PLRSourceImage>(QString(), ownRoot);
        image->setFile(photo->path(), QFileInfo(photo->path()).fileName(), stampOf(photo->path()), PLRImageMetadata::read(photo->path()));
        images.push_back(image);
    }
    PLRImageManager& cache = PLRImageManager::shared();
    std::atomic_int done = 0;
    const double cacheCpuBefore = cpuSeconds();
    timer.restart();
    for (const auto& image : images)
        cache.requestCache(image, [&] { ++done; });
    cache.waitUntilAllOperationsAreFinished();
    const double cacheSeconds = timer.elapsed() / 1000.0;
    const double cacheCpu = cpuSeconds() - cacheCpuBefore;
    int cached = 0;
    for (const auto& image : images)
        if (QFileInfo::exists(QDir(image->cacheLocation()).filePath(QLatin1String(PLRImageManager::kExportFileName))))
            ++cached;

    const double prepareRate = double(count) / prepareSeconds;
    const double cacheRate = double(images.size()) / cacheSeconds;
    std::printf("photos: %lld in %s; cache jobs at once: %d on %d cores\n", static_cast<long long>(count), qPrintable(folder),
                cache.maxConcurrentOperationCount(), QThread::idealThreadCount());
    std::printf("preparing images (new post, scan, metadata, cache): %.2f s, %.1f photos/s; processor time %.1f s\n",
                prepareSeconds, prepareRate, prepareCpu);
    std::printf("image cache alone (both sizes): %.2f s, %.1f photos/s (%d of %zu cached); processor time %.1f s\n", cacheSeconds,
                cacheRate, cached, images.size(), cacheCpu);
    std::printf("ratio preparing / image cache rate: %.2f\n", prepareRate / cacheRate);
    return cached == int(images.size()) ? 0 : 1;
}
