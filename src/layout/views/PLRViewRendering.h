#pragma once

#include <QImage>
#include <QRectF>
#include <QString>

#include <functional>

class QPainter;

// Renders `area` of a view into a new image `width` pixels wide (the area's own width when
// `width` is 0 or not finite), keeping its proportions; `draw` paints the area in view
// coordinates. A null image, with a log line naming `what`, when the size is empty or too large.
QImage PLRRenderViewArea(const QRectF& area, double width, const QString& what,
                         const std::function<void(QPainter*)>& draw);
