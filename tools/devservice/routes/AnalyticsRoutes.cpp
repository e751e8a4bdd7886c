// The event collector: accepts one JSON event per POST and lists what it accepted.
//
//   POST /api/v1/events?api_key=<key>   an event object -> 202 {"status": "ok"}; a wrong key
//                                       answers 403, a body that is not an event 400
//   GET  /api/v1/events                 {"events": [...]} in the order received
//   DELETE /api/v1/events               forgets them
#include "DevServer.h"

#include <memory>

namespace {

constexpr char kCollectorAPIKey[] = "e81b3f4a09c27d65b1a4f08e3d9c7b52";

} // namespace

DEV_ROUTE_GROUP(registerAnalyticsRoutes)
{
    auto events = std::make_shared<QJsonArray>();

    server.route("POST", QStringLiteral("/api/v1/events"), [events](const DevRequest& request) {
        if (request.query.queryItemValue(QStringLiteral("api_key")) != QLatin1String(kCollectorAPIKey))
            return DevResponse::json(QJsonObject{{QStringLiteral("errors"), QJsonArray{QStringLiteral("Invalid API key")}}}, 403);
        const QJsonObject event = request.json.toObject();
        if (!request.json.isObject() || !event.value(QStringLiteral("title")).isString()
            || !event.value(QStringLiteral("text")).isString())
            return DevResponse::json(QJsonObject{{QStringLiteral("errors"), QJsonArray{QStringLiteral("Not an event")}}}, 400);
        events->append(event);
        return DevResponse::json(QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")}}, 202);
    });

    server.route("GET", QStringLiteral("/api/v1/events"), [events](const DevRequest&) {
        return DevResponse::json(QJsonObject{{QStringLiteral("events"), *events}});
    });

    server.route("DELETE", QStringLiteral("/api/v1/events"), [events](const DevRequest&) {
        *events = QJsonArray();
        return DevResponse::json(QJsonObject{{QStringLiteral("ok"), true}});
    });
}
