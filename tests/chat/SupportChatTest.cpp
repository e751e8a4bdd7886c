// The support chat: the web view's page messages, the chat view's states and sizes, the
// watchdog, notifications of new messages, the user literal and the home screen's corner.

#include "platform/Clock.h"
#include "DevService.h"
#include "TestSupport.h"

#include "chat/PLRChat.h"
#include "chat/PLRIntercomChatManager.h"
#include "chat/PLRIntercomChatView.h"
#include "chat/PLRWebView.h"
#include "platform/Log.h"
#include "platform/ModalFocus.h"
#include "platform/UserNotifications.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRUserSession.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "shell/home/PLRSupportChatHook.h"
#include "platform-ui/View.h"
#include "platform-ui/Window.h"
#include "services/web-services/PLRServiceReacher.h"
#include "services/web-services/PLRWebServiceManager.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace {

class SupportChatTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto center = std::make_unique<platform::RecordingNotificationCenter>();
        notifications = center.get();
        platform::UserNotificationCenter::setShared(std::move(center));
    }
    void TearDown() override
    {
        PLRIntercomChatManager::reset();
        PLRSupportChatHook::setAttach(nullptr);
        platform::UserNotificationCenter::setShared(nullptr);
    }
    platform::RecordingNotificationCenter* notifications = nullptr;
};

const char kTestPage[] = R"HTML(<!DOCTYPE html><html><body><script>
  var updates = [];
  function Intercom(command, value) {
    if (command === 'show') pelloraPost('jsHandler', 'shown');
    if (command === 'hide') pelloraPost('jsHandler', 'hidden');
    if (command === 'update') { updates.push(value); document.title = value.name; }
  }
  pelloraPost('otherHandler', 'shown');
  pelloraPost('jsHandler', 'newmessages');
</script></body></html>)HTML";

} // namespace

TEST_F(SupportChatTest, PageMessagesReachTheirHandlerOnly)
{
    PLRWebView view;
    QStringList received;
    view.addScriptMessageHandler("jsHandler", [&](const QString& body) { received << body; });
    view.setHtml("<html><body><script>pelloraPost('jsHandler', 'early'); pelloraPost('nobody', 'x');"
                 "setTimeout(function(){ pelloraPost('jsHandler', 'late'); }, 10);</script></body></html>");
    ASSERT_TRUE(testing_support::waitUntil([&] { return received.size() == 2; }, 15000));
    EXPECT_EQ(received, (QStringList{"early", "late"}));
    QVariant result;
    bool done = false;
    view.evaluateJavaScript("6 * 7", [&](const QVariant& value, const QString&) { result = value; done = true; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return done; }, 15000));
    EXPECT_EQ(result.toInt(), 42);
    EXPECT_TRUE(view.acceptsFirstResponder());
    EXPECT_TRUE(view.canBecomeKeyView());
}

// A page's alert(), confirm() and prompt() show no window of their own: each is logged (on one
// line, cut short) and dropped, confirm answering false and prompt null; a page that asks without
// end fills no log.
TEST_F(SupportChatTest, APagesJavaScriptDialogsAreLoggedAndDroppedNeverShown)
{
    QStringList shownWindows;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && (window->isModal() || qobject_cast<QDialog*>(window))) {
                shownWindows << window->windowTitle();
                window->close();
            }
        }
    });
    watcher.start(10);
    QStringList dropped;
    const int capture = platform::log::addCapture([&](platform::log::Level, const QString& message) {
        if (message.contains(QLatin1String("JavaScript")))
            dropped << message;
    });
    PLRWebView view;
    view.show();
    QStringList received;
    view.addScriptMessageHandler("jsHandler", [&](const QString& body) { received << body; });
    view.setHtml("<html><body><script>"
                 "var c = confirm('Pellora password:');"
                 "var p = prompt('Pellora password:\\nline two', 'secret');"
                 "alert('Your session ended');"
                 "pelloraPost('jsHandler', String(c) + '|' + String(p));"
                 "</script></body></html>",
                 QUrl("https://support.example/chat"));
    ASSERT_TRUE(testing_support::waitUntil([&] { return !received.isEmpty(); }, 15000));
    EXPECT_EQ(received.first(), "false|null");
    EXPECT_TRUE(shownWindows.isEmpty()) << shownWindows.join(", ").toStdString();
    ASSERT_EQ(dropped.size(), 3) << dropped.join("\n").toStdString();
    EXPECT_TRUE(dropped[0].contains("confirm") && dropped[0].contains("support.example")
                && dropped[0].contains("Pellora password:"));
    EXPECT_TRUE(dropped[1].contains("prompt") && dropped[1].contains("Pellora password: line two"))
        << dropped[1].toStdString();
    EXPECT_TRUE(dropped[2].contains("alert") && dropped[2].contains("Your session ended"));

    // Asked without end: logged so far, then once more, and the page goes on.
    dropped.clear();
    received.clear();
    view.setHtml("<html><body><script>for (var i = 0; i < 500; ++i) alert('again ' + i);"
                 "pelloraPost('jsHandler', 'done');</script></body></html>");
    ASSERT_TRUE(testing_support::waitUntil([&] { return !received.isEmpty(); }, 15000));
    EXPECT_EQ(dropped.size(), 21);
    EXPECT_TRUE(dropped.last().contains("Further JavaScript dialogs"));
    EXPECT_TRUE(shownWindows.isEmpty());
    platform::log::removeCapture(capture);
}

