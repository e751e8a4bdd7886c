#include "../home/HomeTestSupport.h"

#include "services/analytic/PLRAnalyticManager.h"
#include "layout/PLRLayoutLibrary.h"
#include "layout/base/PLRLayoutManager.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform-ui/Animation.h"
#include "store/session/PLRDefaults.h"
#include "canvas/interaction/PLRLayoutDocumentView.h"
#include "canvas/interaction/PLRLayoutInteractionView.h"
#include "canvas/interaction/PLRLayoutViewController.h"
#include "shell/PLRShellNotifications.h"
#include "canvas/interaction/PLRVisualStateHandler.h"
#include "shell/home/PLRSupportChatHook.h"
#include "platform/Clock.h"
#include "shell/post/PLROnboardingPopover.h"
#include "shell/post/PLRPostCanvasViewController.h"
#include "shell/post/PLRPostSplitView.h"
#include "shell/post/PLRPostViewController.h"
#include "shell/post/PLRPrepViewController.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QApplication>
#include <QKeyEvent>

using namespace shell_test;

namespace {

// Hand-advanced time for the post view's delays and for animations.
class PostViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clock = &platform::ManualClock::install();
        platform::ui::AnimationClock::shared().setManual(true);
        PLRVisualStateHandler::globalHandler().reset();
        PLRLayoutLibrary::install();
        session = signIn("u-1", "ann@example.com");
    }
    void TearDown() override
    {
        controllers.clear();
    }
    // Moves the shared clock: the post view's delays and its animations.
    void advance(double seconds) { platform::ui::AnimationClock::shared().advance(seconds); }
    PLRPostViewController* open(PLRPostManager* manager, int width = 1300)
    {
        controllers.push_back(std::make_unique<PLRPostViewController>());
        PLRPostViewController* controller = controllers.back().get();
        controller->setPostManager(manager);
        controller->view()->resize(width, 800);
        controller->view()->show();
        testing_support::drainEvents();
        controller->presentInitialVisualState();
        return controller;
    }
    // Fills the new post's sheet as the user does (its name, its folder) and creates it.
    static void createFromSheet(PLRPostViewController* c, const QString& name, const QString& folder)
    {
        c->prepViewController()->titleTextField()->setStringValue(name);
        c->prepViewController()->setDirectoryWatch(QUrl::fromLocalFile(folder));
        c->prepViewController()->doneAction();
    }
    PLRPostViewController* openExisting(const QString& name = "Post")
    {
        PLRPersistantPost* post = makePost(session, name);
        return open(session->postManagerForPost(post));
    }

    platform::ManualClock* clock = nullptr;
    PLRUserSession* session = nullptr;
    std::vector<std::unique_ptr<PLRPostViewController>> controllers;
};

int paneWidth(QWidget* pane) { return pane->width(); }

} // namespace

TEST_F(PostViewTest, PaneWidthsAndTheirMemory)
{
    PLRPostViewController* c = openExisting();
    EXPECT_EQ(paneWidth(c->inspectorPane()), 250);
    EXPECT_GE(paneWidth(c->galleryPane()), 250);
    c->view()->resize(1700, 800);
    testing_support::drainEvents();
    EXPECT_EQ(paneWidth(c->inspectorPane()), 250);   // the canvas takes the room
    EXPECT_EQ(paneWidth(c->galleryPane()), 250);

    // A divider moved by the user is kept under the autosave name.
    c->splitView()->setPosition(330, 0);
    EXPECT_EQ(paneWidth(c->galleryPane()), 330);
    EXPECT_EQ(paneWidth(c->inspectorPane()), 250);
    const QString key = "NSSplitView Subview Frames PLRPostViewAutoSave";
    const QStringList saved = platform::UserDefaults::standard().objectForKey(key).toStringList();
    ASSERT_EQ(saved.size(), 3);
    EXPECT_TRUE(saved[0].startsWith("0.000000, 0.000000, 330.000000, 800.000000, NO"));

    // Another post's view opens with the remembered width; never narrower than 250.
    PLRPostViewController* other = openExisting("Other");
    EXPECT_EQ(paneWidth(other->galleryPane()), 330);
    platform::UserDefaults::standard().setObject(key, QStringList({"0, 0, 120.5, 800, NO, NO", "junk", "x"}));
    other->restoreGalleryViewWidth();
    EXPECT_EQ(paneWidth(other->galleryPane()), 250);
    platform::UserDefaults::standard().setObject(key, QStringList({"0, 0, wide, 800"}));
    other->restoreGalleryViewWidth();   // unreadable: nothing changes
    EXPECT_EQ(paneWidth(other->galleryPane()), 250);
    EXPECT_EQ(paneWidth(other->inspectorPane()), 250);
}

