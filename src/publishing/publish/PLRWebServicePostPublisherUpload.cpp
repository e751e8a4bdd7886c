// The publisher's upload pass and build wait: signed upload addresses asked for in batches,
// each photo's export file sent to its address, then the service's build awaited.
#include "publishing/publish/PLRWebServicePostPublisher.h"
#include "publishing/publish/PLRUploadClient.h"
#include "platform/Clock.h"

#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/Json.h"
#include "platform/Log.h"
#include "store/session/PLRPostManager.h"
#include "store/persistance-store/source/PLRSourceImage.h"
#include "services/web-services/PLRWebServiceManager.h"

#include <QFile>
#include <algorithm>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace {

constexpr int kImageBatchSize = 20;
constexpr int kUploadConnections = 6;   // per host, as many as a browser opens

// What the user is told when a photo the service asks for cannot be sent: its name and why.
QString unusablePhotoError(const PLRSourceImagePtr& image)
{
    if (!image)
        return QStringLiteral("A photo of the post cannot be found.");
    const PLRPhotoProblem problem = image->problem() == PLRPhotoProblem::None ? PLRPhotoProblem::Missing : image->problem();
    return QStringLiteral("%1 cannot be published: %2.").arg(image->fileName(), describePhotoProblem(problem));
}

QStringList referencesOf(const PLRWebServicePostRevisionPtr& revision)
{
    QStringList references;
    if (revision && revision->requiredImgRefs())
        for (const QVariant& value : *revision->requiredImgRefs())
            references << value.toString();
    return references;
}

void abortAll(QSet<QNetworkReply*>& tasks)
{
    const QSet<QNetworkReply*> running = std::exchange(tasks, {});
    for (QNetworkReply* reply : running) {
        reply->disconnect();
        reply->abort();
        reply->deleteLater();
    }
}

} // namespace

int PLRWebServicePostPublisher::requiredCount() const
{
    return int(referencesOf(pendingRevision()).size());
}

void PLRWebServicePostPublisher::invalidateImageInfoSession()
{
    abortAll(m_imageInfoTasks);
}

void PLRWebServicePostPublisher::invalidateImageUploadSession()
{
    m_imageUploadTasks.clear();
    m_uploadingReferences.clear();
    if (m_imageUploadSession)
        m_imageUploadSession->cancelAll();
}

void PLRWebServicePostPublisher::ensureImageSession()
{
    invalidateImageInfoSession();
    invalidateImageUploadSession();
    const Timing timing = PLRWebServicePostPublisher::timing();
    m_imageInfoSession = std::make_unique<QNetworkAccessManager>();
    m_imageInfoSession->setObjectName(QStringLiteral("Image Info Session for post: %1").arg(post() ? post()->name() : QString()));
    m_imageInfoSession->setTransferTimeout(timing.imageInfoTimeoutMs);
    // The upload connections are kept from one pass to the next; what was running is dropped.
    if (!m_imageUploadSession) {
        m_imageUploadSession = std::make_unique<PLRUploadClient>(kUploadConnections);
        m_imageUploadSession->setObjectName(
            QStringLiteral("Image Upload Session for post: %1").arg(post() ? post()->name() : QString()));
    }
}

bool PLRWebServicePostPublisher::isUsableUploadURL(const QUrl& url, const QUrl& service)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    // Plain http only towards a service that is itself reached over plain http.
    return url.scheme() == QLatin1String("http") && service.scheme() == QLatin1String("http");
}

void PLRWebServicePostPublisher::joinRealTimeMessages()
{
    if (!m_publishingPost)
        return;
    PLRWebServiceHost& host = PLRWebServiceHost::currentHost();
    host.ensureSocketConnection();
    host.addMessageDelegate(this, m_publishingPost->identifier());
}

void PLRWebServicePostPublisher::setUploadStalled(bool stalled)
{
    if (m_uploadStalled == stalled)
        return;
    m_uploadStalled = stalled;
    emit uploadStalledChanged();
}

