// The gallery's visible pieces: the row placement shared with the home screen, the arrow-key
// targets, the star and colour filters and the drawing of one photo.

#include "GalleryTestSupport.h"

#include "controls/ColorWithHex.h"
#include "panels/gallery/PLRGalleryFilterViews.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "platform-ui/View.h"

#include <QHelpEvent>
#include <QToolTip>

#include <thread>

using platform::ui::DrawOperation;

namespace {

QList<double> itemXs(const QList<PLRCollectionViewLayoutAttributes>& attributes, qint64 section = 0)
{
    QList<double> xs;
    for (const auto& a : attributes)
        if (!a.isHeader() && a.section == section)
            xs.append(a.frame.x());
    return xs;
}

QList<PLRCollectionViewLayoutAttributes> layOut(PLRGalleryViewLayout& layout, double width, QList<qint64> counts)
{
    layout.prepareLayout(QSizeF(width, 500), counts);
    return layout.layoutAttributesForElementsInRect(QRectF(0, 0, width, layout.collectionViewContentSize().height() + 1));
}

PLRGalleryViewLayout galleryLayout(bool headers)
{
    PLRGalleryViewLayout layout;
    layout.setItemSize(QSizeF(100, 100));
    layout.setMinimumInteritemSpacing(10);
    layout.setMinimumLineSpacing(10);
    layout.setSectionInset(QMarginsF(10, 0, 10, 0));
    layout.setHeaderReferenceSize(headers ? QSizeF(28, 28) : QSizeF());
    return layout;
}

} // namespace

TEST(GalleryRowLayout, SpacesEveryRowFromTheWidestRowAndLeavesHeadersAlone)
{
    // 7 items in 620 points: 5 per row, gap (620 - 500) / 6 = 20; the short row keeps it.
    PLRGalleryViewLayout layout = galleryLayout(false);
    auto attributes = layOut(layout, 620, {7});
    EXPECT_EQ(itemXs(attributes), (QList<double>{20, 140, 260, 380, 500, 20, 140}));
    EXPECT_EQ(layout.currentItemWidth(), 5);

    // A single row of a single item, first attribute an item: gap 0.
    attributes = layOut(layout, 620, {1});
    EXPECT_EQ(itemXs(attributes), (QList<double>{0}));
    EXPECT_EQ(layout.currentItemWidth(), 1);

    // A header first (another y): the initial empty row counts, so the lone item is centred.
    PLRGalleryViewLayout withHeader = galleryLayout(true);
    attributes = layOut(withHeader, 620, {1});
    EXPECT_EQ(itemXs(attributes), (QList<double>{260}));
    ASSERT_TRUE(attributes.first().isHeader());
    EXPECT_EQ(attributes.first().frame, QRectF(0, 0, 620, 28));   // untouched

    // Two rows of one item each are centred too.
    attributes = layOut(layout, 150, {2});
    EXPECT_EQ(itemXs(attributes), (QList<double>{25, 25}));

    // Headers come first in the answer, then the items row by row.
    attributes = layOut(withHeader, 620, {2, 3});
    ASSERT_EQ(attributes.size(), 7);
    EXPECT_TRUE(attributes[0].isHeader());
    EXPECT_TRUE(attributes[1].isHeader());
    EXPECT_EQ(itemXs(attributes, 1), (QList<double>{(620 - 300) / 4.0, (620 - 300) / 4.0 * 2 + 100, (620 - 300) / 4.0 * 3 + 200}));
}

