// The sign-in form against the development service: field errors by the service's codes, one
// request per press, the alert for any other failure, and the clear password field.

#include "ShellTestSupport.h"

#include "controls/PLRErrorBox.h"
#include "controls/PLRHyperLinkView.h"
#include "shell/PLRAuthViewController.h"
#include "platform/Resets.h"
#include "services/PLRServices.h"
#include "shell/home/PLRHomeViewController.h"

#include <QKeyEvent>
#include <QLineEdit>

using namespace shell_test;

class SignInTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        prepareExistingStore();
        launch();
        ASSERT_TRUE(waitFor([this] { return root()->isShowingAuth(); }));
        auth = root()->authViewController();
    }
    void fill(const QString& email, const QString& password)
    {
        auth->usernameTextField()->setStringValue(email);
        auth->passwordTextField()->setStringValue(password);
    }
    void waitForAnswer()
    {
        ASSERT_TRUE(waitFor([this] { return !auth->tryingLogin(); }));
    }
    PLRAuthViewController* auth = nullptr;
};

TEST_F(SignInTest, ServiceCodesMarkTheirFieldsAndEachTryStartsClear)
{
    fill(testing_support::DevService::demoEmail(), QStringLiteral("wrong"));
    auth->signInButton()->performClick();
    waitForAnswer();
    EXPECT_TRUE(auth->passwordErrorBox()->isShowingError());
    EXPECT_EQ(auth->passwordErrorLabel()->stringValue(), QStringLiteral("Incorrect password"));
    EXPECT_FALSE(auth->usernameErrorBox()->isShowingError());

    fill(QStringLiteral("nobody@pellora.test"), QStringLiteral("whatever"));
    auth->signInButton()->performClick();
    // The new try clears the old mark at once.
    EXPECT_FALSE(auth->passwordErrorBox()->isShowingError());
    waitForAnswer();
    EXPECT_TRUE(auth->usernameErrorBox()->isShowingError());
    EXPECT_EQ(auth->usernameErrorLabel()->stringValue(), QStringLiteral("Incorrect email"));
    EXPECT_FALSE(auth->passwordErrorBox()->isShowingError());
    EXPECT_TRUE(root()->isShowingAuth());
}

TEST_F(SignInTest, MissingInputMarksOnlyTheEmailAndSendsNothing)
{
    service.clearRequests();
    fill(QString(), QString());
    auth->signInAction(nullptr);
    EXPECT_TRUE(auth->usernameErrorBox()->isShowingError());
    EXPECT_EQ(auth->usernameErrorLabel()->stringValue(), QStringLiteral("Email required"));
    EXPECT_FALSE(auth->passwordErrorBox()->isShowingError());
    fill(QStringLiteral("a@b.c"), QString());
    auth->signInAction(nullptr);
    EXPECT_TRUE(auth->passwordErrorBox()->isShowingError());
    EXPECT_EQ(auth->passwordErrorLabel()->stringValue(), QStringLiteral("Password required"));
    letTimePass(0.1);
    EXPECT_TRUE(service.requests(QStringLiteral("/api/log-in")).isEmpty());
}

