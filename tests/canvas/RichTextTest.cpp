// Rich text: the blog's HTML in and out (escaping, the allow-list), the editor's toggles and
// delegate, and a text block edited in place on the canvas with undo.

#include "CanvasTestSupport.h"

#include "canvas/interaction/PLRLayoutBlockInteractionHandler.h"
#include "layout/text/PLRRichText.h"
#include "canvas/text/PLRRichTextEditor.h"

#include <QTest>
#include <QTextCursor>

using canvas_test::CanvasFixture;
namespace html = PLRRichTextHTML;

namespace {

PLRRichTextRun run(const QString& text, bool bold = false, bool italic = false, bool underline = false, const QString& href = {})
{
    PLRRichTextRun r;
    r.text = text;
    r.bold = bold;
    r.italic = italic;
    r.underline = underline;
    r.href = href;
    return r;
}

struct RecordingDelegate : QObject, PLRRichTextEditorDelegate {
    struct Selection {
        PLRTextRange range;
        bool bold, italic, underline, linked;
    };
    QList<Selection> selections;
    QList<qint64> changes;
    int textChanges = 0;
    void selectionForEditor(PLRRichTextEditor*, const PLRTextRange& range, bool bold, bool italic, bool underline, bool linked,
                            const QColor&, const QColor&) override
    {
        selections.append({range, bold, italic, underline, linked});
    }
    void richTextEditorChangeAboutToOccurOfType(PLRRichTextEditor*, qint64 type) override { changes.append(type); }
    void richTextEditorTextDidChange(PLRRichTextEditor*) override { ++textChanges; }
};

// The editor's clipboard hooks, reached as a paste or a copy would.
struct ClipboardEditor : PLRRichTextEditor {
    using PLRRichTextEditor::createMimeDataFromSelection;
    using PLRRichTextEditor::insertFromMimeData;
};

void select(PLRRichTextEditor& editor, int from, int to)
{
    QTextCursor cursor = editor.textCursor();
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    editor.setTextCursor(cursor);
}

} // namespace

TEST(RichTextHTML, WritesOnlyTheBlogTagsAndEscapesEverythingElse)
{
    PLRRichText text;
    text.append(PLRRichTextParagraph{{run("Tom & Jerry <script>alert('x')</script> "), run("bold", true), run(" and "),
                  run("both", true, true), run(" "), run("link", false, false, false, "https://example.com/?a=1&b=\"2\""),
                  run(QStringLiteral("line") + QChar(QChar::LineSeparator) + "break", false, false, true)}});
    text.append(PLRRichTextParagraph());
    text.append(PLRRichTextParagraph{{run("  two  spaces ")}});
    EXPECT_EQ(html::serialize(text, PLRBlock_Text::PARAGRAPH),
              "<p>Tom &amp; Jerry &lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; <b>bold</b> and <b><i>both</i></b> "
              "<a href=\"https://example.com/?a=1&amp;b=&quot;2&quot;\">link</a><u>line<br>break</u></p>"
              "<p></p>"
              "<p>&nbsp;&nbsp;two &nbsp;spaces&nbsp;</p>");
    EXPECT_EQ(html::serialize({{{run("Title")}}}, PLRBlock_Text::HEADER2), "<h2>Title</h2>");
    // A link keeps one <a> across formatting changes inside it.
    EXPECT_EQ(html::serialize({{{run("a", false, false, false, "/x"), run("b", true, false, false, "/x")}}}, PLRBlock_Text::HEADER5),
              "<h5><a href=\"/x\">a<b>b</b></a></h5>");

    // What is written reads back the same, and writes the same again.
    const QString written = html::serialize(text, PLRBlock_Text::PARAGRAPH);
    const PLRRichText read = html::parse(written);
    EXPECT_EQ(html::serialize(read, PLRBlock_Text::PARAGRAPH), written);
    EXPECT_EQ(html::plainText(read),
              QStringLiteral("Tom & Jerry <script>alert('x')</script> bold and both linkline\nbreak\n\n  two  spaces "));
}

