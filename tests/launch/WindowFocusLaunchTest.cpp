// Pellora's windows and the keyboard on a screen without a window manager, as a user has them
// there: the real executable on a virtual X screen, driven with real clicks and keys. Nothing but
// the application decides which window has the keyboard, so a click must give its window the
// keyboard, a closing window must give it back, and the windows that belong to another (a modal
// set-up, a folder chooser) must name it.

#include "DevService.h"
#include "LaunchedApplication.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QRegularExpression>

using namespace testing_support;

namespace {
constexpr int kStepMs = 20000;

// The Preferences window: 520 by 356 points under a title bar of 22. Places in it (window
// coordinates, y down): its Account and Backup tab buttons, the account tab's publishing button,
// the backup tab's check box and its Import Backup button.
const QPoint kAccountTab(256, 50);
const QPoint kBackupTab(352, 50);
const QPoint kPublishingButton(290, 268);
const QPoint kBackupBox(60, 118);
const QPoint kImportBackupButton(110, 260);

class WindowFocusLaunchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.start());
        ASSERT_TRUE(screen.start());
        app = std::make_unique<LaunchedApplication>(screen, service.port());
        ASSERT_TRUE(app->start());
        ASSERT_TRUE(app->signIn(kLaunchTimeoutMs)) << app->output().toStdString();
        // Home has come to rest.
        QImage last;
        ASSERT_TRUE(pollUntil(
            [&] {
                QImage shot = app->screenshot();
                const bool resting = !shot.isNull() && shot.size() == last.size()
                                     && testing_support::differingPixels(shot, last) < 100
                                     && app->focusedWindow() == app->mainWindow();
                last = std::move(shot);
                return resting;
            },
            kLaunchTimeoutMs, 400))
            << app->output().toStdString();
        main = app->mainWindow();
    }
    void TearDown() override
    {
        if (app)
            app->terminate();
    }

    // The visible window of the application with that name, or empty.
    QString windowNamed(const QString& name) const
    {
        for (const QString& window : app->windows())
            if (window != main && app->windowName(window) == name)
                return window;
        return QString();
    }
    // Waits for the window of that name and answers it.
    QString waitForWindow(const QString& name) const
    {
        QString found;
        pollUntil(
            [&] {
                found = windowNamed(name);
                return !found.isEmpty();
            },
            kStepMs, 100);
        return found;
    }
    bool click(const QString& window, QPoint at) const
    {
        bool ok = false;
        screen.run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                                               QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
                                               QStringLiteral("1")},
                   &ok);
        return ok;
    }
    bool keyboardGoesTo(const QString& window) const
    {
        return pollUntil([&] { return !window.isEmpty() && app->focusedWindow() == window; }, kStepMs, 100);
    }
    // The window the given one names as the one it belongs to (WM_TRANSIENT_FOR), or empty.
    QString transientFor(const QString& window) const
    {
        const QString property = QString::fromLatin1(
            screen.run(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("WM_TRANSIENT_FOR")}));
        static const QRegularExpression id(QStringLiteral("window id # (0x[0-9a-fA-F]+)"));
        const QRegularExpressionMatch match = id.match(property);
        if (!match.hasMatch())
            return QString();
        bool ok = false;
        const qulonglong value = match.captured(1).toULongLong(&ok, 16);
        return ok ? QString::number(value) : QString();
    }
    // Whether the settings file holds the key set to true.
    bool settingIsOn(const QString& key) const
    {
        QFile settings(app->home() + QStringLiteral("/config/Pellora.conf"));
        if (!settings.open(QIODevice::ReadOnly))
            return false;
        return QString::fromUtf8(settings.readAll()).contains(key + QStringLiteral("=true"));
    }
    // The new-post sheet's white card in the middle of the main window.
    bool showsNewPostSheet() const
    {
        const QImage shot = app->screenshot();
        if (shot.isNull())
            return false;
        const QRect middle(shot.width() / 2 - 150, shot.height() / 2 - 20, 300, 40);
        return shareOfColour(shot, middle, Qt::white, 6) > 0.9;
    }

    DevService service;
    VirtualScreen screen;
    std::unique_ptr<LaunchedApplication> app;
    QString main;
};

} // namespace

