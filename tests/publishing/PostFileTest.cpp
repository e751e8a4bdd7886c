// Post files: a post and the cached pictures of its photos out of the store and back in, and
// archives that must not get in.

#include "ExportTestSupport.h"

#include "publishing/export/PLRPersistantPostExporter.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantStore.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "platform/Log.h"
#include "platform/Modules.h"
#include "platform/Plist.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <plist/plist.h>
#include <zip.h>

#include <sys/stat.h>

using namespace export_test;

namespace {

QStringList entriesOf(const QString& archivePath)
{
    QStringList names;
    int code = 0;
    zip_t* archive = zip_open(QFile::encodeName(archivePath).constData(), ZIP_RDONLY, &code);
    if (!archive)
        return names;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
        names << QString::fromUtf8(zip_get_name(archive, zip_uint64_t(i), 0));
    zip_discard(archive);
    names.sort();
    return names;
}

// The bytes of one entry of an archive; empty when it has none of that name.
QByteArray entryBytes(const QString& archivePath, const QString& name)
{
    int code = 0;
    zip_t* archive = zip_open(QFile::encodeName(archivePath).constData(), ZIP_RDONLY, &code);
    if (!archive)
        return {};
    QByteArray bytes;
    zip_stat_t stat;
    zip_file_t* file = zip_stat(archive, name.toUtf8().constData(), 0, &stat) == 0 ? zip_fopen(archive, name.toUtf8().constData(), 0) : nullptr;
    if (file) {
        bytes.resize(qsizetype(stat.size));
        if (zip_fread(file, bytes.data(), stat.size) != zip_int64_t(stat.size))
            bytes.clear();
        zip_fclose(file);
    }
    zip_discard(archive);
    return bytes;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A copy of the post file with one more entry (a link when `link` is set).
QString withExtraEntry(const QString& source, const QString& copy, const QByteArray& name, const QByteArray& content, bool link = false)
{
    QFile::remove(copy);
    QFile::copy(source, copy);
    int code = 0;
    zip_t* archive = zip_open(QFile::encodeName(copy).constData(), 0, &code);
    if (!archive)
        return {};
    char* bytes = static_cast<char*>(malloc(size_t(content.size()) + 1));
    memcpy(bytes, content.constData(), size_t(content.size()));
    zip_source_t* data = zip_source_buffer(archive, bytes, zip_uint64_t(content.size()), 1);
    const zip_int64_t index = zip_file_add(archive, name.constData(), data, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (link && index >= 0)
        zip_file_set_external_attributes(archive, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX, zip_uint32_t(S_IFLNK | 0777) << 16);
    zip_close(archive);
    return copy;
}

QStringList leftoverStaging()
{
    return QDir(PLRPersistantStore::rootPath()).entryList({QStringLiteral(".import-*")}, QDir::AllEntries | QDir::Hidden);
}

} // namespace

class PostFile : public ExportFixture {
protected:
    // A saved post "Trip" whose layout uses a.jpg and b.jpg (not c.jpg), with their pictures cached.
    PLRPostManager* tripPost()
    {
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
            makePhoto(m_folder, name, QSize(300, 200), Qt::darkCyan);
        PLRPostManager* manager = openPost("Trip", 3);
        if (!manager)
            return nullptr;
        m_a = photo(manager, "a.jpg");
        m_b = photo(manager, "b.jpg");
        m_c = photo(manager, "c.jpg");
        manager->layoutManager()->createAndAddBlocksForImages({m_a, m_b});
        for (const PLRSourceImagePtr& image : manager->images())
            image->exportImageData();   // the cache folder exists
        manager->representedPost()->setRemoteIdentifier("remote-7");
        if (!manager->save())
            return nullptr;
        return manager;
    }
    QString exportTrip(PLRPostManager* manager)
    {
        const QString folder = testing_support::testHome() + "/files";
        QDir().mkpath(folder);
        testing_support::scriptedPanels().enqueue(folder);
        testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
        if (!PLRPersistantPostExporter::exportPost(manager->representedPost()))
            return {};
        return folder + "/Trip.ppost";
    }
    // Imports the post file while the store keeps both photos' pictures: the import leaves the
    // file's copies of them in the new post's bundle, whose picture folder is *bundleCache.
    void importKeepingTheFilesPictures(const QString& file, PLRPersistantPost** imported, QString* bundleCache)
    {
        platform::Error error;
        *imported = PLRPersistantPostExporter::importPostFile(file, PLRCoreManager::userSession()->account(), &error);
        ASSERT_NE(*imported, nullptr) << error.localizedDescription().toStdString();
        *bundleCache = (*imported)->bundlePath() + "/export_block_cache";
        ASSERT_TRUE(QFileInfo(*bundleCache + "/" + m_a + "/export.jpg").isFile());
        ASSERT_TRUE(QFileInfo(*bundleCache + "/" + m_b + "/export.jpg").isFile());
    }
    QString m_a, m_b, m_c;
};

TEST_F(PostFile, ExportHoldsTheBundleAndTheLayoutsPicturesAndReplacesAnOldFile)
{
    PLRPostManager* manager = tripPost();
    ASSERT_NE(manager, nullptr);
    const QString folder = testing_support::testHome() + "/files";
    QDir().mkpath(folder);
    QFile old(folder + "/Trip.ppost");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();

    const QString file = exportTrip(manager);
    ASSERT_FALSE(file.isEmpty());
    const auto& alerts = testing_support::scriptedAlerts().shown();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts.back().messageText, "Export of 'Trip' Complete");
    EXPECT_EQ(alerts.back().informativeText, "Your blog post was sucessfully exported.");
    // News of work done well is no warning.
    EXPECT_EQ(alerts.back().style, platform::AlertStyle::Informational);

    const QString root = manager->representedPost()->identifier() + ".plrpost/";
    const QStringList entries = entriesOf(file);
    for (const QString& entry : entries)
        EXPECT_TRUE(entry.startsWith(root)) << entry.toStdString();
    EXPECT_TRUE(entries.contains(root + "info.plist"));
    EXPECT_TRUE(entries.contains(root + "layout"));
    EXPECT_TRUE(entries.contains(root + "location.plist"));
    EXPECT_TRUE(entries.contains(root + "preview.jpg"));
    EXPECT_TRUE(entries.contains(root + "export_block_cache/" + m_a + "/export.jpg"));
    EXPECT_TRUE(entries.contains(root + "export_block_cache/" + m_b + "/export.jpg"));
    EXPECT_FALSE(entries.join('\n').contains(m_c));
    EXPECT_FALSE(QFileInfo::exists(manager->representedPost()->bundlePath() + "/export_block_cache"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"Trip.ppost"});   // no temporary file left

    // Cancelling the folder choice writes nothing.
    testing_support::scriptedPanels().enqueue(std::nullopt);
    EXPECT_FALSE(PLRPersistantPostExporter::exportPost(manager->representedPost()));

    // An unwritable folder is reported, and the old file stays.
    QDir().mkpath(folder + "/locked");
    QFile::setPermissions(folder + "/locked", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    if (!QFileInfo(folder + "/locked").isWritable()) {
        testing_support::scriptedPanels().enqueue(folder + "/locked");
        testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
        EXPECT_FALSE(PLRPersistantPostExporter::exportPost(manager->representedPost()));
        EXPECT_EQ(testing_support::scriptedAlerts().shown().back().messageText, "Export of 'Trip' Failed");
    }
    QFile::setPermissions(folder + "/locked", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// Photos of the layout that cannot be read (cut short, gone, not a picture) have no pictures to
// carry: the file is written without them, and the alert names each with its reason, as the
// layout export does. A photo that can be read is carried even when the store had no picture of
// it yet.
TEST_F(PostFile, PhotosLeftOutOfTheFileAreNamedWithTheirReasons)
{
    for (const char* name : {"fine.jpg", "fresh.jpg", "cut.jpg", "broken.jpg", "gone.jpg"})
        makePhoto(m_folder, name, QSize(300, 200), Qt::darkCyan);
    PLRPostManager* manager = openPost("Spoiled", 5);
    ASSERT_NE(manager, nullptr);
    QStringList identifiers;
    for (const char* name : {"fine.jpg", "fresh.jpg", "cut.jpg", "broken.jpg", "gone.jpg"})
        identifiers << photo(manager, name);
    manager->layoutManager()->createAndAddBlocksForImages(identifiers);
    // The store has pictures of the whole versions of three of them, and none of fresh.jpg or
    // gone.jpg.
    for (const char* name : {"fine.jpg", "cut.jpg", "broken.jpg"})
        ASSERT_FALSE(manager->imageForIdentifier(photo(manager, name))->exportImageData().isEmpty()) << name;
    ASSERT_TRUE(manager->save());
    PLRImageManager::shared().waitUntilAllOperationsAreFinished();
    for (const char* name : {"fresh.jpg", "gone.jpg"})
        QDir(PLRImageManager::locationForIdentifier(photo(manager, name)).toLocalFile()).removeRecursively();
    ASSERT_TRUE(testing_support::cutShort(QDir(m_folder).filePath("cut.jpg"), 0.6));
    {
        QFile broken(QDir(m_folder).filePath("broken.jpg"));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
        broken.write("this is not a picture");
    }
    ASSERT_TRUE(QFile::remove(QDir(m_folder).filePath("gone.jpg")));

    const QString folder = testing_support::testHome() + "/files";
    QDir().mkpath(folder);
    // From the post being edited, and from home (the post not open).
    for (const bool open : {true, false}) {
        SCOPED_TRACE(open ? "open" : "from home");
        PLRPersistantPost* post = manager->representedPost();
        testing_support::scriptedPanels().enqueue(folder);
        testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
        if (!open)
            post->setOwningPostManager(nullptr);
        EXPECT_TRUE(PLRPersistantPostExporter::exportPost(post));
        if (!open)
            post->setOwningPostManager(manager);
        const platform::Alert alert = testing_support::scriptedAlerts().shown().back();
        EXPECT_EQ(alert.messageText, "Export of 'Spoiled' Incomplete");
        EXPECT_EQ(alert.style, platform::AlertStyle::Warning);
        EXPECT_TRUE(alert.informativeText.startsWith("The post file was written without 3 of its 5 photos:\n"))
            << alert.informativeText.toStdString();
        for (const char* line : {"broken.jpg: not a readable photo", "cut.jpg: cut short", "gone.jpg: missing from the folder"})
            EXPECT_TRUE(alert.informativeText.contains(QLatin1String(line))) << line << " in " << alert.informativeText.toStdString();
        EXPECT_FALSE(alert.informativeText.contains("fine.jpg")) << alert.informativeText.toStdString();
        EXPECT_FALSE(alert.informativeText.contains("fresh.jpg")) << alert.informativeText.toStdString();

        // The file holds the readable photos' pictures, and none of the others.
        const QString cache = post->identifier() + ".plrpost/export_block_cache/";
        const QStringList entries = entriesOf(folder + "/Spoiled.ppost");
        EXPECT_TRUE(entries.contains(cache + photo(manager, "fresh.jpg") + "/export.jpg"));
        EXPECT_TRUE(entries.contains(cache + photo(manager, "fine.jpg") + "/export.jpg"));
        for (const char* name : {"cut.jpg", "broken.jpg", "gone.jpg"}) {
            EXPECT_FALSE(entries.contains(cache + photo(manager, name) + "/export.jpg")) << name;
            EXPECT_FALSE(entries.contains(cache + photo(manager, name) + "/preview.jpg")) << name;
        }
    }
}

// A photo deleted from the folder while its post is open still has its stored picture: the file
// carries it, and the notice names the photo as the layout export does: before and after the
// folder has seen it go, and for a post whose file is made while it is closed.
TEST_F(PostFile, APhotoGoneFromTheFolderIsCarriedAndNamed)
{
    PLRPostManager* manager = tripPost();
    ASSERT_NE(manager, nullptr);
    ASSERT_TRUE(testing_support::waitUntil([&] { return !manager->sourceDirectory()->watchedPaths().isEmpty(); }));
    const QString locA = PLRImageManager::locationForIdentifier(m_a).toLocalFile();
    const QByteArray pictureA = fileBytes(locA + "/export.jpg");
    ASSERT_FALSE(pictureA.isEmpty());
    ASSERT_TRUE(QFile::remove(QDir(m_folder).filePath("a.jpg")));

    const auto exportedAndNamed = [&](bool open) {
        PLRPersistantPost* post = manager->representedPost();
        if (!open)
            post->setOwningPostManager(nullptr);
        const QString file = exportTrip(manager);
        if (!open)
            post->setOwningPostManager(manager);
        ASSERT_FALSE(file.isEmpty());
        const platform::Alert alert = testing_support::scriptedAlerts().shown().back();
        EXPECT_EQ(alert.messageText, "Export of 'Trip' Complete");
        EXPECT_EQ(alert.style, platform::AlertStyle::Warning);
        EXPECT_TRUE(alert.informativeText.contains("a.jpg: missing from the folder")) << alert.informativeText.toStdString();
        EXPECT_FALSE(alert.informativeText.contains("b.jpg")) << alert.informativeText.toStdString();
        EXPECT_EQ(entryBytes(file, post->identifier() + ".plrpost/export_block_cache/" + m_a + "/export.jpg"), pictureA);
        EXPECT_EQ(fileBytes(locA + "/export.jpg"), pictureA);
    };
    {
        SCOPED_TRACE("just deleted");
        exportedAndNamed(true);
    }
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->imageForIdentifier(m_a)->fileDeleted(); }, 5000));
    {
        SCOPED_TRACE("seen gone");
        exportedAndNamed(true);
    }
    {
        SCOPED_TRACE("from home");
        exportedAndNamed(false);
    }
}

// The file of a post made from home (the post closed) while neither the store nor the bundle has
// the picture of one of its photos, the photo whole in its folder: the picture is made from the
// photo during the export, upright as opening the post makes it, and carried without a word.
TEST_F(PostFile, AClosedPostsFileCarriesThePictureMadeFromAWholePhotoTheStoreLacks)
{
    const QString path = makePhoto(m_folder, "turned.jpg", QSize(300, 200), Qt::darkCyan);
    ASSERT_TRUE(testing_support::tagPhoto(path, {{"Exif.Image.Orientation", "6"}}));
    PLRPostManager* manager = openPost("Trip", 1);
    ASSERT_NE(manager, nullptr);
    const QString turned = photo(manager, "turned.jpg");
    manager->layoutManager()->createAndAddBlocksForImages({turned});
    ASSERT_TRUE(manager->save());
    PLRImageManager::shared().waitUntilAllOperationsAreFinished();
    ASSERT_TRUE(QDir(PLRImageManager::locationForIdentifier(turned).toLocalFile()).removeRecursively());
    PLRPersistantPost* post = manager->representedPost();
    for (const char* round : {"picture in neither", "picture made by the export before"}) {
        SCOPED_TRACE(round);
        post->setOwningPostManager(nullptr);
        const QString file = exportTrip(manager);
        post->setOwningPostManager(manager);
        ASSERT_FALSE(file.isEmpty());
        const platform::Alert alert = testing_support::scriptedAlerts().shown().back();
        EXPECT_EQ(alert.messageText, "Export of 'Trip' Complete") << alert.informativeText.toStdString();
        const QImage picture = QImage::fromData(entryBytes(file, post->identifier() + ".plrpost/export_block_cache/" + turned + "/export.jpg"));
        EXPECT_EQ(picture.size(), QSize(200, 300));
    }
}

TEST_F(PostFile, ImportComesBackWholeUnderANewIdentifierAndName)
{
    PLRPostManager* manager = tripPost();
    ASSERT_NE(manager, nullptr);
    const QString file = exportTrip(manager);
    ASSERT_FALSE(file.isEmpty());
    PLRPersistantAccount* account = PLRCoreManager::userSession()->account();
    const QString original = manager->representedPost()->identifier();
    // The store lost a's pictures since; b's are still there.
    const QString locA = PLRImageManager::locationForIdentifier(m_a).toLocalFile();
    ASSERT_TRUE(QDir(locA).removeRecursively());

    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    ASSERT_TRUE(PLRPersistantPostExporter::importPostWithURL(file));
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().messageText, "Import of 'Trip import' Complete");
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().informativeText, "Blog post sucessfully imported.");
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().style, platform::AlertStyle::Informational);
    PLRPersistantPost* imported = nullptr;
    for (PLRPersistantPost* post : account->currentPosts())
        if (post->name() == "Trip import")
            imported = post;
    ASSERT_NE(imported, nullptr);
    EXPECT_NE(imported->identifier(), original);
    EXPECT_TRUE(imported->remoteIdentifier().isEmpty());
    EXPECT_EQ(plr::data(imported->layout()), plr::data(manager->representedPost()->layout()));
    EXPECT_TRUE(imported->bundlePath().endsWith(imported->identifier() + ".plrpost"));
    bool ok = false;
    const QVariantMap info = platform::plist::readDictionary(imported->bundlePath() + "/info.plist", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(info.value("identifier").toString(), imported->identifier());
    EXPECT_FALSE(info.contains("remoteIdentifier"));
    const QVariantMap oldLocation = platform::plist::readDictionary(manager->representedPost()->bundlePath() + "/location.plist", &ok);
    const QVariantMap newLocation = platform::plist::readDictionary(imported->bundlePath() + "/location.plist", &ok);
    ASSERT_TRUE(ok);
    EXPECT_NE(newLocation.value("identifier"), oldLocation.value("identifier"));
    // a's pictures went back into the store; b's stayed with the bundle, the store's copy kept.
    EXPECT_TRUE(QFileInfo(locA + "/export.jpg").isFile());
    EXPECT_FALSE(QFileInfo::exists(imported->bundlePath() + "/export_block_cache/" + m_a));
    EXPECT_TRUE(QFileInfo(imported->bundlePath() + "/export_block_cache/" + m_b + "/export.jpg").isFile());

    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    ASSERT_TRUE(PLRPersistantPostExporter::importPostWithURL(file));
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().messageText, "Import of 'Trip import 1' Complete");
    EXPECT_TRUE(leftoverStaging().isEmpty());

    // The importer is what files opened from the desktop reach.
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    AppDelegate::setPostFileImporter({});
    PLRExportInstall::install();
    testing_support::scriptedPanels().enqueue(file);
    PLRPersistantPostExporter::selectPathAndImportPost();
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().messageText, "Import of 'Trip import 2' Complete");
}

