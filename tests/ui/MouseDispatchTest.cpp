// How presses, drags and releases reach views when another window comes between: a pop-up menu
// that takes the release, a drag that takes the pointer over, a release lost while a window was
// blocked, a double click begun in another window or view, the buttons other than the left one,
// tracking areas of windows over windows, and a press handed to a widget while other windows go
// on being used.

#include "UiTestSupport.h"

#include "TestSupport.h"
#include "controls/PLRStepperCell.h"
#include "controls/PLRSwitchButton.h"
#include "platform-ui/Controls.h"
#include "platform-ui/Window.h"

#include <QApplication>
#include <QDrag>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <functional>

using namespace platform::ui;
using namespace ui_test;

namespace {

// Records what reaches it, reading each location as views do.
class PressRecorder : public View {
public:
    using View::View;
    void mouseDown(const MouseEvent& event) override
    {
        downs << event.locationIn(this);
        clickCounts << event.clickCount;
    }
    void mouseDragged(const MouseEvent& event) override
    {
        drags << event.locationIn(this);
        if (startsDrag) {
            auto* drag = new QDrag(this);
            drag->setMimeData(new QMimeData);
            drag->exec(Qt::MoveAction, Qt::MoveAction);
        }
    }
    void mouseUp(const MouseEvent& event) override { ups << event.locationIn(this); }
    void mouseCancelled() override { ++cancels; }
    void rightMouseDown(const MouseEvent& event) override { others << event.type; }
    void rightMouseDragged(const MouseEvent& event) override { others << event.type; }
    void rightMouseUp(const MouseEvent& event) override { others << event.type; }
    void otherMouseDown(const MouseEvent& event) override { others << event.type; }
    void otherMouseDragged(const MouseEvent& event) override { others << event.type; }
    void otherMouseUp(const MouseEvent& event) override { others << event.type; }
    void mouseEntered(const MouseEvent&) override { ++entered; }
    void mouseExited(const MouseEvent&) override { ++exited; }
    bool startsDrag = false;
    QList<QPointF> downs, drags, ups;
    QList<int> clickCounts;
    QList<MouseEvent::Type> others;   // of the buttons other than the left one
    int cancels = 0, entered = 0, exited = 0;
};

// Counts the presses, moves and releases that reach a widget's own handlers.
class Arrivals : public QObject {
public:
    explicit Arrivals(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
            ++presses;
        else if (event->type() == QEvent::MouseMove)
            ++moves;
        else if (event->type() == QEvent::MouseButtonRelease)
            ++releases;
        return false;
    }
    int presses = 0, moves = 0, releases = 0;
};

// A plain widget (not a view) whose press runs what the test gives it.
class PlainWidget : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void()> onPress;
protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        event->accept();
        if (onPress)
            onPress();
    }
};

class MouseDispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<Window>(QRectF(0, 0, 400, 300), WindowStyleBorderless);
        window->move(100, 100);
        view = new PressRecorder(window->contentView());
        view->setFrame(QRectF(20, 20, 200, 150));
        window->show();
        menu = std::make_unique<QMenu>();
        chosen = menu->addAction(QStringLiteral("Paste"));
        menu->addAction(QStringLiteral("Select All"));
    }
    void TearDown() override
    {
        menu.reset();
        window.reset();
    }
    // The menu pops up over the view, as one opened by a press there does.
    void popUpMenu()
    {
        menu->popup(view->mapToGlobal(QPoint(40, 40)));
        ASSERT_TRUE(menu->isVisible());
    }
    QPointF onMenuItem() const { return menu->actionGeometry(chosen).center(); }

    std::unique_ptr<Window> window;
    PressRecorder* view = nullptr;
    std::unique_ptr<QMenu> menu;
    QAction* chosen = nullptr;
};

} // namespace

