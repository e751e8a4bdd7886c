#include "LaunchedApplication.h"

#include "DevService.h"
#include "TestSupport.h"

#include <QColor>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace testing_support {

namespace {

constexpr int kToolTimeoutMs = 20000;

// The child dies with the test binary, even when the binary crashes or is killed.
void dieWithTheTest(QProcess& process)
{
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(1);
    });
}

} // namespace

bool pollUntil(const std::function<bool()>& predicate, int timeoutMs, int intervalMs)
{
    QElapsedTimer sinceAsked;
    bool held = predicate();
    sinceAsked.start();
    return held || waitUntil(
                       [&] {
                           if (sinceAsked.elapsed() < intervalMs)
                               return false;
                           sinceAsked.restart();
                           return predicate();
                       },
                       timeoutMs)
               || predicate();
}

double shareOfColour(const QImage& image, const QRect& rect, QColor colour, int tolerance)
{
    const QRect area = rect.intersected(image.rect());
    if (area.isEmpty())
        return 0.0;
    qint64 matching = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - colour.red()) <= tolerance && std::abs(pixel.green() - colour.green()) <= tolerance
                && std::abs(pixel.blue() - colour.blue()) <= tolerance)
                ++matching;
        }
    }
    return double(matching) / double(qint64(area.width()) * area.height());
}

qint64 differingPixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return qint64(qMax(a.width(), b.width())) * qMax(a.height(), b.height());
    qint64 differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y))
                ++differing;
        }
    }
    return differing;
}

// ---------------------------------------------------------------- the screen

VirtualScreen::VirtualScreen() = default;

VirtualScreen::~VirtualScreen()
{
    stopServer();
}

bool VirtualScreen::start()
{
    // A server of the same number that is still going away can hold the display's socket for a
    // moment after the new one has reported it: the screen is ready once a client gets through.
    // A server no client reaches is given up and another started.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!startServer())
            return false;
        QDeadlineTimer ready(10000);
        bool reached = false;
        while (!(reached = answers()) && !ready.hasExpired() && m_server->state() == QProcess::Running)
            QThread::msleep(100);
        if (reached)
            return true;
        qWarning("No client reached the virtual screen %s; starting another", qPrintable(m_display));
        stopServer();
    }
    return false;
}

bool VirtualScreen::startServer()
{
    m_server = std::make_unique<QProcess>();
    m_display.clear();
    dieWithTheTest(*m_server);
    // The server picks a free display and writes its number to the descriptor given.
    m_server->start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                             QStringLiteral("0"), QStringLiteral("1600x1000x24"), QStringLiteral("-nolisten"),
                                             QStringLiteral("tcp")});
    if (!m_server->waitForStarted(5000)) {
        qWarning("Xvfb did not start: %s", qPrintable(m_server->errorString()));
        return false;
    }
    QByteArray number;
    QDeadlineTimer deadline(20000);
    while (!number.contains('\n') && !deadline.hasExpired() && m_server->state() == QProcess::Running) {
        m_server->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        number += m_server->readAllStandardOutput();
    }
    if (!number.contains('\n')) {
        qWarning("Xvfb did not report its display: %s", m_server->readAllStandardError().constData());
        return false;
    }
    m_display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
    return true;
}

bool VirtualScreen::answers() const
{
    bool ok = false;
    run(QStringLiteral("xdotool"), {QStringLiteral("getdisplaygeometry")}, &ok);
    return ok;
}

void VirtualScreen::stopServer()
{
    if (m_server && m_server->state() != QProcess::NotRunning) {
        m_server->terminate();
        if (!m_server->waitForFinished(5000)) {
            m_server->kill();
            m_server->waitForFinished(3000);
        }
    }
}

QByteArray VirtualScreen::run(const QString& program, const QStringList& arguments, bool* ok) const
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    tool.setProcessEnvironment(environment);
    tool.start(program, arguments);
    const bool finished = tool.waitForStarted(5000) && tool.waitForFinished(kToolTimeoutMs);
    const bool succeeded = finished && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    if (ok)
        *ok = succeeded;
    return succeeded ? tool.readAllStandardOutput() : QByteArray();
}

// ---------------------------------------------------------------- the application

LaunchedApplication::LaunchedApplication(VirtualScreen& screen, quint16 servicePort)
    : m_screen(screen), m_port(servicePort)
{
}

