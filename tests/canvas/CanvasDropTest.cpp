// Photos dropped on the canvas: where they go, undo and redo to the byte, and drops refused.

#include "CanvasTestSupport.h"

#include "layout/base/PLRLayoutTree.h"

#include <QScrollBar>

using canvas_test::CanvasFixture;

namespace {

class CanvasDrop : public CanvasFixture {};

QString imageRef(const PLRBlock& block)
{
    return QString::fromStdString(block.image().img_ref());
}

} // namespace

TEST_F(CanvasDrop, BesideABlockMakesARowAndUndoRedoRestoreTheBytes)
{
    PLRBlock* first = addImage("a.jpg");
    addImage("b.jpg");
    const QByteArray before = bytes();

    // On the right edge of the first block: a row of the block and the new photo.
    QList<PLRBlock*> placed;
    ASSERT_TRUE(dropPhotos({"c.jpg"}, pointIn(first, 0.95, 0.5), &placed));
    EXPECT_EQ(lastIndicator.kind, PLRDropZone::Kind::BesideBlock);
    EXPECT_EQ(lastIndicator.edge, Qt::RightEdge);
    ASSERT_EQ(placed.size(), 1);
    const PLRSection& section = layout()->sections(0);
    ASSERT_EQ(section.blocks_size(), 2);
    const PLRBlock& row = section.blocks(0);
    ASSERT_TRUE(row.has_container());
    EXPECT_FALSE(row.container().vert());
    ASSERT_EQ(row.container().sub_blocks_size(), 2);
    EXPECT_EQ(imageRef(row.container().sub_blocks(0)), ids["a.jpg"]);
    EXPECT_EQ(imageRef(row.container().sub_blocks(1)), ids["c.jpg"]);
    EXPECT_FALSE(row.container().sub_blocks(1).image().source_last_updated().empty());
    // The canvas selects the new block (through the selection notification it posts).
    EXPECT_EQ(layoutManager()->currentSelectedBlocks(), QList<PLRBlock*>{placed.first()});
    const QByteArray after = bytes();

    ASSERT_TRUE(undo()->canUndo());
    EXPECT_EQ(undo()->undoActionName(), "Add Image");
    undo()->undo();
    EXPECT_EQ(bytes(), before);
    undo()->redo();
    EXPECT_EQ(bytes(), after);
    undo()->undo();
    EXPECT_EQ(bytes(), before);
    EXPECT_TRUE(testing_support::waitUntil([&] { return postManager->numberOfImagesInUse() == 2; }));

    // A photo on the left of a block inside that row goes into the row itself, before it.
    undo()->redo();
    canvas()->refresh();
    PLRBlock* inRow = layout()->mutable_sections(0)->mutable_blocks(0)->mutable_container()->mutable_sub_blocks(1);
    ASSERT_TRUE(dropPhotos({"d.jpg"}, pointIn(inRow, 0.05, 0.5)));
    const PLRBlock& wider = layout()->sections(0).blocks(0);
    ASSERT_EQ(wider.container().sub_blocks_size(), 3);
    EXPECT_EQ(imageRef(wider.container().sub_blocks(1)), ids["d.jpg"]);

    // At the bottom of a block in a row: a column of the block and the photo takes its place.
    canvas()->refresh();
    PLRBlock* rowFirst = layout()->mutable_sections(0)->mutable_blocks(0)->mutable_container()->mutable_sub_blocks(0);
    testing_support::scriptedAlerts().enqueue(platform::kAlertSecondButtonReturn);   // b.jpg is in the layout
    QList<PLRBlock*> refused;
    ASSERT_TRUE(dropPhotos({"b.jpg"}, pointIn(rowFirst, 0.5, 0.97), &refused));
    EXPECT_TRUE(refused.isEmpty());
    undo()->undo();   // the d.jpg drop
    undo()->undo();   // the c.jpg drop
    EXPECT_EQ(bytes(), before);
    canvas()->refresh();
    PLRBlock* alone = layout()->mutable_sections(0)->mutable_blocks(0);
    layoutManager()->removeBlock(layout()->mutable_sections(0)->mutable_blocks(1), false);   // b.jpg out of the layout
    canvas()->refresh();
    ASSERT_TRUE(dropPhotos({"b.jpg"}, pointIn(alone, 0.97, 0.5)));
    canvas()->refresh();
    PLRBlock* inNewRow = layout()->mutable_sections(0)->mutable_blocks(0)->mutable_container()->mutable_sub_blocks(0);
    ASSERT_TRUE(dropPhotos({"c.jpg"}, pointIn(inNewRow, 0.5, 0.97)));
    const PLRBlock& rowWithColumn = layout()->sections(0).blocks(0);
    ASSERT_EQ(rowWithColumn.container().sub_blocks_size(), 2);
    const PLRBlock& column = rowWithColumn.container().sub_blocks(0);
    ASSERT_TRUE(column.has_container());
    EXPECT_TRUE(column.container().vert());
    EXPECT_EQ(imageRef(column.container().sub_blocks(0)), ids["a.jpg"]);
    EXPECT_EQ(imageRef(column.container().sub_blocks(1)), ids["c.jpg"]);
}

