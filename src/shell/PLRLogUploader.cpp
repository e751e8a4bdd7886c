#include "shell/PLRLogUploader.h"

#include "platform/Alert.h"
#include "platform/Bundle.h"
#include "platform/Log.h"
#include "platform/ZipModule.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRUserSession.h"
#include "services/web-services/PLRServiceRequest.h"
#include "services/web-services/PLRWebServiceHost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>


namespace {

using platform::showAlert;

// True for "Try again".
bool askToTryAgain(const QString& message)
{
    platform::Alert alert;
    alert.messageText = message;
    alert.buttons = {QStringLiteral("Try again"), QStringLiteral("Cancel")};
    return platform::runAlert(alert).response == platform::kAlertFirstButtonReturn;
}

} // namespace

PLRLogUploader::PLRLogUploader(QObject* parent) : QObject(parent) {}

QString PLRLogUploader::archivePath()
{
    return QDir(PLRDefaults::applicationSupportDirectory())
        .filePath(QStringLiteral("Pellora-%1.logs.zip").arg(platform::bundle::version()));
}

QUrl PLRLogUploader::uploadAddressURL(const QString& email)
{
    // The address is escaped, so "+" and "&" in it reach the service as they are.
    const QString base = PLRWebServiceHost::currentHost().serviceURL().toString(QUrl::StripTrailingSlash);
    return QUrl(base + QStringLiteral("/debug-logs?email=") + QString::fromLatin1(QUrl::toPercentEncoding(email)),
                QUrl::StrictMode);
}

