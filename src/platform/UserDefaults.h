#pragma once

#include <QMutex>
#include <QObject>
#include <QSettings>
#include <QVariantMap>

#include <memory>

namespace platform {

// The user defaults: one INI file (group [General]) in the settings folder, keys spelled
// exactly as the rest of the program names them. Registered defaults answer for absent keys.
// Values of the wrong type read as the type's zero (or the registered default).
class UserDefaults : public QObject {
    Q_OBJECT
public:
    static UserDefaults& standard();

    QVariant objectForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;
    bool boolForKey(const QString& key) const;
    qint64 integerForKey(const QString& key) const;
    double doubleForKey(const QString& key) const;
    QByteArray dataForKey(const QString& key) const;
    QVariantList arrayForKey(const QString& key) const;
    QVariantMap dictionaryForKey(const QString& key) const;
    bool hasKey(const QString& key) const;

    void setObject(const QString& key, const QVariant& value);
    void setBool(const QString& key, bool value) { setObject(key, value); }
    void setInteger(const QString& key, qint64 value) { setObject(key, value); }
    void setDouble(const QString& key, double value) { setObject(key, value); }
    void setString(const QString& key, const QString& value) { setObject(key, value); }
    void removeObject(const QString& key);

    void registerDefaults(const QVariantMap& defaults);
    // Writes pending changes to disk; false (with a log line) when the file cannot be written.
    bool synchronize();
    // Re-reads the file from the current settings folder (after PELLORA_HOME changed).
    void reload();
    QString filePath() const;

signals:
    void valueChanged(const QString& key);

private:
    UserDefaults();
    mutable QRecursiveMutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
    QVariantMap m_registered;
};

} // namespace platform