// A post file whose location.plist is a binary property list: 3,000 photo records sharing one
// long keyword list take 0.3 MB so, and some 75 MB as XML, more than the store reads back. The
// import writes them so that every record is read back, and so does a copy of a post whose
// location.plist is such a file.
TEST_F(PostFile, ABinaryLocationFileComesBackWholeThroughTheImportAndACopy)
{
    PLRPostManager* manager = tripPost();
    ASSERT_NE(manager, nullptr);
    const QString file = exportTrip(manager);
    ASSERT_FALSE(file.isEmpty());
    const QString root = manager->representedPost()->identifier() + ".plrpost/";
    QVariantMap location = platform::plist::fromData(entryBytes(file, root + "location.plist")).toMap();
    QVariantList records = location.value("images").toList();
    ASSERT_EQ(records.size(), 3);
    const QStringList keywords(10, QString(2500, QLatin1Char('k')));
    for (int i = 0; i < 3000; ++i)
        records.append(QVariantMap{{"identifier", QStringLiteral("GONE-%1").arg(i)},
                                   {"file_name", QStringLiteral("gone/IMG_%1.jpg").arg(i)},
                                   {"keywords", keywords}});
    location.insert("images", records);
    const QByteArray xml = platform::plist::toXml(location);
    ASSERT_GT(xml.size(), kPLRPostMaxLocationBytes);
    plist_t node = nullptr;
    plist_from_xml(xml.constData(), uint32_t(xml.size()), &node);
    char* bytes = nullptr;
    uint32_t size = 0;
    plist_to_bin(node, &bytes, &size);
    const QByteArray binary(bytes, qsizetype(size));
    plist_to_bin_free(bytes);
    plist_free(node);
    const QString binaryFile = withExtraEntry(file, testing_support::testHome() + "/files/binary.ppost", (root + "location.plist").toUtf8(), binary);

    PLRUserSession* session = PLRCoreManager::userSession();
    platform::Error error;
    PLRPersistantPost* imported = PLRPersistantPostExporter::importPostFile(binaryFile, session->account(), &error);
    ASSERT_NE(imported, nullptr) << error.localizedDescription().toStdString();
    QFile bundleLocation(imported->bundlePath() + "/location.plist");
    const QByteArray written = fileBytes(bundleLocation.fileName());
    ASSERT_TRUE(bundleLocation.open(QIODevice::WriteOnly | QIODevice::Truncate) && bundleLocation.write(binary) == binary.size());
    bundleLocation.close();
    PLRPersistantPost* copy = session->duplicatePost(imported, &error);
    ASSERT_NE(copy, nullptr) << error.localizedDescription().toStdString();
    ASSERT_TRUE(bundleLocation.open(QIODevice::WriteOnly | QIODevice::Truncate) && bundleLocation.write(written) == written.size());
    bundleLocation.close();
    for (PLRPersistantPost* post : {imported, copy}) {
        PLRSourceDirectory* directory = session->postManagerForPost(post)->sourceDirectory();
        EXPECT_EQ(directory->images().size() + directory->vanishedImages().size(), 3003) << post->name().toStdString();
        ASSERT_TRUE(directory->sourceImageForIdentifier("GONE-2999"));
        EXPECT_EQ(directory->sourceImageForIdentifier("GONE-2999")->focusKeywords(), keywords);
    }
}

