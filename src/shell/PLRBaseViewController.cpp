#include "shell/PLRBaseViewController.h"
#include "shell/PLRKeyHold.h"

#include "shell/AppDelegate.h"
#include "platform/Alert.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Storyboard.h"
#include "platform/UserDefaults.h"
#include "platform-ui/Fonts.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"
#include "shell/PLRAuthViewController.h"
#include "shell/PLRBaseWindowController.h"
#include "shell/PLRFirstTimeWelcomeViewController.h"
#include "shell/PLRShellScreens.h"
#include "shell/PLRShellNotifications.h"
#include "shell/PLRUpdater.h"
#include "canvas/interaction/PLRVisualStateHandler.h"
#include "services/web-services/PLRWebServiceAccount.h"
#include "services/web-services/PLRWebServiceManager.h"
#include "services/web-services/PLRWebServiceUserManager.h"

#if __has_include("shell/home/PLRShellHooks.h")
#include "shell/home/PLRShellHooks.h"
#define PLR_HAS_SHELL_HOOKS 1
#endif

#include <QApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

using namespace platform::ui;

namespace {

constexpr auto kAccountWebsite = "https://account.pellora.app";
constexpr auto kSupportEmail = "support@pellora.app";

} // namespace

// ---------------------------------------------------------------- controller

PLRBaseViewController::PLRBaseViewController(QObject* parent) : PLRViewController(parent) {}

PLRBaseViewController::~PLRBaseViewController()
{
    PLRWebServiceManager::globalManager().removeStateChangeNotificationHandler(&m_observer);
    if (m_subscribedUserManager)
        m_subscribedUserManager->removeStateChangeNotificationHandler(&m_observer);
    platform::NotificationCenter::defaultCenter().removeObserver(&m_observer);
}

View* PLRBaseViewController::loadView()
{
    auto* root = new PLRRootView;
    root->resize(1024, 700);

    auto* bar = new PLRErrorBarView(root);
    bar->setIdentifier(QStringLiteral("errorView"));
    m_errorView = bar;
    m_errorTitle = TextField::labelWithString(QString(), bar);
    m_errorTitle->setFont(boldSystemFont(14));
    m_errorTitle->setTextColor(Color(0.55, 0.1, 0.1));
    m_errorInfo = TextField::labelWithString(QString(), bar);
    m_errorInfo->setFont(systemFont(12));
    m_errorInfo->setTextColor(Color(0.35, 0.2, 0.2));
    m_errorButton = Button::withTitle(QString(), this, [this](Control* sender) { handleErrorAction(sender); }, bar);
    m_errorButton->setMinimumWidth(110);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(m_errorTitle);
    texts->addWidget(m_errorInfo);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(20, 8, 20, 8);
    row->addLayout(texts, 1);
    row->addWidget(m_errorButton, 0, Qt::AlignVCenter);
    bar->hide();
    root->setErrorView(bar);
    return root;
}

void PLRBaseViewController::viewDidLoad()
{
    m_presentingHome = false;
    m_haveSubscribedToUserSession = false;
    PLRWebServiceManager::globalManager().addStateChangeNotificationHandler(
        &m_observer, [this](const platform::Notification&) { webServiceManagerStateChangeNotification(); });
    // A first verdict that keeps NO_INTERNET changes no state but is news all the same (any
    // other verdict arrives as a change of state).
    platform::NotificationCenter::defaultCenter().addObserver(
        &m_observer, QString::fromLatin1(PLRWebServiceManagerDidGetConnectionVerdictNotification),
        [this](const platform::Notification&) {
            const PLRFiniteStatePtr state = PLRWebServiceManager::globalManager().currentState();
            if (state && state->name() == QLatin1String(PLRWSM_STATE_NO_INTERNET))
                webServiceManagerStateChangeNotification();
        });
    platform::NotificationCenter::defaultCenter().addObserver(
        &m_observer, QString::fromLatin1(kPLRUserSessionLoggedOutNotification),
        [this](const platform::Notification&) { userSessionLoggedOut(); });
}

