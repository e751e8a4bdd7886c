#include "services/state_machine/PLRFiniteSupport.h"

#include <QDataStream>
#include <QIODevice>

namespace plr_fsm_detail {

namespace {
constexpr quint32 kArchiveMagic = 0x504c5246; // "PLRF"
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_0;
} // namespace

QString addressText(const void* object)
{
    return QString::asprintf("%p", object);
}

QString textOrNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("(null)") : text;
}

QByteArray encodeArchive(const QVariantMap& map)
{
    QByteArray data;
    QDataStream stream(&data, QIODevice::WriteOnly);
    stream.setVersion(kStreamVersion);
    stream << kArchiveMagic << map;
    return data;
}

bool decodeArchive(const QByteArray& data, QVariantMap* map)
{
    QDataStream stream(data);
    stream.setVersion(kStreamVersion);
    quint32 magic = 0;
    stream >> magic;
    if (stream.status() != QDataStream::Ok || magic != kArchiveMagic)
        return false;
    QVariantMap decoded;
    stream >> decoded;
    if (stream.status() != QDataStream::Ok)
        return false;
    *map = std::move(decoded);
    return true;
}

} // namespace plr_fsm_detail
