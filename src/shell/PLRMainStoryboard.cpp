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

void registerIfAbsent(const char* identifier, platform::Storyboard::Factory factory)
{
    const QString storyboard = QLatin1String(kPLRMainStoryboard);
    if (!platform::Storyboard::hasScene(storyboard, QLatin1String(identifier)))
        platform::Storyboard::registerScene(storyboard, QLatin1String(identifier), std::move(factory));
}

} // namespace

void PLRMainStoryboard::registerScenes()
{
    registerIfAbsent(kPLRBaseSceneIdentifier, [] { return new PLRBaseWindowController; });
    registerIfAbsent(kPLRSavingWindowSceneIdentifier, [] { return new PLRSavingWindowController; });
    if (!platform::Storyboard::hasScene(QLatin1String(kPLRMainStoryboard), QStringLiteral("PLRHomeViewController")))
        PLRHomeViewController::registerScene();
    registerIfAbsent("PLRFirstTimeWelcomeViewController", [] { return new PLRFirstTimeWelcomeViewController; });
    registerIfAbsent("PLRAuthViewController", [] { return new PLRAuthViewController; });
    if (!platform::Storyboard::hasScene(QLatin1String(kPLRMainStoryboard), QStringLiteral("PLRPostViewController")))
        PLRPostViewController::registerScene();
    if (!platform::Storyboard::hasScene(QLatin1String(kPLRMainStoryboard), QStringLiteral("PLRPrepViewController")))
        PLRPrepViewController::registerScene();
    PLRMigratorWindowController::install();
}
