#include "services/web-services/PLRWebServiceUser.h"

#include "store/persistance-store/PLRPersistantAccount.h"
#include "platform/Bundle.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRUserSession.h"
#include "services/web-services/PLRWebServiceHost.h"

#include <QSysInfo>
#include <QThread>

#include <unistd.h>

namespace {

qint64 physicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return qint64(pages) * qint64(pageSize);
}

} // namespace

PLRWebServiceUser::PLRWebServiceUser(const QVariantMap& json) : PLRWebServiceModelObject(json)
{
    readMembers(json);
}

std::shared_ptr<PLRWebServiceUser> PLRWebServiceUser::fromJSON(const QVariantMap& json)
{
    return std::make_shared<PLRWebServiceUser>(json);
}

void PLRWebServiceUser::readMembers(const QVariantMap& json)
{
    m_firstName = stringMember(json, "f_name");
    m_lastName = stringMember(json, "l_name");
    m_email = stringMember(json, "email");
    m_verified = flagMember(json, "verified");
    m_usage = dictionaryMember(json, "app_usage");
}

bool PLRWebServiceUser::getObjectFromServerRequest(const PLRServiceCompletion& completion)
{
    return getModel<PLRWebServiceUser>(PLRWebServiceHost::currentHost().serviceMeURLWithPaths(resourcePath()),
                                       completion);
}

bool PLRWebServiceUser::updateObjectWithDictionary(const QVariantMap& dictionary,
                                                   PLRServiceCompletion completion)
{
    QVariantMap user = this->dictionary();
    for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it)
        user.insert(it.key(), it.value());

    return putModelUpdate<PLRWebServiceUser>(
        PLRWebServiceHost::currentHost().serviceMeURLWithPaths(resourcePath()), QStringLiteral("user"), user,
        [](PLRWebServiceUser& model, const QVariantMap& json) { model.readMembers(json); }, std::move(completion));
}

QVariantMap PLRWebServiceUser::dictionary() const
{
    QVariantMap dictionary = PLRWebServiceModelObject::dictionary();
    dictionary.insert(QStringLiteral("app_usage"), usageReport());
    return dictionary;
}

QVariantMap PLRWebServiceUser::usageReport()
{
    qint64 postCount = 0;
    if (PLRUserSession* session = PLRCoreManager::userSession()) {
        if (PLRPersistantAccount* account = session->account())
            postCount = account->currentPosts().size();
    }
    return {
        {QStringLiteral("app_ver"), platform::bundle::version()},
        {QStringLiteral("os_ver"), QSysInfo::prettyProductName()},
        {QStringLiteral("p_count"), quint64(qMax(1, QThread::idealThreadCount()))},
        {QStringLiteral("m_count"), physicalMemory()},
        {QStringLiteral("l_p_count"), postCount},
        {QStringLiteral("e_l_count"), PLRDefaults::exportLayoutCount()},
        {QStringLiteral("e_c_count"), PLRDefaults::exportCollageCount()},
    };
}

bool PLRWebServiceUser::sendEmailVerifyMail(PLRServiceCompletion completion)
{
    PLRServiceCall call;
    call.method = "POST";
    call.url = PLRWebServiceHost::currentHost().serviceApiURLWithPaths({QStringLiteral("request-email-verify")});
    call.body = QVariantMap{{QStringLiteral("email"), m_email.isNull() ? QString(QLatin1String("")) : m_email}};
    call.authenticated = false;
    call.logResponse = false;
    call.makeResult = [](const QVariant&) -> std::optional<QVariant> { return QVariant(); };
    PLRSendServiceRequest(call, std::move(completion));
    return true;
}
