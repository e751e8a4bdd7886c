// The support chat in the application as a user has it: the real executable on a virtual X
// screen, signed in with real keystrokes against the development service, its chat button
// pressed with the mouse and the window photographed. The chat (a plugin on the web engine)
// must draw and the application live, with OpenGL in software and with no OpenGL at all; and
// support's messages must reach the user in a run that never opens the chat.

#include "DevService.h"
#include "LaunchedApplication.h"
#include "SessionBus.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include "platform/Plist.h"

#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace testing_support;

namespace {

const QColor kChatTeal(0x2f, 0x9f, 0xb0);   // the chat button, the messenger's header
const QColor kWhite(Qt::white);

// The chat's closed view sits 20 px inside the window's bottom trailing corner, 100 px square;
// open, it is 300 by 500 (the development service's page: a teal header over a white log).
QRect chatButtonArea(QSize window)
{
    return QRect(window.width() - 100, window.height() - 100, 88, 88);
}
QRect messengerHeader(QSize window)
{
    return QRect(window.width() - 316, window.height() - 516, 292, 26);
}
QRect messengerLog(QSize window)
{
    return QRect(window.width() - 316, window.height() - 420, 292, 300);
}

bool showsChatButton(const QImage& shot)
{
    return !shot.isNull() && shareOfColour(shot, chatButtonArea(shot.size()), kChatTeal) > 0.15;
}

// An open post: the canvas between the gallery and the 250-point inspector; the chat in the
// canvas's bottom trailing corner.
constexpr int kInspectorWidth = 250;
QRect canvasChatButtonArea(QSize window)
{
    return chatButtonArea(window).translated(-kInspectorWidth, 0);
}
bool showsMessengerInCanvas(const QImage& shot)
{
    return !shot.isNull() && shareOfColour(shot, messengerHeader(shot.size()).translated(-kInspectorWidth, 0), kChatTeal) > 0.6
           && shareOfColour(shot, messengerLog(shot.size()).translated(-kInspectorWidth, 0), kWhite) > 0.8;
}
bool showsChatButtonIn(const QImage& shot, const QRect& area)
{
    return !shot.isNull() && shareOfColour(shot, area, kChatTeal) > 0.15;
}
bool showsMessenger(const QImage& shot)
{
    return !shot.isNull() && shareOfColour(shot, messengerHeader(shot.size()), kChatTeal) > 0.6
           && shareOfColour(shot, messengerLog(shot.size()), kWhite) > 0.8;
}

// A post of that name with an empty layout, put in the store as the application keeps it.
bool addPost(const QString& posts, const QString& identifier, const QString& name)
{
    const QString folder = posts + QLatin1Char('/') + identifier + QStringLiteral(".plrpost");
    QFile layout(folder + QStringLiteral("/layout"));
    return QDir().mkpath(folder)
           && platform::plist::writeFile(folder + QStringLiteral("/info.plist"),
                                         QVariantMap{{QStringLiteral("name"), name}, {QStringLiteral("identifier"), identifier}})
           && layout.open(QIODevice::WriteOnly);
}

// The middle of the "..." of the first row's last tile: its dark dots in the column of the
// window's trailing tiles, between the grid's top and the chat button's row; null when none shows.
QPoint lastTileMenuIn(const QImage& shot)
{
    QList<int> rows;
    int left = shot.width(), right = -1;
    for (int y = 200; y < shot.height() - 90; ++y) {
        for (int x = shot.width() - 62; x < shot.width() - 30; ++x) {
            const QColor c = shot.pixelColor(x, y);
            if (c.red() < 140 && c.green() < 140 && c.blue() < 140 && std::abs(c.red() - c.blue()) < 24) {
                rows << y;
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    if (rows.isEmpty())
        return {};
    return QPoint((left + right) / 2, (rows.first() + rows.last()) / 2);
}

class SupportChatLaunchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.start());
        ASSERT_TRUE(screen.start());
    }
    // Starts the application and signs in; answers once the home screen shows the chat button.
    void launchToHome(const QProcessEnvironment& environment = QProcessEnvironment(),
                      LaunchedApplication::Home home = LaunchedApplication::Home::Pellora)
    {
        app = std::make_unique<LaunchedApplication>(screen, service.port());
        ASSERT_TRUE(app->start(environment, home));
        ASSERT_TRUE(app->signIn(kLaunchTimeoutMs)) << app->output().toStdString();
        ASSERT_TRUE(pollUntil([&] { return showsChatButton(app->screenshot()); }, kLaunchTimeoutMs))
            << app->output().toStdString();
    }
    // Presses the chat button in the window's corner; answers once the messenger shows.
    void openTheChat()
    {
        const QSize window = app->windowSize();
        ASSERT_TRUE(app->click(QPoint(window.width() - 56, window.height() - 56)));
        QImage shot;
        ASSERT_TRUE(pollUntil(
            [&] {
                shot = app->screenshot();
                return showsMessenger(shot) || !app->isRunning();
            },
            kLaunchTimeoutMs));
        ASSERT_TRUE(app->isRunning()) << app->output().toStdString();
    }
    // Starts the application on a home of three posts (with the new-post tile, a full first row)
    // and answers once home shows them at rest, its chat loaded.
    void launchToAFullFirstRow()
    {
        app = std::make_unique<LaunchedApplication>(screen, service.port());
        QProcessEnvironment keychain;
        keychain.insert(QStringLiteral("PELLORA_KEYCHAIN"), QStringLiteral("file"));
        ASSERT_TRUE(app->start(keychain));
        ASSERT_TRUE(app->signIn(kLaunchTimeoutMs)) << app->output().toStdString();
        ASSERT_TRUE(pollUntil([&] { return app->hasLogged("'Web_Service_User_Session' moving from FETCHING_INFO to IDLE"); },
                              kLaunchTimeoutMs))
            << app->output().toStdString();
        ASSERT_EQ(app->terminate(), 0) << app->output().toStdString();
        const QString posts = app->postsFolder();
        ASSERT_FALSE(posts.isEmpty());
        for (int i = 1; i <= 3; ++i)
            ASSERT_TRUE(addPost(posts, QStringLiteral("POST-%1").arg(i), QStringLiteral("Lisbon %1").arg(i)));

        ASSERT_TRUE(app->start(keychain));
        ASSERT_TRUE(pollUntil([&] { return showsChatButton(app->screenshot()); }, kLaunchTimeoutMs))
            << app->output().toStdString();
        ASSERT_TRUE(pollUntil([&] { return app->hasLogged("The support chat is loaded and listens for messages"); },
                              kLaunchTimeoutMs));
        ASSERT_TRUE(app->waitUntilAtRest());
    }
    // launchToAFullFirstRow(), then the window made as low as puts the first row's last tile's
    // "..." that far above its bottom edge: where the "..." is, and the window at rest.
    void launchWithTheLastTilesMenuAt(int aboveTheBottom, QPoint* menu, QImage* shot)
    {
        ASSERT_NO_FATAL_FAILURE(launchToAFullFirstRow());
        *menu = lastTileMenuIn(app->screenshot());
        ASSERT_FALSE(menu->isNull()) << app->output().toStdString();
        const QSize size(app->windowSize().width(), menu->y() + aboveTheBottom);
        ASSERT_TRUE(app->resizeWindow(size));
        ASSERT_TRUE(pollUntil([&] { return app->windowSize() == size; }, kLaunchTimeoutMs));
        ASSERT_TRUE(app->waitUntilAtRest());
        *shot = app->screenshot();
        ASSERT_EQ(shot->size(), size);
        ASSERT_EQ(lastTileMenuIn(*shot), *menu);   // the grid stood still
        ASSERT_TRUE(showsChatButton(*shot));
    }
    // The web engine came after the main window's first frame, whole (no warning of a late
    // start), from the plugin; so did the OpenGL driver (the main window draws without it).
    void expectTheChatLoadedAfterTheFirstFrame()
    {
        const qsizetype frame = app->positionInOutput("Main window shown: first frame painted");
        const qsizetype chat = app->positionInOutput("Loaded the support chat from");
        const qsizetype openGL = app->positionInOutput("OpenGL context for the support chat's web engine");
        ASSERT_GE(frame, 0);
        ASSERT_GE(chat, 0) << app->output().toStdString();
        EXPECT_LT(frame, chat);
        EXPECT_LT(frame, openGL) << app->output().toStdString();
        EXPECT_FALSE(app->hasLogged("Qt WebEngine seems to be initialized from a plugin"));
    }

    DevService service;
    VirtualScreen screen;
    std::unique_ptr<LaunchedApplication> app;
};

// How the application gets its OpenGL: Mesa's software renderer on the virtual screen, or none.
class SupportChatOpensTest : public SupportChatLaunchTest, public ::testing::WithParamInterface<bool> {};

} // namespace