TEST_F(SupportChatTest, OpensToTheMessengerSizeAndClosesBackToTheButton)
{
    // A screen of the application: its clicks go where the views' own dispatch sends them.
    platform::ui::View host;
    host.resize(800, 700);
    const auto clicked = [&](QPoint at) { return platform::ui::View::hitTestWindow(&host, at); };
    PLRIntercomChatView* chat = PLRIntercomChatManager::intercomChatView();
    chat->resetWithIntercomFile(QUrl("data:text/html;charset=utf-8," + QUrl::toPercentEncoding(kTestPage)));
    PLRIntercomChatManager::attachIntercomMessengerToView(&host);
    EXPECT_EQ(chat->parentWidget(), &host);
    // Closed, the chat is its round button, 28 points inside the corner.
    EXPECT_EQ(chat->geometry(), QRect(800 - 28 - 56, 700 - 28 - 56, 56, 56));
    PLRWebView* web = chat->webView();
    ASSERT_NE(web, nullptr);
    EXPECT_FALSE(web->isVisibleTo(chat));
    // Closed, it takes clicks on its button only: a tile's menu button beside it, above it or
    // at the corner's edge gets its own.
    QPushButton tileMenu(&host);
    tileMenu.setGeometry(800 - 116, 700 - 116, 24, 24);
    tileMenu.lower();
    QPushButton besideMenu(&host);
    besideMenu.setGeometry(800 - 110, 700 - 60, 24, 24);
    besideMenu.lower();
    // Under the top leading corner of the button's square, outside its circle.
    QPushButton cornerMenu(&host);
    cornerMenu.setGeometry(800 - 84 - 5, 700 - 84 - 5, 12, 12);
    cornerMenu.lower();
    host.show();
    EXPECT_EQ(chat->chatButton()->geometry(), chat->rect());
    for (QPushButton* menu : {&tileMenu, &besideMenu, &cornerMenu}) {
        EXPECT_EQ(clicked(menu->geometry().center()), menu);
        EXPECT_EQ(host.childAt(menu->geometry().center()), menu);
    }
    EXPECT_EQ(clicked(chat->mapTo(&host, chat->chatButton()->geometry().center())), chat->chatButton());

    // The page's first "newmessages" marks it loaded without a notification.
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isLoaded(); }, 15000));
    EXPECT_TRUE(notifications->delivered.empty());
    EXPECT_EQ(notifications->badge, "");

    chat->showIntercomChatWindow();
    EXPECT_FALSE(chat->chatButton()->isEnabled());
    EXPECT_TRUE(chat->isWaitingForMessenger());
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isMessengerOpened(); }, 15000));
    EXPECT_FALSE(chat->isWaitingForMessenger());   // "shown" stopped the watchdog
    EXPECT_EQ(chat->widthConstant(), 300);
    EXPECT_EQ(chat->heightConstant(), 500);
    EXPECT_EQ(chat->geometry(), QRect(800 - 20 - 300, 700 - 20 - 500, 300, 500));
    EXPECT_EQ(chat->webViewFrame(), QRect(0, 0, 300, 500));
    EXPECT_TRUE(chat->chatButton()->isHidden());
    // Open, the messenger takes every click over it.
    for (QPushButton* menu : {&tileMenu, &cornerMenu}) {
        QWidget* overMenu = clicked(menu->geometry().center());
        EXPECT_TRUE(overMenu == chat || chat->isAncestorOf(overMenu));
    }
    // The open chat has rounded corners and a soft shadow around it, outside its rectangle.
    EXPECT_FALSE(web->mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(web->mask().contains(QPoint(5, 5)));
    EXPECT_TRUE(web->mask().contains(QPoint(150, 0)));
    ASSERT_NE(chat->shadowView(), nullptr);
    EXPECT_FALSE(chat->shadowView()->isHidden());
    {
        QImage shot(host.size(), QImage::Format_ARGB32_Premultiplied);
        shot.fill(Qt::white);
        chat->shadowView()->render(&shot, chat->shadowView()->pos());
        const QRect g = chat->geometry();
        const QColor outside = shot.pixelColor(g.left() - 2, g.center().y());
        EXPECT_LT(outside.lightness(), 250) << outside.name().toStdString();
        EXPECT_GT(outside.lightness(), 180) << outside.name().toStdString();
        EXPECT_EQ(shot.pixelColor(g.left() - 40, g.center().y()), QColor(Qt::white));
    }

    chat->handleScriptMessage("jsHandler", "hidden");
    ASSERT_TRUE(testing_support::waitUntil([&] { return !chat->isMessengerOpened(); }));
    EXPECT_EQ(chat->geometry(), QRect(800 - 28 - 56, 700 - 28 - 56, 56, 56));
    EXPECT_EQ(chat->webViewFrame(), QRect(20, 0, 80, 85));
    EXPECT_FALSE(chat->chatButton()->isHidden());
    EXPECT_TRUE(chat->shadowView()->isHidden());   // closed: no shadow
    EXPECT_EQ(clicked(tileMenu.geometry().center()), &tileMenu);
    EXPECT_EQ(clicked(besideMenu.geometry().center()), &besideMenu);
    EXPECT_EQ(clicked(cornerMenu.geometry().center()), &cornerMenu);

    // Unknown bodies and other handlers change nothing.
    chat->handleScriptMessage("jsHandler", "reboot");
    chat->handleScriptMessage("other", "shown");
    testing_support::drainEvents();
    EXPECT_FALSE(chat->isMessengerOpened());
}

