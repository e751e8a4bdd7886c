#pragma once

// What the benchmarks share besides their photos: the process's memory as the kernel counts it,
// processor time, the machine's load, medians and ratios, and running the event loop until
// something is done.
//
// Every benchmark measures an anchor (a plain program or tool doing the same job) in the same
// run, alternating with Pellora's runs where it can, and prints the ratio of the two: the
// machine is shared, and a ratio of paired runs holds when the load changes.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QEventLoop>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

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

// Processor time of the calling thread in milliseconds (what the main thread itself spent,
// without the time it waited for a core on a busy machine).
inline double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Processor time of the whole process (every thread) in milliseconds.
inline double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// The machine's load averages over 1, 5 and 15 minutes, as `uptime` prints them.
inline QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("unknown");
    const QList<QByteArray> fields = file.readAll().split(' ');
    return fields.size() >= 3 ? fields[0] + ", " + fields[1] + ", " + fields[2] : QByteArrayLiteral("unknown");
}

inline void printLoad(const char* when)
{
    std::printf("load average %s: %s (%d cores)\n", when, loadAverage().constData(), QThread::idealThreadCount());
    std::fflush(stdout);
}

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

inline double largest(const std::vector<double>& values)
{
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

inline double smallest(const std::vector<double>& values)
{
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

// The ratios of paired runs (ours[i] / anchor[i]); pairs with an anchor of 0 are left out.
inline std::vector<double> pairedRatios(const std::vector<double>& ours, const std::vector<double>& anchor)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < std::min(ours.size(), anchor.size()); ++i)
        if (anchor[i] > 0)
            ratios.push_back(ours[i] / anchor[i]);
    return ratios;
}

// "median 1.23x (1.10-1.40 over 5 pairs)" for the paired ratios.
inline void printPairedRatio(const char* label, const std::vector<double>& ours, const std::vector<double>& anchor,
                             const char* goal = nullptr)
{
    const std::vector<double> ratios = pairedRatios(ours, anchor);
    std::printf("%s: %.2fx, median of %zu paired runs (%.2f-%.2f)%s%s\n", label, median(ratios), ratios.size(),
                smallest(ratios), largest(ratios), goal ? "; goal " : "", goal ? goal : "");
    std::fflush(stdout);
}

// Runs the event loop until the predicate holds, sleeping while there is nothing to do (a
// 20 ms tick wakes it to look again): a wait never spins a core. Returns the predicate.
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
