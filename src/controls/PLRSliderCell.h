#pragma once

#include "platform-ui/Controls.h"

#include <QImage>

#include <cmath>
#include <QTimer>

#include <optional>

class PLRSlider;

// Draws a slider as a thin rounded bar in two named colours (the part up to the value in the
// second), a knob from the image "knob" and its own tick marks. The gallery style keeps the
// plain knob and places the bar differently.
class PLRSliderCell {
public:
    PLRSliderCell();

    platform::ui::Color sliderInactiveBg() const { return m_inactive; }
    platform::ui::Color sliderActiveBg() const { return m_active; }
    bool isGalleryStyle() const { return m_isGalleryStyle; }
    QImage knobImage() const { return m_knobImage; }
    qint64 galleryStyle() const { return m_galleryStyle; }
    // Any value switches to the gallery style, 0 included.
    void setGalleryStyle(qint64 style) { m_galleryStyle = style; m_isGalleryStyle = true; }
    std::optional<QRectF> barRect() const { return m_barRect; }

    void awakeFromNib();

    // The bar inside B (y of the bar from the style and the contents scale, the filled part
    // (value - min) / (max - min) x (control width - 8) wide; none when min equals max).
    void drawBarInside(platform::ui::GraphicsContext& context, const QRectF& bar, const PLRSlider* control);
    // The knob for the knob rectangle K, scaled into the last bar rectangle.
    void drawKnob(platform::ui::GraphicsContext& context, const QRectF& knob);
    void drawTickMarks(platform::ui::GraphicsContext& context, const PLRSlider* control);
    // The x of the knob image for the knob rectangle (K.x when no bar was drawn or it is 0 wide).
    double knobImageX(const QRectF& knob) const;
    // The width of the filled part of the bar.
    static double activeWidth(double value, double minimum, double maximum, double controlWidth);

private:
    platform::ui::Color m_inactive;
    platform::ui::Color m_active;
    bool m_isGalleryStyle = false;
    QImage m_knobImage;
    std::optional<QRectF> m_barRect;
    qint64 m_galleryStyle = 0;
};

// A horizontal slider (value between a minimum and a maximum, optional tick marks) drawn by
// its PLRSliderCell. Dragging or clicking sets the value; a continuous slider sends its action
// while dragging, otherwise on release. Tab reaches it (it shows the focus ring); the arrow keys
// step it (by one tick interval, or a twentieth of the range without ticks), Page Up and Page
// Down by a fifth of the range, Home and End to the minimum and the maximum; each key that
// moves the value sends the action.
class PLRSlider : public platform::ui::Control {
    Q_OBJECT
public:
    explicit PLRSlider(QWidget* parent = nullptr);

    PLRSliderCell& cell() { return m_cell; }
    const PLRSliderCell& cell() const { return m_cell; }

    double minValue() const { return m_min; }
    void setMinValue(double value) { m_min = value; update(); }
    double maxValue() const { return m_max; }
    void setMaxValue(double value) { m_max = value; update(); }
    double doubleValue() const { return m_value; }
    qint64 integerValue() const { return qint64(std::llround(m_value)); }
    // Kept between the minimum and the maximum.
    void setDoubleValue(double value);
    qint64 numberOfTickMarks() const { return m_ticks; }
    void setNumberOfTickMarks(qint64 count) { m_ticks = std::max<qint64>(0, count); update(); }
    bool isContinuous() const { return m_continuous; }
    void setContinuous(bool continuous) { m_continuous = continuous; }
    // The layer's contents scale the bar's position depends on (1 on a plain display).
    double contentsScale() const;

    // The bar and knob rectangles as the slider lays them out.
    QRectF barRect() const;
    QRectF knobRect() const;
    static constexpr double kKnobSize = 14.0;

    // What one arrow key and one Page Up or Page Down move the value by.
    double keyboardStep() const;
    double pageStep() const;

    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseDragged(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;
    QSize sizeHint() const override { return QSize(160, 22); }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void trackTo(double x);
    // Sets the value from the keyboard; sends the action when it moved.
    void keyTo(double value);
    PLRSliderCell m_cell;
    double m_min = 0.0;
    double m_max = 1.0;
    double m_value = 0.0;
    qint64 m_ticks = 0;
    bool m_continuous = true;
};
