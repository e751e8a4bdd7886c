#include "platform-ui/View.h"

#include <QHash>

#include "platform-ui/Window.h"

#include <QApplication>
#include <QBackingStore>
#include <QChildEvent>
#include <QDrag>
#include <QGraphicsOpacityEffect>
#include <QPainterPath>
#include <QRegion>
#include <QKeyEvent>
#include <QLayout>
#include <QMouseEvent>
#include <QPaintEvent>

#include <algorithm>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <cmath>

namespace platform::ui {

namespace {

bool widgetIsFlipped(const QWidget* widget)
{
    // A window places its title bar and content view in y-up coordinates.
    if (qobject_cast<const Window*>(widget))
        return false;
    const auto* view = qobject_cast<const View*>(widget);
    return !view || view->isFlipped();
}

// Platform coordinates of a widget (views convert, other widgets are y-down already).
QPointF platformFromQt(const QWidget* widget, const QPointF& point)
{
    if (widgetIsFlipped(widget))
        return point;
    return QPointF(point.x(), widget->height() - point.y());
}

// Whether a point (in the widget's own Qt coordinates) lies in the widget's rectangle and, where
// the widget has a mask, in its mask: a widget takes the clicks of the shape it shows, as Qt's
// own dispatch has it (unless it asks for its whole rectangle with Qt::WA_MouseNoMask).
bool takesPoint(const QWidget* widget, const QPointF& local)
{
    if (!(local.x() >= 0 && local.x() < widget->width() && local.y() >= 0 && local.y() < widget->height()))
        return false;
    if (widget->testAttribute(Qt::WA_MouseNoMask))
        return true;
    const QRegion mask = widget->mask();
    return mask.isEmpty() || mask.contains(QPoint(int(std::floor(local.x())), int(std::floor(local.y()))));
}

} // namespace

QPointF MouseEvent::locationInWindow() const
{
    if (!window)
        return windowPoint;
    return QPointF(windowPoint.x(), window->height() - windowPoint.y());
}

QPointF MouseEvent::locationIn(const QWidget* view) const
{
    if (!view)
        return windowPoint;
    // Qt maps between a widget and a window only along the widget's own ancestors: a view of
    // another top-level window (a release that came in a pop-up) goes through the screen.
    QPointF local;
    if (window && view == window)
        local = windowPoint;
    else if (window && view->window() == window)
        local = view->mapFrom(window.data(), windowPoint);
    else
        local = view->mapFromGlobal(screenPoint);
    return platformFromQt(view, local);
}

View::View(QWidget* parent) : QWidget(parent)
{
    dispatch::install();
    setMouseTracking(true);
}

View::~View() = default;

QPointF View::toQt(const QPointF& point) const
{
    return isFlipped() ? point : QPointF(point.x(), height() - point.y());
}

QPointF View::fromQt(const QPointF& point) const { return toQt(point); }

QRectF View::toQt(const QRectF& rect) const
{
    return isFlipped() ? rect : QRectF(rect.x(), height() - rect.y() - rect.height(), rect.width(), rect.height());
}

QRectF View::fromQt(const QRectF& rect) const { return toQt(rect); }

QPointF View::convertPoint(const QPointF& point, const QWidget* fromView) const
{
    if (!fromView)
        return point;
    QPointF qtPoint = widgetIsFlipped(fromView) ? point : QPointF(point.x(), fromView->height() - point.y());
    // Within one window through the window; between windows through the screen.
    const QPointF local = fromView->window() == window() ? mapFrom(window(), fromView->mapTo(window(), qtPoint))
                                                         : mapFromGlobal(fromView->mapToGlobal(qtPoint));
    return fromQt(local);
}

namespace {
QRect roundedRect(const QRectF& r)
{
    return QRect(int(std::lround(r.x())), int(std::lround(r.y())), int(std::lround(r.width())), int(std::lround(r.height())));
}

// Whether the layout, or one of the layouts nested in it, places the widget.
bool layoutPlaces(const QLayout* layout, const QWidget* widget)
{
    for (int i = 0; layout && i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item && (item->widget() == widget || layoutPlaces(item->layout(), widget)))
            return true;
    }
    return false;
}
} // namespace

QRectF View::frame() const
{
    const QRect g = geometry();
    const QWidget* parent = isWindow() ? nullptr : parentWidget();
    const bool yUpParent = parent && !widgetIsFlipped(parent);
    QRectF f(g);
    if (yUpParent)
        f.moveTop(parent->height() - g.y() - g.height());
    // The exact frame last set, while the widget still sits where it put it.
    if (m_frame) {
        QRectF expected = *m_frame;
        if (yUpParent)
            expected.moveTop(parent->height() - m_frame->y() - m_frame->height());
        if (roundedRect(expected) == g)
            return *m_frame;
    }
    return f;
}

