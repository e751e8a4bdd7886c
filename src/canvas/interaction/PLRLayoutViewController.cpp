#include "canvas/interaction/PLRLayoutViewController.h"

#include "layout/base/PLRLayoutManager.h"
#include "canvas/interaction/PLRLayoutDocumentView.h"
#include "canvas/interaction/PLRLayoutInteractionView.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/UndoManager.h"
#include "platform-ui/Animation.h"
#include "platform-ui/View.h"
#include "store/session/PLRPostManager.h"

#include <QGraphicsOpacityEffect>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>

// --- Scroll view ---------------------------------------------------------------------------------

namespace {

// The focus ring of the canvas, in the kit's colour and width, along the inside of its edges (the
// canvas fills its pane: a ring outside it would be cut off). It lies over the page and the
// scroll bars and lets every click through.
class CanvasFocusRing : public QWidget {
public:
    explicit CanvasFocusRing(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const double w = platform::ui::View::kFocusRingWidth;
        painter.setPen(QPen(platform::ui::View::focusRingColor().toQColor(), w));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(w / 2, w / 2, -w / 2, -w / 2));
    }
};

} // namespace

PLRLayoutScrollView::PLRLayoutScrollView(QWidget* parent) : QScrollArea(parent)
{
    m_focusRing = new CanvasFocusRing(this);
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(0xEE, 0xEE, 0xEF));
    setPalette(palette);
    viewport()->setPalette(palette);
    viewport()->setAutoFillBackground(true);
}

bool PLRLayoutScrollView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if ((wheel->modifiers() & Qt::ControlModifier) && onZoomGesture) {
            const int delta = wheel->angleDelta().y();
            if (delta != 0)
                onZoomGesture(std::pow(1.0015, double(delta)), wheel->position());
            wheel->accept();
            return true;
        }
    } else if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton && onDeskPress)
            onDeskPress(press->position(), press->modifiers());
    } else if (event->type() == QEvent::NativeGesture) {
        auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture && onZoomGesture) {
            onZoomGesture(1.0 + gesture->value(), gesture->position());
            gesture->accept();
            return true;
        }
    }
    return QScrollArea::viewportEvent(event);
}

bool PLRLayoutScrollView::isShowingFocusRing() const
{
    return m_focusRing && m_focusRing->isVisible();
}

void PLRLayoutScrollView::refreshFocusRing()
{
    const bool shown = hasFocus() && isEnabled();
    m_focusRing->setGeometry(rect());
    m_focusRing->setVisible(shown);
    if (shown)
        m_focusRing->raise();
}

void PLRLayoutScrollView::focusInEvent(QFocusEvent* event)
{
    QScrollArea::focusInEvent(event);
    refreshFocusRing();
}

void PLRLayoutScrollView::focusOutEvent(QFocusEvent* event)
{
    QScrollArea::focusOutEvent(event);
    refreshFocusRing();
}

void PLRLayoutScrollView::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    refreshFocusRing();
    if (onResize)
        onResize();
}

// --- Animations on the shared clock --------------------------------------------------------------

// Runs `step` with the eased fraction from `delay` seconds after its start for `duration`
// seconds, on the animation clock (hand-driven in tests), then `done`.
class PLRLayoutViewController::ClockAnimation : public QObject {
public:
    ClockAnimation(double delay, double duration, std::function<void(double)> step, std::function<void()> done)
        : m_duration(std::max(0.001, duration)), m_step(std::move(step)), m_done(std::move(done))
    {
        auto& clock = platform::ui::AnimationClock::shared();
        m_begin = clock.now() + std::max(0.0, delay);
        connect(&clock, &platform::ui::AnimationClock::advanced, this, [this] { tick(); });
        m_timer.setInterval(16);
        connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
        m_timer.start();
    }

    bool isFinished() const { return m_finished; }
    void stop()
    {
        m_finished = true;
        m_timer.stop();
    }

private:
    void tick()
    {
        if (m_finished)
            return;
        const double elapsed = platform::ui::AnimationClock::shared().now() - m_begin;
        if (elapsed < 0.0)
            return;
        const double fraction = std::clamp(elapsed / m_duration, 0.0, 1.0);
        if (m_step)
            m_step(m_timing.evaluate(fraction));
        if (fraction >= 1.0) {
            stop();
            if (m_done)
                m_done();
        }
    }

    double m_begin = 0.0;
    double m_duration;
    platform::ui::TimingFunction m_timing = platform::ui::TimingFunction::easeInEaseOut();
    std::function<void(double)> m_step;
    std::function<void()> m_done;
    QTimer m_timer;
    bool m_finished = false;
};

