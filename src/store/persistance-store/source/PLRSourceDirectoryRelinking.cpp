#include "store/persistance-store/source/PLRSourceDirectory.h"

#include "store/persistance-store/source/PLRSourceDirectoryPrivate.h"
#include "store/persistance-store/PLRFileUtilities.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Plist.h"

#include <QDir>
#include <QFileInfo>

void PLRSourceDirectory::setNewLocation(const QUrl& url)
{
    if (!url.isLocalFile()) {
        PLR_LOG_WARN(QStringLiteral("Cannot relink to %1: not a local folder").arg(url.toString()));
        return;
    }
    {
        QMutexLocker lock(&m_mutex);
        m_path = QDir::cleanPath(url.toLocalFile());
        m_state = StateLoading;
    }
    {
        QMutexLocker lock(&m_progress->mutex);
        m_progress->scanDone = false;
    }
    m_watching = true;
    queueRescan(true);
}

void PLRSourceDirectory::relinkByFileName(const QString& folder, const Listing& listing,
                                          QHash<QString, PLRSourceImagePtr>& byPath)
{
    // Re-point records whose file is not at the same place by file name.
    QHash<QString, QString> freeByName;   // file name -> relative path of an unclaimed file
    for (auto it = listing.files.cbegin(); it != listing.files.cend(); ++it) {
        if (!byPath.contains(it.key()))
            freeByName.insert(QFileInfo(it.key()).fileName(), it.key());
    }
    for (const auto& image : m_images + m_vanished) {
        if (listing.files.contains(image->relativePath()))
            continue;
        const auto match = freeByName.find(image->fileName());
        if (match == freeByName.end())
            continue;
        const QString newRelative = match.value();
        freeByName.erase(match);
        if (byPath.value(image->relativePath()) == image)
            byPath.remove(image->relativePath());
        image->setFile(QDir(folder).filePath(newRelative), newRelative, PLRFileStamp{}, PLRImageMetadata{});
        image->setFileDeleted(true);
        byPath.insert(newRelative, image);
    }
}
