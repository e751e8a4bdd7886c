#include "services/web-services/PLRServiceReacher.h"
#include "platform/Clock.h"
#include "platform/Threads.h"
#include "platform/Resets.h"

#include "platform/Log.h"
#include "services/web-services/PLRServiceRequest.h"
#include "services/web-services/PLRWebServiceHost.h"
#include "services/web-services/Reachability.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace {
PLRServiceReacher::Timing& sharedTiming()
{
    static PLRServiceReacher::Timing timing;
    static const bool joined = platform::resets::add([] { timing = PLRServiceReacher::Timing(); });
    (void)joined;
    return timing;
}
} // namespace

void PLRServiceReacher::setDefaultTiming(const Timing& timing) { sharedTiming() = timing; }
PLRServiceReacher::Timing PLRServiceReacher::defaultTiming() { return sharedTiming(); }

std::unique_ptr<PLRServiceReacher> PLRServiceReacher::reacherWithHostname(const QUrl& host)
{
    return std::make_unique<PLRServiceReacher>(host);
}

PLRServiceReacher::PLRServiceReacher(const QUrl& host, QObject* parent)
    : QObject(parent), m_host(host), m_timing(sharedTiming())
{
}

PLRServiceReacher::~PLRServiceReacher()
{
    stopNotifier();
}

void PLRServiceReacher::clearHooks()
{
    m_reachableBlock = nullptr;
    m_unreachableBlock = nullptr;
}

bool PLRServiceReacher::startNotifier()
{
    PLR_ASSERT_MAIN_THREAD();
    if (m_active)
        return true;
    m_active = true;
    sendPing();
    return m_active;
}

bool PLRServiceReacher::stopNotifier()
{
    m_active = false;
    m_timer.stop();
    dropFetch();
    return true;
}

void PLRServiceReacher::dropFetch()
{
    if (!m_reply)
        return;
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void PLRServiceReacher::checkNow()
{
    if (!m_active)
        return;
    PLR_LOG_INFO(QStringLiteral("Service probe: checking again now"));
    m_timer.stop();
    dropFetch();
    sendPing();
}

qint64 PLRServiceReacher::statusForError(const platform::Error& error)
{
    if (!error.isValid())
        return 0;
    using namespace platform::urlerror;
    switch (error.code) {
    case CannotFindHost:
    case CannotConnectToHost:
        return 1;
    case NotConnectedToInternet:
    case ResourceUnavailable:
    case DNSLookupFailed:
    case NetworkConnectionLost:
    case TimedOut:
        return 2;
    default:
        return 3;
    }
}

void PLRServiceReacher::sendPing()
{
    if (!m_active || m_reply)
        return;
    if (m_host.isEmpty()) {
        m_active = false;
        processNewStatus(2);
        return;
    }
    if (!m_host.isValid() || m_host.host().isEmpty()) {
        PLR_LOG_WARN(QStringLiteral("Service probe: \"%1\" is not a valid URL").arg(m_host.toString()));
        m_lastTimeReachabilityCheckTime = platform::Clock::shared().wallTime();
        processResult(platform::Error::make(QString::fromLatin1(platform::kURLErrorDomain),
                                            platform::urlerror::BadURL,
                                            QStringLiteral("The service address is not valid.")));
        return;
    }
    QNetworkReply* reply = PLRURLSession::shared().get(plainServiceRequest(m_host));
    m_reply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        if (m_reply == reply)
            m_reply = nullptr;
        // Any HTTP answer of the health URL means the host is there, whatever its status or body.
        const platform::Error error = probeTransportError(reply);
        reply->deleteLater();
        if (!m_active)
            return;
        m_lastTimeReachabilityCheckTime = platform::Clock::shared().wallTime();
        processResult(error);
    });
}

void PLRServiceReacher::processResult(const platform::Error& error)
{
    qint64 status = statusForError(error);
    // A fetch that fails while the local check says the network is down is a missing
    // internet connection, whatever the error says (an offline resolver answers "host not
    // found"); otherwise the two would take turns and the verdict would change at every check.
    if (status != 0 && status != 2 && !isLocallyReachable())
        status = 2;
    processNewStatus(status);
    performTimeout();
}

void PLRServiceReacher::processNewStatus(qint64 status)
{
    const qint64 old = m_status.exchange(status);
    const bool changed = old != status;
    const bool first = !m_answered;
    m_answered = true;
    if (!changed && !first)
        return;
    // Later, on the main queue; the verdict is read again then. Dropped with the reacher.
    QMetaObject::invokeMethod(this, [this, changed, first] {
        m_reported = true;
        if (changed) {
            if (isReachable()) {
                if (m_reachableBlock)
                    m_reachableBlock(this);
            } else if (m_unreachableBlock) {
                m_unreachableBlock(this);
            }
        }
        if (first)
            Q_EMIT answered();
    }, Qt::QueuedConnection);
}

void PLRServiceReacher::performTimeout()
{
    if (!m_active)
        return;
    m_timer.start(m_timing.checkInterval);
}

bool PLRServiceReacher::isLocallyReachable() const
{
    // The local check looks at the health URL's host name. A host name the check refuses
    // leaves the verdict to the fetches.
    const QString hostName = m_host.host().isEmpty()
                                 ? PLRWebServiceHost::prodHost().hostName()
                                 : m_host.host();
    const std::unique_ptr<Reachability> reachability = Reachability::reachabilityWithHostname(hostName);
    return !reachability || reachability->isReachable();
}

void PLRServiceReacher::performNetworkReachability()
{
    if (!m_active)
        return;
    if (status() == 2) {
        sendPing();
        return;
    }
    // The local check going down is only a hint: a fetch confirms it at once, and a service
    // that still answers keeps its verdict whatever the local check says.
    const bool locallyReachable = isLocallyReachable();
    const bool wentDown = m_locallyReachable && !locallyReachable;
    m_locallyReachable = locallyReachable;
    if (wentDown) {
        sendPing();
        return;
    }
    const QDateTime now = platform::Clock::shared().wallTime();
    const qint64 elapsedMs = m_lastTimeReachabilityCheckTime.isValid()
                                 ? m_lastTimeReachabilityCheckTime.msecsTo(now)
                                 : std::numeric_limits<qint64>::max();
    if (elapsedMs >= qint64(m_timing.refetchInterval * 1000))
        sendPing();
    else
        performTimeout();
}
