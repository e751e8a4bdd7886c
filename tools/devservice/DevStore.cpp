#include "DevStore.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QUuid>

DevStore::DevStore(QString dataPath) : m_dataPath(std::move(dataPath)) {}

bool DevStore::load(QString* message)
{
    if (m_dataPath.isEmpty() || !QFile::exists(m_dataPath))
        return true;
    QFile file(m_dataPath);
    if (!file.open(QIODevice::ReadOnly)) {
        *message = QStringLiteral("cannot read %1: %2").arg(m_dataPath, file.errorString());
        return false;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (!document.isObject()) {
        *message = QStringLiteral("%1 is not a JSON object: %2").arg(m_dataPath, error.errorString());
        return false;
    }
    const QJsonObject root = document.object();
    m_users.clear();
    for (const QJsonValue& value : root.value(QStringLiteral("users")).toArray()) {
        const QJsonObject object = value.toObject();
        User user{object.value(QStringLiteral("id")).toString(), object.value(QStringLiteral("email")).toString(),
                  object.value(QStringLiteral("password")).toString(),
                  object.value(QStringLiteral("extra")).toObject()};
        if (user.id.isEmpty() || user.email.isEmpty())
            continue;
        m_nextUserId = qMax(m_nextUserId, user.id.toInt() + 1);
        m_users.append(user);
    }
    const QJsonObject tokens = root.value(QStringLiteral("tokens")).toObject();
    for (auto it = tokens.begin(); it != tokens.end(); ++it)
        m_tokens.insert(it.key(), it.value().toString());
    if (root.contains(QStringLiteral("minimum_version")))
        m_minimumVersion = root.value(QStringLiteral("minimum_version")).toString();
    return true;
}

void DevStore::save() const
{
    if (m_dataPath.isEmpty())
        return;
    QJsonArray users;
    for (const User& user : m_users) {
        users.append(QJsonObject{{QStringLiteral("id"), user.id},
                                 {QStringLiteral("email"), user.email},
                                 {QStringLiteral("password"), user.password},
                                 {QStringLiteral("extra"), user.extra}});
    }
    QJsonObject tokens;
    for (auto it = m_tokens.begin(); it != m_tokens.end(); ++it)
        tokens.insert(it.key(), it.value());
    const QJsonObject root{{QStringLiteral("users"), users},
                           {QStringLiteral("tokens"), tokens},
                           {QStringLiteral("minimum_version"), m_minimumVersion}};
    QSaveFile file(m_dataPath);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(root).toJson()) < 0 || !file.commit())
        qWarning("devservice: cannot write %s", qPrintable(m_dataPath));
}

QString DevStore::addUser(const QString& email, const QString& password)
{
    for (User& user : m_users) {
        if (user.email.compare(email, Qt::CaseInsensitive) == 0) {
            user.password = password;
            save();
            return user.id;
        }
    }
    const QString id = QString::number(m_nextUserId++);
    m_users.append(User{id, email, password, {}});
    save();
    return id;
}

const DevStore::User* DevStore::userByEmail(const QString& email) const
{
    for (const User& user : m_users) {
        if (user.email.compare(email, Qt::CaseInsensitive) == 0)
            return &user;
    }
    return nullptr;
}

const DevStore::User* DevStore::userById(const QString& id) const
{
    for (const User& user : m_users) {
        if (user.id == id)
            return &user;
    }
    return nullptr;
}

DevStore::User* DevStore::mutableUserById(const QString& id)
{
    for (User& user : m_users) {
        if (user.id == id)
            return &user;
    }
    return nullptr;
}

static QByteArray base64Url(const QByteArray& bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QString DevStore::issueToken(const QString& userId)
{
    // Shaped like a JWT; the service only ever looks it up.
    QByteArray random(24, Qt::Uninitialized);
    for (char& c : random)
        c = char(QRandomGenerator::global()->bounded(256));
    const QByteArray header = base64Url(R"({"alg":"none","typ":"JWT"})");
    const QByteArray payload = base64Url(QJsonDocument(QJsonObject{{QStringLiteral("sub"), userId}}).toJson(QJsonDocument::Compact));
    const QString token = QString::fromLatin1(header + '.' + payload + '.' + base64Url(random));
    m_tokens.insert(token, userId);
    save();
    return token;
}

std::optional<QString> DevStore::userIdForToken(const QString& token) const
{
    const auto it = m_tokens.constFind(token);
    if (it == m_tokens.constEnd())
        return std::nullopt;
    return *it;
}

void DevStore::setMinimumVersion(const QString& version)
{
    m_minimumVersion = version;
    save();
}

QString DevStore::grantUpload(const UploadGrant& grant)
{
    const QString token = QUuid::createUuid().toString(QUuid::Id128);
    m_uploadGrants.insert(token, grant);
    return token;
}

std::optional<DevStore::UploadGrant> DevStore::uploadGrant(const QString& token) const
{
    const auto found = m_uploadGrants.constFind(token);
    if (found == m_uploadGrants.constEnd())
        return std::nullopt;
    return *found;
}

void DevStore::storePhoto(const QString& userId, const QString& hash, const QByteArray& bytes)
{
    m_photos[userId].insert(hash, bytes);
    ++m_uploadCount;
}

bool DevStore::hasPhoto(const QString& userId, const QString& hash) const
{
    return m_photos.value(userId).contains(hash);
}

QByteArray DevStore::photo(const QString& userId, const QString& hash) const
{
    return m_photos.value(userId).value(hash);
}

QStringList DevStore::uploadedHashes() const
{
    QStringList hashes;
    for (const auto& perUser : m_photos)
        hashes += perUser.keys();
    hashes.sort();
    return hashes;
}
