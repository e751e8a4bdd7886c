#include "services/web-services/Reachability.h"
#include "platform/Resets.h"

#include "platform/Log.h"

#include <QHostAddress>
#include <QMutex>
#include <QNetworkInformation>
#include <QUrl>

namespace {

QMutex& providerMutex()
{
    static QMutex mutex;
    return mutex;
}

Reachability::FlagsProvider& provider()
{
    static Reachability::FlagsProvider flagsProvider;
    static const bool joined = platform::resets::add([] { QMutexLocker lock(&providerMutex()); flagsProvider = nullptr; });
    (void)joined;
    return flagsProvider;
}

bool isLoopback(const QString& hostName)
{
    if (hostName.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(hostName);
    return !address.isNull() && address.isLoopback();
}

} // namespace

bool Reachability::loadBackend()
{
    static const bool loaded = [] {
        const bool ok = QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
        if (!ok)
            PLR_LOG_INFO(QStringLiteral("No network information backend; hosts read as reachable"));
        return ok;
    }();
    return loaded;
}

void Reachability::setFlagsProvider(FlagsProvider flagsProvider)
{
    QMutexLocker lock(&providerMutex());
    provider() = std::move(flagsProvider);
}

std::unique_ptr<Reachability> Reachability::reachabilityWithHostname(const QString& hostName)
{
    if (hostName.isEmpty())
        return nullptr;
    QUrl check;
    check.setHost(hostName, QUrl::StrictMode);
    if (!check.isValid() || check.host().isEmpty()) {
        PLR_LOG_WARN(QStringLiteral("Reachability refused host name \"%1\"").arg(hostName));
        return nullptr;
    }
    return std::unique_ptr<Reachability>(new Reachability(hostName));
}

std::unique_ptr<Reachability> Reachability::reachabilityForInternetConnection()
{
    return std::unique_ptr<Reachability>(new Reachability(QStringLiteral("0.0.0.0")));
}

bool Reachability::isReachableWithFlags(quint32 flags)
{
    if (!(flags & kReachable))
        return false;
    return !((flags & kConnectionRequired) && (flags & kTransientConnection));
}

quint32 Reachability::reachabilityFlags() const
{
    {
        QMutexLocker lock(&providerMutex());
        if (provider())
            return provider()(m_hostName);
    }
    if (isLoopback(m_hostName))
        return kReachable | kIsLocalAddress | kIsDirect;
    QNetworkInformation* info = QNetworkInformation::instance();
    if (!info)
        return kReachable;
    switch (info->reachability()) {
    case QNetworkInformation::Reachability::Disconnected:
        return 0;
    case QNetworkInformation::Reachability::Local:
        return kReachable | kIsDirect;
    default:
        return kReachable;
    }
}

QString Reachability::currentReachabilityString() const
{
    switch (currentReachabilityStatus()) {
    case 1:
        return QStringLiteral("Cellular");
    case 2:
        return QStringLiteral("WiFi");
    default:
        return QStringLiteral("No Connection");
    }
}

QString Reachability::currentReachabilityFlags() const
{
    const quint32 flags = reachabilityFlags();
    auto letter = [flags](quint32 bit, char c) { return QChar(flags & bit ? c : '-'); };
    return QStringLiteral("X%1 %2%3%4%5%6%7%8")
        .arg(letter(kReachable, 'R'), letter(kConnectionRequired, 'c'),
             letter(kTransientConnection, 't'), letter(kInterventionRequired, 'i'),
             letter(kConnectionOnTraffic, 'C'), letter(kConnectionOnDemand, 'D'),
             letter(kIsLocalAddress, 'l'), letter(kIsDirect, 'd'));
}

QString Reachability::description() const
{
    return QStringLiteral("<Reachability: %1 (%2)>")
        .arg(QStringLiteral("0x") + QString::number(quint32(quintptr(this)), 16), currentReachabilityFlags());
}
