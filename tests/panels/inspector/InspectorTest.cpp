// The inspector of an open post: which page each selection shows, the block-properties page's
// edits (ratio with undo, crop, keywords, link, text, spacer, download button) and the
// Document page's edits, which reach the stored post.

#include "panels/gallery/GalleryTestSupport.h"

#include "layout/base/PLRLayoutTree.h"
#include "controls/PLRBoxButton.h"
#include "controls/PLRColorWell.h"
#include "layout/block_draw_handlers/PLRBlockDrawHandler_Text.h"
#include "controls/PLRPopupButton.h"
#include "controls/PLRStepperCell.h"
#include "controls/PLRSwitchButton.h"
#include "panels/inspector/PLRDocumentViewController.h"
#include "panels/inspector/PLRInspectorPanels.h"
#include "panels/inspector/PLRInspectorViewController.h"
#include "panels/inspector/PLRPropertyViewController.h"
#include "panels/inspector/PLRImageLinkViewController.h"
#include "shell/PLRTitleBarControls.h"
#include "store/session/PLRFocusKeywordStore.h"
#include "store/model/PLRAspectRatio.h"
#include "store/session/PLRDefaults.h"
#include "canvas/interaction/PLRLayoutInteraction.h"
#include "platform/NotificationCenter.h"
#include "platform/Storyboard.h"
#include "shell/PLRShellNotifications.h"

#include <QApplication>
#include <QKeyEvent>
#include "platform/UndoManager.h"
#include "platform-ui/Fonts.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QTest>

using namespace gallery_test;

namespace {

// With PELLORA_SCREENSHOT_DIR set, saves the widget there as a PNG.
void screenshot(QWidget* widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("PELLORA_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    EXPECT_TRUE(widget->grab().save(dir + "/" + name + ".png"));
}

struct Inspector {
    PLRPostManager* manager = nullptr;
    std::unique_ptr<PLRInspectorViewController> inspector;

    explicit Inspector(int photos = 3, int width = 60, int height = 40)
    {
        QList<Photo> list;
        for (int i = 0; i < photos; ++i)
            list.append({QStringLiteral("p%1.jpg").arg(i + 1), width, height});
        manager = openPost(makeFolder(list), photos);
        inspector = std::make_unique<PLRInspectorViewController>();
        inspector->view()->resize(250, 700);
        inspector->view()->show();
        inspector->setPostManager(manager);
        testing_support::drainEvents();
    }
    PLRLayoutManager* layout() const { return manager->layoutManager(); }
    PLRPropertyViewController* page() const { return inspector->propertyViewController(); }
    PLRDocumentViewController* document() const { return inspector->documentViewController(); }
    platform::ui::TextField* message() const { return page()->otherInfoLabel(); }
    QList<PLRBlock*> addImages(int count)
    {
        QStringList ids;
        for (const PLRSourceImagePtr& image : manager->images())
            if (ids.size() < count)
                ids.append(image->identifier());
        return layout()->createAndAddBlocksForImages(ids);
    }
    PLRBlock* add(PLRBlockPtr block) { return layout()->addBlock(std::move(block), nullptr, layout()->representedLayout()->mutable_sections(0)); }
    PLRSection* section() const { return layout()->representedLayout()->mutable_sections(0); }
    void typeInto(platform::ui::TextField* field, const QString& text)
    {
        field->editor()->setFocus();
        field->editor()->selectAll();
        if (text.isEmpty())
            QTest::keyClick(field->editor(), Qt::Key_Delete);
        else
            QTest::keyClicks(field->editor(), text);
    }
};

} // namespace

TEST(Inspector, EachSelectionMixShowsItsPage)
{
    Inspector t;
    const QList<PLRBlock*> images = t.addImages(2);
    PLRBlock* text = t.add(PLRLayoutManager::newBlock_Text());
    PLRBlock* blank = t.add(PLRLayoutManager::newBlock_Blank());
    PLRBlock* download = t.add(PLRLayoutManager::newBlock_DownloadButton());
    PLRBlock* container = t.add(PLRLayoutManager::newBlock_Container(true));
    ASSERT_NE(t.layout()->addBlock(PLRLayoutManager::newBlock_Image(), container, nullptr), nullptr);

    EXPECT_EQ(t.inspector->selectedPage(), PLRInspectorViewController::DocumentPage);
    t.layout()->selectBlocks({images[0], blank, container});
    EXPECT_EQ(t.inspector->selectedPage(), PLRInspectorViewController::PropertyPage);
    EXPECT_EQ(t.page()->currentSubPage(), PLRPropertyViewController::ImagePage);
    EXPECT_EQ(t.page()->selectionDescriptionTextField()->stringValue(), QStringLiteral("Selected Image"));
    EXPECT_EQ(t.page()->imageNameTextField()->stringValue(), QStringLiteral("p1"));

    t.layout()->selectBlocks({images[0], text});
    EXPECT_EQ(t.page()->currentSubPage(), PLRPropertyViewController::EmptyPage);
    EXPECT_EQ(t.message()->stringValue(), QStringLiteral("Multiple Blocks Selected"));
    t.layout()->selectBlocks({container});
    EXPECT_EQ(t.message()->stringValue(), QStringLiteral("Multiple Blocks Selected"));
    t.layout()->selectBlocks({text});
    EXPECT_EQ(t.page()->currentSubPage(), PLRPropertyViewController::TextPage);
    t.layout()->selectBlocks({blank});
    EXPECT_EQ(t.page()->currentSubPage(), PLRPropertyViewController::BlankPage);
    t.layout()->selectBlocks({download});
    EXPECT_EQ(t.page()->currentSubPage(), PLRPropertyViewController::DownloadButtonPage);

    t.layout()->deSelectAllBlocks();
    EXPECT_EQ(t.inspector->selectedPage(), PLRInspectorViewController::DocumentPage);
    EXPECT_EQ(t.message()->stringValue(), QStringLiteral("No Block Selected"));
}

TEST(Inspector, SettingsPageKeepsOrLeavesAsTheSelectionSays)
{
    Inspector t;
    const QList<PLRBlock*> images = t.addImages(1);
    t.inspector->selectSettingsTab();
    EXPECT_TRUE(t.inspector->isSettingsButtonActive());
    t.layout()->deSelectAllBlocks(); // nothing was selected before: stays
    EXPECT_EQ(t.inspector->selectedPage(), PLRInspectorViewController::SettingsPage);

    t.layout()->selectBlocks({images[0]});
    EXPECT_EQ(t.inspector->selectedPage(), PLRInspectorViewController::PropertyPage);
    EXPECT_TRUE(t.inspector->isDocumentButtonActive());
    EXPECT_FALSE(t.inspector->isSettingsUnderlineShown());
    EXPECT_TRUE(t.inspector->isDocumentUnderlineShown());

    t.inspector->selectSettingsTab();
    t.layout()->deSelectAllBlocks(); // after a selection: back to the Document page
    EXPECT_EQ(t.inspector->selectedPage(), PLRInspectorViewController::DocumentPage);
    EXPECT_FALSE(t.inspector->isBottomAreaHidden());

    // The overlay notice is ignored on the Document page.
    t.document()->showOfflineView();
    EXPECT_FALSE(t.inspector->isBottomAreaHidden());
    t.document()->hideOfflineView();
}

TEST(Inspector, RatioChangeUndoesAndRedoesForAsLongAsTheUserLikes)
{
    Inspector t(2, 60, 40); // 3:2 photos
    const QList<PLRBlock*> images = t.addImages(2);
    t.layout()->selectBlocks({images[0]});
    PLRPopupButton* ratio = t.page()->aspectRatioPopUpButton();
    EXPECT_EQ(ratio->title(), QStringLiteral("3:2"));
    EXPECT_TRUE(ratio->itemState(ratio->indexOfItemWithTag(0)));

    platform::UndoManager* undo = platform::UndoManager::forOwner(t.manager);
    undo->removeAllActions();
    int changes = 0;
    QObject context;
    platform::NotificationCenter::defaultCenter().addObserver(&context, QString::fromLatin1(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE),
                                                              [&](const platform::Notification&) { ++changes; });
    ratio->chooseItemAtIndex(ratio->indexOfItemWithTag(4)); // 1:1
    const std::string id = images[0]->id();
    auto block = [&]() -> PLRBlock* {
        PLRBlock* found = nullptr;
        plr::tree::forEachBlock(t.layout()->representedLayout(), [&](PLRBlock* b) { if (b->id() == id) found = b; });
        return found;
    };
    EXPECT_FLOAT_EQ(block()->aspect_ratio(), 1.0f);
    EXPECT_GE(changes, 1); // the canvas hears of it
    EXPECT_EQ(ratio->title(), QStringLiteral("1:1"));
    testing_support::drainEvents();
    ASSERT_TRUE(undo->canUndo());
    EXPECT_EQ(undo->undoActionName(), QStringLiteral("Change Aspect Ratio"));
    undo->undo();
    EXPECT_FLOAT_EQ(block()->aspect_ratio(), 0.0f);
    EXPECT_EQ(ratio->title(), QStringLiteral("3:2"));
    ASSERT_TRUE(undo->canRedo());
    EXPECT_EQ(undo->redoActionName(), QStringLiteral("Change Aspect Ratio"));
    undo->redo();
    EXPECT_FLOAT_EQ(block()->aspect_ratio(), 1.0f);
    EXPECT_EQ(ratio->title(), QStringLiteral("1:1"));
    // The redone change can be undone again, and so on.
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(undo->canUndo()) << round;
        EXPECT_EQ(undo->undoActionName(), QStringLiteral("Change Aspect Ratio"));
        undo->undo();
        EXPECT_FLOAT_EQ(block()->aspect_ratio(), 0.0f);
        EXPECT_EQ(ratio->title(), QStringLiteral("3:2"));
        ASSERT_TRUE(undo->canRedo()) << round;
        undo->redo();
        EXPECT_FLOAT_EQ(block()->aspect_ratio(), 1.0f);
        EXPECT_FALSE(undo->canRedo());
    }

