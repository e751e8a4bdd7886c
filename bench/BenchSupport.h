#pragma once

// What the benchmarks share besides their photos: the process's memory as the kernel counts it,
// and running the event loop until something is done.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QEventLoop>
#include <QFile>

#include <functional>

namespace bench_support {

// A field of /proc/self/status in KiB ("VmRSS:" resident now, "VmHWM:" the peak); -1 when unread.
inline qint64 statusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Starts the peak ("VmHWM:") again from the resident size now.
inline void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Runs the event loop until the predicate holds or the time-out passes; returns the predicate.
// Runs the event loop until the predicate holds, sleeping while there is nothing to do (a
// 20 ms tick wakes it to look again): a wait never spins a core.
inline bool waitUntil(const std::function<bool()>& predicate, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    QTimer tick;
    tick.start(20);
    while (!predicate()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace bench_support
