#include "platform/NotificationCenter.h"

#include <algorithm>

namespace platform {

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

ObserverToken NotificationCenter::addObserver(QObject* context, const QString& name, Handler handler,
                                              const QObject* sender)
{
    QMutexLocker lock(&m_mutex);
    const ObserverToken token = m_next++;
    m_entries.push_back(Entry{token, QPointer<QObject>(context), context != nullptr, name, sender,
                              std::move(handler)});
    return token;
}

void NotificationCenter::removeObserver(ObserverToken token)
{
    QMutexLocker lock(&m_mutex);
    std::erase_if(m_entries, [token](const Entry& e) { return e.token == token; });
}

void NotificationCenter::removeObserver(const QObject* context, const QString& name)
{
    QMutexLocker lock(&m_mutex);
    std::erase_if(m_entries, [&](const Entry& e) {
        return e.context.data() == context && (name.isEmpty() || e.name == name);
    });
}

void NotificationCenter::post(const QString& name, QObject* object, const QVariantMap& userInfo)
{
    post(Notification{name, object, userInfo});
}

void NotificationCenter::post(const Notification& notification)
{
    // Copy the matching handlers first so that an observer may add or remove observers
    // (or post again) while being told.
    std::vector<std::pair<ObserverToken, Handler>> targets;
    {
        QMutexLocker lock(&m_mutex);
        std::erase_if(m_entries, [](const Entry& e) { return e.hadContext && e.context.isNull(); });
        for (const Entry& e : m_entries) {
            if (e.name != notification.name)
                continue;
            if (e.sender && e.sender != notification.object)
                continue;
            targets.emplace_back(e.token, e.handler);
        }
    }
    for (auto& [token, handler] : targets) {
        bool stillRegistered = false;
        {
            QMutexLocker lock(&m_mutex);
            stillRegistered = std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry& e) {
                return e.token == token && (!e.hadContext || !e.context.isNull());
            });
        }
        if (stillRegistered)
            handler(notification);
    }
}

int NotificationCenter::observerCount(const QString& name) const
{
    QMutexLocker lock(&m_mutex);
    return int(std::count_if(m_entries.begin(), m_entries.end(), [&](const Entry& e) {
        return e.name == name && (!e.hadContext || !e.context.isNull());
    }));
}

} // namespace platform