// An imported post keeps in its bundle the pictures its file brought for photos whose pictures
// the store had already. Its export leaves no such folder in the bundle: what the store lacks
// (a move into it that was missed) goes into the store first, and into the file.
TEST_F(PostFile, ExportingAnImportedPostLeavesNoPictureFolderInItsBundle)
{
    PLRPostManager* manager = tripPost();
    ASSERT_NE(manager, nullptr);
    const QString file = exportTrip(manager);
    ASSERT_FALSE(file.isEmpty());
    // The store had both photos' pictures: the file's copies stayed in the bundle. Those of a
    // are the only ones once the store has lost its own.
    PLRPersistantPost* imported = nullptr;
    QString bundleCache;
    ASSERT_NO_FATAL_FAILURE(importKeepingTheFilesPictures(file, &imported, &bundleCache));
    const QString locA = PLRImageManager::locationForIdentifier(m_a).toLocalFile();
    ASSERT_TRUE(QDir(locA).removeRecursively());

    const QString folder = testing_support::testHome() + "/again";
    QDir().mkpath(folder);
    testing_support::scriptedPanels().enqueue(folder);
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    ASSERT_TRUE(PLRPersistantPostExporter::exportPost(imported));
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().messageText, "Export of 'Trip import' Complete");
    EXPECT_FALSE(QFileInfo::exists(bundleCache));
    EXPECT_TRUE(QFileInfo(locA + "/export.jpg").isFile());
    const QString cache = imported->identifier() + ".plrpost/export_block_cache/";
    const QStringList entries = entriesOf(folder + "/Trip import.ppost");
    EXPECT_TRUE(entries.contains(cache + m_a + "/export.jpg"));
    EXPECT_TRUE(entries.contains(cache + m_b + "/export.jpg"));
}

