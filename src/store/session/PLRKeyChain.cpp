#include "store/session/PLRKeyChain.h"

#include "platform/Keychain.h"

bool PLRKeyChain::setItem(const QString& value, const QString& key, const QString& service,
                          platform::Error* error)
{
    return platform::Keychain::shared().setPassword(service, key, value, error);
}

std::optional<QString> PLRKeyChain::itemForKey(const QString& key, const QString& service,
                                               platform::Error* error)
{
    return platform::Keychain::shared().password(service, key, error);
}

bool PLRKeyChain::removeItem(const QString& key, const QString& service, platform::Error* error)
{
    if (platform::Keychain::shared().remove(service, key, error))
        return true;
    // Some backends report the removal of an absent item as a failure.
    return !platform::Keychain::shared().password(service, key).has_value();
}
