#pragma once

#include "layout/base/PLRLayoutManager.h"

#include <QList>
#include <QPointF>
#include <QRectF>

#include <memory>

class PLRLayoutView;
class PLRSectionView;

// Where dropped blocks go.
struct PLRDropZone {
    enum class Kind {
        None,          // nowhere: the drop is refused
        EmptyLayout,   // the layout has no block: into its (last) section, made when missing
        Section,       // into a gap of `section`: at `index` of the sub-blocks of the container
                       // `block`, or of the section's top-level blocks when `block` is null
        BesideBlock,   // beside `block`, on its `edge`
    };

    Kind kind = Kind::None;
    PLRSection* section = nullptr;
    int index = 0;
    PLRBlock* block = nullptr;
    Qt::Edge edge = Qt::LeftEdge;
    // Layout-view coordinates: the block's frame (BesideBlock), the gap's line (Section: no
    // height for a line across a column, no width for a line down a row) or the page
    // (EmptyLayout); what the drop indicator marks.
    QRectF targetRect;

    bool isValid() const { return kind != Kind::None; }
    bool operator==(const PLRDropZone&) const = default;
};

// The drag-and-drop rules of one kind of section. The canvas asks the handler of the section
// under the pointer for the drop zone there, and then has it insert the new blocks.
class PLRSectionInteractionHandler {
public:
    virtual ~PLRSectionInteractionHandler() = default;

    // The handler of a section's kind: stacked sections (and sections of no kind) have one;
    // other kinds are not edited on the canvas (null).
    static std::unique_ptr<PLRSectionInteractionHandler> handlerForSection(const PLRSection& section);

    // The zone at a point (layout-view coordinates) of the section's view; the point may lie
    // outside the view's frame (below the last section, in the padding between sections).
    virtual PLRDropZone dropZoneAtPoint(const PLRSectionView* sectionView, const QPointF& point) const = 0;

    // Inserts the blocks at the zone through the manager; the blocks placed (in order). Nothing
    // when the zone's block or section is no longer in the layout.
    virtual QList<PLRBlock*> insertBlocks(PLRLayoutManager* manager, PLRBlockPtrList blocks, const PLRDropZone& zone) const = 0;

    // The zone of a whole layout view at a point: the section under it (or the nearest), or
    // the empty layout.
    static PLRDropZone dropZoneInLayoutView(const PLRLayoutView* layoutView, const QPointF& point);
    // Whether the zone's section, and its block (the one it is beside, or the container of its
    // gap), are still in the manager's layout.
    static bool zoneIsInLayout(const PLRLayoutManager* manager, const PLRDropZone& zone);
    // Inserts through the handler of the zone's section (the empty layout's section is made
    // when the layout has none).
    static QList<PLRBlock*> insertBlocksAtZone(PLRLayoutManager* manager, PLRBlockPtrList blocks, const PLRDropZone& zone);
};

// A stacked section: its top-level blocks stand in a column; containers make rows and columns.
//  - over a block (not a container): the nearest of its four edges. Left and right put the new
//    blocks beside it in a row (its own row when its container is one, else a new row wrapping
//    it); top and bottom put them above or below it in a column (the section itself or its own
//    column, else a new column wrapping it);
//  - in the gap between two blocks of a row or of a column (at any depth): between those two,
//    in that row or column;
//  - elsewhere (between top-level blocks, around the section): between the top-level blocks,
//    at the nearest gap.
class PLRSectionInteractionHandler_Stacked : public PLRSectionInteractionHandler {
public:
    PLRDropZone dropZoneAtPoint(const PLRSectionView* sectionView, const QPointF& point) const override;
    QList<PLRBlock*> insertBlocks(PLRLayoutManager* manager, PLRBlockPtrList blocks, const PLRDropZone& zone) const override;
};
