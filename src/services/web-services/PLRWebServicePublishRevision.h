#pragma once

#include "services/web-services/PLRWebServiceModelObject.h"

class PLRWebServicePostRevision;

// The outcome of publishing one post revision to the user's website
// (resource /api/me/posts/{post}/postrevisions/{revision}/publishrevision).
class PLRWebServicePublishRevision : public PLRWebServiceModelObject {
public:
    // Reads "status", "successful", "auto_publish", "category" and "tags".
    explicit PLRWebServicePublishRevision(const QVariantMap& json = {});
    static std::shared_ptr<PLRWebServicePublishRevision> fromJSON(const QVariantMap& json);

    static const char* staticClassName() { return "PLRWebServicePublishRevision"; }
    const char* className() const override { return staticClassName(); }

    // 0 Published, 1 Pending, 2 plug-in not found, 3 access key mismatch, 4 site unreachable.
    qint64 status() const { return m_status; }
    void setStatus(qint64 status) { m_status = status; }
    bool successful() const { return m_successful; }
    void setSuccessful(bool successful) { m_successful = successful; }
    bool autoPublish() const { return m_autoPublish; }
    void setAutoPublish(bool autoPublish) { m_autoPublish = autoPublish; }
    QString category() const { return m_category; }
    void setCategory(const QString& category) { m_category = category; }
    const std::optional<QVariantList>& tags() const { return m_tags; }
    void setTags(const std::optional<QVariantList>& tags) { m_tags = tags; }
    // The revision it belongs to (not owned); set by its user.
    std::shared_ptr<PLRWebServicePostRevision> postRevision() const { return m_postRevision.lock(); }
    void setPostRevision(const std::shared_ptr<PLRWebServicePostRevision>& revision) { m_postRevision = revision; }

    static QString errorStringForStatus(qint64 status);

    static QStringList resourcePath() { return {QStringLiteral("publishrevision")}; }

    // Logs that the post and revision ids are needed and returns false.
    static bool getObjectFromServerRequest(const PLRServiceCompletion& completion);
    // GET /api/me/posts/{postId}/postrevisions/{revisionId}/publishrevision. False (and no
    // completion) when an id or the session token is missing.
    static bool getObjectFromServerRequest(const PLRServiceCompletion& completion,
                                           const QString& postId, const QString& revisionId);

private:
    qint64 m_status = 0;
    bool m_successful = false;
    bool m_autoPublish = false;
    QString m_category;
    std::optional<QVariantList> m_tags;
    std::weak_ptr<PLRWebServicePostRevision> m_postRevision;
};

using PLRWebServicePublishRevisionPtr = std::shared_ptr<PLRWebServicePublishRevision>;
Q_DECLARE_METATYPE(PLRWebServicePublishRevisionPtr)
