#include "store/persistance-store/PLRPersistantStore.h"

#include "store/persistance-store/PLRFileUtilities.h"
#include "platform/Log.h"
#include "store/session/PLRDefaults.h"

bool PLRPersistantStore::setUpStack()
{
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
