#pragma once

// Joins publishing, SEO and export to the rest of the application: the post manager's
// publisher, SEO manager and preview provider, the panels the inspector shows and the
// commands of the menus. Call once at start, after the lower libraries' installs.
namespace PLRPublishing {
void install();
}
