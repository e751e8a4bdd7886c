#include "publishing/publish/PLRWebServicePostPublisher.h"
#include "platform/Clock.h"
#include "platform/Threads.h"
#include "publishing/publish/PLRUploadClient.h"

#include "layout/base/PLRLayoutManager.h"
#include "layout/base/PLRLayoutTree.h"
#include "layout/text/PLRRichText.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/persistance-store/PLRSaveBatch.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "platform/Alert.h"
#include "platform/Json.h"
#include "platform/Log.h"
#include "platform/Resets.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"
#include "services/web-services/PLRWebServiceManager.h"
#include "services/web-services/PLRWebServicePublisher.h"
#include "services/web-services/PLRWebServiceUserManager.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace {

PLRWebServicePostPublisher::Timing& sharedTiming()
{
    static PLRWebServicePostPublisher::Timing timing;
    static const bool joined = platform::resets::add([] { timing = {}; });
    (void)joined;
    return timing;
}

PLRWebServicePostPublisher::PublisherWorkflow& sharedWorkflow()
{
    static PLRWebServicePostPublisher::PublisherWorkflow workflow;
    static const bool joined = platform::resets::add([] { workflow = nullptr; });
    (void)joined;
    return workflow;
}

// Connection states in which the service cannot be used.
const QStringList& serviceNotReadyStates()
{
    static const QStringList states{QString::fromLatin1(PLRWSM_STATE_NO_INTERNET),
                                    QString::fromLatin1(PLRWSM_STATE_CHECKING_CONNECTION),
                                    QString::fromLatin1(PLRWSM_STATE_SERVER_CONNECTION),
                                    QString::fromLatin1(PLRWSM_STATE_CHECKING_SERVER_VERSION)};
    return states;
}

QString connectionStateName()
{
    const PLRFiniteStatePtr state = PLRWebServiceManager::globalManager().currentState();
    return state ? state->name() : QString();
}

QVariantList stringList(const QStringList& strings)
{
    QVariantList list;
    for (const QString& string : strings)
        list << string;
    return list;
}

QStringList strings(const std::optional<QVariantList>& list)
{
    QStringList result;
    if (list)
        for (const QVariant& value : *list)
            result << value.toString();
    return result;
}

constexpr int kModalCompleted = -1002;

} // namespace

PLRWebServicePostPublisher::Timing PLRWebServicePostPublisher::timing() { return sharedTiming(); }
void PLRWebServicePostPublisher::setTiming(const Timing& timing) { sharedTiming() = timing; }
void PLRWebServicePostPublisher::setPublisherWorkflow(PublisherWorkflow workflow) { sharedWorkflow() = std::move(workflow); }

PLRWebServicePostPublisher::PLRWebServicePostPublisher(PLRPostManager& postManager)
    : m_postManager(&postManager)
{
    postManager.setPostPublisher(this);
    buildStateMachine();

    PLRWebServiceManager::globalManager().addStateChangeNotificationHandler(
        this, [this](const platform::Notification&) { webServiceManagerStateChangeNotification(); });

    if (PLRLayoutManager* layoutManager = postManager.layoutManager()) {
        platform::NotificationCenter::defaultCenter().addObserver(
            this, QString::fromLatin1(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE),
            [this](const platform::Notification&) { checkLocalDiffs(); }, layoutManager);
    }
    if (PLRPersistantPost* record = post()) {
        connect(record, &PLRPersistantPost::seoTitleChanged, this, &PLRWebServicePostPublisher::checkLocalDiffs);
        connect(record, &PLRPersistantPost::metaDescriptionChanged, this, &PLRWebServicePostPublisher::checkLocalDiffs);
        connect(record, &PLRPersistantPost::focusKeywordsChanged, this, &PLRWebServicePostPublisher::checkLocalDiffs);
    }
}

PLRWebServicePostPublisher::~PLRWebServicePostPublisher()
{
    // Nothing reaches a publisher that is going: no answers, timers, socket events or
    // notifications, and the session no longer sees it.
    ++m_requestGeneration;
    ++m_buildCheckGeneration;
    ++m_passGeneration;
    m_buildCheck.cancel();
    m_fetchRetry.cancel();
    m_passStart.cancel();
    invalidateImageInfoSession();
    invalidateImageUploadSession();
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    PLRWebServiceManager::globalManager().removeStateChangeNotificationHandler(this);
    if (PLRPersistantPost* record = post())
        disconnect(record, nullptr, this, nullptr);
    PLRWebServiceHost::currentHost().removeMessageDelegate(this);
    if (m_postManager && m_postManager->postPublisher() == this)
        m_postManager->setPostPublisher(nullptr);
    m_idleCompletionHandlers.clear();
}

// ---- the machine ----

