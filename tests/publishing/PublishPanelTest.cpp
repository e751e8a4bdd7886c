// The publish panel and the website set-up pages against the development service: a new user's
// road from Publish through the set-up to the built page, the plug-in and access-key pages,
// WordPress categories and the update offer, the panel's progress and its date format.

#include "PublishingTestSupport.h"
#include "platform/Clock.h"

#include "controls/PLRPopupButton.h"
#include "controls/PLRSlidingButtonStack.h"
#include "controls/PLRSwitchButton.h"
#include "panels/inspector/PLRDocumentViewController.h"
#include "panels/inspector/PLRInspectorViewController.h"
#include "platform/Resets.h"
#include "platform-ui/Layer.h"
#include "platform/UserDefaults.h"
#include "platform/UserNotifications.h"
#include "platform-ui/Window.h"
#include "publishing/publish/PLRFirstPostCompletedViewController.h"
#include "publishing/publish/PLRPublishChoiceViewController.h"
#include "publishing/publish/PLRPublishDefaultViewController.h"
#include "publishing/publish/PLRPublishGuttenburgViewController.h"
#include "publishing/publish/PLRPublishPluginViewController.h"
#include "controls/PLRLinkButtons.h"
#include "publishing/publish/PLRPublishSecretViewController.h"
#include "publishing/publish/PLRPublishSetupPages.h"
#include "publishing/publish/PLRPublishTypeSelectionViewController.h"
#include "publishing/publish/PLRPublishViewController.h"
#include "store/session/PLRDefaults.h"
#include "shell/modal/PLRModalManager.h"
#include "shell/modal/PLRModalViewController.h"
#include "shell/post/PLRPostSplitView.h"
#include "shell/post/PLRPostViewController.h"
#include "platform-ui/Animation.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QApplication>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <atomic>
#include <cmath>

using namespace platform::ui;

namespace {

// The shared clock, run by hand: the panels' delayed steps wait until the test runs them.
struct ManualTimers {
    platform::ManualClock& clock = platform::ManualClock::install();

    // The delays of the steps waiting now, in milliseconds' precision (the clock's time is a
    // sum of the steps it moved by, so a delay can be off by the last bits).
    QList<double> waiting() const
    {
        QList<double> delays;
        for (double delay : testing_support::waitingSteps(clock))
            delays << std::round(delay * 1000.0) / 1000.0;
        return delays;
    }
    // Runs the steps waiting now (moves the clock to the last of them).
    int fire()
    {
        const std::vector<double> due = testing_support::waitingSteps(clock);
        if (due.empty())
            return 0;
        clock.advance(due.back());
        return int(due.size());
    }
};

class PublishPanelTest : public PublishingTest {
protected:
    void SetUp() override
    {
        PublishingTest::SetUp();
        mainWindow = std::make_unique<Window>(QRectF(100, 100, 900, 700));
        Application::setMainWindow(mainWindow.get());
        auto recording = std::make_unique<platform::RecordingNotificationCenter>();
        notifications = recording.get();
        platform::UserNotificationCenter::setShared(std::move(recording));
    }
    void TearDown() override
    {
        inspector.reset();
        Application::setMainWindow(nullptr);
        mainWindow.reset();
    }

    // The inspector of the open post, with the publish panel in its bottom area.
    PLRPublishViewController* openInspector()
    {
        inspector = std::make_unique<PLRInspectorViewController>();
        inspector->view()->resize(260, 760);
        inspector->setPostManager(manager);
        panel = qobject_cast<PLRPublishViewController*>(inspector->publishViewController());
        doc = inspector->documentViewController();
        return panel;
    }

    // Runs a dialog that `open` starts; `during` drives it once it shows. The dialog is closed
    // afterwards whatever happened inside, so a failed expectation never leaves it open.
    static void runDialog(const std::function<void()>& open, const std::function<void(PLRModalViewController*)>& during)
    {
        testing_support::expectModalSessions();
        bool ran = false;
        QTimer::singleShot(0, [&] {
            PLRModalViewController* dialog = PLRModalManager::currentModalViewController();
            ran = dialog != nullptr;
            if (dialog)
                during(dialog);
            if (PLRModalViewController* still = PLRModalManager::currentModalViewController())
                still->dismissModalWithSuccess(false);
        });
        open();
        EXPECT_TRUE(ran);
        EXPECT_FALSE(PLRModalManager::isBusy());
    }
    template <class Page>
    static Page* page(PLRModalViewController* dialog)
    {
        return dialog && dialog->currentView() ? dynamic_cast<Page*>(dialog->currentView()->viewController()) : nullptr;
    }
    static bool waitForCover(PLRModalViewController* dialog, const QString& text, int timeoutMs = 8000)
    {
        return testing_support::waitUntil([&] { return dialog->coverLabel()->stringValue() == text; }, timeoutMs);
    }
    // Runs the waiting steps until the predicate holds (the service answers in between).
    bool fireUntil(ManualTimers& timers, const std::function<bool()>& predicate, int rounds = 20)
    {
        for (int i = 0; i < rounds; ++i) {
            if (predicate())
                return true;
            testing_support::waitUntil([&] { return !timers.waiting().isEmpty() || predicate(); }, 4000);
            timers.fire();
        }
        return predicate();
    }
    void scriptStatus(int status, int count) const
    {
        service.script(QJsonObject{{"path", "/api/me/publisher-status"}, {"method", "GET"}, {"count", count},
                                   {"status", 200}, {"body", QJsonObject{{"status", status}}}});
    }
    int statusRequests() const { return int(requestsOf("GET", "/api/me/publisher-status").size()); }

    std::unique_ptr<Window> mainWindow;
    std::unique_ptr<PLRInspectorViewController> inspector;
    PLRPublishViewController* panel = nullptr;
    PLRDocumentViewController* doc = nullptr;
    platform::RecordingNotificationCenter* notifications = nullptr;
};

} // namespace