// An imported post's bundle holds a copy of each photo's pictures; the store's copy of a's is
// lost, and the store cannot, or need not, take the bundle's. Whatever state the store's image
// area is in, the export carries a's picture, and afterwards it is in the store or still in the
// bundle: never in neither.
TEST_F(PostFile, ExportingAnImportedPostKeepsEveryPictureWhateverTheStoreHolds)
{
    PLRPostManager* manager = tripPost();
    ASSERT_NE(manager, nullptr);
    const QString file = exportTrip(manager);
    ASSERT_FALSE(file.isEmpty());
    const QString area = PLRPersistantStore::locationPath();
    const QString locA = PLRImageManager::locationForIdentifier(m_a).toLocalFile();
    const QString locB = PLRImageManager::locationForIdentifier(m_b).toLocalFile();
    const QByteArray pictureA = fileBytes(locA + "/export.jpg");
    const QByteArray previewA = fileBytes(locA + "/preview.jpg");
    const QByteArray pictureB = fileBytes(locB + "/export.jpg");
    ASSERT_FALSE(pictureA.isEmpty());
    ASSERT_FALSE(previewA.isEmpty());
    ASSERT_FALSE(pictureB.isEmpty());
    const auto restoreA = [&] {
        QDir(locA).removeRecursively();
        QDir().mkpath(locA);
        for (const auto& [name, bytes] : {std::pair{"export.jpg", pictureA}, std::pair{"preview.jpg", previewA}}) {
            QFile out(locA + "/" + name);
            if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
                return false;
        }
        return true;
    };

    enum class Store { HasIt, LostIt, EmptyFolder, PreviewOnly, NotWritable };
    const QList<std::pair<Store, const char*>> states = {
        {Store::HasIt, "the store keeps its copy"},
        {Store::LostIt, "the store lost its copy"},
        {Store::EmptyFolder, "an empty folder is left in the store"},
        {Store::PreviewOnly, "the store's folder holds a preview alone"},
        // Root writes into any folder whatever its mode: a file in the place of the image
        // area stops anyone.
        {Store::NotWritable, "the store's image area cannot be written"},
    };
    const QString folder = testing_support::testHome() + "/again";
    QDir().mkpath(folder);
    for (const auto& [state, what] : states) {
        SCOPED_TRACE(what);
        // The store has both photos' pictures: the import leaves the file's copies in the bundle.
        ASSERT_TRUE(restoreA());
        PLRPersistantPost* imported = nullptr;
        QString bundleCache;
        ASSERT_NO_FATAL_FAILURE(importKeepingTheFilesPictures(file, &imported, &bundleCache));
        switch (state) {
        case Store::HasIt:
            break;
        case Store::LostIt:
            ASSERT_TRUE(QDir(locA).removeRecursively());
            break;
        case Store::EmptyFolder:
            ASSERT_TRUE(QDir(locA).removeRecursively());
            ASSERT_TRUE(QDir().mkpath(locA));
            break;
        case Store::PreviewOnly:
            ASSERT_TRUE(QFile::remove(locA + "/export.jpg"));
            break;
        case Store::NotWritable: {
            ASSERT_TRUE(QDir().rename(area, area + ".away"));
            QFile blocker(area);
            ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
            break;
        }
        }

        testing_support::scriptedPanels().enqueue(folder);
        testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
        const bool exported = PLRPersistantPostExporter::exportPost(imported);
        const bool inStore = QFileInfo(locA + "/export.jpg").isFile();
        const bool inBundle = QFileInfo(bundleCache + "/" + m_a + "/export.jpg").isFile();
        const bool bInStoreOrBundle = QFileInfo(locB + "/export.jpg").isFile() || QFileInfo(bundleCache + "/" + m_b + "/export.jpg").isFile();
        if (state == Store::NotWritable) {
            ASSERT_TRUE(QFile::remove(area));
            ASSERT_TRUE(QDir().rename(area + ".away", area));
        }
        ASSERT_TRUE(exported);
        EXPECT_EQ(testing_support::scriptedAlerts().shown().back().messageText, "Export of '" + imported->name() + "' Complete");
        const QString cache = imported->identifier() + ".plrpost/export_block_cache/";
        const QString written = folder + "/" + imported->name() + ".ppost";
        EXPECT_EQ(entryBytes(written, cache + m_a + "/export.jpg"), pictureA);
        EXPECT_EQ(entryBytes(written, cache + m_b + "/export.jpg"), pictureB);
        EXPECT_TRUE(bInStoreOrBundle);
        if (state == Store::NotWritable) {
            // Nothing could go into the store: the bundle keeps every picture.
            EXPECT_TRUE(inBundle);
        } else {
            // In the store now, and only there: the bundle keeps no picture folder.
            EXPECT_TRUE(inStore);
            EXPECT_EQ(fileBytes(locA + "/export.jpg"), pictureA);
            EXPECT_FALSE(QFileInfo::exists(bundleCache));
        }
    }
}

