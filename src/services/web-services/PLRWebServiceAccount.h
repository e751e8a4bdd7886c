#pragma once

#include "services/web-services/PLRWebServiceModelObject.h"

// The user's account on the web service (resource /api/me/account): its name, activity flag and
// status. Status 0 and 1 are usable; any other value locks the account; the bit of value 32
// marks an account pending deletion.
class PLRWebServiceAccount : public PLRWebServiceModelObject {
public:
    // Reads "name", "active", "status" and, when present, "gen_status".
    explicit PLRWebServiceAccount(const QVariantMap& json = {});
    static std::shared_ptr<PLRWebServiceAccount> fromJSON(const QVariantMap& json);

    static const char* staticClassName() { return "PLRWebServiceAccount"; }
    const char* className() const override { return staticClassName(); }

    QString name() const { return m_name; }
    void setName(const QString& name) { m_name = name; }
    bool active() const { return m_active; }
    void setActive(bool active) { m_active = active; }
    qint64 status() const { return m_status; }
    void setStatus(qint64 status) { m_status = status; }
    qint64 genericStatus() const { return m_genericStatus; }
    void setGenericStatus(qint64 status) { m_genericStatus = status; }

    // Status neither 0 nor 1.
    bool locked() const { return m_status != 0 && m_status != 1; }
    // Status with the bit of value 32 set.
    bool deleted() const { return (m_status & 32) != 0; }

    static QStringList resourcePath() { return {QStringLiteral("account")}; }

    // GET /api/me/account?expand=true. False (and no completion) without a session token.
    static bool getObjectFromServerRequest(const PLRServiceCompletion& completion);

    // PUT /api/me/account?expand=true with {"account": the caller's dictionary}. On success the
    // account takes "name", "active", "status" and "updated_at" from the answer and the result
    // is this account.
    bool updateObjectWithDictionary(const QVariantMap& dictionary,
                                    PLRServiceCompletion completion = {}) override;

private:
    static QUrl resourceURL();

    QString m_name;
    bool m_active = false;
    qint64 m_status = 0;
    qint64 m_genericStatus = 0;
};

using PLRWebServiceAccountPtr = std::shared_ptr<PLRWebServiceAccount>;
Q_DECLARE_METATYPE(PLRWebServiceAccountPtr)
