#pragma once

#include "platform/Error.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

// Folder operations of the store.
namespace plr::fileutil {

// Told the size of each file once it has been copied.
using CopyProgress = std::function<void(qint64 bytes)>;

// Copies the folder `source` to `destination` (which must not exist), recursively.
bool copyDirectory(const QString& source, const QString& destination, platform::Error* error = nullptr,
                   const CopyProgress& copied = {});
// The bytes of the regular files under `folder` (links and special files not counted).
qint64 directorySize(const QString& folder);
// Removes a file or folder recursively; true when nothing is left at the path.
bool removePath(const QString& path);
// Renames `path` aside and then removes it, so a crash half-way leaves no half-deleted
// folder under the original name.
bool removeDirectoryAtomically(const QString& path);
// Makes the folder and its parents.
bool ensureDirectory(const QString& path, platform::Error* error = nullptr);

// Moves an unreadable store file (or a link or anything else that is not a regular file in
// its place) aside to "<path>.unreadable" ("<path>.unreadable-2", ... when taken), never
// following a link, so what was there is kept and nothing replaces it in place. Answers the
// new path, empty when nothing was there or it could not be moved.
QString setAside(const QString& path);

// Removes what killed saves left in a post or account bundle: temporary files of its own
// files ("<name>.XXXXXX"). Answers how many were removed.
int removeLeftoverTemporaries(const QString& bundlePath, const QStringList& fileNames);

// Staging folders of post-file imports: "<store root>/.import-<identifier>", and of posts
// written for the first time ("<bundle>.partial"). An import or a save registers its folder
// (before making it) while it runs; the folders that a crash or kill left behind are removed
// when an account opens.
inline constexpr const char* kImportStagingPrefix = ".import-";
void registerStagingFolder(const QString& path);
void unregisterStagingFolder(const QString& path);
// Removes a staging folder a crash or kill left behind, unless a running import or save holds
// it; true when it was removed.
bool removeStaleStagingFolder(const QString& path);
// What an import is about to move into the store's image area, named in its staging folder
// (kImportedPicturesFileName) before anything moves: the picture folders (by image identifier)
// and the post bundle the import ends by placing.
inline constexpr const char* kImportedPicturesFileName = "imported-pictures.plist";
bool noteImportedPictures(const QString& stagingFolder, const QString& bundle, const QStringList& images,
                          platform::Error* error = nullptr);
// Removes the staging folders under the store root that no running import holds. The picture
// folders a killed import moved into `imageArea` go with its staging folder, unless its post
// reached the store or one of `imagesInUse()` (the images the posts in the store use, asked
// only when there is such a folder) names them. Answers how many staging folders were removed.
int removeStaleStagingFolders(const QString& storeRoot, const QString& imageArea = QString(),
                              const std::function<QSet<QString>()>& imagesInUse = {});

inline constexpr const char* kErrorDomain = "PLRStoreFileErrorDomain";

} // namespace plr::fileutil
