#include "layout/block_draw_handlers/PLRBlockDrawHandler_DownloadButton.h"

#include "platform-ui/Fonts.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

constexpr double kLineWidth = 2.0;

QString titleOf(const PLRBlock_Download_Button& button)
{
    return QString::fromStdString(button.title());
}

} // namespace

PLRBlockDrawHandler_DownloadButton::Metrics PLRBlockDrawHandler_DownloadButton::metricsForSize(int size)
{
    switch (size) {
    case PLRBlock_Download_Button::SMALL: return {32.0, 12.0, 16.0};
    case PLRBlock_Download_Button::LARGE: return {48.0, 16.0, 24.0};
    default: return {40.0, 14.0, 20.0};
    }
}

QFont PLRBlockDrawHandler_DownloadButton::titleFont(int size)
{
    return platform::ui::systemFont(metricsForSize(size).fontSize, platform::ui::FontWeight::Medium);
}

QColor PLRBlockDrawHandler_DownloadButton::colour(int downloadColour)
{
    switch (downloadColour) {
    case PLRBlock_Download_Button::BLACK: return QColor(0, 0, 0);
    case PLRBlock_Download_Button::GREY: return QColor(0x80, 0x80, 0x80);
    case PLRBlock_Download_Button::WHITE: return QColor(0xFF, 0xFF, 0xFF);
    default: return QColor(Qt::transparent);
    }
}

QColor PLRBlockDrawHandler_DownloadButton::titleColour(int fillColour, int lineColour)
{
    if (fillColour == PLRBlock_Download_Button::BLACK || fillColour == PLRBlock_Download_Button::GREY)
        return QColor(0xFF, 0xFF, 0xFF);
    if (fillColour == PLRBlock_Download_Button::NONE && lineColour != PLRBlock_Download_Button::NONE
        && lineColour != PLRBlock_Download_Button::WHITE)
        return colour(lineColour);
    return QColor(0, 0, 0);
}

double PLRBlockDrawHandler_DownloadButton::cornerRadius(int style, double height)
{
    switch (style) {
    case PLRBlock_Download_Button::ROUNDED: return std::min(6.0, height / 2.0);
    case PLRBlock_Download_Button::PILL: return height / 2.0;
    default: return 0.0;
    }
}

QRectF PLRBlockDrawHandler_DownloadButton::buttonRectInBlock(const QRectF& bounds, const PLRBlock_Download_Button& button)
{
    const Metrics metrics = metricsForSize(button.size());
    double titleWidth = 0.0;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        titleWidth = QFontMetricsF(titleFont(button.size())).horizontalAdvance(titleOf(button));
    const double width = std::min(bounds.width(), std::ceil(titleWidth) + 2.0 * metrics.horizontalPadding);
    const double height = std::min(bounds.height(), metrics.height);
    return QRectF(bounds.x() + (bounds.width() - width) / 2.0, bounds.y() + (bounds.height() - height) / 2.0,
                  std::max(0.0, width), std::max(0.0, height));
}

double PLRBlockDrawHandler_DownloadButton::heightForWidth(const PLRBlock_Download_Button& button, double width)
{
    Q_UNUSED(width);
    return metricsForSize(button.size()).height;
}

void PLRBlockDrawHandler_DownloadButton::drawBlock(QPainter& painter, const QRectF& bounds, const PLRBlock& block,
                                                   const PLRBlockDrawContext& context)
{
    if (bounds.isEmpty())
        return;
    const PLRBlock_Download_Button& button = block.download_button();
    const bool hovered = context.canvasMarks && context.hoverBlock == &block;
    const int fill = hovered ? button.hover_fill_colour() : button.fill_colour();
    const int line = hovered ? button.hover_line_colour() : button.line_colour();

    const QRectF rect = buttonRectInBlock(bounds, button);
    if (rect.isEmpty())
        return;
    const double radius = cornerRadius(button.style(), rect.height());
    painter.save();
    painter.setClipRect(bounds, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath shape;
    shape.addRoundedRect(rect, radius, radius);
    if (fill != PLRBlock_Download_Button::NONE)
        painter.fillPath(shape, colour(fill));
    if (line != PLRBlock_Download_Button::NONE) {
        const QRectF inner = rect.adjusted(kLineWidth / 2, kLineWidth / 2, -kLineWidth / 2, -kLineWidth / 2);
        const double innerRadius = std::max(0.0, radius - kLineWidth / 2);
        painter.setPen(QPen(colour(line), kLineWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(inner, innerRadius, innerRadius);
    }
    painter.setFont(titleFont(button.size()));
    painter.setPen(titleColour(fill, line));
    painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, titleOf(button));
    painter.restore();
}
