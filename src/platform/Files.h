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
// Writing many files, each atomically, with one sync for all of them:
//   1. stageWrite() each file (any thread): its bytes go to a new temporary beside it;
//   2. syncFileSystemsOf() the temporaries once (unless they were staged with `syncNow`);
//   3. commitStaged() each, in the order the files must appear: the rename puts it in place;
//   4. syncFileSystemsOf() (or syncFolder() of each folder) once, so the renames last too.
// A crash before a commit leaves the old file and a leftover temporary ("<name>.XXXXXX",
// see isLeftoverTemporary()); after it, the whole new file.
struct StagedFile {
    QString path;        // the target
    QString temporary;   // empty when nothing is staged (the target already holds the bytes)
    bool replacesFile = false;   // a regular file was at the path when staged
    bool isStaged() const { return !temporary.isEmpty(); }
};
// Stages `bytes` for `path`. When the regular file at the path already holds exactly these
// bytes nothing is written and `staged->temporary` stays empty. With `syncNow` the temporary
// is flushed to the disk before this returns. A folder, FIFO or device at the path is
// refused; a link there is replaced at commit, never written through.
bool stageWrite(const QString& path, const QByteArray& bytes, StagedFile* staged, bool syncNow,
                Error* error = nullptr);
// Renames the temporary over its target (nothing to do for an unstaged file). With
// `keptAside`, a regular file that is replaced keeps a second name beside it (a leftover
// temporary name, answered there) so the rename frees nothing: freeing a file's blocks can
// take milliseconds, and the caller removes the old copies once its work is done.
bool commitStaged(const StagedFile& staged, Error* error = nullptr, QString* keptAside = nullptr);
// Renames the file at `path` to a new leftover-temporary name beside it, for removal later;
// answers that name, empty when it could not be done (nothing was changed then).
QString renameAside(const QString& path);
// Removes a temporary that will not be committed.
void discardStaged(const StagedFile& staged);
// Flushes everything written to the file systems the paths lie on: one syncfs() per file
// system. False with an error when a file system reports a write error.
bool syncFileSystemsOf(const QStringList& paths, Error* error = nullptr);
// Flushes a folder's entries (the renames and removals in it) to the disk.
bool syncFolder(const QString& path, Error* error = nullptr);

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
