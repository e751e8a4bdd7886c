#pragma once

#include "platform-ui/Color.h"
#include "platform-ui/View.h"

#include <QEventLoop>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

class QKeyEvent;

namespace platform::ui {

class Window;

// Window style bits (fixed values, combined as a mask).
enum WindowStyleMask : unsigned {
    WindowStyleBorderless = 0,
    WindowStyleTitled = 1u << 0,
    WindowStyleClosable = 1u << 1,
    WindowStyleMiniaturizable = 1u << 2,
    WindowStyleResizable = 1u << 3,
    WindowStyleFullScreen = 1u << 14,
    WindowStyleFullSizeContentView = 1u << 15,
};

enum class WindowButton { Close, Miniaturize, Zoom };

// The answers a modal session ends with.
inline constexpr qint64 kModalResponseOK = 1;
inline constexpr qint64 kModalResponseCancel = 0;
inline constexpr qint64 kModalResponseStop = -1000;
inline constexpr qint64 kModalResponseAbort = -1001;
inline constexpr qint64 kModalResponseContinue = -1002;

// The messages a window sends its delegate (they name the calls below).
enum class WindowMessage { DidResize, DidMove, WillClose, ShouldClose, DidBecomeKey, DidResignKey };

// A window's delegate. Every call is optional; respondsTo() tells which ones a delegate takes.
class WindowDelegate {
public:
    virtual ~WindowDelegate() = default;
    virtual bool respondsTo(WindowMessage) const { return true; }
    virtual void windowDidResize(Window*) {}
    virtual void windowDidMove(Window*) {}
    virtual void windowWillClose(Window*) {}
    virtual bool windowShouldClose(Window*) { return true; }
    virtual void windowDidBecomeKey(Window*) {}
    virtual void windowDidResignKey(Window*) {}
};

// One of the three standard window buttons, drawn by us.
class StandardWindowButton : public View {
    Q_OBJECT
public:
    StandardWindowButton(WindowButton kind, QWidget* parent);
    WindowButton kind() const { return m_kind; }
    void drawRect(GraphicsContext& context, const QRectF& dirtyRect) override;
    void mouseDown(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;
    void mouseCancelled() override;
signals:
    void clicked();
private:
    WindowButton m_kind;
    bool m_pressed = false;
};

// The title bar we draw: background, title, the standard buttons; dragging it moves a movable window.
class TitleBarView : public View {
    Q_OBJECT
public:
    explicit TitleBarView(Window* window);
    void drawRect(GraphicsContext& context, const QRectF& dirtyRect) override;
    void mouseDown(const MouseEvent& event) override;
    void mouseDragged(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;
    void mouseCancelled() override;
private:
    Window* m_window;
    QPointF m_dragStart;
    QPoint m_windowStart;
    bool m_dragging = false;
};

// A top-level window with our own title bar. Frames are in screen coordinates
// (origin at the bottom left of the primary screen, y up).
class Window : public QWidget {
    Q_OBJECT
public:
    explicit Window(const QRectF& contentRect = QRectF(0, 0, 480, 360),
                    unsigned styleMask = WindowStyleTitled | WindowStyleClosable | WindowStyleMiniaturizable | WindowStyleResizable,
                    QWidget* parent = nullptr);
    ~Window() override;

    // The title-bar height of a titled window (frame height minus content height).
    static double defaultTitleBarHeight() { return 22.0; }
    static QRectF frameRectForContentRect(const QRectF& contentRect, unsigned styleMask);
    static QRectF contentRectForFrameRect(const QRectF& frameRect, unsigned styleMask);
    // Conversions between platform screen coordinates and Qt's.
    static QRectF screenRectFromQt(const QRectF& rect);
    static QRectF qtRectFromScreen(const QRectF& rect);

    unsigned styleMask() const { return m_styleMask; }
    void setStyleMask(unsigned mask);
    bool isFullScreen() const { return m_styleMask & WindowStyleFullScreen; }

