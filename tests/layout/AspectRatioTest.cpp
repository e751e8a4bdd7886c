#include "store/model/PLRAspectRatio.h"

#include <gtest/gtest.h>

#include <limits>

TEST(AspectRatio, PresetsHaveTheirFactors)
{
    const double factors[] = {1.5, 2.0 / 3, 4.0 / 3, 0.75, 1.0, 16.0 / 9, 9.0 / 16, 1.25, 0.8, 2.0, 0.5};
    for (qint64 preset = 0; preset < 11; ++preset) {
        const PLRAspectRatio ratio = PLRAspectRatio::ratioWithBlockRatio(preset);
        EXPECT_EQ(ratio.preset(), preset);
        EXPECT_DOUBLE_EQ(ratio.factor(), factors[preset]);
    }
    EXPECT_EQ(PLRAspectRatio::ratioWithBlockRatio(11).preset(), PLRAspectRatio::kPresetUnknown);
    EXPECT_EQ(PLRAspectRatio::ratioWithBlockRatio(-1).preset(), PLRAspectRatio::kPresetUnknown);
    EXPECT_EQ(PLRAspectRatio::ratioWithBlockRatio(-1).factor(), 0.0);
}

TEST(AspectRatio, RawRatioMatchesTheFirstPresetWithinTolerance)
{
    EXPECT_EQ(PLRAspectRatio::ratioWithRawRatio(1.5).preset(), 0);
    EXPECT_EQ(PLRAspectRatio::ratioWithRawRatio(1.514).preset(), 0);
    EXPECT_EQ(PLRAspectRatio::ratioWithRawRatio(1.78).preset(), 5);    // 16:9 = 1.7778
    EXPECT_EQ(PLRAspectRatio::ratioWithRawRatio(0.995).preset(), 4);
    EXPECT_DOUBLE_EQ(PLRAspectRatio::ratioWithRawRatio(0.995).factor(), 1.0);

    const PLRAspectRatio custom = PLRAspectRatio::ratioWithRawRatio(1.52);
    EXPECT_EQ(custom.preset(), PLRAspectRatio::kPresetCustom);
    EXPECT_DOUBLE_EQ(custom.factor(), 1.52);

    for (double bad : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(PLRAspectRatio::ratioWithRawRatio(bad).preset(), PLRAspectRatio::kPresetUnknown) << bad;
        EXPECT_FALSE(PLRAspectRatio::ratioWithRawRatio(bad).isValid());
    }
}

TEST(AspectRatio, FromSizeAndCombined)
{
    EXPECT_EQ(PLRAspectRatio::ratioWithSize(QSizeF(6000, 4000)).preset(), 0);
    EXPECT_EQ(PLRAspectRatio::ratioWithSize(QSizeF(1080, 1920)).preset(), 6);
    EXPECT_EQ(PLRAspectRatio::ratioWithSize(QSizeF(100, 0)).preset(), PLRAspectRatio::kPresetUnknown);

    const auto square = PLRAspectRatio::ratioWithBlockRatio(4);
    // Two squares side by side make 2:1, stacked 1:2.
    EXPECT_EQ(PLRAspectRatio::combinedRatio({square, square}, false).preset(), 9);
    EXPECT_EQ(PLRAspectRatio::combinedRatio({square, square}, true).preset(), 10);
    // Unknown ratios are left out; nothing usable gives unknown.
    EXPECT_EQ(PLRAspectRatio::combinedRatio({square, PLRAspectRatio()}, false).preset(), 4);
    EXPECT_FALSE(PLRAspectRatio::combinedRatio({PLRAspectRatio()}, true).isValid());
}
