#include "LayoutTestSupport.h"

#include "layout/section_layout_handlers/PLRStackedSectionSolver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

using namespace plr::layout;
using layout_test::blankBlock;
using layout_test::containerOf;
using layout_test::imageBlock;
using layout_test::list;

namespace {

constexpr double kTolerance = 1e-6;

void addTo(PLRSection& section, PLRBlockPtr block)
{
    section.mutable_blocks()->AddAllocated(block.release());
}

// Checks the equalities of every container and of the section.
void expectEqualities(const PLRSection& section, const SectionFrames& frames, double width, double padding)
{
    std::vector<std::vector<const BlockFrame*>> children(frames.frames.size());
    std::vector<const BlockFrame*> top;
    for (const BlockFrame& frame : frames.frames) {
        EXPECT_TRUE(std::isfinite(frame.frame.x()) && std::isfinite(frame.frame.y()));
        EXPECT_GE(frame.frame.width(), 0.0);
        EXPECT_GE(frame.frame.height(), 0.0);
        (frame.parent >= 0 ? children[size_t(frame.parent)] : top).push_back(&frame);
    }
    // The section: a column of its top-level blocks, as wide as the section.
    double sum = 0.0;
    for (const BlockFrame* child : top) {
        EXPECT_NEAR(child->frame.width(), width, kTolerance);
        EXPECT_NEAR(child->frame.x(), 0.0, kTolerance);
        EXPECT_NEAR(child->frame.y(), sum, kTolerance);
        sum += child->frame.height() + padding;
    }
    if (!top.empty()) {
        EXPECT_NEAR(sum - padding, frames.height, kTolerance);
    }
    EXPECT_EQ(int(top.size()), section.blocks_size());

    for (size_t i = 0; i < frames.frames.size(); ++i) {
        const BlockFrame& parent = frames.frames[i];
        if (!parent.block->has_container() || children[i].empty())
            continue;
        const QRectF box = parent.frame;
        double extent = 0.0;
        if (parent.block->container().vert()) {
            for (const BlockFrame* child : children[i]) {
                EXPECT_NEAR(child->frame.width(), box.width(), kTolerance);
                EXPECT_NEAR(child->frame.x(), box.x(), kTolerance);
                EXPECT_NEAR(child->frame.y(), box.y() + extent, kTolerance);
                extent += child->frame.height() + padding;
            }
            EXPECT_NEAR(extent - padding, box.height(), kTolerance);
        } else {
            for (const BlockFrame* child : children[i]) {
                EXPECT_NEAR(child->frame.height(), box.height(), kTolerance);
                EXPECT_NEAR(child->frame.y(), box.y(), kTolerance);
                EXPECT_NEAR(child->frame.x(), box.x() + extent, kTolerance);
                extent += child->frame.width() + padding;
            }
            EXPECT_NEAR(extent - padding, box.width(), kTolerance);
        }
    }
}

PLRBlockPtr randomTree(std::mt19937& random, int depth)
{
    std::uniform_real_distribution<double> ratio(0.3, 3.0);
    std::uniform_int_distribution<int> kind(0, 3);
    if (depth == 0 || kind(random) == 0) {
        std::uniform_int_distribution<int> leaf(0, 2);
        return leaf(random) == 0 ? blankBlock(float(ratio(random))) : imageBlock(QStringLiteral("p"), float(ratio(random)));
    }
    std::uniform_int_distribution<int> count(1, 4);
    PLRBlockPtr container = PLRLayoutManager::newBlock_Container(kind(random) % 2 == 0);
    const int n = count(random);
    for (int i = 0; i < n; ++i)
        container->mutable_container()->mutable_sub_blocks()->AddAllocated(randomTree(random, depth - 1).release());
    return container;
}

SolverEnvironment noPhotos()
{
    return {};
}

} // namespace

