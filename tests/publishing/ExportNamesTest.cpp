// File names, numbers, quality and pixels of exported pictures.

#include "publishing/export/PLRExportImaging.h"
#include "publishing/export/PLRExportJpegStream.h"
#include "publishing/export/PLRExportNames.h"
#include "store/persistance-store/source/PLRImageUtilities.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <cmath>

using namespace plr_export;

namespace {

PLRBlock image(const char* ref)
{
    PLRBlock block;
    block.mutable_image()->set_img_ref(ref);
    return block;
}

PhotoLookup photos()
{
    return [](const QString& identifier) {
        if (identifier == QLatin1String("beach"))
            return PhotoFacts{QStringLiteral("beach.png"), {QStringLiteral("sea"), QStringLiteral("sand")}};
        if (identifier == QLatin1String("odd"))
            return PhotoFacts{QStringLiteral("../x.jpg"), {QStringLiteral("a/../b")}};
        return PhotoFacts{};
    };
}

} // namespace

TEST(ExportNames, QualityMapsToCompressionAndEncoderQuality)
{
    EXPECT_FLOAT_EQ(interpolateQualityValue(0), 0.0f);
    EXPECT_FLOAT_EQ(interpolateQualityValue(50), 0.50f);
    EXPECT_FLOAT_EQ(interpolateQualityValue(74), 0.74f);
    EXPECT_FLOAT_EQ(interpolateQualityValue(75), 0.75f);
    EXPECT_NEAR(interpolateQualityValue(90), 0.87f, 1e-6);
    EXPECT_FLOAT_EQ(interpolateQualityValue(100), 0.95f);
    EXPECT_EQ(jpegQuality(interpolateQualityValue(74)), 74);
    EXPECT_EQ(jpegQuality(interpolateQualityValue(75)), 75);
    EXPECT_EQ(jpegQuality(interpolateQualityValue(90)), 87);
    EXPECT_EQ(jpegQuality(interpolateQualityValue(100)), 95);
    EXPECT_EQ(jpegQuality(interpolateQualityValue(250)), 95);   // clamped
}

TEST(ExportNames, NumbersArePaddedToTheDigitsOfTheBlockCount)
{
    EXPECT_EQ(numberPrefix(7, 9), "7");
    EXPECT_EQ(numberPrefix(7, 12), "07");
    EXPECT_EQ(numberPrefix(1, 100), "001");
    EXPECT_EQ(numberPrefix(100, 100), "100");
}

TEST(ExportNames, NamesJoinPrefixFileNamesAndKeywordsSafely)
{
    const PLRBlock beach = image("beach");
    EXPECT_EQ(exportNameForBlock(beach, "07", kNameOptionPrefix, photos()), "07");
    EXPECT_EQ(exportNameForBlock(beach, "07", kNameOptionPrefix | kNameOptionOriginalNames, photos()), "07_beach");
    EXPECT_EQ(exportNameForBlock(beach, "07", kNameOptionPrefix | kNameOptionOriginalNames | kNameOptionKeywords, photos()),
              "07_beach_sand_sea");
    EXPECT_EQ(exportNameForBlock(beach, "07", 0, photos()), "");
    EXPECT_EQ(exportNameForBlock(beach, "07", 1 | 16, photos()), "");   // other bits ignored

    // A container gives each photo's name once.
    PLRBlock box;
    *box.mutable_container()->add_sub_blocks() = beach;
    *box.mutable_container()->add_sub_blocks() = beach;
    EXPECT_EQ(exportNameForBlock(box, "03", kNameOptionOriginalNames, photos()), "beach");

    // Separators in names and keywords never lead out of the folder.
    const QString odd = exportNameForBlock(image("odd"), "01", kNameOptionPrefix | kNameOptionOriginalNames | kNameOptionKeywords, photos());
    EXPECT_FALSE(odd.contains('/'));
    EXPECT_EQ(odd, "01_..-x_a-..-b");
}

TEST(ExportNames, LengthLimitCountsUnitsAndBytes)
{
    EXPECT_FALSE(isFileNameTooLong(QString(250, 'a') + ".jpg"));   // 254
    EXPECT_TRUE(isFileNameTooLong(QString(251, 'a') + ".jpg"));    // 255
    // 200 units but 400 bytes: too long for the file system.
    EXPECT_TRUE(isFileNameTooLong(QString(200, QChar(0xE9)) + ".jpg"));

    PLRLayout layout;
    PLRSection* section = layout.add_sections();
    *section->add_blocks() = image("long");
    auto lookup = [](const QString&) { return PhotoFacts{QString(248, 'n') + ".jpg", {}}; };
    // "1_" + 248 + ".jpg" = 254: fits; with one more character it does not.
    EXPECT_FALSE(hasNamesExceedingLimit(layout, kNameOptionPrefix | kNameOptionOriginalNames, lookup));
    auto longer = [](const QString&) { return PhotoFacts{QString(249, 'n') + ".jpg", {}}; };
    EXPECT_TRUE(hasNamesExceedingLimit(layout, kNameOptionPrefix | kNameOptionOriginalNames, longer));
    EXPECT_FALSE(hasNamesExceedingLimit(layout, kNameOptionPrefix, longer));
    EXPECT_FALSE(hasNamesExceedingLimit(PLRLayout(), kNameOptionOriginalNames, longer));
}