TEST_F(PublishPanelTest, ANewUserSetsUpTheWebsiteFromPublishAndEndsOnTheBuiltPage)
{
    // A user without a website.
    setPublisher(QJsonValue::Null);
    users->setRemotePublisher(nullptr);
    ManualTimers timers;
    openPost(4);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    ASSERT_TRUE(openInspector());
    testing_support::drainEvents();
    EXPECT_FALSE(panel->publishContainerView()->isHidden());
    EXPECT_TRUE(panel->stateContainerView()->isHidden());
    EXPECT_EQ(doc->publishButton()->title(), "Publish");

    // The panel's progress as the upload goes (read after the panel has handled each change).
    QList<std::pair<QString, double>> progress;
    bool cancelShownWhileBuilding = true;
    QObject reader;
    publisher->addStateChangeNotificationHandler(&reader, [&](const platform::Notification& note) {
        const auto transition = note.userInfo.value(QLatin1String(PLRFiniteStateMachineTransitionUserInfoKey))
                                    .value<PLRFiniteTransitionPtr>();
        const QString reported = transition->destinationState()->name();
        platform::dispatchMain([&, reported] {
            if (!panel)
                return;
            if (reported == QLatin1String(PLRPP_STATE_UPLOADING_IMAGES))
                progress.append({panel->progressBarInfo()->stringValue(), panel->statusProgressIndicator()->progressAmount()});
            if (reported == QLatin1String(PLRPP_STATE_SERVER_BUILDING) && state() == reported)
                cancelShownWhileBuilding = !panel->statusCancelUpdateButton()->isHidden() || !doc->publishButton()->isHidden();
        });
    });

    // Publish opens the set-up; the type page reports the missing address first.
    runDialog([&] { doc->publish(); }, [&](PLRModalViewController* dialog) {
        auto* type = page<PLRPublishTypeSelectionViewController>(dialog);
        ASSERT_TRUE(type);
        EXPECT_FALSE(dialog->representedData().value(kPLRModalPublisherExistingKey).toBool());
        type->primaryActionWasSelected(dialog);
        EXPECT_EQ(dialog->errorLabel()->stringValue(), "You need to enter your Website URL");
        type->hostTextField()->setStringValue("www.hills.example");
        type->primaryActionWasSelected(dialog);
        EXPECT_EQ(dialog->errorLabel()->stringValue(), "You need to select a Website Host");
        // Squarespace: no plug-in, so the set-up ends here.
        type->websiteHostStack()->setSelectedIndex(0);
        type->primaryActionWasSelected(dialog);
        ASSERT_TRUE(waitForCover(dialog, "Settings Updated"));
        EXPECT_EQ(dialog->primaryButton()->title(), "Start Publishing");
        type->primaryActionWasSelected(dialog);
    });
    const QJsonArray creates = requestsOf("POST", "/api/me/publisher");
    ASSERT_EQ(creates.size(), 1);
    const QJsonObject sent = creates[0].toObject().value("body").toObject().value("publisher").toObject();
    EXPECT_EQ(sent.value("type").toInt(), 1);
    EXPECT_EQ(sent.value("host").toString(), "www.hills.example");
    EXPECT_TRUE(platform::UserDefaults::standard().boolForKey(QString::fromLatin1(plr::defaults::kPublishExportOptionPanelPresented)));

    // Back on the panel, the publish went ahead once the website was set up (and ended when
    // the service said it had built the post).
    ASSERT_TRUE(waitUntilPublishedByTheService(30000));
    testing_support::drainEvents();
    EXPECT_TRUE(progress.contains(std::pair<QString, double>{"Uploading 2 of 4 images...", 50.0}));
    for (const auto& [text, amount] : progress) {
        if (text == QLatin1String("Uploading 1 of 4 images...")) {
            EXPECT_EQ(amount, 0.0);   // the first photo of several shows no progress yet
        }
    }
    EXPECT_FALSE(cancelShownWhileBuilding);
    EXPECT_FALSE(panel->stateContainerView()->isHidden());
    EXPECT_EQ(doc->publishButton()->title(), "Un-publish");
    EXPECT_EQ(panel->statusViewBlogButton()->title(), "COPY LINK");
    EXPECT_FALSE(panel->statusUpdateButton()->isEnabled());

    // The first post's page, once: 2 s after the build, then never again. (The save after the
    // publish's changes waits on the clock too.)
    ASSERT_TRUE(timers.waiting().contains(2.0));
    bool firstPostShown = false;
    runDialog([&] { timers.clock.advance(2.0); }, [&](PLRModalViewController* dialog) {
        auto* first = page<PLRFirstPostCompletedViewController>(dialog);
        ASSERT_TRUE(first);
        firstPostShown = true;
        EXPECT_FALSE(first->hideForWordPress() && first->hideForSquareSpace());
        EXPECT_TRUE(first->hideForWordPress());   // a Squarespace website: its help only
        EXPECT_EQ(dialog->primaryButton()->title(), "Done");
        first->primaryActionWasSelected(dialog);
    });
    EXPECT_TRUE(firstPostShown);
    EXPECT_FALSE(PLRDefaults::shouldPresentFirstPostModalView());
    panel->showFirstPostCompleteModal();
    EXPECT_FALSE(timers.waiting().contains(2.0));
    timers.fire();   // the save
    EXPECT_TRUE(timers.waiting().isEmpty());

    // Copy link: the link stub on the clipboard, "LINK COPIED" for a second.
    QGuiApplication::clipboard()->setText("something else");
    panel->copyLinkToClipboard();
    ASSERT_TRUE(testing_support::waitUntil([&] { return panel->statusViewBlogButton()->title() == "LINK COPIED"; }));
    EXPECT_TRUE(QGuiApplication::clipboard()->text().endsWith("/p/" + remoteId()));
    ASSERT_EQ(notifications->delivered.size(), 1u);
    EXPECT_EQ(notifications->delivered[0].identifier, "pellora.copylink." + remoteId());
    // (A second from a clock already moved by steps of any length: equal up to rounding.)
    ASSERT_EQ(timers.waiting().size(), 1);
    EXPECT_NEAR(timers.waiting().front(), 1.0, 1e-9);
    timers.fire();
    EXPECT_EQ(panel->statusViewBlogButton()->title(), "COPY LINK");
}

