#include "platform-ui/PLRViewController.h"

using namespace platform::ui;

PLRViewController::PLRViewController(QObject* parent) : QObject(parent) {}

PLRViewController::~PLRViewController()
{
    delete m_view.data();
}

View* PLRViewController::view()
{
    if (!m_view && !m_loading) {
        m_loading = true;
        m_view = loadView();
        m_viewObject = static_cast<QObject*>(m_view.data());
        m_loading = false;
        if (m_view)
            viewDidLoad();
    }
    return m_view;
}

View* PLRViewController::loadView()
{
    return new View;
}

void PLRViewController::removeFromSuperview(QWidget* view)
{
    if (!view)
        return;
    view->hide();
    view->setParent(nullptr);
}
