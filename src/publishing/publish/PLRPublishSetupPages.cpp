#include "publishing/publish/PLRPublishSetupPages.h"

#include "services/state_machine/PLRFiniteStateMachineErrors.h"
#include "controls/ColorWithHex.h"
#include "controls/PLRCheckboxButton.h"
#include "controls/PLRErrorBox.h"
#include "controls/PLRHyperLinkView.h"
#include "controls/PLRLinkButtons.h"
#include "controls/PLRModalOverlayWindow.h"
#include "controls/PLRPopupButton.h"
#include "platform/Log.h"
#include "platform/Storyboard.h"
#include "platform/Workspace.h"
#include "platform-ui/Controls.h"
#include "platform-ui/Cursor.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"
#include "platform-ui/Layer.h"
#include "publishing/publish/PLRPublishTimers.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRUserSession.h"
#include "shell/modal/PLRModalManager.h"
#include "shell/modal/PLRModalViewController.h"
#include "services/web-services/PLRServiceError.h"
#include "services/web-services/PLRWebServiceUser.h"
#include "services/web-services/PLRWebServiceUserManager.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

using namespace platform::ui;

namespace {

QString latin(const char* text) { return QString::fromLatin1(text); }

const QString kOtherTheme = QStringLiteral("Other / Custom Theme");
const QString kSelectOne = QStringLiteral("Select One");
const QString kUpdateError = QStringLiteral("An Error occurred updating your account. Try again in a moment");
const QString kNoPluginError = QStringLiteral("Pellora cannot find the plug-in on your website");
const QString kNoPluginMoreInfo = QStringLiteral("click here for more info");
const QString kPluginHelpPath = QStringLiteral("en/articles/2866370-pellora-wordpress-plugin");

TextField* label(const QString& text, QWidget* parent, double size = 12, FontWeight weight = FontWeight::Regular)
{
    auto* field = TextField::labelWithString(text, parent);
    field->setFont(systemFont(size, weight));
    return field;
}

// An explanation that wraps to the page's width.
QLabel* paragraph(const QString& text, QWidget* parent, const QColor& colour = QColor(64, 64, 64))
{
    auto* body = new QLabel(text, parent);
    body->setWordWrap(true);
    body->setFont(systemFont(12));
    QPalette palette = body->palette();
    palette.setColor(QPalette::WindowText, colour);
    body->setPalette(palette);
    return body;
}

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

// A descriptor: its picture, credit and controller scene.
class SetupPageDescriptor : public PLRModalView {
public:
    SetupPageDescriptor(QString image, QString identifier, bool large = false)
        : m_image(std::move(image)), m_identifier(std::move(identifier)), m_large(large) {}
    QImage image() const override { return namedImage(m_image); }
    bool imageCreditIsDark() const override { return false; }
    QString imageCredit() const override { return QStringLiteral("Pellora Studio"); }
    QUrl imageCreditURL() const override { return QUrl(QStringLiteral("https://pellora.com")); }
    bool requireLargeView() const override { return m_large; }

protected:
    std::unique_ptr<PLRModalPanelViewController> makeViewController() override
    {
        QObject* object = platform::Storyboard::instantiate(latin(kPLRModalWindowStoryboard), m_identifier);
        auto* controller = qobject_cast<PLRModalPanelViewController*>(object);
        if (!controller) {
            PLR_LOG_ERROR(QStringLiteral("The dialog page %1 cannot be made").arg(m_identifier));
            delete object;
            return nullptr;
        }
        return std::unique_ptr<PLRModalPanelViewController>(controller);
    }

private:
    QString m_image;
    QString m_identifier;
    bool m_large;
};

template <class Controller>
void registerPage(const char* descriptor, const char* image, const char* identifier, bool large = false)
{
    const QString storyboard = latin(kPLRModalWindowStoryboard);
    platform::Storyboard::registerScene(storyboard, latin(identifier), [] { return new Controller; });
    PLRModalView::registerPage(latin(descriptor), [image, identifier, large] {
        return std::make_unique<SetupPageDescriptor>(latin(image), latin(identifier), large);
    });
}

} // namespace

