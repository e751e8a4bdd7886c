#include "services/web-services/PLRWebServiceModelObject.h"

#include "platform/Json.h"
#include "platform/Log.h"

#include <QDate>
#include <QTime>

#include <execinfo.h>

#include <cmath>
#include <cstdlib>

namespace {

QString jsonTypeName(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QString: return QStringLiteral("string");
    case QMetaType::Bool: return QStringLiteral("boolean");
    case QMetaType::QVariantList: return QStringLiteral("array");
    case QMetaType::QVariantMap: return QStringLiteral("object");
    case QMetaType::Double:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Int:
    case QMetaType::UInt: return QStringLiteral("number");
    default: return QString::fromUtf8(value.typeName());
    }
}

void logWrongType(const char* key, const QVariant& value, const char* expected)
{
    PLR_LOG_WARN(QStringLiteral("Service member \"%1\" is a %2, not a %3; ignored")
                     .arg(QLatin1String(key), jsonTypeName(value), QLatin1String(expected)));
}

bool isNumber(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
        return true;
    default:
        return false;
    }
}

// The number a text holds ("2", " -3 ", "1.5", "1e3"), or none for any other text.
std::optional<double> numberInText(const QString& text)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    const qlonglong integer = trimmed.toLongLong(&ok);
    if (ok)
        return double(integer);
    const double number = trimmed.toDouble(&ok);
    if (ok && std::isfinite(number))
        return number;
    return std::nullopt;
}

// A number's integer value (fraction dropped); 0 when it lies outside the 64-bit range.
qint64 truncatedInteger(const char* key, const QVariant& value, double number)
{
    if (!std::isfinite(number) || number >= 9.2e18 || number <= -9.2e18) {
        logWrongType(key, value, "number in range");
        return 0;
    }
    return qint64(number);
}

// The member, or an invalid QVariant when it is absent or JSON null.
QVariant presentMember(const QVariantMap& json, const char* key)
{
    const QVariant value = json.value(QLatin1String(key));
    return platform::json::isNull(value) ? QVariant() : value;
}

QString callStack()
{
    void* frames[32];
    const int count = backtrace(frames, 32);
    char** symbols = backtrace_symbols(frames, count);
    if (!symbols)
        return QString();
    QStringList lines;
    for (int i = 1; i < count; ++i)
        lines << QString::fromLocal8Bit(symbols[i]);
    std::free(symbols);
    return lines.join(QLatin1Char('\n'));
}

// Reads `count` decimal digits at `pos`; -1 when any is not a digit.
int digits(const QString& text, int pos, int count)
{
    if (pos + count > text.size())
        return -1;
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = text.at(pos + i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

bool charAt(const QString& text, int pos, char expected)
{
    return pos < text.size() && text.at(pos) == QLatin1Char(expected);
}

} // namespace

PLRWebServiceModelObject::PLRWebServiceModelObject(const QVariantMap& json)
{
    m_identifier = identifierMember(json, "id");
    m_creationDate = dateMember(json, "created_at");
    m_updatedDate = dateMember(json, "updated_at");
}

PLRWebServiceModelObject::~PLRWebServiceModelObject() = default;

QVariantMap PLRWebServiceModelObject::dictionary() const
{
    QVariantMap dictionary;
    if (!m_identifier.isNull())
        dictionary.insert(QStringLiteral("id"), m_identifier);
    return dictionary;
}

void PLRWebServiceModelObject::logSubclassShouldImplement(const char* call)
{
    PLR_LOG_ERROR(QStringLiteral("Subclass should implement: %1").arg(QLatin1String(call)));
    PLR_LOG_DEBUG(callStack());
}

QStringList PLRWebServiceModelObject::resourcePath()
{
    logSubclassShouldImplement("resourcePath");
    return {};
}

bool PLRWebServiceModelObject::getObjectFromServerRequest(const PLRServiceCompletion&)
{
    logSubclassShouldImplement("getObjectFromServerRequest");
    return false;
}

bool PLRWebServiceModelObject::updateObjectWithDictionary(const QVariantMap&, PLRServiceCompletion)
{
    logSubclassShouldImplement("updateObjectWithDictionary");
    return false;
}

void PLRWebServiceModelObject::logUnexpectedData(const char* className, const QVariant& data)
{
    PLR_LOG_WARN(QStringLiteral("Answer for %1 has no \"data\" object (%2); not used")
                     .arg(QLatin1String(className),
                          data.isValid() ? jsonTypeName(data) : QStringLiteral("absent")));
}

// ---- JSON helpers ----

QVariant PLRWebServiceModelObject::sanitiseJSONString(const QVariant& value)
{
    return platform::json::isNull(value) ? QVariant() : value;
}

QVariant PLRWebServiceModelObject::sanitiseJSONArray(const QVariant& value)
{
    return platform::json::isNull(value) ? QVariant() : value;
}

QVariant PLRWebServiceModelObject::sanitiseJSONDictionary(const QVariant& value)
{
    return platform::json::isNull(value) ? QVariant() : value;
}

QString PLRWebServiceModelObject::stringMember(const QVariantMap& json, const char* key)
{
    const QVariant value = presentMember(json, key);
    if (!value.isValid())
        return QString();
    if (value.typeId() != QMetaType::QString) {
        logWrongType(key, value, "string");
        return QString();
    }
    return value.toString();
}

std::optional<QVariantList> PLRWebServiceModelObject::arrayMember(const QVariantMap& json, const char* key)
{
    const QVariant value = presentMember(json, key);
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() != QMetaType::QVariantList) {
        logWrongType(key, value, "array");
        return std::nullopt;
    }
    return value.toList();
}

