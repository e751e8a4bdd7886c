#include "publish/PLRPublishing.h"

void PLRPublishing::install()
{
}
