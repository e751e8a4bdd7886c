#pragma once

#include "platform/Error.h"

#include <QString>

#include <memory>
#include <optional>

namespace platform {

// Generic-password items, each named by a service and a key.
// Backends: the desktop's Secret Service, a private file (mode 0600) for machines without
// one, and memory for tests; PELLORA_KEYCHAIN=secret|file|memory chooses, otherwise the
// Secret Service when one answers on the session bus, else the file.
class Keychain {
public:
    virtual ~Keychain() = default;
    virtual QString backendName() const = 0;
    virtual bool setPassword(const QString& service, const QString& key, const QString& value,
                             Error* error = nullptr) = 0;
    // The item's value; nullopt when there is none (the error is set only for a failure).
    virtual std::optional<QString> password(const QString& service, const QString& key,
                                            Error* error = nullptr) = 0;
    // Deletes the item; true also when there was none.
    virtual bool remove(const QString& service, const QString& key, Error* error = nullptr) = 0;

    static Keychain& shared();
    static void setShared(std::unique_ptr<Keychain> keychain);
    // "secret", "file" or "memory"; an empty kind picks as described above.
    static std::unique_ptr<Keychain> make(const QString& kind);
    static std::unique_ptr<Keychain> makeFile(const QString& path);
};

inline constexpr const char* kKeychainErrorDomain = "PLRKeychainErrorDomain";

} // namespace platform
