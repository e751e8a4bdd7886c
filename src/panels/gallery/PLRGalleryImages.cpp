#include "panels/gallery/PLRGalleryImages.h"

#include <QHash>
#include <QMutex>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

constexpr double kScale = 2.0;

QImage canvas(double points)
{
    QImage image(int(points * kScale), int(points * kScale), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(kScale);
    return image;
}

QPainterPath starPath(double size)
{
    QPainterPath path;
    const double cx = size / 2.0;
    const double cy = size / 2.0 + size * 0.04;
    const double outer = size / 2.0;
    const double inner = outer * 0.45;
    for (int i = 0; i < 10; ++i) {
        const double radius = (i % 2 == 0) ? outer : inner;
        const double angle = -M_PI / 2.0 + double(i) * M_PI / 5.0;
        const QPointF point(cx + radius * std::cos(angle), cy + radius * std::sin(angle));
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

QImage star(double size, const QColor& fill, const QColor& edge, double edgeWidth)
{
    QImage image = canvas(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double inset = edgeWidth / 2.0;
    QPainterPath path = starPath(size - 2.0 * inset).translated(inset, inset);
    if (fill.alpha() > 0)
        painter.fillPath(path, fill);
    if (edgeWidth > 0.0)
        painter.strokePath(path, QPen(edge, edgeWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    return image;
}

// "=", "≤" or "≥" in a rounded square.
QImage comparator(int kind)
{
    const double size = 13.0;
    QImage image = canvas(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x55, 0x55, 0x55);
    painter.setPen(QPen(QColor(0xBE, 0xBE, 0xBE), 1.0));
    painter.drawRoundedRect(QRectF(0.5, 0.5, size - 1.0, size - 1.0), 2.5, 2.5);
    QPen pen(ink, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    if (kind == 0) {
        painter.drawLine(QPointF(3.5, 5.0), QPointF(9.5, 5.0));
        painter.drawLine(QPointF(3.5, 8.0), QPointF(9.5, 8.0));
    } else {
        const double tip = kind < 0 ? 3.5 : 9.5;
        const double back = kind < 0 ? 9.5 : 3.5;
        QPainterPath chevron;
        chevron.moveTo(back, 2.8);
        chevron.lineTo(tip, 5.3);
        chevron.lineTo(back, 7.8);
        painter.drawPath(chevron);
        painter.drawLine(QPointF(3.5, 10.0), QPointF(9.5, 10.0));
    }
    return image;
}

QImage triangle(bool expanded)
{
    const double size = 10.0;
    QImage image = canvas(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    if (expanded) {
        path.moveTo(1.5, 3.0);
        path.lineTo(8.5, 3.0);
        path.lineTo(5.0, 7.5);
    } else {
        path.moveTo(3.0, 1.5);
        path.lineTo(7.5, 5.0);
        path.lineTo(3.0, 8.5);
    }
    path.closeSubpath();
    painter.fillPath(path, QColor(0x6E, 0x6E, 0x73));
    return image;
}

QImage make(const QString& name)
{
    if (name == QLatin1String("star-selected"))
        return star(13.0, QColor(0xF5, 0xB0, 0x23), QColor(0xB0, 0x78, 0x10), 0.6);
    if (name == QLatin1String("star-white"))
        return star(13.0, Qt::white, QColor(0, 0, 0, 90), 0.6);
    if (name == QLatin1String("star-deselected"))
        return star(13.0, Qt::transparent, QColor(0xA0, 0xA0, 0xA0), 1.0);
    if (name == QLatin1String("Equal"))
        return comparator(0);
    if (name == QLatin1String("less-than"))
        return comparator(-1);
    if (name == QLatin1String("greater-than"))
        return comparator(1);
    return {};
}

} // namespace

namespace PLRGalleryImages {

QImage named(const QString& name)
{
    static QMutex mutex;
    static QHash<QString, QImage> cache;
    QMutexLocker lock(&mutex);
    auto it = cache.find(name);
    if (it == cache.end())
        it = cache.insert(name, make(name));
    return it.value();
}

QImage disclosureTriangle(bool expanded)
{
    static const QImage open = triangle(true);
    static const QImage closed = triangle(false);
    return expanded ? open : closed;
}

} // namespace PLRGalleryImages