TEST_F(CanvasDrop, TopBottomAndGapsStackInTheSectionAndSeveralPhotosKeepTheirOrder)
{
    PLRBlock* first = addImage("a.jpg");
    PLRBlock* second = addImage("b.jpg");
    // Below the first block: the section's own column, between the two.
    ASSERT_TRUE(dropPhotos({"c.jpg", "d.jpg"}, pointIn(first, 0.5, 0.97)));
    EXPECT_EQ(lastIndicator.edge, Qt::BottomEdge);
    const PLRSection& section = layout()->sections(0);
    ASSERT_EQ(section.blocks_size(), 4);
    EXPECT_EQ(imageRef(section.blocks(1)), ids["c.jpg"]);
    EXPECT_EQ(imageRef(section.blocks(2)), ids["d.jpg"]);
    EXPECT_EQ(undo()->undoActionName(), "Add Images");
    undo()->undo();
    canvas()->refresh();

    // Below everything: the end of the section, shown as a line under the last block.
    second = layout()->mutable_sections(0)->mutable_blocks(1);
    const QRectF last = canvas()->viewRectForBlock(second);
    ASSERT_TRUE(dropPhotos({"c.jpg"}, QPointF(last.center().x(), last.bottom() + 8)));
    EXPECT_EQ(lastIndicator.kind, PLRDropZone::Kind::Section);
    EXPECT_EQ(lastIndicator.index, 2);
    EXPECT_EQ(imageRef(layout()->sections(0).blocks(2)), ids["c.jpg"]);
}

TEST_F(CanvasDrop, OntoAnEmptyCanvasWithoutASectionAndBackToNoSection)
{
    ASSERT_EQ(layout()->sections_size(), 0);
    EXPECT_FALSE(controller->widget()->grab().isNull());   // an empty page, drawn
    const QByteArray before = bytes();
    ASSERT_TRUE(dropPhotos({"a.jpg"}, QPointF(200, 150)));
    EXPECT_EQ(lastIndicator.kind, PLRDropZone::Kind::EmptyLayout);
    ASSERT_EQ(layout()->sections_size(), 1);
    EXPECT_EQ(layout()->sections(0).blocks_size(), 1);
    const QByteArray after = bytes();
    undo()->undo();
    EXPECT_EQ(layout()->sections_size(), 0);
    EXPECT_EQ(bytes(), before);
    undo()->redo();
    EXPECT_EQ(bytes(), after);
    canvas()->refresh();
    EXPECT_FALSE(canvas()->viewRectForBlock(layout()->mutable_sections(0)->mutable_blocks(0)).isEmpty());
}