// --- Controller ----------------------------------------------------------------------------------

PLRLayoutViewController::PLRLayoutViewController(QObject* parent) : QObject(parent)
{
    m_scrollView = new PLRLayoutScrollView;
    m_documentView = new PLRLayoutDocumentView;
    m_scrollView->setWidget(m_documentView);
    m_scrollView->installEventFilter(this);
    m_watchedScrollView = m_scrollView.data();
    m_scrollView->onResize = [this] {
        if (!m_scrollView || !m_documentView)
            return;
        m_documentView->updateSize(m_scrollView->viewport()->size());
        interactionView()->refresh();
        // A page shown at the width that fitted keeps fitting as the canvas grows or shrinks
        // (a smaller window would otherwise cut it); a zoom the user chose stays.
        const double fit = zoomFactorToFit();
        if (m_joined && fit > 0.0 && m_lastFitZoom > 0.0
            && std::abs(PLRVisualStateHandler::globalHandler().layoutZoomFactor() - m_lastFitZoom) < 0.005
            && std::abs(fit - m_lastFitZoom) >= 0.005)
            PLRVisualStateHandler::globalHandler().setLayoutZoomFactor(fit);
        if (fit > 0.0)
            m_lastFitZoom = fit;
    };
    m_scrollView->onZoomGesture = [this](double factor, const QPointF& anchor) { userZoom(factor, anchor); };
    // The desk beside the page is the canvas's as the margin inside the document view is: a
    // click there ends a crop or a text edit and clears the selection, and the canvas keeps the
    // keyboard (Return, Escape, Delete and undo act on it, not on the scroll view).
    m_scrollView->onDeskPress = [this](const QPointF& point, Qt::KeyboardModifiers modifiers) {
        PLRLayoutInteractionView* view = interactionView();
        if (!view || !m_scrollView || !view->layoutManager())
            return;
        view->clickAtPoint(view->mapFrom(m_scrollView->viewport(), point), modifiers);
    };
    // Whoever deletes the widget first, the canvas leaves the shared state with it.
    connect(m_scrollView, &QObject::destroyed, this, [this] { leaveVisualState(); });
    connect(interactionView(), &PLRLayoutInteractionView::scrollToRectRequested, this, &PLRLayoutViewController::scrollToRect);
}

PLRLayoutViewController::~PLRLayoutViewController()
{
    leaveVisualState();
    tearDown();
    delete m_scrollView.data();
}

QWidget* PLRLayoutViewController::widget() const
{
    return m_scrollView;
}

QScrollArea* PLRLayoutViewController::scrollView() const
{
    return m_scrollView;
}

PLRLayoutDocumentView* PLRLayoutViewController::documentView() const
{
    return m_documentView;
}

PLRLayoutInteractionView* PLRLayoutViewController::interactionView() const
{
    return m_documentView ? m_documentView->interactionView() : nullptr;
}

PLRPostManager* PLRLayoutViewController::postManager() const
{
    return m_postManager;
}

PLRLayoutManager* PLRLayoutViewController::layoutManager() const
{
    return m_layoutManager;
}

PLRLayoutViewProxy* PLRLayoutViewController::layoutViewProxy() const
{
    return m_proxy;
}

platform::UndoManager* PLRLayoutViewController::undoManager() const
{
    return m_undoManager;
}

void PLRLayoutViewController::tearDown()
{
    if (m_managerGone)
        disconnect(m_managerGone);
    if (PLRLayoutInteractionView* view = interactionView())
        view->setLayoutViewProxy(nullptr, nullptr, nullptr);
    delete m_proxy;
    m_proxy = nullptr;
    m_layoutManager = nullptr;
    m_undoManager = nullptr;
}

void PLRLayoutViewController::setPostManager(PLRPostManager* postManager)
{
    if (postManager == m_postManager && (m_proxy || !postManager))
        return;
    tearDown();
    m_postManager = postManager;
    PLRLayoutManager* manager = postManager ? postManager->layoutManager() : nullptr;
    if (!manager || !m_documentView) {
        if (postManager)
            PLR_LOG_WARN(QStringLiteral("The post has no layout manager; the canvas stays empty"));
        if (m_documentView)
            m_documentView->updateSize(m_scrollView ? m_scrollView->viewport()->size() : QSize());
        return;
    }
    m_layoutManager = manager;
    m_undoManager = platform::UndoManager::forOwner(postManager);
    m_proxy = new PLRLayoutViewProxy(manager, manager->representedLayout(), kCanvasLayoutWidth, this);
    m_proxy->setLive(true);
    // The layout goes with its manager: the canvas lets go of it first.
    m_managerGone = connect(manager, &QObject::destroyed, this, [this] {
        PLR_LOG_INFO(QStringLiteral("The canvas's layout manager went away; the canvas is emptied"));
        m_postManager = nullptr;
        tearDown();
    });
    m_documentView->setMagnification(m_magnification);
    m_documentView->updateSize(m_scrollView ? m_scrollView->viewport()->size() : QSize());
    interactionView()->setLayoutViewProxy(m_proxy, postManager, m_undoManager);
}

