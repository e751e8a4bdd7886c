#include "persistance-store/PLRFileUtilities.h"

#include "platform/Log.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

namespace plr::fileutil {

namespace {
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

bool copyDirectory(const QString& source, const QString& destination, platform::Error* error)
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
        if (entry.isSymLink()) {
            // Links are not part of the store; copying them could reach outside of it.
            PLR_LOG_WARN(QStringLiteral("Skipping link %1 while copying").arg(entry.filePath()));
            continue;
        }
        if (entry.isDir()) {
            if (!copyDirectory(entry.filePath(), target, error))
                return false;
        } else if (!QFile::copy(entry.filePath(), target)) {
            if (error)
                *error = makeError(QStringLiteral("Could not copy \"%1\".").arg(entry.filePath()));
            return false;
        }
    }
    return true;
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

} // namespace plr::fileutil
