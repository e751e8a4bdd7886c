#include "DevService.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

#include "TestSupport.h"
#include "platform/UserDefaults.h"

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace testing_support {

DevService::DevService() = default;

DevService::~DevService() { stop(); }

QString DevService::executablePath()
{
    const QString binary = qEnvironmentVariable("PELLORA_BINARY_DIR");
    if (!binary.isEmpty())
        return binary + QStringLiteral("/tools/devservice/pellora-devservice");
#ifdef PELLORA_DEVSERVICE_PATH
    return QStringLiteral(PELLORA_DEVSERVICE_PATH);
#else
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/devservice/pellora-devservice");
#endif
}

bool DevService::start(const QStringList& arguments)
{
    stop();
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    // The service dies with the test binary, even when the binary crashes or is killed.
    const pid_t parent = ::getpid();
    m_process->setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(1);
    });
    m_process->start(executablePath(), QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
    if (!m_process->waitForStarted(5000)) {
        qWarning("devservice did not start: %s", qPrintable(m_process->errorString()));
        m_process.reset();
        return false;
    }
    static const QRegularExpression listening(QStringLiteral("listening on http://127\\.0\\.0\\.1:(\\d+)"));
    QByteArray output;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (!m_process->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        output += m_process->readAllStandardOutput();
        const QRegularExpressionMatch match = listening.match(QString::fromUtf8(output));
        if (match.hasMatch()) {
            m_port = quint16(match.captured(1).toUInt());
            return true;
        }
    }
    qWarning("devservice did not report its port: %s %s", output.constData(),
             m_process->readAllStandardError().constData());
    stop();
    return false;
}

void DevService::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(3000)) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }
    m_process.reset();
    m_port = 0;
}

bool DevService::terminate(QString* report)
{
    if (!isRunning()) {
        if (report)
            *report = QStringLiteral("not running");
        return false;
    }
    m_process->terminate();
    const bool finished = m_process->waitForFinished(20000);
    const bool clean = finished && m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
    if (report) {
        const QByteArray errors = m_process->readAllStandardError();
        *report = !finished ? QStringLiteral("still running 20 s after SIGTERM")
                  : m_process->exitStatus() == QProcess::CrashExit
                      ? QStringLiteral("crashed")
                      : QStringLiteral("exit code %1").arg(m_process->exitCode());
        report->append(QStringLiteral("\n") + QString::fromUtf8(errors.right(4000)));
    }
    stop();
    return clean;
}

bool DevService::isRunning() const { return m_process && m_process->state() == QProcess::Running; }

QUrl DevService::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}

void DevService::useAsCustomHost() const
{
    auto& defaults = platform::UserDefaults::standard();
    defaults.setString(QStringLiteral("WEB_SERVICE_KEY_HOST"), QStringLiteral("127.0.0.1"));
    defaults.setString(QStringLiteral("WEB_SERVICE_KEY_PORT"), QString::number(m_port));
    defaults.setBool(QStringLiteral("WEB_SERVICE_KEY_HTTPS"), false);
    defaults.setString(QStringLiteral("WEB_SERVICE_HOST_TYPE"), QStringLiteral("PLRWebServiceHost_CUSTOM"));
}

QJsonValue DevService::control(const QByteArray& method, const QString& path, const QJsonObject& body) const
{
    QNetworkAccessManager network;
    QUrl url = baseUrl();
    const qsizetype question = path.indexOf(QLatin1Char('?'));
    url.setPath(question < 0 ? path : path.left(question));
    if (question >= 0)
        url.setQuery(path.mid(question + 1));
    QNetworkRequest request(url);
    request.setTransferTimeout(5000);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    const QByteArray payload = body.isEmpty() ? QByteArray() : QJsonDocument(body).toJson(QJsonDocument::Compact);
    QNetworkReply* reply = network.sendCustomRequest(request, method, payload);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    const QByteArray answer = reply->readAll();
    const bool failed = reply->error() != QNetworkReply::NoError;
    if (failed)
        qWarning("devservice control %s %s failed: %s", method.constData(), qPrintable(path),
                 qPrintable(reply->errorString()));
    reply->deleteLater();
    if (failed)
        return QJsonValue(QJsonValue::Undefined);
    const QJsonDocument document = QJsonDocument::fromJson(answer);
    return document.isObject() ? QJsonValue(document.object()) : QJsonValue(QJsonValue::Undefined);
}

