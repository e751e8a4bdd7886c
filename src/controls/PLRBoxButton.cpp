#include "controls/PLRBoxButton.h"

#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform-ui/AttributedString.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"
#include "platform-ui/UINotifications.h"
#include "platform/Resets.h"

#include <QCursor>
#include <QKeyEvent>

#include <cmath>
using namespace platform::ui;

namespace {

Color labelColor() { return Color(0.0, 0.0, 0.0, 0.85); }
Color grayColor() { return Color(0.5, 0.5, 0.5, 1.0); }
Color whiteColor() { return Color(1.0, 1.0, 1.0, 1.0); }
Color blackColor() { return Color(0.0, 0.0, 0.0, 1.0); }

PLRBoxButton::PointerLocator& pointerLocator()
{
    static PLRBoxButton::PointerLocator locator;
    static const bool joined = platform::resets::add([] { locator = nullptr; });
    Q_UNUSED(joined);
    return locator;
}

QPointF systemPointerLocation(const PLRBoxButton* tile)
{
    return tile->fromQt(QPointF(tile->mapFromGlobal(QCursor::pos())));
}

} // namespace

PLRBoxButton::PLRBoxButton(QWidget* parent) : Box(parent)
{
    m_highlightColor = namedColor(QStringLiteral("plrBoxButtonHighlightColor"));
    m_borderColor = namedColor(QStringLiteral("plrControlBorderColor"));
    m_labelColorDisabled = namedColor(QStringLiteral("plrTextControlDisabled"));
    m_recycleEnabled = namedImage(QStringLiteral("recycle-button-icon"));
    m_recyclePressed = namedImage(QStringLiteral("recycle-button-icon-p"));
    m_recycleDisabled = namedImage(QStringLiteral("recycle-button-icon-disabled"));
    m_cropEnabled = namedImage(QStringLiteral("crop-button-icon"));
    m_cropPressed = namedImage(QStringLiteral("crop-button-icon-p"));
    m_cropDisabled = namedImage(QStringLiteral("crop-button-icon-disabled"));
    // Reached by Tab (a click leaves the keyboard where it was).
    setFocusPolicy(Qt::TabFocus);
}

void PLRBoxButton::setPointerLocator(PointerLocator locator)
{
    pointerLocator() = std::move(locator);
}

void PLRBoxButton::setUpDefaultContent(const QString& caption)
{
    setBorderColor(m_borderColor);
    setBorderWidth(1.0);
    setCornerRadius(4.0);
    setFillColor(Color::clear());
    auto* box = new Box(this);
    box->setBorderWidth(0.0);
    box->setCornerRadius(4.0);
    box->setFillColor(blackColor());
    auto* icon = new ImageView(box);
    icon->setFrame(QRectF(3, 3, 24, 24));
    icon->setImage(normalImage());
    auto* text = new TextField(this);
    text->setFont(systemFont(11));
    text->setStringValue(caption);
    text->setTextColor(labelColor());
    m_imageBox = box;
    m_image = icon;
    m_label = text;
    m_placesDefaultContent = true;
    layoutSubviews();
    awakeFromNib();
}

void PLRBoxButton::layoutSubviews()
{
    if (!m_placesDefaultContent || !m_imageBox || !m_label)
        return;
    // The icon box at the left, the caption beside it, both centred vertically.
    const double h = height();
    m_imageBox->setFrame(QRectF(8, (h - 30) / 2.0, 30, 30));
    // The caption wraps beside the icon; a longer one (the disabled tile's explanation) takes
    // a smaller size, so that every line stays inside the tile.
    const double textWidth = std::max(0.0, width() - 48.0);
    const double available = std::max(0.0, h - 4.0);
    const QString caption = m_label->stringValue();
    double textHeight = 0.0;
    for (const double points : {11.0, 10.0, 9.0}) {
        const QFont font = systemFont(points);
        const AttributedString measured(caption, {{QString::fromLatin1(kFontAttributeName), font}});
        textHeight = std::ceil(TextLayout(measured, QSizeF(std::max(0.0, textWidth - 2 * TextField::kTextInset), 1e9))
                                   .usedRect()
                                   .height());
        if (m_label->font() != font)
            m_label->setFont(font);
        if (textHeight <= available)
            break;
    }
    textHeight = std::min(std::max(textHeight, 14.0), available);
    m_label->setFrame(QRectF(44, (h - textHeight) / 2.0, textWidth, textHeight));
}

void PLRBoxButton::awakeFromNib()
{
    if (!m_trackingArea)
        m_trackingArea = addTrackingArea(bounds(), TrackingMouseEnteredAndExited | TrackingMouseMoved | TrackingActiveAlways
                                                       | TrackingInVisibleRect | TrackingEnabledDuringMouseDrag);
    m_enabledTextString = m_label ? m_label->stringValue() : QString();
}

void PLRBoxButton::updateTrackingAreas()
{
    // The area follows the visible rectangle; nothing to rebuild.
}

void PLRBoxButton::setDelegate(PLRBoxButtonDelegate* delegate, QObject* lifetime)
{
    m_delegate = delegate;
    m_delegateLifetime = lifetime;
    m_delegateHasLifetime = lifetime != nullptr;
}

QImage PLRBoxButton::normalImage() const { return m_isRecycleButton ? m_recycleEnabled : m_cropEnabled; }
QImage PLRBoxButton::pressedImage() const { return m_isRecycleButton ? m_recyclePressed : m_cropPressed; }
QImage PLRBoxButton::disabledImage() const { return m_isRecycleButton ? m_recycleDisabled : m_cropDisabled; }

void PLRBoxButton::setCaptionColor(const Color& color)
{
    if (m_label)
        m_label->setTextColor(color);
}