TEST_F(CanvasDrop, BadDropsChangeNothing)
{
    PLRBlock* first = addImage("a.jpg");
    const QByteArray before = bytes();

    // Data of other programs is refused at once.
    auto* text = new QMimeData;
    text->setText(ids["b.jpg"]);
    text->setUrls({QUrl::fromLocalFile(folder + "/b.jpg")});
    EXPECT_FALSE(dropData(text, pointIn(first)));
    EXPECT_FALSE(lastIndicator.isValid());

    // Our format with nothing usable in it: empty, blank lines, unknown identifiers.
    EXPECT_FALSE(dropPhotos({}, pointIn(first)));
    auto* blank = new QMimeData;
    blank->setData(PLRImageReferencePasteboard::kType, "\n \r\n\n");
    EXPECT_FALSE(dropData(blank, pointIn(first)));
    auto* garbage = new QMimeData;
    garbage->setData(PLRImageReferencePasteboard::kType, QByteArray("\xff\xfe<script>\x00zz", 14));
    EXPECT_FALSE(dropData(garbage, pointIn(first)));
    EXPECT_FALSE(dropPhotos({"no-such-photo"}, pointIn(first)));
    EXPECT_EQ(bytes(), before);
    EXPECT_FALSE(undo()->canUndo());

    // Known and unknown together: the known photos only, each once.
    QList<PLRBlock*> placed;
    ASSERT_TRUE(dropPhotos({"nope", "b.jpg", "b.jpg"}, pointIn(first, 0.5, 0.97), &placed));
    ASSERT_EQ(placed.size(), 1);
    EXPECT_EQ(imageRef(*placed.first()), ids["b.jpg"]);
    undo()->undo();
    EXPECT_EQ(bytes(), before);

    // A photo already in the layout goes through the distinct-images alert; Cancel adds nothing.
    testing_support::scriptedAlerts().enqueue(platform::kAlertSecondButtonReturn);
    canvas()->refresh();
    QList<PLRBlock*> none;
    EXPECT_TRUE(dropPhotos({"a.jpg", "c.jpg"}, pointIn(first, 0.5, 0.97), &none));
    EXPECT_TRUE(none.isEmpty());
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_EQ(testing_support::scriptedAlerts().shown().front().messageText, "You cannot add the same image twice!");
    EXPECT_EQ(bytes(), before);
}

TEST_F(CanvasDrop, ACanvasWithoutAPostTakesNoDrop)
{
    controller->setPostManager(nullptr);
    EXPECT_EQ(controller->layoutManager(), nullptr);
    EXPECT_FALSE(dropPhotos({"a.jpg"}, QPointF(100, 100)));
    EXPECT_FALSE(canvas()->deleteSelectedBlocks());
    // And back to the post.
    controller->setPostManager(postManager);
    EXPECT_TRUE(dropPhotos({"a.jpg"}, QPointF(100, 100)));
    EXPECT_EQ(layout()->sections(0).blocks_size(), 1);
}

namespace {

class CanvasDropAtTheEnds : public CanvasFixture {
protected:
    QList<canvas_test::Photo> photos() const override
    {
        return CanvasFixture::photos() + QList<canvas_test::Photo>{{"e.jpg", 600, 400, QColor(120, 60, 160)},
                                                                   {"f.jpg", 400, 400, QColor(40, 40, 40)}};
    }

    // A row of two photos: the first, and the second dropped on its right edge.
    PLRBlock* addRow(const QString& left, const QString& right)
    {
        PLRBlock* block = addImage(left);
        EXPECT_TRUE(dropPhotos({right}, pointIn(block, 0.95, 0.5)));
        canvas()->refresh();
        PLRSection* section = layout()->mutable_sections(0);
        return section->mutable_blocks(section->blocks_size() - 1);
    }
};

} // namespace

