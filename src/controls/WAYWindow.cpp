#include "controls/WAYWindow.h"

#include "platform/Log.h"

#include <QLayout>

using namespace platform::ui;

namespace {
float gDefaultLeftMargin = 0.0f;
float gDefaultTopMargin = 0.0f;
} // namespace

// ---------------------------------------------------------------- selector stack

bool WAYSelectorStack::containsSelector(WindowMessage message) const
{
    for (WindowMessage entry : m_entries)
        if (entry == message)
            return true;
    return false;
}

WindowMessage WAYSelectorStack::pop()
{
    const WindowMessage last = m_entries.back();
    m_entries.pop_back();
    return last;
}

// ---------------------------------------------------------------- delegate proxy

bool WAYWindowDelegateProxy::respondsTo(WindowMessage message) const
{
    if (message == WindowMessage::DidResize)
        return true;
    platform::ui::WindowDelegate* secondary = m_secondary.get();
    return secondary && secondary->respondsTo(message);
}

template <class Call> void WAYWindowDelegateProxy::forward(WindowMessage message, Call call)
{
    if (m_selectorStack.containsSelector(message))
        return; // being forwarded further up the call chain
    m_selectorStack.pushSelector(message);
    if (WindowDelegate* first = m_first.get(); first && first->respondsTo(message))
        call(first);
    // (The first delegate may have let the second go.)
    if (WindowDelegate* secondary = m_secondary.get(); secondary && secondary->respondsTo(message))
        call(secondary);
    m_selectorStack.pop();
}

void WAYWindowDelegateProxy::windowDidResize(Window* w) { forward(WindowMessage::DidResize, [w](WindowDelegate* d) { d->windowDidResize(w); }); }
void WAYWindowDelegateProxy::windowDidMove(Window* w) { forward(WindowMessage::DidMove, [w](WindowDelegate* d) { d->windowDidMove(w); }); }
void WAYWindowDelegateProxy::windowWillClose(Window* w) { forward(WindowMessage::WillClose, [w](WindowDelegate* d) { d->windowWillClose(w); }); }
void WAYWindowDelegateProxy::windowDidBecomeKey(Window* w) { forward(WindowMessage::DidBecomeKey, [w](WindowDelegate* d) { d->windowDidBecomeKey(w); }); }
void WAYWindowDelegateProxy::windowDidResignKey(Window* w) { forward(WindowMessage::DidResignKey, [w](WindowDelegate* d) { d->windowDidResignKey(w); }); }

bool WAYWindowDelegateProxy::windowShouldClose(Window* w)
{
    bool answer = true;
    forward(WindowMessage::ShouldClose, [w, &answer](WindowDelegate* d) { answer = d->windowShouldClose(w); });
    return answer;
}

// ---------------------------------------------------------------- window

WAYWindow::WAYWindow(const QRectF& contentRect, unsigned styleMask, QWidget* parent)
    : Window(contentRect, styleMask, parent)
{
    setUp();
}

WAYWindow::~WAYWindow()
{
    m_platformDelegate = nullptr;
}

float WAYWindow::defaultLeftMargin() { return gDefaultLeftMargin; }
float WAYWindow::defaultTopMargin() { return gDefaultTopMargin; }

void WAYWindow::setUp()
{
    m_delegateProxy = std::make_unique<WAYWindowDelegateProxy>();
    m_delegateProxy->setFirstDelegate(this);
    for (WindowButton kind : {WindowButton::Close, WindowButton::Miniaturize, WindowButton::Zoom})
        if (StandardWindowButton* button = standardWindowButton(kind))
            m_standardButtons.push_back(button);
    m_centerTrafficLightButtons = true;

    StandardWindowButton* close = standardWindowButton(WindowButton::Close);
    gDefaultLeftMargin = close ? float(close->frame().x()) : 0.0f;
    if (close) {
        const QWidget* bar = close->parentWidget();
        gDefaultTopMargin = float(bar->height() - (close->frame().y() + close->frame().height()));
    }
    m_leftMargin = gDefaultLeftMargin;
    m_topMargin = gDefaultTopMargin;

    setStyleMask(styleMask() | WindowStyleFullSizeContentView);
    setHidesTitle(true);
    m_platformDelegate = this;
    setNeedsLayout();
}

void WAYWindow::setDelegate(WindowDelegate* delegate)
{
    m_delegateProxy->setSecondaryDelegate(delegate);
    m_platformDelegate = nullptr;
    m_platformDelegate = m_delegateProxy.get();
}