void PLRBoxButton::setIcon(const QImage& image)
{
    if (m_image)
        m_image->setImage(image);
}

void PLRBoxButton::setIsEnabled(bool enabled)
{
    m_isEnabled = enabled;
    refreshEnabledLook();
}

void PLRBoxButton::refreshEnabledLook()
{
    // A disabled tile is no Tab stop; one that had the keyboard gives it on.
    if (!m_isEnabled && hasFocus())
        focusNextChild();
    setFocusPolicy(m_isEnabled ? Qt::TabFocus : Qt::NoFocus);
    focusRingChanged();
    if (m_isEnabled) {
        setIcon(normalImage());
        if (m_imageBox)
            m_imageBox->setFillColor(blackColor());
        setCaptionColor(m_isMouseOver ? whiteColor() : labelColor());
        if (m_label)
            m_label->setStringValue(m_enabledTextString);
        layoutSubviews();
    } else {
        setIcon(disabledImage());
        if (m_imageBox)
            m_imageBox->setFillColor(m_borderColor);
        setCaptionColor(m_labelColorDisabled);
        if (m_label)
            m_label->setStringValue(m_disabledTextString);
        layoutSubviews();
    }
}

void PLRBoxButton::mouseEntered(const MouseEvent&)
{
    if (!m_isEnabled)
        return;
    if (m_isMouseDown) {
        setCaptionColor(grayColor());
        setIcon(pressedImage());
    } else {
        setCaptionColor(whiteColor());
    }
    setFillColor(m_highlightColor);
    setBorderColor(m_highlightColor);
    m_isMouseOver = true;
    PLRBoxButtonDelegate* delegate = (m_delegateHasLifetime && !m_delegateLifetime) ? nullptr : m_delegate;
    if (m_isRecycleButton && delegate) {
        m_hoverAnnounced = true;
        delegate->recycleButtonMouseOver();
    }
}

void PLRBoxButton::exitedLook()
{
    setFillColor(Color::calibrated(0.0, 0.0, 0.0, 0.0));
    setBorderColor(m_borderColor);
    setCaptionColor(labelColor());
    setIcon(normalImage());
}

void PLRBoxButton::mouseExited(const MouseEvent&)
{
    PLRBoxButtonDelegate* delegate = (m_delegateHasLifetime && !m_delegateLifetime) ? nullptr : m_delegate;
    if (!m_isEnabled) {
        // A tile disabled under the pointer still notes that the pointer left, so that a later
        // release is not taken for a click and the owner's hover highlight goes off.
        m_isMouseOver = false;
        if (m_hoverAnnounced && m_isRecycleButton && delegate) {
            m_hoverAnnounced = false;
            delegate->recycleButtonMouseExit();
        }
        return;
    }
    exitedLook();
    m_isMouseOver = false;
    if (m_isRecycleButton && delegate) {
        m_hoverAnnounced = false;
        delegate->recycleButtonMouseExit();
    }
}

void PLRBoxButton::mouseDown(const MouseEvent&)
{
    if (!m_isEnabled)
        return;
    m_isMouseDown = true;
    setCaptionColor(grayColor());
    setIcon(pressedImage());
}

void PLRBoxButton::mouseUp(const MouseEvent&)
{
    m_isMouseDown = false;
    if (!m_isEnabled || !m_isMouseOver)
        return;
    setCaptionColor(whiteColor());
    setIcon(normalImage());
    QPointer<PLRBoxButton> self(this);
    if (!tellDelegateOfClick() || !self)
        return;
    platform::dispatchMain([self] {
        if (self)
            self->checkPointerAfterClick();
    });
}

void PLRBoxButton::mouseCancelled()
{
    if (!m_isMouseDown)
        return;
    m_isMouseDown = false;
    if (!m_isEnabled)
        return;
    if (m_isMouseOver) {
        setCaptionColor(whiteColor());
        setIcon(normalImage());
    } else {
        exitedLook();
    }
}

bool PLRBoxButton::tellDelegateOfClick()
{
    PLRBoxButtonDelegate* delegate = (m_delegateHasLifetime && !m_delegateLifetime) ? nullptr : m_delegate;
    if (!delegate)
        return false;
    if (m_isRecycleButton)
        delegate->recycleButtonClicked();
    else
        delegate->cropButtonClicked();
    return true;
}

void PLRBoxButton::keyPressEvent(QKeyEvent* event)
{
    if (m_isEnabled && Control::isActivationKey(event)) {
        event->accept();
        QPointer<PLRBoxButton> self(this);
        tellDelegateOfClick();
        // What the click changed may have shown the tile's page anew: the keyboard stays on the
        // tile as long as it is there to take it.
        if (self && !hasFocus() && isVisible() && m_isEnabled && QWidget::isEnabled())
            setFocus(Qt::OtherFocusReason);
        return;
    }
    Box::keyPressEvent(event);
}

void PLRBoxButton::drawFocusRingMask(GraphicsContext& context)
{
    context.fillPath(roundedRectPath(focusRingMaskBounds(), 4.0, 4.0), Color::black());
}

void PLRBoxButton::checkPointerAfterClick()
{
    // A tile that is no longer in a window has nothing to check.
    if (!parentWidget() || window() == this)
        return;
    // A tile its own click hid is under no pointer, wherever the pointer is.
    const QPointF point = pointerLocator() ? pointerLocator()(this) : systemPointerLocation(this);
    if (isVisible() && bounds().contains(point))
        return;
    // The idle look, and the owner hears the pointer left (once: hiding the tile may already
    // have told it).
    if (m_isMouseOver || m_hoverAnnounced)
        mouseExited(MouseEvent{});
    platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kPLR_NOTIFICATION_RECYCLE_TOGGLE_OUTLINE), nullptr);
}
