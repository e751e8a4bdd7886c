#include "shell/home/PLRShellHooks.h"
#include "platform/Resets.h"

#include "shell/AppDelegate.h"
#include "platform/Log.h"
#include "shell/PLRBaseViewController.h"
#include "shell/PLRBaseWindowController.h"

namespace {
PLRShellHooks::Navigation& navigationHooks()
{
    static PLRShellHooks::Navigation hooks;
    static const bool joined = platform::resets::add([] { hooks = PLRShellHooks::Navigation(); });
    (void)joined;
    return hooks;
}

PLRShellHooks::PostExport& exportHooks()
{
    static PLRShellHooks::PostExport hooks;
    static const bool joined = platform::resets::add([] { hooks = PLRShellHooks::PostExport(); });
    (void)joined;
    return hooks;
}

std::function<void(bool)>& headerHandler()
{
    static std::function<void(bool)> handler;
    static const bool joined = platform::resets::add([] { handler = nullptr; });
    (void)joined;
    return handler;
}

void missing(const char* what)
{
    PLR_LOG_WARN(QStringLiteral("Nothing is registered for %1").arg(QString::fromLatin1(what)));
}

// Root navigation of the main window, when there is one.
PLRBaseViewController* rootNavigation()
{
    AppDelegate* application = AppDelegate::shared();
    PLRBaseWindowController* window = application ? application->baseWindowController() : nullptr;
    return window ? window->contentViewController() : nullptr;
}
} // namespace

void PLRShellHooks::setNavigation(Navigation navigation) { navigationHooks() = std::move(navigation); }
const PLRShellHooks::Navigation& PLRShellHooks::navigation() { return navigationHooks(); }

void PLRShellHooks::presentPost(PLRPersistantPost* post)
{
    if (navigationHooks().presentPost)
        navigationHooks().presentPost(post);
    else if (PLRBaseViewController* root = rootNavigation())
        root->presentPost(post);
    else
        missing("presentPost");
}

void PLRShellHooks::presentNewPost()
{
    if (navigationHooks().presentNewPost)
        navigationHooks().presentNewPost();
    else if (PLRBaseViewController* root = rootNavigation())
        root->presentNewPost();
    else
        missing("presentNewPost");
}

void PLRShellHooks::moveHome(bool animate)
{
    if (navigationHooks().moveHome)
        navigationHooks().moveHome(animate);
    else if (PLRBaseViewController* root = rootNavigation())
        root->moveHome(animate);
    else
        missing("moveHome");
}

void PLRShellHooks::postWasDeleted(const QString& postIdentifier)
{
    if (navigationHooks().postWasDeleted)
        navigationHooks().postWasDeleted(postIdentifier);
    else if (PLRBaseViewController* root = rootNavigation())
        root->forgetPostController(postIdentifier);
}

void PLRShellHooks::setPostExport(PostExport hooks) { exportHooks() = std::move(hooks); }

bool PLRShellHooks::canExportPosts() { return bool(exportHooks().exportPost); }

void PLRShellHooks::exportPost(PLRPersistantPost* post)
{
    if (!post)
        return;
    if (exportHooks().exportPost)
        exportHooks().exportPost(post);
    else
        missing("exportPost");
}

bool PLRShellHooks::canImportPosts() { return bool(exportHooks().selectPathAndImportPost); }

void PLRShellHooks::selectPathAndImportPost()
{
    if (exportHooks().selectPathAndImportPost)
        exportHooks().selectPathAndImportPost();
    else
        missing("selectPathAndImportPost");
}

void PLRShellHooks::enableImportExportPosts()
{
    if (exportHooks().setExportMenuEnabled)
        exportHooks().setExportMenuEnabled(true);
}

void PLRShellHooks::disableImportExportPosts()
{
    if (exportHooks().setExportMenuEnabled)
        exportHooks().setExportMenuEnabled(false);
}

void PLRShellHooks::setPostHeaderVisibleHandler(std::function<void(bool)> handler) { headerHandler() = std::move(handler); }

void PLRShellHooks::setPostHeaderVisible(bool visible)
{
    if (headerHandler())
        headerHandler()(visible);
}

namespace {
std::function<void()>& exportDialogPresenter()
{
    static std::function<void()> presenter;
    static const bool joined = platform::resets::add([] { presenter = nullptr; });
    Q_UNUSED(joined);
    return presenter;
}
} // namespace

void PLRShellHooks::setExportDialogPresenter(std::function<void()> presenter)
{
    exportDialogPresenter() = std::move(presenter);
}

void PLRShellHooks::presentExportDialog()
{
    if (exportDialogPresenter())
        exportDialogPresenter()();
    else
        PLR_LOG_WARN(QStringLiteral("No export dialog is registered"));
}
