// Layout engine timings on a layout of 2,000 blocks laid out at width 1500:
//   BM_Solve        the stacked-section solver alone (text heights measured once and cached);
//   BM_LayoutViews  a full layout pass of the views (solve, mend the block views, place them);
//   BM_Paint        painting the whole layout (in 1500 x 1000 tiles, off-screen);
//   BM_PaintViewport painting one 1500 x 1000 viewport of it (what a canvas frame paints);
//   BM_Edit         one edit as the canvas sees it: insert a block through the layout manager,
//                   lay out again, repaint the changed part of a 1500 x 1000 viewport.
// Build and run: cmake --preset bench && cmake --build build/bench --target layout_bench
//                && QT_QPA_PLATFORM=offscreen build/bench/bench/layout_bench

#include "layout/base/PLRLayoutImageProvider.h"
#include "layout/base/PLRLayoutManager.h"
#include "layout/section_layout_handlers/PLRSectionLayoutHandler.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "layout/views/PLRSectionView.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>

#include <cmath>
#include <memory>

namespace {

constexpr double kWidth = 1500.0;
constexpr int kBlockCount = 2000;

class BenchImageProvider : public PLRLayoutImageProvider {
public:
    BenchImageProvider()
    {
        for (int i = 0; i < 8; ++i) {
            QImage image(96, 64, QImage::Format_ARGB32_Premultiplied);
            image.fill(QColor::fromHsv(i * 40, 160, 220));
            m_images.append(image);
        }
    }
    bool hasImage(const QString&) const override { return true; }
    QSizeF imageSize(const QString& identifier) const override
    {
        return identifier.endsWith('p') ? QSizeF(4000, 6000) : QSizeF(6000, 4000);
    }
    QImage exportImage(const QString& identifier) const override
    {
        return m_images.at(int(qHash(identifier) % 8));
    }

private:
    QList<QImage> m_images;
};

PLRBlockPtr photo(int n)
{
    PLRBlockPtr block = PLRLayoutManager::newBlock_Image();
    block->mutable_image()->set_img_ref(QStringLiteral("photo-%1%2").arg(n).arg(n % 3 == 0 ? "p" : "l").toStdString());
    return block;
}

void adopt(PLRBlock* container, PLRBlockPtr child)
{
    container->mutable_container()->mutable_sub_blocks()->AddAllocated(child.release());
}

// Rows of three photos, single photos, a photo beside a column of two, and paragraphs.
void fillLayout(PLRLayout* layout)
{
    layout->set_padding(10);
    PLRSection* section = layout->add_sections();
    section->mutable_stacked();
    int blocks = 0, n = 0;
    while (blocks < kBlockCount) {
        switch (n % 4) {
        case 0: {
            PLRBlockPtr row = PLRLayoutManager::newBlock_Container(false);
            for (int i = 0; i < 3; ++i)
                adopt(row.get(), photo(n * 10 + i));
            section->mutable_blocks()->AddAllocated(row.release());
            blocks += 4;
            break;
        }
        case 1:
            section->mutable_blocks()->AddAllocated(photo(n * 10).release());
            blocks += 1;
            break;
        case 2: {
            PLRBlockPtr row = PLRLayoutManager::newBlock_Container(false);
            adopt(row.get(), photo(n * 10));
            PLRBlockPtr column = PLRLayoutManager::newBlock_Container(true);
            adopt(column.get(), photo(n * 10 + 1));
            adopt(column.get(), photo(n * 10 + 2));
            adopt(row.get(), std::move(column));
            section->mutable_blocks()->AddAllocated(row.release());
            blocks += 5;
            break;
        }
        default: {
            PLRBlockPtr text = PLRLayoutManager::newBlock_Text();
            text->mutable_text()->set_value("A paragraph between the photos, long enough to wrap once or twice "
                                            "at a narrow width but on one line at the full width of the layout.");
            section->mutable_blocks()->AddAllocated(text.release());
            blocks += 1;
            break;
        }
        }
        ++n;
    }
}

struct Fixture {
    PLRLayout layout;
    std::unique_ptr<PLRLayoutManager> manager;
    std::unique_ptr<PLRLayoutViewProxy> proxy;

