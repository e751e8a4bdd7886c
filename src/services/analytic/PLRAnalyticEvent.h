#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

// One titled event for the event collector: what the user did, with JSON details.
class PLRAnalyticEvent {
public:
    PLRAnalyticEvent() = default;
    // A new event made now, with a new identifier (an upper-case UUID).
    PLRAnalyticEvent(const QString& title, const QVariantMap& info);
    static PLRAnalyticEvent createEventWithTitle(const QString& title, const QVariantMap& info = {});

    QString title() const { return m_title; }
    void setTitle(const QString& title) { m_title = title; }
    QVariantMap info() const { return m_info; }
    void setInfo(const QVariantMap& info) { m_info = info; }
    QDateTime createTime() const { return m_createTime; }
    void setCreateTime(const QDateTime& time) { m_createTime = time; }
    QString eventId() const { return m_eventId; }
    void setEventId(const QString& eventId) { m_eventId = eventId; }

    QString eventID() const { return m_eventId; }
    QString eventTitle() const { return m_title; }

    // The body sent to the collector: {"date_happened", "priority", "tags", "text", "title",
    // "source_type_name"} as compact JSON text.
    QString jsonRepresentation() const;
    // The same as a dictionary.
    QVariantMap wireDictionary() const;

    // The archived form: "info", "title", "createDate" (ISO 8601 with milliseconds, UTC) and
    // "eventId". decode() gives nothing for a dictionary that is not an archived event.
    QVariantMap encode() const;
    static std::optional<PLRAnalyticEvent> decode(const QVariant& archive);

    bool operator==(const PLRAnalyticEvent& other) const = default;

private:
    QString m_title;
    QVariantMap m_info;
    QDateTime m_createTime;
    QString m_eventId;
};

Q_DECLARE_METATYPE(PLRAnalyticEvent)

// The application tags sent with every event.
namespace PLRAppInfo {
// "bundle:<name>" and "version:<short version>", in that order.
QStringList tagsForApplication(const QString& bundleName, const QString& shortVersion);
// The tags of this application.
QStringList tagsForCurrentApplication();
} // namespace PLRAppInfo
