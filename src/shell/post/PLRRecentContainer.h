#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

inline constexpr const char* kPLRRecentWatchDirectoriesKey = "recent_watch_directories";
inline constexpr const char* kPLRRecentWatchBookmarkKey = "recent_watch_bookmark";

// The last five folders chosen as a post's source folder, most recent first, each with its
// bookmark (on this platform the folder's plain path) in the user defaults.
class PLRRecentContainer {
public:
    static constexpr int kMaximumRecents = 5;

    // Remembers the folder first in the list. A folder already remembered changes nothing; a
    // folder whose bookmark cannot be made (it does not exist) is not remembered.
    static void addPathToRecents(const QString& path);
    // The remembered paths; a list kept without bookmarks is dropped (and cleared).
    static QStringList recentPaths();
    // The stored bookmark of a remembered folder, or empty. A folder that no longer exists
    // (or cannot be written) is logged as stale; its bookmark is returned all the same.
    static QByteArray openBookmarkForPath(const QString& path);

    // The bookmark of a folder: its path, when it is an existing folder; empty otherwise.
    static QByteArray bookmarkForFolder(const QString& folderPath);
    // The folder a bookmark names, and whether it is stale (missing or not writable).
    static QString resolveBookmark(const QByteArray& bookmark, bool* stale = nullptr);
};
