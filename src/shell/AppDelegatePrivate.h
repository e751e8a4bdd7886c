#pragma once

// Helpers shared by the files that implement AppDelegate.

#include "platform/Alert.h"

#include <QString>

namespace plr::appdelegate {

// A one-button ("OK") alert.
inline void showAlert(const QString& message, const QString& information)
{
    platform::Alert alert;
    alert.messageText = message;
    alert.informativeText = information;
    alert.buttons = {QStringLiteral("OK")};
    platform::runAlert(alert);
}

} // namespace plr::appdelegate
