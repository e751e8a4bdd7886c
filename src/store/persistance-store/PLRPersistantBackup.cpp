#include "store/persistance-store/PLRPersistantBackup.h"

#include "store/migrators/PLRMigrator.h"
#include "store/persistance-store/PLRFileUtilities.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantStore.h"
#include "platform/Log.h"
#include "platform/Plist.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRDefaults.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QVersionNumber>

#include <algorithm>

namespace {

platform::Error backupError(qint64 code, const QString& description, const QString& reason = {})
{
    return platform::Error::make(QStringLiteral("PLRBackupErrorDomain"), code, description, reason);
}

void setError(platform::Error* error, const platform::Error& value)
{
    if (error)
        *error = value;
}

const QString kDs = QString::fromLatin1(kPLRStoreAccountsFolderName);
const QString kLoc = QString::fromLatin1(kPLRStoreImagesFolderName);

} // namespace

QString PLRPersistantBackup::autoBackupPath(const QString& folder, const QDate& day)
{
    return folder + QStringLiteral("/Pellora Backup %1.%2").arg(day.toString(Qt::ISODate), QLatin1String(kPLRBackupExtension));
}

void PLRPersistantBackup::performAutoBackup()
{
    if (!PLRDefaults::shouldExportDatabase() || !PLRCoreManager::userSession())
        return;
    const QString folder = PLRDefaults::exportDatabasePath();
    if (folder.isEmpty())
        return;
    const QString destination = autoBackupPath(folder, QDate::currentDate());
    PLRCoreManager::saveQueue().async([folder, destination] {
        if (!QFileInfo(folder).isDir()) {
            PLR_LOG_ERROR(QStringLiteral("Automatic backup skipped: the backup folder %1 is not available").arg(folder));
            return;
        }
        // Today's backup is written once, at the first save of the day: rewriting it would
        // drop what was deleted since, and it may be the only copy still holding it.
        if (QFileInfo::exists(destination)) {
            PLR_LOG_INFO(QStringLiteral("Automatic backup of today already written to %1").arg(destination));
            return;
        }
        platform::Error error;
        if (writeBackup(destination, &error))
            PLR_LOG_INFO(QStringLiteral("Automatic backup written to %1").arg(destination));
        else
            PLR_LOG_ERROR(QStringLiteral("Automatic backup failed: %1").arg(error.toString()));
    });
}

bool PLRPersistantBackup::writeBackup(const QString& destination, platform::Error* error, const Progress& progress)
{
    const QString root = PLRPersistantStore::rootPath();
    qint64 total = 0;
    qint64 done = 0;
    plr::fileutil::CopyProgress copied;
    if (progress) {
        for (const QString& folder : {kDs, kLoc})
            total += plr::fileutil::directorySize(root + QLatin1Char('/') + folder);
        progress(0, total);
        copied = [&](qint64 bytes) {
            done = std::min(total, done + bytes);
            progress(done, total);
        };
    }
    const QString staging = destination + QStringLiteral(".partial");
    plr::fileutil::removePath(staging);
    platform::Error failure;
    bool ok = plr::fileutil::ensureDirectory(staging, &failure);
    for (const QString& folder : {kDs, kLoc}) {
        if (!ok)
            break;
        const QString source = root + QLatin1Char('/') + folder;
        const QString target = staging + QLatin1Char('/') + folder;
        ok = QFileInfo(source).isDir() ? plr::fileutil::copyDirectory(source, target, &failure, copied)
                                       : plr::fileutil::ensureDirectory(target, &failure);
    }
    if (ok) {
        const QVariantMap info{
            {QLatin1String(kPLRBackupKeyVersion), QString::fromLatin1(kPLRStoreCurrentVersion)},
            {QLatin1String(kPLRBackupKeyDate), QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC)},
        };
        ok = platform::plist::writeFile(staging + QLatin1Char('/') + QLatin1String(kPLRBackupInfoFileName), info,
                                        &failure);
    }
    if (ok) {
        // Replace an earlier backup of the same name only once the new one is whole.
        const QString previous = destination + QStringLiteral(".previous");
        plr::fileutil::removePath(previous);
        const bool hadPrevious = QFileInfo::exists(destination);
        if (hadPrevious && !QDir().rename(destination, previous)) {
            ok = false;
            failure = backupError(1, QStringLiteral("Could not replace the backup \"%1\".").arg(destination));
        } else if (!QDir().rename(staging, destination)) {
            if (hadPrevious)
                QDir().rename(previous, destination);
            ok = false;
            failure = backupError(1, QStringLiteral("Could not move the backup into \"%1\".").arg(destination));
        } else {
            plr::fileutil::removePath(previous);
        }
    }
    if (ok && progress && done < total)
        progress(total, total);   // files that shrank while being copied
    if (!ok) {
        plr::fileutil::removePath(staging);
        setError(error, failure);
    }
    return ok;
}

