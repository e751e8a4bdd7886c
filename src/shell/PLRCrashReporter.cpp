#include "shell/PLRCrashReporter.h"
#include "platform/Resets.h"

#include "platform/Bundle.h"
#include "platform/Paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <csignal>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr auto kCrashHost = "crash-reports.quenfield.com";

PLRCrashReporter* gShared = nullptr;
const platform::resets::Joined gSharedReset{[] { gShared = nullptr; }};

// Everything the handler needs, prepared before any crash: it may not allocate.
char gReportPath[4096];
char gHeader[2048];
size_t gHeaderLength = 0;
bool gInstalled = false;
char gAlternateStack[64 * 1024];

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

void writeAll(int fd, const char* text, size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, text, length);
        if (written <= 0)
            return;
        text += written;
        length -= size_t(written);
    }
}

void writeText(int fd, const char* text)
{
    writeAll(fd, text, std::strlen(text));
}

void writeNumber(int fd, long value)
{
    char digits[24];
    int i = sizeof(digits);
    const bool negative = value < 0;
    unsigned long v = negative ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
        digits[--i] = char('0' + v % 10);
        v /= 10;
    } while (v && i > 1);
    if (negative)
        digits[--i] = '-';
    writeAll(fd, digits + i, sizeof(digits) - size_t(i));
}

const char* signalName(int signal)
{
    switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
    }
}

void crashHandler(int signal, siginfo_t* info, void*)
{
    const int fd = ::open(gReportPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        writeAll(fd, gHeader, gHeaderLength);
        writeText(fd, "Signal: ");
        writeText(fd, signalName(signal));
        writeText(fd, " (");
        writeNumber(fd, signal);
        writeText(fd, ")\nFault address: ");
        writeNumber(fd, info ? long(reinterpret_cast<intptr_t>(info->si_addr)) : 0);
        writeText(fd, "\nCrash time (s since 1970): ");
        writeNumber(fd, long(::time(nullptr)));
        writeText(fd, "\n\nCall stack:\n");
        void* frames[128];
        const int count = ::backtrace(frames, 128);
        ::backtrace_symbols_fd(frames, count, fd);
        ::close(fd);
    }
    // The handler was installed to run once: the signal now ends the process as it would have.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

} // namespace

QString PLRCrashReporter::dsnForBundleIdentifier(const QString& bundleIdentifier)
{
    if (bundleIdentifier == QLatin1String(platform::bundle::kReleaseIdentifier))
        return QStringLiteral("https://5d0c2a7e91f34b6a8c2e7d1f0b9a3c64:c47e19b2d05a4f83a6e1b7c9024d5f1e@%1/1121920")
            .arg(QLatin1String(kCrashHost));
    return QStringLiteral("https://a93f6e0d2b7c4185b0d4e2f7c6a1938b@%1/1237057").arg(QLatin1String(kCrashHost));
}

bool PLRCrashReporter::initWithDsn(const QString& dsn, platform::Error* error)
{
    const QUrl url(dsn, QUrl::StrictMode);
    static const QRegularExpression project(QStringLiteral("^/\\d+$"));
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.userName().isEmpty() || url.host().isEmpty()
        || !project.match(url.path()).hasMatch()) {
        if (error)
            *error = platform::Error::make(QLatin1String(kErrorDomain), 1,
                                           QStringLiteral("The crash-report endpoint \"%1\" is not valid.").arg(dsn));
        m_dsn = QUrl();
        return false;
    }
    m_dsn = url;
    return true;
}

PLRCrashReporter* PLRCrashReporter::sharedClient()
{
    return gShared;
}

void PLRCrashReporter::setSharedClient(PLRCrashReporter* client)
{
    gShared = client;
}

bool PLRCrashReporter::startCrashHandler(platform::Error* error, const QString& folder)
{
    if (!m_dsn.isValid()) {
        if (error)
            *error = platform::Error::make(QLatin1String(kErrorDomain), 2,
                                           QStringLiteral("The crash handler cannot start without an endpoint."));
        return false;
    }
    const QString directory = folder.isEmpty() ? platform::paths::logDirectory() : folder;
    if (!platform::paths::ensureDirectory(directory)) {
        if (error)
            *error = platform::Error::make(QLatin1String(kErrorDomain), 3,
                                           QStringLiteral("The crash report folder %1 cannot be made.").arg(directory));
        return false;
    }
    m_reportPath = QDir(directory).filePath(
        QStringLiteral("pellora-crash-%1-%2.log")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))
            .arg(::getpid()));
    const QByteArray path = QFile::encodeName(m_reportPath);
    if (size_t(path.size()) >= sizeof(gReportPath)) {
        if (error)
            *error = platform::Error::make(QLatin1String(kErrorDomain), 3, QStringLiteral("The crash report path is too long."));
        return false;
    }
    std::memcpy(gReportPath, path.constData(), size_t(path.size()) + 1);
    const QByteArray header = QStringLiteral("Pellora crash report\nBundle: %1\nVersion: %2 (%3)\nProcess: %4\n"
                                             "Started: %5\nReport endpoint: https://%6 project %7\n")
                                  .arg(platform::bundle::identifier(), platform::bundle::version(),
                                       platform::bundle::build())
                                  .arg(::getpid())
                                  .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate), m_dsn.host(),
                                       m_dsn.path().mid(1))
                                  .toUtf8()
                                  .left(int(sizeof(gHeader)) - 1);
    std::memcpy(gHeader, header.constData(), size_t(header.size()));
    gHeaderLength = size_t(header.size());

    // Loads the unwinder now: the first backtrace() call may allocate.
    void* warmUp[4];
    ::backtrace(warmUp, 4);
    if (!gInstalled) {
        stack_t stack {};
        stack.ss_sp = gAlternateStack;
        stack.ss_size = sizeof(gAlternateStack);
        ::sigaltstack(&stack, nullptr);
        struct sigaction action {};
        action.sa_sigaction = crashHandler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
        for (int signal : kSignals)
            ::sigaction(signal, &action, nullptr);
        gInstalled = true;
    }
    return true;
}
