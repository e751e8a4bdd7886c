#include "HomeTestSupport.h"

#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "store/session/PLRDefaults.h"
#include "shell/PLRShellNotifications.h"
#include "shell/home/PLRCollectionViewLayout.h"
#include "shell/home/PLRHomeViewController.h"
#include "shell/home/PLRRecentCollectionViewItemNewPost.h"
#include "shell/home/PLRSupportChatLoader.h"

#include "controls/PLRPopupButton.h"
#include "platform-ui/View.h"

#include <QMenu>

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QScrollBar>
#include <QWheelEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

using namespace shell_test;

namespace {

struct Home {
    PLRHomeViewController controller;
    Home(int width = 1110, int height = 900)
    {
        controller.view()->resize(width, height);
        controller.view()->show();
        testing_support::drainEvents();
    }
    ~Home() { controller.view()->hide(); }
    PLRCollectionView* collection() { return controller.postCollectionView(); }
    PLRCollectionViewItem* item(qint64 index) { return collection()->itemAtIndex(index); }
    PLRRecentCollectionViewItem* tile(qint64 index) { return qobject_cast<PLRRecentCollectionViewItem*>(item(index)); }
    void type(const QString& text) { controller.searchTextField()->editor()->setText(text); }
    // The collection's visible width set to exactly `width`.
    void setCollectionWidth(int width)
    {
        QWidget* root = controller.view();
        const int extra = root->width() - collection()->viewport()->width();
        root->resize(width + extra, root->height());
        testing_support::drainEvents();
    }
};

} // namespace

TEST(HomeScreen, TabsListPublishedAndUnpublishedPosts)
{
    PLRDefaults::setHomeSortType(0);
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    makePost(session, "Alps", "remote-1");
    makePost(session, "Beach");
    makePost(session, "Canyon");
    Home home;
    PLRHomeViewController& c = home.controller;
    EXPECT_EQ(names(c.tabList()), QStringList({"Alps", "Beach", "Canyon"}));
    EXPECT_EQ(home.collection()->numberOfItems(), 4);                          // the new-post tile leads
    EXPECT_TRUE(qobject_cast<PLRRecentCollectionViewItemNewPost*>(home.item(0)));

    c.selectionStack()->setSelectedIndex(1);
    EXPECT_EQ(names(c.tabList()), QStringList({"Alps"}));
    EXPECT_EQ(home.collection()->numberOfItems(), 2);
    c.selectionStack()->setSelectedIndex(2);
    EXPECT_EQ(names(c.tabList()), QStringList({"Beach", "Canyon"}));
    // A value the stack does not have behaves as the last tab.
    c.buttonStack(c.selectionStack(), 5);
    EXPECT_EQ(names(c.tabList()), QStringList({"Beach", "Canyon"}));

    // Unpublishing moves a post to the other tab at the next rebuild.
    session->account()->postForIdentifier(c.activePosts().first()->identifier())->setRemoteIdentifier(QString());
    c.postsWereUpdated();
    EXPECT_TRUE(c.activePosts().isEmpty());
    EXPECT_EQ(c.nonActivePosts().size(), 3);
}

TEST(HomeScreen, SearchRemovesAndRestoresTheNewPostTile)
{
    PLRDefaults::setHomeSortType(0);
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    makePost(session, "Lake trip");
    makePost(session, "Mountain lake");
    makePost(session, "City");
    Home home;
    PLRHomeViewController& c = home.controller;

    // The search box shows only while searching; the field itself always.
    EXPECT_TRUE(c.searchBox()->isHidden());
    EXPECT_FALSE(c.searchTextField()->isHidden());
    home.type("LAKE");
    EXPECT_TRUE(c.isSearching());
    EXPECT_FALSE(c.searchBox()->isHidden());
    EXPECT_FALSE(c.searchTextField()->isHidden());
    EXPECT_EQ(home.collection()->numberOfItems(), 2);
    ASSERT_TRUE(home.tile(0));
    EXPECT_EQ(home.tile(0)->representedPost()->name(), "Lake trip");
    EXPECT_FALSE(c.cancelSearchButton()->isHidden());

    home.type("");   // clearing the field
    EXPECT_FALSE(c.isSearching());
    EXPECT_TRUE(c.searchBox()->isHidden());
    EXPECT_EQ(home.collection()->numberOfItems(), 4);
    EXPECT_TRUE(qobject_cast<PLRRecentCollectionViewItemNewPost*>(home.item(0)));

    home.type("nothing like it");
    EXPECT_EQ(home.collection()->numberOfItems(), 0);
    EXPECT_TRUE(c.postCollectionView()->isHidden());
    EXPECT_FALSE(c.emptyPostsContainer()->isHidden());

    EXPECT_FALSE(c.searchBox()->isHidden());
    c.cancelSearch();   // the cancel button
    EXPECT_FALSE(c.isSearching());
    EXPECT_TRUE(c.searchBox()->isHidden());
    EXPECT_EQ(c.searchTextField()->stringValue(), QString());
    EXPECT_TRUE(c.cancelSearchButton()->isHidden());
    EXPECT_EQ(home.collection()->numberOfItems(), 4);
    EXPECT_TRUE(qobject_cast<PLRRecentCollectionViewItemNewPost*>(home.item(0)));
    EXPECT_FALSE(c.postCollectionView()->isHidden());
}

