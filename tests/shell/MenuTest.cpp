// The menu bar: signing out and in again, the save and quit keys, the backup question's way to
// the preferences, enabled states, the host-options item, files handed to the application, and
// the log upload through the development service.

#include "ShellTestSupport.h"

#include "platform/Modules.h"
#include "platform/NotificationCenter.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRUserSession.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "platform/UndoManager.h"
#include "services/web-services/PLRWebServiceHostViewController.h"
#include "shell/AppDelegate.h"
#include "shell/PLRLightStyle.h"
#include "shell/PLRLogUploader.h"
#include "shell/PLRShellNotifications.h"
#include "store/persistance-store/PLRPersistantExporter.h"
#include "shell/home/PLRShellHooks.h"
#include "shell/prefs/PLRPreferencesWindowController.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "services/web-services/PLRWebServicePublisher.h"
#include "services/web-services/PLRWebServiceUser.h"
#include "services/web-services/PLRWebServiceUserManager.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QFile>
#include <QJsonDocument>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionSlider>
#include <QPainter>
#include <QProxyStyle>
#include <QTemporaryDir>
#include <QTest>

using namespace shell_test;

namespace {

QAction* item(AppDelegate* app, const char* command)
{
    QAction* action = app->mainMenu() ? app->mainMenu()->action(QLatin1String(command)) : nullptr;
    EXPECT_NE(action, nullptr) << command;
    return action;
}

QString writeFile(const QString& name)
{
    const QString path = QDir(testing_support::testHome()).filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("x");
    return path;
}

} // namespace

