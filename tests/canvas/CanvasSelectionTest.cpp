// Selecting, deleting and cropping on the canvas, and the notifications it follows.

#include "CanvasTestSupport.h"

#include <QPushButton>
#include <QTest>

#include "canvas/interaction/PLRLayoutBlockInteractionHandler.h"
#include "platform/NotificationCenter.h"

#include <QKeyEvent>
#include <QScrollBar>

using canvas_test::CanvasFixture;

namespace {

class CanvasSelection : public CanvasFixture {};

} // namespace

TEST_F(CanvasSelection, ClicksSelectShiftAddsAndDeleteRemovesWithUndo)
{
    PLRBlock* a = addImage("a.jpg");
    PLRBlock* b = addImage("b.jpg");
    PLRBlock* c = addImage("c.jpg");
    const QByteArray before = bytes();

    click(pointIn(a));
    EXPECT_EQ(layoutManager()->currentSelectedBlocks(), QList<PLRBlock*>{a});
    click(pointIn(c), Qt::ShiftModifier);
    click(pointIn(c), Qt::ShiftModifier);   // already selected: stays once
    EXPECT_EQ(layoutManager()->currentSelectedBlocks(), (QList<PLRBlock*>{a, c}));
    click(pointIn(b));
    EXPECT_EQ(layoutManager()->currentSelectedBlocks(), QList<PLRBlock*>{b});
    // A click on the desk beside the page clears the selection.
    click(QPointF(5, 5));
    EXPECT_TRUE(layoutManager()->currentSelectedBlocks().isEmpty());

    // Hover follows the pointer.
    sendMouse(QEvent::MouseMove, pointIn(b));
    EXPECT_EQ(layoutManager()->currentHoverBlock(), b);

    click(pointIn(a));
    click(pointIn(c), Qt::ShiftModifier);
    pressKey(Qt::Key_Delete);
    ASSERT_EQ(layout()->sections(0).blocks_size(), 1);
    EXPECT_EQ(layout()->sections(0).blocks(0).image().img_ref(), ids["b.jpg"].toStdString());
    EXPECT_TRUE(layoutManager()->currentSelectedBlocks().isEmpty());
    const QByteArray after = bytes();
    EXPECT_EQ(undo()->undoActionName(), "Delete");

    // The undo key of the canvas, then redo.
    pressKey(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(bytes(), before);
    pressKey(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(bytes(), after);
    pressKey(Qt::Key_Backspace);   // nothing selected: nothing happens
    EXPECT_EQ(bytes(), after);
    undo()->undo();
    EXPECT_EQ(bytes(), before);
}

TEST_F(CanvasSelection, DeletingABlockOfARowDissolvesItAndUndoGivesItBack)
{
    PLRBlock* a = addImage("a.jpg");
    ASSERT_TRUE(dropPhotos({"b.jpg"}, pointIn(a, 0.97, 0.5)));
    const QByteArray withRow = bytes();
    canvas()->refresh();
    PLRBlock* row = layout()->mutable_sections(0)->mutable_blocks(0);
    PLRBlock* left = row->mutable_container()->mutable_sub_blocks(0);
    // The row and a block inside it, both selected: the row goes, once.
    layoutManager()->selectBlocks({left, row});
    EXPECT_TRUE(canvas()->deleteSelectedBlocks());
    EXPECT_EQ(layout()->sections(0).blocks_size(), 0);
    undo()->undo();
    EXPECT_EQ(bytes(), withRow);
    canvas()->refresh();
    left = layout()->mutable_sections(0)->mutable_blocks(0)->mutable_container()->mutable_sub_blocks(0);
    layoutManager()->selectBlocks({left});
    EXPECT_TRUE(canvas()->deleteSelectedBlocks());
    ASSERT_EQ(layout()->sections(0).blocks_size(), 1);
    EXPECT_TRUE(layout()->sections(0).blocks(0).has_image());   // the row of one dissolved
    undo()->undo();
    EXPECT_EQ(bytes(), withRow);
}

TEST_F(CanvasSelection, SelectionNotificationSelectsOnlyBlocksOfThisLayout)
{
    PLRBlock* a = addImage("a.jpg");
    for (int i = 0; i < 6; ++i)
        addText(QStringLiteral("Paragraph %1 with some words to make it wrap over a line or two.").arg(i));
    PLRBlock* last = addImage("b.jpg");
    auto post = [](const QVariant& item, bool scroll) {
        platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED), nullptr,
                                                           {{"item", item}, {"shouldScrollToItem", scroll}});
    };
    controller->setZoom(100);
    canvas()->refresh();
    QScrollArea* scroll = controller->scrollView();
    ASSERT_GT(scroll->verticalScrollBar()->maximum(), 0);
    scroll->verticalScrollBar()->setValue(0);
    post(plr::canvas::blockVariant(last), true);
    EXPECT_EQ(layoutManager()->currentSelectedBlocks(), QList<PLRBlock*>{last});
    EXPECT_GT(scroll->verticalScrollBar()->value(), 0);

    // By identifier too.
    post(QString::fromStdString(a->id()), false);
    EXPECT_EQ(layoutManager()->currentSelectedBlocks(), QList<PLRBlock*>{a});
    // A block of another layout, a stale pointer, nothing: ignored.
    PLRBlock stranger;
    post(plr::canvas::blockVariant(&stranger), true);
    post(QVariant(), true);
    post(QStringLiteral("no-such-id"), true);
    post(42, true);
    EXPECT_EQ(layoutManager()->currentSelectedBlocks(), QList<PLRBlock*>{a});

    // Selected from elsewhere (a button had the focus, as after automatic building): Escape
    // clears the selection, so the Document page can be reached.
    QPushButton elsewhere(QStringLiteral("Build"), controller->widget());
    elsewhere.show();
    controller->widget()->activateWindow();
    elsewhere.setFocus();
    ASSERT_TRUE(testing_support::waitUntil([&] { return QApplication::focusWidget() == &elsewhere; }));
    post(plr::canvas::blockVariant(last), false);
    EXPECT_EQ(layoutManager()->currentSelectedBlocks(), QList<PLRBlock*>{last});
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(layoutManager()->currentSelectedBlocks().isEmpty());
}

