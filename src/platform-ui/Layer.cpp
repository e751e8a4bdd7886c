#include "platform-ui/Layer.h"

#include "platform-ui/Fonts.h"

#include <QPainter>

#include <cmath>
#include <numbers>

namespace platform::ui {

namespace {

QVariant colorValue(const std::optional<Color>& color)
{
    return color ? QVariant::fromValue(*color) : QVariant();
}

std::optional<Color> toColor(const QVariant& value)
{
    if (!value.isValid() || value.metaType() != QMetaType::fromType<Color>())
        return std::nullopt;
    return value.value<Color>();
}

} // namespace

QVariant LayerState::value(const QString& keyPath) const
{
    if (keyPath == QLatin1String("bounds")) return bounds;
    if (keyPath == QLatin1String("bounds.size")) return bounds.size();
    if (keyPath == QLatin1String("bounds.size.width")) return bounds.width();
    if (keyPath == QLatin1String("bounds.size.height")) return bounds.height();
    if (keyPath == QLatin1String("bounds.origin")) return bounds.topLeft();
    if (keyPath == QLatin1String("position")) return position;
    if (keyPath == QLatin1String("position.x")) return position.x();
    if (keyPath == QLatin1String("position.y")) return position.y();
    if (keyPath == QLatin1String("anchorPoint")) return anchorPoint;
    if (keyPath == QLatin1String("transform.rotation.z") || keyPath == QLatin1String("transform.rotation")) return rotation;
    if (keyPath == QLatin1String("opacity")) return opacity;
    if (keyPath == QLatin1String("hidden")) return hidden;
    if (keyPath == QLatin1String("backgroundColor")) return colorValue(backgroundColor);
    if (keyPath == QLatin1String("borderColor")) return colorValue(borderColor);
    if (keyPath == QLatin1String("borderWidth")) return borderWidth;
    if (keyPath == QLatin1String("cornerRadius")) return cornerRadius;
    if (keyPath == QLatin1String("shadowColor")) return colorValue(shadowColor);
    if (keyPath == QLatin1String("shadowOpacity")) return shadowOpacity;
    if (keyPath == QLatin1String("shadowRadius")) return shadowRadius;
    if (keyPath == QLatin1String("shadowOffset")) return shadowOffset;
    if (keyPath == QLatin1String("contentsCenter")) return contentsCenter;
    if (keyPath == QLatin1String("fillColor")) return colorValue(fillColor);
    if (keyPath == QLatin1String("strokeColor")) return colorValue(strokeColor);
    if (keyPath == QLatin1String("lineWidth")) return lineWidth;
    if (keyPath == QLatin1String("strokeStart")) return strokeStart;
    if (keyPath == QLatin1String("strokeEnd")) return strokeEnd;
    if (keyPath == QLatin1String("fontSize")) return fontSize;
    if (keyPath == QLatin1String("foregroundColor")) return colorValue(foregroundColor);
    return {};
}

bool LayerState::setValue(const QString& keyPath, const QVariant& v)
{
    if (keyPath == QLatin1String("bounds")) bounds = v.toRectF();
    else if (keyPath == QLatin1String("bounds.size")) bounds.setSize(v.toSizeF());
    else if (keyPath == QLatin1String("bounds.size.width")) bounds.setWidth(v.toDouble());
    else if (keyPath == QLatin1String("bounds.size.height")) bounds.setHeight(v.toDouble());
    else if (keyPath == QLatin1String("bounds.origin")) bounds.moveTopLeft(v.toPointF());
    else if (keyPath == QLatin1String("position")) position = v.toPointF();
    else if (keyPath == QLatin1String("position.x")) position.setX(v.toDouble());
    else if (keyPath == QLatin1String("position.y")) position.setY(v.toDouble());
    else if (keyPath == QLatin1String("anchorPoint")) anchorPoint = v.toPointF();
    else if (keyPath == QLatin1String("transform.rotation.z") || keyPath == QLatin1String("transform.rotation")) rotation = v.toDouble();
    else if (keyPath == QLatin1String("opacity")) opacity = v.toDouble();
    else if (keyPath == QLatin1String("hidden")) hidden = v.toBool();
    else if (keyPath == QLatin1String("backgroundColor")) backgroundColor = toColor(v);
    else if (keyPath == QLatin1String("borderColor")) borderColor = toColor(v);
    else if (keyPath == QLatin1String("borderWidth")) borderWidth = v.toDouble();
    else if (keyPath == QLatin1String("cornerRadius")) cornerRadius = v.toDouble();
    else if (keyPath == QLatin1String("shadowColor")) shadowColor = toColor(v);
    else if (keyPath == QLatin1String("shadowOpacity")) shadowOpacity = v.toDouble();
    else if (keyPath == QLatin1String("shadowRadius")) shadowRadius = v.toDouble();
    else if (keyPath == QLatin1String("shadowOffset")) shadowOffset = v.toSizeF();
    else if (keyPath == QLatin1String("contentsCenter")) contentsCenter = v.toRectF();
    else if (keyPath == QLatin1String("fillColor")) fillColor = toColor(v);
    else if (keyPath == QLatin1String("strokeColor")) strokeColor = toColor(v);
    else if (keyPath == QLatin1String("lineWidth")) lineWidth = v.toDouble();
    else if (keyPath == QLatin1String("strokeStart")) strokeStart = v.toDouble();
    else if (keyPath == QLatin1String("strokeEnd")) strokeEnd = v.toDouble();
    else if (keyPath == QLatin1String("fontSize")) fontSize = v.toDouble();
    else if (keyPath == QLatin1String("foregroundColor")) foregroundColor = toColor(v);
    else return false;
    return true;
}

Layer::Layer() : Layer(Kind::Plain) {}
Layer::Layer(Kind kind) : m_kind(kind) {}
Layer::~Layer() = default;

void Layer::changed()
{
    Layer* root = this;
    while (root->m_superlayer)
        root = root->m_superlayer;
    if (root->m_changeHandler)
        root->m_changeHandler();
}

std::shared_ptr<Animation> Layer::actionForKey(const QString& key)
{
    if (Transaction::disableActions())
        return nullptr;
    if (m_delegate) {
        if (auto answer = m_delegate->actionForLayer(this, key))
            return *answer;
    }
    const auto it = m_actions.find(key);
    if (it != m_actions.end())
        return it->second;
    auto animation = std::make_shared<BasicAnimation>(key);
    animation->duration = Transaction::animationDuration();
    animation->timingFunction = Transaction::animationTimingFunction().value_or(TimingFunction::defaultFunction());
    return animation;
}

void Layer::setAnimated(const QString& key, const QString& actionKey, const QVariant& value)
{
    const QVariant old = m_animations.empty() ? m_state.value(key) : presentationState().value(key);
    if (!m_state.setValue(key, value))
        return;
    // Layers outside any tree (not yet added, no host) change without animation.
    const bool inTree = m_superlayer || m_changeHandler;
    if (old != value && inTree) {
        if (auto action = actionForKey(actionKey)) {
            std::unique_ptr<Animation> animation = action->clone();
            if (auto* basic = dynamic_cast<BasicAnimation*>(animation.get())) {
                basic->keyPath = key;
                if (!basic->fromValue.isValid())
                    basic->fromValue = old;
            }
            animation->beginTime = 0.0;
            addAnimation(std::move(animation), key);
        }
    }
    changed();
}

void Layer::setValueForKeyPath(const QString& keyPath, const QVariant& value)
{
    const QString actionKey = keyPath.section(QLatin1Char('.'), 0, 0);
    if (keyPath == QLatin1String("bounds"))
        setBounds(value.toRectF());
    else
        setAnimated(keyPath, actionKey, value);
}

void Layer::setBounds(const QRectF& bounds)
{
    const QSizeF oldSize = m_state.bounds.size();
    setAnimated(QStringLiteral("bounds"), QStringLiteral("bounds"), bounds);
    if (oldSize != bounds.size()) {
        if (m_needsDisplayOnBoundsChange)
            setNeedsDisplay();
        resizeSublayers(oldSize);
    }
}

void Layer::setPosition(const QPointF& position) { setAnimated(QStringLiteral("position"), QStringLiteral("position"), position); }
void Layer::setAnchorPoint(const QPointF& anchor) { m_state.anchorPoint = anchor; changed(); }
void Layer::setRotation(double radians) { setAnimated(QStringLiteral("transform.rotation.z"), QStringLiteral("transform"), radians); }
void Layer::setOpacity(double opacity) { setAnimated(QStringLiteral("opacity"), QStringLiteral("opacity"), opacity); }
void Layer::setHidden(bool hidden) { m_state.hidden = hidden; changed(); }
void Layer::setBackgroundColor(std::optional<Color> color) { setAnimated(QStringLiteral("backgroundColor"), QStringLiteral("backgroundColor"), colorValue(color)); }
void Layer::setBorderColor(std::optional<Color> color) { setAnimated(QStringLiteral("borderColor"), QStringLiteral("borderColor"), colorValue(color)); }
void Layer::setBorderWidth(double width) { setAnimated(QStringLiteral("borderWidth"), QStringLiteral("borderWidth"), width); }
void Layer::setCornerRadius(double radius) { setAnimated(QStringLiteral("cornerRadius"), QStringLiteral("cornerRadius"), radius); }
void Layer::setShadowColor(std::optional<Color> color) { setAnimated(QStringLiteral("shadowColor"), QStringLiteral("shadowColor"), colorValue(color)); }
void Layer::setShadowOpacity(double opacity) { setAnimated(QStringLiteral("shadowOpacity"), QStringLiteral("shadowOpacity"), opacity); }
void Layer::setShadowRadius(double radius) { setAnimated(QStringLiteral("shadowRadius"), QStringLiteral("shadowRadius"), radius); }
void Layer::setShadowOffset(const QSizeF& offset) { setAnimated(QStringLiteral("shadowOffset"), QStringLiteral("shadowOffset"), offset); }

QRectF Layer::frame() const
{
    const QSizeF size = m_state.bounds.size();
    return QRectF(m_state.position.x() - m_state.anchorPoint.x() * size.width(),
                  m_state.position.y() - m_state.anchorPoint.y() * size.height(), size.width(), size.height());
}

void Layer::setFrame(const QRectF& frame)
{
    setBounds(QRectF(m_state.bounds.topLeft(), frame.size()));
    setPosition(QPointF(frame.x() + m_state.anchorPoint.x() * frame.width(),
                        frame.y() + m_state.anchorPoint.y() * frame.height()));
}

void Layer::resizeSublayers(const QSizeF& oldSize)
{
    const QSizeF newSize = m_state.bounds.size();
    for (const auto& sublayer : m_sublayers) {
        const unsigned mask = sublayer->m_autoresizingMask;
        if (mask == 0)
            continue;
        QRectF frame = sublayer->frame();
        auto distribute = [](double delta, bool minFlexible, bool sizeFlexible, bool maxFlexible, double& origin, double& length) {
            const int parts = int(minFlexible) + int(sizeFlexible) + int(maxFlexible);
            if (parts == 0)
                return;
            const double share = delta / parts;
            if (minFlexible)
                origin += share;
            if (sizeFlexible)
                length = std::max(0.0, length + share);
        };
        double x = frame.x(), y = frame.y(), w = frame.width(), h = frame.height();
        distribute(newSize.width() - oldSize.width(), mask & LayerMinXMargin, mask & LayerWidthSizable,
                   mask & LayerMaxXMargin, x, w);
        distribute(newSize.height() - oldSize.height(), mask & LayerMinYMargin, mask & LayerHeightSizable,
                   mask & LayerMaxYMargin, y, h);
        sublayer->setFrame(QRectF(x, y, w, h));
    }
}

void Layer::insertSublayer(std::unique_ptr<Layer> layer, int index)
{
    if (!layer)
        return;
    layer->m_superlayer = this;
    index = std::clamp(index, 0, int(m_sublayers.size()));
    m_sublayers.insert(m_sublayers.begin() + index, std::move(layer));
    changed();
}

std::unique_ptr<Layer> Layer::removeFromSuperlayer()
{
    Layer* parent = m_superlayer;
    if (!parent)
        return nullptr;
    for (auto it = parent->m_sublayers.begin(); it != parent->m_sublayers.end(); ++it) {
        if (it->get() == this) {
            std::unique_ptr<Layer> owned = std::move(*it);
            parent->m_sublayers.erase(it);
            m_superlayer = nullptr;
            parent->changed();
            return owned;
        }
    }
    return nullptr;
}

void Layer::setNeedsDisplay()
{
    m_needsDisplay = true;
    changed();
}

void Layer::displayIfNeeded()
{
    if (m_needsDisplay) {
        m_needsDisplay = false;
        if (m_delegate)
            m_delegate->displayLayer(this);
    }
    for (size_t i = 0; i < m_sublayers.size(); ++i)
        m_sublayers[i]->displayIfNeeded();
}

void Layer::addAnimation(std::unique_ptr<Animation> animation, const QString& key)
{
    if (!animation)
        return;
    removeAnimation(key);
    const double start = animation->beginTime > 0.0 ? animation->beginTime : AnimationClock::shared().now();
    m_animations.push_back({key, std::move(animation), start});
    changed();
}

void Layer::removeAnimation(const QString& key)
{
    for (auto it = m_animations.begin(); it != m_animations.end(); ++it) {
        if (it->key == key) {
            auto stopped = std::move(it->animation);
            m_animations.erase(it);
            if (stopped->didStop)
                stopped->didStop(false);
            changed();
            return;
        }
    }
}

void Layer::removeAllAnimations()
{
    auto running = std::move(m_animations);
    m_animations.clear();
    for (auto& entry : running)
        if (entry.animation->didStop)
            entry.animation->didStop(false);
    changed();
}

const Animation* Layer::animationForKey(const QString& key) const
{
    for (const auto& entry : m_animations)
        if (entry.key == key)
            return entry.animation.get();
    return nullptr;
}

QStringList Layer::animationKeys() const
{
    QStringList keys;
    for (const auto& entry : m_animations)
        keys << entry.key;
    return keys;
}

double Layer::animationStartTime(const QString& key) const
{
    for (const auto& entry : m_animations)
        if (entry.key == key)
            return entry.start;
    return 0.0;
}

bool Layer::hasAnimationsInTree() const
{
    if (!m_animations.empty())
        return true;
    for (const auto& sublayer : m_sublayers)
        if (sublayer->hasAnimationsInTree())
            return true;
    return false;
}

LayerState Layer::presentationState(double time)
{
    std::vector<std::unique_ptr<Animation>> finished;
    for (auto it = m_animations.begin(); it != m_animations.end();) {
        if (it->animation->removedOnCompletion && it->animation->isFinishedAt(time - it->start)) {
            finished.push_back(std::move(it->animation));
            it = m_animations.erase(it);
        } else {
            ++it;
        }
    }
    LayerState state = m_state;
    const auto model = [this](const QString& keyPath) { return m_state.value(keyPath); };
    for (const auto& entry : m_animations)
        entry.animation->apply(time - entry.start, model,
                               [&state](const QString& keyPath, const QVariant& value) { state.setValue(keyPath, value); });
    for (auto& animation : finished)
        if (animation->didStop)
            animation->didStop(true);
    return state;
}

namespace {

void drawContents(QPainter& painter, const LayerState& s)
{
    const QImage& image = s.contents;
    const QSizeF imageSize = image.deviceIndependentSize();
    if (imageSize.isEmpty())
        return;
    const QRectF b = s.bounds;
    const QString& gravity = s.contentsGravity;
    GraphicsContext::withUprightSpace(painter, b, [&](const QRectF& rect) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const double scale = image.devicePixelRatio();
        auto src = [&](double x, double y, double w, double h) { return QRectF(x * scale, y * scale, w * scale, h * scale); };
        if (gravity == QLatin1String(kGravityResizeAspect) || gravity == QLatin1String(kGravityResizeAspectFill)) {
            const double fx = rect.width() / imageSize.width(), fy = rect.height() / imageSize.height();
            const double f = gravity == QLatin1String(kGravityResizeAspect) ? std::min(fx, fy) : std::max(fx, fy);
            const QSizeF size = imageSize * f;
            const QRectF dst(rect.center().x() - size.width() / 2, rect.center().y() - size.height() / 2, size.width(), size.height());
            painter.save();
            painter.setClipRect(rect, Qt::IntersectClip);
            painter.drawImage(dst, image, src(0, 0, imageSize.width(), imageSize.height()));
            painter.restore();
            return;
        }
        if (gravity == QLatin1String(kGravityCenter)) {
            const QRectF dst(rect.center().x() - imageSize.width() / 2, rect.center().y() - imageSize.height() / 2,
                             imageSize.width(), imageSize.height());
            painter.drawImage(dst, image, src(0, 0, imageSize.width(), imageSize.height()));
            return;
        }
        const QRectF cc = s.contentsCenter;
        if (cc == QRectF(0, 0, 1, 1)) {
            painter.drawImage(rect, image, src(0, 0, imageSize.width(), imageSize.height()));
            return;
        }
        // Nine parts: only the centre part stretches.
        const double W = imageSize.width(), H = imageSize.height();
        double left = cc.x() * W, right = (1.0 - cc.right()) * W, top = cc.y() * H, bottom = (1.0 - cc.bottom()) * H;
        const double kx = (left + right) > rect.width() && (left + right) > 0 ? rect.width() / (left + right) : 1.0;
        const double ky = (top + bottom) > rect.height() && (top + bottom) > 0 ? rect.height() / (top + bottom) : 1.0;
        const double xs[] = {0, left, W - right, W};
        const double ys[] = {0, top, H - bottom, H};
        const double dxs[] = {rect.left(), rect.left() + left * kx, rect.right() - right * kx, rect.right()};
        const double dys[] = {rect.top(), rect.top() + top * ky, rect.bottom() - bottom * ky, rect.bottom()};
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col) {
                const QRectF d(QPointF(dxs[col], dys[row]), QPointF(dxs[col + 1], dys[row + 1]));
                const double sw = xs[col + 1] - xs[col], sh = ys[row + 1] - ys[row];
                if (d.width() <= 0 || d.height() <= 0 || sw <= 0 || sh <= 0)
                    continue;
                painter.drawImage(d, image, src(xs[col], ys[row], sw, sh));
            }
    });
}

} // namespace

