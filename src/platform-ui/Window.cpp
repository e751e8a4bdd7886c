#include "platform-ui/Window.h"
#include "platform/ModalFocus.h"
#include <QCursor>
#include <QDialog>
#include <QPointer>
#include <QWindow>
#include <QMouseEvent>
#include <QGuiApplication>
#include "platform/Resets.h"

#include "platform/Log.h"
#include "platform-ui/Controls.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/TabChain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <optional>

namespace platform::ui {

namespace {

constexpr double kButtonWidth = 14.0;
constexpr double kButtonHeight = 16.0;
constexpr double kButtonLeft = 7.0;
constexpr double kButtonTopMargin = 3.0;
constexpr double kButtonSpacing = 6.0;

double primaryScreenHeight()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().height() : 0.0;
}

struct Registry {
    std::vector<QPointer<Window>> windows;
    QPointer<Window> designatedMain;
    QPointer<Window> lastActivated;
    // Every window that had the keyboard, the latest last.
    std::vector<QPointer<Window>> activations;
    struct Session {
        QPointer<Window> window;
        QEventLoop* loop = nullptr;
        qint64 code = kModalResponseStop;
        bool stopped = false;
    };
    std::vector<Session*> sessions;
    static Registry& shared()
    {
        static Registry registry;
        static const bool joined = platform::resets::add([] {
            registry.designatedMain = nullptr;
            registry.lastActivated = nullptr;
            registry.activations.clear();
            std::erase_if(registry.windows, [](const QPointer<Window>& window) { return window.isNull(); });
        });
        (void)joined;
        return registry;
    }
};

} // namespace

// ---------------------------------------------------------------- standard buttons

StandardWindowButton::StandardWindowButton(WindowButton kind, QWidget* parent) : View(parent), m_kind(kind)
{
    setFrameSize(QSizeF(kButtonWidth, kButtonHeight));
}

void StandardWindowButton::drawRect(GraphicsContext& context, const QRectF&)
{
    Color fill, stroke;
    switch (m_kind) {
    case WindowButton::Close: fill = Color::fromHexText(QStringLiteral("FF5F57")); stroke = Color::fromHexText(QStringLiteral("E2463F")); break;
    case WindowButton::Miniaturize: fill = Color::fromHexText(QStringLiteral("FEBC2E")); stroke = Color::fromHexText(QStringLiteral("E1A116")); break;
    case WindowButton::Zoom: fill = Color::fromHexText(QStringLiteral("28C840")); stroke = Color::fromHexText(QStringLiteral("1AAB29")); break;
    }
    if (!isEnabled())
        fill = stroke = Color(0.8, 0.8, 0.8);
    if (m_pressed)
        fill = Color::interpolate(fill, Color::black(), 0.2);
    const double diameter = std::min(width(), height()) - 2.0;
    const QRectF circle(bounds().center().x() - diameter / 2, bounds().center().y() - diameter / 2, diameter, diameter);
    QPainterPath path;
    path.addEllipse(circle);
    context.fillPath(path, fill);
    context.strokePath(path, stroke, 0.5);
}

void StandardWindowButton::mouseDown(const MouseEvent&) { m_pressed = true; update(); }

void StandardWindowButton::mouseUp(const MouseEvent& event)
{
    m_pressed = false;
    update();
    if (bounds().contains(event.locationIn(this)))
        emit clicked();
}

void StandardWindowButton::mouseCancelled()
{
    m_pressed = false;
    update();
}

// ---------------------------------------------------------------- title bar

TitleBarView::TitleBarView(Window* window) : View(window), m_window(window) {}

void TitleBarView::drawRect(GraphicsContext& context, const QRectF&)
{
    const QRectF b = bounds();
    context.fillRect(b, Color(0.922, 0.922, 0.922));
    context.fillRect(QRectF(0, 0, b.width(), 1), Color(0.784, 0.784, 0.784));
    if (m_window->isTitleVisible() && !m_window->windowTitle().isEmpty()) {
        AttributedString title(m_window->windowTitle(),
                               {{kFontAttributeName, systemFont(13, FontWeight::Bold)},
                                {kForegroundColorAttributeName, QVariant::fromValue(Color(0.3, 0.3, 0.3))},
                                {kParagraphStyleAttributeName, QVariant::fromValue(ParagraphStyle{TextAlignment::Center})}});
        const double lineHeight = 16.0;
        const double top = b.height() - std::min(b.height(), Window::defaultTitleBarHeight()) / 2.0 + lineHeight / 2.0;
        context.drawAttributedString(title, QRectF(0, top - lineHeight, b.width(), lineHeight));
    }
}

