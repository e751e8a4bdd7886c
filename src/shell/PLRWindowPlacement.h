#pragma once

#include <QRectF>

class QWidget;

// Where windows go on screen. Rectangles are in Qt's global coordinates (y down).
namespace PLRWindowPlacement {

// A frame of the size centred within the available area.
QRectF centredFrame(const QSizeF& size, const QRectF& availableFrame);

// Centres a top-level widget within the available area of its screen (the primary one when it has none).
void centreOnScreen(QWidget* window);

} // namespace PLRWindowPlacement
