#include "publishing/export/PLRExportManager.h"
#include "platform/Threads.h"

#include "layout/base/PLRLayoutManager.h"
#include "publishing/export/PLRExportBlockStream.h"
#include "publishing/export/PLRExportImaging.h"
#include "publishing/export/PLRExportMemoryGate.h"
#include "publishing/export/PLRExportNames.h"
#include "publishing/export/PLRExportRenderer.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Resets.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRPostManager.h"
#include "store/persistance-store/source/PLRPhotoDecoder.h"

#include <QDir>
#include <QFileInfo>
#include <QFuture>
#include <QPointer>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <exception>
#include <optional>

namespace {

std::atomic_int g_parallelism = 0;
std::atomic<qint64> g_memoryBudget = 0;
std::atomic<qint64> g_lastPeakInFlight = 0;
const platform::resets::Joined g_parallelismReset{[] {
    g_parallelism = 0;
    g_memoryBudget = 0;
    g_lastPeakInFlight = 0;
}};

QString describe(const PLRBlock& block)
{
    return QStringLiteral("%1 (kind %2)").arg(QString::fromStdString(block.id())).arg(plr::typeOneOfCase(block));
}

// One file of a layout export, planned on the main thread when the export starts: everything
// its drawing needs, so that no view is touched after that.
struct PlannedBlock {
    const PLRBlock* block = nullptr;   // in the renderer's copy; null for a skipped block
    qint64 number = 0;
    QString fileName;
    qint64 dpi = 0;
    PLRBlockDrawTree tree;    // the block and its sub-blocks as the off-screen views place them
    QSize renderSize;         // the drawing's pixels
    QList<PLRExportRenderer::PictureRequest> pictures;
};

// The file names of the export: sanitised, the number alone when a name would be empty or
// too long, and made unique within the export.
QString uniqueFileName(const QString& base, const QString& prefix, QSet<QString>& used)
{
    const QString extension = QLatin1String(plr_export::kFileExtension);
    QString stem = base.isEmpty() ? prefix : base;
    if (plr_export::isFileNameTooLong(stem + extension))
        stem = prefix;
    QString name = stem + extension;
    for (int n = 2; used.contains(name); ++n) {
        name = QStringLiteral("%1-%2%3").arg(stem).arg(n).arg(extension);
        if (plr_export::isFileNameTooLong(name))
            name = QStringLiteral("%1-%2%3").arg(prefix).arg(n).arg(extension);
    }
    used.insert(name);
    return name;
}

qint64 dpiForBlock(const PLRBlock& block, const PLRExportRenderer::Photos& photos)
{
    if (plr::typeOneOfCase(block) == plr::kBlockKindContainer)
        return plr_export::kContainerDPI;
    const QString identifier = QString::fromStdString(block.image().img_ref());
    return plr_export::exportDPIForPhoto(photos.value(identifier).dpi);
}

// A running layout export. Owned by the tasks that still need it; the last reference is
// always dropped on the main thread (the renderer's views live there).
struct LayoutExportJob {
    QPointer<PLRLayoutManager> liveManager;
    std::unique_ptr<PLRExportRenderer> renderer;
    QList<PlannedBlock> blocks;
    qint64 total = 0;
    QString folder;
    // The folder, opened once: every file goes into what was opened, never through a link
    // put in its place meanwhile.
    std::shared_ptr<const platform::files::Directory> directory;
    double pixelWidth = 0.0;
    float compression = 0.0f;
    bool sharpness = false;
    PLRExportManager::ProgressBlock progress;
    PLRExportManager::CompletionBlock completion;
    std::unique_ptr<platform::SerialQueue> queue;
    QThreadPool pool;
    QStringList failures;
    // Photos found unusable before anything was written: the export is refused.
    QStringList unusable;
    // Photos that could not be drawn when their blocks were (changed on disk since the check):
    // those blocks are not written, and the export ends with the same refusal.
    QStringList spoiled;
    int spoiledBlocks = 0;
    int written = 0;
    qint64 memoryBudget = PLRExportManager::memoryBudget();
    int drawingThreads = 1;   // blocks drawn at once; the pool has a writing thread for each
    qint64 peakInFlight = 0;

    ~LayoutExportJob() { pool.waitForDone(); }

