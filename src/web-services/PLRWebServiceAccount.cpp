#include "web-services/PLRWebServiceAccount.h"

#include "web-services/PLRWebServiceHost.h"

PLRWebServiceAccount::PLRWebServiceAccount(const QVariantMap& json) : PLRWebServiceModelObject(json)
{
    m_name = stringMember(json, "name");
    m_active = flagMember(json, "active");
    m_status = integerMember(json, "status");
    if (json.contains(QStringLiteral("gen_status")))
        m_genericStatus = integerMember(json, "gen_status");
}

std::shared_ptr<PLRWebServiceAccount> PLRWebServiceAccount::fromJSON(const QVariantMap& json)
{
    return std::make_shared<PLRWebServiceAccount>(json);
}

QUrl PLRWebServiceAccount::resourceURL()
{
    return PLRWebServiceHost::currentHost().serviceMeURLWithPaths(
        resourcePath(), {{QStringLiteral("expand"), QStringLiteral("true")}});
}

bool PLRWebServiceAccount::getObjectFromServerRequest(const PLRServiceCompletion& completion)
{
    PLRServiceCall call;
    call.url = resourceURL();
    call.makeResult = makeModelResult<PLRWebServiceAccount>();
    return PLRSendServiceRequest(call, completion);
}

bool PLRWebServiceAccount::updateObjectWithDictionary(const QVariantMap& dictionary,
                                                      PLRServiceCompletion completion)
{
    auto self = std::static_pointer_cast<PLRWebServiceAccount>(shared_from_this());
    PLRServiceCall call;
    call.method = "PUT";
    call.url = resourceURL();
    call.body = QVariantMap{{QStringLiteral("account"), dictionary}};
    call.logResponse = false;
    call.makeResult = [self](const QVariant& data) -> std::optional<QVariant> {
        if (data.typeId() != QMetaType::QVariantMap) {
            logUnexpectedData(staticClassName(), data);
            return std::nullopt;
        }
        const QVariantMap json = data.toMap();
        self->m_name = stringMember(json, "name");
        self->m_active = flagMember(json, "active");
        self->m_status = integerMember(json, "status");
        self->setUpdatedDate(dateMember(json, "updated_at"));
        return QVariant::fromValue(self);
    };
    return PLRSendServiceRequest(call, std::move(completion));
}
