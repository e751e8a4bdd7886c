// Post files and layout exports against hostile input and a hostile file system: archives full
// of junk or oversized parts, archives from other zip tools, exports killed half-way, and an
// export folder swapped for a link while the export runs.

#include "ExportTestSupport.h"

#include "publishing/export/PLRPersistantPostExporter.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantStore.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/NotificationCenter.h"
#include "shell/PLRShellNotifications.h"
#include "platform/Plist.h"

#include <QDirIterator>
#include <QFile>
#include <QFutureWatcher>
#include <QRandomGenerator>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <zip.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <iostream>
#include <optional>

using namespace export_test;

namespace {

// A copy of the archive changed by `change` (with the archive open for writing).
QString changedCopy(const QString& source, const QString& copy, const std::function<void(zip_t*)>& change)
{
    QFile::remove(copy);
    if (!QFile::copy(source, copy))
        return {};
    int code = 0;
    zip_t* archive = zip_open(QFile::encodeName(copy).constData(), 0, &code);
    if (!archive)
        return {};
    change(archive);
    return zip_close(archive) == 0 ? copy : QString();
}

// Adds (or replaces) an entry with the bytes.
void put(zip_t* archive, const QString& name, const QByteArray& content)
{
    void* bytes = malloc(size_t(std::max<qsizetype>(1, content.size())));
    memcpy(bytes, content.constData(), size_t(content.size()));
    zip_source_t* data = zip_source_buffer(archive, bytes, zip_uint64_t(content.size()), 1);
    zip_file_add(archive, name.toUtf8().constData(), data, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
}

// Every file under the folder, relative to it.
QStringList filesUnder(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

QStringList stagingLeft()
{
    return QDir(PLRPersistantStore::rootPath()).entryList({QStringLiteral(".import-*")}, QDir::AllEntries | QDir::Hidden);
}

} // namespace

class HostilePostFile : public ExportFixture {
protected:
    // A saved post "Trip" whose layout uses a.jpg and b.jpg, with their pictures cached, and
    // its post file.
    bool makeTrip()
    {
        for (const char* name : {"a.jpg", "b.jpg"})
            makePhoto(m_folder, name, QSize(300, 200), Qt::darkCyan);
        m_manager = openPost("Trip", 2);
        if (!m_manager)
            return false;
        m_a = photo(m_manager, "a.jpg");
        m_b = photo(m_manager, "b.jpg");
        m_manager->layoutManager()->createAndAddBlocksForImages({m_a, m_b});
        for (const PLRSourceImagePtr& image : m_manager->images())
            image->exportImageData();
        if (!m_manager->save())
            return false;
        m_dir = testing_support::testHome() + "/files";
        QDir().mkpath(m_dir);
        platform::Error error;
        PLRCoreManager::saveQueue().waitUntilIdle();
        m_file = m_dir + "/Trip.ppost";
        m_root = m_manager->representedPost()->identifier() + ".plrpost/";
        return PLRPersistantPostExporter::writePostFile(*m_manager->representedPost(), m_file, &error);
    }
    PLRPersistantAccount* account() { return PLRCoreManager::userSession()->account(); }

    PLRPostManager* m_manager = nullptr;
    QString m_a, m_b, m_dir, m_file, m_root;
};

TEST_F(HostilePostFile, ImportTakesOnlyWhatAPostIsMadeOf)
{
    ASSERT_TRUE(makeTrip());
    // The store lost b's pictures: the file's come in, but only pictures, and sane ones.
    const QString locB = PLRImageManager::locationForIdentifier(m_b).toLocalFile();
    ASSERT_TRUE(QDir(locB).removeRecursively());
    const QString hostile = changedCopy(m_file, m_dir + "/junk.ppost", [&](zip_t* archive) {
        for (int i = 0; i < 3000; ++i)
            put(archive, m_root + QStringLiteral("junk/%1.txt").arg(i), "junk");
        put(archive, m_root + "notes.txt", "junk");
        put(archive, m_root + "export_block_cache/" + m_a + "/extra.bin", "junk");
        put(archive, m_root + "export_block_cache/FOREIGN/export.jpg", "junk");
        // 64 MiB of zeros (a few kilobytes packed) in place of b's export picture.
        put(archive, m_root + "export_block_cache/" + m_b + "/export.jpg", QByteArray(64 * 1024 * 1024, '\0'));
        put(archive, ".hidden-by-a-tool", "junk");
    });
    ASSERT_FALSE(hostile.isEmpty());

    platform::Error error;
    PLRPersistantPost* imported = PLRPersistantPostExporter::importPostFile(hostile, account(), &error);
    ASSERT_NE(imported, nullptr) << error.localizedDescription().toStdString();
    const QStringList files = filesUnder(imported->bundlePath());
    for (const QString& file : files) {
        // a's pictures stay with the bundle (the store has its own).
        const bool known = file == "info.plist" || file == "layout" || file == "location.plist" || file == "preview.jpg"
            || file == "export_block_cache/" + m_a + "/preview.jpg" || file == "export_block_cache/" + m_a + "/export.jpg";
        EXPECT_TRUE(known) << file.toStdString();
    }
    EXPECT_TRUE(files.contains("layout"));
    // b's preview came into the store; the zeros did not.
    EXPECT_TRUE(QFileInfo(locB + "/preview.jpg").isFile());
    EXPECT_FALSE(QFileInfo::exists(locB + "/export.jpg"));
    EXPECT_FALSE(QFileInfo::exists(PLRImageManager::locationForIdentifier(m_a).toLocalFile() + "/extra.bin"));
    EXPECT_FALSE(QFileInfo::exists(PLRImageManager::locationForIdentifier("FOREIGN").toLocalFile()));
    EXPECT_TRUE(stagingLeft().isEmpty());
}

TEST_F(HostilePostFile, OversizedPropertyListsAndLayoutsAreRefused)
{
    ASSERT_TRUE(makeTrip());
    const int posts = account()->currentPosts().size();
    const QByteArray hugeInfo = platform::plist::toXml(QVariantMap{{"name", QString(6 * 1024 * 1024, QLatin1Char('n'))}});
    const QStringList hostile = {
        changedCopy(m_file, m_dir + "/info.ppost", [&](zip_t* archive) { put(archive, m_root + "info.plist", hugeInfo); }),
        changedCopy(m_file, m_dir + "/layout.ppost",
                    [&](zip_t* archive) { put(archive, m_root + "layout", QByteArray(20 * 1024 * 1024, '\0')); }),
    };
    for (const QString& path : hostile) {
        SCOPED_TRACE(path.toStdString());
        ASSERT_FALSE(path.isEmpty());
        platform::Error error;
        EXPECT_EQ(PLRPersistantPostExporter::importPostFile(path, account(), &error), nullptr);
        EXPECT_TRUE(error.localizedDescription().contains("larger than")) << error.localizedDescription().toStdString();
        EXPECT_TRUE(stagingLeft().isEmpty());
    }
    EXPECT_EQ(account()->currentPosts().size(), posts);
}

TEST_F(HostilePostFile, FilesStoredWithPermissionsAloneAreRegularFiles)
{
    ASSERT_TRUE(makeTrip());
    // As Python's zipfile writes them: Unix, mode 0600 without a file type.
    const QString plain = changedCopy(m_file, m_dir + "/plain.ppost", [](zip_t* archive) {
        for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
            const QString name = QString::fromUtf8(zip_get_name(archive, zip_uint64_t(i), 0));
            const zip_uint32_t mode = name.endsWith('/') ? 0700 : 0600;
            zip_file_set_external_attributes(archive, zip_uint64_t(i), 0, ZIP_OPSYS_UNIX, mode << 16);
        }
    });
    ASSERT_FALSE(plain.isEmpty());
    platform::Error error;
    PLRPersistantPost* imported = PLRPersistantPostExporter::importPostFile(plain, account(), &error);
    ASSERT_NE(imported, nullptr) << error.localizedDescription().toStdString();
    EXPECT_EQ(imported->name(), "Trip import");
}

TEST_F(HostilePostFile, AnImportTellsHomeThatThePostsChanged)
{
    ASSERT_TRUE(makeTrip());
    int announced = 0;
    QObject context;
    platform::NotificationCenter::defaultCenter().addObserver(&context, QLatin1String(kPLR_POSTS_WERE_UPDATED),
                                                              [&](const platform::Notification&) { ++announced; });
    platform::Error error;
    ASSERT_NE(PLRPersistantPostExporter::importPostFile(m_file, account(), &error), nullptr);
    EXPECT_EQ(announced, 1);
    EXPECT_EQ(PLRPersistantPostExporter::importPostFile(m_dir + "/missing.ppost", account(), &error), nullptr);
    EXPECT_EQ(announced, 1);
    platform::NotificationCenter::defaultCenter().removeObserver(&context);
}

TEST_F(HostilePostFile, ImportUnpacksOffTheMainThreadWithProgress)
{
    ASSERT_TRUE(makeTrip());
    const QString big = changedCopy(m_file, m_dir + "/big.ppost", [&](zip_t* archive) {
        for (int i = 0; i < 20000; ++i)
            put(archive, m_root + QStringLiteral("junk/%1").arg(i), "junk");
    });
    ASSERT_FALSE(big.isEmpty());
    bool importing = true;
    bool eventsRanDuringImport = false;
    QTimer::singleShot(0, [&] { eventsRanDuringImport = importing; });
    QList<std::pair<qint64, qint64>> progress;
    bool progressOnMain = true;
    platform::Error error;
    PLRPersistantPost* imported = PLRPersistantPostExporter::importPostFile(big, account(), &error, [&](qint64 done, qint64 total) {
        progressOnMain = progressOnMain && platform::isMainThread();
        progress.append({done, total});
    });
    importing = false;
    ASSERT_NE(imported, nullptr) << error.localizedDescription().toStdString();
    EXPECT_TRUE(eventsRanDuringImport);
    EXPECT_TRUE(progressOnMain);
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last().first, progress.last().second);
    EXPECT_GT(progress.last().second, 0);
}

