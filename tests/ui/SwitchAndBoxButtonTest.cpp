#include "UiTestSupport.h"

#include "TestSupport.h"
#include "controls/PLRBoxButton.h"
#include "controls/PLRPopupButton.h"
#include "controls/PLRSwitchButton.h"
#include "controls/PLRSliderCell.h"
#include "platform/NotificationCenter.h"
#include "platform-ui/Images.h"
#include "platform-ui/UINotifications.h"

#include <QApplication>
#include <QKeyEvent>

#include <gtest/gtest.h>

#include <cmath>

using namespace platform::ui;
using namespace ui_test;

namespace {

// A model object whose "on" property the switch is bound to.
bool isOn(const QObject& model) { return model.property("on").toBool(); }

void drag(QWidget* view, QPointF point)
{
    dispatch::sendMouse(view, QEvent::MouseMove, point, Qt::NoButton, Qt::LeftButton);
}

void pressKey(QWidget* view, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_Space ? QStringLiteral(" ") : QString());
    QApplication::sendEvent(view, &press);
}

} // namespace

TEST(SwitchButton, KnobFramesAndLooksOfA50By30Switch)
{
    manualClock();
    QWidget window;
    PLRSwitchButton toggle(QRectF(0, 0, 50, 30), &window);
    const double base = 48.0 / PLRSwitchButton::kGoldenRatio;
    EXPECT_DOUBLE_EQ(PLRSwitchButton::knobHeightForSize(QSizeF(50, 30)), 28.0);
    EXPECT_EQ(toggle.knobLayer()->frame(), QRectF(1, 1, base - 4, 28));
    EXPECT_EQ(toggle.backgroundLayer()->backgroundColor(), Color::calibrated(0.8, 0.8, 0.8));
    EXPECT_DOUBLE_EQ(toggle.backgroundLayer()->cornerRadius(), 15.0);
    EXPECT_DOUBLE_EQ(toggle.knobLayer()->cornerRadius(), 14.0);

    toggle.setChecked(true);
    EXPECT_EQ(toggle.knobLayer()->frame(), QRectF(50 - base + 3, 1, base - 4, 28));
    EXPECT_EQ(toggle.backgroundLayer()->backgroundColor(), Color::calibrated(0.2, 0.2, 0.2));
    EXPECT_EQ(toggle.backgroundLayer()->borderColor(), Color::calibrated(0.2, 0.2, 0.2));
    // The knob moves in a 0.4 s transaction.
    ASSERT_NE(toggle.knobLayer()->animationForKey(QStringLiteral("position")), nullptr);
    EXPECT_DOUBLE_EQ(toggle.knobLayer()->animationForKey(QStringLiteral("position"))->duration, 0.4);

    toggle.setEnabled(false);
    EXPECT_DOUBLE_EQ(toggle.rootLayer()->opacity(), 0.5);
}

