#pragma once

#include "platform/Clock.h"
#include "platform/Error.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <atomic>
#include <functional>

class QNetworkReply;

// The probe of one service host: fetches the health URL, then checks the local network every
// checkInterval seconds and fetches again about every refetchInterval seconds (at once after
// each check while it reads "no internet", and at once when the local check goes down). Its
// verdict:
//   0 reachable (any HTTP answer), 1 the host cannot be reached (-1003, -1004),
//   2 no internet (at creation; -1009, -1008, -1006, -1005, -1001; any failed fetch while the
//     local check says the network is down),
//   3 any other failure.
// A fetch that gets an answer outranks the local check. The hooks run on the main thread when
// the verdict changes, and only then: a first answer that confirms the verdict at creation
// calls none. answered() tells (once, on the main thread) that the first verdict is in.
class PLRServiceReacher : public QObject {
    Q_OBJECT

public:
    using Hook = std::function<void(PLRServiceReacher* reacher)>;

    struct Timing {
        double checkInterval = 3.0;     // between local checks
        double refetchInterval = 60.0;  // least time between fetches while reachable
    };
    // The timing of reachers created from now on (tests shorten it).
    static void setDefaultTiming(const Timing& timing);
    static Timing defaultTiming();

    static std::unique_ptr<PLRServiceReacher> reacherWithHostname(const QUrl& host);
    explicit PLRServiceReacher(const QUrl& host, QObject* parent = nullptr);
    ~PLRServiceReacher() override;

    const QUrl& host() const { return m_host; }
    bool isActive() const { return m_active; }
    // Whether a fetch is under way.
    bool isFetching() const { return !m_reply.isNull(); }
    qint64 status() const { return m_status.load(); }
    bool isReachable() const { return status() == 0; }
    QDateTime lastTimeReachabilityCheckTime() const { return m_lastTimeReachabilityCheckTime; }
    const Timing& timing() const { return m_timing; }
    void setTiming(const Timing& timing) { m_timing = timing; }

    void setReachableBlock(Hook hook) { m_reachableBlock = std::move(hook); }
    void setUnreachableBlock(Hook hook) { m_unreachableBlock = std::move(hook); }
    // Drops both hooks.
    void clearHooks();

    // Starts the cycle with a first fetch; true when active.
    bool startNotifier();
    // Stops the cycle: the fetch in flight is abandoned and nothing more is scheduled.
    bool stopNotifier();

    // Fetches the health URL afresh now, while active (the user asks to try again): a fetch still
    // on its way, sent before whatever the user waited for, is dropped for the new one, and the
    // cycle goes on from the new answer.
    void checkNow();

    // The verdict for a fetch's transport error (an invalid error: 0).
    static qint64 statusForError(const platform::Error& error);

    // Whether a verdict has come in yet (or one was noted): a fetch's answer counts once its
    // queued report has run, so the state its hooks set is the one that is read.
    bool hasAnswered() const { return m_reported; }

    // Records a verdict learnt elsewhere (the version check) without calling the hooks, so the
    // next fetch that disagrees reports the change.
    void noteStatus(qint64 status)
    {
        m_status.store(status);
        m_answered = true;
        m_reported = true;
    }

    // The cycle's steps.
    void sendPing();
    void processResult(const platform::Error& error);
    // Stores the verdict; a change calls a hook (later, on the main thread).
    void processNewStatus(qint64 status);
    void performTimeout();
    void performNetworkReachability();

Q_SIGNALS:
    // The first verdict is in (after the hooks it called, if any).
    void answered();

private:
    bool isLocallyReachable() const;
    // Abandons the fetch in flight, if any: its answer is never read.
    void dropFetch();

    QUrl m_host;
    bool m_active = false;
    bool m_answered = false;
    bool m_reported = false;
    bool m_locallyReachable = true;
    std::atomic<qint64> m_status{2};
    QDateTime m_lastTimeReachabilityCheckTime;
    Hook m_reachableBlock;
    Hook m_unreachableBlock;
    Timing m_timing;
    platform::ClockTimer m_timer{this, [this] { performNetworkReachability(); }};
    QPointer<QNetworkReply> m_reply;
};
