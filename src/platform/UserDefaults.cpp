#include "platform/UserDefaults.h"

#include "platform/Dispatch.h"
#include "platform/FirstFrame.h"
#include "platform/Log.h"
#include "platform/Paths.h"

#include <QDir>
#include <QEvent>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

// True when writing `value` (invalid: removing) would leave the stored value as it is. The
// file keeps plain values as text, so a value read back as text is the same when its text is.
bool leavesUnchanged(const QSettings& settings, const QString& key, const QVariant& value)
{
    if (!settings.contains(key)) {
        if (value.isValid())
            return false;
        // Removing a key removes the keys below it too.
        const QString below = key + QLatin1Char('/');
        const QStringList keys = settings.allKeys();
        return std::none_of(keys.begin(), keys.end(), [&below](const QString& k) { return k.startsWith(below); });
    }
    if (!value.isValid())
        return false;
    const QVariant stored = settings.value(key);
    if (stored.typeId() == value.typeId())
        return stored == value;
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return stored.typeId() == QMetaType::QString && stored.toString() == value.toString();
    default:
        return false;
    }
}

// While the main window's first frame is on its way, the settings file is written just after
// that frame instead of before it: each write syncs the file to disk. The values themselves
// read back at once, as always.
class WritesAfterFirstFrame final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // QSettings writes its changes when it gets this event (posted once per batch of
        // changes; a later sync() writes them all).
        if (event->type() != QEvent::UpdateRequest || !isMainThread() || !firstframe::isPending())
            return false;
        if (!m_scheduled) {
            m_scheduled = true;
            QPointer<QObject> settings(watched);
            firstframe::afterFirstFrame(this, [this, settings] {
                m_scheduled = false;
                if (settings)
                    UserDefaults::standard().synchronize();
            });
        }
        return true;
    }

private:
    bool m_scheduled = false;
};

} // namespace

UserDefaults& UserDefaults::standard()
{
    static UserDefaults* defaults = new UserDefaults();   // lives for the whole process
    return *defaults;
}

UserDefaults::UserDefaults() { reload(); }

void UserDefaults::reload()
{
    QMutexLocker lock(&m_mutex);
    if (m_settings)
        m_settings->sync();
    const QString dir = paths::configDirectory();
    paths::ensureDirectory(dir);
    m_settings = std::make_unique<QSettings>(QDir(dir).filePath(QStringLiteral("Pellora.conf")),
                                             QSettings::IniFormat);
    // Owned by the settings object, so it goes with it.
    m_settings->installEventFilter(new WritesAfterFirstFrame(m_settings.get()));
}

QString UserDefaults::filePath() const
{
    QMutexLocker lock(&m_mutex);
    return m_settings->fileName();
}

QVariant UserDefaults::objectForKey(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    if (m_settings->contains(key))
        return m_settings->value(key);
    return m_registered.value(key);
}

bool UserDefaults::hasKey(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    return m_settings->contains(key);
}

QString UserDefaults::stringForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    if (v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray || v.canConvert<QString>())
        return v.toString();
    return QString();
}

bool UserDefaults::boolForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toLower();
        if (s == QLatin1String("true") || s == QLatin1String("yes"))
            return true;
        bool ok = false;
        const qlonglong n = s.toLongLong(&ok);
        return ok && n != 0;
    }
    return v.toBool();
}

qint64 UserDefaults::integerForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed();
        bool ok = false;
        qint64 n = s.toLongLong(&ok);
        if (ok)
            return n;
        const double d = s.toDouble(&ok);
        if (ok && std::isfinite(d))
            return qint64(d);
        if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return 1;
        return m_registered.value(key).toLongLong();
    }
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    return ok ? n : 0;
}

double UserDefaults::doubleForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (ok && std::isfinite(d))
        return d;
    return m_registered.value(key).toDouble();
}

QByteArray UserDefaults::dataForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    return v.typeId() == QMetaType::QByteArray ? v.toByteArray() : QByteArray();
}

QVariantList UserDefaults::arrayForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    if (v.typeId() == QMetaType::QVariantList)
        return v.toList();
    if (v.typeId() == QMetaType::QStringList) {
        QVariantList list;
        for (const QString& s : v.toStringList())
            list << s;
        return list;
    }
    return {};
}

QVariantMap UserDefaults::dictionaryForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    return v.typeId() == QMetaType::QVariantMap ? v.toMap() : QVariantMap();
}

void UserDefaults::setObject(const QString& key, const QVariant& value)
{
    {
        QMutexLocker lock(&m_mutex);
        // An unchanged value is not written again (each write rewrites and syncs the file).
        if (!leavesUnchanged(*m_settings, key, value)) {
            if (!value.isValid())
                m_settings->remove(key);
            else
                m_settings->setValue(key, value);
        }
    }
    emit valueChanged(key);
}

void UserDefaults::removeObject(const QString& key) { setObject(key, QVariant()); }

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    QMutexLocker lock(&m_mutex);
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        m_registered.insert(it.key(), it.value());
}

bool UserDefaults::synchronize()
{
    QMutexLocker lock(&m_mutex);
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError) {
        PLR_LOG_ERROR(QStringLiteral("Could not write the settings file %1").arg(m_settings->fileName()));
        return false;
    }
    return true;
}

} // namespace platform
