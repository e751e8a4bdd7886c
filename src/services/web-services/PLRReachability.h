#pragma once

#include "services/web-services/Reachability.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace platform {
class SerialQueue;
}

// Posted on the main queue (object: the PLRReachability) after every change of reachability
// that a running notifier saw.
inline constexpr char kReachabilityChangedNotification[] = "kReachabilityChangedNotification";

// Reachability of a host name or an address over the desktop's network information
// (QNetworkInformation), reported by blocks and a notification while its notifier runs.
// Where no network-information backend loads, the network counts as reachable, as nothing
// can tell otherwise; loopback and link-local targets are local addresses.
class PLRReachability : public QObject {
    Q_OBJECT
public:
    // Flag bits: the connection machine's Reachability reads the same word.
    static constexpr quint32 kTransientConnection = Reachability::kTransientConnection;
    static constexpr quint32 kReachable = Reachability::kReachable;
    static constexpr quint32 kConnectionRequired = Reachability::kConnectionRequired;
    static constexpr quint32 kConnectionOnTraffic = Reachability::kConnectionOnTraffic;
    static constexpr quint32 kInterventionRequired = Reachability::kInterventionRequired;
    static constexpr quint32 kConnectionOnDemand = Reachability::kConnectionOnDemand;
    static constexpr quint32 kIsLocalAddress = Reachability::kIsLocalAddress;
    static constexpr quint32 kIsDirect = Reachability::kIsDirect;

    // Status values.
    enum Status { NotReachable = 0, ReachableViaWWAN = 1, ReachableViaWiFi = 2 };

    // Null for an empty or malformed host name / a null address.
    static std::unique_ptr<PLRReachability> reachabilityWithHostname(const QString& hostName);
    static std::unique_ptr<PLRReachability> reachabilityWithAddress(const QHostAddress& address);
    // The IPv4 address 0.0.0.0 (any route to the internet).
    static std::unique_ptr<PLRReachability> reachabilityForInternetConnection();
    // The IPv4 link-local network 169.254.0.0.
    static std::unique_ptr<PLRReachability> reachabilityForLocalWiFi();
    ~PLRReachability() override;

    using ReachabilityBlock = std::function<void(PLRReachability*)>;
    using FlagsBlock = std::function<void(PLRReachability*, quint32 flags)>;
    // Called on the object's serial queue, before the notification.
    void setReachableBlock(ReachabilityBlock block) { m_reachableBlock = std::move(block); }
    void setUnreachableBlock(ReachabilityBlock block) { m_unreachableBlock = std::move(block); }
    void setReachabilityBlock(FlagsBlock block) { m_reachabilityBlock = std::move(block); }

    // True when running (also when it already was).
    bool startNotifier();
    void stopNotifier();
    bool isNotifierRunning() const { return m_running; }

    static bool isReachableWithFlags(quint32 flags) { return Reachability::isReachableWithFlags(flags); }
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
    quint32 reachabilityFlags() const;
    // One letter per flag (R c t i C D l d), "-" where clear.
    QString currentReachabilityFlags() const;
    static QString flagsString(quint32 flags);
    QString description() const;

    // The target, for the flag source.
    QString hostName() const { return m_hostName; }
    QHostAddress address() const { return m_address; }

    // The flags of a target as the network information reports them; tests replace it.
    using FlagsSource = std::function<quint32(const PLRReachability& target)>;
    static void setFlagsSource(FlagsSource source);
    // The network changed: every running notifier reads its flags again (the network
    // information's signal calls it; tests call it to simulate a change).
    static void networkDidChange();

private:
    PLRReachability(QString hostName, QHostAddress address);
    void notifyChange();

    QString m_hostName;
    QHostAddress m_address;
    ReachabilityBlock m_reachableBlock;
    ReachabilityBlock m_unreachableBlock;
    FlagsBlock m_reachabilityBlock;
    std::unique_ptr<platform::SerialQueue> m_queue;
    bool m_running = false;
};
