#pragma once

#include "platform/NotificationCenter.h"
#include "platform-ui/Controls.h"
#include "shell/PLRAnimationContext.h"
#include "platform-ui/PLRViewController.h"
#include "shell/PLRRootView.h"

#include <QHash>
#include <QList>
#include <QPointer>

class PLRAuthViewController;
class PLRBaseWindowController;
class PLRFirstTimeWelcomeViewController;
class PLRHomeViewController;
class PLRPersistantPost;
class PLRPostManager;
class PLRPostViewController;
class PLRWebServiceUserManager;

// The content of the main window below the title bar: exactly one of sign-in, the first-launch
// welcome, home or one post, with an error bar that can lie over it. It follows the connection
// machine, the user session and, once signed in, the session's user-session machine.
//
// Screens come from the storyboard "Main" by their class names ("PLRHomeViewController",
// "PLRFirstTimeWelcomeViewController", "PLRAuthViewController", "PLRPostViewController"), so a
// fuller screen registered under the same name takes the place of the one shown today.
class PLRBaseViewController : public PLRViewController {
    Q_OBJECT
public:
    explicit PLRBaseViewController(QObject* parent = nullptr);
    ~PLRBaseViewController() override;

    // Screens.
    void presentLogin();
    void presentHome(bool animate);
    void hideHome(bool animate);
    void ensureHome();
    void moveHome(bool animate);
    void presentPost(PLRPersistantPost* post);
    void presentPostId(const QString& postIdentifier);
    void presentNewPost();

    // The error bar.
    void presentErrorView(const QString& title, const QString& message, const QString& actionMessage);
    void hideErrorView();
    void handleErrorAction(QObject* sender);
    bool isShowingErrorView() const;

    void forceVersionRecheckIfEdition3UpgradeRequired();

    // The post-controller cache: one controller per post opened in this run, matched by the post's
    // identifier; never emptied.
    PLRPostViewController* getOrCreateControllerForPostManager(PLRPostManager* manager);
    const QList<PLRPostViewController*>& postViewControllers() const { return m_postViewControllers; }

    // Placement of the post and sign-in views (left, right, height) and their top edge.
    void createConstraintsForPostView(QWidget* view);
    PLRLayoutConstraint* createTopEdgeConstraintForPostView(QWidget* view, double edge);

    PLRPostViewController* currentPostViewController() const;
    // A post's screen is on the window (during a switch, the one leaving or the one coming).
    bool isShowingPost() const;
    PLRPostManager* currentPostManager() const;
    PLRBaseWindowController* baseWindowController() const;
    bool isShowingAuth() const;
    bool isPresentingHome() const { return m_presentingHome; }
    // A move between home and posts is under way; requests made meanwhile wait for its end.
    bool isNavigating() const { return m_navigationsRunning > 0; }
    bool haveSubscribedToUserSession() const { return m_haveSubscribedToUserSession; }
    bool finishedWelcome() const { return m_finishedWelcome; }
    PLRHomeViewController* homeViewController() const;
    PLRAuthViewController* authViewController() const;
    PLRFirstTimeWelcomeViewController* firstTimeWelcomeViewController() const;
    PLRLayoutConstraint* currentTopConstraint() const { return m_currentTopConstraint; }
    PLRRootView* rootView() { return static_cast<PLRRootView*>(view()); }

    // Outlets of the error bar.
    platform::ui::View* errorView() const { return m_errorView; }
    platform::ui::TextField* errorTitle() const { return m_errorTitle; }
    platform::ui::TextField* errorInfo() const { return m_errorInfo; }
    platform::ui::Button* errorButton() const { return m_errorButton; }

    // Notifications.
    void userSessionLoggedOut();
    void webServiceManagerStateChangeNotification();
    void userWebServiceManagerStateChangeNotification();

    // Drops the cached controller of a deleted post (not the one shown).
    void forgetPostController(const QString& postIdentifier);
    // The post export command applies while a post is shown.
    void setImportExportPostsEnabled(bool enabled);

    // Watches the user-session machine of the current session (again for every new session).
    void ensureUserSessionSubscription();

    // The account alert's informative text for a remote account status.
    static QString accountLockedText(qint64 status);
    static constexpr double kScreenAnimationDuration = 0.35;

signals:
    // The post shown (or on its way in) changed.
    void currentPostChanged();

protected:
    platform::ui::View* loadView() override;
    void viewDidLoad() override;

private:
    void handleConnectionState();
    void presentOutdatedVersionAlert();
    void requestForcedQuit();
    static void runScreenGroup(const std::function<void(PLRAnimationContext&)>& changes,
                               std::function<void()> completion = {});
    template <class T> T* instantiateScene(const char* identifier);
    void addScreen(PLRViewController* controller);
    void setCurrentPostController(PLRPostViewController* controller);
    // When nothing visible has the keyboard after a screen change (the view that had it went),
    // the shown screen's first Tab stop takes it.
    void giveKeyboardFocusToShownScreen();
    // Whether the widget with the keyboard lies in the screen.
    bool keyboardIsIn(const QWidget* screen) const;
    // Navigation between home and posts, one move at a time: a request that arrives while a
    // move runs is queued and runs, in order, when it has ended.
    bool deferNavigation(std::function<void()> request);
    void beginNavigation();
    std::function<void()> navigationEnd();
    // The post a screen leaves shows its current layout on its home tile, not the one of its
    // last save (a save may be seconds away).
    void hideFinishedWelcome();
    static void refreshPreviewOfPostLeft(PLRPostViewController* controller);

    QPointer<platform::ui::View> m_errorView;
    QPointer<platform::ui::TextField> m_errorTitle;
    QPointer<platform::ui::TextField> m_errorInfo;
    QPointer<platform::ui::Button> m_errorButton;
    bool m_finishedWelcome = false;
    QPointer<PLRAuthViewController> m_authViewController;
    QPointer<PLRPostViewController> m_currentPostController;
    int m_navigationsRunning = 0;
    // Set while moveHome brings home in place of the post it removes.
    bool m_postLeavingForHome = false;
    QList<std::function<void()>> m_pendingNavigation;
    QPointer<PLRLayoutConstraint> m_currentTopConstraint;
    bool m_presentingHome = false;
    bool m_haveSubscribedToUserSession = false;
    QPointer<PLRWebServiceUserManager> m_subscribedUserManager;
    QPointer<PLRFirstTimeWelcomeViewController> m_firstTimeWelcomeViewController;
    QList<PLRPostViewController*> m_postViewControllers;
    QPointer<PLRHomeViewController> m_homeViewController;
    bool m_showingOutdatedAlert = false;
    bool m_showingAccountAlert = false;
    QObject m_observer;
};
