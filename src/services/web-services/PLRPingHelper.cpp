#include "services/web-services/PLRPingHelper.h"
#include "platform/Clock.h"

#include <netdb.h>

PLRPingHelper::PLRPingHelper(QObject* parent) : QObject(parent) {}

PLRPingHelper::~PLRPingHelper()
{
    m_timeOut.cancel();
    m_nextSend.cancel();
    dropPinger();
}

void PLRPingHelper::runWithHostName(const QString& hostName, Completion completion)
{
    dropPinger();
    m_address = hostName;
    m_completion = std::move(completion);
    start();
}

void PLRPingHelper::start()
{
    m_reachable = true;
    if (m_completion)
        m_completion(true, QString());
    startPinger();
}

void PLRPingHelper::startPinger()
{
    m_pinger = std::make_unique<SimplePing>(m_address);
    m_pinger->setDelegate(this);
    m_pinger->start();
}

void PLRPingHelper::sendPing()
{
    // After a time-out or a failure a new pinger takes over. It says nothing by itself: only
    // its answer (or its silence) is a result, so a host that stays silent is reported once.
    if (!m_pinger) {
        startPinger();
        return;
    }
    m_pinger->sendPingWithData();
    m_timeOut.cancel();
    m_timeOut = platform::Clock::shared().after(kTimeOutMs / 1000.0, this, [this] {
        dropPinger();
        result(false, QString());
    });
}

void PLRPingHelper::dropPinger()
{
    if (!m_pinger)
        return;
    m_pinger->setDelegate(nullptr);
    m_pinger->stop();
    // A pinger may be the one calling us: let it finish its call first.
    m_pinger.release()->deleteLater();
}

void PLRPingHelper::result(bool reachable, const QString& reason)
{
    m_timeOut.cancel();
    m_nextSend.cancel();
    if (reachable != m_reachable) {
        m_reachable = reachable;
        if (m_completion)
            m_completion(reachable, reason);
    }
    m_nextSend = platform::Clock::shared().after(kSendIntervalMs / 1000.0, this, [this] { sendPing(); });
}

QString PLRPingHelper::errorText(const platform::Error& error)
{
    if (error.domain == QLatin1String(kSimplePingNetworkErrorDomain) && error.code == 2) {
        const int failure = error.userInfo.value(QString::fromLatin1(kSimplePingAddressLookupFailureKey)).toInt();
        if (failure != 0)
            return QString::fromLocal8Bit(gai_strerror(failure));
    }
    const QString reason = error.localizedFailureReason();
    return reason.isEmpty() ? error.localizedDescription() : reason;
}

void PLRPingHelper::simplePingDidStartWithAddress(SimplePing*, const QByteArray&)
{
    sendPing();
}

void PLRPingHelper::simplePingDidFailWithError(SimplePing*, const platform::Error& error)
{
    const QString text = errorText(error);
    dropPinger();
    result(false, text);
}

void PLRPingHelper::simplePingDidFailToSendPacket(SimplePing*, const QByteArray&, quint16, const platform::Error& error)
{
    result(false, errorText(error));
}

void PLRPingHelper::simplePingDidReceivePingResponsePacket(SimplePing*, const QByteArray&, quint16)
{
    result(true, QString());
}
