#include "shell/PLRAuthViewController.h"

#include "controls/ColorWithHex.h"
#include "controls/PLRSmallViews.h"
#include "platform/Alert.h"
#include "platform/Log.h"
#include "platform/Workspace.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Window.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRDefaults.h"
#include "services/web-services/PLRServiceError.h"
#include "services/web-services/PLRWebServiceHost.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

using namespace platform::ui;

namespace {

constexpr auto kCreateAccountURL = "https://pellora.app/sign-up";
constexpr int kFocusRingRoom = int(View::kFocusRingWidth) + 1;

// The sign-in screen: the layout background in a rounded frame.
class AuthView : public View {
public:
    using View::View;
    void drawRect(GraphicsContext& context, const QRectF&) override
    {
        context.fillPath(roundedRectPath(bounds(), 5.0, 5.0), ColorWithHex::smb_layoutBackground());
    }
};

TextField* makeLabel(const QString& text, double size, bool bold, QWidget* parent)
{
    auto* field = TextField::labelWithString(text, parent);
    field->setFont(bold ? boldSystemFont(size) : systemFont(size));
    field->setTextColor(Color(0.2, 0.2, 0.2));
    return field;
}

// A form field inside its error box.
PLRErrorBox* boxAround(QList<QWidget*> fields, QWidget* accessory, QWidget* parent)
{
    auto* box = new PLRErrorBox(parent);
    box->setBorderColor(Color(0.8, 0.8, 0.8));
    box->setFillColor(Color::white());
    box->setCornerRadius(4.0);
    box->setMinimumHeight(36);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(4, 3, 4, 3);
    for (QWidget* field : fields)
        row->addWidget(field, 1);
    if (accessory)
        row->addWidget(accessory);
    return box;
}

void moveInsertionPointToEnd(TextField* field)
{
    if (QLineEdit* editor = field->editor()) {
        editor->deselect();
        editor->setCursorPosition(int(editor->text().size()));
    }
}

void makeFirstResponder(TextField* field)
{
    QWidget* target = field->editor() ? static_cast<QWidget*>(field->editor()) : field;
    if (auto* window = qobject_cast<Window*>(field->window()))
        window->makeFirstResponder(target);
    else
        target->setFocus(Qt::OtherFocusReason);
}

} // namespace

PLRAuthViewController::PLRAuthViewController(QObject* parent) : PLRViewController(parent) {}

