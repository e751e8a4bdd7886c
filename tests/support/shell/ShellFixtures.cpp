#include "support/shell/ShellFixtures.h"

#include "controls/PLRControls.h"
#include "services/PLRServices.h"
#include "shell/PLRShell.h"

namespace testing_support {

void installShellLibraries()
{
    installCanvasLibraries();
    PLRServices::install();
    PLRControls::install();
    PLRShell::install();
}

OpenPost openShellPost(const QList<TestPhoto>& photos, const OpenPostOptions& options)
{
    installShellLibraries();
    return openPostWithLayout(photos, options);
}

} // namespace testing_support