void PLRWebServicePostPublisher::buildStateMachine()
{
    const QString postName = post() ? post()->name() : QString();
    m_stateMachine = std::make_unique<PLRFiniteStateMachine>(QStringLiteral("Post_Publisher_for_%1").arg(postName));
    auto state = [](const char* name) { return PLRFiniteState::stateWithName(QString::fromLatin1(name)); };
    const PLRFiniteStatePtr fetching = state(PLRPP_STATE_FETCHING_INFO);
    const PLRFiniteStatePtr updateAvailable = state(PLRPP_STATE_UPDATE_AVAILABLE);
    const PLRFiniteStatePtr notPublished = state(PLRPP_STATE_NOT_PUBLISHED);
    const PLRFiniteStatePtr waiting = state(PLRPP_STATE_WAITING_FOR_SERVICE);
    const PLRFiniteStatePtr idle = state(PLRPP_STATE_IDLE);
    const PLRFiniteStatePtr creating = state(PLRPP_STATE_CREATING_POST);
    const PLRFiniteStatePtr created = state(PLRPP_STATE_CREATED_POST);
    const PLRFiniteStatePtr uploading = state(PLRPP_STATE_UPLOADING_IMAGES);
    const PLRFiniteStatePtr updatingPost = state(PLRPP_STATE_UPDATING_POST);
    const PLRFiniteStatePtr updated = state(PLRPP_STATE_UPDATED_POST);
    const PLRFiniteStatePtr building = state(PLRPP_STATE_SERVER_BUILDING);
    const PLRFiniteStatePtr cancelling = state(PLRPP_STATE_CANCELLING);

    fetching->setDidEnterStateBlock(fetchingInfoEnterBlock());
    fetching->setDidExitStateBlock(leaveFetchingBlock());
    updateAvailable->setDidEnterStateBlock(settledEnterBlock());
    notPublished->setDidEnterStateBlock(settledEnterBlock());
    idle->setDidEnterStateBlock(idleEnterBlock());
    creating->setDidEnterStateBlock(creatingPostEnterBlock());
    created->setDidEnterStateBlock(createdOrUpdatedEnterBlock());
    uploading->setDidEnterStateBlock(uploadingImagesEnterBlock());
    updatingPost->setDidEnterStateBlock(updatingPostEnterBlock());
    updated->setDidEnterStateBlock(createdOrUpdatedEnterBlock());
    building->setDidEnterStateBlock(serverBuildingEnterBlock());
    building->setDidExitStateBlock(serverBuildingExitBlock());
    cancelling->setDidEnterStateBlock(cancelingEnterBlock());

    m_stateMachine->addStates({fetching, updateAvailable, notPublished, waiting, idle, creating, created, uploading,
                               updatingPost, updated, building, cancelling});

    auto event = [](const char* name, const PLRFiniteEvent::SourceStates& from, const PLRFiniteStatePtr& to) {
        return PLRFiniteEvent::eventWithName(QString::fromLatin1(name), from, to);
    };
    using States = QList<PLRFiniteStatePtr>;
    m_stateMachine->addEvents({
        event(PLRPP_EVENT_SERVICE_CHANGED, std::nullopt, waiting),
        // Also from the build wait: a post unpublished (or gone) meanwhile has nothing to wait for.
        event(PLRPP_EVENT_REFRESH, States{updateAvailable, idle, notPublished, cancelling, building}, fetching),
        event(PLRPP_EVENT_SERVICE_RESTORED, States{waiting}, fetching),
        event(PLRPP_EVENT_LAYOUT_DATA_CHANGED_AVAILABLE, States{fetching, idle}, updateAvailable),
        event(PLRPP_EVENT_LAYOUT_DATA_CHANGED_NOT_AVAILABLE, States{updateAvailable}, idle),
        event(PLRPP_EVENT_NO_REMOTE_POST, States{fetching}, notPublished),
        event(PLRPP_EVENT_REMOTE_POST_UP_TO_DATE, States{fetching, building, created, uploading}, idle),
        // Only a post that has no remote post is created: from IDLE (or while a create is
        // running) it would make a second remote post.
        event(PLRPP_EVENT_CREATE_REMOTE_POST, States{notPublished}, creating),
        event(PLRPP_EVENT_BAIL_REMOTE_POST_MANIPULATE, States{creating, updatingPost}, fetching),
        event(PLRPP_EVENT_REMOTE_POST_CREATED, States{creating}, created),
        event(PLRPP_EVENT_UPDATE_REMOTE_POST, States{updateAvailable}, updatingPost),
        event(PLRPP_EVENT_CONTINUE_UPDATING_REMOTE_POST, States{fetching, building}, updated),
        event(PLRPP_EVENT_UPDATED_REMOTE_POST, States{updatingPost}, updated),
        event(PLRPP_EVENT_UPLOAD_IMAGES, States{updated, created, uploading, building}, uploading),
        event(PLRPP_EVENT_WAITING_FOR_SERVER, States{uploading, created, updated}, building),
        // Not from the build wait: once the photos are up the service builds the post whatever
        // happens here; a build that never ends holds nothing (see addIdleCompletionBlock).
        event(PLRPP_EVENT_CANCEL_PROCESS, States{creating, created, uploading, updatingPost, updated}, cancelling),
    });

    const bool notReady = serviceNotReadyStates().contains(connectionStateName());
    m_stateMachine->setInitialState(notReady ? waiting : fetching);
    m_stateMachine->activate();
}

bool PLRWebServicePostPublisher::fire(const char* event, const QVariantMap& userInfo)
{
    return m_stateMachine->fireEvent(QString::fromLatin1(event), userInfo);
}

bool PLRWebServicePostPublisher::canFire(const char* event) const
{
    return m_stateMachine->canFireEvent(QString::fromLatin1(event));
}

bool PLRWebServicePostPublisher::inState(const char* state) const
{
    return currentStateName() == QLatin1String(state);
}

PLRFiniteStatePtr PLRWebServicePostPublisher::currentState() const
{
    return m_stateMachine ? m_stateMachine->currentState() : nullptr;
}

QString PLRWebServicePostPublisher::currentStateName() const
{
    const PLRFiniteStatePtr state = currentState();
    return state ? state->name() : QString();
}

PLRPersistantPost* PLRWebServicePostPublisher::post() const
{
    return m_postManager ? m_postManager->representedPost() : nullptr;
}

PLRWebServiceUserManager* PLRWebServicePostPublisher::userManager() const
{
    PLRUserSession* session = m_postManager ? m_postManager->userSession() : nullptr;
    return session ? qobject_cast<PLRWebServiceUserManager*>(session->userServiceManager()) : nullptr;
}

void PLRWebServicePostPublisher::setLastError(const QString& error)
{
    if (error == m_lastError)
        return;
    m_lastError = error;
    emit lastErrorChanged();
}

void PLRWebServicePostPublisher::saveRecordAsync()
{
    PLRPersistantPost* record = post();
    if (!record)
        return;
    record->setHasChanges(true);
    std::optional<PLRBundleWrite> write = record->prepareWrite();
    if (!write)
        return;
    auto batch = std::make_shared<PLRSaveBatch>();
    batch->bundles.push_back(std::move(*write));
    PLRCoreManager::saveQueue().async([batch] { batch->write(); });
}