TEST_F(PublishPanelTest, WordPressCategoriesPublishViaCodeTheUpdateOfferAndVisitPage)
{
    setPublisher(QJsonObject{{"host", "blog.example"}, {"type", 3}, {"status", 0},
                             {"categories", QJsonArray{"Travel", "Weddings"}}, {"default_category", "Travel"},
                             {"auto_publish", true}});
    ASSERT_TRUE(users->refreshInfo());
    ASSERT_TRUE(testing_support::waitUntil([&] { return users->remotePublisher() && users->remotePublisher()->type() == 3; }));
    ManualTimers timers;
    PLRDefaults::setShouldPresentFirstPostModalView(false);
    openPost(1);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    ASSERT_TRUE(openInspector());
    testing_support::drainEvents();
    PLRPopupButton* popup = doc->categoriesPopup();
    // The categories, a separator, then "Publish via Code".
    ASSERT_EQ(popup->numberOfItems(), 4);
    EXPECT_TRUE(popup->isSeparatorItem(2));
    EXPECT_EQ(popup->itemTitle(3), "Publish via Code");
    EXPECT_EQ(popup->itemTag(3), kPLRPublishViaCodeTag);
    EXPECT_EQ(popup->title(), "Travel");   // the website's default
    EXPECT_FALSE(doc->publishAsDraft()->checked());   // auto publish on

    // "Publish via Code" publishes without a category.
    popup->selectItemWithTag(kPLRPublishViaCodeTag);
    doc->publish();
    ASSERT_TRUE(waitUntilPublishedByTheService());
    QJsonArray creates = requestsOf("POST", "/api/me/posts");
    ASSERT_EQ(creates.size(), 1);
    EXPECT_FALSE(creates[0].toObject().value("body").toObject().value("publish").toBool(true));
    EXPECT_EQ(panel->statusViewBlogButton()->title(), "COPY LINK");

    // A category change on the published post offers an update; ticking the box suppresses
    // later offers while the update is still marked as available.
    testing_support::scriptedAlerts().enqueue(platform::kAlertSecondButtonReturn, /*suppressed*/ true);
    popup->chooseItemAtIndex(1);
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    const platform::Alert& offer = testing_support::scriptedAlerts().shown()[0];
    EXPECT_EQ(offer.messageText, "Changes Made");
    EXPECT_TRUE(offer.showsSuppressionButton);
    EXPECT_EQ(offer.buttons, (QStringList{"Yes, update now.", "No, I'll update later."}));
    EXPECT_TRUE(PLRDefaults::shouldSupressPostUpdateInfo());
    EXPECT_EQ(state(), "UPDATE_AVAILABLE");
    EXPECT_TRUE(panel->statusUpdateButton()->isEnabled());
    popup->chooseItemAtIndex(0);
    EXPECT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);

    // Back to the stored category with nothing else changed: the update is withdrawn.
    manager->representedPost()->setCategoryType("Travel");
    popup->chooseItemAtIndex(0);
    EXPECT_FALSE(panel->statusUpdateButton()->isEnabled());
    EXPECT_NE(state(), "UPDATE_AVAILABLE");

    // An update into a real category: a successful publish record makes the link "VISIT PAGE",
    // which opens the built page.
    PLRDefaults::setShouldPostUpdateInfo(false);
    // The post's save after the publish stored its remote identifier waits 3 s on the clock
    // (unless a move of the clock ran it already): run it, so that the update's step is alone.
    ASSERT_TRUE(fireUntil(timers, [&] { return timers.waiting().isEmpty(); }));
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    popup->chooseItemAtIndex(1);
    ASSERT_EQ(timers.waiting(), QList<double>{0.5});
    timers.fire();
    ASSERT_TRUE(testing_support::waitUntil([&] {
        return state() == "IDLE" && publisher->livePublishRevision() && publisher->livePublishRevision()->successful();
    }, 20000));
    testing_support::drainEvents();
    const QJsonArray revisions = requestsOf("POST", postPath("/postrevisions"));
    ASSERT_FALSE(revisions.isEmpty());
    const QJsonObject update = revisions.last().toObject().value("body").toObject();
    EXPECT_TRUE(update.value("publish").toBool());
    EXPECT_EQ(update.value("publish_revision").toObject().value("category").toString(), "Weddings");
    EXPECT_EQ(panel->statusViewBlogButton()->title(), "VISIT PAGE");
    testing_support::recordingWorkspace().openedURLs.clear();
    panel->copyLinkToClipboard();
    ASSERT_TRUE(testing_support::waitUntil([&] { return !testing_support::recordingWorkspace().openedURLs.empty(); }));
    const QUrl page = testing_support::recordingWorkspace().openedURLs.front();
    EXPECT_TRUE(page.path().endsWith("/" + remoteId()));
    const auto [status, html] = fetch(page);
    EXPECT_EQ(status, 200);
    EXPECT_TRUE(html.contains("<img class=\"photo\""));
    // No browser can be started: the user is told and the address is on the clipboard.
    testing_support::recordingWorkspace().openSucceeds = false;
    QGuiApplication::clipboard()->clear();
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    const size_t alertsBefore = testing_support::scriptedAlerts().shown().size();
    panel->copyLinkToClipboard();
    ASSERT_TRUE(testing_support::waitUntil([&] { return testing_support::scriptedAlerts().shown().size() > alertsBefore; }));
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().messageText, "The Page Could Not Be Opened");
    EXPECT_TRUE(testing_support::scriptedAlerts().shown().back().informativeText.contains(page.toString()));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), page.toString());
    testing_support::recordingWorkspace().openSucceeds = true;

    // An address that is not verified (the user session's machine says so; the connection
    // machine has no such state): the panel offers the publish area, not the status area.
    service.control("POST", "/__control/me",
                    QJsonObject{{"email", testing_support::DevService::demoEmail()}, {"user", QJsonObject{{"verified", false}}}});
    ASSERT_TRUE(users->refreshInfo());
    ASSERT_TRUE(testing_support::waitUntil([&] { return users->currentState()->name() == QLatin1String(PLRWSUM_STATE_NOT_VERIFIED); }));
    panel->ensureMainStack();
    EXPECT_FALSE(panel->publishContainerView()->isHidden());
    EXPECT_TRUE(panel->stateContainerView()->isHidden());
    EXPECT_EQ(doc->publishButton()->title(), "Publish");
}

TEST_F(PublishPanelTest, ThePlugInPagePollsAndOffersToContinueWithoutIt)
{
    setPublisher(QJsonObject{{"host", "blog.example"}, {"type", 3}, {"status", 1}});
    ASSERT_TRUE(users->refreshInfo());
    ASSERT_TRUE(testing_support::waitUntil([&] { return users->remotePublisher() && users->remotePublisher()->type() == 3; }));
    ManualTimers timers;
    qint64 response = 0;
    runDialog(
        [&] {
            PLRModalManager::presentModalWindowWithViews({kPLRModalPublishPluginTypeView}, {{kPLRModalPublisherExistingKey, 1}},
                                                         true, 0, [&](qint64 code) { response = code; });
        },
        [&](PLRModalViewController* dialog) {
            auto* plugin = page<PLRPublishPluginViewController>(dialog);
            ASSERT_TRUE(plugin);
            // The automatic series: one request 2 s after the page shows, silent when it fails.
            EXPECT_EQ(timers.waiting(), QList<double>{2.0});
            timers.fire();
            ASSERT_TRUE(testing_support::waitUntil([&] { return !plugin->stackView()->isHidden(); }));
            EXPECT_EQ(statusRequests(), 1);
            EXPECT_FALSE(dialog->presentingError());
            EXPECT_FALSE(plugin->shouldPresentTertiaryAction(dialog));
            EXPECT_EQ(plugin->defaultModalButtonActionTitle(dialog), "Check");

            // Each Check: up to four requests 2.0 s apart.
            for (int click = 1; click <= 3; ++click) {
                const int before = statusRequests();
                plugin->primaryActionWasSelected(dialog);
                ASSERT_TRUE(fireUntil(timers, [&] { return !plugin->stackView()->isHidden(); }));
                EXPECT_EQ(statusRequests() - before, 4);
                EXPECT_TRUE(dialog->presentingError());
            }
            EXPECT_TRUE(dialog->errorLabel()->stringValue().startsWith("Sorry, Pellora still can't find the plug-in"));
            EXPECT_TRUE(plugin->noPluginLink()->isHidden());
            // The plain link: an underlined title built from its properties.
            ASSERT_TRUE(plugin->noPluginLink()->attributedTitle());
            EXPECT_EQ(plugin->noPluginLink()->attributedTitle()->attribute(QLatin1String(kUnderlineStyleAttributeName), 0).toInt(), 1);
            EXPECT_TRUE(plugin->shouldPresentTertiaryAction(dialog));
            EXPECT_EQ(plugin->defaultModalButtonActionTitle(dialog), "Continue Without Plug-in");

            // Continue without it: PUT type 2, then the cover; Check then ends the set-up.
            plugin->tertiaryActionWasSelected(dialog);
            ASSERT_TRUE(waitForCover(dialog, "Settings Updated"));
            EXPECT_EQ(dialog->primaryButton()->title(), "Ok");
            const QJsonArray puts = requestsOf("PUT", "/api/me/publisher");
            ASSERT_EQ(puts.size(), 1);
            const QJsonObject body = puts[0].toObject().value("body").toObject().value("publisher").toObject();
            EXPECT_EQ(body.value("type").toInt(), 2);
            EXPECT_FALSE(body.contains("host"));
            plugin->primaryActionWasSelected(dialog);
        });
    EXPECT_EQ(response, -1002);
}

