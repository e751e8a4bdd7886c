// Gallery benchmark (not a test).
//
// A post on a folder of photos (5,000 by default, their image cache built first): the time to
// show the gallery, to sort it the other way, to apply a star filter, and a scroll from the top
// to the bottom at a steady speed (48 points a frame) with every frame's time recorded: the
// scroll position moves, the collection places its items, queued thumbnails arrive, and the
// viewport is painted. Memory is reported as the resident size before and after the scroll and
// the number of photo items alive (bounded by what is on screen, not by the folder).
//
// Usage: gallery_bench [--benchmark options]   (PELLORA_GALLERY_BENCH_COUNT sets the count)
// Aims: each timing under 100 ms; no frame over 33 ms.

#include "BenchSupport.h"

#include "layout/PLRLayoutLibrary.h"
#include "panels/gallery/PLRGalleryCollectionView.h"
#include "panels/gallery/PLRGalleryFilterViews.h"
#include "panels/gallery/PLRGalleryViewController.h"
#include "panels/gallery/PLRGalleryViewItem.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "platform/Keychain.h"
#include "platform/Resources.h"
#include "platform/Shutdown.h"
#include "platform/UserDefaults.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"

#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentMap>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>

namespace {

constexpr int kPhotoWidth = 1024;
constexpr int kPhotoHeight = 683;
constexpr int kScrollStep = 48;

int photoCount()
{
    bool ok = false;
    const int count = qEnvironmentVariableIntValue("PELLORA_GALLERY_BENCH_COUNT", &ok);
    return ok && count > 0 ? count : 5000;
}

long residentKilobytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * 4 : 0;
}

// The folder, the post and its built cache, made once.
struct World {
    QTemporaryDir home;
    QString folder;
    PLRPostManager* manager = nullptr;

    World()
    {
        qputenv("PELLORA_HOME", home.path().toUtf8());
        platform::UserDefaults::standard().reload();
        platform::Keychain::setShared(platform::Keychain::make(QStringLiteral("memory")));
        folder = home.path() + "/photos";
        QDir().mkpath(folder);
        const int count = photoCount();
        QList<int> indexes(count);
        std::iota(indexes.begin(), indexes.end(), 0);
        QElapsedTimer timer;
        timer.start();
        QtConcurrent::blockingMap(indexes, [this](int index) {
            QImage image(kPhotoWidth, kPhotoHeight, QImage::Format_RGB32);
            QPainter painter(&image);
            QLinearGradient gradient(0, 0, kPhotoWidth, kPhotoHeight);
            gradient.setColorAt(0, QColor::fromHsv((index * 37) % 360, 120, 230));
            gradient.setColorAt(1, QColor::fromHsv((index * 37 + 60) % 360, 200, 90));
            painter.fillRect(image.rect(), gradient);
            painter.end();
            const QString path = folder + QStringLiteral("/IMG_%1.jpg").arg(index, 5, 10, QLatin1Char('0'));
            image.save(path, "JPG", 85);
            if (index % 3 == 0) {
                try {
                    auto file = Exiv2::ImageFactory::open(path.toStdString());
                    file->readMetadata();
                    Exiv2::XmpData xmp = file->xmpData();
                    xmp["Xmp.xmp.Rating"] = std::to_string(1 + index % 5);
                    file->setXmpData(xmp);
                    file->writeMetadata();
                } catch (...) {
                }
            }
        });
        std::fprintf(stderr, "made %d photos in %.1f s\n", count, timer.elapsed() / 1000.0);

        PLRLayoutLibrary::install();
        PLRCoreManager::completeSignIn(QStringLiteral("bench@example.com"), QStringLiteral("secret"), QStringLiteral("u-1"),
                                       QStringLiteral("token"));
        manager = PLRCoreManager::userSession()->newPostManager();
        timer.restart();
        manager->createNewPostWithTitle(QStringLiteral("Bench"), QUrl::fromLocalFile(folder));
        // The directory keeps calling back as it watches the folder, long after this wait: the
        // flag is shared with the callback, and the callback is taken back once the folder is read.
        auto finished = std::make_shared<bool>(false);
        manager->sourceDirectory()->setUIDirectoryWatchProgressCallback(
            [finished](const PLRSourceDirectoryProgressInfo& info) {
                if (info.loadDirectoryFinished)
                    *finished = true;
            });
        bench_support::waitUntil([&] { return manager->images().size() == count; }, 600000);
        PLRImageManager::shared().waitUntilAllOperationsAreFinished();
        bench_support::waitUntil([&] { return *finished; }, 600000);
        manager->sourceDirectory()->setUIDirectoryWatchProgressCallback({});
        std::fprintf(stderr, "listed and cached %d photos in %.1f s\n", int(manager->images().size()),
                     timer.elapsed() / 1000.0);
    }

