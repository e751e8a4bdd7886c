#include "store/persistance-store/PLRFileUtilities.h"

#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Plist.h"
#include "store/persistance-store/source/PLRImageManager.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <QUuid>

#include <cstdio>
#include <optional>

namespace plr::fileutil {

namespace {

QMutex& stagingMutex()
{
    static QMutex mutex;
    return mutex;
}

QSet<QString>& activeStagingFolders()
{
    static QSet<QString> folders;
    return folders;
}

platform::Error makeError(const QString& description)
{
    return platform::Error::make(kErrorDomain, 1, description);
}
} // namespace

bool ensureDirectory(const QString& path, platform::Error* error)
{
    if (QFileInfo(path).isDir() || QDir().mkpath(path))
        return true;
    if (error)
        *error = makeError(QStringLiteral("Could not create the folder \"%1\".").arg(path));
    return false;
}

bool copyDirectory(const QString& source, const QString& destination, platform::Error* error,
                   const CopyProgress& copied)
{
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.isDir() || sourceInfo.isSymLink()) {
        if (error)
            *error = makeError(QStringLiteral("\"%1\" is not a folder.").arg(source));
        return false;
    }
    if (QFileInfo::exists(destination)) {
        if (error)
            *error = makeError(QStringLiteral("\"%1\" already exists.").arg(destination));
        return false;
    }
    if (!ensureDirectory(destination, error))
        return false;
    const QDir sourceDir(source);
    const QFileInfoList entries = sourceDir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const QString target = destination + QLatin1Char('/') + entry.fileName();
        const platform::files::Kind kind = platform::files::kindOf(entry.filePath());
        if (kind == platform::files::Kind::SymbolicLink || kind == platform::files::Kind::Other) {
            // Links, FIFOs and devices are not part of the store: a link could reach outside
            // of it, a FIFO or device could block the copy or never end.
            PLR_LOG_WARN(QStringLiteral("Skipping %1 while copying: not a file or folder").arg(entry.filePath()));
            continue;
        }
        if (kind == platform::files::Kind::Directory) {
            if (!copyDirectory(entry.filePath(), target, error, copied))
                return false;
        } else if (!QFile::copy(entry.filePath(), target)) {
            if (error)
                *error = makeError(QStringLiteral("Could not copy \"%1\".").arg(entry.filePath()));
            return false;
        } else if (copied) {
            copied(entry.size());
        }
    }
    return true;
}

qint64 directorySize(const QString& folder)
{
    qint64 total = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        if (!info.isSymLink() && platform::files::kindOf(info.filePath()) == platform::files::Kind::Regular)
            total += info.size();
    }
    return total;
}

bool removePath(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    return QFile::remove(path);
}

bool removeDirectoryAtomically(const QString& path)
{
    if (!QFileInfo::exists(path))
        return true;
    const QString aside = path + QStringLiteral(".deleting-")
        + QUuid::createUuid().toString(QUuid::Id128).left(8);
    if (!QDir().rename(path, aside)) {
        PLR_LOG_WARN(QStringLiteral("Could not move %1 aside before deleting it").arg(path));
        return removePath(path);
    }
    if (!removePath(aside))
        PLR_LOG_WARN(QStringLiteral("Could not delete %1 completely").arg(aside));
    return true;
}

QString setAside(const QString& path)
{
    if (platform::files::kindOf(path) == platform::files::Kind::Missing)
        return {};
    QString aside = path + QStringLiteral(".unreadable");
    for (int n = 2; platform::files::kindOf(aside) != platform::files::Kind::Missing; ++n) {
        if (n > 1000)
            return {};
        aside = path + QStringLiteral(".unreadable-%1").arg(n);
    }
    // rename() moves the directory entry itself: a link stays a link and is not followed.
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) != 0) {
        PLR_LOG_ERROR(QStringLiteral("Could not move the unreadable %1 aside").arg(path));
        return {};
    }
    PLR_LOG_WARN(QStringLiteral("Kept the unreadable %1 as %2").arg(path, aside));
    return aside;
}

int removeLeftoverTemporaries(const QString& bundlePath, const QStringList& fileNames)
{
    if (platform::files::kindOf(bundlePath) != platform::files::Kind::Directory)
        return 0;
    int removed = 0;
    const QStringList entries = QDir(bundlePath).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        for (const QString& name : fileNames) {
            if (!platform::files::isLeftoverTemporary(entry, name))
                continue;
            const QString path = bundlePath + QLatin1Char('/') + entry;
            if (platform::files::kindOf(path) == platform::files::Kind::Regular && QFile::remove(path)) {
                PLR_LOG_INFO(QStringLiteral("Removed %1, left by an interrupted save").arg(path));
                ++removed;
            }
            break;
        }
    }
    return removed;
}

