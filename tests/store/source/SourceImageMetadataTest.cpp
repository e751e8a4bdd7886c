#include "SourceTestPhotos.h"

#include "store/persistance-store/source/PLRImageMetadata.h"
#include "store/persistance-store/source/PLRImageUtilities.h"
#include "store/persistance-store/source/PLRPhotoDecoder.h"
#include "store/persistance-store/source/PLRSourceImage.h"
#include "platform/Log.h"
#include "platform/Modules.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QTemporaryDir>

using source_test::tagPhoto;
using source_test::writePhoto;

TEST(SourceImageMetadata, ReadsRatingsLabelsAndDates)
{
    QTemporaryDir dir;
    struct Case {
        std::map<std::string, std::string> tags;
        qint16 stars;
        qint64 colour;
    };
    const std::vector<Case> cases = {
        {{{"Xmp.xmp.Rating", "4"}, {"Xmp.xmp.Label", "Red"}}, 4, 1},
        {{{"Xmp.xmp.Rating", "2"}, {"Exif.Image.Rating", "5"}, {"Xmp.xmp.Label", "yellow"}}, 2, 2},   // XMP wins
        {{{"Exif.Image.Rating", "3"}, {"Xmp.xmp.Label", "GREEN"}}, 3, 3},                          // EXIF fallback
        {{{"Xmp.xmp.Rating", "-1"}, {"Xmp.xmp.Label", "Blue"}}, 0, 4},                             // rejected
        {{{"Xmp.xmp.Rating", "9"}, {"Xmp.xmp.Label", "purple"}}, 5, 5},
        {{{"Xmp.xmp.Label", "White"}}, 0, 6},
        {{{"Xmp.xmp.Label", "Grey"}}, 0, 7},
        {{{"Xmp.xmp.Label", "Approved"}, {"Xmp.xmp.Rating", "many"}}, 0, 0},
        {{}, 0, 0},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const QString path = dir.filePath(QStringLiteral("photo%1.jpg").arg(i));
        ASSERT_TRUE(writePhoto(path, 40, 30));
        if (!cases[i].tags.empty()) {
            ASSERT_TRUE(tagPhoto(path, cases[i].tags));
        }
        const PLRImageMetadata metadata = PLRImageMetadata::read(path);
        EXPECT_TRUE(metadata.readable) << i;
        EXPECT_EQ(metadata.starRating, cases[i].stars) << "case " << i;
        EXPECT_EQ(metadata.colourRating, cases[i].colour) << "case " << i;
    }

    const QString dated = dir.filePath(QStringLiteral("dated.jpg"));
    ASSERT_TRUE(writePhoto(dated, 40, 30));
    ASSERT_TRUE(tagPhoto(dated, {{"Exif.Photo.DateTimeOriginal", "2019:05:04 10:20:30"}}));
    const PLRImageMetadata metadata = PLRImageMetadata::read(dated);
    EXPECT_EQ(metadata.creationDate, QDateTime(QDate(2019, 5, 4), QTime(10, 20, 30)).toUTC());
}

TEST(SourceImageMetadata, OrientationSwapsTheUprightSize)
{
    QTemporaryDir dir;
    for (int orientation : {1, 3, 6, 8}) {
        const QString path = dir.filePath(QStringLiteral("o%1.jpg").arg(orientation));
        ASSERT_TRUE(writePhoto(path, 60, 40));
        ASSERT_TRUE(tagPhoto(path, {{"Exif.Image.Orientation", std::to_string(orientation)}}));
        PLRSourceImage image(QString(), dir.filePath(QStringLiteral("cache")));
        image.setFile(path, QFileInfo(path).fileName(), {}, PLRImageMetadata::read(path));
        const bool swapped = orientation >= 5;
        EXPECT_EQ(image.width(), swapped ? 40.0f : 60.0f) << orientation;
        EXPECT_EQ(image.height(), swapped ? 60.0f : 40.0f) << orientation;
        // The upright photo's ratio with its preset: 3:2 (0), or 2:3 (1) when turned.
        EXPECT_EQ(image.aspectRatio().preset(), swapped ? 1 : 0);
        EXPECT_DOUBLE_EQ(image.aspectRatio().factor(), swapped ? 2.0 / 3.0 : 1.5);
        const QSizeF frame = image.galleryDisplayFrameForLongestEdge(120);
        EXPECT_EQ(frame, swapped ? QSizeF(80, 120) : QSizeF(120, 80));
    }
    // A photo of unknown size has the unknown ratio.
    PLRSourceImage unknown(QString(), dir.filePath(QStringLiteral("cache")));
    EXPECT_FALSE(unknown.aspectRatio().isValid());
}

