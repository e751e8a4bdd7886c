// Composing on the canvas: new text, spacer and download-button blocks, blocks moved by drag,
// the spacer's resize handle and the photo's scale handles and snapping in crop mode.

#include "CanvasTestSupport.h"

#include "layout/base/PLRLayoutTree.h"
#include "canvas/interaction/PLRLayoutBlockInteractionHandler.h"
#include "layout/section_layout_handlers/PLRStackedSectionSolver.h"
#include "canvas/text/PLRRichTextEditor.h"

#include <QMenu>
#include <QTest>

using canvas_test::CanvasFixture;

namespace {

class CanvasCompose : public CanvasFixture {
protected:
    QString imageRef(const PLRBlock& block) const { return QString::fromStdString(block.image().img_ref()); }
    QString nameOf(const PLRBlock& block) const { return ids.key(imageRef(block)); }

    // Drags of blocks started on the canvas are dropped at `dropAt` (view point) at once.
    void dropDragsAt(const QPointF& dropAt, bool* accepted = nullptr)
    {
        canvas()->setDragRunner([this, dropAt, accepted](QMimeData* mimeData) {
            const bool ok = dropData(mimeData, dropAt);
            if (accepted)
                *accepted = ok;
        });
    }

    // A press on a block and a move far enough to start a drag of it.
    void dragBlockFrom(const QPointF& from)
    {
        sendMouse(QEvent::MouseButtonPress, from);
        QWidget* window = canvas()->window();
        const QPointF windowPoint = canvas()->mapTo(window, from + QPointF(30, 30));
        QMouseEvent move(QEvent::MouseMove, windowPoint, windowPoint, window->mapToGlobal(windowPoint), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &move);
        sendMouse(QEvent::MouseButtonRelease, from + QPointF(30, 30));
    }
};

} // namespace

TEST_F(CanvasCompose, NewBlocksDropBesideABlockOrAppendAndTextIsTypedIntoAtOnce)
{
    PLRBlock* photo = addImage("a.jpg");
    const QByteArray before = bytes();

    // A text dropped on the photo's right edge: a row of the photo and the text, which is being
    // edited.
    QList<PLRBlock*> placed;
    ASSERT_TRUE(dropData(PLRBlockPasteboard::mimeDataForNewBlock(plr::kBlockKindText), pointIn(photo, 0.95, 0.5), &placed));
    EXPECT_EQ(lastIndicator.kind, PLRDropZone::Kind::BesideBlock);
    ASSERT_EQ(placed.size(), 1);
    const PLRBlock& row = layout()->sections(0).blocks(0);
    ASSERT_TRUE(row.has_container());
    EXPECT_FALSE(row.container().vert());
    ASSERT_EQ(row.container().sub_blocks_size(), 2);
    EXPECT_TRUE(row.container().sub_blocks(1).has_text());
    EXPECT_EQ(layoutManager()->currentEditBlock(), placed.first());
    EXPECT_TRUE(canvas()->isEditingText());
    EXPECT_EQ(undo()->undoActionName(), "Add Text");
    const QByteArray withText = bytes();

    // Typed text reaches the block; leaving the editor is an undo step of its own.
    auto* handler = dynamic_cast<PLRLayoutBlockInteractionHandler_Text*>(canvas()->handlerForBlock(placed.first()));
    ASSERT_NE(handler, nullptr);
    ASSERT_NE(handler->editor(), nullptr);
    QTest::keyClicks(handler->editor(), "Dawn");
    canvas()->endEditing();
    EXPECT_EQ(layout()->sections(0).blocks(0).container().sub_blocks(1).text().value(), "Dawn");
    EXPECT_EQ(undo()->undoActionName(), "Edit Text");
    undo()->undo();
    EXPECT_EQ(bytes(), withText);
    undo()->undo();
    EXPECT_EQ(bytes(), before);
    undo()->redo();
    EXPECT_EQ(bytes(), withText);
    canvas()->refresh();

    // A spacer dropped in the gap below everything; a download button appended by a click.
    PLRBlock* top = layout()->mutable_sections(0)->mutable_blocks(0);
    ASSERT_TRUE(dropData(PLRBlockPasteboard::mimeDataForNewBlock(plr::kBlockKindBlank), pointIn(top, 0.5, 1.0) + QPointF(0, 20),
                         &placed));
    EXPECT_EQ(lastIndicator.kind, PLRDropZone::Kind::Section);
    ASSERT_EQ(layout()->sections(0).blocks_size(), 2);
    EXPECT_TRUE(layout()->sections(0).blocks(1).has_blank());
    EXPECT_EQ(undo()->undoActionName(), "Add Spacer");
    EXPECT_FALSE(canvas()->isEditingText());

    PLRBlock* button = canvas()->appendNewBlock(plr::kBlockKindDownloadButton);
    ASSERT_NE(button, nullptr);
    ASSERT_EQ(layout()->sections(0).blocks_size(), 3);
    EXPECT_EQ(&layout()->sections(0).blocks(2), button);
    EXPECT_EQ(button->download_button().title(), "Download");
    EXPECT_EQ(layoutManager()->currentSelectedBlocks(), QList<PLRBlock*>{button});
    EXPECT_EQ(undo()->undoActionName(), "Add Download Button");
    undo()->undo();
    undo()->undo();
    EXPECT_EQ(bytes(), withText);

    // Kinds that are not offered, and data of other programs, place nothing.
    EXPECT_EQ(canvas()->appendNewBlock(plr::kBlockKindContainer), nullptr);
    EXPECT_EQ(canvas()->appendNewBlock(plr::kBlockKindImage), nullptr);
    auto* plain = new QMimeData;
    plain->setText(QStringLiteral("com.pellora.text.ref"));
    EXPECT_FALSE(dropData(plain, pointIn(photo)));
    EXPECT_EQ(PLRBlockPasteboard::mimeDataForNewBlock(plr::kBlockKindImage), nullptr);
    EXPECT_EQ(bytes(), withText);
}

