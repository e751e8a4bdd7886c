#include "publishing/export/PLRExportManager.h"
#include "platform/Threads.h"

#include "layout/base/PLRLayoutManager.h"
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

// One file of a layout export, planned on the main thread when the export starts.
struct PlannedBlock {
    const PLRBlock* block = nullptr;   // in the renderer's copy; null for a skipped block
    qint64 number = 0;
    QString fileName;
    qint64 dpi = 0;
    QSize renderSize;         // the drawing's pixels
    qint64 renderBytes = 0;
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
    int written = 0;
    qint64 memoryBudget = PLRExportManager::memoryBudget();
    qint64 peakInFlight = 0;

    ~LayoutExportJob() { pool.waitForDone(); }

    // On the export queue.
    void run();
    // On the main thread.
    void finish();
};

// Sharpens, encodes and writes one drawn block (moved in: nothing is copied) into the folder
// opened when the export began; returns the failure, or nothing.
QString writeBlock(QImage rendered, const QString& whyNotDrawn, const PlannedBlock& planned,
                   const platform::files::Directory& folder, float compression, bool sharpness)
{
    if (rendered.isNull())
        return whyNotDrawn.isEmpty() ? QStringLiteral("%1: the block could not be drawn").arg(planned.fileName)
                                     : QStringLiteral("%1: the block could not be drawn: %2").arg(planned.fileName, whyNotDrawn);
    if (sharpness)
        plr_export::sharpenLuminance(rendered);
    const QByteArray data = plr_export::encodeJPEG(std::move(rendered), compression, planned.dpi);
    PLR_LOG_INFO(QStringLiteral("ExportLayout: exportImage data has length %1").arg(data.size()));
    const QString path = QDir(folder.path()).filePath(planned.fileName);
    // The folder moved or replaced (by a link, say) since the export began: what is left is not
    // written, and the export does not end as a success.
    if (!folder.isStillAtPath()) {
        PLR_LOG_ERROR(QStringLiteral("ExportLayout: %1 is no longer the folder the export began in; %2 not written")
                          .arg(folder.path(), planned.fileName));
        return QStringLiteral("%1: the folder was moved or replaced during the export").arg(planned.fileName);
    }
    platform::Error error;
    // Nameless until whole: a kill never leaves half a file (or a temporary) in the user's folder.
    const bool ok = !data.isEmpty() && folder.writeFileWhole(planned.fileName, data, &error);
    PLR_LOG_INFO(QStringLiteral("ExportLayout: Writing exported image to %1 %2.").arg(path, ok ? QStringLiteral("succeeded") : QStringLiteral("failed")));
    if (ok)
        return {};
    return QStringLiteral("%1: %2").arg(planned.fileName, data.isEmpty() ? QStringLiteral("the picture could not be encoded") : error.localizedDescription());
}

// What a block's photos hold from the start of their decoding until the block is drawn: each
// photo as it is decoded (the picture and a few rows; a format that is decoded whole and then
// scaled, more), at least the picture drawn.
qint64 photoBytes(const PlannedBlock& planned)
{
    if (!planned.block)
        return 0;
    qint64 bytes = 0;
    for (const PLRExportRenderer::PictureRequest& request : planned.pictures)
        bytes += std::max(plr_image::decodeBytesAtSize(request.path, request.size), qint64(request.size.width()) * request.size.height() * 4);
    return bytes;
}

