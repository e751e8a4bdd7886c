// A post whose location.plist names 10,000 and then 40,000 photos that are all gone from the
// folder: the first scan marks every one missing. Prints the times and the 40k / 10k ratio
// (about 4 when the work grows linearly), and reading the plist alone as an anchor.
//
// Build and run: cmake --preset bench && cmake --build build/bench --target source_directory_bench
//                build/bench/bench/source_directory_bench

#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "platform/Plist.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

struct Timing {
    double plistMs = 0;
    double scanMs = 0;
};

Timing run(const QString& root, int records)
{
    const QString folder = root + QStringLiteral("/photos-%1").arg(records);
    QDir().mkpath(folder);
    const QString plist = root + QStringLiteral("/location-%1.plist").arg(records);
    QVariantList images;
    images.reserve(records);
    for (int i = 0; i < records; ++i)
        images.append(QVariantMap{{"identifier", QStringLiteral("ID-%1").arg(i)},
                                  {"file_name", QStringLiteral("IMG_%1.jpg").arg(i)},
                                  {"hidden", false},
                                  {"keywords", QVariantList()}});
    platform::plist::writeFile(plist, QVariantMap{{"location", folder}, {"images", images}});

    Timing timing;
    QElapsedTimer timer;
    timer.start();
    bool ok = false;
    platform::plist::readDictionary(plist, &ok);
    timing.plistMs = double(timer.nsecsElapsed()) / 1e6;

    PLRSourceDirectory::Config config;
    config.locationPlistPath = plist;
    config.cacheRoot = root + QStringLiteral("/loc");
    timer.restart();
    PLRSourceDirectory directory(config);
    directory.startWatching();
    directory.waitUntilIdle();
    timing.scanMs = double(timer.nsecsElapsed()) / 1e6;
    if (directory.vanishedImages().size() != records)
        std::fprintf(stderr, "expected %d missing photos, got %lld\n", records,
                     static_cast<long long>(directory.vanishedImages().size()));
    return timing;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("PELLORA_LOG_QUIET", "1");
    QCoreApplication app(argc, argv);
    const Timing small = run(home.path(), 10000);
    const Timing large = run(home.path(), 40000);
    std::printf("10,000 missing photos: load and scan %.1f ms (plist alone %.1f ms)\n", small.scanMs, small.plistMs);
    std::printf("40,000 missing photos: load and scan %.1f ms (plist alone %.1f ms)\n", large.scanMs, large.plistMs);
    std::printf("ratio 40k / 10k: %.2f (plist alone %.2f)\n", large.scanMs / small.scanMs, large.plistMs / small.plistMs);
    return 0;
}
