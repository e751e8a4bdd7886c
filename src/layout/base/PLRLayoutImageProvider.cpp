#include "layout/base/PLRLayoutImageProvider.h"

#include "store/model/PLRAspectRatio.h"

double PLRLayoutImageProvider::aspectRatioFactor(const QString& identifier) const
{
    return PLRAspectRatio::ratioWithSize(imageSize(identifier)).factor();
}
