#include "chat/PLRWebViewPlace.h"

#include "chat/PLRWebView.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QWindow>

PLRWebViewPlace::PLRWebViewPlace(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("webViewPlace"));
    setFocusPolicy(Qt::NoFocus);
    m_window = new QWidget;
    m_window->setObjectName(QStringLiteral("webViewWindow"));
    // Shown as the chat opens, its window takes the keyboard only when it is given it.
    m_window->setAttribute(Qt::WA_ShowWithoutActivating);
    // A window holding a widget that draws through OpenGL is made for OpenGL composition only
    // when that widget is in it as the window is made, and is made anew when one comes later:
    // a hidden stand-in of that kind of drawing makes it so from its start (without OpenGL the
    // web view draws in software, which any window takes).
    if (QOpenGLContext* shared = QOpenGLContext::globalShareContext(); shared && shared->isValid()) {
        auto* standIn = new QOpenGLWidget(m_window);
        standIn->setObjectName(QStringLiteral("webViewDrawingStandIn"));
        standIn->setAttribute(Qt::WA_TransparentForMouseEvents);
        standIn->setFocusPolicy(Qt::NoFocus);
        standIn->setGeometry(0, 0, 0, 0);
        standIn->hide();
    }
    m_webView = new PLRWebView(m_window);
    m_webView->setLeavingByTab([this](bool next) { return leavePage(next); });
    // Qt takes the window around the place to be the active one while the web view's window has
    // the keyboard (it lies inside that window); the web view's window is made the active one
    // then, so that its focus widget has the focus, as in any window with the keyboard.
    connect(qApp, &QGuiApplication::focusWindowChanged, m_window, [window = m_window.data()](QWindow* focused) {
        if (focused && focused == window->windowHandle() && QApplication::activeWindow() != window)
            QApplication::setActiveWindow(window);
    });
}

PLRWebViewPlace::~PLRWebViewPlace()
{
    // The web view's window goes first, out of the native window its container takes with it.
    delete m_window.data();
}

void PLRWebViewPlace::setShape(const QRegion& shape)
{
    m_shape = shape;
    if (m_frame)
        m_frame->setMask(shape);
    if (m_window && m_shape.isEmpty())
        m_window->clearMask();
    else if (m_window)
        m_window->setMask(shape);
}

void PLRWebViewPlace::takeKeyboard(Qt::FocusReason reason)
{
    if (!m_webView)
        return;
    m_webView->setFocus(reason);
    if (!isVisible())
        return;
    embed();
    m_window->activateWindow();
}

bool PLRWebViewPlace::hasKeyboard() const
{
    QWindow* focused = QGuiApplication::focusWindow();
    return m_window && focused && focused == m_window->windowHandle();
}

void PLRWebViewPlace::giveKeyboardBack()
{
    QWidget* around = window();
    if (around && around != this)
        around->activateWindow();
}

void PLRWebViewPlace::setFrame(const QRect& geometry)
{
    setGeometry(geometry);
    fitToPlace();
}

void PLRWebViewPlace::fitToPlace()
{
    if (m_container)
        m_container->setGeometry(rect());
    if (m_window) {
        m_window->resize(size());
        m_webView->setGeometry(QRect(QPoint(0, 0), size()));
    }
}

void PLRWebViewPlace::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitToPlace();
}

bool PLRWebViewPlace::event(QEvent* event)
{
    const bool result = QWidget::event(event);
    if (event->type() == QEvent::Show) {
        embed();
    } else if (event->type() == QEvent::Hide && hasKeyboard()) {
        // Going with the keyboard, the page gives it back to the window around it.
        giveKeyboardBack();
    }
    return result;
}

bool PLRWebViewPlace::eventFilter(QObject* watched, QEvent* event)
{
    // The place takes part in its window's Tab chain through its container, which would give
    // the keyboard to the plain window the page lies in: the page takes it.
    if (watched == m_container && event->type() == QEvent::FocusIn && !m_leaving) {
        takeKeyboard(static_cast<QFocusEvent*>(event)->reason());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void PLRWebViewPlace::embed()
{
    if (!m_window || !isVisible())
        return;
    if (!m_container) {
        m_frame = new QWindow;
        m_frame->setObjectName(QStringLiteral("webViewFrame"));
        if (!m_shape.isEmpty())
            m_frame->setMask(m_shape);
        // The container places the native window in the window around it, shown with it.
        m_container = QWidget::createWindowContainer(m_frame, this);
        m_container->setObjectName(QStringLiteral("webViewContainer"));
        m_container->setAttribute(Qt::WA_DontCreateNativeAncestors);
        m_container->setFocusPolicy(Qt::TabFocus);
        m_container->installEventFilter(this);
        m_container->setGeometry(rect());
        m_container->show();
    }
    QWindow* own = m_window->windowHandle();
    if (own && own->parent() == m_frame)
        return;
    // Made (once, unless Qt made it anew), then put inside the container's native window.
    m_window->winId();
    own = m_window->windowHandle();
    if (!own)
        return;
    own->setParent(m_frame);
    m_window->setGeometry(QRect(QPoint(0, 0), size()));
    fitToPlace();
    m_window->show();
}

bool PLRWebViewPlace::leavePage(bool next)
{
    QWidget* around = window();
    if (!m_container || !around || around == this)
        return false;
    // The window's focus goes on from the page's place as a Tab there would take it, and the
    // window takes the keyboard back.
    m_leaving = true;
    m_container->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    QKeyEvent tab(QEvent::KeyPress, next ? Qt::Key_Tab : Qt::Key_Backtab, next ? Qt::NoModifier : Qt::ShiftModifier);
    QCoreApplication::sendEvent(m_container, &tab);
    m_leaving = false;
    around->activateWindow();
    return true;
}
