#pragma once

// The shell may include the platform layer: not a fault.
#include "platform/Log.h"
