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

bool validRelativePath(const QString& fileName)
{
    return !fileName.isEmpty() && !fileName.startsWith(QLatin1Char('/'))
        && !fileName.split(QLatin1Char('/')).contains(QStringLiteral(".."));
}

// The compact form of the records, for a folder whose records as dictionaries would make the
// file more than the store reads back (some 120,000 photos with nested folders): about 350
// bytes of keys and markup a record, against some 30 here. Under kCompactKey: the folders the
// photos are in and their distinct keyword lists once each, and a line a photo:
// "identifier/folder/size/modified/hidden/keyword list/metadata/name", the name last (a name
// holds no '/', nor do the fields before it), the folder and keyword list as indexes (no
// keyword list: empty), an unknown size and time empty, hidden 0 or 1.
constexpr const char* kCompactKey = "photos";
constexpr const char* kFoldersKey = "folders";
constexpr const char* kKeywordListsKey = "keyword_lists";
constexpr const char* kLinesKey = "lines";
constexpr int kLineFields = 8;

QString compactLine(const PLRSourceDirectory::LocationRecord& record, int folder, int keywords, bool withMetadata,
                    QStringView name)
{
    const bool stamped = record.stamp.size >= 0;
    QString line;
    line.reserve(record.identifier.size() + name.size() + (withMetadata ? record.metadata.size() : 0) + 48);
    line += record.identifier;
    line += QLatin1Char('/') + QString::number(folder) + QLatin1Char('/');
    if (stamped)
        line += QString::number(record.stamp.size) + QLatin1Char('/') + QString::number(record.stamp.modifiedNs);
    else
        line += QLatin1Char('/');
    line += QLatin1Char('/');
    line += QLatin1Char(record.hidden ? '1' : '0');
    line += QLatin1Char('/');
    if (keywords >= 0)
        line += QString::number(keywords);
    line += QLatin1Char('/');
    if (withMetadata && stamped && !record.metadata.contains(QLatin1Char('/')))
        line += record.metadata;
    line += QLatin1Char('/');
    line += name;
    return line;
}

// The dictionary with its records in the compact form (what the files held left out when
// `withMetadata` is false).
QVariantMap compacted(const QVariantMap& plist, bool withMetadata)
{
    QVariantMap result = plist;
    result.remove(QLatin1String(PLRSourceDirectory::kImagesKey));
    QHash<QString, int> folderIndex;
    QHash<QStringList, int> keywordIndex;
    QVariantList folders, keywordLists, lines;
    const QList<PLRSourceDirectory::LocationRecord> records = PLRSourceDirectory::locationRecords(plist);
    lines.reserve(records.size());
    for (const PLRSourceDirectory::LocationRecord& record : records) {
        // One that would be skipped when read (a valid identifier holds no '/').
        if (!PLRImageManager::isValidIdentifier(record.identifier))
            continue;
        const qsizetype slash = record.fileName.lastIndexOf(QLatin1Char('/'));
        const QString folder = slash < 0 ? QString() : record.fileName.left(slash);
        auto inFolders = folderIndex.constFind(folder);
        if (inFolders == folderIndex.cend()) {
            inFolders = folderIndex.insert(folder, int(folders.size()));
            folders.append(folder);
        }
        int keywords = -1;
        if (!record.keywords.isEmpty()) {
            auto inLists = keywordIndex.constFind(record.keywords);
            if (inLists == keywordIndex.cend()) {
                inLists = keywordIndex.insert(record.keywords, int(keywordLists.size()));
                keywordLists.append(record.keywords);
            }
            keywords = inLists.value();
        }
        lines.append(compactLine(record, inFolders.value(), keywords, withMetadata,
                                 QStringView(record.fileName).mid(slash + 1)));
    }
    result.insert(QLatin1String(kCompactKey), QVariantMap{{QLatin1String(kFoldersKey), folders},
                                                          {QLatin1String(kKeywordListsKey), keywordLists},
                                                          {QLatin1String(kLinesKey), lines}});
    return result;
}

