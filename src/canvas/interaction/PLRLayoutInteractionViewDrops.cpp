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

#include <QAbstractScrollArea>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QScrollBar>

#include <cmath>

// --- Drops -------------------------------------------------------------------------------------

bool PLRLayoutInteractionView::knowsImage(const QString& identifier) const
{
    if (m_postManager)
        return m_postManager->imageForIdentifier(identifier) != nullptr
            && !m_postManager->imageForIdentifier(identifier)->fileDeleted();
    PLRLayoutManager* manager = layoutManager();
    PLRLayoutImageProvider* provider = manager ? manager->imageProvider() : nullptr;
    return provider && provider->hasImage(identifier);
}

bool PLRLayoutInteractionView::canAcceptDrop(const QMimeData* mimeData) const
{
    if (!layoutManager() || !mimeData)
        return false;
    // Blocks moved on this canvas: only while the drag this canvas started is under way, and
    // never while a text is being typed.
    if (PLRBlockPasteboard::hasBlockReferences(mimeData))
        return !isEditingText() && !blocksForReferences(mimeData).isEmpty();
    if (PLRBlockPasteboard::newBlockKindFromMimeData(mimeData) != plr::kBlockKindNone)
        return true;
    if (!PLRImageReferencePasteboard::hasImageReferences(mimeData))
        return false;
    const QStringList identifiers = PLRImageReferencePasteboard::identifiersFromMimeData(mimeData);
    return std::any_of(identifiers.cbegin(), identifiers.cend(), [this](const QString& id) { return knowsImage(id); });
}

QList<PLRBlock*> PLRLayoutInteractionView::blocksForReferences(const QMimeData* mimeData) const
{
    if (m_dragToken.isEmpty())
        return {};
    const PLRBlockPasteboard::BlockReferences references = PLRBlockPasteboard::blockReferencesFromMimeData(mimeData);
    if (references.token != m_dragToken)
        return {};
    return draggedBlocks();
}

QList<PLRBlock*> PLRLayoutInteractionView::draggedBlocks() const
{
    PLRLayoutManager* manager = layoutManager();
    QList<PLRBlock*> blocks;
    if (!manager || m_dragToken.isEmpty())
        return blocks;
    // The blocks of the drag that are still in the layout, in the layout's order.
    plr::tree::forEachBlock(manager->representedLayout(), [&](PLRBlock* block) {
        if (m_draggedBlocks.contains(block) && !blocks.contains(block))
            blocks.append(block);
    });
    return blocks;
}

PLRDropZone PLRLayoutInteractionView::dropZoneAtPoint(const QPointF& viewPoint) const
{
    PLRLayoutView* layoutView = m_proxy ? m_proxy->layoutView() : nullptr;
    if (!layoutView || !layoutManager())
        return PLRDropZone();
    layoutView->layoutSubtreeIfNeeded();
    return PLRSectionInteractionHandler::dropZoneInLayoutView(layoutView, layoutPointFromView(viewPoint));
}

QList<PLRBlock*> PLRLayoutInteractionView::insertImages(const QStringList& identifiers, const PLRDropZone& zone)
{
    const QList<PLRBlock*> placed = placeImages(identifiers, zone);
    emit dropPerformed(placed);
    return placed;
}

