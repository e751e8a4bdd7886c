// Every publishing test starts with the libraries joined as the application joins them at start.

#include "support/shell/ShellFixtures.h"

#include "panels/PLRPanels.h"
#include "publishing/PLRPublishing.h"

namespace {
const testing_support::InstallsBeforeEachTest installs([] {
    testing_support::installShellLibraries();
    PLRPanels::install();
    PLRPublishing::install();
});
}
