#include "platform/Storyboard.h"
#include "platform/Resets.h"

#include "platform/Log.h"

#include <QHash>
#include <QMutex>

namespace platform {

namespace {
struct Registry {
    QMutex mutex;
    QHash<QString, Storyboard::Factory> factories;
};
Registry& registry()
{
    static Registry r;
    // Scenes are registered by the libraries' install(); a test registers what it uses.
    static const bool joined = platform::resets::add([] { QMutexLocker lock(&r.mutex); r.factories.clear(); });
    (void)joined;
    return r;
}
QString keyFor(const QString& storyboard, const QString& identifier) { return storyboard + QLatin1Char('/') + identifier; }
} // namespace

void Storyboard::registerScene(const QString& storyboard, const QString& identifier, Factory factory)
{
    QMutexLocker lock(&registry().mutex);
    registry().factories.insert(keyFor(storyboard, identifier), std::move(factory));
}

QObject* Storyboard::instantiate(const QString& storyboard, const QString& identifier)
{
    Factory factory;
    {
        QMutexLocker lock(&registry().mutex);
        factory = registry().factories.value(keyFor(storyboard, identifier));
    }
    if (!factory) {
        PLR_LOG_ERROR(QStringLiteral("No scene \"%1\" in storyboard \"%2\"").arg(identifier, storyboard));
        return nullptr;
    }
    return factory();
}

bool Storyboard::hasScene(const QString& storyboard, const QString& identifier)
{
    QMutexLocker lock(&registry().mutex);
    return registry().factories.contains(keyFor(storyboard, identifier));
}

} // namespace platform
