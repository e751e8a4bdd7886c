// Gallery benchmark (not a test).
//
// A post on a folder of real photos (1,000, then 5,000: copies of the photos given on the
// command line, their image cache built first) shown in a gallery pane of 260 x 800 points.
// Times showing the gallery, sorting it the other way and a star filter, then scrolls from the
// top to the bottom at a steady speed (48 points a frame), every frame's wall time and main-thread
// processor time recorded: the scroll position moves, the collection places its items, queued
// thumbnails arrive, and the viewport is painted.
// The anchor, scrolled in the same run right after each of the gallery's scrolls: a plain Qt
// list of the same photos (QListView in icon mode, the same pane size and item size), each
// thumbnail read from the same image cache as its item is first drawn. Both are drawn in the
// application's style and palette.
// Prints the times, the worst frame of each, their paired ratio, the resident memory and the
// number of photo items alive (bounded by what is on screen, not by the folder).
// Aims: each timing under 100 ms; no frame over 33 ms.
//
// Usage: gallery_bench PHOTOS_FOLDER [count...] [--rounds N] [--work DIR]
//   PHOTOS_FOLDER  JPEGs to copy (e.g. /work/photos/real); each photo of the bench is a hard
//                  link to a private copy of one of them, under its own name
//   count          default: 1000 5000 (each in a process of its own)
//   --rounds N     scrolls of each (default 2)
//   --work DIR     keeps the photos and the account (with its image cache) in DIR between runs
//                  (default: a temporary folder, removed afterwards)

#include "BenchPhotos.h"
#include "BenchSupport.h"

#include "layout/PLRLayoutLibrary.h"
#include "panels/gallery/PLRGalleryCollectionView.h"
#include "panels/gallery/PLRGalleryFilterViews.h"
#include "panels/gallery/PLRGalleryViewController.h"
#include "panels/gallery/PLRGalleryViewItem.h"
#include "shell/AppDelegate.h"
#include "shell/PLRLightStyle.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "platform/Keychain.h"
#include "platform/Resources.h"
#include "platform/Shutdown.h"
#include "platform/UserDefaults.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantPost.h"

#include <QAction>
#include <QApplication>
#include <QCache>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QListView>
#include <QProcess>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>


namespace {

using bench_support::largest;
using bench_support::median;

constexpr int kScrollStep = 48;

struct Frame {
    double wall = 0;
    double cpu = 0;
};

struct Scroll {
    std::vector<Frame> frames;
    int mostItems = 0;
    qint64 rssGrowthKiB = 0;
    double worst() const
    {
        double w = 0;
        for (const Frame& f : frames)
            w = std::max(w, f.wall);
        return w;
    }
    double worstCpu() const
    {
        double w = 0;
        for (const Frame& f : frames)
            w = std::max(w, f.cpu);
        return w;
    }
    int over(double ms) const
    {
        return int(std::count_if(frames.begin(), frames.end(), [ms](const Frame& f) { return f.wall > ms; }));
    }
    double mean() const
    {
        double sum = 0;
        for (const Frame& f : frames)
            sum += f.wall;
        return frames.empty() ? 0 : sum / double(frames.size());
    }
    double p95() const
    {
        std::vector<double> walls;
        for (const Frame& f : frames)
            walls.push_back(f.wall);
        std::sort(walls.begin(), walls.end());
        return walls.empty() ? 0 : walls[size_t(double(walls.size() - 1) * 0.95)];
    }
};

// Scrolls the scroll bar from top to bottom, one step a frame; `paint` paints the frame.
Scroll scrollThrough(QScrollBar* bar, const std::function<void()>& paint, const std::function<int()>& itemsAlive)
{
    Scroll scroll;
    bar->setValue(0);
    QCoreApplication::processEvents();
    const qint64 before = bench_support::statusKiB("VmRSS:");
    for (int value = 0; value <= bar->maximum(); value += kScrollStep) {
        QElapsedTimer frame;
        const double cpu = bench_support::threadCpuMs();
        frame.start();
        bar->setValue(value);
        QCoreApplication::processEvents();   // thumbnails that arrived, queued updates
        paint();
        scroll.frames.push_back({frame.nsecsElapsed() / 1e6, bench_support::threadCpuMs() - cpu});
        if (itemsAlive)
            scroll.mostItems = std::max(scroll.mostItems, itemsAlive());
    }
    scroll.rssGrowthKiB = bench_support::statusKiB("VmRSS:") - before;
    return scroll;
}

// The anchor: a plain icon list of the photos' cached previews, each read as it is first drawn.
class PlainThumbnails : public QStandardItemModel {
public:
    explicit PlainThumbnails(const QStringList& previews, int side) : m_previews(previews), m_side(side), m_cache(400)
    {
        setRowCount(int(previews.size()));
        setColumnCount(1);
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role == Qt::DecorationRole && index.row() < m_previews.size()) {
            if (QPixmap* cached = m_cache.object(index.row()))
                return *cached;
            QImageReader reader(m_previews[index.row()]);
            const QSize size = reader.size();
            if (size.isValid())
                reader.setScaledSize(size.scaled(m_side, m_side, Qt::KeepAspectRatio));
            auto* pixmap = new QPixmap(QPixmap::fromImage(reader.read()));
            const QPixmap result = *pixmap;
            m_cache.insert(index.row(), pixmap);
            return result;
        }
        if (role == Qt::DisplayRole)
            return QFileInfo(m_previews.value(index.row())).dir().dirName();
        return QStandardItemModel::data(index, role);
    }

private:
    QStringList m_previews;
    int m_side;
    mutable QCache<int, QPixmap> m_cache;
};

