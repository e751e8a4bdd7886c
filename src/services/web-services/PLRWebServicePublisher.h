#pragma once

#include "services/web-services/PLRWebServiceModelObject.h"

// The user's website record on the web service (resource /api/me/publisher): its host, kind,
// plug-in status, publishing defaults and what the service learned about the site.
class PLRWebServicePublisher : public PLRWebServiceModelObject {
public:
    explicit PLRWebServicePublisher(const QVariantMap& json = {});
    static std::shared_ptr<PLRWebServicePublisher> fromJSON(const QVariantMap& json);

    static const char* staticClassName() { return "PLRWebServicePublisher"; }
    const char* className() const override { return staticClassName(); }

    QString host() const { return m_host; }
    void setHost(const QString& host) { m_host = host; }
    // 0 Generic, 1 Squarespace, 2 WordPress, 3 WordPress Auto Publish.
    qint64 type() const { return m_type; }
    void setType(qint64 type) { m_type = type; }
    // 0 OK, 1 no plug-in detected, 2 access key does not match.
    qint64 status() const { return m_status; }
    void setStatus(qint64 status) { m_status = status; }
    bool autoPublish() const { return m_autoPublish; }
    void setAutoPublish(bool autoPublish) { m_autoPublish = autoPublish; }
    bool hasSecret() const { return m_hasSecret; }
    void setHasSecret(bool hasSecret) { m_hasSecret = hasSecret; }
    // The plug-in's access key, only after fetchNewSecret(); never stored.
    QString secret() const { return m_secret; }
    void setSecret(const QString& secret) { m_secret = secret; }
    const std::optional<QVariantList>& tags() const { return m_tags; }
    void setTags(const std::optional<QVariantList>& tags) { m_tags = tags; }
    const std::optional<QVariantList>& categories() const { return m_categories; }
    void setCategories(const std::optional<QVariantList>& categories) { m_categories = categories; }
    QString defaultCategory() const { return m_defaultCategory; }
    void setDefaultCategory(const QString& category) { m_defaultCategory = category; }
    const std::optional<QVariantMap>& info() const { return m_info; }
    void setInfo(const std::optional<QVariantMap>& info) { m_info = info; }
    QString themeInfo() const { return m_themeInfo; }
    void setThemeInfo(const QString& themeInfo) { m_themeInfo = themeInfo; }

    // "Generic", "Squarespace", "WordPress", "WordPress Auto Publish", or "" for another type.
    QString typeName() const;
    // 1 "No plug-in detected.", 2 "Access key does not match.", any other "OK".
    static QString errorStringForStatus(qint64 status);
    // The truth values of info's "guttenburg_available" and "has_gutenberg".
    bool isGuttenburgAvailable() const;
    bool isGuttenburgInstalled() const;

    static QStringList resourcePath() { return {QStringLiteral("publisher")}; }

    // GET /api/me/publisher. A user without a publisher is answered with service error 501.
    static bool getObjectFromServerRequest(const PLRServiceCompletion& completion);

    // PUT /api/me/publisher with {"publisher": the caller's dictionary}. On success the
    // publisher takes "type", "status", "categories", "default_category", "auto_publish" and
    // "updated_at" from the answer; the result is this publisher.
    bool updateObjectWithDictionary(const QVariantMap& dictionary,
                                    PLRServiceCompletion completion = {}) override;

    // The base dictionary plus "host" (when present) and "type".
    QVariantMap dictionary() const override;

    // GET /api/me/publisher-status: the answer's top-level "status" becomes status(); the
    // result is that number. An answer without a numeric "status" is a failure.
    bool fetchLatestStatus(PLRServiceCompletion completion = {});
    // GET /api/me/publisher-secret: the answer's top-level "secret" becomes secret(); the
    // result is that text. An answer whose "secret" is not a string is a failure.
    bool fetchNewSecret(PLRServiceCompletion completion = {});

private:
    QString m_host;
    qint64 m_type = 0;
    qint64 m_status = 0;
    bool m_autoPublish = false;
    bool m_hasSecret = false;
    QString m_secret;
    std::optional<QVariantList> m_tags;
    std::optional<QVariantList> m_categories;
    QString m_defaultCategory;
    std::optional<QVariantMap> m_info;
    QString m_themeInfo;
};

using PLRWebServicePublisherPtr = std::shared_ptr<PLRWebServicePublisher>;
Q_DECLARE_METATYPE(PLRWebServicePublisherPtr)
