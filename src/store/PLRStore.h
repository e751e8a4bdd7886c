#pragma once

// Joins the parts of the store to each other: before publishing, a post asks its manager's
// photo folder which of the layout's photos are gone. Call once at start (from the composition
// root, or a test fixture), before the libraries above the store install theirs.
namespace PLRStore {
void install();
}
