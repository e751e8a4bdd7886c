#pragma once

// Planted for the layering check's own test: the shell spells out a notification name that the
// platform layer defines (platform/Planted.h) instead of including it.
#include <QString>

inline QString plantedNotificationName()
{
    return QStringLiteral("kPLR_NOTIFICATION_PLANTED");
}
