#pragma once

// Registers the shell's scenes: storyboard "Main" ("base", "SavingWindowController",
// "PLRHomeViewController", "PLRFirstTimeWelcomeViewController", "PLRAuthViewController",
// "PLRPostViewController", "PLRPrepViewController") and storyboard "Migrator" (its initial
// window controller, and the migrator's progress window). A scene already registered under a
// name keeps its factory. Idempotent.
namespace PLRMainStoryboard {
void registerScenes();
}
