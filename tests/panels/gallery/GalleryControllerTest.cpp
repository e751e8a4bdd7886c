// The gallery controller: sections and their headers, sorting and filtering with the stored
// settings, selection with the pivot and the arrow keys, the source-folder bar, the preview
// window and photos that come and go while shown.

#include "GalleryTestSupport.h"
#include "controls/KitHelpers.h"

#include "platform/UserDefaults.h"
#include "store/session/PLRDefaults.h"
#include "controls/PLRSliderCell.h"
#include "platform-ui/AttributedString.h"
#include "platform-ui/Fonts.h"

#include <QAction>
#include <QFile>
#include <QScrollBar>
#include <QWidgetAction>

using namespace gallery_test;

TEST(GalleryController, SectionsFollowTheSwitchesWithTitlesCountsAndCollapse)
{
    const QString folder = makeFolder(plainPhotos(5));
    PLRPostManager* manager = openPost(folder, 5);
    Gallery g(manager);
    EXPECT_EQ(g.collection()->numberOfSections(), 1);
    EXPECT_EQ(g.namesInSection(0).size(), 5);
    EXPECT_TRUE(g.collection()->visibleHeaders().isEmpty());   // section 0 has no header

    // Two photos go into the layout: the gallery rebuilds when the count in use changes.
    g.layout()->createAndAddBlocksForImages({g.photo("p02.jpg")->identifier(), g.photo("p03.jpg")->identifier()});
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 2; }));
    Gallery::settle();
    EXPECT_EQ(g.namesInSection(0).size(), 5);   // not split: used photos stay in section 0

    g.controller->splitImageAction();
    EXPECT_EQ(g.collection()->numberOfSections(), 2);
    EXPECT_EQ(g.namesInSection(0), (QStringList{"p01.jpg", "p04.jpg", "p05.jpg"}));
    EXPECT_EQ(g.namesInSection(1), (QStringList{"p02.jpg", "p03.jpg"}));
    PLRGalleryHeaderView* used = g.collection()->headerForSection(1);
    ASSERT_NE(used, nullptr);
    EXPECT_EQ(used->titleLabel()->stringValue(), "Used Images");
    EXPECT_EQ(used->numberLabel()->stringValue(), "(2)");
    EXPECT_EQ(used->collapseButtonState(), 1);

    g.photo("p05.jpg")->setHidden(true);
    g.controller->showHiddenImagesAction();
    EXPECT_EQ(g.collection()->numberOfSections(), 3);
    EXPECT_EQ(g.namesInSection(0), (QStringList{"p01.jpg", "p04.jpg"}));
    EXPECT_EQ(g.namesInSection(2), (QStringList{"p05.jpg"}));
    ASSERT_NE(g.collection()->headerForSection(2), nullptr);
    EXPECT_EQ(g.collection()->headerForSection(2)->titleLabel()->stringValue(), "Hidden Images");
    EXPECT_TRUE(PLRDefaults::shouldSplitUsedImages());
    EXPECT_TRUE(PLRDefaults::shouldShowHiddenImages());

    // Collapsing keeps the header with the full count and shows no items.
    g.collection()->headerForSection(1)->collapsedButtonAction();
    Gallery::settle();
    EXPECT_TRUE(g.controller->collapseUsedSection());
    EXPECT_EQ(g.collection()->numberOfItemsInSection(1), 0);
    ASSERT_NE(g.collection()->headerForSection(1), nullptr);
    EXPECT_EQ(g.collection()->headerForSection(1)->numberLabel()->stringValue(), "(2)");
    EXPECT_EQ(g.collection()->headerForSection(1)->collapseButtonState(), 0);

    // Hidden on, split off: section 1 is the hidden one.
    g.controller->splitImageAction();
    EXPECT_EQ(g.collection()->numberOfSections(), 2);
    EXPECT_EQ(g.controller->titleForSection(1), "Hidden Images");

    // A new gallery reads the switches back, but not the collapse flags.
    g.controller->splitImageAction();
    Gallery again(manager);
    EXPECT_TRUE(again.controller->splitUsedImages());
    EXPECT_TRUE(again.controller->showHiddenImages());
    EXPECT_FALSE(again.controller->collapseUsedSection());
    EXPECT_EQ(again.collection()->numberOfItemsInSection(1), 2);
}

