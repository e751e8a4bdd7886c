#include "services/web-services/PLRWebServicePostRevision.h"

#include "platform/Json.h"
#include "platform/Log.h"
#include "services/web-services/PLRWebServiceHost.h"
#include "services/web-services/PLRWebServicePost.h"

PLRWebServicePostRevision::PLRWebServicePostRevision(const QVariantMap& json)
    : PLRWebServiceModelObject(json)
{
    m_status = integerMember(json, "status");
    m_blobHash = stringMember(json, "blob_hash");
    m_seoTitle = stringMember(json, "seo_title");
    m_meta = stringMember(json, "meta");
    m_keywords = arrayMember(json, "keywords");
    m_renderVersion = stringMember(json, "render_version");
    m_requiredImgRefs = arrayMember(json, "required_image_refs");
    const QVariant imageKeywords = json.value(QStringLiteral("image_keywords"));
    if (imageKeywords.isValid() && platform::json::isNull(imageKeywords))
        m_imageKeywords = QVariantMap();
    else
        m_imageKeywords = dictionaryMember(json, "image_keywords");
    m_publishRevisionID = identifierMember(json, "publish_revision_id");
}

std::shared_ptr<PLRWebServicePostRevision> PLRWebServicePostRevision::fromJSON(const QVariantMap& json)
{
    return std::make_shared<PLRWebServicePostRevision>(json);
}

PLRWebServicePublishRevisionPtr PLRWebServicePostRevision::publishRevision() const
{
    QMutexLocker locker(&m_publishRevisionMutex);
    return m_publishRevision;
}

void PLRWebServicePostRevision::setPublishRevision(const PLRWebServicePublishRevisionPtr& publishRevision)
{
    QMutexLocker locker(&m_publishRevisionMutex);
    m_publishRevision = publishRevision;
}

bool PLRWebServicePostRevision::getObjectFromServerRequest(const PLRServiceCompletion&)
{
    PLR_LOG_ERROR(QStringLiteral("Use -getObjectFromServerRequest:forPostID:postRevisionID: for PostRevision Objects"));
    return false;
}

bool PLRWebServicePostRevision::getObjectFromServerRequest(const PLRServiceCompletion& completion,
                                                           const QString& postId,
                                                           const QString& revisionId)
{
    if (postId.isEmpty() || revisionId.isEmpty())
        return false;
    return getModel<PLRWebServicePostRevision>(
        PLRWebServiceHost::currentHost().serviceMeURLWithPaths(
            {QStringLiteral("posts"), postId, resourcePath().constFirst(), revisionId}),
        completion);
}

bool PLRWebServicePostRevision::getPublishRevision(PLRServiceCompletion completion)
{
    const std::shared_ptr<PLRWebServicePost> owner = post();
    if (!owner)
        return false;
    auto self = std::static_pointer_cast<PLRWebServicePostRevision>(shared_from_this());
    return PLRWebServicePublishRevision::getObjectFromServerRequest(
        [self, completion](bool success, const QVariant& result,
                           const std::optional<PLRServiceError>& serviceError,
                           const platform::Error& transportError) {
            PLRWebServicePublishRevisionPtr publishRevision =
                success ? PLRModelFromResult<PLRWebServicePublishRevision>(result) : nullptr;
            if (publishRevision)
                publishRevision->setPostRevision(self);
            self->setPublishRevision(publishRevision);
            if (completion)
                completion(success, result, serviceError, transportError);
        },
        owner->identifier(), identifier());
}
