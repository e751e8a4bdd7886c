// Photos decoded at the size they are drawn, in every orientation.

#include "SourceTestPhotos.h"

#include "store/persistance-store/source/PLRImageUtilities.h"
#include "store/persistance-store/source/PLRPhotoDecoder.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QColorSpace>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <QTransform>

using source_test::tagPhoto;

namespace {

// The real photo as a portrait (800 x 1280 upright) with a red mark in its top-left corner,
// stored sideways (1280 x 800 pixels) with EXIF orientation 6, as a camera held upright writes it.
QString writeSidewaysPortrait(const QString& path)
{
    QImage upright = QImage(testing_support::realPhotoPath())
                         .scaled(QSize(800, 1280), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation)
                         .copy(0, 0, 800, 1280)
                         .convertToFormat(QImage::Format_RGB32);
    QPainter(&upright).fillRect(QRect(0, 0, 160, 160), QColor(255, 0, 0));
    const QImage stored = upright.transformed(QTransform().rotate(-90));
    if (!stored.save(path, "JPG", 95) || !tagPhoto(path, {{"Exif.Image.Orientation", "6"}}))
        return {};
    return path;
}

bool isRed(QRgb p)
{
    return qRed(p) > 220 && qGreen(p) < 40 && qBlue(p) < 40;
}

} // namespace

TEST(PhotoDecoder, PortraitsStoredSidewaysDecodeUprightAtTheSmallestScaleThatCoversTheSize)
{
    QTemporaryDir dir;
    const QString path = writeSidewaysPortrait(dir.filePath("portrait.jpg"));
    ASSERT_FALSE(path.isEmpty());

    // 400 x 640 upright: 640 x 400 stored, half the stored 1280 x 800 (libjpeg scale 4/8).
    QString error;
    const QImage half = plr_image::decodePhotoAtSize(path, QSize(400, 640), &error);
    ASSERT_EQ(half.size(), QSize(400, 640)) << error.toStdString();
    EXPECT_TRUE(isRed(half.pixel(20, 20)));        // the mark is top left: upright
    EXPECT_FALSE(isRed(half.pixel(380, 620)));
    EXPECT_FALSE(isRed(half.pixel(380, 20)));
    // A size between scales, and the photo's own size (never larger).
    EXPECT_EQ(plr_image::decodePhotoAtSize(path, QSize(333, 533)).size(), QSize(333, 533));
    EXPECT_EQ(plr_image::decodePhotoAtSize(path, QSize(2000, 3200)).size(), QSize(800, 1280));
    EXPECT_EQ(plr_image::decodePhotoAtSize(path, QSize()).size(), QSize(800, 1280));
    EXPECT_TRUE(plr_image::decodePhotoAtSize(dir.filePath("none.jpg"), QSize(10, 10), &error).isNull());
    EXPECT_FALSE(error.isEmpty());

    // The scale: the smallest n/8 at which the stored picture covers the wanted one.
    EXPECT_EQ(plr_image::jpegScaleNumerator(QSize(1280, 800), QSize(640, 400)), 4);
    EXPECT_EQ(plr_image::jpegScaleNumerator(QSize(1280, 800), QSize(641, 400)), 5);
    EXPECT_EQ(plr_image::jpegScaleNumerator(QSize(6000, 4000), QSize(2048, 1366)), 3);
    EXPECT_EQ(plr_image::jpegScaleNumerator(QSize(4000, 6000), QSize(2048, 3072)), 5);
    EXPECT_EQ(plr_image::jpegScaleNumerator(QSize(6000, 4000), QSize(3072, 2048)), 5);   // sideways
    EXPECT_EQ(plr_image::jpegScaleNumerator(QSize(6000, 4000), QSize(700, 400)), 1);
    EXPECT_EQ(plr_image::jpegScaleNumerator(QSize(600, 400), QSize(600, 400)), 8);

    // What a decode holds is about the picture it gives, however the photo is stored: never the
    // whole photo.
    const qint64 picture = 400LL * 640 * 4;
    const qint64 held = plr_image::decodeBytesAtSize(path, QSize(400, 640));
    EXPECT_GE(held, picture);
    EXPECT_LT(held, picture * 5 / 4);
    EXPECT_EQ(plr_image::decodeBytesAtSize(dir.filePath("none.jpg"), QSize(10, 10)), 0);
}