TEST_P(SupportChatOpensTest, PressingTheChatButtonShowsTheChatAndTheApplicationLives)
{
    const bool withoutOpenGL = GetParam();
    QProcessEnvironment environment;
    if (withoutOpenGL)
        environment.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
    ASSERT_NO_FATAL_FAILURE(launchToHome(environment));
    const QImage home = app->screenshot();
    EXPECT_FALSE(showsMessenger(home));

    ASSERT_TRUE(app->click(QPoint(home.width() - 56, home.height() - 56)));
    QImage shot;
    ASSERT_TRUE(pollUntil(
        [&] {
            shot = app->screenshot();
            return showsMessenger(shot) || !app->isRunning();
        },
        kLaunchTimeoutMs));
    ASSERT_TRUE(app->isRunning()) << app->output().toStdString();
    EXPECT_TRUE(showsMessenger(shot)) << app->output().toStdString();
    // It goes on living with the chat open.
    EXPECT_TRUE(testing_support::holdsFor([&] { return app->isRunning(); }, 2000)) << app->output().toStdString();
    expectTheChatLoadedAfterTheFirstFrame();
    if (withoutOpenGL) {
        EXPECT_TRUE(app->hasLogged("No OpenGL context to share: web pages are drawn in software"));
    }
    EXPECT_EQ(app->terminate(), 0) << app->output().toStdString();
}

