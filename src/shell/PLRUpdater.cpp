#include "shell/PLRUpdater.h"
#include "platform/Resets.h"

#include "platform/Alert.h"
#include "platform/Bundle.h"
#include "platform/Json.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "services/web-services/PLRWebServiceHost.h"
#include "store/session/PLRDefaults.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrlQuery>
#include <QVersionNumber>

namespace {
constexpr auto kAutomaticChecksKey = "automatic_update_checks";
constexpr auto kAutomaticDownloadsKey = "automatic_update_downloads";
QPointer<PLRStandardUpdaterController> gController;
const platform::resets::Joined gControllerReset{[] { gController = nullptr; }};
} // namespace

PLRSoftwareUpdater::PLRSoftwareUpdater(QObject* parent) : QObject(parent)
{
    m_scheduled.setRepeating(true);
    m_scheduled.setInterval(kAutomaticCheckInterval);
}

PLRSoftwareUpdater::~PLRSoftwareUpdater() = default;

QUrl PLRSoftwareUpdater::defaultFeedURL()
{
    const PLRWebServiceHost& host = PLRWebServiceHost::currentHost();
    const QString type = host.effectiveHostType();
    // A build pointed at a development or custom service asks that service, never the
    // production update host.
    if (type == QLatin1String(PLRWebServiceHost_DEV) || type == QLatin1String(PLRWebServiceHost_CUSTOM))
        return host.serviceURLWithPaths({QStringLiteral("pellora"), QStringLiteral("update-feed.json")});
    return QUrl(QStringLiteral("https://%1/pellora/update-feed.json").arg(QLatin1String(plr::defaults::kUpdatesHost)));
}

bool PLRSoftwareUpdater::automaticallyChecksForUpdates() const
{
    return platform::UserDefaults::standard().boolForKey(QLatin1String(kAutomaticChecksKey));
}

void PLRSoftwareUpdater::setAutomaticallyChecksForUpdates(bool checks)
{
    platform::UserDefaults::standard().setBool(QLatin1String(kAutomaticChecksKey), checks);
    if (checks)
        m_scheduled.start();
    else
        m_scheduled.stop();
}

bool PLRSoftwareUpdater::automaticallyDownloadsUpdates() const
{
    return platform::UserDefaults::standard().boolForKey(QLatin1String(kAutomaticDownloadsKey));
}

void PLRSoftwareUpdater::setAutomaticallyDownloadsUpdates(bool downloads)
{
    platform::UserDefaults::standard().setBool(QLatin1String(kAutomaticDownloadsKey), downloads);
}

int PLRSoftwareUpdater::compareVersions(const QString& a, const QString& b)
{
    const int order = QVersionNumber::compare(QVersionNumber::fromString(a), QVersionNumber::fromString(b));
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

void PLRSoftwareUpdater::checkForUpdatesInBackground()
{
    check(false);
}

void PLRSoftwareUpdater::checkForUpdates()
{
    check(true);
}

void PLRSoftwareUpdater::check(bool userInitiated)
{
    if (m_inProgress)
        return;
    QUrl url = feedURL();
    if (!url.isValid() || url.isEmpty()) {
        PLR_LOG_INFO(QStringLiteral("Update check skipped: no update feed"));
        return;
    }
    if (m_delegate) {
        QUrlQuery query(url);
        for (const QVariantMap& parameter : m_delegate->feedParametersForUpdater(this, false))
            query.addQueryItem(parameter.value(QStringLiteral("key")).toString(),
                               parameter.value(QStringLiteral("value")).toString());
        url.setQuery(query);
    }
    if (!m_network)
        m_network = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request(url);
    request.setTransferTimeout(kTransferTimeoutMs);
    m_inProgress = true;
    QNetworkReply* reply = m_network->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply, userInitiated] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError && status == 0)
            finish(userInitiated, {}, reply->errorString());
        else if (status < 200 || status > 299)
            finish(userInitiated, {}, QStringLiteral("the update feed answered with status %1").arg(status));
        else
            finish(userInitiated, reply->readAll(), {});
    });
}

void PLRSoftwareUpdater::finish(bool userInitiated, const QByteArray& body, const QString& failure)
{
    m_inProgress = false;
    QString error = failure;
    PLRUpdateItem item;
    if (error.isEmpty()) {
        const QVariantMap feed = platform::json::parse(body, false, nullptr).toMap();
        item.versionString = feed.value(QStringLiteral("version")).toString();
        item.downloadURL = QUrl(feed.value(QStringLiteral("download_url")).toString());
        if (item.versionString.isEmpty() || QVersionNumber::fromString(item.versionString).isNull())
            error = QStringLiteral("the update feed could not be read");
    }
    if (!error.isEmpty()) {
        PLR_LOG_WARN(QStringLiteral("Update check failed: %1").arg(error));
        if (userInitiated) {
            platform::Alert alert;
            alert.messageText = QStringLiteral("Update Error!");
            alert.informativeText = QStringLiteral("An error occurred in retrieving update information. Please try again later.");
            alert.buttons = {QStringLiteral("OK")};
            platform::runAlert(alert);
        }
        emit checkFinished(false);
        return;
    }
    const QString current = platform::bundle::version();
    const bool newer = compareVersions(item.versionString, current) > 0;
    PLR_LOG_INFO(QStringLiteral("Update feed offers %1 (running %2)").arg(item.versionString, current));
    if (!newer) {
        if (userInitiated) {
            platform::Alert alert;
            alert.messageText = QStringLiteral("You're up-to-date!");
            alert.informativeText = QStringLiteral("Pellora %1 is currently the newest version available.").arg(current);
            alert.buttons = {QStringLiteral("OK")};
            platform::runAlert(alert);
        }
        emit checkFinished(false);
        return;
    }
    if (m_delegate)
        m_delegate->updaterDidFindValidUpdate(this, item);
    platform::Alert alert;
    alert.messageText = QStringLiteral("A new version of Pellora is available!");
    alert.informativeText = QStringLiteral("Pellora %1 is now available (you have %2). Would you like to download it now?")
                                .arg(item.versionString, current);
    alert.buttons = {QStringLiteral("Download"), QStringLiteral("Later")};
    if (platform::runAlert(alert).response == platform::kAlertFirstButtonReturn && item.downloadURL.isValid())
        platform::Workspace::shared().openURL(item.downloadURL);
    emit checkFinished(true);
}

PLRStandardUpdaterController::PLRStandardUpdaterController(QObject* parent)
    : QObject(parent), m_updater(new PLRSoftwareUpdater(this))
{
}

void PLRStandardUpdaterController::checkForUpdates(QObject*)
{
    m_updater->checkForUpdates();
}

PLRStandardUpdaterController* PLRUpdater::updateController()
{
    return gController;
}

void PLRUpdater::setUpdateController(PLRStandardUpdaterController* controller)
{
    gController = controller;
}
