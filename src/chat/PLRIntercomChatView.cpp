#include "chat/PLRIntercomChatView.h"
#include "platform/Clock.h"

#include "chat/PLRWebView.h"
#include "chat/PLRWebViewPlace.h"
#include "controls/ColorWithHex.h"
#include "controls/PLRSpinner.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "platform/Alert.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/UserNotifications.h"
#include "platform/Workspace.h"
#include "platform-ui/GraphicsContext.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRUserSession.h"

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QIcon>
#include <QJsonValue>
#include <QJsonDocument>
#include <QJsonArray>
#include <QLabel>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr int kButtonSize = PLRIntercomChatView::kClosedSize;
// The count on the chat button: a red disc on its top trailing corner, inside the button (the
// closed view is the button alone).
constexpr int kBadgeHeight = 20;

// A string as a script literal (quotes, backslashes and line ends escaped).
QString scriptString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

} // namespace

PLRIntercomChatView::PLRIntercomChatView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PLRIntercomChatView"));
    setAttribute(Qt::WA_TranslucentBackground);
    m_chatButton = new QPushButton(this);
    m_chatButton->setObjectName(QStringLiteral("intercomChatIcon"));
    m_chatButton->setIcon(QIcon(QStringLiteral(":/images/support-chat.svg")));
    m_chatButton->setIconSize(QSize(kButtonSize, kButtonSize));
    m_chatButton->setFlat(true);
    m_chatButton->setCursor(Qt::PointingHandCursor);
    m_chatButton->setToolTip(QStringLiteral("Chat to support"));
    m_chatButton->setStyleSheet(QStringLiteral("QPushButton{border:none;background:transparent;}"));
    // A click leaves the keyboard where it was (the open chat takes it, and gives it back there).
    m_chatButton->setFocusPolicy(Qt::TabFocus);
    connect(m_chatButton, &QPushButton::clicked, this, &PLRIntercomChatView::showIntercomChatWindow);
    m_buttonBadge = new QLabel(m_chatButton);
    m_buttonBadge->setObjectName(QStringLiteral("chatButtonBadge"));
    m_buttonBadge->setAlignment(Qt::AlignCenter);
    m_buttonBadge->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_buttonBadge->setStyleSheet(QStringLiteral("QLabel{background:#e0443a;color:white;border-radius:%1px;"
                                                "font-weight:bold;font-size:11px;padding:0 5px;}")
                                     .arg(kBadgeHeight / 2));
    m_buttonBadge->hide();
    m_spinner = new PLRSpinner(QRectF(0, 0, 24, 24), this);
    m_spinner->setForegroundColour(ColorWithHex::smb_blueColour());
    m_spinner->setup();
    m_spinner->hide();
    setupHeightConstraints();
}

PLRIntercomChatView::~PLRIntercomChatView()
{
    delete m_shadowView;
}

void PLRIntercomChatView::setupHeightConstraints()
{
    if (m_width <= 0)
        m_width = kClosedSize;
    if (m_height <= 0)
        m_height = kClosedSize;
    applySize();
}

void PLRIntercomChatView::applySize()
{
    resize(m_width, m_height);
    placeInHost();
}

void PLRIntercomChatView::placeInHost()
{
    QWidget* host = parentWidget();
    if (host != m_host) {
        if (m_host)
            m_host->removeEventFilter(this);
        m_host = host;
        if (host)
            host->installEventFilter(this);
    }
    if (!host)
        return;
    // The open messenger is as tall as the host allows, its margin kept above it too: in a low
    // window its header, with its close button, stays on screen.
    const bool closed = m_height <= kClosedSize;
    const int height = closed ? m_height : std::max(kClosedSize, std::min(m_height, host->height() - 2 * kMarginInHost));
    if (size() != QSize(m_width, height))
        resize(m_width, height);
    const int margin = closed ? kClosedMarginInHost : kMarginInHost;
    move(host->width() - margin - width(), host->height() - margin - this->height());
    raise();
}

