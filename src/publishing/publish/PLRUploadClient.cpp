#include "publishing/publish/PLRUploadClient.h"

#include "platform/Clock.h"
#include "platform/Log.h"

#include <QFile>
#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>

#include <sys/ioctl.h>

#include <algorithm>

namespace {

constexpr qint64 kChunk = 64 * 1024;          // read from the file at a time
constexpr qint64 kWriteAhead = 256 * 1024;    // kept in the socket's buffer at most
constexpr qsizetype kHeadLimit = 64 * 1024;   // an answer's status line and headers (and trailers)
constexpr qsizetype kBodyLimit = 4 * 1024 * 1024;   // an answer's body, however it is framed
constexpr qsizetype kChunkLineLimit = 4096;   // a chunk's size line with its extensions
constexpr int kInterimLimit = 8;              // interim answers (100 Continue, ...) before the real one
// A request must make real progress at least once in this many of its time-outs: its body going
// out or its answer's body coming in by kProgressBytes, its body sent whole, or its answer's
// head read whole. A host that trickles its answer (a byte at a time, an interim answer at a
// time) re-arms the time-out with every byte but never gets past this bound.
constexpr int kStallTimeouts = 3;
constexpr qint64 kProgressBytes = 64 * 1024;
// A request answered with success before its body was sent whole (the answer cannot be its own:
// a late second answer to the request before it, or a host that took none of the body) is sent
// again on a new connection this many times at most.
constexpr int kEarlyAnswerRetries = 2;

platform::Error transportError(qint64 code, const QString& description)
{
    return platform::Error::make(QString::fromLatin1(platform::kURLErrorDomain), code, description);
}

platform::Error errorForSocket(QAbstractSocket::SocketError error, const QString& text)
{
    using E = QAbstractSocket::SocketError;
    switch (error) {
    case E::ConnectionRefusedError: return transportError(platform::urlerror::CannotConnectToHost, text);
    case E::HostNotFoundError: return transportError(platform::urlerror::CannotFindHost, text);
    case E::SocketTimeoutError: return transportError(platform::urlerror::TimedOut, text);
    case E::NetworkError: return transportError(platform::urlerror::NotConnectedToInternet, text);
    case E::SslHandshakeFailedError:
    case E::SslInternalError:
    case E::SslInvalidUserDataError: return transportError(platform::urlerror::SecureConnectionFailed, text);
    default: return transportError(platform::urlerror::NetworkConnectionLost, text);
    }
}

// A number of the answer's framing (status code, length, chunk size): digits of its base only,
// no sign, no prefix, no space; -1 when it is anything else or does not fit.
qint64 parseDigits(const QByteArray& digits, int base)
{
    const auto isDigit = [base](char c) {
        return (c >= '0' && c <= '9') || (base == 16 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    };
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), isDigit))
        return -1;
    bool ok = false;
    const qint64 parsed = digits.toLongLong(&ok, base);
    return ok ? parsed : -1;
}

// A status code: exactly three digits.
int parseStatusCode(const QByteArray& code)
{
    return code.size() == 3 ? int(parseDigits(code, 10)) : -1;
}

// A Content-Length value: digits only, or a list of equal ones (a header repeated by a proxy);
// -1 when it is anything else or does not fit.
qint64 parseContentLength(const QByteArray& value)
{
    qint64 length = -1;
    for (const QByteArray& part : value.split(',')) {
        const qint64 parsed = parseDigits(part.trimmed(), 10);
        if (parsed < 0 || (length >= 0 && parsed != length))
            return -1;
        length = parsed;
    }
    return length;
}

} // namespace

struct PLRUploadClient::Task {
    quint64 id = 0;
    QUrl url;
    QString key;
    QString filePath;
    Completion completion;
    int timeoutMs = 0;
    bool retriedOnStaleConnection = false;
    int earlyAnswers = 0;            // answers that came before the body was sent whole
    bool freshConnection = false;    // goes on a new connection, not an idle one
};

