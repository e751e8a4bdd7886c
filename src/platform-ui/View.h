#pragma once

#include "platform-ui/GraphicsContext.h"
#include "platform-ui/Layer.h"

#include <QEvent>
#include <QPointer>
#include <QVariantMap>
#include <QWidget>

#include <memory>
#include <vector>

// Marks an application-wide event filter. Such a filter sees every object, the web engine's among
// them, and that library is built without run-time type information: the sanitizer's dynamic type
// check cannot tell its objects from corrupt ones, so that one check is off in the filter. What
// the filter calls on an object (isWidgetType, qobject_cast) reads Qt's own meta-object, which
// every QObject has.
#define PLR_APPLICATION_EVENT_FILTER __attribute__((no_sanitize("vptr")))

namespace platform::ui {

class View;
class Window;

// Tracking-area options as fixed bit values, so that a combination such as 1665 can be written
// as one number.
enum TrackingAreaOption : unsigned {
    TrackingMouseEnteredAndExited = 0x01,
    TrackingMouseMoved = 0x02,
    TrackingCursorUpdate = 0x04,
    TrackingActiveWhenFirstResponder = 0x10,
    TrackingActiveInKeyWindow = 0x20,
    TrackingActiveInActiveApp = 0x40,
    TrackingActiveAlways = 0x80,
    TrackingAssumeInside = 0x100,
    TrackingInVisibleRect = 0x200,
    TrackingEnabledDuringMouseDrag = 0x400,
};

// A region of a view that reports the pointer entering, leaving and moving.
class TrackingArea {
public:
    TrackingArea(const QRectF& rect, unsigned options, View* owner, QVariantMap userInfo = {})
        : m_rect(rect), m_options(options), m_owner(owner), m_userInfo(std::move(userInfo)) {}
    QRectF rect() const { return m_rect; }
    unsigned options() const { return m_options; }
    View* owner() const { return m_owner; }
    const QVariantMap& userInfo() const { return m_userInfo; }
    bool isInside() const { return m_inside; }
    void setInside(bool inside) { m_inside = inside; }
private:
    QRectF m_rect;
    unsigned m_options;
    View* m_owner;
    QVariantMap m_userInfo;
    bool m_inside = false;
};

// A mouse event as views receive it. Locations are in the view's coordinates: origin at the
// bottom left, y grows upward, unless the view is flipped.
struct MouseEvent {
    enum class Type {
        LeftMouseDown, LeftMouseUp, LeftMouseDragged,
        RightMouseDown, RightMouseUp, RightMouseDragged,
        OtherMouseDown, OtherMouseUp, OtherMouseDragged,   // the middle button, back, forward...
        MouseMoved, MouseEntered, MouseExited
    };
    Type type = Type::MouseMoved;
    QPointF windowPoint;                    // Qt coordinates of the top-level widget (y down)
    QPointF screenPoint;                    // global Qt coordinates
    QPointer<QWidget> window;               // the top-level widget the event came in
    int clickCount = 1;
    Qt::KeyboardModifiers modifiers;
    Qt::MouseButton button = Qt::NoButton;
    Qt::MouseButtons buttons;
    TrackingArea* trackingArea = nullptr;
    // The location in the window's platform coordinates (origin bottom-left, y up).
    QPointF locationInWindow() const;
    // The location in a view's coordinates (y up unless the view is flipped). A view of another
    // top-level window than the event's gets the point through the screen.
    QPointF locationIn(const QWidget* view) const;
};

// Autoresizing of a subview when its superview's size changes (fixed bit values).
enum AutoresizingMask : unsigned {
    ViewNotSizable = 0, ViewMinXMargin = 1, ViewWidthSizable = 2, ViewMaxXMargin = 4,
    ViewMinYMargin = 8, ViewHeightSizable = 16, ViewMaxYMargin = 32
};

// The base of our views. Inside a view, coordinates have their origin at the bottom left and y
// running up unless isFlipped() answers true; the view converts once when painting and when
// delivering events. Mouse events reach views through our own dispatch (hit testing, tracking
// areas), not through QWidget's handlers.
class View : public QWidget, public LayerDelegate {
    Q_OBJECT
public:
    explicit View(QWidget* parent = nullptr);
    ~View() override;

    virtual bool isFlipped() const { return false; }