void PLRWebServicePostPublisher::resetUploadRetries()
{
    m_passStart.cancel();
    m_failedPasses = 0;
    m_passAsked = 0;
    m_deliveredImages.clear();
    setUploadStalled(false);
}

bool PLRWebServicePostPublisher::retryUpload()
{
    if (!m_uploadStalled || !inState(PLRPP_STATE_UPLOADING_IMAGES))
        return false;
    PLR_LOG_INFO(QStringLiteral("Upload of %1 tried again by the user").arg(m_stateMachine->name()));
    resetUploadRetries();
    setLastError(QString());
    runUploadPass(++m_passGeneration);
    return true;
}

PLRFiniteState::Block PLRWebServicePostPublisher::uploadingImagesEnterBlock()
{
    return [this](const PLRFiniteStatePtr&, const PLRFiniteTransitionPtr& transition) {
        // A progress report during the pass: the pass goes on.
        if (transition && transition->sourceState()
            && transition->sourceState()->name() == QLatin1String(PLRPP_STATE_UPLOADING_IMAGES))
            return;
        startUploadPass();
    };
}

void PLRWebServicePostPublisher::startUploadPass()
{
    const quint64 pass = ++m_passGeneration;
    m_passStart.cancel();
    // A pass that ended with photos missing (dropped, refused or failed uploads) is followed by
    // the next one only after a growing pause, and only so many times in a row. So is a pass
    // after which the service asks again for a photo whose upload was answered as taken in this
    // publish: the upload host said yes, but the service never got it, and sending it again and
    // again would never end.
    bool unreceived = false;
    if (m_passAsked > 0) {
        for (const QString& reference : std::as_const(m_pushedImages))
            m_deliveredImages.insert(reference);
        const QStringList required = referencesOf(pendingRevision());
        unreceived = std::any_of(required.cbegin(), required.cend(),
                                 [this](const QString& reference) { return m_deliveredImages.contains(reference); });
        const bool unfinished = int(m_pushedImages.size()) < m_passAsked || unreceived;
        m_failedPasses = unfinished ? m_failedPasses + 1 : 0;
    }
    m_passAsked = 0;
    m_pushedImages.clear();
    const Timing timing = PLRWebServicePostPublisher::timing();
    if (m_failedPasses >= timing.uploadPassLimit) {
        PLR_LOG_ERROR(QStringLiteral("%1: %2 upload passes in a row did not finish%3; waiting for the user")
                          .arg(m_stateMachine->name())
                          .arg(m_failedPasses)
                          .arg(unreceived ? QStringLiteral(" (uploads taken, yet asked for again)") : QString()));
        setLastError(unreceived ? QStringLiteral("The photos were uploaded, but the service did not receive them.")
                                : QStringLiteral("The photos could not be uploaded."));
        setUploadStalled(true);
        return;
    }
    if (m_failedPasses == 0) {
        runUploadPass(pass);
        return;
    }
    double delay = timing.uploadRetryFirst;
    for (int i = 1; i < m_failedPasses; ++i)
        delay = qMin(delay * 2, timing.uploadRetryMax);
    PLR_LOG_INFO(QStringLiteral("%1: next upload pass in %2 s").arg(m_stateMachine->name()).arg(delay));
    m_passStart = platform::Clock::shared().after(delay, this, [this, pass] {
        if (pass == m_passGeneration && inState(PLRPP_STATE_UPLOADING_IMAGES))
            runUploadPass(pass);
    });
}

