#pragma once

#include <QLockFile>
#include <QString>

#include <optional>

// The lock by which one running application holds the store: a lock file in the data folder,
// taken at start before anything reads or writes the store and kept until the process ends.
// A lock whose process no longer runs (a crash, a kill) is taken over; the lock of a process
// that still runs is never taken, however long it has been held. Any thread; blocks only for
// the file operations.
class PLRStoreLock {
public:
    static constexpr const char* kLockFileName = ".pellora.lock";

    enum class Outcome {
        Taken,           // this process holds the store now
        HeldByAnother,   // a process that still runs holds it (see holder())
        Failed,          // no lock can be made in the data folder (see errorString())
    };

    // Who holds the lock, as its lock file says.
    struct Holder {
        qint64 pid = 0;
        QString hostName;   // the machine it runs on; empty when the file does not say
        bool onThisMachine = true;
    };

    explicit PLRStoreLock(QString path = defaultPath());
    ~PLRStoreLock();   // releases the lock when held
    PLRStoreLock(const PLRStoreLock&) = delete;
    PLRStoreLock& operator=(const PLRStoreLock&) = delete;

    // "<data folder>/.pellora.lock". The data folder is made when missing (a first start).
    static QString defaultPath();

    Outcome tryLock();
    bool isLocked() const { return m_file.isLocked(); }
    void unlock();
    QString path() const { return m_path; }

    // The holder named in the lock file; none when it cannot be read (released meanwhile, or
    // left half-written).
    std::optional<Holder> holder() const;
    QString errorString() const { return m_error; }

private:
    // A lock file that names nobody readable, left long enough that no start can still be
    // writing it, and that no process holds open: removed.
    bool removeUnreadableLeftover();

    QString m_path;
    mutable QLockFile m_file;
    QString m_error;
};
