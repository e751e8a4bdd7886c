// The main window's title bar: panel icons and menu, the post menu, the automatic-layout count,
// the zoom label, the header switch and the post selector's home edge, the add-block popover;
// and the visual state.

#include "ShellTestSupport.h"

#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/NotificationCenter.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRUserSession.h"
#include "shell/PLRShellNotifications.h"
#include "canvas/interaction/PLRVisualStateHandler.h"

#include "canvas/interaction/PLRLayoutInteraction.h"
#include "canvas/interaction/PLRLayoutDocumentView.h"
#include "canvas/interaction/PLRLayoutInteractionView.h"
#include "platform/UndoManager.h"
#include "store/session/PLRPostManager.h"
#include "shell/PLRAddBlockView.h"
#include "shell/PLRTitleBarControls.h"
#include "platform-ui/AttributedString.h"
#include "platform-ui/Fonts.h"

#include <QAction>
#include <QApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>

#include <algorithm>
#include <cmath>

using namespace shell_test;

class TitleBarTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        prepareExistingStore();
    }
    PLRBaseWindowController* window() const { return app->baseWindowController(); }
    static QStringList onItems(QMenu* menu)
    {
        QStringList titles;
        for (QAction* item : menu->actions())
            if (item->isChecked())
                titles << item->text();
        return titles;
    }
};

TEST_F(TitleBarTest, PanelIconAndMenuFollowTheCollapsedFlags)
{
    PLRDefaults::setShouldPresentGallery(true);
    PLRDefaults::setShouldPresentOutline(true);
    PLRVisualStateHandler::globalHandler().reset();
    launch();
    EXPECT_EQ(window()->panelsButton()->imageName(), QStringLiteral("panels-both-hidden"));
    EXPECT_EQ(window()->panelsButton()->alternateImageName(), QStringLiteral("panels-both-hidden-pressed"));
    EXPECT_EQ(window()->panelButtonMenuOpenImage(), QStringLiteral("panels-both-hidden-popover"));
    window()->showPanelLayoutMenu(window()->panelsButton());
    EXPECT_EQ(onItems(window()->panelLayoutMenu()), QStringList{QStringLiteral("Hide both panels")});
    EXPECT_EQ(window()->panelsButton()->alternateImageName(), QStringLiteral("panels-both-hidden-popover"));

    // "Gallery panel only": the gallery shown, the inspector collapsed, stored as such.
    window()->changePanelOption(window()->panelLayoutMenu()->actions().at(1));
    EXPECT_FALSE(PLRDefaults::shouldPresentGallery());
    EXPECT_TRUE(PLRDefaults::shouldPresentOutline());
    EXPECT_EQ(window()->panelsButton()->imageName(), QStringLiteral("panels-left-showing"));
    window()->changePanelOption(window()->panelLayoutMenu()->actions().at(0));
    EXPECT_EQ(window()->panelsButton()->imageName(), QStringLiteral("panels-both-showing"));
    window()->showPanelLayoutMenu(window()->panelsButton());
    EXPECT_EQ(onItems(window()->panelLayoutMenu()), QStringList{QStringLiteral("Both Panels")});
    window()->panelLayoutMenu()->hide();
}

