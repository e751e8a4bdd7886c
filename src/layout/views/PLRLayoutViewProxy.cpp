#include "layout/views/PLRLayoutViewProxy.h"

#include "layout/base/PLRLayoutManager.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRSectionView.h"

#include <cmath>

PLRLayoutViewProxy::PLRLayoutViewProxy(PLRLayoutManager* manager, PLRLayout* layout, double width, QObject* parent)
    : QObject(parent), m_layout(layout)
{
    setUp(manager, width);
}

PLRLayoutViewProxy::PLRLayoutViewProxy(PLRLayoutManager* manager, std::unique_ptr<PLRLayout> layout, double width, QObject* parent)
    : QObject(parent), m_layout(layout.get()), m_ownLayout(std::move(layout))
{
    setUp(manager, width);
}

void PLRLayoutViewProxy::setUp(PLRLayoutManager* manager, double width)
{
    if (!m_layout) {
        m_ownLayout = std::make_unique<PLRLayout>();
        m_layout = m_ownLayout.get();
    }
    m_manager = manager;
    if (manager)
        manager->addLayoutViewProxy(this);
    m_layoutView = PLRLayoutView::viewWithLayoutViewProxy(this);
    m_live = true;
    setWidth(width);
}

PLRLayoutViewProxy::~PLRLayoutViewProxy()
{
    if (m_manager)
        m_manager->removeLayoutViewProxy(this);
    if (m_layoutView) {
        if (m_layoutView->parentWidget())
            m_layoutView->detachFromProxy();
        else
            delete m_layoutView.data();
    }
}

PLRLayoutManager* PLRLayoutViewProxy::layoutManager() const
{
    return m_manager;
}

PLRLayoutView* PLRLayoutViewProxy::layoutView() const
{
    return m_layoutView;
}

void PLRLayoutViewProxy::setWidth(double width)
{
    m_width = std::isfinite(width) && width > 0.0 ? width : 0.0;
    if (m_layoutView)
        m_layoutView->setLayoutWidth(m_width);
    emit widthChanged(m_width);
}

PLRBlockView* PLRLayoutViewProxy::blockViewForBlock(const PLRBlock* block) const
{
    if (!m_layoutView || !block)
        return nullptr;
    m_layoutView->layoutSubtreeIfNeeded();
    return m_layoutView->blockViewForBlock(block);
}

PLRBlockView* PLRLayoutViewProxy::currentEditBlockView() const
{
    return m_manager ? blockViewForBlock(m_manager->currentEditBlock()) : nullptr;
}

PLRSectionView* PLRLayoutViewProxy::sectionViewFor(PLRSection* section) const
{
    if (!m_layoutView)
        return nullptr;
    PLRSectionView* view = m_layoutView->sectionViewForSection(section);
    if (!view) {
        m_layoutView->ensureSectionViews();   // a new section gets its view (with its blocks)
        m_layoutView->setNeedsLayout();
        return nullptr;
    }
    return view;
}

void PLRLayoutViewProxy::blockWasInserted(PLRSection* section, PLRBlock* block, PLRBlock* parent, int index)
{
    if (PLRSectionView* view = sectionViewFor(section))
        view->insertBlockView(block, index, parent);
}

void PLRLayoutViewProxy::blockWasRemoved(PLRSection* section, const PLRBlock* block)
{
    if (PLRSectionView* view = sectionViewFor(section))
        view->removeBlockView(block);
}

void PLRLayoutViewProxy::blockWasReplaced(PLRSection* section, const PLRBlock* oldBlock, PLRBlock* newBlock)
{
    if (PLRSectionView* view = sectionViewFor(section))
        view->swapBlockView(oldBlock, newBlock);
}

void PLRLayoutViewProxy::sectionWasReloaded(PLRSection* section)
{
    if (PLRSectionView* view = sectionViewFor(section))
        view->reloadBlockViews();
}

void PLRLayoutViewProxy::layoutWasReloaded()
{
    if (m_layoutView)
        m_layoutView->reloadLayout();
}

void PLRLayoutViewProxy::layoutDidChange()
{
    if (!m_layoutView)
        return;
    m_layoutView->updateConstraints();
    m_layoutView->update();
    emit layoutChanged();
}

void PLRLayoutViewProxy::imageDidChange(const QString& identifier)
{
    if (m_layoutView)
        m_layoutView->imageDidChange(identifier);
    emit imageChanged(identifier);
}

void PLRLayoutViewProxy::managerDidHoverBlock(PLRBlock* block)
{
    // Download buttons draw their hover colours.
    for (PLRBlock* changed : {m_lastHoverBlock, block}) {
        if (PLRBlockView* view = m_layoutView ? m_layoutView->blockViewForBlock(changed) : nullptr)
            view->update();
    }
    m_lastHoverBlock = block;
    emit hoverBlockChanged(block);
}