    // Geometry. The frame is in the superview's coordinates (a superview that is not a View
    // counts as flipped); bounds are the view's own.
    QRectF bounds() const { return QRectF(0, 0, width(), height()); }
    QRectF frame() const;
    void setFrame(const QRectF& frame);
    void setFrameSize(const QSizeF& size);
    void setFrameOrigin(const QPointF& origin);
    unsigned autoresizingMask() const { return m_autoresizingMask; }
    void setAutoresizingMask(unsigned mask) { m_autoresizingMask = mask; }
    // Whether a size change moves and resizes the subviews by their autoresizing masks (yes
    // by default).
    bool autoresizesSubviews() const { return m_autoresizesSubviews; }
    void setAutoresizesSubviews(bool autoresizes) { m_autoresizesSubviews = autoresizes; }
    // Whether the view paints its dirty area in bands of kPaintBandRows rows (no by default).
    // Qt's raster engine hands a blend of more than about a hundred rows (an image, a fill or
    // a stroke under a rounded clip, a border) to its thread pool and waits for the pool; on a
    // busy machine those threads are long in coming and the frame waits with them. Bands keep
    // each blend on the painting thread. Worth it for tall views that are drawn again and
    // again (tiles of a grid, items of a list); the pixels are the same either way.
    bool paintsInBands() const { return m_paintsInBands; }
    void setPaintsInBands(bool bands) { m_paintsInBands = bands; }
    static constexpr int kPaintBandRows = 32;

    // Conversions between this view's coordinates and Qt's local ones.
    QPointF toQt(const QPointF& point) const;
    QPointF fromQt(const QPointF& point) const;
    QRectF toQt(const QRectF& rect) const;
    QRectF fromQt(const QRectF& rect) const;
    // Between views (or any widgets) of one window.
    QPointF convertPoint(const QPointF& point, const QWidget* fromView) const;

    // Hierarchy.
    void addSubview(QWidget* view);
    // The subviews, back to front.
    QList<QWidget*> subviews() const;
    // Restacks the subviews into the given order (back to front); others keep their places.
    void setSubviewOrder(const QList<QWidget*>& backToFront);
    QString identifier() const { return objectName(); }
    void setIdentifier(const QString& identifier) { setObjectName(identifier); }
    qint64 tag() const { return m_tag; }
    void setTag(qint64 tag) { m_tag = tag; }
    double alphaValue() const { return m_alpha; }
    void setAlphaValue(double alpha);
    // How far the shadows of the view's layers may reach beyond its rectangle: they are drawn
    // there too (over the superview), not cut off at the view's edge.
    double shadowOverhang() const { return m_shadowOverhang; }
    void setShadowOverhang(double points);

    // Keyboard focus. A view that draws a focus ring (controls that take focus do) shows it
    // while it has focus: a band kFocusRingWidth wide just outside the shape its mask fills.
    virtual bool drawsFocusRing() const { return false; }
    // Fills the shape the ring goes around (the bounds, slightly rounded, by default).
    virtual void drawFocusRingMask(GraphicsContext& context);
    virtual QRectF focusRingMaskBounds() const { return bounds(); }
    // By default while the view itself has the keyboard; a view that stands for the keyboard's
    // place in another (an item of a collection) answers for itself and calls
    // focusRingChanged() when that changes.
    virtual bool isShowingFocusRing() const;
    // The band as painted, in the view's Qt coordinates (y down); empty while not shown.
    QPainterPath focusRingPath();
    static constexpr double kFocusRingWidth = 3.0;
    static Color focusRingColor();
    // Re-reads whether the ring shows (focus moved, the view was enabled or disabled).
    void focusRingChanged();
    Window* platformWindow() const;

    // Drawing.
    void setNeedsDisplay(bool needs = true) { if (needs) update(); }
    virtual void drawRect(GraphicsContext& context, const QRectF& dirtyRect);
    // Runs drawRect over the bounds into a recording context (tests, exact geometry).
    std::vector<DrawOperation> recordDrawing();
    // Paints the view (and its subviews) into an image at the scale.
    QImage renderToImage(double scale = 1.0);

    // Layers. setWantsLayer(true) gives the view a backing layer that draws drawRect and whose
    // own changes never animate; setLayer() makes the view host a layer tree it draws nothing into.
    bool wantsLayer() const { return bool(m_layer); }
    void setWantsLayer(bool wants);
    Layer* layer() const { return m_layer.get(); }
    void setLayer(std::unique_ptr<Layer> layer);
    bool isLayerHosting() const { return m_hostsLayer; }