TEST(HomeScreen, AKeystrokeThatLeavesThePostsInPlaceLeavesTheirTilesAlone)
{
    PLRDefaults::setHomeSortType(0);
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    makePost(session, "Lake a");
    makePost(session, "Lake b");
    PLRPersistantPost* third = makePost(session, "Lake c");
    Home home;
    home.type("l");   // the new post tile goes: the posts move up one place
    testing_support::drainEvents();
    QList<PLRRecentCollectionViewItem*> tiles;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(home.tile(i));
        tiles << home.tile(i);
    }
    EXPECT_EQ(tiles[2]->representedPost(), third);

    // Each tile's view is watched: a tile hidden and shown again, or redrawn, is not left alone.
    struct Watch : QObject {
        int paints = 0;
        int hides = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            paints += event->type() == QEvent::Paint;
            hides += event->type() == QEvent::Hide;
            return false;
        }
    } watch;
    for (PLRRecentCollectionViewItem* tile : std::as_const(tiles)) {
        QList<QWidget*> widgets = tile->view()->findChildren<QWidget*>();
        widgets << tile->view();
        for (QWidget* widget : std::as_const(widgets))
            widget->installEventFilter(&watch);
    }
    home.type("la");
    home.type("lak");
    testing_support::drainEvents();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(home.tile(i), tiles[i]);
        EXPECT_TRUE(tiles[i]->view()->isVisible());
    }
    EXPECT_EQ(watch.hides, 0);
    EXPECT_EQ(watch.paints, 0);

    // A post renamed after a search is found by its new name, and no longer by the old one.
    third->setName(QStringLiteral("River"));
    home.type("lake c");
    EXPECT_EQ(home.collection()->numberOfItems(), 0);
    home.type("RIV");
    ASSERT_EQ(home.collection()->numberOfItems(), 1);
    ASSERT_TRUE(home.tile(0));
    EXPECT_EQ(home.tile(0)->representedPost(), third);
    EXPECT_EQ(home.tile(0)->titleText(), "River");
}

TEST(HomeScreen, EmptyAccountShowsTheEmptyStateButCountsTheNewPostTile)
{
    signIn("u-1", "ann@example.com");
    Home home;
    EXPECT_TRUE(home.controller.postCollectionView()->isHidden());
    EXPECT_FALSE(home.controller.emptyPostsContainer()->isHidden());
    EXPECT_EQ(home.collection()->numberOfItems(), 1);
}

TEST(HomeScreen, SortTypesAndOrdersPersist)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    QList<PLRPersistantPost*> made;
    for (const char* name : {"banana", "Cherry", "apple"})
        made << makePost(session, QString::fromLatin1(name));
    ASSERT_TRUE(saveAndWait());
    // Stored creation dates: banana oldest, then Cherry, then apple.
    const QDateTime base = QDateTime::fromSecsSinceEpoch(1600000000, Qt::UTC);
    for (int i = 0; i < made.size(); ++i)
        ASSERT_TRUE(setStoredCreationDate(made[i], base.addDays(i)));
    PLRCoreManager::setUserSession(nullptr);
    signIn("u-1", "ann@example.com");

    {
        Home home;
        PLRHomeViewController& c = home.controller;
        // A new installation: by creation date, oldest first.
        EXPECT_EQ(c.sortType(), 1);
        EXPECT_EQ(c.sortOrder(), 0);
        EXPECT_EQ(names(c.posts()), QStringList({"banana", "Cherry", "apple"}));
        EXPECT_EQ(c.toggleSortOrderImageName(), "sort-descending-arrow");
        EXPECT_EQ(c.sortPopUpButton()->title(), c.creationMenuItem()->text());

        c.toggleSortOrder();   // newest first
        EXPECT_EQ(names(c.posts()), QStringList({"apple", "Cherry", "banana"}));
        EXPECT_EQ(c.toggleSortOrderImageName(), "sort-ascending-arrow");
        EXPECT_EQ(home.tile(1)->representedPost()->name(), "apple");

        c.sortTypeMenuAction(c.titleMenuItem());
        EXPECT_EQ(names(c.posts()), QStringList({"Cherry", "banana", "apple"}));   // by name, descending
        EXPECT_TRUE(c.titleMenuItem()->isChecked());
        EXPECT_FALSE(c.creationMenuItem()->isChecked());
        c.sortTypeMenuAction(nullptr);   // another sender keeps the type
        EXPECT_EQ(c.sortType(), 0);

        // The sort chooser is the kit's pop-up button: its menu opens under the pointer's press
        // and a chosen item sorts by it.
        auto* popup = qobject_cast<PLRPopupButton*>(static_cast<QObject*>(c.sortPopUpButton()));
        ASSERT_NE(popup, nullptr);
        EXPECT_EQ(popup->title(), "Name");
        QMenu* shown = nullptr;
        PLRPopupButton::setMenuPresenter([&](PLRPopupButton*, QMenu* menu, const QPoint&, int) { shown = menu; });
        platform::ui::dispatch::sendMouse(popup, QEvent::MouseButtonPress, QPointF(10, 10));
        ASSERT_NE(shown, nullptr);
        ASSERT_EQ(shown->actions().size(), 3);
        EXPECT_TRUE(shown->actions().at(0)->isChecked());
        shown->actions().at(2)->trigger();   // Date Modified
        PLRPopupButton::setMenuPresenter(nullptr);
        EXPECT_EQ(c.sortType(), 2);
        EXPECT_TRUE(c.modifiedMenuItem()->isChecked());
        EXPECT_EQ(popup->title(), "Date Modified");
        c.sortTypeMenuAction(c.titleMenuItem());
    }
    EXPECT_EQ(PLRDefaults::homeSortType(), 0);
    EXPECT_EQ(PLRDefaults::homeSortOrder(), 1);
    Home again;
    EXPECT_EQ(names(again.controller.posts()), QStringList({"Cherry", "banana", "apple"}));
}