TEST_F(HostilePostFile, AnExportShowsNoFileUntilItIsWholeAndLeavesNoneWhenItFails)
{
    ASSERT_TRUE(makeTrip());
    // A large picture, so the writing takes a while.
    const QString locA = PLRImageManager::locationForIdentifier(m_a).toLocalFile();
    QByteArray noise(24 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(29);
    generator.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    {
        QFile file(locA + "/export.jpg");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(noise);
    }
    const QString out = testing_support::testHome() + "/out";
    QDir().mkpath(out);
    const QString target = out + "/Trip.ppost";
    PLRPersistantPost* post = m_manager->representedPost();
    QFuture<bool> writing = QtConcurrent::run([post, target] { return PLRPersistantPostExporter::writePostFile(*post, target); });
    QStringList seen;
    while (!writing.isFinished()) {
        for (const QString& name : QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            if (name != "Trip.ppost" && !seen.contains(name))
                seen << name;
        QThread::usleep(200);
    }
    EXPECT_TRUE(writing.result());
    EXPECT_TRUE(seen.isEmpty()) << seen.join(", ").toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"Trip.ppost"});

    // A picture that cannot be read fails the export: the old file stays, nothing else appears.
    const QByteArray before = [&] {
        QFile file(target);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    ASSERT_EQ(::chmod(QFile::encodeName(locA + "/export.jpg").constData(), 0), 0);
    if (::access(QFile::encodeName(locA + "/export.jpg").constData(), R_OK) != 0) {   // not when run as root
        platform::Error error;
        EXPECT_FALSE(PLRPersistantPostExporter::writePostFile(*post, target, &error));
        EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"Trip.ppost"});
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), before);
    }
    ::chmod(QFile::encodeName(locA + "/export.jpg").constData(), 0644);
}

