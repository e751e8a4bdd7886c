// The inspector's export panel: its checks, its settings and the exports it starts.

#include "ExportTestSupport.h"

#include "publishing/export/PLRExportViewController.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "platform/Storyboard.h"
#include "store/session/PLRDefaults.h"
#include "store/persistance-store/source/PLRSourceImage.h"
#include "controls/PLRCheckboxButton.h"
#include "controls/PLRColorWell.h"
#include "layout/base/PLRLayoutManager.h"
#include "controls/PLRSliderCell.h"
#include "controls/PLRStepperCell.h"
#include "controls/PLRTextFieldCell.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QApplication>
#include <QDir>

#include <optional>

using namespace export_test;

class ExportPanel : public ExportFixture {
protected:
    std::unique_ptr<PLRExportViewController> panel(PLRPostManager* manager, qint64 type)
    {
        std::unique_ptr<QObject> made(platform::Storyboard::instantiate("Main", kPLRInspectorExportPanelIdentifier));
        auto* controller = qobject_cast<PLRExportViewController*>(made.get());
        if (!controller)
            return nullptr;
        made.release();
        std::unique_ptr<PLRExportViewController> result(controller);
        static_cast<PLRInspectorExportPanel*>(controller)->setExportType(type);
        controller->setPostManager(manager);
        controller->view();
        return result;
    }
    void typeWidth(PLRExportViewController* controller, const QString& text)
    {
        controller->widthTextField->setStringValue(text);
        controller->widthValueAction();
    }
};

TEST_F(ExportPanel, WidthChecksBoxesAndRatings)
{
    makePhoto(m_folder, "a.jpg", QSize(1024, 600), Qt::red);
    makePhoto(m_folder, "b.jpg", QSize(2000, 1200), Qt::blue);
    PLRPostManager* manager = openPost("Panel", 2);
    ASSERT_NE(manager, nullptr);
    auto layoutPanel = panel(manager, 1);
    ASSERT_NE(layoutPanel, nullptr);
    EXPECT_EQ(layoutPanel->widthTextField->stringValue(), "1500");   // the default width
    typeWidth(layoutPanel.get(), "abc");
    EXPECT_EQ(layoutPanel->widthTextField->stringValue(), "100");
    EXPECT_FALSE(layoutPanel->widthErrorView->isHidden());
    typeWidth(layoutPanel.get(), "12abc");
    EXPECT_EQ(layoutPanel->widthTextField->stringValue(), "100");
    typeWidth(layoutPanel.get(), "2400");
    EXPECT_EQ(layoutPanel->widthTextField->stringValue(), "2400");
    EXPECT_TRUE(layoutPanel->widthErrorView->isHidden());
    typeWidth(layoutPanel.get(), "999999999999999");
    EXPECT_EQ(layoutPanel->widthTextField->stringValue(), "99999999999999");
    EXPECT_EQ(layoutPanel->exportButtonTitle->stringValue(), "Export Layout");

    // Prefix or original names, always one of them.
    layoutPanel->imageTitleUsePrefix->performClick();
    EXPECT_TRUE(layoutPanel->imageTitleUseOriginalName->state() == platform::ui::Button::StateOn);
    EXPECT_FALSE(layoutPanel->imageTitleUseOriginalName->isEnabled());
    EXPECT_EQ(layoutPanel->getExportOptions(), 4);
    layoutPanel->imageTitleUsePrefix->performClick();
    EXPECT_TRUE(layoutPanel->imageTitleUseOriginalName->isEnabled());
    layoutPanel->imageTitleUseKeywords->performClick();
    EXPECT_EQ(layoutPanel->getExportOptions(), 2 + 4 + 8);

    const QList<QPair<int, QString>> ratings = {{59, "light-red"}, {60, "light-yellow"}, {84, "light-green"}, {85, "light-yellow"}, {95, "light-red"}};
    for (const auto& [value, name] : ratings) {
        layoutPanel->compressionSlider->setDoubleValue(value);
        layoutPanel->compressionSlider->sendAction();
        EXPECT_EQ(layoutPanel->compressionRatingImageView->property("ratingImageName").toString(), name) << value;
        EXPECT_EQ(layoutPanel->compressionValueLabel->text(), QString::number(value));
    }

    // A collage is limited by the smallest photo of the selection.
    auto collagePanel = panel(manager, 2);
    ASSERT_NE(collagePanel, nullptr);
    EXPECT_EQ(collagePanel->exportButtonTitle->stringValue(), "Export Collage");
    EXPECT_TRUE(collagePanel->locationView->isHidden());
    typeWidth(collagePanel.get(), "2000");
    PLRLayoutManager* layout = manager->layoutManager();
    const QList<PLRBlock*> blocks = layout->createAndAddBlocksForImages({photo(manager, "a.jpg"), photo(manager, "b.jpg")});
    layout->selectBlocks(blocks);
    EXPECT_EQ(collagePanel->widthTextField->stringValue(), "1024");
    EXPECT_EQ(collagePanel->widthLimit(), 1024);
    layout->selectBlocks({layout->addBlock(PLRLayoutManager::newBlock_Text(), nullptr, &layout->representedLayout()->mutable_sections()->at(0))});
    EXPECT_EQ(collagePanel->widthLimit(), PLRExportViewController::kNoWidthLimit);
    collagePanel.reset();
    layout->selectBlocks(blocks);   // the panel left the manager's proxies
}

