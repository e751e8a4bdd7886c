#include "shell/PLRRootView.h"

#include "platform-ui/GraphicsContext.h"
#include "platform-ui/Layer.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace platform::ui;

namespace {

// The root view's background: 250/250/250.
const Color kRootBackground(0.9803921568627451, 0.9803921568627451, 0.9803921568627451, 1.0);

// The band above a sliding screen's top edge where its layer's shadow falls: darkest at the
// edge, fading out over the shadow's reach. Painted on its own, so the screen itself is drawn as
// at rest while it moves.
class SlideShadowView : public View {
public:
    explicit SlideShadowView(QWidget* parent) : View(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }
    void setShadow(const Color& color, double opacity)
    {
        m_color = color.toQColor();
        m_color.setAlphaF(std::clamp(color.alphaComponent() * opacity, 0.0, 1.0));
        update();
    }
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QLinearGradient fade(0, height(), 0, 0);
        QColor clear = m_color;
        clear.setAlphaF(0.0);
        fade.setColorAt(0.0, m_color);
        fade.setColorAt(1.0, clear);
        painter.fillRect(rect(), fade);
    }
private:
    QColor m_color;
};

} // namespace

void PLRErrorBarView::drawRect(GraphicsContext& context, const QRectF&)
{
    context.fillRect(bounds(), Color(1.0, 0.93, 0.93));
    context.fillRect(QRectF(0, 0, width(), 1), Color(0.86, 0.55, 0.55));
}

PLRRootView::PLRRootView(QWidget* parent) : View(parent)
{
    // The window's whole background, drawn in the first frame and behind every screen: kept on
    // the painting thread (see View::paintsInBands).
    setPaintsInBands(true);
    m_slideShadow = new SlideShadowView(this);
    m_slideShadow->setIdentifier(QStringLiteral("slideShadow"));
    m_slideShadow->hide();
}

void PLRRootView::drawRect(GraphicsContext& context, const QRectF&)
{
    context.fillRect(bounds(), kRootBackground);
}

void PLRRootView::pinToEdges(QWidget* view)
{
    forget(view);
    m_placements.append({view, nullptr});
    relayout();
}

void PLRRootView::placeWithTopEdge(QWidget* view, PLRLayoutConstraint* topEdge)
{
    forget(view);
    m_placements.append({view, topEdge});
    if (topEdge)
        connect(topEdge, &PLRLayoutConstraint::constantChanged, this, &PLRRootView::relayout, Qt::UniqueConnection);
    relayout();
}

void PLRRootView::forget(QWidget* view)
{
    m_placements.erase(std::remove_if(m_placements.begin(), m_placements.end(),
                                      [view](const Placement& p) { return !p.view || p.view == view; }),
                       m_placements.end());
}

void PLRRootView::relayout()
{
    const int w = width(), h = height();
    QWidget* sliding = nullptr;
    for (const Placement& placement : std::as_const(m_placements)) {
        if (!placement.view || placement.view->parentWidget() != this)
            continue;
        const int top = placement.topEdge ? int(std::lround(placement.topEdge->constant())) : 0;
        placement.view->setGeometry(0, top, w, h);
        auto* view = qobject_cast<View*>(placement.view.data());
        const Layer* layer = view ? view->layer() : nullptr;
        if (placement.topEdge && top > 0 && top < h && layer && layer->shadowOpacity() > 0.0 && layer->shadowColor()
            && !placement.view->isHidden()) {
            sliding = placement.view;
            static_cast<SlideShadowView*>(m_slideShadow.data())->setShadow(*layer->shadowColor(), layer->shadowOpacity());
            // The layer's shadow offset is y up: a positive one lifts the shadow over the edge.
            const int reach = int(std::ceil(2.0 * layer->shadowRadius() + std::max(0.0, layer->shadowOffset().height())));
            m_slideShadow->setGeometry(0, std::max(0, top - reach), w, std::min(reach, top));
        }
    }
    if (m_slideShadow) {
        m_slideShadow->setVisible(sliding != nullptr);
        if (sliding)
            m_slideShadow->stackUnder(sliding);
    }
    if (m_errorView) {
        m_errorView->setGeometry(0, 0, w, int(kErrorBarHeight));
        m_errorView->raise();
    }
}
