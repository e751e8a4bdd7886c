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

#include <QApplication>

// --- Mouse --------------------------------------------------------------------------------------

PLRBlock* PLRLayoutInteractionView::handleBlock()
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager)
        return nullptr;
    if (m_editBlock && (m_editBlock->has_image() || m_editBlock->has_blank()))
        return m_editBlock;
    const QList<PLRBlock*> selected = manager->currentSelectedBlocks();
    if (selected.size() == 1) {
        PLRLayoutBlockInteractionHandler* handler = handlerForBlock(selected.first());
        if (handler && handler->handlesWhenSelected())
            return selected.first();
    }
    return nullptr;
}

void PLRLayoutInteractionView::mouseDown(const platform::ui::MouseEvent& event)
{
    PLRLayoutManager* manager = layoutManager();
    m_pressBlock = nullptr;
    m_deferredClick = false;
    if (!manager)
        return;
    const QPointF point = event.locationIn(this);
    if (PLRBlock* target = handleBlock()) {
        PLRLayoutBlockInteractionHandler* handler = handlerForBlock(target);
        if (handler && handler->mouseDown(layoutPointFromView(point))) {
            setFocus(Qt::MouseFocusReason);
            m_panBlock = target;
            m_panPoint = point;
            // In crop mode the session records the drags as one step.
            if (target == m_editBlock && m_editRecorder.isActive()) {
                m_panRecorder = PLRLayoutChangeRecorder();
            } else {
                m_panRecorder = PLRLayoutChangeRecorder(manager, m_undoManager, handler->dragActionName());
                m_panRecorder.restrictTo(target, handler->editedFields());
            }
            updateCursor(point);
            return;
        }
    }
    PLRBlock* block = blockAtPoint(point);
    const bool plain = !(event.modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::MetaModifier));
    if (block && event.clickCount == 1 && plain && block != m_editBlock && manager->currentSelectedBlocks().contains(block)) {
        // The selection stays for a drag of it; a click on it selects the block alone when the
        // button comes up.
        setFocus(Qt::MouseFocusReason);
        m_deferredClick = true;
    } else {
        clickAtPoint(point, event.modifiers, event.clickCount);
    }
    if (block && event.clickCount == 1 && block != manager->currentEditBlock() && !isEditingText()) {
        m_pressBlock = block;
        m_pressPoint = point;
        m_pressModifiers = event.modifiers;
    }
}

void PLRLayoutInteractionView::mouseDragged(const platform::ui::MouseEvent& event)
{
    const QPointF point = event.locationIn(this);
    if (m_panBlock) {
        m_panPoint = point;
        if (PLRLayoutBlockInteractionHandler* handler = handlerForBlock(m_panBlock))
            handler->mouseDragged(layoutPointFromView(point));
        updateCursor(point);
        update();
        return;
    }
    if (!m_pressBlock || (point - m_pressPoint).manhattanLength() < QApplication::startDragDistance())
        return;
    PLRBlock* pressed = m_pressBlock;
    m_pressBlock = nullptr;
    m_deferredClick = false;
    PLRLayoutManager* manager = layoutManager();
    if (!manager || !manager->locateBlock(pressed).isValid())
        return;
    const QList<PLRBlock*> selected = manager->currentSelectedBlocks();
    beginBlockDrag(selected.contains(pressed) ? selected : QList<PLRBlock*>{pressed});
}

void PLRLayoutInteractionView::mouseUp(const platform::ui::MouseEvent& event)
{
    const QPointF point = event.locationIn(this);
    m_pressBlock = nullptr;
    if (m_deferredClick) {
        m_deferredClick = false;
        clickAtPoint(m_pressPoint, m_pressModifiers, 1);
    }
    finishPan(point);
}

void PLRLayoutInteractionView::mouseCancelled()
{
    // No release comes (a drag took over, a pop-up or a dialog took it): the press makes no
    // click, and a drag of a block's handles ends where it was last, kept as one step.
    m_pressBlock = nullptr;
    m_deferredClick = false;
    finishPan(m_panPoint);
}

void PLRLayoutInteractionView::finishPan(const QPointF& point)
{
    if (!m_panBlock)
        return;
    PLRBlock* block = m_panBlock;
    m_panBlock = nullptr;
    PLRLayoutManager* manager = layoutManager();
    if (manager && manager->locateBlock(block).isValid()) {
        if (PLRLayoutBlockInteractionHandler* handler = handlerForBlock(block))
            handler->mouseUp(layoutPointFromView(point));
        manager->announceChange();
    }
    m_panRecorder.commit();
    refresh();
    updateCursor(point);
}

void PLRLayoutInteractionView::mouseMoved(const platform::ui::MouseEvent& event)
{
    const QPointF point = event.locationIn(this);
    hoverAt(point);
    updateCursor(point);
}

void PLRLayoutInteractionView::mouseExited(const platform::ui::MouseEvent& event)
{
    Q_UNUSED(event);
    if (PLRLayoutManager* manager = layoutManager())
        manager->setHoverBlock(nullptr);
}

void PLRLayoutInteractionView::hoverAt(const QPointF& viewPoint)
{
    if (PLRLayoutManager* manager = layoutManager())
        manager->setHoverBlock(blockAtPoint(viewPoint));
}

void PLRLayoutInteractionView::updateCursor(const QPointF& viewPoint)
{
    PLRBlock* target = m_panBlock ? m_panBlock : handleBlock();
    if (PLRLayoutBlockInteractionHandler* handler = target ? handlerForBlock(target) : nullptr) {
        Qt::CursorShape shape = Qt::ArrowCursor;
        if (handler->cursorAt(layoutPointFromView(viewPoint), &shape)) {
            setCursor(shape);
            return;
        }
    }
    unsetCursor();
}