TEST(GalleryController, SortMenuTitlesChecksAndStoredSettings)
{
    const QString folder = makeFolder({{"c.jpg"}, {"a.jpg"}, {"b.jpg"}});
    PLRPostManager* manager = openPost(folder, 3);
    {
        Gallery g(manager);
        EXPECT_EQ(g.namesInSection(0), (QStringList{"a.jpg", "b.jpg", "c.jpg"}));
        g.controller->ensureSortMenu();
        EXPECT_TRUE(g.controller->titleMenuItem()->isChecked());
        EXPECT_TRUE(g.controller->ascendingMenuItem()->isChecked());
        EXPECT_EQ(g.controller->ascendingMenuItem()->text(), "Alphabetical Order");
        EXPECT_EQ(g.controller->descendingMenuItem()->text(), "Reverse Alphabetical Order");

        g.controller->descendingMenuItem()->trigger();
        EXPECT_EQ(g.namesInSection(0), (QStringList{"c.jpg", "b.jpg", "a.jpg"}));
        EXPECT_TRUE(g.controller->descendingMenuItem()->isChecked());
        EXPECT_FALSE(g.controller->ascendingMenuItem()->isChecked());

        g.controller->creationMenuItem()->trigger();
        EXPECT_EQ(g.controller->ascendingMenuItem()->text(), "Oldest to Newest");
        EXPECT_EQ(g.controller->descendingMenuItem()->text(), "Newest to Oldest");
        g.controller->modifiedMenuItem()->trigger();
        EXPECT_EQ(g.controller->ascendingMenuItem()->text(), "Least Recent to Most Recent");
        EXPECT_EQ(g.controller->descendingMenuItem()->text(), "Most Recent to Least Recent");
        EXPECT_TRUE(g.controller->modifiedMenuItem()->isChecked());
        EXPECT_FALSE(g.controller->titleMenuItem()->isChecked());

        PLRDefaults::setShouldAutoAddNewImages(true);
        g.controller->ensureSortMenu();
        EXPECT_TRUE(g.controller->autoAddNewMenuItem()->isChecked());
        g.controller->autoAddNewMenuItem()->trigger();
        EXPECT_FALSE(PLRDefaults::shouldAutoAddNewImages());
    }
    EXPECT_EQ(platform::UserDefaults::standard().integerForKey("gall_sort_type"), 2);
    EXPECT_EQ(platform::UserDefaults::standard().integerForKey("gall_sort_order"), 1);
    PLRDefaults::setSortType(0);
    Gallery again(manager);
    EXPECT_EQ(again.controller->sortOrder(), 1);
    EXPECT_EQ(again.namesInSection(0), (QStringList{"c.jpg", "b.jpg", "a.jpg"}));
}