struct PLRUploadClient::Connection {
    QString key;
    std::unique_ptr<QAbstractSocket> socket;
    // The time-out: restarted by every step of the request, it fails the request once it runs.
    std::unique_ptr<platform::ClockTimer> timer;
    // The bound of the request as a whole: restarted only by real progress (see kStallTimeouts).
    std::unique_ptr<platform::ClockTimer> stallTimer;
    qint64 movedSinceProgress = 0;
    TaskPtr task;                    // the request on the wire, or none while idle
    std::unique_ptr<QFile> body;
    qint64 bodyLeft = 0;
    qint64 unsent = 0;               // bytes of the request (head and body) not handed to the network yet
    bool ready = false;              // connected (and encrypted for https)
    bool reused = false;             // the current task is not the connection's first
    // The answer being read.
    QByteArray buffer;
    bool headRead = false;
    int interimAnswers = 0;
    int status = 0;
    qint64 contentLength = -1;
    bool chunked = false;
    bool closeAfter = false;
    // A final answer (an error) came before the body was sent whole: no more of it is sent.
    bool answeredEarly = false;
    // A chunked body, decoded as it arrives: what is decoded so far and where the reader is.
    enum class ChunkStep { Size, Data, DataEnd, Trailer, Done };
    ChunkStep chunkStep = ChunkStep::Size;
    qint64 chunkLeft = 0;
    qsizetype trailerBytes = 0;
    QByteArray decoded;

    void resetAnswer()
    {
        buffer.clear();
        headRead = false;
        interimAnswers = 0;
        status = 0;
        contentLength = -1;
        chunked = false;
        closeAfter = false;
        answeredEarly = false;
        chunkStep = ChunkStep::Size;
        chunkLeft = 0;
        trailerBytes = 0;
        decoded.clear();
    }
};

PLRUploadClient::PLRUploadClient(int maxConnectionsPerHost, QObject* parent)
    : QObject(parent), m_maxConnectionsPerHost(qMax(1, maxConnectionsPerHost))
{
}

PLRUploadClient::~PLRUploadClient()
{
    m_tasks.clear();
    m_queued.clear();
    const auto all = std::exchange(m_connections, {});
    for (const QList<ConnectionPtr>& list : all)
        for (const ConnectionPtr& connection : list) {
            connection->task.reset();
            dropConnection(connection);
        }
}

int PLRUploadClient::openConnections() const
{
    int count = 0;
    for (const QList<ConnectionPtr>& list : m_connections)
        for (const ConnectionPtr& connection : list)
            count += connection->ready ? 1 : 0;
    return count;
}

int PLRUploadClient::connectionsWithLowDelay() const
{
    int count = 0;
    for (const QList<ConnectionPtr>& list : m_connections)
        for (const ConnectionPtr& connection : list)
            if (connection->ready && connection->socket
                && connection->socket->socketOption(QAbstractSocket::LowDelayOption).toInt() != 0)
                ++count;
    return count;
}

QString PLRUploadClient::hostKey(const QUrl& url)
{
    const bool https = url.scheme() == QLatin1String("https");
    return QStringLiteral("%1://%2:%3").arg(url.scheme(), url.host()).arg(url.port(https ? 443 : 80));
}

quint64 PLRUploadClient::put(const QUrl& url, const QString& filePath, Completion completion, int timeoutMs)
{
    auto task = std::make_shared<Task>();
    task->id = ++m_nextTask;
    task->url = url;
    task->key = hostKey(url);
    task->filePath = filePath;
    task->completion = std::move(completion);
    task->timeoutMs = timeoutMs;
    m_tasks.insert(task->id, task);
    m_queued[task->key].append(task);
    // Started from the event loop: a completion that queues a new request never re-enters.
    scheduleDispatch(task->key);
    return task->id;
}

void PLRUploadClient::cancel(quint64 id)
{
    const TaskPtr task = m_tasks.take(id);
    if (!task)
        return;
    m_queued[task->key].removeAll(task);
    for (const ConnectionPtr& connection : m_connections.value(task->key))
        if (connection->task == task) {
            connection->task.reset();
            dropConnection(connection);
            break;
        }
}

void PLRUploadClient::cancelAll()
{
    m_tasks.clear();
    m_queued.clear();
    // Connections with a request on the wire are closed; idle ones stay for the next requests.
    QList<ConnectionPtr> busy;
    for (const QList<ConnectionPtr>& list : std::as_const(m_connections))
        for (const ConnectionPtr& connection : list)
            if (connection->task || !connection->ready)
                busy.append(connection);
    for (const ConnectionPtr& connection : busy) {
        connection->task.reset();
        dropConnection(connection);
    }
}

