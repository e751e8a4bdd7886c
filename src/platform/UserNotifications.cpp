#include "platform/UserNotifications.h"

#include "platform/Bundle.h"
#include "platform/Log.h"
#include "platform/Resets.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRegularExpression>
#include <QVariantMap>
#include <QWidget>

namespace platform {

namespace {

std::unique_ptr<UserNotificationCenter>& sharedCenter()
{
    static std::unique_ptr<UserNotificationCenter> center;
    static const bool joined = resets::add([] { center.reset(); });
    (void)joined;
    return center;
}

} // namespace

UserNotificationCenter& UserNotificationCenter::shared()
{
    if (!sharedCenter())
        sharedCenter() = std::make_unique<DesktopNotificationCenter>();
    return *sharedCenter();
}

void UserNotificationCenter::setShared(std::unique_ptr<UserNotificationCenter> center)
{
    sharedCenter() = std::move(center);
}

namespace {

QDBusConnection busNamed(const QString& name)
{
    return name.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(name);
}

} // namespace

DesktopNotificationCenter::DesktopNotificationCenter(const QString& busConnection) : m_busConnection(busConnection) {}

QString DesktopNotificationCenter::launcherEntryURI()
{
    const QString desktopFile = QGuiApplication::desktopFileName();
    return QStringLiteral("application://%1.desktop").arg(desktopFile.isEmpty() ? bundle::identifier() : desktopFile);
}

void DesktopNotificationCenter::deliver(const QString& title, const QString& informativeText, const QString& identifier)
{
    QDBusConnection bus = busNamed(m_busConnection);
    if (!bus.isConnected()) {
        PLR_LOG_INFO(QStringLiteral("No desktop notification server; notice %1 not shown: %2").arg(identifier, title));
        return;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    message << QApplication::applicationName() << quint32(0) << QString() << title << informativeText
            << QStringList() << QVariantMap{{QStringLiteral("desktop-entry"), QApplication::desktopFileName()}}
            << qint32(-1);
    // A bus without a notification server answers with an error: the notice is not shown.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [identifier, title](QDBusPendingCallWatcher* call) {
        if (call->isError())
            PLR_LOG_INFO(QStringLiteral("No desktop notification server answered (%1); notice %2 not shown: %3")
                             .arg(call->error().name(), identifier, title));
        call->deleteLater();
    });
}

void DesktopNotificationCenter::setBadgeLabel(const QString& label)
{
    m_badge = label;
    // The launcher entry's count (a dock or task manager shows it on the application's icon).
    QDBusConnection bus = busNamed(m_busConnection);
    if (bus.isConnected()) {
        bool numeric = false;
        const qint64 count = label.toLongLong(&numeric);
        QDBusMessage update = QDBusMessage::createSignal(QString::fromLatin1(kLauncherEntryPath),
                                                         QString::fromLatin1(kLauncherEntryInterface), QStringLiteral("Update"));
        update << launcherEntryURI()
               << QVariantMap{{QStringLiteral("count"), numeric ? count : qint64(label.isEmpty() ? 0 : 1)},
                              {QStringLiteral("count-visible"), !label.isEmpty() && (!numeric || count > 0)}};
        bus.send(update);
    }
    static const QRegularExpression prefix(QStringLiteral("^\\(\\S+\\) "));
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isWindow() || !window->isVisible() || window->windowTitle().isEmpty())
            continue;
        QString title = window->windowTitle();
        title.remove(prefix);
        window->setWindowTitle(label.isEmpty() ? title : QStringLiteral("(%1) %2").arg(label, title));
        if (!label.isEmpty())
            QApplication::alert(window);
    }
}

} // namespace platform