TEST_F(CanvasCompose, AppendingToALayoutWithoutASectionMakesOneAndUndoTakesItAway)
{
    ASSERT_EQ(layout()->sections_size(), 0);
    PLRBlock* text = canvas()->appendNewBlock(plr::kBlockKindText);
    ASSERT_NE(text, nullptr);
    ASSERT_EQ(layout()->sections_size(), 1);
    EXPECT_TRUE(canvas()->isEditingText());
    undo()->undo();
    EXPECT_EQ(layout()->sections_size(), 0);
    EXPECT_FALSE(canvas()->isEditingText());
    undo()->redo();
    ASSERT_EQ(layout()->sections_size(), 1);
    EXPECT_EQ(layout()->sections(0).blocks_size(), 1);
}

TEST_F(CanvasCompose, DraggingAPhotoBesideAnotherMakesARowAndLeavingItDissolvesIt)
{
    PLRBlock* a = addImage("a.jpg");
    PLRBlock* b = addImage("b.jpg");
    addImage("c.jpg");
    const QByteArray before = bytes();

    // b onto the right edge of a: row(a b), c.
    bool accepted = false;
    dropDragsAt(pointIn(a, 0.95, 0.5), &accepted);
    dragBlockFrom(pointIn(b));
    EXPECT_TRUE(accepted);
    ASSERT_EQ(layout()->sections(0).blocks_size(), 2);
    const PLRBlock& row = layout()->sections(0).blocks(0);
    ASSERT_TRUE(row.has_container());
    EXPECT_FALSE(row.container().vert());
    EXPECT_EQ(nameOf(row.container().sub_blocks(0)), "a.jpg");
    EXPECT_EQ(nameOf(row.container().sub_blocks(1)), "b.jpg");
    EXPECT_EQ(nameOf(layout()->sections(0).blocks(1)), "c.jpg");
    EXPECT_EQ(&row.container().sub_blocks(1), b);   // the block itself moved
    EXPECT_EQ(layoutManager()->currentSelectedBlocks(), QList<PLRBlock*>{b});
    EXPECT_EQ(layoutManager()->numberOfImagesInUse(), 3);
    EXPECT_EQ(undo()->undoActionName(), "Move Block");
    const QByteArray inRow = bytes();
    undo()->undo();
    EXPECT_EQ(bytes(), before);
    undo()->redo();
    EXPECT_EQ(bytes(), inRow);
    canvas()->refresh();
    // Undo and redo give the sections back as new blocks.
    a = layout()->mutable_sections(0)->mutable_blocks(0)->mutable_container()->mutable_sub_blocks(0);
    b = layout()->mutable_sections(0)->mutable_blocks(0)->mutable_container()->mutable_sub_blocks(1);

    // c onto the bottom of b in the row: a column of b and c in the row.
    PLRBlock* c = layout()->mutable_sections(0)->mutable_blocks(1);
    dropDragsAt(pointIn(b, 0.5, 0.97));
    dragBlockFrom(pointIn(c));
    ASSERT_EQ(layout()->sections(0).blocks_size(), 1);
    const PLRBlock& wider = layout()->sections(0).blocks(0);
    ASSERT_EQ(wider.container().sub_blocks_size(), 2);
    const PLRBlock& column = wider.container().sub_blocks(1);
    ASSERT_TRUE(column.has_container());
    EXPECT_TRUE(column.container().vert());
    EXPECT_EQ(nameOf(column.container().sub_blocks(0)), "b.jpg");
    EXPECT_EQ(nameOf(column.container().sub_blocks(1)), "c.jpg");
    const QByteArray withColumn = bytes();
    canvas()->refresh();

    // a out of the row into the gap below everything: the row is dissolved, the column takes
    // its place.
    dropDragsAt(pointIn(c, 0.5, 1.0) + QPointF(0, 30));
    dragBlockFrom(pointIn(a));
    ASSERT_EQ(layout()->sections(0).blocks_size(), 2);
    EXPECT_TRUE(layout()->sections(0).blocks(0).container().vert());
    EXPECT_EQ(layout()->sections(0).blocks(0).container().sub_blocks_size(), 2);
    EXPECT_EQ(nameOf(layout()->sections(0).blocks(1)), "a.jpg");
    undo()->undo();
    EXPECT_EQ(bytes(), withColumn);
    undo()->undo();
    EXPECT_EQ(bytes(), inRow);
    undo()->undo();
    EXPECT_EQ(bytes(), before);
}