void PLRPublishSetupPages::install()
{
    registerPage<PLRPublishTypeSelectionViewController>(kPLRModalPublishTypeView, "modal_image_2",
                                                        "PLRPublishTypeSelectionViewController");
    registerPage<PLRPublishPluginViewController>(kPLRModalPublishPluginTypeView, "modal_image_3",
                                                 "PLRPublishPluginViewController");
    registerPage<PLRPublishSecretViewController>(kPLRModalPublishSecretView, "modal_image_4",
                                                 "PLRPublishSecretViewController");
    registerPage<PLRPublishDefaultViewController>(kPLRModalPublishDefaultsView, "modal_image_5",
                                                  "PLRPublishDefaultViewController");
    registerPage<PLRFirstPostCompletedViewController>(kPLRFirstPostCompletedView, "modal_image_8",
                                                      "PLRFirstPostCompletedViewController");
    registerPage<PLRPublishGuttenburgViewController>(kPLRModalGuttenburgView, "modal_image_6",
                                                     "PLRPublishGuttenburgViewController");
    registerPage<PLRPublishChoiceViewController>(kPLRModalPublishChoice, "modal_image_1",
                                                 "PLRPublishChoiceViewController", true);
}

const QStringList& PLRPublishSetupPages::wordPressThemes()
{
    static const QStringList themes = [] {
        QStringList names{QStringLiteral("Flothemes"), QStringLiteral("Showit"), QStringLiteral("Pro Photo")};
        std::sort(names.begin(), names.end());
        return names;
    }();
    return themes;
}

// ---------------------------------------------------------------- shared

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
    m_pending.push_back(PLRPublishTimers::after(seconds, this, std::move(task)));
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

// ---------------------------------------------------------------- type selection

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

// ---------------------------------------------------------------- plug-in check

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
    m_noPluginLink = new Pellora_Publish::PLRLinkButton(m_stackView);
    m_noPluginLink->setTitle(QStringLiteral("Publish without the plug-in"));
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

// ---------------------------------------------------------------- access key

PLRSecretCopyView::PLRSecretCopyView(QWidget* parent) : View(parent)
{
    setWantsLayer(true);
    layer()->setCornerRadius(5.0);
    layer()->setBackgroundColor(Color(0.59, 0.59, 0.59, 0.0));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 8, 10, 8);
    m_copyLabel = label(QString(), this, 13);
    m_copyLabel->setFont(QFont(QStringLiteral("SFMono-Regular"), 13));
    m_copyLabel->setIdentifier(QStringLiteral("secretLabel"));
    m_infoLabel = label(QStringLiteral("Your access key"), this, 11);
    m_infoLabel->setTextColor(Color(0.4, 0.4, 0.4));
    column->addWidget(m_copyLabel);
    column->addWidget(m_infoLabel);
    setCursor(Qt::PointingHandCursor);
}

void PLRSecretCopyView::updateTrackingAreas()
{
    View::updateTrackingAreas();
    if (m_tracking)
        return;
    m_tracking = true;
    addTrackingArea(bounds(), TrackingMouseEnteredAndExited | TrackingActiveAlways);
}

void PLRSecretCopyView::showInfo(const QString& text, double delay)
{
    QPointer<PLRSecretCopyView> self(this);
    m_steps.push_back(PLRPublishTimers::after(delay, this, [self, text] {
        if (!self)
            return;
        self->m_infoLabel->setStringValue(text);
        self->m_infoLabel->setAlphaValue(1.0);
    }));
}

void PLRSecretCopyView::mouseEntered(const MouseEvent&)
{
    layer()->setBackgroundColor(Color(0.59, 0.59, 0.59, 0.3));
    m_prevInfoText = m_infoLabel->stringValue();
    m_infoLabel->setAlphaValue(0.0);
    showInfo(QStringLiteral("Click to copy to clipboard"), 0.4);
}

