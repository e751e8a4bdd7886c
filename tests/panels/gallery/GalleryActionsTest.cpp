// The gallery's changes to the post: automatic layout, double click and the add menu, hiding
// with undo and redo, the auto-add switch, the drag of photos and refused outside drops.

#include "GalleryTestSupport.h"

#include "canvas/interaction/PLRLayoutInteraction.h"
#include "platform/NotificationCenter.h"
#include "store/session/PLRDefaults.h"
#include "shell/PLRShellNotifications.h"

#include <QAction>
#include <QMenu>
#include <QMimeData>

using namespace gallery_test;

namespace {

void postAutoBuild(QVariant count)
{
    QVariantMap info;
    if (count.isValid())
        info.insert(QString::fromLatin1(kPLRAutoLayoutNumImagesToAddKey), count);
    platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kPLR_NOTIFICATION_AUTO_BUILD_LAYOUT), nullptr, info);
}

struct SelectionRecorder {
    QList<QVariantMap> posts;
    SelectionRecorder()
    {
        platform::NotificationCenter::defaultCenter().addObserver(
            &context, QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED),
            [this](const platform::Notification& n) { posts.append(n.userInfo); });
    }
    QObject context;
};

} // namespace

TEST(GalleryActions, AutomaticLayoutPutsOnePhotoAloneThenTwoSideBySide)
{
    const QString folder = makeFolder(plainPhotos(5));
    PLRPostManager* manager = openPost(folder, 5);
    Gallery g(manager);
    SelectionRecorder selections;

    postAutoBuild(QVariant::fromValue<qint64>(kPLRAutoLayoutAllImages));
    EXPECT_EQ(describeLastSection(g.layout(), manager),
              (QStringList{"p01.jpg", "[p02.jpg p03.jpg]", "p04.jpg", "p05.jpg"}));
    const PLRSection& section = g.layout()->representedLayout()->sections(0);
    EXPECT_FALSE(section.blocks(1).container().vert());
    const PLRBlock& first = section.blocks(0);
    EXPECT_EQ(first.image().source_last_updated(),
              QString::number(qint32(g.photo("p01.jpg")->modifiedDate().toSecsSinceEpoch())).toStdString());
    ASSERT_EQ(selections.posts.size(), 1);
    EXPECT_EQ(selections.posts[0].value("item").value<PLRBlock*>(), &section.blocks(3));
    EXPECT_TRUE(selections.posts[0].value("shouldScrollToItem").toBool());
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 5; }));

    EXPECT_EQ(g.undo()->undoActionName(), "Auto Layout");
    g.undo()->undo();
    EXPECT_TRUE(describeLastSection(g.layout(), manager).isEmpty());
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 0; }));
}

TEST(GalleryActions, UndoingABuildOnALayoutWithoutSectionsLeavesNoSection)
{
    const QString folder = makeFolder(plainPhotos(3));
    PLRPostManager* manager = openPost(folder, 3);
    Gallery g(manager);
    PLRLayout* layout = g.layout()->representedLayout();
    while (layout->sections_size() > 0)
        g.layout()->removeSection(layout->mutable_sections(0));

    postAutoBuild(QVariant::fromValue<qint64>(kPLRAutoLayoutAllImages));
    ASSERT_EQ(layout->sections_size(), 1);
    EXPECT_EQ(describeLastSection(g.layout(), manager).size(), 2);
    g.undo()->undo();
    EXPECT_EQ(layout->sections_size(), 0);

    // The same for photos added by double click.
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 0; }));
    Gallery::settle();
    g.click({0, 0});
    g.controller->performDoubleClickOnItem(nullptr);
    ASSERT_EQ(layout->sections_size(), 1);
    g.undo()->undo();
    EXPECT_EQ(layout->sections_size(), 0);
}

