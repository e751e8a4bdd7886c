#include "store/persistance-store/PLRPersistantStore.h"

#include "store/persistance-store/PLRFileUtilities.h"
#include "store/persistance-store/PLRSkippedPostsNotice.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "store/session/PLRDefaults.h"

#include <QDir>
#include <QFileInfo>

bool PLRPersistantStore::setUpStack()
{
    if (auto accounts = setAsideUnlessFolder(accountsPath(), QStringLiteral("The folder of every account")))
        PLRSkippedPostsNotice::tell({*accounts});
    // The photos' cached copies are made again from the photos: the log says it, no notice.
    setAsideUnlessFolder(locationPath(), QStringLiteral("The folder of the photos' copies"));
    bool ok = true;
    for (const QString& path : {rootPath(), accountsPath(), locationPath()}) {
        platform::Error error;
        if (!plr::fileutil::ensureDirectory(path, &error)) {
            PLR_LOG_ERROR(QStringLiteral("Store set-up failed: %1").arg(error.toString()));
            ok = false;
        }
    }
    return ok;
}

QString PLRPersistantStore::rootPath()
{
    return PLRDefaults::applicationSupportDirectory();
}

QString PLRPersistantStore::accountsPath()
{
    return rootPath() + QLatin1Char('/') + QLatin1String(kPLRStoreAccountsFolderName);
}

QString PLRPersistantStore::locationPath()
{
    return rootPath() + QLatin1Char('/') + QLatin1String(kPLRStoreImagesFolderName);
}

QUrl PLRPersistantStore::locationURL()
{
    return QUrl::fromLocalFile(locationPath());
}

QString PLRPersistantStore::encodedName(const QString& identifier)
{
    QString name = QString::fromLatin1(identifier.toUtf8().toPercentEncoding("@+"));
    // "-._~" stay as they are; a name of dots only would name a folder of the path itself.
    if (!name.isEmpty() && name.count(QLatin1Char('.')) == name.size())
        name.replace(QLatin1Char('.'), QStringLiteral("%2E"));
    name.replace(QLatin1Char('~'), QStringLiteral("%7E"));
    return name;
}

QString PLRPersistantStore::accountBundlePathForUserIdentifier(const QString& identifier)
{
    return accountsPath() + QLatin1Char('/') + encodedName(identifier) + QLatin1Char('.')
        + QLatin1String("plruser");
}

QUrl PLRPersistantStore::urlToAccountBundleForUserIdentifier(const QString& identifier)
{
    return QUrl::fromLocalFile(accountBundlePathForUserIdentifier(identifier));
}

QString PLRPersistantStore::linkOnTheWay(const QString& folderPath)
{
    const QString root = QDir::cleanPath(rootPath());
    const QString path = QDir::cleanPath(folderPath);
    if (root.isEmpty() || !path.startsWith(root + QLatin1Char('/')))
        return QString();
    QString way = root;
    for (const QString& part : path.mid(root.size() + 1).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        way += QLatin1Char('/') + part;
        switch (platform::files::kindOf(way)) {
        case platform::files::Kind::Directory: continue;
        case platform::files::Kind::Missing: return QString();
        default: return way;
        }
    }
    return QString();
}

std::optional<PLRSkippedPost> PLRPersistantStore::setAsideUnlessFolder(const QString& folderPath, const QString& title)
{
    const platform::files::Kind kind = platform::files::kindOf(folderPath);
    if (kind == platform::files::Kind::Missing || kind == platform::files::Kind::Directory)
        return std::nullopt;
    // Never followed nor written through: renamed as it is, so what it points at stays as it is.
    const bool link = kind == platform::files::Kind::SymbolicLink;
    const QString target = link ? QFileInfo(folderPath).symLinkTarget() : QString();
    const QString aside = plr::fileutil::setAside(folderPath);
    QString reason = link ? QStringLiteral("It is a link to %1, and links in the store are never followed.")
                                .arg(QDir::toNativeSeparators(target))
                          : QStringLiteral("It is not a folder.");
    reason += aside.isEmpty() ? QStringLiteral(" It could not be moved aside.")
                              : QStringLiteral(" It is kept as %1; new posts go into a new folder.")
                                    .arg(QDir::toNativeSeparators(aside));
    PLR_LOG_ERROR(QStringLiteral("Not opening the folder %1: %2").arg(folderPath, reason));
    PLRSkippedPost skipped;
    skipped.path = folderPath;
    skipped.reason = reason;
    skipped.folderTitle = title;
    return skipped;
}
