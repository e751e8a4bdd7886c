#pragma once

#include "platform-ui/Color.h"
#include "platform-ui/Layer.h"
#include "platform-ui/View.h"

#include <optional>

// A circular activity ring: a faint track and a coloured arc that grows, shrinks and turns; it
// can end on a tick mark.
class PLRSpinner : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRSpinner(const QRectF& frame, QWidget* parent = nullptr);

    bool isFlipped() const override { return true; }

    // Setters only store; they take effect at the next set-up.
    platform::ui::Color backgroundColour();
    void setBackgroundColour(const platform::ui::Color& colour) { m_backgroundColour = colour; }
    platform::ui::Color foregroundColour();
    void setForegroundColour(const platform::ui::Color& colour) { m_foregroundColour = colour; }
    double spinnerWidth() const { return m_spinnerWidth == 0.0 ? 5.0 : m_spinnerWidth; }
    void setSpinnerWidth(double width) { m_spinnerWidth = width; }
    bool isAnimating() const { return m_running; }

    void awakeFromNib() { setup(); }
    void setup();
    void startAnimating();
    void stopAnimating(bool showTick);

    platform::ui::ShapeLayer* trackLayer() const { return m_track; }
    platform::ui::ShapeLayer* arcLayer() const { return m_arc; }
    platform::ui::Layer* tickLayer() const { return m_tick; }

protected:
    void layoutSubviews() override;

private:
    void updateAnimation();
    std::optional<platform::ui::Color> m_backgroundColour;
    std::optional<platform::ui::Color> m_foregroundColour;
    double m_spinnerWidth = 0.0;
    bool m_running = false;
    platform::ui::ShapeLayer* m_track = nullptr;
    platform::ui::ShapeLayer* m_arc = nullptr;
    platform::ui::Layer* m_tick = nullptr;
};
