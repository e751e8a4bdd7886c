#include "SourceTestPhotos.h"
#include "platform/Clock.h"

#include "store/persistance-store/source/PLRImageUtilities.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/Plist.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QUuid>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <fcntl.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

// Readable failure messages.
inline void PrintTo(const QString& string, std::ostream* os)
{
    *os << '"' << string.toStdString() << '"';
}

using source_test::tagPhoto;
using source_test::writePhoto;
using testing_support::waitUntil;

namespace {

class Recorder : public QObject, public PLRSourceDirectoryDelegate {
public:
    struct Event {
        QString kind;
        QString file;
    };
    void sourceDirectoryUpdatedState(PLRSourceDirectory*, qint64 state) override
    {
        record(QStringLiteral("state"), QString::number(state));
    }
    void sourceDirectoryAddedNewImage(PLRSourceDirectory*, const PLRSourceImagePtr& image) override
    {
        record(QStringLiteral("added"), image->fileName());
    }
    void sourceDirectoryUpdatedImage(PLRSourceDirectory*, const PLRSourceImagePtr& image) override
    {
        record(QStringLiteral("updated"), image->fileName());
    }
    void sourceDirectoryDeletedImage(PLRSourceDirectory*, const PLRSourceImagePtr& image) override
    {
        record(QStringLiteral("deleted"), image->fileName());
    }
    // Called on the main thread with each call as it arrives (the recorder's lock not held).
    std::function<void(const QString& kind, const QString& file)> onCall;

    int count(const QString& kind, const QString& file = {})
    {
        std::lock_guard lock(m_mutex);
        return int(std::count_if(m_events.begin(), m_events.end(), [&](const Event& e) {
            return e.kind == kind && (file.isEmpty() || e.file == file);
        }));
    }
    std::string dump()
    {
        std::lock_guard lock(m_mutex);
        std::string out;
        for (const auto& e : m_events) out += (e.kind + ":" + e.file + " ").toStdString();
        return out;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_events.clear();
    }

private:
    void record(const QString& kind, const QString& file)
    {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back({kind, file});
            if (!platform::isMainThread())
                ++offMain;
        }
        if (onCall)
            onCall(kind, file);
    }

public:
    std::atomic_int offMain{0};

private:
    std::mutex m_mutex;
    std::vector<Event> m_events;
};

// The system clock, stepped forward by hand: files just written leave the "still being written"
// window at once instead of after a wait.
class SteppedClock final : public platform::Clock {
public:
    double now() const override { return m_system.now() + m_offset; }
    QDateTime wallTime() const override
    {
        return m_pinned.isValid() ? m_pinned : m_system.wallTime().addMSecs(qint64(m_offset * 1000.0));
    }
    platform::Cancellable after(double seconds, QObject* context, platform::Task task) override
    {
        return m_system.after(seconds, context, std::move(task));
    }
    void step(double seconds) { m_offset += seconds; }
    // Holds the wall time at `time` (an invalid time lets it run again).
    void pin(const QDateTime& time) { m_pinned = time; }

private:
    QDateTime m_pinned;
    platform::SystemClock m_system;
    double m_offset = 0.0;
};

struct Fixture {
    Fixture()
    {
        auto stepped = std::make_unique<SteppedClock>();
        clock = stepped.get();
        platform::Clock::setShared(std::move(stepped));
    }
    ~Fixture() { platform::Clock::setShared(nullptr); }
    // Sits out the "still being written" window of the files written so far.
    void settle() { clock->step(0.45); }

    SteppedClock* clock = nullptr;
    QTemporaryDir root;
    QString folder() const { return root.filePath(QStringLiteral("photos")); }
    QString plist() const { return root.filePath(QStringLiteral("post/location.plist")); }
    QString cache() const { return root.filePath(QStringLiteral("loc")); }

    std::unique_ptr<PLRSourceDirectory> make(const QString& folderPath = {}, bool subFolders = false,
                                             std::function<bool(const QString&)> access = {},
                                             std::function<void(const QString&)> listingBegun = {})
    {
        PLRSourceDirectory::Config config;
        config.folderPath = folderPath;
        config.locationPlistPath = plist();
        config.includeSubFolders = subFolders;
        config.cacheRoot = cache();
        config.accessCheck = std::move(access);
        config.listingBegun = std::move(listingBegun);
        config.debounceMs = 100;
        return std::make_unique<PLRSourceDirectory>(config);
    }
    static bool loaded(PLRSourceDirectory& directory)
    {
        return waitUntil([&] {
            return directory.state() == PLRSourceDirectory::StateWatching
                || directory.state() == PLRSourceDirectory::StateLocationUnavailable
                || directory.state() == PLRSourceDirectory::StateAccessDenied;
        }, 5000);
    }
    // Waits until the file-system watch is in place for the folder and each of its photos (it is
    // installed from the main loop).
    static bool watched(PLRSourceDirectory& directory)
    {
        return waitUntil([&] {
            const QStringList paths = directory.watchedPaths();
            const QList<PLRSourceImagePtr> images = directory.images();
            return paths.contains(directory.path())
                && std::all_of(images.begin(), images.end(), [&](const PLRSourceImagePtr& image) {
                       return image->fileDeleted() || paths.contains(image->path());
                   });
        }, 5000);
    }
};

PLRSourceImagePtr imageNamed(PLRSourceDirectory& directory, const QString& name)
{
    for (const auto& image : directory.images())
        if (image->fileName() == name)
            return image;
    return nullptr;
}

// Runs what waits on the hand-driven clock (the rescans), half a second at a time, until `done`
// holds (false after 5 s).
bool runTheClockUntil(platform::ManualClock& clock, const std::function<bool()>& done)
{
    return waitUntil([&] {
        if (!clock.waiting().empty())
            clock.advance(0.5);
        return done();
    }, 5000);
}

// Every look at the folder asked for so far has been taken (but the timed look for a folder that
// cannot be found, which waits for as long as it is missing).
bool everyLookTaken(PLRSourceDirectory& directory, platform::ManualClock& clock)
{
    return runTheClockUntil(clock, [&] {
        directory.waitUntilIdle();
        testing_support::drainEvents();
        return clock.waiting().size() == (directory.isLookingForTheFolder() ? 1u : 0u);
    });
}

// Two whole 640x480 photos, one.jpg and two.jpg, in a folder opened and watched, with the bytes
// they were written with.
struct TwoWatchedPhotos {
    QByteArray wholeOne;
    QByteArray wholeTwo;
    std::unique_ptr<PLRSourceDirectory> directory;
    Recorder recorder;
    PLRSourceImagePtr one;
    PLRSourceImagePtr two;

    ::testing::AssertionResult open(Fixture& f)
    {
        if (!writePhoto(f.folder() + "/one.jpg", 640, 480) || !writePhoto(f.folder() + "/two.jpg", 640, 480))
            return ::testing::AssertionFailure() << "the photos could not be written";
        wholeOne = source_test::readBytes(f.folder() + "/one.jpg");
        wholeTwo = source_test::readBytes(f.folder() + "/two.jpg");
        f.settle();
        directory = f.make(f.folder());
        directory->addDelegate(&recorder);
        directory->startWatching();
        if (!Fixture::loaded(*directory) || !Fixture::watched(*directory))
            return ::testing::AssertionFailure() << "the folder was not opened and watched";
        one = imageNamed(*directory, "one.jpg");
        two = imageNamed(*directory, "two.jpg");
        if (!one || !two)
            return ::testing::AssertionFailure() << "the photos were not listed";
        return ::testing::AssertionSuccess();
    }
};

PLRSourceImagePtr fakeImage(const QString& name, qint16 stars, qint64 colour, bool hidden, bool inLayout,
                            const QDateTime& created, qint64 modifiedSeconds)
{
    auto image = std::make_shared<PLRSourceImage>(QString(), QStringLiteral("/nonexistent"));
    PLRImageMetadata metadata;
    metadata.readable = true;
    metadata.pixelSize = QSize(10, 10);
    metadata.starRating = stars;
    metadata.colourRating = colour;
    metadata.creationDate = created;
    image->setFile(QStringLiteral("/photos/") + name, name, PLRFileStamp{1, modifiedSeconds * 1000000000}, metadata);
    image->setHidden(hidden);
    image->setInLayout(inLayout);
    return image;
}

QStringList names(const QList<PLRSourceImagePtr>& images)
{
    QStringList result;
    for (const auto& image : images)
        result.append(image->fileName());
    return result;
}

} // namespace

TEST(SourceDirectoryOrdering, FilterCodesStarsAndColourMask)
{
    const QDateTime date = QDateTime::currentDateTimeUtc();
    const QList<PLRSourceImagePtr> all = {
        fakeImage("a.jpg", 0, 0, false, false, date, 1),
        fakeImage("b.jpg", 3, 1, false, true, date, 1),    // red, in layout
        fakeImage("c.jpg", 5, 4, true, false, date, 1),    // blue, hidden
        fakeImage("d.jpg", 1, 7, false, false, date, 1),   // grey
        fakeImage("e.jpg", 4, 2, true, true, date, 1),     // yellow, hidden and in layout
    };
    using O = PLRSourceDirectoryOrdering;
    EXPECT_EQ(names(O::filter(all, 0, 0, 1, 0)), QStringList({"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"}));
    EXPECT_EQ(names(O::filter(all, 1, 0, 1, 0)), QStringList({"a.jpg", "b.jpg", "d.jpg"}));
    EXPECT_EQ(names(O::filter(all, 2, 0, 1, 0)), QStringList({"a.jpg", "d.jpg"}));
    EXPECT_EQ(names(O::filter(all, 3, 0, 1, 0)), QStringList({"b.jpg"}));
    EXPECT_EQ(names(O::filter(all, 4, 0, 1, 0)), QStringList({"c.jpg", "e.jpg"}));
    EXPECT_EQ(names(O::filter(all, 17, 0, 1, 0)).size(), 5);

    EXPECT_EQ(names(O::filter(all, 0, 4, 0, 0)), QStringList({"e.jpg"}));                    // equal
    EXPECT_EQ(names(O::filter(all, 0, 3, 1, 0)), QStringList({"b.jpg", "c.jpg", "e.jpg"}));  // at least
    EXPECT_EQ(names(O::filter(all, 0, 1, -1, 0)), QStringList({"a.jpg", "d.jpg"}));          // at most
    EXPECT_EQ(names(O::filter(all, 1, 3, 1, 0)), QStringList({"b.jpg"}));                    // with code

    EXPECT_EQ(names(O::filter(all, 0, 0, 1, 1)), QStringList({"b.jpg"}));                    // red
    EXPECT_EQ(names(O::filter(all, 0, 0, 1, 1 | 8 | 64)), QStringList({"b.jpg", "c.jpg", "d.jpg"}));
    EXPECT_EQ(names(O::filter(all, 0, 0, 1, 16 | 32)), QStringList());
    EXPECT_EQ(names(O::filter(all, 4, 5, 1, 8)), QStringList({"c.jpg"}));
}

