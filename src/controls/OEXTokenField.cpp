#include "controls/OEXTokenField.h"

#include "controls/ColorWithHex.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

OEXTokenField::OEXTokenField(QWidget* parent) : PLRTokenField(parent)
{
}

QSizeF OEXTokenField::cellSizeForTitleSize(const QSizeF& titleSize)
{
    return QSizeF(std::ceil(titleSize.width() + 35.0), kTokenHeight);
}

QSizeF OEXTokenField::tokenSizeForTitle(const QString& title) const
{
    const QFontMetricsF metrics(font());
    return cellSizeForTitleSize(QSizeF(metrics.horizontalAdvance(title) + 2.0, metrics.height()));
}

QRectF OEXTokenField::titleRectForBounds(const QRectF& bounds)
{
    const QRectF widened(bounds.x() + 15.0, bounds.y(), std::max(bounds.height() + 2.0, bounds.width()), bounds.height());
    return widened.adjusted(2.0, 9.0, -2.0, -9.0);
}

QColor OEXTokenField::tokenFillColorForDrawingMode(OEXTokenDrawingMode)
{
    return ColorWithHex::colorWithHexColor(0xEEF9FA, 1.0).toQColor();
}

QColor OEXTokenField::tokenStrokeColorForDrawingMode(OEXTokenDrawingMode mode)
{
    // The pill's own fill colour outlines a highlighted or selected token; a token in the
    // default mode has no stroke.
    switch (mode) {
    case OEXTokenDrawingModeDefault:
        return QColor();
    case OEXTokenDrawingModeHighlighted:
    case OEXTokenDrawingModeSelected:
        return ColorWithHex::colorWithHexColor(0xEEF9FA, 1.0).toQColor();
    }
    return QColor();
}

QColor OEXTokenField::tokenTitleColorForDrawingMode(OEXTokenDrawingMode)
{
    return ColorWithHex::colorWithHexColor(0x67C0C6, 1.0).toQColor();
}

OEXTokenDrawingMode OEXTokenField::tokenDrawingMode(qsizetype index) const
{
    const bool selected = index >= m_selectionStart && index < m_selectionStart + m_selectionLength;
    const bool keyboard = hasFocus() && isActiveWindow();
    return selected && keyboard ? OEXTokenDrawingModeSelected : OEXTokenDrawingModeDefault;
}

void OEXTokenField::drawToken(QPainter& painter, qsizetype index, const QRectF& frame, const QString& title, bool) const
{
    const OEXTokenDrawingMode mode = tokenDrawingMode(index);
    // The editor's selection shows behind a selected token (in the margin around its pill), as
    // a text selection does.
    if (mode == OEXTokenDrawingModeSelected)
        painter.fillRect(frame, palette().color(QPalette::Active, QPalette::Highlight));
    const QRectF body = frame.adjusted(2.0, 0.0, -2.0, 0.0);
    QPainterPath path;
    path.addRoundedRect(body, 5.0, 5.0);
    // Only the inner half of the 3-point stroke shows.
    painter.setClipPath(path);
    const QColor fill = tokenFillColorForDrawingMode(mode);
    if (fill.isValid())
        painter.fillPath(path, fill);
    const QColor stroke = tokenStrokeColorForDrawingMode(mode);
    if (stroke.isValid())
        painter.strokePath(path, QPen(stroke, 3.0));
    painter.setClipping(false);
    painter.setPen(tokenTitleColorForDrawingMode(mode));
    const QRectF titleRect = titleRectForBounds(body);
    const QString elided = QFontMetricsF(font()).elidedText(title, Qt::ElideRight, std::max(titleRect.width(), 0.0));
    painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter, elided);
}

void OEXTokenField::changeEvent(QEvent* event)
{
    PLRTokenField::changeEvent(event);
    if (event->type() == QEvent::ActivationChange)
        update();
}

QString OEXTokenField::selectedString() const
{
    QStringList selected;
    for (qsizetype i = m_selectionStart; i < m_selectionStart + m_selectionLength; ++i)
        if (i >= 0 && i < m_tokens.size())
            selected << m_tokens.at(i);
    return selected.join(QLatin1Char(' '));
}

void OEXTokenField::copySelection()
{
    if (m_selectionLength <= 0)
        return;
    QApplication::clipboard()->setText(selectedString());
}

void OEXTokenField::paste()
{
    pasteString(QApplication::clipboard()->text());
}

void OEXTokenField::pasteString(const QString& text)
{
    if (text.isEmpty())
        return;
    commitPendingText();
    QStringList words;
    for (const QString& word : text.split(QLatin1Char(' ')))
        for (const QString& line : word.split(QLatin1Char('\n')))
            for (const QString& piece : line.split(QLatin1Char(',')))   // no keyword ends in a comma
                if (!piece.isEmpty())
                    words << piece;
    if (words.isEmpty())
        return;
    QStringList tokens = m_tokens;
    // The selection is clamped to the tokens there are.
    const qsizetype location = std::clamp<qsizetype>(m_selectionStart, 0, tokens.size());
    const qsizetype length = std::clamp<qsizetype>(m_selectionLength, 0, tokens.size() - location);
    const bool replace = length > 0;
    if (replace)
        tokens.remove(location, length);
    const qsizetype at = replace ? location : tokens.size();
    for (qsizetype i = 0; i < words.size(); ++i)
        tokens.insert(at + i, words.at(i));
    m_selectionLength = 0;
    replaceTokens(tokens, true);
}
