#include "panels/PLRPanels.h"

#include "shell/AppDelegate.h"
#include "panels/gallery/PLRGalleryViewController.h"
#include "panels/gallery/PLRPreviewPanel.h"
#include "shell/PLRBaseViewController.h"
#include "shell/PLRBaseWindowController.h"
#include "panels/inspector/PLRInspectorViewController.h"
#include "shell/post/PLRPostViewController.h"

void PLRPanels::install()
{
    PLRGalleryViewController::registerScene();
    PLRInspectorViewController::registerScene();
    // The menu's "Quick Look": the preview window of the open post's photos.
    AppDelegate::setPreviewPanelToggler([] {
        if (PLRPreviewPanel::sharedPreviewPanelExists() && PLRPreviewPanel::sharedPreviewPanel()->isShown()) {
            PLRPreviewPanel::sharedPreviewPanel()->orderOut();
            return;
        }
        AppDelegate* app = AppDelegate::shared();
        PLRBaseWindowController* window = app ? app->baseWindowController() : nullptr;
        PLRPostViewController* post = window ? window->contentViewController()->currentPostViewController() : nullptr;
        auto* gallery = post ? qobject_cast<PLRGalleryViewController*>(post->galleryViewController()) : nullptr;
        if (gallery)
            gallery->togglePreviewPanel();
        else
            PLRPreviewPanel::sharedPreviewPanel()->makeKeyAndOrderFront(nullptr);
    });
}