void DevService::scriptServiceError(const QString& path, int code, int status, int count) const
{
    script(QJsonObject{{QStringLiteral("path"), path},
                       {QStringLiteral("code"), code},
                       {QStringLiteral("status"), status},
                       {QStringLiteral("count"), count}});
}

void DevService::script(const QJsonObject& script) const
{
    control("POST", QStringLiteral("/__control/script"), script);
}

QJsonArray DevService::requests(const QString& path) const
{
    const QString query = path.isEmpty() ? QString()
                                         : QStringLiteral("?path=") + QString::fromLatin1(QUrl::toPercentEncoding(path));
    return control("GET", QStringLiteral("/__control/requests") + query)
        .toObject()
        .value(QStringLiteral("requests"))
        .toArray();
}

void DevService::clearRequests() const { control("DELETE", QStringLiteral("/__control/requests")); }

void DevService::goDown(int durationMs) const
{
    control("POST", QStringLiteral("/__control/down"), QJsonObject{{QStringLiteral("duration_ms"), durationMs}});
}

bool DevService::comeBackUp(int timeoutMs) const
{
    // The service cannot be asked while it is down: a signal tells it.
    if (!isRunning() || ::kill(pid_t(m_process->processId()), SIGUSR1) != 0)
        return false;
    return waitUntilUp(timeoutMs);
}

namespace {

bool accepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    const bool connected = socket.waitForConnected(500);
    socket.abort();
    return connected;
}

} // namespace

bool DevService::waitUntilDown(int timeoutMs) const
{
    return testing_support::waitUntil([this] { return !accepts(m_port); }, timeoutMs);
}

bool DevService::waitUntilUp(int timeoutMs) const
{
    return testing_support::waitUntil([this] { return accepts(m_port); }, timeoutMs);
}

void DevService::setMinimumVersion(const QString& version) const
{
    control("POST", QStringLiteral("/__control/supported"), QJsonObject{{QStringLiteral("version"), version}});
}

QString DevService::addUser(const QString& email, const QString& password) const
{
    return control("POST", QStringLiteral("/__control/users"),
                   QJsonObject{{QStringLiteral("email"), email}, {QStringLiteral("password"), password}})
        .toObject()
        .value(QStringLiteral("user_id"))
        .toString();
}

QString DevService::tokenFor(const QString& email) const
{
    return control("POST", QStringLiteral("/__control/tokens"), QJsonObject{{QStringLiteral("email"), email}})
        .toObject()
        .value(QStringLiteral("jwt"))
        .toString();
}

int DevService::pushSocketEvent(const QString& postId, const QString& event, const QJsonObject& payload) const
{
    return control("POST", QStringLiteral("/__control/socket"),
                   QJsonObject{{QStringLiteral("post"), postId},
                               {QStringLiteral("event"), event},
                               {QStringLiteral("payload"), payload}})
        .toObject()
        .value(QStringLiteral("sent"))
        .toInt();
}

int DevService::pushRawSocketMessage(const QString& text) const
{
    return control("POST", QStringLiteral("/__control/socket"), QJsonObject{{QStringLiteral("raw"), text}})
        .toObject()
        .value(QStringLiteral("sent"))
        .toInt();
}

int DevService::openSockets() const
{
    return control("GET", QStringLiteral("/__control/sockets")).toObject().value(QStringLiteral("count")).toInt();
}

int DevService::sendSupportMessage(const QString& text) const
{
    return control("POST", QStringLiteral("/__control/support-message"), QJsonObject{{QStringLiteral("text"), text}})
        .toObject()
        .value(QStringLiteral("sent"))
        .toInt();
}

void DevService::setChatPageScript(const QString& script) const
{
    control("POST", QStringLiteral("/__control/chat-page"), QJsonObject{{QStringLiteral("script"), script}});
}

} // namespace testing_support