    // The session (with the post and its folder watch) and the cache work end before the
    // temporary home, photos and cache included, is removed.
    ~World()
    {
        manager = nullptr;
        PLRImageManager::shared().waitUntilAllOperationsAreFinished();
        PLRCoreManager::setUserSession(nullptr);
        PLRCoreManager::saveQueue().waitUntilIdle();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    // Made on first use; released by main() while the application object still stands.
    static std::unique_ptr<World>& storage()
    {
        static std::unique_ptr<World> world;
        return world;
    }
    static World& shared()
    {
        if (!storage())
            storage() = std::make_unique<World>();
        return *storage();
    }
};

// A gallery on screen in a window of a pane's size.
struct ShownGallery {
    std::unique_ptr<PLRGalleryViewController> controller = std::make_unique<PLRGalleryViewController>();

    explicit ShownGallery(PLRPostManager* manager)
    {
        controller->view()->resize(260, 800);
        controller->view()->show();
        controller->setPostManager(manager);
        QCoreApplication::processEvents();
        controller->view()->repaint();
    }
    void paint() { controller->view()->repaint(); }
    int itemsAlive() const { return int(controller->galleryView()->findChildren<PLRGalleryViewItem*>().size()); }
};

void BM_ShowGallery(benchmark::State& state)
{
    World& world = World::shared();
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        ShownGallery gallery(world.manager);
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        state.PauseTiming();
        gallery.controller.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ShowGallery)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_Resort(benchmark::State& state)
{
    World& world = World::shared();
    ShownGallery gallery(world.manager);
    bool descending = false;
    for (auto _ : state) {
        descending = !descending;
        QElapsedTimer timer;
        timer.start();
        gallery.controller->sortOrderMenuAction(descending ? gallery.controller->descendingMenuItem()
                                                           : gallery.controller->ascendingMenuItem());
        gallery.paint();
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
    }
}
BENCHMARK(BM_Resort)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);

void BM_StarFilter(benchmark::State& state)
{
    World& world = World::shared();
    ShownGallery gallery(world.manager);
    PLRStarFilterView* stars = gallery.controller->filterStarView();
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        stars->setCurrentFilterSelection(4);
        gallery.controller->starFilterSetFilterSelection(stars, 4);
        gallery.paint();
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        state.counters["shown"] = double(gallery.controller->galleryView()->numberOfItemsInSection(0));
        state.PauseTiming();
        gallery.controller->clearFilterAction();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StarFilter)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_ScrollTopToBottom(benchmark::State& state)
{
    World& world = World::shared();
    for (auto _ : state) {
        ShownGallery gallery(world.manager);
        QScrollBar* bar = gallery.controller->scrollView()->verticalScrollBar();
        bar->setValue(0);
        QCoreApplication::processEvents();
        const long before = residentKilobytes();
        int mostItems = 0;
        std::vector<double> frames;
        QElapsedTimer total;
        total.start();
        for (int value = 0; value <= bar->maximum(); value += kScrollStep) {
            QElapsedTimer frame;
            frame.start();
            bar->setValue(value);
            QCoreApplication::processEvents();   // thumbnails that arrived, queued updates
            gallery.controller->scrollView()->viewport()->repaint();
            frames.push_back(frame.nsecsElapsed() / 1e6);
            mostItems = std::max(mostItems, gallery.itemsAlive());
        }
        state.SetIterationTime(total.nsecsElapsed() / 1e9);
        const long after = residentKilobytes();
        std::vector<double> sorted = frames;
        std::sort(sorted.begin(), sorted.end());
        state.counters["frames"] = double(frames.size());
        state.counters["frame_mean_ms"] = std::accumulate(frames.begin(), frames.end(), 0.0) / double(std::max<size_t>(1, frames.size()));
        state.counters["frame_p95_ms"] = sorted.empty() ? 0.0 : sorted[size_t(double(sorted.size() - 1) * 0.95)];
        state.counters["frame_max_ms"] = sorted.empty() ? 0.0 : sorted.back();
        state.counters["frames_over_33ms"] = double(std::count_if(frames.begin(), frames.end(), [](double ms) { return ms > 33.0; }));
        state.counters["items_alive_max"] = double(mostItems);
        state.counters["rss_growth_kb"] = double(after - before);
    }
}
BENCHMARK(BM_ScrollTopToBottom)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("PELLORA_KEYCHAIN", "memory");
    qputenv("PELLORA_LOG_QUIET", "1");
    QApplication application(argc, argv);
    platform::resources::initialize();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    World::storage().reset();
    platform::shutdown::run();
    return 0;
}