TEST(GalleryController, StarAndColourFiltersNarrowTheSectionsAndAreStoredButNotRestored)
{
    const QString folder = makeFolder({{.name = "one.jpg", .stars = 1, .label = "Red"}, {.name = "two.jpg", .stars = 2},
                                       {.name = "three.jpg", .stars = 3, .label = "Green"},
                                       {.name = "four.jpg", .stars = 4, .label = "Green"},
                                       {.name = "five.jpg", .stars = 5, .label = "Blue"}});
    PLRPostManager* manager = openPost(folder, 5);
    {
        Gallery g(manager);
        PLRStarFilterView* stars = g.controller->filterStarView();
        EXPECT_EQ(stars->currentComparator(), 1);
        EXPECT_EQ(g.controller->sortFilterButton()->title(), "Sort & Filter");
        stars->setCurrentFilterSelection(4);
        g.controller->starFilterSetFilterSelection(stars, 4);
        EXPECT_EQ(g.namesInSection(0), (QStringList{"five.jpg", "four.jpg"}));
        // The button tells that photos are filtered out.
        EXPECT_EQ(g.controller->sortFilterButton()->title(), "Sort & Filter (Filtered)");
        stars->setCurrentComparator(0);
        g.controller->starFilterSetComparatorValue(stars, 0);
        EXPECT_EQ(g.namesInSection(0), (QStringList{"four.jpg"}));
        stars->setCurrentComparator(-1);
        g.controller->starFilterSetComparatorValue(stars, -1);
        EXPECT_EQ(g.namesInSection(0).size(), 4);

        PLRColourFilterView* colours = g.controller->filterColourView();
        colours->setCurrentFilterSelection(PLRColourFilterView::kGreen);
        g.controller->colourFilterSetFilterType(colours, PLRColourFilterView::kGreen);
        EXPECT_EQ(g.namesInSection(0), (QStringList{"four.jpg", "three.jpg"}));

        EXPECT_EQ(PLRDefaults::starFilterValue(), 4);
        EXPECT_EQ(PLRDefaults::starFilterComparator(), -1);
        EXPECT_EQ(PLRDefaults::colourFilterValue(), 4);

        g.controller->clearFilterAction();
        EXPECT_EQ(g.namesInSection(0).size(), 5);
        EXPECT_EQ(g.controller->sortFilterButton()->title(), "Sort & Filter");
        EXPECT_EQ(PLRDefaults::starFilterValue(), 4);   // clearing leaves the settings alone
    }
    Gallery again(manager);
    EXPECT_EQ(again.controller->filterStarView()->currentFilterSelection(), 0);
    EXPECT_EQ(again.controller->filterStarView()->currentComparator(), 1);
    EXPECT_EQ(again.controller->filterColourView()->currentFilterSelection(), 0);
    EXPECT_EQ(again.namesInSection(0).size(), 5);
}

// In the narrowest gallery the sort and filter button keeps "Sort & Filter (Filtered)" on one
// line: the zoom slider beside it gives way.
TEST(GalleryController, TheSortAndFilterButtonsTitleStaysOnOneLine)
{
    const QString folder = makeFolder({{.name = "one.jpg", .stars = 1}, {.name = "two.jpg", .stars = 4}});
    PLRPostManager* manager = openPost(folder, 2);
    Gallery g(manager, QSize(250, 600));
    PLRStarFilterView* stars = g.controller->filterStarView();
    stars->setCurrentFilterSelection(4);
    g.controller->starFilterSetFilterSelection(stars, 4);
    Gallery::settle();
    platform::ui::Button* button = g.controller->sortFilterButton();
    ASSERT_EQ(button->title(), "Sort & Filter (Filtered)");
    const platform::ui::AttributedString title(button->title(), {{platform::ui::kFontAttributeName, button->font()}});
    const double oneLine = platform::ui::TextLayout(title, QSizeF(1e9, 1e9)).usedRect().height();
    EXPECT_DOUBLE_EQ(platform::ui::TextLayout(title, QSizeF(button->width(), 1e9)).usedRect().height(), oneLine)
        << "the title wraps in a button " << button->width() << " wide";
    // Both stay whole inside the bar.
    QWidget* slider = g.controller->view()->findChild<QWidget*>(QStringLiteral("zoomSlider"));
    ASSERT_NE(slider, nullptr);
    EXPECT_LE(button->geometry().right(), slider->geometry().left());
    EXPECT_LE(slider->geometry().right(), slider->parentWidget()->width());
    EXPECT_GE(slider->width(), 40);
}