LaunchedApplication::~LaunchedApplication()
{
    terminate();
}

QString LaunchedApplication::executablePath()
{
    return qEnvironmentVariable("PELLORA_BINARY_DIR") + QStringLiteral("/src/pellora");
}

bool LaunchedApplication::start(const QProcessEnvironment& extra, Home kind)
{
    // A returning user's home (no first-run welcome), set to the development service.
    QDir home(m_home.path());
    const QString data = kind == Home::Pellora ? QStringLiteral("data") : QStringLiteral(".local/share/Pellora");
    const QString config = kind == Home::Pellora ? QStringLiteral("config") : QStringLiteral(".config/Pellora");
    if (!home.mkpath(data) || !home.mkpath(config))
        return false;
    m_dataFolder = home.filePath(data);
    QFile settings(home.filePath(config + QStringLiteral("/Pellora.conf")));
    if (!settings.open(QIODevice::WriteOnly))
        return false;
    settings.write(QStringLiteral("[General]\nWEB_SERVICE_HOST_TYPE=PLRWebServiceHost_CUSTOM\n"
                                  "WEB_SERVICE_KEY_HOST=127.0.0.1\nWEB_SERVICE_KEY_PORT=%1\nWEB_SERVICE_KEY_HTTPS=false\n"
                                  "analytics_collector_url=http://127.0.0.1:%1\n")
                       .arg(m_port)
                       .toUtf8());
    for (const QString& line : m_settings)
        settings.write((line + QLatin1Char('\n')).toUtf8());
    settings.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), m_screen.display());
    if (kind == Home::Pellora) {
        environment.insert(QStringLiteral("PELLORA_HOME"), m_home.path());
    } else {
        environment.remove(QStringLiteral("PELLORA_HOME"));
        environment.insert(QStringLiteral("HOME"), m_home.path());
        for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
            environment.remove(QString::fromLatin1(variable));
    }
    environment.insert(QStringLiteral("PELLORA_KEYCHAIN"), QStringLiteral("memory"));
    environment.insert(QStringLiteral("env"), QStringLiteral("dev"));
    environment.remove(QStringLiteral("PELLORA_LOG_QUIET"));
    // No desktop session: notices are logged, not shown. The bus address leads nowhere rather
    // than being left out: without one, the D-Bus library tries to launch a bus for the X display
    // and waits for the launcher's answer, and that wait now and then held a start for ever (the
    // application's first event, its accessibility bridge, waits for the session bus).
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=%1/no-session-bus").arg(m_home.path()));
#if defined(__SANITIZE_ADDRESS__)
    // The application built with the sanitizers: the one-definition check on and undefined
    // behaviour fatal. Two reports are the system libraries' and cannot be told apart by library,
    // so their checks are off in this process alone:
    // - the web engine frees an object of its page through a base type of another size than it
    //   allocated (in its web-contents adapter's destructor): a new/delete type mismatch, off as
    //   in the chat tests;
    // - at exit the OpenGL driver is already unloaded when the leak check runs, so what it keeps
    //   for the web engine's contexts shows as leaks of an unknown module: the leak check is off
    //   (the test binaries leak-check Pellora's own code).
    // Freed memory is overwritten: Qt's own code is not instrumented, so an object it uses after
    // Pellora's code let it be deleted would otherwise read what was left there and go on.
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       QStringLiteral("detect_odr_violation=2:new_delete_type_mismatch=0:detect_leaks=0:"
                                      "max_free_fill_size=1024"));
    environment.insert(QStringLiteral("UBSAN_OPTIONS"), QStringLiteral("halt_on_error=1:print_stacktrace=1"));
#endif
    environment.insert(extra);
    m_environment = environment;

    m_process = std::make_unique<QProcess>();
    dieWithTheTest(*m_process);
    m_process->setProcessEnvironment(environment);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->start(m_executable, {});
    if (!m_process->waitForStarted(10000)) {
        qWarning("%s did not start: %s", qPrintable(m_executable), qPrintable(m_process->errorString()));
        return false;
    }
    return true;
}