TEST(PhotoDecoder, ScaledDecodesKeepTheColoursAndProfile)
{
    QTemporaryDir dir;
    const QString path = testing_support::writeWideGamutPhoto(dir.filePath("p3.jpg"));
    ASSERT_FALSE(path.isEmpty());
    const QImage half = plr_image::decodePhotoAtSize(path, QSize(320, 200));
    ASSERT_EQ(half.size(), QSize(320, 200));
    const QPoint red = testing_support::kWideGamutRedPatch.center() / 2;
    EXPECT_GE(qRed(half.pixel(red)), 247);
    EXPECT_LE(qGreen(half.pixel(red)), 8);
    EXPECT_FALSE(half.colorSpace().isValid() && half.colorSpace() != QColorSpace(QColorSpace::SRgb));
    // Area averaging, not point sampling: a 2 x 2 checkerboard of black and white becomes grey.
    QImage checks(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            checks.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    ASSERT_TRUE(checks.save(dir.filePath("checks.jpg"), "JPG", 100));
    const QImage grey = plr_image::decodePhotoAtSize(dir.filePath("checks.jpg"), QSize(24, 24));
    ASSERT_EQ(grey.size(), QSize(24, 24));
    EXPECT_NEAR(qGreen(grey.pixel(12, 12)), 128, 24);
}

namespace {

// Mean absolute difference of grey levels between two pictures of the same size.
double meanDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            sum += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
    return sum / (double(a.width()) * a.height());
}

} // namespace

TEST(PhotoDecoder, EveryOrientationIsTurnedUprightWhileDecoding)
{
    // The real photo stored at an odd size (neither side a multiple of the rows gathered while
    // turning), tagged with each orientation in turn: the decode matches the stored picture
    // turned by Qt, at full size and scaled, and the orientation given by the caller wins over
    // the file's.
    QTemporaryDir dir;
    const QImage stored = QImage(testing_support::realPhotoPath())
                              .scaled(QSize(331, 203), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .convertToFormat(QImage::Format_RGB32);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QString path = dir.filePath(QStringLiteral("o%1.jpg").arg(orientation));
        ASSERT_TRUE(stored.save(path, "JPG", 100));
        ASSERT_TRUE(tagPhoto(path, {{"Exif.Image.Orientation", std::to_string(orientation)}}));
        QImageReader reader(path);
        reader.setAutoTransform(false);
        const QImage raw = reader.read().convertToFormat(QImage::Format_RGB32);
        const QImage expected = plr_image::applyOrientation(raw, orientation);
        const QImage whole = plr_image::decodePhotoAtSize(path, QSize());
        ASSERT_EQ(whole.size(), expected.size()) << "orientation " << orientation;
        EXPECT_LT(meanDifference(whole, expected), 1.0) << "orientation " << orientation;

        const QSize half = expected.size() / 2;
        const QImage scaled = plr_image::decodePhotoAtSize(path, half);
        ASSERT_EQ(scaled.size(), half) << "orientation " << orientation;
        EXPECT_LT(meanDifference(scaled, expected.scaled(half, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)), 4.0)
            << "orientation " << orientation;

        // Turned as the caller says (the photo's recorded orientation), sized from the upright
        // photo.
        QSize asked;
        const QImage recorded = plr_image::decodePhotoUpright(path, 6, [&](const QSize& upright) {
            asked = upright;
            return QSize(101, 165);
        });
        EXPECT_EQ(asked, QSize(203, 331));
        ASSERT_EQ(recorded.size(), QSize(101, 165)) << "orientation " << orientation;
        const QImage turned = plr_image::applyOrientation(raw, 6)
                                  .scaled(QSize(101, 165), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_LT(meanDifference(recorded, turned), 4.0) << "orientation " << orientation;

        // Turning a picture (as pictures from Qt's reader are) keeps its colour profile, so that
        // it is still converted to sRGB afterwards.
        QImage wide = raw;
        wide.setColorSpace(QColorSpace::DisplayP3);
        EXPECT_EQ(plr_image::applyOrientation(wide, orientation).colorSpace(), QColorSpace(QColorSpace::DisplayP3))
            << "orientation " << orientation;
    }
}