namespace {

// Whether the arrow drawn on the button points down: its head (where the ink spreads widest)
// lies in the lower half of the ink.
bool arrowPointsDown(QWidget* button)
{
    const QImage shot = button->grab().toImage();
    QList<int> spread;   // per row: from the leftmost to the rightmost inked pixel, 0 when none
    for (int y = 0; y < shot.height(); ++y) {
        int left = -1, right = -1;
        for (int x = 0; x < shot.width(); ++x) {
            if (qGray(shot.pixel(x, y)) < 200) {
                left = left < 0 ? x : left;
                right = x;
            }
        }
        spread << (left < 0 ? 0 : right - left + 1);
    }
    const auto first = std::find_if(spread.cbegin(), spread.cend(), [](int s) { return s > 0; });
    const auto last = std::find_if(spread.crbegin(), spread.crend(), [](int s) { return s > 0; });
    EXPECT_NE(first, spread.cend()) << "no arrow drawn";
    if (first == spread.cend())
        return false;
    const int top = int(first - spread.cbegin());
    const int bottom = int(spread.size() - 1 - (last - spread.crbegin()));
    int upper = 0, lower = 0;
    for (int y = top; y <= bottom; ++y) {
        if (2 * y < top + bottom)
            upper += spread[y];
        else if (2 * y > top + bottom)
            lower += spread[y];
    }
    return lower > upper;
}

} // namespace

TEST(HomeScreen, TheSortArrowPointsDownWhileTheNewestPostComesFirst)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    QList<PLRPersistantPost*> made;
    for (const char* name : {"Older", "Newer"})
        made << makePost(session, QString::fromLatin1(name));
    ASSERT_TRUE(saveAndWait());
    const QDateTime base = QDateTime::fromSecsSinceEpoch(1600000000, Qt::UTC);
    for (int i = 0; i < made.size(); ++i)
        ASSERT_TRUE(setStoredCreationDate(made[i], base.addDays(i)));
    PLRCoreManager::setUserSession(nullptr);
    signIn("u-1", "ann@example.com");

    Home home;
    PLRHomeViewController& c = home.controller;
    ASSERT_EQ(c.sortType(), 1);   // Date Created
    ASSERT_EQ(names(c.posts()), QStringList({"Older", "Newer"}));
    EXPECT_FALSE(arrowPointsDown(c.toggleSortOrderButton()));
    c.toggleSortOrder();
    ASSERT_EQ(names(c.posts()), QStringList({"Newer", "Older"}));
    EXPECT_TRUE(arrowPointsDown(c.toggleSortOrderButton()));
    // By name the same: A to Z up, Z to A down.
    c.sortTypeMenuAction(c.titleMenuItem());
    EXPECT_EQ(names(c.posts()), QStringList({"Older", "Newer"}));
    EXPECT_TRUE(arrowPointsDown(c.toggleSortOrderButton()));
    c.toggleSortOrder();
    EXPECT_EQ(names(c.posts()), QStringList({"Newer", "Older"}));
    EXPECT_FALSE(arrowPointsDown(c.toggleSortOrderButton()));
}

TEST(HomeScreen, UnknownStoredSortTypeFallsBackToCreationDate)
{
    PLRDefaults::setHomeSortType(7);
    PLRDefaults::setHomeSortOrder(3);   // any order but 0 lists newest first
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    makePost(session, "Only post");
    Home home;
    EXPECT_EQ(home.controller.sortType(), 1);
    EXPECT_EQ(names(home.controller.posts()), QStringList({"Only post"}));
    EXPECT_EQ(home.controller.sortPopUpButton()->title(), home.controller.creationMenuItem()->text());
    EXPECT_EQ(home.controller.toggleSortOrderImageName(), "sort-ascending-arrow");
    home.controller.toggleSortOrder();
    EXPECT_EQ(PLRDefaults::homeSortOrder(), 1);
}

TEST(HomeScreen, TileSizesFollowTheCollectionWidth)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    for (int i = 0; i < 6; ++i)
        makePost(session, QStringLiteral("Post %1").arg(i));
    Home home;
    home.setCollectionWidth(1050);
    EXPECT_EQ(home.controller.galleryLayout()->itemSize(), QSizeF(250, 428));
    // (The first row lies 4 points down: room for the focus ring of a tile with the keyboard.)
    EXPECT_EQ(home.collection()->frameForItemAtIndex(0), QRectF(10, 4, 250, 428));
    EXPECT_EQ(home.collection()->frameForItemAtIndex(3).x(), 790);
    EXPECT_EQ(home.collection()->frameForItemAtIndex(4), QRectF(10, 442, 250, 428));
    ASSERT_TRUE(home.tile(1));
    EXPECT_EQ(home.tile(1)->view()->size(), QSize(250, 428));

    home.setCollectionWidth(600);
    EXPECT_EQ(home.controller.galleryLayout()->itemSize(), QSizeF(200, 342));
}