void View::applyFrame(const QRectF& frame)
{
    const QWidget* parent = isWindow() ? nullptr : parentWidget();
    QRectF qtRect = frame;
    if (parent && !widgetIsFlipped(parent))
        qtRect.moveTop(parent->height() - frame.y() - frame.height());
    setGeometry(roundedRect(qtRect));
}

void View::setFrame(const QRectF& frame)
{
    m_frame = frame;
    applyFrame(frame);
}

void View::setFrameSize(const QSizeF& size) { QRectF f = frame(); f.setSize(size); setFrame(f); }
void View::setFrameOrigin(const QPointF& origin) { QRectF f = frame(); f.moveTopLeft(origin); setFrame(f); }

void View::addSubview(QWidget* view)
{
    if (!view)
        return;
    if (view->parentWidget() != this)
        view->setParent(this);
    view->raise();
    if (auto* sub = qobject_cast<View*>(view); sub && sub->m_frame)
        sub->applyFrame(*sub->m_frame);
    view->show();
}

QList<QWidget*> View::subviews() const
{
    QList<QWidget*> result;
    for (QObject* child : children())
        if (auto* widget = qobject_cast<QWidget*>(child); widget && !widget->isWindow())
            result << widget;
    return result;
}

void View::setSubviewOrder(const QList<QWidget*>& backToFront)
{
    for (QWidget* widget : backToFront)
        if (widget && widget->parentWidget() == this)
            widget->raise();
    update();
}

// The effect a view draws through when it shows more than its own rectangle holds: its opacity,
// its layer shadows beyond its edges (behind it) and its focus ring (around it).
class ViewEffect : public QGraphicsOpacityEffect {
public:
    explicit ViewEffect(View* view) : QGraphicsOpacityEffect(view), m_view(view) {}
    // Takes the view's reach now: the widget asks for the bounding rectangle while it is being
    // destroyed too, when the view's own members are gone.
    void refresh()
    {
        m_reach = m_view->m_shadowOverhang;
        if (m_view->m_ringShown)
            m_reach = std::max(m_reach, View::kFocusRingWidth + 1.0);
        updateBoundingRect();
        update();
    }
    QRectF boundingRectFor(const QRectF& rect) const override
    {
        return rect.adjusted(-m_reach, -m_reach, m_reach, m_reach);
    }

protected:
    void draw(QPainter* painter) override
    {
        if (m_view->m_shadowOverhang > 0.0) {
            painter->save();
            painter->setOpacity(painter->opacity() * opacity());
            if (!m_view->isFlipped()) {
                painter->translate(0, m_view->height());
                painter->scale(1, -1);
            }
            GraphicsContext context(painter, m_view->isFlipped());
            m_view->drawBeyondBounds(context);
            painter->restore();
        }
        // The ring lies wholly outside the view: it is drawn before the view itself.
        if (m_view->m_ringShown) {
            const QPainterPath ring = m_view->focusRingPath();
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing);
            painter->fillPath(ring, View::focusRingColor().toQColor());
            painter->restore();
        }
        // The view itself. Painted into the window, Qt places it right; painted by
        // QWidget::render() into an image, Qt would add the view's offset in the rendered
        // widget to the painter's, which already holds it.
        QBackingStore* store = m_view->window()->backingStore();
        const bool intoWindow = store && painter->device() == store->paintDevice();
        // (Below full opacity Qt draws the view through a picture of it, placed right either way.)
        painter->save();
        if (!intoWindow && opacity() >= 1.0 && painter->worldTransform().type() == QTransform::TxTranslate)
            painter->setWorldTransform(QTransform());
        QGraphicsOpacityEffect::draw(painter);
        painter->restore();
    }

private:
    View* m_view;
    double m_reach = 0.0;
};

void View::updateEffect()
{
    const bool needed = m_alpha < 1.0 || m_shadowOverhang > 0.0 || m_ringShown;
    auto* own = dynamic_cast<ViewEffect*>(graphicsEffect());
    if (!needed) {
        if (own)
            setGraphicsEffect(nullptr);
        return;
    }
    if (!own) {
        own = new ViewEffect(this);
        setGraphicsEffect(own);
    }
    own->setOpacity(std::clamp(m_alpha, 0.0, 1.0));
    own->refresh();
}

void View::setAlphaValue(double alpha)
{
    m_alpha = alpha;
    updateEffect();
}

void View::drawBeyondBounds(GraphicsContext& context)
{
    if (m_layer && context.painter())
        m_layer->renderShadows(*context.painter(), AnimationClock::shared().now());
}

void View::setShadowOverhang(double points)
{
    m_shadowOverhang = std::max(0.0, points);
    updateEffect();
}

Color View::focusRingColor() { return Color(0.23, 0.56, 0.98, 0.6); }

void View::drawFocusRingMask(GraphicsContext& context)
{
    context.fillPath(roundedRectPath(focusRingMaskBounds(), 3.0, 3.0), Color::black());
}

