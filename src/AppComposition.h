#pragma once

// The composition root: the one place where the application's libraries are joined to each
// other. main() calls install() once, before anything is shown.
namespace AppComposition {
void install();
}
