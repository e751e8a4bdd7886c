// Two cases of a post's photo folder:
// - A post whose location.plist names 5,000 and then 20,000 photos that are all gone from the
//   folder: the first scan marks every one missing. Prints the median times and the 20k / 5k ratio
//   (about 4 when the work grows linearly), and reading the plist alone as an anchor. The size
//   the store reads (kPLRPostMaxLocationBytes) is printed beside the plist's size; a plist over
//   it, or a scan that does not mark every photo missing, ends the run with an error rather than
//   a ratio.
// - A post opened again on its folder of 1,000 cached photos, as after a clean quit (every
//   photo found as it was), against the same opening with every photo read (its location.plist
//   without what the files held, as posts saved it before that was kept), paired run by run.
//   With a folder of real photos as the first argument (e.g. /work/photos/real) the 1,000 are
//   links to them; otherwise small photos made here.
// - A post whose folder held 200,000 photos in nested folders of 60-character names (each photo
//   with what its file held) when it was last saved, all gone now: saved again and opened again,
//   every record must come back. Prints its location.plist's size against the store's bound
//   (the records as dictionaries would be some 110 MB), the bytes a record takes, and the times
//   of the save and of the opening against the 20,000 missing photos' load and scan above.
//
// Build and run: cmake --preset bench && cmake --build build/bench --target source_directory_bench
//                build/bench/bench/source_directory_bench [folder of real photos]

#include "BenchSupport.h"

#include "store/persistance-store/PLRPersistantPost.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "platform/Plist.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <cstdio>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kFewMissing = 5000;
constexpr int kManyMissing = 4 * kFewMissing;

struct Timing {
    double plistMs = 0;
    double scanMs = 0;
    qint64 plistBytes = 0;
    bool ok = false;   // the plist was within the store's limit and every photo was marked missing
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
    timing.plistBytes = QFileInfo(plist).size();
    if (timing.plistBytes > kPLRPostMaxLocationBytes) {
        std::fprintf(stderr, "the location.plist of %d photos is %lld bytes, over the %lld the store reads\n", records,
                     static_cast<long long>(timing.plistBytes), static_cast<long long>(kPLRPostMaxLocationBytes));
        return timing;
    }
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
    timing.ok = directory.vanishedImages().size() == records;
    if (!timing.ok)
        std::fprintf(stderr, "expected %d missing photos, got %lld\n", records,
                     static_cast<long long>(directory.vanishedImages().size()));
    return timing;
}