    // Hit testing: the deepest widget under a point given in the superview's coordinates, or
    // null when this view takes no part (the point then goes to the views behind).
    virtual QWidget* hitTest(const QPointF& pointInSuperview);
    // The same, in the window's Qt coordinates, over a whole window.
    static QWidget* hitTestWindow(QWidget* window, const QPointF& windowPoint);

    // Events, in the view's coordinates through MouseEvent::locationIn(this). Presses, drags
    // and releases a view does not take go up the responder chain (to the superview view).
    // mouseDown/Dragged/Up are the left button's alone; the right button and the others (the
    // middle one, back, forward) have handlers of their own, which no view of the chain takes
    // unless it asks for that button. Each button's press, drags and release are one gesture of
    // their own: a press or release of another button neither ends nor restarts it.
    virtual void mouseDown(const MouseEvent& event);
    virtual void mouseUp(const MouseEvent& event);
    virtual void mouseDragged(const MouseEvent& event);
    virtual void mouseMoved(const MouseEvent&) {}
    virtual void mouseEntered(const MouseEvent&) {}
    virtual void mouseExited(const MouseEvent&) {}
    virtual void rightMouseDown(const MouseEvent& event);
    virtual void rightMouseDragged(const MouseEvent& event);
    virtual void rightMouseUp(const MouseEvent& event);
    virtual void otherMouseDown(const MouseEvent& event);
    virtual void otherMouseDragged(const MouseEvent& event);
    virtual void otherMouseUp(const MouseEvent& event);
    // The left press this view took (itself or passed on from a subview) will see no release
    // here: a drag took the pointer over, a pop-up, menu or window took the release, or the
    // release was lost while a window was blocked. Ends what the press began without acting on
    // it; passed up the responder chain like the release.
    virtual void mouseCancelled();

    // Tracking areas, owned by the view.
    TrackingArea* addTrackingArea(const QRectF& rect, unsigned options, QVariantMap userInfo = {});
    void removeTrackingArea(TrackingArea* area);
    const std::vector<std::unique_ptr<TrackingArea>>& trackingAreas() const { return m_trackingAreas; }
    // Called when the view's size changes; views add their areas here.
    virtual void updateTrackingAreas() {}

    // The responder chain: the superview, then the window.
    QWidget* nextResponder() const { return parentWidget(); }

    // LayerDelegate: a backing layer draws the view's drawRect and takes no implicit actions.
    bool drawLayer(Layer* layer, GraphicsContext& context) override;
    std::optional<std::shared_ptr<Animation>> actionForLayer(Layer* layer, const QString& key) override;

protected:
    // Lays out subviews and layers after a size change.
    virtual void layoutSubviews() {}
    // While shadowOverhang() > 0: draws, behind the view, what it shows beyond its rectangle
    // (in its own coordinates, not clipped to its bounds). By default the shadows of its layers.
    virtual void drawBeyondBounds(GraphicsContext& context);
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class ViewEffect;
    void updateEffect();
    double m_shadowOverhang = 0.0;
    bool m_ringShown = false;
    void syncRootLayer();
    void watchClock();
    void applyFrame(const QRectF& frame);
    std::unique_ptr<Layer> m_layer;
    bool m_hostsLayer = false;
    std::vector<std::unique_ptr<TrackingArea>> m_trackingAreas;
    std::optional<QRectF> m_frame;
    QSize m_lastSize;
    unsigned m_autoresizingMask = 0;
    bool m_autoresizesSubviews = true;
    qint64 m_tag = 0;
    double m_alpha = 1.0;
    bool m_watchingClock = false;
    bool m_paintsInBands = false;
    void paintContents(QPainter& painter, double now);
};

// Mouse-event dispatch to views: one application-wide event filter, installed when the
// first view is made.
namespace dispatch {
void install();
// Synthesises a mouse event at a point of a view (its own coordinates), as the pointer would.
// `buttons` are those held once the event has happened (a press given none holds its own button;
// a release given none leaves none held).
void sendMouse(QWidget* view, QEvent::Type type, const QPointF& point, Qt::MouseButton button = Qt::LeftButton,
               Qt::MouseButtons buttons = Qt::NoButton);
// The window the pointer was last over (for cursors).
QWidget* pointerWindow();
// Tracking areas of the window checked again against where the pointer last was: for views
// that moved under a pointer at rest (a scrolled collection).
void refreshTracking(QWidget* window);
}

} // namespace platform::ui
