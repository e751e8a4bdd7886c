#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRViewRendering.h"

#include "layout/base/PLRLayoutManager.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "layout/views/PLRSectionView.h"
#include "platform/Log.h"

#include <QHash>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace {

QColor backgroundOf(const PLRLayout* layout)
{
    return layout ? PLRLayoutManager::backgroundColourForLayout(*layout).toQColor() : QColor(Qt::white);
}

} // namespace

PLRLayoutView* PLRLayoutView::viewWithLayoutViewProxy(PLRLayoutViewProxy* proxy)
{
    return new PLRLayoutView(proxy);
}

PLRLayoutView::PLRLayoutView(PLRLayoutViewProxy* proxy, QWidget* parent)
    : QWidget(parent), m_proxy(proxy)
{
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    setAutoFillBackground(false);
}

PLRLayoutView::~PLRLayoutView()
{
    const QList<PLRSectionView*> views = m_sectionViews;
    m_sectionViews.clear();
    qDeleteAll(views);
}

PLRLayoutViewProxy* PLRLayoutView::layoutViewProxy() const
{
    return m_proxy;
}

PLRLayoutManager* PLRLayoutView::layoutManager() const
{
    return m_proxy ? m_proxy->layoutManager() : nullptr;
}

PLRLayout* PLRLayoutView::representedLayout() const
{
    return m_proxy ? m_proxy->layout() : nullptr;
}

void PLRLayoutView::setLayoutWidth(double width)
{
    if (!std::isfinite(width) || width < 0.0)
        width = 0.0;
    if (width == m_width)
        return;
    m_width = width;
    setNeedsLayout();
}

void PLRLayoutView::ensureSectionViews()
{
    PLRLayout* layout = representedLayout();
    QHash<const PLRSection*, PLRSectionView*> existing;
    for (PLRSectionView* view : std::as_const(m_sectionViews))
        existing.insert(view->representedSection(), view);
    QList<PLRSectionView*> ordered;
    if (layout) {
        for (PLRSection& section : *layout->mutable_sections()) {
            PLRSectionView* view = existing.take(&section);
            if (!view) {
                view = new PLRSectionView(&section, this);
                if (isVisible())
                    view->show();
            }
            ordered.append(view);
        }
    }
    m_sectionViews = ordered;
    qDeleteAll(existing);
}

void PLRLayoutView::ensureSectionLayout()
{
    if (m_inLayout)
        return;
    m_inLayout = true;
    ensureSectionViews();
    const PLRLayout* layout = representedLayout();
    const double padding = layout ? std::max<double>(0.0, double(layout->padding())) : 0.0;
    double y = 0.0;
    bool anyAbove = false;
    QRectF changed;
    for (PLRSectionView* view : std::as_const(m_sectionViews)) {
        const double height = view->layoutAtWidth(m_width, padding);
        if (height > 0.0 && anyAbove)
            y += padding;
        view->setFrameInLayout(QRectF(0.0, y, m_width, height));
        changed = changed.united(view->lastChangedRect());
        if (height > 0.0) {
            y += height;
            anyAbove = true;
        }
    }
    if (y != m_height) {
        changed = changed.united(QRectF(0.0, std::min(y, m_height), m_width, std::abs(y - m_height)));
        m_height = y;
    }
    m_lastChangedRect = changed;
    const QSize size(int(std::ceil(std::min(m_width, 16777215.0))), int(std::ceil(std::min(m_height, 16777215.0))));
    if (this->size() != size)
        resize(size);
    m_needsLayout = false;
    m_inLayout = false;
}

void PLRLayoutView::reloadLayout()
{
    const QList<PLRSectionView*> views = m_sectionViews;
    m_sectionViews.clear();
    qDeleteAll(views);
    ensureSectionViews();
    setNeedsLayout();
    update();
}

void PLRLayoutView::updateConstraints()
{
    for (PLRSectionView* view : std::as_const(m_sectionViews))
        view->setNeedsLayout();
    setNeedsLayout();
}

void PLRLayoutView::layoutSubtreeIfNeeded()
{
    if (m_needsLayout)
        ensureSectionLayout();
}

void PLRLayoutView::setNeedsLayout()
{
    m_needsLayout = true;
    if (m_layoutScheduled || m_inLayout)
        return;
    m_layoutScheduled = true;
    QMetaObject::invokeMethod(this, [this] {
        m_layoutScheduled = false;
        if (m_needsLayout) {
            layoutSubtreeIfNeeded();
            update();
        }
    }, Qt::QueuedConnection);
}

PLRSectionView* PLRLayoutView::sectionViewForSection(const PLRSection* section) const
{
    for (PLRSectionView* view : m_sectionViews) {
        if (view->representedSection() == section)
            return view;
    }
    return nullptr;
}

PLRBlockView* PLRLayoutView::blockViewForBlock(const PLRBlock* block) const
{
    if (!block)
        return nullptr;
    for (PLRSectionView* view : m_sectionViews) {
        if (PLRBlockView* blockView = view->blockViewForBlock(block))
            return blockView;
    }
    return nullptr;
}

void PLRLayoutView::displayRectIgnoringOpacity(const QRectF& rect, QPainter* painter)
{
    layoutSubtreeIfNeeded();
    const QRectF area = rect.intersected(bounds());
    if (!painter || area.isEmpty())
        return;
    painter->fillRect(area, backgroundOf(representedLayout()));
    for (PLRSectionView* view : std::as_const(m_sectionViews)) {
        const QRectF frame = view->frame();
        if (!frame.intersects(area))
            continue;
        painter->translate(frame.topLeft());
        view->displayRectIgnoringOpacity(area.translated(-frame.topLeft()), painter);
        painter->translate(-frame.topLeft());
    }
}

QImage PLRLayoutView::renderImage(double width)
{
    layoutSubtreeIfNeeded();
    const QRectF area = bounds();
    return PLRRenderViewArea(area, width, QStringLiteral("layout"),
                             [this, area](QPainter* painter) { displayRectIgnoringOpacity(area, painter); });
}

void PLRLayoutView::imageDidChange(const QString& identifier)
{
    Q_UNUSED(identifier);
    // The photo's ratio may be known now: lay out again (cheap), and repaint.
    updateConstraints();
    update();
}

void PLRLayoutView::detachFromProxy()
{
    const QList<PLRSectionView*> views = m_sectionViews;
    m_sectionViews.clear();
    qDeleteAll(views);
    m_proxy = nullptr;
    update();
}

QSize PLRLayoutView::sizeHint() const
{
    return QSize(int(std::ceil(m_width)), int(std::ceil(m_height)));
}

void PLRLayoutView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), backgroundOf(representedLayout()));
}
