#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <optional>

#include "chat/PLRWebView.h"
#include "chat/PLRWebViewPlace.h"
#include "platform/Clock.h"

class PLRSpinner;
class QLabel;
class QPushButton;

// Name of the page's message handler, and its messages.
inline constexpr char kPLRChatMessageHandler[] = "jsHandler";

// The support chat in the corner of a host view: a chat button that opens the messenger page
// in a web view, growing to the messenger's size while it is open. One exists for the run of
// the application and moves between hosts (PLRIntercomChatManager).
class PLRIntercomChatView : public QWidget {
    Q_OBJECT
public:
    explicit PLRIntercomChatView(QWidget* parent = nullptr);
    ~PLRIntercomChatView() override;

    // Sizes while closed and open; the web view's frames (bottom-left origin, as given). Closed,
    // the view is its round button and no more, 28 points inside the host's bottom trailing
    // corner: what lies around the button, the corners of its square too, takes its own clicks.
    // Open, it is the messenger's size, 20 points inside the corner.
    static constexpr int kClosedSize = 56;
    static constexpr int kClosedMarginInHost = 28;
    static constexpr int kOpenWidth = 300;
    static constexpr int kOpenHeight = 500;
    static constexpr int kMarginInHost = 20;
    static constexpr double kWatchdogSeconds = 15.0;

    // Prepares the view and, once, its web view with the page.
    void setupMessengerView();
    // The view's own size constraints (100 by 100 when it has none yet).
    void setupHeightConstraints();
    // Keeps the page address, which counts only when the web view is first made.
    void resetWithIntercomFile(const QUrl& file);
    // Places the view in the host's bottom trailing corner.
    void placeInHost();

    void showIntercomChatWindow();
    // The service can be reached (again): a page that could not be loaded is loaded again (an
    // opening asked for meanwhile is carried out once it has).
    void serviceReachable();
    // The last load of the page failed, or the page said its messenger could not be loaded
    // (either way it tells nothing until it is loaded again).
    bool hasPageFailed() const { return m_pageFailed || m_messengerFailed; }
    // Opens the help centre's chat article in the browser.
    void showIntercom();

    void handleScriptMessage(const QString& handler, const QString& body);
    void handleIntercomMessengerShown();
    void handleMessengerClosed();
    void handleNewMessageNotification();
    // The page could not load its messenger (the bundled page's frame of the help centre).
    void handleMessengerFailed();
    void postNotification(const QString& title, const QString& description, const QString& identifier);

    bool isMessengerOpened() const { return m_messageShown; }
    bool isLoaded() const { return m_loaded; }
    // Messages from support since the messenger was last open (the badge shows the count, on
    // the chat button and as the application's badge).
    int unreadMessages() const { return m_unread; }
    // The count on the chat button (hidden while there is none).
    QLabel* buttonBadge() const { return m_buttonBadge; }
    // The messenger is open and on screen: what support writes is seen as it comes.
    bool isMessengerOnScreen() const;

    // New messages are told as one notification at a time: after one is shown, the next comes
    // no sooner than this, or when the messenger has been opened.
    static constexpr double kNotificationInterval = 30.0; // seconds
    int widthConstant() const { return m_width; }
    int heightConstant() const { return m_height; }
    PLRWebView* webView() const { return m_webView; }
    // Where the web view's own window shows in this view (at the web view's frame).
    PLRWebViewPlace* webViewPlace() const { return m_webPlace; }
    QPushButton* chatButton() const { return m_chatButton; }
    bool isWaitingForMessenger() const { return m_showErrorTimer.isActive(); }
    // The web view's page has finished loading (the messenger's script can be called).
    bool isPageLoaded() const { return m_pageLoaded; }
    QUrl intercomFile() const { return m_intercomFile; }
    // The web view's frame in the view's bottom-left coordinates.
    QRect webViewFrame() const { return m_webViewFrame; }

    // The signed-in user as a script object literal; empty without an account.
    static QString currentUserInfo();

    // The open chat's shadow: drawn behind the view, around its rounded corners (null while
    // the chat is closed).
    QWidget* shadowView() const { return m_shadowView; }
    static constexpr int kCornerRadius = 5;
    static constexpr int kShadowMargin = 8;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchdogFired();
    // Loads the page anew; its first report is its state again, not news.
    void loadPageAgain();
    void evaluateShowScript();
    void setWebViewFrame(const QRect& frame);
    // Closed, the view takes clicks (and shows) only in its round button and the count on it.
    void updateClickArea();
    void applySize();
    void setShadow(bool shown);
    void placeShadow();

    QPointer<PLRWebView> m_webView;
    QPointer<PLRWebViewPlace> m_webPlace;   // the web view's window's place in this view
    void setUnread(int count);

    QPushButton* m_chatButton = nullptr;
    QLabel* m_buttonBadge = nullptr;
    PLRSpinner* m_spinner = nullptr;
    QUrl m_intercomFile;
    QRect m_webViewFrame{0, 0, 80, 85};
    int m_width = 0;
    int m_height = 0;
    bool m_loaded = false;
    bool m_messageShown = false;
    bool m_pageLoaded = false;
    bool m_pageFailed = false;
    bool m_messengerFailed = false;
    bool m_showWhenLoaded = false;
    QUrl m_pageURL;
    int m_unread = 0;
    bool m_notificationPending = false;
    std::optional<double> m_lastNotificationAt; // clock seconds
    platform::ClockTimer m_showErrorTimer{this, [this] { watchdogFired(); }};
    QPointer<QWidget> m_host;
    // Where the keyboard was when the chat was asked to open: it goes back there on closing.
    QPointer<QWidget> m_keyboardBeforeOpening;
    QPointer<QWidget> m_shadowView;
    bool m_shadowShown = false;
};
