#include "services/web-services/PLRReachability.h"

std::unique_ptr<PLRReachability> PLRReachability::reachabilityWithHostname(const QString& hostName)
{
    QHostAddress literal;
    if (!acceptsHostName(hostName, &literal))
        return nullptr;
    return std::unique_ptr<PLRReachability>(new PLRReachability(hostName, literal));
}

std::unique_ptr<PLRReachability> PLRReachability::reachabilityWithAddress(const QHostAddress& address)
{
    if (address.isNull())
        return nullptr;
    return std::unique_ptr<PLRReachability>(new PLRReachability(QString(), address));
}

std::unique_ptr<PLRReachability> PLRReachability::reachabilityForInternetConnection()
{
    return reachabilityWithAddress(QHostAddress(QStringLiteral("0.0.0.0")));
}

std::unique_ptr<PLRReachability> PLRReachability::reachabilityForLocalWiFi()
{
    return reachabilityWithAddress(QHostAddress(QStringLiteral("169.254.0.0")));
}

void PLRReachability::setReachableBlock(ReachabilityBlock block)
{
    Reachability::setReachableBlock(block ? [block](Reachability* r) { block(static_cast<PLRReachability*>(r)); }
                                          : Reachability::ReachabilityBlock());
}

void PLRReachability::setUnreachableBlock(ReachabilityBlock block)
{
    Reachability::setUnreachableBlock(block ? [block](Reachability* r) { block(static_cast<PLRReachability*>(r)); }
                                            : Reachability::ReachabilityBlock());
}

void PLRReachability::setReachabilityBlock(FlagsBlock block)
{
    Reachability::setReachabilityBlock(
        block ? [block](Reachability* r, quint32 flags) { block(static_cast<PLRReachability*>(r), flags); }
              : Reachability::FlagsBlock());
}

QString PLRReachability::flagsString(quint32 flags)
{
    const std::pair<quint32, char> letters[] = {
        {kReachable, 'R'},           {kConnectionRequired, 'c'}, {kTransientConnection, 't'}, {kInterventionRequired, 'i'},
        {kConnectionOnTraffic, 'C'}, {kConnectionOnDemand, 'D'}, {kIsLocalAddress, 'l'},      {kIsDirect, 'd'},
    };
    QString text;
    for (const auto& [bit, letter] : letters)
        text += (flags & bit) ? QLatin1Char(letter) : QLatin1Char('-');
    return text;
}

QString PLRReachability::currentReachabilityFlags() const
{
    return flagsString(reachabilityFlags());
}
