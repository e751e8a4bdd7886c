#include "publishing/publish/PLRPublishTypeSelectionViewController.h"

#include "controls/PLRErrorBox.h"
#include "controls/PLRPopupButton.h"
#include "controls/PLRSlidingButtonStack.h"
#include "platform-ui/Controls.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Layer.h"
#include "publishing/publish/PLRPublishSetupPageSupport.h"
#include "publishing/publish/PLRPublishSetupPages.h"
#include "services/web-services/PLRServiceError.h"
#include "services/web-services/PLRWebServiceUserManager.h"
#include "shell/modal/PLRModalViewController.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

using namespace platform::ui;
using namespace PLRPublishSetupPageSupport;

namespace {

const QString kOtherTheme = QStringLiteral("Other / Custom Theme");
const QString kSelectOne = QStringLiteral("Select One");

// The website kinds read as a row of framed buttons: each cell is outlined, the chosen one
// in the text colour (its label turns medium and it keeps the stack's underline).
void frameChoiceCells(PLRSlidingButtonStack* stack)
{
    for (qint64 i = 0; i < stack->arrangedSubviews().size(); ++i) {
        PLRSlidingButtonCell* cell = stack->cellAt(i);
        if (!cell)
            continue;
        View* frame = cell->backgroundView();
        frame->setWantsLayer(true);
        frame->layer()->setCornerRadius(4.0);
        frame->layer()->setBorderWidth(cell->isSelected() ? 1.5 : 1.0);
        frame->layer()->setBorderColor(namedColor(QLatin1String(cell->isSelected() ? "plrTextColor" : "plrControlBorderColor")));
    }
}

} // namespace

PLRPublishTypeSelectionViewController::PLRPublishTypeSelectionViewController(QObject* parent)
    : PLRPublishSetupPage(parent) {}

View* PLRPublishTypeSelectionViewController::loadView()
{
    View* root = makePage(QStringLiteral("Connect your website"),
                          QStringLiteral("Tell us where your website is and what it is built with."));
    auto* column = static_cast<QVBoxLayout*>(m_stackView->layout());
    column->addWidget(label(QStringLiteral("Website address"), m_stackView, 12, FontWeight::Medium));
    m_hostErrorBox = new PLRErrorBox(m_stackView);
    auto* hostRow = new QHBoxLayout(m_hostErrorBox);
    hostRow->setContentsMargins(4, 4, 4, 4);
    m_hostTextField = new TextField(m_hostErrorBox);
    m_hostTextField->setEditable(true);
    m_hostTextField->setIdentifier(QStringLiteral("hostTextField"));
    m_hostTextField->setPlaceholderString(QStringLiteral("www.yourwebsite.com"));
    hostRow->addWidget(m_hostTextField);
    m_hostErrorBox->setAssociatedField(m_hostTextField);
    m_hostErrorBox->awakeFromNib();
    column->addWidget(m_hostErrorBox);

    column->addWidget(label(QStringLiteral("Your website is built with"), m_stackView, 12, FontWeight::Medium));
    m_websiteHostStack = new PLRSlidingButtonStack(m_stackView);
    m_websiteHostStack->addCell(QStringLiteral("Squarespace"));
    m_websiteHostStack->addCell(QStringLiteral("WordPress"));
    m_websiteHostStack->addCell(QStringLiteral("Other"));
    m_websiteHostStack->setSlidingDelegate(this);
    m_websiteHostStack->setMinimumHeight(40);
    m_websiteHostStack->setSpacing(10);
    frameChoiceCells(m_websiteHostStack);
    column->addWidget(m_websiteHostStack);

    m_websiteThemeLabel = label(QString(), m_stackView, 12, FontWeight::Medium);
    column->addWidget(m_websiteThemeLabel);
    m_themePopUpErrorBox = new PLRErrorBox(m_stackView);
    auto* popupRow = new QHBoxLayout(m_themePopUpErrorBox);
    popupRow->setContentsMargins(2, 2, 2, 2);
    m_themePopUpButton = new PLRPopupButton(m_themePopUpErrorBox);
    m_themePopUpButton->setTarget(this);
    m_themePopUpButton->setAction([this](Control*) { websiteThemeChanged(); });
    popupRow->addWidget(m_themePopUpButton);
    m_themePopUpErrorBox->awakeFromNib();
    column->addWidget(m_themePopUpErrorBox);
    m_themeTextErrorBox = new PLRErrorBox(m_stackView);
    auto* themeRow = new QHBoxLayout(m_themeTextErrorBox);
    themeRow->setContentsMargins(4, 4, 4, 4);
    m_themeTextField = new TextField(m_themeTextErrorBox);
    m_themeTextField->setEditable(true);
    m_themeTextField->setIdentifier(QStringLiteral("themeTextField"));
    themeRow->addWidget(m_themeTextField);
    m_themeTextErrorBox->setAssociatedField(m_themeTextField);
    m_themeTextErrorBox->awakeFromNib();
    column->addWidget(m_themeTextErrorBox);
    return root;
}

