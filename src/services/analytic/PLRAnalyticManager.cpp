#include "services/analytic/PLRAnalyticManager.h"

#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/Json.h"
#include "platform/Log.h"
#include "platform/Resets.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QUrlQuery>

#include <algorithm>
#include <cmath>

namespace {

QString queueKey() { return QString::fromLatin1(kPLRAnalyticFailedEventsQueueKey); }

// The queue is stored as JSON text: an array of archived events.
QList<PLRAnalyticEvent> readQueue()
{
    const QByteArray data = platform::UserDefaults::standard().dataForKey(queueKey());
    if (data.isEmpty())
        return {};
    platform::Error error;
    const QVariant parsed = platform::json::parse(data, false, &error);
    if (parsed.typeId() != QMetaType::QVariantList) {
        PLR_LOG_ERROR(QStringLiteral("The stored analytics queue cannot be read: %1").arg(error.toString()));
        return {};
    }
    QList<PLRAnalyticEvent> events;
    for (const QVariant& entry : parsed.toList()) {
        if (std::optional<PLRAnalyticEvent> event = PLRAnalyticEvent::decode(entry))
            events.append(*event);
        else
            PLR_LOG_WARN(QStringLiteral("Skipping an unreadable entry of the analytics queue"));
    }
    return events;
}

void writeQueue(const QList<PLRAnalyticEvent>& events)
{
    QVariantList list;
    for (const PLRAnalyticEvent& event : events)
        list.append(event.encode());
    platform::Error error;
    const QByteArray data = platform::json::write(list, false, &error);
    if (data.isEmpty()) {
        PLR_LOG_ERROR(QStringLiteral("The analytics queue cannot be written: %1").arg(error.toString()));
        return;
    }
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.setObject(queueKey(), data);
    defaults.synchronize();
}

void appendEvent(QMutex& lock, int maximumLength, const PLRAnalyticEvent& event)
{
    PLR_LOG_INFO(QStringLiteral("adding event with ID %1: title %2").arg(event.eventID(), event.eventTitle()));
    QMutexLocker locker(&lock);
    QList<PLRAnalyticEvent> events = readQueue();
    events.append(event);
    if (events.size() > maximumLength) {
        const qsizetype dropped = events.size() - maximumLength;
        PLR_LOG_WARN(QStringLiteral("The analytics queue is full (%1 events): dropping the %2 oldest")
                         .arg(maximumLength)
                         .arg(dropped));
        events.remove(0, dropped);
    }
    PLR_LOG_INFO(QStringLiteral("number of events in queue %1").arg(events.size()));
    writeQueue(events);
}

} // namespace

// ---- one send ----

PLRAnalyticEventAPI::PLRAnalyticEventAPI(QObject* parent) : QObject(parent) {}

PLRAnalyticEventAPI::~PLRAnalyticEventAPI() = default;

QUrl PLRAnalyticEventAPI::eventsURL()
{
    QString base = platform::UserDefaults::standard().stringForKey(QString::fromLatin1(kPLRAnalyticCollectorURLKey));
    if (base.isEmpty())
        base = QString::fromLatin1(kPLRAnalyticDefaultCollectorURL);
    QUrl url(base);
    url.setPath(QString::fromLatin1(kPLRAnalyticEventsPath));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("api_key"), QString::fromLatin1(kPLRAnalyticAPIKey));
    url.setQuery(query);
    return url;
}

void PLRAnalyticEventAPI::logAnalyticEvent(const PLRAnalyticEvent& event, Callback callback)
{
    m_completionBlock = std::move(callback);
    // A session of its own for each send.
    m_session = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request(eventsURL());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(kTransferTimeoutMs);
    QNetworkReply* reply = m_session->post(request, event.jsonRepresentation().toUtf8());
    QPointer<PLRAnalyticEventAPI> self(this);
    connect(reply, &QNetworkReply::finished, this, [self, reply] {
        reply->deleteLater();
        const platform::Error transport = platform::transportError(reply);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (!self)
            return;
        Callback completion = std::move(self->m_completionBlock);
        self->m_completionBlock = nullptr;
        if (completion)
            completion(transport, status);
    });
}

// ---- the queue ----

PLRAnalyticManager& PLRAnalyticManager::coreAnalyticManager()
{
    // Made once (thread-safe static); owned by the application object when there is one.
    static PLRAnalyticManager* manager = [] {
        auto* created = new PLRAnalyticManager();
        if (QCoreApplication* app = QCoreApplication::instance()) {
            created->moveToThread(app->thread());
            created->setParent(app);
        }
        return created;
    }();
    // Back to its start between runs (the tests' reset registry): no timer, no sender, and so no
    // send left on its way while the next run starts or the process ends; and every event fired
    // so far written where its run keeps its settings, not into the next run's.
    static const bool joined = platform::resets::add([] {
        manager->m_appendQueue->waitUntilIdle();
        manager->m_eventDispatchTimer.stop();
        manager->m_eventDispatchAPI.reset();
        manager->m_state->inProgress = false;
        manager->m_serverFailures = 0;
        manager->m_backoffDelay = 0.0;
        manager->m_nextAttempt = QDateTime();
    });
    Q_UNUSED(joined);
    return *manager;
}

PLRAnalyticManager::PLRAnalyticManager(QObject* parent)
    : QObject(parent),
      m_state(std::make_shared<State>()),
      m_appendQueue(std::make_unique<platform::SerialQueue>(QStringLiteral("ANALYTICS QUEUE")))
{
    m_eventDispatchTimer.setRepeating(true);
}

