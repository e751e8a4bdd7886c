#include "platform/Modules.h"

#include "platform/Log.h"
#include "platform/Resets.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QLibrary>

#include <mutex>

namespace {

struct State {
    std::mutex mutex;
    QHash<QString, QLibrary*> byName;   // found in the usual folders; kept loaded for the run
    QHash<QString, QLibrary*> byPath;   // every module loaded, by its file
    QHash<QString, QString> failed;     // why a module file did not load, by its path
    QSet<QString> told;                 // the failures already logged
    QStringList foldersForTesting;
};

State& state()
{
    // Loaded modules stay in the process to its end, so their record does too: it is never
    // destroyed, and code still running in a module while the process exits finds it whole.
    static State& loaded = *new State;
    static const bool joined = platform::resets::add([] {
        std::lock_guard lock(loaded.mutex);
        // A module once loaded stays in the process; failures are tried and told again.
        loaded.foldersForTesting.clear();
        loaded.failed.clear();
        loaded.told.clear();
    });
    (void)joined;
    return loaded;
}

QStringList foldersLocked(const State& loaded)
{
    if (!loaded.foldersForTesting.isEmpty())
        return loaded.foldersForTesting;
    QStringList folders;
    if (QCoreApplication::instance())
        folders.append(QCoreApplication::applicationDirPath());
    if (const QString tree = platform::modules::buildTreeFolder(); !tree.isEmpty())
        folders.append(tree);
    return folders;
}

QString pathIn(const QStringList& folders, const QString& fileName)
{
    for (const QString& folder : folders) {
        const QString path = folder + QLatin1Char('/') + fileName;
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

} // namespace

namespace platform::modules {

QStringList searchFolders()
{
    State& loaded = state();
    std::lock_guard lock(loaded.mutex);
    return foldersLocked(loaded);
}

QString buildTreeFolder()
{
#if defined(PELLORA_BUILD_TREE) && defined(PELLORA_MODULE_BUILD_DIR)
    if (!QCoreApplication::instance())
        return QString();
    const QString tree = QFileInfo(QStringLiteral(PELLORA_BUILD_TREE)).canonicalFilePath();
    const QString running = QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath();
    if (!tree.isEmpty() && (running == tree || running.startsWith(tree + QLatin1Char('/'))))
        return QStringLiteral(PELLORA_MODULE_BUILD_DIR);
#endif
    return QString();
}

QString pathOf(const QString& fileName)
{
    return pathIn(searchFolders(), fileName);
}

void* resolve(const QString& fileName, const char* symbol, QString* error)
{
    State& loaded = state();
    std::lock_guard lock(loaded.mutex);
    const auto fail = [&loaded, error](const QString& failure) -> void* {
        if (!loaded.told.contains(failure)) {
            loaded.told.insert(failure);
            PLR_LOG_ERROR(QStringLiteral("Unavailable: %1").arg(failure));
        }
        if (error)
            *error = failure;
        return nullptr;
    };
    QLibrary* library = loaded.foldersForTesting.isEmpty() ? loaded.byName.value(fileName) : nullptr;
    if (!library) {
        const QStringList folders = foldersLocked(loaded);
        const QString path = pathIn(folders, fileName);
        if (path.isEmpty())
            return fail(QStringLiteral("the module %1 is in none of %2").arg(fileName, folders.join(QStringLiteral(", "))));
        library = loaded.byPath.value(path);
        if (!library) {
            if (const auto known = loaded.failed.constFind(path); known != loaded.failed.constEnd())
                return fail(*known);
            auto* candidate = new QLibrary(path);
            if (!candidate->load()) {
                const QString failure = QStringLiteral("the module %1 did not load: %2").arg(path, candidate->errorString());
                delete candidate;
                loaded.failed.insert(path, failure);
                return fail(failure);
            }
            PLR_LOG_INFO(QStringLiteral("Loaded the module %1").arg(path));
            library = candidate;
            loaded.byPath.insert(path, library);
        }
        if (loaded.foldersForTesting.isEmpty())
            loaded.byName.insert(fileName, library);
    }
    void* address = reinterpret_cast<void*>(library->resolve(symbol));
    if (!address)
        return fail(QStringLiteral("the module %1 lacks %2").arg(library->fileName(), QLatin1String(symbol)));
    return address;
}

void setSearchFoldersForTesting(const QStringList& folders)
{
    State& loaded = state();
    std::lock_guard lock(loaded.mutex);
    loaded.foldersForTesting = folders;
}

} // namespace platform::modules