TEST_F(PostFile, OurOwnFileComesBackWithoutAWordAndCarriesOnlyThePictures)
{
    PLRPostManager* manager = tripPost();
    ASSERT_NE(manager, nullptr);
    // The photos' hashes are kept beside their export files, as after a publish.
    for (const PLRSourceImagePtr& image : manager->images())
        ASSERT_FALSE(PLRImageManager::sha1HashForImage(image.get()).isEmpty());
    const QString locA = PLRImageManager::locationForIdentifier(m_a).toLocalFile();
    ASSERT_TRUE(QFileInfo(locA + "/export.jpg.sha1").isFile());
    const QString file = exportTrip(manager);
    ASSERT_FALSE(file.isEmpty());
    // Each photo's folder carries its pictures and nothing made from them on this machine.
    const QString cache = manager->representedPost()->identifier() + ".plrpost/export_block_cache/";
    for (const QString& entry : entriesOf(file)) {
        if (entry.startsWith(cache) && !entry.endsWith('/')) {
            EXPECT_TRUE(entry.endsWith("/preview.jpg") || entry.endsWith("/export.jpg") || entry.endsWith("/animation.gif"))
                << entry.toStdString();
        }
    }

    // Imported into a store without those pictures: no line about anything left out.
    ASSERT_TRUE(QDir(locA).removeRecursively());
    QStringList warnings;
    const int capture = platform::log::addCapture([&](platform::log::Level level, const QString& message) {
        if (level >= platform::log::Level::Warn)
            warnings << message;
    });
    platform::Error error;
    PLRPersistantPost* imported = PLRPersistantPostExporter::importPostFile(file, PLRCoreManager::userSession()->account(), &error);
    platform::log::removeCapture(capture);
    ASSERT_NE(imported, nullptr) << error.localizedDescription().toStdString();
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
    EXPECT_TRUE(QFileInfo(locA + "/export.jpg").isFile());
    // The hash is made anew where it is needed.
    EXPECT_FALSE(QFileInfo::exists(locA + "/export.jpg.sha1"));
    EXPECT_EQ(PLRImageManager::cachedSha1OfFile(locA + "/export.jpg").size(), 40);

    // A file written before (with the kept hashes in it) comes in too, their hashes left out
    // without a warning; anything else unknown is still named.
    const QString dir = testing_support::testHome() + "/files";
    QString older = withExtraEntry(file, dir + "/older.ppost", (cache + m_b + "/export.jpg.sha1").toUtf8(),
                                   "0123456789012345678901234567890123456789 12 34");
    older = withExtraEntry(older, dir + "/older2.ppost", (cache + m_b + "/notes.txt").toUtf8(), "x");
    warnings.clear();
    const int again = platform::log::addCapture([&](platform::log::Level level, const QString& message) {
        if (level >= platform::log::Level::Warn)
            warnings << message;
    });
    imported = PLRPersistantPostExporter::importPostFile(older, PLRCoreManager::userSession()->account(), &error);
    platform::log::removeCapture(again);
    ASSERT_NE(imported, nullptr) << error.localizedDescription().toStdString();
    EXPECT_FALSE(QFileInfo::exists(imported->bundlePath() + "/export_block_cache/" + m_b + "/export.jpg.sha1"));
    ASSERT_FALSE(warnings.isEmpty());
    EXPECT_FALSE(warnings.join('\n').contains(".sha1")) << warnings.join('\n').toStdString();
    EXPECT_TRUE(warnings.join('\n').contains("notes.txt"));
}