    QRectF frame() const;
    virtual void setFrame(const QRectF& frame, bool display);
    void setFrameOrigin(const QPointF& origin);

    View* contentView() const { return m_contentView; }
    // Takes ownership of the view; the old content view is deleted.
    void setContentView(View* view);
    TitleBarView* titleBarView() const { return m_titleBar; }
    StandardWindowButton* standardWindowButton(WindowButton kind) const;
    // The height of the title bar we draw: the default plus the accessory views.
    double titlebarHeight() const;
    // Title-bar accessories make the bar taller by their views' heights.
    void addTitlebarAccessoryView(View* view, double fullScreenMinHeight);
    void removeTitlebarAccessoryView(int index);
    int titlebarAccessoryCount() const { return int(m_accessories.size()); }
    bool isTitleVisible() const { return m_titleVisible; }
    void setTitleVisible(bool visible);
    QString title() const { return windowTitle(); }
    void setTitle(const QString& title) { setWindowTitle(title); if (m_titleBar) m_titleBar->update(); }

    // A menu bar across the top of the window, above the title bar (the window keeps it; null
    // removes it). The window grows by its height, so the content keeps its size.
    void setMenuBar(QWidget* menuBar);
    QWidget* menuBar() const { return m_menuBar; }
    double menuBarHeight() const;

    bool isMovable() const { return m_movable; }
    void setMovable(bool movable) { m_movable = movable; }
    Color backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const Color& color);

    virtual WindowDelegate* delegate() const { return m_delegate; }
    virtual void setDelegate(WindowDelegate* delegate) { m_delegate = delegate; }
    // The delegate the window itself talks to (subclasses may put a forwarding one in between).
    virtual WindowDelegate* effectiveDelegate() const { return m_delegate; }

    virtual void center();
    virtual void makeKeyAndOrderFront();
    virtual void orderFront();
    virtual void orderOut();
    virtual bool canBecomeKeyWindow() const { return true; }
    virtual bool canBecomeMainWindow() const { return m_styleMask & WindowStyleTitled; }
    bool isKeyWindow() const { return isActiveWindow(); }
    // Asks the delegate, then closes.
    void performClose();
    bool makeFirstResponder(QWidget* responder);
    QWidget* firstResponder() const { return focusWidget(); }

    // Offers a key press to the controls with a matching key equivalent; true when one took it.
    bool performKeyEquivalent(const QKeyEvent& event);