TEST(GalleryArrowKeys, MoveTheSingleSelectionAcrossSectionsAndStayWhereThereIsNowhereToGo)
{
    using namespace PLRGalleryKeys;
    auto target = [](int key, qint64 s, qint64 i, QList<qint64> counts, qint64 columns = 5) {
        const auto path = PLRGalleryCollectionView::arrowTarget(key, {s, i}, counts, columns);
        return path ? QPair<qint64, qint64>(path->section, path->item) : QPair<qint64, qint64>(-9, -9);
    };
    using P = QPair<qint64, qint64>;
    const QList<qint64> two{7, 3};
    EXPECT_EQ(target(kRight, 0, 6, two), P(1, 0));    // last item: first of the next section
    EXPECT_EQ(target(kRight, 1, 2, two), P(1, 2));    // last item of the last section stays
    EXPECT_EQ(target(kLeft, 1, 0, two), P(0, 6));     // back to the last item of the section before
    EXPECT_EQ(target(kLeft, 0, 0, two), P(0, 0));
    EXPECT_EQ(target(kDown, 0, 1, two), P(0, 6));
    EXPECT_EQ(target(kDown, 0, 5, two), P(1, 0));     // last row: same column of the next section
    EXPECT_EQ(target(kDown, 0, 3, two), P(0, 3));     // ... only when that section has the column
    EXPECT_EQ(target(kDown, 1, 1, two), P(1, 1));     // last section
    EXPECT_EQ(target(kUp, 0, 6, two), P(0, 1));
    EXPECT_EQ(target(kUp, 0, 2, two), P(0, 2));       // first row of the first section
    EXPECT_EQ(target(kUp, 1, 1, two), P(0, 6));       // column 1 is in the short last row
    EXPECT_EQ(target(kUp, 1, 2, two), P(0, 2));       // column 2 is not: the full row above it
    // A collapsed (empty) neighbour keeps the selection.
    EXPECT_EQ(target(kRight, 0, 6, {7, 0, 2}), P(0, 6));
    EXPECT_EQ(target(kLeft, 1, 0, {0, 2}), P(1, 0));
    // No columns laid out yet: up and down have nowhere to go.
    EXPECT_EQ(target(kDown, 0, 0, two, 0), P(0, 0));
    // Not an arrow key.
    EXPECT_EQ(target(kH, 0, 0, two), P(-9, -9));
}

namespace {
struct FilterRecorder : PLRStarFilterDelegate, PLRColourFilterDelegate {
    QList<qint64> selections, comparators, masks;
    void starFilterSetFilterSelection(PLRStarFilterView*, qint64 value) override { selections.append(value); }
    void starFilterSetComparatorValue(PLRStarFilterView*, qint64 value) override { comparators.append(value); }
    void colourFilterSetFilterType(PLRColourFilterView*, qint64 value) override { masks.append(value); }
};

void clickAt(QWidget* view, QPointF point)
{
    platform::ui::dispatch::sendMouse(view, QEvent::MouseButtonPress, point);
    platform::ui::dispatch::sendMouse(view, QEvent::MouseButtonRelease, point);
}
} // namespace

TEST(GalleryFilters, StarsComparatorAndColourDotsTellTheirDelegate)
{
    FilterRecorder recorder;
    PLRStarFilterView stars;
    stars.resize(150, 24);
    stars.setDelegate(&recorder);
    stars.show();
    EXPECT_EQ(stars.rectForComparatorButton(), QRectF(21, 5.5, 13, 13));
    EXPECT_EQ(stars.rectForStar(1).x(), 40);
    EXPECT_EQ(stars.rectForStar(5).x(), 116);

    const QPointF second = stars.rectForStar(2).center();
    clickAt(&stars, second);
    EXPECT_EQ(stars.currentFilterSelection(), 2);
    clickAt(&stars, second);   // the selected star again clears
    EXPECT_EQ(stars.currentFilterSelection(), 0);
    clickAt(&stars, stars.rectForStar(4).center());
    clickAt(&stars, QPointF(140, 12));   // on no star: cleared too
    EXPECT_EQ(recorder.selections, (QList<qint64>{2, 0, 4, 0}));

    // The comparator: 1 -> 0 -> -1 -> 1, with its picture.
    QStringList pictures;
    for (int i = 0; i < 3; ++i) {
        clickAt(&stars, stars.rectForComparatorButton().center());
        pictures.append(PLRStarFilterView::comparatorImageName(stars.currentComparator()));
    }
    EXPECT_EQ(recorder.comparators, (QList<qint64>{0, -1, 1}));
    EXPECT_EQ(pictures, (QStringList{"Equal", "less-than", "greater-than"}));
    stars.setCurrentFilterSelection(3);
    stars.clearFilter();
    EXPECT_EQ(stars.currentFilterSelection(), 0);
    EXPECT_EQ(stars.currentComparator(), 1);
    EXPECT_EQ(recorder.selections.size(), 4);   // clearing does not tell the delegate

    PLRColourFilterView colours;
    colours.resize(150, 24);
    colours.layout();
    colours.setDelegate(&recorder);
    colours.show();
    EXPECT_EQ(colours.bluePos(), QPointF(74, 12));
    EXPECT_EQ(colours.typeUnderPoint(QPointF(74 + 5, 12)), PLRColourFilterView::kBlue);   // the rim counts
    EXPECT_EQ(colours.typeUnderPoint(QPointF(74 + 5.5, 12)), 0);
    clickAt(&colours, colours.bluePos());
    EXPECT_EQ(colours.currentFilterSelection(), 8);
    clickAt(&colours, colours.redPos());
    clickAt(&colours, colours.bluePos());
    clickAt(&colours, QPointF(140, 3));   // no dot: the mask is still told
    EXPECT_EQ(recorder.masks, (QList<qint64>{8, 9, 1, 1}));
}

