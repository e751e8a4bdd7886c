#pragma once

#include "platform/Dispatch.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <memory>
#include <vector>

namespace platform {

// The one source of time for timed behaviour: the periodic save, the post view's and the
// publishing screens' delays, the folder's "still being written" window. Tests put a
// ManualClock in its place and step time instead of waiting.
class Clock {
public:
    virtual ~Clock() = default;
    // Seconds on a monotonic scale (the origin means nothing; differences do).
    virtual double now() const = 0;
    // The wall-clock time (UTC).
    virtual QDateTime wallTime() const = 0;
    // Runs the task on the main thread after the delay, unless cancelled or the context was
    // destroyed first (a null context: the task runs regardless).
    virtual Cancellable after(double seconds, QObject* context, Task task) = 0;

    static Clock& shared();
    // Replaces the shared clock; null puts the system clock back (so does the reset between
    // tests).
    static void setShared(std::unique_ptr<Clock> clock);
};

// The system's clocks and the main event loop's timers.
class SystemClock final : public Clock {
public:
    double now() const override;
    QDateTime wallTime() const override;
    Cancellable after(double seconds, QObject* context, Task task) override;
};

// A clock whose time moves only when advanced. Due tasks run in the order of their due times
// (then of scheduling), tasks scheduled while advancing included when due. Its wall time starts
// at the real wall time when made and moves with it.
class ManualClock final : public Clock {
public:
    ManualClock();
    double now() const override { return m_now; }
    QDateTime wallTime() const override { return m_wallOrigin.addMSecs(qint64(m_now * 1000.0 + 0.5)); }
    Cancellable after(double seconds, QObject* context, Task task) override;

    void advance(double seconds);
    // Tasks still waiting (cancelled ones and those whose context is gone included).
    size_t pendingCount() const { return m_tasks.size(); }
    // The delays of the waiting tasks that will still run, soonest first.
    std::vector<double> waiting() const;

    // Installs a fresh manual clock as the shared one and returns it.
    static ManualClock& install();

private:
    struct Entry {
        double due = 0.0;
        quint64 order = 0;
        QPointer<QObject> context;
        bool hadContext = false;
        Cancellable handle;
        Task task;
    };
    std::vector<Entry> m_tasks;
    double m_now = 0.0;
    quint64 m_order = 0;
    QDateTime m_wallOrigin;
};

} // namespace platform
