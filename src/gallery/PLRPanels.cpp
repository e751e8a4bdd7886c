#include "gallery/PLRPanels.h"

#include "gallery/PLRGalleryViewController.h"
#include "insp/PLRInspectorViewController.h"

void PLRPanels::install()
{
    PLRGalleryViewController::registerScene();
    PLRInspectorViewController::registerScene();
}
