#include "controls/PLRSwitchButton.h"

#include "platform/Log.h"

#include <QKeyEvent>
#include <QLineF>

using namespace platform::ui;

namespace {
const TimingFunction kSwitchTiming(0.25, 1.0, 0.5, 1.0);
constexpr double kStateChangeDuration = 0.4;
} // namespace

PLRSwitchButton::PLRSwitchButton(QWidget* parent) : Control(parent)
{
    setUp();
}

PLRSwitchButton::PLRSwitchButton(const QRectF& frame, QWidget* parent) : Control(parent)
{
    setFrame(frame);
    setUp();
}

void PLRSwitchButton::setUp()
{
    QWidget::setEnabled(true);
    // Keyboard focus comes by Tab only, never by a click.
    setFocusPolicy(Qt::TabFocus);
    setUpLayers();
}

Color PLRSwitchButton::tintColor() const
{
    return m_tintColor ? *m_tintColor : Color::calibrated(0.2, 0.2, 0.2, 1.0);
}

void PLRSwitchButton::setTintColor(const Color& color)
{
    m_tintColor = color;
    reloadLayer();
}

Color PLRSwitchButton::disabledBorderColor() const
{
    return m_disabledBorderColor ? *m_disabledBorderColor : Color::clear();
}

void PLRSwitchButton::setDisabledBorderColor(const Color& color)
{
    m_disabledBorderColor = color;
    reloadLayer();
}

void PLRSwitchButton::setUpLayers()
{
    TransactionScope scope(true);
    auto root = std::make_unique<Layer>();
    root->name = QStringLiteral("root");
    root->setMasksToBounds(false);
    m_rootLayer = root.get();
    setLayer(std::move(root));

    auto background = std::make_unique<Layer>();
    background->name = QStringLiteral("background");
    background->setAutoresizingMask(LayerWidthSizable | LayerHeightSizable);
    background->setAnchorPoint(QPointF(0, 0));
    background->setBounds(m_rootLayer->bounds());
    background->setPosition(QPointF(0, 0));
    background->setBorderWidth(1.0);
    m_backgroundLayer = m_rootLayer->addSublayer(std::move(background));

    auto knob = std::make_unique<Layer>();
    knob->name = QStringLiteral("knob");
    knob->setFrame(rectForKnob());
    knob->setAutoresizingMask(LayerHeightSizable);
    knob->setBackgroundColor(Color::calibrated(1.0, 1.0, 1.0, 1.0));
    knob->setShadowColor(Color::black());
    knob->setShadowOffset(QSizeF(0, -2));
    knob->setShadowRadius(1.0);
    knob->setShadowOpacity(0.0);
    m_knobLayer = m_rootLayer->addSublayer(std::move(knob));

    auto inside = std::make_unique<Layer>();
    inside->name = QStringLiteral("knobInside");
    inside->setFrame(m_knobLayer->bounds());
    inside->setAutoresizingMask(LayerWidthSizable | LayerHeightSizable);
    inside->setShadowColor(Color::black());
    inside->setShadowOffset(QSizeF(0, 0));
    inside->setShadowRadius(1.0);
    inside->setShadowOpacity(0.0);
    inside->setBackgroundColor(Color::white());
    m_knobInsideLayer = m_knobLayer->addSublayer(std::move(inside));

    reloadLayerSize();
    reloadLayer();
}

QRectF PLRSwitchButton::rectForKnob() const
{
    const QRectF track = m_backgroundLayer ? m_backgroundLayer->bounds() : bounds();
    const double w = track.width();
    const double h = knobHeightForSize(track.size());
    const double base = (w - 2.0) / kGoldenRatio;
    const bool offSide = (!m_dragged && !m_checked) || (m_dragged && !m_draggingTowardsOn);
    if (offSide)
        return QRectF(1.0, 1.0, base - 4.0, h);
    return QRectF(w - base + 3.0, 1.0, base - 4.0, h);
}

void PLRSwitchButton::reloadLayerSize()
{
    if (!m_knobLayer)
        return;
    TransactionScope scope(true);
    m_backgroundLayer->setBounds(QRectF(QPointF(0, 0), bounds().size()));
    m_backgroundLayer->setPosition(QPointF(0, 0));
    m_knobLayer->setFrame(rectForKnob());
    m_knobInsideLayer->setFrame(m_knobLayer->bounds());
    m_backgroundLayer->setCornerRadius(m_backgroundLayer->bounds().height() / 2.0);
    m_knobLayer->setCornerRadius(m_knobLayer->bounds().height() / 2.0);
    m_knobInsideLayer->setCornerRadius(m_knobLayer->bounds().height() / 2.0);
}