View* PLRAuthViewController::loadView()
{
    auto* root = new AuthView;
    auto* card = new QWidget(root);
    // 380 points of form, with room at the sides for the focus ring of its widest controls.
    card->setFixedWidth(380 + 2 * kFocusRingRoom);

    auto* title = makeLabel(QStringLiteral("Sign in to Pellora"), 24, true, card);
    auto* subtitle = makeLabel(QStringLiteral("Use the e-mail address and password of your Pellora account."), 12, false, card);
    subtitle->setTextColor(Color(0.45, 0.45, 0.45));

    m_usernameTextField = new PLRTextField(card);
    m_usernameTextField->setIdentifier(QStringLiteral("usernameTextField"));
    m_usernameTextField->setPlaceholderString(QStringLiteral("Email"));
    m_usernameTextField->setDrawsBackground(false);
    m_usernameErrorBox = boxAround({m_usernameTextField}, nullptr, card);
    m_usernameErrorBox->setIdentifier(QStringLiteral("username"));
    m_usernameErrorLabel = makeLabel(QString(), 11, false, card);
    m_usernameErrorBox->setErrorLabel(m_usernameErrorLabel);
    m_usernameErrorBox->setAssociatedField(m_usernameTextField);

    m_passwordTextField = new PLRSecureTextField(card);
    m_passwordTextField->setIdentifier(QStringLiteral("passwordTextField"));
    m_passwordTextField->setPlaceholderString(QStringLiteral("Password"));
    m_passwordTextField->setDrawsBackground(false);
    m_passwordShowTextField = new PLRTextField(card);
    m_passwordShowTextField->setIdentifier(QStringLiteral("passwordShowTextField"));
    m_passwordShowTextField->setPlaceholderString(QStringLiteral("Password"));
    m_passwordShowTextField->setDrawsBackground(false);
    m_passwordShowTextField->setHidden(true);
    m_toggleButton = Button::withTitle(QStringLiteral("SHOW"), this, [this](Control* sender) { showPassword(sender); }, card);
    m_toggleButton->setBordered(false);
    m_toggleButton->setFixedSize(50, 26);
    m_passwordErrorBox = boxAround({m_passwordTextField, m_passwordShowTextField}, m_toggleButton, card);
    m_passwordErrorBox->setIdentifier(QStringLiteral("password"));
    m_passwordErrorLabel = makeLabel(QString(), 11, false, card);
    m_passwordErrorBox->setErrorLabel(m_passwordErrorLabel);
    m_passwordErrorBox->setAssociatedField(m_passwordTextField);
    m_passwordErrorBox->setAssociatedFieldSecondary(m_passwordShowTextField);

    m_forgotPasswordButton = Button::withTitle(QStringLiteral("Forgot password?"), this,
                                              [this](Control* sender) { forgotPasswordAction(sender); }, card);
    m_forgotPasswordButton->setBordered(false);
    auto* help = Button::withTitle(QStringLiteral("Need help?"), this, [this](Control* sender) { showAuthHelp(sender); }, card);
    help->setBordered(false);

    m_signInButton = Button::withTitle(QStringLiteral("Sign In"), this, [this](Control* sender) { signInAction(sender); }, card);
    m_signInButton->setIdentifier(QStringLiteral("signInButton"));
    m_signInButton->setMinimumHeight(34);
    m_signInButton->setKeyEquivalent(QStringLiteral("\r"));
    // The spinner turns inside the button's right end, so the button is as wide as the fields.
    auto* spinnerHost = new QWidget(m_signInButton);
    spinnerHost->setFixedSize(22, 22);
    spinnerHost->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* inButton = new QHBoxLayout(m_signInButton);
    inButton->setContentsMargins(0, 0, 8, 0);
    inButton->addStretch(1);
    inButton->addWidget(spinnerHost, 0, Qt::AlignVCenter);
    m_progressIndicator = new PLRSpinner(QRectF(0, 0, 22, 22), spinnerHost);
    m_progressIndicator->setSpinnerWidth(3.0);
    m_progressIndicator->setForegroundColour(ColorWithHex::smb_blueColour());
    m_progressIndicator->setup();
    m_progressIndicator->setHidden(true);

    m_createAccountHyperlinkView = new PLRHyperLinkView(card);
    m_createAccountHyperlinkView->setStringValue(QStringLiteral("Don't have an account? Create one"));
    m_createAccountHyperlinkView->setLinkTitle(QStringLiteral("Create one"));
    m_createAccountHyperlinkView->setLinkURL(QLatin1String(kCreateAccountURL));
    m_createAccountHyperlinkView->setMinimumHeight(22);

    auto* links = new QHBoxLayout;
    links->addWidget(m_forgotPasswordButton);
    links->addStretch(1);
    links->addWidget(help);

    auto* column = new QVBoxLayout(card);
    column->setContentsMargins(kFocusRingRoom, 0, kFocusRingRoom, 0);
    column->setSpacing(6);
    column->addWidget(title);
    column->addWidget(subtitle);
    column->addSpacing(14);
    column->addWidget(makeLabel(QStringLiteral("Email"), 12, true, card));
    column->addWidget(m_usernameErrorBox);
    column->addWidget(m_usernameErrorLabel);
    column->addSpacing(4);
    column->addWidget(makeLabel(QStringLiteral("Password"), 12, true, card));
    column->addWidget(m_passwordErrorBox);
    column->addWidget(m_passwordErrorLabel);
    column->addLayout(links);
    column->addSpacing(8);
    column->addWidget(m_signInButton);
    column->addSpacing(12);
    column->addWidget(m_createAccountHyperlinkView);

    auto* outer = new QVBoxLayout(root);
    outer->addStretch(2);
    outer->addWidget(card, 0, Qt::AlignHCenter);
    outer->addStretch(3);

    m_usernameErrorBox->awakeFromNib();
    m_passwordErrorBox->awakeFromNib();
    return root;
}

void PLRAuthViewController::viewDidLoad()
{
    // The form sits on the layout background in a rounded frame (drawn by the view) and its
    // create-account link is left-aligned.
    m_createAccountHyperlinkView->setTextAlignment(TextAlignment::Left);
}

void PLRAuthViewController::viewWillAppear()
{
    m_tryingLogin = false;
    m_progressIndicator->stopAnimating(false);
    m_progressIndicator->setHidden(true);
}

