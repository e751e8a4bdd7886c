#pragma once

#include "services/web-services/Reachability.h"

#include <functional>
#include <memory>

// The support helpers' reachability: the one Reachability implementation under this name,
// with its own factories, blocks that take a PLRReachability, and a flag string of the eight
// letters alone (R c t i C D l d, "-" where clear).
class PLRReachability : public Reachability {
    Q_OBJECT
public:
    static std::unique_ptr<PLRReachability> reachabilityWithHostname(const QString& hostName);
    static std::unique_ptr<PLRReachability> reachabilityWithAddress(const QHostAddress& address);
    static std::unique_ptr<PLRReachability> reachabilityForInternetConnection();
    static std::unique_ptr<PLRReachability> reachabilityForLocalWiFi();

    using ReachabilityBlock = std::function<void(PLRReachability*)>;
    using FlagsBlock = std::function<void(PLRReachability*, quint32 flags)>;
    void setReachableBlock(ReachabilityBlock block);
    void setUnreachableBlock(ReachabilityBlock block);
    void setReachabilityBlock(FlagsBlock block);

    QString currentReachabilityFlags() const override;
    static QString flagsString(quint32 flags);

private:
    using Reachability::Reachability;
};
