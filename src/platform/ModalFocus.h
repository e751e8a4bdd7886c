#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

namespace platform {

// Held while a modal window (an alert, a file panel, a modal session) runs: when it ends, the
// window that was active before (or the given parent's window) is made active again and its
// focus put back where it was, so the keyboard and the application's shortcuts work at once.
// A window manager usually does this on its own; without one (or on a test platform) nothing
// would, and the keys would go nowhere. Nothing is done for a window that has gone, is hidden or
// minimised, or while another modal window still runs above it.
class ModalFocusReturn {
public:
    explicit ModalFocusReturn(QWidget* parent = nullptr);
    ~ModalFocusReturn();
    ModalFocusReturn(const ModalFocusReturn&) = delete;
    ModalFocusReturn& operator=(const ModalFocusReturn&) = delete;

    // The window given back the activation (null when there was none).
    QWidget* window() const { return m_window; }

private:
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_focus;
};

// The window a modal window without a parent belongs to: the active one, or, when that one is
// shown inside another (the support chat's page has a native window of its own in the main
// window), the window around it.
QWidget* activeOuterWindow();

// Asked as each modal session of a window begins, before its loop runs, with the window: false
// ends the session at once, as closing the window would. The application sets
// none; tests set one that fails a modal window they did not expect, so that they never wait in
// a window nobody answers. The reset between tests removes it.
using ModalSessionCheck = std::function<bool(QWidget* window)>;
void setModalSessionCheck(ModalSessionCheck check);
// True when no check is set or the check lets the session run.
bool modalSessionMayRun(QWidget* window);

} // namespace platform