int LaunchedApplication::runAnotherStart(const QStringList& arguments, int timeoutMs, QString* output)
{
    QProcess other;
    dieWithTheTest(other);
    other.setProcessEnvironment(m_environment);
    other.setProcessChannelMode(QProcess::MergedChannels);
    other.start(m_executable, arguments);
    const bool ended = other.waitForStarted(10000)
                       && waitUntil([&] { return other.state() == QProcess::NotRunning; }, timeoutMs);
    if (!ended) {
        other.kill();
        other.waitForFinished(5000);
    }
    if (output)
        *output = QString::fromUtf8(other.readAll());
    return ended && other.exitStatus() == QProcess::NormalExit ? other.exitCode() : -1;
}

bool LaunchedApplication::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running;
}

QString LaunchedApplication::output()
{
    if (m_process)
        m_output += QString::fromUtf8(m_process->readAll());
    return m_output;
}

QStringList LaunchedApplication::windows() const
{
    if (!isRunning())
        return {};
    const QByteArray ids = m_screen.run(QStringLiteral("xdotool"),
                                        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                         QString::number(m_process->processId()), QStringLiteral("--name"), QStringLiteral(".")});
    QStringList result;
    for (const QByteArray& id : ids.split('\n')) {
        if (!id.trimmed().isEmpty())
            result << QString::fromLatin1(id.trimmed());
    }
    return result;
}

QStringList LaunchedApplication::visibleWindows() const
{
    if (!isRunning())
        return {};
    const QByteArray ids = m_screen.run(QStringLiteral("xdotool"),
                                        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                         QString::number(m_process->processId())});
    QStringList result;
    for (const QByteArray& id : ids.split('\n')) {
        if (!id.trimmed().isEmpty())
            result << QString::fromLatin1(id.trimmed());
    }
    return result;
}

bool LaunchedApplication::isDialog(const QString& window) const
{
    const QByteArray type =
        m_screen.run(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_WINDOW_TYPE")});
    return type.contains("_NET_WM_WINDOW_TYPE_DIALOG");
}

QString LaunchedApplication::mainWindow() const
{
    if (!isRunning())
        return QString();
    bool ok = false;
    const QByteArray ids = m_screen.run(QStringLiteral("xdotool"),
                                        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                         QString::number(m_process->processId()), QStringLiteral("--name"),
                                         QStringLiteral("Pellora")},
                                        &ok);
    QString largest;
    qint64 largestArea = 0;
    for (const QByteArray& id : ids.split('\n')) {
        if (id.trimmed().isEmpty())
            continue;
        const QString window = QString::fromLatin1(id.trimmed());
        const QByteArray geometry =
            m_screen.run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
        static const QRegularExpression width(QStringLiteral("WIDTH=(\\d+)")), height(QStringLiteral("HEIGHT=(\\d+)"));
        const qint64 area = width.match(QString::fromLatin1(geometry)).captured(1).toLongLong()
                            * height.match(QString::fromLatin1(geometry)).captured(1).toLongLong();
        if (area > largestArea) {
            largestArea = area;
            largest = window;
        }
    }
    return largestArea > 100 * 100 ? largest : QString();
}

QString LaunchedApplication::focusedWindow() const
{
    bool ok = false;
    const QString focused = QString::fromLatin1(m_screen.run(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus")}, &ok)).trimmed();
    return ok ? focused : QString();
}

QString LaunchedApplication::windowTitle() const
{
    const QString window = mainWindow();
    return window.isEmpty() ? QString() : windowName(window);
}

QString LaunchedApplication::windowName(const QString& window) const
{
    return QString::fromUtf8(m_screen.run(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), window})).trimmed();
}

QImage LaunchedApplication::screenshot() const
{
    const QString window = mainWindow();
    if (window.isEmpty())
        return QImage();
    const QByteArray png =
        m_screen.run(QStringLiteral("import"), {QStringLiteral("-window"), window, QStringLiteral("png:-")});
    return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32);
}

QSize LaunchedApplication::windowSize() const
{
    return screenshot().size();
}

bool LaunchedApplication::resizeWindow(QSize size) const
{
    const QString window = mainWindow();
    bool ok = !window.isEmpty();
    if (ok)
        m_screen.run(QStringLiteral("xdotool"),
                     {QStringLiteral("windowsize"), QStringLiteral("--sync"), window, QString::number(size.width()),
                      QString::number(size.height())},
                     &ok);
    return ok;
}

bool LaunchedApplication::type(const QString& text) const
{
    return typeTo(mainWindow(), text);
}

