// Support: log uploads. GET /debug-logs?email=... answers {"url": address} with an upload address
// of this service; PUT to that address stores the archive (in memory). The e-mail is read as a
// form value ("+" stands for a space), so a client has to percent-encode it.
//
//   GET    /debug-logs?email=E            {"url": "http://host:port/debug-logs/uploads/N"}
//   PUT    /debug-logs/uploads/N          stores the body; 200 {"size": bytes}
//   GET    /__control/debug-logs          {"uploads": [{"id", "email", "size", "received"}]}
#include "DevServer.h"

#include <QDateTime>
#include <QHash>

namespace {

struct LogUpload {
    QString email;
    QByteArray body;
    bool received = false;
    QDateTime at;
};

QString formValue(const QUrlQuery& query, const QString& key)
{
    QString raw = query.queryItemValue(key, QUrl::FullyEncoded);
    raw.replace(QLatin1Char('+'), QLatin1Char(' '));
    return QUrl::fromPercentEncoding(raw.toUtf8());
}

} // namespace

DEV_ROUTE_GROUP(registerSupportRoutes)
{
    auto uploads = std::make_shared<QHash<int, LogUpload>>();
    auto nextId = std::make_shared<int>(1);

    server.route("GET", QStringLiteral("/debug-logs"), [&server, uploads, nextId](const DevRequest& request) {
        const QString email = formValue(request.query, QStringLiteral("email"));
        if (email.trimmed().isEmpty())
            return DevResponse::serviceError(400, 101, QStringLiteral("email is required"));
        const int id = (*nextId)++;
        uploads->insert(id, LogUpload{email, {}, false, {}});
        const QString url = QStringLiteral("http://127.0.0.1:%1/debug-logs/uploads/%2").arg(server.port()).arg(id);
        return DevResponse::json(QJsonObject{{QStringLiteral("url"), url}});
    });

    server.route("PUT", QStringLiteral("/debug-logs/uploads/([0-9]+)"), [uploads](const DevRequest& request) {
        const int id = request.captures.value(0).toInt();
        auto it = uploads->find(id);
        if (it == uploads->end())
            return DevResponse::text("no such upload address", 404);
        it->body = request.body;
        it->received = true;
        it->at = QDateTime::currentDateTimeUtc();
        return DevResponse::json(QJsonObject{{QStringLiteral("size"), qint64(request.body.size())}});
    });

    server.route("GET", QStringLiteral("/__control/debug-logs"), [uploads](const DevRequest&) {
        QJsonArray list;
        QList<int> ids = uploads->keys();
        std::sort(ids.begin(), ids.end());
        for (int id : ids) {
            const LogUpload& upload = uploads->value(id);
            list.append(QJsonObject{{QStringLiteral("id"), id},
                                    {QStringLiteral("email"), upload.email},
                                    {QStringLiteral("size"), qint64(upload.body.size())},
                                    {QStringLiteral("received"), upload.received}});
        }
        return DevResponse::json(QJsonObject{{QStringLiteral("uploads"), list}});
    });
}
