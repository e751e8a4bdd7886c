#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

namespace testing_support {

// The local development service (pellora-devservice) run for one test on a free loopback
// port, with synchronous calls to its control interface. Stopped when destroyed.
class DevService {
public:
    DevService();
    ~DevService();
    DevService(const DevService&) = delete;
    DevService& operator=(const DevService&) = delete;

    // $PELLORA_BINARY_DIR/tools/devservice/pellora-devservice, else the path of the build.
    static QString executablePath();

    // Starts it (extra command-line arguments allowed) and waits until it listens.
    bool start(const QStringList& arguments = {});
    void stop();
    // Stops it as the system does (SIGTERM) and answers whether it ended by itself with exit
    // code 0; otherwise *report says how it ended, with the end of what it wrote to stderr.
    bool terminate(QString* report = nullptr);
    bool isRunning() const;

    quint16 port() const { return m_port; }
    QUrl baseUrl() const;

    // Points the application's custom host at the service and selects the custom host type
    // (without the host-change notification: call before the web-service manager starts).
    void useAsCustomHost() const;

    static QString demoEmail() { return QStringLiteral("demo@pellora.test"); }
    static QString demoPassword() { return QStringLiteral("pellora-demo"); }

    // ---- control interface (see tools/devservice/routes/ControlRoutes.cpp) ----
    // The answer body as JSON (Undefined when the call failed).
    QJsonValue control(const QByteArray& method, const QString& path, const QJsonObject& body = {}) const;
    // The next `count` requests of the path answer {"code": code} with the status.
    void scriptServiceError(const QString& path, int code, int status = 400, int count = 1) const;
    void script(const QJsonObject& script) const;
    QJsonArray requests(const QString& path = QString()) const;
    void clearRequests() const;
    // A moment after the call the service stops listening and drops every connection; it
    // listens again after the time given or, without one, once comeBackUp() asks.
    void goDown(int durationMs = -1) const;
    // Ends a going down at once (also one still to come) and waits until the service accepts
    // connections again.
    bool comeBackUp(int timeoutMs = 5000) const;
    // Waits (event loop running) until the service refuses connections, or again accepts them.
    bool waitUntilDown(int timeoutMs = 5000) const;
    bool waitUntilUp(int timeoutMs = 5000) const;
    void setMinimumVersion(const QString& version) const;
    QString addUser(const QString& email, const QString& password) const;
    // A session token issued for the account, without a log-in request.
    QString tokenFor(const QString& email) const;
    // Sends {"event", "payload" + "post"} to every open socket; answers how many got it.
    int pushSocketEvent(const QString& postId, const QString& event, const QJsonObject& payload = {}) const;
    int pushRawSocketMessage(const QString& text) const;
    int openSockets() const;
    // Support writes to every open chat page; answers how many pages got it.
    int sendSupportMessage(const QString& text) const;
    // A script the chat page runs after its own from now on ("" = none).
    void setChatPageScript(const QString& script) const;

private:
    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;
};

} // namespace testing_support
