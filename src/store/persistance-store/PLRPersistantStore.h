#pragma once

#include <QString>
#include <QUrl>

inline constexpr const char* kPLRStoreAccountsFolderName = "ds";
inline constexpr const char* kPLRStoreImagesFolderName = "loc";

// The on-disk store under the application-support folder: account bundles in "ds", the
// image cache in "loc".
class PLRPersistantStore {
public:
    // Makes the store's folders when missing; false (logged) when one cannot be made.
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
};