// In a window lower than the messenger (the smallest the window takes), the open chat is as tall
// as its host allows, its header and close button on screen; a taller host gives it its height.
TEST_F(SupportChatTest, InALowHostTheOpenChatKeepsItsHeaderOnScreen)
{
    QWidget host;
    host.resize(800, 490);
    PLRIntercomChatView* chat = PLRIntercomChatManager::intercomChatView();
    chat->resetWithIntercomFile(QUrl("data:text/html;charset=utf-8," + QUrl::toPercentEncoding(kTestPage)));
    PLRIntercomChatManager::attachIntercomMessengerToView(&host);
    host.show();
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isLoaded(); }, 15000));
    chat->showIntercomChatWindow();
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isMessengerOpened(); }, 15000));
    EXPECT_EQ(chat->geometry(), QRect(800 - 20 - 300, 20, 300, 450));
    EXPECT_EQ(chat->webView()->geometry(), QRect(0, 0, 300, 450));
    EXPECT_EQ(chat->heightConstant(), 500);
    host.resize(800, 700);
    testing_support::drainEvents();
    EXPECT_EQ(chat->geometry(), QRect(800 - 20 - 300, 700 - 20 - 500, 300, 500));
    EXPECT_EQ(chat->webView()->geometry(), QRect(0, 0, 300, 500));
    chat->handleScriptMessage("jsHandler", "hidden");
    ASSERT_TRUE(testing_support::waitUntil([&] { return !chat->isMessengerOpened(); }));
    host.resize(800, 490);
    testing_support::drainEvents();
    EXPECT_EQ(chat->geometry(), QRect(800 - 84, 490 - 84, 56, 56));
}

// The open chat takes the keyboard, and closing gives it back where it was: to the field the
// user was typing in when a click opened it, to the chat button when Space on it did.
TEST_F(SupportChatTest, TheOpenChatHasTheKeyboardAndClosingGivesItBack)
{
    QWidget host;
    host.resize(800, 700);
    auto* search = new QLineEdit(&host);
    search->setGeometry(20, 20, 200, 24);
    PLRIntercomChatView* chat = PLRIntercomChatManager::intercomChatView();
    chat->resetWithIntercomFile(QUrl("data:text/html;charset=utf-8," + QUrl::toPercentEncoding(kTestPage)));
    PLRIntercomChatManager::attachIntercomMessengerToView(&host);
    host.show();
    host.activateWindow();
    QApplication::setActiveWindow(&host);
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isLoaded(); }, 15000));
    search->setFocus(Qt::MouseFocusReason);
    const auto chatHasKeyboard = [&] {
        QWidget* focused = QApplication::focusWidget();
        return focused && (focused == chat->webView() || chat->webView()->isAncestorOf(focused));
    };

    // A click on the button leaves the keyboard in the field until the chat opens.
    EXPECT_FALSE(chat->chatButton()->focusPolicy() & Qt::ClickFocus);
    chat->chatButton()->click();
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isMessengerOpened(); }, 15000));
    EXPECT_TRUE(chatHasKeyboard()) << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "none");
    // (An alert or a file panel meanwhile belongs to the host's window, the page's is inside it.)
    EXPECT_EQ(platform::activeOuterWindow(), &host);
    chat->handleScriptMessage("jsHandler", "hidden");
    ASSERT_TRUE(testing_support::waitUntil([&] { return !chat->isMessengerOpened(); }));
    EXPECT_EQ(QApplication::focusWidget(), search);

    // Opened from the keyboard, the chat gives it back to its button.
    chat->chatButton()->setFocus(Qt::TabFocusReason);
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QApplication::sendEvent(chat->chatButton(), &space);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QApplication::sendEvent(chat->chatButton(), &release);
    // (The button is switched off while the chat opens: the chat holds the keyboard meanwhile,
    // where Qt would have handed it on to the host's next control.)
    QWidget* opening = QApplication::focusWidget();
    EXPECT_TRUE(opening && (opening == chat || chat->isAncestorOf(opening))) << (opening ? opening->metaObject()->className() : "none");
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isMessengerOpened(); }, 15000));
    EXPECT_TRUE(chatHasKeyboard());
    chat->handleScriptMessage("jsHandler", "hidden");
    ASSERT_TRUE(testing_support::waitUntil([&] { return !chat->isMessengerOpened(); }));
    EXPECT_EQ(QApplication::focusWidget(), chat->chatButton());

    // Taken elsewhere while the chat was open, the keyboard stays there.
    auto* other = new QLineEdit(&host);
    other->setGeometry(20, 60, 200, 24);
    other->show();
    search->setFocus(Qt::MouseFocusReason);
    chat->chatButton()->click();
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isMessengerOpened(); }, 15000));
    // (A click there: the host's window takes the keyboard back from the page's.)
    host.activateWindow();
    ASSERT_TRUE(testing_support::waitUntil([&] { return host.isActiveWindow(); }));
    other->setFocus(Qt::MouseFocusReason);
    chat->handleScriptMessage("jsHandler", "hidden");
    ASSERT_TRUE(testing_support::waitUntil([&] { return !chat->isMessengerOpened(); }));
    EXPECT_EQ(QApplication::focusWidget(), other) << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "none");
}