TEST_F(CanvasDropAtTheEnds, TheBandsAboveTheFirstRowAndBelowTheLastTakeDropsWhileTheRowsKeepTheirEdges)
{
    addRow("a.jpg", "b.jpg");
    addRow("c.jpg", "d.jpg");
    controller->setZoom(100);   // a page taller than the canvas
    canvas()->refresh();
    ASSERT_GT(canvas()->height(), controller->scrollView()->viewport()->height());
    controller->scrollView()->verticalScrollBar()->setValue(0);
    ASSERT_EQ(layout()->sections(0).blocks_size(), 2);
    PLRBlock* firstRow = layout()->mutable_sections(0)->mutable_blocks(0);
    PLRBlock* lastRow = layout()->mutable_sections(0)->mutable_blocks(1);
    const QRectF first = canvas()->viewRectForBlock(firstRow);

    // Inside the rows, each photo's own edges win: its top or bottom makes a column with it.
    PLRBlock* topLeft = firstRow->mutable_container()->mutable_sub_blocks(0);
    const PLRDropZone onTop = canvas()->dropZoneAtPoint(pointIn(topLeft, 0.5, 0.02));
    EXPECT_EQ(onTop.kind, PLRDropZone::Kind::BesideBlock);
    EXPECT_EQ(onTop.block, topLeft);
    EXPECT_EQ(onTop.edge, Qt::TopEdge);
    PLRBlock* bottomRight = lastRow->mutable_container()->mutable_sub_blocks(1);
    const PLRDropZone onBottom = canvas()->dropZoneAtPoint(pointIn(bottomRight, 0.5, 0.98));
    EXPECT_EQ(onBottom.kind, PLRDropZone::Kind::BesideBlock);
    EXPECT_EQ(onBottom.block, bottomRight);
    EXPECT_EQ(onBottom.edge, Qt::BottomEdge);

    // Above the first row, a band of the canvas as tall as a photo's edge zone is easy to hit:
    // every point of it places the photo above everything.
    const QRectF shown = controller->scrollView()->viewport()->rect();
    for (const double above : {2.0, 20.0, 44.0}) {
        const QPointF point(first.left() + 10, first.top() - above);
        ASSERT_TRUE(canvas()->rect().contains(point.toPoint())) << above;
        ASSERT_TRUE(shown.contains(canvas()->mapTo(controller->scrollView()->viewport(), point).toPoint())) << above;
        const PLRDropZone zone = canvas()->dropZoneAtPoint(point);
        EXPECT_EQ(zone.kind, PLRDropZone::Kind::Section) << above;
        EXPECT_EQ(zone.index, 0) << above;
    }
    ASSERT_TRUE(dropPhotos({"e.jpg"}, QPointF(first.left() + 10, first.top() - 44)));
    ASSERT_EQ(layout()->sections(0).blocks_size(), 3);
    EXPECT_EQ(imageRef(layout()->sections(0).blocks(0)), ids["e.jpg"]);

    // Below the last row the same, once the canvas is scrolled to its end.
    canvas()->refresh();
    lastRow = layout()->mutable_sections(0)->mutable_blocks(2);
    controller->scrollView()->verticalScrollBar()->setValue(controller->scrollView()->verticalScrollBar()->maximum());
    const QRectF end = canvas()->viewRectForBlock(lastRow);
    for (const double below : {2.0, 20.0, 44.0}) {
        const QPointF point(end.left() + 10, end.bottom() + below);
        ASSERT_TRUE(canvas()->rect().contains(point.toPoint())) << below;
        const PLRDropZone zone = canvas()->dropZoneAtPoint(point);
        EXPECT_EQ(zone.kind, PLRDropZone::Kind::Section) << below;
        EXPECT_EQ(zone.index, 3) << below;
    }
    ASSERT_TRUE(dropPhotos({"f.jpg"}, QPointF(end.left() + 10, end.bottom() + 44)));
    ASSERT_EQ(layout()->sections(0).blocks_size(), 4);
    EXPECT_EQ(imageRef(layout()->sections(0).blocks(3)), ids["f.jpg"]);
}

