#pragma once

#include <QColor>
#include <QMetaType>
#include <QString>

namespace platform::ui {

// A colour with exact double components, converted to QColor only when painting.
class Color {
public:
    enum class Space { CalibratedRGB, DeviceRGB, SRGB };

    Color() = default;
    Color(double red, double green, double blue, double alpha = 1.0, Space space = Space::SRGB)
        : m_red(red), m_green(green), m_blue(blue), m_alpha(alpha), m_space(space) {}

    static Color calibrated(double r, double g, double b, double a = 1.0) { return {r, g, b, a, Space::CalibratedRGB}; }
    static Color device(double r, double g, double b, double a = 1.0) { return {r, g, b, a, Space::DeviceRGB}; }
    static Color white(double alpha = 1.0) { return {1, 1, 1, alpha}; }
    static Color black(double alpha = 1.0) { return {0, 0, 0, alpha}; }
    static Color clear() { return {0, 0, 0, 0}; }
    // Hue, saturation and brightness in 0..1 (brightness = the largest component).
    static Color fromHSB(double hue, double saturation, double brightness, double alpha = 1.0,
                         Space space = Space::CalibratedRGB);
    // "#RRGGBB" or "#RRGGBBAA" (the "#" is optional); invalid colour (alpha -1) when unreadable.
    static Color fromHexText(const QString& text, bool* ok = nullptr);

    double redComponent() const { return m_red; }
    double greenComponent() const { return m_green; }
    double blueComponent() const { return m_blue; }
    double alphaComponent() const { return m_alpha; }
    Space colorSpace() const { return m_space; }
    void getHSB(double* hue, double* saturation, double* brightness, double* alpha = nullptr) const;

    Color withAlpha(double alpha) const { Color c = *this; c.m_alpha = alpha; return c; }
    bool isVisible() const { return m_alpha > 0.0; }
    QColor toQColor() const;
    QString toString() const;

    // Equal components and colour space.
    bool operator==(const Color& other) const = default;

    // Component-wise blend (used by animations); the space of `from` is kept.
    static Color interpolate(const Color& from, const Color& to, double fraction);

private:
    double m_red = 0, m_green = 0, m_blue = 0, m_alpha = 0;
    Space m_space = Space::SRGB;
};

// The application's named colours (resources/colors.json), looked up by name. A missing name
// logs once and gives the clear colour, which paints nothing.
Color namedColor(const QString& name);
bool hasNamedColor(const QString& name);

} // namespace platform::ui

Q_DECLARE_METATYPE(platform::ui::Color)
