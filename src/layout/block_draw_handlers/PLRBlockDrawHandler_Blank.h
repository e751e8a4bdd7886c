#pragma once

#include "layout/block_draw_handlers/PLRBlockDrawHandler.h"

// A blank block is a spacer: it draws nothing, the layout's background shows through.
class PLRBlockDrawHandler_Blank : public PLRBlockDrawHandler {
public:
    using PLRBlockDrawHandler::PLRBlockDrawHandler;
    int blockKind() const override { return plr::kBlockKindBlank; }
};
