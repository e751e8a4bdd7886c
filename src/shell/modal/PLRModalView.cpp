#include "shell/modal/PLRModalView.h"
#include "shell/modal/PLRModalViewController.h"

#include "platform/Resets.h"

#include <QHash>

namespace {

QHash<QString, PLRModalView::Factory>& registry()
{
    static QHash<QString, PLRModalView::Factory> pages;
    static const bool joined = platform::resets::add([] { pages.clear(); });
    Q_UNUSED(joined);
    return pages;
}

} // namespace

PLRModalView::~PLRModalView() = default;

PLRModalPanelViewController* PLRModalView::viewController()
{
    if (!m_made) {
        m_made = true;
        m_viewController = makeViewController();
    }
    return m_viewController.get();
}

void PLRModalView::registerPage(const QString& className, Factory factory)
{
    registry().insert(className, std::move(factory));
}

bool PLRModalView::hasPage(const QString& className)
{
    return registry().contains(className);
}

std::unique_ptr<PLRModalView> PLRModalView::make(const QString& className)
{
    const auto it = registry().constFind(className);
    if (it == registry().constEnd() || !*it)
        return nullptr;
    return (*it)();
}

PLRModalPanelViewController::PLRModalPanelViewController(QObject* parent) : PLRViewController(parent) {}

PLRModalViewController* PLRModalPanelViewController::modalViewController() const
{
    return m_modalViewController;
}

void PLRModalPanelViewController::setModalViewController(PLRModalViewController* controller)
{
    m_modalViewController = controller;
}