TEST_F(ShellTest, SignOutFromTheMenuAndSignInAgain)
{
    prepareExistingStore();
    launch();
    QWidget* bar = app->baseWindowController()->window()->menuBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    signInThroughForm(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    app->mainMenu()->refreshEnabledStates();
    ASSERT_TRUE(item(app.get(), "logOut")->isEnabled());

    item(app.get(), "logOut")->trigger();
    EXPECT_EQ(PLRCoreManager::userSession(), nullptr);
    ASSERT_TRUE(waitFor([this] { return root()->isShowingAuth(); }));
    app->mainMenu()->refreshEnabledStates();
    EXPECT_FALSE(item(app.get(), "logOut")->isEnabled());
    // New Post while the sign-in view shows does nothing.
    item(app.get(), "newBlog")->trigger();
    EXPECT_TRUE(root()->isShowingAuth());

    signInThroughForm(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    ASSERT_NE(PLRCoreManager::userSession(), nullptr);
    EXPECT_EQ(PLRCoreManager::userSession()->email(), testing_support::DevService::demoEmail());
}

TEST_F(ShellTest, SaveAndQuitKeysAndTheBackupQuestionOpensPreferences)
{
    prepareExistingStore();
    signInDemo();
    launch();
    EXPECT_EQ(item(app.get(), "saveApplication")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(item(app.get(), "terminate")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(item(app.get(), "showPrefs")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    EXPECT_EQ(item(app.get(), "zoomIn")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Plus));
    EXPECT_EQ(item(app.get(), "zoomOut")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Minus));
    EXPECT_EQ(item(app.get(), "zoom100")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_0));

    int willSave = 0;
    QObject context;
    platform::NotificationCenter::defaultCenter().addObserver(
        &context, QLatin1String(kPLR_NOTIFICATION_WILL_SAVE), [&willSave](const platform::Notification&) { ++willSave; });
    item(app.get(), "saveApplication")->trigger();
    EXPECT_EQ(willSave, 1);
    EXPECT_EQ(countLines(QStringLiteral("Will Save Now")), 1);

    // Quit: "Yes" cancels it and shows the preferences on their backup tab.
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    item(app.get(), "terminate")->trigger();
    EXPECT_FALSE(exited);
    PLRPreferencesWindowController* prefs = app->settingsWindowController();
    ASSERT_NE(prefs, nullptr);
    EXPECT_TRUE(prefs->window()->isVisible());
    EXPECT_EQ(prefs->selectedToolbarItemIdentifier(), QStringLiteral("backup"));
    EXPECT_EQ(prefs->contentViewController()->selectedTabIdentifier(), QStringLiteral("backup"));
    EXPECT_TRUE(prefs->contentViewController()->backupTab()->isVisible());
    // Showing them again reuses the window.
    item(app.get(), "showPrefs")->trigger();
    EXPECT_EQ(app->settingsWindowController(), prefs);

    // The second quit goes the whole way.
    item(app.get(), "terminate")->trigger();
    ASSERT_TRUE(waitFor([this] { return exited; }));
}

TEST_F(ShellTest, MenuItemsAreEnabledOnlyWhereTheyApply)
{
    prepareExistingStore();
    launch();
    AppDelegate::setPreviewPanelToggler([] {});
    AppDelegate* delegate = app.get();
    PLRShellHooks::setPostExport({[](PLRPersistantPost*) {},
                                  [delegate](bool enabled) { delegate->setImportExportPostsEnabled(enabled); },
                                  [] {}});
    const QList<const char*> always = {"showPrefs", "terminate", "saveApplication", "exportBackup", "importBackup",
                                       "uploadLogsToSupport", "clearLogs"};
    const QList<const char*> account = {"newBlog", "importPost"};
    const QList<const char*> postView = {"goHome", "toggleGallery", "toggleInspector", "zoomIn", "zoomOut",
                                         "zoom100", "zoomFitWidth", "togglePreviewPanel"};
    // No states are refreshed by hand below: the items follow the screens by themselves, so
    // their keys (Ctrl+N) work exactly when the items do.
    auto expectEnabled = [&](const QList<const char*>& commands, bool enabled, const char* where) {
        for (const char* command : commands)
            EXPECT_EQ(item(app.get(), command)->isEnabled(), enabled) << command << " " << where;
    };

    // The sign-in view: nobody to make, import or export a post for, no post view.
    ASSERT_TRUE(waitFor([this] { return root()->isShowingAuth(); }));
    expectEnabled(always, true, "sign-in");
    expectEnabled(account, false, "sign-in");
    expectEnabled(postView, false, "sign-in");
    expectEnabled({"exportPost", "logOut"}, false, "sign-in");

    // Home, signed in: a post can be made or imported; no post is open or selected.
    signInThroughForm(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome() && !root()->isShowingAuth(); }));
    expectEnabled(always, true, "home");
    expectEnabled(account, true, "home");
    expectEnabled({"logOut"}, true, "home");
    expectEnabled(postView, false, "home");
    expectEnabled({"exportPost"}, false, "home");

    // A post open: its view's items and Export Post File.
    PLRPersistantAccount* owner = PLRCoreManager::userSession()->account();
    PLRPersistantPost* post = owner->addPost(PLRPersistantPost::makeNew(QStringLiteral("Rules"), owner));
    root()->presentPost(post);
    ASSERT_TRUE(waitFor([this] { return root()->currentPostManager() != nullptr && app->enablePostViewControls(); }));
    expectEnabled(postView, true, "post");
    expectEnabled(account, true, "post");
    expectEnabled({"exportPost"}, true, "post");
    // Without a post-file exporter there is nothing to export with.
    PLRShellHooks::setPostExport({});
    app->setImportExportPostsEnabled(false);
    app->setImportExportPostsEnabled(true);
    expectEnabled({"exportPost", "importPost"}, false, "post without exporter");
    PLRShellHooks::setPostExport({[](PLRPersistantPost*) {},
                                  [delegate](bool enabled) { delegate->setImportExportPostsEnabled(enabled); },
                                  [] {}});

    // Back home: the post view's items and Export Post File go.
    item(app.get(), "goHome")->trigger();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome() && !app->enablePostViewControls(); }));
    expectEnabled(postView, false, "home again");
    expectEnabled({"exportPost"}, false, "home again");

    // Signed out while a post is open: nothing of the account's stays enabled.
    root()->presentPost(post);
    ASSERT_TRUE(waitFor([this] { return root()->currentPostManager() != nullptr && app->enablePostViewControls(); }));
    item(app.get(), "logOut")->trigger();
    ASSERT_TRUE(waitFor([this] { return root()->isShowingAuth(); }));
    expectEnabled(account, false, "signed out");
    expectEnabled({"exportPost", "logOut"}, false, "signed out");
    expectEnabled(postView, false, "signed out");
    expectEnabled(always, true, "signed out");
}

TEST_F(ShellTest, TheHostOptionsFollowAlt)
{
    prepareExistingStore();
    launch();
    PLRMainMenu* menu = app->mainMenu();

    // Alt held while the application menu is open: the host options are the fifth item.
    Qt::KeyboardModifiers modifiers = Qt::AltModifier;
    PLRMainMenu::setModifierSource([&modifiers] { return modifiers; });
    emit menu->applicationMenu()->aboutToShow();
    EXPECT_TRUE(menu->isMenuTimerActive());
    ASSERT_TRUE(menu->hostOptionItemInserted());
    EXPECT_EQ(menu->applicationMenu()->actions().indexOf(menu->hostOptionMenuItem()), PLRMainMenu::kHostOptionsIndex);
    modifiers = Qt::NoModifier;
    ASSERT_TRUE(testing_support::waitUntil([menu] { return !menu->hostOptionItemInserted(); }, 2000));
    EXPECT_FALSE(menu->applicationMenu()->actions().contains(menu->hostOptionMenuItem()));
    emit menu->applicationMenu()->aboutToHide();
    EXPECT_FALSE(menu->isMenuTimerActive());
}

