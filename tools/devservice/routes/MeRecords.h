// The per-user records of the development service's /api/me resources, shared by the route
// groups that read and write them (MeRoutes, PostRoutes, ControlRoutes, SiteRoutes). Kept in
// DevStore::User::extra:
//   "profile"    {"f_name", "l_name", "verified", "app_usage", "created_at", "updated_at"}
//   "account"    {"id", "name", "active", "status", "gen_status", "created_at", "updated_at"}
//   "publisher"  the publisher record; absent while the user has none
//   "posts"      {post id: post}; a post holds its revisions in "pending_revision" and
//                "live_revision" (null when none), a revision its "publish_revision"
#pragma once

#include "DevServer.h"

#include <QDateTime>
#include <QUuid>

#include <optional>

namespace dev {


inline QString key(const char* text) { return QString::fromLatin1(text); }

inline QString now() { return QDateTime::currentDateTimeUtc().toString(Qt::ISODate); }

inline QString newId() { return QUuid::createUuid().toString(QUuid::WithoutBraces); }

inline DevResponse data(const QJsonValue& value, int status = 200)
{
    return DevResponse::json(QJsonObject{{QStringLiteral("data"), value}}, status);
}

// ---- the per-user records ----

inline QJsonObject profileOf(const DevStore::User& user)
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

inline QJsonObject accountOf(const DevStore::User& user)
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

inline void putExtra(DevServer& server, DevStore::User* user, const char* name, const QJsonValue& value)
{
    if (value.isUndefined() || value.isNull())
        user->extra.remove(key(name));
    else
        user->extra.insert(key(name), value);
    server.store().save();
}

// The user of the request's token, or null with *denied set.
inline DevStore::User* me(DevServer& server, const DevRequest& request, DevResponse* denied)
{
    const DevStore::User* user = server.authenticate(request, denied);
    return user ? server.store().mutableUserById(user->id) : nullptr;
}

// The request body's member `name` as an object; null with *bad set when it is not one.
inline std::optional<QJsonObject> bodyMember(const DevRequest& request, const char* name, DevResponse* bad)
{
    const QJsonValue member = request.json.toObject().value(key(name));
    if (!member.isObject()) {
        *bad = DevResponse::serviceError(400, 3, QStringLiteral("\"%1\" must be an object").arg(key(name)));
        return std::nullopt;
    }
    return member.toObject();
}

inline DevResponse noPublisher() { return DevResponse::serviceError(404, 501, QStringLiteral("No publisher")); }
inline DevResponse noPost() { return DevResponse::serviceError(404, 301, QStringLiteral("No such post")); }

inline QJsonObject newPublisher()
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

inline QJsonObject postsOf(const DevStore::User& user) { return user.extra.value(QStringLiteral("posts")).toObject(); }

// A revision as answered: without its publish record, inside {"data": ...}.
inline QJsonValue wrappedRevision(const QJsonValue& revision)
{
    if (!revision.isObject())
        return QJsonValue::Null;
    QJsonObject plain = revision.toObject();
    plain.remove(QStringLiteral("publish_revision"));
    plain.remove(QStringLiteral("image_info"));
    plain.remove(QStringLiteral("publish"));
    return QJsonObject{{QStringLiteral("data"), plain}};
}

inline QJsonObject answeredPost(const QJsonObject& post)
{
    QJsonObject answer = post;
    answer.remove(QStringLiteral("deep_purge"));
    answer.remove(QStringLiteral("build_checks"));
    answer.insert(QStringLiteral("pending_revision"), wrappedRevision(post.value(QStringLiteral("pending_revision"))));
    answer.insert(QStringLiteral("live_revision"), wrappedRevision(post.value(QStringLiteral("live_revision"))));
    return answer;
}

// The revision with that id among the post's two, or an empty object.
inline QJsonObject revisionOf(const QJsonObject& post, const QString& revisionId)
{
    for (const char* member : {"pending_revision", "live_revision"}) {
        const QJsonObject revision = post.value(key(member)).toObject();
        if (!revision.isEmpty() && revision.value(QStringLiteral("id")).toString() == revisionId)
            return revision;
    }
    return {};
}

inline void savePost(DevServer& server, DevStore::User* user, const QJsonObject& post)
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

} // namespace dev
