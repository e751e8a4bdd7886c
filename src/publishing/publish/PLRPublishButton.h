#pragma once

#include "platform-ui/Controls.h"
#include "platform-ui/View.h"

#include <QPointer>

// Tells its delegate of every click (every release after a press, wherever the pointer is).
class PLRPublishButtonDelegate {
public:
    virtual ~PLRPublishButtonDelegate() = default;
    virtual void buttonWasClicked(class PLRPublishButton* button) = 0;
};

// A small button face: a light grey gradient with a rounded border, a label and an icon,
// darker while pressed.
class PLRPublishButton : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRPublishButton(QWidget* parent = nullptr);
    static constexpr double kHeight = 40.0;

    platform::ui::TextField* label() const { return m_label; }
    platform::ui::View* icon() const { return m_icon; }
    bool isMouseDown() const { return m_mouseDown; }
    PLRPublishButtonDelegate* delegate() const { return m_delegate; }
    void setDelegate(PLRPublishButtonDelegate* delegate) { m_delegate = delegate; }
    void moveToDefaultState() {}
    void moveToProgressAnimation() {}

    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;
    void mouseCancelled() override;
    // Tab reaches the button (with a ring around its rounded face); Space or Return presses it.
    bool drawsFocusRing() const override { return true; }
    void drawFocusRingMask(platform::ui::GraphicsContext& context) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPointer<platform::ui::TextField> m_label;
    QPointer<platform::ui::View> m_icon;
    PLRPublishButtonDelegate* m_delegate = nullptr;
    bool m_mouseDown = false;
};