// One line of the compact form; a line that cannot be read gives a record without a file
// name (skipped, and logged, by whoever reads it).
PLRSourceDirectory::LocationRecord fromCompactLine(const QString& line, const QVariantList& folders,
                                                   const QVariantList& keywordLists)
{
    PLRSourceDirectory::LocationRecord record;
    QStringView fields[kLineFields];
    qsizetype from = 0;
    for (int i = 0; i < kLineFields - 1; ++i) {
        const qsizetype slash = line.indexOf(QLatin1Char('/'), from);
        if (slash < 0) {
            record.identifier = line.section(QLatin1Char('/'), 0, 0);
            return record;
        }
        fields[i] = QStringView(line).mid(from, slash - from);
        from = slash + 1;
    }
    fields[kLineFields - 1] = QStringView(line).mid(from);
    record.identifier = fields[0].toString();
    bool ok = false;
    const qsizetype folder = fields[1].toLongLong(&ok);
    if (!ok || folder < 0 || folder >= folders.size() || folders[folder].typeId() != QMetaType::QString
        || fields[7].isEmpty())
        return record;
    const QString folderName = folders[folder].toString();
    record.fileName = folderName.isEmpty() ? fields[7].toString() : folderName + QLatin1Char('/') + fields[7].toString();
    bool sizeOk = false, modifiedOk = false;
    const qint64 size = fields[2].toLongLong(&sizeOk);
    const qint64 modified = fields[3].toLongLong(&modifiedOk);
    if (sizeOk && modifiedOk && size >= 0)
        record.stamp = PLRFileStamp{size, modified};
    record.hidden = fields[4] == u"1";
    const qsizetype keywords = fields[5].toLongLong(&ok);
    if (ok && keywords >= 0 && keywords < keywordLists.size())
        record.keywords = keywordLists[keywords].toStringList();
    record.metadata = fields[6].toString();
    return record;
}

