// Root navigation: the screens the connection and user-session machines lead to, the error bar,
// the outdated-version alert, the post-controller cache, the first-run welcome and a locked account.

#include "ShellTestSupport.h"
#include "support/store/StoreFixtures.h"
#include "shell/prefs/PLRPreferencesWindowController.h"
#include "platform-ui/GraphicsContext.h"
#include "shell/home/PLRSupportChatHook.h"
#include "shell/home/PLRSupportChatLoader.h"
#include "shell/post/PLRPostCanvasViewController.h"
#include "canvas/interaction/PLRLayoutViewController.h"

#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"
#include "shell/PLRFirstTimeWelcomeViewController.h"
#include "shell/PLRShellScreens.h"
#include "shell/home/PLRShellHooks.h"
#include "canvas/interaction/PLRVisualStateHandler.h"
#include "services/web-services/PLRWebServiceUserManager.h"
#include "services/web-services/Reachability.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/NotificationCenter.h"
#include "platform/Resets.h"
#include "shell/PLRShellNotifications.h"
#include "shell/home/PLRHomeViewController.h"
#include "shell/home/PLRRecentCollectionViewItem.h"
#include "shell/post/PLRPostViewController.h"
#include "shell/post/PLRPrepViewController.h"

#include <QBuffer>
#include <QPushButton>
#include <QKeyEvent>
#include <QLineEdit>
#include <QImage>

using namespace shell_test;

namespace {

PLRPersistantPost* addPost(const QString& name)
{
    PLRPersistantAccount* account = PLRCoreManager::userSession()->account();
    return account->addPost(PLRPersistantPost::makeNew(name, account));
}

} // namespace

TEST_F(ShellTest, ConnectionStatesLeadToErrorBarThenSignIn)
{
    prepareExistingStore();
    // The service is away at start: the error bar, and no screen behind it yet.
    service.goDown();
    ASSERT_TRUE(service.waitUntilDown());
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isShowingErrorView(); }));
    EXPECT_EQ(root()->errorTitle()->stringValue(), QStringLiteral("Cannot reach the internet"));
    EXPECT_EQ(root()->errorButton()->title(), QStringLiteral("Try Connect"));
    EXPECT_FALSE(root()->isShowingAuth());
    EXPECT_GE(indexOfLine(QStringLiteral("ERROR - NO INTERNET AND NO USER")), 0);

    // Back again: the button re-checks, the machine settles and the sign-in view slides in.
    ASSERT_TRUE(service.comeBackUp());
    root()->errorButton()->performClick();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
    ASSERT_TRUE(waitFor([this] { return root()->isShowingAuth(); }));
    EXPECT_FALSE(root()->isShowingErrorView());
    EXPECT_GE(indexOfLine(QStringLiteral("GOT A CONNECTION")), 0);
    finishAnimations();
    EXPECT_DOUBLE_EQ(root()->currentTopConstraint()->constant(), 0.0);
    // A second request for sign-in changes nothing.
    PLRAuthViewController* auth = root()->authViewController();
    root()->presentLogin();
    EXPECT_EQ(root()->authViewController(), auth);
}

// "Try Connect" checks afresh at once: with the service back, the application connects and the
// sign-in view comes without waiting for the probe's next fetch (about a minute away; here the
// clock stands still, so only the press can fetch again). Pressed while the service is still
// away, the error bar stays.
TEST_F(ShellTest, TryConnectChecksAfreshAndConnectsAtOnceWhenTheServiceIsBack)
{
    prepareExistingStore();
    service.goDown();
    ASSERT_TRUE(service.waitUntilDown());
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isShowingErrorView(); }));
    const auto state = [] { return PLRWebServiceManager::globalManager().currentState()->name().toStdString(); };
    const qsizetype fetchesBefore = service.requests(QStringLiteral("/core/health")).size();

    root()->errorButton()->performClick();
    EXPECT_TRUE(testing_support::waitUntil([this] { return countLines(QStringLiteral("Service probe: checking again now")) == 1; }));
    // Its fetch has failed before the service comes back (else, late, it would reach the service too).
    EXPECT_TRUE(testing_support::waitUntil([] { return !testing_support::requestOnItsWay(); }));
    testing_support::drainEvents();
    EXPECT_TRUE(root()->isShowingErrorView());
    EXPECT_EQ(state(), PLRWSM_STATE_SERVER_CONNECTION);

    ASSERT_TRUE(service.comeBackUp());
    root()->errorButton()->performClick();
    EXPECT_TRUE(testing_support::waitUntil([&] { return state() == PLRWSM_STATE_STABLE; })) << state();
    EXPECT_TRUE(testing_support::waitUntil([this] { return !root()->isShowingErrorView(); }));
    EXPECT_EQ(service.requests(QStringLiteral("/core/health")).size(), fetchesBefore + 1);
}

// Offline from the start, the probe's first answer keeps the starting "no internet" and so
// changes no state; the error bar shows all the same once that answer is in.
TEST_F(ShellTest, OfflineStartShowsTheErrorBarOnceTheProbeAnswers)
{
    prepareExistingStore();
    const platform::HookGuard<Reachability::FlagsProvider> offline(
        &Reachability::setFlagsProvider, [](const QString&) -> quint32 { return 0; });
    service.goDown();
    ASSERT_TRUE(service.waitUntilDown());
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isShowingErrorView(); }));
    EXPECT_EQ(root()->errorTitle()->stringValue(), QStringLiteral("Cannot reach the internet"));
    EXPECT_EQ(PLRWebServiceManager::globalManager().currentState()->name(), PLRWSM_STATE_NO_INTERNET);
}

