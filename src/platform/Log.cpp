#include "platform/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/daily_file_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/sinks/syslog_sink.h>
#include <spdlog/spdlog.h>

#include <cstdio>
#include <map>

namespace platform::log {

namespace {

spdlog::level::level_enum toSpd(Level level)
{
    switch (level) {
    case Level::Trace: return spdlog::level::trace;
    case Level::Debug: return spdlog::level::debug;
    case Level::Info: return spdlog::level::info;
    case Level::Warn: return spdlog::level::warn;
    case Level::Error: return spdlog::level::err;
    case Level::Critical: return spdlog::level::critical;
    }
    return spdlog::level::info;
}

struct State {
    QMutex mutex;
    // Held while captures run, so that a removed capture is never called afterwards
    // (recursive: a capture may log).
    QRecursiveMutex captureMutex;
    std::shared_ptr<spdlog::logger> logger;
    std::map<int, CaptureHandler> captures;
    int nextCapture = 1;
    QString fileDirectory;
    Options options;
};

State& state()
{
    static State* s = new State();   // outlives every static destructor that may still log
    return *s;
}

std::shared_ptr<spdlog::logger> makeLogger(const Options& options)
{
    std::vector<spdlog::sink_ptr> sinks;
    if (options.terminal)
        sinks.push_back(std::make_shared<spdlog::sinks::stderr_color_sink_mt>());
    if (options.syslog)
        sinks.push_back(std::make_shared<spdlog::sinks::syslog_sink_mt>("pellora", 0, LOG_USER, true));
    if (!options.fileDirectory.isEmpty()) {
        if (QDir().mkpath(options.fileDirectory)) {
            try {
                const std::string base = QDir(options.fileDirectory).filePath(QStringLiteral("pellora.log")).toStdString();
                // Each line reaches the file as it is written (the stream is line-buffered): a
                // crash, a kill or a power cut a moment later loses none of the lines before it.
                spdlog::file_event_handlers handlers;
                handlers.after_open = [](const spdlog::filename_t&, std::FILE* stream) {
                    if (stream)
                        std::setvbuf(stream, nullptr, _IOLBF, 16 * 1024);
                };
                sinks.push_back(std::make_shared<spdlog::sinks::daily_file_sink_mt>(base, 0, 0, false, 7, handlers));
            } catch (const spdlog::spdlog_ex& e) {
                fprintf(stderr, "pellora: cannot open the log file in %s: %s\n",
                        qPrintable(options.fileDirectory), e.what());
            }
        } else {
            fprintf(stderr, "pellora: cannot create the log folder %s\n", qPrintable(options.fileDirectory));
        }
    }
    auto logger = std::make_shared<spdlog::logger>("pellora", sinks.begin(), sinks.end());
    logger->set_pattern("%Y-%m-%d %H:%M:%S.%e [%l] %s:%# %! | %v");
    logger->set_level(toSpd(options.level));
    logger->flush_on(spdlog::level::warn);
    return logger;
}

} // namespace

void setup(const Options& options)
{
    auto logger = makeLogger(options);
    QMutexLocker lock(&state().mutex);
    state().logger = logger;
    state().fileDirectory = options.fileDirectory;
    state().options = options;
}

int clearLogFiles()
{
    QMutexLocker lock(&state().mutex);
    const QString dir = state().fileDirectory;
    if (dir.isEmpty())
        return 0;
    // The file sink lets go of the live file first; a new one opens afterwards, so what is
    // written from now on lands in a file that exists.
    if (state().logger)
        state().logger->flush();
    Options withoutFile = state().options;
    withoutFile.fileDirectory.clear();
    state().logger = makeLogger(withoutFile);
    int removed = 0;
    for (const QFileInfo& info : QDir(dir).entryInfoList({QStringLiteral("pellora*.log")}, QDir::Files))
        removed += QFile::remove(info.absoluteFilePath()) ? 1 : 0;
    state().logger = makeLogger(state().options);
    return removed;
}

void write(Level level, const char* file, int line, const char* function, const QString& message)
{
    std::shared_ptr<spdlog::logger> logger;
    bool anyCapture = false;
    {
        QMutexLocker lock(&state().mutex);
        if (!state().logger) {
            Options defaults;
            defaults.level = qEnvironmentVariableIsSet("PELLORA_LOG_QUIET") ? Level::Warn : Level::Info;
            state().logger = makeLogger(defaults);
        }
        logger = state().logger;
        anyCapture = !state().captures.empty();
    }
    const QByteArray shortFile = QFileInfo(QString::fromUtf8(file)).fileName().toUtf8();
    logger->log(spdlog::source_loc{shortFile.constData(), line, function}, toSpd(level), "{}",
                message.toStdString());
    if (!anyCapture)
        return;
    QMutexLocker captureLock(&state().captureMutex);
    std::vector<CaptureHandler> captures;
    {
        QMutexLocker lock(&state().mutex);
        for (auto& [id, handler] : state().captures)
            captures.push_back(handler);
    }
    for (auto& handler : captures)
        handler(level, message);
}

int addCapture(CaptureHandler handler)
{
    QMutexLocker lock(&state().mutex);
    const int id = state().nextCapture++;
    state().captures.emplace(id, std::move(handler));
    return id;
}

void removeCapture(int id)
{
    // Waits for captures running on other threads, so the handler is not called once this returns.
    QMutexLocker captureLock(&state().captureMutex);
    QMutexLocker lock(&state().mutex);
    state().captures.erase(id);
}

QStringList logFilePaths()
{
    QString dir;
    {
        QMutexLocker lock(&state().mutex);
        dir = state().fileDirectory;
        if (state().logger)
            state().logger->flush();
    }
    if (dir.isEmpty())
        return {};
    QStringList result;
    for (const QFileInfo& info : QDir(dir).entryInfoList({QStringLiteral("pellora*.log")}, QDir::Files, QDir::Time))
        result << info.absoluteFilePath();
    return result;
}

} // namespace platform::log
