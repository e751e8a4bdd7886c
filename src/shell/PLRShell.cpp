#include "shell/PLRShell.h"

#include "shell/AppDelegate.h"
#include "canvas/interaction/PLRVisualStateHandler.h"
#include "store/persistance-store/PLRPersistantExporter.h"
#include "shell/PLRBackupProgressWindowController.h"
#include "shell/PLRMainStoryboard.h"
#include "shell/home/PLRShellHooks.h"
#include "shell/prefs/PLRPreferencesWindowController.h"

void PLRShell::install()
{
    PLRMainStoryboard::registerScenes();
    // The preferences window (storyboard "Settings").
    PLRPreferencesWindowController::registerScene();
    // Restoring a database backup saves and starts Pellora again.
    PLRPersistantExporter::setRelaunchHandler([] {
        if (AppDelegate* app = AppDelegate::shared())
            app->performSaveAndRelaunch();
    });
    // File > Export Backup shows how far the copy is.
    PLRBackupProgressWindowController::install();
    PLRShellHooks::setPostHeaderVisibleHandler(
        [](bool visible) { PLRVisualStateHandler::globalHandler().setPostHeaderVisible(visible); });
}