bool View::isShowingFocusRing() const
{
    return drawsFocusRing() && isEnabled() && isVisible() && hasFocus();
}

QPainterPath View::focusRingPath()
{
    if (!isShowingFocusRing())
        return {};
    std::vector<DrawOperation> operations;
    GraphicsContext context(nullptr, isFlipped(), &operations);
    drawFocusRingMask(context);
    QPainterPath mask;
    for (const DrawOperation& op : operations) {
        if (op.kind == DrawOperation::Kind::FillPath)
            mask.addPath(op.path);
        else if (op.kind == DrawOperation::Kind::FillRect)
            mask.addRect(op.rect);
    }
    if (mask.isEmpty())
        return {};
    if (!isFlipped())
        mask = QTransform(1, 0, 0, -1, 0, height()).map(mask);
    mask = mask.simplified();
    QPainterPathStroker stroker;
    stroker.setWidth(2.0 * kFocusRingWidth);
    stroker.setJoinStyle(Qt::RoundJoin);
    // The stroke's outline overlaps itself: take it as a winding fill before the set operations.
    QPainterPath band = stroker.createStroke(mask);
    band.setFillRule(Qt::WindingFill);
    return band.simplified().united(mask).subtracted(mask);
}

void View::focusRingChanged()
{
    const bool shown = isShowingFocusRing();
    if (shown == m_ringShown)
        return;
    m_ringShown = shown;
    updateEffect();
    update();
}

void View::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        focusRingChanged();
}

Window* View::platformWindow() const { return qobject_cast<Window*>(window()); }

void View::drawRect(GraphicsContext&, const QRectF&) {}

std::vector<DrawOperation> View::recordDrawing()
{
    std::vector<DrawOperation> operations;
    GraphicsContext context(nullptr, isFlipped(), &operations);
    drawRect(context, bounds());
    return operations;
}

QImage View::renderToImage(double scale)
{
    QImage image(int(std::ceil(width() * scale)), int(std::ceil(height() * scale)), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

void View::setWantsLayer(bool wants)
{
    if (wants == bool(m_layer))
        return;
    if (!wants) {
        m_layer.reset();
        m_hostsLayer = false;
        update();
        return;
    }
    m_layer = std::make_unique<Layer>();
    m_layer->setDelegate(this);
    m_hostsLayer = false;
    syncRootLayer();
    QPointer<View> self(this);
    m_layer->setChangeHandler([self] { if (self) self->update(); });
    watchClock();
    update();
}

void View::setLayer(std::unique_ptr<Layer> layer)
{
    m_layer = std::move(layer);
    m_hostsLayer = bool(m_layer);
    if (m_layer) {
        syncRootLayer();
        QPointer<View> self(this);
        m_layer->setChangeHandler([self] { if (self) self->update(); });
        watchClock();
    }
    update();
}

void View::watchClock()
{
    if (m_watchingClock)
        return;
    m_watchingClock = true;
    connect(&AnimationClock::shared(), &AnimationClock::advanced, this, [this] {
        if (m_layer && m_layer->hasAnimationsInTree())
            update();
    });
}

void View::syncRootLayer()
{
    if (!m_layer)
        return;
    TransactionScope scope(true);
    const QRectF b = bounds();
    if (m_layer->bounds().size() != b.size())
        m_layer->setBounds(QRectF(m_layer->bounds().topLeft(), b.size()));
    m_layer->setPosition(QPointF(m_layer->anchorPoint().x() * b.width(), m_layer->anchorPoint().y() * b.height()));
}

bool View::drawLayer(Layer* layer, GraphicsContext& context)
{
    if (layer != m_layer.get() || m_hostsLayer)
        return false;
    drawRect(context, bounds());
    return true;
}

std::optional<std::shared_ptr<Animation>> View::actionForLayer(Layer* layer, const QString&)
{
    if (layer == m_layer.get() && !m_hostsLayer)
        return std::shared_ptr<Animation>();
    return std::nullopt;
}

void View::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    if (m_layer)
        m_layer->displayIfNeeded();
    // One moment for the whole frame, every band included.
    const double now = AnimationClock::shared().now();
    const QRect dirty = event->rect();
    if (m_paintsInBands && dirty.height() > kPaintBandRows) {
        for (int top = dirty.top(); top <= dirty.bottom(); top += kPaintBandRows) {
            painter.save();
            painter.setClipRect(QRect(dirty.left(), top, dirty.width(), std::min(kPaintBandRows, dirty.bottom() + 1 - top)),
                                Qt::IntersectClip);
            paintContents(painter, now);
            painter.restore();
        }
    } else {
        paintContents(painter, now);
    }
    // Running animations ask for the next frame (a hand-driven clock repaints on advance).
    if (m_layer && !AnimationClock::shared().isManual() && m_layer->hasAnimationsInTree())
        QTimer::singleShot(16, this, [this] { update(); });
}

void View::paintContents(QPainter& painter, double now)
{
    painter.save();
    if (!isFlipped()) {
        painter.translate(0, height());
        painter.scale(1, -1);
    }
    if (m_layer) {
        m_layer->render(painter, now);
    } else {
        GraphicsContext context(&painter, isFlipped());
        drawRect(context, bounds());
    }
    painter.restore();
}

void View::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QSize oldSize = m_lastSize.isValid() ? m_lastSize : event->oldSize();
    m_lastSize = size();
    syncRootLayer();
    // Subviews placed by frame keep their platform frames (and follow their autoresizing); one
    // that this view's layout places stays where the layout put it.
    if (m_autoresizesSubviews && oldSize.isValid() && oldSize != size()) {
        const double dw = width() - oldSize.width(), dh = height() - oldSize.height();
        for (QWidget* widget : subviews()) {
            auto* sub = qobject_cast<View*>(widget);
            if (!sub || !sub->m_frame || layoutPlaces(layout(), sub))
                continue;
            QRectF f = *sub->m_frame;
            const unsigned mask = sub->m_autoresizingMask;
            auto distribute = [](double delta, bool minFlex, bool sizeFlex, bool maxFlex, double& origin, double& length) {
                const int parts = int(minFlex) + int(sizeFlex) + int(maxFlex);
                if (parts == 0)
                    return;
                const double share = delta / parts;
                if (minFlex) origin += share;
                if (sizeFlex) length = std::max(0.0, length + share);
            };
            double x = f.x(), y = f.y(), w = f.width(), h = f.height();
            distribute(dw, mask & ViewMinXMargin, mask & ViewWidthSizable, mask & ViewMaxXMargin, x, w);
            distribute(dh, mask & ViewMinYMargin, mask & ViewHeightSizable, mask & ViewMaxYMargin, y, h);
            sub->m_frame = QRectF(x, y, w, h);
            sub->applyFrame(*sub->m_frame);
        }
    }
    updateTrackingAreas();
    layoutSubviews();
}