WindowDelegate* WAYWindow::delegate() const { return m_delegateProxy ? m_delegateProxy->secondaryDelegate() : nullptr; }

void WAYWindow::setFrame(const QRectF& frame, bool display)
{
    Window::setFrame(frame, display);
    if (m_delegateProxy)
        setNeedsLayout();
}

void WAYWindow::orderFront()
{
    Window::orderFront();
    setNeedsLayout();
}

void WAYWindow::makeKeyAndOrderFront()
{
    Window::makeKeyAndOrderFront();
    setNeedsLayout();
}

bool WAYWindow::respondsTo(WindowMessage message) const { return message == WindowMessage::DidResize; }

void WAYWindow::windowDidResize(Window*) { setNeedsLayout(); }

View* WAYWindow::titleBarView() const
{
    if (m_standardButtons.empty())
        return nullptr;
    return qobject_cast<View*>(m_standardButtons.front()->parentWidget());
}

void WAYWindow::setTitleBarHeight(double requested)
{
    const double h = std::max(requested, defaultTitleBarHeight());
    const double delta = h - m_titleBarHeight;
    m_titleBarHeight = h;
    if (m_hasAccessory)
        removeTitlebarAccessoryView(0);
    auto* accessory = new View;
    accessory->setFrame(QRectF(0, 0, 10, h - defaultTitleBarHeight()));
    addTitlebarAccessoryView(accessory, h);
    m_hasAccessory = true;

    QRectF f = frame();
    f.setHeight(f.height() + delta);
    f.moveTop(f.y() - delta); // the top edge stays
    setNeedsLayout();
    setFrame(f, false);
}

void WAYWindow::setCenterTrafficLightButtons(bool center)
{
    m_centerTrafficLightButtons = center;
    setNeedsLayout();
}

void WAYWindow::setHidesTitle(bool hides)
{
    m_hidesTitle = hides;
    setTitleVisible(!hides);
}

void WAYWindow::setNeedsLayout()
{
    for (size_t i = 0; i < m_standardButtons.size(); ++i) {
        StandardWindowButton* button = m_standardButtons[i];
        const QRectF f = button->frame();
        const double w = f.width(), h = f.height();
        const double H = button->parentWidget()->height();
        const double x = (w + 6.0) * double(i) + m_leftMargin;
        const double y = m_centerTrafficLightButtons ? H / 2.0 - h / 2.0 : H - h - m_topMargin;
        button->setFrame(QRectF(x, y, w, h));
    }
    if (View* content = contentView()) {
        QRectF f = content->frame();
        f.setHeight(frame().height() - m_titleBarHeight - menuBarHeight());
        content->setFrame(f);
    }
}

void WAYWindow::setContentViewAppearance(int material)
{
    // Vibrant (visual-effect) content views are not available here; nothing changes.
    Q_UNUSED(material);
    if (!supportsVibrantAppearances())
        return;
}

void WAYWindow::replaceSubview(View* oldView, View* newView, bool resizing)
{
    if (!oldView || !newView || oldView == newView)
        return;
    if (resizing)
        newView->setFrame(oldView->frame());
    newView->setAutoresizesSubviews(oldView->autoresizesSubviews());
    for (QWidget* sub : oldView->subviews()) {
        if (sub->layout() || (oldView->layout() && oldView->layout()->indexOf(sub) >= 0))
            PLR_LOG_WARN(QStringLiteral("WARNING: [%1 %2] does not work yet with NSView instances, that use auto-layout.")
                             .arg(QStringLiteral("WAYWindow"), QStringLiteral("replaceSubview:withView:resizing:")));
        auto* subView = qobject_cast<View*>(sub);
        const QRectF f = subView ? subView->frame() : QRectF(sub->geometry());
        sub->setParent(newView);
        if (subView)
            subView->setFrame(f);
        else
            sub->setGeometry(f.toRect());
        sub->show();
    }
    if (oldView == contentView()) {
        setContentView(newView);
    } else if (auto* parent = qobject_cast<View*>(oldView->parentWidget())) {
        // The new view takes the old one's place among its siblings (and in a layout, if any).
        const QRectF f = newView->frame();
        QLayout* layout = parent->layout();
        if (layout && layout->indexOf(oldView) >= 0) {
            delete layout->replaceWidget(oldView, newView);
        } else {
            parent->addSubview(newView);
            newView->setFrame(f);
            newView->stackUnder(oldView);
        }
        newView->show();
        oldView->hide();
        oldView->setParent(nullptr);
        oldView->deleteLater();
    }
    setNeedsLayout();
}
