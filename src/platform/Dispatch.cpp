#include "platform/Dispatch.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

namespace platform {

bool isMainThread()
{
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void dispatchMain(Task task)
{
    auto* app = QCoreApplication::instance();
    if (!app) {
        PLR_LOG_ERROR(QStringLiteral("No application object: a main-queue task was dropped"));
        return;
    }
    QMetaObject::invokeMethod(app, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

void dispatchMainSync(const Task& task)
{
    auto* app = QCoreApplication::instance();
    if (!app || isMainThread()) {
        task();
        return;
    }
    QMetaObject::invokeMethod(app, [&task] { task(); }, Qt::BlockingQueuedConnection);
}

void dispatchGlobal(Task task)
{
    QThreadPool::globalInstance()->start([task = std::move(task)] { task(); });
}

Cancellable dispatchAfter(double seconds, QObject* context, Task task)
{
    auto flag = std::make_shared<std::atomic_bool>(false);
    QObject* receiver = context ? context : QCoreApplication::instance();
    const int ms = seconds <= 0 ? 0 : int(seconds * 1000.0 + 0.5);
    auto run = [flag, task = std::move(task)] {
        if (!flag->load())
            task();
    };
    // Precise timers: a coarse one (Qt's choice from 2 s up) may fire up to half a second early,
    // and "after the delay" then comes before it.
    if (receiver && receiver->thread() == QThread::currentThread())
        QTimer::singleShot(ms, Qt::PreciseTimer, receiver, run);
    else
        // Timers must be started on the receiver's thread.
        QMetaObject::invokeMethod(
            receiver, [receiver, ms, run] { QTimer::singleShot(ms, Qt::PreciseTimer, receiver, run); },
            Qt::QueuedConnection);
    return Cancellable(flag);
}

namespace {
thread_local const SerialQueue* tCurrentQueue = nullptr;
}

SerialQueue::SerialQueue(QString label) : m_label(std::move(label)), m_thread([this] { run(); }) {}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void SerialQueue::async(Task task)
{
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void SerialQueue::sync(const Task& task)
{
    if (isCurrent()) {
        task();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneCv;
    bool done = false;
    async([&] {
        task();
        std::lock_guard lock(doneMutex);
        done = true;
        doneCv.notify_all();
    });
    std::unique_lock lock(doneMutex);
    doneCv.wait(lock, [&] { return done; });
}

void SerialQueue::waitUntilIdle()
{
    if (isCurrent())
        return;
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_tasks.empty() && !m_busy; });
}

bool SerialQueue::isCurrent() const { return tCurrentQueue == this; }

void SerialQueue::run()
{
    tCurrentQueue = this;
    for (;;) {
        Task task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_tasks.empty()) {
                if (m_stopping)
                    return;
                continue;
            }
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
            m_busy = true;
        }
        try {
            task();
        } catch (const std::exception& e) {
            PLR_LOG_ERROR(QStringLiteral("Task on queue \"%1\" failed: %2").arg(m_label, QString::fromUtf8(e.what())));
        }
        {
            std::lock_guard lock(m_mutex);
            m_busy = false;
            if (m_tasks.empty())
                m_idle.notify_all();
        }
    }
}

OperationQueue::OperationQueue(int maxConcurrent) : m_pool(std::make_unique<QThreadPool>())
{
    m_pool->setMaxThreadCount(std::max(1, maxConcurrent));
}

OperationQueue::~OperationQueue() { m_pool->waitForDone(); }

void OperationQueue::addOperation(Task task)
{
    m_pool->start([task = std::move(task)] { task(); });
}

void OperationQueue::waitUntilAllOperationsAreFinished() { m_pool->waitForDone(); }

void OperationQueue::cancelPendingOperationsAndWait()
{
    m_pool->clear();
    m_pool->waitForDone();
}

int OperationQueue::maxConcurrentOperationCount() const { return m_pool->maxThreadCount(); }

} // namespace platform
