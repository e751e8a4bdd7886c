#pragma once

#include <QProcessEnvironment>
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
// The folder of caches that can always be made again: $PELLORA_HOME/cache or
// $XDG_CACHE_HOME/Pellora. Not created here.
QString cacheDirectory();
// Points the caches the libraries keep for themselves at cacheDirectory(): the graphics stack
// (Qt's and the OpenGL driver's shader caches, the web engine's) and the font cache follow
// XDG_CACHE_HOME, which is set to it for this process. Called at the very start of main, before
// any thread runs.
void keepLibraryCachesInCacheDirectory();
// The environment for the programs the application starts for the user (a browser, a file
// manager, a mail program, a new Pellora): the user's own, without the change above.
QProcessEnvironment userEnvironment();
// Creates the folder (and its parents); false with a log line when it cannot.
bool ensureDirectory(const QString& path);

} // namespace platform::paths
