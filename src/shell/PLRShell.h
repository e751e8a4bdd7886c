#pragma once

// Joins the application shell to the libraries below it: the shell's scenes (storyboards
// "Main" and "Migrator"), the relaunch the database exporter asks for, and the post header
// the canvas shows and hides. Call once at start, after the lower libraries' installs.
namespace PLRShell {
void install();
}