void View::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_lastSize != size()) {
        m_lastSize = size();
        syncRootLayer();
        updateTrackingAreas();
        layoutSubviews();
    }
}

QWidget* View::hitTest(const QPointF& pointInSuperview)
{
    if (isHidden() || m_alpha <= 0.0)
        return nullptr;
    // A top-level view is given the point in its own coordinates already.
    const QRectF f = isWindow() ? QRectF(0, 0, width(), height()) : frame();
    if (!(pointInSuperview.x() >= f.left() && pointInSuperview.x() < f.right() && pointInSuperview.y() >= f.top()
          && pointInSuperview.y() < f.bottom()))
        return nullptr;
    // The point in our own coordinates, and in Qt's.
    QPointF local;
    QPointF qtLocal;
    if (isWindow()) {
        local = pointInSuperview;
        qtLocal = toQt(local);
    } else {
        const QWidget* parent = parentWidget();
        QPointF qtInParent = pointInSuperview;
        if (parent && !widgetIsFlipped(parent))
            qtInParent.setY(parent->height() - pointInSuperview.y());
        qtLocal = qtInParent - QPointF(pos());
        local = fromQt(qtLocal);
    }
    // Outside our mask the point is the views' behind us.
    if (!takesPoint(this, qtLocal))
        return nullptr;
    const QList<QWidget*> subs = subviews();
    for (auto it = subs.rbegin(); it != subs.rend(); ++it) {
        QWidget* sub = *it;
        if (!sub->isVisible() || sub->testAttribute(Qt::WA_TransparentForMouseEvents))
            continue;
        if (auto* view = qobject_cast<View*>(sub)) {
            if (QWidget* hit = view->hitTest(local))
                return hit;
        } else if (takesPoint(sub, qtLocal - QPointF(sub->pos()))) {
            // Qt's own search below it honours its children's masks too.
            QWidget* deepest = sub->childAt(sub->mapFrom(this, qtLocal.toPoint()));
            return deepest ? deepest : sub;
        }
    }
    return this;
}

QWidget* View::hitTestWindow(QWidget* window, const QPointF& windowPoint)
{
    if (!window)
        return nullptr;
    if (auto* view = qobject_cast<View*>(window))
        return view->hitTest(view->isFlipped() ? windowPoint : QPointF(windowPoint.x(), window->height() - windowPoint.y()));
    const QList<QObject*> kids = window->children();
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
        auto* sub = qobject_cast<QWidget*>(*it);
        if (!sub || sub->isWindow() || !sub->isVisible() || sub->testAttribute(Qt::WA_TransparentForMouseEvents))
            continue;
        if (auto* view = qobject_cast<View*>(sub)) {
            if (QWidget* hit = view->hitTest(platformFromQt(window, windowPoint)))
                return hit;
        } else if (takesPoint(sub, windowPoint - QPointF(sub->pos()))) {
            if (QWidget* hit = hitTestWindow(sub, windowPoint - QPointF(sub->pos())))
                return hit;
            return sub;
        }
    }
    return nullptr;
}

