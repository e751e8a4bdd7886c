#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

#include <functional>

class QTcpSocket;

namespace testing_support {

// An HTTP/1.1 peer on loopback for the tests that stand in for a slow, flooding or lying host:
// it reads each request whole (its head, then a body of its Content-Length; several in turn on
// a kept-alive connection) and hands it to the test, which answers on the socket as it likes.
// The connections are the host's children and go with it.
class LoopbackHost : public QObject {
public:
    struct Request {
        QByteArray head;   // request line and header lines, without the blank line
        QByteArray body;
        // The request line's target ("/path?query").
        QByteArray target() const { return head.split(' ').value(1); }
    };
    using Handler = std::function<void(QTcpSocket* socket, const Request& request)>;

    explicit LoopbackHost(Handler handler);
    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString& path) const;
    // The connections accepted so far.
    int connections() const { return m_connections; }

private:
    QTcpServer m_server;
    Handler m_handler;
    int m_connections = 0;
};

} // namespace testing_support
