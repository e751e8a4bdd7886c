#include "controls/PLRTextFieldCell.h"

#include <QLineEdit>

using namespace platform::ui;

PLRTextFieldCell::PLRTextFieldCell(QWidget* parent) : TextField(parent)
{
    m_borderColor = namedColor(QStringLiteral("plrControlBorderColor"));
    setDrawsBackground(true);
}

QRectF PLRTextFieldCell::drawingRectForBounds(const QRectF& bounds)
{
    return QRectF(bounds.x() + 3.0, bounds.y(), bounds.width() - 5.0, bounds.height());
}

QRectF PLRTextFieldCell::centeredTextRect(const QRectF& titleRect, double naturalHeight)
{
    return QRectF(titleRect.x(), titleRect.y() + (titleRect.height() - naturalHeight) * 0.5 - 1.0, titleRect.width(),
                  naturalHeight + 1.0);
}

QRectF PLRTextFieldCell::centeredTextRectForBounds(const QRectF& frame) const
{
    const QRectF title = drawingRectForBounds(frame);
    const double natural = std::min<double>(sizeHint().height(), frame.height());
    return centeredTextRect(title, natural);
}

void PLRTextFieldCell::resizeEvent(QResizeEvent* event)
{
    TextField::resizeEvent(event);
    placeEditor();
}

void PLRTextFieldCell::placeEditor()
{
    if (QLineEdit* line = editor()) {
        // Qt's coordinates are y-down, as the rectangle is.
        const QRectF r = centeredTextRectForBounds(QRectF(rect()));
        line->setGeometry(r.toAlignedRect());
    }
}

void PLRTextFieldCell::drawRect(GraphicsContext& context, const QRectF& dirtyRect)
{
    const QRectF b = bounds();
    if (drawsBackground())
        context.fillRect(b, backgroundColor());
    if (!isEditable()) {
        // The text in the centred rectangle (converted to the view's y-up space).
        const QRectF centred = centeredTextRectForBounds(QRectF(rect()));
        context.drawAttributedString(displayedString(), fromQt(centred));
    }
    Q_UNUSED(dirtyRect);
    QPainterPath outline;
    outline.addRect(b);
    context.strokePath(outline, m_borderColor, 2.0);
}
