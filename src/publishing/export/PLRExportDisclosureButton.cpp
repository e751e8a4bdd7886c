#include "publishing/export/PLRExportDisclosureButton.h"

#include "panels/gallery/PLRGalleryImages.h"
#include "platform-ui/GraphicsContext.h"
#include "platform-ui/AttributedString.h"

#include <cmath>

using namespace platform::ui;

PLRExportDisclosureButton::PLRExportDisclosureButton(const QString& title, QWidget* parent) : Button(parent)
{
    setButtonType(ButtonType::Switch);
    setBordered(false);
    setTitle(title);
    setImage(PLRGalleryImages::disclosureTriangle(false));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void PLRExportDisclosureButton::performClick()
{
    Button::performClick();
    setImage(PLRGalleryImages::disclosureTriangle(state() == StateOn));
}

QSize PLRExportDisclosureButton::sizeHint() const
{
    TextLayout layout(AttributedString(title(), {{kFontAttributeName, font()}}), QSizeF(1e9, 1e9));
    return QSize(int(std::ceil(kTriangleSize + kGap + layout.usedRect().width())) + 4, 22);
}

QRectF PLRExportDisclosureButton::imageRectInBounds() const
{
    return QRectF(0.0, (bounds().height() - kTriangleSize) / 2.0, kTriangleSize, kTriangleSize);
}

void PLRExportDisclosureButton::drawRect(GraphicsContext& context, const QRectF&)
{
    const QRectF b = bounds();
    // (As the state stands, however it was set.)
    context.drawImage(PLRGalleryImages::disclosureTriangle(state() == StateOn), imageRectInBounds(), {}, QPainter::CompositionMode_SourceOver, isHighlighted() ? 0.6 : 1.0);
    const AttributedString text(title(), {{kFontAttributeName, font()},
                                          {kForegroundColorAttributeName, QVariant::fromValue(isEnabled() ? Color::black(0.85) : Color::black(0.3))},
                                          {kParagraphStyleAttributeName, QVariant::fromValue(ParagraphStyle{TextAlignment::Left})}});
    const QRectF room = b.adjusted(kTriangleSize + kGap, 0, 0, 0);
    TextLayout layout(text, QSizeF(room.width(), 1e9));
    const double h = layout.usedRect().height();
    context.drawAttributedString(text, QRectF(room.x(), (b.height() - h) / 2, room.width(), h));
}
