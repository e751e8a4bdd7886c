// /site: the service's stand-in for the user's website. The link destination of a post leads
// here, to the page built from its live revision: the layout as it was composed (sections,
// rows and columns of blocks at their aspect ratios with their crops, styled text, spacers,
// the download button, the padding and the background colour) with the uploaded photos.
// The page carries the blocks in layout order; its script lays them out at the window's width
// with the same height laws as the canvas (see layoutScript below) once the photos are loaded.
// Each photo's alternative text is its keywords (its file name when it has none), the download
// button has the canvas's colours (its label's, and the hover ones under the pointer), and the
// revision's meta description is the page's.
//
//   GET /site/{user id}/{post id}               the built page (HTML); 404 before the first build
//   GET /site/{user id}/{post id}/images/{ref}  a photo of the page, as it was uploaded
#include "MeRecords.h"

#include "store/model/layout.pb.h"

#include <QRegularExpression>

#include <cmath>

using namespace dev;

namespace {

// Numbers as CSS and data attributes take them (never NaN or infinite).
QString number(double value)
{
    return QString::number(std::isfinite(value) ? value : 0.0, 'f', 4);
}

QString escapedText(const QString& text) { return text.toHtmlEscaped(); }

// The text's formatting as the blog shows it: only b, i, u, br and links to web addresses stay
// markup; everything else is shown as text. The character references the canvas writes and
// reads (&amp; &lt; &gt; &quot; &apos; &nbsp; and numeric ones) stay references, so the page
// shows the characters they stand for, as the canvas does; any other is shown as written.
QString sanitisedHtml(const QString& html)
{
    QString out = html.toHtmlEscaped();
    static const QRegularExpression simple(QStringLiteral("&lt;(/?)(b|i|u|br|p|h[1-5])\\s*/?&gt;"),
                                           QRegularExpression::CaseInsensitiveOption);
    out.replace(simple, QStringLiteral("<\\1\\2>"));
    // An address may hold the references of its escaped characters (a query's "&amp;").
    static const QRegularExpression link(
        QStringLiteral("&lt;a href=&quot;(https?://(?:[^&\"<>\\s]|&amp;(?:amp|lt|gt|quot|apos|#[0-9]{1,7}|#[xX][0-9a-fA-F]{1,6});)*)&quot;&gt;"),
        QRegularExpression::CaseInsensitiveOption);
    out.replace(link, QStringLiteral("<a href=\"\\1\">"));
    static const QRegularExpression close(QStringLiteral("&lt;/a&gt;"), QRegularExpression::CaseInsensitiveOption);
    out.replace(close, QStringLiteral("</a>"));
    // Last, so that an escaped "<b>" of the text stays text.
    static const QRegularExpression reference(
        QStringLiteral("&amp;(amp|lt|gt|quot|apos|nbsp|#[0-9]{1,7}|#[xX][0-9a-fA-F]{1,6});"),
        QRegularExpression::CaseInsensitiveOption);
    out.replace(reference, QStringLiteral("&\\1;"));
    return out;
}

// The download button's colours as the canvas draws them.
QString colourText(int colour)
{
    switch (colour) {
    case PLR::Block::Download_Button::BLACK: return QStringLiteral("#000000");
    case PLR::Block::Download_Button::GREY: return QStringLiteral("#808080");
    case PLR::Block::Download_Button::WHITE: return QStringLiteral("#ffffff");
    default: return QStringLiteral("transparent");
    }
}

// The label's colour on a fill and line: white on black or grey; on no fill the line's colour
// (unless that is white or none); black otherwise.
QString labelColourText(int fill, int line)
{
    using B = PLR::Block::Download_Button;
    if (fill == B::BLACK || fill == B::GREY)
        return QStringLiteral("#ffffff");
    if (fill == B::NONE && line != B::NONE && line != B::WHITE)
        return colourText(line);
    return QStringLiteral("#000000");
}

struct PageContext {
    QString userId;
    QString postId;
    QJsonObject imageInfo;
};

QString blockHtml(const PLR::Block& block, const PageContext& context, int depth);

QString childrenHtml(const google::protobuf::RepeatedPtrField<PLR::Block>& blocks, const PageContext& context, int depth)
{
    QString html;
    for (const PLR::Block& block : blocks)
        html += blockHtml(block, context, depth + 1);
    return html;
}

QString blockHtml(const PLR::Block& block, const PageContext& context, int depth)
{
    if (depth > 64)
        return QString();
    const QString ratio = number(block.aspect_ratio());
    const QString id = escapedText(QString::fromStdString(block.id()));
    switch (block.type_case()) {
    case PLR::Block::kContainer:
        return QStringLiteral("<div class=\"block %1\" data-id=\"%2\">\n%3</div>\n")
            .arg(block.container().vert() ? QStringLiteral("column") : QStringLiteral("row"), id,
                 childrenHtml(block.container().sub_blocks(), context, depth));
    case PLR::Block::kImage: {
        const PLR::Block::Image& image = block.image();
        const QString ref = QString::fromStdString(image.img_ref());
        // The photo's keywords describe it; its file name only when it has none.
        const QJsonObject info = context.imageInfo.value(ref).toObject();
        QStringList keywords;
        for (const QJsonValue& keyword : info.value(QStringLiteral("keywords")).toArray())
            if (!keyword.toString().trimmed().isEmpty())
                keywords << keyword.toString().trimmed();
        const QString alt = keywords.isEmpty() ? info.value(QStringLiteral("name")).toString()
                                               : keywords.join(QStringLiteral(", "));
        QString crop;
        if (image.has_position())
            crop = QStringLiteral(" data-x=\"%1\" data-y=\"%2\" data-w=\"%3\"")
                       .arg(number(image.position().x()), number(image.position().y()), number(image.position().width()));
        QString picture = QStringLiteral("<img class=\"photo\" src=\"/site/%1/%2/images/%3\" alt=\"%4\"%5>")
                              .arg(escapedText(context.userId), escapedText(context.postId),
                                   QString::fromLatin1(QUrl::toPercentEncoding(ref)), escapedText(alt), crop);
        if (image.has_interaction() && !image.interaction().href().empty()) {
            const QUrl href(QString::fromStdString(image.interaction().href()));
            if (href.scheme() == QLatin1String("http") || href.scheme() == QLatin1String("https"))
                picture = QStringLiteral("<a href=\"%1\"%2>%3</a>")
                              .arg(escapedText(href.toString()),
                                   image.interaction().open_in_new_tab() ? QStringLiteral(" target=\"_blank\"") : QString(),
                                   picture);
        }
        return QStringLiteral("<div class=\"block image\" data-id=\"%1\" data-ratio=\"%2\">%3</div>\n").arg(id, ratio, picture);
    }
    case PLR::Block::kText: {
        const PLR::Block::Text& text = block.text();
        static const char* tags[] = {"h1", "h2", "h3", "h4", "h5", "p"};
        const int style = text.style() >= 0 && text.style() <= 5 ? int(text.style()) : 5;
        const QString tag = QLatin1String(tags[style]);
        static const char* alignments[] = {"left", "center", "right", "justify"};
        const int alignment = text.has_position() && text.position().alignment() >= 0 && text.position().alignment() <= 3
                                  ? int(text.position().alignment())
                                  : 0;
        const QString body = !text.html().empty()
                                 ? sanitisedHtml(QString::fromStdString(text.html()))
                                 : QStringLiteral("<%1>%2</%1>").arg(tag, escapedText(QString::fromStdString(text.value())));
        return QStringLiteral("<div class=\"block text\" data-id=\"%1\" data-ratio=\"%2\" style=\"text-align:%3\">"
                              "<div class=\"content\">%4</div></div>\n")
            .arg(id, ratio, QLatin1String(alignments[alignment]), body);
    }
    case PLR::Block::kBlank:
        return QStringLiteral("<div class=\"block blank\" data-id=\"%1\" data-ratio=\"%2\"></div>\n").arg(id, ratio);
    case PLR::Block::kDownloadButton: {
        const PLR::Block::Download_Button& button = block.download_button();
        static const char* radii[] = {"0", "6px", "999px"};
        static const char* sizes[] = {"12px", "15px", "19px"};
        const int style = button.style() >= 0 && button.style() <= 2 ? int(button.style()) : 0;
        const int size = button.size() >= 0 && button.size() <= 2 ? int(button.size()) : 1;
        const QString title = button.title().empty() ? QStringLiteral("Download") : QString::fromStdString(button.title());
        // Colours as custom properties: the stylesheet applies them, and the hover ones under
        // the pointer.
        const QString colours =
            QStringLiteral("--fill:%1;--line:%2;--label:%3;--hover-fill:%4;--hover-line:%5;--hover-label:%6")
                .arg(colourText(button.fill_colour()), colourText(button.line_colour()),
                     labelColourText(button.fill_colour(), button.line_colour()),
                     colourText(button.hover_fill_colour()), colourText(button.hover_line_colour()),
                     labelColourText(button.hover_fill_colour(), button.hover_line_colour()));
        return QStringLiteral("<div class=\"block download\" data-id=\"%1\" data-ratio=\"%2\"><div class=\"content\">"
                              "<button style=\"%3;border-radius:%4;font-size:%5\">%6</button>"
                              "</div></div>\n")
            .arg(id, ratio, colours, QLatin1String(radii[style]), QLatin1String(sizes[size]), escapedText(title));
    }
    default:
        return QStringLiteral("<div class=\"block blank\" data-id=\"%1\" data-ratio=\"%2\"></div>\n").arg(id, ratio);
    }
}

// Lays the blocks out at the page's width with the canvas's height laws: a photo or spacer of
// ratio r is h = w/r; a column sums its children's laws and paddings; a row makes its children
// equally tall with their widths and paddings filling it; text and the download button take the
// height their content needs (in a row, at least the box of their own ratio, 3:2 without one).
// A ratio of 0 is the photo's own; unusable ratios fall back to 3:2, all clamped to 1/100..100.
const char* layoutScript = R"JS(
(function () {
  var root = document.getElementById('layout');
  var pad = parseFloat(root.dataset.padding) || 0;
  function usable(r) { return isFinite(r) && r > 0; }
  function clampR(r) { return Math.min(100, Math.max(0.01, r)); }
  function kind(el) { var c = el.classList; return c.contains('row') ? 'row' : c.contains('column') ? 'column'
      : (c.contains('text') || c.contains('download')) ? 'content' : 'ratio'; }
  function kids(el) { return Array.prototype.filter.call(el.children, function (c) { return c.classList.contains('block'); }); }
  function build(el, inRow) {
    var n = { el: el, kind: kind(el), inRow: inRow, kids: [], a: 0, b: 0, collapsed: false };
    var r = parseFloat(el.dataset.ratio);
    if (n.kind === 'ratio') {
      if (!usable(r)) { var img = el.querySelector('img'); if (img && img.naturalHeight > 0) r = img.naturalWidth / img.naturalHeight; }
      n.ratio = clampR(usable(r) ? r : 1.5);
    } else if (n.kind === 'content') {
      n.minSlope = 1 / clampR(usable(r) ? r : 1.5); n.a = n.minSlope;
    }
    var childrenInRow = inRow || n.kind === 'row';
    kids(el).forEach(function (c) { n.kids.push(build(c, childrenInRow)); });
    return n;
  }
  function measure(n, w) { var c = n.el.querySelector('.content'); if (!c) return 0; c.style.width = w + 'px'; return c.scrollHeight; }
  function laws(n) {
    n.kids.forEach(laws);
    if (n.kind === 'ratio') { n.a = 1 / n.ratio; n.b = 0; }
    else if (n.kind === 'content') { n.b = 0; }
    else if (n.kind === 'column') {
      var act = n.kids.filter(function (k) { return !k.collapsed; });
      n.collapsed = act.length === 0 && !n.section;
      n.a = act.reduce(function (s, k) { return s + k.a; }, 0);
      n.b = act.length ? act.reduce(function (s, k) { return s + k.b; }, 0) + (act.length - 1) * pad : 0;
    } else {
      var act2 = n.kids.filter(function (k) { return !k.collapsed; });
      n.collapsed = act2.length === 0;
      if (act2.length) {
        var inv = act2.reduce(function (s, k) { return s + 1 / k.a; }, 0);
        var off = act2.reduce(function (s, k) { return s + k.b / k.a; }, 0);
        n.a = 1 / inv; n.b = (off - (act2.length - 1) * pad) * n.a;
      } else { n.a = n.b = 0; }
    }
  }
  function widths(n) {
    if (n.kind === 'column') n.kids.forEach(function (k) { k.w = k.collapsed ? 0 : n.w; });
    else if (n.kind === 'row') {
      var h = n.a * n.w + n.b;
      n.kids.forEach(function (k) { var w = (h - k.b) / k.a; k.w = k.collapsed ? 0 : Math.max(0, isFinite(w) ? w : 0); });
    }
    n.kids.forEach(widths);
  }
  function all(n, out) { out.push(n); n.kids.forEach(function (k) { all(k, out); }); return out; }
  function refine(n) {
    var changed = false;
    all(n, []).forEach(function (k) {
      if (k.kind !== 'content' || !k.inRow) return;
      k.content = measure(k, k.w);
      if (k.content > k.a * k.w + 0.01 && k.w > 0) { k.a = Math.min(100, Math.max(k.minSlope, k.content / k.w)); changed = true; }
    });
    return changed;
  }
  function required(n) {
    n.kids.forEach(required);
    if (n.collapsed) { n.req = 0; return; }
    if (n.kind === 'ratio') n.req = n.w * n.a;
    else if (n.kind === 'content') { n.content = measure(n, n.w); n.req = n.inRow ? Math.max(n.content, n.a * n.w) : n.content; }
    else if (n.kind === 'column') {
      var act = n.kids.filter(function (k) { return !k.collapsed; });
      n.req = act.length ? act.reduce(function (s, k) { return s + k.req; }, 0) + (act.length - 1) * pad : 0;
    } else n.req = n.kids.reduce(function (m, k) { return k.collapsed ? m : Math.max(m, k.req); }, 0);
    n.req = Math.max(0, isFinite(n.req) ? n.req : 0);
  }
  function heights(n) {
    if (n.kind === 'row') n.kids.forEach(function (k) { k.h = k.collapsed ? 0 : n.h; });
    else if (n.kind === 'column') {
      var act = n.kids.filter(function (k) { return !k.collapsed; });
      var sum = act.reduce(function (s, k) { return s + k.req; }, 0), extra = Math.max(0, n.h - n.req);
      n.kids.forEach(function (k) { k.h = k.collapsed ? 0 : k.req + extra * (sum > 0 ? k.req / sum : 1 / act.length); });
    }
    n.kids.forEach(heights);
  }
  function place(n) {
    var row = n.kind === 'row', cursor = 0, placed = false;
    n.kids.forEach(function (k) {
      if (!k.collapsed && placed) cursor += pad;
      k.x = row ? cursor : 0; k.y = row ? 0 : cursor;
      if (!k.collapsed) { cursor += row ? k.w : k.h; placed = true; }
      var s = k.el.style; s.position = 'absolute'; s.left = k.x + 'px'; s.top = k.y + 'px'; s.width = k.w + 'px'; s.height = k.h + 'px';
      if (k.collapsed) s.display = 'none';
      var img = k.el.querySelector(':scope > img, :scope > a > img');
      if (img) crop(img, k);
      place(k);
    });
  }
  // The photo covers its block; a crop places it (x, y as fractions of the block, w its width).
  function crop(img, k) {
    var iw = img.naturalWidth, ih = img.naturalHeight; if (!(iw > 0 && ih > 0) || !(k.w > 0 && k.h > 0)) return;
    var fill = Math.max(k.w / iw, k.h / ih), w = iw * fill, cw = parseFloat(img.dataset.w);
    if (isFinite(cw) && cw > 0) w = Math.max(w, cw * k.w);
    var h = w * ih / iw, x = (k.w - w) / 2, y = (k.h - h) / 2;
    var cx = parseFloat(img.dataset.x), cy = parseFloat(img.dataset.y);
    if (img.dataset.x !== undefined && isFinite(cx)) x = cx * k.w;
    if (img.dataset.y !== undefined && isFinite(cy)) y = cy * k.h;
    x = Math.min(Math.max(x, k.w - w), 0); y = Math.min(Math.max(y, k.h - h), 0);
    var s = img.style; s.position = 'absolute'; s.left = x + 'px'; s.top = y + 'px'; s.width = w + 'px'; s.height = h + 'px';
  }
  function layout() {
    var width = root.clientWidth, top = 0, any = false;
    Array.prototype.forEach.call(root.querySelectorAll(':scope > .section'), function (sec) {
      var n = build(sec, false); n.kind = 'column'; n.section = true; n.w = width;
      for (var round = 0; round < 3; ++round) { laws(n); widths(n); if (!refine(n)) break; }
      required(n); n.h = n.req; heights(n); place(n);
      if (n.h > 0 && any) top += pad;
      var s = sec.style; s.position = 'absolute'; s.left = '0px'; s.top = top + 'px'; s.width = width + 'px'; s.height = n.h + 'px';
      if (n.h > 0) { top += n.h; any = true; }
    });
    root.style.height = top + 'px';
    document.body.dataset.laidOut = 'yes';
  }
  window.addEventListener('load', layout);
  window.addEventListener('resize', layout);
})();
)JS";

