#pragma once

#include "layout/base/PLRLayoutChange.h"
#include "canvas/interaction/section_interaction_handlers/PLRSectionInteractionHandler.h"
#include "platform/NotificationCenter.h"
#include "platform-ui/View.h"

#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

class PLRBlockView;
class PLRLayoutBlockInteractionHandler;
class PLRLayoutDocumentView;
class PLRLayoutManager;
class PLRLayoutViewProxy;
class PLRPostManager;
class QAbstractScrollArea;
class QMimeData;

namespace platform {
class UndoManager;
}

// The transparent overlay of the canvas: it lies over the drawn layout (the document view) and
// turns the user's input into the layout manager's selection, edit mode and tree edits, every
// edit recorded on the undo manager as the change it made (PLRLayoutChange). It draws the
// hover and selection outlines, the edit-mode decorations, the recycler's target outline and
// the drop indicator.
//
// Input: a click selects the block under the pointer (Shift adds it to the selection), a click
// on nothing clears the selection; a double click puts an image block (crop) or a text block
// (in-place editing) in edit mode; Delete and Backspace remove the selected blocks; Escape
// leaves edit mode, then clears the selection; the undo and redo keys undo and redo. Photos
// dragged in with the "com.pellora.image.ref" format, and new text, spacer and download-button
// blocks dragged from the add-block popover, are placed where the drop indicator shows.
//
// Moving: dragging a block (or, when it is selected, every selected block) carries the blocks
// to the drop zone under the pointer, as one undoable change. A press on a selected block keeps
// the selection until the button comes up without a drag. A spacer shows a resize handle while
// it is selected alone; an image in edit mode shows corner handles that scale the photo.
//
// Scrolling during a drag: a drag that rests or moves in a band along the visible top or bottom
// edge of the canvas scrolls it, faster nearer the edge, on a timer the drag starts; the drop
// indicator follows the page under the resting pointer. It stops when the drag leaves the band,
// leaves the canvas, is dropped or cancelled, or the canvas can scroll no further.
//
// Coordinates: the view is flipped (origin top-left, y down) and covers the document view;
// layout points are view points minus the page origin, divided by the magnification.
class PLRLayoutInteractionView : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRLayoutInteractionView(PLRLayoutDocumentView* documentView);
    ~PLRLayoutInteractionView() override;

    bool isFlipped() const override { return true; }

    // The live layout to edit; the post manager gives the photos and the undo manager records
    // the edits (either may be null). Starts observing the selection and recycle notifications.
    void setLayoutViewProxy(PLRLayoutViewProxy* proxy, PLRPostManager* postManager, platform::UndoManager* undoManager);
    PLRLayoutViewProxy* layoutViewProxy() const;
    PLRLayoutManager* layoutManager() const;
    platform::UndoManager* undoManager() const;
    PLRLayoutDocumentView* documentView() const { return m_documentView; }

    // --- Geometry -----------------------------------------------------------------------------
    double magnification() const;
    QPointF layoutPointFromView(const QPointF& point) const;
    QPointF viewPointFromLayout(const QPointF& point) const;
    QRectF viewRectFromLayout(const QRectF& rect) const;
    // The block (not a container) under a view point, or null.
    PLRBlock* blockAtPoint(const QPointF& viewPoint) const;
    // The block's frame in view coordinates (null when it has no view).
    QRectF viewRectForBlock(const PLRBlock* block) const;
    PLRBlockView* blockViewForBlock(const PLRBlock* block) const;
    // The canvas handler of a block's view (set when missing).
    PLRLayoutBlockInteractionHandler* handlerForBlock(const PLRBlock* block);

    // Lays the layout out now, gives every block view its handler, sizes the document view and
    // places any editor (otherwise done on the next turn of the event loop after a change).
    void refresh();

    // --- Editing ------------------------------------------------------------------------------
    // A click at a view point (as the mouse gives it).
    void clickAtPoint(const QPointF& viewPoint, Qt::KeyboardModifiers modifiers, int clickCount = 1);
    // Removes the selected blocks, recorded as one undoable change ("Delete"). Answers whether
    // anything was removed.
    bool deleteSelectedBlocks();
    // Puts the block in edit mode (image crop, text editing); null leaves edit mode.
    void setEditBlock(PLRBlock* block);
    // Ends edit mode, recording what the edit changed.
    void endEditing();
    bool isEditingText() const;

    // --- Drops ----------------------------------------------------------------------------------
    // Whether the data may be dropped on a layout being edited: photos (at least one identifier
    // of a photo of the post), a new block of a kind offered, or the blocks of this canvas's
    // own drag under way (not while a text is being edited).
    bool canAcceptDrop(const QMimeData* mimeData) const;
    // The drop zone at a view point (invalid where nothing can be dropped).
    PLRDropZone dropZoneAtPoint(const QPointF& viewPoint) const;
    // The zone the indicator shows during a drag (invalid otherwise).
    PLRDropZone currentDropZone() const { return m_dropZone; }
    // Places new image blocks for the photos at the zone, recorded as one undoable change.
    // Unknown identifiers are left out (logged); photos already in the layout go through the
    // distinct-images check first (its alert; nothing is placed when it refuses). The blocks
    // placed.
    QList<PLRBlock*> insertImages(const QStringList& identifiers, const PLRDropZone& zone);

    // --- New blocks -----------------------------------------------------------------------------
    // A new text, spacer or download-button block (plr::kBlockKindText, kBlockKindBlank,
    // kBlockKindDownloadButton) made by the layout manager and placed at the zone, recorded as
    // one undoable change; the block is selected, and a new text block goes straight into
    // in-place editing. The block placed, or null (another kind, no place).
    PLRBlock* insertNewBlock(int kind, const PLRDropZone& zone);
    // The same at the end of the layout's last section (a section is made when there is none),
    // scrolled into view.
    PLRBlock* appendNewBlock(int kind);
    // The zone at the end of the layout's last section.
    PLRDropZone endOfLayoutZone() const;

    // --- Moving blocks --------------------------------------------------------------------------
    // Moves the blocks to the zone, recorded as one undoable change ("Move Block", "Move
    // Blocks"); a block inside another of them goes with it, and they keep their order in the
    // layout. Containers they leave are dissolved as removeBlock does (after the blocks are
    // back in, for a gap, which stays between the blocks it lay between: a move into a gap
    // beside the block itself changes nothing). Refused, with nothing changed, while a text
    // block is edited in place, when none of the blocks is in the layout, or when the zone is
    // on a moved block or inside one. Answers whether the blocks moved.
    bool moveBlocks(const QList<PLRBlock*>& blocks, const PLRDropZone& zone);
    // Whether the zone may take the blocks (not on one of them, nor inside one).
    bool canMoveBlocksToZone(const QList<PLRBlock*>& blocks, const PLRDropZone& zone) const;
    // The blocks a drag from this canvas carries now (empty when none is under way).
    QList<PLRBlock*> draggedBlocks() const;
    // Starts a drag of the blocks (as a press and move on a block does). The drag runs through
    // the runner when one is set (it gets the drag's data and owns it; tests drop it where they
    // want), else as a system drag.
    void beginBlockDrag(const QList<PLRBlock*>& blocks);
    void setDragRunner(std::function<void(QMimeData* mimeData)> runner) { m_dragRunner = std::move(runner); }

    // --- Scrolling during a drag -------------------------------------------------------------
    // Height of the bands along the visible top and bottom edges, in pixels; the largest step
    // (at the very edge) in pixels; the time between steps.
    static constexpr double kAutoScrollBand = 48.0;
    static constexpr int kAutoScrollMaxStep = 24;
    static constexpr int kAutoScrollIntervalMs = 20;
    // The step for a drag at height y of a visible area `height` tall: negative (up) in the top
    // band, positive (down) in the bottom band, 0 elsewhere; larger nearer the edge.
    static int autoScrollStep(double y, double height);
    bool isAutoScrolling() const { return m_autoScrollTimer.isActive(); }

    // The recycle notification: draw the recycler's target outline again.
    void mouseOverRecycle(const platform::Notification& notification);

    // Canvas alpha (the entrance fades it in).
    double overlayAlpha() const { return m_alpha; }
    void setOverlayAlpha(double alpha);

