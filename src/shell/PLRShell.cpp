#include "shell/PLRShell.h"

#include "shell/AppDelegate.h"
#include "canvas/interaction/PLRVisualStateHandler.h"
#include "store/persistance-store/PLRPersistantExporter.h"
#include "shell/PLRBackupProgressWindowController.h"
#include "shell/PLRMainStoryboard.h"
#include "shell/home/PLRShellHooks.h"
#include "shell/home/PLRSupportChatLoader.h"
#include "shell/prefs/PLRPreferencesWindowController.h"
#include "shell/prefs/PLRServiceHostWindowController.h"

void PLRShell::install()
{
    PLRMainStoryboard::registerScenes();
    // The preferences window (storyboard "Settings").
    PLRPreferencesWindowController::registerScene();
    // The service-host chooser (storyboard "Settings"), behind the hidden "Service Host..." item.
    PLRServiceHostWindowController::registerScene();
    // Restoring a database backup saves and starts Pellora again.
    PLRPersistantExporter::setRelaunchHandler([] {
        if (AppDelegate* app = AppDelegate::shared())
            app->performSaveAndRelaunch();
    });
    // File > Export Backup shows how far the copy is.
    PLRBackupProgressWindowController::install();
    PLRShellHooks::setPostHeaderVisibleHandler(
        [](bool visible) { PLRVisualStateHandler::globalHandler().setPostHeaderVisible(visible); });
    // The support chat's button, until the chat itself is loaded.
    PLRSupportChatLoader::install();
}