TEST_F(CanvasCompose, TheSelectedBlocksMoveTogetherIntoAGapInTheirOrder)
{
    PLRBlock* a = addImage("a.jpg");
    PLRBlock* b = addImage("b.jpg");
    PLRBlock* c = addImage("c.jpg");
    PLRBlock* d = addImage("d.jpg");
    click(pointIn(d));
    click(pointIn(b), Qt::ShiftModifier);
    ASSERT_EQ(layoutManager()->currentSelectedBlocks().size(), 2);

    // A press on a selected block keeps the selection for the drag; the drop above a.
    dropDragsAt(pointIn(a, 0.5, 0.0) - QPointF(0, 4));
    dragBlockFrom(pointIn(d));
    ASSERT_EQ(layout()->sections(0).blocks_size(), 4);
    QStringList order;
    for (const PLRBlock& block : layout()->sections(0).blocks())
        order << nameOf(block);
    EXPECT_EQ(order, (QStringList{"b.jpg", "d.jpg", "a.jpg", "c.jpg"}));
    EXPECT_EQ(undo()->undoActionName(), "Move Blocks");
    EXPECT_EQ(layoutManager()->currentSelectedBlocks().size(), 2);

    // A gap held by a block that moves: the place stays between its neighbours.
    canvas()->refresh();
    PLRDropZone gap;
    gap.kind = PLRDropZone::Kind::Section;
    gap.section = layout()->mutable_sections(0);
    gap.index = 1;   // before d (moved), i.e. after b
    ASSERT_TRUE(canvas()->moveBlocks({layout()->mutable_sections(0)->mutable_blocks(3),
                                      layout()->mutable_sections(0)->mutable_blocks(1)}, gap));
    order.clear();
    for (const PLRBlock& block : layout()->sections(0).blocks())
        order << nameOf(block);
    EXPECT_EQ(order, (QStringList{"b.jpg", "d.jpg", "c.jpg", "a.jpg"}));
    Q_UNUSED(c);
}