TEST(SourceDirectoryOrdering, SortsByTitleAndDatesInBothOrders)
{
    const QDateTime base(QDate(2020, 1, 1), QTime(12, 0), Qt::UTC);
    QList<PLRSourceImagePtr> images = {
        fakeImage("beta.jpg", 0, 0, false, false, base.addDays(2), 300),
        fakeImage("Alpha.jpg", 0, 0, false, false, base.addDays(3), 100),
        fakeImage("gamma.jpg", 0, 0, false, false, base.addDays(1), 200),
    };
    using O = PLRSourceDirectoryOrdering;
    O::sort(images, 0, 0);
    EXPECT_EQ(names(images), QStringList({"Alpha.jpg", "beta.jpg", "gamma.jpg"}));
    O::sort(images, 0, 1);
    EXPECT_EQ(names(images), QStringList({"gamma.jpg", "beta.jpg", "Alpha.jpg"}));
    O::sort(images, 1, 0);
    EXPECT_EQ(names(images), QStringList({"gamma.jpg", "beta.jpg", "Alpha.jpg"}));
    O::sort(images, 1, 1);
    EXPECT_EQ(names(images), QStringList({"Alpha.jpg", "beta.jpg", "gamma.jpg"}));
    O::sort(images, 2, 0);
    EXPECT_EQ(names(images), QStringList({"Alpha.jpg", "gamma.jpg", "beta.jpg"}));
    O::sort(images, 2, 1);
    EXPECT_EQ(names(images), QStringList({"beta.jpg", "gamma.jpg", "Alpha.jpg"}));
}

// A file modified within the last 0.4 s, by the shared clock, may still be being written: it is
// left out until the clock has passed that window, then reported.
TEST(SourceDirectory, AFileStillBeingWrittenWaitsUntilTheClockHasPassedItsWindow)
{
    Fixture f;
    ASSERT_TRUE(writePhoto(f.folder() + "/fresh.jpg", 32, 32));
    const QDateTime written = QFileInfo(f.folder() + "/fresh.jpg").lastModified().toUTC();
    f.clock->pin(written.addMSecs(100));

    auto directory = f.make(f.folder());
    Recorder recorder;
    directory->addDelegate(&recorder);
    directory->startWatching();
    ASSERT_TRUE(Fixture::loaded(*directory));
    EXPECT_TRUE(directory->images().isEmpty());

    f.clock->pin(written.addMSecs(1000));
    ASSERT_TRUE(waitUntil([&] { return recorder.count("added", "fresh.jpg") > 0; }, 5000));
    EXPECT_EQ(names(directory->images()), QStringList({"fresh.jpg"}));
}

// The rescan after a file-system event waits for the quiet time on the clock; a file found
// still being written is looked at again once its window has passed on the clock.
TEST(SourceDirectory, RescansWaitOnTheClock)
{
    Fixture f;
    ASSERT_TRUE(writePhoto(f.folder() + "/one.jpg", 32, 32));
    f.settle();
    auto directory = f.make(f.folder());
    Recorder recorder;
    directory->addDelegate(&recorder);
    directory->startWatching();
    ASSERT_TRUE(Fixture::loaded(*directory));
    ASSERT_TRUE(Fixture::watched(*directory));

    platform::ManualClock& clock = platform::ManualClock::install();
    auto waitingFor = [&clock](double delay) {
        return waitUntil([&] {
            const std::vector<double> waiting = clock.waiting();
            return std::any_of(waiting.begin(), waiting.end(), [delay](double d) { return qAbs(d - delay) < 1e-6; });
        });
    };
    ASSERT_TRUE(QFile::copy(f.folder() + "/one.jpg", f.folder() + "/two.jpg"));
    ASSERT_TRUE(waitingFor(0.1));   // the quiet time after an event (0.1 s here)
    clock.advance(0.1);
    ASSERT_TRUE(waitingFor(0.45));   // just written: looked at again later
    EXPECT_EQ(recorder.count("added", "two.jpg"), 0);
    clock.advance(0.45);
    ASSERT_TRUE(waitUntil([&] { return recorder.count("added", "two.jpg") == 1; }));
}

// A file named as a photo that is no picture is listed, marked with its reason as any photo
// that cannot be used; a file not named as a photo is left out.
TEST(SourceDirectory, ScansReportsChangesOnceAndSkipsBadFiles)
{
    Fixture f;
    ASSERT_TRUE(writePhoto(f.folder() + "/one.jpg", 64, 48));
    ASSERT_TRUE(writePhoto(f.folder() + "/two.jpg", 64, 48));
    ASSERT_TRUE(tagPhoto(f.folder() + "/two.jpg", {{"Xmp.xmp.Rating", "2"}}));
    ASSERT_TRUE(source_test::writeBytes(f.folder() + "/corrupt.jpg", QByteArray(500, 'x')));
    ASSERT_TRUE(source_test::writeBytes(f.folder() + "/notes.txt", "hello"));
    // Sit out the "still being written" window for the files just made.
    f.settle();

    auto directory = f.make(f.folder());
    Recorder recorder;
    directory->addDelegate(&recorder);
    directory->startWatching();
    ASSERT_TRUE(Fixture::loaded(*directory));
    EXPECT_EQ(directory->state(), PLRSourceDirectory::StateWatching);
    EXPECT_TRUE(directory->locationExisits());
    EXPECT_EQ(names(directory->images()), QStringList({"corrupt.jpg", "one.jpg", "two.jpg"}));
    EXPECT_EQ(imageNamed(*directory, "two.jpg")->starRating(), 2);
    const PLRSourceImagePtr corrupt = imageNamed(*directory, "corrupt.jpg");
    ASSERT_TRUE(corrupt);
    EXPECT_EQ(corrupt->problem(), PLRPhotoProblem::Unreadable);
    EXPECT_FALSE(corrupt->fileDeleted());
    EXPECT_EQ(directory->unusablePhotosForIdentifiers({corrupt->identifier()}), QStringList({"corrupt.jpg: not a readable photo"}));
    recorder.clear();
    ASSERT_TRUE(Fixture::watched(*directory));

    // Copied in.
    ASSERT_TRUE(QFile::copy(f.folder() + "/one.jpg", f.folder() + "/three.jpg"));
    ASSERT_TRUE(waitUntil([&] { return recorder.count("added", "three.jpg") > 0; }, 2000));
    // Re-tagged in place.
    ASSERT_TRUE(tagPhoto(f.folder() + "/two.jpg", {{"Xmp.xmp.Rating", "5"}, {"Xmp.xmp.Label", "Green"}}));
    ASSERT_TRUE(waitUntil([&] { return recorder.count("updated", "two.jpg") > 0; }, 2000));
    EXPECT_EQ(imageNamed(*directory, "two.jpg")->starRating(), 5);
    EXPECT_EQ(imageNamed(*directory, "two.jpg")->colourRating(), 3);
    // Removed.
    const PLRSourceImagePtr one = imageNamed(*directory, "one.jpg");
    ASSERT_TRUE(QFile::remove(f.folder() + "/one.jpg"));
    ASSERT_TRUE(waitUntil([&] { return recorder.count("deleted", "one.jpg") > 0; }, 2000));
    // The record stays, marked missing, for the blocks that name it.
    EXPECT_TRUE(one->fileDeleted());
    EXPECT_EQ(directory->sourceImageForIdentifier(one->identifier()), one);
    EXPECT_EQ(directory->vanishedImages(), QList<PLRSourceImagePtr>({one}));

    // Any late duplicate reports would arrive within the rescans' delays.
    EXPECT_TRUE(testing_support::holdsFor([&] {
        return recorder.count("added") == 1 && recorder.count("updated") == 1 && recorder.count("deleted") == 1;
    }, 800)) << recorder.dump();
    EXPECT_EQ(names(directory->images()), QStringList({"corrupt.jpg", "three.jpg", "two.jpg"}));
    const QString twoId = imageNamed(*directory, "two.jpg")->identifier();
    EXPECT_EQ(directory->updateImagesInLayout({twoId, one->identifier()}), 1);
    EXPECT_TRUE(imageNamed(*directory, "two.jpg")->inLayout());
    EXPECT_EQ(directory->unusablePhotosForIdentifiers({twoId, one->identifier()}), QStringList({"one.jpg: missing from the folder"}));
    EXPECT_EQ(directory->unusablePhotosForIdentifiers({"NO-SUCH-PHOTO"}), QStringList({"NO-SUCH-PHOTO: missing from the folder"}));
    EXPECT_EQ(recorder.offMain, 0);

    // Progress: finished already, so the call-back runs at once.
    directory->waitUntilIdle();
    PLRImageManager::shared().waitUntilAllOperationsAreFinished();
    std::optional<PLRSourceDirectoryProgressInfo> progress;
    directory->setUIDirectoryWatchProgressCallback([&](const PLRSourceDirectoryProgressInfo& info) { progress = info; });
    ASSERT_TRUE(progress.has_value());
    EXPECT_TRUE(progress->loadDirectoryFinished);
    EXPECT_EQ(progress->totalLoadedImageCount, 3);
}

