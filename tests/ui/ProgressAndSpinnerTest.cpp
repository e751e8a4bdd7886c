#include "UiTestSupport.h"

#include "controls/ColorWithHex.h"
#include "controls/PLRProgressBar.h"
#include "controls/PLRSpinner.h"
#include "platform-ui/Images.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace platform::ui;
using namespace ui_test;

namespace {
double containerWidth(PLRProgressBar& bar) { return bar.progressLayerContainer()->frame().width(); }
bool containerAnimates(PLRProgressBar& bar)
{
    bar.progressLayerContainer()->presentationState(); // drops finished animations
    return bar.progressLayerContainer()->animationForKey(QStringLiteral("bounds")) != nullptr;
}
} // namespace

TEST(ProgressBar, SetUpBuildsTheLayerTreeIndeterminate)
{
    manualClock();
    PLRProgressBar bar(QRectF(0, 0, 200, 8));
    EXPECT_TRUE(bar.indeterminate());
    EXPECT_DOUBLE_EQ(bar.progressAmount(), 100.0);
    EXPECT_TRUE(bar.isLayerHosting());
    Layer* container = bar.progressLayerContainer();
    EXPECT_TRUE(container->masksToBounds());
    EXPECT_EQ(container->frame(), QRectF(0, 0, 200, 8));
    EXPECT_EQ(bar.stripeLayer()->anchorPoint(), QPointF(0.1, 0.0));
    EXPECT_EQ(bar.stripeLayer()->frame(), QRectF(0, 0, 2000, pointSize(bar.stripe()).height()));
    EXPECT_EQ(bar.progressLayer()->frame(), QRectF(0, 0, 2000, 8));
    EXPECT_FALSE(bar.stripeLayer()->isHidden());
    EXPECT_TRUE(bar.progressLayer()->isHidden());
    EXPECT_EQ(pointSize(bar.stripeContents()), QSizeF(2000, pointSize(bar.stripe()).height()));
    EXPECT_EQ(pointSize(bar.progressContents()), QSizeF(200, 8));
    for (Layer* layer : {container, bar.stripeLayer(), bar.progressLayer(), bar.layer()})
        for (const char* key : {"position", "transform", "opacity", "bounds", "frame"})
            EXPECT_EQ(layer->actions().count(QString::fromLatin1(key)), 1u);
}

TEST(ProgressBar, ABarMadeBeforeItHasASizeShowsItsFillOnceSized)
{
    manualClock();
    PLRProgressBar bar(QRectF(0, 0, 0, 0));
    bar.setIndeterminate(false);
    bar.setDoubleValue(50);
    bar.setFrame(QRectF(0, 0, 200, 8));
    bar.show();   // a shown bar gets its resize
    advance(1.0);
    EXPECT_EQ(pointSize(bar.progressContents()), QSizeF(200, 8));
    EXPECT_EQ(bar.progressLayer()->frame().height(), 8.0);
    EXPECT_DOUBLE_EQ(containerWidth(bar), 100.0);
    const QImage image = renderOnWhite(&bar);
    EXPECT_TRUE(near(image.pixelColor(50, 4), namedColor(QStringLiteral("plrProgressBarColor")).toQColor()));
    EXPECT_TRUE(near(image.pixelColor(150, 4), namedColor(QStringLiteral("plrControlBgColor")).toQColor()));
}

TEST(ProgressBar, GrowingFillAnimatesAndShrinkingJumps)
{
    manualClock();
    PLRProgressBar bar(QRectF(0, 0, 200, 8));
    bar.setIndeterminate(false);
    EXPECT_DOUBLE_EQ(bar.progressAmount(), 100.0);
    bar.setDoubleValue(20); // below the stored 100: jumps
    EXPECT_DOUBLE_EQ(containerWidth(bar), 40.0);
    EXPECT_FALSE(containerAnimates(bar));

    bar.setDoubleValue(50);
    EXPECT_DOUBLE_EQ(containerWidth(bar), 100.0);
    ASSERT_TRUE(containerAnimates(bar));
    advance(0.1);
    const double shown = bar.progressLayerContainer()->presentationState().bounds.width();
    EXPECT_GT(shown, 40.0);
    EXPECT_LT(shown, 100.0);
    advance(0.3);
    EXPECT_FALSE(containerAnimates(bar));

    bar.setDoubleValue(30);
    EXPECT_DOUBLE_EQ(containerWidth(bar), 60.0);
    EXPECT_FALSE(containerAnimates(bar));
    bar.setDoubleValue(150);
    EXPECT_DOUBLE_EQ(containerWidth(bar), 200.0);
    bar.setDoubleValue(33.3); // the ceiling of 66.6
    EXPECT_DOUBLE_EQ(containerWidth(bar), 67.0);
}

