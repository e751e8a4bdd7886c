#pragma once

#include "platform-ui/AttributedString.h"
#include "platform-ui/Color.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

#include <optional>
#include <vector>

namespace platform::ui {

struct Shadow {
    Color color = Color::black(1.0 / 3.0);
    double blurRadius = 0.0;
    QSizeF offset;
    bool operator==(const Shadow&) const = default;
};

// One drawing call, as a recording context keeps it (coordinates of the drawing view).
struct DrawOperation {
    enum class Kind { FillRect, FillPath, StrokePath, Image, Text, Clip };
    Kind kind = Kind::FillRect;
    QRectF rect;               // FillRect, Image destination, Text rectangle, Clip bounds
    QPainterPath path;         // FillPath, StrokePath, Clip
    Color color;
    double lineWidth = 0.0;
    std::optional<Shadow> shadow;
    QRectF sourceRect;         // Image: source in points of the image
    QPainter::CompositionMode composition = QPainter::CompositionMode_SourceOver;
    double fraction = 1.0;
    QString text;
};

// The drawing context handed to views and layer delegates: y grows upward (origin at the
// bottom left) unless the context is flipped. It paints through a QPainter, records every
// call when a recording list is attached, or both.
class GraphicsContext {
public:
    // painter may be null (recording only); `flipped` tells whether user space is y-down.
    GraphicsContext(QPainter* painter, bool flipped, std::vector<DrawOperation>* recording = nullptr);

    QPainter* painter() const { return m_painter; }
    bool isFlipped() const { return m_flipped; }
    const std::vector<DrawOperation>* recording() const { return m_recording; }

    void save();
    void restore();
    void translate(double dx, double dy);
    void setShadow(std::optional<Shadow> shadow) { m_state.shadow = std::move(shadow); }
    const std::optional<Shadow>& shadow() const { return m_state.shadow; }
    void setHighQualityInterpolation(bool on);

    void fillRect(const QRectF& rect, const Color& color);
    void fillPath(const QPainterPath& path, const Color& color);
    void strokePath(const QPainterPath& path, const Color& color, double lineWidth);
    void clipToPath(const QPainterPath& path);
    void clipToRect(const QRectF& rect);
    // Draws the source part (points of the image; null = whole) into the destination, upright.
    void drawImage(const QImage& image, const QRectF& destination, const QRectF& source = {},
                   QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver, double fraction = 1.0);
    // Draws the string laid out in the rectangle, its first line at the rectangle's top.
    void drawAttributedString(const AttributedString& string, const QRectF& rect);

    // Paints the path's shadow (blurred fill) through a painter in its current transform.
    static void paintShadow(QPainter& painter, const QPainterPath& path, const Shadow& shadow, bool flipped);
    // The shape filled with the colour and blurred, in an image of the size (the few made last
    // on this thread are kept and handed back for the same shape, colour, blur and size).
    static QImage shadowImage(const QPainterPath& shape, const QColor& colour, double blur, QSize size);
    // How many shadow images were blurred in this process so far (what painting costs, for
    // tests and benchmarks).
    static qint64 shadowsBlurred();
    // Runs fn with the painter set up so that y runs down inside rect (returned in those coordinates).
    static void withUprightSpace(QPainter& painter, const QRectF& rect, const std::function<void(const QRectF&)>& fn);

private:
    void record(DrawOperation op);
    struct State {
        std::optional<Shadow> shadow;
    };
    QPainter* m_painter;
    bool m_flipped;
    std::vector<DrawOperation>* m_recording;
    State m_state;
    std::vector<State> m_stack;
};

// Path helpers: angles in radians measured from +x towards +y of
// the path's own coordinate space.
void pathAddArc(QPainterPath& path, QPointF center, double radius, double startAngle, double endAngle, bool clockwise);
QPainterPath roundedRectPath(const QRectF& rect, double xRadius, double yRadius);
// The part of a path between two fractions of its length (for stroke start and end).
QPainterPath trimmedPath(const QPainterPath& path, double start, double end);

// Blurs an image in place (three box passes, close to a gaussian of sigma ~ radius / 2).
void blurImage(QImage& image, double radius);

} // namespace platform::ui
