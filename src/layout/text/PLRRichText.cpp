#include "layout/text/PLRRichText.h"

#include "platform/Log.h"
#include "platform-ui/Color.h"

#include <QColor>
#include <QFont>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include <optional>

namespace PLRRichTextHTML {

namespace {

const QChar kLineBreak = QChar::LineSeparator;
const QChar kNoBreakSpace = QChar::Nbsp;

bool isHTMLSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

// Characters never kept in text: C0 controls (whitespace aside), DEL, and the document's
// object replacement character (embedded objects are never part of a block's text).
bool isDroppedCharacter(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x20)
        return !(u == u'\t' || u == u'\n' || u == u'\r' || u == u'\f');
    return u == 0x7F || u == 0xFFFC || u == 0xFFFE || u == 0xFFFF;
}

// Elements whose content is never text of the post.
bool isSkippedElement(const QString& name)
{
    static const QStringList names = {
        QStringLiteral("script"), QStringLiteral("style"), QStringLiteral("noscript"), QStringLiteral("template"),
        QStringLiteral("iframe"), QStringLiteral("object"), QStringLiteral("svg"), QStringLiteral("math"),
        QStringLiteral("textarea"), QStringLiteral("select"), QStringLiteral("head"), QStringLiteral("title"),
        QStringLiteral("xmp"), QStringLiteral("plaintext"), QStringLiteral("noembed"), QStringLiteral("noframes"),
    };
    return names.contains(name);
}

bool isParagraphElement(const QString& name)
{
    static const QStringList names = {
        QStringLiteral("p"), QStringLiteral("h1"), QStringLiteral("h2"), QStringLiteral("h3"), QStringLiteral("h4"),
        QStringLiteral("h5"), QStringLiteral("h6"), QStringLiteral("div"), QStringLiteral("li"), QStringLiteral("blockquote"),
        QStringLiteral("pre"), QStringLiteral("tr"), QStringLiteral("dt"), QStringLiteral("dd"), QStringLiteral("figcaption"),
        QStringLiteral("section"), QStringLiteral("article"), QStringLiteral("header"), QStringLiteral("footer"),
        QStringLiteral("address"), QStringLiteral("caption"),
    };
    return names.contains(name);
}

bool isListElement(const QString& name)
{
    static const QStringList names = {
        QStringLiteral("ul"), QStringLiteral("ol"), QStringLiteral("dl"), QStringLiteral("table"), QStringLiteral("tbody"),
        QStringLiteral("thead"), QStringLiteral("tfoot"), QStringLiteral("hr"), QStringLiteral("body"), QStringLiteral("html"),
    };
    return names.contains(name);
}

std::optional<char32_t> namedEntity(const QString& name)
{
    if (name == u"amp") return U'&';
    if (name == u"lt") return U'<';
    if (name == u"gt") return U'>';
    if (name == u"quot") return U'"';
    if (name == u"apos") return U'\'';
    if (name == u"nbsp") return U'\u00A0';
    return std::nullopt;
}

// Decodes one character reference starting at text[i] ('&'); advances i past it. Without a
// readable reference the '&' stands for itself.
QString decodeReference(const QString& text, qsizetype& i)
{
    const qsizetype semicolon = text.indexOf(u';', i + 1);
    if (semicolon < 0 || semicolon - i > 12) {
        ++i;
        return QStringLiteral("&");
    }
    const QString body = text.mid(i + 1, semicolon - i - 1);
    std::optional<char32_t> code;
    if (body.startsWith(u'#')) {
        bool ok = false;
        const uint value = (body.size() > 1 && (body.at(1) == u'x' || body.at(1) == u'X'))
            ? body.mid(2).toUInt(&ok, 16) : body.mid(1).toUInt(&ok, 10);
        if (ok)
            code = (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) ? U'\uFFFD' : char32_t(value);
    } else {
        code = namedEntity(body.toLower());
    }
    if (!code) {
        ++i;
        return QStringLiteral("&");
    }
    i = semicolon + 1;
    return QString::fromUcs4(&*code, 1);
}

QString decodeText(const QString& text)
{
    if (!text.contains(u'&'))
        return text;
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        if (text.at(i) == u'&') {
            out += decodeReference(text, i);
        } else {
            out += text.at(i);
            ++i;
        }
    }
    return out;
}

struct Tag {
    QString name;             // lower case
    bool closing = false;
    bool selfClosing = false;
    QString href;             // the decoded href attribute of an <a>
    bool hasHref = false;
};