void PLRSecretCopyView::mouseExited(const MouseEvent&)
{
    for (const platform::Cancellable& step : m_steps)
        step.cancel();
    m_steps.clear();
    layer()->setBackgroundColor(Color(0.59, 0.59, 0.59, 0.0));
    m_infoLabel->setStringValue(m_prevInfoText);
    m_infoLabel->setAlphaValue(1.0);
}

void PLRSecretCopyView::mouseUp(const MouseEvent&)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        clipboard->clear();
        clipboard->setText(m_copyLabel->stringValue());
    }
    for (const platform::Cancellable& step : m_steps)
        step.cancel();
    m_steps.clear();
    m_infoLabel->setAlphaValue(0.0);
    showInfo(QStringLiteral("Copied to clipboard!"), 0.4);
    QPointer<PLRSecretCopyView> self(this);
    m_steps.push_back(PLRPublishTimers::after(1.4, this, [self] {
        if (self)
            self->m_infoLabel->setAlphaValue(0.0);
    }));
    const QString previous = m_prevInfoText.isEmpty() ? QStringLiteral("Your access key") : m_prevInfoText;
    showInfo(previous, 1.8);
}

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

// ---------------------------------------------------------------- defaults

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

// ---------------------------------------------------------------- first post

PLRFirstPostCompletedViewController::PLRFirstPostCompletedViewController(QObject* parent) : PLRPublishSetupPage(parent) {}

View* PLRFirstPostCompletedViewController::loadView()
{
    View* root = makePage(QStringLiteral("Your first post is published"),
                          QStringLiteral("Congratulations! Your post is on your website."));
    auto* column = static_cast<QVBoxLayout*>(m_stackView->layout());
    auto* wordPress = paragraph(QStringLiteral("Find it among your WordPress posts; it goes live in the category you chose."),
                                m_stackView);
    m_wordPressHelp = wordPress;
    column->addWidget(wordPress);
    auto* squareSpace = paragraph(QStringLiteral("Paste the post's link into a code block of your website's page to show it."),
                                  m_stackView);
    m_squareSpaceHelp = squareSpace;
    column->addWidget(squareSpace);
    m_hyperLink = new PLRHyperLinkView(m_stackView);
    m_hyperLink->setStringValue(QStringLiteral("Need help? Read the guide."));
    m_hyperLink->setLinkTitle(QStringLiteral("Read the guide"));
    m_hyperLink->setMinimumHeight(20);
    column->addWidget(m_hyperLink);
    return root;
}

void PLRFirstPostCompletedViewController::viewWillBecomeActive(PLRModalViewController*)
{
    viewWillAppear();
}

void PLRFirstPostCompletedViewController::viewWillAppear()
{
    PLRPublishSetupPage::viewWillAppear();
    view();
    if (const PLRWebServicePublisherPtr publisher = remotePublisher()) {
        m_hideForWordPress = publisher->type() != 3;
        m_hideForSquareSpace = publisher->type() == 3;
    }
    m_wordPressHelp->setHidden(m_hideForWordPress);
    m_squareSpaceHelp->setHidden(m_hideForSquareSpace);
    m_hyperLink->setLinkURL(
        PLRDefaults::supportURLForPath(QStringLiteral("/en/articles/2779268-publish-your-blog-to-squarespace")).toString());
}

void PLRFirstPostCompletedViewController::primaryActionWasSelected(PLRModalViewController* modal)
{
    modal->dismissModalWithSuccess(true);
}

// ---------------------------------------------------------------- Gutenberg

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

// ---------------------------------------------------------------- publish or export

PLRPublishChoiceViewController::PLRPublishChoiceViewController(QObject* parent) : PLRPublishSetupPage(parent) {}