TEST(GalleryController, RangeSelectionFromThePivotCommandClicksAndArrowKeysAcrossSections)
{
    const QString folder = makeFolder(plainPhotos(10));
    PLRPostManager* manager = openPost(folder, 10);
    Gallery g(manager);
    PLRGalleryCollectionView* c = g.collection();

    g.click({0, 3});
    EXPECT_EQ(g.controller->pivotingSelectionIndex(), 3);
    g.click({0, 7}, Qt::ShiftModifier);
    EXPECT_EQ(g.selectedNames(), (QStringList{"p04.jpg", "p05.jpg", "p06.jpg", "p07.jpg", "p08.jpg"}));
    EXPECT_EQ(g.controller->pivotingSelectionIndex(), 3);   // the pivot stays

    g.click({0, 5});   // no Shift: a new pivot, a single selection
    EXPECT_EQ(g.controller->pivotingSelectionIndex(), 5);
    EXPECT_EQ(g.selectedNames(), (QStringList{"p06.jpg"}));
    c->setCurrentEventModifiers(Qt::ShiftModifier);
    const PLRGalleryIndexPathSet answer = g.controller->shouldSelectItemsAtIndexPaths(c, {{0, 2}});
    c->clearCurrentEventModifiers();
    EXPECT_EQ(sortedIndexPaths(answer), (QList<PLRGalleryIndexPath>{{0, 2}, {0, 3}, {0, 4}}));
    g.click({0, 2}, Qt::ShiftModifier);
    EXPECT_EQ(g.selectedNames(), (QStringList{"p03.jpg", "p04.jpg", "p05.jpg", "p06.jpg"}));

    // Control on a selected item of a multiple selection deselects nothing; with Shift too it
    // deselects just that item.
    g.click({0, 4}, Qt::ControlModifier);
    EXPECT_EQ(g.selectedNames().size(), 4);
    g.click({0, 4}, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(g.selectedNames(), (QStringList{"p03.jpg", "p04.jpg", "p06.jpg"}));
    g.click({0, 8}, Qt::ControlModifier);   // Control adds
    EXPECT_EQ(g.selectedNames().size(), 4);

    // A modifier key pressed alone is no key of its own: the selection stays.
    g.key(Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_EQ(g.selectedNames().size(), 4);

    // Used photos in section 1; clicks there never move the pivot.
    g.layout()->createAndAddBlocksForImages({g.photo("p09.jpg")->identifier(), g.photo("p10.jpg")->identifier()});
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 2; }));
    g.controller->splitImageAction();
    ASSERT_EQ(c->numberOfItemsInSection(0), 8);
    ASSERT_EQ(c->numberOfItemsInSection(1), 2);
    const qint64 pivot = g.controller->pivotingSelectionIndex();
    g.click({1, 1});
    EXPECT_EQ(g.controller->pivotingSelectionIndex(), pivot);
    EXPECT_EQ(g.selectedNames(), (QStringList{"p10.jpg"}));

    // Arrow keys: two columns at this width.
    ASSERT_EQ(c->galleryLayout()->currentItemWidth(), 2);
    g.key(Qt::Key_Right);   // last item of the last section: stays
    EXPECT_EQ(g.selectedNames(), (QStringList{"p10.jpg"}));
    g.key(Qt::Key_Up);      // column 1 of section 0's last row
    EXPECT_EQ(g.selectedNames(), (QStringList{"p08.jpg"}));
    g.key(Qt::Key_Down);
    EXPECT_EQ(g.selectedNames(), (QStringList{"p10.jpg"}));
    g.key(Qt::Key_Left);
    g.key(Qt::Key_Left);
    EXPECT_EQ(g.selectedNames(), (QStringList{"p08.jpg"}));
    g.key(Qt::Key_Up);
    EXPECT_EQ(g.selectedNames(), (QStringList{"p06.jpg"}));
    EXPECT_TRUE(c->visibleRect().contains(c->frameForItemAtIndexPath({0, 5})));

    // A selection across both sections, then the used section collapses: only section 0's
    // photos stay selected, and the keys still work.
    g.click({1, 0}, Qt::ControlModifier);
    EXPECT_EQ(g.selectedNames(), (QStringList{"p06.jpg", "p09.jpg"}));
    c->headerForSection(1)->collapsedButtonAction();
    Gallery::settle();
    EXPECT_EQ(g.selectedNames(), (QStringList{"p06.jpg"}));
    g.key(Qt::Key_Down);
    EXPECT_EQ(g.selectedNames(), (QStringList{"p08.jpg"}));
    g.key(Qt::Key_Right);   // the next section is collapsed: stays
    EXPECT_EQ(g.selectedNames(), (QStringList{"p08.jpg"}));
}

