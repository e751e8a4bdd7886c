#pragma once

#include <QObject>

#include <functional>

// Work that can wait until the main window's first frame is on the screen: the first network
// requests, the network-information back-end. The shell announces the frame it is about to
// show (expect) and reports it once painted (painted); meanwhile afterFirstFrame keeps the
// work and runs it, in the order given, on the main thread's event loop just after that frame.
// When no frame is announced (tests, tools, no main window yet) the work runs at once. A frame
// that does not come within kFallbackMs (a window shown minimised or on no screen) lets the
// work run anyway. Main thread only.
namespace platform::firstframe {

inline constexpr int kFallbackMs = 1000;

// A first frame is on its way: work waits for it from now on.
void expect();
// The frame was painted: the work kept so far runs next on the event loop.
void painted();
// True between expect() and the frame (or the fallback).
bool isPending();
// Runs `work` now when no frame is pending, else just after the frame; skipped when `context`
// (if given) is gone by then.
void afterFirstFrame(QObject* context, std::function<void()> work);

} // namespace platform::firstframe