// The collage width offered is the width chosen, within the limit of the blocks selected now: a
// small photo selected for a moment no longer keeps its limit once a larger one is selected.
// A typed width is checked against that limit to the pixel.
TEST_F(ExportPanel, TheCollageWidthFollowsTheBlocksSelectedNow)
{
    makePhoto(m_folder, "small.jpg", QSize(720, 480), Qt::red);
    makePhoto(m_folder, "medium.jpg", QSize(1024, 600), Qt::green);
    makePhoto(m_folder, "large.jpg", QSize(2000, 1200), Qt::blue);
    PLRPostManager* manager = openPost("Widths", 3);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    const QList<PLRBlock*> blocks =
        layout->createAndAddBlocksForImages({photo(manager, "small.jpg"), photo(manager, "medium.jpg"), photo(manager, "large.jpg")});
    ASSERT_EQ(blocks.size(), 3);
    PLRBlock* text = layout->addBlock(PLRLayoutManager::newBlock_Text(), nullptr, &layout->representedLayout()->mutable_sections()->at(0));
    auto collage = panel(manager, 2);
    ASSERT_NE(collage, nullptr);
    typeWidth(collage.get(), "1800");

    const QList<QPair<QList<PLRBlock*>, QString>> selections = {
        {{blocks[0]}, "720"}, {{blocks[2]}, "1800"}, {{blocks[1], blocks[2]}, "1024"}, {{text}, "1800"}, {{blocks[2]}, "1800"}};
    for (const auto& [selection, width] : selections) {
        layout->selectBlocks(selection);
        EXPECT_EQ(collage->widthTextField->stringValue(), width);
    }

    // The limit of the medium photo: exactly it stays; one above becomes it, with the error shown.
    layout->selectBlocks({blocks[1]});
    EXPECT_EQ(collage->widthLimit(), 1024);
    typeWidth(collage.get(), "1024");
    EXPECT_EQ(collage->widthTextField->stringValue(), "1024");
    EXPECT_TRUE(collage->widthErrorView->isHidden());
    typeWidth(collage.get(), "1025");
    EXPECT_EQ(collage->widthTextField->stringValue(), "1024");
    EXPECT_FALSE(collage->widthErrorView->isHidden());
    EXPECT_DOUBLE_EQ(collage->widthSteeper->doubleValue(), 1024.0);
}

// The collage panel's swatch shows the colour the collage is drawn with, the layout's: set for a
// new post before any block is there, and changed while the panel shows.
TEST_F(ExportPanel, TheCollageSwatchShowsTheColourTheCollageIsDrawnWith)
{
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::yellow);
    PLRPostManager* manager = openPost("Swatch", 1);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    auto collage = panel(manager, 2);
    ASSERT_NE(collage, nullptr);
    const auto setBackground = [&](int r, int g, int b) {
        PLRColour* colour = layout->representedLayout()->mutable_background_colour();
        colour->set_r(float(r));
        colour->set_g(float(g));
        colour->set_b(float(b));
    };
    const auto swatch = [&] { return collage->backgroundColourWell->color().toQColor().toRgb(); };

    // As a new post takes the default colour: set without a word, then the photo placed and selected.
    setBackground(200, 30, 40);
    const QList<PLRBlock*> blocks = layout->createAndAddBlocksForImages({photo(manager, "a.jpg")});
    layout->selectBlocks(blocks);
    EXPECT_EQ(swatch(), QColor(200, 30, 40));

    // Changed elsewhere (the document page) while the panel shows.
    setBackground(20, 90, 160);
    layout->announceChange();
    EXPECT_EQ(swatch(), QColor(20, 90, 160));
}

