#pragma once

// A check box and a radio button drawn entirely in the application's look. Both keep the button's
// behaviour (a click flips or sets the state and sends the action; the button is highlighted
// while pressed); only the drawing is their own. On means state 1; off and mixed draw as off.

#include "platform-ui/Color.h"
#include "platform-ui/Controls.h"

#include <QImage>

class PLRCheckboxButton : public platform::ui::Button {
    Q_OBJECT
public:
    explicit PLRCheckboxButton(QWidget* parent = nullptr);
    bool isFlipped() const override { return true; }

    platform::ui::Color activeTextColor() const { return m_activeTextColor; }
    void setActiveTextColor(const platform::ui::Color& color) { m_activeTextColor = color; }
    platform::ui::Color inactiveTextColor() const { return m_inactiveTextColor; }
    void setInactiveTextColor(const platform::ui::Color& color) { m_inactiveTextColor = color; }
    platform::ui::Color disabledTextColor() const { return m_disabledTextColor; }
    void setDisabledTextColor(const platform::ui::Color& color) { m_disabledTextColor = color; }

    const QImage& checkboxCheckedImage() const { return m_checked; }
    const QImage& checkboxCheckedImageDisabled() const { return m_checkedDisabled; }
    const QImage& checkboxUncheckedImage() const { return m_unchecked; }
    const QImage& checkboxUncheckedImageDisabled() const { return m_uncheckedDisabled; }
    const QImage& checkboxUncheckedHighlightedImage() const { return m_uncheckedHighlighted; }
    const QImage& checkboxCheckedHighlightedImage() const { return m_checkedHighlighted; }

    // The box image for the current state, and what is drawn over it while pressed (null: nothing).
    const QImage& boxImage() const;
    const QImage* highlightImage() const;
    // Where the box is drawn (the size of the checked image serves for every image).
    QRectF boxRect() const;
    // The title colour for the current state.
    platform::ui::Color titleColor() const;

    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;

private:
    platform::ui::Color m_activeTextColor;
    platform::ui::Color m_inactiveTextColor;
    platform::ui::Color m_disabledTextColor;
    QImage m_checked;
    QImage m_checkedDisabled;
    QImage m_unchecked;
    QImage m_uncheckedDisabled;
    QImage m_uncheckedHighlighted;
    QImage m_checkedHighlighted;
};

class PLRRadioButton : public platform::ui::Button {
    Q_OBJECT
public:
    explicit PLRRadioButton(QWidget* parent = nullptr);
    bool isFlipped() const override { return true; }

    platform::ui::Color activeColor() const { return m_activeColor; }
    void setActiveColor(const platform::ui::Color& color) { m_activeColor = color; }
    platform::ui::Color inactiveColor() const { return m_inactiveColor; }
    void setInactiveColor(const platform::ui::Color& color) { m_inactiveColor = color; }
    platform::ui::Color highlightColor() const { return m_highlightColor; }
    void setHighlightColor(const platform::ui::Color& color) { m_highlightColor = color; }
    QRectF circleFrame() const { return m_circleFrame; }
    void setCircleFrame(const QRectF& frame) { m_circleFrame = frame; }
    double insetAmount() const { return m_insetAmount; }
    void setInsetAmount(double inset) { m_insetAmount = inset; }

    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;

private:
    platform::ui::Color m_activeColor;
    platform::ui::Color m_inactiveColor;
    platform::ui::Color m_highlightColor;
    QRectF m_circleFrame{2.0, 2.0, 13.0, 13.0};
    double m_insetAmount = 3.0;
};

// The title of a check box or radio button at x, centred vertically, broken at the frame's width
// and clipped to the frame.
void PLRDrawButtonTitle(platform::ui::GraphicsContext& context, const QString& title, const platform::ui::Color& color,
                        double x, const QSizeF& frameSize);