TEST(StackedSectionSolver, TwoSquarePhotosInARow)
{
    PLRSection section;
    addTo(section, containerOf(false, list(imageBlock("a", 1.0f), imageBlock("b", 1.0f))));
    const SectionFrames frames = solveStackedSection(section, 1500, 10, noPhotos());
    ASSERT_EQ(frames.frames.size(), 3u);
    EXPECT_EQ(frames.frames[1].frame, QRectF(0, 0, 745, 745));
    EXPECT_EQ(frames.frames[2].frame, QRectF(755, 0, 745, 745));
    EXPECT_EQ(frames.frames[0].frame, QRectF(0, 0, 1500, 745));
    EXPECT_DOUBLE_EQ(frames.height, 745);
    EXPECT_EQ(frames.rectFor(&section.blocks(0).container().sub_blocks(1)), QRectF(755, 0, 745, 745));
    EXPECT_EQ(frames.pathFor(&section.blocks(0).container().sub_blocks(1)), (QList<int>{0, 1}));
}

TEST(StackedSectionSolver, RandomTreesKeepTheirEqualities)
{
    std::mt19937 random(20240611);
    // Wide enough for every padding of these trees: no block is squeezed to nothing.
    std::uniform_real_distribution<double> widths(1000.0, 2500.0);
    std::uniform_real_distribution<double> paddings(0.0, 12.0);
    std::uniform_int_distribution<int> topCount(1, 6);
    int infeasible = 0;
    for (int round = 0; round < 300; ++round) {
        PLRSection section;
        const int n = topCount(random);
        for (int i = 0; i < n; ++i)
            addTo(section, randomTree(random, 3));
        const double width = widths(random);
        const double padding = paddings(random);
        const SectionFrames frames = solveStackedSection(section, width, padding, noPhotos());
        // A deep tree can ask a row for less height than the paddings of a column in it: no
        // width fits that, the column is squeezed to nothing and the row grows. Leave those out.
        if (std::any_of(frames.frames.begin(), frames.frames.end(), [](const BlockFrame& f) { return f.frame.width() == 0.0; })) {
            ++infeasible;
            continue;
        }
        SCOPED_TRACE(round);
        expectEqualities(section, frames, width, padding);
        // Photos and blanks keep their ratio exactly (no text here, nothing is stretched).
        for (const BlockFrame& frame : frames.frames) {
            if (!frame.block->has_container() && frame.frame.height() > 0) {
                EXPECT_NEAR(frame.frame.width() / frame.frame.height(), frame.block->aspect_ratio(), 1e-6);
            }
        }
        if (HasFailure())
            break;
    }
    EXPECT_LT(infeasible, 30);
}

TEST(StackedSectionSolver, RatiosComeFromThePhotoOrFallBack)
{
    SolverEnvironment environment;
    environment.imageRatio = [](const QString& identifier) { return identifier == "wide" ? 2.0 : 0.0; };
    PLRSection section;
    addTo(section, imageBlock("wide"));                     // 0: the photo's own ratio, 2:1
    addTo(section, imageBlock("missing"));                  // no photo: 3:2
    addTo(section, imageBlock("wide", 0.5f));               // the block's ratio wins
    addTo(section, imageBlock("x", std::numeric_limits<float>::quiet_NaN()));
    addTo(section, imageBlock("x", std::numeric_limits<float>::infinity()));
    addTo(section, imageBlock("x", -2.0f));
    addTo(section, blankBlock(0.0f));
    addTo(section, blankBlock(1e-9f));                      // clamped to 1:100
    const SectionFrames frames = solveStackedSection(section, 600, 0, environment);
    const double heights[] = {300, 400, 1200, 400, 400, 400, 400, 60000};
    for (size_t i = 0; i < 8; ++i)
        EXPECT_NEAR(frames.frames[i].frame.height(), heights[i], 1e-6) << i;
}

