#pragma once

#include "platform-ui/Controls.h"

#include <QImage>
#include <QTimer>

// Draws a stepper's up and down halves from the images "stepper-up" and "stepper-down",
// darkening the half that is pressed, and follows the pointer during a click to know which
// half shows pressed.
class PLRStepperCell {
public:
    enum StepperState : quint8 { upHighlighted = 0, downHighlighted = 1, inactive = 2 };

    PLRStepperCell() = default;
    void awakeFromNib();

    QImage stepperUpImage() const { return m_up; }
    QImage stepperDownImage() const { return m_down; }
    StepperState currentStepperState() const { return m_current; }
    void setCurrentStepperState(StepperState state) { m_current = state; }
    StepperState originalStepperState() const { return m_original; }
    void setOriginalStepperState(StepperState state) { m_original = state; }

    // The image with each colour component halved (the pressed look).
    static QImage darkenedImage(const QImage& image);

    void drawWithFrame(platform::ui::GraphicsContext& context, const QRectF& frame) const;
    // A click starts at the point (the control's coordinates, y up) of a cell of the frame.
    void startTracking(const QPointF& point, const QRectF& frame);
    void continueTracking(const QPointF& point, const QRectF& controlBounds);
    void stopTracking();
    // No highlight: nothing shows pressed.
    void unhighlight() { m_current = inactive; }

private:
    QImage m_up;
    QImage m_down;
    StepperState m_current = inactive;
    StepperState m_original = inactive;
};

// A stepper: a value between a minimum and a maximum that the up and down halves change by
// the increment (wrapping when asked), repeating while a half is held. Tab reaches it (it shows
// the focus ring around its two halves); Up and Right step it up, Down and Left step it down.
class PLRStepper : public platform::ui::Control {
    Q_OBJECT
public:
    explicit PLRStepper(QWidget* parent = nullptr);

    PLRStepperCell& cell() { return m_cell; }

    double minValue() const { return m_min; }
    void setMinValue(double value) { m_min = value; }
    double maxValue() const { return m_max; }
    void setMaxValue(double value) { m_max = value; }
    double increment() const { return m_increment; }
    void setIncrement(double increment) { m_increment = increment; }
    bool valueWraps() const { return m_wraps; }
    void setValueWraps(bool wraps) { m_wraps = wraps; }
    bool autorepeat() const { return m_autorepeat; }
    void setAutorepeat(bool repeat) { m_autorepeat = repeat; }
    double doubleValue() const { return m_value; }
    qint64 integerValue() const { return qint64(std::llround(m_value)); }
    // Kept between the minimum and the maximum (equal limits hold the one value).
    void setDoubleValue(double value);
    // One step up or down, as the halves do; sends the action when the value changed.
    void stepUp();
    void stepDown();

    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseDragged(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;
    void mouseCancelled() override;
    QSize sizeHint() const override { return QSize(19, 30); }
    // The ring goes around the two halves as drawn.
    QRectF focusRingMaskBounds() const override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void step(bool up);
    void repeatStep();
    PLRStepperCell m_cell;
    double m_min = 0.0;
    double m_max = 100.0;
    double m_increment = 1.0;
    double m_value = 0.0;
    bool m_wraps = false;
    bool m_autorepeat = true;
    // The half the click began on (true: up) and whether the pointer is over it.
    bool m_trackingUp = false;
    bool m_overOriginalHalf = false;
    QTimer m_repeat;
};
