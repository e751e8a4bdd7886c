#include "store/session/PLRFocusKeywordStore.h"

#include "platform/UserDefaults.h"

QStringList PLRFocusKeywordStore::keywordsMatchingPrefix(const QString& prefix)
{
    const QVariantList stored = platform::UserDefaults::standard().arrayForKey(QString::fromLatin1(kPLRFocusKeywordsDefaultsKey));
    if (prefix.isEmpty() || stored.isEmpty())
        return {};
    const QString lowered = prefix.toLower();
    QStringList matches;
    for (const QVariant& value : stored) {
        const QString keyword = value.toString();
        if (keyword.toLower().startsWith(lowered))
            matches.append(keyword);
    }
    return matches;
}

void PLRFocusKeywordStore::addKeyword(const QString& keyword)
{
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    QVariantList stored = defaults.arrayForKey(QString::fromLatin1(kPLRFocusKeywordsDefaultsKey));
    for (const QVariant& value : std::as_const(stored))
        if (value.toString() == keyword)
            return;
    stored.append(keyword);
    defaults.setObject(QString::fromLatin1(kPLRFocusKeywordsDefaultsKey), stored);
}
