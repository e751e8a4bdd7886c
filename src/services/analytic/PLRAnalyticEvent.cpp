#include "services/analytic/PLRAnalyticEvent.h"

#include "platform/Bundle.h"
#include "platform/FoundationAdditions.h"
#include "platform/Log.h"

#include <QUuid>

namespace {

constexpr const char* kInfoKey = "info";
constexpr const char* kTitleKey = "title";
constexpr const char* kCreateDateKey = "createDate";
constexpr const char* kEventIdKey = "eventId";

QString key(const char* text) { return QString::fromLatin1(text); }

} // namespace

PLRAnalyticEvent::PLRAnalyticEvent(const QString& title, const QVariantMap& info)
    : m_title(title),
      m_info(info),
      m_createTime(QDateTime::currentDateTimeUtc()),
      m_eventId(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper())
{
}

PLRAnalyticEvent PLRAnalyticEvent::createEventWithTitle(const QString& title, const QVariantMap& info)
{
    return PLRAnalyticEvent(title, info);
}

QVariantMap PLRAnalyticEvent::wireDictionary() const
{
    QString text = platform::jsonText(m_info);
    if (text.isNull()) {
        PLR_LOG_WARN(QStringLiteral("Details of event \"%1\" cannot be written as JSON; sent without them")
                         .arg(m_title));
        text = QStringLiteral("{}");
    }
    const QDateTime happened = platform::gmtZoneDate(m_createTime);
    return {
        {QStringLiteral("date_happened"), happened.isValid() ? happened.toSecsSinceEpoch() : qint64(0)},
        {QStringLiteral("priority"), QStringLiteral("normal")},
        {QStringLiteral("tags"), PLRAppInfo::tagsForCurrentApplication()},
        {QStringLiteral("text"), text},
        {QStringLiteral("title"), m_title},
        {QStringLiteral("source_type_name"), QStringLiteral("PelloraApp")},
    };
}

QString PLRAnalyticEvent::jsonRepresentation() const
{
    return platform::jsonText(wireDictionary());
}

QVariantMap PLRAnalyticEvent::encode() const
{
    return {
        {key(kInfoKey), m_info},
        {key(kTitleKey), m_title},
        {key(kCreateDateKey), m_createTime.toUTC().toString(Qt::ISODateWithMs)},
        {key(kEventIdKey), m_eventId},
    };
}

std::optional<PLRAnalyticEvent> PLRAnalyticEvent::decode(const QVariant& archive)
{
    if (archive.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap map = archive.toMap();
    const QVariant eventId = map.value(key(kEventIdKey));
    const QVariant title = map.value(key(kTitleKey));
    if (eventId.typeId() != QMetaType::QString || eventId.toString().isEmpty()
        || title.typeId() != QMetaType::QString)
        return std::nullopt;
    PLRAnalyticEvent event;
    event.m_eventId = eventId.toString();
    event.m_title = title.toString();
    const QVariant info = map.value(key(kInfoKey));
    if (info.typeId() == QMetaType::QVariantMap)
        event.m_info = info.toMap();
    event.m_createTime = QDateTime::fromString(map.value(key(kCreateDateKey)).toString(), Qt::ISODateWithMs);
    if (!event.m_createTime.isValid())
        event.m_createTime = QDateTime::currentDateTimeUtc();
    return event;
}

QStringList PLRAppInfo::tagsForApplication(const QString& bundleName, const QString& shortVersion)
{
    return {QStringLiteral("bundle:%1").arg(bundleName), QStringLiteral("version:%1").arg(shortVersion)};
}

QStringList PLRAppInfo::tagsForCurrentApplication()
{
    return tagsForApplication(platform::bundle::targetName(), platform::bundle::version());
}