// What a block's drawing holds from just before it is drawn until its file is written: the
// drawing and the JPEG made of it (an eighth of the drawing at most).
qint64 drawingBytes(const PlannedBlock& planned)
{
    return planned.block ? planned.renderBytes + planned.renderBytes / 8 : 0;
}

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
    // Photos are decoded ahead of the drawing (which takes turns on the main thread) and written
    // behind it, on the pool's threads. How many blocks are in flight is bounded by the memory
    // they hold, not by their count (see MemoryGate): a block of a portrait or of several photos
    // weighs more. A block's photos count from the start of their decoding until it is drawn, its
    // drawing from just before it is drawn until its file is written.
    const int threads = std::max(1, pool.maxThreadCount());
    auto gate = std::make_shared<plr_export::MemoryGate>(memoryBudget);
    // A task's end, marked before the thread is woken (its future reads finished a moment later).
    using Ended = std::shared_ptr<std::atomic_bool>;
    struct Pending {
        qint64 number;
        QFuture<QString> write;   // not started for a skipped block
        bool exported;
        Ended ended;
    };
    std::deque<Pending> pending;
    struct Decoded {
        PLRExportRenderer::Pictures pictures;
        QStringList unreadable;
    };
    std::deque<QFuture<Decoded>> decoded;
    std::deque<Ended> decodedEnded;
    std::deque<qint64> decodedBytes;
    int nextDecode = 0;
    // Wakes this thread whenever a decoding or a write ends (memory may have been given back).
    struct Wake {
        std::mutex mutex;
        std::condition_variable changed;
        quint64 ended = 0;
        void signal()
        {
            {
                std::lock_guard lock(mutex);
                ++ended;
            }
            changed.notify_all();
        }
    };
    auto wake = std::make_shared<Wake>();

    auto reportProgress = [this](qint64 number) {
        if (progress)
            platform::dispatchMainSync([this, number] { progress(number, total); });
    };
    auto finishOldest = [&] {
        Pending done = std::move(pending.front());
        pending.pop_front();
        if (done.exported) {
            const QString failure = done.write.result();
            if (failure.isEmpty())
                ++written;
            else
                failures.append(failure);
        }
        reportProgress(done.number);
    };
    // Progress for the writes done so far, in order.
    auto finishDone = [&] {
        while (!pending.empty() && (!pending.front().exported || pending.front().ended->load()))
            finishOldest();
    };
    // Starts decoding the photos of the blocks after `current` while the gate lets them (and no
    // more than the threads can work on); the current block's are always started, once the
    // writes behind it have made room or there are none left.
    auto startDecodes = [&](int current) {
        while (nextDecode < blocks.size() && nextDecode <= current + threads) {
            const qint64 bytes = photoBytes(blocks[nextDecode]);
            if (nextDecode > current) {
                // Room is left for two drawings: one written while the next is drawn.
                qint64 largestDrawing = 0;
                for (int k = current; k <= nextDecode; ++k)
                    largestDrawing = std::max(largestDrawing, drawingBytes(blocks[k]));
                if (!gate->admitsPhotosAhead(bytes, 2 * largestDrawing))
                    return;
            } else {
                while (!pending.empty() && !gate->admits(bytes))
                    finishOldest();
            }
            gate->takePhotos(bytes);
            decodedBytes.push_back(bytes);
            const QList<PLRExportRenderer::PictureRequest> requests = blocks[nextDecode].pictures;
            auto ended = std::make_shared<std::atomic_bool>(false);
            decodedEnded.push_back(ended);
            decoded.push_back(QtConcurrent::run(&pool, [requests, wake, ended] {
                Decoded result;
                result.pictures = PLRExportRenderer::preparePictures(requests, false, &result.unreadable);
                *ended = true;
                wake->signal();
                return result;
            }));
            ++nextDecode;
        }
    };
    // A write that gives its drawing's memory back when it is done.
    auto startWrite = [&](qint64 number, qint64 bytes, std::function<QString()> work) {
        auto ended = std::make_shared<std::atomic_bool>(false);
        pending.push_back({number, QtConcurrent::run(&pool, [work = std::move(work), gate, bytes, wake, ended] {
                               const QString failure = work();
                               gate->give(bytes);
                               *ended = true;
                               wake->signal();
                               return failure;
                           }),
                           true, ended});
    };

    // Until `ready` holds: what ends meanwhile is reported, and the memory it gives back lets
    // more photos start decoding.
    auto waitFor = [&](int current, const std::function<bool()>& ready) {
        while (true) {
            quint64 seen = 0;
            {
                std::lock_guard lock(wake->mutex);
                seen = wake->ended;
            }
            finishDone();
            startDecodes(current);
            if (ready())
                return;
            std::unique_lock lock(wake->mutex);
            wake->changed.wait(lock, [&] { return wake->ended != seen; });
        }
    };

    for (int i = 0; i < blocks.size(); ++i) {
        waitFor(i, [&] { return decodedEnded.front()->load(); });
        QFuture<Decoded> pictures = std::move(decoded.front());
        decoded.pop_front();
        decodedEnded.pop_front();
        const qint64 bytes = decodedBytes.front();
        decodedBytes.pop_front();
        const PlannedBlock& planned = blocks[i];
        if (!planned.block) {
            gate->photosDrawn(bytes);
            pending.push_back({planned.number, QFuture<QString>(), false, {}});
            continue;
        }
        Decoded ready = pictures.result();
        pictures = QFuture<Decoded>();   // the pictures are held once, here
        if (!ready.unreadable.isEmpty()) {
            // A photo that stopped being readable since the export was checked: the block is
            // not written without it.
            const QString failure = QStringLiteral("%1: not written, %2").arg(planned.fileName, ready.unreadable.join(QStringLiteral(", ")));
            ready = Decoded();
            gate->photosDrawn(bytes);
            startWrite(planned.number, 0, [failure] { return failure; });
            continue;
        }
        // The drawing's memory: once the writes behind have made room (the photos decoded ahead
        // always leave it).
        const qint64 drawing = drawingBytes(planned);
        waitFor(i, [&] { return gate->admits(drawing) || pending.empty(); });
        gate->takeDrawing(drawing);
        // The picture is made (its memory taken and filled) here; the main thread draws.
        QImage rendered = renderer->blankPicture(planned.renderSize);
        QString whyNotDrawn;
        platform::dispatchMainSync([&] {
            PLR_LOG_INFO(QStringLiteral("ExportLayout: Exporting %1 for block %2").arg(planned.fileName, describe(*planned.block)));
            rendered = renderer->renderBlock(planned.block, pixelWidth, ready.pictures, &whyNotDrawn, std::move(rendered));
        });
        ready = Decoded();   // drawn: the decoded photos go, and their memory with them
        gate->photosDrawn(bytes);
        auto image = std::make_shared<QImage>(std::move(rendered));
        startWrite(planned.number, drawing, [image, whyNotDrawn, planned, into = directory, factor = compression, sharpen = sharpness] {
            QImage picture = std::move(*image);
            return writeBlock(std::move(picture), whyNotDrawn, planned, *into, factor, sharpen);
        });
        while (pending.size() > size_t(threads))
            finishOldest();
    }
    while (!pending.empty())
        finishOldest();
    peakInFlight = gate->peak();
    g_lastPeakInFlight = peakInFlight;
    PLR_LOG_INFO(QStringLiteral("ExportLayout: at most %1 MiB in flight (budget %2 MiB)")
                     .arg(double(peakInFlight) / (1024.0 * 1024.0), 0, 'f', 1)
                     .arg(double(memoryBudget) / (1024.0 * 1024.0), 0, 'f', 1));
}

