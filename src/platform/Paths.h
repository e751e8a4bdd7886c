#pragma once

#include <QString>

namespace platform::paths {

// The folder given by PELLORA_HOME, or empty when it is not set.
QString homeOverride();
// The application's data folder ("Application Support"): $PELLORA_HOME/data or
// $XDG_DATA_HOME/Pellora. Not created here.
QString applicationSupport();
// The folder of the settings file: $PELLORA_HOME/config or $XDG_CONFIG_HOME/Pellora.
QString configDirectory();
// The folder of the log files: $PELLORA_HOME/logs or $XDG_STATE_HOME/Pellora/logs.
QString logDirectory();
// Creates the folder (and its parents); false with a log line when it cannot.
bool ensureDirectory(const QString& path);

} // namespace platform::paths
