#pragma once

#include "services/ping/SimplePing.h"
#include "platform/Dispatch.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

// A repeating check of whether one host answers pings: reachable at start, then one ping
// every 5 s, each answered within 1 s or counted unreachable; the block hears only changes
// (so a host that stays silent is reported unreachable once).
class PLRPingHelper : public QObject, public SimplePingDelegate {
    Q_OBJECT
public:
    using Completion = std::function<void(bool reachable, const QString& reason)>;

    explicit PLRPingHelper(QObject* parent = nullptr);
    ~PLRPingHelper() override;

    void runWithHostName(const QString& hostName, Completion completion);
    bool reachable() const { return m_reachable; }
    SimplePing* pinger() const { return m_pinger.get(); }

    // The text of a pinger's error (the resolver's text for a failed host look-up).
    static QString errorText(const platform::Error& error);

    static constexpr int kTimeOutMs = 1000;
    static constexpr int kSendIntervalMs = 5000;

    void simplePingDidStartWithAddress(SimplePing*, const QByteArray& address) override;
    void simplePingDidFailWithError(SimplePing*, const platform::Error& error) override;
    void simplePingDidFailToSendPacket(SimplePing*, const QByteArray&, quint16, const platform::Error& error) override;
    void simplePingDidReceivePingResponsePacket(SimplePing*, const QByteArray&, quint16) override;

private:
    void start();
    void startPinger();
    void sendPing();
    void result(bool reachable, const QString& reason);
    void dropPinger();

    QString m_address;
    Completion m_completion;
    // On the shared clock.
    platform::Cancellable m_timeOut;
    platform::Cancellable m_nextSend;
    bool m_reachable = false;
    std::unique_ptr<SimplePing> m_pinger;
};
