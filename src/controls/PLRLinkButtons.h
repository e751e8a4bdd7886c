#pragma once

// Small buttons in the application's look: two link buttons (the control module's, which
// recolours whatever attributed title it has and shows a pointing hand, and the plain one, which
// builds an underlined title once), a gradient button, a flat button that lightens under the
// pointer, a button that ignores the pointer entering, and a button whose image sits further right.

#include "platform-ui/Color.h"
#include "platform-ui/Controls.h"

#include <optional>

namespace Pellora_Publish {

class PLRLinkButton : public platform::ui::Button {
    Q_OBJECT
public:
    explicit PLRLinkButton(QWidget* parent = nullptr);

    platform::ui::Color defaultColor() const { return m_defaultColor; }
    void setDefaultColor(const platform::ui::Color& color) { m_defaultColor = color; }
    platform::ui::Color activeColor() const { return m_activeColor; }
    void setActiveColor(const platform::ui::Color& color) { m_activeColor = color; }

    // The hover tracking area (options 1665), then the title in the default colour.
    void awakeFromNib();
    // Recolours the current attributed title (the plain title when there is none) over its length.
    void applyTitleColor(const platform::ui::Color& color);
    // Sent after a new attributed title: shows it in the default colour.
    void setNeedsDisplay() { applyTitleColor(m_defaultColor); }
    // A new plain title replaces the attributed one (the next setNeedsDisplay colours it).
    void setTitle(const QString& title);

    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;
    void mouseCancelled() override;
    void mouseEntered(const platform::ui::MouseEvent& event) override;
    void mouseExited(const platform::ui::MouseEvent& event) override;

private:
    platform::ui::Color m_defaultColor;
    platform::ui::Color m_activeColor;
    bool m_cursorSet = false;
};

} // namespace Pellora_Publish

class PLRLinkButton : public platform::ui::Button {
    Q_OBJECT
public:
    explicit PLRLinkButton(QWidget* parent = nullptr);
    bool drawUnderline() const { return m_drawUnderline; }
    void setDrawUnderline(bool draw) { m_drawUnderline = draw; }
    platform::ui::Color titleColour() const { return m_titleColour; }
    void setTitleColour(const platform::ui::Color& colour) { m_titleColour = colour; }
    // Builds the attributed title from the plain one.
    void awakeFromNib();
private:
    bool m_drawUnderline = true;
    platform::ui::Color m_titleColour = platform::ui::Color::black();
};

class PLRGradientButton : public platform::ui::Button {
    Q_OBJECT
public:
    explicit PLRGradientButton(QWidget* parent = nullptr);

    std::optional<platform::ui::Color> startColour() const { return m_startColour; }
    void setStartColour(const platform::ui::Color& colour) { m_startColour = colour; }
    std::optional<platform::ui::Color> endColour() const { return m_endColour; }
    void setEndColour(const platform::ui::Color& colour) { m_endColour = colour; }
    std::optional<platform::ui::Color> disabledColour() const { return m_disabledColour; }
    void setDisabledColour(const platform::ui::Color& colour) { m_disabledColour = colour; }
    bool drawBorder() const { return m_drawBorder; }
    void setDrawBorder(bool draw) { m_drawBorder = draw; }
    std::optional<platform::ui::Color> borderColour() const { return m_borderColour; }
    void setBorderColour(const platform::ui::Color& colour) { m_borderColour = colour; }
    qint64 borderRadius() const { return m_borderRadius; }
    void setBorderRadius(qint64 radius) { m_borderRadius = radius; }
    platform::ui::Color titleColour() const { return m_titleColour; }
    // Stores the colour and rebuilds the title.
    void setTitleColour(const platform::ui::Color& colour);

    void awakeFromNib();
    // Rebuilds the attributed title (at alpha 0.26 while disabled).
    void setTitle(const QString& title);
    void setEnabled(bool enabled);

    // The gradient's two colours for the current state (none while a needed colour is unset).
    std::optional<std::pair<platform::ui::Color, platform::ui::Color>> gradientColours() const;
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;

private:
    std::optional<platform::ui::Color> m_startColour;
    std::optional<platform::ui::Color> m_endColour;
    std::optional<platform::ui::Color> m_disabledColour;
    bool m_drawBorder = false;
    std::optional<platform::ui::Color> m_borderColour;
    qint64 m_borderRadius = 0;
    platform::ui::Color m_titleColour = platform::ui::Color::white();
};

class PLRFlatButton : public platform::ui::Button {
    Q_OBJECT
public:
    explicit PLRFlatButton(QWidget* parent = nullptr);
    void awakeFromNib();
    // Adds the hover tracking area once; an existing one is never replaced.
    void updateTrackingAreas() override;
    void mouseEntered(const platform::ui::MouseEvent& event) override;
    void mouseExited(const platform::ui::MouseEvent& event) override;
    void ensureBGColour(bool hovered);
};

class PLRSimpleButton : public platform::ui::Button {
    Q_OBJECT
public:
    using Button::Button;
    void mouseEntered(const platform::ui::MouseEvent&) override {}
};

class PLRSpacedImageButton : public platform::ui::Button {
    Q_OBJECT
public:
    using Button::Button;
    double borderPadding() const { return m_borderPadding; }
    void setBorderPadding(double padding) { m_borderPadding = padding; update(); }
    // Where the image is drawn: where a button puts it, moved right by the padding.
    QRectF imageRect() const { return imageRectInBounds(); }
protected:
    QRectF imageRectInBounds() const override;
private:
    double m_borderPadding = 0.0;
};