void PLRBaseViewController::setImportExportPostsEnabled(bool enabled)
{
    if (auto* app = AppDelegate::shared())
        app->setImportExportPostsEnabled(enabled);
#ifdef PLR_HAS_SHELL_HOOKS
    if (enabled)
        PLRShellHooks::enableImportExportPosts();
    else
        PLRShellHooks::disableImportExportPosts();
#endif
}

void PLRBaseViewController::forgetPostController(const QString& postIdentifier)
{
    // A deleted post's controller is dropped, unless it is the one shown.
    for (int i = m_postViewControllers.size() - 1; i >= 0; --i) {
        PLRPostViewController* controller = m_postViewControllers.at(i);
        PLRPostManager* manager = controller->postManager();
        PLRPersistantPost* post = manager ? manager->representedPost() : nullptr;
        const bool gone = !manager || (post && post->identifier() == postIdentifier);
        if (gone && controller != m_currentPostController) {
            m_postViewControllers.removeAt(i);
            controller->deleteLater();
        }
    }
}

template <class T> T* PLRBaseViewController::instantiateScene(const char* identifier)
{
    QObject* object = platform::Storyboard::instantiate(QLatin1String(kPLRMainStoryboard), QLatin1String(identifier));
    T* controller = qobject_cast<T*>(object);
    if (!controller) {
        PLR_LOG_ERROR(QStringLiteral("The scene \"%1\" is not a %2").arg(QLatin1String(identifier), QLatin1String(T::staticMetaObject.className())));
        delete object;
        return nullptr;
    }
    controller->setParent(this);
    return controller;
}

void PLRBaseViewController::runScreenGroup(const std::function<void(PLRAnimationContext&)>& changes,
                                           std::function<void()> completion)
{
    PLRAnimationContext::runAnimationGroup(
        [&changes](PLRAnimationContext& context) {
            context.setDuration(kScreenAnimationDuration);
            context.setTimingFunction(TimingFunction::easeOut());
            changes(context);
        },
        std::move(completion));
}

bool PLRBaseViewController::deferNavigation(std::function<void()> request)
{
    if (m_navigationsRunning == 0)
        return false;
    m_pendingNavigation.append(std::move(request));
    return true;
}

void PLRBaseViewController::beginNavigation()
{
    ++m_navigationsRunning;
}

std::function<void()> PLRBaseViewController::navigationEnd()
{
    QPointer<PLRBaseViewController> self(this);
    return [self] {
        if (!self || self->m_navigationsRunning == 0)
            return;
        --self->m_navigationsRunning;
        while (self && self->m_navigationsRunning == 0 && !self->m_pendingNavigation.isEmpty()) {
            const std::function<void()> next = self->m_pendingNavigation.takeFirst();
            next();
        }
    };
}

// ---------------------------------------------------------------- error bar

void PLRBaseViewController::presentErrorView(const QString& title, const QString& message, const QString& actionMessage)
{
    view();
    m_errorTitle->setStringValue(title);
    m_errorInfo->setStringValue(message);
    m_errorButton->setTitle(actionMessage);
    m_errorView->setHidden(false);
    m_errorView->raise();
}

void PLRBaseViewController::hideErrorView()
{
    if (m_errorView)
        m_errorView->setHidden(true);
}

bool PLRBaseViewController::isShowingErrorView() const
{
    return m_errorView && !m_errorView->isHidden();
}

void PLRBaseViewController::handleErrorAction(QObject*)
{
    auto& manager = PLRWebServiceManager::globalManager();
    const PLRFiniteStatePtr state = manager.currentState();
    const QString name = state ? state->name() : QString();
    if (name == QLatin1String(PLRWSM_STATE_NO_INTERNET) || name == QLatin1String(PLRWSM_STATE_SERVER_CONNECTION))
        manager.checkConnectionNow();
}

void PLRBaseViewController::forceVersionRecheckIfEdition3UpgradeRequired()
{
    if (platform::UserDefaults::standard().boolForKey(QLatin1String(kPLRForceUpgradeToEdition3Key)))
        PLRWebServiceManager::globalManager().handlePossibleConnectionChange();
}

// ---------------------------------------------------------------- notifications

void PLRBaseViewController::userSessionLoggedOut()
{
    presentLogin();
}

