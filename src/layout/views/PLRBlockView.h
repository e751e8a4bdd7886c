#pragma once

#include "layout/block_draw_handlers/PLRBlockDrawHandler.h"
#include "layout/views/PLRBlockViewInteractionHandler.h"
#include "store/model/PLRLayoutDocument.h"

#include <QImage>
#include <QList>
#include <QRectF>
#include <QWidget>

#include <memory>

class PLRLayoutManager;
class PLRLayoutView;
class PLRLayoutViewProxy;
class PLRSectionView;

// The view of one block. A container's view holds the views of its sub-blocks (as child
// widgets, in order); any other block is drawn by its draw handler. Frames are exact
// (fractional) rectangles, origin top-left, y down; the widget geometry is the frame rounded
// out to whole pixels, and on-screen painting puts the drawing at the exact frame.
//
// Block views are made, placed and destroyed by their section view; everyone else reads them.
class PLRBlockView : public QWidget {
    Q_OBJECT
public:
    PLRBlockView(PLRBlock* block, PLRSectionView* sectionView, QWidget* parent);
    ~PLRBlockView() override;

    PLRBlock* representedBlock() const { return m_block; }
    int blockKind() const;
    PLRSectionView* sectionView() const { return m_sectionView; }
    PLRLayoutView* layoutView() const;
    PLRLayoutViewProxy* layoutViewProxy() const;
    PLRLayoutManager* layoutManager() const;
    // The view of the container holding this block; null at the section's top level.
    PLRBlockView* parentBlockView() const { return m_parentBlockView; }
    // The views of a container's sub-blocks, in order (empty for other blocks).
    const QList<PLRBlockView*>& subBlocks() const { return m_subBlocks; }

    // In the parent's coordinates (the parent block view, or the section view at the top level).
    QRectF frame() const { return m_frame; }
    QRectF frameInSection() const { return m_frameInSection; }
    QRectF frameInLayoutView() const;
    QRectF bounds() const { return QRectF(QPointF(0, 0), m_frame.size()); }

    // Null for containers.
    PLRBlockDrawHandler* drawHandler() const { return m_drawHandler.get(); }
    PLRBlockViewInteractionHandler* interactionHandler() const { return m_interactionHandler.get(); }
    void setInteractionHandler(std::unique_ptr<PLRBlockViewInteractionHandler> handler);

    // Draws the part `rect` (in the view's bounds coordinates) of the block and its sub-blocks
    // into the painter, whose coordinates are the view's own. No background, no decorations.
    void displayRectIgnoringOpacity(const QRectF& rect, QPainter* painter);
    // The block drawn into a transparent image `width` pixels wide (0: the view's own width),
    // scaled evenly; null when the block has no size.
    QImage renderImage(double width = 0.0);

    // --- For the section view ---------------------------------------------------------------
    void setFrames(const QRectF& frameInParent, const QRectF& frameInSection);
    void setParentBlockView(PLRBlockView* parent) { m_parentBlockView = parent; }
    void setSubBlocks(const QList<PLRBlockView*>& views) { m_subBlocks = views; }
    QList<PLRBlockView*>& mutableSubBlocks() { return m_subBlocks; }
    // Makes the draw handler again when the block's kind changed.
    void ensureDrawHandler();
    // Places the widget (whole pixels) for the section's exact origin in the layout view.
    void placeWidget(const QPointF& sectionOrigin, const QPoint& parentWidgetOrigin);
    QPoint widgetOriginInLayout() const { return m_widgetOriginInLayout; }
    // The exact frame in the layout view at the last placement (null before the first).
    QRectF placedRect() const { return m_placedRect; }
    quint64 generation = 0;   // the section view's bookkeeping

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PLRBlock* m_block;
    PLRSectionView* m_sectionView;
    PLRBlockView* m_parentBlockView = nullptr;
    QList<PLRBlockView*> m_subBlocks;
    QRectF m_frame;
    QRectF m_frameInSection;
    QPointF m_exactOriginInLayout;
    QPoint m_widgetOriginInLayout;
    QRectF m_placedRect;
    std::unique_ptr<PLRBlockDrawHandler> m_drawHandler;
    std::unique_ptr<PLRBlockViewInteractionHandler> m_interactionHandler;
};