TEST_F(ShellTest, StartUpShowsNoErrorBarBeforeTheProbeAnswers)
{
    prepareExistingStore();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isShowingAuth(); }));
    // The machine passes through NO_INTERNET before the first probe answer, but that is no news.
    EXPECT_LT(indexOfLine(QStringLiteral("ERROR - NO INTERNET AND NO USER")), 0);
    EXPECT_LT(indexOfLine(QStringLiteral("CAN'T GET TO INTERNET")), 0);
    EXPECT_FALSE(root()->isShowingErrorView());
    if (HasFailure())
        for (const QString& line : lines())
            std::fprintf(stderr, "LINE %s\n", qPrintable(line));
}

TEST_F(ShellTest, NewPostWithoutASessionLeavesHomeShown)
{
    prepareExistingStore();
    signInDemo();
    PLRCoreManager::setUserSession(nullptr);
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    finishAnimations();
    PLRCoreManager::setUserSession(nullptr);
    root()->presentNewPost();
    EXPECT_TRUE(root()->isPresentingHome());
    EXPECT_EQ(root()->currentPostViewController(), nullptr);
}

TEST_F(ShellTest, OutdatedVersionShowsTheAlertAgainAtEachEntry)
{
    prepareExistingStore();
    service.setMinimumVersion(QStringLiteral("99.0"));
    alerts().enqueue(platform::kAlertFirstButtonReturn);   // "Check for update"
    launch();
    ASSERT_TRUE(waitFor([] { return !testing_support::scriptedAlerts().shown().empty(); }));
    EXPECT_EQ(alerts().shown().front().messageText, QStringLiteral("Outdated Pellora Version"));
    EXPECT_EQ(alerts().shown().front().buttons, (QStringList{QStringLiteral("Check for update"), QStringLiteral("Quit")}));
    EXPECT_FALSE(exited);
    // "Quit" at the next entry is a forced quit: no backup question, and it goes through.
    alerts().enqueue(platform::kAlertSecondButtonReturn);
    PLRWebServiceManager::globalManager().handlePossibleConnectionChange();
    ASSERT_TRUE(waitFor([this] { return exited; }));
    ASSERT_EQ(alerts().shown().size(), 2u);
    EXPECT_EQ(alerts().shown().at(1).messageText, QStringLiteral("Outdated Pellora Version"));
}

TEST_F(ShellTest, SignedInSessionGoesHomeAndCachesPostControllers)
{
    prepareExistingStore();
    signInDemo();
    PLRCoreManager::setUserSession(nullptr);
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    EXPECT_TRUE(root()->haveSubscribedToUserSession());
    EXPECT_FALSE(root()->isShowingAuth());

    PLRPersistantPost* first = addPost(QStringLiteral("First"));
    PLRPersistantPost* second = addPost(QStringLiteral("Second"));
    root()->presentPost(first);
    finishAnimations();
    PLRPostViewController* firstController = root()->currentPostViewController();
    ASSERT_NE(firstController, nullptr);
    EXPECT_FALSE(root()->isPresentingHome());
    EXPECT_TRUE(PLRVisualStateHandler::globalHandler().postHeaderVisible());
    EXPECT_EQ(app->baseWindowController()->currentPostButton()->title(), QStringLiteral("First"));

    // The post already shown: nothing happens. Its view stays in the window, shown, where it
    // was, and no screen change starts.
    QWidget* shownView = firstController->view();
    const QRect shownAt = shownView->geometry();
    root()->presentPost(first);
    EXPECT_EQ(root()->postViewControllers().size(), 1);
    EXPECT_EQ(root()->currentPostViewController(), firstController);
    EXPECT_FALSE(root()->isNavigating());
    finishAnimations();
    EXPECT_EQ(shownView->parentWidget(), root()->view());
    EXPECT_EQ(shownView->window(), app->baseWindowController()->window());
    EXPECT_TRUE(shownView->isVisible());
    EXPECT_EQ(static_cast<platform::ui::View*>(shownView)->alphaValue(), 1.0);
    EXPECT_EQ(shownView->geometry(), shownAt);
    EXPECT_TRUE(PLRVisualStateHandler::globalHandler().postHeaderVisible());

    root()->presentPost(second);
    finishAnimations();
    EXPECT_NE(root()->currentPostViewController(), firstController);
    // Opening the first again reuses its controller, matched by the post's identifier.
    root()->presentPost(first);
    finishAnimations();
    EXPECT_EQ(root()->currentPostViewController(), firstController);
    EXPECT_EQ(root()->postViewControllers().size(), 2);

    // The screens reach the main window's root through the shell's hooks: a deleted post's
    // controller goes, unless it is the one shown.
    PLRShellHooks::postWasDeleted(first->identifier());
    EXPECT_EQ(root()->postViewControllers().size(), 2);
    PLRShellHooks::postWasDeleted(second->identifier());
    EXPECT_EQ(root()->postViewControllers().size(), 1);
    PLRShellHooks::presentPost(second);
    finishAnimations();
    EXPECT_NE(root()->currentPostViewController(), firstController);
    EXPECT_EQ(root()->postViewControllers().size(), 2);
    root()->presentPost(first);
    finishAnimations();
    EXPECT_EQ(root()->currentPostViewController(), firstController);

    // The service lost while a post is open: the post stays and no error bar shows.
    service.goDown();
    ASSERT_TRUE(service.waitUntilDown());
    PLRWebServiceManager::globalManager().handlePossibleConnectionChange();
    ASSERT_TRUE(waitFor([] {
        auto state = PLRWebServiceManager::globalManager().currentState();
        return state && (state->name() == QLatin1String(PLRWSM_STATE_SERVER_CONNECTION)
                         || state->name() == QLatin1String(PLRWSM_STATE_NO_INTERNET));
    }));
    letTimePass(0.1);
    EXPECT_EQ(root()->currentPostViewController(), firstController);
    EXPECT_FALSE(root()->isShowingErrorView());
    ASSERT_TRUE(service.comeBackUp());
    PLRWebServiceManager::globalManager().handlePossibleConnectionChange();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));

    root()->moveHome(true);
    finishAnimations();
    EXPECT_TRUE(root()->isPresentingHome());
    EXPECT_EQ(root()->currentPostViewController(), nullptr);
    EXPECT_FALSE(PLRVisualStateHandler::globalHandler().postHeaderVisible());
    // Home again while home shows: nothing, not even the version re-check.
    platform::UserDefaults::standard().setBool(QLatin1String(kPLRForceUpgradeToEdition3Key), true);
    service.clearRequests();
    root()->moveHome(true);
    letTimePass(0.1);
    EXPECT_TRUE(service.requests(QStringLiteral("/core/supported")).isEmpty());
}

