#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

// Small helpers shared by the state-machine classes. Not part of the public interface.
namespace plr_fsm_detail {

// An object's address the way it appears in descriptions ("0x55d0c3a4e2b0").
QString addressText(const void* object);

// A possibly null string as it appears in descriptions and messages: "(null)" when null.
QString textOrNull(const QString& text);

// Archives are a QVariantMap streamed with QDataStream. The "$class" entry names the
// archived class so that one class's archive is not mistaken for another's.
inline constexpr char kClassKey[] = "$class";

QByteArray encodeArchive(const QVariantMap& map);
// False when the bytes are not a readable archive.
bool decodeArchive(const QByteArray& data, QVariantMap* map);

} // namespace plr_fsm_detail
