#include "DevServer.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QTimer>

#include <algorithm>
#include <map>

namespace {

QByteArray methodName(QHttpServerRequest::Method method)
{
    using M = QHttpServerRequest::Method;
    switch (method) {
    case M::Get: return "GET";
    case M::Put: return "PUT";
    case M::Delete: return "DELETE";
    case M::Post: return "POST";
    case M::Head: return "HEAD";
    case M::Options: return "OPTIONS";
    case M::Patch: return "PATCH";
    case M::Connect: return "CONNECT";
    case M::Trace: return "TRACE";
    default: return "UNKNOWN";
    }
}

QJsonValue loggedBody(const DevRequest& request)
{
    if (request.body.isEmpty())
        return QJsonValue::Null;
    if (request.bodyIsJson)
        return request.json;
    const QByteArray head = request.body.left(4096);
    const QString text = QString::fromUtf8(head);
    // Photo bytes and other binary bodies are logged by their size only.
    if (text.contains(QChar::ReplacementCharacter) || head.contains('\0'))
        return QStringLiteral("<%1 bytes>").arg(request.body.size());
    return text;
}

} // namespace

namespace {
std::map<QByteArray, DevRouteGroup>& routeGroups()
{
    static std::map<QByteArray, DevRouteGroup> groups;
    return groups;
}
} // namespace

DevRouteGroupRegistrar::DevRouteGroupRegistrar(const char* name, DevRouteGroup group)
{
    routeGroups().emplace(QByteArray(name), group);
}

void registerAllRoutes(DevServer& server)
{
    for (const auto& [name, group] : routeGroups())
        group(server);
}

QString DevRequest::bearerToken() const
{
    const QByteArray value = header("authorization");
    if (!value.startsWith("Bearer "))
        return QString();
    return QString::fromUtf8(value.mid(7)).trimmed();
}

DevResponse DevResponse::json(const QJsonValue& value, int status)
{
    DevResponse response;
    response.status = status;
    if (value.isObject())
        response.body = QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    else if (value.isArray())
        response.body = QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    else {
        // A bare value: written inside an array, then unwrapped.
        const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
        response.body = wrapped.mid(1, wrapped.size() - 2);
    }
    return response;
}

DevResponse DevResponse::serviceError(int status, int code, const QString& text)
{
    QJsonObject body{{QStringLiteral("code"), code}};
    if (!text.isEmpty())
        body.insert(QStringLiteral("error"), text);
    return json(body, status);
}

DevResponse DevResponse::text(const QByteArray& body, int status, const QByteArray& contentType)
{
    DevResponse response;
    response.status = status;
    response.body = body;
    response.contentType = contentType;
    return response;
}

void DevListener::incomingConnection(qintptr descriptor)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    // Wait for the whole request head, then look at it without consuming it.
    auto decide = std::make_shared<QMetaObject::Connection>();
    *decide = connect(socket, &QTcpSocket::readyRead, this, [this, socket, decide] {
        const QByteArray head = socket->peek(64 * 1024);
        const qsizetype end = head.indexOf("\r\n\r\n");
        if (end < 0 && head.size() < 64 * 1024)
            return;
        disconnect(*decide);
        static const QRegularExpression upgrade(QStringLiteral("\r\nupgrade:\\s*websocket\\s*\r\n"),
                                                QRegularExpression::CaseInsensitiveOption);
        const bool webSocket = upgrade.match(QString::fromLatin1(head.left(end + 2))).hasMatch();
        m_sink(socket, webSocket);
    });
}

void DevHttpRelay::incomingConnection(qintptr descriptor)
{
    QTcpSocket intruder;
    if (intruder.setSocketDescriptor(descriptor))
        intruder.abort();
}

void DevHttpRelay::hand(QTcpSocket* socket)
{
    socket->setParent(this);
    addPendingConnection(socket);
    Q_EMIT newConnection();
}

DevServer::DevServer(DevStore& store, QObject* parent)
    : QAbstractHttpServer(parent),
      m_store(store),
      m_webSocketServer(QStringLiteral("pellora-devservice"), QWebSocketServer::NonSecureMode)
{
    m_relay = new DevHttpRelay(this);
    if (!m_relay->listen(QHostAddress::LocalHost, 0))
        qWarning("devservice: internal relay cannot listen: %s", qPrintable(m_relay->errorString()));
    bind(m_relay);
    connect(&m_webSocketServer, &QWebSocketServer::newConnection, this, &DevServer::acceptWebSocket);
    m_comeUpTimer.setSingleShot(true);
    connect(&m_comeUpTimer, &QTimer::timeout, this, &DevServer::comeUp);
}

