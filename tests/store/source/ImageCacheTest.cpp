#include "SourceTestPhotos.h"

#include "store/persistance-store/PLRPersistantStore.h"
#include "store/persistance-store/source/PLRImageUtilities.h"
#include "store/persistance-store/source/PLRImagesDistinctionVerifier.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "platform/Dispatch.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QColorSpace>
#include <QCryptographicHash>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <utime.h>

#include <atomic>
#include <cstdlib>

using source_test::tagPhoto;
using source_test::writePhoto;
using testing_support::waitUntil;

namespace {

PLRSourceImagePtr imageFor(const QString& path, const QString& cacheRoot)
{
    auto image = std::make_shared<PLRSourceImage>(QString(), cacheRoot);
    const QFileInfo info(path);
    image->setFile(path, info.fileName(),
                   PLRFileStamp{info.size(), PLRImageManager::fileModifiedNs(path)}, PLRImageMetadata::read(path));
    return image;
}

QSize sizeOf(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(false);
    return reader.size();
}

class AssetRecorder : public PLRSourceImageDelegate {
public:
    void imageCacheAssetChanged(PLRSourceImage*) override
    {
        ++changes;
        if (!platform::isMainThread())
            ++offMain;
    }
    std::atomic_int changes{0};
    std::atomic_int offMain{0};
};

// The cache jobs have run and the call-backs they queued for the main thread have landed.
void finishCaching()
{
    PLRImageManager::shared().waitUntilAllOperationsAreFinished();
    testing_support::drainEvents();
}

} // namespace

TEST(ImageCache, BuildsPreviewAndExportAtTheirSizesWithTheResolution)
{
    QTemporaryDir dir;
    const QString cacheRoot = dir.filePath(QStringLiteral("loc"));
    // Landscape, wider than the export width; stored sideways (orientation 6).
    const QString sideways = dir.filePath(QStringLiteral("sideways.jpg"));
    ASSERT_TRUE(writePhoto(sideways, 2000, 1200, 300));
    ASSERT_TRUE(tagPhoto(sideways, {{"Exif.Image.Orientation", "6"}}));
    // Smaller than both limits: never scaled up.
    const QString small = dir.filePath(QStringLiteral("small.jpg"));
    ASSERT_TRUE(writePhoto(small, 400, 300, 240));
    // Wide panorama.
    const QString wide = dir.filePath(QStringLiteral("wide.jpg"));
    ASSERT_TRUE(writePhoto(wide, 3000, 500));

    auto upright = imageFor(sideways, cacheRoot);
    auto little = imageFor(small, cacheRoot);
    auto panorama = imageFor(wide, cacheRoot);
    AssetRecorder recorder;
    upright->addDelegate(&recorder);

    std::atomic_int previews{0};
    QImage delivered;
    std::mutex mutex;
    for (const auto& image : {upright, little, panorama}) {
        const bool first = image == upright;
        EXPECT_TRUE(image->previewImage([&, first](const QImage& preview) {
            std::lock_guard lock(mutex);
            if (first)
                delivered = preview;
            ++previews;
        }).isNull());
    }
    ASSERT_TRUE(waitUntil([&] { return previews == 3; }));
    finishCaching();
    EXPECT_EQ(recorder.changes, 1);
    EXPECT_EQ(recorder.offMain, 0);
    EXPECT_EQ(delivered.size(), QSize(307, 512));

    const QDir uprightCache(upright->cacheLocation());
    EXPECT_EQ(upright->cacheLocation(), QDir(cacheRoot).filePath(upright->identifier()));
    EXPECT_EQ(sizeOf(uprightCache.filePath("export.jpg")), QSize(1200, 2000));   // 1200 wide: not scaled
    EXPECT_EQ(sizeOf(uprightCache.filePath("preview.jpg")), QSize(307, 512));
    EXPECT_EQ(imageDPIValue(QImage(uprightCache.filePath("export.jpg"))), 300);
    EXPECT_FALSE(QFile::exists(uprightCache.filePath("animation.gif")));
    // Upright: the red block of the top-left corner is now at the top right.
    const QImage exported(uprightCache.filePath("export.jpg"));
    const QRgb topRight = exported.pixel(exported.width() - 20, 20);
    EXPECT_GT(qRed(topRight), 200);
    EXPECT_LT(qGreen(topRight), 60);
    EXPECT_LT(qRed(exported.pixel(20, 20)), 60);   // the stored bottom-left corner

    EXPECT_EQ(sizeOf(QDir(little->cacheLocation()).filePath("export.jpg")), QSize(400, 300));
    EXPECT_EQ(sizeOf(QDir(little->cacheLocation()).filePath("preview.jpg")), QSize(400, 300));
    EXPECT_EQ(imageDPIValue(QImage(QDir(little->cacheLocation()).filePath("export.jpg"))), 240);
    EXPECT_EQ(sizeOf(QDir(panorama->cacheLocation()).filePath("export.jpg")), QSize(1500, 250));
    EXPECT_EQ(sizeOf(QDir(panorama->cacheLocation()).filePath("preview.jpg")), QSize(512, 85));
    EXPECT_EQ(imageDPIValue(QImage(QDir(panorama->cacheLocation()).filePath("export.jpg"))), 72);

    EXPECT_EQ(PLRImageManager::locationForIdentifier(QStringLiteral("ABC")).toLocalFile(),
              QDir(PLRPersistantStore::locationPath()).filePath(QStringLiteral("ABC")));
    EXPECT_TRUE(PLRImageManager::locationForIdentifier({}).isEmpty());

    // In memory now, so answered at once.
    EXPECT_FALSE(upright->previewImage({}).isNull());

    // The export data and its hash.
    const QByteArray data = upright->exportImageData();
    EXPECT_EQ(data, source_test::readBytes(uprightCache.filePath("export.jpg")));
    const QString hash = PLRImageManager::sha1HashForImage(upright.get());
    EXPECT_EQ(hash.size(), 40);
    EXPECT_EQ(hash, hash.toUpper());
    EXPECT_EQ(hash, QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex().toUpper()));
}

