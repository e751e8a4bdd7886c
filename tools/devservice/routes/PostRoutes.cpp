// /api/me/posts: the user's published posts, their revisions, photo uploads and builds
// (records: MeRecords.h).
//
//   POST   /api/me/posts                   {"name", "post_revision", "image_info", "publish",
//                                          "publish_revision"?} -> 201 {"post", "post_revision",
//                                          "publish_revision" (when "publish")}
//   GET    /api/me/posts/{id}              {"data": post} (revisions as {"data": revision});
//                                          an unknown post answers 404 {"code": 301}
//   PUT    /api/me/posts/{id}              {"post": {...}}: "name"
//   DELETE /api/me/posts/{id}              {"ok": true}
//   POST   /api/me/posts/{id}/postrevisions       {"post_revision", "image_info", "publish",
//                                          "publish_revision"?} -> 201 {"post_revision",
//                                          "publish_revision" (when "publish")}
//   POST   /api/me/posts/{id}/images-batch {"images": [{"ref_id", "name", "mimetype",
//                                          "keywords"}, ... at most 20]} -> {"images": [{"ref_id",
//                                          "signed_url"} or {"ref_id", "code", "error"}]}
//   PUT    /uploads/{token}                the photo's bytes (no token header); 200, or 400
//                                          {"code": 304} when they do not hash to what was sent
//   POST   /api/me/posts/{id}/clean        {"deep_purge": bool}; a post never built goes
//                                          (deep purge), otherwise its pending revision
//   GET    /api/me/posts/{id}/link-stub    the post's short link as text
//   GET    /api/me/posts/{id}/link-destination   {"link": the built page, SiteRoutes.cpp}
//   GET    /api/me/posts/{id}/postrevisions/{rid}                   {"data": revision}
//   GET    /api/me/posts/{id}/postrevisions/{rid}/publishrevision   {"data": publish revision}
//                                          or 404 {"code": 302}
//
// What a client can rely on: a revision's "blob_hash" is the "blob" text it was sent; its
// "seo_title", "meta" and "keywords" are echoed exactly; "render_version" is "2";
// "required_image_refs" lists the photos of "image_info" whose hash the service has not
// received. Once none is missing the build starts ("html_prep"); it ends a moment after the
// request that started it was answered (kBuildMs), or after the number of post fetches set with
// /__control/build. A built post has "status" 0, no pending revision and a live revision of
// "status" 0, and the service sends "revision_active".
// Socket events, to the user's sockets, each {"event", "payload": {"post", ...}}:
// "required_image_refs" (after a revision is stored), "ack_img_ref" (a photo received),
// "html_prep" (build started), "revision_active" (build finished).
#include "MeRecords.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QTimer>

using namespace dev;