void View::mouseDown(const MouseEvent& event)
{
    if (auto* next = qobject_cast<View*>(nextResponder()))
        next->mouseDown(event);
}

void View::mouseUp(const MouseEvent& event)
{
    if (auto* next = qobject_cast<View*>(nextResponder()))
        next->mouseUp(event);
}

void View::mouseDragged(const MouseEvent& event)
{
    if (auto* next = qobject_cast<View*>(nextResponder()))
        next->mouseDragged(event);
}

void View::rightMouseDown(const MouseEvent& event)
{
    if (auto* next = qobject_cast<View*>(nextResponder()))
        next->rightMouseDown(event);
}

void View::rightMouseDragged(const MouseEvent& event)
{
    if (auto* next = qobject_cast<View*>(nextResponder()))
        next->rightMouseDragged(event);
}

void View::rightMouseUp(const MouseEvent& event)
{
    if (auto* next = qobject_cast<View*>(nextResponder()))
        next->rightMouseUp(event);
}

void View::otherMouseDown(const MouseEvent& event)
{
    if (auto* next = qobject_cast<View*>(nextResponder()))
        next->otherMouseDown(event);
}

void View::otherMouseDragged(const MouseEvent& event)
{
    if (auto* next = qobject_cast<View*>(nextResponder()))
        next->otherMouseDragged(event);
}

void View::otherMouseUp(const MouseEvent& event)
{
    if (auto* next = qobject_cast<View*>(nextResponder()))
        next->otherMouseUp(event);
}

void View::mouseCancelled()
{
    if (auto* next = qobject_cast<View*>(nextResponder()))
        next->mouseCancelled();
}

TrackingArea* View::addTrackingArea(const QRectF& rect, unsigned options, QVariantMap userInfo)
{
    m_trackingAreas.push_back(std::make_unique<TrackingArea>(rect, options, this, std::move(userInfo)));
    return m_trackingAreas.back().get();
}

void View::removeTrackingArea(TrackingArea* area)
{
    std::erase_if(m_trackingAreas, [area](const auto& owned) { return owned.get() == area; });
}

namespace dispatch {

namespace {

class Dispatcher : public QObject {
public:
    // The view that took the press of the left button, and the top-level window the press came
    // in: its drags and its release go to that view, and only while they come in that window.
    QPointer<View> mouseDownView;
    QPointer<QWidget> mouseDownWindow;
    // The same for each other button pressed on a view (the right one, the middle one, back,
    // forward): a gesture of its own beside the left button's, told to that button's handlers.
    struct OtherPress {
        Qt::MouseButton button = Qt::NoButton;
        QPointer<View> view;
        QPointer<QWidget> window;
        bool belongsTo(const QWidget* in) const { return view && window == in && view->window() == in; }
    };
    std::vector<OtherPress> otherPresses;
    // Where the last press went (its window, what the hit test found there, its button): Qt
    // counts a second press near the first as a double click wherever the first went.
    QPointer<QWidget> lastPressWindow;
    QPointer<QWidget> lastPressTarget;
    Qt::MouseButton lastPressButton = Qt::NoButton;
    QPointer<QWidget> pointerWindow;
    // The widget (not a view) a press is being handed to: that press, and the copies of it Qt
    // passes up to the widget's ancestors, are not dispatched again.
    QPointer<QWidget> forwardingTo;
    // Objects given a parent while a handler of the pressed view runs (of any library, the web
    // engine's among them): a drag among them has taken the pointer over (its own loop takes the
    // moves and the release).
    int watchingAdoptions = 0;
    std::vector<QPointer<QObject>> adopted;
    // Where the pointer was last seen, for views that move under a pointer at rest.
    QPointer<QWidget> lastTrackedWindow;
    QPointF lastTrackedPoint;

    static MouseEvent makeEvent(MouseEvent::Type type, QWidget* window, const QPointF& windowPoint, const QMouseEvent* source,
                                int clickCount = 1)
    {
        MouseEvent event;
        event.type = type;
        event.window = window;
        event.windowPoint = windowPoint;
        event.clickCount = clickCount;
        if (source) {
            event.screenPoint = source->globalPosition();
            event.modifiers = source->modifiers();
            event.button = source->button();
            event.buttons = source->buttons();
        } else if (window) {
            event.screenPoint = window->mapToGlobal(windowPoint);
        }
        return event;
    }

    // Whether the remembered press is one of this window's (its view still in it).
    bool pressBelongsTo(const QWidget* window) const
    {
        return mouseDownView && mouseDownWindow == window && mouseDownView->window() == window;
    }

