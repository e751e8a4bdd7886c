#include "shell/PLRRelaunchHelper.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <thread>
#include <unistd.h>

namespace PLRRelaunchHelper {

namespace {
// A process that has ended but is not yet reaped by its parent counts as gone.
bool isRunning(long pid)
{
    if (::kill(pid_t(pid), 0) != 0 && errno != EPERM)
        return false;
    char path[64];
    std::snprintf(path, sizeof(path), "/proc/%ld/stat", pid);
    if (FILE* file = std::fopen(path, "r")) {
        char line[512] = {};
        const size_t read = std::fread(line, 1, sizeof(line) - 1, file);
        std::fclose(file);
        line[read] = 0;
        if (const char* close = std::strrchr(line, ')'); close && close[1] == ' ' && close[2] == 'Z')
            return false;
    }
    return true;
}
} // namespace

QStringList arguments(qint64 pid, double delaySeconds, const QString& program)
{
    return {QLatin1String(kOption), QString::number(pid), QString::number(std::max(0.0, delaySeconds), 'f', 3), program};
}

bool isInvocation(int argc, char** argv)
{
    return argc >= 2 && std::strcmp(argv[1], kOption) == 0;
}

int run(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "pellora: the relaunch helper takes a process id, a delay and a program\n");
        return 2;
    }
    char* end = nullptr;
    const long pid = std::strtol(argv[2], &end, 10);
    if (!end || *end || pid <= 0) {
        std::fprintf(stderr, "pellora: the relaunch helper got a bad process id\n");
        return 2;
    }
    const double delay = std::strtod(argv[3], &end);
    if (!end || *end || !(delay >= 0.0) || delay > 3600.0) {
        std::fprintf(stderr, "pellora: the relaunch helper got a bad delay\n");
        return 2;
    }
    const char* program = argv[4];
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    const auto seconds = [&start] { return std::chrono::duration<double>(clock::now() - start).count(); };
    // Until the old process has gone.
    while (isRunning(pid)) {
        if (seconds() > kMaximumWaitSeconds) {
            std::fprintf(stderr, "pellora: the old process %ld did not end; not relaunching\n", pid);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const double left = delay - seconds();
    if (left > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(left));
    ::execl(program, program, static_cast<char*>(nullptr));
    std::fprintf(stderr, "pellora: cannot start %s: %s\n", program, std::strerror(errno));
    return 1;
}

} // namespace PLRRelaunchHelper
