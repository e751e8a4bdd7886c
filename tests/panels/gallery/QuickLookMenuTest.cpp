// The menu's Quick Look: the panels register how the preview window is shown and hidden.

#include "shell/AppDelegate.h"
#include "panels/gallery/PLRPreviewPanel.h"
#include "platform-ui/Window.h"

#include <QScreen>

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

// Nothing but the application places the preview window: it comes up over the main window, inside
// the screen's free area, with a title bar whose close button closes it.
TEST(QuickLookMenu, ThePreviewWindowComesUpOverTheMainWindowAndItsTitleBarClosesIt)
{
    platform::ui::Window main;
    const QRect available = main.screen()->availableGeometry();
    main.setGeometry(QRect(QPoint(0, 0), available.size() / 2).translated(available.center() - QPoint(available.width() / 4, available.height() / 4)));
    main.show();
    platform::ui::Application::setMainWindow(&main);
    AppDelegate app;
    app.togglePreviewPanel();
    PLRPreviewPanel* panel = PLRPreviewPanel::sharedPreviewPanel();
    ASSERT_TRUE(panel->isShown());
    EXPECT_TRUE(available.contains(panel->geometry()));
    EXPECT_LE((panel->geometry().center() - main.geometry().center()).manhattanLength(), 2);
    ASSERT_NE(panel->standardWindowButton(platform::ui::WindowButton::Close), nullptr);
    emit panel->standardWindowButton(platform::ui::WindowButton::Close)->clicked();
    EXPECT_FALSE(panel->isShown());
}
