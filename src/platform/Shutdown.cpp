#include "platform/Shutdown.h"

#include <QMutex>

#include <vector>

namespace platform::shutdown {

namespace {
struct Hooks {
    QMutex mutex;
    std::vector<std::function<void()>> list;
};
Hooks& hooks()
{
    static Hooks* h = new Hooks();   // never destroyed: hooks may be added during static teardown
    return *h;
}
} // namespace

void addHook(std::function<void()> hook)
{
    QMutexLocker lock(&hooks().mutex);
    hooks().list.push_back(std::move(hook));
}

void run()
{
    std::vector<std::function<void()>> copy;
    {
        QMutexLocker lock(&hooks().mutex);
        copy = hooks().list;
    }
    for (auto it = copy.rbegin(); it != copy.rend(); ++it)
        (*it)();
}

} // namespace platform::shutdown