PLRWebServicePostRevisionPtr PLRWebServicePostPublisher::pendingRevision() const
{
    return m_publishingPost ? m_publishingPost->pendingRevision() : nullptr;
}

PLRWebServicePostRevisionPtr PLRWebServicePostPublisher::liveRevision() const
{
    return m_publishingPost ? m_publishingPost->liveRevision() : nullptr;
}

PLRWebServicePublishRevisionPtr PLRWebServicePostPublisher::pendingPublishRevision() const
{
    const PLRWebServicePostRevisionPtr revision = pendingRevision();
    return revision ? revision->publishRevision() : nullptr;
}

PLRWebServicePublishRevisionPtr PLRWebServicePostPublisher::livePublishRevision() const
{
    const PLRWebServicePostRevisionPtr revision = liveRevision();
    return revision ? revision->publishRevision() : nullptr;
}

bool PLRWebServicePostPublisher::updating() const
{
    static const QStringList running{QString::fromLatin1(PLRPP_STATE_CREATING_POST),
                                     QString::fromLatin1(PLRPP_STATE_CREATED_POST),
                                     QString::fromLatin1(PLRPP_STATE_UPLOADING_IMAGES),
                                     QString::fromLatin1(PLRPP_STATE_UPDATING_POST),
                                     QString::fromLatin1(PLRPP_STATE_SERVER_BUILDING)};
    return running.contains(currentStateName());
}

bool PLRWebServicePostPublisher::isBuildingBlog() const
{
    return !canFire(PLRPP_EVENT_CANCEL_PROCESS);
}

void PLRWebServicePostPublisher::addStateChangeNotificationHandler(QObject* observer, StateChangeHandler handler)
{
    if (!m_stateMachine || !observer)
        return;
    platform::NotificationCenter::defaultCenter().addObserver(
        observer, QString::fromLatin1(PLRFiniteStateMachineDidChangeStateNotification), std::move(handler),
        m_stateMachine.get());
}

void PLRWebServicePostPublisher::removeStateChangeNotificationHandler(QObject* observer)
{
    if (!m_stateMachine || !observer)
        return;
    platform::NotificationCenter::defaultCenter().removeObserver(
        observer, QString::fromLatin1(PLRFiniteStateMachineDidChangeStateNotification));
}

// ---- following the connection, the layout and the SEO fields ----

void PLRWebServicePostPublisher::webServiceManagerStateChangeNotification()
{
    const QString connection = connectionStateName();
    // The service found away: the upload passes that failed so far failed against no service,
    // and do not count against it once it is back (a re-check that finds it there, as after a
    // dropped upload, leaves them counted).
    if (connection == QLatin1String(PLRWSM_STATE_NO_INTERNET) || connection == QLatin1String(PLRWSM_STATE_SERVER_CONNECTION))
        resetUploadRetries();
    if (inState(PLRPP_STATE_WAITING_FOR_SERVICE)) {
        if (connection == QLatin1String(PLRWSM_STATE_STABLE))
            fire(PLRPP_EVENT_SERVICE_RESTORED);
        return;
    }
    if (serviceNotReadyStates().contains(connection)) {
        if (inState(PLRPP_STATE_UPLOADING_IMAGES)) {
            invalidateImageInfoSession();
            invalidateImageUploadSession();
        }
        fire(PLRPP_EVENT_SERVICE_CHANGED);
        return;
    }
    if (connection == QLatin1String(PLRWSM_STATE_STABLE) && canFire(PLRPP_EVENT_REFRESH))
        fire(PLRPP_EVENT_REFRESH);
}

QString PLRWebServicePostPublisher::layoutBlob() const
{
    const PLRLayout* layout = nullptr;
    if (m_postManager && m_postManager->existingComponent<PLRLayoutManager>())
        layout = m_postManager->existingComponent<PLRLayoutManager>()->representedLayout();
    if (!layout && post())
        layout = &post()->layout();
    if (!layout)
        return QString();
    // A text block's formatted text carries the paragraph tag of the style it had when it was
    // last edited; a style chosen since is told to the site in the tag, so the page shows the
    // style the canvas shows. The stored layout keeps its text as edited (undo restores it).
    PLRLayout sent(*layout);
    plr::tree::forEachBlock(&sent, [](PLRBlock* block) {
        if (block->has_text())
            PLRRichTextHTML::restyleBlock(block->mutable_text());
    });
    const std::string bytes = sent.SerializeAsString();
    return QString::fromLatin1(QByteArray(bytes.data(), qsizetype(bytes.size())).toBase64());
}

bool PLRWebServicePostPublisher::isPublishedBlobBehindCurrent() const
{
    const PLRWebServicePostRevisionPtr live = liveRevision();
    if (!live)
        return false;
    return layoutBlob() != live->blobHash();
}

bool PLRWebServicePostPublisher::isLocalVersionIsDifferent() const
{
    if (isPublishedBlobBehindCurrent())
        return true;
    if (!m_publishingPost)
        return false;
    const PLRWebServicePostRevisionPtr live = liveRevision();
    const PLRPersistantPost* record = post();
    if (!live || !record)
        return false;
    const QString seoTitle = record->seoTitle();
    if (!seoTitle.isEmpty() && seoTitle != live->seoTitle())
        return true;
    const QString meta = record->metaDescription();
    if (!meta.isEmpty() && meta != live->meta())
        return true;
    const QStringList keywords = record->focusKeywords();
    if (!live->keywords())
        return !keywords.isEmpty();
    if (!keywords.isEmpty() && keywords != strings(live->keywords()))
        return true;
    return false;
}

