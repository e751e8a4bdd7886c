#pragma once

#include "platform/Clock.h"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QVariantMap>

#include <memory>
#include <optional>

class QNetworkAccessManager;
class PLRSoftwareUpdater;

// One version offered by the update feed.
struct PLRUpdateItem {
    QString versionString;
    QUrl downloadURL;
};

// What the updater asks of the application. Every call is optional.
class PLRUpdaterDelegate {
public:
    virtual ~PLRUpdaterDelegate() = default;
    virtual void updaterWillRelaunchApplication(PLRSoftwareUpdater*) {}
    // Extra query parameters of the feed request, each {"key": ..., "value": ...}.
    virtual QList<QVariantMap> feedParametersForUpdater(PLRSoftwareUpdater*, bool /*sendingSystemProfile*/) { return {}; }
    virtual void updaterDidFindValidUpdate(PLRSoftwareUpdater*, const PLRUpdateItem&) {}
};

// Our updater: reads a small JSON feed ({"version": "1.2.0", "download_url": "https://..."}) and,
// when it offers a newer version, offers its download page. It installs nothing itself, so its
// automatic-download switch is only kept for the settings.
class PLRSoftwareUpdater : public QObject {
    Q_OBJECT
public:
    explicit PLRSoftwareUpdater(QObject* parent = nullptr);
    ~PLRSoftwareUpdater() override;

    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool checks);
    bool automaticallyDownloadsUpdates() const;
    void setAutomaticallyDownloadsUpdates(bool downloads);

    // An empty feed address turns the checks off. Unless one is set, the feed follows the chosen
    // service host: the production update host for the maker's hosts, the service itself for a
    // development or custom host.
    QUrl feedURL() const { return m_feedURL ? *m_feedURL : defaultFeedURL(); }
    void setFeedURL(const QUrl& url) { m_feedURL = url; }
    static QUrl defaultFeedURL();

    PLRUpdaterDelegate* delegate() const { return m_delegate; }
    void setDelegate(PLRUpdaterDelegate* delegate) { m_delegate = delegate; }

    // A quiet check: says something only when it finds a newer version.
    void checkForUpdatesInBackground();
    // A check the user asked for: tells the outcome either way.
    void checkForUpdates();
    bool sessionInProgress() const { return m_inProgress; }

    // -1, 0, 1 as a is older than, the same as or newer than b (dotted numbers).
    static int compareVersions(const QString& a, const QString& b);

    static constexpr int kTransferTimeoutMs = 30000;
    static constexpr double kAutomaticCheckInterval = 86400.0;

signals:
    void checkFinished(bool foundUpdate);

private:
    void check(bool userInitiated);
    void finish(bool userInitiated, const QByteArray& body, const QString& error);
    std::optional<QUrl> m_feedURL;
    PLRUpdaterDelegate* m_delegate = nullptr;
    std::unique_ptr<QNetworkAccessManager> m_network;
    platform::ClockTimer m_scheduled{this, [this] { checkForUpdatesInBackground(); }};
    bool m_inProgress = false;
};

// The updater's standard controller, owned by the application delegate.
class PLRStandardUpdaterController : public QObject {
    Q_OBJECT
public:
    explicit PLRStandardUpdaterController(QObject* parent = nullptr);
    PLRSoftwareUpdater* updater() const { return m_updater; }
    void checkForUpdates(QObject* sender);
private:
    PLRSoftwareUpdater* m_updater;
};

// The one way to the application's update controller.
class PLRUpdater {
public:
    // Null until the application delegate has made it.
    static PLRStandardUpdaterController* updateController();
    static void setUpdateController(PLRStandardUpdaterController* controller);
};
