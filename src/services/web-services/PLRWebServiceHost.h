#pragma once

#include "platform/Clock.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QVariantMap>

#include <memory>

class QWebSocket;
class PLRWebServiceHost;

// Host types (values stored under WEB_SERVICE_HOST_TYPE).
inline constexpr char PLRWebServiceHost_DEV[] = "PLRWebServiceHost_DEV";
inline constexpr char PLRWebServiceHost_STAGING[] = "PLRWebServiceHost_STAGING";
inline constexpr char PLRWebServiceHost_PROD[] = "PLRWebServiceHost_PROD";
inline constexpr char PLRWebServiceHost_CUSTOM[] = "PLRWebServiceHost_CUSTOM";

// Posted with no object when the host type changes.
inline constexpr char PLRWebServiceHostDidChangeCurrentHostNotification[] =
    "PLRWebServiceHostDidChangeCurrentHostNotification";

// User-default keys.
inline constexpr char kPLRWebServiceHostTypeKey[] = "WEB_SERVICE_HOST_TYPE";
inline constexpr char kPLRWebServiceCustomHostKey[] = "WEB_SERVICE_KEY_HOST";
inline constexpr char kPLRWebServiceCustomPortKey[] = "WEB_SERVICE_KEY_PORT";
inline constexpr char kPLRWebServiceCustomHTTPSKey[] = "WEB_SERVICE_KEY_HTTPS";
inline constexpr char kPLRBetaHostVerifiedKey[] = "pellora_beta_host_verified";

// The domain shared by the staging and production hosts, and the beta host.
inline constexpr char kPLRServiceDomain[] = "pellora.app";
inline constexpr char kPLRBetaServiceHost[] = "beta.pellora.app";
inline constexpr char kPLRBetaBundleIdentifier[] = "com.quenfield.PelloraBeta";

// Receives the real-time socket's per-post events. A delegate that is destroyed leaves every
// host's delegate sets by itself, so hosts never call a dead delegate.
class PLRWebServiceHostRealTimeDelegate {
public:
    virtual ~PLRWebServiceHostRealTimeDelegate();
    // event: the message's "event"; message: the message's "payload".
    virtual void webServiceHost(PLRWebServiceHost* host, const QString& event,
                                const QVariant& message) = 0;
};

// One service host: its address, the builders of every service URL, the keychain service name
// of its sign-in and its real-time socket. One shared instance per host type, kept for the run.
class PLRWebServiceHost : public QObject {
    Q_OBJECT

public:
    explicit PLRWebServiceHost(const QString& hostType, QObject* parent = nullptr);
    ~PLRWebServiceHost() override;

    // The shared instance of the type stored under WEB_SERVICE_HOST_TYPE (absent: production;
    // unknown: custom).
    static PLRWebServiceHost& currentHost();
    static PLRWebServiceHost& devHost();
    static PLRWebServiceHost& stagingHost();
    static PLRWebServiceHost& prodHost();
    static PLRWebServiceHost& customHost();
    // The stored type (production when absent).
    static QString currentHostType();

    // Stores the type and posts PLRWebServiceHostDidChangeCurrentHostNotification.
    static void setCurrentHostType(const QString& hostType);
    // Null or empty removes the value.
    static void setCustomHostName(const QString& hostName);
    static void setCustomPort(const QString& port);
    static void setCustomHTTPS(bool https);

    // A URL with scheme, host and (when the port text is non-empty) port, no path. Invalid when
    // the host name is not a valid host.
    static QUrl urlComponentWithHost(const QString& host, const QString& port, bool https);

    // Run once at start-up in beta builds: offers to point the application at the beta host.
    static void enforceBetaConnectionIfAppropiate();
    // The same for a given bundle identifier (the build's own is used above).
    static void enforceBetaConnectionIfAppropiate(const QString& bundleIdentifier);

    const QString& hostType() const { return m_hostType; }
    // The normalised type: one of the four constants (an unknown type reads as custom).
    QString effectiveHostType() const { return effectiveHostType(m_hostType); }
    static QString effectiveHostType(const QString& hostType);
    QString hostName() const;
    // The port text, null when the host has none.
    QString port() const;
    bool isHttps() const;

    QUrl serviceURL() const;
    QUrl serviceCoreURL() const;  // /core
    QUrl serviceApiURL() const;   // /api
    QUrl serviceMeURL() const;    // /api/me

    // The components joined with "/" after the prefix ("/", "/core/", "/api/", "/api/me/");
    // each parameter becomes one query item, in the map's order.
    QUrl serviceURLWithPaths(const QStringList& paths, const QVariantMap& parameters = {}) const;
    QUrl serviceCoreURLWithPaths(const QStringList& paths, const QVariantMap& parameters = {}) const;
    QUrl serviceApiURLWithPaths(const QStringList& paths, const QVariantMap& parameters = {}) const;
    QUrl serviceMeURLWithPaths(const QStringList& paths, const QVariantMap& parameters = {}) const;

    QUrl passwordResetURL() const;

    // The keychain service name of this host's sign-in: "com.<last bundle id part>.<word>".
    QString serviceKey() const;
    // The same for a host type, without making a host object (safe on any thread).
    static QString serviceKeyForHostType(const QString& hostType);

    // Real-time socket.
    // ws (wss for an https host)://host[:port]/socket/websocket?token=<session JWT>
    QUrl socketURL() const;
    bool socketConnected() const;
    // Opens a socket when there is none (or it is closing/closed) and a session token exists;
    // one opened with another token (an account signed in before) is closed first.
    void ensureSocketConnection();
    // Adds the delegate to the post's set (once); nothing for an empty post id or null delegate.
    void addMessageDelegate(PLRWebServiceHostRealTimeDelegate* delegate, const QString& postId);
    // Removes the delegate from every post's set; emptied sets stay.
    void removeMessageDelegate(PLRWebServiceHostRealTimeDelegate* delegate);
    // Sends a ping now and again every pingInterval() seconds.
    void delaySendPing();
    QList<PLRWebServiceHostRealTimeDelegate*> messageDelegatesForPostId(const QString& postId) const;

    QWebSocket* webSocket() const { return m_webSocket.get(); }

    // Handles one text message of the socket (public for the socket's wiring and tests).
    void handleSocketMessage(const QString& message);

    static double pingInterval() { return 5.0; }

private:
    QUrl urlWithPrefix(const QString& prefix, const QStringList& paths,
                       const QVariantMap& parameters) const;
    static PLRWebServiceHost& sharedHost(const QString& type);

    friend class PLRWebServiceHostRealTimeDelegate;
    static void forgetDelegateEverywhere(PLRWebServiceHostRealTimeDelegate* delegate);

    QString m_hostType;
    std::unique_ptr<QWebSocket> m_webSocket;
    QString m_socketToken;   // the session token the socket was opened with
    QMap<QString, QList<PLRWebServiceHostRealTimeDelegate*>> m_postMessageDelegates;
    platform::ClockTimer m_pingTimer{this, [this] { delaySendPing(); }};
};
