// Multi-step modal dialogs: responses, one dialog at a time, unknown pages, navigation, the
// Return key, the error bar and covers, the large page size, and nesting inside another session.

#include "TestSupport.h"

#include "controls/PLRControls.h"
#include "controls/PLRModalOverlayWindow.h"
#include "platform/Log.h"
#include "platform-ui/Animation.h"
#include "platform-ui/Window.h"
#include "shell/modal/PLRModalManager.h"
#include "shell/modal/PLRModalViewController.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>

using namespace platform::ui;

namespace {

// A page whose answers the test sets.
struct PageScript {
    std::optional<QString> primaryTitle;
    std::optional<QString> secondaryTitle;
    std::optional<QString> defaultTitle;
    bool showTertiary = false;
    bool large = false;
    bool withField = false;                                   // a stack with one field, like the set-up pages
    std::function<void(PLRModalViewController*)> onPrimary;   // runs on a click of the main button
    int primaryClicks = 0;
    int errorPrimaryClicks = 0;
    int secondaryClicks = 0;
    int activations = 0;
};

class ScriptedPanel : public PLRModalPanelViewController {
public:
    explicit ScriptedPanel(PageScript* script) : m_script(script) {}
    void viewWillBecomeActive(PLRModalViewController*) override { ++m_script->activations; }
    void primaryActionWasSelected(PLRModalViewController* modal) override
    {
        ++m_script->primaryClicks;
        if (m_script->onPrimary)
            m_script->onPrimary(modal);
    }
    void primaryActionForErrorWasClicked(PLRModalViewController*) override { ++m_script->errorPrimaryClicks; }
    void secondaryActionWasSelected(PLRModalViewController*) override { ++m_script->secondaryClicks; }
    bool shouldPresentTertiaryAction(PLRModalViewController*) override { return m_script->showTertiary; }
    std::optional<QString> titleForPrimaryAction(PLRModalViewController*) override { return m_script->primaryTitle; }
    std::optional<QString> titleForSecondaryAction(PLRModalViewController*) override { return m_script->secondaryTitle; }
    std::optional<QString> defaultModalButtonActionTitle(PLRModalViewController*) override { return m_script->defaultTitle; }
protected:
    View* loadView() override
    {
        auto* view = new View;
        view->resize(440, 785);
        if (m_script->withField) {
            stack = new View(view);
            stack->setFrame(QRectF(20, 100, 400, 60));
            field = new TextField(stack);
            field->setEditable(true);
            field->setFrame(QRectF(0, 0, 300, 24));
        }
        return view;
    }
public:
    View* stack = nullptr;
    TextField* field = nullptr;
private:
    PageScript* m_script;
};

class ScriptedPage : public PLRModalView {
public:
    explicit ScriptedPage(PageScript* script) : m_script(script) {}
    bool requireLargeView() const override { return m_script->large; }
    QString imageCredit() const override { return QStringLiteral("A. Photographer"); }
    QUrl imageCreditURL() const override { return QUrl(QStringLiteral("https://photos.example/a-photographer")); }
protected:
    std::unique_ptr<PLRModalPanelViewController> makeViewController() override { return std::make_unique<ScriptedPanel>(m_script); }
private:
    PageScript* m_script;
};

class ModalDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        AnimationClock::shared().setManual(true);
        PLRControls::install();
        for (int i = 0; i < 3; ++i) {
            const QString name = QStringLiteral("TestPage%1").arg(i);
            PageScript* script = &pages[i];
            PLRModalView::registerPage(name, [script] { return std::make_unique<ScriptedPage>(script); });
        }
        main = std::make_unique<Window>(QRectF(100, 100, 900, 700));
        Application::setMainWindow(main.get());
        main->show();
    }
    void TearDown() override { Application::setMainWindow(nullptr); }
    // Runs the dialog; `during` runs inside it once it shows.
    qint64 run(const QStringList& views, qint64 home, const std::function<void(PLRModalViewController*)>& during,
               bool closeButton = true)
    {
        qint64 response = 1;
        int calls = 0;
        QTimer::singleShot(0, [during] {
            PLRModalViewController* dialog = PLRModalManager::currentModalViewController();
            ASSERT_NE(dialog, nullptr);
            during(dialog);
        });
        testing_support::expectModalSessions();
        PLRModalManager::presentModalWindowWithViews(views, {{QStringLiteral("key"), 7}}, closeButton, home, [&](qint64 r) {
            response = r;
            ++calls;
        });
        EXPECT_EQ(calls, 1);
        EXPECT_FALSE(PLRModalManager::isBusy());
        return response;
    }
    PageScript pages[3];
    std::unique_ptr<Window> main;
};

} // namespace