void registerStagingFolder(const QString& path)
{
    QMutexLocker lock(&stagingMutex());
    activeStagingFolders().insert(QDir::cleanPath(path));
}

void unregisterStagingFolder(const QString& path)
{
    QMutexLocker lock(&stagingMutex());
    activeStagingFolders().remove(QDir::cleanPath(path));
}

bool removeStaleStagingFolder(const QString& path)
{
    // Held while it is removed: a save that registers the folder meanwhile makes it afresh after.
    QMutexLocker lock(&stagingMutex());
    if (activeStagingFolders().contains(QDir::cleanPath(path)))
        return false;
    return removePath(path);
}

bool noteImportedPictures(const QString& stagingFolder, const QString& bundle, const QStringList& images,
                          platform::Error* error)
{
    QVariantList names;
    for (const QString& image : images)
        names.append(image);
    const QVariantMap note{{QStringLiteral("bundle"), bundle}, {QStringLiteral("images"), names}};
    return platform::plist::writeFile(stagingFolder + QLatin1Char('/') + QLatin1String(kImportedPicturesFileName), note, error);
}

namespace {

// The picture folders a killed import moved into the image area and that nothing else holds go;
// false when one of them could not be removed (the staging folder then stays, to try again).
bool removeImportedPictures(const QString& staging, const QString& imageArea,
                            const std::function<QSet<QString>()>& imagesInUse, std::optional<QSet<QString>>* inUse)
{
    const QString notePath = staging + QLatin1Char('/') + QLatin1String(kImportedPicturesFileName);
    if (imageArea.isEmpty() || platform::files::kindOf(notePath) != platform::files::Kind::Regular)
        return true;
    bool ok = false;
    const QVariantMap note = platform::plist::readDictionary(notePath, &ok, nullptr, qint64(16) * 1024 * 1024);
    const QString bundle = note.value(QStringLiteral("bundle")).toString();
    // The post reached the store: the pictures are its own.
    if (!ok || bundle.isEmpty() || platform::files::kindOf(bundle) != platform::files::Kind::Missing)
        return true;
    bool removedAll = true;
    for (const QVariant& item : note.value(QStringLiteral("images")).toList()) {
        const QString image = item.toString();
        if (!PLRImageManager::isValidIdentifier(image))
            continue;
        const QString folder = imageArea + QLatin1Char('/') + image;
        if (platform::files::kindOf(folder) != platform::files::Kind::Directory)
            continue;
        if (!inUse->has_value())
            *inUse = imagesInUse ? imagesInUse() : QSet<QString>();
        if ((*inUse)->contains(image)) {
            PLR_LOG_INFO(QStringLiteral("Keeping %1, left by an interrupted import: a post uses it").arg(folder));
            continue;
        }
        if (removePath(folder)) {
            PLR_LOG_INFO(QStringLiteral("Removed %1, left by an interrupted import").arg(folder));
        } else {
            PLR_LOG_WARN(QStringLiteral("Could not remove %1, left by an interrupted import").arg(folder));
            removedAll = false;
        }
    }
    return removedAll;
}

} // namespace

int removeStaleStagingFolders(const QString& storeRoot, const QString& imageArea,
                              const std::function<QSet<QString>()>& imagesInUse)
{
    if (platform::files::kindOf(storeRoot) != platform::files::Kind::Directory)
        return 0;
    // Never through a link in the image area's place.
    const bool areaUsable = !imageArea.isEmpty() && platform::files::kindOf(imageArea) == platform::files::Kind::Directory;
    std::optional<QSet<QString>> inUse;
    const QString pattern = QLatin1String(kImportStagingPrefix) + QLatin1Char('*');
    int removed = 0;
    for (const QString& name : QDir(storeRoot).entryList({pattern}, QDir::AllEntries | QDir::Hidden | QDir::System)) {
        const QString path = QDir::cleanPath(storeRoot + QLatin1Char('/') + name);
        {
            QMutexLocker lock(&stagingMutex());
            if (activeStagingFolders().contains(path))
                continue;
        }
        if (platform::files::kindOf(path) == platform::files::Kind::Directory
            && !removeImportedPictures(path, areaUsable ? imageArea : QString(), imagesInUse, &inUse))
            continue;
        // A link is removed itself, never what it points at.
        if (removePath(path)) {
            PLR_LOG_INFO(QStringLiteral("Removed %1, left by an interrupted import").arg(path));
            ++removed;
        } else {
            PLR_LOG_WARN(QStringLiteral("Could not remove %1, left by an interrupted import").arg(path));
        }
    }
    return removed;
}

} // namespace plr::fileutil
