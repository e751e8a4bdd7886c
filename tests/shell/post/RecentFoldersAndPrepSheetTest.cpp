#include "../home/HomeTestSupport.h"

#include "platform/UserDefaults.h"
#include "store/session/PLRDefaults.h"
#include "shell/post/PLRPostRelinkProgressController.h"
#include "shell/post/PLRPrepViewController.h"
#include "shell/post/PLRRecentContainer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QDir>

using namespace shell_test;

namespace {
QString folder(const QString& name)
{
    const QString path = testing_support::testHome() + QLatin1Char('/') + name;
    QDir().mkpath(path);
    return path;
}
} // namespace

TEST(RecentFolders, FiveNewestFirstWithoutRepeats)
{
    QStringList added;
    for (int i = 1; i <= 5; ++i) {
        added.prepend(folder(QStringLiteral("f%1").arg(i)));
        PLRRecentContainer::addPathToRecents(added.first());
    }
    EXPECT_EQ(PLRRecentContainer::recentPaths(), added);

    // Choosing one of them again changes nothing, not even the order.
    PLRRecentContainer::addPathToRecents(added[1]);
    EXPECT_EQ(PLRRecentContainer::recentPaths(), added);

    // A sixth: first in the list, the oldest dropped.
    const QString sixth = folder("f6");
    PLRRecentContainer::addPathToRecents(sixth);
    QStringList expected = added;
    expected.removeLast();
    expected.prepend(sixth);
    EXPECT_EQ(PLRRecentContainer::recentPaths(), expected);
    EXPECT_EQ(PLRRecentContainer::openBookmarkForPath(sixth), QDir(sixth).absolutePath().toUtf8());
    EXPECT_TRUE(PLRRecentContainer::openBookmarkForPath(folder("never-added")).isEmpty());

    // A folder that does not exist gets no bookmark and is not remembered.
    PLRRecentContainer::addPathToRecents(testing_support::testHome() + "/gone");
    EXPECT_EQ(PLRRecentContainer::recentPaths(), expected);

    // A remembered folder that went away still gives its bookmark (logged as stale).
    QDir(sixth).removeRecursively();
    bool stale = false;
    PLRRecentContainer::resolveBookmark(PLRRecentContainer::openBookmarkForPath(sixth), &stale);
    EXPECT_TRUE(stale);
}

TEST(RecentFolders, EscapedSpacesAndListsWithoutBookmarks)
{
    const QString withSpace = folder("My Photos");
    const QString escaped = testing_support::testHome() + "/My%20Photos";
    PLRRecentContainer::addPathToRecents(escaped);
    EXPECT_EQ(PLRRecentContainer::recentPaths(), QStringList({escaped}));
    EXPECT_EQ(PLRRecentContainer::openBookmarkForPath(escaped), QDir(withSpace).absolutePath().toUtf8());

    auto& defaults = platform::UserDefaults::standard();
    defaults.removeObject(kPLRRecentWatchBookmarkKey);
    EXPECT_TRUE(PLRRecentContainer::recentPaths().isEmpty());
    EXPECT_TRUE(defaults.objectForKey(kPLRRecentWatchDirectoriesKey).toStringList().isEmpty());
}

TEST(PrepSheet, ChecksNameThenFolder)
{
    PLRPrepViewController sheet;
    sheet.view();
    sheet.viewWillAppear();
    QList<bool> answers;
    sheet.setCompletionBlock([&](bool accepted) { answers << accepted; });
    EXPECT_EQ(sheet.directoryLabel()->stringValue(), "No folder selected.");
    EXPECT_TRUE(sheet.folderPathSelectedBox()->isHidden());
    EXPECT_FALSE(sheet.selectFolderButton()->isHidden());

    auto& alerts = testing_support::scriptedAlerts();
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    sheet.doneAction();   // neither: only the name is asked for
    ASSERT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(alerts.shown()[0].messageText, "Empty Post Name");
    EXPECT_EQ(alerts.shown()[0].informativeText, "You need to give your post a name.");

    sheet.titleTextField()->setStringValue("   ");
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    sheet.doneAction();
    EXPECT_EQ(alerts.shown()[1].messageText, "Empty Post Name");

    sheet.titleTextField()->setStringValue("Trip \"North\" / 2024");
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    sheet.doneAction();
    EXPECT_EQ(alerts.shown()[2].messageText, "No Folder Selected");
    EXPECT_EQ(alerts.shown()[2].informativeText,
              "You have not selected a source folder.\nThe source folder is where Pellora Publish will get the images for the post.");
    EXPECT_TRUE(answers.isEmpty());

    // Cancelling the folder panel changes nothing; choosing one shows it and remembers it.
    auto& panels = testing_support::scriptedPanels();
    panels.enqueue(std::nullopt);
    sheet.setDirectoryAction();
    EXPECT_TRUE(sheet.directoryWatch().isEmpty());
    const QString photos = folder("photos");
    panels.enqueue(photos);
    sheet.setDirectoryAction();
    EXPECT_EQ(sheet.directoryWatch(), QUrl::fromLocalFile(photos));
    EXPECT_FALSE(sheet.folderPathSelectedBox()->isHidden());
    EXPECT_TRUE(sheet.selectFolderButton()->isHidden());
    EXPECT_EQ(PLRRecentContainer::recentPaths(), QStringList({photos}));

    sheet.doneAction();
    EXPECT_EQ(answers, QList<bool>({true}));
    EXPECT_EQ(sheet.documentTitle(), "Trip \"North\" / 2024");
    sheet.cancelAction();
    EXPECT_EQ(answers, QList<bool>({true, false}));

    // The chosen folder went away before the post was made: asked for again.
    QDir(photos).removeRecursively();
    alerts.enqueue(platform::kAlertFirstButtonReturn);
    sheet.doneAction();
    EXPECT_EQ(alerts.shown().back().messageText, "No Folder Selected");
    EXPECT_EQ(sheet.directoryLabel()->stringValue(), "No folder selected.");
    EXPECT_EQ(answers.size(), 2);
}