namespace {
PLRSourceImagePtr fakePhoto(QSize size, qint16 stars, qint64 colour)
{
    auto image = std::make_shared<PLRSourceImage>(QString(), testing_support::testHome() + "/cache");
    PLRImageMetadata metadata;
    metadata.readable = true;
    metadata.pixelSize = size;
    metadata.starRating = stars;
    metadata.colourRating = colour;
    image->setFile(QStringLiteral("/nowhere/photo.jpg"), QStringLiteral("photo.jpg"), PLRFileStamp{1, 1}, metadata);
    return image;
}

std::vector<DrawOperation> opsOf(const std::vector<DrawOperation>& all, DrawOperation::Kind kind)
{
    std::vector<DrawOperation> found;
    for (const auto& op : all)
        if (op.kind == kind)
            found.push_back(op);
    return found;
}
} // namespace

TEST(GalleryCell, DrawsThePictureWithStarsLabelUsedAndMissingMarksAndTheSelectionFrame)
{
    PLRSourceImagePtr photo = fakePhoto(QSize(90, 60), 3, 4);
    QImage preview(90, 60, QImage::Format_RGB32);
    preview.fill(Qt::darkGreen);
    PLRImageManager::storeMemoryPreview(photo->identifier(), preview);

    PLRGalleryViewItem item;
    item.view()->resize(100, 100);
    item.setImage(photo);
    ASSERT_FALSE(item.loadingPreview());
    ASSERT_FALSE(item.previewBlob().isNull());

    // L = 98: the picture is 98 x 65.33, centred.
    const QRectF reference(1, (100 - 98 / 1.5) / 2, 98, 98 / 1.5);
    EXPECT_EQ(item.view()->referenceRect(), reference);
    auto ops = item.view()->recordDrawing();
    auto images = opsOf(ops, DrawOperation::Kind::Image);
    ASSERT_EQ(images.size(), 4u);   // the picture and three stars
    EXPECT_EQ(images[0].rect, reference);
    EXPECT_DOUBLE_EQ(images[0].fraction, 1.0);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(images[1 + k].rect, QRectF(reference.x() + 4 + 11 * k, reference.bottom() - 11, 7, 7)) << k;
    // The blue label: filled, then stroked in black.
    auto fills = opsOf(ops, DrawOperation::Kind::FillPath);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].path.boundingRect(), QRectF(reference.right() - 11, reference.bottom() - 11, 7, 7));
    EXPECT_EQ(fills[0].color, platform::ui::Color::calibrated(0.33, 0.55, 0.88));
    EXPECT_TRUE(opsOf(ops, DrawOperation::Kind::StrokePath).size() == 1);

    // Used in the layout: 0.4; the file gone: the red corner; selected: the blue frame.
    photo->setInLayout(true);
    photo->setFileDeleted(true);
    item.setSelected(true);
    ops = item.view()->recordDrawing();
    EXPECT_DOUBLE_EQ(opsOf(ops, DrawOperation::Kind::Image)[0].fraction, 0.4);
    fills = opsOf(ops, DrawOperation::Kind::FillPath);
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[1].path.boundingRect(), QRectF(reference.right() - 30, reference.y(), 30, 30));
    EXPECT_EQ(fills[1].color, ColorWithHex::smb_errorRed().withAlpha(0.6));
    auto strokes = opsOf(ops, DrawOperation::Kind::StrokePath);
    ASSERT_EQ(strokes.size(), 2u);
    EXPECT_EQ(strokes[1].path.boundingRect(), reference.adjusted(1, 0, -1, 0));
    EXPECT_EQ(strokes[1].color, ColorWithHex::smb_blueColour());
    EXPECT_DOUBLE_EQ(strokes[1].lineWidth, 2.0);

    // A photo whose file is there but cannot be drawn (here: no picture) has the same corner.
    PLRSourceImagePtr unreadable = fakePhoto(QSize(90, 60), 0, 0);
    unreadable->setFile(QStringLiteral("/nowhere/broken.jpg"), QStringLiteral("broken.jpg"), PLRFileStamp{2, 2}, PLRImageMetadata{});
    ASSERT_EQ(unreadable->problem(), PLRPhotoProblem::Unreadable);
    PLRImageManager::storeMemoryPreview(unreadable->identifier(), preview);
    item.setImage(unreadable);
    item.setSelected(false);
    fills = opsOf(item.view()->recordDrawing(), DrawOperation::Kind::FillPath);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].path.boundingRect().size(), QSizeF(30, 30));
    EXPECT_EQ(fills[0].color, ColorWithHex::smb_errorRed().withAlpha(0.6));

    // A photo with no size yet is drawn at L x 0.6666 L; a label outside 1..7 draws nothing.
    PLRSourceImagePtr unknown = fakePhoto(QSize(), 0, 9);
    PLRImageManager::storeMemoryPreview(unknown->identifier(), preview);
    item.setImage(unknown);
    EXPECT_EQ(item.view()->referenceRect().size(), QSizeF(98, 0.6666 * 98));
    ops = item.view()->recordDrawing();
    EXPECT_TRUE(opsOf(ops, DrawOperation::Kind::FillPath).empty());
}