TEST_F(SupportChatTest, SecondNewMessageNotifiesAndBadges)
{
    platform::ManualClock& clock = platform::ManualClock::install();
    PLRIntercomChatView chat;
    chat.handleNewMessageNotification();
    clock.advance(0.4);
    EXPECT_TRUE(notifications->delivered.empty());
    chat.handleNewMessageNotification();
    clock.advance(0.29);
    EXPECT_TRUE(notifications->delivered.empty());   // told 0.3 s after it came
    clock.advance(0.01);
    ASSERT_EQ(notifications->delivered.size(), 1u);
    EXPECT_EQ(notifications->delivered[0].title, "New Message from Pellora Support");
    EXPECT_EQ(notifications->delivered[0].informativeText, "View and Respond");
    EXPECT_EQ(notifications->badge, "1");
    // The chat button shows it too.
    EXPECT_FALSE(chat.buttonBadge()->isHidden());
    EXPECT_EQ(chat.buttonBadge()->text(), "1");
    EXPECT_TRUE(chat.chatButton()->rect().contains(chat.buttonBadge()->geometry()));
    chat.handleIntercomMessengerShown();
    EXPECT_EQ(notifications->badge, "");
    EXPECT_TRUE(chat.buttonBadge()->isHidden());
}

// What support writes while the user has the messenger open in front of them is seen as it
// comes: no badge, no notice, and the messenger stays open. Open but out of sight (the window
// minimised or hidden), it is told as ever.
TEST_F(SupportChatTest, AMessageWhileTheChatIsOpenAndShownRaisesNoBadgeNorNotice)
{
    platform::ManualClock& clock = platform::ManualClock::install();
    QWidget window;
    window.resize(800, 700);
    auto* chat = new PLRIntercomChatView(&window);
    window.show();
    chat->handleNewMessageNotification();   // the page's first state
    chat->handleIntercomMessengerShown();
    clock.advance(0.15);
    ASSERT_TRUE(chat->isMessengerOpened());
    ASSERT_TRUE(chat->isMessengerOnScreen());

    chat->handleNewMessageNotification();
    chat->handleNewMessageNotification();
    clock.advance(1.0);
    EXPECT_TRUE(notifications->delivered.empty());
    EXPECT_EQ(notifications->badge, "");
    EXPECT_TRUE(chat->buttonBadge()->isHidden());
    EXPECT_TRUE(chat->isMessengerOpened());

    window.hide();
    EXPECT_FALSE(chat->isMessengerOnScreen());
    chat->handleNewMessageNotification();
    clock.advance(0.3);
    EXPECT_EQ(notifications->delivered.size(), 1u);
    EXPECT_EQ(notifications->badge, "1");
    EXPECT_TRUE(chat->isMessengerOpened());   // still open: shown again, the next one is seen
    window.show();
    chat->handleNewMessageNotification();
    clock.advance(31.0);
    EXPECT_EQ(notifications->delivered.size(), 1u);
    EXPECT_EQ(notifications->badge, "1");
}

TEST_F(SupportChatTest, AFloodOfNewMessagesRaisesOneNotificationAndTheBadgeCounts)
{
    platform::ManualClock& clock = platform::ManualClock::install();
    PLRIntercomChatView chat;
    chat.handleNewMessageNotification();   // the page's first state: loaded
    for (int i = 0; i < 3000; ++i)
        chat.handleNewMessageNotification();
    clock.advance(0.3);
    ASSERT_EQ(notifications->delivered.size(), 1u);
    clock.advance(0.4);
    EXPECT_EQ(notifications->delivered.size(), 1u);
    EXPECT_EQ(notifications->badge, "3000");
    EXPECT_EQ(chat.unreadMessages(), 3000);
    // Another one soon after, or just inside the 30 s since the last one: counted, not told.
    chat.handleNewMessageNotification();
    clock.advance(29.0);
    chat.handleNewMessageNotification();
    clock.advance(0.4);
    EXPECT_EQ(notifications->delivered.size(), 1u);
    EXPECT_EQ(notifications->badge, "3002");
    // Once the 30 s have passed, the next one is told again.
    clock.advance(0.3);
    chat.handleNewMessageNotification();
    clock.advance(0.3);
    ASSERT_EQ(notifications->delivered.size(), 2u);
    EXPECT_EQ(notifications->badge, "3003");

    // Once the user has opened the messenger, the next message is told at once.
    chat.handleIntercomMessengerShown();
    EXPECT_EQ(notifications->badge, "");
    chat.handleNewMessageNotification();
    clock.advance(0.3);
    ASSERT_EQ(notifications->delivered.size(), 3u);
    EXPECT_EQ(notifications->badge, "1");
}

