#include "services/PLRServices.h"

#include "platform/FirstFrame.h"
#include "platform/Log.h"
#include "store/session/PLRUserSession.h"
#include "services/web-services/PLRWebServiceHost.h"
#include "services/web-services/PLRWebServiceManager.h"
#include "services/web-services/PLRWebServiceUserManager.h"

namespace {

QString textMember(const QVariantMap& body, const char* key)
{
    const QVariant value = body.value(QLatin1String(key));
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
        return QString::number(value.toLongLong());
    default:
        return QString();
    }
}

} // namespace

void PLRServices::install()
{
    PLRUserSession::setKeychainServiceNameProvider(
        [] { return PLRWebServiceHost::serviceKeyForHostType(PLRWebServiceHost::currentHostType()); });
    PLRCoreManager::setSignInHandler(&PLRServices::signIn);
    // Every session gets its user-session machine when it is made.
    PLRWebServiceUserManager::installSessionFactory();
    // The connection check (reachability, the network-information back-end, the version
    // request) starts once the main window's first frame is on the screen.
    PLRCoreManager::setStartHook([] {
        platform::firstframe::afterFirstFrame(&PLRWebServiceManager::globalManager(),
                                              [] { PLRWebServiceManager::globalManager().beginManager(); });
    });
}

bool PLRServices::signIn(const QString& email, const QString& password,
                             PLRCoreManager::SignInCompletion completion)
{
    if (!completion)
        completion = [](bool, const QVariant&, const PLRServiceError*, const platform::Error&) {};
    return PLRWebServiceManager::loginWithEmail(
        email, password,
        [email, password, completion](bool success, const QVariant& body,
                                      const std::optional<PLRServiceError>& serviceError,
                                      const platform::Error& transportError) {
            if (!success) {
                completion(false, QVariant(), serviceError ? &*serviceError : nullptr, transportError);
                return;
            }
            const QVariantMap answer = body.toMap();
            const QString jwt = textMember(answer, "jwt");
            const QString userId = textMember(answer, "user_id");
            if (jwt.isEmpty() || userId.isEmpty()) {
                PLR_LOG_ERROR(QStringLiteral("Log-in answer without \"jwt\" or \"user_id\""));
                const PLRServiceError unreadable = PLRServiceError::serviceErrorWithDictionary(QVariant());
                completion(false, body, &unreadable, platform::Error());
                return;
            }
            if (!PLRCoreManager::completeSignIn(email, password, userId, jwt)) {
                PLR_LOG_ERROR(QStringLiteral("Signed in but the session could not be stored"));
                completion(false, body, nullptr,
                           platform::Error::make(QString::fromLatin1(kPLRServicesErrorDomain), 1,
                                                 QStringLiteral("The sign-in could not be stored.")));
                return;
            }
            completion(true, QVariant::fromValue(PLRCoreManager::userSession()), nullptr, platform::Error());
        });
}
