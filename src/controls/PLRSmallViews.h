#pragma once

// Panel backgrounds, dividers, badges, the status dot, aspect-filling images and text fields
// with the rounded grey border.

#include "platform-ui/Controls.h"

#include <optional>

// A flipped panel background with an optional 1-point separator line.
class InspectorBGView : public platform::ui::View {
    Q_OBJECT
public:
    explicit InspectorBGView(QWidget* parent = nullptr);
    bool isFlipped() const override { return true; }
    bool drawBG() const { return m_drawBG; }
    void setDrawBG(bool draw) { m_drawBG = draw; }
    platform::ui::Color bgColour() const { return m_bgColour; }
    void setBgColour(const platform::ui::Color& colour) { m_bgColour = colour; }
    bool drawLine() const { return m_drawLine; }
    void setDrawLine(bool draw);
    bool lineOnTop() const { return m_lineOnTop; }
    void setLineOnTop(bool top) { m_lineOnTop = top; }
    bool lineOnLeft() const { return m_lineOnLeft; }
    void setLineOnLeft(bool left) { m_lineOnLeft = left; }
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
private:
    bool m_drawBG = false;
    platform::ui::Color m_bgColour = platform::ui::Color::white();
    bool m_drawLine = true;
    bool m_lineOnTop = false;
    bool m_lineOnLeft = false;
};

// A 1-point vertical line at the left edge, full height.
class PLRDividorVeiw : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRDividorVeiw(QWidget* parent = nullptr) : View(parent) {}
    bool isFlipped() const override { return true; }
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
};

// A view whose layer background is a colour.
class PLRBackgroundColourView : public platform::ui::View {
    Q_OBJECT
public:
    explicit PLRBackgroundColourView(QWidget* parent = nullptr) : View(parent) {}
    std::optional<platform::ui::Color> backgroundColour() const { return m_backgroundColour; }
    void setBackgroundColour(const platform::ui::Color& colour);
private:
    std::optional<platform::ui::Color> m_backgroundColour;
};

// A rounded badge (a text field with a pill-shaped layer).
class PLRNumberPill : public platform::ui::TextField {
    Q_OBJECT
public:
    explicit PLRNumberPill(QWidget* parent = nullptr) : TextField(parent) {}
    // Layer-backed, corner radius half the height, background plrNumberPillColor, clipped.
    void awakeFromNib();
};

// A coloured status dot: 0 green, 1 yellow, 2 red.
class PLRStatusIndicatorView : public platform::ui::View {
    Q_OBJECT
public:
    static constexpr double kGlowBlurRadius = 4.0;
    explicit PLRStatusIndicatorView(QWidget* parent = nullptr);
    qint64 statusValue() const { return m_statusValue; }
    void setStatusValue(qint64 value) { m_statusValue = value; update(); }
    // The glow round the dot: a shadow of the fill colour, blur radius 4, no offset (none for
    // an unknown status).
    std::optional<platform::ui::Shadow> glow() const;
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
protected:
    void drawBeyondBounds(platform::ui::GraphicsContext& context) override;
private:
    bool dotColours(platform::ui::Color& fill, platform::ui::Color& stroke) const;
    QPainterPath dotPath() const;
    qint64 m_statusValue = 0;
};

// Shows its image filling the whole view, the image's centre part cut to the view's proportions.
class PLRAspectFillImageView : public platform::ui::ImageView {
    Q_OBJECT
public:
    explicit PLRAspectFillImageView(QWidget* parent = nullptr);
    void setImage(const platform::ui::Image& image) override;
    using ImageView::setImage;
    // Always axes-independent, whatever is asked for.
    void setImageScaling(platform::ui::ImageScaling scaling) override;
    const platform::ui::Image& wrappedImage() const { return m_wrapped; }
    // The part of an image of size W x H shown in a view of size w x h.
    static QRectF sourceRect(const QSizeF& imageSize, const QSizeF& viewSize);
private:
    platform::ui::Image m_wrapped;
};

// Draws the rounded grey border of the application's text controls (radius 3, width 2).
void drawRoundedControlBorder(platform::ui::GraphicsContext& context, const QRectF& bounds);

class PLRTextField : public platform::ui::TextField {
    Q_OBJECT
public:
    explicit PLRTextField(QWidget* parent = nullptr);
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
protected:
    void paintEvent(QPaintEvent* event) override;
};

class PLRSecureTextField : public PLRTextField {
    Q_OBJECT
public:
    explicit PLRSecureTextField(QWidget* parent = nullptr);
};

class PLRTextView : public platform::ui::TextView {
    Q_OBJECT
public:
    explicit PLRTextView(QWidget* parent = nullptr) : TextView(parent) {}
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
};
