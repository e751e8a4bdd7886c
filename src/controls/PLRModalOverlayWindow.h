#pragma once

#include "platform-ui/Controls.h"
#include "platform-ui/Window.h"

#include <QPointer>

inline constexpr auto kPLRModalWindowStoryboard = "ModalWindow";
inline constexpr auto kPLRModalWindowControllerIdentifier = "window_controller";

// The window of the multi-step modal pages: placed over the application's main window, slightly
// above its centre, which it keeps from being dragged while it is shown.
class PLRModalOverlayWindow : public platform::ui::Window {
    Q_OBJECT
public:
    explicit PLRModalOverlayWindow(const QRectF& contentRect = QRectF(0, 0, 560, 420),
                                   unsigned styleMask = platform::ui::WindowStyleBorderless, QWidget* parent = nullptr);
    ~PLRModalOverlayWindow() override;

    // The application's main window when the overlay was made (the first window when there is
    // no main window; none when there are no windows).
    platform::ui::Window* topLevelWindow() const { return m_topLevelWindow; }

    void center() override;
    void makeKeyAndOrderFront() override;
    void orderOut() override;
    bool canBecomeKeyWindow() const override { return true; }
    bool canBecomeMainWindow() const override { return false; }

protected:
    void hideEvent(QHideEvent* event) override;
    // Shown as the top-level window's own (its transient): it stays over it, and a desktop
    // without a window manager knows whose it is.
    void showEvent(QShowEvent* event) override;

private:
    void releaseTopLevelWindow();
    QPointer<platform::ui::Window> m_topLevelWindow;
    bool m_holdsTopLevelWindow = false;
};

// Owns an overlay window, styles it and gives it the close button (Escape triggers it too).
class PLRModalOverlayWindowController : public platform::ui::WindowController {
    Q_OBJECT
public:
    explicit PLRModalOverlayWindowController(std::unique_ptr<platform::ui::Window> window = nullptr, QObject* parent = nullptr);

    // Closes the window (when there is one), then stops the application's modal session with
    // the plain stop response (-1000).
    void closeModal();
    platform::ui::Button* closeButton() const { return m_closeButton; }

    // Registers the controller as the scene "window_controller" of the storyboard "ModalWindow".
    static void registerScene();

protected:
    std::unique_ptr<platform::ui::Window> loadWindow() override;
    void windowDidLoad() override;

private:
    QPointer<platform::ui::Button> m_closeButton;
};
