// /core: health, supported versions and the password-reset page; /pellora/update-feed.json:
// the update feed of builds pointed at this service (never a newer version).
#include "DevServer.h"

DEV_ROUTE_GROUP(registerCoreRoutes)
{
    server.route("GET", QStringLiteral("/core/health"), [](const DevRequest&) {
        return DevResponse::json(QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")}});
    });

    server.route("GET", QStringLiteral("/core/supported"), [&server](const DevRequest&) {
        return DevResponse::json(QJsonObject{{QStringLiteral("version"), server.store().minimumVersion()}});
    });

    server.route("GET", QStringLiteral("/pellora/update-feed.json"), [&server](const DevRequest&) {
        return DevResponse::json(QJsonObject{
            {QStringLiteral("version"), QStringLiteral("0.0.1")},
            {QStringLiteral("download_url"), QStringLiteral("http://127.0.0.1:%1/downloads").arg(server.port())}});
    });

    server.route("GET", QStringLiteral("/core/request-password"), [](const DevRequest&) {
        return DevResponse::text(
            "<!DOCTYPE html><html><head><title>Reset your password</title></head><body>"
            "<h1>Reset your password</h1>"
            "<form method=\"post\"><label>E-mail <input name=\"email\" type=\"email\"></label>"
            "<button type=\"submit\">Send reset link</button></form></body></html>",
            200, "text/html; charset=utf-8");
    });

    server.route("POST", QStringLiteral("/core/request-password"), [](const DevRequest&) {
        return DevResponse::text("<!DOCTYPE html><html><body><p>If the address belongs to an account, "
                                 "a reset link is on its way.</p></body></html>",
                                 200, "text/html; charset=utf-8");
    });
}