// Reads the tag starting at html[i] ('<'); advances i past its '>'. nullopt when what follows
// the '<' is not a tag (the '<' is then text).
std::optional<Tag> readTag(const QString& html, qsizetype& i)
{
    qsizetype p = i + 1;
    Tag tag;
    if (p < html.size() && html.at(p) == u'/') {
        tag.closing = true;
        ++p;
    }
    const qsizetype nameStart = p;
    while (p < html.size() && (html.at(p).isLetterOrNumber() || html.at(p) == u'-' || html.at(p) == u':'))
        ++p;
    if (p == nameStart || !html.at(nameStart).isLetter())
        return std::nullopt;
    tag.name = html.mid(nameStart, p - nameStart).toLower();
    // Attributes.
    while (p < html.size()) {
        const QChar c = html.at(p);
        if (c == u'>') {
            ++p;
            break;
        }
        if (c == u'/' ) {
            if (p + 1 < html.size() && html.at(p + 1) == u'>')
                tag.selfClosing = true;
            ++p;
            continue;
        }
        if (isHTMLSpace(c)) {
            ++p;
            continue;
        }
        const qsizetype attrStart = p;
        while (p < html.size() && !isHTMLSpace(html.at(p)) && html.at(p) != u'=' && html.at(p) != u'>' && html.at(p) != u'/')
            ++p;
        const QString attrName = html.mid(attrStart, p - attrStart).toLower();
        if (p == attrStart)
            ++p;   // a stray character
        while (p < html.size() && isHTMLSpace(html.at(p)))
            ++p;
        QString value;
        if (p < html.size() && html.at(p) == u'=') {
            ++p;
            while (p < html.size() && isHTMLSpace(html.at(p)))
                ++p;
            if (p < html.size() && (html.at(p) == u'"' || html.at(p) == u'\'')) {
                const QChar quote = html.at(p);
                const qsizetype end = html.indexOf(quote, p + 1);
                const qsizetype stop = end < 0 ? html.size() : end;
                value = html.mid(p + 1, stop - p - 1);
                p = end < 0 ? html.size() : end + 1;
            } else {
                const qsizetype valueStart = p;
                while (p < html.size() && !isHTMLSpace(html.at(p)) && html.at(p) != u'>')
                    ++p;
                value = html.mid(valueStart, p - valueStart);
            }
        }
        if (attrName == u"href" && !tag.hasHref) {
            tag.hasHref = true;
            tag.href = decodeText(value);
        }
    }
    i = p;
    return tag;
}

class Parser {
public:
    PLRRichText parse(const QString& html)
    {
        qsizetype i = 0;
        QString text;
        while (i < html.size()) {
            const QChar c = html.at(i);
            if (c != u'<') {
                const qsizetype next = html.indexOf(u'<', i);
                const qsizetype end = next < 0 ? html.size() : next;
                appendText(decodeText(html.mid(i, end - i)));
                i = end;
                continue;
            }
            if (html.mid(i, 4) == u"<!--") {
                const qsizetype end = html.indexOf(QStringLiteral("-->"), i + 4);
                i = end < 0 ? html.size() : end + 3;
                continue;
            }
            if (i + 1 < html.size() && (html.at(i + 1) == u'!' || html.at(i + 1) == u'?')) {
                const qsizetype end = html.indexOf(u'>', i);
                i = end < 0 ? html.size() : end + 1;
                continue;
            }
            std::optional<Tag> tag = readTag(html, i);
            if (!tag) {
                appendText(QStringLiteral("<"));
                ++i;
                continue;
            }
            if (!tag->closing && !tag->selfClosing && isSkippedElement(tag->name)) {
                // Up to the element's end tag; all of it when there is none.
                const QString close = QStringLiteral("</") + tag->name;
                const qsizetype end = html.indexOf(close, i, Qt::CaseInsensitive);
                if (end < 0) {
                    i = html.size();
                } else {
                    const qsizetype gt = html.indexOf(u'>', end);
                    i = gt < 0 ? html.size() : gt + 1;
                }
                continue;
            }
            handleTag(*tag);
        }
        breakParagraph(false);
        return normalized(m_paragraphs);
    }

private:
    void handleTag(const Tag& tag)
    {
        const QString& name = tag.name;
        if (name == u"br") {
            trimTrailingSpace();
            appendCharacter(kLineBreak);
            return;
        }
        if (isParagraphElement(name)) {
            if (tag.closing) {
                breakParagraph(true);
            } else {
                breakParagraph(false);
                m_explicit = !tag.selfClosing;
            }
            return;
        }
        if (isListElement(name)) {
            breakParagraph(false);
            return;
        }
        if (tag.selfClosing)
            return;
        const int step = tag.closing ? -1 : 1;
        if (name == u"b" || name == u"strong") {
            m_bold = std::max(0, m_bold + step);
        } else if (name == u"i" || name == u"em") {
            m_italic = std::max(0, m_italic + step);
        } else if (name == u"u" || name == u"ins") {
            m_underline = std::max(0, m_underline + step);
        } else if (name == u"a") {
            if (tag.closing) {
                if (!m_links.isEmpty())
                    m_links.removeLast();
            } else {
                m_links.append(tag.hasHref ? sanitizeHref(tag.href) : QString());
            }
        }
        // Any other element: dropped, its text kept.
    }