bool PLRIntercomChatView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_host && event->type() == QEvent::Resize)
        placeInHost();
    return QWidget::eventFilter(watched, event);
}

void PLRIntercomChatView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_chatButton->setGeometry(width() - kButtonSize, height() - kButtonSize, kButtonSize, kButtonSize);
    m_spinner->move(m_chatButton->geometry().center() - QPoint(12, 12));
    setWebViewFrame(m_webViewFrame);
    placeShadow();
    updateClickArea();
}

void PLRIntercomChatView::updateClickArea()
{
    // Open, the whole messenger is the chat's.
    if (size() != QSize(kClosedSize, kClosedSize)) {
        clearMask();
        return;
    }
    // Closed, the view is the round button: its corners are what lies beneath it's. The count on
    // the button shows whole, and is pressed as the button.
    QRegion shape(m_chatButton->geometry(), QRegion::Ellipse);
    if (!m_buttonBadge->isHidden()) {
        QPainterPath badge;
        badge.addRoundedRect(QRectF(m_buttonBadge->geometry().translated(m_chatButton->pos())), kBadgeHeight / 2.0,
                             kBadgeHeight / 2.0);
        shape += QRegion(badge.toFillPolygon().toPolygon());
    }
    setMask(shape);
}

void PLRIntercomChatView::setWebViewFrame(const QRect& frame)
{
    m_webViewFrame = frame;
    // No taller than the view (a low host makes the open view lower than the messenger's height).
    const int shown = std::max(0, std::min(frame.height(), height() - frame.y()));
    if (m_webPlace)
        m_webPlace->setFrame(QRect(frame.x(), height() - frame.y() - shown, frame.width(), shown));
}

void PLRIntercomChatView::resetWithIntercomFile(const QUrl& file)
{
    m_intercomFile = file;
}

void PLRIntercomChatView::setupMessengerView()
{
    if (m_webView)
        return;
    // The web view in a window of its own: the only one to draw through OpenGL, from when the
    // chat first opens; the application's window stays as it was made.
    m_webPlace = new PLRWebViewPlace(this);
    m_webView = m_webPlace->webView();
    m_webView->setObjectName(QStringLiteral("chatWebView"));
    m_webView->page()->setBackgroundColor(Qt::transparent);
    setWebViewFrame(QRect(0, 0, 80, 85));
    m_webPlace->lower();
    QPointer<PLRIntercomChatView> self(this);
    m_webView->addScriptMessageHandler(QString::fromLatin1(kPLRChatMessageHandler), [self](const QString& body) {
        if (self)
            self->handleScriptMessage(QString::fromLatin1(kPLRChatMessageHandler), body);
    });
    // The messenger's script exists once the page has loaded: an opening asked for before that
    // is carried out then.
    connect(m_webView, &QWebEngineView::loadStarted, this, [this] {
        m_pageLoaded = false;
        m_messengerFailed = false;
    });
    connect(m_webView, &QWebEngineView::loadFinished, this, [this](bool) {
        m_pageLoaded = true;
        if (m_showWhenLoaded) {
            m_showWhenLoaded = false;
            if (isWaitingForMessenger())
                evaluateShowScript();
        }
    });
    // A page that could not be loaded (the service down, or answering with an error) tells
    // nothing: it is loaded again when the service can be reached, or when the button is pressed.
    connect(m_webView->page(), &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
            return;
        const bool failed = info.status() == QWebEngineLoadingInfo::LoadFailedStatus
                            || (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain && info.errorCode() >= 400);
        if (failed && !m_pageFailed)
            PLR_LOG_WARN(QStringLiteral("The support chat's page did not load (%1 %2); it is loaded again once the "
                                        "service can be reached")
                             .arg(info.errorCode())
                             .arg(info.errorString()));
        m_pageFailed = failed;
    });
    m_pageURL = m_intercomFile.isValid() ? m_intercomFile : QUrl(QStringLiteral("qrc:/intercom.html"));
    m_pageLoaded = false;
    m_webView->load(m_pageURL);
    m_webPlace->hide();
}