TEST_F(ShellTest, AltPressedWithTheMenuOpenShowsTheHostOptionsAndKeepsTheMenu)
{
    prepareExistingStore();
    launch();
    PLRMainMenu* menu = app->mainMenu();
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    PLRMainMenu::setModifierSource([&modifiers] { return modifiers; });
    QMenu* pellora = menu->applicationMenu();
    pellora->popup(QPoint(100, 100));
    ASSERT_TRUE(testing_support::waitUntil([pellora] { return pellora->isVisible(); }));
    EXPECT_FALSE(menu->hostOptionItemInserted());
    modifiers = Qt::AltModifier;
    QTest::keyPress(pellora, Qt::Key_Alt, Qt::AltModifier);
    testing_support::drainEvents();
    EXPECT_TRUE(pellora->isVisible());
    EXPECT_TRUE(menu->hostOptionItemInserted());
    modifiers = Qt::NoModifier;
    QTest::keyRelease(pellora, Qt::Key_Alt, Qt::NoModifier);
    testing_support::drainEvents();
    EXPECT_TRUE(pellora->isVisible());
    EXPECT_FALSE(menu->hostOptionItemInserted());
    pellora->hide();

    // The item opens the service-host chooser in its own window, made once.
    menu->hostOptionMenuItem()->trigger();
    menu->hostOptionMenuItem()->trigger();
    QList<platform::ui::Window*> choosers;
    for (platform::ui::Window* window : platform::ui::Application::windows())
        if (window->findChild<PLRWebServiceHostViewController*>())
            choosers << window;
    ASSERT_EQ(choosers.size(), 1);
    EXPECT_TRUE(testing_support::waitUntil([&] { return choosers.first()->isVisible(); }));
    EXPECT_EQ(choosers.first()->title(), QStringLiteral("Service Host"));
    choosers.first()->close();
}

TEST_F(ShellTest, EditMenuFollowsTheOpenPostsUndoAndTheFocusedField)
{
    prepareExistingStore();
    signInDemo();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    PLRMainMenu* menu = app->mainMenu();
    ASSERT_NE(menu->editMenu(), nullptr);
    EXPECT_EQ(menu->menuBar()->actions().at(2)->text(), QStringLiteral("&Edit"));
    QAction* undo = item(app.get(), "undo");
    QAction* redo = item(app.get(), "redo");
    menu->refreshEnabledStates();
    EXPECT_FALSE(undo->isEnabled());   // no post open

    PLRPersistantAccount* account = PLRCoreManager::userSession()->account();
    PLRPersistantPost* post = account->addPost(PLRPersistantPost::makeNew(QStringLiteral("Edits"), account));
    root()->presentPost(post);
    ASSERT_TRUE(waitFor([this] { return root()->currentPostManager() != nullptr; }));
    if (QWidget* focus = QApplication::focusWidget())
        focus->clearFocus();
    platform::UndoManager* manager = platform::UndoManager::forOwner(root()->currentPostManager());
    int undone = 0;
    manager->setGroupsByEvent(false);
    manager->beginUndoGrouping();
    manager->registerUndo([&] {
        ++undone;
        manager->registerUndo([&] { --undone; });   // the redo
    });
    manager->setActionName(QStringLiteral("Move"));
    manager->endUndoGrouping();
    menu->refreshEnabledStates();
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Move"));
    EXPECT_FALSE(redo->isEnabled());
    undo->trigger();
    EXPECT_EQ(undone, 1);
    menu->refreshEnabledStates();
    EXPECT_EQ(redo->text(), QStringLiteral("Redo Move"));
    EXPECT_TRUE(redo->isEnabled());

    // A focused field: the text commands go to it.
    QLineEdit field;
    field.setText(QStringLiteral("lisbon trams"));
    field.show();
    field.activateWindow();
    field.setFocus();
    ASSERT_TRUE(testing_support::waitUntil([&] { return QApplication::focusWidget() == &field; }));
    field.deselect();
    menu->refreshEnabledStates();
    EXPECT_TRUE(item(app.get(), "selectAll")->isEnabled());
    EXPECT_FALSE(item(app.get(), "copy")->isEnabled());
    item(app.get(), "selectAll")->trigger();
    EXPECT_EQ(field.selectedText(), QStringLiteral("lisbon trams"));
    menu->refreshEnabledStates();
    EXPECT_TRUE(item(app.get(), "cut")->isEnabled());
    item(app.get(), "cut")->trigger();
    EXPECT_TRUE(field.text().isEmpty());
    item(app.get(), "paste")->trigger();
    EXPECT_EQ(field.text(), QStringLiteral("lisbon trams"));
}

