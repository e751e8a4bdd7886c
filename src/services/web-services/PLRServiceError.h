#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

// The service's own report of a failed request, read from the answer body:
// {"code": n, "error": text, "errors": {field: ...}, "info": {...}}. A JSON null counts as
// absent. Without an "error" text the message comes from the bundled "error_map.json".
class PLRServiceError {
public:
    PLRServiceError() = default;
    explicit PLRServiceError(const QVariantMap& dictionary);

    // Any parsed body: a body that is not a JSON object (or no body) gives code 0.
    static PLRServiceError serviceErrorWithDictionary(const QVariant& body);

    // The map's text for the code (key formatted "%03lu": 1 -> "001", 10000 -> "10000");
    // a null QString when the map has no entry or is missing. Read once per run.
    static QString errorMessageForCode(qint64 code);

    qint64 code() const { return m_code; }
    // Null when neither the body nor the map has a text.
    const QString& error() const { return m_error; }
    const std::optional<QVariantMap>& changesetErrors() const { return m_changesetErrors; }
    const std::optional<QVariantMap>& info() const { return m_info; }

    // "<PLRServiceError:0x... code=1, error='...', info=..., changeset=...>"
    QString description() const;

private:
    qint64 m_code = 0;
    QString m_error;
    std::optional<QVariantMap> m_changesetErrors;
    std::optional<QVariantMap> m_info;
};

Q_DECLARE_METATYPE(PLRServiceError)
