#pragma once

// The main window's menu bar. Each item sends one command to the application delegate; items
// of features built elsewhere (post files, the Help menu's articles, the photo preview) go
// through hooks those features register, and stay disabled while nothing is registered.
//
// Menus: Pellora (Preferences, Sign Out, Quit, and the hidden "Service Host..." shown as the
// fifth item while Alt is held), File (New Post, Save, post files, backups), Edit (undo and redo
// of the open post or the focused field; cut, copy, paste and select all of the focused field),
// View (home, panels, zoom, Quick Look), Help (the log commands; the help manager adds the help
// centre's articles).
//
// While a menu is open a 0.1 s timer follows the Alt key. Items are enabled only where they
// apply: the post view's items (Home, panels, zoom, Quick Look) follow the application
// delegate's enablePostViewControls; New Post and the post files need a signed-in user past the
// sign-in view, Export Post File also a post shown or selected; Sign Out a user session.

#include <QKeySequence>
#include <QMenuBar>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class AppDelegate;
class QAction;
namespace platform {
class UndoManager;
}
class QMenu;


class PLRMainMenu : public QObject {
    Q_OBJECT
public:
    // Index of the host-options item in the application menu while it shows.
    static constexpr int kHostOptionsIndex = 4;
    static constexpr int kMenuTimerIntervalMs = 100;

    explicit PLRMainMenu(AppDelegate* app);
    ~PLRMainMenu() override;

    // The bar (owned by whoever shows it, usually the main window).
    QMenuBar* menuBar() const { return m_menuBar; }
    QMenu* applicationMenu() const { return m_applicationMenu; }
    QMenu* fileMenu() const { return m_fileMenu; }
    QMenu* editMenu() const { return m_editMenu; }
    QMenu* viewMenu() const { return m_viewMenu; }
    QMenu* helpMenu() const { return m_helpMenu; }
    // An item by its command name ("saveApplication", "logOut", ...); null when there is none.
    QAction* action(const QString& command) const;
    QAction* hostOptionMenuItem() const { return m_hostOptionMenuItem; }
    bool hostOptionItemInserted() const { return m_hostOptionInserted; }

    // The menu timer's tick: shows the host-options item while Alt is held, hides it otherwise.
    void updateMenu();
    bool isMenuTimerActive() const { return m_menuTimer.isActive(); }
    // Sets every item's enabled state from the rules.
    void refreshEnabledStates();

    // Where the modifier keys are read (tests put their own in).
    static void setModifierSource(std::function<Qt::KeyboardModifiers()> source);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showHostOption(bool alt);
    // The Edit menu's titles and enabled states from the focused field or the open post.
    void refreshEditItems();
    // The text field or text view the Edit menu's commands go to: the focused one, or the one
    // that had the focus before the menu bar took it; null when none.
    QWidget* textTarget() const;
    platform::UndoManager* currentUndoManager() const;
    QAction* addCommand(QMenu* menu, const QString& title, const QString& command, void (AppDelegate::*slot)(),
                        const QList<QKeySequence>& shortcuts = {});
    void watchMenu(QMenu* menu);
    void menuOpened();
    void menuClosed();

    QPointer<AppDelegate> m_app;
    QPointer<QMenuBar> m_menuBar;
    QMenu* m_applicationMenu = nullptr;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_editMenu = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QAction* m_hostOptionMenuItem = nullptr;
    bool m_hostOptionInserted = false;
    int m_openMenus = 0;
    QTimer m_menuTimer;
    // The focus before the menu bar or a menu took it.
    QPointer<QWidget> m_lastFocus;
};