TEST_F(ModalDialog, ResponsesAndOneDialogAtATime)
{
    const QStringList views{QStringLiteral("TestPage0"), QStringLiteral("TestPage1"), QStringLiteral("TestPage2")};
    EXPECT_EQ(run(views, 1, [this, views](PLRModalViewController* dialog) {
        // Opens on the first page whatever the home index; the data reaches the page.
        EXPECT_EQ(dialog->currentIndex(), 0);
        EXPECT_EQ(dialog->currentView()->viewController()->representedData().value(QStringLiteral("key")).toInt(), 7);
        EXPECT_EQ(dialog->currentView()->viewController()->modalViewController(), dialog);
        // A second request while this one runs ends at once with -1000 and shows nothing.
        qint64 nested = 0;
        PLRModalManager::presentModalWindowWithViews(views, {}, false, 0, [&nested](qint64 r) { nested = r; });
        EXPECT_EQ(nested, kModalResponseStop);
        EXPECT_EQ(PLRModalManager::currentModalViewController(), dialog);
        dialog->moveToPreviousView();
        EXPECT_EQ(dialog->currentIndex(), 0);
        dialog->moveToNextView();
        dialog->moveToNextView();
        dialog->moveToNextView();
        EXPECT_EQ(dialog->currentIndex(), 2);
        dialog->startSpinner(QStringLiteral("Checking"));
        dialog->presentError(QStringLiteral("Something went wrong"), std::nullopt, std::nullopt);
        dialog->moveToHomeView();
        EXPECT_EQ(dialog->currentIndex(), 1);
        EXPECT_FALSE(dialog->spinnerCoverActive());
        EXPECT_FALSE(dialog->presentingError());
        EXPECT_TRUE(dialog->coverView()->isHidden());
        dialog->dismissModalWithSuccess(true);
    }), kModalResponseContinue);
    EXPECT_EQ(pages[0].activations, 1);

    EXPECT_EQ(run(views, 0, [](PLRModalViewController* dialog) { dialog->dismissModalWithSuccess(false); }), kModalResponseStop);
    EXPECT_EQ(run(views, 0, [](PLRModalViewController* dialog) { dialog->closeWindowAction(); }), kModalResponseAbort);
    // Escape works the dialog's close button.
    EXPECT_EQ(run(views, 0, [](PLRModalViewController* dialog) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        EXPECT_TRUE(dialog->view()->platformWindow()->performKeyEquivalent(escape));
    }), kModalResponseAbort);
    // The main window is movable again once the dialog is gone.
    EXPECT_TRUE(main->isMovable());
}

TEST_F(ModalDialog, UnknownPagesAndThePublisherWorkflowWithoutPages)
{
    std::vector<qint64> responses;
    PLRModalManager::presentModalWindowWithViews({QStringLiteral("TestPage0"), QStringLiteral("NoSuchPage")}, {}, true, 0,
                                                 [&](qint64 r) { responses.push_back(r); });
    PLRModalManager::presentPublisherWorkflow(false, [&](qint64 r) { responses.push_back(r); });
    // The set-up pages are not registered here: refused like any unknown page.
    PLRModalManager::presentPublisherWorkflow(true, [&](qint64 r) { responses.push_back(r); });
    EXPECT_EQ(responses, (std::vector<qint64>{kModalResponseStop, kModalResponseContinue, kModalResponseStop}));
    EXPECT_EQ(Application::modalWindow(), nullptr);
    EXPECT_EQ(PLRModalManager::publisherWorkflowViews().size(), 4);
}

