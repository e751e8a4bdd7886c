#pragma once

#include "canvas/interaction/PLRVisualStateHandler.h"

#include <QObject>
#include <QPointer>
#include <QScrollArea>

#include <functional>
#include <memory>
#include <optional>

class PLRLayoutDocumentView;
class PLRLayoutInteractionView;
class PLRLayoutManager;
class PLRLayoutViewProxy;
class PLRPostManager;

namespace platform {
class UndoManager;
}

// The scroll view of the canvas: tells its owner of size changes, of zoom gestures (Control +
// wheel, pinch), which it does not scroll for, and of presses on the desk beside the page where
// the page is narrower than the view. It is a Tab stop of its own (the arrows and page keys
// scroll the page) and shows the focus ring along its edges while it has the keyboard.
class PLRLayoutScrollView : public QScrollArea {
    Q_OBJECT
public:
    explicit PLRLayoutScrollView(QWidget* parent = nullptr);
    // factor: how much to magnify; anchor: the point to keep still (viewport coordinates).
    std::function<void(double factor, const QPointF& anchor)> onZoomGesture;
    std::function<void()> onResize;
    // A press on the view outside the page's document view (viewport coordinates).
    std::function<void(const QPointF& point, Qt::KeyboardModifiers modifiers)> onDeskPress;
    bool isShowingFocusRing() const;

protected:
    bool viewportEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void refreshFocusRing();
    QWidget* m_focusRing = nullptr;
};

// The canvas of one post: its layout as a page in a scroll view with magnification, under the
// interaction overlay that edits it. The post view puts widget() in its middle pane and hands
// over the post manager.
//
// The canvas is a visual-state delegate while it is shown (it joins when its widget is shown
// and leaves when hidden), so only a visible canvas sets or answers the zoom: it applies the
// shared zoom factor as its magnification, answers the factor that fits, and
// tells the shared state when its own magnification changes (zoom gestures, setZoom).
//
// Edits are recorded on the post's undo manager: platform::UndoManager::forOwner(postManager),
// one per open post, shared with the post's panels.
class PLRLayoutViewController : public QObject, public PLRVisualStateHandlerDelegate {
    Q_OBJECT
    Q_PROPERTY(double magnification READ magnification NOTIFY magnificationChanged)
public:
    // The width the canvas lays the layout out at, in points.
    static constexpr double kCanvasLayoutWidth = 1000.0;
    // The fitting factor leaves this much width (in points) around the layout.
    // The magnification the canvas shows is kept within these bounds; gestures within the
    // zoom steps' bounds.
    static constexpr double kMinimumMagnification = 0.01;
    static constexpr double kMaximumMagnification = 10.0;
    static constexpr double kGestureMinimum = 0.1;
    static constexpr double kGestureMaximum = 4.0;
    static constexpr double kZoomAnimationDuration = 0.25;
    static constexpr double kEntranceDelay = 0.5;
    static constexpr double kEntranceFadeDuration = 0.3;

    explicit PLRLayoutViewController(QObject* parent = nullptr);
    ~PLRLayoutViewController() override;

    // The canvas widget, owned by the controller (it goes with the controller wherever it was
    // placed).
    QWidget* widget() const;

    // Builds the canvas for the post manager's layout (null, or a post without a layout
    // manager, shows an empty canvas that takes no drops). The post manager is not owned.
    void setPostManager(PLRPostManager* postManager);
    PLRPostManager* postManager() const;
    PLRLayoutManager* layoutManager() const;
    PLRLayoutViewProxy* layoutViewProxy() const;
    platform::UndoManager* undoManager() const;

    QScrollArea* scrollView() const;
    PLRLayoutDocumentView* documentView() const;
    PLRLayoutInteractionView* interactionView() const;

    // --- Zoom -------------------------------------------------------------------------------
    double magnification() const { return m_magnification; }
    // 0: zoom to fit (animated); otherwise magnification = percent / 100. Negative: ignored.
    void setZoom(qint64 percent);
    // The factor at which the page, with the desk's margins on either side, fills the width
    // the canvas shows (a vertical scroll bar's room kept free); 0 when it cannot be told (no
    // layout, no width).
    double zoomFactorToFit() const;
    bool isZoomAnimating() const;
    // Factors snapped to hundredths (a zoom gesture lands on whole percents).
    static double snappedZoomFactor(double factor);

    // --- Entrance -------------------------------------------------------------------------------
    // Makes the canvas fully transparent before the entrance.
    void ensureEntrancePostion();
    // Zooms to fit (not animated), then after 0.5 s fades the canvas in.
    void performEntrance();
    double canvasAlpha() const { return m_alpha; }

    // --- Visual state -----------------------------------------------------------------------
    bool isVisualDelegate() const { return m_joined; }
    void visualStateHandlerSetLayoutZoomFactor(PLRVisualStateHandler* handler, double factor) override;
    std::optional<double> layoutZoomFactorToFitForVisualStateHandler(PLRVisualStateHandler* handler) override;

signals:
    void magnificationChanged(double magnification);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class ClockAnimation;

    void tearDown();
    void joinVisualState();
    void leaveVisualState();
    // Shows the magnification, keeping `anchor` (viewport coordinates; the viewport's centre
    // when null) over the same layout point; tells the shared state when asked to.
    void applyMagnification(double magnification, std::optional<QPointF> anchor, bool tellVisualState);
    void animateMagnification(double target);
    void setCanvasAlpha(double alpha);
    void userZoom(double factor, const QPointF& anchor);
    void scrollToRect(const QRectF& viewRect);

    QPointer<PLRLayoutScrollView> m_scrollView;
    // The same object as the event filter sees it: events still reach the filter while the
    // scroll view is being destroyed, when it is no longer a PLRLayoutScrollView.
    QPointer<QObject> m_watchedScrollView;
    QPointer<PLRLayoutDocumentView> m_documentView;
    QPointer<PLRPostManager> m_postManager;
    QPointer<PLRLayoutManager> m_layoutManager;
    PLRLayoutViewProxy* m_proxy = nullptr;
    QPointer<platform::UndoManager> m_undoManager;
    QMetaObject::Connection m_managerGone;
    double m_magnification = 1.0;
    double m_alpha = 1.0;
    bool m_joined = false;
    double m_lastFitZoom = 0.0;   // the zoom that fitted the width at the last size
    std::unique_ptr<ClockAnimation> m_zoomAnimation;
    double m_zoomTarget = 0.0;
    std::unique_ptr<ClockAnimation> m_entrance;
};
