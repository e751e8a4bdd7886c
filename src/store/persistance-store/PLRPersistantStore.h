#pragma once

#include <QString>
#include <QUrl>

#include <optional>

struct PLRSkippedPost;

inline constexpr const char* kPLRStoreAccountsFolderName = "ds";
inline constexpr const char* kPLRStoreImagesFolderName = "loc";

// The on-disk store under the application-support folder: account bundles in "ds", the
// image cache in "loc".
// Links in the store are never followed: what one points at may lie anywhere, and a save
// through it would write there. A link (or anything else that is no folder) in the place of one
// of the store's folders is moved aside and a folder of the store's own takes its place.
class PLRPersistantStore {
public:
    // Makes the store's folders when missing; false (logged) when one cannot be made. A link
    // in the place of "ds" or "loc" is moved aside first (the user is told of "ds", which holds
    // the posts; "loc" holds copies only, made anew).
    static bool setUpStack();

    static QString rootPath();            // the application-support folder
    static QString accountsPath();        // "<root>/ds"
    static QString locationPath();        // "<root>/loc"
    static QUrl locationURL();

    // "<root>/ds/<encoded identifier>.plruser"
    static QString accountBundlePathForUserIdentifier(const QString& identifier);
    static QUrl urlToAccountBundleForUserIdentifier(const QString& identifier);
    // A bundle or file name safe for any identifier: percent-encodes everything but letters,
    // digits and "-._@+"; a name made of dots only is encoded as well.
    static QString encodedName(const QString& identifier);

    // The first link (or anything else that is no folder) on the way from the store root down
    // to the folder `folderPath`, that folder counted and the root not: empty when there is
    // none (a missing folder ends the way: it is made as a folder) and for a path outside the
    // store. Writers of the store ask it before writing into a folder of it.
    static QString linkOnTheWay(const QString& folderPath);
    // Moves aside whatever other than a folder is at `folderPath` (never following a link) and
    // answers what the user is told of it, under `title` ("The posts folder"); nothing when a
    // folder or nothing is there.
    static std::optional<PLRSkippedPost> setAsideUnlessFolder(const QString& folderPath, const QString& title);
};