TEST_F(PostFile, HostileArchivesWriteNothingOutsideAndLeaveNothingBehind)
{
    PLRPostManager* manager = tripPost();
    ASSERT_NE(manager, nullptr);
    const QString file = exportTrip(manager);
    ASSERT_FALSE(file.isEmpty());
    PLRPersistantAccount* account = PLRCoreManager::userSession()->account();
    const int posts = account->currentPosts().size();
    const QString root = manager->representedPost()->identifier().toUtf8() + ".plrpost/";
    const QString dir = testing_support::testHome() + "/files";

    QFile garbage(dir + "/garbage.ppost");
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("PK\x03\x04 not really a zip");
    garbage.close();

    const QStringList hostile = {
        withExtraEntry(file, dir + "/climb.ppost", "../../evil.txt", "x"),
        withExtraEntry(file, dir + "/inner-climb.ppost", (root + "../../evil.txt").toUtf8(), "x"),
        withExtraEntry(file, dir + "/absolute.ppost", "/tmp/pellora-evil.txt", "x"),
        withExtraEntry(file, dir + "/link.ppost", (root + "export_block_cache/link").toUtf8(), "/etc/passwd", true),
        withExtraEntry(file, dir + "/two.ppost", "Other.plrpost/info.plist", "x"),
        withExtraEntry(file, dir + "/badinfo.ppost", (root + "info.plist").toUtf8(), "not a plist"),
        dir + "/garbage.ppost",
        dir + "/missing.ppost",
    };
    for (const QString& path : hostile) {
        SCOPED_TRACE(path.toStdString());
        ASSERT_FALSE(path.isEmpty());
        platform::Error error;
        EXPECT_EQ(PLRPersistantPostExporter::importPostFile(path, account, &error), nullptr);
        EXPECT_FALSE(error.localizedDescription().isEmpty());
        // The hidden folder the file was unpacked into is never named to the user.
        EXPECT_FALSE(error.localizedDescription().contains(PLRPersistantStore::rootPath())) << error.localizedDescription().toStdString();
        EXPECT_TRUE(leftoverStaging().isEmpty());
    }
    EXPECT_EQ(account->currentPosts().size(), posts);
    EXPECT_FALSE(QFileInfo::exists(testing_support::testHome() + "/evil.txt"));
    EXPECT_FALSE(QFileInfo::exists("/tmp/pellora-evil.txt"));
    EXPECT_FALSE(QFileInfo::exists(PLRPersistantStore::rootPath() + "/evil.txt"));

    // Through the user's path: an alert, and nothing imported.
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    EXPECT_FALSE(PLRPersistantPostExporter::importPostWithURL(dir + "/climb.ppost"));
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().messageText, "Import Failed");
    // A post that cannot be read is told of by the name of the file chosen.
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    EXPECT_FALSE(PLRPersistantPostExporter::importPostWithURL(dir + "/badinfo.ppost"));
    EXPECT_EQ(testing_support::scriptedAlerts().shown().back().informativeText,
              "\"badinfo.ppost\" could not be imported. The post in \"badinfo.ppost\" cannot be read (its info.plist is not a "
              "readable property list).");
}

