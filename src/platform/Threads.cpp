#include "platform/Threads.h"

#include <QCoreApplication>
#include <QThread>

namespace platform {

void assertMainThread(const char* where)
{
    if (!QCoreApplication::instance() || isMainThread())
        return;
    qFatal("%s: called off the main thread (thread %p)", where, static_cast<void*>(QThread::currentThread()));
}

} // namespace platform
