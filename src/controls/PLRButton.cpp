#include "controls/PLRButton.h"

#include "controls/KitHelpers.h"
#include "platform-ui/Animation.h"
#include "platform-ui/Window.h"

#include <QFontMetricsF>

#include <cmath>

using namespace platform::ui;

namespace {

Color grey(double brightness) { return Color::fromHSB(0, 0, brightness, 1.0); }
Color platformGray() { return Color(0.5, 0.5, 0.5); }

QPainterPath shadowStrip(const QRectF& bounds)
{
    QPainterPath path;
    path.addRect(QRectF(0, bounds.height() - 5, bounds.width() - 1, 5));
    return path;
}

} // namespace

PLRButton::PLRButton(QWidget* parent)
    : Button(parent),
      primaryBackgroundColor(grey(0.11)),
      secondaryBackgroundColor(Color::clear()),
      secondaryBackgroundColorHover(Color::black()),
      secondaryTitleColor(grey(0.5)),
      secondaryTitleColorPressed(grey(0.5)),
      secondaryTitleColorHover(Color::white()),
      secondaryBorderColor(grey(0.74))
{
    setBordered(false);
    setup();
}

void PLRButton::setup()
{
    setWantsLayer(true);
    TransactionScope scope(true);
    Layer* root = layer();
    root->setMasksToBounds(false);
    auto container = std::make_unique<Layer>();
    container->name = QStringLiteral("containerLayer");
    container->setMasksToBounds(false);
    root->setCornerRadius(0);
    container->setBackgroundColor(Color::black());
    auto title = std::make_unique<TextLayer>();
    title->name = QStringLiteral("titleLayer");
    title->setDelegate(this);
    auto icon = std::make_unique<ShapeLayer>();
    icon->name = QStringLiteral("alternateIconLayer");
    icon->setDelegate(this);
    icon->setMasksToBounds(true);
    icon->setFillColor(std::nullopt);
    container->setShadowOffset(QSizeF(0, 3));
    container->setShadowRadius(1.5);
    container->setShadowColor(Color::clear());
    container->setShadowPath(shadowStrip(bounds()));
    container->setShadowOpacity(0.6);
    container->setFrame(bounds());
    m_alternateIconLayer = container->addSublayer(std::move(icon));
    m_titleLayer = container->addSublayer(std::move(title));
    m_containerLayer = root->addSublayer(std::move(container));
    // The hover shadow lies outside the button: let it show there.
    setShadowOverhang(3.0 + 2.0 * 1.5 + 1.0);
    titleStep();
}

void PLRButton::awakeFromNib()
{
    addTrackingArea(bounds(), TrackingMouseEnteredAndExited | TrackingActiveAlways | TrackingInVisibleRect
                                  | TrackingEnabledDuringMouseDrag);
}

void PLRButton::setTitle(const QString& title)
{
    Button::setTitle(title);
    titleStep();
}

void PLRButton::setFont(const QFont& font)
{
    Button::setFont(font);
    m_hasFont = true;
    titleStep();
}

void PLRButton::setFrame(const QRectF& frame)
{
    View::setFrame(frame);
    layoutSubviews(); // container, shadow strip and title follow at once

}

void PLRButton::setEnabled(bool enabled)
{
    Button::setEnabled(enabled);
    setAlphaValue(enabled ? 1.0 : 0.5);
}

void PLRButton::setButtonStyle(qint64 style)
{
    m_buttonStyle = style;
    applyRestingLook();
}

void PLRButton::applyRestingLook()
{
    TransactionScope scope(true);
    if (m_buttonStyle == Primary) {
        m_containerLayer->setBackgroundColor(primaryBackgroundColor);
        layer()->setBorderWidth(0);
    } else {
        m_containerLayer->setBackgroundColor(Color::clear());
        layer()->setBorderColor(secondaryBorderColor);
        layer()->setBorderWidth(1.0);
        m_titleLayer->setForegroundColor(secondaryTitleColor);
    }
}

void PLRButton::titleStep()
{
    if (!m_hasFont)
        return; // a new button shows no title until it has a font
    TransactionScope scope(true);
    m_titleLayer->setString(title());
    m_titleLayer->setFont(font());
    m_titleLayer->setFontSize(font().pointSizeF() > 0 ? font().pointSizeF() : double(font().pixelSize()));
    titleLayout();
}

