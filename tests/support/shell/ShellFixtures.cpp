#include "support/shell/ShellFixtures.h"

#include "controls/PLRControls.h"
#include "platform/UserDefaults.h"
#include "services/PLRServices.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "shell/PLRShell.h"

namespace testing_support {

void installShellLibraries()
{
    installCanvasLibraries();
    PLRServices::install();
    PLRControls::install();
    PLRShell::install();
    // The analytics events the application sends as it runs go to a closed port on this machine
    // (refused at once) unless a test sets its own collector: a test never waits on the outside
    // world's name look-up, which outlives a test binary's end and leaves its request behind.
    platform::UserDefaults::standard().registerDefaults(
        {{QString::fromLatin1(kPLRAnalyticCollectorURLKey), QStringLiteral("http://127.0.0.1:1")}});
}

OpenPost openShellPost(const QList<TestPhoto>& photos, const OpenPostOptions& options)
{
    installShellLibraries();
    return openPostWithLayout(photos, options);
}

} // namespace testing_support
