// The photo upload client: bodies streamed from files over kept-alive connections with Nagle's
// delay off, answers of every framing, time-outs and connections the service closed.
#include "LoopbackHost.h"
#include "TestSupport.h"

#include "platform/Clock.h"

#include "publishing/publish/PLRUploadClient.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTcpSocket>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// A small HTTP/1.1 service on loopback: reads each request (head and Content-Length body) and
// answers as told.
class TinyService : public testing_support::LoopbackHost {
public:
    enum class Answer { KeepAlive, Chunked, CloseDelimited, CloseAfter, Never, Raw, Custom };
    Answer answer = Answer::KeepAlive;
    // Answer::Raw: these pieces, written one per event-loop turn.
    QList<QByteArray> rawPieces;
    // Answer::Custom: called with the connection and the request's number (from 0).
    std::function<void(QTcpSocket*, int)> custom;
    QList<QByteArray> bodies;
    QList<QByteArray> targets;

    TinyService()
        : LoopbackHost([this](QTcpSocket* socket, const Request& request) {
              targets << request.target();
              bodies << request.body;
              respond(socket);
          })
    {
    }

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
        case Answer::Custom: custom(socket, int(bodies.size()) - 1); break;
        }
    }

public:
    static void writePieces(QPointer<QTcpSocket> socket, QList<QByteArray> pieces)
    {
        if (!socket || pieces.isEmpty())
            return;
        socket->write(pieces.takeFirst());
        socket->flush();
        QTimer::singleShot(0, socket, [socket, pieces] { writePieces(socket, pieces); });
    }

};

// A host that answers some requests as soon as their first bytes arrive and from then on reads
// nothing more of that connection (what the client sends stays in the network's buffers); the
// others it reads whole before answering.
class HastyHost : public QObject {
public:
    struct Reply {
        QByteArray answer;
        bool early = false;
    };
    // The reply to a request, by the connection's and the request's numbers (both from 0).
    std::function<Reply(int connection, int request)> plan;
    QList<QByteArray> bodies;   // of the requests read whole
    int connections = 0;

    HastyHost()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                const int connection = connections++;
                auto buffer = std::make_shared<QByteArray>();
                auto requests = std::make_shared<int>(0);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket, connection, buffer, requests] {
                    *buffer += socket->readAll();
                    while (!buffer->isEmpty()) {
                        const Reply reply = plan(connection, *requests);
                        if (reply.early) {
                            socket->write(reply.answer);
                            socket->flush();
                            socket->setReadBufferSize(1);
                            QObject::disconnect(socket, &QTcpSocket::readyRead, socket, nullptr);
                            return;
                        }
                        const qsizetype end = buffer->indexOf("\r\n\r\n");
                        if (end < 0)
                            return;
                        qint64 length = 0;
                        for (const QByteArray& line : buffer->left(end).split('\n'))
                            if (line.toLower().startsWith("content-length:"))
                                length = line.mid(15).trimmed().toLongLong();
                        if (buffer->size() < end + 4 + length)
                            return;
                        bodies << buffer->mid(end + 4, length);
                        buffer->remove(0, end + 4 + length);
                        ++*requests;
                        socket->write(reply.answer);
                    }
                });
            }
        });
    }
    QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }

private:
    QTcpServer m_server;
};

struct Outcome {
    bool done = false;
    PLRUploadClient::Result result;
};

// One upload to the service answered with these raw pieces, written one per event-loop turn.
PLRUploadClient::Result putAnsweredWith(TinyService& service, PLRUploadClient& client, const QString& path,
                                        const QList<QByteArray>& pieces)
{
    service.answer = TinyService::Answer::Raw;
    service.rawPieces = pieces;
    Outcome outcome;
    client.put(service.url("/u"), path, [&outcome](const PLRUploadClient::Result& result) { outcome = {true, result}; }, 5000);
    EXPECT_TRUE(testing_support::waitUntil([&] { return outcome.done; }, 20000));
    return outcome.result;
}

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
    EXPECT_EQ(service.connections(), 6);
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
    auto putOne = [&](const QList<QByteArray>& pieces) { return putAnsweredWith(service, client, path, pieces); };

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

