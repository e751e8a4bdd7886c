#include "platform/FirstFrame.h"

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Resets.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <utility>
#include <vector>

namespace platform::firstframe {

namespace {

struct Deferred {
    QPointer<QObject> context;
    bool hasContext = false;
    std::function<void()> work;
};

struct State {
    bool pending = false;
    std::vector<Deferred> queue;
    Cancellable fallback;   // on the shared clock
};

State& state()
{
    static State s;
    static const bool joined = platform::resets::add([] {
        s.fallback.cancel();
        s = State();
    });
    (void)joined;
    return s;
}

void runAll(std::vector<Deferred> queue)
{
    for (Deferred& entry : queue) {
        if (entry.hasContext && !entry.context)
            continue;
        if (entry.work)
            entry.work();
    }
}

// Ends the wait: what was kept runs on the next turn of the event loop, after the frame.
void release(bool byFallback)
{
    State& s = state();
    if (!s.pending)
        return;
    s.pending = false;
    s.fallback.cancel();
    if (byFallback)
        PLR_LOG_INFO(QStringLiteral("No first frame within %1 ms; the deferred start-up work runs now").arg(kFallbackMs));
    std::vector<Deferred> queue = std::exchange(s.queue, {});
    if (queue.empty())
        return;
    QTimer::singleShot(0, QCoreApplication::instance(), [queue = std::move(queue)]() mutable { runAll(std::move(queue)); });
}

} // namespace

void expect()
{
    State& s = state();
    if (s.pending || !QCoreApplication::instance())
        return;
    s.pending = true;
    s.fallback = Clock::shared().after(kFallbackMs / 1000.0, nullptr, [] { release(true); });
}

void painted()
{
    release(false);
}

bool isPending()
{
    return state().pending;
}

void afterFirstFrame(QObject* context, std::function<void()> work)
{
    if (!work)
        return;
    State& s = state();
    if (!s.pending) {
        work();
        return;
    }
    s.queue.push_back(Deferred{QPointer<QObject>(context), context != nullptr, std::move(work)});
}

} // namespace platform::firstframe
