#include "platform/Paths.h"

#include "platform/Bundle.h"
#include "platform/Log.h"

#include <QDir>
#include <QStandardPaths>

namespace platform::paths {

namespace {
QString xdg(const char* variable, const QString& fallbackUnderHome)
{
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return value;
    return QDir::homePath() + QLatin1Char('/') + fallbackUnderHome;
}
} // namespace

QString homeOverride() { return qEnvironmentVariable("PELLORA_HOME"); }

QString applicationSupport()
{
    const QString home = homeOverride();
    if (!home.isEmpty())
        return QDir(home).filePath(QStringLiteral("data"));
    return xdg("XDG_DATA_HOME", QStringLiteral(".local/share")) + QLatin1Char('/') + bundle::targetName();
}

QString configDirectory()
{
    const QString home = homeOverride();
    if (!home.isEmpty())
        return QDir(home).filePath(QStringLiteral("config"));
    return xdg("XDG_CONFIG_HOME", QStringLiteral(".config")) + QLatin1Char('/') + bundle::targetName();
}

QString logDirectory()
{
    const QString home = homeOverride();
    if (!home.isEmpty())
        return QDir(home).filePath(QStringLiteral("logs"));
    return xdg("XDG_STATE_HOME", QStringLiteral(".local/state")) + QLatin1Char('/') + bundle::targetName()
        + QStringLiteral("/logs");
}

bool ensureDirectory(const QString& path)
{
    if (QDir(path).exists())
        return true;
    if (QDir().mkpath(path))
        return true;
    PLR_LOG_ERROR(QStringLiteral("Could not create the folder %1").arg(path));
    return false;
}

} // namespace platform::paths