// The post view's layer: corner radius 5 that clips the panes too, and its shadow.
TEST_F(PostViewTest, TheViewHasRoundedClippedCornersAndAShadow)
{
    PLRPostViewController* c = openExisting();
    platform::ui::View* view = c->view();
    platform::ui::Layer* layer = view->layer();
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->cornerRadius(), 5.0);
    EXPECT_TRUE(layer->masksToBounds());
    EXPECT_EQ(layer->shadowOffset(), QSizeF(0.0, 4.0));
    EXPECT_EQ(layer->shadowRadius(), 5.0);
    ASSERT_TRUE(layer->shadowColor().has_value());
    EXPECT_EQ(*layer->shadowColor(), platform::ui::Color::black());
    EXPECT_DOUBLE_EQ(layer->shadowOpacity(), 0.2);
    // The panes are cut at the rounded corners, at every size.
    for (const QSize size : {QSize(1300, 800), QSize(900, 600)}) {
        view->resize(size);
        testing_support::drainEvents();
        const QRegion shape = view->mask();
        EXPECT_FALSE(shape.contains(QPoint(0, 0)));
        EXPECT_FALSE(shape.contains(QPoint(size.width() - 1, size.height() - 1)));
        EXPECT_TRUE(shape.contains(QPoint(5, 5)));
        EXPECT_TRUE(shape.contains(QPoint(size.width() / 2, 0)));
        EXPECT_TRUE(shape.contains(QPoint(0, size.height() / 2)));
    }
}

TEST_F(PostViewTest, CollapsedPanesFollowTheVisualState)
{
    PLRPostViewController* c = openExisting();
    advance(0.4);
    EXPECT_FALSE(c->splitView()->isCollapsed(c->galleryPane()));   // a first launch shows both
    EXPECT_FALSE(c->splitView()->isCollapsed(c->inspectorPane()));
    PLRVisualStateHandler::globalHandler().setGalleryVisible(true);   // "visible" means collapsed
    EXPECT_TRUE(c->splitView()->isCollapsed(c->galleryPane()));
    EXPECT_EQ(paneWidth(c->inspectorPane()), 250);
    PLRVisualStateHandler::globalHandler().setInspectorVisible(true);
    EXPECT_TRUE(c->splitView()->isCollapsed(c->inspectorPane()));

    // A post opened later starts with the stored state.
    PLRPostViewController* next = openExisting("Next");
    advance(0.4);
    EXPECT_TRUE(next->splitView()->isCollapsed(next->galleryPane()));
    EXPECT_TRUE(next->splitView()->isCollapsed(next->inspectorPane()));
    EXPECT_TRUE(PLRDefaults::shouldPresentGallery());
}

