#include "canvas/interaction/section_interaction_handlers/PLRSectionInteractionHandler.h"

#include "layout/base/PLRLayoutTree.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRSectionView.h"
#include "platform/Log.h"

#include <algorithm>

namespace {

// The zone on the nearest of a block's four edges.
PLRDropZone besideLeaf(const PLRBlockView* leaf, const QPointF& point)
{
    const QRectF frame = leaf->frameInLayoutView();
    const double nx = frame.width() > 0.0 ? (point.x() - frame.left()) / frame.width() : 0.5;
    const double ny = frame.height() > 0.0 ? (point.y() - frame.top()) / frame.height() : 0.5;
    const std::pair<double, Qt::Edge> edges[] = {
        {nx, Qt::LeftEdge}, {1.0 - nx, Qt::RightEdge}, {ny, Qt::TopEdge}, {1.0 - ny, Qt::BottomEdge}};
    const auto nearest = std::min_element(std::begin(edges), std::end(edges),
                                          [](const auto& a, const auto& b) { return a.first < b.first; });
    PLRDropZone zone;
    zone.kind = PLRDropZone::Kind::BesideBlock;
    zone.block = leaf->representedBlock();
    zone.edge = nearest->second;
    zone.targetRect = frame;
    return zone;
}

// The gap of a row or column (the blocks `views` spanning `extent`) nearest the point: before the
// first block whose middle lies beyond it along the list. Its line runs across the list, halfway
// between the blocks on either side of it (or along the list's end).
PLRDropZone gapZone(const QList<PLRBlockView*>& views, bool vertical, const QRectF& extent, const QPointF& point)
{
    const auto along = [vertical](const QPointF& p) { return vertical ? p.y() : p.x(); };
    const auto start = [vertical](const QRectF& r) { return vertical ? r.top() : r.left(); };
    const auto end = [vertical](const QRectF& r) { return vertical ? r.bottom() : r.right(); };
    int index = int(views.size());
    for (int i = 0; i < int(views.size()); ++i) {
        if (along(point) < along(views.at(i)->frameInLayoutView().center())) {
            index = i;
            break;
        }
    }
    const double before = index > 0 ? end(views.at(index - 1)->frameInLayoutView()) : start(extent);
    const double after = index < int(views.size()) ? start(views.at(index)->frameInLayoutView()) : end(extent);
    double middle = (before + after) / 2.0;
    if (index == 0)
        middle = after;
    else if (index == int(views.size()))
        middle = before;
    PLRDropZone zone;
    zone.kind = PLRDropZone::Kind::Section;
    zone.index = index;
    zone.targetRect = vertical ? QRectF(extent.left(), middle, extent.width(), 0.0)
                               : QRectF(middle, extent.top(), 0.0, extent.height());
    return zone;
}

// The zone at a point inside one of the blocks: beside the block (not a container) under it, or
// in the gap of the deepest container whose frame holds the point while none of its blocks
// does. Invalid when no block holds the point.
PLRDropZone zoneInBlocks(const QList<PLRBlockView*>& views, const QPointF& point)
{
    for (const PLRBlockView* view : views) {
        const QRectF frame = view->frameInLayoutView();
        if (!frame.contains(point))
            continue;
        if (view->blockKind() != plr::kBlockKindContainer)
            return besideLeaf(view, point);
        const PLRDropZone inner = zoneInBlocks(view->subBlocks(), point);
        if (inner.isValid())
            return inner;
        // In the padding between the container's blocks.
        PLRBlock* container = view->representedBlock();
        PLRDropZone gap = gapZone(view->subBlocks(), container->container().vert(), frame, point);
        gap.block = container;
        return gap;
    }
    return PLRDropZone();
}

bool layoutHasBlocks(const PLRLayout& layout)
{
    for (const PLRSection& section : layout.sections()) {
        if (section.blocks_size() > 0)
            return true;
    }
    return false;
}

} // namespace

std::unique_ptr<PLRSectionInteractionHandler> PLRSectionInteractionHandler::handlerForSection(const PLRSection& section)
{
    if (section.type_case() == PLRSection::kStacked || section.type_case() == PLRSection::TYPE_NOT_SET)
        return std::make_unique<PLRSectionInteractionHandler_Stacked>();
    return nullptr;
}

PLRDropZone PLRSectionInteractionHandler::dropZoneInLayoutView(const PLRLayoutView* layoutView, const QPointF& point)
{
    PLRDropZone zone;
    if (!layoutView)
        return zone;
    PLRLayout* layout = layoutView->representedLayout();
    if (!layout)
        return zone;
    const QList<PLRSectionView*>& sections = layoutView->sectionViews();
    if (!layoutHasBlocks(*layout)) {
        zone.kind = PLRDropZone::Kind::EmptyLayout;
        zone.section = layout->sections_size() > 0 ? layout->mutable_sections(layout->sections_size() - 1) : nullptr;
        if (zone.section && !handlerForSection(*zone.section))
            return PLRDropZone();
        zone.targetRect = layoutView->bounds();
        return zone;
    }
    // The section under the point; above the first, the first; otherwise the last one that
    // starts above the point (the point is in a gap or below everything).
    const PLRSectionView* target = nullptr;
    for (const PLRSectionView* view : sections) {
        if (view->frame().height() <= 0.0)
            continue;
        if (!target && point.y() < view->frame().top()) {
            target = view;
            break;
        }
        if (view->frame().top() <= point.y())
            target = view;
    }
    if (!target) {
        // Every section is empty of height while some hold blocks (not laid out yet).
        return zone;
    }
    const auto handler = handlerForSection(*target->representedSection());
    return handler ? handler->dropZoneAtPoint(target, point) : zone;
}

