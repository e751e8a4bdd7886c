#include "layout/base/PLRLayoutManager.h"
#include "layout/base/PLRSourceImageLayoutProvider.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "store/persistance-store/source/PLRImageMetadata.h"
#include "store/persistance-store/source/PLRSourceImage.h"

#include "TestSupport.h"
#include "support/store/StoreFixtures.h"
#include "platform/Resets.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QColorSpace>
#include <QFileInfo>
#include <QImageWriter>
#include <QTransform>

namespace {

// A photo folder and the export cache beside it, the image manager's default root while a test runs.
class SourceImageLayoutProvider : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_TRUE(QDir().mkpath(cache));
    }

    // The source image of a photo file in the folder, with its stamp and metadata as read.
    std::shared_ptr<PLRSourceImage> sourceImage(const QString& identifier, const QString& path) const
    {
        auto image = std::make_shared<PLRSourceImage>(identifier, cache);
        const QFileInfo info(path);
        image->setFile(path, info.fileName(), PLRFileStamp{info.size(), PLRImageManager::fileModifiedNs(path)},
                       PLRImageMetadata::read(path));
        return image;
    }

    const QString folder = testing_support::testHome() + "/photos";
    const QString cache = testing_support::testHome() + "/cache";
    const platform::HookGuard<QString> root{[](const QString& path) { PLRImageManager::setDefaultLocationRoot(path); },
                                            cache};
};

} // namespace

// The adapter over real source images: a photo file on disk, its export cache, its use count.
TEST_F(SourceImageLayoutProvider, AnswersFromTheSourceImages)
{
    const QString path = folder + "/wide.jpg";
    QImage picture(400, 200, QImage::Format_RGB32);
    picture.fill(QColor(0, 200, 0));
    ASSERT_TRUE(picture.save(path, "JPEG", 95));

    auto image = sourceImage(QStringLiteral("wide"), path);

    QList<QPair<QString, qint64>> counts;
    auto provider = std::make_unique<PLRSourceImageLayoutProvider>(
        [image](const QString& identifier) { return identifier == "wide" ? image : nullptr; },
        [&counts](const QString& identifier, qint64 count) { counts.append({identifier, count}); });
    PLRSourceImageLayoutProvider* photos = provider.get();

    EXPECT_TRUE(photos->hasImage("wide"));
    EXPECT_FALSE(photos->hasImage("other"));
    EXPECT_EQ(photos->imageSize("wide"), QSizeF(400, 200));
    EXPECT_DOUBLE_EQ(photos->aspectRatioFactor("wide"), 2.0);
    EXPECT_EQ(photos->aspectRatioFactor("other"), 0.0);
    const QImage exported = photos->exportImage("wide");
    ASSERT_FALSE(exported.isNull());
    EXPECT_EQ(exported.size(), QSize(400, 200));
    EXPECT_NEAR(QColor(exported.pixel(200, 100)).green(), 200, 6);
    EXPECT_EQ(photos->fullSizeImage("wide").size(), QSize(400, 200));
    EXPECT_TRUE(photos->exportImage("other").isNull());

    // The layout manager reports the photo's uses through the adapter.
    PLRLayoutManager manager(nullptr);
    manager.setImageProvider(std::move(provider));
    manager.createAndAddBlocksForImages({"wide", "wide"});
    EXPECT_EQ(counts.last(), (QPair<QString, qint64>{"wide", 2}));
    EXPECT_EQ(manager.representedLayout()->sections(0).blocks(0).image().source_last_updated(),
              QString::number(qint32(image->modifiedDate().toSecsSinceEpoch())).toStdString());

    image->setFileDeleted(true);
    EXPECT_FALSE(photos->hasImage("wide"));
}

// The canvas draws a photo with a wide-gamut profile in its true colours, whether from the
// export cache or from the file itself (when a block is drawn larger than the cache).
TEST_F(SourceImageLayoutProvider, WideGamutPhotosAreDrawnInSRGB)
{
    const QString path = testing_support::writeWideGamutPhoto(folder + "/p3.jpg");
    ASSERT_FALSE(path.isEmpty());
    auto image = sourceImage(QStringLiteral("p3"), path);
    PLRSourceImageLayoutProvider photos([image](const QString& identifier) { return identifier == "p3" ? image : nullptr; }, {});
    const QPoint red = testing_support::kWideGamutRedPatch.center();
    for (const QImage& drawn : {photos.fullSizeImage("p3"), photos.exportImage("p3")}) {
        ASSERT_EQ(drawn.size(), QSize(640, 400));
        const QColor seen = drawn.pixelColor(red);
        EXPECT_GE(seen.red(), 247);
        EXPECT_LE(seen.green(), 8);
        EXPECT_LE(seen.blue(), 8);
    }
}

// A wide-gamut photo stored sideways (as a camera held upright writes it) is drawn upright and in
// its true colours from the file itself.
TEST_F(SourceImageLayoutProvider, SidewaysWideGamutPhotosAreDrawnUprightInSRGB)
{
    const QString upright = testing_support::writeWideGamutPhoto(folder + "/upright.jpg");
    ASSERT_FALSE(upright.isEmpty());
    // Stored turned a quarter anticlockwise, with orientation 6 (turn clockwise to show).
    const QString path = folder + "/sideways.jpg";
    QImageWriter writer(path, "jpeg");
    writer.setQuality(100);
    QImage stored = QImage(upright).transformed(QTransform().rotate(-90));
    stored.setColorSpace(QColorSpace::DisplayP3);
    ASSERT_TRUE(writer.write(stored));
    ASSERT_TRUE(testing_support::tagPhoto(path, {{"Exif.Image.Orientation", "6"}}));
    ASSERT_EQ(PLRImageMetadata::read(path).orientation, 6);
    auto image = sourceImage(QStringLiteral("p3"), path);
    PLRSourceImageLayoutProvider photos([image](const QString& identifier) { return identifier == "p3" ? image : nullptr; }, {});
    for (const QImage& drawn : {photos.fullSizeImage("p3"), photos.exportImage("p3")}) {
        ASSERT_EQ(drawn.size(), QSize(640, 400));
        for (const auto& [patch, colour] : {std::pair{testing_support::kWideGamutRedPatch, QColor(255, 0, 0)},
                                            std::pair{testing_support::kWideGamutGreenPatch, QColor(0, 200, 0)}}) {
            const QColor seen = drawn.pixelColor(patch.center());
            EXPECT_NEAR(seen.red(), colour.red(), 8);
            EXPECT_NEAR(seen.green(), colour.green(), 8);
            EXPECT_NEAR(seen.blue(), colour.blue(), 8);
        }
    }
}
