// /api/log-in: the sign-in with e-mail and password.
#include "DevServer.h"

DEV_ROUTE_GROUP(registerAuthRoutes)
{
    server.route("POST", QStringLiteral("/api/log-in"), [&server](const DevRequest& request) {
        const QJsonObject user = request.json.toObject().value(QStringLiteral("user")).toObject();
        const QJsonValue email = user.value(QStringLiteral("email"));
        const QJsonValue password = user.value(QStringLiteral("password"));
        if (!email.isString() || !password.isString() || email.toString().isEmpty())
            return DevResponse::serviceError(400, 3, QStringLiteral("E-mail and password are required"));
        const DevStore::User* account = server.store().userByEmail(email.toString());
        if (!account)
            return DevResponse::serviceError(401, 2, QStringLiteral("Incorrect email"));
        if (account->password != password.toString())
            return DevResponse::serviceError(401, 1, QStringLiteral("Incorrect password"));
        const QString userId = account->id;
        const QString token = server.store().issueToken(userId);
        return DevResponse::json(QJsonObject{{QStringLiteral("jwt"), token},
                                             {QStringLiteral("user_id"), userId}});
    });
}
