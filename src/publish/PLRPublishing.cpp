#include "publish/PLRPublishing.h"

#include "seo/PLRSeoManager.h"
#include "seo/PLRSeoUIHandler.h"

void PLRPublishing::install()
{
    PLRSeoManager::install();
    PLRSeoUIHandler::registerScene();
}