void PLRPublishTypeSelectionViewController::buttonStack(PLRSlidingButtonStack* stack, qint64)
{
    frameChoiceCells(stack);
    ensureWebsiteThemeUI();
}

void PLRPublishTypeSelectionViewController::ensureWebsiteThemeUI()
{
    view();
    const qint64 index = m_websiteHostStack->selectedIndex();
    if (index == 1) {
        m_websiteThemeLabel->setStringValue(QStringLiteral("Wordpress Theme"));
        setThemeOptions(PLRPublishSetupPages::wordPressThemes());
        m_websiteThemeLabel->setHidden(false);
        m_themePopUpErrorBox->setHidden(false);
        ensureAddtionalTextOptions();
    } else if (index == 2) {
        m_websiteThemeLabel->setStringValue(QStringLiteral("Website Provider"));
        m_websiteThemeLabel->setHidden(false);
        m_themeTextField->setStringValue(QString());
        m_themeTextField->setPlaceholderString(QStringLiteral("theme name / info"));
        m_themeTextErrorBox->setHidden(false);
        m_themePopUpErrorBox->setHidden(true);
    } else {
        m_websiteThemeLabel->setHidden(true);
        m_themeTextErrorBox->setHidden(true);
        m_themePopUpErrorBox->setHidden(true);
    }
}

void PLRPublishTypeSelectionViewController::setThemeOptions(const QStringList& names)
{
    m_themePopUpButton->removeAllItems();
    m_themePopUpButton->addItem(kSelectOne, 0);
    for (const QString& name : names)
        m_themePopUpButton->addItem(name, m_themePopUpButton->numberOfItems());
    m_themePopUpButton->addSeparatorItem();
    m_themePopUpButton->addItem(kOtherTheme, m_themePopUpButton->numberOfItems());
    m_themePopUpButton->selectItemAtIndex(0);
}

void PLRPublishTypeSelectionViewController::ensureAddtionalTextOptions()
{
    if (m_themePopUpButton->title() == kOtherTheme) {
        m_themeTextField->setStringValue(QString());
        m_themeTextField->setPlaceholderString(QStringLiteral("theme name / info"));
        m_themeTextErrorBox->setHidden(false);
    } else {
        m_themeTextErrorBox->setHidden(true);
    }
}

void PLRPublishTypeSelectionViewController::websiteThemeChanged()
{
    ensureAddtionalTextOptions();
}