TEST(ProgressBar, BadValuesAreIgnoredOrClamped)
{
    manualClock();
    PLRProgressBar bar(QRectF(0, 0, 200, 8));
    bar.setIndeterminate(false);
    bar.setDoubleValue(40);
    bar.setDoubleValue(std::nan(""));
    EXPECT_DOUBLE_EQ(bar.progressAmount(), 40.0);
    EXPECT_DOUBLE_EQ(containerWidth(bar), 80.0);
    bar.setDoubleValue(-5);
    EXPECT_DOUBLE_EQ(bar.progressAmount(), 0.0);
    EXPECT_DOUBLE_EQ(containerWidth(bar), 0.0);
}

TEST(ProgressBar, IndeterminateModeAndStripeAnimation)
{
    manualClock();
    PLRProgressBar bar(QRectF(0, 0, 200, 8));
    bar.setDoubleValue(30); // indeterminate: full width, value not stored
    EXPECT_DOUBLE_EQ(containerWidth(bar), 200.0);
    EXPECT_DOUBLE_EQ(bar.progressAmount(), 100.0);

    bar.startAnimation(&bar);
    bar.startAnimation(&bar);
    EXPECT_TRUE(bar.isAnimating());
    EXPECT_EQ(bar.stripeLayer()->animationKeys(), QStringList{QStringLiteral("animateStripe")});
    const auto* stripe = dynamic_cast<const BasicAnimation*>(bar.stripeLayer()->animationForKey(QStringLiteral("animateStripe")));
    ASSERT_NE(stripe, nullptr);
    EXPECT_EQ(stripe->keyPath, QStringLiteral("position.x"));
    EXPECT_DOUBLE_EQ(stripe->fromValue.toDouble(), 6.0);
    EXPECT_DOUBLE_EQ(stripe->toValue.toDouble(), 12.0);
    EXPECT_DOUBLE_EQ(stripe->duration, 0.2);
    EXPECT_FALSE(stripe->removedOnCompletion);
    advance(0.05);
    EXPECT_NEAR(bar.stripeLayer()->presentationState().position.x(), 7.5, 1e-9);
    advance(10.0);
    EXPECT_TRUE(bar.stripeLayer()->animationForKey(QStringLiteral("animateStripe")));

    bar.setIndeterminate(true); // again: nothing resets
    EXPECT_TRUE(bar.isAnimating());
    bar.setIndeterminate(false);
    EXPECT_FALSE(bar.isAnimating());
    EXPECT_TRUE(bar.stripeLayer()->animationKeys().isEmpty());
    EXPECT_TRUE(bar.stripeLayer()->isHidden());
    bar.startAnimation(&bar); // determinate: nothing
    EXPECT_FALSE(bar.isAnimating());
    bar.startAnimation();     // restarts both, flag untouched
    EXPECT_TRUE(bar.progressLayer()->animationForKey(QStringLiteral("animateProgress")));
    EXPECT_FALSE(bar.isAnimating());
}

TEST(ProgressBar, RepeatImageTilesAndSurvivesAnEmptyTile)
{
    QImage tile(3, 2, QImage::Format_ARGB32);
    tile.fill(Qt::red);
    tile.setPixelColor(0, 0, Qt::blue);
    const QImage strip = PLRProgressBar::repeatImage(tile, 10);
    EXPECT_EQ(strip.size(), QSize(10, 2));
    EXPECT_EQ(strip.pixelColor(3, 0), QColor(Qt::blue));
    EXPECT_EQ(strip.pixelColor(9, 0), QColor(Qt::blue));
    EXPECT_EQ(strip.pixelColor(4, 0), QColor(Qt::red));
    EXPECT_TRUE(PLRProgressBar::repeatImage(QImage(), 2000).isNull());
}

TEST(ProgressBar, RendersTrackAndFill)
{
    manualClock();
    PLRProgressBar bar(QRectF(0, 0, 200, 8));
    bar.setIndeterminate(false);
    bar.setDoubleValue(50);
    advance(1.0);
    const QImage image = renderOnWhite(&bar);
    EXPECT_TRUE(near(image.pixelColor(50, 4), namedColor(QStringLiteral("plrProgressBarColor")).toQColor()));
    EXPECT_TRUE(near(image.pixelColor(150, 4), namedColor(QStringLiteral("plrControlBgColor")).toQColor()));
}

