#include "controls/PLRCheckboxButton.h"

#include "controls/KitHelpers.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"

#include <QPainterPath>

#include <cmath>

using namespace platform::ui;

void PLRDrawButtonTitle(GraphicsContext& context, const QString& title, const Color& color, double x, const QSizeF& size)
{
    if (title.isEmpty())
        return;
    const AttributedString text(title, {{kFontAttributeName, systemFont(11.0)},
                                        {kForegroundColorAttributeName, QVariant::fromValue(color)},
                                        {kParagraphStyleAttributeName, QVariant::fromValue(ParagraphStyle{TextAlignment::Left})}});
    TextLayout layout(text, QSizeF(size.width(), 1e9));
    const double th = layout.usedRect().height();
    context.save();
    context.clipToRect(QRectF(0, 0, size.width(), size.height()));
    context.drawAttributedString(text, QRectF(x, (size.height() - th) * 0.5, size.width(), th));
    context.restore();
}

PLRCheckboxButton::PLRCheckboxButton(QWidget* parent)
    : Button(parent),
      m_activeTextColor(namedColor(QStringLiteral("plrTextColor"))),
      m_inactiveTextColor(namedColor(QStringLiteral("plrTextCheckboxInactive"))),
      m_disabledTextColor(namedColor(QStringLiteral("plrTextControlDisabled"))),
      m_checked(namedImage(QStringLiteral("checkbox-checked"))),
      m_checkedDisabled(namedImage(QStringLiteral("checkbox-checked-disabled"))),
      m_unchecked(namedImage(QStringLiteral("checkbox-unchecked"))),
      m_uncheckedDisabled(namedImage(QStringLiteral("checkbox-unchecked-disabled"))),
      m_uncheckedHighlighted(namedImage(QStringLiteral("checkbox-unchecked-highlighted"))),
      m_checkedHighlighted(namedImage(QStringLiteral("checkbox-checked-highlighted")))
{
    setButtonType(ButtonType::Switch);
    setBordered(false);
}

QRectF PLRCheckboxButton::boxRect() const
{
    return integralRect(QRectF(QPointF(2.0, 2.0), pointSize(m_checked)));
}

Color PLRCheckboxButton::titleColor() const
{
    if (!isEnabled())
        return m_disabledTextColor;
    return state() == StateOn ? m_activeTextColor : m_inactiveTextColor;
}

const QImage& PLRCheckboxButton::boxImage() const
{
    if (state() == StateOn)
        return isEnabled() ? m_checked : m_checkedDisabled;
    return isEnabled() ? m_unchecked : m_uncheckedDisabled;
}

const QImage* PLRCheckboxButton::highlightImage() const
{
    if (!isHighlighted())
        return nullptr;
    return state() == StateOn ? &m_checkedHighlighted : &m_uncheckedHighlighted;
}

void PLRCheckboxButton::drawRect(GraphicsContext& context, const QRectF&)
{
    const QRectF rect = boxRect();
    context.drawImage(boxImage(), rect);
    if (const QImage* over = highlightImage())
        context.drawImage(*over, rect);
    PLRDrawButtonTitle(context, title(), titleColor(), 24.0, size());
}

PLRRadioButton::PLRRadioButton(QWidget* parent)
    : Button(parent),
      m_activeColor(namedColor(QStringLiteral("plrRadioButtonActive"))),
      m_inactiveColor(namedColor(QStringLiteral("plrRadioButtonInactive"))),
      m_highlightColor(namedColor(QStringLiteral("plrRadioButtonHighlight")))
{
    setButtonType(ButtonType::Radio);
    setBordered(false);
}

void PLRRadioButton::drawRect(GraphicsContext& context, const QRectF&)
{
    const bool on = state() == StateOn;
    QPainterPath outer;
    outer.addEllipse(m_circleFrame);
    if (isHighlighted())
        context.fillPath(outer, m_highlightColor);
    QPainterPath inner;
    inner.addEllipse(m_circleFrame.adjusted(m_insetAmount, m_insetAmount, -m_insetAmount, -m_insetAmount));
    const Color stroke = on ? m_activeColor : m_inactiveColor;
    if (on)
        context.fillPath(inner, m_activeColor);
    context.strokePath(outer, stroke, 1.0);
    PLRDrawButtonTitle(context, title(), on ? m_activeColor : m_inactiveColor, 20.0, size());
}
