#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

// Runs work on the main thread after a delay. The post view's timings (closing the new-post
// phase, zoom to fit, the onboarding hints) go through the shared scheduler so that tests can
// put a hand-advanced one in its place.
class PLRDelayScheduler {
public:
    virtual ~PLRDelayScheduler() = default;
    // Runs the task after the delay unless the context is gone by then.
    virtual void schedule(double seconds, QObject* context, std::function<void()> task) = 0;

    static PLRDelayScheduler& shared();
    // Replaces the shared scheduler; null restores the real one.
    static void setShared(std::unique_ptr<PLRDelayScheduler> scheduler);
};

// The real scheduler: the main event loop's timers.
class PLRMainQueueScheduler final : public PLRDelayScheduler {
public:
    void schedule(double seconds, QObject* context, std::function<void()> task) override;
};

// A scheduler whose time moves only when advanced; due tasks run in the order of their due
// times (then of scheduling), tasks scheduled while advancing included when due.
class PLRManualScheduler final : public PLRDelayScheduler {
public:
    void schedule(double seconds, QObject* context, std::function<void()> task) override;
    void advance(double seconds);
    double now() const { return m_now; }
    // Tasks still waiting (their contexts may be gone).
    size_t pendingCount() const { return m_tasks.size(); }

private:
    struct Entry {
        double due = 0.0;
        quint64 order = 0;
        QPointer<QObject> context;
        bool hadContext = false;
        std::function<void()> task;
    };
    std::vector<Entry> m_tasks;
    double m_now = 0.0;
    quint64 m_order = 0;
};
