#include "services/web-services/PLRWebServicePublisher.h"

#include "platform/Json.h"
#include "platform/Log.h"
#include "services/web-services/PLRWebServiceHost.h"

PLRWebServicePublisher::PLRWebServicePublisher(const QVariantMap& json) : PLRWebServiceModelObject(json)
{
    m_host = stringMember(json, "host");
    m_type = integerMember(json, "type");
    m_status = integerMember(json, "status");
    m_autoPublish = flagMember(json, "auto_publish");
    m_hasSecret = flagMember(json, "has_secret");
    m_tags = arrayMember(json, "tags");
    m_categories = arrayMember(json, "categories");
    m_defaultCategory = stringMember(json, "default_category");
    m_info = dictionaryMember(json, "info");
    m_themeInfo = stringMember(json, "theme_info");
}

std::shared_ptr<PLRWebServicePublisher> PLRWebServicePublisher::fromJSON(const QVariantMap& json)
{
    return std::make_shared<PLRWebServicePublisher>(json);
}

QString PLRWebServicePublisher::typeName() const
{
    switch (m_type) {
    case 0: return QStringLiteral("Generic");
    case 1: return QStringLiteral("Squarespace");
    case 2: return QStringLiteral("WordPress");
    case 3: return QStringLiteral("WordPress Auto Publish");
    default: return QString(QLatin1String(""));
    }
}

QString PLRWebServicePublisher::errorStringForStatus(qint64 status)
{
    switch (status) {
    case 1: return QStringLiteral("No plug-in detected.");
    case 2: return QStringLiteral("Access key does not match.");
    default: return QStringLiteral("OK");
    }
}

bool PLRWebServicePublisher::isGuttenburgAvailable() const
{
    return m_info && flagMember(*m_info, "guttenburg_available");
}

bool PLRWebServicePublisher::isGuttenburgInstalled() const
{
    return m_info && flagMember(*m_info, "has_gutenberg");
}

bool PLRWebServicePublisher::getObjectFromServerRequest(const PLRServiceCompletion& completion)
{
    return getModel<PLRWebServicePublisher>(PLRWebServiceHost::currentHost().serviceMeURLWithPaths(resourcePath()),
                                            completion);
}

bool PLRWebServicePublisher::updateObjectWithDictionary(const QVariantMap& dictionary,
                                                        PLRServiceCompletion completion)
{
    return putModelUpdate<PLRWebServicePublisher>(
        PLRWebServiceHost::currentHost().serviceMeURLWithPaths(resourcePath()), QStringLiteral("publisher"),
        dictionary,
        [](PLRWebServicePublisher& publisher, const QVariantMap& json) {
            publisher.m_type = integerMember(json, "type");
            publisher.m_status = integerMember(json, "status");
            publisher.m_categories = arrayMember(json, "categories");
            publisher.m_defaultCategory = stringMember(json, "default_category");
            publisher.m_autoPublish = flagMember(json, "auto_publish");
        },
        std::move(completion));
}

QVariantMap PLRWebServicePublisher::dictionary() const
{
    QVariantMap dictionary = PLRWebServiceModelObject::dictionary();
    if (!m_host.isNull())
        dictionary.insert(QStringLiteral("host"), m_host);
    dictionary.insert(QStringLiteral("type"), m_type);
    return dictionary;
}

bool PLRWebServicePublisher::fetchLatestStatus(PLRServiceCompletion completion)
{
    auto self = std::static_pointer_cast<PLRWebServicePublisher>(shared_from_this());
    PLRServiceCall call;
    call.url = PLRWebServiceHost::currentHost().serviceMeURLWithPaths({QStringLiteral("publisher-status")});
    call.wholeBody = true;
    call.makeResult = [self](const QVariant& body) -> std::optional<QVariant> {
        const QVariantMap json = body.toMap();
        const QVariant status = json.value(QStringLiteral("status"));
        const bool numeric = status.typeId() == QMetaType::Double || status.typeId() == QMetaType::LongLong
                             || status.typeId() == QMetaType::Int;
        if (body.typeId() != QMetaType::QVariantMap || !numeric) {
            PLR_LOG_WARN(QStringLiteral("Publisher status answer has no numeric \"status\""));
            return std::nullopt;
        }
        self->m_status = integerMember(json, "status");
        return QVariant(self->m_status);
    };
    return PLRSendServiceRequest(call, std::move(completion));
}

bool PLRWebServicePublisher::fetchNewSecret(PLRServiceCompletion completion)
{
    auto self = std::static_pointer_cast<PLRWebServicePublisher>(shared_from_this());
    PLRServiceCall call;
    call.url = PLRWebServiceHost::currentHost().serviceMeURLWithPaths({QStringLiteral("publisher-secret")});
    call.wholeBody = true;
    call.makeResult = [self](const QVariant& body) -> std::optional<QVariant> {
        const QVariant secret = body.toMap().value(QStringLiteral("secret"));
        if (body.typeId() != QMetaType::QVariantMap || secret.typeId() != QMetaType::QString) {
            PLR_LOG_WARN(QStringLiteral("Publisher secret answer has no \"secret\" text"));
            return std::nullopt;
        }
        self->m_secret = secret.toString();
        return QVariant(self->m_secret);
    };
    return PLRSendServiceRequest(call, std::move(completion));
}
