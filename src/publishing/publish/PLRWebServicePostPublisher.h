#pragma once

#include "services/state_machine/PLRFiniteStateMachine.h"
#include "store/persistance-store/source/PLRSourceImage.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRPostPublishing.h"
#include "services/web-services/PLRServiceRequest.h"
#include "services/web-services/PLRWebServiceHost.h"
#include "services/web-services/PLRWebServicePost.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <functional>
#include <memory>

class PLRPostManager;
class PLRPersistantPost;
class PLRWebServiceUserManager;
class PLRUploadClient;
class QNetworkAccessManager;
class QNetworkReply;

// States of the publisher's machine.
inline constexpr char PLRPP_STATE_FETCHING_INFO[] = "FETCHING_INFO";
inline constexpr char PLRPP_STATE_UPDATE_AVAILABLE[] = "UPDATE_AVAILABLE";
inline constexpr char PLRPP_STATE_NOT_PUBLISHED[] = "NOT_PUBLISHED";
inline constexpr char PLRPP_STATE_WAITING_FOR_SERVICE[] = "WAITING_FOR_SERVICE";
inline constexpr char PLRPP_STATE_IDLE[] = "IDLE";
inline constexpr char PLRPP_STATE_CREATING_POST[] = "CREATING_POST";
inline constexpr char PLRPP_STATE_CREATED_POST[] = "CREATED_POST";
inline constexpr char PLRPP_STATE_UPLOADING_IMAGES[] = "UPLOADING_IMAGES";
inline constexpr char PLRPP_STATE_UPDATING_POST[] = "UPDATING_POST";
inline constexpr char PLRPP_STATE_UPDATED_POST[] = "UPDATED_POST";
inline constexpr char PLRPP_STATE_SERVER_BUILDING[] = "SERVER_BUILDING";
inline constexpr char PLRPP_STATE_CANCELLING[] = "CANCELLING";

// Events of the publisher's machine.
inline constexpr char PLRPP_EVENT_SERVICE_CHANGED[] = "ENV_SERVICE_CHANGED";
inline constexpr char PLRPP_EVENT_REFRESH[] = "ENV_REFRESH";
inline constexpr char PLRPP_EVENT_SERVICE_RESTORED[] = "ENV_SERVICE_RESTORED";
inline constexpr char PLRPP_EVENT_LAYOUT_DATA_CHANGED_AVAILABLE[] = "ENV_LAYOUT_DATA_CHANGED_AVAILABLE";
inline constexpr char PLRPP_EVENT_LAYOUT_DATA_CHANGED_NOT_AVAILABLE[] = "ENV_LAYOUT_DATA_CHANGED_NOT_AVAILABLE";
inline constexpr char PLRPP_EVENT_NO_REMOTE_POST[] = "ENV_NO_REMOTE_POST";
inline constexpr char PLRPP_EVENT_REMOTE_POST_UP_TO_DATE[] = "ENV_REMOTE_POST_UP_TO_DATE";
inline constexpr char PLRPP_EVENT_CREATE_REMOTE_POST[] = "ENV_CREATE_REMOTE_POST";
inline constexpr char PLRPP_EVENT_BAIL_REMOTE_POST_MANIPULATE[] = "ENV_BAIL_REMOTE_POST_MANIPULATE";
inline constexpr char PLRPP_EVENT_REMOTE_POST_CREATED[] = "ENV_REMOTE_POST_CREATED";
inline constexpr char PLRPP_EVENT_UPDATE_REMOTE_POST[] = "ENV_UPDATE_REMOTE_POST";
inline constexpr char PLRPP_EVENT_CONTINUE_UPDATING_REMOTE_POST[] = "ENV_CONTINUE_UPDATING_REMOTE_POST";
inline constexpr char PLRPP_EVENT_UPDATED_REMOTE_POST[] = "ENV_UPDATED_REMOTE_POST";
inline constexpr char PLRPP_EVENT_UPLOAD_IMAGES[] = "ENV_UPLOAD_IMAGES";
inline constexpr char PLRPP_EVENT_WAITING_FOR_SERVER[] = "ENV_WAITING_FOR_SERVER";
inline constexpr char PLRPP_EVENT_CANCEL_PROCESS[] = "ENV_CANCEL_PROCESS";

// Keys of the progress event's user data, and of the build wait's.
inline constexpr char kPLRPPRequiredKey[] = "required";
inline constexpr char kPLRPPUploadedKey[] = "uploaded";
inline constexpr char kPLRPPDelayKey[] = "delay";

