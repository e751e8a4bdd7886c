// The alerts of the start as a user meets them: the real executable on a virtual X screen with no
// window manager. Nothing stacks or focuses the windows there but the application itself: the
// notice of posts that could not be opened must come up over the main window and take the
// keyboard, and Return must answer it; once the alert about the installation place is answered,
// the keyboard and the menu shortcuts are the main window's.

#include "DevService.h"
#include "LaunchedApplication.h"
#include "TestSupport.h"

#include "platform/Plist.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

using namespace testing_support;

namespace {

// The top-level windows of the screen, bottom to top (the order the X server stacks them in),
// as decimal ids like xdotool's.
QStringList stackingOrder(const VirtualScreen& screen)
{
    const QString tree = QString::fromLatin1(screen.run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-children")}));
    static const QRegularExpression child(QStringLiteral("^\\s+(0x[0-9a-f]+) "), QRegularExpression::MultilineOption);
    QStringList ids;
    for (auto match = child.globalMatch(tree); match.hasNext();)
        ids << QString::number(match.next().captured(1).toULongLong(nullptr, 16));
    // xwininfo lists the children top first.
    std::reverse(ids.begin(), ids.end());
    return ids;
}

} // namespace

TEST(StartupNoticeLaunch, TheNoticeOfPostsThatCannotBeOpenedComesUpOverTheMainWindowWithTheKeyboard)
{
    DevService service;
    ASSERT_TRUE(service.start());
    VirtualScreen screen;
    ASSERT_TRUE(screen.start());
    LaunchedApplication app(screen, service.port());
    // The sign-in is kept for the next start.
    QProcessEnvironment keychain;
    keychain.insert(QStringLiteral("PELLORA_KEYCHAIN"), QStringLiteral("file"));
    ASSERT_TRUE(app.start(keychain));
    ASSERT_TRUE(app.signIn(kLaunchTimeoutMs)) << app.output().toStdString();
    ASSERT_TRUE(pollUntil([&] { return app.hasLogged("'Web_Service_User_Session' moving from FETCHING_INFO to IDLE"); },
                          kLaunchTimeoutMs))
        << app.output().toStdString();
    ASSERT_EQ(app.terminate(), 0) << app.output().toStdString();

    // A post whose layout is gone: the store cannot open it.
    const QString posts = app.postsFolder();
    ASSERT_FALSE(posts.isEmpty());
    const QString broken = posts + QStringLiteral("/BROKEN-1.plrpost");
    ASSERT_TRUE(QDir().mkpath(broken));
    ASSERT_TRUE(platform::plist::writeFile(broken + QStringLiteral("/info.plist"),
                                           QVariantMap{{QStringLiteral("name"), QStringLiteral("Lisbon")},
                                                       {QStringLiteral("identifier"), QStringLiteral("BROKEN-1")}}));

    ASSERT_TRUE(app.start(keychain));
    QString notice;
    ASSERT_TRUE(pollUntil(
        [&] {
            for (const QString& window : app.windows())
                if (app.isDialog(window))
                    notice = window;
            return !notice.isEmpty() || !app.isRunning();
        },
        kLaunchTimeoutMs))
        << app.output().toStdString();
    ASSERT_TRUE(app.isRunning()) << app.output().toStdString();
    EXPECT_TRUE(app.hasLogged("Telling the user of 1 post(s) that could not be opened")) << app.output().toStdString();
    // Over the main window, tied to it, and with the keyboard; it stays so once the start has
    // settled (the support chat joins the main window after its first frame).
    const auto noticeIsOnTopWithTheKeyboard = [&] {
        const QStringList order = stackingOrder(screen);
        const QString main = app.mainWindow();
        const QString transientFor = QString::fromLatin1(
            screen.run(QStringLiteral("xprop"), {QStringLiteral("-id"), notice, QStringLiteral("WM_TRANSIENT_FOR")}));
        return !main.isEmpty() && order.indexOf(main) >= 0 && order.indexOf(notice) > order.indexOf(main)
               && transientFor.contains(QStringLiteral("0x%1").arg(main.toULongLong(), 0, 16)) && app.focusedWindow() == notice;
    };
    EXPECT_TRUE(pollUntil(noticeIsOnTopWithTheKeyboard, 20000))
        << stackingOrder(screen).join(' ').toStdString() << " main " << app.mainWindow().toStdString() << " notice "
        << notice.toStdString() << " focus " << app.focusedWindow().toStdString() << screen.run(QStringLiteral("xprop"), {QStringLiteral("-id"), notice, QStringLiteral("WM_TRANSIENT_FOR")}).constData();
    ASSERT_TRUE(pollUntil([&] { return app.hasLogged("The support chat is loaded and listens for messages"); }, kLaunchTimeoutMs))
        << app.output().toStdString();
    EXPECT_TRUE(pollUntil(noticeIsOnTopWithTheKeyboard, 20000));
    EXPECT_TRUE(testing_support::holdsFor(noticeIsOnTopWithTheKeyboard, 2000))
        << stackingOrder(screen).join(' ').toStdString() << " main " << app.mainWindow().toStdString() << " notice "
        << notice.toStdString() << " focus " << app.focusedWindow().toStdString() << screen.run(QStringLiteral("xprop"), {QStringLiteral("-id"), notice, QStringLiteral("WM_TRANSIENT_FOR")}).constData();

    // Return, pressed wherever the keyboard is, answers it.
    ASSERT_TRUE(app.key(QStringLiteral("Return")));
    EXPECT_TRUE(pollUntil([&] { return !app.windows().contains(notice) || !app.isRunning(); }, kLaunchTimeoutMs));
    EXPECT_TRUE(app.isRunning());
    EXPECT_EQ(app.terminate(), 0) << app.output().toStdString();
}

TEST(StartupNoticeLaunch, OnceTheLocationAlertIsAnsweredWithReturnTheShortcutsWork)
{
    DevService service;
    ASSERT_TRUE(service.start());
    VirtualScreen screen;
    ASSERT_TRUE(screen.start());
    LaunchedApplication app(screen, service.port());
    // Outside the development environment the build's folder is no place an installed Pellora
    // runs from: the alert comes up as the main window does.
    QProcessEnvironment production;
    production.insert(QStringLiteral("env"), QStringLiteral("production"));
    ASSERT_TRUE(app.start(production));
    QString alert;
    ASSERT_TRUE(pollUntil([&] { return app.isDialog(alert = app.focusedWindow()) || !app.isRunning(); }, kLaunchTimeoutMs));
    ASSERT_TRUE(app.isRunning()) << app.output().toStdString();
    EXPECT_TRUE(pollUntil([&] { return app.hasLogged("Checking App location"); }, 20000)) << app.output().toStdString();

    ASSERT_TRUE(app.key(QStringLiteral("Return")));
    ASSERT_TRUE(pollUntil([&] { return !app.windows().contains(alert) || !app.isRunning(); }, kLaunchTimeoutMs));
    EXPECT_TRUE(pollUntil([&] { return !app.mainWindow().isEmpty() && app.focusedWindow() == app.mainWindow(); }, 20000))
        << "focus " << app.focusedWindow().toStdString() << " main " << app.mainWindow().toStdString();
    // No click in the window first.
    ASSERT_TRUE(app.key(QStringLiteral("ctrl+comma")));
    const auto preferencesOpen = [&] {
        for (const QString& window : app.windows())
            if (app.windowName(window) == QLatin1String("Preferences"))
                return true;
        return false;
    };
    EXPECT_TRUE(pollUntil(preferencesOpen, 20000));
    EXPECT_EQ(app.terminate(), 0) << app.output().toStdString();
}
