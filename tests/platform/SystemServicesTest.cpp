// Keychain backends, queues, transport errors, logging and the scripted interaction layer.

#include "SessionBus.h"
#include "TestSupport.h"

#include "platform/Clock.h"
#include "platform/Alert.h"
#include "platform/Dispatch.h"
#include "platform/Error.h"
#include "platform/FirstFrame.h"
#include "platform/Keychain.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Storyboard.h"
#include "platform/Threads.h"
#include "platform/UndoManager.h"
#include "platform/UserNotifications.h"
#include "platform/Bundle.h"
#include "platform/Workspace.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <cstdlib>

TEST(Keychain, FileBackendIsPrivateAndLeavesACorruptFileAlone)
{
    const QString path = testing_support::testHome() + "/config/keychain.json";
    auto keychain = platform::Keychain::makeFile(path);
    EXPECT_FALSE(keychain->password("svc", "jwt").has_value());
    ASSERT_TRUE(keychain->setPassword("svc", "jwt", "token-1"));
    ASSERT_TRUE(keychain->setPassword("other", "jwt", "token-2"));
    EXPECT_EQ(keychain->password("svc", "jwt").value(), "token-1");
    const auto permissions = QFile::permissions(path);
    EXPECT_TRUE(permissions.testFlags(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_FALSE(permissions & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther
                                | QFileDevice::WriteOther));

    // A second instance reads what the first wrote.
    EXPECT_EQ(platform::Keychain::makeFile(path)->password("other", "jwt").value(), "token-2");
    ASSERT_TRUE(keychain->remove("svc", "jwt"));
    EXPECT_TRUE(keychain->remove("svc", "jwt"));   // removing nothing is fine
    EXPECT_FALSE(keychain->password("svc", "jwt").has_value());

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("{ not json");
    file.close();
    platform::Error error;
    EXPECT_FALSE(keychain->setPassword("svc", "jwt", "x", &error));
    EXPECT_TRUE(error.isValid());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "{ not json");
}

TEST(Keychain, BackendChoice)
{
    EXPECT_EQ(platform::Keychain::make("memory")->backendName(), "memory");
    EXPECT_EQ(platform::Keychain::make("file")->backendName(), "file");
    // Without a session bus nothing answers for the Secret Service: the file stands in.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    const QString secret = platform::Keychain::make("secret")->backendName();
    EXPECT_TRUE(secret == "file" || secret == "secret");
    EXPECT_EQ(platform::Keychain::make("bogus")->backendName(), "file");
}

TEST(Dispatch, SerialQueueRunsInOrderOnItsOwnThread)
{
    platform::SerialQueue queue("SAVE QUEUE");
    EXPECT_EQ(queue.label(), "SAVE QUEUE");
    std::vector<int> order;
    std::atomic_bool onQueue{true};
    for (int i = 0; i < 50; ++i)
        queue.async([&, i] {
            if (!queue.isCurrent() || QThread::currentThread() == QCoreApplication::instance()->thread())
                onQueue = false;
            order.push_back(i);
        });
    int fromSync = -1;
    queue.sync([&] { fromSync = int(order.size()); });
    EXPECT_EQ(fromSync, 50);
    EXPECT_TRUE(onQueue);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[size_t(i)], i);
    // A sync call from the queue itself runs at once instead of waiting for itself.
    bool nested = false;
    queue.sync([&] { queue.sync([&] { nested = true; }); });
    EXPECT_TRUE(nested);
    // A task that throws does not stop the queue.
    queue.async([] { throw std::runtime_error("boom"); });
    bool after = false;
    queue.async([&] { after = true; });
    queue.waitUntilIdle();
    EXPECT_TRUE(after);
}

TEST(Dispatch, DelayedCallsCanBeCancelledAndDieWithTheirContext)
{
    int ran = 0;
    auto context = std::make_unique<QObject>();
    platform::dispatchAfter(0.01, context.get(), [&] { ran += 1; });
    auto cancelled = platform::dispatchAfter(0.01, context.get(), [&] { ran += 10; });
    cancelled.cancel();
    auto orphan = std::make_unique<QObject>();
    platform::dispatchAfter(0.01, orphan.get(), [&] { ran += 100; });
    orphan.reset();
    EXPECT_TRUE(testing_support::waitUntil([&] { return ran > 0; }, 2000));
    EXPECT_TRUE(testing_support::holdsFor([&] { return ran == 1; }, 30));

    // From a background thread: runs on the main thread.
    std::atomic_bool onMain{false};
    std::thread worker([&] { platform::dispatchAfter(0, nullptr, [&] { onMain = platform::isMainThread(); }); });
    worker.join();
    EXPECT_TRUE(testing_support::waitUntil([&] { return onMain.load(); }, 2000));

    bool synced = false;
    std::thread syncer([&] { platform::dispatchMainSync([&] { synced = platform::isMainThread(); }); });
    EXPECT_TRUE(testing_support::waitUntil([&] { return synced; }, 2000));
    syncer.join();
}