void DevServer::sort(QTcpSocket* socket, bool webSocketUpgrade)
{
    // Guarded, not followed by their destroyed(): one handed to the web-socket server is freed
    // by the web socket made of it, which cuts every connection of it first.
    m_clients.removeIf([](const QPointer<QTcpSocket>& client) { return client.isNull(); });
    if (!m_clients.contains(socket))
        m_clients.append(socket);
    if (webSocketUpgrade) {
        socket->setParent(nullptr);
        m_webSocketServer.handleConnection(socket);
    } else {
        m_relay->hand(socket);
    }
    // The request is already buffered: let its new owner read it.
    QMetaObject::invokeMethod(socket, &QTcpSocket::readyRead, Qt::QueuedConnection);
}

DevServer::~DevServer()
{
    // Connections still open at the end report their going (a web socket's disconnected(), a
    // connection's destroyed()) while this object's members are already gone: cut those reports
    // first, then close everything while the members still stand.
    for (auto& listener : m_listeners)
        listener->close();
    for (const QPointer<QTcpSocket>& client : std::as_const(m_clients))
        if (client)
            QObject::disconnect(client, nullptr, this, nullptr);
    m_clients.clear();
    for (auto& webSocket : m_webSockets) {
        webSocket->disconnect(this);
        webSocket->abort();
    }
    m_webSockets.clear();
    m_socketUsers.clear();
    m_webSocketServer.disconnect(this);
    m_webSocketServer.close();
    m_listeners.clear();
}

bool DevServer::listenAll()
{
    m_listeners.clear();
    auto sink = [this](QTcpSocket* socket, bool webSocket) { sort(socket, webSocket); };
    auto v4 = std::make_unique<DevListener>(sink);
    if (!v4->listen(QHostAddress::LocalHost, m_port)) {
        qWarning("devservice: cannot listen on 127.0.0.1:%u: %s", m_port, qPrintable(v4->errorString()));
        return false;
    }
    m_port = v4->serverPort();
    m_listeners.push_back(std::move(v4));
    // "localhost" may resolve to ::1 first; answer there too when the machine has IPv6.
    auto v6 = std::make_unique<DevListener>(sink);
    if (v6->listen(QHostAddress::LocalHostIPv6, m_port))
        m_listeners.push_back(std::move(v6));
    return true;
}

quint16 DevServer::start(quint16 port)
{
    m_port = port;
    return listenAll() ? m_port : 0;
}

void DevServer::route(const QByteArray& method, const QString& pattern, Handler handler)
{
    m_routes.push_back(Route{method, QRegularExpression(QRegularExpression::anchoredPattern(pattern)),
                             std::move(handler)});
}

const DevStore::User* DevServer::authenticate(const DevRequest& request, DevResponse* denied) const
{
    const QString token = request.bearerToken();
    const std::optional<QString> userId = token.isEmpty() ? std::nullopt : m_store.userIdForToken(token);
    const DevStore::User* user = userId ? m_store.userById(*userId) : nullptr;
    if (!user && denied)
        *denied = DevResponse::serviceError(401, 10000, QStringLiteral("Token expired or invalid"));
    return user;
}

