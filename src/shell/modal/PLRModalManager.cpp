#include "shell/modal/PLRModalManager.h"

#include "controls/PLRModalOverlayWindow.h"
#include "platform/Log.h"
#include "platform/Resets.h"
#include "platform/Storyboard.h"
#include "platform-ui/Window.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRUserSession.h"
#include "shell/modal/PLRModalViewController.h"
#include "services/web-services/PLRWebServiceUserManager.h"

#include <QPointer>

using namespace platform::ui;

namespace {

struct ModalState {
    bool busy = false;
    PLRModalManager::Completion completion;
    // The running dialog's window controller; its content controller is its child.
    std::unique_ptr<WindowController> windowController;
    QPointer<PLRModalViewController> content;
};

ModalState& state()
{
    static ModalState s;
    static const bool joined = platform::resets::add([] {
        s.completion = nullptr;
        s.windowController.reset();
        s.content = nullptr;
        s.busy = false;
    });
    Q_UNUSED(joined);
    return s;
}

} // namespace

bool PLRModalManager::isBusy()
{
    return state().busy;
}

PLRModalViewController* PLRModalManager::currentModalViewController()
{
    return state().busy ? state().content.data() : nullptr;
}

void PLRModalManager::presentModalWindowWithViews(const QStringList& views, const QVariantMap& data,
                                                  bool presentCloseButton, qint64 homeViewIndex, Completion completion)
{
    ModalState& s = state();
    if (s.busy) {
        // One dialog at a time; the caller is told at once rather than left waiting.
        PLR_LOG_WARN(QStringLiteral("A dialog is already shown; the request for %1 ends at once").arg(views.join(QLatin1Char(','))));
        if (completion)
            completion(kModalResponseStop);
        return;
    }
    std::vector<std::unique_ptr<PLRModalView>> descriptors;
    for (const QString& name : views) {
        std::unique_ptr<PLRModalView> descriptor = PLRModalView::make(name);
        if (!descriptor) {
            PLR_LOG_ERROR(QStringLiteral("The dialog page %1 is unknown; the dialog is not shown").arg(name));
            if (completion)
                completion(kModalResponseStop);
            return;
        }
        descriptors.push_back(std::move(descriptor));
    }

    // The previous dialog goes now: its window first, then (as its child) its content.
    s.windowController.reset();
    s.completion = std::move(completion);
    std::unique_ptr<WindowController> windowController(qobject_cast<WindowController*>(platform::Storyboard::instantiate(
        QLatin1String(kPLRModalWindowStoryboard), QLatin1String(kPLRModalWindowControllerIdentifier))));
    if (!windowController) {
        PLR_LOG_ERROR(QStringLiteral("The dialog window cannot be made"));
        Completion done = std::move(s.completion);
        if (done)
            done(kModalResponseStop);
        return;
    }
    auto* content = new PLRModalViewController(windowController.get());
    content->setRepresentedData(data);
    content->setViews(std::move(descriptors));
    content->setHomeViewIndex(homeViewIndex);
    content->setShowCloseButton(presentCloseButton);
    Window* window = windowController->window();
    View* root = content->view();
    window->setFrame(Window::frameRectForContentRect(QRectF(QPointF(), root->size()), window->styleMask()), false);
    window->setContentView(root);
    content->viewWillAppear();
    window->center();
    s.content = content;
    s.windowController = std::move(windowController);

    s.busy = true;
    const qint64 response = Application::runModal(window);
    // The session ended with the code it was stopped with; nothing else is stopped here, so a
    // dialog run from inside another modal session leaves that session alone.
    if (s.windowController && s.windowController->isWindowLoaded() && s.windowController->window()->isVisible())
        s.windowController->window()->close();
    Completion done = std::move(s.completion);
    s.completion = nullptr;
    if (done)
        done(response);
    s.busy = false;
    // The window and its pages go once the event loop is back (the completion may still have
    // looked at them); never at process exit, after the application object.
    if (s.windowController && !s.busy)
        s.windowController.release()->deleteLater();
}

QStringList PLRModalManager::publisherWorkflowViews()
{
    return {QStringLiteral("PLRModalPublishTypeView"), QStringLiteral("PLRModalPublishPluginTypeView"),
            QStringLiteral("PLRModalPublishSecretView"), QStringLiteral("PLRModalPublishDefaultsView")};
}

void PLRModalManager::presentPublisherWorkflow(bool present, Completion completion)
{
    if (!present) {
        if (completion)
            completion(kModalResponseContinue);
        return;
    }
    bool publisherExists = false;
    if (PLRUserSession* session = PLRCoreManager::userSession())
        if (auto* manager = qobject_cast<PLRWebServiceUserManager*>(session->userServiceManager()))
            publisherExists = bool(manager->remotePublisher());
    const QVariantMap data{{QLatin1String(kPLRModalPublishingPrimaryKey), true},
                           {QLatin1String(kPLRModalPublisherExistingKey), publisherExists ? 1 : 0}};
    presentModalWindowWithViews(publisherWorkflowViews(), data, true, 0, std::move(completion));
}