TEST(SourceDirectory, KeepsIdentifiersHiddenFlagsAndKeywordsAcrossReloadAndRelink)
{
    Fixture f;
    ASSERT_TRUE(writePhoto(f.folder() + "/a.jpg", 32, 32));
    ASSERT_TRUE(writePhoto(f.folder() + "/b.jpg", 32, 32));
    f.settle();

    QString idA;
    QString idB;
    {
        auto directory = f.make(f.folder());
        directory->startWatching();
        ASSERT_TRUE(Fixture::loaded(*directory));
        auto a = imageNamed(*directory, "a.jpg");
        auto b = imageNamed(*directory, "b.jpg");
        ASSERT_TRUE(a && b);
        idA = a->identifier();
        idB = b->identifier();
        EXPECT_NE(idA, idB);
        a->toggleHidden();
        b->setFocusKeywords({"sea", "boat"});
        ASSERT_TRUE(directory->save());
    }
    {
        // Reloaded from location.plist alone (no folder given).
        auto directory = f.make();
        EXPECT_EQ(directory->path(), QDir::cleanPath(f.folder()));
        directory->startWatching();
        ASSERT_TRUE(Fixture::loaded(*directory));
        ASSERT_EQ(directory->images().size(), 2);
        EXPECT_TRUE(directory->sourceImageForIdentifier(idA)->isHidden());
        EXPECT_FALSE(directory->sourceImageForIdentifier(idA)->fileDeleted());
        EXPECT_EQ(directory->sourceImageForIdentifier(idB)->focusKeywords(), QStringList({"sea", "boat"}));
    }
    {
        // Relinked to a moved copy of the folder, with one photo now in a sub-folder.
        const QString moved = f.root.filePath(QStringLiteral("moved"));
        ASSERT_TRUE(QDir().mkpath(moved + "/sub"));
        ASSERT_TRUE(QFile::copy(f.folder() + "/a.jpg", moved + "/a.jpg"));
        ASSERT_TRUE(QFile::copy(f.folder() + "/b.jpg", moved + "/sub/b.jpg"));
        ASSERT_TRUE(writePhoto(moved + "/c.jpg", 32, 32));
        f.settle();

        auto directory = f.make({}, true);
        Recorder recorder;
        directory->addDelegate(&recorder);
        directory->startWatching();
        ASSERT_TRUE(Fixture::loaded(*directory));
        directory->setNewLocation(QUrl::fromLocalFile(moved));
        ASSERT_TRUE(waitUntil([&] { return directory->images().size() == 3 && directory->state() == PLRSourceDirectory::StateWatching; }));
        directory->waitUntilIdle();
        EXPECT_EQ(directory->path(), QDir::cleanPath(moved));
        auto a = directory->sourceImageForIdentifier(idA);
        auto b = directory->sourceImageForIdentifier(idB);
        ASSERT_TRUE(a && b);
        EXPECT_EQ(a->path(), moved + "/a.jpg");
        EXPECT_EQ(b->relativePath(), QStringLiteral("sub/b.jpg"));
        EXPECT_TRUE(a->isHidden());
        EXPECT_EQ(b->focusKeywords(), QStringList({"sea", "boat"}));
        EXPECT_TRUE(waitUntil([&] { return recorder.count("added", "c.jpg") == 1; }, 2000));
        EXPECT_EQ(recorder.count("deleted"), 0);
    }
    {
        // The relink was stored.
        auto directory = f.make();
        EXPECT_EQ(directory->path(), QDir::cleanPath(f.root.filePath(QStringLiteral("moved"))));
        EXPECT_EQ(directory->images().size(), 3);
    }
}