TEST(GalleryActions, AutomaticLayoutStopsAtItsLimitAndUsesOnlyUnusedPhotosInTheGalleryOrder)
{
    const QString folder = makeFolder({{.name = "a.jpg", .stars = 5}, {.name = "b.jpg", .stars = 1}, {.name = "c.jpg", .stars = 5},
                                       {.name = "d.jpg", .stars = 4}, {.name = "e.jpg", .stars = 5}});
    PLRPostManager* manager = openPost(folder, 5);
    Gallery g(manager);

    // Limit 2 of 4 candidates (a star filter of 4 and up hides b): photo 1, then a container
    // holding photo 2 alone.
    g.controller->filterStarView()->setCurrentFilterSelection(4);
    g.controller->starFilterSetFilterSelection(g.controller->filterStarView(), 4);
    postAutoBuild(2);
    EXPECT_EQ(describeLastSection(g.layout(), manager), (QStringList{"a.jpg", "[c.jpg]"}));
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 2; }));

    // No limit given counts as 0: the first unused photo only.
    postAutoBuild(QVariant());
    EXPECT_EQ(describeLastSection(g.layout(), manager), (QStringList{"a.jpg", "[c.jpg]", "d.jpg"}));
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 3; }));

    // Nothing left to use: nothing changes, and an undo is still recorded.
    g.controller->clearFilterAction();
    postAutoBuild(QVariant::fromValue<qint64>(kPLRAutoLayoutAllImages));
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 5; }));
    const QStringList full = describeLastSection(g.layout(), manager);
    postAutoBuild(QVariant::fromValue<qint64>(kPLRAutoLayoutAllImages));
    EXPECT_EQ(describeLastSection(g.layout(), manager), full);
    EXPECT_EQ(g.undo()->undoActionName(), "Auto Layout");

    // Undo after the canvas replaced the section with copies of its blocks (as its own undo
    // does): the blocks are still found and removed.
    g.undo()->undo();   // the empty build
    PLRSection* section = g.layout()->representedLayout()->mutable_sections(0);
    const PLRSection snapshot(*section);
    g.layout()->restoreSection(section, snapshot);
    g.undo()->undo();   // b and e
    EXPECT_EQ(describeLastSection(g.layout(), manager), (QStringList{"a.jpg", "[c.jpg]", "d.jpg"}));
}

// A file named as a photo that is no picture is listed, marked as one that cannot be used; the
// automatic layout leaves out every photo so marked (here also one cut short).
TEST(GalleryActions, AutomaticLayoutLeavesOutPhotosThatCannotBeUsed)
{
    QList<Photo> photos = plainPhotos(5);
    photos[1].width = 640;   // large enough for its header to stay whole when it is cut short
    photos[1].height = 480;
    const QString folder = makeFolder(photos);
    ASSERT_TRUE(testing_support::cutShort(folder + "/p02.jpg", 0.6));
    {
        QFile text(folder + "/x.jpg");
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        ASSERT_EQ(text.write("a note, not a picture"), 21);
    }
    PLRPostManager* manager = openPost(folder, 6);
    ASSERT_TRUE(manager);
    Gallery g(manager);
    ASSERT_TRUE(g.photo("x.jpg"));
    EXPECT_EQ(g.photo("x.jpg")->problem(), PLRPhotoProblem::Unreadable);
    ASSERT_TRUE(testing_support::waitUntil([&] { return g.photo("p02.jpg")->problem() == PLRPhotoProblem::CutShort; }));
    Gallery::settle();
    EXPECT_EQ(g.namesInSection(0), (QStringList{"p01.jpg", "p02.jpg", "p03.jpg", "p04.jpg", "p05.jpg", "x.jpg"}));

    postAutoBuild(QVariant::fromValue<qint64>(kPLRAutoLayoutAllImages));
    EXPECT_EQ(describeLastSection(g.layout(), manager), (QStringList{"p01.jpg", "[p03.jpg p04.jpg]", "p05.jpg"}));
}