    // Drops the collapsed space that ends the paragraph's text so far.
    void trimTrailingSpace()
    {
        while (!m_current.runs.isEmpty()) {
            QString& text = m_current.runs.back().text;
            if (text.endsWith(u' '))
                text.chop(1);
            if (!text.isEmpty())
                return;
            m_current.runs.removeLast();
        }
    }

    void breakParagraph(bool keepEmpty)
    {
        trimTrailingSpace();
        if (!m_current.runs.isEmpty() || (keepEmpty && m_explicit))
            m_paragraphs.append(m_current);
        m_current = PLRRichTextParagraph();
        m_explicit = false;
    }

    PLRRichTextRun currentFormat() const
    {
        PLRRichTextRun run;
        run.bold = m_bold > 0;
        run.italic = m_italic > 0;
        run.underline = m_underline > 0;
        // The innermost link with an address.
        for (auto it = m_links.crbegin(); it != m_links.crend(); ++it) {
            if (!it->isEmpty()) {
                run.href = *it;
                break;
            }
        }
        return run;
    }

    bool paragraphEndsWithSpaceOrBreak() const
    {
        for (auto it = m_current.runs.crbegin(); it != m_current.runs.crend(); ++it) {
            if (!it->text.isEmpty()) {
                const QChar last = it->text.back();
                return last == u' ' || last == kLineBreak;
            }
        }
        return true;   // the paragraph's start
    }

    void appendCharacter(QChar c)
    {
        const PLRRichTextRun format = currentFormat();
        if (m_current.runs.isEmpty() || !m_current.runs.back().sameFormatAs(format))
            m_current.runs.append(format);
        m_current.runs.back().text += c;
    }

    // Runs of white space collapse to one space, none at the start of a paragraph or a line.
    void appendText(const QString& text)
    {
        for (const QChar c : text) {
            if (isHTMLSpace(c)) {
                if (!paragraphEndsWithSpaceOrBreak())
                    appendCharacter(u' ');
                continue;
            }
            if (isDroppedCharacter(c))
                continue;
            appendCharacter(c);
        }
    }

    PLRRichText m_paragraphs;
    PLRRichTextParagraph m_current;
    bool m_explicit = false;
    int m_bold = 0;
    int m_italic = 0;
    int m_underline = 0;
    QStringList m_links;
};

// The text of a paragraph escaped for HTML: runs of spaces and spaces at either end kept
// with no-break spaces, line breaks as <br>.
void appendEscapedParagraphText(QString& out, const QString& paragraph, qsizetype from, qsizetype to)
{
    for (qsizetype i = from; i < to; ++i) {
        const QChar c = paragraph.at(i);
        if (c == u' ' || c == u'\t') {
            const bool edge = i == 0 || i == paragraph.size() - 1;
            const bool afterSpace = i > 0 && (paragraph.at(i - 1) == u' ' || paragraph.at(i - 1) == u'\t' || paragraph.at(i - 1) == kLineBreak);
            const bool beforeBreak = i + 1 < paragraph.size() && paragraph.at(i + 1) == kLineBreak;
            out += (edge || afterSpace || beforeBreak) ? QStringLiteral("&nbsp;") : QStringLiteral(" ");
        } else if (c == kLineBreak || c == u'\n' || c == u'\r') {
            out += QStringLiteral("<br>");
        } else if (c == kNoBreakSpace) {
            out += QStringLiteral("&nbsp;");
        } else if (isDroppedCharacter(c)) {
            continue;
        } else {
            out += escape(QString(c));
        }
    }
}

struct OpenTag {
    QChar kind;   // a, b, i, u
    QString href;
    bool operator==(const OpenTag&) const = default;
};

QList<OpenTag> tagsOf(const PLRRichTextRun& run)
{
    QList<OpenTag> tags;
    if (!run.href.isEmpty())
        tags.append(OpenTag{u'a', run.href});
    if (run.bold)
        tags.append(OpenTag{u'b', {}});
    if (run.italic)
        tags.append(OpenTag{u'i', {}});
    if (run.underline)
        tags.append(OpenTag{u'u', {}});
    return tags;
}

