// /api/me: the signed-in user's profile, account and publisher (records: MeRecords.h).
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
// The posts are PostRoutes.cpp; the control route that sets these records is ControlRoutes.cpp.
#include "MeRecords.h"

#include <QRandomGenerator>

using namespace dev;

namespace {

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

} // namespace

DEV_ROUTE_GROUP(registerMeRoutes)
{
    registerUserRoutes(server);
    registerPublisherRoutes(server);
}