bool DevServer::handleRequest(const QHttpServerRequest& httpRequest, QTcpSocket* socket)
{
    DevRequest request;
    request.method = methodName(httpRequest.method());
    request.path = httpRequest.url().path();
    request.query = httpRequest.query();
    for (const auto& [name, value] : httpRequest.headers())
        request.headers.insert(name.toLower(), value);
    request.body = httpRequest.body();
    if (!request.body.isEmpty()) {
        QJsonParseError error;
        // Bare values are accepted as the service's clients send them.
        const QJsonDocument document = QJsonDocument::fromJson("[" + request.body + "]", &error);
        if (error.error == QJsonParseError::NoError && document.array().size() == 1) {
            request.json = document.array().at(0);
            request.bodyIsJson = true;
        }
    }

    const bool control = request.path.startsWith(QLatin1String("/__control/"));
    std::optional<DevResponse> scripted;
    int delayMs = 0;
    if (!control) {
        QJsonObject entry{{QStringLiteral("method"), QString::fromLatin1(request.method)},
                          {QStringLiteral("path"), request.path},
                          {QStringLiteral("query"), request.query.toString(QUrl::FullyDecoded)},
                          {QStringLiteral("authorization"), QString::fromUtf8(request.header("authorization"))},
                          {QStringLiteral("content_type"), QString::fromUtf8(request.header("content-type"))},
                          {QStringLiteral("body"), loggedBody(request)},
                          {QStringLiteral("body_size"), int(request.body.size())}};
        m_requestLog.append(entry);
        for (auto it = m_scripts.begin(); it != m_scripts.end(); ++it) {
            const bool pathMatches = it->prefix ? request.path.startsWith(it->path) : it->path == request.path;
            if (!pathMatches || (!it->method.isEmpty() && it->method != request.method))
                continue;
            scripted = it->response;
            delayMs = it->delayMs;
            if (--it->remaining <= 0)
                m_scripts.erase(it);
            break;
        }
    }

    QPointer<QTcpSocket> guarded(socket);
    if (delayMs > 0) {
        // The request object lives as long as its connection; both are checked when answering.
        // A delay without a scripted answer handles the request only then, as a slow service
        // would, and not at all when the client has given up by then.
        const QHttpServerRequest* pending = &httpRequest;
        QTimer::singleShot(delayMs, this, [this, pending, guarded, scripted, request]() mutable {
            if (!guarded)
                return;
            respond(*pending, guarded, scripted ? *scripted : dispatch(request));
        });
    } else {
        respond(httpRequest, guarded, scripted ? *scripted : dispatch(request));
    }
    return true;
}

void DevServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    respond(request, socket, DevResponse::serviceError(404, 102, QStringLiteral("Not found")));
}

DevResponse DevServer::dispatch(DevRequest& request)
{
    bool pathKnown = false;
    for (const Route& route : m_routes) {
        const QRegularExpressionMatch match = route.pattern.match(request.path);
        if (!match.hasMatch())
            continue;
        pathKnown = true;
        if (route.method != request.method)
            continue;
        request.captures = match.capturedTexts().mid(1);
        return route.handler(request);
    }
    if (pathKnown)
        return DevResponse::serviceError(405, 100, QStringLiteral("Method not allowed"));
    return DevResponse::serviceError(404, 102, QStringLiteral("Not found"));
}

void DevServer::respond(const QHttpServerRequest& request, QPointer<QTcpSocket> socket,
                        const DevResponse& response)
{
    if (!socket)
        return;
    if (response.dropConnection) {
        socket->abort();
        return;
    }
    QHttpServerResponder responder = makeResponder(request, socket);
    const auto status = static_cast<QHttpServerResponder::StatusCode>(response.status);
    if (response.body.isEmpty())
        responder.write(status);
    else
        responder.write(response.body, response.contentType, status);
}

QJsonArray DevServer::requestLog(const QString& pathFilter) const
{
    if (pathFilter.isEmpty())
        return m_requestLog;
    QJsonArray filtered;
    for (const QJsonValue& entry : m_requestLog) {
        if (entry.toObject().value(QStringLiteral("path")).toString() == pathFilter)
            filtered.append(entry);
    }
    return filtered;
}

void DevServer::goDown(int durationMs, int afterMs)
{
    m_comeUpTimer.stop();
    m_goDownTimer.disconnect();
    m_goDownTimer.setSingleShot(true);
    connect(&m_goDownTimer, &QTimer::timeout, this, [this, durationMs] {
        for (auto& listener : m_listeners) {
            listener->close();
            // Connections accepted that have not sent a whole request head yet are still the
            // listener's: they go too, or a client could go on using them while "down".
            for (QTcpSocket* waiting : listener->findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly)) {
                waiting->abort();
                waiting->deleteLater();
            }
        }
        const QList<QPointer<QTcpSocket>> clients = m_clients;
        for (const QPointer<QTcpSocket>& client : clients)
            if (client)
                client->abort();
        std::vector<std::unique_ptr<QWebSocket>> sockets = std::move(m_webSockets);
        m_webSockets.clear();
        for (auto& chatSocket : m_chatSockets)
            sockets.push_back(std::move(chatSocket));
        m_chatSockets.clear();
        m_socketUsers.clear();
        for (auto& webSocket : sockets) {
            webSocket->disconnect(this);
            webSocket->abort();
            webSocket.release()->deleteLater();
        }
        if (durationMs >= 0)
            m_comeUpTimer.start(durationMs);
    });
    m_goDownTimer.start(std::max(0, afterMs));
}