int runOne(const QString& sources, const QString& workRoot, int count, int rounds)
{
    std::unique_ptr<QTemporaryDir> temporary;
    QString work = workRoot;
    if (work.isEmpty()) {
        temporary = std::make_unique<QTemporaryDir>();
        work = temporary->path();
    }
    QDir().mkpath(work);
    const QString home = work + QStringLiteral("/home-%1").arg(count);
    qputenv("PELLORA_HOME", home.toUtf8());
    platform::UserDefaults::standard().reload();
    platform::Keychain::setShared(platform::Keychain::make(QStringLiteral("memory")));

    QElapsedTimer timer;
    timer.start();
    const QString folder = work + QStringLiteral("/photos-%1").arg(count);
    if (bench_photos::linkedCopiesOfReal(sources, work, folder, count).isEmpty()) {
        std::fprintf(stderr, "no JPEG in %s\n", qPrintable(sources));
        return 1;
    }
    std::printf("photos: %d real photos (copies of those in %s) in %s, ready in %.1f s\n", count, qPrintable(sources),
                qPrintable(folder), timer.elapsed() / 1000.0);

    PLRLayoutLibrary::install();
    PLRCoreManager::completeSignIn(QStringLiteral("bench@example.com"), QStringLiteral("secret"), QStringLiteral("u-1"),
                                   QStringLiteral("token"));
    // The post of an earlier run in the same work folder is opened again (its cache is built).
    PLRUserSession* session = PLRCoreManager::userSession();
    session->account()->loadInPostsIfNeeded();
    PLRPostManager* manager = nullptr;
    const QString title = QStringLiteral("Bench %1").arg(count);
    for (PLRPersistantPost* post : session->account()->currentPosts())
        if (post->name() == title)
            manager = session->postManagerForPost(post);
    timer.restart();
    if (!manager) {
        manager = session->newPostManager();
        manager->createNewPostWithTitle(title, QUrl::fromLocalFile(folder));
    }
    // The directory keeps calling back as it watches the folder, long after this wait: the
    // flag is shared with the callback, and the callback is taken back once the folder is read.
    auto finished = std::make_shared<bool>(false);
    manager->sourceDirectory()->setUIDirectoryWatchProgressCallback([finished](const PLRSourceDirectoryProgressInfo& info) {
        if (info.loadDirectoryFinished)
            *finished = true;
    });
    bench_support::waitUntil([&] { return manager->images().size() == count; }, 3600000);
    PLRImageManager::shared().waitUntilAllOperationsAreFinished();
    bench_support::waitUntil([&] { return *finished; }, 3600000);
    manager->sourceDirectory()->setUIDirectoryWatchProgressCallback({});
    std::printf("listed and cached %d photos in %.1f s\n", int(manager->images().size()), timer.elapsed() / 1000.0);
    QStringList previews;
    for (const PLRSourceImagePtr& image : manager->images())
        previews.append(QDir(image->cacheLocation()).filePath(QLatin1String(PLRImageManager::kPreviewFileName)));
    bench_support::printLoad("before");

    // Showing, sorting and filtering, three times each.
    std::vector<double> shows, sorts, filters;
    for (int i = 0; i < 3; ++i) {
        timer.restart();
        auto controller = std::make_unique<PLRGalleryViewController>();
        controller->view()->resize(260, 800);
        controller->view()->show();
        controller->setPostManager(manager);
        QCoreApplication::processEvents();
        controller->view()->repaint();
        shows.push_back(timer.nsecsElapsed() / 1e6);
        timer.restart();
        controller->sortOrderMenuAction(controller->descendingMenuItem());
        controller->view()->repaint();
        sorts.push_back(timer.nsecsElapsed() / 1e6);
        controller->sortOrderMenuAction(controller->ascendingMenuItem());
        PLRStarFilterView* stars = controller->filterStarView();
        timer.restart();
        stars->setCurrentFilterSelection(4);
        controller->starFilterSetFilterSelection(stars, 4);
        controller->view()->repaint();
        filters.push_back(timer.nsecsElapsed() / 1e6);
        controller->clearFilterAction();
        controller.reset();
        QCoreApplication::processEvents();
    }
    std::printf("show gallery: median %.1f ms; sort the other way: %.1f ms; star filter: %.1f ms (aim < 100 each)\n",
                median(shows), median(sorts), median(filters));

    // The scrolls: the gallery's, then the plain list's, each round.
    std::vector<double> worst, plainWorst, means, plainMeans;
    for (int round = 0; round < rounds; ++round) {
        // A fresh gallery each round, as when the post is opened again.
        PLRImageManager::shared().waitUntilAllOperationsAreFinished();
        auto controller = std::make_unique<PLRGalleryViewController>();
        controller->view()->resize(260, 800);
        controller->view()->show();
        controller->setPostManager(manager);
        QCoreApplication::processEvents();
        controller->view()->repaint();
        PLRGalleryViewController* gallery = controller.get();
        const Scroll ours = scrollThrough(
            gallery->scrollView()->verticalScrollBar(), [gallery] { gallery->scrollView()->viewport()->repaint(); },
            [gallery] { return int(gallery->galleryView()->findChildren<PLRGalleryViewItem*>().size()); });
        const QSize item = [&] {
            const auto items = gallery->galleryView()->findChildren<PLRGalleryViewItem*>();
            return items.isEmpty() ? QSize(120, 120) : items.first()->view()->size();
        }();
        controller.reset();
        QCoreApplication::processEvents();

        PlainThumbnails model(previews, std::max(32, std::min(item.width(), item.height()) - 8));
        QListView list;
        list.setViewMode(QListView::IconMode);
        list.setUniformItemSizes(true);
        list.setMovement(QListView::Static);
        list.setResizeMode(QListView::Adjust);
        list.setGridSize(item);
        list.setIconSize(QSize(item.width() - 8, item.height() - 24));
        list.setModel(&model);
        list.resize(260, 800);
        list.show();
        QCoreApplication::processEvents();
        const Scroll plain = scrollThrough(list.verticalScrollBar(), [&list] { list.viewport()->repaint(); }, {});

        worst.push_back(ours.worst());
        plainWorst.push_back(plain.worst());
        means.push_back(ours.mean());
        plainMeans.push_back(plain.mean());
        std::printf("round %d: gallery %zu frames, worst %.1f ms (processor %.1f ms), p95 %.2f ms, mean %.2f ms, %d over 33 ms,"
                    " items alive at most %d, resident growth %.1f MiB\n",
                    round + 1, ours.frames.size(), ours.worst(), ours.worstCpu(), ours.p95(), ours.mean(), ours.over(33.0),
                    ours.mostItems, ours.rssGrowthKiB / 1024.0);
        std::printf("         plain list %zu frames, worst %.1f ms (processor %.1f ms), p95 %.2f ms, mean %.2f ms, %d over 33 ms\n",
                    plain.frames.size(), plain.worst(), plain.worstCpu(), plain.p95(), plain.mean(), plain.over(33.0));
        // The slowest frames of the gallery, where they were.
        std::vector<size_t> order(ours.frames.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return ours.frames[a].wall > ours.frames[b].wall; });
        std::printf("         gallery's slowest frames:");
        for (size_t i = 0; i < std::min<size_t>(5, order.size()); ++i)
            std::printf(" #%zu %.1f ms (processor %.1f)", order[i], ours.frames[order[i]].wall, ours.frames[order[i]].cpu);
        std::printf("\n");
    }
    std::printf("worst frame: gallery median %.1f ms (largest %.1f), plain list %.1f ms; aim: no frame over 33 ms\n",
                median(worst), largest(worst), median(plainWorst));
    bench_support::printPairedRatio("worst frame, gallery / plain list", worst, plainWorst);
    bench_support::printPairedRatio("mean frame, gallery / plain list", means, plainMeans);
    std::printf("resident memory: %.1f MiB\n", bench_support::statusKiB("VmRSS:") / 1024.0);
    bench_support::printLoad("after");

    PLRImageManager::shared().waitUntilAllOperationsAreFinished();
    PLRCoreManager::save();
    PLRCoreManager::saveQueue().waitUntilIdle();
    PLRCoreManager::setUserSession(nullptr);
    PLRCoreManager::saveQueue().waitUntilIdle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QString sources, work;
    QList<int> counts;
    int rounds = 2;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--rounds" && i + 1 < argc)
            rounds = std::max(1, QByteArray(argv[++i]).toInt());
        else if (argument == "--work" && i + 1 < argc)
            work = QString::fromLocal8Bit(argv[++i]);
        else if (argument.toInt() > 0)
            counts.append(argument.toInt());
        else
            sources = QString::fromLocal8Bit(argument);
    }
    if (sources.isEmpty()) {
        std::fprintf(stderr, "usage: gallery_bench PHOTOS_FOLDER [count...] [--rounds N] [--work DIR]\n");
        return 2;
    }
    if (counts.isEmpty())
        counts = {1000, 5000};
    if (counts.size() > 1) {
        QCoreApplication app(argc, argv);
        int status = 0;
        for (int count : counts) {
            std::printf("== %d photos ==\n", count);
            std::fflush(stdout);
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            QStringList arguments{sources, QString::number(count), QStringLiteral("--rounds"), QString::number(rounds)};
            if (!work.isEmpty())
                arguments << QStringLiteral("--work") << work;
            child.start(QString::fromLocal8Bit(argv[0]), arguments);
            child.waitForFinished(-1);
            status |= child.exitCode();
            std::printf("\n");
        }
        return status;
    }

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("PELLORA_KEYCHAIN", "memory");
    qputenv("PELLORA_LOG_QUIET", "1");
    QApplication application(argc, argv);
    platform::resources::initialize();
    // The application's look (its style and palette), as the gallery is drawn in the application.
    QApplication::setStyle(new PLRLightStyle);
    QApplication::setPalette(PLRLightAppearancePalette());
    const int status = runOne(sources, work, counts.first(), rounds);
    platform::shutdown::run();
    return status;
}