#ifndef NDEBUG
// A main-thread-only entry point reached from another thread stops the process, naming the
// caller; on the main thread it runs.
TEST(DispatchDeathTest, MainThreadOnlyEntryPointsStopWhenCalledFromAnotherThread)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    platform::UndoManager undo;
    undo.undo();
    EXPECT_DEATH(
        {
            std::thread other([&undo] { undo.undo(); });
            other.join();
        },
        "UndoManager::undo.*called off the main thread");
}
#endif

TEST(Dispatch, OperationQueueKeepsToItsConcurrencyLimit)
{
    platform::OperationQueue queue(3);
    std::atomic_int running{0}, peak{0}, done{0};
    for (int i = 0; i < 20; ++i)
        queue.addOperation([&] {
            const int now = ++running;
            int seen = peak.load();
            while (now > seen && !peak.compare_exchange_weak(seen, now)) {
            }
            QThread::msleep(5);
            --running;
            ++done;
        });
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(done.load(), 20);
    EXPECT_LE(peak.load(), 3);
    EXPECT_GE(peak.load(), 2);
}

namespace {
// Sends a canned HTTP answer to the first request and closes.
class OneShotServer : public QTcpServer {
public:
    explicit OneShotServer(QByteArray answer) : m_answer(std::move(answer))
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                socket->readAll();
                socket->write(m_answer);
                socket->disconnectFromHost();
            });
        });
        listen(QHostAddress::LocalHost, 0);
    }
private:
    QByteArray m_answer;
};

platform::Error errorOfGet(QNetworkAccessManager& manager, const QUrl& url, int* status = nullptr)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(5000);
    QNetworkReply* reply = manager.get(request);
    testing_support::waitUntil([&] { return reply->isFinished(); }, 6000);
    if (status)
        *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    platform::Error error = platform::transportError(reply);
    reply->deleteLater();
    return error;
}
} // namespace

TEST(TransportError, ClosedPortIsCannotConnectAndAnHttpStatusIsNeverTransport)
{
    QNetworkAccessManager manager;
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 closedPort = probe.serverPort();
    probe.close();
    const platform::Error refused = errorOfGet(manager, QUrl(QString("http://127.0.0.1:%1/core/health").arg(closedPort)));
    EXPECT_EQ(refused.domain, platform::kURLErrorDomain);
    EXPECT_EQ(refused.code, platform::urlerror::CannotConnectToHost);

    OneShotServer server("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    int status = 0;
    const platform::Error serverError = errorOfGet(manager, QUrl(QString("http://127.0.0.1:%1/x").arg(server.serverPort())), &status);
    EXPECT_EQ(status, 500);
    EXPECT_FALSE(serverError.isValid());

    EXPECT_EQ(platform::urlErrorCodeForNetworkError(QNetworkReply::TimeoutError), platform::urlerror::TimedOut);
    EXPECT_EQ(platform::urlErrorCodeForNetworkError(QNetworkReply::HostNotFoundError), platform::urlerror::CannotFindHost);
    EXPECT_EQ(platform::urlErrorCodeForNetworkError(QNetworkReply::RemoteHostClosedError), platform::urlerror::NetworkConnectionLost);
}

TEST(Log, DailyFileCarriesLevelFileFunctionAndLine)
{
    platform::log::Options options;
    options.terminal = false;
    options.fileDirectory = platform::paths::logDirectory();
    platform::log::setup(options);
    QStringList captured;
    const int id = platform::log::addCapture([&](platform::log::Level, const QString& m) { captured << m; });
    PLR_LOG_WARN(QStringLiteral("TIME LOG (AWFL): %1").arg(0.25));
    platform::log::removeCapture(id);
    PLR_LOG_INFO(QStringLiteral("not captured"));
    EXPECT_EQ(captured, QStringList{"TIME LOG (AWFL): 0.25"});

    const QStringList files = platform::log::logFilePaths();
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files.first().startsWith(QDir(testing_support::testHome()).filePath("logs/pellora")));
    QFile file(files.first());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains("[warning] SystemServicesTest.cpp:")) << text.toStdString();
    EXPECT_TRUE(text.contains("TestBody | TIME LOG (AWFL): 0.25")) << text.toStdString();

    // A log folder that cannot be made: the program goes on, logging to the terminal only.
    options.fileDirectory = "/proc/pellora-cannot-be-here";
    options.terminal = true;
    platform::log::setup(options);
    PLR_LOG_INFO(QStringLiteral("still fine"));
}

