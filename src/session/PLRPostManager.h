#pragma once

#include "persistance-store/source/PLRSourceDirectory.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class PLRLayoutManager;
class PLRPersistantPost;
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
    // post; `location` is the post's source folder, which is then scanned and watched.
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

    // The post's layout manager, made on first use by the registered factory (the layout
    // engine registers it); null when none is registered or there is no post.
    PLRLayoutManager* layoutManager();
    // What the factory makes: the manager, and the same object as the QObject this post
    // manager owns (the store does not know the layout engine's types).
    struct MadeLayoutManager {
        QObject* owner = nullptr;
        PLRLayoutManager* manager = nullptr;
    };
    using LayoutManagerFactory = std::function<MadeLayoutManager(PLRPostManager& manager)>;
    static void setLayoutManagerFactory(LayoutManagerFactory factory);

    // Writes the post and then its source folder's records now. True when both succeeded.
    bool save();
    // The source folder's records as a bundle write for the save queue (none without a folder).
    std::optional<PLRBundleWrite> prepareLocationWrite() const;

    // The source folder's configuration for a post bundle (tests and relinks use it too).
    static PLRSourceDirectory::Config sourceDirectoryConfig(const QString& bundlePath, const QString& folderPath);

    void sourceDirectoryUpdatedState(PLRSourceDirectory* directory, qint64 state) override;
    void sourceDirectoryAddedNewImage(PLRSourceDirectory* directory, const PLRSourceImagePtr& image) override;
    void sourceDirectoryDeletedImage(PLRSourceDirectory* directory, const PLRSourceImagePtr& image) override;

signals:
    void numberOfImagesInUseChanged(qint64 count);

private:
    void setUpSourceDirectory(const QString& folderPath);

    QPointer<PLRPersistantPost> m_post;
    PLRUserSession* m_session = nullptr;
    QUrl m_sourceLocation;
    std::unique_ptr<PLRSourceDirectory> m_sourceDirectory;
    std::unique_ptr<QObject> m_layoutManagerOwner;
    PLRLayoutManager* m_layoutManager = nullptr;
    bool m_refreshPending = false;
    qint64 m_numberOfImagesInUse = 0;
};
