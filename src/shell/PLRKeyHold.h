#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

class QKeyEvent;

// Holds the keys typed into a window while a screen is on its way there, and hands them to the
// screen once it has taken the keyboard, in the order they were typed: an Escape or a name typed
// while the new-post sheet opens reaches the sheet instead of the screen it covers. Shortcuts
// are not held (they act at once); neither is anything aimed at another window. Keys that are
// never handed over (the hold ends without release()) are dropped.
class PLRKeyHold : public QObject {
    Q_OBJECT
public:
    explicit PLRKeyHold(QWidget* window, QObject* parent = nullptr);
    ~PLRKeyHold() override;

    // Stops holding and sends the held keys to the widget that has the window's keyboard now.
    void release();
    bool isHolding() const { return m_holding; }
    int heldCount() const { return int(m_keys.size()); }

    // No more than this many presses and releases are held; later ones are dropped (a key held
    // down for long).
    static constexpr int kMaxHeld = 1024;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void stop();
    QPointer<QWidget> m_window;
    std::vector<std::unique_ptr<QKeyEvent>> m_keys;
    bool m_holding = false;
    bool m_warned = false;
};
