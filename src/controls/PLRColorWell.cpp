#include "controls/PLRColorWell.h"
#include "platform/Resets.h"

#include <QColorDialog>
#include <QPainter>

#include <algorithm>
#include <cmath>
using namespace platform::ui;

namespace {

PLRColorWell::PanelOpener& panelOpener()
{
    static PLRColorWell::PanelOpener opener;
    static const bool joined = platform::resets::add([] { opener = nullptr; });
    Q_UNUSED(joined);
    return opener;
}

} // namespace

PLRColorWell::PLRColorWell(QWidget* parent) : Control(parent)
{
    m_borderColor = namedColor(QStringLiteral("plrControlBorderColorDarker"));
    // Tab reaches the well; Space or Return opens the colour panel.
    takeTabAndActivationKeys();
}

void PLRColorWell::performClick()
{
    activate(true);
}

PLRColorWell::~PLRColorWell()
{
    delete m_panel;
}

void PLRColorWell::setPanelOpener(PanelOpener opener)
{
    panelOpener() = std::move(opener);
}

void PLRColorWell::setColor(const Color& color)
{
    m_color = color;
    if (m_panel)
        m_panel->setCurrentColor(color.toQColor());
    update();
}

void PLRColorWell::takeColorFromPanel(const Color& color)
{
    m_color = color;
    update();
    sendAction();
}

void PLRColorWell::activate(bool)
{
    if (!isEnabled())
        return;
    if (panelOpener()) {
        panelOpener()(this);
        return;
    }
    if (!m_panel) {
        auto* panel = new QColorDialog(m_color.toQColor());
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->setOption(QColorDialog::NoButtons, true);
        panel->setWindowTitle(QStringLiteral("Colours"));
        connect(panel, &QColorDialog::currentColorChanged, this, [this](const QColor& picked) {
            const QColor rgb = picked.toRgb();
            takeColorFromPanel(Color(rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()));
        });
        m_panel = panel;
    }
    m_panel->show();
    m_panel->raise();
    m_panel->activateWindow();
}

void PLRColorWell::deactivate()
{
    if (m_panel)
        m_panel->close();
}

void PLRColorWell::mouseDown(const MouseEvent&)
{
    activate(true);
}

void PLRColorWell::drawRect(GraphicsContext& context, const QRectF&)
{
    QPainterPath path;
    path.addRect(bounds());
    context.fillPath(path, m_color);
    context.strokePath(path, m_borderColor, 2.0);
}

void PLRImagePreviewImageView::drawRect(GraphicsContext& context, const QRectF&)
{
    // The frame is the background, which leaves two points at the right.
    const QRectF r = bounds();
    const QRectF frame(r.x(), r.y(), std::max(0.0, r.width() - 2.0), r.height());
    context.fillRect(frame, namedColor(QStringLiteral("plrPreviewImageBgColor")));
    if (m_image.isNull())
        return;
    // The picture sits in its frame: scaled into it and centred, its edges on whole pixels of the
    // screen (a picture edge between two pixels shows as a strip of mixed colour).
    const QRectF fitted = imageRectForScaling(m_image.size, frame, m_scaling);
    if (fitted.isEmpty())
        return;
    QRectF destination = fitted;
    if (const QPainter* painter = context.painter(); painter && !painter->deviceTransform().isRotating()) {
        const QTransform toDevice = painter->deviceTransform();
        const QRectF pixels = toDevice.mapRect(fitted);
        const QRectF whole(QPointF(std::round(pixels.left()), std::round(pixels.top())),
                           QPointF(std::round(pixels.right()), std::round(pixels.bottom())));
        destination = toDevice.inverted().mapRect(whole).intersected(frame);
    }
    m_image.draw(context, destination);
}
