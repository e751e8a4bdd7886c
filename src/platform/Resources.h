#pragma once

#include <QByteArray>
#include <QString>

namespace platform::resources {

// Makes the bundled resources (":/...") reachable; call once at start (idempotent).
void initialize();
// The bytes of a bundled resource by its file name, e.g. "error_map.json"; empty when missing.
QByteArray data(const QString& name);

} // namespace platform::resources