void Layer::enterLayerSpace(QPainter& painter, const LayerState& s)
{
    const QRectF b = s.bounds;
    painter.translate(s.position);
    if (s.rotation != 0.0)
        painter.rotate(s.rotation * 180.0 / std::numbers::pi);
    painter.translate(-s.anchorPoint.x() * b.width() - b.x(), -s.anchorPoint.y() * b.height() - b.y());
    if (s.geometryFlipped) {
        painter.translate(0, 2 * b.y() + b.height());
        painter.scale(1, -1);
    }
}

void Layer::paintShadow(QPainter& painter, const LayerState& s)
{
    if (!(s.shadowOpacity > 0.0 && s.shadowColor))
        return;
    std::optional<QPainterPath> shadowShape = s.shadowPath;
    if (!shadowShape && (s.backgroundColor || !s.contents.isNull()))
        shadowShape = roundedRectPath(s.bounds, s.cornerRadius, s.cornerRadius);
    if (!shadowShape)
        return;
    Shadow shadow{s.shadowColor->withAlpha(s.shadowColor->alphaComponent() * s.shadowOpacity), s.shadowRadius, s.shadowOffset};
    // Layer shadow offsets are in the layer's own space (y up unless flipped).
    GraphicsContext::paintShadow(painter, *shadowShape, shadow, false);
}