namespace {

// The tool tip the widget shows at the point; empty when it shows none.
QString toolTipAt(QWidget* widget, QPoint point)
{
    QHelpEvent help(QEvent::ToolTip, point, widget->mapToGlobal(point));
    QApplication::sendEvent(widget, &help);
    return help.isAccepted() ? QToolTip::text() : QString();
}

} // namespace

// The red corner of a photo that cannot be used tells why under the pointer, in the words an
// export or a publish refuses it with.
TEST(GalleryCell, TheMarkOfAPhotoThatCannotBeUsedTellsWhyInItsToolTip)
{
    PLRSourceImagePtr photo = fakePhoto(QSize(90, 60), 0, 0);
    PLRImageManager::storeMemoryPreview(photo->identifier(), QImage(90, 60, QImage::Format_RGB32));
    PLRGalleryViewItem item;
    item.view()->resize(100, 100);
    item.view()->show();
    item.setImage(photo);
    const QRectF picture = item.view()->referenceRect();
    const QPoint mark = QPointF(picture.right() - 5, picture.top() + 5).toPoint();
    EXPECT_EQ(toolTipAt(item.view(), mark), "");

    photo->setFileDeleted(true);
    EXPECT_EQ(toolTipAt(item.view(), mark), "photo.jpg: missing from the folder");
    EXPECT_EQ(toolTipAt(item.view(), picture.center().toPoint()), "photo.jpg: missing from the folder");
    EXPECT_EQ(toolTipAt(item.view(), QPoint(50, 2)), "");   // beside the picture
    photo->setFileDeleted(false);
    photo->noteDecodeResult(photo->fileStamp(), PLRPhotoProblem::CutShort);
    EXPECT_EQ(toolTipAt(item.view(), mark), "photo.jpg: cut short");

    PLRSourceImagePtr unreadable = fakePhoto(QSize(90, 60), 0, 0);
    unreadable->setFile(QStringLiteral("/nowhere/broken.jpg"), QStringLiteral("broken.jpg"), PLRFileStamp{2, 2}, PLRImageMetadata{});
    item.setImage(unreadable);
    EXPECT_EQ(toolTipAt(item.view(), mark), "broken.jpg: not a readable photo");
}

