#include "UiTestSupport.h"

#include "platform-ui/GraphicsContext.h"
#include "platform-ui/Layer.h"
#include "platform/Clock.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include <gtest/gtest.h>

#include <numbers>

using namespace platform::ui;
using namespace ui_test;

namespace {
// A root layer with a change handler counts as being in a tree (implicit actions run).
std::unique_ptr<Layer> rootLayer(QSizeF size = {100, 100})
{
    auto root = std::make_unique<Layer>();
    root->setChangeHandler([] {});
    TransactionScope scope(true);
    root->setAnchorPoint(QPointF(0, 0));
    root->setBounds(QRectF(QPointF(), size));
    return root;
}
} // namespace

TEST(Layer, FrameFollowsPositionAndAnchorPoint)
{
    Layer layer;
    layer.setAnchorPoint(QPointF(0.1, 0.0));
    layer.setFrame(QRectF(0, 0, 2000, 8));
    EXPECT_EQ(layer.position(), QPointF(200, 0));
    EXPECT_EQ(layer.bounds(), QRectF(0, 0, 2000, 8));
    EXPECT_EQ(layer.frame(), QRectF(0, 0, 2000, 8));
    layer.setPosition(QPointF(206, 0));
    EXPECT_EQ(layer.frame().x(), 6.0);
}

TEST(Layer, TransactionsNestAndDisableImplicitActions)
{
    manualClock();
    auto root = rootLayer();
    Layer* child = root->addSublayer(std::make_unique<Layer>());
    {
        TransactionScope outer(true);
        {
            TransactionScope inner; // inherits the disabled actions
            child->setOpacity(0.5);
        }
        EXPECT_TRUE(Transaction::disableActions());
    }
    EXPECT_FALSE(Transaction::disableActions());
    EXPECT_EQ(Transaction::depth(), 0);
    EXPECT_EQ(child->animationForKey(QStringLiteral("opacity")), nullptr);

    // Outside a disabled transaction the change animates from the shown value over 0.25 s.
    child->setOpacity(1.0);
    ASSERT_NE(child->animationForKey(QStringLiteral("opacity")), nullptr);
    EXPECT_DOUBLE_EQ(child->presentationState().opacity, 0.5);
    advance(0.3);
    EXPECT_DOUBLE_EQ(child->presentationState().opacity, 1.0);
    EXPECT_EQ(child->animationForKey(QStringLiteral("opacity")), nullptr); // removed on completion

    // A null entry in the action table means no action; a detached layer never animates.
    child->setActions({{QStringLiteral("opacity"), nullptr}});
    child->setOpacity(0.2);
    EXPECT_EQ(child->animationForKey(QStringLiteral("opacity")), nullptr);
    Layer detached;
    detached.setOpacity(0.3);
    EXPECT_TRUE(detached.animationKeys().isEmpty());
}

TEST(Layer, BasicAndGroupedAnimationsFollowTheClock)
{
    manualClock();
    auto root = rootLayer();
    auto* shape = root->addSublayer(std::make_unique<ShapeLayer>());

    auto inner = BasicAnimation::withKeyPath(QStringLiteral("strokeStart"));
    inner->fromValue = 0.0;
    inner->toValue = 1.0;
    inner->beginTime = 0.2;
    inner->duration = 2.0;
    inner->repeatCount = kRepeatForever;
    auto group = std::make_unique<AnimationGroup>();
    group->duration = 2.2;
    group->repeatCount = kRepeatForever;
    group->animations.push_back(std::move(inner));
    shape->addAnimation(std::move(group), QStringLiteral("strokeStart"));

    auto rotation = BasicAnimation::withKeyPath(QStringLiteral("transform.rotation.z"));
    rotation->fromValue = 0.0;
    rotation->toValue = 2 * std::numbers::pi;
    rotation->duration = 4.4;
    rotation->timingFunction = TimingFunction::easeInEaseOut();
    rotation->repeatCount = kRepeatForever;
    shape->addAnimation(std::move(rotation), QStringLiteral("rotation"));

    EXPECT_DOUBLE_EQ(shape->presentationState().strokeStart, 0.0); // before its begin time: the model value
    advance(1.2);
    EXPECT_NEAR(shape->presentationState().strokeStart, 0.5, 1e-9);
    advance(1.0);
    EXPECT_NEAR(shape->presentationState().rotation, std::numbers::pi, 1e-6); // half-way, eased symmetric
    advance(0.1); // 2.3 s: the group started over and its child waits for its begin time
    EXPECT_NEAR(shape->presentationState().strokeStart, 0.0, 1e-9);
    advance(22.0);
    EXPECT_EQ(shape->animationKeys().size(), 2); // forever
    EXPECT_DOUBLE_EQ(shape->modelState().strokeStart, 0.0);

    auto once = BasicAnimation::withKeyPath(QStringLiteral("position.x"));
    once->fromValue = 6.0;
    once->toValue = 12.0;
    once->duration = 0.2;
    once->removedOnCompletion = false;
    once->fillMode = FillMode::Forwards;
    shape->addAnimation(std::move(once), QStringLiteral("x"));
    advance(0.1);
    EXPECT_NEAR(shape->presentationState().position.x(), 9.0, 1e-9);
    advance(1.0);
    EXPECT_NEAR(shape->presentationState().position.x(), 12.0, 1e-9); // filled forwards
    EXPECT_NE(shape->animationForKey(QStringLiteral("x")), nullptr);
}

