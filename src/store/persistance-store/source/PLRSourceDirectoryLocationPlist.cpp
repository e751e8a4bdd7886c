#include "store/persistance-store/source/PLRSourceDirectory.h"

#include "store/persistance-store/PLRFileUtilities.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/persistance-store/PLRPersistantStore.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Plist.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Below this many records the files' metadata cannot bring the location file near its limit.
constexpr qsizetype kMetadataCheckedFrom = 2000;

bool validRelativePath(const QString& fileName)
{
    return !fileName.isEmpty() && !fileName.startsWith(QLatin1Char('/'))
        && !fileName.split(QLatin1Char('/')).contains(QStringLiteral(".."));
}

} // namespace

void PLRSourceDirectory::loadPlist()
{
    if (m_config.locationPlistPath.isEmpty()
        || platform::files::kindOf(m_config.locationPlistPath) == platform::files::Kind::Missing)
        return;
    bool ok = false;
    platform::Error error;
    // Read up to what a post's location.plist may hold (a larger one is set aside as unreadable).
    const QVariantMap plist =
        platform::plist::readDictionary(m_config.locationPlistPath, &ok, &error, kPLRPostMaxLocationBytes);
    if (!ok) {
        // Kept aside, never overwritten: the next save writes a new file beside it, and with no
        // folder known the post asks for one.
        const QString aside = plr::fileutil::setAside(m_config.locationPlistPath);
        const QString reason = error.localizedFailureReason();
        PLR_LOG_ERROR(QStringLiteral("Cannot read %1 (%2%3); kept as %4")
                          .arg(m_config.locationPlistPath, error.toString(),
                               reason.isEmpty() ? QString() : QLatin1Char(' ') + reason,
                               aside.isEmpty() ? QStringLiteral("(not moved)") : aside));
        return;
    }
    if (m_path.isEmpty())
        m_path = plist.value(QLatin1String(kLocationKey)).toString();
    QSet<QString> seenFiles;
    for (const QVariant& item : plist.value(QLatin1String(kImagesKey)).toList()) {
        const QVariantMap record = item.toMap();
        const QString identifier = record.value(QLatin1String(kIdentifierKey)).toString();
        const QString fileName = record.value(QLatin1String(kFileNameKey)).toString();
        // The identifier names the photo's cache folder: it must not be a path.
        if (!PLRImageManager::isValidIdentifier(identifier) || !validRelativePath(fileName)
            || m_byIdentifier.contains(identifier) || seenFiles.contains(fileName)) {
            PLR_LOG_WARN(QStringLiteral("Skipping an invalid photo record in %1 (identifier \"%2\", file \"%3\")")
                             .arg(m_config.locationPlistPath, identifier.left(160), fileName.left(160)));
            continue;
        }
        seenFiles.insert(fileName);
        PLRFileStamp stamp;
        const QVariant size = record.value(QLatin1String(kFileSizeKey));
        const QVariant modified = record.value(QLatin1String(kFileModifiedKey));
        if (size.canConvert<qint64>() && modified.canConvert<qint64>() && size.toLongLong() >= 0)
            stamp = PLRFileStamp{size.toLongLong(), modified.toLongLong()};
        // What the file held at that size and time: a file found as it was is not read again.
        PLRImageMetadata metadata;
        if (stamp.size < 0
            || !PLRImageMetadata::fromStoredText(record.value(QLatin1String(kMetadataKey)).toString(), &metadata))
            metadata = PLRImageMetadata{};
        auto image = std::make_shared<PLRSourceImage>(identifier, m_config.cacheRoot);
        image->setFolderGeneration(m_generation);
        image->setFile(m_path.isEmpty() ? QString() : QDir(m_path).filePath(fileName), fileName, stamp, metadata);
        image->setFileDeleted(true);   // until the scan finds it
        image->setHidden(record.value(QLatin1String(kHiddenKey)).toBool());
        image->setFocusKeywords(record.value(QLatin1String(kKeywordsKey)).toStringList());
        followProblems(image);
        m_images.append(image);
        m_byIdentifier.insert(identifier, image);
    }
    PLRSourceDirectoryOrdering::sort(m_images, m_ordering.sortType(), m_ordering.sortOrder());
}