TEST(ExportNames, SubFolderNamesMustBeOnePlainName)
{
    EXPECT_TRUE(isAcceptableFolderName("Trip 2024"));
    EXPECT_FALSE(isAcceptableFolderName(""));
    EXPECT_FALSE(isAcceptableFolderName(".."));
    EXPECT_FALSE(isAcceptableFolderName("../x"));
    EXPECT_FALSE(isAcceptableFolderName("a/b"));
    EXPECT_FALSE(isAcceptableFolderName(QString(256, 'a')));
}

TEST(ExportImaging, DpiRulesAndTheJfifStamp)
{
    EXPECT_EQ(exportDPIForPhoto(0), 72);
    EXPECT_EQ(exportDPIForPhoto(-5), 72);
    EXPECT_EQ(exportDPIForPhoto(300), 300);
    EXPECT_EQ(exportDPIForPhoto(9999), 9999);
    EXPECT_EQ(exportDPIForPhoto(10000), 70);
    EXPECT_EQ(exportDPIForPhoto(25000), 70);

    QTemporaryDir dir;
    QImage picture(120, 80, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    for (const qint64 dpi : {300, 70, 0}) {
        const QByteArray jpeg = encodeJPEG(picture, 0.75f, dpi);
        ASSERT_FALSE(jpeg.isEmpty());
        const QString path = dir.filePath(QStringLiteral("%1.jpg").arg(dpi));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(jpeg);
        file.close();
        EXPECT_EQ(plr_image::jfifDensityDPI(path), dpi > 0 ? dpi : 72);
    }
    // The compression factor is the encoder's quality.
    EXPECT_EQ(encodeJPEG(picture, 0.95f, 72), [&] {
        QImage stamped = picture;
        plr_image::setImageDPI(stamped, 72);
        return plr_image::encodeJPEG(stamped, 95);
    }());
}

TEST(ExportImaging, SharpeningRaisesEdgeContrastAndLeavesFlatAreas)
{
    QImage flat(40, 40, QImage::Format_RGB32);
    flat.fill(QColor(120, 130, 140));
    QImage sharpened = flat;
    sharpenLuminance(sharpened, 1.0);
    EXPECT_EQ(sharpened, flat);

    QImage edge(40, 40, QImage::Format_RGB32);
    edge.fill(QColor(60, 60, 60));
    for (int y = 0; y < 40; ++y)
        for (int x = 20; x < 40; ++x)
            edge.setPixel(x, y, qRgb(200, 200, 200));
    QImage strong = edge;
    sharpenLuminance(strong, 1.0);
    EXPECT_LT(qRed(strong.pixel(19, 20)), 60);    // darker beside the edge
    EXPECT_GT(qRed(strong.pixel(20, 20)), 200);   // lighter on the other side
    EXPECT_EQ(strong.pixel(2, 20), edge.pixel(2, 20));
    // The light amount the export uses moves an edge a little, no more.
    QImage light = edge;
    sharpenLuminance(light);
    EXPECT_LE(std::abs(qRed(light.pixel(19, 20)) - 60), 8);
    EXPECT_LT(qRed(light.pixel(19, 20)), 60);
}

TEST(ExportImaging, SharpeningWeighsTheColoursAsTheEyeDoes)
{
    // Pure red beside pure blue: in luma (Rec. 709) red is the brighter of the two, 0.2126 x 255
    // against 0.0722 x 255, so the edge is sharpened from red (lifted) down to blue (lowered). A
    // luma that weighed blue as red would see the edge the other way round.
    QImage edge(40, 40, QImage::Format_RGB32);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            edge.setPixel(x, y, x < 20 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    QImage sharpened = edge;
    sharpenLuminance(sharpened, 1.0);
    const QRgb red = sharpened.pixel(19, 20);
    const QRgb blue = sharpened.pixel(20, 20);
    // The red side gains light: green and blue rise from 0 (red is already full).
    EXPECT_GT(qGreen(red), 5);
    EXPECT_EQ(qGreen(red), qBlue(red));
    EXPECT_EQ(qRed(red), 255);
    // The blue side loses it: blue drops below full, the others stay at 0.
    EXPECT_LT(qBlue(blue), 250);
    EXPECT_EQ(qRed(blue), 0);
    EXPECT_EQ(qGreen(blue), 0);
    // By the same amount on both sides: the luma step between them.
    EXPECT_NEAR(qGreen(red), 255 - qBlue(blue), 2);
}

namespace {

double lumaOf(QRgb p)
{
    return 0.2126 * qRed(p) + 0.7152 * qGreen(p) + 0.0722 * qBlue(p);
}

// Mean luma, and the mean absolute Laplacian of the luma: how much edge contrast there is.
struct LumaStats {
    double mean = 0.0;
    double edges = 0.0;
};

LumaStats lumaStats(const QImage& image)
{
    LumaStats stats;
    const int w = image.width(), h = image.height();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            stats.mean += lumaOf(image.pixel(x, y));
    stats.mean /= double(w) * double(h);
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x)
            stats.edges += std::abs(4.0 * lumaOf(image.pixel(x, y)) - lumaOf(image.pixel(x - 1, y)) - lumaOf(image.pixel(x + 1, y))
                                    - lumaOf(image.pixel(x, y - 1)) - lumaOf(image.pixel(x, y + 1)));
    stats.edges /= double(w - 2) * double(h - 2);
    return stats;
}

} // namespace

TEST(ExportImaging, SharpeningARealPhotoKeepsItsBrightnessAndRaisesItsEdges)
{
    const QImage photo = QImage(testing_support::realPhotoPath()).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(photo.isNull());
    QImage sharpened = photo;
    sharpenLuminance(sharpened);
    const LumaStats before = lumaStats(photo);
    const LumaStats after = lumaStats(sharpened);
    // No darkening (or lightening): detail moves pixels up as often as down.
    EXPECT_NEAR(after.mean, before.mean, 0.05);
    int darker = 0, lighter = 0;
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x) {
            const int change = qGreen(sharpened.pixel(x, y)) - qGreen(photo.pixel(x, y));
            darker += change < 0;
            lighter += change > 0;
        }
    EXPECT_GT(lighter, 0);
    EXPECT_NEAR(double(darker) / double(lighter), 1.0, 0.2) << darker << " darker, " << lighter << " lighter";
    // And the edges gain contrast.
    EXPECT_GT(after.edges, before.edges * 1.02) << before.edges << " -> " << after.edges;
}

