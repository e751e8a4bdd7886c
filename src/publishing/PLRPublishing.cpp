#include "publishing/PLRPublishing.h"

#include "publishing/export/PLRExportInstall.h"
#include "publishing/publish/PLRPublishSetupPages.h"
#include "publishing/publish/PLRPublishViewController.h"
#include "publishing/publish/PLRWebServicePostPublisher.h"
#include "publishing/seo/PLRSeoManager.h"
#include "publishing/seo/PLRSeoUIHandler.h"
#include "store/session/PLRPostManager.h"
#include "shell/modal/PLRModalManager.h"

void PLRPublishing::install()
{
    // Every opened or new post gets its publisher at once: the publisher finds out at once
    // whether the post is published.
    PLRPostManager::registerComponent<PLRWebServicePostPublisher>(
        [](PLRPostManager& manager) { return std::make_unique<PLRWebServicePostPublisher>(manager); },
        /*eager*/ true);
    // A publish by a user without a website runs the set-up pages first.
    PLRWebServicePostPublisher::setPublisherWorkflow([](bool publishingPrimary, std::function<void(int)> completion) {
        PLRModalManager::presentPublisherWorkflow(publishingPrimary, [completion = std::move(completion)](qint64 response) {
            if (completion)
                completion(int(response));
        });
    });
    PLRPublishSetupPages::install();
    PLRPublishViewController::registerScene();
    PLRSeoManager::install();
    PLRSeoUIHandler::registerScene();
    PLRExportInstall::install();
}
