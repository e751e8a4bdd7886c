#pragma once

#include <QString>

#include <functional>

// Logging over spdlog. Every line carries its level, file, function and line.
// Messages are QStrings, usually built with QStringLiteral(...).arg(...).

namespace platform::log {

enum class Level { Trace, Debug, Info, Warn, Error, Critical };

struct Options {
    bool terminal = true;
    bool syslog = false;
    QString fileDirectory;    // empty: no file; else a daily rolling file, 7 kept, each line
                              // on disk as soon as it is written
    Level level = Level::Info;
};

// Sets up the process's loggers; safe to call again (replaces the sinks).
void setup(const Options& options);

void write(Level level, const char* file, int line, const char* function, const QString& message);

// A capture of every line written while it is alive (for tests and diagnostics).
using CaptureHandler = std::function<void(Level, const QString& message)>;
int addCapture(CaptureHandler handler);
void removeCapture(int id);

// The daily log files, newest first.
QStringList logFilePaths();

// Removes every log file and reopens the file sink, so logging goes on into a fresh file.
// Answers how many files were removed.
int clearLogFiles();

} // namespace platform::log

#define PLR_LOG_AT(level, msg) ::platform::log::write(level, __FILE__, __LINE__, __func__, (msg))
#define PLR_LOG_TRACE(msg) PLR_LOG_AT(::platform::log::Level::Trace, msg)
#define PLR_LOG_DEBUG(msg) PLR_LOG_AT(::platform::log::Level::Debug, msg)
#define PLR_LOG_INFO(msg) PLR_LOG_AT(::platform::log::Level::Info, msg)
#define PLR_LOG_WARN(msg) PLR_LOG_AT(::platform::log::Level::Warn, msg)
#define PLR_LOG_ERROR(msg) PLR_LOG_AT(::platform::log::Level::Error, msg)