TEST(SwitchButton, ClicksDragsKeysAndTheBinding)
{
    manualClock();
    QWidget window;
    window.resize(100, 60);
    auto* toggle = new PLRSwitchButton(QRectF(10, 10, 50, 30), &window);
    window.show();
    int actions = 0;
    toggle->setAction([&](Control*) { ++actions; });
    QObject model;
    toggle->bind(QString::fromLatin1(PLRSwitchButton::kBindingChecked), {&model, QStringLiteral("on"), false, {}});

    // A click turns an off switch on and sends one action; the model follows.
    dispatch::sendMouse(toggle, QEvent::MouseButtonPress, QPointF(10, 15));
    EXPECT_TRUE(toggle->isActive());
    dispatch::sendMouse(toggle, QEvent::MouseButtonRelease, QPointF(10, 15));
    EXPECT_TRUE(toggle->checked());
    EXPECT_EQ(actions, 1);
    EXPECT_TRUE(isOn(model));

    // Every release flips the switch, wherever a drag took the knob: dragged to the left, an on
    // switch goes off; an off switch dragged and let go on its left half still goes on.
    dispatch::sendMouse(toggle, QEvent::MouseButtonPress, QPointF(40, 15));
    drag(toggle, QPointF(30, 15));
    drag(toggle, QPointF(5, 15));
    EXPECT_TRUE(toggle->isDragged());
    EXPECT_FALSE(toggle->isDraggingTowardsOn());
    dispatch::sendMouse(toggle, QEvent::MouseButtonRelease, QPointF(5, 15));
    EXPECT_FALSE(toggle->checked());
    EXPECT_EQ(actions, 2);
    dispatch::sendMouse(toggle, QEvent::MouseButtonPress, QPointF(5, 15));
    drag(toggle, QPointF(12, 15));
    EXPECT_TRUE(toggle->isDragged());
    dispatch::sendMouse(toggle, QEvent::MouseButtonRelease, QPointF(12, 15));
    EXPECT_TRUE(toggle->checked());
    EXPECT_EQ(actions, 3);

    // A click on the knob with a point of jitter is still a click: the switch flips and reports it.
    dispatch::sendMouse(toggle, QEvent::MouseButtonPress, QPointF(40, 15));
    drag(toggle, QPointF(41, 16));
    EXPECT_FALSE(toggle->isDragged());
    dispatch::sendMouse(toggle, QEvent::MouseButtonRelease, QPointF(41, 16));
    EXPECT_FALSE(toggle->checked());
    EXPECT_EQ(actions, 4);
    actions = 2;

    // Keys act only with keyboard focus, and never while disabled. An arrow toward the side
    // the switch is already on changes nothing and sends no action.
    pressKey(toggle, Qt::Key_Left);
    EXPECT_FALSE(toggle->checked());
    EXPECT_EQ(actions, 2);
    pressKey(toggle, Qt::Key_Right);
    EXPECT_TRUE(toggle->checked());
    EXPECT_EQ(actions, 3);
    pressKey(toggle, Qt::Key_Right);
    EXPECT_TRUE(toggle->checked());
    EXPECT_EQ(actions, 3);
    EXPECT_FALSE(toggle->performKeyEquivalent(Qt::Key_Space)); // no focus
    toggle->setEnabled(false);
    pressKey(toggle, Qt::Key_Left);
    EXPECT_TRUE(toggle->checked());
    dispatch::sendMouse(toggle, QEvent::MouseButtonPress, QPointF(10, 15));
    dispatch::sendMouse(toggle, QEvent::MouseButtonRelease, QPointF(10, 15));
    EXPECT_TRUE(toggle->checked());
    EXPECT_EQ(actions, 3);

    // setChecked with the current value pushes nothing to the binding.
    model.setProperty("on", false);
    toggle->setChecked(true);
    EXPECT_FALSE(isOn(model));
}

TEST(SwitchButton, BindingProblemsAreLoggedAndIgnored)
{
    PLRSwitchButton toggle(QRectF(0, 0, 50, 30));
    toggle.bind(QStringLiteral("checked"), {nullptr, QStringLiteral("on"), false, {}});
    toggle.setChecked(true); // logged, no crash
    QObject model;
    toggle.bind(QStringLiteral("checked"), {&model, QStringLiteral("on"), true, [](const QVariant& v) { return QVariant(!v.toBool()); }});
    toggle.setChecked(false);
    EXPECT_TRUE(isOn(model)); // reversed by the transformer
    toggle.bind(QStringLiteral("checked"), {&model, QStringLiteral("on"), true, {}});
    toggle.setChecked(true);
    EXPECT_TRUE(isOn(model)); // a one-way transformer: the value passes unchanged
}

namespace {

struct Delegate : QObject, PLRBoxButtonDelegate {
    QStringList calls;
    std::function<void()> onClick;
    void recycleButtonClicked() override { calls << "recycle"; if (onClick) onClick(); }
    void cropButtonClicked() override { calls << "crop"; if (onClick) onClick(); }
    void recycleButtonMouseOver() override { calls << "over"; }
    void recycleButtonMouseExit() override { calls << "exit"; }
};

struct Tile {
    QWidget window;
    PLRBoxButton* tile;
    Delegate delegate;
    QPointF pointer{50, 20};
    explicit Tile(bool recycle)
    {
        window.resize(300, 100);
        tile = new PLRBoxButton(&window);
        tile->setFrame(QRectF(20, 20, 100, 46));
        tile->setIsRecycleButton(recycle);
        tile->setUpDefaultContent(QStringLiteral("Recycle"));
        tile->setDelegate(&delegate, &delegate);
        tile->setIsEnabled(true);
        window.show();
        PLRBoxButton::setPointerLocator([this](const PLRBoxButton*) { return pointer; });
    }
    ~Tile() { PLRBoxButton::setPointerLocator(nullptr); }
    void move(QPointF p) { pointer = p; dispatch::sendMouse(tile, QEvent::MouseMove, p); }
    void dragTo(QPointF p) { pointer = p; dispatch::sendMouse(tile, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton); }
    void press() { dispatch::sendMouse(tile, QEvent::MouseButtonPress, pointer); }
    void release() { dispatch::sendMouse(tile, QEvent::MouseButtonRelease, pointer); }
};

} // namespace