TEST_F(ExportPanel, LayoutExportChecksItsFolderAndRunsOnce)
{
    makePhoto(m_folder, QString(250, 'n') + ".jpg", QSize(300, 200), Qt::red);
    PLRPostManager* manager = openPost("Panel", 1);
    ASSERT_NE(manager, nullptr);
    const QString id = manager->images().first()->identifier();
    manager->layoutManager()->createAndAddBlocksForImages({id, id});
    auto controller = panel(manager, 1);
    ASSERT_NE(controller, nullptr);
    typeWidth(controller.get(), "300");
    auto& alerts = testing_support::scriptedAlerts();

    // No folder yet.
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    controller->buttonWasClicked();
    EXPECT_EQ(alerts.shown().back().messageText, "Set Export Location");
    EXPECT_EQ(alerts.shown().back().informativeText, "You need to set an export location before you can export your layout");

    const QString folder = testing_support::testHome() + "/out";
    QDir().mkpath(folder);
    testing_support::scriptedPanels().enqueue(folder);
    controller->setExportLocationAction();
    EXPECT_EQ(controller->locationLabel->text(), folder);
    EXPECT_FALSE(controller->locationLabelView->isHidden());

    // The sub folder's name is asked for only while "Create sub folder" is on.
    EXPECT_TRUE(controller->subFolderTextView->isHidden());
    controller->createSubFolderButton->performClick();
    EXPECT_FALSE(controller->subFolderTextView->isHidden());
    controller->createSubFolderButton->performClick();
    EXPECT_TRUE(controller->subFolderTextView->isHidden());
    controller->createSubFolderButton->performClick();

    // A sub folder name that would lead elsewhere.
    controller->subFolderTextField->setStringValue("../x");
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    controller->buttonWasClicked();
    EXPECT_EQ(alerts.shown().back().messageText, "Error Creating Sub Folder");
    EXPECT_FALSE(QFileInfo::exists(testing_support::testHome() + "/x"));
    controller->subFolderTextField->setStringValue("");
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    controller->buttonWasClicked();
    EXPECT_EQ(alerts.shown().back().messageText, "Set Sub Folder");
    controller->subFolderTextField->setStringValue("Trip");

    // The names would be too long: prefix only, and the article after the export.
    controller->imageTitleUseOriginalName->setState(platform::ui::Button::StateOn);
    alerts.enqueue(platform::kAlertSecondButtonReturn);
    const qint64 exportsBefore = PLRDefaults::exportLayoutCount();
    controller->buttonWasClicked();
    EXPECT_EQ(alerts.shown().back().messageText, "Export Settings");
    EXPECT_TRUE(controller->isExporting());
    EXPECT_TRUE(controller->exportButtonView->isHidden());
    controller->buttonWasClicked();   // ignored while the export runs
    bool finished = false;
    QObject::connect(controller.get(), &PLRExportViewController::layoutExportFinished, [&](bool) { finished = true; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return finished; }, 20000));
    EXPECT_FALSE(controller->isExporting());
    EXPECT_EQ(controller->getExportOptions(), 2);
    EXPECT_EQ(QDir(folder + "/Trip").entryList(QDir::Files), (QStringList{"1.jpg", "2.jpg"}));
    EXPECT_EQ(PLRDefaults::exportLayoutCount(), exportsBefore + 1);
    EXPECT_EQ(PLRDefaults::exportWidth(), 300);
    EXPECT_EQ(PLRDefaults::exportLocationURL(), QUrl::fromLocalFile(folder));
    EXPECT_TRUE(PLRDefaults::shouldSetExportSubFolder());
    ASSERT_EQ(testing_support::recordingWorkspace().openedURLs.size(), 1u);
    EXPECT_TRUE(testing_support::recordingWorkspace().openedURLs.front().toString().endsWith(kPLRExportLearnMorePath));
    EXPECT_TRUE(controller->infoLabel->text().startsWith("Exporting 2 of 2"));

    // Each press while no export ran was counted, with whether a sub folder was asked for and
    // the quality chosen; the press during the export was not.
    QList<QVariantMap> pressed;
    ASSERT_TRUE(testing_support::waitUntil([&] {
        pressed.clear();
        for (const PLRAnalyticEvent& event : PLRAnalyticManager::coreAnalyticManager().loadEvents())
            if (event.title() == QLatin1String("export_button_clicked"))
                pressed << event.info();
        return pressed.size() >= 4;
    }));
    const QVariantMap off{{"inc_sub_folder", 0}, {"export_quality", 75}};
    const QVariantMap on{{"inc_sub_folder", 1}, {"export_quality", 75}};
    EXPECT_EQ(pressed, (QList<QVariantMap>{off, on, on, on}));

    // Cancelling the folder choice forgets the folder in the panel.
    testing_support::scriptedPanels().enqueue(std::nullopt);
    controller->setExportLocationAction();
    EXPECT_TRUE(controller->exportURL().isEmpty());
    EXPECT_TRUE(controller->locationLabelView->isHidden());
}

