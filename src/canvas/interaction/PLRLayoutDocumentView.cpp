#include "canvas/interaction/PLRLayoutDocumentView.h"

#include "layout/base/PLRLayoutManager.h"
#include "canvas/interaction/PLRLayoutInteractionView.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRLayoutViewProxy.h"

#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace {

// The desk around the page.
const QColor kDeskColour(0xEE, 0xEE, 0xEF);

} // namespace

PLRLayoutDocumentView::PLRLayoutDocumentView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    m_interactionView = new PLRLayoutInteractionView(this);
    m_interactionView->setGeometry(rect());
    m_interactionView->show();
}

PLRLayoutDocumentView::~PLRLayoutDocumentView() = default;

void PLRLayoutDocumentView::setLayoutViewProxy(PLRLayoutViewProxy* proxy)
{
    m_proxy = proxy;
    update();
}

PLRLayoutViewProxy* PLRLayoutDocumentView::layoutViewProxy() const
{
    return m_proxy;
}

PLRLayoutView* PLRLayoutDocumentView::layoutView() const
{
    return m_proxy ? m_proxy->layoutView() : nullptr;
}

void PLRLayoutDocumentView::setMagnification(double magnification)
{
    if (!std::isfinite(magnification) || magnification <= 0.0 || magnification == m_magnification)
        return;
    m_magnification = magnification;
    updateSize(m_visibleSize);
    update();
}

QRectF PLRLayoutDocumentView::pageRectInLayout() const
{
    const PLRLayoutView* view = layoutView();
    if (!view)
        return QRectF();
    QRectF page = view->bounds();
    const PLRLayout* layout = view->representedLayout();
    bool empty = true;
    if (layout) {
        for (const PLRSection& section : layout->sections())
            empty = empty && section.blocks_size() == 0;
    }
    if (empty || page.height() <= 0.0)
        page.setHeight(std::max(page.height(), kEmptyPageHeight));
    return page;
}

QPointF PLRLayoutDocumentView::layoutPointFromView(const QPointF& point) const
{
    return (point - pageOrigin()) / m_magnification;
}

QPointF PLRLayoutDocumentView::viewPointFromLayout(const QPointF& point) const
{
    return point * m_magnification + pageOrigin();
}

QRectF PLRLayoutDocumentView::viewRectFromLayout(const QRectF& rect) const
{
    return QRectF(viewPointFromLayout(rect.topLeft()), rect.size() * m_magnification);
}

QSize PLRLayoutDocumentView::contentSize() const
{
    const QRectF page = pageRectInLayout();
    const double width = page.width() * m_magnification + 2.0 * kMargin;
    const double height = page.height() * m_magnification + 2.0 * kEndMargin;
    const auto clampSize = [](double value) { return int(std::ceil(std::clamp(value, 0.0, 16000000.0))); };
    return QSize(clampSize(width), std::max(clampSize(height), m_visibleSize.height()));
}

void PLRLayoutDocumentView::updateSize(const QSize& visibleSize)
{
    m_visibleSize = visibleSize;
    const QSize size = contentSize();
    if (this->size() != size)
        resize(size);
}

void PLRLayoutDocumentView::setPageAlpha(double alpha)
{
    m_alpha = std::clamp(alpha, 0.0, 1.0);
    update();
}

void PLRLayoutDocumentView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_interactionView->setGeometry(rect());
}

void PLRLayoutDocumentView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), kDeskColour);
    PLRLayoutView* view = layoutView();
    if (!view || m_alpha <= 0.0)
        return;
    view->layoutSubtreeIfNeeded();
    painter.setOpacity(m_alpha);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);
    const QRectF page = pageRectInLayout();
    const QRectF pageInView = viewRectFromLayout(page);
    // A soft edge around the page.
    painter.fillRect(pageInView.adjusted(-1, -1, 1, 1), QColor(0, 0, 0, 18));
    const PLRLayout* layout = view->representedLayout();
    const QColor background = layout ? PLRLayoutManager::backgroundColourForLayout(*layout).toQColor() : QColor(Qt::white);
    painter.fillRect(pageInView, background);

    const QRectF exposed = QRectF(event->rect()).intersected(pageInView);
    if (exposed.isEmpty())
        return;
    painter.save();
    painter.setClipRect(pageInView);
    painter.translate(pageOrigin());
    painter.scale(m_magnification, m_magnification);
    const QRectF exposedInLayout(layoutPointFromView(exposed.topLeft()), exposed.size() / m_magnification);
    view->displayRectIgnoringOpacity(exposedInLayout.adjusted(-1, -1, 1, 1), &painter);
    painter.restore();
}
