#include "services/ping/SimplePing.h"

#include "platform/Log.h"

#include <QHostInfo>
#include <QRandomGenerator>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr quint8 kICMPv4EchoRequest = 8;
constexpr quint8 kICMPv4EchoReply = 0;
constexpr quint8 kICMPv6EchoRequest = 128;
constexpr quint8 kICMPv6EchoReply = 129;

quint16 read16(const QByteArray& bytes, qsizetype at)
{
    return quint16((quint8(bytes.at(at)) << 8) | quint8(bytes.at(at + 1)));
}

void write16(QByteArray* bytes, qsizetype at, quint16 value)
{
    (*bytes)[at] = char(value >> 8);
    (*bytes)[at + 1] = char(value & 0xFF);
}

platform::Error posixError(int code, const QString& text)
{
    return platform::Error::make(QString::fromLatin1(kSimplePingPOSIXErrorDomain), code, text);
}

} // namespace

SimplePing::SimplePing(const QString& hostName, QObject* parent)
    : QObject(parent), m_hostName(hostName), m_identifier(quint16(QRandomGenerator::global()->bounded(65536)))
{
}

SimplePing::~SimplePing()
{
    stop();
}

int SimplePing::hostAddressFamily() const
{
    if (m_hostAddress.size() < qsizetype(sizeof(sockaddr)))
        return AF_UNSPEC;
    return reinterpret_cast<const sockaddr*>(m_hostAddress.constData())->sa_family;
}

QByteArray SimplePing::defaultPayload(quint16 sequenceNumber)
{
    char text[64];
    std::snprintf(text, sizeof text, "%28zd bottles of beer on the wall", static_cast<ssize_t>(99 - (sequenceNumber % 100)));
    return QByteArray(text, 56);
}

quint16 SimplePing::internetChecksum(const QByteArray& bytes)
{
    quint32 sum = 0;
    qsizetype i = 0;
    for (; i + 1 < bytes.size(); i += 2)
        sum += quint16((quint8(bytes.at(i)) << 8) | quint8(bytes.at(i + 1)));
    if (i < bytes.size())
        sum += quint16(quint8(bytes.at(i)) << 8);
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum += (sum >> 16);
    return quint16(~sum & 0xFFFF);
}

QByteArray SimplePing::packet(bool ipv6, quint16 identifier, quint16 sequenceNumber, const QByteArray& payload)
{
    QByteArray bytes(8, '\0');
    bytes[0] = char(ipv6 ? kICMPv6EchoRequest : kICMPv4EchoRequest);
    bytes[1] = 0;
    write16(&bytes, 4, identifier);
    write16(&bytes, 6, sequenceNumber);
    bytes += payload;
    if (!ipv6)
        write16(&bytes, 2, internetChecksum(bytes));
    return bytes;
}

qsizetype SimplePing::icmpHeaderOffsetInIPv4Packet(const QByteArray& packet)
{
    if (packet.size() < 28)
        return -1;
    const quint8 versionAndLength = quint8(packet.at(0));
    if ((versionAndLength >> 4) != 4 || quint8(packet.at(9)) != 1)
        return -1;
    const qsizetype headerLength = qsizetype(versionAndLength & 0x0F) * 4;
    if (packet.size() < headerLength + 8)
        return -1;
    return headerLength;
}

bool SimplePing::validateSequenceNumber(quint16 sequenceNumber) const
{
    if (m_nextSequenceNumberHasWrapped)
        return quint16(m_nextSequenceNumber - sequenceNumber) < 120;
    return sequenceNumber < m_nextSequenceNumber;
}

bool SimplePing::validatePingResponsePacket(QByteArray* packet, quint16* sequenceNumber, bool ipv6) const
{
    if (ipv6) {
        if (packet->size() < 8 || quint8(packet->at(0)) != kICMPv6EchoReply || quint8(packet->at(1)) != 0)
            return false;
        if (read16(*packet, 4) != m_identifier)
            return false;
        *sequenceNumber = read16(*packet, 6);
        return validateSequenceNumber(*sequenceNumber);
    }
    // A raw socket hands over the IP header; a datagram ICMP socket does not.
    QByteArray icmp = *packet;
    const qsizetype offset = icmpHeaderOffsetInIPv4Packet(*packet);
    if (offset >= 0)
        icmp = packet->mid(offset);
    if (icmp.size() < 8)
        return false;
    const quint16 received = read16(icmp, 2);
    QByteArray zeroed = icmp;
    write16(&zeroed, 2, 0);
    if (internetChecksum(zeroed) != received)
        return false;
    if (quint8(icmp.at(0)) != kICMPv4EchoReply || quint8(icmp.at(1)) != 0)
        return false;
    if (read16(icmp, 4) != m_identifier)
        return false;
    *sequenceNumber = read16(icmp, 6);
    if (!validateSequenceNumber(*sequenceNumber))
        return false;
    *packet = icmp;
    return true;
}

