// A new user's first minutes with the gallery, in the post's real screen (gallery, canvas and
// inspector side by side): filter to four stars and up, drag two photos side by side onto the
// canvas, undo, build a layout automatically. With PELLORA_SCREENSHOT_DIR set, each step is
// saved there as a PNG (run it under Xvfb with QT_QPA_PLATFORM=xcb to see real windows).

#include "GalleryTestSupport.h"

#include "canvas/interaction/PLRLayoutDocumentView.h"
#include "canvas/interaction/PLRLayoutInteraction.h"
#include "canvas/interaction/PLRLayoutInteractionView.h"
#include "canvas/interaction/PLRLayoutViewController.h"
#include "platform/NotificationCenter.h"
#include "shell/PLRShellNotifications.h"
#include "shell/post/PLROnboardingPopover.h"
#include "shell/post/PLRPostCanvasViewController.h"
#include "shell/post/PLRPostViewController.h"
#include "shell/post/PLRPrepViewController.h"

#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

using namespace gallery_test;

namespace {

void screenshot(QWidget* widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("PELLORA_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    EXPECT_TRUE(widget->grab().save(dir + "/" + name + ".png"));
}

// Photos with some colour to tell them apart.
void writeColourPhoto(const QString& path, QColor colour, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QLinearGradient gradient(0, 0, width, height);
    gradient.setColorAt(0, colour.lighter(150));
    gradient.setColorAt(1, colour.darker(160));
    QPainter painter(&image);
    painter.fillRect(image.rect(), gradient);
    painter.setBrush(colour.darker(250));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(width * 0.7, height * 0.35), width * 0.12, width * 0.12);
    painter.end();
    ASSERT_TRUE(image.save(path, "JPG", 90));
}

// Drops the mime data on the canvas at a view point, as the drag would.
void dropOnCanvas(PLRLayoutInteractionView* canvas, QMimeData* data, QPointF point)
{
    QDragEnterEvent enter(point.toPoint(), Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &enter);
    QDragMoveEvent move(point.toPoint(), Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &move);
    QDropEvent drop(point, Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &drop);
    EXPECT_TRUE(drop.isAccepted());
    testing_support::drainEvents();
}

// Presses on the gallery item and moves past the drag threshold; answers what the drag carries.
QMimeData* dragFromGallery(PLRGalleryViewController* gallery, const PLRGalleryIndexPath& path)
{
    QMimeData* carried = nullptr;
    gallery->galleryView()->setDragRunner([&](QMimeData* data, const QImage&) {
        carried = data;
        return Qt::MoveAction;
    });
    gallery->galleryView()->scrollToItem(path);
    PLRGalleryViewItem* item = gallery->galleryView()->itemAtIndexPath(path);
    EXPECT_NE(item, nullptr);
    if (!item)
        return nullptr;
    QWidget* window = item->view()->window();
    const QPointF start = item->view()->mapTo(window, QPointF(item->view()->width() / 2.0, item->view()->height() / 2.0));
    QMouseEvent press(QEvent::MouseButtonPress, start, start, window->mapToGlobal(start), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &press);
    const QPointF moved = start + QPointF(20, 0);
    QMouseEvent move(QEvent::MouseMove, moved, moved, window->mapToGlobal(moved), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, moved, moved, window->mapToGlobal(moved), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window, &release);
    return carried;
}

// A post's view in a window of the usual size, shown and active, as the keyboard finds it.
struct ShownPost {
    QWidget window;
    std::unique_ptr<PLRPostViewController> post = std::make_unique<PLRPostViewController>();

    explicit ShownPost(PLRPostManager* manager)
    {
        auto* column = new QVBoxLayout(&window);
        column->setContentsMargins(0, 0, 0, 0);
        post->setPostManager(manager);
        column->addWidget(post->view());
        window.resize(1280, 800);
        window.show();
        post->presentInitialVisualState();
        window.activateWindow();
    }
};

} // namespace