class HostileExportFolder : public ExportFixture {};

TEST_F(HostileExportFolder, AFolderSwappedForALinkMidExportGetsNothingThroughTheLink)
{
    // The export does not wait for its progress to be shown: the blocks after the second are
    // large, so that they are still being drawn when the main thread hears of the second file.
    for (int i = 0; i < 6; ++i)
        makePhoto(m_folder, QStringLiteral("p%1.jpg").arg(i), i < 2 ? QSize(300, 200) : QSize(3000, 2000), QColor::fromHsv(i * 50, 200, 220));
    PLRPostManager* manager = openPost("Swap", 6);
    ASSERT_NE(manager, nullptr);
    QStringList identifiers;
    for (int i = 0; i < 6; ++i)
        identifiers << photo(manager, QStringLiteral("p%1.jpg").arg(i));
    manager->layoutManager()->createAndAddBlocksForImages(identifiers);

    const QString folder = testing_support::testHome() + "/out";
    const QString moved = testing_support::testHome() + "/out-moved";
    const QString elsewhere = testing_support::testHome() + "/elsewhere";
    QDir().mkpath(folder);
    QDir().mkpath(elsewhere);
    PLRExportManager::setParallelism(1);
    bool done = false;
    bool success = true;
    QString failure;
    PLRExportManager::sharedManager().exportLayoutForPostManager(
        manager, folder, 2400, 80, false, 2, false,
        [&](qint64 current, qint64) {
            if (current != 2)
                return;
            // After the second picture: the folder is moved away and a link takes its place.
            ASSERT_TRUE(QDir().rename(folder, moved));
            ASSERT_EQ(::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(folder).constData()), 0);
        },
        [&](bool ok, const QString& why) {
            done = true;
            success = ok;
            failure = why;
        });
    ASSERT_TRUE(testing_support::waitUntil([&] { return done; }, 30000));
    PLRExportManager::setParallelism(0);
    EXPECT_FALSE(success);
    EXPECT_TRUE(failure.contains("moved or replaced")) << failure.toStdString();
    EXPECT_TRUE(filesUnder(elsewhere).isEmpty()) << filesUnder(elsewhere).join(", ").toStdString();
    EXPECT_GE(filesUnder(moved).size(), 2);
}