void PLRSwitchButton::reloadLayer()
{
    if (!m_knobLayer)
        return;
    Transaction::begin();
    Transaction::setAnimationDuration(kStateChangeDuration);
    const bool onLook = (m_dragged && m_draggingTowardsOn) || (!m_dragged && m_checked);
    if (onLook) {
        m_backgroundLayer->setBorderColor(tintColor());
        m_backgroundLayer->setBackgroundColor(tintColor());
    } else {
        m_backgroundLayer->setBorderColor(disabledBorderColor());
        m_backgroundLayer->setBackgroundColor(Color::calibrated(0.8, 0.8, 0.8, 1.0));
    }
    m_rootLayer->setOpacity(isEnabled() ? 1.0 : 0.5);
    if (!m_dragged)
        Transaction::setAnimationTimingFunction(kSwitchTiming);
    m_knobLayer->setFrame(rectForKnob());
    m_knobInsideLayer->setFrame(m_knobLayer->bounds());
    Transaction::commit();
}

void PLRSwitchButton::layoutSubviews()
{
    reloadLayerSize();
}

void PLRSwitchButton::setChecked(bool checked)
{
    if (checked != m_checked) {
        m_checked = checked;
        propagateValue(QVariant(checked), QString::fromLatin1(kBindingChecked));
    }
    reloadLayer();
}

void PLRSwitchButton::setEnabled(bool enabled)
{
    QWidget::setEnabled(enabled);
    reloadLayer();
}

void PLRSwitchButton::mouseDown(const MouseEvent& event)
{
    if (!isEnabled())
        return;
    m_active = true;
    m_pressPoint = event.locationIn(this);
    reloadLayer();
}

void PLRSwitchButton::mouseDragged(const MouseEvent& event)
{
    if (!isEnabled() || !m_active)
        return;
    const QPointF point = event.locationIn(this);
    if (!m_dragged && QLineF(m_pressPoint, point).length() < kDragThreshold)
        return;
    m_dragged = true;
    m_draggingTowardsOn = point.x() >= bounds().width() * 0.5;
    reloadLayer();
}

void PLRSwitchButton::mouseCancelled()
{
    // Only a release flips the switch: it stays as it was.
    if (!m_active)
        return;
    m_active = false;
    m_dragged = false;
    m_draggingTowardsOn = false;
    reloadLayer();
}

void PLRSwitchButton::mouseUp(const MouseEvent&)
{
    if (!isEnabled() || !m_active)
        return;
    m_active = false;
    // Every release flips the switch, wherever the drag ended: the state always changes.
    m_dragged = false;
    m_draggingTowardsOn = false;
    setChecked(!m_checked);
    invokeTargetAction();
}

void PLRSwitchButton::drawFocusRingMask(GraphicsContext& context)
{
    const QRectF b = focusRingMaskBounds();
    context.fillPath(roundedRectPath(b, b.height() / 2.0, b.height() / 2.0), Color::black());
}

void PLRSwitchButton::changeEvent(QEvent* event)
{
    Control::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        reloadLayer();
}

void PLRSwitchButton::performClick()
{
    if (!isEnabled())
        return;
    setChecked(!m_checked);
    invokeTargetAction();
}

void PLRSwitchButton::moveLeft()
{
    if (!isEnabled() || !m_checked)
        return;
    setChecked(false);
    invokeTargetAction();
}

void PLRSwitchButton::moveRight()
{
    if (!isEnabled() || m_checked)
        return;
    setChecked(true);
    invokeTargetAction();
}

bool PLRSwitchButton::performKeyEquivalent(int key)
{
    if (key != Qt::Key_Space || !hasFocus() || !isEnabled())
        return false;
    setChecked(!m_checked);
    invokeTargetAction();
    return true;
}

void PLRSwitchButton::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space:
        if (performKeyEquivalent(event->key()))
            return;
        break;
    case Qt::Key_Left:
        moveLeft();
        return;
    case Qt::Key_Right:
        moveRight();
        return;
    default:
        break;
    }
    Control::keyPressEvent(event);
}

void PLRSwitchButton::invokeTargetAction()
{
    sendAction();
}

void PLRSwitchButton::bind(const QString& binding, const Binding& info)
{
    m_bindings.insert(binding, info);
}

void PLRSwitchButton::unbind(const QString& binding)
{
    m_bindings.remove(binding);
}

void PLRSwitchButton::propagateValue(const QVariant& value, const QString& binding)
{
    const auto found = m_bindings.constFind(binding);
    if (found == m_bindings.constEnd())
        return;
    const Binding& info = *found;
    QVariant pushed = value;
    static const char* kMethod = "-[PLRSwitchButton propagateValue:forBinding:]";
    if (info.hasTransformer) {
        if (info.reverseTransform)
            pushed = info.reverseTransform(value);
        else
            PLR_LOG_WARN(QStringLiteral("WARNING: binding \"%1\" has value transformer, but it doesn't allow reverse "
                                        "transformations in %2").arg(binding, QLatin1String(kMethod)));
    }
    if (!info.observedObject) {
        PLR_LOG_ERROR(QStringLiteral("ERROR: NSObservedObjectKey was nil for binding \"%1\" in %2").arg(binding, QLatin1String(kMethod)));
        return;
    }
    if (info.observedKeyPath.isEmpty()) {
        PLR_LOG_ERROR(QStringLiteral("ERROR: NSObservedKeyPathKey was nil for binding \"%1\" in %2").arg(binding, QLatin1String(kMethod)));
        return;
    }
    info.observedObject->setProperty(info.observedKeyPath.toUtf8().constData(), pushed);
}
