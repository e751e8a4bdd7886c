#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QSocketNotifier;

class SimplePing;

// What a pinger reports; every call is optional.
class SimplePingDelegate {
public:
    virtual ~SimplePingDelegate() = default;
    virtual void simplePingDidStartWithAddress(SimplePing*, const QByteArray& address) { (void)address; }
    virtual void simplePingDidFailWithError(SimplePing*, const platform::Error& error) { (void)error; }
    virtual void simplePingDidSendPacket(SimplePing*, const QByteArray& packet, quint16 sequenceNumber)
    {
        (void)packet;
        (void)sequenceNumber;
    }
    virtual void simplePingDidFailToSendPacket(SimplePing*, const QByteArray& packet, quint16 sequenceNumber,
                                               const platform::Error& error)
    {
        (void)packet;
        (void)sequenceNumber;
        (void)error;
    }
    virtual void simplePingDidReceivePingResponsePacket(SimplePing*, const QByteArray& packet, quint16 sequenceNumber)
    {
        (void)packet;
        (void)sequenceNumber;
    }
    virtual void simplePingDidReceiveUnexpectedPacket(SimplePing*, const QByteArray& packet) { (void)packet; }
};

// Error domains and codes of the pinger.
inline constexpr char kSimplePingNetworkErrorDomain[] = "kCFErrorDomainCFNetwork";
inline constexpr char kSimplePingPOSIXErrorDomain[] = "NSPOSIXErrorDomain";
// Key of the resolver's error number in a host-lookup failure.
inline constexpr char kSimplePingAddressLookupFailureKey[] = "kCFGetAddrInfoFailureKey";

// An ICMP echo client (IPv4 and IPv6) on an unprivileged datagram socket, driven by the
// event loop of the thread that starts it. The system may refuse such sockets
// (net.ipv4.ping_group_range): start then reports the refusal as an error.
//
// On a datagram ICMP socket the system replaces the echo identifier by the socket's own and
// hands replies over without the IP header; the pinger adopts the socket's identifier and
// reads replies with or without a header.
class SimplePing : public QObject {
    Q_OBJECT
public:
    enum AddressStyle { Any = 0, ICMPv4 = 1, ICMPv6 = 2 };

    explicit SimplePing(const QString& hostName, QObject* parent = nullptr);
    ~SimplePing() override;

    QString hostName() const { return m_hostName; }
    void setDelegate(SimplePingDelegate* delegate) { m_delegate = delegate; }
    SimplePingDelegate* delegate() const { return m_delegate; }
    void setAddressStyle(AddressStyle style) { m_addressStyle = style; }
    AddressStyle addressStyle() const { return m_addressStyle; }
    // The resolved address (a sockaddr), empty until started.
    QByteArray hostAddress() const { return m_hostAddress; }
    int hostAddressFamily() const;
    quint16 identifier() const { return m_identifier; }
    quint16 nextSequenceNumber() const { return m_nextSequenceNumber; }
    bool nextSequenceNumberHasWrapped() const { return m_nextSequenceNumberHasWrapped; }

    void start();
    void stop();
    // Sends one echo request with the payload (the default payload when empty).
    void sendPingWithData(const QByteArray& data = QByteArray());

    // "%28zd bottles of beer on the wall" with 99 - (sequence % 100): 56 bytes.
    static QByteArray defaultPayload(quint16 sequenceNumber);
    // The echo request as sent (checksum filled for IPv4 only).
    static QByteArray packet(bool ipv6, quint16 identifier, quint16 sequenceNumber, const QByteArray& payload);
    // RFC 1071.
    static quint16 internetChecksum(const QByteArray& bytes);
    // Where the ICMP header starts in an IPv4 packet with its IP header; -1 when it is not one.
    static qsizetype icmpHeaderOffsetInIPv4Packet(const QByteArray& packet);
    // Whether the reply is an echo reply to this pinger (for IPv4: the ICMP part is taken out,
    // with or without an IP header in front).
    bool validatePingResponsePacket(QByteArray* packet, quint16* sequenceNumber, bool ipv6) const;
    bool validateSequenceNumber(quint16 sequenceNumber) const;

    // Tests set the counters to reach the wrap.
    void setSequenceStateForTesting(quint16 next, bool wrapped)
    {
        m_nextSequenceNumber = next;
        m_nextSequenceNumberHasWrapped = wrapped;
    }
    void setIdentifierForTesting(quint16 identifier) { m_identifier = identifier; }

private:
    void hostResolved(const QList<QByteArray>& addresses, const QString& error, int resolverError);
    void openSocket();
    void readData();
    void failWithError(const platform::Error& error);

    QString m_hostName;
    SimplePingDelegate* m_delegate = nullptr;
    AddressStyle m_addressStyle = Any;
    QByteArray m_hostAddress;
    quint16 m_identifier = 0;
    quint16 m_nextSequenceNumber = 0;
    bool m_nextSequenceNumberHasWrapped = false;
    int m_lookupId = -1;
    int m_socket = -1;
    QSocketNotifier* m_notifier = nullptr;
};
