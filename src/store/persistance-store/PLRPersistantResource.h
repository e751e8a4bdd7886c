#pragma once

#include "store/persistance-store/PLRSaveBatch.h"

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <optional>

// Base of the stored records: a bundle folder with an info.plist. Keys of the info.plist
// that the record does not know are kept and written back unchanged.
class PLRPersistantResource : public QObject {
    Q_OBJECT
public:
    ~PLRPersistantResource() override;

    QString identifier() const { return m_identifier; }
    QString version() const { return m_version; }
    // The info.plist as last read or written, with the record's own keys overlaid.
    QVariantMap metadata() const;
    void setMetadataValue(const QString& key, const QVariant& value);

    bool hasChanges() const { return m_hasChanges; }
    // Marks the record as changed: the next save writes it even when its bytes look the same.
    void setHasChanges(bool changes) { m_hasChanges = changes; }

    // The bundle folder.
    virtual QString bundlePath() const = 0;

    // Main thread: the record's bundle serialised for writing, or nothing when the bundle on
    // disk is already current (and `force` is false).
    virtual std::optional<PLRBundleWrite> prepareWrite(bool force = false) = 0;

    // Writes the record now, after the writes already queued on the save queue.
    virtual bool save();

protected:
    PLRPersistantResource(QString identifier, QString version, QObject* parent = nullptr);
    void setIdentifier(const QString& identifier) { m_identifier = identifier; }
    void setVersion(const QString& version) { m_version = version; }
    void setStoredMetadata(const QVariantMap& metadata) { m_metadata = metadata; }
    const QVariantMap& storedMetadata() const { return m_metadata; }
    // The record's own info.plist keys; metadata() is the stored dictionary overlaid by these.
    virtual QVariantMap ownMetadata() const = 0;

private:
    QString m_identifier;
    QString m_version;
    QVariantMap m_metadata;
    bool m_hasChanges = false;
};