TEST(ImageCache, SidewaysPhotosKeepTheirDetail)
{
    // Fine stripes both ways, so that decoding at any other size than the stored one and
    // scaling back blurs them, though sizes and corners come out right.
    QTemporaryDir dir;
    const QString cacheRoot = dir.filePath(QStringLiteral("loc"));
    QImage stored(1400, 900, QImage::Format_RGB32);
    for (int y = 0; y < stored.height(); ++y)
        for (int x = 0; x < stored.width(); ++x)
            stored.setPixel(x, y, ((x / 2 + y / 3) % 2) ? qRgb(230, 230, 230) : qRgb(25, 25, 25));
    for (int orientation = 5; orientation <= 8; ++orientation) {
        const QString path = dir.filePath(QStringLiteral("sideways-%1.jpg").arg(orientation));
        ASSERT_TRUE(stored.save(path, "JPG", 100));
        ASSERT_TRUE(tagPhoto(path, {{"Exif.Image.Orientation", std::to_string(orientation)}}));
        auto image = imageFor(path, cacheRoot);
        std::atomic_bool ready = false;
        image->previewImage([&](const QImage&) { ready = true; });
        ASSERT_TRUE(waitUntil([&] { return ready.load(); }));
        finishCaching();

        QImageReader reader(path);
        reader.setAutoTransform(false);
        const QImage expected = plr_image::applyOrientation(reader.read().convertToFormat(QImage::Format_RGB32), orientation);
        const QImage exported = QImage(QDir(image->cacheLocation()).filePath("export.jpg")).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(exported.size(), QSize(900, 1400)) << "orientation " << orientation;
        ASSERT_EQ(expected.size(), exported.size());
        double difference = 0;
        for (int y = 0; y < exported.height(); y += 3)
            for (int x = 0; x < exported.width(); x += 3)
                difference += std::abs(qGray(exported.pixel(x, y)) - qGray(expected.pixel(x, y)));
        difference /= double((exported.height() + 2) / 3) * double((exported.width() + 2) / 3);
        EXPECT_LT(difference, 12.0) << "orientation " << orientation << ": the export lost the photo's detail";
    }
}

