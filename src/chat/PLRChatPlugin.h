#pragma once

#include "shell/home/PLRSupportChatPlugin.h"

#include <QObject>

// The support chat as the plugin the shell loads on first use (pellora-chat.so).
class PLRChatPlugin : public QObject, public PLRSupportChatPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID PLRSupportChatPlugin_iid)
    Q_INTERFACES(PLRSupportChatPlugin)
public:
    void install() override;
    void openChat() override;
};
