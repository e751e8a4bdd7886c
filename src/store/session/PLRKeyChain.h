#pragma once

#include "platform/Error.h"

#include <QString>

#include <optional>

// Generic-password keychain items addressed by key and service name.
class PLRKeyChain {
public:
    // Stores (or replaces) the item; false when the keychain refused it.
    static bool setItem(const QString& value, const QString& key, const QString& service,
                        platform::Error* error = nullptr);
    // The item's text, or nothing when there is no such item (or the keychain failed).
    static std::optional<QString> itemForKey(const QString& key, const QString& service,
                                             platform::Error* error = nullptr);
    // Deletes the item; deleting an absent item succeeds.
    static bool removeItem(const QString& key, const QString& service,
                           platform::Error* error = nullptr);
};

// Keychain item keys of the signed-in user.
inline constexpr const char* kPLRKeychainKeyJWT = "jwt";
inline constexpr const char* kPLRKeychainKeyEmail = "email";
inline constexpr const char* kPLRKeychainKeyPassword = "password";
inline constexpr const char* kPLRKeychainKeyUserId = "user_id";
