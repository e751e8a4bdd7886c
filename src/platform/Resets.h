#pragma once

#include <functional>
#include <utility>

// Every global of the process (a singleton, a shared service, a static hook or factory) joins
// this registry with a function that puts it back as it was before anything touched it. The
// test main runs them all after each test, so no test sees what another one left behind; the
// application never runs them.
//
// Join where the global is defined, once:
//     static const bool joined = platform::resets::add([] { hook() = nullptr; });
// or, for a file-scope global, through a namespace-scope `platform::resets::Joined`.
namespace platform::resets {

// Adds a reset; returns true (so that it can initialise a static). Resets run newest first.
bool add(std::function<void()> reset);
// Runs every reset. A reset may add others (they run on the next call).
void run();

// Joins the registry from a namespace-scope object: `const platform::resets::Joined j{[] {...}};`
struct Joined {
    explicit Joined(std::function<void()> reset) { add(std::move(reset)); }
};

} // namespace platform::resets

namespace platform {

// Sets a hook for the life of the guard and then sets what it held at the start of the test
// (empty unless told), even when an ASSERT leaves the test early:
//     platform::HookGuard<Reachability::FlagsProvider> guard(&Reachability::setFlagsProvider, fake);
template <class Hook>
class HookGuard {
public:
    HookGuard(std::function<void(Hook)> set, Hook value, Hook restored = Hook())
        : m_set(std::move(set)), m_restored(std::move(restored))
    {
        m_set(std::move(value));
    }
    ~HookGuard() { m_set(std::move(m_restored)); }
    HookGuard(const HookGuard&) = delete;
    HookGuard& operator=(const HookGuard&) = delete;

private:
    std::function<void(Hook)> m_set;
    Hook m_restored;
};

// The same for a plain variable (a static slot the test can reach).
template <class T>
class ScopedValue {
public:
    ScopedValue(T& slot, T value) : m_slot(slot), m_saved(std::exchange(slot, std::move(value))) {}
    ~ScopedValue() { m_slot = std::move(m_saved); }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

private:
    T& m_slot;
    T m_saved;
};

} // namespace platform
