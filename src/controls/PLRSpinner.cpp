#include "controls/PLRSpinner.h"

#include "controls/ColorWithHex.h"
#include "platform-ui/Images.h"

#include <cmath>
#include <numbers>

using namespace platform::ui;

PLRSpinner::PLRSpinner(const QRectF& frame, QWidget* parent) : View(parent)
{
    setFrame(frame);
    setWantsLayer(true);
    setup();
}

Color PLRSpinner::backgroundColour()
{
    if (!m_backgroundColour)
        m_backgroundColour = Color::black(0.21);
    return *m_backgroundColour;
}

Color PLRSpinner::foregroundColour()
{
    if (!m_foregroundColour)
        m_foregroundColour = ColorWithHex::smb_blueColour();
    return *m_foregroundColour;
}

void PLRSpinner::setup()
{
    if (m_running)
        stopAnimating(true);
    TransactionScope scope(true);
    // Old rings and tick go (the tick too, so a shown tick does not stay behind).
    for (Layer* old : {static_cast<Layer*>(m_track), static_cast<Layer*>(m_arc), m_tick})
        if (old)
            old->removeFromSuperlayer();
    m_track = m_arc = nullptr;
    m_tick = nullptr;

    auto track = std::make_unique<ShapeLayer>();
    track->name = QStringLiteral("track");
    track->setLineWidth(spinnerWidth());
    track->setFillColor(std::nullopt);
    track->setStrokeColor(backgroundColour());
    auto arc = std::make_unique<ShapeLayer>();
    arc->name = QStringLiteral("arc");
    arc->setLineWidth(spinnerWidth());
    arc->setFillColor(std::nullopt);
    arc->setStrokeColor(foregroundColour());
    auto tick = std::make_unique<Layer>();
    tick->name = QStringLiteral("tick");
    tick->setContents(namedImage(QStringLiteral("spinner_tick")));
    tick->setContentsGravity(QString::fromLatin1(kGravityResizeAspect));
    tick->setOpacity(0.0);

    m_track = layer()->addSublayer(std::move(track));
    m_arc = layer()->addSublayer(std::move(arc));
    m_tick = layer()->addSublayer(std::move(tick));
    layoutSubviews();
}

void PLRSpinner::layoutSubviews()
{
    if (!m_track || !m_arc || !m_tick)
        return;
    TransactionScope scope(true);
    const QRectF b = layer()->bounds();
    m_track->setFrame(b);
    m_arc->setFrame(b);
    m_tick->setFrame(QRectF((b.width() - 29.0) * 0.5, (b.height() - 22.0) * 0.5, 29.0, 22.0));
    const QPointF c(b.x() + b.width() * 0.5, b.y() + b.height() * 0.5);
    const double r = std::min(b.width(), b.height()) * 0.5 - m_arc->lineWidth() * 0.5 - 2.0;
    QPainterPath path;
    if (r > 0.0) {
        // One full turn from the top: move to (c.x, c.y - r), arc from -pi/2 to 3pi/2.
        path.moveTo(c.x(), c.y() - r);
        pathAddArc(path, c, r, -std::numbers::pi / 2.0, 3.0 * std::numbers::pi / 2.0, false);
    }
    m_track->setPath(path);
    m_arc->setPath(path);
    m_track->setPosition(c);
    m_arc->setPosition(c);
}

void PLRSpinner::startAnimating()
{
    if (m_running)
        return;
    TransactionScope scope(true);
    m_tick->setOpacity(0.0);
    m_running = true;
    updateAnimation();
}

void PLRSpinner::stopAnimating(bool showTick)
{
    if (!m_running)
        return;
    TransactionScope scope(true);
    m_running = false;
    updateAnimation();
    if (showTick)
        m_tick->setOpacity(1.0);
}

void PLRSpinner::updateAnimation()
{
    TransactionScope scope(true);
    if (!m_running) {
        m_arc->removeAllAnimations();
        m_arc->setOpacity(0.0);
        return;
    }
    m_arc->setOpacity(1.0);
    auto strokeGroup = [](const QString& keyPath, double beginTime) {
        auto inner = BasicAnimation::withKeyPath(keyPath);
        inner->fromValue = 0.0;
        inner->toValue = 1.0;
        inner->beginTime = beginTime;
        inner->duration = 2.0;
        inner->timingFunction = TimingFunction::easeInEaseOut();
        inner->repeatCount = kRepeatForever;
        auto group = std::make_unique<AnimationGroup>();
        group->duration = 2.2;
        group->repeatCount = kRepeatForever;
        group->animations.push_back(std::move(inner));
        return group;
    };
    m_arc->addAnimation(strokeGroup(QStringLiteral("strokeEnd"), 0.0), QStringLiteral("strokeEnd"));
    m_arc->addAnimation(strokeGroup(QStringLiteral("strokeStart"), 0.2), QStringLiteral("strokeStart"));
    auto rotation = BasicAnimation::withKeyPath(QStringLiteral("transform.rotation.z"));
    rotation->fromValue = 0.0;
    rotation->toValue = 6.283185307179586;
    rotation->duration = 4.4;
    rotation->timingFunction = TimingFunction::easeInEaseOut();
    rotation->repeatCount = kRepeatForever;
    m_arc->addAnimation(std::move(rotation), QStringLiteral("rotation"));
}
