#pragma once

#include "layout/block_draw_handlers/PLRBlockDrawHandler.h"

#include <QColor>
#include <QImage>
#include <QSizeF>
#include <QStringList>

// Draws an image block: its photo filling the block, placed by the crop position; the
// photo's keywords as badges while the manager's keyword overlay is on (never while
// exporting); a placeholder while the photo is not ready, with an error mark when the photo
// is missing from the post's folder.
//
// Which picture: the provider's cached export image, or the full-size photo while the layout
// is being exported or when the block is wider than the standard layout width (1500) in
// device pixels.
//
// Crop position (the image's `position`, absent for the default):
//   - width: the drawn photo's width as a multiple of the block's width; the photo is never
//     drawn smaller than needed to fill the block (0 or absent: exactly filling it);
//   - x, y: the drawn photo's top-left corner relative to the block's top-left corner, as
//     fractions of the block's width and height (so the crop survives any layout width);
//     absent: the photo is centred. The photo is kept over the whole block.
class PLRBlockDrawHandler_Image : public PLRBlockDrawHandler {
public:
    static constexpr double kStandardLayoutWidth = 1500.0;

    using PLRBlockDrawHandler::PLRBlockDrawHandler;
    int blockKind() const override { return plr::kBlockKindImage; }
    static void drawBlock(QPainter& painter, const QRectF& bounds, const PLRBlock& block, const PLRBlockDrawContext& context);

    // The rectangle the photo is drawn into (it covers `bounds`); null for an empty size.
    static QRectF imageRectInBlock(const QRectF& bounds, const QSizeF& imageSize, const PLRPosition* position);
    static QColor placeholderColour();   // E5E5E5
    static QColor errorColour();         // FF3B30
    static void drawPlaceholder(QPainter& painter, const QRectF& bounds, bool missing);
    static void drawKeywordBadges(QPainter& painter, const QRectF& bounds, const QStringList& keywords);
};