TEST_F(SupportChatTest, AWebViewGoesCleanlyWhileItsPageIsStillTalking)
{
    int received = 0;
    auto* view = new PLRWebView;
    view->addScriptMessageHandler("jsHandler", [&](const QString&) { ++received; });
    view->setHtml("<html><body><script>setInterval(function(){ for (var i = 0; i < 50; ++i) "
                  "pelloraPost('jsHandler', 'newmessages'); }, 1);</script></body></html>");
    view->show();
    ASSERT_TRUE(testing_support::waitUntil([&] { return received > 100; }, 15000));
    delete view;
    const int atDelete = received;
    // Nothing reaches a handler of a view that is gone.
    EXPECT_TRUE(testing_support::holdsFor([&] { return received == atDelete; }, 300));   // nothing reaches a handler of a view that is gone
}

TEST_F(SupportChatTest, TheWatchdogAlertsAndReloadsWhenTheMessengerNeverOpens)
{
    platform::ManualClock& clock = platform::ManualClock::install();
    PLRIntercomChatView chat;
    chat.setupMessengerView();
    chat.showIntercomChatWindow();
    // Nothing before its 15 s (an alert nobody expected fails the test).
    clock.advance(14.9);
    EXPECT_TRUE(chat.isWaitingForMessenger());
    EXPECT_FALSE(chat.chatButton()->isEnabled());
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    clock.advance(0.1);
    EXPECT_FALSE(chat.isWaitingForMessenger());
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_EQ(testing_support::scriptedAlerts().shown()[0].messageText,
              "We are experiencing difficulty to initiate chat with support.");
    EXPECT_EQ(testing_support::scriptedAlerts().shown()[0].informativeText,
              "Please check your internet connection, and try again later.");
    EXPECT_TRUE(chat.chatButton()->isEnabled());

    // A messenger that shows in time stops it: no second alert, however long it stays open.
    chat.showIntercomChatWindow();
    clock.advance(1.0);
    chat.handleScriptMessage(QStringLiteral("jsHandler"), QStringLiteral("shown"));
    EXPECT_FALSE(chat.isWaitingForMessenger());
    clock.advance(30.0);
    EXPECT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
}

TEST_F(SupportChatTest, UserDetailsReachThePageIntactWhateverTheyHold)
{
    EXPECT_EQ(PLRIntercomChatView::currentUserInfo(), "");   // nobody signed in
    ASSERT_TRUE(PLRCoreManager::completeSignIn("o'brien@example.com", "secret", "u-7", "token"));
    PLRPersistantAccount* account = PLRCoreManager::userSession()->account();
    account->setFirstName("Ann \"Nan\"");
    account->setLastName("O'Brien</script>\n");
    const QString literal = PLRIntercomChatView::currentUserInfo();
    EXPECT_TRUE(literal.startsWith("{email: \"o'brien@example.com\",\n" + QString(22, ' ') + "name: "));

    PLRWebView view;
    view.setHtml(QString::fromLatin1(kTestPage));
    bool loaded = false;
    QObject::connect(&view, &QWebEngineView::loadFinished, [&](bool) { loaded = true; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return loaded; }, 15000));
    QVariant name;
    bool done = false;
    view.evaluateJavaScript(QStringLiteral("Intercom('update', %1); updates[0].name + '|' + updates[0].user_id").arg(literal),
                            [&](const QVariant& value, const QString&) { name = value; done = true; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return done; }, 15000));
    EXPECT_EQ(name.toString(), "Ann \"Nan\" O'Brien</script>\n|u-7");
}

// The one chat moves between its hosts (home, a post's canvas) through the hook, open or
// closed, with the same web view and its page as it was: never loaded again.
TEST_F(SupportChatTest, TheHookMovesTheSharedChatBetweenHostsKeepingItsPage)
{
    PLRChat::install();
    QWidget window;
    window.resize(1000, 700);
    auto* first = new QWidget(&window);
    first->setGeometry(0, 0, 1000, 700);
    auto* second = new QWidget(&window);
    second->setGeometry(250, 0, 500, 700);
    window.show();
    PLRIntercomChatView* chat = PLRIntercomChatManager::intercomChatView();
    chat->resetWithIntercomFile(QUrl("data:text/html;charset=utf-8," + QUrl::toPercentEncoding(kTestPage)));
    PLRSupportChatHook::attach(first);
    EXPECT_EQ(chat->parentWidget(), first);
    PLRWebView* web = chat->webView();
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isLoaded(); }, 15000));
    int loads = 0;
    QObject::connect(web, &QWebEngineView::loadStarted, [&] { ++loads; });
    bool done = false;
    web->evaluateJavaScript("window.conversation = 'kept'", [&](const QVariant&, const QString&) { done = true; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return done; }, 15000));

    // Opened in the first host, then moved: open, in the second host's corner.
    chat->showIntercomChatWindow();
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isMessengerOpened(); }, 15000));
    PLRSupportChatHook::attach(second);
    EXPECT_EQ(chat->parentWidget(), second);
    EXPECT_EQ(chat->geometry(), QRect(500 - 20 - 300, 700 - 20 - 500, 300, 500));
    EXPECT_TRUE(chat->isMessengerOpened());
    chat->handleScriptMessage("jsHandler", "hidden");
    ASSERT_TRUE(testing_support::waitUntil([&] { return !chat->isMessengerOpened(); }));

    // Out of every host and back into the first.
    PLRIntercomChatManager::detachIntercomMessenger();
    EXPECT_EQ(chat->parentWidget(), nullptr);
    PLRSupportChatHook::attach(first);
    EXPECT_EQ(chat->geometry(), QRect(1000 - 84, 700 - 84, 56, 56));
    EXPECT_EQ(chat->webView(), web);
    EXPECT_EQ(chat->webViewPlace()->parentWidget(), chat);
    QVariant kept;
    done = false;
    web->evaluateJavaScript("window.conversation", [&](const QVariant& value, const QString&) { kept = value; done = true; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return done; }, 15000));
    EXPECT_EQ(kept.toString(), "kept");
    EXPECT_EQ(loads, 0);
}