TEST(GalleryController, SourceFolderBarForEachState)
{
    using Bar = PLRGallerySourceErrorBar;
    const Bar unknown = PLRGalleryViewController::sourceErrorBarFor(true, 2, false, "/a");
    EXPECT_EQ(unknown.title, "Could not determine\nSource Folder location");
    EXPECT_EQ(unknown.buttonTitle, "Choose Folder");
    EXPECT_EQ(unknown.height, 125);
    EXPECT_FALSE(unknown.reloads);
    const Bar missing = PLRGalleryViewController::sourceErrorBarFor(true, 3, false, "/Photos/My%20Trip");
    EXPECT_EQ(missing.title, "Source Folder Not Found");
    EXPECT_EQ(missing.buttonTitle, "Locate Folder");
    EXPECT_EQ(missing.info, "/Photos/My Trip cannot be located");
    EXPECT_EQ(missing.height, 80);
    const Bar denied = PLRGalleryViewController::sourceErrorBarFor(true, 5, false, "/p");
    EXPECT_EQ(denied.title, "Cannot open Source Folder");
    EXPECT_EQ(denied.buttonTitle, "Relocate Folder");
    EXPECT_EQ(denied.info, "Pellora does not have access to the designated source folder (/p). In order to read from "
                           "this folder we need you to specify the location.");
    EXPECT_EQ(denied.height, 110);
    EXPECT_EQ(PLRGalleryViewController::sourceErrorBarFor(true, 3, true, "/p").height, 0);
    EXPECT_EQ(PLRGalleryViewController::sourceErrorBarFor(false, 0, false, "/p").height, 80);

    // A folder that was never there: the "Choose Folder" bar, and the gallery is not rebuilt.
    testing_support::installShellLibraries();
    PLRPostManager* lost = testing_support::signIn()->newPostManager();
    ASSERT_TRUE(lost->createNewPostWithTitle("Lost", QUrl::fromLocalFile(testing_support::testHome() + "/nowhere")));
    ASSERT_TRUE(testing_support::waitUntil([&] { return lost->sourceDirectory()->state() == 2; }));
    Gallery g(lost);
    int rebuilds = 0;
    QObject::connect(g.controller.get(), &PLRGalleryViewController::galleryReloaded, [&] { ++rebuilds; });
    g.controller->ensureImageStructure(true);
    EXPECT_EQ(g.controller->sourceErrorConstraint(), 125);
    EXPECT_EQ(g.controller->sourceErrorButton()->title(), "Choose Folder");
    EXPECT_TRUE(g.controller->sourceErrorView()->isVisible());
    EXPECT_EQ(rebuilds, 0);

    // Relinking through the bar's button: the chosen folder's photos appear, the bar goes.
    const QString folder = makeFolder(plainPhotos(2), "found");
    testing_support::scriptedPanels().enqueue(folder);
    g.controller->sourceErrorButton()->performClick();
    ASSERT_TRUE(testing_support::waitUntil([&] { return g.collection()->numberOfItemsInSection(0) == 2; }));
    EXPECT_EQ(g.controller->sourceErrorConstraint(), 0);
    EXPECT_FALSE(g.controller->sourceErrorView()->isVisible());
}

