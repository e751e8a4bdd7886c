#pragma once

// The formatted text of a text block and its HTML.
//
// A text block keeps its text twice: `value`, the plain text (paragraphs separated by "\n"),
// and `html`, the same text with its formatting as the blog shows it. The HTML holds only what
// a blog post needs: one element per paragraph in the tag of the block's style (p for a
// paragraph, h1-h5 for the headers) containing text, b, i, u, a href and br. Everything else a
// user types is text and is escaped.
//
// Reading HTML (a stored block, a paste) goes through parse(), which keeps only that allow-list:
// strong and em count as b and i, other tags are dropped with their text kept, the content of
// script, style and similar elements is dropped, and a link whose address is not web, mail or
// relative (javascript:, data:, file:...) loses its address. Raw HTML never reaches a text
// document or the published page.

#include "store/model/PLRLayoutDocument.h"

#include <QList>
#include <QString>

class QTextDocument;
class QFont;
class QColor;

// A piece of text with one formatting. Line breaks inside a paragraph are QChar::LineSeparator.
struct PLRRichTextRun {
    QString text;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    QString href;   // empty when the run links nowhere

    bool sameFormatAs(const PLRRichTextRun& other) const
    {
        return bold == other.bold && italic == other.italic && underline == other.underline && href == other.href;
    }
    bool operator==(const PLRRichTextRun&) const = default;
};

struct PLRRichTextParagraph {
    QList<PLRRichTextRun> runs;
    bool operator==(const PLRRichTextParagraph&) const = default;
};

using PLRRichText = QList<PLRRichTextParagraph>;

namespace PLRRichTextHTML {

// Longest HTML read; the rest is dropped (logged).
inline constexpr qsizetype kMaximumHTMLLength = 2 * 1024 * 1024;

// The paragraph tag of a text style ("h1"-"h5", "p").
QString tagForStyle(int style);

// Text escaped for HTML content and attribute values (& < > " ').
QString escape(const QString& text);
// The address a link may carry, trimmed, or empty when it is not allowed: http, https, mailto,
// tel and relative addresses pass; any other scheme is refused.
QString sanitizeHref(const QString& href);
// What a user typed as a link address, made usable: a bare host ("example.com") gets "https://".
// Empty when the result is not allowed.
QString hrefFromUserInput(const QString& input);

// The HTML of formatted text with every paragraph in the tag of `style`.
QString serialize(const PLRRichText& text, int style);
// Formatted text from HTML (see above). Never fails: unreadable markup is read as text.
PLRRichText parse(const QString& html);
// Plain text of HTML or formatted text (paragraphs joined by "\n", line breaks as "\n").
QString plainText(const PLRRichText& text);
// Formatted text of plain text (one paragraph per line, no formatting).
PLRRichText fromPlainText(const QString& text);
// Adjacent runs of one format merged, empty runs dropped.
PLRRichText normalized(const PLRRichText& text);

// The colour links are drawn in (the palette's link colour).
QColor linkColour();

// The formatted text of a document, and a document filled with formatted text in a base font
// and colour (links drawn in the link colour).
PLRRichText fromDocument(const QTextDocument* document);
void toDocument(const PLRRichText& text, QTextDocument* document, const QFont& font, const QColor& colour);

// The formatted text of a text block: its HTML when it has one, else its plain value.
PLRRichText richTextOfBlock(const PLRBlock_Text& text);
// Writes formatted text into the block: `value` gets the plain text, `html` the HTML in the
// block's style.
void setRichTextOfBlock(PLRBlock_Text* text, const PLRRichText& richText);
// After the block's style changed: its HTML again, in the new paragraph tag (nothing for a
// block without HTML). Answers whether the block changed.
bool restyleBlock(PLRBlock_Text* text);

} // namespace PLRRichTextHTML
