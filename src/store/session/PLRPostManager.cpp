#include "store/session/PLRPostManager.h"

#include "store/model/PLRLayoutDocument.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/persistance-store/PLRPersistantStore.h"
#include "store/persistance-store/PLRSaveBatch.h"
#include "platform/Alert.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Resets.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRUserSession.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace {

struct ComponentRegistration {
    std::function<std::unique_ptr<void, void (*)(void*)>(PLRPostManager&)> factory;
    bool eager = false;
};

// The factories every post manager makes its components with, by type.
// Registered by the libraries' install(); emptied by the reset registry.
std::map<std::type_index, ComponentRegistration>& componentRegistry()
{
    static std::map<std::type_index, ComponentRegistration> registry;
    static const bool joined = platform::resets::add([] { registry.clear(); });
    (void)joined;
    return registry;
}


} // namespace

PLRPostManager::PLRPostManager(PLRPersistantPost* post, PLRUserSession* session)
    : m_post(post), m_session(session)
{
    if (post) {
        post->setOwningPostManager(this);
        setUpSourceDirectory(QString());
        makeEagerComponents();
    }
}

PLRPostManager::~PLRPostManager()
{
    destroyComponents();
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
    destroyComponents();
    PLRLayout& layout = post->layout();
    layout.set_padding(qint64(PLRDefaults::defaultPadding()));
    const QColor colour = PLRDefaults::defaultBackgroundColour().toRgb();
    PLRColour* background = layout.mutable_background_colour();
    background->set_r(float(std::floor(colour.redF() * 255.0)));
    background->set_g(float(std::floor(colour.greenF() * 255.0)));
    background->set_b(float(std::floor(colour.blueF() * 255.0)));

    // Written before the folder is looked at: the folder's first records follow it on the queue.
    auto directory = std::make_unique<PLRSourceDirectory>(sourceDirectoryConfig(post->bundlePath(), location.toLocalFile()));
    writeWhole(post, directory->plistRepresentation());
    adoptSourceDirectory(std::move(directory));
    makeEagerComponents();
    return true;
}

PLRSourceDirectory::Config PLRPostManager::sourceDirectoryConfig(const QString& bundlePath, const QString& folderPath)
{
    PLRSourceDirectory::Config config;
    config.folderPath = folderPath;
    config.locationPlistPath = QDir(bundlePath).filePath(QString::fromLatin1(kPLRPostLocationFileName));
    config.includeSubFolders = PLRDefaults::defaultIncludeSubfolders();
    config.cacheRoot = PLRPersistantStore::locationPath();
    config.recordsChanged = [bundlePath](const PLRSourceDirectory& directory) {
        PLRCoreManager::saveQueue().sync([&] {
            // Only beside a post on disk: a post deleted meanwhile gets no folder of its own again.
            if (platform::files::kindOf(QDir(bundlePath).filePath(QString::fromLatin1(kPLRPostInfoFileName)))
                != platform::files::Kind::Regular)
                return;
            // Taken here, in the order of the queue, so an older copy queued before cannot follow it.
            if (!writeBundle(locationWrite(bundlePath, directory.plistRepresentation())))
                PLR_LOG_WARN(QStringLiteral("The photo records of %1 could not be written")
                                 .arg(bundlePath));
        });
    };
    return config;
}

void PLRPostManager::saveWhole() const
{
    if (m_post && m_sourceDirectory)
        writeWhole(m_post, m_sourceDirectory->plistRepresentation());
}

void PLRPostManager::writeWhole(PLRPersistantPost* post, const QVariantMap& locationPlist)
{
    // The records are serialised here, on the main thread; the save queue only writes bytes.
    auto batch = std::make_shared<PLRSaveBatch>();
    if (auto write = post->prepareWrite(true))
        batch->bundles.push_back(std::move(*write));
    // Told before the batch's own failure, both on the main queue.
    auto refusal = std::make_shared<platform::Error>();
    PLRBundleWrite location = locationWrite(post->bundlePath(), locationPlist);
    location.refused = [refusal](const platform::Error& reason) { *refusal = reason; };
    batch->bundles.push_back(std::move(location));
    const QString identifier = post->identifier();
    const QString name = post->name();
    PLRCoreManager::saveQueue().async([batch, identifier, name, refusal] {
        if (batch->write())
            return;
        platform::dispatchMain([identifier, name, refusal] {
            PLR_LOG_ERROR(QStringLiteral("The post %1 could not be written").arg(identifier));
            platform::Alert alert;
            alert.style = platform::AlertStyle::Warning;
            alert.messageText = QStringLiteral("The post could not be saved.");
            alert.informativeText =
                refusal->isValid()
                    ? QStringLiteral("The photo records of \"%1\" could not be written: %2").arg(name, refusal->localizedDescription())
                    : QStringLiteral("\"%1\" could not be written to disk. Check the free space on your disk; "
                                     "the post will be saved again with your next change.").arg(name);
            alert.buttons = {QStringLiteral("OK")};
            platform::runAlert(alert);
        });
    });
}