void PLRWebServicePostPublisher::checkLocalDiffs()
{
    if (!inState(PLRPP_STATE_IDLE) && !inState(PLRPP_STATE_UPDATE_AVAILABLE))
        return;
    if (isLocalVersionIsDifferent()) {
        if (canFire(PLRPP_EVENT_LAYOUT_DATA_CHANGED_AVAILABLE))
            fire(PLRPP_EVENT_LAYOUT_DATA_CHANGED_AVAILABLE);
    } else if (canFire(PLRPP_EVENT_LAYOUT_DATA_CHANGED_NOT_AVAILABLE)) {
        fire(PLRPP_EVENT_LAYOUT_DATA_CHANGED_NOT_AVAILABLE);
    }
}

bool PLRWebServicePostPublisher::firePostNeedsUpdateIfPossible()
{
    if (!canFire(PLRPP_EVENT_LAYOUT_DATA_CHANGED_AVAILABLE))
        return false;
    return fire(PLRPP_EVENT_LAYOUT_DATA_CHANGED_AVAILABLE);
}

void PLRWebServicePostPublisher::firePostUpdateCancelled()
{
    if (canFire(PLRPP_EVENT_LAYOUT_DATA_CHANGED_NOT_AVAILABLE))
        fire(PLRPP_EVENT_LAYOUT_DATA_CHANGED_NOT_AVAILABLE);
}

// ---- idle call-backs ----

void PLRWebServicePostPublisher::addIdleCompletionBlock(IdleBlock block)
{
    if (!block)
        return;
    // Any settled state will do: an unpublish asked for while an update is available (or the
    // post turned out unpublished) must not wait for an IDLE that may never come. Nor must one
    // asked for while the service builds the post: the publish cannot be cancelled there, and a
    // build that never ends would hold the delete for ever.
    if (inState(PLRPP_STATE_IDLE) || inState(PLRPP_STATE_UPDATE_AVAILABLE) || inState(PLRPP_STATE_NOT_PUBLISHED)
        || inState(PLRPP_STATE_SERVER_BUILDING)) {
        block(*this);
        return;
    }
    m_idleCompletionHandlers.push_back(std::move(block));
}

void PLRWebServicePostPublisher::runIdleBlocks()
{
    const std::vector<IdleBlock> blocks = std::move(m_idleCompletionHandlers);
    m_idleCompletionHandlers.clear();
    for (const IdleBlock& block : blocks)
        block(*this);
}

PLRFiniteState::Block PLRWebServicePostPublisher::idleEnterBlock()
{
    return [this](const PLRFiniteStatePtr&, const PLRFiniteTransitionPtr& transition) {
        resetUploadRetries();
        runIdleBlocks();
        if (!inState(PLRPP_STATE_IDLE))
            return;
        if (transition && transition->event()->name() == QLatin1String(PLRPP_EVENT_REMOTE_POST_UP_TO_DATE)) {
            const QString from = transition->sourceState() ? transition->sourceState()->name() : QString();
            if (from == QLatin1String(PLRPP_STATE_SERVER_BUILDING) || from == QLatin1String(PLRPP_STATE_CREATED_POST)
                || from == QLatin1String(PLRPP_STATE_UPLOADING_IMAGES)) {
                fire(PLRPP_EVENT_REFRESH);
                return;
            }
        }
        // The fetch compared the layout only; the SEO fields may differ too.
        checkLocalDiffs();
    };
}

PLRFiniteState::Block PLRWebServicePostPublisher::settledEnterBlock()
{
    return [this](const PLRFiniteStatePtr&, const PLRFiniteTransitionPtr&) { runIdleBlocks(); };
}

// ---- fetch ----

PLRFiniteState::Block PLRWebServicePostPublisher::fetchingInfoEnterBlock()
{
    return [this](const PLRFiniteStatePtr&, const PLRFiniteTransitionPtr&) { fetchRemotePost(); };
}

PLRFiniteState::Block PLRWebServicePostPublisher::leaveFetchingBlock()
{
    return [this](const PLRFiniteStatePtr&, const PLRFiniteTransitionPtr&) { m_fetchRetry.cancel(); };
}

void PLRWebServicePostPublisher::fetchRemotePost()
{
    const quint64 generation = ++m_requestGeneration;
    PLRPersistantPost* record = post();
    if (!record || record->remoteIdentifier().isEmpty()) {
        fire(PLRPP_EVENT_NO_REMOTE_POST);
        return;
    }
    const QString name = m_stateMachine->name();
    QPointer<PLRWebServicePostPublisher> self(this);
    const bool sent = PLRWebServicePost::getObjectFromServerRequest(
        [self, generation, name](bool success, const QVariant& result, const std::optional<PLRServiceError>& serviceError,
                                 const platform::Error& transportError) {
            if (!self || generation != self->m_requestGeneration || !self->inState(PLRPP_STATE_FETCHING_INFO))
                return;
            if (success) {
                PLR_LOG_INFO(QStringLiteral("PP `%1` fetching, got remote").arg(name));
                self->m_publishingPost = result.value<PLRWebServicePostPtr>();
                self->m_fetchRetryDelay = 0;
                self->setLastError(QString());
                const PLRWebServicePostRevisionPtr pending = self->pendingRevision();
                const PLRWebServicePostRevisionPtr live = self->liveRevision();
                auto after = [self, generation](const char* event) {
                    if (self && generation == self->m_requestGeneration && self->inState(PLRPP_STATE_FETCHING_INFO))
                        self->fire(event);
                };
                if (pending) {
                    auto resume = [after](bool, const QVariant&, const std::optional<PLRServiceError>&,
                                          const platform::Error&) { after(PLRPP_EVENT_CONTINUE_UPDATING_REMOTE_POST); };
                    if (!pending->getPublishRevision(resume))
                        after(PLRPP_EVENT_CONTINUE_UPDATING_REMOTE_POST);
                } else if (!live) {
                    after(PLRPP_EVENT_REMOTE_POST_UP_TO_DATE);
                } else {
                    auto decide = [self, after](bool, const QVariant&, const std::optional<PLRServiceError>&,
                                                const platform::Error&) {
                        if (self)
                            after(self->isPublishedBlobBehindCurrent() ? PLRPP_EVENT_LAYOUT_DATA_CHANGED_AVAILABLE
                                                                       : PLRPP_EVENT_REMOTE_POST_UP_TO_DATE);
                    };
                    if (!live->getPublishRevision(decide))
                        decide(false, QVariant(), std::nullopt, platform::Error());
                }
                return;
            }
            if (serviceError && serviceError->code() == 301) {
                PLR_LOG_INFO(QStringLiteral("PP `%1` fetching, didnt got remote, and purging local remote").arg(name));
                if (PLRPersistantPost* purged = self->post()) {
                    purged->setRemoteIdentifier(QString());
                    self->saveRecordAsync();
                }
                self->m_publishingPost.reset();
                self->setLastError(QString());
                self->fire(PLRPP_EVENT_NO_REMOTE_POST);
                return;
            }
            const QString reason = serviceError ? serviceError->description() : transportError.toString();
            PLR_LOG_WARN(QStringLiteral("PP `%1` fetching, didnt got remote, entering limbo: %2").arg(name, reason));
            self->setLastError(QStringLiteral("The published post could not be checked: %1")
                                   .arg(serviceError && !serviceError->error().isEmpty() ? serviceError->error()
                                                                                         : transportError.localizedDescription()));
            self->scheduleFetchRetry();
        },
        record->remoteIdentifier());
    if (!sent) {
        setLastError(QStringLiteral("The published post cannot be checked while signed out."));
        scheduleFetchRetry();
    }
}