// Keeps one open post in step with its remote post on the web service: finds out whether it
// is published and whether the local post differs from what is live, creates or updates the
// remote post, uploads the photos the service asks for, waits for the service's build,
// cancels and unpublishes. Driven by one state machine, "Post_Publisher_for_<post name>".
//
// One per post manager, made when the post opens (an eager component of the post manager).
class PLRWebServicePostPublisher : public QObject,
                                   public PLRPostPublishing,
                                   public PLRWebServiceHostRealTimeDelegate {
    Q_OBJECT
public:
    // Whether an upload address handed out by the service at `service` may receive a PUT: an
    // https address with a host; plain http only from a service that is itself plain http.
    static bool isUsableUploadURL(const QUrl& url, const QUrl& service);

    // Times the publisher waits; tests and benchmarks shorten them.
    struct Timing {
        double buildCheckDelay = 30.0;      // seconds between build checks
        int uploadTimeoutMs = 60000;        // one photo upload
        int imageInfoTimeoutMs = 180000;    // one image-info batch request
        double fetchRetryFirst = 2.0;       // seconds before the first retry of a failed fetch
        double fetchRetryMax = 120.0;       // the longest wait between fetch retries
        double uploadRetryFirst = 2.0;      // seconds before the pass after one that did not finish
        double uploadRetryMax = 120.0;      // the longest wait between such passes
        int uploadPassLimit = 6;            // unfinished passes in a row before the publisher stops
    };
    static Timing timing();
    static void setTiming(const Timing& timing);

    // Opens the publisher set-up workflow (publishing-primary flag, completion with the
    // modal's result code: -1002 when completed). Registered by the set-up pages; without one
    // a publish by a user who has no publisher is refused (logged).
    using PublisherWorkflow = std::function<void(bool publishingPrimary, std::function<void(int response)> completion)>;
    static void setPublisherWorkflow(PublisherWorkflow workflow);

    // Builds and starts the machine (the first fetch starts now) and follows the connection,
    // the layout and the post's SEO fields.
    explicit PLRWebServicePostPublisher(PLRPostManager& postManager);
    ~PLRWebServicePostPublisher() override;

    PLRPostManager* postManager() const { return m_postManager; }
    PLRFiniteStateMachine* stateMachine() const { return m_stateMachine.get(); }
    PLRFiniteStatePtr currentState() const;
    QString currentStateName() const;
    PLRWebServicePostPtr publishingPost() const { return m_publishingPost; }
    PLRWebServicePostRevisionPtr pendingRevision() const;
    PLRWebServicePostRevisionPtr liveRevision() const;
    PLRWebServicePublishRevisionPtr pendingPublishRevision() const;
    PLRWebServicePublishRevisionPtr livePublishRevision() const;
    // A publish runs: creating, created, uploading, updating or building.
    bool updating() const;
    // No cancel is possible in the current state.
    bool isBuildingBlog() const;
    // What went wrong last (a failed fetch, create, update or build check), for the panel;
    // empty once things work again.
    QString lastError() const { return m_lastError; }
    // The upload passes kept failing and the publisher has stopped trying (still uploading:
    // the user retries or cancels); lastError() says why.
    bool uploadStalled() const { return m_uploadStalled; }
    // Starts a new upload pass at once after the publisher stopped trying. False when it had not.
    bool retryUpload();

    // Publish (or update) without publishing to the website's blog, or with a category.
    bool createOrUpdatePublishedPost();
    bool createOrUpdatePublishedPostWithPublishCategory(const QString& category, bool autoPublish);
    bool createOrUpdatePublishedPostPublish(bool publish, const QString& category, bool autoPublish);
    bool cancelPublishing();
    // Unpublishes: DELETE of the remote post. False when nothing was sent (no token, no remote
    // identifier); the completion then never runs.
    bool deletePost(PLRServiceCompletion completion = {});
    // Runs the block now when the machine is settled (IDLE, UPDATE_AVAILABLE, NOT_PUBLISHED),
    // else on its next entry into one of those.
    void addIdleCompletionBlock(IdleBlock block) override;
    bool deletePublishedPost(DeleteCompletion completion) override;
    bool firePostNeedsUpdateIfPossible();
    void firePostUpdateCancelled();
    bool isLocalVersionIsDifferent() const;
    bool isPublishedBlobBehindCurrent() const;

    using StateChangeHandler = std::function<void(const platform::Notification&)>;
    void addStateChangeNotificationHandler(QObject* observer, StateChangeHandler handler);
    void removeStateChangeNotificationHandler(QObject* observer);

    // ---- payloads ----
    // The layout's protobuf bytes, Base64 (standard alphabet, padded, one line).
    QString layoutBlob() const;
    QVariantMap createPostRevisionPayload() const;
    static QVariantMap createPublishRevisionPayload(const QString& category, bool autoPublish);
    QVariantMap imageInfoPayload(const QList<PLRSourceImagePtr>& images) const;
    // The create envelope (with "name") or the update envelope; empty (with lastError()) when a
    // photo has no export file.
    QVariantMap requestPayload(bool create, bool publish, const QString& category, bool autoPublish,
                               const QList<PLRSourceImagePtr>& images);

    // ---- upload and build wait ----
    void ensureImageSession();
    void pushImage(const QString& reference, const QUrl& signedURL, int attempt);
    void checkImageUploadStatus();
    void checkServerCompletedBuild(double delay);
    void webServiceHost(PLRWebServiceHost* host, const QString& event, const QVariant& message) override;

    // Call-backs.
    void webServiceManagerStateChangeNotification();
    void checkLocalDiffs();

signals:
    void lastErrorChanged();
    void uploadStalledChanged();

private:
    using Block = PLRFiniteState::Block;
    void buildStateMachine();
    bool fire(const char* event, const QVariantMap& userInfo = {});
    bool canFire(const char* event) const;
    bool inState(const char* state) const;
    PLRPersistantPost* post() const;
    PLRWebServiceUserManager* userManager() const;
    void setLastError(const QString& error);
    void saveRecordAsync();

    Block fetchingInfoEnterBlock();
    Block idleEnterBlock();
    Block settledEnterBlock();
    Block creatingPostEnterBlock();
    Block createdOrUpdatedEnterBlock();
    Block updatingPostEnterBlock();
    Block uploadingImagesEnterBlock();
    Block serverBuildingEnterBlock();
    Block serverBuildingExitBlock();
    Block cancelingEnterBlock();
    Block leaveFetchingBlock();

    void fetchRemotePost();
    void scheduleFetchRetry();
    void sendPostRequest(bool create, const QVariantMap& payload);
    void handlePostAnswer(bool create, quint64 generation, QNetworkReply* reply, const QVariantMap& payload);
    void handlePostError(const PLRServiceError& error, const char* continueEvent, const QVariantMap& userInfo);
    // Tells the user that an update did not reach the service.
    void showUpdateNotSent();
    void runIdleBlocks();
    bool preCheck(bool publish, const QString& category, bool autoPublish, bool update);

    // Upload pass.
    void startUploadPass();
    void runUploadPass(quint64 pass);
    void setUploadStalled(bool stalled);
    void resetUploadRetries();
    void joinRealTimeMessages();
    // `asked`: the photos that the batch asked addresses for.
    void handleBatchAnswer(quint64 pass, QNetworkReply* reply, QStringList asked);
    void invalidateImageInfoSession();
    void invalidateImageUploadSession();
    void scheduleBuildCheck(double delay);
    bool buildCheckRunning() const;
    // A new revision is on its way: nothing of an earlier build wait counts any more.
    void resetBuildWait();
    int requiredCount() const;

    QPointer<PLRPostManager> m_postManager;
    std::unique_ptr<PLRFiniteStateMachine> m_stateMachine;
    PLRWebServicePostPtr m_publishingPost;
    std::vector<IdleBlock> m_idleCompletionHandlers;
    QString m_lastError;

    // Image sessions and the pass's bookkeeping.
    std::unique_ptr<QNetworkAccessManager> m_imageInfoSession;
    std::unique_ptr<PLRUploadClient> m_imageUploadSession;
    QSet<QNetworkReply*> m_imageInfoTasks;
    QSet<quint64> m_imageUploadTasks;
    QStringList m_imageInfoToPush;     // references asked for or being uploaded in this pass
    QStringList m_uploadingReferences; // references whose upload is on its way
    QStringList m_pushedImages;        // references uploaded in this pass
    QSet<QString> m_deliveredImages;   // references whose upload was answered as taken in this publish
    quint64 m_passGeneration = 0;      // answers of earlier passes are dropped
    int m_passAsked = 0;               // photos asked for in the current pass
    bool m_passLostConnection = false; // a lost connection was reported in this pass
    int m_failedPasses = 0;            // passes in a row that ended with photos missing
    bool m_uploadStalled = false;
    platform::Cancellable m_passStart;
    QSet<quint64> m_cancelledCreates;  // generations of create requests the user cancelled
    quint64 m_createGeneration = 0;    // the create request on its way, 0 when none

    // Late answers are dropped by generation: one for the post requests and fetches, one for
    // the build checks.
    quint64 m_requestGeneration = 0;
    quint64 m_buildCheckGeneration = 0;
    quint64 m_buildCheckAwaited = 0;   // the generation of the check whose answer is awaited
    bool m_buildEventSeen = false;     // the service said it built while the request was answered
    double m_buildCheckDelay = 30.0;   // seconds from one check's answer to the next check
    platform::Cancellable m_buildCheck;
    platform::Cancellable m_fetchRetry;
    double m_fetchRetryDelay = 0;
    QList<QPointer<QObject>> m_stateObservers;
    QMetaObject::Connection m_layoutObservation;
};