void PLRBaseViewController::webServiceManagerStateChangeNotification()
{
    QPointer<PLRBaseViewController> self(this);
    platform::dispatchMain([self] {
        if (self)
            self->handleConnectionState();
    });
}

void PLRBaseViewController::handleConnectionState()
{
    const PLRFiniteStatePtr state = PLRWebServiceManager::globalManager().currentState();
    if (!state)
        return;
    const QString name = state->name();
    PLRUserSession* session = PLRCoreManager::userSession();
    const bool waitingForProbe = name == QLatin1String(PLRWSM_STATE_NO_INTERNET)
                                 && !PLRWebServiceManager::globalManager().hasConnectionVerdict();
    if (name == QLatin1String(PLRWSM_STATE_CHECKING_CONNECTION)
        || name == QLatin1String(PLRWSM_STATE_CHECKING_SERVER_VERSION) || waitingForProbe) {
        PLR_LOG_INFO(QStringLiteral("CHECKING CONNECTION STATE"));
        return;
    }
    if (name == QLatin1String(PLRWSM_STATE_NO_INTERNET) || name == QLatin1String(PLRWSM_STATE_SERVER_CONNECTION)) {
        PLR_LOG_INFO(QStringLiteral("CAN'T GET TO INTERNET"));
        if (!session) {
            PLR_LOG_INFO(QStringLiteral("ERROR - NO INTERNET AND NO USER"));
            presentErrorView(QStringLiteral("Cannot reach the internet"),
                             QStringLiteral("You are not currently signed into a Pellora account, and not connected to "
                                            "the internet. Pellora needs to login before you can continue"),
                             QStringLiteral("Try Connect"));
        } else if (!m_currentPostController) {
            presentHome(false);
        }
        return;
    }
    if (name == QLatin1String(PLRWSM_STATE_OUT_OF_DATE_VERSION)) {
        QPointer<PLRBaseViewController> self(this);
        platform::dispatchMain([self] {
            if (self)
                self->presentOutdatedVersionAlert();
        });
        return;
    }
    PLR_LOG_INFO(QStringLiteral("GOT A CONNECTION"));
    if (!session) {
        presentLogin();
        return;
    }
    ensureUserSessionSubscription();
    if (!m_currentPostController)
        presentHome(false);
}

void PLRBaseViewController::ensureUserSessionSubscription()
{
    PLRUserSession* session = PLRCoreManager::userSession();
    PLRWebServiceUserManager* manager = session ? PLRWebServiceUserManager::forSession(session) : nullptr;
    if (!manager || manager == m_subscribedUserManager)
        return;
    // A new session has a machine of its own: leave the old one and follow the new one.
    if (m_subscribedUserManager)
        m_subscribedUserManager->removeStateChangeNotificationHandler(&m_observer);
    m_subscribedUserManager = manager;
    manager->addStateChangeNotificationHandler(
        &m_observer, [this](const platform::Notification&) { userWebServiceManagerStateChangeNotification(); });
    m_haveSubscribedToUserSession = true;
}

void PLRBaseViewController::presentOutdatedVersionAlert()
{
    if (m_showingOutdatedAlert)
        return;
    m_showingOutdatedAlert = true;
    platform::Alert alert;
    alert.messageText = QStringLiteral("Outdated Pellora Version");
    alert.informativeText = QStringLiteral(
        "This version of Pellora is no longer compatible with the server. To continue using Pellora you must update "
        "to the latest version. We recommend you stay updated to get the latest in features and fixes.");
    alert.buttons = {QStringLiteral("Check for update"), QStringLiteral("Quit")};
    const platform::AlertResult result = platform::runAlert(alert, view()->window());
    m_showingOutdatedAlert = false;
    if (result.response == platform::kAlertFirstButtonReturn) {
        if (PLRStandardUpdaterController* updater = PLRUpdater::updateController())
            updater->checkForUpdates(this);
        return;
    }
    requestForcedQuit();
}

QString PLRBaseViewController::accountLockedText(qint64 status)
{
    if (status == 32)
        return QStringLiteral("Your Account is pending deletion. You can re-activate your account at ")
            + QLatin1String(kAccountWebsite);
    if (status == 64)
        return QStringLiteral("Your Account is currently parked. You can re-activate your account at ")
            + QLatin1String(kAccountWebsite);
    return QStringLiteral("Your account has been temporarily disabled due to suspicious activity. Please reach out to ")
        + QLatin1String(kSupportEmail) + QStringLiteral(" immediatly to fix this.");
}

