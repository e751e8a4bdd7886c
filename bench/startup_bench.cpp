// Start-up time of the application beside a bare Qt widgets program, measured in the same run.
//
// Each run starts, one after another, each time right after a start of the bare program (one
// window, reporting its first painted frame), so that every launch is paired with a bare one
// made under the same load:
//   - a first launch, in a fresh home (the store is made and migrated);
//   - a later launch in that home (signed out);
//   - a later launch signed in, with one post on the home screen (the common case): a home
//     prepared once with a signed-in account holding one post, started as the user starts it
//     every day.
// The clock runs from the process start to the main window's first painted frame (and to the
// "TIME LOG (ADFL)" line). Each launch's time is divided by its own bare window's; the medians
// of those paired ratios are printed. Run it where windows can be shown, e.g.
//   xvfb-run -a build/bench/bench/startup_bench [runs=7]
// PELLORA_APP names the application to start (default: the build's src/pellora).

#include "BenchSupport.h"


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
constexpr auto kFrameLine = "Main window shown: first frame painted";

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

QProcessEnvironment environmentFor(const QString& home, const QString& keychain)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!home.isEmpty()) {
        environment.insert(QStringLiteral("PELLORA_HOME"), home);
        environment.insert(QStringLiteral("PELLORA_KEYCHAIN"), keychain);
        environment.insert(QStringLiteral("env"), QStringLiteral("dev"));
        environment.remove(QStringLiteral("PELLORA_LOG_QUIET"));
    }
    return environment;
}

// Starts the program and reads its error output until the frame line (or the time-out).
Timing measure(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
               const char* frameLine)
{
    QProcess process;
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

struct Road {
    const char* name;
    std::vector<double> bare, frame, adfl;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && QByteArray(argv[1]) == kBareOption)
        return runBareWindow(argc, argv);

    QCoreApplication app(argc, argv);
    const int runs = argc >= 2 ? std::max(1, QByteArray(argv[1]).toInt()) : 7;
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
    bench_support::printLoad("before");

    // The signed-in home: an account with one post, launched once already (its store is up to
    // date, as on every day after the first).
    QTemporaryDir signedInHome;
    {
        QProcess prepare;
        prepare.setProcessEnvironment(environmentFor(signedInHome.path(), QStringLiteral("file")));
        prepare.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A program of its own: this one stays as bare as the window it starts.
        prepare.start(QStringLiteral(PELLORA_STARTUP_PREPARE_PATH), {});
        if (!prepare.waitForFinished(60000) || prepare.exitCode() != 0) {
            std::fprintf(stderr, "the signed-in home could not be prepared\n");
            return 1;
        }
        measure(program, {}, environmentFor(signedInHome.path(), QStringLiteral("file")), kFrameLine);
    }

    const QProcessEnvironment bareEnvironment = environmentFor(QString(), QString());
    const QString self = QCoreApplication::applicationFilePath();
    Road first{"first launch", {}, {}, {}}, later{"later launch, signed out", {}, {}, {}},
        signedIn{"later launch, signed in with one post", {}, {}, {}};
    const auto pair = [&](Road& road, const QProcessEnvironment& environment) {
        const Timing bare = measure(self, {QString::fromLatin1(kBareOption)}, bareEnvironment, kBareFrameLine);
        const Timing ours = measure(program, {}, environment, kFrameLine);
        if (!bare.frame || !ours.frame || !ours.adfl)
            return false;
        road.bare.push_back(*bare.frame);
        road.frame.push_back(*ours.frame);
        road.adfl.push_back(*ours.adfl);
        return true;
    };
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir home;
        const QProcessEnvironment fresh = environmentFor(home.path(), QStringLiteral("memory"));
        const bool ok = pair(first, fresh) && pair(later, fresh)
            && pair(signedIn, environmentFor(signedInHome.path(), QStringLiteral("file")));
        if (!ok) {
            std::fprintf(stderr, "run %d: a program did not report its frame\n", run + 1);
            continue;
        }
        std::printf("run %d: first launch %.1f ms (bare %.1f) | later %.1f ms (bare %.1f) | signed in %.1f ms (bare %.1f)\n",
                    run + 1, first.frame.back(), first.bare.back(), later.frame.back(), later.bare.back(),
                    signedIn.frame.back(), signedIn.bare.back());
        std::fflush(stdout);
    }
    if (first.frame.empty())
        return 1;
    std::printf("\nmedians over %zu runs (process start to first frame)\n", first.frame.size());
    for (const Road* road : {&first, &later, &signedIn}) {
        std::printf("  %-40s %8.1f ms (ADFL line %.1f ms); its bare windows %.1f ms\n", road->name,
                    bench_support::median(road->frame), bench_support::median(road->adfl), bench_support::median(road->bare));
    }
    bench_support::printPairedRatio("first launch / bare window", first.frame, first.bare, "<= 2.0");
    bench_support::printPairedRatio("later launch signed out / bare window", later.frame, later.bare, "<= 1.5");
    bench_support::printPairedRatio("later launch signed in with one post / bare window", signedIn.frame, signedIn.bare,
                                    "<= 1.5");
    bench_support::printLoad("after");
    return 0;
}
