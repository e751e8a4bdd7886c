#pragma once

#include <QtPlugin>

// The support chat, loaded on first use from a plugin beside the executable (it is the one
// part of the application on the web engine, which a launch should not load).
class PLRSupportChatPlugin {
public:
    virtual ~PLRSupportChatPlugin() = default;
    // Joins the chat to the application: from now on PLRSupportChatHook attaches the chat.
    virtual void install() = 0;
    // Presses the chat's button in the host it was attached to last.
    virtual void openChat() = 0;
};

#define PLRSupportChatPlugin_iid "com.quenfield.pellora.SupportChatPlugin/1"
Q_DECLARE_INTERFACE(PLRSupportChatPlugin, PLRSupportChatPlugin_iid)
