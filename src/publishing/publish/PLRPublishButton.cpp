#include "publishing/publish/PLRPublishButton.h"

#include "controls/ColorWithHex.h"
#include "controls/PLRSmallViews.h"
#include "platform-ui/GraphicsContext.h"
#include "platform-ui/Layer.h"
#include "publishing/publish/PLRPublishPanelSupport.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>

using namespace platform::ui;
using namespace PLRPublishPanelSupport;

PLRPublishButton::PLRPublishButton(QWidget* parent) : View(parent)
{
    setWantsLayer(true);
    layer()->setCornerRadius(6.0);
    layer()->setMasksToBounds(true);
    layer()->setBorderWidth(1.0);
    layer()->setBorderColor(Color(0, 0, 0, 0.2));
    // One row high, its title and icon centred both ways.
    setFixedHeight(int(kHeight));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 0, 10, 0);
    m_icon = new View(this);
    m_icon->setFixedSize(16, 16);
    m_icon->setHidden(true);
    m_label = makeLabel(QStringLiteral("Publish"), this, 13);
    m_label->setAlignment(TextAlignment::Center);
    row->addStretch(1);
    row->addWidget(m_icon, 0, Qt::AlignVCenter);
    row->addWidget(m_label, 0, Qt::AlignVCenter);
    row->addStretch(1);
    setFocusPolicy(Qt::TabFocus);
}

void PLRPublishButton::drawFocusRingMask(GraphicsContext& context)
{
    context.fillPath(roundedRectPath(focusRingMaskBounds(), 6.0, 6.0), Color::black());
}

void PLRPublishButton::keyPressEvent(QKeyEvent* event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && !event->isAutoRepeat()
        && (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        event->accept();
        if (isEnabled() && m_delegate)
            m_delegate->buttonWasClicked(this);
        return;
    }
    View::keyPressEvent(event);
}

void PLRPublishButton::drawRect(GraphicsContext& context, const QRectF&)
{
    Color top = ColorWithHex::colorWithHexColorString(QStringLiteral("FEFEFE"));
    Color bottom = ColorWithHex::colorWithHexColorString(QStringLiteral("F1F1F1"));
    if (m_mouseDown) {
        top = ColorWithHex::darkerColor(top);
        bottom = ColorWithHex::darkerColor(bottom);
    }
    QPainter* painter = context.painter();
    if (!painter) {
        context.fillRect(bounds(), bottom);
        return;
    }
    // 270 degrees: from the top edge down.
    const QRectF rect = bounds();
    const double topY = context.isFlipped() ? rect.top() : rect.bottom();
    const double bottomY = context.isFlipped() ? rect.bottom() : rect.top();
    QLinearGradient gradient(QPointF(rect.left(), topY), QPointF(rect.left(), bottomY));
    gradient.setColorAt(0, top.toQColor());
    gradient.setColorAt(1, bottom.toQColor());
    painter->fillRect(rect, gradient);
}

void PLRPublishButton::mouseDown(const MouseEvent& event)
{
    View::mouseDown(event);
    m_mouseDown = true;
    update();
}

void PLRPublishButton::mouseCancelled()
{
    m_mouseDown = false;
    update();
}

void PLRPublishButton::mouseUp(const MouseEvent&)
{
    m_mouseDown = false;
    update();
    if (m_delegate)
        m_delegate->buttonWasClicked(this);
}