    // On the export queue.
    void run();
    // On the main thread.
    void finish();
};

void LayoutExportJob::run()
{
    // Photos that are gone or known to be unusable, and those no decode has judged in their
    // present version (not cached yet, or changed since the folder looked) decoded at their
    // smallest scale: any that cannot be drawn whole refuses the export before a file is
    // written, and every one is named with its reason.
    unusable = PLRExportRenderer::unusablePhotos(renderer->layout(), renderer->photos())
        + PLRExportRenderer::checkUnjudgedPhotos(renderer->photos(), &pool);
    unusable.removeDuplicates();
    unusable.sort(Qt::CaseInsensitive);
    if (!unusable.isEmpty()) {
        PLR_LOG_ERROR(QStringLiteral("ExportLayout - refused, photos cannot be drawn: %1").arg(unusable.join(QStringLiteral("; "))));
        return;
    }
    // What an export killed before this one left where the file system has no nameless files.
    QSet<QString> names;
    for (const PlannedBlock& planned : std::as_const(blocks))
        if (planned.block)
            names.insert(planned.fileName);
    if (const int removed = directory->removeLeftoversOf(names))
        PLR_LOG_INFO(QStringLiteral("ExportLayout: removed %1 unfinished files of an earlier export from %2").arg(removed).arg(folder));
    // Each block goes from its photos to its file through two of the pool's threads (decoding and
    // drawing on one, sharpening, encoding and writing on the other, the rows handed over as they
    // are drawn: see PLRExportBlockStream.h), several blocks side by side, none waiting for the
    // main thread. How many are in flight is bounded by the drawing threads and by the memory
    // they hold, not by their count (see MemoryGate): a block of a portrait or of several photos
    // weighs more. A block whose drawing is done leaves its drawing thread to the next block while
    // its last rows are encoded.
    const int threads = std::max(1, drawingThreads);
    auto gate = std::make_shared<plr_export::MemoryGate>(memoryBudget);
    // Wakes this thread whenever a block is drawn or ends (a thread and memory may have been
    // given back).
    struct Wake {
        std::mutex mutex;
        std::condition_variable changed;
        quint64 events = 0;
        void signal()
        {
            {
                std::lock_guard lock(mutex);
                ++events;
            }
            changed.notify_all();
        }
    };
    auto wake = std::make_shared<Wake>();
    // A block's outcome, set by its tasks.
    struct Outcome {
        std::atomic_bool drawn = false;
        std::atomic_bool ended = false;
        plr_export::BlockResult result;   // set before `ended`
    };
    struct Pending {
        qint64 number;
        bool exported;
        std::shared_ptr<Outcome> outcome;   // none for a skipped block
    };
    std::deque<Pending> pending;

    // Progress goes to the main thread in block order; the export does not wait for it.
    auto reportProgress = [this](qint64 number) {
        if (progress)
            platform::dispatchMain([report = progress, number, count = total] { report(number, count); });
    };
    // Progress for the blocks done so far, in order.
    auto finishDone = [&] {
        while (!pending.empty() && (!pending.front().exported || pending.front().outcome->ended.load())) {
            const Pending done = std::move(pending.front());
            pending.pop_front();
            if (done.exported) {
                const plr_export::BlockResult& result = done.outcome->result;
                if (result.failure.isEmpty())
                    ++written;
                else if (!result.unusable.isEmpty()) {
                    spoiled += result.unusable;
                    ++spoiledBlocks;
                }
                else
                    failures.append(result.failure);
            }
            reportProgress(done.number);
        }
    };
    auto drawing = [&] {
        int count = 0;
        for (const Pending& item : pending)
            if (item.exported && !item.outcome->drawn.load())
                ++count;
        return count;
    };
    // Until `ready` holds: what ends meanwhile is reported.
    auto waitFor = [&](const std::function<bool()>& ready) {
        while (true) {
            quint64 seen = 0;
            {
                std::lock_guard lock(wake->mutex);
                seen = wake->events;
            }
            finishDone();
            if (ready())
                return;
            std::unique_lock lock(wake->mutex);
            wake->changed.wait(lock, [&] { return wake->events != seen; });
        }
    };

    for (const PlannedBlock& planned : std::as_const(blocks)) {
        if (!planned.block) {
            pending.push_back({planned.number, false, {}});
            finishDone();
            continue;
        }
        const plr_export::BlockMemory memory = plr_export::blockMemory(planned.pictures, planned.renderSize, sharpness);
        waitFor([&] { return drawing() < threads && gate->admits(memory.peak()); });
        auto outcome = std::make_shared<Outcome>();
        plr_export::BlockWork work;
        work.renderer = renderer.get();
        work.tree = &planned.tree;
        work.pictures = &planned.pictures;
        work.fileName = planned.fileName;
        work.description = describe(*planned.block);
        work.dpi = planned.dpi;
        work.folder = directory;
        work.pixelWidth = pixelWidth;
        work.compression = compression;
        work.sharpness = sharpness;
        plr_export::startBlock(
            pool, work, memory, gate,
            [outcome, wake] {
                outcome->drawn = true;
                wake->signal();
            },
            [outcome, wake](const plr_export::BlockResult& result) {
                outcome->result = result;
                outcome->ended = true;
                wake->signal();
            });
        pending.push_back({planned.number, true, std::move(outcome)});
    }
    waitFor([&] { return pending.empty(); });
    peakInFlight = gate->peak();
    g_lastPeakInFlight = peakInFlight;
    PLR_LOG_INFO(QStringLiteral("ExportLayout: at most %1 MiB in flight (budget %2 MiB)")
                     .arg(double(peakInFlight) / (1024.0 * 1024.0), 0, 'f', 1)
                     .arg(double(memoryBudget) / (1024.0 * 1024.0), 0, 'f', 1));
}

// What the user is told when photos of an export are missing or unreadable: one line for each,
// "name: why". `notWritten` of `pictures` were not written for it (none of them when there are
// no pictures: the export was refused before it began).
QString unusablePhotosText(QStringList problems, qint64 notWritten = 0, qint64 pictures = 0)
{
    problems.removeDuplicates();
    problems.sort(Qt::CaseInsensitive);
    const qsizetype shown = 20;
    QString list = problems.mid(0, shown).join(QLatin1Char('\n'));
    if (problems.size() > shown)
        list += QStringLiteral("\n... and %1 more").arg(problems.size() - shown);
    const bool one = problems.size() == 1;
    const QString what = pictures <= 0 || notWritten >= pictures
        ? QStringLiteral("Nothing was exported")
        : QStringLiteral("%1 of %2 pictures were not exported").arg(notWritten).arg(pictures);
    return QStringLiteral("%1: %2 of the post cannot be drawn.\n%3\n\n%4")
        .arg(what, one ? QStringLiteral("a photo") : QStringLiteral("%1 photos").arg(problems.size()), list,
             one ? QStringLiteral("Put a whole copy of it in the post's folder, or remove it from the layout, then export again.")
                 : QStringLiteral("Put whole copies of them in the post's folder, or remove them from the layout, then export again."));
}

void LayoutExportJob::finish()
{
    renderer.reset();
    if (!unusable.isEmpty()) {
        if (completion)
            completion(false, unusablePhotosText(unusable));
        return;
    }
    PLRDefaults::incrementExportLayoutCount();
    QStringList parts;
    if (spoiledBlocks > 0) {
        // Blocks whose photos stopped being readable during the export (rewritten, cut or removed
        // since it was checked) are refused as the whole export is before it begins.
        const int pictures = written + int(failures.size()) + spoiledBlocks;
        parts << unusablePhotosText(spoiled, pictures - written, pictures);
        PLR_LOG_ERROR(QStringLiteral("ExportLayout: %1 blocks not written, photos cannot be drawn: %2")
                          .arg(spoiledBlocks)
                          .arg(spoiled.join(QStringLiteral("; "))));
    }
    if (!failures.isEmpty()) {
        const QString failure = QStringLiteral("%1 of %2 pictures could not be written to %3.\n%4")
                                    .arg(failures.size())
                                    .arg(failures.size() + written)
                                    .arg(folder, failures.mid(0, 5).join(QLatin1Char('\n')));
        PLR_LOG_ERROR(QStringLiteral("ExportLayout: %1").arg(failure));
        parts << failure;
    }
    if (completion)
        completion(parts.isEmpty(), parts.join(QStringLiteral("\n\n")));
}

void completeLater(const PLRExportManager::CompletionBlock& completion, bool success, const QString& failure)
{
    platform::dispatchMain([completion, success, failure] {
        if (completion)
            completion(success, failure);
    });
}

// A copy of the layout that keeps only a copy of the first section, with the given blocks.
PLRLayout firstSectionCopy(const PLRLayout& layout, const std::function<bool(int index, const PLRBlock&)>& keep)
{
    PLRLayout copy(layout);
    copy.clear_sections();
    if (layout.sections_size() == 0)
        return copy;
    PLRSection* section = copy.add_sections();
    *section = layout.sections(0);
    section->clear_blocks();
    int index = 0;
    for (const PLRBlock& block : layout.sections(0).blocks()) {
        if (keep(index, block))
            *section->add_blocks() = block;
        ++index;
    }
    return copy;
}

// The copy of the layout a collage of the blocks draws: the first section with the top-level
// blocks that hold them, in the layout's order. Nothing when there is nothing to draw.
std::optional<PLRLayout> collageCopy(PLRPostManager* postManager, const QList<PLRBlock*>& blocks)
{
    PLRLayoutManager* manager = postManager ? postManager->layoutManager() : nullptr;
    if (blocks.isEmpty() || !manager || !manager->representedLayout())
        return std::nullopt;
    const PLRLayout& live = *manager->representedLayout();
    if (live.sections_size() == 0)
        return std::nullopt;
    QSet<const PLRBlock*> topLevel;
    for (PLRBlock* block : blocks) {
        const QList<PLRBlock*> path = manager->pathFromSectionToBlock(block);
        topLevel.insert(path.isEmpty() ? block : path.first());
    }
    const PLRSection& first = live.sections(0);
    PLRLayout copy = firstSectionCopy(live, [&](int index, const PLRBlock&) { return topLevel.contains(&first.blocks(index)); });
    if (copy.sections(0).blocks_size() == 0)
        return std::nullopt;
    return copy;
}

} // namespace

