#pragma once

#include "services/web-services/PLRServiceRequest.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

// Common base of the remote models: an object of the signed-in user on the web service, built
// from the "data" member of an answer. Members are snake_case; a JSON null counts as absent; a
// member of the wrong JSON type is ignored (logged) and reads as absent too.
//
// Models are held by std::shared_ptr (operation results carry them in a QVariant); an update
// changes the object in place and hands the same object back. Main thread only, apart from
// construction.
class PLRWebServiceModelObject : public std::enable_shared_from_this<PLRWebServiceModelObject> {
public:
    // Reads "id", "created_at" and "updated_at". Subclasses read their own members afterwards.
    explicit PLRWebServiceModelObject(const QVariantMap& json = {});
    virtual ~PLRWebServiceModelObject();

    PLRWebServiceModelObject(const PLRWebServiceModelObject&) = delete;
    PLRWebServiceModelObject& operator=(const PLRWebServiceModelObject&) = delete;

    // Null when unknown.
    QString identifier() const { return m_identifier; }
    // Invalid when unknown (absent, or text not in the service's date form).
    QDateTime creationDate() const { return m_creationDate; }
    QDateTime updatedDate() const { return m_updatedDate; }
    void setUpdatedDate(const QDateTime& date) { m_updatedDate = date; }

    // {"id": identifier} when the identifier is known, else empty. Subclasses add their members.
    virtual QVariantMap dictionary() const;

    // The path components of the resource under /api/me. Subclasses hide these three with
    // their own; the base versions log and report failure.
    static QStringList resourcePath();
    static bool getObjectFromServerRequest(const PLRServiceCompletion& completion);
    virtual bool updateObjectWithDictionary(const QVariantMap& dictionary,
                                            PLRServiceCompletion completion);

    // Absent (an invalid QVariant) for a JSON null, else the value unchanged.
    static QVariant sanitiseJSONString(const QVariant& value);
    static QVariant sanitiseJSONArray(const QVariant& value);
    static QVariant sanitiseJSONDictionary(const QVariant& value);

    // Typed member readers. Absent, null and wrongly typed members give a null string, no list
    // or dictionary, 0 or false; a wrong type is logged. Numbers and flags may come as JSON
    // numbers or as text holding a number, since the service is not consistent about it.
    static QString stringMember(const QVariantMap& json, const char* key);
    static std::optional<QVariantList> arrayMember(const QVariantMap& json, const char* key);
    static std::optional<QVariantMap> dictionaryMember(const QVariantMap& json, const char* key);
    // The integer value of a number, of a text holding a number ("2", "2.7"; fractions
    // truncated) or of true/false.
    static qint64 integerMember(const QVariantMap& json, const char* key);
    // The truth value of true/false, of a number (non-zero), of a text holding a number or of
    // the texts "true"/"yes" and "false"/"no".
    static bool flagMember(const QVariantMap& json, const char* key);
    // An identifier: a text, or a whole number written as its decimal text.
    static QString identifierMember(const QVariantMap& json, const char* key);
    static QDateTime dateMember(const QVariantMap& json, const char* key);

    // The service's date form "yyyy-MM-dd'T'HH:mm:ssZ": e.g. "2024-03-01T10:20:30Z",
    // "2024-03-01T10:20:30+0100" or "...+01:00". Read by hand, whatever the user's locale and
    // time zone; anything else (fractions, no zone, out-of-range fields) gives an invalid date.
    static QDateTime dateFromJSONString(const QString& text);
    // The same form for a date, in UTC with "Z".
    static QString jsonDateString(const QDateTime& date);

    // The model's class name in log lines.
    virtual const char* className() const { return "PLRWebServiceModelObject"; }

protected:
    void setIdentifierValue(const QString& identifier) { m_identifier = identifier; }

    // Logs "Subclass should implement: <call>" with the call stack.
    static void logSubclassShouldImplement(const char* call);

    // A result builder for PLRServiceCall: a new model of type T from an answer's "data",
    // which must be a JSON object (anything else fails the request with a service error).
    template <typename T>
    static std::function<std::optional<QVariant>(const QVariant&)> makeModelResult()
    {
        return [](const QVariant& data) -> std::optional<QVariant> {
            if (data.typeId() != QMetaType::QVariantMap) {
                logUnexpectedData(T::staticClassName(), data);
                return std::nullopt;
            }
            return QVariant::fromValue(T::fromJSON(data.toMap()));
        };
    }
    static void logUnexpectedData(const char* className, const QVariant& data);

    // GET of the resource at `url`; the result is a new model of type T built from the answer.
    template <typename T>
    static bool getModel(const QUrl& url, const PLRServiceCompletion& completion)
    {
        PLRServiceCall call;
        call.url = url;
        call.makeResult = makeModelResult<T>();
        return PLRSendServiceRequest(call, completion);
    }

    // PUT of {bodyKey: dictionary} to `url` for this model (of type T). On success `readAnswer`
    // takes the members of the answer's "data" object, the model takes "updated_at", and the
    // result is this model; an answer without a "data" object fails the request.
    template <typename T>
    bool putModelUpdate(const QUrl& url, const QString& bodyKey, const QVariantMap& dictionary,
                        std::function<void(T& model, const QVariantMap& json)> readAnswer,
                        PLRServiceCompletion completion)
    {
        auto self = std::static_pointer_cast<T>(shared_from_this());
        PLRServiceCall call;
        call.method = "PUT";
        call.url = url;
        call.body = QVariantMap{{bodyKey, dictionary}};
        call.logResponse = false;
        call.makeResult = [self, readAnswer](const QVariant& data) -> std::optional<QVariant> {
            if (data.typeId() != QMetaType::QVariantMap) {
                logUnexpectedData(T::staticClassName(), data);
                return std::nullopt;
            }
            const QVariantMap json = data.toMap();
            readAnswer(*self, json);
            self->setUpdatedDate(dateMember(json, "updated_at"));
            return QVariant::fromValue(self);
        };
        return PLRSendServiceRequest(call, std::move(completion));
    }

private:
    QString m_identifier;
    QDateTime m_creationDate;
    QDateTime m_updatedDate;
};

using PLRWebServiceModelObjectPtr = std::shared_ptr<PLRWebServiceModelObject>;

// The model a result QVariant holds, or null when it holds none of that type.
template <typename T>
std::shared_ptr<T> PLRModelFromResult(const QVariant& result)
{
    if (result.metaType() != QMetaType::fromType<std::shared_ptr<T>>())
        return nullptr;
    return result.value<std::shared_ptr<T>>();
}