void PLRWebServicePostPublisher::runUploadPass(quint64 pass)
{
    m_pushedImages.clear();
    m_passLostConnection = false;
    const QStringList references = referencesOf(pendingRevision());
    if (!m_publishingPost) {
        fire(PLRPP_EVENT_CANCEL_PROCESS);
        return;
    }
    // The service says over the socket when the build is done: listen before the pass ends.
    joinRealTimeMessages();
    if (references.isEmpty()) {
        fire(PLRPP_EVENT_WAITING_FOR_SERVER);
        return;
    }
    QVariantList entries;
    for (const QString& reference : references) {
        const PLRSourceImagePtr image = m_postManager ? m_postManager->imageForIdentifier(reference) : nullptr;
        // A photo without its export file (gone, cut short, not readable) would go up as nothing
        // or as a grey picture: it is named instead.
        if (!image || image->exportFilePath().isEmpty()) {
            PLR_LOG_WARN(QStringLiteral("Canceling publish due to image not found: %1").arg(reference));
            setLastError(unusablePhotoError(image));
            fire(PLRPP_EVENT_CANCEL_PROCESS);
            return;
        }
        QVariantList keywords;
        for (const QString& keyword : image->focusKeywords())
            keywords << keyword;
        entries << QVariantMap{{QStringLiteral("ref_id"), reference},
                               {QStringLiteral("name"), QFileInfo(image->location().toLocalFile()).completeBaseName()},
                               {QStringLiteral("mimetype"), image->isImageGIF() ? QStringLiteral("gif") : QStringLiteral("jpg")},
                               {QStringLiteral("keywords"), keywords}};
    }
    m_passAsked = int(entries.size());
    // Every photo of the pass is outstanding until its upload is answered or it is known that
    // it will not go up in this pass.
    m_imageInfoToPush.clear();
    for (const QVariant& entry : std::as_const(entries))
        m_imageInfoToPush << entry.toMap().value(QStringLiteral("ref_id")).toString();
    ensureImageSession();
    const QString token = PLRCurrentSessionToken();
    const QUrl url = PLRWebServiceHost::currentHost().serviceMeURLWithPaths(
        {PLRWebServicePost::resourcePath().constFirst(), m_publishingPost->identifier(), QStringLiteral("images-batch")});
    for (qsizetype start = 0; start < entries.size(); start += kImageBatchSize) {
        const QVariantList batch = entries.mid(start, kImageBatchSize);
        QStringList asked;
        for (const QVariant& entry : batch)
            asked << entry.toMap().value(QStringLiteral("ref_id")).toString();
        QNetworkReply* reply = m_imageInfoSession->post(requestWithAuthentication(token, url),
                                                        platform::json::write(QVariantMap{{QStringLiteral("images"), batch}}, true));
        m_imageInfoTasks.insert(reply);
        connect(reply, &QNetworkReply::finished, this, [this, pass, reply, asked] { handleBatchAnswer(pass, reply, asked); });
    }
}

