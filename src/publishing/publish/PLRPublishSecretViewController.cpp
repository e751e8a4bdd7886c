#include "publishing/publish/PLRPublishSecretViewController.h"

#include "controls/PLRLinkButtons.h"
#include "platform-ui/Controls.h"
#include "platform/Dispatch.h"
#include "publishing/publish/PLRPublishSetupPageSupport.h"
#include "services/web-services/PLRServiceError.h"
#include "shell/modal/PLRModalViewController.h"

#include <QVBoxLayout>

using namespace platform::ui;
using namespace PLRPublishSetupPageSupport;

PLRPublishSecretViewController::PLRPublishSecretViewController(QObject* parent) : PLRPublishSetupPage(parent) {}

View* PLRPublishSecretViewController::loadView()
{
    View* root = makePage(QStringLiteral("Enter your access key"),
                          QStringLiteral("Copy this key into the Pellora plug-in's settings on your website, then press Check."));
    auto* column = static_cast<QVBoxLayout*>(m_stackView->layout());
    m_copyView = new PLRSecretCopyView(m_stackView);
    column->addWidget(m_copyView);
    auto* watch = new Pellora_Publish::PLRLinkButton(m_stackView);
    watch->setTitle(QStringLiteral("Where does the key go?"));
    watch->setTarget(this);
    watch->setAction([this](Control*) { watchViewAction(); });
    watch->awakeFromNib();
    column->addWidget(watch);
    return root;
}

TextField* PLRPublishSecretViewController::secretLabel() const
{
    return m_copyView ? m_copyView->copyLabel() : nullptr;
}

void PLRPublishSecretViewController::viewWillBecomeActive(PLRModalViewController* modal)
{
    view();
    m_haveBailed = false;
    m_hasChecked = false;
    m_fetchingSecret = false;
    ++m_series;
    m_stackView->setHidden(true);
    modal->setPrimaryEnabled(false);
    modal->startSpinner(QStringLiteral("Checking Access Key"));
    m_checkCount = 2;
    QPointer<PLRPublishSecretViewController> self(this);
    after(2.0, [self] {
        if (self)
            self->checkSecretStatus();
    });
}

void PLRPublishSecretViewController::checkSecretStatus()
{
    PLRModalViewController* modal = modalViewController();
    if (m_haveBailed || !modal)
        return;
    if (m_checkCount == 3)
        m_checkCount = 0;
    modal->dismissError();
    modal->startSpinner(QStringLiteral("Checking Access Key"));
    const PLRWebServicePublisherPtr publisher = remotePublisher();
    QPointer<PLRPublishSecretViewController> self(this);
    const quint64 series = m_series;
    auto answer = [self, series, publisher](bool success, const QVariant& result) {
        if (!self || self->m_haveBailed || series != self->m_series)
            return;
        PLRModalViewController* dialog = self->modalViewController();
        if (!dialog)
            return;
        if (!success) {
            // The spinner would otherwise turn for ever: say so and let the user check again.
            dialog->stopSpinner();
            self->m_stackView->setHidden(false);
            dialog->setPrimaryEnabled(true);
            dialog->presentError(QStringLiteral("Pellora could not check the access key. Try again in a moment."),
                                QStringLiteral("Try Again"), std::nullopt);
            return;
        }
        const qint64 status = result.toLongLong();
        if (status == 0) {
            dialog->startSpinner(QStringLiteral("Authentication Sucessful"));
            self->after(2.0, [self] {
                if (self && !self->m_haveBailed && self->modalViewController())
                    self->modalViewController()->moveToNextView();
            });
            return;
        }
        if (status == 2) {
            if (!publisher || publisher->secret().isEmpty()) {
                self->m_hasChecked = true;
                self->fetchSecretAndPresent();
                return;
            }
            ++self->m_checkCount;
            if (self->m_checkCount < 3) {
                self->after(2.0, [self] {
                    if (self)
                        self->checkSecretStatus();
                });
                return;
            }
            dialog->stopSpinner();
            if (self->m_hasChecked)
                dialog->presentError(QStringLiteral("We still don't have access to your website. Ensure the access key has "
                                                   "been copied correctly, or get more help."),
                                    QStringLiteral("Troubleshoot"), std::nullopt);
            self->m_hasChecked = true;
            self->secretLabel()->setStringValue(publisher->secret());
            self->m_stackView->setHidden(false);
            dialog->setPrimaryEnabled(true);
            return;
        }
        dialog->moveToHomeView();
    };
    const bool sent = publisher && publisher->fetchLatestStatus(
                                       [answer](bool success, const QVariant& result, const std::optional<PLRServiceError>&,
                                                const platform::Error&) { answer(success, result); });
    if (!sent)
        platform::dispatchMain([answer] { answer(false, QVariant()); });
}

void PLRPublishSecretViewController::fetchSecretAndPresent()
{
    const PLRWebServicePublisherPtr publisher = remotePublisher();
    QPointer<PLRPublishSecretViewController> self(this);
    const quint64 series = m_series;
    auto answer = [self, series, publisher](bool success) {
        if (!self || self->m_haveBailed || series != self->m_series)
            return;
        PLRModalViewController* modal = self->modalViewController();
        if (!modal)
            return;
        self->m_fetchingSecret = false;
        self->m_stackView->setHidden(false);
        modal->setPrimaryEnabled(true);
        modal->stopSpinner();
        if (!success) {
            modal->presentError(QStringLiteral("Pellora could not get your access key. Try again in a moment."),
                                QStringLiteral("Try Again"), std::nullopt);
            return;
        }
        self->secretLabel()->setStringValue(publisher->secret());
    };
    m_fetchingSecret = true;
    const bool sent = publisher && publisher->fetchNewSecret([answer](bool success, const QVariant&,
                                                                     const std::optional<PLRServiceError>&,
                                                                     const platform::Error&) { answer(success); });
    if (!sent)
        platform::dispatchMain([answer] { answer(false); });
}

void PLRPublishSecretViewController::primaryActionWasSelected(PLRModalViewController* modal)
{
    m_checkCount = 0;
    checkSecretStatus();
    m_stackView->setHidden(true);
    modal->setPrimaryEnabled(false);
}

void PLRPublishSecretViewController::secondaryActionWasSelected(PLRModalViewController* modal)
{
    m_haveBailed = true;
    ++m_series;
    cancelPendingPerforms();
    modal->moveToHomeView();
}

void PLRPublishSecretViewController::primaryActionForErrorWasClicked(PLRModalViewController* modal)
{
    const PLRWebServicePublisherPtr publisher = remotePublisher();
    if (publisher && !publisher->secret().isEmpty() && m_hasChecked && !m_fetchingSecret &&
        modal->errorPrimaryButton() && modal->errorPrimaryButton()->title() == QLatin1String("Troubleshoot")) {
        watchViewAction();
        return;
    }
    // "Try Again" after a failed request.
    modal->dismissError();
    m_stackView->setHidden(true);
    modal->setPrimaryEnabled(false);
    if (publisher && publisher->secret().isEmpty() && m_hasChecked) {
        modal->startSpinner(QStringLiteral("Checking Access Key"));
        fetchSecretAndPresent();
    } else {
        m_checkCount = 0;
        checkSecretStatus();
    }
}

void PLRPublishSecretViewController::watchViewAction()
{
    openHelp(QStringLiteral("/") + kPluginHelpPath);
}