TEST_F(TitleBarTest, PostMenuSplitsPublishedPostsByOneSeparator)
{
    signInDemo();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    PLRPersistantAccount* account = PLRCoreManager::userSession()->account();
    PLRPersistantPost* beta = account->addPost(PLRPersistantPost::makeNew(QStringLiteral("Beta"), account));
    account->addPost(PLRPersistantPost::makeNew(QStringLiteral("Alpha"), account));

    // None published: the separator still comes first.
    window()->showPostMenu(window()->showPostsButton());
    QList<QAction*> items = window()->postMenu()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_TRUE(items.at(0)->isSeparator());
    EXPECT_EQ(items.at(1)->text(), QStringLiteral("Alpha"));
    EXPECT_EQ(items.at(2)->text(), QStringLiteral("Beta"));
    window()->postMenu()->hide();

    beta->setRemoteIdentifier(QStringLiteral("remote-1"));
    root()->presentPost(beta);
    finishAnimations();
    window()->showPostMenu(window()->showPostsButton());
    items = window()->postMenu()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items.at(0)->text(), QStringLiteral("Beta"));
    EXPECT_TRUE(items.at(0)->isChecked());
    EXPECT_TRUE(items.at(1)->isSeparator());
    EXPECT_FALSE(items.at(2)->isChecked());
    // Choosing an item opens that post.
    items.at(2)->trigger();
    finishAnimations();
    EXPECT_EQ(root()->currentPostManager()->representedPost()->name(), QStringLiteral("Alpha"));
    EXPECT_EQ(window()->currentPostButton()->title(), QStringLiteral("Alpha"));
    window()->postMenu()->hide();
}

// The post's name in the title bar stays on one line, and two long names that differ at their
// end still read differently: the selector takes the room it needs and shortens the name in the
// middle where even that is not enough; its tool tip is the whole name.
TEST_F(TitleBarTest, ThePostsNameStaysOnOneLineAndLongNamesTellApart)
{
    signInDemo();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    PLRPersistantAccount* account = PLRCoreManager::userSession()->account();
    const QString first = QStringLiteral("Autumn Walk in the Hills imported 1");
    const QString second = QStringLiteral("Autumn Walk in the Hills imported 2");
    PLRPersistantPost* one = account->addPost(PLRPersistantPost::makeNew(first, account));
    PLRPersistantPost* two = account->addPost(PLRPersistantPost::makeNew(second, account));
    PLRPostSelecorPopUpButton* selector = window()->currentPostButton();
    // The name as the selector draws it, and whether it fits its rectangle on one line.
    const auto drawnName = [selector](bool* oneLine) {
        QString name;
        *oneLine = true;
        for (const platform::ui::DrawOperation& op : selector->recordDrawing()) {
            if (op.kind != platform::ui::DrawOperation::Kind::Text)
                continue;
            name += op.text;
            const platform::ui::AttributedString text(op.text, {{platform::ui::kFontAttributeName, platform::ui::systemFont(13, platform::ui::FontWeight::Medium)}});
            const double line = platform::ui::TextLayout(text, QSizeF(1e9, 1e9)).usedRect().height();
            *oneLine = *oneLine && platform::ui::TextLayout(text, QSizeF(op.rect.width(), 1e9)).usedRect().height() <= line;
        }
        return name;
    };
    for (const int windowWidth : {640, 700, 800}) {   // the test screen is 800 wide
        QWidget* main = window()->window();
        main->setMinimumWidth(std::min(main->minimumWidth(), windowWidth));   // as on a small screen
        main->resize(windowWidth, main->height());
        ASSERT_EQ(main->width(), windowWidth);
        QCoreApplication::processEvents();
        QStringList shown;
        for (PLRPersistantPost* post : {one, two}) {
            root()->presentPost(post);
            finishAnimations();
            bool oneLine = false;
            shown << drawnName(&oneLine);
            EXPECT_TRUE(oneLine) << shown.last().toStdString() << " at " << windowWidth;
            EXPECT_EQ(selector->toolTip(), post->name());
            // Clear of the zoom controls.
            const QRect zoom(window()->negativeZoomButton()->mapTo(window()->headerView(), QPoint(0, 0)),
                             window()->negativeZoomButton()->size());
            EXPECT_LT(selector->geometry().right(), zoom.left()) << windowWidth;
        }
        EXPECT_NE(shown.at(0), shown.at(1)) << windowWidth;
        if (windowWidth >= 800) {
            EXPECT_EQ(shown, (QStringList{first, second}));   // room enough for the whole names
        }
    }
}

