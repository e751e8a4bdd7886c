#include "canvas/interaction/section_interaction_handlers/PLRSectionInteractionHandler.h"

#include "layout/base/PLRLayoutTree.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRSectionView.h"
#include "platform/Log.h"

#include <algorithm>

namespace {

// The deepest view of a block that is not a container, whose frame holds the point.
const PLRBlockView* leafViewAt(const QList<PLRBlockView*>& views, const QPointF& point)
{
    for (const PLRBlockView* view : views) {
        const QRectF frame = view->frameInLayoutView();
        if (!frame.contains(point))
            continue;
        if (view->blockKind() == plr::kBlockKindContainer) {
            if (const PLRBlockView* inner = leafViewAt(view->subBlocks(), point))
                return inner;
            continue;   // in the padding between the container's blocks
        }
        return view;
    }
    return nullptr;
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
    if (!target.section || plr::tree::indexOfSection(layout, target.section) < 0) {
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
    zone.section = sectionView->representedSection();
    if (const PLRBlockView* leaf = leafViewAt(sectionView->blockViews(), point)) {
        const QRectF frame = leaf->frameInLayoutView();
        const double nx = frame.width() > 0.0 ? (point.x() - frame.left()) / frame.width() : 0.5;
        const double ny = frame.height() > 0.0 ? (point.y() - frame.top()) / frame.height() : 0.5;
        const std::pair<double, Qt::Edge> edges[] = {
            {nx, Qt::LeftEdge}, {1.0 - nx, Qt::RightEdge}, {ny, Qt::TopEdge}, {1.0 - ny, Qt::BottomEdge}};
        const auto nearest = std::min_element(std::begin(edges), std::end(edges),
                                              [](const auto& a, const auto& b) { return a.first < b.first; });
        zone.kind = PLRDropZone::Kind::BesideBlock;
        zone.block = leaf->representedBlock();
        zone.edge = nearest->second;
        zone.targetRect = frame;
        return zone;
    }
    // Between the top-level blocks: before the first whose middle lies below the point.
    const QList<PLRBlockView*>& top = sectionView->blockViews();
    int index = int(top.size());
    for (int i = 0; i < int(top.size()); ++i) {
        if (point.y() < top.at(i)->frameInLayoutView().center().y()) {
            index = i;
            break;
        }
    }
    const QRectF section = sectionView->frame();
    double y = section.bottom();
    if (!top.isEmpty()) {
        if (index == 0)
            y = top.first()->frameInLayoutView().top();
        else if (index == int(top.size()))
            y = top.last()->frameInLayoutView().bottom();
        else
            y = (top.at(index - 1)->frameInLayoutView().bottom() + top.at(index)->frameInLayoutView().top()) / 2.0;
    }
    zone.kind = PLRDropZone::Kind::Section;
    zone.index = index;
    zone.targetRect = QRectF(section.left(), y, section.width(), 0.0);
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
        return manager->insertBlocks(std::move(blocks), zone.index, nullptr, zone.section);
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