// A post sliding up over home casts its layer's shadow on home; at rest none shows.
TEST_F(ShellTest, APostSlidingUpOverHomeCastsItsShadow)
{
    prepareExistingStore();
    signInDemo();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    finishAnimations();
    root()->presentPost(addPost(QStringLiteral("Sliding")));
    platform::ui::AnimationClock::shared().advance(0.1);
    auto* post = static_cast<platform::ui::View*>(root()->currentPostViewController()->view());
    const int top = post->y();
    ASSERT_GT(top, 20);
    EXPECT_TRUE(root()->rootView()->slideShadow()->isVisible());
    // Just above the post's top edge home is darker than further up.
    const QImage shown = root()->view()->grab().toImage();
    const QColor nearEdge = shown.pixelColor(10, top - 2);
    const QColor further = shown.pixelColor(10, top - 18);
    EXPECT_LT(nearEdge.lightness(), further.lightness() - 4) << nearEdge.name().toStdString() << " "
                                                              << further.name().toStdString();
    finishAnimations();
    EXPECT_EQ(post->y(), 0);
    EXPECT_FALSE(root()->rootView()->slideShadow()->isVisible());
}

// A post sliding back down to home is repainted at every frame of its slide: its shadow is
// blurred once for the whole slide, not again at each frame (what made a slide cost a quarter
// of a second per frame).
TEST_F(ShellTest, ASlidingPostBlursItsShadowOnceForTheWholeSlide)
{
    prepareExistingStore();
    signInDemo();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    finishAnimations();
    root()->presentPost(addPost(QStringLiteral("Sliding")));
    finishAnimations();
    testing_support::drainEvents();
    QWidget* post = root()->currentPostViewController()->view();
    ASSERT_TRUE(post->isVisible());
    post->repaint();
    const qint64 before = platform::ui::GraphicsContext::shadowsBlurred();
    root()->moveHome(true);
    int frames = 0;
    for (; frames < 20 && root()->currentPostViewController(); ++frames) {
        platform::ui::AnimationClock::shared().advance(0.05);
        if (root()->currentPostViewController())
            root()->currentPostViewController()->view()->repaint();
        testing_support::drainEvents();
    }
    EXPECT_TRUE(root()->isPresentingHome());
    EXPECT_GE(frames, 5);
    EXPECT_LE(platform::ui::GraphicsContext::shadowsBlurred() - before, 1) << frames << " frames";
}

// The support chat's button sits in the bottom trailing corner of the open post's canvas as of
// home, one button moving between them; the canvas ends above it (the home grid scrolls its last
// row clear of it instead).
TEST_F(ShellTest, TheSupportChatFollowsTheUserIntoThePostsCanvasAndBackHome)
{
    prepareExistingStore();
    signInDemo();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    finishAnimations();
    PLRSupportChatButton* chat = PLRSupportChatButton::shared();
    ASSERT_TRUE(chat);
    // The chat (closed, its round button alone, 28 inside the corner) in the host's bottom
    // trailing corner, over the content that is to end above it none of it.
    const auto expectInCorner = [&](QWidget* host, QWidget* endingAbove) {
        ASSERT_EQ(chat->parentWidget(), host);
        ASSERT_TRUE(chat->isVisibleTo(host));
        EXPECT_EQ(chat->geometry(), QRect(host->width() - 84, host->height() - 84, 56, 56));
        const QRect button(chat->button()->mapTo(host, QPoint(0, 0)), chat->button()->size());
        EXPECT_EQ(button, chat->geometry());
        if (endingAbove) {
            const QRect under(endingAbove->mapTo(host, QPoint(0, 0)), endingAbove->size());
            EXPECT_FALSE(under.intersects(button)) << host->metaObject()->className();
        }
        EXPECT_EQ(host->childAt(button.center()), static_cast<QWidget*>(chat->button()));
    };
    expectInCorner(root()->homeViewController()->view(), nullptr);

    root()->presentPost(addPost(QStringLiteral("Corner")));
    finishAnimations();
    testing_support::drainEvents();
    PLRPostViewController* post = root()->currentPostViewController();
    auto* canvas = qobject_cast<PLRPostCanvasViewController*>(post->layoutViewController());
    ASSERT_TRUE(canvas);
    EXPECT_EQ(PLRSupportChatButton::shared(), chat);
    expectInCorner(canvas->view(), canvas->canvas()->widget());

    root()->moveHome(true);
    finishAnimations();
    expectInCorner(root()->homeViewController()->view(), nullptr);
}

