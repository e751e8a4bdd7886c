// /api/me: the signed-in user's resources, kept per user in DevStore::User::extra:
//   "profile"    {"f_name", "l_name", "verified", "app_usage", "created_at", "updated_at"}
//   "account"    {"id", "name", "active", "status", "gen_status", "created_at", "updated_at"}
//   "publisher"  the publisher record; absent while the user has none (GET answers code 501)
//   "posts"      {post id: post}; a post holds its revisions in "pending_revision" and
//                "live_revision" (null when none), a revision its "publish_revision"
//
//   GET    /api/me/                        {"data": user}
//   PUT    /api/me/                        {"user": {...}}: "f_name", "l_name", "email", "app_usage"
//   GET    /api/me/account?expand=true     {"data": account}
//   PUT    /api/me/account?expand=true     {"account": {...}}: "name"
//   GET    /api/me/publisher               {"data": publisher} or 404 {"code": 501}
//   POST   /api/me/publisher               {"publisher": {"type", "host", "theme_info"}} -> 201
//   PUT    /api/me/publisher               {"publisher": {...}}: "type", "host", "theme_info",
//                                          "default_category", "auto_publish"
//   DELETE /api/me/publisher               {"ok": true}
//   A host that is not a website address answers 422 {"code": 506}; a type outside 0 to 3
//   answers 422 {"code": 505}; creating a second publisher answers 409 {"code": 507}.
//   GET    /api/me/publisher-status        {"status": n}
//   GET    /api/me/publisher-secret        {"secret": text} (a new one each time)
//   POST   /api/request-email-verify       {"email"} (no token) -> {"ok": true}
//   GET    /api/me/posts/{id}              {"data": post} (revisions as {"data": revision});
//                                          an unknown post answers 404 {"code": 301}
//   PUT    /api/me/posts/{id}              {"post": {...}}: "name"
//   POST   /api/me/posts/{id}/clean        {"deep_purge": bool}; without a deep purge the
//                                          pending revision is dropped, with one the post
//   GET    /api/me/posts/{id}/link-stub    the post's short link as text
//   GET    /api/me/posts/{id}/link-destination   {"link": text}
//   GET    /api/me/posts/{id}/postrevisions/{rid}                   {"data": revision}
//   GET    /api/me/posts/{id}/postrevisions/{rid}/publishrevision   {"data": publish revision}
//                                          or 404 {"code": 302}
//
// Control:
//   POST /__control/me  {"email" or "user_id", "user"?: {...}, "account"?: {...},
//                        "publisher"?: {...} or null, "posts"?: [post, ...]}
//        merges "user" into the profile and "account" into the account, replaces the
//        publisher (null removes it) and the posts; answers {"ok", "user", "account",
//        "publisher", "posts"} as stored.
#include "DevServer.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QUuid>