TEST(BoxButton, TheHoverCaptionIsReadableOnTheHighlight)
{
    Tile t(false);
    t.move(QPointF(50, 20));
    auto luminance = [](const QColor& colour) {
        auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
    };
    const double caption = luminance(t.tile->label()->textColor().toQColor());
    const double fill = luminance(t.tile->fillColor().toQColor());
    const double contrast = (std::max(caption, fill) + 0.05) / (std::min(caption, fill) + 0.05);
    EXPECT_GE(contrast, 4.5);
}

TEST(BoxButton, DownOutBackAndReleaseSendsOneClick)
{
    Tile t(true);
    const QPointF inside(50, 20), outside(200, 20);
    t.move(inside);
    EXPECT_EQ(t.delegate.calls, QStringList({"over"}));
    EXPECT_EQ(t.tile->fillColor(), t.tile->boxButtonHighlightColor());
    EXPECT_EQ(t.tile->label()->textColor(), Color::white());
    t.press();
    EXPECT_TRUE(t.tile->isMouseDown());
    EXPECT_EQ(t.tile->image()->image().bitmap, t.tile->pressedImage());
    t.dragTo(outside);
    EXPECT_EQ(t.tile->image()->image().bitmap, t.tile->normalImage());
    EXPECT_EQ(t.tile->fillColor(), Color::calibrated(0, 0, 0, 0));
    t.dragTo(inside);
    EXPECT_EQ(t.tile->image()->image().bitmap, t.tile->pressedImage());
    EXPECT_EQ(t.tile->label()->textColor(), Color(0.5, 0.5, 0.5));
    t.release();
    EXPECT_EQ(t.delegate.calls, QStringList({"over", "exit", "over", "recycle"}));
    // The pointer is still over the tile: nothing posted, the hover look stays.
    int posted = 0;
    QObject context;
    platform::NotificationCenter::defaultCenter().addObserver(&context, QString::fromLatin1(kPLR_NOTIFICATION_RECYCLE_TOGGLE_OUTLINE),
                                                              [&](const platform::Notification&) { ++posted; });
    testing_support::drainEvents();
    EXPECT_EQ(posted, 0);
    EXPECT_TRUE(t.tile->isMouseOver());

    // Pressing, dragging off and releasing there is no click.
    t.press();
    t.dragTo(outside);
    t.release();
    EXPECT_EQ(t.delegate.calls.count("recycle"), 1);
}

TEST(BoxButton, AClickThatMovesTheTileAwayResetsItAndPostsTheOutline)
{
    Tile t(false);
    t.tile->setIsEnabled(true);
    t.move(QPointF(50, 20));
    EXPECT_TRUE(t.delegate.calls.isEmpty()); // the crop tile sends no hover call
    int posted = 0;
    QObject context;
    platform::NotificationCenter::defaultCenter().addObserver(&context, QString::fromLatin1(kPLR_NOTIFICATION_RECYCLE_TOGGLE_OUTLINE),
                                                              [&](const platform::Notification&) { ++posted; });
    t.delegate.onClick = [&] { t.pointer = QPointF(500, 500); };
    t.press();
    t.release();
    EXPECT_EQ(t.delegate.calls, QStringList({"crop"}));
    testing_support::drainEvents();
    EXPECT_EQ(posted, 1);
    EXPECT_FALSE(t.tile->isMouseOver());
    EXPECT_EQ(t.tile->label()->textColor(), Color(0, 0, 0, 0.85));
}

