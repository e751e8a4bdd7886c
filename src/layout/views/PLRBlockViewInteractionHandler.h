#pragma once

#include <QRectF>

class QPainter;

// The slot of a block view for the canvas's per-block interaction handler (set by the canvas;
// the block view owns it). The layout engine only keeps it and lets it draw its decorations
// over the block on screen; it never takes part in exports.
class PLRBlockViewInteractionHandler {
public:
    virtual ~PLRBlockViewInteractionHandler() = default;
    // Draws edit decorations over the block (on-screen painting only). Default: nothing.
    virtual void drawDecorations(QPainter& painter, const QRectF& bounds)
    {
        Q_UNUSED(painter);
        Q_UNUSED(bounds);
    }
};