// Animations and delayed calls keep one time: stepping either moves both.
TEST(Layer, AnimationsAndDelayedCallsShareTheOneClock)
{
    platform::ManualClock& clock = platform::ManualClock::install();
    EXPECT_TRUE(AnimationClock::shared().isManual());
    auto root = rootLayer();
    auto move = BasicAnimation::withKeyPath(QStringLiteral("position.x"));
    move->fromValue = 0.0;
    move->toValue = 10.0;
    move->duration = 1.0;
    root->addAnimation(std::move(move), QStringLiteral("x"));

    clock.advance(0.5);
    EXPECT_NEAR(root->presentationState().position.x(), 5.0, 1e-9);

    bool ran = false;
    platform::Clock::shared().after(0.2, nullptr, [&] { ran = true; });
    advance(0.2);   // the animation clock's step
    EXPECT_TRUE(ran);
    EXPECT_NEAR(root->presentationState().position.x(), 7.0, 1e-9);
}

TEST(Layer, TimingFunctionsFollowTheirBezierCurves)
{
    EXPECT_DOUBLE_EQ(TimingFunction::linear().evaluate(0.3), 0.3);
    EXPECT_NEAR(TimingFunction::easeInEaseOut().evaluate(0.5), 0.5, 1e-9);
    EXPECT_LT(TimingFunction::easeInEaseOut().evaluate(0.2), 0.2);
    EXPECT_GT(TimingFunction::easeOut().evaluate(0.2), 0.2);
}

TEST(Layer, PaintsBackgroundBorderCornersAndUprightContents)
{
    manualClock();
    auto root = rootLayer(QSizeF(40, 40));
    root->setBackgroundColor(Color(1, 1, 1));
    auto* box = root->addSublayer(std::make_unique<Layer>());
    {
        TransactionScope scope(true);
        box->setFrame(QRectF(0, 0, 40, 20)); // bottom half in y-up space
        box->setBackgroundColor(Color(1, 0, 0));
        box->setCornerRadius(10);
    }
    QImage contents(2, 2, QImage::Format_ARGB32);
    contents.setPixelColor(0, 0, Qt::green); // the top row is green
    contents.setPixelColor(1, 0, Qt::green);
    contents.setPixelColor(0, 1, Qt::blue);
    contents.setPixelColor(1, 1, Qt::blue);
    auto* picture = root->addSublayer(std::make_unique<Layer>());
    {
        TransactionScope scope(true);
        picture->setFrame(QRectF(0, 20, 20, 20));
        picture->setContents(contents);
    }
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        painter.translate(0, 40);
        painter.scale(1, -1); // y up, as a view that is not flipped paints
        root->render(painter, AnimationClock::shared().now());
    }
    EXPECT_TRUE(near(image.pixelColor(20, 30), QColor(255, 0, 0)));   // the red box lies at the bottom
    EXPECT_TRUE(near(image.pixelColor(1, 39), QColor(255, 255, 255))); // its rounded corner shows the root
    EXPECT_TRUE(near(image.pixelColor(5, 2), QColor(0, 255, 0)));      // the image stands upright: green on top
    EXPECT_TRUE(near(image.pixelColor(5, 17), QColor(0, 0, 255)));
    EXPECT_TRUE(near(image.pixelColor(30, 5), QColor(255, 255, 255)));
}

TEST(Layer, SublayersFollowTheirAutoresizingMask)
{
    auto root = rootLayer(QSizeF(200, 10));
    Layer* container = root->addSublayer(std::make_unique<Layer>());
    container->setFrame(QRectF(0, 0, 50, 10));
    container->setAutoresizingMask(LayerWidthSizable);
    TransactionScope scope(true);
    root->setBounds(QRectF(0, 0, 300, 10));
    EXPECT_EQ(container->frame(), QRectF(0, 0, 150, 10));
}

TEST(Layer, TrimmedPathsKeepTheAskedPart)
{
    QPainterPath line;
    line.moveTo(0, 0);
    line.lineTo(100, 0);
    const QPainterPath half = trimmedPath(line, 0.25, 0.75);
    EXPECT_NEAR(half.boundingRect().left(), 25, 1e-9);
    EXPECT_NEAR(half.boundingRect().right(), 75, 1e-9);
    EXPECT_TRUE(trimmedPath(line, 0.6, 0.4).isEmpty());
}

