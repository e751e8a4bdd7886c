// Every shell test starts with the libraries joined as the application joins them at start.

#include "support/shell/ShellFixtures.h"

namespace {
const testing_support::InstallsBeforeEachTest installs(&testing_support::installShellLibraries);
}
