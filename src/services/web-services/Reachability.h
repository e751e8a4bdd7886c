#pragma once

#include <QString>

#include <functional>
#include <memory>

// The local reachability check of one host name, over the desktop's network information
// (QNetworkInformation). When no backend can be loaded (a headless machine, a container)
// every host reads as reachable, since nothing can tell otherwise. Loopback hosts are always
// reachable.
class Reachability {
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

    // Null for an empty host name or one that is not a valid host name.
    static std::unique_ptr<Reachability> reachabilityWithHostname(const QString& hostName);
    static std::unique_ptr<Reachability> reachabilityWithHostName(const QString& hostName)
    {
        return reachabilityWithHostname(hostName);
    }
    static std::unique_ptr<Reachability> reachabilityForInternetConnection();

    // Loads the system's network-information backend; call once on the main thread.
    // False when none is available.
    static bool loadBackend();

    // Tests replace the system's answer: the provider gives the flags for a host name.
    using FlagsProvider = std::function<quint32(const QString& hostName)>;
    static void setFlagsProvider(FlagsProvider provider);

    static bool isReachableWithFlags(quint32 flags);

    const QString& hostName() const { return m_hostName; }
    quint32 reachabilityFlags() const;
    bool isReachable() const { return isReachableWithFlags(reachabilityFlags()); }
    bool isReachableViaWWAN() const { return false; }
    bool isReachableViaWiFi() const { return reachabilityFlags() & kReachable; }
    bool isConnectionRequired() const { return reachabilityFlags() & kConnectionRequired; }
    // 0 not reachable, 2 reachable.
    int currentReachabilityStatus() const { return isReachable() ? 2 : 0; }
    QString currentReachabilityString() const;
    // "X" then one letter or "-" per flag: R c t i C D l d ("XR ------" style).
    QString currentReachabilityFlags() const;
    QString description() const;

private:
    explicit Reachability(QString hostName) : m_hostName(std::move(hostName)) {}
    QString m_hostName;
};
