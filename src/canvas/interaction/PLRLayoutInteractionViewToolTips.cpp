// The canvas's tool tips: a block whose photo cannot be used (gone from the folder, cut short,
// not a readable photo) is drawn as a placeholder with a red mark, and tells why under the
// pointer.

#include "canvas/interaction/PLRLayoutInteractionView.h"

#include "canvas/interaction/PLRLayoutDocumentView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "store/persistance-store/source/PLRPhotoProblem.h"
#include "store/persistance-store/source/PLRSourceImage.h"
#include "store/session/PLRPostManager.h"

#include <QHelpEvent>
#include <QToolTip>

bool PLRLayoutInteractionView::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return View::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    QString reason;
    const PLRBlock* block = blockAtPoint(help->pos());
    if (block && block->has_image() && m_postManager) {
        const QString identifier = QString::fromStdString(block->image().img_ref());
        const PLRSourceImagePtr photo = m_postManager->imageForIdentifier(identifier);
        // A photo the folder has no record of is missing from it.
        reason = photo ? describePhotoProblemOf(photo->fileName(), photo->problem())
                       : describePhotoProblemOf(QString(), PLRPhotoProblem::Missing);
    }
    if (reason.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), reason, this, viewRectForBlock(block).toAlignedRect());
    }
    return true;
}
