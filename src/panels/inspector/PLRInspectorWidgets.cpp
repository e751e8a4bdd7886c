#include "panels/inspector/PLRInspectorWidgets.h"

#include "controls/PLRPopupButton.h"
#include "controls/PLRSmallViews.h"
#include "controls/PLRSwitchButton.h"
#include "platform-ui/Fonts.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>

#include <cmath>

using namespace platform::ui;

namespace plr::insp {

QWidget* pageContent(QVBoxLayout** column, const QString& objectName)
{
    auto* content = new QWidget;
    if (!objectName.isEmpty())
        content->setObjectName(objectName);
    content->setAutoFillBackground(true);
    QPalette palette = content->palette();
    palette.setColor(QPalette::Window, Qt::white);
    content->setPalette(palette);
    *column = new QVBoxLayout(content);
    (*column)->setContentsMargins(14, 12, 14, 12);
    (*column)->setSpacing(8);
    return content;
}

namespace {

// While the scroll bar shows, the content's side margins make its room, so the content keeps
// its width: the right margin first, then the left, each keeping what a control's focus ring
// needs. (The area shows and hides the box that holds its bar, not the bar.)
class ScrollBarMargin : public QObject {
public:
    ScrollBarMargin(QScrollBar* bar, QWidget* content)
        : QObject(bar), m_bar(bar), m_box(bar->parentWidget() ? bar->parentWidget() : bar), m_content(content),
          m_margins(content->layout() ? content->layout()->contentsMargins() : QMargins())
    {
        m_box->installEventFilter(this);
        adjust();
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        // (Also while the page itself is not shown: a page brought up later is right at once.)
        if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
            adjust();
        return false;
    }

private:
    void adjust()
    {
        QLayout* layout = m_content ? m_content->layout() : nullptr;
        if (!layout)
            return;
        QMargins margins = m_margins;
        if (!m_box->isHidden() && !m_bar->isHidden()) {
            const int ring = int(std::ceil(View::kFocusRingWidth));
            int room = m_bar->sizeHint().width();
            const int right = std::max(std::min(ring, m_margins.right()), m_margins.right() - room);
            room -= m_margins.right() - right;
            margins.setRight(right);
            margins.setLeft(std::max(std::min(ring, m_margins.left()), m_margins.left() - room));
        }
        if (margins != layout->contentsMargins())
            layout->setContentsMargins(margins);
    }
    QScrollBar* m_bar;
    QWidget* m_box;
    QPointer<QWidget> m_content;
    QMargins m_margins;
};

} // namespace

QScrollArea* scrolled(QWidget* content, QWidget* parent)
{
    auto* scroll = new QScrollArea(parent);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    new ScrollBarMargin(scroll->verticalScrollBar(), content);
    return scroll;
}

TextField* editableField(QWidget* parent)
{
    auto* field = new PLRTextField(parent);
    field->setFont(systemFont(12));
    field->setFixedHeight(26);
    return field;
}

PLRSwitchButton* switchButton(QWidget* parent)
{
    auto* toggle = new PLRSwitchButton(parent);
    toggle->setFixedSize(38, 22);
    toggle->setTintColor(namedColor(QStringLiteral("plrTextColor")));
    return toggle;
}

PLRPopupButton* popupButton(QWidget* parent, const QList<QPair<QString, qint64>>& items)
{
    auto* popup = new PLRPopupButton(parent);
    popup->setFixedHeight(int(PLRPopupButton::kHeight));
    for (const auto& [title, tag] : items)
        popup->addItem(title, tag);
    return popup;
}

TextField* caption(const QString& text, QWidget* parent, bool strong)
{
    auto* label = new TextField(parent);
    label->setStringValue(text);
    label->setFont(systemFont(strong ? 12 : 11, strong ? FontWeight::Medium : FontWeight::Regular));
    label->setTextColor(namedColor(QStringLiteral("plrTextColor")));
    label->setFixedHeight(18);
    return label;
}

ElidedCaption::ElidedCaption(QWidget* parent) : TextField(parent)
{
    setFont(systemFont(11));
    setTextColor(namedColor(QStringLiteral("plrTextColor")));
    setFixedHeight(18);
    // Its text follows the width its layout gives it.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void ElidedCaption::setFullText(const QString& text)
{
    m_fullText = text;
    setToolTip(text);
    elide();
}

void ElidedCaption::resizeEvent(QResizeEvent* event)
{
    TextField::resizeEvent(event);
    elide();
}

void ElidedCaption::elide()
{
    QString shown = m_fullText;
    shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
    // Room for the text between the insets, less a point so it never wraps.
    const double available = std::max(0.0, width() - 2 * kTextInset - 1);
    setStringValue(QFontMetricsF(font()).elidedText(shown, Qt::ElideMiddle, available));
}

QHBoxLayout* row(const QString& text, QWidget* control, QWidget* parent)
{
    return row(text, control, parent, kCaptionWidth);
}

QHBoxLayout* row(const QString& text, QWidget* control, QWidget* parent, int captionWidth)
{
    auto* line = new QHBoxLayout;
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(8);
    TextField* label = caption(text, parent);
    label->setFixedWidth(captionWidth);
    line->addWidget(label, 0, Qt::AlignVCenter);
    if (control->minimumWidth() == control->maximumWidth()) {
        // A control of fixed size sits at the right end.
        line->addStretch(1);
        line->addWidget(control, 0, Qt::AlignVCenter);
    } else {
        line->addWidget(control, 1, Qt::AlignVCenter);
    }
    return line;
}

QWidget* separator(QWidget* parent)
{
    auto* line = new Box(parent);
    line->setFillColor(namedColor(QStringLiteral("plrControlBorderColor")));
    line->setBorderWidth(0);
    line->setFixedHeight(1);
    return line;
}

// ---------------------------------------------------------------- segmented control

SegmentedControl::SegmentedControl(const QStringList& titles, QWidget* parent) : Control(parent), m_titles(titles)
{
    setFixedHeight(24);
    // Tab reaches it; the Left and Right arrows choose the segment beside the chosen one.
    setFocusPolicy(Qt::TabFocus);
}

void SegmentedControl::keyPressEvent(QKeyEvent* event)
{
    const int step = event->key() == Qt::Key_Left ? -1 : event->key() == Qt::Key_Right ? 1 : 0;
    if (step == 0 || m_titles.isEmpty()) {
        Control::keyPressEvent(event);
        return;
    }
    event->accept();
    const int from = m_selected < 0 ? (step > 0 ? -1 : int(m_titles.size())) : m_selected;
    const int to = std::clamp(from + step, 0, int(m_titles.size()) - 1);
    if (to != m_selected)
        clickSegment(to);
}

void SegmentedControl::setSelectedSegment(int index)
{
    m_selected = (index >= 0 && index < m_titles.size()) ? index : -1;
    update();
}

void SegmentedControl::clickSegment(int index)
{
    if (index < 0 || index >= m_titles.size() || !isEnabled())
        return;
    setSelectedSegment(index);
    sendAction();
}

void SegmentedControl::mouseUp(const MouseEvent& event)
{
    if (m_titles.isEmpty())
        return;
    const QPointF p = event.locationIn(this);
    if (!bounds().contains(p))
        return;
    clickSegment(std::clamp(int(p.x() / (width() / double(m_titles.size()))), 0, int(m_titles.size()) - 1));
}

void SegmentedControl::drawRect(GraphicsContext& context, const QRectF&)
{
    const QRectF b = bounds();
    const Color border = namedColor(QStringLiteral("plrControlBorderColor"));
    const Color text = namedColor(QStringLiteral("plrTextColor"));
    context.fillPath(roundedRectPath(b.adjusted(1, 1, -1, -1), 3, 3), Color::white());
    const double w = b.width() / std::max<qsizetype>(1, m_titles.size());
    for (int i = 0; i < m_titles.size(); ++i) {
        const QRectF segment(i * w, 0, w, b.height());
        if (i == m_selected)
            context.fillRect(segment.adjusted(1, 1, -1, -1), border);
        if (i > 0)
            context.fillRect(QRectF(i * w, 2, 1, b.height() - 4), border);
        ParagraphStyle centred;
        centred.alignment = TextAlignment::Center;
        const AttributedString title(m_titles[i], {{kFontAttributeName, systemFont(11)},
                                                   {kForegroundColorAttributeName, QVariant::fromValue(text)},
                                                   {kParagraphStyleAttributeName, QVariant::fromValue(centred)}});
        context.drawAttributedString(title, QRectF(segment.x(), (b.height() - 14) / 2.0, segment.width(), 14));
    }
    context.strokePath(roundedRectPath(b.adjusted(1, 1, -1, -1), 3, 3), border, 1.0);
}

// ---------------------------------------------------------------- state button

StateButton::StateButton(const QString& title, QWidget* parent) : Control(parent), m_title(title)
{
    setFixedSize(30, 24);
    takeTabAndActivationKeys();
}

void StateButton::mouseUp(const MouseEvent& event)
{
    if (isEnabled() && bounds().contains(event.locationIn(this)))
        sendAction();
}

void StateButton::drawRect(GraphicsContext& context, const QRectF&)
{
    const QRectF b = bounds().adjusted(1, 1, -1, -1);
    const Color border = namedColor(QStringLiteral("plrControlBorderColor"));
    context.fillPath(roundedRectPath(b, 3, 3), m_state ? namedColor(QStringLiteral("plrTextColor")) : Color::white());
    context.strokePath(roundedRectPath(b, 3, 3), border, 1.0);
    ParagraphStyle centred;
    centred.alignment = TextAlignment::Center;
    QFont font = systemFont(12, FontWeight::Medium);
    if (m_title == QLatin1String("I"))
        font.setItalic(true);
    const AttributedString title(m_title, {{kFontAttributeName, font},
                                           {kForegroundColorAttributeName,
                                            QVariant::fromValue(m_state ? Color::white() : namedColor(QStringLiteral("plrTextColor")))},
                                           {kParagraphStyleAttributeName, QVariant::fromValue(centred)}});
    context.drawAttributedString(title, QRectF(0, (height() - 16) / 2.0, width(), 16));
}

// ---------------------------------------------------------------- limited text edit

LimitedTextEdit::LimitedTextEdit(QWidget* parent) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    connect(document(), &QTextDocument::contentsChange, this, &LimitedTextEdit::contentsChanged);
    connect(this, &QPlainTextEdit::textChanged, this, &LimitedTextEdit::textDidChange);
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this, [this] { fitHeight(); });
}

