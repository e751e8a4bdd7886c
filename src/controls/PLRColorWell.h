#pragma once

#include "platform-ui/Controls.h"

#include <QPointer>

#include <functional>

#include <QColorDialog>

// A colour well drawn as a flat swatch with a 2-point border. A click (or activate) opens the
// colour panel; each colour picked there becomes the well's colour and sends the action.
class PLRColorWell : public platform::ui::Control {
    Q_OBJECT
public:
    explicit PLRColorWell(QWidget* parent = nullptr);
    ~PLRColorWell() override;

    platform::ui::Color color() const { return m_color; }
    void setColor(const platform::ui::Color& color);
    platform::ui::Color borderColor() const { return m_borderColor; }

    // Opens the colour panel for this well (`exclusive` is accepted for the callers' sake: one
    // panel serves one well at a time here).
    void activate(bool exclusive);
    // As a click: opens the colour panel.
    void performClick() override;
    bool isActive() const { return bool(m_panel); }
    void deactivate();
    // As a colour picked in the panel: stores it and sends the action.
    void takeColorFromPanel(const platform::ui::Color& color);

    // How the panel is opened (tests replace it; null restores the colour dialog).
    using PanelOpener = std::function<void(PLRColorWell* well)>;
    static void setPanelOpener(PanelOpener opener);

    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    void mouseDown(const platform::ui::MouseEvent& event) override;

private:
    platform::ui::Color m_color = platform::ui::Color::white();
    platform::ui::Color m_borderColor;
    QPointer<QColorDialog> m_panel;
};

// An image view with the preview background behind its image. The background leaves two points
// at the right; the image is scaled into the background, never past it.
class PLRImagePreviewImageView : public platform::ui::ImageView {
    Q_OBJECT
public:
    explicit PLRImagePreviewImageView(QWidget* parent = nullptr) : ImageView(parent) {}
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
};
