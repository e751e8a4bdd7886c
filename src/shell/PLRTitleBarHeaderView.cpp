#include "shell/PLRTitleBarHeaderView.h"

#include "platform-ui/GraphicsContext.h"
#include "platform-ui/Window.h"

#include <QEvent>

using namespace platform::ui;

PLRTitleBarHeaderView::PLRTitleBarHeaderView(QWidget* parent) : View(parent)
{
    // The header fills the title bar and follows its size.
    if (parent)
        parent->installEventFilter(this);
}

bool PLRTitleBarHeaderView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return View::eventFilter(watched, event);
}

void PLRTitleBarHeaderView::drawRect(GraphicsContext& context, const QRectF&)
{
    if (!m_transparent)
        return;
    auto* window = qobject_cast<Window*>(this->window());
    context.fillRect(bounds(), window ? window->backgroundColor() : Color::white());
    context.fillRect(QRectF(0, 0, width(), 1), Color(0.88, 0.88, 0.88));
}
