#include "store/persistance-store/PLRSaveBatch.h"

#include <QFile>
#include <QFileInfo>

#include "store/persistance-store/PLRFileUtilities.h"
#include "store/persistance-store/PLRPersistantResource.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Plist.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <numeric>

bool writeBundle(const PLRBundleWrite& bundle)
{
    platform::Error error;
    if (!plr::fileutil::ensureDirectory(bundle.bundlePath, &error)) {
        PLR_LOG_ERROR(QStringLiteral("Save of %1 failed: %2").arg(bundle.description, error.toString()));
        return false;
    }
    for (const auto& [name, bytes] : bundle.files) {
        if (!platform::files::writeAtomically(bundle.bundlePath + QLatin1Char('/') + name, bytes, &error)) {
            PLR_LOG_ERROR(QStringLiteral("Save of %1 failed writing %2: %3")
                              .arg(bundle.description, name, error.toString()));
            return false;
        }
    }
    for (const QString& name : bundle.removedFiles) {
        const QString path = bundle.bundlePath + QLatin1Char('/') + name;
        if (QFileInfo(path).isSymLink() || QFileInfo::exists(path)) {
            if (!QFile::remove(path))
                PLR_LOG_WARN(QStringLiteral("Save of %1 could not remove %2").arg(bundle.description, name));
        }
    }
    if (!bundle.plist.isEmpty()
        && !platform::plist::writeFile(bundle.bundlePath + QLatin1Char('/') + bundle.plistName,
                                       bundle.plist, &error)) {
        PLR_LOG_ERROR(QStringLiteral("Save of %1 failed writing %2: %3")
                          .arg(bundle.description, bundle.plistName, error.toString()));
        return false;
    }
    return true;
}

bool PLRSaveBatch::write() const
{
    // Bundles are independent of each other: larger batches are written by a few threads at
    // once, so their waits for the disk overlap. The batch as a whole still runs in queue order.
    std::vector<char> written(bundles.size(), 0);
    const auto writeOne = [this, &written](size_t index) { written[index] = writeBundle(bundles[index]) ? 1 : 0; };
    if (bundles.size() < 8) {
        for (size_t i = 0; i < bundles.size(); ++i)
            writeOne(i);
    } else {
        static QThreadPool pool;
        pool.setMaxThreadCount(8);
        std::vector<size_t> indexes(bundles.size());
        std::iota(indexes.begin(), indexes.end(), size_t(0));
        QtConcurrent::blockingMap(&pool, indexes, writeOne);
    }

    bool allWritten = true;
    for (size_t i = 0; i < bundles.size(); ++i) {
        const PLRBundleWrite& bundle = bundles[i];
        if (written[i])
            continue;
        allWritten = false;
        // The record's idea of what is on disk is wrong now: have the next save write it.
        QPointer<PLRPersistantResource> origin = bundle.origin;
        platform::dispatchMain([origin] {
            if (origin)
                origin->setHasChanges(true);
        });
    }
    return allWritten;
}
