// A post manager's layout manager: made on first use over the post's layout and photos.

#include "TestSupport.h"

#include "layout/PLRLayoutLibrary.h"
#include "layout/base/PLRLayoutManager.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

TEST(PostLayoutManager, EditsReachThePostAndCountThePhotosInUse)
{
    PLRLayoutLibrary::install();
    const QString folder = testing_support::testHome() + "/photos";
    QDir().mkpath(folder);
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        QImage image(90, 60, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        ASSERT_TRUE(image.save(folder + "/" + name, "JPG"));
    }
    PLRCoreManager::completeSignIn("ann@example.com", "secret", "u-1", "token");
    PLRPostManager* postManager = PLRCoreManager::userSession()->newPostManager();
    EXPECT_EQ(postManager->layoutManager(), nullptr);   // no post yet
    ASSERT_TRUE(postManager->createNewPostWithTitle("Trip", QUrl::fromLocalFile(folder)));
    ASSERT_TRUE(testing_support::waitUntil([&] { return postManager->images().size() == 3; }));

    PLRLayoutManager* layoutManager = postManager->layoutManager();
    ASSERT_NE(layoutManager, nullptr);
    EXPECT_EQ(postManager->layoutManager(), layoutManager);   // made once

    QStringList identifiers;
    for (const PLRSourceImagePtr& image : postManager->images())
        identifiers << image->identifier();
    const QList<PLRBlock*> blocks = layoutManager->createAndAddBlocksForImages(identifiers.mid(0, 2));
    ASSERT_EQ(blocks.size(), 2);
    // The blocks are in the post's own document.
    ASSERT_GE(postManager->representedPost()->layout().sections_size(), 1);
    EXPECT_TRUE(testing_support::waitUntil([&] { return postManager->numberOfImagesInUse() == 2; }));
    EXPECT_TRUE(postManager->imageForIdentifier(identifiers[0])->inLayout());
    EXPECT_FALSE(postManager->imageForIdentifier(identifiers[2])->inLayout());
}