void PLRBaseViewController::userWebServiceManagerStateChangeNotification()
{
    PLRWebServiceUserManager* manager = m_subscribedUserManager;
    if (!manager)
        return;
    const PLRFiniteStatePtr state = manager->currentState();
    const QString name = state ? state->name() : QString();
    if (name != QLatin1String(PLRWSUM_STATE_ACCOUNT_LOCKED) && name != QLatin1String(PLRWSUM_STATE_ACCOUNT_PENDING_DELETION))
        return;
    if (m_showingAccountAlert)
        return;
    m_showingAccountAlert = true;
    const PLRWebServiceAccountPtr account = manager->remoteAccount();
    platform::Alert alert;
    alert.messageText = QStringLiteral("Account Locked");
    alert.informativeText = accountLockedText(account ? account->status() : 0);
    alert.buttons = {QStringLiteral("Ok")};
    platform::runAlert(alert, view()->window());
    requestForcedQuit();
}

void PLRBaseViewController::requestForcedQuit()
{
    if (AppDelegate* app = AppDelegate::shared())
        app->terminate(AppDelegate::TerminationMode::Forced);
    else
        PLR_LOG_WARN(QStringLiteral("Quit requested without an application delegate"));
}

// ---------------------------------------------------------------- screens

void PLRBaseViewController::addScreen(PLRViewController* controller)
{
    controller->viewWillAppear();
    rootView()->addSubview(controller->view());
    if (m_errorView)
        m_errorView->raise();
    controller->viewDidAppear();
}

void PLRBaseViewController::presentHome(bool animate)
{
    // Home takes the window only from a post that leaves for it: asked for while a post stays
    // on screen (a list change, the connection coming back), it would lie hidden under the post
    // and count as shown, and Home would then find nothing to leave.
    if (m_currentPostController && !m_postLeavingForHome) {
        PLR_LOG_INFO(QStringLiteral("Home asked for while a post is shown; the post stays"));
        return;
    }
    PLRRootView* root = rootView();
    // The welcome is for an account without posts: a first post made while it waited behind it
    // (through the menu's New Post rather than its own button) ends it.
    if (!m_finishedWelcome && m_firstTimeWelcomeViewController) {
        PLRUserSession* session = PLRCoreManager::userSession();
        if (session && session->account() && !session->account()->currentPosts().isEmpty())
            m_finishedWelcome = true;
    }
    if (PLRDefaults::isFirstRun() && !m_finishedWelcome
        && !(m_firstTimeWelcomeViewController && m_firstTimeWelcomeViewController->isViewLoaded()
             && m_firstTimeWelcomeViewController->view()->parentWidget() == root)) {
        auto* welcome = instantiateScene<PLRFirstTimeWelcomeViewController>("PLRFirstTimeWelcomeViewController");
        if (welcome) {
            m_firstTimeWelcomeViewController = welcome;
            QPointer<PLRBaseViewController> self(this);
            welcome->setFirstTimeWelcomeCompletionBlock([self] {
                if (self)
                    self->m_finishedWelcome = true;
            });
            addScreen(welcome);
            root->pinToEdges(welcome->view());
            return;
        }
    }
    if (m_finishedWelcome && m_firstTimeWelcomeViewController) {
        root->forget(m_firstTimeWelcomeViewController->view());
        m_firstTimeWelcomeViewController->deleteLater();
        m_firstTimeWelcomeViewController = nullptr;
    }
    hideErrorView();
    ensureHome();
    ensureUserSessionSubscription();
    if (m_presentingHome || !m_homeViewController)
        return;
    setImportExportPostsEnabled(false);
    m_presentingHome = true;
    View* home = m_homeViewController->view();
    home->setHidden(false);
    m_homeViewController->viewWillAppear();
    if (animate)
        PLRAnimationContext::animateAlpha(home, 1.0);
    else
        home->setAlphaValue(1.0);
    if (PLRStandardUpdaterController* updater = PLRUpdater::updateController())
        updater->updater()->checkForUpdatesInBackground();
}

