#pragma once

#include "layout/views/PLRBlockViewInteractionHandler.h"
#include "model/PLRLayoutDocument.h"
#include "text/PLRRichTextEditor.h"

#include <QPointF>
#include <QPointer>
#include <QRectF>

#include <memory>

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
    // The canvas moved or scaled: place any editing widget again.
    virtual void canvasGeometryChanged() {}

private:
    PLRBlockView* m_view;
    QPointer<PLRLayoutInteractionView> m_canvas;
};

// Image blocks: in edit mode a drag pans the photo inside the block (its crop position, kept in
// the block's image position as fractions of the block's size).
class PLRLayoutBlockInteractionHandler_Image : public PLRLayoutBlockInteractionHandler {
public:
    using PLRLayoutBlockInteractionHandler::PLRLayoutBlockInteractionHandler;
    int blockKind() const override { return plr::kBlockKindImage; }
    bool supportsEditMode() const override { return true; }
    bool mouseDown(const QPointF& point) override;
    void mouseDragged(const QPointF& point) override;
    void mouseUp(const QPointF& point) override;
    void drawEditDecorations(QPainter& painter, const QRectF& frame) override;
    bool isPanning() const { return m_panning; }

    // The photo's rectangle in the block (block coordinates, origin top-left), as drawn.
    QRectF imageRect() const;
    // Moves the photo so its top-left corner is at `origin` (block coordinates), kept over the
    // whole block, and writes the crop into the block.
    void setImageOrigin(const QPointF& origin);

private:
    bool m_panning = false;
    QPointF m_pressPoint;
    QPointF m_startOrigin;
};

// Text blocks: in edit mode the text is edited in place by a rich-text editor over the block.
class PLRLayoutBlockInteractionHandler_Text : public PLRLayoutBlockInteractionHandler {
public:
    using PLRLayoutBlockInteractionHandler::PLRLayoutBlockInteractionHandler;
    ~PLRLayoutBlockInteractionHandler_Text() override;
    int blockKind() const override { return plr::kBlockKindText; }
    bool supportsEditMode() const override { return true; }
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

// Blank blocks: selectable, nothing of their own in edit mode.
class PLRLayoutBlockInteractionHandler_Blank : public PLRLayoutBlockInteractionHandler {
public:
    using PLRLayoutBlockInteractionHandler::PLRLayoutBlockInteractionHandler;
    int blockKind() const override { return plr::kBlockKindBlank; }
};