    // The remembered press will see no release of its own: it is forgotten, and its view told.
    void cancelPress()
    {
        QPointer<View> view = mouseDownView;
        mouseDownView = nullptr;
        mouseDownWindow = nullptr;
        if (view)
            view->mouseCancelled();
    }

    // The handlers of a button other than the left one, with the types of their events.
    struct ButtonHandlers {
        MouseEvent::Type downType, draggedType, upType;
        void (View::*down)(const MouseEvent&);
        void (View::*dragged)(const MouseEvent&);
        void (View::*up)(const MouseEvent&);
    };
    static ButtonHandlers handlersFor(Qt::MouseButton button)
    {
        using T = MouseEvent::Type;
        if (button == Qt::RightButton)
            return {T::RightMouseDown, T::RightMouseDragged, T::RightMouseUp, &View::rightMouseDown, &View::rightMouseDragged,
                    &View::rightMouseUp};
        return {T::OtherMouseDown, T::OtherMouseDragged, T::OtherMouseUp, &View::otherMouseDown, &View::otherMouseDragged,
                &View::otherMouseUp};
    }

    // Runs a handler of the pressed view. A drag started there ends the press: whatever comes
    // after the drag is no part of it.
    template <typename Handler>
    PLR_APPLICATION_EVENT_FILTER void runPressHandler(Handler&& handler)
    {
        const QPointer<View> pressed = mouseDownView;
        const size_t mark = adopted.size();
        ++watchingAdoptions;
        handler();
        --watchingAdoptions;
        bool dragged = false;
        for (size_t i = mark; i < adopted.size(); ++i)
            dragged = dragged || qobject_cast<QDrag*>(adopted[i].data());
        adopted.resize(mark);
        if (dragged && pressed && mouseDownView == pressed)
            cancelPress();
    }

    static bool areaActive(const TrackingArea& area, View* owner)
    {
        const unsigned o = area.options();
        if (o & (TrackingActiveAlways | TrackingActiveInActiveApp))
            return true;
        if (o & TrackingActiveInKeyWindow)
            return owner->window()->isActiveWindow();
        if (o & TrackingActiveWhenFirstResponder)
            return owner->hasFocus();
        return false;
    }

    // Whether the point of the window lies inside every ancestor of the widget below the window
    // (a scroll view's viewport, above all): a part clipped away is not under the pointer.
    static bool insideAncestors(QWidget* widget, QWidget* window, const QPointF& windowPoint, QHash<QWidget*, bool>& memo)
    {
        QWidget* parent = widget->parentWidget();
        if (!parent || widget == window || parent == window)
            return true;
        const auto known = memo.constFind(parent);
        if (known != memo.cend())
            return *known;
        const bool inside = QRectF(parent->rect()).contains(parent->mapFrom(window, windowPoint))
            && insideAncestors(parent, window, windowPoint, memo);
        memo.insert(parent, inside);
        return inside;
    }

    void updateTracking(QWidget* window, const QPointF& windowPoint, bool pointerInWindow, bool dragging, const QMouseEvent* source)
    {
        if (window && pointerInWindow) {
            lastTrackedWindow = window;
            lastTrackedPoint = windowPoint;
        } else if (window == lastTrackedWindow) {
            lastTrackedWindow = nullptr;
        }
        QList<View*> views = window->findChildren<View*>();
        if (auto* self = qobject_cast<View*>(window))
            views.prepend(self);
        // The views of windows that belong to this one (a pop-up, a panel made with a view of it
        // as parent) follow the pointer in their own windows.
        views.removeIf([window](const View* view) { return view->window() != window; });
        std::vector<std::pair<QPointer<View>, TrackingArea*>> entered, exited, moved;
        QHash<QWidget*, bool> clipped;
        for (View* view : views) {
            const bool visible = view->isVisible() && (view->trackingAreas().empty() || !pointerInWindow
                                                       || insideAncestors(view, window, windowPoint, clipped));
            const QPointF local = view->fromQt(view == window ? windowPoint : view->mapFrom(window, windowPoint));
            for (const auto& owned : view->trackingAreas()) {
                TrackingArea* area = owned.get();
                const QRectF rect = (area->options() & TrackingInVisibleRect) ? view->bounds() : area->rect();
                const bool inside = pointerInWindow && visible && areaActive(*area, view) && local.x() >= rect.left()
                    && local.x() < rect.right() && local.y() >= rect.top() && local.y() < rect.bottom();
                if (dragging && !(area->options() & TrackingEnabledDuringMouseDrag) && inside != area->isInside())
                    continue;
                if (inside && !area->isInside()) {
                    area->setInside(true);
                    if (area->options() & TrackingMouseEnteredAndExited)
                        entered.push_back({view, area});
                } else if (!inside && area->isInside()) {
                    area->setInside(false);
                    if (area->options() & TrackingMouseEnteredAndExited)
                        exited.push_back({view, area});
                }
                if (inside && (area->options() & TrackingMouseMoved) && !dragging)
                    moved.push_back({view, area});
            }
        }
        auto send = [&](auto& list, MouseEvent::Type type, void (View::*handler)(const MouseEvent&)) {
            for (auto& [view, area] : list) {
                if (!view)
                    continue;
                MouseEvent event = makeEvent(type, window, windowPoint, source);
                event.trackingArea = area;
                (view->*handler)(event);
            }
        };
        send(exited, MouseEvent::Type::MouseExited, &View::mouseExited);
        send(entered, MouseEvent::Type::MouseEntered, &View::mouseEntered);
        send(moved, MouseEvent::Type::MouseMoved, &View::mouseMoved);
    }

