#include "controls/PLRTokenField.h"

#include "controls/ColorWithHex.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/View.h"

#include <QApplication>
#include <QClipboard>
#include <QAbstractItemView>
#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProxyStyle>
#include <QTimer>
#include <QPainter>
#include <QPainterPath>
#include <QStringListModel>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kInset = 4.0;
constexpr double kSpacing = 2.0;
constexpr int kMinimumEditorWidth = 60;
constexpr double kCaretHeight = 17.0;

// The editor's style: the platform caret is not drawn (the editor draws its own).
class NoCaretStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr, const QWidget* widget = nullptr) const override
    {
        if (metric == PM_TextCursorWidth)
            return 0;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// The field's line editor: it draws its own caret, at most 17 points tall and standing on the
// bottom of the line (a line of tokens is 35 points tall), blinking while the editor has focus.
class TokenLineEdit : public QLineEdit {
public:
    explicit TokenLineEdit(QWidget* parent) : QLineEdit(parent)
    {
        auto* style = new NoCaretStyle;
        style->setParent(this);
        setStyle(style);
        m_blink.setInterval(530);
        connect(&m_blink, &QTimer::timeout, this, [this] {
            m_caretOn = !m_caretOn;
            update();
        });
        connect(this, &QLineEdit::cursorPositionChanged, this, [this] { restartBlink(); });
        connect(this, &QLineEdit::textChanged, this, [this] { restartBlink(); });
    }
    QRectF caretRect() const
    {
        const double h = std::min(kCaretHeight, double(height()));
        return QRectF(cursorRect().center().x(), height() - h, 1.0, h);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QLineEdit::paintEvent(event);
        if (!hasFocus() || !m_caretOn || hasSelectedText())
            return;
        QPainter painter(this);
        painter.fillRect(caretRect(), palette().color(QPalette::Text));
    }
    void focusInEvent(QFocusEvent* event) override
    {
        QLineEdit::focusInEvent(event);
        restartBlink();
        if (parentWidget())
            parentWidget()->update();   // the field's focus ring shows
    }
    void focusOutEvent(QFocusEvent* event) override
    {
        QLineEdit::focusOutEvent(event);
        m_blink.stop();
        update();
        if (parentWidget())
            parentWidget()->update();   // the field's focus ring goes
    }

private:
    void restartBlink()
    {
        m_caretOn = true;
        if (hasFocus())
            m_blink.start();
        update();
    }
    QTimer m_blink;
    bool m_caretOn = true;
};
} // namespace

QRectF PLRTokenField::caretRect() const
{
    const auto* editor = static_cast<const TokenLineEdit*>(m_editor);
    return editor->caretRect().translated(editor->pos());
}

bool PLRTokenField::isTokenizing(QChar c) const
{
    // A comma ends a token as the field's own tokenizing characters do: a keyword never ends in one.
    return c == QLatin1Char(',') || m_tokenizing.contains(c);
}

PLRTokenField::PLRTokenField(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setFont(platform::ui::systemFont(12));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_editor = new TokenLineEdit(this);
    m_editor->setFrame(false);
    m_editor->setFont(font());
    m_editor->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_editor->installEventFilter(this);
    setFocusProxy(m_editor);
    m_completions = new QStringListModel(this);
    m_completer = new QCompleter(m_completions, this);
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_completer->setCompletionMode(QCompleter::PopupCompletion);
    m_editor->setCompleter(m_completer);
    connect(m_editor, &QLineEdit::textEdited, this, &PLRTokenField::textEdited);
    connect(m_editor, &QLineEdit::returnPressed, this, [this] {
        if (!m_completer->popup() || !m_completer->popup()->isVisible())
            commitPendingText();
    });
    connect(m_editor, &QLineEdit::editingFinished, this, [this] {
        if (!m_editor->hasFocus())
            commitPendingText();
    });
    relayout();
}

PLRTokenField::~PLRTokenField()
{
    // The editor loses the keyboard as the field is taken apart: what it says and sees then
    // must not reach a field that is no longer whole.
    m_editor->removeEventFilter(this);
    m_editor->disconnect(this);
}

