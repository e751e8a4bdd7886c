#include "shell/PLRBaseWindow.h"

#include <QCloseEvent>

PLRBaseWindow::PLRBaseWindow(const QRectF& contentRect) : WAYWindow(contentRect) {}

void PLRBaseWindow::closeEvent(QCloseEvent* event)
{
    if (!m_allowClose && m_closeRequestHandler) {
        // The window stays; the quit decides.
        event->ignore();
        m_closeRequestHandler();
        return;
    }
    WAYWindow::closeEvent(event);
}
