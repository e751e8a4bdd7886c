#include "services/web-services/PLRWebServiceHost.h"
#include "platform/Resets.h"

#include "platform/Alert.h"
#include "platform/Bundle.h"
#include "platform/Json.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRUserSession.h"

#include <QCoreApplication>
#include <QHash>
#include <QWebSocket>

namespace {

platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }

// Every live host object, so that a dying delegate can leave all of them.
QList<PLRWebServiceHost*>& liveHosts()
{
    static QList<PLRWebServiceHost*> hosts;
    return hosts;
}

QString sessionToken()
{
    PLRUserSession* session = PLRCoreManager::userSession();
    return session ? session->jwt() : QString();
}

} // namespace

PLRWebServiceHostRealTimeDelegate::~PLRWebServiceHostRealTimeDelegate()
{
    PLRWebServiceHost::forgetDelegateEverywhere(this);
}

PLRWebServiceHost::PLRWebServiceHost(const QString& hostType, QObject* parent)
    : QObject(parent), m_hostType(hostType)
{
    liveHosts().append(this);
}

PLRWebServiceHost::~PLRWebServiceHost()
{
    liveHosts().removeAll(this);
    m_pingTimer.stop();
    if (m_webSocket) {
        m_webSocket->disconnect(this);
        m_webSocket->close();
        m_webSocket.reset();
    }
}

// ---- shared instances and the stored choice ----

PLRWebServiceHost& PLRWebServiceHost::sharedHost(const QString& type)
{
    // Owned by the application object, so they go away with it; recreated when asked after.
    static QHash<QString, QPointer<PLRWebServiceHost>> hosts;
    static const bool joined = platform::resets::add([] { for (const QPointer<PLRWebServiceHost>& host : std::as_const(hosts)) delete host.data(); hosts.clear(); });
    (void)joined;
    QPointer<PLRWebServiceHost>& slot = hosts[type];
    if (!slot)
        slot = new PLRWebServiceHost(type, QCoreApplication::instance());
    return *slot;
}

PLRWebServiceHost& PLRWebServiceHost::devHost() { return sharedHost(QString::fromLatin1(PLRWebServiceHost_DEV)); }
PLRWebServiceHost& PLRWebServiceHost::stagingHost() { return sharedHost(QString::fromLatin1(PLRWebServiceHost_STAGING)); }
PLRWebServiceHost& PLRWebServiceHost::prodHost() { return sharedHost(QString::fromLatin1(PLRWebServiceHost_PROD)); }
PLRWebServiceHost& PLRWebServiceHost::customHost() { return sharedHost(QString::fromLatin1(PLRWebServiceHost_CUSTOM)); }

QString PLRWebServiceHost::currentHostType()
{
    const QString stored = defaults().stringForKey(QString::fromLatin1(kPLRWebServiceHostTypeKey));
    return stored.isEmpty() ? QString::fromLatin1(PLRWebServiceHost_PROD) : stored;
}

PLRWebServiceHost& PLRWebServiceHost::currentHost()
{
    const QString type = currentHostType();
    if (type == QLatin1String(PLRWebServiceHost_DEV))
        return devHost();
    if (type == QLatin1String(PLRWebServiceHost_STAGING))
        return stagingHost();
    if (type == QLatin1String(PLRWebServiceHost_PROD))
        return prodHost();
    return customHost();
}

void PLRWebServiceHost::setCurrentHostType(const QString& hostType)
{
    defaults().setString(QString::fromLatin1(kPLRWebServiceHostTypeKey), hostType);
    platform::NotificationCenter::defaultCenter().post(
        QString::fromLatin1(PLRWebServiceHostDidChangeCurrentHostNotification));
}

static void setOrRemove(const char* key, const QString& value)
{
    if (value.isEmpty())
        defaults().removeObject(QString::fromLatin1(key));
    else
        defaults().setString(QString::fromLatin1(key), value);
}

void PLRWebServiceHost::setCustomHostName(const QString& hostName) { setOrRemove(kPLRWebServiceCustomHostKey, hostName); }
void PLRWebServiceHost::setCustomPort(const QString& port) { setOrRemove(kPLRWebServiceCustomPortKey, port); }
void PLRWebServiceHost::setCustomHTTPS(bool https) { defaults().setBool(QString::fromLatin1(kPLRWebServiceCustomHTTPSKey), https); }

