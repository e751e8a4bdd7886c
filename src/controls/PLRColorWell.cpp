#include "controls/PLRColorWell.h"
#include "platform/Resets.h"

#include <QColorDialog>
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

void PLRImagePreviewImageView::drawRect(GraphicsContext& context, const QRectF& dirtyRect)
{
    const QRectF r = bounds();
    context.fillRect(QRectF(r.x(), r.y(), r.width() - 2.0, r.height()), namedColor(QStringLiteral("plrPreviewImageBgColor")));
    ImageView::drawRect(context, dirtyRect);
}
