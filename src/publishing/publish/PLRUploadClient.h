#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QAbstractSocket;
class QFile;

// Sends PUT requests whose bodies are streamed from files, over keep-alive HTTP/1.1 connections
// (http, or https through TLS) with Nagle's delay turned off: the last segment of each body goes
// out at once instead of waiting for the acknowledgement of the one before. At most
// `maxConnectionsPerHost` connections per host and port; further requests wait in order. A
// connection that receives an answer no request waits for (a host answering twice) is closed, and
// so is one whose answer comes before the request's body was sent whole: a success then is no
// success for the request, which is sent again on a new connection (a few times at most); an
// error then is the request's answer.
// Main thread; completions are called there.
class PLRUploadClient : public QObject {
    Q_OBJECT
public:
    struct Result {
        int status = 0;               // 0 with a transport error
        QByteArray body;
        platform::Error transport;    // valid when no complete answer arrived
    };
    using Completion = std::function<void(const Result& result)>;

    explicit PLRUploadClient(int maxConnectionsPerHost = 6, QObject* parent = nullptr);
    ~PLRUploadClient() override;

    // Queues a PUT of the file's bytes to the address. The time-out is a transfer time-out: the
    // request fails with a timed-out error when nothing moves for that long, and also when it
    // makes no real progress (see PLRUploadClient.cpp) for a few time-outs, however often a
    // trickling host moves a byte. Returns the task's number; the completion runs exactly once
    // unless the task is cancelled.
    quint64 put(const QUrl& url, const QString& filePath, Completion completion, int timeoutMs);
    // Drops the task without calling its completion (its connection is closed when running).
    void cancel(quint64 task);
    // Drops every task and closes every connection.
    void cancelAll();
    int runningTasks() const { return int(m_tasks.size()); }
    // Connections opened since the client was made (for tests of the reuse of connections).
    int connectionsOpened() const { return m_connectionsOpened; }
    // Connections open now, and those of them whose socket has Nagle's delay off.
    int openConnections() const;
    int connectionsWithLowDelay() const;

private:
    struct Task;
    struct Connection;
    using TaskPtr = std::shared_ptr<Task>;
    using ConnectionPtr = std::shared_ptr<Connection>;

    static QString hostKey(const QUrl& url);
    void dispatch(const QString& key);
    void startOn(const ConnectionPtr& connection, const TaskPtr& task);
    void openConnection(const QString& key, const TaskPtr& task);
    void sendHead(const ConnectionPtr& connection);
    void pumpBody(const ConnectionPtr& connection);
    void readAnswer(const ConnectionPtr& connection);
    // Decodes what has arrived of a chunked body; false (and why) when it is malformed or longer
    // than an answer may be. The answer is complete once the connection's step is Done.
    static bool decodeChunks(Connection& connection, QString* why);
    void socketFailed(const ConnectionPtr& connection, const platform::Error& error);
    void finishTask(const ConnectionPtr& connection, const Result& result, bool keepConnection);
    void dropConnection(const ConnectionPtr& connection);
    void touch(const ConnectionPtr& connection);
    // Counts bytes that moved for the request (or a step that completes a part of it) towards
    // the real progress that keeps it going.
    void progressed(const ConnectionPtr& connection, qint64 bytes, bool milestone);
    static bool hasUnaskedBytes(const Connection& connection);
    // Whether the whole request has been handed to the network.
    static bool requestSentWhole(const Connection& connection);
    // A success that came before the body was sent whole: the connection is closed and the
    // request sent again on a new one, a few times at most, then failed.
    void answeredBeforeSent(const ConnectionPtr& connection);
    void scheduleDispatch(const QString& key);

    int m_maxConnectionsPerHost;
    quint64 m_nextTask = 0;
    int m_connectionsOpened = 0;
    QHash<quint64, TaskPtr> m_tasks;                  // queued or running
    QHash<QString, QList<TaskPtr>> m_queued;          // per host, in order
    QHash<QString, QList<ConnectionPtr>> m_connections;
};