    // A change made on photos of different ratios (1:1 and none of its own) takes each back to
    // its own ratio when undone, and each to the new one again when redone.
    const std::string otherId = images[1]->id();
    auto other = [&]() -> PLRBlock* {
        PLRBlock* found = nullptr;
        plr::tree::forEachBlock(t.layout()->representedLayout(), [&](PLRBlock* b) { if (b->id() == otherId) found = b; });
        return found;
    };
    for (const bool firstIsSquare : {true, false}) {
        SCOPED_TRACE(firstIsSquare ? "the square photo first" : "the square photo last");
        t.layout()->selectBlocks(firstIsSquare ? QList<PLRBlock*>{block(), other()} : QList<PLRBlock*>{other(), block()});
        ratio->chooseItemAtIndex(ratio->indexOfItemWithTag(5)); // 16:9
        EXPECT_FLOAT_EQ(block()->aspect_ratio(), float(16.0 / 9.0));
        EXPECT_FLOAT_EQ(other()->aspect_ratio(), float(16.0 / 9.0));
        testing_support::drainEvents();
        for (int round = 0; round < 2; ++round) {
            ASSERT_TRUE(undo->canUndo());
            undo->undo();
            EXPECT_FLOAT_EQ(block()->aspect_ratio(), 1.0f) << round;
            EXPECT_FLOAT_EQ(other()->aspect_ratio(), 0.0f) << round;
            ASSERT_TRUE(undo->canRedo());
            undo->redo();
            EXPECT_FLOAT_EQ(block()->aspect_ratio(), float(16.0 / 9.0)) << round;
            EXPECT_FLOAT_EQ(other()->aspect_ratio(), float(16.0 / 9.0)) << round;
        }
        undo->undo();
    }

    // Two photos whose stored ratios differ: "Multiple"; revert clears ratio and crop, undoably.
    PLRPosition crop;
    crop.set_x(0.2f);
    crop.set_width(0.5f);
    plr::setPosition(block()->mutable_image(), &crop);
    t.layout()->selectBlocks({block(), images[1]});
    EXPECT_EQ(ratio->title(), QStringLiteral("Multiple"));
    EXPECT_EQ(t.page()->selectionDescriptionTextField()->stringValue(), QStringLiteral("Multiple Images"));
    EXPECT_EQ(t.page()->imageCountLabel()->stringValue(), QStringLiteral("2"));
    t.page()->revertImageAspectRatio();
    EXPECT_FLOAT_EQ(block()->aspect_ratio(), 0.0f);
    EXPECT_FALSE(block()->image().has_position());
    testing_support::drainEvents();
    // The revert undoes and redoes for as long as the user likes too.
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(undo->canUndo()) << round;
        EXPECT_EQ(undo->undoActionName(), QStringLiteral("Change Aspect Ratio"));
        undo->undo();
        EXPECT_FLOAT_EQ(block()->aspect_ratio(), 1.0f);
        EXPECT_FLOAT_EQ(other()->aspect_ratio(), 0.0f);
        ASSERT_TRUE(block()->image().has_position());
        EXPECT_FLOAT_EQ(block()->image().position().x(), 0.2f);
        EXPECT_FLOAT_EQ(block()->image().position().width(), 0.5f);
        EXPECT_EQ(ratio->title(), QStringLiteral("Multiple"));
        ASSERT_TRUE(undo->canRedo()) << round;
        EXPECT_EQ(undo->redoActionName(), QStringLiteral("Change Aspect Ratio"));
        undo->redo();
        EXPECT_FLOAT_EQ(block()->aspect_ratio(), 0.0f);
        EXPECT_FALSE(block()->image().has_position());
        EXPECT_EQ(ratio->title(), QStringLiteral("3:2"));
        EXPECT_FALSE(undo->canRedo());
    }
}

TEST(Inspector, CropTileTogglesEditModeAndTilesFollowTheSelection)
{
    Inspector t;
    const QList<PLRBlock*> images = t.addImages(2);
    t.layout()->selectBlocks({images[0]});
    EXPECT_TRUE(t.page()->cropButton()->isEnabled());
    t.page()->cropButtonClicked();
    EXPECT_EQ(t.layout()->currentEditBlock(), images[0]);
    EXPECT_TRUE(t.layout()->currentSelectedBlocks().isEmpty());
    EXPECT_EQ(t.page()->currentSubPage(), PLRPropertyViewController::ImagePage);
    t.page()->cropButtonClicked();
    EXPECT_EQ(t.layout()->currentEditBlock(), nullptr);
    EXPECT_EQ(t.layout()->currentSelectedBlocks(), QList<PLRBlock*>({images[0]}));

    t.layout()->selectBlocks(images);
    EXPECT_FALSE(t.page()->cropButton()->isEnabled());
    EXPECT_EQ(t.page()->cropButton()->label()->stringValue(), QStringLiteral("Crop/Resize 1 image at a time"));
    EXPECT_FALSE(t.page()->recycleButton()->isEnabled());
}

// From the keyboard the crop tile works as a click does, and the keyboard stays on it while the
// page follows the crop mode in and out.
TEST(Inspector, SpaceOnTheCropTileTogglesCropModeAndTheKeyboardStaysOnIt)
{
    Inspector t;
    const QList<PLRBlock*> images = t.addImages(1);
    t.layout()->selectBlocks({images[0]});
    testing_support::drainEvents();
    QWidget* window = t.inspector->view()->window();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    PLRBoxButton* crop = t.page()->cropButton();
    crop->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(crop->hasFocus());
    const auto space = [&] {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        QApplication::sendEvent(QApplication::focusWidget(), &key);
        testing_support::drainEvents();
    };
    space();
    EXPECT_EQ(t.layout()->currentEditBlock(), images[0]);
    EXPECT_EQ(QApplication::focusWidget(), crop);
    space();
    EXPECT_EQ(t.layout()->currentEditBlock(), nullptr);
    EXPECT_EQ(t.layout()->currentSelectedBlocks(), QList<PLRBlock*>({images[0]}));
    EXPECT_EQ(QApplication::focusWidget(), crop);
}

