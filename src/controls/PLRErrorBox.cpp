#include "controls/PLRErrorBox.h"

#include "controls/ColorWithHex.h"
#include "platform-ui/Cursor.h"
#include "platform-ui/Window.h"

using namespace platform::ui;

PLRErrorBox::PLRErrorBox(QWidget* parent) : Box(parent) {}

void PLRErrorBox::awakeFromNib()
{
    m_defaultBorderColour = borderColor();
    if (m_errorLabel) {
        m_errorLabel->setTextColor(ColorWithHex::smb_errorRed());
        m_errorLabel->setHidden(true);
    }
}

void PLRErrorBox::setErrorState(bool error)
{
    m_showingError = error;
    if (error) {
        setBorderColor(ColorWithHex::smb_errorRed());
        if (m_errorLabel)
            m_errorLabel->setHidden(false);
    } else {
        setBorderColor(m_defaultBorderColour);
        if (m_errorLabel)
            m_errorLabel->setHidden(true);
    }
}

void PLRErrorBox::updateTrackingAreas()
{
    Box::updateTrackingAreas();
    if (m_tracking)
        return;
    m_tracking = true;
    QRectF rect = bounds();
    if (identifier() == QLatin1String("password"))
        rect.setWidth(std::max(0.0, rect.width() - 50.0)); // the rightmost 50 points hold the field's own button
    addTrackingArea(rect, TrackingMouseEnteredAndExited | TrackingActiveAlways);
}

void PLRErrorBox::mouseEntered(const MouseEvent& event)
{
    Box::mouseEntered(event);
    Cursor::IBeamCursor().set();
}

void PLRErrorBox::mouseExited(const MouseEvent& event)
{
    Box::mouseExited(event);
    Cursor::arrowCursor().set();
}

void PLRErrorBox::mouseDown(const MouseEvent&)
{
    QWidget* field = m_associatedField;
    if (field && field->isHidden())
        field = m_associatedFieldSecondary;
    if (!field)
        return;
    if (auto* window = qobject_cast<Window*>(this->window()))
        window->makeFirstResponder(field);
    else
        field->setFocus(Qt::MouseFocusReason);
}
