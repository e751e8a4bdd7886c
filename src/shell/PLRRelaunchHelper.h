#pragma once

#include <QStringList>

// The relaunch helper: the application's own executable started detached with
//   --relaunch-helper <pid> <delay seconds> <program>
// It waits until the process <pid> has ended and the delay has passed, then starts <program>.
// No shell is involved: the program path is never read as a command.
namespace PLRRelaunchHelper {

inline constexpr const char* kOption = "--relaunch-helper";
// The longest the helper waits for the old process to end.
inline constexpr double kMaximumWaitSeconds = 120.0;

QStringList arguments(qint64 pid, double delaySeconds, const QString& program);
bool isInvocation(int argc, char** argv);
// Runs the helper (from main, before any application object exists); returns the exit code when
// it does not start the program.
int run(int argc, char** argv);

} // namespace PLRRelaunchHelper