void PLRAuthViewController::viewDidAppear()
{
    makeFirstResponder(m_usernameTextField);
}

void PLRAuthViewController::presentFailureAlert(const QString& activity)
{
    platform::Alert alert;
    alert.messageText = QStringLiteral("Cannot Reach Server");
    alert.informativeText =
        QStringLiteral("An error occured while %1. Ensure you have an internet connection and try again.").arg(activity);
    alert.buttons = {QStringLiteral("OK")};
    platform::runAlert(alert, view()->window());
}

void PLRAuthViewController::signInAction(QObject*)
{
    if (m_tryingLogin)
        return;
    view();
    const QString email = m_usernameTextField->stringValue();
    const QString password =
        m_passwordTextField->isHidden() ? m_passwordShowTextField->stringValue() : m_passwordTextField->stringValue();
    m_usernameErrorBox->setErrorState(false);
    m_passwordErrorBox->setErrorState(false);
    if (email.isEmpty()) {
        m_usernameErrorLabel->setStringValue(QStringLiteral("Email required"));
        m_usernameErrorBox->setErrorState(true);
        return;
    }
    if (password.isEmpty()) {
        m_passwordErrorLabel->setStringValue(QStringLiteral("Password required"));
        m_passwordErrorBox->setErrorState(true);
        return;
    }
    m_tryingLogin = true;
    m_progressIndicator->setHidden(false);
    m_progressIndicator->startAnimating();
    QPointer<PLRAuthViewController> self(this);
    const bool started = PLRCoreManager::signInUserWithEmail(
        email, password,
        [self](bool success, const QVariant&, const PLRServiceError* serviceError, const platform::Error& transportError) {
            if (self)
                self->finishSignIn(success, serviceError, transportError);
        });
    if (!started) {
        m_tryingLogin = false;
        m_progressIndicator->stopAnimating(false);
        m_progressIndicator->setHidden(true);
        presentFailureAlert(QStringLiteral("Logging In"));
    }
}

QString PLRAuthViewController::failureReason(const PLRServiceError* serviceError, const platform::Error& transportError)
{
    if (serviceError) {
        if (!serviceError->error().isEmpty())
            return serviceError->error();
        return QStringLiteral("The service refused the sign-in (code %1).").arg(serviceError->code());
    }
    if (transportError.isValid())
        return transportError.localizedDescription();
    return QStringLiteral("The service's answer could not be read.");
}

void PLRAuthViewController::finishSignIn(bool success, const PLRServiceError* serviceError, const platform::Error& transportError)
{
    m_progressIndicator->stopAnimating(false);
    m_progressIndicator->setHidden(true);
    if (success) {
        if (m_authCompletionBlock)
            m_authCompletionBlock(true);
    } else {
        const qint64 code = serviceError ? serviceError->code() : -1;
        if (code == 1) {
            m_passwordErrorLabel->setStringValue(QStringLiteral("Incorrect password"));
            m_passwordErrorBox->setErrorState(true);
        } else if (code == 2) {
            m_usernameErrorLabel->setStringValue(QStringLiteral("Incorrect email"));
            m_usernameErrorBox->setErrorState(true);
        } else {
            const QString reason = failureReason(serviceError, transportError);
            PLR_LOG_WARN(QStringLiteral("Sign-in failed: %1").arg(reason));
            platform::Alert alert;
            alert.messageText = QStringLiteral("Cannot Sign In");
            alert.informativeText = reason;
            alert.buttons = {QStringLiteral("OK")};
            platform::runAlert(alert, view()->window());
        }
    }
    m_tryingLogin = false;
}

void PLRAuthViewController::showPassword(QObject*)
{
    m_passwordShowTextField->setHidden(!m_passwordShowTextField->isHidden());
    m_passwordTextField->setHidden(!m_passwordTextField->isHidden());
    if (!m_passwordShowTextField->isHidden()) {
        m_passwordShowTextField->setStringValue(m_passwordTextField->stringValue());
        makeFirstResponder(m_passwordShowTextField);
        moveInsertionPointToEnd(m_passwordShowTextField);
        m_toggleButton->setTitle(QStringLiteral("HIDE"));
    } else {
        m_toggleButton->setTitle(QStringLiteral("SHOW"));
        m_passwordTextField->setStringValue(m_passwordShowTextField->stringValue());
        makeFirstResponder(m_passwordTextField);
        moveInsertionPointToEnd(m_passwordTextField);
    }
}