TEST_F(CanvasCompose, MovesOntoThemselvesIntoTheirOwnRowOrWhileTypingAreRefused)
{
    PLRBlock* a = addImage("a.jpg");
    addImage("b.jpg");
    PLRBlock* b = layout()->mutable_sections(0)->mutable_blocks(1);
    ASSERT_TRUE(dropPhotos({"c.jpg"}, pointIn(b, 0.95, 0.5)));   // row(b c)
    canvas()->refresh();
    PLRBlock* row = layout()->mutable_sections(0)->mutable_blocks(1);
    PLRBlock* rowB = row->mutable_container()->mutable_sub_blocks(0);
    const QByteArray before = bytes();
    const qint64 undoCount = undo()->undoCount();

    // Onto itself: no drop zone shows and nothing moves.
    bool accepted = true;
    dropDragsAt(pointIn(a, 0.95, 0.5), &accepted);
    dragBlockFrom(pointIn(a));
    EXPECT_FALSE(accepted);
    EXPECT_FALSE(lastIndicator.isValid());

    // The row into itself (beside one of its own blocks).
    PLRDropZone inside;
    inside.kind = PLRDropZone::Kind::BesideBlock;
    inside.block = rowB;
    inside.edge = Qt::LeftEdge;
    EXPECT_FALSE(canvas()->canMoveBlocksToZone({row}, inside));
    EXPECT_FALSE(canvas()->moveBlocks({row}, inside));
    EXPECT_FALSE(canvas()->moveBlocks({}, inside));
    PLRBlock stranger;
    EXPECT_FALSE(canvas()->moveBlocks({&stranger}, inside));

    // Block references that are not of a drag of this canvas: refused.
    EXPECT_FALSE(dropData(PLRBlockPasteboard::mimeDataForBlocks(QStringLiteral("forged"), {QString::fromStdString(a->id())}),
                          pointIn(rowB, 0.05, 0.5)));
    auto* emptyRef = new QMimeData;
    emptyRef->setData(PLRBlockPasteboard::kBlockType, QByteArray());
    EXPECT_FALSE(dropData(emptyRef, pointIn(rowB, 0.05, 0.5)));

    // While a text is being typed, no move and no drag.
    PLRBlock* text = canvas()->appendNewBlock(plr::kBlockKindText);
    ASSERT_TRUE(canvas()->isEditingText());
    const QByteArray withText = bytes();
    PLRDropZone top;
    top.kind = PLRDropZone::Kind::Section;
    top.section = layout()->mutable_sections(0);
    top.index = 0;
    EXPECT_FALSE(canvas()->moveBlocks({a}, top));
    EXPECT_EQ(bytes(), withText);
    EXPECT_TRUE(canvas()->isEditingText());
    undo()->undo();
    Q_UNUSED(text);

    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(undo()->undoCount(), undoCount);
}

