#include "layout/views/PLRSectionView.h"

#include "layout/base/PLRLayoutManager.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRLayoutViewProxy.h"

#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <cmath>
#include <limits>

PLRSectionView::PLRSectionView(PLRSection* section, PLRLayoutView* layoutView)
    : QWidget(layoutView), m_section(section), m_layoutView(layoutView),
      m_handler(PLRSectionLayoutHandler::handlerForSection(*section))
{
    setAttribute(Qt::WA_NoSystemBackground, true);
    setAutoFillBackground(false);
    for (PLRBlock& block : *m_section->mutable_blocks())
        m_topLevel.append(buildView(&block, nullptr));
}

PLRSectionView::~PLRSectionView()
{
    m_destroying = true;
    const QList<PLRBlockView*> views = m_topLevel;
    m_topLevel.clear();
    m_viewOrder.clear();
    qDeleteAll(views);
    m_views.clear();
}

PLRLayoutViewProxy* PLRSectionView::layoutViewProxy() const
{
    return m_layoutView ? m_layoutView->layoutViewProxy() : nullptr;
}

QList<PLRBlockView*>& PLRSectionView::listOf(PLRBlockView* parentView)
{
    return parentView ? parentView->mutableSubBlocks() : m_topLevel;
}

void PLRSectionView::detach(PLRBlockView* view)
{
    listOf(view->parentBlockView()).removeOne(view);
}

void PLRSectionView::forgetBlockView(PLRBlockView* view)
{
    if (m_destroying)
        return;
    const auto found = m_views.find(view->representedBlock());
    if (found != m_views.end() && *found == view)
        m_views.erase(found);
    detach(view);
    m_viewOrder.clear();
    setNeedsLayout();
}

PLRBlockView* PLRSectionView::buildView(PLRBlock* block, PLRBlockView* parentView)
{
    QWidget* parentWidget = parentView ? static_cast<QWidget*>(parentView) : this;
    PLRBlockView* view = m_views.value(block);
    if (view) {
        detach(view);
        if (view->parentWidget() != parentWidget) {
            view->setParent(parentWidget);
            view->show();
        }
        view->ensureDrawHandler();
    } else {
        view = new PLRBlockView(block, this, parentWidget);
        m_views.insert(block, view);
        if (parentWidget->isVisible())
            view->show();
    }
    view->setParentBlockView(parentView);

    QList<PLRBlockView*> subs;
    if (block->has_container()) {
        for (PLRBlock& sub : *block->mutable_container()->mutable_sub_blocks())
            subs.append(buildView(&sub, view));
    }
    // Views still listed under this one show blocks that left it.
    const QList<PLRBlockView*> leftovers = view->subBlocks();
    view->setSubBlocks(subs);
    for (PLRBlockView* old : leftovers) {
        if (!subs.contains(old))
            delete old;
    }
    return view;
}

PLRBlockView* PLRSectionView::addBlockView(PLRBlock* block, PLRBlock* inBlock)
{
    return insertBlockView(block, std::numeric_limits<int>::max(), inBlock);
}

PLRBlockView* PLRSectionView::insertBlockView(PLRBlock* block, int index, PLRBlock* inBlock)
{
    if (!block)
        return nullptr;
    PLRBlockView* parentView = nullptr;
    if (inBlock) {
        parentView = m_views.value(inBlock);
        if (!parentView) {
            setNeedsLayout();   // the next layout makes what is missing
            return nullptr;
        }
    }
    PLRBlockView* view = buildView(block, parentView);
    QList<PLRBlockView*>& list = listOf(parentView);
    list.removeOne(view);
    list.insert(std::clamp(index, 0, int(list.size())), view);
    m_viewOrder.clear();
    setNeedsLayout();
    return view;
}

void PLRSectionView::removeBlockView(const PLRBlock* block)
{
    delete m_views.value(block);
    setNeedsLayout();
}

PLRBlockView* PLRSectionView::swapBlockView(const PLRBlock* oldBlock, PLRBlock* newBlock)
{
    PLRBlockView* oldView = m_views.value(oldBlock);
    if (!oldView || !newBlock) {
        setNeedsLayout();
        return nullptr;
    }
    PLRBlockView* parentView = oldView->parentBlockView();
    const int index = int(listOf(parentView).indexOf(oldView));
    PLRBlockView* newView = buildView(newBlock, parentView);
    if (newView != oldView) {
        bool reused = false;
        for (PLRBlockView* up = oldView->parentBlockView(); up; up = up->parentBlockView())
            reused = reused || up == newView;
        if (!reused)
            delete oldView;
    }
    QList<PLRBlockView*>& list = listOf(parentView);
    list.removeOne(newView);
    list.insert(std::clamp(index, 0, int(list.size())), newView);
    m_viewOrder.clear();
    setNeedsLayout();
    return newView;
}

void PLRSectionView::reloadBlockViews()
{
    const QList<PLRBlockView*> views = m_topLevel;
    m_topLevel.clear();
    qDeleteAll(views);
    m_views.clear();
    m_viewOrder.clear();
    m_handler = PLRSectionLayoutHandler::handlerForSection(*m_section);
    for (PLRBlock& block : *m_section->mutable_blocks())
        m_topLevel.append(buildView(&block, nullptr));
    setNeedsLayout();
}

