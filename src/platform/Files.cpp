#include "platform/Files.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryFile>

#include <cerrno>
#include <dirent.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::files {

namespace {

Error fileError(qint64 code, const QString& description, const QString& reason)
{
    return Error::make(kErrorDomain, code, description, reason);
}

QString systemReason(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

Kind kindOf(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return Kind::Missing;
    if (S_ISLNK(st.st_mode))
        return Kind::SymbolicLink;
    if (S_ISREG(st.st_mode))
        return Kind::Regular;
    if (S_ISDIR(st.st_mode))
        return Kind::Directory;
    return Kind::Other;
}

bool isLeftoverTemporary(const QString& name, const QString& target)
{
    if (name.size() != target.size() + 7 || !name.startsWith(target) || name.at(target.size()) != QLatin1Char('.'))
        return false;
    for (qsizetype i = target.size() + 1; i < name.size(); ++i)
        if (!name.at(i).isLetterOrNumber())
            return false;
    return true;
}

bool writeAtomically(const QString& path, const QByteArray& bytes, Error* error)
{
    const QString description = QStringLiteral("Could not write \"%1\".").arg(path);
    const Kind kind = kindOf(path);
    if (kind == Kind::Directory || kind == Kind::Other) {
        if (error)
            *error = fileError(5, description, QStringLiteral("Something other than a file is in its place."));
        return false;
    }
    // The temporary file is made new (O_EXCL) beside the target; the rename then replaces the
    // directory entry itself, so a link in the target's place is replaced, never followed.
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    file.setAutoRemove(true);
    if (!file.open()) {
        if (error)
            *error = fileError(file.error(), description, file.errorString());
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.flush() || ::fsync(file.handle()) != 0) {
        if (error)
            *error = fileError(file.error(), description, file.errorString());
        return false;
    }
    // A file that is replaced keeps its mode; a new one gets the usual 0644.
    struct stat previous {};
    const mode_t mode = (kind == Kind::Regular && ::stat(QFile::encodeName(path).constData(), &previous) == 0)
        ? (previous.st_mode & 07777) : 0644;
    ::fchmod(file.handle(), mode);
    const QString temporary = file.fileName();
    file.close();
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0) {
        const int code = errno;
        if (error)
            *error = fileError(code, description, systemReason(code));
        return false;
    }
    file.setAutoRemove(false);
    return true;
}

bool stageWrite(const QString& path, const QByteArray& bytes, StagedFile* staged, bool syncNow, Error* error)
{
    staged->path = path;
    staged->temporary.clear();
    const QString description = QStringLiteral("Could not write \"%1\".").arg(path);
    const QByteArray encoded = QFile::encodeName(path);
    struct stat st {};
    mode_t mode = 0644;
    if (::lstat(encoded.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode) || (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))) {
            if (error)
                *error = fileError(5, description, QStringLiteral("Something other than a file is in its place."));
            return false;
        }
        if (S_ISREG(st.st_mode)) {
            staged->replacesFile = true;
            // A file that is replaced keeps its mode; a new one (or one replacing a link) gets 0644.
            mode = st.st_mode & 07777;
            QByteArray existing;
            if (st.st_size == bytes.size() && readAll(path, &existing, nullptr, bytes.size()) && existing == bytes)
                return true;
        }
    }
    // The temporary is made new (O_EXCL) beside the target; the rename then replaces the
    // directory entry itself, so a link in the target's place is replaced, never followed.
    QByteArray temporary = encoded + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        if (error)
            *error = fileError(code, description, systemReason(code));
        return false;
    }
    const auto fail = [&](int code) {
        ::close(fd);
        ::unlink(temporary.constData());
        if (error)
            *error = fileError(code, description, systemReason(code));
        return false;
    };
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        done += n;
    }
    if (syncNow && ::fsync(fd) != 0)
        return fail(errno);
    ::fchmod(fd, mode);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(temporary.constData());
        if (error)
            *error = fileError(code, description, systemReason(code));
        return false;
    }
    staged->temporary = QFile::decodeName(temporary);
    return true;
}