void DevServer::comeUp()
{
    m_goDownTimer.stop();
    m_comeUpTimer.stop();
    for (auto& listener : m_listeners) {
        if (listener->isListening())
            continue;
        const QHostAddress address = listener == m_listeners.front() ? QHostAddress(QHostAddress::LocalHost)
                                                                      : QHostAddress(QHostAddress::LocalHostIPv6);
        if (!listener->listen(address, m_port))
            qWarning("devservice: cannot listen again on port %u: %s", m_port, qPrintable(listener->errorString()));
    }
}

// ---- web socket ----

void DevServer::acceptWebSocket()
{
    while (m_webSocketServer.hasPendingConnections()) {
        std::unique_ptr<QWebSocket> socket(m_webSocketServer.nextPendingConnection());
        if (!socket)
            continue;
        const QUrl url = socket->requestUrl();
        const QString token = QUrlQuery(url).queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded);
        QJsonObject entry{{QStringLiteral("method"), QStringLiteral("WEBSOCKET")},
                          {QStringLiteral("path"), url.path()},
                          {QStringLiteral("query"), url.query(QUrl::FullyDecoded)}};
        m_requestLog.append(entry);
        if (url.path() == QLatin1String("/support/socket")) {
            // A chat page waiting for support's messages (it needs no account).
            QWebSocket* raw = socket.get();
            connect(raw, &QWebSocket::disconnected, this, [this, raw] {
                for (auto it = m_chatSockets.begin(); it != m_chatSockets.end(); ++it) {
                    if (it->get() == raw) {
                        it->release()->deleteLater();
                        m_chatSockets.erase(it);
                        break;
                    }
                }
            });
            m_chatSockets.push_back(std::move(socket));
            continue;
        }
        if (url.path() != QLatin1String("/socket/websocket") || !m_store.userIdForToken(token)) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("invalid token"));
            socket.release()->deleteLater();
            continue;
        }
        QWebSocket* raw = socket.get();
        m_socketUsers.insert(raw, *m_store.userIdForToken(token));
        // Channel joins are acknowledged the way the client expects.
        connect(raw, &QWebSocket::textMessageReceived, this, [raw](const QString& text) {
            const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
            if (message.value(QStringLiteral("event")).toString() != QLatin1String("phx_join"))
                return;
            const QJsonObject reply{{QStringLiteral("event"), QStringLiteral("phx_reply")},
                                    {QStringLiteral("topic"), message.value(QStringLiteral("topic"))},
                                    {QStringLiteral("ref"), message.value(QStringLiteral("ref"))},
                                    {QStringLiteral("payload"),
                                     QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")},
                                                 {QStringLiteral("response"), QJsonObject()}}}};
            raw->sendTextMessage(QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact)));
        });
        connect(raw, &QWebSocket::disconnected, this, [this, raw] {
            for (auto it = m_webSockets.begin(); it != m_webSockets.end(); ++it) {
                if (it->get() == raw) {
                    m_socketUsers.remove(raw);
                    it->release()->deleteLater();
                    m_webSockets.erase(it);
                    break;
                }
            }
        });
        m_webSockets.push_back(std::move(socket));
    }
}

int DevServer::pushToSockets(const QString& text)
{
    int sent = 0;
    for (auto& socket : m_webSockets) {
        if (socket->state() == QAbstractSocket::ConnectedState) {
            socket->sendTextMessage(text);
            ++sent;
        }
    }
    return sent;
}

int DevServer::pushToUser(const QString& userId, const QString& text)
{
    int sent = 0;
    for (auto& socket : m_webSockets) {
        if (socket->state() == QAbstractSocket::ConnectedState && m_socketUsers.value(socket.get()) == userId) {
            socket->sendTextMessage(text);
            ++sent;
        }
    }
    return sent;
}

int DevServer::pushToChatPages(const QString& text)
{
    int sent = 0;
    for (auto& socket : m_chatSockets) {
        if (socket->state() == QAbstractSocket::ConnectedState) {
            socket->sendTextMessage(text);
            ++sent;
        }
    }
    return sent;
}

int DevServer::socketCount() const
{
    int count = 0;
    for (const auto& socket : m_webSockets) {
        if (socket->state() == QAbstractSocket::ConnectedState)
            ++count;
    }
    return count;
}
