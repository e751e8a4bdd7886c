#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QPointer>
#include <QRectF>
#include <QStringList>
#include <QWidget>

class QCompleter;
class QLineEdit;
class QStringListModel;
class PLRTokenField;

// What a token field asks of its owner. Every call is optional.
class PLRTokenFieldDelegate {
public:
    virtual ~PLRTokenFieldDelegate() = default;
    // Tokens the user is about to add at `index`: the tokens to add (by default unchanged).
    virtual QStringList tokenFieldShouldAddObjects(PLRTokenField* field, const QStringList& tokens, qsizetype index)
    {
        (void)field;
        (void)index;
        return tokens;
    }
    // Completions offered for the text being typed as the token at `tokenIndex`.
    virtual QStringList tokenFieldCompletionsForSubstring(PLRTokenField* field, const QString& substring, qsizetype tokenIndex)
    {
        (void)field;
        (void)substring;
        (void)tokenIndex;
        return {};
    }
    // The tokens changed in any other way (removed, pasted, replaced).
    virtual void tokenFieldDidChange(PLRTokenField* field) { (void)field; }
};

// A field of tokens (keywords): the user types text that turns into tokens at the tokenizing
// characters or when editing ends, selects tokens by clicking, removes them with Backspace or
// Delete, and gets completions from the delegate. Draws a rounded border.
class PLRTokenField : public QWidget {
    Q_OBJECT
public:
    explicit PLRTokenField(QWidget* parent = nullptr);
    ~PLRTokenField() override;

    // The tokens (the field's object value).
    QStringList objectValue() const { return m_tokens; }
    void setObjectValue(const QStringList& tokens);

    void setTokenizingCharacters(const QString& characters) { m_tokenizing = characters; }
    QString tokenizingCharacters() const { return m_tokenizing; }

    void setDelegate(PLRTokenFieldDelegate* delegate) { m_delegate = delegate; }
    PLRTokenFieldDelegate* delegate() const { return m_delegate; }

    // The selected tokens, as a range of indexes (length 0: none).
    qsizetype selectionLocation() const { return m_selectionStart; }
    qsizetype selectionLength() const { return m_selectionLength; }
    void setSelectedRange(qsizetype location, qsizetype length);

    // The text typed and not yet a token.
    QString pendingText() const;
    // Turns the typed text into tokens now (as the tokenizing characters and the end of
    // editing do).
    void commitPendingText();

    // Where the editor's caret is drawn (widget coordinates): at most 17 points tall, on the
    // bottom of the line.
    QRectF caretRect() const;
    // Whether a character ends a token: the tokenizing characters, and a comma.
    bool isTokenizing(QChar c) const;

    // The geometry of each token (widget coordinates), for drawing and hit tests.
    QList<QRectF> tokenRects() const { return m_tokenRects; }
    // A token's size for its title.
    virtual QSizeF tokenSizeForTitle(const QString& title) const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

signals:
    // The tokens changed (by the user or by code).
    void objectValueChanged(const QStringList& tokens);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Drawing of the token at an index; `selected` when it is in the selection.
    virtual void drawToken(QPainter& painter, qsizetype index, const QRectF& frame, const QString& title, bool selected) const;
    // Copy and paste of selected tokens (plain text by default: tokens joined by blanks).
    virtual void copySelection();
    virtual void paste();
    // Removes the selected tokens; true when there were any.
    bool deleteSelection();
    // Replaces the tokens (with change reports to the delegate and the signal).
    void replaceTokens(const QStringList& tokens, bool notifyDelegate);
    // Splits `text` at the tokenizing characters, dropping empty pieces.
    QStringList splitIntoTokens(const QString& text) const;

    QStringList m_tokens;
    qsizetype m_selectionStart = 0;
    qsizetype m_selectionLength = 0;

private:
    void relayout();
    void textEdited(const QString& text);
    void addTokens(const QStringList& tokens);
    qsizetype tokenIndexAt(const QPointF& point) const;

    QString m_tokenizing = QStringLiteral(" \n");
    PLRTokenFieldDelegate* m_delegate = nullptr;
    QLineEdit* m_editor = nullptr;
    QCompleter* m_completer = nullptr;
    QStringListModel* m_completions = nullptr;
    QList<QRectF> m_tokenRects;
    int m_contentHeight = 0;
    bool m_committing = false;
};