void PLRWebServicePostPublisher::scheduleFetchRetry()
{
    const Timing timing = sharedTiming();
    m_fetchRetryDelay = m_fetchRetryDelay <= 0 ? timing.fetchRetryFirst
                                               : qMin(m_fetchRetryDelay * 2, timing.fetchRetryMax);
    const quint64 generation = m_requestGeneration;
    m_fetchRetry.cancel();
    m_fetchRetry = platform::Clock::shared().after(m_fetchRetryDelay, this, [this, generation] {
        if (generation == m_requestGeneration && inState(PLRPP_STATE_FETCHING_INFO))
            fetchRemotePost();
    });
}

// ---- create or update ----

bool PLRWebServicePostPublisher::createOrUpdatePublishedPost()
{
    return createOrUpdatePublishedPostPublish(false, QString(), false);
}

bool PLRWebServicePostPublisher::createOrUpdatePublishedPostWithPublishCategory(const QString& category, bool autoPublish)
{
    return createOrUpdatePublishedPostPublish(true, category, autoPublish);
}

bool PLRWebServicePostPublisher::createOrUpdatePublishedPostPublish(bool publish, const QString& category, bool autoPublish)
{
    PLR_ASSERT_MAIN_THREAD();
    const QList<PLRSourceImagePtr> images = m_postManager ? m_postManager->imagesInPost() : QList<PLRSourceImagePtr>();
    // A post the service does not have yet is created, one it has is updated.
    const bool create = canFire(PLRPP_EVENT_CREATE_REMOTE_POST);
    if (!create && !canFire(PLRPP_EVENT_UPDATE_REMOTE_POST)) {
        PLR_LOG_INFO(QStringLiteral("Tried to create post while in state: %1").arg(currentStateName()));
        // The connection went before the connection machine noticed, so the panel still offers
        // the update: the user is told it was not made rather than the press doing nothing.
        if (m_publishingPost && inState(PLRPP_STATE_WAITING_FOR_SERVICE))
            showUpdateNotSent();
        return false;
    }
    if (!preCheck(publish, category, autoPublish, !create)) {
        PLR_LOG_INFO(QStringLiteral("Tried to %1 post while in state: %2")
                         .arg(create ? QStringLiteral("create") : QStringLiteral("update"), currentStateName()));
        return false;
    }
    const QVariantMap payload = requestPayload(create, publish, category, autoPublish, images);
    if (payload.isEmpty())
        return false;
    PLR_LOG_INFO(QStringLiteral("Preparing Post Creation for %1").arg(m_stateMachine->name()));
    resetUploadRetries();
    return fire(create ? PLRPP_EVENT_CREATE_REMOTE_POST : PLRPP_EVENT_UPDATE_REMOTE_POST, payload);
}

bool PLRWebServicePostPublisher::preCheck(bool publish, const QString& category, bool autoPublish, bool update)
{
    Q_UNUSED(publish);
    Q_UNUSED(category);
    Q_UNUSED(autoPublish);
    PLRWebServiceUserManager* users = userManager();
    const PLRWebServicePublisherPtr publisher = users ? users->remotePublisher() : nullptr;
    if (!publisher) {
        if (!sharedWorkflow()) {
            PLR_LOG_WARN(QStringLiteral("No website is set up for publishing, and no set-up to offer"));
            setLastError(QStringLiteral("Set up your website before publishing."));
            return false;
        }
        QPointer<PLRWebServicePostPublisher> self(this);
        sharedWorkflow()(true, [self](int response) {
            if (!self || response != kModalCompleted)
                return;
            PLRWebServiceUserManager* again = self->userManager();
            const PLRWebServicePublisherPtr now = again ? again->remotePublisher() : nullptr;
            if (now && now->type() == 3)
                self->createOrUpdatePublishedPostPublish(true, now->defaultCategory(), now->autoPublish());
            else
                self->createOrUpdatePublishedPostPublish(false, QString(), false);
        });
        return false;
    }
    PLRPersistantPost* record = post();
    if (!record || !record->checkIfPostMissingImagesBeforePublish())
        return false;
    if (update && m_publishingPost && publisher->type() != 3) {
        const PLRWebServicePostRevisionPtr live = liveRevision();
        if (!live || live->renderVersion().isEmpty() || live->renderVersion() == QLatin1String("-1")) {
            platform::Alert alert;
            alert.messageText = QStringLiteral("Publishing Code Snippet Changed");
            alert.informativeText = QStringLiteral(
                "We have made some improvements to how Pellora presents your post on your website. This means that "
                "you will need to copy the code snippet again and replace the existing snippet on your website. If "
                "you don't replace the code snippet your blog will no longer appear on your website. Do you still "
                "want to update?");
            alert.buttons = {QStringLiteral("Yes, Update"), QStringLiteral("Cancel")};
            if (platform::runAlert(alert).response != platform::kAlertFirstButtonReturn)
                return false;
        }
    }
    return true;
}

