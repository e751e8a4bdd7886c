#include "AppComposition.h"

#include "layout/PLRLayoutLibrary.h"
#include "controls/PLRControls.h"
#include "services/PLRServices.h"
#include "panels/PLRPanels.h"
#include "publishing/PLRPublishing.h"
#include "store/PLRStore.h"
#include "shell/PLRShell.h"

// Each library joins itself to the ones below it through its install(): post components
// (PLRPostManager::registerComponent), scenes (platform::Storyboard), hooks and handlers of
// the lower libraries. They are called in link order, lowest first, so that an install may
// rely on those below it and may replace what they registered. Test fixtures call the same
// functions for the libraries they link. Nothing else registers: no constructor, no lazy
// static.
void AppComposition::install()
{
    // pellora_platform, pellora_platform_ui: nothing to join.
    PLRStore::install();          // pellora_store: the post's missing-photo check
    PLRLayoutLibrary::install();   // pellora_layout: every post's layout manager
    // pellora_canvas: nothing to join.
    PLRServices::install();   // pellora_services: sign-in, the session's keychain and service machines
    PLRControls::install();       // pellora_controls: the modal window's scene
    PLRShell::install();          // pellora_shell: the main storyboard, relaunch, the post header
    PLRPanels::install();         // pellora_panels: the gallery's scene
    PLRPublishing::install();     // pellora_publishing: publisher, SEO manager, preview provider
    // pellora_chat: a plugin, loaded after the main window's first frame (the shell's
    // PLRSupportChatLoader, started by main), so a launch loads no web engine.
}