bool LaunchedApplication::typeTo(const QString& window, const QString& text) const
{
    bool ok = !window.isEmpty();
    if (ok)
        m_screen.run(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), window}, &ok);
    if (ok)
        m_screen.run(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text},
                     &ok);
    return ok;
}

bool LaunchedApplication::key(const QString& keys) const
{
    bool ok = false;
    m_screen.run(QStringLiteral("xdotool"), {QStringLiteral("key"), keys}, &ok);
    return ok;
}

bool LaunchedApplication::keyTo(const QString& window, const QString& keys) const
{
    bool ok = false;
    m_screen.run(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), window}, &ok);
    if (ok)
        m_screen.run(QStringLiteral("xdotool"), {QStringLiteral("key"), keys}, &ok);
    return ok;
}

bool LaunchedApplication::click(QPoint inWindow) const
{
    const QString window = mainWindow();
    bool ok = !window.isEmpty();
    if (ok)
        m_screen.run(QStringLiteral("xdotool"),
                     {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(inWindow.x()),
                      QString::number(inWindow.y()), QStringLiteral("click"), QStringLiteral("1")},
                     &ok);
    return ok;
}

bool LaunchedApplication::signIn(int timeoutMs)
{
    // The sign-in screen follows the service's answer; keys count once it is up and has come to
    // rest (its e-mail field taking them; only the text cursor still blinks).
    if (!pollUntil([&] { return hasLogged(QStringLiteral("GOT A CONNECTION")); }, timeoutMs) || !waitUntilAtRest(timeoutMs))
        return false;
    return type(DevService::demoEmail()) && key(QStringLiteral("Tab")) && type(DevService::demoPassword())
           && key(QStringLiteral("Return"));
}

bool LaunchedApplication::waitUntilAtRest(int timeoutMs) const
{
    QImage last;
    return pollUntil(
        [&] {
            QImage shot = screenshot();
            const bool resting = !shot.isNull() && shot.size() == last.size() && differingPixels(shot, last) < 100;
            last = std::move(shot);
            return resting;
        },
        timeoutMs, 400);
}

bool LaunchedApplication::createPost(const QString& name, const QString& folder, int timeoutMs)
{
    const auto step = [](bool done, const char* what) {
        if (!done)
            qWarning("Making a post: %s did not come about", what);
        return done;
    };
    const QImage home = screenshot();
    if (!step(key(QStringLiteral("ctrl+n")), "pressing Ctrl+N")
        || !step(pollUntil([&] { return differingPixels(screenshot(), home) > 10000; }, timeoutMs), "the new-post sheet")
        || !step(waitUntilAtRest(timeoutMs), "the sheet at rest")
        || !step(type(name) && key(QStringLiteral("Tab")) && key(QStringLiteral("space")), "typing the name, Choose Folder"))
        return false;
    QString panel;
    const bool panelShown = pollUntil(
        [&] {
            for (const QString& window : windows())
                if (windowName(window).startsWith(QLatin1String("Choose the folder")))
                    panel = window;
            return !panel.isEmpty();
        },
        timeoutMs);
    if (!step(panelShown, "the folder panel")
        || !step(keyTo(panel, QStringLiteral("ctrl+a")) && typeTo(panel, folder) && keyTo(panel, QStringLiteral("Return")),
                 "typing the folder")
        || !step(pollUntil([&] { return !windows().contains(panel); }, timeoutMs), "the folder panel closing"))
        return false;
    // The keyboard back on the sheet (on its Change button) once the sheet has come to rest; the
    // sub-folders box next, whose Return creates the post.
    return step(pollUntil([&] { return focusedWindow() == mainWindow(); }, timeoutMs), "the keyboard back on the sheet")
           && step(waitUntilAtRest(timeoutMs), "the sheet at rest again")
           && step(key(QStringLiteral("Tab")) && key(QStringLiteral("Return")), "pressing Create");
}

QString LaunchedApplication::postsFolder() const
{
    QDirIterator it(m_dataFolder + QStringLiteral("/ds"), {QStringLiteral("*.plruser")}, QDir::Dirs);
    return it.hasNext() ? it.next() + QStringLiteral("/posts") : QString();
}

int LaunchedApplication::terminate()
{
    if (!m_process)
        return -1;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(60000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
            output();
            m_process.reset();
            return -1;
        }
    }
    output();
    const int code = m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
    m_process.reset();
    return code;
}

} // namespace testing_support