namespace {

// A drag held over the canvas at points of the scroll view's visible area (as a user's pointer
// stays put on screen while the page moves under it).
class HeldDrag {
public:
    HeldDrag(PLRLayoutViewController* controller, QMimeData* mimeData) : m_controller(controller), m_data(mimeData) {}

    QWidget* viewport() const { return m_controller->scrollView()->viewport(); }
    PLRLayoutInteractionView* canvas() const { return m_controller->interactionView(); }
    // The canvas point under a point of the visible area, as the page lies now.
    QPointF onCanvas(const QPointF& shown) const { return canvas()->mapFrom(viewport(), shown); }

    void enter(const QPointF& shown)
    {
        QDragEnterEvent event(onCanvas(shown).toPoint(), Qt::CopyAction | Qt::MoveAction, m_data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas(), &event);
    }
    void moveTo(const QPointF& shown)
    {
        QDragMoveEvent event(onCanvas(shown).toPoint(), Qt::CopyAction | Qt::MoveAction, m_data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas(), &event);
    }
    void leave()
    {
        QDragLeaveEvent event;
        QApplication::sendEvent(canvas(), &event);
    }
    bool dropAt(const QPointF& shown)
    {
        QDropEvent event(onCanvas(shown), Qt::CopyAction | Qt::MoveAction, m_data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas(), &event);
        return event.isAccepted();
    }

private:
    PLRLayoutViewController* m_controller;
    QMimeData* m_data;
};

} // namespace

TEST(CanvasDragScroll, TheStepGrowsTowardTheVisibleEdgesAndIsNoneInBetween)
{
    using View = PLRLayoutInteractionView;
    const double height = 600.0;
    EXPECT_EQ(View::autoScrollStep(height / 2, height), 0);
    EXPECT_EQ(View::autoScrollStep(View::kAutoScrollBand + 1, height), 0);
    EXPECT_EQ(View::autoScrollStep(height - View::kAutoScrollBand - 1, height), 0);
    EXPECT_EQ(View::autoScrollStep(0, height), -View::kAutoScrollMaxStep);
    EXPECT_EQ(View::autoScrollStep(height, height), View::kAutoScrollMaxStep);
    EXPECT_LT(View::autoScrollStep(2, height), View::autoScrollStep(30, height));
    EXPECT_LT(View::autoScrollStep(30, height), 0);
    EXPECT_GT(View::autoScrollStep(height - 2, height), View::autoScrollStep(height - 30, height));
    EXPECT_GT(View::autoScrollStep(height - 30, height), 0);
    // A short canvas keeps a middle without scrolling.
    EXPECT_EQ(View::autoScrollStep(50, 100), 0);
    EXPECT_EQ(View::autoScrollStep(0, 0), 0);
}

TEST_F(CanvasDropAtTheEnds, APhotoHeldAtTheBottomEdgeScrollsTheCanvasAndDropsBelowTheLastRow)
{
    addRow("a.jpg", "b.jpg");
    addRow("c.jpg", "d.jpg");
    controller->setZoom(100);   // a page taller than the canvas
    canvas()->refresh();
    QScrollBar* bar = controller->scrollView()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 200);
    bar->setValue(0);
    std::unique_ptr<QMimeData> photo(PLRImageReferencePasteboard::mimeDataForIdentifiers({ids["e.jpg"]}));
    HeldDrag drag(controller.get(), photo.get());
    const QRectF shown = drag.viewport()->rect();
    const QPointF bottom(canvas()->mapTo(drag.viewport(), pointIn(layout()->mutable_sections(0)->mutable_blocks(0))).x(),
                         shown.bottom() - 4);

    // Held still near the bottom edge: the canvas scrolls on its own to its end, then stops.
    drag.enter(bottom);
    drag.moveTo(bottom);
    EXPECT_TRUE(canvas()->isAutoScrolling());
    ASSERT_TRUE(testing_support::waitUntil([&] { return bar->value() == bar->maximum(); }));
    EXPECT_TRUE(testing_support::waitUntil([&] { return !canvas()->isAutoScrolling(); }));
    // The indicator shows the place now under the pointer: below the last row.
    EXPECT_EQ(canvas()->currentDropZone(), canvas()->dropZoneAtPoint(drag.onCanvas(bottom)));
    EXPECT_EQ(canvas()->currentDropZone().kind, PLRDropZone::Kind::Section);
    EXPECT_EQ(canvas()->currentDropZone().index, 2);
    QSignalSpy performed(canvas(), &PLRLayoutInteractionView::dropPerformed);
    ASSERT_TRUE(drag.dropAt(bottom));
    ASSERT_TRUE(testing_support::waitUntil([&] { return performed.count() == 1; }));
    ASSERT_EQ(layout()->sections(0).blocks_size(), 3);
    EXPECT_EQ(imageRef(layout()->sections(0).blocks(2)), ids["e.jpg"]);
}

