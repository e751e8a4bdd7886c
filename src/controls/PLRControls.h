#pragma once

// Registers the controls' scenes: storyboard "ModalWindow" (its window controller). Call once
// at start, after the lower libraries' installs.
namespace PLRControls {
void install();
}