void PLRWebServicePostPublisher::handleBatchAnswer(quint64 pass, QNetworkReply* reply, QStringList asked)
{
    m_imageInfoTasks.remove(reply);
    reply->deleteLater();
    if (pass != m_passGeneration)
        return;
    const auto [transport, response, body, parseFailed] = readServiceAnswer(reply);
    const QVariant images = body.toMap().value(QStringLiteral("images"));
    if (transport.isValid() || !response.isCodeGood() || images.typeId() != QMetaType::QVariantList) {
        // The pass ends once what is running has finished; the build check then starts a new
        // pass for the photos the service still lacks.
        for (const QString& reference : std::as_const(m_imageInfoToPush))
            if (!m_uploadingReferences.contains(reference))
                asked << reference;   // the other batches are dropped with this one
        invalidateImageInfoSession();
        for (const QString& reference : std::as_const(asked))
            m_imageInfoToPush.removeAll(reference);
        const QString reason = transport.isValid() ? transport.toString()
                                                   : PLRServiceError::serviceErrorWithDictionary(body).description();
        PLR_LOG_WARN(QStringLiteral("Bailing on Image Upload: %1").arg(reason));
        checkImageUploadStatus();
        return;
    }
    QList<QPair<QString, QUrl>> usable;
    for (const QVariant& value : images.toList()) {
        const PLRServiceError error = PLRServiceError::serviceErrorWithDictionary(value);
        const QVariantMap entry = value.toMap();
        const QString reference = entry.value(QStringLiteral("ref_id")).toString();
        const QUrl url(entry.value(QStringLiteral("signed_url")).toString());
        // One address for each photo this batch asked for: any other entry is not ours to use.
        if (!asked.removeOne(reference)) {
            PLR_LOG_WARN(QStringLiteral("Image Err: an address for %1, which was not asked for or has one already")
                             .arg(reference.left(128)));
            continue;
        }
        if (error.code() != 0) {
            PLR_LOG_WARN(QStringLiteral("Image Err: %1").arg(error.description()));
            m_imageInfoToPush.removeAll(reference);
            continue;
        }
        // Never a local file or any other scheme: only the web, and plain http only when the
        // service itself is plain http.
        if (!isUsableUploadURL(url, PLRWebServiceHost::currentHost().serviceURL())) {
            PLR_LOG_ERROR(QStringLiteral("Image Err: refused upload address for %1: %2")
                              .arg(reference, url.toString(QUrl::RemoveQuery | QUrl::RemoveUserInfo)));
            m_imageInfoToPush.removeAll(reference);
            continue;
        }
        usable.append({reference, url});
    }
    for (const QString& reference : std::as_const(asked)) {
        PLR_LOG_WARN(QStringLiteral("Image Err: no address for %1").arg(reference));
        m_imageInfoToPush.removeAll(reference);
    }
    for (const auto& [reference, url] : usable)
        pushImage(reference, url, 0);
    if (usable.isEmpty())
        checkImageUploadStatus();
}

void PLRWebServicePostPublisher::pushImage(const QString& reference, const QUrl& signedURL, int attempt)
{
    if (!m_imageUploadSession)
        return;
    if (!isUsableUploadURL(signedURL, PLRWebServiceHost::currentHost().serviceURL())) {
        PLR_LOG_ERROR(QStringLiteral("Image failed: %1 error: refused upload address").arg(reference));
        m_imageInfoToPush.removeAll(reference);
        checkImageUploadStatus();
        return;
    }
    const PLRSourceImagePtr image =
        m_postManager && m_postManager->sourceDirectory() ? m_postManager->sourceDirectory()->sourceImageForIdentifier(reference)
                                                          : nullptr;
    const QString path = image ? image->exportFilePath() : QString();
    const QFileInfo file(path);
    if (path.isEmpty() || !file.isFile() || !file.isReadable() || file.size() == 0) {
        PLR_LOG_WARN(QStringLiteral("Canceling publish due to image not found: %1").arg(reference));
        setLastError(unusablePhotoError(image));
        fire(PLRPP_EVENT_CANCEL_PROCESS);
        return;
    }
    // The body is read from the export file as it goes out, never held whole.
    const quint64 pass = m_passGeneration;
    auto task = std::make_shared<quint64>(0);
    *task = m_imageUploadSession->put(
        signedURL, path,
        [this, pass, task, reference, signedURL, attempt](const PLRUploadClient::Result& result) {
            m_imageUploadTasks.remove(*task);
            if (pass != m_passGeneration)
                return;
            m_uploadingReferences.removeOne(reference);
            if (result.transport.isValid()) {
                const platform::Error& transport = result.transport;
                PLR_LOG_WARN(QStringLiteral("Image failed: %1 error: %2").arg(reference, transport.toString()));
                // Tried again: still outstanding.
                if (transport.code == platform::urlerror::TimedOut && attempt < 3) {
                    pushImage(reference, signedURL, attempt + 1);
                    return;
                }
                m_imageInfoToPush.removeAll(reference);
                // A connection that failed (not one that was slow) may mean the service is gone:
                // the connection machine is asked once a pass, not once a photo.
                if (isLossOfInternet(transport) && transport.code != platform::urlerror::TimedOut
                    && !m_passLostConnection) {
                    m_passLostConnection = true;
                    PLRWebServiceManager::globalManager().handlePossibleConnectionChange();
                }
                checkImageUploadStatus();
                return;
            }
            m_imageInfoToPush.removeAll(reference);
            if (result.status < 200 || result.status > 299) {
                PLR_LOG_WARN(QStringLiteral("Image failed: %1 status: %2").arg(reference).arg(result.status));
                checkImageUploadStatus();
                return;
            }
            PLR_LOG_INFO(QStringLiteral("Image pushed: %1").arg(reference));
            m_pushedImages << reference;
            fire(PLRPP_EVENT_UPLOAD_IMAGES, {{QString::fromLatin1(kPLRPPRequiredKey), requiredCount()},
                                             {QString::fromLatin1(kPLRPPUploadedKey), int(m_pushedImages.size())}});
            checkImageUploadStatus();
        },
        timing().uploadTimeoutMs);
    m_imageUploadTasks.insert(*task);
    m_uploadingReferences << reference;
}