TEST_F(CanvasCompose, BlockPasteboardReadsItsOwnFormatOnly)
{
    std::unique_ptr<QMimeData> data(PLRBlockPasteboard::mimeDataForBlocks(QStringLiteral("t-1"), {"x", " y ", "x", "bad\nid"}));
    const PLRBlockPasteboard::BlockReferences references = PLRBlockPasteboard::blockReferencesFromMimeData(data.get());
    EXPECT_EQ(references.token, "t-1");
    EXPECT_EQ(references.identifiers, (QStringList{"x", "y"}));
    QMimeData other;
    other.setText(QStringLiteral("t-1\nx"));
    EXPECT_TRUE(PLRBlockPasteboard::blockReferencesFromMimeData(&other).token.isEmpty());
    EXPECT_EQ(PLRBlockPasteboard::newBlockKindFromMimeData(&other), plr::kBlockKindNone);
    EXPECT_EQ(PLRBlockPasteboard::newBlockKindFromMimeData(nullptr), plr::kBlockKindNone);
    for (int kind : {plr::kBlockKindText, plr::kBlockKindBlank, plr::kBlockKindDownloadButton}) {
        std::unique_ptr<QMimeData> made(PLRBlockPasteboard::mimeDataForNewBlock(kind));
        EXPECT_EQ(PLRBlockPasteboard::newBlockKindFromMimeData(made.get()), kind);
    }
}

TEST_F(CanvasCompose, SpacerResizesByItsHandleAsOneUndoStep)
{
    addImage("a.jpg");
    PLRBlock* spacer = canvas()->appendNewBlock(plr::kBlockKindBlank);
    ASSERT_NE(spacer, nullptr);
    canvas()->refresh();
    const QByteArray before = bytes();
    const QRectF frame = canvas()->viewRectForBlock(spacer);
    const double width = canvas()->blockViewForBlock(spacer)->frameInLayoutView().width();

    // Selected alone, its handle sits on its bottom edge: 50 view pixels up is 100 layout
    // points off its height at 50%.
    const QPointF handle(frame.center().x(), frame.bottom());
    drag(handle, handle - QPointF(0, 50));
    const double height = width / spacer->aspect_ratio();
    EXPECT_NEAR(height, frame.height() * 2.0 - 100.0, 1.0);
    EXPECT_EQ(undo()->undoActionName(), "Resize Spacer");
    EXPECT_EQ(layoutManager()->currentSelectedBlocks(), QList<PLRBlock*>{spacer});   // still selected, not moved

    // Never thinner than its minimum (nor than the widest ratio a block may have).
    canvas()->refresh();
    const QRectF smaller = canvas()->viewRectForBlock(spacer);
    drag(QPointF(smaller.center().x(), smaller.bottom()), QPointF(smaller.center().x(), smaller.top() - 300));
    EXPECT_NEAR(width / spacer->aspect_ratio(),
                std::max(PLRLayoutBlockInteractionHandler_Blank::kMinimumHeight, width / plr::layout::kMaximumRatio), 0.5);
    undo()->undo();
    undo()->undo();
    EXPECT_EQ(bytes(), before);
}