void PLRUploadClient::dispatch(const QString& key)
{
    QList<TaskPtr>& queue = m_queued[key];
    while (!queue.isEmpty()) {
        ConnectionPtr idle;
        const QList<ConnectionPtr> connections = m_connections.value(key);
        for (const ConnectionPtr& connection : connections)
            if (connection->ready && !connection->task) {
                idle = connection;
                break;
            }
        if (idle && hasUnaskedBytes(*idle)) {
            // Bytes nobody asked for (a host that answered a request twice): whatever request
            // went next on this connection would take them for its answer.
            PLR_LOG_WARN(QStringLiteral("The upload host %1 sent an answer no request was waiting for; its connection is closed")
                             .arg(key));
            dropConnection(idle);
            continue;
        }
        const bool fresh = queue.first()->freshConnection;
        if (idle && !fresh) {
            startOn(idle, queue.takeFirst());
            continue;
        }
        if (connections.size() >= m_maxConnectionsPerHost) {
            if (!idle)
                return;
            // The request goes on a new connection: an idle one makes room for it.
            dropConnection(idle);
            continue;
        }
        // A new connection carries the request it was opened for.
        openConnection(key, queue.takeFirst());
    }
}

void PLRUploadClient::openConnection(const QString& key, const TaskPtr& first)
{
    const QUrl url = first->url;
    first->freshConnection = false;
    const bool https = url.scheme() == QLatin1String("https");
    auto connection = std::make_shared<Connection>();
    connection->key = key;
    if (https)
        connection->socket = std::make_unique<QSslSocket>();
    else
        connection->socket = std::make_unique<QTcpSocket>();
    m_connections[key].append(connection);
    ++m_connectionsOpened;

    std::weak_ptr<Connection> weak = connection;
    QAbstractSocket* socket = connection->socket.get();
    auto onReady = [this, weak] {
        const ConnectionPtr c = weak.lock();
        if (!c)
            return;
        // The point of this client: no waiting for acknowledgements before small segments.
        c->socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        c->socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
        c->ready = true;
        if (c->task)
            sendHead(c);
        else
            dispatch(c->key);
    };
    if (https)
        connect(static_cast<QSslSocket*>(socket), &QSslSocket::encrypted, this, onReady);
    else
        connect(socket, &QAbstractSocket::connected, this, onReady);
    connect(socket, &QAbstractSocket::bytesWritten, this, [this, weak](qint64 written) {
        if (const ConnectionPtr c = weak.lock()) {
            touch(c);
            if (c->task && c->unsent > 0) {
                c->unsent -= written;
                progressed(c, written, c->unsent <= 0);
            }
            pumpBody(c);
        }
    });
    connect(socket, &QAbstractSocket::readyRead, this, [this, weak] {
        if (const ConnectionPtr c = weak.lock())
            readAnswer(c);
    });
    connect(socket, &QAbstractSocket::errorOccurred, this, [this, weak](QAbstractSocket::SocketError error) {
        if (const ConnectionPtr c = weak.lock())
            socketFailed(c, errorForSocket(error, c->socket->errorString()));
    });
    connection->timer = std::make_unique<platform::ClockTimer>(this, [this, weak] {
        if (const ConnectionPtr c = weak.lock())
            socketFailed(c, transportError(platform::urlerror::TimedOut, QStringLiteral("The request timed out.")));
    });
    connection->stallTimer = std::make_unique<platform::ClockTimer>(this, [this, weak] {
        if (const ConnectionPtr c = weak.lock()) {
            PLR_LOG_WARN(QStringLiteral("An upload to %1 made no progress for %2 of its time-outs; it is ended")
                             .arg(c->key)
                             .arg(kStallTimeouts));
            socketFailed(c, transportError(platform::urlerror::TimedOut,
                                           QStringLiteral("The request timed out: the host answers too slowly.")));
        }
    });

    connection->task = first;
    touch(connection);
    progressed(connection, 0, true);
    const quint16 port = quint16(url.port(https ? 443 : 80));
    if (https)
        static_cast<QSslSocket*>(socket)->connectToHostEncrypted(url.host(), port);
    else
        socket->connectToHost(url.host(), port);
}

void PLRUploadClient::touch(const ConnectionPtr& connection)
{
    if (connection->task && connection->task->timeoutMs > 0)
        connection->timer->start(connection->task->timeoutMs / 1000.0);
}

void PLRUploadClient::progressed(const ConnectionPtr& connection, qint64 bytes, bool milestone)
{
    if (!connection->task || connection->task->timeoutMs <= 0)
        return;
    connection->movedSinceProgress += bytes;
    if (!milestone && connection->movedSinceProgress < kProgressBytes)
        return;
    connection->movedSinceProgress = 0;
    connection->stallTimer->start(kStallTimeouts * (connection->task->timeoutMs / 1000.0));
}

