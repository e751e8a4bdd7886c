// The development service stops cleanly on SIGTERM whatever its clients still hold open.

#include "DevService.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QTcpSocket>
#include <QWebSocket>

using testing_support::DevService;

namespace {

// An HTTP/1.1 connection that stays open after its answer.
bool keepAliveRequest(QTcpSocket& connection, quint16 port)
{
    connection.connectToHost(QHostAddress::LocalHost, port);
    if (!connection.waitForConnected(3000))
        return false;
    connection.write("GET /core/health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: keep-alive\r\n\r\n");
    QByteArray answer;
    testing_support::waitUntil([&] {
        answer += connection.readAll();
        return answer.contains("\r\n\r\n");
    });
    return answer.startsWith("HTTP/1.1 200") && connection.state() == QAbstractSocket::ConnectedState;
}

} // namespace

TEST(DevServiceShutdown, EndsCleanlyWhileClientsHoldTheirConnections)
{
    struct Case {
        const char* name;
        bool http;
        bool webSocket;
    };
    for (const Case& held : {Case{"nothing", false, false}, Case{"keep-alive", true, false},
                             Case{"web socket", false, true}, Case{"both", true, true}}) {
        SCOPED_TRACE(held.name);
        DevService service;
        ASSERT_TRUE(service.start());
        QTcpSocket connection;
        QWebSocket webSocket;
        if (held.http) {
            ASSERT_TRUE(keepAliveRequest(connection, service.port()));
        }
        if (held.webSocket) {
            const QString token = service.tokenFor(DevService::demoEmail());
            webSocket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/socket/websocket?token=%2").arg(service.port()).arg(token)));
            ASSERT_TRUE(testing_support::waitUntil([&] { return webSocket.state() == QAbstractSocket::ConnectedState; }));
            ASSERT_EQ(service.openSockets(), 1);
        }

        QString report;
        EXPECT_TRUE(service.terminate(&report)) << qPrintable(report);
        // The clients learn that the service went away.
        if (held.http) {
            EXPECT_TRUE(testing_support::waitUntil([&] {
                connection.readAll();
                return connection.state() == QAbstractSocket::UnconnectedState;
            }));
        }
        if (held.webSocket) {
            EXPECT_TRUE(testing_support::waitUntil([&] { return webSocket.state() == QAbstractSocket::UnconnectedState; }));
        }
    }
}

// Down means down: every connection goes, also one that has not sent a whole request yet (a
// client must not get answers from a service that is away), and nothing is answered until the
// service is brought back.
TEST(DevServiceGoingDown, DropsEveryConnectionAndComesBackWhenAsked)
{
    DevService service;
    ASSERT_TRUE(service.start());
    QTcpSocket answered;
    ASSERT_TRUE(keepAliveRequest(answered, service.port()));
    QTcpSocket waiting;
    waiting.connectToHost(QHostAddress::LocalHost, service.port());
    ASSERT_TRUE(waiting.waitForConnected(3000));
    waiting.write("GET /core/health HTTP/1.1\r\n");
    ASSERT_TRUE(waiting.waitForBytesWritten(3000));

    service.goDown();
    ASSERT_TRUE(service.waitUntilDown());
    for (QTcpSocket* connection : {&answered, &waiting}) {
        EXPECT_TRUE(testing_support::waitUntil([&] {
            connection->readAll();
            return connection->state() == QAbstractSocket::UnconnectedState;
        })) << (connection == &waiting ? "waiting" : "answered");
    }
    // Still down a while later, until asked to come back.
    EXPECT_TRUE(testing_support::holdsFor([&] { return !service.waitUntilUp(0); }, 300));
    ASSERT_TRUE(service.comeBackUp());
    QTcpSocket again;
    EXPECT_TRUE(keepAliveRequest(again, service.port()));
}

// Web-socket clients that connected and left (the publisher's socket, the chat page's) leave
// nothing behind that a stop or a going down would touch: the service goes down and comes back,
// and a stop ends it cleanly.
TEST(DevServiceShutdown, EndsCleanlyAfterWebSocketClientsConnectedAndLeft)
{
    for (const bool goDownFirst : {false, true}) {
        SCOPED_TRACE(goDownFirst ? "down, up, then stopped" : "stopped");
        DevService service;
        ASSERT_TRUE(service.start());
        const QString token = service.tokenFor(DevService::demoEmail());
        for (const QString& path : {QStringLiteral("/socket/websocket?token=") + token, QStringLiteral("/support/socket")}) {
            SCOPED_TRACE(path.toStdString());
            QWebSocket webSocket;
            webSocket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(service.port()).arg(path)));
            ASSERT_TRUE(testing_support::waitUntil([&] { return webSocket.state() == QAbstractSocket::ConnectedState; }));
            webSocket.close();
            ASSERT_TRUE(testing_support::waitUntil([&] { return webSocket.state() == QAbstractSocket::UnconnectedState; }));
        }
        // The service has seen both go (a control request is answered after their closing).
        ASSERT_TRUE(testing_support::waitUntil([&] { return service.openSockets() == 0; }));
        testing_support::drainEvents();
        if (goDownFirst) {
            service.goDown();
            ASSERT_TRUE(service.waitUntilDown());
            ASSERT_TRUE(service.isRunning());
            ASSERT_TRUE(service.comeBackUp());
        }
        QString report;
        EXPECT_TRUE(service.terminate(&report)) << qPrintable(report);
    }
}