namespace {
const char* kLogCrashChildFlag = "PELLORA_LOG_CRASH_CHILD";

QString readLogFolder(const QString& folder)
{
    QString text;
    for (const QFileInfo& info : QDir(folder).entryInfoList({"pellora*.log"}, QDir::Files)) {
        QFile file(info.absoluteFilePath());
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll());
    }
    return text;
}
} // namespace

// Not a test on its own: the child of InformationLinesSurviveACrash.
TEST(LogCrashChild, LogsThenCrashes)
{
    const QString folder = qEnvironmentVariable(kLogCrashChildFlag);
    if (folder.isEmpty())
        GTEST_SKIP() << "runs only as the child of InformationLinesSurviveACrash";
    platform::log::Options options;
    options.terminal = false;
    options.fileDirectory = folder;
    platform::log::setup(options);
    PLR_LOG_INFO(QStringLiteral("last words before the crash"));
    std::abort();   // no stream is flushed on the way out
}

TEST(Log, InformationLinesReachTheFileAtOnceAndSurviveACrash)
{
    // Written, not flushed by anyone: the line is in the file well within a second.
    platform::log::Options options;
    options.terminal = false;
    options.fileDirectory = platform::paths::logDirectory();
    platform::log::setup(options);
    PLR_LOG_INFO(QStringLiteral("an ordinary information line"));
    EXPECT_TRUE(testing_support::waitUntil(
        [&] { return readLogFolder(options.fileDirectory).contains("an ordinary information line"); }, 1000));

    const QString folder = testing_support::testHome() + "/crash-logs";
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kLogCrashChildFlag, folder);
    child.setProcessEnvironment(env);
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({"--gtest_filter=LogCrashChild.LogsThenCrashes"});
    child.start();
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
    EXPECT_TRUE(readLogFolder(folder).contains("last words before the crash"));
}

TEST(Interaction, ScriptedAlertsAnswerInOrderAndRecordEverything)
{
    auto& alerts = testing_support::scriptedAlerts();
    alerts.enqueue(platform::kAlertSecondButtonReturn, true);
    const platform::AlertResult first = platform::runAlert({"Import Backup", "Replace?", {"Proceed", "Cancel"}});
    EXPECT_EQ(first.response, 1001);
    EXPECT_TRUE(first.suppressed);
    ASSERT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(alerts.shown().front().messageText, "Import Backup");

    int unexpected = 0;
    alerts.onUnexpected = [&](const platform::Alert&) { ++unexpected; };
    // Unanswered, an alert is answered as if closed without a click: its cancel button.
    EXPECT_EQ(platform::runAlert({"Oops", "", {"OK", "Cancel", "Details"}}).response, 1001);
    EXPECT_EQ(unexpected, 1);

    testing_support::scriptedPanels().enqueue(QString("/tmp/chosen"));
    EXPECT_EQ(platform::FilePanels::shared().run({}).value(), "/tmp/chosen");

    platform::Storyboard::registerScene("Main", "base", [] { return new QObject; });
    std::unique_ptr<QObject> scene(platform::Storyboard::instantiate("Main", "base"));
    EXPECT_NE(scene, nullptr);
    EXPECT_EQ(platform::Storyboard::instantiate("Main", "missing"), nullptr);
}

TEST(Log, ARemovedCaptureIsNeverCalledAgainEvenFromOtherThreads)
{
    std::atomic_bool stop{false};
    std::thread writer([&] {
        while (!stop)
            PLR_LOG_DEBUG(QStringLiteral("busy"));
    });
    for (int round = 0; round < 200; ++round) {
        auto alive = std::make_shared<std::atomic_bool>(true);
        std::atomic_int callsAfterRemoval{0};
        const int id = platform::log::addCapture([alive, &callsAfterRemoval](platform::log::Level, const QString&) {
            if (!alive->load())
                ++callsAfterRemoval;
        });
        QThread::usleep(50);
        platform::log::removeCapture(id);
        alive->store(false);
        QThread::usleep(50);
        EXPECT_EQ(callsAfterRemoval.load(), 0);
    }
    stop = true;
    writer.join();
}