TEST(BoxButton, AClickThatHidesTheTileResetsItAndPostsTheOutline)
{
    Tile t(true);
    t.move(QPointF(50, 20));
    int posted = 0;
    QObject context;
    platform::NotificationCenter::defaultCenter().addObserver(&context, QString::fromLatin1(kPLR_NOTIFICATION_RECYCLE_TOGGLE_OUTLINE),
                                                              [&](const platform::Notification&) { ++posted; });
    // The click hides the tile; the pointer has not moved and lies inside its rectangle.
    t.delegate.onClick = [&] { t.tile->hide(); };
    t.press();
    t.release();
    testing_support::drainEvents();
    EXPECT_EQ(t.delegate.calls, QStringList({"over", "recycle", "exit"}));
    EXPECT_EQ(posted, 1);
    EXPECT_FALSE(t.tile->isMouseOver());
    EXPECT_EQ(t.tile->fillColor(), Color::calibrated(0, 0, 0, 0));
    EXPECT_EQ(t.tile->label()->textColor(), Color(0, 0, 0, 0.85));
    EXPECT_EQ(t.tile->image()->image().bitmap, t.tile->normalImage());

    // A tile taken out of its window by the click is left alone.
    Tile removed(false);
    removed.move(QPointF(50, 20));
    removed.delegate.onClick = [&] { removed.tile->setParent(nullptr); };
    removed.press();
    removed.release();
    testing_support::drainEvents();
    EXPECT_EQ(posted, 1);
    delete removed.tile;
}

TEST(BoxButton, DisabledTilesShowTheirTextAndStillNoteThePointerLeaving)
{
    Tile t(true);
    t.tile->setDisabledTextString(QStringLiteral("Recycle 1 container at a time"));
    EXPECT_EQ(t.tile->label()->stringValue(), QStringLiteral("Recycle")); // shown from the next setIsEnabled
    t.move(QPointF(50, 20));
    t.tile->setIsEnabled(false);
    EXPECT_EQ(t.tile->label()->stringValue(), QStringLiteral("Recycle 1 container at a time"));
    EXPECT_EQ(t.tile->image()->image().bitmap, t.tile->disabledImage());
    EXPECT_EQ(t.tile->imageBox()->fillColor(), t.tile->boxButtonBorderColor());
    // Clicking a tile disabled under the pointer sends nothing.
    t.press();
    t.release();
    EXPECT_EQ(t.delegate.calls, QStringList({"over"}));
    // Leaving while disabled is still noted: the owner's highlight goes off, and a release
    // after re-enabling away from the tile is no click.
    t.move(QPointF(250, 20));
    EXPECT_EQ(t.delegate.calls, QStringList({"over", "exit"}));
    EXPECT_FALSE(t.tile->isMouseOver());
    t.tile->setIsEnabled(true);
    EXPECT_EQ(t.tile->label()->stringValue(), QStringLiteral("Recycle"));
    t.release();
    EXPECT_EQ(t.delegate.calls.count("recycle"), 0);
}


TEST(SwitchButton, FocusRingAndTheEnabledStateOfTheSuperview)
{
    manualClock();
    View window;
    window.resize(120, 60);
    auto* holder = new View(&window);
    holder->setFrame(QRectF(0, 0, 120, 60));
    auto* toggle = new PLRSwitchButton(QRectF(30, 15, 50, 30), holder);
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    toggle->clearFocus();

    // Without focus nothing is drawn outside the track; with it, a ring hugs the rounded track.
    const QColor outside = renderOnWhite(&window).pixelColor(55, 13);   // 2 px above the track
    EXPECT_TRUE(near(outside, Qt::white)) << outside.name().toStdString();
    toggle->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(toggle->hasFocus());
    EXPECT_TRUE(toggle->isShowingFocusRing());
    const QImage focused = renderOnWhite(&window);
    const QColor ring = focused.pixelColor(55, 13);
    EXPECT_LT(ring.red(), 200) << ring.name().toStdString();
    EXPECT_GT(ring.blue(), ring.red() + 30) << ring.name().toStdString();
    // The ring follows the rounded end: the corner of the frame stays clear.
    EXPECT_TRUE(near(focused.pixelColor(28, 13), Qt::white)) << focused.pixelColor(28, 13).name().toStdString();
    toggle->clearFocus();
    EXPECT_TRUE(near(renderOnWhite(&window).pixelColor(55, 13), Qt::white));

    // Disabling the superview fades the switch and enabling it again brings it back.
    holder->setEnabled(false);
    EXPECT_DOUBLE_EQ(toggle->rootLayer()->opacity(), 0.5);
    holder->setEnabled(true);
    EXPECT_DOUBLE_EQ(toggle->rootLayer()->opacity(), 1.0);
}