namespace {

// "<path>.XXXXXX", six letters or digits: a name isLeftoverTemporary() recognises.
QByteArray leftoverName(const QByteArray& path)
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = path + '.';
    for (int i = 0; i < 6; ++i)
        name += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
    return name;
}

} // namespace

bool commitStaged(const StagedFile& staged, Error* error, QString* keptAside)
{
    if (keptAside)
        keptAside->clear();
    if (!staged.isStaged())
        return true;
    const QByteArray temporary = QFile::encodeName(staged.temporary);
    const QByteArray target = QFile::encodeName(staged.path);
    QByteArray aside;
    if (keptAside && staged.replacesFile) {
        // A second name for the old file, made new (link() never replaces): when it cannot be
        // made (a file system without hard links) the rename frees the old file as usual.
        for (int attempt = 0; attempt < 8 && aside.isEmpty(); ++attempt) {
            const QByteArray name = leftoverName(target);
            if (::link(target.constData(), name.constData()) == 0)
                aside = name;
            else if (errno != EEXIST)
                break;
        }
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int code = errno;
        ::unlink(temporary.constData());
        if (!aside.isEmpty())
            ::unlink(aside.constData());
        if (error)
            *error = fileError(code, QStringLiteral("Could not write \"%1\".").arg(staged.path), systemReason(code));
        return false;
    }
    if (keptAside)
        *keptAside = QFile::decodeName(aside);
    return true;
}

QString renameAside(const QString& path)
{
    const QByteArray from = QFile::encodeName(path);
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QByteArray name = leftoverName(from);
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, name.constData(), RENAME_NOREPLACE) == 0)
            return QFile::decodeName(name);
        if (errno != EEXIST)
            break;
    }
    return QString();
}

void discardStaged(const StagedFile& staged)
{
    if (staged.isStaged())
        ::unlink(QFile::encodeName(staged.temporary).constData());
}

bool syncFileSystemsOf(const QStringList& paths, Error* error)
{
    QSet<dev_t> synced;
    for (const QString& path : paths) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            continue;   // gone already: what it held is not ours to flush
        struct stat st {};
        bool ok = true;
        int code = 0;
        if (::fstat(fd, &st) == 0 && !synced.contains(st.st_dev)) {
            synced.insert(st.st_dev);
            if (::syncfs(fd) != 0) {
                ok = false;
                code = errno;
            }
        }
        ::close(fd);
        if (!ok) {
            if (error)
                *error = fileError(code, QStringLiteral("Could not flush \"%1\" to the disk.").arg(path), systemReason(code));
            return false;
        }
    }
    return true;
}

bool syncFolder(const QString& path, Error* error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::fsync(fd) == 0;
    const int code = errno;
    if (fd >= 0)
        ::close(fd);
    if (!ok && error)
        *error = fileError(code, QStringLiteral("Could not flush the folder \"%1\" to the disk.").arg(path), systemReason(code));
    return ok;
}

bool readAll(const QString& path, QByteArray* bytes, Error* error, qint64 limit)
{
    const QString description = QStringLiteral("Could not read \"%1\".").arg(path);
    // No link is followed and nothing but a regular file is read: a FIFO would block the open
    // or the read for ever, a device could be read without end.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        if (error)
            *error = fileError(code, description,
                               code == ELOOP ? QStringLiteral("It is a symbolic link.") : systemReason(code));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (error)
            *error = fileError(4, description, QStringLiteral("It is not a regular file."));
        return false;
    }
    if (st.st_size > limit) {
        ::close(fd);
        if (error)
            *error = fileError(27, description, QStringLiteral("It is larger than %1 bytes.").arg(limit));
        return false;
    }
    QByteArray result;
    result.reserve(qsizetype(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int code = errno;
            ::close(fd);
            if (error)
                *error = fileError(code, description, systemReason(code));
            return false;
        }
        if (n == 0)
            break;
        if (result.size() + n > limit) {
            ::close(fd);
            if (error)
                *error = fileError(27, description, QStringLiteral("It is larger than %1 bytes.").arg(limit));
            return false;
        }
        result.append(buffer, n);
    }
    ::close(fd);
    *bytes = std::move(result);
    return true;
}