// Start-up work that waits for the main window's first frame.
TEST(FirstFrame, WorkWaitsForAnAnnouncedFrameAndRunsInOrderJustAfterIt)
{
    QStringList ran;
    // No frame announced: the work runs at once.
    platform::firstframe::afterFirstFrame(nullptr, [&] { ran << "now"; });
    EXPECT_EQ(ran, QStringList{"now"});

    platform::firstframe::expect();
    EXPECT_TRUE(platform::firstframe::isPending());
    auto gone = std::make_unique<QObject>();
    QObject kept;
    platform::firstframe::afterFirstFrame(&kept, [&] { ran << "first"; });
    platform::firstframe::afterFirstFrame(gone.get(), [&] { ran << "dead context"; });
    platform::firstframe::afterFirstFrame(nullptr, [&] { ran << "second"; });
    gone.reset();
    testing_support::drainEvents();
    EXPECT_EQ(ran, QStringList{"now"});

    // The frame: the work runs on the event loop after it, not inside the paint.
    platform::firstframe::painted();
    EXPECT_FALSE(platform::firstframe::isPending());
    EXPECT_EQ(ran, QStringList{"now"});
    ASSERT_TRUE(testing_support::waitUntil([&] { return ran.size() == 3; }, 2000));
    EXPECT_EQ(ran, (QStringList{"now", "first", "second"}));

    // Later work runs at once again; a second report changes nothing.
    platform::firstframe::painted();
    platform::firstframe::afterFirstFrame(nullptr, [&] { ran << "later"; });
    EXPECT_EQ(ran.last(), "later");
}

TEST(FirstFrame, AFrameThatNeverComesLetsTheWorkRunAfterTheFallback)
{
    platform::ManualClock& clock = platform::ManualClock::install();
    bool ran = false;
    platform::firstframe::expect();
    platform::firstframe::afterFirstFrame(nullptr, [&] { ran = true; });
    clock.advance(platform::firstframe::kFallbackMs / 1000.0 - 0.01);
    testing_support::drainEvents();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(platform::firstframe::isPending());
    clock.advance(0.01);
    EXPECT_TRUE(testing_support::waitUntil([&] { return ran; }, 2000));
    EXPECT_FALSE(platform::firstframe::isPending());
}

TEST(FilePanels, PanelsOpenWhereTheUsersPhotosAreAndReturnThereNeverToTheWorkingFolder)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString home = root.filePath("home");
    ASSERT_TRUE(QDir().mkpath(home + "/.config"));
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + "/.config").toUtf8());

    using platform::PanelRequest;
    using platform::QtFilePanels;
    PanelRequest folder;
    folder.kind = PanelRequest::Kind::OpenDirectory;
    EXPECT_EQ(QtFilePanels::startingDirectory(folder, {}), home);
    ASSERT_TRUE(QDir().mkpath(home + "/Pictures/2026"));
    EXPECT_EQ(QtFilePanels::startingDirectory(folder, {}), home + "/Pictures");
    EXPECT_EQ(QtFilePanels::startingDirectory(folder, root.filePath("gone")), home + "/Pictures");
    EXPECT_EQ(QtFilePanels::startingDirectory(folder, home + "/Pictures/2026"), home + "/Pictures/2026");
    folder.directory = home;
    EXPECT_EQ(QtFilePanels::startingDirectory(folder, home + "/Pictures/2026"), home);

    EXPECT_EQ(QtFilePanels::directoryToRemember(folder, home + "/Pictures/2026"), home + "/Pictures");
    PanelRequest file;
    EXPECT_EQ(QtFilePanels::directoryToRemember(file, home + "/Pictures/2026/post.ppost"), home + "/Pictures/2026");

    qputenv("HOME", oldHome);
    if (oldConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);
}

