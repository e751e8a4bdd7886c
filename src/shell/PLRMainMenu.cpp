#include "shell/PLRMainMenu.h"

#include "shell/AppDelegate.h"
#include "platform/Log.h"
#include "platform/Resets.h"
#include "store/session/PLRCoreManager.h"
#include "shell/home/PLRShellHooks.h"
#include "shell/PLRBaseViewController.h"
#include "shell/PLRBaseWindowController.h"
#include "shell/PLRShellNotifications.h"
#include "platform/NotificationCenter.h"
#include "platform/UndoManager.h"
#include "store/session/PLRPostManager.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace {

std::function<Qt::KeyboardModifiers()>& modifierSource()
{
    static std::function<Qt::KeyboardModifiers()> source;
    static const bool joined = platform::resets::add([] { source = nullptr; });
    Q_UNUSED(joined);
    return source;
}

Qt::KeyboardModifiers currentModifiers()
{
    return modifierSource() ? modifierSource()() : QGuiApplication::queryKeyboardModifiers();
}

bool isTextWidget(const QWidget* widget)
{
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget)
        || qobject_cast<const QPlainTextEdit*>(widget);
}

// The menu bar takes the keyboard focus while it is worked by keys (Alt, F10, a mnemonic) and
// hands it back when it closes; its menus take it while they show.
bool isMenuWidget(const QWidget* widget)
{
    return qobject_cast<const QMenuBar*>(widget) || qobject_cast<const QMenu*>(widget);
}

// Hands the standard key of a text command to the focused field, which does what it does on
// that key (so fields with their own handling, such as the rich-text editor, keep it).
void sendStandardKey(QWidget* target, QKeySequence::StandardKey key)
{
    const QList<QKeySequence> bindings = QKeySequence::keyBindings(key);
    if (!target || bindings.isEmpty())
        return;
    const QKeyCombination combination = bindings.first()[0];
    QKeyEvent press(QEvent::KeyPress, combination.key(), combination.keyboardModifiers());
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, combination.key(), combination.keyboardModifiers());
    QApplication::sendEvent(target, &release);
}

} // namespace

void PLRMainMenu::setModifierSource(std::function<Qt::KeyboardModifiers()> source)
{
    modifierSource() = std::move(source);
}

