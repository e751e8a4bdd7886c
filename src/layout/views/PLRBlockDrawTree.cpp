#include "layout/views/PLRBlockDrawTree.h"

#include "layout/views/PLRBlockView.h"

#include <QPainter>

PLRBlockDrawTree PLRBlockDrawTree::ofView(const PLRBlockView& view)
{
    PLRBlockDrawTree tree;
    tree.block = view.representedBlock();
    tree.frame = view.frame();
    tree.subBlocks.reserve(view.subBlocks().size());
    for (const PLRBlockView* sub : view.subBlocks())
        tree.subBlocks.append(ofView(*sub));
    return tree;
}

void PLRBlockDrawTree::draw(QPainter& painter, const QRectF& rect, const PLRBlockDrawContext& context) const
{
    if (!block || !rect.intersects(bounds()))
        return;
    PLRBlockDrawHandler::drawBlock(painter, bounds(), *block, context);
    for (const PLRBlockDrawTree& sub : subBlocks) {
        const QPointF origin = sub.frame.topLeft();
        painter.translate(origin);
        sub.draw(painter, rect.translated(-origin), context);
        painter.translate(-origin);
    }
}