TEST(Inspector, TileCaptionsStayWhollyInsideTheirTiles)
{
    Inspector t;
    const QList<PLRBlock*> images = t.addImages(2);
    auto whollyInside = [](PLRBoxButton* tile) {
        platform::ui::TextField* caption = tile->label();
        const QString text = caption->stringValue();
        const QRect needed = QFontMetrics(caption->font())
                                 .boundingRect(QRect(0, 0, caption->width() - 4, 10000), Qt::TextWordWrap, text);
        EXPECT_GE(caption->height() + 1, needed.height()) << text.toStdString();
        EXPECT_TRUE(tile->rect().contains(caption->geometry())) << text.toStdString();
    };
    t.layout()->selectBlocks({images[0]});
    testing_support::drainEvents();
    whollyInside(t.page()->cropButton());
    whollyInside(t.page()->recycleButton());
    // Two photos: both tiles explain why they are disabled.
    t.layout()->selectBlocks(images);
    testing_support::drainEvents();
    whollyInside(t.page()->cropButton());
    whollyInside(t.page()->recycleButton());
}

TEST(Inspector, TheKeywordHelpSaysWhatTheFieldDoesAndSlantsItsClosingAdviceWhole)
{
    Inspector t;
    const QList<PLRBlock*> images = t.addImages(1);
    t.layout()->selectBlocks(images);
    const platform::ui::AttributedString help = t.page()->imageDescriptionHelpText()->attributedStringValue();
    // The help says what ends a keyword, and the field does just that: "golden light" is two.
    EXPECT_FALSE(help.string().contains(QStringLiteral("separated by commas"))) << help.string().toStdString();
    EXPECT_TRUE(help.string().contains(QStringLiteral("a blank, a comma or a new line ends it"))) << help.string().toStdString();
    QLineEdit* editor = t.page()->imageKeywordTokenField()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setFocus();
    QTest::keyClicks(editor, QStringLiteral("golden light,dusk"));
    t.page()->imageKeywordTokenField()->commitPendingText();
    const PLRSourceImagePtr photo = t.manager->imageForIdentifier(QString::fromStdString(images[0]->image().img_ref()));
    EXPECT_EQ(photo->focusKeywords(), (QStringList{"golden", "light", "dusk"}));
    QString slanted;
    for (const auto& [range, attributes] : help.runs())
        if (attributes.value(QString::fromLatin1(platform::ui::kFontAttributeName)).value<QFont>().italic())
            slanted += help.string().mid(range.location, range.length);
    EXPECT_EQ(slanted, QStringLiteral("Use the words a visitor would search for"));
}

TEST(Inspector, KeywordLightAndLinkField)
{
    Inspector t;
    const QList<PLRBlock*> images = t.addImages(2);
    t.layout()->selectBlocks({images[0]});
    screenshot(t.inspector->view(), QStringLiteral("inspector-image"));
    EXPECT_EQ(t.page()->imageDescriptionLight(), QStringLiteral("light-red"));
    // The photo's keywords are tokens: a blank or a comma ends each one; completions come from
    // the keyword store.
    OEXTokenField* keywords = t.page()->imageKeywordTokenField();
    ASSERT_NE(keywords, nullptr);
    QLineEdit* keywordEditor = keywords->findChild<QLineEdit*>();
    ASSERT_NE(keywordEditor, nullptr);
    keywordEditor->setFocus();
    QTest::keyClicks(keywordEditor, QStringLiteral("tram, lisbon "));
    EXPECT_EQ(t.page()->imageDescriptionLight(), QStringLiteral("light-green"));
    const PLRSourceImagePtr photo = t.manager->imageForIdentifier(QString::fromStdString(images[0]->image().img_ref()));
    EXPECT_EQ(photo->focusKeywords(), QStringList({"tram", "lisbon"}));
    EXPECT_FALSE(images[0]->image().source_last_updated().empty());
    PLRFocusKeywordStore::addKeyword(QStringLiteral("travel"));
    EXPECT_TRUE(t.page()->tokenFieldCompletionsForSubstring(keywords, QStringLiteral("tra"), 0).contains(QStringLiteral("travel")));
    keywords->setSelectedRange(0, 2);
    QTest::keyClick(keywordEditor, Qt::Key_Delete);
    EXPECT_EQ(t.page()->imageDescriptionLight(), QStringLiteral("light-red"));
    EXPECT_TRUE(photo->focusKeywords().isEmpty());

    // The link field links every selected photo; clearing it removes the links; a script
    // address is never stored.
    t.layout()->selectBlocks(images);
    t.typeInto(t.page()->imageLinkURLTextField(), QStringLiteral("https://example.com/tram"));
    for (PLRBlock* image : images) {
        ASSERT_TRUE(image->image().has_interaction());
        EXPECT_EQ(image->image().interaction().href(), "https://example.com/tram");
    }
    t.typeInto(t.page()->imageLinkURLTextField(), QString());
    for (PLRBlock* image : images)
        EXPECT_FALSE(image->image().has_interaction());
    t.typeInto(t.page()->imageLinkURLTextField(), QStringLiteral("javascript:alert(1)"));
    for (PLRBlock* image : images)
        EXPECT_FALSE(image->image().has_interaction());

    // A photo with a link opens the link box, even when it was closed for the photo before.
    PLRInteraction* link = images[1]->mutable_image()->mutable_interaction();
    link->set_href("https://example.com/lisbon");
    t.layout()->selectBlocks({images[0]});
    EXPECT_FALSE(t.page()->addLinkOnClickButton()->checked());
    EXPECT_TRUE(t.page()->addLinkOnClickView()->isHidden());
    t.layout()->selectBlocks({images[1]});
    EXPECT_TRUE(t.page()->addLinkOnClickButton()->checked());
    EXPECT_FALSE(t.page()->addLinkOnClickView()->isHidden());
    EXPECT_EQ(t.page()->imageLinkURLTextField()->stringValue(), QStringLiteral("https://example.com/lisbon"));
    // Each selection shows its own state: the unlinked photo after the linked one is off.
    t.layout()->selectBlocks({images[0]});
    EXPECT_FALSE(t.page()->addLinkOnClickButton()->checked());
    EXPECT_TRUE(t.page()->addLinkOnClickView()->isHidden());
    EXPECT_TRUE(t.page()->imageLinkURLTextField()->stringValue().isEmpty());
    t.layout()->selectBlocks({images[1]});
    t.layout()->selectBlocks(images);
    EXPECT_FALSE(t.page()->addLinkOnClickButton()->checked());
}