// A pop-up that opens on a press takes the moves and the release that follow; they are its own,
// never the pressed view's, and the view learns that its press is over.
TEST_F(MouseDispatch, TheMovesAndReleaseThatComeInAPopUpAreItsOwnAndEndThePress)
{
    dispatch::sendMouse(view, QEvent::MouseButtonPress, QPointF(50, 50));
    ASSERT_NO_FATAL_FAILURE(popUpMenu());
    Arrivals arrivals(menu.get());
    dispatch::sendMouse(menu.get(), QEvent::MouseMove, onMenuItem(), Qt::NoButton, Qt::LeftButton);
    dispatch::sendMouse(menu.get(), QEvent::MouseButtonRelease, onMenuItem());
    EXPECT_EQ(view->drags.size(), 0);
    EXPECT_EQ(view->ups.size(), 0);
    EXPECT_EQ(view->cancels, 1);
    EXPECT_EQ(arrivals.moves, 1);
    EXPECT_EQ(arrivals.releases, 1);
    menu->hide();

    // The next click on the view is whole again.
    dispatch::sendMouse(view, QEvent::MouseButtonPress, QPointF(60, 70));
    dispatch::sendMouse(view, QEvent::MouseMove, QPointF(65, 70), Qt::NoButton, Qt::LeftButton);
    dispatch::sendMouse(view, QEvent::MouseButtonRelease, QPointF(65, 70));
    EXPECT_EQ(view->drags, QList<QPointF>{QPointF(65, 70)});
    EXPECT_EQ(view->ups, QList<QPointF>{QPointF(65, 70)});
    EXPECT_EQ(view->cancels, 1);
}

// A press whose release never reached the view (the loop of a drag or of a modal window took it)
// is over at the next press anywhere, or at the next move without a button held.
TEST_F(MouseDispatch, APressWhoseReleaseWasLostEndsAtTheNextPressOrMove)
{
    // The next press goes to a widget of the window that is not a view (as the menu bar is); the
    // menu it opens takes the release.
    auto* bar = new PlainWidget(window->contentView());
    bar->setGeometry(0, 0, 400, 20);
    bar->show();
    dispatch::sendMouse(view, QEvent::MouseButtonPress, QPointF(50, 50));
    dispatch::sendMouse(view, QEvent::MouseMove, QPointF(80, 60), Qt::NoButton, Qt::LeftButton);
    dispatch::sendMouse(bar, QEvent::MouseButtonPress, QPointF(30, 10));
    EXPECT_EQ(view->cancels, 1);
    ASSERT_NO_FATAL_FAILURE(popUpMenu());
    dispatch::sendMouse(menu.get(), QEvent::MouseButtonRelease, onMenuItem());
    EXPECT_EQ(view->ups.size(), 0);
    menu->hide();

    // A move without a button held: the release is not coming; one that comes later is no
    // part of the press.
    dispatch::sendMouse(view, QEvent::MouseButtonPress, QPointF(50, 50));
    dispatch::sendMouse(view, QEvent::MouseMove, QPointF(55, 50));
    EXPECT_EQ(view->cancels, 2);
    dispatch::sendMouse(view, QEvent::MouseMove, QPointF(60, 50), Qt::NoButton, Qt::LeftButton);
    dispatch::sendMouse(view, QEvent::MouseButtonRelease, QPointF(60, 50));
    EXPECT_EQ(view->drags.size(), 1);   // the one before the menu
    EXPECT_EQ(view->ups.size(), 0);
    EXPECT_EQ(view->cancels, 2);
}