// Presses of the canvas whose release never comes to it: a block moved by a drag (whose loop
// takes the release) and then a menu of the menu bar, whose press and release are the menu's;
// a spacer resized by its handle while a window that opened took the release. The application
// lives, the move is kept, the resize is kept as its one step and ends there.
TEST_F(CanvasCompose, ThePressesWhoseReleaseGoesElsewhereKeepTheMoveAndTheResize)
{
    PLRBlock* a = addImage("a.jpg");
    PLRBlock* b = addImage("b.jpg");
    PLRBlock* c = addImage("c.jpg");
    bool accepted = false;
    dropDragsAt(pointIn(a, 0.95, 0.5), &accepted);
    sendMouse(QEvent::MouseButtonPress, pointIn(b));
    QWidget* window = canvas()->window();
    const QPointF dragged = canvas()->mapTo(window, pointIn(b) + QPointF(30, 30));
    QMouseEvent move(QEvent::MouseMove, dragged, dragged, window->mapToGlobal(dragged), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(window, &move);
    ASSERT_TRUE(accepted);
    const QByteArray moved = bytes();

    QMenu menu;
    QAction* item = menu.addAction(QStringLiteral("Select All"));
    menu.popup(canvas()->mapToGlobal(pointIn(c).toPoint()));
    const QPointF onItem = menu.actionGeometry(item).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, onItem, onItem, menu.mapToGlobal(onItem), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&menu, &event);
    }
    menu.hide();
    EXPECT_EQ(bytes(), moved);
    EXPECT_EQ(undo()->undoActionName(), "Move Block");
    EXPECT_EQ(layoutManager()->currentSelectedBlocks(), QList<PLRBlock*>{b});
    canvas()->refresh();
    click(pointIn(c));
    EXPECT_EQ(layoutManager()->currentSelectedBlocks(), QList<PLRBlock*>{c});

    // The spacer's handle pressed and dragged 50 view pixels up; the next move shows no button.
    PLRBlock* spacer = canvas()->appendNewBlock(plr::kBlockKindBlank);
    ASSERT_NE(spacer, nullptr);
    canvas()->refresh();
    const QRectF frame = canvas()->viewRectForBlock(spacer);
    const double width = canvas()->blockViewForBlock(spacer)->frameInLayoutView().width();
    const QPointF handle(frame.center().x(), frame.bottom());
    sendMouse(QEvent::MouseButtonPress, handle);
    const QPointF up = canvas()->mapTo(window, handle - QPointF(0, 50));
    QMouseEvent resize(QEvent::MouseMove, up, up, window->mapToGlobal(up), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &resize);
    sendMouse(QEvent::MouseMove, handle - QPointF(0, 50));
    const double height = width / spacer->aspect_ratio();
    EXPECT_NEAR(height, frame.height() * 2.0 - 100.0, 1.0);
    EXPECT_EQ(undo()->undoActionName(), "Resize Spacer");
    // A later drag on the canvas leaves the spacer as it is.
    canvas()->refresh();
    const QPointF below = canvas()->viewRectForBlock(spacer).bottomLeft() + QPointF(-20, 40);
    sendMouse(QEvent::MouseButtonPress, below);
    const QPointF further = canvas()->mapTo(window, below + QPointF(0, 60));
    QMouseEvent away(QEvent::MouseMove, further, further, window->mapToGlobal(further), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(window, &away);
    sendMouse(QEvent::MouseButtonRelease, below + QPointF(0, 60));
    EXPECT_NEAR(width / spacer->aspect_ratio(), height, 0.5);
}