TEST_F(ModalDialog, ButtonsReturnKeyErrorBarAndCompletionCover)
{
    pages[0].primaryTitle = QStringLiteral("Connect");
    pages[0].secondaryTitle = QStringLiteral("Skip");
    pages[0].defaultTitle = QStringLiteral("Skip");
    run({QStringLiteral("TestPage0")}, 0, [this](PLRModalViewController* dialog) {
        EXPECT_EQ(dialog->primaryButton()->title(), QStringLiteral("Connect"));
        EXPECT_TRUE(dialog->tertiaryButton()->isHidden());
        EXPECT_EQ(dialog->secondaryButton()->keyEquivalent(), QStringLiteral("\r"));
        EXPECT_TRUE(dialog->primaryButton()->keyEquivalent().isEmpty());
        EXPECT_TRUE(dialog->tertiaryButton()->keyEquivalent().isEmpty());
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        EXPECT_TRUE(dialog->view()->platformWindow()->performKeyEquivalent(enter));
        EXPECT_EQ(pages[0].secondaryClicks, 1);
        EXPECT_EQ(pages[0].primaryClicks, 0);

        dialog->presentError(QStringLiteral("The site did not answer"), std::nullopt, std::nullopt);
        EXPECT_TRUE(dialog->presentingError());
        EXPECT_DOUBLE_EQ(dialog->errorTop(), PLRModalViewController::kErrorShownTop);
        EXPECT_EQ(dialog->errorLabel()->stringValue(), QStringLiteral("The site did not answer"));
        EXPECT_TRUE(dialog->errorPrimaryButton()->isHidden());
        EXPECT_TRUE(dialog->errorSecondaryButton()->isHidden());
        AnimationClock::shared().advance(0.3);
        QCoreApplication::processEvents();
        EXPECT_DOUBLE_EQ(dialog->errorView()->alphaValue(), 1.0);
        dialog->dismissError();
        EXPECT_DOUBLE_EQ(dialog->errorTop(), PLRModalViewController::kErrorHiddenTop);
        AnimationClock::shared().advance(0.4);
        QCoreApplication::processEvents();
        EXPECT_TRUE(dialog->errorView()->isHidden());
        // An error shown while the one before still fades (in, then out) stays in sight.
        dialog->presentError(QStringLiteral("First"), std::nullopt, std::nullopt);
        AnimationClock::shared().advance(0.1);
        dialog->dismissError();
        AnimationClock::shared().advance(0.1);
        dialog->presentError(QStringLiteral("Second"), std::nullopt, std::nullopt);
        AnimationClock::shared().advance(0.5);
        QCoreApplication::processEvents();
        EXPECT_FALSE(dialog->errorView()->isHidden());
        EXPECT_DOUBLE_EQ(dialog->errorView()->alphaValue(), 1.0);
        dialog->dismissError();
        AnimationClock::shared().advance(0.4);

        dialog->startSpinner(QStringLiteral("Looking for plug-in"));
        EXPECT_TRUE(dialog->spinnerView()->isAnimating());
        EXPECT_EQ(*dialog->coverView()->backgroundColour(), Color::white(0.7));
        dialog->setPrimaryEnabled(false);
        dialog->presentCompletionCover(QStringLiteral("Settings Updated"), QStringLiteral("Ok"));
        EXPECT_FALSE(dialog->spinnerView()->isAnimating());
        EXPECT_EQ(*dialog->coverView()->backgroundColour(), Color::white());
        EXPECT_EQ(dialog->coverLabel()->stringValue(), QStringLiteral("Settings Updated"));
        EXPECT_EQ(dialog->primaryButton()->title(), QStringLiteral("Ok"));
        EXPECT_TRUE(dialog->primaryButton()->isEnabled());
        EXPECT_TRUE(dialog->secondaryButton()->isHidden());
        EXPECT_FALSE(dialog->coverView()->isHidden());
        // Return goes to the cover's button while it shows, back to the page's own after.
        EXPECT_EQ(dialog->primaryButton()->keyEquivalent(), QStringLiteral("\r"));
        EXPECT_TRUE(dialog->secondaryButton()->keyEquivalent().isEmpty());
        dialog->stopSpinner();
        EXPECT_TRUE(dialog->coverView()->isHidden());
        EXPECT_EQ(dialog->secondaryButton()->keyEquivalent(), QStringLiteral("\r"));
        EXPECT_TRUE(dialog->primaryButton()->keyEquivalent().isEmpty());
        dialog->dismissModalWithSuccess(true);
    });
}