bool PLRPersistantBackup::validateBackup(const QString& path, bool* tooOld, platform::Error* error)
{
    if (tooOld)
        *tooOld = false;
    const QString description = QStringLiteral("The backup cannot be imported.");
    if (!QFileInfo(path).isDir()) {
        setError(error, backupError(2, description, QStringLiteral("\"%1\" is not a Pellora backup.").arg(path)));
        return false;
    }
    bool ok = false;
    platform::Error readError;
    const QVariantMap info =
        platform::plist::readDictionary(path + QLatin1Char('/') + QLatin1String(kPLRBackupInfoFileName), &ok, &readError);
    if (!ok) {
        setError(error, backupError(3, description, QStringLiteral("Its info.plist cannot be read.")));
        return false;
    }
    const QString version = info.value(QLatin1String(kPLRBackupKeyVersion)).toString();
    if (version.isEmpty() || QVersionNumber::fromString(version).isNull()) {
        setError(error, backupError(4, description, QStringLiteral("It names no version.")));
        return false;
    }
    if (PLRMigrator::compareVersions(version, QLatin1String(kPLRBackupMinimumVersion)) < 0) {
        if (tooOld)
            *tooOld = true;
        setError(error, backupError(5, QStringLiteral("Backup is too old"),
                                    QStringLiteral("Backups of version %1 cannot be imported.").arg(version)));
        return false;
    }
    if (PLRMigrator::compareVersions(version, QLatin1String(kPLRStoreCurrentVersion)) > 0) {
        setError(error, backupError(9, QStringLiteral("Backup is too new"),
                                    QStringLiteral("The backup was made by a newer Pellora (store version %1); this "
                                                   "version reads backups up to %2. Update Pellora to import it.")
                                        .arg(version, QLatin1String(kPLRStoreCurrentVersion))));
        return false;
    }
    const QDir accounts(path + QLatin1Char('/') + kDs);
    if (!accounts.exists()) {
        setError(error, backupError(6, description, QStringLiteral("It holds no accounts.")));
        return false;
    }
    const QStringList bundles = accounts.entryList(
        {QStringLiteral("*.") + QLatin1String(kPLRAccountBundleExtension)}, QDir::Dirs | QDir::NoDotAndDotDot);
    if (bundles.isEmpty()) {
        setError(error, backupError(6, description, QStringLiteral("It holds no accounts.")));
        return false;
    }
    for (const QString& bundle : bundles) {
        platform::plist::readDictionary(accounts.filePath(bundle) + QLatin1Char('/') + QLatin1String(kPLRAccountInfoFileName),
                                        &ok);
        if (!ok) {
            setError(error, backupError(7, description, QStringLiteral("The account \"%1\" cannot be read.").arg(bundle)));
            return false;
        }
    }
    return true;
}

bool PLRPersistantBackup::restoreBackup(const QString& path, platform::Error* error,
                                        const std::function<void()>& beforeSwap)
{
    bool tooOld = false;
    if (!validateBackup(path, &tooOld, error))
        return false;
    const QString root = PLRPersistantStore::rootPath();
    const QString suffix = QStringLiteral(".restore");

    // 1. Copy the backup beside the store; nothing of the store is touched.
    platform::Error failure;
    bool ok = true;
    for (const QString& folder : {kDs, kLoc}) {
        const QString source = path + QLatin1Char('/') + folder;
        const QString staged = root + QLatin1Char('/') + folder + suffix;
        plr::fileutil::removePath(staged);
        if (!ok)
            continue;
        ok = QFileInfo(source).isDir() ? plr::fileutil::copyDirectory(source, staged, &failure)
                                       : plr::fileutil::ensureDirectory(staged, &failure);
    }
    const auto dropStaged = [&] {
        for (const QString& folder : {kDs, kLoc})
            plr::fileutil::removePath(root + QLatin1Char('/') + folder + suffix);
    };
    if (!ok) {
        dropStaged();
        setError(error, failure);
        return false;
    }

    if (beforeSwap)
        beforeSwap();

    // 2. Swap the folders after the writes already queued; undo the first swap if the second fails.
    PLRCoreManager::saveQueue().sync([&] {
        const QString previous = QStringLiteral(".previous");
        QStringList swapped;
        for (const QString& folder : {kDs, kLoc}) {
            const QString current = root + QLatin1Char('/') + folder;
            plr::fileutil::removePath(current + previous);
            const bool hadCurrent = QFileInfo::exists(current);
            if ((hadCurrent && !QDir().rename(current, current + previous))
                || !QDir().rename(current + suffix, current)) {
                if (hadCurrent && !QFileInfo::exists(current))
                    QDir().rename(current + previous, current);
                ok = false;
                break;
            }
            swapped.append(folder);
        }
        if (!ok) {
            for (const QString& folder : swapped) {
                const QString current = root + QLatin1Char('/') + folder;
                QDir().rename(current, current + suffix);
                QDir().rename(current + previous, current);
            }
            failure = backupError(8, QStringLiteral("The backup cannot be imported."),
                                  QStringLiteral("The store's folders could not be replaced."));
        } else {
            for (const QString& folder : {kDs, kLoc})
                plr::fileutil::removePath(root + QLatin1Char('/') + folder + previous);
        }
    });
    dropStaged();
    if (!ok)
        setError(error, failure);
    return ok;
}
