#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// The service's data: accounts, issued tokens and settings. In memory, written to a JSON file
// after every change when one is given.
class DevStore {
public:
    struct User {
        QString id;
        QString email;
        QString password;
        QJsonObject extra;   // members later resources keep per user
    };

    explicit DevStore(QString dataPath = QString());

    // Reads the data file when there is one; false (with a message) when it is unreadable.
    bool load(QString* message);
    void save() const;

    // Adds (or replaces the password of) an account; answers its id.
    QString addUser(const QString& email, const QString& password);
    const User* userByEmail(const QString& email) const;
    const User* userById(const QString& id) const;
    User* mutableUserById(const QString& id);
    QList<User> users() const { return m_users; }

    // A new session token for the user.
    QString issueToken(const QString& userId);
    // The user id of a token, nothing when the token is unknown.
    std::optional<QString> userIdForToken(const QString& token) const;

    QString minimumVersion() const { return m_minimumVersion; }
    void setMinimumVersion(const QString& version);

    static QString demoEmail() { return QStringLiteral("demo@pellora.test"); }
    static QString demoPassword() { return QStringLiteral("pellora-demo"); }

private:
    QString m_dataPath;
    QList<User> m_users;
    QHash<QString, QString> m_tokens;   // token -> user id
    QString m_minimumVersion = QStringLiteral("1.0");
    int m_nextUserId = 1;
};