PLRMainMenu::PLRMainMenu(AppDelegate* app) : QObject(app), m_app(app)
{
    // The widget that had the focus before the menu bar or a menu took it.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && !isMenuWidget(now))
            m_lastFocus = now;
    });
    m_menuBar = new QMenuBar;
    m_menuBar->setNativeMenuBar(false);

    m_applicationMenu = m_menuBar->addMenu(QStringLiteral("&Pellora"));
    addCommand(m_applicationMenu, QStringLiteral("Preferences..."), QStringLiteral("showPrefs"), &AppDelegate::showPrefs,
               {QKeySequence(Qt::CTRL | Qt::Key_Comma)});
    m_applicationMenu->addSeparator();
    addCommand(m_applicationMenu, QStringLiteral("Sign Out"), QStringLiteral("logOut"), &AppDelegate::logOut);
    m_applicationMenu->addSeparator();
    QAction* quit = m_applicationMenu->addAction(QStringLiteral("Quit Pellora"));
    quit->setObjectName(QStringLiteral("terminate"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::ApplicationShortcut);
    connect(quit, &QAction::triggered, this, [this] {
        if (m_app)
            m_app->terminate();
    });
    // Shown only while Alt is held with the menu open.
    m_hostOptionMenuItem = new QAction(QStringLiteral("Service Host..."), this);
    m_hostOptionMenuItem->setObjectName(QStringLiteral("presentHostOptionsWindow"));
    connect(m_hostOptionMenuItem, &QAction::triggered, this, [this] {
        if (m_app)
            m_app->presentHostOptionsWindow();
    });

    m_fileMenu = m_menuBar->addMenu(QStringLiteral("&File"));
    addCommand(m_fileMenu, QStringLiteral("New Post"), QStringLiteral("newBlog"), &AppDelegate::newBlog,
               {QKeySequence(Qt::CTRL | Qt::Key_N)});
    addCommand(m_fileMenu, QStringLiteral("Save"), QStringLiteral("saveApplication"), &AppDelegate::saveApplication,
               {QKeySequence(Qt::CTRL | Qt::Key_S)});
    m_fileMenu->addSeparator();
    addCommand(m_fileMenu, QStringLiteral("Export Post File..."), QStringLiteral("exportPost"), &AppDelegate::exportPost);
    addCommand(m_fileMenu, QStringLiteral("Import Post File..."), QStringLiteral("importPost"), &AppDelegate::importPost);
    m_fileMenu->addSeparator();
    addCommand(m_fileMenu, QStringLiteral("Export Backup..."), QStringLiteral("exportBackup"), &AppDelegate::exportBackup);
    addCommand(m_fileMenu, QStringLiteral("Import Backup..."), QStringLiteral("importBackup"), &AppDelegate::importBackup);

    // Edit: the undo manager of the open post, and the text commands of the focused field.
    m_editMenu = m_menuBar->addMenu(QStringLiteral("&Edit"));
    const auto addEdit = [this](const QString& title, const QString& command, QKeySequence::StandardKey key,
                                std::function<void()> run) {
        QAction* action = m_editMenu->addAction(title);
        action->setObjectName(command);
        // The keys are shown here but stay with the focused widget, which handles them itself.
        action->setShortcut(QKeySequence(key));
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, std::move(run));
        return action;
    };
    addEdit(QStringLiteral("Undo"), QStringLiteral("undo"), QKeySequence::Undo, [this] {
        if (QWidget* field = textTarget())
            sendStandardKey(field, QKeySequence::Undo);
        else if (platform::UndoManager* undo = currentUndoManager(); undo && undo->canUndo())
            undo->undo();
    });
    addEdit(QStringLiteral("Redo"), QStringLiteral("redo"), QKeySequence::Redo, [this] {
        if (QWidget* field = textTarget())
            sendStandardKey(field, QKeySequence::Redo);
        else if (platform::UndoManager* undo = currentUndoManager(); undo && undo->canRedo())
            undo->redo();
    });
    m_editMenu->addSeparator();
    addEdit(QStringLiteral("Cut"), QStringLiteral("cut"), QKeySequence::Cut, [this] { sendStandardKey(textTarget(), QKeySequence::Cut); });
    addEdit(QStringLiteral("Copy"), QStringLiteral("copy"), QKeySequence::Copy, [this] { sendStandardKey(textTarget(), QKeySequence::Copy); });
    addEdit(QStringLiteral("Paste"), QStringLiteral("paste"), QKeySequence::Paste, [this] { sendStandardKey(textTarget(), QKeySequence::Paste); });
    addEdit(QStringLiteral("Select All"), QStringLiteral("selectAll"), QKeySequence::SelectAll,
            [this] { sendStandardKey(textTarget(), QKeySequence::SelectAll); });

    m_viewMenu = m_menuBar->addMenu(QStringLiteral("&View"));
    addCommand(m_viewMenu, QStringLiteral("Home"), QStringLiteral("goHome"), &AppDelegate::goHome);
    m_viewMenu->addSeparator();
    addCommand(m_viewMenu, QStringLiteral("Show/Hide Gallery"), QStringLiteral("toggleGallery"), &AppDelegate::toggleGallery);
    addCommand(m_viewMenu, QStringLiteral("Show/Hide Inspector"), QStringLiteral("toggleInspector"), &AppDelegate::toggleInspector);
    m_viewMenu->addSeparator();
    addCommand(m_viewMenu, QStringLiteral("Zoom In"), QStringLiteral("zoomIn"), &AppDelegate::zoomIn,
               {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    addCommand(m_viewMenu, QStringLiteral("Zoom Out"), QStringLiteral("zoomOut"), &AppDelegate::zoomOut,
               {QKeySequence(Qt::CTRL | Qt::Key_Minus)});
    addCommand(m_viewMenu, QStringLiteral("Actual Size"), QStringLiteral("zoom100"), &AppDelegate::zoom100,
               {QKeySequence(Qt::CTRL | Qt::Key_0)});
    addCommand(m_viewMenu, QStringLiteral("Zoom to Fit Width"), QStringLiteral("zoomFitWidth"), &AppDelegate::zoomFitWidth);
    m_viewMenu->addSeparator();
    addCommand(m_viewMenu, QStringLiteral("Quick Look"), QStringLiteral("togglePreviewPanel"), &AppDelegate::togglePreviewPanel);

    m_helpMenu = m_menuBar->addMenu(QStringLiteral("&Help"));
    addCommand(m_helpMenu, QStringLiteral("Upload Logs to Support..."), QStringLiteral("uploadLogsToSupport"),
               &AppDelegate::uploadLogsToSupport);
    addCommand(m_helpMenu, QStringLiteral("Clear Logs"), QStringLiteral("clearLogs"), &AppDelegate::clearLogs);

    for (QMenu* menu : {m_applicationMenu, m_fileMenu, m_editMenu, m_viewMenu, m_helpMenu})
        watchMenu(menu);
    // An item chosen by keys leaves the focus with the menu bar; it goes back to where it was, so
    // typing goes on in the field (or the canvas) the command worked on.
    connect(m_menuBar, &QMenuBar::triggered, this, [this] {
        QMetaObject::invokeMethod(this, [this] {
            if (m_menuBar && QApplication::focusWidget() == m_menuBar && m_lastFocus && m_lastFocus->isVisible()
                && m_lastFocus->isEnabled() && !QApplication::activePopupWidget())
                m_lastFocus->setFocus(Qt::MenuBarFocusReason);
        }, Qt::QueuedConnection);
    });
    m_menuTimer.setInterval(kMenuTimerIntervalMs);
    connect(&m_menuTimer, &QTimer::timeout, this, &PLRMainMenu::updateMenu);
    connect(app, &AppDelegate::enablePostViewControlsChanged, this, &PLRMainMenu::refreshEnabledStates);
    connect(app, &AppDelegate::importExportPostsEnabledChanged, this, &PLRMainMenu::refreshEnabledStates);
    // Signing in and out changes what the account's items apply to (and whether their keys work).
    auto& center = platform::NotificationCenter::defaultCenter();
    for (const char* name : {kPLRAuthViewToggledNotification, kPLRUserSessionLoggedOutNotification})
        center.addObserver(this, QLatin1String(name), [this](const platform::Notification&) { refreshEnabledStates(); });
    refreshEnabledStates();
}

PLRMainMenu::~PLRMainMenu()
{
    if (m_hostOptionInserted && m_applicationMenu)
        m_applicationMenu->removeAction(m_hostOptionMenuItem);
}

QAction* PLRMainMenu::addCommand(QMenu* menu, const QString& title, const QString& command, void (AppDelegate::*slot)(),
                                 const QList<QKeySequence>& shortcuts)
{
    QAction* action = menu->addAction(title);
    action->setObjectName(command);
    if (!shortcuts.isEmpty()) {
        action->setShortcuts(shortcuts);
        action->setShortcutContext(Qt::ApplicationShortcut);
    }
    connect(action, &QAction::triggered, this, [this, slot] {
        if (m_app)
            (m_app.data()->*slot)();
    });
    return action;
}

QAction* PLRMainMenu::action(const QString& command) const
{
    if (m_hostOptionMenuItem && m_hostOptionMenuItem->objectName() == command)
        return m_hostOptionMenuItem;
    for (QMenu* menu : {m_applicationMenu, m_fileMenu, m_editMenu, m_viewMenu, m_helpMenu})
        for (QAction* action : menu->actions())
            if (action->objectName() == command)
                return action;
    return nullptr;
}

void PLRMainMenu::refreshEnabledStates()
{
    if (!m_app)
        return;
    // The post view's items work on the open post; Home leaves it.
    const bool postView = m_app->enablePostViewControls();
    for (const char* command : {"goHome", "toggleGallery", "toggleInspector", "zoomIn", "zoomOut", "zoom100", "zoomFitWidth"})
        if (QAction* item = action(QLatin1String(command)))
            item->setEnabled(postView);
    // Quick Look needs the gallery's preview window.
    if (QAction* item = action(QStringLiteral("togglePreviewPanel")))
        item->setEnabled(postView && AppDelegate::hasPreviewPanelToggler());
    // A post is made in, imported into and exported out of the signed-in account, once the
    // sign-in view has gone.
    PLRBaseWindowController* window = m_app->baseWindowController();
    PLRBaseViewController* root = window ? window->contentViewController() : nullptr;
    const bool signedIn = PLRCoreManager::userSession() != nullptr && root && !root->isShowingAuth();
    if (QAction* item = action(QStringLiteral("newBlog")))
        item->setEnabled(signedIn);
    // Post files: only while the post-file exporter is there; export only while a post shows or
    // a home tile is selected.
    if (QAction* item = action(QStringLiteral("exportPost")))
        item->setEnabled(signedIn && PLRShellHooks::canExportPosts() && m_app->importExportPostsEnabled());
    if (QAction* item = action(QStringLiteral("importPost")))
        item->setEnabled(signedIn && PLRShellHooks::canImportPosts());
    if (QAction* item = action(QStringLiteral("logOut")))
        item->setEnabled(PLRCoreManager::userSession() != nullptr);
    refreshEditItems();
}

platform::UndoManager* PLRMainMenu::currentUndoManager() const
{
    PLRBaseWindowController* window = m_app ? m_app->baseWindowController() : nullptr;
    PLRBaseViewController* root = window ? window->contentViewController() : nullptr;
    PLRPostManager* post = root ? root->currentPostManager() : nullptr;
    return post ? platform::UndoManager::forOwner(post) : nullptr;
}

QWidget* PLRMainMenu::textTarget() const
{
    QWidget* focus = QApplication::focusWidget();
    if (isTextWidget(focus))
        return focus;
    // Opened by keys, the menu bar holds the focus of the field it will give it back to: the
    // commands go to that field (in the main window or in a sheet over it alike).
    if ((!focus || isMenuWidget(focus)) && isTextWidget(m_lastFocus) && m_lastFocus->isVisible() && m_lastFocus->isEnabled())
        return m_lastFocus;
    return nullptr;
}

void PLRMainMenu::refreshEditItems()
{
    QWidget* field = textTarget();
    platform::UndoManager* undo = currentUndoManager();
    QAction* undoItem = action(QStringLiteral("undo"));
    QAction* redoItem = action(QStringLiteral("redo"));
    if (!undoItem || !redoItem)
        return;
    if (field) {
        // A field's own undo: the titles stay plain.
        undoItem->setText(QStringLiteral("Undo"));
        redoItem->setText(QStringLiteral("Redo"));
        bool canUndo = true, canRedo = true;
        if (auto* line = qobject_cast<QLineEdit*>(field)) {
            canUndo = line->isUndoAvailable();
            canRedo = line->isRedoAvailable();
        } else if (auto* text = qobject_cast<QTextEdit*>(field)) {
            canUndo = text->document()->isUndoAvailable();
            canRedo = text->document()->isRedoAvailable();
        } else if (auto* plain = qobject_cast<QPlainTextEdit*>(field)) {
            canUndo = plain->document()->isUndoAvailable();
            canRedo = plain->document()->isRedoAvailable();
        }
        undoItem->setEnabled(canUndo);
        redoItem->setEnabled(canRedo);
    } else {
        undoItem->setText(undo ? undo->undoMenuItemTitle() : QStringLiteral("Undo"));
        redoItem->setText(undo ? undo->redoMenuItemTitle() : QStringLiteral("Redo"));
        undoItem->setEnabled(undo && undo->canUndo());
        redoItem->setEnabled(undo && undo->canRedo());
    }
    bool hasSelection = false, editable = false;
    if (auto* line = qobject_cast<QLineEdit*>(field)) {
        hasSelection = line->hasSelectedText();
        editable = !line->isReadOnly();
    } else if (auto* text = qobject_cast<QTextEdit*>(field)) {
        hasSelection = text->textCursor().hasSelection();
        editable = !text->isReadOnly();
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(field)) {
        hasSelection = plain->textCursor().hasSelection();
        editable = !plain->isReadOnly();
    }
    action(QStringLiteral("cut"))->setEnabled(hasSelection && editable);
    action(QStringLiteral("copy"))->setEnabled(hasSelection);
    action(QStringLiteral("paste"))->setEnabled(field && editable);
    action(QStringLiteral("selectAll"))->setEnabled(field != nullptr);
}

void PLRMainMenu::watchMenu(QMenu* menu)
{
    connect(menu, &QMenu::aboutToShow, this, &PLRMainMenu::menuOpened);
    connect(menu, &QMenu::aboutToHide, this, &PLRMainMenu::menuClosed);
    menu->installEventFilter(this);
}

bool PLRMainMenu::eventFilter(QObject* watched, QEvent* event)
{
    // Alt pressed with a menu open would close it (the style's Alt navigation); here it only
    // shows, and its release hides, the hidden host-options item.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) && qobject_cast<QMenu*>(watched)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Alt) {
            showHostOption(event->type() == QEvent::KeyPress);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void PLRMainMenu::menuOpened()
{
    ++m_openMenus;
    refreshEnabledStates();
    updateMenu();
    // The timer runs only while a menu is open (tracked).
    m_menuTimer.start();
}

void PLRMainMenu::menuClosed()
{
    m_openMenus = std::max(0, m_openMenus - 1);
    if (m_openMenus == 0)
        m_menuTimer.stop();
}

void PLRMainMenu::updateMenu()
{
    showHostOption(currentModifiers().testFlag(Qt::AltModifier));
}

void PLRMainMenu::showHostOption(bool alt)
{
    if (alt && !m_hostOptionInserted) {
        const QList<QAction*> items = m_applicationMenu->actions();
        QAction* before = items.size() > kHostOptionsIndex ? items.at(kHostOptionsIndex) : nullptr;
        m_applicationMenu->insertAction(before, m_hostOptionMenuItem);
        m_hostOptionMenuItem->setEnabled(true);
        m_hostOptionInserted = true;
    } else if (!alt && m_hostOptionInserted) {
        m_applicationMenu->removeAction(m_hostOptionMenuItem);
        m_hostOptionInserted = false;
    }
}