void PLRIntercomChatView::loadPageAgain()
{
    if (!m_webView)
        return;
    // The page's first word after loading is its state, not news.
    m_loaded = false;
    m_pageLoaded = false;
    m_pageFailed = false;
    m_messengerFailed = false;
    m_webView->load(m_pageURL);
}

void PLRIntercomChatView::serviceReachable()
{
    if (!m_webView || !hasPageFailed() || m_messageShown)
        return;
    PLR_LOG_INFO(QStringLiteral("The service can be reached again: the support chat's page is loaded again"));
    loadPageAgain();
    if (isWaitingForMessenger())
        m_showWhenLoaded = true;
}

void PLRIntercomChatView::showIntercomChatWindow()
{
    if (!m_messageShown) {
        QWidget* focused = QApplication::focusWidget();
        m_keyboardBeforeOpening = focused && focused->window() == window() ? focused : nullptr;
    }
    // Pressed from the keyboard, the button is switched off while the chat opens: the chat holds
    // the keyboard meanwhile (Qt would hand it to the window's next control), and the messenger
    // takes it once it is shown.
    if (m_chatButton->hasFocus())
        setFocus(Qt::OtherFocusReason);
    m_spinner->show();
    m_chatButton->setEnabled(false);
    m_spinner->startAnimating();
    m_showErrorTimer.start(kWatchdogSeconds);
    if (!m_webView)
        return;
    // A page that could not be loaded is tried again at once, and opens once it has loaded.
    if (hasPageFailed())
        loadPageAgain();
    if (m_pageLoaded)
        evaluateShowScript();
    else
        m_showWhenLoaded = true;
}

void PLRIntercomChatView::evaluateShowScript()
{
    m_webView->evaluateJavaScript(QStringLiteral("Intercom('show');"), [](const QVariant& result, const QString& error) {
        PLR_LOG_INFO(QStringLiteral("error executing JS: %1 %2").arg(result.toString(), error));
    });
}

void PLRIntercomChatView::watchdogFired()
{
    if (m_messageShown)
        return;
    m_spinner->stopAnimating(false);
    m_spinner->hide();
    m_chatButton->setEnabled(true);
    if (QApplication::focusWidget() == this)
        m_chatButton->setFocus(Qt::OtherFocusReason);
    m_showWhenLoaded = false;
    loadPageAgain();
    platform::Alert alert;
    alert.messageText = QStringLiteral("We are experiencing difficulty to initiate chat with support.");
    alert.informativeText = QStringLiteral("Please check your internet connection, and try again later.");
    alert.buttons = {QStringLiteral("OK")};
    platform::runAlert(alert, window());
}

void PLRIntercomChatView::showIntercom()
{
    platform::Workspace::shared().openURL(PLRDefaults::supportURLForPath(QStringLiteral("en/articles/3173491-chat-to-support")));
}

void PLRIntercomChatView::handleScriptMessage(const QString& handler, const QString& body)
{
    if (handler != QLatin1String(kPLRChatMessageHandler))
        return;
    if (body == QLatin1String("hidden"))
        handleMessengerClosed();
    else if (body == QLatin1String("newmessages"))
        handleNewMessageNotification();
    else if (body == QLatin1String("shown"))
        handleIntercomMessengerShown();
    else if (body == QLatin1String("failed"))
        handleMessengerFailed();
}

void PLRIntercomChatView::handleMessengerFailed()
{
    if (!m_messengerFailed)
        PLR_LOG_WARN(QStringLiteral("The support chat's messenger did not load; the page is loaded again once the "
                                    "service can be reached"));
    m_messengerFailed = true;
}

