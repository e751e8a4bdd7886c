// /site: the service's stand-in for the user's website. The link destination of a post leads
// here, to the page built from its live revision: the layout's photos, in the layout's order,
// with its text blocks.
//
//   GET /site/{user id}/{post id}               the built page (HTML); 404 before the first build
//   GET /site/{user id}/{post id}/images/{ref}  a photo of the page, as it was uploaded
#include "MeRecords.h"

using namespace dev;

namespace {

// One thing the page shows, in layout order.
struct PageItem {
    bool isText = false;
    QString value;   // photo reference or text
};

// A small reader of the layout document's wire format: sections (field 1 of the layout) hold
// blocks (field 1), a block is a container (4, sub-blocks in its field 2), an image (5,
// reference in its field 1) or a text (6, plain text in its field 1). Everything else is
// skipped. False for bytes that are not a well-formed message.
class LayoutReader {
public:
    explicit LayoutReader(const QByteArray& bytes) : m_bytes(bytes) {}

    bool readLayout(QList<PageItem>* items) { return walk(0, m_bytes.size(), Level::Layout, items); }

private:
    enum class Level { Layout, Section, Block, Container, Image, Text };

    bool varint(qsizetype* at, qsizetype end, quint64* value) const
    {
        *value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (*at >= end)
                return false;
            const quint8 byte = quint8(m_bytes.at((*at)++));
            *value |= quint64(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return true;
        }
        return false;
    }

    bool walk(qsizetype at, qsizetype end, Level level, QList<PageItem>* items, int depth = 0)
    {
        if (depth > 64)
            return false;
        while (at < end) {
            quint64 tag = 0;
            if (!varint(&at, end, &tag))
                return false;
            const quint64 field = tag >> 3;
            switch (tag & 7) {
            case 0: {
                quint64 ignored = 0;
                if (!varint(&at, end, &ignored))
                    return false;
                break;
            }
            case 1: at += 8; break;
            case 5: at += 4; break;
            case 2: {
                quint64 length = 0;
                if (!varint(&at, end, &length) || length > quint64(end - at))
                    return false;
                const qsizetype inner = at;
                at += qsizetype(length);
                if (!member(level, field, inner, at, items, depth))
                    return false;
                break;
            }
            default:
                return false;
            }
            if (at > end)
                return false;
        }
        return true;
    }

    bool member(Level level, quint64 field, qsizetype from, qsizetype to, QList<PageItem>* items, int depth)
    {
        const auto text = [&] { return QString::fromUtf8(m_bytes.mid(from, to - from)); };
        switch (level) {
        case Level::Layout:
            return field == 1 ? walk(from, to, Level::Section, items, depth + 1) : true;
        case Level::Section:
            return field == 1 ? walk(from, to, Level::Block, items, depth + 1) : true;
        case Level::Block:
            if (field == 4)
                return walk(from, to, Level::Container, items, depth + 1);
            if (field == 5)
                return walk(from, to, Level::Image, items, depth + 1);
            if (field == 6)
                return walk(from, to, Level::Text, items, depth + 1);
            return true;
        case Level::Container:
            return field == 2 ? walk(from, to, Level::Block, items, depth + 1) : true;
        case Level::Image:
            if (field == 1)
                items->append({false, text()});
            return true;
        case Level::Text:
            if (field == 1)
                items->append({true, text()});
            return true;
        }
        return true;
    }

    const QByteArray& m_bytes;
};

QString escaped(const QString& text) { return text.toHtmlEscaped(); }

DevResponse page(const QString& title, const QString& body, int status = 200)
{
    const QString html = QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>"
                                        "<style>body{max-width:960px;margin:2em auto;font-family:sans-serif}"
                                        "img{display:block;width:100%;margin:0 0 1em}</style></head>\n"
                                        "<body>\n%2</body></html>\n")
                             .arg(escaped(title), body);
    return DevResponse::text(html.toUtf8(), status, "text/html; charset=utf-8");
}

// The live revision of a user's post; empty when there is none.
QJsonObject liveRevision(DevServer& server, const QString& userId, const QString& postId, QJsonObject* post)
{
    const DevStore::User* user = server.store().userById(userId);
    if (!user)
        return {};
    *post = postsOf(*user).value(postId).toObject();
    return post->value(QStringLiteral("live_revision")).toObject();
}

} // namespace

DEV_ROUTE_GROUP(registerSiteRoutes)
{
    server.route("GET", QStringLiteral("/site/([^/]+)/([^/]+)"), [&server](const DevRequest& request) {
        const QString userId = request.captures.value(0);
        const QString postId = request.captures.value(1);
        QJsonObject post;
        const QJsonObject revision = liveRevision(server, userId, postId, &post);
        if (revision.isEmpty())
            return page(QStringLiteral("Not published"), QStringLiteral("<p>This post is not published.</p>\n"), 404);
        const QByteArray layout = QByteArray::fromBase64(revision.value(QStringLiteral("blob_hash")).toString().toLatin1());
        QList<PageItem> items;
        if (!LayoutReader(layout).readLayout(&items))
            return page(QStringLiteral("Unreadable post"), QStringLiteral("<p>The post's layout cannot be read.</p>\n"), 500);
        const QString name = post.value(QStringLiteral("name")).toString();
        const QJsonObject titleSource = revision.value(QStringLiteral("seo_title")).isString()
                                            ? QJsonObject{{QStringLiteral("t"), revision.value(QStringLiteral("seo_title"))}}
                                            : QJsonObject{{QStringLiteral("t"), name}};
        QString body = QStringLiteral("<article>\n<h1>%1</h1>\n").arg(escaped(name));
        const QJsonObject info = revision.value(QStringLiteral("image_info")).toObject();
        for (const PageItem& item : items) {
            if (item.isText) {
                body += QStringLiteral("<p class=\"text\">%1</p>\n").arg(escaped(item.value));
                continue;
            }
            const QString alt = info.value(item.value).toObject().value(QStringLiteral("name")).toString();
            body += QStringLiteral("<img class=\"photo\" src=\"/site/%1/%2/images/%3\" alt=\"%4\">\n")
                        .arg(escaped(userId), escaped(postId), QString::fromLatin1(QUrl::toPercentEncoding(item.value)),
                             escaped(alt));
        }
        body += QStringLiteral("</article>\n");
        return page(titleSource.value(QStringLiteral("t")).toString(), body);
    });

    server.route("GET", QStringLiteral("/site/([^/]+)/([^/]+)/images/([^/]+)"), [&server](const DevRequest& request) {
        QJsonObject post;
        const QJsonObject revision = liveRevision(server, request.captures.value(0), request.captures.value(1), &post);
        const QString ref = QUrl::fromPercentEncoding(request.captures.value(2).toUtf8());
        const QJsonObject entry = revision.value(QStringLiteral("image_info")).toObject().value(ref).toObject();
        const QByteArray bytes = server.store().photo(request.captures.value(0), entry.value(QStringLiteral("hash")).toString());
        if (bytes.isEmpty())
            return DevResponse::serviceError(404, 102, QStringLiteral("No such photo"));
        const bool gif = bytes.startsWith("GIF8");
        return DevResponse::text(bytes, 200, gif ? "image/gif" : "image/jpeg");
    });
}
