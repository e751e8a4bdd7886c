#pragma once

// The small help button placed beside fields and settings. It draws one of two images (normal,
// hover); while the pointer is over it, its help text shows in a tool-tip window of its own (a
// bubble around the text, reaching out to the left of the button), which never takes the focus
// or the mouse. With a help link the pointer becomes a hand and a click opens the link.

#include "platform-ui/Color.h"
#include "platform-ui/Controls.h"
#include "platform-ui/Window.h"

#include <QImage>

#include <memory>
#include <optional>

// The bubble behind the tool-tip text: a nine-part image.
class PLRTooltipBackgroundView : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRTooltipBackgroundView(QWidget* parent = nullptr);
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
private:
    QImage m_tl, m_tm, m_tr, m_r, m_l, m_br, m_bm, m_bl, m_c;
};

class PLRHelpButton : public platform::ui::Button {
    Q_OBJECT
public:
    explicit PLRHelpButton(QWidget* parent = nullptr);
    ~PLRHelpButton() override;

    const double fontSize = 11;
    const double hPadding = 8;
    const double vPadding = 10;
    const double toolTipXOffset = 3;
    const double toolTipYOffset = -15;
    const double tooltipXMargin = 4;
    const double tooltipYMargin = 10;
    const double singleLineHeight = 13;

    // Takes the view's tool-tip text over (and clears it, so the standard tool-tip never shows)
    // and adds the hover tracking area.
    void awakeFromNib();

    QString helpLink() const { return m_helpLink; }
    void setHelpLink(const QString& link) { m_helpLink = link; m_hasHelpLink = true; }
    bool hasHelpLink() const { return m_hasHelpLink; }
    double customWidth() const { return m_customWidth; }
    void setCustomWidth(double width) { m_customWidth = width; m_width = width; }
    double tooltipWidth() const { return m_width; }
    std::optional<QString> toolTipText() const { return m_toolTipText; }
    bool mouseInside() const { return m_mouseInside; }
    const QImage& helpButtonImage() const { return m_helpButton; }
    const QImage& helpButtonHoverImage() const { return m_helpButtonHover; }
    platform::ui::Color toolTipColor() const { return m_toolTipColor; }

    // The tool-tip window last made (closed, not destroyed, when the pointer leaves).
    platform::ui::Window* tooltipWindow() const { return m_tooltipWindow.get(); }
    platform::ui::TextView* tooltipTextView() const { return m_textView; }
    void showTooltipWindow();

    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    void mouseEntered(const platform::ui::MouseEvent& event) override;
    void mouseExited(const platform::ui::MouseEvent& event) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent&) override {}
    void mouseDragged(const platform::ui::MouseEvent&) override {}

private:
    double m_width = 255;
    QImage m_helpButton;
    QImage m_helpButtonHover;
    platform::ui::Color m_toolTipColor;
    std::unique_ptr<platform::ui::Window> m_tooltipWindow;
    QPointer<platform::ui::TextView> m_textView;
    std::optional<QString> m_toolTipText;
    bool m_mouseInside = false;
    bool m_hasHelpLink = false;
    QString m_helpLink;
    double m_customWidth = 0;
};