void TitleBarView::mouseDown(const MouseEvent& event)
{
    m_dragging = m_window->isMovable();
    m_dragStart = event.screenPoint;
    m_windowStart = m_window->pos();
}

void TitleBarView::mouseDragged(const MouseEvent& event)
{
    if (!m_dragging || !m_window->isMovable())
        return;
    const QPointF delta = event.screenPoint - m_dragStart;
    m_window->move(m_windowStart + delta.toPoint());
}

void TitleBarView::mouseUp(const MouseEvent&) { m_dragging = false; }

void TitleBarView::mouseCancelled() { m_dragging = false; }

// ---------------------------------------------------------------- resizing by the edges

namespace {

// Watches the pointer over every window of ours: near a resizable window's edge it shows the
// resize cursor, and a press there starts the window manager's resize.
class EdgeResizer : public QObject {
public:
    static void install()
    {
        static EdgeResizer* resizer = nullptr;
        if (resizer || !qApp)
            return;
        resizer = new EdgeResizer;
        resizer->setParent(qApp);
        qApp->installEventFilter(resizer);
    }

    PLR_APPLICATION_EVENT_FILTER bool eventFilter(QObject* object, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        // A resize the window does itself takes every move until the button goes up.
        if (m_resizing && (type == QEvent::MouseMove || type == QEvent::MouseButtonRelease)) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (!m_resizing->isResizingItself()) {
                m_resizing = nullptr;
                return false;
            }
            if (!goesTo(object, m_resizing) || (type == QEvent::MouseMove && mouse->buttons() == Qt::NoButton)) {
                // The release went to another window (a pop-up, a modal window) or was lost: the
                // resize ends where the pointer last took it, and the event is that window's.
                m_resizing->endOwnResize();
                m_resizing = nullptr;
                clearCursor();
                return false;
            }
            if (type == QEvent::MouseMove) {
                m_resizing->continueOwnResize(mouse->globalPosition());
            } else if (mouse->button() == Qt::LeftButton) {
                m_resizing->continueOwnResize(mouse->globalPosition());
                m_resizing->endOwnResize();
                m_resizing = nullptr;
                clearCursor();
            }
            return true;
        }
        if (type == QEvent::Leave && object == m_cursorWindow.data()) {
            clearCursor();
            return false;
        }
        if (type != QEvent::MouseMove && type != QEvent::MouseButtonPress)
            return false;
        // Each event is seen once, at the widget it goes to (not at the platform window first).
        auto* widget = object->isWidgetType() ? static_cast<QWidget*>(object) : nullptr;
        if (!widget)
            return false;
        auto* window = qobject_cast<Window*>(widget->window());
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!window) {
            clearCursor();
            return false;
        }
        const QPointF point = widget == window ? mouse->position() : widget->mapTo(window, mouse->position());
        const Qt::Edges edges = mouse->buttons() == Qt::NoButton || type == QEvent::MouseButtonPress
            ? window->resizeEdgesAt(point) : Qt::Edges();
        if (type == QEvent::MouseMove) {
            if (mouse->buttons() != Qt::NoButton)
                return false;
            if (edges)
                showCursor(window, Window::cursorForResizeEdges(edges));
            else
                clearCursor();
            return false;
        }
        if (!edges || mouse->button() != Qt::LeftButton)
            return false;
        if (!window->beginEdgeResize(edges, mouse->globalPosition()))
            return false;
        if (window->isResizingItself())
            m_resizing = window;   // the resize cursor stays while the edge follows the pointer
        else
            clearCursor();
        return true;
    }

