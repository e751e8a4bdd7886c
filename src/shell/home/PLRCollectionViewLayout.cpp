#include "shell/home/PLRCollectionViewLayout.h"

#include <algorithm>
#include <cmath>

namespace {
// Widths that fit exactly (four tiles of (W - 50) / 4 with their spacing) must not lose a
// column to rounding.
constexpr double kFitTolerance = 1e-6;

bool meets(const QRectF& a, const QRectF& b)
{
    return a.left() <= b.right() && b.left() <= a.right() && a.top() <= b.bottom() && b.top() <= a.bottom();
}
} // namespace

qint64 PLRCollectionViewFlowLayout::itemsPerRow(double available, double itemWidth, double spacing)
{
    if (itemWidth <= 0.0)
        return 1;
    const double fit = (available + spacing) / (itemWidth + spacing);
    return std::max<qint64>(1, qint64(std::floor(fit + kFitTolerance)));
}

void PLRCollectionViewFlowLayout::prepareLayout(const QSizeF& collectionSize, const QList<qint64>& itemCounts)
{
    m_collectionSize = collectionSize;
    m_itemCounts = itemCounts;
    computeFlow();
}

void PLRCollectionViewFlowLayout::computeFlow()
{
    m_flow.clear();
    const double width = m_collectionSize.width();
    const double w = m_itemSize.width();
    const double h = m_itemSize.height();
    const double available = width - m_sectionInset.left() - m_sectionInset.right();
    const qint64 perRow = itemsPerRow(available, w, m_interitemSpacing);
    double y = 0.0;
    for (qint64 section = 0; section < m_itemCounts.size(); ++section) {
        const qint64 count = std::max<qint64>(0, m_itemCounts[section]);
        if (m_headerReferenceSize.height() > 0.0) {
            m_flow.append({section, -1, QString::fromLatin1(kPLRCollectionElementKindSectionHeader),
                           QRectF(0, y, width, m_headerReferenceSize.height())});
            y += m_headerReferenceSize.height();
        }
        y += m_sectionInset.top();
        const qint64 rows = count == 0 ? 0 : (count + perRow - 1) / perRow;
        for (qint64 row = 0; row < rows; ++row) {
            const qint64 first = row * perRow;
            const qint64 inRow = std::min(perRow, count - first);
            // Full rows are justified; a lone item is centred; a shorter last row keeps the
            // minimum spacing from the left.
            double gap = m_interitemSpacing;
            double x = m_sectionInset.left();
            if (inRow == perRow && inRow > 1)
                gap = (available - double(inRow) * w) / double(inRow - 1);
            else if (inRow == 1 && perRow == 1)
                x = m_sectionInset.left() + (available - w) * 0.5;
            for (qint64 i = 0; i < inRow; ++i) {
                m_flow.append({section, first + i, QString(), QRectF(x, y, w, h)});
                x += w + gap;
            }
            y += h;
            if (row + 1 < rows)
                y += m_lineSpacing;
        }
        y += m_sectionInset.bottom();
    }
    m_contentSize = QSizeF(width, y);
}

QSizeF PLRCollectionViewFlowLayout::collectionViewContentSize() const
{
    return m_contentSize;
}

QList<PLRCollectionViewLayoutAttributes> PLRCollectionViewFlowLayout::flowAttributesInRect(const QRectF& rect) const
{
    QList<PLRCollectionViewLayoutAttributes> found;
    for (const PLRCollectionViewLayoutAttributes& attributes : m_flow)
        if (meets(attributes.frame, rect))
            found.append(attributes);
    return found;
}

QList<PLRCollectionViewLayoutAttributes> PLRCollectionViewFlowLayout::layoutAttributesForElementsInRect(const QRectF& rect) const
{
    return flowAttributesInRect(rect);
}

PLRCollectionViewLayoutAttributes PLRCollectionViewFlowLayout::layoutAttributesForItem(qint64 section, qint64 item) const
{
    for (const PLRCollectionViewLayoutAttributes& attributes : m_flow)
        if (attributes.section == section && attributes.item == item && !attributes.isHeader())
            return attributes;
    return {section, item, QString(), QRectF()};
}

