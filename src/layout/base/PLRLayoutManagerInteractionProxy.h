#pragma once

#include "store/model/PLRLayoutDocument.h"

#include <QList>
#include <QPointer>

class PLRLayoutManager;

// An object told by a layout manager when its selection, edit block, hover block or selected
// section changes (the canvas overlay, the inspector, the block-properties page, the export
// panel). Every call-back is optional: the defaults do nothing.
//
// The manager does not own its interaction proxies. A proxy leaves every manager it joined when
// it is destroyed, so a manager never calls a dead proxy.
class PLRLayoutManagerInteractionProxy {
public:
    // Who the proxy is, for the few call-backs that depend on it (see
    // PLRLayoutManager::setEditBlock).
    enum class Role { Other, Inspector, BlockProperties };

    PLRLayoutManagerInteractionProxy() = default;
    PLRLayoutManagerInteractionProxy(const PLRLayoutManagerInteractionProxy&) = delete;
    PLRLayoutManagerInteractionProxy& operator=(const PLRLayoutManagerInteractionProxy&) = delete;
    virtual ~PLRLayoutManagerInteractionProxy();

    virtual Role interactionProxyRole() const { return Role::Other; }

    virtual void layoutManagerDidSelectBlocks(PLRLayoutManager* manager, const QList<PLRBlock*>& blocks)
    {
        Q_UNUSED(manager);
        Q_UNUSED(blocks);
    }
    virtual void layoutManagerDidSetEditBlock(PLRLayoutManager* manager, PLRBlock* block)
    {
        Q_UNUSED(manager);
        Q_UNUSED(block);
    }
    virtual void layoutManagerDidSelectSection(PLRLayoutManager* manager, PLRSection* section)
    {
        Q_UNUSED(manager);
        Q_UNUSED(section);
    }
    virtual void layoutManagerDidHoverBlock(PLRLayoutManager* manager, PLRBlock* block)
    {
        Q_UNUSED(manager);
        Q_UNUSED(block);
    }

private:
    friend class PLRLayoutManager;
    QList<QPointer<PLRLayoutManager>> m_joinedManagers;
};
