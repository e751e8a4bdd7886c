#pragma once

#include "layout/views/PLRBlockViewInteractionHandler.h"
#include "store/model/PLRLayoutDocument.h"
#include "canvas/text/PLRRichTextEditor.h"

#include <QPointF>
#include <QPointer>
#include <QRectF>

#include <memory>
#include <string>
#include <vector>

class PLRBlockView;
class PLRLayoutInteractionView;
class PLRLayoutManager;
class QPainter;

// The canvas's handler of one block view (image, text and blank blocks; none for containers and
// download buttons): what the block does in edit mode. The canvas sets it on the block view,
// which owns it. Points are in layout-view coordinates.
class PLRLayoutBlockInteractionHandler : public PLRBlockViewInteractionHandler {
public:
    PLRLayoutBlockInteractionHandler(PLRBlockView* view, PLRLayoutInteractionView* canvas);
    ~PLRLayoutBlockInteractionHandler() override;

    // The handler for the view's block kind; null for containers and download buttons.
    static std::unique_ptr<PLRLayoutBlockInteractionHandler> handlerForBlockView(PLRBlockView* view,
                                                                                PLRLayoutInteractionView* canvas);

    PLRBlockView* blockView() const { return m_view; }
    PLRBlock* block() const;
    PLRLayoutManager* layoutManager() const;
    PLRLayoutInteractionView* canvas() const { return m_canvas; }
    virtual int blockKind() const = 0;

    // Whether a double click puts the block in edit mode.
    virtual bool supportsEditMode() const { return false; }
    // The block became / stopped being the layout manager's edit block.
    virtual void editModeDidBegin() {}
    virtual void editModeDidEnd() {}
    // A press in the block while it is in edit mode; true when the handler takes the drag.
    virtual bool mouseDown(const QPointF& point) { Q_UNUSED(point); return false; }
    virtual void mouseDragged(const QPointF& point) { Q_UNUSED(point); }
    virtual void mouseUp(const QPointF& point) { Q_UNUSED(point); }
    // Edit-mode decorations, drawn by the canvas over the layout (canvas painter, layout-view
    // coordinates already applied).
    virtual void drawEditDecorations(QPainter& painter, const QRectF& frame) { Q_UNUSED(painter); Q_UNUSED(frame); }
    // The canvas moved or scaled, or the block changed: place any editing widget again and
    // show the block as it is now.
    virtual void canvasGeometryChanged() {}
    // The cursor over a point (layout-view coordinates) while the block shows its handles;
    // false for the canvas's usual cursor.
    virtual bool cursorAt(const QPointF& point, Qt::CursorShape* shape) const
    {
        Q_UNUSED(point);
        Q_UNUSED(shape);
        return false;
    }
    // Whether the block also shows its handles (and takes presses on them) while it is the only
    // selected block, not only in edit mode.
    virtual bool handlesWhenSelected() const { return false; }
    // The name of the undoable change a drag of the handler makes.
    virtual QString dragActionName() const { return QString(); }
    // The block's fields (paths as PLRLayoutChange names them) that its drags and edit mode
    // change: all that their undo step takes back or does again.
    virtual std::vector<std::string> editedFields() const { return {}; }

    // Handles are this many view pixels wide, whatever the magnification.
    static constexpr double kHandleSize = 10.0;
    // Snapping reaches this far, in view pixels.
    static constexpr double kSnapDistance = 6.0;

protected:
    // View pixels in layout points at the canvas's magnification.
    double layoutLength(double viewPixels) const;

private:
    PLRBlockView* m_view;
    QPointer<PLRLayoutInteractionView> m_canvas;
};

// Image blocks: the crop. In edit mode a drag in the block pans the photo inside it, a drag on
// one of the block's corner handles scales the photo about the block's centre (at least as
// large as the block, at most kMaximumScale times that); both keep the photo over the whole
// block and snap the photo's centre to the block's centre lines when it comes within
// kSnapDistance. The crop is kept in the block's image position as fractions of the block's
// size (x, y of the photo's top-left corner, width).
class PLRLayoutBlockInteractionHandler_Image : public PLRLayoutBlockInteractionHandler {
public:
    using PLRLayoutBlockInteractionHandler::PLRLayoutBlockInteractionHandler;
    int blockKind() const override { return plr::kBlockKindImage; }
    bool supportsEditMode() const override { return true; }
    bool mouseDown(const QPointF& point) override;
    void mouseDragged(const QPointF& point) override;
    void mouseUp(const QPointF& point) override;
    void drawEditDecorations(QPainter& painter, const QRectF& frame) override;
    bool cursorAt(const QPointF& point, Qt::CursorShape* shape) const override;
    QString dragActionName() const override { return QStringLiteral("Crop Image"); }
    std::vector<std::string> editedFields() const override { return {"image.position"}; }
    bool isPanning() const { return m_drag == Drag::Pan; }
    bool isResizing() const { return m_drag == Drag::Resize; }