QList<PLRBlock*> PLRLayoutInteractionView::placeImages(const QStringList& identifiers, const PLRDropZone& zone)
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager || !zone.isValid())
        return {};
    QStringList known;
    for (const QString& identifier : identifiers) {
        if (known.contains(identifier))
            continue;
        if (knowsImage(identifier))
            known.append(identifier);
        else
            PLR_LOG_WARN(QStringLiteral("A dropped photo \"%1\" is not in the post's folder; left out").arg(identifier.left(120)));
    }
    if (known.isEmpty()) {
        PLR_LOG_INFO(QStringLiteral("The drop holds no photo of the post; nothing added"));
        return {};
    }
    // A photo goes into a layout once.
    if (m_postManager) {
        m_postManager->refreshImagesInUse();
        QList<PLRSourceImagePtr> images;
        for (const QString& identifier : std::as_const(known))
            images.append(m_postManager->imageForIdentifier(identifier));
        bool distinct = false;
        PLRImagesDistinctionVerifier::ensureDistinctImages(images, [&distinct](bool ok) { distinct = ok; }, window());
        if (!distinct)
            return {};
    } else {
        for (const QString& identifier : std::as_const(known)) {
            if (manager->useCountForImage(identifier) > 0) {
                PLR_LOG_WARN(QStringLiteral("The photo \"%1\" is already in the layout; nothing added").arg(identifier));
                return {};
            }
        }
    }
    if (!PLRSectionInteractionHandler::zoneIsInLayout(manager, zone)) {
        PLR_LOG_WARN(QStringLiteral("The place of the drop is no longer in the layout; nothing added"));
        return {};
    }
    endEditing();
    PLRLayoutChangeRecorder recorder(manager, m_undoManager, known.size() > 1 ? QStringLiteral("Add Images") : QStringLiteral("Add Image"));
    PLRBlockPtrList blocks;
    PLRLayoutImageProvider* provider = manager->imageProvider();
    for (const QString& identifier : std::as_const(known)) {
        PLRBlockPtr block = PLRLayoutManager::newBlock_Image();
        block->mutable_image()->set_img_ref(identifier.toStdString());
        const QDateTime modified = provider ? provider->modifiedDate(identifier) : QDateTime();
        const qint64 seconds = modified.isValid() ? modified.toSecsSinceEpoch() : 0;
        block->mutable_image()->set_source_last_updated(QString::number(qint32(seconds)).toStdString());
        blocks.push_back(std::move(block));
    }
    const QList<PLRBlock*> placed = PLRSectionInteractionHandler::insertBlocksAtZone(manager, std::move(blocks), zone);
    recorder.commit();
    refresh();
    if (!placed.isEmpty()) {
        platform::NotificationCenter::defaultCenter().post(
            QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED), nullptr,
            {{QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED_ITEM), plr::canvas::blockVariant(placed.last())},
             {QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED_SHOULD_SCROLL), false}});
    }
    return placed;
}

PLRDropZone PLRLayoutInteractionView::zoneForDrop(const QMimeData* mimeData, const QPointF& viewPoint) const
{
    const PLRDropZone zone = dropZoneAtPoint(viewPoint);
    if (PLRBlockPasteboard::hasBlockReferences(mimeData) && !canMoveBlocksToZone(blocksForReferences(mimeData), zone))
        return PLRDropZone();
    return zone;
}

void PLRLayoutInteractionView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!canAcceptDrop(event->mimeData())) {
        stopAutoScroll();
        event->ignore();
        return;
    }
    m_dropZone = zoneForDrop(event->mimeData(), event->position());
    followDragForAutoScroll(event->position(), event->mimeData());
    if (m_dropZone.isValid())
        event->acceptProposedAction();
    else
        event->accept();   // keep receiving moves: another place may take the photos
    update();
}

void PLRLayoutInteractionView::dragMoveEvent(QDragMoveEvent* event)
{
    if (!canAcceptDrop(event->mimeData())) {
        stopAutoScroll();
        m_dropZone = PLRDropZone();
        event->ignore();
        update();
        return;
    }
    const PLRDropZone zone = zoneForDrop(event->mimeData(), event->position());
    followDragForAutoScroll(event->position(), event->mimeData());
    // While the canvas scrolls under a resting pointer the place under it changes with no move:
    // the drag stays accepted, and the drop checks its place again.
    if (zone.isValid() || isAutoScrolling())
        event->acceptProposedAction();
    else
        event->ignore();
    if (zone != m_dropZone) {
        m_dropZone = zone;
        update();
    }
}

void PLRLayoutInteractionView::dragLeaveEvent(QDragLeaveEvent* event)
{
    Q_UNUSED(event);
    stopAutoScroll();
    m_dropZone = PLRDropZone();
    update();
}

void PLRLayoutInteractionView::hideEvent(QHideEvent* event)
{
    stopAutoScroll();
    View::hideEvent(event);
}

// --- Scrolling during a drag ---------------------------------------------------------------------

int PLRLayoutInteractionView::autoScrollStep(double y, double height)
{
    if (height <= 0.0)
        return 0;
    // A short canvas keeps a middle where a drag rests without scrolling.
    const double band = std::min(kAutoScrollBand, height / 4.0);
    double depth = 0.0;
    int direction = 0;
    if (y < band) {
        depth = (band - y) / band;
        direction = -1;
    } else if (y > height - band) {
        depth = (y - (height - band)) / band;
        direction = 1;
    } else {
        return 0;
    }
    depth = std::clamp(depth, 0.0, 1.0);
    // Slow where the band begins, growing toward the edge.
    return direction * (1 + int(std::lround((kAutoScrollMaxStep - 1) * depth * depth)));
}

