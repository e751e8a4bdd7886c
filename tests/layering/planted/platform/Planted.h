#pragma once

// Planted for the layering check's own test: the lowest library may not include the shell.
#include "platform/Log.h"
#include "shell/PLRShellHooks.h"