TEST_F(TitleBarTest, AutomaticLayoutCountIsStoredAndPosted)
{
    PLRDefaults::setAutoLayoutNumImagesToAdd(17);   // not among the menu's counts
    launch();
    EXPECT_EQ(window()->autoLayoutNumImagesToAdd(), 21);
    EXPECT_EQ(PLRDefaults::autoLayoutNumImagesToAdd(), 21);
    window()->showAutoLayoutWizardMenu(window()->autoLayoutDropdownButton());
    EXPECT_EQ(onItems(window()->autoLayoutMenu()), QStringList{QStringLiteral("21")});

    QAction* all = window()->autoLayoutMenu()->actions().last();
    ASSERT_EQ(all->text(), QStringLiteral("All"));
    all->trigger();
    window()->autoLayoutMenu()->hide();
    EXPECT_EQ(PLRDefaults::autoLayoutNumImagesToAdd(), 2147483647);
    EXPECT_EQ(window()->autoLayoutButton()->imageName(), QStringLiteral("wand-all"));
    EXPECT_EQ(window()->autoLayoutButton()->alternateImageName(), QStringLiteral("wand-all-pressed"));
    EXPECT_EQ(onItems(window()->autoLayoutMenu()), QStringList{QStringLiteral("All")});

    QVariant posted;
    QObject context;
    platform::NotificationCenter::defaultCenter().addObserver(
        &context, QLatin1String(kPLR_NOTIFICATION_AUTO_BUILD_LAYOUT),
        [&posted](const platform::Notification& n) { posted = n.userInfo.value(QStringLiteral("autoLayoutNumImagesToAdd")); });
    window()->autoLayoutAction(window()->autoLayoutButton());
    EXPECT_EQ(posted.toLongLong(), 2147483647);
}

TEST_F(TitleBarTest, ZoomLabelRoundsAndZoomButtonsStep)
{
    launch();
    // Truncated, but not below the decimal factor's own value.
    EXPECT_EQ(PLRBaseWindowController::zoomLabelForFactor(0.999), QStringLiteral("99%"));
    EXPECT_EQ(PLRBaseWindowController::zoomLabelForFactor(0.25), QStringLiteral("25%"));
    EXPECT_EQ(PLRBaseWindowController::zoomLabelForFactor(0.29), QStringLiteral("29%"));
    EXPECT_EQ(PLRBaseWindowController::zoomLabelForFactor(0.57), QStringLiteral("57%"));
    EXPECT_EQ(PLRBaseWindowController::zoomLabelForFactor(1.0), QStringLiteral("100%"));
    auto& state = PLRVisualStateHandler::globalHandler();
    EXPECT_EQ(window()->numberZoomButton()->title(), QStringLiteral("100%"));
    state.setLayoutZoomFactor(3.95);
    window()->zoomSelectionAction(window()->positiveZoomButton());
    EXPECT_DOUBLE_EQ(state.layoutZoomFactor(), 4.0);
    window()->zoomSelectionAction(window()->positiveZoomButton());
    EXPECT_DOUBLE_EQ(state.layoutZoomFactor(), 4.0);
    EXPECT_EQ(window()->numberZoomButton()->title(), QStringLiteral("400%"));
    state.setLayoutZoomFactor(0.15);
    window()->zoomSelectionAction(window()->negativeZoomButton());
    EXPECT_DOUBLE_EQ(state.layoutZoomFactor(), 0.1);
    EXPECT_EQ(window()->numberZoomButton()->title(), QStringLiteral("10%"));
}

