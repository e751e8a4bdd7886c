#include "chat/PLRIntercomChatManager.h"

#include "chat/PLRIntercomChatView.h"
#include "platform/Resets.h"
#include "shell/home/PLRSupportChatHook.h"
#include "services/web-services/PLRWebServiceHost.h"

#include <QPointer>

namespace {

QPointer<PLRIntercomChatView>& sharedView()
{
    static QPointer<PLRIntercomChatView> view;
    static const bool joined = platform::resets::add([] { PLRIntercomChatManager::reset(); });
    (void)joined;
    return view;
}

} // namespace

PLRIntercomChatView* PLRIntercomChatManager::intercomChatView()
{
    if (!sharedView()) {
        auto* view = new PLRIntercomChatView;
        // Away from production the chat page comes from the service the application talks to.
        PLRWebServiceHost& host = PLRWebServiceHost::currentHost();
        if (host.effectiveHostType() != QLatin1String(PLRWebServiceHost_PROD)) {
            QUrl page = host.serviceURL();
            page.setPath(QStringLiteral("/support/intercom.html"));
            view->resetWithIntercomFile(page);
        }
        sharedView() = view;
    }
    return sharedView();
}

void PLRIntercomChatManager::attachIntercomMessengerToView(QWidget* host)
{
    if (!host)
        return;
    PLRIntercomChatView* view = intercomChatView();
    if (view->parentWidget() && view->parentWidget() != host)
        view->setParent(nullptr);
    else if (!view->parentWidget())
        view->resetWithIntercomFile(view->intercomFile());
    if (view->parentWidget() != host)
        view->setParent(host);
    view->setupMessengerView();
    view->setupHeightConstraints();
    view->placeInHost();
    view->show();
    view->raise();
}

void PLRIntercomChatManager::detachIntercomMessenger()
{
    if (PLRIntercomChatView* view = sharedView())
        view->setParent(nullptr);
}

QString PLRIntercomChatManager::currentUserInfo()
{
    return PLRIntercomChatView::currentUserInfo();
}

void PLRIntercomChatManager::install()
{
    PLRSupportChatHook::setAttach([](QWidget* host) { attachIntercomMessengerToView(host); });
}

void PLRIntercomChatManager::loadPage()
{
    intercomChatView()->setupMessengerView();
}

void PLRIntercomChatManager::reset()
{
    delete sharedView().data();
    sharedView() = nullptr;
}
