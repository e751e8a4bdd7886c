// Undo and redo in a post's real screen (gallery, canvas and inspector side by side): an undo
// step takes back what it changed and nothing else, and redo does it again; the inspector's
// option changes, which are no undo steps, stay through the undo and redo of earlier steps.

#include "panels/gallery/GalleryTestSupport.h"

#include "canvas/interaction/PLRLayoutBlockInteractionHandler.h"
#include "canvas/interaction/PLRLayoutDocumentView.h"
#include "canvas/interaction/PLRLayoutInteraction.h"
#include "canvas/interaction/PLRLayoutInteractionView.h"
#include "canvas/interaction/PLRLayoutViewController.h"
#include "controls/PLRBoxButton.h"
#include "controls/PLRPopupButton.h"
#include "layout/base/PLRLayoutTree.h"
#include "layout/views/PLRBlockView.h"
#include "panels/inspector/PLRInspectorViewController.h"
#include "panels/inspector/PLRPropertyViewController.h"
#include "shell/post/PLRPostCanvasViewController.h"
#include "shell/post/PLRPostViewController.h"

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

using namespace gallery_test;

namespace {

class PostUndo : public ::testing::Test {
protected:
    void SetUp() override
    {
        manager = openPost(makeFolder(plainPhotos(4)), 4);
        auto* column = new QVBoxLayout(&window);
        column->setContentsMargins(0, 0, 0, 0);
        post->setPostManager(manager);
        column->addWidget(post->view());
        window.resize(1280, 800);
        window.show();
        post->presentInitialVisualState();
        auto* pane = qobject_cast<PLRPostCanvasViewController*>(post->layoutViewController());
        ASSERT_NE(pane, nullptr);
        canvasController = pane->canvas();
        inspector = qobject_cast<PLRInspectorViewController*>(post->inspectorViewController());
        ASSERT_NE(inspector, nullptr);
        ASSERT_TRUE(testing_support::waitUntil([&] { return canvasController->canvasAlpha() >= 1.0; }, 5000));
        undo()->removeAllActions();
    }
    void TearDown() override { post.reset(); }

    PLRLayoutInteractionView* canvas() const { return canvasController->interactionView(); }
    PLRPropertyViewController* page() const { return inspector->propertyViewController(); }
    PLRLayoutManager* layout() const { return manager->layoutManager(); }
    platform::UndoManager* undo() const { return platform::UndoManager::forOwner(manager); }
    QString photo(int index) const { return manager->images().at(index)->identifier(); }

    // Blocks by identifier: an undo gives the blocks of the sections it changes new addresses.
    PLRBlock* block(const std::string& id) const
    {
        PLRBlock* found = nullptr;
        plr::tree::forEachBlock(layout()->representedLayout(), [&](PLRBlock* b) {
            if (b->id() == id)
                found = b;
        });
        return found;
    }