TEST(StackedSectionSolver, FaultyTreesGiveSensibleFrames)
{
    // No block at all.
    PLRSection empty;
    EXPECT_EQ(solveStackedSection(empty, 1500, 10, noPhotos()).height, 0.0);

    // Empty containers take no room and no padding; a photo beside them fills the row.
    PLRSection withEmpty;
    addTo(withEmpty, PLRLayoutManager::newBlock_Container(true));
    addTo(withEmpty, containerOf(false, list(PLRLayoutManager::newBlock_Container(), imageBlock("a", 2.0f),
                                             containerOf(true, list(PLRLayoutManager::newBlock_Container())))));
    SectionFrames frames = solveStackedSection(withEmpty, 1000, 10, noPhotos());
    EXPECT_DOUBLE_EQ(frames.height, 500);
    EXPECT_EQ(frames.rectFor(&withEmpty.blocks(1).container().sub_blocks(1)), QRectF(0, 0, 1000, 500));
    EXPECT_EQ(frames.rectFor(&withEmpty.blocks(0)).size(), QSizeF(0, 0));

    // Fifty containers deep, alternating rows and columns.
    PLRBlockPtr deep = imageBlock("a", 1.0f);
    for (int i = 0; i < 50; ++i)
        deep = containerOf(i % 2 == 0, list(std::move(deep)));
    PLRSection nested;
    addTo(nested, std::move(deep));
    frames = solveStackedSection(nested, 800, 10, noPhotos());
    EXPECT_DOUBLE_EQ(frames.height, 800);
    EXPECT_EQ(frames.frames.back().frame, QRectF(0, 0, 800, 800));

    // A row narrower than its paddings, and widths that are not numbers.
    PLRSection narrow;
    addTo(narrow, containerOf(false, list(imageBlock("a", 1.0f), imageBlock("b", 1.0f), imageBlock("c", 1.0f),
                                          containerOf(true, list(imageBlock("d", 1.0f), imageBlock("e", 1.0f))))));
    for (double width : {15.0, 0.0, -5.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        frames = solveStackedSection(narrow, width, 10, noPhotos());
        for (const BlockFrame& frame : frames.frames) {
            EXPECT_TRUE(std::isfinite(frame.frame.width()) && std::isfinite(frame.frame.height())) << width;
            EXPECT_GE(frame.frame.width(), 0.0);
            EXPECT_GE(frame.frame.height(), 0.0);
            EXPECT_LE(frame.frame.right(), std::max(0.0, std::isfinite(width) ? width : 0.0) + 1e-9);
        }
    }
}

TEST(StackedSectionSolver, TextTakesTheHeightItsContentNeeds)
{
    // Content of a fixed area: height = 40000 / width (at least 20).
    SolverEnvironment environment;
    environment.contentHeight = [](const PLRBlock& block, double width) {
        if (!block.has_text())
            return 40.0;
        const double area = block.text().value().size() * 1000.0;
        return std::max(20.0, area / std::max(width, 1.0));
    };
    auto text = [](int length) {
        PLRBlockPtr block = PLRLayoutManager::newBlock_Text();
        block->mutable_text()->set_value(std::string(size_t(length), 'x'));
        return block;
    };

    // At the top level a text is exactly as tall as its content at the section's width.
    PLRSection column;
    addTo(column, text(40));
    addTo(column, PLRLayoutManager::newBlock_DownloadButton());
    SectionFrames frames = solveStackedSection(column, 500, 10, environment);
    EXPECT_DOUBLE_EQ(frames.frames[0].frame.height(), 80);
    EXPECT_DOUBLE_EQ(frames.frames[1].frame.height(), 40);
    EXPECT_DOUBLE_EQ(frames.height, 130);

    // A short text beside a square photo keeps the share of a 3:2 box.
    PLRSection shortRow;
    addTo(shortRow, containerOf(false, list(imageBlock("a", 1.0f), text(1))));
    frames = solveStackedSection(shortRow, 1000, 0, environment);
    EXPECT_NEAR(frames.frames[1].frame.width(), 400, 1e-6);
    EXPECT_NEAR(frames.frames[2].frame.width(), 600, 1e-6);
    EXPECT_NEAR(frames.height, 400, 1e-6);

    // A long text is never clipped, and the row's equalities hold, nested or not.
    for (int length : {200, 600, 3000}) {
        PLRSection row;
        addTo(row, containerOf(false, list(imageBlock("a", 1.0f), text(length),
                                           containerOf(true, list(imageBlock("b", 1.5f), text(length / 2))))));
        frames = solveStackedSection(row, 900, 10, environment);
        SCOPED_TRACE(length);
        expectEqualities(row, frames, 900, 10);
        for (const BlockFrame& frame : frames.frames) {
            if (frame.block->has_text()) {
                EXPECT_GE(frame.frame.height() + 1e-6, environment.contentHeight(*frame.block, frame.frame.width()));
            }
        }
    }
}
