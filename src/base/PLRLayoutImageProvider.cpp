#include "base/PLRLayoutImageProvider.h"

#include "base/PLRAspectRatio.h"

double PLRLayoutImageProvider::aspectRatioFactor(const QString& identifier) const
{
    return PLRAspectRatio::ratioWithSize(imageSize(identifier)).factor();
}