// A drag started by the pressed view takes the pointer over: what comes after it, in the same
// window or another, is not handed to the view, which is told once that its press is over.
TEST_F(MouseDispatch, ADragThatTakesThePointerOverEndsThePress)
{
    view->startsDrag = true;
    dispatch::sendMouse(view, QEvent::MouseButtonPress, QPointF(50, 50));
    dispatch::sendMouse(view, QEvent::MouseMove, QPointF(90, 50), Qt::NoButton, Qt::LeftButton);
    ASSERT_EQ(view->drags.size(), 1);
    EXPECT_EQ(view->cancels, 1);
    view->startsDrag = false;
    // A drag cancelled with the button still held: its moves and release come afterwards.
    dispatch::sendMouse(view, QEvent::MouseMove, QPointF(95, 50), Qt::NoButton, Qt::LeftButton);
    dispatch::sendMouse(view, QEvent::MouseButtonRelease, QPointF(95, 50));
    EXPECT_EQ(view->drags.size(), 1);
    EXPECT_EQ(view->ups.size(), 0);
    // A release the drag's loop ate, then a menu: its release is the menu's.
    dispatch::sendMouse(view, QEvent::MouseButtonPress, QPointF(50, 50));
    view->startsDrag = true;
    dispatch::sendMouse(view, QEvent::MouseMove, QPointF(90, 50), Qt::NoButton, Qt::LeftButton);
    ASSERT_NO_FATAL_FAILURE(popUpMenu());
    dispatch::sendMouse(menu.get(), QEvent::MouseButtonPress, onMenuItem());
    dispatch::sendMouse(menu.get(), QEvent::MouseButtonRelease, onMenuItem());
    EXPECT_EQ(view->ups.size(), 0);
    EXPECT_EQ(view->cancels, 2);
}

// Only the left button clicks controls; those whose press is taken from them end it as it
// began: nothing acts, nothing is left looking pressed.
TEST_F(MouseDispatch, OnlyTheLeftButtonClicksAndControlsWhosePressIsTakenActOnNothing)
{
    int actions = 0;
    auto* button = new Button(window->contentView());
    button->setFrame(QRectF(240, 20, 80, 24));
    button->setTitle(QStringLiteral("Save"));
    button->setAction([&](Control*) { ++actions; });
    auto* toggle = new PLRSwitchButton(QRectF(240, 60, 50, 30), window->contentView());
    toggle->setAction([&](Control*) { ++actions; });
    auto* stepper = new PLRStepper(window->contentView());
    stepper->setFrame(QRectF(240, 100, 19, 30));
    stepper->setAutorepeat(false);
    for (View* control : {static_cast<View*>(button), static_cast<View*>(toggle), static_cast<View*>(stepper)}) {
        control->show();
        for (Qt::MouseButton other : {Qt::MiddleButton, Qt::RightButton, Qt::BackButton, Qt::ForwardButton}) {
            dispatch::sendMouse(control, QEvent::MouseButtonPress, QPointF(9, 20), other);
            dispatch::sendMouse(control, QEvent::MouseButtonDblClick, QPointF(9, 20), other, other);
            dispatch::sendMouse(control, QEvent::MouseButtonRelease, QPointF(9, 20), other);
        }
    }
    EXPECT_EQ(actions, 0);
    EXPECT_EQ(stepper->doubleValue(), 0.0);

    // A menu takes the releases of the button and the switch.
    for (View* control : {static_cast<View*>(button), static_cast<View*>(toggle)}) {
        dispatch::sendMouse(control, QEvent::MouseButtonPress, QPointF(10, 10));
        ASSERT_NO_FATAL_FAILURE(popUpMenu());
        dispatch::sendMouse(menu.get(), QEvent::MouseButtonRelease, onMenuItem());
        menu->hide();
    }
    EXPECT_FALSE(button->isHighlighted());
    EXPECT_FALSE(toggle->isActive());
    EXPECT_FALSE(toggle->checked());
    EXPECT_EQ(actions, 0);

    // The stepper's release is lost (a window that opened blocked this one); its half stays
    // pressed no longer.
    dispatch::sendMouse(stepper, QEvent::MouseButtonPress, QPointF(9, 25));
    EXPECT_EQ(stepper->cell().currentStepperState(), PLRStepperCell::upHighlighted);
    dispatch::sendMouse(window->contentView(), QEvent::MouseMove, QPointF(5, 5));
    EXPECT_EQ(stepper->cell().currentStepperState(), PLRStepperCell::inactive);
    EXPECT_EQ(stepper->doubleValue(), 1.0);   // the one step of the press
}

