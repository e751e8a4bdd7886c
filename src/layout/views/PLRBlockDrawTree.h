#pragma once

#include "layout/block_draw_handlers/PLRBlockDrawHandler.h"
#include "store/model/PLRLayoutDocument.h"

#include <QList>
#include <QRectF>

class PLRBlockView;
class QPainter;

// A block as its view places it (its frame, and its sub-blocks' frames for a container), taken
// from the views on the main thread. Drawing it reads only the tree, the blocks it points to and
// a draw context, never a view: it runs on any thread, and it is how the views draw themselves
// too, so a block looks the same on the canvas, in previews and in exports.
struct PLRBlockDrawTree {
    const PLRBlock* block = nullptr;
    QRectF frame;                        // in the parent's coordinates
    QList<PLRBlockDrawTree> subBlocks;   // a container's, in order

    QRectF bounds() const { return QRectF(QPointF(0, 0), frame.size()); }

    // The view's block and frame, and its sub-block views' (main thread).
    static PLRBlockDrawTree ofView(const PLRBlockView& view);

    // Draws the part `rect` (in the block's own coordinates) of the block and its sub-blocks
    // into the painter, whose coordinates are the block's own. No background, no decorations.
    void draw(QPainter& painter, const QRectF& rect, const PLRBlockDrawContext& context) const;
};
