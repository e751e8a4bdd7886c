#include "controls/PLRHyperLinkView.h"

#include "platform/Workspace.h"
#include "platform-ui/Cursor.h"
#include "platform-ui/Fonts.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QUrl>

#include <algorithm>

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

void PLRHyperLinkView::setLinkURL(const QString& url)
{
    m_linkURL = url;
    setFocusPolicy(url.isEmpty() ? Qt::NoFocus : Qt::StrongFocus);
    update();
}

void PLRHyperLinkView::openLink()
{
    const QUrl url(m_linkURL);
    if (url.isValid() && !url.isEmpty())
        platform::Workspace::shared().openURL(url);
}

void PLRHyperLinkView::keyPressEvent(QKeyEvent* event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && !event->isAutoRepeat()
        && (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        event->accept();
        openLink();
        return;
    }
    View::keyPressEvent(event);
}

QRectF PLRHyperLinkView::focusRingMaskBounds() const
{
    // Around the link's words, where the text draws them.
    const QFontMetricsF metrics(systemFont(m_fontSize.value_or(13.0)));
    const int location = m_linkTitle.isEmpty() ? -1 : int(m_stringValue.indexOf(m_linkTitle));
    if (location < 0)
        return bounds();
    const double padding = TextView::kLineFragmentPadding;
    const double whole = metrics.horizontalAdvance(m_stringValue);
    const double room = std::max(0.0, width() - 2.0 * padding);
    double start = padding;
    if (m_alignment == TextAlignment::Center)
        start += std::max(0.0, (room - whole) / 2.0);
    else if (m_alignment == TextAlignment::Right)
        start += std::max(0.0, room - whole);
    const double before = metrics.horizontalAdvance(m_stringValue.left(location));
    const double link = metrics.horizontalAdvance(m_linkTitle);
    return QRectF(start + before - 2.0, 1.0, link + 4.0, std::max(0.0, height() - 2.0));
}

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