// A host that answers with a flood of interim answers gets a bounded number of them read, one
// after the other; a few are read past as they should be.
TEST(UploadClient, InterimAnswersAreReadInALoopAndBounded)
{
    TinyService service;
    QTemporaryDir dir;
    const QString path = writeFile(dir, "p.jpg", photoBytes(2000, 4));
    PLRUploadClient client(1);
    auto putOne = [&](const QList<QByteArray>& pieces) { return putAnsweredWith(service, client, path, pieces); };
    PLRUploadClient::Result result =
        putOne({"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a.css>\r\n\r\n",
                "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\nok"});
    EXPECT_FALSE(result.transport.isValid()) << result.transport.toString().toStdString();
    EXPECT_EQ(result.status, 201);
    EXPECT_EQ(result.body, "ok");

    // Hundreds of thousands of them, most arriving in one read.
    const QByteArray interim = "HTTP/1.1 100 Continue\r\n\r\n";
    const QByteArray flood = interim.repeated(200000);
    result = putOne({flood + "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"});
    EXPECT_EQ(result.transport.code, platform::urlerror::BadServerResponse);
    EXPECT_EQ(result.status, 0);
    // The client goes on working.
    result = putOne({"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"});
    EXPECT_EQ(result.status, 200);
}

// A host that trickles its answer re-arms the transfer time-out with every byte; the request
// still ends with a time-out once it has made no real progress for a few time-outs. An answer
// that keeps coming at a real pace is read whole however long it takes.
TEST(UploadClient, ATricklingHostEndsTheRequestAndASteadyOneDoesNot)
{
    platform::ManualClock& clock = platform::ManualClock::install();
    QTemporaryDir dir;
    const QString path = writeFile(dir, "p.jpg", photoBytes(200 * 1024, 5));
    constexpr int kTimeoutMs = 3000;
    // Each answer: pieces written one per second of the clock, once the request is in.
    struct Trickle {
        const char* what;
        QByteArray first;     // written at once
        QByteArray piece;     // then one of these a second
        bool endsInError;
    };
    const QByteArray padding = "X-Padding: " + QByteArray(4000, 'p') + "\r\n";
    for (const Trickle& trickle :
         {Trickle{"the status line", QByteArray(), QByteArray(1, 'H'), true},
          Trickle{"the headers", "HTTP/1.1 200 OK\r\n", QByteArray(1, 'x'), true},
          Trickle{"the body", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n", QByteArray(1, 'b'), true},
          Trickle{"interim answers", QByteArray(), "HTTP/1.1 100 Continue\r\n\r\n", true},
          Trickle{"a steady body", "HTTP/1.1 200 OK\r\nContent-Length: 2000000\r\n\r\n", QByteArray(100000, 's'), false}}) {
        SCOPED_TRACE(trickle.what);
        TinyService service;
        service.answer = TinyService::Answer::Custom;
        int written = 0;
        platform::Cancellable writer;
        std::function<void(QPointer<QTcpSocket>)> next = [&](QPointer<QTcpSocket> socket) {
            writer = platform::Clock::shared().after(1.0, nullptr, [&, socket] {
                if (!socket)
                    return;
                socket->write(trickle.piece);
                socket->flush();
                ++written;
                next(socket);
            });
        };
        service.custom = [&](QTcpSocket* socket, int) {
            socket->write(trickle.first.isEmpty() ? QByteArray() : trickle.first);
            socket->flush();
            next(socket);
        };
        PLRUploadClient client;
        Outcome outcome;
        client.put(service.url("/slow"), path, [&](const PLRUploadClient::Result& r) { outcome = {true, r}; }, kTimeoutMs);
        ASSERT_TRUE(testing_support::waitUntil([&] { return service.bodies.size() == 1; }, 5000));
        // A second at a time, each piece read before the clock moves on.
        for (int second = 0; second < 60 && !outcome.done; ++second) {
            const int before = written;
            clock.advance(1.0);
            ASSERT_TRUE(testing_support::waitUntil([&] { return written > before || outcome.done; }, 5000));
            testing_support::drainEvents();
            // Never ended by the transfer time-out itself: every piece re-arms it.
            if (second < 2 * kTimeoutMs / 1000) {
                EXPECT_FALSE(outcome.done) << second;
            }
        }
        writer.cancel();
        ASSERT_TRUE(outcome.done);
        if (trickle.endsInError) {
            EXPECT_TRUE(outcome.result.transport.isValid());
            // Well before the trickle would have ended by itself (the steady body takes 20 s).
            EXPECT_LE(written, 5 * kTimeoutMs / 1000);
        } else {
            EXPECT_FALSE(outcome.result.transport.isValid()) << outcome.result.transport.toString().toStdString();
            EXPECT_EQ(outcome.result.status, 200);
            EXPECT_EQ(outcome.result.body.size(), 2000000);
        }
    }
}

// A host that answers a request twice: the second answer is not taken for the next request's,
// whether it comes with the first, right after it (before the next request goes), or while the
// connection waits.
TEST(UploadClient, AnAnswerNoRequestWaitsForClosesItsConnection)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, "p.jpg", photoBytes(3000, 6));
    const QByteArray stray = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    auto answerFor = [](int request) {
        return request % 2 == 0 ? QByteArray("HTTP/1.1 201 Created\r\nContent-Length: 5\r\n\r\nfirst")
                                : QByteArray("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 6\r\n\r\nbroken");
    };
    enum class When { WithTheAnswer, RightAfter, WhileIdle };
    for (const When when : {When::WithTheAnswer, When::RightAfter, When::WhileIdle}) {
        SCOPED_TRACE(int(when));
        TinyService service;
        service.answer = TinyService::Answer::Custom;
        QPointer<QTcpSocket> answering;
        service.custom = [&](QTcpSocket* socket, int request) {
            answering = socket;
            socket->write(answerFor(request) + (when == When::WithTheAnswer ? stray : QByteArray()));
            socket->flush();
        };
        auto writeStray = [&] {
            ASSERT_TRUE(answering);
            answering->write(stray);
            answering->flush();
        };
        PLRUploadClient client(1);
        std::vector<Outcome> outcomes(2);
        client.put(service.url("/a"), path, [&](const PLRUploadClient::Result& r) {
            outcomes[0] = {true, r};
            if (when == When::RightAfter)
                writeStray();
        }, 5000);
        if (when == When::WhileIdle) {
            ASSERT_TRUE(testing_support::waitUntil([&] { return outcomes[0].done; }, 5000));
            testing_support::drainEvents();
            writeStray();
            // Read while no request is on the connection.
            ASSERT_TRUE(testing_support::waitUntil([&] { return client.openConnections() == 0; }, 5000));
        }
        client.put(service.url("/b"), path, [&](const PLRUploadClient::Result& r) { outcomes[1] = {true, r}; }, 5000);
        ASSERT_TRUE(testing_support::waitUntil([&] { return outcomes[0].done && outcomes[1].done; }, 5000));
        EXPECT_EQ(outcomes[0].result.status, 201);
        EXPECT_EQ(outcomes[0].result.body, "first");
        EXPECT_EQ(outcomes[1].result.status, 500);
        EXPECT_EQ(outcomes[1].result.body, "broken");
        EXPECT_EQ(service.bodies.size(), 2);
        EXPECT_EQ(client.connectionsOpened(), 2);
    }
}