    // The release of a button other than the left one: the end of that button's press on a view
    // of this window. One that came in another window (a menu opened by the press took it) is
    // that window's.
    bool releaseOther(Qt::MouseButton button, QWidget* window, const QPointF& windowPoint, const QMouseEvent* mouse)
    {
        const auto found = std::find_if(otherPresses.begin(), otherPresses.end(),
                                        [button](const OtherPress& press) { return press.button == button; });
        if (found == otherPresses.end())
            return false;
        const OtherPress press = *found;
        otherPresses.erase(found);
        if (!press.belongsTo(window))
            return false;
        const ButtonHandlers handlers = handlersFor(button);
        (press.view->*handlers.up)(makeEvent(handlers.upType, window, windowPoint, mouse));
        if (press.view)
            updateTracking(window, windowPoint, true, mouse->buttons() != Qt::NoButton, mouse);
        return true;
    }

    // Whether the event is the press being handed to a widget, or one of its copies on the way
    // up to that widget's ancestors.
    PLR_APPLICATION_EVENT_FILTER bool isForwardedPress(const QWidget* receiver) const
    {
        return forwardingTo && (receiver == forwardingTo || receiver->isAncestorOf(forwardingTo));
    }

    PLR_APPLICATION_EVENT_FILTER bool eventFilter(QObject* object, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type == QEvent::ChildAdded) {
            if (watchingAdoptions > 0)
                adopted.emplace_back(static_cast<QChildEvent*>(event)->child());
            return false;
        }
        if (type == QEvent::KeyPress || type == QEvent::ShortcutOverride) {
            auto* widget = (object->isWidgetType() ? static_cast<QWidget*>(object) : nullptr);
            if (!widget)
                return false;
            auto* window = qobject_cast<Window*>(widget->window());
            if (window && type == QEvent::KeyPress && window->performKeyEquivalent(*static_cast<QKeyEvent*>(event)))
                return true;
            return false;
        }
        if (type == QEvent::Leave) {
            auto* widget = (object->isWidgetType() ? static_cast<QWidget*>(object) : nullptr);
            if (widget && widget->isWindow())
                updateTracking(widget, QPointF(-1e6, -1e6), false, false, nullptr);
            return false;
        }
        if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick && type != QEvent::MouseMove
            && type != QEvent::MouseButtonRelease)
            return false;
        auto* widget = (object->isWidgetType() ? static_cast<QWidget*>(object) : nullptr);
        if (!widget || isForwardedPress(widget))
            return false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        QWidget* window = widget->window();
        const QPointF windowPoint = widget == window ? mouse->position() : widget->mapTo(window, mouse->position());
        pointerWindow = window;
        // The pointer is in another window now (a pop-up, a menu, a dialog): the areas of the one
        // it was in are left.
        if (lastTrackedWindow && lastTrackedWindow != window)
            updateTracking(lastTrackedWindow, QPointF(-1e6, -1e6), false, false, nullptr);