TEST(SourceImageMetadata, WithoutTheMetadataModuleAPhotoKeepsTheDefaultsAndTheLogSaysWhy)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tagged.jpg"));
    ASSERT_TRUE(writePhoto(path, 60, 40));
    ASSERT_TRUE(tagPhoto(path, {{"Exif.Image.Orientation", "6"}, {"Xmp.xmp.Rating", "4"}, {"Xmp.xmp.Label", "Red"}}));
    QStringList errors;
    const auto capture = platform::log::addCapture([&errors](platform::log::Level level, const QString& line) {
        if (level >= platform::log::Level::Error)
            errors << line;
    });

    QTemporaryDir empty;
    platform::modules::setSearchFoldersForTesting({empty.path()});
    for (int twice = 0; twice < 2; ++twice) {
        const PLRImageMetadata metadata = PLRImageMetadata::read(path);
        EXPECT_TRUE(metadata.readable);
        EXPECT_EQ(metadata.pixelSize, QSize(60, 40));
        EXPECT_EQ(metadata.orientation, 1);
        EXPECT_EQ(metadata.starRating, 0);
        EXPECT_EQ(metadata.colourRating, 0);
    }
    // Told once, not for every photo.
    ASSERT_EQ(errors.size(), 1) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(errors.first().contains(QStringLiteral("pellora-metadata.so")));

    platform::modules::setSearchFoldersForTesting({});
    const PLRImageMetadata metadata = PLRImageMetadata::read(path);
    platform::log::removeCapture(capture);
    EXPECT_EQ(metadata.orientation, 6);
    EXPECT_EQ(metadata.starRating, 4);
    EXPECT_EQ(metadata.colourRating, 1);
}

TEST(SourceImageMetadata, BadFilesAreNotPhotosAndNeverThrow)
{
    QTemporaryDir dir;
    const QString garbage = dir.filePath(QStringLiteral("garbage.jpg"));
    ASSERT_TRUE(source_test::writeBytes(garbage, QByteArray("this is not a photo at all", 26)));
    EXPECT_FALSE(PLRImageMetadata::read(garbage).readable);
    const QString empty = dir.filePath(QStringLiteral("empty.jpg"));
    ASSERT_TRUE(source_test::writeBytes(empty, {}));
    EXPECT_FALSE(PLRImageMetadata::read(empty).readable);
    EXPECT_FALSE(PLRImageMetadata::read(dir.filePath(QStringLiteral("missing.jpg"))).readable);

    // A photo whose EXIF block is cut off: the pixels are readable, the metadata is ignored.
    const QString good = dir.filePath(QStringLiteral("good.jpg"));
    ASSERT_TRUE(writePhoto(good, 50, 40));
    ASSERT_TRUE(tagPhoto(good, {{"Exif.Image.Orientation", "6"}, {"Exif.Image.Make", "Camera"}, {"Xmp.xmp.Rating", "3"}}));
    QByteArray bytes = source_test::readBytes(good);
    const qsizetype exif = bytes.indexOf("Exif");
    ASSERT_GT(exif, 0);
    for (qsizetype i = exif + 6; i < exif + 40 && i < bytes.size(); ++i)
        bytes[i] = char(0xFF);
    const QString broken = dir.filePath(QStringLiteral("broken.jpg"));
    ASSERT_TRUE(source_test::writeBytes(broken, bytes));
    const PLRImageMetadata metadata = PLRImageMetadata::read(broken);
    EXPECT_TRUE(metadata.readable);
    EXPECT_EQ(metadata.pixelSize, QSize(50, 40));

    // Truncated in the middle of the pixel data.
    const QString truncated = dir.filePath(QStringLiteral("truncated.jpg"));
    ASSERT_TRUE(source_test::writeBytes(truncated, source_test::readBytes(good).left(300)));
    PLRImageMetadata::read(truncated);   // must not crash
}