QAbstractScrollArea* PLRLayoutInteractionView::enclosingScrollArea() const
{
    for (QWidget* widget = parentWidget(); widget; widget = widget->parentWidget()) {
        if (auto* area = qobject_cast<QAbstractScrollArea*>(widget))
            return area->viewport() && area->viewport()->isAncestorOf(this) ? area : nullptr;
    }
    return nullptr;
}

void PLRLayoutInteractionView::followDragForAutoScroll(const QPointF& viewPoint, const QMimeData* mimeData)
{
    QAbstractScrollArea* area = enclosingScrollArea();
    if (!area || !mimeData) {
        stopAutoScroll();
        return;
    }
    m_autoScrollPoint = mapTo(area->viewport(), viewPoint);
    m_autoScrollData = mimeData;
    if (autoScrollStep(m_autoScrollPoint.y(), area->viewport()->height()) == 0) {
        stopAutoScroll();
        return;
    }
    if (!m_autoScrollTimer.isActive())
        m_autoScrollTimer.start();
}

void PLRLayoutInteractionView::stopAutoScroll()
{
    m_autoScrollTimer.stop();
    m_autoScrollData = nullptr;
}

void PLRLayoutInteractionView::autoScrollTick()
{
    QAbstractScrollArea* area = enclosingScrollArea();
    const QMimeData* mimeData = m_autoScrollData;
    if (!area || !mimeData || !isVisible()) {
        stopAutoScroll();
        return;
    }
    const int step = autoScrollStep(m_autoScrollPoint.y(), area->viewport()->height());
    QScrollBar* bar = area->verticalScrollBar();
    const int before = bar->value();
    if (step != 0)
        bar->setValue(before + step);
    if (step == 0 || bar->value() == before) {
        stopAutoScroll();   // out of the band, or nothing more to scroll
        return;
    }
    // The page moved under the resting pointer: the indicator shows the place now under it.
    const QPointF viewPoint = mapFrom(area->viewport(), m_autoScrollPoint);
    const PLRDropZone zone = canAcceptDrop(mimeData) ? zoneForDrop(mimeData, viewPoint) : PLRDropZone();
    if (zone != m_dropZone) {
        m_dropZone = zone;
        update();
    }
}

void PLRLayoutInteractionView::dropEvent(QDropEvent* event)
{
    stopAutoScroll();
    const QMimeData* mimeData = event->mimeData();
    const PLRDropZone zone = zoneForDrop(mimeData, event->position());
    m_dropZone = PLRDropZone();
    update();
    if (!canAcceptDrop(mimeData) || !zone.isValid()) {
        event->ignore();
        return;
    }
    QPointer<PLRLayoutInteractionView> guard(this);
    if (PLRBlockPasteboard::hasBlockReferences(mimeData)) {
        const QList<PLRBlock*> blocks = blocksForReferences(mimeData);
        event->setDropAction(Qt::MoveAction);
        event->accept();
        // Moved once the drag has ended (this canvas is the drag's source).
        platform::dispatchMain([guard, blocks, zone] {
            if (!guard)
                return;
            const bool moved = guard->moveBlocks(blocks, zone);
            emit guard->dropPerformed(moved ? guard->layoutManager()->currentSelectedBlocks() : QList<PLRBlock*>{});
        });
        return;
    }
    if (const int kind = PLRBlockPasteboard::newBlockKindFromMimeData(mimeData); kind != plr::kBlockKindNone) {
        event->acceptProposedAction();
        platform::dispatchMain([guard, kind, zone] {
            if (!guard)
                return;
            PLRBlock* block = guard->insertNewBlock(kind, zone);
            emit guard->dropPerformed(block ? QList<PLRBlock*>{block} : QList<PLRBlock*>{});
        });
        return;
    }
    const QStringList identifiers = PLRImageReferencePasteboard::identifiersFromMimeData(event->mimeData());
    event->acceptProposedAction();
    // Placed after the drag has ended: the distinct-images check may show an alert.
    QPointer<PLRLayoutInteractionView> self(this);
    platform::dispatchMain([self, identifiers, zone] {
        if (self)
            self->insertImages(identifiers, zone);
    });
}