void PLRUploadClient::startOn(const ConnectionPtr& connection, const TaskPtr& task)
{
    connection->task = task;
    connection->reused = true;
    touch(connection);
    progressed(connection, 0, true);
    sendHead(connection);
}

bool PLRUploadClient::hasUnaskedBytes(const Connection& connection)
{
    if (connection.socket->bytesAvailable() > 0)
        return true;
    // What has reached a plain connection but is not read yet; on an encrypted one the bytes
    // waiting may be the protocol's own (a session ticket), so only decrypted ones count there.
    if (qobject_cast<QSslSocket*>(connection.socket.get()))
        return false;
    int waiting = 0;
    const qintptr fd = connection.socket->socketDescriptor();
    return fd >= 0 && ::ioctl(int(fd), FIONREAD, &waiting) == 0 && waiting > 0;
}

bool PLRUploadClient::requestSentWhole(const Connection& connection)
{
    return connection.bodyLeft <= 0 && connection.socket->bytesToWrite() == 0;
}

void PLRUploadClient::answeredBeforeSent(const ConnectionPtr& connection)
{
    const TaskPtr task = std::exchange(connection->task, nullptr);
    PLR_LOG_WARN(QStringLiteral("The upload host %1 answered %2 before the request's body was sent whole; its connection is closed")
                     .arg(connection->key)
                     .arg(connection->status));
    connection->body.reset();
    dropConnection(connection);
    if (!task || !m_tasks.contains(task->id))
        return;
    if (task->earlyAnswers < kEarlyAnswerRetries) {
        ++task->earlyAnswers;
        task->freshConnection = true;
        m_queued[task->key].prepend(task);
        dispatch(task->key);
        return;
    }
    m_tasks.remove(task->id);
    Result result;
    result.transport = transportError(platform::urlerror::BadServerResponse,
                                      QStringLiteral("The host answered before the request's body was sent whole."));
    if (task->completion)
        task->completion(result);
    dispatch(task->key);
}

void PLRUploadClient::scheduleDispatch(const QString& key)
{
    QPointer<PLRUploadClient> self(this);
    QMetaObject::invokeMethod(this, [self, key] {
        if (self)
            self->dispatch(key);
    }, Qt::QueuedConnection);
}

void PLRUploadClient::sendHead(const ConnectionPtr& connection)
{
    const TaskPtr task = connection->task;
    connection->resetAnswer();
    connection->body = std::make_unique<QFile>(task->filePath);
    if (!connection->body->open(QIODevice::ReadOnly)) {
        Result result;
        result.transport = platform::Error::make(QString::fromLatin1(platform::kURLErrorDomain),
                                                 platform::urlerror::ResourceUnavailable,
                                                 QStringLiteral("The file %1 cannot be read.").arg(task->filePath));
        finishTask(connection, result, true);
        return;
    }
    connection->bodyLeft = connection->body->size();
    const QUrl& url = task->url;
    const bool https = url.scheme() == QLatin1String("https");
    const int port = url.port(https ? 443 : 80);
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (port != (https ? 443 : 80))
        host += ':' + QByteArray::number(port);
    QByteArray head = "PUT " + target + " HTTP/1.1\r\nHost: " + host + "\r\nContent-Length: "
                      + QByteArray::number(connection->bodyLeft) + "\r\nConnection: keep-alive\r\n\r\n";
    // The head and the first part of the body go out together.
    connection->unsent = head.size() + connection->bodyLeft;
    const QByteArray first = connection->body->read(qMin(kChunk, connection->bodyLeft));
    connection->bodyLeft -= first.size();
    connection->socket->write(head + first);
    pumpBody(connection);
}

void PLRUploadClient::pumpBody(const ConnectionPtr& connection)
{
    if (!connection->task || !connection->body || connection->answeredEarly)
        return;
    while (connection->bodyLeft > 0 && connection->socket->bytesToWrite() < kWriteAhead) {
        const QByteArray chunk = connection->body->read(qMin(kChunk, connection->bodyLeft));
        if (chunk.isEmpty()) {
            // The file shrank under us: the request cannot be completed honestly.
            socketFailed(connection, transportError(platform::urlerror::ResourceUnavailable,
                                                    QStringLiteral("The file changed while it was sent.")));
            return;
        }
        connection->bodyLeft -= chunk.size();
        connection->socket->write(chunk);
    }
    if (connection->bodyLeft <= 0)
        connection->body.reset();
}

