#pragma once

#include "platform/Error.h"
#include "platform/Files.h"

#include <QByteArray>
#include <QStringView>
#include <QVariant>

// Property lists: XML on disk (written through libplist, read by a reader of our own that
// keeps its nesting bounded), binary ones read too (through libplist, after a bounded walk).
// Maps: dict <-> QVariantMap, array <-> QVariantList, string, integer, real, bool,
// date <-> QDateTime (UTC), data <-> QByteArray.
namespace platform::plist {

inline constexpr const char* kErrorDomain = "PLRPropertyListErrorDomain";
// The deepest nesting of arrays and dictionaries read, XML or binary; deeper is refused.
inline constexpr int kMaxNestingDepth = 512;

QVariant fromData(const QByteArray& data, Error* error = nullptr);
// Empty, with an error, for a value that holds text no property list can hold (see canHold()):
// the XML would not be read back.
QByteArray toXml(const QVariant& value, Error* error = nullptr);
// Whether a property list can hold the text: XML holds no control character but tab, line feed
// and carriage return, nor U+FFFE and U+FFFF.
bool canHold(QStringView text);

// Reads a plist file; an invalid QVariant with an error when it is missing, corrupt or larger
// than `limit` bytes.
QVariant readFile(const QString& path, Error* error = nullptr, qint64 limit = files::kDefaultReadLimit);
// Reads a plist file whose top level must be a dictionary.
QVariantMap readDictionary(const QString& path, bool* ok, Error* error = nullptr,
                           qint64 limit = files::kDefaultReadLimit);
// Writes the value as XML, atomically (a temporary file in the same folder, then rename).
bool writeFile(const QString& path, const QVariant& value, Error* error = nullptr);

} // namespace platform::plist