TEST(ImageCache, RebuildsWhenThePhotoChangesAndSkipsCorruptFiles)
{
    QTemporaryDir dir;
    const QString cacheRoot = dir.filePath(QStringLiteral("loc"));
    const QString path = dir.filePath(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(writePhoto(path, 800, 600));
    auto image = imageFor(path, cacheRoot);
    AssetRecorder recorder;
    image->addDelegate(&recorder);
    PLRImageManager::shared().requestCache(image);
    finishCaching();
    EXPECT_EQ(recorder.changes, 1);
    // Current: nothing is rebuilt.
    PLRImageManager::shared().requestCache(image);
    finishCaching();
    EXPECT_EQ(recorder.changes, 1);

    // Replaced by a taller photo with another modification time.
    ASSERT_TRUE(writePhoto(path, 300, 900));
    struct utimbuf times {1600000000, 1600000000};
    ASSERT_EQ(::utime(path.toLocal8Bit().constData(), &times), 0);
    image->setFile(path, "photo.jpg", PLRFileStamp{QFileInfo(path).size(), PLRImageManager::fileModifiedNs(path)},
                   PLRImageMetadata::read(path));
    PLRImageManager::shared().requestCache(image);
    finishCaching();
    EXPECT_EQ(recorder.changes, 2);
    EXPECT_EQ(sizeOf(QDir(image->cacheLocation()).filePath("export.jpg")), QSize(300, 900));

    image->resetCache();
    EXPECT_FALSE(QFile::exists(QDir(image->cacheLocation()).filePath("export.jpg")));

    // A corrupt photo: no cache, the placeholder as its preview, never a crash.
    const QString corrupt = dir.filePath(QStringLiteral("corrupt.jpg"));
    ASSERT_TRUE(source_test::writeBytes(corrupt, source_test::readBytes(path).left(200)));
    auto broken = imageFor(corrupt, cacheRoot);
    std::atomic_bool answered = false;
    QImage answer;
    broken->previewImage([&](const QImage& preview) { answer = preview; answered = true; });
    ASSERT_TRUE(waitUntil([&] { return answered.load(); }));
    EXPECT_EQ(answer, PLRImageManager::placeholderImage());
    EXPECT_TRUE(broken->exportImageData().isEmpty() || !QImage::fromData(broken->exportImageData()).isNull());
}

TEST(ImageCache, GIFsKeepTheirFileAndAreCheckedAgainstTheSizeLimit)
{
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("anim.gif"));
    // A 1 x 1 GIF89a (Qt reads GIFs but does not write them). (The data block's "D" stands
    // apart: "\x02D" would be one byte.)
    static const char tinyGIF[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04\x01\x00"
                                  "\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02" "D\x01\x00;";
    ASSERT_TRUE(source_test::writeBytes(gif, QByteArray(tinyGIF, sizeof(tinyGIF) - 1)));
    auto image = imageFor(gif, dir.filePath(QStringLiteral("loc")));
    EXPECT_TRUE(image->isImageGIF());
    EXPECT_EQ(image->exportImageData(), source_test::readBytes(gif));
    EXPECT_TRUE(QFile::exists(QDir(image->cacheLocation()).filePath("preview.jpg")));
    EXPECT_FALSE(image->checkIfGIFExceedsFileSizeLimit());   // small: no alert

    // A GIF over 3 MB: padded after the trailer, still a readable GIF.
    QByteArray bytes = source_test::readBytes(gif);
    bytes.append(QByteArray(3 * 1024 * 1024 + 10, '\0'));
    const QString big = dir.filePath(QStringLiteral("big.gif"));
    ASSERT_TRUE(source_test::writeBytes(big, bytes));
    auto large = imageFor(big, dir.filePath(QStringLiteral("loc")));
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    EXPECT_TRUE(large->checkIfGIFExceedsFileSizeLimit());
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_EQ(testing_support::scriptedAlerts().shown()[0].messageText, QStringLiteral("GIF exceeds maximum filesize"));
    EXPECT_TRUE(testing_support::scriptedAlerts().shown()[0].informativeText.contains("big.gif"));

    const QString jpeg = dir.filePath(QStringLiteral("still.jpg"));
    ASSERT_TRUE(writePhoto(jpeg, 10, 10));
    EXPECT_FALSE(imageFor(jpeg, dir.filePath(QStringLiteral("loc")))->checkIfGIFExceedsFileSizeLimit());
}

TEST(ImagesDistinctionVerifier, AlertsDuplicatesAndReveals)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("shot.jpg"));
    ASSERT_TRUE(writePhoto(path, 20, 20));
    auto placed = imageFor(path, dir.filePath(QStringLiteral("loc")));
    auto free = imageFor(path, dir.filePath(QStringLiteral("loc")));
    placed->setInLayout(true);

    std::optional<bool> answer;
    PLRImagesDistinctionVerifier::ensureDistinctImages({free}, [&](bool ok) { answer = ok; });
    EXPECT_EQ(answer, true);
    EXPECT_TRUE(testing_support::scriptedAlerts().shown().empty());

    auto& alerts = testing_support::scriptedAlerts();
    alerts.enqueue(platform::kAlertFirstButtonReturn);   // "Duplicate Image(s)"
    answer.reset();
    PLRImagesDistinctionVerifier::ensureDistinctImages({free, placed}, [&](bool ok) { answer = ok; });
    EXPECT_EQ(answer, false);
    ASSERT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(alerts.shown()[0].messageText, QStringLiteral("You cannot add the same image twice!"));
    EXPECT_EQ(alerts.shown()[0].buttons,
              QStringList({"Duplicate Image(s)", "Cancel", "Show Details"}));
    EXPECT_EQ(source_test::readBytes(dir.filePath("shot copy.jpg")), source_test::readBytes(path));

    alerts.enqueue(platform::kAlertFirstButtonReturn);
    PLRImagesDistinctionVerifier::ensureDistinctImages({placed}, [](bool) {});
    EXPECT_TRUE(QFile::exists(dir.filePath("shot copy 2.jpg")));

    alerts.enqueue(platform::kAlertSecondButtonReturn);   // "Cancel"
    PLRImagesDistinctionVerifier::ensureDistinctImages({placed}, [](bool) {});
    EXPECT_FALSE(QFile::exists(dir.filePath("shot copy 3.jpg")));
    EXPECT_TRUE(testing_support::recordingWorkspace().revealed.empty());

    alerts.enqueue(platform::kAlertThirdButtonReturn);   // "Show Details"
    PLRImagesDistinctionVerifier::ensureDistinctImages({placed}, [](bool) {});
    ASSERT_EQ(testing_support::recordingWorkspace().revealed.size(), 1u);
    EXPECT_EQ(testing_support::recordingWorkspace().revealed[0], QStringList({path}));
    EXPECT_FALSE(QFile::exists(dir.filePath("shot copy 3.jpg")));
}