// ---- address ----

QString PLRWebServiceHost::effectiveHostType(const QString& hostType)
{
    for (const char* known : {PLRWebServiceHost_DEV, PLRWebServiceHost_STAGING, PLRWebServiceHost_PROD}) {
        if (hostType == QLatin1String(known))
            return hostType;
    }
    return QString::fromLatin1(PLRWebServiceHost_CUSTOM);
}

QString PLRWebServiceHost::hostName() const
{
    const QString type = effectiveHostType();
    if (type == QLatin1String(PLRWebServiceHost_DEV))
        return QStringLiteral("localhost");
    if (type == QLatin1String(PLRWebServiceHost_STAGING))
        return QStringLiteral("staging.%1").arg(QLatin1String(kPLRServiceDomain));
    if (type == QLatin1String(PLRWebServiceHost_PROD))
        return QStringLiteral("service.%1").arg(QLatin1String(kPLRServiceDomain));
    return defaults().stringForKey(QString::fromLatin1(kPLRWebServiceCustomHostKey));
}

QString PLRWebServiceHost::port() const
{
    const QString type = effectiveHostType();
    if (type == QLatin1String(PLRWebServiceHost_DEV))
        return QStringLiteral("4000");
    if (type == QLatin1String(PLRWebServiceHost_CUSTOM)) {
        const QString key = QString::fromLatin1(kPLRWebServiceCustomPortKey);
        return defaults().hasKey(key) ? defaults().stringForKey(key) : QString();
    }
    return QString();
}

bool PLRWebServiceHost::isHttps() const
{
    const QString type = effectiveHostType();
    if (type == QLatin1String(PLRWebServiceHost_DEV))
        return false;
    if (type == QLatin1String(PLRWebServiceHost_CUSTOM))
        return defaults().boolForKey(QString::fromLatin1(kPLRWebServiceCustomHTTPSKey));
    return true;
}

QUrl PLRWebServiceHost::urlComponentWithHost(const QString& host, const QString& port, bool https)
{
    QUrl url;
    url.setScheme(https ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(host, QUrl::StrictMode);
    if (!port.isEmpty()) {
        bool ok = false;
        const int number = port.trimmed().toInt(&ok);
        if (ok && number > 0 && number < 65536)
            url.setPort(number);
        else
            PLR_LOG_WARN(QStringLiteral("Ignoring service port \"%1\": not a port number").arg(port));
    }
    if (!url.isValid() || url.host().isEmpty())
        PLR_LOG_WARN(QStringLiteral("Service host \"%1\" is not a valid host name").arg(host));
    return url;
}

QUrl PLRWebServiceHost::serviceURL() const { return urlComponentWithHost(hostName(), port(), isHttps()); }

static QUrl withPath(QUrl url, const QString& path)
{
    url.setPath(path, QUrl::DecodedMode);
    return url;
}

QUrl PLRWebServiceHost::serviceCoreURL() const { return withPath(serviceURL(), QStringLiteral("/core")); }
QUrl PLRWebServiceHost::serviceApiURL() const { return withPath(serviceURL(), QStringLiteral("/api")); }
QUrl PLRWebServiceHost::serviceMeURL() const { return withPath(serviceURL(), QStringLiteral("/api/me")); }

QUrl PLRWebServiceHost::urlWithPrefix(const QString& prefix, const QStringList& paths,
                                      const QVariantMap& parameters) const
{
    QUrl url = withPath(serviceURL(), prefix + paths.join(QLatin1Char('/')));
    if (!parameters.isEmpty()) {
        QStringList items;
        for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
            items << QString::fromLatin1(QUrl::toPercentEncoding(it.key()) + '=' +
                                         QUrl::toPercentEncoding(it.value().toString()));
        }
        url.setQuery(items.join(QLatin1Char('&')), QUrl::StrictMode);
    }
    return url;
}

QUrl PLRWebServiceHost::serviceURLWithPaths(const QStringList& paths, const QVariantMap& parameters) const
{
    return urlWithPrefix(QStringLiteral("/"), paths, parameters);
}
QUrl PLRWebServiceHost::serviceCoreURLWithPaths(const QStringList& paths, const QVariantMap& parameters) const
{
    return urlWithPrefix(QStringLiteral("/core/"), paths, parameters);
}
QUrl PLRWebServiceHost::serviceApiURLWithPaths(const QStringList& paths, const QVariantMap& parameters) const
{
    return urlWithPrefix(QStringLiteral("/api/"), paths, parameters);
}
QUrl PLRWebServiceHost::serviceMeURLWithPaths(const QStringList& paths, const QVariantMap& parameters) const
{
    return urlWithPrefix(QStringLiteral("/api/me/"), paths, parameters);
}