TEST(RichTextHTML, ReadingKeepsTheAllowListAndDropsHostileMarkup)
{
    const PLRRichText read = html::parse(
        "<html><head><title>t</title><style>p{}</style></head><body>"
        "<h1 onclick=\"evil()\">Head<script>document.cookie</script>er</h1>"
        "<p>A <strong>strong</strong> <em>em</em> <span style='x'>span</span> <img src=x onerror=alert(1)>"
        "<a href=\"javascript:alert(1)\">js</a> <a href=\" JaVa\tScRiPt:alert(2)\">js2</a> "
        "<a href='data:text/html,hi'>data</a> <a href=\"mailto:me@example.com\">mail</a> "
        "<a href=/relative>rel</a> &lt;b&gt; &amp;amp; &#x3C;&#60; &bogus; 5 < 6</p>"
        "<!-- <b>comment</b> --><iframe src=x>inside</iframe><p>last<br/>line</p>");
    ASSERT_EQ(read.size(), 3);
    EXPECT_EQ(html::plainText({read.at(0)}), "Header");
    const PLRRichTextParagraph& body = read.at(1);
    QStringList links;
    QString boldText;
    for (const PLRRichTextRun& r : body.runs) {
        if (!r.href.isEmpty())
            links << r.href + "=" + r.text;
        if (r.bold)
            boldText += r.text;
    }
    EXPECT_EQ(links, (QStringList{"mailto:me@example.com=mail", "/relative=rel"}));
    EXPECT_EQ(boldText, "strong");
    EXPECT_EQ(html::plainText({body}), "A strong em span js js2 data mail rel <b> &amp; << &bogus; 5 < 6");
    EXPECT_EQ(html::plainText({read.at(2)}), "last\nline");
    // Written again, nothing active survives.
    const QString again = html::serialize(read, PLRBlock_Text::PARAGRAPH);
    for (const char* banned : {"<script", "<img", "<iframe", "javascript", "data:", "onclick", "onerror", "<span", "<h1", "style"})
        EXPECT_FALSE(again.contains(QLatin1String(banned), Qt::CaseInsensitive)) << banned;

    EXPECT_EQ(html::sanitizeHref("https://x.org"), "https://x.org");
    EXPECT_EQ(html::sanitizeHref("vbscript:x"), "");
    EXPECT_EQ(html::sanitizeHref("java\nscript:alert(1)"), "");
    EXPECT_EQ(html::hrefFromUserInput("example.com/page"), "https://example.com/page");
    EXPECT_EQ(html::hrefFromUserInput("javascript:alert(1)"), "");

    // Unclosed and stray markup never throws text away.
    EXPECT_EQ(html::plainText(html::parse("<b>open <i>ended")), "open ended");
    EXPECT_EQ(html::plainText(html::parse("</b></i></a>text<")), "text<");
    EXPECT_EQ(html::plainText(html::parse("<script>never closed")), "");
    EXPECT_EQ(html::plainText(html::parse(QString())), "");
}

TEST(RichTextHTML, TextBlocksKeepPlainValueAndHTMLAndFollowTheirStyle)
{
    PLRBlock_Text text;
    text.set_style(PLRBlock_Text::PARAGRAPH);
    text.set_value("Plain <only>");
    EXPECT_EQ(html::plainText(html::richTextOfBlock(text)), "Plain <only>");
    PLRRichText rich = {{{run("Hello "), run("world", true)}}, {{run("again")}}};
    html::setRichTextOfBlock(&text, rich);
    EXPECT_EQ(text.value(), "Hello world\nagain");
    EXPECT_EQ(text.html(), "<p>Hello <b>world</b></p><p>again</p>");
    text.set_style(PLRBlock_Text::HEADER3);
    EXPECT_TRUE(html::restyleBlock(&text));
    EXPECT_EQ(text.html(), "<h3>Hello <b>world</b></h3><h3>again</h3>");
    EXPECT_FALSE(html::restyleBlock(&text));
    html::setRichTextOfBlock(&text, {{}});
    EXPECT_EQ(text.value(), "");
    EXPECT_EQ(text.html(), "");
}

