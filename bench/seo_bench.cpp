// SEO advice timings on a post whose layout holds 2,000 blocks (every fourth a text block of
// about forty words, the rest photos), with five focus keywords:
//   BM_TitleKeystroke  one keystroke in the SEO title: the title metric evaluates and the SEO
//                      panel shows every row again;
//   BM_LayoutEdit      one layout change (a text block edited): the image-keyword and body-text
//                      metrics walk the whole layout and the panel shows every row again;
//   BM_BodyScan        the anchor: lower-casing the body text once and searching it for the
//                      five keywords, the least any body-text evaluation must do.
// The layout edit's time against a 60 Hz frame (16.7 ms) is printed as "frame_share", and
// at the end the layout edit's time against the body scan's, both measured in this run.
// Build and run: cmake --preset bench && cmake --build build/bench --target seo_bench
//                && QT_QPA_PLATFORM=offscreen build/bench/bench/seo_bench

#include "layout/PLRLayoutLibrary.h"
#include "layout/base/PLRLayoutManager.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/UserDefaults.h"
#include "publishing/PLRPublishing.h"
#include "publishing/seo/PLRSeoManager.h"
#include "publishing/seo/PLRSeoUIHandler.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>
#include <map>
#include <memory>

namespace {

constexpr int kBlockCount = 2000;
const QStringList kKeywords{"mountain", "lake", "sunrise", "hiking", "alps"};

struct Fixture {
    Fixture()
    {
        PLRLayoutLibrary::install();
        PLRPublishing::install();
        PLRCoreManager::completeSignIn("bench@example.com", "secret", "u-bench", "token");
        postManager = PLRCoreManager::userSession()->newPostManager();
        postManager->createNewPostWithTitle("Bench", QUrl::fromLocalFile(QDir::tempPath() + "/no-photos-here"));
        post = postManager->representedPost();
        layout = postManager->layoutManager();
        PLRSection* section = layout->addNewSection();
        const QString sentence = QStringLiteral("We walked up to the lake before sunrise and the mountain turned red. ");
        for (int i = 0; i < kBlockCount; ++i) {
            PLRBlockPtr block;
            if (i % 4 == 0) {
                block = PLRLayoutManager::newBlock_Text();
                block->mutable_text()->set_value(sentence.repeated(3).toStdString());
            } else {
                block = PLRLayoutManager::newBlock_Image();
                block->mutable_image()->set_img_ref(QStringLiteral("photo-%1").arg(i).toStdString());
            }
            section->add_blocks()->Swap(block.get());
        }
        layout->announceChange();
        post->setFocusKeywords(kKeywords);
        panel.view()->resize(250, 800);
        panel.setPostManager(postManager);
        seo = postManager->component<PLRSeoManager>();
    }
    PLRPostManager* postManager = nullptr;
    PLRPersistantPost* post = nullptr;
    PLRLayoutManager* layout = nullptr;
    PLRSeoManager* seo = nullptr;
    PLRSeoUIHandler panel;
};

// Made on first use and let go in main(), with the signed-in session, while the application
// and the other statics still exist. Left to the exit handlers, the session went after the
// static behind PLRWebServiceManager::globalManager(): the post publisher's destructor asked
// for the manager, wrote a new one into the destroyed pointer and corrupted the heap, and a
// later free() crashed (SIGSEGV, at random).
std::unique_ptr<Fixture>& fixtureStorage()
{
    static std::unique_ptr<Fixture> f;
    return f;
}

Fixture& fixture()
{
    if (!fixtureStorage())
        fixtureStorage() = std::make_unique<Fixture>();
    return *fixtureStorage();
}

// Keeps each run's mean time per iteration, to print the ratio of two benchmarks.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                times[run.benchmark_name()] = run.GetAdjustedRealTime() * benchmark::GetTimeUnitMultiplier(run.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;   // seconds per iteration
};

void BM_TitleKeystroke(benchmark::State& state)
{
    Fixture& f = fixture();
    int n = 0;
    for (auto _ : state) {
        f.post->setSeoTitle(QStringLiteral("Sunrise over the mountain lake %1").arg(n++ % 10));
        f.panel.summaryChanged();
    }
}
BENCHMARK(BM_TitleKeystroke)->Unit(benchmark::kMicrosecond);

void BM_LayoutEdit(benchmark::State& state)
{
    Fixture& f = fixture();
    PLRBlock* text = f.layout->representedLayout()->mutable_sections(0)->mutable_blocks(0);
    int n = 0;
    QElapsedTimer timer;
    timer.start();
    for (auto _ : state) {
        text->mutable_text()->set_value(QStringLiteral("An alps hiking day %1").arg(n++).toStdString());
        f.layout->announceChange();
        f.panel.summaryChanged();
    }
    const double perEditMs = double(timer.nsecsElapsed()) / 1e6 / double(state.iterations());
    state.counters["frame_share"] = perEditMs / (1000.0 / 60.0);
}
BENCHMARK(BM_LayoutEdit)->Unit(benchmark::kMillisecond);

void BM_BodyScan(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        const QString body = PLRSeoManager::textCharactersInAllBlocks(*f.layout->representedLayout()).toLower();
        int found = 0;
        for (const QString& keyword : kKeywords)
            found += body.contains(keyword) ? 1 : 0;
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_BodyScan)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("PELLORA_HOME", home.path().toUtf8());
    qputenv("PELLORA_KEYCHAIN", "memory");
    QApplication application(argc, argv);
    platform::UserDefaults::standard().reload();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto edit = reporter.times.find("BM_LayoutEdit");
    const auto scan = reporter.times.find("BM_BodyScan");
    if (edit != reporter.times.end() && scan != reporter.times.end() && scan->second > 0)
        std::printf("layout edit / body scan ratio: %.2f\n", edit->second / scan->second);
    benchmark::Shutdown();
    fixtureStorage().reset();
    PLRCoreManager::setUserSession(nullptr);
    PLRCoreManager::saveQueue().waitUntilIdle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    return 0;
}