TEST_F(CanvasDropAtTheEnds, TheCanvasScrollsOnlyWhileTheDragIsInABandAndAMovedBlockLandsWhereItIsHeld)
{
    addRow("a.jpg", "b.jpg");
    addRow("c.jpg", "d.jpg");
    controller->setZoom(100);
    canvas()->refresh();
    QScrollBar* bar = controller->scrollView()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 200);
    bar->setValue(bar->maximum());
    std::unique_ptr<QMimeData> photo(PLRImageReferencePasteboard::mimeDataForIdentifiers({ids["e.jpg"]}));
    HeldDrag drag(controller.get(), photo.get());
    const QRectF shown = drag.viewport()->rect();
    const double x = shown.center().x();

    // Near the top edge it scrolls up; back in the middle it stops where it is.
    drag.enter(QPointF(x, shown.center().y()));
    EXPECT_FALSE(canvas()->isAutoScrolling());
    drag.moveTo(QPointF(x, shown.top() + 10));
    EXPECT_TRUE(canvas()->isAutoScrolling());
    ASSERT_TRUE(testing_support::waitUntil([&] { return bar->value() < bar->maximum() - 60; }));
    drag.moveTo(QPointF(x, shown.center().y()));
    EXPECT_FALSE(canvas()->isAutoScrolling());
    const int stopped = bar->value();
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), stopped);
    // Leaving the canvas stops it too.
    drag.moveTo(QPointF(x, shown.top() + 10));
    EXPECT_TRUE(canvas()->isAutoScrolling());
    drag.leave();
    EXPECT_FALSE(canvas()->isAutoScrolling());
    EXPECT_FALSE(canvas()->currentDropZone().isValid());

    // A block of the first row moved by a drag held at the bottom edge: it lands below the last
    // row once the canvas has scrolled there. A drag cancelled at the edge stops the scrolling.
    bar->setValue(0);
    PLRBlock* firstRow = layout()->mutable_sections(0)->mutable_blocks(0);
    PLRBlock* moved = firstRow->mutable_container()->mutable_sub_blocks(0);
    const QString movedRef = imageRef(*moved);
    const QPointF bottom(x, shown.bottom() - 4);
    bool cancelled = true;
    canvas()->setDragRunner([&](QMimeData* data) {
        std::unique_ptr<QMimeData> owned(data);
        HeldDrag blocks(controller.get(), data);
        blocks.enter(bottom);
        blocks.moveTo(bottom);
        EXPECT_TRUE(canvas()->isAutoScrolling());
        if (cancelled)
            return;
        EXPECT_TRUE(testing_support::waitUntil([&] { return bar->value() == bar->maximum(); }));
        EXPECT_TRUE(blocks.dropAt(bottom));
    });
    canvas()->beginBlockDrag({moved});
    EXPECT_FALSE(canvas()->isAutoScrolling());
    ASSERT_EQ(layout()->sections(0).blocks_size(), 2);   // nothing moved

    cancelled = false;
    bar->setValue(0);
    QSignalSpy performed(canvas(), &PLRLayoutInteractionView::dropPerformed);
    canvas()->beginBlockDrag({moved});
    EXPECT_FALSE(canvas()->isAutoScrolling());
    ASSERT_TRUE(testing_support::waitUntil([&] { return performed.count() == 1; }));
    const PLRSection& section = layout()->sections(0);
    ASSERT_EQ(section.blocks_size(), 3);   // the first row dissolved: its other photo, the second row, the moved photo
    EXPECT_EQ(imageRef(section.blocks(2)), movedRef);
}

