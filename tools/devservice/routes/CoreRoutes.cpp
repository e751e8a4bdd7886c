// /core: health, supported versions and the password-reset page.
#include "DevServer.h"

DEV_ROUTE_GROUP(registerCoreRoutes)
{
    server.route("GET", QStringLiteral("/core/health"), [](const DevRequest&) {
        return DevResponse::json(QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")}});
    });

    server.route("GET", QStringLiteral("/core/supported"), [&server](const DevRequest&) {
        return DevResponse::json(QJsonObject{{QStringLiteral("version"), server.store().minimumVersion()}});
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
