#include "controls/PLRProgressBar.h"

#include "platform/Log.h"
#include "platform-ui/Animation.h"
#include "platform-ui/Images.h"

#include <QPainter>

#include <cmath>

using namespace platform::ui;

namespace {

std::unique_ptr<Animation> positionAnimation()
{
    auto animation = BasicAnimation::withKeyPath(QStringLiteral("position.x"));
    animation->fromValue = 6.0;
    animation->toValue = 12.0;
    animation->duration = 0.2;
    animation->repeatCount = std::numeric_limits<double>::infinity();
    animation->removedOnCompletion = false;
    return animation;
}

} // namespace

PLRProgressBar::PLRProgressBar(const QRectF& frame, QWidget* parent) : View(parent)
{
    setFrame(frame);
    awakeFromNib();
}

void PLRProgressBar::awakeFromNib()
{
    // The view hosts a plain layer of its own and draws nothing itself.
    setLayer(std::make_unique<Layer>());
    setup();
}

void PLRProgressBar::setup()
{
    Layer* root = layer();
    root->setDelegate(this);
    root->setNeedsDisplayOnBoundsChange(true);

    m_stripe = namedImage(QStringLiteral("progress-stripe"));

    auto container = std::make_unique<Layer>();
    container->name = QStringLiteral("progressLayerContainer");
    container->setNeedsDisplayOnBoundsChange(true);
    container->setShouldRasterize(true);
    container->setMasksToBounds(true);
    container->setAutoresizingMask(LayerWidthSizable);
    m_container = root->addSublayer(std::move(container));

    m_stripeContents = repeatImage(m_stripe, 2000);
    m_progressContents = progressColor(namedColor(QStringLiteral("plrProgressBarColor")), bounds().size());

    const QRectF viewBounds = bounds();
    auto stripe = std::make_unique<Layer>();
    stripe->name = QStringLiteral("stripeLayer");
    stripe->setAnchorPoint(QPointF(0.1, 0.0));
    stripe->setFrame(QRectF(0, 0, 2000, pointSize(m_stripe).height()));
    stripe->setContents(m_stripeContents);
    stripe->setNeedsDisplayOnBoundsChange(true);
    stripe->setDelegate(this);
    m_stripeLayer = m_container->addSublayer(std::move(stripe));

    auto progress = std::make_unique<Layer>();
    progress->name = QStringLiteral("progressLayer");
    progress->setAnchorPoint(QPointF(0.1, 0.0));
    progress->setFrame(QRectF(0, 0, 2000, viewBounds.height()));
    progress->setContents(m_progressContents);
    progress->setNeedsDisplayOnBoundsChange(true);
    progress->setDelegate(this);
    progress->setHidden(true);
    m_progressLayer = m_container->addSublayer(std::move(progress));

    root->setNeedsDisplay();
    setIndeterminate(true);
    disableLayerActions();
}