namespace {

// Whether the pixel at the rectangle's centre is within `tolerance` of the colour, per channel.
::testing::AssertionResult centreIsNear(const QImage& image, const QRect& patch, const QColor& colour, int tolerance)
{
    const QColor seen = image.pixelColor(patch.center());
    if (std::abs(seen.red() - colour.red()) <= tolerance && std::abs(seen.green() - colour.green()) <= tolerance
        && std::abs(seen.blue() - colour.blue()) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "saw (" << seen.red() << ", " << seen.green() << ", " << seen.blue() << "), wanted ("
                                         << colour.red() << ", " << colour.green() << ", " << colour.blue() << ")";
}

} // namespace

TEST(ImageCache, PhotosWithAWideGamutProfileAreCachedInSRGB)
{
    QTemporaryDir dir;
    const QString path = testing_support::writeWideGamutPhoto(dir.filePath(QStringLiteral("p3.jpg")));
    ASSERT_FALSE(path.isEmpty());
    // What the file holds: P3 values, duller than the sRGB ones when read as sRGB.
    const QImage raw(path);
    ASSERT_EQ(raw.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
    EXPECT_FALSE(centreIsNear(raw, testing_support::kWideGamutRedPatch, QColor(255, 0, 0), 8));

    const PLRImageManager::BuildResult built = PLRImageManager::buildCache(
        {path, dir.filePath(QStringLiteral("loc/p3")), 1, 72, false, PLRImageManager::fileModifiedNs(path)});
    ASSERT_TRUE(built.ok) << built.error.toStdString();
    const QImage exported(dir.filePath(QStringLiteral("loc/p3/export.jpg")));
    ASSERT_EQ(exported.size(), QSize(640, 400));
    EXPECT_TRUE(centreIsNear(exported, testing_support::kWideGamutRedPatch, QColor(255, 0, 0), 8));
    EXPECT_TRUE(centreIsNear(exported, testing_support::kWideGamutGreenPatch, QColor(0, 200, 0), 8));
    EXPECT_FALSE(exported.colorSpace().isValid() && exported.colorSpace() != QColorSpace(QColorSpace::SRgb));
    // The preview (the gallery's thumbnails) too.
    const QImage preview(dir.filePath(QStringLiteral("loc/p3/preview.jpg")));
    const double scale = preview.width() / 640.0;
    const QRect red(QPoint(int(testing_support::kWideGamutRedPatch.x() * scale), int(testing_support::kWideGamutRedPatch.y() * scale)),
                    testing_support::kWideGamutRedPatch.size() * scale);
    EXPECT_TRUE(centreIsNear(preview, red, QColor(255, 0, 0), 8));
}

TEST(ImageCache, SidewaysWideGamutPhotosAreCachedUprightInSRGBAtBothSizes)
{
    // A Display P3 portrait (1600 x 2560 upright, wider than the export) stored sideways with
    // each of the orientations 5-8: both cache files come out upright, at their sizes, with the
    // saturated patches at their sRGB values where the upright photo has them.
    QTemporaryDir dir;
    const QString cacheRoot = dir.filePath(QStringLiteral("loc"));
    QImage upright = QImage(testing_support::realPhotoPath())
                         .scaled(QSize(1600, 2560), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .convertToFormat(QImage::Format_RGB32);
    upright.setColorSpace(QColorSpace::SRgb);
    const QRect red(200, 300, 300, 300);
    const QRect green(1000, 1900, 300, 300);
    {
        QPainter painter(&upright);
        painter.fillRect(red, QColor(255, 0, 0));
        painter.fillRect(green, QColor(0, 200, 0));
    }
    upright.convertToColorSpace(QColorSpace::DisplayP3);
    const int inverse[] = {0, 1, 2, 3, 4, 5, 8, 7, 6};   // the orientation that undoes each one
    for (int orientation = 5; orientation <= 8; ++orientation) {
        const QString path = dir.filePath(QStringLiteral("p3-%1.jpg").arg(orientation));
        QImageWriter writer(path, "jpeg");
        writer.setQuality(100);
        ASSERT_TRUE(writer.write(plr_image::applyOrientation(upright, inverse[orientation])));
        ASSERT_TRUE(tagPhoto(path, {{"Exif.Image.Orientation", std::to_string(orientation)}}));
        ASSERT_EQ(QImage(path).colorSpace(), QColorSpace(QColorSpace::DisplayP3));

        auto image = imageFor(path, cacheRoot);
        std::atomic_bool ready = false;
        QImage delivered;
        image->previewImage([&](const QImage& preview) {
            delivered = preview;
            ready = true;
        });
        ASSERT_TRUE(waitUntil([&] { return ready.load(); }));
        finishCaching();
        const QImage exported(QDir(image->cacheLocation()).filePath("export.jpg"));
        const QImage preview(QDir(image->cacheLocation()).filePath("preview.jpg"));
        ASSERT_EQ(exported.size(), QSize(1500, 2400)) << "orientation " << orientation;
        ASSERT_EQ(preview.size(), QSize(320, 512)) << "orientation " << orientation;
        EXPECT_EQ(delivered.size(), QSize(320, 512));
        EXPECT_FALSE(exported.colorSpace().isValid() && exported.colorSpace() != QColorSpace(QColorSpace::SRgb));
        const auto at = [](const QRect& patch, double scale) {
            return QRect(QPoint(int(patch.x() * scale), int(patch.y() * scale)), patch.size() * scale);
        };
        EXPECT_TRUE(centreIsNear(exported, at(red, 1500.0 / 1600.0), QColor(255, 0, 0), 8)) << "orientation " << orientation;
        EXPECT_TRUE(centreIsNear(exported, at(green, 1500.0 / 1600.0), QColor(0, 200, 0), 8)) << "orientation " << orientation;
        EXPECT_TRUE(centreIsNear(preview, at(red, 320.0 / 1600.0), QColor(255, 0, 0), 10)) << "orientation " << orientation;
        EXPECT_TRUE(centreIsNear(preview, at(green, 320.0 / 1600.0), QColor(0, 200, 0), 10)) << "orientation " << orientation;
    }
}

TEST(ImageCache, AMissingCacheFileIsNeverFreshWhateverThePhotosTime)
{
    // A photo whose modification time is the epoch: a missing cache file reads as time 0 too, and
    // must still be built.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("epoch.jpg"));
    ASSERT_TRUE(writePhoto(path, 800, 600));
    struct utimbuf epoch {0, 0};
    ASSERT_EQ(::utime(path.toLocal8Bit().constData(), &epoch), 0);
    auto image = imageFor(path, dir.filePath(QStringLiteral("loc")));
    ASSERT_EQ(image->fileStamp().modifiedNs, 0);
    EXPECT_FALSE(PLRImageManager::isCacheFresh(image->cacheLocation(), 0, false));

    std::atomic_bool ready = false;
    QImage delivered;
    image->previewImage([&](const QImage& preview) {
        delivered = preview;
        ready = true;
    });
    ASSERT_TRUE(waitUntil([&] { return ready.load(); }));
    finishCaching();
    EXPECT_EQ(delivered.size(), QSize(512, 384));
    EXPECT_EQ(sizeOf(QDir(image->cacheLocation()).filePath("export.jpg")), QSize(800, 600));
    EXPECT_TRUE(PLRImageManager::isCacheFresh(image->cacheLocation(), 0, false));
    // Built once: a second request finds it fresh.
    AssetRecorder recorder;
    image->addDelegate(&recorder);
    PLRImageManager::shared().requestCache(image);
    finishCaching();
    EXPECT_EQ(recorder.changes, 0);
    image->removeDelegate(&recorder);
}

TEST(ImageCache, TheExportFilesHashIsMadeWithTheCacheAndKeptUntilTheFileChanges)
{
    QTemporaryDir dir;
    const QString cacheRoot = dir.filePath(QStringLiteral("loc"));
    const QString path = dir.filePath(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(writePhoto(path, 640, 480));
    auto image = imageFor(path, cacheRoot);
    PLRImageManager::shared().requestCache(image);
    finishCaching();
    // Made by the cache job, beside the export file, before anyone asks.
    const QString exportPath = QDir(image->cacheLocation()).filePath("export.jpg");
    const QString kept = exportPath + ".sha1";
    ASSERT_TRUE(QFileInfo(kept).isFile());
    const QByteArray data = source_test::readBytes(exportPath);
    const QString expected = QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex().toUpper());
    EXPECT_TRUE(source_test::readBytes(kept).startsWith(expected.toLatin1()));
    EXPECT_EQ(PLRImageManager::sha1HashForImage(image.get()), expected);

    // Asked again, the kept value is read, not the file hashed again: a kept value for this
    // version of the file is taken as it stands.
    QByteArray forged = source_test::readBytes(kept);
    forged.replace(0, 40, QByteArray(40, 'A'));
    ASSERT_TRUE(source_test::writeBytes(kept, forged));
    EXPECT_EQ(PLRImageManager::sha1HashForImage(image.get()), QString(40, QLatin1Char('A')));

    // The export file changes (another version of it): hashed again.
    QByteArray changed = data;
    changed.append('\0');
    ASSERT_TRUE(source_test::writeBytes(exportPath, changed));
    const QString again = QString::fromLatin1(QCryptographicHash::hash(changed, QCryptographicHash::Sha1).toHex().toUpper());
    EXPECT_EQ(PLRImageManager::cachedSha1OfFile(exportPath), again);
    EXPECT_TRUE(source_test::readBytes(kept).startsWith(again.toLatin1()));
    // Gone with the cache.
    image->resetCache();
    EXPECT_FALSE(QFileInfo::exists(kept));
}

TEST(ImageCache, BuildingACacheKeepsInMemoryOnlyThePreviewsSomeoneAskedFor)
{
    QTemporaryDir dir;
    const QString cacheRoot = dir.filePath(QStringLiteral("loc"));
    std::vector<PLRSourceImagePtr> images;
    for (int i = 0; i < 3; ++i) {
        const QString path = dir.filePath(QStringLiteral("photo%1.jpg").arg(i));
        ASSERT_TRUE(writePhoto(path, 800, 600));
        images.push_back(imageFor(path, cacheRoot));
    }
    // A folder's cache built with nobody looking: on disk only.
    for (const PLRSourceImagePtr& image : images)
        PLRImageManager::shared().requestCache(image);
    finishCaching();
    for (const PLRSourceImagePtr& image : images) {
        EXPECT_TRUE(PLRImageManager::isCacheFresh(image->cacheLocation(), image->fileStamp().modifiedNs, false));
        EXPECT_TRUE(PLRImageManager::memoryPreview(image->identifier()).isNull());
    }

    // The preview asked for (with or without a completion) is read back and kept.
    std::atomic_bool ready = false;
    images[0]->previewImage([&](const QImage&) { ready = true; });
    images[1]->previewImage(nullptr);
    ASSERT_TRUE(waitUntil([&] { return ready.load(); }));
    finishCaching();
    EXPECT_EQ(PLRImageManager::memoryPreview(images[0]->identifier()).size(), QSize(512, 384));
    EXPECT_EQ(PLRImageManager::memoryPreview(images[1]->identifier()).size(), QSize(512, 384));
    EXPECT_EQ(images[1]->previewImage(nullptr).size(), QSize(512, 384));
    EXPECT_TRUE(PLRImageManager::memoryPreview(images[2]->identifier()).isNull());

    // A photo rebuilt while its preview is held in memory has it replaced there.
    QImage rebuilt(384, 512, QImage::Format_RGB32);
    rebuilt.fill(Qt::green);
    images[0]->finishCacheJob(true, rebuilt, true);
    EXPECT_EQ(PLRImageManager::memoryPreview(images[0]->identifier()).cacheKey(), rebuilt.cacheKey());
    for (const PLRSourceImagePtr& image : images)
        PLRImageManager::forgetMemoryPreview(image->identifier());
}

TEST(ImageCache, OnlyAPhotoThatDecodesWholeIsCachedAndACopyOfAnEarlierVersionGoes)
{
    QTemporaryDir dir;
    const QString cacheRoot = dir.filePath(QStringLiteral("loc"));
    const QString path = dir.filePath(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(writePhoto(path, 1200, 800));
    const QByteArray whole = source_test::readBytes(path);
    auto image = imageFor(path, cacheRoot);
    AssetRecorder recorder;
    image->addDelegate(&recorder);
    const QDir cache(image->cacheLocation());
    const auto recache = [&] {
        image->setFile(path, "photo.jpg", PLRFileStamp{QFileInfo(path).size(), PLRImageManager::fileModifiedNs(path)},
                       PLRImageMetadata::read(path));
        PLRImageManager::shared().requestCache(image);
        finishCaching();
    };
    recache();
    ASSERT_TRUE(QFile::exists(cache.filePath("export.jpg")));
    EXPECT_TRUE(image->isJudged());
    EXPECT_EQ(image->problem(), PLRPhotoProblem::None);
    const int before = recorder.changes;

    // Cut short with its time kept (as a copy that keeps times and stopped early): the size
    // tells the cache is not of this version; the decode finds the end missing. No copy is made,
    // the good one goes, and the photo says why (its delegates told).
    const qint64 modified = PLRImageManager::fileModifiedNs(path);
    ASSERT_TRUE(testing_support::cutShort(path, 0.6));
    struct timespec times[2] = {{0, UTIME_OMIT}, {modified / 1000000000, modified % 1000000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    ASSERT_EQ(PLRImageManager::fileModifiedNs(path), modified);
    EXPECT_FALSE(PLRImageManager::isCacheFresh(image->cacheLocation(), modified, false, QFileInfo(path).size()));
    recache();
    EXPECT_EQ(image->problem(), PLRPhotoProblem::CutShort);
    EXPECT_TRUE(image->isJudged());
    EXPECT_GT(recorder.changes, before);
    for (const char* name : {"export.jpg", "preview.jpg", "source.stamp"})
        EXPECT_FALSE(QFile::exists(cache.filePath(name))) << name;
    EXPECT_TRUE(image->exportImageData().isEmpty());
    EXPECT_TRUE(image->exportFilePath().isEmpty());
    EXPECT_TRUE(PLRImageManager::sha1HashForImage(image.get()).isEmpty());
    std::atomic_bool answered = false;
    QImage answer;
    EXPECT_TRUE(image->previewImage([&](const QImage& preview) {
        answer = preview;
        answered = true;
    }).isNull());
    ASSERT_TRUE(waitUntil([&] { return answered.load(); }));
    EXPECT_EQ(answer, PLRImageManager::placeholderImage());

    // A header that does not match its pixels: not readable, never a grey picture.
    ASSERT_TRUE(testing_support::writeJpegWithLyingHeader(path));
    recache();
    EXPECT_EQ(image->problem(), PLRPhotoProblem::Unreadable);
    EXPECT_FALSE(QFile::exists(cache.filePath("export.jpg")));

    // Mended: cached again, usable again.
    ASSERT_TRUE(source_test::writeBytes(path, whole));
    recache();
    EXPECT_EQ(image->problem(), PLRPhotoProblem::None);
    EXPECT_TRUE(QFile::exists(cache.filePath("export.jpg")));
    EXPECT_FALSE(image->exportImageData().isEmpty());
    image->removeDelegate(&recorder);
}

TEST(ImageCache, APhotoNotYetJudgedIsDecodedWhenItsUseIsAskedFor)
{
    // Nothing cached yet (the cache jobs have not run): asking whether it can be used decodes it,
    // and the answer is kept for this version of the file.
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.jpg"));
    const QString cut = dir.filePath(QStringLiteral("cut.jpg"));
    ASSERT_TRUE(writePhoto(good, 900, 600));
    ASSERT_TRUE(writePhoto(cut, 900, 600));
    ASSERT_TRUE(testing_support::cutShort(cut, 0.5));
    auto whole = imageFor(good, dir.filePath(QStringLiteral("loc")));
    auto broken = imageFor(cut, dir.filePath(QStringLiteral("loc")));
    EXPECT_FALSE(whole->isJudged());
    EXPECT_EQ(broken->problem(), PLRPhotoProblem::None);   // nothing known yet
    EXPECT_EQ(whole->checkedProblem(), PLRPhotoProblem::None);
    EXPECT_EQ(broken->checkedProblem(), PLRPhotoProblem::CutShort);
    EXPECT_TRUE(whole->isJudged());
    EXPECT_EQ(broken->problem(), PLRPhotoProblem::CutShort);
    // A file changed since its folder looked is judged as it is, the answer not kept for the
    // version the folder knows.
    ASSERT_TRUE(testing_support::cutShort(good, 0.5));
    EXPECT_EQ(whole->checkedProblem(), PLRPhotoProblem::CutShort);
    EXPECT_EQ(whole->problem(), PLRPhotoProblem::None);
}

// Pictures made while the photo's metadata was read wrong (a read that raced a move of its
// folder found no turn) are made again once it is read right, though the file did not change:
// by the cache job and when they are asked for.
TEST(ImageCache, PicturesMadeWithAnotherTurnThanThePhotosAreMadeAgain)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sideways.jpg"));
    ASSERT_TRUE(writePhoto(path, 600, 400));
    ASSERT_TRUE(tagPhoto(path, {{"Exif.Image.Orientation", "6"}}));
    auto image = imageFor(path, dir.filePath(QStringLiteral("loc")));
    const PLRImageMetadata right = image->metadata();
    PLRImageMetadata wrong = right;
    wrong.orientation = 1;
    const QString exported = QDir(image->cacheLocation()).filePath("export.jpg");
    for (const bool byJob : {true, false}) {
        image->setFile(path, "sideways.jpg", image->fileStamp(), wrong);
        PLRImageManager::shared().requestCache(image);
        finishCaching();
        ASSERT_EQ(sizeOf(exported), QSize(600, 400));
        image->setFile(path, "sideways.jpg", image->fileStamp(), right);
        if (byJob) {
            PLRImageManager::shared().requestCache(image);
            finishCaching();
        } else {
            ASSERT_EQ(image->exportFilePath(), exported);
        }
        EXPECT_EQ(sizeOf(exported), QSize(400, 600)) << (byJob ? "by the cache job" : "asked for");
    }
}