TEST_F(PostViewTest, OnboardingHintsAndTheirTiming)
{
    PLRPostViewController* c = openExisting();
    advance(1.9);
    EXPECT_FALSE(c->onBoardPopOver());
    advance(0.1);
    ASSERT_TRUE(c->onBoardPopOver());
    EXPECT_TRUE(c->onBoardPopOver()->isShown());
    EXPECT_EQ(c->onBoardPopOver()->contentView(), c->onboardGalleryView());
    EXPECT_EQ(c->onBoardPopOver()->edge(), PLROnboardingPopover::Edge::MaxX);
    // Beside the gallery's top band, pointing right.
    const QPoint galleryTopRight = c->galleryPane()->mapTo(c->view(), QPoint(c->galleryPane()->width(), 0));
    EXPECT_EQ(c->onBoardPopOver()->geometry().left(), galleryTopRight.x());
    EXPECT_LT(c->onBoardPopOver()->geometry().top(), c->onboardGalleryView()->height());

    // Layout changes before the gallery hint is dismissed schedule nothing.
    platform::NotificationCenter::defaultCenter().post(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE);
    EXPECT_FALSE(c->onBoardWillPresentInspector());
    c->dismissGalleyOnboard();
    EXPECT_EQ(PLRDefaults::onBoardPresentationState(), 1);
    EXPECT_FALSE(c->onBoardPopOver());

    platform::NotificationCenter::defaultCenter().post(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE);
    EXPECT_TRUE(c->onBoardWillPresentInspector());
    const size_t pending = clock->pendingCount();
    platform::NotificationCenter::defaultCenter().post(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE);
    EXPECT_EQ(clock->pendingCount(), pending);   // once per controller
    advance(1.9);
    EXPECT_FALSE(c->onBoardPopOver());
    advance(0.1);
    ASSERT_TRUE(c->onBoardPopOver());
    EXPECT_EQ(c->onBoardPopOver()->contentView(), c->onboardInspectorView());
    EXPECT_EQ(c->onBoardPopOver()->edge(), PLROnboardingPopover::Edge::MinX);
    EXPECT_EQ(c->onBoardPopOver()->geometry().right() + 1, c->inspectorPane()->mapTo(c->view(), QPoint(0, 0)).x());
    c->dismissInspectorOnboard();
    EXPECT_EQ(PLRDefaults::onBoardPresentationState(), 2);
    EXPECT_TRUE(c->onBoardInspectorDone());

    // No more hints, in any post.
    PLRPostViewController* later = openExisting("Later");
    platform::NotificationCenter::defaultCenter().post(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE);
    advance(5);
    EXPECT_FALSE(later->onBoardPopOver());
}

// Escape closes the hint on screen as its button does: from the window when nothing has the
// keyboard, past a button that has it, and past the canvas when it has nothing to end.
TEST_F(PostViewTest, EscapeClosesTheHintShown)
{
    PLRPostViewController* c = openExisting();
    QWidget* window = c->view()->window();
    window->activateWindow();
    const auto escape = [&](QWidget* target) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(target, &key);
        testing_support::drainEvents();
    };
    advance(2.0);
    ASSERT_TRUE(c->onBoardPopOver());
    escape(window);
    EXPECT_FALSE(c->onBoardPopOver());
    EXPECT_EQ(PLRDefaults::onBoardPresentationState(), 1);

    platform::NotificationCenter::defaultCenter().post(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE);
    advance(2.0);
    ASSERT_TRUE(c->onBoardPopOver());
    ASSERT_EQ(c->onBoardPopOver()->contentView(), c->onboardInspectorView());
    auto* canvasPane = qobject_cast<PLRPostCanvasViewController*>(c->layoutViewController());
    ASSERT_TRUE(canvasPane);
    QWidget* canvas = canvasPane->canvas()->interactionView();
    canvas->setFocus(Qt::MouseFocusReason);
    escape(canvas);
    EXPECT_FALSE(c->onBoardPopOver());
    EXPECT_EQ(PLRDefaults::onBoardPresentationState(), 2);
    EXPECT_TRUE(c->onBoardInspectorDone());
    escape(window);   // nothing shown: nothing happens
    EXPECT_EQ(PLRDefaults::onBoardPresentationState(), 2);
}

TEST_F(PostViewTest, AHintIsNotShownOnceThePostIsLeft)
{
    PLRPostViewController* c = openExisting();
    advance(1.0);
    c->view()->hide();
    advance(1.5);
    EXPECT_FALSE(c->onBoardPopOver());
    EXPECT_EQ(PLRDefaults::onBoardPresentationState(), 0);   // tried again at the next post
}