// However few tiles there are, they stand in the grid's columns, 10 apart from the left: one post
// beside the new-post tile, a search that matches two or three, a short last row.
TEST(HomeScreen, FewTilesKeepTheGridsColumnsAndSpacing)
{
    PLRDefaults::setHomeSortType(0);
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    makePost(session, "Lake trip");
    Home home;
    home.setCollectionWidth(1050);   // tiles 250 wide: columns at 10, 270, 530 and 790
    const QList<double> columns{10, 270, 530, 790};
    const auto lefts = [&home] {
        QList<double> found;
        for (qint64 i = 0; i < home.collection()->numberOfItems(); ++i)
            found << home.collection()->frameForItemAtIndex(i).x();
        return found;
    };
    EXPECT_EQ(lefts(), columns.mid(0, 2));   // the new-post tile and the post
    ASSERT_TRUE(home.tile(1));
    EXPECT_EQ(home.tile(1)->view()->x(), 270);

    makePost(session, "Mountain lake");
    makePost(session, "Lake shore");
    makePost(session, "City");
    makePost(session, "Lakeside");
    testing_support::drainEvents();
    EXPECT_EQ(lefts(), columns + QList<double>({10, 270}));   // a full row, then a short one
    home.type("LAKE");
    ASSERT_EQ(home.collection()->numberOfItems(), 4);
    EXPECT_EQ(lefts(), columns);
    home.type("lake t");
    EXPECT_EQ(lefts(), columns.mid(0, 1));
    home.type("o");   // Lake shore, Mountain lake
    ASSERT_EQ(home.collection()->numberOfItems(), 2);
    EXPECT_EQ(lefts(), columns.mid(0, 2));
    for (qint64 i = 0; i < 2; ++i) {
        ASSERT_TRUE(home.tile(i));
        EXPECT_EQ(home.tile(i)->view()->x(), columns[i]) << i;
    }
}

TEST(HomeScreen, TheNewPostTilesPictureFillsItsSlotAndItsBadgeIsRound)
{
    signIn("u-1", "ann@example.com");
    for (const int window : {860, 1110, 1600}) {
        Home home(window, 900);
        auto* newPost = qobject_cast<PLRRecentCollectionViewItemNewPost*>(home.item(0));
        ASSERT_TRUE(newPost);
        QWidget* view = newPost->newPostView();
        const QImage drawn = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(drawn.width(), view->width());
        // The extent of the pixels near a colour.
        const auto extent = [&](const QColor& colour, int tolerance) {
            QRect box;
            for (int y = 0; y < drawn.height(); ++y)
                for (int x = 0; x < drawn.width(); ++x) {
                    const QColor c = drawn.pixelColor(x, y);
                    if (std::abs(c.red() - colour.red()) <= tolerance && std::abs(c.green() - colour.green()) <= tolerance
                        && std::abs(c.blue() - colour.blue()) <= tolerance)
                        box |= QRect(x, y, 1, 1);
                }
            return box;
        };
        const QRect badge = extent(QColor(0x21, 0x9D, 0xFF), 24);
        ASSERT_FALSE(badge.isEmpty()) << window;
        EXPECT_LE(std::abs(badge.width() - badge.height()), 1) << window << " badge " << badge.width() << "x" << badge.height();
        // The page's blocks reach across most of the "New Post" bar (the slot less 20 a side).
        const QRect blocks = extent(QColor(214, 219, 226), 6);
        const QRect bar = extent(QColor(28, 28, 28), 4);
        ASSERT_FALSE(blocks.isEmpty());
        ASSERT_FALSE(bar.isEmpty());
        EXPECT_NEAR(bar.width(), view->width() - 40, 2) << window;
        EXPECT_GE(blocks.width(), 0.6 * bar.width()) << window;
        EXPECT_LT(blocks.bottom(), bar.top()) << window;   // above the bar
        EXPECT_GE(blocks.top(), 0);
    }
}

TEST(HomeScreen, ScrollingMakesOnlyTheTilesNearTheVisiblePart)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    for (int i = 0; i < 40; ++i)
        makePost(session, QStringLiteral("Post %1").arg(i));
    Home home(1110, 700);
    PLRCollectionView* collection = home.collection();
    EXPECT_EQ(collection->numberOfItems(), 41);
    EXPECT_LT(collection->visibleItems().size(), 20);   // a screenful and a half, not 41
    EXPECT_FALSE(collection->itemAtIndex(40));

    QWheelEvent wheel(QPointF(100, 100), collection->viewport()->mapToGlobal(QPointF(100, 100)), QPoint(), QPoint(0, -12000),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(collection->viewport(), &wheel);
    EXPECT_GT(collection->verticalScrollBar()->value(), 0);
    collection->scrollToItem(40);
    ASSERT_TRUE(collection->itemAtIndex(40));
    EXPECT_FALSE(collection->itemAtIndex(1));
    auto* last = qobject_cast<PLRRecentCollectionViewItem*>(collection->itemAtIndex(40));
    ASSERT_TRUE(last);
    EXPECT_EQ(last->representedPost(), home.controller.tabList().last());
}

