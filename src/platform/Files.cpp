#include "platform/Files.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
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

} // namespace platform::files