class FocusRingOf : public ::testing::TestWithParam<int> {};

TEST_P(FocusRingOf, AControlThatTakesFocusShowsTheRingAllAround)
{
    View window;
    window.resize(120, 60);
    Control* control = nullptr;
    switch (GetParam()) {
    case 0: control = new Control(&window); break;
    case 1: control = new PLRSlider(&window); break;
    default: control = new PLRPopupButton(&window); break;
    }
    control->setFrame(QRectF(30, 15, 60, 30));
    control->setFocusPolicy(Qt::StrongFocus);
    auto* plain = new View(&window);   // views that are not controls draw no ring
    plain->setFocusPolicy(Qt::StrongFocus);
    EXPECT_FALSE(plain->drawsFocusRing());
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    control->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(control->hasFocus());
    const QImage image = renderOnWhite(&window);
    // Qt rows 15 to 45, columns 30 to 90: the ring is the band of the 3 points just outside
    // every edge, and the control's own face stays inside its rectangle.
    for (int out = 1; out <= 3; ++out)
        for (const QPoint p : {QPoint(60, 15 - out), QPoint(60, 44 + out), QPoint(30 - out, 30), QPoint(89 + out, 30)}) {
            const QColor c = image.pixelColor(p);
            EXPECT_GT(c.blue(), c.red() + 30) << p.x() << "," << p.y() << " " << c.name().toStdString();
        }
    for (const QPoint p : {QPoint(60, 8), QPoint(60, 51), QPoint(23, 30), QPoint(96, 30)})
        EXPECT_TRUE(near(image.pixelColor(p), Qt::white)) << p.x() << "," << p.y() << " " << image.pixelColor(p).name().toStdString();
    control->setEnabled(false);   // a disabled control shows no ring
    EXPECT_TRUE(near(renderOnWhite(&window).pixelColor(60, 13), Qt::white));
}

// A plain control, a slider and a pop-up button (whose face draws its own border).
INSTANTIATE_TEST_SUITE_P(Controls, FocusRingOf, ::testing::Values(0, 1, 2));

// The crop and recycle tiles are Tab stops while enabled: the focus ring shows around the tile,
// and Space or Return does what a click does. A disabled tile is passed over and takes no keys.
TEST(BoxButton, TabReachesAnEnabledTileWhichShowsTheRingAndTakesSpaceAndReturn)
{
    View window;
    window.resize(300, 100);
    auto* before = new Button(&window);
    before->setFrame(QRectF(200, 20, 60, 24));
    auto* tile = new PLRBoxButton(&window);
    tile->setFrame(QRectF(20, 20, 100, 46));
    tile->setUpDefaultContent(QStringLiteral("Crop/Resize"));
    Delegate delegate;
    tile->setDelegate(&delegate, &delegate);
    tile->setIsEnabled(true);
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    before->setFocus(Qt::TabFocusReason);
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(before, &tab);
    ASSERT_EQ(QApplication::focusWidget(), tile);
    EXPECT_TRUE(tile->isShowingFocusRing());
    // The ring lies just outside the tile's edges.
    const QImage image = renderOnWhite(&window);
    const QRect g = tile->geometry();
    for (const QPoint p : {QPoint(g.center().x(), g.top() - 2), QPoint(g.center().x(), g.bottom() + 2),
                           QPoint(g.left() - 2, g.center().y()), QPoint(g.right() + 2, g.center().y())}) {
        const QColor c = image.pixelColor(p);
        EXPECT_GT(c.blue(), c.red() + 30) << p.x() << "," << p.y() << " " << c.name().toStdString();
    }
    pressKey(tile, Qt::Key_Space);
    pressKey(tile, Qt::Key_Return);
    EXPECT_EQ(delegate.calls, QStringList({"crop", "crop"}));

    // Disabled, the tile gives the keyboard on and Tab passes it by.
    tile->setIsEnabled(false);
    EXPECT_NE(QApplication::focusWidget(), tile);
    EXPECT_FALSE(tile->isShowingFocusRing());
    before->setFocus(Qt::TabFocusReason);
    QKeyEvent again(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(before, &again);
    EXPECT_NE(QApplication::focusWidget(), tile);
    pressKey(tile, Qt::Key_Space);
    EXPECT_EQ(delegate.calls.size(), 2);
}
