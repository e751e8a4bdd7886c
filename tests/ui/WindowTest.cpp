#include "UiTestSupport.h"

#include "TestSupport.h"
#include "controls/PLRModalOverlayWindow.h"
#include "controls/WAYWindow.h"
#include "platform/Alert.h"
#include "platform/Storyboard.h"
#include "platform-ui/TabChain.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

using namespace platform::ui;
using namespace ui_test;

TEST(Window, DrawsItsOwnTitleBarWithStandardButtons)
{
    Window window(QRectF(100, 100, 400, 300));
    window.show();
    EXPECT_EQ(window.frame(), QRectF(100, 100, 400, 322)); // content plus the 22-point bar
    EXPECT_DOUBLE_EQ(window.titlebarHeight(), 22.0);
    EXPECT_EQ(window.titleBarView()->frame(), QRectF(0, 300, 400, 22));
    EXPECT_EQ(window.contentView()->frame(), QRectF(0, 0, 400, 300));
    EXPECT_EQ(window.standardWindowButton(WindowButton::Close)->frame(), QRectF(7, 3, 14, 16));
    EXPECT_EQ(window.standardWindowButton(WindowButton::Zoom)->frame(), QRectF(47, 3, 14, 16));

    // Clicking the close button with the left button closes the window; the others do nothing.
    for (Qt::MouseButton button : {Qt::MiddleButton, Qt::RightButton, Qt::BackButton}) {
        dispatch::sendMouse(window.standardWindowButton(WindowButton::Close), QEvent::MouseButtonPress, QPointF(7, 8), button);
        dispatch::sendMouse(window.standardWindowButton(WindowButton::Close), QEvent::MouseButtonRelease, QPointF(7, 8), button);
    }
    EXPECT_TRUE(window.isVisible());
    dispatch::sendMouse(window.standardWindowButton(WindowButton::Close), QEvent::MouseButtonPress, QPointF(7, 8));
    dispatch::sendMouse(window.standardWindowButton(WindowButton::Close), QEvent::MouseButtonRelease, QPointF(7, 8));
    EXPECT_FALSE(window.isVisible());
}

