#pragma once

// Joins the layout engine to the store: every post manager makes its layout manager on
// first use, over the post's layout and photos. Call once at start (idempotent).
namespace PLRLayoutLibrary {
void install();
}
