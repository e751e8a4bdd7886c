#include "canvas/text/PLRRichTextEditor.h"

#include "platform/Log.h"

#include <QInputDialog>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

namespace {

using PLRRichTextHTML::linkColour;

bool isBoldFormat(const QTextCharFormat& format)
{
    return format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= QFont::DemiBold;
}

} // namespace

PLRRichTextEditor::PLRRichTextEditor(QWidget* parent) : QTextEdit(parent)
{
    setAcceptRichText(false);
    setFrameStyle(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
    setLineWrapMode(QTextEdit::WidgetWidth);
    document()->setDocumentMargin(0);
    m_textColour = QColor(0x22, 0x22, 0x22);
    m_linkPrompt = [this](const QString& current) -> std::optional<QString> {
        bool ok = false;
        const QString answer = QInputDialog::getText(this, QStringLiteral("Link"), QStringLiteral("Web address:"),
                                                     QLineEdit::Normal, current, &ok);
        if (!ok)
            return std::nullopt;
        return answer;
    };
    connect(this, &QTextEdit::cursorPositionChanged, this, &PLRRichTextEditor::reportSelection);
    connect(this, &QTextEdit::selectionChanged, this, &PLRRichTextEditor::reportSelection);
    connect(this, &QTextEdit::currentCharFormatChanged, this, [this] { reportSelection(); });
    connect(this, &QTextEdit::textChanged, this, [this] {
        if (m_loading)
            return;
        emit formattedTextChanged();
        if (PLRRichTextEditorDelegate* delegate = rteDelegate())
            delegate->richTextEditorTextDidChange(this);
    });
}

PLRRichTextEditor::~PLRRichTextEditor() = default;

QString PLRRichTextEditor::convertPreviewChangeTypeToString(qint64 changeType, bool withNonSpecialChangeText)
{
    QString name;
    bool special = true;
    switch (changeType) {
    case ChangeTypeTyping: name = QStringLiteral("Typing"); special = false; break;
    case ChangeTypeDeletion: name = QStringLiteral("Delete"); special = false; break;
    case ChangeTypeNewLine: name = QStringLiteral("New Line"); special = false; break;
    case ChangeTypePaste: name = QStringLiteral("Paste"); special = false; break;
    case ChangeTypeCut: name = QStringLiteral("Cut"); special = false; break;
    case ChangeTypeDrop: name = QStringLiteral("Drop"); special = false; break;
    case ChangeTypeBold: name = QStringLiteral("Bold"); break;
    case ChangeTypeItalic: name = QStringLiteral("Italic"); break;
    case ChangeTypeUnderline: name = QStringLiteral("Underline"); break;
    case ChangeTypeLink: name = QStringLiteral("Add Link"); break;
    case ChangeTypeUnlink: name = QStringLiteral("Remove Link"); break;
    default: return QString();
    }
    return special || withNonSpecialChangeText ? name : QString();
}

PLRRichTextEditorDelegate* PLRRichTextEditor::rteDelegate() const
{
    if (m_delegateIsObject && !m_delegateObject)
        return nullptr;
    return m_delegate;
}

void PLRRichTextEditor::setRteDelegate(PLRRichTextEditorDelegate* delegate)
{
    m_delegate = delegate;
    QObject* object = dynamic_cast<QObject*>(delegate);
    m_delegateObject = object;
    m_delegateIsObject = object != nullptr;
    reportSelection();
}

// --- Content -----------------------------------------------------------------------------------

void PLRRichTextEditor::setBaseFont(const QFont& font, const QColor& colour)
{
    setFont(font);
    document()->setDefaultFont(font);
    m_textColour = colour;
    QPalette palette = this->palette();
    palette.setColor(QPalette::Text, colour);
    setPalette(palette);
    QTextCharFormat typing = currentCharFormat();
    typing.setForeground(colour);
    setCurrentCharFormat(typing);
}

void PLRRichTextEditor::setTextAlignment(Qt::Alignment alignment)
{
    QTextOption option = document()->defaultTextOption();
    option.setAlignment(alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document()->setDefaultTextOption(option);
}

void PLRRichTextEditor::setRichText(const PLRRichText& text)
{
    m_loading = true;
    PLRRichTextHTML::toDocument(text, document(), font(), m_textColour);
    document()->clearUndoRedoStacks();
    document()->setModified(false);
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    setTextCursor(end);
    m_loading = false;
    reportSelection();
}

PLRRichText PLRRichTextEditor::richText() const
{
    return PLRRichTextHTML::fromDocument(document());
}

QString PLRRichTextEditor::formattedHTML() const
{
    return PLRRichTextHTML::serialize(richText(), m_style);
}

QString PLRRichTextEditor::plainTextValue() const
{
    return PLRRichTextHTML::plainText(richText());
}

void PLRRichTextEditor::setFormattedHTML(const QString& html)
{
    setRichText(PLRRichTextHTML::parse(html));
}

// --- Formatting ----------------------------------------------------------------------------------

bool PLRRichTextEditor::selectionAll(const std::function<bool(const QTextCharFormat&)>& test) const
{
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return test(currentCharFormat());
    QTextCursor probe(document());
    bool any = false;
    for (int position = cursor.selectionStart(); position < cursor.selectionEnd(); ++position) {
        if (document()->characterAt(position) == QChar::ParagraphSeparator)
            continue;
        probe.setPosition(position + 1);
        any = true;
        if (!test(probe.charFormat()))
            return false;
    }
    return any;
}

bool PLRRichTextEditor::selectionAny(const std::function<bool(const QTextCharFormat&)>& test) const
{
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return test(currentCharFormat());
    QTextCursor probe(document());
    for (int position = cursor.selectionStart(); position < cursor.selectionEnd(); ++position) {
        if (document()->characterAt(position) == QChar::ParagraphSeparator)
            continue;
        probe.setPosition(position + 1);
        if (test(probe.charFormat()))
            return true;
    }
    return false;
}

bool PLRRichTextEditor::selectionIsBold() const { return selectionAll(isBoldFormat); }
bool PLRRichTextEditor::selectionIsItalic() const
{
    return selectionAll([](const QTextCharFormat& f) { return f.fontItalic(); });
}
bool PLRRichTextEditor::selectionIsUnderline() const
{
    return selectionAll([](const QTextCharFormat& f) { return f.fontUnderline(); });
}
bool PLRRichTextEditor::selectionIsLinked() const
{
    if (!textCursor().hasSelection())
        return linkCursorAtCaret().hasSelection();
    return selectionAny([](const QTextCharFormat& f) { return f.isAnchor() && !f.anchorHref().isEmpty(); });
}

PLRTextRange PLRRichTextEditor::selectedRange() const
{
    const QTextCursor cursor = textCursor();
    return PLRTextRange{cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
}

void PLRRichTextEditor::applyToSelection(const QTextCharFormat& format)
{
    mergeCurrentCharFormat(format);
    reportSelection();
}

void PLRRichTextEditor::toggleBold()
{
    announceChange(ChangeTypeBold);
    QTextCharFormat format;
    format.setFontWeight(selectionIsBold() ? QFont::Normal : QFont::Bold);
    applyToSelection(format);
}

void PLRRichTextEditor::toggleItalic()
{
    announceChange(ChangeTypeItalic);
    QTextCharFormat format;
    format.setFontItalic(!selectionIsItalic());
    applyToSelection(format);
}

void PLRRichTextEditor::toggleUnderline()
{
    announceChange(ChangeTypeUnderline);
    QTextCharFormat format;
    format.setFontUnderline(!selectionIsUnderline());
    applyToSelection(format);
}

QTextCursor PLRRichTextEditor::linkCursorAtCaret() const
{
    const int caret = textCursor().position();
    const QTextBlock block = document()->findBlock(caret);
    // The fragments of the block, to find the linked run around the caret.
    QList<QTextFragment> fragments;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        if (it.fragment().isValid())
            fragments.append(it.fragment());
    }
    for (qsizetype index = 0; index < fragments.size(); ++index) {
        const QTextFragment& fragment = fragments.at(index);
        const int start = fragment.position();
        const int end = start + fragment.length();
        if (caret < start || caret > end || (caret == start && caret != block.position()))
            continue;
        const QTextCharFormat format = fragment.charFormat();
        if (!format.isAnchor() || format.anchorHref().isEmpty())
            continue;
        const QString href = format.anchorHref();
        int from = start, to = end;
        for (qsizetype k = index - 1; k >= 0 && fragments.at(k).charFormat().anchorHref() == href; --k)
            from = fragments.at(k).position();
        for (qsizetype k = index + 1; k < fragments.size() && fragments.at(k).charFormat().anchorHref() == href; ++k)
            to = fragments.at(k).position() + fragments.at(k).length();
        QTextCursor cursor(document());
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        return cursor;
    }
    return QTextCursor();
}

void PLRRichTextEditor::toggleLink()
{
    if (selectionIsLinked()) {
        announceChange(ChangeTypeUnlink);
        removeLinkFromSelection();
        return;
    }
    if (!textCursor().hasSelection()) {
        PLR_LOG_DEBUG(QStringLiteral("No text is selected to link"));
        return;
    }
    if (!m_linkPrompt)
        return;
    const std::optional<QString> answer = m_linkPrompt(QString());
    if (!answer)
        return;
    const QString href = PLRRichTextHTML::hrefFromUserInput(*answer);
    if (href.isEmpty()) {
        PLR_LOG_WARN(QStringLiteral("The link address \"%1\" is not a web or mail address; not linked").arg(answer->left(200)));
        return;
    }
    announceChange(ChangeTypeLink);
    setLinkForSelection(href);
}

void PLRRichTextEditor::setLinkForSelection(const QString& href)
{
    const QString safe = PLRRichTextHTML::sanitizeHref(href);
    QTextCursor cursor = textCursor();
    if (safe.isEmpty() || !cursor.hasSelection())
        return;
    QTextCharFormat format;
    format.setAnchor(true);
    format.setAnchorHref(safe);
    format.setForeground(linkColour());
    cursor.mergeCharFormat(format);
    reportSelection();
}

void PLRRichTextEditor::removeLinkFromSelection()
{
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        cursor = linkCursorAtCaret();
    if (!cursor.hasSelection())
        return;
    QTextCharFormat format;
    format.setAnchor(false);
    format.setAnchorHref(QString());
    format.setForeground(m_textColour);
    cursor.mergeCharFormat(format);
    QTextCharFormat typing = currentCharFormat();
    typing.setAnchor(false);
    typing.setAnchorHref(QString());
    typing.setForeground(m_textColour);
    setCurrentCharFormat(typing);
    reportSelection();
}

// --- Input -------------------------------------------------------------------------------------

QTextCharFormat PLRRichTextEditor::formatForRun(const PLRRichTextRun& run) const
{
    QTextCharFormat format;
    format.setFontWeight(run.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(run.italic);
    format.setFontUnderline(run.underline);
    format.setAnchor(!run.href.isEmpty());
    format.setAnchorHref(run.href);
    format.setForeground(run.href.isEmpty() ? m_textColour : linkColour());
    return format;
}

void PLRRichTextEditor::insertRichText(const PLRRichText& text, bool keepFormatting)
{
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    QTextCharFormat plain = cursor.charFormat();
    plain.setAnchor(false);
    plain.setAnchorHref(QString());
    plain.setForeground(m_textColour);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i > 0)
            cursor.insertBlock();
        for (const PLRRichTextRun& run : text.at(i).runs)
            cursor.insertText(run.text, keepFormatting ? formatForRun(run) : plain);
    }
    cursor.endEditBlock();
    setTextCursor(cursor);
}

bool PLRRichTextEditor::canInsertFromMimeData(const QMimeData* source) const
{
    return source && (source->hasText() || source->hasHtml());
}

void PLRRichTextEditor::insertFromMimeData(const QMimeData* source)
{
    if (!source)
        return;
    if (!m_dropping)
        announceChange(ChangeTypePaste);
    if (source->hasHtml())
        insertRichText(PLRRichTextHTML::parse(source->html()), true);
    else if (source->hasText())
        insertRichText(PLRRichTextHTML::fromPlainText(source->text()), false);
}

QMimeData* PLRRichTextEditor::createMimeDataFromSelection() const
{
    auto* mime = new QMimeData;
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return mime;
    QTextDocument copy;
    QTextCursor(&copy).insertFragment(cursor.selection());
    const PLRRichText text = PLRRichTextHTML::fromDocument(&copy);
    mime->setText(PLRRichTextHTML::plainText(text));
    mime->setHtml(PLRRichTextHTML::serialize(text, PLRBlock_Text::PARAGRAPH));
    return mime;
}

QVariant PLRRichTextEditor::loadResource(int, const QUrl&)
{
    return QVariant();   // a text block embeds nothing: no file or network is ever read
}

void PLRRichTextEditor::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        emit editingFinished();
        event->accept();
        return;
    }
    if (event->modifiers() == Qt::ControlModifier) {
        switch (event->key()) {
        case Qt::Key_B: toggleBold(); event->accept(); return;
        case Qt::Key_I: toggleItalic(); event->accept(); return;
        case Qt::Key_U: toggleUnderline(); event->accept(); return;
        default: break;
        }
    }
    if (event->matches(QKeySequence::Cut)) {
        if (textCursor().hasSelection())
            announceChange(ChangeTypeCut);
    } else if (event->matches(QKeySequence::Paste)) {
        // insertFromMimeData tells.
    } else if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete
               || event->matches(QKeySequence::DeleteStartOfWord) || event->matches(QKeySequence::DeleteEndOfWord)) {
        announceChange(ChangeTypeDeletion);
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        announceChange(ChangeTypeNewLine);
    } else if (!event->text().isEmpty() && event->text().at(0).isPrint()) {
        announceChange(ChangeTypeTyping);
    }
    QTextEdit::keyPressEvent(event);
}

void PLRRichTextEditor::dropEvent(QDropEvent* event)
{
    announceChange(ChangeTypeDrop);
    m_dropping = true;
    QTextEdit::dropEvent(event);
    m_dropping = false;
}

void PLRRichTextEditor::announceChange(ChangeType type)
{
    if (PLRRichTextEditorDelegate* delegate = rteDelegate())
        delegate->richTextEditorChangeAboutToOccurOfType(this, type);
}

void PLRRichTextEditor::reportSelection()
{
    if (m_loading)
        return;
    PLRRichTextEditorDelegate* delegate = rteDelegate();
    if (!delegate)
        return;
    const QTextCharFormat format = currentCharFormat();
    const QColor background = format.background().style() == Qt::NoBrush ? QColor(Qt::transparent) : format.background().color();
    const QColor foreground = format.foreground().style() == Qt::NoBrush ? m_textColour : format.foreground().color();
    delegate->selectionForEditor(this, selectedRange(), selectionIsBold(), selectionIsItalic(), selectionIsUnderline(),
                                 selectionIsLinked(), background, foreground);
}
