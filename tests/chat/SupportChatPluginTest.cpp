// The support chat as a plugin: the button that stands in for it until it is pressed, the
// plugin loaded from the build tree, and the button's word when there is no plugin.

#include "TestSupport.h"

#include "chat/PLRIntercomChatManager.h"
#include "chat/PLRIntercomChatView.h"
#include "shell/home/PLRSupportChatHook.h"
#include "shell/home/PLRSupportChatLoader.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QWidget>

namespace {

class SupportChatPluginTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        PLRIntercomChatManager::reset();
        PLRSupportChatHook::setAttach(nullptr);
        PLRSupportChatLoader::setPluginPathForTesting(QString());
    }
};

} // namespace

TEST_F(SupportChatPluginTest, WithoutThePluginTheButtonSaysTheChatIsUnavailable)
{
    PLRSupportChatLoader::setPluginPathForTesting(testing_support::testHome() + "/no-such-plugin.so");
    PLRSupportChatLoader::install();
    QWidget host;
    host.resize(600, 400);
    PLRSupportChatHook::attach(&host);
    PLRSupportChatButton* button = PLRSupportChatButton::shared();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->parentWidget(), &host);
    EXPECT_EQ(button->geometry(), QRect(600 - 20 - 100, 400 - 20 - 100, 100, 100));
    EXPECT_TRUE(button->isUnavailable());
    EXPECT_EQ(button->button()->toolTip(), "The support chat is unavailable.");

    button->button()->click();
    EXPECT_EQ(PLRSupportChatButton::shared(), button);   // still there, still saying so
    EXPECT_EQ(button->button()->toolTip(), "The support chat is unavailable.");
    EXPECT_FALSE(PLRIntercomChatManager::intercomChatView()->parentWidget());
}

TEST_F(SupportChatPluginTest, ThePluginIsFoundInTheBuildTreeAndOpensTheChatWhereTheButtonWas)
{
    ASSERT_FALSE(PLRSupportChatLoader::pluginPath().isEmpty()) << PLRSupportChatLoader::searchFolders().join(", ").toStdString();
    PLRSupportChatLoader::install();
    QWidget host;
    host.resize(800, 700);
    PLRSupportChatHook::attach(&host);
    PLRSupportChatButton* button = PLRSupportChatButton::shared();
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isUnavailable());
    EXPECT_EQ(button->button()->toolTip(), "Chat to support");

    button->button()->click();
    ASSERT_NE(PLRSupportChatLoader::plugin(), nullptr);
    // The chat itself took the corner and is opening (the same shared chat the library has).
    PLRIntercomChatView* chat = PLRIntercomChatManager::intercomChatView();
    EXPECT_EQ(chat->parentWidget(), &host);
    EXPECT_TRUE(chat->isWaitingForMessenger());
    EXPECT_FALSE(chat->chatButton()->isEnabled());
    EXPECT_EQ(PLRSupportChatButton::shared(), nullptr);

    // From now on the hook attaches the chat itself.
    QWidget other;
    other.resize(600, 400);
    PLRSupportChatHook::attach(&other);
    EXPECT_EQ(chat->parentWidget(), &other);
}
