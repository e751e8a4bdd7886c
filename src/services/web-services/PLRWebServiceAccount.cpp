#include "services/web-services/PLRWebServiceAccount.h"

#include "services/web-services/PLRWebServiceHost.h"

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
    return getModel<PLRWebServiceAccount>(resourceURL(), completion);
}

bool PLRWebServiceAccount::updateObjectWithDictionary(const QVariantMap& dictionary,
                                                      PLRServiceCompletion completion)
{
    return putModelUpdate<PLRWebServiceAccount>(
        resourceURL(), QStringLiteral("account"), dictionary,
        [](PLRWebServiceAccount& account, const QVariantMap& json) {
            account.m_name = stringMember(json, "name");
            account.m_active = flagMember(json, "active");
            account.m_status = integerMember(json, "status");
        },
        std::move(completion));
}