TEST_F(TitleBarTest, HeaderSwitchAndPostSelectorHomeEdge)
{
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isShowingAuth(); }));
    EXPECT_EQ(window()->headerState(), PLRBaseWindowController::HomeHeader);
    EXPECT_DOUBLE_EQ(window()->titleLabel()->alphaValue(), 1.0);
    for (platform::ui::View* control : window()->postHeaderControls()) {
        EXPECT_DOUBLE_EQ(control->alphaValue(), 0.0) << control->objectName().toStdString();
        EXPECT_FALSE(control->isEnabled());
    }
    PLRVisualStateHandler::globalHandler().setPostHeaderVisible(true);
    finishAnimations();
    EXPECT_DOUBLE_EQ(window()->titleLabel()->alphaValue(), 0.0);
    for (platform::ui::View* control : window()->postHeaderControls())
        EXPECT_DOUBLE_EQ(control->alphaValue(), 1.0) << control->objectName().toStdString();

    // A press on the selector's left 14 points does nothing without a home target.
    PLRPostSelecorPopUpButton* selector = window()->currentPostButton();
    int actions = 0;
    selector->setAction([&actions](platform::ui::Control*) { ++actions; });
    selector->setTarget(nullptr);
    platform::ui::dispatch::sendMouse(selector, QEvent::MouseButtonPress, QPointF(10, 10));
    platform::ui::dispatch::sendMouse(selector, QEvent::MouseButtonRelease, QPointF(10, 10));
    EXPECT_TRUE(selector->triggerHome());
    EXPECT_EQ(actions, 0);
    // With a home target the edge sends the home selector; elsewhere the button acts.
    int homes = 0;
    QObject target;
    selector->setHomeTarget(&target);
    selector->setHomeSelector([&homes](QObject*) { ++homes; });
    platform::ui::dispatch::sendMouse(selector, QEvent::MouseButtonPress, QPointF(10, 10));
    platform::ui::dispatch::sendMouse(selector, QEvent::MouseButtonRelease, QPointF(10, 10));
    EXPECT_EQ(homes, 1);
    platform::ui::dispatch::sendMouse(selector, QEvent::MouseButtonPress, QPointF(60, 10));
    platform::ui::dispatch::sendMouse(selector, QEvent::MouseButtonRelease, QPointF(60, 10));
    EXPECT_EQ(actions, 1);
    EXPECT_FALSE(selector->triggerHome());
}

// The title bar's two groups of post controls show while a post view is on screen only.
TEST_F(TitleBarTest, PostViewShowsAndHidesTheToolbarItems)
{
    signInDemo();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    const auto groupsShown = [this](bool shown) {
        int checked = 0;
        for (platform::ui::View* group : {window()->toolbarItems(), window()->toolbarItemsFarRight()}) {
            for (QWidget* control : group->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
                ++checked;
                if (control->isHidden() == shown)
                    return false;
            }
        }
        return checked == 12;
    };
    ASSERT_NE(window()->toolbarItems(), nullptr);
    EXPECT_EQ(window()->toolbarItems()->objectName(), QStringLiteral("toolbarItems"));
    EXPECT_EQ(window()->toolbarItemsFarRight()->objectName(), QStringLiteral("toolbarItemsFarRight"));
    EXPECT_EQ(window()->exportButton()->parentWidget(), window()->toolbarItemsFarRight());
    EXPECT_EQ(window()->addButton()->parentWidget(), window()->toolbarItems());
    EXPECT_TRUE(groupsShown(false));
    EXPECT_FALSE(app->enablePostViewControls());

    PLRPersistantAccount* account = PLRCoreManager::userSession()->account();
    PLRPersistantPost* post = account->addPost(PLRPersistantPost::makeNew(QStringLiteral("Shown"), account));
    root()->presentPost(post);
    finishAnimations();
    EXPECT_TRUE(app->enablePostViewControls());
    EXPECT_TRUE(groupsShown(true));
    // The groups hold their controls where the header would: the export button at the right.
    const QRect exportInHeader(window()->exportButton()->mapTo(window()->headerView(), QPoint(0, 0)),
                               window()->exportButton()->size());
    EXPECT_EQ(exportInHeader.right(), window()->headerView()->width() - 16 - 1);
    // A group clips what its controls draw: each control's whole focus ring fits inside it.
    const int ring = int(std::ceil(platform::ui::View::kFocusRingWidth));
    for (platform::ui::View* group : {window()->toolbarItems(), window()->toolbarItemsFarRight()}) {
        for (QWidget* control : group->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (control->focusPolicy() == Qt::NoFocus)
                continue;
            EXPECT_TRUE(group->rect().contains(control->geometry().adjusted(-ring, -ring, ring, ring)))
                << control->objectName().toStdString();
        }
    }

    // Another post chosen with the selector, again and again: the post coming appears before the
    // one leaving goes, and the controls stay with the post shown.
    PLRPersistantPost* other = account->addPost(PLRPersistantPost::makeNew(QStringLiteral("Other"), account));
    for (PLRPersistantPost* next : {other, post, other}) {
        window()->showPostMenu(window()->showPostsButton());
        for (QAction* item : window()->postMenu()->actions())
            if (item->data().toString() == next->identifier())
                item->trigger();
        window()->postMenu()->hide();
        finishAnimations();
        ASSERT_EQ(root()->currentPostManager()->representedPost(), next);
        EXPECT_TRUE(app->enablePostViewControls());
        EXPECT_TRUE(groupsShown(true));
    }

    root()->moveHome(true);
    finishAnimations();
    EXPECT_FALSE(app->enablePostViewControls());
    EXPECT_TRUE(groupsShown(false));
    root()->presentPost(post);
    finishAnimations();
    EXPECT_TRUE(app->enablePostViewControls());
    EXPECT_TRUE(groupsShown(true));
}

