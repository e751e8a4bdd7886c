#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>

namespace platform::ui {

// A named image of the application (resources/images/<name>.svg or .png), looked up by the name
// the screens use; an extension in the name (".tiff") is ignored. The image's
// deviceIndependentSize() is its size in points (SVGs are rendered at twice their size for
// sharpness). A missing image logs once and is null.
QImage namedImage(const QString& name);

// An image of the given point size filled with one colour, at the given scale.
QImage solidImage(const QSizeF& size, const QColor& color, double scale = 1.0);

// The size of an image in points.
inline QSizeF pointSize(const QImage& image) { return image.isNull() ? QSizeF() : image.deviceIndependentSize(); }

} // namespace platform::ui