namespace {

// row(a column(b row(c e))) above d, with room between the blocks.
class CanvasDropInAGap : public CanvasDropAtTheEnds {
protected:
    QList<canvas_test::Photo> photos() const override
    {
        return CanvasDropAtTheEnds::photos() + QList<canvas_test::Photo>{{"g.jpg", 500, 400, QColor(200, 200, 220)}};
    }

    void SetUp() override
    {
        CanvasDropAtTheEnds::SetUp();
        PLRBlock* a = addImage("a.jpg");
        addImage("d.jpg");
        const auto photo = [this](const QString& name) {
            PLRBlockPtrList blocks;
            blocks.push_back(PLRLayoutManager::newBlock_Image());
            blocks.back()->mutable_image()->set_img_ref(ids[name].toStdString());
            return blocks;
        };
        layoutManager()->wrapBlock(a, photo("b.jpg"), false, false);
        layoutManager()->wrapBlock(sub(row(), 1), photo("c.jpg"), true, false);
        layoutManager()->wrapBlock(sub(column(), 1), photo("e.jpg"), false, false);
        layout()->set_padding(24);
        layoutManager()->announceChange();
        canvas()->refresh();
        ASSERT_EQ(tree(), "row(a col(b row(c e))) d");
    }

    static PLRBlock* sub(PLRBlock* container, int index) { return container->mutable_container()->mutable_sub_blocks(index); }
    PLRBlock* row() const { return layout()->mutable_sections(0)->mutable_blocks(0); }
    PLRBlock* column() const { return sub(row(), 1); }
    PLRBlock* innerRow() const { return sub(column(), 1); }

    QString tree() const
    {
        std::function<QString(const PLRBlock&)> name = [&](const PLRBlock& block) {
            if (!block.has_container())
                return block.has_text() ? QStringLiteral("text") : ids.key(imageRef(block)).section('.', 0, 0);
            QStringList parts;
            for (const PLRBlock& inner : block.container().sub_blocks())
                parts << name(inner);
            return (block.container().vert() ? "col(" : "row(") + parts.join(' ') + ")";
        };
        QStringList parts;
        for (const PLRBlock& block : layout()->sections(0).blocks())
            parts << name(block);
        return parts.join(' ');
    }

    // The middle of the gap between two blocks side by side or one above the other.
    QPointF between(const PLRBlock* first, const PLRBlock* second) const
    {
        const QRectF one = canvas()->viewRectForBlock(first);
        const QRectF two = canvas()->viewRectForBlock(second);
        if (two.left() >= one.right())
            return QPointF((one.right() + two.left()) / 2.0, one.center().y());
        return QPointF(one.center().x(), (one.bottom() + two.top()) / 2.0);
    }

    // Drops the data at the point; the line shown during the hover runs through it, down or
    // across the whole of `span` as it stood.
    void dropInGap(QMimeData* data, const QPointF& point, const PLRBlock* span, bool down)
    {
        const QRectF whole = canvas()->viewRectForBlock(span);
        ASSERT_TRUE(dropData(data, point));
        EXPECT_EQ(lastIndicator.kind, PLRDropZone::Kind::Section);
        const QRectF line = canvas()->viewRectFromLayout(lastIndicator.targetRect);
        EXPECT_NEAR(down ? line.left() : line.top(), down ? point.x() : point.y(), 1.0);
        EXPECT_EQ(down ? line.width() : line.height(), 0.0);
        EXPECT_NEAR(down ? line.top() : line.left(), down ? whole.top() : whole.left(), 1.0);
        EXPECT_NEAR(down ? line.height() : line.width(), down ? whole.height() : whole.width(), 1.0);
    }
    QMimeData* photoData(const QStringList& names) const
    {
        QStringList identifiers;
        for (const QString& name : names)
            identifiers << ids[name];
        return PLRImageReferencePasteboard::mimeDataForIdentifiers(identifiers);
    }
};

} // namespace