// A finished welcome waits under the post made from it until home replaces it; hidden meanwhile,
// so its button is no Tab stop under the post.
void PLRBaseViewController::hideFinishedWelcome()
{
    if (m_finishedWelcome && m_firstTimeWelcomeViewController && m_firstTimeWelcomeViewController->isViewLoaded()
        && m_currentPostController && !m_presentingHome)
        m_firstTimeWelcomeViewController->view()->setHidden(true);
}

void PLRBaseViewController::refreshPreviewOfPostLeft(PLRPostViewController* controller)
{
    if (controller && controller->postManager())
        if (PLRPersistantPost* post = controller->postManager()->representedPost())
            post->refreshLayoutPreview();
}

void PLRBaseViewController::ensureHome()
{
    if (m_homeViewController)
        return;
    m_homeViewController = instantiateScene<PLRHomeViewController>("PLRHomeViewController");
    if (!m_homeViewController)
        return;
    PLRRootView* root = rootView();
    View* home = m_homeViewController->view();
    home->setParent(root);
    // Behind every screen already there.
    home->lower();
    home->show();
    root->pinToEdges(home);
}

void PLRBaseViewController::hideHome(bool animate)
{
    hideErrorView();
    if (!m_presentingHome || !m_homeViewController)
        return;
    m_presentingHome = false;
    View* home = m_homeViewController->view();
    if (animate) {
        QPointer<View> target(home);
        QPointer<PLRBaseViewController> self(this);
        auto hide = [target, self] {
            // A home presented again meanwhile stays.
            if (target && self && !self->m_presentingHome)
                target->setHidden(true);
        };
        if (PLRAnimationContext* context = PLRAnimationContext::currentContext()) {
            PLRAnimationContext::animateAlpha(home, 0.0);
            context->setCompletionHandler(hide);
        } else {
            PLRAnimationContext::runAnimationGroup(
                [home](PLRAnimationContext&) { PLRAnimationContext::animateAlpha(home, 0.0); }, hide);
        }
    } else {
        home->setAlphaValue(0.0);
        home->setHidden(true);
    }
}

void PLRBaseViewController::createConstraintsForPostView(QWidget* view)
{
    rootView()->placeWithTopEdge(view, nullptr);
}

PLRLayoutConstraint* PLRBaseViewController::createTopEdgeConstraintForPostView(QWidget* view, double edge)
{
    auto* constraint = new PLRLayoutConstraint(view, edge, view);
    rootView()->placeWithTopEdge(view, constraint);
    return constraint;
}

void PLRBaseViewController::presentLogin()
{
    hideErrorView();
    if (m_authViewController)
        return;
    PLRVisualStateHandler::globalHandler().setPostHeaderVisible(false);
    PLRRootView* root = rootView();
    if (m_currentPostController) {
        m_currentPostController->viewWillDisappear();
        root->forget(m_currentPostController->view());
        PLRViewController::removeFromSuperview(m_currentPostController->view());
    }
    setCurrentPostController(nullptr);
    m_currentTopConstraint = nullptr;

    auto* auth = instantiateScene<PLRAuthViewController>("PLRAuthViewController");
    if (!auth)
        return;
    m_authViewController = auth;
    QPointer<PLRBaseViewController> self(this);
    auth->setAuthCompletionBlock([self](bool) {
        if (!self)
            return;
        runScreenGroup([](PLRAnimationContext&) {},
                       [self] {
                           if (!self || !self->m_authViewController)
                               return;
                           PLRAuthViewController* done = self->m_authViewController;
                           self->rootView()->forget(done->view());
                           PLRViewController::removeFromSuperview(done->view());
                           self->m_authViewController = nullptr;
                           self->m_currentTopConstraint = nullptr;
                           done->deleteLater();
                           platform::NotificationCenter::defaultCenter().post(
                               QLatin1String(kPLRAuthViewToggledNotification), self);
                           self->ensureUserSessionSubscription();
                           self->presentHome(true);
                           // The form had the keyboard: the screen after it takes it.
                           self->giveKeyboardFocusToShownScreen();
                       });
    });
    platform::NotificationCenter::defaultCenter().post(QLatin1String(kPLRAuthViewToggledNotification), this);
    View* authView = auth->view();
    addScreen(auth);
    PLRLayoutConstraint* top = createTopEdgeConstraintForPostView(authView, root->height());
    m_currentTopConstraint = top;
    runScreenGroup([this, top](PLRAnimationContext&) {
        hideHome(true);
        PLRAnimationContext::animateConstant(top, 0.0);
    });
}