TEST(GalleryController, PhotosThatDisappearOrChangeWhileShownKeepTheGalleryConsistent)
{
    const QString folder = makeFolder(plainPhotos(6));
    PLRPostManager* manager = openPost(folder, 6);
    Gallery g(manager);
    g.click({0, 2});
    g.click({0, 4}, Qt::ControlModifier);
    ASSERT_EQ(g.selectedNames(), (QStringList{"p03.jpg", "p05.jpg"}));

    ASSERT_TRUE(QFile::remove(folder + "/p03.jpg"));
    ASSERT_TRUE(testing_support::waitUntil([&] { return g.namesInSection(0).size() == 5; }, 8000));
    EXPECT_FALSE(g.namesInSection(0).contains("p03.jpg"));
    EXPECT_EQ(g.selectedNames(), (QStringList{"p05.jpg"}));   // the selection followed its photo
    for (PLRGalleryViewItem* item : g.collection()->visibleItems())
        EXPECT_NE(item->image(), nullptr);

    // A new photo appears in its sorted place.
    ASSERT_TRUE(testing_support::writePhoto(folder + "/p00.jpg", {.name = "p00.jpg", .width = 50, .height = 50}));
    ASSERT_TRUE(testing_support::waitUntil([&] { return g.namesInSection(0).value(0) == "p00.jpg"; }, 8000));
    EXPECT_EQ(g.selectedNames(), (QStringList{"p05.jpg"}));

    // A photo tagged while shown: with a three-star filter on, it comes into view.
    g.controller->filterStarView()->setCurrentFilterSelection(3);
    g.controller->starFilterSetFilterSelection(g.controller->filterStarView(), 3);
    EXPECT_TRUE(g.namesInSection(0).isEmpty());
    ASSERT_TRUE(testing_support::tagPhoto(folder + "/p06.jpg", {{"Xmp.xmp.Rating", "4"}}));
    ASSERT_TRUE(testing_support::waitUntil([&] { return g.namesInSection(0) == QStringList{"p06.jpg"}; }, 8000));
    EXPECT_TRUE(g.selectedNames().isEmpty());   // the selected photo is filtered out
    g.controller->clearFilterAction();

    // The whole folder goes: the "not found" bar, and nothing left to show.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(testing_support::waitUntil([&] { return g.controller->sourceErrorConstraint() == 80; }, 8000));
    EXPECT_EQ(g.controller->sourceErrorLabel()->stringValue(), "Source Folder Not Found");
}

// The post's folder renamed while it is open: the "not found" bar comes within moments, and
// goes once the folder is back under its name, its photos shown again.
TEST(GalleryController, TheFolderRenamedAwayShowsTheNotFoundBarUntilItIsBack)
{
    // A long name: the bar's explanation takes the lines the path needs, none cut off.
    const QString folder = makeFolder(plainPhotos(2), QStringLiteral("photos-of-the-long-autumn-walk-in-the-hills-above-town"));
    PLRPostManager* manager = openPost(folder, 2);
    Gallery g(manager);
    ASSERT_TRUE(testing_support::waitUntil([&] { return !manager->sourceDirectory()->watchedPaths().isEmpty(); }));
    ASSERT_EQ(g.controller->sourceErrorConstraint(), 0);

    ASSERT_TRUE(QDir().rename(folder, folder + "-moved"));
    ASSERT_TRUE(testing_support::waitUntil([&] { return g.controller->sourceErrorConstraint() == 80; }, 8000));
    EXPECT_EQ(g.controller->sourceErrorLabel()->stringValue(), "Source Folder Not Found");
    EXPECT_TRUE(g.controller->sourceErrorView()->isVisible());
    Gallery::settle();
    platform::ui::TextField* info = g.controller->sourceErrorInfo();
    EXPECT_TRUE(info->stringValue().endsWith(QStringLiteral("-in-the-hills-above-town cannot be located")));
    const double infoHeight = heightForWidth(info->attributedStringValue(), info->width() - 2 * platform::ui::TextField::kTextInset);
    EXPECT_GT(infoHeight, 30.0);   // several lines at the gallery's width
    EXPECT_GE(info->height(), int(std::floor(infoHeight)));
    EXPECT_LE(info->geometry().bottom(), g.controller->sourceErrorButton()->geometry().top());
    EXPECT_LE(g.controller->sourceErrorButton()->geometry().bottom(), g.controller->sourceErrorView()->height());

    ASSERT_TRUE(QDir().rename(folder + "-moved", folder));
    ASSERT_TRUE(testing_support::waitUntil([&] { return g.controller->sourceErrorConstraint() == 0; }, 8000));
    EXPECT_FALSE(g.controller->sourceErrorView()->isVisible());
    EXPECT_EQ(g.namesInSection(0), (QStringList{"p01.jpg", "p02.jpg"}));
}

