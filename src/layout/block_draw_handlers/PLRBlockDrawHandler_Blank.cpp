#include "layout/block_draw_handlers/PLRBlockDrawHandler_Blank.h"

void PLRBlockDrawHandler_Blank::draw(QPainter& painter, const QRectF& bounds)
{
    Q_UNUSED(painter);
    Q_UNUSED(bounds);
}
