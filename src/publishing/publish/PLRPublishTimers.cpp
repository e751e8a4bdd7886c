#include "publishing/publish/PLRPublishTimers.h"

#include "platform/Resets.h"

namespace {

PLRPublishTimers::Scheduler& scheduler()
{
    static PLRPublishTimers::Scheduler shared;
    static const bool joined = platform::resets::add([] { shared = nullptr; });
    (void)joined;
    return shared;
}

} // namespace

platform::Cancellable PLRPublishTimers::after(double seconds, QObject* context, std::function<void()> task)
{
    if (scheduler())
        return scheduler()(seconds, context, std::move(task));
    return platform::dispatchAfter(seconds, context, std::move(task));
}

void PLRPublishTimers::setScheduler(Scheduler replacement)
{
    scheduler() = std::move(replacement);
}
