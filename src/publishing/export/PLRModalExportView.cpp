#include "publishing/export/PLRModalExportView.h"

#include "publishing/export/PLRExportModalViewController.h"
#include "shell/modal/PLRModalViewController.h"
#include "platform-ui/Images.h"

#include <QVBoxLayout>

PLRModalExportPanelViewController::PLRModalExportPanelViewController(QObject* parent) : PLRModalPanelViewController(parent) {}

PLRModalExportPanelViewController::~PLRModalExportPanelViewController() = default;

platform::ui::View* PLRModalExportPanelViewController::loadView()
{
    auto* root = new platform::ui::View;
    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(0, 0, 0, 0);
    // The dialog binds itself to the post the main window shows when its view loads.
    m_dialog = std::make_unique<PLRExportModalViewController>();
    column->addWidget(m_dialog->view());
    return root;
}

void PLRModalExportPanelViewController::viewWillBecomeActive(PLRModalViewController*)
{
    view();
    m_dialog->viewWillAppear();
}

void PLRModalExportPanelViewController::primaryActionWasSelected(PLRModalViewController* modal)
{
    if (modal)
        modal->dismissModalWithSuccess(true);
}

void PLRModalExportView::registerPage()
{
    PLRModalView::registerPage(QString::fromLatin1(kPageName), [] { return std::make_unique<PLRModalExportView>(); });
}

QImage PLRModalExportView::image() const
{
    return platform::ui::namedImage(QStringLiteral("modal_image_5"));
}

std::unique_ptr<PLRModalPanelViewController> PLRModalExportView::makeViewController()
{
    return std::make_unique<PLRModalExportPanelViewController>();
}
