// The export screens as a user meets them: every control with its room in the inspector's
// export panel and in the export dialog, the block page's collage panel, what the progress of a
// layout export counts, and the dialog's folder across its types.

#include "ExportTestSupport.h"

#include "controls/PLRCheckboxButton.h"
#include "controls/PLRSliderCell.h"
#include "controls/PLRTextFieldCell.h"
#include "panels/inspector/PLRInspectorViewController.h"
#include "panels/inspector/PLRInspectorWidgets.h"
#include "panels/inspector/PLRPropertyViewController.h"
#include "publishing/export/PLRExportModalViewController.h"
#include "publishing/export/PLRExportViewController.h"
#include "publishing/export/PLRModalExportView.h"
#include "shell/modal/PLRModalManager.h"
#include "shell/modal/PLRModalViewController.h"
#include "store/session/PLRDefaults.h"

#include <QLabel>
#include <QProgressBar>
#include <QScrollArea>
#include <QTest>
#include <QTimer>

using namespace export_test;

namespace {

// The inspector's size in the post window: the window a first start opens, and a large one.
const QList<int> kInspectorHeights = {740, 960};
constexpr int kInspectorWidth = 250;

// Until the layouts are done: a change climbs one box per turn of the event loop.
void settle()
{
    for (int round = 0; round < 4; ++round)
        testing_support::drainEvents();
}

std::string listed(const QStringList& problems)
{
    return problems.join(QStringLiteral("\n")).toStdString();
}

void click(QWidget* control)
{
    QTest::mouseClick(control, Qt::LeftButton, Qt::NoModifier, control->rect().center());
    settle();
}

// A header of the file-name or quality area: there, at its size, with its disclosure mark.
void expectDisclosure(platform::ui::Button* button, const QString& title)
{
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->title(), title);
    EXPECT_TRUE(button->isVisible()) << title.toStdString();
    EXPECT_FALSE(button->image().isNull()) << title.toStdString() << ": nothing shows that it opens";
    EXPECT_GE(button->width(), button->sizeHint().width()) << title.toStdString();
}

// Opens both areas of a layout export's screen and gives it a folder and a sub folder.
void openEverything(PLRExportViewController* screen, const QString& folder)
{
    if (screen->imageTitleExpandButton->state() != platform::ui::Button::StateOn)
        screen->imageTitleExpandButton->performClick();
    if (screen->compressionExpandButton->state() != platform::ui::Button::StateOn)
        screen->compressionExpandButton->performClick();
    testing_support::scriptedPanels().enqueue(folder);
    screen->setExportLocationAction();
    if (screen->createSubFolderButton->state() != platform::ui::Button::StateOn)
        screen->createSubFolderButton->performClick();
    settle();
}

// What a screen's progress shows: its words and its bar (of 1000).
QPair<QString, int> progressShown(PLRExportViewController& panel) { return {panel.infoLabel->text(), panel.infoIndicator->value()}; }
QPair<QString, int> progressShown(PLRExportModalViewController& dialog)
{
    return {dialog.exportProgressLabel->text(), dialog.exportProgressIndicator->value()};
}

// The export screens, recording what their progress is told and shows.
template <class Screen>
struct Recording : Screen {
    QList<QPair<qint64, qint64>> progress;
    QList<QPair<QString, int>> shown;
    void showExportProgress(qint64 count, qint64 total) override
    {
        progress.append({count, total});
        Screen::showExportProgress(count, total);
        shown.append(progressShown(static_cast<Screen&>(*this)));
    }
};

} // namespace

class ExportScreens : public ExportFixture {
protected:
    std::unique_ptr<PLRInspectorViewController> openInspector(PLRPostManager* manager, int height)
    {
        auto inspector = std::make_unique<PLRInspectorViewController>();
        inspector->view()->resize(kInspectorWidth, height);
        inspector->view()->show();
        inspector->setPostManager(manager);
        settle();
        return inspector;
    }
    // Runs the export dialog for the post; `during` drives it while it shows.
    void runDialog(PLRPostManager* manager, const std::function<void(PLRModalViewController*, PLRExportModalViewController*)>& during)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            PLRModalViewController* modal = PLRModalManager::currentModalViewController();
            auto* page = modal ? qobject_cast<PLRModalExportPanelViewController*>(modal->currentView()->viewController()) : nullptr;
            ran = page != nullptr;
            if (page) {
                page->dialog()->setPostManager(manager);
                modal->view()->show();
                settle();
                during(modal, page->dialog());
            }
            if (PLRModalViewController* still = PLRModalManager::currentModalViewController())
                still->dismissModalWithSuccess(false);
        });
        testing_support::expectModalSessions();
        PLRModalManager::presentModalWindowWithViews({PLRModalExportView::kPageName}, {}, true, 0, [](qint64) {});
        EXPECT_TRUE(ran);
    }
};

