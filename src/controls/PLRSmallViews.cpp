#include "controls/PLRSmallViews.h"

#include "controls/ColorWithHex.h"

#include <QPainter>

using namespace platform::ui;

// ---------------------------------------------------------------- panel background

InspectorBGView::InspectorBGView(QWidget* parent) : View(parent) {}

void InspectorBGView::setDrawLine(bool draw)
{
    m_drawLine = draw;
    update();
}

void InspectorBGView::drawRect(GraphicsContext& context, const QRectF&)
{
    const QRectF b = bounds();
    if (m_drawBG)
        context.fillRect(b, m_bgColour);
    if (!m_drawLine)
        return;
    const Color line = namedColor(QStringLiteral("plrControlBorderColor"));
    if (m_lineOnTop)
        context.fillRect(QRectF(0, 0, b.width(), 1), line);
    else if (m_lineOnLeft)
        context.fillRect(QRectF(0, 0, 1, b.height()), line);
    else
        context.fillRect(QRectF(0, b.height() - 1, b.width(), 1), line);
}

void PLRDividorVeiw::drawRect(GraphicsContext& context, const QRectF&)
{
    QRectF b = bounds();
    b.setWidth(1);
    context.fillRect(b, namedColor(QStringLiteral("plrControlBorderColor")));
}

void PLRBackgroundColourView::setBackgroundColour(const Color& colour)
{
    m_backgroundColour = colour;
    setWantsLayer(true);
    layer()->setBackgroundColor(colour);
}

void PLRNumberPill::awakeFromNib()
{
    setWantsLayer(true);
    layer()->setCornerRadius(bounds().height() / 2.0);
    layer()->setBackgroundColor(namedColor(QStringLiteral("plrNumberPillColor")));
    layer()->setMasksToBounds(true);
}

// ---------------------------------------------------------------- status dot

PLRStatusIndicatorView::PLRStatusIndicatorView(QWidget* parent) : View(parent)
{
    // The glow fades out round the dot, also past the view's edges.
    setShadowOverhang(2.0 * kGlowBlurRadius);
}

bool PLRStatusIndicatorView::dotColours(Color& fill, Color& stroke) const
{
    switch (m_statusValue) {
    case 0: fill = ColorWithHex::smb_indicatorGreenColour(); stroke = ColorWithHex::smb_indicatorDarkGreenColour(); return true;
    case 1: fill = ColorWithHex::smb_indicatorYellowColour(); stroke = ColorWithHex::smb_indicatorDarkYellowColour(); return true;
    case 2: fill = ColorWithHex::smb_indicatorRedColour(); stroke = ColorWithHex::smb_indicatorDarkRedColour(); return true;
    default: return false; // no such status: no dot
    }
}

QPainterPath PLRStatusIndicatorView::dotPath() const
{
    const QRectF b = bounds();
    const double diameter = std::min(b.width(), b.height()) - 1.0;
    if (diameter <= 0)
        return {};
    const double radius = diameter / 2.0;
    QPainterPath circle;
    circle.addEllipse(b.center(), radius, radius);
    return circle;
}

void PLRStatusIndicatorView::drawRect(GraphicsContext& context, const QRectF&)
{
    Color fill, stroke;
    const QPainterPath circle = dotPath();
    if (!dotColours(fill, stroke) || circle.isEmpty())
        return;
    // The glow is drawn behind the view (drawBeyondBounds), so that it is not cut at its edges.
    context.fillPath(circle, fill);
    context.strokePath(circle, stroke, 1.0);
}

std::optional<Shadow> PLRStatusIndicatorView::glow() const
{
    Color fill, stroke;
    if (!dotColours(fill, stroke))
        return std::nullopt;
    return Shadow{fill, kGlowBlurRadius, QSizeF(0, 0)};
}

void PLRStatusIndicatorView::drawBeyondBounds(GraphicsContext& context)
{
    const QPainterPath circle = dotPath();
    const std::optional<Shadow> shadow = glow();
    if (!context.painter() || !shadow || circle.isEmpty())
        return;
    GraphicsContext::paintShadow(*context.painter(), circle, *shadow, context.isFlipped());
}

// ---------------------------------------------------------------- aspect fill

PLRAspectFillImageView::PLRAspectFillImageView(QWidget* parent) : ImageView(parent)
{
    ImageView::setImageScaling(ImageScaling::AxesIndependently);
}

void PLRAspectFillImageView::setImageScaling(ImageScaling) { ImageView::setImageScaling(ImageScaling::AxesIndependently); }

QRectF PLRAspectFillImageView::sourceRect(const QSizeF& imageSize, const QSizeF& viewSize)
{
    const double W = imageSize.width(), H = imageSize.height(), w = viewSize.width(), h = viewSize.height();
    if (W <= 0 || H <= 0 || w <= 0 || h <= 0)
        return {};
    const double r = h / w;
    QSizeF source;
    if (r <= H / W)
        source = QSizeF(W, W * r);   // the image is relatively taller: full width, centre band
    else
        source = QSizeF(H / r, H);   // relatively wider: full height, centre column
    return QRectF(W / 2.0 - source.width() / 2.0, H / 2.0 - source.height() / 2.0, source.width(), source.height());
}

void PLRAspectFillImageView::setImage(const Image& image)
{
    m_wrapped = image;
    if (image.isNull()) {
        ImageView::setImage(Image{});
        return;
    }
    QImage bitmap = image.bitmap;
    if (bitmap.isNull() && image.drawingHandler && !image.size.isEmpty()) {
        bitmap = QImage((image.size * 2.0).toSize(), QImage::Format_ARGB32_Premultiplied);
        bitmap.setDevicePixelRatio(2.0);
        bitmap.fill(Qt::transparent);
        QPainter painter(&bitmap);
        painter.translate(0, image.size.height());
        painter.scale(1, -1);
        GraphicsContext context(&painter, false);
        image.drawingHandler(context, QRectF(QPointF(), image.size));
    }
    Image wrapper;
    wrapper.size = bounds().size();
    wrapper.drawingHandler = [this, bitmap](GraphicsContext& context, const QRectF& destination) {
        const QRectF source = sourceRect(bitmap.deviceIndependentSize(), bounds().size());
        context.setHighQualityInterpolation(true);
        context.drawImage(bitmap, destination, source, QPainter::CompositionMode_Source, 1.0);
        return true;
    };
    ImageView::setImage(wrapper);
}

// ---------------------------------------------------------------- bordered text controls

void drawRoundedControlBorder(GraphicsContext& context, const QRectF& bounds)
{
    context.strokePath(roundedRectPath(bounds, 3, 3), ColorWithHex::smb_controlGreyBorder(), 2.0);
}

PLRTextField::PLRTextField(QWidget* parent) : TextField(parent)
{
    setEditable(true);
    setDrawsBackground(true);
}

void PLRTextField::drawRect(GraphicsContext& context, const QRectF& dirtyRect)
{
    TextField::drawRect(context, dirtyRect);
    drawRoundedControlBorder(context, bounds());
}

void PLRTextField::paintEvent(QPaintEvent* event) { TextField::paintEvent(event); }

PLRSecureTextField::PLRSecureTextField(QWidget* parent) : PLRTextField(parent) { setSecure(true); }

void PLRTextView::drawRect(GraphicsContext& context, const QRectF& dirtyRect)
{
    TextView::drawRect(context, dirtyRect);
    drawRoundedControlBorder(context, bounds());
}
