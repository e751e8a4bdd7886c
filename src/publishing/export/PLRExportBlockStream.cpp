#include "publishing/export/PLRExportBlockStream.h"

#include "publishing/export/PLRExportImaging.h"
#include "publishing/export/PLRExportJpegStream.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Resets.h"
#include "store/persistance-store/source/PLRPhotoDecoder.h"

#include <QColorSpace>
#include <QDir>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace plr_export {

namespace {

// The fewest rows drawn at once while photos are decoded (a band is drawn through the whole
// block's drawing, clipped): fewer bands, less drawing work; more, an earlier hand-over.
constexpr int kBandRows = 32;

// The priority of the drawing tasks in the pool: ahead of writing tasks still waiting for a
// thread, which could otherwise wait for rows their drawing task cannot draw without one.
constexpr int kDrawingPriority = 1;

std::mutex g_hookMutex;
StreamHook g_streamHook;
std::atomic_bool g_hooked = false;   // read on every row: no lock while there is no hook
const platform::resets::Joined g_hookReset{[] { setStreamHook({}); }};

void tell(const QString& fileName, StreamStep step, int rows)
{
    if (!g_hooked.load(std::memory_order_relaxed))
        return;
    StreamHook hook;
    {
        std::lock_guard lock(g_hookMutex);
        hook = g_streamHook;
    }
    if (hook)
        hook(fileName, step, rows);
}

// What the two tasks of a block share. Owned by both: it (and the picture in it) goes with the
// last of them.
struct Stream {
    BlockWork work;
    std::function<void()> drawn;
    std::function<void(const BlockResult&)> ended;
    std::unique_ptr<MemoryGate::Hold> drawingHold;
    std::unique_ptr<MemoryGate::Hold> writingHold;

    std::mutex mutex;
    std::condition_variable more;
    // Set before the writing task starts, then read only.
    const uchar* bits = nullptr;
    qsizetype bytesPerLine = 0;
    QSize size;
    // Guarded by the mutex.
    int rows = 0;                 // the picture's top rows that are final
    bool drawingFailed = false;   // no more rows come
    bool writingStopped = false;  // the writer gave up: nothing more needs drawing
    // The block's picture once the drawing lets go of it (drawn whole, or given up half way),
    // kept until the writer is done with its rows.
    QImage picture;
    BlockResult result;
    int tasks = 1;                // the block's tasks still running

