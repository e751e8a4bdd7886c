#pragma once

#include "platform-ui/Controls.h"

#include <QPointer>

#include <functional>

#include <QMenu>

// A pop-up button that draws its whole face (white fill, 2-point border, the arrow image, the
// selected item's title) and opens its menu itself, at the point (0, 5) of the control. Items
// carry tags (the inspector identifies its choices by them) and an on/off state. Choosing an
// item selects it and sends the action. The title is never shortened: its box is as wide as the
// control (a long title runs under the arrow and is cut at the control's edge); the control asks
// its layout for the width that shows its longest title left of the arrow. Tab reaches it (it
// shows the focus ring; a click leaves the focus where it was); Space, Return or the Down arrow
// open the menu with the selected item highlighted, the arrows move through it, Return chooses
// and Escape closes it.
class PLRPopupButton : public platform::ui::Control {
    Q_OBJECT
    Q_PROPERTY(qint64 buttonStyle READ buttonStyle WRITE setButtonStyle)
public:
    static constexpr double kHeight = 30.0;
    // Where the title starts, where the arrow starts (from the right edge) and the gap a title
    // that fits keeps from the arrow.
    static constexpr double kTitleInset = 12.0;
    static constexpr double kArrowInset = 18.0;
    static constexpr double kTitleGap = 4.0;
    // Where the menu opens, in the control's coordinates (y up).
    static constexpr QPointF kMenuOrigin{0.0, 5.0};

    explicit PLRPopupButton(QWidget* parent = nullptr);
    ~PLRPopupButton() override;

    // Fixes the height at 30 and lowers the control by 5 points, as placing it from a layout
    // file does.
    void awakeFromNib();

    bool isMenuOpen() const { return m_isMenuOpen; }
    platform::ui::Color borderColor() const { return m_borderColor; }
    void setBorderColor(const platform::ui::Color& color) { m_borderColor = color; update(); }
    qint64 buttonStyle() const { return m_buttonStyle; }
    // Style 1 takes the plrControlBgColor border (and keeps it); style 2 draws " Ratio" after
    // the title.
    void setButtonStyle(qint64 style);

    // Items.
    void addItem(const QString& title, qint64 tag);
    // A separator line in the menu: an item of its own (it counts in the indexes), never chosen.
    void addSeparatorItem();
    bool isSeparatorItem(int index) const;
    void removeAllItems();
    int numberOfItems() const { return int(m_items.size()); }
    QString itemTitle(int index) const;
    qint64 itemTag(int index) const;
    int indexOfItemWithTag(qint64 tag) const;
    // The on/off mark of an item (shown in the menu).
    bool itemState(int index) const;
    void setItemState(int index, bool on);

    // The selection: -1 when none.
    int indexOfSelectedItem() const { return m_selected; }
    void selectItemAtIndex(int index);
    // Selects the item with the tag; false (selection unchanged) when there is none.
    bool selectItemWithTag(qint64 tag);
    // The selected item's tag, -1 without a selection.
    qint64 selectedTag() const;
    // What the face shows: the selected item's title, or the title set with setTitle.
    QString title() const;
    // Selects the item of that title; without one, shows the text with no item selected.
    void setTitle(const QString& title);

    void setEnabled(bool enabled) { QWidget::setEnabled(enabled); update(); }

    // Acts as choosing the item from the menu: selects it and sends the action.
    void chooseItemAtIndex(int index);
    // The open menu (null while closed).
    QMenu* menu() const { return m_menu; }

    // How the menu is shown (tests replace it): it gets the control, the point in the
    // control's Qt coordinates and the menu's minimum width.
    using MenuPresenter = std::function<void(PLRPopupButton* button, QMenu* menu, const QPoint& at, int minimumWidth)>;
    static void setMenuPresenter(MenuPresenter presenter);

    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    // The width that shows a title (with " Ratio" in style 2) wholly left of the arrow.
    int widthForTitle(const QString& title) const;
    // The width every item's title and the shown title need.
    int widthForTitles() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Menu notices.
    void willOpenMenu() { m_isMenuOpen = true; }
    void didCloseMenu() { m_isMenuOpen = false; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Opens the menu; from the keyboard with the selected item (or the first) highlighted.
    void openMenu(bool fromKeyboard);

    struct Item {
        QString title;
        qint64 tag = 0;
        bool on = false;
        bool separator = false;
    };
    bool m_isMenuOpen = false;
    platform::ui::Color m_borderColor;
    qint64 m_buttonStyle = 0;
    QList<Item> m_items;
    int m_selected = -1;
    QString m_shownTitle;
    QPointer<QMenu> m_menu;
};
