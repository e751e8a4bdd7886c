#include "publish/PLRPublishing.h"

#include "export/PLRExportInstall.h"

void PLRPublishing::install()
{
    PLRExportInstall::install();
}