void PLRPublishTypeSelectionViewController::viewWillBecomeActive(PLRModalViewController* modal)
{
    view();
    modal->setPrimaryEnabled(true);
    m_stackView->setHidden(false);
    m_waiting = false;
    m_succeeded = false;
    observeUserManager();
    if (userStateName() == QLatin1String(PLRWSUM_STATE_NOT_VERIFIED)) {
        ensureWebsiteThemeUI();
        checkEmailVerified();
        return;
    }
    if (const PLRWebServicePublisherPtr publisher = remotePublisher()) {
        m_hostTextField->setStringValue(publisher->host());
        const qint64 type = publisher->type();
        if (type == 2 || type == 3) {
            m_websiteHostStack->setSelectedIndex(1);
            ensureWebsiteThemeUI();
            const QStringList& themes = PLRPublishSetupPages::wordPressThemes();
            if (themes.contains(publisher->themeInfo())) {
                m_themePopUpButton->setTitle(publisher->themeInfo());
            } else {
                m_themePopUpButton->setTitle(kOtherTheme);
                ensureAddtionalTextOptions();
                m_themeTextField->setStringValue(publisher->themeInfo());
            }
        } else if (type == 0) {
            m_websiteHostStack->setSelectedIndex(2);
            ensureWebsiteThemeUI();
            m_themeTextField->setStringValue(publisher->themeInfo());
        } else {
            m_websiteHostStack->setSelectedIndex(0);
            ensureWebsiteThemeUI();
        }
        return;
    }
    m_hostTextField->setStringValue(QString());
    ensureWebsiteThemeUI();
}


void PLRPublishTypeSelectionViewController::primaryActionWasSelected(PLRModalViewController* modal)
{
    if (m_succeeded) {
        finishSetUp(modal);
        return;
    }
    if (m_waiting)
        return;
    modal->dismissError();
    const QString host = m_hostTextField->stringValue();
    const qint64 index = m_websiteHostStack->selectedIndex();
    const QString themeText = m_themeTextField->stringValue();
    const QString selectedTheme = m_themePopUpButton->title();
    auto refuse = [modal](const QString& message) { modal->presentError(message, std::nullopt, std::nullopt); };
    if (host.trimmed().isEmpty())
        return refuse(QStringLiteral("You need to enter your Website URL"));
    if (index < 0 || index > 2)
        return refuse(QStringLiteral("You need to select a Website Host"));
    if (index == 1 && selectedTheme == kSelectOne)
        return refuse(QStringLiteral("You need to select a Website Theme"));
    if (index == 2 && themeText.trimmed().isEmpty())
        return refuse(QStringLiteral("Please enter the name of your website provider / builder"));
    if (index == 1 && selectedTheme == kOtherTheme && themeText.trimmed().isEmpty())
        return refuse(QStringLiteral("You need to provide the details of your custom theme"));

    qint64 type = 0;
    QString theme;
    if (index == 0) {
        type = 1;
        theme = selectedTheme == kSelectOne ? QString() : selectedTheme;
    } else if (index == 1) {
        type = 3;
        theme = selectedTheme == kOtherTheme ? themeText : selectedTheme;
    } else {
        type = 0;
        theme = themeText;
    }
    m_waiting = true;
    modal->setPrimaryEnabled(false);
    modal->startSpinner(QStringLiteral("One moment"));
    m_stackView->setHidden(true);
    observeUserManager();
    PLRWebServiceUserManager* users = userManager();
    const bool sent = users && (users->remotePublisher() ? users->updatePublisher(type, host, theme)
                                                          : users->createPublisher(type, host, theme));
    if (!sent) {
        // The session's machine is busy or gone: nothing was sent, so nothing will answer.
        m_waiting = false;
        m_stackView->setHidden(false);
        modal->stopSpinner();
        modal->setPrimaryEnabled(true);
        modal->presentError(kUpdateError, std::nullopt, std::nullopt);
    }
}