TEST(Spinner, RingGeometryTickAndDefaults)
{
    PLRSpinner spinner(QRectF(0, 0, 40, 40));
    EXPECT_DOUBLE_EQ(spinner.spinnerWidth(), 5.0);
    EXPECT_EQ(spinner.foregroundColour(), ColorWithHex::smb_blueColour());
    EXPECT_EQ(spinner.backgroundColour(), Color::black(0.21));
    EXPECT_DOUBLE_EQ(spinner.arcLayer()->lineWidth(), 5.0);
    EXPECT_FALSE(spinner.trackLayer()->fillColor().has_value());
    const QRectF ring = spinner.arcLayer()->path().boundingRect(); // radius 20 - 2.5 - 2 = 15.5
    EXPECT_NEAR(ring.width(), 31.0, 1e-6);
    EXPECT_NEAR(ring.center().x(), 20.0, 1e-6);
    EXPECT_NEAR(ring.center().y(), 20.0, 1e-6);
    EXPECT_EQ(spinner.arcLayer()->position(), QPointF(20, 20));
    EXPECT_DOUBLE_EQ(spinner.tickLayer()->opacity(), 0.0);

    PLRSpinner wide(QRectF(0, 0, 60, 40));
    EXPECT_EQ(wide.tickLayer()->frame(), QRectF(15.5, 9, 29, 22));

    PLRSpinner tiny(QRectF(0, 0, 6, 6)); // smaller than its line: no ring at all
    EXPECT_TRUE(tiny.arcLayer()->path().isEmpty());
}

TEST(Spinner, AnimationsStopAndTick)
{
    manualClock();
    PLRSpinner spinner(QRectF(0, 0, 40, 40));
    spinner.stopAnimating(true); // idle: nothing
    EXPECT_DOUBLE_EQ(spinner.tickLayer()->opacity(), 0.0);

    spinner.startAnimating();
    EXPECT_TRUE(spinner.isAnimating());
    ShapeLayer* arc = spinner.arcLayer();
    EXPECT_DOUBLE_EQ(arc->opacity(), 1.0);
    EXPECT_EQ(arc->animationKeys(), (QStringList{QStringLiteral("strokeEnd"), QStringLiteral("strokeStart"), QStringLiteral("rotation")}));
    const auto* group = dynamic_cast<const AnimationGroup*>(arc->animationForKey(QStringLiteral("strokeEnd")));
    ASSERT_NE(group, nullptr);
    EXPECT_DOUBLE_EQ(group->duration, 2.2);
    const auto* inner = dynamic_cast<const BasicAnimation*>(group->animations.front().get());
    EXPECT_EQ(inner->timingFunction, TimingFunction::easeInEaseOut());
    EXPECT_DOUBLE_EQ(inner->duration, 2.0);
    const auto* start = dynamic_cast<const AnimationGroup*>(arc->animationForKey(QStringLiteral("strokeStart")));
    EXPECT_DOUBLE_EQ(start->animations.front()->beginTime, 0.2);
    const auto* rotation = dynamic_cast<const BasicAnimation*>(arc->animationForKey(QStringLiteral("rotation")));
    EXPECT_DOUBLE_EQ(rotation->toValue.toDouble(), 6.283185307179586);
    EXPECT_DOUBLE_EQ(rotation->duration, 4.4);

    advance(1.0);
    const LayerState shown = arc->presentationState();
    EXPECT_NEAR(shown.strokeEnd, 0.5, 1e-9);
    EXPECT_NEAR(shown.strokeStart, TimingFunction::easeInEaseOut().evaluate(0.4), 1e-9);

    spinner.startAnimating(); // already running: nothing new
    spinner.stopAnimating(true);
    EXPECT_FALSE(spinner.isAnimating());
    EXPECT_TRUE(arc->animationKeys().isEmpty());
    EXPECT_DOUBLE_EQ(arc->opacity(), 0.0);
    EXPECT_DOUBLE_EQ(spinner.tickLayer()->opacity(), 1.0);
    EXPECT_TRUE(spinner.tickLayer()->animationKeys().isEmpty()); // no fade: actions disabled

    spinner.startAnimating();
    EXPECT_DOUBLE_EQ(spinner.tickLayer()->opacity(), 0.0);
}

TEST(Spinner, DrawsRingBeforeStartAndTickAfterStop)
{
    manualClock();
    PLRSpinner spinner(QRectF(0, 0, 40, 40));
    QImage image = renderOnWhite(&spinner);
    EXPECT_TRUE(near(pixelAt(image, 20, 4.5), rgb("219DFF"), 12)); // top of the full ring
    EXPECT_TRUE(near(pixelAt(image, 20, 20), QColor(Qt::white)));
    spinner.startAnimating();
    spinner.stopAnimating(true);
    image = renderOnWhite(&spinner);
    // Arc gone: the track shows grey (black at 0.21 over white).
    EXPECT_TRUE(near(pixelAt(image, 20, 4.5), QColor(201, 201, 201), 12));
    // The tick is drawn in the middle (blue strokes somewhere in its box).
    bool blue = false;
    for (int x = 6; x < 34 && !blue; ++x)
        for (int y = 9; y < 31 && !blue; ++y)
            blue = image.pixelColor(x, y).blue() > 200 && image.pixelColor(x, y).red() < 120;
    EXPECT_TRUE(blue);
}

