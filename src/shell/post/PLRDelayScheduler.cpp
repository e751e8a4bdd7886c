#include "shell/post/PLRDelayScheduler.h"
#include "platform/Resets.h"

#include "platform/Dispatch.h"

#include <algorithm>

namespace {
std::unique_ptr<PLRDelayScheduler>& sharedScheduler()
{
    static std::unique_ptr<PLRDelayScheduler> scheduler = std::make_unique<PLRMainQueueScheduler>();
    static const bool joined = platform::resets::add([] { scheduler = std::make_unique<PLRMainQueueScheduler>(); });
    (void)joined;
    return scheduler;
}
} // namespace

PLRDelayScheduler& PLRDelayScheduler::shared()
{
    return *sharedScheduler();
}

void PLRDelayScheduler::setShared(std::unique_ptr<PLRDelayScheduler> scheduler)
{
    sharedScheduler() = scheduler ? std::move(scheduler) : std::make_unique<PLRMainQueueScheduler>();
}

void PLRMainQueueScheduler::schedule(double seconds, QObject* context, std::function<void()> task)
{
    platform::dispatchAfter(seconds, context, std::move(task));
}

void PLRManualScheduler::schedule(double seconds, QObject* context, std::function<void()> task)
{
    m_tasks.push_back({m_now + std::max(0.0, seconds), m_order++, context, context != nullptr, std::move(task)});
}

void PLRManualScheduler::advance(double seconds)
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
        if (entry.hadContext && !entry.context)
            continue;
        entry.task();
    }
    m_now = target;
}