TEST(Inspector, TheLinkPopoverOpensFromItsButtonAndItsAddLinkLinksThePhoto)
{
    Inspector t;
    const QList<PLRBlock*> images = t.addImages(2);
    t.layout()->selectBlocks({images[0]});
    t.page()->addLinkOnClickButton()->performClick();
    ASSERT_FALSE(t.page()->addLinkOnClickView()->isHidden());
    platform::ui::Button* button = t.page()->imageLinkPopoverButton();
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isVisibleTo(t.page()->view()));
    QStringList posted;
    QObject context;
    platform::NotificationCenter::defaultCenter().addObserver(
        &context, QString::fromLatin1(kPLR_NOTIFICATION_IMAGELINK_DID_CHANGE),
        [&](const platform::Notification& note) { posted << note.userInfo.value(QString::fromLatin1(kPLRImageLinkURLKey)).toString(); });

    // The button shows the popover under it, holding the photo's link field.
    button->performClick();
    PLRPopover* popover = t.page()->imageLinkPopover();
    ASSERT_NE(popover, nullptr);
    EXPECT_TRUE(popover->isShown());
    PLRImageLinkViewController* link = t.page()->imageLinkViewController();
    EXPECT_EQ(popover->contentView(), link->view());
    EXPECT_GE(popover->geometry().top(), button->mapToGlobal(QPoint(0, button->height())).y());
    t.typeInto(link->imageClickOnUrlTextField(), QStringLiteral("https://example.com/tram"));
    auto* add = link->view()->findChild<platform::ui::Button*>(QStringLiteral("addLinkButton"));
    ASSERT_NE(add, nullptr);
    add->performClick();

    // "Add Link" posts the address; the page links the photo with it and the popover closes.
    EXPECT_EQ(posted, QStringList{QStringLiteral("https://example.com/tram")});
    EXPECT_FALSE(popover->isShown());
    ASSERT_TRUE(images[0]->image().has_interaction());
    EXPECT_EQ(images[0]->image().interaction().href(), "https://example.com/tram");
    EXPECT_FALSE(images[1]->image().has_interaction());
    EXPECT_EQ(t.page()->imageLinkURLTextField()->stringValue(), QStringLiteral("https://example.com/tram"));

    // Opened again, it shows the photo's link; a script address is never stored.
    button->performClick();
    EXPECT_EQ(link->imageClickOnUrlTextField()->stringValue(), QStringLiteral("https://example.com/tram"));
    t.typeInto(link->imageClickOnUrlTextField(), QStringLiteral("javascript:alert(1)"));
    QTest::keyClick(link->imageClickOnUrlTextField()->editor(), Qt::Key_Return);
    EXPECT_EQ(posted.size(), 2);
    EXPECT_FALSE(images[0]->image().has_interaction());

    // A click elsewhere keeps what was typed, as Return would; Escape drops it; closed as it
    // opened, nothing is posted.
    const auto closeWith = [&](const QString& typed, const std::function<void()>& close) {
        button->performClick();
        if (!typed.isNull())
            t.typeInto(link->imageClickOnUrlTextField(), typed);
        close();
        EXPECT_FALSE(popover->isShown());
    };
    closeWith(QStringLiteral("https://example.com/kept"), [&] { QTest::mouseClick(popover, Qt::LeftButton, {}, QPoint(-20, -20)); });
    EXPECT_EQ(images[0]->image().interaction().href(), "https://example.com/kept");
    EXPECT_TRUE(t.page()->addLinkOnClickButton()->checked());
    closeWith(QStringLiteral("https://example.com/dropped"),
              [&] { QTest::keyClick(link->imageClickOnUrlTextField()->editor(), Qt::Key_Escape); });
    closeWith(QString(), [&] { popover->hide(); });
    EXPECT_EQ(posted.size(), 3);
    EXPECT_EQ(images[0]->image().interaction().href(), "https://example.com/kept");
}

TEST(Inspector, TheLinkPopoverStaysInsideTheWindowAtEverySizeAndPlace)
{
    Inspector t;
    const QList<PLRBlock*> images = t.addImages(1);
    t.layout()->selectBlocks({images[0]});
    t.page()->addLinkOnClickButton()->performClick();
    platform::ui::Button* button = t.page()->imageLinkPopoverButton();
    ASSERT_NE(button, nullptr);
    // The inspector at the right edge of a main window, as in a post.
    QWidget window;
    QWidget* pane = t.inspector->view();
    pane->setParent(&window);
    struct GiveBack {   // the inspector deletes its own view, also when an assertion ends the test
        QWidget* pane;
        ~GiveBack() { pane->setParent(nullptr); }
    } giveBack{pane};
    window.show();
    const QRect screen = window.screen()->availableGeometry();
    // Tall and short windows (a short one scrolls the page, so the button sits at its foot), at
    // the screen's edges and in between.
    for (const QRect place : {QRect(0, 0, 700, 700), QRect(screen.right() + 1 - 420, 40, 420, 700), QRect(200, 0, 500, 380),
                              QRect(screen.right() + 1 - 400, screen.bottom() + 1 - 330, 400, 330), QRect(60, 100, 640, 480)}) {
        SCOPED_TRACE(testing::Message() << place.x() << "," << place.y() << " " << place.width() << "x" << place.height());
        window.setGeometry(place);
        pane->setGeometry(place.width() - 250, 0, 250, place.height());
        pane->show();
        testing_support::drainEvents();
        for (QWidget* up = button->parentWidget(); up; up = up->parentWidget())
            if (auto* scroll = qobject_cast<QScrollArea*>(up))
                scroll->ensureWidgetVisible(button, 0, 0);
        testing_support::drainEvents();
        button->performClick();
        PLRPopover* popover = t.page()->imageLinkPopover();
        ASSERT_NE(popover, nullptr);
        ASSERT_TRUE(popover->isShown());
        const QRect shown = popover->geometry();
        EXPECT_TRUE(window.geometry().contains(shown)) << shown.x() << "," << shown.y() << " " << shown.width() << "x" << shown.height();
        // It does not cover its button: below it where there is room, else above it.
        const QRect anchor(button->mapToGlobal(QPoint(0, 0)), button->size());
        EXPECT_FALSE(shown.intersects(anchor));
        popover->hide();
    }
}

