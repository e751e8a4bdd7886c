#include "layout/block_draw_handlers/PLRBlockDrawHandler_Text.h"

#include "layout/text/PLRRichText.h"

#include "platform-ui/Fonts.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace {

bool canMeasureText()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

constexpr double kTallestText = 1.0e7;

} // namespace

QFont PLRBlockDrawHandler_Text::fontForStyle(int style)
{
    using platform::ui::FontWeight;
    QFont font;
    switch (style) {
    case PLRBlock_Text::HEADER1: font = platform::ui::systemFont(32, FontWeight::Bold); break;
    case PLRBlock_Text::HEADER2: font = platform::ui::systemFont(26, FontWeight::Bold); break;
    case PLRBlock_Text::HEADER3: font = platform::ui::systemFont(22, FontWeight::Bold); break;
    case PLRBlock_Text::HEADER4: font = platform::ui::systemFont(18, FontWeight::Bold); break;
    case PLRBlock_Text::HEADER5: font = platform::ui::systemFont(15, FontWeight::Bold); break;
    default: font = platform::ui::systemFont(14); break;
    }
    // Unhinted glyph advances: text wraps the same at every scale it is drawn at (screen,
    // exports), so the measured height always fits.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QColor PLRBlockDrawHandler_Text::textColour()
{
    return QColor(0x22, 0x22, 0x22);
}

double PLRBlockDrawHandler_Text::widthFraction(const PLRBlock_Text& text)
{
    const double fraction = text.has_position() ? double(text.position().width()) : 1.0;
    return std::isfinite(fraction) && fraction > 0.0 && fraction <= 1.0 ? fraction : 1.0;
}

int PLRBlockDrawHandler_Text::textFlags(const PLRBlock_Text& text)
{
    int flags = Qt::TextWordWrap | Qt::AlignTop;
    switch (text.position().alignment()) {
    case PLRPosition::CENTRE: flags |= Qt::AlignHCenter; break;
    case PLRPosition::RIGHT: flags |= Qt::AlignRight; break;
    case PLRPosition::JUSTIFY: flags |= Qt::AlignJustify; break;
    default: flags |= Qt::AlignLeft; break;
    }
    return flags;
}

QRectF PLRBlockDrawHandler_Text::textRectInBlock(const QRectF& block, const PLRBlock_Text& text)
{
    const double inset = std::min({kTextInset, block.width() / 4.0, block.height() / 4.0});
    const QRectF bounds = block.adjusted(inset, inset, -inset, -inset);
    const double width = bounds.width() * widthFraction(text);
    double x = bounds.x();
    switch (text.position().alignment()) {
    case PLRPosition::RIGHT: x = bounds.right() - width; break;
    case PLRPosition::CENTRE:
    case PLRPosition::JUSTIFY: x = bounds.x() + (bounds.width() - width) / 2.0; break;
    default: break;
    }
    return QRectF(x, bounds.y(), width, bounds.height());
}

std::unique_ptr<QTextDocument> PLRBlockDrawHandler_Text::documentForText(const PLRBlock_Text& text, double width)
{
    if (!canMeasureText() || !std::isfinite(width))
        return nullptr;
    auto document = std::make_unique<QTextDocument>();
    document->setDocumentMargin(0);
    document->setUndoRedoEnabled(false);
    QTextOption option = document->defaultTextOption();
    option.setAlignment(Qt::Alignment(textFlags(text) & Qt::AlignHorizontal_Mask));
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document->setDefaultTextOption(option);
    PLRRichTextHTML::toDocument(PLRRichTextHTML::richTextOfBlock(text), document.get(), fontForStyle(text.style()), textColour());
    document->setTextWidth(std::max(1.0, width));
    return document;
}

double PLRBlockDrawHandler_Text::heightForWidth(const PLRBlock_Text& text, double blockWidth)
{
    if (!canMeasureText() || !std::isfinite(blockWidth))
        return 0.0;
    const QFontMetricsF metrics(fontForStyle(text.style()));
    // The text's own height and the inner margin above and below it.
    const double inset = std::min(kTextInset, std::max(0.0, blockWidth) / 4.0);
    if (QString::fromStdString(text.value()).trimmed().isEmpty())
        return std::ceil(metrics.height() + 2.0 * inset);
    const std::unique_ptr<QTextDocument> document = documentForText(text, std::max(1.0, (blockWidth - 2.0 * inset) * widthFraction(text)));
    const double height = document ? std::min(document->size().height(), kTallestText) : 0.0;
    return std::ceil(std::max(height, metrics.height()) + 2.0 * inset);
}

void PLRBlockDrawHandler_Text::drawBlock(QPainter& painter, const QRectF& bounds, const PLRBlock& block,
                                         const PLRBlockDrawContext& context)
{
    if (bounds.isEmpty())
        return;
    const PLRBlock_Text& text = block.text();
    if (text.value().empty()) {
        drawEmptyTextHint(painter, bounds, block, context);
        return;
    }
    const QRectF box = textRectInBlock(bounds, text);
    const std::unique_ptr<QTextDocument> document = documentForText(text, box.width());
    if (!document)
        return;
    painter.save();
    painter.setClipRect(bounds, Qt::IntersectClip);
    painter.translate(box.topLeft());
    document->drawContents(&painter, QRectF(QPointF(0, 0), box.size()));
    painter.restore();
}

QString PLRBlockDrawHandler_Text::emptyTextHint()
{
    return QStringLiteral("Double-click to write");
}

void PLRBlockDrawHandler_Text::drawEmptyTextHint(QPainter& painter, const QRectF& bounds, const PLRBlock& block,
                                                 const PLRBlockDrawContext& context)
{
    // On the canvas an empty text block shows where it is and how to fill it; exports and
    // previews show nothing, and neither does the block while it is being written in.
    if (!context.canvasMarks || context.editBlock == &block)
        return;
    const PLRBlock_Text& text = block.text();
    painter.save();
    painter.setClipRect(bounds, Qt::IntersectClip);
    painter.setFont(fontForStyle(text.style()));
    painter.setPen(QColor(0xA0, 0xA0, 0xA0));
    painter.drawText(textRectInBlock(bounds, text), textFlags(text), emptyTextHint());
    painter.restore();
}
