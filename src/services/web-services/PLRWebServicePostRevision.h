#pragma once

#include "services/web-services/PLRWebServiceModelObject.h"
#include "services/web-services/PLRWebServicePublishRevision.h"

#include <QMutex>

class PLRWebServicePost;

// One uploaded version of a post on the web service
// (resource /api/me/posts/{post}/postrevisions/{revision}).
class PLRWebServicePostRevision : public PLRWebServiceModelObject {
public:
    // Reads "status", "blob_hash", "seo_title", "meta", "keywords", "render_version",
    // "required_image_refs", "image_keywords" (null gives an empty dictionary) and
    // "publish_revision_id".
    explicit PLRWebServicePostRevision(const QVariantMap& json = {});
    static std::shared_ptr<PLRWebServicePostRevision> fromJSON(const QVariantMap& json);

    static const char* staticClassName() { return "PLRWebServicePostRevision"; }
    const char* className() const override { return staticClassName(); }

    qint64 status() const { return m_status; }
    void setStatus(qint64 status) { m_status = status; }
    QString blobHash() const { return m_blobHash; }
    void setBlobHash(const QString& hash) { m_blobHash = hash; }
    QString seoTitle() const { return m_seoTitle; }
    void setSeoTitle(const QString& title) { m_seoTitle = title; }
    QString meta() const { return m_meta; }
    void setMeta(const QString& meta) { m_meta = meta; }
    const std::optional<QVariantList>& keywords() const { return m_keywords; }
    void setKeywords(const std::optional<QVariantList>& keywords) { m_keywords = keywords; }
    QString renderVersion() const { return m_renderVersion; }
    void setRenderVersion(const QString& version) { m_renderVersion = version; }
    const std::optional<QVariantList>& requiredImgRefs() const { return m_requiredImgRefs; }
    void setRequiredImgRefs(const std::optional<QVariantList>& refs) { m_requiredImgRefs = refs; }
    const std::optional<QVariantMap>& imageKeywords() const { return m_imageKeywords; }
    void setImageKeywords(const std::optional<QVariantMap>& keywords) { m_imageKeywords = keywords; }
    QString publishRevisionID() const { return m_publishRevisionID; }
    void setPublishRevisionID(const QString& identifier) { m_publishRevisionID = identifier; }

    // The post it belongs to (not owned; null once the post is gone).
    std::shared_ptr<PLRWebServicePost> post() const { return m_post.lock(); }
    void setPost(const std::shared_ptr<PLRWebServicePost>& post) { m_post = post; }

    // The publish result attached by getPublishRevision(). Safe from any thread.
    PLRWebServicePublishRevisionPtr publishRevision() const;
    void setPublishRevision(const PLRWebServicePublishRevisionPtr& publishRevision);

    static QStringList resourcePath() { return {QStringLiteral("postrevisions")}; }

    // Logs that the post and revision ids are needed and returns false.
    static bool getObjectFromServerRequest(const PLRServiceCompletion& completion);
    // GET /api/me/posts/{postId}/postrevisions/{revisionId}. False (and no completion) when an
    // id or the session token is missing. The new revision's post() is not set.
    static bool getObjectFromServerRequest(const PLRServiceCompletion& completion,
                                           const QString& postId, const QString& revisionId);

    // Fetches the publish record of (post()'s identifier, own identifier), stores it in
    // publishRevision() (null after a failure), then passes the outcome to the completion.
    // False when the post, an id or the session token is missing.
    bool getPublishRevision(PLRServiceCompletion completion = {});

private:
    qint64 m_status = 0;
    QString m_blobHash;
    QString m_seoTitle;
    QString m_meta;
    std::optional<QVariantList> m_keywords;
    QString m_renderVersion;
    std::optional<QVariantList> m_requiredImgRefs;
    std::optional<QVariantMap> m_imageKeywords;
    QString m_publishRevisionID;
    std::weak_ptr<PLRWebServicePost> m_post;

    mutable QMutex m_publishRevisionMutex;
    PLRWebServicePublishRevisionPtr m_publishRevision;
};

using PLRWebServicePostRevisionPtr = std::shared_ptr<PLRWebServicePostRevision>;
Q_DECLARE_METATYPE(PLRWebServicePostRevisionPtr)