// The keyboard follows the user from home into a post, onto its canvas (home, hidden under the
// post, handed it on to the next control: the chat's button); Tab then goes round the post as
// it shows, the chat last: the title bar, the post's panes, the chat and the title bar again. (Home and the chat joined the window before the post was made, so Qt's
// own order put the chat right after the title bar.) Home's round ends with the chat too.
TEST_F(ShellTest, TheKeyboardFollowsIntoThePostWhereTabGoesRoundWithTheSupportChatLast)
{
    prepareExistingStore();
    signInDemo();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    finishAnimations();
    PLRPersistantPost* post = addPost(QStringLiteral("Keys"));
    QWidget* window = app->baseWindowController()->window();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    PLRSupportChatButton* chat = PLRSupportChatButton::shared();
    ASSERT_TRUE(chat);
    const auto press = [](bool forward) {
        QWidget* focused = QApplication::focusWidget();
        if (!focused)
            return focused;
        QKeyEvent tab(QEvent::KeyPress, forward ? Qt::Key_Tab : Qt::Key_Backtab, forward ? Qt::NoModifier : Qt::ShiftModifier);
        QApplication::sendEvent(focused, &tab);
        testing_support::drainEvents();
        return QApplication::focusWidget();
    };
    const auto name = [](QWidget* widget) {
        return widget ? QStringLiteral("%1 %2").arg(widget->metaObject()->className(), widget->objectName()).toStdString()
                      : std::string("nothing");
    };

    PLRHomeViewController* home = root()->homeViewController();
    home->postCollectionView()->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(press(true), chat->button());
    EXPECT_TRUE(home->view()->isAncestorOf(press(true)));

    // Opened from home with the keyboard on its grid (as Return on a tile opens it).
    home->postCollectionView()->setFocus(Qt::TabFocusReason);
    root()->presentPost(post);
    finishAnimations();
    PLRPostViewController* shown = root()->currentPostViewController();
    ASSERT_TRUE(shown);
    auto* canvas = qobject_cast<PLRPostCanvasViewController*>(shown->layoutViewController());
    ASSERT_TRUE(canvas);
    EXPECT_TRUE(canvas->canvas()->widget()->isAncestorOf(QApplication::focusWidget())) << name(QApplication::focusWidget());

    // Round from the title bar's first stop back to it.
    QWidget* start = app->baseWindowController()->homeButton();
    start->setFocus(Qt::TabFocusReason);
    QList<QWidget*> round;
    for (QWidget* at = press(true); at && at != start && round.size() < 300; at = press(true))
        round << at;
    std::string order;
    for (QWidget* at : std::as_const(round))
        order += name(at) + "\n";
    const auto firstIn = [&](QWidget* pane) {
        for (qsizetype i = 0; i < round.size(); ++i)
            if (pane->isAncestorOf(round.at(i)))
                return i;
        return qsizetype(-1);
    };
    ASSERT_FALSE(round.isEmpty());
    EXPECT_EQ(round.back(), chat->button()) << order;
    EXPECT_EQ(round.count(chat->button()), 1) << order;
    EXPECT_GE(firstIn(canvas->canvas()->widget()), 0) << order;
    start->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(press(false), chat->button());

    // Home again from the canvas (View > Home): home's first stop takes the keyboard.
    canvas->canvas()->widget()->setFocus(Qt::TabFocusReason);
    root()->moveHome(true);
    finishAnimations();
    QWidget* back = QApplication::focusWidget();
    EXPECT_TRUE(back && back != chat->button() && home->view()->isAncestorOf(back)) << name(back);
}

// A new post made from its sheet by the keyboard: once its photos are in, its canvas has the
// keyboard, as a post opened from home has it (the sheet that had it was gone, and the window's
// next activation put it on the title bar's Home button, where Space left the post). Preferences,
// opened over it and closed with Escape, gives it back to the canvas.
TEST_F(ShellTest, ANewPostsCanvasHasTheKeyboardAndHasItBackFromPreferences)
{
    prepareExistingStore();
    signInDemo();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    finishAnimations();
    QWidget* window = app->baseWindowController()->window();
    window->activateWindow();
    ASSERT_TRUE(waitFor([window] { return QApplication::activeWindow() == window; }));
    const auto name = [](QWidget* widget) {
        std::string text;
        for (QWidget* w = widget; w; w = w->parentWidget())
            text += QStringLiteral("%1 %2 < ").arg(w->metaObject()->className(), w->objectName()).toStdString();
        return widget ? text : std::string("nothing");
    };
    const auto press = [](int key) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_TRUE(target);
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(target, &release);
    };

    root()->presentNewPost();
    finishAnimations();
    PLRPostViewController* post = root()->currentPostViewController();
    ASSERT_TRUE(post && post->prepViewController());
    PLRPrepViewController* sheet = post->prepViewController();
    sheet->titleTextField()->setStringValue(QStringLiteral("Harbour"));
    sheet->setDirectoryWatch(
        QUrl::fromLocalFile(testing_support::writePhotoFolder(testing_support::plainPhotos(2), QStringLiteral("harbour"))));
    sheet->doneButton()->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Space);
    ASSERT_TRUE(waitFor([post] { return post->prepHasClosed(); }));
    finishAnimations();
    testing_support::drainEvents();   // the sheet deleted
    EXPECT_EQ(post->prepViewController(), nullptr);
    auto* canvas = qobject_cast<PLRPostCanvasViewController*>(post->layoutViewController());
    ASSERT_TRUE(canvas);
    QWidget* canvasWidget = canvas->canvas()->widget();
    EXPECT_TRUE(canvasWidget->isAncestorOf(QApplication::focusWidget())) << name(QApplication::focusWidget());

    // Preferences over it, closed with Escape: the keyboard is back on the canvas.
    QWidget* had = QApplication::focusWidget();
    app->showPrefs();
    QWidget* preferences = app->settingsWindowController()->window();
    ASSERT_TRUE(waitFor([preferences] { return QApplication::activeWindow() == preferences; }));
    press(Qt::Key_Escape);
    ASSERT_TRUE(waitFor([preferences] { return !preferences->isVisible(); }));
    ASSERT_TRUE(waitFor([window] { return QApplication::activeWindow() == window; }));
    EXPECT_EQ(QApplication::focusWidget(), had) << name(QApplication::focusWidget());
    EXPECT_TRUE(canvasWidget->isAncestorOf(QApplication::focusWidget())) << name(QApplication::focusWidget());
    // Space there leaves the user in the post.
    press(Qt::Key_Space);
    finishAnimations();
    EXPECT_EQ(root()->currentPostViewController(), post);
    EXPECT_FALSE(root()->isPresentingHome());
}

