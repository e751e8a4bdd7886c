#include "publishing/export/PLRExportInstall.h"

#include "shell/AppDelegate.h"
#include "publishing/export/PLRExportManager.h"
#include "publishing/export/PLRExportModalViewController.h"
#include "publishing/export/PLRModalExportView.h"
#include "publishing/export/PLRExportViewController.h"
#include "publishing/export/PLRPersistantPostExporter.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "shell/home/PLRShellHooks.h"

void PLRExportInstall::install()
{
    // The store asks for the preview of every changed post it saves. A plain hook rather than
    // a per-post component: the render needs nothing kept per post, and the store asks for it
    // by post, also for posts whose manager has not made its components.
    PLRPersistantPost::setPreviewProvider(
        [](PLRPersistantPost& post) { return PLRExportManager::sharedManager().exportLayoutPreviewForPost(post); });

    PLRShellHooks::PostExport hooks;
    hooks.exportPost = [](PLRPersistantPost* post) { PLRPersistantPostExporter::exportPost(post); };
    hooks.selectPathAndImportPost = [] { PLRPersistantPostExporter::selectPathAndImportPost(); };
    hooks.setExportMenuEnabled = [](bool enabled) {
        if (enabled)
            PLRPersistantPostExporter::enableImportExportPosts();
        else
            PLRPersistantPostExporter::disableImportExportPosts();
    };
    PLRShellHooks::setPostExport(std::move(hooks));
    // The post header's export button: the export dialog, one page of the multi-step modal.
    PLRModalExportView::registerPage();
    PLRShellHooks::setExportDialogPresenter([] { PLRExportModalViewController::presentForCurrentPost(); });
    // The inspector's export panel (layout and collage).
    PLRExportViewController::registerScene();
    AppDelegate::setPostFileImporter([](const QString& path) { return PLRPersistantPostExporter::importPostWithURL(path); });
}
