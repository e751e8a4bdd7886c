#include "SessionBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>

#include <functional>

namespace testing_support {

namespace {

// The desktop's notification server as far as Notify goes: each call is recorded and answered
// with a fresh id.
class NotificationServer : public QDBusVirtualObject {
public:
    explicit NotificationServer(std::function<void(const QDBusMessage&)> record) : m_record(std::move(record)) {}
    QString introspect(const QString&) const override { return QString(); }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != QLatin1String("Notify") || message.arguments().size() < 5)
            return false;
        m_record(message);
        connection.send(message.createReply(QVariant::fromValue(++m_lastId)));
        return true;
    }

private:
    std::function<void(const QDBusMessage&)> m_record;
    uint m_lastId = 0;
};

} // namespace

PrivateSessionBus::PrivateSessionBus() = default;

PrivateSessionBus::~PrivateSessionBus()
{
    if (!m_connectionName.isEmpty()) {
        QDBusConnection(m_connectionName).unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        QDBusConnection::disconnectFromBus(m_connectionName);
    }
    if (m_daemon && m_daemon->state() != QProcess::NotRunning) {
        m_daemon->kill();
        m_daemon->waitForFinished(5000);
    }
}

bool PrivateSessionBus::start()
{
    m_daemon = std::make_unique<QProcess>();
    m_daemon->start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    if (!m_daemon->waitForStarted(5000)) {
        qWarning("dbus-daemon did not start: %s", qPrintable(m_daemon->errorString()));
        return false;
    }
    QByteArray line;
    QDeadlineTimer deadline(20000);
    while (!line.contains('\n') && !deadline.hasExpired() && m_daemon->state() == QProcess::Running) {
        m_daemon->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        line += m_daemon->readAllStandardOutput();
    }
    if (!line.contains('\n')) {
        qWarning("dbus-daemon did not tell its address: %s", m_daemon->readAllStandardError().constData());
        return false;
    }
    m_address = QString::fromUtf8(line.left(line.indexOf('\n')).trimmed());
    m_connectionName = QStringLiteral("pellora-test-bus-%1").arg(quintptr(this), 0, 16);
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_connectionName);
    if (!bus.isConnected()) {
        qWarning("Could not connect to the private bus %s", qPrintable(m_address));
        return false;
    }
    return bus.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"),
                       this, SLOT(launcherEntryUpdated(QString, QVariantMap)));
}

bool PrivateSessionBus::connectClient(const QString& name) const
{
    return QDBusConnection::connectToBus(m_address, name).isConnected();
}

bool PrivateSessionBus::serveNotifications()
{
    QDBusConnection bus(m_connectionName);
    m_server = std::make_unique<NotificationServer>([this](const QDBusMessage& message) {
        const QList<QVariant> arguments = message.arguments();
        m_notices.push_back({arguments[0].toString(), arguments[3].toString(), arguments[4].toString()});
    });
    return bus.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), m_server.get())
           && bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

void PrivateSessionBus::launcherEntryUpdated(const QString& application, const QVariantMap& properties)
{
    m_updates.push_back({application, properties});
}

} // namespace testing_support