TEST_F(PostFile, PictureFoldersOnlyForTheLayoutAndNeverOverOthers)
{
    PLRPostManager* manager = tripPost();
    ASSERT_NE(manager, nullptr);
    const QString file = exportTrip(manager);
    ASSERT_FALSE(file.isEmpty());
    const QString root = manager->representedPost()->identifier() + ".plrpost/";
    const QString dir = testing_support::testHome() + "/files";
    // Another post's photo (not in this layout), and b's pictures with other bytes.
    QString path = withExtraEntry(file, dir + "/a1.ppost", (root + "export_block_cache/FOREIGN/export.jpg").toUtf8(), "foreign");
    path = withExtraEntry(path, dir + "/a2.ppost", (root + "export_block_cache/" + m_b + "/extra.jpg").toUtf8(), "replaced?");
    const QString locB = PLRImageManager::locationForIdentifier(m_b).toLocalFile();
    const QString locForeign = PLRImageManager::locationForIdentifier("FOREIGN").toLocalFile();

    platform::Error error;
    PLRPersistantPost* imported = PLRPersistantPostExporter::importPostFile(path, PLRCoreManager::userSession()->account(), &error);
    ASSERT_NE(imported, nullptr) << error.localizedDescription().toStdString();
    EXPECT_FALSE(QFileInfo::exists(locForeign));
    EXPECT_FALSE(QFileInfo::exists(locB + "/extra.jpg"));
    EXPECT_FALSE(QFileInfo::exists(imported->bundlePath() + "/export_block_cache/FOREIGN"));
}

