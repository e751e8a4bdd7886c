// Answers that never end, trickle, stop half-way or say nothing are not answers; and a sign-in
// leaves no credential in the logs or the settings.

#include "ServiceTestSupport.h"

#include "platform/Log.h"
#include "platform/Paths.h"
#include "services/web-services/PLRServiceRequest.h"

#include <QDirIterator>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <mutex>

namespace {

// A loopback HTTP server that answers every request the way a test tells it to.
class HostileServer : public QObject {
public:
    enum class Mode { Endless, Trickle, CutShort, Empty, HeadersThenClose };

    explicit HostileServer(Mode mode) : m_mode(mode)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_request += socket->readAll();
                    if (m_request.contains("\r\n\r\n") && !m_answered.contains(socket)) {
                        m_answered.append(socket);
                        answer(socket);
                    }
                });
            }
        });
    }
    QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    qint64 sent = 0;

private:
    void answer(QTcpSocket* socket)
    {
        const QByteArray json = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
        switch (m_mode) {
        case Mode::Endless: {
            socket->write(json + "Connection: close\r\n\r\n[");
            const QByteArray chunk(256 * 1024, '1');
            auto more = [this, socket, chunk] {
                if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 1024 * 1024) {
                    socket->write(chunk);
                    sent += chunk.size();
                }
            };
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, more);
            more();
            break;
        }
        case Mode::Trickle: {
            socket->write(json + "Content-Length: 1000\r\n\r\n");
            auto* timer = new QTimer(socket);
            QObject::connect(timer, &QTimer::timeout, socket, [this, socket] {
                socket->write(" ");
                sent += 1;
            });
            timer->start(150);
            break;
        }
        case Mode::CutShort:
            socket->write(json + "Content-Length: 100\r\n\r\n{\"version\":");
            socket->flush();
            socket->disconnectFromHost();
            break;
        case Mode::Empty:
            socket->write(json + "Content-Length: 0\r\n\r\n");
            break;
        case Mode::HeadersThenClose:
            socket->write(json + "Connection: close\r\n\r\n");
            socket->flush();
            socket->disconnectFromHost();
            break;
        }
    }

    Mode m_mode;
    QTcpServer m_server;
    QByteArray m_request;
    QList<QTcpSocket*> m_answered;
};

struct Outcome {
    bool called = false;
    bool success = false;
    platform::Error transportError;
};

void start(const QUrl& url, int timeoutMs, Outcome& outcome)
{
    PLRServiceCall call;
    call.url = url;
    call.authenticated = false;
    call.wholeBody = true;
    call.timeoutMs = timeoutMs;
    EXPECT_TRUE(PLRSendServiceRequest(call, [&outcome](bool success, const QVariant&,
                                                        const std::optional<PLRServiceError>&,
                                                        const platform::Error& transport) {
        outcome = Outcome{true, success, transport};
    }));
}

Outcome send(const QUrl& url, int timeoutMs = kPLRServiceRequestTimeoutMs)
{
    Outcome outcome;
    start(url, timeoutMs, outcome);
    EXPECT_TRUE(testing_support::waitUntil([&] { return outcome.called; }, 20000));
    return outcome;
}

} // namespace

