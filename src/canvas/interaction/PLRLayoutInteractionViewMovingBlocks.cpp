#include "canvas/interaction/PLRLayoutInteractionView.h"

#include "layout/base/PLRLayoutImageProvider.h"
#include "layout/base/PLRLayoutManager.h"
#include "layout/base/PLRLayoutTree.h"
#include "canvas/interaction/PLRLayoutBlockInteractionHandler.h"
#include "canvas/interaction/PLRLayoutDocumentView.h"
#include "canvas/interaction/PLRLayoutInteraction.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "layout/views/PLRSectionView.h"
#include "store/persistance-store/source/PLRImagesDistinctionVerifier.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/UndoManager.h"
#include "platform-ui/Color.h"
#include "store/session/PLRPostManager.h"

#include <QDrag>
#include <QMimeData>
#include <QPainter>
#include <QSet>
#include <QUuid>

// --- Moving blocks -------------------------------------------------------------------------------

namespace {

// The blocks that are in the layout and not inside another of them, in the layout's order.
QList<PLRBlock*> outermostInOrder(PLRLayoutManager* manager, const QList<PLRBlock*>& blocks)
{
    QList<PLRBlock*> ordered;
    if (!manager || blocks.isEmpty())
        return ordered;
    const QSet<const PLRBlock*> wanted(blocks.cbegin(), blocks.cend());
    plr::tree::forEachBlock(manager->representedLayout(), [&](PLRBlock* block) {
        if (!wanted.contains(block) || ordered.contains(block))
            return;
        const QList<PLRBlock*> path = manager->pathFromSectionToBlock(block);
        for (qsizetype i = 0; i + 1 < path.size(); ++i) {
            if (wanted.contains(path.at(i)))
                return;
        }
        ordered.append(block);
    });
    return ordered;
}

bool isInside(PLRLayoutManager* manager, const PLRBlock* block, const QSet<const PLRBlock*>& roots)
{
    for (const PLRBlock* step : manager->pathFromSectionToBlock(block)) {
        if (roots.contains(step))
            return true;
    }
    return false;
}

} // namespace

bool PLRLayoutInteractionView::canMoveBlocksToZone(const QList<PLRBlock*>& blocks, const PLRDropZone& zone) const
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager || blocks.isEmpty() || !zone.isValid())
        return false;
    switch (zone.kind) {
    case PLRDropZone::Kind::None:
    case PLRDropZone::Kind::EmptyLayout:
        return false;   // a layout without blocks has nothing to move
    case PLRDropZone::Kind::Section:
    case PLRDropZone::Kind::BesideBlock: {
        if (!PLRSectionInteractionHandler::zoneIsInLayout(manager, zone))
            return false;
        // Not beside a moved block, nor in a gap of one, nor anywhere inside one.
        const QSet<const PLRBlock*> moving(blocks.cbegin(), blocks.cend());
        return !zone.block || !isInside(manager, zone.block, moving);
    }
    }
    return false;
}

bool PLRLayoutInteractionView::moveBlocks(const QList<PLRBlock*>& blocks, const PLRDropZone& zone)
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager)
        return false;
    if (isEditingText()) {
        PLR_LOG_INFO(QStringLiteral("Blocks are not moved while a text is being edited"));
        return false;
    }
    const QList<PLRBlock*> moving = outermostInOrder(manager, blocks);
    if (moving.isEmpty()) {
        PLR_LOG_WARN(QStringLiteral("None of the moved blocks is in the layout; nothing moved"));
        return false;
    }
    if (!canMoveBlocksToZone(moving, zone)) {
        PLR_LOG_INFO(QStringLiteral("Blocks cannot be moved onto themselves or into themselves; nothing moved"));
        return false;
    }
    // A gap keeps its place among the blocks that stay: its index counts none of the moved
    // blocks, and the containers the blocks leave are kept until they are back in (a container
    // left with one block would be dissolved and the gap's container with it).
    endEditing();
    const bool intoGap = zone.kind == PLRDropZone::Kind::Section;
    PLRDropZone place = zone;
    if (intoGap) {
        for (PLRBlock* block : moving) {
            const plr::tree::BlockLocation location = manager->locateBlock(block);
            if (location.section == zone.section && location.parent == zone.block && location.index < zone.index)
                --place.index;
        }
    }
    PLRLayoutChangeRecorder recorder(manager, m_undoManager,
                                     moving.size() > 1 ? QStringLiteral("Move Blocks") : QStringLiteral("Move Block"));
    PLRBlockPtrList taken;
    QList<PLRBlock*> leftContainers;
    for (PLRBlock* block : moving) {
        PLRBlock* parent = manager->locateBlock(block).parent;
        if (PLRBlockPtr removed = manager->removeBlock(block, intoGap)) {
            taken.push_back(std::move(removed));
            if (parent && !leftContainers.contains(parent))
                leftContainers.append(parent);
        }
    }
    const QList<PLRBlock*> placed = PLRSectionInteractionHandler::insertBlocksAtZone(manager, std::move(taken), place);
    if (intoGap) {
        for (PLRBlock* container : std::as_const(leftContainers))
            manager->purgeContainer(container);
    }
    if (placed.size() != moving.size()) {
        // Nothing is lost: the sections go back to what they were.
        PLR_LOG_ERROR(QStringLiteral("The moved blocks could not be placed; the layout is put back as it was"));
        recorder.rollBack();
        refresh();
        return false;
    }
    recorder.commit();
    refresh();
    manager->selectBlocks(placed);
    return true;
}

void PLRLayoutInteractionView::beginBlockDrag(const QList<PLRBlock*>& blocks)
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager || isEditingText() || !m_dragToken.isEmpty())
        return;
    const QList<PLRBlock*> moving = outermostInOrder(manager, blocks);
    if (moving.isEmpty())
        return;
    QStringList identifiers;
    for (const PLRBlock* block : moving)
        identifiers.append(QString::fromStdString(block->id()));
    m_dragToken = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_draggedBlocks = moving;
    QMimeData* mimeData = PLRBlockPasteboard::mimeDataForBlocks(m_dragToken, identifiers);
    QPointer<PLRLayoutInteractionView> guard(this);
    if (m_dragRunner) {
        m_dragRunner(mimeData);
    } else {
        auto* drag = new QDrag(this);
        drag->setMimeData(mimeData);
        const QPixmap picture = dragPixmap(moving);
        if (!picture.isNull()) {
            drag->setPixmap(picture);
            drag->setHotSpot(QPoint(picture.width() / 2, picture.height() / 2));
        }
        drag->exec(Qt::MoveAction, Qt::MoveAction);
    }
    if (!guard)
        return;
    stopAutoScroll();   // the drag has ended, dropped or cancelled
    m_dragToken.clear();
    m_draggedBlocks.clear();
    m_dropZone = PLRDropZone();
    update();
}

QPixmap PLRLayoutInteractionView::dragPixmap(const QList<PLRBlock*>& blocks) const
{
    if (!m_documentView)
        return {};
    QRectF area;
    for (const PLRBlock* block : blocks)
        area = area.united(viewRectForBlock(block));
    const QRect grabbed = area.toAlignedRect().intersected(m_documentView->rect());
    if (grabbed.isEmpty())
        return {};
    const QPixmap shot = m_documentView->grab(grabbed);
    const QPixmap scaled = shot.scaled(QSize(180, 180).boundedTo(shot.size()), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPixmap faded(scaled.size());
    faded.fill(Qt::transparent);
    QPainter painter(&faded);
    painter.setOpacity(0.75);
    painter.drawPixmap(0, 0, scaled);
    return faded;
}