TEST(Inspector, TextSpacerAndDownloadPagesWriteTheirBlocks)
{
    Inspector t;
    t.addImages(1);
    PLRBlock* first = t.add(PLRLayoutManager::newBlock_Text());
    PLRBlock* second = t.add(PLRLayoutManager::newBlock_Text());
    t.layout()->selectBlocks({first});
    PLRPopupButton* style = t.page()->textStylePopUpButton();
    style->chooseItemAtIndex(style->indexOfItemWithTag(1));
    EXPECT_EQ(first->text().style(), PLRBlock_Text::HEADER2);
    EXPECT_TRUE(style->itemState(style->indexOfItemWithTag(1)));
    t.page()->textWidthSegmentControl()->clickSegment(1);
    EXPECT_FLOAT_EQ(first->text().position().width(), 0.5f);
    t.page()->textAlignmentSegmentControl()->clickSegment(2);
    EXPECT_EQ(first->text().position().alignment(), PLRPosition::RIGHT);
    // A width that is none of the table's leaves the width control as it was.
    first->mutable_text()->mutable_position()->set_width(0.42f);
    t.layout()->selectBlocks({second});
    t.layout()->selectBlocks({first});
    EXPECT_EQ(t.page()->textWidthSegmentControl()->selectedSegment(), 3); // as the other block left it
    // "Fit" writes the table's fifth width, -1; that width is never looked for when a block is
    // selected, so the control stays as the block before left it.
    t.layout()->selectBlocks({second});
    t.page()->textWidthSegmentControl()->clickSegment(4);
    EXPECT_FLOAT_EQ(second->text().position().width(), -1.0f);
    first->mutable_text()->mutable_position()->set_width(0.7f);
    t.layout()->selectBlocks({first});
    EXPECT_EQ(t.page()->textWidthSegmentControl()->selectedSegment(), 2);
    t.layout()->selectBlocks({second});
    EXPECT_EQ(t.page()->textWidthSegmentControl()->selectedSegment(), 2);
    // Two text blocks: both change.
    t.layout()->selectBlocks({first, second});
    style->chooseItemAtIndex(style->indexOfItemWithTag(5));
    EXPECT_EQ(first->text().style(), PLRBlock_Text::PARAGRAPH);
    EXPECT_EQ(second->text().style(), PLRBlock_Text::PARAGRAPH);
    // The editor's formatting shows in the buttons.
    t.page()->selectionForEditor(nullptr, {}, true, false, false, true, QColor(), QColor());
    EXPECT_TRUE(t.page()->textBoldButton()->state());
    EXPECT_FALSE(t.page()->textItalicButton()->state());
    EXPECT_TRUE(t.page()->textLinkButton()->state());
    // The colour well: on the text page, opened by openTextColour; a colour picked there
    // changes no block (the text takes its colour from its style).
    PLRColorWell* colour = t.page()->textColourWell();
    ASSERT_NE(colour, nullptr);
    EXPECT_TRUE(colour->isVisibleTo(t.page()->view()));
    EXPECT_EQ(colour->color().toQColor().rgb(), PLRBlockDrawHandler_Text::textColour().rgb());   // what the text is drawn in
    PLRColorWell* opened = nullptr;
    PLRColorWell::setPanelOpener([&](PLRColorWell* well) { opened = well; });
    t.page()->openTextColour();
    PLRColorWell::setPanelOpener(nullptr);
    EXPECT_EQ(opened, colour);
    const std::string before = first->SerializeAsString();
    colour->takeColorFromPanel(platform::ui::Color(0.8, 0.1, 0.1));
    EXPECT_EQ(first->SerializeAsString(), before);

    PLRBlock* blankA = t.add(PLRLayoutManager::newBlock_Blank());
    PLRBlock* blankB = t.add(PLRLayoutManager::newBlock_Blank());
    // A new spacer has no ratio of its own: the canvas draws it at 3:2, and so the page says.
    t.layout()->selectBlocks({blankA});
    EXPECT_EQ(t.page()->blankAspectRatioPopUpButton()->title(), QStringLiteral("3:2"));
    blankA->set_aspect_ratio(1.5f);
    blankB->set_aspect_ratio(1.0f);
    t.layout()->selectBlocks({blankA, blankB});
    EXPECT_EQ(t.page()->blankAspectRatioPopUpButton()->title(), QStringLiteral("Multiple"));
    PLRPopupButton* blankRatio = t.page()->blankAspectRatioPopUpButton();
    blankRatio->chooseItemAtIndex(blankRatio->indexOfItemWithTag(5));
    EXPECT_FLOAT_EQ(blankA->aspect_ratio(), float(16.0 / 9.0));
    EXPECT_FLOAT_EQ(blankB->aspect_ratio(), float(16.0 / 9.0));
    t.layout()->selectBlocks({blankA});
    // A resize on the canvas ends with an announced change: the page follows without a reselection.
    blankA->set_aspect_ratio(1.23f);
    t.layout()->announceChange();
    EXPECT_EQ(blankRatio->title(), QStringLiteral("Custom"));

    PLRBlock* button = t.add(PLRLayoutManager::newBlock_DownloadButton());
    t.layout()->selectBlocks({button});
    t.typeInto(t.page()->downloadTitleTextField(), QStringLiteral("Get the prints"));
    EXPECT_EQ(button->download_button().title(), "Get the prints");
    PLRPopupButton* size = t.page()->downloadSizePopUpButton();
    size->chooseItemAtIndex(size->indexOfItemWithTag(2));
    EXPECT_EQ(button->download_button().size(), PLRBlock_Download_Button::LARGE);
    PLRPopupButton* fill = t.page()->downloadHoverFillPopUpButton();
    fill->chooseItemAtIndex(fill->indexOfItemWithTag(3));
    EXPECT_EQ(button->download_button().hover_fill_colour(), PLRBlock_Download_Button::NONE);
}

TEST(Inspector, DocumentPageEditsReachTheStoredPost)
{
    Inspector t(3);
    const QList<PLRBlock*> images = t.addImages(1);
    Q_UNUSED(images);
    PLRDocumentViewController* page = t.document();
    EXPECT_TRUE(testing_support::waitUntil([&] { return page->imagesUsedLabel()->stringValue() == QStringLiteral("1 image of 3 used"); }));

    t.typeInto(page->paddingTextField(), QStringLiteral("24"));
    QTest::keyClick(page->paddingTextField()->editor(), Qt::Key_Return);
    EXPECT_EQ(t.layout()->representedLayout()->padding(), 24);
    EXPECT_EQ(page->paddingStepper()->integerValue(), 24);
    // A decimal: the post takes its whole points, new posts the typed value.
    t.typeInto(page->paddingTextField(), QStringLiteral("12.5"));
    QTest::keyClick(page->paddingTextField()->editor(), Qt::Key_Return);
    EXPECT_EQ(t.layout()->representedLayout()->padding(), 12);
    EXPECT_DOUBLE_EQ(PLRDefaults::defaultPadding(), 12.5);
    t.typeInto(page->paddingTextField(), QStringLiteral("24"));
    QTest::keyClick(page->paddingTextField()->editor(), Qt::Key_Return);
    EXPECT_DOUBLE_EQ(PLRDefaults::defaultPadding(), 24.0);
    page->paddingStepper()->stepUp();
    EXPECT_EQ(t.layout()->representedLayout()->padding(), 25);
    EXPECT_EQ(page->paddingTextField()->stringValue(), QStringLiteral("25"));

    // The animation comes back as fade, move in, medium each time it is switched on.
    for (int round = 0; round < 2; ++round) {
        page->enableLayoutAnimationSwitch()->performClick();
        ASSERT_TRUE(t.layout()->representedLayout()->has_animation());
        const auto& animation = t.layout()->representedLayout()->animation();
        EXPECT_TRUE(animation.fade());
        EXPECT_EQ(animation.move_in_edge(), PLRLayout_Animation::BOTTOM);
        EXPECT_EQ(animation.speed(), PLRLayout_Animation::MEDIUM);
        EXPECT_FALSE(page->animationView()->isHidden());
        page->layoutAnimationSpeedPopupButton()->chooseItemAtIndex(2);
        page->enableLayoutAnimationSwitch()->performClick();
        EXPECT_FALSE(t.layout()->representedLayout()->has_animation());
    }
    page->enableLightboxSwitch()->performClick();
    page->includePinterestToggleSwitch()->performClick();
    ASSERT_TRUE(t.layout()->representedLayout()->has_pinterest_button());
    page->pinterestButtonPositionPopUpButton()->chooseItemAtIndex(3);
    EXPECT_EQ(t.layout()->representedLayout()->pinterest_button().position(), PLRLayout_Pinterest::BOTTOMRIGHT);
    page->includeFacebookSwitch()->performClick();
    t.typeInto(page->facebookPostURLTextField(), QStringLiteral("https://example.com/post"));

    t.inspector->selectSettingsTab();
    t.typeInto(page->seoTitleTextField(), QStringLiteral("Trams of Lisbon"));
    plr::insp::LimitedTextEdit* meta = page->seoMetaTextView();
    meta->setFocus();
    QTest::keyClicks(meta, QString(190, QLatin1Char('a')));
    QTest::keyClicks(meta, QStringLiteral("bbbbbbbbbb")); // the tenth would reach 200: refused
    EXPECT_EQ(meta->text().size(), 199);
    meta->selectAll();
    meta->insertPlainText(QString(250, QLatin1Char('c'))); // a paste past the limit: refused as a whole
    EXPECT_EQ(meta->text().size(), 199);
    QTest::keyClick(meta, Qt::Key_End);
    QTest::keyClick(meta, Qt::Key_Backspace); // deleting is always allowed
    EXPECT_EQ(meta->text().size(), 198);
    PLRPersistantPost* post = t.manager->representedPost();
    EXPECT_EQ(post->seoTitle(), QStringLiteral("Trams of Lisbon"));
    EXPECT_EQ(post->metaDescription().size(), 198);

    // Saved and read back from disk, as after a restart.
    bool saved = false;
    PLRCoreManager::save([&](bool ok) { saved = ok; });
    PLRCoreManager::saveQueue().waitUntilIdle();
    ASSERT_TRUE(testing_support::waitUntil([&] { return saved; }));
    const std::unique_ptr<PLRPersistantPost> reread = PLRPersistantPost::loadFromBundle(post->bundlePath(), post->account());
    ASSERT_NE(reread, nullptr);
    EXPECT_EQ(reread->seoTitle(), QStringLiteral("Trams of Lisbon"));
    EXPECT_EQ(reread->metaDescription().size(), 198);
    const PLRLayout& stored = reread->layout();
    EXPECT_EQ(stored.padding(), 25);
    EXPECT_TRUE(stored.present_lightbox());
    EXPECT_FALSE(stored.has_animation());
    EXPECT_EQ(stored.pinterest_button().position(), PLRLayout_Pinterest::BOTTOMRIGHT);
    EXPECT_EQ(stored.facebook_button().post_url(), "https://example.com/post");
}

