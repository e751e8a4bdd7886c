#pragma once

// Planted for the layering check's own test: the lowest library may not include the shell.
#include "platform/Log.h"
#include "shell/PLRShellHooks.h"

// And a notification name that the shell spells out again (shell/PlantedName.h): a name
// defined in two libraries.
inline constexpr char kPLR_NOTIFICATION_PLANTED[] = "kPLR_NOTIFICATION_PLANTED";