    // Resizing by the edges: a resizable window that is not maximised or full screen takes a
    // press within kResizeBorder points of an edge (kResizeCorner along it near a corner) as the
    // start of a resize by the window manager, and shows the matching cursor there. Where the
    // window manager cannot take it (none runs), the window follows the pointer itself until
    // the button is released, within its minimum and maximum sizes.
    static constexpr int kResizeBorder = 5;
    static constexpr int kResizeCorner = 14;
    // The edges a press at the point (Qt coordinates of the window) would resize; none inside.
    Qt::Edges resizeEdgesAt(const QPointF& point) const;
    static Qt::CursorShape cursorForResizeEdges(Qt::Edges edges);
    // A press on the edges at the pointer's global position: starts the resize; true when it
    // started (by the window manager or by the window itself).
    bool beginEdgeResize(Qt::Edges edges, const QPointF& globalPoint);
    // The resize the window does itself: true while it runs; the pointer moved; the button went up.
    bool isResizingItself() const { return bool(m_ownResizeEdges); }
    void continueOwnResize(const QPointF& globalPoint);
    void endOwnResize() { m_ownResizeEdges = {}; }

protected:
    // Hands the resize to the window manager; false when it cannot take it.
    virtual bool startSystemResize(Qt::Edges edges);
    // Places the title bar and the content view; subclasses adjust after it.
    virtual void layoutWindow();
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Tab and Shift+Tab, and the keyboard let go by a control that is hidden or switched off:
    // the widgets kept last in the Tab chain (TabChain.h) stay last, and take no keyboard let go.
    bool focusNextPrevChild(bool next) override;

private:
    void placeStandardButtons();
    unsigned m_styleMask;
    View* m_contentView = nullptr;
    TitleBarView* m_titleBar = nullptr;
    std::vector<StandardWindowButton*> m_buttons;
    struct Accessory { QPointer<View> view; double fullScreenMinHeight; };
    std::vector<Accessory> m_accessories;
    bool m_titleVisible = true;
    QPointer<QWidget> m_menuBar;
    bool m_movable = true;
    Color m_backgroundColor = Color(0.925, 0.925, 0.925);
    WindowDelegate* m_delegate = nullptr;
    Qt::Edges m_ownResizeEdges;
    QPointF m_ownResizeStart;
    QRect m_ownResizeFrame;
};

// Fitting to the screen: the one place where every window kind is kept within its screen's free
// area (the screen without the desktop's panels), so that each of its buttons can be reached by
// the mouse. A fitted window's minimum size gives way to the free area (and comes back as far as
// a larger one allows), a frame larger than the area shrinks to it, and one that reaches past an
// edge moves in. Fitted are our windows (Window, whatever their kind), every dialog (alerts, file
// panels) and any top-level widget marked with keepOnScreen (not maximised, full-screen or
// minimised ones): when they are shown, when their size changes and when their screen's free
// area changes; a Window also whenever its frame is set. Where the content of a window needs
// more room than that leaves, the content gives way (its panes narrow, its page scrolls).
//
// The free area of the screen a frame (Qt's global coordinates) lies on most, else the window's
// screen, else the primary screen; empty without a screen.
QRect screenFreeArea(const QWidget* window, const QRect& frame = QRect());
// Tests: the free area every window gets in place of its screen's; an empty one gives the
// screens' own back.
void setScreenFreeAreaForTesting(const QRect& area);
// The frame shrunk to the area and moved within it (unchanged when the area is empty).
QRect frameWithinArea(const QRect& frame, const QRect& area);
// Fits a top-level widget now (see above).
void fitToScreen(QWidget* window);
// Marks a top-level widget that is neither a Window nor a dialog to be fitted like them.
void keepOnScreen(QWidget* window);

// The application's windows and modal sessions.
class Application {
public:
    // Every open window, in the order they were made.
    static QList<Window*> windows();
    // The main window: the one set with setMainWindow when it is still there, else the last
    // activated window that can be main, else the first visible window that can be main.
    static Window* mainWindow();
    static void setMainWindow(Window* window);
    // Runs the window as the application's modal window until stopModal; returns the code.
    static qint64 runModal(Window* window);
    static void stopModal() { stopModal(kModalResponseStop); }
    static void stopModal(qint64 code);
    static void abortModal() { stopModal(kModalResponseAbort); }
    static Window* modalWindow();
    // The window that gets the keyboard when the window that had it closes: the one of ours
    // that had it last before, still shown (not minimised) and not `closing`; when none of them
    // is, the main window (an alert shown as the application starts can take the keyboard
    // before the main window has ever had it); null for none.
    static Window* windowToReceiveKeyboard(const QWidget* closing);

    // Internal bookkeeping of windows.
    static void registerWindow(Window* window);
    static void unregisterWindow(Window* window);
    static void windowActivated(Window* window);
};

// Owns a window made on first request and styles it once it is loaded.
class WindowController : public QObject {
    Q_OBJECT
public:
    explicit WindowController(std::unique_ptr<Window> window = nullptr, QObject* parent = nullptr);
    ~WindowController() override;
    Window* window();
    bool isWindowLoaded() const { return bool(m_window); }
    void setWindow(std::unique_ptr<Window> window);
    void showWindow();
    void close();
protected:
    // Makes the window when none was given.
    virtual std::unique_ptr<Window> loadWindow() { return std::make_unique<Window>(); }
    virtual void windowDidLoad() {}
private:
    std::unique_ptr<Window> m_window;
    bool m_loading = false;
};

} // namespace platform::ui