PLRExportManager& PLRExportManager::sharedManager()
{
    static PLRExportManager manager;
    return manager;
}

float PLRExportManager::interpolateQualityValue(qint64 quality)
{
    return plr_export::interpolateQualityValue(quality);
}

int PLRExportManager::parallelism()
{
    const int set = g_parallelism.load();
    return set > 0 ? set : std::clamp(QThread::idealThreadCount(), 1, 8);
}

void PLRExportManager::setParallelism(int count)
{
    g_parallelism = std::max(0, count);
}

qint64 PLRExportManager::memoryBudget()
{
    const qint64 set = g_memoryBudget.load();
    return set > 0 ? set : kMemoryBudget;
}

void PLRExportManager::setMemoryBudget(qint64 bytes)
{
    g_memoryBudget = std::max<qint64>(0, bytes);
}

qint64 PLRExportManager::lastExportPeakInFlight()
{
    return g_lastPeakInFlight.load();
}

void PLRExportManager::exportLayoutForPostManager(PLRPostManager* postManager, const QString& folder, qint64 width,
                                                  qint64 quality, bool sharpness, qint64 nameOptions, bool inLiveView,
                                                  ProgressBlock progress, CompletionBlock completion)
{
    PLR_ASSERT_MAIN_THREAD();
    PLRLayoutManager* liveManager = postManager ? postManager->layoutManager() : nullptr;
    if (!liveManager || !liveManager->representedLayout()) {
        PLR_LOG_ERROR(QStringLiteral("ExportLayout - the post has no layout to export"));
        completeLater(completion, false, QStringLiteral("The post has no layout to export."));
        return;
    }
    const QFileInfo target(folder);
    auto directory = std::make_shared<platform::files::Directory>();
    if (folder.isEmpty() || !target.isDir() || !target.isWritable() || !directory->open(folder)) {
        PLR_LOG_ERROR(QStringLiteral("ExportLayout - Path %1 is not writable").arg(folder));
        completeLater(completion, false, QStringLiteral("The folder \"%1\" cannot be written to.").arg(folder));
        return;
    }
    const PLRLayout& live = *liveManager->representedLayout();
    if (live.sections_size() == 0) {
        PLR_LOG_WARN(QStringLiteral("ExportLayout - LayoutViewProxy has no sections to export"));
        completeLater(completion, false, QStringLiteral("The layout has nothing to export."));
        return;
    }

    // The copy the export draws: the first section as it stands now, laid out as the canvas
    // shows it (in live view) or at the export width.
    double layoutWidth = double(width);
    if (inLiveView)
        if (PLRLayoutViewProxy* proxy = liveManager->liveLayoutViewProxy(); proxy && proxy->width() > 0.0)
            layoutWidth = proxy->width();
    const PLRLayout snapshot = firstSectionCopy(live, [](int, const PLRBlock&) { return true; });
    PLRExportRenderer::Photos photos = PLRExportRenderer::photosOf(postManager, snapshot);
    // Photos that cannot be drawn are looked for first, on the export's queue (run()).
    auto job = std::make_shared<LayoutExportJob>();
    job->liveManager = liveManager;
    job->renderer = std::make_unique<PLRExportRenderer>(snapshot, layoutWidth, std::move(photos));
    PLR_LOG_INFO(QStringLiteral("ExportLayout - LayoutViewProxy = off-screen copy %1 wide%2")
                     .arg(layoutWidth)
                     .arg(inLiveView ? QStringLiteral(" (as the canvas shows it)") : QString()));
    job->folder = folder;
    job->directory = std::move(directory);
    job->pixelWidth = double(width);
    job->compression = interpolateQualityValue(quality);
    job->sharpness = sharpness;
    job->progress = std::move(progress);
    job->completion = std::move(completion);
    job->drawingThreads = parallelism();
    job->pool.setMaxThreadCount(2 * job->drawingThreads);

    const PLRSection& section = job->renderer->layout().sections(0);
    job->total = section.blocks_size();
    const plr_export::PhotoLookup lookup = PLRExportRenderer::lookupFor(job->renderer->photos());
    QSet<QString> usedNames;
    qint64 number = 1;
    for (const PLRBlock& block : section.blocks()) {
        PlannedBlock planned;
        planned.number = number;
        if (plr_export::isExportedBlock(block)) {
            const QString prefix = plr_export::numberPrefix(number, job->total);
            planned.block = &block;
            planned.fileName = uniqueFileName(plr_export::exportNameForBlock(block, prefix, nameOptions, lookup), prefix, usedNames);
            planned.dpi = dpiForBlock(block, job->renderer->photos());
            planned.pictures = job->renderer->picturesForBlock(&block, job->pixelWidth);
            planned.tree = job->renderer->drawTree(&block);
            if (planned.tree.block)
                planned.renderSize = PLRExportRenderer::renderSize(planned.tree.bounds().size(), job->pixelWidth);
        } else {
            PLR_LOG_INFO(QStringLiteral("ExportLayout: Skipping export for block %1 as it is not an image or container. currentImageNumber: %2")
                             .arg(describe(block))
                             .arg(number));
        }
        job->blocks.append(planned);
        ++number;
    }

    job->queue = std::make_unique<platform::SerialQueue>(QString::fromLatin1(kQueueLabel));
    platform::SerialQueue* queue = job->queue.get();
    queue->async([job]() mutable {
        job->run();
        // The end runs on the main queue, which also takes the last reference.
        platform::dispatchMain([job = std::move(job)]() mutable {
            job->finish();
            // The queue's thread is done with its last task; stop it from here.
            platform::dispatchMain([job = std::move(job)] {});
        });
    });
}