TEST(GalleryCell, AThumbnailThatArrivesForAPhotoNoLongerShownIsDropped)
{
    PLRSourceImagePtr first = fakePhoto(QSize(90, 60), 0, 0);
    PLRSourceImagePtr second = fakePhoto(QSize(60, 90), 0, 0);
    PLRGalleryViewItem item;
    item.view()->resize(100, 100);
    item.setImage(first);      // nothing cached: a spinner, and a request on its way
    EXPECT_TRUE(item.loadingPreview());
    QImage stored(60, 90, QImage::Format_RGB32);
    stored.fill(Qt::blue);
    PLRImageManager::storeMemoryPreview(second->identifier(), stored);
    item.setImage(second);     // reused for another photo before the first answer came
    EXPECT_FALSE(item.loadingPreview());
    // The first photo cannot be cached (no file): its answer (the placeholder) comes later.
    PLRImageManager::shared().waitUntilAllOperationsAreFinished();
    testing_support::drainEvents();
    EXPECT_EQ(item.previewBlob().cacheKey(), stored.cacheKey());
}

TEST(GalleryCell, NewCachedPicturesReachTheItemsStillShowingThePhotoAndNoOther)
{
    PLRSourceImagePtr photo = fakePhoto(QSize(90, 60), 0, 0);
    QImage old(90, 60, QImage::Format_RGB32);
    old.fill(Qt::red);
    PLRImageManager::storeMemoryPreview(photo->identifier(), old);
    auto gone = std::make_unique<PLRGalleryViewItem>();
    gone->setImage(photo);
    PLRGalleryViewItem live;
    live.setImage(photo);
    gone.reset();   // an item that went while the photo was being cached again

    QImage fresh(90, 60, QImage::Format_RGB32);
    fresh.fill(Qt::green);
    std::thread caching([&] { photo->finishCacheJob(true, fresh, true); });
    caching.join();
    ASSERT_TRUE(testing_support::waitUntil([&] { return live.previewBlob().cacheKey() == fresh.cacheKey(); }, 2000));
}

// On a portrait picture the stars reach the right edge: the colour label stands beside them one
// row higher instead of lying on them. Wide pictures keep it on the stars' row.
TEST(GalleryCell, TheColourLabelNeverCoversAStar)
{
    PLRGalleryViewItem item;
    item.view()->resize(100, 100);
    QImage preview(60, 90, QImage::Format_RGB32);
    preview.fill(Qt::darkGreen);
    for (const QSize size : {QSize(2988, 5312), QSize(2000, 3000), QSize(3000, 2000), QSize(100, 1000)}) {
        for (qint16 stars = 0; stars <= 5; ++stars) {
            PLRSourceImagePtr photo = fakePhoto(size, stars, 2);
            PLRImageManager::storeMemoryPreview(photo->identifier(), preview);
            item.setImage(photo);
            const auto ops = item.view()->recordDrawing();
            const auto images = opsOf(ops, DrawOperation::Kind::Image);
            const auto fills = opsOf(ops, DrawOperation::Kind::FillPath);
            ASSERT_EQ(images.size(), size_t(1 + stars));
            ASSERT_EQ(fills.size(), 1u);
            // The label with its outline (half the line's width beyond the circle).
            const QRectF label = fills[0].path.boundingRect().adjusted(-0.5, -0.5, 0.5, 0.5);
            for (size_t k = 1; k < images.size(); ++k)
                EXPECT_FALSE(label.intersects(images[k].rect)) << size.width() << "x" << size.height() << ", star " << k
                                                               << " of " << stars;
            const QRectF reference = item.view()->referenceRect();
            EXPECT_DOUBLE_EQ(fills[0].path.boundingRect().right(), reference.right() - 4) << stars;
            if (size.width() > size.height()) {
                EXPECT_DOUBLE_EQ(fills[0].path.boundingRect().top(), reference.bottom() - 11) << stars;
            }
        }
    }
}