TEST_F(ShellTest, FirstRunWelcomesBeforeHomeAndStaysBehindTheNewPost)
{
    launch();   // a fresh store: the first run
    signInThroughForm(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    ASSERT_TRUE(waitFor([this] { return !root()->isShowingAuth(); }));
    finishAnimations();
    ASSERT_TRUE(waitFor([this] { return root()->firstTimeWelcomeViewController() != nullptr; }));
    PLRFirstTimeWelcomeViewController* welcome = root()->firstTimeWelcomeViewController();
    EXPECT_FALSE(root()->isPresentingHome());
    EXPECT_EQ(welcome->welcomeTextField()->stringValue(), PLRFirstTimeWelcomeViewController::defaultGreeting());

    // The button asks for the new post before it finishes the welcome.
    bool postShownAtCompletion = false;
    auto original = welcome->firstTimeWelcomeCompletionBlock();
    welcome->setFirstTimeWelcomeCompletionBlock([this, original, &postShownAtCompletion] {
        postShownAtCompletion = root()->currentPostViewController() != nullptr;
        original();
    });
    welcome->createPostButton()->performClick();
    EXPECT_TRUE(postShownAtCompletion);
    EXPECT_TRUE(root()->finishedWelcome());
    finishAnimations();
    EXPECT_TRUE(root()->currentPostViewController()->isShowingNewPostForm());
    // The welcome stays behind the new post until home is presented again, hidden: its button
    // is no Tab stop under the post.
    EXPECT_NE(root()->firstTimeWelcomeViewController(), nullptr);
    EXPECT_FALSE(welcome->createPostButton()->isVisible());
    root()->currentPostViewController()->cancelButton()->performClick();
    finishAnimations();
    EXPECT_TRUE(root()->isPresentingHome());
    EXPECT_EQ(root()->firstTimeWelcomeViewController(), nullptr);
}

TEST_F(ShellTest, APostArrivingWhileTheWelcomeShowsTakesTheUserHome)
{
    launch();   // a fresh store: the first run
    signInThroughForm(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    ASSERT_TRUE(waitFor([this] { return !root()->isShowingAuth(); }));
    finishAnimations();
    ASSERT_TRUE(waitFor([this] { return root()->firstTimeWelcomeViewController() != nullptr; }));
    // Another change of the posts with none in the account keeps the welcome.
    platform::NotificationCenter::defaultCenter().post(QLatin1String(kPLR_POSTS_WERE_UPDATED));
    letTimePass(0.05);
    EXPECT_NE(root()->firstTimeWelcomeViewController(), nullptr);
    EXPECT_FALSE(root()->isPresentingHome());

    // A post file was imported (the importer announces the account's posts changed).
    addPost(QStringLiteral("Imported"));
    platform::NotificationCenter::defaultCenter().post(QLatin1String(kPLR_POSTS_WERE_UPDATED));
    finishAnimations();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    EXPECT_TRUE(root()->finishedWelcome());
    ASSERT_TRUE(waitFor([this] { return root()->firstTimeWelcomeViewController() == nullptr; }));
}

// First run: the first post made through the menu's New Post rather than the welcome's button.
// The welcome waits behind it, and Home then leads to the post's tile, not to the welcome.
TEST_F(ShellTest, AFirstPostMadeFromTheMenuEndsTheWelcome)
{
    launch();   // a fresh store: the first run
    signInThroughForm(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    ASSERT_TRUE(waitFor([this] { return !root()->isShowingAuth(); }));
    finishAnimations();
    ASSERT_TRUE(waitFor([this] { return root()->firstTimeWelcomeViewController() != nullptr; }));
    app->newBlog();
    finishAnimations();
    ASSERT_NE(root()->currentPostViewController(), nullptr);
    // The post is made (the account's posts change while it is on screen).
    addPost(QStringLiteral("Lisbon"));
    platform::NotificationCenter::defaultCenter().post(QLatin1String(kPLR_POSTS_WERE_UPDATED));
    letTimePass(0.1);
    finishAnimations();
    EXPECT_NE(root()->currentPostViewController(), nullptr);

    app->goHome();
    finishAnimations();
    EXPECT_TRUE(root()->isPresentingHome());
    EXPECT_TRUE(root()->finishedWelcome());
    EXPECT_EQ(root()->firstTimeWelcomeViewController(), nullptr);
    EXPECT_FALSE(root()->homeViewController()->view()->isHidden());
}

// First run: the first post is made from the welcome, which stays behind it. A post file
// imported then (or any other change of the account's posts) leaves the post where it is, and
// Home, by the button or the menu, still leads home.
TEST_F(ShellTest, APostArrivingWhileTheFirstPostIsOpenLeavesHomeWorking)
{
    launch();   // a fresh store: the first run
    signInThroughForm(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    ASSERT_TRUE(waitFor([this] { return !root()->isShowingAuth(); }));
    finishAnimations();
    ASSERT_TRUE(waitFor([this] { return root()->firstTimeWelcomeViewController() != nullptr; }));
    root()->firstTimeWelcomeViewController()->createPostButton()->performClick();
    finishAnimations();
    PLRPostViewController* first = root()->currentPostViewController();
    ASSERT_NE(first, nullptr);

    // An imported post file: the importer announces the account's posts changed, then the
    // connection check comes round again.
    addPost(QStringLiteral("Imported"));
    platform::NotificationCenter::defaultCenter().post(QLatin1String(kPLR_POSTS_WERE_UPDATED));
    PLRWebServiceManager::globalManager().handlePossibleConnectionChange();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
    letTimePass(0.1);
    finishAnimations();
    EXPECT_EQ(root()->currentPostViewController(), first);
    EXPECT_FALSE(root()->isPresentingHome());
    EXPECT_TRUE(root()->homeViewController() == nullptr || root()->homeViewController()->view()->isHidden());

    // View > Home.
    app->goHome();
    finishAnimations();
    EXPECT_TRUE(root()->isPresentingHome());
    EXPECT_EQ(root()->currentPostViewController(), nullptr);
    EXPECT_FALSE(root()->homeViewController()->view()->isHidden());
    EXPECT_EQ(root()->firstTimeWelcomeViewController(), nullptr);

    // And again after opening a post: the title bar's Home button.
    root()->presentPost(PLRCoreManager::userSession()->account()->currentPosts().front());
    finishAnimations();
    ASSERT_NE(root()->currentPostViewController(), nullptr);
    platform::NotificationCenter::defaultCenter().post(QLatin1String(kPLR_POSTS_WERE_UPDATED));
    app->baseWindowController()->homeButton()->performClick();
    finishAnimations();
    EXPECT_TRUE(root()->isPresentingHome());
    EXPECT_EQ(root()->currentPostViewController(), nullptr);
}

// Tab and Shift+Tab go round the new-post sheet's own controls, each showing where the
// keyboard is; none lands on the post covered by the sheet.
TEST_F(ShellTest, TabStaysInTheNewPostSheet)
{
    prepareExistingStore();
    signInDemo();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    finishAnimations();
    root()->presentNewPost();
    finishAnimations();
    PLRPostViewController* post = root()->currentPostViewController();
    ASSERT_TRUE(post && post->isShowingNewPostForm());
    PLRPrepViewController* sheet = post->prepViewController();
    ASSERT_NE(sheet, nullptr);
    app->baseWindowController()->window()->activateWindow();
    sheet->titleTextField()->editor()->setFocus(Qt::OtherFocusReason);
    const auto press = [](int key, Qt::KeyboardModifiers modifiers) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_TRUE(target);
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(target, &event);
        testing_support::drainEvents();
    };
    QList<QWidget*> stops;
    for (int i = 0; i < 12; ++i) {
        press(Qt::Key_Tab, Qt::NoModifier);
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr) << i;
        EXPECT_TRUE(sheet->view()->isAncestorOf(focused)) << i << " " << focused->metaObject()->className();
        EXPECT_TRUE(focused->isVisible()) << i;
        if (!stops.contains(focused))
            stops << focused;
    }
    EXPECT_TRUE(stops.contains(sheet->doneButton()));
    EXPECT_TRUE(stops.contains(sheet->cancelButton()));
    EXPECT_TRUE(stops.contains(static_cast<QWidget*>(sheet->titleTextField()->editor())));
    EXPECT_LE(stops.size(), 5);
    // Back from the name field: the sheet's last control, Create Post.
    sheet->titleTextField()->editor()->setFocus(Qt::OtherFocusReason);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), sheet->doneButton());
}

