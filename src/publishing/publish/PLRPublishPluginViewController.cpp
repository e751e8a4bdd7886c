#include "publishing/publish/PLRPublishPluginViewController.h"

#include "controls/PLRLinkButtons.h"
#include "platform-ui/Controls.h"
#include "platform/Dispatch.h"
#include "publishing/publish/PLRPublishSetupPageSupport.h"
#include "services/web-services/PLRServiceError.h"
#include "services/web-services/PLRWebServiceUserManager.h"
#include "shell/modal/PLRModalViewController.h"
#include "store/session/PLRDefaults.h"

#include <QVBoxLayout>

using namespace platform::ui;
using namespace PLRPublishSetupPageSupport;

namespace {

const QString kNoPluginError = QStringLiteral("Pellora cannot find the plug-in on your website");
const QString kNoPluginMoreInfo = QStringLiteral("click here for more info");

} // namespace

PLRPublishPluginViewController::PLRPublishPluginViewController(QObject* parent) : PLRPublishSetupPage(parent) {}

View* PLRPublishPluginViewController::loadView()
{
    View* root = makePage(QStringLiteral("Install the Pellora plug-in"),
                          QStringLiteral("Install and activate the Pellora plug-in on your WordPress website, then press Check."));
    auto* column = static_cast<QVBoxLayout*>(m_stackView->layout());
    auto* watch = new Pellora_Publish::PLRLinkButton(m_stackView);
    watch->setTitle(QStringLiteral("How to install the plug-in"));
    watch->setTarget(this);
    watch->setAction([this](Control*) { watchViewAction(); });
    watch->awakeFromNib();
    column->addWidget(watch);
    m_noPluginLink = new PLRLinkButton(m_stackView);
    m_noPluginLink->setTitle(QStringLiteral("Publish without the plug-in"));
    m_noPluginLink->setTitleColour(namedColor(QStringLiteral("plrTextLinkColor")));
    m_noPluginLink->setTarget(this);
    m_noPluginLink->setAction([this](Control*) { skipPluginAction(); });
    m_noPluginLink->awakeFromNib();
    column->addWidget(m_noPluginLink);
    return root;
}

std::optional<QString> PLRPublishPluginViewController::defaultModalButtonActionTitle(PLRModalViewController*)
{
    return m_checkButtonClickCount < 3 ? QStringLiteral("Check") : QStringLiteral("Continue Without Plug-in");
}

void PLRPublishPluginViewController::viewWillBecomeActive(PLRModalViewController* modal)
{
    view();
    m_haveBailed = false;
    m_hasChecked = false;
    ++m_series;
    m_stackView->setHidden(true);
    m_noPluginLink->setHidden(false);
    modal->setPrimaryEnabled(false);
    modal->setTertiaryEnabled(false);
    modal->startSpinner(QStringLiteral("Looking for plug-in"));
    m_checkCount = 3;
    m_checkButtonClickCount = 0;
    QPointer<PLRPublishPluginViewController> self(this);
    after(2.0, [self] {
        if (self)
            self->checkPluginExistance();
    });
}