TEST_F(ShellTest, EditMenuOpenedByKeysWorksOnTheFieldOfTheNewPostSheet)
{
    prepareExistingStore();
    signInDemo();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    QWidget* window = app->baseWindowController()->window();
    window->activateWindow();
    ASSERT_TRUE(waitFor([window] { return QApplication::activeWindow() == window; }));
    app->newBlog();
    QLineEdit* name = nullptr;
    ASSERT_TRUE(waitFor([&name] {
        name = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        return name && name->placeholderText() == QStringLiteral("My new post");
    }));
    QTest::keyClicks(name, QStringLiteral("Harbour"));
    ASSERT_EQ(name->text(), QStringLiteral("Harbour"));

    // Alt+E opens the Edit menu from the keyboard; Escape closes it and leaves the menu bar
    // worked by keys, holding the focus; Alt+E again opens the menu from there.
    PLRMainMenu* menu = app->mainMenu();
    QTest::keyClick(window, Qt::Key_E, Qt::AltModifier);
    ASSERT_TRUE(waitFor([menu] { return menu->editMenu()->isVisible(); }));
    QTest::keyClick(menu->editMenu(), Qt::Key_Escape);
    ASSERT_TRUE(waitFor([menu] { return !menu->editMenu()->isVisible(); }));
    ASSERT_EQ(QApplication::focusWidget(), menu->menuBar());
    QTest::keyClick(menu->menuBar(), Qt::Key_E, Qt::AltModifier);
    ASSERT_TRUE(waitFor([menu] { return menu->editMenu()->isVisible(); }));
    EXPECT_TRUE(item(app.get(), "paste")->isEnabled());
    EXPECT_TRUE(item(app.get(), "selectAll")->isEnabled());
    EXPECT_FALSE(item(app.get(), "copy")->isEnabled());   // nothing selected yet
    menu->editMenu()->setActiveAction(item(app.get(), "selectAll"));
    QTest::keyClick(menu->editMenu(), Qt::Key_Return);
    EXPECT_EQ(name->selectedText(), QStringLiteral("Harbour"));
    // The focus is back in the field (the window's focus: the test platform may leave the
    // window inactive once the menu's window has gone).
    ASSERT_TRUE(waitFor([window, name] { return window->focusWidget() == name; }));
    menu->refreshEnabledStates();
    EXPECT_TRUE(item(app.get(), "copy")->isEnabled());

    // Once the focus has gone to something that is not a field, the menu no longer acts on it.
    QPushButton elsewhere(QStringLiteral("Elsewhere"), window);
    elsewhere.show();
    window->activateWindow();
    elsewhere.setFocus();
    ASSERT_TRUE(waitFor([&elsewhere] { return QApplication::focusWidget() == &elsewhere; }));
    menu->menuBar()->setFocus(Qt::MenuBarFocusReason);
    menu->refreshEnabledStates();
    EXPECT_FALSE(item(app.get(), "paste")->isEnabled());
    EXPECT_FALSE(item(app.get(), "selectAll")->isEnabled());
}

