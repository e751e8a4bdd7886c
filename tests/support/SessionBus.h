#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <vector>

class QDBusVirtualObject;

namespace testing_support {

// A private D-Bus session bus (dbus-daemon --session) for one test, and the test's own
// connection to it, which hears the launcher-entry signals sent on it and can stand in for the
// desktop's notification server. Stopped when destroyed.
class PrivateSessionBus : public QObject {
    Q_OBJECT
public:
    PrivateSessionBus();
    ~PrivateSessionBus() override;

    // Starts the bus and connects to it; false (with a warning) when dbus-daemon cannot run.
    bool start();
    // The address for DBUS_SESSION_BUS_ADDRESS.
    QString address() const { return m_address; }
    // The name of the test's connection (QDBusConnection(name)).
    QString connectionName() const { return m_connectionName; }
    // Connects another client to the bus under the name (as the application under test does).
    bool connectClient(const QString& name) const;

    struct LauncherUpdate {
        QString application;
        QVariantMap properties;
    };
    // Every launcher-entry Update heard since start, in order.
    const std::vector<LauncherUpdate>& launcherUpdates() const { return m_updates; }

    struct Notice {
        QString application;
        QString title;
        QString body;
    };
    // Takes the notification server's name on the bus: from now on Notify calls are answered
    // and recorded.
    bool serveNotifications();
    const std::vector<Notice>& notices() const { return m_notices; }

public slots:
    void launcherEntryUpdated(const QString& application, const QVariantMap& properties);

private:
    std::unique_ptr<QProcess> m_daemon;
    QString m_address;
    QString m_connectionName;
    std::vector<LauncherUpdate> m_updates;
    std::vector<Notice> m_notices;
    std::unique_ptr<QDBusVirtualObject> m_server;
};

} // namespace testing_support
