#pragma once

#include "store/migrators/PLRMigratorVersion.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

// The store's format version written by this program; backups carry it too.
inline constexpr const char* kPLRStoreCurrentVersion = "1.0.1";
inline constexpr const char* kPLRStoreInfoFileName = "store.plist";
inline constexpr const char* kPLRStoreInfoKeyVersion = "version";

// Brings the on-disk store up to the current version at start-up, one step after another.
class PLRMigrator {
public:
    using Completion = std::function<void(bool success)>;
    using Steps = std::vector<std::unique_ptr<PLRMigratorVersion>>;

    // Runs the steps newer than the stored store version, in version order. With no step due
    // the completion runs before this returns; otherwise this returns at once and the
    // completion runs on the main thread after the last step (false when a step failed; the
    // steps after it are not run).
    static void runMigratorIfNeeded(Completion completion);
    // The same with the given steps (the program's own are allSteps()).
    static void runMigratorIfNeeded(Completion completion, Steps steps);
    static Steps allSteps();
    static bool isRunning();

    // The store version recorded in the application folder; empty when none is recorded.
    static QString storedVersion();
    static bool setStoredVersion(const QString& version);
    static QString storeInfoPath();

    // Shows a step's progress window; registered by the application shell. Each step is shown
    // before it runs.
    static void setPresentVisualsHandler(std::function<void(PLRMigratorVersion* version)> handler);
    static void presentVisualsForVersion(PLRMigratorVersion* version);

    // -1, 0, 1 as a is older than, the same as or newer than b (dotted numbers).
    static int compareVersions(const QString& a, const QString& b);
};
