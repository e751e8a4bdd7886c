#include "controls/PLRLinkButtons.h"

#include "controls/ColorWithHex.h"
#include "platform/Log.h"
#include "platform-ui/Cursor.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

using namespace platform::ui;

namespace {

AttributedString titleWith(const QString& title, const QFont& font, const Color& colour, TextAlignment alignment,
                           bool underline = false)
{
    QVariantMap attributes{{kFontAttributeName, font},
                           {kForegroundColorAttributeName, QVariant::fromValue(colour)},
                           {kParagraphStyleAttributeName, QVariant::fromValue(ParagraphStyle{alignment})}};
    if (underline)
        attributes.insert(kUnderlineStyleAttributeName, 1);
    return AttributedString(title, attributes);
}

} // namespace

// ---------------------------------------------------------------- control module's link button

namespace Pellora_Publish {

PLRLinkButton::PLRLinkButton(QWidget* parent)
    : Button(parent),
      m_defaultColor(namedColor(QStringLiteral("plrTextLinkColor"))),
      m_activeColor(namedColor(QStringLiteral("plrTextLinkColorActive")))
{
    setBordered(false);
}

void PLRLinkButton::awakeFromNib()
{
    addTrackingArea(bounds(), TrackingMouseEnteredAndExited | TrackingActiveAlways | TrackingInVisibleRect
                                  | TrackingEnabledDuringMouseDrag);
    applyTitleColor(m_defaultColor);
}

void PLRLinkButton::setTitle(const QString& title)
{
    Button::setTitle(title);
    resetAttributedTitle();
}

void PLRLinkButton::applyTitleColor(const Color& color)
{
    AttributedString title = attributedTitle() ? *attributedTitle()
                                               : titleWith(Button::title(), font(), color, alignment());
    title.addAttribute(kForegroundColorAttributeName, QVariant::fromValue(color), title.wholeRange());
    setAttributedTitle(title);
}

void PLRLinkButton::mouseDown(const MouseEvent& event)
{
    applyTitleColor(m_activeColor);
    Button::mouseDown(event);
}

void PLRLinkButton::mouseUp(const MouseEvent& event)
{
    // The press ends here, inside or outside: the title goes back to the default colour.
    Button::mouseUp(event);
    applyTitleColor(m_defaultColor);
}

void PLRLinkButton::mouseCancelled()
{
    Button::mouseCancelled();
    applyTitleColor(m_defaultColor);
}

void PLRLinkButton::mouseEntered(const MouseEvent&)
{
    if (!isEnabled())
        return;
    Cursor::pointingHandCursor().set();
    m_cursorSet = true;
}

void PLRLinkButton::mouseExited(const MouseEvent&)
{
    // The hand set on entering goes also when the button was disabled in between.
    if (!isEnabled() && !m_cursorSet)
        return;
    Cursor::arrowCursor().set();
    m_cursorSet = false;
}

} // namespace Pellora_Publish

// ---------------------------------------------------------------- plain link button

PLRLinkButton::PLRLinkButton(QWidget* parent) : Button(parent)
{
    setBordered(false);
}

void PLRLinkButton::awakeFromNib()
{
    setAttributedTitle(titleWith(title(), font(), m_titleColour, alignment(), m_drawUnderline));
}

// ---------------------------------------------------------------- gradient button

PLRGradientButton::PLRGradientButton(QWidget* parent) : Button(parent)
{
    setBordered(false);
}

void PLRGradientButton::awakeFromNib()
{
    setWantsLayer(true);
    layer()->setCornerRadius(double(m_borderRadius));
    layer()->setMasksToBounds(true);
    if (m_drawBorder) {
        layer()->setBorderColor(m_borderColour);
        layer()->setBorderWidth(1.0);
    }
    setAttributedTitle(titleWith(title(), font(), m_titleColour, alignment()));
}

void PLRGradientButton::setTitle(const QString& title)
{
    Button::setTitle(title);
    const Color colour = isEnabled() ? m_titleColour : m_titleColour.withAlpha(0.26);
    setAttributedTitle(titleWith(title, font(), colour, alignment()));
}

void PLRGradientButton::setTitleColour(const Color& colour)
{
    m_titleColour = colour;
    setTitle(title());
}

void PLRGradientButton::setEnabled(bool enabled)
{
    Button::setEnabled(enabled);
    setTitle(title());
}

std::optional<std::pair<Color, Color>> PLRGradientButton::gradientColours() const
{
    if (!isEnabled()) {
        if (!m_disabledColour)
            return std::nullopt;
        return std::make_pair(*m_disabledColour, *m_disabledColour);
    }
    if (!m_startColour || !m_endColour)
        return std::nullopt;
    if (isHighlighted()) {
        PLR_LOG_DEBUG(QStringLiteral("highlighting"));
        return std::make_pair(ColorWithHex::darkerColor(*m_startColour), ColorWithHex::darkerColor(*m_endColour));
    }
    return std::make_pair(*m_startColour, *m_endColour);
}

void PLRGradientButton::drawRect(GraphicsContext& context, const QRectF& dirtyRect)
{
    // Without its colours the button draws only its title.
    if (const auto colours = gradientColours(); colours && context.painter()) {
        const QRectF b = bounds();
        // 90 degrees: the start colour at the bounds' minimum y (the bottom), the end at the top.
        QLinearGradient gradient(QPointF(0, b.top()), QPointF(0, b.bottom()));
        gradient.setColorAt(0.0, colours->first.toQColor());
        gradient.setColorAt(1.0, colours->second.toQColor());
        context.painter()->fillRect(b, gradient);
    }
    if (m_drawBorder && m_borderColour) {
        QPainterPath border;
        border.addRoundedRect(bounds(), double(m_borderRadius), double(m_borderRadius));
        context.strokePath(border, *m_borderColour, 1.0);
    }
    Button::drawRect(context, dirtyRect);
}

// ---------------------------------------------------------------- flat button

PLRFlatButton::PLRFlatButton(QWidget* parent) : Button(parent)
{
    setBordered(false);
}

void PLRFlatButton::awakeFromNib()
{
    setWantsLayer(true);
    layer()->setCornerRadius(7.0);
    layer()->setMasksToBounds(true);
    ensureBGColour(false);
}

void PLRFlatButton::updateTrackingAreas()
{
    if (!trackingAreas().empty())
        return;
    addTrackingArea(bounds(), TrackingMouseEnteredAndExited | TrackingMouseMoved | TrackingActiveAlways
                                  | TrackingEnabledDuringMouseDrag);
}

void PLRFlatButton::mouseEntered(const MouseEvent&) { ensureBGColour(true); }
void PLRFlatButton::mouseExited(const MouseEvent&) { ensureBGColour(false); }

void PLRFlatButton::ensureBGColour(bool hovered)
{
    if (!layer())
        setWantsLayer(true);
    const Color grey = ColorWithHex::smb_breadCrumbGrey();
    layer()->setBackgroundColor(hovered ? grey.withAlpha(0.6) : grey);
}

// ---------------------------------------------------------------- spaced image

QRectF PLRSpacedImageButton::imageRectInBounds() const
{
    return Button::imageRectInBounds().translated(m_borderPadding, 0);
}
