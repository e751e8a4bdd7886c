#pragma once

#include "services/analytic/PLRAnalyticEvent.h"
#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/Error.h"

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

// User-default key of the queue of events still to be sent (oldest first).
inline constexpr char kPLRAnalyticFailedEventsQueueKey[] = "kPLRAnalyticFailedEventsQueueKey";
// User-default key of the event collector's address (scheme, host and port); absent: the
// production collector below. Events go to <address>/api/v1/events.
inline constexpr char kPLRAnalyticCollectorURLKey[] = "analytics_collector_url";
inline constexpr char kPLRAnalyticDefaultCollectorURL[] = "https://events.pellora.app";
inline constexpr char kPLRAnalyticEventsPath[] = "/api/v1/events";
inline constexpr char kPLRAnalyticAPIKey[] = "e81b3f4a09c27d65b1a4f08e3d9c7b52";

// Sends one event to the collector: a POST of the event's wire form. One send at a time per
// object. The callback runs on the thread that sent it, with the transport error (invalid when
// the collector answered) and the HTTP status (0 without an answer).
class PLRAnalyticEventAPI : public QObject {
    Q_OBJECT

public:
    using Callback = std::function<void(const platform::Error& transportError, int statusCode)>;

    explicit PLRAnalyticEventAPI(QObject* parent = nullptr);
    ~PLRAnalyticEventAPI() override;

    void logAnalyticEvent(const PLRAnalyticEvent& event, Callback callback);

    // <collector address>/api/v1/events?api_key=<key>.
    static QUrl eventsURL();

    static constexpr int kTransferTimeoutMs = 30000;

private:
    Callback m_completionBlock;
    std::unique_ptr<QNetworkAccessManager> m_session;
};

// The queue of analytics events: kept in the user defaults so that it survives restarts, and
// sent one event at a time, oldest first, on a repeating timer (every 5 s). An event leaves the
// queue when the collector accepted it (2xx) or rejected it for good (a 4xx other than 408 and
// 429); after a transport error, 408, 429 or 5xx it stays first and is sent again at a later tick.
// While the collector keeps answering 5xx the sends back off (twice the tick after the first
// such answer, doubling up to kMaximumBackoffSeconds). The queue holds at most
// maximumQueueLength() events: beyond that the oldest are dropped (logged).
class PLRAnalyticManager : public QObject {
    Q_OBJECT

public:
    // The shared manager (made once, thread-safely; lives for the run).
    static PLRAnalyticManager& coreAnalyticManager();

    explicit PLRAnalyticManager(QObject* parent = nullptr);
    ~PLRAnalyticManager() override;

    // Makes the sender and starts the repeating timer (main thread).
    void setup(double tickSeconds = 5.0);
    double tickInterval() const;

    // Queues the event from a background queue (what every caller uses). Events are queued in
    // the order in which they were fired.
    void fireAnalyticEvent(const PLRAnalyticEvent& event);

    // Queue operations, each a locked read-modify-write of the stored queue.
    void addEvent(const PLRAnalyticEvent& event);
    // The stored queue; empty when none is stored or it cannot be read (logged).
    QList<PLRAnalyticEvent> loadEvents() const;
    void saveEvents(const QList<PLRAnalyticEvent>& events);
    std::optional<PLRAnalyticEvent> eventToDispatch() const;
    // Removes every queued event with the event's identifier.
    void removeEventFromQueue(const PLRAnalyticEvent& event);

    // One tick: sends the first queued event unless a send is under way.
    void dispatchNextEvent();

    bool eventDispatchInProgress() const { return m_state->inProgress.load(); }
    PLRAnalyticEventAPI* eventDispatchAPI() const { return m_eventDispatchAPI.get(); }

    // Whether an answer of the collector with this HTTP status removes the event.
    static bool statusRemovesEvent(int statusCode);

    static constexpr int kDefaultMaximumQueueLength = 500;
    static constexpr double kMaximumBackoffSeconds = 600.0;
    void setMaximumQueueLength(int length);
    int maximumQueueLength() const { return m_state->maximumLength.load(); }

    // The pause the sends keep after 5xx answers (0 when none); main thread.
    double backoffDelay() const { return m_backoffDelay; }

private:
    struct State {
        QMutex lock;
        std::atomic<bool> inProgress{false};
        std::atomic<int> maximumLength{kDefaultMaximumQueueLength};
    };
    QDateTime now() const;
    void noteAnswer(int statusCode);
    std::shared_ptr<State> m_state;
    platform::ClockTimer m_eventDispatchTimer{this, [this] { dispatchNextEvent(); }};
    std::unique_ptr<PLRAnalyticEventAPI> m_eventDispatchAPI;
    // The background appends, one after another in firing order; drained before the state goes.
    std::unique_ptr<platform::SerialQueue> m_appendQueue;
    int m_serverFailures = 0;
    double m_backoffDelay = 0.0;
    QDateTime m_nextAttempt;
};