void PLRSectionView::setNeedsLayout()
{
    if (m_destroying)
        return;
    m_needsLayout = true;
    if (m_layoutView)
        m_layoutView->setNeedsLayout();
}

plr::layout::SolverEnvironment PLRSectionView::environment()
{
    plr::layout::SolverEnvironment environment;
    PLRLayoutViewProxy* proxy = layoutViewProxy();
    PLRLayoutManager* manager = proxy ? proxy->layoutManager() : nullptr;
    if (PLRLayoutImageProvider* provider = manager ? manager->imageProvider() : nullptr)
        environment.imageRatio = [provider](const QString& identifier) { return provider->aspectRatioFactor(identifier); };
    environment.contentHeight = [this](const PLRBlock& block, double width) { return m_contentHeights.heightFor(block, width); };
    return environment;
}

double PLRSectionView::layoutAtWidth(double width, double padding)
{
    if (m_handler->sectionKind() != int(m_section->type_case())
        && !(m_handler->sectionKind() == PLRSection::kStacked && m_section->type_case() == PLRSection::TYPE_NOT_SET))
        m_handler = PLRSectionLayoutHandler::handlerForSection(*m_section);
    if (!m_needsLayout && width == m_solvedWidth && padding == m_solvedPadding)
        return m_frames.height;
    m_frames = m_handler->layoutSection(*m_section, width, padding, environment());
    m_solvedWidth = width;
    m_solvedPadding = padding;
    reconcile();
    m_needsLayout = false;
    m_needsPlacement = true;
    return m_frames.height;
}

void PLRSectionView::reconcile()
{
    ++m_generation;
    const std::vector<plr::layout::BlockFrame>& frames = m_frames.frames;
    std::vector<PLRBlockView*> order(frames.size(), nullptr);
    std::vector<QList<PLRBlockView*>> children(frames.size());
    QList<PLRBlockView*> top;
    for (size_t i = 0; i < frames.size(); ++i) {
        const plr::layout::BlockFrame& entry = frames[i];
        PLRBlock* block = const_cast<PLRBlock*>(entry.block);
        PLRBlockView* parentView = entry.parent >= 0 ? order[size_t(entry.parent)] : nullptr;
        QWidget* parentWidget = parentView ? static_cast<QWidget*>(parentView) : this;
        PLRBlockView* view = m_views.value(block);
        if (!view) {
            view = new PLRBlockView(block, this, parentWidget);
            m_views.insert(block, view);
            if (parentWidget->isVisible())
                view->show();
        } else if (view->parentWidget() != parentWidget) {
            view->setParent(parentWidget);
            view->show();
        }
        view->setParentBlockView(parentView);
        view->ensureDrawHandler();
        view->generation = m_generation;
        order[i] = view;
        (entry.parent >= 0 ? children[size_t(entry.parent)] : top).append(view);
        const QPointF parentOrigin = entry.parent >= 0 ? frames[size_t(entry.parent)].frame.topLeft() : QPointF();
        view->setFrames(entry.frame.translated(-parentOrigin), entry.frame);
    }
    QList<QPointer<PLRBlockView>> stale;
    for (PLRBlockView* view : std::as_const(m_views)) {
        if (view->generation != m_generation)
            stale.append(view);
    }
    for (size_t i = 0; i < frames.size(); ++i)
        order[i]->setSubBlocks(children[i]);
    m_topLevel = top;
    for (const QPointer<PLRBlockView>& view : std::as_const(stale)) {
        if (view)
            view->mutableSubBlocks().removeIf([this](PLRBlockView* sub) { return sub->generation == m_generation; });
    }
    for (const QPointer<PLRBlockView>& view : std::as_const(stale))
        delete view.data();
    m_viewOrder = std::move(order);
}

void PLRSectionView::setFrameInLayout(const QRectF& frame)
{
    const bool moved = frame != m_frame;
    m_frame = frame;
    const QRect widgetRect(QPoint(int(std::floor(frame.left())), int(std::floor(frame.top()))),
                           QPoint(int(std::ceil(frame.right())) - 1, int(std::ceil(frame.bottom())) - 1));
    if (geometry() != widgetRect)
        setGeometry(widgetRect);
    if ((!moved && !m_needsPlacement) || m_needsLayout || m_viewOrder.size() != m_frames.frames.size())
        return;
    m_needsPlacement = false;
    m_lastChangedRect = QRectF();
    const QPointF origin = frame.topLeft();
    const QPoint widgetOrigin = widgetRect.topLeft();
    for (PLRBlockView* view : m_viewOrder) {
        const QRectF before = view->placedRect();
        PLRBlockView* parentView = view->parentBlockView();
        view->placeWidget(origin, parentView ? parentView->widgetOriginInLayout() : widgetOrigin);
        const QRectF after = view->placedRect();
        if (before != after)
            m_lastChangedRect = m_lastChangedRect.united(before).united(after);
    }
}

void PLRSectionView::displayRectIgnoringOpacity(const QRectF& rect, QPainter* painter)
{
    if (!painter || !rect.intersects(bounds()))
        return;
    for (PLRBlockView* view : std::as_const(m_topLevel)) {
        const QPointF origin = view->frame().topLeft();
        painter->translate(origin);
        view->displayRectIgnoringOpacity(rect.translated(-origin), painter);
        painter->translate(-origin);
    }
}
