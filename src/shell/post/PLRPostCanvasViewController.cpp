#include "shell/post/PLRPostCanvasViewController.h"

#include "canvas/interaction/PLRLayoutViewController.h"

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
    // (The support chat stays on the home screen: nothing lies over the post's canvas.)
    return root;
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