QString unusablePhotosText(const QStringList& problems);

void LayoutExportJob::finish()
{
    renderer.reset();
    if (!unusable.isEmpty()) {
        if (completion)
            completion(false, unusablePhotosText(unusable));
        return;
    }
    PLRDefaults::incrementExportLayoutCount();
    QString failure;
    if (!failures.isEmpty()) {
        failure = QStringLiteral("%1 of %2 pictures could not be written to %3.\n%4")
                      .arg(failures.size())
                      .arg(failures.size() + written)
                      .arg(folder, failures.mid(0, 5).join(QLatin1Char('\n')));
        PLR_LOG_ERROR(QStringLiteral("ExportLayout: %1").arg(failure));
    }
    if (completion)
        completion(failures.isEmpty(), failure);
}

// What the user is told when photos of an export are missing or unreadable.
QString unusablePhotosText(const QStringList& problems)
{
    const qsizetype shown = 20;
    QString list = problems.mid(0, shown).join(QLatin1Char('\n'));
    if (problems.size() > shown)
        list += QStringLiteral("\n... and %1 more").arg(problems.size() - shown);
    const bool one = problems.size() == 1;
    return QStringLiteral("Nothing was exported: %1 of the post cannot be drawn.\n%2\n\n%3")
        .arg(one ? QStringLiteral("a photo") : QStringLiteral("%1 photos").arg(problems.size()), list,
             one ? QStringLiteral("Put a whole copy of it in the post's folder, or remove it from the layout, then export again.")
                 : QStringLiteral("Put whole copies of them in the post's folder, or remove them from the layout, then export again."));
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
    job->pool.setMaxThreadCount(parallelism());

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
            if (const PLRBlockView* view = job->renderer->blockView(&block)) {
                planned.renderSize = PLRExportRenderer::renderSize(view->bounds().size(), job->pixelWidth);
                planned.renderBytes = qint64(planned.renderSize.width()) * planned.renderSize.height() * 4;
            }
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