// An answer that comes before the request's body was sent whole is not the request's: a success
// then (here a late second answer to the request before, or a host that took none of the body)
// closes the connection and the request goes again on a new one, a few times at most; an error
// then (the host refusing the body) is the request's answer, and the connection goes with it.
TEST(UploadClient, AnAnswerBeforeTheBodyIsSentWholeIsNoSuccess)
{
    QTemporaryDir dir;
    const QString small = writeFile(dir, "small.jpg", photoBytes(3000, 7));
    const QByteArray large = photoBytes(8 * 1024 * 1024, 8);
    const QString path = writeFile(dir, "large.jpg", large);
    const QByteArray fresh = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfresh";
    const QByteArray stale = "HTTP/1.1 201 Created\r\nContent-Length: 5\r\n\r\nfirst";
    auto putOne = [](PLRUploadClient& client, const QUrl& url, const QString& file) {
        Outcome outcome;
        client.put(url, file, [&outcome](const PLRUploadClient::Result& r) { outcome = {true, r}; }, 5000);
        EXPECT_TRUE(testing_support::waitUntil([&] { return outcome.done; }, 20000));
        return outcome.result;
    };

    {
        SCOPED_TRACE("a late second answer on a kept connection");
        HastyHost host;
        int secondRequests = 0;
        host.plan = [&](int connection, int request) {
            if (connection >= 2)
                return HastyHost::Reply{fresh};
            if (request == 0)
                return HastyHost::Reply{stale};
            // The first request to follow on a kept connection meets the late answer; the other
            // kept connection would answer properly, but the request is sent again on a new one.
            return secondRequests++ == 0 ? HastyHost::Reply{stale, true}
                                         : HastyHost::Reply{"HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nkept"};
        };
        PLRUploadClient client(2);
        std::vector<Outcome> first(2);
        for (Outcome& outcome : first)
            client.put(host.url("/a"), small, [&outcome](const PLRUploadClient::Result& r) { outcome = {true, r}; }, 5000);
        ASSERT_TRUE(testing_support::waitUntil([&] { return first[0].done && first[1].done; }, 5000));
        EXPECT_EQ(host.connections, 2);
        const PLRUploadClient::Result result = putOne(client, host.url("/b"), path);
        EXPECT_FALSE(result.transport.isValid()) << result.transport.toString().toStdString();
        EXPECT_EQ(result.status, 200);
        EXPECT_EQ(result.body, "fresh");
        EXPECT_EQ(host.bodies.size(), 3);
        EXPECT_TRUE(host.bodies.value(2) == large);
        EXPECT_EQ(host.connections, 3);
    }
    {
        SCOPED_TRACE("a success before the body on every connection");
        HastyHost host;
        host.plan = [&](int, int) { return HastyHost::Reply{fresh, true}; };
        PLRUploadClient client(1);
        const PLRUploadClient::Result result = putOne(client, host.url("/c"), path);
        EXPECT_EQ(result.transport.code, platform::urlerror::BadServerResponse);
        EXPECT_EQ(result.status, 0);
        EXPECT_TRUE(result.body.isEmpty());
        EXPECT_EQ(host.connections, 3);
        EXPECT_EQ(client.runningTasks(), 0);
    }
    {
        SCOPED_TRACE("a refusal before the body");
        HastyHost host;
        host.plan = [&](int connection, int) {
            return connection == 0 ? HastyHost::Reply{"HTTP/1.1 413 Payload Too Large\r\nContent-Length: 8\r\n\r\ntoo big!", true}
                                   : HastyHost::Reply{fresh};
        };
        PLRUploadClient client(1);
        const PLRUploadClient::Result result = putOne(client, host.url("/d"), path);
        EXPECT_FALSE(result.transport.isValid()) << result.transport.toString().toStdString();
        EXPECT_EQ(result.status, 413);
        EXPECT_EQ(result.body, "too big!");
        EXPECT_EQ(host.connections, 1);
        // The next request goes on a new connection, not after the refused body's rest.
        EXPECT_EQ(putOne(client, host.url("/e"), small).body, "fresh");
        EXPECT_EQ(client.connectionsOpened(), 2);
    }
}