// The right and middle buttons reach handlers of their own; pressed, dragged and released during
// a drag of the left one, they leave it going.
TEST_F(MouseDispatch, EachButtonIsAGestureOfItsOwnThatAnotherButtonNeitherEndsNorRestarts)
{
    using T = MouseEvent::Type;
    dispatch::sendMouse(view, QEvent::MouseButtonPress, QPointF(50, 50));
    dispatch::sendMouse(view, QEvent::MouseMove, QPointF(60, 50), Qt::NoButton, Qt::LeftButton);
    for (Qt::MouseButton other : {Qt::RightButton, Qt::MiddleButton}) {
        dispatch::sendMouse(view, QEvent::MouseButtonPress, QPointF(60, 50), other, Qt::LeftButton | other);
        dispatch::sendMouse(view, QEvent::MouseMove, QPointF(70, 50), Qt::NoButton, Qt::LeftButton | other);
        dispatch::sendMouse(view, QEvent::MouseButtonRelease, QPointF(70, 50), other, Qt::LeftButton);
    }
    EXPECT_EQ(view->others, (QList<T>{T::RightMouseDown, T::RightMouseDragged, T::RightMouseUp, T::OtherMouseDown,
                                      T::OtherMouseDragged, T::OtherMouseUp}));
    EXPECT_TRUE(view->ups.isEmpty());
    dispatch::sendMouse(view, QEvent::MouseMove, QPointF(80, 50), Qt::NoButton, Qt::LeftButton);
    dispatch::sendMouse(view, QEvent::MouseButtonRelease, QPointF(80, 50));
    EXPECT_EQ(view->downs.size(), 1);
    EXPECT_EQ(view->drags, (QList<QPointF>{{60, 50}, {70, 50}, {70, 50}, {80, 50}}));
    EXPECT_EQ(view->ups, QList<QPointF>{QPointF(80, 50)});
    EXPECT_EQ(view->cancels, 0);
}

// A location read for an event of another window (a view handed a pop-up's event, a point of
// one window converted for another) is the one on the screen.
TEST_F(MouseDispatch, LocationsFromAnotherWindowAreMappedThroughTheScreen)
{
    ASSERT_NO_FATAL_FAILURE(popUpMenu());
    const QPointF inMenu = onMenuItem();
    MouseEvent event;
    event.window = menu.get();
    event.windowPoint = inMenu;
    event.screenPoint = menu->mapToGlobal(inMenu);
    const QPointF qtLocal = view->mapFromGlobal(event.screenPoint);
    EXPECT_EQ(event.locationIn(view), QPointF(qtLocal.x(), view->height() - qtLocal.y()));

    Window other(QRectF(0, 0, 200, 200), WindowStyleBorderless);
    other.move(600, 400);
    auto* there = new View(other.contentView());
    there->setFrame(QRectF(10, 10, 100, 100));
    other.show();
    // The bottom-left corner of `there`, in the view's y-up coordinates.
    const QPointF screen = there->mapToGlobal(QPointF(0, 100));
    const QPointF expected = view->mapFromGlobal(screen);
    EXPECT_EQ(view->convertPoint(QPointF(0, 0), there), QPointF(expected.x(), view->height() - expected.y()));
}