void PLRPublishPluginViewController::checkPluginExistance()
{
    if (m_haveBailed)
        return;
    if (m_checkCount == 4)
        m_checkCount = 0;
    const PLRWebServicePublisherPtr publisher = remotePublisher();
    QPointer<PLRPublishPluginViewController> self(this);
    const quint64 series = m_series;
    auto answer = [self, series](bool success, const QVariant& result) {
        if (!self || self->m_haveBailed || series != self->m_series)
            return;
        PLRModalViewController* modal = self->modalViewController();
        if (!modal)
            return;
        if (!success) {
            modal->stopSpinner();
            modal->presentError(kNoPluginError, kNoPluginMoreInfo, std::nullopt);
            self->m_hasChecked = true;
            self->m_stackView->setHidden(false);
            modal->setPrimaryEnabled(true);
            modal->setTertiaryEnabled(true);
            return;
        }
        if (result.toLongLong() != 1) {
            modal->startSpinner(QStringLiteral("Verifying plug-in"));
            self->after(2.0, [self] {
                if (self && !self->m_haveBailed && self->modalViewController())
                    self->modalViewController()->moveToNextView();
            });
            return;
        }
        ++self->m_checkCount;
        if (self->m_checkCount < 4) {
            self->after(2.0, [self] {
                if (self)
                    self->checkPluginExistance();
            });
            return;
        }
        modal->stopSpinner();
        if (self->m_hasChecked) {
            if (self->m_checkButtonClickCount < 3) {
                modal->presentError(kNoPluginError, kNoPluginMoreInfo, std::nullopt);
            } else {
                modal->presentError(QStringLiteral("Sorry, Pellora still can't find the plug-in on your website. We "
                                                   "recommend you publish without the plug-in"),
                                    QStringLiteral("click here to learn more about publishing without the plug-in"),
                                    std::nullopt);
                self->m_noPluginLink->setHidden(true);
            }
        }
        self->m_hasChecked = true;
        self->m_stackView->setHidden(false);
        modal->setPrimaryEnabled(true);
        modal->setTertiaryEnabled(true);
    };
    const bool sent = publisher && publisher->fetchLatestStatus(
                                       [answer](bool success, const QVariant& result, const std::optional<PLRServiceError>&,
                                                const platform::Error&) { answer(success, result); });
    if (!sent)
        platform::dispatchMain([answer] { answer(false, QVariant()); });
}

void PLRPublishPluginViewController::primaryActionWasSelected(PLRModalViewController* modal)
{
    const PLRWebServicePublisherPtr publisher = remotePublisher();
    if (publisher && publisher->type() == 2) {
        modal->dismissModalWithSuccess(true);
        return;
    }
    m_stackView->setHidden(true);
    modal->dismissError();
    modal->startSpinner(QStringLiteral("Looking for plug-in"));
    checkPluginExistance();
    modal->setPrimaryEnabled(false);
    modal->setTertiaryEnabled(false);
    ++m_checkButtonClickCount;
}

void PLRPublishPluginViewController::secondaryActionWasSelected(PLRModalViewController* modal)
{
    m_haveBailed = true;
    ++m_series;
    cancelPendingPerforms();
    modal->moveToHomeView();
}

void PLRPublishPluginViewController::tertiaryActionWasSelected(PLRModalViewController*)
{
    skipPluginAction();
}

void PLRPublishPluginViewController::skipPluginAction()
{
    PLRModalViewController* modal = modalViewController();
    if (!modal)
        return;
    m_stackView->setHidden(true);
    modal->dismissError();
    modal->startSpinner(QStringLiteral("One Moment"));
    modal->setPrimaryEnabled(false);
    modal->setTertiaryEnabled(false);
    observeUserManager();
    PLRWebServiceUserManager* users = userManager();
    if (!users || !users->updatePublisher(2, QString(), QString()))
        webServiceManagerStateChangeNotification(QLatin1String(PLRWSUM_STATE_IDLE),
                                                 QLatin1String(PLRWSUM_EVENT_FAILED_PUBLISHER_UPDATE), {});
}

void PLRPublishPluginViewController::webServiceManagerStateChangeNotification(const QString& state, const QString& event,
                                                                              const QVariantMap&)
{
    PLRModalViewController* modal = modalViewController();
    if (!modal || state != QLatin1String(PLRWSUM_STATE_IDLE))
        return;
    if (event == QLatin1String(PLRWSUM_EVENT_UPDATED_PUBLISHER)) {
        PLRDefaults::setPublishExportOptionPanelPresented(true);
        modal->presentCompletionCover(QStringLiteral("Settings Updated"), completionButtonTitle());
    } else if (event == QLatin1String(PLRWSUM_EVENT_FAILED_PUBLISHER_UPDATE)) {
        m_stackView->setHidden(false);
        modal->stopSpinner();
        modal->setPrimaryEnabled(true);
        modal->setTertiaryEnabled(true);
        modal->presentError(kUpdateError, std::nullopt, std::nullopt);
    }
}

void PLRPublishPluginViewController::primaryActionForErrorWasClicked(PLRModalViewController*)
{
    openHelp(kPluginHelpPath);
}

void PLRPublishPluginViewController::watchViewAction()
{
    openHelp(kPluginHelpPath);
}
