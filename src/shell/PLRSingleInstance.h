#pragma once

#include <QString>
#include <QStringList>

class PLRStoreLock;

// One running instance for each data folder. A start takes the store's lock and runs; when
// another instance holds it, the start hands it the files and addresses it was given, waiting
// for as long as that instance runs, and ends; when it can do neither it says why and ends.
// Blocks; for a start before its event loop runs.
namespace PLRSingleInstance {

enum class Outcome {
    Run,          // `lock` is held: this process is the instance
    HandedOver,   // the running instance took the arguments
    CannotRun,    // `why` says what stands in the way (for the user and the log)
};

Outcome claim(PLRStoreLock& lock, const QString& serverName, const QStringList& arguments, QString* why,
              int pollMs = 250);

} // namespace PLRSingleInstance
