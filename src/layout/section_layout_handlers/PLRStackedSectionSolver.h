#pragma once

// The layout of a stacked section, without a constraint solver.
//
// Every block gets a height law h(w) = a*w + b:
//   - a photo or blank block of ratio r (width / height): a = 1/r, b = 0;
//   - a column of k blocks (all as wide as the column): a = sum a_i, b = sum b_i + (k-1)p;
//   - a row of k blocks (all as tall as the row, widths and k-1 paddings filling it): with
//     w_i = (H - b_i)/a_i and sum w_i + (k-1)p = w, H = (w - (k-1)p + sum b_i/a_i) / sum 1/a_i,
//     so a = 1/sum(1/a_i) and b = (sum(b_i/a_i) - (k-1)p) * a.
// One pass up the tree computes the laws, one pass down hands out the widths (O(n)), and a
// last pass settles heights and positions. The section's top-level blocks stack as a column;
// the gap everywhere is the layout's padding p.
//
// Ratios: a block's own ratio; 0 means the photo's own ratio; a missing photo, a zero, negative,
// NaN or infinite ratio falls back to 3:2. Ratios are clamped to [1/100, 100].
//
// Text and download-button blocks take the height their content needs at their width. Where
// such a block has a row above it, its width is decided by the row, so it takes part in the
// row's law as a box: at first of its own ratio (3:2 when it has none); when its content needs
// more height than that box gives at the width it got, the box becomes that much taller
// (a = needed height / width) and the section is solved again, at most three rounds in all.
// The box never becomes flatter than its ratio: a short text keeps its share of the row
// instead of pushing its neighbours out. Whatever the rounds leave, the last pass removes:
// a row is as tall as its tallest child needs and every child of a row takes the row's
// height (extra height in a column goes to its children in proportion to their heights;
// photos are drawn to fill their frame), so content is never clipped and the equalities
// (equal heights in a row, widths plus paddings filling a row, heights plus paddings
// filling a column) always hold.
//
// Empty containers (and containers holding only empty containers) take no room and no padding.
// A width narrower than the paddings gives zero-size blocks, never negative or infinite ones.

#include "store/model/PLRLayoutDocument.h"

#include <QHash>
#include <QList>
#include <QRectF>

#include <functional>
#include <vector>

namespace plr::layout {

inline constexpr double kFallbackRatio = 1.5;
inline constexpr double kMinimumRatio = 0.01;
inline constexpr double kMaximumRatio = 100.0;
inline constexpr int kContentRounds = 3;

struct SolverEnvironment {
    // Width / height of the photo with that identifier; anything but a positive finite number
    // means unknown. May be empty.
    std::function<double(const QString& imageIdentifier)> imageRatio;
    // Height the content of a text or download-button block needs when the block is that wide.
    // May be empty (such blocks are then 0 tall).
    std::function<double(const PLRBlock& block, double width)> contentHeight;
};

struct BlockFrame {
    const PLRBlock* block = nullptr;
    QRectF frame;           // in the section's coordinates: origin top-left, y down
    int parent = -1;        // index of the parent container's entry; -1 for top-level blocks
    int indexInParent = 0;  // the block's index among its siblings
};

class SectionFrames {
public:
    double width = 0.0;
    double height = 0.0;
    std::vector<BlockFrame> frames;   // every block of the section, parents before children

    // The entry of a block, null when the block is not in the section.
    const BlockFrame* frameFor(const PLRBlock* block) const;
    // The block's frame; a null rectangle when the block is not in the section.
    QRectF rectFor(const PLRBlock* block) const;
    // The sibling indices from the section down to the block; empty when it is not there.
    QList<int> pathFor(const PLRBlock* block) const;

private:
    mutable QHash<const PLRBlock*, int> m_index;   // built on first lookup
};

// The ratio the solver uses for a photo, blank or other fixed-ratio block.
double effectiveRatio(const PLRBlock& block, const SolverEnvironment& environment);

// Frames of every block of the stacked section laid out at `width` with the padding.
SectionFrames solveStackedSection(const PLRSection& section, double width, double padding,
                                  const SolverEnvironment& environment);

} // namespace plr::layout