TEST_F(PublishPanelTest, TheAccessKeyPageFetchesAndCopiesTheKeyAndRetriesAFailedCheck)
{
    setPublisher(QJsonObject{{"host", "blog.example"}, {"type", 3}, {"status", 2}, {"has_secret", false}});
    ASSERT_TRUE(users->refreshInfo());
    ASSERT_TRUE(testing_support::waitUntil([&] { return users->remotePublisher() && users->remotePublisher()->type() == 3; }));
    ManualTimers timers;
    runDialog(
        [&] { PLRModalManager::presentModalWindowWithViews({kPLRModalPublishSecretView}, {}, true, 0, nullptr); },
        [&](PLRModalViewController* dialog) {
            auto* secret = page<PLRPublishSecretViewController>(dialog);
            ASSERT_TRUE(secret);
            // Status 2 and no key yet: the key is fetched at once and shown.
            EXPECT_EQ(timers.waiting(), QList<double>{2.0});
            timers.fire();
            ASSERT_TRUE(testing_support::waitUntil([&] { return !secret->secretLabel()->stringValue().isEmpty(); }));
            EXPECT_EQ(requestsOf("GET", "/api/me/publisher-secret").size(), 1);
            EXPECT_FALSE(secret->stackView()->isHidden());
            EXPECT_FALSE(dialog->spinnerCoverActive());
            const QString key = secret->secretLabel()->stringValue();
            EXPECT_EQ(key, users->remotePublisher()->secret());

            // A click copies exactly the key.
            QGuiApplication::clipboard()->setText("old");
            secret->secretCopyView()->mouseUp(MouseEvent());
            EXPECT_EQ(QGuiApplication::clipboard()->text(), key);

            // A check whose request fails stops the spinner and offers to try again.
            service.scriptServiceError("/api/me/publisher-status", 1, 500);
            secret->primaryActionWasSelected(dialog);
            ASSERT_TRUE(testing_support::waitUntil([&] { return dialog->presentingError(); }));
            EXPECT_FALSE(dialog->spinnerCoverActive());
            EXPECT_EQ(dialog->errorPrimaryButton()->title(), "Try Again");
            // Trying again with the website authenticated moves on.
            scriptStatus(0, 1);
            secret->primaryActionForErrorWasClicked(dialog);
            ASSERT_TRUE(testing_support::waitUntil([&] {
                return dialog->coverLabel()->stringValue() == "Authentication Sucessful";
            }));
            EXPECT_TRUE(timers.waiting().contains(2.0));
        });
}

TEST_F(PublishPanelTest, TheTypePageValidatesMarksARejectedAddressAndReportsAFailedVerifyMail)
{
    ManualTimers timers;
    runDialog([&] { PLRModalManager::presentPublisherWorkflow(true, nullptr); }, [&](PLRModalViewController* dialog) {
        auto* type = page<PLRPublishTypeSelectionViewController>(dialog);
        ASSERT_TRUE(type);
        EXPECT_TRUE(dialog->representedData().value(kPLRModalPublisherExistingKey).toBool());
        // The existing generic website opens on "other provider" with its address.
        EXPECT_EQ(type->websiteHostStack()->selectedIndex(), 2);
        EXPECT_EQ(type->hostTextField()->stringValue(), "photos.example.com");
        EXPECT_FALSE(type->themeTextErrorBox()->isHidden());
        type->primaryActionWasSelected(dialog);
        EXPECT_EQ(dialog->errorLabel()->stringValue(), "Please enter the name of your website provider / builder");

        // WordPress with a custom theme needs its details; with them the text is the theme.
        type->websiteHostStack()->setSelectedIndex(1);
        EXPECT_EQ(type->themePopUpButton()->itemTitle(1), "Flothemes");
        EXPECT_EQ(type->themePopUpButton()->itemTitle(2), "Pro Photo");
        type->primaryActionWasSelected(dialog);
        EXPECT_EQ(dialog->errorLabel()->stringValue(), "You need to select a Website Theme");
        type->themePopUpButton()->chooseItemAtIndex(type->themePopUpButton()->numberOfItems() - 1);
        EXPECT_FALSE(type->themeTextErrorBox()->isHidden());
        type->primaryActionWasSelected(dialog);
        EXPECT_EQ(dialog->errorLabel()->stringValue(), "You need to provide the details of your custom theme");

        // The service rejects the address (code 506): the address box is marked, no error bar.
        service.scriptServiceError("/api/me/publisher", 506, 422);
        type->themeTextField()->setStringValue("Handmade");
        type->primaryActionWasSelected(dialog);
        ASSERT_TRUE(testing_support::waitUntil([&] { return type->hostErrorBox()->isShowingError(); }));
        EXPECT_FALSE(dialog->presentingError());
        EXPECT_FALSE(dialog->spinnerCoverActive());
        const QJsonObject body =
            requestsOf("PUT", "/api/me/publisher")[0].toObject().value("body").toObject().value("publisher").toObject();
        EXPECT_EQ(body.value("type").toInt(), 3);
        EXPECT_EQ(body.value("theme_info").toString(), "Handmade");

        // An unverified address: the page asks to verify; a verify mail that cannot be sent
        // says so and offers both choices again instead of claiming it was sent.
        service.control("POST", "/__control/me",
                        QJsonObject{{"email", testing_support::DevService::demoEmail()}, {"user", QJsonObject{{"verified", false}}}});
        ASSERT_TRUE(users->refreshInfo());
        ASSERT_TRUE(testing_support::waitUntil([&] { return dialog->presentingError(); }));
        EXPECT_EQ(dialog->errorLabel()->stringValue(), "Your email is not verified. Check your inbox for an email from us.");
        service.scriptServiceError("/api/request-email-verify", 1, 500);
        type->secondaryActionForErrorWasClicked(dialog);
        ASSERT_TRUE(testing_support::waitUntil(
            [&] { return dialog->errorLabel()->stringValue() == "The email could not be sent. Try again in a moment."; }));
        EXPECT_NE(dialog->coverLabel()->stringValue(), "Email Sent");
        type->secondaryActionForErrorWasClicked(dialog);
        ASSERT_TRUE(waitForCover(dialog, "Email Sent"));
    });
}

