#include "platform/Clock.h"

#include "platform/Resets.h"

#include <QElapsedTimer>

#include <algorithm>
#include <atomic>

namespace platform {

namespace {

std::unique_ptr<Clock>& sharedClock()
{
    static std::unique_ptr<Clock> clock = std::make_unique<SystemClock>();
    static const bool joined = resets::add([] { clock = std::make_unique<SystemClock>(); });
    (void)joined;
    return clock;
}

} // namespace

Clock& Clock::shared()
{
    return *sharedClock();
}

void Clock::setShared(std::unique_ptr<Clock> clock)
{
    sharedClock() = clock ? std::move(clock) : std::make_unique<SystemClock>();
}

double SystemClock::now() const
{
    static QElapsedTimer origin = [] {
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

ManualClock::ManualClock() : m_wallOrigin(QDateTime::currentDateTimeUtc()) {}

Cancellable ManualClock::after(double seconds, QObject* context, Task task)
{
    Cancellable handle(std::make_shared<std::atomic_bool>(false));
    m_tasks.push_back({m_now + std::max(0.0, seconds), m_order++, context, context != nullptr, handle, std::move(task)});
    return handle;
}

void ManualClock::advance(double seconds)
{
    const double target = m_now + std::max(0.0, seconds);
    for (;;) {
        auto next = std::min_element(m_tasks.begin(), m_tasks.end(), [](const Entry& a, const Entry& b) {
            return a.due < b.due || (a.due == b.due && a.order < b.order);
        });
        if (next == m_tasks.end() || next->due > target + 1e-9)
            break;
        Entry entry = std::move(*next);
        m_tasks.erase(next);
        m_now = std::max(m_now, entry.due);
        if ((entry.hadContext && !entry.context) || entry.handle.isCancelled())
            continue;
        entry.task();
    }
    m_now = target;
}

std::vector<double> ManualClock::waiting() const
{
    std::vector<const Entry*> live;
    for (const Entry& entry : m_tasks)
        if (!(entry.hadContext && !entry.context) && !entry.handle.isCancelled())
            live.push_back(&entry);
    std::sort(live.begin(), live.end(), [](const Entry* a, const Entry* b) {
        return a->due < b->due || (a->due == b->due && a->order < b->order);
    });
    std::vector<double> delays;
    for (const Entry* entry : live)
        delays.push_back(entry->due - m_now);
    return delays;
}

ManualClock& ManualClock::install()
{
    auto clock = std::make_unique<ManualClock>();
    ManualClock& installed = *clock;
    Clock::setShared(std::move(clock));
    return installed;
}

} // namespace platform
