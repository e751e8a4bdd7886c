#pragma once

#include "DevStore.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>
#include <QWebSocketServer>

#include <functional>
#include <memory>
#include <vector>

class QHttpServerRequest;

// Accepts connections on one address and sorts them by their first request: web-socket
// upgrades go to the web-socket server, everything else to the HTTP server. (The HTTP server
// of this Qt version does not hand upgrades over by itself.)
class DevListener : public QTcpServer {
    Q_OBJECT

public:
    using Sink = std::function<void(QTcpSocket* socket, bool webSocketUpgrade)>;
    explicit DevListener(Sink sink, QObject* parent = nullptr) : QTcpServer(parent), m_sink(std::move(sink)) {}

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    Sink m_sink;
};

// The HTTP server takes the sorted connections from here. It listens (the HTTP server only
// takes connections from a listening server) on a loopback port nobody is told of, and turns
// away anything that connects to that port directly.
class DevHttpRelay : public QTcpServer {
    Q_OBJECT

public:
    using QTcpServer::QTcpServer;
    void hand(QTcpSocket* socket);

protected:
    void incomingConnection(qintptr descriptor) override;
};

// One request as the handlers see it.
struct DevRequest {
    QByteArray method;            // "GET", "POST", ...
    QString path;
    QUrlQuery query;
    QHash<QByteArray, QByteArray> headers;   // lower-case names
    QByteArray body;
    QJsonValue json;              // the parsed body; Undefined when absent or not JSON
    bool bodyIsJson = false;
    QStringList captures;         // the route pattern's captured groups

    QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
    QString bearerToken() const;
};

// One answer.
struct DevResponse {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    bool dropConnection = false;  // close the connection without answering

    static DevResponse json(const QJsonValue& value, int status = 200);
    // {"code": code, "error": text} (no "error" member when text is empty).
    static DevResponse serviceError(int status, int code, const QString& text = QString());
    static DevResponse text(const QByteArray& body, int status = 200,
                            const QByteArray& contentType = "text/plain; charset=utf-8");
};

// The development service: HTTP routes, a web socket at /socket/websocket on the same port, the
// request log and the scripted answers of the control interface.
class DevServer : public QAbstractHttpServer {
    Q_OBJECT

public:
    using Handler = std::function<DevResponse(const DevRequest&)>;

    explicit DevServer(DevStore& store, QObject* parent = nullptr);
    ~DevServer() override;

    // Listens on the loopback addresses; port 0 picks a free one. Answers the port, 0 on failure.
    quint16 start(quint16 port);
    quint16 port() const { return m_port; }

    DevStore& store() { return m_store; }

    // Adds a route: method and a path pattern (a regular expression matched against the whole
    // path; its groups become DevRequest::captures). Later routes do not override earlier ones.
    void route(const QByteArray& method, const QString& pattern, Handler handler);

    // The user of the request's bearer token, or null (and *denied set to a 401 answer).
    const DevStore::User* authenticate(const DevRequest& request, DevResponse* denied) const;

    // ---- control ----
    struct Script {
        QString path;
        QByteArray method;        // empty: any
        bool prefix = false;      // matches every path that begins with `path`
        int remaining = 1;
        int delayMs = 0;
        // None: the request is handled after the delay (when its client is still there).
        std::optional<DevResponse> response;
    };
    void addScript(Script script) { m_scripts.push_back(std::move(script)); }
    void clearScripts() { m_scripts.clear(); }
    QJsonArray requestLog(const QString& pathFilter) const;
    void clearRequestLog() { m_requestLog = QJsonArray(); }
    // After `afterMs`: closes the listeners and every connection (also those that have not
    // sent a request yet), and listens again after `durationMs` (a negative time: only once
    // comeUp() is called).
    void goDown(int durationMs, int afterMs = 0);
    // Listens again now, also when the going down is still to come (it is called off).
    void comeUp();
    // Sends the text to every open socket; answers how many got it.
    int pushToSockets(const QString& text);
    // Sends the text to the open sockets of one user (those opened with the user's token).
    int pushToUser(const QString& userId, const QString& text);
    // Sends support's message to every chat page connected to /support/socket; answers how
    // many got it.
    int pushToChatPages(const QString& text);
    int socketCount() const;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Route {
        QByteArray method;
        QRegularExpression pattern;
        Handler handler;
    };
    DevResponse dispatch(DevRequest& request);
    void respond(const QHttpServerRequest& request, QPointer<QTcpSocket> socket, const DevResponse& response);
    void acceptWebSocket();
    bool listenAll();
    void sort(QTcpSocket* socket, bool webSocketUpgrade);

    DevStore& m_store;
    std::vector<Route> m_routes;
    std::vector<Script> m_scripts;
    QJsonArray m_requestLog;
    std::vector<std::unique_ptr<DevListener>> m_listeners;
    DevHttpRelay* m_relay = nullptr;
    QWebSocketServer m_webSocketServer;
    QList<QPointer<QTcpSocket>> m_clients;   // every connection sorted so far (null once freed)
    QTimer m_goDownTimer;
    QTimer m_comeUpTimer;
    std::vector<std::unique_ptr<QWebSocket>> m_webSockets;
    QHash<QWebSocket*, QString> m_socketUsers;
    std::vector<std::unique_ptr<QWebSocket>> m_chatSockets;   // the chat pages
    quint16 m_port = 0;
};

// Route groups: one file per resource group under routes/, each registering itself with
//
//   DEV_ROUTE_GROUP(registerPostRoutes)
//   {
//       server.route("GET", QStringLiteral("/api/me/posts"), ...);
//   }
//
// registerAllRoutes() adds every group (in the order of their names).
using DevRouteGroup = void (*)(DevServer& server);
struct DevRouteGroupRegistrar {
    DevRouteGroupRegistrar(const char* name, DevRouteGroup group);
};
void registerAllRoutes(DevServer& server);

#define DEV_ROUTE_GROUP(name)                                                    \
    static void name(DevServer& server);                                         \
    static const DevRouteGroupRegistrar name##Registrar(#name, &name);           \
    static void name(DevServer& server)
