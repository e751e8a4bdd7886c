#pragma once

// Small building blocks of the inspector's pages: the white scrolling page, captions, editable
// fields, switches and pop-ups in the inspector's sizes, a segmented chooser, a push button that
// shows an on/off state, a multi-line text editor with an optional length limit, and the helpers
// that place them in rows.

#include "platform-ui/Controls.h"

#include <QList>
#include <QPair>
#include <QPlainTextEdit>
#include <QScrollArea>

#include <functional>

class PLRPopupButton;
class PLRSwitchButton;
class QBoxLayout;
class QHBoxLayout;
class QVBoxLayout;

namespace plr::insp {

// The content of a page: a white widget holding a column with the page's margins and spacing.
// The column is returned through column; the widget gets the object name when one is given.
QWidget* pageContent(QVBoxLayout** column, const QString& objectName = QString());
// A frameless, vertically scrolling area around a page's content. While its scroll bar shows,
// the bar stands in the content's side margins, so the content keeps its width.
QScrollArea* scrolled(QWidget* content, QWidget* parent = nullptr);

// A field with the rounded grey border of the application's text controls.
platform::ui::TextField* editableField(QWidget* parent = nullptr);
// An on/off switch in the inspector's size and tint.
PLRSwitchButton* switchButton(QWidget* parent = nullptr);
// A pop-up button in the inspector's height holding the given titles and tags.
PLRPopupButton* popupButton(QWidget* parent, const QList<QPair<QString, qint64>>& items);

// A caption in the inspector's small grey type.
platform::ui::TextField* caption(const QString& text, QWidget* parent = nullptr, bool strong = false);
// A one-line caption for a text that may be longer than its room (a website address): what does
// not fit is left out in the middle ("www.exam…gallery.com"), and the whole text is its tool tip.
class ElidedCaption : public platform::ui::TextField {
    Q_OBJECT
public:
    explicit ElidedCaption(QWidget* parent = nullptr);
    QString fullText() const { return m_fullText; }
    void setFullText(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();
    QString m_fullText;
};

// A row: the caption on the left, the control on the right.
QHBoxLayout* row(const QString& text, QWidget* control, QWidget* parent = nullptr);
// The same with a caption column of the given width (rows of an option box, whose short
// captions leave their pop-ups room for their longest choice).
QHBoxLayout* row(const QString& text, QWidget* control, QWidget* parent, int captionWidth);
inline constexpr int kCaptionWidth = 96;
inline constexpr int kOptionCaptionWidth = 60;
// A thin separator line.
QWidget* separator(QWidget* parent = nullptr);

// One choice out of a few titled segments. selectedSegment() is -1 when none is chosen.
class SegmentedControl : public platform::ui::Control {
    Q_OBJECT
public:
    explicit SegmentedControl(const QStringList& titles, QWidget* parent = nullptr);
    int segmentCount() const { return int(m_titles.size()); }
    int selectedSegment() const { return m_selected; }
    // Selects without sending the action (an index outside the segments selects none).
    void setSelectedSegment(int index);
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;
    void mouseDown(const platform::ui::MouseEvent&) override {}
    // As a click on the segment: selects it and sends the action.
    void clickSegment(int index);
    QSize sizeHint() const override { return QSize(int(m_titles.size()) * 40, 24); }
protected:
    void keyPressEvent(QKeyEvent* event) override;
private:
    QStringList m_titles;
    int m_selected = -1;
};

// A push button whose on/off state is shown (filled when on); a click sends the action and
// leaves the state to the owner.
class StateButton : public platform::ui::Control {
    Q_OBJECT
public:
    explicit StateButton(const QString& title, QWidget* parent = nullptr);
    bool state() const { return m_state; }
    void setState(bool on) { m_state = on; update(); }
    QString title() const { return m_title; }
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    void mouseDown(const platform::ui::MouseEvent&) override {}
    void mouseUp(const platform::ui::MouseEvent& event) override;
    QSize sizeHint() const override { return QSize(30, 24); }
private:
    QString m_title;
    bool m_state = false;
};

// A multi-line text editor. With a limit, a change that would leave the text at the limit or
// longer (in UTF-16 units) is refused as a whole, unless it only deletes. textEdited() follows
// every accepted change made by the user.
class LimitedTextEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LimitedTextEdit(QWidget* parent = nullptr);
    // 0: no limit.
    void setLimit(int limit) { m_limit = limit; }
    int limit() const { return m_limit; }
    // Sets the text without counting it as the user's edit.
    void setText(const QString& text);
    QString text() const { return toPlainText(); }
    // The height the text needs at the editor's width.
    double textHeight() const;
    // Grows and shrinks with its text, never below the minimum height (0: a fixed height).
    void setMinimumAutoHeight(double height);
    // Return inserts a line break when set, else ends editing (focus leaves).
    void setReturnInsertsLineBreak(bool inserts) { m_returnBreaks = inserts; }
    QSize minimumSizeHint() const override;
signals:
    void textEdited();
    void editingEnded();
protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
private:
    void fitHeight();
    double m_minimumAutoHeight = 0.0;
    void contentsChanged(int position, int removed, int added);
    void textDidChange();
    int m_limit = 0;
    int m_lastAdded = 0;
    bool m_programmatic = false;
    bool m_returnBreaks = true;
    QString m_accepted;
};

} // namespace plr::insp