// With Preferences open, a click in the main window gives it the keyboard (a space typed then
// must not tick Preferences' check box); and when Preferences closes, the keyboard comes back to
// the main window, so that its shortcuts work without a click.
TEST_F(WindowFocusLaunchTest, AClickGivesItsWindowTheKeyboardAndAClosingWindowGivesItBack)
{
    ASSERT_TRUE(app->key(QStringLiteral("ctrl+comma")));
    const QString preferences = waitForWindow(QStringLiteral("Preferences"));
    ASSERT_FALSE(preferences.isEmpty()) << app->output().toStdString();
    ASSERT_TRUE(keyboardGoesTo(preferences));

    // A click in the main window, away from its controls: the keyboard follows it.
    const QSize size = app->windowSize();
    ASSERT_TRUE(click(main, QPoint(size.width() / 2, size.height() - 40)));
    EXPECT_TRUE(keyboardGoesTo(main)) << app->focusedWindow().toStdString();
    ASSERT_TRUE(app->key(QStringLiteral("space")));
    EXPECT_TRUE(testing_support::holdsFor([&] { return !settingIsOn(QStringLiteral("automatic_update_downloads")); }, 1000))
        << "the space ticked Preferences' check box";

    // Back to Preferences by a click, then closed by Escape: the main window has the keyboard.
    ASSERT_TRUE(click(preferences, QPoint(480, 300)));
    ASSERT_TRUE(keyboardGoesTo(preferences));
    ASSERT_TRUE(app->key(QStringLiteral("Escape")));
    ASSERT_TRUE(pollUntil([&] { return windowNamed(QStringLiteral("Preferences")).isEmpty(); }, kStepMs, 100));
    EXPECT_TRUE(keyboardGoesTo(main)) << app->focusedWindow().toStdString() << app->output().toStdString();
    // Its shortcuts work at once: Ctrl+N opens the new-post sheet.
    ASSERT_TRUE(app->key(QStringLiteral("ctrl+n")));
    EXPECT_TRUE(pollUntil([&] { return showsNewPostSheet(); }, kStepMs, 200));
}

// The publish set-up (a modal window) belongs to the main window, and the folder choosers of
// Preferences' backup (the backup folder, and the backup to import, asked for once the question
// before it has closed) to Preferences: each names its window (WM_TRANSIENT_FOR), which a screen
// without a window manager needs to keep them together, and gives the keyboard back on closing.
TEST_F(WindowFocusLaunchTest, TheSetUpAndTheBackupFolderChooserBelongToTheirWindows)
{
    ASSERT_TRUE(app->key(QStringLiteral("ctrl+comma")));
    const QString preferences = waitForWindow(QStringLiteral("Preferences"));
    ASSERT_FALSE(preferences.isEmpty()) << app->output().toStdString();
    ASSERT_TRUE(keyboardGoesTo(preferences));

    // Account tab, "Update publishing details": the set-up over the main window.
    ASSERT_TRUE(click(preferences, kAccountTab));
    ASSERT_TRUE(click(preferences, kPublishingButton));
    QString setUp;
    ASSERT_TRUE(pollUntil(
        [&] {
            for (const QString& window : app->windows())
                if (window != main && window != preferences)
                    setUp = window;
            return !setUp.isEmpty();
        },
        kStepMs, 100))
        << app->output().toStdString();
    EXPECT_EQ(transientFor(setUp), main);
    EXPECT_TRUE(keyboardGoesTo(setUp));
    ASSERT_TRUE(app->key(QStringLiteral("Escape")));
    ASSERT_TRUE(pollUntil([&] { return !app->windows().contains(setUp); }, kStepMs, 100));
    EXPECT_TRUE(keyboardGoesTo(preferences)) << app->focusedWindow().toStdString();

    // Backup tab, the automatic backup switched on: the folder chooser over Preferences.
    ASSERT_TRUE(click(preferences, kBackupTab));
    ASSERT_TRUE(click(preferences, kBackupBox));
    const QString chooser = waitForWindow(QStringLiteral("Backup Location"));
    ASSERT_FALSE(chooser.isEmpty()) << app->output().toStdString();
    EXPECT_EQ(transientFor(chooser), preferences);
    EXPECT_TRUE(keyboardGoesTo(chooser));
    ASSERT_TRUE(app->key(QStringLiteral("Escape")));
    ASSERT_TRUE(pollUntil([&] { return windowNamed(QStringLiteral("Backup Location")).isEmpty(); }, kStepMs, 100));
    EXPECT_TRUE(keyboardGoesTo(preferences)) << app->focusedWindow().toStdString();
    EXPECT_FALSE(settingIsOn(QStringLiteral("export_database")));

    // Import Backup: "Proceed", then the chooser of the backup.
    ASSERT_TRUE(click(preferences, kImportBackupButton));
    QString question;
    ASSERT_TRUE(pollUntil(
        [&] {
            for (const QString& window : app->windows())
                if (window != main && window != preferences)
                    question = window;
            return !question.isEmpty();
        },
        kStepMs, 100))
        << app->output().toStdString();
    EXPECT_EQ(transientFor(question), preferences);
    ASSERT_TRUE(keyboardGoesTo(question));
    ASSERT_TRUE(app->key(QStringLiteral("Return")));
    const QString importChooser = waitForWindow(QStringLiteral("Import Backup"));
    ASSERT_FALSE(importChooser.isEmpty()) << app->output().toStdString();
    EXPECT_EQ(transientFor(importChooser), preferences);
    EXPECT_TRUE(keyboardGoesTo(importChooser));
    ASSERT_TRUE(app->key(QStringLiteral("Escape")));
    ASSERT_TRUE(pollUntil([&] { return windowNamed(QStringLiteral("Import Backup")).isEmpty(); }, kStepMs, 100));
    EXPECT_TRUE(keyboardGoesTo(preferences)) << app->focusedWindow().toStdString();
}