void PLRWebServicePostPublisher::checkImageUploadStatus()
{
    if (!m_imageInfoSession || !m_imageUploadSession)
        return;
    if (!m_imageInfoTasks.isEmpty() || !m_imageInfoToPush.isEmpty() || !inState(PLRPP_STATE_UPLOADING_IMAGES))
        return;
    if (!m_imageUploadTasks.isEmpty())
        return;
    fire(PLRPP_EVENT_WAITING_FOR_SERVER);
}

// ---- build wait ----

PLRFiniteState::Block PLRWebServicePostPublisher::serverBuildingEnterBlock()
{
    return [this](const PLRFiniteStatePtr&, const PLRFiniteTransitionPtr& transition) {
        const QVariant delay = transition ? transition->userInfo().value(QString::fromLatin1(kPLRPPDelayKey)) : QVariant();
        m_buildCheckDelay = delay.isValid() ? delay.toDouble() : timing().buildCheckDelay;
        m_passStart.cancel();
        joinRealTimeMessages();
        // A check that the service's build event started during the uploads is answered
        // here and goes on from there; an event that came before the check could be made
        // (while the request was answered) is acted on now. Otherwise the first check waits.
        if (buildCheckRunning())
            return;
        if (std::exchange(m_buildEventSeen, false)) {
            checkServerCompletedBuild(m_buildCheckDelay);
            return;
        }
        scheduleBuildCheck(m_buildCheckDelay);
    };
}

PLRFiniteState::Block PLRWebServicePostPublisher::serverBuildingExitBlock()
{
    return [this](const PLRFiniteStatePtr&, const PLRFiniteTransitionPtr&) {
        m_buildCheck.cancel();
        ++m_buildCheckGeneration;
        m_buildEventSeen = false;
    };
}

bool PLRWebServicePostPublisher::buildCheckRunning() const
{
    return m_buildCheckAwaited != 0 && m_buildCheckAwaited == m_buildCheckGeneration;
}

void PLRWebServicePostPublisher::resetBuildWait()
{
    m_buildCheck.cancel();
    ++m_buildCheckGeneration;
    m_buildEventSeen = false;
    m_buildCheckDelay = timing().buildCheckDelay;
}

void PLRWebServicePostPublisher::scheduleBuildCheck(double delay)
{
    // One chain of checks: whatever was scheduled gives way to this one.
    m_buildCheck.cancel();
    m_buildCheck = platform::Clock::shared().after(delay, this, [this, delay] { checkServerCompletedBuild(delay); });
}

