#include "platform/ModalFocus.h"
#include "platform/Resets.h"

#include <QApplication>
#include <QWindow>

namespace platform {

ModalFocusReturn::ModalFocusReturn(QWidget* parent)
{
    QWidget* window = parent ? parent->window() : QApplication::activeWindow();
    if (!window)
        return;
    m_window = window;
    QWidget* focus = QApplication::focusWidget();
    m_focus = focus && focus->window() == window ? focus : window->focusWidget();
}

ModalFocusReturn::~ModalFocusReturn()
{
    QWidget* window = m_window;
    if (!window || !window->isVisible() || window->isMinimized())
        return;
    // A modal window still up above this one keeps the keys; its own end gives them back.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != window)
        return;
    if (QApplication::activeWindow() != window)
        window->activateWindow();
    QWidget* focus = m_focus;
    if (focus && focus->isVisible() && focus->isEnabled() && focus->window() == window
        && (!window->focusWidget() || !window->focusWidget()->isVisible()))
        focus->setFocus(Qt::ActiveWindowFocusReason);
}

QWidget* activeOuterWindow()
{
    QWidget* active = QApplication::activeWindow();
    QWindow* outer = active ? active->windowHandle() : nullptr;
    if (!outer || !outer->parent())
        return active;
    while (outer->parent())
        outer = outer->parent();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->windowHandle() == outer)
            return window;
    }
    return active;
}

namespace {

ModalSessionCheck& modalSessionCheck()
{
    static ModalSessionCheck check;
    static const bool joined = resets::add([] { check = nullptr; });
    Q_UNUSED(joined);
    return check;
}

} // namespace

void setModalSessionCheck(ModalSessionCheck check)
{
    modalSessionCheck() = std::move(check);
}

bool modalSessionMayRun(QWidget* window)
{
    // A copy: the check may replace itself.
    const ModalSessionCheck check = modalSessionCheck();
    return !check || check(window);
}

} // namespace platform
