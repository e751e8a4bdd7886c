#include "services/web-services/PLRWebServicePublishRevision.h"

#include "platform/Log.h"
#include "services/web-services/PLRWebServiceHost.h"

PLRWebServicePublishRevision::PLRWebServicePublishRevision(const QVariantMap& json)
    : PLRWebServiceModelObject(json)
{
    m_status = integerMember(json, "status");
    m_successful = flagMember(json, "successful");
    m_autoPublish = flagMember(json, "auto_publish");
    m_category = stringMember(json, "category");
    m_tags = arrayMember(json, "tags");
}

std::shared_ptr<PLRWebServicePublishRevision> PLRWebServicePublishRevision::fromJSON(const QVariantMap& json)
{
    return std::make_shared<PLRWebServicePublishRevision>(json);
}

QString PLRWebServicePublishRevision::errorStringForStatus(qint64 status)
{
    switch (status) {
    case 0: return QStringLiteral("Published");
    case 1: return QStringLiteral("Pending");
    case 2: return QStringLiteral("Cannot find plug-in");
    case 3: return QStringLiteral("Access key does not match");
    case 4: return QStringLiteral("Cannot reach your WordPress webstie");
    default: return QString(QLatin1String(""));
    }
}

bool PLRWebServicePublishRevision::getObjectFromServerRequest(const PLRServiceCompletion&)
{
    PLR_LOG_ERROR(QStringLiteral("Use -getObjectFromServerRequest:forPostID:postRevisionID: for PublishRevision Objects"));
    return false;
}

bool PLRWebServicePublishRevision::getObjectFromServerRequest(const PLRServiceCompletion& completion,
                                                              const QString& postId,
                                                              const QString& revisionId)
{
    if (postId.isEmpty() || revisionId.isEmpty())
        return false;
    return getModel<PLRWebServicePublishRevision>(
        PLRWebServiceHost::currentHost().serviceMeURLWithPaths({QStringLiteral("posts"), postId,
                                                                QStringLiteral("postrevisions"), revisionId,
                                                                resourcePath().constFirst()}),
        completion);
}
