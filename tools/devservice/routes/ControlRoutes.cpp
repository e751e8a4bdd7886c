// /__control: the test and development interface of the service itself (never used by the
// application). Scripted answers, the request log, going down, socket events, accounts.
//
//   POST   /__control/script     {"path", "method"?, "count"? = 1, "delay_ms"? = 0,
//                                 "code"?, "status"? = 400, "error"?, "body"?, "raw"?, "drop"?,
//                                 "prefix"? = false}
//          The next `count` requests of the path (of every path it begins, with "prefix") get
//          the scripted answer (after the delay):
//          "code" gives {"code", "error"?}; "body" any JSON body; "raw" a text body as it stands;
//          "status" alone an empty body; "drop" closes the connection. Without any of them
//          only the delay applies and the request is then handled as usual (unless its client
//          has gone by then).
//   DELETE /__control/script     forgets every script
//   GET    /__control/requests   {"requests": [...]} (optional ?path=)
//   DELETE /__control/requests   clears the log
//   POST   /__control/down       {"duration_ms"? = 1000}: stops listening and drops every connection
//                                 (a moment after answering), and listens again after the time
//                                 given; with a negative time only once the process gets SIGUSR1
//   POST   /__control/supported  {"version"}: the minimum version "/core/supported" answers
//   POST   /__control/users      {"email", "password"} -> {"user_id"}
//   POST   /__control/tokens     {"user_id"} or {"email"} -> {"jwt", "user_id"}
//   POST   /__control/socket     {"post", "event", "payload"?} or {"raw"} -> {"sent"}
//   GET    /__control/sockets    {"count"}: open sockets
//   POST   /__control/support-message {"text"} -> {"sent"}: support writes to every open chat
//                                 page (the page shows the message and tells "newmessages")
//   POST   /__control/me         {"email" or "user_id", "user"?: {...}, "account"?: {...},
//                                 "publisher"?: {...} or null, "posts"?: [post, ...]}
//          merges "user" into the profile and "account" into the account, replaces the
//          publisher (null removes it) and the posts; answers {"ok", "user", "account",
//          "publisher", "posts"} as stored (records: MeRecords.h).
//   POST   /__control/uploads    {"count"? = 1, "delay_ms"?, "status"?, "code"?, "drop"?}: the
//                                 next `count` photo uploads (PUT /uploads/...) are answered
//                                 late, with an error status (and service code), or dropped
//   POST   /__control/build      {"checks"}: builds started from now on are finished only
//                                 after that many fetches of the post (0: a moment after they start)
//   GET    /__control/uploads    {"count", "hashes"}: photos received (each PUT accepted)
#include "MeRecords.h"

#include <QJsonDocument>

using namespace dev;

namespace {

DevResponse badRequest(const QString& message)
{
    return DevResponse::json(QJsonObject{{QStringLiteral("error"), message}}, 400);
}

DevResponse ok(QJsonObject body = {})
{
    body.insert(QStringLiteral("ok"), true);
    return DevResponse::json(body);
}

} // namespace