void PLRUploadClient::readAnswer(const ConnectionPtr& connection)
{
    touch(connection);
    const QByteArray incoming = connection->socket->readAll();
    if (!connection->task) {
        // Nobody asked: a host that answers one request twice. The next request on this
        // connection would take these bytes for its own answer, so the connection goes.
        if (incoming.isEmpty())
            return;
        PLR_LOG_WARN(QStringLiteral("The upload host %1 sent an answer no request was waiting for; its connection is closed")
                         .arg(connection->key));
        dropConnection(connection);
        scheduleDispatch(connection->key);
        return;
    }
    if (connection->headRead)
        progressed(connection, incoming.size(), false);
    connection->buffer += incoming;
    auto bad = [&](const QString& why) {
        socketFailed(connection, transportError(platform::urlerror::BadServerResponse, why));
    };
    // Interim answers (100 Continue, ...) come before the real one, each read in turn; a host
    // may send only so many of them.
    while (!connection->headRead) {
        const qsizetype end = connection->buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (connection->buffer.size() > kHeadLimit)
                bad(QStringLiteral("The answer's headers are too long."));
            return;
        }
        if (end > kHeadLimit) {
            bad(QStringLiteral("The answer's headers are too long."));
            return;
        }
        const QList<QByteArray> lines = connection->buffer.left(end).split('\n');
        connection->buffer.remove(0, end + 4);
        const QList<QByteArray> statusLine = lines.value(0).trimmed().split(' ');
        connection->status = parseStatusCode(statusLine.value(1));
        if (!statusLine.value(0).startsWith("HTTP/1.") || connection->status < 100) {
            bad(QStringLiteral("The answer is not HTTP."));
            return;
        }
        if (connection->status < 200) {
            if (++connection->interimAnswers > kInterimLimit) {
                bad(QStringLiteral("The host sent too many interim answers."));
                return;
            }
            continue;
        }
        connection->closeAfter = statusLine.value(0) == "HTTP/1.0";
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "content-length") {
                // Malformed, negative, too large or contradicting an earlier one: the answer's
                // end cannot be known.
                const qint64 length = parseContentLength(value);
                if (length < 0 || (connection->contentLength >= 0 && connection->contentLength != length)) {
                    bad(QStringLiteral("The answer's length is malformed."));
                    return;
                }
                connection->contentLength = length;
            } else if (name == "transfer-encoding" && value.toLower().contains("chunked"))
                connection->chunked = true;
            else if (name == "connection")
                connection->closeAfter = value.toLower() == "close" ? true
                                         : value.toLower() == "keep-alive" ? false
                                                                           : connection->closeAfter;
        }
        connection->headRead = true;
        progressed(connection, 0, true);
        if (!requestSentWhole(*connection)) {
            // A success before the host has the body is no success for it.
            if (connection->status >= 200 && connection->status <= 299) {
                answeredBeforeSent(connection);
                return;
            }
            // A host may refuse a request before reading its body (too large, not allowed): that
            // answer stands; the rest of the body is not sent and the connection goes after it.
            connection->answeredEarly = true;
            connection->closeAfter = true;
        }
        if (connection->contentLength < 0 && !connection->chunked)
            connection->closeAfter = true;   // the body runs to the end of the connection
    }
    Result result;
    result.status = connection->status;
    bool unasked = false;
    if (connection->chunked) {
        QString why;
        if (!decodeChunks(*connection, &why)) {
            bad(why);
            return;
        }
        if (connection->chunkStep != Connection::ChunkStep::Done)
            return;
        result.body = std::exchange(connection->decoded, QByteArray());
        unasked = !connection->buffer.isEmpty();
    } else if (connection->contentLength >= 0) {
        if (connection->contentLength > kBodyLimit) {
            bad(QStringLiteral("The answer's body is too long."));
            return;
        }
        if (connection->buffer.size() < connection->contentLength)
            return;
        result.body = connection->buffer.left(connection->contentLength);
        unasked = connection->buffer.size() > connection->contentLength;
    } else {
        // Read to the end of the connection: finished when the service closes it.
        if (connection->buffer.size() > kBodyLimit)
            bad(QStringLiteral("The answer's body is too long."));
        return;
    }
    // Bytes after the answer answer nothing that was asked: the answer stands, the connection
    // goes.
    if (unasked)
        PLR_LOG_WARN(QStringLiteral("The upload host %1 sent more than one answer to a request; its connection is closed")
                         .arg(connection->key));
    finishTask(connection, result, !connection->closeAfter && !unasked);
}

