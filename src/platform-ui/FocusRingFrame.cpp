#include "platform-ui/FocusRingFrame.h"

#include "platform-ui/View.h"

#include <QEvent>
#include <QPainter>

namespace platform::ui {

FocusRingFrame::FocusRingFrame(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
    if (parent)
        parent->installEventFilter(this);
}

void FocusRingFrame::setShown(bool shown)
{
    if (shown && parentWidget()) {
        setGeometry(parentWidget()->rect());
        raise();
    }
    if (shown != isVisible())
        setVisible(shown);
}

bool FocusRingFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize && isVisible())
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void FocusRingFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = View::kFocusRingWidth;
    painter.setPen(QPen(View::focusRingColor().toQColor(), w));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(w / 2, w / 2, -w / 2, -w / 2));
}

} // namespace platform::ui
