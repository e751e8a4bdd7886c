#include "store/persistance-store/PLRStoreLock.h"

#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "store/session/PLRDefaults.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Long enough that a start that made the lock file has written its name into it.
constexpr qint64 kUnreadableLeftoverAgeMs = 2000;

} // namespace

PLRStoreLock::PLRStoreLock(QString path)
    : m_path(std::move(path)), m_file(m_path)
{
    // Held for the whole run: never judged stale by its age, only when its process is gone.
    m_file.setStaleLockTime(0);
}

PLRStoreLock::~PLRStoreLock() = default;

QString PLRStoreLock::defaultPath()
{
    return platform::paths::applicationSupport() + QLatin1Char('/') + QLatin1String(kLockFileName);
}

PLRStoreLock::Outcome PLRStoreLock::tryLock()
{
    if (m_file.isLocked())
        return Outcome::Taken;
    m_error.clear();
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        // Nobody can hold a lock in a folder that is not there: this is the first start.
        if (folder == QDir::cleanPath(platform::paths::applicationSupport()))
            PLRDefaults::applicationSupportDirectory();
        else
            QDir().mkpath(folder);
    }
    // A folder (or a FIFO, a device) with the lock file's name is no lock anybody holds, and
    // none can be made there: never waited for as another start's.
    const platform::files::Kind kind = platform::files::kindOf(m_path);
    if (kind == platform::files::Kind::Directory || kind == platform::files::Kind::Other) {
        m_error = QStringLiteral("No lock file can be made in %1: something other than a file is in the place of %2.")
                      .arg(folder, m_path);
        return Outcome::Failed;
    }
    const std::optional<Holder> before = holder();
    if (m_file.tryLock(0)) {
        if (before)
            PLR_LOG_WARN(QStringLiteral("Took over the store lock %1 from process %2, which no longer holds it")
                             .arg(m_path)
                             .arg(before->pid));
        return Outcome::Taken;
    }
    switch (m_file.error()) {
    case QLockFile::LockFailedError:
        if (!before && removeUnreadableLeftover() && m_file.tryLock(0)) {
            PLR_LOG_WARN(QStringLiteral("Took over the store lock %1, left unreadable").arg(m_path));
            return Outcome::Taken;
        }
        return Outcome::HeldByAnother;
    case QLockFile::PermissionError:
        m_error = QStringLiteral("No lock file can be made in %1 (permission denied).").arg(folder);
        return Outcome::Failed;
    default:
        m_error = QStringLiteral("No lock file can be made in %1.").arg(folder);
        return Outcome::Failed;
    }
}

void PLRStoreLock::unlock()
{
    m_file.unlock();
}

std::optional<PLRStoreLock::Holder> PLRStoreLock::holder() const
{
    qint64 pid = 0;
    QString hostName;
    QString appName;
    if (!m_file.getLockInfo(&pid, &hostName, &appName) || pid <= 0)
        return std::nullopt;
    Holder holder;
    holder.pid = pid;
    holder.hostName = hostName;
    holder.onThisMachine = hostName.isEmpty() || hostName == QSysInfo::machineHostName();
    return holder;
}

bool PLRStoreLock::removeUnreadableLeftover()
{
    const QFileInfo info(m_path);
    if (!info.exists() || info.isSymLink())
        return false;
    if (qAbs(info.lastModified().msecsTo(QDateTime::currentDateTime())) < kUnreadableLeftoverAgeMs)
        return false;
    // The holder of a lock keeps it locked (flock) while it runs; a file that can be locked
    // here is held by nobody.
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    if (!free)
        return false;
    return m_file.removeStaleLockFile();
}
