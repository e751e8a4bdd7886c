#include "shell/PLRMainMenu.h"

#include "shell/AppDelegate.h"
#include "platform/Log.h"
#include "platform/Resets.h"
#include "store/session/PLRCoreManager.h"
#include "shell/home/PLRShellHooks.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>

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

} // namespace

void PLRMainMenu::setModifierSource(std::function<Qt::KeyboardModifiers()> source)
{
    modifierSource() = std::move(source);
}

PLRMainMenu::PLRMainMenu(AppDelegate* app) : QObject(app), m_app(app)
{
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

    for (QMenu* menu : {m_applicationMenu, m_fileMenu, m_viewMenu, m_helpMenu})
        watchMenu(menu);
    m_menuTimer.setInterval(kMenuTimerIntervalMs);
    connect(&m_menuTimer, &QTimer::timeout, this, &PLRMainMenu::updateMenu);
    connect(app, &AppDelegate::enablePostViewControlsChanged, this, &PLRMainMenu::refreshEnabledStates);
    connect(app, &AppDelegate::importExportPostsEnabledChanged, this, &PLRMainMenu::refreshEnabledStates);
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
    for (QMenu* menu : {m_applicationMenu, m_fileMenu, m_viewMenu, m_helpMenu})
        for (QAction* action : menu->actions())
            if (action->objectName() == command)
                return action;
    return nullptr;
}

void PLRMainMenu::refreshEnabledStates()
{
    if (!m_app)
        return;
    // The post view's items work on the open post.
    const bool postView = m_app->enablePostViewControls();
    for (const char* command : {"toggleGallery", "toggleInspector", "zoomIn", "zoomOut", "zoom100", "zoomFitWidth"})
        if (QAction* item = action(QLatin1String(command)))
            item->setEnabled(postView);
    // Quick Look needs the gallery's preview window.
    if (QAction* item = action(QStringLiteral("togglePreviewPanel")))
        item->setEnabled(postView && AppDelegate::hasPreviewPanelToggler());
    // Post files: only while the post-file exporter is there; export only while a post shows.
    if (QAction* item = action(QStringLiteral("exportPost")))
        item->setEnabled(PLRShellHooks::canExportPosts() && m_app->importExportPostsEnabled());
    if (QAction* item = action(QStringLiteral("importPost")))
        item->setEnabled(PLRShellHooks::canImportPosts());
    if (QAction* item = action(QStringLiteral("logOut")))
        item->setEnabled(PLRCoreManager::userSession() != nullptr);
}

void PLRMainMenu::watchMenu(QMenu* menu)
{
    connect(menu, &QMenu::aboutToShow, this, &PLRMainMenu::menuOpened);
    connect(menu, &QMenu::aboutToHide, this, &PLRMainMenu::menuClosed);
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
    const bool alt = currentModifiers().testFlag(Qt::AltModifier);
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