QString openingOf(const OpenTag& tag)
{
    if (tag.kind == u'a')
        return QStringLiteral("<a href=\"%1\">").arg(escape(tag.href));
    return QStringLiteral("<%1>").arg(tag.kind);
}

QString closingOf(const OpenTag& tag)
{
    return QStringLiteral("</%1>").arg(tag.kind);
}

} // namespace

QString tagForStyle(int style)
{
    switch (style) {
    case PLRBlock_Text::HEADER1: return QStringLiteral("h1");
    case PLRBlock_Text::HEADER2: return QStringLiteral("h2");
    case PLRBlock_Text::HEADER3: return QStringLiteral("h3");
    case PLRBlock_Text::HEADER4: return QStringLiteral("h4");
    case PLRBlock_Text::HEADER5: return QStringLiteral("h5");
    default: return QStringLiteral("p");
    }
}

QString escape(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QStringLiteral("&amp;"); break;
        case u'<': out += QStringLiteral("&lt;"); break;
        case u'>': out += QStringLiteral("&gt;"); break;
        case u'"': out += QStringLiteral("&quot;"); break;
        case u'\'': out += QStringLiteral("&#39;"); break;
        default:
            if (!isDroppedCharacter(c) || isHTMLSpace(c))
                out += c;
            break;
        }
    }
    return out;
}

QString sanitizeHref(const QString& href)
{
    // Browsers ignore tabs and line breaks inside addresses ("java\tscript:"): so do we, and
    // every other control character and surrounding space goes too.
    QString cleaned;
    for (const QChar c : href) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            continue;
        cleaned += c;
    }
    cleaned = cleaned.trimmed();
    if (cleaned.isEmpty() || cleaned.size() > 2048)
        return {};
    // A scheme is what comes before the first ':' when nothing of a path, query or fragment
    // comes earlier.
    const qsizetype colon = cleaned.indexOf(u':');
    qsizetype firstDelimiter = cleaned.size();
    for (const QChar d : {u'/', u'?', u'#'}) {
        const qsizetype at = cleaned.indexOf(d);
        if (at >= 0)
            firstDelimiter = std::min(firstDelimiter, at);
    }
    if (colon < 0 || colon > firstDelimiter)
        return cleaned;   // relative
    const QString scheme = cleaned.left(colon).toLower();
    static const QStringList allowed = {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mailto"), QStringLiteral("tel")};
    return allowed.contains(scheme) ? cleaned : QString();
}

QString hrefFromUserInput(const QString& input)
{
    const QString trimmed = input.trimmed();
    if (trimmed.isEmpty())
        return {};
    const qsizetype colon = trimmed.indexOf(u':');
    const qsizetype slash = trimmed.indexOf(u'/');
    const bool hasScheme = colon > 0 && (slash < 0 || colon < slash);
    if (!hasScheme && !trimmed.startsWith(u'/') && !trimmed.startsWith(u'#') && !trimmed.startsWith(u'.')
        && !trimmed.startsWith(u'?') && trimmed.contains(u'.') && !trimmed.contains(u' '))
        return sanitizeHref(QStringLiteral("https://") + trimmed);
    return sanitizeHref(trimmed);
}

PLRRichText normalized(const PLRRichText& text)
{
    PLRRichText result;
    result.reserve(text.size());
    for (const PLRRichTextParagraph& paragraph : text) {
        PLRRichTextParagraph merged;
        for (const PLRRichTextRun& run : paragraph.runs) {
            if (run.text.isEmpty())
                continue;
            if (!merged.runs.isEmpty() && merged.runs.back().sameFormatAs(run))
                merged.runs.back().text += run.text;
            else
                merged.runs.append(run);
        }
        result.append(merged);
    }
    return result;
}

QString serialize(const PLRRichText& text, int style)
{
    const QString tag = tagForStyle(style);
    QString out;
    for (const PLRRichTextParagraph& paragraph : normalized(text)) {
        QString whole;
        for (const PLRRichTextRun& run : paragraph.runs)
            whole += run.text;
        out += QLatin1Char('<') + tag + QLatin1Char('>');
        QList<OpenTag> open;
        qsizetype offset = 0;
        for (const PLRRichTextRun& run : paragraph.runs) {
            const QList<OpenTag> wanted = tagsOf(run);
            qsizetype common = 0;
            while (common < open.size() && common < wanted.size() && open.at(common) == wanted.at(common))
                ++common;
            while (open.size() > common)
                out += closingOf(open.takeLast());
            for (qsizetype k = common; k < wanted.size(); ++k) {
                out += openingOf(wanted.at(k));
                open.append(wanted.at(k));
            }
            appendEscapedParagraphText(out, whole, offset, offset + run.text.size());
            offset += run.text.size();
        }
        while (!open.isEmpty())
            out += closingOf(open.takeLast());
        out += QStringLiteral("</") + tag + QLatin1Char('>');
    }
    return out;
}