TEST(GalleryTrial, FilterDragTwoPhotosSideBySideUndoAndBuildALayout)
{
    const QString folder = testing_support::testHome() + "/Lisbon";
    QDir().mkpath(folder);
    const QList<QColor> colours{QColor(200, 80, 60), QColor(60, 120, 200), QColor(230, 180, 40), QColor(70, 160, 90),
                                QColor(140, 80, 180), QColor(220, 120, 160), QColor(90, 90, 90), QColor(40, 170, 170),
                                QColor(180, 140, 90), QColor(120, 180, 60)};
    const QList<int> stars{5, 2, 4, 3, 5, 1, 4, 0, 5, 4};
    const QStringList labels{"Red", "", "Green", "", "Blue", "", "Green", "", "Purple", ""};
    for (int i = 0; i < colours.size(); ++i) {
        const QString path = folder + QStringLiteral("/IMG_%1.jpg").arg(2100 + i);
        const bool portrait = i % 4 == 3;
        writeColourPhoto(path, colours[i], portrait ? 320 : 480, portrait ? 480 : 320);
        std::map<std::string, std::string> tags;
        if (stars[i] > 0)
            tags["Xmp.xmp.Rating"] = std::to_string(stars[i]);
        if (!labels[i].isEmpty())
            tags["Xmp.xmp.Label"] = labels[i].toStdString();
        if (!tags.empty()) {
            ASSERT_TRUE(testing_support::tagPhoto(path, tags));
        }
    }
    PLRPostManager* manager = openPost(folder, 10);

    QWidget window;
    window.setWindowTitle("Pellora");
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto post = std::make_unique<PLRPostViewController>();
    post->setPostManager(manager);
    layout->addWidget(post->view());
    window.resize(1280, 800);
    window.show();
    post->presentInitialVisualState();
    auto* gallery = qobject_cast<PLRGalleryViewController*>(post->galleryViewController());
    ASSERT_NE(gallery, nullptr) << "the post view did not make the gallery from its scene";
    auto* canvasPane = qobject_cast<PLRPostCanvasViewController*>(post->layoutViewController());
    ASSERT_NE(canvasPane, nullptr);
    PLRLayoutInteractionView* canvas = canvasPane->canvas()->interactionView();
    ASSERT_NE(canvas, nullptr);
    ASSERT_TRUE(testing_support::waitUntil([&] { return canvasPane->canvas()->canvasAlpha() >= 1.0; }, 5000));
    ASSERT_TRUE(testing_support::waitUntil([&] {
        for (PLRGalleryViewItem* item : gallery->galleryView()->visibleItems())
            if (item->loadingPreview())
                return false;
        return gallery->galleryView()->numberOfItemsInSection(0) == 10;
    }, 10000));
    screenshot(&window, "01-open-post");

    // Four stars and up, from the sort and filter menu.
    gallery->showSortFilterMenuAction(gallery->sortFilterButton());
    ASSERT_TRUE(testing_support::waitUntil([&] { return gallery->sortFilterMenu()->isVisible(); }, 2000));
    PLRStarFilterView* stars4 = gallery->filterStarView();
    platform::ui::dispatch::sendMouse(stars4, QEvent::MouseButtonPress, stars4->rectForStar(4).center());
    platform::ui::dispatch::sendMouse(stars4, QEvent::MouseButtonRelease, stars4->rectForStar(4).center());
    EXPECT_EQ(stars4->currentFilterSelection(), 4);
    screenshot(gallery->sortFilterMenu(), "02-filter-menu");
    gallery->sortFilterMenu()->hide();
    // With the menu closed, the button still tells that a filter is on.
    EXPECT_TRUE(gallery->isFilterActive());
    EXPECT_NE(gallery->sortFilterButton()->title(), "Sort & Filter");
    Gallery::settle();
    ASSERT_EQ(gallery->galleryView()->numberOfItemsInSection(0), 6);
    for (qint64 i = 0; i < 6; ++i)
        EXPECT_GE(gallery->imageAtIndexPath({0, i})->starRating(), 4);
    screenshot(&window, "03-four-stars-and-up");

    // The first photo onto the empty page, the second on the first one's right edge.
    PLRLayoutManager* layoutManager = manager->layoutManager();
    std::unique_ptr<QMimeData> first(dragFromGallery(gallery, {0, 0}));
    ASSERT_NE(first, nullptr);
    dropOnCanvas(canvas, first.get(), QPointF(canvas->width() / 2.0, 200));
    ASSERT_TRUE(testing_support::waitUntil([&] { return describeLastSection(layoutManager, manager).size() == 1; }));
    canvas->refresh();
    const PLRBlock* placed = &layoutManager->representedLayout()->sections(0).blocks(0);
    const QRectF frame = canvas->viewRectForBlock(placed);
    ASSERT_FALSE(frame.isEmpty());
    QPointF besidePoint;
    for (double inset = 2; inset < frame.width() / 2; inset += 4) {
        const QPointF candidate(frame.right() - inset, frame.center().y());
        const PLRDropZone zone = canvas->dropZoneAtPoint(candidate);
        if (zone.kind == PLRDropZone::Kind::BesideBlock && zone.edge == Qt::RightEdge) {
            besidePoint = candidate;
            break;
        }
    }
    ASSERT_FALSE(besidePoint.isNull()) << "no drop zone on the right edge of the first photo";
    std::unique_ptr<QMimeData> second(dragFromGallery(gallery, {0, 1}));
    ASSERT_NE(second, nullptr);
    dropOnCanvas(canvas, second.get(), besidePoint);
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 2; }));
    const QStringList sideBySide = describeLastSection(layoutManager, manager);
    ASSERT_EQ(sideBySide.size(), 1);
    EXPECT_TRUE(sideBySide[0].startsWith("[")) << sideBySide.join(", ").toStdString();
    Gallery::settle();
    screenshot(&window, "04-two-photos-side-by-side");

    // Undo takes the second photo back out; the gallery shows it as unused again.
    platform::UndoManager* undo = gallery->undoManager();
    ASSERT_TRUE(undo->canUndo());
    undo->undo();
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 1; }));
    EXPECT_EQ(describeLastSection(layoutManager, manager).size(), 1);
    Gallery::settle();
    screenshot(&window, "05-undo");

    // The title bar's automatic layout, for every unused photo of the filter.
    platform::NotificationCenter::defaultCenter().post(
        QString::fromLatin1(kPLR_NOTIFICATION_AUTO_BUILD_LAYOUT), nullptr,
        {{QString::fromLatin1(kPLRAutoLayoutNumImagesToAddKey), QVariant::fromValue<qint64>(kPLRAutoLayoutAllImages)}});
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->numberOfImagesInUse() == 6; }));
    EXPECT_EQ(describeLastSection(layoutManager, manager).size(), 1 + 4);   // 1 + alone, pair, alone, alone
    Gallery::settle();
    screenshot(&window, "06-automatic-layout");

    // A look at one photo in the preview window, then the next one with the arrow key.
    gallery->clearFilterAction();
    Gallery::settle();
    const PLRGalleryIndexPath firstPath{0, 0};
    gallery->galleryView()->scrollToItem(firstPath);
    PLRGalleryViewItem* firstItem = gallery->galleryView()->itemAtIndexPath(firstPath);
    ASSERT_NE(firstItem, nullptr);
    {
        QWidget* win = firstItem->view()->window();
        const QPointF p = firstItem->view()->mapTo(win, QPointF(40, 40));
        QMouseEvent press(QEvent::MouseButtonPress, p, p, win->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(win, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, p, p, win->mapToGlobal(p), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(win, &release);
    }
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(gallery->galleryView(), &space);
    PLRPreviewPanel* panel = PLRPreviewPanel::sharedPreviewPanel();
    ASSERT_TRUE(panel->isShown());
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(panel, &right);
    ASSERT_TRUE(testing_support::waitUntil([&] { return !panel->isLoading(); }));
    EXPECT_EQ(panel->currentPreviewItem()->fileName(), "IMG_2101.jpg");
    Gallery::settle();
    screenshot(panel, "08-preview-window");
    panel->orderOut();

    // Used photos split off, as a user would look at what is left.
    gallery->splitImageAction();
    gallery->filterStarView()->clearFilter();
    gallery->clearFilterAction();
    Gallery::settle();
    screenshot(&window, "07-used-split");
    post.reset();
}

// Composing with the keyboard: Tab comes to the photos without stopping on the area around them
// and picks the first photo, an arrow moves on and Return puts the photo on the page.
TEST(GalleryTrial, TabReachesThePhotosAndReturnPutsOneOnThePage)
{
    const QString folder = testing_support::testHome() + "/Keys";
    QDir().mkpath(folder);
    for (int i = 0; i < 3; ++i)
        writeColourPhoto(folder + QStringLiteral("/IMG_%1.jpg").arg(i), QColor::fromHsv(i * 90, 180, 200), 480, 320);
    PLRPostManager* manager = openPost(folder, 3);
    ShownPost shown(manager);
    QWidget& window = shown.window;
    PLRPostViewController* post = shown.post.get();
    QApplication::setActiveWindow(&window);
    if (QWidget* first = QApplication::focusWidget())   // (what the window's activation chose)
        first->clearFocus();
    Gallery::settle();
    auto* gallery = qobject_cast<PLRGalleryViewController*>(post->galleryViewController());
    ASSERT_NE(gallery, nullptr);
    QWidget* photos = gallery->galleryView();

    QStringList stops;
    for (int i = 0; i < 40 && QApplication::focusWidget() != photos; ++i) {
        QWidget* focused = QApplication::focusWidget();
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
        QApplication::sendEvent(focused ? focused : &window, &tab);
        focused = QApplication::focusWidget();
        if (focused && focused != photos)
            stops << QString::fromLatin1(focused->metaObject()->className());
    }
    ASSERT_EQ(QApplication::focusWidget(), photos) << stops.join(", ").toStdString();
    // (The canvas is a stop of its own: it takes keys for its blocks.)
    for (const QString& stop : std::as_const(stops))
        EXPECT_TRUE(stop == QLatin1String("PLRLayoutScrollView") || !stop.endsWith(QLatin1String("ScrollView"))) << stop.toStdString();

    // Reaching the photos picks the first, so that where the keyboard is shows; an arrow goes on
    // from it.
    EXPECT_EQ(gallery->galleryView()->sortedSelectionIndexPaths(), (QList<PLRGalleryIndexPath>{{0, 0}}));
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(photos, &right);
    EXPECT_EQ(gallery->galleryView()->sortedSelectionIndexPaths(), (QList<PLRGalleryIndexPath>{{0, 1}}));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(photos, &enter);
    Gallery::settle();
    ASSERT_GT(manager->layoutManager()->representedLayout()->sections_size(), 0);
    EXPECT_EQ(manager->layoutManager()->representedLayout()->sections(0).blocks_size(), 1);
}

// Tab leaving the photos leaves the gallery where it was scrolled: it does not jump to the middle
// of the photos (where the post would open again, its first rows out of sight).
TEST(GalleryTrial, TabOutOfThePhotosKeepsTheGalleryWhereItWas)
{
    const QString folder = testing_support::testHome() + "/Many";
    QDir().mkpath(folder);
    constexpr int kPhotos = 24;
    for (int i = 0; i < kPhotos; ++i)
        writeColourPhoto(folder + QStringLiteral("/IMG_%1.jpg").arg(i, 2, 10, QLatin1Char('0')),
                         QColor::fromHsv(i * 15, 180, 200), 240, 160);
    PLRPostManager* manager = openPost(folder, kPhotos);
    ShownPost shown(manager);
    PLRPostViewController* post = shown.post.get();
    Gallery::settle();
    auto* gallery = qobject_cast<PLRGalleryViewController*>(post->galleryViewController());
    ASSERT_NE(gallery, nullptr);
    QWidget* photos = gallery->galleryView();
    QScrollBar* bar = gallery->galleryView()->enclosingScrollArea()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0) << "the photos must be more than the gallery shows";
    for (const auto& [key, modifiers] : {std::pair{Qt::Key_Tab, Qt::NoModifier}, std::pair{Qt::Key_Backtab, Qt::ShiftModifier}}) {
        bar->setValue(0);
        photos->setFocus(Qt::TabFocusReason);
        Gallery::settle();
        QKeyEvent tab(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(photos, &tab);
        Gallery::settle();
        EXPECT_NE(QApplication::focusWidget(), photos);
        EXPECT_EQ(bar->value(), 0) << "after " << (key == Qt::Key_Tab ? "Tab" : "Shift+Tab");
    }
}

// Home and End go to the first and last photo; each Page Down moves the photo with the keyboard
// a page further and the gallery with it, down to the last photo, and Page Up comes back.
TEST(GalleryTrial, HomeEndAndThePageKeysMoveThePhotoWithTheKeyboard)
{
    const QString folder = testing_support::testHome() + "/Pages";
    QDir().mkpath(folder);
    constexpr int kPhotos = 60;
    for (int i = 0; i < kPhotos; ++i)
        writeColourPhoto(folder + QStringLiteral("/IMG_%1.jpg").arg(i, 2, 10, QLatin1Char('0')),
                         QColor::fromHsv(i * 6, 180, 200), 120, 80);
    PLRPostManager* manager = openPost(folder, kPhotos);
    ShownPost shown(manager);
    Gallery::settle();
    auto* gallery = qobject_cast<PLRGalleryViewController*>(shown.post->galleryViewController());
    ASSERT_NE(gallery, nullptr);
    PLRGalleryCollectionView* photos = gallery->galleryView();
    QScrollBar* bar = photos->enclosingScrollArea()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    photos->setFocus(Qt::TabFocusReason);
    Gallery::settle();
    const auto press = [photos](int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(photos, &event);
        Gallery::settle();
    };
    const auto selected = [photos] { return photos->sortedSelectionIndexPaths(); };
    const auto selectedIsInView = [photos] {
        const QList<PLRGalleryIndexPath> paths = photos->sortedSelectionIndexPaths();
        return paths.size() == 1 && photos->visibleRect().contains(photos->frameForItemAtIndexPath(paths.first()));
    };
    const PLRGalleryIndexPath first{0, 0}, last{0, kPhotos - 1};

    press(Qt::Key_End);
    EXPECT_EQ(selected(), QList<PLRGalleryIndexPath>{last});
    EXPECT_TRUE(selectedIsInView());
    EXPECT_EQ(bar->value(), bar->maximum());
    press(Qt::Key_Home);
    EXPECT_EQ(selected(), QList<PLRGalleryIndexPath>{first});
    EXPECT_EQ(bar->value(), 0);

    // Down by pages: every press moves on until the last photo, the place always in view.
    QList<qint64> items{0};
    QList<int> values{bar->value()};
    for (int i = 0; i < 12 && selected() != QList<PLRGalleryIndexPath>{last}; ++i) {
        press(Qt::Key_PageDown);
        ASSERT_EQ(selected().size(), 1);
        EXPECT_TRUE(selectedIsInView()) << "press " << i + 1;
        items << selected().first().item;
        values << bar->value();
    }
    ASSERT_EQ(selected(), QList<PLRGalleryIndexPath>{last});
    ASSERT_GE(items.size(), 4) << "a page must be less than the whole gallery";
    for (qsizetype i = 1; i < items.size(); ++i) {
        EXPECT_GT(items[i], items[i - 1]) << "press " << i;
        EXPECT_TRUE(values[i] > values[i - 1] || values[i] == bar->maximum()) << "press " << i;
    }
    // A page is the same number of photos each time (but the last).
    EXPECT_EQ(items[2] - items[1], items[1] - items[0]);
    // And back up, a page at a time, to the first photo.
    for (int i = 0; i < 12 && selected() != QList<PLRGalleryIndexPath>{first}; ++i) {
        const int before = bar->value();
        press(Qt::Key_PageUp);
        EXPECT_TRUE(selectedIsInView()) << "up " << i + 1;
        EXPECT_TRUE(bar->value() < before || bar->value() == 0) << "up " << i + 1;
    }
    EXPECT_EQ(selected(), QList<PLRGalleryIndexPath>{first});
    EXPECT_EQ(bar->value(), 0);
}

// The gallery shows where its keyboard is with the focus ring, apart from the selection: round
// the photo with the keyboard only (not the other selected ones), whole in the first row too;
// along its edges when no photo has it; none once the keyboard has gone.
TEST(GalleryTrial, ThePhotoWithTheKeyboardShowsTheFocusRing)
{
    const QString folder = testing_support::testHome() + "/Rings";
    QDir().mkpath(folder);
    for (int i = 0; i < 6; ++i)
        writeColourPhoto(folder + QStringLiteral("/IMG_%1.jpg").arg(i), QColor::fromHsv(i * 50, 180, 200), i % 2 ? 320 : 200,
                         i % 2 ? 200 : 320);
    PLRPostManager* manager = openPost(folder, 6);
    ShownPost shown(manager);
    Gallery::settle();
    auto* gallery = qobject_cast<PLRGalleryViewController*>(shown.post->galleryViewController());
    ASSERT_NE(gallery, nullptr);
    PLRGalleryCollectionView* photos = gallery->galleryView();
    QApplication::setActiveWindow(&shown.window);
    const auto ringed = [photos] {
        QList<PLRGalleryIndexPath> paths;
        for (PLRGalleryViewItem* item : photos->visibleItems())
            if (item->view()->isShowingFocusRing())
                paths << item->indexPath();
        return paths;
    };
    photos->clearFocus();
    photos->setFocus(Qt::TabFocusReason);
    Gallery::settle();
    ASSERT_EQ(photos->sortedSelectionIndexPaths(), (QList<PLRGalleryIndexPath>{{0, 0}}));
    EXPECT_EQ(ringed(), (QList<PLRGalleryIndexPath>{{0, 0}}));
    // The ring goes round the picture, and the gallery has room for all of it.
    PLRGalleryView* first = photos->itemAtIndexPath({0, 0})->view();
    const QRectF ring = first->focusRingPath().boundingRect().translated(first->pos());
    EXPECT_TRUE(QRectF(photos->rect()).contains(ring)) << ring.y();
    EXPECT_TRUE(ring.contains(first->referenceRect().translated(first->pos())));
    EXPECT_FALSE(photos->isShowingEdgeFocusRing());

    // Two photos selected: the ring marks the one the keys act on.
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(photos, &right);
    Gallery::settle();
    photos->selectItems({{0, 3}});
    photos->makeFirstResponder(photos->itemAtIndexPath({0, 3}));
    EXPECT_EQ(photos->sortedSelectionIndexPaths().size(), 2);
    EXPECT_EQ(ringed(), (QList<PLRGalleryIndexPath>{{0, 3}}));

    // Nothing selected while the gallery has the keyboard: its edges.
    photos->deselectAll();
    Gallery::settle();
    EXPECT_TRUE(ringed().isEmpty());
    EXPECT_TRUE(photos->isShowingEdgeFocusRing());
    // The keyboard elsewhere: no ring at all, the selection drawn as ever.
    photos->selectItems({{0, 1}});
    photos->clearFocus();
    Gallery::settle();
    EXPECT_TRUE(ringed().isEmpty());
    EXPECT_FALSE(photos->isShowingEdgeFocusRing());
    EXPECT_TRUE(photos->itemAtIndexPath({0, 1})->view()->selected());
}
