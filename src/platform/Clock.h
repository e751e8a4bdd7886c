#pragma once

#include "platform/Dispatch.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace platform {

// The one source of time for timed behaviour: every delayed call (the periodic save and the
// save after changes, the post view's, the publishing screens' and the services' delays, the
// folder's rescans), every time-out and interval (the service probe's checks, the socket ping,
// the analytics tick, the update schedule, the answer deadline, the upload time-outs, the chat
// watchdog), every "how long since" (the folder's "still being written" window, the chat's
// notification interval, the session length) and the animations' media time. Tests put a
// ManualClock in its place and step time instead of waiting. What stays on Qt timers, and why,
// is in platform/Threads.h.
//
// shared() may be read from any thread; after() runs its task on the main thread.
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
    // True when time moves only when a test advances it (nothing runs by itself).
    virtual bool isManual() const { return false; }

    static Clock& shared();
    // Replaces the shared clock; null puts the system clock back (so does the reset between
    // tests). A replaced clock is kept alive, so a background reader that still holds it
    // reads a valid object.
    static void setShared(std::unique_ptr<Clock> clock);
};

// The system's clocks and the main event loop's timers.
class SystemClock final : public Clock {
public:
    double now() const override;
    QDateTime wallTime() const override;
    Cancellable after(double seconds, QObject* context, Task task) override;
};

// A clock whose time moves only when advanced. It starts at the system clock's readings, so
// what was measured before it was put in place stays in order. Due tasks run in the order of
// their due times (then of scheduling), tasks scheduled while advancing included when due.
class ManualClock final : public Clock {
public:
    ManualClock();
    double now() const override { return m_origin + m_elapsed.load(); }
    QDateTime wallTime() const override;
    Cancellable after(double seconds, QObject* context, Task task) override;
    bool isManual() const override { return true; }

    // Moves time forward, running the tasks that fall due on the way, each at its due time.
    void advance(double seconds);
    // Moves time to the next waiting task's due time and runs what is due then; false when no
    // task is waiting.
    bool advanceToNext();
    // Tasks still waiting (cancelled ones and those whose context is gone included).
    size_t pendingCount() const;
    // The delays of the waiting tasks that will still run, soonest first; with a filter, only
    // those whose context (null when none) it accepts.
    std::vector<double> waiting(const std::function<bool(const QObject*)>& accept = {}) const;

    // Installs a fresh manual clock as the shared one and returns it.
    static ManualClock& install();
    // The shared clock when it is a manual one, else null.
    static ManualClock* current();

private:
    struct Entry {
        double due = 0.0;
        quint64 order = 0;
        QPointer<QObject> context;
        bool hadContext = false;
        Cancellable handle;
        Task task;
    };
    bool live(const Entry& entry) const { return !(entry.hadContext && !entry.context) && !entry.handle.isCancelled(); }

    mutable std::mutex m_mutex;
    std::vector<Entry> m_tasks;
    // Time is kept as the seconds since the clock was made (so that due times and delays
    // compare exactly); now() adds the system clock's reading at that moment.
    std::atomic<double> m_elapsed{0.0};
    quint64 m_order = 0;
    double m_origin = 0.0;
    QDateTime m_wallOrigin;
};

// A restartable timer on the shared clock, for timed behaviour that is started, moved and
// stopped (a time-out, a check interval): runs its task once `seconds` have passed since the
// last start(), and, when repeating, again every `seconds` until stopped. Restarting only moves
// the due time, so one clock task at most waits for it however often it is restarted. The task
// runs on the main thread, never after stop(), the timer's end or the context's; it may start,
// stop or destroy the timer. Main thread only.
class ClockTimer {
public:
    ClockTimer(QObject* context, Task task);
    ~ClockTimer() { stop(); }
    ClockTimer(const ClockTimer&) = delete;
    ClockTimer& operator=(const ClockTimer&) = delete;

    void setRepeating(bool repeating) { m_repeating = repeating; }
    bool isRepeating() const { return m_repeating; }
    // Starts or restarts the timer: due `seconds` from now.
    void start(double seconds);
    // Restarts with the last interval.
    void start() { start(m_interval); }
    void stop();
    bool isActive() const { return m_active; }
    double interval() const { return m_interval; }
    void setInterval(double seconds) { m_interval = seconds; }

private:
    void arm(Clock& clock, double delay);
    void fire();

    QPointer<QObject> m_context;
    bool m_hadContext = false;
    Task m_task;
    double m_interval = 0.0;
    bool m_repeating = false;
    bool m_active = false;
    double m_due = 0.0;
    // The clock task waiting for this timer (none once it ran or was cancelled), on which clock
    // and when it is due.
    Cancellable m_pending;
    Clock* m_pendingClock = nullptr;
    double m_pendingDue = 0.0;
};

} // namespace platform
