// The menu's Quick Look: the panels register how the preview window is shown and hidden.

#include "shell/AppDelegate.h"
#include "panels/gallery/PLRPreviewPanel.h"

#include <gtest/gtest.h>

TEST(QuickLookMenu, TheCommandShowsAndHidesThePreviewWindow)
{
    ASSERT_TRUE(AppDelegate::hasPreviewPanelToggler());
    AppDelegate app;
    app.togglePreviewPanel(); // no post open: the panel shows with nothing under control
    ASSERT_TRUE(PLRPreviewPanel::sharedPreviewPanelExists());
    EXPECT_TRUE(PLRPreviewPanel::sharedPreviewPanel()->isShown());
    EXPECT_EQ(PLRPreviewPanel::sharedPreviewPanel()->currentController(), nullptr);
    app.togglePreviewPanel();
    EXPECT_FALSE(PLRPreviewPanel::sharedPreviewPanel()->isShown());
}