void PLRIntercomChatView::handleIntercomMessengerShown()
{
    platform::UserNotificationCenter::shared().setBadgeLabel(QString());
    // The user sees the messages now: the next one is told at once.
    setUnread(0);
    m_lastNotificationAt.reset();
    m_showErrorTimer.stop();
    if (m_webPlace)
        m_webPlace->hide();
    const QString user = currentUserInfo();
    if (!user.isEmpty() && m_webView)
        m_webView->evaluateJavaScript(QStringLiteral("Intercom('update', %1);").arg(user));
    QPointer<PLRIntercomChatView> self(this);
    platform::Clock::shared().after(0.15, this, [self] {
        if (!self)
            return;
        self->m_height = kOpenHeight;
        self->m_width = kOpenWidth;
        self->applySize();
        self->setWebViewFrame(QRect(0, 0, kOpenWidth, kOpenHeight));
        self->setShadow(true);
        if (self->m_webPlace) {
            self->m_webPlace->show();
            self->m_webPlace->raise();
        }
        self->m_messageShown = true;
        // The open chat has the keyboard.
        if (self->m_webPlace)
            self->m_webPlace->takeKeyboard(Qt::OtherFocusReason);
        self->m_chatButton->hide();
        self->m_chatButton->setEnabled(true);
        self->m_spinner->stopAnimating(false);
        self->m_spinner->hide();
    });
}

void PLRIntercomChatView::handleMessengerClosed()
{
    // The keyboard goes back to where it was, unless the user has taken it elsewhere meanwhile
    // (the page's window gives it back to this one as it hides).
    QWidget* focused = QApplication::focusWidget();
    const bool hadKeyboard = (focused && (focused == this || isAncestorOf(focused)))
                             || (m_webPlace && m_webPlace->hasKeyboard());
    QPointer<QWidget> giveBack = hadKeyboard ? m_keyboardBeforeOpening : QPointer<QWidget>();
    m_keyboardBeforeOpening = nullptr;
    setShadow(false);
    hide();
    m_chatButton->show();
    m_chatButton->raise();
    QPointer<PLRIntercomChatView> self(this);
    platform::Clock::shared().after(0.05, this, [self, giveBack] {
        if (!self)
            return;
        self->m_width = kClosedSize;
        self->m_height = kClosedSize;
        self->applySize();
        self->setWebViewFrame(QRect(20, 0, 80, 85));
        if (self->m_webPlace)
            self->m_webPlace->hide();
        self->show();
        self->m_messageShown = false;
        if (giveBack && giveBack->isVisible() && giveBack->isEnabled())
            giveBack->setFocus(Qt::OtherFocusReason);
    });
}

bool PLRIntercomChatView::isMessengerOnScreen() const
{
    const QWidget* top = window();
    return m_messageShown && isVisible() && top && top != this && !top->isMinimized();
}

void PLRIntercomChatView::setUnread(int count)
{
    m_unread = count;
    m_buttonBadge->setText(QString::number(count));
    m_buttonBadge->adjustSize();
    const int width = std::max(kBadgeHeight, m_buttonBadge->sizeHint().width());
    m_buttonBadge->setGeometry(kButtonSize - width, 0, width, kBadgeHeight);
    m_buttonBadge->setVisible(count > 0);
    updateClickArea();
    m_chatButton->setAccessibleDescription(count > 0 ? QStringLiteral("%1 new from support").arg(count) : QString());
}

void PLRIntercomChatView::handleNewMessageNotification()
{
    // Written while the user has the messenger open in front of them: seen as it comes, and the
    // messenger stays open.
    if (m_loaded && isMessengerOnScreen()) {
        PLR_LOG_INFO(QStringLiteral("A new message shows in the open chat"));
        return;
    }
    if (m_loaded) {
        // A page may send many of these at once: the badge counts them, and one notification
        // stands for all that arrive while one is pending or was just shown.
        setUnread(m_unread + 1);
        platform::UserNotificationCenter::shared().setBadgeLabel(QString::number(m_unread));
        const bool recentlyShown = m_lastNotificationAt
                                   && platform::Clock::shared().now() - *m_lastNotificationAt < kNotificationInterval;
        if (!m_notificationPending && !recentlyShown) {
            PLR_LOG_INFO(QStringLiteral("new messages are available.."));
            postNotification(QStringLiteral("New Message from Pellora Support"), QStringLiteral("View and Respond"),
                             QString::number(QDateTime::currentSecsSinceEpoch()));
        }
    }
    // Whether the messenger is open is the page's to say ("shown", "hidden"): a message that
    // comes while it is open (the window minimised, say) leaves it open, and the next one that
    // comes while it is in front of the user is seen, not told.
    m_loaded = true;
}