TEST_F(SignInTest, DoublePressSendsOneRequestAndSucceeds)
{
    service.clearRequests();
    service.script({{QStringLiteral("path"), QStringLiteral("/api/log-in")}, {QStringLiteral("delay_ms"), 300}});
    fill(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    auth->signInButton()->performClick();
    auth->signInButton()->performClick();
    EXPECT_TRUE(auth->progressIndicator()->isAnimating());
    ASSERT_TRUE(waitFor([this] { return PLRCoreManager::userSession() != nullptr; }));
    finishAnimations();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    EXPECT_FALSE(root()->isShowingAuth());
    EXPECT_EQ(service.requests(QStringLiteral("/api/log-in")).size(), 1);
}

TEST_F(SignInTest, OtherFailuresAreToldInAnAlertAndTheFormStaysUsable)
{
    // Another service code.
    service.scriptServiceError(QStringLiteral("/api/log-in"), 7, 403);
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    fill(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    auth->signInAction(nullptr);
    waitForAnswer();
    ASSERT_EQ(alerts().shown().size(), 1u);
    EXPECT_EQ(alerts().shown().back().messageText, QStringLiteral("Cannot Sign In"));
    EXPECT_FALSE(alerts().shown().back().informativeText.isEmpty());
    EXPECT_FALSE(auth->usernameErrorBox()->isShowingError());
    EXPECT_FALSE(auth->passwordErrorBox()->isShowingError());

    // Garbage for an answer.
    service.script({{QStringLiteral("path"), QStringLiteral("/api/log-in")}, {QStringLiteral("status"), 200},
                    {QStringLiteral("raw"), QStringLiteral("<html>not json")}});
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    auth->signInAction(nullptr);
    waitForAnswer();
    ASSERT_EQ(alerts().shown().size(), 2u);
    EXPECT_EQ(alerts().shown().back().messageText, QStringLiteral("Cannot Sign In"));

    // The connection dropped under the log-in (a transport error). Taking the whole service
    // down would race the connection probe, which may notice first and keep the form waiting.
    // (Qt sends a request once more when a reused connection closes, so every try drops.)
    service.script({{QStringLiteral("path"), QStringLiteral("/api/log-in")}, {QStringLiteral("drop"), true},
                    {QStringLiteral("count"), 5}});
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    auth->signInAction(nullptr);
    waitForAnswer();
    ASSERT_EQ(alerts().shown().size(), 3u);
    EXPECT_FALSE(PLRCoreManager::userSession());

    // And the form still signs in afterwards.
    service.control("DELETE", QStringLiteral("/__control/script"));
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
    auth->signInAction(nullptr);
    ASSERT_TRUE(waitFor([] { return PLRCoreManager::userSession() != nullptr; }));
}

TEST_F(SignInTest, ASignInThatCannotStartSaysTheServerCannotBeReached)
{
    const platform::HookGuard<PLRCoreManager::SignInHandler> refused(
        &PLRCoreManager::setSignInHandler,
        [](const QString&, const QString&, PLRCoreManager::SignInCompletion) { return false; }, &PLRServices::signIn);
    alerts().enqueue(platform::kAlertFirstButtonReturn);
    fill(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    auth->signInAction(nullptr);
    ASSERT_EQ(alerts().shown().size(), 1u);
    EXPECT_EQ(alerts().shown().front().messageText, QStringLiteral("Cannot Reach Server"));
    EXPECT_EQ(alerts().shown().front().informativeText,
              QStringLiteral("An error occured while Logging In. Ensure you have an internet connection and try again."));
    EXPECT_EQ(alerts().shown().front().buttons, QStringList{QStringLiteral("OK")});
    // Ready for another try.
    EXPECT_FALSE(auth->tryingLogin());
    EXPECT_FALSE(auth->progressIndicator()->isAnimating());
}

TEST_F(SignInTest, ClearPasswordFieldIsWhatIsSent)
{
    fill(testing_support::DevService::demoEmail(), QStringLiteral("typed-hidden"));
    auth->showPassword(nullptr);
    EXPECT_FALSE(auth->passwordShowTextField()->isHidden());
    EXPECT_TRUE(auth->passwordTextField()->isHidden());
    EXPECT_EQ(auth->passwordShowTextField()->stringValue(), QStringLiteral("typed-hidden"));
    EXPECT_EQ(auth->passwordShowHideToggleButton()->title(), QStringLiteral("HIDE"));
    auth->passwordShowTextField()->setStringValue(testing_support::DevService::demoPassword());
    auth->signInAction(nullptr);
    ASSERT_TRUE(waitFor([] { return PLRCoreManager::userSession() != nullptr; }));
    // Hiding again copies the clear text back.
    auth->showPassword(nullptr);
    EXPECT_EQ(auth->passwordTextField()->stringValue(), testing_support::DevService::demoPassword());
    EXPECT_EQ(auth->passwordShowHideToggleButton()->title(), QStringLiteral("SHOW"));
}

TEST_F(SignInTest, LinksOpenThePasswordResetAndHelpPages)
{
    auth->forgotPasswordButton()->performClick();
    auth->showAuthHelp(nullptr);
    const auto& opened = testing_support::recordingWorkspace().openedURLs;
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened.at(0).path(), QStringLiteral("/core/request-password"));
    EXPECT_EQ(opened.at(0).port(), service.port());
    EXPECT_TRUE(opened.at(1).path().endsWith(QStringLiteral("en/articles/3173491-chat-to-support")));
}

namespace {
// A key press as the keyboard delivers it: to the widget that has the focus.
void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* target = QApplication::focusWidget();
    ASSERT_TRUE(target);
    QKeyEvent down(QEvent::KeyPress, key, modifiers, key == Qt::Key_Space ? QStringLiteral(" ") : QString());
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers, key == Qt::Key_Space ? QStringLiteral(" ") : QString());
    QApplication::sendEvent(target, &up);
    testing_support::drainEvents();
}
} // namespace