TEST(GalleryActions, AutomaticLayoutGoesOnlyToTheGalleryOnScreen)
{
    const QString folder = makeFolder(plainPhotos(2));
    PLRPostManager* shown = openPost(folder, 2);
    PLRPostManager* other = PLRCoreManager::userSession()->newPostManager();
    ASSERT_TRUE(other->createNewPostWithTitle("Other", QUrl::fromLocalFile(folder)));
    ASSERT_TRUE(testing_support::waitUntil([&] { return other->images().size() == 2; }));
    Gallery back(other);
    back.controller->view()->hide();
    Gallery front(shown);   // shown last
    postAutoBuild(QVariant::fromValue<qint64>(kPLRAutoLayoutAllImages));
    EXPECT_EQ(describeLastSection(front.layout(), shown).size(), 2);
    EXPECT_TRUE(describeLastSection(back.layout(), other).isEmpty());
}

TEST(GalleryActions, DoubleClickAddsTheSelectionAsBlocksOrWithControlIntoOneRow)
{
    const QString folder = makeFolder(plainPhotos(6));
    PLRPostManager* manager = openPost(folder, 6);
    Gallery g(manager);
    SelectionRecorder selections;

    g.click({0, 0});
    g.click({0, 2}, Qt::ShiftModifier);
    g.click({0, 2}, Qt::ShiftModifier, true);   // a double click that keeps the selection
    EXPECT_EQ(describeLastSection(g.layout(), manager), (QStringList{"p01.jpg", "p02.jpg", "p03.jpg"}));
    EXPECT_EQ(selections.posts.size(), 1);
    EXPECT_EQ(g.undo()->undoActionName(), "Delete Images");
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 3; }));
    Gallery::settle();

    // Control: side by side in one new container.
    g.click({0, 3});
    g.click({0, 5}, Qt::ShiftModifier);
    g.click({0, 5}, Qt::ControlModifier | Qt::ShiftModifier, false);   // (deselects 5)
    g.click({0, 5}, Qt::ControlModifier);                               // (selects it again)
    ASSERT_EQ(g.selectedNames(), (QStringList{"p04.jpg", "p05.jpg", "p06.jpg"}));
    g.collection()->setCurrentEventModifiers(Qt::ControlModifier);
    g.controller->performDoubleClickOnItem(nullptr);
    g.collection()->clearCurrentEventModifiers();
    EXPECT_EQ(describeLastSection(g.layout(), manager),
              (QStringList{"p01.jpg", "p02.jpg", "p03.jpg", "[p04.jpg p05.jpg p06.jpg]"}));
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 6; }));

    // Undo takes the row out again (its container goes with its last photo).
    g.undo()->undo();
    EXPECT_EQ(describeLastSection(g.layout(), manager), (QStringList{"p01.jpg", "p02.jpg", "p03.jpg"}));

    // A photo already in the layout: the distinct-images alert, nothing added.
    Gallery::settle();
    g.controller->splitImageAction();
    g.click({1, 0});
    testing_support::scriptedAlerts().enqueue(platform::kAlertSecondButtonReturn);
    g.controller->performDoubleClickOnItem(nullptr);
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().messageText, "You cannot add the same image twice!");
    EXPECT_EQ(describeLastSection(g.layout(), manager).size(), 3);
}

