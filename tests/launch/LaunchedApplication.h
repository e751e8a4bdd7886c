#pragma once

#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace testing_support {

// How long a launch test waits for what the application does: generous, since under the
// sanitizers the application starts (and loads the web engine) slowly.
inline constexpr int kLaunchTimeoutMs = 180000;

// A virtual X screen (Xvfb) on a display it picks itself, for one test. Stopped when destroyed.
class VirtualScreen {
public:
    VirtualScreen();
    ~VirtualScreen();
    VirtualScreen(const VirtualScreen&) = delete;
    VirtualScreen& operator=(const VirtualScreen&) = delete;

    bool start();
    // ":N", empty before the screen runs.
    QString display() const { return m_display; }
    // Runs an X tool (xdotool, import) on this screen: its standard output, or an empty array
    // (and *ok false) when it fails.
    QByteArray run(const QString& program, const QStringList& arguments, bool* ok = nullptr) const;

private:
    bool startServer();
    void stopServer();
    bool answers() const;   // a client gets through to the server

    std::unique_ptr<QProcess> m_server;
    QString m_display;
};

// The real application (the build's src/pellora) started on a virtual screen in a fresh home,
// talking to the development service at the given port, driven by real input (xdotool) and
// photographed (ImageMagick's import). It is terminated when destroyed.
class LaunchedApplication {
public:
    LaunchedApplication(VirtualScreen& screen, quint16 servicePort);
    ~LaunchedApplication();
    LaunchedApplication(const LaunchedApplication&) = delete;
    LaunchedApplication& operator=(const LaunchedApplication&) = delete;

    // $PELLORA_BINARY_DIR/src/pellora.
    static QString executablePath();
    // Starts this executable instead (an installed copy).
    void setExecutable(const QString& path) { m_executable = path; }

    // Where it keeps its files: under PELLORA_HOME (home()), or in the XDG folders of a user
    // whose home (HOME) is home(), with no XDG variable set.
    enum class Home { Pellora, User };
    // A setting of the [General] group written into the settings file when it starts (a hint
    // already seen, for instance).
    void setSetting(const QString& key, const QString& value) { m_settings << key + QLatin1Char('=') + value; }
    // Starts it with these variables added to its environment.
    bool start(const QProcessEnvironment& extra = QProcessEnvironment(), Home kind = Home::Pellora);
    bool isRunning() const;
    // Its home (PELLORA_HOME, or HOME): the data and config folders.
    QString home() const { return m_home.path(); }
    // The folder of the signed-in account's posts in its data folder; empty while there is none
    // (before the account's first sign-in).
    QString postsFolder() const;
    // Starts the application once more, on the same home and screen, with these arguments (as a
    // desktop opening a file with it does) and waits for that start to end: its exit code (-1
    // when it crashed or did not end in time), and what it wrote in *output.
    int runAnotherStart(const QStringList& arguments, int timeoutMs, QString* output = nullptr);
    // What it wrote to its output and error so far (its log lines among them).
    QString output();
    bool hasLogged(const QString& text) { return output().contains(text); }
    // The position of the first line holding the text in the output, -1 when there is none.
    qsizetype positionInOutput(const QString& text) { return output().indexOf(text); }

    // The main window (the largest visible window of the process), or 0.
    QString mainWindow() const;
    // Every visible window of the process with a title (ids).
    QStringList windows() const;
    // Every visible window of the process, titled or not (its menus and tool tips too).
    QStringList visibleWindows() const;
    // Whether the window is a dialog (an alert, a sheet), not a main window or a popup.
    bool isDialog(const QString& window) const;
    QString windowTitle() const;
    QString windowName(const QString& window) const;
    // The X window that has the keyboard (its id), empty when none does.
    QString focusedWindow() const;
    QSize windowSize() const;
    // Sizes the main window as a user dragging its edge would (there is no window manager to
    // hold it to its smallest size).
    bool resizeWindow(QSize size) const;
    QImage screenshot() const;

    // Real input to the main window.
    bool type(const QString& text) const;
    // Gives the window (an open panel) the keyboard, then types the text.
    bool typeTo(const QString& window, const QString& text) const;
    bool key(const QString& keys) const;
    // Gives the window the keyboard, then presses the keys.
    bool keyTo(const QString& window, const QString& keys) const;
    bool click(QPoint inWindow) const;

    // Signs the demo account in on the sign-in screen.
    bool signIn(int timeoutMs);
    // Waits until two pictures of the window in a row are nearly the same (only a text cursor
    // blinks).
    bool waitUntilAtRest(int timeoutMs = kLaunchTimeoutMs) const;
    // Makes a new post of the photos of the folder with the keyboard, as a user would: New, its
    // name, Choose Folder (the folder typed into the folder panel), Create. False (and a warning
    // naming the step) when a step does not come about.
    bool createPost(const QString& name, const QString& folder, int timeoutMs = kLaunchTimeoutMs);

    // Ends it as the desktop does (SIGTERM); answers its exit code (-1 when it crashed or had to
    // be killed).
    int terminate();

private:
    VirtualScreen& m_screen;
    quint16 m_port;
    QTemporaryDir m_home;
    QString m_dataFolder;   // under m_home
    QString m_executable = executablePath();
    QProcessEnvironment m_environment;
    std::unique_ptr<QProcess> m_process;
    QString m_output;
    QStringList m_settings;
};

// The share of the rectangle's pixels within `tolerance` of the colour in each channel.
double shareOfColour(const QImage& image, const QRect& rect, QColor colour, int tolerance = 12);

// How many pixels of two pictures differ (all of them when their sizes do).
qint64 differingPixels(const QImage& a, const QImage& b);

// Runs the event loop until the predicate holds, asking it at most every `intervalMs`.
bool pollUntil(const std::function<bool()>& predicate, int timeoutMs, int intervalMs = 250);

} // namespace testing_support