QUrl PLRWebServiceHost::passwordResetURL() const
{
    return withPath(serviceCoreURL(), QStringLiteral("/core/request-password"));
}

QString PLRWebServiceHost::serviceKey() const
{
    return serviceKeyForHostType(m_hostType);
}

QString PLRWebServiceHost::serviceKeyForHostType(const QString& hostType)
{
    const QString identifier = platform::bundle::identifier();
    const QString last = identifier.section(QLatin1Char('.'), -1);
    const QString type = effectiveHostType(hostType);
    QString word = QStringLiteral("custom");
    if (type == QLatin1String(PLRWebServiceHost_DEV))
        word = QStringLiteral("dev");
    else if (type == QLatin1String(PLRWebServiceHost_STAGING))
        word = QStringLiteral("staging");
    else if (type == QLatin1String(PLRWebServiceHost_PROD))
        word = QStringLiteral("prod");
    return QStringLiteral("com.%1.%2").arg(last, word);
}

// ---- beta question ----

void PLRWebServiceHost::enforceBetaConnectionIfAppropiate()
{
    enforceBetaConnectionIfAppropiate(platform::bundle::identifier());
}

void PLRWebServiceHost::enforceBetaConnectionIfAppropiate(const QString& bundleIdentifier)
{
    if (bundleIdentifier != QLatin1String(kPLRBetaBundleIdentifier))
        return;
    if (currentHost().effectiveHostType() == QLatin1String(PLRWebServiceHost_CUSTOM))
        return;
    if (defaults().boolForKey(QString::fromLatin1(kPLRBetaHostVerifiedKey)))
        return;

    platform::Alert alert;
    alert.messageText = QStringLiteral("BETA USERS PLEASE READ");
    alert.informativeText = QStringLiteral(
        "It looks like this is your first time using Pellora Beta, awesome! To get going just "
        "confirm you want to connect to the beta server, or some other configuration.");
    alert.buttons = {QStringLiteral("Connect to Beta Server (automatic)"),
                     QStringLiteral("I want to set it up myself (custom)")};
    const platform::AlertResult result = platform::runAlert(alert);
    defaults().setBool(QString::fromLatin1(kPLRBetaHostVerifiedKey), true);
    if (result.response == platform::kAlertFirstButtonReturn) {
        setCustomHostName(QString::fromLatin1(kPLRBetaServiceHost));
        setCustomPort(QString());
        setCustomHTTPS(true);
        setCurrentHostType(QString::fromLatin1(PLRWebServiceHost_CUSTOM));
    }
}

// ---- real-time socket ----

QUrl PLRWebServiceHost::socketURL() const
{
    QUrl url;
    url.setScheme(isHttps() ? QStringLiteral("wss") : QStringLiteral("ws"));
    url.setHost(hostName(), QUrl::StrictMode);
    const QString portText = port();
    if (!portText.isEmpty()) {
        bool ok = false;
        const int number = portText.trimmed().toInt(&ok);
        if (ok && number > 0 && number < 65536)
            url.setPort(number);
    }
    url.setPath(QStringLiteral("/socket/websocket"));
    url.setQuery(QStringLiteral("token=") +
                     QString::fromLatin1(QUrl::toPercentEncoding(sessionToken())),
                 QUrl::StrictMode);
    return url;
}

bool PLRWebServiceHost::socketConnected() const
{
    return m_webSocket && m_webSocket->state() == QAbstractSocket::ConnectedState;
}

