#include "publishing/publish/PLRPublishDefaultViewController.h"

#include "controls/PLRCheckboxButton.h"
#include "controls/PLRPopupButton.h"
#include "platform-ui/Controls.h"
#include "platform-ui/Fonts.h"
#include "publishing/publish/PLRPublishSetupPageSupport.h"
#include "services/web-services/PLRWebServiceUserManager.h"
#include "shell/modal/PLRModalViewController.h"

#include <QVBoxLayout>

using namespace platform::ui;
using namespace PLRPublishSetupPageSupport;

PLRPublishDefaultViewController::PLRPublishDefaultViewController(QObject* parent) : PLRPublishSetupPage(parent) {}

View* PLRPublishDefaultViewController::loadView()
{
    View* root = makePage(QStringLiteral("Publishing defaults"),
                          QStringLiteral("Choose the category new posts go to, and whether they go live at once."));
    auto* column = static_cast<QVBoxLayout*>(m_stackView->layout());
    column->addWidget(label(QStringLiteral("Default category"), m_stackView, 12, FontWeight::Medium));
    m_categoryPopUpButton = new PLRPopupButton(m_stackView);
    column->addWidget(m_categoryPopUpButton);
    m_autoPublishButton = new PLRCheckboxButton(m_stackView);
    m_autoPublishButton->setTitle(QStringLiteral("Publish posts as drafts"));
    column->addWidget(m_autoPublishButton);
    return root;
}

void PLRPublishDefaultViewController::viewWillBecomeActive(PLRModalViewController* modal)
{
    view();
    observeUserManager();
    modal->setPrimaryEnabled(false);
    m_stackView->setHidden(true);
    modal->startSpinner(QStringLiteral("Fetching Info"));
    m_waiting = false;
    m_succeeded = false;
    m_refreshing = true;
    PLRWebServiceUserManager* users = userManager();
    if (!users || !users->refreshInfo()) {
        m_refreshing = false;
        modal->stopSpinner();
        modal->setPrimaryEnabled(true);
        m_stackView->setHidden(false);
        modal->presentError(kUpdateError, std::nullopt, std::nullopt);
    }
}


void PLRPublishDefaultViewController::webServiceManagerStateChangeNotification(const QString& state, const QString& event,
                                                                               const QVariantMap&)
{
    PLRModalViewController* modal = modalViewController();
    if (!modal || state != QLatin1String(PLRWSUM_STATE_IDLE))
        return;
    if (m_refreshing) {
        m_refreshing = false;
        modal->stopSpinner();
        modal->setPrimaryEnabled(true);
        const PLRWebServicePublisherPtr publisher = remotePublisher();
        m_categoryPopUpButton->removeAllItems();
        if (publisher) {
            if (publisher->categories())
                for (const QVariant& category : *publisher->categories())
                    m_categoryPopUpButton->addItem(category.toString(), m_categoryPopUpButton->numberOfItems());
            m_categoryPopUpButton->setTitle(publisher->defaultCategory());
            m_autoPublishButton->setState(publisher->autoPublish() ? Button::StateOff : Button::StateOn);
        }
        m_stackView->setHidden(false);
        return;
    }
    if (m_waiting) {
        if (event == QLatin1String(PLRWSUM_EVENT_UPDATED_PUBLISHER)) {
            m_succeeded = true;
            modal->presentCompletionCover(QStringLiteral("Settings Updated"), completionButtonTitle());
        } else {
            m_succeeded = false;
            m_refreshing = false;
            m_waiting = false;
            modal->stopSpinner();
            modal->setPrimaryEnabled(true);
            modal->presentError(kUpdateError, std::nullopt, std::nullopt);
        }
    }
}

void PLRPublishDefaultViewController::primaryActionWasSelected(PLRModalViewController* modal)
{
    if (m_succeeded) {
        finishSetUp(modal);
        return;
    }
    if (m_waiting)
        return;
    m_waiting = true;
    modal->setPrimaryEnabled(false);
    modal->startSpinner(QStringLiteral("One Moment"));
    PLRWebServiceUserManager* users = userManager();
    const bool autoPublish = m_autoPublishButton->state() == Button::StateOff;
    if (!users || !users->updatePublisherDefaults(m_categoryPopUpButton->title(), autoPublish))
        webServiceManagerStateChangeNotification(QLatin1String(PLRWSUM_STATE_IDLE),
                                                 QLatin1String(PLRWSUM_EVENT_FAILED_PUBLISHER_UPDATE), {});
}

void PLRPublishDefaultViewController::secondaryActionWasSelected(PLRModalViewController* modal)
{
    cancelPendingPerforms();
    modal->moveToHomeView();
}
