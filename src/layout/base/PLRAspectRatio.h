#pragma once

// The aspect-ratio value lives with the document model, so that the store can use it too.
#include "store/model/PLRAspectRatio.h"
