#pragma once

#include <QWidget>

namespace platform::ui {

// The focus ring of an area that has the keyboard while no item of it shows where (a collection
// with nothing picked): an overlay of its parent, in the ring's colour and width, along the
// inside of the parent's edges (an area that fills its pane has no room for a ring outside).
// It lets every click through and never takes the keyboard.
class FocusRingFrame : public QWidget {
    Q_OBJECT
public:
    explicit FocusRingFrame(QWidget* parent);
    // Shown over the whole parent, or hidden.
    void setShown(bool shown);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace platform::ui