TEST_F(PostFile, WithoutTheZipModuleExportAndImportFailClearlyAndLeaveNothing)
{
    PLRPostManager* manager = tripPost();
    ASSERT_NE(manager, nullptr);
    const QString file = exportTrip(manager);
    ASSERT_FALSE(file.isEmpty());
    PLRPersistantAccount* account = PLRCoreManager::userSession()->account();
    const int posts = account->currentPosts().size();
    const QString dir = testing_support::testHome() + "/files";
    const QStringList before = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    // The module is in none of the folders looked in.
    QTemporaryDir empty;
    platform::modules::setSearchFoldersForTesting({empty.path()});
    platform::Error error;
    EXPECT_FALSE(PLRPersistantPostExporter::writePostFile(*manager->representedPost(), dir + "/Again.ppost", &error));
    EXPECT_EQ(error.code, 12);
    EXPECT_TRUE(error.localizedDescription().contains("pellora-zip.so")) << error.localizedDescription().toStdString();
    error = platform::Error();
    EXPECT_EQ(PLRPersistantPostExporter::importPostFile(file, account, &error), nullptr);
    EXPECT_EQ(error.code, 1);
    EXPECT_TRUE(error.localizedDescription().contains("pellora-zip.so")) << error.localizedDescription().toStdString();
    EXPECT_EQ(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    EXPECT_TRUE(leftoverStaging().isEmpty());
    EXPECT_EQ(account->currentPosts().size(), posts);

    // Found again, the same file imports.
    platform::modules::setSearchFoldersForTesting({});
    error = platform::Error();
    EXPECT_NE(PLRPersistantPostExporter::importPostFile(file, account, &error), nullptr) << error.localizedDescription().toStdString();
}

TEST(PostFileName, NamesBecomeOneSafeFileName)
{
    EXPECT_EQ(PLRPersistantPostExporter::postFileNameForPostName("Trip"), "Trip.ppost");
    EXPECT_EQ(PLRPersistantPostExporter::postFileNameForPostName("a/../b"), "a-..-b.ppost");
    EXPECT_EQ(PLRPersistantPostExporter::postFileNameForPostName("..hidden"), "hidden.ppost");
    EXPECT_EQ(PLRPersistantPostExporter::postFileNameForPostName("  "), "Post.ppost");
    EXPECT_LE(PLRPersistantPostExporter::postFileNameForPostName(QString(300, QChar(0xE9))).toUtf8().size(), 255);
}