void PLRTokenField::setObjectValue(const QStringList& tokens)
{
    if (tokens == m_tokens)
        return;
    m_tokens = tokens;
    m_selectionStart = std::min<qsizetype>(m_selectionStart, m_tokens.size());
    m_selectionLength = std::min<qsizetype>(m_selectionLength, m_tokens.size() - m_selectionStart);
    relayout();
    emit objectValueChanged(m_tokens);
}

void PLRTokenField::setSelectedRange(qsizetype location, qsizetype length)
{
    const qsizetype count = m_tokens.size();
    location = std::clamp<qsizetype>(location, 0, count);
    length = std::clamp<qsizetype>(length, 0, count - location);
    m_selectionStart = location;
    m_selectionLength = length;
    update();
}

QString PLRTokenField::pendingText() const
{
    return m_editor->text();
}

QStringList PLRTokenField::splitIntoTokens(const QString& text) const
{
    QStringList tokens;
    QString current;
    for (const QChar c : text) {
        if (isTokenizing(c)) {
            if (!current.isEmpty())
                tokens << current;
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.isEmpty())
        tokens << current;
    return tokens;
}

void PLRTokenField::commitPendingText()
{
    if (m_committing)
        return;
    const QStringList tokens = splitIntoTokens(m_editor->text());
    m_editor->clear();
    if (!tokens.isEmpty())
        addTokens(tokens);
}

void PLRTokenField::addTokens(const QStringList& tokens)
{
    m_committing = true;
    QStringList accepted = tokens;
    if (m_delegate)
        accepted = m_delegate->tokenFieldShouldAddObjects(this, tokens, m_tokens.size());
    m_committing = false;
    accepted.removeAll(QString());
    if (accepted.isEmpty())
        return;
    QStringList all = m_tokens;
    all << accepted;
    replaceTokens(all, false);
}

void PLRTokenField::replaceTokens(const QStringList& tokens, bool notifyDelegate)
{
    setObjectValue(tokens);
    if (notifyDelegate && m_delegate)
        m_delegate->tokenFieldDidChange(this);
}

void PLRTokenField::textEdited(const QString& text)
{
    const bool hasTokenizer = std::any_of(text.begin(), text.end(), [this](QChar c) { return isTokenizing(c); });
    if (hasTokenizer) {
        // Everything up to the last tokenizing character becomes tokens; the rest stays typed.
        qsizetype last = text.size() - 1;
        while (last >= 0 && !isTokenizing(text.at(last)))
            --last;
        const QString rest = text.mid(last + 1);
        const QStringList tokens = splitIntoTokens(text.left(last + 1));
        m_editor->setText(rest);
        if (!tokens.isEmpty())
            addTokens(tokens);
        return;
    }
    m_selectionLength = 0;
    QStringList completions;
    if (m_delegate && !text.isEmpty())
        completions = m_delegate->tokenFieldCompletionsForSubstring(this, text, m_tokens.size());
    m_completions->setStringList(completions);
    if (!completions.isEmpty()) {
        m_completer->setCompletionPrefix(text);
        m_completer->complete();
    }
    update();
}

bool PLRTokenField::deleteSelection()
{
    if (m_selectionLength <= 0 || m_selectionStart >= m_tokens.size())
        return false;
    QStringList tokens = m_tokens;
    tokens.remove(m_selectionStart, std::min<qsizetype>(m_selectionLength, tokens.size() - m_selectionStart));
    m_selectionLength = 0;
    replaceTokens(tokens, true);
    return true;
}

void PLRTokenField::copySelection()
{
    QStringList selected;
    for (qsizetype i = m_selectionStart; i < m_selectionStart + m_selectionLength && i < m_tokens.size(); ++i)
        selected << m_tokens.at(i);
    if (!selected.isEmpty())
        QApplication::clipboard()->setText(selected.join(QLatin1Char(' ')));
}

void PLRTokenField::paste()
{
    const QStringList pasted = splitIntoTokens(QApplication::clipboard()->text());
    if (pasted.isEmpty())
        return;
    commitPendingText();
    QStringList tokens = m_tokens;
    const qsizetype at = m_selectionLength > 0 ? m_selectionStart : tokens.size();
    if (m_selectionLength > 0)
        tokens.remove(at, std::min<qsizetype>(m_selectionLength, tokens.size() - at));
    for (qsizetype i = 0; i < pasted.size(); ++i)
        tokens.insert(at + i, pasted.at(i));
    m_selectionLength = 0;
    replaceTokens(tokens, true);
}

bool PLRTokenField::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_editor && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool editorEmpty = m_editor->text().isEmpty();
        if (key->matches(QKeySequence::Copy) && !m_editor->hasSelectedText() && m_selectionLength > 0) {
            copySelection();
            return true;
        }
        if (key->matches(QKeySequence::Cut) && !m_editor->hasSelectedText() && m_selectionLength > 0) {
            copySelection();
            deleteSelection();
            return true;
        }
        if (key->matches(QKeySequence::Paste)) {
            paste();
            return true;
        }
        if (key->matches(QKeySequence::SelectAll) && editorEmpty && !m_tokens.isEmpty()) {
            setSelectedRange(0, m_tokens.size());
            return true;
        }
        if ((key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete) && editorEmpty) {
            if (!deleteSelection() && key->key() == Qt::Key_Backspace && !m_tokens.isEmpty())
                setSelectedRange(m_tokens.size() - 1, 1);
            return true;
        }
        if (key->key() == Qt::Key_Left && editorEmpty && !m_tokens.isEmpty()) {
            const qsizetype from = m_selectionLength > 0 ? m_selectionStart : m_tokens.size();
            setSelectedRange(std::max<qsizetype>(from - 1, 0), 1);
            return true;
        }
        if (key->key() == Qt::Key_Right && editorEmpty && m_selectionLength > 0) {
            const qsizetype next = m_selectionStart + m_selectionLength;
            setSelectedRange(next, next < m_tokens.size() ? 1 : 0);
            return true;
        }
        if (key->key() == Qt::Key_Tab && !editorEmpty) {
            commitPendingText();
            return false;
        }
        if (!key->text().isEmpty() && m_selectionLength > 0)
            setSelectedRange(m_selectionStart, 0);
    }
    if (watched == m_editor && event->type() == QEvent::FocusOut) {
        auto* focus = static_cast<QFocusEvent*>(event);
        if (focus->reason() != Qt::PopupFocusReason)
            commitPendingText();
    }
    return QWidget::eventFilter(watched, event);
}