// A folder of `count` photos: links to (or copies of) the real photos given, in turn, else
// small photos made here.
bool makeFolder(const QString& folder, const QString& realPhotos, int count)
{
    QDir().mkpath(folder);
    QStringList sources;
    if (!realPhotos.isEmpty()) {
        for (const QString& name : QDir(realPhotos).entryList({QStringLiteral("*.jpg"), QStringLiteral("*.JPG")}, QDir::Files))
            sources.append(QDir(realPhotos).filePath(name));
    }
    for (int i = 0; i < count; ++i) {
        const QString target = folder + QStringLiteral("/IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
        if (!sources.isEmpty()) {
            const QString source = sources[i % sources.size()];
            if (::link(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) != 0
                && !QFile::copy(source, target))
                return false;
            continue;
        }
        QImage image(320, 240, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((i * 7) % 360, 160, 200));
        if (!image.save(target, "JPG", 85))
            return false;
    }
    return true;
}

// One opening of the post whose location.plist is a copy of `plist`: from its scan to its
// last photo listed. Answers the time in milliseconds, or -1 when the photos were not all found.
double openOnce(const QString& plist, const QString& work, const QString& cacheRoot, int count)
{
    QFile::remove(work);
    if (!QFile::copy(plist, work))
        return -1;
    PLRSourceDirectory::Config config;
    config.locationPlistPath = work;
    config.cacheRoot = cacheRoot;
    QElapsedTimer timer;
    timer.start();
    double ms = -1;
    {
        PLRSourceDirectory directory(config);
        directory.startWatching();
        directory.waitUntilIdle();
        ms = double(timer.nsecsElapsed()) / 1e6;
        if (directory.images().size() != count || !directory.vanishedImages().isEmpty())
            ms = -1;
        PLRImageManager::shared().waitUntilAllOperationsAreFinished();
        directory.stopWatching();
    }
    QCoreApplication::processEvents();
    return ms;
}

// The post's location.plist as a post saved it before what its files held was kept in it.
bool withoutWhatTheFilesHeld(const QString& from, const QString& to)
{
    bool ok = false;
    QVariantMap plist = platform::plist::readDictionary(from, &ok, nullptr, qint64(64) * 1024 * 1024);
    if (!ok)
        return false;
    QVariantList records = plist.value(QStringLiteral("images")).toList();
    for (QVariant& item : records) {
        QVariantMap record = item.toMap();
        record.remove(QStringLiteral("metadata"));
        item = record;
    }
    plist.insert(QStringLiteral("images"), records);
    return platform::plist::writeFile(to, plist);
}

struct Huge {
    qint64 bytes = 0;
    double saveMs = 0;
    double openMs = 0;
    bool ok = false;
};

Huge hugeFolder(const QString& root, int records)
{
    Huge huge;
    const QString folder = root + QStringLiteral("/huge");
    const QString plist = root + QStringLiteral("/huge-post/location.plist");
    QDir().mkpath(folder);
    QDir().mkpath(QFileInfo(plist).absolutePath());
    QVariantList images;
    images.reserve(records);
    const QString outer(58, QLatin1Char('o')), inner(57, QLatin1Char('i'));
    for (int i = 0; i < records; ++i) {
        images.append(QVariantMap{
            {"identifier", QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()},
            {"file_name", QStringLiteral("%1%2/%3%4/IMG_%5.jpg").arg(outer).arg(i / 20000, 2, 10, QLatin1Char('0'))
                              .arg(inner).arg(i / 500 % 40, 3, 10, QLatin1Char('0')).arg(i, 6, 10, QLatin1Char('0'))},
            {"hidden", false},
            {"keywords", QVariantList()},
            {"file_size", qint64(4000000 + i)},
            {"file_modified", qint64(1733678000000000000LL + qint64(i) * 1000000000)},
            {"metadata", QStringLiteral("1 1 6000 4000 1 3 2 300 0 1733678000123")}});
    }
    if (!PLRSourceDirectory::writeLocationFile(plist, QVariantMap{{"location", folder}, {"images", images}})) {
        std::fprintf(stderr, "the records of %d photos could not be written\n", records);
        return huge;
    }
    PLRSourceDirectory::Config config;
    config.locationPlistPath = plist;
    config.cacheRoot = root + QStringLiteral("/huge-loc");
    QElapsedTimer timer;
    {
        PLRSourceDirectory directory(config);
        directory.startWatching();
        directory.waitUntilIdle();
        if (directory.vanishedImages().size() != records) {
            std::fprintf(stderr, "the first opening found %lld of %d records\n",
                         static_cast<long long>(directory.vanishedImages().size()), records);
            return huge;
        }
        timer.start();
        if (!directory.save()) {
            std::fprintf(stderr, "the records of %d photos were not saved\n", records);
            return huge;
        }
        huge.saveMs = double(timer.nsecsElapsed()) / 1e6;
        directory.stopWatching();
    }
    huge.bytes = QFileInfo(plist).size();
    timer.restart();
    PLRSourceDirectory directory(config);
    directory.startWatching();
    directory.waitUntilIdle();
    huge.openMs = double(timer.nsecsElapsed()) / 1e6;
    huge.ok = directory.vanishedImages().size() == records && huge.bytes <= kPLRPostMaxLocationBytes;
    if (!huge.ok)
        std::fprintf(stderr, "opened again: %lld of %d records, from %lld bytes\n",
                     static_cast<long long>(directory.vanishedImages().size()), records, static_cast<long long>(huge.bytes));
    directory.stopWatching();
    return huge;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("PELLORA_LOG_QUIET", "1");
    QCoreApplication app(argc, argv);
    const QString realPhotos = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    bench_support::printLoad("at start");

    // Medians of a few runs of each, taken in turn.
    constexpr int kMissingRounds = 5;
    std::vector<double> smallScan, smallPlist, largeScan, largePlist;
    qint64 smallBytes = 0, largeBytes = 0;
    for (int round = 0; round < kMissingRounds; ++round) {
        const Timing small = run(home.path(), kFewMissing);
        const Timing large = run(home.path(), kManyMissing);
        if (!small.ok || !large.ok)
            return 1;
        smallScan.push_back(small.scanMs);
        smallPlist.push_back(small.plistMs);
        largeScan.push_back(large.scanMs);
        largePlist.push_back(large.plistMs);
        smallBytes = small.plistBytes;
        largeBytes = large.plistBytes;
    }
    const double limitMB = double(kPLRPostMaxLocationBytes) / (1024 * 1024);
    std::printf("%d missing photos (plist %.2f MB of the store's %.0f MB): load and scan median %.1f ms (plist alone %.1f ms)\n",
                kFewMissing, double(smallBytes) / (1024 * 1024), limitMB, bench_support::median(smallScan),
                bench_support::median(smallPlist));
    std::printf("%d missing photos (plist %.2f MB of the store's %.0f MB): load and scan median %.1f ms (plist alone %.1f ms)\n",
                kManyMissing, double(largeBytes) / (1024 * 1024), limitMB, bench_support::median(largeScan),
                bench_support::median(largePlist));
    std::printf("ratio %dk / %dk: %.2f (plist alone %.2f), of %d runs each\n", kManyMissing / 1000, kFewMissing / 1000,
                bench_support::median(largeScan) / bench_support::median(smallScan),
                bench_support::median(largePlist) / bench_support::median(smallPlist), kMissingRounds);

    constexpr int kPhotos = 1000;
    constexpr int kRounds = 7;
    const QString folder = home.path() + QStringLiteral("/reopened");
    const QString cacheRoot = home.path() + QStringLiteral("/reopened-loc");
    const QString full = home.path() + QStringLiteral("/reopened-full.plist");
    const QString plain = home.path() + QStringLiteral("/reopened-plain.plist");
    if (!makeFolder(folder, realPhotos, kPhotos)) {
        std::fprintf(stderr, "could not make the folder of %d photos\n", kPhotos);
        return 1;
    }
    // A look leaves a file written less than 0.4 s before for a later one (it may still be being
    // written): on a busy machine the last photos would otherwise be left out of the post.
    QThread::msleep(500);
    {
        // The post made on the folder, its photos cached, and saved as at a clean quit.
        PLRSourceDirectory::Config config;
        config.folderPath = folder;
        config.locationPlistPath = full;
        config.cacheRoot = cacheRoot;
        PLRSourceDirectory directory(config);
        directory.startWatching();
        directory.waitUntilIdle();
        if (directory.images().size() != kPhotos) {
            std::fprintf(stderr, "the post made on the folder found %d of its %d photos\n", int(directory.images().size()), kPhotos);
            return 1;
        }
        PLRImageManager::shared().waitUntilAllOperationsAreFinished();
        directory.save();
        directory.stopWatching();
    }
    QCoreApplication::processEvents();
    if (!withoutWhatTheFilesHeld(full, plain)) {
        std::fprintf(stderr, "could not write the plain location.plist\n");
        return 1;
    }
    std::vector<double> reading;
    std::vector<double> reopening;
    const QString work = home.path() + QStringLiteral("/reopened-post/location.plist");
    QDir().mkpath(QFileInfo(work).absolutePath());
    for (int round = 0; round < kRounds; ++round) {
        reading.push_back(openOnce(plain, work, cacheRoot, kPhotos));
        reopening.push_back(openOnce(full, work, cacheRoot, kPhotos));
        if (reading.back() < 0 || reopening.back() < 0) {
            std::fprintf(stderr, "an opening did not find the %d photos\n", kPhotos);
            return 1;
        }
    }
    const char* kind = realPhotos.isEmpty() ? "small" : "real";
    std::printf("%d %s photos, opened again with every photo read (anchor): median %.1f ms\n", kPhotos, kind,
                bench_support::median(reading));
    std::printf("%d %s photos, opened again after a clean quit: median %.1f ms\n", kPhotos, kind,
                bench_support::median(reopening));
    bench_support::printPairedRatio("opened again / every photo read", reopening, reading);

    constexpr int kHuge = 200000;
    const Huge huge = hugeFolder(home.path(), kHuge);
    if (!huge.ok)
        return 1;
    std::printf("%d missing photos in nested folders: plist %.1f MB of the store's %.0f MB (%.0f bytes a record), "
                "saved in %.0f ms, opened again whole in %.0f ms (%.1f times the %dk missing photos' load and scan)\n",
                kHuge, double(huge.bytes) / (1024 * 1024), limitMB, double(huge.bytes) / kHuge, huge.saveMs, huge.openMs,
                huge.openMs / bench_support::median(largeScan), kManyMissing / 1000);
    bench_support::printLoad("at end");
    return 0;
}
