#pragma once

// One block of a layout export on its way from its photos to its file, streamed through two of
// the export pool's threads so that its steps overlap:
//   the drawing task ("export draw") decodes the block's photos at the size they are drawn and
//   draws the block a band of rows at a time, as soon as the photo rows a band shows are
//   decoded;
//   the writing task ("export write"), started once the first rows are drawn, sharpens the rows
//   drawn so far, encodes them into the JPEG as they come and writes the file (nameless until
//   whole) once the last row is in.
// The rows are handed over in the block's picture itself: the drawing task publishes how many
// of its top rows are final, the writing task reads only those. The picture stays with the
// block until both tasks are done, whichever ends first (a photo that fails half way through its
// decode ends the drawing while the writer still reads the rows it was given); a failure on
// either side stops the other, and the block then writes nothing. The file's bytes are those of
// drawing, sharpening and encoding the whole picture in turn.

#include "publishing/export/PLRExportMemoryGate.h"
#include "publishing/export/PLRExportRenderer.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QThreadPool;

namespace platform::files {
class Directory;
}

namespace plr_export {

// What one block holds while it is worked on (see MemoryGate). The drawing side holds the
// photos until the block is drawn; the writing side holds the block's picture, the rows being
// sharpened and encoded and the JPEG until the file is written. Both are taken when the block
// starts (its two tasks run at the same time) and each side gives its part back when it is done.
struct BlockMemory {
    qint64 pictures = 0;     // its photos, decoded at the size they are drawn
    qint64 decoding = 0;     // the most one photo's decoding holds beyond its picture (a
                             // progressive JPEG's whole coefficients); the photos are decoded in turn
    qint64 drawing = 0;      // the block's picture, the rows handed over in it
    qint64 sharpening = 0;   // the rows the sharpening keeps
    qint64 encoding = 0;     // the encoder's rows
    qint64 jpeg = 0;         // the JPEG as it grows, then until its file is written

    qint64 drawingSide() const { return pictures + decoding; }
    qint64 writingSide() const { return drawing + sharpening + encoding + jpeg; }
    qint64 peak() const { return drawingSide() + writingSide(); }
};

BlockMemory blockMemory(const QList<PLRExportRenderer::PictureRequest>& pictures, const QSize& renderSize, bool sharpness);

// A block to export, with what its tasks read (all of it outlives them).
struct BlockWork {
    const PLRExportRenderer* renderer = nullptr;
    const PLRBlockDrawTree* tree = nullptr;
    const QList<PLRExportRenderer::PictureRequest>* pictures = nullptr;
    QString fileName;
    QString description;   // for the log
    qint64 dpi = 0;
    std::shared_ptr<const platform::files::Directory> folder;
    double pixelWidth = 0.0;
    float compression = 0.0f;
    bool sharpness = false;
};

// What became of a block.
struct BlockResult {
    QString failure;          // why its file was not written; empty when it was
    QStringList unusable;     // its photos that could not be drawn whole, "name: why"
};

// Starts the block on the pool, taking its memory from the gate now. `drawn` is called (on a
// pool thread) when the drawing task is done and its thread about to be free; `ended` once,
// when both tasks are done (the file written, or the block given up), after `drawn` has
// returned: nothing of the block's work runs after it.
void startBlock(QThreadPool& pool, const BlockWork& work, const BlockMemory& memory, const std::shared_ptr<MemoryGate>& gate,
                std::function<void()> drawn, std::function<void(const BlockResult& result)> ended);

// The steps of a block's stream, told on the thread that takes them: rows handed to the writing
// task (drawing thread; `rows`: how many of the top rows the writer may read now), a row
// encoded (writing thread; `rows`: how many are), the drawing done or given up, its picture let
// go of (drawing thread), the writing done or given up (writing thread). Tests use it to change
// a photo, or hold one side, at that very moment; empty by default.
enum class StreamStep { RowsHandedOver, RowEncoded, DrawingEnded, WritingEnded };
using StreamHook = std::function<void(const QString& fileName, StreamStep step, int rows)>;
void setStreamHook(StreamHook hook);

} // namespace plr_export
