#pragma once

#include "platform/Error.h"
#include "services/web-services/PLRServiceError.h"

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// Transfer time-out of every service request unless an operation says otherwise. It bounds
// both the silence between two pieces of an answer and the whole answer's time.
inline constexpr int kPLRServiceRequestTimeoutMs = 60000;
// The largest answer read from the service; its answers are small JSON documents.
inline constexpr qint64 kPLRServiceAnswerMaxBytes = qint64(4) * 1024 * 1024;

// The process's one network session (the main thread's QNetworkAccessManager). Every reply it
// makes is bounded: an answer larger than kPLRServiceAnswerMaxBytes, or one still arriving
// after the request's transfer time-out (counted from the end of the upload), is aborted.
class PLRURLSession {
public:
    static QNetworkAccessManager& shared();
};

// A finished HTTP exchange as the service code sees it.
struct PLRHTTPURLResponse {
    QUrl url;
    int statusCode = 0;

    // 200 to 299.
    bool isCodeGood() const { return statusCode >= 200 && statusCode <= 299; }
    // 401 to 403.
    bool isCodeForbidden() const { return statusCode >= 401 && statusCode <= 403; }
};

// A request to the URL with "Content-Type: application/json" and "Authorization: Bearer <token>"
// and the standard transfer time-out. Method and body are the caller's.
QNetworkRequest requestWithAuthentication(const QString& token, const QUrl& url);

// The transport error of a finished service reply (invalid when the reply carries an HTTP
// status). A reply aborted by its transfer time-out or total time is a time-out (-1001), since
// service requests are never cancelled otherwise; one aborted for its size is -1103. A body
// shorter than its Content-Length is -1005, and an empty 2xx answer to a GET of the service's
// core or api paths (which always answer JSON) is -1011: neither is ever taken as an answer.
// A caller for which an answer without a body means something (the version check: no version
// given) passes emptyIsAnAnswer, and the empty 2xx answer is then no error.
platform::Error serviceTransportError(QNetworkReply* reply, bool emptyIsAnAnswer = false);
// The transport error of a probe's fetch: only a fetch that got no HTTP answer (or that the
// session aborted for its size or time) fails; any status, and any body or none, is an answer.
platform::Error probeTransportError(QNetworkReply* reply);

// A plain request (no headers) with the standard transfer time-out.
QNetworkRequest plainServiceRequest(const QUrl& url);

// A loss of internet: the URL-loading domain with -1009, -1008, -1006, -1005, -1004, -1003
// or -1001.
bool isLossOfInternet(const platform::Error& error);

// The body as JSON, a bare top-level value allowed; invalid for no body or a body that does
// not parse (*parseFailed tells the two apart).
QVariant parseServiceBody(const QByteArray& body, bool* parseFailed = nullptr);

// A finished service reply, read once: its transport error, its status, and its body as JSON
// (invalid on a transport error or for no body; parseFailed when a body does not parse).
struct PLRServiceAnswer {
    platform::Error transport;
    PLRHTTPURLResponse response;
    QVariant body;
    bool parseFailed = false;
};
// Reads the finished reply; without a transport error, and when `log`, the answer is logged
// with PLRWebServiceManager::logPayloadResponse.
PLRServiceAnswer readServiceAnswer(QNetworkReply* reply, bool log = true);

// Completion of every service operation, always on the main thread, with exactly one of: a
// result (success), a service error, a transport error.
using PLRServiceCompletion =
    std::function<void(bool success, const QVariant& result,
                       const std::optional<PLRServiceError>& serviceError,
                       const platform::Error& transportError)>;

// One service operation.
struct PLRServiceCall {
    QByteArray method = "GET";   // "GET", "PUT", "POST", "DELETE"
    QUrl url;                    // built with the current host's builders
    QVariant body;               // the JSON body; invalid: none
    bool authenticated = true;   // send the session token (and refuse without one)
    bool logResponse = true;     // log with PLRWebServiceManager::logPayloadResponse
    int timeoutMs = kPLRServiceRequestTimeoutMs;
    // Builds the result from the answer's "data" member (invalid when absent). Nothing
    // (std::nullopt) means the answer has the wrong shape: the completion then gets a service
    // error with code 0. Without a builder the result is the "data" member itself.
    std::function<std::optional<QVariant>(const QVariant& data)> makeResult;
    // With wholeBody the result is built from the whole parsed body, not its "data".
    bool wholeBody = false;
};

// The request convention shared by every service operation:
//  1. without a session token (when authenticated) nothing is sent, false is returned and the
//     completion is never called;
//  2. the request is sent with the session token; true is returned;
//  3. a transport error reaches the completion as (false, {}, none, error); a 2xx answer as
//     (true, result, none, {}); any other status as (false, {}, service error of the body, {}).
// May be called from any thread; the request is sent from the main thread.
bool PLRSendServiceRequest(const PLRServiceCall& call, PLRServiceCompletion completion);

// The token of the signed-in session, empty when none.
QString PLRCurrentSessionToken();