    Fixture()
    {
        fillLayout(&layout);
        manager = std::make_unique<PLRLayoutManager>(&layout);
        manager->setImageProvider(std::make_unique<BenchImageProvider>());
        proxy = std::make_unique<PLRLayoutViewProxy>(manager.get(), &layout, kWidth);
        proxy->layoutView()->ensureSectionLayout();
    }
};

Fixture& fixture()
{
    static Fixture instance;
    return instance;
}

void BM_Solve(benchmark::State& state)
{
    Fixture& f = fixture();
    PLRContentHeightCache heights;
    BenchImageProvider photos;
    plr::layout::SolverEnvironment environment;
    environment.imageRatio = [&photos](const QString& identifier) { return photos.aspectRatioFactor(identifier); };
    environment.contentHeight = [&heights](const PLRBlock& block, double width) { return heights.heightFor(block, width); };
    const PLRSection& section = f.layout.sections(0);
    for (auto _ : state) {
        plr::layout::SectionFrames frames = plr::layout::solveStackedSection(section, kWidth, 10, environment);
        benchmark::DoNotOptimize(frames.height);
    }
    state.counters["blocks"] = double(plr::layout::solveStackedSection(section, kWidth, 10, environment).frames.size());
}
BENCHMARK(BM_Solve)->Unit(benchmark::kMicrosecond);

void BM_LayoutViews(benchmark::State& state)
{
    PLRLayoutView* view = fixture().proxy->layoutView();
    for (auto _ : state) {
        view->updateConstraints();
        view->layoutSubtreeIfNeeded();
    }
    state.counters["height"] = view->bounds().height();
}
BENCHMARK(BM_LayoutViews)->Unit(benchmark::kMicrosecond);

void BM_Paint(benchmark::State& state)
{
    PLRLayoutView* view = fixture().proxy->layoutView();
    QImage tile(int(kWidth), 1000, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        for (double top = 0; top < view->bounds().height(); top += tile.height()) {
            QPainter painter(&tile);
            painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);
            painter.translate(0, -top);
            view->displayRectIgnoringOpacity(QRectF(0, top, kWidth, tile.height()), &painter);
        }
    }
}
BENCHMARK(BM_Paint)->Unit(benchmark::kMillisecond);

void BM_PaintViewport(benchmark::State& state)
{
    PLRLayoutView* view = fixture().proxy->layoutView();
    QImage viewport(int(kWidth), 1000, QImage::Format_ARGB32_Premultiplied);
    double top = 0;
    for (auto _ : state) {
        QPainter painter(&viewport);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);
        painter.translate(0, -top);
        view->displayRectIgnoringOpacity(QRectF(0, top, kWidth, viewport.height()), &painter);
        top = std::fmod(top + 7919.0, std::max(1.0, view->bounds().height() - viewport.height()));
    }
}
BENCHMARK(BM_PaintViewport)->Unit(benchmark::kMillisecond);

void BM_Edit(benchmark::State& state)
{
    Fixture& f = fixture();
    PLRLayoutView* view = f.proxy->layoutView();
    PLRSection* section = f.layout.mutable_sections(0);
    const int index = section->blocks_size() / 2;
    QImage viewport(int(kWidth), 1000, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        PLRBlock* added = f.manager->insertBlock(photo(99999), index, nullptr, section);
        view->layoutSubtreeIfNeeded();
        // The canvas shows 1000 points around the new block; repaint what changed there.
        const QRectF frame = f.proxy->blockViewForBlock(added)->frameInLayoutView();
        const QRectF visible(0, std::max(0.0, frame.top() - 300), kWidth, viewport.height());
        const QRectF dirty = view->lastChangedRect().intersected(visible);
        {
            QPainter painter(&viewport);
            painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);
            painter.translate(-visible.topLeft());
            painter.setClipRect(dirty);
            view->displayRectIgnoringOpacity(dirty, &painter);
        }
        state.PauseTiming();
        f.manager->removeBlock(added, false);
        view->layoutSubtreeIfNeeded();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Edit)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