void PLRIntercomChatView::postNotification(const QString& title, const QString& description, const QString& identifier)
{
    m_notificationPending = true;
    QPointer<PLRIntercomChatView> self(this);
    platform::Clock::shared().after(0.3, this, [self, title, description, identifier] {
        if (self) {
            self->m_notificationPending = false;
            self->m_lastNotificationAt = platform::Clock::shared().now();
        }
        platform::UserNotificationCenter::shared().deliver(title, description, identifier);
    });
}

namespace {

// Paints the open chat's soft shadow (black at 0.2, radius 3, no offset) around a rounded
// rectangle inset by the margin; the chat view lies on top of it.
class ChatShadowView : public QWidget {
public:
    explicit ChatShadowView(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const int m = PLRIntercomChatView::kShadowMargin;
        const QRectF chat = QRectF(rect()).adjusted(m, m, -m, -m);
        const double r = PLRIntercomChatView::kCornerRadius;
        platform::ui::GraphicsContext::paintShadow(painter, platform::ui::roundedRectPath(chat, r, r),
                                                   {platform::ui::Color::black(0.2), 3.0, QSizeF(0, 0)}, true);
    }
};

} // namespace

void PLRIntercomChatView::setShadow(bool shown)
{
    setProperty("shadowShown", shown);
    m_shadowShown = shown;
    placeShadow();
    update();
}

void PLRIntercomChatView::placeShadow()
{
    // The open chat has rounded corners: the web view is cut to them.
    if (m_webView) {
        if (m_shadowShown) {
            QPainterPath rounded;
            rounded.addRoundedRect(QRectF(m_webView->rect()), kCornerRadius, kCornerRadius);
            const QRegion shape(rounded.toFillPolygon().toPolygon());
            m_webView->setMask(shape);
            m_webPlace->setShape(shape);
        } else {
            m_webView->clearMask();
            m_webPlace->setShape(QRegion());
        }
    }
    QWidget* host = parentWidget();
    if (!m_shadowShown || !host || isHidden()) {
        if (m_shadowView)
            m_shadowView->hide();
        return;
    }
    if (!m_shadowView)
        m_shadowView = new ChatShadowView(host);
    else if (m_shadowView->parentWidget() != host)
        m_shadowView->setParent(host);
    m_shadowView->setGeometry(geometry().adjusted(-kShadowMargin, -kShadowMargin, kShadowMargin, kShadowMargin));
    m_shadowView->stackUnder(this);
    m_shadowView->show();
    m_shadowView->update();
}

void PLRIntercomChatView::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    placeShadow();
}

bool PLRIntercomChatView::event(QEvent* event)
{
    const bool result = QWidget::event(event);
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::Show || event->type() == QEvent::Hide)
        placeShadow();
    return result;
}

QString PLRIntercomChatView::currentUserInfo()
{
    PLRUserSession* session = PLRCoreManager::userSession();
    PLRPersistantAccount* account = session ? session->account() : nullptr;
    if (!account)
        return QString();
    const QString indent(22, QLatin1Char(' '));
    // Values are script literals: a quote or a line end in a name cannot break the script.
    return QStringLiteral("{email: %1,\n%5name: %2,\n%5user_id: %3,\n%5created_at: %4}")
        .arg(scriptString(account->email()),
             scriptString(account->firstName() + QLatin1Char(' ') + account->lastName()),
             scriptString(account->userIdentifier()), QString::number(QDateTime::currentSecsSinceEpoch()), indent);
}