// Whether the records as dictionaries would surely make the file more than is read back: each
// takes at least 190 bytes of keys and markup besides its text (the largest folders are spared
// making that file only to drop it).
bool surelyTooLargeAsDictionaries(const QVariantMap& plist)
{
    const QVariantList records = plist.value(QLatin1String(PLRSourceDirectory::kImagesKey)).toList();
    qint64 bytes = 0;
    for (const QVariant& item : records) {
        const QVariantMap record = item.toMap();
        bytes += 190 + record.value(QLatin1String(PLRSourceDirectory::kIdentifierKey)).toString().size()
               + record.value(QLatin1String(PLRSourceDirectory::kFileNameKey)).toString().size();
        if (bytes > kPLRPostMaxLocationBytes)
            return true;
    }
    return false;
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
    for (const LocationRecord& record : locationRecords(plist)) {
        const QString& identifier = record.identifier;
        const QString& fileName = record.fileName;
        // The identifier names the photo's cache folder: it must not be a path.
        if (!PLRImageManager::isValidIdentifier(identifier) || !validRelativePath(fileName)
            || m_byIdentifier.contains(identifier) || seenFiles.contains(fileName)) {
            PLR_LOG_WARN(QStringLiteral("Skipping an invalid photo record in %1 (identifier \"%2\", file \"%3\")")
                             .arg(m_config.locationPlistPath, identifier.left(160), fileName.left(160)));
            continue;
        }
        seenFiles.insert(fileName);
        const PLRFileStamp stamp = record.stamp;
        // What the file held at that size and time: a file found as it was is not read again.
        PLRImageMetadata metadata;
        if (stamp.size < 0 || !PLRImageMetadata::fromStoredText(record.metadata, &metadata))
            metadata = PLRImageMetadata{};
        auto image = std::make_shared<PLRSourceImage>(identifier, m_config.cacheRoot);
        image->setFolderGeneration(m_generation);
        image->setFile(m_path.isEmpty() ? QString() : QDir(m_path).filePath(fileName), fileName, stamp, metadata);
        image->setFileDeleted(true);   // until the scan finds it
        image->setHidden(record.hidden);
        image->setFocusKeywords(record.keywords);
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
    qsizetype unrecorded = 0;
    for (const auto& image : all) {
        // A name no property list can hold would make the whole file unreadable: that photo
        // goes unrecorded (as do such keywords).
        if (!platform::plist::canHold(image->relativePath())) {
            ++unrecorded;
            continue;
        }
        QStringList keywords = image->focusKeywords();
        keywords.removeIf([](const QString& keyword) { return !platform::plist::canHold(keyword); });
        QVariantMap record;
        record.insert(QLatin1String(kIdentifierKey), image->identifier());
        record.insert(QLatin1String(kFileNameKey), image->relativePath());
        record.insert(QLatin1String(kHiddenKey), image->isHidden());
        record.insert(QLatin1String(kKeywordsKey), keywords);
        const PLRFileStamp stamp = image->fileStamp();
        if (stamp.size >= 0 && stamp.modifiedNs > 0) {
            record.insert(QLatin1String(kFileSizeKey), stamp.size);
            record.insert(QLatin1String(kFileModifiedKey), stamp.modifiedNs);
            if (const QString metadata = image->metadata().storedText(); !metadata.isEmpty())
                record.insert(QLatin1String(kMetadataKey), metadata);
        }
        records.append(record);
    }
    if (unrecorded > 0)
        PLR_LOG_WARN(QStringLiteral("%1 photos of %2 have names with control characters, which %3 cannot hold: they are not recorded")
                         .arg(unrecorded)
                         .arg(path(), m_config.locationPlistPath));
    QVariantMap plist;
    plist.insert(QLatin1String(kLocationKey), path());
    plist.insert(QLatin1String(kImagesKey), records);
    return plist;
}

QList<PLRSourceDirectory::LocationRecord> PLRSourceDirectory::locationRecords(const QVariantMap& plist)
{
    QList<LocationRecord> records;
    const QVariantList dictionaries = plist.value(QLatin1String(kImagesKey)).toList();
    const QVariantMap compact = plist.value(QLatin1String(kCompactKey)).toMap();
    const QVariantList lines = compact.value(QLatin1String(kLinesKey)).toList();
    records.reserve(dictionaries.size() + lines.size());
    for (const QVariant& item : dictionaries) {
        const QVariantMap dictionary = item.toMap();
        LocationRecord record;
        record.identifier = dictionary.value(QLatin1String(kIdentifierKey)).toString();
        record.fileName = dictionary.value(QLatin1String(kFileNameKey)).toString();
        record.hidden = dictionary.value(QLatin1String(kHiddenKey)).toBool();
        record.keywords = dictionary.value(QLatin1String(kKeywordsKey)).toStringList();
        const QVariant size = dictionary.value(QLatin1String(kFileSizeKey));
        const QVariant modified = dictionary.value(QLatin1String(kFileModifiedKey));
        if (size.canConvert<qint64>() && modified.canConvert<qint64>() && size.toLongLong() >= 0)
            record.stamp = PLRFileStamp{size.toLongLong(), modified.toLongLong()};
        record.metadata = dictionary.value(QLatin1String(kMetadataKey)).toString();
        records.append(std::move(record));
    }
    if (!lines.isEmpty()) {
        const QVariantList folders = compact.value(QLatin1String(kFoldersKey)).toList();
        const QVariantList keywordLists = compact.value(QLatin1String(kKeywordListsKey)).toList();
        for (const QVariant& line : lines)
            records.append(fromCompactLine(line.toString(), folders, keywordLists));
    }
    return records;
}

QByteArray PLRSourceDirectory::locationFileBytes(const QVariantMap& plist, platform::Error* error)
{
    QByteArray bytes;
    if (!surelyTooLargeAsDictionaries(plist)) {
        bytes = platform::plist::toXml(plist, error);
        if (bytes.isEmpty() || bytes.size() <= kPLRPostMaxLocationBytes)
            return bytes;
    }
    // What the files held is only there to spare reading them: left out before any record is.
    for (const bool withMetadata : {true, false}) {
        bytes = platform::plist::toXml(compacted(plist, withMetadata), error);
        if (bytes.isEmpty() || bytes.size() <= kPLRPostMaxLocationBytes)
            return bytes;
    }
    const QString reason = QStringLiteral("Its photo records would take %1 MB, more than the %2 MB a post's location file may hold.")
                               .arg(double(bytes.size()) / (1024 * 1024), 0, 'f', 1)
                               .arg(kPLRPostMaxLocationBytes / (1024 * 1024));
    if (error)
        *error = platform::Error::make(QStringLiteral("PLRSourceDirectory"), 3,
                                       QStringLiteral("The post's folder holds too many photos to be recorded. %1").arg(reason),
                                       reason);
    return {};
}

bool PLRSourceDirectory::writeLocationFile(const QString& path, const QVariantMap& plist, platform::Error* error)
{
    const QByteArray bytes = locationFileBytes(plist, error);
    return !bytes.isEmpty() && platform::files::writeAtomically(path, bytes, error);
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
    // A file too large to be read back is never written: the last one that can be read stays.
    if (!writeLocationFile(m_config.locationPlistPath, plistRepresentation(), &writeError)) {
        PLR_LOG_ERROR(QStringLiteral("Cannot save %1: %2").arg(m_config.locationPlistPath, writeError.localizedDescription()));
        if (error)
            *error = writeError;
        return false;
    }
    return true;
}