void Layer::render(QPainter& painter, double time)
{
    const LayerState s = presentationState(time);
    if (s.hidden || s.opacity <= 0.0)
        return;
    const QRectF b = s.bounds;
    painter.save();
    enterLayerSpace(painter, s);
    painter.setOpacity(painter.opacity() * s.opacity);
    const bool yDown = painter.worldTransform().determinant() > 0;
    GraphicsContext context(&painter, yDown);
    const QPainterPath shape = roundedRectPath(b, s.cornerRadius, s.cornerRadius);

    paintShadow(painter, s);
    painter.save();
    if (s.backgroundColor && s.backgroundColor->isVisible()) {
        painter.setRenderHint(QPainter::Antialiasing, s.cornerRadius > 0);
        painter.fillPath(shape, s.backgroundColor->toQColor());
    }
    if (s.masksToBounds)
        painter.setClipPath(shape, Qt::IntersectClip);
    if (!s.contents.isNull())
        drawContents(painter, s);
    if (!(m_delegate && m_delegate->drawLayer(this, context)))
        drawContent(context, s);
    for (size_t i = 0; i < m_sublayers.size(); ++i)
        m_sublayers[i]->render(painter, time);
    painter.restore();
    if (s.borderWidth > 0.0 && s.borderColor && s.borderColor->isVisible()) {
        const double inset = s.borderWidth / 2.0;
        const QPainterPath border = roundedRectPath(b.adjusted(inset, inset, -inset, -inset),
                                                    std::max(0.0, s.cornerRadius - inset), std::max(0.0, s.cornerRadius - inset));
        painter.setRenderHint(QPainter::Antialiasing);
        painter.strokePath(border, QPen(s.borderColor->toQColor(), s.borderWidth));
    }
    painter.restore();
}