void PLRPublishTypeSelectionViewController::webServiceManagerStateChangeNotification(const QString& state, const QString& event,
                                                                                     const QVariantMap& userInfo)
{
    PLRModalViewController* modal = modalViewController();
    if (!modal)
        return;
    if (state == QLatin1String(PLRWSUM_STATE_IDLE) && m_checkingVerification) {
        m_stackView->setHidden(false);
        modal->stopSpinner();
        m_checkingVerification = false;
        modal->setPrimaryEnabled(true);
        return;
    }
    if (state == QLatin1String(PLRWSUM_STATE_IDLE)) {
        if (!m_waiting)
            return;
        if (event == QLatin1String(PLRWSUM_EVENT_CREATED_PUBLISHER) || event == QLatin1String(PLRWSUM_EVENT_UPDATED_PUBLISHER)) {
            handleSuccess();
        } else if (event == QLatin1String(PLRWSUM_EVENT_FAILED_PUBLISHER_CREATE) ||
                   event == QLatin1String(PLRWSUM_EVENT_FAILED_PUBLISHER_UPDATE)) {
            m_stackView->setHidden(false);
            const QVariant error = userInfo.value(latin(kPLRWSUMErrorKey));
            if (error.canConvert<PLRServiceError>() && error.value<PLRServiceError>().code() == 506)
                m_hostErrorBox->setErrorState(true);
            else
                modal->presentError(kUpdateError, std::nullopt, std::nullopt);
            m_waiting = false;
            modal->stopSpinner();
            modal->setPrimaryEnabled(true);
        }
        return;
    }
    if (state == QLatin1String(PLRWSUM_STATE_NOT_VERIFIED)) {
        m_stackView->setHidden(false);
        modal->stopSpinner();
        m_checkingVerification = false;
        m_waiting = false;
        modal->setPrimaryEnabled(true);
        presentEmailVerifyError();
    }
}

void PLRPublishTypeSelectionViewController::handleSuccess()
{
    PLRModalViewController* modal = modalViewController();
    const PLRWebServicePublisherPtr publisher = remotePublisher();
    m_waiting = false;
    if (publisher && publisher->type() == 3) {
        modal->moveToNextView();
        return;
    }
    m_succeeded = true;
    modal->presentCompletionCover(QStringLiteral("Settings Updated"), completionButtonTitle());
}

void PLRPublishTypeSelectionViewController::presentEmailVerifyError()
{
    if (PLRModalViewController* modal = modalViewController())
        modal->presentError(QStringLiteral("Your email is not verified. Check your inbox for an email from us."),
                            QStringLiteral("Check Again"), QStringLiteral("Send me a new email"));
}

void PLRPublishTypeSelectionViewController::checkEmailVerified()
{
    PLRModalViewController* modal = modalViewController();
    if (!modal)
        return;
    modal->setPrimaryEnabled(false);
    m_checkingVerification = true;
    modal->startSpinner(QStringLiteral("One Moment"));
    modal->dismissError();
    observeUserManager();
    PLRWebServiceUserManager* users = userManager();
    if (!users || !users->refreshInfo()) {
        m_checkingVerification = false;
        modal->stopSpinner();
        modal->setPrimaryEnabled(true);
        presentEmailVerifyError();
    }
}

void PLRPublishTypeSelectionViewController::primaryActionForErrorWasClicked(PLRModalViewController*)
{
    checkEmailVerified();
}

void PLRPublishTypeSelectionViewController::secondaryActionForErrorWasClicked(PLRModalViewController* modal)
{
    modal->startSpinner(QStringLiteral("One Moment"));
    PLRWebServiceUserManager* users = userManager();
    const PLRWebServiceUserPtr user = users ? users->remoteUser() : nullptr;
    QPointer<PLRPublishTypeSelectionViewController> self(this);
    auto failed = [self] {
        if (!self || !self->modalViewController())
            return;
        // The mail was not sent: say so and offer both choices again.
        self->modalViewController()->stopSpinner();
        self->modalViewController()->presentError(
            QStringLiteral("The email could not be sent. Try again in a moment."), QStringLiteral("Check Again"),
            QStringLiteral("Send me a new email"));
    };
    const bool sent = user && user->sendEmailVerifyMail([self, failed](bool success, const QVariant&,
                                                                         const std::optional<PLRServiceError>&,
                                                                         const platform::Error&) {
        if (!self || !self->modalViewController())
            return;
        if (!success)
            return failed();
        self->modalViewController()->presentCompletionCover(QStringLiteral("Email Sent"), std::nullopt);
        self->after(1.5, [self] {
            if (self && self->modalViewController()) {
                self->modalViewController()->stopSpinner();
                self->presentEmailVerifyError();
            }
        });
    });
    if (!sent)
        failed();
}