TEST_F(PostViewTest, NewPostSheetProgressAndClosing)
{
    const QString folder = photoFolder("trip", 3);
    PLRDefaults::setDefaultColour(QColor::fromRgbF(0.5, 0.25, 1.0));
    PLRPostManager* manager = session->newPostManager();
    PLRPostViewController* c = open(manager);
    ASSERT_TRUE(c->prepViewController());
    QWidget* sheet = c->prepViewController()->view();
    EXPECT_EQ(sheet->parentWidget(), c->view());
    EXPECT_EQ(c->prepViewController()->view()->alphaValue(), 0.0);
    advance(0.35);
    EXPECT_EQ(c->prepViewController()->view()->alphaValue(), 1.0);

    createFromSheet(c, "Trip", folder);
    PLRPersistantPost* post = manager->representedPost();
    ASSERT_TRUE(post);
    EXPECT_EQ(post->name(), "Trip");
    EXPECT_EQ(post->layout().padding(), 10);
    EXPECT_EQ(post->layout().background_colour().r(), 127.0f);
    EXPECT_EQ(post->layout().background_colour().g(), 63.0f);
    EXPECT_EQ(post->layout().background_colour().b(), 255.0f);
    EXPECT_EQ(c->imageProcessLabel()->stringValue(), "Preparing Images");
    EXPECT_FALSE(c->imageProcessView()->isHidden());
    advance(0.35);
    EXPECT_FALSE(c->prepViewController());   // faded out and dropped

    c->updateUIOnWatchDirectoryProgress({0, 0, false});
    EXPECT_EQ(c->imageProcessLabel()->stringValue(), "Creating blog...");
    EXPECT_TRUE(c->imageProcessProgressIndicator()->indeterminate());   // nothing loaded: busy, no division
    c->updateUIOnWatchDirectoryProgress({12, 3, false});
    EXPECT_EQ(c->imageProcessLabel()->stringValue(), "Preparing Images (3/12)");
    EXPECT_FALSE(c->imageProcessProgressIndicator()->indeterminate());
    EXPECT_DOUBLE_EQ(c->imageProcessProgressIndicator()->progressAmount(), 25.0);

    // Two completion reports close the phase once, a second after the first.
    c->updateUIOnWatchDirectoryProgress({3, 3, true});
    c->updateUIOnWatchDirectoryProgress({3, 3, true});
    advance(0.9);
    EXPECT_FALSE(c->prepHasClosed());
    advance(0.1);
    EXPECT_TRUE(c->prepHasClosed());
    EXPECT_TRUE(c->imageProcessView()->isHidden());
    EXPECT_TRUE(PLRVisualStateHandler::globalHandler().postHeaderVisible());
    EXPECT_EQ(c->layoutViewController()->postManager(), manager);
    EXPECT_EQ(c->galleryViewController()->postManager(), manager);
    EXPECT_EQ(c->inspectorViewController()->postManager(), manager);
    advance(0.2);
    auto* canvas = qobject_cast<PLRPostCanvasViewController*>(c->layoutViewController());
    ASSERT_TRUE(canvas);
    EXPECT_EQ(canvas->canvas()->postManager(), manager);
    EXPECT_TRUE(canvas->canvas()->layoutViewProxy());

    // Saved from the snapshot taken then.
    PLRCoreManager::saveQueue().waitUntilIdle();
    EXPECT_TRUE(QFileInfo::exists(post->bundlePath() + "/info.plist"));
    EXPECT_TRUE(QFileInfo::exists(post->bundlePath() + "/location.plist"));
    EXPECT_TRUE(testing_support::scriptedAlerts().shown().empty());
}

TEST_F(PostViewTest, AFailedSaveOfTheNewPostIsReported)
{
    PLRPostManager* manager = session->newPostManager();
    PLRPostViewController* c = open(manager);
    createFromSheet(c, "Blocked", photoFolder("blocked", 1));
    PLRCoreManager::saveQueue().waitUntilIdle();   // the new post's first write
    // A folder where the post's info.plist should go: the write at the preparation's end cannot succeed.
    const QString blocker = manager->representedPost()->bundlePath() + "/info.plist";
    ASSERT_TRUE(QFile::remove(blocker) && QDir().mkpath(blocker + "/inside"));
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    c->updateUIOnWatchDirectoryProgress({1, 1, true});
    advance(1.0);
    PLRCoreManager::saveQueue().waitUntilIdle();
    ASSERT_TRUE(testing_support::waitUntil([] { return !testing_support::scriptedAlerts().shown().empty(); }));
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().messageText, "The post could not be saved.");
    QDir(blocker).removeRecursively();
}

