#include "platform/Json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace platform::json {

namespace {
void fail(Error* error, const QString& reason)
{
    if (error)
        *error = Error::make(kErrorDomain, 3840, QStringLiteral("The data couldn't be read because it isn't in the correct format."), reason);
}
} // namespace

QVariant parse(const QByteArray& data, bool allowFragments, Error* error)
{
    QJsonParseError parseError{};
    QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error == QJsonParseError::NoError) {
        if (document.isObject())
            return document.object().toVariantMap();
        if (document.isArray())
            return document.array().toVariantList();
    }
    if (allowFragments) {
        // QJsonDocument reads only objects and arrays: read a bare value as the one element
        // of an array around it.
        const QByteArray wrapped = QByteArray("[") + data + QByteArray("]");
        QJsonParseError wrappedError{};
        const QJsonDocument wrappedDocument = QJsonDocument::fromJson(wrapped, &wrappedError);
        if (wrappedError.error == QJsonParseError::NoError && wrappedDocument.isArray()
            && wrappedDocument.array().size() == 1) {
            const QJsonValue value = wrappedDocument.array().at(0);
            if (value.isNull())
                return QVariant::fromValue(nullptr);
            return value.toVariant();
        }
    }
    fail(error, parseError.error == QJsonParseError::NoError ? QStringLiteral("Top-level value is not an object or array")
                                                             : parseError.errorString());
    return QVariant();
}

QByteArray write(const QVariant& value, bool pretty, Error* error)
{
    const auto format = pretty ? QJsonDocument::Indented : QJsonDocument::Compact;
    switch (value.typeId()) {
    case QMetaType::QVariantMap:
        return QJsonDocument(QJsonObject::fromVariantMap(value.toMap())).toJson(format);
    case QMetaType::QVariantHash:
        return QJsonDocument(QJsonObject::fromVariantHash(value.toHash())).toJson(format);
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
        return QJsonDocument(QJsonArray::fromVariantList(value.toList())).toJson(format);
    default:
        break;
    }
    if (!value.isValid()) {
        fail(error, QStringLiteral("No value to write"));
        return QByteArray();
    }
    const QJsonValue jsonValue = QJsonValue::fromVariant(value);
    if (jsonValue.isUndefined()) {
        fail(error, QStringLiteral("Value of type %1 cannot be written as JSON").arg(QString::fromUtf8(value.typeName())));
        return QByteArray();
    }
    QByteArray text = QJsonDocument(QJsonArray{jsonValue}).toJson(QJsonDocument::Compact);
    return text.mid(1, text.size() - 2);   // strip the array around the fragment
}

bool isNull(const QVariant& value)
{
    return !value.isValid() || value.isNull() || value.typeId() == QMetaType::Nullptr;
}

} // namespace platform::json