void PLRBaseViewController::presentPost(PLRPersistantPost* post)
{
    QPointer<PLRPersistantPost> requested(post);
    if (deferNavigation([this, requested] {
            if (requested)
                presentPost(requested);
        }))
        return;
    forceVersionRecheckIfEdition3UpgradeRequired();
    PLRUserSession* session = PLRCoreManager::userSession();
    if (!post || !session)
        return;
    PLRPostManager* manager = session->postManagerForPost(post);
    PLRPostViewController* controller = getOrCreateControllerForPostManager(manager);
    if (!controller || controller == m_currentPostController)
        return;
    hideErrorView();
    setImportExportPostsEnabled(true);
    PLRRootView* root = rootView();
    View* newView = controller->view();
    if (m_currentPostController) {
        PLRPostViewController* old = m_currentPostController;
        refreshPreviewOfPostLeft(old);
        newView->setAlphaValue(0.0);
        addScreen(controller);
        // The keyboard goes with the user from the post left to the one shown.
        if (keyboardIsIn(old->view()))
            controller->takeKeyboard();
        PLRLayoutConstraint* top = createTopEdgeConstraintForPostView(newView, 0.0);
        QPointer<PLRBaseViewController> self(this);
        QPointer<PLRPostViewController> next(controller);
        QPointer<PLRLayoutConstraint> nextTop(top);
        beginNavigation();
        const std::function<void()> ended = navigationEnd();
        runScreenGroup(
            [old, root, newView](PLRAnimationContext&) {
                old->viewWillDisappear();
                old->view()->setAlphaValue(0.0);
                root->forget(old->view());
                PLRViewController::removeFromSuperview(old->view());
                old->view()->setAlphaValue(1.0);
                PLRAnimationContext::animateAlpha(newView, 1.0);
            },
            [self, next, nextTop, ended] {
                if (self && next) {
                    self->setCurrentPostController(next);
                    self->m_currentTopConstraint = nextTop;
                    next->presentInitialVisualState();
                    PLRVisualStateHandler::globalHandler().setPostHeaderVisible(true);
                }
                ended();
            });
        // The switch counts as shown at once for a second request meanwhile.
        setCurrentPostController(controller);
        m_currentTopConstraint = top;
        return;
    }
    const bool keyboardInHome = m_homeViewController && m_homeViewController->isViewLoaded()
                                && keyboardIsIn(m_homeViewController->view());
    m_presentingHome = false;
    newView->setAlphaValue(1.0);
    addScreen(controller);
    // The keyboard goes with the user from home into the post (home, hidden once the post has
    // slid up, would hand it on to whatever control comes next).
    if (keyboardInHome)
        controller->takeKeyboard();
    PLRLayoutConstraint* top = createTopEdgeConstraintForPostView(newView, root->height());
    setCurrentPostController(controller);
    m_currentTopConstraint = top;
    QPointer<PLRBaseViewController> self(this);
    QPointer<PLRPostViewController> shown(controller);
    beginNavigation();
    const std::function<void()> ended = navigationEnd();
    runScreenGroup(
        [this, top](PLRAnimationContext&) {
            if (m_homeViewController)
                PLRAnimationContext::animateAlpha(m_homeViewController->view(), 0.0);
            PLRAnimationContext::animateConstant(top, 0.0);
        },
        [self, shown, ended] {
            if (self) {
                if (shown)
                    shown->presentInitialVisualState();
                if (self->m_homeViewController && !self->m_presentingHome)
                    self->m_homeViewController->view()->setHidden(true);
                self->hideFinishedWelcome();
                if (shown && shown == self->m_currentPostController)
                    PLRVisualStateHandler::globalHandler().setPostHeaderVisible(true);
            }
            ended();
        });
}

