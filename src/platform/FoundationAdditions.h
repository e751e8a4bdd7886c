#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariantMap>

namespace platform {

// A new date equal to the given one minus the local time zone's current offset from GMT.
QDateTime gmtZoneDate(const QDateTime& date);

// The dictionary as compact JSON text; a null string when it cannot be written.
QString jsonText(const QVariantMap& dictionary);

// Consecutive sub-lists of at most `size` elements, in order (none for a size below 1).
template <typename T>
QList<QList<T>> chunk(const QList<T>& list, qsizetype size)
{
    QList<QList<T>> chunks;
    if (size < 1)
        return chunks;
    for (qsizetype i = 0; i < list.size(); i += size)
        chunks.append(list.mid(i, size));
    return chunks;
}

} // namespace platform