TEST_F(TitleBarTest, ClosingTheWindowIsAQuitRequest)
{
    PLRDefaults::setShouldSupressNotifyOfExport(true);
    launch();
    window()->window()->performClose();
    ASSERT_TRUE(waitFor([this] { return exited; }));
    EXPECT_EQ(window()->window()->isVisible(), true);
}

TEST(VisualState, StepsAreBoundedAndFitIsNot)
{
    struct Fit : PLRVisualStateHandlerDelegate {
        std::optional<double> layoutZoomFactorToFitForVisualStateHandler(PLRVisualStateHandler*) override { return 0.05; }
        void visualStateHandlerSetLayoutZoomFactor(PLRVisualStateHandler*, double factor) override { told << factor; }
        QList<double> told;
    };
    auto& state = PLRVisualStateHandler::globalHandler();
    state.reset();
    EXPECT_FALSE(state.postHeaderVisible());
    EXPECT_FALSE(state.galleryVisible());
    EXPECT_DOUBLE_EQ(state.layoutZoomFactor(), 1.0);
    {
        Fit fit;
        state.addVisualDelegate(&fit);
        state.setLayoutZoomToFit();
        EXPECT_DOUBLE_EQ(state.layoutZoomFactor(), 0.05);
        state.decrementLayoutZoomFactorBy(0.1);
        EXPECT_DOUBLE_EQ(state.layoutZoomFactor(), 0.1);
        EXPECT_EQ(fit.told, (QList<double>{0.05, 0.1}));
    }
    // A destroyed delegate has left by itself.
    EXPECT_TRUE(state.currentDelegates().isEmpty());

    // A step is the factor plus or minus the step, not snapped to whole percents: after a fit
    // of 0.537 one step up gives 0.637, one down from there 0.537. A fit of nothing is refused.
    {
        struct OddFit : PLRVisualStateHandlerDelegate {
            std::optional<double> layoutZoomFactorToFitForVisualStateHandler(PLRVisualStateHandler*) override { return 0.537; }
        } oddFit;
        state.addVisualDelegate(&oddFit);
        state.setLayoutZoomToFit();
        state.removeVisualDelegate(&oddFit);
    }
    EXPECT_DOUBLE_EQ(state.layoutZoomFactor(), 0.537);
    state.incrementLayoutZoomFactorBy(0.1);
    EXPECT_DOUBLE_EQ(state.layoutZoomFactor(), 0.637);
    state.decrementLayoutZoomFactorBy(0.1);
    EXPECT_DOUBLE_EQ(state.layoutZoomFactor(), 0.537);
    state.setLayoutZoomFactor(1.0);
    {
        struct NoFit : PLRVisualStateHandlerDelegate {
            std::optional<double> layoutZoomFactorToFitForVisualStateHandler(PLRVisualStateHandler*) override { return 0.0; }
        } noFit;
        state.addVisualDelegate(&noFit);
        state.setLayoutZoomToFit();
        EXPECT_EQ(state.layoutZoomFactor(), 1.0);
        state.removeVisualDelegate(&noFit);
    }
    state.toggleGalleryVisible();
    EXPECT_TRUE(PLRDefaults::shouldPresentGallery());
    state.toggleGalleryVisible();
    EXPECT_FALSE(PLRDefaults::shouldPresentGallery());
}