private:
    // Whether the event goes to the window: to one of its widgets or to its platform window.
    PLR_APPLICATION_EVENT_FILTER static bool goesTo(QObject* object, Window* window)
    {
        if (object->isWidgetType())
            return static_cast<QWidget*>(object)->window() == window;
        return object->isWindowType() && static_cast<QWindow*>(object) == window->windowHandle();
    }
    void showCursor(Window* window, Qt::CursorShape shape)
    {
        if (m_cursorWindow && m_shape == shape)
            return;
        if (m_cursorWindow)
            QGuiApplication::changeOverrideCursor(QCursor(shape));
        else
            QGuiApplication::setOverrideCursor(QCursor(shape));
        m_cursorWindow = window;
        m_shape = shape;
    }
    void clearCursor()
    {
        if (!m_cursorWindow && m_shape == Qt::ArrowCursor)
            return;
        QGuiApplication::restoreOverrideCursor();
        m_cursorWindow = nullptr;
        m_shape = Qt::ArrowCursor;
    }

    QPointer<Window> m_cursorWindow;
    Qt::CursorShape m_shape = Qt::ArrowCursor;
    QPointer<Window> m_resizing;
};

// Without a window manager nothing gives the keyboard on when the window that has it closes (an
// alert, a panel, Preferences): the keys would go nowhere until a click. When one of our
// windows closes with the keyboard and no other window has taken it by the time the events of
// the closing have been handled, the window of ours that had it before gets it back, or the
// main window when none had it yet. (With a window manager a window usually has it by then, and
// nothing is done.)
class KeyboardReturn : public QObject {
public:
    static void install()
    {
        static KeyboardReturn* watcher = nullptr;
        if (watcher || !qApp)
            return;
        watcher = new KeyboardReturn;
        watcher->setParent(qApp);
        qApp->installEventFilter(watcher);
    }

    PLR_APPLICATION_EVENT_FILTER bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() != QEvent::Hide || !object->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(object);
        const Qt::WindowType type = widget->windowType();
        if (!widget->isWindow() || (type != Qt::Window && type != Qt::Dialog && type != Qt::Sheet && type != Qt::Tool))
            return false;
        // (A window being hidden stops being the active widget before it hears of it; the
        // system's focus window still tells.)
        const QWindow* handle = widget->windowHandle();
        if (QApplication::activeWindow() != widget && (!handle || QGuiApplication::focusWindow() != handle))
            return false;
        QPointer<QWidget> closing(widget);
        QTimer::singleShot(0, qApp, [closing] { giveKeyboardOn(closing); });
        return false;
    }

private:
    static void giveKeyboardOn(const QPointer<QWidget>& closing)
    {
        QWidget* active = QApplication::activeWindow();
        if (active && active != closing.data() && active->isVisible())
            return;   // another window has taken the keyboard
        Window* next = Application::windowToReceiveKeyboard(closing.data());
        if (!next)
            return;
        // A modal window still up keeps the keys; its own end gives them on.
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != next && modal != closing.data()
                                                               && modal->isVisible())
            return;
        next->activateWindow();
    }
};

constexpr const char* kKeepOnScreenProperty = "plrKeepOnScreen";
constexpr const char* kAskedMinimumProperty = "plrAskedMinimumSize";
constexpr const char* kGivenMinimumProperty = "plrGivenMinimumSize";

QRect& freeAreaForTesting()
{
    static QRect area;
    static const bool joined = platform::resets::add([] { area = QRect(); });
    (void)joined;
    return area;
}

// Fits the windows that are fitted to the screen (Window.h) as they are shown, as their size
// changes and as a screen's free area changes (a panel of the desktop comes or goes, the
// resolution or the scale changes).
class ScreenFitter : public QObject {
public:
    static void install()
    {
        static ScreenFitter* fitter = nullptr;
        if (fitter || !qApp)
            return;
        fitter = new ScreenFitter;
        fitter->setParent(qApp);
        qApp->installEventFilter(fitter);
        for (QScreen* screen : QGuiApplication::screens())
            fitter->watch(screen);
        connect(qApp, &QGuiApplication::screenAdded, fitter, &ScreenFitter::watch);
    }

    static bool isFitted(const QWidget* widget)
    {
        if (!widget->isWindow() || widget->windowType() == Qt::Popup || widget->windowType() == Qt::Desktop)
            return false;
        return qobject_cast<const Window*>(widget) || qobject_cast<const QDialog*>(widget)
            || widget->property(kKeepOnScreenProperty).toBool();
    }

    PLR_APPLICATION_EVENT_FILTER bool eventFilter(QObject* object, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if ((type != QEvent::Show && type != QEvent::Resize) || !object->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(object);
        // (The show event comes before the window is mapped: it appears where it fits.)
        if (isFitted(widget) && (type == QEvent::Show || widget->isVisible()))
            fitToScreen(widget);
        return false;
    }

private:
    void watch(QScreen* screen)
    {
        connect(screen, &QScreen::availableGeometryChanged, this, [] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (widget->isVisible() && isFitted(widget))
                    fitToScreen(widget);
        });
    }
};

} // namespace