QString PLRExportManager::unusablePhotosReport(PLRPostManager* postManager, const QList<PLRBlock*>& blocks)
{
    std::optional<PLRLayout> copy;
    if (blocks.isEmpty()) {
        PLRLayoutManager* manager = postManager ? postManager->layoutManager() : nullptr;
        if (manager && manager->representedLayout())
            copy = firstSectionCopy(*manager->representedLayout(), [](int, const PLRBlock&) { return true; });
    } else {
        copy = collageCopy(postManager, blocks);
    }
    if (!copy)
        return {};
    const QStringList problems = PLRExportRenderer::unusablePhotos(*copy, PLRExportRenderer::photosOf(postManager, *copy));
    return problems.isEmpty() ? QString() : unusablePhotosText(problems);
}

bool PLRExportManager::exportBlocks(const QList<PLRBlock*>& blocks, PLRPostManager* postManager, const QString& file,
                                    qint64 width, int quality, QString* failure)
{
    const std::optional<PLRLayout> collage = collageCopy(postManager, blocks);
    if (!collage)
        return false;
    const PLRLayout& copy = *collage;

    PLRExportRenderer::Photos photos = PLRExportRenderer::photosOf(postManager, copy);
    // Photos that are gone or known to be unusable, and those whose decode fails now, would be
    // drawn as placeholders or grey: refused before anything is written, each named.
    QStringList unusable = PLRExportRenderer::unusablePhotos(copy, photos);
    PLRExportRenderer renderer(copy, double(width), std::move(photos));
    const PLRExportRenderer::Pictures pictures = PLRExportRenderer::preparePictures(renderer.picturesForLayout(double(width)), true, &unusable);
    if (!unusable.isEmpty()) {
        unusable.removeDuplicates();
        unusable.sort(Qt::CaseInsensitive);
        PLR_LOG_ERROR(QStringLiteral("Exporting Collage to %1 refused, photos cannot be drawn: %2").arg(file, unusable.join(QStringLiteral("; "))));
        if (failure)
            *failure = unusablePhotosText(unusable);
        return false;
    }
    QString whyNotDrawn;
    const QImage image = renderer.renderLayout(double(width), pictures, &whyNotDrawn);
    const QByteArray data = plr_export::encodeJPEG(image, interpolateQualityValue(quality), plr_export::kUnknownDPI);
    // Nameless until whole, as the layout export's files.
    platform::Error error;
    platform::files::Directory folder;
    const QString fileName = QFileInfo(file).fileName();
    bool written = false;
    if (!data.isEmpty() && folder.open(QFileInfo(file).absolutePath(), &error)) {
        folder.removeLeftoversOf({fileName});
        written = folder.writeFileWhole(fileName, data, &error);
    }
    if (!written) {
        const QString why = !data.isEmpty()          ? error.localizedDescription()
                             : whyNotDrawn.isEmpty() ? QStringLiteral("The collage could not be drawn.")
                                                     : QStringLiteral("The collage could not be drawn: %1.").arg(whyNotDrawn);
        PLR_LOG_ERROR(QStringLiteral("Exporting Collage to %1 failed: %2").arg(file, why));
        if (failure)
            *failure = why;
        return false;
    }
    PLRDefaults::incrementExportCollageCount();
    return true;
}