QString escaped(const QString& text) { return text.toHtmlEscaped(); }

DevResponse page(const QString& title, const QString& body, int status = 200, const QString& style = QString(),
                 const QString& description = QString())
{
    const QString meta = description.isEmpty()
                             ? QString()
                             : QStringLiteral("<meta name=\"description\" content=\"%1\">").arg(escaped(description));
    const QString html = QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>%4"
                                        "<style>html,body{margin:0;padding:0}body{font-family:sans-serif}"
                                        "#layout{position:relative;width:100%;overflow:hidden}"
                                        ".block{position:absolute;overflow:hidden;box-sizing:border-box}"
                                        ".block .content{margin:0}.block .content>*{margin:0}"
                                        ".download .content{text-align:center}"
                                        ".download button{padding:.5em 1.5em;cursor:pointer;font-weight:500;"
                                        "background:var(--fill);border:2px solid var(--line);color:var(--label)}"
                                        ".download button:hover{background:var(--hover-fill);border-color:var(--hover-line);"
                                        "color:var(--hover-label)}"
                                        "img.photo{display:block;position:absolute;left:0;top:0;width:100%;height:100%}%3"
                                        "</style></head>\n<body>\n%2</body></html>\n")
                             .arg(escaped(title), body, style, meta);
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
        const QByteArray bytes = QByteArray::fromBase64(revision.value(QStringLiteral("blob_hash")).toString().toLatin1());
        PLR::Layout layout;
        if (!layout.ParseFromArray(bytes.constData(), int(bytes.size())))
            return page(QStringLiteral("Unreadable post"), QStringLiteral("<p>The post's layout cannot be read.</p>\n"), 500);
        const QString name = post.value(QStringLiteral("name")).toString();
        const QString title = revision.value(QStringLiteral("seo_title")).isString()
                                  ? revision.value(QStringLiteral("seo_title")).toString()
                                  : name;
        const PageContext context{userId, postId, revision.value(QStringLiteral("image_info")).toObject()};
        QString background = QStringLiteral("#ffffff");
        if (layout.has_background_colour()) {
            auto component = [](float value) { return std::isfinite(value) ? qBound(0, int(std::lround(value)), 255) : 0; };
            background = QStringLiteral("rgb(%1,%2,%3)")
                             .arg(component(layout.background_colour().r()))
                             .arg(component(layout.background_colour().g()))
                             .arg(component(layout.background_colour().b()));
        }
        QString body = QStringLiteral("<div id=\"layout\" data-padding=\"%1\">\n")
                           .arg(number(double(std::max<google::protobuf::int64>(0, layout.padding()))));
        for (const PLR::Section& section : layout.sections())
            body += QStringLiteral("<div class=\"section\">\n%1</div>\n").arg(childrenHtml(section.blocks(), context, 0));
        body += QStringLiteral("</div>\n<script>%1</script>\n").arg(QString::fromUtf8(layoutScript));
        return page(title, body, 200, QStringLiteral("body{background:%1}").arg(background),
                    revision.value(QStringLiteral("meta")).toString());
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
