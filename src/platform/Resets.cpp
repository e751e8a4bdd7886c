#include "platform/Resets.h"

#include <QMutex>

#include <vector>

namespace platform::resets {

namespace {
struct Registry {
    QMutex mutex;
    std::vector<std::function<void()>> list;
};
Registry& registry()
{
    static Registry* r = new Registry();   // never destroyed: globals may join during static teardown
    return *r;
}
} // namespace

bool add(std::function<void()> reset)
{
    QMutexLocker lock(&registry().mutex);
    registry().list.push_back(std::move(reset));
    return true;
}

void run()
{
    std::vector<std::function<void()>> copy;
    {
        QMutexLocker lock(&registry().mutex);
        copy = registry().list;
    }
    for (auto it = copy.rbegin(); it != copy.rend(); ++it)
        (*it)();
}

} // namespace platform::resets
