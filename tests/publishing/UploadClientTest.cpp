// The photo upload client: bodies streamed from files over kept-alive connections with Nagle's
// delay off, answers of every framing, time-outs and connections the service closed.
#include "TestSupport.h"

#include "platform/Clock.h"

#include "publishing/publish/PLRUploadClient.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// A small HTTP/1.1 service on loopback: reads each request (head and Content-Length body) and
// answers as told.
class TinyService : public QObject {
public:
    enum class Answer { KeepAlive, Chunked, CloseDelimited, CloseAfter, Never, Raw };
    Answer answer = Answer::KeepAlive;
    // Answer::Raw: these pieces, written one per event-loop turn.
    QList<QByteArray> rawPieces;
    QList<QByteArray> bodies;
    QList<QByteArray> targets;
    int accepted = 0;

    TinyService()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++accepted;
                auto buffer = std::make_shared<QByteArray>();
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    *buffer += socket->readAll();
                    while (true) {
                        const qsizetype end = buffer->indexOf("\r\n\r\n");
                        if (end < 0)
                            return;
                        const QByteArray head = buffer->left(end);
                        qint64 length = 0;
                        for (const QByteArray& line : head.split('\n'))
                            if (line.toLower().startsWith("content-length:"))
                                length = line.mid(15).trimmed().toLongLong();
                        if (buffer->size() < end + 4 + length)
                            return;
                        targets << head.split(' ').value(1);
                        bodies << buffer->mid(end + 4, length);
                        buffer->remove(0, end + 4 + length);
                        respond(socket);
                    }
                });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString& path) const { return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path)); }

private:
    void respond(QTcpSocket* socket)
    {
        switch (answer) {
        case Answer::KeepAlive: socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"); break;
        case Answer::Chunked:
            socket->write("HTTP/1.1 201 Created\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2;x=y\r\nde\r\n0\r\n\r\n");
            break;
        case Answer::CloseDelimited:
            socket->write("HTTP/1.1 500 Internal Server Error\r\n\r\nbroken");
            socket->disconnectFromHost();
            break;
        case Answer::CloseAfter:
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
            socket->disconnectFromHost();
            break;
        case Answer::Never: break;
        case Answer::Raw: writePieces(socket, rawPieces); break;
        }
    }
    static void writePieces(QPointer<QTcpSocket> socket, QList<QByteArray> pieces)
    {
        if (!socket || pieces.isEmpty())
            return;
        socket->write(pieces.takeFirst());
        socket->flush();
        QTimer::singleShot(0, socket, [socket, pieces] { writePieces(socket, pieces); });
    }
    QTcpServer m_server;
};

struct Outcome {
    bool done = false;
    PLRUploadClient::Result result;
};

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

QByteArray photoBytes(int size, int seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 31 + seed * 7) & 0xff);
    return bytes;
}

} // namespace

TEST(UploadClient, StreamsFilesOverSixKeptConnectionsWithoutNaglesDelay)
{
    TinyService service;
    QTemporaryDir dir;
    PLRUploadClient client;
    QList<QByteArray> sent;
    std::vector<Outcome> outcomes(14);
    for (int i = 0; i < 14; ++i) {
        // Bodies far larger than what the client keeps in a socket's buffer.
        sent << photoBytes(700 * 1024 + i, i);
        const QString path = writeFile(dir, QStringLiteral("p%1.jpg").arg(i), sent.last());
        client.put(service.url(QStringLiteral("/uploads/t%1?sig=a%2Fb").arg(i)), path,
                   [&outcomes, i](const PLRUploadClient::Result& result) { outcomes[size_t(i)] = {true, result}; }, 10000);
    }
    int lowDelayChecked = 0;
    ASSERT_TRUE(testing_support::waitUntil([&] {
        lowDelayChecked = std::max(lowDelayChecked, client.connectionsWithLowDelay());
        return std::all_of(outcomes.begin(), outcomes.end(), [](const Outcome& o) { return o.done; });
    }, 20000));
    for (const Outcome& outcome : outcomes) {
        EXPECT_FALSE(outcome.result.transport.isValid()) << outcome.result.transport.toString().toStdString();
        EXPECT_EQ(outcome.result.status, 200);
        EXPECT_EQ(outcome.result.body, "ok");
    }
    ASSERT_EQ(service.bodies.size(), 14);
    QSet<QByteArray> received(service.bodies.begin(), service.bodies.end());
    EXPECT_EQ(received, QSet<QByteArray>(sent.begin(), sent.end()));
    EXPECT_TRUE(service.targets.contains("/uploads/t3?sig=a%2Fb"));
    // Six connections, each kept for several requests, each with the delay off.
    EXPECT_EQ(service.accepted, 6);
    EXPECT_EQ(client.connectionsOpened(), 6);
    EXPECT_GE(lowDelayChecked, 1);
    EXPECT_EQ(client.connectionsWithLowDelay(), client.openConnections());
    EXPECT_EQ(client.runningTasks(), 0);
}

