#pragma once

#include "platform-ui/Controls.h"

// The header of a folding area of the export screens (the file names, the quality): the
// disclosure triangle and the area's title, so that it reads as what opens the area. A switch:
// on while the area is open. Its image is the triangle as it points now.
class PLRExportDisclosureButton : public platform::ui::Button {
    Q_OBJECT
public:
    explicit PLRExportDisclosureButton(const QString& title, QWidget* parent = nullptr);

    void performClick() override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;

protected:
    QRectF imageRectInBounds() const override;

private:
    static constexpr double kTriangleSize = 10.0;
    static constexpr double kGap = 5.0;
};
