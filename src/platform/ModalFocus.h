#pragma once

#include <QPointer>
#include <QWidget>

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

} // namespace platform
