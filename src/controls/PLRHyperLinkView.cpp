#include "controls/PLRHyperLinkView.h"

#include "platform/Workspace.h"
#include "platform-ui/Cursor.h"
#include "platform-ui/Fonts.h"

#include <QUrl>

using namespace platform::ui;

// ---------------------------------------------------------------- link text field

PLRHyperLinkTextField::PLRHyperLinkTextField(QWidget* parent) : TextView(parent) {}

void PLRHyperLinkTextField::updateTrackingAreas()
{
    TextView::updateTrackingAreas();
    if (m_tracking)
        return;
    m_tracking = true;
    addTrackingArea(bounds(), TrackingMouseMoved | TrackingActiveAlways | TrackingInVisibleRect);
}

QUrl PLRHyperLinkTextField::linkAt(const QPointF& point) const
{
    const int index = characterIndexForPoint(point);
    if (index < 0 || index >= textStorage().length())
        return {};
    return textStorage().attribute(QString::fromLatin1(PLRHyperLinkAttributeName), index).toUrl();
}

void PLRHyperLinkTextField::mouseMoved(const MouseEvent& event)
{
    const QPointF point = event.locationIn(this);
    if (characterIndexForPoint(point) >= 0) {
        if (linkAt(point).isValid())
            Cursor::pointingHandCursor().set();
        else
            Cursor::arrowCursor().set();
    }
    TextView::mouseMoved(event);
}

void PLRHyperLinkTextField::mouseDown(const MouseEvent& event)
{
    const QUrl url = linkAt(event.locationIn(this));
    if (url.isValid() && !url.isEmpty())
        platform::Workspace::shared().openURL(url);
    TextView::mouseDown(event);
}

// ---------------------------------------------------------------- hyperlink view

PLRHyperLinkView::PLRHyperLinkView(QWidget* parent) : View(parent) {}

void PLRHyperLinkView::renderHyperLink()
{
    const int location = m_linkTitle.isEmpty() ? -1 : int(m_stringValue.indexOf(m_linkTitle));
    if (!m_linkField) {
        m_linkField = new PLRHyperLinkTextField(this);
        m_linkField->setFrame(QRectF(0, 0, width(), height()));
        m_linkField->setDrawsBackground(false);
        m_linkField->setAlignment(m_alignment);
        m_linkField->setEditable(false);
        m_linkField->setSelectable(false);
    }
    if (location < 0)
        return;
    AttributedString text(m_stringValue);
    text.addAttribute(QString::fromLatin1(PLRHyperLinkAttributeName), QUrl(m_linkURL), {location, int(m_linkTitle.size())});
    text.addAttribute(kFontAttributeName, systemFont(m_fontSize.value_or(13.0)), text.wholeRange());
    // A link view without a title colour draws in the default text colour.
    text.addAttribute(kForegroundColorAttributeName, QVariant::fromValue(m_titleColor.value_or(Color::black())), text.wholeRange());
    if (m_underline)
        text.addAttribute(kUnderlineStyleAttributeName, 1, text.wholeRange());
    if (m_spacing)
        text.addAttribute(kKernAttributeName, *m_spacing, text.wholeRange());
    // Only real changes touch the field: its repaint would otherwise repaint this view again.
    if (m_linkField->alignment() != m_alignment)
        m_linkField->setAlignment(m_alignment);
    if (!(m_linkField->textStorage() == text))
        m_linkField->setTextStorage(text);
    if (m_linkField->isHidden())
        m_linkField->show();
}

void PLRHyperLinkView::drawRect(GraphicsContext&, const QRectF&) { renderHyperLink(); }

// ---------------------------------------------------------------- link view

PLRLinkView::PLRLinkView(QWidget* parent) : View(parent) {}

void PLRLinkView::updateTrackingAreas()
{
    View::updateTrackingAreas();
    if (m_tracking)
        return;
    m_tracking = true;
    addTrackingArea(bounds(), TrackingMouseEnteredAndExited | TrackingMouseMoved | TrackingActiveAlways);
}

void PLRLinkView::mouseEntered(const MouseEvent&) { m_in = true; update(); }
void PLRLinkView::mouseExited(const MouseEvent&) { m_in = false; update(); }
void PLRLinkView::mouseDown(const MouseEvent&) {}

void PLRLinkView::mouseUp(const MouseEvent&)
{
    const QUrl url(m_link);
    if (url.isValid() && !url.isEmpty())
        platform::Workspace::shared().openURL(url);
}

void PLRLinkView::drawRect(GraphicsContext& context, const QRectF&)
{
    if (m_in)
        context.fillRect(bounds(), Color::white(0.8));
}
