#include "services/web-services/PLRServiceRequest.h"
#include "platform/Resets.h"

#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/Json.h"
#include "platform/Log.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRUserSession.h"
#include "services/web-services/PLRWebServiceManager.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

#include <algorithm>

namespace {

const char* const kLimitProperty = "plrAnswerLimit";      // "size" or "time" once aborted
const char* const kReceivedProperty = "plrAnswerBytes";

// Bounds every answer of the session in size and total time.
class BoundedAccessManager final : public QNetworkAccessManager {
public:
    using QNetworkAccessManager::QNetworkAccessManager;

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request, QIODevice* outgoingData) override
    {
        QNetworkReply* reply = QNetworkAccessManager::createRequest(op, request, outgoingData);
        const int timeout = request.transferTimeout() > 0 ? request.transferTimeout() : kPLRServiceRequestTimeoutMs;
        const auto stop = [reply](const char* limit, const QString& why) {
            if (reply->isFinished() || !reply->property(kLimitProperty).isNull())
                return;
            reply->setProperty(kLimitProperty, QByteArray(limit));
            PLR_LOG_WARN(QStringLiteral("Service answer of %1 %2; dropped").arg(reply->url().toString(QUrl::RemoveQuery), why));
            reply->abort();
        };
        // Owned by the reply's connections: it goes (and stops) with the reply.
        auto deadline = std::make_shared<platform::ClockTimer>(reply, [stop, timeout] {
            stop("time", QStringLiteral("took longer than %1 ms").arg(timeout));
        });
        // An upload may take its time; the answer's clock starts once it is sent.
        QObject::connect(reply, &QNetworkReply::uploadProgress, reply, [deadline] { deadline->start(); });
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, stop](qint64 received, qint64 total) {
            reply->setProperty(kReceivedProperty, received);
            if (received > kPLRServiceAnswerMaxBytes || total > kPLRServiceAnswerMaxBytes)
                stop("size", QStringLiteral("is larger than %1 bytes").arg(kPLRServiceAnswerMaxBytes));
        });
        QObject::connect(reply, &QNetworkReply::finished, reply, [deadline] { deadline->stop(); });
        deadline->start(timeout / 1000.0);
        return reply;
    }
};

} // namespace

QNetworkAccessManager& PLRURLSession::shared()
{
    static QPointer<QNetworkAccessManager> manager;
    // A fresh session (no cookies, no open connections) after each test.
    static const bool joined = platform::resets::add([] { delete manager.data(); });
    (void)joined;
    if (!manager) {
        Q_ASSERT(platform::isMainThread());
        manager = new BoundedAccessManager(QCoreApplication::instance());
        manager->setTransferTimeout(kPLRServiceRequestTimeoutMs);
    }
    return *manager;
}

QNetworkRequest plainServiceRequest(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(kPLRServiceRequestTimeoutMs);
    return request;
}