TEST_F(ExportScreens, ThePanelAndTheDialogGiveEveryControlItsRoom)
{
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::red);
    PLRPostManager* manager = openPost("Room", 1);
    ASSERT_NE(manager, nullptr);
    manager->layoutManager()->createAndAddBlocksForImages({photo(manager, "a.jpg")});
    const QString folder = testing_support::testHome() + "/a folder with a rather long name for the export";
    QDir().mkpath(folder);

    for (const int height : kInspectorHeights) {
        SCOPED_TRACE(height);
        auto inspector = openInspector(manager, height);
        inspector->selectBottomArea(PLRInspectorViewController::ExportArea);
        settle();
        auto* panel = qobject_cast<PLRExportViewController*>(inspector->exportViewController());
        ASSERT_NE(panel, nullptr);
        // As it first shows: both areas closed, their headers there to open them.
        expectDisclosure(panel->imageTitleExpandButton, "File Names");
        expectDisclosure(panel->compressionExpandButton, "Quality");
        EXPECT_TRUE(panel->compressionContentView->isHidden());
        EXPECT_TRUE(crampedControls(inspector->view(), panel->view()).isEmpty()) << listed(crampedControls(inspector->view(), panel->view()));
        // Everything open: the slider spans the panel.
        openEverything(panel, folder);
        EXPECT_TRUE(panel->compressionSlider->isVisible());
        EXPECT_GE(panel->compressionSlider->width(), kInspectorWidth - 60);
        EXPECT_TRUE(panel->imageTitleUseKeywords->isVisible());
        EXPECT_TRUE(crampedControls(inspector->view(), panel->view()).isEmpty()) << listed(crampedControls(inspector->view(), panel->view()));
    }

    runDialog(manager, [&](PLRModalViewController* modal, PLRExportModalViewController* dialog) {
        QWidget* screen = modal->view();
        expectDisclosure(dialog->imageTitleExpandButton, "File Names");
        expectDisclosure(dialog->compressionExpandButton, "Quality");
        EXPECT_TRUE(crampedControls(screen, dialog->view()).isEmpty()) << listed(crampedControls(screen, dialog->view()));
        openEverything(dialog, folder);
        EXPECT_GE(dialog->compressionSlider->width(), 300);
        EXPECT_TRUE(crampedControls(screen, dialog->view()).isEmpty()) << listed(crampedControls(screen, dialog->view()));

        // The end of an export shows under everything else.
        bool finished = false;
        QObject::connect(dialog, &PLRExportViewController::layoutExportFinished, [&](bool) { finished = true; });
        dialog->subfolderTextField->setStringValue("Trip");
        dialog->exportAction();
        ASSERT_TRUE(testing_support::waitUntil([&] { return finished; }, 20000));
        settle();
        EXPECT_EQ(dialog->exportProgressLabel->text(), "Export Successful");
        EXPECT_TRUE(dialog->exportProgressLabel->isVisible());
        // (The mark and its text side by side.)
        EXPECT_LT(dialog->exportProgressLabel->x() - dialog->exportProgressIndicatorSuccess->geometry().right(), 20);
        EXPECT_TRUE(crampedControls(screen, dialog->view()).isEmpty()) << listed(crampedControls(screen, dialog->view()));

        // The collage: its button's title whole.
        dialog->exportCollageRadioOption->performClick();
        settle();
        EXPECT_EQ(dialog->exportButtonTitle->stringValue(), "EXPORT COLLAGE");
        EXPECT_TRUE(crampedControls(screen, dialog->view()).isEmpty()) << listed(crampedControls(screen, dialog->view()));
    });
}