bool PLRCollectionViewFlowLayout::shouldInvalidateLayoutForBoundsChange(const QRectF& newBounds) const
{
    return newBounds.width() != m_collectionSize.width();
}

// --- Row placement ----------------------------------------------------------------------------

QList<PLRCollectionViewLayoutAttributes> PLRGalleryViewLayout::placeRows(const QList<PLRCollectionViewLayoutAttributes>& flow,
                                                                        double collectionWidth, double itemWidth,
                                                                        qint64* imagesAcross, qint64 columns)
{
    if (flow.isEmpty())
        return flow;
    QList<PLRCollectionViewLayoutAttributes> headers;
    QList<QList<PLRCollectionViewLayoutAttributes>> rows(1);
    double y0 = flow.first().frame.y();
    qint64 widest = 0;
    for (const PLRCollectionViewLayoutAttributes& original : flow) {
        PLRCollectionViewLayoutAttributes copy = original;
        if (copy.isHeader()) {
            headers.append(copy);
            continue;
        }
        if (copy.frame.y() != y0) {
            widest = std::max<qint64>(widest, rows.last().size());
            rows.append(QList<PLRCollectionViewLayoutAttributes>());
            y0 = copy.frame.y();
        }
        rows.last().append(copy);
    }
    widest = std::max<qint64>({widest, qint64(rows.last().size()), columns});
    if (imagesAcross)
        *imagesAcross = widest;

    const double gap = (rows.size() == 1 && widest == 1) ? 0.0
                                                         : (collectionWidth - double(widest) * itemWidth) / double(widest + 1);
    QList<PLRCollectionViewLayoutAttributes> placed = headers;
    for (QList<PLRCollectionViewLayoutAttributes>& row : rows) {
        double x = gap;
        for (PLRCollectionViewLayoutAttributes& attributes : row) {
            attributes.frame.moveLeft(x);
            x += itemWidth + gap;
            placed.append(attributes);
        }
    }
    return placed;
}

QList<PLRCollectionViewLayoutAttributes> PLRGalleryViewLayout::layoutAttributesForElementsInRect(const QRectF& rect) const
{
    const double available = collectionSize().width() - sectionInset().left() - sectionInset().right();
    const qint64 columns = m_spacesAsFullRows ? itemsPerRow(available, itemSize().width(), minimumInteritemSpacing()) : 0;
    return placeRows(flowAttributesInRect(rect), collectionSize().width(), itemSize().width(), &m_imagesAcross, columns);
}

PLRCollectionViewLayoutAttributes PLRGalleryViewLayout::layoutAttributesForItem(qint64 section, qint64 item) const
{
    // The flow layout's own answer, unchanged.
    return PLRCollectionViewFlowLayout::layoutAttributesForItem(section, item);
}

// --- One sideways row -------------------------------------------------------------------------

void PLRSideScrollLayout::prepareLayout(const QSizeF& collectionSize, const QList<qint64>& itemCounts)
{
    PLRCollectionViewFlowLayout::prepareLayout(collectionSize, itemCounts);
    setScrollDirection(ScrollDirection::Horizontal);
}

QSizeF PLRSideScrollLayout::collectionViewContentSize() const
{
    const qint64 n = itemCounts().isEmpty() ? 0 : itemCounts().first();
    const double width = itemSize().width() * double(n) + minimumLineSpacing() * double(n + 1);
    return QSizeF(width, collectionSize().height());
}

PLRCollectionViewLayoutAttributes PLRSideScrollLayout::layoutAttributesForItem(qint64 section, qint64 item) const
{
    const double spacing = minimumLineSpacing();
    const QSizeF size = itemSize();
    const double x = spacing * double(item + 1) + size.width() * double(item);
    const double y = (collectionSize().height() - size.height()) * 0.5;
    return {section, item, QString(), QRectF(QPointF(x, y), size)};
}

QList<PLRCollectionViewLayoutAttributes> PLRSideScrollLayout::layoutAttributesForElementsInRect(const QRectF&) const
{
    QList<PLRCollectionViewLayoutAttributes> all;
    const qint64 n = itemCounts().isEmpty() ? 0 : itemCounts().first();
    for (qint64 i = 0; i < n; ++i)
        all.append(layoutAttributesForItem(0, i));
    return all;
}