TEST(UploadClient, ReadsEveryAnswerFramingAndSendsAgainOnAClosedKeptConnection)
{
    TinyService service;
    QTemporaryDir dir;
    const QString path = writeFile(dir, "p.jpg", photoBytes(5000, 1));
    PLRUploadClient client(1);
    auto putOne = [&](const QString& target) {
        Outcome outcome;
        client.put(service.url(target), path, [&outcome](const PLRUploadClient::Result& result) { outcome = {true, result}; },
                   5000);
        EXPECT_TRUE(testing_support::waitUntil([&] { return outcome.done; }, 5000));
        return outcome.result;
    };
    service.answer = TinyService::Answer::Chunked;
    PLRUploadClient::Result result = putOne("/a");
    EXPECT_EQ(result.status, 201);
    EXPECT_EQ(result.body, "abcde");
    // An answer that runs to the end of the connection.
    service.answer = TinyService::Answer::CloseDelimited;
    result = putOne("/b");
    EXPECT_FALSE(result.transport.isValid());
    EXPECT_EQ(result.status, 500);
    EXPECT_EQ(result.body, "broken");
    // The service closes a connection after answering: the next request goes on a new one.
    service.answer = TinyService::Answer::CloseAfter;
    EXPECT_EQ(putOne("/c").status, 200);
    testing_support::drainEvents();
    EXPECT_EQ(putOne("/d").status, 200);
    EXPECT_EQ(service.bodies.size(), 4);
}

TEST(UploadClient, TimesOutRefusedConnectionsAndUnreadableFilesAreErrors)
{
    TinyService service;
    service.answer = TinyService::Answer::Never;
    QTemporaryDir dir;
    const QString path = writeFile(dir, "p.jpg", photoBytes(1000, 2));
    platform::ManualClock& clock = platform::ManualClock::install();
    PLRUploadClient client;
    Outcome silent;
    client.put(service.url("/slow"), path, [&](const PLRUploadClient::Result& r) { silent = {true, r}; }, 300);
    // Sent in full, then no answer: the time-out counts from the last step of the request.
    ASSERT_TRUE(testing_support::waitUntil([&] { return service.bodies.size() == 1; }, 5000));
    testing_support::drainEvents();
    clock.advance(0.299);
    testing_support::drainEvents();
    EXPECT_FALSE(silent.done);
    clock.advance(0.001);
    ASSERT_TRUE(testing_support::waitUntil([&] { return silent.done; }, 5000));
    EXPECT_EQ(silent.result.transport.code, platform::urlerror::TimedOut);

    // Nobody listening.
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 port = closed.serverPort();
    closed.close();
    Outcome refused;
    client.put(QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(port)), path,
               [&](const PLRUploadClient::Result& r) { refused = {true, r}; }, 3000);
    ASSERT_TRUE(testing_support::waitUntil([&] { return refused.done; }, 5000));
    EXPECT_EQ(refused.result.transport.code, platform::urlerror::CannotConnectToHost);

    // A file that is gone, and a cancelled request that never answers.
    service.answer = TinyService::Answer::KeepAlive;
    Outcome missing;
    client.put(service.url("/gone"), dir.filePath("gone.jpg"), [&](const PLRUploadClient::Result& r) { missing = {true, r}; }, 3000);
    ASSERT_TRUE(testing_support::waitUntil([&] { return missing.done; }, 5000));
    EXPECT_TRUE(missing.result.transport.isValid());
    bool called = false;
    const quint64 task = client.put(service.url("/cancelled"), path, [&](const PLRUploadClient::Result&) { called = true; }, 3000);
    client.cancel(task);
    clock.advance(3.0);
    testing_support::drainEvents();
    EXPECT_FALSE(called);
}