namespace {

// Stand-ins for the publishing library's panels, registered in the "Main" scenes.
struct FakePublishPanel : PLRGenericPostViewController, PLRInspectorPublishPanel {
    static inline QStringList calls;
    static inline PLRInspectorPublishArea* area = nullptr;
    static inline bool overlay = false;
    bool isShowingSpecialOverlayView() const override { return overlay; }
    void setDocumentViewController(PLRInspectorPublishArea* page) override { area = page; }
    void publish() override { calls << "publish"; }
    void cancelUpdate() override { calls << "cancel"; }
    void deleteRemotePost() override { calls << "delete"; }
    void setPostManager(PLRPostManager* manager) override
    {
        PLRGenericPostViewController::setPostManager(manager);
        calls << (manager ? "post" : "no post");
    }
};

struct FakeExportPanel : PLRGenericPostViewController, PLRInspectorExportPanel {
    static inline QList<qint64> types;
    static inline int posts = 0;
    void setExportType(qint64 type) override { types << type; }
    void setPostManager(PLRPostManager* manager) override
    {
        PLRGenericPostViewController::setPostManager(manager);
        if (manager)
            ++posts;
    }
};

void registerFakePanels()
{
    FakePublishPanel::calls.clear();
    FakePublishPanel::area = nullptr;
    FakePublishPanel::overlay = false;
    FakeExportPanel::types.clear();
    FakeExportPanel::posts = 0;
    const QString main = QString::fromLatin1(kPLRMainStoryboard);
    platform::Storyboard::registerScene(main, QString::fromLatin1(kPLRInspectorPublishPanelIdentifier), [] { return new FakePublishPanel; });
    platform::Storyboard::registerScene(main, QString::fromLatin1(kPLRInspectorExportPanelIdentifier), [] { return new FakeExportPanel; });
}

} // namespace

TEST(Inspector, PublishingPanelsComeFromTheScenesAndTheAreasStayEmptyWithout)
{
    {
        // Without registered panels: no publish area, no bottom panels, no collage box.
        Inspector t;
        EXPECT_EQ(t.inspector->publishViewController(), nullptr);
        EXPECT_EQ(t.inspector->exportViewController(), nullptr);
        EXPECT_TRUE(t.document()->topLevelPublishView()->isHidden());
        EXPECT_EQ(t.page()->exportViewController(), nullptr);
        t.document()->publish(); // nothing to forward to, no crash
    }
    registerFakePanels();
    Inspector t;
    ASSERT_NE(t.inspector->publishViewController(), nullptr);
    ASSERT_NE(t.inspector->exportViewController(), nullptr);
    ASSERT_NE(t.page()->exportViewController(), nullptr);
    // The layout export below, the collage export on the block page; both follow the post.
    EXPECT_EQ(FakeExportPanel::types, QList<qint64>({2, 1}));
    EXPECT_EQ(FakeExportPanel::posts, 2);
    EXPECT_TRUE(FakePublishPanel::calls.contains("post"));
    // The Document page and the publish panel know each other; the area shows.
    EXPECT_EQ(FakePublishPanel::area, static_cast<PLRInspectorPublishArea*>(t.document()));
    EXPECT_FALSE(t.document()->topLevelPublishView()->isHidden());

    // The page's publish button: cancel while uploading (even when published), un-publish
    // when published, publish otherwise.
    PLRDocumentViewController* page = t.document();
    page->showUnpublishedState();
    EXPECT_EQ(page->publishButton()->title(), QStringLiteral("Publish"));
    EXPECT_EQ(page->publishedStatusText()->stringValue(), QStringLiteral("Not Published"));
    page->publish();
    page->showPublishedState();
    EXPECT_EQ(page->publishButton()->title(), QStringLiteral("Un-publish"));
    // The link button shows the new title, in the link colour (not the first title it had).
    ASSERT_TRUE(page->publishButton()->attributedTitle());
    EXPECT_EQ(page->publishButton()->attributedTitle()->string(), QStringLiteral("Un-publish"));
    EXPECT_EQ(page->publishButton()->attributedTitle()->attribute(QLatin1String(platform::ui::kForegroundColorAttributeName), 0).value<platform::ui::Color>(),
              page->publishButton()->defaultColor());
    page->publish();
    page->showUploadingState(QStringLiteral("Uploading 2 of 5"));
    EXPECT_EQ(page->publishedStatusText()->stringValue(), QStringLiteral(" Uploading 2 of 5"));
    {
        // The spinner takes the status icon's place, left of the status text and clear of it.
        t.inspector->selectSettingsTab();
        testing_support::drainEvents();
        QWidget* spinner = page->uploadingSpinner();
        EXPECT_FALSE(spinner->isHidden());
        EXPECT_LE(spinner->geometry().right(), page->publishedStatusText()->geometry().left());
        t.inspector->selectDocumentTab();
    }
    EXPECT_TRUE(page->isPublished());
    page->publish();
    EXPECT_EQ(FakePublishPanel::calls.mid(FakePublishPanel::calls.size() - 3), QStringList({"publish", "delete", "cancel"}));

    // Overlays: shown twice, announced once; hiding one that is not shown announces nothing.
    QList<bool> announced;
    QObject context;
    platform::NotificationCenter::defaultCenter().addObserver(
        &context, QString::fromLatin1(kPLRToggleInspectorBottomPublishAreaVisibility), [&](const platform::Notification& note) {
            announced << note.userInfo.value(QString::fromLatin1(kPLRToggleInspectorBottomPublishAreaHiddenKey)).toBool();
        });
    page->hideFetchingInfoView();
    EXPECT_TRUE(announced.isEmpty());
    t.inspector->selectSettingsTab();
    page->showNoServerConnectionView();
    page->showNoServerConnectionView();
    EXPECT_EQ(announced, QList<bool>({true}));
    EXPECT_TRUE(t.inspector->isBottomAreaHidden()); // on the Settings page the area follows
    page->hideNoServerConnectionView();
    EXPECT_EQ(announced, QList<bool>({true, false}));
    EXPECT_FALSE(t.inspector->isBottomAreaHidden());

    // Switching to Settings hides the bottom area only while the panel shows its own overlay.
    t.inspector->selectDocumentTab();
    FakePublishPanel::overlay = true;
    t.inspector->selectSettingsTab();
    EXPECT_TRUE(t.inspector->isBottomAreaHidden());
}

TEST(Inspector, DocumentPagePopUpsShowTheirLongestChoiceLeftOfTheArrow)
{
    Inspector t(2);
    PLRDocumentViewController* page = t.document();
    page->enableLayoutAnimationSwitch()->performClick();
    page->includePinterestToggleSwitch()->performClick();
    testing_support::drainEvents();
    const QFontMetrics metrics(platform::ui::systemFont(12));
    for (PLRPopupButton* popup : {page->layoutAnimationTypeButton(), page->layoutAnimationSpeedPopupButton(),
                                  page->pinterestButtonSizePopUpButton(), page->pinterestButtonPositionPopUpButton()}) {
        ASSERT_FALSE(popup->isHidden());
        int longest = 0;
        for (int i = 0; i < popup->numberOfItems(); ++i)
            longest = std::max(longest, metrics.horizontalAdvance(popup->itemTitle(i)));
        // The title starts 12 points in; the arrow takes the last 18.
        EXPECT_GE(popup->width(), 12 + longest + 18) << popup->itemTitle(0).toStdString();
    }
}