void PLRTokenField::keyPressEvent(QKeyEvent* event)
{
    QWidget::keyPressEvent(event);
}

void PLRTokenField::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    m_editor->setFocus(event->reason());
}

qsizetype PLRTokenField::tokenIndexAt(const QPointF& point) const
{
    for (qsizetype i = 0; i < m_tokenRects.size(); ++i)
        if (m_tokenRects.at(i).contains(point))
            return i;
    return -1;
}

void PLRTokenField::mousePressEvent(QMouseEvent* event)
{
    // Only the left button chooses tokens.
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const qsizetype index = tokenIndexAt(event->position());
    m_editor->setFocus(Qt::MouseFocusReason);
    if (index < 0) {
        setSelectedRange(m_selectionStart, 0);
        return;
    }
    if ((event->modifiers() & Qt::ShiftModifier) && m_selectionLength > 0) {
        const qsizetype start = std::min(m_selectionStart, index);
        const qsizetype end = std::max(m_selectionStart + m_selectionLength - 1, index);
        setSelectedRange(start, end - start + 1);
    } else {
        setSelectedRange(index, 1);
    }
}

QSizeF PLRTokenField::tokenSizeForTitle(const QString& title) const
{
    const QFontMetricsF metrics(font());
    return QSizeF(std::ceil(metrics.horizontalAdvance(title) + 12.0), std::ceil(metrics.height() + 6.0));
}

