#include "services/web-services/PLRServiceError.h"

#include "platform/Json.h"
#include "platform/Log.h"
#include "platform/Resources.h"

#include <mutex>

namespace {

// A member that is present and not JSON null.
QVariant member(const QVariantMap& map, const char* key)
{
    const QVariant value = map.value(QLatin1String(key));
    return platform::json::isNull(value) ? QVariant() : value;
}

std::optional<QVariantMap> dictionaryMember(const QVariantMap& map, const char* key)
{
    const QVariant value = member(map, key);
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() != QMetaType::QVariantMap) {
        PLR_LOG_WARN(QStringLiteral("Service error member \"%1\" is not an object; ignored")
                         .arg(QLatin1String(key)));
        return std::nullopt;
    }
    return value.toMap();
}

const QVariantMap& errorMap()
{
    static QVariantMap map;
    static std::once_flag once;
    std::call_once(once, [] {
        const QByteArray bytes = platform::resources::data(QStringLiteral("error_map.json"));
        if (bytes.isEmpty())
            return;
        platform::Error error;
        const QVariant parsed = platform::json::parse(bytes, false, &error);
        if (parsed.typeId() != QMetaType::QVariantMap) {
            PLR_LOG_ERROR(QStringLiteral("error_map.json is not a JSON object: %1").arg(error.toString()));
            return;
        }
        map = parsed.toMap();
    });
    return map;
}

} // namespace

PLRServiceError::PLRServiceError(const QVariantMap& dictionary)
{
    const QVariant code = member(dictionary, "code");
    if (code.isValid()) {
        bool ok = false;
        const double number = code.toDouble(&ok);
        if (ok)
            m_code = qint64(number);
        else
            PLR_LOG_WARN(QStringLiteral("Service error code is not a number: %1").arg(code.toString()));
    }
    const QVariant error = member(dictionary, "error");
    if (error.isValid() && error.typeId() == QMetaType::QString)
        m_error = error.toString();
    if (m_error.isNull())
        m_error = errorMessageForCode(m_code);
    m_changesetErrors = dictionaryMember(dictionary, "errors");
    m_info = dictionaryMember(dictionary, "info");
}

PLRServiceError PLRServiceError::serviceErrorWithDictionary(const QVariant& body)
{
    if (body.typeId() != QMetaType::QVariantMap) {
        if (body.isValid())
            PLR_LOG_WARN(QStringLiteral("Service error body is not a JSON object"));
        return PLRServiceError(QVariantMap());
    }
    return PLRServiceError(body.toMap());
}

QString PLRServiceError::errorMessageForCode(qint64 code)
{
    const QString key = QString::asprintf("%03llu", static_cast<unsigned long long>(code));
    const QVariant text = errorMap().value(key);
    if (text.typeId() != QMetaType::QString)
        return QString();
    return text.toString();
}

static QString textOf(const std::optional<QVariantMap>& map)
{
    if (!map)
        return QStringLiteral("(null)");
    return QString::fromUtf8(platform::json::write(*map, false));
}

QString PLRServiceError::description() const
{
    return QStringLiteral("<PLRServiceError:0x%1 code=%2, error='%3', info=%4, changeset=%5>")
        .arg(quintptr(this), 0, 16)
        .arg(m_code)
        .arg(m_error.isNull() ? QStringLiteral("(null)") : m_error)
        .arg(textOf(m_info), textOf(m_changesetErrors));
}
