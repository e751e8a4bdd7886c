#include "session/PLRPostManager.h"

#include "model/PLRLayoutDocument.h"
#include "persistance-store/PLRPersistantAccount.h"
#include "persistance-store/PLRPersistantPost.h"
#include "persistance-store/PLRPersistantStore.h"
#include "persistance-store/PLRSaveBatch.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "session/PLRDefaults.h"
#include "session/PLRUserSession.h"

#include <QDir>

namespace {

PLRPostManager::LayoutManagerFactory& layoutManagerFactory()
{
    static PLRPostManager::LayoutManagerFactory factory;
    return factory;
}

void collectReferences(const PLRBlock& block, QSet<QString>* references)
{
    if (block.has_image()) {
        const QString ref = QString::fromStdString(block.image().img_ref());
        if (!ref.isEmpty())
            references->insert(ref);
    } else if (block.has_container()) {
        for (const PLRBlock& child : block.container().sub_blocks())
            collectReferences(child, references);
    }
}

// Before publishing, a post asks its manager's folder which of the layout's photos are gone.
void installMissingImagesCheck()
{
    static const bool installed = [] {
        PLRPersistantPost::setMissingImagesCheck([](const PLRPersistantPost& post) {
            PLRPostManager* manager = post.owningPostManager();
            if (!manager || !manager->sourceDirectory())
                return QStringList();
            return manager->sourceDirectory()->missingFileNamesForIdentifiers(manager->imageReferencesInLayout());
        });
        return true;
    }();
    (void)installed;
}

} // namespace

PLRPostManager::PLRPostManager(PLRPersistantPost* post, PLRUserSession* session)
    : m_post(post), m_session(session)
{
    installMissingImagesCheck();
    if (post) {
        post->setOwningPostManager(this);
        setUpSourceDirectory(QString());
    }
}

PLRPostManager::~PLRPostManager()
{
    m_layoutManager = nullptr;
    m_layoutManagerOwner.reset();
    if (m_sourceDirectory) {
        m_sourceDirectory->removeDelegate(this);
        m_sourceDirectory->stopWatching();
    }
    if (m_post && m_post->owningPostManager() == this)
        m_post->setOwningPostManager(nullptr);
}

PLRPersistantPost* PLRPostManager::representedPost() const
{
    return m_post.data();
}

bool PLRPostManager::createNewPostWithTitle(const QString& title, const QUrl& location)
{
    if (m_post) {
        PLR_LOG_WARN(QStringLiteral("The post manager of %1 already has a post").arg(m_post->identifier()));
        return false;
    }
    PLRPersistantAccount* account = m_session ? m_session->account() : nullptr;
    if (!account) {
        PLR_LOG_ERROR(QStringLiteral("A new post needs a signed-in account"));
        return false;
    }
    PLRPersistantPost* post = account->addPost(PLRPersistantPost::makeNew(title, account));
    m_post = post;
    post->setOwningPostManager(this);
    m_sourceLocation = location;
    m_layoutManager = nullptr;
    m_layoutManagerOwner.reset();
    setUpSourceDirectory(location.toLocalFile());
    return true;
}

PLRSourceDirectory::Config PLRPostManager::sourceDirectoryConfig(const QString& bundlePath, const QString& folderPath)
{
    PLRSourceDirectory::Config config;
    config.folderPath = folderPath;
    config.locationPlistPath = QDir(bundlePath).filePath(QString::fromLatin1(kPLRPostLocationFileName));
    config.includeSubFolders = PLRDefaults::defaultIncludeSubfolders();
    config.cacheRoot = PLRPersistantStore::locationPath();
    return config;
}