PLRRichText parse(const QString& html)
{
    if (html.size() > kMaximumHTMLLength) {
        PLR_LOG_WARN(QStringLiteral("Formatted text of %1 characters cut to %2").arg(html.size()).arg(kMaximumHTMLLength));
        return Parser().parse(html.left(kMaximumHTMLLength));
    }
    return Parser().parse(html);
}

QString plainText(const PLRRichText& text)
{
    QStringList paragraphs;
    for (const PLRRichTextParagraph& paragraph : text) {
        QString line;
        for (const PLRRichTextRun& run : paragraph.runs)
            line += run.text;
        line.replace(kLineBreak, u'\n');
        line.replace(kNoBreakSpace, u' ');
        paragraphs.append(line);
    }
    return paragraphs.join(u'\n');
}

PLRRichText fromPlainText(const QString& text)
{
    PLRRichText result;
    if (text.isEmpty())
        return result;
    QString cleaned = text;
    cleaned.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    cleaned.replace(u'\r', u'\n');
    cleaned.replace(QChar::ParagraphSeparator, u'\n');
    for (const QString& line : cleaned.split(u'\n')) {
        PLRRichTextParagraph paragraph;
        QString kept;
        for (const QChar c : line) {
            if (c == u'\t')
                kept += u' ';
            else if (!isDroppedCharacter(c))
                kept += c;
        }
        if (!kept.isEmpty())
            paragraph.runs.append(PLRRichTextRun{kept});
        result.append(paragraph);
    }
    return result;
}

PLRRichText fromDocument(const QTextDocument* document)
{
    PLRRichText result;
    if (!document)
        return result;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        PLRRichTextParagraph paragraph;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat format = fragment.charFormat();
            PLRRichTextRun run;
            for (const QChar c : fragment.text()) {
                if (c == u'\t')
                    run.text += u' ';
                else if (!isDroppedCharacter(c))
                    run.text += c;
            }
            run.bold = format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= QFont::DemiBold;
            run.italic = format.fontItalic();
            run.underline = format.fontUnderline();
            run.href = format.isAnchor() ? sanitizeHref(format.anchorHref()) : QString();
            paragraph.runs.append(run);
        }
        result.append(paragraph);
    }
    return normalized(result);
}

void toDocument(const PLRRichText& text, QTextDocument* document, const QFont& font, const QColor& colour)
{
    if (!document)
        return;
    document->clear();
    document->setDefaultFont(font);
    QTextCursor cursor(document);
    const QColor link = linkColour();
    bool first = true;
    for (const PLRRichTextParagraph& paragraph : text) {
        if (!first)
            cursor.insertBlock();
        first = false;
        for (const PLRRichTextRun& run : paragraph.runs) {
            QTextCharFormat format;
            if (run.bold)
                format.setFontWeight(QFont::Bold);
            if (run.italic)
                format.setFontItalic(true);
            if (run.underline)
                format.setFontUnderline(true);
            if (!run.href.isEmpty()) {
                format.setAnchor(true);
                format.setAnchorHref(run.href);
                format.setForeground(link);
            } else {
                format.setForeground(colour);
            }
            cursor.insertText(run.text, format);
        }
    }
}

QColor linkColour()
{
    const platform::ui::Color named = platform::ui::namedColor(QStringLiteral("plrTextLinkColor"));
    return named.isVisible() ? named.toQColor() : QColor(0x21, 0x9D, 0xFF);
}

PLRRichText richTextOfBlock(const PLRBlock_Text& text)
{
    if (!text.html().empty())
        return parse(QString::fromStdString(text.html()));
    return fromPlainText(QString::fromStdString(text.value()));
}

void setRichTextOfBlock(PLRBlock_Text* text, const PLRRichText& richText)
{
    if (!text)
        return;
    const QString plain = plainText(richText);
    text->set_value(plain.toStdString());
    text->set_html(plain.trimmed().isEmpty() ? std::string() : serialize(richText, text->style()).toStdString());
}

bool restyleBlock(PLRBlock_Text* text)
{
    if (!text || text->html().empty())
        return false;
    const std::string html = serialize(parse(QString::fromStdString(text->html())), text->style()).toStdString();
    if (html == text->html())
        return false;
    text->set_html(html);
    return true;
}

} // namespace PLRRichTextHTML