INSTANTIATE_TEST_SUITE_P(OpenGL, SupportChatOpensTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? std::string("WithoutOpenGL") : std::string("SoftwareOpenGL");
                         });

// The main window is made for the chat's web view from its start: as home and its chat come in
// after the sign-in, the window stays the native window it was at its first frame (made anew,
// it would lose the keyboard, there being no window manager here to give it back), and the keys
// a user types on the home screen go to it.
TEST_F(SupportChatLaunchTest, TheWindowStaysTheSameWindowWithTheKeyboardAsTheChatTakesItsCorner)
{
    app = std::make_unique<LaunchedApplication>(screen, service.port());
    ASSERT_TRUE(app->start());
    QString first;
    ASSERT_TRUE(pollUntil(
        [&] {
            first = app->hasLogged("Main window shown: first frame painted") ? app->mainWindow() : QString();
            return !first.isEmpty();
        },
        kLaunchTimeoutMs))
        << app->output().toStdString();
    ASSERT_TRUE(app->signIn(kLaunchTimeoutMs)) << app->output().toStdString();
    ASSERT_TRUE(pollUntil([&] { return showsChatButton(app->screenshot()); }, kLaunchTimeoutMs)) << app->output().toStdString();
    ASSERT_TRUE(pollUntil([&] { return app->hasLogged("The support chat is loaded and listens for messages"); }, kLaunchTimeoutMs));
    ASSERT_TRUE(app->waitUntilAtRest());
    EXPECT_EQ(app->mainWindow().toStdString(), first.toStdString());
    EXPECT_TRUE(pollUntil([&] { return !app->mainWindow().isEmpty() && app->focusedWindow() == app->mainWindow(); }, 20000))
        << app->focusedWindow().toStdString() << " has the keyboard, the window is " << app->mainWindow().toStdString();
    // The chat opens in it, and it is still the same window; the page has the keyboard (in its
    // own window inside it), and gives it back as the chat closes.
    ASSERT_NO_FATAL_FAILURE(openTheChat());
    EXPECT_EQ(app->mainWindow().toStdString(), first.toStdString());
    EXPECT_TRUE(pollUntil([&] { return !app->focusedWindow().isEmpty() && app->focusedWindow() != first; }, 20000));
    const QSize window = app->windowSize();
    ASSERT_TRUE(app->click(QPoint(window.width() - 48, window.height() - 498)));   // the messenger's close button
    ASSERT_TRUE(pollUntil([&] { return showsChatButton(app->screenshot()); }, kLaunchTimeoutMs));
    EXPECT_TRUE(pollUntil([&] { return app->focusedWindow() == first; }, 20000)) << app->focusedWindow().toStdString();
    EXPECT_EQ(app->mainWindow().toStdString(), first.toStdString());
    expectTheChatLoadedAfterTheFirstFrame();
    EXPECT_EQ(app->terminate(), 0) << app->output().toStdString();
}