void LimitedTextEdit::setText(const QString& text)
{
    m_programmatic = true;
    setPlainText(text);
    m_programmatic = false;
    m_accepted = text;
}

void LimitedTextEdit::contentsChanged(int, int, int added)
{
    m_lastAdded = added;
}

void LimitedTextEdit::textDidChange()
{
    if (m_programmatic)
        return;
    const QString now = toPlainText();
    if (m_limit > 0 && m_lastAdded > 0 && now.size() >= m_limit) {
        // Refused as a whole: the text goes back to what it was, the caret to where it was.
        const int caret = std::min<int>(int(m_accepted.size()), std::max(0, textCursor().position() - m_lastAdded));
        m_programmatic = true;
        setPlainText(m_accepted);
        QTextCursor cursor = textCursor();
        cursor.setPosition(caret);
        setTextCursor(cursor);
        m_programmatic = false;
        m_lastAdded = 0;
        return;
    }
    m_lastAdded = 0;
    m_accepted = now;
    emit textEdited();
}

void LimitedTextEdit::setMinimumAutoHeight(double height)
{
    m_minimumAutoHeight = height;
    setVerticalScrollBarPolicy(height > 0.0 ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    fitHeight();
}

QSize LimitedTextEdit::minimumSizeHint() const
{
    // Growing with its text, it needs no more than its smallest height to begin with.
    const QSize base = QPlainTextEdit::minimumSizeHint();
    if (m_minimumAutoHeight <= 0.0)
        return base;
    return QSize(base.width(), int(std::ceil(m_minimumAutoHeight)));
}

void LimitedTextEdit::fitHeight()
{
    if (m_minimumAutoHeight <= 0.0)
        return;
    const int wanted = int(std::ceil(std::max(m_minimumAutoHeight, textHeight() + 2 * frameWidth() + 4)));
    if (height() != wanted)
        setFixedHeight(wanted);
}

void LimitedTextEdit::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    // A new width wraps the text anew.
    QMetaObject::invokeMethod(this, [this] { fitHeight(); }, Qt::QueuedConnection);
}

double LimitedTextEdit::textHeight() const
{
    const QSizeF size = document()->documentLayout()->documentSize();
    const QFontMetricsF metrics(font());
    return size.height() * metrics.lineSpacing() + 2 * document()->documentMargin();
}

void LimitedTextEdit::focusOutEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusOutEvent(event);
    emit editingEnded();
}

void LimitedTextEdit::keyPressEvent(QKeyEvent* event)
{
    if (!m_returnBreaks && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        clearFocus();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace plr::insp
