#include "layout/block_draw_handlers/PLRBlockDrawHandler.h"

#include "layout/base/PLRLayoutManager.h"
#include "layout/block_draw_handlers/PLRBlockDrawHandler_Blank.h"
#include "layout/block_draw_handlers/PLRBlockDrawHandler_DownloadButton.h"
#include "layout/block_draw_handlers/PLRBlockDrawHandler_Image.h"
#include "layout/block_draw_handlers/PLRBlockDrawHandler_Text.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutViewProxy.h"

std::unique_ptr<PLRBlockDrawHandler> PLRBlockDrawHandler::handlerForBlockView(PLRBlockView* view)
{
    if (!view || !view->representedBlock())
        return nullptr;
    switch (view->representedBlock()->type_case()) {
    case PLRBlock::kImage:
        return std::make_unique<PLRBlockDrawHandler_Image>(view);
    case PLRBlock::kText:
        return std::make_unique<PLRBlockDrawHandler_Text>(view);
    case PLRBlock::kBlank:
        return std::make_unique<PLRBlockDrawHandler_Blank>(view);
    case PLRBlock::kDownloadButton:
        return std::make_unique<PLRBlockDrawHandler_DownloadButton>(view);
    default:
        return nullptr;   // containers, and blocks of no known kind, draw nothing themselves
    }
}

double PLRBlockDrawHandler::contentHeightForBlock(const PLRBlock& block, double width)
{
    if (block.has_text())
        return PLRBlockDrawHandler_Text::heightForWidth(block.text(), width);
    if (block.has_download_button())
        return PLRBlockDrawHandler_DownloadButton::heightForWidth(block.download_button(), width);
    return 0.0;
}

const PLRBlock* PLRBlockDrawHandler::block() const
{
    return m_view ? m_view->representedBlock() : nullptr;
}

void PLRBlockDrawHandler::invalidateDraw()
{
    clearDrawCache();
    if (m_view)
        m_view->update();
}

PLRLayoutManager* PLRBlockDrawHandler::layoutManager() const
{
    return m_view ? m_view->layoutManager() : nullptr;
}

PLRLayoutImageProvider* PLRBlockDrawHandler::imageProvider() const
{
    PLRLayoutManager* manager = layoutManager();
    return manager ? manager->imageProvider() : nullptr;
}

void PLRBlockDrawHandler::draw(QPainter& painter, const QRectF& bounds)
{
    if (const PLRBlock* drawn = block())
        drawBlock(painter, bounds, *drawn, contextForView(m_view));
}

PLRBlockDrawContext PLRBlockDrawHandler::contextForView(const PLRBlockView* view)
{
    PLRBlockDrawContext context;
    PLRLayoutManager* manager = view ? view->layoutManager() : nullptr;
    if (!manager)
        return context;
    const PLRLayoutViewProxy* proxy = view->layoutViewProxy();
    context.images = manager->imageProvider();
    context.exporting = manager->layoutIsBeingExported();
    context.keywordOverlay = manager->imageKeywordOverlayEnabled();
    context.canvasMarks = proxy && proxy->isLive() && !context.exporting;
    context.hoverBlock = manager->currentHoverBlock();
    context.editBlock = manager->currentEditBlock();
    return context;
}

void PLRBlockDrawHandler::drawBlock(QPainter& painter, const QRectF& bounds, const PLRBlock& block, const PLRBlockDrawContext& context)
{
    switch (block.type_case()) {
    case PLRBlock::kImage:
        PLRBlockDrawHandler_Image::drawBlock(painter, bounds, block, context);
        return;
    case PLRBlock::kText:
        PLRBlockDrawHandler_Text::drawBlock(painter, bounds, block, context);
        return;
    case PLRBlock::kDownloadButton:
        PLRBlockDrawHandler_DownloadButton::drawBlock(painter, bounds, block, context);
        return;
    default:
        return;   // a spacer shows the background; containers and unknown kinds draw nothing themselves
    }
}