// An installed copy without the chat's plugin beside it never takes up the one of the build tree
// it was built in: the chat is unavailable, and no OpenGL is made for it.
TEST_F(SupportChatLaunchTest, AnInstalledCopyWithoutThePluginRunsWithoutTheChat)
{
    QTemporaryDir installed;
    const QDir built = QFileInfo(LaunchedApplication::executablePath()).absoluteDir();
    for (const char* file : {"pellora", "pellora-metadata.so", "pellora-zip.so"})
        ASSERT_TRUE(QFile::copy(built.filePath(QLatin1String(file)), installed.filePath(QLatin1String(file))));
    app = std::make_unique<LaunchedApplication>(screen, service.port());
    app->setExecutable(installed.filePath("pellora"));
    ASSERT_TRUE(app->start());
    ASSERT_TRUE(pollUntil([&] { return app->hasLogged("The support chat is unavailable"); }, kLaunchTimeoutMs))
        << app->output().toStdString();
    EXPECT_FALSE(app->hasLogged("Loaded the support chat"));
    EXPECT_FALSE(app->hasLogged("OpenGL context for the support chat's web engine"));
    EXPECT_EQ(app->terminate(), 0) << app->output().toStdString();
}

TEST_F(SupportChatLaunchTest, SupportsMessageBadgesTheWindowInARunThatNeverOpenedTheChat)
{
    ASSERT_NO_FATAL_FAILURE(launchToHome());
    // The chat's page was loaded in the background and listens: support writes.
    ASSERT_TRUE(pollUntil([&] { return service.sendSupportMessage(QStringLiteral("Your post is live.")) == 1; },
                          kLaunchTimeoutMs, 500))
        << app->output().toStdString();
    ASSERT_TRUE(pollUntil([&] { return app->windowTitle() == QLatin1String("(1) Pellora"); }, kLaunchTimeoutMs))
        << app->windowTitle().toStdString() << "\n" << app->output().toStdString();
    EXPECT_TRUE(pollUntil([&] { return app->hasLogged("new messages are available.."); }, kLaunchTimeoutMs));
    // Nobody opened the chat.
    const QImage shot = app->screenshot();
    EXPECT_TRUE(showsChatButton(shot));
    EXPECT_FALSE(showsMessenger(shot));
    expectTheChatLoadedAfterTheFirstFrame();
    EXPECT_EQ(app->terminate(), 0) << app->output().toStdString();
}

// The chat's page loads at every launch, unseen: what it asks through JavaScript dialogs (here
// for the user's password) shows no window over the application; it is logged and dropped.
TEST_F(SupportChatLaunchTest, TheChatPagesJavaScriptDialogsShowNoWindow)
{
    service.setChatPageScript(QStringLiteral("confirm('Pellora password:'); prompt('Pellora password:', '');"
                                             "alert('Your session has ended');"));
    ASSERT_NO_FATAL_FAILURE(launchToHome());
    QStringList dialogs;
    const auto dialogShown = [&] {
        for (const QString& window : app->windows())
            if (app->isDialog(window) || app->windowName(window).startsWith(QLatin1String("Javascript")))
                dialogs << app->windowName(window);
        return !dialogs.isEmpty();
    };
    ASSERT_TRUE(pollUntil([&] { return app->hasLogged("Dropped a JavaScript alert") || dialogShown(); }, kLaunchTimeoutMs))
        << app->output().toStdString();
    EXPECT_TRUE(dialogs.isEmpty()) << dialogs.join(QStringLiteral(", ")).toStdString();
    EXPECT_TRUE(app->hasLogged("Dropped a JavaScript confirm"));
    EXPECT_TRUE(app->hasLogged("Dropped a JavaScript prompt"));
    EXPECT_FALSE(dialogShown()) << dialogs.join(QStringLiteral(", ")).toStdString();
    EXPECT_EQ(app->terminate(), 0) << app->output().toStdString();
}