namespace {

constexpr int kBatchLimit = 20;
// How long a build takes: it ends after the answer of the request that started it, as a
// service's build does.
constexpr int kBuildMs = 150;

DevResponse invalid(const QString& message) { return DevResponse::serviceError(422, 3, message); }

void pushEvent(DevServer& server, const QString& userId, const QString& postId, const QString& event,
               QJsonObject payload = {})
{
    payload.insert(QStringLiteral("post"), postId);
    const QJsonObject message{{QStringLiteral("event"), event}, {QStringLiteral("payload"), payload}};
    server.pushToUser(userId, QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
}

bool isStringArray(const QJsonValue& value)
{
    if (!value.isArray())
        return false;
    for (const QJsonValue& entry : value.toArray())
        if (!entry.isString())
            return false;
    return true;
}

// The photos of a revision whose hash the user's photos lack, in the order of "image_info".
QJsonArray missingRefs(const DevStore& store, const QString& userId, const QJsonObject& revision)
{
    QJsonArray missing;
    const QJsonObject info = revision.value(QStringLiteral("image_info")).toObject();
    for (auto it = info.begin(); it != info.end(); ++it) {
        if (!store.hasPhoto(userId, it.value().toObject().value(QStringLiteral("hash")).toString()))
            missing.append(it.key());
    }
    return missing;
}

// A new revision from a create or update body; nothing (with *bad) when the body is malformed.
std::optional<QJsonObject> revisionFromBody(const DevRequest& request, DevResponse* bad)
{
    const QJsonObject body = request.json.toObject();
    const QJsonValue payload = body.value(QStringLiteral("post_revision"));
    if (!payload.isObject()) {
        *bad = invalid(QStringLiteral("\"post_revision\" must be an object"));
        return std::nullopt;
    }
    const QJsonObject revisionIn = payload.toObject();
    const QJsonValue blob = revisionIn.value(QStringLiteral("blob"));
    if (!blob.isString() || QByteArray::fromBase64Encoding(blob.toString().toLatin1(),
                                                           QByteArray::AbortOnBase64DecodingErrors)
                                    .decodingStatus != QByteArray::Base64DecodingStatus::Ok) {
        *bad = invalid(QStringLiteral("\"blob\" must be Base64 text"));
        return std::nullopt;
    }
    if (!isStringArray(revisionIn.value(QStringLiteral("keywords")))) {
        *bad = invalid(QStringLiteral("\"keywords\" must be an array of texts"));
        return std::nullopt;
    }
    for (const char* name : {"seo_title", "meta"}) {
        if (revisionIn.contains(key(name)) && !revisionIn.value(key(name)).isString()) {
            *bad = invalid(QStringLiteral("\"%1\" must be text").arg(key(name)));
            return std::nullopt;
        }
    }
    const QJsonValue imageInfo = body.value(QStringLiteral("image_info"));
    if (!imageInfo.isObject()) {
        *bad = invalid(QStringLiteral("\"image_info\" must be an object"));
        return std::nullopt;
    }
    QJsonObject imageKeywords;
    const QJsonObject images = imageInfo.toObject();
    for (auto it = images.begin(); it != images.end(); ++it) {
        const QJsonObject entry = it.value().toObject();
        if (!entry.value(QStringLiteral("hash")).isString() || !entry.value(QStringLiteral("name")).isString()
            || !isStringArray(entry.value(QStringLiteral("keywords")))) {
            *bad = invalid(QStringLiteral("\"image_info\" of %1 needs \"name\", \"hash\" and \"keywords\"").arg(it.key()));
            return std::nullopt;
        }
        imageKeywords.insert(it.key(), entry.value(QStringLiteral("keywords")));
    }
    const QJsonValue publish = body.value(QStringLiteral("publish"));
    if (!publish.isBool()) {
        *bad = invalid(QStringLiteral("\"publish\" must be true or false"));
        return std::nullopt;
    }
    const QJsonObject publishIn = body.value(QStringLiteral("publish_revision")).toObject();
    if (publish.toBool() && !body.value(QStringLiteral("publish_revision")).isObject()) {
        *bad = invalid(QStringLiteral("\"publish_revision\" is needed to publish"));
        return std::nullopt;
    }
    const QString created = now();
    const QString publishId = newId();
    QJsonObject publishRevision{{QStringLiteral("id"), publishId},
                                {QStringLiteral("status"), 1},
                                {QStringLiteral("successful"), false},
                                {QStringLiteral("auto_publish"), publishIn.value(QStringLiteral("auto_publish")).toBool()},
                                {QStringLiteral("category"), publishIn.value(QStringLiteral("category")).isString()
                                                                 ? publishIn.value(QStringLiteral("category"))
                                                                 : QJsonValue(QJsonValue::Null)},
                                {QStringLiteral("tags"), QJsonArray()}};
    return QJsonObject{{QStringLiteral("id"), newId()},
                       {QStringLiteral("status"), 1},
                       {QStringLiteral("blob_hash"), blob},
                       {QStringLiteral("seo_title"), revisionIn.contains(QStringLiteral("seo_title"))
                                                         ? revisionIn.value(QStringLiteral("seo_title"))
                                                         : QJsonValue(QJsonValue::Null)},
                       {QStringLiteral("meta"), revisionIn.contains(QStringLiteral("meta"))
                                                    ? revisionIn.value(QStringLiteral("meta"))
                                                    : QJsonValue(QJsonValue::Null)},
                       {QStringLiteral("keywords"), revisionIn.value(QStringLiteral("keywords"))},
                       {QStringLiteral("render_version"), QStringLiteral("2")},
                       {QStringLiteral("required_image_refs"), QJsonArray()},
                       {QStringLiteral("image_keywords"), imageKeywords},
                       {QStringLiteral("image_info"), images},
                       {QStringLiteral("publish_revision_id"), publishId},
                       {QStringLiteral("publish_revision"), publishRevision},
                       {QStringLiteral("publish"), publish.toBool()},
                       {QStringLiteral("created_at"), created},
                       {QStringLiteral("updated_at"), created}};
}

// The post as stored now.
QJsonObject storedPost(const DevStore::User* user, const QString& postId)
{
    return postsOf(*user).value(postId).toObject();
}

// Moves the pending revision live: the post is built.
void finishBuild(DevServer& server, DevStore::User* user, QJsonObject post)
{
    QJsonObject revision = post.value(QStringLiteral("pending_revision")).toObject();
    revision.insert(QStringLiteral("status"), 0);
    revision.insert(QStringLiteral("updated_at"), now());
    QJsonObject publishRevision = revision.value(QStringLiteral("publish_revision")).toObject();
    publishRevision.insert(QStringLiteral("status"), 0);
    // Only a revision sent to the website's blog ("publish") is published there.
    publishRevision.insert(QStringLiteral("successful"), revision.value(QStringLiteral("publish")).toBool());
    revision.insert(QStringLiteral("publish_revision"), publishRevision);
    post.insert(QStringLiteral("live_revision"), revision);
    post.insert(QStringLiteral("pending_revision"), QJsonValue::Null);
    post.insert(QStringLiteral("status"), 0);
    post.insert(QStringLiteral("live"), true);
    post.insert(QStringLiteral("build_checks"), 0);
    post.insert(QStringLiteral("updated_at"), now());
    savePost(server, user, post);
    pushEvent(server, user->id, post.value(QStringLiteral("id")).toString(), QStringLiteral("revision_active"),
              {{QStringLiteral("revision"), revision.value(QStringLiteral("id"))}});
}

// Brings the pending revision's missing photos up to date and starts the build when none is
// missing. Saves the post.
void settle(DevServer& server, DevStore::User* user, QJsonObject post)
{
    QJsonObject revision = post.value(QStringLiteral("pending_revision")).toObject();
    if (revision.isEmpty()) {
        savePost(server, user, post);
        return;
    }
    const QJsonArray missing = missingRefs(server.store(), user->id, revision);
    revision.insert(QStringLiteral("required_image_refs"), missing);
    post.insert(QStringLiteral("pending_revision"), revision);
    if (!missing.isEmpty() || post.value(QStringLiteral("build_checks")).toInt() > 0) {
        savePost(server, user, post);
        return;
    }
    const QString postId = post.value(QStringLiteral("id")).toString();
    pushEvent(server, user->id, postId, QStringLiteral("html_prep"));
    const int checks = server.store().buildChecks();
    if (checks > 0)
        post.insert(QStringLiteral("build_checks"), checks);
    savePost(server, user, post);
    if (checks > 0)
        return;
    const QString userId = user->id;
    const QString revisionId = revision.value(QStringLiteral("id")).toString();
    QTimer::singleShot(kBuildMs, &server, [&server, userId, postId, revisionId] {
        DevStore::User* owner = server.store().mutableUserById(userId);
        const QJsonObject stored = owner ? storedPost(owner, postId) : QJsonObject();
        // Not when the post went, its revision was replaced or cleaned up, or it is built.
        if (stored.value(QStringLiteral("pending_revision")).toObject().value(QStringLiteral("id")).toString() != revisionId
            || stored.value(QStringLiteral("build_checks")).toInt() > 0)
            return;
        finishBuild(server, owner, stored);
    });
}

QJsonObject revisionAnswer(const QJsonObject& revision)
{
    return wrappedRevision(revision).toObject().value(QStringLiteral("data")).toObject();
}

// The answer of a create or update: the revision, and its publish record when publishing.
QJsonObject storedRevisionAnswer(const QJsonObject& post)
{
    const QJsonObject revision = post.value(QStringLiteral("pending_revision")).isObject()
                                     ? post.value(QStringLiteral("pending_revision")).toObject()
                                     : post.value(QStringLiteral("live_revision")).toObject();
    QJsonObject answer{{QStringLiteral("post_revision"), revisionAnswer(revision)}};
    if (revision.value(QStringLiteral("publish")).toBool())
        answer.insert(QStringLiteral("publish_revision"), revision.value(QStringLiteral("publish_revision")));
    return answer;
}

void announceRequired(DevServer& server, const DevStore::User* user, const QJsonObject& post)
{
    const QJsonObject revision = post.value(QStringLiteral("pending_revision")).toObject();
    if (revision.isEmpty())
        return;
    pushEvent(server, user->id, post.value(QStringLiteral("id")).toString(), QStringLiteral("required_image_refs"),
              {{QStringLiteral("required_image_refs"), revision.value(QStringLiteral("required_image_refs"))}});
}

} // namespace

DEV_ROUTE_GROUP(registerPostRoutes)
{
    const QString post = QStringLiteral("/api/me/posts/([^/]+)");

    server.route("POST", QStringLiteral("/api/me/posts"),
                 withUser(server, [&server](const DevRequest& request, DevStore::User* user) {
                     const QJsonValue name = request.json.toObject().value(QStringLiteral("name"));
                     if (!name.isString())
                         return invalid(QStringLiteral("\"name\" must be text"));
                     DevResponse bad;
                     const std::optional<QJsonObject> revision = revisionFromBody(request, &bad);
                     if (!revision)
                         return bad;
                     const QString created = now();
                     const QString postId = newId();
                     const QJsonObject record{{QStringLiteral("id"), postId},
                                              {QStringLiteral("name"), name},
                                              {QStringLiteral("status"), 1},
                                              {QStringLiteral("live"), false},
                                              {QStringLiteral("created_at"), created},
                                              {QStringLiteral("updated_at"), created},
                                              {QStringLiteral("pending_revision"), *revision},
                                              {QStringLiteral("live_revision"), QJsonValue::Null}};
                     settle(server, user, record);
                     QJsonObject stored = storedPost(user, postId);
                     QJsonObject answer = storedRevisionAnswer(stored);
                     answer.insert(QStringLiteral("post"), answeredPost(stored));
                     announceRequired(server, user, stored);
                     return DevResponse::json(answer, 201);
                 }));

    server.route("GET", post, withPost(server, [&server](const DevRequest&, DevStore::User* user, const QJsonObject& stored) {
        const QJsonObject answer = answeredPost(stored);
        // A build that takes checks moves on with every fetch; this one still sees it running.
        const int checks = stored.value(QStringLiteral("build_checks")).toInt();
        if (checks > 0) {
            QJsonObject changed = stored;
            changed.insert(QStringLiteral("build_checks"), checks - 1);
            if (checks - 1 == 0)
                finishBuild(server, user, changed);
            else
                savePost(server, user, changed);
        }
        return data(answer);
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

    server.route("DELETE", post, withPost(server, [&server](const DevRequest&, DevStore::User* user, const QJsonObject& stored) {
        QJsonObject posts = postsOf(*user);
        posts.remove(stored.value(QStringLiteral("id")).toString());
        putExtra(server, user, "posts", posts);
        return DevResponse::json(QJsonObject{{QStringLiteral("ok"), true}});
    }));

    server.route("POST", post + QStringLiteral("/postrevisions"),
                 withPost(server, [&server](const DevRequest& request, DevStore::User* user, QJsonObject stored) {
                     DevResponse bad;
                     const std::optional<QJsonObject> revision = revisionFromBody(request, &bad);
                     if (!revision)
                         return bad;
                     const QString postId = stored.value(QStringLiteral("id")).toString();
                     stored.insert(QStringLiteral("pending_revision"), *revision);
                     stored.insert(QStringLiteral("build_checks"), 0);
                     stored.insert(QStringLiteral("status"), 1);
                     stored.insert(QStringLiteral("updated_at"), now());
                     settle(server, user, stored);
                     const QJsonObject updated = storedPost(user, postId);
                     announceRequired(server, user, updated);
                     return DevResponse::json(storedRevisionAnswer(updated), 201);
                 }));

    server.route("POST", post + QStringLiteral("/images-batch"),
                 withPost(server, [&server](const DevRequest& request, DevStore::User* user, const QJsonObject& stored) {
                     const QJsonValue images = request.json.toObject().value(QStringLiteral("images"));
                     if (!images.isArray())
                         return invalid(QStringLiteral("\"images\" must be an array"));
                     if (images.toArray().size() > kBatchLimit)
                         return invalid(QStringLiteral("At most %1 images a request").arg(kBatchLimit));
                     const QJsonObject revision = stored.value(QStringLiteral("pending_revision")).toObject();
                     if (revision.isEmpty())
                         return DevResponse::serviceError(409, 303, QStringLiteral("The post has no pending revision"));
                     const QJsonObject info = revision.value(QStringLiteral("image_info")).toObject();
                     const QString postId = stored.value(QStringLiteral("id")).toString();
                     QJsonArray answer;
                     for (const QJsonValue& value : images.toArray()) {
                         const QString refId = value.toObject().value(QStringLiteral("ref_id")).toString();
                         if (!info.contains(refId)) {
                             answer.append(QJsonObject{{QStringLiteral("ref_id"), refId},
                                                       {QStringLiteral("code"), 305},
                                                       {QStringLiteral("error"), QStringLiteral("Unknown image")}});
                             continue;
                         }
                         const QString token = server.store().grantUpload(
                             {user->id, postId, refId, info.value(refId).toObject().value(QStringLiteral("hash")).toString()});
                         answer.append(QJsonObject{
                             {QStringLiteral("ref_id"), refId},
                             {QStringLiteral("signed_url"),
                              QStringLiteral("http://127.0.0.1:%1/uploads/%2").arg(server.port()).arg(token)}});
                     }
                     return DevResponse::json(QJsonObject{{QStringLiteral("images"), answer}});
                 }));

    server.route("PUT", QStringLiteral("/uploads/([^/]+)"), [&server](const DevRequest& request) {
        const std::optional<DevStore::UploadGrant> grant = server.store().uploadGrant(request.captures.value(0));
        if (!grant)
            return DevResponse::serviceError(403, 306, QStringLiteral("Unknown upload address"));
        const QString hash = QString::fromLatin1(
            QCryptographicHash::hash(request.body, QCryptographicHash::Sha1).toHex().toUpper());
        if (request.body.isEmpty() || hash != grant->hash)
            return DevResponse::serviceError(400, 304, QStringLiteral("The photo does not match its hash"));
        server.store().storePhoto(grant->userId, hash, request.body);
        DevStore::User* user = server.store().mutableUserById(grant->userId);
        if (!user)
            return DevResponse::text(QByteArray());
        pushEvent(server, user->id, grant->postId, QStringLiteral("ack_img_ref"),
                  {{QStringLiteral("ref_id"), grant->refId}});
        const QJsonObject stored = storedPost(user, grant->postId);
        if (!stored.isEmpty())
            settle(server, user, stored);
        return DevResponse::text(QByteArray());
    });

    server.route("POST", post + QStringLiteral("/clean"),
                 withPost(server, [&server](const DevRequest&, DevStore::User* user, const QJsonObject& stored) {
                     // A post that was never built has nothing left once its revision goes.
                     const bool deepPurge = stored.value(QStringLiteral("deep_purge")).toBool()
                                            || !stored.value(QStringLiteral("live_revision")).isObject();
                     if (deepPurge) {
                         QJsonObject posts = postsOf(*user);
                         posts.remove(stored.value(QStringLiteral("id")).toString());
                         putExtra(server, user, "posts", posts);
                     } else {
                         QJsonObject changed = stored;
                         changed.insert(QStringLiteral("pending_revision"), QJsonValue::Null);
                         changed.insert(QStringLiteral("build_checks"), 0);
                         changed.insert(QStringLiteral("status"), 0);
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
                 withPost(server, [&server](const DevRequest&, DevStore::User* user, const QJsonObject& stored) {
                     const QString link = stored.value(QStringLiteral("link"))
                                              .toString(QStringLiteral("http://127.0.0.1:%1/site/%2/%3")
                                                            .arg(server.port())
                                                            .arg(user->id, stored.value(QStringLiteral("id")).toString()));
                     return DevResponse::json(QJsonObject{{QStringLiteral("link"), link}});
                 }));

    server.route("GET", post + QStringLiteral("/postrevisions/([^/]+)"),
                 withPost(server, [](const DevRequest& request, DevStore::User*, const QJsonObject& stored) {
                     QJsonObject revision = revisionOf(stored, request.captures.value(1));
                     if (revision.isEmpty())
                         return DevResponse::serviceError(404, 302, QStringLiteral("No such revision"));
                     return data(revisionAnswer(revision));
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
