#include "platform/Resources.h"

#include "platform/Log.h"

#include <QFile>

static void initPelloraResources() { Q_INIT_RESOURCE(pellora); }

namespace platform::resources {

void initialize()
{
    static const bool done = [] {
        initPelloraResources();
        return true;
    }();
    (void)done;
}

QByteArray data(const QString& name)
{
    initialize();
    QFile file(QStringLiteral(":/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        PLR_LOG_WARN(QStringLiteral("Missing resource %1").arg(name));
        return {};
    }
    return file.readAll();
}

} // namespace platform::resources
