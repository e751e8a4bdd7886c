#pragma once

#include "platform-ui/Controls.h"

#include <QPointer>

#include <optional>

// The attributed-text key whose value is a link address (QUrl).
inline constexpr auto PLRHyperLinkAttributeName = "PLRHyperLinkAttributeName";

// A text whose runs marked with PLRHyperLinkAttributeName open their address when clicked; the
// pointer becomes a pointing hand over them.
class PLRHyperLinkTextField : public platform::ui::TextView {
    Q_OBJECT
public:
    explicit PLRHyperLinkTextField(QWidget* parent = nullptr);
    void updateTrackingAreas() override;
    void mouseMoved(const platform::ui::MouseEvent& event) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    // The link address under a point of the view (empty when none).
    QUrl linkAt(const QPointF& point) const;
private:
    bool m_tracking = false;
};

// A line of text with one part that is a link. With a link it is a Tab stop: it shows the focus
// ring around the link, and Space or Return opens it.
class PLRHyperLinkView : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRHyperLinkView(QWidget* parent = nullptr);

    QString stringValue() const { return m_stringValue; }
    void setStringValue(const QString& value) { m_stringValue = value; update(); }
    QString linkTitle() const { return m_linkTitle; }
    void setLinkTitle(const QString& title) { m_linkTitle = title; update(); }
    QString linkURL() const { return m_linkURL; }
    void setLinkURL(const QString& url);
    std::optional<platform::ui::Color> titleColor() const { return m_titleColor; }
    void setTitleColor(const platform::ui::Color& color) { m_titleColor = color; update(); }
    std::optional<double> fontSize() const { return m_fontSize; }
    void setFontSize(std::optional<double> size) { m_fontSize = size; update(); }
    std::optional<double> textCharacterSpacing() const { return m_spacing; }
    void setTextCharacterSpacing(std::optional<double> spacing) { m_spacing = spacing; update(); }
    platform::ui::TextAlignment textAlignment() const { return m_alignment; }
    void setTextAlignment(platform::ui::TextAlignment alignment) { m_alignment = alignment; update(); }
    bool underlineLinkTitle() const { return m_underline; }
    void setUnderlineLinkTitle(bool underline) { m_underline = underline; update(); }
    PLRHyperLinkTextField* linkField() const { return m_linkField; }

    // Builds the link text into the link field; runs on every draw.
    void renderHyperLink();
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    // Opens the link (as a click on it does).
    void openLink();
    bool drawsFocusRing() const override { return true; }
    QRectF focusRingMaskBounds() const override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_stringValue;
    QString m_linkTitle;
    QString m_linkURL;
    std::optional<platform::ui::Color> m_titleColor;
    std::optional<double> m_fontSize;
    std::optional<double> m_spacing;
    platform::ui::TextAlignment m_alignment = platform::ui::TextAlignment::Center;
    bool m_underline = false;
    QPointer<PLRHyperLinkTextField> m_linkField;
};

// An area that lightens while the pointer is over it and opens its link when clicked.
class PLRLinkView : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRLinkView(QWidget* parent = nullptr);
    QString link() const { return m_link; }
    void setLink(const QString& link) { m_link = link; }
    bool isIn() const { return m_in; }
    void updateTrackingAreas() override;
    void mouseEntered(const platform::ui::MouseEvent& event) override;
    void mouseExited(const platform::ui::MouseEvent& event) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
private:
    QString m_link;
    bool m_in = false;
    bool m_tracking = false;
};
