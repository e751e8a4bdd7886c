#pragma once

#include "store/persistance-store/source/PLRSourceDirectory.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <typeindex>
#include <vector>

class PLRLayoutManager;
class PLRPersistantPost;
class PLRPostPublishing;
class PLRUserSession;
struct PLRBundleWrite;

// The hub of one open post. The user session owns it; it holds its post record (owned by
// the account) for as long as the post exists, the post's source folder, and (made on first
// use through a registered factory) the post's layout manager.
class PLRPostManager : public QObject, public PLRSourceDirectoryDelegate {
    Q_OBJECT
    Q_PROPERTY(qint64 numberOfImagesInUse READ numberOfImagesInUse NOTIFY numberOfImagesInUseChanged)
public:
    // A manager of an existing post (null for a post still to be created). The post's
    // source folder is read from its location.plist and watched.
    PLRPostManager(PLRPersistantPost* post, PLRUserSession* session);
    ~PLRPostManager() override;

    PLRPersistantPost* representedPost() const;
    PLRUserSession* userSession() const { return m_session; }

    // Creates the post with that name in the session's account and makes it this manager's
    // post; `location` is the post's source folder, which is then scanned and watched. The post
    // takes the default padding and background colour, and is on disk from now on: its first
    // write (the post and its folder's record) is queued before the folder is looked at, so a
    // process killed at any moment after leaves the post listed with its folder. A write that
    // fails is told to the user, and the post is written again at the next save.
    // False when the manager already has a post or there is no account.
    bool createNewPostWithTitle(const QString& title, const QUrl& location);
    // The source folder given at creation.
    QUrl sourceLocation() const { return m_sourceLocation; }

    // The post's watched photo folder; null until the post exists.
    PLRSourceDirectory* sourceDirectory() const { return m_sourceDirectory.get(); }
    // Every photo of the post's folder, in the folder's current order.
    QList<PLRSourceImagePtr> images() const;
    // The photos the layout uses.
    QList<PLRSourceImagePtr> imagesInPost() const;
    PLRSourceImagePtr imageForIdentifier(const QString& identifier) const;

    // How many of the folder's photos the layout uses.
    qint64 numberOfImagesInUse() const { return m_numberOfImagesInUse; }
    // Marks the photos the layout uses and updates numberOfImagesInUse now.
    void refreshImagesInUse();
    // The same, once, on the main queue: for the layout manager after its changes and the
    // folder's call-backs (from any thread).
    void imagesInUseMayHaveChanged();
    // The photo identifiers the post's layout refers to.
    QSet<QString> imageReferencesInLayout() const;

    // The post's layout manager: the layout engine's component of this post (null when the
    // engine is not installed or there is no post).
    PLRLayoutManager* layoutManager();

    // The post's publisher, as the session sees it: set by the publisher itself while it
    // lives (null when the publishing library is not installed).
    PLRPostPublishing* postPublisher() const { return m_postPublisher; }
    void setPostPublisher(PLRPostPublishing* publisher) { m_postPublisher = publisher; }

    // Components that higher libraries add to every post (the layout manager, the publisher,
    // the SEO manager, the preview provider): one factory per type, registered once at start
    // by the library that owns the type. A component is made on first use (or when the post
    // opens, for an eager one), lives as long as this manager and its post, and is destroyed
    // before the post's folder, newest first.
    template <class T>
    using ComponentFactory = std::function<std::unique_ptr<T>(PLRPostManager& manager)>;
    template <class T>
    static void registerComponent(ComponentFactory<T> factory, bool eager = false)
    {
        if (!factory) {
            unregisterComponent(std::type_index(typeid(T*)));
            return;
        }
        registerErasedComponent(std::type_index(typeid(T*)),
                                [factory = std::move(factory)](PLRPostManager& manager) -> ErasedComponent {
                                    std::unique_ptr<T> made = factory(manager);
                                    if (!made)
                                        return ErasedComponent(nullptr, [](void*) {});
                                    T* raw = made.release();
                                    return ErasedComponent(raw, [](void* object) { delete static_cast<T*>(object); });
                                },
                                eager);
    }
    // (Keyed by the pointer type, so code that only declares T can ask for it.)
    // This post's component of type T, made now when needed; null when no factory is
    // registered, there is no post, or the factory made none.
    template <class T>
    T* component()
    {
        return static_cast<T*>(erasedComponent(std::type_index(typeid(T*))));
    }
    // The component when it was made already; never makes one.
    template <class T>
    T* existingComponent() const
    {
        const auto found = m_components.find(std::type_index(typeid(T*)));
        return found == m_components.end() ? nullptr : static_cast<T*>(found->second.get());
    }
    static bool hasComponentFactory(std::type_index type);

    // Writes the post and then its source folder's records now. True when both succeeded.
    bool save();
    // The source folder's records as a bundle write for the save queue (none without a folder).
    std::optional<PLRBundleWrite> prepareLocationWrite() const;
    // Queues a write of the post whole (its record, layout and photo records), as at its
    // creation; a failure is told to the user, with the reason when the records were refused.
    void saveWhole() const;

    // The source folder's configuration for a post bundle (tests and relinks use it too). The
    // records of photos new to the folder are written beside the post (when it is on disk)
    // before their pictures are made, after the writes already queued: a picture is never made
    // for a photo whose record a killed process could lose.
    static PLRSourceDirectory::Config sourceDirectoryConfig(const QString& bundlePath, const QString& folderPath);

    void sourceDirectoryUpdatedState(PLRSourceDirectory* directory, qint64 state) override;
    void sourceDirectoryAddedNewImage(PLRSourceDirectory* directory, const PLRSourceImagePtr& image) override;
    void sourceDirectoryDeletedImage(PLRSourceDirectory* directory, const PLRSourceImagePtr& image) override;
    void sourceDirectoryUpdatedImage(PLRSourceDirectory* directory, const PLRSourceImagePtr& image) override;

signals:
    void numberOfImagesInUseChanged(qint64 count);

private:
    using ErasedComponent = std::unique_ptr<void, void (*)(void*)>;
    using ErasedFactory = std::function<ErasedComponent(PLRPostManager&)>;
    static void registerErasedComponent(std::type_index type, ErasedFactory factory, bool eager);
    static void unregisterComponent(std::type_index type);
    void* erasedComponent(std::type_index type);
    // Makes the eager components (a post was opened or created).
    void makeEagerComponents();
    // Destroys every component, newest first.
    void destroyComponents();
    void setUpSourceDirectory(const QString& folderPath);
    // Makes the directory this post's folder and starts watching it.
    void adoptSourceDirectory(std::unique_ptr<PLRSourceDirectory> directory);
    // The folder's records as a bundle write of the post's bundle.
    static PLRBundleWrite locationWrite(const QString& bundlePath, const QVariantMap& plist);
    static void writeWhole(PLRPersistantPost* post, const QVariantMap& locationPlist);

    QPointer<PLRPersistantPost> m_post;
    PLRUserSession* m_session = nullptr;
    QUrl m_sourceLocation;
    std::unique_ptr<PLRSourceDirectory> m_sourceDirectory;
    std::map<std::type_index, ErasedComponent> m_components;
    std::vector<std::type_index> m_componentOrder;
    std::vector<std::type_index> m_componentsBeingMade;
    PLRPostPublishing* m_postPublisher = nullptr;
    bool m_refreshPending = false;
    qint64 m_numberOfImagesInUse = 0;
};