// ---------------------------------------------------------------- fitting to the screen

QRect screenFreeArea(const QWidget* window, const QRect& frame)
{
    if (const QRect forced = freeAreaForTesting(); !forced.isEmpty())
        return forced;
    QScreen* screen = frame.isValid() ? QGuiApplication::screenAt(frame.center()) : nullptr;
    if (!screen && window)
        screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void setScreenFreeAreaForTesting(const QRect& area) { freeAreaForTesting() = area; }

QRect frameWithinArea(const QRect& frame, const QRect& area)
{
    if (area.isEmpty())
        return frame;
    QRect fitted(frame.topLeft(), frame.size().boundedTo(area.size()));
    fitted.moveLeft(std::clamp(fitted.x(), area.x(), area.x() + area.width() - fitted.width()));
    fitted.moveTop(std::clamp(fitted.y(), area.y(), area.y() + area.height() - fitted.height()));
    return fitted;
}

void fitToScreen(QWidget* window)
{
    ScreenFitter::install();
    static bool fitting = false;
    if (fitting || !window || !window->isWindow() || window->isMaximized() || window->isFullScreen() || window->isMinimized())
        return;
    const QRect inner = window->geometry();
    // A frame the window system draws around the window (none around ours) lies within the area too.
    const QRect outer = window->isVisible() ? window->frameGeometry() : inner;
    const QMargins decoration(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                              outer.bottom() - inner.bottom());
    const QRect area = screenFreeArea(window, outer);
    if (area.isEmpty())
        return;
    fitting = true;
    // The minimum the window asked for is kept while a smaller one is given, and given back as
    // far as the area allows; a minimum its owner set since is the one asked for.
    QSize asked = window->minimumSize();
    if (window->property(kGivenMinimumProperty).toSize() == asked && window->property(kAskedMinimumProperty).isValid())
        asked = window->property(kAskedMinimumProperty).toSize();
    const QSize given = asked.boundedTo(area.marginsRemoved(decoration).size().expandedTo(QSize(1, 1)));
    window->setProperty(kAskedMinimumProperty, given != asked ? QVariant(asked) : QVariant());
    window->setProperty(kGivenMinimumProperty, given != asked ? QVariant(given) : QVariant());
    if (window->minimumSize() != given)
        window->setMinimumSize(given);
    const QRect fitted = frameWithinArea(window->isVisible() ? window->frameGeometry() : window->geometry(), area)
                             .marginsRemoved(decoration);
    if (fitted != window->geometry())
        window->setGeometry(fitted);
    fitting = false;
}

void keepOnScreen(QWidget* window)
{
    if (!window)
        return;
    window->setProperty(kKeepOnScreenProperty, true);
    ScreenFitter::install();
}

Qt::Edges Window::resizeEdgesAt(const QPointF& point) const
{
    if (!(m_styleMask & WindowStyleResizable) || isFullScreen() || isMaximized() || QWidget::isFullScreen()
        || minimumSize() == maximumSize())
        return {};
    const double x = point.x(), y = point.y(), w = width(), h = height();
    if (x < 0 || y < 0 || x >= w || y >= h)
        return {};
    Qt::Edges edges;
    if (x < kResizeBorder)
        edges |= Qt::LeftEdge;
    else if (x >= w - kResizeBorder)
        edges |= Qt::RightEdge;
    if (y < kResizeBorder)
        edges |= Qt::TopEdge;
    else if (y >= h - kResizeBorder)
        edges |= Qt::BottomEdge;
    if (!edges)
        return {};
    // Near a corner the band along the edge turns the corner.
    if (edges & (Qt::LeftEdge | Qt::RightEdge)) {
        if (y < kResizeCorner)
            edges |= Qt::TopEdge;
        else if (y >= h - kResizeCorner)
            edges |= Qt::BottomEdge;
    }
    if (edges & (Qt::TopEdge | Qt::BottomEdge)) {
        if (x < kResizeCorner)
            edges |= Qt::LeftEdge;
        else if (x >= w - kResizeCorner)
            edges |= Qt::RightEdge;
    }
    return edges;
}

Qt::CursorShape Window::cursorForResizeEdges(Qt::Edges edges)
{
    const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
    const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
    if (horizontal && vertical) {
        const bool falling = (edges & Qt::LeftEdge) ? bool(edges & Qt::TopEdge) : bool(edges & Qt::BottomEdge);
        return falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor;
    }
    if (horizontal)
        return Qt::SizeHorCursor;
    if (vertical)
        return Qt::SizeVerCursor;
    return Qt::ArrowCursor;
}

bool Window::beginEdgeResize(Qt::Edges edges, const QPointF& globalPoint)
{
    if (!edges)
        return false;
    if (startSystemResize(edges))
        return true;
    // No window manager takes it: the window follows the pointer itself.
    m_ownResizeEdges = edges;
    m_ownResizeStart = globalPoint;
    m_ownResizeFrame = geometry();
    return true;
}

void Window::continueOwnResize(const QPointF& globalPoint)
{
    if (!m_ownResizeEdges)
        return;
    const QPoint delta = (globalPoint - m_ownResizeStart).toPoint();
    const QSize minimum = minimumSize().expandedTo(QSize(1, 1));
    const QSize maximum = maximumSize();
    QRect frame = m_ownResizeFrame;
    if (m_ownResizeEdges & Qt::LeftEdge) {
        const int width = std::clamp(m_ownResizeFrame.width() - delta.x(), minimum.width(), maximum.width());
        frame.setLeft(m_ownResizeFrame.right() + 1 - width);
    } else if (m_ownResizeEdges & Qt::RightEdge) {
        frame.setWidth(std::clamp(m_ownResizeFrame.width() + delta.x(), minimum.width(), maximum.width()));
    }
    if (m_ownResizeEdges & Qt::TopEdge) {
        const int height = std::clamp(m_ownResizeFrame.height() - delta.y(), minimum.height(), maximum.height());
        frame.setTop(m_ownResizeFrame.bottom() + 1 - height);
    } else if (m_ownResizeEdges & Qt::BottomEdge) {
        frame.setHeight(std::clamp(m_ownResizeFrame.height() + delta.y(), minimum.height(), maximum.height()));
    }
    if (frame != geometry())
        setGeometry(frame);
}

bool Window::startSystemResize(Qt::Edges edges)
{
    QWindow* handle = windowHandle();
    return handle && handle->startSystemResize(edges);
}

// ---------------------------------------------------------------- window

Window::Window(const QRectF& contentRect, unsigned styleMask, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_styleMask(styleMask)
{
    dispatch::install();
    EdgeResizer::install();   // after the dispatcher, so it sees a press on an edge first
    KeyboardReturn::install();
    ScreenFitter::install();
    fonts::registerBundledFonts();
    setMouseTracking(true);
    setBackgroundColor(m_backgroundColor);
    Application::registerWindow(this);
    m_contentView = new View(this);
    if (styleMask & WindowStyleTitled) {
        m_titleBar = new TitleBarView(this);
        const std::pair<unsigned, WindowButton> kinds[] = {{WindowStyleClosable, WindowButton::Close},
                                                          {WindowStyleMiniaturizable, WindowButton::Miniaturize},
                                                          {WindowStyleResizable, WindowButton::Zoom}};
        for (const auto& [bit, kind] : kinds) {
            if (!(styleMask & bit))
                continue;
            auto* button = new StandardWindowButton(kind, m_titleBar);
            m_buttons.push_back(button);
            connect(button, &StandardWindowButton::clicked, this, [this, kind = kind] {
                if (kind == WindowButton::Close)
                    performClose();
                else if (kind == WindowButton::Miniaturize)
                    showMinimized();
                else
                    isMaximized() ? showNormal() : showMaximized();
            });
        }
    }
    setFrame(frameRectForContentRect(contentRect, styleMask), false);
    placeStandardButtons();
}

Window::~Window() { Application::unregisterWindow(this); }

QRectF Window::frameRectForContentRect(const QRectF& contentRect, unsigned styleMask)
{
    if (!(styleMask & WindowStyleTitled) || (styleMask & WindowStyleFullSizeContentView))
        return contentRect;
    return contentRect.adjusted(0, 0, 0, defaultTitleBarHeight());
}

QRectF Window::contentRectForFrameRect(const QRectF& frameRect, unsigned styleMask)
{
    if (!(styleMask & WindowStyleTitled) || (styleMask & WindowStyleFullSizeContentView))
        return frameRect;
    return frameRect.adjusted(0, 0, 0, -defaultTitleBarHeight());
}

QRectF Window::screenRectFromQt(const QRectF& rect)
{
    return QRectF(rect.x(), primaryScreenHeight() - rect.y() - rect.height(), rect.width(), rect.height());
}

QRectF Window::qtRectFromScreen(const QRectF& rect) { return screenRectFromQt(rect); }

void Window::setStyleMask(unsigned mask)
{
    m_styleMask = mask;
    layoutWindow();
}

QRectF Window::frame() const { return screenRectFromQt(QRectF(geometry())); }

void Window::setFrame(const QRectF& frame, bool display)
{
    setGeometry(qtRectFromScreen(frame).toRect());
    fitToScreen(this);
    layoutWindow();
    if (display)
        update();
}

void Window::setFrameOrigin(const QPointF& origin)
{
    QRectF f = frame();
    f.moveTopLeft(origin);
    setFrame(f, false);
}

void Window::setContentView(View* view)
{
    if (view == m_contentView)
        return;
    View* old = m_contentView;
    m_contentView = view;
    if (view) {
        view->setParent(this);
        view->show();
        if (m_titleBar)
            m_titleBar->raise();
    }
    if (old)
        old->deleteLater(), old->hide();
    layoutWindow();
}

StandardWindowButton* Window::standardWindowButton(WindowButton kind) const
{
    for (StandardWindowButton* button : m_buttons)
        if (button->kind() == kind)
            return button;
    return nullptr;
}

double Window::titlebarHeight() const
{
    if (!(m_styleMask & WindowStyleTitled))
        return 0.0;
    double height = defaultTitleBarHeight();
    for (const Accessory& accessory : m_accessories)
        if (accessory.view)
            height += accessory.view->frame().height();
    return height;
}

void Window::addTitlebarAccessoryView(View* view, double fullScreenMinHeight)
{
    if (!view || !m_titleBar)
        return;
    view->setParent(m_titleBar);
    view->hide();
    m_accessories.push_back({view, fullScreenMinHeight});
    layoutWindow();
    placeStandardButtons();
}

void Window::removeTitlebarAccessoryView(int index)
{
    if (index < 0 || index >= int(m_accessories.size()))
        return;
    if (m_accessories[size_t(index)].view)
        m_accessories[size_t(index)].view->deleteLater();
    m_accessories[size_t(index)].view = nullptr;
    m_accessories.erase(m_accessories.begin() + index);
    layoutWindow();
    placeStandardButtons();
}

void Window::setTitleVisible(bool visible)
{
    m_titleVisible = visible;
    if (m_titleBar)
        m_titleBar->update();
}

void Window::placeStandardButtons()
{
    if (!m_titleBar)
        return;
    const double barHeight = m_titleBar->height();
    for (size_t i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->setFrame(QRectF(kButtonLeft + double(i) * (kButtonWidth + kButtonSpacing),
                                      barHeight - kButtonHeight - kButtonTopMargin, kButtonWidth, kButtonHeight));
}

void Window::setMenuBar(QWidget* menuBar)
{
    if (menuBar == m_menuBar)
        return;
    const double oldHeight = menuBarHeight();
    if (m_menuBar)
        m_menuBar->deleteLater(), m_menuBar->hide();
    m_menuBar = menuBar;
    if (menuBar) {
        menuBar->setParent(this);
        menuBar->show();
    }
    const double delta = menuBarHeight() - oldHeight;
    if (delta != 0.0) {
        QRectF f = frame();
        f.setHeight(f.height() + delta);
        f.moveTop(f.y() - delta); // the top edge stays
        setFrame(f, false);
    }
    layoutWindow();
}

double Window::menuBarHeight() const
{
    return m_menuBar ? double(m_menuBar->sizeHint().height()) : 0.0;
}

void Window::layoutWindow()
{
    const double menu = menuBarHeight();
    if (m_menuBar) {
        m_menuBar->setGeometry(0, 0, width(), int(menu));
        m_menuBar->raise();
    }
    const double w = width(), h = height() - menu;
    const double bar = titlebarHeight();
    if (m_titleBar) {
        const double oldHeight = m_titleBar->height();
        m_titleBar->setFrame(QRectF(0, h - bar, w, bar));
        m_titleBar->raise();
        if (oldHeight != m_titleBar->height())
            placeStandardButtons();
    }
    if (m_contentView) {
        if (m_styleMask & WindowStyleFullSizeContentView)
            m_contentView->setFrame(QRectF(0, 0, w, h));
        else
            m_contentView->setFrame(QRectF(0, 0, w, std::max(0.0, h - bar)));
    }
}

void Window::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutWindow();
    if (WindowDelegate* d = effectiveDelegate())
        d->windowDidResize(this);
}

void Window::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (WindowDelegate* d = effectiveDelegate())
        d->windowDidMove(this);
}

void Window::center()
{
    const QRect free = screenFreeArea(this);
    if (free.isEmpty())
        return;
    const QRectF available = screenRectFromQt(QRectF(free));
    const QRectF f = frame();
    // Horizontally centred, a little above the middle.
    setFrameOrigin(QPointF(available.center().x() - f.width() / 2,
                           available.y() + (available.height() - f.height()) * 2.0 / 3.0));
}

void Window::makeKeyAndOrderFront()
{
    show();
    raise();
    if (canBecomeKeyWindow())
        activateWindow();
}

void Window::orderFront()
{
    show();
    raise();
}

void Window::orderOut() { hide(); }

void Window::performClose()
{
    if (WindowDelegate* d = effectiveDelegate(); d && !d->windowShouldClose(this))
        return;
    close();
}

bool Window::makeFirstResponder(QWidget* responder)
{
    if (!responder) {
        if (QWidget* focus = focusWidget())
            focus->clearFocus();
        return true;
    }
    if (responder->window() != this)
        return false;
    responder->setFocus(Qt::OtherFocusReason);
    return true;
}

bool Window::performKeyEquivalent(const QKeyEvent& event)
{
    const QString text = event.key() == Qt::Key_Escape ? QStringLiteral("\x1b") : event.text();
    if (text.isEmpty())
        return false;
    for (Control* control : findChildren<Control*>()) {
        if (control->keyEquivalent().isEmpty() || control->keyEquivalent() != text)
            continue;
        if (!control->isVisibleTo(this) || !control->isEnabled())
            continue;
        control->performClick();
        return true;
    }
    return false;
}

void Window::closeEvent(QCloseEvent* event)
{
    if (WindowDelegate* d = effectiveDelegate())
        d->windowWillClose(this);
    QWidget::closeEvent(event);
}

void Window::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // A modal session whose window goes away without anyone stopping it would never end: unless
    // the session is stopped right after (as closing code usually does), stop it here.
    QPointer<Window> self(this);
    QTimer::singleShot(0, qApp, [self] {
        auto& registry = Registry::shared();
        if (!self || self->isVisible() || registry.sessions.empty())
            return;
        Registry::Session* session = registry.sessions.back();
        if (session->window == self && !session->stopped) {
            PLR_LOG_WARN(QStringLiteral("Modal window closed without stopping its session; stopping it"));
            Application::stopModal(kModalResponseStop);
        }
    });
}