TEST_F(ShellTest, FilesNeedASignedInUserAndARegisteredImporter)
{
    prepareExistingStore();
    launch();
    const QString post = writeFile(QStringLiteral("Trip.PPOST"));
    const QString other = writeFile(QStringLiteral("Second.ppost"));
    const QString backup = writeFile(QStringLiteral("Store.plrbackup"));
    ASSERT_TRUE(waitFor([this] { return root()->isShowingAuth(); }));

    alerts().enqueue(platform::kAlertFirstButtonReturn);
    app->openFiles({post});
    ASSERT_EQ(alerts().shown().size(), 1u);
    EXPECT_EQ(alerts().shown().back().messageText, QStringLiteral("There is no active user session."));

    signInThroughForm(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    app->openFiles({post, backup});
    EXPECT_EQ(alerts().shown().back().messageText, QStringLiteral("Import Failed"));
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    app->openFiles({post});
    EXPECT_EQ(alerts().shown().back().messageText, QStringLiteral("Post files cannot be imported"));

    QStringList imported;
    AppDelegate::setPostFileImporter([&imported](const QString& path) {
        imported << path;
        return true;
    });
    app->openFiles({post, other});
    EXPECT_EQ(imported, (QStringList{post, other}));
    EXPECT_EQ(alerts().shown().size(), 3u);
}

// "View Support" opens the help centre's home page and reports nothing; any other help item
// opens its article and reports which.
TEST_F(ShellTest, HelpItemsOpenTheirPagesAndViewSupportTheHelpCentre)
{
    prepareExistingStore();
    launch();
    QMenu* help = app->mainMenu() ? app->mainMenu()->helpMenu() : nullptr;
    ASSERT_TRUE(help);
    const QUrl supportURL(QStringLiteral("https://help.pellora.test/en/collections/1-support"));
    const QUrl articleURL(QStringLiteral("https://help.pellora.test/en/articles/2-backups"));
    QAction* support = help->addAction(QStringLiteral("View Support"));
    support->setData(supportURL.toString());
    QAction* article = help->addAction(QStringLiteral("Backing up"));
    article->setData(articleURL.toString());
    auto helpEvents = [] {
        QStringList found;
        for (const PLRAnalyticEvent& event : PLRAnalyticManager::coreAnalyticManager().loadEvents())
            if (event.eventTitle() == QLatin1String("click_on_help_menu"))
                found << event.info().value(QStringLiteral("article")).toString();
        return found;
    };
    const QStringList before = helpEvents();
    const auto& opened = testing_support::recordingWorkspace().openedURLs;
    const size_t openedBefore = opened.size();

    app->presentHelp(supportURL);
    ASSERT_EQ(opened.size(), openedBefore + 1);
    EXPECT_EQ(opened.back().scheme(), QStringLiteral("https"));
    EXPECT_EQ(opened.back().host(), PLRDefaults::supportURLForPath(QString()).host());
    EXPECT_TRUE(opened.back().path().isEmpty()) << opened.back().toString().toStdString();

    app->presentHelp(articleURL);
    ASSERT_EQ(opened.size(), openedBefore + 2);
    EXPECT_EQ(opened.back(), articleURL);
    // (Events are queued in order: once the article's is there, one for "View Support" would be.)
    ASSERT_TRUE(waitFor([&] { return helpEvents().size() > before.size(); }));
    EXPECT_EQ(helpEvents(), before + QStringList{QStringLiteral("Backing up")});
}

TEST_F(ShellTest, LogUploadEncodesTheAddressAndReportsFailures)
{
    prepareExistingStore();
    const QString email = QStringLiteral("photo+logs@pellora.test");
    service.addUser(email, QStringLiteral("secret-1"));
    launch();
    PLRLogUploader uploader;
    const QString archive = QDir(testing_support::testHome()).filePath(QStringLiteral("logs.zip"));
    QFile(archive).open(QIODevice::WriteOnly);
    {
        QFile file(archive);
        file.open(QIODevice::WriteOnly);
        file.write("PK archive bytes");
    }

    // Nobody signed in: no request at all.
    ASSERT_TRUE(waitFor([this] { return root()->isShowingAuth(); }));
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    uploader.uploadLogFile(archive);
    EXPECT_EQ(alerts().shown().back().messageText, QStringLiteral("There is no active user session."));

    signInThroughForm(email, QStringLiteral("secret-1"));
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    EXPECT_TRUE(PLRLogUploader::uploadAddressURL(email).toString(QUrl::FullyEncoded).endsWith(QStringLiteral("email=photo%2Blogs%40pellora.test")));

    QSignalSpy finished(&uploader, &PLRLogUploader::finished);
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    uploader.uploadLogFile(archive);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_TRUE(finished.takeFirst().at(0).toBool());
    EXPECT_EQ(alerts().shown().back().messageText, QStringLiteral("Log File uploaded to server successfully"));
    EXPECT_EQ(alerts().shown().back().style, platform::AlertStyle::Informational);
    QJsonArray uploads = service.control("GET", QStringLiteral("/__control/debug-logs")).toObject().value(QStringLiteral("uploads")).toArray();
    ASSERT_EQ(uploads.size(), 1);
    EXPECT_EQ(uploads.at(0).toObject().value(QStringLiteral("email")).toString(), email);
    EXPECT_TRUE(uploads.at(0).toObject().value(QStringLiteral("received")).toBool());
    EXPECT_EQ(uploads.at(0).toObject().value(QStringLiteral("size")).toInt(), 16);

    // A 403 at the upload address names the status; "Try again" asks for a new address first.
    service.control("POST", QStringLiteral("/__control/script"),
                    {{QStringLiteral("path"), QStringLiteral("/debug-logs/uploads/2")}, {QStringLiteral("method"), QStringLiteral("PUT")},
                     {QStringLiteral("status"), 403}, {QStringLiteral("raw"), QStringLiteral("denied")}});
    alerts().enqueue(platform::kAlertFirstButtonReturn); // "Try again"
    alerts().enqueue(platform::kAlertFirstButtonReturn); // the success of the second try
    uploader.uploadLogFile(archive);
    ASSERT_TRUE(finished.wait(5000));
    const auto& shown = alerts().shown();
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[shown.size() - 2].messageText, QStringLiteral("Log File failed because server returned status code 403"));
    EXPECT_EQ(shown[shown.size() - 2].buttons, (QStringList{QStringLiteral("Try again"), QStringLiteral("Cancel")}));
    EXPECT_EQ(shown.back().messageText, QStringLiteral("Log File uploaded to server successfully"));
    uploads = service.control("GET", QStringLiteral("/__control/debug-logs")).toObject().value(QStringLiteral("uploads")).toArray();
    EXPECT_EQ(uploads.size(), 3);

    // An answer without "url" is an invalid answer.
    service.control("POST", QStringLiteral("/__control/script"),
                    {{QStringLiteral("path"), QStringLiteral("/debug-logs")}, {QStringLiteral("status"), 200},
                     {QStringLiteral("body"), QJsonObject{{QStringLiteral("address"), QStringLiteral("x")}}}});
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    uploader.uploadLogFile(archive);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(alerts().shown().back().messageText, QStringLiteral("Invalid JSON response from server while uploaing logs."));
    EXPECT_EQ(alerts().shown().back().informativeText, QStringLiteral("Please contact support."));

    // So is a success with an empty body: the upload ends, and the user is told.
    const size_t shownBefore = alerts().shown().size();
    service.control("POST", QStringLiteral("/__control/script"),
                    {{QStringLiteral("path"), QStringLiteral("/debug-logs")}, {QStringLiteral("status"), 200},
                     {QStringLiteral("raw"), QString()}});
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    uploader.uploadLogFile(archive);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_FALSE(finished.takeLast().at(0).toBool());
    ASSERT_EQ(alerts().shown().size(), shownBefore + 1);
    EXPECT_EQ(alerts().shown().back().messageText, QStringLiteral("Invalid JSON response from server while uploaing logs."));
}

