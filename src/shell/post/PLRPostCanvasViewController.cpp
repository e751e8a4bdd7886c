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
    column->setContentsMargins(0, 0, 0, 0);
    if (QWidget* canvas = m_canvas->widget()) {
        canvas->setParent(root);
        column->addWidget(canvas);
    }
    root->installEventFilter(this);
    return root;
}

bool PLRPostCanvasViewController::eventFilter(QObject* watched, QEvent* event)
{
    // The one support chat moves into the canvas's bottom trailing corner whenever the canvas is
    // shown (and back to the home screen when that is shown again).
    if (isView(watched) && event->type() == QEvent::Show)
        PLRSupportChatHook::attach(view());
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
