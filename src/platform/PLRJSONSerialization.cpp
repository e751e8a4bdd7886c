#include "platform/PLRJSONSerialization.h"

#include "platform/Json.h"

QVariant PLRJSONSerialization::JSONObjectWithData(const QByteArray& data, int options, platform::Error* error)
{
    if (data.isNull() || data.isEmpty())
        return QVariant();
    return platform::json::parse(data, (options & FragmentsAllowed) != 0, error);
}

QByteArray PLRJSONSerialization::dataWithJSONObject(const QVariant& object, int options, platform::Error* error)
{
    return platform::json::write(object, (options & PrettyPrinted) != 0, error);
}
