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

#include <QKeyEvent>

// --- Keys ---------------------------------------------------------------------------------------

void PLRLayoutInteractionView::keyPressEvent(QKeyEvent* event)
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager) {
        View::keyPressEvent(event);
        return;
    }
    if (event->matches(QKeySequence::Undo)) {
        if (m_undoManager)
            m_undoManager->undo();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Redo)) {
        if (m_undoManager)
            m_undoManager->redo();
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        deleteSelectedBlocks();
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Return accepts the crop: crop mode ends and the photo stays selected.
        if (PLRBlock* editing = manager->currentEditBlock(); editing && editing->has_image()) {
            manager->setEditBlock(nullptr);
            if (manager->locateBlock(editing).isValid())
                manager->selectBlocks({editing});
            event->accept();
            return;
        }
        break;
    case Qt::Key_Escape:
        if (PLRBlock* editing = manager->currentEditBlock()) {
            if (editing->has_image() && m_editBlock == editing && m_editRecorder.isActive()) {
                // Escape cancels the crop: the photo gets back the crop it had, and nothing is
                // left to undo.
                PLRPosition start;
                if (!m_cropStartPosition.isEmpty() && start.ParseFromString(m_cropStartPosition.toStdString()))
                    *editing->mutable_image()->mutable_position() = start;
                else
                    editing->mutable_image()->clear_position();
                editing->set_aspect_ratio(m_cropStartRatio);
                m_editRecorder.cancel();
                if (m_proxy)
                    m_proxy->layoutDidChange();
                manager->announceChange();
            }
            manager->setEditBlock(nullptr);
            if (manager->locateBlock(editing).isValid())
                manager->selectBlocks({editing});
        } else if (!manager->currentSelectedBlocks().isEmpty()) {
            manager->deSelectAllBlocks();
        } else {
            break;   // nothing to end here: Escape goes on to the window
        }
        event->accept();
        return;
    default:
        break;
    }
    View::keyPressEvent(event);
}