void Window::setBackgroundColor(const Color& color)
{
    m_backgroundColor = color;
    // An opaque colour covers the whole window in paintEvent: the system background under it
    // would be one more full-window fill for nothing. A translucent one still goes over it.
    setAttribute(Qt::WA_OpaquePaintEvent, color.alphaComponent() >= 1.0);
    update();
}

void Window::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_backgroundColor.toQColor());
}

bool Window::focusNextPrevChild(bool next)
{
    const QList<QWidget*> kept = keptLastInTabChain(this);
    if (kept.isEmpty())
        return QWidget::focusNextPrevChild(next);
    for (QWidget* widget : kept)
        placeLastInTabChain(widget);
    // Qt hands the keyboard on to the next stop when the widget that has it is hidden or switched
    // off (a button that gives way to a progress bar, the screen that is left): a floating widget
    // that happens to come next is no place for it.
    QWidget* focused = focusWidget();
    const bool lettingGo = focused && (!focused->isVisible() || !focused->isEnabled()) && !isKeptLastInTabChain(focused);
    std::optional<KeptLastTakeNoKeyboard> passedOver;
    if (lettingGo)
        passedOver.emplace(kept);
    return QWidget::focusNextPrevChild(next);
}

void Window::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        if (isActiveWindow())
            Application::windowActivated(this);
        if (WindowDelegate* d = effectiveDelegate())
            isActiveWindow() ? d->windowDidBecomeKey(this) : d->windowDidResignKey(this);
    }
}

