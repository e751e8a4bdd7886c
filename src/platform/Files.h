#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QSet>
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

// A folder opened once, by its path, and written to relative to that opening: every file is
// made in the folder that was opened (openat), links in it are never followed (O_NOFOLLOW),
// and a move or swap of the path meanwhile cannot send a file anywhere else.
class Directory {
public:
    Directory() = default;
    ~Directory();
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    // Opens the folder at `path` (a link the path itself is resolves here, once).
    bool open(const QString& path, Error* error = nullptr);
    bool isOpen() const { return m_fd >= 0; }
    const QString& path() const { return m_path; }
    int descriptor() const { return m_fd; }

    // Whether the path still leads to the folder that was opened (not moved away, replaced,
    // or swapped for a link to another folder).
    bool isStillAtPath() const;

    // Writes `name` (one plain name) as writeAtomically() does, in this folder.
    bool writeFileAtomically(const QString& name, const QByteArray& bytes, Error* error = nullptr) const;

    // Writes `name` (one plain name) so that only the whole file ever has a name in the folder:
    // its bytes go to a nameless file (createUnnamedFile()) that takes the name once it is
    // complete and flushed, replacing what had it (keeping its mode; a new file gets 0644).
    // Where the file system has no nameless files, as writeFileAtomically(); a process killed
    // meanwhile then leaves a temporary that removeLeftoversOf() takes away later.
    bool writeFileWhole(const QString& name, const QByteArray& bytes, Error* error = nullptr) const;
    // Removes the files of the folder that writing one of these names left behind when the
    // writer was killed: named as isLeftoverTemporary() says, regular, ours and of mode 0600
    // (a temporary's until it is complete). Answers how many went.
    int removeLeftoversOf(const QSet<QString>& names) const;

    // A new, nameless file in the folder (O_TMPFILE): nothing of it is left when the process
    // dies before it is named. Its descriptor, or -1 (the file system may not offer it).
    int createUnnamedFile(Error* error = nullptr) const;
    // Gives a file made by createUnnamedFile() the name `name`, replacing what has that name.
    bool nameUnnamedFile(int fd, const QString& name, Error* error = nullptr) const;

private:
    int m_fd = -1;
    QString m_path;
    quint64 m_device = 0;
    quint64 m_inode = 0;
};

} // namespace platform::files