int PLRTokenField::heightForWidth(int width) const
{
    // The same flow as relayout, measured only.
    const double available = std::max(width - 2 * kInset, 1.0);
    double x = 0;
    double rowHeight = std::max<double>(m_editor->sizeHint().height(), 0);
    double y = 0;
    for (const QString& token : m_tokens) {
        const QSizeF size = tokenSizeForTitle(token);
        if (x > 0 && x + size.width() > available) {
            y += rowHeight + kSpacing;
            x = 0;
            rowHeight = m_editor->sizeHint().height();
        }
        rowHeight = std::max(rowHeight, size.height());
        x += size.width() + kSpacing;
    }
    if (x > 0 && x + kMinimumEditorWidth > available)
        y += rowHeight + kSpacing;
    return static_cast<int>(std::ceil(y + rowHeight + 2 * kInset));
}

QSize PLRTokenField::sizeHint() const
{
    const int width = std::max(200, this->width());
    return QSize(width, heightForWidth(width));
}

QSize PLRTokenField::minimumSizeHint() const
{
    return QSize(kMinimumEditorWidth + 2 * static_cast<int>(kInset), heightForWidth(std::max(width(), 100)));
}

void PLRTokenField::relayout()
{
    const double available = std::max(width() - 2 * kInset, 1.0);
    const double editorHeight = m_editor->sizeHint().height();
    m_tokenRects.clear();
    double x = 0;
    double y = 0;
    double rowHeight = editorHeight;
    QList<qsizetype> rowStart{0};
    QList<double> rowTops{0};
    for (qsizetype i = 0; i < m_tokens.size(); ++i) {
        const QSizeF size = tokenSizeForTitle(m_tokens.at(i));
        if (x > 0 && x + size.width() > available) {
            y += rowHeight + kSpacing;
            x = 0;
            rowHeight = editorHeight;
        }
        rowHeight = std::max(rowHeight, size.height());
        m_tokenRects << QRectF(kInset + x, kInset + y, size.width(), size.height());
        x += size.width() + kSpacing;
    }
    if (x > 0 && x + kMinimumEditorWidth > available) {
        y += rowHeight + kSpacing;
        x = 0;
        rowHeight = std::max(editorHeight, m_tokens.isEmpty() ? editorHeight : tokenSizeForTitle(QString()).height());
    }
    // The editor takes the whole line, so that its caret stands on the line's bottom.
    m_editor->setGeometry(static_cast<int>(kInset + x), static_cast<int>(kInset + y),
                          std::max(static_cast<int>(available - x), kMinimumEditorWidth), static_cast<int>(std::ceil(rowHeight)));
    const int height = static_cast<int>(std::ceil(y + rowHeight + 2 * kInset));
    if (height != m_contentHeight) {
        m_contentHeight = height;
        updateGeometry();
    }
    update();
}

void PLRTokenField::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void PLRTokenField::drawToken(QPainter& painter, qsizetype, const QRectF& frame, const QString& title, bool selected) const
{
    const QRectF body = frame.adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(selected ? ColorWithHex::smb_blueColour().toQColor() : ColorWithHex::smb_controlGreyBorder().toQColor());
    painter.setBrush(selected ? ColorWithHex::smb_lightBlueColour().toQColor() : QColor(Qt::white));
    painter.drawRoundedRect(body, 3.0, 3.0);
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(body, Qt::AlignCenter, title);
}

void PLRTokenField::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(font());
    for (qsizetype i = 0; i < m_tokens.size() && i < m_tokenRects.size(); ++i) {
        const bool selected = i >= m_selectionStart && i < m_selectionStart + m_selectionLength;
        painter.save();
        drawToken(painter, i, m_tokenRects.at(i), m_tokens.at(i), selected);
        painter.restore();
    }
    // The field's rounded border, 1 point wide as the text fields' is.
    QPen pen(ColorWithHex::smb_controlGreyBorder().toQColor(), 1.0);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3.0, 3.0);
    // Keyboard focus: the focus ring, in the kit's colour and width, along the field's edge.
    if (hasFocus() && isEnabled()) {
        const double w = platform::ui::View::kFocusRingWidth;
        painter.setPen(QPen(platform::ui::View::focusRingColor().toQColor(), w));
        painter.drawRoundedRect(QRectF(rect()).adjusted(w / 2, w / 2, -w / 2, -w / 2), 3.0, 3.0);
    }
}
