#include "platform/Paths.h"

#include "platform/Bundle.h"
#include "platform/Log.h"
#include "platform/Resets.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <optional>

namespace platform::paths {

namespace {

struct UserCacheHome {
    bool changed = false;
    std::optional<QByteArray> value;   // the user's own XDG_CACHE_HOME, nullopt when unset
};

UserCacheHome& userCacheHome()
{
    static UserCacheHome home;
    static const bool joined = resets::add([] {
        if (!home.changed)
            return;
        if (home.value)
            qputenv("XDG_CACHE_HOME", *home.value);
        else
            qunsetenv("XDG_CACHE_HOME");
        home = UserCacheHome();
    });
    (void)joined;
    return home;
}

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

QString cacheDirectory()
{
    const QString home = homeOverride();
    if (!home.isEmpty())
        return QDir(home).filePath(QStringLiteral("cache"));
    // The user's own cache folder, also once XDG_CACHE_HOME points at this one.
    const UserCacheHome& user = userCacheHome();
    if (user.changed) {
        const QString value = user.value ? QString::fromLocal8Bit(*user.value) : QString();
        const QString base = !value.isEmpty() && QDir::isAbsolutePath(value) ? value : QDir::homePath() + QStringLiteral("/.cache");
        return base + QLatin1Char('/') + bundle::targetName();
    }
    return xdg("XDG_CACHE_HOME", QStringLiteral(".cache")) + QLatin1Char('/') + bundle::targetName();
}

void keepLibraryCachesInCacheDirectory()
{
    UserCacheHome& user = userCacheHome();
    if (user.changed)
        return;
    const QString folder = cacheDirectory();
    user.value = qEnvironmentVariableIsSet("XDG_CACHE_HOME") ? std::optional<QByteArray>(qgetenv("XDG_CACHE_HOME"))
                                                             : std::nullopt;
    user.changed = true;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(folder));
}

QProcessEnvironment userEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const UserCacheHome& user = userCacheHome();
    if (user.changed) {
        if (user.value)
            environment.insert(QStringLiteral("XDG_CACHE_HOME"), QString::fromLocal8Bit(*user.value));
        else
            environment.remove(QStringLiteral("XDG_CACHE_HOME"));
    }
    return environment;
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