TEST(PrepSheet, IncludeSubfoldersIsAGlobalSetting)
{
    {
        PLRPrepViewController sheet;
        sheet.view();
        sheet.viewWillAppear();
        EXPECT_FALSE(sheet.includeSubfoldersButton()->isChecked());
        sheet.includeSubfoldersButton()->click();
        sheet.cancelAction();
    }
    EXPECT_TRUE(PLRDefaults::defaultIncludeSubfolders());
    PLRDefaults::setDefaultPadding(17.8);
    PLRPrepViewController next;
    next.view();
    next.viewWillAppear();
    EXPECT_TRUE(next.includeSubfoldersButton()->isChecked());
    EXPECT_EQ(next.documentPadding(), 17);
}

// By the keyboard alone: the folder chosen through Choose Folder leaves the keyboard on the
// Change button that replaces it, and Return on the sub-folders box creates the post as Return
// in the name field does.
TEST(PrepSheet, TheKeyboardGoesOnToChangeAndReturnOnTheSubFoldersBoxCreatesThePost)
{
    PLRPrepViewController sheet;
    QWidget window;
    sheet.view()->setParent(&window);
    sheet.viewWillAppear();
    window.resize(600, 500);
    sheet.view()->resize(600, 500);
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    QList<bool> answers;
    sheet.setCompletionBlock([&](bool accepted) { answers << accepted; });
    sheet.titleTextField()->setStringValue("Autumn walk");

    sheet.selectFolderButton()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(sheet.selectFolderButton()->hasFocus());
    testing_support::scriptedPanels().enqueue(folder("walk"));
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QApplication::sendEvent(sheet.selectFolderButton(), &space);
    QKeyEvent spaceUp(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QApplication::sendEvent(sheet.selectFolderButton(), &spaceUp);
    testing_support::drainEvents();
    ASSERT_EQ(sheet.directoryWatch(), QUrl::fromLocalFile(folder("walk")));
    EXPECT_TRUE(sheet.changeFolderButton()->hasFocus());
    EXPECT_TRUE(answers.isEmpty());

    sheet.includeSubfoldersButton()->setFocus(Qt::TabFocusReason);
    QKeyEvent ret(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(sheet.includeSubfoldersButton(), &ret);
    EXPECT_EQ(answers, QList<bool>({true}));
    EXPECT_FALSE(sheet.includeSubfoldersButton()->isChecked());   // Return does not tick the box
}

TEST(RelinkProgress, SpinnerUntilAFractionThenClosesWhenLoaded)
{
    EXPECT_FALSE(PLRImagePreparationProgress::forInfo({0, 0, false}).fraction.has_value());   // no division by zero
    EXPECT_DOUBLE_EQ(*PLRImagePreparationProgress::forInfo({12, 3, false}).fraction, 0.25);
    EXPECT_EQ(PLRImagePreparationProgress::forInfo({12, 3, false}).text, "Preparing Images (3/12)");

    PLRPostRelinkProgressController controller;
    controller.window()->show();
    controller.updateUIOnWatchDirectoryProgress({4, 0, false});
    testing_support::drainEvents();
    EXPECT_TRUE(controller.progressInfoText()->isHidden());
    EXPECT_FALSE(controller.intermediateProgress()->isHidden());
    controller.updateUIOnWatchDirectoryProgress({4, 1, false});
    testing_support::drainEvents();
    EXPECT_FALSE(controller.progressInfoText()->isHidden());
    EXPECT_TRUE(controller.intermediateProgress()->isHidden());
    EXPECT_EQ(controller.progressIndicator()->progressAmount(), 25.0);
    controller.updateUIOnWatchDirectoryProgress({0, 0, true});
    testing_support::drainEvents();
    EXPECT_FALSE(controller.window()->isVisible());
}