TEST_F(CanvasDropInAGap, PhotosInTheGapOfARowOrAColumnGoBetweenItsBlocksWhereTheLineShows)
{
    const QByteArray before = bytes();
    // Between a and the column, in the row.
    dropInGap(photoData({"f.jpg"}), between(sub(row(), 0), column()), row(), true);
    EXPECT_EQ(lastIndicator.block, row());
    EXPECT_EQ(tree(), "row(a f col(b row(c e))) d");
    undo()->undo();
    EXPECT_EQ(bytes(), before);

    // Between b and the inner row, in the column: several photos in their order.
    canvas()->refresh();
    dropInGap(photoData({"f.jpg", "g.jpg"}), between(sub(column(), 0), innerRow()), column(), false);
    EXPECT_EQ(lastIndicator.block, column());
    EXPECT_EQ(tree(), "row(a col(b f g row(c e))) d");
    undo()->undo();
    EXPECT_EQ(bytes(), before);

    // Below the row's gap, where it meets the gap above d: between the top-level blocks.
    canvas()->refresh();
    const QPointF junction(between(sub(row(), 0), column()).x(), between(row(), layout()->mutable_sections(0)->mutable_blocks(1)).y());
    dropInGap(photoData({"f.jpg"}), junction, row(), false);
    EXPECT_EQ(lastIndicator.block, nullptr);
    EXPECT_EQ(tree(), "row(a col(b row(c e))) f d");
}

TEST_F(CanvasDropInAGap, NewAndMovedBlocksLandInANestedGapAndABlockMovedBesideItselfStays)
{
    const QByteArray before = bytes();
    // A new text between c and e, two containers down.
    dropInGap(PLRBlockPasteboard::mimeDataForNewBlock(plr::kBlockKindText), between(sub(innerRow(), 0), sub(innerRow(), 1)),
              innerRow(), true);
    EXPECT_EQ(lastIndicator.block, innerRow());
    EXPECT_EQ(tree(), "row(a col(b row(c text e))) d");
    canvas()->endEditing();
    undo()->undo();
    EXPECT_EQ(bytes(), before);

    // Blocks dragged on the canvas into a gap.
    canvas()->refresh();
    const auto move = [this](PLRBlock* block, const QPointF& to) {
        canvas()->setDragRunner([this, to](QMimeData* data) { EXPECT_TRUE(dropData(data, to)); });
        canvas()->beginBlockDrag({block});
        canvas()->refresh();
    };
    move(layout()->mutable_sections(0)->mutable_blocks(1), between(sub(row(), 0), column()));
    EXPECT_EQ(tree(), "row(a d col(b row(c e)))");
    EXPECT_EQ(undo()->undoActionName(), "Move Block");
    undo()->undo();
    EXPECT_EQ(bytes(), before);

    // Into the gap beside itself: nothing lost, nothing doubled, nothing to undo.
    canvas()->refresh();
    const qint64 undoCount = undo()->undoCount();
    move(sub(row(), 0), between(sub(row(), 0), column()));
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(undo()->undoCount(), undoCount);

    // Out of the inner row into the column's gap above it: the row it leaves is dissolved.
    move(sub(innerRow(), 0), between(sub(column(), 0), innerRow()));
    EXPECT_EQ(tree(), "row(a col(b c e)) d");
    undo()->undo();
    EXPECT_EQ(bytes(), before);
}