// The chat is the last stop of Tab in its window, also over a screen made after it joined the
// window (Qt's own order follows the making of widgets), its page too once open; and its moves
// between screens leave the window's Tab chain one whole ring.
TEST_F(SupportChatTest, TheChatIsTheLastStopOfTabInItsWindowWhicheverScreenCameFirst)
{
    PLRChat::install();
    platform::ui::Window window(QRectF(0, 0, 1000, 700));
    auto* bar = new QLineEdit(window.contentView());   // (the title bar's controls)
    auto* home = new QWidget(window.contentView());
    home->setGeometry(0, 30, 1000, 670);
    new QLineEdit(home);
    PLRIntercomChatView* chat = PLRIntercomChatManager::intercomChatView();
    chat->resetWithIntercomFile(QUrl("data:text/html;charset=utf-8," + QUrl::toPercentEncoding(kTestPage)));
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    PLRSupportChatHook::attach(home);
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isLoaded(); }, 15000));
    auto* post = new QWidget(window.contentView());
    post->setGeometry(0, 30, 1000, 670);
    auto* title = new QLineEdit(post);
    auto* field = new QLineEdit(post);
    field->move(0, 40);
    post->show();
    home->hide();
    PLRSupportChatHook::attach(post);
    const auto press = [](bool forward) {
        QKeyEvent tab(QEvent::KeyPress, forward ? Qt::Key_Tab : Qt::Key_Backtab, forward ? Qt::NoModifier : Qt::ShiftModifier);
        QApplication::sendEvent(QApplication::focusWidget(), &tab);
        return QApplication::focusWidget();
    };
    bar->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(press(true), title);
    EXPECT_EQ(press(true), field);
    EXPECT_EQ(press(true), chat->chatButton());
    EXPECT_EQ(press(true), bar);
    EXPECT_EQ(press(false), chat->chatButton());

    // Open, its page is the last stop.
    chat->showIntercomChatWindow();
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isMessengerOpened(); }, 15000));
    field->setFocus(Qt::TabFocusReason);
    QWidget* page = press(true);
    EXPECT_TRUE(page && chat->webView()->isAncestorOf(page)) << (page ? page->metaObject()->className() : "none");
    bar->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(press(false), page);
    chat->handleScriptMessage("jsHandler", "hidden");
    ASSERT_TRUE(testing_support::waitUntil([&] { return !chat->isMessengerOpened(); }));

    // Back home and into the post again: one ring through every widget, the same both ways.
    post->hide();
    home->show();
    PLRSupportChatHook::attach(home);
    home->hide();
    post->show();
    PLRSupportChatHook::attach(post);
    QList<QWidget*> forward;
    for (QWidget* w = window.nextInFocusChain(); w != &window && forward.size() <= 1000; w = w->nextInFocusChain())
        forward << w;
    QList<QWidget*> backward;
    for (QWidget* w = window.previousInFocusChain(); w != &window && backward.size() <= 1000; w = w->previousInFocusChain())
        backward.prepend(w);
    EXPECT_EQ(forward, backward);
    qsizetype inWindow = 0;
    for (QWidget* widget : window.findChildren<QWidget*>())
        inWindow += widget->window() == &window ? 1 : 0;
    EXPECT_EQ(forward.size(), inWindow);
    field->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(press(true), chat->chatButton());
}

TEST_F(SupportChatTest, TheDevelopmentServiceChatPageSendsRepliesWithoutReloading)
{
    testing_support::DevService service;
    ASSERT_TRUE(service.start());
    QWidget host;
    host.resize(800, 700);
    PLRIntercomChatView* chat = PLRIntercomChatManager::intercomChatView();
    QUrl page = service.baseUrl();
    page.setPath(QStringLiteral("/support/intercom.html"));
    chat->resetWithIntercomFile(page);
    PLRIntercomChatManager::attachIntercomMessengerToView(&host);
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isLoaded(); }, 15000));
    chat->showIntercomChatWindow();
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isMessengerOpened(); }, 15000));

    // The user types a message and presses Return: it joins the conversation, the page stays.
    QVariant lines;
    bool done = false;
    chat->webView()->evaluateJavaScript(
        "document.getElementById('text').value = 'How do I publish?';"
        "document.getElementById('form').requestSubmit();"
        "document.querySelectorAll('#log .me').length",
        [&](const QVariant& value, const QString&) { lines = value; done = true; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return done; }, 15000));
    // The page stays: the messenger is not reloaded or closed meanwhile.
    EXPECT_TRUE(testing_support::holdsFor([&] { return chat->isMessengerOpened(); }, 300));
    done = false;
    chat->webView()->evaluateJavaScript("document.querySelectorAll('#log .me').length + ':' + "
                                        "document.getElementById('messenger').style.display",
                                        [&](const QVariant& value, const QString&) { lines = value; done = true; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return done; }, 15000));
    EXPECT_EQ(lines.toString(), "1:flex");
    EXPECT_TRUE(chat->isMessengerOpened());
}

