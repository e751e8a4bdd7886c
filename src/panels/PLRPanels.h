#pragma once

// Registers the post's panels: the gallery's and the inspector's scenes in storyboard "Main". Call once at start,
// after the lower libraries' installs.
namespace PLRPanels {
void install();
}
