#include "canvas/interaction/PLRLayoutInteractionView.h"

#include "layout/base/PLRLayoutImageProvider.h"
#include "layout/base/PLRLayoutManager.h"
#include "layout/base/PLRLayoutTree.h"
#include "canvas/interaction/PLRLayoutBlockInteractionHandler.h"
#include "canvas/interaction/PLRLayoutDocumentView.h"
#include "canvas/interaction/PLRLayoutInteraction.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "layout/views/PLRSectionView.h"
#include "store/persistance-store/source/PLRImagesDistinctionVerifier.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/UndoManager.h"
#include "platform-ui/Color.h"
#include "store/session/PLRPostManager.h"

// --- New blocks ----------------------------------------------------------------------------------

PLRDropZone PLRLayoutInteractionView::endOfLayoutZone() const
{
    PLRDropZone zone;
    PLRLayoutManager* manager = layoutManager();
    if (!manager)
        return zone;
    PLRLayout* layout = manager->representedLayout();
    PLRSection* last = layout->sections_size() > 0 ? layout->mutable_sections(layout->sections_size() - 1) : nullptr;
    if (last && !PLRSectionInteractionHandler::handlerForSection(*last)) {
        PLR_LOG_WARN(QStringLiteral("Blocks cannot be added to the layout's last section (of another kind)"));
        return zone;
    }
    bool hasBlocks = false;
    for (const PLRSection& section : layout->sections())
        hasBlocks = hasBlocks || section.blocks_size() > 0;
    zone.section = last;
    if (!hasBlocks) {
        zone.kind = PLRDropZone::Kind::EmptyLayout;
        return zone;
    }
    zone.kind = PLRDropZone::Kind::Section;
    zone.index = last->blocks_size();
    return zone;
}

PLRBlock* PLRLayoutInteractionView::insertNewBlock(int kind, const PLRDropZone& zone)
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager || !zone.isValid())
        return nullptr;
    PLRBlockPtr block;
    QString actionName;
    switch (kind) {
    case plr::kBlockKindText:
        block = PLRLayoutManager::newBlock_Text();
        actionName = QStringLiteral("Add Text");
        break;
    case plr::kBlockKindBlank:
        block = PLRLayoutManager::newBlock_Blank();
        actionName = QStringLiteral("Add Spacer");
        break;
    case plr::kBlockKindDownloadButton:
        block = PLRLayoutManager::newBlock_DownloadButton();
        actionName = QStringLiteral("Add Download Button");
        break;
    default:
        PLR_LOG_WARN(QStringLiteral("No new block of kind %1 is offered; nothing added").arg(kind));
        return nullptr;
    }
    endEditing();
    if (!PLRSectionInteractionHandler::zoneIsInLayout(manager, zone)) {
        PLR_LOG_WARN(QStringLiteral("The place of the drop is no longer in the layout; nothing added"));
        return nullptr;
    }
    PLRLayoutChangeRecorder recorder(manager, m_undoManager, actionName);
    PLRBlockPtrList blocks;
    blocks.push_back(std::move(block));
    const QList<PLRBlock*> placed = PLRSectionInteractionHandler::insertBlocksAtZone(manager, std::move(blocks), zone);
    recorder.commit();
    refresh();
    if (placed.isEmpty())
        return nullptr;
    PLRBlock* added = placed.first();
    manager->selectBlocks({added});
    setFocus(Qt::OtherFocusReason);   // the canvas's keys (undo, delete) act on it at once
    if (kind == plr::kBlockKindText)
        setEditBlock(added);   // typed into at once
    return added;
}

PLRBlock* PLRLayoutInteractionView::appendNewBlock(int kind)
{
    PLRBlock* block = insertNewBlock(kind, endOfLayoutZone());
    if (block) {
        const QRectF rect = viewRectForBlock(block);
        if (!rect.isEmpty())
            emit scrollToRectRequested(rect);
    }
    return block;
}