// Export Layout pressed from the keyboard: while the progress stands in the button's place the
// keyboard stays with the panel, and it is back on the button once the export has ended; it
// never goes on to the next control of the window (the support chat's button there), as Qt hands
// on the keyboard of a control that is hidden.
TEST_F(ExportPanel, TheKeyboardStaysWithTheExportAndComesBackToItsButton)
{
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::red);
    PLRPostManager* manager = openPost("Keys", 1);
    ASSERT_NE(manager, nullptr);
    manager->layoutManager()->createAndAddBlocksForImages({manager->images().first()->identifier()});
    auto controller = panel(manager, 1);
    ASSERT_NE(controller, nullptr);
    const QString folder = testing_support::testHome() + "/out";
    QDir().mkpath(folder);
    testing_support::scriptedPanels().enqueue(folder);
    controller->setExportLocationAction();
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    column->addWidget(controller->view());
    auto* next = new QPushButton("next", &window);
    column->addWidget(next);
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    controller->exportButton->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), controller->exportButton);

    bool finished = false;
    QObject::connect(controller.get(), &PLRExportViewController::layoutExportFinished, [&](bool) { finished = true; });
    controller->buttonWasClicked();
    ASSERT_TRUE(controller->isExporting());
    QWidget* during = QApplication::focusWidget();
    EXPECT_TRUE(during && controller->view()->isAncestorOf(during) && during->isVisible());
    ASSERT_TRUE(testing_support::waitUntil([&] { return finished; }, 20000));
    EXPECT_EQ(QApplication::focusWidget(), controller->exportButton);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"1.jpg"});
}

TEST_F(ExportPanel, LayoutTooWideToDrawEndsInExportFailed)
{
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::red);
    PLRPostManager* manager = openPost("Panel", 1);
    ASSERT_NE(manager, nullptr);
    const QString id = manager->images().first()->identifier();
    manager->layoutManager()->createAndAddBlocksForImages({id, id});
    auto controller = panel(manager, 1);
    ASSERT_NE(controller, nullptr);
    typeWidth(controller.get(), "99999");
    EXPECT_EQ(controller->widthTextField->stringValue(), "99999");
    const QString folder = testing_support::testHome() + "/out";
    QDir().mkpath(folder);
    testing_support::scriptedPanels().enqueue(folder);
    controller->setExportLocationAction();

    auto& alerts = testing_support::scriptedAlerts();
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    std::optional<bool> succeeded;
    QObject::connect(controller.get(), &PLRExportViewController::layoutExportFinished, [&](bool success) { succeeded = success; });
    controller->buttonWasClicked();
    ASSERT_TRUE(testing_support::waitUntil([&] { return succeeded.has_value(); }, 20000));
    EXPECT_FALSE(*succeeded);
    EXPECT_FALSE(controller->isExporting());
    ASSERT_FALSE(alerts.shown().empty());
    EXPECT_EQ(alerts.shown().back().messageText, "Export Failed");
    EXPECT_TRUE(alerts.shown().back().informativeText.contains("2 of 2")) << alerts.shown().back().informativeText.toStdString();
    EXPECT_TRUE(alerts.shown().back().informativeText.contains("too large to draw")) << alerts.shown().back().informativeText.toStdString();
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());
}

TEST_F(ExportPanel, CollageGoesToTheChosenFileAndBackgroundToTheLayout)
{
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::red);
    PLRPostManager* manager = openPost("Panel", 1);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    layout->selectBlocks(layout->createAndAddBlocksForImages({manager->images().first()->identifier()}));
    auto controller = panel(manager, 2);
    ASSERT_NE(controller, nullptr);
    typeWidth(controller.get(), "250");
    const QString file = testing_support::testHome() + "/collage";
    testing_support::scriptedPanels().enqueue(file);
    controller->buttonWasClicked();
    EXPECT_EQ(QImage(file + ".jpg").width(), 250);
    EXPECT_EQ(PLRDefaults::exportCollageLocationURL(), QUrl::fromLocalFile(file + ".jpg"));

    controller->setBackgroundColour(QColor(10, 20, 30));
    const PLRColour& colour = layout->representedLayout()->background_colour();
    EXPECT_EQ(colour.r(), 10.0f);
    EXPECT_EQ(colour.g(), 20.0f);
    EXPECT_EQ(colour.b(), 30.0f);
}

