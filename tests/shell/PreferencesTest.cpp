// The preferences window: its tabs, the padding (shown with six decimals, refused when it is not
// a number that can be a padding), the backup switch and folder, the account without a user.

#include "TestSupport.h"

#include "store/session/PLRDefaults.h"
#include "shell/prefs/PLRPreferencesWindowController.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

using namespace platform::ui;

TEST(Preferences, OpensOnGeneralAndSwitchesTabs)
{
    PLRPreferencesWindowController controller;
    controller.window();
    PLRPreferencesViewController* prefs = controller.contentViewController();
    EXPECT_EQ(controller.selectedToolbarItemIdentifier(), QStringLiteral("general"));
    EXPECT_EQ(prefs->selectedTabIdentifier(), QStringLiteral("general"));
    EXPECT_EQ(prefs->generalPaddingTextField()->stringValue(), QStringLiteral("10.000000"));
    EXPECT_EQ(prefs->generalColourWell()->color().toQColor(), QColor(Qt::white));

    controller.toolbarItem(QStringLiteral("backup"))->performClick();
    EXPECT_EQ(controller.selectedToolbarItemIdentifier(), QStringLiteral("backup"));
    EXPECT_FALSE(prefs->backupTab()->isHidden());
    EXPECT_TRUE(prefs->generalTab()->isHidden());
    controller.changeTabForIdentifier(QStringLiteral("nowhere")); // unknown: nothing changes
    EXPECT_EQ(prefs->selectedTabIdentifier(), QStringLiteral("backup"));

    // Without a signed-in user.
    prefs->viewWillAppear();
    EXPECT_EQ(prefs->userName()->stringValue(), QStringLiteral(" "));
    controller.changeTabForIdentifier(QStringLiteral("account"));
    EXPECT_EQ(prefs->publisherStatus()->stringValue(), QStringLiteral("-"));
    EXPECT_EQ(prefs->domainNameLabel()->stringValue(), QStringLiteral("Not Configured"));
    EXPECT_EQ(prefs->updatePublishingButton()->title(), QStringLiteral("Update publishing details"));
    EXPECT_DOUBLE_EQ(prefs->publishingDomainRowsHeight(), 17.0);

    // Escape closes the window, also from inside a field.
    controller.showWindow();
    ASSERT_TRUE(testing_support::waitUntil([&] { return controller.window()->isVisible(); }));
    controller.window()->activateWindow();
    controller.changeTabForIdentifier(QStringLiteral("general"));
    prefs->generalPaddingTextField()->editor()->setFocus();
    QTest::keyClick(prefs->generalPaddingTextField()->editor(), Qt::Key_Escape);
    EXPECT_TRUE(testing_support::waitUntil([&] { return !controller.window()->isVisible(); }));
}

TEST(Preferences, PaddingIsANumberThatCanBeAPadding)
{
    PLRPreferencesWindowController controller;
    controller.window();
    PLRPreferencesViewController* prefs = controller.contentViewController();
    TextField* field = prefs->generalPaddingTextField();
    field->setStringValue(QStringLiteral("12.5"));
    prefs->generalPaddingAction();
    EXPECT_DOUBLE_EQ(PLRDefaults::defaultPadding(), 12.5);
    EXPECT_EQ(field->stringValue(), QStringLiteral("12.500000"));
    for (const char* bad : {"abc", "-3", "", "inf"}) {
        field->setStringValue(QLatin1String(bad));
        prefs->generalPaddingAction();
        EXPECT_DOUBLE_EQ(PLRDefaults::defaultPadding(), 12.5) << bad;
        EXPECT_EQ(field->stringValue(), QStringLiteral("12.500000")) << bad;
    }
    // Editing the field and leaving it stores the value.
    field->editor()->setText(QStringLiteral("8"));
    emit field->editor()->editingFinished();
    EXPECT_DOUBLE_EQ(PLRDefaults::defaultPadding(), 8.0);

    prefs->generalColourWell()->takeColorFromPanel(Color(10 / 255.0, 20 / 255.0, 30 / 255.0)); // sends the action
    EXPECT_EQ(PLRDefaults::defaultBackgroundColour(), QColor(10, 20, 30));
    prefs->generalImportSubFoldersButton()->performClick();
    EXPECT_TRUE(PLRDefaults::defaultIncludeSubfolders());
}

TEST(Preferences, BackupSwitchAsksForAFolderOnlyWhenNoneIsStored)
{
    PLRPreferencesWindowController controller;
    controller.changeTabForIdentifier(QStringLiteral("backup"));
    PLRPreferencesViewController* prefs = controller.contentViewController();
    EXPECT_EQ(prefs->backupLocalDatabase()->state(), Button::StateOff);
    EXPECT_TRUE(prefs->backupLocationView()->isHidden());

    // No folder yet, the choice cancelled: backup stays off, the row hidden.
    testing_support::scriptedPanels().enqueue(std::nullopt);
    prefs->backupLocalDatabase()->performClick();
    EXPECT_FALSE(PLRDefaults::shouldExportDatabase());
    EXPECT_EQ(prefs->backupLocalDatabase()->state(), Button::StateOff);
    EXPECT_TRUE(prefs->backupLocationView()->isHidden());

    // A folder chosen: on, with its path shown.
    const QString folder = testing_support::testHome();
    testing_support::scriptedPanels().enqueue(folder);
    prefs->backupLocalDatabase()->performClick();
    EXPECT_TRUE(PLRDefaults::shouldExportDatabase());
    EXPECT_TRUE(PLRDefaults::shouldSupressNotifyOfExport());
    EXPECT_FALSE(prefs->backupLocationView()->isHidden());
    EXPECT_EQ(prefs->backupDatabaseLocation()->stringValue(), PLRDefaults::exportDatabasePath());

    // Off, then on again with the folder stored: no question.
    prefs->backupLocalDatabase()->performClick();
    EXPECT_FALSE(PLRDefaults::shouldExportDatabase());
    EXPECT_TRUE(prefs->backupLocationView()->isHidden());
    const size_t asked = testing_support::scriptedPanels().requests().size();
    prefs->backupLocalDatabase()->performClick();
    EXPECT_EQ(testing_support::scriptedPanels().requests().size(), asked);
    EXPECT_TRUE(PLRDefaults::shouldExportDatabase());
}
