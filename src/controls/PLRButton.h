#pragma once

// A push button whose look is made of layers: a filled container with a soft shadow, a text
// layer for the title and an (empty) icon layer. Style 0 is the dark filled primary button, any
// other value the outlined secondary one; hover and press change colours at once (no implicit
// animation). Clicks send the action straight to the target.

#include "platform-ui/Controls.h"
#include "platform-ui/Layer.h"

class PLRButton : public platform::ui::Button {
    Q_OBJECT
public:
    enum ButtonStyle { Primary = 0, Secondary = 1 };

    explicit PLRButton(QWidget* parent = nullptr);
    // Its y runs down, so the shadow strip lies along the bottom edge
    // and the hover shadow falls below the button.
    bool isFlipped() const override { return true; }

    // As loading from an interface file does: the hover tracking area (options 1665).
    void awakeFromNib();

    qint64 buttonStyle() const { return m_buttonStyle; }
    // Every set (also of the same value) applies the resting look.
    void setButtonStyle(qint64 style);
    void setTitle(const QString& title);
    void setFont(const QFont& font);
    void setFrame(const QRectF& frame);
    // Disabled: half transparent and clicks fall through (the hover look still applies).
    void setEnabled(bool enabled);
    bool isMouseDown() const { return m_mouseDown; }

    const platform::ui::Color primaryBackgroundColor;
    const platform::ui::Color secondaryBackgroundColor;
    const platform::ui::Color secondaryBackgroundColorHover;
    const platform::ui::Color secondaryTitleColor;
    const platform::ui::Color secondaryTitleColorPressed;
    const platform::ui::Color secondaryTitleColorHover;
    const platform::ui::Color secondaryBorderColor;

    platform::ui::Layer* containerLayer() const { return m_containerLayer; }
    platform::ui::ShapeLayer* alternateIconLayer() const { return m_alternateIconLayer; }
    platform::ui::TextLayer* titleLayer() const { return m_titleLayer; }

    QWidget* hitTest(const QPointF& pointInSuperview) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;
    void mouseCancelled() override;
    void mouseDragged(const platform::ui::MouseEvent&) override {}
    void mouseEntered(const platform::ui::MouseEvent& event) override;
    void mouseExited(const platform::ui::MouseEvent& event) override;
    void drawRect(platform::ui::GraphicsContext&, const QRectF&) override {}

    // Steps a subclass may change.
    virtual void setup();
    virtual void titleStep();
    virtual void titleLayout();
    virtual void removeAnimations();
    virtual void applyPressedLook(bool pressed);
    virtual void setPressed(bool on);

    // Animates a colour property of a layer to the colour (nothing when it has it already).
    static void animateColor(platform::ui::Layer* layer, const QString& keyPath, const platform::ui::Color& color,
                             double duration);

protected:
    void layoutSubviews() override;

private:
    void applyRestingLook();
    qint64 m_buttonStyle = 0;
    bool m_mouseDown = false;
    bool m_hasFont = false;
    platform::ui::Layer* m_containerLayer = nullptr;
    platform::ui::ShapeLayer* m_alternateIconLayer = nullptr;
    platform::ui::TextLayer* m_titleLayer = nullptr;
};
