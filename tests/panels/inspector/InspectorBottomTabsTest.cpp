// The inspector's bottom area: the publish and export panels share it, and its tabs choose
// which one shows.

#include <gtest/gtest.h>

#include "panels/gallery/GalleryTestSupport.h"

#include "panels/inspector/PLRInspectorPanels.h"
#include "panels/inspector/PLRInspectorViewController.h"
#include "platform/Storyboard.h"
#include "platform-ui/View.h"
#include "shell/PLRShellNotifications.h"
#include "shell/PLRGenericPostViewController.h"

#include <QStackedWidget>
#include <QTest>

using namespace gallery_test;

namespace {

struct PublishPanel : PLRGenericPostViewController, PLRInspectorPublishPanel {
    void setDocumentViewController(PLRInspectorPublishArea*) override {}
    bool isShowingSpecialOverlayView() const override { return false; }
    void publish() override {}
    void cancelUpdate() override {}
    void deleteRemotePost() override {}
};

struct ExportPanel : PLRGenericPostViewController, PLRInspectorExportPanel {
    void setExportType(qint64) override {}
};

void registerPanels(bool publish, bool exporter)
{
    const QString main = QString::fromLatin1(kPLRMainStoryboard);
    if (publish)
        platform::Storyboard::registerScene(main, QString::fromLatin1(kPLRInspectorPublishPanelIdentifier), [] { return new PublishPanel; });
    if (exporter)
        platform::Storyboard::registerScene(main, QString::fromLatin1(kPLRInspectorExportPanelIdentifier), [] { return new ExportPanel; });
}

std::unique_ptr<PLRInspectorViewController> openInspector()
{
    PLRPostManager* manager = openPost(makeFolder({{QStringLiteral("p1.jpg"), 60, 40}}), 1);
    auto inspector = std::make_unique<PLRInspectorViewController>();
    inspector->view()->resize(250, 700);
    inspector->view()->show();
    inspector->setPostManager(manager);
    testing_support::drainEvents();
    return inspector;
}

QWidget* shownBottomPanel(PLRInspectorViewController& inspector)
{
    auto* bottom = inspector.view()->findChild<QWidget*>(QStringLiteral("bottomTabView"));
    auto* pages = bottom ? bottom->findChild<QStackedWidget*>() : nullptr;
    return pages ? pages->currentWidget() : nullptr;
}

void click(platform::ui::Control* control)
{
    QTest::mouseClick(control, Qt::LeftButton, Qt::NoModifier, control->rect().center());
}

} // namespace

TEST(InspectorBottomTabs, BothPanelsCanBeReachedThroughTheTabs)
{
    registerPanels(true, true);
    auto inspector = openInspector();
    ASSERT_NE(inspector->publishViewController(), nullptr);
    ASSERT_NE(inspector->exportViewController(), nullptr);
    EXPECT_TRUE(inspector->areBottomTabsShown());
    EXPECT_EQ(inspector->selectedBottomArea(), PLRInspectorViewController::PublishArea);
    EXPECT_EQ(shownBottomPanel(*inspector), inspector->publishViewController()->view());

    // The Export tab brings the export panel up, the Publish tab the publish panel again.
    click(inspector->bottomTab(PLRInspectorViewController::ExportArea));
    EXPECT_EQ(inspector->selectedBottomArea(), PLRInspectorViewController::ExportArea);
    EXPECT_EQ(shownBottomPanel(*inspector), inspector->exportViewController()->view());
    click(inspector->bottomTab(PLRInspectorViewController::PublishArea));
    EXPECT_EQ(shownBottomPanel(*inspector), inspector->publishViewController()->view());
}

TEST(InspectorBottomTabs, OnePanelShowsWithoutTabs)
{
    registerPanels(false, true);
    auto inspector = openInspector();
    EXPECT_FALSE(inspector->areBottomTabsShown());
    EXPECT_EQ(inspector->selectedBottomArea(), PLRInspectorViewController::ExportArea);
    EXPECT_EQ(shownBottomPanel(*inspector), inspector->exportViewController()->view());
}
