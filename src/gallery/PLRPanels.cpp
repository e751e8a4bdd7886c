#include "gallery/PLRPanels.h"

#include "gallery/PLRGalleryViewController.h"

void PLRPanels::install()
{
    PLRGalleryViewController::registerScene();
}
