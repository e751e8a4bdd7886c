#include "panels/gallery/PLRGalleryFilterViews.h"

#include "panels/gallery/PLRGalleryImages.h"

#include <QPainterPath>

#include <cmath>

using namespace platform::ui;

namespace PLRColourLabels {

std::optional<Color> colourForRating(qint64 rating)
{
    switch (rating) {
    case 1: return Color::calibrated(0.89, 0.36, 0.36);
    case 2: return Color::calibrated(0.86, 0.86, 0.20);
    case 3: return Color::calibrated(0.35, 0.75, 0.36);
    case 4: return Color::calibrated(0.33, 0.55, 0.88);
    case 5: return Color::calibrated(0.55, 0.38, 0.89);
    case 6: return Color::white();
    case 7: return Color::calibrated(0.45, 0.45, 0.45);
    default: return std::nullopt;
    }
}

qint64 bitForRating(qint64 rating)
{
    return (rating >= 1 && rating <= 7) ? (qint64(1) << (rating - 1)) : 0;
}

} // namespace PLRColourLabels

namespace {
// The dots in hit-test order with their bits.
constexpr qint64 kDotTypes[7] = {PLRColourFilterView::kRed, PLRColourFilterView::kYellow, PLRColourFilterView::kGreen,
                                 PLRColourFilterView::kBlue, PLRColourFilterView::kPurple, PLRColourFilterView::kWhite,
                                 PLRColourFilterView::kGrey};

QPainterPath ovalIn(const QRectF& rect)
{
    QPainterPath path;
    path.addEllipse(rect);
    return path;
}
} // namespace

// ---------------------------------------------------------------- colour filter

PLRColourFilterView::PLRColourFilterView(QWidget* parent) : View(parent)
{
    resize(sizeHint());
    layout();
}

void PLRColourFilterView::layout()
{
    const double y = bounds().height() / 2.0;
    for (int i = 0; i < 7; ++i)
        m_positions[i] = QPointF(26.0 + 16.0 * i, y);
}

QPointF PLRColourFilterView::positionForType(qint64 type) const
{
    for (int i = 0; i < 7; ++i)
        if (kDotTypes[i] == type)
            return m_positions[i];
    return m_positions[0];
}

bool PLRColourFilterView::isPointInCircleAtPoint(const QPointF& point, const QPointF& centre)
{
    const float dx = float(point.x()) - float(centre.x());
    const float dy = float(point.y()) - float(centre.y());
    return std::sqrt(dx * dx + dy * dy) <= float(kHitRadius);
}

qint64 PLRColourFilterView::typeUnderPoint(const QPointF& point) const
{
    for (int i = 0; i < 7; ++i)
        if (isPointInCircleAtPoint(point, m_positions[i]))
            return kDotTypes[i];
    return 0;
}

void PLRColourFilterView::clearFilter()
{
    m_selection = 0;
    update();
}

void PLRColourFilterView::updateTrackingAreas()
{
    if (m_trackingArea)
        return;
    m_trackingArea = addTrackingArea(bounds(), TrackingMouseMoved | TrackingActiveAlways | TrackingInVisibleRect);
}

void PLRColourFilterView::mouseMoved(const MouseEvent& event)
{
    m_hover = typeUnderPoint(event.locationIn(this));
    update();
}

void PLRColourFilterView::mouseDown(const MouseEvent& event)
{
    const qint64 type = typeUnderPoint(event.locationIn(this));
    if (type != 0)
        m_selection = (m_selection & type) ? (m_selection & ~type) : (m_selection | type);
    if (m_delegate)
        m_delegate->colourFilterSetFilterType(this, m_selection);
    update();
}

