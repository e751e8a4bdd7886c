#pragma once

#include "platform-ui/Animation.h"
#include "platform-ui/Color.h"
#include "platform-ui/View.h"

#include <QColor>
#include <QString>

#include <gtest/gtest.h>
#include <QImage>

#include <cmath>
#include <cstdlib>

namespace ui_test {

// Puts the animation clock under the test's hand.
inline void manualClock() { platform::ui::AnimationClock::shared().setManual(true); }
inline void advance(double seconds) { platform::ui::AnimationClock::shared().advance(seconds); }

inline bool near(const QColor& a, const QColor& b, int tolerance = 6)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

inline QColor rgb(const char* hex) { return QColor(QString::fromLatin1("#") + QString::fromLatin1(hex)); }

// Whether the colour is the opaque RRGGBB value given (each channel within a rounding step).
inline ::testing::AssertionResult isHex(const platform::ui::Color& colour, unsigned hex)
{
    const double want[] = {((hex >> 16) & 0xFF) / 255.0, ((hex >> 8) & 0xFF) / 255.0, (hex & 0xFF) / 255.0, 1.0};
    const double got[] = {colour.redComponent(), colour.greenComponent(), colour.blueComponent(), colour.alphaComponent()};
    for (int i = 0; i < 4; ++i)
        if (std::abs(want[i] - got[i]) > 1e-6)
            return ::testing::AssertionFailure() << "the colour is " << colour.toQColor().name(QColor::HexArgb).toStdString()
                                                 << ", not " << QString::number(hex, 16).toUpper().rightJustified(6, QLatin1Char('0')).toStdString();
    return ::testing::AssertionSuccess();
}

// The pixel at a point given in the image's point (device-independent) coordinates, y down.
inline QColor pixelAt(const QImage& image, double x, double y)
{
    const double s = image.devicePixelRatio();
    return image.pixelColor(int(x * s), int(y * s));
}

// Renders a view on an opaque white background (so colours can be compared).
inline QImage renderOnWhite(platform::ui::View* view)
{
    QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    view->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace ui_test
