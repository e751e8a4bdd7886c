#pragma once

// Layouts of the collection views of the shell and the post panels: a flow layout of fixed-size
// items in rows (or one sideways row), the row layout that spaces every row evenly from the
// widest row (the gallery's thumbnails and the home screen's posts), and a single-row sideways
// layout. Coordinates are the collection's document coordinates: origin top left, y down.

#include <QList>
#include <QMarginsF>
#include <QRectF>
#include <QSizeF>
#include <QString>

// The section-header element kind.
inline constexpr const char* kPLRCollectionElementKindSectionHeader = "UICollectionElementKindSectionHeader";

// Where one element (an item or a section header) of a collection lies.
struct PLRCollectionViewLayoutAttributes {
    qint64 section = 0;
    qint64 item = 0;              // -1 for a header
    QString representedElementKind; // empty for items
    QRectF frame;

    bool isHeader() const { return representedElementKind == QLatin1String(kPLRCollectionElementKindSectionHeader); }
    bool operator==(const PLRCollectionViewLayoutAttributes&) const = default;
};

// A flow layout: per section an optional header of the header reference height
// across the whole width, then the items in rows of as many as fit between the section insets
// with at least the inter-item spacing, rows `minimumLineSpacing` apart. Items of a row are
// spread over the row (full justification; a last shorter row keeps the
// spacing of a full one).
class PLRCollectionViewFlowLayout {
public:
    enum class ScrollDirection { Vertical, Horizontal };

    virtual ~PLRCollectionViewFlowLayout() = default;

    QSizeF itemSize() const { return m_itemSize; }
    void setItemSize(const QSizeF& size) { m_itemSize = size; }
    double minimumInteritemSpacing() const { return m_interitemSpacing; }
    void setMinimumInteritemSpacing(double spacing) { m_interitemSpacing = spacing; }
    double minimumLineSpacing() const { return m_lineSpacing; }
    void setMinimumLineSpacing(double spacing) { m_lineSpacing = spacing; }
    // top, left, bottom, right.
    QMarginsF sectionInset() const { return m_sectionInset; }
    void setSectionInset(const QMarginsF& inset) { m_sectionInset = inset; }
    QSizeF headerReferenceSize() const { return m_headerReferenceSize; }
    void setHeaderReferenceSize(const QSizeF& size) { m_headerReferenceSize = size; }
    ScrollDirection scrollDirection() const { return m_scrollDirection; }
    void setScrollDirection(ScrollDirection direction) { m_scrollDirection = direction; }

    // The collection's visible size and the item count of every section; call before asking
    // for attributes (the collection view does it whenever either changes).
    virtual void prepareLayout(const QSizeF& collectionSize, const QList<qint64>& itemCounts);
    QSizeF collectionSize() const { return m_collectionSize; }
    const QList<qint64>& itemCounts() const { return m_itemCounts; }

    virtual QSizeF collectionViewContentSize() const;
    // Every element whose frame meets the rectangle, headers and items in order.
    virtual QList<PLRCollectionViewLayoutAttributes> layoutAttributesForElementsInRect(const QRectF& rect) const;
    virtual PLRCollectionViewLayoutAttributes layoutAttributesForItem(qint64 section, qint64 item) const;
    // Whether a change of the collection's bounds lays the collection out again.
    virtual bool shouldInvalidateLayoutForBoundsChange(const QRectF& newBounds) const;

    // How many items of the width fit in a row of the available width with the spacing.
    static qint64 itemsPerRow(double available, double itemWidth, double spacing);

protected:
    // The flow layout's own answer, before a subclass rearranges it.
    QList<PLRCollectionViewLayoutAttributes> flowAttributesInRect(const QRectF& rect) const;

private:
    void computeFlow();
    QSizeF m_itemSize{50, 50};
    double m_interitemSpacing = 10.0;
    double m_lineSpacing = 10.0;
    QMarginsF m_sectionInset;
    QSizeF m_headerReferenceSize;
    ScrollDirection m_scrollDirection = ScrollDirection::Vertical;
    QSizeF m_collectionSize;
    QList<qint64> m_itemCounts;
    QList<PLRCollectionViewLayoutAttributes> m_flow;
    QSizeF m_contentSize;
};

// Rows of fixed-size items spaced evenly, the spacing taken from the widest row; rows are
// recognised by equal y, headers pass unchanged, shorter rows are left-aligned with the same
// spacing. Shared by the gallery of a post and the home screen's grid of posts.
class PLRGalleryViewLayout : public PLRCollectionViewFlowLayout {
public:
    // The placement itself, a pure function of the flow attributes (in order), the collection's
    // width and the item width. `imagesAcross` receives the length of the widest row. With
    // `columns`, rows are spaced as a row of that many items at least would be.
    static QList<PLRCollectionViewLayoutAttributes> placeRows(const QList<PLRCollectionViewLayoutAttributes>& flow,
                                                             double collectionWidth, double itemWidth,
                                                             qint64* imagesAcross = nullptr, qint64 columns = 0);

    // Spaces every row as a full row (as many items as the width holds) is spaced, also when
    // fewer items are shown than fill one: a grid keeps its spacing and columns whatever its
    // count (the home screen's tiles, with or without the new-post tile, while searching).
    bool spacesAsFullRows() const { return m_spacesAsFullRows; }
    void setSpacesAsFullRows(bool full) { m_spacesAsFullRows = full; }

    QList<PLRCollectionViewLayoutAttributes> layoutAttributesForElementsInRect(const QRectF& rect) const override;
    PLRCollectionViewLayoutAttributes layoutAttributesForItem(qint64 section, qint64 item) const override;
    // The number of columns of the last layout pass (0 before the first).
    qint64 currentItemWidth() const { return m_imagesAcross; }

private:
    mutable qint64 m_imagesAcross = 0;
    bool m_spacesAsFullRows = false;
};

// One row of items scrolling sideways, centred vertically.
class PLRSideScrollLayout : public PLRCollectionViewFlowLayout {
public:
    void prepareLayout(const QSizeF& collectionSize, const QList<qint64>& itemCounts) override;
    QSizeF collectionViewContentSize() const override;
    QList<PLRCollectionViewLayoutAttributes> layoutAttributesForElementsInRect(const QRectF& rect) const override;
    PLRCollectionViewLayoutAttributes layoutAttributesForItem(qint64 section, qint64 item) const override;
    bool shouldInvalidateLayoutForBoundsChange(const QRectF&) const override { return true; }
};
