#pragma once

#include "layout/section_layout_handlers/PLRSectionLayoutHandler.h"
#include "store/model/PLRLayoutDocument.h"

#include <QHash>
#include <QList>
#include <QRectF>
#include <QWidget>

#include <memory>
#include <vector>

class PLRBlockView;
class PLRLayoutView;
class PLRLayoutViewProxy;

// The view of one section: the block views of its blocks, laid out by the section's layout
// handler. The layout manager (through the layout-view proxy) adds, inserts, removes and swaps
// block views as it edits the section; every layout also checks the views against the
// document and mends any difference, so the views always show the section as it stands.
class PLRSectionView : public QWidget {
    Q_OBJECT
public:
    PLRSectionView(PLRSection* section, PLRLayoutView* layoutView);
    ~PLRSectionView() override;

    PLRSection* representedSection() const { return m_section; }
    PLRLayoutView* layoutView() const { return m_layoutView; }
    PLRLayoutViewProxy* layoutViewProxy() const;
    // The views of the section's top-level blocks, in order.
    const QList<PLRBlockView*>& blockViews() const { return m_topLevel; }
    // The view of any block of the section; null when there is none.
    PLRBlockView* blockViewForBlock(const PLRBlock* block) const { return m_views.value(block); }
    int blockViewCount() const { return int(m_views.size()); }

    // In the layout view's coordinates.
    QRectF frame() const { return m_frame; }
    QRectF bounds() const { return QRectF(QPointF(0, 0), m_frame.size()); }

    // --- Block views (the section's document has already changed) ----------------------------
    // A view (with views of its sub-blocks) for the block, at the end of / at the index of the
    // list of `inBlock`'s view (the top level when null).
    PLRBlockView* addBlockView(PLRBlock* block, PLRBlock* inBlock);
    PLRBlockView* insertBlockView(PLRBlock* block, int index, PLRBlock* inBlock);
    // Destroys the block's view and the views below it.
    void removeBlockView(const PLRBlock* block);
    // Puts a view of `newBlock` where the view of `oldBlock` is; views of blocks found inside
    // `newBlock` are moved, not made again. With the same block, rebuilds its views in place.
    PLRBlockView* swapBlockView(const PLRBlock* oldBlock, PLRBlock* newBlock);
    // Makes every block view again.
    void reloadBlockViews();

    // --- Layout -----------------------------------------------------------------------------
    void setNeedsLayout();
    bool needsLayout() const { return m_needsLayout; }
    // Solves the section at the width (when anything changed since the last time) and mends
    // the block views; returns the section's height.
    double layoutAtWidth(double width, double padding);
    // Places the section at its frame in the layout view, and every block view in it.
    void setFrameInLayout(const QRectF& frame);
    const plr::layout::SectionFrames& frames() const { return m_frames; }
    // The union of the old and new frames (layout view coordinates) of the blocks that moved or
    // changed size in the last placement.
    QRectF lastChangedRect() const { return m_lastChangedRect; }
    PLRSectionLayoutHandler* layoutHandler() const { return m_handler.get(); }

    // Draws the part `rect` (in the section's bounds coordinates) of every block.
    void displayRectIgnoringOpacity(const QRectF& rect, QPainter* painter);

    // A block view going away (its destructor).
    void forgetBlockView(PLRBlockView* view);

private:
    PLRBlockView* buildView(PLRBlock* block, PLRBlockView* parentView);
    QList<PLRBlockView*>& listOf(PLRBlockView* parentView);
    void detach(PLRBlockView* view);
    void reconcile();
    plr::layout::SolverEnvironment environment();

    PLRSection* m_section;
    PLRLayoutView* m_layoutView;
    std::unique_ptr<PLRSectionLayoutHandler> m_handler;
    QHash<const PLRBlock*, PLRBlockView*> m_views;
    QList<PLRBlockView*> m_topLevel;
    plr::layout::SectionFrames m_frames;
    PLRContentHeightCache m_contentHeights;
    QRectF m_frame;
    QRectF m_lastChangedRect;
    std::vector<PLRBlockView*> m_viewOrder;   // the views of m_frames' entries, valid until the next change
    double m_solvedWidth = -1.0;
    double m_solvedPadding = -1.0;
    bool m_needsLayout = true;
    bool m_needsPlacement = true;
    bool m_destroying = false;
    quint64 m_generation = 0;
};