TEST_F(TitleBarTest, AddBlockPopoverOffersThreeKindsAndAClickAppendsToTheShownPost)
{
    signInDemo();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    // The popover's content is not made with the window, only when first asked for.
    const auto popOverMade = [] {
        const QList<QWidget*> widgets = QApplication::allWidgets();
        return std::any_of(widgets.begin(), widgets.end(),
                           [](QWidget* widget) { return widget->objectName() == QLatin1String("popOverView"); });
    };
    EXPECT_FALSE(popOverMade());
    PLRAddBlockView* tiles = window()->addBlockView();
    EXPECT_TRUE(popOverMade());
    ASSERT_NE(tiles, nullptr);
    EXPECT_EQ(PLRAddBlockView::offeredKinds(),
              (QList<int>{plr::kBlockKindText, plr::kBlockKindBlank, plr::kBlockKindDownloadButton}));
    for (int kind : PLRAddBlockView::offeredKinds())
        EXPECT_NE(tiles->tileForKind(kind), nullptr);
    // At home there is no canvas: a click adds nothing and closes the popover.
    window()->addBlockAction(window()->addButton());
    EXPECT_TRUE(window()->dragPopOver()->isShown());
    EXPECT_EQ(window()->addButton()->imageName(), QStringLiteral("add-block-popover"));
    EXPECT_EQ(window()->addBlockOfKind(plr::kBlockKindText), nullptr);
    EXPECT_FALSE(window()->dragPopOver()->isShown());
    EXPECT_EQ(window()->addButton()->imageName(), QStringLiteral("add-block"));

    PLRPersistantAccount* account = PLRCoreManager::userSession()->account();
    PLRPersistantPost* post = account->addPost(PLRPersistantPost::makeNew(QStringLiteral("Walk"), account));
    root()->presentPost(post);
    finishAnimations();
    PLRPostManager* manager = root()->currentPostManager();
    ASSERT_NE(manager, nullptr);
    ASSERT_NE(manager->layoutManager(), nullptr);
    ASSERT_NE(window()->currentCanvas(), nullptr);

    // A click on the spacer tile, then on the text tile: both at the end, the text being typed.
    window()->addBlockAction(window()->addButton());
    QTest::mouseClick(tiles->tileForKind(plr::kBlockKindBlank), Qt::LeftButton);
    EXPECT_FALSE(window()->dragPopOver()->isShown());
    window()->addBlockAction(window()->addButton());
    QTest::mouseClick(tiles->tileForKind(plr::kBlockKindText), Qt::LeftButton);
    const PLRLayout& layout = *manager->layoutManager()->representedLayout();
    ASSERT_EQ(layout.sections_size(), 1);
    ASSERT_EQ(layout.sections(0).blocks_size(), 2);
    EXPECT_TRUE(layout.sections(0).blocks(0).has_blank());
    EXPECT_TRUE(layout.sections(0).blocks(1).has_text());
    EXPECT_TRUE(window()->currentCanvas()->isEditingText());

    // Each addition is one undo step.
    platform::UndoManager* undo = platform::UndoManager::forOwner(manager);
    ASSERT_NE(undo, nullptr);
    EXPECT_EQ(undo->undoActionName(), QStringLiteral("Add Text"));
    undo->undo();
    EXPECT_EQ(manager->layoutManager()->representedLayout()->sections(0).blocks_size(), 1);
    undo->undo();
    EXPECT_EQ(manager->layoutManager()->representedLayout()->sections_size(), 0);

    // A drag of a tile gives the canvas the new block's kind.
    QList<int> dragged;
    tiles->dragRunner = [&dragged](QMimeData* mimeData) {
        dragged << PLRBlockPasteboard::newBlockKindFromMimeData(mimeData);
        delete mimeData;
    };
    window()->addBlockAction(window()->addButton());
    QWidget* tile = tiles->tileForKind(plr::kBlockKindDownloadButton);
    QTest::mousePress(tile, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(60, 60), tile->mapToGlobal(QPointF(60, 60)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(tile, &move);
    EXPECT_EQ(dragged, QList<int>{plr::kBlockKindDownloadButton});
    EXPECT_FALSE(window()->dragPopOver()->isShown());
    tiles->dragRunner = nullptr;
}

TEST_F(TitleBarTest, TheAddBlockPopoverIsUsedWithTheKeyboardAlone)
{
    signInDemo();
    launch();
    ASSERT_TRUE(waitFor([this] { return root()->isPresentingHome(); }));
    PLRPersistantAccount* account = PLRCoreManager::userSession()->account();
    PLRPersistantPost* post = account->addPost(PLRPersistantPost::makeNew(QStringLiteral("Walk"), account));
    root()->presentPost(post);
    finishAnimations();
    PLRPostManager* manager = root()->currentPostManager();
    ASSERT_NE(manager, nullptr);
    QWidget* shown = window()->window();
    shown->activateWindow();
    QApplication::setActiveWindow(shown);
    const auto press = [](int key) {
        QWidget* to = QApplication::focusWidget();
        ASSERT_NE(to, nullptr);
        QTest::keyClick(to, Qt::Key(key));
    };

    // Tab reached "+", Space opens the popover, and the first tile has the keyboard.
    window()->addButton()->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Space);
    ASSERT_TRUE(window()->dragPopOver()->isShown());
    PLRAddBlockView* tiles = window()->addBlockView();
    QWidget* text = tiles->tileForKind(plr::kBlockKindText);
    QWidget* spacer = tiles->tileForKind(plr::kBlockKindBlank);
    QWidget* download = tiles->tileForKind(plr::kBlockKindDownloadButton);
    EXPECT_TRUE(text->hasFocus());
    // The tile with the keyboard shows the focus ring on its edge.
    const QImage ringed = text->grab().toImage();
    const QColor edge = ringed.pixelColor(text->width() / 2, 1);
    EXPECT_GT(edge.blue(), edge.red() + 30) << edge.name().toStdString();

    // Arrows and Tab move between the tiles, round at the ends.
    press(Qt::Key_Right);
    EXPECT_TRUE(spacer->hasFocus());
    press(Qt::Key_Tab);
    EXPECT_TRUE(download->hasFocus());
    press(Qt::Key_Right);
    EXPECT_TRUE(text->hasFocus());
    press(Qt::Key_Left);
    EXPECT_TRUE(download->hasFocus());
    press(Qt::Key_Backtab);
    EXPECT_TRUE(spacer->hasFocus());

    // Return adds the spacer and closes the popover.
    press(Qt::Key_Return);
    EXPECT_FALSE(window()->dragPopOver()->isShown());
    const PLRLayout& layout = *manager->layoutManager()->representedLayout();
    ASSERT_EQ(layout.sections_size(), 1);
    ASSERT_EQ(layout.sections(0).blocks_size(), 1);
    EXPECT_TRUE(layout.sections(0).blocks(0).has_blank());

    // The keyboard goes to the canvas, where the new block is selected. Escape closes the
    // popover, adds nothing and leaves the keyboard on "+"; Space on a tile adds its block.
    EXPECT_TRUE(window()->currentCanvas()->hasFocus());
    EXPECT_EQ(manager->layoutManager()->currentSelectedBlocks().size(), 1);
    window()->addButton()->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Space);
    ASSERT_TRUE(window()->dragPopOver()->isShown());
    press(Qt::Key_Escape);
    EXPECT_FALSE(window()->dragPopOver()->isShown());
    EXPECT_EQ(window()->addButton()->imageName(), QStringLiteral("add-block"));
    EXPECT_EQ(manager->layoutManager()->representedLayout()->sections(0).blocks_size(), 1);
    EXPECT_TRUE(window()->addButton()->hasFocus());
    press(Qt::Key_Space);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    EXPECT_TRUE(download->hasFocus());
    press(Qt::Key_Space);
    ASSERT_EQ(manager->layoutManager()->representedLayout()->sections(0).blocks_size(), 2);
    EXPECT_TRUE(manager->layoutManager()->representedLayout()->sections(0).blocks(1).has_download_button());
}