// Qt counts a press near the one before as a double click wherever the first one went; a view
// counts two clicks only when both came to it, of the same button.
TEST_F(MouseDispatch, ADoubleClickBegunInAnotherWindowOrViewOrWithAnotherButtonIsASingleClick)
{
    auto* neighbour = new PressRecorder(window->contentView());
    neighbour->setFrame(QRectF(240, 20, 100, 100));
    neighbour->show();
    dispatch::sendMouse(neighbour, QEvent::MouseButtonPress, QPointF(10, 10));
    dispatch::sendMouse(neighbour, QEvent::MouseButtonRelease, QPointF(10, 10));
    dispatch::sendMouse(view, QEvent::MouseButtonDblClick, QPointF(50, 50), Qt::LeftButton, Qt::LeftButton);
    dispatch::sendMouse(view, QEvent::MouseButtonRelease, QPointF(50, 50));
    dispatch::sendMouse(view, QEvent::MouseButtonPress, QPointF(50, 50), Qt::MiddleButton);
    dispatch::sendMouse(view, QEvent::MouseButtonRelease, QPointF(50, 50), Qt::MiddleButton);
    dispatch::sendMouse(view, QEvent::MouseButtonDblClick, QPointF(50, 50), Qt::LeftButton, Qt::LeftButton);
    dispatch::sendMouse(view, QEvent::MouseButtonRelease, QPointF(50, 50));

    // A menu item chosen, then at once a press on the view.
    ASSERT_NO_FATAL_FAILURE(popUpMenu());
    dispatch::sendMouse(menu.get(), QEvent::MouseButtonPress, onMenuItem());
    dispatch::sendMouse(menu.get(), QEvent::MouseButtonRelease, onMenuItem());
    menu->hide();
    dispatch::sendMouse(view, QEvent::MouseButtonDblClick, QPointF(50, 50), Qt::LeftButton, Qt::LeftButton);
    dispatch::sendMouse(view, QEvent::MouseButtonRelease, QPointF(50, 50));
    // Both presses on the view.
    dispatch::sendMouse(view, QEvent::MouseButtonPress, QPointF(70, 50));
    dispatch::sendMouse(view, QEvent::MouseButtonRelease, QPointF(70, 50));
    dispatch::sendMouse(view, QEvent::MouseButtonDblClick, QPointF(70, 50), Qt::LeftButton, Qt::LeftButton);
    dispatch::sendMouse(view, QEvent::MouseButtonRelease, QPointF(70, 50));
    EXPECT_EQ(view->clickCounts, (QList<int>{1, 1, 1, 1, 2}));
}

// Each window's tracking areas follow the pointer in that window: a panel that belongs to the
// window (made with one of its views as parent) is not tracked with the window's points, and
// the areas of a window are left when the pointer goes on in a pop-up.
TEST_F(MouseDispatch, TrackingAreasFollowThePointerInTheirOwnWindow)
{
    window->resize(800, 700);
    auto* panel = new PressRecorder(window->contentView());
    panel->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    panel->setGeometry(300, 300, 100, 100);
    panel->addTrackingArea(QRectF(), TrackingMouseEnteredAndExited | TrackingActiveAlways | TrackingInVisibleRect);
    panel->show();
    // A point of the main window that lies, in its own coordinates, where the panel lies on
    // the screen: it is not over the panel.
    const QPointF mainPoint = window->contentView()->mapFrom(window.get(), QPointF(350, 350));
    dispatch::sendMouse(window->contentView(), QEvent::MouseMove,
                        QPointF(mainPoint.x(), window->contentView()->height() - mainPoint.y()));
    EXPECT_EQ(panel->entered, 0);
    dispatch::sendMouse(panel, QEvent::MouseMove, QPointF(50, 50));
    EXPECT_EQ(panel->entered, 1);
    dispatch::sendMouse(window->contentView(), QEvent::MouseMove, QPointF(5, 5));
    EXPECT_EQ(panel->exited, 1);

    // Into the view's area, then on in a pop-up over it.
    view->addTrackingArea(QRectF(), TrackingMouseEnteredAndExited | TrackingActiveAlways | TrackingInVisibleRect);
    dispatch::sendMouse(view, QEvent::MouseMove, QPointF(50, 50));
    EXPECT_EQ(view->entered, 1);
    ASSERT_NO_FATAL_FAILURE(popUpMenu());
    dispatch::sendMouse(menu.get(), QEvent::MouseMove, onMenuItem());
    EXPECT_EQ(view->exited, 1);
}

