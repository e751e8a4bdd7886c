// Start-up time of the application beside the least Qt program that shows text, measured in the
// same run.
//
// The anchor is a main window with a menu bar, a label and a line edit, shown at the size of the
// application's main window, reporting its first painted frame. The application runs as it is
// installed: a copy of the executable with its modules in a folder of its own, once with the
// support chat's plugin beside it and once without. Each run starts, one after another, each
// launch right after a start of the anchor, so that every launch is paired with an anchor made
// under the same load (each process starts once the one before it, and everything it started,
// has ended and the machine has had a moment):
//   - a first launch, in a fresh home (the store is made and migrated);
//   - a later launch in that home (signed out);
//   - a later launch signed in, with one post on the home screen (the common case): a home
//     prepared once with a signed-in account holding one post, started as the user starts it
//     every day.
// The clock runs from the process start to the main window's first painted frame (and to the
// "TIME LOG (ADFL)" line). Each launch's time is divided by its own anchor's; the medians of
// those paired ratios are printed, with the plugin and without, and that of the two
// installations' launches of the same run (what the plugin costs). Run it where windows can be
// shown, e.g.
//   xvfb-run -a build/bench/bench/startup_bench [runs=7]
// PELLORA_APP names the application to start (default: the build's src/pellora); its modules and
// plugin are taken from its folder.

#include "BenchSupport.h"


#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QVBoxLayout>
#include <QWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include <signal.h>
#include <unistd.h>

namespace {

constexpr auto kAnchorOption = "--text-window";
constexpr auto kAnchorFrameLine = "text window: first frame painted";
constexpr auto kFrameLine = "Main window shown: first frame painted";
// The pause after every process has ended before the next one starts: launches one right after
// the other slow each other down on a shared machine (the scheduler weighs what this session just
// used), which would make a launch's time depend on what went before it.
constexpr unsigned long kSettleMs = 500;

// The anchor: a main window with a menu bar, a label and a line edit (the keyboard in it), the
// size of the application's main window, and a line at its first painted frame.
int runTextWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Text"));
    window.menuBar()->addMenu(QStringLiteral("&File"))->addAction(QStringLiteral("&Quit"), &app, &QCoreApplication::quit);
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->addWidget(new QLabel(QStringLiteral("Posts")));
    auto* field = new QLineEdit;
    layout->addWidget(field);
    layout->addStretch();
    window.setCentralWidget(content);
    window.resize(1200, 760);
    field->setFocus();
    struct Watcher : QObject {
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint && !done) {
                done = true;
                std::fprintf(stderr, "%s\n", kAnchorFrameLine);
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

// An installation of the application in `folder`: the executable and the shared objects beside
// it (its modules, and the chat's plugin unless left out). Answers the executable's path.
QString install(const QString& program, const QString& folder, bool withChat)
{
    const QFileInfo executable(program);
    const QDir from = executable.absoluteDir();
    QStringList files{executable.fileName()};
    for (const QString& library : from.entryList({QStringLiteral("pellora-*.so")}, QDir::Files))
        if (withChat || library != QLatin1String("pellora-chat.so"))
            files << library;
    for (const QString& file : files) {
        if (!QFile::copy(from.filePath(file), folder + QLatin1Char('/') + file)) {
            std::fprintf(stderr, "cannot copy %s into %s\n", qPrintable(file), qPrintable(folder));
            return QString();
        }
    }
    if (withChat && !files.contains(QLatin1String("pellora-chat.so")))
        std::fprintf(stderr, "no pellora-chat.so beside %s: the launches \"with the plugin\" have none\n", qPrintable(program));
    return folder + QLatin1Char('/') + executable.fileName();
}

// Starts the program and reads its error output until the frame line (or the time-out).
Timing measure(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
               const char* frameLine)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    // A process group of its own: what it starts (the web engine's processes) is waited for too.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
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
    // The application quits on SIGTERM (saving first); the text window has quit by itself. The
    // next launch starts once every process of this one has ended (the chat's web engine
    // processes outlive the application for a moment), not while they still take the machine.
    const qint64 group = process.processId();
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(3000);
    }
    QElapsedTimer ending;
    ending.start();
    while (group > 0 && ::kill(pid_t(-group), 0) == 0 && ending.elapsed() < 10000)
        QThread::msleep(5);
    QThread::msleep(kSettleMs);
    return timing;
}

struct Road {
    const char* name;
    std::vector<double> anchor, frame, adfl;
};