// The completion cover's button takes the keyboard and Return, whichever way the page was left:
// by a click on its main button (the page's field, gone under the cover, lets the keyboard go) or
// by keys alone (the main button, off while the page works, lets it go). Return never reaches what
// is out of sight or beside the point: the error bar's buttons, the picture's credit link.
TEST_F(ModalDialog, TheCompletionCoverTakesReturnOnItsButtonAfterAClickOrByKeys)
{
    pages[0].withField = true;
    pages[0].primaryTitle = QStringLiteral("Continue");
    auto covered = std::make_shared<bool>(false);
    auto ended = std::make_shared<bool>(false);
    // Like a set-up page: the first press saves (the page's controls hide, a spinner turns), the
    // completion cover follows from the event loop; the cover's button ends the dialog.
    pages[0].onPrimary = [covered, ended](PLRModalViewController* modal) {
        if (*covered) {
            *ended = true;
            modal->dismissModalWithSuccess(true);
            return;
        }
        static_cast<ScriptedPanel*>(modal->currentView()->viewController())->stack->setHidden(true);
        modal->setPrimaryEnabled(false);
        modal->startSpinner(QStringLiteral("One Moment"));
        QTimer::singleShot(0, modal, [modal, covered] {
            *covered = true;
            modal->presentCompletionCover(QStringLiteral("Settings Updated"), QStringLiteral("Start Publishing"));
        });
    };
    const auto returnOnFocus = [] {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, Qt::Key_Return);
    };
    for (const bool byKeys : {false, true}) {
        SCOPED_TRACE(byKeys ? "by keys" : "by a click");
        *covered = false;
        pages[0].primaryClicks = pages[0].errorPrimaryClicks = 0;
        testing_support::recordingWorkspace().openedURLs.clear();
        *ended = false;
        const auto steps = [&](PLRModalViewController* dialog) {
            dialog->view()->window()->activateWindow();
            testing_support::drainEvents();
            auto* page = static_cast<ScriptedPanel*>(dialog->currentView()->viewController());
            ASSERT_TRUE(page->field->isAncestorOf(QApplication::focusWidget()));
            if (byKeys) {
                for (int i = 0; i < 20 && QApplication::focusWidget() != dialog->primaryButton(); ++i)
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                ASSERT_EQ(QApplication::focusWidget(), dialog->primaryButton());
                returnOnFocus();
            } else {
                QTest::mouseClick(dialog->primaryButton(), Qt::LeftButton);
            }
            ASSERT_EQ(pages[0].primaryClicks, 1);
            testing_support::drainEvents();
            ASSERT_TRUE(*covered);
            EXPECT_EQ(QApplication::focusWidget(), dialog->primaryButton());
            EXPECT_EQ(dialog->primaryButton()->keyEquivalent(), QStringLiteral("\r"));
            // Tab goes round what the cover leaves in sight, never to the error bar out of sight.
            for (int i = 0; i < 10; ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                EXPECT_FALSE(dialog->errorView()->isAncestorOf(QApplication::focusWidget()));
                EXPECT_FALSE(page->view()->isAncestorOf(QApplication::focusWidget()));
            }
            // From the credit link too, Return presses the cover's button.
            dialog->photographerHyperLink()->setFocus(Qt::TabFocusReason);
            returnOnFocus();
        };
        EXPECT_EQ(run({QStringLiteral("TestPage0")}, 0, [&](PLRModalViewController* dialog) {
            steps(dialog);
            if (!*ended)   // (a failed step leaves the dialog up)
                dialog->dismissModalWithSuccess(false);
        }), kModalResponseContinue);
        EXPECT_EQ(pages[0].primaryClicks, 2);
        EXPECT_EQ(pages[0].errorPrimaryClicks, 0);
        EXPECT_TRUE(testing_support::recordingWorkspace().openedURLs.empty());
    }
}

