#include "layout/views/PLRViewRendering.h"

#include "platform/Log.h"

#include <QPainter>

#include <cmath>

QImage PLRRenderViewArea(const QRectF& area, double width, const QString& what,
                         const std::function<void(QPainter*)>& draw)
{
    if (!(area.width() > 0.0) || !(area.height() > 0.0))
        return {};
    const double pixelWidth = width > 0.0 && std::isfinite(width) ? width : area.width();
    const double scale = pixelWidth / area.width();
    const double pixelHeight = area.height() * scale;
    if (!(pixelWidth >= 1.0) || !(pixelHeight >= 1.0) || pixelWidth * pixelHeight * 4.0 > double(1 << 30)) {
        PLR_LOG_WARN(QStringLiteral("A %1 render of %2 x %3 pixels is not possible").arg(what).arg(pixelWidth).arg(pixelHeight));
        return {};
    }
    QImage image(int(pixelWidth), int(pixelHeight), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);
    painter.scale(scale, scale);
    draw(&painter);
    return image;
}