TEST_F(ExportPanel, ACollageIsCheckedForThePhotosOfItsSelectionOnly)
{
    makePhoto(m_folder, "fine.jpg", QSize(300, 200), Qt::red);
    makePhoto(m_folder, "cut.jpg", QSize(600, 400), Qt::green);
    PLRPostManager* manager = openPost("Panel", 2);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    const QList<PLRBlock*> blocks = layout->createAndAddBlocksForImages({photo(manager, "fine.jpg"), photo(manager, "cut.jpg")});
    ASSERT_EQ(blocks.size(), 2);
    const PLRSourceImagePtr cut = manager->imageForIdentifier(photo(manager, "cut.jpg"));
    ASSERT_TRUE(testing_support::cutShort(cut->path(), 0.6));
    ASSERT_TRUE(testing_support::waitUntil([&] { return cut->problem() == PLRPhotoProblem::CutShort; }, 10000));
    auto controller = panel(manager, 2);
    ASSERT_NE(controller, nullptr);
    typeWidth(controller.get(), "250");
    auto& alerts = testing_support::scriptedAlerts();

    // A collage of the whole photo alone is made, whatever else the layout holds.
    layout->selectBlocks({blocks[0]});
    const QString file = testing_support::testHome() + "/collage.jpg";
    testing_support::scriptedPanels().enqueue(file);
    controller->buttonWasClicked();
    EXPECT_TRUE(alerts.shown().empty()) << alerts.shown().front().informativeText.toStdString();
    EXPECT_EQ(QImage(file).width(), 250);

    // One that shows the cut photo is refused before the file is asked for, naming it.
    QFile::remove(file);
    layout->selectBlocks(blocks);
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    controller->buttonWasClicked();
    ASSERT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(alerts.shown().back().messageText, "Photos Cannot Be Exported");
    EXPECT_TRUE(alerts.shown().back().informativeText.contains("cut.jpg: cut short")) << alerts.shown().back().informativeText.toStdString();
    EXPECT_FALSE(alerts.shown().back().informativeText.contains("fine.jpg"));
    EXPECT_FALSE(QFileInfo::exists(file));
}

TEST_F(ExportPanel, ControlsAreTheApplicationsOwnAndBehaveAsSuch)
{
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::red);
    PLRPostManager* manager = openPost("Own controls", 1);
    ASSERT_NE(manager, nullptr);
    auto layoutPanel = panel(manager, 1);
    ASSERT_NE(layoutPanel, nullptr);
    QWidget* root = layoutPanel->view();
    // No stock check boxes, sliders, spin boxes or push buttons are left in the panel.
    EXPECT_TRUE(root->findChildren<QAbstractButton*>().isEmpty());
    EXPECT_TRUE(root->findChildren<QAbstractSlider*>().isEmpty());
    EXPECT_TRUE(root->findChildren<QAbstractSpinBox*>().isEmpty());
    EXPECT_EQ(root->findChildren<PLRCheckboxButton*>().size(), 5);

    // The stepper writes its value into the width field; its top is the width limit.
    layoutPanel->widthTextField->setStringValue("1500");
    layoutPanel->widthValueAction();
    layoutPanel->widthSteeper->stepUp();
    EXPECT_EQ(layoutPanel->widthTextField->stringValue(), "1501");
    EXPECT_DOUBLE_EQ(layoutPanel->widthSteeper->maxValue(), double(layoutPanel->widthLimit()));
    EXPECT_DOUBLE_EQ(layoutPanel->widthSteeper->minValue(), double(PLRExportViewController::kWidthMinimum));

    // The quality slider reports a drag; the expand button shows the quality area.
    EXPECT_TRUE(layoutPanel->compressionContentView->isHidden());
    layoutPanel->compressionExpandButton->performClick();
    EXPECT_FALSE(layoutPanel->compressionContentView->isHidden());
    layoutPanel->compressionSlider->setDoubleValue(96);
    layoutPanel->compressionSlider->sendAction();
    EXPECT_GT(layoutPanel->compressionSlider->integerValue(), 90);
    EXPECT_EQ(layoutPanel->compressionValueLabel->text(), QString::number(layoutPanel->compressionSlider->integerValue()));

    // The colour well's colour becomes the layout's background.
    layoutPanel->backgroundColourWell->takeColorFromPanel(platform::ui::Color(0.0, 0.0, 1.0));
    EXPECT_EQ(PLRLayoutManager::backgroundColourForLayout(*manager->layoutManager()->representedLayout()).toQColor(), QColor(0, 0, 255));

    // The export button is the application's publish-style button, with the panel as delegate.
    EXPECT_EQ(layoutPanel->exportButton->delegate(), static_cast<PLRPublishButtonDelegate*>(layoutPanel.get()));
}
