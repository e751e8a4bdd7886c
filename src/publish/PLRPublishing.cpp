#include "publish/PLRPublishing.h"

#include "export/PLRExportInstall.h"
#include "publish/PLRWebServicePostPublisher.h"
#include "seo/PLRSeoManager.h"
#include "seo/PLRSeoUIHandler.h"
#include "session/PLRPostManager.h"

void PLRPublishing::install()
{
    // Every opened or new post gets its publisher at once: the publisher finds out at once
    // whether the post is published.
    PLRPostManager::registerComponent<PLRWebServicePostPublisher>(
        [](PLRPostManager& manager) { return std::make_unique<PLRWebServicePostPublisher>(manager); },
        /*eager*/ true);
    PLRSeoManager::install();
    PLRSeoUIHandler::registerScene();
    PLRExportInstall::install();
}