// "Create one" is a Tab stop of the form: Tab reaches it, it shows the focus ring around the
// link, and Space opens the account page.
TEST_F(SignInTest, TheCreateAccountLinkIsInTheTabOrderAndOpensByKey)
{
    auth->view()->window()->activateWindow();
    ASSERT_TRUE(waitFor([this] { return QApplication::focusWidget() == static_cast<QWidget*>(auth->usernameTextField()->editor()); }));
    PLRHyperLinkView* link = auth->createAccountHyperlinkView();
    int tabs = 0;
    while (QApplication::focusWidget() != link && tabs < 12) {
        press(Qt::Key_Tab);
        ++tabs;
    }
    ASSERT_EQ(QApplication::focusWidget(), link);
    EXPECT_TRUE(link->isShowingFocusRing());
    const QRectF ring = link->focusRingMaskBounds();
    EXPECT_GT(ring.x(), 20.0);   // around "Create one", not the whole line
    EXPECT_LT(ring.width(), link->width() / 2.0);
    press(Qt::Key_Space);
    const auto& opened = testing_support::recordingWorkspace().openedURLs;
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened.front(), QUrl(link->linkURL()));
    // Shift+Tab goes back into the form.
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_NE(QApplication::focusWidget(), link);
    EXPECT_TRUE(auth->view()->isAncestorOf(QApplication::focusWidget()));
}

// The Sign In button is as wide as the fields above it.
TEST_F(SignInTest, TheSignInButtonIsAsWideAsTheFields)
{
    testing_support::drainEvents();
    const QRect button(auth->signInButton()->mapTo(auth->view(), QPoint(0, 0)), auth->signInButton()->size());
    for (QWidget* field : {static_cast<QWidget*>(auth->usernameErrorBox()), static_cast<QWidget*>(auth->passwordErrorBox())}) {
        const QRect box(field->mapTo(auth->view(), QPoint(0, 0)), field->size());
        EXPECT_EQ(button.left(), box.left());
        EXPECT_EQ(button.width(), box.width());
    }
    // Its spinner turns inside it.
    auth->usernameTextField()->setStringValue(QStringLiteral("someone@example.com"));
    auth->passwordTextField()->setStringValue(QStringLiteral("secret"));
    auth->signInAction(nullptr);
    EXPECT_FALSE(auth->progressIndicator()->isHidden());
    EXPECT_TRUE(auth->signInButton()->isAncestorOf(auth->progressIndicator()));
    waitForAnswer();
}

// After signing in the keyboard is not left nowhere: the screen shown takes it.
TEST_F(SignInTest, AfterSigningInTheShownScreenHasTheKeyboard)
{
    auth->view()->window()->activateWindow();
    ASSERT_TRUE(waitFor([this] { return QApplication::focusWidget() == static_cast<QWidget*>(auth->usernameTextField()->editor()); }));
    fill(testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword());
    auth->signInAction(nullptr);
    ASSERT_TRUE(waitFor([this] { return !root()->isShowingAuth(); }));
    finishAnimations();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    EXPECT_TRUE(focused->isVisible());
    EXPECT_TRUE(root()->homeViewController()->view()->isAncestorOf(focused));
}