PLRAnalyticManager::~PLRAnalyticManager()
{
    // Events fired before the end are still written.
    m_appendQueue.reset();
}

void PLRAnalyticManager::setup(double tickSeconds)
{
    if (!m_eventDispatchAPI)
        m_eventDispatchAPI = std::make_unique<PLRAnalyticEventAPI>();
    m_eventDispatchTimer.start(std::max(0.001, tickSeconds));
}

double PLRAnalyticManager::tickInterval() const
{
    return m_eventDispatchTimer.interval();
}

void PLRAnalyticManager::fireAnalyticEvent(const PLRAnalyticEvent& event)
{
    std::shared_ptr<State> state = m_state;
    m_appendQueue->async([state, event] { appendEvent(state->lock, state->maximumLength.load(), event); });
}

void PLRAnalyticManager::addEvent(const PLRAnalyticEvent& event)
{
    appendEvent(m_state->lock, m_state->maximumLength.load(), event);
}

void PLRAnalyticManager::setMaximumQueueLength(int length)
{
    m_state->maximumLength = std::max(1, length);
}

QDateTime PLRAnalyticManager::now() const
{
    return platform::Clock::shared().wallTime();
}

void PLRAnalyticManager::noteAnswer(int statusCode)
{
    if (statusCode < 500 || statusCode > 599) {
        m_serverFailures = 0;
        m_backoffDelay = 0.0;
        m_nextAttempt = QDateTime();
        return;
    }
    // The collector is in trouble: leave it alone for a while, longer each time.
    ++m_serverFailures;
    const double tick = std::max(tickInterval(), 0.001);
    m_backoffDelay = std::min(tick * std::pow(2.0, std::min(m_serverFailures, 30)), kMaximumBackoffSeconds);
    m_nextAttempt = now().addMSecs(qint64(m_backoffDelay * 1000.0));
    PLR_LOG_WARN(QStringLiteral("The analytics collector failed %1 time(s) in a row; next send in %2 s")
                     .arg(m_serverFailures)
                     .arg(m_backoffDelay));
}

QList<PLRAnalyticEvent> PLRAnalyticManager::loadEvents() const
{
    QMutexLocker locker(&m_state->lock);
    return readQueue();
}

void PLRAnalyticManager::saveEvents(const QList<PLRAnalyticEvent>& events)
{
    QMutexLocker locker(&m_state->lock);
    writeQueue(events);
}

std::optional<PLRAnalyticEvent> PLRAnalyticManager::eventToDispatch() const
{
    const QList<PLRAnalyticEvent> events = loadEvents();
    if (events.isEmpty())
        return std::nullopt;
    return events.first();
}

void PLRAnalyticManager::removeEventFromQueue(const PLRAnalyticEvent& event)
{
    QMutexLocker locker(&m_state->lock);
    QList<PLRAnalyticEvent> events = readQueue();
    const qsizetype removed =
        events.removeIf([&event](const PLRAnalyticEvent& queued) { return queued.eventID() == event.eventID(); });
    if (removed > 0)
        writeQueue(events);
}

bool PLRAnalyticManager::statusRemovesEvent(int statusCode)
{
    if (statusCode >= 200 && statusCode <= 299)
        return true;
    if (statusCode == 408 || statusCode == 429)
        return false;
    return statusCode >= 400 && statusCode <= 499;
}

void PLRAnalyticManager::dispatchNextEvent()
{
    if (m_nextAttempt.isValid() && now() < m_nextAttempt)
        return;
    bool idle = false;
    if (!m_state->inProgress.compare_exchange_strong(idle, true))
        return;
    const std::optional<PLRAnalyticEvent> event = eventToDispatch();
    if (!event || !m_eventDispatchAPI) {
        m_state->inProgress = false;
        return;
    }
    PLR_LOG_INFO(QStringLiteral("dispatching event with ID %1: title %2").arg(event->eventID(), event->eventTitle()));
    QPointer<PLRAnalyticManager> self(this);
    const PLRAnalyticEvent sent = *event;
    m_eventDispatchAPI->logAnalyticEvent(sent, [self, sent](const platform::Error& transport, int status) {
        if (!self)
            return;
        if (!transport.isValid())
            self->noteAnswer(status);
        if (transport.isValid()) {
            PLR_LOG_WARN(QStringLiteral("failed to dispatch event with ID %1: title %2 (%3)")
                             .arg(sent.eventID(), sent.eventTitle(), transport.toString()));
        } else if (statusRemovesEvent(status)) {
            if (status >= 200 && status <= 299)
                PLR_LOG_INFO(QStringLiteral("successfully dispatched event with ID %1: title %2")
                                 .arg(sent.eventID(), sent.eventTitle()));
            else
                PLR_LOG_WARN(QStringLiteral("collector rejected event with ID %1: title %2 (status %3); dropped")
                                 .arg(sent.eventID(), sent.eventTitle())
                                 .arg(status));
            self->removeEventFromQueue(sent);
        } else {
            PLR_LOG_WARN(QStringLiteral("failed to dispatch event with ID %1: title %2 (status %3)")
                             .arg(sent.eventID(), sent.eventTitle())
                             .arg(status));
        }
        self->m_state->inProgress = false;
    });
}
