#pragma once

#include <QRectF>

class QWidget;

// Where windows go on screen. Rectangles are in Qt's global coordinates (y down).
namespace PLRWindowPlacement {

// A frame of the size centred within the available area.
QRectF centredFrame(const QSizeF& size, const QRectF& availableFrame);

// Centres a top-level widget within the available area of its screen (the primary one when it has none).
void centreOnScreen(QWidget* window);

// Centres a top-level widget over the owner window, moved (and if need be shrunk) into the
// available area of the owner's screen; centred on its own screen when there is no owner on
// screen.
void placeOver(QWidget* window, const QWidget* owner);

} // namespace PLRWindowPlacement