void PLRBaseViewController::presentPostId(const QString& postIdentifier)
{
    PLRUserSession* session = PLRCoreManager::userSession();
    if (!session || !session->account())
        return;
    forceVersionRecheckIfEdition3UpgradeRequired();
    presentPost(session->account()->postForIdentifier(postIdentifier));
}

PLRPostViewController* PLRBaseViewController::getOrCreateControllerForPostManager(PLRPostManager* manager)
{
    if (!manager)
        return nullptr;
    PLRPersistantPost* post = manager->representedPost();
    if (post) {
        for (PLRPostViewController* controller : std::as_const(m_postViewControllers)) {
            PLRPostManager* cached = controller->postManager();
            PLRPersistantPost* cachedPost = cached ? cached->representedPost() : nullptr;
            if (cachedPost && cachedPost->identifier() == post->identifier()) {
                // The same post under another manager object: the controller shows the live one.
                if (cached != manager)
                    controller->setPostManager(manager);
                return controller;
            }
        }
    }
    auto* controller = instantiateScene<PLRPostViewController>("PLRPostViewController");
    if (!controller)
        return nullptr;
    controller->setPostManager(manager);
    m_postViewControllers.append(controller);
    return controller;
}

void PLRBaseViewController::presentNewPost()
{
    if (deferNavigation([this] { presentNewPost(); }))
        return;
    forceVersionRecheckIfEdition3UpgradeRequired();
    hideErrorView();
    // Without a session nothing is shown instead of home: home stays the screen.
    PLRUserSession* session = PLRCoreManager::userSession();
    if (!session)
        return;
    // What is typed from now until the new post's sheet is shown (an Escape, the post's name) is
    // for the sheet, which takes the keyboard once it is up: the keys wait for it.
    QPointer<PLRKeyHold> heldKeys(new PLRKeyHold(rootView()->window(), this));
    m_presentingHome = false;
    QPointer<PLRPostViewController> old;
    if (m_currentPostController) {
        old = m_currentPostController;
        refreshPreviewOfPostLeft(old);
        platform::NotificationCenter::defaultCenter().post(QLatin1String(kPLR_POSTS_WERE_UPDATED));
    }
    PLRPostManager* manager = session->newPostManager();
    auto* controller = instantiateScene<PLRPostViewController>("PLRPostViewController");
    if (!controller) {
        heldKeys->release();
        heldKeys->deleteLater();
        return;
    }
    controller->setPostManager(manager);
    m_postViewControllers.append(controller);
    PLRRootView* root = rootView();
    controller->view()->setAlphaValue(1.0);
    addScreen(controller);
    PLRLayoutConstraint* top = createTopEdgeConstraintForPostView(controller->view(), root->height());
    setCurrentPostController(controller);
    m_currentTopConstraint = top;
    QPointer<PLRBaseViewController> self(this);
    QPointer<PLRPostViewController> shown(controller);
    beginNavigation();
    const std::function<void()> ended = navigationEnd();
    runScreenGroup(
        [this, top](PLRAnimationContext&) {
            if (m_homeViewController)
                PLRAnimationContext::animateAlpha(m_homeViewController->view(), 0.0);
            PLRAnimationContext::animateConstant(top, 0.0);
        },
        [self, shown, old, ended, heldKeys] {
            if (self) {
                if (shown)
                    shown->presentInitialVisualState();
                if (self->m_homeViewController && !self->m_presentingHome)
                    self->m_homeViewController->view()->setHidden(true);
                self->hideFinishedWelcome();
                if (old && old != self->m_currentPostController) {
                    old->viewWillDisappear();
                    self->rootView()->forget(old->view());
                    PLRViewController::removeFromSuperview(old->view());
                }
            }
            // The sheet has the keyboard now (or nothing was shown): the keys go where it is.
            if (heldKeys) {
                heldKeys->release();
                heldKeys->deleteLater();
            }
            ended();
        });
}