void PLRButton::titleLayout()
{
    if (!m_titleLayer)
        return;
    const QFontMetricsF metrics(font());
    const QSizeF text(metrics.horizontalAdvance(title()), metrics.height());
    const QRectF b = bounds();
    const double x = std::round((b.width() - text.width()) * 0.5);
    const double y = std::round((b.height() - text.height()) * 0.5);
    TransactionScope scope(true);
    m_titleLayer->setFrame(integralRect(QRectF(x, y, text.width(), text.height())));
}

void PLRButton::layoutSubviews()
{
    TransactionScope scope(true);
    m_containerLayer->setFrame(bounds());
    m_containerLayer->setShadowPath(shadowStrip(bounds()));
    titleLayout();
}

void PLRButton::removeAnimations()
{
    layer()->removeAllAnimations();
    for (const auto& sub : layer()->sublayers())
        sub->removeAllAnimations();
}

void PLRButton::applyPressedLook(bool pressed)
{
    removeAnimations();
    TransactionScope scope(true);
    if (m_buttonStyle != Primary) {
        m_titleLayer->setForegroundColor(pressed ? secondaryTitleColorPressed : Color::white());
        m_containerLayer->setShadowColor(pressed ? Color::clear() : platformGray());
    } else {
        m_titleLayer->setForegroundColor(pressed ? platformGray() : Color::white());
    }
}

void PLRButton::setPressed(bool on)
{
    const int wanted = on ? StateOn : StateOff;
    if (state() == wanted)
        return;
    setState(wanted);
    applyPressedLook(state() == StateOn);
}

QWidget* PLRButton::hitTest(const QPointF& pointInSuperview)
{
    if (!isEnabled())
        return nullptr;
    return Button::hitTest(pointInSuperview);
}

void PLRButton::mouseDown(const MouseEvent&)
{
    if (!isEnabled())
        return;
    m_mouseDown = true;
    setPressed(state() != StateOn);
    animateColor(m_containerLayer, QStringLiteral("shadowColor"), Color::clear(), 0.0);
}

void PLRButton::mouseEntered(const MouseEvent&)
{
    TransactionScope scope(true);
    if (m_mouseDown)
        setPressed(state() != StateOn);
    else
        m_containerLayer->setShadowColor(platformGray());
    if (m_buttonStyle == Secondary) {
        layer()->setBorderWidth(0);
        m_containerLayer->setBackgroundColor(secondaryBackgroundColorHover);
        if (!m_mouseDown)
            m_titleLayer->setForegroundColor(secondaryTitleColorHover);
    }
}

void PLRButton::mouseExited(const MouseEvent&)
{
    TransactionScope scope(true);
    if (m_mouseDown)
        setPressed(false);
    if (m_buttonStyle == Secondary) {
        layer()->setBorderWidth(1.0);
        m_containerLayer->setBackgroundColor(Color::clear());
        m_titleLayer->setForegroundColor(secondaryTitleColor);
    }
    m_containerLayer->setShadowColor(Color::clear());
}

void PLRButton::mouseUp(const MouseEvent& event)
{
    if (!m_mouseDown)
        return;
    m_mouseDown = false;
    setPressed(false);
    if (!bounds().contains(event.locationIn(this)))
        return;
    if (m_buttonStyle == Primary) {
        TransactionScope scope(true);
        m_containerLayer->setShadowColor(platformGray());
    }
    sendAction();
}

void PLRButton::mouseCancelled()
{
    if (!m_mouseDown)
        return;
    m_mouseDown = false;
    setPressed(false);
}

void PLRButton::animateColor(Layer* layer, const QString& keyPath, const Color& color, double duration)
{
    const QVariant current = layer->valueForKeyPath(keyPath);
    if (current.isValid() && current.canConvert<Color>() && current.value<Color>() == color)
        return;
    auto animation = BasicAnimation::withKeyPath(keyPath);
    animation->fromValue = current;
    animation->toValue = QVariant::fromValue(color);
    animation->duration = duration;
    animation->removedOnCompletion = false;
    animation->fillMode = FillMode::Forwards;
    layer->addAnimation(std::move(animation), keyPath);
    TransactionScope scope(true);
    layer->setValueForKeyPath(keyPath, QVariant::fromValue(color));
}
