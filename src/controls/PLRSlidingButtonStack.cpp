#include "controls/PLRSlidingButtonStack.h"

#include "platform/Log.h"
#include "platform-ui/Fonts.h"

#include <QKeyEvent>

#include <cmath>

using namespace platform::ui;

PLRSlidingButtonCell::PLRSlidingButtonCell(QWidget* parent)
    : View(parent), m_backgroundView(new View(this)), m_imageView(new ImageView(this)), m_label(new TextField(this))
{
    m_label->setTextColor(namedColor(QStringLiteral("plrTextColor")));
    m_label->setAlignment(TextAlignment::Center);
    m_imageView->setImageScaling(ImageScaling::ProportionallyDown);
    // Reached by Tab; a click chooses without taking the keyboard from where it is.
    setFocusPolicy(Qt::TabFocus);
    ensureState();
}

void PLRSlidingButtonCell::keyPressEvent(QKeyEvent* event)
{
    if (Control::isActivationKey(event)) {
        event->accept();
        if (m_containingStack)
            m_containingStack->selectCell(this);
        return;
    }
    View::keyPressEvent(event);
}

void PLRSlidingButtonCell::setSelected(bool selected)
{
    m_selected = selected;
    ensureState();
    update();
}

void PLRSlidingButtonCell::ensureState()
{
    AttributedString text = m_label->attributedStringValue();
    text.addAttribute(kFontAttributeName, systemFont(12, m_selected ? FontWeight::Medium : FontWeight::Regular), text.wholeRange());
    m_label->setAttributedStringValue(text);
    m_label->setFont(systemFont(12, m_selected ? FontWeight::Medium : FontWeight::Regular));
    // Hover look: a faint background while the pointer is over an unselected cell.
    m_backgroundView->setWantsLayer(true);
    m_backgroundView->layer()->setBackgroundColor(m_hovering && !m_selected ? std::optional<Color>(Color::black(0.04)) : std::nullopt);
}

void PLRSlidingButtonCell::layoutSubviews()
{
    const QRectF b = bounds();
    m_backgroundView->setFrame(b);
    const bool hasImage = !m_imageView->image().isNull();
    const double labelHeight = 17.0;
    if (hasImage) {
        m_imageView->setHidden(false);
        m_imageView->setFrame(QRectF(0, labelHeight + 6, b.width(), std::max(0.0, b.height() - labelHeight - 10)));
        m_label->setFrame(QRectF(0, 4, b.width(), labelHeight));
    } else {
        m_imageView->setHidden(true);
        m_label->setFrame(QRectF(0, (b.height() - labelHeight) / 2.0 + 1.0, b.width(), labelHeight));
    }
}

void PLRSlidingButtonCell::updateTrackingAreas()
{
    View::updateTrackingAreas();
    if (m_tracking)
        return;
    m_tracking = true;
    addTrackingArea(bounds(), TrackingMouseEnteredAndExited | TrackingActiveAlways);
}

void PLRSlidingButtonCell::mouseEntered(const MouseEvent&) { m_hovering = true; ensureState(); }
void PLRSlidingButtonCell::mouseExited(const MouseEvent&) { m_hovering = false; ensureState(); }
void PLRSlidingButtonCell::mouseDown(const MouseEvent&) {}

void PLRSlidingButtonCell::mouseUp(const MouseEvent&)
{
    if (m_containingStack)
        m_containingStack->selectCell(this);
}

void PLRSlidingButtonCell::drawRect(GraphicsContext& context, const QRectF& dirtyRect)
{
    if (!m_selected)
        return;
    QPainterPath line;
    line.moveTo(0, 2);
    line.lineTo(dirtyRect.width(), 2);
    context.strokePath(line, namedColor(QStringLiteral("plrTextColor")), 2.0);
}

PLRSlidingButtonStack::PLRSlidingButtonStack(QWidget* parent) : StackView(parent)
{
    setSpacing(0);
    const double room = ringRoom();
    setEdgeInsets(QMarginsF(room, room, room, room));
}

double PLRSlidingButtonStack::ringRoom()
{
    return std::ceil(View::kFocusRingWidth) + 1.0;
}

PLRSlidingButtonCell* PLRSlidingButtonStack::addCell(const QString& title, const QImage& image)
{
    auto* cell = new PLRSlidingButtonCell(this);
    cell->setContainingStack(this);
    cell->label()->setStringValue(title);
    if (!image.isNull())
        cell->imageView()->setImage(image);
    cell->ensureState();
    addArrangedSubview(cell);
    return cell;
}

PLRSlidingButtonCell* PLRSlidingButtonStack::cellAt(qint64 index) const
{
    if (index < 0 || index >= arrangedSubviews().size())
        return nullptr;
    return qobject_cast<PLRSlidingButtonCell*>(arrangedSubviewAt(int(index)));
}

void PLRSlidingButtonStack::setSelectedIndex(qint64 index)
{
    PLRSlidingButtonCell* cell = cellAt(index);
    if (!cell) {
        PLR_LOG_WARN(QStringLiteral("Sliding button stack has no cell at index %1").arg(index));
        return;
    }
    if (PLRSlidingButtonCell* old = cellAt(m_selectedIndex))
        old->setSelected(false);
    m_selectedIndex = index;
    cell->setSelected(true);
    cell->ensureState();
    if (m_delegate)
        m_delegate->buttonStack(this, index);
}

void PLRSlidingButtonStack::selectCell(PLRSlidingButtonCell* cell)
{
    const int index = indexOfArrangedSubview(cell);
    if (index >= 0)
        setSelectedIndex(index);
}