void PLRBaseViewController::moveHome(bool animate)
{
    if (deferNavigation([this, animate] { moveHome(animate); }))
        return;
    hideErrorView();
    // Home shown and no post on screen: nothing to leave.
    if (m_presentingHome && !m_currentPostController)
        return;
    forceVersionRecheckIfEdition3UpgradeRequired();
    QPointer<PLRBaseViewController> self(this);
    QPointer<PLRPostViewController> leaving(m_currentPostController);
    refreshPreviewOfPostLeft(leaving);
    auto removePost = [self, leaving] {
        if (!self)
            return;
        if (leaving) {
            leaving->viewWillDisappear();
            self->rootView()->forget(leaving->view());
            PLRViewController::removeFromSuperview(leaving->view());
        }
        if (self->m_currentPostController == leaving) {
            self->setCurrentPostController(nullptr);
            self->m_currentTopConstraint = nullptr;
        }
    };
    if (animate) {
        QPointer<PLRLayoutConstraint> top(m_currentTopConstraint);
        beginNavigation();
        const std::function<void()> ended = navigationEnd();
        runScreenGroup(
            [this, top](PLRAnimationContext&) {
                m_postLeavingForHome = true;
                presentHome(true);
                m_postLeavingForHome = false;
                if (top)
                    PLRAnimationContext::animateConstant(top, rootView()->height());
            },
            [self, removePost, ended] {
                removePost();
                if (self)
                    self->giveKeyboardFocusToShownScreen();
                ended();
            });
    } else {
        removePost();
        presentHome(false);
        giveKeyboardFocusToShownScreen();
    }
    PLRVisualStateHandler::globalHandler().setPostHeaderVisible(false);
}

bool PLRBaseViewController::keyboardIsIn(const QWidget* screen) const
{
    const QWidget* focused = QApplication::focusWidget();
    return screen && focused && (focused == screen || screen->isAncestorOf(focused));
}

void PLRBaseViewController::giveKeyboardFocusToShownScreen()
{
    QWidget* window = view()->window();
    QWidget* focused = window ? window->focusWidget() : nullptr;
    if (focused && focused->isVisible())
        return;
    // The screen shown: the welcome in home's place on a first run, else home.
    QWidget* screen = nullptr;
    if (m_firstTimeWelcomeViewController && m_firstTimeWelcomeViewController->isViewLoaded()
        && m_firstTimeWelcomeViewController->view()->isVisible())
        screen = m_firstTimeWelcomeViewController->view();
    else if (m_presentingHome && m_homeViewController)
        screen = m_homeViewController->view();
    if (!screen)
        return;
    // Where the first Tab would take it.
    for (QWidget* candidate = screen->nextInFocusChain(); candidate && candidate != screen;
         candidate = candidate->nextInFocusChain()) {
        if (screen->isAncestorOf(candidate) && (candidate->focusPolicy() & Qt::TabFocus) == Qt::TabFocus
            && candidate->isVisible() && candidate->isEnabled() && !candidate->focusProxy()) {
            candidate->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void PLRBaseViewController::setCurrentPostController(PLRPostViewController* controller)
{
    if (m_currentPostController == controller)
        return;
    m_currentPostController = controller;
    emit currentPostChanged();
}

PLRPostViewController* PLRBaseViewController::currentPostViewController() const
{
    return m_currentPostController;
}

bool PLRBaseViewController::isShowingPost() const
{
    return std::any_of(m_postViewControllers.cbegin(), m_postViewControllers.cend(),
                       [](const PLRPostViewController* controller) { return controller->isOnScreen(); });
}

bool PLRBaseViewController::isShowingAuth() const
{
    return m_authViewController != nullptr;
}

PLRHomeViewController* PLRBaseViewController::homeViewController() const
{
    return m_homeViewController;
}

PLRAuthViewController* PLRBaseViewController::authViewController() const
{
    return m_authViewController;
}

PLRFirstTimeWelcomeViewController* PLRBaseViewController::firstTimeWelcomeViewController() const
{
    return m_firstTimeWelcomeViewController;
}

PLRPostManager* PLRBaseViewController::currentPostManager() const
{
    return m_currentPostController ? m_currentPostController->postManager() : nullptr;
}

PLRBaseWindowController* PLRBaseViewController::baseWindowController() const
{
    if (AppDelegate* app = AppDelegate::shared())
        if (PLRBaseWindowController* controller = app->baseWindowController())
            if (controller->contentViewController() == this)
                return controller;
    return qobject_cast<PLRBaseWindowController*>(parent());
}