TEST_F(SupportChatTest, AnOpeningAskedForWhileThePageLoadsIsCarriedOutOnceItHasLoaded)
{
    QWidget host;
    host.resize(800, 700);
    PLRIntercomChatView* chat = PLRIntercomChatManager::intercomChatView();
    chat->resetWithIntercomFile(QUrl("data:text/html;charset=utf-8," + QUrl::toPercentEncoding(kTestPage)));
    PLRIntercomChatManager::attachIntercomMessengerToView(&host);
    // Pressed at once: the page and its messenger script are not there yet.
    ASSERT_FALSE(chat->isPageLoaded());
    chat->showIntercomChatWindow();
    EXPECT_TRUE(chat->isWaitingForMessenger());
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isMessengerOpened(); }, 15000));
    EXPECT_FALSE(chat->isWaitingForMessenger());
    EXPECT_TRUE(testing_support::scriptedAlerts().shown().empty());
}

TEST_F(SupportChatTest, TheChatPageLoadedWithoutAHostTellsOfSupportsMessages)
{
    testing_support::DevService service;
    ASSERT_TRUE(service.start());
    PLRIntercomChatView* chat = PLRIntercomChatManager::intercomChatView();
    QUrl page = service.baseUrl();
    page.setPath(QStringLiteral("/support/intercom.html"));
    chat->resetWithIntercomFile(page);
    PLRIntercomChatManager::loadPage();
    EXPECT_EQ(chat->parentWidget(), nullptr);   // on no screen
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isLoaded(); }, 15000));
    EXPECT_TRUE(notifications->delivered.empty());

    // Support writes: the page (listening on its socket) tells the application.
    ASSERT_TRUE(testing_support::waitUntil([&] { return service.sendSupportMessage("Your site is live") == 1; }, 15000));
    ASSERT_TRUE(testing_support::waitUntil([&] { return !notifications->delivered.empty(); }, 15000));
    EXPECT_EQ(notifications->delivered[0].title, "New Message from Pellora Support");
    EXPECT_EQ(notifications->badge, "1");

    // The home screen shows it later: the same page, its message there.
    QWidget host;
    host.resize(800, 700);
    PLRWebView* web = chat->webView();
    PLRIntercomChatManager::attachIntercomMessengerToView(&host);
    EXPECT_EQ(chat->webView(), web);
    QVariant text;
    bool done = false;
    web->evaluateJavaScript("document.getElementById('log').textContent",
                            [&](const QVariant& value, const QString&) { text = value; done = true; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return done; }, 15000));
    EXPECT_TRUE(text.toString().contains("Your site is live")) << text.toString().toStdString();
}

// A chat page that could not be loaded (the service down, or answering with an error) tells
// nothing; once the service can be reached it is loaded again, and support's messages reach the
// user. A page that loaded is left alone.
TEST_F(SupportChatTest, APageThatCouldNotLoadIsLoadedAgainOnceTheServiceCanBeReached)
{
    testing_support::DevService service;
    ASSERT_TRUE(service.start());
    service.goDown();
    ASSERT_TRUE(service.waitUntilDown());
    PLRIntercomChatView* chat = PLRIntercomChatManager::intercomChatView();
    QUrl page = service.baseUrl();
    page.setPath(QStringLiteral("/support/intercom.html"));
    chat->resetWithIntercomFile(page);
    PLRIntercomChatManager::loadPage();
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->hasPageFailed(); }, 15000));
    EXPECT_FALSE(chat->isLoaded());

    // Up again, but answering the page with an error: still nothing to tell.
    ASSERT_TRUE(service.comeBackUp());
    service.scriptServiceError(QStringLiteral("/support/intercom.html"), 503, 503);
    chat->serviceReachable();
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isPageLoaded(); }, 15000));
    EXPECT_TRUE(chat->hasPageFailed());

    chat->serviceReachable();
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isLoaded(); }, 15000));
    EXPECT_FALSE(chat->hasPageFailed());
    EXPECT_TRUE(notifications->delivered.empty());   // the page's first state is no news
    ASSERT_TRUE(testing_support::waitUntil([&] { return service.sendSupportMessage("We are back") == 1; }, 15000));
    ASSERT_TRUE(testing_support::waitUntil([&] { return !notifications->delivered.empty(); }, 15000));
    EXPECT_EQ(notifications->badge, "1");

    int loads = 0;
    QObject::connect(chat->webView(), &QWebEngineView::loadStarted, [&] { ++loads; });
    chat->serviceReachable();
    testing_support::drainEvents();
    EXPECT_EQ(loads, 0);
}