void PLRColourFilterView::drawDotForType(GraphicsContext& context, qint64 type, const QPointF& centre)
{
    if ((m_selection & type) || type == m_hover)
        context.strokePath(ovalIn(QRectF(centre.x() - 7.0, centre.y() - 7.0, 14.0, 14.0)), Color::black(), 1.0);
    qint64 rating = 1;
    while (PLRColourLabels::bitForRating(rating) != type && rating < 7)
        ++rating;
    const Color fill = PLRColourLabels::colourForRating(rating).value_or(Color::clear());
    context.fillPath(ovalIn(QRectF(centre.x() - 5.0, centre.y() - 5.0, 10.0, 10.0)), fill);
    if (type == kWhite)   // a white dot needs an edge to be seen on the menu's background
        context.strokePath(ovalIn(QRectF(centre.x() - 5.0, centre.y() - 5.0, 10.0, 10.0)), Color::black(0.25), 0.5);
}

void PLRColourFilterView::drawRect(GraphicsContext& context, const QRectF&)
{
    for (int i = 0; i < 7; ++i)
        drawDotForType(context, kDotTypes[i], m_positions[i]);
}

// ---------------------------------------------------------------- star filter

PLRStarFilterView::PLRStarFilterView(QWidget* parent) : View(parent)
{
    resize(sizeHint());
}

QRectF PLRStarFilterView::rectForComparatorButton() const
{
    return QRectF(21.0, (bounds().height() - 13.0) / 2.0, 13.0, 13.0);
}

QRectF PLRStarFilterView::rectForStar(qint64 k) const
{
    const QRectF comparator = rectForComparatorButton();
    return QRectF(comparator.right() + 6.0 * double(k) + 13.0 * double(k - 1), comparator.y(), 13.0, 13.0);
}

QString PLRStarFilterView::comparatorImageName(qint64 comparator)
{
    if (comparator == 0)
        return QStringLiteral("Equal");
    if (comparator == -1)
        return QStringLiteral("less-than");
    return QStringLiteral("greater-than");
}

void PLRStarFilterView::clearFilter()
{
    m_selection = 0;
    update();
}

void PLRStarFilterView::updateTrackingAreas()
{
    if (m_trackingArea)
        return;
    m_trackingArea = addTrackingArea(bounds(), TrackingMouseMoved | TrackingActiveAlways | TrackingInVisibleRect);
}

void PLRStarFilterView::mouseMoved(const MouseEvent& event)
{
    const QPointF point = event.locationIn(this);
    m_highlight = 0;
    for (qint64 k = 1; k <= 5; ++k) {
        if (rectForStar(k).contains(point)) {
            m_highlight = k;
            break;
        }
    }
    update();
}

void PLRStarFilterView::mouseDown(const MouseEvent& event)
{
    const QPointF point = event.locationIn(this);
    if (rectForComparatorButton().contains(point)) {
        m_comparator = m_comparator == 0 ? -1 : (m_comparator == -1 ? 1 : 0);
        if (m_delegate)
            m_delegate->starFilterSetComparatorValue(this, m_comparator);
    } else {
        qint64 hit = 0;
        for (qint64 k = 1; k <= 5; ++k) {
            if (rectForStar(k).contains(point)) {
                hit = k;
                break;
            }
        }
        m_selection = (hit != 0 && hit != m_selection) ? hit : 0;
        if (m_delegate)
            m_delegate->starFilterSetFilterSelection(this, m_selection);
    }
    update();
}

void PLRStarFilterView::drawRect(GraphicsContext& context, const QRectF&)
{
    context.drawImage(PLRGalleryImages::named(comparatorImageName(m_comparator)), rectForComparatorButton());
    const QImage selected = PLRGalleryImages::named(QStringLiteral("star-selected"));
    const QImage deselected = PLRGalleryImages::named(QStringLiteral("star-deselected"));
    for (qint64 k = 1; k <= 5; ++k) {
        if (m_selection >= k)
            context.drawImage(selected, rectForStar(k));
        else if (m_highlight >= k)
            context.drawImage(selected, rectForStar(k), {}, QPainter::CompositionMode_SourceOver, 0.6);
        else
            context.drawImage(deselected, rectForStar(k));
    }
}