TEST_F(PublishPanelTest, TheWebsiteKindsAreFramedButtonsWithTheChosenOneMarked)
{
    runDialog([&] { PLRModalManager::presentPublisherWorkflow(true, nullptr); }, [&](PLRModalViewController* dialog) {
        auto* type = page<PLRPublishTypeSelectionViewController>(dialog);
        ASSERT_TRUE(type);
        PLRSlidingButtonStack* kinds = type->websiteHostStack();
        const auto frameOf = [kinds](qint64 i) { return kinds->cellAt(i)->backgroundView()->layer(); };
        const auto expectFrames = [&](qint64 chosen) {
            for (qint64 i = 0; i < 3; ++i) {
                SCOPED_TRACE(i);
                ASSERT_TRUE(frameOf(i));
                EXPECT_GT(frameOf(i)->borderWidth(), 0.0);
                EXPECT_EQ(frameOf(i)->borderColor(),
                          namedColor(i == chosen ? "plrTextColor" : "plrControlBorderColor"));
            }
        };
        expectFrames(kinds->selectedIndex());
        // Apart, so each frame reads as its own button.
        EXPECT_GT(kinds->cellAt(1)->x(), kinds->cellAt(0)->x() + kinds->cellAt(0)->width());
        kinds->setSelectedIndex(1);
        expectFrames(1);
        kinds->setSelectedIndex(0);
        expectFrames(0);
    });
}

TEST_F(PublishPanelTest, ThePublishAreaIsOneButtonRowHighWithItsTitleCentred)
{
    openPost(2);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    ASSERT_TRUE(openInspector());
    inspector->view()->show();
    testing_support::drainEvents();
    ASSERT_FALSE(panel->publishContainerView()->isHidden());
    PLRPublishButton* publish = panel->publishMainButton();
    EXPECT_EQ(publish->height(), int(PLRPublishButton::kHeight));
    const QRect title(publish->label()->mapTo(publish, QPoint(0, 0)), publish->label()->size());
    EXPECT_NEAR(title.center().y(), publish->height() / 2, 2);
    EXPECT_NEAR(title.center().x(), publish->width() / 2, 2);
    // The bottom area holds the button and its margins, however tall the other panels are.
    EXPECT_LE(panel->view()->height(), int(PLRPublishButton::kHeight) + 24);
    // A published post's two buttons are one small row, side by side.
    for (platform::ui::Button* button : {panel->statusUpdateButton(), panel->statusViewBlogButton()})
        EXPECT_EQ(button->maximumHeight(), int(PLRPublishViewController::kStatusButtonHeight));
    EXPECT_EQ(panel->statusUpdateButton()->y(), panel->statusViewBlogButton()->y());
}

TEST(PublishPanelDates, TheYearIsTheCalendarYear)
{
    // Monday 29 December 2025 belongs to the first week of 2026.
    const QDateTime date(QDate(2025, 12, 29), QTime(15, 4), Qt::LocalTime);
    EXPECT_EQ(PLRPublishViewController::formatDate(date), "03:04PM, 29/12/25");
    EXPECT_EQ(PLRPublishViewController::formatDate(QDateTime()), "");
}

TEST_F(PublishPanelTest, TheGutenbergAndChoicePages)
{
    // Installed but not available: still not enabled; "Skip" ends with the cover after 1.5 s.
    setPublisher(QJsonObject{{"host", "blog.example"}, {"type", 3},
                             {"info", QJsonObject{{"has_gutenberg", true}, {"guttenburg_available", false}}}});
    ManualTimers timers;
    runDialog([&] { PLRModalManager::presentModalWindowWithViews({kPLRModalGuttenburgView}, {}, true, 0, nullptr); },
              [&](PLRModalViewController* dialog) {
                  auto* gutenberg = page<PLRPublishGuttenburgViewController>(dialog);
                  ASSERT_TRUE(gutenberg);
                  gutenberg->primaryActionWasSelected(dialog);
                  ASSERT_TRUE(testing_support::waitUntil([&] { return dialog->presentingError(); }));
                  EXPECT_EQ(dialog->errorLabel()->stringValue(), "It looks like Gutenburg is still not enabled on your website");
                  EXPECT_EQ(dialog->errorPrimaryButton()->title(), "Skip");
                  gutenberg->primaryActionForErrorWasClicked(dialog);
                  EXPECT_EQ(timers.waiting(), QList<double>{1.5});
                  timers.fire();
                  EXPECT_EQ(dialog->coverLabel()->stringValue(), "Settings Updated");
                  EXPECT_EQ(dialog->primaryButton()->title(), "Start Publishing");
                  gutenberg->primaryActionWasSelected(dialog);
              });
    EXPECT_TRUE(platform::UserDefaults::standard().boolForKey(QString::fromLatin1(plr::defaults::kPublishExportOptionPanelPresented)));

    // The choice page, by which choice comes first.
    for (const bool primary : {false, true}) {
        qint64 response = 0;
        runDialog(
            [&] {
                PLRModalManager::presentModalWindowWithViews({kPLRModalPublishChoice}, {{kPLRModalPublishingPrimaryKey, primary}},
                                                             true, 0, [&](qint64 code) { response = code; });
            },
            [&](PLRModalViewController* dialog) {
                auto* choice = page<PLRPublishChoiceViewController>(dialog);
                ASSERT_TRUE(choice);
                EXPECT_EQ(choice->mainTitleLabel()->stringValue(), primary ? "Just so you know," : "Make the most of Pellora,");
                EXPECT_EQ(choice->publishButton()->title(), primary ? "Continue Publishing" : "Publish now");
                EXPECT_EQ(choice->exportButton()->title(), primary ? "Show me" : "Continue Export");
                EXPECT_EQ(choice->publishButton()->keyEquivalent(), primary ? "\r" : "");
                EXPECT_EQ(choice->exportButton()->keyEquivalent(), primary ? "" : "\r");
                choice->exportAction();
            });
        EXPECT_EQ(response, primary ? -1000 : -1002);
    }
}

TEST(PublishButtonTest, EveryReleaseAfterAPressIsAClickWhereverThePointerIs)
{
    struct Delegate : PLRPublishButtonDelegate {
        int clicks = 0;
        void buttonWasClicked(PLRPublishButton*) override { ++clicks; }
    } delegate;
    PLRPublishButton button;
    button.resize(120, 32);
    button.setDelegate(&delegate);
    EXPECT_EQ(button.layer()->cornerRadius(), 6.0);
    MouseEvent outside;
    outside.windowPoint = QPointF(500, 500);
    button.mouseDown(MouseEvent());
    EXPECT_TRUE(button.isMouseDown());
    button.mouseUp(outside);
    EXPECT_FALSE(button.isMouseDown());
    EXPECT_EQ(delegate.clicks, 1);
}