    bool writerStopped()
    {
        std::lock_guard lock(mutex);
        return writingStopped;
    }
};

// One of the block's tasks is done; the last one ends the block.
void taskDone(const std::shared_ptr<Stream>& stream)
{
    BlockResult result;
    {
        std::lock_guard lock(stream->mutex);
        if (--stream->tasks > 0)
            return;
        result = stream->result;
        stream->picture = QImage();   // no task reads it any more
    }
    stream->writingHold.reset();   // whatever is left goes back
    stream->ended(result);
}

// Sharpens, encodes and writes the block's rows as the drawing task hands them over; the
// failure, or nothing (also when it stopped because the drawing failed: that failure is the
// block's).
QString writeRows(Stream& stream)
{
    const BlockWork& work = stream.work;
    const int width = stream.size.width(), height = stream.size.height();
    const uchar* bits = stream.bits;
    const qsizetype stride = stream.bytesPerLine;
    const auto row = [bits, stride](int y) { return reinterpret_cast<const QRgb*>(bits + qsizetype(y) * stride); };
    JpegRowEncoder encoder;
    if (!encoder.start(width, height, work.compression, work.dpi))
        return QStringLiteral("%1: the picture could not be encoded: %2").arg(work.fileName, encoder.error());
    LumaSharpener sharpener(width, height, false, work.sharpness ? kSharpeningLevel : 0.0);
    std::vector<QRgb> sharpened(work.sharpness ? size_t(width) : 0);
    int known = 0;
    for (int y = 0; y < height; ++y) {
        const int needed = work.sharpness ? sharpener.rowsNeededFor(y) : y + 1;
        if (needed > known) {
            std::unique_lock lock(stream.mutex);
            stream.more.wait(lock, [&] { return stream.rows >= needed || stream.drawingFailed; });
            if (stream.drawingFailed)
                return {};
            known = stream.rows;
        }
        const QRgb* line = row(y);
        if (work.sharpness) {
            sharpener.sharpenRow(y, row, sharpened.data());
            line = sharpened.data();
        }
        if (!encoder.addRow(line))
            break;
        tell(work.fileName, StreamStep::RowEncoded, y + 1);
    }
    const QByteArray data = encoder.finish();
    {
        // Every row is in: the drawing task handed its picture over before its last rows, and
        // touches it no more.
        std::lock_guard lock(stream.mutex);
        stream.picture = QImage();
    }
    stream.writingHold->keep(data.capacity());   // the picture is gone
    PLR_LOG_INFO(QStringLiteral("ExportLayout: exportImage data has length %1").arg(data.size()));
    const platform::files::Directory& folder = *work.folder;
    const QString path = QDir(folder.path()).filePath(work.fileName);
    // The folder moved or replaced (by a link, say) since the export began: what is left is not
    // written, and the export does not end as a success.
    if (!folder.isStillAtPath()) {
        PLR_LOG_ERROR(QStringLiteral("ExportLayout: %1 is no longer the folder the export began in; %2 not written")
                          .arg(folder.path(), work.fileName));
        return QStringLiteral("%1: the folder was moved or replaced during the export").arg(work.fileName);
    }
    platform::Error error;
    // Nameless until whole: a kill never leaves half a file (or a temporary) in the user's folder.
    const bool ok = !data.isEmpty() && folder.writeFileWhole(work.fileName, data, &error);
    PLR_LOG_INFO(QStringLiteral("ExportLayout: Writing exported image to %1 %2.").arg(path, ok ? QStringLiteral("succeeded") : QStringLiteral("failed")));
    if (ok)
        return {};
    return QStringLiteral("%1: %2").arg(work.fileName, data.isEmpty() ? QStringLiteral("the picture could not be encoded") : error.localizedDescription());
}

void startWriting(QThreadPool& pool, const std::shared_ptr<Stream>& stream)
{
    {
        std::lock_guard lock(stream->mutex);
        ++stream->tasks;
    }
    pool.start([stream] {
        const QString failure = writeRows(*stream);
        if (!failure.isEmpty()) {
            std::lock_guard lock(stream->mutex);
            stream->writingStopped = true;
            if (stream->result.failure.isEmpty())
                stream->result.failure = failure;
        }
        tell(stream->work.fileName, StreamStep::WritingEnded, 0);
        taskDone(stream);
    });
}

// Decodes the block's photos and draws it band by band, handing the rows over; starts the
// writing task once there are rows to write.
void drawRows(QThreadPool& pool, const std::shared_ptr<Stream>& shared)
{
    Stream& stream = *shared;
    const BlockWork& work = stream.work;
    PLR_LOG_INFO(QStringLiteral("ExportLayout: Exporting %1 for block %2").arg(work.fileName, work.description));
    QStringList awaited;
    for (const PLRExportRenderer::PictureRequest& request : *work.pictures)
        awaited.append(request.identifier);
    QString whyNotDrawn;
    // Gone (with all it holds but the picture) as soon as the drawing ends.
    std::optional<PLRExportRenderer::BandDrawing> drawing;
    drawing.emplace(*work.renderer, *work.tree, work.pixelWidth, awaited, &whyNotDrawn);
    bool writing = false;
    // The rows drawn are final: told to the writing task (started with the first ones). The
    // last rows are told only once the picture is handed over.
    const auto handOver = [&](int rows) {
        {
            std::lock_guard lock(stream.mutex);
            if (rows <= stream.rows)
                return;
            stream.rows = rows;
        }
        stream.more.notify_all();
        if (!writing) {
            writing = true;
            startWriting(pool, shared);
        }
        tell(work.fileName, StreamStep::RowsHandedOver, rows);
    };
    if (!drawing->isNull()) {
        stream.bits = drawing->constBits();
        stream.bytesPerLine = drawing->bytesPerLine();
        stream.size = drawing->size();
    }
    const int lastRows = std::max(0, drawing->size().height() - 1);
    const auto drawWhatCan = [&](bool anyBand) {
        const int rows = drawing->drawableRows();
        if (rows > drawing->rowsDrawn() && (anyBand || rows >= drawing->rowsDrawn() + kBandRows) && !stream.writerStopped()) {
            drawing->drawTo(rows);
            handOver(std::min(rows, lastRows));
        }
    };
    QStringList notDrawn;     // the photos the block cannot be drawn without, "name: why"
    QStringList unreadable;   // those that cannot be read (the others were replaced meanwhile)
    QList<QImage> pictures;   // decoded, kept until drawn
    for (const PLRExportRenderer::PictureRequest& request : *work.pictures) {
        if (stream.writerStopped())
            break;   // the block is given up: its other photos are not needed
        QImage partial;
        plr_image::RowsDecoded rowsDecoded;
        if (!drawing->isNull() && notDrawn.isEmpty())
            rowsDecoded = [&](const plr_image::DecodedRows& rows) {
                if (partial.isNull()) {
                    // The picture as it is decoded, read where the decoder writes it.
                    partial = QImage(rows.bits, rows.size.width(), rows.size.height(), rows.bytesPerLine, QImage::Format_RGB32);
                    partial.setColorSpace(QColorSpace(QColorSpace::SRgb));
                }
                drawing->setPicture(request.identifier, partial, rows.rows);
                drawWhatCan(false);
            };
        QString why;
        bool replaced = false;
        const QImage picture = PLRExportRenderer::preparePicture(request, &why, rowsDecoded, &replaced);
        if (picture.isNull()) {
            // A photo that stopped being readable since the export was checked (also half way
            // through its decode, its first rows drawn and handed over already), or that another
            // photo replaced: the block is not written without it (its other photos are decoded
            // still, to name each that fails).
            notDrawn.append(why);
            if (!replaced)
                unreadable.append(why);
            continue;
        }
        if (drawing->isNull() || !notDrawn.isEmpty())
            continue;
        pictures.append(picture);
        drawing->setPicture(request.identifier, picture, picture.height());
        drawWhatCan(true);
    }
    QString failure;
    if (!notDrawn.isEmpty())
        failure = QStringLiteral("%1: not written, %2").arg(work.fileName, notDrawn.join(QStringLiteral(", ")));
    else if (drawing->isNull())
        failure = whyNotDrawn.isEmpty() ? QStringLiteral("%1: the block could not be drawn").arg(work.fileName)
                                        : QStringLiteral("%1: the block could not be drawn: %2").arg(work.fileName, whyNotDrawn);
    const bool drawWhole = failure.isEmpty() && !stream.writerStopped();
    // Drawn (or given up): the decoded photos go, and their memory with them. A drawing given up
    // is not drawn on (what a failed decode held is gone), but its picture stays with the block:
    // the writer may be reading the rows handed over.
    QImage picture = drawWhole ? drawing->finish() : drawing->release();
    drawing.reset();
    pictures.clear();
    stream.drawingHold.reset();
    stream.drawn();
    const int height = picture.height();
    {
        std::lock_guard lock(stream.mutex);
        stream.picture = std::move(picture);
        if (!failure.isEmpty()) {
            stream.drawingFailed = true;
            // The drawing's reason is the block's: it names the photos.
            stream.result.failure = failure;
            stream.result.unusable = unreadable;
        }
    }
    stream.more.notify_all();
    tell(work.fileName, StreamStep::DrawingEnded, 0);
    if (drawWhole)
        handOver(height);
    taskDone(shared);
}

} // namespace

