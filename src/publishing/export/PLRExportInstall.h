#pragma once

// Joins the export engine, the export screens and post files to the rest of the application:
// the post preview of the store, the inspector's export panel, the post header's export
// button, the home tiles' post export and the post files opened from the desktop.
namespace PLRExportInstall {
void install();
}
