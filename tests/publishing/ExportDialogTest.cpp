// The export dialog: the panel's exports with the dialog's own texts, type switch and checks.

#include "ExportTestSupport.h"

#include "publishing/export/PLRExportModalViewController.h"
#include "publishing/export/PLRModalExportView.h"
#include "platform-ui/Controls.h"
#include "shell/modal/PLRModalManager.h"
#include "shell/modal/PLRModalViewController.h"
#include "store/session/PLRDefaults.h"
#include "controls/PLRCheckboxButton.h"
#include "controls/PLRSliderCell.h"
#include "controls/PLRStepperCell.h"
#include "controls/PLRTextFieldCell.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace export_test;

class ExportDialog : public ExportFixture {};

TEST_F(ExportDialog, SwitchesTypesChecksAndExports)
{
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::red);
    PLRPostManager* manager = openPost("Dialog", 1);
    ASSERT_NE(manager, nullptr);
    manager->layoutManager()->createAndAddBlocksForImages({manager->images().first()->identifier()});
    PLRDefaults::setExportQuality(60);
    PLRExportModalViewController dialog;
    dialog.setPostManager(manager);
    dialog.view();
    EXPECT_EQ(dialog.exportType(), 1);
    EXPECT_TRUE(dialog.exportEntireBlogRadioOption->state() == platform::ui::Button::StateOn);
    EXPECT_EQ(dialog.exportButtonTitle->stringValue(), "EXPORT LAYOUT");
    EXPECT_EQ(dialog.compressionSlider->integerValue(), 60);
    EXPECT_EQ(dialog.compressionValueLabel->text(), "60%");
    EXPECT_TRUE(dialog.exportProgressContainer->isHidden());
    auto& alerts = testing_support::scriptedAlerts();

    // A collage needs a selection; no save panel without one.
    dialog.exportCollageRadioOption->performClick();
    EXPECT_EQ(dialog.exportType(), 2);
    // The radio options are one group: the other one went off.
    EXPECT_EQ(dialog.exportEntireBlogRadioOption->state(), platform::ui::Button::StateOff);
    EXPECT_EQ(dialog.exportCollageRadioOption->state(), platform::ui::Button::StateOn);
    EXPECT_EQ(dialog.exportButtonTitle->stringValue(), "EXPORT COLLAGE");
    EXPECT_TRUE(dialog.exportEntireBlogOptions->isHidden());
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    dialog.exportAction();
    EXPECT_EQ(alerts.shown().back().messageText, "No Blocks Chosen for Export");
    EXPECT_TRUE(testing_support::scriptedPanels().requests().empty());

    dialog.exportEntireBlogRadioOption->performClick();
    EXPECT_EQ(dialog.exportType(), 1);
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    dialog.exportAction();
    EXPECT_EQ(alerts.shown().back().informativeText, "You need to set an export location before you can export your layout.");

    const QString folder = testing_support::testHome() + "/out";
    QDir().mkpath(folder);
    testing_support::scriptedPanels().enqueue(folder);
    dialog.setExportLocationAction();
    testing_support::scriptedPanels().enqueue(std::nullopt);
    dialog.setExportLocationAction();   // cancelled: the dialog keeps its folder
    EXPECT_EQ(dialog.exportURL(), QUrl::fromLocalFile(folder));

    EXPECT_TRUE(dialog.subfolderTextField->parentWidget()->isHidden());
    dialog.createSubFolderButton->performClick();
    EXPECT_FALSE(dialog.subfolderTextField->parentWidget()->isHidden());
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    dialog.exportAction();
    EXPECT_EQ(alerts.shown().back().messageText, "Subfolder name missing");
    dialog.createSubFolderButton->performClick();
    EXPECT_TRUE(dialog.subfolderTextField->parentWidget()->isHidden());

    dialog.compressionSlider->setDoubleValue(90);
    dialog.exportAction();
    EXPECT_FALSE(dialog.exportProgressContainer->isHidden());
    bool finished = false;
    QObject::connect(&dialog, &PLRExportViewController::layoutExportFinished, [&](bool) { finished = true; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return finished; }, 20000));
    EXPECT_EQ(dialog.exportProgressLabel->text(), "Export Successful");
    EXPECT_FALSE(dialog.exportProgressIndicatorSuccess->isHidden());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"1.jpg"});
    EXPECT_EQ(PLRDefaults::exportQuality(), 90);
}

TEST_F(ExportDialog, RunsAsAPageOfTheModalAndDoneClosesIt)
{
    // The post header's button asks for the dialog; without an open post nothing shows.
    EXPECT_EQ(PLRExportModalViewController::presentForCurrentPost(), platform::ui::kModalResponseStop);

    QString title;
    qint64 type = 0;
    QTimer::singleShot(0, [&] {
        PLRModalViewController* modal = PLRModalManager::currentModalViewController();
        ASSERT_NE(modal, nullptr);
        auto* page = qobject_cast<PLRModalExportPanelViewController*>(modal->currentView()->viewController());
        ASSERT_NE(page, nullptr);
        type = page->dialog()->exportType();
        title = modal->primaryButton()->title();
        EXPECT_TRUE(modal->secondaryButton()->isHidden());
        // The picture column beside the dialog shows a picture with its credit, never a blank half.
        ASSERT_NE(modal->currentImageView(), nullptr);
        EXPECT_FALSE(modal->currentImageView()->image().isNull());
        EXPECT_FALSE(modal->currentView()->imageCredit().isEmpty());
        modal->primaryAction();
    });
    qint64 response = 0;
    testing_support::expectModalSessions();
    PLRModalManager::presentModalWindowWithViews({PLRModalExportView::kPageName}, {}, true, 0,
                                                 [&](qint64 code) { response = code; });
    EXPECT_EQ(response, platform::ui::kModalResponseContinue);
    EXPECT_EQ(title, "Done");
    EXPECT_EQ(type, 1);
}