// A press handed to a widget that is not a view: while that widget handles it (a dialog or panel
// it runs), the views of other windows go on getting their clicks.
TEST_F(MouseDispatch, WhileAPressIsHandedToAWidgetOtherWindowsGoOnGettingTheirClicks)
{
    Window panel(QRectF(0, 0, 200, 150), WindowStyleBorderless);
    panel.move(600, 100);
    auto* inPanel = new PressRecorder(panel.contentView());
    inPanel->setFrame(QRectF(10, 10, 100, 100));
    panel.show();
    auto* plain = new PlainWidget(view);
    plain->setGeometry(10, 10, 50, 30);
    plain->show();
    bool pressed = false;
    plain->onPress = [&] {
        pressed = true;
        dispatch::sendMouse(inPanel, QEvent::MouseButtonPress, QPointF(30, 30));
        dispatch::sendMouse(inPanel, QEvent::MouseButtonRelease, QPointF(30, 30));
    };
    // The press comes to the window, whose hit testing hands it to the plain widget.
    const QPointF inWindow = plain->mapTo(window.get(), QPointF(20, 15));
    QMouseEvent press(QEvent::MouseButtonPress, inWindow, inWindow, window->mapToGlobal(inWindow), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &press);
    EXPECT_TRUE(pressed);
    EXPECT_EQ(inPanel->downs, QList<QPointF>{QPointF(30, 30)});
    EXPECT_EQ(inPanel->ups, QList<QPointF>{QPointF(30, 30)});
}

// A widget takes the presses of the shape it shows: outside its mask (the corners of a round
// one) they are what lies beneath's, whether it is a plain widget or a view, in a view or in the
// window itself; inside it they are its own.
TEST_F(MouseDispatch, AMaskedWidgetTakesOnlyThePressesInsideItsMask)
{
    const QRegion round(0, 0, 60, 60, QRegion::Ellipse);
    // The recorder lies beneath all three (Qt's y runs down: it covers 20..220 by 130..280).
    auto* plainInView = new PlainWidget(window->contentView());
    plainInView->setGeometry(30, 140, 60, 60);
    auto* viewInView = new PressRecorder(window->contentView());
    viewInView->setGeometry(100, 140, 60, 60);
    auto* plainInWindow = new PlainWidget(window.get());
    plainInWindow->setGeometry(150, 210, 60, 60);
    int plainPresses = 0;
    for (PlainWidget* plain : {plainInView, plainInWindow})
        plain->onPress = [&] { ++plainPresses; };
    for (QWidget* widget : {static_cast<QWidget*>(plainInView), static_cast<QWidget*>(viewInView),
                            static_cast<QWidget*>(plainInWindow)}) {
        widget->setMask(round);
        widget->show();
    }
    const auto click = [&](QWidget* widget, QPointF local) {
        const QPointF inWindow = widget->mapTo(window.get(), local);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, inWindow, inWindow, window->mapToGlobal(inWindow), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(window.get(), &event);
        }
    };

    for (QWidget* widget : {static_cast<QWidget*>(plainInView), static_cast<QWidget*>(viewInView),
                            static_cast<QWidget*>(plainInWindow)}) {
        SCOPED_TRACE(widget == viewInView ? "a view in a view" : widget == plainInView ? "a plain widget in a view"
                                                                                        : "a plain widget in the window");
        const qsizetype beneath = view->downs.size();
        const qsizetype own = viewInView->downs.size();
        const int plain = plainPresses;
        // Its top-left and bottom-right corners: the recorder's.
        click(widget, QPointF(3, 3));
        click(widget, QPointF(56, 56));
        EXPECT_EQ(view->downs.size(), beneath + 2);
        EXPECT_EQ(viewInView->downs.size(), own);
        EXPECT_EQ(plainPresses, plain);
        // Its middle: its own.
        click(widget, QPointF(30, 30));
        EXPECT_EQ(view->downs.size(), beneath + 2);
        EXPECT_EQ(viewInView->downs.size() + plainPresses, own + plain + 1);
    }
}
