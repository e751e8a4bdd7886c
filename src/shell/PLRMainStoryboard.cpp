#include "shell/PLRMainStoryboard.h"

#include "platform/Storyboard.h"
#include "shell/PLRAuthViewController.h"
#include "shell/PLRBaseWindowController.h"
#include "shell/PLRFirstTimeWelcomeViewController.h"
#include "shell/PLRShellScreens.h"
#include "shell/PLRMigratorInfoViewController.h"
#include "shell/PLRSavingWindowController.h"
#include "shell/PLRShellNotifications.h"

namespace {

void registerMain(const char* identifier, platform::Storyboard::Factory factory)
{
    platform::Storyboard::registerScene(QLatin1String(kPLRMainStoryboard), QLatin1String(identifier), std::move(factory));
}

} // namespace

void PLRMainStoryboard::registerScenes()
{
    registerMain(kPLRBaseSceneIdentifier, [] { return new PLRBaseWindowController; });
    registerMain(kPLRSavingWindowSceneIdentifier, [] { return new PLRSavingWindowController; });
    PLRHomeViewController::registerScene();
    registerMain("PLRFirstTimeWelcomeViewController", [] { return new PLRFirstTimeWelcomeViewController; });
    registerMain("PLRAuthViewController", [] { return new PLRAuthViewController; });
    PLRPostViewController::registerScene();
    PLRPrepViewController::registerScene();
    PLRMigratorWindowController::install();
}
