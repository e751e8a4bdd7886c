#pragma once

#include "services/web-services/PLRWebServiceModelObject.h"
#include "services/web-services/PLRWebServicePostRevision.h"

// A published post's record on the web service (resource /api/me/posts/{id}), with the
// revision sent but not yet live and the revision that is live.
class PLRWebServicePost : public PLRWebServiceModelObject {
public:
    // Reads "name", "live" and "status"; the revisions are read by fromJSON().
    explicit PLRWebServicePost(const QVariantMap& json = {});
    // A post with its revisions: "pending_revision" and "live_revision" each hold {"data": {...}};
    // a null or missing member (or one without a "data" object) gives no revision. The
    // revisions' post() is this post.
    static std::shared_ptr<PLRWebServicePost> fromJSON(const QVariantMap& json);

    static const char* staticClassName() { return "PLRWebServicePost"; }
    const char* className() const override { return staticClassName(); }

    QString name() const { return m_name; }
    void setName(const QString& name) { m_name = name; }
    bool live() const { return m_live; }
    void setLive(bool live) { m_live = live; }
    qint64 status() const { return m_status; }
    void setStatus(qint64 status) { m_status = status; }
    PLRWebServicePostRevisionPtr pendingRevision() const { return m_pendingRevision; }
    void setPendingRevision(const PLRWebServicePostRevisionPtr& revision) { m_pendingRevision = revision; }
    PLRWebServicePostRevisionPtr liveRevision() const { return m_liveRevision; }
    void setLiveRevision(const PLRWebServicePostRevisionPtr& revision) { m_liveRevision = revision; }

    static QStringList resourcePath() { return {QStringLiteral("posts")}; }

    // Logs that the post id is needed and returns false.
    static bool getObjectFromServerRequest(const PLRServiceCompletion& completion);
    // GET /api/me/posts/{postId}. False (and no completion) without a post id or session token.
    static bool getObjectFromServerRequest(const PLRServiceCompletion& completion, const QString& postId);

    // PUT /api/me/posts/{identifier} with {"post": the caller's dictionary}. On success the post
    // takes "name", "status", "live" and "updated_at" from the answer; the result is this post.
    bool updateObjectWithDictionary(const QVariantMap& dictionary,
                                    PLRServiceCompletion completion = {}) override;

    // The base dictionary plus "name" when present.
    QVariantMap dictionary() const override;

    // POST /api/me/posts/{identifier}/clean with {"ok": ""}. On success: with "deep_purge" true
    // in the answer the result is none; otherwise the post drops its pending revision and the
    // result is this post.
    bool cleanUpPost(PLRServiceCompletion completion);
    // GET /api/me/posts/{identifier}/link-stub: on success the result is the body as UTF-8 text.
    bool getLinkStub(PLRServiceCompletion completion);
    // GET /api/me/posts/{identifier}/link-destination: on success the result is the answer's
    // top-level "link" text (an answer without one is a failure).
    bool getLinkDestination(PLRServiceCompletion completion);

private:
    QUrl postURL(const QStringList& extra = {}) const;

    QString m_name;
    bool m_live = false;
    qint64 m_status = 0;
    PLRWebServicePostRevisionPtr m_pendingRevision;
    PLRWebServicePostRevisionPtr m_liveRevision;
};

using PLRWebServicePostPtr = std::shared_ptr<PLRWebServicePost>;
Q_DECLARE_METATYPE(PLRWebServicePostPtr)