// The application as installed with the chat's plugin, or without it.
struct Installation {
    const char* name;
    QString program;
    Road first{"first launch", {}, {}, {}};
    Road later{"later launch, signed out", {}, {}, {}};
    Road signedIn{"later launch, signed in with one post", {}, {}, {}};
};

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && QByteArray(argv[1]) == kAnchorOption)
        return runTextWindow(argc, argv);

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

    QTemporaryDir withChatFolder, withoutChatFolder;
    Installation withChat{"with the chat plugin", install(program, withChatFolder.path(), true)};
    Installation withoutChat{"without the chat plugin", install(program, withoutChatFolder.path(), false)};
    if (withChat.program.isEmpty() || withoutChat.program.isEmpty())
        return 1;

    // The signed-in home: an account with one post, launched once already (its store is up to
    // date, as on every day after the first).
    QTemporaryDir signedInHome;
    {
        QProcess prepare;
        prepare.setProcessEnvironment(environmentFor(signedInHome.path(), QStringLiteral("file")));
        prepare.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A program of its own: this one stays as plain as the window it starts.
        prepare.start(QStringLiteral(PELLORA_STARTUP_PREPARE_PATH), {});
        if (!prepare.waitForFinished(60000) || prepare.exitCode() != 0) {
            std::fprintf(stderr, "the signed-in home could not be prepared\n");
            return 1;
        }
        measure(withChat.program, {}, environmentFor(signedInHome.path(), QStringLiteral("file")), kFrameLine);
    }

    const QProcessEnvironment anchorEnvironment = environmentFor(QString(), QString());
    const QString self = QCoreApplication::applicationFilePath();
    // One launch after its anchor; nothing is kept unless the whole run is (every series stays
    // paired run by run, across the two installations too).
    struct Pair {
        double anchor = 0, frame = 0, adfl = 0;
    };
    const auto pair = [&](const QString& ours, const QProcessEnvironment& environment) -> std::optional<Pair> {
        const Timing anchor = measure(self, {QString::fromLatin1(kAnchorOption)}, anchorEnvironment, kAnchorFrameLine);
        const Timing launch = measure(ours, {}, environment, kFrameLine);
        if (!anchor.frame || !launch.frame || !launch.adfl)
            return std::nullopt;
        return Pair{*anchor.frame, *launch.frame, *launch.adfl};
    };
    for (int run = 0; run < runs; ++run) {
        // The two installations take turns at going first.
        Installation* order[] = {&withChat, &withoutChat};
        if (run % 2)
            std::swap(order[0], order[1]);
        std::vector<std::pair<Road*, Pair>> measured;
        bool ok = true;
        for (Installation* installation : order) {
            QTemporaryDir home;
            const QProcessEnvironment fresh = environmentFor(home.path(), QStringLiteral("memory"));
            const QProcessEnvironment daily = environmentFor(signedInHome.path(), QStringLiteral("file"));
            for (auto [road, environment] : {std::pair{&installation->first, &fresh}, std::pair{&installation->later, &fresh},
                                             std::pair{&installation->signedIn, &daily}}) {
                const std::optional<Pair> result = ok ? pair(installation->program, *environment) : std::nullopt;
                if (!result) {
                    if (ok)
                        std::fprintf(stderr, "run %d, %s: a program did not report its frame\n", run + 1, installation->name);
                    ok = false;
                    break;
                }
                measured.emplace_back(road, *result);
            }
        }
        if (!ok)
            continue;
        for (const auto& [road, result] : measured) {
            road->anchor.push_back(result.anchor);
            road->frame.push_back(result.frame);
            road->adfl.push_back(result.adfl);
        }
        for (const Installation* installation : {&withChat, &withoutChat}) {
            std::printf("run %d, %-24s first launch %.1f ms (anchor %.1f) | later %.1f ms (anchor %.1f) | signed in %.1f ms "
                        "(anchor %.1f)\n",
                        run + 1, installation->name, installation->first.frame.back(), installation->first.anchor.back(),
                        installation->later.frame.back(), installation->later.anchor.back(),
                        installation->signedIn.frame.back(), installation->signedIn.anchor.back());
        }
        std::fflush(stdout);
    }
    if (withChat.first.frame.empty() || withoutChat.first.frame.empty())
        return 1;
    for (const Installation* installation : {&withChat, &withoutChat}) {
        std::printf("\n%s: medians over %zu runs (process start to first frame)\n", installation->name,
                    installation->first.frame.size());
        for (const Road* road : {&installation->first, &installation->later, &installation->signedIn}) {
            std::printf("  %-40s %8.1f ms (ADFL line %.1f ms); its text windows %.1f ms\n", road->name,
                        bench_support::median(road->frame), bench_support::median(road->adfl),
                        bench_support::median(road->anchor));
        }
    }
    std::printf("\nratios to the least text window, paired run by run\n");
    for (const Installation* installation : {&withChat, &withoutChat}) {
        const QByteArray name(installation->name);
        bench_support::printPairedRatio(("first launch / text window, " + name).constData(), installation->first.frame,
                                        installation->first.anchor, "<= 2.0");
        bench_support::printPairedRatio(("later launch signed out / text window, " + name).constData(),
                                        installation->later.frame, installation->later.anchor, "<= 1.1");
        bench_support::printPairedRatio(("later launch signed in with one post / text window, " + name).constData(),
                                        installation->signedIn.frame, installation->signedIn.anchor, "<= 1.1");
    }
    // What the plugin costs a launch: the two installations' launches of the same run.
    std::printf("\nwith the chat plugin / without it, paired run by run\n");
    bench_support::printPairedRatio("first launch", withChat.first.frame, withoutChat.first.frame);
    bench_support::printPairedRatio("later launch signed out", withChat.later.frame, withoutChat.later.frame, "<= 1.1");
    bench_support::printPairedRatio("later launch signed in with one post", withChat.signedIn.frame,
                                    withoutChat.signedIn.frame, "<= 1.1");
    bench_support::printLoad("after");
    return 0;
}