TEST_F(ShellTest, ClearLogsStartsAFreshFileAndUploadPacksTheFolder)
{
    prepareExistingStore();
    launch();
    PLR_LOG_INFO(QStringLiteral("a line before clearing"));
    ASSERT_FALSE(platform::log::logFilePaths().isEmpty());
    item(app.get(), "clearLogs")->trigger();
    PLR_LOG_WARN(QStringLiteral("a line after clearing"));
    const QStringList files = platform::log::logFilePaths();
    ASSERT_EQ(files.size(), 1);
    QFile live(files.first());
    ASSERT_TRUE(live.open(QIODevice::ReadOnly));
    const QByteArray text = live.readAll();
    EXPECT_TRUE(text.contains("a line after clearing"));
    EXPECT_FALSE(text.contains("a line before clearing"));

    const QString archive = PLRLogUploader::archivePath();
    ASSERT_TRUE(PLRLogUploader::zipFolder(QFileInfo(files.first()).absolutePath(), archive));
    EXPECT_GT(QFileInfo(archive).size(), 0);
    EXPECT_TRUE(archive.endsWith(QStringLiteral(".logs.zip")));

    // Without the zip module no archive is made, and the log says why.
    QTemporaryDir empty;
    platform::modules::setSearchFoldersForTesting({empty.path()});
    EXPECT_FALSE(PLRLogUploader::zipFolder(QFileInfo(files.first()).absolutePath(), archive));
    platform::modules::setSearchFoldersForTesting({});
    EXPECT_FALSE(QFileInfo::exists(archive));
    const int told = indexOfLine(QStringLiteral("The log archive"));
    ASSERT_GE(told, 0);
    EXPECT_TRUE(lines().at(told).contains(QStringLiteral("pellora-zip.so")));
}

TEST_F(ShellTest, NewPostWhileOfflineWithNobodySignedInDoesNothing)
{
    prepareExistingStore();
    service.goDown();
    ASSERT_TRUE(service.waitUntilDown());
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isShowingErrorView(); }));
    ASSERT_FALSE(root()->isShowingAuth());
    EXPECT_FALSE(item(app.get(), "newBlog")->isEnabled());
    app->newBlog();   // as Ctrl+N would, were the item enabled
    finishAnimations();
    EXPECT_EQ(root()->currentPostViewController(), nullptr);
    EXPECT_FALSE(root()->isPresentingHome());
    EXPECT_GE(indexOfLine(QStringLiteral("New post asked for while nobody is signed in")), 0);
}

