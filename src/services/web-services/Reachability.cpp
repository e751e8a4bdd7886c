#include "services/web-services/Reachability.h"

#include "platform/Dispatch.h"
#include "platform/Log.h"
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
std::vector<QPointer<Reachability>>& runningNotifiers()
{
    static std::vector<QPointer<Reachability>> notifiers;
    return notifiers;
}

// Targets are made and read on the probe's global queue too.
QMutex& sourceMutex()
{
    static QMutex mutex;
    return mutex;
}

Reachability::FlagsSource& flagsSource()
{
    static Reachability::FlagsSource source;
    static const bool joined = platform::resets::add([] {
        QMutexLocker lock(&sourceMutex());
        source = nullptr;
    });
    (void)joined;
    return source;
}

bool isLoopbackTarget(const Reachability& target)
{
    return target.address().isLoopback() || target.hostName().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
}

// What the network information says, as flags.
quint32 systemFlags(const Reachability& target)
{
    const bool loopback = isLoopbackTarget(target);
    const bool local = loopback || target.address().isLinkLocal();
    const quint32 localFlags = local ? Reachability::kIsLocalAddress | Reachability::kIsDirect : 0;
    if (loopback)
        return localFlags | Reachability::kReachable;
    QNetworkInformation* information = QNetworkInformation::instance();
    if (!information || information->reachability() == QNetworkInformation::Reachability::Unknown)
        return localFlags | Reachability::kReachable;
    const QNetworkInformation::Reachability reachability = information->reachability();
    // A link-local target needs the local network; any other the site's or the internet.
    const bool reached = local ? reachability >= QNetworkInformation::Reachability::Local
                               : reachability >= QNetworkInformation::Reachability::Site;
    return reached ? localFlags | Reachability::kReachable : localFlags;
}

void connectToNetworkInformation()
{
    static bool connected = false;
    if (connected || !platform::isMainThread())
        return;
    connected = true;
    if (!QNetworkInformation::instance())
        Reachability::loadBackend();
    if (QNetworkInformation* information = QNetworkInformation::instance())
        QObject::connect(information, &QNetworkInformation::reachabilityChanged, information,
                         [] { Reachability::networkDidChange(); });
}

} // namespace

Reachability::Reachability(QString hostName, QHostAddress address)
    : m_hostName(std::move(hostName)), m_address(std::move(address))
{
}

Reachability::~Reachability()
{
    stopNotifier();
    // Whatever the queue still holds runs before the blocks go.
    m_queue.reset();
    m_reachableBlock = nullptr;
    m_unreachableBlock = nullptr;
    m_reachabilityBlock = nullptr;
}

bool Reachability::loadBackend()
{
    static const bool loaded = [] {
        const bool ok = QNetworkInformation::instance()
                        || QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
        if (!ok)
            PLR_LOG_INFO(QStringLiteral("No network information backend; hosts read as reachable"));
        return ok;
    }();
    return loaded;
}

bool Reachability::acceptsHostName(const QString& hostName, QHostAddress* literal)
{
    QUrl check;
    check.setHost(hostName, QUrl::StrictMode);
    if (hostName.isEmpty() || !check.isValid() || check.host().isEmpty() || hostName.contains(QLatin1Char(' '))) {
        if (!hostName.isEmpty())
            PLR_LOG_WARN(QStringLiteral("Reachability refused host name \"%1\"").arg(hostName.left(200)));
        return false;
    }
    QHostAddress address;
    *literal = address.setAddress(hostName) ? address : QHostAddress();
    return true;
}

std::unique_ptr<Reachability> Reachability::reachabilityWithHostname(const QString& hostName)
{
    QHostAddress literal;
    if (!acceptsHostName(hostName, &literal))
        return nullptr;
    return std::unique_ptr<Reachability>(new Reachability(hostName, literal));
}

std::unique_ptr<Reachability> Reachability::reachabilityWithAddress(const QHostAddress& address)
{
    if (address.isNull())
        return nullptr;
    return std::unique_ptr<Reachability>(new Reachability(QString(), address));
}

std::unique_ptr<Reachability> Reachability::reachabilityForInternetConnection()
{
    return reachabilityWithAddress(QHostAddress(QStringLiteral("0.0.0.0")));
}

