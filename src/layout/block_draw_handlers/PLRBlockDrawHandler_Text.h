#pragma once

#include "layout/block_draw_handlers/PLRBlockDrawHandler.h"

#include <QColor>
#include <QFont>

#include <memory>

class QTextDocument;

// Draws a text block as its in-place editor shows it: its formatted text (bold, italic,
// underline, links in the link colour) in the font of its style (Header1-Header5, Paragraph),
// wrapped in a box that is the width fraction of the block (position.width, as made by
// PLRLayoutManager::widthValueForTextWidth; anything outside (0, 1] means the whole width)
// and placed by the alignment (left, centre, right; justified text uses a centred box).
class PLRBlockDrawHandler_Text : public PLRBlockDrawHandler {
public:
    using PLRBlockDrawHandler::PLRBlockDrawHandler;
    int blockKind() const override { return plr::kBlockKindText; }
    static void drawBlock(QPainter& painter, const QRectF& bounds, const PLRBlock& block, const PLRBlockDrawContext& context);

    static QFont fontForStyle(int style);
    static QColor textColour();
    static double widthFraction(const PLRBlock_Text& text);
    static int textFlags(const PLRBlock_Text& text);
    // The box the text wraps in, inside the block's rectangle.
    // The inner margin between a text block's edges and its text, in layout points: the same on
    // the canvas, in the in-place editor, in exports and in previews (a selection border drawn on
    // the block's edge never covers a letter).
    static constexpr double kTextInset = 6.0;
    static QRectF textRectInBlock(const QRectF& bounds, const PLRBlock_Text& text);
    // The height the text needs when its block is that wide (at least one line).
    static double heightForWidth(const PLRBlock_Text& text, double blockWidth);
    // The block's formatted text laid out in a document `width` wide, as drawn: the font of its
    // style, the text colour, its alignment. Null without a GUI application to measure text.
    static std::unique_ptr<QTextDocument> documentForText(const PLRBlock_Text& text, double width);
    // What an empty text block shows on the canvas.
    static QString emptyTextHint();

private:
    static void drawEmptyTextHint(QPainter& painter, const QRectF& bounds, const PLRBlock& block, const PLRBlockDrawContext& context);
};
