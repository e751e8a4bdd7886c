#include "shell/post/PLRRecentContainer.h"

#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <QFileInfo>
#include <QVariantMap>

QByteArray PLRRecentContainer::bookmarkForFolder(const QString& folderPath)
{
    const QFileInfo info(folderPath);
    if (folderPath.isEmpty() || !info.exists() || !info.isDir())
        return {};
    return info.absoluteFilePath().toUtf8();
}

QString PLRRecentContainer::resolveBookmark(const QByteArray& bookmark, bool* stale)
{
    const QString path = QString::fromUtf8(bookmark);
    const QFileInfo info(path);
    if (stale)
        *stale = path.isEmpty() || !info.isDir() || !info.isWritable();
    return path;
}

void PLRRecentContainer::addPathToRecents(const QString& path)
{
    auto& defaults = platform::UserDefaults::standard();
    QStringList list = defaults.objectForKey(QLatin1String(kPLRRecentWatchDirectoriesKey)).toStringList();
    if (list.size() == kMaximumRecents)
        list.removeLast();
    if (list.contains(path))
        return;
    QString folder = path;
    folder.replace(QStringLiteral("%20"), QStringLiteral(" "));
    const QByteArray bookmark = bookmarkForFolder(folder);
    if (bookmark.isEmpty()) {
        PLR_LOG_WARN(QStringLiteral("No bookmark can be made for the folder %1; it is not remembered").arg(folder));
        return;
    }
    list.insert(0, path);
    QVariantMap bookmarks = defaults.dictionaryForKey(QLatin1String(kPLRRecentWatchBookmarkKey));
    bookmarks.insert(path, bookmark);
    defaults.setObject(QLatin1String(kPLRRecentWatchDirectoriesKey), list);
    defaults.setObject(QLatin1String(kPLRRecentWatchBookmarkKey), bookmarks);
    defaults.synchronize();
}

QStringList PLRRecentContainer::recentPaths()
{
    auto& defaults = platform::UserDefaults::standard();
    const QStringList list = defaults.objectForKey(QLatin1String(kPLRRecentWatchDirectoriesKey)).toStringList();
    if (!defaults.hasKey(QLatin1String(kPLRRecentWatchBookmarkKey)) && !list.isEmpty()) {
        // A list from before bookmarks were kept cannot be reopened.
        defaults.setObject(QLatin1String(kPLRRecentWatchDirectoriesKey), QStringList());
        defaults.synchronize();
        return {};
    }
    return list;
}

QByteArray PLRRecentContainer::openBookmarkForPath(const QString& path)
{
    const QVariantMap bookmarks = platform::UserDefaults::standard().dictionaryForKey(QLatin1String(kPLRRecentWatchBookmarkKey));
    const auto it = bookmarks.constFind(path);
    if (it == bookmarks.cend())
        return {};
    const QByteArray bookmark = it->toByteArray();
    bool stale = false;
    const QString folder = resolveBookmark(bookmark, &stale);
    if (stale)
        PLR_LOG_WARN(QStringLiteral("The remembered folder %1 is no longer available").arg(folder));
    return bookmark;
}
