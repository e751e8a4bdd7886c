#include "store/migrators/versions/PLRMigratorVersion_1_0_1.h"

#include "store/migrators/PLRMigrator.h"
#include "store/persistance-store/PLRPersistantStore.h"
#include "store/session/PLRDefaults.h"

QString PLRMigratorVersion_1_0_1::version() const
{
    return QStringLiteral("1.0.1");
}

void PLRMigratorVersion_1_0_1::perform(Completion done)
{
    setReasonTitle(QStringLiteral("Setting up Pellora"));
    setInfoTitle(QStringLiteral("Preparing the local store for your posts."));
    setStageNeedsSubProgress(false);
    setStageMessage(QStringLiteral("Creating folders"));
    setStageProgress(0.0);
    PLRDefaults::applicationSupportDirectory();
    const bool ok = PLRPersistantStore::setUpStack();
    setStageProgress(1.0);
    setStageMessage(ok ? QStringLiteral("Done") : QStringLiteral("The store's folders could not be created"));
    done(ok);
}
