#pragma once

#include "services/web-services/PLRWebServiceModelObject.h"

// The signed-in person on the web service (resource /api/me/): names, e-mail address, whether
// the address is verified, and the usage report the application last sent.
class PLRWebServiceUser : public PLRWebServiceModelObject {
public:
    // Reads "f_name", "l_name", "email", "verified" and "app_usage" after the base members.
    explicit PLRWebServiceUser(const QVariantMap& json = {});
    static std::shared_ptr<PLRWebServiceUser> fromJSON(const QVariantMap& json);

    static const char* staticClassName() { return "PLRWebServiceUser"; }
    const char* className() const override { return staticClassName(); }

    QString firstName() const { return m_firstName; }
    void setFirstName(const QString& name) { m_firstName = name; }
    QString lastName() const { return m_lastName; }
    void setLastName(const QString& name) { m_lastName = name; }
    QString email() const { return m_email; }
    void setEmail(const QString& email) { m_email = email; }
    bool verified() const { return m_verified; }
    void setVerified(bool verified) { m_verified = verified; }
    void setIdentifier(const QString& identifier) { setIdentifierValue(identifier); }
    // The usage report as the service last returned it.
    const std::optional<QVariantMap>& usage() const { return m_usage; }
    void setUsage(const std::optional<QVariantMap>& usage) { m_usage = usage; }

    // None: the resource is /api/me/ itself.
    static QStringList resourcePath() { return {}; }

    // GET /api/me/. False (and no completion) without a session token. Result: a new user.
    static bool getObjectFromServerRequest(const PLRServiceCompletion& completion);

    // PUT /api/me/ with {"user": own dictionary() with the caller's members on top}. On success
    // the user takes "f_name", "l_name", "email", "verified", "app_usage" and "updated_at" from
    // the answer (before the completion runs) and the result is this user. False without a token.
    bool updateObjectWithDictionary(const QVariantMap& dictionary,
                                    PLRServiceCompletion completion = {}) override;

    // The base dictionary plus "app_usage" (a fresh usage report).
    QVariantMap dictionary() const override;

    // The usage report, computed now: "app_ver", "os_ver", "p_count", "m_count", "l_p_count",
    // "e_l_count", "e_c_count".
    static QVariantMap usageReport();

    // POST /api/request-email-verify with {"email": email}, without the session token. Always
    // true; the completion gets (true, none, ...) on a 2xx answer.
    bool sendEmailVerifyMail(PLRServiceCompletion completion = {});

private:
    void readMembers(const QVariantMap& json);

    QString m_firstName;
    QString m_lastName;
    QString m_email;
    bool m_verified = false;
    std::optional<QVariantMap> m_usage;
};

using PLRWebServiceUserPtr = std::shared_ptr<PLRWebServiceUser>;
Q_DECLARE_METATYPE(PLRWebServiceUserPtr)