void PLRWebServiceHost::ensureSocketConnection()
{
    const QString token = sessionToken();
    if (m_webSocket) {
        const auto state = m_webSocket->state();
        const bool live = state != QAbstractSocket::ClosingState && state != QAbstractSocket::UnconnectedState;
        // The service sends a socket the events of the account whose token opened it: after a
        // sign-out or a sign-in as another account it is closed (and opened again for the new
        // one), or the new account's builds would go unheard.
        if (live && token == m_socketToken)
            return;
        if (live) {
            PLR_LOG_INFO(QStringLiteral("Socket closed: it belongs to the account signed in before"));
            m_webSocket->disconnect(this);
            m_webSocket->close();
            m_webSocket.reset();
        }
    }
    if (token.isEmpty())
        return;
    const QUrl url = socketURL();
    if (!url.isValid() || url.host().isEmpty()) {
        PLR_LOG_ERROR(QStringLiteral("Socket not opened: the service host is not a valid host name"));
        return;
    }
    PLR_LOG_INFO(QStringLiteral("about to open socket"));
    if (m_webSocket) {
        m_webSocket->disconnect(this);
        m_webSocket->abort();
    }
    m_webSocket = std::make_unique<QWebSocket>();
    QWebSocket* socket = m_webSocket.get();
    connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this, [socket](QAbstractSocket::SocketError) {
        PLR_LOG_ERROR(QStringLiteral("Socket failed to connect: %1").arg(socket->errorString()));
    });
    connect(socket, &QWebSocket::disconnected, this, [socket] {
        PLR_LOG_INFO(QStringLiteral("Socket Closed: %1 reason: %2")
                         .arg(qint64(socket->closeCode()))
                         .arg(socket->closeReason()));
    });
    connect(socket, &QWebSocket::textMessageReceived, this, &PLRWebServiceHost::handleSocketMessage);
    m_socketToken = token;
    socket->open(url);
}

void PLRWebServiceHost::handleSocketMessage(const QString& text)
{
    platform::Error error;
    const QVariant parsed = platform::json::parse(text.toUtf8(), true, &error);
    if (parsed.typeId() != QMetaType::QVariantMap) {
        PLR_LOG_WARN(QStringLiteral("Dropped socket message that is not a JSON object: %1")
                         .arg(text.left(200)));
        return;
    }
    const QVariantMap message = parsed.toMap();
    const QString event = message.value(QStringLiteral("event")).toString();
    if (event == QLatin1String("phx_reply")) {
        PLR_LOG_INFO(QStringLiteral("joined socket: %1").arg(text.left(500)));
        return;
    }
    const QVariant payload = message.value(QStringLiteral("payload"));
    const QVariant post = payload.toMap().value(QStringLiteral("post"));
    QString postId;
    switch (post.typeId()) {
    case QMetaType::QString:
        postId = post.toString();
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
        postId = QString::number(post.toLongLong());
        break;
    default:
        break;
    }
    if (postId.isEmpty()) {
        PLR_LOG_WARN(QStringLiteral("Dropped socket message without a post: %1").arg(text.left(200)));
        return;
    }
    // A copy: a delegate may add or remove delegates while it handles the event.
    const QList<PLRWebServiceHostRealTimeDelegate*> delegates = m_postMessageDelegates.value(postId);
    for (PLRWebServiceHostRealTimeDelegate* delegate : delegates) {
        // Skip one that left (or died) during this delivery.
        if (m_postMessageDelegates.value(postId).contains(delegate))
            delegate->webServiceHost(this, event, payload);
    }
}

void PLRWebServiceHost::addMessageDelegate(PLRWebServiceHostRealTimeDelegate* delegate,
                                           const QString& postId)
{
    if (!delegate || postId.isEmpty())
        return;
    QList<PLRWebServiceHostRealTimeDelegate*>& set = m_postMessageDelegates[postId];
    if (!set.contains(delegate))
        set.append(delegate);
}

void PLRWebServiceHost::removeMessageDelegate(PLRWebServiceHostRealTimeDelegate* delegate)
{
    for (auto it = m_postMessageDelegates.begin(); it != m_postMessageDelegates.end(); ++it)
        it->removeAll(delegate);
}

QList<PLRWebServiceHostRealTimeDelegate*> PLRWebServiceHost::messageDelegatesForPostId(const QString& postId) const
{
    return m_postMessageDelegates.value(postId);
}

void PLRWebServiceHost::forgetDelegateEverywhere(PLRWebServiceHostRealTimeDelegate* delegate)
{
    for (PLRWebServiceHost* host : liveHosts())
        host->removeMessageDelegate(delegate);
}

void PLRWebServiceHost::delaySendPing()
{
    if (m_webSocket && m_webSocket->state() == QAbstractSocket::ConnectedState)
        m_webSocket->ping();
    m_pingTimer.start(pingInterval());
}