signals:
    // The view rectangle should be scrolled into view.
    void scrollToRectRequested(const QRectF& viewRect);
    // A drop was handled (the blocks placed; none when it was refused).
    void dropPerformed(const QList<PLRBlock*>& blocks);

protected:
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseDragged(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;
    void mouseCancelled() override;
    void mouseMoved(const platform::ui::MouseEvent& event) override;
    void mouseExited(const platform::ui::MouseEvent& event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // The tool tip of a photo's mark: why its photo cannot be used.
    bool event(QEvent* event) override;

private:
    QList<PLRBlock*> placeImages(const QStringList& identifiers, const PLRDropZone& zone);
    QList<PLRBlock*> blocksForReferences(const QMimeData* mimeData) const;
    // The block whose handles take presses: the edit block, or a block selected alone whose
    // handler shows its handles when selected.
    PLRBlock* handleBlock();
    QPixmap dragPixmap(const QList<PLRBlock*>& blocks) const;
    PLRDropZone zoneForDrop(const QMimeData* mimeData, const QPointF& viewPoint) const;
    void scheduleRefresh();
    void syncHandlers();
    void blockWasSelected(const platform::Notification& notification);
    void editBlockChanged(PLRBlock* block);
    void hoverAt(const QPointF& viewPoint);
    void updateCursor(const QPointF& viewPoint);
    // Ends the drag of a block's handles under way at the view point, as one step.
    void finishPan(const QPointF& viewPoint);
    PLRBlock* resolveBlock(const QVariant& item) const;
    bool knowsImage(const QString& identifier) const;
    void drawOutline(QPainter& painter, const QRectF& viewRect, const QColor& colour, double width);
    void drawDropIndicator(QPainter& painter);
    void stopObserving();
    // The scroll view the canvas shows in (null when it is not in one).
    QAbstractScrollArea* enclosingScrollArea() const;
    // A drag at the view point: starts, keeps or stops the scrolling by the edges.
    void followDragForAutoScroll(const QPointF& viewPoint, const QMimeData* mimeData);
    void stopAutoScroll();
    void autoScrollTick();

    QPointer<PLRLayoutDocumentView> m_documentView;
    QPointer<PLRLayoutViewProxy> m_proxy;
    QPointer<PLRPostManager> m_postManager;
    QPointer<platform::UndoManager> m_undoManager;
    QList<QMetaObject::Connection> m_connections;
    bool m_observing = false;
    bool m_refreshScheduled = false;
    PLRDropZone m_dropZone;
    PLRBlock* m_editBlock = nullptr;
    PLRLayoutChangeRecorder m_editRecorder;   // what the current edit mode changes
    // The crop a photo had when its crop mode began, for Escape to put back.
    QByteArray m_cropStartPosition;           // empty: no position of its own
    float m_cropStartRatio = 0.0f;
    PLRLayoutChangeRecorder m_panRecorder;    // one drag of a block's handles (crop, resize)
    PLRBlock* m_panBlock = nullptr;
    QPointF m_panPoint;                       // where that drag was last (view coordinates)
    // A press on a block that may become a drag of blocks.
    PLRBlock* m_pressBlock = nullptr;
    QPointF m_pressPoint;
    bool m_deferredClick = false;             // the press kept the selection
    Qt::KeyboardModifiers m_pressModifiers;
    QString m_dragToken;                      // the drag of blocks under way, if any
    QList<PLRBlock*> m_draggedBlocks;
    std::function<void(QMimeData*)> m_dragRunner;
    bool m_inEndEditing = false;
    double m_alpha = 1.0;
    QTimer m_autoScrollTimer;
    QPointF m_autoScrollPoint;                // the drag's last point in the scroll view's viewport
    QPointer<const QMimeData> m_autoScrollData;
};