// The double click's add is undone under the name its undo has, and redone, as often as the
// user likes; so is a row of photos added with Control, and the automatic layout.
TEST(GalleryActions, AddsByDoubleClickAndTheAutomaticLayoutUndoAndRedoForAsLongAsTheUserLikes)
{
    const QString folder = makeFolder(plainPhotos(5));
    PLRPostManager* manager = openPost(folder, 5);
    Gallery g(manager);
    const auto layoutBytes = [&] { return plr::data(*g.layout()->representedLayout()); };
    const auto undoAndRedo = [&](const QString& name, const QStringList& before, const QStringList& after, int inUse) {
        const QByteArray done = layoutBytes();
        for (int round = 0; round < 3; ++round) {
            ASSERT_TRUE(g.undo()->canUndo()) << round;
            ASSERT_EQ(g.undo()->undoActionName(), name);
            g.undo()->undo();
            EXPECT_EQ(describeLastSection(g.layout(), manager), before) << round;
            ASSERT_TRUE(g.undo()->canRedo()) << round;
            ASSERT_EQ(g.undo()->redoActionName(), name);
            g.undo()->redo();
            EXPECT_EQ(describeLastSection(g.layout(), manager), after) << round;
            EXPECT_EQ(layoutBytes(), done) << round;   // the same blocks, identifiers and all
        }
        ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == inUse; }));
        Gallery::settle();
    };

    g.click({0, 1}, Qt::NoModifier, true);
    ASSERT_EQ(describeLastSection(g.layout(), manager), (QStringList{"p02.jpg"}));
    undoAndRedo("Delete Images", {}, {"p02.jpg"}, 1);

    g.click({0, 0});
    g.click({0, 2}, Qt::ControlModifier);
    ASSERT_EQ(g.selectedNames(), (QStringList{"p01.jpg", "p03.jpg"}));
    g.collection()->setCurrentEventModifiers(Qt::ControlModifier);
    g.controller->performDoubleClickOnItem(nullptr);
    g.collection()->clearCurrentEventModifiers();
    undoAndRedo("Delete Images", {"p02.jpg"}, {"p02.jpg", "[p01.jpg p03.jpg]"}, 3);

    postAutoBuild(QVariant::fromValue<qint64>(kPLRAutoLayoutAllImages));
    undoAndRedo("Auto Layout", {"p02.jpg", "[p01.jpg p03.jpg]"}, {"p02.jpg", "[p01.jpg p03.jpg]", "p04.jpg", "p05.jpg"}, 5);
}

TEST(GalleryActions, KeyboardOnlyArrowsFromTheStartAndReturnAdds)
{
    const QString folder = makeFolder(plainPhotos(4));
    PLRPostManager* manager = openPost(folder, 4);
    Gallery g(manager);
    g.collection()->deselectAll();
    ASSERT_TRUE(g.selectedNames().isEmpty());
    g.key(Qt::Key_Return);   // nothing selected: nothing to add
    EXPECT_TRUE(describeLastSection(g.layout(), manager).isEmpty());
    g.key(Qt::Key_Right);    // no click first: the first arrow selects the first photo
    EXPECT_EQ(g.selectedNames(), (QStringList{"p01.jpg"}));
    g.key(Qt::Key_Right);
    EXPECT_EQ(g.selectedNames(), (QStringList{"p02.jpg"}));
    g.key(Qt::Key_A);        // another key leaves the selection alone
    EXPECT_EQ(g.selectedNames(), (QStringList{"p02.jpg"}));
    g.key(Qt::Key_Return);   // adds it, as a double-click does
    EXPECT_EQ(describeLastSection(g.layout(), manager), (QStringList{"p02.jpg"}));
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 1; }));
}

TEST(GalleryActions, TheItemMenuAddsOnlyTheClickedPhoto)
{
    const QString folder = makeFolder(plainPhotos(3));
    PLRPostManager* manager = openPost(folder, 3);
    Gallery g(manager);
    g.click({0, 0});
    g.click({0, 1}, Qt::ControlModifier);
    PLRGalleryViewItem* item = g.collection()->itemAtIndexPath({0, 2});
    ASSERT_NE(item, nullptr);
    item->view()->addToPostMenuItem()->trigger();
    EXPECT_EQ(describeLastSection(g.layout(), manager), (QStringList{"p03.jpg"}));
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 1; }));
    Gallery::settle();

    // The clicked photo is the one checked: already in the layout, it is refused with the
    // alert, whatever the selection holds.
    testing_support::scriptedAlerts().enqueue(platform::kAlertSecondButtonReturn);
    item = g.collection()->itemAtIndexPath({0, 2});
    ASSERT_TRUE(item && item->image()->fileName() == "p03.jpg");
    item->view()->addToPostMenuItem()->trigger();
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().messageText, "You cannot add the same image twice!");
    EXPECT_EQ(describeLastSection(g.layout(), manager), (QStringList{"p03.jpg"}));
}

