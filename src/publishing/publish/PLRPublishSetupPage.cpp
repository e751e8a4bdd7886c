#include "publishing/publish/PLRPublishSetupPage.h"

#include "platform-ui/Fonts.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/Workspace.h"
#include "publishing/publish/PLRPublishSetupPageSupport.h"
#include "platform/Clock.h"
#include "services/state_machine/PLRFiniteStateMachineErrors.h"
#include "services/web-services/PLRWebServiceUserManager.h"
#include "shell/modal/PLRModalManager.h"
#include "shell/modal/PLRModalViewController.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRDefaults.h"

#include <QVBoxLayout>

using namespace platform::ui;
using namespace PLRPublishSetupPageSupport;

PLRPublishSetupPage::PLRPublishSetupPage(QObject* parent) : PLRModalPanelViewController(parent) {}

PLRPublishSetupPage::~PLRPublishSetupPage()
{
    cancelPendingPerforms();
    stopObservingUserManager();
}

PLRWebServiceUserManager* PLRPublishSetupPage::userManager()
{
    return PLRWebServiceUserManager::forSession(PLRCoreManager::userSession());
}

PLRWebServicePublisherPtr PLRPublishSetupPage::remotePublisher()
{
    PLRWebServiceUserManager* users = userManager();
    return users ? users->remotePublisher() : nullptr;
}

QString PLRPublishSetupPage::userStateName()
{
    PLRWebServiceUserManager* users = userManager();
    const PLRFiniteStatePtr state = users ? users->currentState() : nullptr;
    return state ? state->name() : QString();
}

QString PLRPublishSetupPage::completionButtonTitle() const
{
    return representedData().value(latin(kPLRModalPublisherExistingKey)).toBool() ? QStringLiteral("Ok")
                                                                                  : QStringLiteral("Start Publishing");
}

void PLRPublishSetupPage::observeUserManager()
{
    PLRWebServiceUserManager* users = userManager();
    if (!users || m_userObserver)
        return;
    m_userObserver = new QObject(this);
    QPointer<PLRPublishSetupPage> self(this);
    users->addStateChangeNotificationHandler(m_userObserver, [self](const platform::Notification& note) {
        const auto transition = note.userInfo.value(latin(PLRFiniteStateMachineTransitionUserInfoKey)).value<PLRFiniteTransitionPtr>();
        const QString event = transition && transition->event() ? transition->event()->name() : QString();
        const QVariantMap userInfo = transition ? transition->userInfo() : QVariantMap();
        platform::dispatchMain([self, event, userInfo] {
            if (self && self->m_userObserver)
                self->webServiceManagerStateChangeNotification(userStateName(), event, userInfo);
        });
    });
}

void PLRPublishSetupPage::viewWillBecomeInactive(PLRModalViewController*)
{
    stopObservingUserManager();
}

void PLRPublishSetupPage::finishSetUp(PLRModalViewController* modal)
{
    PLRDefaults::setPublishExportOptionPanelPresented(true);
    modal->dismissModalWithSuccess(true);
}

void PLRPublishSetupPage::stopObservingUserManager()
{
    if (!m_userObserver)
        return;
    if (PLRWebServiceUserManager* users = userManager())
        users->removeStateChangeNotificationHandler(m_userObserver);
    delete m_userObserver;
}

void PLRPublishSetupPage::webServiceManagerStateChangeNotification(const QString&, const QString&, const QVariantMap&) {}

void PLRPublishSetupPage::after(double seconds, std::function<void()> task)
{
    m_pending.push_back(platform::Clock::shared().after(seconds, this, std::move(task)));
}

void PLRPublishSetupPage::cancelPendingPerforms()
{
    for (const platform::Cancellable& pending : m_pending)
        pending.cancel();
    m_pending.clear();
}

void PLRPublishSetupPage::openHelp(const QString& path)
{
    platform::Workspace::shared().openURL(PLRDefaults::supportURLForPath(path));
}

View* PLRPublishSetupPage::makePage(const QString& title, const QString& text)
{
    auto* root = new View;
    root->resize(int(PLRModalViewController::kPageWidth), int(PLRModalViewController::kNormalContainerHeight));
    auto* outer = new QVBoxLayout(root);
    outer->setContentsMargins(30, 30, 30, 20);
    m_stackView = new View(root);
    auto* column = new QVBoxLayout(m_stackView);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addWidget(label(title, m_stackView, 20, FontWeight::Medium));
    if (!text.isEmpty())
        column->addWidget(paragraph(text, m_stackView, QColor(89, 89, 89)));
    outer->addWidget(m_stackView);
    outer->addStretch(1);
    return root;
}
