#pragma once

#include "layout/text/PLRRichText.h"

#include <QColor>
#include <QPointer>
#include <QTextEdit>

#include <functional>
#include <optional>

class PLRRichTextEditor;

// A range of characters of the editor's text.
struct PLRTextRange {
    qint64 location = 0;
    qint64 length = 0;
    bool operator==(const PLRTextRange&) const = default;
};

// Who follows a rich-text editor (the text page of the block inspector).
class PLRRichTextEditorDelegate {
public:
    virtual ~PLRRichTextEditorDelegate() = default;
    // The selection or the typing attributes changed: the formatting at the selection (for a
    // selection, whether all of it is bold, italic, underlined or linked).
    virtual void selectionForEditor(PLRRichTextEditor* editor, const PLRTextRange& changedTo, bool isBold, bool isItalic,
                                    bool isUnderline, bool isLinked, const QColor& textBackgroundColor,
                                    const QColor& textColor) = 0;
    // A change of that type (PLRRichTextEditor::ChangeType) is about to be made.
    virtual void richTextEditorChangeAboutToOccurOfType(PLRRichTextEditor* editor, qint64 changeType)
    {
        Q_UNUSED(editor);
        Q_UNUSED(changeType);
    }
    // The text changed (typed, pasted or formatted).
    virtual void richTextEditorTextDidChange(PLRRichTextEditor* editor) { Q_UNUSED(editor); }
};

// The in-place editor of a text block: plain text with bold, italic, underline and links.
// Whatever comes in (stored HTML, a paste, a drop) passes through PLRRichTextHTML's allow-list;
// whatever goes out is that HTML and the plain text.
class PLRRichTextEditor : public QTextEdit {
    Q_OBJECT
public:
    enum ChangeType : qint64 {
        ChangeTypeUnknown = 0,
        ChangeTypeTyping = 1,
        ChangeTypeDeletion = 2,
        ChangeTypeNewLine = 3,
        ChangeTypePaste = 4,
        ChangeTypeCut = 5,
        ChangeTypeDrop = 6,
        ChangeTypeBold = 10,
        ChangeTypeItalic = 11,
        ChangeTypeUnderline = 12,
        ChangeTypeLink = 13,
        ChangeTypeUnlink = 14,
    };

    explicit PLRRichTextEditor(QWidget* parent = nullptr);
    ~PLRRichTextEditor() override;

    // The display name of a change type: formatting changes (bold, italic, underline, link,
    // unlink) always have one; the others (typing, deleting, new line, paste, cut, drop) only
    // with `withNonSpecialChangeText`, else "". "" for an unknown type.
    static QString convertPreviewChangeTypeToString(qint64 changeType, bool withNonSpecialChangeText);

    // Held weakly when it is a QObject (dropped when it is destroyed); otherwise it must
    // outlive the editor or be replaced first.
    PLRRichTextEditorDelegate* rteDelegate() const;
    void setRteDelegate(PLRRichTextEditorDelegate* delegate);

    // --- Content ------------------------------------------------------------------------------
    // Fills the editor, in the font and colour of the block's style (text scaled by `scale`).
    void setRichText(const PLRRichText& text);
    PLRRichText richText() const;
    // The editor's text as the blog's HTML (paragraphs in the tag of the base style).
    QString formattedHTML() const;
    QString plainTextValue() const;
    // HTML read through the allow-list, then shown.
    void setFormattedHTML(const QString& html);

    void setBaseFont(const QFont& font, const QColor& colour);
    void setTextAlignment(Qt::Alignment alignment);
    void setTextStyle(int style) { m_style = style; }
    int textStyle() const { return m_style; }

    // --- Formatting (the selection, or the typing attributes without one) -----------------------
    void toggleBold();
    void toggleItalic();
    void toggleUnderline();
    // Removes the link of the selection (or of the link under the caret); otherwise asks the
    // link prompt for an address and links the selection to it. Nothing without a selection
    // and without a link under the caret.
    void toggleLink();
    void setLinkForSelection(const QString& href);
    void removeLinkFromSelection();

    bool selectionIsBold() const;
    bool selectionIsItalic() const;
    bool selectionIsUnderline() const;
    bool selectionIsLinked() const;
    PLRTextRange selectedRange() const;

    // Asks for a link address (given the current one); nullopt when the user cancels. Default:
    // a small text-input dialog.
    using LinkPrompt = std::function<std::optional<QString>(const QString& current)>;
    void setLinkPrompt(LinkPrompt prompt) { m_linkPrompt = std::move(prompt); }

signals:
    void editingFinished();
    void formattedTextChanged();

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;
    QVariant loadResource(int type, const QUrl& name) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void announceChange(ChangeType type);
    void reportSelection();
    // Calls `test` on the format of every character of the selection (or the typing format).
    bool selectionAll(const std::function<bool(const QTextCharFormat&)>& test) const;
    bool selectionAny(const std::function<bool(const QTextCharFormat&)>& test) const;
    void insertRichText(const PLRRichText& text, bool keepFormatting);
    QTextCharFormat formatForRun(const PLRRichTextRun& run) const;
    void applyToSelection(const QTextCharFormat& format);
    QTextCursor linkCursorAtCaret() const;

    PLRRichTextEditorDelegate* m_delegate = nullptr;
    QPointer<QObject> m_delegateObject;
    bool m_delegateIsObject = false;
    LinkPrompt m_linkPrompt;
    QColor m_textColour;
    int m_style = PLRBlock_Text::PARAGRAPH;
    bool m_loading = false;
    bool m_dropping = false;
};
