#pragma once

#include <functional>

// Work that must run before the process ends, while everything it uses is still alive:
// dropping the session (which stops photo-folder threads), waiting for queued writes.
// The application runs the hooks when its event loop has ended; tests after each test.
namespace platform::shutdown {

// Hooks run newest first; each must be safe to run more than once.
void addHook(std::function<void()> hook);
void run();

} // namespace platform::shutdown
