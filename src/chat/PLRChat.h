#pragma once

// Joins the support chat to the application (the home screen's corner). Call once at start.
namespace PLRChat {
void install();
}