TEST_F(ExportScreens, TheBlockPageShowsAndHidesTheCollagePanelWithoutCuttingThePage)
{
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::red);
    makePhoto(m_folder, "b.jpg", QSize(200, 300), Qt::blue);
    PLRPostManager* manager = openPost("Collage", 2);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    const QList<PLRBlock*> blocks = layout->createAndAddBlocksForImages({photo(manager, "a.jpg"), photo(manager, "b.jpg")});

    for (const int height : kInspectorHeights) {
        SCOPED_TRACE(height);
        auto inspector = openInspector(manager, height);
        layout->selectBlocks(blocks);
        settle();
        ASSERT_EQ(inspector->selectedPage(), PLRInspectorViewController::PropertyPage);
        QWidget* screen = inspector->view();
        plr::insp::StateButton* toggle = nullptr;
        for (auto* button : screen->findChildren<plr::insp::StateButton*>())
            if (button->title() == "Export collage")
                toggle = button;
        ASSERT_NE(toggle, nullptr);
        ASSERT_TRUE(toggle->isVisible());
        QWidget* collage = inspector->propertyViewController()->exportViewController()->view();
        EXPECT_FALSE(collage->isVisible());

        QWidget* tile = screen->findChild<QWidget*>("recycleButton");
        ASSERT_NE(tile, nullptr);
        const int tileWidth = tile->width();

        click(toggle);
        EXPECT_TRUE(toggle->state());
        // The page's scroll bar takes none of its width.
        EXPECT_EQ(tile->width(), tileWidth);
        ASSERT_TRUE(collage->isVisible());
        // The panel is brought into view, whole, on the page it opened in.
        QScrollArea* page = nullptr;
        for (QWidget* above = collage->parentWidget(); above && !page; above = above->parentWidget())
            page = qobject_cast<QScrollArea*>(above);
        ASSERT_NE(page, nullptr);
        const QRect shown(collage->mapTo(page->viewport(), QPoint(0, 0)), collage->size());
        EXPECT_TRUE(page->viewport()->rect().contains(shown))
            << shown.y() << "+" << shown.height() << " in " << page->viewport()->height();
        EXPECT_TRUE(crampedControls(screen, page).isEmpty()) << listed(crampedControls(screen, page));

        click(toggle);
        EXPECT_FALSE(toggle->state());
        EXPECT_FALSE(collage->isVisible());
        EXPECT_TRUE(crampedControls(screen, page).isEmpty()) << listed(crampedControls(screen, page));
    }
}

TEST_F(ExportScreens, ALayoutExportCountsTheFilesItWrites)
{
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        makePhoto(m_folder, name, QSize(240, 160), Qt::darkGreen);
    PLRPostManager* manager = openPost("Rows", 3);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    // A photo, a row of two photos and a text: two files of three photos, in three blocks.
    const QList<PLRBlock*> blocks = layout->createAndAddBlocksForImages({photo(manager, "a.jpg"), photo(manager, "b.jpg")});
    PLRBlockPtrList extra;
    extra.push_back(PLRLayoutManager::newBlock_Image());
    extra.back()->mutable_image()->set_img_ref(photo(manager, "c.jpg").toStdString());
    ASSERT_NE(layout->wrapBlock(blocks[1], std::move(extra), false, false), nullptr);
    layout->addBlock(PLRLayoutManager::newBlock_Text(), nullptr, &layout->representedLayout()->mutable_sections()->at(0));
    ASSERT_EQ(layout->representedLayout()->sections(0).blocks_size(), 3);
    const QString folder = testing_support::testHome() + "/out";
    QDir().mkpath(folder);

    Recording<PLRExportViewController> panel;
    panel.setExportType(1);
    panel.setPostManager(manager);
    panel.view();
    testing_support::scriptedPanels().enqueue(folder);
    panel.setExportLocationAction();
    bool finished = false;
    QObject::connect(&panel, &PLRExportViewController::layoutExportFinished, [&](bool) { finished = true; });
    panel.buttonWasClicked();
    ASSERT_TRUE(testing_support::waitUntil([&] { return finished; }, 20000));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(panel.progress, (QList<QPair<qint64, qint64>>{{1, 2}, {2, 2}}));
    const QList<QPair<QString, int>> halfThenWhole{{QStringLiteral("Exporting 1 of 2 images"), 500},
                                                   {QStringLiteral("Exporting 2 of 2 images"), 1000}};
    EXPECT_EQ(panel.shown, halfThenWhole);
    EXPECT_EQ(panel.infoLabel->text().toStdString(), "Exporting 2 of 2 images");
    // The panel is back as it was: the button, no progress.
    EXPECT_FALSE(panel.isExporting());
    EXPECT_FALSE(panel.exportButtonView->isHidden());
    EXPECT_TRUE(panel.infoView->isHidden());

    Recording<PLRExportModalViewController> dialog;
    dialog.setPostManager(manager);
    dialog.view();
    testing_support::scriptedPanels().enqueue(folder);
    dialog.setExportLocationAction();
    finished = false;
    QObject::connect(&dialog, &PLRExportViewController::layoutExportFinished, [&](bool) { finished = true; });
    dialog.exportAction();
    ASSERT_TRUE(testing_support::waitUntil([&] { return finished; }, 20000));
    EXPECT_EQ(dialog.progress, (QList<QPair<qint64, qint64>>{{1, 2}, {2, 2}}));
    EXPECT_EQ(dialog.shown, halfThenWhole);
    EXPECT_EQ(dialog.exportProgressLabel->text(), "Export Successful");
    EXPECT_FALSE(dialog.exportProgressIndicatorSuccess->isHidden());
    EXPECT_TRUE(dialog.exportProgressIndicator->isHidden());
}

