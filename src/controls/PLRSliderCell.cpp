#include "controls/PLRSliderCell.h"

#include "platform-ui/Images.h"

#include <QKeyEvent>

#include <cmath>

using namespace platform::ui;

PLRSliderCell::PLRSliderCell()
{
    m_inactive = namedColor(QStringLiteral("plrSliderInactiveBg"));
    m_active = namedColor(QStringLiteral("plrSliderActiveBg"));
}

void PLRSliderCell::awakeFromNib()
{
    m_knobImage = namedImage(QStringLiteral("knob"));
}

double PLRSliderCell::activeWidth(double value, double minimum, double maximum, double controlWidth)
{
    const double span = maximum - minimum;
    // A slider whose minimum equals its maximum has nothing to fill (and no division by 0).
    if (!(std::abs(span) > 0.0) || !std::isfinite(span))
        return 0.0;
    const double width = (value - minimum) / span * (controlWidth - 8.0);
    return std::isfinite(width) ? std::max(0.0, width) : 0.0;
}

void PLRSliderCell::drawBarInside(GraphicsContext& context, const QRectF& bar, const PLRSlider* control)
{
    m_barRect = bar;
    double y = 0.0;
    const double scale = control ? control->contentsScale() : 0.0;
    if (!control || scale <= 0.0)
        y = m_isGalleryStyle ? bar.y() - 1.0 : bar.y() + 2.0;
    else if (scale == 1.0)
        y = m_isGalleryStyle ? bar.y() + 1.0 : bar.y() + 2.0;
    else
        y = m_isGalleryStyle ? bar.y() + 2.0 * scale - 3.0 : bar.y() + 2.0 * scale;
    const double controlWidth = control ? control->frame().width() : 0.0;
    const double a = control ? activeWidth(control->doubleValue(), control->minValue(), control->maxValue(), controlWidth) : 0.0;
    context.fillPath(roundedRectPath(QRectF(bar.x(), y, bar.width(), 3.0), 2.0, 2.0), m_inactive);
    context.fillPath(roundedRectPath(QRectF(bar.x(), y, a, 3.0), 2.0, 2.0), m_active);
    // No redisplay is asked for from inside the drawing: the control redraws when its value,
    // size or look changes, never in a loop.
}

double PLRSliderCell::knobImageX(const QRectF& knob) const
{
    const double barWidth = m_barRect ? m_barRect->width() : 0.0;
    if (!(barWidth > 0.0))
        return knob.x();
    const double w = pointSize(m_knobImage).width();
    return knob.x() * (barWidth - (w - knob.width())) / barWidth;
}

void PLRSliderCell::drawKnob(GraphicsContext& context, const QRectF& knob)
{
    if (m_isGalleryStyle || m_knobImage.isNull()) {
        // The plain knob: a white disc with a thin grey ring.
        QPainterPath disc;
        disc.addEllipse(knob.adjusted(0.5, 0.5, -0.5, -0.5));
        context.fillPath(disc, Color::white());
        context.strokePath(disc, Color(0.7, 0.7, 0.7), 1.0);
        return;
    }
    const QSizeF size = pointSize(m_knobImage);
    context.drawImage(m_knobImage, QRectF(QPointF(knobImageX(knob), knob.y() - 1.0), size));
}

void PLRSliderCell::drawTickMarks(GraphicsContext& context, const PLRSlider* control)
{
    if (!control || control->numberOfTickMarks() <= 0)
        return;
    const qint64 n = control->numberOfTickMarks();
    const double w = control->bounds().width() - 6.0;
    const double d = n > 1 ? w / double(n - 1) : 0.0;
    double x = 12.0;
    for (qint64 i = 0; i < n; ++i) {
        context.fillRect(QRectF(std::round(x), 20.0, 1.0, 4.0), m_active);
        x += d;
    }
}

// ------------------------------------------------------------------------------------------

PLRSlider::PLRSlider(QWidget* parent) : Control(parent)
{
    m_cell.awakeFromNib();
    // Reached by Tab, as the kit's buttons are (a click leaves the focus where it was).
    setFocusPolicy(Qt::TabFocus);
}

void PLRSlider::setDoubleValue(double value)
{
    if (!std::isfinite(value))
        return;
    const double low = std::min(m_min, m_max), high = std::max(m_min, m_max);
    m_value = std::clamp(value, low, high);
    update();
}

double PLRSlider::contentsScale() const
{
    return layer() ? devicePixelRatioF() : 0.0;
}

QRectF PLRSlider::barRect() const
{
    const QRectF b = bounds();
    return QRectF(2.0, b.height() / 2.0 - 3.5, std::max(0.0, b.width() - 4.0), 5.0);
}

QRectF PLRSlider::knobRect() const
{
    const QRectF b = bounds();
    const double span = m_max - m_min;
    const double fraction = std::abs(span) > 0.0 ? std::clamp((m_value - m_min) / span, 0.0, 1.0) : 0.0;
    const double travel = std::max(0.0, b.width() - kKnobSize);
    return QRectF(fraction * travel, (b.height() - kKnobSize) / 2.0, kKnobSize, kKnobSize);
}

void PLRSlider::drawRect(GraphicsContext& context, const QRectF&)
{
    m_cell.drawBarInside(context, barRect(), this);
    m_cell.drawTickMarks(context, this);
    m_cell.drawKnob(context, knobRect());
}

void PLRSlider::trackTo(double x)
{
    const double travel = std::max(0.0, width() - kKnobSize);
    const double fraction = travel > 0.0 ? std::clamp((x - kKnobSize / 2.0) / travel, 0.0, 1.0) : 0.0;
    setDoubleValue(m_min + fraction * (m_max - m_min));
}

void PLRSlider::mouseDown(const MouseEvent& event)
{
    if (!isEnabled())
        return;
    trackTo(event.locationIn(this).x());
    if (m_continuous)
        sendAction();
}

void PLRSlider::mouseDragged(const MouseEvent& event)
{
    if (!isEnabled())
        return;
    trackTo(event.locationIn(this).x());
    if (m_continuous)
        sendAction();
}

void PLRSlider::mouseUp(const MouseEvent& event)
{
    if (!isEnabled())
        return;
    trackTo(event.locationIn(this).x());
    sendAction();
}

double PLRSlider::keyboardStep() const
{
    const double span = std::abs(m_max - m_min);
    if (m_ticks >= 2)
        return span / double(m_ticks - 1);
    return span / 20.0;
}

double PLRSlider::pageStep() const
{
    return std::max(keyboardStep(), std::abs(m_max - m_min) / 5.0);
}

void PLRSlider::keyTo(double value)
{
    const double before = m_value;
    setDoubleValue(value);
    if (m_value != before)
        sendAction();
}

void PLRSlider::keyPressEvent(QKeyEvent* event)
{
    if (!isEnabled() || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        Control::keyPressEvent(event);
        return;
    }
    // The value grows towards the maximum, whichever limit is the larger.
    const double direction = m_max >= m_min ? 1.0 : -1.0;
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Up:
        keyTo(m_value + direction * keyboardStep());
        break;
    case Qt::Key_Left:
    case Qt::Key_Down:
        keyTo(m_value - direction * keyboardStep());
        break;
    case Qt::Key_PageUp:
        keyTo(m_value + direction * pageStep());
        break;
    case Qt::Key_PageDown:
        keyTo(m_value - direction * pageStep());
        break;
    case Qt::Key_Home:
        keyTo(m_min);
        break;
    case Qt::Key_End:
        keyTo(m_max);
        break;
    default:
        Control::keyPressEvent(event);
        return;
    }
    event->accept();
}
