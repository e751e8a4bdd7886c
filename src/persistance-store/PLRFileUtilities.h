#pragma once

#include "platform/Error.h"

#include <QString>

// Folder operations of the store.
namespace plr::fileutil {

// Copies the folder `source` to `destination` (which must not exist), recursively.
bool copyDirectory(const QString& source, const QString& destination, platform::Error* error = nullptr);
// Removes a file or folder recursively; true when nothing is left at the path.
bool removePath(const QString& path);
// Renames `path` aside and then removes it, so a crash half-way leaves no half-deleted
// folder under the original name.
bool removeDirectoryAtomically(const QString& path);
// Makes the folder and its parents.
bool ensureDirectory(const QString& path, platform::Error* error = nullptr);

inline constexpr const char* kErrorDomain = "PLRStoreFileErrorDomain";

} // namespace plr::fileutil