TEST_F(ShellTest, PreferencesShowTheSignedInUserAndThePublisher)
{
    prepareExistingStore();
    launch();
    signInThroughForm(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    auto* manager = qobject_cast<PLRWebServiceUserManager*>(PLRCoreManager::userSession()->userServiceManager());
    ASSERT_NE(manager, nullptr);
    ASSERT_TRUE(waitFor([manager] { return bool(manager->remoteUser()); }));
    item(app.get(), "showPrefs")->trigger();
    PLRPreferencesViewController* prefs = app->settingsWindowController()->contentViewController();
    EXPECT_EQ(prefs->userEmail()->stringValue(), testing_support::DevService::demoEmail());

    auto publisher = std::make_shared<PLRWebServicePublisher>();
    publisher->setType(-1);
    publisher->setHost(QStringLiteral("photos.example.com"));
    publisher->setStatus(1);
    manager->setRemotePublisher(publisher);
    app->settingsWindowController()->changeTabForIdentifier(QStringLiteral("account"));
    EXPECT_EQ(prefs->updatePublishingButton()->title(), QStringLiteral("Setup Publishing"));
    EXPECT_DOUBLE_EQ(prefs->publishingDomainRowsHeight(), 0.0);
    EXPECT_EQ(prefs->publisherStatus()->stringValue(), QStringLiteral("No plug-in detected."));
    EXPECT_EQ(prefs->domainNameLabel()->stringValue(), QStringLiteral("photos.example.com"));
    publisher->setType(2);
    app->settingsWindowController()->changeTabForIdentifier(QStringLiteral("account"));
    EXPECT_EQ(prefs->updatePublishingButton()->title(), QStringLiteral("Update publishing details"));
    EXPECT_DOUBLE_EQ(prefs->publishingDomainRowsHeight(), 17.0);
    EXPECT_EQ(prefs->domainHostLabel()->stringValue(), QStringLiteral("WordPress"));
}

TEST_F(ShellTest, TheAppsDisabledMenuItemsAreDrawnFainterThanItsEnabledOnes)
{
    prepareExistingStore();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isShowingAuth(); }));
    if (QWidget* focus = QApplication::focusWidget())
        focus->clearFocus();
    PLRMainMenu* menu = app->mainMenu();
    // The menus as the application shows them: its style and palette, no palette of their own.
    for (QMenu* shown : {menu->fileMenu(), menu->editMenu()}) {
        EXPECT_FALSE(shown->testAttribute(Qt::WA_SetPalette));
        EXPECT_TRUE(shown->styleSheet().isEmpty());
        emit shown->aboutToShow();
        emit shown->aboutToHide();
    }
    // The lightest the darkest pixel of an item's row gets: its text's ink.
    auto ink = [](QMenu* shown, const char* command) {
        shown->ensurePolished();
        shown->adjustSize();
        const QImage image = shown->grab().toImage();
        QAction* action = nullptr;
        for (QAction* candidate : shown->actions())
            if (candidate->objectName() == QLatin1String(command))
                action = candidate;
        EXPECT_NE(action, nullptr) << command;
        if (!action)
            return 0;
        const QRect r = shown->actionGeometry(action);
        const double scale = image.devicePixelRatio();
        int lightness = 255;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                lightness = std::min(lightness, image.pixelColor(int(x * scale), int(y * scale)).lightness());
        return lightness;
    };
    ASSERT_TRUE(item(app.get(), "saveApplication")->isEnabled());
    ASSERT_FALSE(item(app.get(), "undo")->isEnabled());
    ASSERT_FALSE(item(app.get(), "cut")->isEnabled());
    ASSERT_FALSE(item(app.get(), "exportPost")->isEnabled());
    const int enabled = ink(menu->fileMenu(), "saveApplication");
    EXPECT_LT(enabled, 80);
    for (const auto& [shown, command] : {std::pair{menu->editMenu(), "undo"}, std::pair{menu->editMenu(), "cut"},
                                         std::pair{menu->fileMenu(), "exportPost"}}) {
        const int disabled = ink(shown, command);
        EXPECT_GT(disabled, 130) << command;
        EXPECT_GT(disabled, enabled + 50) << command;
    }
}