TEST_F(CanvasCompose, CropCornerHandlesScaleThePhotoWithinBoundsAndItsCentreSnaps)
{
    PLRBlock* a = addImage("a.jpg");
    a->set_aspect_ratio(1.0f);
    layoutManager()->announceChange();
    canvas()->refresh();
    doubleClick(pointIn(a));
    ASSERT_EQ(layoutManager()->currentEditBlock(), a);
    auto* handler = dynamic_cast<PLRLayoutBlockInteractionHandler_Image*>(canvas()->handlerForBlock(a));
    ASSERT_NE(handler, nullptr);
    const QRectF bounds = canvas()->blockViewForBlock(a)->bounds();
    const QRectF start = handler->imageRect();   // 1.5 times as wide as the block, centred
    const QRectF frame = canvas()->viewRectForBlock(a);
    const double scale = frame.width() / bounds.width();

    // The block's bottom-right corner outwards: the photo grows about the block's centre.
    const QPointF corner = frame.bottomRight();
    EXPECT_EQ(handler->cornerAt(canvas()->layoutPointFromView(corner)), 2);
    EXPECT_EQ(handler->cornerAt(canvas()->layoutPointFromView(frame.center())), -1);
    drag(corner, corner + QPointF(40, 40));
    const QRectF larger = handler->imageRect();
    EXPECT_GT(larger.width(), start.width() * 1.05);
    EXPECT_NEAR(larger.center().x(), bounds.center().x(), 1.0);
    EXPECT_NEAR(larger.width() / larger.height(), start.width() / start.height(), 1e-3);
    EXPECT_NEAR(a->image().position().width(), larger.width() / bounds.width(), 1e-4);
    EXPECT_EQ(undo()->undoCount(), 0);   // the crop session becomes one step when it ends

    // Far inwards: never smaller than the block; far outwards: at most ten times that.
    drag(corner, frame.center() + QPointF(2, 2));
    const QRectF smallest = handler->imageRect();
    EXPECT_NEAR(smallest.height(), bounds.height(), 0.5);
    EXPECT_LE(smallest.left(), 0.0);
    EXPECT_GE(smallest.right(), bounds.width() - 0.5);
    handler->setImageRect(QRectF(0, 0, bounds.width() * 100.0, 1.0));
    EXPECT_NEAR(handler->imageRect().width(), smallest.width() * PLRLayoutBlockInteractionHandler_Image::kMaximumScale, 0.5);
    handler->setImageRect(QRectF(qQNaN(), 0, 10, 10));   // ignored
    EXPECT_NEAR(handler->imageRect().width(), smallest.width() * PLRLayoutBlockInteractionHandler_Image::kMaximumScale, 0.5);
    handler->setImageRect(smallest);

    // A pan that ends within the snapping distance of the centre centres the photo exactly.
    const double centredLeft = (bounds.width() - smallest.width()) / 2.0;
    const double offBy = 3.0 / scale / 2.0;   // 1.5 view pixels
    handler->setImageOrigin(QPointF(centredLeft + 40.0, 0.0));
    const QPointF from = pointIn(a);
    drag(from, from - QPointF((40.0 - offBy) * scale, 0));
    EXPECT_NEAR(handler->imageRect().left(), centredLeft, 1e-3);
    // Outside the distance it does not.
    drag(from, from + QPointF(20, 0));
    EXPECT_GT(std::abs(handler->imageRect().left() - centredLeft), 10.0);
}

TEST_F(CanvasCompose, TextDroppedIntoARowColumnKeepsWhatIsTyped)
{
    PLRBlock* spacer = canvas()->appendNewBlock(plr::kBlockKindBlank);
    ASSERT_NE(spacer, nullptr);
    QList<PLRBlock*> placed;
    ASSERT_TRUE(dropData(PLRBlockPasteboard::mimeDataForNewBlock(plr::kBlockKindText), pointIn(spacer, 0.95, 0.5), &placed));
    ASSERT_EQ(placed.size(), 1);
    auto* first = dynamic_cast<PLRLayoutBlockInteractionHandler_Text*>(canvas()->handlerForBlock(placed.first()));
    ASSERT_NE(first, nullptr);
    QTest::keyClicks(first->editor(), "Caption");
    QTest::keyClick(first->editor(), Qt::Key_Escape);
    canvas()->refresh();
    PLRBlock* caption = placed.first();
    EXPECT_EQ(caption->text().value(), "Caption");

    ASSERT_TRUE(dropData(PLRBlockPasteboard::mimeDataForNewBlock(plr::kBlockKindText), pointIn(caption, 0.5, 0.97), &placed));
    ASSERT_EQ(placed.size(), 1);
    auto* second = dynamic_cast<PLRLayoutBlockInteractionHandler_Text*>(canvas()->handlerForBlock(placed.first()));
    ASSERT_NE(second, nullptr);
    ASSERT_NE(second->editor(), nullptr);
    QTest::keyClicks(second->editor(), "Lake");
    QTest::keyClick(second->editor(), Qt::Key_Escape);
    EXPECT_EQ(placed.first()->text().value(), "Lake");
    const PLRBlock& row = layout()->sections(0).blocks(0);
    ASSERT_TRUE(row.has_container());
    ASSERT_EQ(row.container().sub_blocks_size(), 2);
    const PLRBlock& column = row.container().sub_blocks(1);
    ASSERT_TRUE(column.has_container());
    EXPECT_EQ(column.container().sub_blocks(1).text().value(), "Lake");
}