TEST(HomeScreen, ASingleClickOpensAPostADoubleClickDoesNot)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    PLRPersistantPost* post = makePost(session, "Harbour");
    NavigationRecorder navigation;
    Home home;
    PLRRecentCollectionViewItem* tile = home.tile(1);
    ASSERT_TRUE(tile);
    QWidget* view = tile->view();
    const QPointF middle(view->width() / 2.0, view->height() / 2.0);
    using platform::ui::dispatch::sendMouse;
    sendMouse(view, QEvent::MouseMove, middle);
    sendMouse(view, QEvent::MouseButtonPress, middle);
    sendMouse(view, QEvent::MouseButtonRelease, middle);
    ASSERT_EQ(navigation.presented.size(), 1);
    EXPECT_EQ(navigation.presented.first(), post);
    EXPECT_EQ(home.controller.selectedPost(), post);

    sendMouse(view, QEvent::MouseButtonDblClick, middle);
    sendMouse(view, QEvent::MouseButtonRelease, middle);
    EXPECT_EQ(navigation.presented.size(), 1);

    // The new-post tile starts a post when released with the pointer over it.
    QWidget* newPost = home.item(0)->view();
    const QPointF centre(newPost->width() / 2.0, newPost->height() / 2.0);
    sendMouse(newPost, QEvent::MouseMove, centre);
    sendMouse(newPost, QEvent::MouseButtonPress, centre);
    sendMouse(newPost, QEvent::MouseButtonRelease, centre);
    EXPECT_EQ(navigation.newPosts, 1);
    PLRRecentCollectionViewItemNewPostView::resetSharedState();
}

TEST(HomeScreen, ArrowsMoveBetweenTilesAndReturnOpens)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    for (int i = 0; i < 6; ++i)
        makePost(session, QStringLiteral("Post %1").arg(i));
    NavigationRecorder navigation;
    Home home;
    home.setCollectionWidth(1050);   // 4 tiles a row: the new-post tile and 3 posts, then 3 posts
    PLRCollectionView* collection = home.collection();
    EXPECT_TRUE(collection->focusPolicy() & Qt::TabFocus);
    collection->deselectAll();
    const auto press = [&](int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(collection, &event);
    };
    const auto selected = [&] { return collection->selectionIndexes().value(0, -1); };
    press(Qt::Key_Right);   // the first arrow selects the first tile
    EXPECT_EQ(selected(), 0);
    auto* newPost = qobject_cast<PLRRecentCollectionViewItemNewPost*>(home.item(0));
    ASSERT_TRUE(newPost);
    EXPECT_TRUE(newPost->newPostView()->isSelected());   // seen to be selected
    press(Qt::Key_Return);
    EXPECT_EQ(navigation.newPosts, 1);
    press(Qt::Key_Right);
    press(Qt::Key_Right);
    EXPECT_EQ(selected(), 2);
    EXPECT_FALSE(newPost->newPostView()->isSelected());
    press(Qt::Key_Down);
    EXPECT_EQ(selected(), 6);
    press(Qt::Key_Down);   // no row below
    EXPECT_EQ(selected(), 6);
    press(Qt::Key_Up);
    press(Qt::Key_Left);
    EXPECT_EQ(selected(), 1);
    press(Qt::Key_Up);     // no row above
    EXPECT_EQ(selected(), 1);
    press(Qt::Key_Enter);
    ASSERT_EQ(navigation.presented.size(), 1);
    EXPECT_EQ(navigation.presented.first(), home.controller.tabList().value(0));
    EXPECT_EQ(home.controller.selectedPost(), home.controller.tabList().value(0));
}

