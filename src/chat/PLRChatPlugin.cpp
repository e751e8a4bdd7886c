#include "chat/PLRChatPlugin.h"

#include "chat/PLRChat.h"
#include "chat/PLRIntercomChatManager.h"
#include "chat/PLRIntercomChatView.h"

void PLRChatPlugin::install()
{
    PLRChat::install();
    PLRIntercomChatManager::loadPage();
}

void PLRChatPlugin::openChat()
{
    PLRIntercomChatView* view = PLRIntercomChatManager::intercomChatView();
    if (view->parentWidget())
        view->showIntercomChatWindow();
}
