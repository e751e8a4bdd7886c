#include "support/canvas/CanvasFixtures.h"

#include "layout/PLRLayoutLibrary.h"
#include "store/session/PLRPostManager.h"

namespace testing_support {

void installCanvasLibraries()
{
    installStoreLibraries();
    PLRLayoutLibrary::install();
}

OpenPost openPostWithLayout(const QList<TestPhoto>& photos, const OpenPostOptions& options)
{
    installCanvasLibraries();
    OpenPost opened = openPost(photos, options);
    if (opened.ok && !opened.manager->layoutManager())
        opened.ok = false;
    return opened;
}

} // namespace testing_support
