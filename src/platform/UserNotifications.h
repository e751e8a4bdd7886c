#pragma once

#include <QString>

#include <memory>
#include <vector>

namespace platform {

// Notices to the user from outside the window (a message arrived) and the application's
// badge. On the desktop: freedesktop notifications over D-Bus where a notification server
// answers (a notice none answers is logged), and the badge as the count of the application's
// launcher entry (the launcher-entry signal docks and task managers read) and as a "(N) "
// prefix of the windows' titles with an attention request.
class UserNotificationCenter {
public:
    virtual ~UserNotificationCenter() = default;
    static UserNotificationCenter& shared();
    static void setShared(std::unique_ptr<UserNotificationCenter> center);

    virtual void deliver(const QString& title, const QString& informativeText, const QString& identifier) = 0;
    // The badge text ("" clears it).
    virtual void setBadgeLabel(const QString& label) = 0;
    virtual QString badgeLabel() const = 0;
};

class DesktopNotificationCenter final : public UserNotificationCenter {
public:
    // On the named D-Bus connection (tests); the session bus when none is named.
    explicit DesktopNotificationCenter(const QString& busConnection = QString());

    // The launcher entry's signal: interface and member, and the object path it is sent from.
    static constexpr const char* kLauncherEntryInterface = "com.canonical.Unity.LauncherEntry";
    static constexpr const char* kLauncherEntryPath = "/com/quenfield/pellora/LauncherEntry";
    // "application://<desktop file>.desktop".
    static QString launcherEntryURI();

    void deliver(const QString& title, const QString& informativeText, const QString& identifier) override;
    void setBadgeLabel(const QString& label) override;
    QString badgeLabel() const override { return m_badge; }

private:
    QString m_busConnection;
    QString m_badge;
};

// Tests: remembers what was delivered.
class RecordingNotificationCenter final : public UserNotificationCenter {
public:
    struct Delivered {
        QString title;
        QString informativeText;
        QString identifier;
    };
    void deliver(const QString& title, const QString& informativeText, const QString& identifier) override
    {
        delivered.push_back({title, informativeText, identifier});
    }
    void setBadgeLabel(const QString& label) override { badge = label; }
    QString badgeLabel() const override { return badge; }

    std::vector<Delivered> delivered;
    QString badge;
};

} // namespace platform
