#pragma once

// Test support of the layout and the canvas (pellora_testsupport_canvas): their installs, and
// the "signed in, photos on disk, post open" builder with the post's layout manager made.

#include "support/store/StoreFixtures.h"

namespace testing_support {

// The installs of the store and the layout engine, in link order.
void installCanvasLibraries();

// The store's open post, after installCanvasLibraries(), with its layout manager made
// (`ok` is false when it is not).
OpenPost openPostWithLayout(const QList<TestPhoto>& photos, const OpenPostOptions& options = OpenPostOptions());

} // namespace testing_support
