#include "store/persistance-store/PLRPersistantResource.h"

#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "store/session/PLRCoreManager.h"

PLRPersistantResource::PLRPersistantResource(QString identifier, QString version, QObject* parent)
    : QObject(parent), m_identifier(std::move(identifier)), m_version(std::move(version))
{
}

PLRPersistantResource::~PLRPersistantResource() = default;

QVariantMap PLRPersistantResource::metadata() const
{
    QVariantMap result = m_metadata;
    const QVariantMap own = ownMetadata();
    for (auto it = own.cbegin(); it != own.cend(); ++it) {
        if (it.value().isValid())
            result.insert(it.key(), it.value());
        else
            result.remove(it.key());
    }
    return result;
}

void PLRPersistantResource::setMetadataValue(const QString& key, const QVariant& value)
{
    if (value.isValid())
        m_metadata.insert(key, value);
    else
        m_metadata.remove(key);
    m_hasChanges = true;
}

bool PLRPersistantResource::save()
{
    if (!platform::isMainThread()) {
        // The records belong to the main thread: serialise there, then write on the queue.
        QPointer<PLRPersistantResource> self(this);
        platform::dispatchMain([self] {
            if (self)
                self->save();
        });
        return true;
    }
    std::optional<PLRBundleWrite> write = prepareWrite(false);
    if (!write)
        return true;
    write->origin = this;
    PLRSaveBatch batch;
    batch.bundles.push_back(std::move(*write));
    bool written = false;
    // After the writes already queued, so an older queued write cannot land later.
    PLRCoreManager::saveQueue().sync([&] { written = batch.write(); });
    return written;
}
