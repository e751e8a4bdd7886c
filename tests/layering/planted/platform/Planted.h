#pragma once

// Planted for the layering check's own test: the platform layer may not include the shell.
#include "platform/Log.h"
#include "shell/PLRShellHooks.h"