// --- Visual state ----------------------------------------------------------------------------------

bool PLRLayoutViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_watchedScrollView) {
        if (event->type() == QEvent::Show)
            joinVisualState();
        else if (event->type() == QEvent::Hide)
            leaveVisualState();
    }
    return QObject::eventFilter(watched, event);
}

void PLRLayoutViewController::joinVisualState()
{
    if (m_joined)
        return;
    m_joined = true;
    PLRVisualStateHandler& handler = PLRVisualStateHandler::globalHandler();
    handler.addVisualDelegate(this);
    // Show the shared zoom at once.
    visualStateHandlerSetLayoutZoomFactor(&handler, handler.layoutZoomFactor());
}

void PLRLayoutViewController::leaveVisualState()
{
    if (!m_joined)
        return;
    m_joined = false;
    PLRVisualStateHandler::globalHandler().removeVisualDelegate(this);
}

double PLRLayoutViewController::snappedZoomFactor(double factor)
{
    if (!std::isfinite(factor))
        return 0.0;
    return std::round(factor * 100.0) / 100.0;
}

void PLRLayoutViewController::visualStateHandlerSetLayoutZoomFactor(PLRVisualStateHandler* handler, double factor)
{
    Q_UNUSED(handler);
    // The shared factor is shown as it is (a step from a fit of 0.537 shows 0.637).
    if (!(std::isfinite(factor) && factor >= kMinimumMagnification)) {
        PLR_LOG_WARN(QStringLiteral("A zoom factor of %1 cannot be shown; ignored").arg(factor));
        return;
    }
    if (isZoomAnimating() && factor == m_zoomTarget)
        return;   // the echo of an animated zoom
    if (m_zoomAnimation)
        m_zoomAnimation->stop();
    applyMagnification(factor, std::nullopt, false);
}

std::optional<double> PLRLayoutViewController::layoutZoomFactorToFitForVisualStateHandler(PLRVisualStateHandler* handler)
{
    Q_UNUSED(handler);
    if (!m_joined)
        return std::nullopt;   // a hidden canvas has nothing to fit
    const double fit = zoomFactorToFit();
    if (!(fit > 0.0)) {
        PLR_LOG_INFO(QStringLiteral("The canvas cannot tell a zoom factor that fits"));
        return std::nullopt;
    }
    return fit;
}

// --- Zoom ----------------------------------------------------------------------------------------

double PLRLayoutViewController::zoomFactorToFit() const
{
    const PLRLayoutView* layoutView = m_proxy ? m_proxy->layoutView() : nullptr;
    if (!layoutView || !m_scrollView)
        return 0.0;
    const double width = m_scrollView->width() - 2.0 * m_scrollView->frameWidth()
                         - m_scrollView->verticalScrollBar()->sizeHint().width() - 2.0 * PLRLayoutDocumentView::kMargin;
    if (!(width > 0.0))
        return 0.0;
    // Down to whole percents, so that the page never quite needs a horizontal scroll bar.
    const double fit = std::floor(width / layoutView->layoutWidth() * 100.0) / 100.0;
    return std::isfinite(fit) && fit > 0.0 ? fit : 0.0;
}

bool PLRLayoutViewController::isZoomAnimating() const
{
    return m_zoomAnimation && !m_zoomAnimation->isFinished();
}

void PLRLayoutViewController::setZoom(qint64 percent)
{
    if (percent < 0) {
        PLR_LOG_WARN(QStringLiteral("setZoom: %1 percent; ignored").arg(percent));
        return;
    }
    if (percent == 0) {
        const double fit = zoomFactorToFit();
        if (!(fit > 0.0)) {
            PLR_LOG_INFO(QStringLiteral("setZoom: no zoom factor fits the canvas; unchanged"));
            return;
        }
        animateMagnification(fit);
        return;
    }
    if (m_zoomAnimation)
        m_zoomAnimation->stop();
    applyMagnification(double(percent) / 100.0, std::nullopt, true);
}

void PLRLayoutViewController::userZoom(double factor, const QPointF& anchor)
{
    if (!std::isfinite(factor) || factor <= 0.0)
        return;
    if (m_zoomAnimation)
        m_zoomAnimation->stop();
    const double target = snappedZoomFactor(std::clamp(m_magnification * factor, kGestureMinimum, kGestureMaximum));
    applyMagnification(target, anchor, true);
}

