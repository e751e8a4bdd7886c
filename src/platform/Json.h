#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QVariant>

// JSON helpers over QJsonDocument. A JSON null reads as a QVariant holding nullptr, so that
// "present but null" and "absent" stay apart; isNull() below tells both.
namespace platform::json {

inline constexpr const char* kErrorDomain = "PLRJSONErrorDomain";

// Parses the bytes. With allowFragments a bare top-level value (a string, number, true,
// false or null) is accepted. An invalid QVariant and an error when the bytes do not parse.
QVariant parse(const QByteArray& data, bool allowFragments, Error* error = nullptr);
// Writes the value (a map, list or, as a fragment, a scalar). Empty on failure.
QByteArray write(const QVariant& value, bool pretty, Error* error = nullptr);

// True for an absent value and for a JSON null.
bool isNull(const QVariant& value);

} // namespace platform::json