QVariantMap PLRWebServicePostPublisher::createPostRevisionPayload() const
{
    QVariantMap payload;
    payload.insert(QStringLiteral("blob"), layoutBlob());
    const PLRPersistantPost* record = post();
    if (record && !record->seoTitle().isNull())
        payload.insert(QStringLiteral("seo_title"), record->seoTitle());
    payload.insert(QStringLiteral("keywords"), record ? stringList(record->focusKeywords()) : QVariantList());
    if (record && !record->metaDescription().isNull())
        payload.insert(QStringLiteral("meta"), record->metaDescription());
    return payload;
}

QVariantMap PLRWebServicePostPublisher::createPublishRevisionPayload(const QString& category, bool autoPublish)
{
    QVariantMap payload{{QStringLiteral("auto_publish"), autoPublish}};
    if (!category.isNull())
        payload.insert(QStringLiteral("category"), category);
    return payload;
}

QVariantMap PLRWebServicePostPublisher::imageInfoPayload(const QList<PLRSourceImagePtr>& images) const
{
    QVariantMap info;
    for (const PLRSourceImagePtr& image : images) {
        const PLRSourceImagePtr known = m_postManager ? m_postManager->imageForIdentifier(image->identifier()) : nullptr;
        const QStringList keywords = known ? known->focusKeywords() : image->focusKeywords();
        info.insert(image->identifier(),
                    QVariantMap{{QStringLiteral("name"), QFileInfo(image->location().toLocalFile()).completeBaseName()},
                                {QStringLiteral("keywords"), stringList(keywords)},
                                {QStringLiteral("hash"), PLRImageManager::sha1HashForImage(image.get())}});
    }
    return info;
}

QVariantMap PLRWebServicePostPublisher::requestPayload(bool create, bool publish, const QString& category,
                                                       bool autoPublish, const QList<PLRSourceImagePtr>& images)
{
    const QVariantMap imageInfo = imageInfoPayload(images);
    for (auto it = imageInfo.begin(); it != imageInfo.end(); ++it) {
        // A photo without an export file would be published as nothing.
        if (it.value().toMap().value(QStringLiteral("hash")).toString().isEmpty()) {
            const QString name = it.value().toMap().value(QStringLiteral("name")).toString();
            PLR_LOG_ERROR(QStringLiteral("Not publishing: photo %1 (%2) has no export file").arg(name, it.key()));
            setLastError(QStringLiteral("The photo \"%1\" cannot be read.").arg(name));
            return {};
        }
    }
    QVariantMap payload;
    if (create)
        payload.insert(QStringLiteral("name"), post() ? post()->name() : QString());
    payload.insert(QStringLiteral("post_revision"), createPostRevisionPayload());
    payload.insert(QStringLiteral("image_info"), imageInfo);
    payload.insert(QStringLiteral("publish"), publish);
    if (publish)
        payload.insert(QStringLiteral("publish_revision"), createPublishRevisionPayload(category, autoPublish));
    return payload;
}

PLRFiniteState::Block PLRWebServicePostPublisher::creatingPostEnterBlock()
{
    return [this](const PLRFiniteStatePtr&, const PLRFiniteTransitionPtr& transition) {
        sendPostRequest(true, transition ? transition->userInfo() : QVariantMap());
    };
}

PLRFiniteState::Block PLRWebServicePostPublisher::updatingPostEnterBlock()
{
    return [this](const PLRFiniteStatePtr&, const PLRFiniteTransitionPtr& transition) {
        sendPostRequest(false, transition ? transition->userInfo() : QVariantMap());
    };
}

void PLRWebServicePostPublisher::sendPostRequest(bool create, const QVariantMap& payload)
{
    const quint64 generation = ++m_requestGeneration;
    const QString token = PLRCurrentSessionToken();
    if (token.isEmpty() || (!create && (!m_publishingPost || m_publishingPost->identifier().isEmpty()))) {
        // Nothing can be sent: back to finding out where the post stands, and say why.
        PLR_LOG_ERROR(QStringLiteral("%1 for %2 not sent: %3")
                          .arg(create ? QStringLiteral("Create") : QStringLiteral("Update"), m_stateMachine->name(),
                               token.isEmpty() ? QStringLiteral("no session token") : QStringLiteral("no remote post")));
        setLastError(token.isEmpty() ? QStringLiteral("You are not signed in.")
                                     : QStringLiteral("The published post is not known yet."));
        platform::dispatchMain([self = QPointer<PLRWebServicePostPublisher>(this), generation] {
            if (self && generation == self->m_requestGeneration && self->canFire(PLRPP_EVENT_BAIL_REMOTE_POST_MANIPULATE))
                self->fire(PLRPP_EVENT_BAIL_REMOTE_POST_MANIPULATE);
        });
        return;
    }
    const QStringList paths = create ? PLRWebServicePost::resourcePath()
                                     : QStringList{PLRWebServicePost::resourcePath().constFirst(),
                                                   m_publishingPost->identifier(),
                                                   PLRWebServicePostRevision::resourcePath().constFirst()};
    const QUrl url = PLRWebServiceHost::currentHost().serviceMeURLWithPaths(paths);
    if (create)
        m_createGeneration = generation;
    // The service may build as soon as it has the revision: its socket is open by then.
    resetBuildWait();
    PLRWebServiceHost::currentHost().ensureSocketConnection();
    QNetworkReply* reply = PLRURLSession::shared().post(requestWithAuthentication(token, url),
                                                        platform::json::write(payload, true));
    connect(reply, &QNetworkReply::finished, this,
            [this, create, generation, reply, payload] { handlePostAnswer(create, generation, reply, payload); });
}