// What is typed while a new post slides up is for its sheet: a name typed then (it went into the
// home screen's search field) lands in the sheet's name field, and an Escape pressed at once
// closes the sheet as a later one does (it was lost, and a second Escape was needed).
TEST_F(ShellTest, KeysTypedWhileTheNewPostSheetOpensReachTheSheet)
{
    prepareExistingStore();
    signInDemo();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    finishAnimations();
    PLRHomeViewController* home = root()->homeViewController();
    ASSERT_NE(home, nullptr);
    app->baseWindowController()->window()->activateWindow();
    // Keys go where the keyboard is, as a keyboard's do.
    const auto type = [](int key, const QString& text) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_TRUE(target);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QApplication::sendEvent(target, &release);
    };

    home->searchTextField()->editor()->setFocus(Qt::OtherFocusReason);
    root()->presentNewPost();
    platform::ui::AnimationClock::shared().advance(0.1);   // the post on its way up
    // (Fast typing: more keys than a few dozen presses and releases.)
    const QString name = QStringLiteral("LISBONINAUTUMNWALKINGTHEHILLSTWICEOVER");
    for (const QChar c : name)
        type(Qt::Key_A + (c.unicode() - 'A'), QString(c));
    finishAnimations();
    PLRPostViewController* post = root()->currentPostViewController();
    ASSERT_TRUE(post && post->prepViewController());
    EXPECT_EQ(post->prepViewController()->documentTitle(), name);
    EXPECT_TRUE(home->searchTextField()->stringValue().isEmpty());

    // Escape while the sheet is opening: the sheet closes, home again.
    type(Qt::Key_Escape, QString());
    finishAnimations();
    finishAnimations();
    ASSERT_TRUE(root()->isPresentingHome());
    home->searchTextField()->editor()->setFocus(Qt::OtherFocusReason);
    root()->presentNewPost();
    platform::ui::AnimationClock::shared().advance(0.1);
    type(Qt::Key_Escape, QString());
    finishAnimations();
    finishAnimations();
    EXPECT_TRUE(root()->isPresentingHome());
    EXPECT_EQ(root()->currentPostViewController(), nullptr);
    // Keys typed afterwards go where they are typed again.
    home->searchTextField()->editor()->setFocus(Qt::OtherFocusReason);
    type(Qt::Key_X, QStringLiteral("x"));
    EXPECT_EQ(home->searchTextField()->stringValue(), QStringLiteral("x"));
}

TEST_F(ShellTest, WelcomeGreetsByNameOnlyWithBothNames)
{
    prepareExistingStore();
    signInDemo();
    PLRPersistantAccount* account = PLRCoreManager::userSession()->account();
    account->setFirstName(QStringLiteral("Ada"));
    account->setLastName(QString());
    PLRFirstTimeWelcomeViewController partial;
    partial.view();
    EXPECT_EQ(partial.welcomeTextField()->stringValue(), PLRFirstTimeWelcomeViewController::defaultGreeting());
    account->setLastName(QStringLiteral("Lovelace"));
    PLRFirstTimeWelcomeViewController full;
    full.view();
    EXPECT_EQ(full.welcomeTextField()->stringValue(), QStringLiteral("Welcome to Pellora Publish, Ada Lovelace"));
    // Without a completion block the button still asks for a new post (nothing to show it in here).
    full.createPostButton()->performClick();
}

