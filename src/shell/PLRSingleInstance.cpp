#include "shell/PLRSingleInstance.h"

#include "platform/Log.h"
#include "shell/PLRInstanceChannel.h"
#include "store/persistance-store/PLRStoreLock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

namespace {

// How long a lock file may name nobody while it is held before the start gives up on it.
constexpr qint64 kUnreadableLockGiveUpMs = 10000;

} // namespace

PLRSingleInstance::Outcome PLRSingleInstance::claim(PLRStoreLock& lock, const QString& serverName,
                                                    const QStringList& arguments, QString* why, int pollMs)
{
    const auto cannotRun = [why](const QString& reason) {
        if (why)
            *why = reason;
        return Outcome::CannotRun;
    };
    const QString lockPath = QDir::toNativeSeparators(lock.path());
    QElapsedTimer unreadable;
    qint64 announcedPid = 0;
    for (;;) {
        switch (lock.tryLock()) {
        case PLRStoreLock::Outcome::Taken:
            return Outcome::Run;
        case PLRStoreLock::Outcome::Failed:
            return cannotRun(QStringLiteral("Pellora cannot lock its data folder, so it cannot make sure that no other "
                                            "copy of it writes there at the same time. %1")
                                 .arg(lock.errorString()));
        case PLRStoreLock::Outcome::HeldByAnother:
            break;
        }
        const std::optional<PLRStoreLock::Holder> holder = lock.holder();
        if (!holder) {
            // Being written by a start at this moment; one that stays unreadable while it is
            // held cannot be waited for.
            if (!unreadable.isValid())
                unreadable.start();
            else if (unreadable.hasExpired(kUnreadableLockGiveUpMs))
                return cannotRun(QStringLiteral("The lock file %1 of Pellora's data folder is held but does not say "
                                                "by whom. If Pellora is not running, remove that file and open "
                                                "Pellora again.")
                                     .arg(lockPath));
            QThread::msleep(ulong(pollMs));
            continue;
        }
        unreadable.invalidate();
        if (!holder->onThisMachine)
            return cannotRun(QStringLiteral("Pellora is open with the same data folder on the computer \"%1\". Quit it "
                                            "there and open Pellora again. If it no longer runs there, remove the "
                                            "file %2.")
                                 .arg(holder->hostName, lockPath));
        if (holder->pid != announcedPid) {
            announcedPid = holder->pid;
            PLR_LOG_INFO(QStringLiteral("Pellora already runs (process %1); handing it %2 item(s)")
                             .arg(holder->pid)
                             .arg(arguments.size()));
        }
        // It runs for as long as its lock is held (a lock whose process is gone is taken here).
        const auto stillHeld = [&lock] { return lock.tryLock() == PLRStoreLock::Outcome::HeldByAnother; };
        switch (PLRInstanceChannel::handOver(serverName, arguments, stillHeld, pollMs)) {
        case PLRInstanceChannel::HandOver::Taken:
            if (lock.isLocked())
                lock.unlock();
            return Outcome::HandedOver;
        case PLRInstanceChannel::HandOver::Gone:
            // It ended: the store is free (or already ours), or another start took it meanwhile.
            continue;
        case PLRInstanceChannel::HandOver::Refused:
            return cannotRun(QStringLiteral("Pellora is already open (process %1) but did not take what was given "
                                            "to this start. Nothing was opened; open it from the running Pellora.")
                                 .arg(holder->pid));
        }
    }
}
