#include "shell/PLRInstanceChannel.h"

#include "platform/Bundle.h"
#include "platform/Json.h"
#include "platform/Log.h"
#include "platform/Paths.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <QUrl>

#include <unistd.h>

namespace {

QByteArray frame(const QByteArray& payload)
{
    QByteArray out;
    QDataStream stream(&out, QIODevice::WriteOnly);
    stream << quint32(payload.size());
    out.append(payload);
    return out;
}

} // namespace

PLRInstanceChannel::PLRInstanceChannel(QString serverName, QObject* parent)
    : QObject(parent), m_serverName(std::move(serverName))
{
}

PLRInstanceChannel::~PLRInstanceChannel()
{
    if (m_server)
        m_server->close();
}

QString PLRInstanceChannel::defaultServerName()
{
    const QByteArray key = (platform::bundle::identifier() + QLatin1Char('\n') + platform::paths::applicationSupport()).toUtf8();
    const QByteArray digest = QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("pellora-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest));
}

PLRInstanceChannel::HandOver PLRInstanceChannel::handOver(const QString& serverName, const QStringList& arguments,
                                                          const std::function<bool()>& stillThere, int pollMs)
{
    const QByteArray payload = platform::json::write(QVariant(arguments), false, nullptr);
    if (payload.size() > kMaximumMessageSize) {
        PLR_LOG_ERROR(QStringLiteral("%1 item(s) are too many to hand to the running Pellora").arg(arguments.size()));
        return HandOver::Refused;
    }
    const QByteArray message = frame(payload);
    // A connection closed without an answer is what an instance that is quitting does too, so
    // it is tried again a few times before it counts as a refusal.
    constexpr int kClosedWithoutAnswerToGiveUp = 3;
    constexpr qint64 kLogWaitAfterMs = 5000;
    int closedWithoutAnswer = 0;
    QElapsedTimer waiting;
    waiting.start();
    bool toldOfWait = false;
    const auto stillWaiting = [&] {
        if (!stillThere())
            return false;
        if (!toldOfWait && waiting.hasExpired(kLogWaitAfterMs)) {
            toldOfWait = true;
            PLR_LOG_INFO(QStringLiteral("Waiting for the running Pellora to take %1 item(s)").arg(arguments.size()));
        }
        return true;
    };
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(serverName);
        if (!socket.waitForConnected(pollMs)) {
            // Not listening yet (starting) or any more (ending): asked again after a pause.
            socket.abort();
            if (!stillWaiting())
                return HandOver::Gone;
            QThread::msleep(ulong(pollMs));
            continue;
        }
        socket.write(message);
        QByteArray answer;
        for (;;) {
            // Writes what is left of the message as the other side reads, and reads its answer.
            socket.waitForReadyRead(pollMs);
            answer += socket.readAll();
            if (answer.size() >= 2 || socket.state() == QLocalSocket::UnconnectedState)
                break;
            if (!stillWaiting()) {
                // Its answer may have come just before it ended.
                socket.waitForReadyRead(0);
                answer += socket.readAll();
                return answer.startsWith("OK") ? HandOver::Taken : HandOver::Gone;
            }
        }
        if (answer.startsWith("OK"))
            return HandOver::Taken;
        if (!stillThere())
            return HandOver::Gone;
        if (++closedWithoutAnswer >= kClosedWithoutAnswerToGiveUp)
            return HandOver::Refused;
        QThread::msleep(ulong(pollMs));
    }
}

bool PLRInstanceChannel::listen()
{
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName)) {
        // A socket file without a listener is what a crashed instance leaves behind.
        QLocalSocket probe;
        probe.connectToServer(m_serverName);
        if (probe.waitForConnected(200)) {
            PLR_LOG_WARN(QStringLiteral("Another instance already listens on %1").arg(m_serverName));
            return false;
        }
        QLocalServer::removeServer(m_serverName);
        if (!m_server->listen(m_serverName)) {
            PLR_LOG_WARN(QStringLiteral("Cannot receive files from other starts: %1").arg(m_server->errorString()));
            return false;
        }
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, &PLRInstanceChannel::acceptConnection);
    return true;
}

void PLRInstanceChannel::acceptConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        QPointer<PLRInstanceChannel> self(this);
        connect(socket, &QLocalSocket::readyRead, this, [self, socket, buffer] {
            buffer->append(socket->readAll());
            if (buffer->size() < 4)
                return;
            QDataStream stream(*buffer);
            quint32 length = 0;
            stream >> length;
            if (length > kMaximumMessageSize) {
                PLR_LOG_WARN(QStringLiteral("Refused an oversized message from another start (%1 bytes)").arg(length));
                socket->abort();
                return;
            }
            if (qint64(buffer->size()) < 4 + qint64(length))
                return;
            platform::Error error;
            const QVariant value = platform::json::parse(buffer->mid(4, int(length)), false, &error);
            buffer->clear();
            if (value.typeId() != QMetaType::QVariantList) {
                PLR_LOG_WARN(QStringLiteral("Ignored an unreadable message from another start"));
                socket->abort();
                return;
            }
            QStringList arguments;
            for (const QVariant& item : value.toList())
                arguments << item.toString();
            socket->write("OK");
            socket->flush();
            // Handed on once the socket is done with this read: what opens the files may run a
            // modal loop (an alert), in which the other start ends and its connection is deleted.
            QMetaObject::invokeMethod(
                self, [self, arguments] { if (self) emit self->argumentsReceived(arguments); }, Qt::QueuedConnection);
        });
    }
}

QStringList PLROpenableArguments(const QStringList& arguments, const QString& workingDirectory)
{
    QStringList result;
    bool optionsEnded = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument.startsWith(QLatin1Char('-')))
            continue;
        const QUrl url(argument);
        if (url.isValid() && !url.scheme().isEmpty() && url.scheme().size() > 1) {
            // file:// addresses become paths; other addresses are passed on as they are.
            result << (url.isLocalFile() ? url.toLocalFile() : argument);
            continue;
        }
        result << QDir::cleanPath(QDir(workingDirectory).absoluteFilePath(argument));
    }
    return result;
}
