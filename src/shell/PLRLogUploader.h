#pragma once

// Sends the application's log files to support: packs the log folder into
// "Pellora-<version>.logs.zip" in the application's support folder, asks the service for an
// upload address (GET /debug-logs?email=<the signed-in e-mail, percent-encoded>, answered with
// {"url": ...}) and puts the archive there. Every failure ends in an alert; "Try again" starts
// over with a fresh upload address.

#include <QObject>
#include <QString>
#include <QUrl>

class PLRLogUploader : public QObject {
    Q_OBJECT
public:
    explicit PLRLogUploader(QObject* parent = nullptr);

    // Packs the log files and uploads them (nothing when there are none).
    void uploadLogsToSupport();
    // Step 1: asks for the upload address.
    void uploadLogFile(const QString& archivePath);
    // Step 2: puts the archive at the address.
    void uploadFile(const QString& archivePath, const QString& urlString);

    // The archive's path, and the address step 1 asks.
    static QString archivePath();
    static QUrl uploadAddressURL(const QString& email);
    // Packs the folder's files into a new archive at the path (an older one is replaced).
    static bool zipFolder(const QString& folder, const QString& archivePath);

signals:
    // The upload ended (an alert has told the user how).
    void finished(bool success);
};