TEST_F(PublishPanelTest, AWordPressWebsiteReopensItsThemeAndSavesItsDefaults)
{
    setPublisher(QJsonObject{{"host", "blog.example"}, {"type", 2}, {"status", 0}, {"theme_info", "Handmade"},
                             {"categories", QJsonArray{"Travel", "Weddings"}}, {"default_category", "Weddings"},
                             {"auto_publish", false}});
    ASSERT_TRUE(users->refreshInfo());
    ASSERT_TRUE(testing_support::waitUntil([&] { return users->remotePublisher() && users->remotePublisher()->type() == 2; }));
    ManualTimers timers;
    qint64 response = 0;
    runDialog(
        [&] {
            PLRModalManager::presentModalWindowWithViews({kPLRModalPublishTypeView, kPLRModalPublishDefaultsView},
                                                         {{kPLRModalPublisherExistingKey, 1}}, true, 0,
                                                         [&](qint64 code) { response = code; });
        },
        [&](PLRModalViewController* dialog) {
            // A theme outside the list: WordPress, "Other / Custom Theme" and the text.
            auto* type = page<PLRPublishTypeSelectionViewController>(dialog);
            ASSERT_TRUE(type);
            EXPECT_EQ(type->websiteHostStack()->selectedIndex(), 1);
            EXPECT_EQ(type->themePopUpButton()->title(), "Other / Custom Theme");
            // "Select One", the themes, a separator, "Other / Custom Theme".
            const int themes = type->themePopUpButton()->numberOfItems();
            EXPECT_TRUE(type->themePopUpButton()->isSeparatorItem(themes - 2));
            EXPECT_EQ(type->themePopUpButton()->indexOfSelectedItem(), themes - 1);
            EXPECT_FALSE(type->themeTextErrorBox()->isHidden());
            EXPECT_EQ(type->themeTextField()->stringValue(), "Handmade");

            // The defaults: the website's categories with its default, the box ticked when
            // posts do not go live at once; saving sends the inverse of the box.
            dialog->moveToNextView();
            auto* defaults = page<PLRPublishDefaultViewController>(dialog);
            ASSERT_TRUE(defaults);
            ASSERT_TRUE(testing_support::waitUntil([&] { return !defaults->stackView()->isHidden(); }));
            EXPECT_EQ(defaults->categoryPopUpButton()->numberOfItems(), 2);
            EXPECT_EQ(defaults->categoryPopUpButton()->title(), "Weddings");
            EXPECT_EQ(defaults->autoPublishButton()->state(), Button::StateOn);
            defaults->categoryPopUpButton()->chooseItemAtIndex(0);
            service.scriptServiceError("/api/me/publisher", 1, 500);
            defaults->primaryActionWasSelected(dialog);
            ASSERT_TRUE(testing_support::waitUntil([&] { return dialog->presentingError(); }));
            EXPECT_EQ(dialog->errorLabel()->stringValue(), "An Error occurred updating your account. Try again in a moment");
            defaults->autoPublishButton()->setState(Button::StateOff);
            defaults->primaryActionWasSelected(dialog);
            ASSERT_TRUE(waitForCover(dialog, "Settings Updated"));
            EXPECT_EQ(dialog->primaryButton()->title(), "Ok");
            defaults->primaryActionWasSelected(dialog);
        });
    EXPECT_EQ(response, -1002);
    const QJsonArray puts = requestsOf("PUT", "/api/me/publisher");
    ASSERT_EQ(puts.size(), 2);
    const QJsonObject saved = puts[1].toObject().value("body").toObject().value("publisher").toObject();
    EXPECT_EQ(saved.value("default_category").toString(), "Travel");
    EXPECT_TRUE(saved.value("auto_publish").toBool());

    // The first post's page of a plug-in website shows the WordPress help only.
    setPublisher(QJsonObject{{"host", "blog.example"}, {"type", 3}});
    ASSERT_TRUE(users->refreshInfo());
    ASSERT_TRUE(testing_support::waitUntil([&] { return users->remotePublisher() && users->remotePublisher()->type() == 3; }));
    runDialog([&] { PLRModalManager::presentModalWindowWithViews({kPLRFirstPostCompletedView}, {}, false, 0, nullptr); },
              [&](PLRModalViewController* dialog) {
                  auto* first = page<PLRFirstPostCompletedViewController>(dialog);
                  ASSERT_TRUE(first);
                  EXPECT_FALSE(first->hideForWordPress());
                  EXPECT_TRUE(first->hideForSquareSpace());
                  EXPECT_TRUE(first->hyperLink()->linkURL().endsWith("2779268-publish-your-blog-to-squarespace"));
              });
}

TEST_F(PublishPanelTest, TheAccessKeyPageChecksInSeriesOfThreeAndGoesBackWithoutThePlugIn)
{
    setPublisher(QJsonObject{{"host", "blog.example"}, {"type", 3}, {"status", 2}});
    ASSERT_TRUE(users->refreshInfo());
    ASSERT_TRUE(testing_support::waitUntil([&] { return users->remotePublisher() && users->remotePublisher()->type() == 3; }));
    users->remotePublisher()->setSecret("KEY-1234");   // a key already fetched
    ManualTimers timers;
    runDialog(
        [&] {
            PLRModalManager::presentModalWindowWithViews({kPLRModalPublishTypeView, kPLRModalPublishSecretView}, {}, true, 0,
                                                         nullptr);
        },
        [&](PLRModalViewController* dialog) {
            dialog->moveToNextView();
            auto* secret = page<PLRPublishSecretViewController>(dialog);
            ASSERT_TRUE(secret);
            // The first series after the page shows is a single request; it shows the key silently.
            timers.fire();
            ASSERT_TRUE(testing_support::waitUntil([&] { return !secret->stackView()->isHidden(); }));
            EXPECT_EQ(statusRequests(), 1);
            EXPECT_EQ(secret->secretLabel()->stringValue(), "KEY-1234");
            EXPECT_FALSE(dialog->presentingError());
            EXPECT_TRUE(requestsOf("GET", "/api/me/publisher-secret").isEmpty());

            // Check: three requests 2.0 s apart, then the troubleshooting error.
            secret->primaryActionWasSelected(dialog);
            ASSERT_TRUE(fireUntil(timers, [&] { return !secret->stackView()->isHidden(); }));
            EXPECT_EQ(statusRequests(), 4);
            EXPECT_EQ(dialog->errorPrimaryButton()->title(), "Troubleshoot");
            testing_support::recordingWorkspace().openedURLs.clear();
            secret->primaryActionForErrorWasClicked(dialog);
            ASSERT_EQ(testing_support::recordingWorkspace().openedURLs.size(), 1u);
            EXPECT_TRUE(testing_support::recordingWorkspace().openedURLs[0].path().endsWith("2866370-pellora-wordpress-plugin"));

            // The plug-in is gone: back to the type page.
            scriptStatus(1, 1);
            secret->primaryActionWasSelected(dialog);
            ASSERT_TRUE(testing_support::waitUntil([&] { return dialog->currentIndex() == 0; }));
        });
}