TEST_F(CanvasSelection, RecycleOutlineFollowsTheHighlightAndItsNotification)
{
    PLRBlock* a = addImage("a.jpg");
    ASSERT_TRUE(dropPhotos({"b.jpg"}, pointIn(a, 0.97, 0.5)));
    canvas()->refresh();
    PLRBlock* row = layout()->mutable_sections(0)->mutable_blocks(0);
    layoutManager()->selectBlocks({row->mutable_container()->mutable_sub_blocks(0)});
    ASSERT_TRUE(layoutManager()->isSelectedBlockValidForCycler());
    const QRectF frame = canvas()->viewRectForBlock(row);
    const QColor red(0xFF, 0x3B, 0x30);
    auto outlineShown = [&] {
        const QImage image = canvas()->grab().toImage();
        const QColor pixel = image.pixelColor(int(frame.center().x()), int(frame.top()) + 1);
        return std::abs(pixel.red() - red.red()) < 8 && std::abs(pixel.green() - red.green()) < 8;
    };
    EXPECT_FALSE(outlineShown());
    layoutManager()->setShouldShowRecyclerHighlight(true);
    platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kPLR_NOTIFICATION_RECYCLE_TOGGLE_OUTLINE));
    EXPECT_TRUE(outlineShown());
    layoutManager()->setShouldShowRecyclerHighlight(false);
    platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kPLR_NOTIFICATION_RECYCLE_TOGGLE_OUTLINE));
    EXPECT_FALSE(outlineShown());
}