void SimplePing::start()
{
    if (m_lookupId >= 0 || m_socket >= 0)
        return;
    QPointer<SimplePing> self(this);
    m_lookupId = QHostInfo::lookupHost(m_hostName, this, [self](const QHostInfo& info) {
        if (!self)
            return;
        self->m_lookupId = -1;
        QList<QByteArray> addresses;
        for (const QHostAddress& address : info.addresses()) {
            sockaddr_storage storage{};
            socklen_t length = 0;
            if (address.protocol() == QAbstractSocket::IPv4Protocol) {
                auto* in = reinterpret_cast<sockaddr_in*>(&storage);
                in->sin_family = AF_INET;
                in->sin_addr.s_addr = htonl(address.toIPv4Address());
                length = sizeof(sockaddr_in);
            } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
                auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
                in6->sin6_family = AF_INET6;
                const Q_IPV6ADDR bytes = address.toIPv6Address();
                std::memcpy(&in6->sin6_addr, &bytes, 16);
                length = sizeof(sockaddr_in6);
            } else {
                continue;
            }
            addresses << QByteArray(reinterpret_cast<const char*>(&storage), length);
        }
        const int resolverError = info.error() == QHostInfo::NoError ? 0 : EAI_NONAME;
        self->hostResolved(addresses, info.error() == QHostInfo::NoError ? QString() : info.errorString(), resolverError);
    });
}

void SimplePing::hostResolved(const QList<QByteArray>& addresses, const QString& error, int resolverError)
{
    if (!error.isEmpty()) {
        platform::Error failure = platform::Error::make(QString::fromLatin1(kSimplePingNetworkErrorDomain), 2, error);
        failure.userInfo.insert(QString::fromLatin1(kSimplePingAddressLookupFailureKey), resolverError);
        failWithError(failure);
        return;
    }
    for (const QByteArray& address : addresses) {
        if (address.size() < 16)
            continue;
        const int family = reinterpret_cast<const sockaddr*>(address.constData())->sa_family;
        if ((family == AF_INET && m_addressStyle != ICMPv6) || (family == AF_INET6 && m_addressStyle != ICMPv4)) {
            m_hostAddress = address;
            openSocket();
            return;
        }
    }
    failWithError(platform::Error::make(QString::fromLatin1(kSimplePingNetworkErrorDomain), 1,
                                  QStringLiteral("No address of %1 fits the ping's address style").arg(m_hostName)));
}

void SimplePing::openSocket()
{
    const int family = hostAddressFamily();
    if (family != AF_INET && family != AF_INET6) {
        failWithError(posixError(EPROTONOSUPPORT, QStringLiteral("Protocol not supported")));
        return;
    }
    const int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, family == AF_INET ? int(IPPROTO_ICMP) : int(IPPROTO_ICMPV6));
    if (fd < 0) {
        const int code = errno;
        const QString text = QString::fromLocal8Bit(std::strerror(code));
        PLR_LOG_WARN(QStringLiteral("Ping sockets are refused here (%1); see net.ipv4.ping_group_range").arg(text));
        failWithError(posixError(code, text));
        return;
    }
    m_socket = fd;
    // The system names the echo identifier of a datagram ICMP socket: its local "port", given
    // when the socket is bound.
    sockaddr_storage any{};
    any.ss_family = sa_family_t(family);
    ::bind(fd, reinterpret_cast<sockaddr*>(&any), family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        if (local.ss_family == AF_INET && reinterpret_cast<sockaddr_in*>(&local)->sin_port != 0)
            m_identifier = ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
        else if (local.ss_family == AF_INET6 && reinterpret_cast<sockaddr_in6*>(&local)->sin6_port != 0)
            m_identifier = ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port);
    }
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SimplePing::readData);
    if (m_delegate)
        m_delegate->simplePingDidStartWithAddress(this, m_hostAddress);
}

void SimplePing::sendPingWithData(const QByteArray& data)
{
    const bool ipv6 = hostAddressFamily() == AF_INET6;
    const quint16 sequence = m_nextSequenceNumber;
    const QByteArray bytes = packet(ipv6, m_identifier, sequence, data.isEmpty() ? defaultPayload(sequence) : data);
    bool sent = false;
    int code = EBADF;
    if (m_socket >= 0) {
        const ssize_t written = ::sendto(m_socket, bytes.constData(), size_t(bytes.size()), 0,
                                         reinterpret_cast<const sockaddr*>(m_hostAddress.constData()),
                                         socklen_t(m_hostAddress.size()));
        sent = written == bytes.size();
        code = written < 0 ? errno : ENOBUFS;
    }
    if (m_delegate) {
        if (sent)
            m_delegate->simplePingDidSendPacket(this, bytes, sequence);
        else
            m_delegate->simplePingDidFailToSendPacket(this, bytes, sequence, posixError(code, QString::fromLocal8Bit(std::strerror(code))));
    }
    m_nextSequenceNumber = quint16(m_nextSequenceNumber + 1);
    if (m_nextSequenceNumber == 0)
        m_nextSequenceNumberHasWrapped = true;
}

void SimplePing::readData()
{
    if (m_socket < 0)
        return;
    QByteArray buffer(65535, '\0');
    const ssize_t received = ::recv(m_socket, buffer.data(), size_t(buffer.size()), 0);
    if (received <= 0) {
        const int code = received < 0 ? errno : EPIPE;
        failWithError(posixError(code, QString::fromLocal8Bit(std::strerror(code))));
        return;
    }
    buffer.truncate(received);
    quint16 sequence = 0;
    QByteArray reply = buffer;
    if (validatePingResponsePacket(&reply, &sequence, hostAddressFamily() == AF_INET6)) {
        if (m_delegate)
            m_delegate->simplePingDidReceivePingResponsePacket(this, reply, sequence);
    } else if (m_delegate) {
        m_delegate->simplePingDidReceiveUnexpectedPacket(this, buffer);
    }
}

void SimplePing::failWithError(const platform::Error& error)
{
    stop();
    if (m_delegate)
        m_delegate->simplePingDidFailWithError(this, error);
}

void SimplePing::stop()
{
    if (m_lookupId >= 0) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
    delete m_notifier;
    m_notifier = nullptr;
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
    m_hostAddress.clear();
}
