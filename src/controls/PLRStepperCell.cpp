#include "controls/PLRStepperCell.h"

#include "platform-ui/Images.h"

#include <QKeyEvent>

#include <cmath>

using namespace platform::ui;

void PLRStepperCell::awakeFromNib()
{
    m_up = namedImage(QStringLiteral("stepper-up"));
    m_down = namedImage(QStringLiteral("stepper-down"));
}

QImage PLRStepperCell::darkenedImage(const QImage& image)
{
    if (image.isNull())
        return image;
    // A white point of mid grey: every colour component halves, transparency is kept.
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgba(qRed(p) / 2, qGreen(p) / 2, qBlue(p) / 2, qAlpha(p));
        }
    }
    out.setDevicePixelRatio(image.devicePixelRatio());
    return out;
}

void PLRStepperCell::drawWithFrame(GraphicsContext& context, const QRectF& frame) const
{
    if (!m_up.isNull()) {
        const QImage up = m_current == upHighlighted ? darkenedImage(m_up) : m_up;
        const QSizeF size = pointSize(m_up);
        context.drawImage(up, QRectF(QPointF(6.0, frame.y() + frame.height() - size.height() - 6.0), size));
    }
    if (!m_down.isNull()) {
        const QImage down = m_current == downHighlighted ? darkenedImage(m_down) : m_down;
        const QSizeF size = pointSize(m_down);
        context.drawImage(down, QRectF(QPointF(6.0, frame.y() + size.height() + 4.0), size));
    }
}

void PLRStepperCell::startTracking(const QPointF& point, const QRectF& frame)
{
    m_current = point.y() > frame.height() * 0.5 ? upHighlighted : downHighlighted;
    m_original = m_current;
}

void PLRStepperCell::continueTracking(const QPointF& point, const QRectF& bounds)
{
    if (bounds.contains(point)) {
        m_current = point.y() > bounds.height() * 0.5 ? upHighlighted : downHighlighted;
        if (m_current != m_original)
            m_current = inactive;
    } else {
        m_current = inactive;
    }
}

void PLRStepperCell::stopTracking()
{
    m_current = inactive;
}

// ------------------------------------------------------------------------------------------

PLRStepper::PLRStepper(QWidget* parent) : Control(parent)
{
    m_cell.awakeFromNib();
    // Reached by Tab, as the kit's buttons are (a click leaves the focus where it was).
    setFocusPolicy(Qt::TabFocus);
    m_repeat.setSingleShot(false);
    connect(&m_repeat, &QTimer::timeout, this, [this] { repeatStep(); });
}

void PLRStepper::setDoubleValue(double value)
{
    if (!std::isfinite(value))
        return;
    m_value = std::clamp(value, std::min(m_min, m_max), std::max(m_min, m_max));
}

void PLRStepper::step(bool up)
{
    const double before = m_value;
    double next = m_value + (up ? m_increment : -m_increment);
    const double low = std::min(m_min, m_max), high = std::max(m_min, m_max);
    if (next > high)
        next = (m_wraps && high > low) ? low : high;
    else if (next < low)
        next = (m_wraps && high > low) ? high : low;
    m_value = next;
    if (m_value != before)
        sendAction();
}

void PLRStepper::stepUp() { step(true); }
void PLRStepper::stepDown() { step(false); }

void PLRStepper::repeatStep()
{
    if (!m_overOriginalHalf)
        return;
    m_repeat.setInterval(100);
    step(m_trackingUp);
}

void PLRStepper::drawRect(GraphicsContext& context, const QRectF&)
{
    m_cell.drawWithFrame(context, bounds());
}

void PLRStepper::mouseDown(const MouseEvent& event)
{
    if (!isEnabled())
        return;
    const QPointF p = event.locationIn(this);
    m_cell.startTracking(p, bounds());
    m_trackingUp = m_cell.currentStepperState() == PLRStepperCell::upHighlighted;
    m_overOriginalHalf = true;
    update();
    step(m_trackingUp);
    if (m_autorepeat)
        m_repeat.start(500);
}

void PLRStepper::mouseDragged(const MouseEvent& event)
{
    if (!isEnabled())
        return;
    m_cell.continueTracking(event.locationIn(this), bounds());
    m_overOriginalHalf = m_cell.currentStepperState() != PLRStepperCell::inactive;
    update();
}

void PLRStepper::mouseUp(const MouseEvent&)
{
    m_repeat.stop();
    m_cell.stopTracking();
    m_overOriginalHalf = false;
    update();
}

void PLRStepper::mouseCancelled()
{
    // No more steps: the press that repeated them is over.
    m_repeat.stop();
    m_cell.stopTracking();
    m_overOriginalHalf = false;
    update();
}

QRectF PLRStepper::focusRingMaskBounds() const
{
    // The halves as drawWithFrame places them (y up): the down half's foot to the up half's top.
    const QImage up = m_cell.stepperUpImage(), down = m_cell.stepperDownImage();
    if (up.isNull() || down.isNull())
        return bounds();
    const QRectF b = bounds();
    const QSizeF upSize = pointSize(up), downSize = pointSize(down);
    const QRectF upRect(QPointF(6.0, b.y() + b.height() - upSize.height() - 6.0), upSize);
    const QRectF downRect(QPointF(6.0, b.y() + downSize.height() + 4.0), downSize);
    return upRect.united(downRect);
}

void PLRStepper::keyPressEvent(QKeyEvent* event)
{
    if (!isEnabled() || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        Control::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right:
        step(true);
        break;
    case Qt::Key_Down:
    case Qt::Key_Left:
        step(false);
        break;
    default:
        Control::keyPressEvent(event);
        return;
    }
    event->accept();
}