TEST_F(CanvasSelection, EditModePansTheCropIntoTheDocumentWithUndo)
{
    // A square block of a wide photo: the photo can move sideways only.
    PLRBlock* a = addImage("a.jpg");
    a->set_aspect_ratio(1.0f);
    layoutManager()->announceChange();
    canvas()->refresh();
    const QByteArray before = bytes();

    doubleClick(pointIn(a));
    EXPECT_EQ(layoutManager()->currentEditBlock(), a);
    EXPECT_TRUE(layoutManager()->currentSelectedBlocks().isEmpty());
    auto* handler = dynamic_cast<PLRLayoutBlockInteractionHandler_Image*>(canvas()->handlerForBlock(a));
    ASSERT_NE(handler, nullptr);
    const QRectF start = handler->imageRect();
    ASSERT_GT(start.width(), start.height());
    EXPECT_LT(start.left(), 0.0);   // centred

    // Far to the right: the photo's left edge stops at the block's left edge. Then 20 view
    // pixels back (40 layout points at 50%).
    const QPointF from = pointIn(a);
    drag(from, from + QPointF(400, 30));
    const QRectF moved = handler->imageRect();
    EXPECT_NEAR(moved.left(), 0.0, 1e-3);
    EXPECT_NEAR(moved.top(), 0.0, 1e-3);
    ASSERT_TRUE(a->image().has_position());
    EXPECT_NEAR(a->image().position().x(), 0.0, 1e-6);
    EXPECT_NEAR(a->image().position().width(), start.width() / canvas()->blockViewForBlock(a)->bounds().width(), 1e-4);
    drag(from, from - QPointF(20, 0));
    EXPECT_NEAR(handler->imageRect().left(), -40.0, 0.5);
    const QByteArray after = bytes();
    EXPECT_EQ(undo()->undoCount(), 0);   // the session is recorded when it ends

    // Return accepts the crop: edit mode ends, the block is selected, one undo step.
    pressKey(Qt::Key_Return);
    EXPECT_EQ(layoutManager()->currentEditBlock(), nullptr);
    EXPECT_EQ(layoutManager()->currentSelectedBlocks(), QList<PLRBlock*>{a});
    EXPECT_EQ(bytes(), after);
    EXPECT_EQ(undo()->undoActionName(), "Crop Image");
    EXPECT_EQ(undo()->undoCount(), 1);
    undo()->undo();
    EXPECT_EQ(bytes(), before);
    undo()->redo();
    EXPECT_EQ(bytes(), after);

    // Escape cancels: the crop the session started with comes back and nothing is left to undo.
    a = layoutManager()->representedLayout()->mutable_sections(0)->mutable_blocks(0);
    canvas()->refresh();
    doubleClick(pointIn(a));
    ASSERT_EQ(layoutManager()->currentEditBlock(), a);
    drag(pointIn(a), pointIn(a) + QPointF(30, 0));
    EXPECT_NE(bytes(), after);
    pressKey(Qt::Key_Escape);
    EXPECT_EQ(layoutManager()->currentEditBlock(), nullptr);
    EXPECT_EQ(layoutManager()->currentSelectedBlocks(), QList<PLRBlock*>{a});
    EXPECT_EQ(bytes(), after);
    EXPECT_EQ(undo()->undoCount(), 1);
}

// The desk beside a page narrower than the view is the canvas's too: a click there ends a crop
// as a click beside the page does, and the canvas keeps the keyboard for Return and Escape.
TEST_F(CanvasSelection, AClickOnTheDeskBesideThePageEndsACropAndTheCanvasKeepsTheKeys)
{
    PLRBlock* a = addImage("a.jpg");
    a->set_aspect_ratio(1.0f);
    layoutManager()->announceChange();
    canvas()->refresh();
    QWidget* window = canvas()->window();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    QWidget* viewport = controller->scrollView()->viewport();
    const QRect page = canvas()->documentView()->geometry();
    ASSERT_GT(page.left(), 40) << "the page fills the view; no desk beside it";
    const QPointF desk(page.left() / 2.0, page.top() + 100.0);
    const auto pressDesk = [&] {
        const QPointF at = viewport->mapTo(window, desk);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, at, window->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::MouseButtons(Qt::LeftButton) : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(window, &event);
        }
    };

    doubleClick(pointIn(a));
    ASSERT_EQ(layoutManager()->currentEditBlock(), a);
    drag(pointIn(a), pointIn(a) + QPointF(40, 0));
    pressDesk();
    EXPECT_EQ(layoutManager()->currentEditBlock(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), canvas());
    EXPECT_EQ(undo()->undoActionName(), "Crop Image");   // the crop, ended, is kept

    // Escape then reaches the canvas: it clears a selection.
    layoutManager()->selectBlocks({a});
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(focus, &escape);
    EXPECT_TRUE(layoutManager()->currentSelectedBlocks().isEmpty());
}