void PLRAuthViewController::forgotPasswordAction(QObject*)
{
    platform::Workspace::shared().openURL(PLRWebServiceHost::currentHost().passwordResetURL());
}

void PLRAuthViewController::showAuthHelp(QObject*)
{
    platform::Workspace::shared().openURL(PLRDefaults::supportURLForPath(QStringLiteral("en/articles/3173491-chat-to-support")));
}

// ---------------------------------------------------------------- the smaller form

PLRSignInViewController::PLRSignInViewController(QObject* parent) : PLRViewController(parent) {}

View* PLRSignInViewController::loadView()
{
    auto* root = new View;
    m_titleLabel = makeLabel(QString(), 18, true, root);
    m_emailTextField = new PLRTextField(root);
    m_emailTextField->setPlaceholderString(QStringLiteral("Email"));
    m_passwordTextField = new PLRSecureTextField(root);
    m_passwordTextField->setPlaceholderString(QStringLiteral("Password"));
    auto* signIn = Button::withTitle(QStringLiteral("Sign In"), this, [this](Control* sender) { signInAction(sender); }, root);
    signIn->setKeyEquivalent(QStringLiteral("\r"));
    auto* cancel = Button::withTitle(QStringLiteral("Cancel"), this, [this](Control* sender) { cancelAction(sender); }, root);
    cancel->setKeyEquivalent(QStringLiteral("\x1b"));
    auto* forgot = Button::withTitle(QStringLiteral("Forgot password?"), this,
                                     [this](Control* sender) { forgotPasswordAction(sender); }, root);
    forgot->setBordered(false);
    auto* spinnerHost = new QWidget(root);
    spinnerHost->setFixedSize(20, 20);
    m_progressIndicator = new PLRSpinner(QRectF(0, 0, 20, 20), spinnerHost);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(forgot);
    buttons->addStretch(1);
    buttons->addWidget(spinnerHost);
    buttons->addWidget(cancel);
    buttons->addWidget(signIn);
    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(24, 20, 24, 20);
    column->addWidget(m_titleLabel);
    column->addWidget(m_emailTextField);
    column->addWidget(m_passwordTextField);
    column->addLayout(buttons);
    return root;
}

void PLRSignInViewController::presentWithTitle(const QString& title, const QString& email, Completion completion)
{
    view();
    m_titleLabel->setStringValue(title);
    m_emailTextField->setStringValue(email.isEmpty() ? QString() : email);
    m_passwordTextField->setStringValue(QString());
    m_completionBlock = std::move(completion);
}

void PLRSignInViewController::signInAction(QObject*)
{
    view();
    const QString email = m_emailTextField->stringValue();
    const QString password = m_passwordTextField->stringValue();
    platform::Alert alert;
    alert.style = platform::AlertStyle::Informational;
    alert.buttons = {QStringLiteral("OK")};
    if (email.isEmpty()) {
        alert.messageText = QStringLiteral("Email Required");
        alert.informativeText = QStringLiteral("Enter your email address to login.");
        platform::runAlert(alert, view()->window());
        return;
    }
    if (password.isEmpty()) {
        alert.messageText = QStringLiteral("Password Required");
        alert.informativeText = QStringLiteral("Enter your password to login.");
        platform::runAlert(alert, view()->window());
        return;
    }
    if (!m_completionBlock)
        return;
    m_progressIndicator->startAnimating();
    m_completionBlock(true, email, password);
}

void PLRSignInViewController::cancelAction(QObject*)
{
    if (m_completionBlock)
        m_completionBlock(false, QString(), QString());
}

void PLRSignInViewController::forgotPasswordAction(QObject*)
{
    platform::Workspace::shared().openURL(
        PLRWebServiceHost::prodHost().serviceCoreURLWithPaths({QStringLiteral("request-password")}));
}

void PLRSignInViewController::assertAttemptResult(bool success, const QString& reason)
{
    m_progressIndicator->stopAnimating(false);
    if (success)
        return;
    platform::Alert alert;
    alert.style = platform::AlertStyle::Critical;
    alert.messageText = QStringLiteral("Error");
    alert.informativeText = reason;
    alert.buttons = {QStringLiteral("OK")};
    platform::runAlert(alert, view()->window());
}
