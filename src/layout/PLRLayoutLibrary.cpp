#include "layout/PLRLayoutLibrary.h"

#include "layout/base/PLRLayoutManager.h"
#include "layout/base/PLRSourceImageLayoutProvider.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "platform/Dispatch.h"
#include "store/session/PLRPostManager.h"

#include <QPointer>

namespace {

// Hands a photo that changed, moved, came back or went missing on disk to the layout: its
// decoded pictures are forgotten and the blocks showing it are drawn again. The directory
// calls on the main thread.
class ChangedImageRelay final : public QObject, public PLRSourceDirectoryDelegate {
public:
    ChangedImageRelay(PLRLayoutManager* manager, PLRSourceImageLayoutProvider* provider,
                      PLRSourceDirectory* directory)
        : QObject(manager), m_manager(manager), m_provider(provider), m_directory(directory)
    {
        if (m_directory)
            m_directory->addDelegate(this);
    }
    ~ChangedImageRelay() override
    {
        if (m_directory)
            m_directory->removeDelegate(this);
    }
    void sourceDirectoryUpdatedImage(PLRSourceDirectory*, const PLRSourceImagePtr& image) override { redraw(image); }
    void sourceDirectoryDeletedImage(PLRSourceDirectory*, const PLRSourceImagePtr& image) override { redraw(image); }

private:
    void redraw(const PLRSourceImagePtr& image)
    {
        if (!image)
            return;
        m_provider->invalidate(image->identifier());
        m_manager->imageDidChange(image->identifier());
    }

    PLRLayoutManager* m_manager;
    PLRSourceImageLayoutProvider* m_provider;
    QPointer<PLRSourceDirectory> m_directory;
};

} // namespace

void PLRLayoutLibrary::install()
{
    PLRPostManager::registerComponent<PLRLayoutManager>([](PLRPostManager& postManager) {
        std::unique_ptr<PLRLayoutManager> manager;
        PLRPersistantPost* post = postManager.representedPost();
        if (!post)
            return manager;
        manager = std::make_unique<PLRLayoutManager>(&post->layout(), &postManager);
        QPointer<PLRPostManager> owner(&postManager);
        auto provider = std::make_unique<PLRSourceImageLayoutProvider>(
            [owner](const QString& identifier) {
                return owner ? owner->imageForIdentifier(identifier) : PLRSourceImagePtr();
            },
            // The post manager recounts the photos in use from the layout itself, once per burst.
            [owner](const QString&, qint64) {
                if (owner)
                    owner->imagesInUseMayHaveChanged();
            });
        auto* rawProvider = provider.get();
        manager->setImageProvider(std::move(provider));
        new ChangedImageRelay(manager.get(), rawProvider, postManager.sourceDirectory());
        return manager;
    });
}