QVariantMap PLRSourceDirectory::plistRepresentation() const
{
    QList<PLRSourceImagePtr> all;
    {
        QMutexLocker lock(&m_mutex);
        all = m_images + m_vanished;
    }
    QVariantList records;
    records.reserve(all.size());
    qsizetype withMetadata = 0;
    for (const auto& image : all) {
        QVariantMap record;
        record.insert(QLatin1String(kIdentifierKey), image->identifier());
        record.insert(QLatin1String(kFileNameKey), image->relativePath());
        record.insert(QLatin1String(kHiddenKey), image->isHidden());
        record.insert(QLatin1String(kKeywordsKey), image->focusKeywords());
        const PLRFileStamp stamp = image->fileStamp();
        if (stamp.size >= 0 && stamp.modifiedNs > 0) {
            record.insert(QLatin1String(kFileSizeKey), stamp.size);
            record.insert(QLatin1String(kFileModifiedKey), stamp.modifiedNs);
            if (const QString metadata = image->metadata().storedText(); !metadata.isEmpty()) {
                record.insert(QLatin1String(kMetadataKey), metadata);
                ++withMetadata;
            }
        }
        records.append(record);
    }
    QVariantMap plist;
    plist.insert(QLatin1String(kLocationKey), path());
    plist.insert(QLatin1String(kImagesKey), records);
    // What the files held is only there to spare reading them: never at the cost of a file too
    // large to be read back (a folder of many thousands of photos).
    if (withMetadata > kMetadataCheckedFrom
        && platform::plist::toXml(plist).size() > kPLRPostMaxLocationBytes * 3 / 4) {
        for (QVariant& item : records) {
            QVariantMap record = item.toMap();
            record.remove(QLatin1String(kMetadataKey));
            item = record;
        }
        plist.insert(QLatin1String(kImagesKey), records);
    }
    return plist;
}

bool PLRSourceDirectory::save(platform::Error* error) const
{
    if (m_config.locationPlistPath.isEmpty()) {
        if (error)
            *error = platform::Error::make(QStringLiteral("PLRSourceDirectory"), 1,
                                           QStringLiteral("The post has no location file."));
        return false;
    }
    const QString folder = QFileInfo(m_config.locationPlistPath).absolutePath();
    // Links in the store are never followed: the post's own save sets such a folder aside.
    if (const QString link = PLRPersistantStore::linkOnTheWay(folder); !link.isEmpty()) {
        PLR_LOG_ERROR(QStringLiteral("Cannot save %1: %2 is a link or no folder, and links in the store are never followed")
                          .arg(m_config.locationPlistPath, link));
        if (error)
            *error = platform::Error::make(QStringLiteral("PLRSourceDirectory"), 2,
                                           QStringLiteral("The post's folder in the store is a link."));
        return false;
    }
    platform::paths::ensureDirectory(folder);
    platform::Error writeError;
    const QByteArray xml = platform::plist::toXml(plistRepresentation(), &writeError);
    // A file too large to be read back would cost the post its photos at the next opening: the
    // last one that can be read stays.
    if (!xml.isEmpty() && xml.size() > kPLRPostMaxLocationBytes) {
        writeError = platform::Error::make(QStringLiteral("PLRSourceDirectory"), 3,
                                           QStringLiteral("The post's folder holds too many photos to be recorded."));
        PLR_LOG_ERROR(QStringLiteral("Cannot save %1: %2 bytes, more than the %3 a post's location file may hold")
                          .arg(m_config.locationPlistPath)
                          .arg(xml.size())
                          .arg(kPLRPostMaxLocationBytes));
        if (error)
            *error = writeError;
        return false;
    }
    if (xml.isEmpty() || !platform::files::writeAtomically(m_config.locationPlistPath, xml, &writeError)) {
        PLR_LOG_ERROR(QStringLiteral("Cannot save %1: %2").arg(m_config.locationPlistPath, writeError.localizedDescription()));
        if (error)
            *error = writeError;
        return false;
    }
    return true;
}
