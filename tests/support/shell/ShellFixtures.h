#pragma once

// Test support of the application shell (pellora_testsupport_shell): the installs of every
// library the shell links, and the "signed in, photos on disk, post open" builder of the shell
// tests.

#include "support/canvas/CanvasFixtures.h"

class PLRPersistantPost;

namespace testing_support {

// The installs of the store, layout, services, controls and shell, in link order (as
// AppComposition calls them).
void installShellLibraries();

// The open post of the canvas support, after installShellLibraries().
OpenPost openShellPost(const QList<TestPhoto>& photos, const OpenPostOptions& options = OpenPostOptions());

} // namespace testing_support