// ---------------------------------------------------------------- application

QList<Window*> Application::windows()
{
    QList<Window*> result;
    for (const auto& window : Registry::shared().windows)
        if (window)
            result << window.data();
    return result;
}

void Application::registerWindow(Window* window) { Registry::shared().windows.emplace_back(window); }

void Application::unregisterWindow(Window* window)
{
    auto& list = Registry::shared().windows;
    std::erase_if(list, [window](const QPointer<Window>& w) { return !w || w.data() == window; });
}

void Application::windowActivated(Window* window)
{
    auto& registry = Registry::shared();
    if (window->canBecomeMainWindow())
        registry.lastActivated = window;
    std::erase_if(registry.activations, [window](const QPointer<Window>& w) { return !w || w.data() == window; });
    registry.activations.emplace_back(window);
}

Window* Application::windowToReceiveKeyboard(const QWidget* closing)
{
    const auto takes = [closing](Window* window) {
        return window && window != closing && window->isVisible() && !window->isMinimized() && window->canBecomeKeyWindow();
    };
    const auto& activations = Registry::shared().activations;
    for (auto it = activations.rbegin(); it != activations.rend(); ++it)
        if (takes(it->data()))
            return it->data();
    // None that had it is left (at the start, a migration's window has gone by then): the main
    // window, which an alert shown at once over it kept from ever having it.
    Window* main = mainWindow();
    return takes(main) ? main : nullptr;
}