bool PLRLogUploader::zipFolder(const QString& folder, const QString& archive)
{
    QFile::remove(archive);
    QString unavailable;
    const platform::zipmodule::Functions* lib = platform::zipmodule::functions(&unavailable);
    if (!lib) {
        PLR_LOG_ERROR(QStringLiteral("The log archive %1 cannot be made: %2").arg(archive, unavailable));
        return false;
    }
    int error = 0;
    zip_t* zip = lib->open(QFile::encodeName(archive).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip) {
        PLR_LOG_ERROR(QStringLiteral("The log archive %1 cannot be made (libzip error %2)").arg(archive).arg(error));
        return false;
    }
    bool ok = true;
    for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files, QDir::Name)) {
        // Read now: the live log file keeps growing while the archive is written.
        QFile in(file.absoluteFilePath());
        if (!in.open(QIODevice::ReadOnly)) {
            PLR_LOG_WARN(QStringLiteral("The log file %1 cannot be read; it is left out").arg(file.fileName()));
            continue;
        }
        const QByteArray bytes = in.readAll();
        void* copy = ::malloc(size_t(std::max<qsizetype>(bytes.size(), 1)));
        if (!copy) {
            ok = false;
            break;
        }
        ::memcpy(copy, bytes.constData(), size_t(bytes.size()));
        zip_source_t* source = lib->sourceBuffer(zip, copy, zip_uint64_t(bytes.size()), 1);
        if (!source) {
            ::free(copy);
            ok = false;
            break;
        }
        if (lib->fileAdd(zip, file.fileName().toUtf8().constData(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
            lib->sourceFree(source);
            ok = false;
            break;
        }
    }
    if (!ok) {
        PLR_LOG_ERROR(QStringLiteral("The log archive %1 cannot be written: %2").arg(archive, QString::fromUtf8(lib->strerror(zip))));
        lib->discard(zip);
        QFile::remove(archive);
        return false;
    }
    if (lib->close(zip) != 0) {
        PLR_LOG_ERROR(QStringLiteral("The log archive %1 cannot be written: %2").arg(archive, QString::fromUtf8(lib->strerror(zip))));
        lib->discard(zip);
        QFile::remove(archive);
        return false;
    }
    return true;
}

void PLRLogUploader::uploadLogsToSupport()
{
    const QStringList logs = platform::log::logFilePaths();
    if (logs.isEmpty()) {
        PLR_LOG_INFO(QStringLiteral("There are no log files to upload"));
        return;
    }
    const QString folder = QFileInfo(logs.first()).absolutePath();
    const QString archive = archivePath();
    if (!zipFolder(folder, archive)) {
        showAlert(QStringLiteral("The log files could not be packed for upload."), QStringLiteral("Please contact support."));
        emit finished(false);
        return;
    }
    uploadLogFile(archive);
}

void PLRLogUploader::uploadLogFile(const QString& archive)
{
    PLRUserSession* session = PLRCoreManager::userSession();
    if (!session) {
        showAlert(QStringLiteral("There is no active user session."),
                  QStringLiteral("Please login to your account in order to upload logs."));
        emit finished(false);
        return;
    }
    const QUrl url = uploadAddressURL(session->email());
    QNetworkReply* reply = PLRURLSession::shared().get(plainServiceRequest(url));
    QPointer<PLRLogUploader> self(this);
    connect(reply, &QNetworkReply::finished, this, [self, reply, archive] {
        reply->deleteLater();
        if (!self)
            return;
        const platform::Error transport = serviceTransportError(reply);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        if (transport.isValid()) {
            if (askToTryAgain(QStringLiteral("There was error while uploading log file: %1").arg(transport.localizedDescription())))
                self->uploadLogFile(archive);
            else
                emit self->finished(false);
            return;
        }
        const QJsonDocument json = QJsonDocument::fromJson(body);
        const QJsonValue address = json.isObject() ? json.object().value(QStringLiteral("url")) : QJsonValue();
        if (address.isString()) {
            self->uploadFile(archive, address.toString());
            return;
        }
        // Anything else, an empty success included, leaves nowhere to upload to.
        PLR_LOG_ERROR(QStringLiteral("error while creating s3 url for uploading log file %1. Http status code = %2").arg(archive).arg(status));
        showAlert(QStringLiteral("Invalid JSON response from server while uploaing logs."), QStringLiteral("Please contact support."));
        emit self->finished(false);
    });
}

void PLRLogUploader::uploadFile(const QString& archive, const QString& urlString)
{
    const QUrl url(urlString, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty()) {
        PLR_LOG_ERROR(QStringLiteral("error while creating s3 url for uploading log file %1. bad URL %2").arg(archive, urlString));
        showAlert(QStringLiteral("Invalid URL to upload Log file."), QStringLiteral("Please contact support."));
        emit finished(false);
        return;
    }
    QFile file(archive);
    if (!file.open(QIODevice::ReadOnly)) {
        PLR_LOG_ERROR(QStringLiteral("Log file %1 upload failed. Error %2").arg(archive, file.errorString()));
        if (askToTryAgain(QStringLiteral("Log File failed to upload %1").arg(file.errorString())))
            uploadLogFile(archive);
        else
            emit finished(false);
        return;
    }
    QNetworkReply* reply = PLRURLSession::shared().put(plainServiceRequest(url), file.readAll());
    QPointer<PLRLogUploader> self(this);
    connect(reply, &QNetworkReply::finished, this, [self, reply, archive] {
        reply->deleteLater();
        if (!self)
            return;
        const platform::Error transport = serviceTransportError(reply);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (!transport.isValid() && status >= 200 && status <= 299) {
            PLR_LOG_INFO(QStringLiteral("Log file %1 uploaded successfully").arg(archive));
            showAlert(QStringLiteral("Log File uploaded to server successfully"), QString(), platform::AlertStyle::Informational);
            emit self->finished(true);
            return;
        }
        QString message;
        if (transport.isValid()) {
            PLR_LOG_ERROR(QStringLiteral("Log file %1 upload failed. Error %2").arg(archive, transport.localizedDescription()));
            message = QStringLiteral("Log File failed to upload %1").arg(transport.localizedDescription());
        } else {
            PLR_LOG_ERROR(QStringLiteral("Log file %1 upload failed. invalid status code %2").arg(archive).arg(status));
            message = QStringLiteral("Log File failed because server returned status code %1").arg(status);
        }
        if (askToTryAgain(message))
            self->uploadLogFile(archive);
        else
            emit self->finished(false);
    });
}
