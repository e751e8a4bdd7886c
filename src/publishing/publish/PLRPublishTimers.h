#pragma once

#include "platform/Clock.h"

#include <QObject>

#include <functional>

// The delayed steps of the publishing screens (the publish panel's 0.5 s, 1.0 s and 2.0 s
// steps, the set-up pages' polling), on the shared clock.
namespace PLRPublishTimers {

// Runs the task on the main thread after the delay, unless cancelled or the context died.
inline platform::Cancellable after(double seconds, QObject* context, std::function<void()> task)
{
    return platform::Clock::shared().after(seconds, context, std::move(task));
}

} // namespace PLRPublishTimers