namespace {

// Every name made or moved into the folder while `run` runs (inotify), in order; nothing when
// inotify cannot watch it (the machine's watchers may all be taken): `run` runs all the same.
std::optional<QStringList> namesMadeIn(const QString& folder, const std::function<void()>& run)
{
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0 || ::inotify_add_watch(fd, QFile::encodeName(folder).constData(), IN_CREATE | IN_MOVED_TO) < 0) {
        if (fd >= 0)
            ::close(fd);
        run();
        return std::nullopt;
    }
    run();
    QStringList names;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0)
                names << QFile::decodeName(QByteArray(event->name));
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    ::close(fd);
    return names;
}

} // namespace

TEST_F(HostileExportFolder, ALayoutExportNamesOnlyWholeFilesAndClearsWhatAKilledOneLeft)
{
    for (int i = 0; i < 4; ++i)
        makePhoto(m_folder, QStringLiteral("p%1.jpg").arg(i), QSize(300, 200), QColor::fromHsv(i * 50, 200, 220));
    PLRPostManager* manager = openPost("Whole", 4);
    ASSERT_NE(manager, nullptr);
    QStringList identifiers;
    for (int i = 0; i < 4; ++i)
        identifiers << photo(manager, QStringLiteral("p%1.jpg").arg(i));
    manager->layoutManager()->createAndAddBlocksForImages(identifiers);
    const QString folder = testing_support::testHome() + "/out";
    QDir().mkpath(folder);

    // What an export killed mid-write left (its temporaries, readable by us alone), and files of
    // the user's that only look alike.
    const auto plant = [&](const QString& name, mode_t mode) {
        QFile file(QDir(folder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("half a picture");
        file.close();
        ASSERT_EQ(::chmod(QFile::encodeName(file.fileName()).constData(), mode), 0);
    };
    plant("3.jpg.Ab12Cd", 0600);
    plant("1.jpg.zz99ZZ", 0600);
    plant("1.jpg.backup", 0644);
    plant("notes.txt.Ab12Cd", 0600);

    platform::files::Directory probe;
    ASSERT_TRUE(probe.open(folder));
    const int unnamed = probe.createUnnamedFile();
    if (unnamed >= 0)
        ::close(unnamed);

    bool done = false;
    bool success = false;
    std::optional<QStringList> made = namesMadeIn(folder, [&] {
        PLRExportManager::sharedManager().exportLayoutForPostManager(
            manager, folder, 300, 80, true, 2, false, {}, [&](bool ok, const QString&) {
                done = true;
                success = ok;
            });
        ASSERT_TRUE(testing_support::waitUntil([&] { return done; }, 30000));
    });
    EXPECT_TRUE(success);
    // The leftovers of the export's own files are gone; the rest stays.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
              QStringList({"1.jpg", "1.jpg.backup", "2.jpg", "3.jpg", "4.jpg", "notes.txt.Ab12Cd"}));
    // Each file has a name only once it is whole: no temporary ever shows in the folder, so a
    // kill at any moment leaves nothing half-done there.
    if (unnamed >= 0 && made) {
        made->sort();   // written side by side, in any order
        EXPECT_EQ(*made, QStringList({"1.jpg", "2.jpg", "3.jpg", "4.jpg"})) << made->join(", ").toStdString();
    } else {
        std::cerr << "(the folder could not be watched, or has no nameless files: which names showed is not checked)\n";
    }

    // Replacing them leaves nothing beside them either, and keeps their mode.
    ASSERT_EQ(::chmod(QFile::encodeName(QDir(folder).filePath("2.jpg")).constData(), 0640), 0);
    done = false;
    PLRExportManager::sharedManager().exportLayoutForPostManager(manager, folder, 300, 80, true, 2, false, {}, [&](bool ok, const QString&) {
        done = true;
        success = ok;
    });
    ASSERT_TRUE(testing_support::waitUntil([&] { return done; }, 30000));
    EXPECT_TRUE(success);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
              QStringList({"1.jpg", "1.jpg.backup", "2.jpg", "3.jpg", "4.jpg", "notes.txt.Ab12Cd"}));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(QDir(folder).filePath("2.jpg")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}
