#pragma once

#include <QPointer>
#include <QRectF>
#include <QWidget>

class PLRLayoutInteractionView;
class PLRLayoutView;
class PLRLayoutViewProxy;

// The document view of the canvas's scroll view: the layout drawn as a page at the canvas's
// magnification, with a margin around it, on the canvas's desk colour. It paints the layout
// view's drawing itself (the layout view stays off screen as the model of frames and drawing),
// and carries the interaction overlay over its whole area.
class PLRLayoutDocumentView : public QWidget {
    Q_OBJECT
public:
    // Margin beside the page, in view pixels.
    static constexpr double kMargin = 24.0;
    // Margin above and below the page, in view pixels: a band where a drop goes above the first
    // row or below the last one, as easy to hit as a block's edge.
    static constexpr double kEndMargin = 56.0;
    // Height of the page of a layout without blocks, in layout points.
    static constexpr double kEmptyPageHeight = 600.0;

    explicit PLRLayoutDocumentView(QWidget* parent = nullptr);
    ~PLRLayoutDocumentView() override;

    void setLayoutViewProxy(PLRLayoutViewProxy* proxy);
    PLRLayoutViewProxy* layoutViewProxy() const;
    PLRLayoutView* layoutView() const;
    PLRLayoutInteractionView* interactionView() const { return m_interactionView; }

    double magnification() const { return m_magnification; }
    void setMagnification(double magnification);

    // The page (the layout's bounds, at least the empty page's height) in layout points.
    QRectF pageRectInLayout() const;
    QPointF pageOrigin() const { return QPointF(kMargin, kEndMargin); }
    QPointF layoutPointFromView(const QPointF& point) const;
    QPointF viewPointFromLayout(const QPointF& point) const;
    QRectF viewRectFromLayout(const QRectF& rect) const;

    // The size the view needs: the page at the magnification plus margins, at least the
    // visible area's height (so the whole visible canvas takes drops).
    QSize contentSize() const;
    // Sizes the view for the visible area (the scroll view's viewport).
    void updateSize(const QSize& visibleSize);
    QSize visibleSize() const { return m_visibleSize; }

    void setPageAlpha(double alpha);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPointer<PLRLayoutViewProxy> m_proxy;
    PLRLayoutInteractionView* m_interactionView = nullptr;
    QSize m_visibleSize;
    double m_magnification = 1.0;
    double m_alpha = 1.0;
};
