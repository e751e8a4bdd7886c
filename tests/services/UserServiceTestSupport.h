#pragma once

// Helpers of the remote-model, user-session and analytics tests.

#include "ServiceTestSupport.h"

#include "platform/Dispatch.h"
#include "services/web-services/PLRServiceRequest.h"

#include <QJsonArray>
#include <QJsonObject>

#include <optional>

namespace user_service_testing {

// What one operation's completion received.
struct Outcome {
    int calls = 0;
    bool success = false;
    bool onMainThread = false;
    QVariant result;
    std::optional<PLRServiceError> serviceError;
    platform::Error transportError;

    bool called() const { return calls > 0; }
};

inline PLRServiceCompletion recordInto(Outcome& outcome)
{
    return [&outcome](bool success, const QVariant& result, const std::optional<PLRServiceError>& serviceError,
                      const platform::Error& transportError) {
        ++outcome.calls;
        outcome.success = success;
        outcome.onMainThread = platform::isMainThread();
        outcome.result = result;
        outcome.serviceError = serviceError;
        outcome.transportError = transportError;
    };
}

// Waits for the completion; checks that it came once, on the main thread.
inline bool finished(Outcome& outcome, int timeoutMs = 5000)
{
    const bool done = testing_support::waitUntil([&] { return outcome.called(); }, timeoutMs);
    EXPECT_EQ(outcome.calls, done ? 1 : 0);
    EXPECT_TRUE(!done || outcome.onMainThread);
    return done;
}

// Sets the demo user's records on the development service (see its /__control/me).
inline QJsonValue setDemoUser(const testing_support::DevService& service, QJsonObject changes)
{
    changes.insert(QStringLiteral("email"), testing_support::DevService::demoEmail());
    return service.control("POST", QStringLiteral("/__control/me"), changes);
}

// A scripted JSON answer for the next request of the path.
inline void scriptBody(const testing_support::DevService& service, const QString& path, const QJsonValue& body,
                       int status = 200, const QString& method = QString())
{
    QJsonObject script{{QStringLiteral("path"), path},
                       {QStringLiteral("body"), body},
                       {QStringLiteral("status"), status}};
    if (!method.isEmpty())
        script.insert(QStringLiteral("method"), method);
    service.script(script);
}

// The logged requests of a path with the given method.
inline QJsonArray requestsOf(const testing_support::DevService& service, const QString& path, const QString& method)
{
    QJsonArray matching;
    for (const QJsonValue& entry : service.requests(path)) {
        if (entry.toObject().value(QStringLiteral("method")).toString() == method)
            matching.append(entry);
    }
    return matching;
}

} // namespace user_service_testing
