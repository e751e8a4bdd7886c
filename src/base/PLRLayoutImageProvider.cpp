#include "base/PLRLayoutImageProvider.h"

#include "model/PLRAspectRatio.h"

double PLRLayoutImageProvider::aspectRatioFactor(const QString& identifier) const
{
    return PLRAspectRatio::ratioWithSize(imageSize(identifier)).factor();
}
