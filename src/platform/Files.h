#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QString>

namespace platform::files {

inline constexpr const char* kErrorDomain = "PLRFileErrorDomain";

// Writes the bytes to a temporary file in the same folder, flushes it and renames it over
// the target, so a crash leaves either the old file or the new one, never half of one.
bool writeAtomically(const QString& path, const QByteArray& bytes, Error* error = nullptr);
// Reads a whole file; false with an error when it cannot be read.
bool readAll(const QString& path, QByteArray* bytes, Error* error = nullptr);

} // namespace platform::files
