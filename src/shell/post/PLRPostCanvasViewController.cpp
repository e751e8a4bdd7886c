#include "shell/post/PLRPostCanvasViewController.h"

#include "canvas/interaction/PLRLayoutViewController.h"
#include "shell/home/PLRSupportChatHook.h"

#include <QEvent>
#include <QVBoxLayout>

using namespace platform::ui;

PLRPostCanvasViewController::PLRPostCanvasViewController(QObject* parent)
    : PLRGenericPostViewController(parent), m_canvas(std::make_unique<PLRLayoutViewController>())
{
}

// The canvas takes its widget with it, before the pane's view goes.
PLRPostCanvasViewController::~PLRPostCanvasViewController() = default;

View* PLRPostCanvasViewController::loadView()
{
    auto* root = new View;
    root->setIdentifier(QStringLiteral("PLRLayoutViewController"));
    auto* column = new QVBoxLayout(root);
    // The canvas ends above the band of the support chat's button (the band in the canvas's
    // desk colour): no block, at any zoom or scroll, lies under the button.
    column->setContentsMargins(0, 0, 0, kPLRSupportChatBand);
    if (QWidget* canvas = m_canvas->widget()) {
        canvas->setParent(root);
        column->addWidget(canvas);
        QPalette palette = root->palette();
        palette.setColor(QPalette::Window, canvas->palette().color(QPalette::Window));
        root->setPalette(palette);
        root->setAutoFillBackground(true);
    }
    // The support chat sits in the canvas's bottom trailing corner whenever the post is shown.
    root->installEventFilter(this);
    return root;
}

bool PLRPostCanvasViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (isView(watched) && event->type() == QEvent::Show && !event->spontaneous())
        PLRSupportChatHook::attach(static_cast<QWidget*>(watched));
    return PLRGenericPostViewController::eventFilter(watched, event);
}

void PLRPostCanvasViewController::setPostManager(PLRPostManager* manager)
{
    PLRGenericPostViewController::setPostManager(manager);
    view();
    m_canvas->setPostManager(manager);
}

void PLRPostCanvasViewController::ensureEntrancePostion()
{
    m_canvas->ensureEntrancePostion();
}

void PLRPostCanvasViewController::performEntrance()
{
    m_canvas->performEntrance();
}

void PLRPostCanvasViewController::setZoom(qint64 percent)
{
    m_canvas->setZoom(percent);
}
