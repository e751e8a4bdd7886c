#include "controls/PLRModalOverlayWindow.h"

#include "platform/Log.h"
#include "platform/Storyboard.h"
#include "platform-ui/Images.h"

#include <QWindow>

using namespace platform::ui;

namespace {

Window* overlayParent(const Window* self)
{
    if (Window* main = Application::mainWindow(); main && main != self)
        return main;
    for (Window* window : Application::windows())
        if (window != self && !qobject_cast<const PLRModalOverlayWindow*>(window))
            return window;
    return nullptr;
}

} // namespace

PLRModalOverlayWindow::PLRModalOverlayWindow(const QRectF& contentRect, unsigned styleMask, QWidget* parent)
    : Window(contentRect, styleMask, parent)
{
    m_topLevelWindow = overlayParent(this);
    // A dialog of the top-level window: the desktop is told whose it is (below).
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
}

PLRModalOverlayWindow::~PLRModalOverlayWindow() { releaseTopLevelWindow(); }

void PLRModalOverlayWindow::center()
{
    if (!m_topLevelWindow) {
        Window::center(); // no parent window: centred on the screen
        return;
    }
    const QRectF parent = m_topLevelWindow->frame();
    const QSizeF size = frame().size();
    double y = parent.center().y() - 0.5 * size.height() + parent.height() / 20.0;
    if (y + size.height() > parent.bottom()) // QRectF::bottom() is the largest y: the top edge in screen space
        y = parent.bottom() - size.height() - 50.0;
    const double x = parent.center().x() - 0.5 * size.width();
    setFrameOrigin(QPointF(x, y));
}

void PLRModalOverlayWindow::makeKeyAndOrderFront()
{
    Window::makeKeyAndOrderFront();
    if (m_topLevelWindow) {
        m_topLevelWindow->setMovable(false);
        m_holdsTopLevelWindow = true;
    }
}

void PLRModalOverlayWindow::orderOut()
{
    Window::orderOut();
    releaseTopLevelWindow();
}

void PLRModalOverlayWindow::showEvent(QShowEvent* event)
{
    // (The show event comes before the window is mapped: in time for the window's properties.)
    if (QWindow* handle = windowHandle(); handle && m_topLevelWindow && m_topLevelWindow != this) {
        m_topLevelWindow->winId();
        handle->setTransientParent(m_topLevelWindow->windowHandle());
    }
    Window::showEvent(event);
}

void PLRModalOverlayWindow::hideEvent(QHideEvent* event)
{
    Window::hideEvent(event);
    // Closing, hiding or ordering out: the main window can be dragged again.
    releaseTopLevelWindow();
}

void PLRModalOverlayWindow::releaseTopLevelWindow()
{
    if (m_holdsTopLevelWindow && m_topLevelWindow)
        m_topLevelWindow->setMovable(true);
    m_holdsTopLevelWindow = false;
}

PLRModalOverlayWindowController::PLRModalOverlayWindowController(std::unique_ptr<Window> window, QObject* parent)
    : WindowController(nullptr, parent)
{
    if (window)
        setWindow(std::move(window));
}

std::unique_ptr<Window> PLRModalOverlayWindowController::loadWindow() { return std::make_unique<PLRModalOverlayWindow>(); }

void PLRModalOverlayWindowController::windowDidLoad()
{
    Window* w = window();
    w->setBackgroundColor(Color::white());
    View* content = w->contentView();
    if (!content)
        return;
    auto* button = Button::withImage(namedImage(QStringLiteral("modal-overlay-close")), this,
                                     [this](Control*) { closeModal(); });
    button->setObjectName(QStringLiteral("modal-overlay-close"));
    button->setBezelStyle(Button::BezelTexturedSquare);
    button->setBordered(false);
    button->setKeyEquivalent(QStringLiteral("\x1b"));
    button->setImageScaling(ImageScaling::None);
    button->setShowsFocusRing(false);
    content->addSubview(button);
    // 16 points from the right edge, 18 from the top, 30 x 30; it stays in the top right corner.
    const QRectF b = content->bounds();
    button->setFrame(QRectF(b.width() - 16.0 - 30.0, b.height() - 18.0 - 30.0, 30.0, 30.0));
    button->setAutoresizingMask(ViewMinXMargin | ViewMinYMargin);
    m_closeButton = button;
}

void PLRModalOverlayWindowController::closeModal()
{
    if (isWindowLoaded())
        window()->close();
    Application::stopModal();
}

void PLRModalOverlayWindowController::registerScene()
{
    platform::Storyboard::registerScene(QString::fromLatin1(kPLRModalWindowStoryboard),
                                        QString::fromLatin1(kPLRModalWindowControllerIdentifier),
                                        [] { return new PLRModalOverlayWindowController; });
}
