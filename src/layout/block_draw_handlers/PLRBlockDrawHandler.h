#pragma once

#include "store/model/PLRLayoutDocument.h"

#include <QRectF>

#include <memory>

class PLRBlockView;
class PLRLayoutImageProvider;
class PLRLayoutManager;
class QPainter;

// What drawing a block reads besides the block itself: the photos, and the state of the editor
// it is drawn for. It is taken from the views (on the main thread) or made by whoever draws
// without views; the drawing reads nothing else, so that it runs on any thread when the provider
// does (an export's workers draw blocks side by side into their own pictures).
struct PLRBlockDrawContext {
    const PLRLayoutImageProvider* images = nullptr;
    // Full-size pictures, no badges (the layout is being exported).
    bool exporting = false;
    // The photos' keywords as badges (only where canvas marks are drawn).
    bool keywordOverlay = false;
    // Drawn on the editing canvas: hints, hover states and badges appear (never in exports,
    // collages, previews or home tiles).
    bool canvasMarks = false;
    const PLRBlock* hoverBlock = nullptr;
    const PLRBlock* editBlock = nullptr;
};

// Draws one block of a kind into the rectangle its view gives it. One handler per block view
// (none for containers, whose sub-blocks draw themselves). Handlers draw only from the block and
// a draw context (the layout manager's flags and the photos of its image provider), so the same
// drawing serves the canvas, exports, previews and drag images, with or without views.
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

    // Draws the block into `bounds` (the block's whole rectangle in the painter's coordinates),
    // with the context of its view.
    void draw(QPainter& painter, const QRectF& bounds);

    // The context a view's drawing reads: its layout manager's flags and image provider, canvas
    // marks when the view belongs to the live view and no export runs. Main thread.
    static PLRBlockDrawContext contextForView(const PLRBlockView* view);
    // Draws a block of any kind but a container (which draws nothing itself) into `bounds`. Reads
    // only the block and the context: any thread, when the context's provider allows it.
    static void drawBlock(QPainter& painter, const QRectF& bounds, const PLRBlock& block, const PLRBlockDrawContext& context);

    // Marks the block's drawing for renewal: cached drawing state is dropped and the view is
    // painted again.
    void invalidateDraw();

protected:
    virtual void clearDrawCache() {}
    PLRLayoutManager* layoutManager() const;
    PLRLayoutImageProvider* imageProvider() const;

private:
    PLRBlockView* m_view;
};
