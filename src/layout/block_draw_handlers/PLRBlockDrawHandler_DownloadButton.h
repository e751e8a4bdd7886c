#pragma once

#include "layout/block_draw_handlers/PLRBlockDrawHandler.h"

#include <QColor>
#include <QFont>

// Draws a download-button block: a button centred in the block with the block's title, in
// the colours (fill and line; the hover colours while the pointer is over the block on the
// canvas), style (box, rounded, pill) and size (small, medium, large) of the block.
class PLRBlockDrawHandler_DownloadButton : public PLRBlockDrawHandler {
public:
    struct Metrics {
        double height;              // of the button
        double fontSize;
        double horizontalPadding;   // between the title and the button's sides
    };

    using PLRBlockDrawHandler::PLRBlockDrawHandler;
    int blockKind() const override { return plr::kBlockKindDownloadButton; }
    static void drawBlock(QPainter& painter, const QRectF& bounds, const PLRBlock& block, const PLRBlockDrawContext& context);

    static Metrics metricsForSize(int size);
    static QFont titleFont(int size);
    // The colour of a DownloadColour value; transparent for None.
    static QColor colour(int downloadColour);
    // The title's colour on that fill.
    static QColor titleColour(int fillColour, int lineColour);
    static double cornerRadius(int style, double height);
    // The button's rectangle inside the block's.
    static QRectF buttonRectInBlock(const QRectF& bounds, const PLRBlock_Download_Button& button);
    // The block height the button needs (the button's own height).
    static double heightForWidth(const PLRBlock_Download_Button& button, double width);
};
