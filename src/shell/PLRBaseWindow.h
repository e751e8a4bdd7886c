#pragma once

#include "controls/WAYWindow.h"

#include <QRectF>

#include <functional>

// The main window: a window with our own taller title bar. A request to close it is a request to
// quit, which the handler decides on.
class PLRBaseWindow : public WAYWindow {
    Q_OBJECT
public:
    explicit PLRBaseWindow(const QRectF& contentRect);
    void setCloseRequestHandler(std::function<void()> handler) { m_closeRequestHandler = std::move(handler); }
    // Lets the next close through (the application is quitting).
    void allowClose() { m_allowClose = true; }
protected:
    void closeEvent(QCloseEvent* event) override;
private:
    std::function<void()> m_closeRequestHandler;
    bool m_allowClose = false;
};
