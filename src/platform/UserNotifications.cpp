#include "platform/UserNotifications.h"

#include "platform/Log.h"
#include "platform/Resets.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
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

void DesktopNotificationCenter::deliver(const QString& title, const QString& informativeText, const QString& identifier)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
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
    bus.asyncCall(message);
}

void DesktopNotificationCenter::setBadgeLabel(const QString& label)
{
    m_badge = label;
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
