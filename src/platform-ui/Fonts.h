#pragma once

#include <QFont>

namespace platform::ui {

// The bundled fonts are used for all measured and drawn text so text sizes are the same on
// every machine. Sizes are in points; one point is one device-independent pixel.
namespace fonts {
// Registers the bundled font files (idempotent); called by every font accessor. Waits for a
// registration already under way on another thread.
void registerBundledFonts();
// Starts the registration on the shared pool, so that it goes on beside the rest of the start-up
// and the first window finds the fonts ready (the application object must exist). Any thread.
void registerBundledFontsInBackground();
// The family name of the bundled sans-serif font.
QString family();
}

enum class FontWeight { Regular, Medium, Bold };

// The system font of the given size and weight.
QFont systemFont(double size, FontWeight weight = FontWeight::Regular);
QFont boldSystemFont(double size);

// The point size of a font made by systemFont.
double fontSize(const QFont& font);

} // namespace platform::ui
