// A photo that leaves the post's folder and comes back, or is renamed there, keeps its blocks:
// they show it missing while it is gone and draw it again once it is back.

#include "CanvasTestSupport.h"

#include "layout/block_draw_handlers/PLRBlockDrawHandler_Image.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"

#include <QApplication>
#include <QFile>
#include <QHelpEvent>
#include <QToolTip>
#include <QTemporaryDir>

using canvas_test::CanvasFixture;

using PhotoReturns = CanvasFixture;

namespace {

// The tool tip the canvas shows over the block; empty when it shows none.
QString toolTipOver(PLRLayoutInteractionView* canvas, const PLRBlock* block)
{
    const QPoint point = canvas->viewRectForBlock(block).center().toPoint();
    QHelpEvent help(QEvent::ToolTip, point, canvas->mapToGlobal(point));
    QApplication::sendEvent(canvas, &help);
    return help.isAccepted() ? QToolTip::text() : QString();
}

} // namespace

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
    // Its mark tells why, under the pointer.
    EXPECT_EQ(toolTipOver(canvas(), block), "a.jpg: missing from the folder");

    ASSERT_TRUE(QFile::rename(elsewhere.filePath("a.jpg"), folder + "/a.jpg"));
    ASSERT_TRUE(testing_support::waitUntil([&] { return provider->hasImage(id); }, 4000));
    EXPECT_FALSE(provider->exportImage(id).isNull());
    EXPECT_TRUE(postManager->imageForIdentifier(id)->inLayout());
    EXPECT_EQ(toolTipOver(canvas(), block), "");

    ASSERT_TRUE(QFile::rename(folder + "/a.jpg", folder + "/harbour.jpg"));
    ASSERT_TRUE(testing_support::waitUntil([&] {
        const PLRSourceImagePtr image = postManager->imageForIdentifier(id);
        return image && image->fileName() == QStringLiteral("harbour.jpg") && provider->hasImage(id);
    }, 4000));
    EXPECT_EQ(QString::fromStdString(block->image().img_ref()), id);
    EXPECT_EQ(postManager->sourceDirectory()->vanishedImages().size(), 0);
}

namespace {

// The block as the canvas draws it.
QImage drawn(PLRLayoutManager* manager, const PLRBlock* block)
{
    PLRLayoutViewProxy* proxy = manager->liveLayoutViewProxy();
    PLRBlockView* view = proxy ? proxy->blockViewForBlock(block) : nullptr;
    return view ? view->renderImage() : QImage();
}

QColor centreOf(const QImage& picture)
{
    return picture.pixelColor(picture.width() / 2, picture.height() / 2);
}

// Whether the placeholder's red mark is drawn in the picture.
bool hasMark(const QImage& picture)
{
    const QColor mark = PLRBlockDrawHandler_Image::errorColour();
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixelColor(x, y) == mark)
                return true;
    return false;
}

} // namespace

TEST_F(PhotoReturns, ABlockOfAPhotoCutShortIsMarkedAsAMissingOneIsAndDrawsItAgainOnceMended)
{
    PLRBlock* block = addImage("a.jpg");
    ASSERT_TRUE(block);
    const QString id = ids.value("a.jpg");
    PLRLayoutImageProvider* provider = layoutManager()->imageProvider();
    ASSERT_TRUE(testing_support::waitUntil([&] { return provider->hasImage(id); }));
    ASSERT_TRUE(testing_support::waitUntil([&] { return !postManager->sourceDirectory()->watchedPaths().isEmpty(); }));
    PLRImageManager::shared().waitUntilAllOperationsAreFinished();
    const QColor photo = centreOf(drawn(layoutManager(), block));
    EXPECT_GT(photo.red(), photo.blue() + 40) << "the photo's own colour";
    EXPECT_FALSE(hasMark(drawn(layoutManager(), block)));
    const QByteArray whole = [&] {
        QFile file(folder + "/a.jpg");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();

    // Cut short: no grey half-picture but the placeholder with the red mark, as for a photo
    // gone from the folder.
    ASSERT_TRUE(testing_support::cutShort(folder + "/a.jpg", 0.6));
    ASSERT_TRUE(testing_support::waitUntil([&] { return !provider->hasImage(id); }, 5000));
    EXPECT_EQ(postManager->imageForIdentifier(id)->problem(), PLRPhotoProblem::CutShort);
    EXPECT_FALSE(postManager->imageForIdentifier(id)->fileDeleted());
    const QImage marked = drawn(layoutManager(), block);
    EXPECT_TRUE(hasMark(marked));
    EXPECT_EQ(marked.pixelColor(2, 2), PLRBlockDrawHandler_Image::placeholderColour());
    EXPECT_EQ(toolTipOver(canvas(), block), "a.jpg: cut short");

    // Mended: the photo again.
    QFile mended(folder + "/a.jpg.new");
    ASSERT_TRUE(mended.open(QIODevice::WriteOnly));
    mended.write(whole);
    mended.close();
    ASSERT_TRUE(QFile::remove(folder + "/a.jpg"));
    ASSERT_TRUE(QFile::rename(folder + "/a.jpg.new", folder + "/a.jpg"));
    ASSERT_TRUE(testing_support::waitUntil([&] { return provider->hasImage(id); }, 5000));
    ASSERT_TRUE(testing_support::waitUntil([&] { return !hasMark(drawn(layoutManager(), block)); }, 5000));
    const QColor again = centreOf(drawn(layoutManager(), block));
    EXPECT_GT(again.red(), again.blue() + 40);
    EXPECT_EQ(toolTipOver(canvas(), block), "");
}
