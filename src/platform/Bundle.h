#pragma once

#include <QString>

namespace platform::bundle {

// The bundle identifier chosen at build time ("com.quenfield.pellora" for releases).
QString identifier();
QString version();          // the marketing version, e.g. "1.0.0"
QString build();            // the build number
inline QString targetName() { return QStringLiteral("Pellora"); }
inline QString executableName() { return QStringLiteral("pellora"); }
inline constexpr const char* kReleaseIdentifier = "com.quenfield.pellora";

} // namespace platform::bundle