void PLRPostManager::setUpSourceDirectory(const QString& folderPath)
{
    if (m_sourceDirectory) {
        m_sourceDirectory->removeDelegate(this);
        m_sourceDirectory->stopWatching();
    }
    m_sourceDirectory = std::make_unique<PLRSourceDirectory>(sourceDirectoryConfig(m_post->bundlePath(), folderPath));
    m_sourceDirectory->addDelegate(this);
    if (platform::isMainThread())
        m_sourceDirectory->startWatching();
    else
        PLR_LOG_WARN(QStringLiteral("The source folder of post %1 is watched only from the main thread").arg(m_post->identifier()));
    if (m_sourceLocation.isEmpty())
        m_sourceLocation = m_sourceDirectory->location();
}

QList<PLRSourceImagePtr> PLRPostManager::images() const
{
    return m_sourceDirectory ? m_sourceDirectory->images() : QList<PLRSourceImagePtr>();
}

QList<PLRSourceImagePtr> PLRPostManager::imagesInPost() const
{
    QList<PLRSourceImagePtr> used;
    for (const PLRSourceImagePtr& image : images())
        if (image->inLayout())
            used << image;
    return used;
}

PLRSourceImagePtr PLRPostManager::imageForIdentifier(const QString& identifier) const
{
    return m_sourceDirectory ? m_sourceDirectory->sourceImageForIdentifier(identifier) : nullptr;
}

QSet<QString> PLRPostManager::imageReferencesInLayout() const
{
    QSet<QString> references;
    if (!m_post)
        return references;
    for (const PLRSection& section : m_post->layout().sections())
        for (const PLRBlock& block : section.blocks())
            collectReferences(block, &references);
    return references;
}

void PLRPostManager::refreshImagesInUse()
{
    if (!m_sourceDirectory)
        return;
    const qint64 count = m_sourceDirectory->updateImagesInLayout(imageReferencesInLayout());
    if (count == m_numberOfImagesInUse)
        return;
    m_numberOfImagesInUse = count;
    emit numberOfImagesInUseChanged(count);
}

void PLRPostManager::imagesInUseMayHaveChanged()
{
    // Call-backs come from any thread and in bursts; the count is kept on the main thread
    // and recomputed once per burst.
    QPointer<PLRPostManager> self(this);
    platform::dispatchMain([self] {
        if (!self || self->m_refreshPending)
            return;
        self->m_refreshPending = true;
        platform::dispatchMain([self] {
            if (!self)
                return;
            self->m_refreshPending = false;
            self->refreshImagesInUse();
        });
    });
}

void PLRPostManager::sourceDirectoryUpdatedState(PLRSourceDirectory*, qint64) { imagesInUseMayHaveChanged(); }
void PLRPostManager::sourceDirectoryAddedNewImage(PLRSourceDirectory*, const PLRSourceImagePtr&) { imagesInUseMayHaveChanged(); }
void PLRPostManager::sourceDirectoryDeletedImage(PLRSourceDirectory*, const PLRSourceImagePtr&) { imagesInUseMayHaveChanged(); }

PLRLayoutManager* PLRPostManager::layoutManager()
{
    if (!m_layoutManager && m_post && layoutManagerFactory()) {
        const MadeLayoutManager made = layoutManagerFactory()(*this);
        m_layoutManagerOwner.reset(made.owner);
        m_layoutManager = made.manager;
    }
    return m_layoutManager;
}

void PLRPostManager::setLayoutManagerFactory(LayoutManagerFactory factory)
{
    layoutManagerFactory() = std::move(factory);
}

std::optional<PLRBundleWrite> PLRPostManager::prepareLocationWrite() const
{
    if (!m_post || !m_sourceDirectory)
        return std::nullopt;
    PLRBundleWrite write;
    write.bundlePath = m_post->bundlePath();
    write.description = QStringLiteral("source folder of post %1").arg(m_post->identifier());
    write.plistName = QString::fromLatin1(kPLRPostLocationFileName);
    write.plist = m_sourceDirectory->plistRepresentation();
    return write;
}

bool PLRPostManager::save()
{
    if (!m_post)
        return false;
    const bool postSaved = m_post->save();
    const bool folderSaved = !m_sourceDirectory || m_sourceDirectory->save();
    return postSaved && folderSaved;
}