// The shadow blur gives what three plain box blurs across and down give (each pixel the mean of
// the 2r + 1 around it, what lies beyond the edges counting as clear), for a blur wider than the
// image too; a shadow asked for again is the same image, made once.
TEST(ShadowBlur, MatchesPlainBoxBlursAndIsMadeOncePerShape)
{
    const auto plainBlur = [](QImage image, int r) {
        const int w = image.width(), h = image.height(), n = 2 * r + 1;
        for (int round = 0; round < 3; ++round) {
            for (const bool across : {true, false}) {
                QImage out = image;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        int sum[4] = {0, 0, 0, 0};
                        for (int k = -r; k <= r; ++k) {
                            const int sx = across ? x + k : x, sy = across ? y : y + k;
                            if (sx < 0 || sy < 0 || sx >= w || sy >= h)
                                continue;
                            const QRgb c = image.pixel(sx, sy);
                            sum[0] += qAlpha(c), sum[1] += qRed(c), sum[2] += qGreen(c), sum[3] += qBlue(c);
                        }
                        reinterpret_cast<QRgb*>(out.scanLine(y))[x] = qRgba(sum[1] / n, sum[2] / n, sum[3] / n, sum[0] / n);
                    }
                image = out;
            }
        }
        return image;
    };
    QImage image(37, 23, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(20, 40, 200, 180));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QRectF(4.5, 3.5, 20, 14));
        painter.fillRect(QRect(28, 2, 6, 19), QColor(250, 10, 10));
    }
    for (const double radius : {2.0, 6.0, 60.0}) {
        QImage blurred = image;
        platform::ui::blurImage(blurred, radius);
        const QImage expected = plainBlur(image, std::max(1, int(std::lround(radius / 2.0))));
        EXPECT_EQ(blurred, expected) << radius;
    }

    QPainterPath shape;
    shape.addRoundedRect(QRectF(20, 20, 300, 200), 5, 5);
    const qint64 before = platform::ui::GraphicsContext::shadowsBlurred();
    const QImage first = platform::ui::GraphicsContext::shadowImage(shape, QColor(0, 0, 0, 50), 5.0, QSize(340, 240));
    const QImage again = platform::ui::GraphicsContext::shadowImage(shape, QColor(0, 0, 0, 50), 5.0, QSize(340, 240));
    EXPECT_EQ(first.cacheKey(), again.cacheKey());
    const QImage darker = platform::ui::GraphicsContext::shadowImage(shape, QColor(0, 0, 0, 80), 5.0, QSize(340, 240));
    EXPECT_NE(darker, first);
    EXPECT_EQ(platform::ui::GraphicsContext::shadowsBlurred() - before, 2);
}

TEST(View, PaintedInBandsItDrawsTheSamePixelsAsWhole)
{
    manualClock();
    // A tall view with what a grid's tile draws: a rounded clip over a picture that overflows it,
    // a border, a wash, and a drawn subview beside a layer.
    struct Tile : View {
        using View::View;
        void drawRect(GraphicsContext& context, const QRectF&) override
        {
            context.fillRect(bounds(), Color(0.9, 0.95, 1.0));
            context.strokePath(roundedRectPath(bounds().adjusted(0.5, 0.5, -0.5, -0.5), 3, 3), Color::black(0.3), 1.0);
        }
    };
    QImage picture(150, 500, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixelColor(x, y, QColor::fromHsv((x + y) % 360, 200, 100 + (y * 7) % 150));
    const auto paint = [&](bool bands) {
        Tile tile;
        tile.resize(160, 420);
        tile.setPaintsInBands(bands);
        auto* framed = new View(&tile);
        framed->setGeometry(5, 40, 150, 370);
        framed->setPaintsInBands(bands);
        framed->setWantsLayer(true);
        {
            TransactionScope scope(true);
            framed->layer()->setMasksToBounds(true);
            framed->layer()->setCornerRadius(4.0);
            framed->layer()->setBorderColor(Color(0.2, 0.4, 0.9));
            framed->layer()->setBorderWidth(2.0);
            auto contents = std::make_unique<Layer>();
            contents->setFrame(QRectF(0, -130, 150, 500));
            contents->setContents(picture);
            framed->layer()->addSublayer(std::move(contents));
        }
        return ui_test::renderOnWhite(&tile);
    };
    const QImage whole = paint(false);
    const QImage banded = paint(true);
    ASSERT_EQ(whole.size(), QSize(160, 420));
    EXPECT_EQ(banded, whole);
    EXPECT_NE(whole.pixelColor(80, 200), QColor(Qt::white));   // something was drawn
}