// The title a pop-up shows is whole and ends left of the arrow, drawn at the scale given: the
// band between the title and the arrow holds no ink.
void expectTitleWholeLeftOfTheArrow(PLRPopupButton* popup, double scale)
{
    const auto ops = popup->recordDrawing();
    QString drawn;
    for (const platform::ui::DrawOperation& op : ops)
        if (op.kind == platform::ui::DrawOperation::Kind::Text)
            drawn = op.text;
    EXPECT_EQ(drawn, popup->title() + (popup->buttonStyle() == 2 ? QStringLiteral(" Ratio") : QString()));
    const QImage image = popup->renderToImage(scale);
    const int arrow = popup->width() - 18;   // the arrow starts 18 points from the right edge
    int ink = 0;
    for (int x = arrow - 3; x < arrow; ++x)
        for (int y = 4; y < popup->height() - 4; ++y)
            if (image.pixelColor(int(x * scale), int(y * scale)).lightness() < 200)
                ++ink;
    EXPECT_EQ(ink, 0) << drawn.toStdString() << " at " << scale << "x, " << popup->width() << " wide";
}

TEST(Inspector, EveryPopUpShowsItsTitlesWholeAtOneAndTwoTimes)
{
    Inspector t(2);
    PLRDocumentViewController* document = t.document();
    t.inspector->selectSettingsTab();
    document->topLevelPublishView()->setHidden(false);   // as the publish panel shows it
    document->setWordPressSettingsViewHidden(false);
    PLRPopupButton* categories = document->categoriesPopup();
    for (const QString& name : {QStringLiteral("Uncategorized"), QStringLiteral("Travel")})
        categories->addItem(name, categories->numberOfItems());
    categories->addSeparatorItem();
    categories->addItem(QStringLiteral("Publish via Code"), -1);
    categories->setTitle(QStringLiteral("Uncategorized"));
    testing_support::drainEvents();
    for (const double scale : {1.0, 2.0}) {
        for (const QString& title : {QStringLiteral("Uncategorized"), QStringLiteral("Publish via Code")}) {
            categories->setTitle(title);
            expectTitleWholeLeftOfTheArrow(categories, scale);
        }
    }

    // The block pages' pop-ups, each with every one of its titles.
    t.inspector->selectDocumentTab();
    const QList<PLRBlock*> images = t.addImages(2);
    PLRBlock* text = t.add(PLRLayoutManager::newBlock_Text());
    PLRBlock* blank = t.add(PLRLayoutManager::newBlock_Blank());
    PLRBlock* download = t.add(PLRLayoutManager::newBlock_DownloadButton());
    const QList<QPair<PLRBlock*, QList<PLRPopupButton*>>> pages{
        {images[0], {t.page()->aspectRatioPopUpButton()}},
        {text, {t.page()->textStylePopUpButton()}},
        {blank, {t.page()->blankAspectRatioPopUpButton()}},
        {download, {t.page()->downloadFillPopUpButton(), t.page()->downloadHoverFillPopUpButton(), t.page()->downloadLinePopUpButton(),
                    t.page()->downloadHoverLinePopUpButton(), t.page()->downloadStylePopUpButton(), t.page()->downloadSizePopUpButton()}}};
    for (const auto& [block, popups] : pages) {
        t.layout()->selectBlocks({block});
        testing_support::drainEvents();
        for (PLRPopupButton* popup : popups) {
            QStringList titles;
            for (int i = 0; i < popup->numberOfItems(); ++i)
                if (!popup->isSeparatorItem(i))
                    titles << popup->itemTitle(i);
            if (popup->buttonStyle() == 2)
                titles << QStringLiteral("Multiple") << QStringLiteral("Custom");
            for (const QString& title : titles) {
                popup->setTitle(title);
                for (const double scale : {1.0, 2.0})
                    expectTitleWholeLeftOfTheArrow(popup, scale);
            }
        }
    }
}

TEST(Inspector, SettingsPageShowsALongWebsiteAddressOnOneLineWithBothEnds)
{
    Inspector t(1);
    PLRDocumentViewController* page = t.document();
    t.inspector->selectSettingsTab();
    page->topLevelPublishView()->setHidden(false);   // as the publish panel shows it
    const QString address = QStringLiteral("www.myphotoblog.example.com/galleries/summer");
    page->updatePublishHost(address);
    testing_support::drainEvents();
    plr::insp::ElidedCaption* host = page->publishHostLabel();
    ASSERT_NE(host, nullptr);
    ASSERT_GT(host->width(), 40);
    // The shown text fits its one line (nothing wraps under the row's height and is cut): the
    // start and the end of the address, the middle left out; the whole address is the tool tip.
    const QString shown = host->stringValue();
    const QFontMetricsF metrics(host->font());
    EXPECT_LE(metrics.horizontalAdvance(shown), host->width() - 2 * platform::ui::TextField::kTextInset);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("www."))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("summer"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_EQ(host->toolTip(), address);
    EXPECT_EQ(host->fullText(), address);

    // A wider inspector shows more of it; a short address shows whole.
    t.inspector->view()->resize(600, 700);
    testing_support::drainEvents();
    EXPECT_GT(host->stringValue().size(), shown.size());
    page->updatePublishHost(QStringLiteral("www.ab.com"));
    EXPECT_EQ(host->stringValue(), QStringLiteral("www.ab.com"));
}

TEST(Inspector, TheDocumentPageShowsOnlyWithThePostsOwnValues)
{
    // A post's inspector is on screen before it is handed the post (while a new post's photos are
    // prepared): it shows no page then, and the moment it has the post its Document page shows
    // the post's values, without waiting for the event loop.
    PLRPostManager* manager = openPost(makeFolder({{QStringLiteral("a.jpg"), 60, 40}, {QStringLiteral("b.jpg"), 60, 40}}), 2);
    manager->layoutManager()->representedLayout()->set_padding(17);
    PLRInspectorViewController inspector;
    inspector.view()->resize(250, 700);
    inspector.view()->show();
    testing_support::drainEvents();
    PLRDocumentViewController* document = inspector.documentViewController();
    const auto shownPadding = [&]() -> QString {
        QWidget* field = document->paddingTextField();
        return field->isVisible() ? document->paddingTextField()->stringValue() : QStringLiteral("(not shown)");
    };
    EXPECT_EQ(shownPadding(), QStringLiteral("(not shown)"));
    EXPECT_FALSE(inspector.headerDocumentButton()->isVisible());
    EXPECT_FALSE(inspector.areContentsShown());

    inspector.setPostManager(manager);
    EXPECT_TRUE(inspector.areContentsShown());
    EXPECT_EQ(shownPadding(), QStringLiteral("17"));
    EXPECT_TRUE(document->imagesUsedLabel()->isVisible());
    EXPECT_EQ(document->imagesUsedLabel()->stringValue(), QStringLiteral("0 images of 2 used"));

    // The post goes (deleted): nothing of it stays on show.
    inspector.setPostManager(nullptr);
    EXPECT_EQ(shownPadding(), QStringLiteral("(not shown)"));
}

