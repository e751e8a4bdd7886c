#include "publishing/publish/PLRPublishGuttenburgViewController.h"

#include "controls/PLRLinkButtons.h"
#include "platform-ui/Controls.h"
#include "services/web-services/PLRWebServiceUserManager.h"
#include "shell/modal/PLRModalViewController.h"

#include <QVBoxLayout>

using namespace platform::ui;

PLRPublishGuttenburgViewController::PLRPublishGuttenburgViewController(QObject* parent) : PLRPublishSetupPage(parent) {}

View* PLRPublishGuttenburgViewController::loadView()
{
    View* root = makePage(QStringLiteral("Enable the Gutenberg editor"),
                          QStringLiteral("Pellora publishes through the Gutenberg editor. Enable it on your WordPress "
                                         "website, then press Check."));
    auto* column = static_cast<QVBoxLayout*>(m_stackView->layout());
    auto* why = new Pellora_Publish::PLRLinkButton(m_stackView);
    why->setTitle(QStringLiteral("Why Gutenberg?"));
    why->setTarget(this);
    why->setAction([this](Control*) { whyGuttenburgAction(); });
    why->awakeFromNib();
    column->addWidget(why);
    auto* skip = new Pellora_Publish::PLRLinkButton(m_stackView);
    skip->setTitle(QStringLiteral("Continue without Gutenberg"));
    skip->setTarget(this);
    skip->setAction([this](Control*) { skipGuttenburgAction(); });
    skip->awakeFromNib();
    column->addWidget(skip);
    return root;
}

void PLRPublishGuttenburgViewController::viewWillBecomeActive(PLRModalViewController* modal)
{
    view();
    m_refreshing = false;
    m_skipping = false;
    modal->setPrimaryEnabled(true);
}


void PLRPublishGuttenburgViewController::primaryActionWasSelected(PLRModalViewController* modal)
{
    if (m_skipping) {
        finishSetUp(modal);
        return;
    }
    modal->dismissError();
    m_refreshing = true;
    observeUserManager();
    PLRWebServiceUserManager* users = userManager();
    if (!users || !users->refreshInfo()) {
        m_refreshing = false;
        modal->presentError(QStringLiteral("It looks like Gutenburg is still not enabled on your website"),
                            QStringLiteral("Skip"), std::nullopt);
    }
}

void PLRPublishGuttenburgViewController::webServiceManagerStateChangeNotification(const QString& state, const QString&,
                                                                                  const QVariantMap&)
{
    PLRModalViewController* modal = modalViewController();
    if (!modal || state != QLatin1String(PLRWSUM_STATE_IDLE) || !m_refreshing)
        return;
    m_refreshing = false;
    modal->setPrimaryEnabled(true);
    const PLRWebServicePublisherPtr publisher = remotePublisher();
    if (publisher && publisher->isGuttenburgInstalled() && publisher->isGuttenburgAvailable()) {
        m_skipping = true;
        modal->presentCompletionCover(QStringLiteral("Settings Updated"), completionButtonTitle());
        return;
    }
    modal->stopSpinner();
    modal->presentError(QStringLiteral("It looks like Gutenburg is still not enabled on your website"), QStringLiteral("Skip"),
                        std::nullopt);
}

void PLRPublishGuttenburgViewController::primaryActionForErrorWasClicked(PLRModalViewController*)
{
    skipGuttenburgAction();
}

void PLRPublishGuttenburgViewController::skipGuttenburgAction()
{
    PLRModalViewController* modal = modalViewController();
    if (!modal)
        return;
    modal->dismissError();
    m_skipping = true;
    modal->startSpinner(QStringLiteral("One Moment"));
    modal->setSecondaryEnabled(false);
    modal->setPrimaryEnabled(false);
    QPointer<PLRPublishGuttenburgViewController> self(this);
    after(1.5, [self] {
        if (!self || !self->modalViewController())
            return;
        self->modalViewController()->presentCompletionCover(QStringLiteral("Settings Updated"), self->completionButtonTitle());
        self->modalViewController()->setPrimaryEnabled(true);
    });
}

void PLRPublishGuttenburgViewController::secondaryActionWasSelected(PLRModalViewController* modal)
{
    cancelPendingPerforms();
    modal->moveToHomeView();
}

void PLRPublishGuttenburgViewController::whyGuttenburgAction()
{
    openHelp(QStringLiteral("publishing-to-your-website/why-gutenberg"));
}
