#pragma once

#include "platform/Dispatch.h"

#include <QObject>

#include <functional>

// The delayed steps of the publishing screens (the publish panel's 0.5 s, 1.0 s and 2.0 s
// steps, the set-up pages' polling): main-queue calls after a fixed time. Tests replace the
// scheduler (through platform::HookGuard) to run the steps by hand instead of waiting.
namespace PLRPublishTimers {

using Scheduler = std::function<platform::Cancellable(double seconds, QObject* context, std::function<void()> task)>;

// Runs the task on the main thread after the delay, unless cancelled or the context died.
platform::Cancellable after(double seconds, QObject* context, std::function<void()> task);

// Null puts back the main-queue timers.
void setScheduler(Scheduler scheduler);

} // namespace PLRPublishTimers