BlockMemory blockMemory(const QList<PLRExportRenderer::PictureRequest>& pictures, const QSize& renderSize, bool sharpness)
{
    BlockMemory memory;
    for (const PLRExportRenderer::PictureRequest& request : pictures) {
        const qint64 picture = qint64(request.size.width()) * request.size.height() * 4;
        memory.pictures += picture;
        memory.decoding = std::max(memory.decoding, plr_image::decodeBytesAtSize(request.path, request.size) - picture);
    }
    const qint64 width = renderSize.width();
    memory.drawing = width * renderSize.height() * 4;
    // Two rings of float rows as tall as the blur, two rows, and the sharpened row.
    memory.sharpening = sharpness ? LumaSharpener::bytesFor(int(width)) + width * 4 : 0;
    memory.encoding = JpegRowEncoder::bytesFor(int(width));
    // The JPEG is at most an eighth of the picture at the qualities offered; the buffer it grows
    // in may be twice what it holds.
    memory.jpeg = memory.drawing / 4;
    return memory;
}

void startBlock(QThreadPool& pool, const BlockWork& work, const BlockMemory& memory, const std::shared_ptr<MemoryGate>& gate,
                std::function<void()> drawn, std::function<void(const BlockResult& result)> ended)
{
    auto stream = std::make_shared<Stream>();
    stream->work = work;
    stream->drawn = std::move(drawn);
    stream->ended = std::move(ended);
    stream->drawingHold = std::make_unique<MemoryGate::Hold>(gate, memory.drawingSide());
    stream->writingHold = std::make_unique<MemoryGate::Hold>(gate, memory.writingSide());
    pool.start([&pool, stream] { drawRows(pool, stream); }, kDrawingPriority);
}

void setStreamHook(StreamHook hook)
{
    std::lock_guard lock(g_hookMutex);
    g_hooked = bool(hook);
    g_streamHook = std::move(hook);
}

} // namespace plr_export