bool PLRSectionInteractionHandler::zoneIsInLayout(const PLRLayoutManager* manager, const PLRDropZone& zone)
{
    if (!manager)
        return false;
    switch (zone.kind) {
    case PLRDropZone::Kind::None:
        return false;
    case PLRDropZone::Kind::EmptyLayout:
        return !zone.section || plr::tree::indexOfSection(manager->representedLayout(), zone.section) >= 0;
    case PLRDropZone::Kind::Section:
        if (!zone.block)
            return zone.section && plr::tree::indexOfSection(manager->representedLayout(), zone.section) >= 0;
        // Found in the layout before it is read: the pointer may be left over from an edit.
        return zone.section && manager->sectionForBlock(zone.block) == zone.section && zone.block->has_container();
    case PLRDropZone::Kind::BesideBlock:
        return manager->sectionForBlock(zone.block) != nullptr;
    }
    return false;
}

QList<PLRBlock*> PLRSectionInteractionHandler::insertBlocksAtZone(PLRLayoutManager* manager, PLRBlockPtrList blocks,
                                                                   const PLRDropZone& zone)
{
    if (!manager || !zone.isValid() || blocks.empty())
        return {};
    PLRLayout* layout = manager->representedLayout();
    PLRDropZone target = zone;
    if (zone.kind == PLRDropZone::Kind::EmptyLayout) {
        if (target.section && plr::tree::indexOfSection(layout, target.section) < 0)
            target.section = nullptr;
        if (!target.section) {
            PLR_LOG_INFO(QStringLiteral("The layout has no section: adding one for the dropped blocks"));
            target.section = manager->addNewSection();
        }
    } else if (zone.kind == PLRDropZone::Kind::BesideBlock) {
        target.section = manager->sectionForBlock(zone.block);
    }
    if (!target.section || !zoneIsInLayout(manager, target)) {
        PLR_LOG_WARN(QStringLiteral("The drop's place is no longer in the layout; nothing added"));
        return {};
    }
    const auto handler = handlerForSection(*target.section);
    if (!handler) {
        PLR_LOG_WARN(QStringLiteral("Blocks cannot be dropped into a section of this kind"));
        return {};
    }
    return handler->insertBlocks(manager, std::move(blocks), target);
}

PLRDropZone PLRSectionInteractionHandler_Stacked::dropZoneAtPoint(const PLRSectionView* sectionView, const QPointF& point) const
{
    PLRDropZone zone;
    if (!sectionView)
        return zone;
    PLRSection* section = sectionView->representedSection();
    zone = zoneInBlocks(sectionView->blockViews(), point);
    // Outside every block: between the section's top-level blocks, which stand in a column.
    if (!zone.isValid())
        zone = gapZone(sectionView->blockViews(), true, sectionView->frame(), point);
    zone.section = section;
    return zone;
}

QList<PLRBlock*> PLRSectionInteractionHandler_Stacked::insertBlocks(PLRLayoutManager* manager, PLRBlockPtrList blocks,
                                                                    const PLRDropZone& zone) const
{
    switch (zone.kind) {
    case PLRDropZone::Kind::None:
        return {};
    case PLRDropZone::Kind::EmptyLayout:
        return manager->addBlocks(std::move(blocks), nullptr, zone.section);
    case PLRDropZone::Kind::Section:
        return manager->insertBlocks(std::move(blocks), zone.index, zone.block, zone.section);
    case PLRDropZone::Kind::BesideBlock:
        break;
    }
    const plr::tree::BlockLocation location = manager->locateBlock(zone.block);
    if (!location.isValid()) {
        PLR_LOG_WARN(QStringLiteral("The block of the drop is no longer in the layout; nothing added"));
        return {};
    }
    const bool horizontal = zone.edge == Qt::LeftEdge || zone.edge == Qt::RightEdge;
    const bool after = zone.edge == Qt::RightEdge || zone.edge == Qt::BottomEdge;
    // The section's own list stacks its blocks in a column.
    const bool parentIsColumn = !location.parent || location.parent->container().vert();
    if (horizontal != parentIsColumn)
        return manager->insertBlocksBeside(std::move(blocks), zone.block, after);

    QList<const PLRBlock*> newBlocks;
    for (const PLRBlockPtr& block : blocks)
        newBlocks.append(block.get());
    PLRBlock* container = manager->wrapBlock(zone.block, std::move(blocks), !horizontal, !after);
    QList<PLRBlock*> placed;
    if (!container)
        return placed;
    for (PLRBlock& sub : *container->mutable_container()->mutable_sub_blocks()) {
        if (newBlocks.contains(&sub))
            placed.append(&sub);
    }
    return placed;
}