// The libraries' own caches (the graphics stack's shader caches) go to the application's cache
// folder; the programs it starts for the user (the browser, the file manager, a mail program)
// get the user's own cache folder back.
TEST(Paths, LibraryCachesGoToTheApplicationsFolderAndStartedProgramsKeepTheUsersOwn)
{
    // Without PELLORA_HOME: the user's cache folder's Pellora folder.
    const QByteArray pelloraHome = qgetenv("PELLORA_HOME");
    const QByteArray userCacheHome = qgetenv("XDG_CACHE_HOME");
    qunsetenv("PELLORA_HOME");
    qputenv("XDG_CACHE_HOME", "/srv/user-cache");
    EXPECT_EQ(platform::paths::cacheDirectory(), "/srv/user-cache/Pellora");
    qunsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(platform::paths::cacheDirectory(), QDir::homePath() + "/.cache/Pellora");
    qputenv("PELLORA_HOME", pelloraHome);
    if (!userCacheHome.isNull())
        qputenv("XDG_CACHE_HOME", userCacheHome);

    const QString ours = testing_support::testHome() + "/cache";
    EXPECT_EQ(platform::paths::cacheDirectory(), ours);
    platform::paths::keepLibraryCachesInCacheDirectory();
    platform::paths::keepLibraryCachesInCacheDirectory();   // once only
    EXPECT_EQ(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation), ours);
    EXPECT_EQ(platform::paths::cacheDirectory(), ours);
    const QString users = userCacheHome.isNull() ? QString("<unset>") : QString::fromLocal8Bit(userCacheHome);
    EXPECT_EQ(platform::paths::userEnvironment().value("XDG_CACHE_HOME", "<unset>"), users);

    // What the started programs see (an opener in place of the desktop's, first on the path).
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    const QString seen = bin.filePath("seen");
    QFile opener(bin.filePath("xdg-open"));
    ASSERT_TRUE(opener.open(QIODevice::WriteOnly));
    opener.write(QString("#!/bin/sh\necho \"${XDG_CACHE_HOME-<unset>} $1\" >> '%1'\n").arg(seen).toUtf8());
    opener.close();
    opener.setPermissions(opener.permissions() | QFileDevice::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ":" + path);
    platform::QtWorkspace workspace;
    EXPECT_TRUE(workspace.openURL(QUrl("https://help.example/a b?x=1")));
    EXPECT_TRUE(workspace.launchDetached(bin.filePath("xdg-open"), {"launched"}));
    EXPECT_FALSE(workspace.openURL(QUrl("-version")));   // never an option of the opener
    qputenv("PATH", path);
    QStringList lines;
    ASSERT_TRUE(testing_support::waitUntil([&] {
        QFile file(seen);
        lines = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts) : QStringList();
        return lines.size() >= 2;
    }, 10000));
    lines.sort();
    EXPECT_EQ(lines, (QStringList{users + " https://help.example/a%20b?x=1", users + " launched"}));
}

// The badge is the count of the application's launcher entry (the signal docks and task managers
// read) as well as of its windows' titles; a notice no notification server takes is logged, one
// it takes reaches it.
TEST(UserNotifications, TheBadgeReachesTheLauncherEntryAndNoticesTheServerOrTheLog)
{
    testing_support::PrivateSessionBus bus;
    ASSERT_TRUE(bus.start());
    const QString client = QStringLiteral("pellora-notifications-test");
    ASSERT_TRUE(bus.connectClient(client));
    platform::DesktopNotificationCenter center(client);
    const QString entry = "application://" + (QGuiApplication::desktopFileName().isEmpty() ? platform::bundle::identifier()
                                                                                          : QGuiApplication::desktopFileName())
                          + ".desktop";
    EXPECT_EQ(platform::DesktopNotificationCenter::launcherEntryURI(), entry);

    center.setBadgeLabel("1");
    ASSERT_TRUE(testing_support::waitUntil([&] { return bus.launcherUpdates().size() == 1; }));
    EXPECT_EQ(bus.launcherUpdates()[0].application, entry);
    EXPECT_EQ(bus.launcherUpdates()[0].properties.value("count").toLongLong(), 1);
    EXPECT_EQ(bus.launcherUpdates()[0].properties.value("count-visible").toBool(), true);
    EXPECT_EQ(center.badgeLabel(), "1");
    center.setBadgeLabel("");
    ASSERT_TRUE(testing_support::waitUntil([&] { return bus.launcherUpdates().size() == 2; }));
    EXPECT_EQ(bus.launcherUpdates()[1].properties.value("count").toLongLong(), 0);
    EXPECT_EQ(bus.launcherUpdates()[1].properties.value("count-visible").toBool(), false);

    QStringList logged;
    const int capture = platform::log::addCapture([&](platform::log::Level, const QString& message) { logged << message; });
    center.deliver("New Message from Pellora Support", "View and Respond", "17");
    EXPECT_TRUE(testing_support::waitUntil([&] {
        return logged.join('\n').contains("No desktop notification server answered");
    })) << logged.join('\n').toStdString();
    ASSERT_TRUE(bus.serveNotifications());
    center.deliver("New Message from Pellora Support", "View and Respond", "18");
    ASSERT_TRUE(testing_support::waitUntil([&] { return bus.notices().size() == 1; }));
    EXPECT_EQ(bus.notices()[0].title, "New Message from Pellora Support");
    EXPECT_EQ(bus.notices()[0].body, "View and Respond");
    platform::log::removeCapture(capture);
    QDBusConnection::disconnectFromBus(client);
}
