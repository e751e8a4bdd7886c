#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

#include <utility>
#include <vector>

namespace platform::ui {

// A widget that floats over its window's content wherever that content comes from (the support
// chat in the corner of whichever screen is shown) is the last stop of Tab in its window: its
// own Tab stops come after every other one of the window, whatever order the window's other
// widgets were made in, and Tab from them goes on to the window's first stop. Qt keeps a Tab
// chain in the order widgets were made, so a screen made after the floating widget joined the
// window would otherwise come after it.
//
// Marks the widget and puts its Tab stops last now; a Window keeps them last as Tab goes round.
void keepLastInTabChain(QWidget* widget);
// Whether the widget, or one it lies in, is marked.
bool isKeptLastInTabChain(const QWidget* widget);
// The marked widgets of the window.
QList<QWidget*> keptLastInTabChain(const QWidget* window);
// Moves the widget's Tab stops (itself and the widgets in it that take the keyboard, parents
// before their children) to the end of its window's Tab chain, unless they are there already.
// Nothing is moved while the keyboard is in the widget.
void placeLastInTabChain(QWidget* widget);

// While one lives, the marked widgets of the window take no keyboard that Qt hands on: a control
// that is hidden or switched off while it has the keyboard lets it go to the next stop of the
// window that is not a marked one.
class KeptLastTakeNoKeyboard {
public:
    explicit KeptLastTakeNoKeyboard(const QList<QWidget*>& kept);
    ~KeptLastTakeNoKeyboard();
    KeptLastTakeNoKeyboard(const KeptLastTakeNoKeyboard&) = delete;
    KeptLastTakeNoKeyboard& operator=(const KeptLastTakeNoKeyboard&) = delete;

private:
    std::vector<std::pair<QPointer<QWidget>, Qt::FocusPolicy>> m_saved;
};

} // namespace platform::ui
