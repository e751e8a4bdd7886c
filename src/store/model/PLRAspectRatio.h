#pragma once

#include <QList>
#include <QSizeF>

// A width-over-height ratio with its preset: 0 3:2, 1 2:3, 2 4:3, 3 3:4, 4 1:1, 5 16:9, 6 9:16,
// 7 5:4, 8 4:5, 9 2:1, 10 1:2; -1 a custom ratio, -2 an unknown one (factor 0).
class PLRAspectRatio {
public:
    static constexpr qint64 kPresetCustom = -1;
    static constexpr qint64 kPresetUnknown = -2;
    static constexpr qint64 kPresetCount = 11;
    // How close a factor must be to a preset's to count as that preset.
    static constexpr double kPresetTolerance = 0.015;

    PLRAspectRatio() = default;

    qint64 preset() const { return m_preset; }
    // Width / height; 0 for an unknown ratio.
    double factor() const { return m_factor; }
    bool isValid() const { return m_preset != kPresetUnknown; }

    // The ratio of a preset; an index outside 0-10 gives the unknown ratio.
    static PLRAspectRatio ratioWithBlockRatio(qint64 preset);
    // The first preset within 0.015 of the factor, else a custom ratio of that factor;
    // unknown for 0, a negative number, NaN or infinity.
    static PLRAspectRatio ratioWithRawRatio(double factor);
    // The ratio of a size (width / height); unknown when either side is not positive.
    static PLRAspectRatio ratioWithSize(const QSizeF& size);
    // The ratio of boxes placed side by side (vertical false: the factors add up) or stacked
    // (vertical true: 1 / the sum of the inverse factors), without spacing. Unknown ratios
    // are left out; unknown when none is left.
    static PLRAspectRatio combinedRatio(const QList<PLRAspectRatio>& ratios, bool vertical);

    bool operator==(const PLRAspectRatio& other) const = default;

private:
    PLRAspectRatio(qint64 preset, double factor) : m_preset(preset), m_factor(factor) {}

    qint64 m_preset = kPresetUnknown;
    double m_factor = 0.0;
};