TEST_F(PublishPanelTest, AConnectionChangeShowsThePublishersOwnState)
{
    PLRDefaults::setShouldPresentFirstPostModalView(false);
    service.control("POST", "/__control/build", QJsonObject{{"checks", 1000}});
    openPost(1);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitForState(PLRPP_STATE_SERVER_BUILDING));
    // The panel opens during the build wait and first hears of it through a connection change,
    // whose notification carries the connection machine's transition.
    ASSERT_TRUE(openInspector());
    testing_support::drainEvents();
    EXPECT_FALSE(panel->serverStartedBuildingBlog());
    PLRFiniteStateMachine* connection = PLRWebServiceManager::globalManager().stateMachine();
    const PLRFiniteStatePtr serverDown = PLRFiniteState::stateWithName(QString::fromLatin1(PLRWSM_STATE_SERVER_CONNECTION));
    const PLRFiniteEventPtr lost = PLRFiniteEvent::eventWithName(QStringLiteral("ENV_TEST_LOST"), std::nullopt, serverDown);
    platform::Notification note;
    note.name = QString::fromLatin1(PLRFiniteStateMachineDidChangeStateNotification);
    note.object = connection;
    note.userInfo.insert(QString::fromLatin1(PLRFiniteStateMachineTransitionUserInfoKey),
                         QVariant::fromValue(PLRFiniteTransition::transitionForEvent(lost, connection->currentState(), connection, {})));
    panel->postPublisherStateChangeNotification(note);
    testing_support::drainEvents();
    EXPECT_TRUE(panel->serverStartedBuildingBlog());
    EXPECT_EQ(panel->progressBarInfo()->stringValue(), "Building Blog...");
    // No cancel while the service builds.
    EXPECT_TRUE(panel->statusCancelUpdateButton()->isHidden());
    EXPECT_TRUE(panel->statusRetryButton()->isHidden());

    // Unpublished meanwhile: the publish area comes back.
    PLRCoreManager::userSession()->deleteRemotePost(manager->representedPost());
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    testing_support::drainEvents();
    EXPECT_FALSE(panel->publishContainerView()->isHidden());
}

TEST_F(PublishPanelTest, UploadsThatKeepFailingShowTheFailureAndARetry)
{
    PLRDefaults::setShouldPresentFirstPostModalView(false);
    openPost(1);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    ASSERT_TRUE(openInspector());
    service.control("POST", "/__control/uploads", QJsonObject{{"count", 1000}, {"status", 500}});
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(testing_support::waitUntil([&] { return publisher->uploadStalled(); }, 15000));
    ASSERT_TRUE(testing_support::waitUntil([&] { return !panel->statusRetryButton()->isHidden(); }));
    EXPECT_TRUE(panel->progressBarInfo()->stringValue().startsWith(publisher->lastError()));
    EXPECT_FALSE(panel->statusCancelUpdateButton()->isHidden());
    service.control("DELETE", "/__control/script");
    panel->retryUpload();
    EXPECT_TRUE(panel->statusRetryButton()->isHidden());
    ASSERT_TRUE(testing_support::waitUntil([&] { return state() == "IDLE" && publisher->liveRevision(); }, 15000));
    testing_support::drainEvents();
    EXPECT_FALSE(panel->statusViewBlogButton()->isHidden());
}

// An update that cannot reach the service says so once; the update is still offered when the
// service is back.
TEST_F(PublishPanelTest, AnUpdateThatCannotReachTheServiceSaysSo)
{
    PLRDefaults::setShouldPresentFirstPostModalView(false);
    openPost(1);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitUntilPublished());
    ASSERT_TRUE(openInspector());
    manager->representedPost()->setSeoTitle(QStringLiteral("Changed"));
    ASSERT_TRUE(waitForState(PLRPP_STATE_UPDATE_AVAILABLE));
    testing_support::drainEvents();
    ASSERT_TRUE(panel->statusUpdateButton()->isEnabled());

    // The update's request fails on its way (the connection dropped, again when the network
    // layer sends it once more): the user is told, and the update is offered again.
    platform::ScriptedAlertPresenter& alerts = testing_support::scriptedAlerts();
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    service.script(QJsonObject{{"path", postPath("/postrevisions")}, {"method", "POST"}, {"count", 2}, {"drop", true}});
    entered.clear();
    panel->performUpdate();
    ASSERT_TRUE(testing_support::waitUntil([&] { return !alerts.shown().empty(); }, 15000)) << entered.join(' ').toStdString();
    const platform::Alert shown = alerts.shown().front();
    EXPECT_EQ(shown.messageText, "Cannot Reach Server");
    EXPECT_EQ(shown.informativeText,
              "An error occured while updating your post. Ensure you have an internet connection and try again.");
    EXPECT_EQ(shown.buttons, QStringList{"OK"});
    EXPECT_TRUE(entered.contains("UPDATING_POST"));
    ASSERT_TRUE(waitForState(PLRPP_STATE_UPDATE_AVAILABLE, 20000)) << entered.join(' ').toStdString();
    testing_support::drainEvents();
    EXPECT_TRUE(panel->statusUpdateButton()->isEnabled());
    EXPECT_EQ(alerts.shown().size(), 1u);

    // The socket's close is heard before the connection machine has checked again, so the
    // update is still offered: pressing it says it cannot be made, and asks nothing of the service.
    const qsizetype revisionsAsked = requestsOf("POST", postPath("/postrevisions")).size();
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    ASSERT_TRUE(publisher->stateMachine()->fireEvent(QString::fromLatin1(PLRPP_EVENT_SERVICE_CHANGED)));
    ASSERT_EQ(state(), "WAITING_FOR_SERVICE");
    panel->performUpdate();
    ASSERT_TRUE(testing_support::waitUntil([&] { return alerts.shown().size() == 2; }, 15000));
    EXPECT_EQ(alerts.shown().back().informativeText, shown.informativeText);
    EXPECT_EQ(requestsOf("POST", postPath("/postrevisions")).size(), revisionsAsked);
    ASSERT_TRUE(publisher->stateMachine()->fireEvent(QString::fromLatin1(PLRPP_EVENT_SERVICE_RESTORED)));
    ASSERT_TRUE(waitForState(PLRPP_STATE_UPDATE_AVAILABLE, 20000)) << entered.join(' ').toStdString();

    // The connection found gone while the update is on its way, then the update fails: said too.
    service.script(QJsonObject{{"path", postPath("/postrevisions")}, {"method", "POST"}, {"delay_ms", 3000}});
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    panel->performUpdate();
    ASSERT_EQ(state(), "UPDATING_POST");
    ASSERT_TRUE(testing_support::waitUntil([&] { return !requestsOf("POST", postPath("/postrevisions")).isEmpty(); }));
    ASSERT_TRUE(publisher->stateMachine()->fireEvent(QString::fromLatin1(PLRPP_EVENT_SERVICE_CHANGED)));
    service.goDown();
    ASSERT_TRUE(testing_support::waitUntil([&] { return alerts.shown().size() == 3; }, 15000));
    EXPECT_EQ(alerts.shown().back().informativeText, shown.informativeText);
    ASSERT_TRUE(service.comeBackUp());
    PLRWebServiceManager::globalManager().handlePossibleConnectionChange();
    ASSERT_TRUE(waitForState(PLRPP_STATE_UPDATE_AVAILABLE, 20000)) << entered.join(' ').toStdString();
    EXPECT_EQ(alerts.shown().size(), 3u);
}

