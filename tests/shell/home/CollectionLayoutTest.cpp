#include "shell/home/PLRCollectionViewLayout.h"

#include <gtest/gtest.h>

namespace {

QList<double> xs(const QList<PLRCollectionViewLayoutAttributes>& attributes, double y)
{
    QList<double> found;
    for (const auto& a : attributes)
        if (!a.isHeader() && a.frame.y() == y)
            found << a.frame.x();
    return found;
}

PLRCollectionViewLayoutAttributes item(qint64 index, double x, double y, double w = 100)
{
    return {0, index, QString(), QRectF(x, y, w, 100)};
}

} // namespace

TEST(GalleryViewLayout, RowsSpacedEvenlyFromTheWidestRow)
{
    PLRGalleryViewLayout layout;
    layout.setItemSize(QSizeF(100, 100));
    layout.setMinimumInteritemSpacing(10);
    layout.setMinimumLineSpacing(10);
    layout.setSectionInset(QMarginsF(10, 0, 10, 0));
    layout.prepareLayout(QSizeF(620, 400), {7});
    const auto placed = layout.layoutAttributesForElementsInRect(QRectF(0, 0, 620, 1000));
    ASSERT_EQ(placed.size(), 7);
    EXPECT_EQ(layout.currentItemWidth(), 5);
    EXPECT_EQ(xs(placed, 0), QList<double>({20, 140, 260, 380, 500}));
    EXPECT_EQ(xs(placed, 110), QList<double>({20, 140}));   // the short row keeps the spacing, from the left
}

TEST(GalleryViewLayout, LoneItemsAndHeaders)
{
    qint64 across = -1;
    // One row of one item, met first: placed at x 0.
    auto placed = PLRGalleryViewLayout::placeRows({item(0, 260, 0)}, 620, 100, &across);
    EXPECT_EQ(placed.first().frame.x(), 0);
    EXPECT_EQ(across, 1);
    // A header first at another y: the empty first row counts, so the item is centred.
    const PLRCollectionViewLayoutAttributes header{0, -1, QString::fromLatin1(kPLRCollectionElementKindSectionHeader),
                                                   QRectF(0, 0, 620, 30)};
    placed = PLRGalleryViewLayout::placeRows({header, item(0, 13, 30)}, 620, 100);
    ASSERT_EQ(placed.size(), 2);
    EXPECT_TRUE(placed[0].isHeader());
    EXPECT_EQ(placed[0].frame, header.frame);   // headers pass unchanged, first
    EXPECT_EQ(placed[1].frame.x(), 260);
    // Two rows of one item are centred too.
    placed = PLRGalleryViewLayout::placeRows({item(0, 0, 0), item(1, 0, 110)}, 620, 100);
    EXPECT_EQ(placed[0].frame.x(), 260);
    EXPECT_EQ(placed[1].frame.x(), 260);
    EXPECT_TRUE(PLRGalleryViewLayout::placeRows({}, 620, 100).isEmpty());
}

TEST(GalleryViewLayout, RowsSpacedAsFullRowsKeepTheColumnsWhateverTheCount)
{
    for (const qint64 count : {1, 2, 3, 6}) {
        PLRGalleryViewLayout layout;
        layout.setItemSize(QSizeF(100, 100));
        layout.setMinimumInteritemSpacing(10);
        layout.setMinimumLineSpacing(10);
        layout.setSectionInset(QMarginsF(10, 0, 10, 0));
        layout.setSpacesAsFullRows(true);
        layout.prepareLayout(QSizeF(620, 400), {count});
        const auto placed = layout.layoutAttributesForElementsInRect(QRectF(0, 0, 620, 1000));
        EXPECT_EQ(layout.currentItemWidth(), 5) << count;
        EXPECT_EQ(xs(placed, 0), QList<double>({20, 140, 260, 380, 500}).mid(0, std::min<qint64>(count, 5))) << count;
    }
    // Without it a short single row spreads over the width.
    EXPECT_EQ(xs(PLRGalleryViewLayout::placeRows({item(0, 10, 0), item(1, 120, 0)}, 620, 100), 0), QList<double>({140, 380}));
    EXPECT_EQ(xs(PLRGalleryViewLayout::placeRows({item(0, 10, 0), item(1, 120, 0)}, 620, 100, nullptr, 5), 0),
              QList<double>({20, 140}));
}

TEST(GalleryViewLayout, HomeGridFillsFourColumnsExactly)
{
    // The home screen's tiles: (W - 50) / 4 wide with spacing 10 and insets 10 fill the width.
    for (double width : {1050.0, 1333.0, 1917.0}) {
        PLRGalleryViewLayout layout;
        layout.setMinimumInteritemSpacing(10);
        layout.setMinimumLineSpacing(10);
        layout.setSectionInset(QMarginsF(10, 0, 10, 0));
        const double w = (width - 50) * 0.25;
        layout.setItemSize(QSizeF(w, 400));
        layout.prepareLayout(QSizeF(width, 800), {9});
        const auto placed = layout.layoutAttributesForElementsInRect(QRectF(0, 0, width, 5000));
        EXPECT_EQ(layout.currentItemWidth(), 4) << width;
        EXPECT_DOUBLE_EQ(placed[0].frame.x(), 10.0) << width;
        EXPECT_NEAR(placed[3].frame.right(), width - 10.0, 1e-9) << width;
        EXPECT_EQ(placed[4].frame.y(), 410.0);
    }
}

TEST(SideScrollLayout, OneRowCentredVertically)
{
    PLRSideScrollLayout layout;
    layout.setItemSize(QSizeF(100, 60));
    layout.setMinimumLineSpacing(10);
    layout.prepareLayout(QSizeF(200, 100), {3});
    EXPECT_EQ(layout.scrollDirection(), PLRCollectionViewFlowLayout::ScrollDirection::Horizontal);
    EXPECT_EQ(layout.collectionViewContentSize(), QSizeF(340, 100));
    const auto all = layout.layoutAttributesForElementsInRect(QRectF(0, 0, 1, 1));   // whatever the rectangle
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all[0].frame, QRectF(10, 20, 100, 60));
    EXPECT_EQ(all[1].frame.x(), 120);
    EXPECT_EQ(all[2].frame.x(), 230);
    EXPECT_TRUE(layout.shouldInvalidateLayoutForBoundsChange(QRectF(0, 0, 200, 100)));
}