TEST_F(TitleBarTest, MainWindowOpensAtEightTenthsOfItsScreenCentredAtEveryLaunch)
{
    launch();
    platform::ui::Window* shown = window()->window();
    const QRect screen = shown->screen()->geometry();
    // 0.8 of the screen (no smaller than the window's minimum), half the difference from the
    // screen's origin on each axis, as far as the window fits. The test's screen is narrower than
    // the window's usual minimum (860 wide): the minimum gives way to the screen's free area, so
    // the whole window, title bar, inspector and Publish, lies on the screen.
    const QRect free = shown->screen()->availableGeometry();
    ASSERT_LT(free.width(), 860);
    ASSERT_GT(screen.height() * 0.8, 560);
    EXPECT_EQ(shown->minimumSize(), QSize(free.width(), 560));
    const QSize size(free.width(), int(screen.height() * 0.8));
    const QRect expected(QPoint(free.x(), int(screen.height() * 0.1)), size);
    EXPECT_EQ(shown->geometry(), expected);
    EXPECT_TRUE(free.contains(shown->frameGeometry()));
    QWidget* home = window()->homeButton();
    EXPECT_TRUE(screen.contains(home->mapToGlobal(home->rect().topLeft())));

    // Where the user left it is not kept: the next launch opens the same way again.
    shown->setGeometry(QRect(screen.x() + 30, screen.y() + 40, shown->minimumWidth() + 20, shown->minimumHeight() + 10));
    QCoreApplication::processEvents();
    app.reset();
    launch();
    EXPECT_EQ(window()->window()->geometry(), expected);
    EXPECT_FALSE(platform::UserDefaults::standard().hasKey(QStringLiteral("PLRMainWindowFrame")));
}

TEST(Popover, IsDrawnWhiteInsideAGreyEdgeSoItStandsOutOverWhitePanels)
{
    PLRPopover popover;
    auto* content = new QWidget;
    content->setFixedSize(120, 60);
    popover.setContentView(content);
    QWidget anchor;
    anchor.setGeometry(100, 100, 40, 20);
    anchor.show();
    popover.showRelativeToRect(anchor.rect(), &anchor);
    ASSERT_TRUE(popover.isShown());
    const QImage picture = popover.grab().toImage();
    const int middle = picture.height() / 2;
    for (const QPoint edge : {QPoint(0, middle), QPoint(picture.width() - 1, middle), QPoint(picture.width() / 2, 0),
                              QPoint(picture.width() / 2, picture.height() - 1)})
        EXPECT_EQ(picture.pixelColor(edge).rgb(), QColor(0xcc, 0xcc, 0xcc).rgb()) << edge.x() << "," << edge.y();
    EXPECT_EQ(picture.pixelColor(4, middle).rgb(), QColor(Qt::white).rgb());
    popover.hide();
}
