#pragma once

#include <QString>

class PLRIntercomChatView;
class QWidget;

// The one support-chat view of the application and where it sits.
class PLRIntercomChatManager {
public:
    // Made on first use, once.
    static PLRIntercomChatView* intercomChatView();
    // Moves the chat into the host's bottom trailing corner.
    static void attachIntercomMessengerToView(QWidget* host);
    static void detachIntercomMessenger();
    static QString currentUserInfo();

    // The home screen attaches the chat through the shell's hook (called once at start).
    static void install();
    // Makes the shared view and loads its page without a host: from now on the page tells of
    // new messages, whether or not the chat is on screen.
    static void loadPage();
    // Forgets the shared view (tests).
    static void reset();
};