void PLRLayoutViewController::animateMagnification(double target)
{
    if (m_zoomAnimation)
        m_zoomAnimation->stop();
    target = std::clamp(target, kMinimumMagnification, kMaximumMagnification);
    m_zoomTarget = target;
    const double from = m_magnification;
    m_zoomAnimation = std::make_unique<ClockAnimation>(0.0, kZoomAnimationDuration,
        [this, from, target](double fraction) {
            applyMagnification(fraction >= 1.0 ? target : from + (target - from) * fraction, std::nullopt, false);
        },
        nullptr);
    if (m_joined)
        PLRVisualStateHandler::globalHandler().setLayoutZoomFactor(target);
}

void PLRLayoutViewController::applyMagnification(double magnification, std::optional<QPointF> anchor, bool tellVisualState)
{
    magnification = std::clamp(magnification, kMinimumMagnification, kMaximumMagnification);
    if (magnification != m_magnification && m_documentView) {
        QWidget* viewport = m_scrollView ? m_scrollView->viewport() : nullptr;
        const QPointF fixed = anchor ? *anchor : (viewport ? QPointF(viewport->width() / 2.0, viewport->height() / 2.0) : QPointF());
        QPointF layoutPoint;
        if (viewport)
            layoutPoint = m_documentView->layoutPointFromView(m_documentView->mapFrom(viewport, fixed.toPoint()));
        m_magnification = magnification;
        m_documentView->setMagnification(magnification);
        interactionView()->refresh();
        if (viewport) {
            // Scroll so the same layout point is under the anchor again.
            const QPointF now = m_documentView->mapTo(viewport, m_documentView->viewPointFromLayout(layoutPoint).toPoint());
            const QPointF shift = now - fixed;
            m_scrollView->horizontalScrollBar()->setValue(m_scrollView->horizontalScrollBar()->value() + int(std::lround(shift.x())));
            m_scrollView->verticalScrollBar()->setValue(m_scrollView->verticalScrollBar()->value() + int(std::lround(shift.y())));
        }
        emit magnificationChanged(magnification);
    }
    if (tellVisualState && m_joined) {
        PLRVisualStateHandler& shared = PLRVisualStateHandler::globalHandler();
        if (shared.layoutZoomFactor() != magnification)
            shared.setLayoutZoomFactor(magnification);
    }
}

void PLRLayoutViewController::scrollToRect(const QRectF& viewRect)
{
    if (!m_scrollView || viewRect.isEmpty())
        return;
    const QRect visible = m_scrollView->viewport()->rect();
    const int xMargin = std::max(0, int((visible.width() - viewRect.width()) / 2.0));
    const int yMargin = std::max(0, int((visible.height() - viewRect.height()) / 2.0));
    m_scrollView->ensureVisible(int(viewRect.center().x()), int(viewRect.center().y()),
                                std::min(xMargin + int(viewRect.width() / 2.0), visible.width() / 2),
                                std::min(yMargin + int(viewRect.height() / 2.0), visible.height() / 2));
}

// --- Entrance --------------------------------------------------------------------------------------

void PLRLayoutViewController::setCanvasAlpha(double alpha)
{
    m_alpha = std::clamp(alpha, 0.0, 1.0);
    if (!m_scrollView)
        return;
    if (m_alpha >= 1.0) {
        m_scrollView->setGraphicsEffect(nullptr);
    } else {
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(m_scrollView->graphicsEffect());
        if (!effect) {
            effect = new QGraphicsOpacityEffect(m_scrollView);
            m_scrollView->setGraphicsEffect(effect);
        }
        effect->setOpacity(m_alpha);
    }
    if (PLRLayoutInteractionView* view = interactionView())
        view->setOverlayAlpha(m_alpha);
}

void PLRLayoutViewController::ensureEntrancePostion()
{
    if (m_entrance)
        m_entrance->stop();
    setCanvasAlpha(0.0);
}

void PLRLayoutViewController::performEntrance()
{
    const double fit = zoomFactorToFit();
    if (fit > 0.0) {
        if (m_zoomAnimation)
            m_zoomAnimation->stop();
        applyMagnification(fit, std::nullopt, true);
    }
    if (m_entrance)
        m_entrance->stop();
    const double from = m_alpha;
    m_entrance = std::make_unique<ClockAnimation>(kEntranceDelay, kEntranceFadeDuration,
        [this, from](double fraction) { setCanvasAlpha(from + (1.0 - from) * fraction); }, nullptr);
}
