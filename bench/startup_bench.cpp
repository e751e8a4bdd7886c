// Start-up time of the application beside a bare Qt widgets program, measured in the same run.
//
// For each run the application starts in a fresh home (first launch: the store is migrated) and
// then once more in the same home (a later launch); the clock runs from the process start to the
// "TIME LOG (ADFL)" line and to the main window's first painted frame. The bare program opens one
// window and reports its first painted frame. Run it where windows can be shown, e.g.
//   xvfb-run -a build/bench/bench/startup_bench [runs]
// PELLORA_APP names the application to start (default: the build's src/pellora).

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr auto kBareOption = "--bare-window";
constexpr auto kBareFrameLine = "bare window: first frame painted";

// The bare program: one window, and a line at its first painted frame.
int runBareWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare"));
    window.resize(1024, 700);
    struct Watcher : QObject {
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint && !done) {
                done = true;
                std::fprintf(stderr, "%s\n", kBareFrameLine);
                std::fflush(stderr);
                QTimer::singleShot(0, qApp, &QCoreApplication::quit);
            }
            return false;
        }
        bool done = false;
    } watcher;
    window.installEventFilter(&watcher);
    window.show();
    return app.exec();
}

struct Timing {
    std::optional<double> adfl;    // ms to the "TIME LOG (ADFL)" line
    std::optional<double> frame;   // ms to the first painted frame
};

// Starts the program and reads its error output until the frame line (or the time-out).
Timing measure(const QString& program, const QStringList& arguments, const QString& home, const char* frameLine)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!home.isEmpty()) {
        environment.insert(QStringLiteral("PELLORA_HOME"), home);
        environment.insert(QStringLiteral("PELLORA_KEYCHAIN"), QStringLiteral("memory"));
        environment.insert(QStringLiteral("env"), QStringLiteral("dev"));
        environment.remove(QStringLiteral("PELLORA_LOG_QUIET"));
    }
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    Timing timing;
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(program));
        return timing;
    }
    QByteArray pending;
    while (!timing.frame && clock.elapsed() < 30000) {
        if (!process.waitForReadyRead(int(std::max<qint64>(1, 30000 - clock.elapsed()))))
            break;
        const double now = double(clock.nsecsElapsed()) / 1e6;
        pending += process.readAll();
        int end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            if (!timing.adfl && line.contains("TIME LOG (ADFL):"))
                timing.adfl = now;
            if (!timing.frame && line.contains(frameLine))
                timing.frame = now;
        }
    }
    // The application quits on SIGTERM (saving first); the bare program has quit by itself.
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(3000);
    }
    return timing;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && QByteArray(argv[1]) == kBareOption)
        return runBareWindow(argc, argv);

    QCoreApplication app(argc, argv);
    const int runs = argc >= 2 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;
    QString program = qEnvironmentVariable("PELLORA_APP");
    if (program.isEmpty())
        program = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../src/pellora"));
    if (!QFileInfo(program).isExecutable()) {
        std::fprintf(stderr, "No application at %s (set PELLORA_APP)\n", qPrintable(program));
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        std::fprintf(stderr, "No display: run under xvfb-run.\n");

    std::vector<double> bare, firstAdfl, firstFrame, laterAdfl, laterFrame;
    for (int run = 0; run < runs; ++run) {
        const Timing b = measure(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kBareOption)}, QString(), kBareFrameLine);
        QTemporaryDir home;
        const Timing first = measure(program, {}, home.path(), "Main window shown: first frame painted");
        const Timing later = measure(program, {}, home.path(), "Main window shown: first frame painted");
        if (!b.frame || !first.frame || !first.adfl || !later.frame || !later.adfl) {
            std::fprintf(stderr, "run %d: a program did not report its frame\n", run + 1);
            continue;
        }
        bare.push_back(*b.frame);
        firstAdfl.push_back(*first.adfl);
        firstFrame.push_back(*first.frame);
        laterAdfl.push_back(*later.adfl);
        laterFrame.push_back(*later.frame);
        std::printf("run %d: bare %.1f ms | first launch ADFL %.1f ms, frame %.1f ms | later launch ADFL %.1f ms, frame %.1f ms\n",
                    run + 1, *b.frame, *first.adfl, *first.frame, *later.adfl, *later.frame);
    }
    if (bare.empty())
        return 1;
    const double bareMedian = median(bare);
    std::printf("\nmedians over %zu runs (process start to ...)\n", bare.size());
    std::printf("  bare Qt window, first frame        %8.1f ms\n", bareMedian);
    std::printf("  Pellora first launch, ADFL line    %8.1f ms\n", median(firstAdfl));
    std::printf("  Pellora first launch, first frame  %8.1f ms  (%.2fx the bare window)\n", median(firstFrame),
                median(firstFrame) / bareMedian);
    std::printf("  Pellora later launch, ADFL line    %8.1f ms\n", median(laterAdfl));
    std::printf("  Pellora later launch, first frame  %8.1f ms  (%.2fx the bare window)\n", median(laterFrame),
                median(laterFrame) / bareMedian);
    return 0;
}
