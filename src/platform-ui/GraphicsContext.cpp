#include "platform-ui/GraphicsContext.h"

#include "platform/Resets.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>

namespace platform::ui {

GraphicsContext::GraphicsContext(QPainter* painter, bool flipped, std::vector<DrawOperation>* recording)
    : m_painter(painter), m_flipped(flipped), m_recording(recording)
{
}

void GraphicsContext::record(DrawOperation op)
{
    if (m_recording)
        m_recording->push_back(std::move(op));
}

void GraphicsContext::save()
{
    m_stack.push_back(m_state);
    if (m_painter)
        m_painter->save();
}

void GraphicsContext::restore()
{
    if (!m_stack.empty()) {
        m_state = m_stack.back();
        m_stack.pop_back();
    }
    if (m_painter)
        m_painter->restore();
}

void GraphicsContext::translate(double dx, double dy)
{
    if (m_painter)
        m_painter->translate(dx, dy);
}

void GraphicsContext::setHighQualityInterpolation(bool on)
{
    if (m_painter)
        m_painter->setRenderHint(QPainter::SmoothPixmapTransform, on);
}

void GraphicsContext::fillRect(const QRectF& rect, const Color& color)
{
    record({DrawOperation::Kind::FillRect, rect, {}, color, 0.0, m_state.shadow});
    if (!m_painter)
        return;
    if (m_state.shadow) {
        QPainterPath path;
        path.addRect(rect);
        paintShadow(*m_painter, path, *m_state.shadow, m_flipped);
    }
    m_painter->fillRect(rect, color.toQColor());
}

void GraphicsContext::fillPath(const QPainterPath& path, const Color& color)
{
    record({DrawOperation::Kind::FillPath, path.boundingRect(), path, color, 0.0, m_state.shadow});
    if (!m_painter)
        return;
    if (m_state.shadow)
        paintShadow(*m_painter, path, *m_state.shadow, m_flipped);
    m_painter->save();
    m_painter->setRenderHint(QPainter::Antialiasing);
    m_painter->fillPath(path, color.toQColor());
    m_painter->restore();
}

void GraphicsContext::strokePath(const QPainterPath& path, const Color& color, double lineWidth)
{
    record({DrawOperation::Kind::StrokePath, path.boundingRect(), path, color, lineWidth, m_state.shadow});
    if (!m_painter)
        return;
    QPainterPathStroker stroker;
    stroker.setWidth(lineWidth);
    if (m_state.shadow)
        paintShadow(*m_painter, stroker.createStroke(path), *m_state.shadow, m_flipped);
    m_painter->save();
    m_painter->setRenderHint(QPainter::Antialiasing);
    QPen pen(color.toQColor(), lineWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setCapStyle(Qt::FlatCap);
    m_painter->strokePath(path, pen);
    m_painter->restore();
}

void GraphicsContext::clipToPath(const QPainterPath& path)
{
    record({DrawOperation::Kind::Clip, path.boundingRect(), path});
    if (m_painter)
        m_painter->setClipPath(path, Qt::IntersectClip);
}

void GraphicsContext::clipToRect(const QRectF& rect)
{
    QPainterPath path;
    path.addRect(rect);
    clipToPath(path);
}

void GraphicsContext::withUprightSpace(QPainter& painter, const QRectF& rect,
                                       const std::function<void(const QRectF&)>& fn)
{
    painter.save();
    if (painter.worldTransform().determinant() < 0) {
        // y runs up in user space: flip locally about the rectangle so images and text stand upright.
        painter.translate(0, rect.top() + rect.bottom());
        painter.scale(1, -1);
    }
    fn(rect);
    painter.restore();
}

void GraphicsContext::drawImage(const QImage& image, const QRectF& destination, const QRectF& source,
                                QPainter::CompositionMode mode, double fraction)
{
    DrawOperation op{DrawOperation::Kind::Image, destination, {}, {}, 0.0, m_state.shadow};
    op.sourceRect = source.isNull() ? QRectF(QPointF(), image.deviceIndependentSize()) : source;
    op.composition = mode;
    op.fraction = fraction;
    record(op);
    if (!m_painter || image.isNull())
        return;
    const double scale = image.devicePixelRatio();
    const QRectF sourcePoints = op.sourceRect;
    QRectF sourcePixels(sourcePoints.x() * scale, sourcePoints.y() * scale, sourcePoints.width() * scale,
                        sourcePoints.height() * scale);
    withUprightSpace(*m_painter, destination, [&](const QRectF& rect) {
        m_painter->setOpacity(m_painter->opacity() * fraction);
        m_painter->setCompositionMode(mode);
        m_painter->setRenderHint(QPainter::SmoothPixmapTransform);
        m_painter->drawImage(rect, image, sourcePixels);
    });
}

void GraphicsContext::drawAttributedString(const AttributedString& string, const QRectF& rect)
{
    DrawOperation op{DrawOperation::Kind::Text, rect, {}, {}, 0.0, m_state.shadow};
    op.text = string.string();
    if (string.length() > 0)
        op.color = string.attribute(kForegroundColorAttributeName, 0).value<Color>();
    record(op);
    if (!m_painter)
        return;
    const TextLayout& layout = TextLayout::cached(string, rect.size());
    withUprightSpace(*m_painter, rect, [&](const QRectF& r) {
        m_painter->setRenderHint(QPainter::TextAntialiasing);
        layout.draw(*m_painter, r.topLeft());
    });
}

namespace {

// The blurred shadows painted last, on this thread: a view repainted (a screen sliding, a child
// redrawn under it) paints the same shadow again and again, and blurring it is by far the
// dearest part of a frame. Keyed by the shape as it lies in its image, the colour and the blur.
struct ShadowImage {
    QPainterPath shape;
    QRgb colour = 0;
    double blur = 0.0;
    QImage image;
};

constexpr size_t kShadowImagesKept = 6;

std::atomic<qint64> g_shadowsBlurred{0};

std::vector<ShadowImage>& shadowImages()
{
    thread_local std::vector<ShadowImage> kept;
    return kept;
}

// The main thread's (every test paints there) are forgotten between tests, as a new run starts
// without any.
const platform::resets::Joined g_shadowImagesReset{[] { shadowImages().clear(); }};

} // namespace

QImage GraphicsContext::shadowImage(const QPainterPath& shape, const QColor& colour, double blur, QSize size)
{
    std::vector<ShadowImage>& kept = shadowImages();
    const QRgb rgba = colour.rgba();
    for (size_t i = 0; i < kept.size(); ++i) {
        if (kept[i].colour == rgba && kept[i].blur == blur && kept[i].image.size() == size && kept[i].shape == shape) {
            // Most recently used first.
            std::rotate(kept.begin(), kept.begin() + qsizetype(i), kept.begin() + qsizetype(i) + 1);
            return kept.front().image;
        }
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(shape, colour);
    }
    blurImage(image, blur);
    ++g_shadowsBlurred;
    kept.insert(kept.begin(), ShadowImage{shape, rgba, blur, image});
    if (kept.size() > kShadowImagesKept)
        kept.pop_back();
    return image;
}

qint64 GraphicsContext::shadowsBlurred()
{
    return g_shadowsBlurred.load();
}

void GraphicsContext::paintShadow(QPainter& painter, const QPainterPath& path, const Shadow& shadow, bool flipped)
{
    if (!shadow.color.isVisible())
        return;
    const QTransform world = painter.worldTransform();
    QPainterPath shifted = path.translated(shadow.offset.width(), flipped ? -shadow.offset.height() : shadow.offset.height());
    const QPainterPath device = world.map(shifted);
    const double scale = std::sqrt(std::abs(world.determinant()));
    const int margin = int(std::ceil(shadow.blurRadius * scale * 2.0)) + 2;
    const QRect bounds = device.boundingRect().toAlignedRect().adjusted(-margin, -margin, margin, margin);
    if (bounds.isEmpty())
        return;
    const QImage image = shadowImage(device.translated(-bounds.topLeft()), shadow.color.toQColor(),
                                     shadow.blurRadius * scale, bounds.size());
    painter.save();
    painter.resetTransform();
    painter.drawImage(bounds.topLeft(), image);
    painter.restore();
}

void pathAddArc(QPainterPath& path, QPointF center, double radius, double startAngle, double endAngle, bool clockwise)
{
    constexpr double twoPi = 2.0 * std::numbers::pi;
    double sweep = endAngle - startAngle;
    if (!clockwise) {
        while (sweep < 0) sweep += twoPi;
        if (sweep > twoPi) sweep = twoPi;
    } else {
        while (sweep > 0) sweep -= twoPi;
        if (sweep < -twoPi) sweep = -twoPi;
    }
    const QPointF start(center.x() + radius * std::cos(startAngle), center.y() + radius * std::sin(startAngle));
    if (path.elementCount() == 0)
        path.moveTo(start);
    else
        path.lineTo(start);
    // Qt measures angles from +x towards -y: negate ours.
    const QRectF box(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius);
    path.arcTo(box, -startAngle * 180.0 / std::numbers::pi, -sweep * 180.0 / std::numbers::pi);
}

QPainterPath roundedRectPath(const QRectF& rect, double xRadius, double yRadius)
{
    QPainterPath path;
    if (xRadius <= 0 && yRadius <= 0)
        path.addRect(rect);
    else
        path.addRoundedRect(rect, xRadius, yRadius);
    return path;
}

QPainterPath trimmedPath(const QPainterPath& path, double start, double end)
{
    start = std::clamp(start, 0.0, 1.0);
    end = std::clamp(end, 0.0, 1.0);
    if (end <= start)
        return {};
    if (start <= 0.0 && end >= 1.0)
        return path;
    const QList<QPolygonF> polygons = path.toSubpathPolygons();
    double total = 0.0;
    for (const QPolygonF& polygon : polygons)
        for (int i = 1; i < polygon.size(); ++i)
            total += QLineF(polygon[i - 1], polygon[i]).length();
    if (total <= 0.0)
        return {};
    const double from = start * total, to = end * total;
    QPainterPath result;
    double walked = 0.0;
    for (const QPolygonF& polygon : polygons) {
        bool open = false;
        for (int i = 1; i < polygon.size(); ++i) {
            const QLineF segment(polygon[i - 1], polygon[i]);
            const double length = segment.length();
            const double a = walked, b = walked + length;
            walked = b;
            if (b < from || a > to || length <= 0.0)
                continue;
            const double t0 = std::max(0.0, (from - a) / length);
            const double t1 = std::min(1.0, (to - a) / length);
            if (!open) {
                result.moveTo(segment.pointAt(t0));
                open = true;
            }
            result.lineTo(segment.pointAt(t1));
        }
    }
    return result;
}

void blurImage(QImage& image, double radius)
{
    if (radius <= 0.0 || image.isNull())
        return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Three box blurs across and down (close to a gaussian), each a running sum over 2r + 1
    // pixels that counts what lies beyond the edges as clear.
    const int r = std::max(1, int(std::lround(radius / 2.0)));
    const int n = 2 * r + 1;
    const int w = image.width(), h = image.height();
    uchar* bits = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();
    std::vector<int> channels(size_t(std::max(w, h)) * 4);
    auto pass = [&](bool horizontal) {
        const int lines = horizontal ? h : w, count = horizontal ? w : h;
        const qsizetype step = horizontal ? qsizetype(sizeof(QRgb)) : bytesPerLine;
        for (int line = 0; line < lines; ++line) {
            uchar* first = horizontal ? bits + line * bytesPerLine : bits + line * qsizetype(sizeof(QRgb));
            auto px = [&](int i) -> QRgb& { return *reinterpret_cast<QRgb*>(first + i * step); };
            for (int i = 0; i < count; ++i) {
                const QRgb c = px(i);
                int* to = &channels[size_t(i) * 4];
                to[0] = qAlpha(c);
                to[1] = qRed(c);
                to[2] = qGreen(c);
                to[3] = qBlue(c);
            }
            int sum[4] = {0, 0, 0, 0};
            for (int k = 0; k <= std::min(count - 1, r); ++k)
                for (int c = 0; c < 4; ++c)
                    sum[c] += channels[size_t(k) * 4 + c];
            for (int i = 0; i < count; ++i) {
                px(i) = qRgba(sum[1] / n, sum[2] / n, sum[3] / n, sum[0] / n);
                if (i + r + 1 < count)
                    for (int c = 0; c < 4; ++c)
                        sum[c] += channels[size_t(i + r + 1) * 4 + c];
                if (i - r >= 0)
                    for (int c = 0; c < 4; ++c)
                        sum[c] -= channels[size_t(i - r) * 4 + c];
            }
        }
    };
    for (int i = 0; i < 3; ++i) {
        pass(true);
        pass(false);
    }
}

} // namespace platform::ui
