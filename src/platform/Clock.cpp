#include "platform/Clock.h"

#include "platform/Resets.h"

#include <QElapsedTimer>

#include <algorithm>

namespace platform {

namespace {

struct SharedClock {
    std::mutex mutex;
    std::atomic<Clock*> current{nullptr};
    // Every clock ever installed stays alive: a background thread may still be reading one
    // that a test has just replaced. Tests install a few per run; the application one.
    std::vector<std::unique_ptr<Clock>> kept;

    void install(std::unique_ptr<Clock> clock)
    {
        std::lock_guard lock(mutex);
        current.store(clock.get());
        kept.push_back(std::move(clock));
    }
};

SharedClock& sharedClock()
{
    static SharedClock shared;
    static const bool joined = [] {
        shared.install(std::make_unique<SystemClock>());
        return resets::add([] { shared.install(std::make_unique<SystemClock>()); });
    }();
    (void)joined;
    return shared;
}

} // namespace

Clock& Clock::shared()
{
    return *sharedClock().current.load();
}

void Clock::setShared(std::unique_ptr<Clock> clock)
{
    sharedClock().install(clock ? std::move(clock) : std::make_unique<SystemClock>());
}

double SystemClock::now() const
{
    static const QElapsedTimer origin = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return double(origin.nsecsElapsed()) / 1e9;
}

QDateTime SystemClock::wallTime() const
{
    return QDateTime::currentDateTimeUtc();
}

Cancellable SystemClock::after(double seconds, QObject* context, Task task)
{
    return dispatchAfter(seconds, context, std::move(task));
}

ManualClock::ManualClock()
    : m_origin(SystemClock().now()), m_wallOrigin(QDateTime::currentDateTimeUtc())
{
}

QDateTime ManualClock::wallTime() const
{
    return m_wallOrigin.addMSecs(qint64(m_elapsed.load() * 1000.0 + 0.5));
}

Cancellable ManualClock::after(double seconds, QObject* context, Task task)
{
    Cancellable handle(std::make_shared<std::atomic_bool>(false));
    std::lock_guard lock(m_mutex);
    m_tasks.push_back({m_elapsed.load() + std::max(0.0, seconds), m_order++, context, context != nullptr, handle,
                       std::move(task)});
    return handle;
}

void ManualClock::advance(double seconds)
{
    const double target = m_elapsed.load() + std::max(0.0, seconds);
    for (;;) {
        Entry entry;
        {
            std::lock_guard lock(m_mutex);
            auto next = std::min_element(m_tasks.begin(), m_tasks.end(), [](const Entry& a, const Entry& b) {
                return a.due < b.due || (a.due == b.due && a.order < b.order);
            });
            if (next == m_tasks.end() || next->due > target + 1e-9)
                break;
            entry = std::move(*next);
            m_tasks.erase(next);
            m_elapsed.store(std::max(m_elapsed.load(), entry.due));
        }
        if (live(entry))
            entry.task();
    }
    m_elapsed.store(std::max(m_elapsed.load(), target));
}

bool ManualClock::advanceToNext()
{
    double due = 0.0;
    {
        std::lock_guard lock(m_mutex);
        bool found = false;
        for (const Entry& entry : m_tasks) {
            if (live(entry) && (!found || entry.due < due)) {
                due = entry.due;
                found = true;
            }
        }
        // Drop what will never run, so that it is not found again.
        m_tasks.erase(std::remove_if(m_tasks.begin(), m_tasks.end(), [this](const Entry& e) { return !live(e); }),
                      m_tasks.end());
        if (!found)
            return false;
    }
    advance(std::max(0.0, due - m_elapsed.load()));
    return true;
}

size_t ManualClock::pendingCount() const
{
    std::lock_guard lock(m_mutex);
    return m_tasks.size();
}

std::vector<double> ManualClock::waiting(const std::function<bool(const QObject*)>& accept) const
{
    std::vector<std::pair<double, quint64>> live;
    {
        std::lock_guard lock(m_mutex);
        for (const Entry& entry : m_tasks)
            if (this->live(entry) && (!accept || accept(entry.context.data())))
                live.push_back({entry.due, entry.order});
    }
    std::sort(live.begin(), live.end());
    std::vector<double> delays;
    const double now = m_elapsed.load();
    for (const auto& entry : live)
        delays.push_back(entry.first - now);
    return delays;
}

ManualClock& ManualClock::install()
{
    auto clock = std::make_unique<ManualClock>();
    ManualClock& installed = *clock;
    Clock::setShared(std::move(clock));
    return installed;
}

ManualClock* ManualClock::current()
{
    return dynamic_cast<ManualClock*>(&Clock::shared());
}

ClockTimer::ClockTimer(QObject* context, Task task)
    : m_context(context), m_hadContext(context != nullptr), m_task(std::move(task))
{
}

void ClockTimer::start(double seconds)
{
    Clock& clock = Clock::shared();
    m_interval = std::max(0.0, seconds);
    m_active = true;
    m_due = clock.now() + m_interval;
    // A waiting task on this clock that falls due no later can stay: on running it finds the
    // due time moved and waits for the rest.
    if (m_pending.isValid() && !m_pending.isCancelled() && m_pendingClock == &clock && m_pendingDue <= m_due)
        return;
    arm(clock, m_interval);
}

void ClockTimer::stop()
{
    m_active = false;
    m_pending.cancel();
    m_pending = Cancellable();
    m_pendingClock = nullptr;
}

void ClockTimer::arm(Clock& clock, double delay)
{
    m_pending.cancel();
    if (m_hadContext && !m_context) {
        m_active = false;
        m_pending = Cancellable();
        m_pendingClock = nullptr;
        return;
    }
    m_pendingClock = &clock;
    m_pendingDue = clock.now() + delay;
    m_pending = clock.after(delay, m_context.data(), [this] { fire(); });
}

void ClockTimer::fire()
{
    m_pending = Cancellable();
    m_pendingClock = nullptr;
    if (!m_active)
        return;
    Clock& clock = Clock::shared();
    // The system clock's timers may run a little early; there a millisecond counts as due.
    const double left = m_due - clock.now();
    if (left > (clock.isManual() ? 1e-9 : 0.001)) {
        arm(clock, left);
        return;
    }
    if (m_repeating) {
        m_due = clock.now() + m_interval;
        arm(clock, m_interval);
    } else {
        m_active = false;
    }
    // A copy: the task may destroy this timer.
    const Task task = m_task;
    task();
}

} // namespace platform
