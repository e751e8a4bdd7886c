#pragma once

// Registers the post's panels: the gallery's scene in storyboard "Main". Call once at start,
// after the lower libraries' installs.
namespace PLRPanels {
void install();
}
