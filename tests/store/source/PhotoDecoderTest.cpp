// Photos decoded at the size they are drawn, in every orientation.

#include "SourceTestPhotos.h"

#include "store/persistance-store/source/PLRImageUtilities.h"
#include "store/persistance-store/source/PLRPhotoDecoder.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QTransform>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

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

TEST(PhotoDecoder, AProgressiveJpegHoldsItsWholeCoefficientsWhateverTheScale)
{
    QTemporaryDir dir;
    QImage image(1600, 1200, QImage::Format_RGB32);
    image.fill(QColor(30, 140, 90));
    const QString baseline = dir.filePath("baseline.jpg");
    const QString progressive = dir.filePath("progressive.jpg");
    ASSERT_TRUE(image.save(baseline, "JPG", 90));
    QImageWriter writer(progressive, "jpeg");
    writer.setProgressiveScanWrite(true);
    ASSERT_TRUE(writer.write(image));

    // One scan: decoded a few rows at a time, about the picture it gives.
    const qint64 picture = 200LL * 150 * 4;
    EXPECT_LT(plr_image::decodeBytesAtSize(baseline, QSize(200, 150)), picture * 5 / 4);
    // Progressive: every coefficient of the whole photo is kept until the last scan, at any
    // scale: the luma alone is 200 x 150 blocks of 64 coefficients of 2 bytes.
    const qint64 luma = 200LL * 150 * 128;
    const qint64 held = plr_image::decodeBytesAtSize(progressive, QSize(200, 150));
    EXPECT_GE(held, picture + luma);
    EXPECT_LE(held, picture * 2 + 3 * luma);
    // And it still decodes.
    EXPECT_EQ(plr_image::decodePhotoAtSize(progressive, QSize(200, 150)).size(), QSize(200, 150));
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

namespace {

// The picture as an Adobe CMYK JPEG (inverted values, as every CMYK JPEG in use stores them),
// written with libjpeg (Qt writes no CMYK).
bool writeCmykJpeg(const QString& path, const QImage& picture)
{
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        return false;
    jpeg_compress_struct info {};
    jpeg_error_mgr errors {};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(picture.width());
    info.image_height = JDIMENSION(picture.height());
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(size_t(picture.width()) * 4);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            // K the brightest channel, C, M, Y what each channel lacks of it (all inverted).
            const QRgb p = picture.pixel(x, y);
            const int k = std::max({qRed(p), qGreen(p), qBlue(p), 1});
            row[size_t(x) * 4 + 0] = JSAMPLE(qRed(p) * 255 / k);
            row[size_t(x) * 4 + 1] = JSAMPLE(qGreen(p) * 255 / k);
            row[size_t(x) * 4 + 2] = JSAMPLE(qBlue(p) * 255 / k);
            row[size_t(x) * 4 + 3] = JSAMPLE(k);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

PLRPhotoProblem problemOf(const QString& path, QImage* decoded = nullptr)
{
    PLRPhotoProblem problem = PLRPhotoProblem::None;
    QString error;
    const QImage image = plr_image::decodePhotoAtSize(path, QSize(120, 80), &error, &problem);
    if (decoded)
        *decoded = image;
    EXPECT_EQ(image.isNull(), problem != PLRPhotoProblem::None) << path.toStdString();
    EXPECT_EQ(error.isEmpty(), problem == PLRPhotoProblem::None) << path.toStdString();
    // The quick check judges the file as the decode does.
    EXPECT_EQ(plr_image::checkPhoto(path), problem) << path.toStdString();
    return problem;
}

} // namespace

TEST(PhotoDecoder, APhotoThatCannotBeDecodedWholeIsRefusedWithItsReasonNeverFilledIn)
{
    QTemporaryDir dir;
    const QImage real = QImage(testing_support::realPhotoPath())
                            .scaled(QSize(640, 427), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                            .convertToFormat(QImage::Format_RGB32);
    const auto path = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };

    // Whole photos decode, baseline and progressive, and a JPEG with stray bytes between its
    // markers (its pixels are whole) too.
    ASSERT_TRUE(real.save(path("whole.jpg"), "JPG", 90));
    QImageWriter progressive(path("progressive.jpg"), "jpeg");
    progressive.setProgressiveScanWrite(true);
    ASSERT_TRUE(progressive.write(real));
    EXPECT_EQ(problemOf(path("whole.jpg")), PLRPhotoProblem::None);
    EXPECT_EQ(problemOf(path("progressive.jpg")), PLRPhotoProblem::None);
    QByteArray stray = source_test::readBytes(path("whole.jpg"));
    const qsizetype afterApp0 = 4 + ((uchar(stray[4]) << 8) | uchar(stray[5]));
    stray.insert(afterApp0, QByteArray("\x00\x00\x00", 3));
    ASSERT_TRUE(source_test::writeBytes(path("stray.jpg"), stray));
    EXPECT_EQ(problemOf(path("stray.jpg")), PLRPhotoProblem::None);

    // Cut short: libjpeg's "Premature end of JPEG file" is not a grey bottom half but a refusal,
    // scaled or not, also when the cut falls inside the header.
    for (const char* name : {"whole.jpg", "progressive.jpg"}) {
        const QString cut = path(name) + ".cut.jpg";
        ASSERT_TRUE(QFile::copy(path(name), cut));
        ASSERT_TRUE(testing_support::cutShort(cut, 0.6));
        EXPECT_EQ(problemOf(cut), PLRPhotoProblem::CutShort) << name;
        EXPECT_TRUE(plr_image::decodePhotoAtSize(cut, QSize()).isNull()) << name;
    }
    ASSERT_TRUE(source_test::writeBytes(path("header.jpg"), source_test::readBytes(path("whole.jpg")).left(100)));
    EXPECT_EQ(problemOf(path("header.jpg")), PLRPhotoProblem::CutShort);

    // A header that says 30000 x 30000 over 300 x 200 pixels: no grey block, not readable.
    ASSERT_TRUE(testing_support::writeJpegWithLyingHeader(path("lying.jpg")));
    EXPECT_EQ(problemOf(path("lying.jpg")), PLRPhotoProblem::Unreadable);

    // Gone, empty and garbage files, each with its own reason.
    EXPECT_EQ(problemOf(path("gone.jpg")), PLRPhotoProblem::Missing);
    ASSERT_TRUE(source_test::writeBytes(path("empty.jpg"), QByteArray()));
    EXPECT_EQ(problemOf(path("empty.jpg")), PLRPhotoProblem::Unreadable);
    ASSERT_TRUE(source_test::writeBytes(path("garbage.jpg"), QByteArray("this is not a picture")));
    EXPECT_EQ(problemOf(path("garbage.jpg")), PLRPhotoProblem::Unreadable);
    EXPECT_EQ(describePhotoProblem(PLRPhotoProblem::CutShort), "cut short");
    EXPECT_EQ(describePhotoProblem(PLRPhotoProblem::Unreadable), "not a readable photo");
    EXPECT_EQ(describePhotoProblem(PLRPhotoProblem::Missing), "missing from the folder");

    // Formats whose readers hand back a cut file's picture without a word (BMP, GIF) are judged
    // by their own structure; the others refuse it themselves.
    const QImage small = real.scaled(QSize(300, 200));
    for (const char* format : {"png", "bmp", "gif", "tif", "webp"}) {
        const QString whole = path("whole.") + QLatin1String(format);
        if (QLatin1String(format) == QLatin1String("gif")) {
            // Qt reads GIFs but does not write them: one frame, uncompressed codes.
            QByteArray gif("GIF89a", 6);
            gif += QByteArray("\x2C\x01\xC8\x00\x80\x00\x00", 7);   // 300 x 200, a 2-colour table
            gif += QByteArray("\x00\x00\x00\xFF\xFF\xFF", 6);
            gif += QByteArray("\x2C\x00\x00\x00\x00\x2C\x01\xC8\x00\x00\x02", 11);
            // A clear code and then blocks of zero codes: 3-bit codes "clear, 0, 0 ...".
            for (int i = 0; i < 200; ++i)
                gif += QByteArray("\xFF", 1) + QByteArray(255, char(0));
            gif += QByteArray("\x00\x3B", 2);
            ASSERT_TRUE(source_test::writeBytes(whole, gif));
        } else if (!small.save(whole, format)) {
            continue;   // no writer for it here
        }
        if (QImage(whole).isNull())
            continue;
        EXPECT_EQ(problemOf(whole), PLRPhotoProblem::None) << format;
        ASSERT_TRUE(testing_support::cutShort(whole, 0.5));
        const PLRPhotoProblem cut = problemOf(whole);
        EXPECT_NE(cut, PLRPhotoProblem::None) << format;
        if (QLatin1String(format) == QLatin1String("bmp") || QLatin1String(format) == QLatin1String("gif")) {
            EXPECT_EQ(cut, PLRPhotoProblem::CutShort) << format;
        }
    }

    // CMYK JPEGs go through libjpeg as well: decoded as Qt's reader decodes them, and refused when
    // cut short.
    ASSERT_TRUE(writeCmykJpeg(path("cmyk.jpg"), real));
    QImage cmyk;
    ASSERT_EQ(problemOf(path("cmyk.jpg"), &cmyk), PLRPhotoProblem::None);
    const QImage byQt = QImage(path("cmyk.jpg")).convertToFormat(QImage::Format_RGB32).scaled(QSize(120, 80), Qt::IgnoreAspectRatio,
                                                                                                Qt::SmoothTransformation);
    ASSERT_EQ(cmyk.size(), byQt.size());
    EXPECT_LT(meanDifference(cmyk.convertToFormat(QImage::Format_RGB32), byQt), 4.0);
    EXPECT_LT(meanDifference(cmyk.convertToFormat(QImage::Format_RGB32), real.scaled(QSize(120, 80), Qt::IgnoreAspectRatio,
                                                                                      Qt::SmoothTransformation)),
              6.0);
    ASSERT_TRUE(testing_support::cutShort(path("cmyk.jpg"), 0.6));
    EXPECT_EQ(problemOf(path("cmyk.jpg")), PLRPhotoProblem::CutShort);
}

namespace {

// The JPEG with its frame header (SOF0..SOF2) saying `size`; empty when it has none.
QByteArray withFrameSize(QByteArray jpeg, const QSize& size)
{
    for (qsizetype i = 2; i + 9 < jpeg.size();) {
        if (uchar(jpeg[i]) != 0xFF)
            return {};
        const int marker = uchar(jpeg[i + 1]);
        if (marker >= 0xC0 && marker <= 0xC2) {
            jpeg[i + 5] = char(size.height() >> 8);
            jpeg[i + 6] = char(size.height() & 0xFF);
            jpeg[i + 7] = char(size.width() >> 8);
            jpeg[i + 8] = char(size.width() & 0xFF);
            return jpeg;
        }
        i += 2 + ((uchar(jpeg[i + 2]) << 8) | uchar(jpeg[i + 3]));
    }
    return {};
}

// The picture as a baseline JPEG with a restart marker after every row of blocks, written with
// libjpeg (Qt writes none), with `stray` bytes put before each of its first `runs` restart
// markers; `markers` tells how many it has.
QByteArray jpegWithStrayBytesBeforeRestarts(const QImage& picture, qsizetype stray, int runs, int* markers)
{
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_compress_struct info {};
    jpeg_error_mgr errors {};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(picture.width());
    info.image_height = JDIMENSION(picture.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    info.restart_in_rows = 1;
    jpeg_start_compress(&info, TRUE);
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < rgb.height(); ++y) {
        JSAMPROW rows[] = {const_cast<JSAMPROW>(rgb.constScanLine(y))};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    const QByteArray clean(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);

    // Past the start of scan, a 0xFF byte is followed by 0x00 (a stuffed byte) or a marker.
    QByteArray damaged;
    *markers = 0;
    const qsizetype scan = clean.indexOf(QByteArray("\xFF\xDA", 2));
    for (qsizetype i = 0; i < clean.size(); ++i) {
        if (scan > 0 && i > scan && uchar(clean[i]) == 0xFF && i + 1 < clean.size() && uchar(clean[i + 1]) >= 0xD0
            && uchar(clean[i + 1]) <= 0xD7) {
            if (++*markers <= runs)
                damaged += QByteArray(stray, char(0x5A));
        }
        damaged += clean[i];
    }
    return damaged;
}

} // namespace

// A frame header that declares fewer pixels than the data holds leaves the rest of the data
// before the end marker, which libjpeg skips as "extraneous bytes": the picture would be the
// data's rows wrapped at the wrong width. Such a photo is not readable, nor one whose short runs
// of stray bytes add up to far more than padding; the few bytes of padding camera files carry
// before a marker are let through.
TEST(PhotoDecoder, DataBeyondWhatTheHeaderDeclaresIsRefusedWhileCameraPaddingIsNot)
{
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
    const QImage real = QImage(testing_support::realPhotoPath()).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(real.size(), QSize(640, 400));
    ASSERT_TRUE(real.scaled(QSize(300, 200), Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(path("small.jpg"), "JPG", 90));
    ASSERT_TRUE(real.save(path("large.jpg"), "JPG", 90));
    const QByteArray small = source_test::readBytes(path("small.jpg"));
    const QByteArray large = source_test::readBytes(path("large.jpg"));

    // Half the size each way, and one row of blocks short.
    const struct {
        const char* name;
        QByteArray bytes;
    } shrunk[] = {{"half.jpg", withFrameSize(small, QSize(150, 100))},
                  {"row-short.jpg", withFrameSize(small, QSize(300, 184))},
                  {"large-half.jpg", withFrameSize(large, QSize(320, 200))}};
    for (const auto& file : shrunk) {
        ASSERT_FALSE(file.bytes.isEmpty()) << file.name;
        ASSERT_TRUE(source_test::writeBytes(path(file.name), file.bytes));
        EXPECT_EQ(problemOf(path(file.name)), PLRPhotoProblem::Unreadable) << file.name;
        QString error;
        EXPECT_TRUE(plr_image::decodePhotoAtSize(path(file.name), QSize(), &error).isNull()) << file.name;
        EXPECT_TRUE(error.contains(QLatin1String("extraneous bytes"))) << file.name << ": " << error.toStdString();
    }

    // A camera's padding: zero bytes before the end marker and between header markers. The
    // picture is the unpadded file's.
    QByteArray padded = small;
    ASSERT_EQ(padded.right(2), QByteArray("\xFF\xD9", 2));
    padded.insert(padded.size() - 2, QByteArray(8, char(0)));
    const qsizetype afterApp0 = 4 + ((uchar(padded[4]) << 8) | uchar(padded[5]));
    padded.insert(afterApp0, QByteArray(2, char(0)));
    ASSERT_TRUE(source_test::writeBytes(path("padded.jpg"), padded));
    QImage fromPadded, fromWhole;
    EXPECT_EQ(problemOf(path("padded.jpg"), &fromPadded), PLRPhotoProblem::None);
    EXPECT_EQ(problemOf(path("small.jpg"), &fromWhole), PLRPhotoProblem::None);
    EXPECT_EQ(fromPadded, fromWhole);

    // A damaged file whose restart markers each have fewer stray bytes before them than a marker
    // lets through, but that hold far more than a file's padding together: not readable, where
    // a few such markers leave the picture whole.
    const QImage picture = real.scaled(QSize(320, 200), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    int markers = 0;
    ASSERT_TRUE(source_test::writeBytes(path("restarts.jpg"), jpegWithStrayBytesBeforeRestarts(picture, 0, 0, &markers)));
    ASSERT_EQ(markers, 12);   // 13 rows of blocks
    ASSERT_TRUE(source_test::writeBytes(path("few.jpg"), jpegWithStrayBytesBeforeRestarts(picture, 48, 3, &markers)));
    ASSERT_TRUE(source_test::writeBytes(path("damaged.jpg"), jpegWithStrayBytesBeforeRestarts(picture, 48, 12, &markers)));
    QImage fromFew, fromRestarts;
    EXPECT_EQ(problemOf(path("restarts.jpg"), &fromRestarts), PLRPhotoProblem::None);
    EXPECT_EQ(problemOf(path("few.jpg"), &fromFew), PLRPhotoProblem::None);
    EXPECT_EQ(fromFew, fromRestarts);
    EXPECT_EQ(problemOf(path("damaged.jpg")), PLRPhotoProblem::Unreadable);
    QString error;
    EXPECT_TRUE(plr_image::decodePhotoAtSize(path("damaged.jpg"), QSize(), &error).isNull());
    EXPECT_TRUE(error.contains(QLatin1String("extraneous bytes"))) << error.toStdString();
}

// A decode tells its final rows as they come, top to bottom, when they come in their final place
// and colours; a photo stored sideways or in a wide gamut is only whole when handed back.
TEST(PhotoDecoder, RowsAreToldAsTheyAreFinalWhenTheyComeTopToBottomInSRGB)
{
    QTemporaryDir dir;
    const QString upright = dir.filePath("upright.jpg");
    ASSERT_TRUE(QFile::copy(testing_support::realPhotoPath(), upright));
    struct Told {
        int calls = 0;
        int last = 0;
        bool inOrder = true;
        bool rowsFinal = true;
        std::vector<QByteArray> firstRows;
    };
    const auto decode = [](const QString& path, const QSize& size, Told& told) {
        return plr_image::decodePhotoAtSize(path, size, nullptr, nullptr, [&told](const plr_image::DecodedRows& rows) {
            ++told.calls;
            told.inOrder = told.inOrder && rows.rows == told.last + 1;
            told.last = rows.rows;
            // The rows told so far, kept to compare with the picture handed back.
            if (rows.rows <= 8)
                told.firstRows.emplace_back(reinterpret_cast<const char*>(rows.bits + qsizetype(rows.rows - 1) * rows.bytesPerLine),
                                            int(rows.size.width() * 4));
        });
    };
    for (const QSize size : {QSize(300, 200), QSize()}) {
        Told told;
        const QImage picture = decode(upright, size, told);
        ASSERT_FALSE(picture.isNull());
        EXPECT_TRUE(told.inOrder);
        EXPECT_EQ(told.last, picture.height());
        ASSERT_EQ(told.firstRows.size(), 8u);
        for (int y = 0; y < 8; ++y)
            EXPECT_EQ(told.firstRows[size_t(y)], QByteArray(reinterpret_cast<const char*>(picture.constScanLine(y)), picture.width() * 4));
    }
    Told sideways;
    const QString portrait = writeSidewaysPortrait(dir.filePath("portrait.jpg"));
    ASSERT_FALSE(portrait.isEmpty());
    EXPECT_FALSE(decode(portrait, QSize(200, 320), sideways).isNull());
    EXPECT_EQ(sideways.calls, 0);
    Told wide;
    const QString gamut = testing_support::writeWideGamutPhoto(dir.filePath("p3.jpg"));
    ASSERT_FALSE(gamut.isEmpty());
    EXPECT_FALSE(decode(gamut, QSize(320, 200), wide).isNull());
    EXPECT_EQ(wide.calls, 0);
}
