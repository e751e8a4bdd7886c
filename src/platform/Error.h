#pragma once

#include <QString>
#include <QVariantMap>

class QNetworkReply;

namespace platform {

inline constexpr const char* kLocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr const char* kLocalizedFailureReasonKey = "NSLocalizedFailureReason";
inline constexpr const char* kURLErrorDomain = "NSURLErrorDomain";
inline constexpr const char* kCocoaErrorDomain = "NSCocoaErrorDomain";

// Transport error codes of the URL-loading conventions the rest of the program tests.
namespace urlerror {
inline constexpr qint64 Unknown = -1;
inline constexpr qint64 Cancelled = -999;
inline constexpr qint64 BadURL = -1000;
inline constexpr qint64 TimedOut = -1001;
inline constexpr qint64 UnsupportedURL = -1002;
inline constexpr qint64 CannotFindHost = -1003;
inline constexpr qint64 CannotConnectToHost = -1004;
inline constexpr qint64 NetworkConnectionLost = -1005;
inline constexpr qint64 DNSLookupFailed = -1006;
inline constexpr qint64 HTTPTooManyRedirects = -1007;
inline constexpr qint64 ResourceUnavailable = -1008;
inline constexpr qint64 NotConnectedToInternet = -1009;
inline constexpr qint64 BadServerResponse = -1011;
inline constexpr qint64 UserAuthenticationRequired = -1013;
inline constexpr qint64 CannotDecodeContentData = -1016;
inline constexpr qint64 DataLengthExceedsMaximum = -1103;
inline constexpr qint64 SecureConnectionFailed = -1200;
} // namespace urlerror

// A failure value: domain, code, free user info (description and failure reason under the
// keys above).
struct Error {
    QString domain;
    qint64 code = 0;
    QVariantMap userInfo;

    Error() = default;
    Error(QString domain, qint64 code, QVariantMap userInfo = {});
    static Error make(const QString& domain, qint64 code, const QString& description,
                      const QString& failureReason = QString());

    QString localizedDescription() const;
    QString localizedFailureReason() const;
    bool isValid() const { return !domain.isEmpty(); }
    QString toString() const;

    bool operator==(const Error& other) const = default;
};

// The transport error of a finished reply, or an invalid Error when the reply reached the
// server: a reply that carries an HTTP status is never a transport error.
Error transportError(QNetworkReply* reply);
// The URL-loading code for one of Qt's network error values (0 for NoError).
qint64 urlErrorCodeForNetworkError(int qtNetworkError);

} // namespace platform
