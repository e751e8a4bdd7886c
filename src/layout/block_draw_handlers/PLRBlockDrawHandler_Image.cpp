#include "layout/block_draw_handlers/PLRBlockDrawHandler_Image.h"

#include "layout/base/PLRLayoutImageProvider.h"
#include "platform-ui/Fonts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

QColor PLRBlockDrawHandler_Image::placeholderColour()
{
    return QColor(0xE5, 0xE5, 0xE5);
}

QColor PLRBlockDrawHandler_Image::errorColour()
{
    return QColor(0xFF, 0x3B, 0x30);
}

QRectF PLRBlockDrawHandler_Image::imageRectInBlock(const QRectF& bounds, const QSizeF& imageSize, const PLRPosition* position)
{
    if (!(imageSize.width() > 0.0) || !(imageSize.height() > 0.0) || bounds.isEmpty())
        return {};
    const double fill = std::max(bounds.width() / imageSize.width(), bounds.height() / imageSize.height());
    double width = imageSize.width() * fill;
    if (position && std::isfinite(position->width()) && position->width() > 0.0f)
        width = std::max(width, double(position->width()) * bounds.width());
    const double height = width * imageSize.height() / imageSize.width();

    double x = bounds.x() + (bounds.width() - width) / 2.0;
    double y = bounds.y() + (bounds.height() - height) / 2.0;
    if (position) {
        if (std::isfinite(position->x()))
            x = bounds.x() + double(position->x()) * bounds.width();
        if (std::isfinite(position->y()))
            y = bounds.y() + double(position->y()) * bounds.height();
    }
    // Keep the photo over the whole block (min/max: the bounds may cross by a rounding error).
    x = std::min(std::max(x, bounds.right() - width), bounds.x());
    y = std::min(std::max(y, bounds.bottom() - height), bounds.y());
    return QRectF(x, y, width, height);
}

void PLRBlockDrawHandler_Image::drawPlaceholder(QPainter& painter, const QRectF& bounds, bool missing)
{
    painter.fillRect(bounds, placeholderColour());
    if (!missing)
        return;
    const double diameter = std::min(24.0, std::min(bounds.width(), bounds.height()) * 0.5);
    if (diameter < 4.0)
        return;
    const QRectF mark(bounds.center().x() - diameter / 2, bounds.center().y() - diameter / 2, diameter, diameter);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(errorColour());
    painter.drawEllipse(mark);
    // An exclamation mark: a bar and a dot.
    painter.setBrush(Qt::white);
    const double unit = diameter / 12.0;
    painter.drawRoundedRect(QRectF(mark.center().x() - unit, mark.top() + 2.5 * unit, 2 * unit, 4.5 * unit), unit, unit);
    painter.drawEllipse(QPointF(mark.center().x(), mark.top() + 9.0 * unit), unit, unit);
    painter.restore();
}

void PLRBlockDrawHandler_Image::drawKeywordBadges(QPainter& painter, const QRectF& bounds, const QStringList& keywords)
{
    if (keywords.isEmpty() || bounds.isEmpty())
        return;
    const QFont font = platform::ui::systemFont(11, platform::ui::FontWeight::Medium);
    const QFontMetricsF metrics(font);
    constexpr double margin = 6.0, gap = 4.0, padX = 6.0, padY = 3.0;
    const double badgeHeight = std::ceil(metrics.height()) + 2 * padY;
    painter.save();
    painter.setClipRect(bounds, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setFont(font);
    double x = bounds.left() + margin;
    double y = bounds.bottom() - margin - badgeHeight;
    for (const QString& keyword : keywords) {
        if (keyword.isEmpty())
            continue;
        const double width = std::ceil(metrics.horizontalAdvance(keyword)) + 2 * padX;
        if (x > bounds.left() + margin && x + width > bounds.right() - margin) {
            x = bounds.left() + margin;   // next line, above
            y -= badgeHeight + gap;
        }
        if (y < bounds.top())
            break;
        const QRectF badge(x, y, width, badgeHeight);
        QPainterPath path;
        path.addRoundedRect(badge, 4, 4);
        painter.fillPath(path, QColor(0, 0, 0, 153));
        painter.setPen(Qt::white);
        painter.drawText(badge, Qt::AlignCenter | Qt::TextSingleLine, keyword);
        x += width + gap;
    }
    painter.restore();
}

void PLRBlockDrawHandler_Image::drawBlock(QPainter& painter, const QRectF& bounds, const PLRBlock& block,
                                          const PLRBlockDrawContext& context)
{
    if (bounds.isEmpty())
        return;
    const PLRBlock* imageBlock = &block;
    const QString identifier = QString::fromStdString(imageBlock->image().img_ref());
    const PLRLayoutImageProvider* provider = context.images;
    if (!provider || identifier.isEmpty() || !provider->hasImage(identifier)) {
        drawPlaceholder(painter, bounds, true);
        return;
    }
    const bool exporting = context.exporting;
    const double scale = std::abs(painter.worldTransform().m11()) * painter.device()->devicePixelRatioF();
    const bool fullSize = exporting || bounds.width() * (scale > 0 ? scale : 1.0) > kStandardLayoutWidth;
    QImage picture = fullSize ? provider->fullSizeImage(identifier) : provider->exportImage(identifier);
    if (picture.isNull() && fullSize)
        picture = provider->exportImage(identifier);
    if (picture.isNull()) {
        drawPlaceholder(painter, bounds, false);
    } else {
        // The photo's own size places the crop (a cached picture may be smaller).
        QSizeF size = provider->imageSize(identifier);
        if (!(size.width() > 0.0) || !(size.height() > 0.0))
            size = picture.size();
        const QRectF target = imageRectInBlock(bounds, size, imageBlock->image().has_position() ? &imageBlock->image().position() : nullptr);
        painter.save();
        painter.setClipRect(bounds, Qt::IntersectClip);
        const QTransform transform = painter.worldTransform();
        const QRectF onDevice = transform.mapRect(target);
        if (transform.type() <= QTransform::TxScale && std::abs(onDevice.width() - picture.width()) < 1.0
            && std::abs(onDevice.height() - picture.height()) < 1.0) {
            // A picture made at the size it is drawn (an export's): placed pixel for pixel,
            // not resampled by a fraction of a pixel.
            painter.resetTransform();
            painter.drawImage(QPointF(std::round(onDevice.x()), std::round(onDevice.y())), picture);
        } else {
            painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
            painter.drawImage(target, picture);
        }
        painter.restore();
    }
    if (context.keywordOverlay && context.canvasMarks)
        drawKeywordBadges(painter, bounds, provider->focusKeywords(identifier));
}
