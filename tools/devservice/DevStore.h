#pragma once

#include <QHash>
#include <QJsonObject>
#include <QByteArray>
#include <QList>
#include <QSet>
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

    // ---- publishing, in memory only ----
    // A signed upload address's grant: whose photo, for which post, with which hash.
    struct UploadGrant {
        QString userId;
        QString postId;
        QString refId;
        QString hash;
    };
    // A new token for an upload address.
    QString grantUpload(const UploadGrant& grant);
    std::optional<UploadGrant> uploadGrant(const QString& token) const;
    // Received photo files by their upper-case SHA-1, per user.
    void storePhoto(const QString& userId, const QString& hash, const QByteArray& bytes);
    bool hasPhoto(const QString& userId, const QString& hash) const;
    QByteArray photo(const QString& userId, const QString& hash) const;
    QStringList uploadedHashes() const;
    int uploadCount() const { return m_uploadCount; }
    // Fetches of a post that a build started from now on takes.
    int buildChecks() const { return m_buildChecks; }
    void setBuildChecks(int checks) { m_buildChecks = checks; }
    // Script the chat page runs once it has loaded (empty: none).
    QString chatPageScript() const { return m_chatPageScript; }
    void setChatPageScript(const QString& script) { m_chatPageScript = script; }

    static QString demoEmail() { return QStringLiteral("demo@pellora.test"); }
    static QString demoPassword() { return QStringLiteral("pellora-demo"); }

private:
    QString m_dataPath;
    QList<User> m_users;
    QHash<QString, QString> m_tokens;   // token -> user id
    QString m_minimumVersion = QStringLiteral("1.0");
    int m_nextUserId = 1;
    QHash<QString, UploadGrant> m_uploadGrants;           // token -> grant
    QHash<QString, QHash<QString, QByteArray>> m_photos;  // user id -> hash -> bytes
    int m_uploadCount = 0;
    int m_buildChecks = 0;
    QString m_chatPageScript;
};
