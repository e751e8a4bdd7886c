#include "publish/PLRPublishing.h"

#include "export/PLRExportInstall.h"
#include "seo/PLRSeoManager.h"
#include "seo/PLRSeoUIHandler.h"

void PLRPublishing::install()
{
    PLRSeoManager::install();
    PLRSeoUIHandler::registerScene();
    PLRExportInstall::install();
}