void PLRWebServicePostPublisher::handlePostAnswer(bool create, quint64 generation, QNetworkReply* reply,
                                                  const QVariantMap& payload)
{
    reply->deleteLater();
    const auto [transport, response, body, parseFailed] = readServiceAnswer(reply);
    const char* event = create ? PLRPP_EVENT_CREATE_REMOTE_POST : PLRPP_EVENT_UPDATE_REMOTE_POST;
    const char* state = create ? PLRPP_STATE_CREATING_POST : PLRPP_STATE_UPDATING_POST;
    const bool current = generation == m_requestGeneration && inState(state);

    if (transport.isValid()) {
        // An update still awaited, or given up on because the connection went: the user is
        // told that the published post was not updated (the panel only shows the connecting,
        // then the update offered again). A create that fails leaves the publish area itself.
        const bool connectionWent = generation == m_requestGeneration && inState(PLRPP_STATE_WAITING_FOR_SERVICE);
        if (!current && !(connectionWent && !create))
            return;
        PLR_LOG_ERROR(QStringLiteral("%1 of %2 failed: %3")
                          .arg(create ? QStringLiteral("Create") : QStringLiteral("Update"), m_stateMachine->name(),
                               transport.toString()));
        setLastError(QStringLiteral("The post could not be sent: %1").arg(transport.localizedDescription()));
        if (!create)
            showUpdateNotSent();
        if (current)
            fire(PLRPP_EVENT_BAIL_REMOTE_POST_MANIPULATE);
        return;
    }
    const QVariantMap answer = body.toMap();
    const QVariantMap postJSON = answer.value(QStringLiteral("post")).toMap();
    const QVariantMap revisionJSON = answer.value(QStringLiteral("post_revision")).toMap();
    const bool wellFormed = !revisionJSON.isEmpty() && (!create || !postJSON.value(QStringLiteral("id")).toString().isEmpty());
    if (!response.isCodeGood() || !wellFormed) {
        if (response.isCodeGood())
            PLR_LOG_ERROR(QStringLiteral("The service's answer to the post request has no post or revision"));
        if (current)
            handlePostError(PLRServiceError::serviceErrorWithDictionary(response.isCodeGood() ? QVariant() : body), event,
                            payload);
        return;
    }

    PLRWebServicePostPtr remote = create ? PLRWebServicePost::fromJSON(postJSON) : m_publishingPost;
    if (!remote)
        return;
    PLRWebServicePostRevisionPtr revision = PLRWebServicePostRevision::fromJSON(revisionJSON);
    revision->setPost(remote);
    if (answer.contains(QStringLiteral("publish_revision"))) {
        PLRWebServicePublishRevisionPtr publishRevision =
            PLRWebServicePublishRevision::fromJSON(answer.value(QStringLiteral("publish_revision")).toMap());
        publishRevision->setPostRevision(revision);
        revision->setPublishRevision(publishRevision);
    }
    remote->setPendingRevision(revision);

    if (create && !current) {
        const bool cancelled = m_cancelledCreates.remove(generation);
        if (generation == m_createGeneration)
            m_createGeneration = 0;
        // Cancelled by the user, or overtaken by a newer create: the remote post goes. Only a
        // cancel is known to the record (so that it is not created twice); a newer create
        // names its own.
        if (cancelled || inState(PLRPP_STATE_CREATING_POST)) {
            if (cancelled && !inState(PLRPP_STATE_CREATING_POST))
                if (PLRPersistantPost* record = post()) {
                    record->setRemoteIdentifier(remote->identifier());
                    saveRecordAsync();
                }
            PLR_LOG_INFO(QStringLiteral("%1: cleaning up remote post %2 answered after a cancel")
                             .arg(m_stateMachine->name(), remote->identifier()));
            QPointer<PLRWebServicePostPublisher> self(this);
            remote->cleanUpPost([self](bool, const QVariant&, const std::optional<PLRServiceError>&, const platform::Error&) {
                if (self && self->canFire(PLRPP_EVENT_REFRESH))
                    self->fire(PLRPP_EVENT_REFRESH);
            });
            return;
        }
        // Answered after the connection changed: the remote post exists with its pending
        // revision, so the publish resumes through a fresh fetch, as after any interruption.
        PLR_LOG_INFO(QStringLiteral("%1: create answered after a connection change; resuming remote post %2")
                         .arg(m_stateMachine->name(), remote->identifier()));
        if (PLRPersistantPost* record = post()) {
            record->setRemoteIdentifier(remote->identifier());
            saveRecordAsync();
        }
        m_publishingPost = remote;
        joinRealTimeMessages();
        if (canFire(PLRPP_EVENT_REFRESH))
            fire(PLRPP_EVENT_REFRESH);
        return;
    }
    if (create) {
        m_createGeneration = 0;
        if (PLRPersistantPost* record = post()) {
            record->setRemoteIdentifier(remote->identifier());
            saveRecordAsync();
        }
    }
    m_publishingPost = remote;
    joinRealTimeMessages();
    if (!current)
        return;
    setLastError(QString());
    fire(create ? PLRPP_EVENT_REMOTE_POST_CREATED : PLRPP_EVENT_UPDATED_REMOTE_POST);
}

void PLRWebServicePostPublisher::showUpdateNotSent()
{
    QPointer<PLRWebServicePostPublisher> self(this);
    platform::dispatchMain([self] {
        if (!self)
            return;
        platform::Alert alert;
        alert.messageText = QStringLiteral("Cannot Reach Server");
        alert.informativeText = QStringLiteral("An error occured while %1. Ensure you have an internet connection and try again.")
                                    .arg(QStringLiteral("updating your post"));
        alert.buttons = {QStringLiteral("OK")};
        platform::runAlert(alert);
    });
}