TEST_F(ExportScreens, TheDialogKeepsAChosenFolderAcrossItsTypes)
{
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::red);
    PLRPostManager* manager = openPost("Types", 1);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    layout->selectBlocks(layout->createAndAddBlocksForImages({photo(manager, "a.jpg")}));
    const QString stored = testing_support::testHome() + "/stored";
    const QString chosen = testing_support::testHome() + "/chosen";
    QDir().mkpath(stored);
    QDir().mkpath(chosen);
    PLRDefaults::setExportLocationURL(QUrl::fromLocalFile(stored));

    PLRExportModalViewController dialog;
    dialog.setPostManager(manager);
    dialog.view();
    EXPECT_EQ(dialog.exportURL(), QUrl::fromLocalFile(stored));
    testing_support::scriptedPanels().enqueue(chosen);
    dialog.setExportLocationAction();
    dialog.imageTitleExpandButton->performClick();
    EXPECT_FALSE(dialog.imageTitleContentView->isHidden());

    // No collage file yet: the collage's save panel opens in the chosen folder.
    dialog.exportCollageRadioOption->performClick();
    EXPECT_TRUE(dialog.imageTitleContentView->isHidden());
    testing_support::scriptedPanels().enqueue(std::nullopt);
    dialog.exportAction();
    ASSERT_FALSE(testing_support::scriptedPanels().requests().empty());
    EXPECT_EQ(testing_support::scriptedPanels().requests().back().directory, chosen);

    // Back to the layout: the chosen folder, and the file-name area as it was left.
    dialog.exportEntireBlogRadioOption->performClick();
    EXPECT_EQ(dialog.exportURL(), QUrl::fromLocalFile(chosen));
    EXPECT_EQ(dialog.locationLabel->text(), chosen);
    EXPECT_FALSE(dialog.locationLabelView->isHidden());
    EXPECT_FALSE(dialog.imageTitleContentView->isHidden());
    EXPECT_EQ(PLRDefaults::exportLocationURL(), QUrl::fromLocalFile(stored));   // not used yet: not stored

    // After a collage was written, the collage type opens on it, and the layout keeps its folder.
    dialog.exportCollageRadioOption->performClick();
    testing_support::scriptedPanels().enqueue(testing_support::testHome() + "/collage.jpg");
    dialog.exportAction();
    EXPECT_EQ(dialog.exportURL(), QUrl::fromLocalFile(testing_support::testHome() + "/collage.jpg"));
    dialog.exportEntireBlogRadioOption->performClick();
    EXPECT_EQ(dialog.exportURL(), QUrl::fromLocalFile(chosen));
    dialog.exportCollageRadioOption->performClick();
    EXPECT_EQ(dialog.exportURL(), QUrl::fromLocalFile(testing_support::testHome() + "/collage.jpg"));
}