bool PLRUploadClient::decodeChunks(Connection& connection, QString* why)
{
    using Step = Connection::ChunkStep;
    QByteArray& in = connection.buffer;
    qsizetype at = 0;
    bool ok = true;
    // Each step takes what it can from the buffer and leaves the rest for the next read; what
    // is taken is removed once at the end, so every byte is looked at once.
    while (ok && connection.chunkStep != Step::Done) {
        if (connection.chunkStep == Step::Size) {
            const qsizetype end = in.indexOf("\r\n", at);
            if (end < 0) {
                if (in.size() - at > kChunkLineLimit) {
                    *why = QStringLiteral("The answer's body is malformed.");
                    ok = false;
                }
                break;
            }
            const qint64 size = parseDigits(in.mid(at, end - at).split(';').value(0).trimmed(), 16);
            if (size < 0 || end - at > kChunkLineLimit) {
                *why = QStringLiteral("The answer's body is malformed.");
                ok = false;
                break;
            }
            if (size > kBodyLimit - connection.decoded.size()) {
                *why = QStringLiteral("The answer's body is too long.");
                ok = false;
                break;
            }
            at = end + 2;
            connection.chunkLeft = size;
            connection.chunkStep = size == 0 ? Step::Trailer : Step::Data;
        } else if (connection.chunkStep == Step::Data) {
            const qsizetype take = qsizetype(qMin<qint64>(connection.chunkLeft, in.size() - at));
            connection.decoded.append(in.constData() + at, take);
            at += take;
            connection.chunkLeft -= take;
            if (connection.chunkLeft > 0)
                break;
            connection.chunkStep = Step::DataEnd;
        } else if (connection.chunkStep == Step::DataEnd) {
            if (in.size() - at < 2)
                break;
            if (in[at] != '\r' || in[at + 1] != '\n') {
                *why = QStringLiteral("The answer's body is malformed.");
                ok = false;
                break;
            }
            at += 2;
            connection.chunkStep = Step::Size;
        } else {   // trailer lines up to the empty line that ends the answer
            const qsizetype end = in.indexOf("\r\n", at);
            const qsizetype lineBytes = end < 0 ? in.size() - at : end + 2 - at;
            if (connection.trailerBytes + lineBytes > kHeadLimit) {
                *why = QStringLiteral("The answer's trailer is too long.");
                ok = false;
                break;
            }
            if (end < 0)
                break;
            connection.trailerBytes += lineBytes;
            at = end + 2;
            if (lineBytes == 2)
                connection.chunkStep = Step::Done;
        }
    }
    in.remove(0, at);
    return ok;
}

void PLRUploadClient::socketFailed(const ConnectionPtr& connection, const platform::Error& error)
{
    const TaskPtr task = connection->task;
    // An answer that runs to the end of the connection is complete when the service closes it.
    if (task && connection->headRead && connection->contentLength < 0 && !connection->chunked
        && connection->socket->error() == QAbstractSocket::RemoteHostClosedError) {
        Result result;
        result.status = connection->status;
        result.body = connection->buffer;
        finishTask(connection, result, false);
        return;
    }
    dropConnection(connection);
    if (!task)
        return;
    // A kept-alive connection that the service had closed meanwhile: sent again once on a new
    // connection, as nothing of it was answered.
    if (connection->reused && !connection->headRead && !task->retriedOnStaleConnection
        && error.code == platform::urlerror::NetworkConnectionLost && m_tasks.contains(task->id)) {
        task->retriedOnStaleConnection = true;
        m_queued[task->key].prepend(task);
        dispatch(task->key);
        return;
    }
    m_tasks.remove(task->id);
    Result result;
    result.transport = error;
    if (task->completion)
        task->completion(result);
    dispatch(task->key);
}

void PLRUploadClient::finishTask(const ConnectionPtr& connection, const Result& result, bool keepConnection)
{
    const TaskPtr task = std::exchange(connection->task, nullptr);
    connection->timer->stop();
    connection->stallTimer->stop();
    connection->body.reset();
    connection->unsent = 0;
    connection->resetAnswer();
    if (!keepConnection)
        dropConnection(connection);
    if (task && m_tasks.remove(task->id) && task->completion)
        task->completion(result);
    // The next request goes from the event loop, once what has already reached the connection
    // (an answer that nobody asked for) has been seen.
    scheduleDispatch(connection->key);
}

void PLRUploadClient::dropConnection(const ConnectionPtr& connection)
{
    m_connections[connection->key].removeAll(connection);
    connection->timer->stop();
    connection->stallTimer->stop();
    connection->ready = false;
    if (QAbstractSocket* socket = connection->socket.release()) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}
