#include "shell/PLRFirstTimeWelcomeViewController.h"

#include "shell/AppDelegate.h"
#include "platform-ui/Fonts.h"
#include "platform/NotificationCenter.h"
#include "shell/PLRShellNotifications.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRUserSession.h"
#include "shell/PLRBaseViewController.h"
#include "shell/PLRBaseWindowController.h"

#include <QVBoxLayout>

using namespace platform::ui;

namespace {
class WelcomeView : public View {
public:
    using View::View;
    void drawRect(GraphicsContext& context, const QRectF&) override { context.fillRect(bounds(), Color::white()); }
};
} // namespace

PLRFirstTimeWelcomeViewController::PLRFirstTimeWelcomeViewController(QObject* parent) : PLRViewController(parent)
{
    platform::NotificationCenter::defaultCenter().addObserver(&m_observer, QLatin1String(kPLR_POSTS_WERE_UPDATED),
                                                              [this](const platform::Notification&) { postsWereUpdated(); });
}

PLRFirstTimeWelcomeViewController::~PLRFirstTimeWelcomeViewController()
{
    platform::NotificationCenter::defaultCenter().removeObserver(&m_observer);
}

void PLRFirstTimeWelcomeViewController::postsWereUpdated()
{
    PLRUserSession* session = PLRCoreManager::userSession();
    PLRPersistantAccount* account = session ? session->account() : nullptr;
    if (!account || account->currentPosts().isEmpty() || !isViewLoaded() || !view()->parentWidget())
        return;
    PLRBaseViewController* navigation = nullptr;
    if (AppDelegate* app = AppDelegate::shared())
        if (PLRBaseWindowController* window = app->baseWindowController())
            navigation = window->contentViewController();
    if (!navigation)
        navigation = qobject_cast<PLRBaseViewController*>(parent());
    // Only while the welcome is the screen shown: behind a post (the first one, made from this
    // screen) it waits for the post to be left.
    if (navigation && (navigation->currentPostViewController() || navigation->isNavigating()))
        return;
    if (m_completion)
        m_completion();
    if (navigation)
        navigation->presentHome(false);
}

View* PLRFirstTimeWelcomeViewController::loadView()
{
    auto* root = new WelcomeView;
    m_welcomeTextField = TextField::labelWithString(defaultGreeting(), root);
    m_welcomeTextField->setFont(boldSystemFont(28));
    m_welcomeTextField->setTextColor(Color(0.15, 0.15, 0.15));
    m_welcomeTextField->setAlignment(TextAlignment::Center);
    auto* message = TextField::labelWithString(
        QStringLiteral("Compose a photo-led post from a folder of your photos, then publish it to your website."), root);
    message->setFont(systemFont(14));
    message->setTextColor(Color(0.4, 0.4, 0.4));
    message->setAlignment(TextAlignment::Center);
    m_createPostButton = Button::withTitle(QStringLiteral("Create Your First Post"), this,
                                          [this](Control* sender) { createNewPost(sender); }, root);
    m_createPostButton->setMinimumSize(220, 36);
    auto* column = new QVBoxLayout(root);
    column->addStretch(2);
    column->addWidget(m_welcomeTextField, 0, Qt::AlignHCenter);
    column->addSpacing(10);
    column->addWidget(message, 0, Qt::AlignHCenter);
    column->addSpacing(28);
    column->addWidget(m_createPostButton, 0, Qt::AlignHCenter);
    column->addStretch(3);
    return root;
}

void PLRFirstTimeWelcomeViewController::viewDidLoad()
{
    PLRUserSession* session = PLRCoreManager::userSession();
    PLRPersistantAccount* account = session ? session->account() : nullptr;
    if (!account)
        return;
    const QString first = account->firstName();
    const QString last = account->lastName();
    if (!first.isEmpty() && !last.isEmpty()) {
        m_welcomeTextField->setStringValue(QStringLiteral("Welcome to Pellora Publish, ") + first + QLatin1Char(' ') + last);
        m_welcomeTextField->resize(m_welcomeTextField->sizeHint());
    }
}

void PLRFirstTimeWelcomeViewController::createNewPost(QObject*)
{
    PLRBaseViewController* navigation = nullptr;
    if (AppDelegate* app = AppDelegate::shared())
        if (PLRBaseWindowController* window = app->baseWindowController())
            navigation = window->contentViewController();
    if (!navigation)
        navigation = qobject_cast<PLRBaseViewController*>(parent());
    if (navigation)
        navigation->presentNewPost();
    if (m_completion)
        m_completion();
}
