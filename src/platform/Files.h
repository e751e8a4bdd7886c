#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QString>

namespace platform::files {

inline constexpr const char* kErrorDomain = "PLRFileErrorDomain";
// The largest file readAll() reads unless told otherwise.
inline constexpr qint64 kDefaultReadLimit = qint64(512) * 1024 * 1024;

// Writes the bytes to a temporary file in the same folder ("<name>.XXXXXX"), flushes it and
// renames it over the target, so a crash leaves either the old file or the new one, never
// half of one. A symbolic link at the path is replaced, never written through; a folder,
// FIFO or device at the path is refused.
bool writeAtomically(const QString& path, const QByteArray& bytes, Error* error = nullptr);
// Reads a whole regular file; false with an error when it cannot be read, is a symbolic link,
// is not a regular file (FIFO, device, folder) or is larger than `limit` bytes.
bool readAll(const QString& path, QByteArray* bytes, Error* error = nullptr, qint64 limit = kDefaultReadLimit);

// What lstat() says of a path without following a link.
enum class Kind { Missing, Regular, Directory, SymbolicLink, Other };
Kind kindOf(const QString& path);

// Whether `name` is what writeAtomically() leaves behind for `target` when killed mid-write:
// the target's name, a dot and six letters or digits.
bool isLeftoverTemporary(const QString& name, const QString& target);

} // namespace platform::files
