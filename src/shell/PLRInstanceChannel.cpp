#include "shell/PLRInstanceChannel.h"

#include "platform/Bundle.h"
#include "platform/Json.h"
#include "platform/Log.h"
#include "platform/Paths.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
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

bool PLRInstanceChannel::sendToRunningInstance(const QString& serverName, const QStringList& arguments, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    const QByteArray payload = platform::json::write(QVariant(arguments), false, nullptr);
    socket.write(frame(payload));
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The running instance answers once it has taken the message.
    while (socket.bytesAvailable() < 2) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    return socket.read(2) == "OK";
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
            if (self)
                emit self->argumentsReceived(arguments);
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
