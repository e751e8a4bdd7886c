#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace platform {
class SerialQueue;
}

// Posted on the main queue (object: the reachability object) after every change of
// reachability that a running notifier saw.
inline constexpr char kReachabilityChangedNotification[] = "kReachabilityChangedNotification";

// Reachability of a host name or an address over the desktop's network information
// (QNetworkInformation): queries of the current flags, and, while its notifier runs, blocks
// called on the object's own serial queue and a notification on the main queue at each change.
// Where no network-information backend loads, the network counts as reachable, as nothing can
// tell otherwise; loopback and link-local targets are local addresses (a loopback target is
// always reachable, a link-local one whenever the local network is).
//
// The connection probe uses this class; PLRReachability is the same implementation under the
// helpers' name, so the two always read the network alike.
class Reachability : public QObject {
    Q_OBJECT
public:
    // Flag bits.
    static constexpr quint32 kTransientConnection = 1;
    static constexpr quint32 kReachable = 2;
    static constexpr quint32 kConnectionRequired = 4;
    static constexpr quint32 kConnectionOnTraffic = 8;
    static constexpr quint32 kInterventionRequired = 16;
    static constexpr quint32 kConnectionOnDemand = 32;
    static constexpr quint32 kIsLocalAddress = 65536;
    static constexpr quint32 kIsDirect = 131072;

    // Status values.
    enum Status { NotReachable = 0, ReachableViaWWAN = 1, ReachableViaWiFi = 2 };

    // Null for an empty or malformed host name / a null address.
    static std::unique_ptr<Reachability> reachabilityWithHostname(const QString& hostName);
    static std::unique_ptr<Reachability> reachabilityWithHostName(const QString& hostName)
    {
        return reachabilityWithHostname(hostName);
    }
    static std::unique_ptr<Reachability> reachabilityWithAddress(const QHostAddress& address);
    // The IPv4 address 0.0.0.0 (any route to the internet).
    static std::unique_ptr<Reachability> reachabilityForInternetConnection();
    // The IPv4 link-local network 169.254.0.0.
    static std::unique_ptr<Reachability> reachabilityForLocalWiFi();
    ~Reachability() override;

    // Loads the system's network-information backend; call once on the main thread.
    // False when none is available.
    static bool loadBackend();

    using ReachabilityBlock = std::function<void(Reachability*)>;
    using FlagsBlock = std::function<void(Reachability*, quint32 flags)>;
    // Called on the object's serial queue, before the notification.
    void setReachableBlock(ReachabilityBlock block) { m_reachableBlock = std::move(block); }
    void setUnreachableBlock(ReachabilityBlock block) { m_unreachableBlock = std::move(block); }
    void setReachabilityBlock(FlagsBlock block) { m_reachabilityBlock = std::move(block); }

    // True when running (also when it already was).
    bool startNotifier();
    void stopNotifier();
    bool isNotifierRunning() const { return m_running; }

    static bool isReachableWithFlags(quint32 flags);
    bool isReachable() const { return isReachableWithFlags(reachabilityFlags()); }
    bool isReachableViaWWAN() const { return false; }
    bool isReachableViaWiFi() const { return reachabilityFlags() & kReachable; }
    bool isConnectionRequired() const { return connectionRequired(); }
    bool connectionRequired() const { return reachabilityFlags() & kConnectionRequired; }
    bool isConnectionOnDemand() const;
    bool isInterventionRequired() const;
    Status currentReachabilityStatus() const;
    // "WiFi", "Cellular" or "No Connection".
    QString currentReachabilityString() const;
    // The flags now, 0 when they cannot be read.
    quint32 reachabilityFlags() const;
    // "X" and R, then c t i C D l d, each letter or "-" by its flag ("XR -------").
    virtual QString currentReachabilityFlags() const;
    // "<class: address (flags)>".
    QString description() const;

    // The target.
    QString hostName() const { return m_hostName; }
    QHostAddress address() const { return m_address; }

    // The flags of a target as the network information reports them; tests replace it.
    using FlagsSource = std::function<quint32(const Reachability& target)>;
    static void setFlagsSource(FlagsSource source);
    // The same, by the target's host name (or its address as text).
    using FlagsProvider = std::function<quint32(const QString& hostName)>;
    static void setFlagsProvider(FlagsProvider provider);
    // The network changed: every running notifier reads its flags again (the network
    // information's signal calls it; tests call it to simulate a change).
    static void networkDidChange();

protected:
    Reachability(QString hostName, QHostAddress address);
    // Validates a host name (null address for a name, the address for a literal one).
    static bool acceptsHostName(const QString& hostName, QHostAddress* literal);

private:
    void notifyChange();

    QString m_hostName;
    QHostAddress m_address;
    ReachabilityBlock m_reachableBlock;
    ReachabilityBlock m_unreachableBlock;
    FlagsBlock m_reachabilityBlock;
    std::unique_ptr<platform::SerialQueue> m_queue;   // made when the notifier first starts
    bool m_running = false;
};