    QPointF pointIn(const PLRBlock* b, double fx = 0.5, double fy = 0.5) const
    {
        canvas()->refresh();
        const QRectF rect = canvas()->viewRectForBlock(b);
        return QPointF(rect.left() + rect.width() * fx, rect.top() + rect.height() * fy);
    }
    void sendMouse(QEvent::Type type, const QPointF& viewPoint)
    {
        canvasController->scrollView()->ensureVisible(int(viewPoint.x()), int(viewPoint.y()), 20, 20);
        const QPointF at = canvas()->mapTo(&window, viewPoint);
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
        QMouseEvent event(type, at, at, window.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(&window, &event);
    }
    void click(const QPointF& viewPoint)
    {
        sendMouse(QEvent::MouseButtonPress, viewPoint);
        sendMouse(QEvent::MouseButtonRelease, viewPoint);
    }
    void doubleClick(const QPointF& viewPoint)
    {
        click(viewPoint);
        sendMouse(QEvent::MouseButtonDblClick, viewPoint);
        sendMouse(QEvent::MouseButtonRelease, viewPoint);
    }
    void drag(const QPointF& from, const QPointF& to)
    {
        sendMouse(QEvent::MouseButtonPress, from);
        sendMouse(QEvent::MouseMove, to);
        sendMouse(QEvent::MouseButtonRelease, to);
    }
    void choose(PLRPopupButton* popup, int tag) { popup->chooseItemAtIndex(popup->indexOfItemWithTag(tag)); }
    void typeInto(platform::ui::TextField* field, const QString& text)
    {
        field->editor()->setFocus();
        field->editor()->selectAll();
        QTest::keyClicks(field->editor(), text);
    }
    void undoStep(const QString& name)
    {
        ASSERT_TRUE(undo()->canUndo());
        ASSERT_EQ(undo()->undoActionName(), name);
        undo()->undo();
        canvas()->refresh();
    }
    void redoStep(const QString& name)
    {
        ASSERT_TRUE(undo()->canRedo());
        ASSERT_EQ(undo()->redoActionName(), name);
        undo()->redo();
        canvas()->refresh();
    }

    PLRPostManager* manager = nullptr;
    QWidget window;
    std::unique_ptr<PLRPostViewController> post = std::make_unique<PLRPostViewController>();
    PLRLayoutViewController* canvasController = nullptr;
    PLRInspectorViewController* inspector = nullptr;
};

} // namespace

// The report's own case, and an option of the same spacer changed after its resize.
TEST_F(PostUndo, AnOptionChangedAfterAResizeStaysThroughItsUndoAndRedo)
{
    PLRBlock* spacer = canvas()->appendNewBlock(plr::kBlockKindBlank);
    PLRBlock* button = canvas()->appendNewBlock(plr::kBlockKindDownloadButton);
    ASSERT_TRUE(spacer && button);
    const std::string spacerId = spacer->id();
    const std::string buttonId = button->id();
    click(pointIn(spacer));
    ASSERT_EQ(layout()->currentSelectedBlocks(), QList<PLRBlock*>{spacer});
    const float before = spacer->aspect_ratio();
    const QRectF frame = canvas()->viewRectForBlock(spacer);
    drag(QPointF(frame.center().x(), frame.bottom()), QPointF(frame.center().x(), frame.bottom() + 40));
    const float resized = block(spacerId)->aspect_ratio();
    ASSERT_NE(resized, before);
    ASSERT_EQ(undo()->undoActionName(), "Resize Spacer");

    // The button's size, then its title, from the inspector: no undo steps of their own.
    click(pointIn(block(buttonId)));
    ASSERT_EQ(page()->currentSubPage(), PLRPropertyViewController::DownloadButtonPage);
    choose(page()->downloadSizePopUpButton(), PLRBlock_Download_Button::LARGE);
    typeInto(page()->downloadTitleTextField(), QStringLiteral("Prints"));
    ASSERT_EQ(block(buttonId)->download_button().size(), PLRBlock_Download_Button::LARGE);
    EXPECT_EQ(undo()->undoActionName(), "Resize Spacer");

    for (int round = 0; round < 4; ++round) {
        undoStep("Resize Spacer");
        EXPECT_FLOAT_EQ(block(spacerId)->aspect_ratio(), before) << round;
        EXPECT_EQ(block(buttonId)->download_button().size(), PLRBlock_Download_Button::LARGE) << round;
        EXPECT_EQ(block(buttonId)->download_button().title(), "Prints") << round;
        redoStep("Resize Spacer");
        EXPECT_FLOAT_EQ(block(spacerId)->aspect_ratio(), resized) << round;
        EXPECT_EQ(block(buttonId)->download_button().size(), PLRBlock_Download_Button::LARGE) << round;
        EXPECT_EQ(block(buttonId)->download_button().title(), "Prints") << round;
    }
    // Down to the added blocks: the button goes with its own add and comes back as it was left.
    undoStep("Resize Spacer");
    undoStep("Add Download Button");
    EXPECT_EQ(block(buttonId), nullptr);
    redoStep("Add Download Button");
    ASSERT_NE(block(buttonId), nullptr);
    EXPECT_EQ(block(buttonId)->download_button().size(), PLRBlock_Download_Button::LARGE);
    EXPECT_EQ(block(buttonId)->download_button().title(), "Prints");
}

// Options of the very block a crop or a text edit changed, set after it (or during it), stay;
// the crop and the text go back and come again.
TEST_F(PostUndo, TheCropAndTheTextGoBackWhileTheirBlocksLaterOptionsStay)
{
    PLRBlock* image = layout()->createAndAddBlocksForImages({photo(0)}).first();
    const std::string imageId = image->id();
    layout()->selectBlocks({image});
    choose(page()->aspectRatioPopUpButton(), 4);   // 1:1, its own undo step
    testing_support::drainEvents();                 // (the inspector's step closes with its event)
    ASSERT_FLOAT_EQ(block(imageId)->aspect_ratio(), 1.0f);

    doubleClick(pointIn(block(imageId)));
    ASSERT_EQ(layout()->currentEditBlock(), block(imageId));
    drag(pointIn(block(imageId)), pointIn(block(imageId)) + QPointF(200, 0));
    QKeyEvent accept(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(canvas(), &accept);
    ASSERT_TRUE(block(imageId)->image().has_position());
    const std::string cropped = block(imageId)->image().position().SerializeAsString();
    ASSERT_EQ(undo()->undoActionName(), "Crop Image");

    // The photo's link and keywords after the crop, from the inspector.
    layout()->selectBlocks({block(imageId)});
    typeInto(page()->imageLinkURLTextField(), QStringLiteral("https://example.com/prints"));
    QLineEdit* keywords = page()->imageKeywordTokenField()->findChild<QLineEdit*>();
    ASSERT_NE(keywords, nullptr);
    keywords->setFocus();
    QTest::keyClicks(keywords, QStringLiteral("harbour "));
    const std::string stamp = block(imageId)->image().source_last_updated();
    auto expectLaterOptions = [&](int round) {
        const PLRBlock* now = block(imageId);
        ASSERT_NE(now, nullptr);
        EXPECT_EQ(now->image().interaction().href(), "https://example.com/prints") << round;
        EXPECT_EQ(now->image().source_last_updated(), stamp) << round;
    };
    for (int round = 0; round < 3; ++round) {
        undoStep("Crop Image");
        EXPECT_FALSE(block(imageId)->image().has_position()) << round;
        EXPECT_FLOAT_EQ(block(imageId)->aspect_ratio(), 1.0f) << round;
        expectLaterOptions(round);
        redoStep("Crop Image");
        EXPECT_EQ(block(imageId)->image().position().SerializeAsString(), cropped) << round;
        expectLaterOptions(round);
    }
    undoStep("Crop Image");
    undoStep("Change Aspect Ratio");
    EXPECT_FLOAT_EQ(block(imageId)->aspect_ratio(), 0.0f);
    expectLaterOptions(0);

    // A new text is typed into at once; its style changes while it is edited and its
    // alignment after.
    PLRBlock* text = canvas()->appendNewBlock(plr::kBlockKindText);
    const std::string textId = text->id();
    auto* handler = dynamic_cast<PLRLayoutBlockInteractionHandler_Text*>(canvas()->handlerForBlock(text));
    ASSERT_TRUE(handler && handler->editor());
    QTest::keyClicks(handler->editor(), "Harbour");
    choose(page()->textStylePopUpButton(), PLRBlock_Text::HEADER2);
    QTest::keyClicks(handler->editor(), " lights");
    QTest::keyClick(handler->editor(), Qt::Key_Escape);
    ASSERT_EQ(block(textId)->text().value(), "Harbour lights");
    ASSERT_EQ(undo()->undoActionName(), "Edit Text");
    layout()->selectBlocks({block(textId)});
    page()->textAlignmentSegmentControl()->clickSegment(PLRPosition::CENTRE);
    for (int round = 0; round < 3; ++round) {
        undoStep("Edit Text");
        EXPECT_EQ(block(textId)->text().value(), "") << round;
        EXPECT_EQ(block(textId)->text().style(), PLRBlock_Text::HEADER2) << round;
        EXPECT_EQ(block(textId)->text().position().alignment(), PLRPosition::CENTRE) << round;
        redoStep("Edit Text");
        EXPECT_EQ(block(textId)->text().value(), "Harbour lights") << round;
        EXPECT_EQ(block(textId)->text().style(), PLRBlock_Text::HEADER2) << round;
        EXPECT_EQ(block(textId)->text().position().alignment(), PLRPosition::CENTRE) << round;
    }
}

// Adds, a row made by a drop beside a photo, a move out of it that dissolves it, a delete, and
// the recycle tile (no undo step) between them: every option set in between stays wherever its
// block stands, undone and redone all the way.
TEST_F(PostUndo, StructuralStepsUndoAndRedoAroundLaterOptionChangesAndARecycle)
{
    PLRBlock* a = layout()->createAndAddBlocksForImages({photo(0)}).first();
    const std::string aId = a->id();
    PLRBlock* text = canvas()->appendNewBlock(plr::kBlockKindText);
    const std::string textId = text->id();
    canvas()->endEditing();
    PLRBlock* button = canvas()->appendNewBlock(plr::kBlockKindDownloadButton);
    const std::string buttonId = button->id();
    undo()->removeAllActions();
    const QByteArray start = plr::data(*layout()->representedLayout());

    // Two photos dropped on the first one's right edge: a row of three.
    PLRDropZone beside;
    beside.kind = PLRDropZone::Kind::BesideBlock;
    beside.block = block(aId);
    beside.edge = Qt::RightEdge;
    const QList<PLRBlock*> placed = canvas()->insertImages({photo(1), photo(2)}, beside);
    ASSERT_EQ(placed.size(), 2);
    const std::string bId = placed[0]->id();
    const std::string cId = placed[1]->id();
    const std::string rowId = layout()->pathFromSectionToBlock(block(aId)).first()->id();
    ASSERT_NE(rowId, aId);
    layout()->selectBlocks({block(buttonId)});
    choose(page()->downloadSizePopUpButton(), PLRBlock_Download_Button::LARGE);
    layout()->selectBlocks({block(bId)});
    typeInto(page()->imageLinkURLTextField(), QStringLiteral("https://example.com/b"));

    // The recycle tile: the row becomes a row of a photo and a column.
    layout()->selectBlocks({block(aId)});
    ASSERT_TRUE(page()->recycleButton()->isEnabled());
    page()->recycleButtonClicked();
    ASSERT_EQ(layout()->pathFromSectionToBlock(block(cId)).size(), 3u);

    // C moved out, below the button: the column it leaves is dissolved.
    PLRDropZone below;
    below.kind = PLRDropZone::Kind::BesideBlock;
    below.block = block(buttonId);
    below.edge = Qt::BottomEdge;
    ASSERT_TRUE(canvas()->moveBlocks({block(cId)}, below));
    layout()->selectBlocks({block(textId)});
    choose(page()->textStylePopUpButton(), PLRBlock_Text::HEADER1);
    layout()->selectBlocks({block(cId)});
    typeInto(page()->imageLinkURLTextField(), QStringLiteral("https://example.com/c"));

    // The text deleted; the button's title set after.
    layout()->selectBlocks({block(textId)});
    ASSERT_TRUE(canvas()->deleteSelectedBlocks());
    layout()->selectBlocks({block(buttonId)});
    typeInto(page()->downloadTitleTextField(), QStringLiteral("Prints"));

    auto expectOptions = [&](const char* where) {
        SCOPED_TRACE(where);
        ASSERT_NE(block(buttonId), nullptr);
        EXPECT_EQ(block(buttonId)->download_button().size(), PLRBlock_Download_Button::LARGE);
        EXPECT_EQ(block(buttonId)->download_button().title(), "Prints");
        if (const PLRBlock* t = block(textId)) {
            EXPECT_EQ(t->text().style(), PLRBlock_Text::HEADER1);
        }
        if (const PLRBlock* b = block(bId)) {
            EXPECT_EQ(b->image().interaction().href(), "https://example.com/b");
        }
        if (const PLRBlock* c = block(cId)) {
            EXPECT_EQ(c->image().interaction().href(), "https://example.com/c");
        }
    };
    const QByteArray end = plr::data(*layout()->representedLayout());
    for (int round = 0; round < 2; ++round) {
        undoStep("Delete");
        ASSERT_NE(block(textId), nullptr);
        EXPECT_EQ(layout()->representedLayout()->sections(0).blocks(1).id(), textId);
        expectOptions("delete undone");
        undoStep("Move Block");
        // C is back in the row beside B, in the arrangement the recycle left.
        EXPECT_EQ(layout()->pathFromSectionToBlock(block(cId)).size(), 3u);
        EXPECT_EQ(layout()->pathFromSectionToBlock(block(cId)).first()->id(), rowId);
        expectOptions("move undone");
        undoStep("Add Images");
        EXPECT_EQ(block(bId), nullptr);
        EXPECT_EQ(block(cId), nullptr);
        EXPECT_EQ(block(rowId), nullptr);   // the row goes with its photos
        EXPECT_EQ(layout()->pathFromSectionToBlock(block(aId)).size(), 1u);
        expectOptions("add undone");
        EXPECT_FALSE(undo()->canUndo());

        redoStep("Add Images");
        EXPECT_EQ(layout()->pathFromSectionToBlock(block(cId)).size(), 3u);
        expectOptions("add redone");
        redoStep("Move Block");
        EXPECT_EQ(layout()->pathFromSectionToBlock(block(cId)).size(), 1u);
        expectOptions("move redone");
        redoStep("Delete");
        EXPECT_EQ(block(textId), nullptr);
        expectOptions("delete redone");
        EXPECT_EQ(plr::data(*layout()->representedLayout()), end);
    }
    EXPECT_NE(start, end);
}

// A text being edited shows an alignment chosen in the inspector at once.
TEST_F(PostUndo, TheTextEditorFollowsAnAlignmentChosenWhileItIsOpen)
{
    PLRBlock* text = canvas()->appendNewBlock(plr::kBlockKindText);
    auto* handler = dynamic_cast<PLRLayoutBlockInteractionHandler_Text*>(canvas()->handlerForBlock(text));
    ASSERT_TRUE(handler && handler->editor());
    QTest::keyClicks(handler->editor(), "Harbour");
    EXPECT_EQ(handler->editor()->document()->defaultTextOption().alignment(), Qt::AlignLeft);
    page()->textAlignmentSegmentControl()->clickSegment(PLRPosition::RIGHT);
    ASSERT_EQ(text->text().position().alignment(), PLRPosition::RIGHT);
    ASSERT_NE(handler->editor(), nullptr);
    EXPECT_EQ(handler->editor()->document()->defaultTextOption().alignment(), Qt::AlignRight);
    page()->textAlignmentSegmentControl()->clickSegment(PLRPosition::CENTRE);
    EXPECT_EQ(handler->editor()->document()->defaultTextOption().alignment(), Qt::AlignHCenter);
}

// After "Add Link…", a click on the canvas closes the link popover and takes the keyboard from
// the link field: Ctrl+Z then undoes the canvas's last step and leaves the photo's link alone.
TEST_F(PostUndo, AClickOnTheCanvasBesideTheLinkPopoverTakesTheKeyboardFromTheLinkField)
{
    const std::string imageId = layout()->createAndAddBlocksForImages({photo(0)}).first()->id();
    const std::string spacerId = canvas()->appendNewBlock(plr::kBlockKindBlank)->id();
    ASSERT_EQ(undo()->undoActionName(), "Add Spacer");
    window.activateWindow();
    ASSERT_TRUE(testing_support::waitUntil([&] { return window.isActiveWindow(); }));
    layout()->selectBlocks({block(imageId)});
    page()->addLinkOnClickButton()->performClick();
    typeInto(page()->imageLinkURLTextField(), QStringLiteral("https://example.com/clock"));
    ASSERT_EQ(block(imageId)->image().interaction().href(), "https://example.com/clock");
    page()->imageLinkPopoverButton()->performClick();
    PLRPopover* popover = page()->imageLinkPopover();
    ASSERT_TRUE(popover && popover->isShown());
    testing_support::drainEvents();

    // The click as the window system brings it: to the window under the pointer, while the
    // popover holds the pointer.
    const QPointF inCanvas = pointIn(block(imageId));
    canvasController->scrollView()->ensureVisible(int(inCanvas.x()), int(inCanvas.y()), 20, 20);
    const QPoint at = canvas()->mapTo(&window, inCanvas.toPoint());
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    testing_support::drainEvents();
    EXPECT_FALSE(popover->isShown());
    EXPECT_EQ(QApplication::focusWidget(), canvas());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(block(spacerId), nullptr);
    ASSERT_NE(block(imageId), nullptr);
    EXPECT_EQ(block(imageId)->image().interaction().href(), "https://example.com/clock");
    EXPECT_EQ(page()->imageLinkURLTextField()->stringValue(), QStringLiteral("https://example.com/clock"));
}