// ---------------------------------------------------------------- a folder opened once

namespace {

bool isPlainFileName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

// "<name>.XXXXXX" with six random letters and digits, the shape of writeAtomically()'s.
QByteArray temporaryNameFor(const QString& name)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray temporary = QFile::encodeName(name) + '.';
    for (int i = 0; i < 6; ++i)
        temporary += letters[QRandomGenerator::global()->bounded(int(sizeof(letters) - 1))];
    return temporary;
}

} // namespace

Directory::~Directory()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool Directory::open(const QString& path, Error* error)
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_path = path;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        const int code = errno;
        if (fd >= 0)
            ::close(fd);
        if (error)
            *error = fileError(code, QStringLiteral("Could not open the folder \"%1\".").arg(path), systemReason(code));
        return false;
    }
    m_fd = fd;
    m_device = quint64(st.st_dev);
    m_inode = quint64(st.st_ino);
    return true;
}

bool Directory::isStillAtPath() const
{
    struct stat st {};
    return m_fd >= 0 && ::stat(QFile::encodeName(m_path).constData(), &st) == 0 && S_ISDIR(st.st_mode)
        && quint64(st.st_dev) == m_device && quint64(st.st_ino) == m_inode;
}

bool Directory::writeFileAtomically(const QString& name, const QByteArray& bytes, Error* error) const
{
    const QString description = QStringLiteral("Could not write \"%1\" in \"%2\".").arg(name, m_path);
    const auto fail = [&](int code, const QString& reason) {
        if (error)
            *error = fileError(code, description, reason);
        return false;
    };
    if (m_fd < 0 || !isPlainFileName(name))
        return fail(EINVAL, QStringLiteral("Not a name in the folder."));
    const QByteArray target = QFile::encodeName(name);
    struct stat previous {};
    const bool exists = ::fstatat(m_fd, target.constData(), &previous, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && !S_ISREG(previous.st_mode) && !S_ISLNK(previous.st_mode))
        return fail(EEXIST, QStringLiteral("Something other than a file is in its place."));
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = temporaryNameFor(name);
        fd = ::openat(m_fd, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return fail(errno, systemReason(errno));
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    // A file that is replaced keeps its mode; a new one gets the usual 0644.
    const mode_t mode = exists && S_ISREG(previous.st_mode) ? (previous.st_mode & 07777) : 0644;
    if (done != bytes.size() || ::fsync(fd) != 0 || ::fchmod(fd, mode) != 0) {
        const int code = errno ? errno : EIO;
        ::close(fd);
        ::unlinkat(m_fd, temporary.constData(), 0);
        return fail(code, systemReason(code));
    }
    ::close(fd);
    // renameat() replaces the directory entry itself: a link in the target's place is
    // replaced, never followed.
    if (::renameat(m_fd, temporary.constData(), m_fd, target.constData()) != 0) {
        const int code = errno;
        ::unlinkat(m_fd, temporary.constData(), 0);
        return fail(code, systemReason(code));
    }
    return true;
}

bool Directory::writeFileWhole(const QString& name, const QByteArray& bytes, Error* error) const
{
    const QString description = QStringLiteral("Could not write \"%1\" in \"%2\".").arg(name, m_path);
    const auto fail = [&](int code) {
        if (error)
            *error = fileError(code, description, systemReason(code));
        return false;
    };
    if (m_fd < 0 || !isPlainFileName(name))
        return fail(EINVAL);
    const QByteArray target = QFile::encodeName(name);
    struct stat previous {};
    const bool exists = ::fstatat(m_fd, target.constData(), &previous, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && !S_ISREG(previous.st_mode) && !S_ISLNK(previous.st_mode))
        return fail(EEXIST);
    const int fd = createUnnamedFile();
    if (fd < 0)
        return writeFileAtomically(name, bytes, error);   // no nameless files here
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    // A file that is replaced keeps its mode; a new one gets the usual 0644.
    const mode_t mode = exists && S_ISREG(previous.st_mode) ? (previous.st_mode & 07777) : 0644;
    if (done != bytes.size() || ::fsync(fd) != 0 || ::fchmod(fd, mode) != 0) {
        const int code = errno ? errno : EIO;
        ::close(fd);
        return fail(code);
    }
    const bool named = nameUnnamedFile(fd, name, error);
    ::close(fd);
    return named;
}

int Directory::removeLeftoversOf(const QSet<QString>& names) const
{
    if (m_fd < 0 || names.isEmpty())
        return 0;
    // Listed through the folder that was opened, never through its path.
    const int listing = ::openat(m_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listing < 0 ? nullptr : ::fdopendir(listing);
    if (!dir) {
        if (listing >= 0)
            ::close(listing);
        return 0;
    }
    QList<QByteArray> leftovers;
    while (const struct dirent* entry = ::readdir(dir)) {
        const QString entryName = QFile::decodeName(QByteArray(entry->d_name));
        if (entryName.size() < 8)
            continue;
        const QString target = entryName.left(entryName.size() - 7);
        if (!names.contains(target) || !isLeftoverTemporary(entryName, target))
            continue;
        // Only what a killed writer leaves: a regular file of ours, still readable by us alone
        // (the mode a temporary has until it is complete), never a file of the user's that
        // happens to be named alike.
        struct stat st {};
        if (::fstatat(m_fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
            && (st.st_mode & 07777) == 0600 && st.st_uid == ::geteuid())
            leftovers.append(QByteArray(entry->d_name));
    }
    ::closedir(dir);
    int removed = 0;
    for (const QByteArray& leftover : std::as_const(leftovers))
        removed += ::unlinkat(m_fd, leftover.constData(), 0) == 0 ? 1 : 0;
    return removed;
}

int Directory::createUnnamedFile(Error* error) const
{
    const int fd = m_fd < 0 ? -1 : ::openat(m_fd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
    if (fd < 0 && error) {
        const int code = m_fd < 0 ? EBADF : errno;
        *error = fileError(code, QStringLiteral("Could not make a file in \"%1\".").arg(m_path), systemReason(code));
    }
    return fd;
}

bool Directory::nameUnnamedFile(int fd, const QString& name, Error* error) const
{
    const auto fail = [&](int code) {
        if (error)
            *error = fileError(code, QStringLiteral("Could not name \"%1\" in \"%2\".").arg(name, m_path), systemReason(code));
        return false;
    };
    if (m_fd < 0 || fd < 0 || !isPlainFileName(name))
        return fail(EINVAL);
    const QByteArray source = QByteArrayLiteral("/proc/self/fd/") + QByteArray::number(fd);
    const QByteArray target = QFile::encodeName(name);
    struct stat existing {};
    if (::fstatat(m_fd, target.constData(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
        if (::linkat(AT_FDCWD, source.constData(), m_fd, target.constData(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST)
            return fail(errno);
    } else if (!S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode)) {
        return fail(EEXIST);
    }
    // Something has the name: linked under a temporary name first, then renamed over it.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray temporary = temporaryNameFor(name);
        if (::linkat(AT_FDCWD, source.constData(), m_fd, temporary.constData(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST)
                continue;
            return fail(errno);
        }
        if (::renameat(m_fd, temporary.constData(), m_fd, target.constData()) != 0) {
            const int code = errno;
            ::unlinkat(m_fd, temporary.constData(), 0);
            return fail(code);
        }
        return true;
    }
    return fail(EEXIST);
}

} // namespace platform::files
