#pragma once

#include <QObject>
#include <QStringList>

#include <functional>
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

    // Hands the arguments to the instance that listens under the name and waits until it has
    // taken them, for as long as `stillThere()` (asked between waits of `pollMs`) says that it
    // runs: an instance whose main thread is busy answers late, but it answers. Blocks; for a
    // start before its event loop runs.
    enum class HandOver {
        Taken,     // the instance took them
        Gone,      // it ended (or never listened) before it took them
        Refused,   // it closed the connection without taking them, again and again, or they do
                   // not fit in one message
    };
    static HandOver handOver(const QString& serverName, const QStringList& arguments,
                             const std::function<bool()>& stillThere, int pollMs = 250);

    // Starts listening. Only the instance that holds the store's lock listens, so a socket
    // that nobody answers on is one a crashed instance left behind, and is replaced.
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
