#pragma once

// The aspect-ratio value lives with the document model, so that the store can use it too.
#include "model/PLRAspectRatio.h"