TEST(GalleryActions, ADoubleClickArrivingWhileTheDuplicateAlertIsUpAddsAndAsksNothing)
{
    const QString folder = makeFolder(plainPhotos(2));
    PLRPostManager* manager = openPost(folder, 2);
    Gallery g(manager);
    g.layout()->createAndAddBlocksForImages({g.photo("p01.jpg")->identifier()});
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 1; }));
    Gallery::settle();
    g.click({0, 0});
    // The alert runs its own event loop, in which the rest of the user's clicks arrive.
    bool nested = false;
    testing_support::scriptedAlerts().onShown = [&](const platform::Alert&) {
        if (nested)
            return;
        nested = true;
        g.controller->performDoubleClickOnItem(nullptr);
    };
    testing_support::scriptedAlerts().enqueue(platform::kAlertSecondButtonReturn);
    testing_support::scriptedAlerts().enqueue(platform::kAlertSecondButtonReturn);
    g.controller->performDoubleClickOnItem(nullptr);
    testing_support::scriptedAlerts().onShown = nullptr;
    EXPECT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_EQ(describeLastSection(g.layout(), manager), (QStringList{"p01.jpg"}));
}

TEST(GalleryActions, HideUndoRedoAndTheDeleteKey)
{
    const QString folder = makeFolder(plainPhotos(4));
    PLRPostManager* manager = openPost(folder, 4);
    Gallery g(manager);
    g.layout()->createAndAddBlocksForImages({g.photo("p04.jpg")->identifier()});
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 1; }));
    Gallery::settle();

    g.click({0, 0});
    g.click({0, 1}, Qt::ControlModifier);
    g.click({0, 3}, Qt::ControlModifier);   // p04 is in the layout: left alone
    // Only a bare H hides.
    for (Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(Qt::ControlModifier), Qt::KeyboardModifiers(Qt::AltModifier),
                                            Qt::KeyboardModifiers(Qt::MetaModifier), Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
        g.key(Qt::Key_H, modifiers);
        EXPECT_FALSE(g.photo("p01.jpg")->isHidden()) << modifiers.toInt();
        EXPECT_EQ(g.namesInSection(0).size(), 4);
    }
    g.key(Qt::Key_H);
    EXPECT_TRUE(g.photo("p01.jpg")->isHidden());
    EXPECT_TRUE(g.photo("p02.jpg")->isHidden());
    EXPECT_FALSE(g.photo("p04.jpg")->isHidden());
    EXPECT_EQ(g.namesInSection(0), (QStringList{"p03.jpg", "p04.jpg"}));
    Gallery::settle();   // the change of this event is recorded when the event ends
    EXPECT_EQ(g.undo()->undoActionName(), "Hide/Unhide Images");

    // Undone with the key while the gallery has the focus.
    g.key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(g.photo("p01.jpg")->isHidden());
    EXPECT_FALSE(g.photo("p02.jpg")->isHidden());
    EXPECT_EQ(g.namesInSection(0).size(), 4);
    ASSERT_TRUE(g.undo()->canRedo());
    g.undo()->redo();
    EXPECT_TRUE(g.photo("p01.jpg")->isHidden());
    g.undo()->undo();
    EXPECT_FALSE(g.photo("p01.jpg")->isHidden());

    // The item's menu with nothing selected hides that one photo; its undo flips the same
    // photo even though the item shows another by then.
    g.collection()->deselectAll();
    PLRGalleryViewItem* item = g.collection()->itemAtIndexPath({0, 2});
    ASSERT_EQ(item->image()->fileName(), "p03.jpg");
    EXPECT_EQ(item->view()->showHideMenuItem()->text(), "Hide");
    item->view()->showHideMenuItem()->trigger();
    EXPECT_TRUE(g.photo("p03.jpg")->isHidden());
    Gallery::settle();
    EXPECT_EQ(g.undo()->undoActionName(), "Hide/Unhide Image");
    g.undo()->undo();
    EXPECT_FALSE(g.photo("p03.jpg")->isHidden());
    EXPECT_FALSE(g.photo("p01.jpg")->isHidden());

    // Delete asks first; ticking the box with Cancel still stops the next question.
    g.click({0, 1});
    testing_support::scriptedAlerts().enqueue(platform::kAlertSecondButtonReturn, true);
    g.key(Qt::Key_Backspace);
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_EQ(testing_support::scriptedAlerts().shown()[0].messageText, "Deleting Images");
    EXPECT_EQ(testing_support::scriptedAlerts().shown()[0].buttons, (QStringList{"Hide the Image", "Cancel"}));
    EXPECT_FALSE(g.photo("p02.jpg")->isHidden());
    EXPECT_TRUE(PLRDefaults::shouldSupressImageItemDelete());
    g.key(Qt::Key_Delete);
    EXPECT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_TRUE(g.photo("p02.jpg")->isHidden());

    // Shown again through the hidden section's menu.
    g.controller->showHiddenImagesAction();
    EXPECT_EQ(g.namesInSection(1), (QStringList{"p02.jpg"}));
    g.collection()->deselectAll();
    PLRGalleryViewItem* hidden = g.collection()->itemAtIndexPath({1, 0});
    ASSERT_NE(hidden, nullptr);
    EXPECT_EQ(hidden->view()->showHideMenuItem()->text(), "Unhide");
    hidden->view()->showHideMenuItem()->trigger();
    EXPECT_FALSE(g.photo("p02.jpg")->isHidden());
}

