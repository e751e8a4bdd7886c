#include "store/PLRStore.h"

#include "store/persistance-store/PLRPersistantPost.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "store/session/PLRPostManager.h"

void PLRStore::install()
{
    PLRPersistantPost::setMissingImagesCheck([](const PLRPersistantPost& post) {
        PLRPostManager* manager = post.owningPostManager();
        if (!manager || !manager->sourceDirectory())
            return QStringList();
        return manager->sourceDirectory()->unusablePhotosForIdentifiers(manager->imageReferencesInLayout());
    });
}
