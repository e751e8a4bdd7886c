#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class QThreadPool;

namespace platform {

using Task = std::function<void()>;

// Which thread runs what, and who owns each queue: platform/Threads.h.

// Runs the task on the main thread's event loop, later.
void dispatchMain(Task task);
// Runs the task on the main thread and waits for it (runs at once when already there).
void dispatchMainSync(const Task& task);
bool isMainThread();
// Runs the task on a shared background pool.
void dispatchGlobal(Task task);

// A handle on a delayed call; cancel() stops it from running if it has not run yet.
class Cancellable {
public:
    Cancellable() = default;
    explicit Cancellable(std::shared_ptr<std::atomic_bool> flag) : m_cancelled(std::move(flag)) {}
    void cancel() const { if (m_cancelled) m_cancelled->store(true); }
    bool isCancelled() const { return m_cancelled && m_cancelled->load(); }
    bool isValid() const { return bool(m_cancelled); }
private:
    std::shared_ptr<std::atomic_bool> m_cancelled;
};

// Runs the task on the main thread after the delay, unless cancelled or the context died. The
// main loop's timer behind the system clock: timed behaviour goes through platform::Clock
// (platform/Clock.h), which tests can step.
Cancellable dispatchAfter(double seconds, QObject* context, Task task);

// A labelled serial queue: tasks run one after another, in order, on one thread of its own.
class SerialQueue {
public:
    explicit SerialQueue(QString label);
    ~SerialQueue();   // finishes the queued tasks, then stops
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const QString& label() const { return m_label; }
    void async(Task task);
    // Runs the task on the queue and waits for it (runs at once when called from the queue).
    void sync(const Task& task);
    // Waits until every task queued so far has run.
    void waitUntilIdle();
    bool isCurrent() const;

private:
    void run();
    QString m_label;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Task> m_tasks;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_thread;
};

// An operation queue with a maximum number of concurrent operations.
class OperationQueue {
public:
    explicit OperationQueue(int maxConcurrent);
    ~OperationQueue();
    void addOperation(Task task);
    void waitUntilAllOperationsAreFinished();
    // Drops the operations not started yet and waits for the running ones.
    void cancelPendingOperationsAndWait();
    int maxConcurrentOperationCount() const;
private:
    std::unique_ptr<QThreadPool> m_pool;
};

} // namespace platform
