#include "store/migrators/PLRMigrator.h"
#include "platform/Resets.h"

#include "store/migrators/versions/PLRMigratorVersion_1_0_1.h"
#include "platform/Dispatch.h"
#include "store/persistance-store/PLRFileUtilities.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Plist.h"
#include "store/session/PLRDefaults.h"

#include <QFileInfo>
#include <QVersionNumber>

#include <algorithm>

namespace {

struct Run {
    PLRMigrator::Steps steps;
    size_t next = 0;
    PLRMigrator::Completion completion;
};

std::unique_ptr<Run>& currentRun()
{
    static std::unique_ptr<Run> run;
    static const bool joined = platform::resets::add([] { run.reset(); });
    (void)joined;
    return run;
}

std::function<void(PLRMigratorVersion*)>& visualsHandler()
{
    static std::function<void(PLRMigratorVersion*)> handler;
    static const bool joined = platform::resets::add([] { handler = nullptr; });
    (void)joined;
    return handler;
}

void finish(bool success)
{
    std::unique_ptr<Run> run = std::move(currentRun());
    if (!run)
        return;
    // A progress window may still show a step: let the steps go from the event loop.
    for (auto& step : run->steps)
        step.release()->deleteLater();
    if (run->completion)
        run->completion(success);
}

void runNext()
{
    Run* run = currentRun().get();
    if (!run)
        return;
    if (run->next >= run->steps.size()) {
        finish(true);
        return;
    }
    PLRMigratorVersion* step = run->steps[run->next].get();
    PLR_LOG_INFO(QStringLiteral("Store migration to %1").arg(step->version()));
    PLRMigrator::presentVisualsForVersion(step);
    auto called = std::make_shared<bool>(false);
    step->perform([step, called](bool success) {
        if (*called)
            return;
        *called = true;
        platform::dispatchMain([step, success] {
            Run* current = currentRun().get();
            if (!current || current->next >= current->steps.size()
                || current->steps[current->next].get() != step)
                return;
            if (!success) {
                PLR_LOG_ERROR(QStringLiteral("Store migration to %1 failed").arg(step->version()));
                finish(false);
                return;
            }
            if (!PLRMigrator::setStoredVersion(step->version())) {
                finish(false);
                return;
            }
            ++current->next;
            runNext();
        });
    });
}

} // namespace

int PLRMigrator::compareVersions(const QString& a, const QString& b)
{
    const int order = QVersionNumber::compare(QVersionNumber::fromString(a), QVersionNumber::fromString(b));
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

QString PLRMigrator::storeInfoPath()
{
    return PLRDefaults::applicationSupportDirectory() + QLatin1Char('/') + QLatin1String(kPLRStoreInfoFileName);
}

QString PLRMigrator::storedVersion()
{
    const QString path = storeInfoPath();
    if (platform::files::kindOf(path) == platform::files::Kind::Missing)
        return {};
    bool ok = false;
    platform::Error error;
    const QVariantMap info = platform::plist::readDictionary(path, &ok, &error);
    if (!ok) {
        // Kept aside rather than written over when the steps record the version again.
        const QString aside = plr::fileutil::setAside(path);
        PLR_LOG_ERROR(QStringLiteral("The store version cannot be read: %1; kept as %2")
                          .arg(error.toString(), aside.isEmpty() ? QStringLiteral("(not moved)") : aside));
        return {};
    }
    return info.value(QLatin1String(kPLRStoreInfoKeyVersion)).toString();
}

bool PLRMigrator::setStoredVersion(const QString& version)
{
    platform::Error error;
    if (!platform::plist::writeFile(storeInfoPath(), QVariantMap{{QLatin1String(kPLRStoreInfoKeyVersion), version}},
                                    &error)) {
        PLR_LOG_ERROR(QStringLiteral("The store version cannot be written: %1").arg(error.toString()));
        return false;
    }
    return true;
}

PLRMigrator::Steps PLRMigrator::allSteps()
{
    Steps steps;
    steps.push_back(std::make_unique<PLRMigratorVersion_1_0_1>());
    return steps;
}

bool PLRMigrator::isRunning()
{
    return currentRun() != nullptr;
}

void PLRMigrator::runMigratorIfNeeded(Completion completion)
{
    runMigratorIfNeeded(std::move(completion), allSteps());
}

void PLRMigrator::runMigratorIfNeeded(Completion completion, Steps steps)
{
    if (isRunning()) {
        PLR_LOG_WARN(QStringLiteral("The store migrator is already running"));
        if (completion)
            completion(false);
        return;
    }
    const QString stored = storedVersion();
    std::stable_sort(steps.begin(), steps.end(), [](const auto& a, const auto& b) {
        return compareVersions(a->version(), b->version()) < 0;
    });
    steps.erase(std::remove_if(steps.begin(), steps.end(),
                               [&stored](const auto& step) {
                                   return !stored.isEmpty() && compareVersions(step->version(), stored) <= 0;
                               }),
                steps.end());
    if (steps.empty()) {
        if (completion)
            completion(true);
        return;
    }
    auto run = std::make_unique<Run>();
    run->steps = std::move(steps);
    run->completion = std::move(completion);
    currentRun() = std::move(run);
    platform::dispatchMain([] { runNext(); });
}

void PLRMigrator::setPresentVisualsHandler(std::function<void(PLRMigratorVersion*)> handler)
{
    visualsHandler() = std::move(handler);
}

void PLRMigrator::presentVisualsForVersion(PLRMigratorVersion* version)
{
    if (visualsHandler())
        visualsHandler()(version);
}
