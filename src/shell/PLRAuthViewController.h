#pragma once

#include "controls/PLRErrorBox.h"
#include "controls/PLRHyperLinkView.h"
#include "controls/PLRSpinner.h"
#include "platform/Error.h"
#include "platform-ui/Controls.h"
#include "platform-ui/PLRViewController.h"

#include <QPointer>
#include <QVariant>

#include <functional>

class PLRServiceError;

// The sign-in form that root navigation shows whenever nobody is signed in. It signs in through
// the core and reports a success through its completion block; a refusal of the password (service
// code 1) or of the e-mail (code 2) marks that field, any other failure is told in an alert.
class PLRAuthViewController : public PLRViewController {
    Q_OBJECT
public:
    explicit PLRAuthViewController(QObject* parent = nullptr);

    std::function<void(bool)> authCompletionBlock() const { return m_authCompletionBlock; }
    void setAuthCompletionBlock(std::function<void(bool)> block) { m_authCompletionBlock = std::move(block); }

    void viewWillAppear() override;
    void viewDidAppear() override;

    // Actions.
    void signInAction(QObject* sender);
    void forgotPasswordAction(QObject* sender);
    void showPassword(QObject* sender);
    void showAuthHelp(QObject* sender);
    void presentFailureAlert(const QString& activity);

    bool tryingLogin() const { return m_tryingLogin; }

    // Outlets.
    platform::ui::TextField* usernameTextField() const { return m_usernameTextField; }
    platform::ui::TextField* passwordTextField() const { return m_passwordTextField; }
    platform::ui::TextField* passwordShowTextField() const { return m_passwordShowTextField; }
    platform::ui::Button* passwordShowHideToggleButton() const { return m_toggleButton; }
    PLRErrorBox* usernameErrorBox() const { return m_usernameErrorBox; }
    PLRErrorBox* passwordErrorBox() const { return m_passwordErrorBox; }
    platform::ui::TextField* usernameErrorLabel() const { return m_usernameErrorLabel; }
    platform::ui::TextField* passwordErrorLabel() const { return m_passwordErrorLabel; }
    PLRSpinner* progressIndicator() const { return m_progressIndicator; }
    PLRHyperLinkView* createAccountHyperlinkView() const { return m_createAccountHyperlinkView; }
    platform::ui::Button* signInButton() const { return m_signInButton; }
    platform::ui::Button* forgotPasswordButton() const { return m_forgotPasswordButton; }

    // The reason told when a sign-in fails for anything but a refused e-mail or password.
    static QString failureReason(const PLRServiceError* serviceError, const platform::Error& transportError);

protected:
    platform::ui::View* loadView() override;
    void viewDidLoad() override;

private:
    void finishSignIn(bool success, const PLRServiceError* serviceError, const platform::Error& transportError);

    QPointer<platform::ui::TextField> m_usernameTextField;
    QPointer<platform::ui::TextField> m_passwordTextField;
    QPointer<platform::ui::TextField> m_passwordShowTextField;
    QPointer<platform::ui::Button> m_toggleButton;
    QPointer<PLRErrorBox> m_usernameErrorBox;
    QPointer<PLRErrorBox> m_passwordErrorBox;
    QPointer<platform::ui::TextField> m_usernameErrorLabel;
    QPointer<platform::ui::TextField> m_passwordErrorLabel;
    QPointer<PLRSpinner> m_progressIndicator;
    QPointer<PLRHyperLinkView> m_createAccountHyperlinkView;
    QPointer<platform::ui::Button> m_signInButton;
    QPointer<platform::ui::Button> m_forgotPasswordButton;
    bool m_tryingLogin = false;
    std::function<void(bool)> m_authCompletionBlock;
};

// A smaller form (title, e-mail, password) that only collects the two values for its owner, which
// signs in and reports the outcome with assertAttemptResult.
class PLRSignInViewController : public PLRViewController {
    Q_OBJECT
public:
    using Completion = std::function<void(bool proceed, const QString& email, const QString& password)>;
    explicit PLRSignInViewController(QObject* parent = nullptr);

    void presentWithTitle(const QString& title, const QString& email, Completion completion);
    void signInAction(QObject* sender);
    void cancelAction(QObject* sender);
    void forgotPasswordAction(QObject* sender);
    void assertAttemptResult(bool success, const QString& reason);

    platform::ui::TextField* titleLabel() const { return m_titleLabel; }
    platform::ui::TextField* emailTextField() const { return m_emailTextField; }
    platform::ui::TextField* passwordTextField() const { return m_passwordTextField; }
    PLRSpinner* progressIndicator() const { return m_progressIndicator; }

protected:
    platform::ui::View* loadView() override;

private:
    QPointer<platform::ui::TextField> m_titleLabel;
    QPointer<platform::ui::TextField> m_emailTextField;
    QPointer<platform::ui::TextField> m_passwordTextField;
    QPointer<PLRSpinner> m_progressIndicator;
    Completion m_completionBlock;
};
