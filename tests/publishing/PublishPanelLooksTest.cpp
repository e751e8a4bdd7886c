// How the publish panel's overlays sit, whatever room the inspector gives the panel.

#include "PublishingTestSupport.h"

#include "controls/PLRSmallViews.h"
#include "controls/PLRSpinner.h"
#include "publishing/publish/PLRPublishViewController.h"

#include <gtest/gtest.h>

TEST(PublishPanelLooks, TheConnectingSpinnerSitsUnderItsTextAtEverySize)
{
    // Without a publisher's state the panel shows "Connecting to Pellora..." with a spinner.
    PLRPublishViewController panel;
    QWidget* view = panel.view();
    view->resize(250, 200);
    view->show();
    panel.ensureMainStack();
    testing_support::drainEvents();
    InspectorBGView* overlay = panel.noServerConnectionView();
    ASSERT_FALSE(overlay->isHidden());
    auto* spinner = overlay->findChild<PLRSpinner*>();
    ASSERT_NE(spinner, nullptr);
    EXPECT_TRUE(spinner->isAnimating());
    platform::ui::TextField* label = nullptr;
    for (auto* field : overlay->findChildren<platform::ui::TextField*>())
        if (field->stringValue() == QStringLiteral("Connecting to Pellora..."))
            label = field;
    ASSERT_NE(label, nullptr);
    for (const int height : {200, 420, 120, 60, 260}) {
        SCOPED_TRACE(height);
        view->resize(250, height);
        testing_support::drainEvents();
        const QRect text(label->mapTo(overlay, QPoint(0, 0)), label->size());
        const QRect wheel(spinner->mapTo(overlay, QPoint(0, 0)), spinner->size());
        EXPECT_LE(text.height(), label->sizeHint().height() + 2);   // the box is no taller than its text
        EXPECT_NEAR(wheel.center().x(), overlay->width() / 2.0, 1.0);
        EXPECT_NEAR(wheel.center().x(), text.center().x(), 1.0);
        EXPECT_GE(wheel.top(), text.bottom());
        EXPECT_LE(wheel.top(), text.bottom() + 12);
    }
}