TEST(Window, TitleBarDragMovesOnlyAMovableWindow)
{
    Window window(QRectF(100, 100, 400, 300));
    window.show();
    const QPoint start = window.pos();
    TitleBarView* bar = window.titleBarView();
    dispatch::sendMouse(bar, QEvent::MouseButtonPress, QPointF(200, 11));
    QMouseEvent drag(QEvent::MouseMove, QPointF(230, 11), QPointF(230, 11), window.mapToGlobal(QPointF(230, 11)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drag);
    // A right click half-way leaves the left button's drag going.
    const QPointF there = window.mapFromGlobal(drag.globalPosition());
    for (auto [type, held] : {std::pair(QEvent::MouseButtonPress, Qt::LeftButton | Qt::RightButton),
                              std::pair(QEvent::MouseButtonRelease, Qt::MouseButtons(Qt::LeftButton))}) {
        QMouseEvent right(type, there, there, drag.globalPosition(), Qt::RightButton, held, Qt::NoModifier);
        QApplication::sendEvent(&window, &right);
    }
    const QPointF further = drag.globalPosition() + QPointF(20, 0);
    QMouseEvent on(QEvent::MouseMove, window.mapFromGlobal(further), window.mapFromGlobal(further), further, Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &on);
    dispatch::sendMouse(bar, QEvent::MouseButtonRelease, QPointF(200, 11));
    EXPECT_EQ(window.pos(), start + QPoint(50, 0));

    window.setMovable(false);
    dispatch::sendMouse(bar, QEvent::MouseButtonPress, QPointF(200, 11));
    QApplication::sendEvent(&window, &drag);
    dispatch::sendMouse(bar, QEvent::MouseButtonRelease, QPointF(200, 11));
    EXPECT_EQ(window.pos(), start + QPoint(50, 0));
}

namespace {
// Records the resizes it would hand to the window manager.
class ResizeRecordingWindow : public Window {
public:
    using Window::Window;
    QList<Qt::Edges> started;
protected:
    bool startSystemResize(Qt::Edges edges) override
    {
        started.append(edges);
        return true;
    }
};
} // namespace

TEST(Window, EdgesAndCornersResizeWithTheirCursorsAndTheMinimumHolds)
{
    ResizeRecordingWindow window(QRectF(100, 100, 400, 300));
    window.setMinimumSize(300, 200);
    window.show();
    const int w = window.width(), h = window.height();
    EXPECT_EQ(window.resizeEdgesAt(QPointF(200, 150)), Qt::Edges());
    EXPECT_EQ(window.resizeEdgesAt(QPointF(1, 150)), Qt::Edges(Qt::LeftEdge));
    EXPECT_EQ(window.resizeEdgesAt(QPointF(w - 2, 150)), Qt::Edges(Qt::RightEdge));
    EXPECT_EQ(window.resizeEdgesAt(QPointF(200, 0)), Qt::Edges(Qt::TopEdge));
    EXPECT_EQ(window.resizeEdgesAt(QPointF(200, h - 1)), Qt::Edges(Qt::BottomEdge));
    EXPECT_EQ(window.resizeEdgesAt(QPointF(2, 8)), Qt::TopEdge | Qt::LeftEdge);          // the corner's band
    EXPECT_EQ(window.resizeEdgesAt(QPointF(w - 1, h - 10)), Qt::BottomEdge | Qt::RightEdge);
    EXPECT_EQ(Window::cursorForResizeEdges(Qt::LeftEdge), Qt::SizeHorCursor);
    EXPECT_EQ(Window::cursorForResizeEdges(Qt::BottomEdge), Qt::SizeVerCursor);
    EXPECT_EQ(Window::cursorForResizeEdges(Qt::TopEdge | Qt::LeftEdge), Qt::SizeFDiagCursor);
    EXPECT_EQ(Window::cursorForResizeEdges(Qt::BottomEdge | Qt::RightEdge), Qt::SizeFDiagCursor);
    EXPECT_EQ(Window::cursorForResizeEdges(Qt::TopEdge | Qt::RightEdge), Qt::SizeBDiagCursor);

    // The pointer on the right edge, over the content: the resize cursor, and a press starts
    // the window manager's resize instead of reaching the content.
    const auto send = [&](QEvent::Type type, const QPointF& at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QWidget* target = window.childAt(at.toPoint());
        if (!target)
            target = &window;
        const QPointF local = target->mapFrom(&window, at);
        QMouseEvent event(type, local, local, window.mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    };
    send(QEvent::MouseMove, QPointF(w - 2, 150), Qt::NoButton, Qt::NoButton);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::SizeHorCursor);
    send(QEvent::MouseButtonPress, QPointF(w - 2, 150), Qt::LeftButton, Qt::LeftButton);
    ASSERT_EQ(window.started.size(), 1);
    EXPECT_EQ(window.started[0], Qt::Edges(Qt::RightEdge));
    send(QEvent::MouseMove, QPointF(200, 150), Qt::NoButton, Qt::NoButton);   // back inside: the cursor goes
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    send(QEvent::MouseButtonPress, QPointF(200, 150), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, QPointF(200, 150), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(window.started.size(), 1);

    // Maximised, or not resizable: no edges.
    window.showMaximized();
    EXPECT_EQ(window.resizeEdgesAt(QPointF(1, 150)), Qt::Edges());
    window.showNormal();
    window.setStyleMask(WindowStyleTitled | WindowStyleClosable);
    EXPECT_EQ(window.resizeEdgesAt(QPointF(1, 150)), Qt::Edges());

    // The minimum holds against any resize.
    window.resize(120, 90);
    EXPECT_GE(window.width(), 300);
    EXPECT_GE(window.height(), 200);
}

// Without a window manager to take the resize (the offscreen platform has none), the window
// follows the pointer by the edge pressed, within its minimum size, until the button goes up.
TEST(Window, WithoutAWindowManagerTheWindowResizesItselfByTheEdgePressed)
{
    Window window(QRectF(100, 100, 400, 300));
    window.setMinimumSize(300, 200);
    window.show();
    const QRect start = window.geometry();
    const auto send = [&](QEvent::Type type, const QPointF& at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QWidget* target = window.childAt(at.toPoint());
        if (!target)
            target = &window;
        const QPointF local = target->mapFrom(&window, at);
        QMouseEvent event(type, local, local, window.mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    };
    const int w = start.width(), h = start.height();
    // The right edge, 60 points out: the left edge stays.
    send(QEvent::MouseButtonPress, QPointF(w - 2, 150), Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(window.isResizingItself());
    send(QEvent::MouseMove, QPointF(w + 58, 150), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(window.geometry(), QRect(start.x(), start.y(), w + 60, h));
    send(QEvent::MouseButtonRelease, QPointF(w + 58, 150), Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(window.isResizingItself());
    // Moves after the release resize nothing.
    send(QEvent::MouseMove, QPointF(w + 200, 150), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(window.width(), w + 60);

    // The bottom-left corner, dragged far in: the minimum holds and the top-right stays.
    const QRect before = window.geometry();
    send(QEvent::MouseButtonPress, QPointF(1, before.height() - 2), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, QPointF(600, -400), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(window.size(), QSize(300, 200));
    EXPECT_EQ(window.geometry().right(), before.right());
    EXPECT_EQ(window.geometry().top(), before.top());
    send(QEvent::MouseButtonRelease, QPointF(600, -400), Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(window.isResizingItself());
}

// A resize of its own whose release never comes to the window (a window that opened took it,
// a pop-up took the pointer) ends where the pointer last took it.
TEST(Window, AResizeOfItsOwnWhoseReleaseGoesElsewhereEndsWhereItWas)
{
    Window window(QRectF(100, 100, 400, 300));
    window.show();
    QWidget popUp(nullptr, Qt::Popup);
    popUp.setGeometry(700, 100, 100, 100);
    const auto send = [&](QWidget* to, QEvent::Type type, const QPointF& at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, at, to->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(to, &event);
    };
    const int w = window.width(), h = window.height();
    // A move without the button held: the release was lost.
    send(&window, QEvent::MouseButtonPress, QPointF(w - 2, 150), Qt::LeftButton, Qt::LeftButton);
    ASSERT_TRUE(window.isResizingItself());
    send(&window, QEvent::MouseMove, QPointF(w + 18, 150), Qt::NoButton, Qt::LeftButton);
    send(&window, QEvent::MouseMove, QPointF(w + 58, 150), Qt::NoButton, Qt::NoButton);
    EXPECT_FALSE(window.isResizingItself());
    EXPECT_EQ(window.size(), QSize(w + 20, h));
    // Moves and the release that come in a pop-up are the pop-up's.
    send(&window, QEvent::MouseButtonPress, QPointF(w + 18, 150), Qt::LeftButton, Qt::LeftButton);
    ASSERT_TRUE(window.isResizingItself());
    popUp.show();
    send(&popUp, QEvent::MouseMove, QPointF(50, 50), Qt::NoButton, Qt::LeftButton);
    send(&popUp, QEvent::MouseButtonRelease, QPointF(50, 50), Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(window.isResizingItself());
    EXPECT_EQ(window.size(), QSize(w + 20, h));
}

TEST(WAYWindow, EveryResizeBandIsFivePointsWideAndTurnsTheCornerForFourteen)
{
    WAYWindow window(QRectF(100, 100, 600, 400));
    window.setTitleBarHeight(40);
    window.show();
    const double w = window.width(), h = window.height(), midX = w / 2, midY = h / 2;
    // Each edge: the band's innermost point still resizes, the next point inwards does not.
    const struct {
        QPointF inside, beyond;
        Qt::Edges edges;
    } bands[] = {
        {{4.9, midY}, {5.0, midY}, Qt::LeftEdge},
        {{w - 5.0, midY}, {w - 5.1, midY}, Qt::RightEdge},
        {{midX, 4.9}, {midX, 5.0}, Qt::TopEdge},
        {{midX, h - 5.0}, {midX, h - 5.1}, Qt::BottomEdge},
    };
    for (const auto& band : bands) {
        EXPECT_EQ(window.resizeEdgesAt(band.inside), band.edges) << band.inside.x() << "," << band.inside.y();
        EXPECT_EQ(window.resizeEdgesAt(band.beyond), Qt::Edges()) << band.beyond.x() << "," << band.beyond.y();
        // The outermost point too.
        const QPointF outer(band.edges & Qt::LeftEdge ? 0 : band.edges & Qt::RightEdge ? w - 0.1 : midX,
                            band.edges & Qt::TopEdge ? 0 : band.edges & Qt::BottomEdge ? h - 0.1 : midY);
        EXPECT_EQ(window.resizeEdgesAt(outer), band.edges);
    }
    // Along an edge, the last 14 points before a corner resize both ways.
    const struct {
        QPointF inside, beyond;
        Qt::Edges edges;
    } corners[] = {
        {{1, 13.9}, {1, 14.0}, Qt::LeftEdge | Qt::TopEdge},
        {{w - 1, 13.9}, {w - 1, 14.0}, Qt::RightEdge | Qt::TopEdge},
        {{1, h - 14.0}, {1, h - 14.1}, Qt::LeftEdge | Qt::BottomEdge},
        {{w - 1, h - 14.0}, {w - 1, h - 14.1}, Qt::RightEdge | Qt::BottomEdge},
        {{13.9, 1}, {14.0, 1}, Qt::TopEdge | Qt::LeftEdge},
        {{w - 14.0, 1}, {w - 14.1, 1}, Qt::TopEdge | Qt::RightEdge},
        {{13.9, h - 1}, {14.0, h - 1}, Qt::BottomEdge | Qt::LeftEdge},
        {{w - 14.0, h - 1}, {w - 14.1, h - 1}, Qt::BottomEdge | Qt::RightEdge},
    };
    for (const auto& corner : corners) {
        EXPECT_EQ(window.resizeEdgesAt(corner.inside), corner.edges) << corner.inside.x() << "," << corner.inside.y();
        EXPECT_NE(window.resizeEdgesAt(corner.beyond), corner.edges) << corner.beyond.x() << "," << corner.beyond.y();
        EXPECT_NE(window.resizeEdgesAt(corner.beyond), Qt::Edges());
    }
}

TEST(WAYWindow, TallerTitleBarPlacesButtons)
{
    WAYWindow window(QRectF(100, 100, 600, 400));
    window.show();
    EXPECT_TRUE(window.hidesTitle());
    EXPECT_FALSE(window.isTitleVisible());
    EXPECT_TRUE(window.styleMask() & WindowStyleFullSizeContentView);
    EXPECT_FLOAT_EQ(WAYWindow::defaultLeftMargin(), 7.0f);
    EXPECT_FLOAT_EQ(WAYWindow::defaultTopMargin(), 3.0f);
    ASSERT_EQ(window.standardButtons().size(), 3u);

    const QRectF before = window.frame();
    window.setTitleBarHeight(40);
    EXPECT_DOUBLE_EQ(window.titleBarHeight(), 40.0);
    EXPECT_DOUBLE_EQ(window.titleBarView()->frame().height(), 40.0);
    QRectF grown = window.frame();
    EXPECT_DOUBLE_EQ(grown.height(), before.height() + 40); // first height: grows by all of it
    EXPECT_DOUBLE_EQ(grown.y() + grown.height(), before.y() + before.height()); // top edge stays
    // Centred: the buttons' middle is the bar's middle; spaced by width + 6.
    for (int i = 0; i < 3; ++i) {
        const QRectF f = window.standardButtons()[size_t(i)]->frame();
        EXPECT_DOUBLE_EQ(f.center().y(), 20.0);
        EXPECT_DOUBLE_EQ(f.x(), 7.0 + 20.0 * i);
    }
    EXPECT_DOUBLE_EQ(window.contentView()->frame().height(), grown.height() - 40);

    window.setTitleBarHeight(40); // the same height again: delta 0
    EXPECT_EQ(window.frame(), grown);
    window.setTitleBarHeight(10); // raised to the default
    EXPECT_DOUBLE_EQ(window.titleBarHeight(), 22.0);

    window.setTitleBarHeight(50);
    window.setCenterTrafficLightButtons(false);
    EXPECT_DOUBLE_EQ(window.standardButtons()[0]->frame().y(), 50 - 16 - 3.0); // measured distance from the top
    window.setTrafficLightButtonsLeftMargin(12); // stored; used at the next layout
    EXPECT_DOUBLE_EQ(window.standardButtons()[0]->frame().x(), 7.0);
    window.resize(window.width() + 10, window.height());
    EXPECT_DOUBLE_EQ(window.standardButtons()[1]->frame().x(), 32.0);
}

namespace {
class EchoingDelegate : public WindowDelegate {
public:
    explicit EchoingDelegate(WAYWindow* window) : m_window(window) {}
    bool respondsTo(WindowMessage message) const override { return message == WindowMessage::WillClose; }
    void windowWillClose(Window* window) override
    {
        ++closes;
        m_window->delegateProxy()->windowWillClose(window); // forwarded back while being forwarded
    }
    int closes = 0;
private:
    WAYWindow* m_window;
};
} // namespace

namespace {
class QObjectDelegate : public QObject, public WindowDelegate {
public:
    bool respondsTo(WindowMessage message) const override { return message == WindowMessage::DidResize; }
    void windowDidResize(Window*) override { ++resizes; }
    int resizes = 0;
};
} // namespace

TEST(WAYWindow, DelegateProxyForgetsADelegateThatIsGone)
{
    WAYWindow window(QRectF(0, 0, 300, 200));
    auto* delegate = new QObjectDelegate;
    window.setDelegate(delegate);
    window.delegateProxy()->windowDidResize(&window);
    EXPECT_EQ(delegate->resizes, 1);
    delete delegate;
    EXPECT_EQ(window.delegate(), nullptr);
    EXPECT_FALSE(window.delegateProxy()->respondsTo(WindowMessage::WillClose));
    window.delegateProxy()->windowDidResize(&window);   // no call into the deleted delegate
}

TEST(WAYWindow, ReplaceSubviewKeepsThePlaceAndTheSubviewsSetting)
{
    WAYWindow window(QRectF(0, 0, 400, 300));
    View* content = window.contentView();
    auto* below = new View(content);
    below->setFrame(QRectF(0, 0, 50, 50));
    auto* old = new View(content);
    old->setFrame(QRectF(10, 20, 100, 80));
    old->setAutoresizesSubviews(false);
    old->setAutoresizingMask(0);
    auto* child = new View(old);
    child->setFrame(QRectF(5, 5, 10, 10));
    auto* above = new View(content);
    above->setFrame(QRectF(0, 0, 60, 60));

    auto* replacement = new View;
    replacement->setAutoresizingMask(7);
    window.replaceSubview(old, replacement, true);
    EXPECT_EQ(replacement->frame(), QRectF(10, 20, 100, 80));
    EXPECT_FALSE(replacement->autoresizesSubviews());
    EXPECT_EQ(replacement->autoresizingMask(), 7u);   // its own mask stays
    EXPECT_EQ(child->parentWidget(), replacement);
    EXPECT_EQ(child->frame(), QRectF(5, 5, 10, 10));
    // In the old view's place: above `below`, under `above`.
    EXPECT_EQ(content->subviews(), (QList<QWidget*>{below, replacement, above}));
}

TEST(WAYWindow, DelegateProxyForwardsOnceToBoth)
{
    WAYWindow window(QRectF(0, 0, 300, 200));
    EchoingDelegate delegate(&window);
    window.setDelegate(&delegate);
    EXPECT_EQ(window.delegate(), &delegate);
    EXPECT_EQ(window.effectiveDelegate(), window.delegateProxy());
    EXPECT_TRUE(window.delegateProxy()->respondsTo(WindowMessage::DidResize));
    EXPECT_FALSE(window.delegateProxy()->respondsTo(WindowMessage::DidMove));
    window.show();
    window.close();
    EXPECT_EQ(delegate.closes, 1);
    window.setDelegate(nullptr);
}

TEST(ModalOverlay, PlacedOverTheMainWindow)
{
    Window first(QRectF(0, 0, 200, 200));
    Window main(QRectF(0, 0, 800, 578)); // frame 800 x 600: the test's whole screen
    first.show();
    main.show();
    Application::setMainWindow(&main);

    PLRModalOverlayWindow overlay(QRectF(0, 0, 400, 300));
    EXPECT_EQ(overlay.topLevelWindow(), &main);
    overlay.center();
    EXPECT_EQ(overlay.frame(), QRectF(200, 180, 400, 300)); // centre raised by 600 / 20

    Window shortParent(QRectF(0, 100, 800, 378)); // frame 800 x 400, top at 500
    Application::setMainWindow(&shortParent);
    PLRModalOverlayWindow tall(QRectF(0, 0, 400, 380));
    tall.center();
    EXPECT_EQ(tall.frame(), QRectF(200, 70, 400, 380)); // top 50 below the parent's top
    Application::setMainWindow(nullptr);
}

TEST(ModalOverlay, EscapeClosesStopsWithMinus1000AndFreesTheMainWindow)
{
    Window main(QRectF(100, 100, 800, 578));
    main.show();
    Application::setMainWindow(&main);
    PLRModalOverlayWindowController::registerScene();
    std::unique_ptr<QObject> scene(platform::Storyboard::instantiate(QStringLiteral("ModalWindow"), QStringLiteral("window_controller")));
    auto* controller = qobject_cast<PLRModalOverlayWindowController*>(scene.get());
    ASSERT_NE(controller, nullptr);
    Window* window = controller->window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->backgroundColor(), Color::white());
    Button* close = controller->closeButton();
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->keyEquivalent(), QStringLiteral("\x1b"));
    EXPECT_FALSE(close->isBordered());
    const QRectF content = window->contentView()->bounds();
    EXPECT_EQ(close->frame(), QRectF(content.width() - 46, content.height() - 48, 30, 30));

    bool wasImmovable = false;
    QTimer::singleShot(0, [&] {
        wasImmovable = !main.isMovable();
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b"));
        QApplication::sendEvent(window, &escape);
    });
    window->center();
    testing_support::expectModalSessions();
    const qint64 response = Application::runModal(window);
    EXPECT_EQ(response, kModalResponseStop);
    EXPECT_EQ(response, -1000);
    EXPECT_TRUE(wasImmovable);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(main.isMovable());
    Application::setMainWindow(nullptr);
}

TEST(ModalOverlay, EveryWayOfClosingFreesTheMainWindow)
{
    Window main(QRectF(100, 100, 800, 578));
    main.show();
    Application::setMainWindow(&main);
    {
        PLRModalOverlayWindow overlay;
        overlay.makeKeyAndOrderFront();
        EXPECT_FALSE(main.isMovable());
        overlay.hide();
        EXPECT_TRUE(main.isMovable());
        overlay.makeKeyAndOrderFront();
        EXPECT_FALSE(main.isMovable());
    } // destroyed while shown
    EXPECT_TRUE(main.isMovable());

    // A modal window closed without anyone stopping its session still ends the session.
    PLRModalOverlayWindow stray;
    QTimer::singleShot(0, [&] { stray.close(); });
    testing_support::expectModalSessions(2);
    EXPECT_EQ(Application::runModal(&stray), kModalResponseStop);
    // Code that closes and then stops with its own code keeps its code.
    PLRModalOverlayWindow coded;
    QTimer::singleShot(0, [&] {
        coded.close();
        Application::stopModal(kModalResponseOK);
    });
    EXPECT_EQ(Application::runModal(&coded), kModalResponseOK);
    Application::setMainWindow(nullptr);
}

TEST(ModalOverlay, TheWindowActiveBeforeIsActiveAgainOnceTheModalWindowHasClosed)
{
    Window main(QRectF(100, 100, 800, 578));
    main.show();
    main.activateWindow();
    ASSERT_TRUE(testing_support::waitUntil([&] { return QApplication::activeWindow() == &main; }));
    PLRModalOverlayWindow overlay;
    QTimer::singleShot(0, [&] {
        // Closed once it has the keys.
        EXPECT_TRUE(testing_support::waitUntil([&] { return QApplication::activeWindow() == &overlay; }));
        overlay.close();
    });
    testing_support::expectModalSessions();
    EXPECT_EQ(Application::runModal(&overlay), kModalResponseStop);
    EXPECT_TRUE(testing_support::waitUntil([&] { return QApplication::activeWindow() == &main; }));
}

// Without a window manager nothing hands the keyboard on when the window that has it closes (a
// Preferences window, a panel): the window of ours that had it last before gets it back, with the
// keyboard on the control that had it there; of several, the one activated last.
TEST(Window, AClosingWindowGivesTheKeyboardBackToTheWindowThatHadItBefore)
{
    const auto activate = [](Window& window, QWidget* field) {
        window.show();
        window.activateWindow();
        const bool active = testing_support::waitUntil([&] { return QApplication::activeWindow() == &window; });
        if (field)
            field->setFocus(Qt::OtherFocusReason);
        return active;
    };
    const auto keyboardIn = [](Window& window, QWidget* field) {
        return testing_support::waitUntil([&] { return QApplication::activeWindow() == &window; })
               && QApplication::focusWidget() == field;
    };
    Window main(QRectF(100, 100, 500, 300));
    new QLineEdit(main.contentView());
    auto* mainField = new QLineEdit(main.contentView());
    mainField->move(0, 40);
    Window preferences(QRectF(200, 200, 300, 200), WindowStyleTitled | WindowStyleClosable);
    auto* preferencesField = new QLineEdit(preferences.contentView());
    Window panel(QRectF(250, 250, 200, 100), WindowStyleTitled | WindowStyleClosable);
    ASSERT_TRUE(activate(main, mainField));
    ASSERT_TRUE(activate(preferences, preferencesField));
    ASSERT_TRUE(activate(panel, nullptr));

    panel.close();
    EXPECT_TRUE(keyboardIn(preferences, preferencesField));
    preferences.close();
    EXPECT_TRUE(keyboardIn(main, mainField));

    // The one activated last, whichever was made first: Preferences again, then the main window.
    ASSERT_TRUE(activate(preferences, preferencesField));
    ASSERT_TRUE(activate(main, mainField));
    ASSERT_TRUE(activate(panel, nullptr));
    panel.close();
    EXPECT_TRUE(keyboardIn(main, mainField));
}

// An alert that comes up as the application starts, at once over the main window just shown,
// takes the keyboard before that window has it: answered, it gives the keyboard to that window.
TEST(Window, AClosingAlertGivesTheKeyboardToTheMainWindowShownJustBefore)
{
    Window main(QRectF(100, 100, 500, 300));
    auto* field = new QLineEdit(main.contentView());
    field->setFocus(Qt::OtherFocusReason);
    Application::setMainWindow(&main);
    main.makeKeyAndOrderFront();
    ASSERT_NE(QApplication::activeWindow(), &main);
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(testing_support::waitUntil([&] { return QApplication::activeWindow() == box; }));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(box->focusWidget() ? box->focusWidget() : box, &enter);
    });
    platform::QtAlertPresenter presenter;
    platform::Alert alert;
    alert.messageText = QStringLiteral("Pellora is not in /usr/bin");
    EXPECT_EQ(presenter.runModal(alert, nullptr).response, platform::kAlertFirstButtonReturn);
    EXPECT_TRUE(testing_support::waitUntil([&] { return QApplication::activeWindow() == &main; }));
    EXPECT_EQ(QApplication::focusWidget(), field);
    Application::setMainWindow(nullptr);
}

TEST(WindowMenuBar, TheWindowGrowsAndTheContentKeepsItsSize)
{
    Window window(QRectF(100, 100, 400, 300));
    const QSizeF content = window.contentView()->frame().size();
    const QRectF before = window.frame();
    auto* bar = new QMenuBar;
    bar->addMenu(QStringLiteral("File"));
    window.setMenuBar(bar);
    const double height = window.menuBarHeight();
    ASSERT_GT(height, 0.0);
    EXPECT_EQ(window.contentView()->frame().size(), content);
    EXPECT_DOUBLE_EQ(window.frame().height(), before.height() + height);
    EXPECT_DOUBLE_EQ(window.frame().bottom(), before.bottom()); // the top edge stays
    EXPECT_EQ(bar->geometry().topLeft(), QPoint(0, 0));
    EXPECT_EQ(window.titleBarView()->geometry().top(), int(height)); // the title bar under the menu bar
    window.setMenuBar(nullptr);
    EXPECT_EQ(window.frame(), before);
}

// Every kind of window lies within its screen's free area (a small screen, a large scale): ours,
// dialogs (alerts, file panels) and marked widgets (Quick Look), as they are shown and whenever
// their size changes; a window's minimum gives way to the area and comes back with a larger one.
TEST(Window, EveryKindOfWindowLiesWithinTheScreensFreeArea)
{
    const QRect free(0, 0, 640, 400);
    setScreenFreeAreaForTesting(free);
    Window window(QRectF(100, 100, 900, 600));
    window.setMinimumSize(860, 560);
    window.show();
    EXPECT_EQ(window.minimumSize(), free.size());
    EXPECT_EQ(window.geometry(), free);
    setScreenFreeAreaForTesting(QRect(0, 0, 1200, 900));
    fitToScreen(&window);
    EXPECT_EQ(window.minimumSize(), QSize(860, 560));
    setScreenFreeAreaForTesting(free);
    window.setMinimumSize(200, 100);
    window.setFrame(QRectF(300, -50, 500, 300), false);   // past the right and bottom edges
    EXPECT_EQ(window.geometry(), QRect(140, 100, 500, 300));
    window.resize(1000, 380);
    EXPECT_TRUE(free.contains(window.geometry()));
    QDialog dialog;
    dialog.setGeometry(50, 50, 900, 700);
    QWidget preview(nullptr, Qt::Window);
    keepOnScreen(&preview);
    preview.setGeometry(500, 300, 720, 560);
    for (QWidget* shown : {static_cast<QWidget*>(&dialog), &preview}) {
        shown->show();
        EXPECT_TRUE(free.contains(shown->frameGeometry())) << shown->metaObject()->className();
    }

    // An alert longer than its screen (a list of names): its text scrolls, its button is on the screen.
    setScreenFreeAreaForTesting(QRect());
    platform::Alert alert;
    alert.messageText = QStringLiteral("Some posts could not be opened");
    for (int i = 0; i < 80; ++i)
        alert.informativeText += QStringLiteral("\u201cPost %1\u201d: its file is damaged\n").arg(i);
    QRect box, button;
    bool wholeText = false;
    QTimer::singleShot(0, [&] {
        testing_support::drainEvents();
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* message = qobject_cast<QMessageBox*>(widget); message && message->isVisible()) {
                box = message->frameGeometry();
                button = QRect(message->buttons().front()->mapToGlobal(QPoint(0, 0)), message->buttons().front()->size());
                for (QLabel* label : message->findChildren<QLabel*>())
                    if (label->text() == alert.informativeText)
                        wholeText = label->height() >= label->heightForWidth(label->width());
                message->accept();
            }
    });
    platform::QtAlertPresenter().runModal(alert, nullptr);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(box));
    EXPECT_TRUE(screen.contains(button));
    EXPECT_TRUE(wholeText);   // scrolled, not cut
}

// A modal window that a test did not say it runs fails the test and ends at once (as closed),
// instead of the test waiting in it for a click nobody gives.
TEST(ModalOverlay, AModalWindowNoTestExpectedFailsTheTestAndEndsAtOnce)
{
    static qint64 response = 0;
    static PLRModalOverlayWindow* overlay = nullptr;
    PLRModalOverlayWindow window;
    overlay = &window;
    EXPECT_NONFATAL_FAILURE(response = Application::runModal(overlay), "Unexpected modal window");
    EXPECT_EQ(response, kModalResponseStop);
    // One the test expects runs until it is closed.
    QTimer::singleShot(0, [] { Application::stopModal(kModalResponseOK); });
    testing_support::expectModalSessions();
    EXPECT_EQ(Application::runModal(overlay), kModalResponseOK);
    overlay = nullptr;
}

// An opaque background is the only fill under the window's views: the system background is not
// drawn beneath it. A translucent one still goes over the system background.
TEST(Window, BackgroundColourOpaqueAloneTranslucentOverTheSystemBackground)
{
    Window window(QRectF(100, 100, 200, 150));
    const QPoint inside(150, 100);
    window.setBackgroundColor(Color(1, 0, 0));
    EXPECT_TRUE(window.testAttribute(Qt::WA_OpaquePaintEvent));
    EXPECT_EQ(window.grab().toImage().pixelColor(inside), QColor(255, 0, 0));

    window.setBackgroundColor(Color(0, 0, 1, 0.5));
    EXPECT_FALSE(window.testAttribute(Qt::WA_OpaquePaintEvent));
    const QColor system = window.palette().color(QPalette::Window);
    const QColor drawn = window.grab().toImage().pixelColor(inside);
    EXPECT_NEAR(drawn.red(), system.red() / 2, 2);
    EXPECT_NEAR(drawn.green(), system.green() / 2, 2);
    EXPECT_NEAR(drawn.blue(), (system.blue() + 255) / 2, 2);

    window.setBackgroundColor(Color(0, 1, 0));
    EXPECT_TRUE(window.testAttribute(Qt::WA_OpaquePaintEvent));
    EXPECT_EQ(window.grab().toImage().pixelColor(inside), QColor(0, 255, 0));
}

namespace {

QWidget* pressTab(bool forward = true)
{
    QWidget* focused = QApplication::focusWidget();
    if (!focused)
        return nullptr;
    QKeyEvent tab(QEvent::KeyPress, forward ? Qt::Key_Tab : Qt::Key_Backtab, forward ? Qt::NoModifier : Qt::ShiftModifier);
    QApplication::sendEvent(focused, &tab);
    return QApplication::focusWidget();
}

// The widget with the keyboard and the five that Tab (or Shift+Tab) then gives it to, by name.
std::string tabRound(bool forward)
{
    QWidget* focused = QApplication::focusWidget();
    QStringList names{focused ? focused->objectName() : QStringLiteral("(none)")};
    for (int i = 0; i < 5; ++i) {
        QWidget* next = pressTab(forward);
        names << (next ? next->objectName() : QStringLiteral("(none)"));
    }
    return names.join(' ').toStdString();
}

QPushButton* button(const QString& name, QWidget* parent)
{
    auto* made = new QPushButton(name, parent);
    made->setObjectName(name);
    made->setFocusPolicy(Qt::StrongFocus);
    made->show();
    return made;
}

// A widget whose keyboard goes to the field inside it, as a web view's goes to its page.
class Compound : public QWidget {
public:
    explicit Compound(QWidget* parent) : QWidget(parent)
    {
        setObjectName("compound");
        setFocusPolicy(Qt::StrongFocus);
        field = new QLineEdit(this);
        field->setObjectName("compoundField");
        setFocusProxy(field);
    }
    QLineEdit* field;
};

} // namespace

// A widget floating over the window's content (the support chat) is Tab's last stop however late
// the content came: Tab goes round the content and then to it, and from it back to the first;
// the keyboard a control lets go of as it is hidden or switched off goes past it. The chain stays
// one whole ring through every widget, also for a widget of it whose keyboard goes to a part of
// its own.
TEST(Window, AFloatingWidgetIsTheLastStopOfTabAndTakesNoKeyboardLetGo)
{
    Window window(QRectF(100, 100, 600, 400));
    QWidget* content = window.contentView();
    QPushButton* first = button("first", content);
    auto* floating = new QWidget(content);
    floating->setObjectName("floating");
    QPushButton* floatingButton = button("floatingButton", floating);
    auto* compound = new Compound(floating);
    compound->hide();   // (the open chat's page)
    keepLastInTabChain(floating);
    // Content made after the floating widget joined the window.
    button("second", content);
    QPushButton* third = button("third", content);
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    first->setFocus(Qt::TabFocusReason);

    EXPECT_EQ(tabRound(true), "first second third floatingButton first second");
    EXPECT_EQ(tabRound(false), "second first floatingButton third second first");
    QPushButton* fourth = button("fourth", content);   // made after that too
    third->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(pressTab()->objectName(), "fourth");
    EXPECT_EQ(pressTab()->objectName(), "floatingButton");

    // The floating widget open: its part takes the keyboard, last too.
    floatingButton->hide();
    compound->show();
    fourth->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(pressTab(), compound->field);
    EXPECT_EQ(pressTab(), first);
    EXPECT_EQ(pressTab(false), compound->field);
    compound->hide();
    floatingButton->show();

    // Let go: the control hidden with the keyboard hands it past the floating widget, as does
    // one switched off.
    fourth->setFocus(Qt::TabFocusReason);
    fourth->hide();
    EXPECT_EQ(QApplication::focusWidget(), first);
    third->setFocus(Qt::TabFocusReason);
    third->setEnabled(false);
    EXPECT_NE(QApplication::focusWidget(), floatingButton);
    EXPECT_NE(QApplication::focusWidget(), third);

    // One ring through every widget of the window, the same both ways.
    QList<QWidget*> forward;
    for (QWidget* w = window.nextInFocusChain(); w != &window && forward.size() <= 1000; w = w->nextInFocusChain())
        forward << w;
    QList<QWidget*> backward;
    for (QWidget* w = window.previousInFocusChain(); w != &window && backward.size() <= 1000; w = w->previousInFocusChain())
        backward.prepend(w);
    EXPECT_EQ(forward, backward);
    EXPECT_EQ(forward.size(), window.findChildren<QWidget*>().size());
}

// A floating widget with several stops (the open chat's page between two of its buttons) keeps
// them in their own order at the end of Tab, both ways round, also once it has been put last again.
TEST(Window, TheStopsOfAFloatingWidgetKeepTheirOrderAtTheEndOfTab)
{
    Window window(QRectF(100, 100, 600, 400));
    QWidget* content = window.contentView();
    QPushButton* first = button("first", content);
    auto* floating = new QWidget(content);
    floating->setObjectName("floating");
    button("upper", floating);
    new Compound(floating);
    button("lower", floating);
    keepLastInTabChain(floating);
    button("second", content);   // made after the floating widget joined the window
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    first->setFocus(Qt::TabFocusReason);

    EXPECT_EQ(tabRound(true), "first second upper compoundField lower first");
    EXPECT_EQ(tabRound(false), "first lower compoundField upper second first");
    button("third", content);
    first->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(tabRound(true), "first second third upper compoundField lower");
}
