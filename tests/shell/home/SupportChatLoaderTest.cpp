// The support chat's loader: the stand-in button in the home screen's corner, the chat loaded
// after the main window's first frame taking the button's place, a press that comes first, and
// the button's word when there is no plugin. The plugin here is a stand-in object; the real one
// is loaded by the application in the launch tests.

#include "TestSupport.h"

#include "platform/FirstFrame.h"
#include "shell/home/PLRSupportChatHook.h"
#include "shell/home/PLRSupportChatLoader.h"
#include "shell/home/PLRSupportChatPlugin.h"
#include "platform-ui/View.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

namespace {

// Records what the loader asks of the chat; once installed it attaches a marker view.
class RecordingChatPlugin : public PLRSupportChatPlugin {
public:
    void install() override
    {
        ++installs;
        PLRSupportChatHook::setAttach([this](QWidget* host) { attachedTo = host; });
    }
    void openChat() override { ++opens; }

    int installs = 0;
    int opens = 0;
    QPointer<QWidget> attachedTo;
};

class SupportChatLoaderTest : public ::testing::Test {
protected:
    void SetUp() override { host.resize(800, 700); }
    void TearDown() override
    {
        PLRSupportChatLoader::setPluginForTesting(nullptr);
        PLRSupportChatLoader::setPluginPathForTesting(QString());
    }
    // The home screen appearing: the stand-in button takes its corner.
    PLRSupportChatButton* attachStandIn()
    {
        PLRSupportChatHook::attach(&host);
        return PLRSupportChatButton::shared();
    }

    QWidget host;
    RecordingChatPlugin plugin;
};

} // namespace

TEST_F(SupportChatLoaderTest, TheChatLoadedAfterTheFirstFrameTakesTheButtonsPlaceWithoutOpening)
{
    PLRSupportChatLoader::setPluginForTesting(&plugin);
    platform::firstframe::expect();
    PLRSupportChatLoader::loadAfterFirstFrame();
    QPointer<PLRSupportChatButton> button = attachStandIn();
    ASSERT_TRUE(button);
    EXPECT_EQ(button->geometry(), QRect(800 - 28 - 56, 700 - 28 - 56, 56, 56));
    EXPECT_FALSE(button->isUnavailable());
    // Nothing is loaded before the frame.
    testing_support::drainEvents();
    EXPECT_EQ(plugin.installs, 0);

    platform::firstframe::painted();
    ASSERT_TRUE(testing_support::waitUntil([&] { return plugin.installs == 1; }));
    EXPECT_EQ(plugin.attachedTo, &host);   // the chat sits where the button was
    EXPECT_EQ(plugin.opens, 0);            // and is not opened by itself
    testing_support::drainEvents();
    EXPECT_FALSE(button);
    EXPECT_EQ(PLRSupportChatButton::shared(), nullptr);

    // From now on the hook attaches the chat; a second load changes nothing.
    QWidget other;
    PLRSupportChatHook::attach(&other);
    EXPECT_EQ(plugin.attachedTo, &other);
    EXPECT_EQ(PLRSupportChatLoader::loadChat(), &plugin);
    EXPECT_EQ(plugin.installs, 1);
}

// The stand-in is its button alone: what lies around it in the corner (a tile's menu button in
// the home screen's last row) takes its own clicks, in the screen's own dispatch of them too.
TEST_F(SupportChatLoaderTest, TheButtonTakesClicksOnItselfOnly)
{
    PLRSupportChatLoader::setPluginForTesting(&plugin);
    platform::ui::View screen;
    screen.resize(800, 700);
    // Where the chat's closed view once reached: above the button, and left of it.
    QPushButton above(&screen);
    above.setGeometry(800 - 60, 700 - 116, 24, 24);
    QPushButton beside(&screen);
    beside.setGeometry(800 - 116, 700 - 60, 24, 24);
    // Under the bottom trailing corner of the button's square, outside its circle.
    QPushButton corner(&screen);
    corner.setGeometry(800 - 28 - 7, 700 - 28 - 7, 12, 12);
    PLRSupportChatHook::attach(&screen);
    PLRSupportChatButton* button = PLRSupportChatButton::shared();
    ASSERT_NE(button, nullptr);
    screen.show();
    for (QPushButton* menu : {&above, &beside, &corner}) {
        EXPECT_EQ(platform::ui::View::hitTestWindow(&screen, menu->geometry().center()), menu);
        EXPECT_EQ(screen.childAt(menu->geometry().center()), menu);
    }
    const QPoint centre = button->mapTo(&screen, button->button()->geometry().center());
    EXPECT_EQ(platform::ui::View::hitTestWindow(&screen, centre), button->button());
    EXPECT_EQ(screen.childAt(centre), button->button());
}

TEST_F(SupportChatLoaderTest, APressBeforeTheChatIsLoadedLoadsItThereAndOpensIt)
{
    PLRSupportChatLoader::setPluginForTesting(&plugin);
    QPointer<PLRSupportChatButton> button = attachStandIn();
    ASSERT_TRUE(button);
    button->button()->click();
    EXPECT_EQ(plugin.installs, 1);
    EXPECT_EQ(plugin.attachedTo, &host);
    EXPECT_EQ(plugin.opens, 1);
    testing_support::drainEvents();
    EXPECT_FALSE(button);
    // The load that was to follow the first frame finds the chat there already.
    PLRSupportChatLoader::loadChat();
    EXPECT_EQ(plugin.installs, 1);
    EXPECT_EQ(plugin.opens, 1);
}

TEST_F(SupportChatLoaderTest, WithoutThePluginTheButtonSaysTheChatIsUnavailable)
{
    PLRSupportChatLoader::setPluginPathForTesting(testing_support::testHome() + "/no-such-plugin.so");
    PLRSupportChatButton* button = attachStandIn();
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isUnavailable());
    EXPECT_EQ(button->button()->toolTip(), "The support chat is unavailable.");
    button->button()->click();
    EXPECT_EQ(PLRSupportChatButton::shared(), button);   // still there, still saying so
    EXPECT_EQ(button->button()->toolTip(), "The support chat is unavailable.");
}

TEST_F(SupportChatLoaderTest, APluginFileThatDoesNotLoadMakesTheButtonSaySo)
{
    // A file that is there but is no plugin: the button cannot know before the load.
    const QString path = testing_support::testHome() + "/pellora-chat.so";
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a library");
    }
    PLRSupportChatLoader::setPluginPathForTesting(path);
    PLRSupportChatButton* button = attachStandIn();
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isUnavailable());
    EXPECT_EQ(PLRSupportChatLoader::loadChat(), nullptr);
    EXPECT_TRUE(button->isUnavailable());
    EXPECT_EQ(button->button()->toolTip(), "The support chat is unavailable.");
    EXPECT_EQ(PLRSupportChatButton::shared(), button);
}
