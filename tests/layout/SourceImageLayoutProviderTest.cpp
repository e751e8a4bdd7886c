#include "layout/base/PLRLayoutManager.h"
#include "layout/base/PLRSourceImageLayoutProvider.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "store/persistance-store/source/PLRImageMetadata.h"
#include "store/persistance-store/source/PLRSourceImage.h"

#include "TestSupport.h"
#include "platform/Resets.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

// The adapter over real source images: a photo file on disk, its export cache, its use count.
TEST(SourceImageLayoutProvider, AnswersFromTheSourceImages)
{
    const QString folder = testing_support::testHome() + "/photos";
    const QString cache = testing_support::testHome() + "/cache";
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QDir().mkpath(cache));
    const platform::HookGuard<QString> root([](const QString& path) { PLRImageManager::setDefaultLocationRoot(path); },
                                            cache);
    const QString path = folder + "/wide.jpg";
    QImage picture(400, 200, QImage::Format_RGB32);
    picture.fill(QColor(0, 200, 0));
    ASSERT_TRUE(picture.save(path, "JPEG", 95));

    auto image = std::make_shared<PLRSourceImage>(QStringLiteral("wide"), cache);
    const QFileInfo info(path);
    image->setFile(path, QStringLiteral("wide.jpg"),
                   PLRFileStamp{info.size(), PLRImageManager::fileModifiedNs(path)}, PLRImageMetadata::read(path));

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
TEST(SourceImageLayoutProvider, WideGamutPhotosAreDrawnInSRGB)
{
    const QString folder = testing_support::testHome() + "/photos";
    const QString cache = testing_support::testHome() + "/cache";
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QDir().mkpath(cache));
    const platform::HookGuard<QString> root([](const QString& path) { PLRImageManager::setDefaultLocationRoot(path); },
                                            cache);
    const QString path = testing_support::writeWideGamutPhoto(folder + "/p3.jpg");
    ASSERT_FALSE(path.isEmpty());
    auto image = std::make_shared<PLRSourceImage>(QStringLiteral("p3"), cache);
    const QFileInfo info(path);
    image->setFile(path, QStringLiteral("p3.jpg"), PLRFileStamp{info.size(), PLRImageManager::fileModifiedNs(path)},
                   PLRImageMetadata::read(path));
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
