#pragma once

// The formatted text of text blocks lives with the layout engine, which draws it.
#include "layout/text/PLRRichText.h"