TEST(HomeScreen, TabReachesTheGridAtItsFirstTileAndTheMenuKeyOpensATilesMenu)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    for (int i = 0; i < 6; ++i)
        makePost(session, QStringLiteral("Post %1").arg(i));
    Home home(1110, 900);
    PLRCollectionView* collection = home.collection();
    home.controller.view()->window()->activateWindow();
    home.controller.searchTextField()->editor()->setFocus(Qt::OtherFocusReason);
    const auto press = [](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_TRUE(target);
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(target, &event);
        testing_support::drainEvents();
    };
    // From the search field the grid is a few Tabs away (the sort controls first), whatever
    // the number of posts; reaching it selects the first tile, so where the keyboard is shows.
    int tabs = 0;
    while (QApplication::focusWidget() != collection && tabs < 4) {
        press(Qt::Key_Tab);
        ++tabs;
    }
    ASSERT_EQ(QApplication::focusWidget(), collection);
    EXPECT_EQ(collection->selectionIndexes(), QList<qint64>{0});
    press(Qt::Key_Right);
    EXPECT_EQ(collection->selectionIndexes(), QList<qint64>{1});

    // The next Tab leaves the grid: no tile's menu button stands in the chain.
    press(Qt::Key_Tab);
    QWidget* after = QApplication::focusWidget();
    ASSERT_NE(after, collection);
    for (qint64 i = 1; i < collection->numberOfItems(); ++i) {
        if (PLRRecentCollectionViewItem* tile = home.tile(i)) {
            EXPECT_NE(after, tile->openMenuButton()) << i;
        }
    }
    // Shift+Tab comes back to the grid, keeping the selection.
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(QApplication::focusWidget(), collection);
    EXPECT_EQ(collection->selectionIndexes(), QList<qint64>{1});
    // Without a selection, Shift+Tab into the grid selects its first tile, as Tab does.
    press(Qt::Key_Tab);
    ASSERT_NE(QApplication::focusWidget(), collection);
    collection->deselectAll();
    ASSERT_TRUE(collection->selectionIndexes().isEmpty());
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(QApplication::focusWidget(), collection);
    EXPECT_EQ(collection->selectionIndexes(), QList<qint64>{0});
    press(Qt::Key_Right);
    EXPECT_EQ(collection->selectionIndexes(), QList<qint64>{1});

    // The Menu key (or Shift+F10) opens the selected tile's menu; on the new-post tile nothing.
    PLRRecentCollectionViewItem* selected = home.tile(1);
    ASSERT_TRUE(selected);
    press(Qt::Key_Menu);
    EXPECT_TRUE(testing_support::waitUntil([&] { return selected->optionMenu()->isVisible(); }, 2000));
    selected->optionMenu()->hide();
    EXPECT_TRUE(testing_support::waitUntil([&] { return !selected->optionMenu()->isVisible(); }, 2000));
    collection->setFocus();
    press(Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(testing_support::waitUntil([&] { return selected->optionMenu()->isVisible(); }, 2000));
    selected->optionMenu()->hide();
    collection->setFocus();
    press(Qt::Key_Left);
    EXPECT_EQ(collection->selectionIndexes(), QList<qint64>{0});
    press(Qt::Key_Menu);   // the new-post tile has no menu: nothing happens
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

// The tabs are Tab stops that Space and Return choose, and whatever has the keyboard shows the
// focus ring whole: a tab, the grid's tile with the keyboard (not the others), or, with no tile
// picked, the grid's edges.
TEST(HomeScreen, TheTabsTakeTheKeyboardAndTheGridShowsWhereItIs)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    makePost(session, "Alps", "remote-1");
    for (int i = 0; i < 5; ++i)
        makePost(session, QStringLiteral("Post %1").arg(i));
    Home home(1110, 900);
    PLRHomeViewController& c = home.controller;
    PLRCollectionView* collection = home.collection();
    c.view()->window()->activateWindow();
    c.searchTextField()->editor()->setFocus(Qt::OtherFocusReason);
    const auto press = [](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_TRUE(target);
        QKeyEvent event(QEvent::KeyPress, key, modifiers, key == Qt::Key_Space ? QStringLiteral(" ") : QString());
        QApplication::sendEvent(target, &event);
        testing_support::drainEvents();
    };
    // The band the view's ring takes, whole inside the view's parent (which would cut it off).
    const auto ringShowsWhole = [](platform::ui::View* view) {
        const QRectF ring = view->focusRingPath().boundingRect();
        return view->isShowingFocusRing() && !ring.isEmpty()
            && QRectF(view->parentWidget()->rect()).contains(ring.translated(view->pos()));
    };

    // Tab goes round: the three tabs are stops of their own, each showing the ring.
    QList<platform::ui::View*> tabs;
    for (int i = 0; i < 12 && tabs.size() < 3; ++i) {
        press(Qt::Key_Tab);
        auto* cell = qobject_cast<PLRSlidingButtonCell*>(QApplication::focusWidget());
        if (cell && !tabs.contains(cell)) {
            tabs << cell;
            EXPECT_TRUE(ringShowsWhole(cell)) << tabs.size();
        }
    }
    ASSERT_EQ(tabs.size(), 3);
    EXPECT_EQ(tabs[0], c.selectionStack()->cellAt(0));
    // Space on "Published", Return on "Not Published": each is chosen as a click chooses it.
    tabs[1]->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Space);
    EXPECT_EQ(c.selectionStack()->selectedIndex(), 1);
    EXPECT_EQ(names(c.tabList()), QStringList({"Alps"}));
    EXPECT_EQ(QApplication::focusWidget(), tabs[1]);
    tabs[2]->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Return);
    EXPECT_EQ(c.selectionStack()->selectedIndex(), 2);
    EXPECT_EQ(c.tabList().size(), 5);
    tabs[0]->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Enter);
    EXPECT_EQ(c.selectionStack()->selectedIndex(), 0);

    // Into the grid: the tile with the keyboard shows the ring whole (the first row too), the
    // others none; the ring follows the arrows and goes when the keyboard leaves.
    collection->deselectAll();
    collection->setFocus(Qt::TabFocusReason);
    testing_support::drainEvents();
    ASSERT_EQ(collection->selectionIndexes(), QList<qint64>{0});
    const auto ringedTiles = [&] {
        QList<qint64> ringed;
        for (qint64 i = 0; i < collection->numberOfItems(); ++i)
            if (PLRCollectionViewItem* item = home.item(i); item && item->view()->isShowingFocusRing())
                ringed << i;
        return ringed;
    };
    EXPECT_EQ(ringedTiles(), QList<qint64>{0});
    EXPECT_TRUE(ringShowsWhole(home.item(0)->view()));
    EXPECT_FALSE(collection->isShowingEdgeFocusRing());
    press(Qt::Key_Right);
    EXPECT_EQ(ringedTiles(), QList<qint64>{1});
    EXPECT_TRUE(ringShowsWhole(home.item(1)->view()));
    c.searchTextField()->editor()->setFocus(Qt::OtherFocusReason);
    testing_support::drainEvents();
    EXPECT_TRUE(ringedTiles().isEmpty());
    EXPECT_EQ(collection->selectionIndexes(), QList<qint64>{1});   // the selection stays
    // The grid with the keyboard and no tile picked: its edges show it.
    collection->setFocus(Qt::MouseFocusReason);
    collection->deselectAll();
    testing_support::drainEvents();
    EXPECT_TRUE(ringedTiles().isEmpty());
    EXPECT_TRUE(collection->isShowingEdgeFocusRing());
    c.searchTextField()->editor()->setFocus(Qt::OtherFocusReason);
    testing_support::drainEvents();
    EXPECT_FALSE(collection->isShowingEdgeFocusRing());
}