void Layer::renderShadows(QPainter& painter, double time)
{
    const LayerState s = presentationState(time);
    if (s.hidden || s.opacity <= 0.0)
        return;
    painter.save();
    enterLayerSpace(painter, s);
    painter.setOpacity(painter.opacity() * s.opacity);
    paintShadow(painter, s);
    for (size_t i = 0; i < m_sublayers.size(); ++i)
        m_sublayers[i]->renderShadows(painter, time);
    painter.restore();
}

double Layer::shadowOverhang() const
{
    double reach = 0.0;
    if (m_state.shadowOpacity > 0.0 && m_state.shadowColor)
        reach = 2.0 * m_state.shadowRadius + std::max(std::abs(m_state.shadowOffset.width()), std::abs(m_state.shadowOffset.height()));
    for (const auto& sublayer : m_sublayers)
        reach = std::max(reach, sublayer->shadowOverhang());
    return reach;
}

void Layer::drawContent(GraphicsContext&, const LayerState&) {}

ShapeLayer::ShapeLayer() : Layer(Kind::Shape) {}

void ShapeLayer::setFillColor(std::optional<Color> color) { setAnimated(QStringLiteral("fillColor"), QStringLiteral("fillColor"), colorValue(color)); }
void ShapeLayer::setStrokeColor(std::optional<Color> color) { setAnimated(QStringLiteral("strokeColor"), QStringLiteral("strokeColor"), colorValue(color)); }
void ShapeLayer::setLineWidth(double width) { setAnimated(QStringLiteral("lineWidth"), QStringLiteral("lineWidth"), width); }
void ShapeLayer::setStrokeStart(double value) { setAnimated(QStringLiteral("strokeStart"), QStringLiteral("strokeStart"), value); }
void ShapeLayer::setStrokeEnd(double value) { setAnimated(QStringLiteral("strokeEnd"), QStringLiteral("strokeEnd"), value); }

