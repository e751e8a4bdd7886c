#include "services/web-services/PLRReachability.h"

#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/Resets.h"

#include <QMutex>
#include <QNetworkInformation>
#include <QPointer>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace {

QMutex& runningMutex()
{
    static QMutex mutex;
    return mutex;
}

// The notifiers that run, for networkDidChange.
std::vector<QPointer<PLRReachability>>& runningNotifiers()
{
    static std::vector<QPointer<PLRReachability>> notifiers;
    return notifiers;
}

PLRReachability::FlagsSource& flagsSource()
{
    static PLRReachability::FlagsSource source;
    static const bool joined = platform::resets::add([] { source = nullptr; });
    (void)joined;
    return source;
}

bool isLocal(const QHostAddress& address)
{
    return address.isLoopback() || address.isLinkLocal();
}

// What the network information says, as flags.
quint32 systemFlags(const PLRReachability& target)
{
    quint32 flags = 0;
    const bool local = isLocal(target.address()) || target.hostName() == QLatin1String("localhost");
    if (local)
        flags |= PLRReachability::kIsLocalAddress | PLRReachability::kIsDirect;
    QNetworkInformation* information = QNetworkInformation::instance();
    if (!information || information->reachability() == QNetworkInformation::Reachability::Unknown)
        return flags | PLRReachability::kReachable;
    const QNetworkInformation::Reachability reachability = information->reachability();
    if (target.address().isLoopback() || target.hostName() == QLatin1String("localhost"))
        return flags | PLRReachability::kReachable;
    if (local)
        return reachability >= QNetworkInformation::Reachability::Local ? flags | PLRReachability::kReachable : flags;
    return reachability >= QNetworkInformation::Reachability::Site ? flags | PLRReachability::kReachable : flags;
}

void connectToNetworkInformation()
{
    static bool connected = false;
    if (connected || !platform::isMainThread())
        return;
    connected = true;
    if (!QNetworkInformation::instance())
        QNetworkInformation::loadDefaultBackend();
    if (QNetworkInformation* information = QNetworkInformation::instance())
        QObject::connect(information, &QNetworkInformation::reachabilityChanged, information,
                         [] { PLRReachability::networkDidChange(); });
}

} // namespace

PLRReachability::PLRReachability(QString hostName, QHostAddress address)
    : m_hostName(std::move(hostName)), m_address(std::move(address)),
      m_queue(std::make_unique<platform::SerialQueue>(QStringLiteral("com.pirrowdale.reachability")))
{
}

PLRReachability::~PLRReachability()
{
    stopNotifier();
    // Whatever the queue still holds runs before the blocks go.
    m_queue.reset();
    m_reachableBlock = nullptr;
    m_unreachableBlock = nullptr;
    m_reachabilityBlock = nullptr;
}

std::unique_ptr<PLRReachability> PLRReachability::reachabilityWithHostname(const QString& hostName)
{
    QUrl check;
    check.setHost(hostName, QUrl::StrictMode);
    if (hostName.isEmpty() || !check.isValid() || check.host().isEmpty() || hostName.contains(QLatin1Char(' ')))
        return nullptr;
    QHostAddress literal;
    if (literal.setAddress(hostName))
        return std::unique_ptr<PLRReachability>(new PLRReachability(hostName, literal));
    return std::unique_ptr<PLRReachability>(new PLRReachability(hostName, QHostAddress()));
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

void PLRReachability::setFlagsSource(FlagsSource source)
{
    flagsSource() = std::move(source);
}

quint32 PLRReachability::reachabilityFlags() const
{
    if (flagsSource())
        return flagsSource()(*this);
    return systemFlags(*this);
}

bool PLRReachability::isConnectionOnDemand() const
{
    const quint32 flags = reachabilityFlags();
    return (flags & kConnectionRequired) && (flags & (kConnectionOnTraffic | kConnectionOnDemand));
}

bool PLRReachability::isInterventionRequired() const
{
    const quint32 flags = reachabilityFlags();
    return (flags & kConnectionRequired) && (flags & kInterventionRequired);
}

PLRReachability::Status PLRReachability::currentReachabilityStatus() const
{
    if (!isReachable())
        return NotReachable;
    return isReachableViaWiFi() ? ReachableViaWiFi : NotReachable;
}

QString PLRReachability::currentReachabilityString() const
{
    switch (currentReachabilityStatus()) {
    case ReachableViaWiFi: return QStringLiteral("WiFi");
    case ReachableViaWWAN: return QStringLiteral("Cellular");
    default: return QStringLiteral("No Connection");
    }
}

QString PLRReachability::flagsString(quint32 flags)
{
    const std::pair<quint32, char> letters[] = {
        {kReachable, 'R'},         {kConnectionRequired, 'c'}, {kTransientConnection, 't'}, {kInterventionRequired, 'i'},
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

QString PLRReachability::description() const
{
    return QStringLiteral("<%1: %2 (%3)>")
        .arg(QLatin1String(metaObject()->className()))
        .arg(QStringLiteral("0x") + QString::number(quint32(reinterpret_cast<quintptr>(this)), 16))
        .arg(currentReachabilityFlags());
}

bool PLRReachability::startNotifier()
{
    if (m_running)
        return true;
    connectToNetworkInformation();
    QMutexLocker lock(&runningMutex());
    runningNotifiers().push_back(this);
    m_running = true;
    return true;
}

void PLRReachability::stopNotifier()
{
    if (!m_running)
        return;
    QMutexLocker lock(&runningMutex());
    auto& notifiers = runningNotifiers();
    notifiers.erase(std::remove_if(notifiers.begin(), notifiers.end(),
                                   [this](const QPointer<PLRReachability>& p) { return !p || p == this; }),
                    notifiers.end());
    m_running = false;
}

void PLRReachability::networkDidChange()
{
    std::vector<QPointer<PLRReachability>> notifiers;
    {
        QMutexLocker lock(&runningMutex());
        notifiers = runningNotifiers();
    }
    for (const QPointer<PLRReachability>& notifier : notifiers)
        if (notifier)
            notifier->notifyChange();
}

void PLRReachability::notifyChange()
{
    const quint32 flags = reachabilityFlags();
    QPointer<PLRReachability> self(this);
    // The blocks run on the object's serial queue; the notification follows on the main queue.
    m_queue->async([self, flags] {
        if (!self)
            return;
        if (isReachableWithFlags(flags)) {
            if (self->m_reachableBlock)
                self->m_reachableBlock(self.data());
        } else if (self->m_unreachableBlock) {
            self->m_unreachableBlock(self.data());
        }
        if (self->m_reachabilityBlock)
            self->m_reachabilityBlock(self.data(), flags);
        platform::dispatchMain([self] {
            if (self)
                platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kReachabilityChangedNotification), self.data());
        });
    });
}
