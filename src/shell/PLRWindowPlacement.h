#pragma once

#include <QList>
#include <QRectF>

class QWidget;

// Where windows go on screen. Rectangles are in Qt's global coordinates (y down).
namespace PLRWindowPlacement {

// The main window's frame on a screen: 0.8 of the screen's size (no larger than its available
// area), centred within the available area, whose origin counts.
QRectF mainWindowFrame(const QRectF& screenFrame, const QRectF& availableFrame);

// A frame of the size centred within the available area.
QRectF centredFrame(const QSizeF& size, const QRectF& availableFrame);

// The frame kept when it lies on one of the screens' available areas; otherwise the frame,
// shrunk to fit, centred on the first area. Unchanged when there are no screens.
QRectF frameOnScreens(const QRectF& frame, const QList<QRectF>& availableFrames);

// The available areas of the connected screens.
QList<QRectF> availableScreenFrames();

// Centres a top-level widget within the available area of its screen (the primary one when it has none).
void centreOnScreen(QWidget* window);

} // namespace PLRWindowPlacement