// Signs the demo user in with the account in the given status: the application shows one alert,
// "Account Locked" with a single "Ok" (answered here), and quits. Gives that alert.
class LockedAccountTest : public ShellTest {
protected:
    platform::Alert signInLocked(int status)
    {
        service.control("POST", QStringLiteral("/__control/me"),
                        {{QStringLiteral("email"), testing_support::DevService::demoEmail()},
                         {QStringLiteral("account"), QJsonObject{{QStringLiteral("status"), status}}}});
        alerts().enqueue(platform::kAlertFirstButtonReturn);
        launch();
        signInThroughForm(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
        EXPECT_TRUE(waitFor([this] { return exited; }, 10000));
        if (alerts().shown().size() != 1u) {
            ADD_FAILURE() << alerts().shown().size() << " alerts shown";
            return {};
        }
        const platform::Alert alert = alerts().shown().front();
        EXPECT_EQ(alert.messageText, QStringLiteral("Account Locked"));
        EXPECT_EQ(alert.buttons, QStringList{QStringLiteral("Ok")});
        return alert;
    }
};

TEST_F(LockedAccountTest, ALockedAccountQuitsWithoutTheDueBackupQuestion)
{
    prepareExistingStore();
    ASSERT_FALSE(PLRDefaults::shouldSupressNotifyOfExport());   // the question would be due
    EXPECT_EQ(signInLocked(64).informativeText,
              QStringLiteral("Your Account is currently parked. You can re-activate your account at https://account.pellora.app"));
    EXPECT_FALSE(app->performedBackupQuery());
    EXPECT_EQ(exitCode, 0);
}

TEST_F(LockedAccountTest, AnAccountPendingDeletionSaysWhereToReactivateIt)
{
    prepareExistingStore();
    EXPECT_EQ(signInLocked(32).informativeText,
              QStringLiteral("Your Account is pending deletion. You can re-activate your account at https://account.pellora.app"));
}

// Locked for any other reason (here status 2): the user is told to write to support.
TEST_F(LockedAccountTest, ADisabledAccountIsToldToWriteToSupport)
{
    prepareExistingStore();
    EXPECT_EQ(signInLocked(2).informativeText,
              QStringLiteral("Your account has been temporarily disabled due to suspicious activity. Please reach out to "
                             "support@pellora.app immediatly to fix this."));
}

TEST_F(ShellTest, EveryNewSessionIsWatched)
{
    prepareExistingStore();
    launch();
    signInThroughForm(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    // Sign out, lock the account, sign in again: the second session's machine is followed too.
    PLRCoreManager::signOut();
    finishAnimations();
    service.control("POST", QStringLiteral("/__control/me"),
                    {{QStringLiteral("email"), testing_support::DevService::demoEmail()},
                     {QStringLiteral("account"), QJsonObject{{QStringLiteral("status"), 32}}}});
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    signInThroughForm(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    ASSERT_TRUE(waitFor([this] { return exited; }, 10000));
    ASSERT_EQ(alerts().shown().size(), 1u);
    EXPECT_EQ(alerts().shown().front().messageText, QStringLiteral("Account Locked"));
}

TEST_F(ShellTest, GoingHomeShowsTheLeftPostsCurrentPreview)
{
    prepareExistingStore();
    signInDemo();
    PLRCoreManager::setUserSession(nullptr);
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    PLRPersistantPost* post = addPost(QStringLiteral("Lakes"));
    root()->presentPost(post);
    finishAnimations();
    ASSERT_NE(root()->currentPostViewController(), nullptr);

    // The renderer draws what the layout holds now; nothing was saved since the post opened.
    QImage drawn(40, 30, QImage::Format_RGB32);
    drawn.fill(Qt::darkBlue);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    drawn.save(&buffer, "JPEG");
    int renders = 0;
    platform::HookGuard<PLRPersistantPost::PreviewProvider> guard(&PLRPersistantPost::setPreviewProvider,
                                                                  [&](PLRPersistantPost&) {
                                                                      ++renders;
                                                                      return jpeg;
                                                                  });
    root()->moveHome(false);
    EXPECT_EQ(renders, 1);
    EXPECT_EQ(post->layoutPreview().size(), QSize(40, 30));
}

TEST_F(ShellTest, NavigationDuringAScreenChangeWaitsForItAndNeverLeavesHomeDead)
{
    prepareExistingStore();
    signInDemo();
    PLRCoreManager::setUserSession(nullptr);
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    PLRPersistantPost* first = addPost(QStringLiteral("First"));
    PLRPersistantPost* second = addPost(QStringLiteral("Second"));
    root()->presentPost(first);
    finishAnimations();
    ASSERT_NE(root()->currentPostViewController(), nullptr);

    // Home, then a tile a moment later, while home still slides in.
    root()->moveHome(true);
    platform::ui::AnimationClock::shared().advance(0.1);
    root()->presentPost(second);
    finishAnimations();
    finishAnimations();
    ASSERT_NE(root()->currentPostViewController(), nullptr);
    EXPECT_EQ(root()->currentPostManager()->representedPost(), second);
    EXPECT_FALSE(root()->isPresentingHome());
    EXPECT_FALSE(root()->isNavigating());
    EXPECT_TRUE(PLRVisualStateHandler::globalHandler().postHeaderVisible());

    // Home works afterwards.
    root()->moveHome(true);
    finishAnimations();
    EXPECT_TRUE(root()->isPresentingHome());
    EXPECT_EQ(root()->currentPostViewController(), nullptr);
    EXPECT_FALSE(PLRVisualStateHandler::globalHandler().postHeaderVisible());

    // A post, then Home while the post still slides up: home it is, without the post's header.
    root()->presentPost(first);
    platform::ui::AnimationClock::shared().advance(0.1);
    root()->moveHome(true);
    finishAnimations();
    finishAnimations();
    EXPECT_TRUE(root()->isPresentingHome());
    EXPECT_EQ(root()->currentPostViewController(), nullptr);
    EXPECT_FALSE(PLRVisualStateHandler::globalHandler().postHeaderVisible());
    EXPECT_FALSE(root()->homeViewController()->view()->isHidden());

    // The same post again from home, then another post.
    root()->presentPost(first);
    root()->presentPost(second);
    finishAnimations();
    finishAnimations();
    EXPECT_EQ(root()->currentPostManager()->representedPost(), second);
    EXPECT_FALSE(root()->isNavigating());
}

// A click on the title bar's Home button while a post opens is not lost: it is carried out
// when the screen change ends, however soon after the tile it came.
TEST_F(ShellTest, AHomeClickRightAfterATileClickLeadsHomeOnceThePostIsIn)
{
    prepareExistingStore();
    signInDemo();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    finishAnimations();
    PLRPersistantPost* post = addPost(QStringLiteral("Opened"));
    PLRTitleBarButton* home = app->baseWindowController()->homeButton();
    EXPECT_FALSE(home->isEnabled());   // nothing to leave yet
    for (const double delay : {0.0, 0.1, 0.2, 0.3, 0.4}) {
        root()->homeViewController()->activateItemAtIndex(root()->homeViewController()->postCollectionView(), 1);
        ASSERT_NE(root()->currentPostViewController(), nullptr) << delay;
        platform::ui::AnimationClock::shared().advance(delay);
        platform::ui::dispatch::sendMouse(home, QEvent::MouseButtonPress, QPointF(14, 14));
        platform::ui::dispatch::sendMouse(home, QEvent::MouseButtonRelease, QPointF(14, 14));
        finishAnimations();
        finishAnimations();
        EXPECT_TRUE(root()->isPresentingHome()) << delay;
        EXPECT_EQ(root()->currentPostViewController(), nullptr) << delay;
        EXPECT_FALSE(root()->isNavigating()) << delay;
        EXPECT_FALSE(PLRVisualStateHandler::globalHandler().postHeaderVisible()) << delay;
        EXPECT_FALSE(home->isEnabled()) << delay;
    }
    ASSERT_EQ(root()->homeViewController()->tabList().value(0), post);
}

TEST_F(ShellTest, EveryTileShowsItsOwnPostsCurrentPreviewAfterNewPostIsCancelledOrAnotherPostOpened)
{
    prepareExistingStore();
    signInDemo();
    PLRCoreManager::setUserSession(nullptr);
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    // The renderer draws each post in a colour of its own; a change of the colour stands for
    // an edit of its layout that no save has rendered yet.
    QHash<QString, QColor> drawn{{"Alps", Qt::red}, {"Canyon", Qt::blue}};
    platform::HookGuard<PLRPersistantPost::PreviewProvider> guard(&PLRPersistantPost::setPreviewProvider,
                                                                  [&](PLRPersistantPost& post) {
                                                                      QImage image(400, 1200, QImage::Format_RGB32);
                                                                      image.fill(drawn.value(post.name(), Qt::black));
                                                                      QByteArray jpeg;
                                                                      QBuffer buffer(&jpeg);
                                                                      buffer.open(QIODevice::WriteOnly);
                                                                      image.save(&buffer, "JPEG");
                                                                      return jpeg;
                                                                  });
    PLRPersistantPost* alps = addPost(QStringLiteral("Alps"));
    PLRPersistantPost* canyon = addPost(QStringLiteral("Canyon"));
    // Every tile on home shows the preview drawn last for its own post.
    const auto tilesShowTheirPosts = [&] {
        PLRCollectionView* collection = root()->homeViewController()->postCollectionView();
        QStringList wrong;
        int checked = 0;
        for (qint64 i = 0; i < collection->numberOfItems(); ++i) {
            auto* tile = qobject_cast<PLRRecentCollectionViewItem*>(collection->itemAtIndex(i));
            if (!tile || !tile->representedPost())
                continue;
            ++checked;
            const QImage& image = tile->imageContainerView()->representedImage();
            const QColor shown = image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
            const QColor wanted = drawn.value(tile->representedPost()->name());
            if (std::abs(shown.red() - wanted.red()) > 8 || std::abs(shown.green() - wanted.green()) > 8
                || std::abs(shown.blue() - wanted.blue()) > 8)
                wrong << tile->representedPost()->name() + QStringLiteral(" shows ") + shown.name();
        }
        if (checked != 2)
            wrong << QStringLiteral("%1 post tiles").arg(checked);
        return wrong.join(QStringLiteral("; ")).toStdString();
    };
    const auto openAndEdit = [&](PLRPersistantPost* post, const QColor& colour) {
        root()->presentPost(post);
        finishAnimations();
        ASSERT_EQ(root()->currentPostManager()->representedPost(), post);
        drawn[post->name()] = colour;
    };
    openAndEdit(alps, Qt::red);
    root()->presentPost(canyon);
    finishAnimations();
    root()->moveHome(true);
    finishAnimations();
    EXPECT_EQ(tilesShowTheirPosts(), "");

    // New Post from a post just edited, then Cancel: home shows the edit on the post's tile.
    openAndEdit(canyon, Qt::yellow);
    root()->presentNewPost();
    finishAnimations();
    ASSERT_NE(root()->currentPostViewController(), nullptr);
    ASSERT_NE(root()->currentPostViewController()->cancelButton(), nullptr);
    root()->currentPostViewController()->cancelButton()->performClick();
    finishAnimations();
    finishAnimations();
    ASSERT_TRUE(root()->isPresentingHome());
    EXPECT_EQ(tilesShowTheirPosts(), "");

    // One post edited, then another opened from the post chooser, then home: both are current.
    openAndEdit(alps, Qt::green);
    root()->presentPost(canyon);
    finishAnimations();
    drawn[canyon->name()] = Qt::magenta;
    root()->moveHome(true);
    finishAnimations();
    EXPECT_EQ(tilesShowTheirPosts(), "");
}
