#include "store/model/PLRAspectRatio.h"

#include <array>
#include <cmath>

namespace {

constexpr std::array<double, PLRAspectRatio::kPresetCount> kPresetFactors = {
    3.0 / 2.0, 2.0 / 3.0, 4.0 / 3.0, 3.0 / 4.0, 1.0, 16.0 / 9.0, 9.0 / 16.0,
    5.0 / 4.0, 4.0 / 5.0, 2.0, 1.0 / 2.0,
};

bool isUsableFactor(double factor)
{
    return std::isfinite(factor) && factor > 0.0;
}

} // namespace

PLRAspectRatio PLRAspectRatio::ratioWithBlockRatio(qint64 preset)
{
    if (preset < 0 || preset >= kPresetCount)
        return {};
    return {preset, kPresetFactors[size_t(preset)]};
}

PLRAspectRatio PLRAspectRatio::ratioWithRawRatio(double factor)
{
    if (!isUsableFactor(factor))
        return {};
    for (qint64 preset = 0; preset < kPresetCount; ++preset) {
        if (std::abs(kPresetFactors[size_t(preset)] - factor) <= kPresetTolerance)
            return {preset, kPresetFactors[size_t(preset)]};
    }
    return {kPresetCustom, factor};
}

PLRAspectRatio PLRAspectRatio::ratioWithSize(const QSizeF& size)
{
    if (!(size.width() > 0.0) || !(size.height() > 0.0))
        return {};
    return ratioWithRawRatio(size.width() / size.height());
}

PLRAspectRatio PLRAspectRatio::combinedRatio(const QList<PLRAspectRatio>& ratios, bool vertical)
{
    double sum = 0.0;
    bool any = false;
    for (const PLRAspectRatio& ratio : ratios) {
        if (!isUsableFactor(ratio.factor()))
            continue;
        sum += vertical ? 1.0 / ratio.factor() : ratio.factor();
        any = true;
    }
    if (!any || !(sum > 0.0))
        return {};
    return ratioWithRawRatio(vertical ? 1.0 / sum : sum);
}