QNetworkRequest requestWithAuthentication(const QString& token, const QUrl& url)
{
    QNetworkRequest request = plainServiceRequest(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader("Authorization", QByteArrayLiteral("Bearer ") + token.toUtf8());
    return request;
}

namespace {

// The session's own limits (size, time), then what the network layer reports.
platform::Error limitOrNetworkError(QNetworkReply* reply)
{
    const QByteArray limit = reply->property(kLimitProperty).toByteArray();
    if (limit == "size")
        return platform::Error::make(QString::fromLatin1(platform::kURLErrorDomain),
                                     platform::urlerror::DataLengthExceedsMaximum,
                                     QStringLiteral("The service answer is too large."));
    if (limit == "time")
        return platform::Error::make(QString::fromLatin1(platform::kURLErrorDomain), platform::urlerror::TimedOut,
                                     QStringLiteral("The request timed out."));
    platform::Error error = platform::transportError(reply);
    if (error.code == platform::urlerror::Cancelled) {
        error.code = platform::urlerror::TimedOut;
        error.userInfo.insert(QString::fromLatin1(platform::kLocalizedDescriptionKey),
                              QStringLiteral("The request timed out."));
    }
    return error;
}

} // namespace

platform::Error probeTransportError(QNetworkReply* reply)
{
    return limitOrNetworkError(reply);
}

platform::Error serviceTransportError(QNetworkReply* reply, bool emptyIsAnAnswer)
{
    platform::Error error = limitOrNetworkError(reply);
    if (!error.isValid()) {
        // Nobody reads before the reply finishes: what is buffered is the whole body.
        const qint64 received = std::max(reply->property(kReceivedProperty).toLongLong(), reply->bytesAvailable());
        const QVariant declared = reply->header(QNetworkRequest::ContentLengthHeader);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QString path = reply->url().path();
        if (declared.isValid() && declared.toLongLong() > received) {
            PLR_LOG_WARN(QStringLiteral("Service answer of %1 was cut short (%2 of %3 bytes)")
                             .arg(reply->url().toString(QUrl::RemoveQuery))
                             .arg(received)
                             .arg(declared.toLongLong()));
            return platform::Error::make(QString::fromLatin1(platform::kURLErrorDomain),
                                         platform::urlerror::NetworkConnectionLost,
                                         QStringLiteral("The service answer was cut short."));
        }
        const bool get = reply->operation() == QNetworkAccessManager::GetOperation
            || (reply->operation() == QNetworkAccessManager::CustomOperation
                && reply->request().attribute(QNetworkRequest::CustomVerbAttribute).toByteArray() == "GET");
        if (!emptyIsAnAnswer && status >= 200 && status <= 299 && received == 0 && get
            && (path.contains(QLatin1String("/core/")) || path.contains(QLatin1String("/api/")))) {
            PLR_LOG_WARN(QStringLiteral("Service answer of %1 is empty").arg(reply->url().toString(QUrl::RemoveQuery)));
            return platform::Error::make(QString::fromLatin1(platform::kURLErrorDomain),
                                         platform::urlerror::BadServerResponse,
                                         QStringLiteral("The service sent an empty answer."));
        }
        return error;
    }
    return error;
}

bool isLossOfInternet(const platform::Error& error)
{
    if (error.domain != QLatin1String(platform::kURLErrorDomain))
        return false;
    using namespace platform::urlerror;
    switch (error.code) {
    case NotConnectedToInternet:
    case ResourceUnavailable:
    case DNSLookupFailed:
    case NetworkConnectionLost:
    case CannotConnectToHost:
    case CannotFindHost:
    case TimedOut:
        return true;
    default:
        return false;
    }
}

QVariant parseServiceBody(const QByteArray& body, bool* parseFailed)
{
    if (parseFailed)
        *parseFailed = false;
    if (body.trimmed().isEmpty())
        return QVariant();
    platform::Error error;
    const QVariant value = platform::json::parse(body, true, &error);
    if (!value.isValid()) {
        if (parseFailed)
            *parseFailed = true;
        PLR_LOG_WARN(QStringLiteral("Service answer is not JSON (%1 bytes): %2")
                         .arg(body.size())
                         .arg(error.localizedDescription()));
    }
    return value;
}

PLRServiceAnswer readServiceAnswer(QNetworkReply* reply, bool log)
{
    PLRServiceAnswer answer;
    answer.transport = serviceTransportError(reply);
    answer.response = {reply->url(), reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()};
    const QByteArray bytes = reply->isOpen() ? reply->readAll() : QByteArray();   // closed when aborted
    if (answer.transport.isValid())
        return answer;
    answer.body = parseServiceBody(bytes, &answer.parseFailed);
    if (log)
        PLRWebServiceManager::logPayloadResponse(answer.response, answer.body);
    return answer;
}

QString PLRCurrentSessionToken()
{
    PLRUserSession* session = PLRCoreManager::userSession();
    return session ? session->jwt() : QString();
}

namespace {

void finish(const PLRServiceCall& call, QNetworkReply* reply, const PLRServiceCompletion& completion)
{
    const auto [transport, response, body, parseFailed] = readServiceAnswer(reply, call.logResponse);
    reply->deleteLater();

    if (transport.isValid()) {
        completion(false, QVariant(), std::nullopt, transport);
        return;
    }
    if (!response.isCodeGood()) {
        completion(false, QVariant(), PLRServiceError::serviceErrorWithDictionary(body), platform::Error());
        return;
    }
    if (parseFailed) {
        completion(false, QVariant(), PLRServiceError::serviceErrorWithDictionary(QVariant()),
                   platform::Error());
        return;
    }
    const QVariant data = call.wholeBody ? body : body.toMap().value(QStringLiteral("data"));
    std::optional<QVariant> result = data;
    if (call.makeResult)
        result = call.makeResult(platform::json::isNull(data) ? QVariant() : data);
    if (!result) {
        PLR_LOG_WARN(QStringLiteral("Service answer of %1 has an unexpected shape")
                         .arg(response.url.toString(QUrl::RemoveQuery)));
        completion(false, QVariant(), PLRServiceError::serviceErrorWithDictionary(QVariant()),
                   platform::Error());
        return;
    }
    completion(true, *result, std::nullopt, platform::Error());
}

void sendOnMainThread(const PLRServiceCall& call, const QString& token, PLRServiceCompletion completion)
{
    if (!call.url.isValid() || call.url.host().isEmpty()) {
        PLR_LOG_ERROR(QStringLiteral("Service request not sent: \"%1\" is not a valid URL")
                          .arg(call.url.toString()));
        const platform::Error error = platform::Error::make(
            QString::fromLatin1(platform::kURLErrorDomain), platform::urlerror::BadURL,
            QStringLiteral("The service address is not valid."));
        platform::dispatchMain([completion, error] { completion(false, QVariant(), std::nullopt, error); });
        return;
    }
    QNetworkRequest request = call.authenticated ? requestWithAuthentication(token, call.url)
                                                 : plainServiceRequest(call.url);
    request.setTransferTimeout(call.timeoutMs);
    QByteArray payload;
    if (call.body.isValid()) {
        if (!call.authenticated)
            request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        payload = platform::json::write(call.body, false);
    }
    const QByteArray method = call.method.isEmpty() ? QByteArrayLiteral("GET") : call.method;
    QNetworkReply* reply = PLRURLSession::shared().sendCustomRequest(request, method, payload);
    QObject::connect(reply, &QNetworkReply::finished, reply,
                     [call, reply, completion] { finish(call, reply, completion); });
}

} // namespace

bool PLRSendServiceRequest(const PLRServiceCall& call, PLRServiceCompletion completion)
{
    QString token;
    if (call.authenticated) {
        token = PLRCurrentSessionToken();
        if (token.isEmpty())
            return false;
    }
    if (!completion)
        completion = [](bool, const QVariant&, const std::optional<PLRServiceError>&, const platform::Error&) {};
    if (platform::isMainThread())
        sendOnMainThread(call, token, std::move(completion));
    else
        platform::dispatchMain([call, token, completion] { sendOnMainThread(call, token, completion); });
    return true;
}
