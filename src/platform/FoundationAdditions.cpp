#include "platform/FoundationAdditions.h"

#include "platform/Json.h"

#include <QTimeZone>

namespace platform {

QDateTime gmtZoneDate(const QDateTime& date)
{
    const int offset = QTimeZone::systemTimeZone().offsetFromUtc(QDateTime::currentDateTimeUtc());
    return date.addSecs(-offset);
}

QString jsonText(const QVariantMap& dictionary)
{
    const QByteArray bytes = json::write(dictionary, false);
    if (bytes.isEmpty())
        return QString();
    return QString::fromUtf8(bytes);
}

} // namespace platform
