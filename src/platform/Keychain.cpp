#include "platform/Keychain.h"

#include "platform/Files.h"
#include "platform/Json.h"
#include "platform/Log.h"
#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMutex>
#include <QTimer>

#include <map>

#include <qt6keychain/keychain.h>

namespace platform {

namespace {

class MemoryKeychain final : public Keychain {
public:
    QString backendName() const override { return QStringLiteral("memory"); }
    bool setPassword(const QString& service, const QString& key, const QString& value, Error*) override
    {
        QMutexLocker lock(&m_mutex);
        m_items[{service, key}] = value;
        return true;
    }
    std::optional<QString> password(const QString& service, const QString& key, Error*) override
    {
        QMutexLocker lock(&m_mutex);
        auto it = m_items.find({service, key});
        if (it == m_items.end())
            return std::nullopt;
        return it->second;
    }
    bool remove(const QString& service, const QString& key, Error*) override
    {
        QMutexLocker lock(&m_mutex);
        m_items.erase({service, key});
        return true;
    }
private:
    QMutex m_mutex;
    std::map<std::pair<QString, QString>, QString> m_items;
};

// Items kept in one JSON file readable by the owner only: {service: {key: value}}.
class FileKeychain final : public Keychain {
public:
    explicit FileKeychain(QString path) : m_path(std::move(path)) {}
    QString backendName() const override { return QStringLiteral("file"); }

    bool setPassword(const QString& service, const QString& key, const QString& value, Error* error) override
    {
        QMutexLocker lock(&m_mutex);
        QVariantMap all;
        if (!load(&all, error))
            return false;
        QVariantMap items = all.value(service).toMap();
        items.insert(key, value);
        all.insert(service, items);
        return store(all, error);
    }
    std::optional<QString> password(const QString& service, const QString& key, Error* error) override
    {
        QMutexLocker lock(&m_mutex);
        QVariantMap all;
        if (!load(&all, error))
            return std::nullopt;
        const QVariant v = all.value(service).toMap().value(key);
        if (v.typeId() != QMetaType::QString)
            return std::nullopt;
        return v.toString();
    }
    bool remove(const QString& service, const QString& key, Error* error) override
    {
        QMutexLocker lock(&m_mutex);
        QVariantMap all;
        if (!load(&all, error))
            return false;
        QVariantMap items = all.value(service).toMap();
        if (!items.contains(key))
            return true;
        items.remove(key);
        if (items.isEmpty())
            all.remove(service);
        else
            all.insert(service, items);
        return store(all, error);
    }

private:
    bool load(QVariantMap* all, Error* error)
    {
        if (!QFile::exists(m_path))
            return true;
        QByteArray bytes;
        if (!files::readAll(m_path, &bytes, error))
            return false;
        const QVariant parsed = json::parse(bytes, false);
        if (parsed.typeId() != QMetaType::QVariantMap) {
            // Never overwrite a file we cannot read: report and leave it for the user.
            PLR_LOG_ERROR(QStringLiteral("The keychain file %1 is corrupt; it is left untouched").arg(m_path));
            if (error)
                *error = Error::make(kKeychainErrorDomain, -25300, QStringLiteral("The keychain file is corrupt."));
            return false;
        }
        *all = parsed.toMap();
        return true;
    }
    bool store(const QVariantMap& all, Error* error)
    {
        if (!paths::ensureDirectory(QFileInfo(m_path).absolutePath())) {
            if (error)
                *error = Error::make(kKeychainErrorDomain, -61, QStringLiteral("The keychain folder cannot be created."));
            return false;
        }
        const QByteArray bytes = json::write(all, true);
        if (!files::writeAtomically(m_path, bytes, error))
            return false;
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return true;
    }
    QMutex m_mutex;
    QString m_path;
};

// The desktop's Secret Service through qtkeychain. Its jobs are asynchronous; each call
// waits for its job in a local event loop (at most 10 s).
class SecretServiceKeychain final : public Keychain {
public:
    QString backendName() const override { return QStringLiteral("secret"); }

    bool setPassword(const QString& service, const QString& key, const QString& value, Error* error) override
    {
        QKeychain::WritePasswordJob job(service);
        job.setAutoDelete(false);
        job.setKey(key);
        job.setTextData(value);
        return run(job, error);
    }
    std::optional<QString> password(const QString& service, const QString& key, Error* error) override
    {
        QKeychain::ReadPasswordJob job(service);
        job.setAutoDelete(false);
        job.setKey(key);
        if (!run(job, error))
            return std::nullopt;
        return job.textData();
    }
    bool remove(const QString& service, const QString& key, Error* error) override
    {
        QKeychain::DeletePasswordJob job(service);
        job.setAutoDelete(false);
        job.setKey(key);
        return run(job, error);
    }

private:
    static bool run(QKeychain::Job& job, Error* error)
    {
        QEventLoop loop;
        bool finished = false;
        QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
            finished = true;
            loop.quit();
        });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        job.start();
        if (!finished)
            loop.exec();
        if (!finished) {
            PLR_LOG_ERROR(QStringLiteral("The Secret Service did not answer in time"));
            if (error)
                *error = Error::make(kKeychainErrorDomain, -25308, QStringLiteral("The keychain did not answer."));
            return false;
        }
        if (job.error() == QKeychain::NoError)
            return true;
        if (job.error() == QKeychain::EntryNotFound) {
            // A missing item is not a failure for reads and deletes.
            return qobject_cast<QKeychain::WritePasswordJob*>(&job) == nullptr
                && qobject_cast<QKeychain::ReadPasswordJob*>(&job) == nullptr;
        }
        PLR_LOG_ERROR(QStringLiteral("Keychain failure: %1").arg(job.errorString()));
        if (error)
            *error = Error::make(kKeychainErrorDomain, job.error(), job.errorString());
        return false;
    }
};

bool secretServiceAnswers()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    return bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value();
}

std::unique_ptr<Keychain>& sharedSlot()
{
    static std::unique_ptr<Keychain> slot;
    return slot;
}

QMutex& sharedMutex()
{
    static QMutex mutex;
    return mutex;
}

} // namespace

std::unique_ptr<Keychain> Keychain::makeFile(const QString& path) { return std::make_unique<FileKeychain>(path); }

std::unique_ptr<Keychain> Keychain::make(const QString& requested)
{
    QString kind = requested.trimmed().toLower();
    if (kind.isEmpty())
        kind = secretServiceAnswers() ? QStringLiteral("secret") : QStringLiteral("file");
    if (kind == QLatin1String("memory"))
        return std::make_unique<MemoryKeychain>();
    if (kind == QLatin1String("secret")) {
        if (secretServiceAnswers())
            return std::make_unique<SecretServiceKeychain>();
        PLR_LOG_WARN(QStringLiteral("No Secret Service answers on the session bus; credentials go to a private file"));
    } else if (kind != QLatin1String("file")) {
        PLR_LOG_WARN(QStringLiteral("Unknown keychain kind \"%1\"; using the private file").arg(requested));
    }
    return makeFile(QDir(paths::configDirectory()).filePath(QStringLiteral("keychain.json")));
}

Keychain& Keychain::shared()
{
    QMutexLocker lock(&sharedMutex());
    auto& slot = sharedSlot();
    if (!slot)
        slot = make(qEnvironmentVariable("PELLORA_KEYCHAIN"));
    return *slot;
}

void Keychain::setShared(std::unique_ptr<Keychain> keychain)
{
    QMutexLocker lock(&sharedMutex());
    sharedSlot() = std::move(keychain);
}

} // namespace platform