TEST(GalleryActions, DraggedPhotosCarryTheirReferencesForTheCanvas)
{
    const QString folder = makeFolder(plainPhotos(3));
    PLRPostManager* manager = openPost(folder, 3);
    Gallery g(manager);
    QStringList dragged;
    Qt::DropActions offered;
    g.collection()->setDragRunner([&](QMimeData* data, const QImage&) {
        dragged = PLRImageReferencePasteboard::identifiersFromMimeData(data);
        delete data;
        return Qt::MoveAction;
    });
    Q_UNUSED(offered);
    g.click({0, 0});
    g.click({0, 2}, Qt::ControlModifier);
    // Press on a selected item and move past the threshold.
    PLRGalleryViewItem* item = g.collection()->itemAtIndexPath({0, 2});
    QWidget* window = item->view()->window();
    const QPointF start = item->view()->mapTo(window, QPointF(50, 50));
    QMouseEvent press(QEvent::MouseButtonPress, start, start, window->mapToGlobal(start), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &press);
    const QPointF moved = start + QPointF(12, 3);
    QMouseEvent move(QEvent::MouseMove, moved, moved, window->mapToGlobal(moved), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &move);
    EXPECT_EQ(dragged, (QStringList{g.photo("p01.jpg")->identifier(), g.photo("p03.jpg")->identifier()}));
    EXPECT_EQ(g.selectedNames().size(), 2);   // dragging keeps the selection whole
}

// A press on a selected photo narrows the selection to it only when the button comes up there;
// when a menu that opened takes the release, the selection stays whole.
TEST(GalleryActions, APressOnTheSelectionWhoseReleaseAMenuTakesKeepsTheSelection)
{
    const QString folder = makeFolder(plainPhotos(3));
    PLRPostManager* manager = openPost(folder, 3);
    Gallery g(manager);
    g.click({0, 0});
    g.click({0, 2}, Qt::ControlModifier);
    ASSERT_EQ(g.selectedNames().size(), 2);
    PLRGalleryViewItem* item = g.collection()->itemAtIndexPath({0, 2});
    QWidget* window = item->view()->window();
    const QPointF at = item->view()->mapTo(window, QPointF(50, 50));
    QMouseEvent press(QEvent::MouseButtonPress, at, at, window->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &press);

    QMenu menu;
    QAction* entry = menu.addAction(QStringLiteral("Show in Folder"));
    menu.popup(window->mapToGlobal(at).toPoint());
    const QPointF onEntry = menu.actionGeometry(entry).center();
    QMouseEvent release(QEvent::MouseButtonRelease, onEntry, onEntry, menu.mapToGlobal(onEntry), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&menu, &release);
    menu.hide();
    EXPECT_EQ(g.selectedNames().size(), 2);

    // A whole click on it narrows the selection as ever.
    g.click({0, 2});
    EXPECT_EQ(g.selectedNames(), QStringList{"p03.jpg"});
}