// The first press on a page that could not be loaded (the service back before the application
// noticed) loads it again and opens the chat, without the wait for the alert.
TEST_F(SupportChatTest, APressOnAPageThatCouldNotLoadLoadsItAgainAndOpensTheChat)
{
    testing_support::DevService service;
    ASSERT_TRUE(service.start());
    service.scriptServiceError(QStringLiteral("/support/intercom.html"), 502, 502);
    QWidget host;
    host.resize(800, 700);
    PLRIntercomChatView* chat = PLRIntercomChatManager::intercomChatView();
    QUrl page = service.baseUrl();
    page.setPath(QStringLiteral("/support/intercom.html"));
    chat->resetWithIntercomFile(page);
    PLRIntercomChatManager::attachIntercomMessengerToView(&host);
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->hasPageFailed(); }, 15000));
    chat->showIntercomChatWindow();
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isMessengerOpened(); }, 14000));
    EXPECT_FALSE(chat->isWaitingForMessenger());
    EXPECT_TRUE(testing_support::scriptedAlerts().shown().empty());
}

// After the watchdog has loaded the page again, the page's first report is its state again: no
// notice, no badge for a message nobody wrote.
TEST_F(SupportChatTest, APageLoadedAgainByTheWatchdogStartsWithoutNews)
{
    platform::ManualClock& clock = platform::ManualClock::install();
    const char silentPage[] = R"HTML(<!DOCTYPE html><html><body><script>
      function Intercom(command) {}
      pelloraPost('jsHandler', 'newmessages');
      pelloraPost('probe', 'told');
    </script></body></html>)HTML";
    PLRIntercomChatView* chat = PLRIntercomChatManager::intercomChatView();
    chat->resetWithIntercomFile(QUrl("data:text/html;charset=utf-8," + QUrl::toPercentEncoding(silentPage)));
    PLRIntercomChatManager::loadPage();
    int told = 0;
    chat->webView()->addScriptMessageHandler("probe", [&](const QString&) { ++told; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return told == 1 && chat->isPageLoaded(); }, 15000));
    ASSERT_TRUE(chat->isLoaded());

    chat->showIntercomChatWindow();
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    clock.advance(15.0);
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    ASSERT_TRUE(testing_support::waitUntil([&] { return told == 2; }, 15000));
    clock.advance(1.0);
    EXPECT_TRUE(notifications->delivered.empty());
    EXPECT_EQ(notifications->badge, "");
    EXPECT_TRUE(chat->isLoaded());
}

// Launched while the service is down, the chat's page tells nothing: the development service's
// page fails to load, and the bundled page of production loads while its messenger (a frame of
// the help centre, here this service's) does not. Once the connection machine finds the service
// again, the page is loaded again and support's messages reach the user.
class SupportChatComingBackTest : public SupportChatTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SupportChatComingBackTest, AChatPageThatCouldNotReachTheServiceIsLoadedAgainWhenTheServiceIsBack)
{
    const bool bundledPage = GetParam();
    testing_support::DevService service;
    ASSERT_TRUE(service.start());
    service.useAsCustomHost();
    PLRServiceReacher::setDefaultTiming({0.05, 0.25});
    service.goDown();
    ASSERT_TRUE(service.waitUntilDown());

    PLRIntercomChatView* chat = PLRIntercomChatManager::intercomChatView();
    if (bundledPage) {
        // The page the application bundles, its messenger's host this service.
        QFile bundled(QStringLiteral(":/intercom.html"));
        ASSERT_TRUE(bundled.open(QIODevice::ReadOnly));
        QByteArray page = bundled.readAll();
        ASSERT_TRUE(page.contains("https://help.pellora.app"));
        page.replace("https://help.pellora.app", service.baseUrl().toString(QUrl::StripTrailingSlash).toUtf8());
        chat->resetWithIntercomFile(QUrl("data:text/html;charset=utf-8," + QUrl::toPercentEncoding(QString::fromUtf8(page))));
    }
    PLRIntercomChatManager::loadPage();
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->hasPageFailed(); }, 15000));
    EXPECT_FALSE(chat->isLoaded());

    PLRWebServiceManager::globalManager().beginManager();
    ASSERT_TRUE(service.comeBackUp());
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isLoaded(); }, 15000));
    EXPECT_FALSE(chat->hasPageFailed());
    EXPECT_TRUE(notifications->delivered.empty());   // the page's first state is no news
    ASSERT_TRUE(testing_support::waitUntil([&] { return service.sendSupportMessage("We are back") == 1; }, 15000));
    ASSERT_TRUE(testing_support::waitUntil([&] { return !notifications->delivered.empty(); }, 15000));
    EXPECT_EQ(notifications->badge, "1");

    // The messenger answers the application through the page.
    QWidget host;
    host.resize(800, 700);
    PLRIntercomChatManager::attachIntercomMessengerToView(&host);
    chat->showIntercomChatWindow();
    ASSERT_TRUE(testing_support::waitUntil([&] { return chat->isMessengerOpened(); }, 15000));
    EXPECT_EQ(notifications->badge, "");
}

INSTANTIATE_TEST_SUITE_P(Page, SupportChatComingBackTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? std::string("BundledPage") : std::string("DevelopmentServicePage");
                         });
