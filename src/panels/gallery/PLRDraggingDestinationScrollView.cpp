#include "panels/gallery/PLRDraggingDestinationScrollView.h"

#include "platform/Alert.h"
#include "platform/Dispatch.h"
#include "platform/Workspace.h"
#include "platform-ui/View.h"
#include "store/session/PLRDefaults.h"

#include <QDragEnterEvent>
#include <QMimeData>

using namespace platform::ui;

PLRDraggingDestinationScrollView::PLRDraggingDestinationScrollView(QWidget* parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    // Tab goes to the photos themselves, not to the area around them (which shows nothing of
    // having the keyboard).
    setFocusPolicy(Qt::NoFocus);
}

bool PLRDraggingDestinationScrollView::focusNextPrevChild(bool next)
{
    // The photos are one view taller than the scroll view, which scrolls to the photo that takes
    // the keyboard itself: the scroll area's own bringing into view of the focused child would
    // scroll to the middle of them whenever Tab leaves the gallery.
    return QWidget::focusNextPrevChild(next);
}

double PLRDraggingDestinationScrollView::contentAlpha() const
{
    if (auto* view = qobject_cast<View*>(widget()))
        return view->alphaValue();
    return 1.0;
}

void PLRDraggingDestinationScrollView::setContentAlpha(double alpha)
{
    if (auto* view = qobject_cast<View*>(widget()))
        view->setAlphaValue(alpha);
}

void PLRDraggingDestinationScrollView::dragEnterEvent(QDragEnterEvent* event)
{
    // Files and addresses only; the gallery's own photos are no drop here.
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    setContentAlpha(0.5);
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void PLRDraggingDestinationScrollView::dragMoveEvent(QDragMoveEvent* event)
{
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void PLRDraggingDestinationScrollView::dragLeaveEvent(QDragLeaveEvent* event)
{
    setContentAlpha(1.0);
    event->accept();
}

void PLRDraggingDestinationScrollView::dropEvent(QDropEvent* event)
{
    setContentAlpha(1.0);
    QPointer<PLRDraggingDestinationScrollView> self(this);
    platform::dispatchMain([self] { showRefusalAlert(self ? self->window() : nullptr); });
    event->setDropAction(Qt::IgnoreAction);
    event->ignore();
}

void PLRDraggingDestinationScrollView::showRefusalAlert(QWidget* parent)
{
    platform::Alert alert;
    alert.messageText = QStringLiteral("Action not available");
    alert.informativeText = QStringLiteral(
        "If you would like to add images to a blog's gallery, you should add them to the respective source folder. To "
        "learn more about how to use source folders follow the link");
    alert.buttons = {QStringLiteral("Ok"), QStringLiteral("Learn More")};
    alert.escapeButton = 0;
    const platform::AlertResult result = platform::runAlert(alert, parent);
    if (result.response == platform::kAlertSecondButtonReturn)
        platform::Workspace::shared().openURL(PLRDefaults::supportURLForPath(QStringLiteral("/using-pellora/general/using-source-folders")));
}