TEST(HomeScreen, HoverFollowsThePointerThroughScrollsAndNeverUnderTheHeader)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    for (int i = 0; i < 12; ++i)
        makePost(session, QStringLiteral("Post %1").arg(i));
    Home home(1110, 700);
    home.setCollectionWidth(1050);   // 4 tiles a row, 438 points from row to row
    PLRCollectionView* collection = home.collection();
    QWidget* window = home.controller.view()->window();
    const auto moveTo = [&](const QPoint& inViewport) {
        const QPointF at = collection->viewport()->mapTo(window, inViewport);
        QMouseEvent move(QEvent::MouseMove, at, at, window->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &move);
    };
    const auto hovered = [&](qint64 index) {
        PLRRecentCollectionViewItem* tile = home.tile(index);
        return tile && tile->imageContainerView() && tile->imageContainerView()->hovered();
    };
    const QRectF second = collection->frameForItemAtIndex(1);
    moveTo(second.center().toPoint());
    EXPECT_TRUE(hovered(1));

    // The collection scrolls by a row under the pointer at rest: the tile below takes the hover.
    collection->verticalScrollBar()->setValue(438);
    testing_support::drainEvents();
    EXPECT_FALSE(hovered(1));
    EXPECT_TRUE(hovered(5));

    // Tile 5 partly scrolled away above the top: the pointer above the collection, where the
    // hidden part of the tile lies, hovers nothing.
    collection->verticalScrollBar()->setValue(438 + 200);
    testing_support::drainEvents();
    const QRectF fifth = collection->frameForItemAtIndex(5).translated(0, -(438 + 200));
    ASSERT_LT(fifth.top(), -20);
    moveTo(QPoint(int(fifth.center().x()), -10));
    EXPECT_FALSE(hovered(5));
    moveTo(QPoint(int(fifth.center().x()), 20));
    EXPECT_TRUE(hovered(5));
}

// The support chat's button in the home screen's corner: 56 points, 28 inside the corner.
QRect chatButtonIn(const QWidget* host)
{
    return QRect(host->width() - 84, host->height() - 84, 56, 56);
}

// Scrolled to the end, the last row ends 8 points above the chat's button, whatever the size.
TEST(HomeScreen, TheLastRowCanBeScrolledClearOfTheChatButton)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    for (int i = 0; i < 7; ++i)
        makePost(session, QStringLiteral("Post %1").arg(i));
    for (const QSize size : {QSize(1110, 700), QSize(1280, 800), QSize(900, 640)}) {
        Home home(size.width(), size.height());
        PLRCollectionView* collection = home.collection();
        collection->verticalScrollBar()->setValue(collection->verticalScrollBar()->maximum());
        testing_support::drainEvents();
        PLRRecentCollectionViewItem* last = home.tile(collection->numberOfItems() - 1);
        ASSERT_TRUE(last);
        QWidget* host = home.controller.view();
        const QRect tile(last->view()->mapTo(host, QPoint(0, 0)), last->view()->size());
        EXPECT_EQ(tile.y() + tile.height(), chatButtonIn(host).top() - 8) << size.width() << "x" << size.height();
    }
}

// The grid runs under the chat's corner, and the chat there is its button alone: wherever the
// grid is scrolled, every tile's menu button that shows takes its own clicks, in the screen's
// own dispatch of them, save where the chat's button lies over it.
TEST(HomeScreen, EveryTilesMenuButtonTakesItsClicksWhereverItShowsButUnderTheChatButton)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    for (int i = 0; i < 11; ++i)
        makePost(session, QStringLiteral("Post %1").arg(i));
    for (const QSize size : {QSize(860, 490), QSize(900, 600), QSize(1104, 618), QSize(1280, 800), QSize(1920, 1080)}) {
        Home home(size.width(), size.height());
        QWidget* host = home.controller.view();
        PLRSupportChatButton* chat = PLRSupportChatButton::shared();
        ASSERT_TRUE(chat && chat->parentWidget() == host);
        const QRect button = chatButtonIn(host);
        EXPECT_EQ(chat->geometry(), button);
        PLRCollectionView* collection = home.collection();
        const int maximum = collection->verticalScrollBar()->maximum();
        int underTheCorner = 0;
        for (int scroll = 0; scroll <= maximum; scroll += std::max(1, maximum / 40)) {
            collection->verticalScrollBar()->setValue(scroll);
            testing_support::drainEvents();
            for (qint64 index = 1; index < collection->numberOfItems(); ++index) {
                PLRRecentCollectionViewItem* tile = home.tile(index);
                if (!tile || !tile->openMenuButton()->isVisibleTo(host))
                    continue;
                QWidget* menu = tile->openMenuButton();
                const QRect shown = QRect(menu->mapTo(collection->viewport(), QPoint(0, 0)), menu->size())
                                        .intersected(collection->viewport()->rect());
                if (shown.isEmpty())
                    continue;
                const QPoint centre = collection->viewport()->mapTo(host, shown.center());
                if (button.adjusted(-2, -2, 2, 2).contains(centre))
                    continue;
                // Where the chat's closed view once was, a square of 100 points 20 inside the corner.
                if (QRect(host->width() - 120, host->height() - 120, 100, 100).contains(centre))
                    ++underTheCorner;
                EXPECT_EQ(platform::ui::View::hitTestWindow(host, centre), menu)
                    << size.width() << "x" << size.height() << ", scrolled " << scroll << ", tile " << index;
            }
        }
        EXPECT_GT(underTheCorner, 0) << size.width() << "x" << size.height();
    }
}