TEST(RichTextEditor, TogglesFormattingAndTellsItsDelegate)
{
    PLRRichTextEditor editor;
    editor.resize(400, 200);
    RecordingDelegate delegate;
    editor.setRteDelegate(&delegate);
    editor.setRichText({{{run("Hello wide world")}}});

    select(editor, 6, 10);
    ASSERT_FALSE(delegate.selections.isEmpty());
    EXPECT_EQ(delegate.selections.last().range, (PLRTextRange{6, 4}));
    EXPECT_FALSE(delegate.selections.last().bold);
    editor.toggleBold();
    EXPECT_TRUE(delegate.selections.last().bold);
    editor.toggleItalic();
    editor.toggleUnderline();
    EXPECT_TRUE(editor.selectionIsBold());
    EXPECT_TRUE(editor.selectionIsItalic());
    EXPECT_TRUE(editor.selectionIsUnderline());
    EXPECT_EQ(editor.formattedHTML(), "<p>Hello <b><i><u>wide</u></i></b> world</p>");
    // A selection only partly bold is not bold: toggling makes all of it bold.
    select(editor, 0, 10);
    EXPECT_FALSE(editor.selectionIsBold());
    editor.toggleBold();
    EXPECT_EQ(editor.formattedHTML(), "<p><b>Hello <i><u>wide</u></i></b> world</p>");
    editor.toggleBold();
    EXPECT_EQ(editor.formattedHTML(), "<p>Hello <i><u>wide</u></i> world</p>");

    // Links: the prompt's answer, made safe; a refused address links nothing.
    QString answer = "javascript:alert(1)";
    editor.setLinkPrompt([&](const QString&) { return std::optional<QString>(answer); });
    select(editor, 11, 16);
    editor.toggleLink();
    EXPECT_FALSE(editor.selectionIsLinked());
    answer = "example.com";
    editor.toggleLink();
    EXPECT_TRUE(editor.selectionIsLinked());
    EXPECT_TRUE(delegate.selections.last().linked);
    EXPECT_EQ(editor.formattedHTML(), "<p>Hello <i><u>wide</u></i> <a href=\"https://example.com\">world</a></p>");
    // With the caret inside the link, toggling removes the whole link.
    select(editor, 13, 13);
    editor.toggleLink();
    EXPECT_EQ(editor.formattedHTML(), "<p>Hello <i><u>wide</u></i> world</p>");

    // Without a selection the toggles set the typing attributes.
    select(editor, 16, 16);
    editor.toggleBold();
    QTest::keyClicks(&editor, "!");
    EXPECT_EQ(editor.formattedHTML(), "<p>Hello <i><u>wide</u></i> world<b>!</b></p>");

    using E = PLRRichTextEditor;
    EXPECT_EQ(delegate.changes.mid(0, 5),
              (QList<qint64>{E::ChangeTypeBold, E::ChangeTypeItalic, E::ChangeTypeUnderline, E::ChangeTypeBold, E::ChangeTypeBold}));
    EXPECT_TRUE(delegate.changes.contains(E::ChangeTypeLink));
    EXPECT_TRUE(delegate.changes.contains(E::ChangeTypeUnlink));
    EXPECT_EQ(delegate.changes.last(), E::ChangeTypeTyping);
    EXPECT_GT(delegate.textChanges, 0);

    EXPECT_EQ(E::convertPreviewChangeTypeToString(E::ChangeTypeBold, false), "Bold");
    EXPECT_EQ(E::convertPreviewChangeTypeToString(E::ChangeTypeLink, false), "Add Link");
    EXPECT_EQ(E::convertPreviewChangeTypeToString(E::ChangeTypeTyping, false), "");
    EXPECT_EQ(E::convertPreviewChangeTypeToString(E::ChangeTypeTyping, true), "Typing");
    EXPECT_EQ(E::convertPreviewChangeTypeToString(999, true), "");

    // A delegate that goes away is let go of.
    auto shortLived = std::make_unique<RecordingDelegate>();
    editor.setRteDelegate(shortLived.get());
    shortLived.reset();
    EXPECT_EQ(editor.rteDelegate(), nullptr);
    editor.toggleItalic();   // no call to the gone delegate
}

TEST(RichTextEditor, PastesThroughTheAllowListOnly)
{
    ClipboardEditor editor;
    RecordingDelegate delegate;
    editor.setRteDelegate(&delegate);
    editor.setRichText({{{run("Start ")}}});
    QMimeData mime;
    mime.setHtml("<p>Web <b>bold</b><img src=\"file:///etc/passwd\"><script>x()</script>"
                 "<a href=\"javascript:x()\">bad</a><table><tr><td>cell</td></tr></table></p>");
    mime.setText("Web bold");
    editor.insertFromMimeData(&mime);
    EXPECT_EQ(editor.formattedHTML(), "<p>Start Web <b>bold</b>bad</p><p>cell</p>");
    EXPECT_EQ(delegate.changes.last(), PLRRichTextEditor::ChangeTypePaste);

    // Copying out carries the blog HTML and the plain text.
    editor.selectAll();
    std::unique_ptr<QMimeData> copied(editor.createMimeDataFromSelection());
    EXPECT_EQ(copied->text(), "Start Web boldbad\ncell");
    EXPECT_EQ(copied->html(), "<p>Start Web <b>bold</b>bad</p><p>cell</p>");
}