QByteArray PLRExportManager::exportLayoutPreviewForPost(PLRPersistantPost& post)
{
    PLRPostManager* postManager = post.owningPostManager();
    PLRLayoutManager* manager = postManager ? postManager->existingComponent<PLRLayoutManager>() : nullptr;
    if (!manager)
        return {};
    const PLRLayout& layout = post.layout();
    if (layout.sections_size() == 0 || layout.sections(0).blocks_size() == 0)
        return {};
    const bool overlay = manager->imageKeywordOverlayEnabled();
    manager->setImageKeywordOverlayEnabled(false);
    QByteArray data;
    try {
        auto copy = std::make_unique<PLRLayout>(firstSectionCopy(layout, [](int index, const PLRBlock&) { return index < kPreviewBlockCount; }));
        PLRLayoutViewProxy proxy(manager, std::move(copy), kStandardLayoutWidth);
        proxy.setLive(false);
        if (PLRLayoutView* view = proxy.layoutView()) {
            view->ensureSectionLayout();
            view->updateConstraints();
            view->layoutSubtreeIfNeeded();
            const QImage image = view->renderImage(kPreviewWidth);
            data = plr_export::encodeJPEG(image, kPreviewCompression, plr_export::kUnknownDPI);
        }
    } catch (const std::exception& exception) {
        PLR_LOG_ERROR(QStringLiteral("Error trying to export layout preview for (%1) : %2").arg(post.identifier(), QString::fromUtf8(exception.what())));
        data.clear();
    }
    manager->setImageKeywordOverlayEnabled(overlay);
    return data;
}

bool PLRExportManager::hasExportBlocksWithNamesExceeedingLimit(PLRPostManager* postManager, qint64 nameOptions)
{
    PLRLayoutManager* manager = postManager ? postManager->layoutManager() : nullptr;
    if (!manager || !manager->representedLayout())
        return false;
    const PLRLayout& layout = *manager->representedLayout();
    return plr_export::hasNamesExceedingLimit(layout, nameOptions, PLRExportRenderer::lookupFor(PLRExportRenderer::photosOf(postManager, layout)));
}