    static constexpr double kMaximumScale = 10.0;

    // The photo's rectangle in the block (block coordinates, origin top-left), as drawn.
    QRectF imageRect() const;
    // Moves the photo so its top-left corner is at `origin` (block coordinates), kept over the
    // whole block, and writes the crop into the block.
    void setImageOrigin(const QPointF& origin);
    // Gives the photo the rectangle's width (within the bounds above; the height follows the
    // photo's ratio) at the rectangle's top-left corner, kept over the whole block, and writes
    // the crop into the block.
    void setImageRect(const QRectF& rect);
    // The block corner (0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left) whose handle
    // is at the point (layout-view coordinates), or -1.
    int cornerAt(const QPointF& point) const;

private:
    enum class Drag { None, Pan, Resize };
    QPointF toBlock(const QPointF& point) const;
    QPointF snapped(const QRectF& rect);

    Drag m_drag = Drag::None;
    int m_corner = -1;
    QPointF m_pressPoint;
    QRectF m_startRect;
    bool m_snapX = false;
    bool m_snapY = false;
};

// Text blocks: in edit mode the text is edited in place by a rich-text editor over the block.
class PLRLayoutBlockInteractionHandler_Text : public PLRLayoutBlockInteractionHandler {
public:
    using PLRLayoutBlockInteractionHandler::PLRLayoutBlockInteractionHandler;
    ~PLRLayoutBlockInteractionHandler_Text() override;
    int blockKind() const override { return plr::kBlockKindText; }
    bool supportsEditMode() const override { return true; }
    std::vector<std::string> editedFields() const override { return {"text.value", "text.html"}; }
    void editModeDidBegin() override;
    void editModeDidEnd() override;
    void canvasGeometryChanged() override;

    // The editor while the block is edited, else null.
    PLRRichTextEditor* editor() const { return m_editor; }
    bool isEditing() const { return m_editor != nullptr; }

    // Makes `delegate` the rteDelegate of the block's editor (now and whenever editing starts).
    void setTextViewDelegate(PLRRichTextEditorDelegate* delegate);
    PLRRichTextEditorDelegate* textViewDelegate() const { return m_delegate; }
    void toggleCurrentSelectionBold();
    void toggleCurrentSelectionItalic();
    void toggleCurrentSelectionUnderline();
    void toggleCurrentSelectionLink();

    // Writes the editor's text into the block (value and html) and announces the change.
    void writeEditorTextToBlock();

private:
    void placeEditor();

    QPointer<PLRRichTextEditor> m_editor;
    PLRRichTextEditorDelegate* m_delegate = nullptr;
    QPointer<QObject> m_delegateObject;
    bool m_delegateIsObject = false;
    bool m_writing = false;
};

// Blank blocks (spacers): resized by the handle on their bottom edge, shown while the spacer is
// the only selected block or in edit mode. Dragging it sets the spacer's height (at least
// kMinimumHeight), kept as the block's aspect ratio (width over height, within the layout's
// ratio bounds); the canvas is laid out again as the handle moves.
class PLRLayoutBlockInteractionHandler_Blank : public PLRLayoutBlockInteractionHandler {
public:
    using PLRLayoutBlockInteractionHandler::PLRLayoutBlockInteractionHandler;
    int blockKind() const override { return plr::kBlockKindBlank; }
    bool supportsEditMode() const override { return true; }
    bool handlesWhenSelected() const override { return true; }
    bool mouseDown(const QPointF& point) override;
    void mouseDragged(const QPointF& point) override;
    void mouseUp(const QPointF& point) override;
    void drawEditDecorations(QPainter& painter, const QRectF& frame) override;
    bool cursorAt(const QPointF& point, Qt::CursorShape* shape) const override;
    QString dragActionName() const override { return QStringLiteral("Resize Spacer"); }
    std::vector<std::string> editedFields() const override { return {"aspect_ratio"}; }
    bool isResizing() const { return m_resizing; }

    static constexpr double kMinimumHeight = 4.0;

    // The handle's rectangle, layout-view coordinates (empty without a frame).
    QRectF handleRect() const;
    // Gives the spacer the height (layout points) at its present width.
    void setHeight(double height);

private:
    bool m_resizing = false;
    double m_pressY = 0.0;
    double m_startHeight = 0.0;
};