// The keyboard starts on each set-up page's own field, or on its main button when it has none;
// never on the picture's credit link or the error bar out of sight.
TEST_F(PublishPanelTest, EachSetUpPageStartsTheKeyboardOnItsFieldOrMainButton)
{
    setPublisher(QJsonValue::Null);
    users->setRemotePublisher(nullptr);
    openPost(1);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    QStringList seen;
    runDialog([&] { PLRModalManager::presentPublisherWorkflow(true, [](qint64) {}); }, [&](PLRModalViewController* dialog) {
        for (int step = 0; step < 4; ++step) {
            // Once the page has loaded what it shows.
            testing_support::waitUntil([&] { return !dialog->spinnerCoverActive(); }, 5000);
            testing_support::drainEvents();
            PLRModalPanelViewController* page = dialog->currentView()->viewController();
            ASSERT_TRUE(page);
            const QString name = QString::fromLatin1(page->metaObject()->className());
            QWidget* focus = QApplication::focusWidget();
            ASSERT_TRUE(focus) << name.toStdString();
            const bool onPage = page->view()->isAncestorOf(focus);
            const bool onMainButton = focus == dialog->primaryButton();
            EXPECT_TRUE(onPage || onMainButton)
                << name.toStdString() << ": " << focus->metaObject()->className() << " " << focus->objectName().toStdString();
            if (auto* type = qobject_cast<PLRPublishTypeSelectionViewController*>(page)) {
                EXPECT_EQ(focus, static_cast<QWidget*>(type->hostTextField()->editor()));
            }
            seen << name;
            dialog->moveToNextView();
        }
    });
    EXPECT_EQ(seen, (QStringList{"PLRPublishTypeSelectionViewController", "PLRPublishPluginViewController",
                                 "PLRPublishSecretViewController", "PLRPublishDefaultViewController"}));

    // Continue pressed from the keyboard, the service refuses: the keyboard is back on the page
    // (the pressed button was switched off meanwhile, which pushed it onto the dialog's parts).
    service.script(QJsonObject{{"path", "/api/me/publisher"}, {"method", "POST"}, {"code", 3}, {"status", 422}});
    runDialog([&] { PLRModalManager::presentPublisherWorkflow(true, [](qint64) {}); }, [&](PLRModalViewController* dialog) {
        auto* type = page<PLRPublishTypeSelectionViewController>(dialog);
        ASSERT_TRUE(type);
        type->hostTextField()->setStringValue("www.hills.example");
        type->websiteHostStack()->setSelectedIndex(0);
        dialog->primaryButton()->setFocus(Qt::TabFocusReason);
        dialog->primaryAction();
        ASSERT_TRUE(dialog->spinnerCoverActive());
        ASSERT_TRUE(testing_support::waitUntil([&] { return dialog->presentingError() && !dialog->spinnerCoverActive(); }, 8000));
        testing_support::drainEvents();
        QWidget* focus = QApplication::focusWidget();
        ASSERT_TRUE(focus);
        EXPECT_TRUE(type->view()->isAncestorOf(focus) || focus == dialog->primaryButton())
            << focus->metaObject()->className() << " " << focus->objectName().toStdString();
    });
}

// A small screen (a large scale). The post's panes give way, the gallery first: the inspector
// with Publish stays whole. The set-up window lies within the screen's free area with its
// buttons, and its page scrolls what the window cannot show.
TEST_F(PublishPanelTest, OnASmallScreenThePanesAndTheSetUpPagesKeepEveryButtonInReach)
{
    openPost(2);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    // In a window that gives the post its own size, as the main window does.
    QWidget window;
    PLRPostViewController post;
    post.setPostManager(manager);
    post.view()->setParent(&window);
    window.resize(760, 500);
    window.show();
    post.presentInitialVisualState();
    auto* postInspector = qobject_cast<PLRInspectorViewController*>(post.inspectorViewController());
    ASSERT_TRUE(postInspector);
    auto* publishPanel = qobject_cast<PLRPublishViewController*>(postInspector->publishViewController());
    ASSERT_TRUE(publishPanel);
    const auto rectIn = [](QWidget* w, QWidget* in) { return QRect(w->mapTo(in, QPoint(0, 0)), w->size()); };
    PLRPostSplitView* split = post.splitView();
    for (const int width : {760, 640, 1000}) {
        SCOPED_TRACE(width);
        window.resize(width, 500);
        post.view()->setGeometry(window.rect());
        testing_support::drainEvents();
        // Whole, and not overlapped by the canvas.
        EXPECT_EQ(post.inspectorPane()->width(), 250);
        EXPECT_TRUE(window.rect().contains(rectIn(post.inspectorPane(), &window)));
        EXPECT_LT(rectIn(post.layoutPane(), &window).right(), rectIn(post.inspectorPane(), &window).left());
        EXPECT_TRUE(window.rect().contains(rectIn(publishPanel->publishMainButton(), &window)));
        EXPECT_GE(post.layoutPane()->width(), 300);
        // The gallery narrows below its 250, then is left out for want of room (not collapsed).
        if (width == 760) {
            EXPECT_EQ(post.galleryPane()->width(), 760 - 250 - 300 - 2);
        }
        EXPECT_EQ(post.galleryPane()->isHidden(), width == 640);
        EXPECT_EQ(split->isLeftOutForRoom(post.galleryPane()), width == 640);
        EXPECT_FALSE(split->isCollapsed(post.galleryPane()));
        if (width == 1000) {
            EXPECT_GE(post.galleryPane()->width(), 250);
        }
    }

    setPublisher(QJsonValue::Null);
    users->setRemotePublisher(nullptr);
    const QRect free(0, 0, 800, 500);
    setScreenFreeAreaForTesting(free);
    runDialog([&] { PLRModalManager::presentPublisherWorkflow(true, [](qint64) {}); }, [&](PLRModalViewController* dialog) {
        Window* sheet = dialog->view()->platformWindow();
        for (int step = 0; step < 4; ++step, dialog->moveToNextView()) {
            SCOPED_TRACE(step);
            testing_support::drainEvents();
            EXPECT_TRUE(free.contains(sheet->frameGeometry()));
            for (QWidget* button : {static_cast<QWidget*>(dialog->primaryButton()), static_cast<QWidget*>(dialog->closeButton())})
                EXPECT_TRUE(sheet->rect().contains(rectIn(button, sheet)));
        }
        // Smaller still, and the page longer than the window shows: its last field scrolls into view.
        dialog->moveToHomeView();
        setScreenFreeAreaForTesting(QRect(0, 0, 640, 400));
        fitToScreen(sheet);
        auto* type = page<PLRPublishTypeSelectionViewController>(dialog);
        ASSERT_TRUE(type);
        type->websiteHostStack()->setSelectedIndex(2);
        dialog->presentError(QStringLiteral("Please enter the name of your website provider / builder"), std::nullopt, std::nullopt);
        AnimationClock::shared().advance(0.3);
        testing_support::drainEvents();
        EXPECT_TRUE(sheet->rect().contains(rectIn(dialog->primaryButton(), sheet)));
        QScrollArea* scroll = dialog->pageScrollView();
        QScrollBar* bar = scroll->verticalScrollBar();
        ASSERT_GT(bar->maximum(), 0);
        bar->setValue(bar->maximum());
        EXPECT_TRUE(scroll->viewport()->rect().contains(rectIn(type->themeTextErrorBox(), scroll->viewport())));
    });
}