TEST_F(ModalDialog, TheErrorBarLeavesThePageHeadingAndTheCloseButtonInSight)
{
    run({QStringLiteral("TestPage0")}, 0, [](PLRModalViewController* dialog) {
        // Rectangles in the dialog's own widget coordinates (y downwards).
        const auto rectIn = [dialog](QWidget* w) { return QRect(w->mapTo(dialog->view(), QPoint(0, 0)), w->size()); };
        const QRect pageBefore = rectIn(dialog->contentView());
        dialog->presentError(QStringLiteral("Please enter the name of your website provider / builder"), std::nullopt,
                             std::nullopt);
        AnimationClock::shared().advance(0.3);
        QCoreApplication::processEvents();
        const QRect bar = rectIn(dialog->errorView());
        EXPECT_EQ(bar.top(), int(PLRModalViewController::kErrorShownTop));
        // The page sits below the bar, the close button beside it; without error buttons the
        // message has the bar's whole width.
        EXPECT_GE(rectIn(dialog->contentView()).top(), bar.bottom());
        EXPECT_FALSE(bar.intersects(rectIn(dialog->closeButton())));
        EXPECT_EQ(dialog->errorLabel()->width(), bar.width() - 24);

        // Buttons on the bar take their room from the message, not from each other.
        dialog->presentError(QStringLiteral("Not verified"), QStringLiteral("Resend"), QStringLiteral("Later"));
        QCoreApplication::processEvents();
        EXPECT_FALSE(rectIn(dialog->errorPrimaryButton()).intersects(rectIn(dialog->errorSecondaryButton())));
        EXPECT_FALSE(rectIn(dialog->errorLabel()).intersects(rectIn(dialog->errorPrimaryButton())));

        dialog->dismissError();
        AnimationClock::shared().advance(0.4);
        QCoreApplication::processEvents();
        EXPECT_EQ(rectIn(dialog->contentView()), pageBefore);
        dialog->dismissModalWithSuccess(true);
    });
}

TEST_F(ModalDialog, LargePageResizesAndHidesTheButtonBar)
{
    pages[2].large = true;
    run({QStringLiteral("TestPage0"), QStringLiteral("TestPage1"), QStringLiteral("TestPage2")}, 0,
        [](PLRModalViewController* dialog) {
            Window* window = dialog->view()->platformWindow();
            const QRectF normal = window->frame();
            dialog->moveToNextView(); // normal to normal: the frame stays
            EXPECT_EQ(window->frame(), normal);
            EXPECT_FALSE(dialog->controlView()->isHidden());
            dialog->moveToNextView();
            EXPECT_TRUE(dialog->controlView()->isHidden());
            EXPECT_DOUBLE_EQ(dialog->containerHeight(), 785.0);
            EXPECT_NE(window->frame().size(), normal.size());
            dialog->moveToPreviousView();
            EXPECT_FALSE(dialog->controlView()->isHidden());
            EXPECT_DOUBLE_EQ(dialog->containerHeight(), PLRModalViewController::kNormalContainerHeight);
            dialog->dismissModalWithSuccess(false);
        });
}

TEST_F(ModalDialog, EndingADialogLeavesAnOuterSessionRunning)
{
    Window outer(QRectF(200, 200, 300, 200), WindowStyleBorderless);
    qint64 inner = 0;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [] { PLRModalManager::currentModalViewController()->dismissModalWithSuccess(true); });
        PLRModalManager::presentModalWindowWithViews({QStringLiteral("TestPage0")}, {}, false, 0, [&](qint64 r) { inner = r; });
        // Still inside the outer session: only this test's stop ends it.
        EXPECT_EQ(Application::modalWindow(), &outer);
        Application::stopModal(42);
    });
    testing_support::expectModalSessions(2);   // the outer session and the dialog inside it
    EXPECT_EQ(Application::runModal(&outer), 42);
    EXPECT_EQ(inner, kModalResponseContinue);
}
