#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class QLocalServer;

// Files and addresses handed to the application: a second start hands its command-line arguments
// to the running instance over a local socket and ends; the running instance receives them here.
class PLRInstanceChannel : public QObject {
    Q_OBJECT
public:
    explicit PLRInstanceChannel(QString serverName, QObject* parent = nullptr);
    ~PLRInstanceChannel() override;

    // One channel per user, bundle identifier and data folder.
    static QString defaultServerName();

    // True when a running instance took the arguments.
    static bool sendToRunningInstance(const QString& serverName, const QStringList& arguments, int timeoutMs = 2000);

    // Starts listening (a socket left behind by a crashed instance is replaced).
    bool listen();
    QString serverName() const { return m_serverName; }

    // The most a message may carry.
    static constexpr qint64 kMaximumMessageSize = 1 << 20;

signals:
    void argumentsReceived(const QStringList& arguments);

private:
    void acceptConnection();
    QString m_serverName;
    std::unique_ptr<QLocalServer> m_server;
};

// The files and addresses among command-line arguments (options and the program name left out),
// files made absolute.
QStringList PLROpenableArguments(const QStringList& arguments, const QString& workingDirectory);
