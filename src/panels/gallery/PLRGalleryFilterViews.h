#pragma once

// The two drawn filter controls of the gallery's sort and filter menu: seven colour-label dots
// and five stars with a comparator button.

#include "platform-ui/Color.h"
#include "platform-ui/View.h"

#include <QPointer>

#include <optional>

class PLRColourFilterView;
class PLRStarFilterView;

// Colour labels of photos: rating 1..7 and their filter bits 1, 2, 4, ..., 64.
namespace PLRColourLabels {
// The colour of a label rating; none for 0 and for ratings outside 1..7.
std::optional<platform::ui::Color> colourForRating(qint64 rating);
// The filter bit of a rating (2^(rating-1)); 0 outside 1..7.
qint64 bitForRating(qint64 rating);
}

class PLRColourFilterDelegate {
public:
    virtual ~PLRColourFilterDelegate() = default;
    // The whole mask after a click.
    virtual void colourFilterSetFilterType(PLRColourFilterView*, qint64) {}
};

class PLRStarFilterDelegate {
public:
    virtual ~PLRStarFilterDelegate() = default;
    virtual void starFilterSetFilterSelection(PLRStarFilterView*, qint64) {}
    virtual void starFilterSetComparatorValue(PLRStarFilterView*, qint64) {}
};

// Seven dots, one per colour label; a click toggles the dot's bit in the selection.
class PLRColourFilterView : public platform::ui::View {
    Q_OBJECT
public:
    static constexpr qint64 kRed = 1, kYellow = 2, kGreen = 4, kBlue = 8, kPurple = 16, kWhite = 32, kGrey = 64;
    static constexpr double kHitRadius = 5.0;

    explicit PLRColourFilterView(QWidget* parent = nullptr);
    bool isFlipped() const override { return true; }

    PLRColourFilterDelegate* delegate() const { return m_delegate; }
    void setDelegate(PLRColourFilterDelegate* delegate) { m_delegate = delegate; }
    qint64 currentFilterSelection() const { return m_selection; }
    void setCurrentFilterSelection(qint64 selection) { m_selection = selection; update(); }
    qint64 currentHoverType() const { return m_hover; }

    // Places the dot centres from the bounds.
    void layout();
    QPointF redPos() const { return m_positions[0]; }
    QPointF yellowPos() const { return m_positions[1]; }
    QPointF greenPos() const { return m_positions[2]; }
    QPointF bluePos() const { return m_positions[3]; }
    QPointF purplePos() const { return m_positions[4]; }
    QPointF whitePos() const { return m_positions[5]; }
    QPointF greyPos() const { return m_positions[6]; }
    // The centre of the dot of a bit (the red centre for an unknown bit).
    QPointF positionForType(qint64 type) const;

    // The bit of the first dot (red to grey) within 5 points of the point, or 0.
    qint64 typeUnderPoint(const QPointF& point) const;
    static bool isPointInCircleAtPoint(const QPointF& point, const QPointF& centre);

    // Selection 0 and redraw; the delegate is not told.
    void clearFilter();

    void updateTrackingAreas() override;
    void mouseMoved(const platform::ui::MouseEvent& event) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    void drawDotForType(platform::ui::GraphicsContext& context, qint64 type, const QPointF& centre);
    QSize sizeHint() const override { return QSize(150, 24); }

protected:
    void layoutSubviews() override { layout(); }

private:
    PLRColourFilterDelegate* m_delegate = nullptr;
    qint64 m_selection = 0;
    qint64 m_hover = 0;
    QPointF m_positions[7];
    platform::ui::TrackingArea* m_trackingArea = nullptr;
};

// A comparator button (at least, exactly, at most) and five stars.
class PLRStarFilterView : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRStarFilterView(QWidget* parent = nullptr);

    PLRStarFilterDelegate* delegate() const { return m_delegate; }
    void setDelegate(PLRStarFilterDelegate* delegate) { m_delegate = delegate; }
    // 0 = no star filter, else 1..5.
    qint64 currentFilterSelection() const { return m_selection; }
    void setCurrentFilterSelection(qint64 selection) { m_selection = selection; update(); }
    // 1 at least, 0 exactly, -1 at most.
    qint64 currentComparator() const { return m_comparator; }
    void setCurrentComparator(qint64 comparator) { m_comparator = comparator; update(); }
    qint64 currentHighlight() const { return m_highlight; }

    QRectF rectForComparatorButton() const;
    // k = 1..5.
    QRectF rectForStar(qint64 k) const;
    // The image name of the comparator: "Equal", "less-than" or "greater-than".
    static QString comparatorImageName(qint64 comparator);

    // Selection 0 and redraw; the comparator stays; the delegate is not told.
    void clearFilter();

    void updateTrackingAreas() override;
    void mouseMoved(const platform::ui::MouseEvent& event) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    QSize sizeHint() const override { return QSize(150, 24); }

private:
    PLRStarFilterDelegate* m_delegate = nullptr;
    qint64 m_selection = 0;
    qint64 m_comparator = 1;
    qint64 m_highlight = 0;
    platform::ui::TrackingArea* m_trackingArea = nullptr;
};