PLRBundleWrite PLRPostManager::locationWrite(const QString& bundlePath, const QVariantMap& plist)
{
    PLRBundleWrite write;
    write.bundlePath = bundlePath;
    write.description = QStringLiteral("source folder of post %1").arg(QFileInfo(bundlePath).completeBaseName());
    write.plistName = QString::fromLatin1(kPLRPostLocationFileName);
    write.plist = plist;
    write.plistBytes = &PLRSourceDirectory::locationFileBytes;
    return write;
}

void PLRPostManager::setUpSourceDirectory(const QString& folderPath)
{
    adoptSourceDirectory(std::make_unique<PLRSourceDirectory>(sourceDirectoryConfig(m_post->bundlePath(), folderPath)));
}

void PLRPostManager::adoptSourceDirectory(std::unique_ptr<PLRSourceDirectory> directory)
{
    if (m_sourceDirectory) {
        m_sourceDirectory->removeDelegate(this);
        m_sourceDirectory->stopWatching();
    }
    m_sourceDirectory = std::move(directory);
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
    return m_post ? imageReferencesOfLayout(m_post->layout()) : QSet<QString>();
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
    // Call-backs arrive on the main thread in bursts; the count is recomputed once per burst.
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QPointer<PLRPostManager> self(this);
    platform::dispatchMain([self] {
        if (!self)
            return;
        self->m_refreshPending = false;
        self->refreshImagesInUse();
    });
}

void PLRPostManager::sourceDirectoryUpdatedState(PLRSourceDirectory*, qint64) { imagesInUseMayHaveChanged(); }
void PLRPostManager::sourceDirectoryAddedNewImage(PLRSourceDirectory*, const PLRSourceImagePtr&) { imagesInUseMayHaveChanged(); }
void PLRPostManager::sourceDirectoryDeletedImage(PLRSourceDirectory*, const PLRSourceImagePtr&) { imagesInUseMayHaveChanged(); }
void PLRPostManager::sourceDirectoryUpdatedImage(PLRSourceDirectory*, const PLRSourceImagePtr&) { imagesInUseMayHaveChanged(); }

PLRLayoutManager* PLRPostManager::layoutManager()
{
    return component<PLRLayoutManager>();
}

void PLRPostManager::registerErasedComponent(std::type_index type, ErasedFactory factory, bool eager)
{
    componentRegistry()[type] = ComponentRegistration{std::move(factory), eager};
}

void PLRPostManager::unregisterComponent(std::type_index type)
{
    componentRegistry().erase(type);
}

bool PLRPostManager::hasComponentFactory(std::type_index type)
{
    return componentRegistry().count(type) > 0;
}

void* PLRPostManager::erasedComponent(std::type_index type)
{
    const auto existing = m_components.find(type);
    if (existing != m_components.end())
        return existing->second.get();
    if (!m_post || std::find(m_componentsBeingMade.begin(), m_componentsBeingMade.end(), type) != m_componentsBeingMade.end())
        return nullptr;
    const auto registration = componentRegistry().find(type);
    if (registration == componentRegistry().end() || !registration->second.factory)
        return nullptr;
    // A factory that asks for its own type again gets null instead of recursing.
    m_componentsBeingMade.push_back(type);
    ErasedComponent made = registration->second.factory(*this);
    m_componentsBeingMade.pop_back();
    if (!made)
        return nullptr;
    void* raw = made.get();
    m_components.emplace(type, std::move(made));
    m_componentOrder.push_back(type);
    return raw;
}

void PLRPostManager::makeEagerComponents()
{
    std::vector<std::type_index> eager;
    for (const auto& [type, registration] : componentRegistry())
        if (registration.eager)
            eager.push_back(type);
    for (const std::type_index& type : eager)
        erasedComponent(type);
}

void PLRPostManager::destroyComponents()
{
    while (!m_componentOrder.empty()) {
        const std::type_index type = m_componentOrder.back();
        m_componentOrder.pop_back();
        // Moved out first: a component's destructor may still ask for the others.
        const auto found = m_components.find(type);
        if (found == m_components.end())
            continue;
        ErasedComponent component = std::move(found->second);
        m_components.erase(found);
        component.reset();
    }
}


std::optional<PLRBundleWrite> PLRPostManager::prepareLocationWrite() const
{
    if (!m_post || !m_sourceDirectory)
        return std::nullopt;
    return locationWrite(m_post->bundlePath(), m_sourceDirectory->plistRepresentation());
}

bool PLRPostManager::save()
{
    if (!m_post)
        return false;
    const bool postSaved = m_post->save();
    bool folderSaved = true;
    if (m_sourceDirectory) {
        // In the order of every other write of the location file.
        const PLRBundleWrite location = locationWrite(m_post->bundlePath(), m_sourceDirectory->plistRepresentation());
        PLRCoreManager::saveQueue().sync([&] { folderSaved = writeBundle(location); });
    }
    return postSaved && folderSaved;
}