// A chunked answer is read as it arrives, whatever the pieces it comes in, and its body is
// bounded as a whole, not only chunk by chunk.
TEST(UploadClient, ChunkedAnswersAreDecodedAsTheyArriveAndBoundedAsAWhole)
{
    TinyService service;
    QTemporaryDir dir;
    const QString path = writeFile(dir, "p.jpg", photoBytes(3000, 3));
    PLRUploadClient client(1);
    auto putOne = [&](const QList<QByteArray>& pieces) {
        service.answer = TinyService::Answer::Raw;
        service.rawPieces = pieces;
        Outcome outcome;
        client.put(service.url("/u"), path, [&outcome](const PLRUploadClient::Result& result) { outcome = {true, result}; },
                   5000);
        EXPECT_TRUE(testing_support::waitUntil([&] { return outcome.done; }, 10000));
        return outcome.result;
    };

    // Split inside the size lines, the data, the line ends and the trailer.
    const QByteArray framed = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                              "5\r\nhello\r\n1;ext=1\r\n \r\nA\r\n0123456789\r\n0\r\nX-Trailer: t\r\n\r\n";
    QList<QByteArray> bytes;
    for (char byte : framed)
        bytes << QByteArray(1, byte);
    PLRUploadClient::Result result = putOne(bytes);
    EXPECT_FALSE(result.transport.isValid()) << result.transport.toString().toStdString();
    EXPECT_EQ(result.body, "hello 0123456789");
    // The connection is kept and the next answer starts afresh on it.
    result = putOne({"HTTP/1.1 201 Created\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n"});
    EXPECT_EQ(result.status, 201);
    EXPECT_EQ(result.body, "ok");
    EXPECT_EQ(client.connectionsOpened(), 1);

    // Four chunks of 1 MiB fit (4 MiB in all); a fifth chunk, however small, is too much.
    const QByteArray mebibyte(1024 * 1024, 'x');
    QList<QByteArray> fits{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"};
    for (int i = 0; i < 4; ++i)
        fits << "100000\r\n" + mebibyte + "\r\n";
    QList<QByteArray> tooLong = fits;
    fits << "0\r\n\r\n";
    tooLong << "1\r\nx\r\n" << "0\r\n\r\n";
    result = putOne(fits);
    EXPECT_FALSE(result.transport.isValid());
    EXPECT_EQ(result.body.size(), 4 * 1024 * 1024);
    result = putOne(tooLong);
    EXPECT_EQ(result.transport.code, platform::urlerror::BadServerResponse);
    EXPECT_TRUE(result.body.isEmpty());

    // Endless trailers and a size line that never ends are refused too.
    QList<QByteArray> trailers{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n"};
    for (int i = 0; i < 100; ++i)
        trailers << "X-Padding: " + QByteArray(1000, 'p') + "\r\n";
    EXPECT_EQ(putOne(trailers).transport.code, platform::urlerror::BadServerResponse);
    EXPECT_EQ(putOne({"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1" + QByteArray(8000, '0')})
                  .transport.code,
              platform::urlerror::BadServerResponse);
}
