#pragma once

#include <QPointer>
#include <QRegion>
#include <QWidget>

class PLRWebView;
class QWindow;

// A web view in a native window of its own, shown in this widget's place of a view of the
// application's window. The web engine draws through OpenGL, composed by the window its view is
// in, and Qt makes a window anew when a widget drawing that way first enters it (a new X window,
// which loses the keyboard where no window manager gives it back). In a window of its own, the
// web view is the only one that draws through OpenGL, from when it is first shown; the window
// it is shown in stays the window it was made, drawn as any other, and loads no OpenGL for it.
//
// The web view's window (a top-level widget holding it) sits in a plain native window that Qt's
// window container places here: through it, the web view's window takes the keyboard itself when
// it is clicked or given the keyboard, and gives it back to the window around it when that is
// clicked, or when takeKeyboardBack() or Tab out of the page hands it on. The page loads and runs
// before its window is first shown (made then), and stays with this place for its life.
class PLRWebViewPlace : public QWidget {
    Q_OBJECT
public:
    explicit PLRWebViewPlace(QWidget* parent = nullptr);
    ~PLRWebViewPlace() override;

    PLRWebView* webView() const { return m_webView; }
    // Places the web view at `geometry` of the parent: its window and the web view take that size
    // at once, shown or not.
    void setFrame(const QRect& geometry);
    // The top-level widget the web view fills: its window is the web view's.
    QWidget* webViewWindow() const { return m_window; }
    // The web view's window is cut to this region of the place (the open chat's rounded corners);
    // an empty region shows it whole.
    void setShape(const QRegion& shape);
    // Gives the web view the keyboard (its window takes it from the window around it).
    void takeKeyboard(Qt::FocusReason reason);
    // The keyboard is in the web view's window.
    bool hasKeyboard() const;
    // Gives the keyboard back to the window this place is in (its own focus widget keeps it).
    void giveKeyboardBack();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitToPlace();
    // Puts the web view's window into this place's native window, making them the first time.
    void embed();
    // Tab or Backtab out of the page: the keyboard goes on along the window's Tab chain from here.
    bool leavePage(bool next);

    QPointer<QWidget> m_window;
    QPointer<PLRWebView> m_webView;
    QPointer<QWidget> m_container;   // Qt's window container holding m_frame
    QPointer<QWindow> m_frame;
    QRegion m_shape;
    bool m_leaving = false;
};
