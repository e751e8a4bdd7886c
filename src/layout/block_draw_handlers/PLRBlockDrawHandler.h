#pragma once

#include "store/model/PLRLayoutDocument.h"

#include <QRectF>

#include <memory>

class PLRBlockView;
class PLRLayoutImageProvider;
class PLRLayoutManager;
class QPainter;

// Draws one block of a kind into the rectangle its view gives it. One handler per block view
// (none for containers, whose sub-blocks draw themselves). Handlers draw only from the block,
// the layout manager's flags and the photos of its image provider, so the same drawing serves
// the canvas, exports and drag images.
class PLRBlockDrawHandler {
public:
    explicit PLRBlockDrawHandler(PLRBlockView* view) : m_view(view) {}
    PLRBlockDrawHandler(const PLRBlockDrawHandler&) = delete;
    PLRBlockDrawHandler& operator=(const PLRBlockDrawHandler&) = delete;
    virtual ~PLRBlockDrawHandler() = default;

    // The handler for the view's block kind; null for containers.
    static std::unique_ptr<PLRBlockDrawHandler> handlerForBlockView(PLRBlockView* view);
    // The height the content of a text or download-button block needs at that block width
    // (0 for other kinds).
    static double contentHeightForBlock(const PLRBlock& block, double width);

    PLRBlockView* blockView() const { return m_view; }
    const PLRBlock* block() const;
    // The kind code this handler draws (plr::BlockKind).
    virtual int blockKind() const = 0;

    // Draws the block into `bounds` (the block's whole rectangle in the painter's coordinates).
    virtual void draw(QPainter& painter, const QRectF& bounds) = 0;

    // Marks the block's drawing for renewal: cached drawing state is dropped and the view is
    // painted again.
    void invalidateDraw();

protected:
    virtual void clearDrawCache() {}
    PLRLayoutManager* layoutManager() const;
    PLRLayoutImageProvider* imageProvider() const;
    // Whether the block is drawn on the editing canvas (its view belongs to the live view of
    // the layout and no export is running). Marks for the editor (hints, hover states, keyword
    // badges) appear only then: never in exports, collages, previews or home tiles.
    bool drawsCanvasMarks() const;

private:
    PLRBlockView* m_view;
};