TEST(ServiceAnswerBounds, EndlessTricklingCutAndEmptyAnswersAreTransportErrors)
{
    {
        HostileServer server(HostileServer::Mode::Endless);
        const Outcome outcome = send(server.url("/core/supported"));
        EXPECT_FALSE(outcome.success);
        EXPECT_EQ(outcome.transportError.code, platform::urlerror::DataLengthExceedsMaximum);
        EXPECT_LT(server.sent, 64 * kPLRServiceAnswerMaxBytes);
    }
    {
        // One byte now and then keeps the transfer alive; the whole answer still has a limit,
        // counted from the request on the clock.
        platform::ManualClock& clock = platform::ManualClock::install();
        HostileServer server(HostileServer::Mode::Trickle);
        Outcome outcome;
        start(server.url("/core/supported"), 1200, outcome);
        ASSERT_TRUE(testing_support::waitUntil([&] { return server.sent >= 2; }));
        clock.advance(1.199);
        testing_support::drainEvents();
        EXPECT_FALSE(outcome.called);
        clock.advance(0.001);
        ASSERT_TRUE(testing_support::waitUntil([&] { return outcome.called; }));
        platform::Clock::setShared(nullptr);
        EXPECT_FALSE(outcome.success);
        EXPECT_EQ(outcome.transportError.code, platform::urlerror::TimedOut);
        EXPECT_TRUE(isLossOfInternet(outcome.transportError));
    }
    {
        HostileServer server(HostileServer::Mode::CutShort);
        const Outcome outcome = send(server.url("/core/supported"));
        EXPECT_FALSE(outcome.success);
        EXPECT_TRUE(outcome.transportError.isValid());
    }
    for (const auto mode : {HostileServer::Mode::Empty, HostileServer::Mode::HeadersThenClose}) {
        HostileServer server(mode);
        const Outcome outcome = send(server.url("/core/supported"));
        EXPECT_FALSE(outcome.success);
        EXPECT_EQ(outcome.transportError.code, platform::urlerror::BadServerResponse);
    }
}

TEST_F(ServiceTest, ASignInLeavesNoCredentialInTheLogsOrSettings)
{
    // Every line at every level, and the log file itself.
    std::mutex mutex;
    QStringList lines;
    const int capture = platform::log::addCapture([&](platform::log::Level, const QString& line) {
        std::lock_guard lock(mutex);
        lines << line;
    });
    platform::log::Options options;
    options.terminal = false;
    options.level = platform::log::Level::Trace;
    options.fileDirectory = platform::paths::logDirectory();
    platform::log::setup(options);

    PLRWebServiceManager::globalManager().beginManager();
    ASSERT_TRUE(waitForState(PLRWSM_STATE_STABLE));
    bool done = false;
    bool success = false;
    ASSERT_TRUE(PLRCoreManager::signInUserWithEmail(
        testing_support::DevService::demoEmail(), testing_support::DevService::demoPassword(),
        [&](bool ok, const QVariant&, const PLRServiceError*, const platform::Error&) {
            done = true;
            success = ok;
        }));
    ASSERT_TRUE(testing_support::waitUntil([&] { return done; }));
    ASSERT_TRUE(success);
    const QString token = PLRCoreManager::userSession()->jwt();
    ASSERT_FALSE(token.isEmpty());
    // The requests that follow a sign-in carry the token: none of their log lines shows it.
    EXPECT_TRUE(testing_support::holdsFor([&] {
        std::lock_guard lock(mutex);
        return std::none_of(lines.begin(), lines.end(), [&](const QString& line) { return line.contains(token); });
    }, 300));

    const QStringList files = platform::log::logFilePaths();
    platform::log::removeCapture(capture);
    platform::log::Options quiet;
    quiet.level = qEnvironmentVariableIsSet("PELLORA_LOG_QUIET") ? platform::log::Level::Warn : platform::log::Level::Info;
    platform::log::setup(quiet);

    const QString password = testing_support::DevService::demoPassword();
    {
        std::lock_guard lock(mutex);
        EXPECT_FALSE(lines.isEmpty());
        for (const QString& line : lines) {
            EXPECT_FALSE(line.contains(password)) << line.toStdString();
            EXPECT_FALSE(line.contains(token)) << line.toStdString();
        }
    }
    ASSERT_FALSE(files.isEmpty());
    QStringList stored = files;
    QDirIterator settings(platform::paths::configDirectory(), QDir::Files, QDirIterator::Subdirectories);
    while (settings.hasNext())
        stored << settings.next();
    for (const QString& path : stored) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        const QByteArray bytes = file.readAll();
        EXPECT_FALSE(bytes.contains(password.toUtf8())) << path.toStdString();
        EXPECT_FALSE(bytes.contains(token.toUtf8())) << path.toStdString();
    }
}
