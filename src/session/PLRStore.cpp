#include "session/PLRStore.h"

#include "persistance-store/PLRPersistantPost.h"
#include "persistance-store/source/PLRSourceDirectory.h"
#include "session/PLRPostManager.h"

void PLRStore::install()
{
    PLRPersistantPost::setMissingImagesCheck([](const PLRPersistantPost& post) {
        PLRPostManager* manager = post.owningPostManager();
        if (!manager || !manager->sourceDirectory())
            return QStringList();
        return manager->sourceDirectory()->missingFileNamesForIdentifiers(manager->imageReferencesInLayout());
    });
}
