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

#include <QPainter>

namespace {

QColor selectionColour()
{
    const platform::ui::Color named = platform::ui::namedColor(QStringLiteral("plrTextLinkColor"));
    return named.isVisible() ? named.toQColor() : QColor(0x21, 0x9D, 0xFF);
}

QColor recycleColour()
{
    const platform::ui::Color named = platform::ui::namedColor(QStringLiteral("plrCycleLayoutBorderColor"));
    return named.isVisible() ? named.toQColor() : QColor(0xFF, 0x3B, 0x30);
}

} // namespace

// --- Drawing -----------------------------------------------------------------------------------

void PLRLayoutInteractionView::drawOutline(QPainter& painter, const QRectF& viewRect, const QColor& colour, double width)
{
    if (viewRect.isEmpty())
        return;
    QPen pen(colour, width);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const double inset = width / 2.0;
    painter.drawRect(viewRect.adjusted(inset, inset, -inset, -inset));
}

void PLRLayoutInteractionView::drawDropIndicator(QPainter& painter)
{
    if (!m_dropZone.isValid())
        return;
    const QColor colour = selectionColour();
    QColor fill = colour;
    fill.setAlpha(40);
    constexpr double kBar = 4.0;
    switch (m_dropZone.kind) {
    case PLRDropZone::Kind::None:
        return;
    case PLRDropZone::Kind::EmptyLayout: {
        const QRectF page = m_documentView ? viewRectFromLayout(m_documentView->pageRectInLayout()) : QRectF(rect());
        painter.fillRect(page, fill);
        QPen pen(colour, 2.0, Qt::DashLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(page.adjusted(6, 6, -6, -6));
        return;
    }
    case PLRDropZone::Kind::Section: {
        // A line across a column's gap, or down a row's.
        const QRectF line = viewRectFromLayout(m_dropZone.targetRect);
        const bool down = line.width() <= 0.0 && line.height() > 0.0;
        const QRectF bar = down ? QRectF(line.left() - kBar / 2.0, line.top(), kBar, line.height())
                                : QRectF(line.left(), line.top() - kBar / 2.0, line.width(), kBar);
        painter.fillRect(bar, colour);
        return;
    }
    case PLRDropZone::Kind::BesideBlock: {
        const QRectF frame = viewRectFromLayout(m_dropZone.targetRect);
        QRectF half = frame, bar = frame;
        switch (m_dropZone.edge) {
        case Qt::LeftEdge:
            half.setWidth(frame.width() / 2.0);
            bar = QRectF(frame.left(), frame.top(), kBar, frame.height());
            break;
        case Qt::RightEdge:
            half.setLeft(frame.center().x());
            bar = QRectF(frame.right() - kBar, frame.top(), kBar, frame.height());
            break;
        case Qt::TopEdge:
            half.setHeight(frame.height() / 2.0);
            bar = QRectF(frame.left(), frame.top(), frame.width(), kBar);
            break;
        case Qt::BottomEdge:
            half.setTop(frame.center().y());
            bar = QRectF(frame.left(), frame.bottom() - kBar, frame.width(), kBar);
            break;
        }
        painter.fillRect(half, fill);
        painter.fillRect(bar, colour);
        return;
    }
    }
}

void PLRLayoutInteractionView::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    PLRLayoutManager* manager = layoutManager();
    if (!manager || m_alpha <= 0.0)
        return;
    QPainter painter(this);
    painter.setOpacity(m_alpha);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QColor colour = selectionColour();
    const QList<PLRBlock*> selected = manager->currentSelectedBlocks();
    PLRBlock* edit = manager->currentEditBlock();

    if (PLRBlock* hover = manager->currentHoverBlock(); hover && hover != edit && !selected.contains(hover)) {
        QColor faint = colour;
        faint.setAlpha(170);
        drawOutline(painter, viewRectForBlock(hover), faint, 1.0);
    }
    if (edit) {
        const QRectF frame = viewRectForBlock(edit);
        if (PLRLayoutBlockInteractionHandler* handler = handlerForBlock(edit))
            handler->drawEditDecorations(painter, frame);
        drawOutline(painter, frame, colour, edit->has_text() ? 1.0 : 2.0);
    }
    for (PLRBlock* block : selected) {
        if (block != edit)
            drawOutline(painter, viewRectForBlock(block), colour, 2.0);
    }
    if (selected.size() == 1 && selected.first() != edit) {
        PLRLayoutBlockInteractionHandler* handler = handlerForBlock(selected.first());
        if (handler && handler->handlesWhenSelected())
            handler->drawEditDecorations(painter, viewRectForBlock(selected.first()));
    }
    if (manager->shouldShowRecyclerHighlight()) {
        if (PLRBlock* target = manager->recyclerTargetBlock())
            drawOutline(painter, viewRectForBlock(target), recycleColour(), 2.0);
    }
    drawDropIndicator(painter);
}
