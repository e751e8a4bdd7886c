#pragma once

#include <QtPlugin>

// The support chat, loaded from a plugin beside the executable once the main window is on the
// screen (it is the one part of the application on the web engine, which a launch should not
// load). The plugin holds the chat's code alone and uses the executable's libraries.
class PLRSupportChatPlugin {
public:
    virtual ~PLRSupportChatPlugin() = default;
    // Joins the chat to the application and loads its page: from now on PLRSupportChatHook
    // attaches the chat, and the page tells of new messages whether or not it is on screen.
    virtual void install() = 0;
    // Presses the chat's button in the host it was attached to last.
    virtual void openChat() = 0;
};

#define PLRSupportChatPlugin_iid "com.quenfield.pellora.SupportChatPlugin/2"
Q_DECLARE_INTERFACE(PLRSupportChatPlugin, PLRSupportChatPlugin_iid)
