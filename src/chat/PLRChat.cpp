#include "chat/PLRChat.h"

#include "chat/PLRIntercomChatManager.h"

void PLRChat::install()
{
    PLRIntercomChatManager::install();
}