void PLRWebServicePostPublisher::handlePostError(const PLRServiceError& error, const char* continueEvent,
                                                 const QVariantMap& userInfo)
{
    Q_UNUSED(continueEvent);
    Q_UNUSED(userInfo);
    QPointer<PLRWebServicePostPublisher> self(this);
    const quint64 generation = m_requestGeneration;
    setLastError(error.error().isEmpty() ? QStringLiteral("The service refused the post.") : error.error());
    platform::dispatchMain([self, error, generation] {
        if (!self || generation != self->m_requestGeneration)
            return;
        if (error.code() == 9) {
            platform::Alert alert;
            alert.messageText = QStringLiteral("Publishing Currently Not Available");
            alert.informativeText = QStringLiteral(
                "Pellora is performing important maintenance right now. You cannot publish or update any of your "
                "blogs during this time.\nYour published blogs are still published and available for viewing.\n"
                "Please refer to the email we've sent you for more information.");
            alert.buttons = {QStringLiteral("OK")};
            platform::runAlert(alert);
        }
        if (self && self->canFire(PLRPP_EVENT_BAIL_REMOTE_POST_MANIPULATE))
            self->fire(PLRPP_EVENT_BAIL_REMOTE_POST_MANIPULATE);
    });
}

PLRFiniteState::Block PLRWebServicePostPublisher::createdOrUpdatedEnterBlock()
{
    return [this](const PLRFiniteStatePtr&, const PLRFiniteTransitionPtr& transition) {
        const QString from = transition && transition->sourceState() ? transition->sourceState()->name() : QString();
        if (from == QLatin1String(PLRPP_STATE_CREATING_POST))
            if (PLRWebServiceUserManager* users = userManager())
                users->refreshInfo();
        if (transition && transition->event()->name() == QLatin1String(PLRPP_EVENT_CONTINUE_UPDATING_REMOTE_POST)) {
            PLRPersistantPost* record = post();
            fire(record && record->checkIfPostMissingImagesBeforePublish() ? PLRPP_EVENT_UPLOAD_IMAGES
                                                                           : PLRPP_EVENT_CANCEL_PROCESS);
            return;
        }
        fire(PLRPP_EVENT_UPLOAD_IMAGES);
    };
}

// ---- cancel and delete ----

bool PLRWebServicePostPublisher::cancelPublishing()
{
    PLR_ASSERT_MAIN_THREAD();
    if (!canFire(PLRPP_EVENT_CANCEL_PROCESS)) {
        PLR_LOG_INFO(QStringLiteral("Tried to cancel operation while in state: %1").arg(currentStateName()));
        return false;
    }
    PLR_LOG_INFO(QStringLiteral("Preparing Post Cancel for %1").arg(m_stateMachine->name()));
    return fire(PLRPP_EVENT_CANCEL_PROCESS);
}

PLRFiniteState::Block PLRWebServicePostPublisher::cancelingEnterBlock()
{
    return [this](const PLRFiniteStatePtr&, const PLRFiniteTransitionPtr&) {
        // Uploads for a publish that is being cleaned up are of no use any more.
        ++m_passGeneration;
        invalidateImageInfoSession();
        invalidateImageUploadSession();
        resetUploadRetries();
        // A create still on its way was cancelled by the user: its answer cleans it up.
        if (m_createGeneration != 0)
            m_cancelledCreates.insert(std::exchange(m_createGeneration, 0));
        const quint64 generation = ++m_requestGeneration;
        if (PLRWebServiceUserManager* users = userManager())
            users->refreshInfo();
        QPointer<PLRWebServicePostPublisher> self(this);
        const bool sent = m_publishingPost
                          && m_publishingPost->cleanUpPost([self, generation](bool, const QVariant&,
                                                                              const std::optional<PLRServiceError>&,
                                                                              const platform::Error&) {
                                 if (self && generation == self->m_requestGeneration
                                     && self->inState(PLRPP_STATE_CANCELLING))
                                     self->fire(PLRPP_EVENT_REFRESH);
                             });
        if (!sent)
            fire(PLRPP_EVENT_REFRESH);
    };
}

bool PLRWebServicePostPublisher::deletePost(PLRServiceCompletion completion)
{
    PLR_ASSERT_MAIN_THREAD();
    PLRPersistantPost* record = post();
    const QString token = PLRCurrentSessionToken();
    if (token.isEmpty() || !record || record->remoteIdentifier().isEmpty())
        return false;
    const QUrl url = PLRWebServiceHost::currentHost().serviceMeURLWithPaths(
        {PLRWebServicePost::resourcePath().constFirst(), record->remoteIdentifier()});
    QNetworkReply* reply = PLRURLSession::shared().deleteResource(requestWithAuthentication(token, url));
    QPointer<PLRWebServicePostPublisher> self(this);
    connect(reply, &QNetworkReply::finished, reply, [self, reply, completion] {
        reply->deleteLater();
        const platform::Error transport = serviceTransportError(reply);
        if (transport.isValid()) {
            PLR_LOG_ERROR(QStringLiteral("deleted post details: %1").arg(transport.toString()));
            if (completion)
                completion(false, QVariant(), std::nullopt, transport);
            return;
        }
        PLR_LOG_INFO(QStringLiteral("deleted published post"));
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool gone = (status >= 200 && status <= 299) || status == 404;
        if (gone && self)
            self->m_publishingPost.reset();
        if (completion)
            completion(gone, QVariant(), std::nullopt, platform::Error());
        if (!self)
            return;
        if (PLRWebServiceUserManager* users = self->userManager())
            users->refreshInfo();
        if (self->canFire(PLRPP_EVENT_REFRESH))
            self->fire(PLRPP_EVENT_REFRESH);
    });
    return true;
}

bool PLRWebServicePostPublisher::deletePublishedPost(DeleteCompletion completion)
{
    return deletePost([completion](bool success, const QVariant&, const std::optional<PLRServiceError>&,
                                   const platform::Error&) {
        if (completion)
            completion(success);
    });
}