TEST(GalleryActions, FilesDroppedFromOutsideAreRefusedWithAnExplanation)
{
    const QString folder = makeFolder(plainPhotos(1));
    PLRPostManager* manager = openPost(folder, 1);
    Gallery g(manager);
    PLRDraggingDestinationScrollView* scroll = g.controller->scrollView();
    QWidget* viewport = scroll->viewport();

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/tmp/holiday.jpg")});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction | Qt::MoveAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    EXPECT_DOUBLE_EQ(scroll->contentAlpha(), 0.5);

    testing_support::scriptedAlerts().enqueue(platform::kAlertSecondButtonReturn);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction | Qt::MoveAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    EXPECT_FALSE(drop.isAccepted());
    EXPECT_DOUBLE_EQ(scroll->contentAlpha(), 1.0);
    EXPECT_TRUE(testing_support::scriptedAlerts().shown().empty());   // queued, not shown at once
    ASSERT_TRUE(testing_support::waitUntil([] { return !testing_support::scriptedAlerts().shown().empty(); }));
    const platform::Alert& alert = testing_support::scriptedAlerts().shown()[0];
    EXPECT_EQ(alert.messageText, "Action not available");
    EXPECT_EQ(alert.buttons, (QStringList{"Ok", "Learn More"}));
    ASSERT_EQ(testing_support::recordingWorkspace().openedURLs.size(), 1u);
    EXPECT_TRUE(testing_support::recordingWorkspace().openedURLs[0].toString().endsWith("/using-pellora/general/using-source-folders"));
    EXPECT_TRUE(describeLastSection(g.layout(), manager).isEmpty());

    // The gallery's own photos are no drop here at all.
    QMimeData own;
    PLRImageReferencePasteboard::writeIdentifiers(&own, {g.photo("p01.jpg")->identifier()});
    QDragEnterEvent ownEnter(QPoint(20, 20), Qt::MoveAction, &own, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &ownEnter);
    EXPECT_FALSE(ownEnter.isAccepted());
    EXPECT_DOUBLE_EQ(scroll->contentAlpha(), 1.0);
}

TEST(GalleryActions, NewPhotosAreAddedToTheLayoutWhileAutoAddIsOn)
{
    const QString folder = makeFolder(plainPhotos(2));
    PLRPostManager* manager = openPost(folder, 2);
    Gallery g(manager);
    PLRDefaults::setShouldAutoAddNewImages(true);
    ASSERT_TRUE(testing_support::writePhoto(folder + "/new.jpg", {.name = "new.jpg", .width = 40, .height = 40}));
    ASSERT_TRUE(testing_support::waitUntil([&] { return describeLastSection(g.layout(), manager) == QStringList{"new.jpg"}; }, 8000));
    PLRDefaults::setShouldAutoAddNewImages(false);
    ASSERT_TRUE(testing_support::writePhoto(folder + "/later.jpg", {.name = "later.jpg", .width = 40, .height = 40}));
    ASSERT_TRUE(testing_support::waitUntil([&] { return g.namesInSection(0).contains("later.jpg"); }, 8000));
    EXPECT_EQ(describeLastSection(g.layout(), manager), (QStringList{"new.jpg"}));
}

TEST(GalleryActions, ShowInFolderRevealsThePhotoOrSaysItIsGone)
{
    const QString folder = makeFolder(plainPhotos(2));
    PLRPostManager* manager = openPost(folder, 2);
    Gallery g(manager);
    PLRGalleryViewItem* item = g.collection()->itemAtIndexPath({0, 0});
    ASSERT_NE(item, nullptr);
    item->view()->showInFinderMenuItem()->trigger();
    ASSERT_EQ(testing_support::recordingWorkspace().revealed.size(), 1u);
    EXPECT_EQ(testing_support::recordingWorkspace().revealed[0], QStringList{folder + "/p01.jpg"});

    g.photo("p02.jpg")->setFileDeleted(true);
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    g.collection()->itemAtIndexPath({0, 1})->view()->showInFinderMenuItem()->trigger();
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_EQ(testing_support::scriptedAlerts().shown()[0].messageText, "Image Deleted");
    EXPECT_EQ(testing_support::recordingWorkspace().revealed.size(), 1u);
}