namespace {
class CanvasText : public CanvasFixture {};
} // namespace

TEST_F(CanvasText, ATextBlockHasItsHandlerAsSoonAsItIsAdded)
{
    PLRSection* section = layoutManager()->addNewSection();
    PLRBlockPtr made = PLRLayoutManager::newBlock_Text();
    made->mutable_text()->set_value("New");
    PLRBlock* text = layoutManager()->addBlock(std::move(made), nullptr, section);
    // No turn of the event loop: the inspector reaches the handler through the live proxy.
    PLRBlockView* view = layoutManager()->liveLayoutViewProxy()->blockViewForBlock(text);
    ASSERT_NE(view, nullptr);
    auto* handler = dynamic_cast<PLRLayoutBlockInteractionHandler_Text*>(view->interactionHandler());
    ASSERT_NE(handler, nullptr);
    RecordingDelegate page;
    handler->setTextViewDelegate(&page);
    handler->toggleCurrentSelectionBold();   // not editing: nothing happens
    EXPECT_EQ(text->text().html(), "");
    canvas()->setEditBlock(text);
    ASSERT_NE(handler->editor(), nullptr);
    EXPECT_EQ(handler->editor()->rteDelegate(), &page);
}

TEST_F(CanvasText, ATextBlockIsEditedInPlaceWithToggleAndUndo)
{
    addImage("a.jpg");
    PLRBlock* text = addText("Hello");
    const QByteArray before = bytes();

    doubleClick(pointIn(text, 0.3, 0.5));
    EXPECT_EQ(layoutManager()->currentEditBlock(), text);
    auto* handler = dynamic_cast<PLRLayoutBlockInteractionHandler_Text*>(canvas()->handlerForBlock(text));
    ASSERT_NE(handler, nullptr);
    PLRRichTextEditor* editor = handler->editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    // Over the block, at the canvas's scale.
    EXPECT_TRUE(canvas()->viewRectForBlock(text).adjusted(-1, -1, 1, 1).contains(QRectF(editor->geometry()).topLeft()));

    // The inspector's text page joins as the editor's delegate.
    RecordingDelegate page;
    handler->setTextViewDelegate(&page);
    EXPECT_EQ(editor->rteDelegate(), &page);

    QTest::keyClicks(editor, " <b>world</b> & more");
    EXPECT_EQ(text->text().value(), "Hello <b>world</b> & more");   // written as it is typed
    select(*editor, 0, 5);
    handler->toggleCurrentSelectionBold();
    EXPECT_TRUE(page.selections.last().bold);
    handler->toggleCurrentSelectionItalic();
    EXPECT_EQ(text->text().html(), "<p><b><i>Hello</i></b> &lt;b&gt;world&lt;/b&gt; &amp; more</p>");

    // Escape ends the editing: one undoable change.
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(layoutManager()->currentEditBlock(), nullptr);
    EXPECT_EQ(handler->editor(), nullptr);
    const QByteArray after = bytes();
    EXPECT_NE(after, before);
    EXPECT_EQ(undo()->undoActionName(), "Edit Text");
    undo()->undo();
    EXPECT_EQ(bytes(), before);
    undo()->redo();
    EXPECT_EQ(bytes(), after);

    // Editing again starts from the stored formatting; an undo while editing finishes the
    // edit first and undoes it.
    canvas()->refresh();
    text = layout()->mutable_sections(0)->mutable_blocks(1);
    canvas()->setEditBlock(text);
    handler = dynamic_cast<PLRLayoutBlockInteractionHandler_Text*>(canvas()->handlerForBlock(text));
    ASSERT_NE(handler, nullptr);
    ASSERT_NE(handler->editor(), nullptr);
    EXPECT_EQ(handler->editor()->formattedHTML(), QString::fromStdString(text->text().html()));
    QTest::keyClicks(handler->editor(), "!");
    undo()->undo();
    EXPECT_EQ(layoutManager()->currentEditBlock(), nullptr);
    EXPECT_EQ(bytes(), after);
}