namespace {

// A picture with detail everywhere: a gradient, fine stripes and scattered dots.
QImage detailedPicture(const QSize& size, QImage::Format format)
{
    QImage image(size, QImage::Format_ARGB32);
    quint32 seed = 12345;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = int((seed >> 16) & 0x3F);
            const int alpha = format == QImage::Format_ARGB32_Premultiplied ? 128 + ((x + y) % 128) : 255;
            image.setPixel(x, y, qRgba((x * 255 / std::max(1, size.width() - 1) + noise) % 256, (x % 3 ? 40 : 220) + noise / 4,
                                       (y * 7 + noise) % 256, alpha));
        }
    return image.convertToFormat(format);
}

} // namespace

// Row by row, as an export streams its drawings: the same pixels and the same JPEG bytes as the
// whole picture gives.
TEST(ExportImaging, RowByRowSharpeningAndEncodingGiveTheWholePicturesPixelsAndBytes)
{
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied}) {
        for (const QSize size : {QSize(1, 1), QSize(5, 3), QSize(37, 29)}) {
            SCOPED_TRACE(testing::Message() << "format " << int(format) << ", " << size.width() << " x " << size.height());
            const QImage picture = detailedPicture(size, format);
            QImage whole = picture;
            sharpenLuminance(whole, 0.8);
            LumaSharpener sharpener(size.width(), size.height(), format == QImage::Format_ARGB32_Premultiplied, 0.8);
            const auto row = [&picture](int y) { return reinterpret_cast<const QRgb*>(picture.constScanLine(y)); };
            QImage rows(size, format);
            for (int y = 0; y < size.height(); ++y) {
                EXPECT_LE(sharpener.rowsNeededFor(y), size.height());
                EXPECT_GT(sharpener.rowsNeededFor(y), y);
                sharpener.sharpenRow(y, row, reinterpret_cast<QRgb*>(rows.scanLine(y)));
            }
            EXPECT_EQ(rows, whole);
        }
    }
    const QImage drawing = detailedPicture(QSize(203, 67), QImage::Format_RGB32);
    ASSERT_TRUE(JpegRowEncoder::encodesAsWhole(drawing));
    for (const qint64 dpi : {qint64(0), qint64(70), qint64(72), qint64(300), qint64(9999)}) {
        for (const float compression : {0.0f, 0.35f, 0.8f, 1.0f}) {
            SCOPED_TRACE(testing::Message() << dpi << " dpi, compression " << compression);
            JpegRowEncoder encoder;
            ASSERT_TRUE(encoder.start(drawing.width(), drawing.height(), compression, dpi));
            for (int y = 0; y < drawing.height(); ++y)
                ASSERT_TRUE(encoder.addRow(reinterpret_cast<const QRgb*>(drawing.constScanLine(y))));
            EXPECT_TRUE(encoder.finish() == encodeJPEG(drawing, compression, dpi));
        }
    }
    // Rows short of the picture's height make no JPEG.
    JpegRowEncoder shortOfRows;
    ASSERT_TRUE(shortOfRows.start(drawing.width(), drawing.height(), 0.8f, 72));
    ASSERT_TRUE(shortOfRows.addRow(reinterpret_cast<const QRgb*>(drawing.constScanLine(0))));
    EXPECT_TRUE(shortOfRows.finish().isEmpty());
    EXPECT_FALSE(JpegRowEncoder().start(0, 10, 0.8f, 72));
}
