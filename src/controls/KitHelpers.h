#pragma once

// Small helpers the views of the application share: the diagonal resize cursors, the ordering
// of subviews by identifier rank, the measure of attributed text, text-field spacing and the
// whole-point rectangle images and titles are drawn into.

#include "platform-ui/AttributedString.h"
#include "platform-ui/Controls.h"
#include "platform-ui/Cursor.h"
#include "platform-ui/View.h"

#include <QRectF>
#include <QSizeF>
#include <QVariantMap>

#include <cmath>

// The two diagonal resize cursors (16 x 16 points, hot spot at the centre), each made once.
struct PLRCustomCursor {
    static const platform::ui::Cursor& resizeLeftDiagonalCursor();
    static const platform::ui::Cursor& resizeRightDiagonalCursor();
};

// Orders the view's subviews by the rank of their identifiers (ascending; later lies in front).
// Views with an identifier are ordered among themselves by rank, equal ranks keeping their
// order, and an identifier missing from the ranks counts as 0; views without an identifier keep
// their places.
void sortSubviewsUsingViewTags(platform::ui::View* view, const QVariantMap& ranks);

// The largest single-precision float, widened: "no limit" for a text container side.
inline constexpr double kTextContainerNoLimit = 3.4028234663852886e38;

// The size the string takes laid out in a box of the width and height, without the empty line
// that follows a trailing line break. The empty string measures (0, 0).
QSizeF measureAttributedString(const platform::ui::AttributedString& string, double width, double height);
double heightForWidth(const platform::ui::AttributedString& string, double width);
double widthForHeight(const platform::ui::AttributedString& string, double height);

// Adds the kerning (and a centred paragraph with the line spacing) over the field's whole text.
void addTextSpacing(platform::ui::TextField* field, double kerning);
void addTextSpacing(platform::ui::TextField* field, double kerning, double lineSpacing);

// The smallest rectangle on whole points that holds the rectangle.
inline QRectF integralRect(const QRectF& r)
{
    const double x0 = std::floor(r.left()), y0 = std::floor(r.top());
    return QRectF(x0, y0, std::ceil(r.right()) - x0, std::ceil(r.bottom()) - y0);
}