void PLRWebServicePostPublisher::checkServerCompletedBuild(double delay)
{
    // During the uploads a check can only find the build done (the service's event came
    // early); the chain of checks belongs to the build wait alone.
    const bool waiting = inState(PLRPP_STATE_SERVER_BUILDING);
    if (!waiting && !inState(PLRPP_STATE_UPLOADING_IMAGES))
        return;
    m_buildCheck.cancel();
    if (waiting)
        m_buildCheckDelay = delay;
    // Only the newest check's answer counts.
    const quint64 generation = ++m_buildCheckGeneration;
    PLRPersistantPost* record = post();
    QPointer<PLRWebServicePostPublisher> self(this);
    const bool sent = record && PLRWebServicePost::getObjectFromServerRequest(
        [self, generation](bool success, const QVariant& result, const std::optional<PLRServiceError>& serviceError,
                                  const platform::Error& transportError) {
            if (!self || generation != self->m_buildCheckGeneration)
                return;
            self->m_buildCheckAwaited = 0;
            self->m_buildEventSeen = false;
            const bool building = self->inState(PLRPP_STATE_SERVER_BUILDING);
            if (!building && !self->inState(PLRPP_STATE_UPLOADING_IMAGES))
                return;
            // The wait's pace, also for a check that began during the uploads.
            const double next = self->m_buildCheckDelay;
            if (!success) {
                const QString reason = serviceError ? serviceError->description() : transportError.toString();
                PLR_LOG_WARN(QStringLiteral("Bailing on Image Upload: %1").arg(reason));
                if (!building)
                    return;
                if (serviceError && serviceError->code() == 301) {
                    // The remote post is gone (unpublished meanwhile): nothing to wait for; the
                    // fetch that follows finds out what is left.
                    self->setLastError(QString());
                    self->fire(PLRPP_EVENT_REFRESH);
                    return;
                }
                self->setLastError(QStringLiteral("The service's build could not be checked."));
                self->scheduleBuildCheck(next);
                return;
            }
            const PLRWebServicePostPtr remote = result.value<PLRWebServicePostPtr>();
            const PLRWebServicePostRevisionPtr live = remote ? remote->liveRevision() : nullptr;
            const bool built = remote && remote->status() == 0 && !remote->pendingRevision() && live && live->status() == 0;
            if (!building) {
                // Still uploading and not built: the pass goes on with the post it has.
                if (!built)
                    return;
                // Built: what is still going up is of no use any more.
                ++self->m_passGeneration;
                self->invalidateImageInfoSession();
                self->invalidateImageUploadSession();
            }
            self->m_publishingPost = remote;
            self->setLastError(QString());
            if (built) {
                self->fire(PLRPP_EVENT_REMOTE_POST_UP_TO_DATE);
                return;
            }
            const int required = self->requiredCount();
            if (required > 0) {
                self->fire(PLRPP_EVENT_UPLOAD_IMAGES, {{QString::fromLatin1(kPLRPPRequiredKey), required},
                                                       {QString::fromLatin1(kPLRPPUploadedKey), 0}});
                return;
            }
            self->scheduleBuildCheck(next);
        },
        record->remoteIdentifier());
    if (sent)
        m_buildCheckAwaited = generation;
    else if (waiting)
        scheduleBuildCheck(delay);
}

void PLRWebServicePostPublisher::webServiceHost(PLRWebServiceHost*, const QString& event, const QVariant& message)
{
    PLR_LOG_INFO(QStringLiteral("POST PUBLISHER '%1' GOT EVENT: %2 MESSAGE: %3")
                     .arg(post() ? post()->name() : QString(), event,
                          QString::fromUtf8(platform::json::write(message, false))));
    if (event != QLatin1String("revision_active"))
        return;
    // The service has built a revision: checked at once, in place of the check that waits.
    if (inState(PLRPP_STATE_SERVER_BUILDING) || inState(PLRPP_STATE_UPLOADING_IMAGES)) {
        checkServerCompletedBuild(m_buildCheckDelay);
        return;
    }
    // Built while the request was still being answered: the wait checks as soon as it begins.
    for (const char* state : {PLRPP_STATE_CREATING_POST, PLRPP_STATE_UPDATING_POST, PLRPP_STATE_CREATED_POST,
                              PLRPP_STATE_UPDATED_POST})
        if (inState(state))
            m_buildEventSeen = true;
}