TEST(ImageDPI, ValueAndReencodingCarryTheResolution)
{
    EXPECT_EQ(imageDPIValue(QImage()), 0);
    QImage image(30, 20, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (qint64 dpi : {72, 96, 240, 300}) {
        plr_image::setImageDPI(image, dpi);
        EXPECT_EQ(imageDPIValue(image), dpi);
    }

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "PNG"));

    const QByteArray jpeg = imageDataAfterApplyingDPI(png, 300, 0.8f);
    ASSERT_FALSE(jpeg.isEmpty());
    EXPECT_TRUE(jpeg.startsWith("\xFF\xD8"));
    QImage decoded = QImage::fromData(jpeg);
    EXPECT_EQ(decoded.size(), QSize(30, 20));
    EXPECT_EQ(imageDPIValue(decoded), 300);

    // A resolution of 0 or less is taken as 72 instead of dividing by zero.
    EXPECT_EQ(imageDPIValue(QImage::fromData(imageDataAfterApplyingDPI(png, 0, 0.5f))), 72);
    EXPECT_EQ(imageDPIValue(QImage::fromData(imageDataAfterApplyingDPI(png, -10, 0.5f))), 72);
    EXPECT_TRUE(imageDataAfterApplyingDPI(QByteArray("nope"), 300, 0.5f).isEmpty());
}

// A picture Qt can read is a photo whatever its name says: a PNG named .jpg is read as the PNG
// it is, judged whole, and has an export picture to lay out and publish.
TEST(SourceImageMetadata, APictureNamedAsAnotherFormatIsReadByWhatItHolds)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("png.jpg"));
    QImage picture(48, 32, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(path, "PNG"));
    const PLRImageMetadata metadata = PLRImageMetadata::read(path);
    EXPECT_TRUE(metadata.readable && metadata.complete) << metadata.error.toStdString();
    EXPECT_EQ(metadata.pixelSize, QSize(48, 32));
    PLRSourceImage image(QString(), dir.filePath(QStringLiteral("cache")));
    image.setFile(path, QStringLiteral("png.jpg"), {}, metadata);
    EXPECT_EQ(image.checkedProblem(), PLRPhotoProblem::None);
    EXPECT_EQ(PLRImageManager::readCachedImage(image.exportFilePath()).size(), QSize(48, 32));
}

// Everything of a photo is read through the file opened once: its folder renamed away as soon
// as it is opened, its reading and its decoding are whole.
TEST(SourceImageMetadata, APhotoWhoseFolderMovesAsItIsOpenedIsReadWhole)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("photos"));
    const QString path = folder + "/tagged.jpg";
    ASSERT_TRUE(writePhoto(path, 60, 40));
    ASSERT_TRUE(tagPhoto(path, {{"Exif.Image.Orientation", "6"}, {"Xmp.xmp.Rating", "4"}, {"Xmp.xmp.Label", "Red"},
                                {"Exif.Photo.DateTimeOriginal", "2019:05:04 10:20:30"}}));
    const auto moveAway = [&](const QString&) {
        EXPECT_TRUE(QDir().rename(folder, dir.filePath(QStringLiteral("away"))));
    };
    plr_image::OpenedPhoto::setOpenedHookForTesting(moveAway);
    const PLRImageMetadata metadata = PLRImageMetadata::read(path);
    ASSERT_TRUE(QDir().rename(dir.filePath(QStringLiteral("away")), folder));
    EXPECT_TRUE(metadata.readable && metadata.complete);
    EXPECT_EQ(metadata.pixelSize, QSize(60, 40));
    EXPECT_EQ(metadata.orientation, 6);
    EXPECT_EQ(metadata.starRating, 4);
    EXPECT_EQ(metadata.colourRating, 1);
    EXPECT_EQ(metadata.creationDate, QDateTime(QDate(2019, 5, 4), QTime(10, 20, 30)).toUTC());

    PLRPhotoProblem problem = PLRPhotoProblem::Missing;
    const QImage upright = plr_image::decodePhotoUpright(path, 6, {}, nullptr, &problem);
    ASSERT_TRUE(QDir().rename(dir.filePath(QStringLiteral("away")), folder));
    EXPECT_EQ(problem, PLRPhotoProblem::None);
    EXPECT_EQ(upright.size(), QSize(40, 60));
}