void ShapeLayer::drawContent(GraphicsContext& context, const LayerState& s)
{
    if (s.path.isEmpty())
        return;
    if (s.fillColor && s.fillColor->isVisible())
        context.fillPath(s.path, *s.fillColor);
    if (s.strokeColor && s.strokeColor->isVisible() && s.lineWidth > 0.0) {
        const QPainterPath stroke = trimmedPath(s.path, s.strokeStart, s.strokeEnd);
        if (!stroke.isEmpty())
            context.strokePath(stroke, *s.strokeColor, s.lineWidth);
    }
}

TextLayer::TextLayer() : Layer(Kind::Text)
{
    m_state.font = systemFont(36.0);
}

void TextLayer::setFontSize(double size) { setAnimated(QStringLiteral("fontSize"), QStringLiteral("fontSize"), size); }
void TextLayer::setForegroundColor(std::optional<Color> color) { setAnimated(QStringLiteral("foregroundColor"), QStringLiteral("foregroundColor"), colorValue(color)); }

void TextLayer::drawContent(GraphicsContext& context, const LayerState& s)
{
    if (s.string.isEmpty() || !s.foregroundColor)
        return;
    QFont font = s.font;
    font.setPixelSize(std::max(1, int(std::lround(s.fontSize))));
    AttributedString text(s.string, {{kFontAttributeName, font},
                                     {kForegroundColorAttributeName, QVariant::fromValue(*s.foregroundColor)},
                                     {kParagraphStyleAttributeName, QVariant::fromValue(ParagraphStyle{alignment, 0.0})}});
    if (wrapped) {
        context.drawAttributedString(text, s.bounds);
        return;
    }
    // One line: the text gets the room it needs, placed in the bounds by its alignment.
    QRectF line = s.bounds;
    const double needed = std::ceil(TextLayout(text, QSizeF(1e9, 1e9)).usedRect().width()) + 1.0;
    if (needed > line.width()) {
        if (alignment == TextAlignment::Center)
            line.setLeft(line.center().x() - needed / 2.0);
        else if (alignment == TextAlignment::Right)
            line.setLeft(line.right() - needed);
        line.setWidth(needed);
    }
    context.drawAttributedString(text, line);
}

} // namespace platform::ui