// The grid is never cut to keep a band free for the chat's button: unscrolled, the first row
// shows whole (names, states and menu buttons), from the smallest window up (the home screens
// of windows of 860 by 560, 1104 by 688 and 1280 by 800).
TEST(HomeScreen, TheFirstRowShowsWholeFromTheSmallestWindowUp)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    for (int i = 0; i < 7; ++i)
        makePost(session, QStringLiteral("Post %1").arg(i));
    for (const QSize size : {QSize(860, 490), QSize(1104, 618), QSize(1280, 730)}) {
        Home home(size.width(), size.height());
        PLRCollectionView* collection = home.collection();
        ASSERT_EQ(collection->verticalScrollBar()->value(), 0);
        const double firstRow = collection->frameForItemAtIndex(0).top();
        int inFirstRow = 0;
        for (qint64 index = 0; index < collection->numberOfItems(); ++index) {
            const QRectF frame = collection->frameForItemAtIndex(index);
            if (frame.top() != firstRow)
                continue;
            ++inFirstRow;
            EXPECT_LE(frame.bottom(), collection->viewport()->height())
                << size.width() << "x" << size.height() << ", tile " << index;
        }
        EXPECT_GE(inFirstRow, 3);
    }
}

// Narrower than its smallest size (where nothing holds the window to it), the search field gives
// way to the tabs, and on a small screen search and sort go under them: the two never overlap,
// every control lies within the screen, and the field's highlight follows its width.
TEST(HomeScreen, InANarrowWindowTheSearchFieldGivesWayToTheTabs)
{
    for (const int width : {1280, 860, 760, 640}) {
        // In a window, the home screen takes the window's width whatever its own layout asks.
        QWidget window;
        window.resize(width, 600);
        Home home(width, 600);
        QWidget* host = home.controller.view();
        host->setParent(&window);
        host->setGeometry(0, 0, width, 600);
        window.show();
        testing_support::drainEvents();
        ASSERT_EQ(host->width(), width);
        QWidget* tabs = home.controller.selectionStack();
        QWidget* field = home.controller.searchTextField()->parentWidget();
        const QRect tabsFrame(tabs->mapTo(host, QPoint(0, 0)), tabs->size());
        const QRect fieldFrame(field->mapTo(host, QPoint(0, 0)), field->size());
        const QRect sortFrame(home.controller.sortPopUpButton()->mapTo(host, QPoint(0, 0)),
                              home.controller.sortPopUpButton()->size());
        EXPECT_FALSE(tabsFrame.intersects(fieldFrame)) << width;
        EXPECT_LT(fieldFrame.right(), sortFrame.left()) << width;
        QWidget* order = home.controller.toggleSortOrderButton();
        EXPECT_TRUE(host->rect().contains(QRect(order->mapTo(host, QPoint(0, 0)), order->size()))) << width;
        EXPECT_GE(fieldFrame.width(), 120) << width;
        EXPECT_LE(fieldFrame.width(), 230) << width;
        EXPECT_EQ(home.controller.searchBox()->geometry(), field->rect()) << width;
    }
}

TEST(HomeScreen, FollowsTheSignedInUser)
{
    PLRUserSession* first = signIn("u-1", "ann@example.com", "Ann", "Lee");
    makePost(first, "Ann's post");
    ASSERT_TRUE(saveAndWait());
    Home home;
    PLRHomeViewController& c = home.controller;
    EXPECT_EQ(names(c.posts()), QStringList({"Ann's post"}));
    EXPECT_FALSE(c.accountNameLabel()->isHidden());
    EXPECT_TRUE(c.accountNameLabel()->stringValue().endsWith(", Ann Lee"));
    const QString back = PLRDefaults::isFirstRun() ? QString() : QStringLiteral(" back");
    EXPECT_EQ(c.accountNameLabel()->stringValue(), QStringLiteral("Welcome%1, Ann Lee").arg(back));

    c.view()->hide();
    PLRCoreManager::signOut();
    EXPECT_TRUE(c.posts().isEmpty());   // nothing of the signed-out account stays
    PLRUserSession* second = signIn("u-2", "bob@example.com", "Bob", QString());
    makePost(second, "Bob's post");
    c.view()->show();
    EXPECT_EQ(names(c.posts()), QStringList({"Bob's post"}));
    EXPECT_EQ(home.tile(1)->representedPost()->name(), "Bob's post");
    EXPECT_TRUE(c.accountNameLabel()->isHidden());   // no last name: no greeting
    second->account()->setLastName("Marsh");
    EXPECT_TRUE(c.accountNameLabel()->stringValue().endsWith(", Bob Marsh"));

    // A post added to the account shows without a new appearance.
    makePost(second, "Another");
    ASSERT_TRUE(testing_support::waitUntil([&] { return home.collection()->numberOfItems() == 3; }));
}

TEST(HomeScreen, PostsWereUpdatedNotificationRebuilds)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    Home home;
    PLRPersistantPost* post = makePost(session, "Old name");
    testing_support::drainEvents();
    post->setRemoteIdentifier("r-9");
    platform::NotificationCenter::defaultCenter().post(QLatin1String(kPLR_POSTS_WERE_UPDATED));
    EXPECT_EQ(names(home.controller.activePosts()), QStringList({"Old name"}));
}
