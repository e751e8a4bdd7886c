#pragma once

#include "platform/Error.h"

#include <QString>
#include <QUrl>

// Crash reporting of our own: on a fatal signal (segmentation fault, bus error, illegal
// instruction, floating-point error, abort) the handler writes a report (signal, build facts,
// reporting endpoint, call stack) into the log folder, then lets the signal end the process.
class PLRCrashReporter {
public:
    // The reporting endpoint of a build: the first one for the release identifier, the second for
    // any other identifier.
    static QString dsnForBundleIdentifier(const QString& bundleIdentifier);

    // A client of the endpoint; false (and the error) when the endpoint is not a valid address
    // (https, a key in the user part, a numeric project as the path).
    bool initWithDsn(const QString& dsn, platform::Error* error);
    QUrl dsn() const { return m_dsn; }

    // The shared client (null until set).
    static PLRCrashReporter* sharedClient();
    static void setSharedClient(PLRCrashReporter* client);

    // Installs the signal handlers; the report will be written into `folder` (the log folder
    // when empty). False with the error when there is no valid endpoint or no folder.
    bool startCrashHandler(platform::Error* error, const QString& folder = QString());
    // The file a crash of this process writes.
    QString reportPath() const { return m_reportPath; }

    static constexpr const char* kErrorDomain = "PLRCrashReporterErrorDomain";

private:
    QUrl m_dsn;
    QString m_reportPath;
};
