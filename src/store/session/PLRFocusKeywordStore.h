#pragma once

#include <QString>
#include <QStringList>

// Settings key of the application-wide store of focus keywords.
inline constexpr char kPLRFocusKeywordsDefaultsKey[] = "focus_keywords";

// Every focus keyword the user has entered, for all posts and accounts: it only grows, keeps
// each keyword in the case first entered and holds no two equal (case-sensitive) entries.
// The keyword fields complete from it (SEO panel, Document page, image properties).
namespace PLRFocusKeywordStore {
// Stored keywords that begin with the prefix, case-insensitively, in stored order; none for
// an empty prefix.
QStringList keywordsMatchingPrefix(const QString& prefix);
void addKeyword(const QString& keyword);
}