View* PLRPublishChoiceViewController::loadView()
{
    auto* root = new View;
    root->resize(int(PLRModalViewController::kPageWidth), 785);
    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(30, 30, 30, 30);
    column->setSpacing(14);
    m_mainTitleLabel = label(QString(), root, 20, FontWeight::Medium);
    column->addWidget(m_mainTitleLabel);
    auto choice = [&](QPointer<Box>& box, QPointer<PLRGradientButton>& button, const QString& text,
                      std::function<void()> action) {
        box = new Box(root);
        box->setBorderWidth(2.0);
        box->setCornerRadius(6.0);
        auto* inner = new QVBoxLayout(box);
        inner->setContentsMargins(16, 16, 16, 16);
        inner->addWidget(paragraph(text, box));
        button = new PLRGradientButton(box);
        button->setBorderRadius(5);
        button->setMinimumHeight(32);
        button->setTarget(this);
        button->setAction([action](Control*) { action(); });
        inner->addWidget(button);
        column->addWidget(box);
    };
    choice(m_publishView, m_publishButton, QStringLiteral("Publish your post straight to your website."),
           [this] { publishAction(); });
    m_secondaryTitleLabel = label(QString(), root, 16, FontWeight::Medium);
    column->addWidget(m_secondaryTitleLabel);
    choice(m_exportView, m_exportButton, QStringLiteral("Export your layout as images for social media and other sites."),
           [this] { exportAction(); });
    column->addStretch(1);
    return root;
}

bool PLRPublishChoiceViewController::publishingPrimary() const
{
    return representedData().value(latin(kPLRModalPublishingPrimaryKey)).toBool();
}

void PLRPublishChoiceViewController::viewWillBecomeActive(PLRModalViewController*)
{
    viewWillAppear();
}

void PLRPublishChoiceViewController::viewWillAppear()
{
    PLRPublishSetupPage::viewWillAppear();
    view();
    const bool primary = publishingPrimary();
    auto accent = [](double alpha) { return Color(243 / 255.0, 132 / 255.0, 142 / 255.0, alpha); };
    auto style = [](PLRGradientButton* button, bool blue, const QString& title) {
        if (blue) {
            button->setStartColour(ColorWithHex::gradientBlueStartColour());
            button->setEndColour(ColorWithHex::gradientBlueEndColour());
            button->setTitleColour(Color::white());
            button->setDrawBorder(false);
        } else {
            button->setStartColour(ColorWithHex::gradientGreyStartColour());
            button->setEndColour(ColorWithHex::gradientGreyEndColour());
            button->setTitleColour(Color::black());
            button->setDrawBorder(true);
            button->setBorderColour(Color(0, 0, 0, 0.2));
        }
        button->setTitle(title);
        button->awakeFromNib();
    };
    m_mainTitleLabel->setStringValue(primary ? QStringLiteral("Just so you know,") : QStringLiteral("Make the most of Pellora,"));
    m_secondaryTitleLabel->setStringValue(primary ? QStringLiteral("You can also Export") : QStringLiteral("Try Publish"));
    m_publishView->setBorderColor(accent(primary ? 1.0 : 0.4));
    m_exportView->setBorderColor(accent(primary ? 0.4 : 1.0));
    style(m_publishButton, primary, primary ? QStringLiteral("Continue Publishing") : QStringLiteral("Publish now"));
    style(m_exportButton, !primary, primary ? QStringLiteral("Show me") : QStringLiteral("Continue Export"));
    m_publishButton->setKeyEquivalent(primary ? QStringLiteral("\r") : QString());
    m_exportButton->setKeyEquivalent(primary ? QString() : QStringLiteral("\r"));
}

void PLRPublishChoiceViewController::publishAction()
{
    platform::NotificationCenter::defaultCenter().post(latin(kPLRNotificationShowExportPublishPanel), nullptr,
                                                       {{latin(kPLRShouldOpenPublishTabKey), true}});
    if (PLRModalViewController* modal = modalViewController())
        modal->moveToNextView();
}

void PLRPublishChoiceViewController::exportAction()
{
    PLRDefaults::setPublishExportOptionPanelPresented(true);
    PLRModalViewController* modal = modalViewController();
    if (!publishingPrimary()) {
        if (modal)
            modal->dismissModalWithSuccess(true);
        return;
    }
    if (modal)
        modal->dismissModalWithSuccess(false);
    platform::NotificationCenter::defaultCenter().post(latin(kPLRNotificationShowExportPublishPanel), nullptr,
                                                       {{latin(kPLRShouldOpenPublishTabKey), false}});
}