DEV_ROUTE_GROUP(registerControlRoutes)
{
    server.route("POST", QStringLiteral("/__control/script"), [&server](const DevRequest& request) {
        const QJsonObject object = request.json.toObject();
        DevServer::Script script;
        script.path = object.value(QStringLiteral("path")).toString();
        if (!script.path.startsWith(QLatin1Char('/')))
            return badRequest(QStringLiteral("\"path\" must be an absolute path"));
        script.method = object.value(QStringLiteral("method")).toString().toUpper().toLatin1();
        script.remaining = qMax(1, object.value(QStringLiteral("count")).toInt(1));
        script.delayMs = qMax(0, object.value(QStringLiteral("delay_ms")).toInt(0));
        script.prefix = object.value(QStringLiteral("prefix")).toBool();
        const int status = object.value(QStringLiteral("status")).toInt(400);
        if (object.value(QStringLiteral("drop")).toBool()) {
            DevResponse drop;
            drop.dropConnection = true;
            script.response = drop;
        } else if (object.contains(QStringLiteral("code"))) {
            script.response = DevResponse::serviceError(status, object.value(QStringLiteral("code")).toInt(),
                                                        object.value(QStringLiteral("error")).toString());
        } else if (object.contains(QStringLiteral("body"))) {
            script.response = DevResponse::json(object.value(QStringLiteral("body")), status);
        } else if (object.contains(QStringLiteral("raw"))) {
            script.response = DevResponse::text(object.value(QStringLiteral("raw")).toString().toUtf8(), status,
                                                object.value(QStringLiteral("content_type"))
                                                    .toString(QStringLiteral("text/html; charset=utf-8"))
                                                    .toLatin1());
        } else if (object.contains(QStringLiteral("status"))) {
            script.response = DevResponse::text(QByteArray(), status);
        }
        server.addScript(script);
        return ok();
    });

    server.route("DELETE", QStringLiteral("/__control/script"), [&server](const DevRequest&) {
        server.clearScripts();
        return ok();
    });

    server.route("GET", QStringLiteral("/__control/requests"), [&server](const DevRequest& request) {
        return DevResponse::json(QJsonObject{
            {QStringLiteral("requests"), server.requestLog(request.query.queryItemValue(QStringLiteral("path"), QUrl::FullyDecoded))}});
    });

    server.route("DELETE", QStringLiteral("/__control/requests"), [&server](const DevRequest&) {
        server.clearRequestLog();
        return ok();
    });

    server.route("POST", QStringLiteral("/__control/down"), [&server](const DevRequest& request) {
        const int duration = request.json.toObject().value(QStringLiteral("duration_ms")).toInt(1000);
        // Answer first, then go down once the answer has left.
        server.goDown(duration, 50);
        return ok();
    });

    server.route("POST", QStringLiteral("/__control/supported"), [&server](const DevRequest& request) {
        const QJsonValue version = request.json.toObject().value(QStringLiteral("version"));
        if (!version.isString())
            return badRequest(QStringLiteral("\"version\" must be a string"));
        server.store().setMinimumVersion(version.toString());
        return ok();
    });

    server.route("POST", QStringLiteral("/__control/users"), [&server](const DevRequest& request) {
        const QJsonObject object = request.json.toObject();
        const QString email = object.value(QStringLiteral("email")).toString();
        const QString password = object.value(QStringLiteral("password")).toString();
        if (email.isEmpty() || password.isEmpty())
            return badRequest(QStringLiteral("\"email\" and \"password\" are required"));
        return ok({{QStringLiteral("user_id"), server.store().addUser(email, password)}});
    });

    server.route("POST", QStringLiteral("/__control/tokens"), [&server](const DevRequest& request) {
        const QJsonObject object = request.json.toObject();
        QString userId = object.value(QStringLiteral("user_id")).toString();
        if (userId.isEmpty()) {
            const DevStore::User* user = server.store().userByEmail(object.value(QStringLiteral("email")).toString());
            if (user)
                userId = user->id;
        }
        if (!server.store().userById(userId))
            return badRequest(QStringLiteral("no such user"));
        return ok({{QStringLiteral("jwt"), server.store().issueToken(userId)},
                   {QStringLiteral("user_id"), userId}});
    });

    server.route("POST", QStringLiteral("/__control/socket"), [&server](const DevRequest& request) {
        const QJsonObject object = request.json.toObject();
        QString text;
        if (object.contains(QStringLiteral("raw"))) {
            text = object.value(QStringLiteral("raw")).toString();
        } else {
            QJsonObject payload = object.value(QStringLiteral("payload")).toObject();
            if (object.contains(QStringLiteral("post")))
                payload.insert(QStringLiteral("post"), object.value(QStringLiteral("post")));
            const QJsonObject message{{QStringLiteral("event"), object.value(QStringLiteral("event"))},
                                      {QStringLiteral("payload"), payload}};
            text = QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact));
        }
        return ok({{QStringLiteral("sent"), server.pushToSockets(text)}});
    });

    server.route("POST", QStringLiteral("/__control/me"), [&server](const DevRequest& request) {
        const QJsonObject object = request.json.toObject();
        QString userId = object.value(QStringLiteral("user_id")).toString();
        if (userId.isEmpty()) {
            if (const DevStore::User* byEmail = server.store().userByEmail(object.value(QStringLiteral("email")).toString()))
                userId = byEmail->id;
        }
        DevStore::User* user = server.store().mutableUserById(userId);
        if (!user)
            return DevResponse::json(QJsonObject{{QStringLiteral("error"), QStringLiteral("no such user")}}, 400);
        for (const char* name : {"user", "account"}) {
            if (!object.value(key(name)).isObject())
                continue;
            const char* stored = QLatin1String(name) == QLatin1String("user") ? "profile" : "account";
            QJsonObject record = user->extra.value(key(stored)).toObject();
            const QJsonObject changes = object.value(key(name)).toObject();
            for (auto it = changes.begin(); it != changes.end(); ++it)
                record.insert(it.key(), it.value());
            putExtra(server, user, stored, record);
        }
        if (object.contains(QStringLiteral("publisher"))) {
            QJsonValue publisher = object.value(QStringLiteral("publisher"));
            if (publisher.isObject()) {
                QJsonObject complete = newPublisher();
                const QJsonObject given = publisher.toObject();
                for (auto it = given.begin(); it != given.end(); ++it)
                    complete.insert(it.key(), it.value());
                publisher = complete;
            }
            putExtra(server, user, "publisher", publisher);
        }
        if (object.value(QStringLiteral("posts")).isArray()) {
            QJsonObject posts;
            for (const QJsonValue& value : object.value(QStringLiteral("posts")).toArray()) {
                QJsonObject post = value.toObject();
                if (post.value(QStringLiteral("id")).toString().isEmpty())
                    post.insert(QStringLiteral("id"), newId());
                for (const char* member : {"pending_revision", "live_revision"}) {
                    if (!post.contains(key(member)))
                        post.insert(key(member), QJsonValue::Null);
                }
                posts.insert(post.value(QStringLiteral("id")).toString(), post);
            }
            putExtra(server, user, "posts", posts);
        }
        return DevResponse::json(QJsonObject{{QStringLiteral("ok"), true},
                                             {QStringLiteral("user"), profileOf(*user)},
                                             {QStringLiteral("account"), accountOf(*user)},
                                             {QStringLiteral("publisher"), user->extra.value(QStringLiteral("publisher"))},
                                             {QStringLiteral("posts"), postsOf(*user)}});
    });

    server.route("POST", QStringLiteral("/__control/uploads"), [&server](const DevRequest& request) {
        const QJsonObject object = request.json.toObject();
        DevServer::Script script;
        script.path = QStringLiteral("/uploads/");
        script.prefix = true;
        script.method = "PUT";
        script.remaining = qMax(1, object.value(QStringLiteral("count")).toInt(1));
        script.delayMs = qMax(0, object.value(QStringLiteral("delay_ms")).toInt(0));
        const int status = object.value(QStringLiteral("status")).toInt(500);
        if (object.value(QStringLiteral("drop")).toBool()) {
            DevResponse drop;
            drop.dropConnection = true;
            script.response = drop;
        } else if (object.contains(QStringLiteral("code"))) {
            script.response = DevResponse::serviceError(status, object.value(QStringLiteral("code")).toInt());
        } else if (object.contains(QStringLiteral("status"))) {
            script.response = DevResponse::text(QByteArray(), status);
        }
        server.addScript(script);
        return ok();
    });

    server.route("GET", QStringLiteral("/__control/uploads"), [&server](const DevRequest&) {
        QJsonArray hashes;
        for (const QString& hash : server.store().uploadedHashes())
            hashes.append(hash);
        return ok({{QStringLiteral("count"), server.store().uploadCount()}, {QStringLiteral("hashes"), hashes}});
    });

    server.route("POST", QStringLiteral("/__control/build"), [&server](const DevRequest& request) {
        const QJsonValue checks = request.json.toObject().value(QStringLiteral("checks"));
        if (!checks.isDouble() || checks.toInt() < 0)
            return badRequest(QStringLiteral("\"checks\" must be a number of at least 0"));
        server.store().setBuildChecks(checks.toInt());
        return ok();
    });

    server.route("GET", QStringLiteral("/__control/sockets"), [&server](const DevRequest&) {
        return ok({{QStringLiteral("count"), server.socketCount()}});
    });

    server.route("POST", QStringLiteral("/__control/chat-page"), [&server](const DevRequest& request) {
        const QJsonValue script = request.json.toObject().value(QStringLiteral("script"));
        if (!script.isString())
            return badRequest(QStringLiteral("\"script\" must be a string"));
        server.store().setChatPageScript(script.toString());
        return ok();
    });

    server.route("POST", QStringLiteral("/__control/support-message"), [&server](const DevRequest& request) {
        const QString text = request.json.toObject().value(QStringLiteral("text")).toString();
        if (text.isEmpty())
            return badRequest(QStringLiteral("\"text\" must be a non-empty string"));
        return ok({{QStringLiteral("sent"), server.pushToChatPages(text)}});
    });
}