TEST(Inspector, DocumentPageFillsFromTheLayoutAndIgnoresOptionsWithoutTheirButton)
{
    Inspector t(20);
    PLRDocumentViewController* page = t.document();
    EXPECT_TRUE(testing_support::waitUntil([&] { return page->imagesUsedLabel()->stringValue() == QStringLiteral("0 images of 20 used"); }));

    PLRLayout* layout = t.layout()->representedLayout();
    int changes = 0;
    QObject context;
    platform::NotificationCenter::defaultCenter().addObserver(&context, QString::fromLatin1(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE),
                                                              [&](const platform::Notification&) { ++changes; });
    // No Pinterest button: its options change nothing and announce nothing.
    page->pinterestButtonSizePopUpButton()->chooseItemAtIndex(1);
    EXPECT_FALSE(layout->has_pinterest_button());
    EXPECT_EQ(changes, 0);

    // A stored animation with neither fade nor move-in selects no type; the speed still shows.
    PLRLayout_Animation animation;
    animation.set_fade(false);
    animation.set_move_in_edge(PLRLayout_Animation::NONE);
    animation.set_speed(PLRLayout_Animation::FAST);
    plr::setAnimation(layout, &animation);
    PLRLayout_Facebook facebook;
    facebook.set_post_url("https://example.com/p");
    plr::setFacebookButton(layout, &facebook);
    page->ensureUI();
    EXPECT_EQ(page->layoutAnimationTypeButton()->indexOfSelectedItem(), -1);
    EXPECT_EQ(page->layoutAnimationSpeedPopupButton()->selectedTag(), 2);
    EXPECT_TRUE(page->includeFacebookSwitch()->checked());
    EXPECT_FALSE(page->facebookCommentsView()->isHidden());
    EXPECT_EQ(page->facebookPostURLTextField()->stringValue(), QStringLiteral("https://example.com/p"));

    // The switches toggle from the layout's own state, then read it back.
    page->includeFacebookSwitch()->performClick();
    EXPECT_FALSE(layout->has_facebook_button());
    EXPECT_FALSE(page->includeFacebookSwitch()->checked());

    // The background colour: components floored to 0-255, alpha left unset.
    page->bgColorWell()->takeColorFromPanel(platform::ui::Color(0.5, 0.25, 1.0));
    ASSERT_TRUE(layout->has_background_colour());
    EXPECT_FLOAT_EQ(layout->background_colour().r(), 127.0f);
    EXPECT_FLOAT_EQ(layout->background_colour().g(), 63.0f);
    EXPECT_FLOAT_EQ(layout->background_colour().b(), 255.0f);
    EXPECT_FLOAT_EQ(layout->background_colour().a(), 0.0f);

    // A negative padding is no spacing at all.
    t.typeInto(page->paddingTextField(), QStringLiteral("-12"));
    QTest::keyClick(page->paddingTextField()->editor(), Qt::Key_Return);
    EXPECT_EQ(layout->padding(), 0);
    EXPECT_EQ(page->paddingTextField()->stringValue(), QStringLiteral("0"));

    // The keyword overlay is the canvas's, not the document's.
    const std::string before = layout->SerializeAsString();
    page->enableImageKeywordsOverlaySwitch()->performClick();
    EXPECT_TRUE(t.layout()->imageKeywordOverlayEnabled());
    EXPECT_EQ(layout->SerializeAsString(), before);
}

TEST(Inspector, MissingPhotosAndTheCanvasReplacingBlocks)
{
    Inspector t(2);
    const QList<PLRBlock*> images = t.addImages(2);
    PLRBlock* ghost = t.add(PLRLayoutManager::newBlock_Image());
    ghost->mutable_image()->set_img_ref("no-such-photo");
    t.layout()->selectBlocks({ghost});
    EXPECT_EQ(t.page()->currentSubPage(), PLRPropertyViewController::EmptyPage);
    EXPECT_EQ(t.message()->stringValue(), QStringLiteral("Image cannot be located"));
    t.layout()->selectBlocks({ghost, images[0]});
    EXPECT_EQ(t.page()->currentSubPage(), PLRPropertyViewController::ImagePage);
    EXPECT_EQ(t.page()->selectionDescriptionTextField()->stringValue(), QStringLiteral("Multiple Images"));

    // The canvas's own undo puts copies of the blocks in place; the ratio's undo still finds
    // its block by identifier (and never touches the old object).
    platform::UndoManager* undo = platform::UndoManager::forOwner(t.manager);
    undo->removeAllActions();
    t.layout()->selectBlocks({images[0]});
    const std::string id = images[0]->id();
    PLRPopupButton* ratio = t.page()->aspectRatioPopUpButton();
    ratio->chooseItemAtIndex(ratio->indexOfItemWithTag(5));
    testing_support::drainEvents();
    const PLRSection snapshot = *t.section();
    t.layout()->restoreSection(t.section(), snapshot);
    undo->undo();
    PLRBlock* replaced = nullptr;
    plr::tree::forEachBlock(t.layout()->representedLayout(), [&](PLRBlock* block) { if (block->id() == id) replaced = block; });
    ASSERT_NE(replaced, nullptr);
    EXPECT_FLOAT_EQ(replaced->aspect_ratio(), 0.0f);

    // The keyword field takes the keyboard when asked to.
    t.inspector->view()->window()->activateWindow();
    t.layout()->selectBlocks({replaced});
    platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED), nullptr,
                                                       {{QString::fromLatin1(kPLRShouldFocusKeyWordField), true}});
    EXPECT_TRUE(t.page()->imageKeywordTokenField()->hasFocus());
}

TEST(Inspector, ThePhotosPreviewFollowsItsFileWhenItIsCutShortAndMended)
{
    Inspector t(1, 600, 400);
    const QList<PLRBlock*> images = t.addImages(1);
    ASSERT_EQ(images.size(), 1);
    const PLRSourceImagePtr photo = t.manager->images().first();
    t.layout()->selectBlocks({images[0]});
    ASSERT_EQ(t.page()->currentSubPage(), PLRPropertyViewController::ImagePage);
    const auto shown = [&] { return t.page()->previewImageView()->image().bitmap; };
    const QImage placeholder = PLRImageManager::placeholderImage();
    ASSERT_TRUE(testing_support::waitUntil([&] { return !shown().isNull() && shown() != placeholder; }, 5000));
    const QByteArray whole = [&] {
        QFile file(photo->path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();

    EXPECT_TRUE(t.page()->imageProblemLabel()->isHidden());

    // Cut short: the placeholder, not a picture grey below the cut, and the reason under the
    // photo's name (what its marks on the canvas and in the gallery stand for).
    ASSERT_TRUE(testing_support::cutShort(photo->path(), 0.6));
    ASSERT_TRUE(testing_support::waitUntil([&] { return shown() == placeholder; }, 5000));
    EXPECT_EQ(photo->problem(), PLRPhotoProblem::CutShort);
    ASSERT_TRUE(testing_support::waitUntil([&] { return !t.page()->imageProblemLabel()->isHidden(); }, 5000));
    EXPECT_EQ(t.page()->imageProblemLabel()->stringValue(), "Cannot be used: cut short");

    // Mended: the photo again, without selecting anything anew.
    QFile mended(photo->path() + ".new");
    ASSERT_TRUE(mended.open(QIODevice::WriteOnly));
    mended.write(whole);
    mended.close();
    ASSERT_TRUE(QFile::remove(photo->path()));
    ASSERT_TRUE(QFile::rename(photo->path() + ".new", photo->path()));
    ASSERT_TRUE(testing_support::waitUntil([&] { return !shown().isNull() && shown() != placeholder; }, 5000));
    EXPECT_EQ(shown().size(), PLRImageManager::memoryPreview(photo->identifier()).size());
    EXPECT_EQ(photo->problem(), PLRPhotoProblem::None);
    ASSERT_TRUE(testing_support::waitUntil([&] { return t.page()->imageProblemLabel()->isHidden(); }, 5000));

    // Gone from the folder, and back.
    ASSERT_TRUE(QFile::rename(photo->path(), photo->path() + ".away"));
    ASSERT_TRUE(testing_support::waitUntil([&] { return !t.page()->imageProblemLabel()->isHidden(); }, 5000));
    EXPECT_EQ(t.page()->imageProblemLabel()->stringValue(), "Cannot be used: missing from the folder");
    ASSERT_TRUE(QFile::rename(photo->path() + ".away", photo->path()));
    ASSERT_TRUE(testing_support::waitUntil([&] { return t.page()->imageProblemLabel()->isHidden(); }, 5000));
}