std::optional<QVariantMap> PLRWebServiceModelObject::dictionaryMember(const QVariantMap& json, const char* key)
{
    const QVariant value = presentMember(json, key);
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() != QMetaType::QVariantMap) {
        logWrongType(key, value, "object");
        return std::nullopt;
    }
    return value.toMap();
}

qint64 PLRWebServiceModelObject::integerMember(const QVariantMap& json, const char* key)
{
    const QVariant value = presentMember(json, key);
    if (!value.isValid())
        return 0;
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? 1 : 0;
    if (value.typeId() == QMetaType::QString) {
        const std::optional<double> number = numberInText(value.toString());
        if (!number) {
            logWrongType(key, value, "number");
            return 0;
        }
        return truncatedInteger(key, value, *number);
    }
    if (!isNumber(value)) {
        logWrongType(key, value, "number");
        return 0;
    }
    if (value.typeId() == QMetaType::Double)
        return truncatedInteger(key, value, value.toDouble());
    return value.toLongLong();
}

bool PLRWebServiceModelObject::flagMember(const QVariantMap& json, const char* key)
{
    const QVariant value = presentMember(json, key);
    if (!value.isValid())
        return false;
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (isNumber(value))
        return value.toDouble() != 0.0;
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("yes"))
            return true;
        if (text == QLatin1String("false") || text == QLatin1String("no"))
            return false;
        if (const std::optional<double> number = numberInText(text))
            return *number != 0.0;
    }
    logWrongType(key, value, "boolean");
    return false;
}

QString PLRWebServiceModelObject::identifierMember(const QVariantMap& json, const char* key)
{
    const QVariant value = presentMember(json, key);
    if (!value.isValid() || value.typeId() == QMetaType::QString)
        return stringMember(json, key);
    if (isNumber(value)) {
        if (value.typeId() != QMetaType::Double)
            return QString::number(value.toLongLong());
        const double number = value.toDouble();
        if (std::isfinite(number) && number == std::trunc(number) && std::fabs(number) < 9.0e15)
            return QString::number(qint64(number));
    }
    logWrongType(key, value, "identifier");
    return QString();
}

QDateTime PLRWebServiceModelObject::dateMember(const QVariantMap& json, const char* key)
{
    const QString text = stringMember(json, key);
    if (text.isNull())
        return QDateTime();
    const QDateTime date = dateFromJSONString(text);
    if (!date.isValid())
        PLR_LOG_WARN(QStringLiteral("Service member \"%1\" is not a date of the form "
                                    "yyyy-MM-dd'T'HH:mm:ssZ: \"%2\"; ignored")
                         .arg(QLatin1String(key), text.left(64)));
    return date;
}

QDateTime PLRWebServiceModelObject::dateFromJSONString(const QString& text)
{
    // yyyy-MM-ddTHH:mm:ss followed by Z, +HHMM/-HHMM or +HH:MM/-HH:MM, nothing else.
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return QDateTime();
    if (!charAt(text, 4, '-') || !charAt(text, 7, '-') || !charAt(text, 10, 'T')
        || !charAt(text, 13, ':') || !charAt(text, 16, ':'))
        return QDateTime();

    int offsetSeconds = 0;
    const int zone = 19;
    if (charAt(text, zone, 'Z')) {
        if (text.size() != zone + 1)
            return QDateTime();
    } else if (charAt(text, zone, '+') || charAt(text, zone, '-')) {
        const int sign = charAt(text, zone, '-') ? -1 : 1;
        const int offsetHours = digits(text, zone + 1, 2);
        int offsetMinutes = -1;
        if (text.size() == zone + 5) {
            offsetMinutes = digits(text, zone + 3, 2);
        } else if (text.size() == zone + 6 && charAt(text, zone + 3, ':')) {
            offsetMinutes = digits(text, zone + 4, 2);
        }
        if (offsetHours < 0 || offsetMinutes < 0 || offsetHours > 23 || offsetMinutes > 59)
            return QDateTime();
        offsetSeconds = sign * (offsetHours * 3600 + offsetMinutes * 60);
    } else {
        return QDateTime();
    }

    const QDate date(year, month, day);
    if (!date.isValid() || hour > 23 || minute > 59 || second > 59)
        return QDateTime();
    const QDateTime local(date, QTime(hour, minute, second), Qt::UTC);
    return local.addSecs(-offsetSeconds);
}

QString PLRWebServiceModelObject::jsonDateString(const QDateTime& date)
{
    if (!date.isValid())
        return QString();
    const QDateTime utc = date.toUTC();
    const QDate d = utc.date();
    const QTime t = utc.time();
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02dZ", d.year(), d.month(), d.day(),
                             t.hour(), t.minute(), t.second());
}
