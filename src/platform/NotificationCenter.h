#pragma once

#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <vector>

namespace platform {

// One broadcast: a name, the object that posted it (may be null) and free user info.
struct Notification {
    QString name;
    QObject* object = nullptr;
    QVariantMap userInfo;
};

using ObserverToken = quint64;

// Named broadcasts delivered synchronously on the posting thread.
// An observer lives as long as its context object; when the context is destroyed the
// observer is dropped. A null sender filter receives the name from every sender.
class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    ObserverToken addObserver(QObject* context, const QString& name, Handler handler,
                              const QObject* sender = nullptr);
    void removeObserver(ObserverToken token);
    // Removes every observer registered with this context (optionally only for one name).
    void removeObserver(const QObject* context, const QString& name = QString());

    void post(const QString& name, QObject* object = nullptr, const QVariantMap& userInfo = {});
    void post(const Notification& notification);

    int observerCount(const QString& name) const;

private:
    struct Entry {
        ObserverToken token;
        QPointer<QObject> context;
        bool hadContext;
        QString name;
        const QObject* sender;
        Handler handler;
    };
    mutable QRecursiveMutex m_mutex;
    std::vector<Entry> m_entries;
    ObserverToken m_next = 1;
};

} // namespace platform