namespace {

QString key(const char* text) { return QString::fromLatin1(text); }

QString now() { return QDateTime::currentDateTimeUtc().toString(Qt::ISODate); }

QString newId() { return QUuid::createUuid().toString(QUuid::WithoutBraces); }

DevResponse data(const QJsonValue& value, int status = 200)
{
    return DevResponse::json(QJsonObject{{QStringLiteral("data"), value}}, status);
}

// ---- the per-user records ----

QJsonObject profileOf(const DevStore::User& user)
{
    QJsonObject profile = user.extra.value(QStringLiteral("profile")).toObject();
    const QString created = profile.value(QStringLiteral("created_at")).toString(now());
    QJsonObject answer{{QStringLiteral("id"), user.id},
                       {QStringLiteral("email"), user.email},
                       {QStringLiteral("f_name"), QJsonValue::Null},
                       {QStringLiteral("l_name"), QJsonValue::Null},
                       {QStringLiteral("verified"), true},
                       {QStringLiteral("app_usage"), QJsonValue::Null},
                       {QStringLiteral("created_at"), created},
                       {QStringLiteral("updated_at"), created}};
    for (auto it = profile.begin(); it != profile.end(); ++it)
        answer.insert(it.key(), it.value());
    answer.insert(QStringLiteral("id"), user.id);
    answer.insert(QStringLiteral("email"), user.email);
    return answer;
}

QJsonObject accountOf(const DevStore::User& user)
{
    QJsonObject account = user.extra.value(QStringLiteral("account")).toObject();
    QJsonObject answer{{QStringLiteral("id"), QStringLiteral("account-%1").arg(user.id)},
                       {QStringLiteral("name"), user.email},
                       {QStringLiteral("active"), true},
                       {QStringLiteral("status"), 0},
                       {QStringLiteral("gen_status"), 0},
                       {QStringLiteral("created_at"), QStringLiteral("2020-01-01T00:00:00Z")},
                       {QStringLiteral("updated_at"), QStringLiteral("2020-01-01T00:00:00Z")}};
    for (auto it = account.begin(); it != account.end(); ++it)
        answer.insert(it.key(), it.value());
    return answer;
}

void putExtra(DevServer& server, DevStore::User* user, const char* name, const QJsonValue& value)
{
    if (value.isUndefined() || value.isNull())
        user->extra.remove(key(name));
    else
        user->extra.insert(key(name), value);
    server.store().save();
}

// The user of the request's token, or null with *denied set.
DevStore::User* me(DevServer& server, const DevRequest& request, DevResponse* denied)
{
    const DevStore::User* user = server.authenticate(request, denied);
    return user ? server.store().mutableUserById(user->id) : nullptr;
}

// The request body's member `name` as an object; null with *bad set when it is not one.
std::optional<QJsonObject> bodyMember(const DevRequest& request, const char* name, DevResponse* bad)
{
    const QJsonValue member = request.json.toObject().value(key(name));
    if (!member.isObject()) {
        *bad = DevResponse::serviceError(400, 3, QStringLiteral("\"%1\" must be an object").arg(key(name)));
        return std::nullopt;
    }
    return member.toObject();
}

DevResponse noPublisher() { return DevResponse::serviceError(404, 501, QStringLiteral("No publisher")); }
DevResponse noPost() { return DevResponse::serviceError(404, 301, QStringLiteral("No such post")); }

// A website address: host name with a dot (or localhost), optional scheme, port and path.
bool isWebsiteHost(const QString& host)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^(https?://)?(localhost|([A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?\.)+[A-Za-z]{2,})(:[0-9]{1,5})?(/\S*)?$)"));
    return pattern.match(host).hasMatch();
}

// Checks and applies the publisher members the client may send; false with *bad set.
bool applyPublisherMembers(QJsonObject& publisher, const QJsonObject& members, DevResponse* bad)
{
    if (members.contains(QStringLiteral("type"))) {
        const QJsonValue type = members.value(QStringLiteral("type"));
        if (!type.isDouble() || type.toDouble() != double(type.toInt()) || type.toInt() < 0 || type.toInt() > 3) {
            *bad = DevResponse::serviceError(422, 505, QStringLiteral("Unknown website type"));
            return false;
        }
        publisher.insert(QStringLiteral("type"), type.toInt());
    }
    if (members.contains(QStringLiteral("host"))) {
        const QJsonValue host = members.value(QStringLiteral("host"));
        if (!host.isString() || !isWebsiteHost(host.toString())) {
            *bad = DevResponse::serviceError(422, 506, QStringLiteral("The website host was rejected"));
            return false;
        }
        publisher.insert(QStringLiteral("host"), host.toString());
    }
    if (members.contains(QStringLiteral("theme_info"))) {
        const QJsonValue theme = members.value(QStringLiteral("theme_info"));
        publisher.insert(QStringLiteral("theme_info"), theme.isString() ? theme : QJsonValue::Null);
    }
    if (members.contains(QStringLiteral("default_category"))) {
        const QJsonValue category = members.value(QStringLiteral("default_category"));
        if (!category.isString()) {
            *bad = DevResponse::serviceError(422, 3, QStringLiteral("\"default_category\" must be text"));
            return false;
        }
        publisher.insert(QStringLiteral("default_category"), category);
    }
    if (members.contains(QStringLiteral("auto_publish")))
        publisher.insert(QStringLiteral("auto_publish"), members.value(QStringLiteral("auto_publish")).toBool());
    return true;
}

QJsonObject newPublisher()
{
    const QString created = now();
    return {{QStringLiteral("id"), newId()},
            {QStringLiteral("host"), QJsonValue::Null},
            {QStringLiteral("type"), 0},
            {QStringLiteral("status"), 0},
            {QStringLiteral("auto_publish"), false},
            {QStringLiteral("has_secret"), true},
            {QStringLiteral("tags"), QJsonArray{}},
            {QStringLiteral("categories"), QJsonArray{QStringLiteral("Uncategorized")}},
            {QStringLiteral("default_category"), QStringLiteral("Uncategorized")},
            {QStringLiteral("info"), QJsonObject{{QStringLiteral("guttenburg_available"), false},
                                                 {QStringLiteral("has_gutenberg"), false}}},
            {QStringLiteral("theme_info"), QJsonValue::Null},
            {QStringLiteral("created_at"), created},
            {QStringLiteral("updated_at"), created}};
}

// ---- posts ----

QJsonObject postsOf(const DevStore::User& user) { return user.extra.value(QStringLiteral("posts")).toObject(); }

// A revision as answered: without its publish record, inside {"data": ...}.
QJsonValue wrappedRevision(const QJsonValue& revision)
{
    if (!revision.isObject())
        return QJsonValue::Null;
    QJsonObject plain = revision.toObject();
    plain.remove(QStringLiteral("publish_revision"));
    return QJsonObject{{QStringLiteral("data"), plain}};
}

QJsonObject answeredPost(const QJsonObject& post)
{
    QJsonObject answer = post;
    answer.remove(QStringLiteral("deep_purge"));
    answer.insert(QStringLiteral("pending_revision"), wrappedRevision(post.value(QStringLiteral("pending_revision"))));
    answer.insert(QStringLiteral("live_revision"), wrappedRevision(post.value(QStringLiteral("live_revision"))));
    return answer;
}

// The revision with that id among the post's two, or an empty object.
QJsonObject revisionOf(const QJsonObject& post, const QString& revisionId)
{
    for (const char* member : {"pending_revision", "live_revision"}) {
        const QJsonObject revision = post.value(key(member)).toObject();
        if (!revision.isEmpty() && revision.value(QStringLiteral("id")).toString() == revisionId)
            return revision;
    }
    return {};
}

void savePost(DevServer& server, DevStore::User* user, const QJsonObject& post)
{
    QJsonObject posts = postsOf(*user);
    posts.insert(post.value(QStringLiteral("id")).toString(), post);
    putExtra(server, user, "posts", posts);
}

// Runs the handler with the request's user; a request without a valid token gets the refusal.
template <typename Handler>
DevServer::Handler withUser(DevServer& server, Handler handler)
{
    return [&server, handler](const DevRequest& request) {
        DevResponse denied;
        DevStore::User* user = me(server, request, &denied);
        return user ? handler(request, user) : denied;
    };
}

// Runs the handler with the request's user and the body's member `name`, which must be an object.
template <typename Handler>
DevServer::Handler withMembers(DevServer& server, const char* name, Handler handler)
{
    return withUser(server, [name, handler](const DevRequest& request, DevStore::User* user) {
        DevResponse bad;
        const std::optional<QJsonObject> members = bodyMember(request, name, &bad);
        return members ? handler(user, *members) : bad;
    });
}

// Runs the handler with the request's user and post (captures[0] is the post id).
template <typename Handler>
DevServer::Handler withPost(DevServer& server, Handler handler)
{
    return withUser(server, [handler](const DevRequest& request, DevStore::User* user) {
        const QJsonValue post = postsOf(*user).value(request.captures.value(0));
        return post.isObject() ? handler(request, user, post.toObject()) : noPost();
    });
}

// Runs the handler with the request's user and the publisher (stored as an object); a user
// without a publisher gets the 501 answer.
template <typename Handler>
DevServer::Handler withPublisher(DevServer& server, Handler handler)
{
    return withUser(server, [handler](const DevRequest& request, DevStore::User* user) {
        const QJsonValue publisher = user->extra.value(QStringLiteral("publisher"));
        return publisher.isObject() ? handler(request, user, publisher.toObject()) : noPublisher();
    });
}

void registerUserRoutes(DevServer& server)
{
    server.route("GET", QStringLiteral("/api/me/"), withUser(server, [](const DevRequest&, DevStore::User* user) {
        return data(profileOf(*user));
    }));

    server.route("PUT", QStringLiteral("/api/me/"),
                 withMembers(server, "user", [&server](DevStore::User* user, const QJsonObject& members) {
                     QJsonObject profile = user->extra.value(QStringLiteral("profile")).toObject();
                     for (const char* name : {"f_name", "l_name"}) {
                         if (members.contains(key(name)))
                             profile.insert(key(name), members.value(key(name)));
                     }
                     if (members.contains(QStringLiteral("app_usage")))
                         profile.insert(QStringLiteral("app_usage"), members.value(QStringLiteral("app_usage")));
                     const QJsonValue email = members.value(QStringLiteral("email"));
                     if (email.isString() && !email.toString().isEmpty() && email.toString() != user->email) {
                         const DevStore::User* other = server.store().userByEmail(email.toString());
                         if (other && other->id != user->id)
                             return DevResponse::serviceError(422, 4, QStringLiteral("E-mail address already taken"));
                         user->email = email.toString();
                         profile.insert(QStringLiteral("verified"), false);
                     }
                     if (!profile.contains(QStringLiteral("created_at")))
                         profile.insert(QStringLiteral("created_at"), now());
                     profile.insert(QStringLiteral("updated_at"), now());
                     putExtra(server, user, "profile", profile);
                     return data(profileOf(*user));
                 }));

    server.route("POST", QStringLiteral("/api/request-email-verify"), [](const DevRequest& request) {
        const QJsonValue email = request.json.toObject().value(QStringLiteral("email"));
        if (!email.isString() || email.toString().isEmpty())
            return DevResponse::serviceError(400, 3, QStringLiteral("\"email\" is required"));
        return DevResponse::json(QJsonObject{{QStringLiteral("ok"), true}});
    });

    server.route("GET", QStringLiteral("/api/me/account"),
                 withUser(server, [](const DevRequest&, DevStore::User* user) { return data(accountOf(*user)); }));

    server.route("PUT", QStringLiteral("/api/me/account"),
                 withMembers(server, "account", [&server](DevStore::User* user, const QJsonObject& members) {
                     QJsonObject account = user->extra.value(QStringLiteral("account")).toObject();
                     if (members.value(QStringLiteral("name")).isString())
                         account.insert(QStringLiteral("name"), members.value(QStringLiteral("name")));
                     account.insert(QStringLiteral("updated_at"), now());
                     putExtra(server, user, "account", account);
                     return data(accountOf(*user));
                 }));
}

void registerPublisherRoutes(DevServer& server)
{
    server.route("GET", QStringLiteral("/api/me/publisher"),
                 withPublisher(server, [](const DevRequest&, DevStore::User*, const QJsonObject& publisher) {
                     return data(publisher);
                 }));

    server.route("POST", QStringLiteral("/api/me/publisher"),
                 withMembers(server, "publisher", [&server](DevStore::User* user, const QJsonObject& members) {
                     if (user->extra.value(QStringLiteral("publisher")).isObject())
                         return DevResponse::serviceError(409, 507, QStringLiteral("The user already has a publisher"));
                     if (!members.value(QStringLiteral("host")).isString())
                         return DevResponse::serviceError(422, 506, QStringLiteral("The website host was rejected"));
                     QJsonObject publisher = newPublisher();
                     DevResponse failure;
                     if (!applyPublisherMembers(publisher, members, &failure))
                         return failure;
                     putExtra(server, user, "publisher", publisher);
                     return data(publisher, 201);
                 }));

    // The body is checked before the publisher's presence.
    server.route("PUT", QStringLiteral("/api/me/publisher"),
                 withMembers(server, "publisher", [&server](DevStore::User* user, const QJsonObject& members) {
                     const QJsonValue stored = user->extra.value(QStringLiteral("publisher"));
                     if (!stored.isObject())
                         return noPublisher();
                     QJsonObject publisher = stored.toObject();
                     DevResponse failure;
                     if (!applyPublisherMembers(publisher, members, &failure))
                         return failure;
                     publisher.insert(QStringLiteral("updated_at"), now());
                     putExtra(server, user, "publisher", publisher);
                     return data(publisher);
                 }));

    server.route("DELETE", QStringLiteral("/api/me/publisher"),
                 withPublisher(server, [&server](const DevRequest&, DevStore::User* user, const QJsonObject&) {
                     putExtra(server, user, "publisher", QJsonValue());
                     return DevResponse::json(QJsonObject{{QStringLiteral("ok"), true}});
                 }));

    server.route("GET", QStringLiteral("/api/me/publisher-status"),
                 withPublisher(server, [](const DevRequest&, DevStore::User*, const QJsonObject& publisher) {
                     return DevResponse::json(
                         QJsonObject{{QStringLiteral("status"), publisher.value(QStringLiteral("status"))}});
                 }));

    server.route("GET", QStringLiteral("/api/me/publisher-secret"),
                 withPublisher(server, [&server](const DevRequest&, DevStore::User* user, QJsonObject publisher) {
                     QByteArray random(16, Qt::Uninitialized);
                     for (char& c : random)
                         c = char(QRandomGenerator::global()->bounded(256));
                     publisher.insert(QStringLiteral("has_secret"), true);
                     putExtra(server, user, "publisher", publisher);
                     return DevResponse::json(
                         QJsonObject{{QStringLiteral("secret"), QString::fromLatin1(random.toHex())}});
                 }));
}

void registerPostRoutes(DevServer& server)
{
    const QString post = QStringLiteral("/api/me/posts/([^/]+)");

    server.route("GET", post, withPost(server, [](const DevRequest&, DevStore::User*, const QJsonObject& stored) {
        return data(answeredPost(stored));
    }));

    server.route("PUT", post, withPost(server, [&server](const DevRequest& request, DevStore::User* user,
                                                         const QJsonObject& stored) {
        DevResponse failure;
        const std::optional<QJsonObject> members = bodyMember(request, "post", &failure);
        if (!members)
            return failure;
        QJsonObject changed = stored;
        if (members->value(QStringLiteral("name")).isString())
            changed.insert(QStringLiteral("name"), members->value(QStringLiteral("name")));
        changed.insert(QStringLiteral("updated_at"), now());
        savePost(server, user, changed);
        return data(answeredPost(changed));
    }));

    server.route("POST", post + QStringLiteral("/clean"),
                 withPost(server, [&server](const DevRequest&, DevStore::User* user, const QJsonObject& stored) {
                     const bool deepPurge = stored.value(QStringLiteral("deep_purge")).toBool();
                     if (deepPurge) {
                         QJsonObject posts = postsOf(*user);
                         posts.remove(stored.value(QStringLiteral("id")).toString());
                         putExtra(server, user, "posts", posts);
                     } else {
                         QJsonObject changed = stored;
                         changed.insert(QStringLiteral("pending_revision"), QJsonValue::Null);
                         savePost(server, user, changed);
                     }
                     return DevResponse::json(QJsonObject{{QStringLiteral("deep_purge"), deepPurge}});
                 }));

    server.route("GET", post + QStringLiteral("/link-stub"),
                 withPost(server, [&server](const DevRequest&, DevStore::User*, const QJsonObject& stored) {
                     const QString stub = stored.value(QStringLiteral("link_stub"))
                                              .toString(QStringLiteral("http://127.0.0.1:%1/p/%2")
                                                            .arg(server.port())
                                                            .arg(stored.value(QStringLiteral("id")).toString()));
                     return DevResponse::text(stub.toUtf8());
                 }));

    server.route("GET", post + QStringLiteral("/link-destination"),
                 withPost(server, [](const DevRequest&, DevStore::User* user, const QJsonObject& stored) {
                     const QJsonObject publisher = user->extra.value(QStringLiteral("publisher")).toObject();
                     QString host = publisher.value(QStringLiteral("host")).toString(QStringLiteral("example.com"));
                     if (!host.startsWith(QLatin1String("http")))
                         host.prepend(QStringLiteral("https://"));
                     const QString link = stored.value(QStringLiteral("link"))
                                              .toString(host + QStringLiteral("/") + stored.value(QStringLiteral("id")).toString());
                     return DevResponse::json(QJsonObject{{QStringLiteral("link"), link}});
                 }));

    server.route("GET", post + QStringLiteral("/postrevisions/([^/]+)"),
                 withPost(server, [](const DevRequest& request, DevStore::User*, const QJsonObject& stored) {
                     QJsonObject revision = revisionOf(stored, request.captures.value(1));
                     if (revision.isEmpty())
                         return DevResponse::serviceError(404, 302, QStringLiteral("No such revision"));
                     revision.remove(QStringLiteral("publish_revision"));
                     return data(revision);
                 }));

    server.route("GET", post + QStringLiteral("/postrevisions/([^/]+)/publishrevision"),
                 withPost(server, [](const DevRequest& request, DevStore::User*, const QJsonObject& stored) {
                     const QJsonValue record = revisionOf(stored, request.captures.value(1))
                                                   .value(QStringLiteral("publish_revision"));
                     if (!record.isObject())
                         return DevResponse::serviceError(404, 302, QStringLiteral("No publish record"));
                     return data(record);
                 }));
}

void registerMeControlRoute(DevServer& server)
{
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
}

} // namespace

DEV_ROUTE_GROUP(registerMeRoutes)
{
    registerUserRoutes(server);
    registerPublisherRoutes(server);
    registerPostRoutes(server);
    registerMeControlRoute(server);
}