std::unique_ptr<Reachability> Reachability::reachabilityForLocalWiFi()
{
    return reachabilityWithAddress(QHostAddress(QStringLiteral("169.254.0.0")));
}

void Reachability::setFlagsSource(FlagsSource source)
{
    QMutexLocker lock(&sourceMutex());
    flagsSource() = std::move(source);
}

void Reachability::setFlagsProvider(FlagsProvider provider)
{
    if (!provider) {
        setFlagsSource(nullptr);
        return;
    }
    setFlagsSource([provider = std::move(provider)](const Reachability& target) {
        return provider(target.hostName().isEmpty() ? target.address().toString() : target.hostName());
    });
}

bool Reachability::isReachableWithFlags(quint32 flags)
{
    if (!(flags & kReachable))
        return false;
    return !((flags & kConnectionRequired) && (flags & kTransientConnection));
}

quint32 Reachability::reachabilityFlags() const
{
    FlagsSource source;
    {
        QMutexLocker lock(&sourceMutex());
        source = flagsSource();
    }
    return source ? source(*this) : systemFlags(*this);
}

bool Reachability::isConnectionOnDemand() const
{
    const quint32 flags = reachabilityFlags();
    return (flags & kConnectionRequired) && (flags & (kConnectionOnTraffic | kConnectionOnDemand));
}

bool Reachability::isInterventionRequired() const
{
    const quint32 flags = reachabilityFlags();
    return (flags & kConnectionRequired) && (flags & kInterventionRequired);
}

Reachability::Status Reachability::currentReachabilityStatus() const
{
    if (!isReachable())
        return NotReachable;
    return isReachableViaWiFi() ? ReachableViaWiFi : NotReachable;
}

QString Reachability::currentReachabilityString() const
{
    switch (currentReachabilityStatus()) {
    case ReachableViaWiFi: return QStringLiteral("WiFi");
    case ReachableViaWWAN: return QStringLiteral("Cellular");
    default: return QStringLiteral("No Connection");
    }
}

QString Reachability::currentReachabilityFlags() const
{
    const quint32 flags = reachabilityFlags();
    auto letter = [flags](quint32 bit, char c) { return QChar(flags & bit ? c : '-'); };
    return QStringLiteral("X%1 %2%3%4%5%6%7%8")
        .arg(letter(kReachable, 'R'), letter(kConnectionRequired, 'c'), letter(kTransientConnection, 't'),
             letter(kInterventionRequired, 'i'), letter(kConnectionOnTraffic, 'C'), letter(kConnectionOnDemand, 'D'),
             letter(kIsLocalAddress, 'l'), letter(kIsDirect, 'd'));
}

QString Reachability::description() const
{
    return QStringLiteral("<%1: %2 (%3)>")
        .arg(QLatin1String(metaObject()->className()))
        .arg(QStringLiteral("0x") + QString::number(quint32(reinterpret_cast<quintptr>(this)), 16))
        .arg(currentReachabilityFlags());
}

bool Reachability::startNotifier()
{
    if (m_running)
        return true;
    connectToNetworkInformation();
    if (!m_queue)
        m_queue = std::make_unique<platform::SerialQueue>(QStringLiteral("com.pirrowdale.reachability"));
    QMutexLocker lock(&runningMutex());
    runningNotifiers().push_back(this);
    m_running = true;
    return true;
}

void Reachability::stopNotifier()
{
    if (!m_running)
        return;
    QMutexLocker lock(&runningMutex());
    auto& notifiers = runningNotifiers();
    notifiers.erase(std::remove_if(notifiers.begin(), notifiers.end(),
                                   [this](const QPointer<Reachability>& p) { return !p || p == this; }),
                    notifiers.end());
    m_running = false;
}

void Reachability::networkDidChange()
{
    std::vector<QPointer<Reachability>> notifiers;
    {
        QMutexLocker lock(&runningMutex());
        notifiers = runningNotifiers();
    }
    for (const QPointer<Reachability>& notifier : notifiers)
        if (notifier)
            notifier->notifyChange();
}

void Reachability::notifyChange()
{
    if (!m_queue)
        return;
    const quint32 flags = reachabilityFlags();
    QPointer<Reachability> self(this);
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