QImage PLRProgressBar::repeatImage(const QImage& tile, int width)
{
    const QSizeF tileSize = pointSize(tile);
    const double scale = tile.isNull() ? 1.0 : tile.devicePixelRatio();
    const int height = int(std::ceil(tileSize.height()));
    if (width <= 0 || height <= 0)
        return {};
    QImage image(int(std::ceil(width * scale)), int(std::ceil(height * scale)), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    if (tileSize.width() <= 0)
        return image; // a tile without width leaves the strip empty
    QPainter painter(&image);
    double x = 0;
    while (x < width) {
        painter.drawImage(QRectF(QPointF(x, 0), tileSize), tile);
        x = std::floor(x + tileSize.width());
    }
    return image;
}

QImage PLRProgressBar::progressColor(const Color& color, const QSizeF& size)
{
    return solidImage(size, color.toQColor(), 2.0);
}

void PLRProgressBar::disableLayerActions()
{
    Layer::ActionTable none;
    for (const char* key : {"position", "transform", "opacity", "bounds", "frame"})
        none[QString::fromLatin1(key)] = nullptr;
    for (Layer* l : {m_stripeLayer, m_progressLayer, m_container, layer()})
        if (l)
            l->setActions(none);
}

bool PLRProgressBar::displayLayer(Layer* target)
{
    if (target == m_stripeLayer) {
        target->setContents(m_stripeContents);
        return true;
    }
    if (target == m_progressLayer) {
        target->setContents(m_progressContents);
        return true;
    }
    if (target == layer()) {
        fitFillToBounds();
        const QImage background = solidImage(bounds().size(), namedColor(QStringLiteral("plrControlBgColor")).toQColor(), 2.0);
        target->setContents(background);
        target->setContentsCenter(QRectF(0.5, 0.5, 0.00001, 0.00001));
        TransactionScope scope(true);
        setDoubleValue(m_progressAmount);
        return true;
    }
    return false;
}

void PLRProgressBar::fitFillToBounds()
{
    // The fill image and layer are made at set-up; a bar made before it had its size gets
    // them again once it has one.
    const QSizeF size = bounds().size();
    if (size.isEmpty() || pointSize(m_progressContents) == size)
        return;
    TransactionScope scope(true);
    m_progressContents = progressColor(namedColor(QStringLiteral("plrProgressBarColor")), size);
    m_progressLayer->setFrame(QRectF(0, 0, 2000, size.height()));
    m_progressLayer->setContents(m_progressContents);
}

void PLRProgressBar::resizeEvent(QResizeEvent* event)
{
    View::resizeEvent(event);
    fitFillToBounds();
    // The fill follows the new width.
    if (m_indeterminate)
        setInnerFrameWidth(float(frame().width()));
    else
        setDoubleValue(m_progressAmount);
}

void PLRProgressBar::setIndeterminate(bool indeterminate)
{
    TransactionScope scope(true);
    if (!indeterminate) {
        m_indeterminate = false;
        m_stripeLayer->setHidden(true);
        m_progressLayer->setHidden(false);
        m_progressLayer->setContents(m_progressContents);
        m_isAnimating = false;
        stopAnimation();
        return;
    }
    if (m_indeterminate)
        return;
    m_stripeLayer->setHidden(false);
    m_progressLayer->setHidden(true);
    m_indeterminate = true;
    m_stripeLayer->setNeedsDisplay();
    m_stripeLayer->setContents(m_stripeContents);
    setInnerFrameWidth(float(frame().width()));
    m_progressAmount = 100.0;
}

void PLRProgressBar::setInnerFrameWidth(float width)
{
    m_container->setFrame(QRectF(0, 0, double(width), bounds().height()));
}

void PLRProgressBar::setDoubleValue(double value)
{
    if (std::isnan(value)) {
        PLR_LOG_WARN(QStringLiteral("Progress bar ignores a value that is not a number"));
        return;
    }
    value = std::clamp(value, 0.0, 100.0);
    if (value > m_progressAmount)
        m_container->setActions({}); // a growing fill animates
    else
        disableLayerActions();       // a shrinking one jumps
    const double frameWidth = frame().width();
    if (m_indeterminate) {
        setInnerFrameWidth(float(frameWidth));
        return;
    }
    const double w = value >= 100.0 ? frameWidth : frameWidth * value / 100.0;
    setInnerFrameWidth(std::ceil(float(w)));
    m_progressAmount = value;
    m_progressLayer->setContents(m_progressContents);
}

void PLRProgressBar::addStripeAnimation() { m_stripeLayer->addAnimation(positionAnimation(), QStringLiteral("animateStripe")); }
void PLRProgressBar::addProgressAnimation() { m_progressLayer->addAnimation(positionAnimation(), QStringLiteral("animateProgress")); }

void PLRProgressBar::startAnimation()
{
    m_progressLayer->removeAllAnimations();
    m_stripeLayer->removeAllAnimations();
    addStripeAnimation();
    addProgressAnimation();
}

void PLRProgressBar::startAnimation(QObject*)
{
    if (!m_isAnimating && m_indeterminate) {
        addStripeAnimation();
        m_isAnimating = true;
    }
}

void PLRProgressBar::stopAnimation()
{
    m_stripeLayer->removeAllAnimations();
    m_progressLayer->removeAllAnimations();
    m_isAnimating = false;
}
