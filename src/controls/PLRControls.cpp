#include "controls/PLRControls.h"

#include "controls/PLRModalOverlayWindow.h"

void PLRControls::install()
{
    PLRModalOverlayWindowController::registerScene();
}