TEST(MenuLook, DisabledItemsAreDrawnFaded)
{
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    ASSERT_TRUE(fusion);
    QMenu menu;
    menu.setStyle(fusion.get());
    menu.setPalette(PLRLightAppearancePalette());
    QAction* enabled = menu.addAction(QStringLiteral("Export Post File"));
    QAction* disabled = menu.addAction(QStringLiteral("Export Post File"));
    disabled->setEnabled(false);
    menu.ensurePolished();
    menu.adjustSize();
    const QImage image = menu.grab().toImage();
    auto darkest = [&](QAction* action) {
        const QRect r = menu.actionGeometry(action);
        int lightness = 255;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                lightness = std::min(lightness, image.pixelColor(x * image.devicePixelRatio(), y * image.devicePixelRatio()).lightness());
        return lightness;
    };
    EXPECT_LT(darkest(enabled), 80);
    EXPECT_GT(darkest(disabled), 130);
}

// The application's style reads a bar's overflow arrow only when it is drawn, and draws the
// same arrow as Fusion; every other icon is Fusion's own.
TEST(MenuLook, TheLightStyleDrawsFusionsOverflowArrowsWhenTheyAreFirstDrawn)
{
    PLRLightStyle light;
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    ASSERT_TRUE(fusion);
    for (const QStyle::StandardPixmap which : {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton}) {
        const QIcon deferred = light.standardIcon(which);
        const QIcon original = fusion->standardIcon(which);
        ASSERT_FALSE(deferred.isNull());
        EXPECT_EQ(deferred.availableSizes(), original.availableSizes());
        EXPECT_EQ(deferred.pixmap(16, 16).toImage(), original.pixmap(16, 16).toImage());
        // A copy of the icon (a bar keeps one) draws the same.
        const QIcon copy = QIcon(deferred);
        EXPECT_EQ(copy.pixmap(32, 32).toImage(), original.pixmap(32, 32).toImage());
    }
    EXPECT_EQ(light.standardIcon(QStyle::SP_DialogOkButton).pixmap(16, 16).toImage(),
              fusion->standardIcon(QStyle::SP_DialogOkButton).pixmap(16, 16).toImage());
}

namespace {

// Fusion, noting how many rows of its picture each scroll bar drawing may touch.
class ScrollBarClipSpy : public QProxyStyle {
public:
    explicit ScrollBarClipSpy(QList<int>* rows) : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))), m_rows(rows) {}
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override
    {
        if (control == CC_ScrollBar)
            m_rows->append(std::min(option->rect.height(), painter->device()->height()));
        QProxyStyle::drawComplexControl(control, option, painter, widget);
    }

private:
    QList<int>* m_rows;
};

QImage drawnScrollBar(QStyle& style, const QSize& size, QStyle::SubControl active)
{
    QStyleOptionSlider option;
    option.rect = QRect(QPoint(0, 0), size);
    option.orientation = size.height() > size.width() ? Qt::Vertical : Qt::Horizontal;
    option.state = QStyle::State_Enabled | QStyle::State_MouseOver | (option.orientation == Qt::Horizontal ? QStyle::State_Horizontal : QStyle::State_None);
    option.subControls = QStyle::SC_All;
    option.activeSubControls = active;
    option.minimum = 0;
    option.maximum = 5000;
    option.pageStep = 800;
    option.sliderPosition = option.sliderValue = 2400;
    option.palette = PLRLightAppearancePalette();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    style.drawComplexControl(QStyle::CC_ScrollBar, &option, &painter);
    return image;
}

} // namespace

// A tall scroll bar is drawn in bands of a few rows each (the raster engine sends a taller fill
// to its thread pool and waits for it), with the very pixels Fusion draws at once.
TEST(MenuLook, TheLightStyleDrawsTallScrollBarsInBandsWithFusionsPixels)
{
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    PLRLightStyle light;
    for (const QSize size : {QSize(15, 800), QSize(15, 797), QSize(600, 15), QSize(15, 20)})
        for (const QStyle::SubControl active : {QStyle::SC_None, QStyle::SC_ScrollBarSlider, QStyle::SC_ScrollBarAddLine})
            EXPECT_EQ(drawnScrollBar(light, size, active), drawnScrollBar(*fusion, size, active)) << size.width() << "x" << size.height();

    QList<int> rows;
    light.setBaseStyle(new ScrollBarClipSpy(&rows));
    drawnScrollBar(light, QSize(15, 800), QStyle::SC_ScrollBarSlider);
    EXPECT_EQ(rows.size(), 25);
    for (const int band : std::as_const(rows))
        EXPECT_LE(band, PLRLightStyle::kScrollBarBandRows);
    // A short bar (a horizontal one) is drawn at once.
    rows.clear();
    drawnScrollBar(light, QSize(600, 15), QStyle::SC_None);
    EXPECT_EQ(rows, QList<int>{15});
}
