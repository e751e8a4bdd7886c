#include "chat/PLRIntercomChatManager.h"

#include "chat/PLRIntercomChatView.h"
#include "platform/Resets.h"
#include "platform-ui/TabChain.h"
#include "shell/home/PLRSupportChatHook.h"
#include "services/web-services/PLRWebServiceHost.h"
#include "services/web-services/PLRWebServiceManager.h"

#include <QCoreApplication>
#include <QPointer>

namespace {

QPointer<PLRIntercomChatView>& sharedView()
{
    static QPointer<PLRIntercomChatView> view;
    static const bool joined = platform::resets::add([] { PLRIntercomChatManager::reset(); });
    (void)joined;
    // The chat's page goes with the event loop, before the web engine lets go of the profile the
    // page was made in (a page outliving its profile leaves the engine in an undefined state).
    // Without a host, nothing else would take the chat apart at all.
    static const bool goesAtQuit = QCoreApplication::instance()
                                   && QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                                                       QCoreApplication::instance(), [] { PLRIntercomChatManager::reset(); });
    (void)goesAtQuit;
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
        // Each time the connection to the service is whole again, a page that could not be loaded
        // (the service down at launch) is loaded again, so that support's messages reach the user.
        PLRWebServiceManager::globalManager().addStateChangeNotificationHandler(view, [](const platform::Notification&) {
            const PLRFiniteStatePtr state = PLRWebServiceManager::globalManager().currentState();
            if (state && state->name() == QLatin1String(PLRWSM_STATE_STABLE))
                if (PLRIntercomChatView* shared = sharedView())
                    shared->serviceReachable();
        });
        sharedView() = view;
    }
    return sharedView();
}

void PLRIntercomChatManager::attachIntercomMessengerToView(QWidget* host)
{
    if (!host)
        return;
    PLRIntercomChatView* view = intercomChatView();
    // From one host straight into the other, its page as it was (the web view draws in a window
    // of its own: the host's window stays the one it was).
    if (view->parentWidget() != host)
        view->setParent(host);
    view->setupMessengerView();
    view->setupHeightConstraints();
    view->placeInHost();
    view->show();
    view->raise();
    // The chat is the last stop of Tab in the window, whichever screen it floats over.
    platform::ui::keepLastInTabChain(view);
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