// A new post whose photo records are more than its location file holds: the first save fails
// and says so, and writes no file that the post's next opening would set aside.
TEST_F(PostViewTest, ANewPostWhosePhotoRecordsCannotBeWrittenIsReported)
{
    PLRPostManager* manager = session->newPostManager();
    PLRPostViewController* c = open(manager);
    createFromSheet(c, "Crowded", photoFolder("crowded", 1));
    ASSERT_TRUE(testing_support::waitUntilMovingTheClock([&] { return manager->images().size() == 1; }));
    manager->images().first()->setFocusKeywords({QString(kPLRPostMaxLocationBytes, QLatin1Char('k'))});
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    c->updateUIOnWatchDirectoryProgress({1, 1, true});
    advance(1.0);
    PLRCoreManager::saveQueue().waitUntilIdle();
    ASSERT_TRUE(testing_support::waitUntil([] { return !testing_support::scriptedAlerts().shown().empty(); }));
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().messageText, "The post could not be saved.");
    EXPECT_TRUE(testing_support::scriptedAlerts().shown().back().informativeText.contains("too many photos to be recorded"));
    EXPECT_LE(QFileInfo(manager->representedPost()->bundlePath() + "/location.plist").size(), kPLRPostMaxLocationBytes);
}

TEST_F(PostViewTest, CancellingTheSheetGoesHome)
{
    NavigationRecorder navigation;
    PLRPostViewController* c = open(session->newPostManager());
    c->prepViewController()->cancelAction();
    EXPECT_EQ(navigation.movedHome, QList<bool>({true}));
    EXPECT_TRUE(session->account()->currentPosts().isEmpty());
}

TEST_F(PostViewTest, AppearingAndLeavingAreAnnounced)
{
    QList<bool> toggles;
    QObject context;
    platform::NotificationCenter::defaultCenter().addObserver(&context, kPLR_POST_VIEW_TOGGLED, [&](const platform::Notification& n) {
        toggles << n.userInfo.value(kPLRPostViewAppearedKey).toBool();
    });
    PLRPostViewController* c = openExisting();
    EXPECT_EQ(toggles, QList<bool>({true}));
    EXPECT_TRUE(c->postLoadDate().isValid());
    c->view()->hide();   // left within the same second
    EXPECT_EQ(toggles, QList<bool>({true, false}));
    auto& analytics = PLRAnalyticManager::coreAnalyticManager();
    ASSERT_TRUE(testing_support::waitUntil([&] {
        for (const PLRAnalyticEvent& event : analytics.loadEvents())
            if (event.title() == "post_session")
                return event.info().value("seconds_of_session").toLongLong() == 0;
        return false;
    }));
}

// The support chat comes into the canvas's corner when the post opens and each time it is shown
// again (home may have taken it meanwhile); the gallery and the inspector never take it.
TEST_F(PostViewTest, TheCanvasTakesTheSupportChatEachTimeItIsShown)
{
    QList<QWidget*> hosts;
    PLRSupportChatHook::setAttach([&](QWidget* host) { hosts << host; });
    PLRPostViewController* c = openExisting();
    testing_support::drainEvents();
    QWidget* canvas = c->layoutViewController()->view();
    EXPECT_EQ(hosts, QList<QWidget*>{canvas});
    c->view()->hide();
    c->view()->show();
    testing_support::drainEvents();
    EXPECT_EQ(hosts, (QList<QWidget*>{canvas, canvas}));
    PLRSupportChatHook::setAttach(nullptr);
}

TEST_F(PostViewTest, ADeletedPostLeavesItsControllerInert)
{
    PLRPostViewController* c = openExisting("Doomed");
    PLRPersistantPost* post = c->postManager()->representedPost();
    session->deletePost(post);
    ASSERT_TRUE(testing_support::waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return c->postManager() == nullptr;
    }));
    EXPECT_EQ(c->layoutViewController()->postManager(), nullptr);
    c->presentInitialVisualState();   // nothing left to show, nothing written
    advance(3);
    EXPECT_FALSE(c->onBoardPopOver());
}
