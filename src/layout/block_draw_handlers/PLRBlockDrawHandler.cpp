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

bool PLRBlockDrawHandler::drawsCanvasMarks() const
{
    const PLRLayoutViewProxy* proxy = m_view ? m_view->layoutViewProxy() : nullptr;
    const PLRLayoutManager* manager = layoutManager();
    return proxy && proxy->isLive() && manager && !manager->layoutIsBeingExported();
}
