#include "store/persistance-store/source/PLRSourceDirectory.h"

#include "store/persistance-store/source/PLRSourceDirectoryPrivate.h"
#include "store/persistance-store/PLRFileUtilities.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Plist.h"

void PLRSourceDirectory::addDelegate(PLRSourceDirectoryDelegate* delegate)
{
    QMutexLocker lock(&m_mutex);
    m_delegates.add(delegate);
}

void PLRSourceDirectory::removeDelegate(PLRSourceDirectoryDelegate* delegate)
{
    {
        QMutexLocker lock(&m_mutex);
        m_delegates.remove(delegate);
    }
    // Calls run on the main thread, which checks the list before each one. Elsewhere, wait
    // until a call that may already have started has returned.
    if (!platform::isMainThread())
        QMutexLocker wait(&m_deliveryMutex);
}

std::vector<PLRSourceDirectoryDelegate*> PLRSourceDirectory::liveDelegates()
{
    QMutexLocker lock(&m_mutex);
    return m_delegates.live();
}

void PLRSourceDirectory::notifyDelegates(std::function<void(PLRSourceDirectoryDelegate*)> call)
{
    if (m_stopping)
        return;
    // Queued on this object, which lives on the main thread: dropped when it is destroyed,
    // delivered in the order posted.
    QMetaObject::invokeMethod(this, [this, call = std::move(call)] { deliverToDelegates(call); },
                              Qt::QueuedConnection);
}

void PLRSourceDirectory::deliverToDelegates(const std::function<void(PLRSourceDirectoryDelegate*)>& call)
{
    for (auto* delegate : liveDelegates()) {
        QMutexLocker delivering(&m_deliveryMutex);
        {
            // An earlier delegate may have removed this one.
            QMutexLocker lock(&m_mutex);
            if (!m_delegates.contains(delegate))
                continue;
        }
        call(delegate);
    }
}

void PLRSourceDirectory::setUIDirectoryWatchProgressCallback(
    std::function<void(const PLRSourceDirectoryProgressInfo&)> callback)
{
    PLRSourceDirectoryProgressInfo current;
    bool finished = false;
    {
        QMutexLocker lock(&m_progress->mutex);
        m_progress->callback = callback;
        current = m_progress->info();
        finished = current.loadDirectoryFinished && m_watching;
    }
    if (finished && callback)
        callback(current);
}

void PLRSourceDirectory::reportScanDone()
{
    {
        QMutexLocker lock(&m_progress->mutex);
        m_progress->scanDone = true;
    }
    m_progress->report();
}
