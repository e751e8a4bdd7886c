// A photo that leaves the post's folder and comes back, or is renamed there, keeps its blocks:
// they show it missing while it is gone and draw it again once it is back.

#include "CanvasTestSupport.h"

#include "store/persistance-store/source/PLRSourceDirectory.h"

#include <QTemporaryDir>

using canvas_test::CanvasFixture;

using PhotoReturns = CanvasFixture;

TEST_F(PhotoReturns, ABlockDrawsItsPhotoAgainWhenTheFileComesBackOrIsRenamed)
{
    PLRBlock* block = addImage("a.jpg");
    ASSERT_TRUE(block);
    const QString id = ids.value("a.jpg");
    ASSERT_EQ(QString::fromStdString(block->image().img_ref()), id);
    PLRLayoutImageProvider* provider = layoutManager()->imageProvider();
    ASSERT_TRUE(provider);
    ASSERT_TRUE(testing_support::waitUntil([&] { return provider->hasImage(id); }));
    // The folder watch is installed from the main loop.
    ASSERT_TRUE(testing_support::waitUntil([&] { return !postManager->sourceDirectory()->watchedPaths().isEmpty(); }));

    QTemporaryDir elsewhere;
    ASSERT_TRUE(QFile::rename(folder + "/a.jpg", elsewhere.filePath("a.jpg")));
    ASSERT_TRUE(testing_support::waitUntil([&] { return !provider->hasImage(id); }, 4000));
    ASSERT_TRUE(postManager->imageForIdentifier(id));
    EXPECT_TRUE(postManager->imageForIdentifier(id)->fileDeleted());

    ASSERT_TRUE(QFile::rename(elsewhere.filePath("a.jpg"), folder + "/a.jpg"));
    ASSERT_TRUE(testing_support::waitUntil([&] { return provider->hasImage(id); }, 4000));
    EXPECT_FALSE(provider->exportImage(id).isNull());
    EXPECT_TRUE(postManager->imageForIdentifier(id)->inLayout());

    ASSERT_TRUE(QFile::rename(folder + "/a.jpg", folder + "/harbour.jpg"));
    ASSERT_TRUE(testing_support::waitUntil([&] {
        const PLRSourceImagePtr image = postManager->imageForIdentifier(id);
        return image && image->fileName() == QStringLiteral("harbour.jpg") && provider->hasImage(id);
    }, 4000));
    EXPECT_EQ(QString::fromStdString(block->image().img_ref()), id);
    EXPECT_EQ(postManager->sourceDirectory()->vanishedImages().size(), 0);
}