TEST(SourceDirectory, AFolderOfManyThousandsOfPhotosIsReadBackWhole)
{
    Fixture f;
    ASSERT_TRUE(writePhoto(f.folder() + "/a.jpg", 32, 32));
    f.settle();
    QString kept;
    {
        auto directory = f.make(f.folder());
        directory->startWatching();
        ASSERT_TRUE(Fixture::loaded(*directory));
        ASSERT_EQ(directory->images().size(), 1);
        kept = directory->images()[0]->identifier();
        ASSERT_TRUE(directory->save());
    }
    // The folder held 16,000 more photos when the post was last saved, each recorded as the store
    // records a photo: far more than 4 MiB of records.
    bool ok = false;
    QVariantMap plist = platform::plist::readDictionary(f.plist(), &ok);
    ASSERT_TRUE(ok);
    QVariantList records = plist.value(QStringLiteral("images")).toList();
    ASSERT_EQ(records.size(), 1);
    QVariantMap record = records[0].toMap();
    ASSERT_TRUE(record.contains(QStringLiteral("file_size")) && record.contains(QStringLiteral("file_modified")));
    constexpr int kMore = 16000;
    for (int i = 0; i < kMore; ++i) {
        record.insert(QStringLiteral("identifier"), QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
        record.insert(QStringLiteral("file_name"), QStringLiteral("2026-10-04 Autumn trip/IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
        record.insert(QStringLiteral("keywords"), QStringList{QStringLiteral("autumn"), QStringLiteral("mountains")});
        records.append(record);
    }
    plist.insert(QStringLiteral("images"), records);
    ASSERT_TRUE(platform::plist::writeFile(f.plist(), plist));
    ASSERT_GT(QFileInfo(f.plist()).size(), qint64(4) * 1024 * 1024);
    ASSERT_LE(QFileInfo(f.plist()).size(), kPLRPostMaxLocationBytes);

    // Read back whole (a file set aside would cost the post every photo), saved and read again.
    for (int round = 0; round < 2; ++round) {
        auto directory = f.make();
        EXPECT_EQ(directory->images().size() + directory->vanishedImages().size(), kMore + 1) << round;
        directory->startWatching();
        ASSERT_TRUE(Fixture::loaded(*directory));
        ASSERT_TRUE(directory->sourceImageForIdentifier(kept));
        EXPECT_FALSE(directory->sourceImageForIdentifier(kept)->fileDeleted());
        EXPECT_EQ(directory->images().size() + directory->vanishedImages().size(), kMore + 1) << round;
        ASSERT_TRUE(directory->save());
        EXPECT_EQ(QDir(f.root.filePath(QStringLiteral("post"))).entryList(QDir::Files), QStringList{QStringLiteral("location.plist")});
    }
}

// A photo named with a control character, which no property list holds: the folder's other
// records are saved and read back, that one goes unrecorded (and so does such a keyword).
TEST(SourceDirectory, APhotoNameNoLocationFileCanHoldCostsNoOtherRecord)
{
    Fixture f;
    ASSERT_TRUE(writePhoto(f.folder() + "/a.jpg", 32, 32));
    ASSERT_TRUE(writePhoto(f.folder() + "/odd\x01name.jpg", 32, 32));
    f.settle();
    QString kept;
    {
        auto directory = f.make(f.folder());
        directory->startWatching();
        ASSERT_TRUE(Fixture::loaded(*directory));
        ASSERT_EQ(directory->images().size(), 2);
        kept = imageNamed(*directory, "a.jpg")->identifier();
        imageNamed(*directory, "a.jpg")->setFocusKeywords({"good", "bad\x02"});
        ASSERT_TRUE(directory->save());
    }
    auto directory = f.make();
    ASSERT_TRUE(directory->sourceImageForIdentifier(kept));
    EXPECT_EQ(directory->sourceImageForIdentifier(kept)->focusKeywords(), QStringList{"good"});
    EXPECT_EQ(directory->images().size(), 1);
}

TEST(SourceDirectory, MissingAndRefusedFolders)
{
    Fixture f;
    {
        auto directory = f.make(f.root.filePath(QStringLiteral("nowhere")));
        Recorder recorder;
        directory->addDelegate(&recorder);
        directory->startWatching();
        ASSERT_TRUE(waitUntil([&] { return recorder.count("state", "2") == 1; }));
        EXPECT_EQ(directory->state(), PLRSourceDirectory::StateLocationUnavailable);
        EXPECT_FALSE(directory->locationExisits());
        EXPECT_TRUE(directory->images().isEmpty());
    }
    ASSERT_TRUE(writePhoto(f.folder() + "/a.jpg", 16, 16));
    f.settle();
    {
        std::atomic_bool granted = false;
        auto directory = f.make(f.folder(), false, [&](const QString&) { return granted.load(); });
        directory->startWatching();
        ASSERT_TRUE(Fixture::loaded(*directory));
        EXPECT_EQ(directory->state(), PLRSourceDirectory::StateAccessDenied);
        EXPECT_TRUE(directory->locationExisits());
    }
    {
        // Access granted, then refused while watching: the photos stay, shown as missing.
        std::atomic_bool granted = true;
        auto directory = f.make(f.folder(), false, [&](const QString&) { return granted.load(); });
        directory->startWatching();
        ASSERT_TRUE(Fixture::loaded(*directory));
        ASSERT_EQ(directory->images().size(), 1);
        ASSERT_TRUE(Fixture::watched(*directory));
        granted = false;
        ASSERT_TRUE(source_test::writeBytes(f.folder() + "/poke.txt", "x"));
        ASSERT_TRUE(waitUntil([&] { return directory->state() == PLRSourceDirectory::StateAccessDenied; }, 2000));
        ASSERT_EQ(directory->images().size(), 1);
        EXPECT_TRUE(directory->images()[0]->fileDeleted());
        granted = true;
        ASSERT_TRUE(QFile::remove(f.folder() + "/poke.txt"));
        ASSERT_TRUE(waitUntil([&] { return directory->state() == PLRSourceDirectory::StateWatching; }, 2000));
        EXPECT_FALSE(directory->images()[0]->fileDeleted());
        const QString identifier = directory->images()[0]->identifier();

        // The whole folder goes away: nothing is forgotten.
        ASSERT_TRUE(Fixture::watched(*directory));
        ASSERT_TRUE(QDir(f.folder()).removeRecursively());
        ASSERT_TRUE(waitUntil([&] { return !directory->locationExisits() && directory->images()[0]->fileDeleted(); }, 2000));
        ASSERT_EQ(directory->images().size(), 1);
        EXPECT_EQ(directory->images()[0]->identifier(), identifier);
    }
    if (::geteuid() != 0) {
        // A real refusal, where the operating system refuses.
        ASSERT_TRUE(QFile::setPermissions(f.folder(), QFileDevice::Permissions()));
        auto directory = f.make(f.folder());
        directory->startWatching();
        ASSERT_TRUE(Fixture::loaded(*directory));
        EXPECT_EQ(directory->state(), PLRSourceDirectory::StateAccessDenied);
        QFile::setPermissions(f.folder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}

// The photo folder renamed or moved away is noticed as soon as the clock has passed the quiet
// time (its own watch does not tell of it), and so is its return, which is told as a state of
// the folder; another folder put in its place is followed instead of the one that went.
TEST(SourceDirectory, TheFolderRenamedAwayAndBackIsNoticedEachTime)
{
    Fixture f;
    ASSERT_TRUE(writePhoto(f.folder() + "/a.jpg", 16, 16));
    f.settle();
    auto directory = f.make(f.folder());
    Recorder recorder;
    directory->addDelegate(&recorder);
    directory->startWatching();
    ASSERT_TRUE(Fixture::loaded(*directory));
    ASSERT_TRUE(Fixture::watched(*directory));
    ASSERT_EQ(directory->images().size(), 1);
    const QString identifier = directory->images()[0]->identifier();
    // The one photo as it is listed (null when the listing is not that one photo).
    const auto photo = [&directory] {
        const QList<PLRSourceImagePtr> images = directory->images();
        return images.size() == 1 ? images[0] : PLRSourceImagePtr();
    };
    recorder.clear();

    platform::ManualClock& clock = platform::ManualClock::install();
    const auto until = [&clock](const std::function<bool()>& done) { return runTheClockUntil(clock, done); };
    const QString away = f.root.filePath(QStringLiteral("renamed"));
    ASSERT_TRUE(QDir().rename(f.folder(), away));
    ASSERT_TRUE(until([&] { return recorder.count("state") > 0 && photo() && photo()->fileDeleted(); }))
        << names(directory->images()).join(' ').toStdString();
    EXPECT_FALSE(directory->locationExisits());
    // Its photos are told of as gone, once (the layout draws their blocks as missing).
    ASSERT_TRUE(waitUntil([&] { return recorder.count("deleted", "a.jpg") == 1; }));

    recorder.clear();
    ASSERT_TRUE(QDir().rename(away, f.folder()));
    ASSERT_TRUE(until([&] { return recorder.count("state", "3") > 0 && photo() && !photo()->fileDeleted(); }))
        << names(directory->images()).join(' ').toStdString();
    EXPECT_TRUE(directory->locationExisits());
    EXPECT_EQ(photo()->identifier(), identifier);
    // The delegates hear of it on the main queue: once.
    ASSERT_TRUE(waitUntil([&] { return recorder.count("updated", "a.jpg") > 0; }));
    testing_support::drainEvents();
    EXPECT_EQ(recorder.count("updated", "a.jpg"), 1);
    EXPECT_EQ(recorder.count("deleted"), 0);

    // Away once more, and another folder of that name in its place: its photos are followed.
    ASSERT_TRUE(QDir().rename(f.folder(), away));
    ASSERT_TRUE(until([&] { return !directory->locationExisits() && photo() && photo()->fileDeleted(); }))
        << names(directory->images()).join(' ').toStdString();
    EXPECT_EQ(photo()->identifier(), identifier);
    const QString other = f.root.filePath(QStringLiteral("other"));
    ASSERT_TRUE(writePhoto(other + "/b.jpg", 24, 16));
    ASSERT_TRUE(QDir().rename(other, f.folder()));
    ASSERT_TRUE(until([&] { return recorder.count("added", "b.jpg") == 1; }));
    ASSERT_TRUE(writePhoto(f.folder() + "/c.jpg", 24, 16));
    ASSERT_TRUE(until([&] { return recorder.count("added", "c.jpg") == 1; }));
    // What happens in the folder that went is none of the post's business.
    ASSERT_TRUE(writePhoto(away + "/d.jpg", 24, 16));
    ASSERT_TRUE(writePhoto(f.folder() + "/e.jpg", 24, 16));
    ASSERT_TRUE(until([&] { return recorder.count("added", "e.jpg") == 1; }));
    EXPECT_EQ(recorder.count("added", "d.jpg"), 0);
}

TEST(SourceDirectory, SubFoldersAndLinkLoops)
{
    Fixture f;
    ASSERT_TRUE(writePhoto(f.folder() + "/top.jpg", 16, 16));
    ASSERT_TRUE(writePhoto(f.folder() + "/x/y/deep.jpg", 16, 16));
    ASSERT_EQ(::symlink(f.folder().toLocal8Bit().constData(), (f.folder() + "/x/loop").toLocal8Bit().constData()), 0);
    f.settle();
    {
        auto directory = f.make(f.folder(), false);
        directory->startWatching();
        ASSERT_TRUE(Fixture::loaded(*directory));
        EXPECT_EQ(names(directory->images()), QStringList({"top.jpg"}));
    }
    QFile::remove(f.plist());
    auto directory = f.make(f.folder(), true);
    Recorder recorder;
    directory->addDelegate(&recorder);
    directory->startWatching();
    ASSERT_TRUE(Fixture::loaded(*directory));
    EXPECT_EQ(names(directory->images()), QStringList({"deep.jpg", "top.jpg"}));
    ASSERT_TRUE(waitUntil([&] { return directory->watchedPaths().contains(f.folder() + "/x/y"); }));
    ASSERT_TRUE(QFile::copy(f.folder() + "/top.jpg", f.folder() + "/x/y/new.jpg"));
    EXPECT_TRUE(waitUntil([&] { return recorder.count("added", "new.jpg") == 1; }, 2000));
}

TEST(SourceDirectory, CallsQueuedForARemovedDelegateNeverReachIt)
{
    Fixture f;
    ASSERT_TRUE(writePhoto(f.folder() + "/a.jpg", 16, 16));
    f.settle();
    auto directory = f.make(f.folder());
    Recorder kept;
    Recorder removed;
    directory->addDelegate(&kept);
    directory->addDelegate(&removed);
    directory->startWatching();
    directory->waitUntilIdle();   // the scan ran; its reports wait for the main loop
    directory->removeDelegate(&removed);
    ASSERT_TRUE(waitUntil([&] { return kept.count("state") > 0; }, 2000));
    testing_support::drainEvents();
    EXPECT_EQ(removed.count("state"), 0);
    EXPECT_EQ(kept.offMain, 0);
}

TEST(SourceDirectory, APhotoMovedOutAndBackOrRenamedKeepsItsRecordAcrossReloads)
{
    Fixture f;
    const QString elsewhere = f.root.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(writePhoto(f.folder() + "/a.jpg", 40, 30));
    ASSERT_TRUE(writePhoto(f.folder() + "/b.jpg", 30, 40));
    f.settle();

    QString idA;
    QString idB;
    {
        auto directory = f.make(f.folder());
        Recorder recorder;
        directory->addDelegate(&recorder);
        directory->startWatching();
        ASSERT_TRUE(Fixture::loaded(*directory));
        const PLRSourceImagePtr a = imageNamed(*directory, "a.jpg");
        const PLRSourceImagePtr b = imageNamed(*directory, "b.jpg");
        ASSERT_TRUE(a && b);
        idA = a->identifier();
        idB = b->identifier();
        a->setHidden(true);
        b->setFocusKeywords({"harbour"});
        ASSERT_TRUE(Fixture::watched(*directory));

        // Out of the folder: the record stays, marked missing.
        ASSERT_TRUE(QFile::rename(f.folder() + "/a.jpg", elsewhere + "/a.jpg"));
        ASSERT_TRUE(waitUntil([&] { return recorder.count("deleted", "a.jpg") == 1; }, 3000));
        EXPECT_TRUE(a->fileDeleted());
        EXPECT_EQ(directory->sourceImageForIdentifier(idA), a);
        EXPECT_EQ(names(directory->images()), QStringList({"b.jpg"}));
        ASSERT_TRUE(directory->save());

        // Back under the same name: the same record, drawn again.
        ASSERT_TRUE(QFile::rename(elsewhere + "/a.jpg", f.folder() + "/a.jpg"));
        ASSERT_TRUE(waitUntil([&] { return recorder.count("updated", "a.jpg") == 1; }, 3000));
        EXPECT_FALSE(a->fileDeleted());
        EXPECT_TRUE(a->isHidden());
        EXPECT_EQ(directory->sourceImageForIdentifier(idA), a);
        EXPECT_TRUE(directory->vanishedImages().isEmpty());

        // Renamed, and moved into a sub-folder is the same: the record follows the file.
        ASSERT_TRUE(QFile::rename(f.folder() + "/b.jpg", f.folder() + "/b-harbour.jpg"));
        ASSERT_TRUE(waitUntil([&] { return b->fileName() == QStringLiteral("b-harbour.jpg") && !b->fileDeleted(); }, 3000));
        EXPECT_TRUE(testing_support::holdsFor([&] {
            return recorder.count("added") == 0 && recorder.count("deleted", "b.jpg") == 0;
        }, 300));
        EXPECT_EQ(b->focusKeywords(), QStringList({"harbour"}));
        EXPECT_EQ(names(directory->images()), QStringList({"a.jpg", "b-harbour.jpg"}));
        EXPECT_EQ(recorder.offMain, 0);
        ASSERT_TRUE(directory->save());
    }

    // While the post is closed: one photo renamed, the other moved out.
    ASSERT_TRUE(QFile::rename(f.folder() + "/b-harbour.jpg", f.folder() + "/renamed.jpg"));
    ASSERT_TRUE(QFile::rename(f.folder() + "/a.jpg", elsewhere + "/a.jpg"));
    {
        auto directory = f.make();
        directory->startWatching();
        ASSERT_TRUE(Fixture::loaded(*directory));
        directory->waitUntilIdle();
        const PLRSourceImagePtr b = directory->sourceImageForIdentifier(idB);
        ASSERT_TRUE(b);
        EXPECT_EQ(b->relativePath(), QStringLiteral("renamed.jpg"));
        EXPECT_FALSE(b->fileDeleted());
        EXPECT_EQ(b->focusKeywords(), QStringList({"harbour"}));
        const PLRSourceImagePtr a = directory->sourceImageForIdentifier(idA);
        ASSERT_TRUE(a);
        EXPECT_TRUE(a->fileDeleted());
        EXPECT_TRUE(a->isHidden());
        EXPECT_EQ(names(directory->images()), QStringList({"renamed.jpg"}));
        ASSERT_TRUE(directory->save());
    }
    // The missing record was saved; its file comes back under another name.
    ASSERT_TRUE(QFile::rename(elsewhere + "/a.jpg", f.folder() + "/a-back.jpg"));
    {
        auto directory = f.make();
        directory->startWatching();
        ASSERT_TRUE(Fixture::loaded(*directory));
        directory->waitUntilIdle();
        const PLRSourceImagePtr a = directory->sourceImageForIdentifier(idA);
        ASSERT_TRUE(a);
        EXPECT_EQ(a->relativePath(), QStringLiteral("a-back.jpg"));
        EXPECT_FALSE(a->fileDeleted());
        EXPECT_TRUE(a->isHidden());
        EXPECT_EQ(directory->images().size(), 2);
    }
}

TEST(SourceDirectory, TwoMissingPhotosOfTheSameStampAreNotGuessed)
{
    Fixture f;
    ASSERT_TRUE(writePhoto(f.folder() + "/a.jpg", 20, 20));
    ASSERT_TRUE(QFile::copy(f.folder() + "/a.jpg", f.folder() + "/b.jpg"));
    struct utimbuf times {1600000000, 1600000000};
    ASSERT_EQ(::utime((f.folder() + "/a.jpg").toLocal8Bit().constData(), &times), 0);
    ASSERT_EQ(::utime((f.folder() + "/b.jpg").toLocal8Bit().constData(), &times), 0);
    {
        auto directory = f.make(f.folder());
        directory->startWatching();
        ASSERT_TRUE(Fixture::loaded(*directory));
        directory->waitUntilIdle();
        ASSERT_EQ(directory->images().size(), 2);
        ASSERT_TRUE(directory->save());
    }
    ASSERT_TRUE(QFile::remove(f.folder() + "/b.jpg"));
    ASSERT_TRUE(QFile::rename(f.folder() + "/a.jpg", f.folder() + "/c.jpg"));
    auto directory = f.make();
    directory->startWatching();
    ASSERT_TRUE(Fixture::loaded(*directory));
    directory->waitUntilIdle();
    EXPECT_EQ(directory->vanishedImages().size(), 2);
    ASSERT_EQ(directory->images().size(), 1);
    EXPECT_EQ(directory->images()[0]->fileName(), QStringLiteral("c.jpg"));
}

TEST(SourceDirectory, FIFOsAndDevicesNamedLikePhotosAreNeverOpened)
{
    Fixture f;
    ASSERT_TRUE(writePhoto(f.folder() + "/real.jpg", 16, 16));
    ASSERT_EQ(::mkfifo((f.folder() + "/pipe.jpg").toLocal8Bit().constData(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", (f.folder() + "/zero.jpg").toLocal8Bit().constData()), 0);
    f.settle();
    auto directory = f.make(f.folder());
    directory->startWatching();
    ASSERT_TRUE(Fixture::loaded(*directory));   // would hang on either
    directory->waitUntilIdle();
    EXPECT_EQ(names(directory->images()), QStringList({"real.jpg"}));
    EXPECT_FALSE(PLRImageMetadata::read(f.folder() + "/pipe.jpg").readable);
    EXPECT_FALSE(PLRImageMetadata::read(f.folder() + "/zero.jpg").readable);
}

TEST(SourceDirectory, APhotoSpoiledOnDiskKeepsItsPlaceMarkedWithItsReasonUntilItIsMended)
{
    Fixture f;
    TwoWatchedPhotos photos;
    ASSERT_TRUE(photos.open(f));
    auto& [wholeOne, wholeTwo, directory, recorder, one, two] = photos;
    // Cached: judged whole.
    ASSERT_TRUE(waitUntil([&] { return one->isJudged() && two->isJudged(); }, 5000));
    EXPECT_EQ(one->problem(), PLRPhotoProblem::None);
    EXPECT_TRUE(QFile::exists(QDir(one->cacheLocation()).filePath("export.jpg")));
    recorder.clear();

    // Cut short: its header still reads, the decode finds the rest missing. The photo stays,
    // marked, and is announced again once that is known; its cached copy goes.
    ASSERT_TRUE(testing_support::cutShort(f.folder() + "/one.jpg", 0.6));
    // No picture any more: it keeps its place (not taken for a photo gone from the folder).
    ASSERT_TRUE(source_test::writeBytes(f.folder() + "/two.jpg", QByteArray("this is not a picture")));
    f.settle();
    ASSERT_TRUE(waitUntil([&] {
        return one->problem() == PLRPhotoProblem::CutShort && two->problem() == PLRPhotoProblem::Unreadable;
    }, 5000));
    ASSERT_TRUE(waitUntil([&] { return recorder.count("updated", "one.jpg") >= 2; }, 5000));
    EXPECT_EQ(recorder.count("deleted"), 0);
    EXPECT_FALSE(one->fileDeleted());
    EXPECT_FALSE(two->fileDeleted());
    EXPECT_EQ(names(directory->images()), QStringList({"one.jpg", "two.jpg"}));
    EXPECT_TRUE(directory->vanishedImages().isEmpty());
    PLRImageManager::shared().waitUntilAllOperationsAreFinished();
    EXPECT_FALSE(QFile::exists(QDir(one->cacheLocation()).filePath("export.jpg")));
    EXPECT_FALSE(QFile::exists(QDir(two->cacheLocation()).filePath("export.jpg")));
    EXPECT_TRUE(one->exportImageData().isEmpty());
    EXPECT_EQ(directory->unusablePhotosForIdentifiers({one->identifier(), two->identifier()}),
              QStringList({"one.jpg: cut short", "two.jpg: not a readable photo"}));

    // Mended: whole copies back, drawn and cached again.
    recorder.clear();
    ASSERT_TRUE(source_test::writeBytes(f.folder() + "/one.jpg.new", wholeOne));
    ASSERT_TRUE(QFile::remove(f.folder() + "/one.jpg"));
    ASSERT_TRUE(QFile::rename(f.folder() + "/one.jpg.new", f.folder() + "/one.jpg"));
    ASSERT_TRUE(source_test::writeBytes(f.folder() + "/two.jpg", wholeTwo));
    f.settle();
    ASSERT_TRUE(waitUntil([&] { return recorder.count("updated", "one.jpg") > 0 && recorder.count("updated", "two.jpg") > 0; }, 5000));
    ASSERT_TRUE(waitUntil([&] { return one->isJudged() && two->isJudged(); }, 5000));
    EXPECT_EQ(one->problem(), PLRPhotoProblem::None);
    EXPECT_EQ(two->problem(), PLRPhotoProblem::None);
    EXPECT_EQ(two->width(), 640.0f);
    EXPECT_FALSE(one->exportImageData().isEmpty());
    EXPECT_TRUE(directory->unusablePhotosForIdentifiers({one->identifier(), two->identifier()}).isEmpty());
    EXPECT_EQ(recorder.offMain, 0);
}

namespace {

// Copies every file of `from` into `to` (made when missing); `keepTimes` keeps each file's
// modification time, as `cp -a` does, where a plain copy gets a new one.
bool copyFolder(const QString& from, const QString& to, bool keepTimes)
{
    if (!QDir().mkpath(to))
        return false;
    for (const QFileInfo& info : QDir(from).entryInfoList(QDir::Files)) {
        const QString target = QDir(to).filePath(info.fileName());
        if (!QFile::copy(info.filePath(), target))
            return false;
        if (keepTimes) {
            QFile file(target);
            if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(info.lastModified(), QFileDevice::FileModificationTime))
                return false;
        }
    }
    return true;
}

bool allPresent(PLRSourceDirectory& directory, int count)
{
    const QList<PLRSourceImagePtr> images = directory.images();
    return images.size() == count
        && std::none_of(images.begin(), images.end(), [](const PLRSourceImagePtr& image) { return image->fileDeleted(); });
}

bool allMissing(PLRSourceDirectory& directory)
{
    const QList<PLRSourceImagePtr> images = directory.images();
    return !images.isEmpty()
        && std::all_of(images.begin(), images.end(), [](const PLRSourceImagePtr& image) { return image->fileDeleted(); });
}

} // namespace

// Whatever level of the folder's path goes away and comes back (the folder above it, or the
// folder itself), the folder is watched again: its photos come back under their records as
// updated photos, its return is told as its state, and a photo copied in at once is listed.
TEST(SourceDirectory, AFolderWhosePathWentAwayAtAnyLevelIsWatchedAgainOnceItIsBack)
{
    Fixture f;
    const QString parent = f.root.filePath(QStringLiteral("parent"));
    const QString folder = parent + QStringLiteral("/photos");
    const QString backup = f.root.filePath(QStringLiteral("backup"));
    ASSERT_TRUE(writePhoto(backup + "/a.jpg", 24, 16));
    ASSERT_TRUE(writePhoto(backup + "/b.jpg", 16, 24));
    ASSERT_TRUE(copyFolder(backup, folder, true));
    f.settle();
    auto directory = f.make(folder);
    Recorder recorder;
    directory->addDelegate(&recorder);
    directory->startWatching();
    ASSERT_TRUE(Fixture::loaded(*directory));
    ASSERT_TRUE(Fixture::watched(*directory));
    ASSERT_TRUE(allPresent(*directory, 2));
    const QString idA = imageNamed(*directory, "a.jpg")->identifier();

    struct Case {
        QString gone;      // the level of the path that goes away
        bool keepTimes;    // the photos copied back as `cp -a` or `cp` copies them
    };
    int round = 0;
    for (const Case& c : {Case{parent, true}, Case{folder, true}, Case{parent, false}, Case{folder, false}}) {
        SCOPED_TRACE(c.gone.toStdString() + (c.keepTimes ? " kept times" : " new times"));
        recorder.clear();
        ASSERT_TRUE(QDir(c.gone).removeRecursively());
        ASSERT_TRUE(waitUntil([&] { return allMissing(*directory) && recorder.count("deleted") == 2 + round; }));
        EXPECT_FALSE(directory->locationExisits());

        // Another photo is copied in (with a time of its own, as `cp -a` keeps it) as soon as the
        // first photo is told to be back.
        const QString added = QStringLiteral("new-%1.jpg").arg(round);
        recorder.onCall = [&](const QString& kind, const QString&) {
            if (kind != QLatin1String("updated") || QFileInfo::exists(QDir(folder).filePath(added)))
                return;
            EXPECT_TRUE(writePhoto(QDir(folder).filePath(added), 20 + round, 20));
            QFile file(QDir(folder).filePath(added));
            EXPECT_TRUE(file.open(QIODevice::ReadWrite)
                        && file.setFileTime(QDateTime(QDate(2020, 1, 1 + round), QTime(12, 0), Qt::UTC),
                                            QFileDevice::FileModificationTime));
        };
        ASSERT_TRUE(copyFolder(backup, folder, c.keepTimes));
        f.settle();
        ASSERT_TRUE(waitUntil([&] {
            return recorder.count("state", "3") > 0 && recorder.count("updated", "a.jpg") > 0 && recorder.count("updated", "b.jpg") > 0;
        }, 10000));
        ASSERT_TRUE(waitUntil([&] { return recorder.count("added", added) == 1; }, 10000));
        recorder.onCall = nullptr;
        EXPECT_TRUE(allPresent(*directory, 3 + round));
        EXPECT_TRUE(directory->locationExisits());
        EXPECT_EQ(imageNamed(*directory, "a.jpg")->identifier(), idA);
        // It comes back with the folder in the next rounds.
        ASSERT_TRUE(QFile::copy(QDir(folder).filePath(added), QDir(backup).filePath(added)));
        ++round;
    }
}

// Another folder exchanged with the photo folder in one step (nothing was ever missing) is
// another folder: its photos are listed in place of the ones that went, and the watch follows
// it, not the folder that left.
TEST(SourceDirectory, AnotherFolderExchangedIntoThePlaceOfTheFolderInOneStepIsFollowed)
{
    Fixture f;
    ASSERT_TRUE(writePhoto(f.folder() + "/a.jpg", 24, 16));
    const QString other = f.root.filePath(QStringLiteral("other"));
    ASSERT_TRUE(writePhoto(other + "/b.jpg", 16, 24));
    // The rescans wait on the clock, run here by hand: nothing looks at the folder unless
    // something asked for it.
    platform::ManualClock& clock = platform::ManualClock::install();
    const auto until = [&clock](const std::function<bool()>& done) { return runTheClockUntil(clock, done); };
    auto directory = f.make(f.folder());
    Recorder recorder;
    directory->addDelegate(&recorder);
    directory->startWatching();
    ASSERT_TRUE(until([&] { return directory->images().size() == 1; }));
    ASSERT_TRUE(Fixture::watched(*directory));
    // Every look asked for so far has been taken.
    ASSERT_TRUE(until([&] {
        directory->waitUntilIdle();
        testing_support::drainEvents();
        return clock.waiting().empty();
    }));
    const PLRSourceImagePtr a = imageNamed(*directory, "a.jpg");
    ASSERT_TRUE(a);
    recorder.clear();

    ASSERT_EQ(::renameat2(AT_FDCWD, QFile::encodeName(f.folder()).constData(), AT_FDCWD,
                          QFile::encodeName(other).constData(), RENAME_EXCHANGE), 0) << std::strerror(errno);
    ASSERT_TRUE(until([&] { return recorder.count("added", "b.jpg") == 1 && recorder.count("deleted", "a.jpg") == 1; }));
    EXPECT_TRUE(a->fileDeleted());
    EXPECT_EQ(names(directory->images()), QStringList({"b.jpg"}));
    EXPECT_NE(imageNamed(*directory, "b.jpg")->identifier(), a->identifier());

    // What happens in the folder that left is none of the post's business.
    ASSERT_TRUE(writePhoto(other + "/c.jpg", 24, 16));
    ASSERT_TRUE(writePhoto(f.folder() + "/d.jpg", 24, 16));
    ASSERT_TRUE(until([&] { return recorder.count("added", "d.jpg") == 1; }));
    EXPECT_EQ(recorder.count("added", "c.jpg"), 0);
    EXPECT_EQ(recorder.count("updated", "a.jpg"), 0);
}

// The folder renamed away while a look lists it: what was listed is the folder that went, and
// tells nothing of the photos at the path. A photo is not taken as removed from the folder
// (it stays listed, marked missing, and comes back with its identity when the folder does),
// and a relinking look so disturbed relinks when it is made again.
TEST(SourceDirectory, AFolderThatMovesWhileItIsListedLosesNoPhoto)
{
    Fixture f;
    ASSERT_TRUE(writePhoto(f.folder() + "/a.jpg", 16, 16));
    f.settle();
    const QString away = f.root.filePath(QStringLiteral("away"));
    // Set to a folder: the next listing of it renames it away once it is opened.
    QString moveAway;
    std::mutex moveMutex;
    const auto listingBegun = [&](const QString& folder) {
        std::lock_guard lock(moveMutex);
        if (!moveAway.isEmpty() && folder == moveAway) {
            EXPECT_TRUE(QDir().rename(folder, away));
            moveAway.clear();
        }
    };
    const auto armed = [&] {
        std::lock_guard lock(moveMutex);
        return !moveAway.isEmpty();
    };
    const auto arm = [&](const QString& folder) {
        std::lock_guard lock(moveMutex);
        moveAway = folder;
    };
    platform::ManualClock& clock = platform::ManualClock::install();
    const auto until = [&clock](const std::function<bool()>& done) { return runTheClockUntil(clock, done); };
    const auto still = [&](PLRSourceDirectory& directory) { return everyLookTaken(directory, clock); };

    auto directory = f.make(f.folder(), true, {}, listingBegun);
    Recorder recorder;
    directory->addDelegate(&recorder);
    directory->startWatching();
    ASSERT_TRUE(until([&] { return allPresent(*directory, 1); }));
    ASSERT_TRUE(Fixture::watched(*directory));
    ASSERT_TRUE(still(*directory));
    const QString identifier = directory->images()[0]->identifier();
    recorder.clear();

    // A change in the folder has it looked at; it goes while it is listed.
    arm(f.folder());
    ASSERT_TRUE(source_test::writeBytes(f.folder() + "/note.txt", "x"));
    ASSERT_TRUE(until([&] { return !armed() && recorder.count("deleted", "a.jpg") > 0; }));
    ASSERT_TRUE(still(*directory));
    EXPECT_EQ(names(directory->images()), QStringList({"a.jpg"}));
    EXPECT_TRUE(allMissing(*directory));
    EXPECT_TRUE(directory->vanishedImages().isEmpty());
    EXPECT_EQ(recorder.count("deleted", "a.jpg"), 1);

    recorder.clear();
    ASSERT_TRUE(QDir().rename(away, f.folder()));
    ASSERT_TRUE(until([&] { return allPresent(*directory, 1) && recorder.count("updated", "a.jpg") > 0; }))
        << names(directory->images()).join(' ').toStdString();
    EXPECT_EQ(directory->images()[0]->identifier(), identifier);
    EXPECT_EQ(directory->state(), PLRSourceDirectory::StateWatching);
    ASSERT_TRUE(still(*directory));
    EXPECT_EQ(recorder.count("deleted"), 0);

    // Relinked to a copy where the photo is in a sub-folder, under a time of its own (only its
    // name tells it); the copy goes while the relinking look lists it, and comes back.
    const QString copy = f.root.filePath(QStringLiteral("copy"));
    ASSERT_TRUE(QDir().mkpath(copy + "/2021"));
    ASSERT_TRUE(QFile::copy(f.folder() + "/a.jpg", copy + "/2021/a.jpg"));
    arm(copy);
    directory->setNewLocation(QUrl::fromLocalFile(copy));
    ASSERT_TRUE(until([&] { return !armed(); }));
    ASSERT_TRUE(still(*directory));
    ASSERT_TRUE(QDir().rename(away, copy));
    ASSERT_TRUE(until([&] { return allPresent(*directory, 1); })) << names(directory->images()).join(' ').toStdString();
    ASSERT_TRUE(still(*directory));
    EXPECT_EQ(directory->images()[0]->identifier(), identifier);
    EXPECT_EQ(directory->images()[0]->relativePath(), QStringLiteral("2021/a.jpg"));
    EXPECT_TRUE(directory->vanishedImages().isEmpty());
}

namespace {

// Writes `bytes` over the file and gives it the modification time `time`.
bool rewrite(const QString& path, const QByteArray& bytes, const QDateTime& time)
{
    if (!source_test::writeBytes(path, bytes))
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(time, QFileDevice::FileModificationTime);
}

} // namespace

// A verdict that a photo cannot be used, made while its folder moved, is judged again once the
// folder is still, though the file's size and time did not change. Here the verdicts are made
// on spoiled versions of the files (no picture; whole header, spoiled data) that are then
// given back their whole bytes under the same size and time, as a folder read while it was
// renamed away shows its files; the folder is then renamed away and back in a moment.
TEST(SourceDirectory, AVerdictMadeWhileTheFolderMovedIsJudgedAgainOnceItIsStill)
{
    Fixture f;
    TwoWatchedPhotos photos;
    ASSERT_TRUE(photos.open(f));
    auto& [wholeOne, wholeTwo, directory, recorder, one, two] = photos;
    ASSERT_TRUE(waitUntil([&] { return one->isJudged() && two->isJudged(); }));

    const QDateTime time(QDate(2021, 6, 1), QTime(9, 30), Qt::UTC);
    QByteArray spoiledOne = wholeOne.left(wholeOne.size() / 2);
    spoiledOne.append(QByteArray(wholeOne.size() - spoiledOne.size(), '\0'));
    ASSERT_TRUE(rewrite(f.folder() + "/one.jpg", spoiledOne, time));
    ASSERT_TRUE(rewrite(f.folder() + "/two.jpg", QByteArray(wholeTwo.size(), 'x'), time));
    ASSERT_TRUE(waitUntil([&] {
        return one->problem() != PLRPhotoProblem::None && two->problem() == PLRPhotoProblem::Unreadable;
    }, 5000));
    ASSERT_TRUE(rewrite(f.folder() + "/one.jpg", wholeOne, time));
    ASSERT_TRUE(rewrite(f.folder() + "/two.jpg", wholeTwo, time));
    directory->waitUntilIdle();
    PLRImageManager::shared().waitUntilAllOperationsAreFinished();
    testing_support::drainEvents();
    recorder.clear();

    const QString away = f.root.filePath(QStringLiteral("away"));
    ASSERT_TRUE(QDir().rename(f.folder(), away));
    ASSERT_TRUE(QDir().rename(away, f.folder()));
    ASSERT_TRUE(waitUntil([&] {
        return one->problem() == PLRPhotoProblem::None && one->isJudged() && two->problem() == PLRPhotoProblem::None;
    }, 5000)) << describePhotoProblem(one->problem()).toStdString() << " / " << describePhotoProblem(two->problem()).toStdString();
    EXPECT_EQ(two->width(), 640.0f);
    ASSERT_TRUE(waitUntil([&] { return recorder.count("updated", "one.jpg") > 0 && recorder.count("updated", "two.jpg") > 0; }));
    EXPECT_EQ(recorder.count("deleted"), 0);
    EXPECT_TRUE(directory->unusablePhotosForIdentifiers({one->identifier(), two->identifier()}).isEmpty());
}

// A post opened again finds its photos as they were when it was last open: a file whose size
// and time did not change is not read again (what it held is kept with its record, that it is
// no picture too); a file that changed is.
TEST(SourceDirectory, AFileFoundAsItWasWhenThePostOpensAgainIsNotReadAgain)
{
    Fixture f;
    ASSERT_TRUE(writePhoto(f.folder() + "/a.jpg", 48, 32));
    ASSERT_TRUE(tagPhoto(f.folder() + "/a.jpg", {{"Xmp.xmp.Rating", "2"}}));
    ASSERT_TRUE(writePhoto(f.folder() + "/b.jpg", 32, 48));
    ASSERT_TRUE(source_test::writeBytes(f.folder() + "/c.jpg", "no picture"));
    f.settle();
    {
        auto directory = f.make(f.folder());
        directory->startWatching();
        ASSERT_TRUE(Fixture::loaded(*directory));
        directory->waitUntilIdle();
        ASSERT_EQ(directory->images().size(), 3);
        ASSERT_TRUE(directory->save());
    }
    // While the post is closed: a.jpg's bytes spoiled under the same size and time (only a read
    // would tell), b.jpg re-tagged.
    const QByteArray a = QFile::encodeName(f.folder() + "/a.jpg");
    struct stat before {};
    ASSERT_EQ(::stat(a.constData(), &before), 0);
    ASSERT_TRUE(source_test::writeBytes(QFile::decodeName(a), QByteArray(before.st_size, 'x')));
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, a.constData(), times, 0), 0);
    ASSERT_TRUE(tagPhoto(f.folder() + "/b.jpg", {{"Xmp.xmp.Rating", "4"}}));
    f.settle();

    QStringList log;
    std::mutex logMutex;
    const int capture = platform::log::addCapture([&](platform::log::Level, const QString& line) {
        std::lock_guard lock(logMutex);
        log.append(line);
    });
    auto directory = f.make();
    Recorder recorder;
    directory->addDelegate(&recorder);
    directory->startWatching();
    ASSERT_TRUE(Fixture::loaded(*directory));
    directory->waitUntilIdle();
    platform::log::removeCapture(capture);

    const PLRSourceImagePtr photoA = imageNamed(*directory, "a.jpg");
    const PLRSourceImagePtr photoB = imageNamed(*directory, "b.jpg");
    const PLRSourceImagePtr photoC = imageNamed(*directory, "c.jpg");
    ASSERT_TRUE(photoA && photoB && photoC);
    EXPECT_FALSE(photoA->fileDeleted());
    EXPECT_EQ(photoA->width(), 48.0f);
    EXPECT_EQ(photoA->starRating(), 2);
    EXPECT_EQ(photoB->starRating(), 4);
    EXPECT_EQ(photoC->problem(), PLRPhotoProblem::Unreadable);
    EXPECT_FALSE(photoC->fileDeleted());
    std::lock_guard lock(logMutex);
    EXPECT_EQ(log.filter(QStringLiteral("Source folder")),
              QStringList({QStringLiteral("Source folder %1: 0 added, 1 changed, 0 removed, 2 found as they were").arg(f.folder())}));
    // Found again, they are told of as back (they were shown as missing until the scan).
    ASSERT_TRUE(waitUntil([&] {
        return recorder.count("updated", "a.jpg") > 0 && recorder.count("updated", "b.jpg") > 0 && recorder.count("updated", "c.jpg") > 0;
    })) << recorder.dump();
}

// Every level of the folder's path (the folder, its parent, the folder above that; reached
// directly or through a link to its parent) renamed away is the folder going: its photos are
// missing. Renamed back, they are back under their records; away again and a new folder made
// at the path, that folder is the post's: its photos are listed, also one copied in later.
TEST(SourceDirectory, AnyLevelOfItsPathRenamedIsTheFolderGoingAndAFolderMadeAtThePathIsTheFolder)
{
    Fixture f;
    platform::ManualClock& clock = platform::ManualClock::install();
    const auto until = [&clock](const std::function<bool()>& done) { return runTheClockUntil(clock, done); };
    for (const bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "through a link" : "direct");
        const QString grand = f.root.filePath(QStringLiteral("grand%1").arg(linked));
        const QString folder = grand + "/parent/photos";
        const QString link = f.root.filePath(QStringLiteral("link"));
        ASSERT_TRUE(writePhoto(folder + "/a.jpg", 24, 16));
        ASSERT_TRUE(!linked || ::symlink(QFile::encodeName(grand + "/parent").constData(), QFile::encodeName(link).constData()) == 0);
        QFile::remove(f.plist());
        auto directory = f.make(linked ? link + "/photos" : folder);
        Recorder recorder;
        directory->addDelegate(&recorder);
        directory->startWatching();
        ASSERT_TRUE(until([&] { return allPresent(*directory, 1); }));
        ASSERT_TRUE(Fixture::watched(*directory));
        const PLRSourceImagePtr a = imageNamed(*directory, "a.jpg");
        int round = 0;
        for (const QString& level : {grand, grand + "/parent", folder}) {
            SCOPED_TRACE(level.toStdString());
            const QString away = level + "-away";
            ASSERT_TRUE(everyLookTaken(*directory, clock));
            ASSERT_TRUE(QDir().rename(level, away));
            ASSERT_TRUE(until([&] { return a->fileDeleted() && !directory->locationExisits(); }));
            ASSERT_TRUE(QDir().rename(away, level));
            ASSERT_TRUE(until([&] { return !a->fileDeleted(); }));

            ASSERT_TRUE(everyLookTaken(*directory, clock));
            ASSERT_TRUE(QDir().rename(level, away));
            ASSERT_TRUE(until([&] { return a->fileDeleted(); }));
            const QString made = QStringLiteral("made-%1.jpg").arg(round), later = QStringLiteral("later-%1.jpg").arg(round);
            ASSERT_TRUE(writePhoto(folder + "/" + made, 16, 24));
            ASSERT_TRUE(until([&] { return recorder.count("added", made) == 1; }));
            ASSERT_TRUE(everyLookTaken(*directory, clock));
            ASSERT_TRUE(writePhoto(folder + "/" + later, 16, 24));
            ASSERT_TRUE(until([&] { return recorder.count("added", later) == 1; }));
            EXPECT_TRUE(a->fileDeleted());
            // The first folder put back in its place for the next round.
            ASSERT_TRUE(QDir(level).removeRecursively());
            ASSERT_TRUE(QDir().rename(away, level));
            ASSERT_TRUE(until([&] { return !a->fileDeleted(); }));
            ++round;
        }
    }
}

// A folder above the photo folder that other programs never stop writing to (a shared
// temporary folder, a home folder): the photo folder removed is still seen as gone at once,
// though each of those changes comes before the quiet time after the last one is over.
TEST(SourceDirectory, AFolderAboveThatNeverRestsDoesNotPutOffSeeingTheFolderGo)
{
    Fixture f;
    ASSERT_TRUE(writePhoto(f.folder() + "/a.jpg", 16, 16));
    f.settle();
    auto directory = f.make(f.folder());
    directory->startWatching();
    ASSERT_TRUE(waitUntil([&] { return allPresent(*directory, 1); }, 5000));
    ASSERT_TRUE(Fixture::watched(*directory));
    QTimer busy;   // a change beside the photo folder every 20 ms (the quiet time is 100 ms)
    int written = 0;
    QObject::connect(&busy, &QTimer::timeout, [&] {
        QFile::remove(f.root.filePath(QStringLiteral("busy-%1").arg(written - 4)));
        source_test::writeBytes(f.root.filePath(QStringLiteral("busy-%1").arg(written++)), "x");
    });
    busy.start(20);
    ASSERT_TRUE(waitUntil([&] { return written > 10; }, 5000));
    ASSERT_TRUE(QDir(f.folder()).removeRecursively());
    EXPECT_TRUE(waitUntil([&] { return allMissing(*directory); }, 3000));
}

// A folder within the photo folder renamed away and another made at its path in the same
// moment: the watch follows what is at the path, not the folder that went.
TEST(SourceDirectory, WatchesFollowWhatIsAtTheirPathNow)
{
    Fixture f;
    ASSERT_TRUE(writePhoto(f.folder() + "/sub/a.jpg", 16, 16));
    f.settle();
    platform::ManualClock& clock = platform::ManualClock::install();
    const auto until = [&clock](const std::function<bool()>& done) { return runTheClockUntil(clock, done); };
    auto directory = f.make(f.folder(), true);
    Recorder recorder;
    directory->addDelegate(&recorder);
    directory->startWatching();
    ASSERT_TRUE(until([&] { return allPresent(*directory, 1) && directory->watchedPaths().contains(f.folder() + "/sub"); }));
    ASSERT_TRUE(QDir().rename(f.folder() + "/sub", f.root.filePath(QStringLiteral("went"))));
    ASSERT_TRUE(writePhoto(f.folder() + "/sub/b.jpg", 16, 24));
    ASSERT_TRUE(until([&] { return recorder.count("added", "b.jpg") == 1; }));
    ASSERT_TRUE(everyLookTaken(*directory, clock));
    ASSERT_TRUE(writePhoto(f.folder() + "/sub/c.jpg", 24, 16));
    EXPECT_TRUE(until([&] { return recorder.count("added", "c.jpg") == 1; }));
}

// A folder that comes back with nothing to tell of it (a drive mounted at its path changes no
// folder that is watched) is found by the timed look for it, and watched where it is now.
TEST(SourceDirectory, AFolderThatCannotBeFoundIsLookedForOnTheClock)
{
    Fixture f;
    const QString drive = f.root.filePath(QStringLiteral("drive"));
    ASSERT_TRUE(QDir().mkpath(drive));
    if (::geteuid() != 0 || ::mount("tmpfs", QFile::encodeName(drive).constData(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "mounting a drive needs root";
    ASSERT_EQ(::umount2(QFile::encodeName(drive).constData(), MNT_DETACH), 0);
    struct Unmount {
        QByteArray at;
        ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(drive)};
    platform::ManualClock& clock = platform::ManualClock::install();
    const auto until = [&clock](const std::function<bool()>& done) { return runTheClockUntil(clock, done); };
    auto directory = f.make(drive + "/photos");
    Recorder recorder;
    directory->addDelegate(&recorder);
    directory->startWatching();
    ASSERT_TRUE(until([&] { return directory->state() == PLRSourceDirectory::StateLocationUnavailable; }));
    ASSERT_TRUE(waitUntil([&] { return directory->isLookingForTheFolder(); }));

    ASSERT_EQ(::mount("tmpfs", unmount.at.constData(), "tmpfs", 0, "size=4m"), 0);
    ASSERT_TRUE(writePhoto(drive + "/photos/a.jpg", 16, 16));
    ASSERT_TRUE(until([&] { return directory->state() == PLRSourceDirectory::StateWatching && allPresent(*directory, 1); }));
    ASSERT_TRUE(everyLookTaken(*directory, clock));
    EXPECT_FALSE(directory->isLookingForTheFolder());
    ASSERT_TRUE(writePhoto(drive + "/photos/b.jpg", 16, 16));
    EXPECT_TRUE(until([&] { return recorder.count("added", "b.jpg") == 1; }));
}

namespace {

// The photos of a look read one after another, in the look's own thread: the shared pool's one
// thread is held meanwhile.
struct OneReadAtATime {
    OneReadAtATime()
    {
        QThreadPool* pool = QThreadPool::globalInstance();
        std::atomic_bool ran = false;
        pool->start([&ran] { ran = true; });   // the pool has a thread to hold
        while (!ran)
            QThread::yieldCurrentThread();
        pool->setMaxThreadCount(1);
        pool->reserveThread();
    }
    ~OneReadAtATime()
    {
        QThreadPool::globalInstance()->releaseThread();
        QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
    }
};

} // namespace

// Everything of a photo is read through the file opened once, and only the file listed is taken
// for it: the folder renamed away as its turned photo is opened, or exchanged with another
// holding photos of the same names as the first photo is, and put back before it is looked at
// again, leaves nothing of the reading wrong. The photos keep their stars, label and turn, also
// when the post opens again, their pictures are made upright, and the photo found gone or
// another meanwhile is listed once the folder is back, usable.
TEST(SourceDirectory, APhotoReadWhileItsFolderMovesIsReadWhole)
{
    for (const bool exchanged : {false, true}) {
        SCOPED_TRACE(exchanged ? "exchanged" : "renamed away");
        Fixture f;
        const QString other = f.root.filePath(QStringLiteral("other"));
        ASSERT_TRUE(writePhoto(f.folder() + "/a.jpg", 60, 40));
        ASSERT_TRUE(tagPhoto(f.folder() + "/a.jpg", {{"Exif.Image.Orientation", "6"}, {"Xmp.xmp.Rating", "4"}, {"Xmp.xmp.Label", "Red"}}));
        ASSERT_TRUE(writePhoto(f.folder() + "/b.jpg", 40, 30));
        ASSERT_TRUE(writePhoto(other + "/a.jpg", 30, 20));
        ASSERT_TRUE(tagPhoto(other + "/a.jpg", {{"Xmp.xmp.Rating", "1"}}));
        ASSERT_TRUE(writePhoto(other + "/b.jpg", 20, 30));
        ASSERT_TRUE(tagPhoto(other + "/b.jpg", {{"Xmp.xmp.Rating", "5"}}));
        for (const QString& path : {f.folder() + "/a.jpg", f.folder() + "/b.jpg", other + "/a.jpg", other + "/b.jpg"}) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite)
                        && file.setFileTime(QDateTime(QDate(2020, 5, 1), QTime(8, 0), Qt::UTC), QFileDevice::FileModificationTime));
        }
        const QByteArray from = QFile::encodeName(f.folder()), to = QFile::encodeName(other);
        const auto move = [&] {
            return ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), exchanged ? RENAME_EXCHANGE : 0) == 0;
        };
        std::atomic_bool moved = false;
        plr_image::OpenedPhoto::setOpenedHookForTesting([&](const QString& opened) {
            if (opened.startsWith(f.folder()) && (exchanged || opened.endsWith("/a.jpg")) && !moved.exchange(true)) {
                EXPECT_TRUE(exchanged || QDir(other).removeRecursively());
                EXPECT_TRUE(move());
            }
        });
        platform::ManualClock& clock = platform::ManualClock::install();
        const auto until = [&clock](const std::function<bool()>& done) { return runTheClockUntil(clock, done); };
        {
            auto directory = f.make(f.folder());
            {
                OneReadAtATime oneAtATime;
                directory->startWatching();
                ASSERT_TRUE(waitUntil([&] { return moved.load(); }));
                directory->waitUntilIdle();
            }
            ASSERT_TRUE(exchanged ? move() : QDir().rename(other, f.folder()));
            ASSERT_TRUE(until([&] { return allPresent(*directory, 2); }));
            ASSERT_TRUE(everyLookTaken(*directory, clock));
            const PLRSourceImagePtr a = imageNamed(*directory, "a.jpg"), b = imageNamed(*directory, "b.jpg");
            EXPECT_EQ(a->starRating(), 4);
            EXPECT_EQ(a->colourRating(), 1);
            EXPECT_EQ(a->orientation(), 6);
            EXPECT_EQ(PLRImageManager::readCachedImage(a->exportFilePath()).size(), QSize(40, 60));
            EXPECT_EQ(b->starRating(), 0);
            EXPECT_EQ(b->width(), 40.0f);
            EXPECT_EQ(b->checkedProblem(), PLRPhotoProblem::None);
            ASSERT_TRUE(directory->save());
        }
        auto directory = f.make();
        directory->startWatching();
        ASSERT_TRUE(until([&] { return allPresent(*directory, 2); }));
        const PLRSourceImagePtr a = imageNamed(*directory, "a.jpg");
        EXPECT_EQ(a->starRating(), 4);
        EXPECT_EQ(imageNamed(*directory, "b.jpg")->width(), 40.0f);
        EXPECT_EQ(PLRImageManager::readCachedImage(a->exportFilePath()).size(), QSize(40, 60));
    }
}