// The chat's graphics stack keeps its shader caches (Qt's and the OpenGL driver's) in the
// application's cache folder: under PELLORA_HOME when it is set, else in the user's cache
// folder's Pellora folder; nothing else appears in the user's cache folder.
class SupportChatCachesTest : public SupportChatLaunchTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SupportChatCachesTest, TheChatsShaderCachesStayInTheApplicationsCacheFolder)
{
    const bool pelloraHome = GetParam();
    QTemporaryDir userHome;
    QProcessEnvironment environment;
    if (pelloraHome)
        environment.insert(QStringLiteral("HOME"), userHome.path());
    ASSERT_NO_FATAL_FAILURE(launchToHome(environment, pelloraHome ? LaunchedApplication::Home::Pellora
                                                                   : LaunchedApplication::Home::User));
    ASSERT_NO_FATAL_FAILURE(openTheChat());
    const QString home = pelloraHome ? userHome.path() : app->home();
    const QString ours = pelloraHome ? app->home() + QStringLiteral("/cache") : home + QStringLiteral("/.cache/Pellora");
    const auto shaderCachesIn = [&](const QString& folder) {
        return QDir(folder).entryList({QStringLiteral("qtshadercache-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    };
    // The chat drew: Qt's shader cache is written, wherever it goes.
    ASSERT_TRUE(pollUntil([&] { return !shaderCachesIn(ours).isEmpty() || !shaderCachesIn(home + QStringLiteral("/.cache")).isEmpty(); },
                          kLaunchTimeoutMs))
        << app->output().toStdString();
    EXPECT_EQ(app->terminate(), 0) << app->output().toStdString();
    EXPECT_FALSE(shaderCachesIn(ours).isEmpty());

    const QStringList inUserCache = QDir(home + QStringLiteral("/.cache")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    EXPECT_EQ(inUserCache.join(QLatin1Char(' ')).toStdString(), pelloraHome ? "" : "Pellora");
}

INSTANTIATE_TEST_SUITE_P(Home, SupportChatCachesTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? std::string("PelloraHome") : std::string("UserHome");
                         });

// The chat's button sits in the bottom trailing corner of an open post's canvas too; the chat
// opens there, the same page that was loaded at launch (fetched once in the whole run).
TEST_F(SupportChatLaunchTest, AnOpenPostHasTheChatInItsCanvasCornerWithThePageOfTheLaunch)
{
    ASSERT_NO_FATAL_FAILURE(launchToHome());
    ASSERT_TRUE(pollUntil([&] { return app->hasLogged("The support chat is loaded and listens for messages"); }, kLaunchTimeoutMs));
    QTemporaryDir photos;
    ASSERT_TRUE(QFile::copy(testing_support::realPhotoPath(), photos.filePath(QStringLiteral("wings.jpg"))));
    ASSERT_TRUE(app->createPost(QStringLiteral("Porto"), photos.path())) << app->output().toStdString();
    ASSERT_TRUE(pollUntil([&] { return showsChatButtonIn(app->screenshot(), canvasChatButtonArea(app->windowSize())); },
                          kLaunchTimeoutMs))
        << app->output().toStdString();

    const QSize window = app->windowSize();
    ASSERT_TRUE(app->click(QPoint(window.width() - kInspectorWidth - 56, window.height() - 56)));
    QImage shot;
    ASSERT_TRUE(pollUntil(
        [&] {
            shot = app->screenshot();
            return showsMessengerInCanvas(shot) || !app->isRunning();
        },
        kLaunchTimeoutMs))
        << app->output().toStdString();
    ASSERT_TRUE(app->isRunning()) << app->output().toStdString();
    EXPECT_EQ(service.requests(QStringLiteral("/support/intercom.html")).size(), 1);
    EXPECT_EQ(app->terminate(), 0) << app->output().toStdString();
}

// When support writes in a run that has not opened the chat, the user sees it where a Linux user
// looks: a count on the chat button and on the launcher entry (the signal docks and task
// managers read, on the session bus), and a notice from the notification server. Opening the
// chat clears both counts; what support writes while the chat is open in front of the user
// raises neither count nor notice.
TEST_F(SupportChatLaunchTest, SupportsMessageShowsOnTheChatButtonAndTheLauncherEntryUntilTheChatOpens)
{
    testing_support::PrivateSessionBus bus;
    ASSERT_TRUE(bus.start());
    ASSERT_TRUE(bus.serveNotifications());
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    ASSERT_NO_FATAL_FAILURE(launchToHome(environment));
    const QString bundle =
        QRegularExpression(QStringLiteral("starting, bundle (\\S+)")).match(app->output()).captured(1);
    ASSERT_FALSE(bundle.isEmpty()) << app->output().toStdString();
    const QString entry = QStringLiteral("application://%1.desktop").arg(bundle);
    const auto countShown = [&](qint64 count) {
        for (const auto& update : bus.launcherUpdates())
            if (update.application == entry && update.properties.value(QStringLiteral("count")).toLongLong() == count
                && update.properties.value(QStringLiteral("count-visible")).toBool() == (count > 0))
                return true;
        return false;
    };

    ASSERT_TRUE(pollUntil([&] { return service.sendSupportMessage(QStringLiteral("Your post is live.")) == 1; },
                          kLaunchTimeoutMs, 500))
        << app->output().toStdString();
    ASSERT_TRUE(pollUntil([&] { return countShown(1); }, kLaunchTimeoutMs)) << app->output().toStdString();
    ASSERT_TRUE(pollUntil([&] { return bus.notices().size() == 1; }, kLaunchTimeoutMs)) << app->output().toStdString();
    EXPECT_EQ(bus.notices()[0].title, QStringLiteral("New Message from Pellora Support"));
    EXPECT_EQ(bus.notices()[0].body, QStringLiteral("View and Respond"));
    // The red count on the button's top trailing corner.
    const auto showsButtonBadge = [&](const QImage& shot) {
        const QRect badge(shot.width() - 44, shot.height() - 82, 12, 14);
        return !shot.isNull() && shareOfColour(shot, badge, QColor(0xe0, 0x44, 0x3a), 24) > 0.3;
    };
    ASSERT_TRUE(pollUntil([&] { return showsButtonBadge(app->screenshot()); }, kLaunchTimeoutMs));

    ASSERT_NO_FATAL_FAILURE(openTheChat());
    ASSERT_TRUE(pollUntil([&] { return countShown(0); }, kLaunchTimeoutMs)) << app->output().toStdString();
    const std::size_t updates = bus.launcherUpdates().size();
    ASSERT_TRUE(pollUntil([&] { return service.sendSupportMessage(QStringLiteral("Anything else?")) == 1; }, kLaunchTimeoutMs, 500));
    ASSERT_TRUE(pollUntil([&] { return app->hasLogged("A new message shows in the open chat"); }, kLaunchTimeoutMs))
        << app->output().toStdString();
    EXPECT_TRUE(testing_support::holdsFor([&] { return bus.notices().size() == 1 && bus.launcherUpdates().size() == updates; },
                                          1000));
    EXPECT_EQ(app->terminate(), 0) << app->output().toStdString();
}

// The service down at launch: the chat's page cannot be loaded. Once the service is back the
// page is loaded again, so that support's messages reach the user, and the first press on the
// button opens the chat (no wait for the alert that it cannot be opened).
TEST_F(SupportChatLaunchTest, AChatPageThatCouldNotLoadAtLaunchIsLoadedAgainWhenTheServiceIsBack)
{
    service.goDown();
    ASSERT_TRUE(service.waitUntilDown());
    app = std::make_unique<LaunchedApplication>(screen, service.port());
    ASSERT_TRUE(app->start());
    ASSERT_TRUE(pollUntil([&] { return app->hasLogged("The support chat's page did not load"); }, kLaunchTimeoutMs))
        << app->output().toStdString();
    ASSERT_TRUE(service.comeBackUp());
    ASSERT_TRUE(pollUntil([&] { return app->hasLogged("the support chat's page is loaded again"); }, kLaunchTimeoutMs))
        << app->output().toStdString();
    ASSERT_TRUE(app->signIn(kLaunchTimeoutMs)) << app->output().toStdString();
    ASSERT_TRUE(pollUntil([&] { return showsChatButton(app->screenshot()); }, kLaunchTimeoutMs)) << app->output().toStdString();

    ASSERT_TRUE(pollUntil([&] { return service.sendSupportMessage(QStringLiteral("Hello again")) == 1; }, kLaunchTimeoutMs, 500))
        << app->output().toStdString();
    ASSERT_TRUE(pollUntil([&] { return app->windowTitle() == QLatin1String("(1) Pellora"); }, kLaunchTimeoutMs))
        << app->output().toStdString();
    QElapsedTimer pressed;
    pressed.start();
    ASSERT_NO_FATAL_FAILURE(openTheChat());
    EXPECT_TRUE(showsMessenger(app->screenshot()));
    EXPECT_LT(pressed.elapsed(), 1000 * qint64(15));   // before the alert would have come
    EXPECT_FALSE(app->hasLogged("difficulty to initiate chat"));
    EXPECT_EQ(app->terminate(), 0) << app->output().toStdString();
}

// Quitting a run whose chat page was never shown (the sign-in screen still up): the page goes
// before the web engine lets go of the profile it was made in.
TEST_F(SupportChatLaunchTest, QuittingTakesTheChatsPageApartBeforeTheWebEngine)
{
    app = std::make_unique<LaunchedApplication>(screen, service.port());
    ASSERT_TRUE(app->start());
    ASSERT_TRUE(pollUntil([&] { return app->hasLogged("The support chat is loaded and listens for messages"); }, kLaunchTimeoutMs))
        << app->output().toStdString();
    ASSERT_TRUE(pollUntil([&] { return service.requests(QStringLiteral("/support/intercom.html")).size() == 1; }, kLaunchTimeoutMs));
    EXPECT_EQ(app->terminate(), 0) << app->output().toStdString();
    EXPECT_TRUE(app->hasLogged("Quitting"));
    EXPECT_FALSE(app->hasLogged("Release of profile requested")) << app->output().toStdString();
}

// The closed chat is its round button alone: a tile's "..." just above it, where the chat's
// corner once took the clicks, opens the tile's menu in the running application (the real chat
// view over the real home screen).
TEST_F(SupportChatLaunchTest, ATilesMenuButtonNextToTheClosedChatTakesItsClick)
{
    // The window made as low as puts the "..." 20 points above the chat's button: inside the
    // square of 100 points 20 inside the corner, beside the button.
    QPoint menu;
    QImage shot;
    ASSERT_NO_FATAL_FAILURE(launchWithTheLastTilesMenuAt(104, &menu, &shot));
    const QSize size = shot.size();
    ASSERT_TRUE(QRect(size.width() - 120, size.height() - 120, 100, 100).contains(menu));
    ASSERT_FALSE(QRect(size.width() - 84, size.height() - 84, 56, 56).contains(menu));

    const QStringList before = app->visibleWindows();
    ASSERT_TRUE(app->click(menu));
    QStringList opened;
    EXPECT_TRUE(pollUntil(
        [&] {
            opened.clear();
            for (const QString& window : app->visibleWindows())
                if (!before.contains(window))
                    opened << window;
            return !opened.isEmpty();
        },
        20000))
        << app->output().toStdString();
    // The menu, not the chat.
    EXPECT_FALSE(showsMessenger(app->screenshot()));
    ASSERT_TRUE(app->key(QStringLiteral("Escape")));
    EXPECT_EQ(app->terminate(), 0) << app->output().toStdString();
}

// The closed chat is round: a click at a corner of its button's square, outside the circle, is
// what lies beneath it's (here the first row's last tile, which opens its post), while a click in
// its middle opens the chat.
TEST_F(SupportChatLaunchTest, TheCornersOfTheClosedChatsSquareLeaveTheirClicksToWhatLiesBeneath)
{
    // The window made as low as puts the top of the button's square 8 points below the tile's
    // "...": the square's top corners lie on the tile's footer, beside the "...".
    QPoint menu;
    QImage shot;
    ASSERT_NO_FATAL_FAILURE(launchWithTheLastTilesMenuAt(92, &menu, &shot));
    const QSize size = shot.size();
    // The top leading corner of the square, 26 points across and up from the circle's centre.
    const QPoint corner(size.width() - 82, size.height() - 82);
    ASSERT_EQ(shareOfColour(shot, QRect(corner, QSize(1, 1)), kWhite, 4), 1.0) << "no tile under the corner";
    ASSERT_GT(std::abs(corner.x() - menu.x()), 12);   // beside the "..."

    ASSERT_TRUE(app->click(corner));
    // The tile's post opens: the chat moves into its canvas's corner, closed.
    QImage opened;
    ASSERT_TRUE(pollUntil(
        [&] {
            opened = app->screenshot();
            return showsChatButtonIn(opened, canvasChatButtonArea(size)) || showsMessenger(opened);
        },
        kLaunchTimeoutMs))
        << app->output().toStdString();
    ASSERT_FALSE(showsMessenger(opened));
    ASSERT_TRUE(showsChatButtonIn(opened, canvasChatButtonArea(size)));

    // Its middle opens the chat.
    ASSERT_TRUE(app->waitUntilAtRest());
    ASSERT_TRUE(app->click(QPoint(size.width() - kInspectorWidth - 56, size.height() - 56)));
    EXPECT_TRUE(pollUntil([&] { return showsMessengerInCanvas(app->screenshot()); }, kLaunchTimeoutMs))
        << app->output().toStdString();
    EXPECT_EQ(app->terminate(), 0) << app->output().toStdString();
}