Window* Application::mainWindow()
{
    auto& registry = Registry::shared();
    if (registry.designatedMain)
        return registry.designatedMain;
    if (registry.lastActivated && registry.lastActivated->isVisible())
        return registry.lastActivated;
    for (Window* window : windows())
        if (window->isVisible() && window->canBecomeMainWindow())
            return window;
    return nullptr;
}

void Application::setMainWindow(Window* window) { Registry::shared().designatedMain = window; }

qint64 Application::runModal(Window* window)
{
    if (!window)
        return kModalResponseAbort;
    auto& registry = Registry::shared();
    const platform::ModalFocusReturn focusReturn;   // the window active before gets the keys back
    QEventLoop loop;
    Registry::Session session;
    session.window = window;
    session.loop = &loop;
    registry.sessions.push_back(&session);
    const Qt::WindowModality oldModality = window->windowModality();
    if (!window->isVisible())
        window->setWindowModality(Qt::ApplicationModal);
    window->makeKeyAndOrderFront();
    if (!session.stopped && !platform::modalSessionMayRun(window)) {
        session.stopped = true;
        session.code = kModalResponseStop;
    }
    if (!session.stopped)
        loop.exec();
    registry.sessions.erase(std::find(registry.sessions.begin(), registry.sessions.end(), &session));
    if (session.window && !session.window->isVisible())
        session.window->setWindowModality(oldModality);
    return session.code;
}

void Application::stopModal(qint64 code)
{
    auto& registry = Registry::shared();
    if (registry.sessions.empty())
        return;
    Registry::Session* session = registry.sessions.back();
    if (session->stopped)
        return;
    session->stopped = true;
    session->code = code;
    session->loop->exit(0);
}

Window* Application::modalWindow()
{
    auto& registry = Registry::shared();
    return registry.sessions.empty() ? nullptr : registry.sessions.back()->window.data();
}

// ---------------------------------------------------------------- window controller

WindowController::WindowController(std::unique_ptr<Window> window, QObject* parent)
    : QObject(parent), m_window(std::move(window))
{
}

WindowController::~WindowController() = default;

Window* WindowController::window()
{
    if (!m_window && !m_loading) {
        m_loading = true;
        m_window = loadWindow();
        m_loading = false;
        if (m_window)
            windowDidLoad();
    }
    return m_window.get();
}

void WindowController::setWindow(std::unique_ptr<Window> window)
{
    m_window = std::move(window);
    if (m_window)
        windowDidLoad();
}

void WindowController::showWindow()
{
    if (Window* w = window())
        w->makeKeyAndOrderFront();
}

void WindowController::close()
{
    if (m_window)
        m_window->close();
}

} // namespace platform::ui
