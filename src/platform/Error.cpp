#include "platform/Error.h"

#include <QNetworkReply>

namespace platform {

Error::Error(QString d, qint64 c, QVariantMap info) : domain(std::move(d)), code(c), userInfo(std::move(info)) {}

Error Error::make(const QString& domain, qint64 code, const QString& description, const QString& failureReason)
{
    QVariantMap info;
    if (!description.isNull())
        info.insert(kLocalizedDescriptionKey, description);
    if (!failureReason.isNull())
        info.insert(kLocalizedFailureReasonKey, failureReason);
    return Error(domain, code, info);
}

QString Error::localizedDescription() const
{
    const QString d = userInfo.value(kLocalizedDescriptionKey).toString();
    if (!d.isEmpty())
        return d;
    return QStringLiteral("The operation couldn't be completed. (%1 error %2.)").arg(domain).arg(code);
}

QString Error::localizedFailureReason() const { return userInfo.value(kLocalizedFailureReasonKey).toString(); }

QString Error::toString() const
{
    return QStringLiteral("Error Domain=%1 Code=%2 \"%3\"").arg(domain).arg(code).arg(localizedDescription());
}

qint64 urlErrorCodeForNetworkError(int e)
{
    using R = QNetworkReply;
    switch (static_cast<R::NetworkError>(e)) {
    case R::NoError:
        return 0;
    case R::ConnectionRefusedError:
        return urlerror::CannotConnectToHost;
    case R::RemoteHostClosedError:
        return urlerror::NetworkConnectionLost;
    case R::HostNotFoundError:
        return urlerror::CannotFindHost;
    case R::TimeoutError:
        return urlerror::TimedOut;
    case R::OperationCanceledError:
        return urlerror::Cancelled;
    case R::SslHandshakeFailedError:
        return urlerror::SecureConnectionFailed;
    case R::TemporaryNetworkFailureError:
    case R::NetworkSessionFailedError:
        return urlerror::NotConnectedToInternet;
    case R::BackgroundRequestNotAllowedError:
        return urlerror::NotConnectedToInternet;
    case R::TooManyRedirectsError:
        return urlerror::HTTPTooManyRedirects;
    case R::InsecureRedirectError:
        return urlerror::SecureConnectionFailed;
    case R::ProxyConnectionRefusedError:
    case R::ProxyConnectionClosedError:
    case R::ProxyNotFoundError:
    case R::ProxyTimeoutError:
        return urlerror::CannotConnectToHost;
    case R::ProxyAuthenticationRequiredError:
        return urlerror::UserAuthenticationRequired;
    case R::ProtocolUnknownError:
        return urlerror::UnsupportedURL;
    case R::ProtocolInvalidOperationError:
    case R::ProtocolFailure:
        return urlerror::BadServerResponse;
    case R::UnknownNetworkError:
        return urlerror::NotConnectedToInternet;
    default:
        return urlerror::Unknown;
    }
}

Error transportError(QNetworkReply* reply)
{
    if (!reply)
        return Error::make(kURLErrorDomain, urlerror::Unknown, QStringLiteral("No reply."));
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() > 0)
        return Error();
    if (reply->error() == QNetworkReply::NoError)
        return Error();
    const qint64 code = urlErrorCodeForNetworkError(reply->error());
    QVariantMap info;
    info.insert(kLocalizedDescriptionKey, reply->errorString());
    info.insert(QStringLiteral("NSErrorFailingURLStringKey"), reply->url().toString());
    return Error(kURLErrorDomain, code, info);
}

} // namespace platform
