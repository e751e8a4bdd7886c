#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRViewRendering.h"

#include "layout/views/PLRBlockDrawTree.h"

#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "layout/views/PLRSectionView.h"
#include "platform/Log.h"

#include <QPaintEvent>
#include <QPainter>

#include <cmath>

PLRBlockView::PLRBlockView(PLRBlock* block, PLRSectionView* sectionView, QWidget* parent)
    : QWidget(parent), m_block(block), m_sectionView(sectionView)
{
    setAttribute(Qt::WA_NoSystemBackground, true);
    setAutoFillBackground(false);
    ensureDrawHandler();
}

PLRBlockView::~PLRBlockView()
{
    // Sub-block views go first, while this view can still answer their bookkeeping.
    const QList<PLRBlockView*> subs = m_subBlocks;
    m_subBlocks.clear();
    qDeleteAll(subs);
    if (m_sectionView)
        m_sectionView->forgetBlockView(this);
}

int PLRBlockView::blockKind() const
{
    return m_block ? plr::typeOneOfCase(*m_block) : plr::kBlockKindNone;
}

PLRLayoutView* PLRBlockView::layoutView() const
{
    return m_sectionView ? m_sectionView->layoutView() : nullptr;
}

PLRLayoutViewProxy* PLRBlockView::layoutViewProxy() const
{
    return m_sectionView ? m_sectionView->layoutViewProxy() : nullptr;
}

PLRLayoutManager* PLRBlockView::layoutManager() const
{
    PLRLayoutViewProxy* proxy = layoutViewProxy();
    return proxy ? proxy->layoutManager() : nullptr;
}

QRectF PLRBlockView::frameInLayoutView() const
{
    return m_frameInSection.translated(m_sectionView ? m_sectionView->frame().topLeft() : QPointF());
}

void PLRBlockView::setInteractionHandler(std::unique_ptr<PLRBlockViewInteractionHandler> handler)
{
    m_interactionHandler = std::move(handler);
    update();
}

void PLRBlockView::ensureDrawHandler()
{
    const int kind = blockKind();
    const bool wantsHandler = kind != plr::kBlockKindContainer && kind != plr::kBlockKindNone;
    if (!wantsHandler) {
        m_drawHandler.reset();
        return;
    }
    if (!m_drawHandler || m_drawHandler->blockKind() != kind)
        m_drawHandler = PLRBlockDrawHandler::handlerForBlockView(this);
}

void PLRBlockView::setFrames(const QRectF& frameInParent, const QRectF& frameInSection)
{
    m_frame = frameInParent;
    m_frameInSection = frameInSection;
}

void PLRBlockView::placeWidget(const QPointF& sectionOrigin, const QPoint& parentWidgetOrigin)
{
    m_exactOriginInLayout = sectionOrigin + m_frameInSection.topLeft();
    const QRectF exact(m_exactOriginInLayout, m_frameInSection.size());
    m_placedRect = exact;
    const QPoint topLeft(int(std::floor(exact.left())), int(std::floor(exact.top())));
    const QPoint bottomRight(int(std::ceil(exact.right())), int(std::ceil(exact.bottom())));
    m_widgetOriginInLayout = topLeft;
    const QRect geometryInParent(topLeft - parentWidgetOrigin, QSize(bottomRight.x() - topLeft.x(), bottomRight.y() - topLeft.y()));
    if (geometry() != geometryInParent)
        setGeometry(geometryInParent);
}

void PLRBlockView::displayRectIgnoringOpacity(const QRectF& rect, QPainter* painter)
{
    if (!painter || !m_block || !rect.intersects(bounds()))
        return;
    // Drawn as the export's workers draw it, from the block and its frames alone.
    PLRBlockDrawTree::ofView(*this).draw(*painter, rect, PLRBlockDrawHandler::contextForView(this));
}

QImage PLRBlockView::renderImage(double width)
{
    if (PLRLayoutView* view = layoutView())
        view->layoutSubtreeIfNeeded();
    const QRectF area = bounds();
    return PLRRenderViewArea(area, width, QStringLiteral("block"),
                             [this, area](QPainter* painter) { displayRectIgnoringOpacity(area, painter); });
}

void PLRBlockView::paintEvent(QPaintEvent* event)
{
    if (!m_drawHandler && !m_interactionHandler)
        return;
    if (!layoutViewProxy())
        return;   // the view outlived its proxy (and maybe its layout)
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);
    painter.setClipRect(event->rect());
    painter.translate(m_exactOriginInLayout - QPointF(m_widgetOriginInLayout));
    if (m_drawHandler)
        m_drawHandler->draw(painter, bounds());
    if (m_interactionHandler)
        m_interactionHandler->drawDecorations(painter, bounds());
}