// A status code, Content-Length or chunk size that is not plain digits is a malformed answer:
// neither a success (a sign or a leading zero read past) nor a body read to the end of the
// connection.
TEST(UploadClient, FramingNumbersThatAreNotPlainDigitsAreAMalformedAnswer)
{
    TinyService service;
    QTemporaryDir dir;
    const QString path = writeFile(dir, "p.jpg", photoBytes(2000, 9));
    PLRUploadClient client(1);
    QByteArray headers;
    service.answer = TinyService::Answer::Custom;
    QByteArray statusLine = "HTTP/1.1 200 OK";
    service.custom = [&statusLine, &headers](QTcpSocket* socket, int) {
        socket->write(statusLine + "\r\n" + headers + "\r\n\r\nok");
        socket->disconnectFromHost();
    };
    auto putWith = [&](const QByteArray& lengthHeaders) {
        headers = lengthHeaders;
        Outcome outcome;
        client.put(service.url("/u"), path, [&outcome](const PLRUploadClient::Result& r) { outcome = {true, r}; }, 5000);
        EXPECT_TRUE(testing_support::waitUntil([&] { return outcome.done; }, 20000));
        return outcome.result;
    };
    for (const QByteArray& malformed : {QByteArray("Content-Length: 99999999999999999999"), QByteArray("Content-Length: -5"),
                                        QByteArray("Content-Length: two"), QByteArray("Content-Length: +2"),
                                        QByteArray("Content-Length: 5\r\nContent-Length: 2"),
                                        QByteArray("Content-Length: 2, 5")}) {
        SCOPED_TRACE(malformed.toStdString());
        const PLRUploadClient::Result result = putWith(malformed);
        EXPECT_EQ(result.transport.code, platform::urlerror::BadServerResponse);
        EXPECT_EQ(result.status, 0);
        EXPECT_TRUE(result.body.isEmpty());
    }
    const QByteArray chunked = "Transfer-Encoding: chunked\r\n\r\n";
    for (const auto& [status, framing] :
         {std::pair{QByteArray("HTTP/1.1 +200 OK"), QByteArray("Content-Length: 2")},
          std::pair{QByteArray("HTTP/1.1 0200 OK"), QByteArray("Content-Length: 2")},
          std::pair{QByteArray("HTTP/1.1 2000 OK"), QByteArray("Content-Length: 2")},
          std::pair{QByteArray("HTTP/1.1 200 OK"), chunked + "+2\r\nok\r\n0"},
          std::pair{QByteArray("HTTP/1.1 200 OK"), chunked + "0x2\r\nok\r\n0"}}) {
        SCOPED_TRACE((status + " / " + framing).toStdString());
        statusLine = status;
        EXPECT_EQ(putWith(framing).transport.code, platform::urlerror::BadServerResponse);
    }
    statusLine = "HTTP/1.1 200 OK";
    // The same length twice says the same.
    for (const QByteArray& repeated : {QByteArray("Content-Length: 2\r\nContent-Length: 2"), QByteArray("Content-Length: 2, 2")}) {
        SCOPED_TRACE(repeated.toStdString());
        const PLRUploadClient::Result result = putWith(repeated);
        EXPECT_FALSE(result.transport.isValid()) << result.transport.toString().toStdString();
        EXPECT_EQ(result.status, 200);
        EXPECT_EQ(result.body, "ok");
    }
}