TEST(GalleryController, PreviewWindowShowsTheSelectionAndTheArrowsMoveThroughThePhotos)
{
    const QString folder = makeFolder(plainPhotos(4));
    PLRPostManager* manager = openPost(folder, 4);
    Gallery g(manager);
    g.click({0, 1});
    g.key(Qt::Key_Space);
    PLRPreviewPanel* panel = PLRPreviewPanel::sharedPreviewPanel();
    ASSERT_TRUE(panel->isShown());
    EXPECT_EQ(g.controller->previewPanel(), panel);
    EXPECT_EQ(panel->currentPreviewItem()->fileName(), "p02.jpg");
    ASSERT_TRUE(testing_support::waitUntil([&] { return !panel->isLoading(); }));
    EXPECT_EQ(panel->contentView()->picture().size(), QSize(60, 40));   // the photo itself, read from its file

    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(panel, &right);
    EXPECT_EQ(g.selectedNames(), (QStringList{"p03.jpg"}));
    EXPECT_EQ(panel->currentPreviewItem()->fileName(), "p03.jpg");

    // Clicking another photo in the gallery: the window follows.
    g.click({0, 3});
    EXPECT_EQ(panel->currentPreviewItem()->fileName(), "p04.jpg");

    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(panel, &space);
    EXPECT_FALSE(panel->isShown());
    EXPECT_EQ(g.controller->previewPanel(), nullptr);
}

TEST(GalleryController, HeadersStayPinnedWhileTheirSectionScrollsPastAndOnlyVisibleItemsExist)
{
    const QString folder = makeFolder(plainPhotos(40));
    PLRPostManager* manager = openPost(folder, 40);
    Gallery g(manager, QSize(260, 400));
    QStringList used;
    for (int i = 20; i < 40; ++i)
        used.append(g.photo(QStringLiteral("p%1.jpg").arg(i + 1, 2, 10, QLatin1Char('0')))->identifier());
    g.layout()->createAndAddBlocksForImages(used);
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 20; }));
    g.controller->splitImageAction();
    PLRGalleryCollectionView* c = g.collection();
    QScrollBar* bar = g.controller->scrollView()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);

    // Scrolled into the middle of the used section: its header sits at the top of what is seen.
    const QRectF firstUsed = c->frameForItemAtIndexPath({1, 0});
    bar->setValue(int(firstUsed.top()) + 300);
    Gallery::settle();
    PLRGalleryHeaderView* header = c->headerForSection(1);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->geometry().top(), int(std::lround(c->visibleRect().top())));
    EXPECT_TRUE(header->isVisible());

    // Only the items near the visible part exist, whatever the folder's size.
    const int alive = int(c->findChildren<PLRGalleryViewItem*>().size());
    EXPECT_LE(alive, 2 * 6 + 64);
    for (PLRGalleryViewItem* item : c->visibleItems())
        EXPECT_TRUE(c->visibleRect().adjusted(0, -120, 0, 120).intersects(c->frameForItemAtIndexPath(item->indexPath())));

    // Zooming makes the items larger: fewer columns.
    g.controller->adjustZoomAction(2.0);
    EXPECT_EQ(c->galleryLayout()->itemSize(), QSizeF(200, 200));
    EXPECT_EQ(c->galleryLayout()->currentItemWidth(), 1);
    g.controller->adjustZoomFromPinch(5.0);   // clamped
    EXPECT_DOUBLE_EQ(g.controller->currentZoomFactor(), 2.0);

    // The zoom is the application's slider in its gallery style; moving it zooms the gallery.
    PLRSlider* slider = g.controller->zoomSlider();
    ASSERT_NE(slider, nullptr);
    EXPECT_TRUE(slider->cell().isGalleryStyle());
    EXPECT_DOUBLE_EQ(slider->doubleValue(), 2.0);
    slider->setDoubleValue(1.0);
    slider->sendAction();
    EXPECT_DOUBLE_EQ(g.controller->currentZoomFactor(), 1.0);
}