        if (type == QEvent::MouseMove) {
            const Qt::MouseButtons held = mouse->buttons();
            // A press whose button is no longer held (its release never came here: a drag's loop
            // or a window blocked by a modal one took it), or whose pointer another window took
            // over, is over.
            if (mouseDownView && (!(held & Qt::LeftButton) || !pressBelongsTo(window)))
                cancelPress();
            std::erase_if(otherPresses,
                          [&](const OtherPress& press) { return !(held & press.button) || !press.belongsTo(window); });
            updateTracking(window, windowPoint, true, held != Qt::NoButton, mouse);
            bool dragged = false;
            if (pressBelongsTo(window)) {
                const QPointer<View> view = mouseDownView;
                runPressHandler([&] {
                    view->mouseDragged(makeEvent(MouseEvent::Type::LeftMouseDragged, window, windowPoint, mouse));
                });
                dragged = true;
            }
            // (A copy: a handler may press or release.)
            const std::vector<OtherPress> others = otherPresses;
            for (const OtherPress& press : others) {
                if (!press.belongsTo(window))
                    continue;
                const ButtonHandlers handlers = handlersFor(press.button);
                (press.view->*handlers.dragged)(makeEvent(handlers.draggedType, window, windowPoint, mouse));
                dragged = true;
            }
            return dragged || qobject_cast<View*>(widget) != nullptr;
        }
        const Qt::MouseButton button = mouse->button();
        if (type == QEvent::MouseButtonRelease) {
            // A release ends the press of its own button alone.
            if (button != Qt::LeftButton)
                return releaseOther(button, window, windowPoint, mouse);
            if (!mouseDownView)
                return false;
            if (!pressBelongsTo(window)) {
                // The release came in another window (a pop-up opened by the press took it):
                // it is that window's.
                cancelPress();
                return false;
            }
            QPointer<View> view = mouseDownView;
            mouseDownView = nullptr;
            mouseDownWindow = nullptr;
            view->mouseUp(makeEvent(MouseEvent::Type::LeftMouseUp, window, windowPoint, mouse));
            if (view)
                updateTracking(window, windowPoint, true, mouse->buttons() != Qt::NoButton, mouse);
            return true;
        }
        // Press. A new press of the left button, or a press in another window, leaves the left
        // press remembered before without a release of its own (a press of another button while
        // the left one is held is no part of the left one's gesture); a new press of another
        // button, or one in another window, leaves that button's press before so.
        if (mouseDownView && (button == Qt::LeftButton || !pressBelongsTo(window)))
            cancelPress();
        std::erase_if(otherPresses,
                      [&](const OtherPress& press) { return press.button == button || !press.belongsTo(window); });
        QWidget* target = View::hitTestWindow(window, windowPoint);
        // A double click whose first press went elsewhere (a menu item chosen a moment before,
        // another view) or was of another button is a single click here.
        const int clickCount = type == QEvent::MouseButtonDblClick && target && lastPressWindow == window
                && lastPressTarget == target && lastPressButton == button
            ? 2 : 1;
        lastPressWindow = window;
        lastPressTarget = target;
        lastPressButton = button;
        if (auto* view = qobject_cast<View*>(target)) {
            if (!view->isEnabled())
                return true;
            if (button != Qt::LeftButton) {
                otherPresses.push_back({button, view, window});
                const ButtonHandlers handlers = handlersFor(button);
                (view->*handlers.down)(makeEvent(handlers.downType, window, windowPoint, mouse, clickCount));
                return true;
            }
            mouseDownView = view;
            mouseDownWindow = window;
            runPressHandler([&] {
                view->mouseDown(makeEvent(MouseEvent::Type::LeftMouseDown, window, windowPoint, mouse, clickCount));
            });
            return true;
        }
        if (!target || target == widget)
            return false;
        // Another (non-view) widget lies under the point: hand the press to it.
        const QPointF local = target->mapFrom(window, windowPoint);
        QMouseEvent copy(mouse->type(), local, mouse->scenePosition(), mouse->globalPosition(), mouse->button(),
                         mouse->buttons(), mouse->modifiers());
        const QPointer<QWidget> outer = forwardingTo;
        forwardingTo = target;
        QApplication::sendEvent(target, &copy);
        forwardingTo = outer;
        return true;
    }
};

Dispatcher* instance = nullptr;

} // namespace

void install()
{
    if (instance || !qApp)
        return;
    instance = new Dispatcher;
    instance->setParent(qApp);
    qApp->installEventFilter(instance);
    // Focus rings follow keyboard focus (also focus that goes to a view's focus proxy).
    QObject::connect(qApp, &QApplication::focusChanged, instance, [](QWidget* old, QWidget* now) {
        for (QWidget* widget : {old, now})
            for (QWidget* w = widget; w; w = w->parentWidget())
                if (auto* view = qobject_cast<View*>(w))
                    view->focusRingChanged();
    });
}

QWidget* pointerWindow() { return instance ? instance->pointerWindow.data() : nullptr; }

void refreshTracking(QWidget* window)
{
    if (!instance || !window || instance->lastTrackedWindow != window)
        return;
    instance->updateTracking(window, instance->lastTrackedPoint, true, false, nullptr);
}

void sendMouse(QWidget* view, QEvent::Type type, const QPointF& point, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    if (!view)
        return;
    const QPointF local = platformFromQt(view, point); // symmetric conversion
    QWidget* window = view->window();
    const QPointF windowPoint = view == window ? local : view->mapTo(window, local);
    const QPointF global = window->mapToGlobal(windowPoint);
    if (type == QEvent::MouseButtonPress && buttons == Qt::NoButton)
        buttons = button;
    if (type == QEvent::MouseMove)
        button = Qt::NoButton;
    QMouseEvent event(type, windowPoint, windowPoint, global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(window, &event);
}

} // namespace dispatch

} // namespace platform::ui
