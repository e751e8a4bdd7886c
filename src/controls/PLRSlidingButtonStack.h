#pragma once

#include "platform-ui/Controls.h"

#include <QPointer>

class PLRSlidingButtonStack;

// Told when the stack's selection is set.
class PLRSlidingButtonStackDelegate {
public:
    virtual ~PLRSlidingButtonStackDelegate() = default;
    virtual void buttonStack(PLRSlidingButtonStack* stack, qint64 didSelectIndex) { (void)stack; (void)didSelectIndex; }
};

// One option of a sliding button stack: background, image and label; a selected cell is
// underlined in the text colour. Each cell is a Tab stop (it shows the focus ring while it has
// the keyboard) and Space, Return or Enter chooses it, as a click does.
class PLRSlidingButtonCell : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRSlidingButtonCell(QWidget* parent = nullptr);
    PLRSlidingButtonStack* containingStack() const { return m_containingStack; }
    void setContainingStack(PLRSlidingButtonStack* stack) { m_containingStack = stack; }
    platform::ui::View* backgroundView() const { return m_backgroundView; }
    platform::ui::ImageView* imageView() const { return m_imageView; }
    platform::ui::TextField* label() const { return m_label; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    bool isHovering() const { return m_hovering; }
    // The label's font follows the selection: size 12, medium when selected, regular otherwise.
    void ensureState();

    void updateTrackingAreas() override;
    void mouseEntered(const platform::ui::MouseEvent& event) override;
    void mouseExited(const platform::ui::MouseEvent& event) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    bool drawsFocusRing() const override { return focusPolicy() != Qt::NoFocus; }

protected:
    void layoutSubviews() override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPointer<PLRSlidingButtonStack> m_containingStack;
    platform::ui::View* m_backgroundView;
    platform::ui::ImageView* m_imageView;
    platform::ui::TextField* m_label;
    bool m_selected = false;
    bool m_hovering = false;
    bool m_tracking = false;
};

// A segmented chooser of options (its arranged views are PLRSlidingButtonCells). The cells lie
// inside the ring's width from its edges, so that a cell's focus ring shows whole.
class PLRSlidingButtonStack : public platform::ui::StackView {
    Q_OBJECT
public:
    explicit PLRSlidingButtonStack(QWidget* parent = nullptr);
    // Adds a cell with the title and image; the cell belongs to the stack.
    PLRSlidingButtonCell* addCell(const QString& title, const QImage& image = {});
    qint64 selectedIndex() const { return m_selectedIndex; }
    // Deselects the old cell, selects the one at the index and tells the delegate (also when
    // the index is already selected). An index without a cell is ignored.
    void setSelectedIndex(qint64 index);
    void selectCell(PLRSlidingButtonCell* cell);
    PLRSlidingButtonStackDelegate* slidingDelegate() const { return m_delegate; }
    void setSlidingDelegate(PLRSlidingButtonStackDelegate* delegate) { m_delegate = delegate; }
    PLRSlidingButtonCell* cellAt(qint64 index) const;
    // The room around the cells on every side.
    static double ringRoom();
private:
    qint64 m_selectedIndex = -1;
    PLRSlidingButtonStackDelegate* m_delegate = nullptr;
};
