#pragma once

#include "store/model/PLRLayoutDocument.h"

#include <QImage>
#include <QList>
#include <QPointer>
#include <QRectF>
#include <QWidget>

class PLRBlockView;
class PLRLayoutManager;
class PLRLayoutViewProxy;
class PLRSectionView;

// The view of a whole layout at one width: the views of its sections stacked from the top
// (the layout's padding between sections that have blocks), over the layout's background
// colour. It works without a window: build it through a layout-view proxy at any width,
// ensureSectionLayout(), and paint it into any QPainter (displayRectIgnoringOpacity) or an
// image (renderImage) — for exports, the post preview and drag images. The live canvas shows
// the same view in a scroll view.
//
// Layout is lazy: changes mark the view, which lays itself out on the next event-loop turn,
// before painting, or when asked (ensureSectionLayout, layoutSubtreeIfNeeded).
class PLRLayoutView : public QWidget {
    Q_OBJECT
public:
    // A new layout view for the proxy, without a parent widget (the proxy owns it until it is
    // given one).
    static PLRLayoutView* viewWithLayoutViewProxy(PLRLayoutViewProxy* proxy);
    explicit PLRLayoutView(PLRLayoutViewProxy* proxy, QWidget* parent = nullptr);
    ~PLRLayoutView() override;

    PLRLayoutViewProxy* layoutViewProxy() const;
    PLRLayoutManager* layoutManager() const;
    // The layout shown (the proxy's); null once the proxy is gone.
    PLRLayout* representedLayout() const;

    double layoutWidth() const { return m_width; }
    void setLayoutWidth(double width);

    // Builds the section views for the layout as it stands and lays them out; afterwards
    // every block view has its frame at the current width.
    void ensureSectionLayout();
    // Removes every section view and builds them again from the layout.
    void reloadLayout();
    // Marks every section for a new layout (the layout changed in place).
    void updateConstraints();
    // Lays out what is marked, now.
    void layoutSubtreeIfNeeded();
    void setNeedsLayout();
    bool needsLayout() const { return m_needsLayout; }
    // Makes and drops section views so there is one per section of the layout, in order
    // (without laying them out).
    void ensureSectionViews();

    QRectF bounds() const { return QRectF(0, 0, m_width, m_height); }
    const QList<PLRSectionView*>& sectionViews() const { return m_sectionViews; }
    PLRSectionView* sectionViewForSection(const PLRSection* section) const;
    // The view of a block of any section; null when there is none.
    PLRBlockView* blockViewForBlock(const PLRBlock* block) const;
    // The union of the old and new frames of the blocks that moved in the last layout, and of
    // the strip that the layout's change of height uncovered or covered.
    QRectF lastChangedRect() const { return m_lastChangedRect; }

    // Paints the part `rect` (view coordinates) of the layout — background colour, then every
    // block — into the painter, whose coordinates are the view's own.
    void displayRectIgnoringOpacity(const QRectF& rect, QPainter* painter);
    // The whole layout drawn into an image `width` pixels wide (0: the view's own width),
    // scaled evenly; null when the layout has no size.
    QImage renderImage(double width = 0.0);

    // The photo changed: its blocks are laid out and drawn again.
    void imageDidChange(const QString& identifier);
    // The proxy is going while the view stays (owned by a parent widget): drop the sections.
    void detachFromProxy();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<PLRLayoutViewProxy> m_proxy;
    QList<PLRSectionView*> m_sectionViews;
    double m_width = 0.0;
    double m_height = 0.0;
    QRectF m_lastChangedRect;
    bool m_needsLayout = true;
    bool m_needsSectionSync = true;
    bool m_layoutScheduled = false;
    bool m_inLayout = false;
};
